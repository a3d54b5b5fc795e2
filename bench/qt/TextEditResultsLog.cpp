#include "TextEditResultsLog.h"

#include "ConsoleRendering.h"

#include <QScrollBar>
#include <QTextCursor>

TextEditResultsLog::TextEditResultsLog(QWidget* parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setAcceptRichText(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QTextEdit::WidgetWidth);
}

namespace {

QColor FromColourRef(uint32_t colour)
{
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

uint32_t ToColourRef(const QColor& colour)
{
    return static_cast<uint32_t>(colour.red()) | static_cast<uint32_t>(colour.green()) << 8 |
           static_cast<uint32_t>(colour.blue()) << 16;
}

} // namespace

QString TextEditResultsLog::LineBreaks(const std::string& text)
{
    // CR, LF and CR LF each end one line, also when a CR LF is split between
    // two chunks from the port.
    QString out;
    out.reserve(static_cast<int>(text.size()));
    for (char c : text) {
        if (c == '\n' && endedWithCr) {
            endedWithCr = false;
            continue;
        }
        endedWithCr = c == '\r';
        out += c == '\r' ? QChar('\n') : QChar::fromLatin1(c);
    }
    return out;
}

void TextEditResultsLog::AppendBytes(const uint8_t* bytes, int count, bool coloured, uint32_t colour)
{
    if (count <= 0)
        return;
    const uint32_t text = coloured ? colour : ToColourRef(palette().color(QPalette::Text));
    const uint32_t tag = ConsoleRendering::TagColour(text, ToColourRef(palette().color(QPalette::Base)));

    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    for (const auto& run : ConsoleRendering::Render(bytes, static_cast<size_t>(count))) {
        QTextCharFormat format;
        uint32_t runColour = run.kind == ConsoleRendering::RunKind::Text  ? text
                             : run.kind == ConsoleRendering::RunKind::Tag ? tag
                                                                          : ConsoleRendering::LabelColour;
        format.setForeground(FromColourRef(runColour));
        cursor.insertText(LineBreaks(run.text), format);
    }
    cursor.endEditBlock();
    // Keep the newest line in view at the bottom.
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TextEditResultsLog::AppendMessage(const std::string& text, bool coloured, uint32_t colour)
{
    AppendBytes(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()), coloured, colour);
}

void TextEditResultsLog::Clear()
{
    clear();
    endedWithCr = false;
}
