#include "SerialPage.h"

#include "PortComboBox.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <algorithm>
#include <cctype>

namespace {

QString ComName(const QString& text)
{
    static const QRegularExpression pattern("^(COM\\d+)", QRegularExpression::CaseInsensitiveOption);
    auto match = pattern.match(text.trimmed());
    return match.hasMatch() ? match.captured(1).toUpper() : QString();
}

bool LessIgnoringCase(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

// The list keeps itself in case-insensitive alphabetical order.
QStringList SortedPorts(const std::vector<std::string>& ports)
{
    std::vector<std::string> sorted = ports;
    std::stable_sort(sorted.begin(), sorted.end(), LessIgnoringCase);
    QStringList items;
    for (const auto& port : sorted)
        items << QString::fromStdString(port);
    return items;
}

QComboBox* MakeList(QWidget* parent)
{
    auto* list = new QComboBox(parent);
    list->setEditable(false);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return list;
}

} // namespace

const std::vector<std::string>& SerialPage::BaudRates()
{
    static const std::vector<std::string> rates = {"115200", "57600", "38400", "19200", "14400",
                                                   "9600",   "4800",  "2400",  "1200",  "600"};
    return rates;
}

const std::vector<std::string>& SerialPage::DataFormats()
{
    static const std::vector<std::string> formats = {"8n1", "8n2", "8o1", "8o2", "8e1", "8e2"};
    return formats;
}

SerialPage::SerialPage(const std::vector<std::string>& ports, QWidget* parent)
    : QWidget(parent), portList(new PortComboBox(this)), baudList(MakeList(this)), formatList(MakeList(this)),
      transmitText(new QLineEdit(this)), xmitButton(new QPushButton("&Xmit", this)),
      induceButton(new QPushButton("Induce\nBootloader", this))
{
    auto* grid = new QGridLayout();
    auto addRow = [&](int row, const char* label, QComboBox* list) {
        auto* text = new QLabel(label, this);
        text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        text->setBuddy(list);
        grid->addWidget(text, row, 0);
        grid->addWidget(list, row, 1);
    };
    addRow(0, "Por&t", portList);
    addRow(1, "Ba&ud rate", baudList);
    addRow(2, "D&ata Format", formatList);
    grid->setColumnStretch(1, 1);

    auto* sendGroup = new QGroupBox("Send string over serial connection", this);
    auto* sendRow = new QHBoxLayout(sendGroup);
    sendRow->setContentsMargins(4, 2, 4, 4);
    sendRow->addWidget(transmitText, 1);
    xmitButton->setAutoDefault(false);
    sendRow->addWidget(xmitButton);

    induceButton->setAutoDefault(false);
    induceButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(sendGroup);
    layout->addWidget(induceButton, 0, Qt::AlignLeft);
    layout->addStretch(1);

    for (const auto& rate : BaudRates())
        baudList->addItem(QString::fromStdString(rate));
    for (const auto& format : DataFormats())
        formatList->addItem(QString::fromStdString(format));
    WriteControls();

    portList->addItems(SortedPorts(ports));
    portList->setCurrentIndex(-1);
    connect(portList, &PortComboBox::Opening, this, &SerialPage::PortListOpening);

    // Only the operator's choices count: programmatic selection raises no
    // `activated`, just as it must not reopen the port.
    for (QComboBox* list : {static_cast<QComboBox*>(portList), baudList, formatList})
        connect(list, &QComboBox::activated, this, &SerialPage::SettingsChanged);
}

void SerialPage::ReadControls()
{
    baudIndex = baudList->currentIndex();
    formatIndex = formatList->currentIndex();
}

void SerialPage::WriteControls()
{
    baudList->setCurrentIndex(baudIndex);
    formatList->setCurrentIndex(formatIndex);
}

void SerialPage::RefreshPorts(const std::vector<std::string>& ports)
{
    const QStringList items = SortedPorts(ports);
    QStringList shown;
    for (int i = 0; i < portList->count(); ++i)
        shown << portList->itemText(i);
    if (items == shown)
        return;
    // The selection is a port, not a row: the same COM name, even if its entry
    // reads differently now (an adapter described, an alias moved).
    const QString selected = ComName(portList->currentText());
    portList->clear();
    portList->addItems(items);
    int keep = -1;
    for (int i = 0; i < items.size() && !selected.isEmpty(); ++i) {
        if (ComName(items[i]) == selected) {
            keep = i;
            break;
        }
    }
    portList->setCurrentIndex(keep);
}

void SerialPage::SelectStored(QComboBox* list, const QString& stored, bool comparePortNames)
{
    const int count = list->count();
    if (count == 0)
        return;
    // An exact match first, so that a stored COM1 is not taken for COM10.
    for (int i = 0; i < count; ++i) {
        QString item = list->itemText(i);
        bool equal = comparePortNames ? (!ComName(stored).isEmpty() && ComName(item) == ComName(stored))
                                      : item.compare(stored, Qt::CaseInsensitive) == 0;
        if (equal) {
            list->setCurrentIndex(i);
            return;
        }
    }
    for (int step = 1; step <= count; ++step) {
        int i = step % count;
        if (list->itemText(i).startsWith(stored, Qt::CaseInsensitive)) {
            list->setCurrentIndex(i);
            return;
        }
    }
}

QComboBox* SerialPage::PortList() const
{
    return portList;
}

QString SerialPage::PortText() const
{
    return portList->currentText();
}

QString SerialPage::BaudText() const
{
    return baudList->currentText();
}

QString SerialPage::FormatText() const
{
    return formatList->currentText();
}
