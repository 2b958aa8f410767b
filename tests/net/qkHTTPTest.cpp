#include "net/qkHTTP.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "TransferFixture.h"
#include "core/HXApp.h"
#include "net/HXThreadHTTP.h"

namespace hx::test
{
namespace
{

using Lines = std::vector<std::string>;

const std::string kDate = "Tue, 01 Dec 2026 10:00:00 GMT";

std::string Pattern(std::size_t size, char first)
{
    std::string bytes(size, ' ');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(first + static_cast<char>(i % 23));
    return bytes;
}

// ---- Response facts ----

TEST(TResponseFactsTest, StatusLineAndKnownHeadersKeepingEarlierValues)
{
    TResponseFacts facts;
    ReadResponseFacts({"HTTP/1.1 404 Not Found", "Server: Plain/1.0", "date: " + kDate,
                       "Content-Type: text/html; charset=utf-8", "X-Other: y", ""},
                      facts);
    EXPECT_EQ(facts.StatusCode, "404");
    EXPECT_EQ(facts.ReplyText, "404 Not Found");
    EXPECT_EQ(facts.Server, "Plain/1.0");
    EXPECT_EQ(facts.Date, kDate);
    EXPECT_EQ(facts.ContentType, "text/html; charset=utf-8");

    // A second response without those fields keeps them; Location takes one word.
    ReadResponseFacts(
        {"HTTP/1.0 302 Found", "LOCATION:  /next.html trailing", "Content-Length: 12", "Last-Modified: " + kDate, ""},
        facts);
    EXPECT_EQ(facts.StatusCode, "302");
    EXPECT_EQ(facts.ReplyText, "302 Found");
    EXPECT_EQ(facts.Location, "/next.html");
    EXPECT_EQ(facts.ContentLength, "12");
    EXPECT_EQ(facts.LastModified, kDate);
    EXPECT_EQ(facts.Server, "Plain/1.0");

    // No status line: the code stays; a header name only as a prefix of another is not taken.
    ReadResponseFacts({"garbage", "Dated: no", ""}, facts);
    EXPECT_EQ(facts.StatusCode, "302");
    EXPECT_EQ(facts.Date, kDate);
}

TEST(TResponseFactsTest, StatusIsTheCodeAsANumberAndTellsWhatTheTransferDoes)
{
    // No code, a number, and a code that is none: a missing code asks for another
    // attempt, one that is not a number ends the transfer like any unknown answer.
    const std::vector<std::pair<std::string, int>> lines = {{"HTTP/1.1 206 Partial Content", 206},
                                                            {"HTTP/1.0 304", 304},
                                                            {"HTTP/1.1  200 OK", kNoStatus},
                                                            {"HTTP/1.1 2xx OK", kBadStatus},
                                                            {"HTTP/1.1 -200 OK", kBadStatus}};
    EXPECT_EQ(TResponseFacts().Status(), kNoStatus);
    for (const auto& [line, status] : lines)
    {
        TResponseFacts facts;
        ReadResponseFacts({line, ""}, facts);
        EXPECT_EQ(facts.Status(), status) << line;
    }

    for (const int status : {301, 302, 303, 307, 308})
    {
        EXPECT_TRUE(IsRedirectStatus(status)) << status;
        EXPECT_TRUE(AnsweredByHead(status)) << status;
    }
    for (const int status : {300, 304, 305, 200, kNoStatus, kBadStatus})
        EXPECT_FALSE(IsRedirectStatus(status)) << status;
    EXPECT_TRUE(AnsweredByHead(304));
    EXPECT_TRUE(AnsweredByHead(404));
    for (const int status : {200, 206, 410, 500, kNoStatus, kBadStatus})
        EXPECT_FALSE(AnsweredByHead(status)) << status;
    // Only a 2xx answer's body becomes the item's file.
    for (const int status : {200, 206, 299})
        EXPECT_TRUE(IsSuccessStatus(status)) << status;
    for (const int status : {199, 300, 2, kNoStatus, kBadStatus})
        EXPECT_FALSE(IsSuccessStatus(status)) << status;
}

// ---- Whole transfers ----

class TqkHTTPTest : public TTransferTest
{
};

TEST_F(TqkHTTPTest, PlainFetchSavesTheFileAndRecordsTheResponse)
{
    const std::string body = Pattern(3000, 'a');
    THXTestServer server([&](const TRecordedRequest& request)
                         { return ResourceReply(request, body, kDate, "text/html"); });
    const std::string url = server.URL("/dir/page.html");
    THXQItem* item = AddItem(url);

    THXSocket& slot = Slot();
    slot.Fetch(*item);
    EXPECT_NE(slot.Connection().State(), TqkHTTPState::hsIdle);
    EXPECT_EQ(task->RecordField(0, 0), "1"); // marked downloading before the transfer runs
    ASSERT_TRUE(RunToEnd(slot));
    EXPECT_EQ(slot.Connection().Tag(), 1);
    EXPECT_EQ(slot.Connection().State(), TqkHTTPState::hsComplete);
    EXPECT_EQ(slot.Connection().Status(), "Connection closed");
    const TResponseFacts facts = slot.Connection().ThreadHTTP()->Facts();
    EXPECT_EQ(facts.StatusCode, "200");
    EXPECT_EQ(facts.ContentType, "text/html");
    Reap(slot);

    EXPECT_EQ(RequestLines(server), (Lines{"HEAD /dir/page.html", "GET /dir/page.html"}));
    const auto requests = server.Requests();
    EXPECT_FALSE(requests[1].HasHeader("Range"));
    EXPECT_FALSE(requests[0].HasHeader("If-Modified-Since"));
    EXPECT_EQ(requests[1].Header("User-Agent"), DefaultAgentText());

    EXPECT_EQ(item->State, kStateSaved);
    EXPECT_EQ(item->StatusText, "200 OK");
    EXPECT_EQ(item->LastModified, kDate);
    EXPECT_EQ(item->Size, 3000);
    const std::string path = LocalPath(url);
    EXPECT_EQ(item->LocalFile, path);
    EXPECT_EQ(path.rfind(task->WorkingFolder(), 0), 0u);
    EXPECT_EQ(ReadWholeFile(path).value_or("<missing>"), body);
    EXPECT_GE(task->TotalBytes, 3000);
    EXPECT_EQ(slot.ShownURL, url);
    EXPECT_EQ(slot.ShownSize, 3000);
    EXPECT_EQ(slot.Connection().ThreadHTTP(), nullptr);
}

TEST_F(TqkHTTPTest, SizeComesFromTheGetsAnswerOrElseFromTheBody)
{
    const std::string body = Pattern(700, 'k');
    THXTestServer server(
        [&](const TRecordedRequest& request)
        {
            if (request.Target == "/told.bin")
                return request.Method == "HEAD" ? TReply::Raw("HTTP/1.0 200 OK\r\nContent-Length: 12345\r\n\r\n")
                                                : TReply::UntilClose(200, body);
            return request.Method == "HEAD" ? TReply::Raw("HTTP/1.0 200 OK\r\n\r\n") : TReply::UntilClose(200, body);
        });
    THXQItem* told = AddItem(server.URL("/told.bin"));
    THXQItem* untold = AddItem(server.URL("/untold.bin"));
    ASSERT_TRUE(FetchToEnd(*told));
    ASSERT_TRUE(FetchToEnd(*untold));
    // The HEAD's length is not the GET's: what the GET brought counts.
    EXPECT_EQ(told->Size, 700);
    EXPECT_EQ(untold->Size, 700);
    EXPECT_EQ(told->State, kStateSaved);
    EXPECT_EQ(ReadWholeFile(LocalPath(server.URL("/untold.bin"))).value_or(""), body);
    // Exactly one GET per item.
    EXPECT_EQ(RequestLines(server), (Lines{"HEAD /told.bin", "GET /told.bin", "HEAD /untold.bin", "GET /untold.bin"}));
}

TEST_F(TqkHTTPTest, NotFoundAndOtherCodesEndAsErrorsWithoutAFile)
{
    THXTestServer server(
        [](const TRecordedRequest& request)
        {
            if (request.Target == "/gone.html")
                return TReply::Text(404, "missing");
            return TReply::Text(500, "broken");
        });
    THXQItem* gone = AddItem(server.URL("/gone.html"));
    ASSERT_TRUE(FetchToEnd(*gone));
    EXPECT_EQ(RequestLines(server), (Lines{"HEAD /gone.html"})); // no GET after a 404
    EXPECT_EQ(gone->State, kStateError);
    EXPECT_EQ(gone->StatusText, "404 Not Found");
    EXPECT_FALSE(FileExists(LocalPath(server.URL("/gone.html"))));

    // Any other code is asked for with GET, but its body is not saved.
    THXQItem* broken = AddItem(server.URL("/broken.html"));
    ASSERT_TRUE(FetchToEnd(*broken));
    EXPECT_EQ(RequestLines(server), (Lines{"HEAD /gone.html", "HEAD /broken.html", "GET /broken.html"}));
    EXPECT_EQ(broken->State, kStateError);
    EXPECT_EQ(broken->StatusText, "500 Internal Server Error");
    EXPECT_FALSE(FileExists(LocalPath(server.URL("/broken.html"))));
}

TEST_F(TqkHTTPTest, RedirectsAreFollowedAndTheFileKeepsTheItemsName)
{
    const std::string body = "<html>moved here</html>";
    THXTestServer server(
        [&](const TRecordedRequest& request)
        {
            if (request.Target == "/a/page.html")
                return TReply::Redirect(302, "moved/new.html");
            if (request.Target == "/a/moved/new.html")
                return ResourceReply(request, body);
            if (request.Target == "/loop.html")
                return TReply::Redirect(302, "/loop.html");
            if (request.Target == "/away.html")
                return TReply::Redirect(302, "ftp://files.example/x");
            return TReply::Text(404, "");
        });
    const std::string url = server.URL("/a/page.html");
    THXQItem* item = AddItem(url);
    ASSERT_TRUE(FetchToEnd(*item));
    EXPECT_EQ(RequestLines(server), (Lines{"HEAD /a/page.html", "HEAD /a/moved/new.html", "GET /a/moved/new.html"}));
    EXPECT_EQ(item->State, kStateSaved);
    EXPECT_EQ(item->URL, url);
    EXPECT_EQ(ReadWholeFile(LocalPath(url)).value_or(""), body);
    EXPECT_FALSE(FileExists(LocalPath(server.URL("/a/moved/new.html"))));

    // A redirect loop ends after the first HEAD and ten more, as an error that says so.
    THXQItem* loop = AddItem(server.URL("/loop.html"));
    Slot().Fetch(*loop);
    ASSERT_TRUE(RunToEnd(Slot()));
    EXPECT_EQ(Slot().Connection().State(), TqkHTTPState::hsError);
    EXPECT_EQ(Slot().Connection().Status(), "Too many redirects (302 Found)");
    Reap(Slot());
    EXPECT_EQ(server.RequestCount(), 3u + 11u);
    EXPECT_EQ(loop->State, kStateError);
    EXPECT_EQ(loop->StatusText, "Too many redirects (302 Found)");
    EXPECT_FALSE(FileExists(LocalPath(server.URL("/loop.html"))));

    // A redirect to a URL the crawl refuses fails with "Invalid URL".
    THXQItem* away = AddItem(server.URL("/away.html"));
    Slot().Fetch(*away);
    ASSERT_TRUE(RunToEnd(Slot()));
    EXPECT_EQ(Slot().Connection().State(), TqkHTTPState::hsError);
    EXPECT_EQ(Slot().Connection().Status(), "Invalid URL");
    Reap(Slot());
    EXPECT_EQ(away->State, kStateDownloading); // the dispatcher makes it an error
    ASSERT_TRUE(PumpUntil([&] { return !messages.empty(); }));
    EXPECT_EQ(messages.back(), "Invalid URL");
    EXPECT_EQ(beeps, 0);
}

TEST_F(TqkHTTPTest, UnchangedUpdateItemEndsUpdatedWithoutAGet)
{
    THXTestServer server([](const TRecordedRequest& request)
                         { return ResourceReply(request, "<html>new</html>", kDate); });
    const std::string url = server.URL("/same.html");
    THXQItem* item = AddItem(url, kModeUpdate, "200 OK", kDate, 11);
    const std::string path = LocalPath(url);
    ASSERT_TRUE(WriteFileAtomic(path, "<html>old</html>"));

    Slot().Fetch(*item);
    EXPECT_EQ(task->RecordField(0, 0), "2"); // an update item is marked updating
    ASSERT_TRUE(RunToEnd(Slot()));
    EXPECT_EQ(Slot().Connection().State(), TqkHTTPState::hsComplete);
    Reap(Slot());
    EXPECT_EQ(RequestLines(server), (Lines{"HEAD /same.html"}));
    EXPECT_EQ(server.Requests()[0].Header("If-Modified-Since"), kDate);
    EXPECT_EQ(item->State, kStateUpdated);
    EXPECT_EQ(item->StatusText, "304 Not Modified");
    EXPECT_EQ(ReadWholeFile(path).value_or(""), "<html>old</html>");

    // A changed resource of an update item is fetched and saved whole.
    THXQItem* changed = AddItem(server.URL("/changed.html"), kModeUpdate, "200 OK", "Mon, 01 Jan 2024 00:00:00 GMT");
    ASSERT_TRUE(FetchToEnd(*changed));
    EXPECT_EQ(changed->State, kStateSaved);
    EXPECT_EQ(changed->LastModified, kDate);
    EXPECT_EQ(ReadWholeFile(LocalPath(server.URL("/changed.html"))).value_or(""), "<html>new</html>");
}

TEST_F(TqkHTTPTest, IncompleteFileIsResumedWithARange)
{
    const std::string fresh = Pattern(8000, 'A');
    const std::string old = std::string(4999, 'o') + "x";
    THXTestServer server([&](const TRecordedRequest& request) { return ResourceReply(request, fresh); });

    const std::string url = server.URL("/big.bin");
    THXQItem* item = AddItem(url, kModeDownload, "Incomplete (5000 bytes)");
    ASSERT_TRUE(WriteFileAtomic(LocalPath(url), old));
    ASSERT_TRUE(FetchToEnd(*item));
    EXPECT_EQ(RequestLines(server), (Lines{"HEAD /big.bin", "GET /big.bin"}));
    for (const auto& request : server.Requests())
        EXPECT_NE(request.Raw.find("\r\nRange:Bytes=4999-\r\n"), std::string::npos) << request.Raw;
    EXPECT_EQ(item->State, kStateSaved);
    EXPECT_EQ(item->StatusText, "206 Partial Content");
    const std::string saved = ReadWholeFile(LocalPath(url)).value_or("");
    ASSERT_EQ(saved.size(), 8000u);
    EXPECT_EQ(saved.substr(0, 4999), old.substr(0, 4999));
    EXPECT_EQ(saved.substr(4999), fresh.substr(4999));

    // A server that ignores the range sends everything; the whole new body is kept.
    THXTestServer plain([&](const TRecordedRequest&) { return TReply::Text(200, fresh); });
    const std::string plainURL = plain.URL("/big.bin");
    THXQItem* again = AddItem(plainURL, kModeDownload, "Incomplete (5000 bytes)");
    ASSERT_TRUE(WriteFileAtomic(LocalPath(plainURL), old));
    ASSERT_TRUE(FetchToEnd(*again));
    const auto requests = plain.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].HasHeader("Range"));
    EXPECT_FALSE(requests[1].HasHeader("Range"));
    EXPECT_EQ(again->StatusText, "200 OK");
    EXPECT_EQ(ReadWholeFile(LocalPath(plainURL)).value_or(""), fresh);
}

