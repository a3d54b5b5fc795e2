#include "MessageBoxSeam.h"

#include <QMessageBox>

const char* MessageBoxSeam::Title = "Vennix";

namespace {
bool recording = false;
QStringList record;
} // namespace

void MessageBoxSeam::Show(QWidget* parent, const QString& text, Icon icon, const QString& detail)
{
    if (recording) {
        record << (detail.isEmpty() ? text : text + "\n--\n" + detail);
        return;
    }
    QMessageBox box(icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    QString::fromLatin1(Title), text, QMessageBox::Ok, parent);
    if (!detail.isEmpty())
        box.setInformativeText(detail);
    box.exec();
}

void MessageBoxSeam::StartRecording()
{
    recording = true;
    record.clear();
}

void MessageBoxSeam::StopRecording()
{
    recording = false;
    record.clear();
}

QStringList MessageBoxSeam::Recorded()
{
    return record;
}

void MessageBoxSeam::ClearRecord()
{
    record.clear();
}
