#pragma once

#include <QLabel>

// A one-line, bordered path display that shortens a long path in its middle
// with an ellipsis, so both the folder's start and the file name stay readable.
class PathDisplay : public QLabel {
    Q_OBJECT
public:
    explicit PathDisplay(QWidget* parent = nullptr);
    void SetPath(const QString& path);
    QString Path() const { return fullPath; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();
    QString fullPath;
};
