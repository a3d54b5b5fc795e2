#pragma once

#include <QComboBox>

// The serial page's port list: says when the operator is about to open it, so
// the list can be brought up to date with the adapters plugged in right now.
class PortComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit PortComboBox(QWidget* parent = nullptr);

    void showPopup() override;

signals:
    // Before the list opens; a handler may replace the items.
    void Opening();
};
