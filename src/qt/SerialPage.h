#pragma once

#include "SerialList.h"

#include <QWidget>

#include <string>
#include <vector>

class PortComboBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// The page under the "Serial" tab: port, baud rate and data format for the
// console port, the string to transmit, and bootloader induction. What the
// lists hold and select is the window's to say (SerialPageState).
class SerialPage : public QWidget {
    Q_OBJECT
public:
    explicit SerialPage(QWidget* parent = nullptr);

    // Replaces a list's items and selects `selected` (-1: none), raising no
    // SelectionChanged.
    void ShowItems(SerialList list, const std::vector<std::string>& items, int selected);

    QComboBox* List(SerialList list) const;
    QComboBox* PortList() const;
    QComboBox* BaudList() const { return baudList; }
    QComboBox* FormatList() const { return formatList; }
    QLineEdit* TransmitText() const { return transmitText; }
    QPushButton* XmitButton() const { return xmitButton; }
    QPushButton* InduceButton() const { return induceButton; }

signals:
    // The operator changed the port, baud rate or data format.
    void SelectionChanged(SerialList list, int index);
    // The operator is opening the port list.
    void PortListOpening();

private:
    PortComboBox* portList;
    QComboBox* baudList;
    QComboBox* formatList;
    QLineEdit* transmitText;
    QPushButton* xmitButton;
    QPushButton* induceButton;
};
