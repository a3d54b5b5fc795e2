#pragma once

#include "SerialList.h"

#include <string>
#include <vector>

// The serial page as data: the items of its three lists and what each shows
// selected, the page's baudIndex and formatIndex as of the last data exchange,
// and the rules that pick an item for a stored text and keep the chosen port
// across changes of the port list.
class SerialPageState {
public:
    // `ports` are the serial devices present now, as "COMn (device)" texts.
    explicit SerialPageState(const std::vector<std::string>& ports = {});

    static const std::vector<std::string>& BaudRates();
    static const std::vector<std::string>& DataFormats();

    const std::vector<std::string>& Items(SerialList list) const;
    // The index shown selected; -1 for none.
    int Selection(SerialList list) const;
    // The selected item's text; empty with no selection.
    std::string Text(SerialList list) const;
    // An operator's choice, or a selection made by the window.
    void Select(SerialList list, int index);
    // The operator picked a port: a port that went away is no longer waited for.
    void OperatorSelected(SerialList list, int index);

    // Data exchange: ReadControls takes the baud and format selections into
    // baudIndex and formatIndex; WriteControls selects them in the lists.
    void ReadControls();
    void WriteControls();

    // Selects the item for a stored text: an item that equals it (for ports:
    // whose COM name equals the stored one's), else the first item, searching
    // from the second one round to the first, that begins with it, ignoring
    // case. Nothing changes when no item matches; a stored port that matches
    // nothing is waited for, as if its adapter were out.
    void SelectStored(SerialList list, const std::string& stored);

    // Replaces the port list's items with `ports`, keeping the selected port
    // when it is among them. A selected port that is gone leaves no selection
    // and is waited for: when it comes back, and no other port was picked
    // meanwhile, it is selected again. False when the items did not change.
    bool RefreshPorts(const std::vector<std::string>& ports);

    // "COM33" from "COM33 (ttyUSB0, FT232R USB UART)", upper case; empty
    // without "COM" and digits at the start.
    static std::string ComName(const std::string& text);

    int baudIndex = -1;
    int formatIndex = -1;

private:
    std::vector<std::string> ports;
    int portSelection = -1;
    int baudSelection = -1;
    int formatSelection = -1;
    // The COM name of a chosen port whose adapter is out; empty when none.
    std::string awaitedPort;
};
