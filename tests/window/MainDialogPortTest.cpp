// The console port against a simulated terminal on a real pseudo-terminal: the
// toggle, received bytes, reopening, Xmit, the induction around its dialog, and
// adapters that are pulled and come back.
#include "BootloaderInduction.h"
#include "ConsolePort.h"
#include "SerialMessages.h"
#include "SerialPort.h"
#include "WindowFixture.h"

namespace {

TerminalOptions Apploader()
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Apploader;
    options.flowControlReply = 0x80;
    return options;
}

} // namespace

class MainDialogPortTest : public WindowFixture {
protected:
    // What the "Entering Bootloader" dialog does with a terminal that is in its
    // bootloader or apploader: opens the device itself and probes it.
    bool InduceOnOwnPort(const std::string& portText)
    {
        SerialPort port;
        if (!port.Open("\\\\.\\" + portText, 115200, 0, NoParity, OneStopBit, 8, FlowControl::None))
            return false;
        BootloaderInduction induction(
            [this](const uint8_t* bytes, int count) { window->AppendBytes(bytes, count, false, 0); });
        for (int probes = 0; probes < 5; ++probes) {
            switch (induction.Probe(port)) {
            case BootloaderInduction::ProbeResult::InBootloader: return true;
            case BootloaderInduction::ProbeResult::ResetSent: continue;
            case BootloaderInduction::ProbeResult::NotRecognised: return false;
            }
        }
        return false;
    }
};

TEST_F(MainDialogPortTest, TheToggleOpensAndClosesARealPort)
{
    StartSimulator(Apploader());
    UseSimulatorPort(0);
    MainDialog& dialog = Open();
    const std::string portText = view.Selected(SerialList::Port);
    EXPECT_EQ(portText.rfind(simulator->ComName() + " (", 0), 0u);

    dialog.OnPortToggle(true);
    EXPECT_TRUE(dialog.IsPortOpen());
    EXPECT_TRUE(view.togglePressed);
    EXPECT_EQ(view.toggleText, "&Port " + portText + " open\r\n115200, 8n1");
    EXPECT_EQ(settings.serialport, portText);
    EXPECT_TRUE(view.messages.empty());

    // What the terminal sends reaches the results box.
    const uint8_t query[] = {'Q', ';'};
    dialog.Port()->Write(query, sizeof query, false);
    EXPECT_TRUE(RunUntil([&] { return Contains(view.results, "\xFF\x99"); }));

    dialog.OnPortToggle(false);
    EXPECT_FALSE(dialog.IsPortOpen());
    EXPECT_FALSE(view.togglePressed);
    EXPECT_EQ(view.toggleText, "Serial &port is closed");
}

TEST_F(MainDialogPortTest, XmitSendsTheEscapedTextAndTheReplyIsShown)
{
    StartSimulator(Apploader());
    UseSimulatorPort(0);
    MainDialog& dialog = Open();
    view.transmitText = "\\x51;";
    dialog.OnXmit(); // opens the closed port first
    EXPECT_TRUE(dialog.IsPortOpen());
    EXPECT_TRUE(RunUntil([&] { return Contains(view.results, "\xFF\x99"); }));
    EXPECT_EQ(simulator->CountCommands("Q;"), 1u);

    // An empty text sends nothing, but a closed port is still opened.
    dialog.OnPortToggle(false);
    view.transmitText.clear();
    dialog.OnXmit();
    EXPECT_TRUE(dialog.IsPortOpen());
}

TEST_F(MainDialogPortTest, XmitIntoALineThatTakesNothingReturnsAndSaysWhatWasDropped)
{
    TerminalOptions options;
    options.apploaderRate = 1200;
    options.paceLine = true; // 120 bytes a second
    StartSimulator(options);
    UseSimulatorPort(1);
    settings.baud = "1200";
    MainDialog& dialog = Open();
    ASSERT_TRUE(dialog.IsPortOpen());
    view.transmitText = std::string(30000, 'A');
    dialog.OnXmit();
    EXPECT_TRUE(Contains(view.results, "bytes were not sent"));
    EXPECT_TRUE(dialog.IsPortOpen());
    // Let the line drain quickly, or closing would wait for 120 bytes a second.
    simulator->ChangeOptions([](TerminalOptions& o) { o.paceLine = false; });
}

