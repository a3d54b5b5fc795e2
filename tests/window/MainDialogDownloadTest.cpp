// The Download command and the reporter's effects against simulated terminals:
// the window disabled behind the progress dialog until the worker's Finish,
// Cancel, the line a download leaves, and terminals that talk or lose their
// adapter meanwhile. The workers run on threads of their own; their reports
// reach the window on the test's thread.
#include "ConsolePort.h"
#include "SerialDownloadJob.h"
#include "SerialMessages.h"
#include "SerialPort.h"
#include "TftpServer.h"
#include "WindowFixture.h"

using MainDialogDownloadTest = WindowFixture;

TEST_F(MainDialogDownloadTest, ASerialDownloadRunsBehindTheProgressDialog)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    options.flowControlReply = 0x80;
    StartSimulator(options);
    const std::vector<uint8_t> image = RandomBytes(3000, 7);
    UseSimulatorPort(0);
    settings.filename = WriteFile("image.bin", image);
    MainDialog& dialog = Open();
    ASSERT_FALSE(dialog.IsPortOpen());

    dialog.OnDownload(); // opens the port first
    EXPECT_TRUE(dialog.IsPortOpen());
    EXPECT_TRUE(view.progressVisible);
    EXPECT_EQ(view.progressCaption, "Serial Downloading...");
    EXPECT_EQ(view.progressTotal, 3000);
    EXPECT_FALSE(view.windowEnabled);
    EXPECT_FALSE(dialog.MayEnd());
    EXPECT_TRUE(dialog.IsDownloadRunning());
    dialog.OnDownload(); // a second press while it runs starts nothing
    dialog.OnFilesDropped({settings.filename}); // nor does a drop change the file
    EXPECT_EQ(view.progressCaption, "Serial Downloading...");

    int highest = 0;
    ASSERT_TRUE(RunUntil([&] {
        highest = std::max(highest, view.progressBar);
        return view.windowEnabled;
    }));
    EXPECT_EQ(highest, 100);
    EXPECT_FALSE(view.progressVisible);
    EXPECT_EQ(view.progressBar, 0);
    EXPECT_EQ(view.progressStatus, "Download is finished.");
    EXPECT_TRUE(EndsWith(view.results, "Download is finished.\n")); // the outcome stays
    EXPECT_EQ(view.colouredResults.back().second, 0x808080u);
    EXPECT_FALSE(dialog.IsCancelled());
    EXPECT_GE(view.raised, 1);
    EXPECT_TRUE(dialog.MayEnd());
    ExpectImage(0, image);
}

TEST_F(MainDialogDownloadTest, ASerialDownloadWhosePortCannotOpenShowsNothing)
{
    settings.portstatus = 0;
    settings.serialport = "COM177";
    settings.filename = WriteFile("image.bin", RandomBytes(100, 1));
    MainDialog& dialog = Open(Ports({}));
    dialog.OnDownload();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].rfind("Couldn't open serial port!", 0), 0u);
    EXPECT_FALSE(view.progressVisible);
    EXPECT_TRUE(view.windowEnabled);
    EXPECT_FALSE(dialog.serialJob);
}

TEST_F(MainDialogDownloadTest, TheResultsBoxStillListensAfterAWorkerResetTheTerminal)
{
    TerminalOptions options;
    options.firmwareVersion = "1.40"; // too old for frames: the worker resets it
    options.flowControlReply = 0x80;
    StartSimulator(options);
    UseSimulatorPort(1);
    settings.filename = WriteFile("old.bin", RandomBytes(700, 9));
    MainDialog& dialog = Open();
    DownloadAndWait();
    EXPECT_EQ(view.progressStatus, "Download is finished.");
    EXPECT_EQ(simulator->CountCommands("R;"), 1u);

    view.results.clear();
    const uint8_t query[] = {'Q', ';'};
    dialog.Port()->Write(query, sizeof query, false);
    EXPECT_TRUE(RunUntil([&] { return Contains(view.results, "\xAA\x55"); }));
}

