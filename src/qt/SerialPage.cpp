#include "SerialPage.h"

#include "PortComboBox.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QComboBox* MakeList(QWidget* parent)
{
    auto* list = new QComboBox(parent);
    list->setEditable(false);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return list;
}

} // namespace

SerialPage::SerialPage(QWidget* parent)
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

    connect(portList, &PortComboBox::Opening, this, &SerialPage::PortListOpening);
    // Only the operator's choices count: programmatic selection raises no
    // `activated`, just as it must not reopen the port.
    for (SerialList list : {SerialList::Port, SerialList::Baud, SerialList::Format})
        connect(List(list), &QComboBox::activated, this,
                [this, list](int index) { emit SelectionChanged(list, index); });
}

void SerialPage::ShowItems(SerialList list, const std::vector<std::string>& items, int selected)
{
    QComboBox* box = List(list);
    QStringList texts;
    for (const std::string& item : items)
        texts << QString::fromStdString(item);
    QStringList shown;
    for (int i = 0; i < box->count(); ++i)
        shown << box->itemText(i);
    if (texts != shown) {
        box->clear();
        box->addItems(texts);
    }
    box->setCurrentIndex(selected);
}

QComboBox* SerialPage::List(SerialList list) const
{
    switch (list) {
    case SerialList::Baud: return baudList;
    case SerialList::Format: return formatList;
    case SerialList::Port: break;
    }
    return PortList();
}

QComboBox* SerialPage::PortList() const
{
    return portList;
}
