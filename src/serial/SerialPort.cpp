#include "SerialPort.h"

// Placeholder until the driver lands: every open fails.
SerialPort::SerialPort() = default;
SerialPort::~SerialPort() = default;
bool SerialPort::Open(const std::string&, uint32_t, int, int, int, int, FlowControl) { return false; }
bool SerialPort::OpenByNumber(int, uint32_t, int, int, int, int, FlowControl) { return false; }
void SerialPort::Close() {}
bool SerialPort::SetNotifyWindow(NotifyTarget*, uint32_t) { return false; }
void SerialPort::SetNotifications(uint32_t, int) {}
bool SerialPort::SetFlowControl(FlowControl) { return false; }
void SerialPort::FlushReceived() {}
int SerialPort::Read(uint8_t*, int, int) { return 0; }
int SerialPort::Write(const uint8_t*, uint32_t, bool) { return 1; }
int SerialPort::PortNumber() const { return 0; }
bool SerialPort::HasFailed() const { return true; }
void SerialPort::AbortWrite() {}
bool SerialPort::WaitUntilSent(int) { return true; }
SerialOpenError SerialPort::LastOpenError() const { return SerialOpenError::Other; }
