#include "TerminalStatusText.h"

#include <array>

std::string TerminalStatusText(int code)
{
    static const std::array<const char*, 5> texts = {
        "Downloading",
        "Waiting for terminal response.  Please attach terminal to network.",
        "Terminal not ready for application download.  Please prepare terminal for download.",
        "Initiating connection",
        "Illegal Operation",
    };
    if (code >= 0 && code < static_cast<int>(texts.size()))
        return texts[static_cast<size_t>(code)];
    // A unit with newer firmware may know more states; the code still tells
    // support what happened.
    return "Terminal reported an unknown error (code " + std::to_string(code) + ")";
}
