// The HTTP client over HTTP/2: several clients sharing the run's connections
// against a small nghttp2 server on 127.0.0.1 (certificates by a test
// authority). Their exchanges go as streams of one connection and come back in
// HTTP/1.1 form; a request reset before its answer, or left out by a GOAWAY, is
// asked again; a POST carries its body.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/HXHttp2.h"
#include "net/aghttp.h"
#include "support/HXHttp2TestServer.h"
#include "support/HXTLSFixture.h"

namespace hx::test
{
namespace
{

std::string PageOf(int n)
{
    // Pages large enough to take several frames, each different.
    return "<html><body>page " + std::to_string(n) + " " + std::string(20000 + n * 997, static_cast<char>('a' + n)) +
           "</body></html>";
}

class THttp2Test : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_certificates = std::make_unique<THXTestCertificates>(); }
    static void TearDownTestSuite() { s_certificates.reset(); }

    void SetUp() override
    {
        if (!s_certificates->Ready())
            GTEST_SKIP() << s_certificates->Error();
        for (int n = 0; n < kPages; ++n)
            pages["/p" + std::to_string(n) + ".html"] = PageOf(n);
    }

    // A client as a slot sets it up in Fast pacing.
    std::unique_ptr<TagHTTP> Client(THXHttp2Pool& pool) const
    {
        auto http = std::make_unique<TagHTTP>();
        http->SetTimeOut(20);
        http->SetTLSOptions({true, s_certificates->CAFile()});
        http->SetFeatures({true, true, true});
        http->SetHttp2Pool(&pool);
        return http;
    }

    static constexpr int kPages = 12;
    std::map<std::string, std::string> pages;
    static std::unique_ptr<THXTestCertificates> s_certificates;
};

std::unique_ptr<THXTestCertificates> THttp2Test::s_certificates;

TEST_F(THttp2Test, ClientsShareOneConnectionAndRefusedRequestsAreAskedAgain)
{
    THXHttp2TestServer server(s_certificates->Good(), pages);
    ASSERT_TRUE(server.Started()) << server.Error();
    server.ResetOnce("/p2.html");
    server.ResetOnce("/p9.html");
    THXHttp2Pool pool;

    // Four clients at once, three pages each.
    std::vector<std::unique_ptr<TagHTTP>> clients;
    for (int c = 0; c < 4; ++c)
        clients.push_back(Client(pool));
    std::vector<std::string> failures(4);
    std::vector<std::thread> threads;
    for (int c = 0; c < 4; ++c)
        threads.emplace_back(
            [&, c]
            {
                TagHTTP& http = *clients[static_cast<std::size_t>(c)];
                for (int n = c; n < kPages; n += 4)
                {
                    try
                    {
                        http.SetURL(server.URL("/p" + std::to_string(n) + ".html"));
                        const int status = http.Get();
                        if (status != 200 || http.Body().Bytes() != PageOf(n) || !http.UsedHttp2())
                            failures[static_cast<std::size_t>(c)] +=
                                "page " + std::to_string(n) + ": " + std::to_string(status) + "; ";
                    }
                    catch (const std::exception& error)
                    {
                        failures[static_cast<std::size_t>(c)] += "page " + std::to_string(n) + ": " + error.what();
                    }
                }
            });
    for (std::thread& thread : threads)
        thread.join();
    for (const std::string& failure : failures)
        EXPECT_EQ(failure, "");
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(pool.SessionsMade(), 1);
    EXPECT_EQ(server.ResetsSent(), 2);
    EXPECT_EQ(server.Streams(), kPages + 2);
    EXPECT_EQ(server.Answered(), kPages);

    // The answer in HTTP/1.1 form: a status line with its reason phrase, the fields.
    TagHTTP& http = *clients[0];
    http.SetURL(server.URL("/missing.html"));
    EXPECT_EQ(http.Get(), 404);
    EXPECT_EQ(http.Headers().front(), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(http.HeaderValue("Content-Type"), "text/html");
    EXPECT_EQ(http.HeaderValue("Content-Length"), "8");
    EXPECT_EQ(http.Body().Bytes(), "not here");
    // A HEAD has no body; a POST carries its body and reads the answer's.
    http.SetURL(server.URL("/p1.html"));
    EXPECT_EQ(http.Head(), 200);
    EXPECT_EQ(http.HeaderValue("Content-Length"), std::to_string(PageOf(1).size()));
    EXPECT_EQ(http.Post("application/x-www-form-urlencoded", "user=a&pass=b"), 200);
    EXPECT_EQ(http.Body().Bytes(), PageOf(1));
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(THttp2Test, RequestsLeftOutByGoAwayGoOverTheNextConnection)
{
    THXHttp2TestServer server(s_certificates->Good(), pages);
    ASSERT_TRUE(server.Started()) << server.Error();
    server.GoAwayAfter(3);
    THXHttp2Pool pool;
    std::vector<std::unique_ptr<TagHTTP>> clients;
    for (int c = 0; c < 4; ++c)
        clients.push_back(Client(pool));
    std::vector<int> good(4, 0);
    std::vector<std::thread> threads;
    for (int c = 0; c < 4; ++c)
        threads.emplace_back(
            [&, c]
            {
                TagHTTP& http = *clients[static_cast<std::size_t>(c)];
                for (int n = c; n < kPages; n += 4)
                {
                    http.SetURL(server.URL("/p" + std::to_string(n) + ".html"));
                    try
                    {
                        if (http.Get() == 200 && http.Body().Bytes() == PageOf(n))
                            ++good[static_cast<std::size_t>(c)];
                    }
                    catch (const std::exception&)
                    {
                    }
                }
            });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(good, std::vector<int>(4, 3));
    EXPECT_EQ(server.Answered(), kPages);
    // Three answers a connection: at least four of them.
    EXPECT_GE(server.Connections(), 4);
    EXPECT_EQ(pool.SessionsMade(), server.Connections());
}

} // namespace
} // namespace hx::test
