#include "TftpServer.h"

#include <ostream>

// Placeholder until the server lands.
struct TftpServer::State {
    TftpServerOptions options;
};

TftpServer::TftpServer(TftpServerOptions options, Log) : state(std::make_unique<State>())
{
    state->options = std::move(options);
}
TftpServer::~TftpServer() = default;
bool TftpServer::Start(std::string* error)
{
    if (error)
        *error = "the TFTP server is not built yet";
    return false;
}
void TftpServer::Stop() {}
uint16_t TftpServer::BoundPort() const { return 0; }
std::vector<TftpReceivedFile> TftpServer::ReceivedFiles() const { return {}; }
void TftpServer::PrintHelp(std::ostream&) {}
bool TftpServer::ParseOption(const std::string&, TftpServerOptions&, std::string*) { return false; }
