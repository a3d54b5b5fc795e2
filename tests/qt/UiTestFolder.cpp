#include "UiTestFolder.h"

#include <QByteArray>
#include <QFile>

QString UiTestFolder::MakeFile(const QString& name, qint64 size) const
{
    QString path = Path() + "/" + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray(size, 'x'));
    return path;
}
