#include "ui/ui_resources.h"

#include <QString>

// The images live in this static library; registering them here makes sure
// the linker keeps them and that they exist before the first use. (The
// registration macro must not be used inside a namespace.)
static void Load_Resources() {
  static const bool loaded = [] {
    Q_INIT_RESOURCE(ui);
    return true;
  }();
  (void)loaded;
}

QIcon Program_Icon() {
  Load_Resources();
  QIcon icon;
  icon.addFile(QStringLiteral(":/vidorlan/icon32.png"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/vidorlan/icon16.png"), QSize(16, 16));
  return icon;
}

QPixmap Logo_Pixmap() {
  Load_Resources();
  return QPixmap(QStringLiteral(":/vidorlan/logo.png"));
}
