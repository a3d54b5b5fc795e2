// The Qt face of the main window without a terminal: that it draws what the
// window's behaviour says, that each control reaches the behaviour, and what
// only Qt does (the keyboard, the file dialog, drops, the session's end).
#include "AppSettings.h"
#include "DownloadProgressDialog.h"
#include "DownloaderApp.h"
#include "EthernetPage.h"
#include "IpAddressEdit.h"
#include "MemorySettingsStore.h"
#include "MessageBoxSeam.h"
#include "PathDisplay.h"
#include "QtMainDialog.h"
#include "ResultsLog.h"
#include "SerialPage.h"
#include "UiTestFolder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

namespace {

MainDialog::PortLister Ports(std::vector<std::string> ports)
{
    return [ports] { return ports; };
}

QStringList Items(QComboBox* list)
{
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows << list->itemText(i);
    return rows;
}

// Drags `urls` over the window and drops them; true when the window took the drag.
bool Drop(QtMainDialog& dialog, const QList<QUrl>& urls, const QString& text = QString())
{
    QMimeData data;
    if (!urls.isEmpty())
        data.setUrls(urls);
    if (!text.isEmpty())
        data.setText(text);
    const QPoint at = dialog.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &drop);
    return true;
}

} // namespace

class QtMainDialogTest : public QObject {
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

    void theWindowDrawsWhatItsBehaviourSays()
    {
        AppSettings settings;
        settings.serialport = "COM17"; // absent, and no device at either port below
        settings.baud = "9600";
        settings.dataformat = "8E1";
        settings.filename = folder->MakeFile("restored.bff", 65537).toStdString();
        QtMainDialog dialog(settings, Ports({"COM171 (ttyACM106)", "COM170 (ttyACM105)"}));
        QCOMPARE(dialog.windowTitle(), QString("Lumetra Download Utility"));
        QCOMPARE(gMainDialog, &dialog);
        QCOMPARE(dialog.tabs->currentIndex(), 0);
        QCOMPARE(dialog.tabs->tabText(0), QString("Serial"));
        QCOMPARE(dialog.tabs->tabText(1), QString("Ethernet"));
        QCOMPARE(Items(dialog.ethernetPage->HistoryList()),
                 QStringList({"", "", "", QString(AppSettings::DefaultUnitAddress)}));
        QCOMPARE(dialog.ethernetPage->HistoryList()->currentIndex(), -1);
        QCOMPARE(dialog.ethernetPage->AddressControl()->Field(0)->text(), QString("0"));
        QCOMPARE(Items(dialog.serialPage->PortList()), QStringList({"COM170 (ttyACM105)", "COM171 (ttyACM106)"}));
        QCOMPARE(dialog.serialPage->PortList()->currentText(), QString("COM171 (ttyACM106)"));
        QCOMPARE(dialog.serialPage->BaudList()->currentText(), QString("9600"));
        QCOMPARE(dialog.serialPage->FormatList()->currentText(), QString("8e1"));
        QCOMPARE(dialog.serialPage->BaudList()->count(), 10);
        // The port does not exist: the message box, and a released toggle.
        QVERIFY(dialog.autoOpenBox->isChecked());
        QCOMPARE(MessageBoxSeam::Recorded().size(), 1);
        QVERIFY(MessageBoxSeam::Recorded().first().startsWith("Couldn't open serial port!\n--\n"));
        QVERIFY(!dialog.portToggle->isChecked());
        QCOMPARE(dialog.portToggle->text(), QString("Serial &port is closed"));
        // Two-line texts are shown on two lines.
        QVERIFY(dialog.downloadButton->isEnabled());
        QCOMPARE(dialog.downloadButton->text(), QString("&Download Application or\n Upgrade Firmware"));
        QCOMPARE(dialog.sizeStatic->text(), QString("App download size: 65537\nFlash required: 128 kBytes"));
        QCOMPARE(dialog.pathDisplay->Path(), QString::fromStdString(settings.filename));
        QVERIFY(!dialog.progressDialog->isVisible());
    }

