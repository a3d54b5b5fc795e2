#pragma once

#include <QTextEdit>

#include <cstdint>
#include <string>

// The results box: what the terminal sends on the console port, and the
// outcome messages of the serial functions. Never trimmed; only Clear empties it.
class ResultsLog : public QTextEdit {
    Q_OBJECT
public:
    explicit ResultsLog(QWidget* parent = nullptr);

    // colour is 0x00BBGGRR; it applies only when `coloured` is true.
    void AppendBytes(const uint8_t* bytes, int count, bool coloured, uint32_t colour);
    void AppendMessage(const std::string& text, bool coloured, uint32_t colour);
    void Clear();

private:
    QString LineBreaks(const std::string& text);
    bool endedWithCr = false;
};
