// The main window's behaviour without a terminal: start-up, the file, the tabs,
// the address history, Enter and Close.
#include "MemorySettingsStore.h"
#include "WindowFixture.h"

#include <filesystem>

namespace {

const std::vector<std::string> NoPorts;

} // namespace

using MainDialogTest = WindowFixture;

TEST_F(MainDialogTest, FirstRunShowsDefaultsAndTriesToOpenThePort)
{
    MainDialog& dialog = Open(Ports(NoPorts));
    EXPECT_EQ(view.tab, 0);
    EXPECT_EQ(view.history, (std::vector<std::string>{"", "", "", AppSettings::DefaultUnitAddress}));
    EXPECT_EQ(dialog.addressText, "0.0.0.0");
    EXPECT_EQ(view.address, (std::array<uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_TRUE(view.autoOpen);
    EXPECT_FALSE(dialog.IsPortOpen());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].rfind("Couldn't open serial port!\n--\nNo serial port is selected.", 0), 0u);
    EXPECT_EQ(view.toggleText, "Serial &port is closed");
    EXPECT_FALSE(view.togglePressed);
    EXPECT_FALSE(view.downloadEnabled);
    EXPECT_EQ(view.sizeText, "App download size:\r\nFlash required:");
    EXPECT_FALSE(view.progressVisible);
    EXPECT_EQ(dialog.serialPage.baudIndex, 0); // read when the port was opened
    EXPECT_EQ(view.Selected(SerialList::Baud), "115200");
    EXPECT_EQ(view.Selected(SerialList::Format), "8n1");
    EXPECT_EQ(view.lists[SerialList::Baud].items, SerialPageState::BaudRates());
    EXPECT_EQ(view.lists[SerialList::Format].items, SerialPageState::DataFormats());
}

TEST_F(MainDialogTest, PortstatusOtherThanOneLeavesThePortAloneAndTheBoxRecordsOnly)
{
    for (int status : {0, 2}) {
        RecordingView fresh;
        view = fresh;
        settings.portstatus = status;
        MainDialog& dialog = Open(Ports(NoPorts));
        EXPECT_EQ(dialog.serialPage.baudIndex, -1); // shown selected, but not read yet
        EXPECT_EQ(dialog.serialPage.formatIndex, -1);
        EXPECT_FALSE(view.autoOpen);
        EXPECT_TRUE(view.messages.empty());
        dialog.OnAutoOpen(true);
        EXPECT_EQ(settings.portstatus, 1);
        EXPECT_TRUE(view.messages.empty()); // no attempt to open
        dialog.OnAutoOpen(false);
        EXPECT_EQ(settings.portstatus, 0);
        EXPECT_FALSE(dialog.IsPortOpen());
    }
}

TEST_F(MainDialogTest, TabChangesAreRememberedAndRestored)
{
    settings.portstatus = 0;
    Open(Ports(NoPorts)).OnTabChanged(1);
    EXPECT_EQ(settings.useethernet, 1);
    EXPECT_FALSE(view.serialPageEnabled);
    EXPECT_TRUE(view.ethernetPageEnabled);
    window->OnTabChanged(7); // no such tab: nothing
    EXPECT_EQ(settings.useethernet, 1);
    EXPECT_EQ(window->SelectedTab(), 1);

    MemorySettingsStore store;
    settings.Save(store);
    AppSettings restored;
    restored.Load(store);
    settings = restored;
    view = RecordingView();
    Open(Ports(NoPorts));
    EXPECT_EQ(view.tab, 1);
    EXPECT_TRUE(view.serialPageEnabled); // both stay enabled until the first change
    window->OnTabChanged(0);
    EXPECT_EQ(settings.useethernet, 0);
    EXPECT_TRUE(view.serialPageEnabled);
    EXPECT_FALSE(view.ethernetPageEnabled);

    settings.useethernet = -1; // a stored -1 also means Ethernet
    Open(Ports(NoPorts));
    EXPECT_EQ(view.tab, 1);
}

