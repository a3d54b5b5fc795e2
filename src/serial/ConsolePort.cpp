#include "ConsolePort.h"

#include "ComPortNames.h"
#include "SerialMessages.h"

#include <cctype>
#include <cstdlib>

int ConsolePort::Settings::PortNumber() const
{
    return ComPortNames::ParseNumber(portText);
}

uint32_t ConsolePort::Settings::BaudRate() const
{
    return static_cast<uint32_t>(std::strtoul(baudText.c_str(), nullptr, 10));
}

int ConsolePort::Settings::Parity() const
{
    if (formatText.size() < 2)
        return NoParity;
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(formatText[1])));
    return letter == 'e' ? EvenParity : letter == 'o' ? OddParity : NoParity;
}

int ConsolePort::Settings::StopBits() const
{
    return formatText.size() >= 3 && formatText[2] == '2' ? TwoStopBits : OneStopBit;
}

ConsolePort::ConsolePort(NotifyTarget* notifyTarget) : notifyTarget(notifyTarget) {}

ConsolePort::~ConsolePort()
{
    Close();
}

bool ConsolePort::Open(const Settings& wanted)
{
    Close();
    auto opened = std::make_shared<SerialPort>();
    if (!opened->OpenByNumber(wanted.PortNumber(), wanted.BaudRate(), 0, wanted.Parity(), wanted.StopBits(), 8,
                              FlowControl::None)) {
        lastOpenError = opened->LastOpenError();
        lastOpenDetail = opened->LastOpenDetail();
        return false;
    }
    lastOpenError = SerialOpenError::None;
    lastOpenDetail.clear();
    port = std::move(opened);
    portText = wanted.portText;
    port->SetNotifyWindow(notifyTarget, NotifyReceived);
    port->SetNotifications(NotifyReceived, 1);
    return true;
}

void ConsolePort::Close()
{
    lent = false;
    if (!port)
        return;
    // A worker that has just called Finish may still hold the object for a
    // moment; the device itself must be free for a reopen right after.
    port->Close();
    port.reset();
}

int ConsolePort::PortNumber() const
{
    return port ? port->PortNumber() : 0;
}

std::string ConsolePort::ToggleText() const
{
    if (!port)
        return std::string();
    const SerialLineSettings line = port->AppliedLine();
    std::string format = std::to_string(line.byteSize);
    switch (line.parity) {
    case OddParity: format += 'o'; break;
    case EvenParity: format += 'e'; break;
    case 3: format += 'm'; break;
    case 4: format += 's'; break;
    default: format += 'n'; break;
    }
    format += line.stopBits == TwoStopBits ? "2" : line.stopBits == OneAndHalfStopBits ? "1.5" : "1";
    // The port and its device, without an adapter's description ("COM33
    // (ttyUSB0, FT232R USB UART)"), which would make the button as wide as the window.
    std::string shown = portText;
    if (const size_t comma = shown.find(", "); comma != std::string::npos && shown.back() == ')')
        shown = shown.substr(0, comma) + ")";
    std::string text = "&Port " + shown + " open\r\n" + std::to_string(line.baudRate) + ", " + format;
    if (line.flow == static_cast<int32_t>(FlowControl::XonXoff))
        text += ", Xon/Xoff";
    else if (line.flow == static_cast<int32_t>(FlowControl::RtsCts))
        text += ", RTS/CTS";
    return text;
}

bool ConsolePort::RunsAs(const Settings& wanted) const
{
    if (!port || !port->IsOpen() || port->HasFailed() || port->PortNumber() != wanted.PortNumber())
        return false;
    const SerialLineSettings line = port->AppliedLine();
    return line.baudRate == wanted.BaudRate() && line.parity == wanted.Parity() &&
           line.stopBits == wanted.StopBits() && line.byteSize == 8 &&
           line.flow == static_cast<int32_t>(FlowControl::None);
}

void ConsolePort::LendToWorker()
{
    lent = port != nullptr;
    if (lent)
        armingsWhenLent = port->ReceiveArmCount();
}

void ConsolePort::TakeBack()
{
    lent = false;
    if (port && port->IsOpen()) {
        port->SetNotifyWindow(notifyTarget, NotifyReceived);
        port->SetNotifications(NotifyReceived, 1);
    }
}

int ConsolePort::ReadForDisplay(uint8_t* buffer, int maxCount)
{
    if (!port)
        return 0;
    if (lent) {
        // Until the worker arms notifications for its transfer it reads the
        // loaders' replies itself; a second reader would steal them.
        if (port->ReceiveArmCount() == armingsWhenLent)
            return 0;
        lent = false;
    }
    port->SetNotifications(NotifyReceived, 1);
    return port->Read(buffer, maxCount, 0);
}

uint32_t ConsolePort::Send(const std::vector<uint8_t>& bytes, int timeoutMs)
{
    if (!port || bytes.empty() || port->HasFailed())
        return 0;
    return port->WriteWithin(bytes.data(), static_cast<uint32_t>(bytes.size()), timeoutMs);
}

ConsolePort::Loss ConsolePort::CheckLoss() const
{
    if (!port)
        return Loss::None;
    if (port->HasFailed())
        return Loss::DeviceLost;
    if (!port->IsOpen())
        return Loss::NotReopened;
    return Loss::None;
}

std::string ConsolePort::LossText(Loss loss) const
{
    switch (loss) {
    case Loss::DeviceLost: return SerialMessages::ConnectionLost(PortNumber());
    case Loss::NotReopened: return SerialMessages::NotReopened(PortNumber());
    case Loss::None: break;
    }
    return std::string();
}
