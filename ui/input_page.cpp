#include "ui/input_page.h"

#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <string>
#include <vector>

#include "convert/messages.h"
#include "ui/converter_app.h"
#include "ui/dialog_units.h"
#include "ui/message_box.h"
#include "ui/recent_folders.h"

namespace {

// Takes a drop of files that Add... could have chosen (existing files on
// this machine: no folders, nothing remote) and returns them in the dropped
// order; anything else is refused. The drop is taken as a copy (or a link),
// never as a move, after which the source would delete the files.
QStringList Accept_Files(QDropEvent* event) {
  QStringList files;
  const QMimeData* data = event->mimeData();
  if (data != nullptr) {
    for (const QUrl& url : data->urls()) {
      if (!url.isLocalFile()) continue;
      const QFileInfo info(url.toLocalFile());
      if (info.isFile()) files << info.absoluteFilePath();
    }
  }
  const Qt::DropActions possible = event->possibleActions();
  Qt::DropAction action = Qt::IgnoreAction;
  if (possible & Qt::CopyAction) {
    action = Qt::CopyAction;
  } else if (possible & Qt::LinkAction) {
    action = Qt::LinkAction;
  }
  if (files.isEmpty() || action == Qt::IgnoreAction) {
    event->ignore();
    return {};
  }
  event->setDropAction(action);
  event->accept();
  return files;
}

}  // namespace

InputPage::InputPage(ConverterApp& app) : app_(app) {
  files_group_.setObjectName(QStringLiteral("1004"));
  files_group_.setTitle(QStringLiteral("Input file(s)"));
  file_list_.setObjectName(QStringLiteral("1005"));
  file_list_.setSelectionMode(QAbstractItemView::SingleSelection);
  file_list_.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  file_list_.setSortingEnabled(false);
  add_.setObjectName(QStringLiteral("1006"));
  add_.setText(QStringLiteral("A&dd..."));
  remove_.setObjectName(QStringLiteral("1008"));
  remove_.setText(QStringLiteral("&Remove"));
  remove_all_.setObjectName(QStringLiteral("1009"));
  remove_all_.setText(QStringLiteral("Remove a&ll"));
  // Enter inside a page does nothing: no button here is a default button.
  for (QPushButton* button : {&add_, &remove_, &remove_all_}) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }

  Place_Control(files_group_, 7, 7, 206, 104);
  Place_Control(file_list_, 12, 18, 147, 87);
  Place_Control(add_, 163, 18, 44, 14);
  Place_Control(remove_, 163, 36, 44, 14);
  Place_Control(remove_all_, 163, 54, 44, 14);
  resize(Dialog_Rect_To_Pixels(0, 0, 220, 188).size());  // until the tab control sizes it
  Fit_Controls(*this);
  setAcceptDrops(true);

  connect(&add_, &QPushButton::clicked, this, &InputPage::OnAdd);
  connect(&remove_, &QPushButton::clicked, this, &InputPage::OnRemove);
  connect(&remove_all_, &QPushButton::clicked, this, &InputPage::OnRemoveAll);
}

InputPage::~InputPage() = default;

void InputPage::OnAdd() {
  if (!file_dialog_) {
    file_dialog_ = std::make_unique<QFileDialog>(this);
    file_dialog_->setAcceptMode(QFileDialog::AcceptOpen);
    file_dialog_->setFileMode(QFileDialog::ExistingFile);
    file_dialog_->setNameFilters(
        {QStringLiteral("MPEG Video Files (*.vob *.mpg *.m1v *.m2v *.mpeg)"),
         QStringLiteral("All Files (*)")});
    const QString folder = Last_Folder(FolderUse::kInput);
    if (!folder.isEmpty()) file_dialog_->setDirectory(folder);
  }
  if (file_dialog_->exec() != QDialog::Accepted) return;
  const QStringList chosen = file_dialog_->selectedFiles();
  if (!chosen.isEmpty()) AddFiles({chosen.first()});
}

void InputPage::AddFiles(const QStringList& paths) {
  if (paths.isEmpty()) return;
  file_list_.addItems(paths);
  Remember_Folder(FolderUse::kInput, paths.last());
}

void InputPage::dragEnterEvent(QDragEnterEvent* event) {
  Accept_Files(event);
}

void InputPage::dragMoveEvent(QDragMoveEvent* event) {
  Accept_Files(event);  // a copy still, whatever keys are held down meanwhile
}

void InputPage::dropEvent(QDropEvent* event) {
  const QStringList files = Accept_Files(event);
  if (files.isEmpty()) return;
  AddFiles(files);
  // Add... goes on from the folder the files came from.
  if (file_dialog_) file_dialog_->setDirectory(QFileInfo(files.last()).absolutePath());
}

void InputPage::OnRemove() {
  const QList<QListWidgetItem*> selected = file_list_.selectedItems();
  if (selected.isEmpty()) return;
  // takeItem hands the entry over; the owning pointer frees it.
  std::unique_ptr<QListWidgetItem> removed(file_list_.takeItem(file_list_.row(selected.first())));
}

void InputPage::OnRemoveAll() {
  file_list_.clear();
}

int InputPage::ProbeInputFiles() {
  const int n = file_list_.count();
  if (n == 0) return 1;
  QWidget* owner = window();
  if (n > InputFileNames::kMaxFiles) {
    Show_Message(owner, QString::fromLatin1(messages::kTooManyFiles));
    return 1;
  }
  std::vector<std::string> paths;
  paths.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    paths.push_back(QFile::encodeName(file_list_.item(i)->text()).toStdString());
  }
  app_.input_file_names.Fill(paths);

  const int result = app_.frame_source.Open(app_.input_file_names.Table());
  if (result == 0) {
    app_.processing_page.ShowStreamProperties();
    app_.output_page.ResetOutputControls(app_.frame_source.stream_info);
    return 0;
  }
  // The path copies go before the user reads the message.
  CloseInputStream();
  Show_Message(owner, QString::fromLatin1(messages::Open_Result_Message(result)));
  return 1;
}

void InputPage::CloseInputStream() {
  if (app_.frame_source.is_open) {
    app_.processing_page.DisableProcessingControls();
    app_.output_page.DisableOutputControls();
    app_.frame_source.Close();
  }
  app_.input_file_names.Clear();
}
