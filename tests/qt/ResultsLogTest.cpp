#include "AppSettings.h"
#include "ComPortNames.h"
#include "QtMainDialog.h"
#include "MessageBoxSeam.h"
#include "ResultsLog.h"
#include "TerminalSimulator.h"
#include "UiTestFolder.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QScrollBar>
#include <QtTest>

#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

void Append(ResultsLog& log, const Bytes& bytes)
{
    log.AppendBytes(bytes.data(), static_cast<int>(bytes.size()), false, 0);
}

// A row as "text" pieces with a colour name: "Hi/#0a14c8 <00>/#..."
QString Shown(const ResultsLog& log, size_t row)
{
    QStringList pieces;
    for (const auto& run : log.ShownRow(row))
        pieces << run.text + "/" + run.colour.name();
    return pieces.join(' ');
}

QColor Mix(const QColor& text, const QColor& base)
{
    return QColor((2 * text.red() + base.red()) / 3, (2 * text.green() + base.green()) / 3,
                  (2 * text.blue() + base.blue()) / 3);
}

bool ShowOnScreen(ResultsLog& log)
{
    log.resize(400, 200);
    log.show();
    return QTest::qWaitForWindowExposed(&log);
}

// Where a column of a row in view is drawn.
QPoint At(ResultsLog& log, size_t row, size_t column)
{
    qreal width = QFontMetricsF(log.font()).horizontalAdvance(QLatin1Char('0'));
    int line = QFontMetrics(log.font()).lineSpacing();
    int first = log.verticalScrollBar()->value();
    return QPoint(3 + static_cast<int>(column * width + width / 4), static_cast<int>(row - first) * line + line / 2);
}

} // namespace

class ResultsLogTest : public QObject {
    Q_OBJECT

private slots:
    void init() { MessageBoxSeam::StartRecording(); }
    void cleanup() { MessageBoxSeam::StopRecording(); }

    void receivedBytesShowAsTextTagsAndLabelsInTheirColours()
    {
        ResultsLog log;
        QPalette palette = log.palette();
        palette.setColor(QPalette::Text, QColor(10, 20, 200));
        palette.setColor(QPalette::Base, QColor(250, 241, 230));
        log.setPalette(palette);
        const QString text = QColor(10, 20, 200).name();
        const QString tag = Mix(QColor(10, 20, 200), QColor(250, 241, 230)).name();
        const QString grey = QColor(128, 128, 128).name();

        Append(log, {0x48, 0x69, 0x0D, 0x0A});
        Append(log, {0x41, 0x00, 0x42, 0x0D});
        Append(log, {0x31, 0xAA, 0x55, 0x32, 0xFF, 0x99, 0x33, 0x0A});
        Append(log, {0x7F, 0x80, 0xC3, 0xFF, 0x41, 0xAA});
        Append(log, {0x55, 0x0A});
        log.AppendMessage("Port Settings changed!\x01\n", true, 0x0000FF);
        QCOMPARE(Shown(log, 0), "Hi/" + text);
        QCOMPARE(Shown(log, 1), "A/" + text + " <00>/" + tag + " B/" + text);
        QCOMPARE(Shown(log, 2), "1/" + text + " <In Bootloader>/" + grey);
        QCOMPARE(Shown(log, 3), "2/" + text + " <In Apploader>/" + grey);
        QCOMPARE(Shown(log, 4), "3/" + text);
        // A marker split between two reads is not a label.
        QCOMPARE(Shown(log, 5), "<7F><80><C3><FF>/" + tag + " A/" + text + " <AA>/" + tag + " U/" + text);
        QCOMPARE(Shown(log, 6), "Port Settings changed!/#ff0000 <01>/" + Mix(QColor(255, 0, 0), QColor(250, 241, 230)).name());
        QCOMPARE(log.toPlainText(), QString("Hi\nA<00>B\n1<In Bootloader>\n2<In Apploader>\n3\n<7F><80><C3><FF>A<AA>U\n"
                                            "Port Settings changed!<01>\n"));
    }

