#include "support/HXTestServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace hx::test
{
namespace
{

using namespace std::chrono_literals;

// A plain blocking client: connects, sends the pieces, reads until the server closes.
class TRawClient
{
public:
    explicit TRawClient(std::uint16_t port)
    {
        m_handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval limit{5, 0};
        ::setsockopt(m_handle, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        EXPECT_EQ(::connect(m_handle, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    }
    ~TRawClient() { ::close(m_handle); }
    TRawClient(const TRawClient&) = delete;
    TRawClient& operator=(const TRawClient&) = delete;

    void Send(const std::string& bytes)
    {
        EXPECT_EQ(::send(m_handle, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    std::string ReadAll()
    {
        std::string all;
        char buffer[4096];
        for (;;)
        {
            const ssize_t received = ::recv(m_handle, buffer, sizeof(buffer), 0);
            if (received <= 0)
                return all;
            all.append(buffer, static_cast<std::size_t>(received));
        }
    }

private:
    int m_handle = -1;
};

std::string Fetch(std::uint16_t port, const std::string& request)
{
    TRawClient client(port);
    client.Send(request);
    return client.ReadAll();
}

TEST(THXTestServer, RecordsRequestsAndServesRoutes)
{
    THXTestServer server(Routes({{"/a?x=1", TReply::Text(200, "alpha", {{"X-Kind", "letter"}})},
                                 {"/c", TReply::Chunked(200, {"ab", std::string(20, 'z')})}}));
    {
        // The request arrives in two pieces; the server waits for the empty line.
        TRawClient client(server.Port());
        client.Send("GET /a?x=1 HTTP/1.0\r\nHost: h\r\n");
        std::this_thread::sleep_for(20ms);
        client.Send("range: Bytes=3-\r\n\r\n");
        EXPECT_EQ(client.ReadAll(), "HTTP/1.0 200 OK\r\nX-Kind: letter\r\nContent-Length: 5\r\n\r\nalpha");
    }
    EXPECT_EQ(Fetch(server.Port(), "GET /c HTTP/1.0\n\n"),
              "HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n14\r\n" + std::string(20, 'z') +
                  "\r\n0\r\n\r\n");
    EXPECT_EQ(Fetch(server.Port(), "GET /b HTTP/1.0\r\n\r\n"),
              "HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].Raw, "GET /a?x=1 HTTP/1.0\r\nHost: h\r\nrange: Bytes=3-\r\n\r\n");
    EXPECT_EQ(requests[0].Method, "GET");
    EXPECT_EQ(requests[0].Target, "/a?x=1");
    EXPECT_EQ(requests[0].Version, "HTTP/1.0");
    EXPECT_EQ(requests[0].Header("RANGE"), "Bytes=3-");
    EXPECT_TRUE(requests[0].HasHeader("host"));
    EXPECT_FALSE(requests[0].HasHeader("Accept"));
    EXPECT_EQ(requests[1].Raw, "GET /c HTTP/1.0\n\n");
    EXPECT_EQ(server.ConnectionCount(), 3u);

    // Replies in turn, then 404.
    THXTestServer sequence({TReply::Raw("one"), TReply::Raw("two")});
    EXPECT_EQ(Fetch(sequence.Port(), "GET / HTTP/1.0\r\n\r\n"), "one");
    EXPECT_EQ(Fetch(sequence.Port(), "GET / HTTP/1.0\r\n\r\n"), "two");
    EXPECT_EQ(Fetch(sequence.Port(), "GET / HTTP/1.0\r\n\r\n").substr(0, 22), "HTTP/1.0 404 Not Found");
}

TEST(THXTestServer, ResourceRepliesHonourRangesAndDates)
{
    const std::string body = "0123456789";
    const std::string date = "Tue, 01 Jan 2002 00:00:00 GMT";
    auto answer = [&](THeaderFields fields)
    {
        TRecordedRequest request;
        request.Fields = std::move(fields);
        const TReply reply = ResourceReply(request, body, date, "text/plain");
        return reply.Steps().at(0).Bytes;
    };
    const std::string plainHead = "Content-Type: text/plain\r\nLast-Modified: " + date + "\r\n";
    EXPECT_EQ(answer({}), "HTTP/1.0 200 OK\r\n" + plainHead + "Content-Length: 10\r\n\r\n" + body);
    EXPECT_EQ(answer({{"If-Modified-Since", date}}), "HTTP/1.0 304 Not Modified\r\n\r\n");
    EXPECT_EQ(answer({{"If-Modified-Since", "Mon, 01 Jan 2001 00:00:00 GMT"}}).substr(0, 15), "HTTP/1.0 200 OK");
    EXPECT_EQ(answer({{"Range", "Bytes=4-"}}), "HTTP/1.0 206 Partial Content\r\n" + plainHead +
                                                   "Content-Range: bytes 4-9/10\r\nContent-Length: 6\r\n\r\n456789");
    EXPECT_EQ(answer({{"Range", "bytes=10-"}}).substr(0, 34), "HTTP/1.0 416 Range Not Satisfiable");
    // A range form this server does not know is ignored.
    EXPECT_EQ(answer({{"Range", "bytes=2-4"}}).substr(0, 15), "HTTP/1.0 200 OK");
}

TEST(THXTestServer, StopEndsStalledAndTricklingConnections)
{
    // Stopping must never wait for a client or a script: repeated with connections in flight.
    for (int round = 0; round < 50; ++round)
    {
        THXTestServer server({TReply().Send("x").Stall(), TReply().Trickle("abcdef", 1, 10s)});
        TRawClient first(server.Port());
        TRawClient second(server.Port());
        first.Send("GET /1 HTTP/1.0\r\n\r\n");
        second.Send("GET /2 HTTP/1.0\r\n\r\n");
        if (round % 2 == 0)
        {
            ASSERT_TRUE(server.WaitForRequests(2, 5s));
        }
        const auto start = std::chrono::steady_clock::now();
        server.Stop();
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
        server.Stop(); // idempotent
    }
}

} // namespace
} // namespace hx::test
