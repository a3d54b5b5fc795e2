#include "EthernetPage.h"

#include "IpAddressEdit.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

EthernetPage::EthernetPage(QWidget* parent)
    : QWidget(parent), addressControl(new IpAddressEdit(this)), historyList(new QComboBox(this))
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

    connect(historyList, &QComboBox::activated, this, &EthernetPage::RecentAddressPicked);
}

void EthernetPage::ShowHistory(const std::vector<std::string>& rows)
{
    historyList->clear();
    for (const std::string& row : rows)
        historyList->addItem(QString::fromStdString(row));
    historyList->setCurrentIndex(-1);
}
