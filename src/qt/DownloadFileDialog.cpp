#include "DownloadFileDialog.h"

#include <QFileDialog>

QStringList DownloadFileDialog::Filters()
{
    return {"Downloable Files (*.bff *.bin)", "Application Files (*.bff)", "Firmware Files (*.bin)", "All Files (*)"};
}

std::string DownloadFileDialog::Choose(QWidget* parent, const std::string& currentPath)
{
    QFileDialog dialog(parent, "Open");
    dialog.setNameFilters(Filters());
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!currentPath.empty())
        dialog.selectFile(QString::fromStdString(currentPath));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::string();
    return dialog.selectedFiles().first().toStdString();
}