TEST_F(TqkHTTPTest, AResumeContinuesOnlyTheFileItHasWithTheSameResource)
{
    const std::string fresh = Pattern(8000, 'F');
    const std::string old(1000, 'o');
    const std::string olderDate = "Mon, 01 Jan 2024 00:00:00 GMT";
    // "/range-head.bin": HEAD honours the range, GET ignores it and sends everything.
    // "/wrong-range.bin": 206 to any range, always from byte 0.
    // Anything else: a plain resource of kDate that honours If-Range.
    THXTestServer server(
        [&](const TRecordedRequest& request)
        {
            if (request.Target == "/range-head.bin" && request.Method == "GET")
                return TReply::Text(200, fresh, {{"Last-Modified", kDate}});
            if (request.Target == "/wrong-range.bin" && request.HasHeader("Range"))
                return TReply::Text(206, fresh, {{"Content-Range", "bytes 0-7999/8000"}, {"Last-Modified", kDate}});
            if (request.HasHeader("If-Range") && request.Header("If-Range") != kDate)
            {
                TRecordedRequest whole = request;
                whole.Fields.clear();
                return ResourceReply(whole, fresh, kDate);
            }
            return ResourceReply(request, fresh, kDate);
        });

    for (const std::string path : {"/range-head.bin", "/wrong-range.bin", "/changed.bin", "/gone.bin"})
    {
        SCOPED_TRACE(path);
        const std::string url = server.URL(path);
        const std::size_t before = server.RequestCount();
        THXQItem* item =
            AddItem(url, kModeDownload, "Incomplete (1000 bytes)", path == "/changed.bin" ? olderDate : kDate);
        if (path != "/gone.bin")
        {
            ASSERT_TRUE(WriteFileAtomic(LocalPath(url), old));
        }
        ASSERT_TRUE(FetchToEnd(*item));
        EXPECT_EQ(item->State, kStateSaved);
        // Never the old bytes spliced with the new, never a tail alone.
        EXPECT_EQ(ReadWholeFile(LocalPath(url)).value_or("<missing>"), fresh);

        const auto requests = server.Requests();
        Lines asked;
        for (std::size_t i = before; i < requests.size(); ++i)
            asked.push_back(requests[i].Method + (requests[i].HasHeader("Range") ? " ranged " : " whole ") +
                            requests[i].Header("If-Range"));
        Lines expected{"HEAD whole ", "GET whole "}; // nothing on disk to continue: no range
        if (path == "/range-head.bin")
            expected = {"HEAD ranged " + kDate, "GET ranged " + kDate};
        else if (path == "/wrong-range.bin")
            expected = {"HEAD ranged " + kDate, "GET ranged " + kDate, "GET whole "};
        else if (path == "/changed.bin")
            // The stored date no longer matches: the server answers with everything.
            expected = {"HEAD ranged " + olderDate, "GET whole "};
        EXPECT_EQ(asked, expected);
    }
}

