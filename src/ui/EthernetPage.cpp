#include "EthernetPage.h"

#include "AppSettings.h"
#include "IpAddressEdit.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

namespace {

std::string Dotted(const std::array<uint8_t, 4>& bytes)
{
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "." +
           std::to_string(bytes[3]);
}

} // namespace

EthernetPage::EthernetPage(AppSettings& settings, QWidget* parent)
    : QWidget(parent), settings(settings), addressControl(new IpAddressEdit(this)), historyList(new QComboBox(this))
{
    auto* layout = new QVBoxLayout(this);
    auto* addressLabel = new QLabel("&IP Address of unit", this);
    addressLabel->setBuddy(addressControl);
    layout->addWidget(addressLabel);
    layout->addWidget(addressControl);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    auto* historyLabel = new QLabel("Recently &used IP addresses", this);
    historyLabel->setBuddy(historyList);
    layout->addWidget(historyLabel);
    historyList->setEditable(false);
    historyList->setMaxVisibleItems(4);
    layout->addWidget(historyList);
    layout->addStretch(1);

    connect(historyList, &QComboBox::activated, this, &EthernetPage::OnRecentAddressSelected);
    FillRecentAddresses();
}

void EthernetPage::FillRecentAddresses()
{
    historyList->clear();
    for (const std::string* entry : {&settings.ip1, &settings.ip2, &settings.ip3, &settings.ip4})
        historyList->addItem(QString::fromStdString(*entry));
    historyList->setCurrentIndex(-1);
}

void EthernetPage::OnRecentAddressSelected(int index)
{
    if (index < 0)
        return;
    std::string text = historyList->itemText(index).toStdString();
    addressControl->SetAddress(AppSettings::ParseDottedAddress(text));
    addressText = text;
}

void EthernetPage::CommitAddress()
{
    addressText = Dotted(addressControl->Address());
    for (const std::string* entry : {&settings.ip1, &settings.ip2, &settings.ip3, &settings.ip4})
        if (*entry == addressText)
            return;
    settings.ip4 = settings.ip3;
    settings.ip3 = settings.ip2;
    settings.ip2 = settings.ip1;
    settings.ip1 = addressText;
    FillRecentAddresses();
}

void EthernetPage::ShowAddress(const std::string& text)
{
    auto bytes = AppSettings::ParseDottedAddress(text);
    addressControl->SetAddress(bytes);
    addressText = Dotted(bytes);
}
