// vidorlan-mpeg: the desktop converter.
//
// The program takes no options of its own, except one for the automatic
// start-up test: `--exit-after-ms N` presses Escape in the active window N
// milliseconds after start, which ends the program the way a user would.
#include <QApplication>
#include <QKeyEvent>
#include <QStringList>
#include <QTimer>
#include <csignal>

#include "ui/converter_app.h"
#include "ui/ui_resources.h"

namespace {

void Press_Escape_In_Active_Window() {
  QWidget* target = QApplication::activeModalWidget();
  if (target == nullptr) target = QApplication::activeWindow();
  if (target == nullptr) return;
  QWidget* receiver = target->focusWidget() != nullptr ? target->focusWidget() : target;
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(receiver, &press);
}

}  // namespace

int main(int argc, char** argv) {
  // A file size limit makes writes fail, reported as write errors, instead
  // of ending the program with a cut file.
  std::signal(SIGXFSZ, SIG_IGN);
  QApplication application(argc, argv);
  QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
  QApplication::setWindowIcon(Program_Icon());

  QTimer exit_timer;
  const QStringList arguments = QApplication::arguments();
  const qsizetype option = arguments.indexOf(QStringLiteral("--exit-after-ms"));
  if (option > 0 && option + 1 < arguments.size()) {
    bool ok = false;
    const int delay = arguments[option + 1].toInt(&ok);
    if (ok && delay >= 0) {
      // Presses again every quarter second until the program has ended, in
      // case the window was not up yet.
      QObject::connect(&exit_timer, &QTimer::timeout, [&exit_timer] {
        Press_Escape_In_Active_Window();
        exit_timer.setInterval(250);
      });
      exit_timer.start(delay);
    }
  }

  ConverterApp app;
  return app.Run();
}
