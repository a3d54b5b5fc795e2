#include "AppSettings.h"

#include "SettingsStore.h"

#include <cstdlib>

void AppSettings::Load(SettingsStore& store)
{
    // Without "portstatus" no earlier run has saved anything: whatever else the
    // store holds is not ours to trust.
    if (store.ReadInt("portstatus", -1) == -1)
        return;

    serialport = store.ReadText("serialport");
    baud = store.ReadText("baud");
    portstatus = store.ReadInt("portstatus", -1);
    dataformat = store.ReadText("dataformat");
    useethernet = store.ReadInt("useethernet", -1);
    ip1 = store.ReadText("ip1");
    ip2 = store.ReadText("ip2");
    ip3 = store.ReadText("ip3");
    ip4 = store.ReadText("ip4");
    filename = store.ReadText("filename");
}

void AppSettings::Save(SettingsStore& store) const
{
    store.WriteText("serialport", serialport);
    store.WriteText("baud", baud);
    store.WriteInt("portstatus", portstatus);
    store.WriteText("dataformat", dataformat);
    store.WriteInt("useethernet", useethernet);
    store.WriteText("ip1", ip1);
    store.WriteText("ip2", ip2);
    store.WriteText("ip3", ip3);
    store.WriteText("ip4", ip4);
    store.WriteText("filename", filename);
}

std::array<uint8_t, 4> AppSettings::ParseDottedAddress(const std::string& text)
{
    std::array<uint8_t, 4> bytes{0, 0, 0, 0};
    std::string rest = text;
    size_t index = 0;
    while (!rest.empty() && index < bytes.size()) {
        size_t dot = rest.find('.');
        std::string number = dot == std::string::npos ? rest : rest.substr(0, dot);
        rest = dot == std::string::npos ? std::string() : rest.substr(dot + 1);
        // strtol reads like atoi but saturates instead of overflowing on absurd input.
        bytes[index++] = static_cast<uint8_t>(std::strtol(number.c_str(), nullptr, 10) & 0xFF);
    }
    return bytes;
}
