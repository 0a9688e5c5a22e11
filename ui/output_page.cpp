#include "ui/output_page.h"

#include <QFile>
#include <QFileDialog>

#include "ui/dialog_units.h"
#include "ui/recent_folders.h"

namespace {

void Make_Value_Edit(QLineEdit& edit, const char* id, const QValidator& digits_only) {
  edit.setObjectName(QString::fromLatin1(id));
  edit.setMaxLength(8);
  edit.setAlignment(Qt::AlignCenter);
  edit.setValidator(&digits_only);
}

void Make_Label(QLabel& label, const char* id, const char* text, QWidget* buddy) {
  label.setObjectName(QString::fromLatin1(id));
  label.setText(QString::fromLatin1(text));
  label.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  if (buddy != nullptr) label.setBuddy(buddy);
}

}  // namespace

OutputPage::OutputPage() {
  output_group_.setObjectName(QStringLiteral("1014"));
  output_group_.setTitle(QStringLiteral("Output file(s)"));
  Make_Label(path_label_, "1016", "Output &file:", &path_);
  path_.setObjectName(QStringLiteral("1015"));
  // The edit refuses a longer path outright rather than cutting one short.
  path_.setMaxLength(kMaxPathLength);
  choose_.setObjectName(QStringLiteral("1017"));
  choose_.setText(QStringLiteral("&Choose..."));
  choose_.setAutoDefault(false);
  choose_.setDefault(false);
  no_split_.setObjectName(QStringLiteral("1033"));
  no_split_.setText(QStringLiteral("Do&n't split output file"));
  split_by_size_.setObjectName(QStringLiteral("1034"));
  split_by_size_.setText(QStringLiteral("Split &every"));
  Make_Value_Edit(split_mbytes_, "1021", digits_only_);
  Make_Label(mbytes_label_, "1022", "MBytes", nullptr);
  split_by_frames_.setObjectName(QStringLiteral("1035"));
  split_by_frames_.setText(QStringLiteral("Split e&very"));
  Make_Value_Edit(split_frames_, "1023", digits_only_);
  Make_Label(frames_label_, "1039", "frames", nullptr);
  split_choice_.addButton(&no_split_);
  split_choice_.addButton(&split_by_size_);
  split_choice_.addButton(&split_by_frames_);
  audio_group_.setObjectName(QStringLiteral("1040"));
  audio_group_.setTitle(QStringLiteral("Audio"));
  Make_Label(audio_label_, "1041", "A&udio:", &audio_stream_);
  audio_stream_.setObjectName(QStringLiteral("1042"));
  Make_Label(audio_format_label_, "1043", "Fo&rmat:", &audio_format_);
  audio_format_.setObjectName(QStringLiteral("1044"));
  audio_format_.addItems({QStringLiteral("Decoded PCM"), QStringLiteral("As it is (copy)")});

  Place_Control(output_group_, 7, 7, 206, 83);
  Place_Control(path_label_, 11, 20, 35, 12);
  Place_Control(path_, 49, 20, 105, 12);
  Place_Control(choose_, 157, 20, 52, 12);
  Place_Control(no_split_, 20, 40, 79, 10);
  Place_Control(split_by_size_, 20, 54, 49, 10);
  Place_Control(split_mbytes_, 71, 52, 30, 13);
  Place_Control(mbytes_label_, 108, 54, 25, 10);
  Place_Control(split_by_frames_, 20, 68, 49, 10);
  Place_Control(split_frames_, 71, 67, 30, 13);
  Place_Control(frames_label_, 108, 68, 22, 10);
  Place_Control(audio_group_, 7, 95, 206, 49);
  Place_Control(audio_label_, 11, 108, 35, 12);
  Place_Control(audio_stream_, 49, 108, 160, 12);
  Place_Control(audio_format_label_, 11, 125, 35, 12);
  Place_Control(audio_format_, 49, 125, 90, 12);
  resize(Dialog_Rect_To_Pixels(0, 0, 220, 188).size());  // until the tab control sizes it
  Fit_Controls(*this);

  connect(&choose_, &QPushButton::clicked, this, &OutputPage::OnChoose);
}

OutputPage::~OutputPage() = default;

std::array<QWidget*, 14> OutputPage::OutputControls() {
  return {&path_,
          &path_label_,
          &choose_,
          &no_split_,
          &split_by_size_,
          &split_by_frames_,
          &split_mbytes_,
          &split_frames_,
          &mbytes_label_,
          &frames_label_,
          &audio_label_,
          &audio_stream_,
          &audio_format_label_,
          &audio_format_};
}

void OutputPage::DisableOutputControls() {
  for (QWidget* control : OutputControls()) control->setEnabled(false);
}

void OutputPage::ResetOutputControls(const StreamInfo& stream) {
  path_.clear();
  no_split_.setChecked(true);
  audio_stream_.clear();
  audio_stream_.addItem(QStringLiteral("No audio"));
  for (size_t i = 0; i < stream.audio_streams.size(); ++i) {
    audio_stream_.addItem(QStringLiteral("%1: %2").arg(i + 1).arg(
        QString::fromStdString(stream.audio_streams[i].description)));
  }
  audio_format_.setCurrentIndex(0);
  for (QWidget* control : OutputControls()) control->setEnabled(true);
  const bool audio = !stream.audio_streams.empty();
  for (QWidget* control : std::initializer_list<QWidget*>{&audio_label_, &audio_stream_,
                                                          &audio_format_label_, &audio_format_})
    control->setEnabled(audio);
}

void OutputPage::OnChoose() {
  if (!file_dialog_) {
    file_dialog_ = std::make_unique<QFileDialog>(this);
    file_dialog_->setAcceptMode(QFileDialog::AcceptSave);
    file_dialog_->setFileMode(QFileDialog::AnyFile);
    file_dialog_->setDefaultSuffix(QStringLiteral("avi"));
    // An existing file is simply replaced by the conversion.
    file_dialog_->setOption(QFileDialog::DontConfirmOverwrite);
    file_dialog_->setNameFilters(
        {QStringLiteral("AVI Files (*.avi)"), QStringLiteral("All Files (*)")});
    const QString folder = Last_Folder(FolderUse::kOutput);
    if (!folder.isEmpty()) file_dialog_->setDirectory(folder);
  }
  if (file_dialog_->exec() != QDialog::Accepted) return;
  const QStringList chosen = file_dialog_->selectedFiles();
  if (chosen.isEmpty()) return;
  path_.setText(chosen.first());
  Remember_Folder(FolderUse::kOutput, chosen.first());
}

void OutputPage::ReadStartForm(StartForm* form) const {
  form->output_path = QFile::encodeName(path_.text()).toStdString();
  if (no_split_.isChecked()) {
    form->split_choice = SPLIT_NONE;
  } else if (split_by_size_.isChecked()) {
    form->split_choice = SPLIT_BY_SIZE;
  } else {
    form->split_choice = SPLIT_BY_FRAMES;
  }
  form->split_mbytes = Read_Number_Edit(split_mbytes_.text().toStdString());
  form->split_frames = Read_Number_Edit(split_frames_.text().toStdString());
  form->audio.selection = audio_stream_.currentIndex() - 1;
  form->audio.output = audio_format_.currentIndex() == 1 ? AudioOutput::kCopy : AudioOutput::kPcm;
}
