// Renders every window of the desktop application into PNG files, for a
// look at the layout:
//
//   ui_screenshots --screenshots DIR [--scale N] [--dark] [INPUT]
//
// The main window with each of its pages (a stream open, so that the
// Processing page is filled, its property list holding the focus; INPUT
// defaults to the bundled sample), the compressor dialog and the progress
// dialog with example figures. --scale renders at N times the pixels (as
// QT_SCALE_FACTOR=N does), --dark in the Fusion style with a dark palette.
// Layout faults (cut-off texts, overlaps, controls crossing a group box's
// frame or title, ragged button columns) are listed on standard error and
// make the exit status 1.
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPalette>
#include <QStyleFactory>
#include <QTabWidget>
#include <cstdio>
#include <cstring>

#include "convert/conversion_job.h"
#include "tests/ui/ui_test_support.h"
#include "ui/compressor_dialog.h"
#include "ui/converter_app.h"
#include "ui/dialog_units.h"
#include "ui/main_dialog.h"
#include "ui/progress_dialog.h"

namespace {

int faults = 0;

void Check_Layout(const QWidget& container, const char* what) {
  for (const QString& fault : Layout_Faults(container)) {
    std::fprintf(stderr, "%s: %s\n", what, qPrintable(fault));
    ++faults;
  }
}

bool Save(QWidget& window, const QDir& dir, const char* name) {
  window.show();
  QApplication::processEvents();
  const QString path = dir.filePath(QString::fromLatin1(name));
  if (!window.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

// A dark colour scheme as desktops offer it: light text on dark grey.
QPalette Dark_Palette() {
  const QColor window(53, 53, 53);
  const QColor base(35, 35, 35);
  const QColor disabled(127, 127, 127);
  QPalette palette(window);
  for (const QPalette::ColorRole role :
       {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText}) {
    palette.setColor(role, Qt::white);
    palette.setColor(QPalette::Disabled, role, disabled);
  }
  palette.setColor(QPalette::Base, base);
  palette.setColor(QPalette::AlternateBase, window);
  palette.setColor(QPalette::ToolTipBase, base);
  palette.setColor(QPalette::Highlight, QColor(42, 130, 218));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::Link, QColor(42, 130, 218));
  return palette;
}

// The value of `--scale N` among the raw arguments, before the application
// object reads the environment; null when there is none.
const char* Scale_Argument(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--scale") == 0) return argv[i + 1];
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* scale = Scale_Argument(argc, argv)) qputenv("QT_SCALE_FACTOR", scale);
  QApplication application(argc, argv);
  QStringList arguments = QApplication::arguments();
  const qsizetype scale = arguments.indexOf(QStringLiteral("--scale"));
  if (scale > 0) arguments.remove(scale, 2);
  if (arguments.removeAll(QStringLiteral("--dark")) > 0) {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(Dark_Palette());
  }
  const qsizetype option = arguments.indexOf(QStringLiteral("--screenshots"));
  if (option < 1 || option + 1 >= arguments.size()) {
    std::fprintf(stderr, "usage: ui_screenshots --screenshots DIR [--scale N] [--dark] [INPUT]\n");
    return 2;
  }
  QDir dir(arguments[option + 1]);
  if (!dir.mkpath(QStringLiteral("."))) return 2;
  QString input = QStringLiteral(VIDORLAN_SOURCE_DIR "/samples/sample.mpg");
  if (option + 2 < arguments.size()) input = arguments[option + 2];

  ui_test::MessageLog messages;
  ConverterApp app;
  MainDialog dialog(app);
  auto* tabs = ui_test::Control<QTabWidget>(dialog, "1073");
  ui_test::Control<QListWidget>(app.input_page, "1005")->addItem(input);
  bool ok = Save(dialog, dir, "main_input.png");
  Check_Layout(dialog, "main window");
  Check_Layout(app.input_page, "Input page");
  tabs->setCurrentIndex(MainDialog::kProcessingPage);
  if (!app.frame_source.is_open) {
    std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(input),
                 qPrintable(messages.Texts().join(QStringLiteral("; "))));
    return 2;
  }
  dialog.activateWindow();
  ui_test::Control<QListWidget>(app.processing_page, "1010")->setFocus(Qt::TabFocusReason);
  ok = Save(dialog, dir, "main_processing.png") && ok;
  Check_Layout(app.processing_page, "Processing page");
  tabs->setCurrentIndex(MainDialog::kOutputPage);
  ok = Save(dialog, dir, "main_output.png") && ok;
  Check_Layout(app.output_page, "Output page");
  tabs->setCurrentIndex(MainDialog::kAboutPage);
  ok = Save(dialog, dir, "main_about.png") && ok;
  Check_Layout(app.about_page, "About page");

  CompressorDialog compressor(CompressOptions{}, &dialog);
  ok = Save(compressor, dir, "compressor_dialog.png") && ok;
  compressor.hide();

  // The example of a frame-limited job at frame 25 of 100 after 10 seconds;
  // the job is never started, so the dialog waits for nothing.
  ConversionSettings settings;
  settings.convert_all_frames = false;
  settings.frame_limit = 100;
  ConversionProgress progress;
  progress.frames_written = 25;
  progress.kbytes_written = 3456;
  ConversionJob job(app.frame_source, app.avi_writer, settings, progress);
  ProgressDialog progress_dialog(job, progress, settings, app.input_file_names, &dialog);
  for (int tick = 0; tick < 10; ++tick) progress_dialog.Tick();
  ok = Save(progress_dialog, dir, "progress_dialog.png") && ok;
  Check_Layout(progress_dialog, "progress dialog");
  progress_dialog.reject();
  dialog.reject();
  if (!ok) return 2;
  return faults == 0 ? 0 : 1;
}
