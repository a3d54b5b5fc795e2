#pragma once

#include "ConsoleView.h"

#include <QString>

#include <cstdint>
#include <string>

// The results box: what the terminal sends on the console port, and the
// outcome messages of the serial functions. Never trimmed; only Clear empties
// it. Its context menu copies, selects all and saves the results to a file,
// followed by the actions added to the box.
class ResultsLog : public ConsoleView {
    Q_OBJECT
public:
    explicit ResultsLog(QWidget* parent = nullptr);

    // colour is 0x00BBGGRR; it applies only when `coloured` is true.
    void AppendBytes(const uint8_t* bytes, int count, bool coloured, uint32_t colour);
    void AppendMessage(const std::string& text, bool coloured, uint32_t colour);
    void Clear();

    // The whole history as shown, rows joined by "\n".
    QString toPlainText() const;

    // Writes the history as shown (UTF-8, tags included) to path. A failure is
    // told to the operator with its reason; the history stays as it is either way.
    bool SaveResults(const QString& path);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void AskAndSave();
};
