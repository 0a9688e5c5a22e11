#include "ui/message_box.h"

#include <QMessageBox>
#include <utility>

namespace {

MessageHandler& Installed_Handler() {
  static MessageHandler handler;
  return handler;
}

}  // namespace

void Show_Message(QWidget* owner, const QString& text, const QString& caption) {
  if (const MessageHandler& handler = Installed_Handler()) {
    handler(owner, caption, text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
  box.exec();
}

MessageHandler Set_Message_Handler(MessageHandler handler) {
  return std::exchange(Installed_Handler(), std::move(handler));
}
