#pragma once

#include <QWidget>

#include <array>
#include <cstdint>

class QLineEdit;

// Four 0..255 fields for an IPv4 address. Typing a dot, or a third digit, moves
// to the next field, as operators expect of an address box.
class IpAddressEdit : public QWidget {
    Q_OBJECT
public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    // Empty fields read as 0.
    std::array<uint8_t, 4> Address() const;
    void SetAddress(const std::array<uint8_t, 4>& bytes);
    QLineEdit* Field(int index) const { return fields[index]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::array<QLineEdit*, 4> fields{};
};
