#include "net/agsocket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/HXScriptedResolver.h"
#include "support/HXTestServer.h"

namespace hx
{
namespace
{

using namespace std::chrono_literals;
using test::THostScript;
using test::THXTestServer;
using test::TReply;
using test::TScriptedResolver;

using TClock = std::chrono::steady_clock;

// Everything a socket reports, in order: "Open", "HostFound", ..., "Error:<message>".
class TEventLog
{
public:
    void Attach(TagSocket& socket)
    {
        socket.OnOpen = [this](TagSocket&) { Add("Open"); };
        socket.OnHostFound = [this](TagSocket&) { Add("HostFound"); };
        socket.OnServiceFound = [this](TagSocket&) { Add("ServiceFound"); };
        socket.OnConnected = [this](TagSocket&) { Add("Connected"); };
        socket.OnClosing = [this](TagSocket&) { Add("Closing"); };
        socket.OnClosed = [this](TagSocket&) { Add("Closed"); };
        socket.OnCancel = [this](TagSocket&) { Add("Cancel"); };
        socket.OnError = [this](TagSocket&, std::string& message) { Add("Error:" + message); };
        socket.OnProgress = [this](TagSocket&, int perc, std::int64_t transferred)
        {
            const std::lock_guard lock(m_mutex);
            m_progress.emplace_back(perc, transferred);
        };
    }
    void Add(std::string event)
    {
        const std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }
    std::vector<std::string> Events() const
    {
        const std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::vector<std::pair<int, std::int64_t>> Progress() const
    {
        const std::lock_guard lock(m_mutex);
        return m_progress;
    }
    void Clear()
    {
        const std::lock_guard lock(m_mutex);
        m_events.clear();
        m_progress.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
    std::vector<std::pair<int, std::int64_t>> m_progress;
};

// A port on 127.0.0.1 that refuses connections: bound, never listening, held for the test.
class TRefusingPort
{
public:
    TRefusingPort()
    {
        m_handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        EXPECT_EQ(::bind(m_handle, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        EXPECT_EQ(::getsockname(m_handle, reinterpret_cast<sockaddr*>(&address), &length), 0);
        m_port = ntohs(address.sin_port);
    }
    ~TRefusingPort() { ::close(m_handle); }
    TRefusingPort(const TRefusingPort&) = delete;
    TRefusingPort& operator=(const TRefusingPort&) = delete;
    std::uint16_t Port() const { return m_port; }

private:
    int m_handle = -1;
    std::uint16_t m_port = 0;
};

// A resolver that holds every lookup until released, so a test can act while one runs.
class TBlockingResolver
{
public:
    THostResolver Resolver()
    {
        return [this](const std::string& host)
        {
            std::unique_lock lock(m_mutex);
            m_asked.push_back(host);
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_released; });
            ++m_finished;
            m_changed.notify_all();
            return THostLookup{0, {"127.0.0.1"}};
        };
    }
    void Release()
    {
        const std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }
    // Waits until `count` lookups have returned, so no lookup thread outlives the test.
    bool WaitFinished(int count)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return m_finished >= count; });
    }
    bool WaitAsked()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return !m_asked.empty(); });
    }
    std::vector<std::string> Asked()
    {
        const std::lock_guard lock(m_mutex);
        return m_asked;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_asked;
    bool m_released = false;
    int m_finished = 0;
};

template <typename Exception, typename Action>
Exception CatchFrom(Action&& action)
{
    try
    {
        action();
    }
    catch (const Exception& error)
    {
        return error;
    }
    ADD_FAILURE() << "no exception of the expected type";
    return Exception(0, "none");
}

ETimedOutError CatchTimeOut(const std::function<void()>& action)
{
    try
    {
        action();
    }
    catch (const ETimedOutError& error)
    {
        return error;
    }
    ADD_FAILURE() << "no time-out";
    return ETimedOutError("none");
}

ECanceledError CatchCancel(const std::function<void()>& action)
{
    try
    {
        action();
    }
    catch (const ECanceledError& error)
    {
        return error;
    }
    ADD_FAILURE() << "no cancel";
    return ECanceledError("none");
}

