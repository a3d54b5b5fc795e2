#pragma once

#include "MainDialogView.h"

#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

// A main window that shows nothing: it keeps what it was last told to show,
// records message boxes and the results box, and answers the modal dialogs as
// a test sets it up to.
class RecordingView : public MainDialogView {
public:
    struct SerialListShown {
        std::vector<std::string> items;
        int selected = -1;
    };

    std::string path;
    std::string sizeText;
    bool downloadEnabled = false;
    std::string downloadText;
    bool togglePressed = false;
    std::string toggleText;
    bool autoOpen = false;
    int tab = -1;
    bool serialPageEnabled = true;
    bool ethernetPageEnabled = true;
    bool windowEnabled = true;
    int raised = 0;
    bool ended = false;
    // Everything appended to the results box, as bytes; and the coloured pieces.
    std::string results;
    std::vector<std::pair<std::string, uint32_t>> colouredResults;
    std::map<SerialList, SerialListShown> lists;
    std::array<uint8_t, 4> address{};
    std::vector<std::string> history;
    bool progressVisible = false;
    std::string progressCaption;
    std::string progressStatus;
    int progressBar = 0;
    int64_t progressTotal = -1;
    // Message boxes in order; a detail follows its text after "\n--\n".
    std::vector<std::string> messages;

    // The rows of each history shown, in order; what the table copies as text.
    std::vector<std::vector<std::vector<std::string>>> histories;
    std::string historyCopy;

    // What the operator typed or chose.
    std::string transmitText;
    std::function<std::string(const std::string& currentPath)> chooseFile;
    std::function<bool(const std::string& portText)> bootloaderDialog;

    std::string Selected(SerialList list) const;

    void ShowPath(const std::string& text) override { path = text; }
    void ShowSizeText(const std::string& text) override { sizeText = text; }
    void ShowDownloadButton(bool enabled, const std::string& text) override;
    void ShowPortToggle(bool pressed, const std::string& text) override;
    void ShowAutoOpen(bool checked) override { autoOpen = checked; }
    void ShowTab(int index) override { tab = index; }
    void EnablePages(bool serialEnabled, bool ethernetEnabled) override;
    void EnableWindow(bool enabled) override { windowEnabled = enabled; }
    void RaiseWindow() override { ++raised; }
    void EndDialog() override { ended = true; }
    void AppendResults(const uint8_t* bytes, size_t count, bool coloured, uint32_t colour) override;
    void ClearResults() override { results.clear(); }
    void ShowSerialList(SerialList list, const std::vector<std::string>& items, int selected) override;
    void SelectSerialItem(SerialList list, int index) override { lists[list].selected = index; }
    std::string TransmitText() override { return transmitText; }
    void ShowAddress(const std::array<uint8_t, 4>& shown) override { address = shown; }
    std::array<uint8_t, 4> AddressInControl() override { return address; }
    void ShowAddressHistory(const std::vector<std::string>& rows) override { history = rows; }
    void ShowProgressDialog(const std::string& caption, int64_t totalBytes) override;
    void HideProgressDialog() override { progressVisible = false; }
    void ShowProgressStatus(const std::string& text) override { progressStatus = text; }
    void ShowProgressBar(int percent) override { progressBar = percent; }
    void ShowMessage(const std::string& text, MessageIcon icon, const std::string& detail) override;
    std::string ChooseFile(const std::string& currentPath) override;
    bool RunBootloaderDialog(const std::string& portText) override;
    void ShowHistory(const HistoryTable& table) override;
};