TEST_F(TqkHTTPTest, BrokenBodyIsKeptAsIncompleteAndResumedNextTime)
{
    const std::string body = Pattern(5000, 'a');
    std::atomic<bool> breakOff{true};
    THXTestServer server(
        [&](const TRecordedRequest& request)
        {
            if (request.Method == "GET" && breakOff)
            {
                TReply reply;
                // The pause lets the client take the bytes in before the reset.
                reply.Send(ResponseHead(200, {{"Content-Length", "5000"}}) + body.substr(0, 1000)).Pause(400ms).Reset();
                return reply;
            }
            return ResourceReply(request, body);
        });
    const std::string url = server.URL("/file.bin");
    THXQItem* item = AddItem(url);
    Slot().Fetch(*item);
    ASSERT_TRUE(RunToEnd(Slot()));
    EXPECT_EQ(Slot().Connection().State(), TqkHTTPState::hsError);
    EXPECT_NE(Slot().Connection().Status().find("10054"), std::string::npos) << Slot().Connection().Status();
    Reap(Slot());
    EXPECT_EQ(item->State, kStateDownloading);
    EXPECT_EQ(item->StatusText, "Incomplete (1000 bytes)");
    EXPECT_EQ(ReadWholeFile(LocalPath(url)).value_or(""), body.substr(0, 1000));

    // The next run asks for the rest, starting on the last byte it has.
    breakOff = false;
    ASSERT_TRUE(FetchToEnd(*item));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[3].Header("Range"), "Bytes=999-");
    EXPECT_EQ(item->State, kStateSaved);
    EXPECT_EQ(ReadWholeFile(LocalPath(url)).value_or(""), body);
}