    void everyByteAbove7EIsATagAndCrLfSplitBetweenReadsIsOneBreak()
    {
        ResultsLog log;
        Bytes high;
        QString tags;
        for (int byte = 0x7F; byte <= 0xFF; ++byte) {
            high.push_back(static_cast<uint8_t>(byte));
            tags += QString("<%1>").arg(byte, 2, 16, QChar('0')).toUpper();
        }
        Append(log, high);
        QCOMPARE(log.toPlainText(), tags);

        log.Clear();
        Append(log, {'a', 0x0D});
        Append(log, {0x0A, 'b'});
        log.AppendMessage("Bootloader entered!\n", true, 0x808080);
        QCOMPARE(log.toPlainText(), QString("a\nbBootloader entered!\n"));
    }

    void theLastLineStaysInViewAndClearGivesTheMemoryBack()
    {
        ResultsLog log;
        QVERIFY(ShowOnScreen(log));
        for (int i = 0; i < 2000; ++i)
            log.AppendMessage("line " + std::to_string(i) + "\r\n", false, 0);
        QVERIFY(log.History().RowCount() > log.VisibleRows());
        // Shown at the next frame without being asked.
        QTRY_COMPARE(log.verticalScrollBar()->value(), log.verticalScrollBar()->maximum());
        QCOMPARE(log.FirstVisibleRow() + log.VisibleRows(), log.History().RowCount());

        log.verticalScrollBar()->setValue(0); // the operator scrolls back...
        QCOMPARE(Shown(log, log.FirstVisibleRow()).section('/', 0, 0), QString("line 0"));
        log.AppendMessage("one more\r\n", false, 0); // ...and the next line brings the view down again
        QCOMPARE(log.FirstVisibleRow() + log.VisibleRows(), log.History().RowCount());

        const std::string lot(1 << 20, 'x');
        log.AppendMessage(lot, false, 0);
        QVERIFY(log.History().MemoryUsed() > lot.size());
        log.Clear();
        QVERIFY(log.History().MemoryUsed() < 32 * 1024);
        QCOMPARE(log.toPlainText(), QString());
        QCOMPARE(log.verticalScrollBar()->maximum(), 0);
        log.AppendMessage("again\n", false, 0);
        QCOMPARE(log.toPlainText(), QString("again\n"));
    }