TEST_F(MainDialogTest, StoredSelectionsPreferAnExactPortName)
{
    settings.portstatus = 0;
    settings.serialport = "COM1";
    settings.baud = "9600";
    settings.dataformat = "8E1";
    Open(Ports({"COM3 (ttyS2)", "COM10 (ttyS9)", "COM1 (ttyS0)"}));
    EXPECT_EQ(view.lists[SerialList::Port].items,
              (std::vector<std::string>{"COM1 (ttyS0)", "COM10 (ttyS9)", "COM3 (ttyS2)"}));
    EXPECT_EQ(view.Selected(SerialList::Port), "COM1 (ttyS0)");
    EXPECT_EQ(view.Selected(SerialList::Baud), "9600");
    EXPECT_EQ(view.Selected(SerialList::Format), "8e1");
}

TEST_F(MainDialogTest, AStoredValueNotInTheListLeavesNoSelection)
{
    settings.portstatus = 0;
    settings.baud = "31250";
    Open(Ports(NoPorts));
    EXPECT_EQ(view.lists[SerialList::Baud].selected, -1);
    EXPECT_EQ(window->serialPage.Text(SerialList::Baud), "");
}

TEST_F(MainDialogTest, BrowseClassifiesTheChosenFile)
{
    settings.portstatus = 0;
    MainDialog& dialog = Open(Ports(NoPorts));

    const std::string firmware = WriteFile("image.bin", std::vector<uint8_t>(70000, 'x'));
    dialog.SelectFile(firmware);
    EXPECT_TRUE(view.downloadEnabled);
    EXPECT_EQ(view.downloadText, "&Download Firmware");
    EXPECT_EQ(view.sizeText, "Firmware download size: 70000\r\nFlash required: 128 kBytes");
    EXPECT_EQ(dialog.fileKind, Firmware);
    EXPECT_EQ(settings.filename, firmware);
    EXPECT_EQ(view.path, firmware);

    const std::string text = WriteFile("notes.txt", std::vector<uint8_t>(5, 'x'));
    dialog.SelectFile(text);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Unrecognizeable file type"});
    EXPECT_FALSE(view.downloadEnabled);
    EXPECT_EQ(view.downloadText, "&Download Firmware"); // the label stays, greyed
    EXPECT_EQ(dialog.fileKind, Firmware); // unchanged, but unusable
    EXPECT_EQ(settings.filename, firmware);
    EXPECT_EQ(view.sizeText, "App download size:\r\nFlash required:");
    EXPECT_EQ(view.path, text);

    const std::string missing = (folders.Root() / "gone.bff").string();
    dialog.SelectFile(missing);
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_FALSE(view.downloadEnabled);
    EXPECT_EQ(settings.filename, missing);

    const std::string application = WriteFile("app.BFF", {});
    std::string offered;
    view.chooseFile = [&](const std::string& current) {
        offered = current;
        return application;
    };
    dialog.OnBrowse();
    EXPECT_EQ(offered, missing); // the dialog starts at the current choice
    EXPECT_EQ(view.downloadText, "&Download Application or\n Upgrade Firmware");
    EXPECT_EQ(dialog.fileKind, Application);
    view.chooseFile = [](const std::string&) { return std::string(); }; // Cancel changes nothing
    dialog.OnBrowse();
    EXPECT_EQ(settings.filename, application);
    EXPECT_EQ(view.path, application);
}

TEST_F(MainDialogTest, ADroppedFileIsTakenAsIfChosenWithBrowse)
{
    settings.portstatus = 0;
    MainDialog& dialog = Open(Ports(NoPorts));
    const std::string application = WriteFile("app.bff", std::vector<uint8_t>(100, 1));
    const std::string firmware = WriteFile("fw.bin", std::vector<uint8_t>(100, 2));

    dialog.OnFilesDropped({application});
    EXPECT_EQ(settings.filename, application);
    EXPECT_EQ(view.path, application);
    EXPECT_TRUE(view.downloadEnabled);
    EXPECT_EQ(view.sizeText, "App download size: 100\r\nFlash required: 64 kBytes");

    // Several files, a folder, something that is no local file, nothing, a
    // file that is not there: the choice stays.
    const std::vector<std::vector<std::string>> refused = {
        {firmware, application}, {folders.Root().string()}, {""}, {}, {(folders.Root() / "gone.bin").string()}};
    for (const auto& drop : refused) {
        EXPECT_FALSE(MainDialog::AcceptsDrop(drop));
        dialog.OnFilesDropped(drop);
        EXPECT_EQ(settings.filename, application);
        EXPECT_EQ(view.path, application);
        EXPECT_EQ(dialog.fileKind, Application);
    }
    EXPECT_TRUE(view.messages.empty());

    // An unknown kind of file is taken as Browse takes it: named, and refused.
    const std::string text = WriteFile("notes.txt", std::vector<uint8_t>(5, 'x'));
    EXPECT_TRUE(MainDialog::AcceptsDrop({text}));
    dialog.OnFilesDropped({text});
    EXPECT_EQ(view.messages, std::vector<std::string>{"Unrecognizeable file type"});
    EXPECT_FALSE(view.downloadEnabled);
}

