#include "RecordingView.h"

#include "HistoryTable.h"

std::string RecordingView::Selected(SerialList list) const
{
    const auto shown = lists.find(list);
    if (shown == lists.end() || shown->second.selected < 0 ||
        shown->second.selected >= static_cast<int>(shown->second.items.size()))
        return std::string();
    return shown->second.items[static_cast<size_t>(shown->second.selected)];
}

void RecordingView::ShowDownloadButton(bool enabled, const std::string& text)
{
    downloadEnabled = enabled;
    downloadText = text;
}

void RecordingView::ShowPortToggle(bool pressed, const std::string& text)
{
    togglePressed = pressed;
    toggleText = text;
}

void RecordingView::EnablePages(bool serialEnabled, bool ethernetEnabled)
{
    serialPageEnabled = serialEnabled;
    ethernetPageEnabled = ethernetEnabled;
}

void RecordingView::AppendResults(const uint8_t* bytes, size_t count, bool coloured, uint32_t colour)
{
    const std::string text(reinterpret_cast<const char*>(bytes), count);
    results += text;
    if (coloured)
        colouredResults.emplace_back(text, colour);
}

void RecordingView::ShowSerialList(SerialList list, const std::vector<std::string>& items, int selected)
{
    lists[list] = SerialListShown{items, selected};
}

void RecordingView::ShowProgressDialog(const std::string& caption, int64_t totalBytes)
{
    progressVisible = true;
    progressCaption = caption;
    progressStatus.clear();
    progressTotal = totalBytes;
}

void RecordingView::ShowMessage(const std::string& text, MessageIcon, const std::string& detail)
{
    messages.push_back(detail.empty() ? text : text + "\n--\n" + detail);
}

std::string RecordingView::ChooseFile(const std::string& currentPath)
{
    return chooseFile ? chooseFile(currentPath) : std::string();
}

bool RecordingView::RunBootloaderDialog(const std::string& portText)
{
    return bootloaderDialog ? bootloaderDialog(portText) : false;
}

void RecordingView::ShowHistory(const HistoryTable& table)
{
    std::vector<std::vector<std::string>> rows;
    for (size_t i = 0; i < table.RowCount(); ++i)
        rows.push_back(table.Row(i));
    histories.push_back(std::move(rows));
    historyCopy = table.CopyText({});
}