    void selectionWithTheKeyboardAndTheMouseCopiesTheTextAsShown()
    {
        ResultsLog log;
        QVERIFY(ShowOnScreen(log));
        Append(log, {'o', 'n', 'e', 0x0D, 0x0A, 't', 0x00, 'o', 0x0D, 0x0A, 't', 'h', 'r', 'e', 'e'});
        log.setFocus();

        QTest::keyClick(&log, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(&log, Qt::Key_Right);
        QTest::keyClick(&log, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(&log, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(log.SelectedText(), QString("ne\nt<00>o"));
        QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("ne\nt<00>o"));

        QTest::keyClick(&log, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(log.SelectedText(), log.toPlainText());
        QTest::keyClick(&log, Qt::Key_Left); // collapses the selection
        QVERIFY(!log.HasSelection());

        QTest::mousePress(log.viewport(), Qt::LeftButton, Qt::NoModifier, At(log, 1, 1));
        QTest::mouseMove(log.viewport(), At(log, 2, 3));
        QTest::mouseRelease(log.viewport(), Qt::LeftButton, Qt::NoModifier, At(log, 2, 3));
        QCOMPARE(log.SelectedText(), QString("<00>o\nthr"));
        QTest::mouseDClick(log.viewport(), Qt::LeftButton, Qt::NoModifier, At(log, 0, 1));
        QCOMPARE(log.SelectedText(), QString("one"));
    }

    void appendsWhileSelectingKeepTheSelectedText()
    {
        ResultsLog log;
        QVERIFY(ShowOnScreen(log));
        for (int i = 0; i < 5; ++i)
            log.AppendMessage("row " + std::to_string(i) + "\n", false, 0);
        log.AppendMessage("growing", false, 0);
        log.FirstVisibleRow();
        QTest::mousePress(log.viewport(), Qt::LeftButton, Qt::NoModifier, At(log, 1, 0));
        QTest::mouseMove(log.viewport(), At(log, 5, 3));
        QCOMPARE(log.SelectedText(), QString("row 1\nrow 2\nrow 3\nrow 4\ngro"));
        int before = log.verticalScrollBar()->value();
        for (int i = 0; i < 500; ++i)
            log.AppendMessage(" more\r\nmore", false, 0);
        QTest::qWait(50); // a few frames
        QCOMPARE(log.verticalScrollBar()->value(), before); // the drag holds the view
        QTest::mouseRelease(log.viewport(), Qt::LeftButton, Qt::NoModifier, At(log, 5, 3));
        QCOMPARE(log.SelectedText(), QString("row 1\nrow 2\nrow 3\nrow 4\ngro"));
        QCOMPARE(log.FirstVisibleRow() + log.VisibleRows(), log.History().RowCount()); // caught up
    }

    void saveWritesTheHistoryAsShownAndReportsAFailedWrite()
    {
        UiTestFolder folder;
        ResultsLog log;
        Append(log, {'o', 'k', 0x00, 0xAA, 0x55, 0x0D, 0x0A, 0xE9});
        const QString shown = log.toPlainText();
        const QString path = folder.Path() + "/results.txt";
        QVERIFY(log.SaveResults(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("ok<00><In Bootloader>\n\n<E9>"));
        QVERIFY(MessageBoxSeam::Recorded().isEmpty());

        // A path below a plain file cannot be written by anyone; a folder
        // without write permission stops everyone but the superuser.
        QStringList failing{path + "/inside.txt"};
        const QString locked = folder.Path() + "/locked";
        QVERIFY(QDir().mkdir(locked));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (::geteuid() != 0)
            failing << locked + "/results.txt";
        for (const QString& target : failing) {
            MessageBoxSeam::ClearRecord();
            QVERIFY(!log.SaveResults(target));
            QCOMPARE(MessageBoxSeam::Recorded().size(), 1);
            QVERIFY2(MessageBoxSeam::Recorded()[0].startsWith("Couldn't save the results to " + target + ":\n"),
                     qPrintable(MessageBoxSeam::Recorded()[0]));
            QVERIFY(MessageBoxSeam::Recorded()[0].size() > QString("Couldn't save the results to " + target + ":\n").size());
            QCOMPARE(log.toPlainText(), shown); // nothing of the history is lost
        }
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void aTerminalFloodingTheConsoleIsTakenInWhole()
    {
        UiTestFolder folder;
        TerminalOptions options;
        options.loaderAtStart = TerminalLoader::Off;
        options.streamBytes = 1 << 20;
        options.streamMixed = true;
        TerminalSimulator simulator(options);
        std::string error;
        QVERIFY2(simulator.Start(&error), error.c_str());
        AppSettings settings;
        settings.portstatus = 1;
        settings.serialport = simulator.ComName();
        QtMainDialog dialog(settings, &ComPortNames::List);
        QVERIFY(dialog.Window().IsPortOpen());
        // The program's own event loop, not QTRY's, which sleeps between looks.
        QEventLoop loop;
        QTimer look;
        connect(&look, &QTimer::timeout, &loop, [&] {
            if (dialog.resultsLog->History().ByteCount() >= options.streamBytes)
                loop.quit();
        });
        look.start(20);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        QCOMPARE(dialog.resultsLog->History().ByteCount(), uint64_t{options.streamBytes});
        QVERIFY(dialog.resultsLog->History().RowCount() > 1000); // every value, CR and LF among them
    }
};

QTEST_MAIN(ResultsLogTest)
#include "ResultsLogTest.moc"
