// Persistent connections and compressed bodies, the HTTP/1.1 features of Fast
// pacing, against a real nginx (over http and https, its access log numbering
// the connections) and against the scripted test server where a server must
// misbehave on cue. Everything listens on 127.0.0.1; without nginx or openssl
// the nginx tests skip.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include <zlib.h>

#include "TransferFixture.h"
#include "net/HXContentDecoder.h"
#include "net/aghttp.h"
#include "support/HXTLSFixture.h"

namespace hx::test
{
namespace
{

// The bytes compressed with zlib: gzip wrapper (window bits 31), zlib wrapper (15)
// or bare deflate data (-15).
std::string Compress(const std::string& bytes, int windowBits)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string Gzip(const std::string& bytes)
{
    return Compress(bytes, 31);
}

// A page that compresses well and is different for every n.
std::string PageText(int n)
{
    std::string page = "<html><head><title>Page " + std::to_string(n) + "</title></head><body>\n";
    for (int line = 0; line < 200; ++line)
        page += "<p>Line " + std::to_string(line) + " of page " + std::to_string(n) + ", said again and again.</p>\n";
    return page + "</body></html>\n";
}

// Connection numbers and request count of nginx's access log lines.
struct TLogCount
{
    std::size_t Requests = 0;
    std::size_t Connections = 0;
};

TLogCount CountLog(const std::vector<std::string>& lines)
{
    TLogCount count;
    std::set<std::string> connections;
    for (const std::string& line : lines)
    {
        ++count.Requests;
        connections.insert(line.substr(0, line.find(' ')));
    }
    count.Connections = connections.size();
    return count;
}

class TKeepAliveTest : public TTransferTest
{
protected:
    void SetUp() override
    {
        TTransferTest::SetUp();
        site = Home().Folder() + "www";
        for (int n = 0; n < kPages; ++n)
            ASSERT_TRUE(WriteFileAtomic(site + "/p" + std::to_string(n) + ".html", PageText(n)));
        app->SetCAFile(Certificates().CAFile());
    }

    static void SetUpTestSuite() { s_certificates = std::make_unique<THXTestCertificates>(); }
    static void TearDownTestSuite() { s_certificates.reset(); }
    static const THXTestCertificates& Certificates() { return *s_certificates; }

    void UseFeatures(bool keepAlive, bool compression)
    {
        THTTPFeatures features;
        features.KeepAlive = keepAlive;
        features.Compression = compression;
        slots->SetHTTPFeatures(features);
        slots->SetAskHeadFirst(!keepAlive);
    }

    // Fetches the URL into a fresh item through the slot; false when it did not end.
    bool Fetch(const std::string& url, THXQItem*& item)
    {
        item = AddItem(url);
        return FetchToEnd(*item);
    }

