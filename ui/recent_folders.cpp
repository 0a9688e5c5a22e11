#include "ui/recent_folders.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

constexpr char kOrganisation[] = "Vidorlan";
constexpr char kApplication[] = "Vidorlan MPEG";

QString Key(FolderUse use) {
  return use == FolderUse::kInput ? QStringLiteral("folders/input")
                                  : QStringLiteral("folders/output");
}

}  // namespace

QString Last_Folder(FolderUse use) {
  const QSettings settings(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
  const QString folder = settings.value(Key(use)).toString();
  return !folder.isEmpty() && QDir(folder).exists() ? folder : QString();
}

void Remember_Folder(FolderUse use, const QString& file_path) {
  QSettings settings(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
  settings.setValue(Key(use), QFileInfo(file_path).absolutePath());
}