TEST_F(MainDialogTest, TheRememberedFileIsRestoredAtStartUp)
{
    settings.portstatus = 0;
    settings.filename = WriteFile("restored.bff", std::vector<uint8_t>(65537, 0));
    Open(Ports(NoPorts));
    EXPECT_TRUE(view.downloadEnabled);
    EXPECT_EQ(view.sizeText, "App download size: 65537\r\nFlash required: 128 kBytes");
    EXPECT_EQ(view.path, settings.filename);
}

TEST_F(MainDialogTest, EnterStartsNothingWhileDownloadIsDisabled)
{
    settings.portstatus = 0;
    MainDialog& dialog = Open(Ports(NoPorts));
    dialog.OnEnter();
    dialog.OnDownload(); // as a stray click would
    EXPECT_TRUE(view.windowEnabled);
    EXPECT_FALSE(view.progressVisible);
    EXPECT_FALSE(dialog.IsDownloadRunning());
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(MainDialogTest, CloseClosesThePortAndEndsTheRun)
{
    settings.portstatus = 0;
    MainDialog& dialog = Open(Ports(NoPorts));
    EXPECT_TRUE(dialog.MayEnd());
    dialog.OnClose();
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(view.toggleText, "Serial &port is closed");
}

TEST_F(MainDialogTest, AddressHistoryShiftsOnlyNewAddresses)
{
    settings.portstatus = 0;
    settings.ip1 = "10.0.0.1";
    settings.ip2 = "";
    settings.ip3 = "10.0.0.3";
    settings.ip4 = "10.0.0.4";
    MainDialog& dialog = Open(Ports(NoPorts));
    EXPECT_EQ(dialog.addressText, "10.0.0.1");
    EXPECT_EQ(view.address, (std::array<uint8_t, 4>{10, 0, 0, 1}));

    view.address = {10, 0, 0, 3};
    dialog.CommitAddress();
    EXPECT_EQ(dialog.addressText, "10.0.0.3");
    EXPECT_EQ(view.history, (std::vector<std::string>{"10.0.0.1", "", "10.0.0.3", "10.0.0.4"}));

    view.address = {192, 0, 2, 7};
    dialog.CommitAddress();
    EXPECT_EQ(view.history, (std::vector<std::string>{"192.0.2.7", "10.0.0.1", "", "10.0.0.3"}));
    EXPECT_EQ(settings.ip4, "10.0.0.3");

    view.address = {0, 0, 0, 0}; // a blank control
    dialog.CommitAddress();
    EXPECT_EQ(settings.ip1, "0.0.0.0");
    EXPECT_EQ(view.history, (std::vector<std::string>{"0.0.0.0", "192.0.2.7", "10.0.0.1", ""}));
}

TEST_F(MainDialogTest, PickingAHistoryRowFillsTheAddress)
{
    settings.portstatus = 0;
    settings.ip2 = "300.1.2.3";
    MainDialog& dialog = Open(Ports(NoPorts));
    dialog.OnRecentAddressSelected(1);
    EXPECT_EQ(view.address, (std::array<uint8_t, 4>{44, 1, 2, 3}));
    EXPECT_EQ(dialog.addressText, "300.1.2.3");
    dialog.OnRecentAddressSelected(0); // a blank row
    EXPECT_EQ(view.address, (std::array<uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(dialog.addressText, "");
    dialog.OnRecentAddressSelected(4); // no such row: nothing
    EXPECT_EQ(dialog.addressText, "");
}

TEST_F(MainDialogTest, ClearEmptiesTheResultsBox)
{
    settings.portstatus = 0;
    MainDialog& dialog = Open(Ports(NoPorts));
    dialog.AppendMessage("old\n", false, 0);
    EXPECT_EQ(view.results, "old\n");
    dialog.OnClearResults();
    EXPECT_EQ(view.results, "");
}
