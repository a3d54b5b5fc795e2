#pragma once

#include <QTextEdit>

#include <cstdint>
#include <string>

// The results box as it was before its compact history: a rich-text box that
// keeps every byte as formatted text with undo. Kept here only as the baseline
// that the benchmark compares the results box with.
class TextEditResultsLog : public QTextEdit {
    Q_OBJECT
public:
    explicit TextEditResultsLog(QWidget* parent = nullptr);

    // colour is 0x00BBGGRR; it applies only when `coloured` is true.
    void AppendBytes(const uint8_t* bytes, int count, bool coloured, uint32_t colour);
    void AppendMessage(const std::string& text, bool coloured, uint32_t colour);
    void Clear();

private:
    QString LineBreaks(const std::string& text);
    bool endedWithCr = false;
};
