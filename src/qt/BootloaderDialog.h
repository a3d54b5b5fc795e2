#pragma once

#include "BootloaderInduction.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>

class SerialPort;

// "Entering Bootloader": opens the selected port itself at 115200 8N1 and runs
// the induction steps until the bootloader answers or the operator cancels.
class BootloaderDialog : public QDialog {
    Q_OBJECT
public:
    // showReceived puts every byte the terminal sends into the results box.
    using ReceivedBytes = std::function<void(const uint8_t* bytes, int count)>;

    BootloaderDialog(const QString& portName, QWidget* mainWindow, ReceivedBytes showReceived);
    ~BootloaderDialog() override;

    // Accepted when the terminal is in its bootloader; Rejected otherwise,
    // also when the port could not be opened (then after a message box).
    int exec() override;

    bool HasPort() const { return port != nullptr; }

    // Pause between two "IIIII" rounds, in which the window stays responsive.
    static constexpr int InducePauseMs = 40;

protected:
    void reject() override; // Cancel, Esc and the close box

private:
    enum class Step { Probe, Induce, Confirm };
    void Schedule(Step step, int delayMs);
    void RunStep(Step step);
    void Succeed();

    QWidget* mainWindow;
    std::unique_ptr<SerialPort> port;
    BootloaderInduction induction;
};
