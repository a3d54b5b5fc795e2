#pragma once

#include <QWidget>

#include <string>
#include <vector>

class PortComboBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// The page under the "Serial" tab: port, baud rate and data format for the
// console port, the string to transmit, and bootloader induction.
class SerialPage : public QWidget {
    Q_OBJECT
public:
    // `ports` are the serial devices present now, as "COMn (device)" texts.
    explicit SerialPage(const std::vector<std::string>& ports, QWidget* parent = nullptr);

    static const std::vector<std::string>& BaudRates();
    static const std::vector<std::string>& DataFormats();

    void ReadControls();
    void WriteControls();

    // Replaces the port list's items with `ports` (the devices present now),
    // keeping the selected port when it is among them and selecting none when
    // it is gone. Raises no SettingsChanged: the open port is left as it is.
    void RefreshPorts(const std::vector<std::string>& ports);

    // Selects the item for a stored text: an item that equals it (for ports: whose
    // COM name equals the stored one's), else the first item, searching from the
    // second one round to the first, that begins with it, ignoring case. Nothing
    // changes when no item matches.
    static void SelectStored(QComboBox* list, const QString& stored, bool comparePortNames);

    QString PortText() const;
    QString BaudText() const;
    QString FormatText() const;

    int baudIndex = -1;
    int formatIndex = -1;

    QComboBox* PortList() const;
    QComboBox* BaudList() const { return baudList; }
    QComboBox* FormatList() const { return formatList; }
    QLineEdit* TransmitText() const { return transmitText; }
    QPushButton* XmitButton() const { return xmitButton; }
    QPushButton* InduceButton() const { return induceButton; }

signals:
    // The operator changed the port, baud rate or data format.
    void SettingsChanged();
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