    static constexpr int kPages = 12;
    std::string site;
    static std::unique_ptr<THXTestCertificates> s_certificates;
};

std::unique_ptr<THXTestCertificates> TKeepAliveTest::s_certificates;

TEST_F(TKeepAliveTest, OneSlotReusesItsConnectionOverHttpAndHttps)
{
    if (!Certificates().Ready())
        GTEST_SKIP() << Certificates().Error();
    THXSecureNginx nginx(site, {Certificates().Good()});
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();

    // Classic first: one connection per exchange, HEAD and GET each. Then the kept
    // connection: every page of a scheme over one connection.
    for (const bool keepAlive : {false, true})
    {
        UseFeatures(keepAlive, false);
        for (const bool secure : {false, true})
        {
            const TLogCount before = CountLog(nginx.AccessLog());
            for (int n = 0; n < kPages; ++n)
            {
                const std::string path = "/p" + std::to_string(n) + ".html";
                THXQItem* item = nullptr;
                ASSERT_TRUE(Fetch(secure ? nginx.SecureURL(0, path) : nginx.URL(path), item));
                EXPECT_EQ(item->State, kStateSaved) << path << " " << item->StatusText;
                EXPECT_EQ(ReadWholeFile(LocalPath(item->URL)).value_or(""), PageText(n)) << path;
                EXPECT_NE(Slot().Connection().State(), TqkHTTPState::hsError);
            }
            // nginx writes its log line after answering: give it a moment.
            ASSERT_TRUE(PumpUntil([&] { return CountLog(nginx.AccessLog()).Requests >= before.Requests + kPages; }));
            const TLogCount after = CountLog(nginx.AccessLog());
            const std::size_t requests = after.Requests - before.Requests;
            const std::size_t connections = after.Connections - before.Connections;
            if (keepAlive)
            {
                EXPECT_EQ(requests, static_cast<std::size_t>(kPages)) << (secure ? "https" : "http");
                EXPECT_EQ(connections, 1U) << (secure ? "https" : "http");
            }
            else
            {
                EXPECT_EQ(requests, static_cast<std::size_t>(2 * kPages));
                EXPECT_EQ(connections, requests);
            }
        }
    }
}

TEST_F(TKeepAliveTest, ServersThatCloseKeptConnectionsLoseNoItem)
{
    if (!Certificates().Ready())
        GTEST_SKIP() << Certificates().Error();
    // nginx ends a connection after three requests (saying so) and drops one that
    // has been idle for a second (without a word).
    THXSecureNginx nginx(site, {Certificates().Good()}, "    keepalive_requests 3;\n    keepalive_timeout 1s;\n");
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();
    UseFeatures(true, true);
    for (const bool secure : {false, true})
    {
        const TLogCount before = CountLog(nginx.AccessLog());
        for (int n = 0; n < kPages; ++n)
        {
            if (n == kPages / 2)
                std::this_thread::sleep_for(1500ms);
            const std::string path = "/p" + std::to_string(n) + ".html";
            THXQItem* item = nullptr;
            ASSERT_TRUE(Fetch(secure ? nginx.SecureURL(0, path) : nginx.URL(path), item));
            EXPECT_EQ(item->State, kStateSaved) << path << " " << item->StatusText;
            EXPECT_EQ(ReadWholeFile(LocalPath(item->URL)).value_or(""), PageText(n)) << path;
        }
        ASSERT_TRUE(PumpUntil([&] { return CountLog(nginx.AccessLog()).Requests >= before.Requests + kPages; }));
        const TLogCount after = CountLog(nginx.AccessLog());
        EXPECT_EQ(after.Requests - before.Requests, static_cast<std::size_t>(kPages));
        // Three requests a connection, and the idle pause starts a new one.
        EXPECT_GE(after.Connections - before.Connections, static_cast<std::size_t>(kPages / 3));
        EXPECT_LE(after.Connections - before.Connections, static_cast<std::size_t>(kPages / 3 + 1));
    }
}

TEST_F(TKeepAliveTest, KeptConnectionClosedBeforeTheAnswerIsAskedAgainOnAFreshOne)
{
    // The first connection answers as HTTP/1.1 that stays open, then closes without
    // reading the next request; every later connection answers normally.
    std::atomic<int> connection{0};
    THXTestServer server(
        [&](const TRecordedRequest& request)
        {
            const std::string body = "served " + request.Target;
            const std::string head =
                "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\n\r\n";
            TReply reply;
            reply.Send(head + body);
            if (connection++ == 0)
                reply.Pause(500ms);
            return reply;
        });
    UseFeatures(true, false);
    THXQItem* first = nullptr;
    ASSERT_TRUE(Fetch(server.URL("/a.html"), first));
    EXPECT_EQ(first->State, kStateSaved);
    THXQItem* second = nullptr;
    ASSERT_TRUE(Fetch(server.URL("/b.html"), second));
    EXPECT_EQ(second->State, kStateSaved) << second->StatusText;
    EXPECT_EQ(second->StatusText, "200 OK");
    EXPECT_EQ(ReadWholeFile(LocalPath(second->URL)).value_or(""), "served /b.html");
    EXPECT_NE(Slot().Connection().State(), TqkHTTPState::hsError) << Slot().Connection().Status();
    // The second request went over the kept connection first (unread there), then
    // over a fresh one.
    EXPECT_EQ(server.ConnectionCount(), 2U);
    ASSERT_EQ(server.RequestCount(), 2U);
    EXPECT_EQ(server.Requests().at(1).Version, "HTTP/1.1");
}

TEST_F(TKeepAliveTest, CompressedPagesAndStyleSheetsAreSavedDecodedArchivesAsServed)
{
    if (!Certificates().Ready())
        GTEST_SKIP() << Certificates().Error();
    std::string style;
    for (int rule = 0; rule < 300; ++rule)
        style += ".rule" + std::to_string(rule) + " { color: #123456; margin: 0 auto; }\n";
    ASSERT_TRUE(WriteFileAtomic(site + "/style.css", style));
    const std::string archive = Gzip(PageText(99) + style);
    ASSERT_TRUE(WriteFileAtomic(site + "/files/pack.tar.gz", archive));
    // nginx compresses pages and style sheets; the archive is sent as it is on disk
    // but labelled gzip-encoded, as many servers label .gz files.
    THXSecureNginx nginx(
        site, {Certificates().Good()},
        "    gzip on;\n    gzip_min_length 1;\n    gzip_types text/css;\n"
        "    location ~ \\.gz$ { types { application/x-gzip gz; } add_header Content-Encoding gzip; }\n");
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();

    for (const bool compression : {true, false})
    {
        UseFeatures(true, compression);
        struct TCase
        {
            std::string Path;
            std::string Expected;
        };
        for (const TCase& wanted :
             {TCase{"/p3.html", PageText(3)}, TCase{"/style.css", style}, TCase{"/files/pack.tar.gz", archive}})
        {
            for (const bool secure : {false, true})
            {
                const std::string url = secure ? nginx.SecureURL(0, wanted.Path) : nginx.URL(wanted.Path);
                const std::int64_t bytesBefore = task->TotalBytes;
                THXQItem* item = nullptr;
                ASSERT_TRUE(Fetch(url, item));
                EXPECT_EQ(item->State, kStateSaved) << url << " " << item->StatusText;
                EXPECT_EQ(ReadWholeFile(LocalPath(url)).value_or(""), wanted.Expected) << url;
                EXPECT_EQ(item->Size, static_cast<std::int64_t>(wanted.Expected.size())) << url;
                // The task counts the bytes that came over the wire: fewer than the
                // file's when the body came compressed.
                const std::int64_t received = task->TotalBytes - bytesBefore;
                const bool compressedOnTheWire = compression && wanted.Path != "/files/pack.tar.gz";
                if (compressedOnTheWire)
                    EXPECT_LT(received * 3, static_cast<std::int64_t>(wanted.Expected.size())) << url;
                else
                    EXPECT_EQ(received, static_cast<std::int64_t>(wanted.Expected.size())) << url;
            }
        }
    }
}

TEST(TContentDecoderTest, DecodesEveryWrapperInAnyPiecesAndRefusesBrokenData)
{
    const std::string text = PageText(7);
    struct TCase
    {
        TContentCoding Coding;
        std::string Bytes;
    };
    // gzip, two gzip members one after the other, zlib-wrapped and bare deflate.
    const TCase cases[] = {{TContentCoding::Gzip, Gzip(text)},
                           {TContentCoding::Gzip, Gzip(text.substr(0, 1000)) + Gzip(text.substr(1000))},
                           {TContentCoding::Deflate, Compress(text, 15)},
                           {TContentCoding::Deflate, Compress(text, -15)}};
    for (const TCase& sample : cases)
    {
        for (const std::size_t piece : {std::size_t(1), std::size_t(7), std::size_t(100000)})
        {
            TByteStream decoded;
            TContentDecoder decoder(sample.Coding, decoded);
            for (std::size_t at = 0; at < sample.Bytes.size(); at += piece)
                decoder.Write(std::string_view(sample.Bytes).substr(at, piece));
            EXPECT_TRUE(decoder.Complete()) << piece;
            EXPECT_EQ(decoded.Bytes(), text) << piece;
            EXPECT_EQ(decoder.Position(), static_cast<std::int64_t>(sample.Bytes.size()));
        }
    }

    // Cut short: not complete. Damaged: failed.
    const std::string gz = Gzip(text);
    TByteStream cutTarget;
    TContentDecoder cut(TContentCoding::Gzip, cutTarget);
    cut.Write(std::string_view(gz).substr(0, gz.size() / 2));
    EXPECT_FALSE(cut.Complete());
    std::string damaged = gz;
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x55);
    damaged[damaged.size() / 2 + 1] = static_cast<char>(damaged[damaged.size() / 2 + 1] ^ 0x55);
    TByteStream damagedTarget;
    TContentDecoder broken(TContentCoding::Gzip, damagedTarget);
    broken.Write(damaged);
    EXPECT_FALSE(broken.Complete());

