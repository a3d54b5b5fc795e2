#pragma once

#include "SerialList.h"

class HistoryTable;

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the main window shows, as the window's behaviour (MainDialog) tells it.
// A face implements it with its toolkit's widgets; every call comes on the
// user-interface thread. Texts are the system's own, 8-bit, with "\r\n" line
// breaks where a control shows two lines and "&" before a mnemonic. Setting a
// control from here is never an operator's action: a face raises no change
// notification for it.
class MainDialogView {
public:
    enum class MessageIcon { None, Exclamation };

    virtual ~MainDialogView() = default;

    // The main window's own controls.
    virtual void ShowPath(const std::string& path) = 0;
    virtual void ShowSizeText(const std::string& text) = 0;
    virtual void ShowDownloadButton(bool enabled, const std::string& text) = 0;
    virtual void ShowPortToggle(bool pressed, const std::string& text) = 0;
    virtual void ShowAutoOpen(bool checked) = 0;
    // Selects tab 0 (Serial) or 1 (Ethernet) and shows its page, hiding the other.
    virtual void ShowTab(int index) = 0;
    virtual void EnablePages(bool serialEnabled, bool ethernetEnabled) = 0;
    virtual void EnableWindow(bool enabled) = 0;
    virtual void RaiseWindow() = 0;
    // Ends the window's modal run with the OK result.
    virtual void EndDialog() = 0;

    // The results box. colour is 0x00BBGGRR and applies only when coloured.
    virtual void AppendResults(const uint8_t* bytes, size_t count, bool coloured, uint32_t colour) = 0;
    virtual void ClearResults() = 0;

    // The serial page: a list's items with its selection (-1: none), or only
    // the selection; and the text to transmit as typed.
    virtual void ShowSerialList(SerialList list, const std::vector<std::string>& items, int selected) = 0;
    virtual void SelectSerialItem(SerialList list, int index) = 0;
    virtual std::string TransmitText() = 0;

    // The Ethernet page: the address control and the history list (shown
    // with no row selected).
    virtual void ShowAddress(const std::array<uint8_t, 4>& address) = 0;
    virtual std::array<uint8_t, 4> AddressInControl() = 0;
    virtual void ShowAddressHistory(const std::vector<std::string>& rows) = 0;

    // The progress dialog: shown over the main window with an empty status
    // line, for a file of totalBytes; hidden; its status line and bar (0..100).
    virtual void ShowProgressDialog(const std::string& caption, int64_t totalBytes) = 0;
    virtual void HideProgressDialog() = 0;
    virtual void ShowProgressStatus(const std::string& text) = 0;
    virtual void ShowProgressBar(int percent) = 0;

    // Modal: a message box with an OK button and the application's title
    // (detail, when not empty, is shown under the text); the file-open dialog,
    // which returns the chosen path or "" on Cancel; the "Entering Bootloader"
    // dialog on the named port, true when the bootloader was entered.
    virtual void ShowMessage(const std::string& text, MessageIcon icon, const std::string& detail) = 0;
    virtual std::string ChooseFile(const std::string& currentPath) = 0;
    virtual bool RunBootloaderDialog(const std::string& portText) = 0;
    // Modal: the download history as the table holds it (loaded, newest
    // first), with a way to copy rows (CopyText) and to export them as CSV
    // (ExportCsv) to a file the operator chooses.
    virtual void ShowHistory(const HistoryTable& table) = 0;
};