TEST_F(MainDialogDownloadTest, CancelHidesAtOnceAndGivesTheWindowBackWhenTheWorkerEnds)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Apploader;
    options.silent = true;
    StartSimulator(options);
    UseSimulatorPort(1);
    settings.filename = WriteFile("app.bff", RandomBytes(100, 1));
    MainDialog& dialog = Open();
    ASSERT_TRUE(dialog.IsPortOpen());
    const std::shared_ptr<SerialPort> lent = dialog.console->Port();
    dialog.OnDownload();
    ASSERT_TRUE(RunUntil([&] { return simulator->CountCommands("Q;") >= 2; }));

    dialog.OnProgressCancel();
    EXPECT_TRUE(dialog.IsCancelled());
    EXPECT_FALSE(view.progressVisible);
    EXPECT_TRUE(dialog.IsPortOpen()); // the worker still uses it: reopened only after Finish
    EXPECT_EQ(dialog.console->Port(), lent);
    EXPECT_FALSE(view.windowEnabled);
    ASSERT_TRUE(RunUntil([&] { return view.windowEnabled; }));
    EXPECT_EQ(view.progressStatus, "User cancelled the program.");
    EXPECT_FALSE(dialog.IsCancelled());
    EXPECT_TRUE(dialog.IsPortOpen());
    EXPECT_NE(dialog.console->Port(), lent); // reopened from the page
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(MainDialogDownloadTest, ASecondDownloadReplacesTheFirstJob)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    StartSimulator(options);
    UseSimulatorPort(1);
    const std::vector<uint8_t> first = RandomBytes(500, 1);
    const std::vector<uint8_t> second = RandomBytes(600, 2);
    settings.filename = WriteFile("one.bin", first);
    MainDialog& dialog = Open();
    DownloadAndWait();
    const SerialDownloadJob* firstJob = dialog.serialJob.get();
    dialog.SelectFile(WriteFile("two.bin", second));
    DownloadAndWait();
    EXPECT_NE(dialog.serialJob.get(), firstJob);
    EXPECT_FALSE(dialog.serialJob->IsRunning());
    ExpectImage(0, first);
    ExpectImage(1, second);
}

TEST_F(MainDialogDownloadTest, AnEthernetDownloadCommitsTheAddressAndSendsTheFile)
{
    TftpServerOptions options;
    options.address = "127.0.0.1";
    options.port = 0;
    TftpServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;

    const std::vector<uint8_t> image = RandomBytes(5000, 3);
    settings.portstatus = 0;
    settings.useethernet = 1;
    settings.filename = WriteFile("app.bff", image);
    MainDialog& dialog = Open(Ports({}));
    dialog.unitTftpPort = server.BoundPort();

    dialog.OnEnter(); // 0.0.0.0 is refused before anything starts
    EXPECT_EQ(view.messages, std::vector<std::string>{"Please set a valid IP address!"});
    EXPECT_TRUE(view.windowEnabled);
    EXPECT_FALSE(view.progressVisible);
    EXPECT_EQ(settings.ip1, "");

    view.address = {127, 0, 0, 1};
    dialog.OnEnter();
    EXPECT_EQ(view.progressCaption, "Ethernet Downloading...");
    EXPECT_EQ(settings.ip1, "127.0.0.1");
    EXPECT_EQ(view.history.front(), "127.0.0.1");
    EXPECT_EQ(dialog.addressText, "127.0.0.1");
    ASSERT_TRUE(RunUntil([&] { return view.windowEnabled; }));
    EXPECT_EQ(view.progressStatus, "Download is finished.");
    ASSERT_TRUE(RunUntil([&] { return !server.ReceivedFiles().empty(); }));
    const auto files = server.ReceivedFiles();
    EXPECT_EQ(files.front().name, "bff.bff");
    EXPECT_EQ(files.front().bytes, image);
    EXPECT_FALSE(dialog.IsPortOpen()); // the serial port has no part in it
}

TEST_F(MainDialogDownloadTest, CancellingAnEthernetDownloadReopensAnOpenSerialPort)
{
    // A unit that never answers: the worker repeats its request until cancelled.
    TerminalOptions terminal;
    terminal.loaderAtStart = TerminalLoader::Apploader;
    StartSimulator(terminal);
    UseSimulatorPort(1);
    settings.useethernet = 1;
    settings.filename = WriteFile("app.bff", RandomBytes(100, 4));
    MainDialog& dialog = Open();
    ASSERT_TRUE(dialog.IsPortOpen());
    const std::shared_ptr<SerialPort> before = dialog.console->Port();
    dialog.unitTftpPort = 9; // discard: nothing answers there
    view.address = {127, 0, 0, 1};
    dialog.OnDownload();
    dialog.OnProgressCancel();
    EXPECT_TRUE(dialog.IsPortOpen());
    EXPECT_NE(dialog.console->Port(), before); // closed and opened again at once
    EXPECT_TRUE(EndsWith(view.toggleText, "115200, 8n1"));
    ASSERT_TRUE(RunUntil([&] { return view.windowEnabled; }));
    EXPECT_FALSE(dialog.IsCancelled());
}

