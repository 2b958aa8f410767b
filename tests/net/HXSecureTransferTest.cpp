// https transfers against a real nginx with certificates made at test time by a
// test authority, directly and through a real tinyproxy (CONNECT), redirects
// between http and https, and international host names. Servers listen on free
// ports of 127.0.0.1; without nginx, tinyproxy or openssl the tests skip.

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>

#include "TransferFixture.h"
#include "core/HXApp.h"
#include "net/HXHostNames.h"
#include "net/aghttp.h"
#include "net/agtunnelstream.h"
#include "support/HXNginxFixture.h"
#include "support/HXTLSFixture.h"

namespace hx::test
{
namespace
{

std::string Pattern(std::size_t size)
{
    std::string bytes(size, ' ');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('!' + static_cast<char>((i * 13 + i / 509) % 90));
    return bytes;
}

class TSecureTransferTest : public TTransferTest
{
protected:
    static void SetUpTestSuite() { s_certificates = std::make_unique<THXTestCertificates>(); }
    static void TearDownTestSuite() { s_certificates.reset(); }

    void SetUp() override
    {
        TTransferTest::SetUp();
        if (!s_certificates->Ready())
            GTEST_SKIP() << s_certificates->Error();
        site = Home().Folder() + "www";
        page = "<html><body>served over https</body></html>";
        big = Pattern(2 * 1024 * 1024 + 333);
        ASSERT_TRUE(WriteFileAtomic(site + "/page.html", page));
        ASSERT_TRUE(WriteFileAtomic(site + "/files/big.bin", big));
        app->SetCAFile(s_certificates->CAFile());
    }

    const THXTestCertificates& Certificates() const { return *s_certificates; }

    // Fetches the URL into a fresh item: the item as recorded, and the slot's last status.
    struct TOutcome
    {
        bool Ended = false;
        int State = 0;
        std::string StatusText;
        std::string SlotStatus;
        bool SlotFailed = false;
        std::string LocalPath;
    };
    TOutcome Fetch(const std::string& url)
    {
        TOutcome outcome;
        THXQItem* item = AddItem(url);
        outcome.LocalPath = LocalPath(url);
        Slot().Fetch(*item);
        outcome.Ended = RunToEnd(Slot());
        if (!outcome.Ended)
            return outcome;
        outcome.SlotFailed = Slot().Connection().State() == TqkHTTPState::hsError;
        outcome.SlotStatus = Slot().Connection().Status();
        Reap(Slot());
        outcome.State = item->State;
        outcome.StatusText = item->StatusText;
        return outcome;
    }

    std::string site;
    std::string page;
    std::string big;