TEST_F(MainDialogPortTest, InducingABootloaderSwitchesThePageTo115200And8n1)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    StartSimulator(options);
    UseSimulatorPort(1);
    settings.baud = "9600";
    settings.dataformat = "8e1";
    MainDialog& dialog = Open();
    ASSERT_TRUE(dialog.IsPortOpen());
    bool consoleClosed = false;
    view.bootloaderDialog = [&](const std::string& portText) {
        consoleClosed = !dialog.IsPortOpen();
        return InduceOnOwnPort(portText);
    };
    dialog.OnInduceBootloader();
    EXPECT_TRUE(consoleClosed); // the dialog's own port needs the device
    EXPECT_TRUE(EndsWith(view.results, "\xAA\x55"
                                       "Bootloader entered!\nPort Settings changed to 115200,8N1 to match "
                                       "bootloader communications settings!\n"));
    EXPECT_EQ(view.colouredResults.back().second, 0x0000FFu);
    EXPECT_EQ(view.Selected(SerialList::Baud), "115200");
    EXPECT_EQ(view.Selected(SerialList::Format), "8n1");
    EXPECT_TRUE(dialog.IsPortOpen());
    EXPECT_TRUE(EndsWith(view.toggleText, "115200, 8n1"));
    EXPECT_TRUE(simulator->WaitForCommandCount("q;", 1, WorkerLimit));
    EXPECT_EQ(simulator->CountCommands("IIIII"), 0u);

    // Already at the bootloader's settings: only the outcome is logged.
    view.results.clear();
    dialog.OnInduceBootloader();
    EXPECT_TRUE(EndsWith(view.results, "\xAA\x55"
                                       "Bootloader entered!\n"));
    EXPECT_FALSE(Contains(view.results, "Port Settings changed"));
}

TEST_F(MainDialogPortTest, AnInductionThatFailsReopensThePortUnchangedAndOnTheEthernetTabChangesNothing)
{
    StartSimulator(Apploader());
    UseSimulatorPort(0);
    settings.baud = "9600";
    MainDialog& dialog = Open();
    view.bootloaderDialog = [&](const std::string&) { return false; }; // cancelled
    dialog.OnInduceBootloader();
    EXPECT_TRUE(EndsWith(view.results, "Bootloader not entered!\n"));
    EXPECT_EQ(view.colouredResults.back(), (std::pair<std::string, uint32_t>{"Bootloader not entered!\n", 0x808080}));
    EXPECT_EQ(view.Selected(SerialList::Baud), "9600");
    EXPECT_TRUE(dialog.IsPortOpen());
    EXPECT_TRUE(EndsWith(view.toggleText, "9600, 8n1"));
    EXPECT_TRUE(simulator->WaitForEvent(
        [](const TerminalEvent& event) {
            return event.kind == TerminalEvent::Kind::Received &&
                   std::string(event.bytes.begin(), event.bytes.end()).find("q;") != std::string::npos;
        },
        WorkerLimit));

    // Entered, but the Serial tab is not shown: the page keeps its settings.
    dialog.OnTabChanged(1);
    view.bootloaderDialog = [&](const std::string&) { return true; };
    dialog.OnInduceBootloader();
    EXPECT_TRUE(EndsWith(view.results, "Bootloader entered!\n"));
    EXPECT_EQ(view.Selected(SerialList::Baud), "9600");
}

TEST_F(MainDialogPortTest, AnInductionWithoutAPortShowsWhyAndRunsNoDialog)
{
    settings.portstatus = 0;
    MainDialog& dialog = Open(Ports({}));
    bool ran = false;
    view.bootloaderDialog = [&](const std::string&) { return ran = true; };
    dialog.OnInduceBootloader();
    EXPECT_FALSE(ran);
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[0].rfind("Couldn't open serial port!", 0), 0u);
    EXPECT_EQ(view.messages[1], "Unable to open serial port");
    EXPECT_EQ(view.results, "");
}

TEST_F(MainDialogPortTest, AChangedSettingReopensOnlyAnOpenPort)
{
    StartSimulator(Apploader());
    UseSimulatorPort(0);
    MainDialog& dialog = Open();

    dialog.OnSerialSelectionChanged(SerialList::Baud, 5); // 9600, port closed
    EXPECT_FALSE(dialog.IsPortOpen());

    ASSERT_TRUE(dialog.SetPortOpen(true));
    EXPECT_TRUE(EndsWith(view.toggleText, "9600, 8n1"));
    dialog.OnSerialSelectionChanged(SerialList::Format, 4); // 8e1
    EXPECT_TRUE(dialog.IsPortOpen());
    EXPECT_TRUE(EndsWith(view.toggleText, "9600, 8e1"));
    EXPECT_EQ(dialog.Port()->AppliedLine().parity, EvenParity);
    EXPECT_EQ(settings.dataformat, "8e1");
    EXPECT_EQ(settings.baud, "9600");
}

