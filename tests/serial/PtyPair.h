#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A pseudo-terminal whose master side the test holds, standing in for the
// far end of a serial line. The port under test opens SlavePath().
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool IsValid() const { return master >= 0; }
    const std::string& SlavePath() const { return slavePath; }
    int MasterFd() const { return master; }

    // Sends bytes from the far end.
    void Send(const std::vector<uint8_t>& bytes);
    // Collects exactly count bytes from the far end, giving up after timeoutMs.
    std::vector<uint8_t> Receive(size_t count, int timeoutMs = 5000);
    // Collects whatever arrives until nothing more has come for quietMs.
    std::vector<uint8_t> ReceiveUntilQuiet(int quietMs = 200);
    // The far end goes away.
    void CloseMaster();

private:
    int master = -1;
    std::string slavePath;
};