TEST_F(TqkHTTPTest, UnknownHostIsNamedInTheStatusTextAndShownOnTheSlot)
{
    // The error report then says which host could not be found.
    THXQItem* item = AddItem("http://nowhere.invalid/page.html", kModeDownload, "earlier text");
    Slot().Connection().HTTP().SetResolver([](const std::string&) { return THostLookup{kSockHostNotFound, {}}; });
    Slot().Fetch(*item);
    ASSERT_TRUE(RunToEnd(Slot()));
    EXPECT_EQ(Slot().Connection().State(), TqkHTTPState::hsError);
    EXPECT_EQ(Slot().Connection().Status(), "[11001] Host not found");
    Reap(Slot());
    EXPECT_EQ(item->StatusText, "[11001] Host not found: nowhere.invalid");
    EXPECT_EQ(item->State, kStateDownloading);
    EXPECT_EQ(Slot().ShownStatus, "[11001] Host not found");

    // An interrupted item keeps the text that says where the next run resumes.
    THXQItem* broken = AddItem("http://nowhere.invalid/big.zip", kModeDownload, "Incomplete (5000 bytes)");
    Slot().Fetch(*broken);
    ASSERT_TRUE(RunToEnd(Slot()));
    Reap(Slot());
    EXPECT_EQ(broken->StatusText, "Incomplete (5000 bytes)");
}

