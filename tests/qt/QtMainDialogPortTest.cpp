// The Qt face against a simulated terminal on a real pseudo-terminal: what the
// window's behaviour needs of Qt to reach the terminal and back (the relay of
// the port's notifications, the reporter that carries a worker's calls, the
// bootloader dialog, the port list's watch and popup) and the keyboard.
#include "AppSettings.h"
#include "ComPortNames.h"
#include "ConsolePort.h"
#include "DownloadProgressDialog.h"
#include "QtMainDialog.h"
#include "MessageBoxSeam.h"
#include "ResultsLog.h"
#include "SerialPage.h"
#include "SerialPort.h"
#include "TerminalSimulator.h"
#include "UiTestFolder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

namespace {

constexpr int WorkerMs = 15000; // generous: the machine may be busy with other builds

} // namespace

class QtMainDialogPortTest : public QObject {
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

    void theToggleOpensAndClosesARealPort()
    {
        StartSimulator(TerminalLoader::Apploader);
        AppSettings settings = SettingsFor(0);
        QtMainDialog dialog(settings, &ComPortNames::List);
        const QString portText = dialog.serialPage->PortList()->currentText();
        QVERIFY(portText.startsWith(QString::fromStdString(simulator->ComName()) + " "));

        dialog.portToggle->click();
        QVERIFY(dialog.Window().IsPortOpen());
        QVERIFY(dialog.portToggle->isChecked());
        QCOMPARE(dialog.portToggle->text(), "&Port " + portText + " open\n115200, 8n1");
        QCOMPARE(settings.serialport, portText.toStdString());
        QVERIFY(MessageBoxSeam::Recorded().isEmpty());

        // What the terminal sends reaches the results box.
        const uint8_t query[] = {'Q', ';'};
        dialog.Window().Port()->Write(query, sizeof query, false);
        QTRY_VERIFY_WITH_TIMEOUT(dialog.resultsLog->toPlainText().contains("<In Apploader>"), WorkerMs);

        dialog.portToggle->click();
        QVERIFY(!dialog.Window().IsPortOpen());
        QCOMPARE(dialog.portToggle->text(), QString("Serial &port is closed"));
    }

    void inducingABootloaderSwitchesThePageTo115200And8n1()
    {
        StartSimulator(TerminalLoader::Bootloader);
        AppSettings settings = SettingsFor(1);
        settings.baud = "9600";
        settings.dataformat = "8e1";
        QtMainDialog dialog(settings, &ComPortNames::List);
        QVERIFY(dialog.Window().IsPortOpen());
        dialog.serialPage->InduceButton()->click();
        QVERIFY(dialog.resultsLog->toPlainText().contains(
            "<In Bootloader>\nBootloader entered!\nPort Settings changed to 115200,8N1 to match bootloader "
            "communications settings!\n"));
        QCOMPARE(dialog.serialPage->BaudList()->currentText(), QString("115200"));
        QCOMPARE(dialog.serialPage->FormatList()->currentText(), QString("8n1"));
        QVERIFY(dialog.Window().IsPortOpen());
        QVERIFY(dialog.portToggle->text().endsWith("115200, 8n1"));
        QVERIFY(simulator->WaitForCommandCount("q;", 1, std::chrono::milliseconds(WorkerMs)));
        QCOMPARE(simulator->CountCommands("IIIII"), size_t(0));
    }

    void cancellingAnInductionReopensThePortUnchanged()
    {
        // A terminal that is powering up but ignores the induction: it hears
        // every "IIIII" and never answers.
        TerminalOptions options;
        options.loaderAtStart = TerminalLoader::Off;
        options.inductionReply = InductionReply::Nothing;
        options.powerUpWindowMs = 60000;
        simulator = std::make_unique<TerminalSimulator>(options);
        std::string error;
        QVERIFY2(simulator->Start(&error), error.c_str());
        simulator->PowerCycle();
        AppSettings settings = SettingsFor(0);
        settings.baud = "9600";
        QtMainDialog dialog(settings, &ComPortNames::List);
        dialog.show();

        bool cancelled = false;
        QTimer::singleShot(0, [&] {
            // Let a few "IIIII" rounds go out, then press Cancel.
            QTRY_VERIFY_WITH_TIMEOUT(simulator->CountCommands("IIIII") >= 2, WorkerMs);
            auto* induction = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(induction);
            QCOMPARE(induction->windowTitle(), QString("Entering Bootloader"));
            induction->reject();
            cancelled = true;
        });
        dialog.serialPage->InduceButton()->click();
        QVERIFY(cancelled);
        QVERIFY(dialog.resultsLog->toPlainText().endsWith("Bootloader not entered!\n"));
        QCOMPARE(dialog.serialPage->BaudList()->currentText(), QString("9600"));
        QVERIFY(dialog.Window().IsPortOpen());
        QVERIFY(dialog.portToggle->text().endsWith("9600, 8n1"));
        // "q;" goes out on the reopened port (the terminal is not listening, so
        // look at the raw line).
        QVERIFY(simulator->WaitForEvent(
            [](const TerminalEvent& event) {
                return event.kind == TerminalEvent::Kind::Received &&
                       std::string(event.bytes.begin(), event.bytes.end()).find("q;") != std::string::npos;
            },
            std::chrono::milliseconds(WorkerMs)));
    }

