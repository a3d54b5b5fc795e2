// The main window against terminals that behave as real ones do: they talk
// while idle, reset into another line, lose their adapter, hold the line; and
// the keyboard, start-up and shut-down around them.
#include "AppSettings.h"
#include "ComPortNames.h"
#include "DownloadProgressDialog.h"
#include "DownloaderApp.h"
#include "QtMainDialog.h"
#include "MemorySettingsStore.h"
#include "MessageBoxSeam.h"
#include "ResultsLog.h"
#include "SerialDownloadJob.h"
#include "SerialMessages.h"
#include "SerialPage.h"
#include "SerialPort.h"
#include "TerminalSimulator.h"
#include "UiTestFolder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <random>

namespace {

constexpr int WorkerMs = 15000; // generous: the machine may be busy with other builds


QByteArray BytesOf(const ReceivedImage& image)
{
    return QByteArray(reinterpret_cast<const char*>(image.bytes.data()), int(image.bytes.size()));
}

} // namespace

class MainDialogLifecycleTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        folder = std::make_unique<UiTestFolder>();
        MessageBoxSeam::StartRecording();
    }
    void cleanup()
    {
        simulator.reset();
        MessageBoxSeam::StopRecording();
        folder.reset();
    }

    void aTalkingTerminalNeverTakesTheDialogueFromTheWorker_data()
    {
        QTest::addColumn<double>("intervalMs");
        QTest::addColumn<bool>("always");
        QTest::addColumn<int>("downloads");
        QTest::newRow("until a command, every 0.5 ms") << 0.5 << false << 20;
        QTest::newRow("all the time, every 2 ms") << 2.0 << true << 5;
    }
    void aTalkingTerminalNeverTakesTheDialogueFromTheWorker()
    {
        QFETCH(double, intervalMs);
        QFETCH(bool, always);
        QFETCH(int, downloads);
        TerminalOptions options;
        options.loaderAtStart = TerminalLoader::Bootloader;
        options.chatterIntervalMs = intervalMs;
        options.chatterAlways = always;
        Start(options);
        const QByteArray image = RandomQBytes(600, 11);
        AppSettings settings = SettingsFor(1, WriteFile("talk.bin", image));
        QtMainDialog dialog(settings, &ComPortNames::List);
        dialog.show();
        QVERIFY(dialog.Window().IsPortOpen());

        for (int i = 0; i < downloads; ++i) {
            // Let the talk reach the window, so that a notification is on its way
            // when Download is pressed.
            QTRY_VERIFY_WITH_TIMEOUT(dialog.resultsLog->toPlainText().count("status ") > 0, WorkerMs);
            QTest::qWait(5);
            dialog.downloadButton->click();
            QTRY_VERIFY_WITH_TIMEOUT(dialog.isEnabled(), WorkerMs);
            QCOMPARE(gProgressDialog->StatusLine()->text(), QString("Download is finished."));
            ReceivedImage received;
            QVERIFY(simulator->WaitForImage(std::chrono::milliseconds(WorkerMs), &received, size_t(i)));
            QVERIFY2(received.accepted, received.verdict.c_str());
            QCOMPARE(BytesOf(received), image);
            if (!always)
                dialog.resultsLog->Clear();
        }
        // The window showed the terminal's talk, never the loader's replies.
        QTRY_VERIFY_WITH_TIMEOUT(dialog.resultsLog->toPlainText().contains("status "), WorkerMs);
        QVERIFY(!dialog.resultsLog->toPlainText().contains("<In Bootloader>"));
    }

    void theNextDownloadStartsOnThePagesLineWhateverTheLastOneLeft()
    {
        TerminalOptions options;
        options.apploaderRate = 9600;
        options.apploaderFormat = "8e1";
        options.firmwareVersion = "1.40"; // too old for frames: the worker resets it
        options.flowControlReply = 0x81;
        Start(options);
        const QByteArray firmware = RandomQBytes(900, 3);
        const QByteArray application = RandomQBytes(1500, 4);
        AppSettings settings = SettingsFor(1, WriteFile("new.bin", firmware));
        settings.baud = "9600";
        settings.dataformat = "8e1";
        QtMainDialog dialog(settings, &ComPortNames::List);
        dialog.show();
        QVERIFY(dialog.portToggle->text().endsWith("9600, 8e1"));

        Download(dialog);
        QCOMPARE(simulator->CountCommands("R;"), size_t(1));
        ExpectImage(0, firmware);
        // The line as the reset left it, not as the page asks.
        QVERIFY2(dialog.portToggle->text().endsWith("\n115200, 8n1"), qPrintable(dialog.portToggle->text()));

        simulator->SetLoader(TerminalLoader::Apploader); // the terminal boots its new firmware
        dialog.Window().SelectFile(QString(WriteFile("app.bff", application)).toStdString());
        Download(dialog);
        ExpectImage(1, application); // on Xon/Xoff: the simulator checks the line's flags
        QCOMPARE(dialog.Window().Port()->AppliedLine().parity, EvenParity); // reopened from the page
        QVERIFY2(dialog.portToggle->text().endsWith("\n9600, 8e1, Xon/Xoff"), qPrintable(dialog.portToggle->text()));

        simulator->ChangeOptions([](TerminalOptions& o) { o.firmwareVersion = "1.50"; });
        dialog.Window().SelectFile(QString(WriteFile("new.bin", firmware)).toStdString());
        Download(dialog);
        ExpectImage(2, firmware);
        QCOMPARE(simulator->CountCommands("R;"), size_t(1));
        QVERIFY(MessageBoxSeam::Recorded().isEmpty());
    }

    void aPulledAdapterReleasesTheToggleAndSaysWhy()
    {
        TerminalOptions options;
        Start(options);
        AppSettings settings = SettingsFor(1, QString());
        QtMainDialog dialog(settings, &ComPortNames::List);
        QVERIFY(dialog.Window().IsPortOpen());

        simulator->Unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.Window().IsPortOpen(), WorkerMs);
        QVERIFY(!dialog.portToggle->isChecked());
        QCOMPARE(dialog.portToggle->text(), QString("Serial &port is closed"));
        const QString lost = QString::fromStdString(SerialMessages::ConnectionLost(simulator->ComNumber()));
        QVERIFY(dialog.resultsLog->toPlainText().contains(lost));
        QVERIFY(MessageBoxSeam::Recorded().isEmpty());

        simulator->Replug();
        QVERIFY(simulator->WaitForLoader(TerminalLoader::Apploader, std::chrono::milliseconds(WorkerMs)));
        dialog.portToggle->click();
        QVERIFY(dialog.Window().IsPortOpen());
        QVERIFY(dialog.portToggle->isChecked());
    }

    void anAdapterPulledDuringADownloadIsToldWhenItEnds()
    {
        TerminalOptions options;
        options.flowControlReply = 0x80;
        options.unplugAfterBytes = 3000;
        Start(options);
        AppSettings settings = SettingsFor(1, WriteFile("big.bff", RandomQBytes(40000, 5)));
        QtMainDialog dialog(settings, &ComPortNames::List);
        dialog.show();
        dialog.downloadButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isEnabled(), WorkerMs);
        const QString lost = QString::fromStdString(SerialMessages::ConnectionLost(simulator->ComNumber()));
        QCOMPARE(gProgressDialog->StatusLine()->text(), lost);
        QVERIFY(!dialog.Window().IsPortOpen());
        QCOMPARE(dialog.portToggle->text(), QString("Serial &port is closed"));
        QVERIFY(dialog.resultsLog->toPlainText().endsWith(lost + "\n"));
    }

    void xmitIntoALineThatTakesNothingReturnsAndSaysWhatWasDropped()
    {
        TerminalOptions options;
        options.apploaderRate = 1200;
        options.paceLine = true; // 120 bytes a second
        Start(options);
        AppSettings settings = SettingsFor(1, QString());
        settings.baud = "1200";
        QtMainDialog dialog(settings, &ComPortNames::List);
        QVERIFY(dialog.Window().IsPortOpen());
        dialog.serialPage->TransmitText()->setText(QString(30000, 'A'));
        dialog.serialPage->XmitButton()->click();
        QVERIFY(dialog.resultsLog->toPlainText().contains("bytes were not sent"));
        QVERIFY(dialog.Window().IsPortOpen());
        // Let the line drain quickly, or closing would wait for 120 bytes a second.
        simulator->ChangeOptions([](TerminalOptions& o) { o.paceLine = false; });
    }

    void enterPressesTheFocusedButtonAndNeverStartsADownloadThere()
    {
        TerminalOptions options;
        options.flowControlReply = 0x80;
        Start(options);
        AppSettings settings = SettingsFor(0, QString());
        QtMainDialog dialog(settings, &ComPortNames::List);
        int browsed = 0;
        dialog.chooseFile = [&] { ++browsed; return QString(); };
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto enterOn = [&](QWidget* widget) {
            if (!dialog.isActiveWindow()) { // a modal dialog just closed
                dialog.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&dialog));
            }
            widget->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), widget);
            QTest::keyClick(widget, Qt::Key_Return);
        };

        enterOn(dialog.portToggle);
        QVERIFY(dialog.Window().IsPortOpen());
        enterOn(dialog.portToggle);
        QVERIFY(!dialog.Window().IsPortOpen());

        enterOn(dialog.browseButton);
        QCOMPARE(browsed, 1);

        dialog.resultsLog->AppendMessage("old\n", false, 0);
        enterOn(dialog.clearButton);
        QVERIFY(dialog.resultsLog->toPlainText().isEmpty());

        QString aboutTitle;
        QTimer::singleShot(100, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                aboutTitle = modal->windowTitle();
                qobject_cast<QDialog*>(modal)->reject();
            }
        });
        enterOn(dialog.aboutButton);
        QCOMPARE(aboutTitle, QString("About Lumetra Downloader"));

        dialog.serialPage->TransmitText()->setText("Q;");
        enterOn(dialog.serialPage->XmitButton());
        QVERIFY(simulator->WaitForCommandCount("Q;", 1, std::chrono::milliseconds(WorkerMs)));
        enterOn(dialog.serialPage->TransmitText()); // Enter in the text sends it
        QVERIFY(simulator->WaitForCommandCount("Q;", 2, std::chrono::milliseconds(WorkerMs)));
        QTRY_VERIFY_WITH_TIMEOUT(dialog.resultsLog->toPlainText().count("<In Apploader>") == 2, WorkerMs);

        QTimer::singleShot(300, [&] {
            if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                modal->reject();
        });
        enterOn(dialog.serialPage->InduceButton());
        // The induction ran (this terminal obliges at once, or it was cancelled).
        QVERIFY2(dialog.resultsLog->toPlainText().contains(QRegularExpression("Bootloader (not )?entered!\n")),
                 qPrintable(dialog.resultsLog->toPlainText()));
        QVERIFY(!dialog.Window().serialJob);
        QVERIFY(!gProgressDialog->isVisible());

        // Enter anywhere else is the Download command, as before.
        dialog.Window().SelectFile(QString(WriteFile("enter.bff", RandomQBytes(300, 8))).toStdString());
        enterOn(dialog.autoOpenBox);
        QVERIFY(dialog.Window().serialJob);
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isEnabled(), WorkerMs);
        QCOMPARE(gProgressDialog->StatusLine()->text(), QString("Download is finished."));

        enterOn(dialog.closeButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void theSettingsAreSavedBeforeTheWindowIsTornDown()
    {
        AppSettings settings;
        MemorySettingsStore store;
        size_t writesAtTeardown = 99;
        QTimer::singleShot(0, [&] {
            QVERIFY(gMainDialog);
            connect(gMainDialog, &QObject::destroyed, [&] { writesAtTeardown = store.WriteOrder().size(); });
            gMainDialog->reject();
        });
        DownloaderApp::RunSession(settings, store, [] { return std::vector<std::string>(); });
        QCOMPARE(writesAtTeardown, size_t(10));
    }

    void aRememberedPortWhoseAdapterIsAbsentStaysRemembered()
    {
        AppSettings settings;
        settings.serialport = "COM177";
        settings.baud = "57600";
        settings.portstatus = 1;
        QtMainDialog dialog(settings, [] { return std::vector<std::string>{"COM1 (ttyS0)", "COM3 (ttyS2)"}; });
        QVERIFY(!dialog.Window().IsPortOpen());
        QCOMPARE(MessageBoxSeam::Recorded().size(), 1);
        QVERIFY(MessageBoxSeam::Recorded().first().startsWith("Couldn't open serial port!"));
        QCOMPARE(settings.serialport, std::string("COM177"));
        QCOMPARE(settings.baud, std::string("57600"));
        dialog.portToggle->click();
        QCOMPARE(settings.serialport, std::string("COM177"));
    }

private:
    void Start(const TerminalOptions& options)
    {
        simulator = std::make_unique<TerminalSimulator>(options);
        std::string error;
        QVERIFY2(simulator->Start(&error), error.c_str());
    }

    AppSettings SettingsFor(int portstatus, const QString& file) const
    {
        AppSettings settings;
        settings.portstatus = portstatus;
        settings.serialport = simulator->ComName();
        settings.baud = "115200";
        settings.dataformat = "8n1";
        settings.filename = file.toStdString();
        return settings;
    }

    QString WriteFile(const QString& name, const QByteArray& bytes) const
    {
        const QString path = folder->Path() + "/" + name;
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return path;
    }

    static void Download(QtMainDialog& dialog)
    {
        dialog.downloadButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isEnabled(), WorkerMs);
        QCOMPARE(gProgressDialog->StatusLine()->text(), QString("Download is finished."));
    }

    void ExpectImage(size_t index, const QByteArray& bytes) const
    {
        ReceivedImage received;
        QVERIFY(simulator->WaitForImage(std::chrono::milliseconds(WorkerMs), &received, index));
        QVERIFY2(received.accepted, received.verdict.c_str());
        QCOMPARE(BytesOf(received), bytes);
    }

    std::unique_ptr<UiTestFolder> folder;
    std::unique_ptr<TerminalSimulator> simulator;
};

QTEST_MAIN(MainDialogLifecycleTest)
#include "MainDialogLifecycleTest.moc"
