#pragma once

#include <QTemporaryDir>

// Points the per-user folders at a temporary folder for the life of a test, so
// window tests never touch the operator's settings or port aliases.
class UiTestFolder {
public:
    UiTestFolder();
    ~UiTestFolder();
    QString Path() const { return folder.path(); }
    // Creates a file of `size` bytes in the folder and returns its path.
    QString MakeFile(const QString& name, qint64 size) const;

private:
    QTemporaryDir folder;
    QByteArray previousConfig;
    QByteArray previousRuntime;
};
