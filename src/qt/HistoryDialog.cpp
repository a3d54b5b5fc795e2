#include "HistoryDialog.h"

#include "DownloadLog.h"
#include "HistoryTable.h"
#include "MessageBoxSeam.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <set>

HistoryDialog::HistoryDialog(const HistoryTable& table, QWidget* parent) : QDialog(parent), table(table)
{
    setWindowTitle("Download History");
    const QString logPath = QString::fromStdString(table.Log().Path());
    QString text;
    if (table.RowCount() == 0)
        text = QString("No downloads are recorded in %1 yet.").arg(logPath);
    else if (table.RowCount() == 1)
        text = QString("The one download recorded in %1.").arg(logPath);
    else
        text = QString("The latest %1 downloads recorded in %2, newest first.").arg(table.RowCount()).arg(logPath);
    if (table.Skipped() > 0)
        text += QString(" %1 lines that are no record were left out.").arg(table.Skipped());
    heading = new QLabel(text, this);
    heading->setWordWrap(true);
    heading->setTextInteractionFlags(Qt::TextSelectableByMouse);

    const std::vector<std::string> headings = HistoryTable::Headings();
    rows = new QTableWidget(static_cast<int>(table.RowCount()), static_cast<int>(headings.size()), this);
    QStringList labels;
    for (const std::string& label : headings)
        labels << QString::fromStdString(label);
    rows->setHorizontalHeaderLabels(labels);
    for (size_t r = 0; r < table.RowCount(); ++r) {
        const std::vector<std::string> cells = table.Row(r);
        for (size_t c = 0; c < cells.size(); ++c)
            rows->setItem(static_cast<int>(r), static_cast<int>(c),
                          new QTableWidgetItem(QString::fromStdString(cells[c])));
    }
    rows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rows->setSelectionBehavior(QAbstractItemView::SelectRows);
    rows->setSelectionMode(QAbstractItemView::ExtendedSelection);
    rows->verticalHeader()->setVisible(false);
    rows->horizontalHeader()->setStretchLastSection(true);
    rows->resizeColumnsToContents();
    rows->installEventFilter(this);

    copyButton = new QPushButton("&Copy", this);
    exportButton = new QPushButton("&Export CSV...", this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(copyButton, QDialogButtonBox::ActionRole);
    buttons->addButton(exportButton, QDialogButtonBox::ActionRole);
    copyButton->setEnabled(table.RowCount() > 0);
    exportButton->setEnabled(table.RowCount() > 0);
    connect(copyButton, &QPushButton::clicked, this, &HistoryDialog::CopySelection);
    connect(exportButton, &QPushButton::clicked, this, &HistoryDialog::Export);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(rows, 1);
    layout->addWidget(buttons);
    resize(900, 420);
}

void HistoryDialog::CopySelection()
{
    std::set<size_t> selected; // in the table's order, each row once
    for (const QModelIndex& index : rows->selectionModel()->selectedRows())
        selected.insert(static_cast<size_t>(index.row()));
    QApplication::clipboard()->setText(
        QString::fromStdString(table.CopyText(std::vector<size_t>(selected.begin(), selected.end()))));
}

QString HistoryDialog::ChooseExportPath()
{
    if (chooseExportPath)
        return chooseExportPath();
    return QFileDialog::getSaveFileName(this, "Export Download History", QDir::homePath() + "/downloads.csv",
                                        "CSV Files (*.csv);;All Files (*)");
}

void HistoryDialog::Export()
{
    const QString path = ChooseExportPath();
    if (path.isEmpty())
        return;
    std::string error;
    if (!table.ExportCsv(path.toStdString(), &error))
        MessageBoxSeam::Show(this, "The download history could not be exported.", MessageBoxSeam::Icon::Exclamation,
                             QString::fromStdString(error));
}

bool HistoryDialog::eventFilter(QObject* watched, QEvent* event)
{
    // The table's own Ctrl+C copies one cell; here it copies whole rows.
    if (watched == rows && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        CopySelection();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