TEST_F(MainDialogPortTest, ARefreshOfThePortListNeverTouchesTheOpenPort)
{
    StartSimulator(Apploader());
    UseSimulatorPort(1);
    MainDialog& dialog = Open();
    ASSERT_TRUE(dialog.IsPortOpen());
    const std::shared_ptr<SerialPort> openPort = dialog.console->Port();
    const std::string selected = view.Selected(SerialList::Port);
    const size_t listed = view.lists[SerialList::Port].items.size();

    auto second = std::make_unique<TerminalSimulator>(TerminalOptions{});
    std::string error;
    ASSERT_TRUE(second->Start(&error)) << error;
    dialog.RefreshPortList();
    EXPECT_EQ(view.lists[SerialList::Port].items.size(), listed + 1);
    second.reset();
    dialog.RefreshPortList();
    EXPECT_EQ(view.lists[SerialList::Port].items.size(), listed);
    EXPECT_EQ(view.Selected(SerialList::Port), selected);
    EXPECT_EQ(dialog.console->Port(), openPort);
}

TEST_F(MainDialogPortTest, APortInUseIsExplained)
{
    StartSimulator(Apploader());
    SerialPort other;
    ASSERT_TRUE(other.OpenByNumber(simulator->ComNumber(), 115200, 0, NoParity, OneStopBit, 8, FlowControl::None));
    UseSimulatorPort(1);
    MainDialog& dialog = Open();
    EXPECT_FALSE(dialog.IsPortOpen());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].rfind("Couldn't open serial port!\n--\n", 0), 0u);
    EXPECT_TRUE(Contains(view.messages[0], "in use by another program"));
    EXPECT_TRUE(view.autoOpen); // checked even though opening failed
    EXPECT_EQ(view.toggleText, "Serial &port is closed");
}

TEST_F(MainDialogPortTest, APulledAdapterReleasesTheToggleAndComesBackSelected)
{
    StartSimulator(TerminalOptions{});
    UseSimulatorPort(1);
    MainDialog& dialog = Open();
    ASSERT_TRUE(dialog.IsPortOpen());
    const std::string comName = simulator->ComName();

    simulator->Unplug();
    ASSERT_TRUE(RunUntil([&] { return !dialog.IsPortOpen(); }));
    EXPECT_FALSE(view.togglePressed);
    EXPECT_EQ(view.toggleText, "Serial &port is closed");
    const std::string lost = SerialMessages::ConnectionLost(simulator->ComNumber());
    EXPECT_TRUE(Contains(view.results, lost));
    EXPECT_TRUE(view.messages.empty());
    dialog.RefreshPortList(); // the device is gone from the list
    EXPECT_EQ(view.lists[SerialList::Port].selected, -1);

    simulator->Replug();
    ASSERT_TRUE(simulator->WaitForLoader(TerminalLoader::Apploader, WorkerLimit));
    dialog.RefreshPortList();
    EXPECT_EQ(SerialPageState::ComName(view.Selected(SerialList::Port)), comName);
    dialog.OnPortToggle(true);
    EXPECT_TRUE(dialog.IsPortOpen());
    EXPECT_TRUE(view.togglePressed);
}

TEST_F(MainDialogPortTest, ARememberedPortWhoseAdapterIsAbsentStaysRemembered)
{
    settings.serialport = "COM177";
    settings.baud = "57600";
    settings.portstatus = 1;
    std::vector<std::string> present = {"COM1 (ttyS0)", "COM3 (ttyS2)"};
    MainDialog& dialog = Open([&present] { return present; });
    EXPECT_FALSE(dialog.IsPortOpen());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].rfind("Couldn't open serial port!", 0), 0u);
    EXPECT_EQ(settings.serialport, "COM177");
    EXPECT_EQ(settings.baud, "57600");
    dialog.OnPortToggle(true);
    EXPECT_EQ(settings.serialport, "COM177");

    // Its adapter plugged in later: the port is selected.
    present.push_back("COM177 (ttyUSB0)");
    dialog.RefreshPortList();
    EXPECT_EQ(view.Selected(SerialList::Port), "COM177 (ttyUSB0)");
}
