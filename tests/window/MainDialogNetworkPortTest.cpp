// The window with a port on a serial device server: Debian's ser2net in front
// of the simulated terminal, named COM70 by a link to its address as an
// operator names it. The list shows it, the toggle and a download go through
// it, and a connection that ends or never starts reads as a local port's would.
#include "SerialMessages.h"
#include "Ser2netServer.h"
#include "UserFolders.h"
#include "WindowFixture.h"

#include <algorithm>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr uint32_t Red = 0x0000FF;

void LinkCom(int number, const std::string& url)
{
    fs::create_directories(UserFolders::ComAliasFolder());
    fs::create_symlink(url, fs::path(UserFolders::ComAliasFolder()) / ("COM" + std::to_string(number)));
}

} // namespace

class MainDialogNetworkPortTest : public WindowFixture {
protected:
    ~MainDialogNetworkPortTest() override
    {
        window.reset();
        server.Stop();
    }

    // The terminal with ser2net in front of it as COM70; settings naming it.
    void StartNetworkTerminal(const TerminalOptions& options, int portstatus)
    {
        if (!Ser2netServer::Installed())
            GTEST_SKIP() << "ser2net is not installed (scripts/install-deps.sh test)";
        StartSimulator(options);
        std::string error;
        ASSERT_TRUE(server.Start(simulator->SlavePath(), folders.Root(), &error)) << error;
        LinkCom(70, server.Url());
        settings.portstatus = portstatus;
        settings.serialport = "COM70";
        settings.baud = "115200";
        settings.dataformat = "8n1";
    }

    Ser2netServer server;
};

TEST_F(MainDialogNetworkPortTest, ThePortIsListedWithItsAddressAndADownloadGoesThroughIt)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    StartNetworkTerminal(options, 0);
    const std::vector<uint8_t> image = RandomBytes(4000, 70);
    settings.filename = WriteFile("image.bin", image);
    MainDialog& dialog = Open();

    const std::string entry = "COM70 (" + server.Url() + ")";
    const std::vector<std::string>& items = view.lists[SerialList::Port].items;
    EXPECT_NE(std::find(items.begin(), items.end(), entry), items.end());
    EXPECT_EQ(view.Selected(SerialList::Port), entry);

    DownloadAndWait(); // opens the port first
    EXPECT_EQ(view.progressStatus, "Download is finished.");
    ExpectImage(0, image);
    EXPECT_TRUE(dialog.IsPortOpen());
    EXPECT_EQ(view.toggleText, "&Port " + entry + " open\r\n115200, 8n1");
    EXPECT_EQ(settings.serialport, entry);
}

TEST_F(MainDialogNetworkPortTest, AnEndedConnectionReleasesTheToggleWithAVanishedDevicesRedText)
{
    StartNetworkTerminal(TerminalOptions{}, 1);
    MainDialog& dialog = Open();
    ASSERT_TRUE(dialog.IsPortOpen()) << (view.messages.empty() ? "" : view.messages[0]);
    EXPECT_TRUE(view.togglePressed);

    server.Stop();
    ASSERT_TRUE(RunUntil([&] { return !dialog.IsPortOpen(); }));
    EXPECT_FALSE(view.togglePressed);
    EXPECT_EQ(view.toggleText, "Serial &port is closed");
    ASSERT_FALSE(view.colouredResults.empty());
    EXPECT_EQ(view.colouredResults.back(), std::make_pair(SerialMessages::ConnectionLost(70) + "\n", Red));
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(MainDialogNetworkPortTest, APortWhereNothingListensSaysSoWhenItCannotOpen)
{
    const std::string url = "rfc2217://127.0.0.1:" + std::to_string(FreeLoopbackPort());
    LinkCom(71, url);
    settings.portstatus = 1;
    settings.serialport = "COM71";
    MainDialog& dialog = Open();
    EXPECT_EQ(view.Selected(SerialList::Port), "COM71 (" + url + ")");
    EXPECT_FALSE(dialog.IsPortOpen());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].rfind("Couldn't open serial port!\n--\n" + url + " refused the connection", 0), 0u)
        << view.messages[0];
    EXPECT_EQ(view.toggleText, "Serial &port is closed");
}