    void eachControlReachesTheBehaviour()
    {
        AppSettings settings;
        settings.portstatus = 0;
        settings.ip2 = "10.1.2.3";
        QtMainDialog dialog(settings, Ports({}));
        dialog.show();
        MainDialog& window = dialog.Window();

        dialog.autoOpenBox->click();
        QCOMPARE(settings.portstatus, 1);
        dialog.autoOpenBox->click();
        QCOMPARE(settings.portstatus, 0);

        dialog.tabs->setCurrentIndex(1);
        QCOMPARE(settings.useethernet, 1);
        QVERIFY(!dialog.serialPage->isEnabled());
        QVERIFY(dialog.ethernetPage->isEnabled());
        dialog.ethernetPage->HistoryList()->setFocus();
        QTest::keyClick(dialog.ethernetPage->HistoryList(), Qt::Key_Down); // row 0
        QTest::keyClick(dialog.ethernetPage->HistoryList(), Qt::Key_Down); // row 1
        QCOMPARE(window.addressText, std::string("10.1.2.3"));
        QCOMPARE(dialog.ethernetPage->AddressControl()->Address(), (std::array<uint8_t, 4>{10, 1, 2, 3}));
        dialog.tabs->setCurrentIndex(0);
        QCOMPARE(settings.useethernet, 0);

        // The operator's choice in a list reaches the page's state; the
        // window's own choices raise nothing.
        QSignalSpy choices(dialog.serialPage, &SerialPage::SelectionChanged);
        dialog.serialPage->BaudList()->setFocus();
        QTest::keyClick(dialog.serialPage->BaudList(), Qt::Key_Down);
        QCOMPARE(choices.count(), 1);
        QCOMPARE(window.serialPage.Text(SerialList::Baud), std::string("57600"));
        dialog.SelectSerialItem(SerialList::Baud, 5);
        dialog.ShowSerialList(SerialList::Port, {"COM2 (ttyS1)"}, 0);
        QCOMPARE(choices.count(), 1);

        dialog.portToggle->click(); // the page names no port: opening fails
        QVERIFY(!dialog.portToggle->isChecked());
        QVERIFY(MessageBoxSeam::Recorded().last().startsWith("Couldn't open serial port!"));

        const QString file = folder->MakeFile("image.bin", 70000);
        dialog.chooseFile = [file] { return file; };
        dialog.browseButton->click();
        QCOMPARE(settings.filename, file.toStdString());
        QCOMPARE(dialog.downloadButton->text(), QString("&Download Firmware"));
        QCOMPARE(dialog.sizeStatic->text(), QString("Firmware download size: 70000\nFlash required: 128 kBytes"));

        dialog.resultsLog->AppendMessage("old\n", false, 0);
        dialog.clearButton->click();
        QVERIFY(dialog.resultsLog->toPlainText().isEmpty());

        dialog.closeButton->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void theFileDialogOffersTheDownloadableFilesFirst()
    {
        AppSettings settings;
        settings.portstatus = 0;
        QtMainDialog dialog(settings, Ports({}));
        QStringList filters;
        QString selectedFilter;
        QTimer::singleShot(0, [&] {
            // Qt's own dialog offscreen: there is no platform dialog to ask.
            QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()));
            auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            filters = chooser->nameFilters();
            selectedFilter = chooser->selectedNameFilter();
            chooser->reject();
        });
        dialog.browseButton->click();
        QCOMPARE(filters, QStringList({"Downloable Files (*.bff *.bin)", "Application Files (*.bff)",
                                       "Firmware Files (*.bin)", "All Files (*)"}));
        QCOMPARE(selectedFilter, filters.first());
        QVERIFY(settings.filename.empty()); // Cancel changes nothing
    }

    void aDroppedFileIsTakenAndAnythingElseRefused()
    {
        AppSettings settings;
        settings.portstatus = 0;
        QtMainDialog dialog(settings, Ports({}));
        QVERIFY(dialog.acceptDrops());
        const QString application = folder->MakeFile("app.bff", 100);
        const QString firmware = folder->MakeFile("fw.bin", 100);

        QVERIFY(Drop(dialog, {QUrl::fromLocalFile(application)}));
        QCOMPARE(dialog.pathDisplay->Path(), application);
        QVERIFY(dialog.downloadButton->isEnabled());
        QCOMPARE(settings.filename, application.toStdString());

        QVERIFY(!Drop(dialog, {QUrl::fromLocalFile(firmware), QUrl::fromLocalFile(application)}));
        QVERIFY(!Drop(dialog, {QUrl::fromLocalFile(folder->Path())}));
        QVERIFY(!Drop(dialog, {QUrl("https://example.com/fw.bin")}));
        QVERIFY(!Drop(dialog, {}, "fw.bin"));
        QCOMPARE(dialog.pathDisplay->Path(), application);
        QVERIFY(MessageBoxSeam::Recorded().isEmpty());
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
            DownloaderApp::RunSession(settings, store, Ports({}));
            QCOMPARE(store.WriteOrder().size(), size_t(10));
            QCOMPARE(std::get<int32_t>(store.Get("useethernet")), 1);
            QCOMPARE(std::get<int32_t>(store.Get("portstatus")), 0);
        }
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
        DownloaderApp::RunSession(settings, store, Ports({}));
        QCOMPARE(writesAtTeardown, size_t(10));
    }

    void enterStartsNothingWhileDownloadIsDisabled()
    {
        AppSettings settings;
        settings.portstatus = 0;
        QtMainDialog dialog(settings, Ports({}));
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.isEnabled());
        QVERIFY(!dialog.progressDialog->isVisible());
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

QTEST_MAIN(QtMainDialogTest)
#include "QtMainDialogTest.moc"