double SecondsSince(TClock::time_point start)
{
    return std::chrono::duration<double>(TClock::now() - start).count();
}

void Connect(TagSocket& socket, const std::string& server)
{
    socket.SetServer(server);
    socket.ResetState();
    socket.Open();
    socket.Connect();
}

void Send(TagSocket& socket, const std::string& bytes)
{
    TByteStream request(bytes);
    socket.SendStream(request);
}

// Opens a socket whose address is IPv6. A machine without IPv6 refuses the socket
// itself (10047); address and port are settled before that.
void OpenAllowingNoIPv6(TagSocket& socket)
{
    try
    {
        socket.Open();
    }
    catch (const ESocketError& error)
    {
        EXPECT_EQ(error.Code(), 10047) << error.what();
    }
}

const std::string kRequest = "GET /x HTTP/1.0\r\nHost: here\r\n\r\n";

TEST(TagSocketText, CodesReadAsTheirMessages)
{
    EXPECT_EQ(SocketErrorText(10061), "[10061] Connection refused");
    EXPECT_EQ(SocketErrorText(10000), "[0] No Error");
    EXPECT_EQ(SocketErrorText(10013), "[10013] Permission denied.");
    EXPECT_EQ(SocketErrorText(11001), "[11001] Host not found");
    EXPECT_EQ(SocketErrorText(57000), "Operation timed out");
    EXPECT_EQ(SocketErrorText(57008), "You have to connect to the server first");
    EXPECT_EQ(SocketErrorText(12345), "Error #12345");
    EXPECT_EQ(SocketErrorText(10001), "Error #10001");

    EXPECT_EQ(SocketCodeFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(SocketCodeFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(SocketCodeFromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(SocketCodeFromLookup(EAI_NONAME, 0), 11001);
    EXPECT_EQ(SocketCodeFromLookup(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(SocketCodeFromLookup(EAI_SYSTEM, ECONNREFUSED), 10061);

    // The error path: OnError sees the message first and may change it; 0 is no error.
    TagSocket socket;
    std::vector<std::string> seen;
    socket.OnError = [&](TagSocket&, std::string& message)
    {
        seen.push_back(message);
        message += " (while testing)";
    };
    EXPECT_NO_THROW(socket.SocketError(0));
    const auto error = CatchFrom<ESocketError>([&] { socket.SocketError(99999); });
    EXPECT_EQ(error.Code(), 99999);
    EXPECT_STREQ(error.what(), "Error #99999 (while testing)");
    EXPECT_EQ(seen, std::vector<std::string>{"Error #99999"});

    EXPECT_EQ(socket.ReplyCode("250 ok"), 250);
    EXPECT_EQ(socket.ReplyCode("HTTP/1.0 200 OK"), -1);
    EXPECT_EQ(socket.ReplyCode(""), -1);
    EXPECT_EQ(socket.ReplyCode("42"), 42);
}

TEST(TagSocket, ExchangeWithTheLocalServer)
{
    THXTestServer server({TReply::Raw("HTTP/1.0 200 OK\r\n250 ready\r\n\r\nbody bytes")});
    TagSocket socket;
    TEventLog log;
    log.Attach(socket);
    socket.SetService("http");

    Connect(socket, server.HostPort());
    EXPECT_EQ(socket.Address(), "127.0.0.1");
    EXPECT_EQ(socket.Port(), server.Port());
    EXPECT_GE(socket.Handle(), 0);
    EXPECT_FALSE(socket.LocalHost().empty());
    Send(socket, kRequest);

    std::string line;
    EXPECT_EQ(socket.ReadLine(line), -1);
    EXPECT_EQ(line, "HTTP/1.0 200 OK");
    EXPECT_EQ(socket.ReadLine(line), 250);
    EXPECT_EQ(line, "250 ready");
    EXPECT_EQ(socket.ReadLine(line), -1);
    EXPECT_EQ(line, "");
    TByteStream body;
    socket.ReadData(body, -1);
    EXPECT_EQ(body.Bytes(), "body bytes");
    // Nothing more: the server has closed, so a further line is empty.
    EXPECT_EQ(socket.ReadLine(line), -1);
    EXPECT_EQ(line, "");
    socket.Close();
    EXPECT_EQ(socket.Handle(), -1);
    socket.Close(); // a second close does nothing

    ASSERT_TRUE(server.WaitForRequests(1, 5s));
    EXPECT_EQ(server.Requests().at(0).Raw, kRequest);
    // A dotted address with a port needs neither lookup.
    EXPECT_EQ(log.Events(), (std::vector<std::string>{"Open", "Connected", "Closed", "Closing", "Closed"}));
    const auto progress = log.Progress();
    ASSERT_GE(progress.size(), 4u);
    EXPECT_EQ(progress[0], std::make_pair(100, static_cast<std::int64_t>(kRequest.size())));
    EXPECT_EQ(progress[1], std::make_pair(0, std::int64_t{0}));
    EXPECT_EQ(progress[2], std::make_pair(0, std::int64_t{0}));       // ReadData starts
    EXPECT_EQ(progress.back(), std::make_pair(-1, std::int64_t{10})); // no count: no percentage
}

TEST(TagSocket, ReadDataTakesExactlyTheCountAndWritesAtThePosition)
{
    THXTestServer server({TReply::Raw("0123456789ABCDEF")});
    TagSocket socket;
    TEventLog log;
    log.Attach(socket);
    Connect(socket, server.HostPort());
    Send(socket, kRequest);

    TByteStream target(std::string("xxxxxxxx"));
    target.Seek(2);
    socket.ReadData(target, 10);
    EXPECT_EQ(target.Bytes(), "xx0123456789");
    EXPECT_EQ(target.Position(), 12);
    auto progress = log.Progress();
    ASSERT_FALSE(progress.empty());
    // Percent of the stream position against the count, as the design reports it.
    EXPECT_EQ(progress.back(), std::make_pair(120, std::int64_t{10}));

    // Count 0 takes nothing; the rest is still there for the next read.
    socket.ReadData(target, 0);
    EXPECT_EQ(target.Bytes(), "xx0123456789");
    socket.ReadData(target, -1);
    EXPECT_EQ(target.Bytes(), "xx0123456789ABCDEF");
    socket.Close();
}

TEST(TagSocket, SendStreamSendsLargeStreamsWholeInBlocks)
{
    std::string big = "PUT /big HTTP/1.0\r\nX-Fill: ";
    for (int i = 0; big.size() < 100'000; ++i)
        big.push_back(static_cast<char>('a' + i % 26));
    big += "\r\n\r\n";
    THXTestServer server({TReply::Raw("ok")});
    TagSocket socket;
    TEventLog log;
    log.Attach(socket);
    Connect(socket, server.HostPort());
    Send(socket, big);
    ASSERT_TRUE(server.WaitForRequests(1, 5s));
    EXPECT_EQ(server.Requests().at(0).Raw, big);

    const auto progress = log.Progress();
    ASSERT_EQ(progress.size(), big.size() / 2047 + 2);
    EXPECT_EQ(progress[0], std::make_pair(2, std::int64_t{2047}));
    EXPECT_EQ(progress[progress.size() - 2], std::make_pair(100, static_cast<std::int64_t>(big.size())));
    EXPECT_EQ(progress.back(), std::make_pair(0, std::int64_t{0}));
    socket.Close();
}

TEST(TagSocket, RefusedConnectionFailsAtOnce)
{
    const TRefusingPort refusing;
    TagSocket socket;
    TEventLog log;
    log.Attach(socket);
    socket.SetTimeOut(30);
    const auto start = TClock::now();
    const auto error =
        CatchFrom<ESocketError>([&] { Connect(socket, "127.0.0.1:" + std::to_string(refusing.Port())); });
    EXPECT_EQ(error.Code(), 10061);
    EXPECT_STREQ(error.what(), "[10061] Connection refused");
    // Far below the 30-second time-out: the refusal itself ended the wait.
    EXPECT_LT(SecondsSince(start), 10.0);
    EXPECT_EQ(log.Events(), (std::vector<std::string>{"Open", "Error:[10061] Connection refused"}));
}

TEST(TagSocket, HostNotFoundAfterTheLookupReports)
{
    // The resolver's answer is scripted: a machine without a resolver of its own would
    // answer "try again" for any name.
    TScriptedResolver resolver;
    resolver.Script("no-such-host.invalid", THostScript::Failing(kSockHostNotFound));
    TagSocket socket;
    socket.SetResolver(resolver.Resolver());
    TEventLog log;
    log.Attach(socket);
    const auto error = CatchFrom<ESocketError>([&] { Connect(socket, "no-such-host.invalid:80"); });
    EXPECT_EQ(error.Code(), 11001);
    EXPECT_STREQ(error.what(), "[11001] Host not found");
    EXPECT_EQ(log.Events(), (std::vector<std::string>{"Open", "HostFound", "Error:[11001] Host not found"}));
    EXPECT_EQ(resolver.Lookups("no-such-host.invalid"), 1);

    // A name too long for any resolver is not found either, without asking one.
    bool asked = false;
    socket.SetResolver(
        [&](const std::string&)
        {
            asked = true;
            return THostLookup{};
        });
    const auto longName = CatchFrom<ESocketError>([&] { Connect(socket, std::string(300, 'a') + ".test"); });
    EXPECT_EQ(longName.Code(), 11001);
    EXPECT_FALSE(asked);
}

TEST(TagSocket, ResolverResultsPreferIPv4)
{
    TagSocket socket;
    std::vector<std::string> asked;
    THostLookup answer;
    socket.SetResolver(
        [&](const std::string& host)
        {
            asked.push_back(host);
            return answer;
        });
    socket.SetServer("dual.test:81");

    answer = {0, {"::1", "127.0.0.2", "127.0.0.3"}};
    socket.ResetState();
    socket.Open();
    EXPECT_EQ(socket.Address(), "127.0.0.2");
    EXPECT_EQ(socket.Port(), 81);

    answer = {0, {"::1"}};
    OpenAllowingNoIPv6(socket);
    EXPECT_EQ(socket.Address(), "::1");

    answer = {11004, {}};
    EXPECT_EQ(CatchFrom<ESocketError>([&] { socket.Open(); }).Code(), 11004);
    answer = {0, {"not an address"}};
    const auto bad = CatchFrom<ESocketError>([&] { socket.Open(); });
    EXPECT_EQ(bad.Code(), 57004);
    EXPECT_STREQ(bad.what(), "Error resolving remote host");
    EXPECT_EQ(asked, std::vector<std::string>(4, "dual.test"));
    socket.Close();

    // Through the system resolver: "localhost" is in every hosts file.
    THXTestServer server({TReply::Raw("hello\n")});
    TagSocket local;
    Connect(local, "localhost:" + std::to_string(server.Port()));
    EXPECT_EQ(local.Address(), "127.0.0.1");
    Send(local, kRequest);
    std::string line;
    local.ReadLine(line);
    EXPECT_EQ(line, "hello");
}

TEST(TagSocket, PortFromServerServiceOrDefault)
{
    TagSocket socket;
    TEventLog log;
    log.Attach(socket);
    socket.SetDefaultPort(8123);

    const auto required = CatchFrom<ESocketError>([&] { socket.Open(); });
    EXPECT_EQ(required.Code(), 57002);
    EXPECT_STREQ(required.what(), "Server property is required");

    socket.SetServer("127.0.0.1:8081");
    log.Clear();
    socket.Open();
    EXPECT_EQ(socket.Port(), 8081);
    EXPECT_EQ(log.Events(), std::vector<std::string>{"Open"});

    socket.SetServer("127.0.0.1");
    const auto noService = CatchFrom<ESocketError>([&] { socket.Open(); });
    EXPECT_EQ(noService.Code(), 57005);
    EXPECT_STREQ(noService.what(), "Service name is required");

    socket.SetService("http");
    log.Clear();
    socket.Open();
    servent entry{};
    servent* found = nullptr;
    char buffer[1024];
    ::getservbyname_r("http", "tcp", &entry, buffer, sizeof(buffer), &found);
    EXPECT_EQ(socket.Port(), found != nullptr ? ntohs(static_cast<std::uint16_t>(found->s_port)) : 8123);
    // (The socket of the first Open was closed by the Open that failed.)
    EXPECT_EQ(log.Events(), (std::vector<std::string>{"Open", "ServiceFound"}));

    socket.SetService("no-such-service-anywhere");
    socket.Open();
    EXPECT_EQ(socket.Port(), 8123);
    // Port 0 is not a port: the service decides.
    socket.SetServer("127.0.0.1:0");
    socket.Open();
    EXPECT_EQ(socket.Port(), 8123);

    socket.SetServer("[::1]:9");
    OpenAllowingNoIPv6(socket);
    EXPECT_EQ(socket.Address(), "::1");
    EXPECT_EQ(socket.Port(), 9);
    socket.Close();

    TByteStream stream;
    std::string line;
    const auto notConnected = CatchFrom<ESocketError>([&] { socket.ReadLine(line); });
    EXPECT_EQ(notConnected.Code(), 57008);
    EXPECT_STREQ(notConnected.what(), "You have to connect to the server first");
    EXPECT_EQ(CatchFrom<ESocketError>([&] { socket.SendStream(stream); }).Code(), 57008);
    EXPECT_EQ(CatchFrom<ESocketError>([&] { socket.ReadData(stream, -1); }).Code(), 57008);
}

TEST(TagSocket, SilenceTimesOutAndClosesTheSocket)
{
    // A line that stops half-way.
    {
        THXTestServer server({TReply().Send("HTTP/1.0 2").Stall()});
        TagSocket socket;
        TEventLog log;
        log.Attach(socket);
        socket.SetTimeOut(1);
        Connect(socket, server.HostPort());
        Send(socket, kRequest);
        log.Clear();
        std::string line = "old";
        const auto start = TClock::now();
        const auto error = CatchTimeOut([&] { socket.ReadLine(line); });
        const double waited = SecondsSince(start);
        EXPECT_STREQ(error.what(), "Operation timed out");
        EXPECT_EQ(error.Code(), 57000);
        EXPECT_GE(waited, 0.9);
        EXPECT_LT(waited, 10.0);
        EXPECT_EQ(line, "");
        EXPECT_EQ(socket.Handle(), -1);
        EXPECT_EQ(log.Events(), (std::vector<std::string>{"Error:Operation timed out", "Closing", "Closed"}));
    }
    // A body that stops: what arrived stays in the stream.
    {
        THXTestServer server({TReply().Send("HTTP/1.0 200 OK\r\n\r\nfirst").Stall()});
        TagSocket socket;
        socket.SetTimeOut(1);
        Connect(socket, server.HostPort());
        Send(socket, kRequest);
        std::string line;
        socket.ReadLine(line);
        socket.ReadLine(line);
        TByteStream body;
        CatchTimeOut([&] { socket.ReadData(body, 100); });
        EXPECT_EQ(body.Bytes(), "first");
        EXPECT_EQ(socket.Handle(), -1);
    }
}

TEST(TagSocket, TricklingBodyNeverTimesOut)
{
    // Eight pieces 300 ms apart: well past the one-second time-out in all, but never
    // a second of silence.
    const std::string body = "abcdefghijklmnop";
    THXTestServer server({TReply().Send("HTTP/1.0 200 OK\r\n\r\n").Trickle(body, 2, 300ms)});
    TagSocket socket;
    TEventLog log;
    log.Attach(socket);
    socket.SetTimeOut(1);
    Connect(socket, server.HostPort());
    Send(socket, kRequest);
    std::string line;
    socket.ReadLine(line);
    socket.ReadLine(line);
    TByteStream received;
    const auto start = TClock::now();
    socket.ReadData(received, -1);
    EXPECT_GE(SecondsSince(start), 1.5);
    EXPECT_EQ(received.Bytes(), body);
    EXPECT_GE(log.Progress().size(), 5u);
}

TEST(TagSocket, CancelFromAnotherThreadEndsTheWait)
{
    THXTestServer server({TReply().Send("HTTP/1.0 200 OK\r\n\r\npart").Stall()});
    TagSocket socket;
    TEventLog log;
    log.Attach(socket);
    socket.SetTimeOut(60);
    Connect(socket, server.HostPort());
    Send(socket, kRequest);
    std::string line;
    socket.ReadLine(line);
    socket.ReadLine(line);
    log.Clear();

    std::atomic<TClock::rep> cancelledAt{0};
    std::thread canceller(
        [&]
        {
            std::this_thread::sleep_for(100ms);
            cancelledAt = TClock::now().time_since_epoch().count();
            socket.Cancel();
        });
    TByteStream body;
    const auto error = CatchCancel([&] { socket.ReadData(body, -1); });
    const auto endedAt = TClock::now().time_since_epoch().count();
    canceller.join();
    EXPECT_STREQ(error.what(), "Operation has been canceled");
    EXPECT_EQ(error.Code(), 57001);
    // The time-out is a minute: ending far sooner shows the cancel ended the wait.
    EXPECT_LT(std::chrono::duration<double>(TClock::duration(endedAt - cancelledAt.load())).count(), 20.0);
    EXPECT_EQ(body.Bytes(), "part");
    EXPECT_TRUE(socket.Cancelled());
    EXPECT_EQ(socket.Handle(), -1);
    // OnCancel comes first; the close (on the cancelling thread) and the failure (on
    // this one) may interleave.
    auto events = log.Events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0], "Cancel");
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (std::vector<std::string>{"Cancel", "Closed", "Closing", "Error:Operation has been canceled"}));

    // The next exchange starts afresh.
    socket.ResetState();
    EXPECT_FALSE(socket.Cancelled());
    THXTestServer again({TReply::Raw("fine\n")});
    Connect(socket, again.HostPort());
    Send(socket, kRequest);
    socket.ReadLine(line);
    EXPECT_EQ(line, "fine");
}

TEST(TagSocket, CancelOrTimeOutDuringHostLookup)
{
    TBlockingResolver resolver;
    TagSocket socket;
    TEventLog log;
    log.Attach(socket);
    socket.SetResolver(resolver.Resolver());
    socket.SetServer("slow.test:80");
    socket.SetTimeOut(60);

    std::thread canceller(
        [&]
        {
            resolver.WaitAsked();
            std::this_thread::sleep_for(50ms);
            socket.Cancel();
        });
    const auto start = TClock::now();
    const auto error = CatchCancel([&] { socket.Open(); });
    canceller.join();
    EXPECT_LT(SecondsSince(start), 5.0);
    EXPECT_STREQ(error.what(), "Operation has been canceled");
    EXPECT_EQ(resolver.Asked(), std::vector<std::string>{"slow.test"});
    // The lookup never reported, so there was no OnHostFound.
    EXPECT_EQ(log.Events(), (std::vector<std::string>{"Open", "Cancel", "Error:Operation has been canceled"}));

    // A lookup is bounded by the time-out like every other wait.
    socket.SetTimeOut(1);
    socket.ResetState();
    log.Clear();
    const auto timedStart = TClock::now();
    CatchTimeOut([&] { socket.Open(); });
    EXPECT_GE(SecondsSince(timedStart), 0.9);
    EXPECT_EQ(log.Events(), (std::vector<std::string>{"Open", "Error:Operation timed out"}));

    // The abandoned lookups finish on their own threads without touching the socket.
    resolver.Release();
    EXPECT_TRUE(resolver.WaitFinished(2));
    socket.ResetState();
    socket.Open();
    EXPECT_EQ(socket.Address(), "127.0.0.1");
    socket.Close();
}

TEST(TagSocket, ResetByThePeerClosesTheSocket)
{
    THXTestServer server({TReply().Reset()});
    TagSocket socket;
    TEventLog log;
    log.Attach(socket);
    Connect(socket, server.HostPort());
    Send(socket, kRequest);
    ASSERT_TRUE(server.WaitForRequests(1, 5s));
    log.Clear();
    std::string line;
    const auto error = CatchFrom<ESocketError>([&] { socket.ReadLine(line); });
    EXPECT_EQ(error.Code(), 10054);
    EXPECT_STREQ(error.what(), "[10054] Connection reset by peer");
    EXPECT_EQ(socket.Handle(), -1);
    EXPECT_EQ(log.Events(), (std::vector<std::string>{"Error:[10054] Connection reset by peer", "Closing", "Closed"}));
}

} // namespace
} // namespace hx
