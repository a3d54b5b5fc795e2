// The download history on Qt: the table's rows newest first, Copy and Ctrl+C
// giving whole rows, Export writing the CSV or saying why it could not, and
// the window's context menus reaching it.
#include "AppSettings.h"
#include "DownloadLog.h"
#include "DownloadRecord.h"
#include "HistoryDialog.h"
#include "HistoryTable.h"
#include "MessageBoxSeam.h"
#include "QtMainDialog.h"
#include "ResultsLog.h"
#include "SampleRecords.h"
#include "UiTestFolder.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <chrono>

namespace {

DownloadRecord Download(const std::string& target, int minutes, RecordOutcome outcome)
{
    return SampleDownload(target, minutes, outcome, "/srv/images/app.bff", "app.bff");
}

QStringList Lines(const QString& text)
{
    return text.split('\n', Qt::SkipEmptyParts);
}

} // namespace

class HistoryDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        folder = std::make_unique<UiTestFolder>();
        MessageBoxSeam::StartRecording();
        log = std::make_unique<DownloadLog>(DownloadLog::DefaultPath());
        std::string error;
        for (const DownloadRecord& record : {Download("10.0.0.1", 0, RecordOutcome::Finished),
                                             Download("10.0.0.2", 1, RecordOutcome::Failed),
                                             Download("10.0.0.3", 2, RecordOutcome::Finished)})
            QVERIFY2(log->Append(record, &error), error.c_str());
    }
    void cleanup()
    {
        MessageBoxSeam::StopRecording();
        log.reset();
        folder.reset();
    }

    void theRowsAreTheNewestFirstAndCopyTakesWholeRows()
    {
        HistoryTable table(*log);
        std::string error;
        QVERIFY2(table.Load(&error), error.c_str());
        HistoryDialog dialog(table);
        QTableWidget* rows = dialog.Table();
        QCOMPARE(rows->rowCount(), 3);
        QCOMPARE(rows->columnCount(), int(HistoryTable::Headings().size()));
        QCOMPARE(rows->horizontalHeaderItem(1)->text(), QString("Target"));
        QCOMPARE(rows->item(0, 1)->text(), QString("10.0.0.3"));
        QCOMPARE(rows->item(1, 3)->text(), QString("failed"));
        QCOMPARE(rows->item(2, 0)->text(), QString("2026-12-09 18:00:00"));
        QVERIFY(dialog.Heading()->text().contains(QString::fromStdString(log->Path())));

        // Nothing selected: every row; then the selected rows in the table's order.
        dialog.CopyButton()->click();
        QStringList copied = Lines(QApplication::clipboard()->text());
        QCOMPARE(copied.size(), 4);
        QVERIFY(copied[0].startsWith("Start (UTC)\tTarget\t"));
        for (int row : {2, 0})
            rows->selectionModel()->select(rows->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        dialog.CopyButton()->click();
        copied = Lines(QApplication::clipboard()->text());
        QCOMPARE(copied.size(), 3);
        QVERIFY(copied[1].startsWith("2026-12-09 18:02:00\t10.0.0.3\t"));
        QVERIFY(copied[2].startsWith("2026-12-09 18:00:00\t10.0.0.1\t"));
        QVERIFY(copied[2].contains(QString(64, 'a')));

        // Ctrl+C in the table copies the rows too, not the one cell the table would.
        QApplication::clipboard()->clear();
        rows->clearSelection();
        rows->selectRow(1);
        QTest::keySequence(rows, QKeySequence::Copy);
        copied = Lines(QApplication::clipboard()->text());
        QCOMPARE(copied.size(), 2);
        QVERIFY(copied[1].contains("\t10.0.0.2\tapp.bff\tfailed\t1024 of 4096\t12.0\t"));
    }

    void exportWritesTheCsvOrSaysWhyNot()
    {
        HistoryTable table(*log);
        std::string error;
        QVERIFY2(table.Load(&error), error.c_str());
        HistoryDialog dialog(table);

        const QString path = folder->Path() + "/export.csv";
        dialog.chooseExportPath = [&] { return path; };
        dialog.ExportButton()->click();
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll().toStdString(), table.CsvText());
        QVERIFY(MessageBoxSeam::Recorded().isEmpty());

        dialog.chooseExportPath = [&] { return folder->Path() + "/no such folder/export.csv"; };
        dialog.ExportButton()->click();
        QCOMPARE(MessageBoxSeam::Recorded().size(), 1);
        QVERIFY(MessageBoxSeam::Recorded().first().startsWith("The download history could not be exported.\n--\n"));

        // Cancelling the file dialog writes nothing and says nothing.
        QVERIFY(QFile::remove(path));
        dialog.chooseExportPath = [] { return QString(); };
        dialog.ExportButton()->click();
        QVERIFY(!QFile::exists(path));
        QCOMPARE(MessageBoxSeam::Recorded().size(), 1);
    }

    void anEmptyLogSaysSoAndOffersNothingToCopy()
    {
        HistoryTable table{DownloadLog(folder->Path().toStdString() + "/none.jsonl")};
        std::string error;
        QVERIFY2(table.Load(&error), error.c_str());
        HistoryDialog dialog(table);
        QCOMPARE(dialog.Table()->rowCount(), 0);
        QVERIFY(dialog.Heading()->text().startsWith("No downloads are recorded in "));
        QVERIFY(!dialog.CopyButton()->isEnabled());
        QVERIFY(!dialog.ExportButton()->isEnabled());
    }

    void theWindowsMenusOpenTheHistory()
    {
        AppSettings settings;
        settings.portstatus = 0;
        QtMainDialog dialog(settings, [] { return std::vector<std::string>(); });
        QVERIFY(dialog.historyAction != nullptr);
        QCOMPARE(dialog.historyAction->text(), QString("Download &history..."));
        QCOMPARE(dialog.contextMenuPolicy(), Qt::ActionsContextMenu);
        QVERIFY(dialog.actions().contains(dialog.historyAction));
        QVERIFY(dialog.resultsLog->actions().contains(dialog.historyAction));

        int shownRows = -1;
        QString firstTarget;
        dialog.historyShown = [&](HistoryDialog& shown) {
            shownRows = shown.Table()->rowCount();
            firstTarget = shown.Table()->item(0, 1)->text();
            QTimer::singleShot(0, &shown, &QDialog::reject);
        };
        dialog.historyAction->trigger();
        QCOMPARE(shownRows, 3);
        QCOMPARE(firstTarget, QString("10.0.0.3"));

        // From the keyboard: Shift+F10 on a button opens the window's menu.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.clearButton->setFocus();
        QList<QAction*> offered;
        QTimer::singleShot(0, &dialog, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                offered = popup->actions();
                popup->close();
            }
        });
        QTest::keyClick(dialog.clearButton, Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(offered, QList<QAction*>{dialog.historyAction});
    }

private:
    std::unique_ptr<UiTestFolder> folder;
    std::unique_ptr<DownloadLog> log;
};

QTEST_MAIN(HistoryDialogTest)
#include "HistoryDialogTest.moc"