    static std::unique_ptr<THXTestCertificates> s_certificates;
};

std::unique_ptr<THXTestCertificates> TSecureTransferTest::s_certificates;

TEST_F(TSecureTransferTest, HttpsGivesTheSameBytesAsHttp)
{
    THXSecureNginx nginx(site, {Certificates().Good()});
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();

    for (const bool askHeadFirst : {true, false})
    {
        slots->SetAskHeadFirst(askHeadFirst);
        for (const std::string& path : {std::string("/page.html"), std::string("/files/big.bin")})
        {
            const std::string expected = path == "/page.html" ? page : big;
            const TOutcome secure = Fetch(nginx.SecureURL(0, path));
            ASSERT_TRUE(secure.Ended);
            EXPECT_FALSE(secure.SlotFailed) << secure.SlotStatus;
            EXPECT_EQ(secure.State, kStateSaved) << path;
            EXPECT_EQ(secure.StatusText, "200 OK");
            EXPECT_EQ(ReadWholeFile(secure.LocalPath).value_or(""), expected) << path;

            // The same file over http lands in the same host folder: one site, one folder.
            ASSERT_TRUE(std::filesystem::remove(secure.LocalPath));
            const TOutcome plain = Fetch(nginx.URL(path));
            EXPECT_EQ(plain.State, kStateSaved);
            EXPECT_EQ(plain.LocalPath.substr(0, plain.LocalPath.find("127.0.0.1") + 9),
                      secure.LocalPath.substr(0, secure.LocalPath.find("127.0.0.1") + 9));
            EXPECT_EQ(ReadWholeFile(plain.LocalPath).value_or(""), expected) << path;
        }
    }

    // Every https connection after the first resumed the server's session: only the
    // first handshake carried and checked the certificate.
    int secure = 0;
    int resumed = 0;
    for (const std::string& line : nginx.AccessLog())
    {
        if (line.ends_with(" r"))
            ++resumed;
        if (line.ends_with(" r") || line.ends_with(" ."))
            ++secure;
    }
    EXPECT_EQ(secure, 6); // HEAD and GET of two files, then the GET of each
    EXPECT_EQ(resumed, secure - 1);
}

TEST_F(TSecureTransferTest, RefusedCertificatesSaveNothingUnlessCheckingIsOff)
{
    THXSecureNginx nginx(site, {Certificates().WrongHost(), Certificates().Expired(), Certificates().Untrusted()});
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();

    struct TCase
    {
        std::size_t server;
        std::string text;
    };
    const TCase cases[] = {
        {0, "Certificate is not for 127.0.0.1: IP address mismatch"},
        {1, "Certificate expired: certificate has expired"},
        {2, "Certificate not trusted: unable to get local issuer certificate"},
    };
    for (const TCase& refused : cases)
    {
        const TOutcome outcome = Fetch(nginx.SecureURL(refused.server, "/page.html"));
        ASSERT_TRUE(outcome.Ended);
        EXPECT_TRUE(outcome.SlotFailed) << refused.text;
        EXPECT_EQ(outcome.SlotStatus, refused.text);
        EXPECT_EQ(outcome.StatusText, refused.text);
        EXPECT_FALSE(std::filesystem::exists(outcome.LocalPath)) << refused.text;
    }

    // Without the test authority in "CA File", the good certificate is not trusted either.
    {
        THXSecureNginx good(site, {Certificates().Good()});
        ASSERT_TRUE(good.Started()) << good.Error();
        app->SetCAFile("");
        const TOutcome outcome = Fetch(good.SecureURL(0, "/page.html"));
        EXPECT_EQ(outcome.StatusText, "Certificate not trusted: unable to get local issuer certificate");
        EXPECT_FALSE(std::filesystem::exists(outcome.LocalPath));
    }

    // "Check Certificates" off: every one of them is fetched.
    app->SetCheckCertificates(false);
    for (const TCase& refused : cases)
    {
        const TOutcome outcome = Fetch(nginx.SecureURL(refused.server, "/files/big.bin"));
        EXPECT_FALSE(outcome.SlotFailed) << outcome.SlotStatus;
        EXPECT_EQ(outcome.State, kStateSaved) << refused.text;
        EXPECT_EQ(ReadWholeFile(outcome.LocalPath).value_or(""), big) << refused.text;
    }
}

TEST_F(TSecureTransferTest, PlainHttpPortAnsweredWithTlsFailsClearly)
{
    THXSecureNginx nginx(site, {Certificates().Good()});
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();
    // An https address whose port speaks plain http: the handshake cannot succeed.
    const TOutcome outcome = Fetch("https://127.0.0.1:" + std::to_string(nginx.Port()) + "/page.html");
    ASSERT_TRUE(outcome.Ended);
    EXPECT_TRUE(outcome.SlotFailed);
    EXPECT_TRUE(outcome.StatusText.starts_with("Secure connection failed: ")) << outcome.StatusText;
    EXPECT_FALSE(std::filesystem::exists(outcome.LocalPath));
}

TEST_F(TSecureTransferTest, HttpsThroughTinyproxyWithConnect)
{
    THXSecureNginx nginx(site, {Certificates().Good()});
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();
    THXTinyproxy proxy("harbex", "s3cret");
    if (!proxy.Started())
        GTEST_SKIP() << proxy.Error();

    app->SetUseProxy(true);
    app->SetProxyAddress("127.0.0.1");
    app->SetProxyPort(std::to_string(proxy.Port()));
    app->SetProxyAuthorization("harbex:s3cret");
    const TOutcome outcome = Fetch(nginx.SecureURL(0, "/files/big.bin"));
    ASSERT_TRUE(outcome.Ended);
    EXPECT_FALSE(outcome.SlotFailed) << outcome.SlotStatus;
    EXPECT_EQ(outcome.State, kStateSaved);
    EXPECT_EQ(ReadWholeFile(outcome.LocalPath).value_or(""), big);
    // The request went through the tunnel: nginx saw it come over TLS on its https port.
    bool seen = false;
    for (const std::string& line : nginx.AccessLog())
        seen = seen || line.find("GET /files/big.bin 200") != std::string::npos;
    EXPECT_TRUE(seen);

    // Wrong proxy credentials: the proxy refuses the tunnel and says how.
    app->SetProxyAuthorization("harbex:wrong");
    const TOutcome refused = Fetch(nginx.SecureURL(0, "/page.html"));
    EXPECT_TRUE(refused.SlotFailed);
    // (tinyproxy answers 401 where the standard says 407; either is a refusal.)
    EXPECT_TRUE(refused.StatusText.starts_with("Proxy refused the tunnel: 40")) << refused.StatusText;
    EXPECT_FALSE(std::filesystem::exists(refused.LocalPath));
}

TEST_F(TSecureTransferTest, RedirectsBetweenHttpAndHttpsAreFollowed)
{
    // The test server plays the http side, nginx the https side; each redirects to
    // the other, so the test server learns nginx's port once nginx runs.
    std::mutex targetMutex;
    std::string secureTarget;
    THXTestServer plain(
        [&](const TRecordedRequest& request)
        {
            if (request.Target != "/to-secure.html")
                return TReply::Text(404, "not here");
            const std::lock_guard lock(targetMutex);
            return TReply::Redirect(301, secureTarget);
        });
    THXSecureNginx nginx(site, {Certificates().Good()},
                         "    location = /to-plain.html { return 302 " + plain.URL("/to-secure.html") + "; }\n");
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();
    {
        const std::lock_guard lock(targetMutex);
        secureTarget = nginx.SecureURL(0, "/page.html");
    }

    // http -> https: the page's bytes, under the item's own address.
    const TOutcome up = Fetch(plain.URL("/to-secure.html"));
    EXPECT_FALSE(up.SlotFailed) << up.SlotStatus;
    EXPECT_EQ(up.State, kStateSaved);
    EXPECT_EQ(ReadWholeFile(up.LocalPath).value_or(""), page);

    // https -> http -> https, within the same hop limit.
    const TOutcome round = Fetch(nginx.SecureURL(0, "/to-plain.html"));
    EXPECT_FALSE(round.SlotFailed) << round.SlotStatus;
    EXPECT_EQ(round.State, kStateSaved);
    EXPECT_EQ(ReadWholeFile(round.LocalPath).value_or(""), page);
}

TEST(TSecureURLTest, InternationalHostsAreAskedForInAscii)
{
    EXPECT_EQ(RequestHostName("example.com"), "example.com");
    EXPECT_EQ(RequestHostName("Example.COM"), "Example.COM");
    EXPECT_EQ(RequestHostName("b\xC3\xBC"
                              "cher.example"),
              "xn--bcher-kva.example");
    EXPECT_EQ(RequestHostName("\xD0\xBF\xD1\x80\xD0\xB8\xD0\xBC\xD0\xB5\xD1\x80.\xD1\x80\xD1\x84"),
              "xn--e1afmkfd.xn--p1ai");
    // Not UTF-8 (a Windows-1252 page's byte): left alone, its lookup fails as any unknown host's.
    EXPECT_EQ(RequestHostName("b\xFC"
                              "cher.example"),
              "b\xFC"
              "cher.example");

    // On the wire: the lookup and the Host line carry the ASCII form.
    THXTestServer server([](const TRecordedRequest&) { return TReply::Text(200, "ok"); });
    std::string asked;
    TagHTTP http;
    http.SetResolver(
        [&asked](const std::string& host)
        {
            asked = host;
            THostLookup lookup;
            lookup.Addresses.push_back("127.0.0.1");
            return lookup;
        });
    http.SetURL("http://b\xC3\xBC"
                "cher.example:" +
                std::to_string(server.Port()) + "/page.html");
    EXPECT_EQ(http.Get(), 200);
    EXPECT_EQ(asked, "xn--bcher-kva.example");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests().front().Header("Host"), "xn--bcher-kva.example:" + std::to_string(server.Port()));
    // The local folder keeps the readable name.
    EXPECT_EQ(LocalFileName("/copy",
                            "http://b\xC3\xBC"
                            "cher.example/",
                            "http://b\xC3\xBC"
                            "cher.example/a.html"),
              "/copy/b\xC3\xBC"
              "cher.example/a.html");
}

TEST(TSecureURLTest, HttpAndHttpsAreOneSite)
{
    // https addresses are accepted and completed as http ones are.
    std::string url = "HTTPS://Example.com/docs";
    EXPECT_TRUE(NormalizeURL(url));
    EXPECT_EQ(url, "HTTPS://Example.com/docs/");
    url = "ftp://example.com/";
    EXPECT_FALSE(NormalizeURL(url));
    EXPECT_TRUE(IsWebURL("https://h/"));
    EXPECT_TRUE(IsWebURL("HTTP://h/"));
    EXPECT_FALSE(IsWebURL("ftp://h/"));

    // Directories, ancestors and the site root measure from the end of "https://".
    EXPECT_EQ(DirectoryURL("https://h"), "https://h/");
    EXPECT_EQ(DirectoryURL("https://h/a/b.html?x=/y"), "https://h/a/");
    EXPECT_EQ(AncestorURL("https://h/a/b/c/", 0), "https://h/");
    EXPECT_EQ(AncestorURL("https://h/a/b/c/", 1), "https://h/a/b/");
    EXPECT_EQ(ResolveLink("/top.html", "https://h/a/b/"), "https://h/top.html");
    EXPECT_EQ(ResolveLink("../../up.html", "https://h/a/b/"), "https://h/up.html");
    EXPECT_EQ(ResolveLink("../../../../up.html", "https://h/a/b/"), "https://h/up.html");

    // A link to the page's own host over the other scheme takes the page's scheme:
    // one queue item per page, whichever scheme a page links it with.
    EXPECT_EQ(ResolveLink("http://h/x.html", "https://h/a/"), "https://h/x.html");
    EXPECT_EQ(ResolveLink("https://H/x.html", "http://h/a/"), "http://H/x.html");
    // Other hosts, and hosts with ports of their own, keep what the link says.
    EXPECT_EQ(ResolveLink("http://other/x.html", "https://h/a/"), "http://other/x.html");
    EXPECT_EQ(ResolveLink("http://h:8080/x.html", "https://h/a/"), "http://h:8080/x.html");
    EXPECT_EQ(ResolveLink("http://h/x.html", "https://h:8443/a/"), "http://h/x.html");

    // The local folder is the host folder for both schemes, and links between the
    // two are relative links within it.
    EXPECT_EQ(LocalFileName("/copy/", "https://h/a/", "https://h/a/b.html"), "/copy/h/a/b.html");
    EXPECT_EQ(LocalFileName("/copy/", "http://h/a/", "http://h/a/b.html"), "/copy/h/a/b.html");
    EXPECT_EQ(LocalLink("http://h/c/d.html", "https://h/a/"), "../c/d.html");
    EXPECT_EQ(SiteShortName("https://www.example.com/"), "example");
}

} // namespace
} // namespace hx::test

