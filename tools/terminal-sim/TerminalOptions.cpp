#include "TerminalOptions.h"


const char* TerminalLoaderName(TerminalLoader loader)
{
    switch (loader) {
    case TerminalLoader::Off: return "off";
    case TerminalLoader::Bootloader: return "bootloader";
    case TerminalLoader::Apploader: return "apploader";
    case TerminalLoader::Restarting: return "restarting";
    case TerminalLoader::PoweringUp: return "powering up";
    case TerminalLoader::Unplugged: return "unplugged";
    }
    return "?";
}

bool IsValidLineFormat(const std::string& format)
{
    return format.size() == 3 && format[0] == '8' && (format[1] == 'n' || format[1] == 'o' || format[1] == 'e') &&
           (format[2] == '1' || format[2] == '2');
}