    void thePortListFollowsATerminalStartedAfterTheWindow()
    {
        StartSimulator(TerminalLoader::Apploader);
        AppSettings settings = SettingsFor(1);
        QtMainDialog dialog(settings, &ComPortNames::List);
        QVERIFY(dialog.Window().IsPortOpen());
        const std::shared_ptr<SerialPort> openPort = dialog.Window().console->Port();
        const QString selected = dialog.serialPage->PortList()->currentText();
        QSignalSpy changes(dialog.serialPage, &SerialPage::SelectionChanged);
        QComboBox* list = dialog.serialPage->PortList();

        // Plugged in while the window is hidden, so only opening the list can find it.
        auto second = std::make_unique<TerminalSimulator>(TerminalOptions{});
        std::string error;
        QVERIFY2(second->Start(&error), error.c_str());
        const QString secondEntry = QString::fromStdString(second->ComName()) + " (";
        QVERIFY(RowStartingWith(list, secondEntry) < 0);
        list->showPopup();
        QVERIFY(RowStartingWith(list, secondEntry) >= 0);
        list->hidePopup();
        QCOMPARE(dialog.serialPage->PortList()->currentText(), selected);

        // While the window is shown, a terminal that goes is noticed without opening the list.
        dialog.show();
        second.reset();
        QTRY_VERIFY_WITH_TIMEOUT(RowStartingWith(list, secondEntry) < 0, WorkerMs);
        QCOMPARE(dialog.serialPage->PortList()->currentText(), selected);

        // No refresh reopened the port or asked for a reopen.
        QCOMPARE(changes.count(), 0);
        QVERIFY(dialog.Window().IsPortOpen());
        QCOMPARE(dialog.Window().console->Port(), openPort);
        for (int i = 0; i < list->count(); ++i)
            QVERIFY(ComPortNames::ParseNumber(list->itemText(i).toStdString()) > 0);

        // The cable pulled: the port closes and leaves the list; back in, it is
        // selected again without the operator's help.
        const QString ownEntry = QString::fromStdString(simulator->ComName()) + " (";
        simulator->Unplug();
        QTRY_VERIFY_WITH_TIMEOUT(RowStartingWith(list, ownEntry) < 0, WorkerMs);
        QVERIFY(!dialog.Window().IsPortOpen());
        QCOMPARE(list->currentIndex(), -1);
        simulator->Replug();
        QTRY_VERIFY_WITH_TIMEOUT(RowStartingWith(list, ownEntry) >= 0, WorkerMs);
        QVERIFY(list->currentText().startsWith(ownEntry));
        QCOMPARE(changes.count(), 0);
    }