namespace hx::test
{
namespace
{

// Connects a stream as TagSocket::Connect does: start, then wait and ask again.
TIOResult ConnectFully(TNetStream& stream)
{
    TIOResult result = stream.StartConnect();
    for (int step = 0; result.Status == TIOStatus::WouldBlock && step < 100; ++step)
    {
        stream.Wait(TWaitFor::Writable, 10ms);
        result = stream.ConnectResult();
    }
    return result;
}

TEST(TTunnelStreamTest, AsksForTheTunnelAndKeepsTheServersFirstBytes)
{
    // The proxy's answer arrives in pieces of 7 bytes, the server's first bytes
    // right behind it.
    auto proxy =
        std::make_shared<TBufferStream>("HTTP/1.1 200 Connection established\r\nVia: test\r\n\r\nFIRST", false, 7);
    TTunnelStream tunnel(proxy, "example.com:443", "Basic dTpw");
    ASSERT_EQ(ConnectFully(tunnel).Status, TIOStatus::Done);
    EXPECT_EQ(proxy->Written(), "CONNECT example.com:443 HTTP/1.1\r\n"
                                "Host: example.com:443\r\n"
                                "Proxy-Authorization: Basic dTpw\r\n"
                                "\r\n");
    EXPECT_TRUE(tunnel.Wait(TWaitFor::Readable, 0ms));
    char buffer[16] = {};
    const TIOResult read = tunnel.Read(buffer, sizeof(buffer));
    ASSERT_EQ(read.Status, TIOStatus::Done);
    EXPECT_EQ(std::string(buffer, read.Bytes), "FIRST");
    ASSERT_EQ(tunnel.Write("hello", 5).Status, TIOStatus::Done);
    EXPECT_TRUE(proxy->Written().ends_with("\r\n\r\nhello"));

    // Refusals, a proxy that hangs up, and one that never stops talking.
    struct TCase
    {
        std::string answer;
        std::string text;
    };
    const TCase refusals[] = {
        {"HTTP/1.0 403 Forbidden\r\n\r\n", "Proxy refused the tunnel: 403 Forbidden"},
        {"HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n",
         "Proxy refused the tunnel: 407 Proxy Authentication Required"},
        {"HTTP/1.1 200 OK\r\n", "Proxy refused the tunnel: the proxy closed the connection"},
        {"SSH-2.0-OpenSSH\r\n\r\n", "Proxy refused the tunnel: SSH-2.0-OpenSSH"},
        {"HTTP/1.1 200 OK\r\n" + std::string(kMaxTunnelAnswerBytes, 'x'), "Proxy refused the tunnel: answer too long"},
    };
    for (const TCase& refusal : refusals)
    {
        TTunnelStream refused(std::make_shared<TBufferStream>(refusal.answer), "example.com:443", "");
        const TIOResult result = ConnectFully(refused);
        EXPECT_EQ(result.Status, TIOStatus::Failed) << refusal.text;
        EXPECT_EQ(result.Code, kErrTunnel);
        EXPECT_EQ(refused.FailureText(), refusal.text);
    }
}

} // namespace
} // namespace hx::test
