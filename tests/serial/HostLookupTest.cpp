#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "HostLookup.h"

namespace {

uint16_t PortOf(const addrinfo* address)
{
    return ntohs(reinterpret_cast<const sockaddr_in*>(address->ai_addr)->sin_port);
}

TEST(HostLookupTest, AnAddressIsFoundForTheTcpPortAsked)
{
    HostLookup lookup;
    ASSERT_EQ(lookup.Resolve("127.0.0.1", 4001, 0, 3000), HostLookup::Outcome::Found);
    const addrinfo* address = lookup.Addresses();
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(address->ai_family, AF_INET);
    EXPECT_EQ(address->ai_socktype, SOCK_STREAM);
    EXPECT_EQ(PortOf(address), 4001);
}

TEST(HostLookupTest, AnUnknownNameAndAFailingResolverAreToldApart)
{
    HostLookup unknown([](const std::string&, const std::string&, const addrinfo&, addrinfo**) { return EAI_NONAME; });
    EXPECT_EQ(unknown.Resolve("ds-line3", 4001, 0, 3000), HostLookup::Outcome::NoSuchHost);
    EXPECT_EQ(unknown.Addresses(), nullptr);
    HostLookup broken([](const std::string&, const std::string&, const addrinfo&, addrinfo**) { return EAI_MEMORY; });
    EXPECT_EQ(broken.Resolve("ds-line3", 4001, 0, 3000), HostLookup::Outcome::Failed);
}

// A name server that never answers: the lookup is given up on at its limit,
// and what the resolver finds later is freed without the lookup (the sanitizers
// see a leak or a use after free).
TEST(HostLookupTest, ALookupWithoutAnAnswerIsGivenUpAndEndsOnItsOwn)
{
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    auto ended = std::make_shared<std::atomic<bool>>(false);
    {
        HostLookup lookup([answered, ended](const std::string&, const std::string& service, const addrinfo& hints,
                                            addrinfo** found) {
            answered.wait();
            const int code = ::getaddrinfo("127.0.0.1", service.c_str(), &hints, found);
            ended->store(true);
            return code;
        });
        EXPECT_EQ(lookup.Resolve("ds-line3", 4001, 0, 50), HostLookup::Outcome::TimedOut);
        EXPECT_EQ(lookup.Addresses(), nullptr);
    }
    answer.set_value();
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ended->load() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(ended->load());
}

} // namespace
