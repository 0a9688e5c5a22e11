// The folders in which files were last chosen, remembered between runs of
// the program in the user's settings (QSettings of organisation "Vidorlan",
// application "Vidorlan MPEG").
#pragma once

#include <QString>

enum class FolderUse { kInput, kOutput };

// The folder of the file last chosen for `use`; empty when there was none
// or the folder is gone.
QString Last_Folder(FolderUse use);

// Remembers the folder that holds `file_path` as the last one for `use`.
void Remember_Folder(FolderUse use, const QString& file_path);