TEST_F(MainDialogDownloadTest, ATalkingTerminalNeverTakesTheDialogueFromTheWorker)
{
    struct Talk {
        double intervalMs;
        bool always;
        int downloads;
    };
    for (const Talk talk : {Talk{0.5, false, 10}, Talk{2.0, true, 3}}) {
        SCOPED_TRACE(talk.intervalMs);
        view = RecordingView();
        TerminalOptions options;
        options.loaderAtStart = TerminalLoader::Bootloader;
        options.chatterIntervalMs = talk.intervalMs;
        options.chatterAlways = talk.always;
        StartSimulator(options);
        const std::vector<uint8_t> image = RandomBytes(600, 11);
        UseSimulatorPort(1);
        settings.filename = WriteFile("talk.bin", image);
        MainDialog& dialog = Open();
        ASSERT_TRUE(dialog.IsPortOpen());

        for (int i = 0; i < talk.downloads; ++i) {
            // The talk reaches the window, so that notifications are queued
            // when Download is pressed.
            ASSERT_TRUE(RunUntil([&] { return Contains(view.results, "status "); }));
            DownloadAndWait();
            EXPECT_EQ(view.progressStatus, "Download is finished.");
            ExpectImage(static_cast<size_t>(i), image);
            if (!talk.always)
                view.results.clear();
        }
        // The window showed the terminal's talk, never the loader's replies.
        EXPECT_TRUE(RunUntil([&] { return Contains(view.results, "status "); }));
        EXPECT_FALSE(Contains(view.results, "\xAA\x55"));
        window.reset();
    }
}

TEST_F(MainDialogDownloadTest, TheNextDownloadStartsOnThePagesLineWhateverTheLastOneLeft)
{
    TerminalOptions options;
    options.apploaderRate = 9600;
    options.apploaderFormat = "8e1";
    options.firmwareVersion = "1.40"; // too old for frames: the worker resets it
    options.flowControlReply = 0x81;
    StartSimulator(options);
    const std::vector<uint8_t> firmware = RandomBytes(900, 3);
    const std::vector<uint8_t> application = RandomBytes(1500, 4);
    UseSimulatorPort(1);
    settings.baud = "9600";
    settings.dataformat = "8e1";
    settings.filename = WriteFile("new.bin", firmware);
    MainDialog& dialog = Open();
    EXPECT_TRUE(EndsWith(view.toggleText, "9600, 8e1"));

    DownloadAndWait();
    EXPECT_EQ(simulator->CountCommands("R;"), 1u);
    ExpectImage(0, firmware);
    // The line as the reset left it, not as the page asks.
    EXPECT_TRUE(EndsWith(view.toggleText, "\r\n115200, 8n1")) << view.toggleText;

    simulator->SetLoader(TerminalLoader::Apploader); // the terminal boots its new firmware
    dialog.SelectFile(WriteFile("app.bff", application));
    DownloadAndWait();
    ExpectImage(1, application); // on Xon/Xoff: the simulator checks the line's flags
    EXPECT_EQ(dialog.Port()->AppliedLine().parity, EvenParity); // reopened from the page
    EXPECT_TRUE(EndsWith(view.toggleText, "\r\n9600, 8e1, Xon/Xoff")) << view.toggleText;

    simulator->ChangeOptions([](TerminalOptions& o) { o.firmwareVersion = "1.50"; });
    dialog.SelectFile(WriteFile("new.bin", firmware));
    DownloadAndWait();
    ExpectImage(2, firmware);
    EXPECT_EQ(simulator->CountCommands("R;"), 1u);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(MainDialogDownloadTest, AnAdapterPulledDuringADownloadIsToldWhenItEnds)
{
    TerminalOptions options;
    options.flowControlReply = 0x80;
    options.unplugAfterBytes = 3000;
    StartSimulator(options);
    UseSimulatorPort(1);
    settings.filename = WriteFile("big.bff", RandomBytes(40000, 5));
    MainDialog& dialog = Open();
    DownloadAndWait();
    const std::string lost = SerialMessages::ConnectionLost(simulator->ComNumber());
    EXPECT_EQ(view.progressStatus, lost);
    EXPECT_FALSE(dialog.IsPortOpen());
    EXPECT_EQ(view.toggleText, "Serial &port is closed");
    EXPECT_TRUE(EndsWith(view.results, lost + "\n"));
}
