#pragma once

#include <QWidget>

#include <string>

class AppSettings;
class IpAddressEdit;
class QComboBox;

// The page under the "Ethernet" tab: the unit's address and the four most
// recently used addresses.
class EthernetPage : public QWidget {
    Q_OBJECT
public:
    EthernetPage(AppSettings& settings, QWidget* parent = nullptr);

    void FillRecentAddresses();
    void OnRecentAddressSelected(int index);
    // Takes the address box's address as addressText and shifts it into the
    // history unless it is already there.
    void CommitAddress();
    // Shows `text` in the address box and sets addressText to its dotted form.
    void ShowAddress(const std::string& text);

    std::string addressText;
    IpAddressEdit* AddressControl() const { return addressControl; }
    QComboBox* HistoryList() const { return historyList; }

private:
    AppSettings& settings;
    IpAddressEdit* addressControl;
    QComboBox* historyList;
};
