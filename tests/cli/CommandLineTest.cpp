// The command line as vennix-cli parses it, on every platform it is built for.

#include "CommandLine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

int Parse(std::vector<const char*> arguments, CliRequest& request, std::string* errors = nullptr)
{
    arguments.insert(arguments.begin(), "vennix-cli");
    std::ostringstream out, err;
    const int code = CommandLine::Parse(static_cast<int>(arguments.size()), arguments.data(), request, out, err);
    if (errors)
        *errors = err.str();
    return code;
}

// A path that starts with a slash is a file or a device, never an option, even
// where slash options are the custom (Windows).
TEST(CommandLine, PathsStartingWithASlashAreFilesAndPorts)
{
    CliRequest request;
    std::string errors;
    ASSERT_EQ(Parse({"download", "/images/fw.bin", "--port", "/dev/ttyUSB0", "--ip", "127.0.0.1", "--timeout", "5"},
                    request, &errors),
              -1)
        << errors;
    EXPECT_EQ(request.command, CliRequest::Command::Download);
    EXPECT_EQ(request.file, "/images/fw.bin");
    ASSERT_EQ(request.targets.size(), 2u);
    EXPECT_EQ(request.targets[0].kind, TargetArgument::Kind::Port);
    EXPECT_EQ(request.targets[0].text, "/dev/ttyUSB0");
    EXPECT_EQ(request.targets[1].kind, TargetArgument::Kind::Ip);
    EXPECT_DOUBLE_EQ(request.timeoutSeconds, 5.0);

    CliRequest slashOption;
    EXPECT_EQ(Parse({"download", "fw.bin", "/port", "COM3"}, slashOption, &errors), 2);
    EXPECT_NE(errors.find("vennix-cli:"), std::string::npos) << errors;
}

} // namespace
