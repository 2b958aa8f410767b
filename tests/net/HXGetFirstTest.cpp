// Transfers that ask with one GET instead of HEAD + GET, compared with the Classic
// way on the same resources; the task's byte total in both ways.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "TransferFixture.h"
#include "net/HXThreadHTTP.h"

namespace hx::test
{
namespace
{

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const std::string kDate = "Tue, 01 Dec 2026 10:00:00 GMT";
const std::string kOlderDate = "Mon, 01 Jan 2024 00:00:00 GMT";

std::string Pattern(std::size_t size, char first)
{
    std::string bytes(size, ' ');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(first + static_cast<char>(i % 19));
    return bytes;
}

// The site as the handler sees it: the request and its target without the prefix.
using TSite = std::function<TReply(const TRecordedRequest& request, const std::string& path)>;

// Serves the same site under "/h" (fetched asking with HEAD first) and "/g"
// (fetched with one GET), so both ways get the same resources at URLs, and so
// local files, of their own. Redirects within the site use relative locations.
TRequestHandler UnderPrefixes(TSite site)
{
    return [site = std::move(site)](const TRecordedRequest& request)
    {
        const std::string& target = request.Target;
        if (target.size() < 3 || target[0] != '/' || target[2] != '/' || (target[1] != 'h' && target[1] != 'g'))
            return TReply::Text(404, "no such prefix");
        return site(request, target.substr(2));
    };
}

// Regular files below the folder, relative and sorted; none when it does not exist.
Lines FilesUnder(const std::string& folder)
{
    Lines names;
    std::error_code error;
    if (!fs::is_directory(folder, error))
        return names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
    {
        if (entry.is_regular_file())
            names.push_back(fs::relative(entry.path(), folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What one fetch of an item left behind.
struct TOutcome
{
    bool Ended = false;
    int State = -1;
    std::string StatusText;
    std::string LastModified;
    std::string BaseURL;
    std::int64_t Size = -1;
    std::optional<std::string> File; // the item's local file
    std::int64_t Bytes = 0;          // what the task's byte total grew by
    Lines Requests;                  // "METHOD path" without the prefix
    std::vector<TRecordedRequest> Raw;
    std::size_t Connections = 0;
    bool SlotFailed = false; // the slot ended in error, so the dispatcher counts an error
};

class HXGetFirstTest : public TTransferTest
{
protected:
    static std::string Prefix(bool askHeadFirst) { return askHeadFirst ? "/h" : "/g"; }

    std::string SiteURL(const THXTestServer& server, const std::string& path, bool askHeadFirst) const
    {
        return server.URL(Prefix(askHeadFirst) + path);
    }

    // Fetches the item on the first slot in the given way and collects what it did.
    TOutcome Fetch(const THXTestServer& server, THXQItem& item, bool askHeadFirst)
    {
        slots->SetAskHeadFirst(askHeadFirst);
        const std::size_t requestsBefore = server.RequestCount();
        const std::size_t connectionsBefore = server.ConnectionCount();
        const std::int64_t bytesBefore = task->TotalBytes;
        TOutcome outcome;
        Slot().Fetch(item);
        outcome.Ended = RunToEnd(Slot());
        outcome.SlotFailed = Slot().Connection().State() == TqkHTTPState::hsError;
        if (outcome.Ended)
            Reap(Slot());
        outcome.State = item.State;
        outcome.StatusText = item.StatusText;
        outcome.LastModified = item.LastModified;
        outcome.BaseURL = item.BaseURL;
        outcome.Size = item.Size;
        outcome.File = ReadWholeFile(LocalPath(item.URL));
        outcome.Bytes = task->TotalBytes - bytesBefore;
        const auto requests = server.Requests();
        for (std::size_t i = requestsBefore; i < requests.size(); ++i)
        {
            outcome.Requests.push_back(requests[i].Method + " " + requests[i].Target.substr(2));
            outcome.Raw.push_back(requests[i]);
        }
        outcome.Connections = server.ConnectionCount() - connectionsBefore;
        return outcome;
    }

    // Adds an item for the path in each way and fetches both.
    std::pair<TOutcome, TOutcome> FetchBothWays(const THXTestServer& server, const std::string& path)
    {
        THXQItem* classic = AddItem(SiteURL(server, path, true));
        THXQItem* oneGet = AddItem(SiteURL(server, path, false));
        TOutcome first = Fetch(server, *classic, true);
        TOutcome second = Fetch(server, *oneGet, false);
        return {std::move(first), std::move(second)};
    }

    // The item's fields and saved file are the same whichever way it was asked.
    static void ExpectSameItem(const TOutcome& classic, const TOutcome& oneGet)
    {
        EXPECT_TRUE(classic.Ended);
        EXPECT_TRUE(oneGet.Ended);
        EXPECT_EQ(oneGet.State, classic.State);
        EXPECT_EQ(oneGet.StatusText, classic.StatusText);
        EXPECT_EQ(oneGet.LastModified, classic.LastModified);
        EXPECT_EQ(oneGet.Size, classic.Size);
        EXPECT_EQ(oneGet.File, classic.File);
        EXPECT_EQ(oneGet.Bytes, classic.Bytes);
        EXPECT_EQ(oneGet.SlotFailed, classic.SlotFailed);
    }
};

TEST_F(HXGetFirstTest, PlainResourcesTakeOneGetAndEndAsWithHeadFirst)
{
    struct TResource
    {
        std::string Path;
        std::string Body;
        std::function<TReply(const TRecordedRequest&)> Reply;
    };
    const std::string page = Pattern(3000, 'a');
    const std::string untold = Pattern(700, 'k');
    const std::vector<std::string> pieces{Pattern(100, 'A'), Pattern(4096, 'b'), "z"};
    std::string chunked;
    for (const std::string& piece : pieces)
        chunked += piece;
    const std::vector<TResource> resources{
        {"/dir/page.html", page, [&](const TRecordedRequest& r) { return ResourceReply(r, page, kDate); }},
        {"/untold.bin", untold, [&](const TRecordedRequest&) { return TReply::UntilClose(200, untold); }},
        // Shorter than the request that asked for it.
        {"/tiny.txt", "tiny!", [](const TRecordedRequest&) { return TReply::Text(200, "tiny!"); }},
        {"/empty.txt", "", [](const TRecordedRequest&) { return TReply::Text(200, ""); }},
        {"/chunks.js", chunked, [&](const TRecordedRequest&) { return TReply::Chunked(200, pieces); }},
    };
    THXTestServer server(UnderPrefixes(
        [&](const TRecordedRequest& request, const std::string& path)
        {
            for (const TResource& resource : resources)
            {
                if (resource.Path == path)
                    return resource.Reply(request);
            }
            return TReply::Text(404, "not here");
        }));

    task->TotalBytes = 0;
    std::int64_t bodies = 0;
    for (const TResource& resource : resources)
    {
        SCOPED_TRACE(resource.Path);
        const auto [classic, oneGet] = FetchBothWays(server, resource.Path);
        EXPECT_EQ(classic.Requests, (Lines{"HEAD " + resource.Path, "GET " + resource.Path}));
        EXPECT_EQ(oneGet.Requests, (Lines{"GET " + resource.Path}));
        EXPECT_EQ(oneGet.Connections, 1u);
        ASSERT_EQ(oneGet.Raw.size(), 1u);
        EXPECT_FALSE(oneGet.Raw[0].HasHeader("Range"));
        EXPECT_FALSE(oneGet.Raw[0].HasHeader("If-Modified-Since"));
        ExpectSameItem(classic, oneGet);
        EXPECT_EQ(oneGet.State, kStateSaved);
        EXPECT_EQ(oneGet.StatusText, "200 OK");
        EXPECT_EQ(oneGet.File.value_or("<missing>"), resource.Body);
        EXPECT_EQ(oneGet.Size, static_cast<std::int64_t>(resource.Body.size()));
        // Received body bytes only: no request and no header line is counted.
        EXPECT_EQ(oneGet.Bytes, static_cast<std::int64_t>(resource.Body.size()));
        bodies += static_cast<std::int64_t>(resource.Body.size());
    }
    // Everything counted reached the task once: later refreshes add nothing.
    EXPECT_EQ(task->TotalBytes, 2 * bodies);
    Slot().RefreshShown();
    Slot().Connection().AccountBytes();
    EXPECT_EQ(task->TotalBytes, 2 * bodies);

    // The Last-Modified of the answer reaches the item in both ways.
    const auto [classic, oneGet] = FetchBothWays(server, "/dir/page.html");
    EXPECT_EQ(classic.LastModified, kDate);
    EXPECT_EQ(oneGet.LastModified, kDate);

    // Every saved file is the item's own; no part file or temporary is left.
    Lines expected;
    for (const TResource& resource : resources)
    {
        for (const bool askHeadFirst : {true, false})
        {
            const std::string path = LocalPath(SiteURL(server, resource.Path, askHeadFirst));
            expected.push_back(fs::relative(path, task->WorkingFolder()).string());
        }
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesUnder(task->WorkingFolder()), expected);
}

TEST_F(HXGetFirstTest, TheWayOfAskingReachesEverySlotPresentAndFuture)
{
    THXTestServer server(UnderPrefixes([](const TRecordedRequest& request, const std::string&)
                                       { return ResourceReply(request, "<html>x</html>"); }));
    slots->SetAskHeadFirst(false);
    EXPECT_FALSE(Slot(0).Connection().AskHeadFirst);
    slots->SetSlotCount(3, false);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(slots->Slot(i)->Connection().AskHeadFirst) << "slot " << i;

    // A slot made after the switch fetches with one GET.
    THXQItem* late = AddItem(server.URL("/g/late.html"));
    ASSERT_TRUE(FetchToEnd(*late, slots->Slot(2)));
    EXPECT_EQ(RequestLines(server), (Lines{"GET /g/late.html"}));
    EXPECT_EQ(late->State, kStateSaved);

    // Switched back, every slot asks with HEAD first again.
    slots->SetAskHeadFirst(true);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(slots->Slot(i)->Connection().AskHeadFirst) << "slot " << i;
    THXQItem* again = AddItem(server.URL("/h/again.html"));
    ASSERT_TRUE(FetchToEnd(*again, slots->Slot(1)));
    EXPECT_EQ(RequestLines(server), (Lines{"GET /g/late.html", "HEAD /h/again.html", "GET /h/again.html"}));
    EXPECT_EQ(again->State, kStateSaved);
}

TEST_F(HXGetFirstTest, RedirectsAreFollowedWithGetsAndTheirBodiesDropped)
{
    const std::string body = Pattern(2500, 'c');
    const std::string junk = Pattern(1500, 'J');
    THXTestServer server(UnderPrefixes(
        [&](const TRecordedRequest& request, const std::string& path)
        {
            // Every redirect carries a body of its own, with and without a length.
            if (path == "/start/a.html")
                return TReply::Text(301, junk, {{"Location", "../r2/b.html"}});
            if (path == "/r2/b.html")
                return TReply::UntilClose(302, junk, {{"Location", "../r3/c.html"}});
            if (path == "/r3/c.html")
                return TReply::Text(303, junk, {{"Location", "../r4/d.html"}});
            if (path == "/r4/d.html")
                return TReply::Text(307, junk, {{"Location", "../r5/e.html"}});
            if (path == "/r5/e.html")
                return TReply::Text(308, junk, {{"Location", "../end/page.html"}});
            if (path == "/end/page.html")
                return ResourceReply(request, body, kDate);
            if (path == "/loop.html")
                return TReply::Text(302, junk, {{"Location", "loop.html"}});
            if (path == "/lost.html")
                return TReply::Text(301, junk, {{"Location", "gone.html"}});
            return TReply::Text(404, junk);
        }));

    const auto [classic, oneGet] = FetchBothWays(server, "/start/a.html");
    const Lines chain{"/start/a.html", "/r2/b.html", "/r3/c.html", "/r4/d.html", "/r5/e.html", "/end/page.html"};
    Lines heads;
    Lines gets;
    for (const std::string& path : chain)
    {
        heads.push_back("HEAD " + path);
        gets.push_back("GET " + path);
    }
    heads.push_back("GET /end/page.html");
    EXPECT_EQ(classic.Requests, heads);
    EXPECT_EQ(oneGet.Requests, gets);
    ExpectSameItem(classic, oneGet);
    EXPECT_EQ(oneGet.State, kStateSaved);
    EXPECT_EQ(oneGet.StatusText, "200 OK");
    EXPECT_EQ(oneGet.LastModified, kDate);
    EXPECT_EQ(oneGet.Size, static_cast<std::int64_t>(body.size()));
    // The content lands at the asked-for item's file; the redirects' bodies are
    // neither stored nor counted.
    EXPECT_EQ(oneGet.File.value_or("<missing>"), body);
    EXPECT_EQ(oneGet.Bytes, static_cast<std::int64_t>(body.size()));
    // The page's links are resolved against the folder it came from.
    EXPECT_EQ(classic.BaseURL, DirectoryURL(SiteURL(server, "/end/page.html", true)));
    EXPECT_EQ(oneGet.BaseURL, DirectoryURL(SiteURL(server, "/end/page.html", false)));
    Lines expected{fs::relative(LocalPath(SiteURL(server, "/start/a.html", true)), task->WorkingFolder()).string(),
                   fs::relative(LocalPath(SiteURL(server, "/start/a.html", false)), task->WorkingFolder()).string()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesUnder(task->WorkingFolder()), expected);

    // A loop ends after the first GET and ten more, as an error; nothing is counted.
    THXQItem* loop = AddItem(SiteURL(server, "/loop.html", false));
    const TOutcome looped = Fetch(server, *loop, false);
    EXPECT_TRUE(looped.Ended);
    EXPECT_EQ(looped.Requests, Lines(static_cast<std::size_t>(1 + kMaxTransferHops), "GET /loop.html"));
    EXPECT_EQ(looped.State, kStateError);
    EXPECT_EQ(looped.StatusText, "Too many redirects (302 Found)");
    EXPECT_FALSE(looped.File.has_value());
    EXPECT_EQ(looped.Bytes, 0);

    // A redirect to a missing resource: two GETs, an error, no file, nothing counted.
    const auto [lostClassic, lostOneGet] = FetchBothWays(server, "/lost.html");
    EXPECT_EQ(lostClassic.Requests, (Lines{"HEAD /lost.html", "HEAD /gone.html"}));
    EXPECT_EQ(lostOneGet.Requests, (Lines{"GET /lost.html", "GET /gone.html"}));
    ExpectSameItem(lostClassic, lostOneGet);
    EXPECT_EQ(lostOneGet.State, kStateError);
    EXPECT_EQ(lostOneGet.StatusText, "404 Not Found");
    EXPECT_FALSE(lostOneGet.File.has_value());
    EXPECT_EQ(lostOneGet.Bytes, 0);
    EXPECT_EQ(FilesUnder(task->WorkingFolder()), expected);
}

TEST_F(HXGetFirstTest, EachRelativeLocationIsResolvedAgainstTheHopBeforeIt)
{
    const std::string body = Pattern(1800, 'h');
    THXTestServer server(UnderPrefixes(
        [&](const TRecordedRequest& request, const std::string& path)
        {
            if (path == "/r1/start.htm")
                return TReply::Text(302, "", {{"Location", "sub/one.htm"}});
            if (path == "/r1/sub/one.htm")
                return TReply::Text(302, "", {{"Location", "two.htm"}});
            if (path == "/r1/sub/two.htm")
                return ResourceReply(request, body, kDate);
            return TReply::Text(404, "wrong folder");
        }));
    const auto [classic, oneGet] = FetchBothWays(server, "/r1/start.htm");
    EXPECT_EQ(classic.Requests,
              (Lines{"HEAD /r1/start.htm", "HEAD /r1/sub/one.htm", "HEAD /r1/sub/two.htm", "GET /r1/sub/two.htm"}));
    EXPECT_EQ(oneGet.Requests, (Lines{"GET /r1/start.htm", "GET /r1/sub/one.htm", "GET /r1/sub/two.htm"}));
    ExpectSameItem(classic, oneGet);
    EXPECT_EQ(oneGet.State, kStateSaved);
    EXPECT_EQ(oneGet.File.value_or("<missing>"), body);
    EXPECT_EQ(oneGet.BaseURL, DirectoryURL(SiteURL(server, "/r1/sub/two.htm", false)));
}

TEST_F(HXGetFirstTest, TheGetsOwnAnswerDecidesWhenHeadSaysOtherwise)
{
    const std::string body = Pattern(3000, 'd');
    const std::string old = "<html>kept</html>";
    THXTestServer server(UnderPrefixes(
        [&](const TRecordedRequest& request, const std::string& path)
        {
            const bool head = request.Method == "HEAD";
            // HEAD says here, GET says elsewhere.
            if (path == "/moved.html")
                return head ? TReply::Raw(ResponseHead(200, {{"Content-Length", "10"}}))
                            : TReply::Text(302, "moved", {{"Location", "target.html"}});
            if (path == "/target.html")
                return ResourceReply(request, body, kDate);
            // HEAD ignores If-Modified-Since; GET answers it.
            if (path == "/same.html")
                return head || request.Header("If-Modified-Since") != kDate
                           ? ResourceReply(TRecordedRequest{}, body, kDate)
                           : TReply::NotModified();
            // HEAD refused, with a length of its own; GET tells none.
            if (path == "/nohead.bin")
                return head ? TReply::Raw(ResponseHead(405, {{"Content-Length", "7"}}))
                            : TReply::UntilClose(200, body, {{"Last-Modified", kDate}});
            return TReply::Text(404, "");
        }));

    const auto [movedClassic, movedOneGet] = FetchBothWays(server, "/moved.html");
    EXPECT_EQ(movedClassic.Requests,
              (Lines{"HEAD /moved.html", "GET /moved.html", "HEAD /target.html", "GET /target.html"}));
    ExpectSameItem(movedClassic, movedOneGet);
    EXPECT_EQ(movedClassic.State, kStateSaved);
    EXPECT_EQ(movedClassic.StatusText, "200 OK");
    EXPECT_EQ(movedClassic.File.value_or("<missing>"), body);

    for (const bool askHeadFirst : {true, false})
    {
        SCOPED_TRACE(askHeadFirst ? "HEAD first" : "one GET");
        const std::string url = SiteURL(server, "/same.html", askHeadFirst);
        ASSERT_TRUE(WriteFileAtomic(LocalPath(url), old));
        THXQItem* item = AddItem(url, kModeUpdate, "200 OK", kDate, static_cast<std::int64_t>(old.size()));
        const TOutcome outcome = Fetch(server, *item, askHeadFirst);
        EXPECT_EQ(outcome.State, kStateUpdated);
        EXPECT_EQ(outcome.StatusText, "304 Not Modified");
        EXPECT_FALSE(outcome.SlotFailed);
        EXPECT_EQ(outcome.File.value_or("<missing>"), old);
    }

    const auto [noHeadClassic, noHeadOneGet] = FetchBothWays(server, "/nohead.bin");
    ExpectSameItem(noHeadClassic, noHeadOneGet);
    EXPECT_EQ(noHeadClassic.State, kStateSaved);
    EXPECT_EQ(noHeadClassic.StatusText, "200 OK");
    EXPECT_EQ(noHeadClassic.LastModified, kDate);
    EXPECT_EQ(noHeadClassic.Size, static_cast<std::int64_t>(body.size()));
    EXPECT_EQ(noHeadClassic.File.value_or("<missing>"), body);
}

TEST_F(HXGetFirstTest, ItemFieldsComeFromTheLastAnswerNotTheRedirects)
{
    // The redirect tells a length and a date of its own; the page after it tells
    // neither, so its size is what arrived and it has no date.
    const std::string body = Pattern(2500, 'p');
    THXTestServer server(UnderPrefixes(
        [&](const TRecordedRequest&, const std::string& path)
        {
            if (path == "/old/place.html")
                return TReply::Text(301, Pattern(1500, 'r'),
                                    {{"Location", "../new/place.html"}, {"Last-Modified", kOlderDate}});
            if (path == "/new/place.html")
                return TReply::UntilClose(200, body);
            return TReply::Text(404, "");
        }));
    const auto [classic, oneGet] = FetchBothWays(server, "/old/place.html");
    EXPECT_EQ(oneGet.Requests, (Lines{"GET /old/place.html", "GET /new/place.html"}));
    for (const TOutcome* outcome : {&classic, &oneGet})
    {
        SCOPED_TRACE(outcome == &classic ? "HEAD first" : "one GET");
        EXPECT_EQ(outcome->State, kStateSaved);
        EXPECT_EQ(outcome->File.value_or("<missing>"), body);
        EXPECT_EQ(outcome->Size, static_cast<std::int64_t>(body.size()));
        EXPECT_EQ(outcome->LastModified, "");
        EXPECT_EQ(outcome->Bytes, static_cast<std::int64_t>(body.size()));
    }
}

TEST_F(HXGetFirstTest, NotFoundAndServerErrorsSaveNothing)
{
    const std::string missing = Pattern(2000, 'm');
    const std::string broken = Pattern(1200, 'e');
    THXTestServer server(UnderPrefixes(
        [&](const TRecordedRequest&, const std::string& path)
        {
            if (path == "/broken.html")
                return TReply::Text(500, broken);
            if (path == "/silent.html")
                // A 404 whose body never comes: nothing may wait for it.
                return TReply().Send(ResponseHead(404, {{"Content-Length", "5000"}})).Stall();
            return TReply::Text(404, missing);
        }));

    for (const std::string& path : Lines{"/gone.html", "/silent.html"})
    {
        SCOPED_TRACE(path);
        const auto [classic, oneGet] = FetchBothWays(server, path);
        EXPECT_EQ(classic.Requests, (Lines{"HEAD " + path}));
        EXPECT_EQ(oneGet.Requests, (Lines{"GET " + path}));
        ExpectSameItem(classic, oneGet);
        EXPECT_EQ(oneGet.State, kStateError);
        EXPECT_EQ(oneGet.StatusText, "404 Not Found");
        EXPECT_FALSE(oneGet.File.has_value());
        EXPECT_EQ(oneGet.Bytes, 0);
        EXPECT_EQ(classic.Bytes, 0);
    }

    // Any other answer is asked for with GET in both ways; its body is received
    // and counted, but not saved.
    const auto [classic, oneGet] = FetchBothWays(server, "/broken.html");
    EXPECT_EQ(classic.Requests, (Lines{"HEAD /broken.html", "GET /broken.html"}));
    EXPECT_EQ(oneGet.Requests, (Lines{"GET /broken.html"}));
    ExpectSameItem(classic, oneGet);
    EXPECT_EQ(oneGet.State, kStateError);
    EXPECT_EQ(oneGet.StatusText, "500 Internal Server Error");
    EXPECT_FALSE(oneGet.File.has_value());
    EXPECT_EQ(oneGet.Bytes, static_cast<std::int64_t>(broken.size()));
    EXPECT_EQ(FilesUnder(task->WorkingFolder()), Lines{});
}

TEST_F(HXGetFirstTest, PartialAnswerToAWholeRequestIsTakenAsTheResourceBothWays)
{
    // A server that answers every request with 206 and the whole resource: no range
    // was asked, so the answer is the resource itself, its length the item's size.
    const std::string body = Pattern(1800, 'w');
    const THeaderFields fields = {{"Content-Range", "bytes 0-1799/1800"}, {"Last-Modified", kDate}};
    THXTestServer server(UnderPrefixes(
        [&](const TRecordedRequest& request, const std::string&)
        {
            if (request.Method == "HEAD")
            {
                THeaderFields head = fields;
                head.emplace_back("Content-Length", std::to_string(body.size()));
                return TReply::Raw(ResponseHead(206, head));
            }
            return TReply::Text(206, body, fields);
        }));

    const auto [classic, oneGet] = FetchBothWays(server, "/whole.bin");
    EXPECT_EQ(classic.Requests, (Lines{"HEAD /whole.bin", "GET /whole.bin"}));
    EXPECT_EQ(oneGet.Requests, (Lines{"GET /whole.bin"}));
    for (const TOutcome* outcome : {&classic, &oneGet})
    {
        for (const TRecordedRequest& request : outcome->Raw)
            EXPECT_EQ(request.Header("Range"), "") << request.Method;
    }
    ExpectSameItem(classic, oneGet);
    EXPECT_EQ(oneGet.State, kStateSaved);
    EXPECT_EQ(oneGet.StatusText, "206 Partial Content");
    EXPECT_EQ(oneGet.LastModified, kDate);
    EXPECT_EQ(oneGet.Size, static_cast<std::int64_t>(body.size()));
    EXPECT_EQ(oneGet.File.value_or("<missing>"), body);
}

TEST_F(HXGetFirstTest, UpdateItemsAskWithOneConditionalGet)
{
    const std::string fresh = "<html>new contents</html>";
    THXTestServer server(UnderPrefixes(
        [&](const TRecordedRequest& request, const std::string& path)
        {
            if (path == "/same.html" && request.Header("If-Modified-Since") == kDate)
            {
                // Told the size of what it already has, and no body follows: a client
                // that waited for one would wait until the server goes.
                TReply reply;
                reply.Send(ResponseHead(304, {{"Content-Length", "4000"}, {"Last-Modified", kDate}})).Stall();
                return reply;
            }
            return ResourceReply(request, fresh, kDate);
        }));

    const std::string old = "<html>old</html>";
    const auto before = fs::file_time_type::clock::now() - std::chrono::hours(2);
    for (const bool askHeadFirst : {true, false})
    {
        SCOPED_TRACE(askHeadFirst ? "HEAD first" : "one GET");
        const std::string url = SiteURL(server, "/same.html", askHeadFirst);
        const std::string path = LocalPath(url);
        ASSERT_TRUE(WriteFileAtomic(path, old));
        fs::last_write_time(path, before);
        THXQItem* item = AddItem(url, kModeUpdate, "200 OK", kDate, static_cast<std::int64_t>(old.size()));
        const auto started = std::chrono::steady_clock::now();
        const TOutcome outcome = Fetch(server, *item, askHeadFirst);
        EXPECT_TRUE(outcome.Ended);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
        EXPECT_EQ(outcome.Requests, (Lines{(askHeadFirst ? "HEAD" : "GET") + std::string(" /same.html")}));
        ASSERT_EQ(outcome.Raw.size(), 1u);
        EXPECT_EQ(outcome.Raw[0].Header("If-Modified-Since"), kDate);
        EXPECT_EQ(outcome.State, kStateUpdated);
        EXPECT_EQ(outcome.StatusText, "304 Not Modified");
        EXPECT_EQ(outcome.LastModified, kDate);
        EXPECT_EQ(outcome.File.value_or("<missing>"), old);
        EXPECT_EQ(fs::last_write_time(path), before);
        EXPECT_EQ(outcome.Bytes, 0);
    }

    // A changed resource comes whole with the same one GET.
    const std::string changedURL = SiteURL(server, "/changed.html", false);
    THXQItem* changed = AddItem(changedURL, kModeUpdate, "200 OK", kOlderDate, 3);
    ASSERT_TRUE(WriteFileAtomic(LocalPath(changedURL), "old"));
    const TOutcome outcome = Fetch(server, *changed, false);
    EXPECT_EQ(outcome.Requests, (Lines{"GET /changed.html"}));
    ASSERT_EQ(outcome.Raw.size(), 1u);
    EXPECT_EQ(outcome.Raw[0].Header("If-Modified-Since"), kOlderDate);
    EXPECT_EQ(outcome.State, kStateSaved);
    EXPECT_EQ(outcome.StatusText, "200 OK");
    EXPECT_EQ(outcome.LastModified, kDate);
    EXPECT_EQ(outcome.Size, static_cast<std::int64_t>(fresh.size()));
    EXPECT_EQ(outcome.File.value_or("<missing>"), fresh);
    EXPECT_EQ(outcome.Bytes, static_cast<std::int64_t>(fresh.size()));

    // Nothing but the items' own files is left in the working folder.
    Lines expected;
    for (const std::string& url :
         {SiteURL(server, "/same.html", true), SiteURL(server, "/same.html", false), changedURL})
        expected.push_back(fs::relative(LocalPath(url), task->WorkingFolder()).string());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesUnder(task->WorkingFolder()), expected);
}

TEST_F(HXGetFirstTest, ResumedItemsStillAskWithHeadThenARange)
{
    const std::string whole = Pattern(8000, 'A');
    const std::string old = std::string(4999, 'o') + "x";
    const std::string broken = Pattern(5000, 'a');
    std::atomic<bool> breakOff{true};
    THXTestServer server(UnderPrefixes(
        [&](const TRecordedRequest& request, const std::string& path)
        {
            if (path == "/file.bin")
            {
                if (request.Method == "GET" && !request.HasHeader("Range") && breakOff)
                {
                    TReply reply;
                    // The pause lets the client take the bytes in before the reset.
                    reply.Send(ResponseHead(200, {{"Content-Length", "5000"}}) + broken.substr(0, 1000))
                        .Pause(std::chrono::milliseconds(400))
                        .Reset();
                    return reply;
                }
                return ResourceReply(request, broken);
            }
            return ResourceReply(request, whole, kDate, "application/octet-stream");
        }));

    // An item left incomplete: HEAD and GET both ask from the last byte on disk.
    const std::string url = SiteURL(server, "/big.bin", false);
    THXQItem* item = AddItem(url, kModeDownload, "Incomplete (5000 bytes)");
    ASSERT_TRUE(WriteFileAtomic(LocalPath(url), old));
    const TOutcome resumed = Fetch(server, *item, false);
    EXPECT_TRUE(resumed.Ended);
    EXPECT_EQ(resumed.Requests, (Lines{"HEAD /big.bin", "GET /big.bin"}));
    for (const TRecordedRequest& request : resumed.Raw)
        EXPECT_NE(request.Raw.find("\r\nRange:Bytes=4999-\r\n"), std::string::npos) << request.Raw;
    EXPECT_EQ(resumed.State, kStateSaved);
    EXPECT_EQ(resumed.StatusText, "206 Partial Content");
    EXPECT_EQ(resumed.LastModified, kDate);
    const std::string saved = resumed.File.value_or("");
    ASSERT_EQ(saved.size(), whole.size());
    EXPECT_EQ(saved.substr(0, 4999), old.substr(0, 4999));
    EXPECT_EQ(saved.substr(4999), whole.substr(4999));
    // Only what came over the network counts, not the part already on disk.
    EXPECT_EQ(resumed.Bytes, static_cast<std::int64_t>(whole.size() - 4999));

    // A body broken off in the one-GET way is kept, and its next fetch resumes it
    // with HEAD and a ranged GET.
    const std::string brokenURL = SiteURL(server, "/file.bin", false);
    THXQItem* cut = AddItem(brokenURL);
    const TOutcome first = Fetch(server, *cut, false);
    EXPECT_TRUE(first.Ended);
    EXPECT_EQ(first.Requests, (Lines{"GET /file.bin"}));
    EXPECT_EQ(first.State, kStateDownloading);
    EXPECT_EQ(first.StatusText, "Incomplete (1000 bytes)");
    EXPECT_EQ(first.File.value_or(""), broken.substr(0, 1000));
    EXPECT_EQ(first.Bytes, 1000);

    breakOff = false;
    const TOutcome second = Fetch(server, *cut, false);
    EXPECT_EQ(second.Requests, (Lines{"HEAD /file.bin", "GET /file.bin"}));
    ASSERT_EQ(second.Raw.size(), 2u);
    EXPECT_EQ(second.Raw[0].Header("Range"), "Bytes=999-");
    EXPECT_EQ(second.Raw[1].Header("Range"), "Bytes=999-");
    EXPECT_EQ(second.State, kStateSaved);
    EXPECT_EQ(second.File.value_or(""), broken);
    EXPECT_EQ(second.Bytes, static_cast<std::int64_t>(broken.size() - 999));
}

TEST_F(HXGetFirstTest, BodyCutShortByACleanCloseIsIncompleteAndResumes)
{
    const std::string body = Pattern(5000, 'w');
    const std::vector<std::string> pieces{body.substr(0, 1000), body.substr(1000)};
    std::atomic<bool> cutShort{true};
    THXTestServer server(UnderPrefixes(
        [&](const TRecordedRequest& request, const std::string& path)
        {
            if (request.HasHeader("Range") || !cutShort)
                return ResourceReply(request, body, kDate, "application/octet-stream");
            const bool head = request.Method == "HEAD";
            if (path == "/length.bin")
            {
                // 5000 bytes announced, 1000 sent, then an orderly close.
                const std::string answer = ResponseHead(200, {{"Content-Length", "5000"}, {"Last-Modified", kDate}});
                return TReply::Raw(head ? answer : answer + pieces[0]);
            }
            // The first chunk, then a close where the next size line belongs.
            const std::string answer = ResponseHead(200, {{"Transfer-Encoding", "chunked"}, {"Last-Modified", kDate}});
            return TReply::Raw(head ? answer : answer + "3E8\r\n" + pieces[0] + "\r\n");
        }));

    for (const std::string path : {"/length.bin", "/chunks.bin"})
    {
        SCOPED_TRACE(path);
        cutShort = true;
        THXQItem* item = AddItem(SiteURL(server, path, false));
        const TOutcome classic = Fetch(server, *AddItem(SiteURL(server, path, true)), true);
        const TOutcome oneGet = Fetch(server, *item, false);
        ExpectSameItem(classic, oneGet);
        // As any broken transfer: the slot ends in error and the bytes are kept for a resume.
        EXPECT_TRUE(oneGet.SlotFailed);
        EXPECT_EQ(oneGet.State, kStateDownloading);
        EXPECT_EQ(oneGet.StatusText, "Incomplete (1000 bytes)");
        EXPECT_EQ(oneGet.File.value_or("<missing>"), pieces[0]);
        EXPECT_EQ(oneGet.Bytes, 1000);

        // The next fetch resumes from the last byte on disk and finishes the file.
        cutShort = false;
        const TOutcome resumed = Fetch(server, *item, false);
        EXPECT_FALSE(resumed.SlotFailed);
        EXPECT_EQ(resumed.Requests, (Lines{"HEAD " + path, "GET " + path}));
        ASSERT_EQ(resumed.Raw.size(), 2u);
        EXPECT_EQ(resumed.Raw[1].Header("Range"), "Bytes=999-");
        EXPECT_EQ(resumed.State, kStateSaved);
        EXPECT_EQ(resumed.StatusText, "206 Partial Content");
        EXPECT_EQ(resumed.File.value_or("<missing>"), body);
    }
}

TEST_F(HXGetFirstTest, BrokenOrStoppedBodyIsRecordedAsWithHeadFirst)
{
    const std::string body = Pattern(5000, 'q');
    const std::string head = ResponseHead(200, {{"Content-Length", "5000"}, {"Last-Modified", kDate}});
    THXTestServer server(UnderPrefixes(
        [&](const TRecordedRequest& request, const std::string& path)
        {
            if (request.Method == "HEAD")
                return TReply::Raw(head);
            TReply reply;
            reply.Send(head + body.substr(0, 1000));
            if (path == "/reset.bin")
                // The pause lets the client take the bytes in before the reset.
                reply.Pause(std::chrono::milliseconds(400)).Reset();
            else
                reply.Stall();
            return reply;
        }));

    // The connection is reset after the first thousand bytes.
    const auto [classic, oneGet] = FetchBothWays(server, "/reset.bin");
    EXPECT_EQ(classic.Requests, (Lines{"HEAD /reset.bin", "GET /reset.bin"}));
    EXPECT_EQ(oneGet.Requests, (Lines{"GET /reset.bin"}));
    ExpectSameItem(classic, oneGet);
    EXPECT_EQ(oneGet.State, kStateDownloading);
    EXPECT_EQ(oneGet.StatusText, "Incomplete (1000 bytes)");
    EXPECT_EQ(oneGet.File.value_or(""), body.substr(0, 1000));
    EXPECT_EQ(oneGet.Bytes, 1000);

    // Stopped while the body stalls after the first thousand bytes.
    std::vector<TOutcome> stopped;
    for (const bool askHeadFirst : {true, false})
    {
        slots->SetAskHeadFirst(askHeadFirst);
        const std::string url = SiteURL(server, "/stall.bin", askHeadFirst);
        THXQItem* item = AddItem(url);
        const std::int64_t bytesBefore = task->TotalBytes;
        Slot().Fetch(*item);
        ASSERT_TRUE(PumpUntil([&] { return Slot().Connection().Bytes() >= 1000; }));
        Slot().Stop();
        task->ReloadItem(*item);
        TOutcome outcome;
        outcome.Ended = true;
        outcome.State = item->State;
        outcome.StatusText = item->StatusText;
        outcome.LastModified = item->LastModified;
        outcome.Size = item->Size;
        outcome.File = ReadWholeFile(LocalPath(url));
        outcome.Bytes = task->TotalBytes - bytesBefore;
        stopped.push_back(outcome);
    }
    ExpectSameItem(stopped[0], stopped[1]);
    EXPECT_EQ(stopped[1].State, kStateDownloading);
    EXPECT_EQ(stopped[1].StatusText, "Incomplete (1000 bytes)");
    EXPECT_EQ(stopped[1].File.value_or(""), body.substr(0, 1000));
    EXPECT_EQ(stopped[1].Bytes, 1000);
}

} // namespace
} // namespace hx::test
