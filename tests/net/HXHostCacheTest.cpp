// The host cache (one lookup per host, shared while in flight, answers and failures
// kept for the run, lookups bounded by the time-out and by the thread limit), the
// down-server rule, and the connect time-out of the socket.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "net/HXHostCache.h"
#include "net/HXHostHealth.h"
#include "net/aghttp.h"
#include "support/HXScriptedResolver.h"
#include "support/HXTestServer.h"

namespace hx::test
{
namespace
{

using namespace std::chrono_literals;
using TState = THostAnswer::TState;

TEST(HXHostCacheTest, OneLookupPerHostSharedWhileInFlightAndKept)
{
    TScriptedResolver resolver;
    resolver.Script("site.example", THostScript::Found({"10.1.2.3"}, 300ms));
    THXHostCache cache(resolver.Resolver());
    std::atomic<int> settled{0};
    cache.SetOnSettled([&] { ++settled; });

    // The first question starts the lookup and does not wait for it.
    EXPECT_EQ(cache.Check("site.example").State, TState::Pending);
    // Sockets asking meanwhile (in any letter case) wait for the same lookup.
    std::vector<std::future<THostLookup>> waiting;
    for (int i = 0; i < 6; ++i)
        waiting.push_back(std::async(std::launch::async, [&] { return cache.Resolve("Site.Example"); }));
    for (auto& answer : waiting)
    {
        const THostLookup lookup = answer.get();
        EXPECT_EQ(lookup.ErrorCode, 0);
        EXPECT_EQ(lookup.Addresses, std::vector<std::string>{"10.1.2.3"});
    }
    const THostAnswer answer = cache.Check("site.example");
    EXPECT_EQ(answer.State, TState::Resolved);
    EXPECT_EQ(cache.Resolve("site.example").Addresses, std::vector<std::string>{"10.1.2.3"});
    EXPECT_EQ(resolver.Lookups("site.example"), 1);
    EXPECT_EQ(cache.Lookups(), 1);
    // The settled handler runs on the lookup thread, just after the answer is out.
    for (int i = 0; i < 200 && settled.load() == 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(settled.load(), 1);

    // An address needs no lookup; a name longer than any DNS name fails without one.
    EXPECT_EQ(cache.Check("127.0.0.1").State, TState::Resolved);
    EXPECT_EQ(cache.Resolve("::1").Addresses, std::vector<std::string>{"::1"});
    EXPECT_EQ(cache.Check(std::string(300, 'a')).State, TState::Failed);
    EXPECT_EQ(resolver.Lookups(), 1);

    // A new run looks up afresh.
    cache.Reset();
    EXPECT_EQ(cache.Resolve("site.example").ErrorCode, 0);
    EXPECT_EQ(resolver.Lookups("site.example"), 2);
}

TEST(HXHostCacheTest, FailuresAreKeptWithTheirTextAndSlowLookupsTimeOut)
{
    TScriptedResolver resolver;
    resolver.Script("gone.example", THostScript::Failing(kSockHostNotFound));
    resolver.Script("slow.example", THostScript::Found({"10.0.0.9"}, 20s, true));
    resolver.Script("fast.example", THostScript::Found({"10.0.0.1"}));
    THXHostCache cache(resolver.Resolver());
    cache.SetTimeOut(300ms);

    EXPECT_EQ(cache.Resolve("gone.example").ErrorCode, kSockHostNotFound);
    for (int i = 0; i < 3; ++i)
    {
        const THostAnswer answer = cache.Check("gone.example");
        EXPECT_EQ(answer.State, TState::Failed);
        EXPECT_EQ(answer.Lookup.ErrorCode, kSockHostNotFound);
        EXPECT_EQ(answer.Text, "[11001] Host not found");
    }
    EXPECT_EQ(resolver.Lookups("gone.example"), 1);

    // A lookup past the time-out fails, and other hosts are answered meanwhile.
    EXPECT_EQ(cache.Check("slow.example").State, TState::Pending);
    EXPECT_EQ(cache.Resolve("fast.example").ErrorCode, 0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(cache.Resolve("slow.example").ErrorCode, kErrTimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_EQ(cache.Check("slow.example").Text, "Operation timed out");
    // Its late answer changes nothing.
    resolver.OpenGate();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(cache.Check("slow.example").State, TState::Failed);
    EXPECT_EQ(resolver.Lookups("slow.example"), 1);
}

TEST(HXHostCacheTest, AtMostTheLimitOfLookupsRunAtOnce)
{
    TScriptedResolver resolver;
    std::vector<std::string> hosts;
    for (int i = 0; i < kMaxLookupThreads + 4; ++i)
    {
        hosts.push_back("h" + std::to_string(i) + ".example");
        resolver.Script(hosts.back(), THostScript::Found({"10.0.0." + std::to_string(i)}, 20s, true));
    }
    THXHostCache cache(resolver.Resolver());
    for (const std::string& host : hosts)
        EXPECT_EQ(cache.Check(host).State, TState::Pending);
    for (int i = 0; i < 100 && resolver.Running() < kMaxLookupThreads; ++i)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(resolver.Running(), kMaxLookupThreads);
    EXPECT_EQ(cache.Lookups(), kMaxLookupThreads);
    // The rest start as the first ones end.
    resolver.OpenGate();
    for (const std::string& host : hosts)
        EXPECT_EQ(cache.Resolve(host).ErrorCode, 0) << host;
    EXPECT_EQ(resolver.Lookups(), static_cast<int>(hosts.size()));
}

TEST(HXHostHealthTest, ThreeFailuresInARowMakeAServerDownAndASuccessClearsTheCount)
{
    THXHostHealth health;
    const std::string server = ServerKey("Refusing.Example", 80);
    EXPECT_EQ(server, "refusing.example:80");
    EXPECT_FALSE(health.Trusted(server));
    EXPECT_EQ(health.ConnectingAllowed(server), 3);

    health.Failed(server, "[10061] Connection refused");
    health.Failed(server, "[10061] Connection refused");
    EXPECT_EQ(health.ConnectingAllowed(server), 1);
    // A success between clears the count and makes the server trusted.
    health.Succeeded(server);
    EXPECT_TRUE(health.Trusted(server));
    EXPECT_EQ(health.FailuresInRow(server), 0);
    EXPECT_GT(health.ConnectingAllowed(server), 16);
    health.Failed(server, "[10061] Connection refused");
    health.Failed(server, "Operation timed out");
    EXPECT_FALSE(health.Down(server));
    EXPECT_FALSE(health.Trusted(server));
    health.Failed(server, "[11001] Host not found");
    std::string text;
    EXPECT_TRUE(health.Down(server, &text));
    EXPECT_EQ(text, "[11001] Host not found");
    EXPECT_EQ(health.ConnectingAllowed(server), 0);
    // Down for the rest of the run, whatever comes after.
    health.Succeeded(server);
    EXPECT_TRUE(health.Down(server));
    EXPECT_EQ(health.Failures(server), 5);
    // Other ports of the host are other servers.
    EXPECT_FALSE(health.Down(ServerKey("refusing.example", 8080)));
    health.Reset();
    EXPECT_FALSE(health.Down(server));

    EXPECT_TRUE(IsUnreachableFailure(kSockConnectionRefused));
    EXPECT_TRUE(IsUnreachableFailure(kSockHostNotFound));
    EXPECT_TRUE(IsUnreachableFailure(kErrSecureChannel));
    EXPECT_FALSE(IsUnreachableFailure(kErrCertificate));
    EXPECT_FALSE(IsUnreachableFailure(kErrCanceled));
    EXPECT_FALSE(IsUnreachableFailure(kSockConnectionReset));
}

TEST(HXHostCacheTest, TheConnectTimeOutBoundsTheSecureHandshakeApartFromTheTransferTimeOut)
{
    // A server that takes the connection and never answers the handshake.
    THXTestServer server([](const TRecordedRequest&) { return TReply().Stall(); });
    std::string url = server.URL("/");
    url.replace(0, 4, "https");
    TagHTTP http;
    http.SetTimeOut(120);
    http.SetConnectTimeOut(1);
    std::vector<int> outcomes;
    http.OnConnectOutcome = [&](TagSocket&, int code, const std::string&) { outcomes.push_back(code); };
    http.SetURL(url);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(http.Get(), ETimedOutError);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_EQ(outcomes, std::vector<int>{kErrTimedOut});
    EXPECT_EQ(http.TimeOut(), 120);
}

} // namespace
} // namespace hx::test
