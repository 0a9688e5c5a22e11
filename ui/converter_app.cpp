#include "ui/converter_app.h"

#include <QCoreApplication>

#include "convert/messages.h"
#include "ui/main_dialog.h"
#include "ui/message_box.h"

bool CpuHasMmx() {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("mmx") != 0;
#else
  return true;
#endif
}

ConverterApp::ConverterApp() : input_page(*this), processing_page(*this) {}

ConverterApp::~ConverterApp() {
  input_page.CloseInputStream();
}

int ConverterApp::Run() {
  return Run(CpuHasMmx());
}

int ConverterApp::Run(bool cpu_has_mmx) {
  if (!cpu_has_mmx) {
    // The one message not captioned "Vidorlan Message": it comes before any
    // window, under the program's own name.
    Show_Message(nullptr, QString::fromLatin1(messages::kNeedsMmx),
                 QCoreApplication::applicationName());
    return 1;
  }
  input_file_names.Clear();
  MainDialog dialog(*this);
  dialog.exec();
  return 0;
}
