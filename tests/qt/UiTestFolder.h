#pragma once

#include "TempUserFolders.h"
#include "TestFiles.h"

#include <QString>

// The per-user folders of a window test, with a way to make files to pick.
// Reproducible contents for a file to download (the same generator as the core tests').
inline QByteArray RandomQBytes(int size, unsigned seed)
{
    const std::vector<uint8_t> bytes = RandomBytes(static_cast<size_t>(size), seed);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), size);
}

class UiTestFolder {
public:
    QString Path() const { return QString::fromStdString(folders.Root().string()); }
    // Creates a file of `size` bytes in the folder and returns its path.
    QString MakeFile(const QString& name, qint64 size) const;

private:
    TempUserFolders folders;
};