    EXPECT_EQ(ContentCodingOf(" GZIP "), TContentCoding::Gzip);
    EXPECT_EQ(ContentCodingOf("x-gzip"), TContentCoding::Gzip);
    EXPECT_EQ(ContentCodingOf("deflate"), TContentCoding::Deflate);
    EXPECT_EQ(ContentCodingOf("br"), TContentCoding::Identity);
    EXPECT_EQ(ContentCodingOf("gzip, gzip"), TContentCoding::Identity);
    EXPECT_TRUE(KeepsContentCoding("/dl/src.tar.gz?x=1", "text/html"));
    EXPECT_TRUE(KeepsContentCoding("/dl/src.tgz", ""));
    EXPECT_TRUE(KeepsContentCoding("/download", "application/x-gzip; charset=binary"));
    EXPECT_FALSE(KeepsContentCoding("/style.css", "text/css"));
}

TEST_F(TKeepAliveTest, ACompressedBodyThatDoesNotDecodeIsAnError)
{
    std::string bad = Gzip(PageText(1));
    bad.resize(bad.size() - 12);
    THXTestServer server(Routes({{"/bad.html", TReply::Text(200, bad, {{"Content-Encoding", "gzip"}})}}));
    UseFeatures(true, true);
    TagHTTP http;
    http.SetFeatures(Slot().Connection().HTTPFeatures());
    http.SetURL(server.URL("/bad.html"));
    try
    {
        http.Get();
        ADD_FAILURE() << "a body cut short inside its compressed data was taken";
    }
    catch (const ESocketError& error)
    {
        EXPECT_EQ(error.Code(), kErrBadEncoding);
    }
    ASSERT_EQ(server.RequestCount(), 1U);
    EXPECT_EQ(server.Requests().at(0).Header("Accept-Encoding"), "gzip, deflate");
    EXPECT_EQ(server.Requests().at(0).Header("Connection"), "keep-alive");
}

} // namespace
} // namespace hx::test
