#include "UiTestFolder.h"

#include <QDir>
#include <QFile>

UiTestFolder::UiTestFolder()
    : previousConfig(qgetenv("XDG_CONFIG_HOME")), previousRuntime(qgetenv("XDG_RUNTIME_DIR"))
{
    QDir(folder.path()).mkpath("config");
    QDir(folder.path()).mkpath("runtime");
    qputenv("XDG_CONFIG_HOME", (folder.path() + "/config").toUtf8());
    qputenv("XDG_RUNTIME_DIR", (folder.path() + "/runtime").toUtf8());
}

UiTestFolder::~UiTestFolder()
{
    qputenv("XDG_CONFIG_HOME", previousConfig);
    qputenv("XDG_RUNTIME_DIR", previousRuntime);
}

QString UiTestFolder::MakeFile(const QString& name, qint64 size) const
{
    QString path = folder.path() + "/" + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray(size, 'x'));
    return path;
}
