#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class HistoryTable;
class QLabel;
class QPushButton;
class QTableWidget;

// The download history: the latest records as the table gives them, newest
// first, one row each. Copy puts the selected rows (all of them when none is
// selected) on the clipboard as tab-separated text, as Ctrl+C in the table
// does; Export CSV writes every shown record with all its fields to a file.
class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    // The table must stay as it is while the dialog lives.
    HistoryDialog(const HistoryTable& table, QWidget* parent = nullptr);

    // Save-file dialog seam for tests: the chosen path, or empty on Cancel.
    std::function<QString()> chooseExportPath;

    QTableWidget* Table() const { return rows; }
    QPushButton* CopyButton() const { return copyButton; }
    QPushButton* ExportButton() const { return exportButton; }
    QLabel* Heading() const { return heading; }

    void CopySelection();
    void Export();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString ChooseExportPath();

    const HistoryTable& table;
    QLabel* heading = nullptr;
    QTableWidget* rows = nullptr;
    QPushButton* copyButton = nullptr;
    QPushButton* exportButton = nullptr;
};
