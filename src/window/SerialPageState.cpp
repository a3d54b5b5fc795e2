#include "SerialPageState.h"

#include <algorithm>
#include <cctype>

namespace {

char Lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool LessIgnoringCase(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

bool EqualIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool StartsIgnoringCase(const std::string& text, const std::string& start)
{
    return text.size() >= start.size() && EqualIgnoringCase(text.substr(0, start.size()), start);
}

// The list keeps itself in case-insensitive alphabetical order.
std::vector<std::string> Sorted(std::vector<std::string> ports)
{
    std::stable_sort(ports.begin(), ports.end(), LessIgnoringCase);
    return ports;
}

int FindComName(const std::vector<std::string>& items, const std::string& name)
{
    if (name.empty())
        return -1;
    for (size_t i = 0; i < items.size(); ++i) {
        if (SerialPageState::ComName(items[i]) == name)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

SerialPageState::SerialPageState(const std::vector<std::string>& ports) : ports(Sorted(ports)) {}

const std::vector<std::string>& SerialPageState::BaudRates()
{
    static const std::vector<std::string> rates = {"115200", "57600", "38400", "19200", "14400",
                                                   "9600",   "4800",  "2400",  "1200",  "600"};
    return rates;
}

const std::vector<std::string>& SerialPageState::DataFormats()
{
    static const std::vector<std::string> formats = {"8n1", "8n2", "8o1", "8o2", "8e1", "8e2"};
    return formats;
}

const std::vector<std::string>& SerialPageState::Items(SerialList list) const
{
    switch (list) {
    case SerialList::Baud: return BaudRates();
    case SerialList::Format: return DataFormats();
    case SerialList::Port: break;
    }
    return ports;
}

int SerialPageState::Selection(SerialList list) const
{
    switch (list) {
    case SerialList::Baud: return baudSelection;
    case SerialList::Format: return formatSelection;
    case SerialList::Port: break;
    }
    return portSelection;
}

std::string SerialPageState::Text(SerialList list) const
{
    const int index = Selection(list);
    return index >= 0 ? Items(list)[static_cast<size_t>(index)] : std::string();
}

void SerialPageState::Select(SerialList list, int index)
{
    if (index < 0 || index >= static_cast<int>(Items(list).size()))
        index = -1;
    switch (list) {
    case SerialList::Baud: baudSelection = index; return;
    case SerialList::Format: formatSelection = index; return;
    case SerialList::Port: portSelection = index; return;
    }
}

void SerialPageState::OperatorSelected(SerialList list, int index)
{
    Select(list, index);
    if (list == SerialList::Port)
        awaitedPort.clear();
}

void SerialPageState::ReadControls()
{
    baudIndex = baudSelection;
    formatIndex = formatSelection;
}

void SerialPageState::WriteControls()
{
    Select(SerialList::Baud, baudIndex);
    Select(SerialList::Format, formatIndex);
}

void SerialPageState::SelectStored(SerialList list, const std::string& stored)
{
    const std::vector<std::string>& items = Items(list);
    const int count = static_cast<int>(items.size());
    // An exact match first, so that a stored COM1 is not taken for COM10.
    const int exact = list == SerialList::Port ? FindComName(items, ComName(stored)) : -1;
    if (exact >= 0) {
        Select(list, exact);
        return;
    }
    for (int i = 0; i < count && list != SerialList::Port; ++i) {
        if (EqualIgnoringCase(items[static_cast<size_t>(i)], stored)) {
            Select(list, i);
            return;
        }
    }
    for (int step = 1; step <= count; ++step) {
        const int i = step % count;
        if (StartsIgnoringCase(items[static_cast<size_t>(i)], stored)) {
            Select(list, i);
            return;
        }
    }
    if (list == SerialList::Port && portSelection < 0)
        awaitedPort = ComName(stored);
}

bool SerialPageState::RefreshPorts(const std::vector<std::string>& present)
{
    std::vector<std::string> items = Sorted(present);
    if (items == ports)
        return false;
    // The selection is a port, not a row: the same COM name, even if its entry
    // reads differently now (an adapter described, an alias moved).
    const std::string selected = ComName(Text(SerialList::Port));
    ports = std::move(items);
    portSelection = FindComName(ports, selected.empty() ? awaitedPort : selected);
    if (portSelection >= 0)
        awaitedPort.clear();
    else if (!selected.empty())
        awaitedPort = selected;
    return true;
}

std::string SerialPageState::ComName(const std::string& text)
{
    const size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos || !StartsIgnoringCase(text.substr(start), "COM"))
        return std::string();
    size_t end = start + 3;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
        ++end;
    if (end == start + 3)
        return std::string();
    return "COM" + text.substr(start + 3, end - start - 3);
}
