#include "SerialMessages.h"

std::string SerialMessages::ConnectionLost(int portNumber)
{
    return ConnectionLost("COM" + std::to_string(portNumber));
}

std::string SerialMessages::ConnectionLost(const std::string& portName)
{
    return "The connection to " + portName +
           " was lost.  Please check that the serial adapter is plugged in and the cable to the terminal is "
           "connected, then try again.";
}

std::string SerialMessages::NotReopened(int portNumber)
{
    return "COM" + std::to_string(portNumber) +
           " could not be opened again after the terminal was reset, so the serial port is closed.  Please "
           "check that the serial adapter is plugged in and that no other program is using the port, then "
           "open it again.";
}
