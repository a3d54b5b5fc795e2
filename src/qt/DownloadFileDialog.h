#pragma once

#include <QStringList>

#include <string>

class QWidget;

// The file-open dialog of Browse: Vennix's filters, the downloadable files
// first; the file need not exist.
class DownloadFileDialog {
public:
    static QStringList Filters();
    // The chosen path, or "" on Cancel. It starts at currentPath when there is one.
    static std::string Choose(QWidget* parent, const std::string& currentPath);
};