TEST_F(TqkHTTPTest, CredentialsAndAgentFollowTheTaskAndTheSettings)
{
    THXTestServer server([](const TRecordedRequest& request) { return ResourceReply(request, "x"); });
    task->UserName = "site";
    task->Password = "secret";
    THXQItem* first = AddItem(server.URL("/one.html"));
    ASSERT_TRUE(FetchToEnd(*first));

    // The agent choice changes between two transfers: "Anonymous" sends no agent.
    app->SetUserAgentChoice("Anonymous");
    task->Password.clear(); // a user name alone sends no credentials
    THXQItem* second = AddItem(server.URL("/two.html"));
    ASSERT_TRUE(FetchToEnd(*second));

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    for (int i = 0; i < 2; ++i)
    {
        EXPECT_EQ(requests[i].Header("Authorization"), "Basic " + EncodeBase64("site:secret"));
        EXPECT_EQ(requests[i].Header("User-Agent"), DefaultAgentText());
    }
    for (int i = 2; i < 4; ++i)
    {
        EXPECT_FALSE(requests[i].HasHeader("Authorization"));
        EXPECT_FALSE(requests[i].HasHeader("User-Agent"));
    }
}

TEST_F(TqkHTTPTest, ProxyIsUsedWhileSwitchedOnAndNotAfter)
{
    // The test server plays the proxy: it sees the absolute URL in the request line.
    THXTestServer proxy([](const TRecordedRequest&) { return TReply::Text(200, "via proxy"); });
    THXTestServer site([](const TRecordedRequest&) { return TReply::Text(200, "direct"); });
    app->SetUseProxy(true);
    app->SetProxyAddress("127.0.0.1");
    app->SetProxyPort(std::to_string(proxy.Port()));
    app->SetProxyAuthorization("puser:p:ss");

    const std::string remote = "http://www.site.example/dir/p.html";
    THXQItem* viaProxy = AddItem(remote);
    ASSERT_TRUE(FetchToEnd(*viaProxy));
    EXPECT_EQ(viaProxy->State, kStateSaved);
    EXPECT_EQ(ReadWholeFile(LocalPath(remote)).value_or(""), "via proxy");
    const auto seen = proxy.Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].Raw.substr(0, seen[0].Raw.find("\r\n")), "HEAD http://www.site.example/dir/p.html HTTP/1.0");
    EXPECT_EQ(seen[1].Raw.substr(0, seen[1].Raw.find("\r\n")), "GET http://www.site.example/dir/p.html HTTP/1.0");
    EXPECT_EQ(seen[1].Header("Host"), "www.site.example");
    EXPECT_EQ(seen[1].Header("Proxy-Authorization"), "Basic " + EncodeBase64("puser:p:ss"));

    // Switched off between two transfers: the next goes direct, with no proxy credentials.
    app->SetUseProxy(false);
    THXQItem* direct = AddItem(site.URL("/d.html"));
    ASSERT_TRUE(FetchToEnd(*direct));
    EXPECT_EQ(proxy.RequestCount(), 2u);
    const auto direct_seen = site.Requests();
    ASSERT_EQ(direct_seen.size(), 2u);
    EXPECT_EQ(direct_seen[1].Target, "/d.html");
    EXPECT_FALSE(direct_seen[1].HasHeader("Proxy-Authorization"));
    EXPECT_EQ(ReadWholeFile(LocalPath(site.URL("/d.html"))).value_or(""), "direct");

    // Switched on with no address: direct, and the proxy's credentials stay unsent.
    app->SetUseProxy(true);
    app->SetProxyAddress("");
    THXQItem* noAddress = AddItem(site.URL("/n.html"));
    ASSERT_TRUE(FetchToEnd(*noAddress));
    EXPECT_EQ(noAddress->State, kStateSaved);
    EXPECT_EQ(proxy.RequestCount(), 2u);
    const auto unproxied = site.Requests();
    ASSERT_EQ(unproxied.size(), 4u);
    for (std::size_t i = 2; i < unproxied.size(); ++i)
    {
        EXPECT_EQ(unproxied[i].Target, "/n.html");
        EXPECT_FALSE(unproxied[i].HasHeader("Proxy-Authorization")) << unproxied[i].Raw;
    }
}