    void aSerialDownloadRunsBehindTheProgressDialog()
    {
        StartSimulator(TerminalLoader::Bootloader);
        QString path = folder->Path() + "/image.bin";
        QByteArray image = RandomQBytes(3000, 7);
        WriteFile(path, image);

        AppSettings settings = SettingsFor(0);
        settings.filename = path.toStdString();
        QtMainDialog dialog(settings, &ComPortNames::List);
        dialog.show();
        QVERIFY(!dialog.Window().IsPortOpen());
        dialog.downloadButton->click(); // opens the port first
        QVERIFY(dialog.Window().IsPortOpen());
        QVERIFY(gProgressDialog->isVisible());
        QCOMPARE(gProgressDialog->windowTitle(), QString("Serial Downloading..."));
        QVERIFY(!dialog.isEnabled());
        QVERIFY(gProgressDialog->CancelButton()->isEnabled());

        QTRY_VERIFY_WITH_TIMEOUT(dialog.isEnabled(), WorkerMs);
        QVERIFY(!gProgressDialog->isVisible());
        QCOMPARE(gProgressDialog->ProgressBar()->value(), 0);
        QCOMPARE(gProgressDialog->StatusLine()->text(), QString("Download is finished."));
        QVERIFY(dialog.resultsLog->toPlainText().endsWith("Download is finished.\n")); // the outcome stays
        QVERIFY(!dialog.Window().IsCancelled());

        ReceivedImage received;
        QVERIFY(simulator->WaitForImage(std::chrono::milliseconds(WorkerMs), &received));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(received.bytes.data()), int(received.bytes.size())), image);
    }

    void theRateLineIsBlankUntilTheTransferAndThenShowsTheLinesPace()
    {
        TerminalOptions options;
        options.paceLine = true; // as fast as 115200 baud carries bytes, no faster
        options.flowControlReply = 0x80;
        simulator = std::make_unique<TerminalSimulator>(options);
        std::string error;
        QVERIFY2(simulator->Start(&error), error.c_str());
        QString path = folder->Path() + "/app.bff";
        WriteFile(path, RandomQBytes(400 * 1024, 5));
        AppSettings settings = SettingsFor(1);
        settings.filename = path.toStdString();
        QtMainDialog dialog(settings, &ComPortNames::List);
        dialog.show();
        QLabel* rateLine = gProgressDialog->RateLine();

        dialog.downloadButton->click();
        QCOMPARE(rateLine->text(), QString()); // the terminal is still being looked for
        // The first blocks fill the pseudo-terminal's buffer at once; a little
        // later the rate is the line's: at most 11.52 kB/s, and more than a trickle.
        QTRY_VERIFY_WITH_TIMEOUT(LooksLikeTheLinesPace(rateLine->text(), 11.52), 4 * WorkerMs);
        QVERIFY(gProgressDialog->ProgressBar()->value() < 100);

        gProgressDialog->CancelButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isEnabled(), WorkerMs);
        // The next download starts blank, not with the last one's figures.
        dialog.downloadButton->click();
        QCOMPARE(rateLine->text(), QString());
        gProgressDialog->CancelButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isEnabled(), WorkerMs);
    }

    void enterPressesTheFocusedButtonAndNeverStartsADownloadThere()
    {
        StartSimulator(TerminalLoader::Apploader);
        AppSettings settings = SettingsFor(0);
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
        const QString path = folder->Path() + "/enter.bff";
        WriteFile(path, RandomQBytes(300, 8));
        dialog.Window().SelectFile(path.toStdString());
        enterOn(dialog.autoOpenBox);
        QVERIFY(dialog.Window().serialJob);
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isEnabled(), WorkerMs);
        QCOMPARE(gProgressDialog->StatusLine()->text(), QString("Download is finished."));

        enterOn(dialog.closeButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

private:
    void StartSimulator(TerminalLoader loader, bool silent = false)
    {
        TerminalOptions options;
        options.loaderAtStart = loader;
        options.silent = silent;
        options.flowControlReply = 0x80;
        simulator = std::make_unique<TerminalSimulator>(options);
        std::string error;
        QVERIFY2(simulator->Start(&error), error.c_str());
    }

    AppSettings SettingsFor(int portstatus) const
    {
        AppSettings settings;
        settings.portstatus = portstatus;
        settings.serialport = simulator ? simulator->ComName() : "";
        return settings;
    }

    // "20.5 kB of 409.6 kB, 11.4 kB/s, 0:33 left" with a rate near the line's.
    static bool LooksLikeTheLinesPace(const QString& shown, double lineKBps)
    {
        static const QRegularExpression pattern("^[0-9.]+ kB of 409\\.6 kB, ([0-9.]+) kB/s, [0-9]+:[0-9]{2} left$");
        const QRegularExpressionMatch match = pattern.match(shown);
        if (!match.hasMatch())
            return false;
        const double rate = match.captured(1).toDouble();
        return rate > lineKBps / 4 && rate <= lineKBps * 1.1;
    }

    static int RowStartingWith(QComboBox* list, const QString& start)
    {
        for (int i = 0; i < list->count(); ++i) {
            if (list->itemText(i).startsWith(start))
                return i;
        }
        return -1;
    }

    static void WriteFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    std::unique_ptr<UiTestFolder> folder;
    std::unique_ptr<TerminalSimulator> simulator;
};

QTEST_MAIN(QtMainDialogPortTest)
#include "QtMainDialogPortTest.moc"
