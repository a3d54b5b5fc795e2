#include "AppSettings.h"
#include "DownloaderApp.h"
#include "EthernetPage.h"
#include "IpAddressEdit.h"
#include "QtMainDialog.h"
#include "MemorySettingsStore.h"
#include "MessageBoxSeam.h"
#include "PathDisplay.h"
#include "SerialPage.h"
#include "UiTestFolder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

namespace {

MainDialog::PortLister NoPorts()
{
    return [] { return std::vector<std::string>(); };
}

MainDialog::PortLister Ports(std::vector<std::string> ports)
{
    return [ports] { return ports; };
}

QStringList HistoryRows(EthernetPage* page)
{
    QStringList rows;
    for (int i = 0; i < page->HistoryList()->count(); ++i)
        rows << page->HistoryList()->itemText(i);
    return rows;
}

} // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        folder = std::make_unique<UiTestFolder>();
        MessageBoxSeam::StartRecording();
    }
    void cleanup()
    {
        MessageBoxSeam::StopRecording();
        folder.reset();
    }

    void firstRunShowsDefaultsAndTriesToOpenThePort()
    {
        AppSettings settings;
        QtMainDialog dialog(settings, NoPorts());
        QCOMPARE(dialog.tabs->currentIndex(), 0);
        QCOMPARE(dialog.tabs->tabText(0), QString("Serial"));
        QCOMPARE(dialog.tabs->tabText(1), QString("Ethernet"));
        QCOMPARE(HistoryRows(dialog.ethernetPage),
                 QStringList({"", "", "", QString(AppSettings::DefaultUnitAddress)}));
        QCOMPARE(dialog.ethernetPage->HistoryList()->currentIndex(), -1);
        QCOMPARE(dialog.Window().addressText, std::string("0.0.0.0"));
        QCOMPARE(dialog.ethernetPage->AddressControl()->Field(0)->text(), QString("0"));
        QVERIFY(dialog.autoOpenBox->isChecked());
        QVERIFY(!dialog.Window().IsPortOpen());
        QCOMPARE(MessageBoxSeam::Recorded().size(), 1);
        QVERIFY(MessageBoxSeam::Recorded().first().startsWith("Couldn't open serial port!"));
        QCOMPARE(dialog.portToggle->text(), QString("Serial &port is closed"));
        QVERIFY(!dialog.portToggle->isChecked());
        QVERIFY(!dialog.downloadButton->isEnabled());
        QCOMPARE(dialog.sizeStatic->text(), QString("App download size:\nFlash required:"));
        QCOMPARE(dialog.windowTitle(), QString("Lumetra Download Utility"));
        QCOMPARE(gMainDialog, &dialog);
        QCOMPARE(dialog.Window().serialPage.baudIndex, 0); // read when the port was opened
        QCOMPARE(dialog.serialPage->BaudList()->currentText(), QString("115200"));
        QCOMPARE(dialog.serialPage->FormatList()->currentText(), QString("8n1"));
    }

    void portstatusOtherThanOneLeavesThePortAloneAndTheBoxRecordsOnly()
    {
        for (int status : {0, 2}) {
            AppSettings settings;
            settings.portstatus = status;
            QtMainDialog dialog(settings, NoPorts());
            QCOMPARE(dialog.Window().serialPage.baudIndex, -1); // shown selected, but not read yet
            QCOMPARE(dialog.Window().serialPage.formatIndex, -1);
            QVERIFY(!dialog.autoOpenBox->isChecked());
            QVERIFY(MessageBoxSeam::Recorded().isEmpty());
            dialog.autoOpenBox->click();
            QCOMPARE(settings.portstatus, 1);
            QVERIFY(MessageBoxSeam::Recorded().isEmpty()); // no attempt to open
            dialog.autoOpenBox->click();
            QCOMPARE(settings.portstatus, 0);
            QVERIFY(!dialog.Window().IsPortOpen());
        }
    }

    void tabChangesAreRememberedAndRestored()
    {
        AppSettings settings;
        settings.portstatus = 0;
        {
            QtMainDialog dialog(settings, NoPorts());
            dialog.tabs->setCurrentIndex(1);
            QCOMPARE(settings.useethernet, 1);
            QVERIFY(!dialog.serialPage->isEnabled());
        }
        MemorySettingsStore store;
        settings.Save(store);
        AppSettings restored;
        restored.Load(store);
        QtMainDialog dialog(restored, NoPorts());
        QCOMPARE(dialog.tabs->currentIndex(), 1);
        dialog.tabs->setCurrentIndex(0);
        QCOMPARE(restored.useethernet, 0);

        AppSettings missing; // a stored -1 also means Ethernet
        missing.portstatus = 0;
        missing.useethernet = -1;
        QtMainDialog third(missing, NoPorts());
        QCOMPARE(third.tabs->currentIndex(), 1);
    }

    void storedSelectionsPreferAnExactPortName()
    {
        AppSettings settings;
        settings.portstatus = 0;
        settings.serialport = "COM1";
        settings.baud = "9600";
        settings.dataformat = "8E1";
        QtMainDialog dialog(settings, Ports({"COM3 (ttyS2)", "COM10 (ttyS9)", "COM1 (ttyS0)"}));
        QComboBox* ports = dialog.serialPage->PortList();
        QCOMPARE(ports->itemText(0), QString("COM1 (ttyS0)"));
        QCOMPARE(ports->itemText(1), QString("COM10 (ttyS9)"));
        QCOMPARE(ports->itemText(2), QString("COM3 (ttyS2)"));
        QCOMPARE(dialog.serialPage->PortList()->currentText(), QString("COM1 (ttyS0)"));
        QCOMPARE(dialog.serialPage->BaudList()->currentText(), QString("9600"));
        QCOMPARE(dialog.serialPage->FormatList()->currentText(), QString("8e1"));
    }

    void aRefreshedPortListKeepsTheSelectedPortByItsComName()
    {
        std::vector<std::string> present = {"COM1 (ttyS0)", "COM33 (ttyUSB0)"};
        AppSettings settings;
        settings.portstatus = 0;
        settings.serialport = "COM33 (ttyUSB0, FT232R USB UART)"; // as a later run stores it
        QtMainDialog dialog(settings, [&present] { return present; });
        QCOMPARE(dialog.serialPage->PortList()->currentText(), QString("COM33 (ttyUSB0)"));
        QSignalSpy changes(dialog.serialPage, &SerialPage::SelectionChanged);

        // The adapter now describes itself, and another one came before it.
        present = {"COM34 (ttyUSB1, CP2102 USB to UART Bridge)", "COM1 (ttyS0)", "COM33 (ttyUSB0, FT232R USB UART)"};
        dialog.Window().RefreshPortList();
        QComboBox* ports = dialog.serialPage->PortList();
        QCOMPARE(ports->count(), 3);
        QCOMPARE(ports->itemText(2), QString("COM34 (ttyUSB1, CP2102 USB to UART Bridge)"));
        QCOMPARE(dialog.serialPage->PortList()->currentText(), QString("COM33 (ttyUSB0, FT232R USB UART)"));

        // Its adapter pulled: no port is selected rather than another one.
        present = {"COM1 (ttyS0)", "COM34 (ttyUSB1, CP2102 USB to UART Bridge)"};
        dialog.Window().RefreshPortList();
        QCOMPARE(ports->currentIndex(), -1);
        QCOMPARE(changes.count(), 0);
    }

    void aStoredValueNotInTheListLeavesNoSelection()
    {
        AppSettings settings;
        settings.portstatus = 0;
        settings.baud = "31250";
        QtMainDialog dialog(settings, NoPorts());
        QCOMPARE(dialog.serialPage->BaudList()->currentIndex(), -1);
    }

    void browseClassifiesTheChosenFile()
    {
        AppSettings settings;
        settings.portstatus = 0;
        QtMainDialog dialog(settings, NoPorts());

        QString firmware = folder->MakeFile("image.bin", 70000);
        dialog.Window().SelectFile(QString(firmware).toStdString());
        QVERIFY(dialog.downloadButton->isEnabled());
        QCOMPARE(dialog.downloadButton->text(), QString("&Download Firmware"));
        QCOMPARE(dialog.sizeStatic->text(), QString("Firmware download size: 70000\nFlash required: 128 kBytes"));
        QCOMPARE(dialog.Window().fileKind, Firmware);
        QCOMPARE(settings.filename, firmware.toStdString());
        QCOMPARE(dialog.pathDisplay->Path(), firmware);

        QString text = folder->MakeFile("notes.txt", 5);
        dialog.Window().SelectFile(QString(text).toStdString());
        QCOMPARE(MessageBoxSeam::Recorded(), QStringList({"Unrecognizeable file type"}));
        QVERIFY(!dialog.downloadButton->isEnabled());
        QCOMPARE(dialog.Window().fileKind, Firmware); // unchanged, but unusable
        QCOMPARE(settings.filename, firmware.toStdString());
        QCOMPARE(dialog.sizeStatic->text(), QString("App download size:\nFlash required:"));

        QString missing = folder->Path() + "/gone.bff";
        dialog.Window().SelectFile(QString(missing).toStdString());
        QCOMPARE(MessageBoxSeam::Recorded().size(), 1);
        QVERIFY(!dialog.downloadButton->isEnabled());
        QCOMPARE(settings.filename, missing.toStdString());

        QString application = folder->MakeFile("app.BFF", 0);
        dialog.chooseFile = [application] { return application; };
        dialog.browseButton->click();
        QCOMPARE(dialog.downloadButton->text(), QString("&Download Application or\n Upgrade Firmware"));
        QCOMPARE(dialog.Window().fileKind, Application);
        dialog.chooseFile = [] { return QString(); }; // Cancel changes nothing
        dialog.browseButton->click();
        QCOMPARE(settings.filename, application.toStdString());
    }

    void theRememberedFileIsRestoredAtStartUp()
    {
        AppSettings settings;
        settings.portstatus = 0;
        settings.filename = folder->MakeFile("restored.bff", 65537).toStdString();
        QtMainDialog dialog(settings, NoPorts());
        QVERIFY(dialog.downloadButton->isEnabled());
        QCOMPARE(dialog.sizeStatic->text(), QString("App download size: 65537\nFlash required: 128 kBytes"));
    }

    void escapeAndCloseBothSaveTheSettings()
    {
        for (bool useEscape : {true, false}) {
            MemorySettingsStore store;
            store.Put("portstatus", 0);
            store.Put("useethernet", 0);
            AppSettings settings;
            QTimer::singleShot(0, [useEscape] {
                auto* dialog = gMainDialog;
                QVERIFY(dialog);
                dialog->tabs->setCurrentIndex(1);
                if (useEscape)
                    QTest::keyClick(dialog, Qt::Key_Escape);
                else
                    dialog->closeButton->click();
            });
            DownloaderApp::RunSession(settings, store, NoPorts());
            QCOMPARE(store.WriteOrder().size(), size_t(10));
            QCOMPARE(std::get<int32_t>(store.Get("useethernet")), 1);
            QCOMPARE(std::get<int32_t>(store.Get("portstatus")), 0);
        }
    }

    void enterStartsNothingWhileDownloadIsDisabled()
    {
        AppSettings settings;
        settings.portstatus = 0;
        QtMainDialog dialog(settings, NoPorts());
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.isEnabled());
    }

    void addressHistoryShiftsOnlyNewAddresses()
    {
        AppSettings settings;
        settings.portstatus = 0;
        settings.ip1 = "10.0.0.1";
        settings.ip2 = "";
        settings.ip3 = "10.0.0.3";
        settings.ip4 = "10.0.0.4";
        QtMainDialog dialog(settings, NoPorts());
        EthernetPage* page = dialog.ethernetPage;
        QCOMPARE(dialog.Window().addressText, std::string("10.0.0.1"));

        page->AddressControl()->SetAddress({10, 0, 0, 3});
        dialog.Window().CommitAddress();
        QCOMPARE(dialog.Window().addressText, std::string("10.0.0.3"));
        QCOMPARE(HistoryRows(page), QStringList({"10.0.0.1", "", "10.0.0.3", "10.0.0.4"}));

        page->AddressControl()->SetAddress({192, 0, 2, 7});
        dialog.Window().CommitAddress();
        QCOMPARE(HistoryRows(page), QStringList({"192.0.2.7", "10.0.0.1", "", "10.0.0.3"}));
        QCOMPARE(settings.ip4, std::string("10.0.0.3"));

        for (QLineEdit* field : {page->AddressControl()->Field(0), page->AddressControl()->Field(1),
                                 page->AddressControl()->Field(2), page->AddressControl()->Field(3)})
            field->clear();
        dialog.Window().CommitAddress();
        QCOMPARE(settings.ip1, std::string("0.0.0.0"));
        QCOMPARE(HistoryRows(page), QStringList({"0.0.0.0", "192.0.2.7", "10.0.0.1", ""}));
    }

    void pickingAHistoryRowFillsTheAddress()
    {
        AppSettings settings;
        settings.portstatus = 0;
        settings.ip2 = "300.1.2.3";
        QtMainDialog dialog(settings, NoPorts());
        EthernetPage* page = dialog.ethernetPage;
        dialog.Window().OnRecentAddressSelected(1);
        QCOMPARE(page->AddressControl()->Address(), (std::array<uint8_t, 4>{44, 1, 2, 3}));
        QCOMPARE(dialog.Window().addressText, std::string("300.1.2.3"));
        dialog.Window().OnRecentAddressSelected(0); // a blank row
        QCOMPARE(page->AddressControl()->Address(), (std::array<uint8_t, 4>{0, 0, 0, 0}));
        QCOMPARE(dialog.Window().addressText, std::string());
    }

    void typingADotMovesToTheNextAddressField()
    {
        IpAddressEdit edit;
        edit.show();
        edit.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&edit));
        edit.Field(0)->setFocus();
        QTest::keyClicks(edit.Field(0), "12");
        QTest::keyClick(edit.Field(0), Qt::Key_Period);
        QTest::keyClicks(QApplication::focusWidget(), "255");
        QTest::keyClicks(QApplication::focusWidget(), "7");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Period);
        QTest::keyClicks(QApplication::focusWidget(), "9");
        QCOMPARE(edit.Address(), (std::array<uint8_t, 4>{12, 255, 7, 9}));
        QTest::keyClicks(edit.Field(3), "99"); // 999 is no address byte
        QCOMPARE(edit.Field(3)->text(), QString("255"));
    }

private:
    std::unique_ptr<UiTestFolder> folder;
};

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
