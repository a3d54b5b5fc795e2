#pragma once

#include <cstdint>
#include <string>

// What the far end (Vennix) has set on the line, as far as a pseudo-terminal
// keeps it: the rate and the stop bits survive, parity and byte size do not.
struct LineSettings {
    uint32_t rate = 0;
    bool twoStopBits = false;
    bool xonXoff = false; // IXON: the far end stops sending on XOFF
    bool xoffSent = false; // IXOFF: the far end sends XOFF when its input fills
    bool rtsCts = false;  // CRTSCTS: the RTS/CTS handshake
};

// A pseudo-terminal pair seen from the unit's side: the master, which the unit
// reads and writes, and a descriptor of its own on the slave, which keeps the
// line up while Vennix closes and reopens the port and lets the unit read the
// settings Vennix applies. That descriptor is never read (the data on the slave
// is Vennix's) and never locked.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The line starts raw at 115200 8N1.
    bool Open(std::string* error);
    void Close();
    bool IsOpen() const { return master >= 0; }

    int MasterFd() const { return master; }
    const std::string& SlavePath() const { return slavePath; }
    bool ReadLineSettings(LineSettings* settings) const;

private:
    int master = -1;
    int ownSlave = -1;
    std::string slavePath;
};
