#pragma once

#include "TempUserFolders.h"

#include <QString>

// The per-user folders of a window test, with a way to make files to pick.
class UiTestFolder {
public:
    QString Path() const { return QString::fromStdString(folders.Root().string()); }
    // Creates a file of `size` bytes in the folder and returns its path.
    QString MakeFile(const QString& name, qint64 size) const;

private:
    TempUserFolders folders;
};
