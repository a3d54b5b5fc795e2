#include "HostLookup.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

struct HostLookup::Shared {
    ~Shared()
    {
        if (found != nullptr)
            ::freeaddrinfo(found);
    }

    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    int code = 0;
    addrinfo* found = nullptr;
};

HostLookup::HostLookup(Resolver resolver) : resolver(std::move(resolver))
{
    if (!this->resolver)
        this->resolver = [](const std::string& host, const std::string& service, const addrinfo& hints,
                            addrinfo** found) { return ::getaddrinfo(host.c_str(), service.c_str(), &hints, found); };
}

HostLookup::~HostLookup() = default;

HostLookup::Outcome HostLookup::Resolve(const std::string& host, uint16_t port, int flags, int timeoutMs)
{
    shared = std::make_shared<Shared>();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags;
    try {
        // The thread keeps its own share: whoever lets go last frees the answer.
        std::thread([state = shared, lookup = resolver, host, service = std::to_string(port), hints] {
#ifdef _WIN32
            // Its own hold on Windows Sockets: the connection that asked may
            // give up and let go of its hold while this still runs.
            WSADATA data;
            const bool started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
#endif
            addrinfo* found = nullptr;
            const int code = lookup(host, service, hints, &found);
#ifdef _WIN32
            if (started)
                ::WSACleanup();
#endif
            std::lock_guard<std::mutex> guard(state->mutex);
            state->found = found;
            state->code = code;
            state->done = true;
            state->ended.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        shared.reset();
        return Outcome::Failed;
    }

    std::unique_lock<std::mutex> guard(shared->mutex);
    if (!shared->ended.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return shared->done; })) {
        guard.unlock();
        shared.reset();
        return Outcome::TimedOut;
    }
    const int code = shared->code;
    if (code == 0 && shared->found != nullptr)
        return Outcome::Found;
    guard.unlock();
    shared.reset();
#ifdef _WIN32
    return code == WSAHOST_NOT_FOUND || code == WSANO_DATA ? Outcome::NoSuchHost : Outcome::Failed;
#else
    return code == EAI_NONAME || code == EAI_NODATA || code == EAI_FAIL ? Outcome::NoSuchHost : Outcome::Failed;
#endif
}

const addrinfo* HostLookup::Addresses() const
{
    if (!shared)
        return nullptr;
    std::lock_guard<std::mutex> guard(shared->mutex);
    return shared->done ? shared->found : nullptr;
}
