#include "ui/main_dialog.h"

#include "convert/conversion_job.h"
#include "ui/compressor_dialog.h"
#include "ui/converter_app.h"
#include "ui/dialog_units.h"
#include "ui/message_box.h"
#include "ui/progress_dialog.h"
#include "ui/ui_resources.h"

MainDialog::MainDialog(ConverterApp& app) : app_(app) {
  setWindowTitle(QStringLiteral("Vidorlan MPEG"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(Program_Icon());

  tabs_.setObjectName(QStringLiteral("1073"));
  tabs_.addTab(&app_.input_page, QStringLiteral("&Input"));
  tabs_.addTab(&app_.processing_page, QStringLiteral("&Processing"));
  tabs_.addTab(&app_.output_page, QStringLiteral("&Output"));
  tabs_.addTab(&app_.about_page, QStringLiteral("&About"));
  tabs_.setCurrentIndex(kInputPage);
  current_page_ = kInputPage;
  app_.processing_page.DisableProcessingControls();
  app_.output_page.DisableOutputControls();

  start_.setParent(this);
  start_.setObjectName(QStringLiteral("1084"));
  start_.setText(QStringLiteral("&Start Conversion..."));
  start_.setEnabled(false);
  exit_.setParent(this);
  exit_.setObjectName(QStringLiteral("2"));
  exit_.setText(QStringLiteral("E&xit"));
  // Enter does nothing in this window: there is no default button.
  for (QPushButton* button : {&start_, &exit_}) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }

  Place_Control(tabs_, 7, 7, 224, 202);
  Place_Control(start_, 103, 215, 75, 14);
  Place_Control(exit_, 181, 215, 50, 14);
  setFixedSize(Dialog_Rect_To_Pixels(0, 0, 238, 236).size());
  Fit_Controls(*this);

  app_.avi_writer.SetChooseCompressorHook(
      [this](CompressOptions& options) { return Choose_Compressor(this, options); });

  connect(&tabs_, &QTabWidget::currentChanged, this, &MainDialog::OnTabChanged);
  connect(&start_, &QPushButton::clicked, this, &MainDialog::OnStartConversion);
  connect(&exit_, &QPushButton::clicked, this, &MainDialog::reject);
}

MainDialog::~MainDialog() {
  app_.avi_writer.SetChooseCompressorHook(nullptr);
  // The pages outlive this window: hand them back before the tab control
  // would destroy them.
  disconnect(&tabs_, nullptr, this, nullptr);
  while (tabs_.count() > 0) {
    QWidget* page = tabs_.widget(0);
    tabs_.removeTab(0);
    page->hide();
    page->setParent(nullptr);
  }
}

void MainDialog::OnTabChanged(int index) {
  const int old_page = current_page_;
  current_page_ = index;
  if (old_page == kInputPage) app_.input_page.ProbeInputFiles();
  if (index == kInputPage && app_.frame_source.is_open) {
    start_.setEnabled(false);
    app_.input_page.CloseInputStream();
  }
  if (app_.frame_source.is_open) start_.setEnabled(true);
}

void MainDialog::reject() {
  if (app_.frame_source.is_open) app_.input_page.CloseInputStream();
  done(2);
}

void MainDialog::OnStartConversion() {
  if (!app_.frame_source.is_open) return;

  StartForm form;
  app_.processing_page.ReadStartForm(&form);
  app_.output_page.ReadStartForm(&form);
  const StartResult checked =
      Read_Start_Form(form, app_.frame_source.stream_info, app_.input_file_names.Table(),
                      &app_.conversion_settings);
  if (checked.outcome != StartResult::kStarted) {
    if (checked.outcome == StartResult::kRefused)
      Show_Message(this, QString::fromLatin1(checked.message));
    return;
  }

  ConversionJob job(app_.frame_source, app_.avi_writer, app_.conversion_settings,
                    app_.conversion_progress);
  if (launcher_) job.SetLauncher(launcher_);
  const StartResult started = job.Start();  // the compressor dialog shows here
  if (started.outcome != StartResult::kStarted) {
    if (started.outcome == StartResult::kRefused)
      Show_Message(this, QString::fromLatin1(started.message));
    return;
  }
  {
    ProgressDialog progress(job, app_.conversion_progress, app_.conversion_settings,
                            app_.input_file_names, this);
    progress.exec();  // returns once the worker has finished
  }
  job.Join();
  app_.input_page.CloseInputStream();
  start_.setEnabled(false);
}