TEST_F(TqkHTTPTest, FileThatCannotBeCreatedIsReportedAndTheItemFails)
{
    THXTestServer server([](const TRecordedRequest& request) { return ResourceReply(request, "body"); });
    const std::string url = server.URL("/blocked/page.html");
    // A plain file where the folder of the saved page has to go.
    const std::string path = LocalPath(url);
    ASSERT_TRUE(WriteFileAtomic(ExtractFilePath(path).substr(0, ExtractFilePath(path).size() - 1), "in the way"));
    THXQItem* item = AddItem(url);
    ASSERT_TRUE(FetchToEnd(*item));
    EXPECT_EQ(Slot().Connection().Status(), "Connection closed");
    // An error of its kind, with no local file: it is not asked for again in this run.
    EXPECT_EQ(item->State, kStateError);
    EXPECT_EQ(item->StatusText, kFileNotCreatedText);
    EXPECT_TRUE(item->LocalFile.empty());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error: Failed to create file: " + path);
    EXPECT_EQ(beeps, 1);
}

TEST_F(TqkHTTPTest, StopEndsAStalledTransferQuickly)
{
    // Stop on an idle slot does nothing.
    Slot().Stop();
    EXPECT_EQ(Slot().Connection().State(), TqkHTTPState::hsIdle);

    THXTestServer server([](const TRecordedRequest&) { return TReply().Stall(); });
    THXQItem* item = AddItem(server.URL("/slow.html"), kModeDownload, "before");
    Slot().Fetch(*item);
    ASSERT_TRUE(server.WaitForRequests(1, 10s));
    const auto started = std::chrono::steady_clock::now();
    Slot().Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_EQ(Slot().Connection().State(), TqkHTTPState::hsIdle);
    EXPECT_EQ(Slot().Connection().ThreadHTTP(), nullptr);
    EXPECT_EQ(Slot().Connection().Tag(), 1);
    EXPECT_FALSE(Slot().TransferEnded()); // the dispatcher does not see a stopped slot end
    task->ReloadItem(*item);
    EXPECT_EQ(item->StatusText, "before");
    EXPECT_EQ(item->State, kStateDownloading);
}

