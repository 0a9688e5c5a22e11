#include "ui/progress_dialog.h"

#include <QFile>
#include <QFontMetrics>
#include <algorithm>

#include "convert/messages.h"
#include "convert/progress_figures.h"
#include "ui/dialog_units.h"
#include "ui/message_box.h"

namespace {

void Make_Label(QLabel& label, const char* text) {
  label.setText(QString::fromLatin1(text));
  label.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void Make_Field(QLabel& field, const char* id, Qt::Alignment alignment) {
  field.setObjectName(QString::fromLatin1(id));
  field.setFrameStyle(QFrame::Panel | QFrame::Sunken);
  field.setAlignment(alignment | Qt::AlignVCenter);
  field.setTextFormat(Qt::PlainText);
}

}  // namespace

ProgressDialog::ProgressDialog(ConversionJob& job, const ConversionProgress& progress,
                               const ConversionSettings& settings,
                               const InputFileNames& input_file_names, QWidget* owner)
    : QDialog(owner),
      job_(job),
      progress_(progress),
      settings_(settings),
      input_file_names_(input_file_names) {
  setWindowTitle(QStringLiteral("Vidorlan MPEG Progress"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);

  bar_.setObjectName(QStringLiteral("1085"));
  bar_.setRange(0, kBarRange);
  bar_.setValue(0);
  bar_.setTextVisible(false);
  Make_Label(current_file_label_, "Current file:");
  Make_Field(current_file_, "1102", Qt::AlignLeft);
  Make_Label(frames_label_, "Current frame:");
  Make_Field(frames_, "1097", Qt::AlignHCenter);
  Make_Label(kbytes_label_, "KBytes written:");
  Make_Field(kbytes_, "1098", Qt::AlignHCenter);
  Make_Label(elapsed_label_, "Time elapsed:");
  Make_Field(elapsed_, "1099", Qt::AlignHCenter);
  Make_Label(remaining_label_, "Time remaining:");
  Make_Field(remaining_, "1100", Qt::AlignHCenter);
  cancel_.setObjectName(QStringLiteral("2"));
  cancel_.setText(QStringLiteral("&Cancel"));
  // Enter must not end the dialog behind the worker's back: only the cancel
  // command closes it.
  cancel_.setAutoDefault(false);
  cancel_.setDefault(false);

  Place_Control(bar_, 7, 10, 226, 15);
  Place_Control(current_file_label_, 7, 31, 48, 8);
  Place_Control(current_file_, 64, 30, 169, 10);
  Place_Control(frames_label_, 7, 46, 45, 8);
  Place_Control(frames_, 64, 46, 48, 10);
  Place_Control(kbytes_label_, 7, 57, 48, 8);
  Place_Control(kbytes_, 64, 57, 48, 10);
  Place_Control(elapsed_label_, 121, 46, 45, 8);
  Place_Control(elapsed_, 178, 46, 55, 10);
  Place_Control(remaining_label_, 121, 57, 50, 8);
  Place_Control(remaining_, 178, 57, 55, 10);
  Place_Control(cancel_, 95, 75, 50, 13);
  setFixedSize(Dialog_Rect_To_Pixels(0, 0, 240, 95).size());
  Fit_Controls(*this);

  connect(&cancel_, &QPushButton::clicked, this, &ProgressDialog::reject);
  connect(&timer_, &QTimer::timeout, this, &ProgressDialog::Tick);
  timer_.setObjectName(QStringLiteral("tick"));
  timer_.start(kTickMilliseconds);
  cancel_.setFocus();
  // The starting figures at once, not only from the first tick on.
  ShowFigures();
}

void ProgressDialog::Tick() {
  ++elapsed_seconds_;
  ShowFigures();
  const int32_t state = progress_.job_state.load();
  if (state != JOB_OK) {
    // Stopped first, so that the message is shown once however long it
    // stays open.
    timer_.stop();
    Show_Message(this, QString::fromLatin1(state == JOB_WRITE_ERROR ? messages::kWriteError
                                                                    : messages::kReadError));
    reject();
    return;
  }
  if (progress_.worker_finished.load() != 0) reject();
}

void ProgressDialog::ShowFigures() {
  const ProgressFigures figures = Compute_Progress_Figures(progress_, settings_, elapsed_seconds_);
  elapsed_.setText(QString::fromStdString(Format_Clock(elapsed_seconds_)));
  frames_.setText(QString::number(figures.frames_written));
  kbytes_.setText(QString::number(figures.kbytes_written));
  // Past the last path the index designates the null slot: an empty field.
  ShowCurrentFile(input_file_names_.At(figures.current_file_index));
  if (!figures.share_known) {
    // Input from a pipe has no size: a busy bar, and how much was read in
    // place of the remaining time.
    bar_.setRange(0, 0);
    remaining_label_.setText(QStringLiteral("KBytes read:"));
    remaining_.setText(QString::number(figures.input_kbytes_read));
    return;
  }
  // A position past the range shows a full bar.
  bar_.setValue(std::clamp(figures.bar_position, 0, kBarRange));
  remaining_.setText(QString::fromStdString(Format_Clock(figures.remaining_seconds)));
}

void ProgressDialog::ShowCurrentFile(const char* path) {
  const QString full = path != nullptr ? QFile::decodeName(path) : QString();
  // A long path keeps both ends; the whole path is in the tool tip.
  const QFontMetrics fm(current_file_.font());
  const int room = current_file_.contentsRect().width() - fm.horizontalAdvance(u'x');
  current_file_.setText(fm.elidedText(full, Qt::ElideMiddle, std::max(room, 0)));
  current_file_.setToolTip(full);
}

void ProgressDialog::reject() {
  timer_.stop();
  job_.RequestCancel();  // no effect on a worker that has already finished
  job_.Join();           // blocks without spinning; returns at once without a worker
  QDialog::reject();
}
