#include "ResultsLog.h"

#include <QScrollBar>
#include <QTextCursor>

ResultsLog::ResultsLog(QWidget* parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setAcceptRichText(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QTextEdit::WidgetWidth);
}

void ResultsLog::AppendBytes(const uint8_t* bytes, int count, bool coloured, uint32_t colour)
{
    if (count <= 0)
        return;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(coloured ? QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF)
                                  : palette().color(QPalette::Text));
    // Bytes are 8-bit text of the terminal; Latin-1 keeps every byte visible.
    QString text = QString::fromLatin1(reinterpret_cast<const char*>(bytes), count);
    text.remove(QChar('\r'));
    cursor.insertText(text, format);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void ResultsLog::AppendMessage(const std::string& text, bool coloured, uint32_t colour)
{
    AppendBytes(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()), coloured, colour);
}

void ResultsLog::Clear()
{
    clear();
}