TEST_F(TqkHTTPTest, StopAfterBytesArrivedSavesThemForResuming)
{
    const std::string head = ResponseHead(200, {{"Content-Length", "4000"}});
    THXTestServer server(
        HeadAndGet("/part.bin", TReply::Raw(head), TReply().Send(head + std::string(1500, 'p')).Stall()));
    const std::string url = server.URL("/part.bin");
    THXQItem* item = AddItem(url);
    Slot().Fetch(*item);
    // The owner loop keeps running meanwhile: the transfer publishes after HEAD.
    ASSERT_TRUE(PumpUntil([&] { return Slot().Connection().Bytes() >= 1500; }));
    Slot().Stop();
    EXPECT_EQ(Slot().Connection().State(), TqkHTTPState::hsIdle);
    task->ReloadItem(*item);
    EXPECT_EQ(item->State, kStateDownloading);
    EXPECT_EQ(item->StatusText, "Incomplete (1500 bytes)");
    EXPECT_EQ(item->Size, 4000);
    EXPECT_EQ(ReadWholeFile(LocalPath(url)).value_or(""), std::string(1500, 'p'));
    EXPECT_GE(task->TotalBytes, 1500);
}

TEST_F(TqkHTTPTest, StartAndStopRaceEndsCleanlyEveryTime)
{
    // Stalling, quick and broken answers, so stops land before, during and after
    // the transfer's hand-overs to the owner thread.
    std::atomic<int> served{0};
    THXTestServer server(
        [&](const TRecordedRequest& request)
        {
            const int n = served++;
            if (n % 3 == 0)
                return TReply().Stall();
            if (n % 3 == 1)
                return ResourceReply(request, "tiny");
            TReply reply;
            reply.Send(ResponseHead(200, {{"Content-Length", "100"}}) + "12345").Reset();
            return reply;
        });
    slots->SetSlotCount(3, false);
    std::vector<THXQItem*> items;
    for (int i = 0; i < 3; ++i)
        items.push_back(AddItem(server.URL("/r" + std::to_string(i) + ".html")));

    const auto started = std::chrono::steady_clock::now();
    constexpr int kRounds = 600;
    for (int round = 0; round < kRounds; ++round)
    {
        THXSocket& slot = *slots->Slot(round % 3);
        THXQItem& item = *items[static_cast<std::size_t>(round % 3)];
        task->SetItemState(item, kStateNone);
        slot.Fetch(item);
        if (round % 4 == 1)
            owner.ProcessPending(1ms);
        else if (round % 4 == 2)
            std::this_thread::sleep_for(std::chrono::microseconds(200 * (round % 7)));
        if (round % 10 == 9)
        {
            // Destroying a busy slot stops it too.
            slots->Destroy(&slot);
            slots->SetSlotCount(3, false);
            continue;
        }
        if (slot.TransferEnded())
            Reap(slot);
        slot.Stop();
        ASSERT_EQ(slot.Connection().State(), TqkHTTPState::hsIdle) << "round " << round;
        ASSERT_EQ(slot.Connection().ThreadHTTP(), nullptr);
    }
    // Every slot can still transfer afterwards.
    server.SetHandler([](const TRecordedRequest& request) { return ResourceReply(request, "final"); });
    for (int i = 0; i < 3; ++i)
    {
        task->SetItemState(*items[static_cast<std::size_t>(i)], kStateNone);
        ASSERT_TRUE(FetchToEnd(*items[static_cast<std::size_t>(i)], slots->Slot(i)));
        EXPECT_EQ(items[static_cast<std::size_t>(i)]->State, kStateSaved);
    }
    // Ending with transfers running: the list's destructor stops them.
    for (int i = 0; i < 3; ++i)
        slots->Slot(i)->Fetch(*items[static_cast<std::size_t>(i)]);
    slots.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
}

