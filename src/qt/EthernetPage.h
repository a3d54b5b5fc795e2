#pragma once

#include <QWidget>

#include <string>
#include <vector>

class IpAddressEdit;
class QComboBox;

// The page under the "Ethernet" tab: the unit's address and the four most
// recently used addresses.
class EthernetPage : public QWidget {
    Q_OBJECT
public:
    explicit EthernetPage(QWidget* parent = nullptr);

    // Fills the history list with `rows`, blank ones included, none selected.
    void ShowHistory(const std::vector<std::string>& rows);

    IpAddressEdit* AddressControl() const { return addressControl; }
    QComboBox* HistoryList() const { return historyList; }

signals:
    // The operator picked row `index` of the history list.
    void RecentAddressPicked(int index);

private:
    IpAddressEdit* addressControl;
    QComboBox* historyList;
};
