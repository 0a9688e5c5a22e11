#include "ui/converter_app.h"

#include <QCoreApplication>

#include "convert/kernel_setup.h"
#include "convert/messages.h"
#include "platform/cpu_features.h"
#include "ui/main_dialog.h"
#include "ui/message_box.h"

ConverterApp::ConverterApp() : input_page(*this), processing_page(*this) {}

ConverterApp::~ConverterApp() {
  input_page.CloseInputStream();
}

int ConverterApp::Run() {
  return Run(Cpu_Has_Mmx());
}

int ConverterApp::Run(bool cpu_has_mmx) {
  if (!cpu_has_mmx) {
    // The one message not captioned "Vidorlan Message": it comes before any
    // window, under the program's own name.
    Show_Message(nullptr, QString::fromLatin1(messages::kNeedsMmx),
                 QCoreApplication::applicationName());
    return 1;
  }
  Install_Kernels(KernelChoice::kAuto);
  input_file_names.Clear();
  MainDialog dialog(*this);
  dialog.exec();
  return 0;
}
