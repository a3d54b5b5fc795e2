#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Every message box of the program goes through here: a real QMessageBox with
// the application's title and an OK button, or, while a test records, a line in
// the record and no window at all.
class MessageBoxSeam {
public:
    enum class Icon { None, Exclamation };

    static void Show(QWidget* parent, const QString& text, Icon icon = Icon::None,
                     const QString& detail = QString());

    static void StartRecording();
    static void StopRecording();
    // Texts shown since recording started; a detail follows its text after "\n--\n".
    static QStringList Recorded();
    static void ClearRecord();

    static const char* Title;
};