TEST_F(TqkHTTPTest, OwnerLoopOnAThreadOfItsOwn)
{
    // As in the program: the owner loop runs on its own thread, this thread plays
    // the dispatcher and hands Fetch, Stop and the reaping to the loop.
    const std::string head = ResponseHead(200, {{"Content-Length", "900"}});
    std::atomic<int> served{0};
    THXTestServer server(
        [&](const TRecordedRequest& request)
        {
            if (request.Target == "/stall.bin")
                return request.Method == "HEAD" ? TReply::Raw(head)
                                                : TReply().Send(head + std::string(500, 'b')).Stall();
            return (served++ % 2 == 0) ? ResourceReply(request, "quick") : TReply().Stall();
        });
    std::thread loop([this] { owner.Run(); });
    THXSocket& slot = Slot();
    THXQItem* item = AddItem(server.URL("/q.html"));
    for (int round = 0; round < 100; ++round)
    {
        owner.Invoke([&] { slot.Fetch(*item); });
        std::this_thread::sleep_for(std::chrono::microseconds(100 * (round % 10)));
        if (slot.TransferEnded())
            owner.Invoke([&] { Reap(slot); });
        owner.Invoke([&] { slot.Stop(); });
        ASSERT_EQ(slot.Connection().State(), TqkHTTPState::hsIdle);
    }

    // A transfer that waits for data while the loop closes: destroying its slot
    // from this thread still ends it, its last hand-over abandoned.
    THXQItem* stalled = AddItem(server.URL("/stall.bin"));
    owner.Invoke([&] { slot.Fetch(*stalled); });
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (slot.Connection().Bytes() < 500 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(slot.Connection().Bytes(), 500);
    owner.Quit();
    loop.join();
    const auto started = std::chrono::steady_clock::now();
    slots.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    // What was published before the loop closed stays; the broken body could not be recorded.
    EXPECT_EQ(task->RecordField(stalled->Index / 2, 1), "200 OK");
}

} // namespace
} // namespace hx::test
