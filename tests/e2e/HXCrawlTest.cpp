// Whole-site copies through the real pipeline: the task runner, the dispatcher, the
// transfer slots, the parse worker and the Zip feed, against the generated test
// site served on 127.0.0.1 by the test server and by nginx. Waits are shortened
// (the same code paths with 2 ms steps), so a copy of 200 pages takes a moment.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>

#include "HXRunSession.h"
#include "core/HXApp.h"
#include "core/HXDateTime.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "reports/HXErrorReport.h"
#include "schedule/HXSchedule.h"
#include "shell/HXFirstRun.h"
#include "support/HXNginxFixture.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"
#include "support/HXTestSite.h"

namespace hx::test
{
namespace
{

using namespace std::chrono_literals;
namespace fs = std::filesystem;

TRunOptions QuickOptions()
{
    TRunOptions options;
    // The Classic pacing's code paths with short steps.
    TRunPacing pacing;
    pacing.Parse.SleepStep = 2ms;
    pacing.Parse.SleepSteps = 1;
    pacing.Parse.StatusWait = 0ms;
    pacing.Dispatch.SleepStep = 2ms;
    pacing.ZipFeedPeriod = 2ms;
    options.Pacing = pacing;
    return options;
}

// Runs a shell command; its exit status and what it printed.
struct TCommandResult
{
    int Status = -1;
    std::string Output;
};

TCommandResult RunCommand(const std::string& command)
{
    TCommandResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;)
        result.Output.append(buffer, got);
    const int status = ::pclose(pipe);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// One item of a finished queue, read back from its record.
struct TQueueEntry
{
    std::string URL;
    int State = 0;
    std::string LocalFile;
    std::string Group;
};

std::map<std::string, TQueueEntry> QueueEntries(THXTask& task)
{
    std::map<std::string, TQueueEntry> entries;
    for (int pair = 0; pair < task.ItemCount(); ++pair)
    {
        THXQItem* item = task.Item(pair);
        task.ReloadItem(*item);
        entries[item->URL] = {item->URL, item->State, item->LocalFile, item->Group};
    }
    return entries;
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The generated site, written once for the whole suite.
class HXCrawlTest : public THXSandboxTest
{
protected:
    static void SetUpTestSuite()
    {
        s_siteFolder = std::make_unique<TTempFolder>();
        s_site = std::make_unique<TTestSite>(GenerateTestSite(s_siteFolder->Path() / "site"));
    }
    static void TearDownTestSuite()
    {
        s_site.reset();
        s_siteFolder.reset();
    }

    void SetUp() override
    {
        THXSandboxTest::SetUp();
        setenv("HARBEX_DATA_DIR", HX_SOURCE_DATA_DIR, 1);
        m_app = std::make_unique<THXApp>(THXEnvironment::FromProcess());
        FirstRunSetup(*m_app);
        // The site's files are served from a copy, so a test may change them.
        fs::copy(s_site->Folder, Home().Path() / "site", fs::copy_options::recursive);
        TTestSite site = *s_site;
        site.Folder = Home().Path() / "site";
        m_state = std::make_shared<TSiteState>(site);
    }
    void TearDown() override
    {
        ReleaseHeldPages();
        m_session.reset();
        m_server.reset();
        m_app.reset();
        THXSandboxTest::TearDown();
    }

    const TTestSite& Site() const { return m_state->Site(); }

    std::string StartWithTestServer()
    {
        m_server = std::make_unique<THXTestServer>(SiteHandler(m_state));
        return m_server->URL("/" + Site().StartPage);
    }

    // Holds the answers to page requests once `pagesServed` pages have been asked for,
    // until ReleaseHeldPages (or a limit): a run stopped at a third of the pages is
    // stopped in the middle however fast the machine copies the rest.
    struct TPageGate
    {
        std::mutex Mutex;
        std::condition_variable Opened;
        bool Open = false;
        int Asked = 0;
    };
    std::string StartWithHeldPages(int pagesServed)
    {
        std::set<std::string> pageTargets;
        for (const std::string& page : Site().Pages)
            pageTargets.insert(SiteTarget(page));
        m_gate = std::make_shared<TPageGate>();
        m_server = std::make_unique<THXTestServer>(
            [site = SiteHandler(m_state), gate = m_gate, pageTargets, pagesServed](const TRecordedRequest& request)
            {
                if (request.Method == "GET" && pageTargets.count(request.Target) != 0)
                {
                    std::unique_lock lock(gate->Mutex);
                    if (++gate->Asked > pagesServed)
                        gate->Opened.wait_for(lock, 60s, [&] { return gate->Open; });
                }
                return site(request);
            });
        return m_server->URL("/" + Site().StartPage);
    }
    void ReleaseHeldPages()
    {
        if (!m_gate)
            return;
        {
            std::lock_guard lock(m_gate->Mutex);
            m_gate->Open = true;
        }
        m_gate->Opened.notify_all();
    }

    std::shared_ptr<THXTask> NewTask(const std::string& url, std::vector<std::string> options)
    {
        std::vector<std::string> arguments = std::move(options);
        auto task = NewCopyTask(*m_app, arguments, url);
        task->Save();
        return task;
    }

    TRunSession& Session()
    {
        if (!m_session)
            m_session = std::make_unique<TRunSession>(*m_app, m_err, QuickOptions());
        return *m_session;
    }

    TRunResult Run(const std::shared_ptr<THXTask>& task, int runMode,
                   const std::function<bool(THXTask&)>& stopWhen = {})
    {
        task->RunMode = runMode;
        return Session().RunTask(task, 60000ms, stopWhen);
    }

    // The local file of a site path in a copy below `root`.
    std::string LocalFileOf(const std::string& root, const std::string& startURL, const std::string& path) const
    {
        const std::string origin = startURL.substr(0, startURL.find('/', std::string("http://").size()));
        return LocalFileName(root, DirectoryURL(startURL), origin + SiteTarget(path));
    }

    // The site paths a whole-site copy must hold: every file but those reached only
    // through a style sheet (style sheets are stored, not scanned) or a redirect (the
    // answer is stored under the address that was asked for), and those addresses.
    std::vector<std::string> ExpectedPaths() const
    {
        std::vector<std::string> paths;
        for (const std::string& path : Site().Paths)
        {
            const auto only = Site().OnlyVia.find(path);
            if (only == Site().OnlyVia.end() ||
                (only->second != TReachedBy::Stylesheet && only->second != TReachedBy::Redirect))
                paths.push_back(path);
        }
        for (const TSiteRedirect& redirect : Site().Redirects)
            paths.push_back(redirect.From);
        return paths;
    }

    // Broken links of a copy: none, the links to the site's missing pages included (a
    // link to an address whose fetch failed is given back its address when the run ends).
    std::vector<TBrokenLink> BrokenLinks(const std::string& root, TLinkCheckStats& stats)
    {
        return CheckLocalLinks(root, &stats);
    }

    // The copied pages below `root` that hold the address as a link (between double or
    // single quotes), as a text for messages; empty when none.
    std::string PagesLinkingTo(const std::string& root, const std::string& address)
    {
        std::string pages;
        for (const auto& entry : fs::recursive_directory_iterator(root))
        {
            // The reports ("!" names) list addresses of their own.
            if (!entry.is_regular_file() || entry.path().filename().string().starts_with("!") ||
                (entry.path().extension() != ".html" && entry.path().extension() != ".htm"))
                continue;
            const std::string text = ReadWholeFile(entry.path().string()).value_or("");
            if (text.find("\"" + address + "\"") != std::string::npos ||
                text.find("'" + address + "'") != std::string::npos)
                pages += entry.path().string() + " ";
        }
        return pages;
    }

    // GET requests per target; a redirect's target is asked for twice (once for its
    // own link, once through the redirect).
    void ExpectEachFetchedOnce()
    {
        std::map<std::string, int> gets;
        for (const TRecordedRequest& request : m_server->Requests())
            if (request.Method == "GET")
                ++gets[request.Target];
        std::set<std::string> redirectTargets;
        for (const TSiteRedirect& redirect : Site().Redirects)
        {
            const auto only = Site().OnlyVia.find(redirect.To);
            if (only == Site().OnlyVia.end() || only->second != TReachedBy::Redirect)
                redirectTargets.insert(SiteTarget(redirect.To));
        }
        for (const auto& [target, count] : gets)
            EXPECT_EQ(count, redirectTargets.contains(target) ? 2 : 1) << target;
    }

    // A complete copy below `root`. After a SmartUpdate the items end as "Updated"
    // and the counters hold both runs.
    void ExpectCompleteCopy(THXTask& task, const std::string& root, const std::string& startURL, bool updated = false)
    {
        for (const std::string& path : ExpectedPaths())
        {
            const std::string file = LocalFileOf(root, startURL, path);
            EXPECT_TRUE(fs::is_regular_file(file)) << path << " -> " << file;
        }
        TLinkCheckStats stats;
        const std::vector<TBrokenLink> broken = BrokenLinks(root, stats);
        EXPECT_TRUE(broken.empty()) << broken.size() << " broken, first: " << broken.front().Page << " -> "
                                    << broken.front().Link;
        EXPECT_GE(stats.Pages, static_cast<int>(Site().Pages.size()));

        // Every item ended: pages parsed, resources saved, the missing page an error.
        int pages = 0;
        int errors = 0;
        for (const auto& [url, entry] : QueueEntries(task))
        {
            const bool page = entry.Group == "HTML";
            pages += page ? 1 : 0;
            if (entry.State == kStateError)
            {
                ++errors;
                continue;
            }
            if (updated)
                EXPECT_TRUE(entry.State == kStateUpdated || entry.State == (page ? kStateParsed : kStateSaved)) << url;
            else
                EXPECT_EQ(entry.State, page ? kStateParsed : kStateSaved) << url;
        }
        if (!updated)
        {
            EXPECT_EQ(task.PagesSaved + task.ResourcesSaved, task.ItemCount());
            EXPECT_EQ(task.PageErrors + task.ResourceErrors, errors);
        }
        EXPECT_GE(errors, static_cast<int>(Site().Missing.size()));
        EXPECT_GE(pages, static_cast<int>(Site().Pages.size()));
    }

    std::ostringstream m_err;
    std::unique_ptr<THXApp> m_app;
    std::shared_ptr<TSiteState> m_state;
    std::unique_ptr<THXTestServer> m_server;
    std::shared_ptr<TPageGate> m_gate;
    std::unique_ptr<TRunSession> m_session;

    static std::unique_ptr<TTempFolder> s_siteFolder;
    static std::unique_ptr<TTestSite> s_site;
};

std::unique_ptr<TTempFolder> HXCrawlTest::s_siteFolder;
std::unique_ptr<TTestSite> HXCrawlTest::s_site;

TEST_F(HXCrawlTest, FolderCopyFromTheTestServer)
{
    const std::string start = StartWithTestServer();
    const std::string root = Home().Folder() + "copy/";
    auto task = NewTask(start, {"--folder", root});
    std::vector<int> statuses;
    task->OnChange = [&statuses](THXTask& changed)
    {
        if (statuses.empty() || statuses.back() != changed.Status)
            statuses.push_back(changed.Status);
    };
    const TRunResult result = Run(task, kRunRestart);
    ASSERT_TRUE(result.Completed) << m_err.str();
    EXPECT_EQ(statuses, (std::vector<int>{kStatusDownloading, kStatusComplete, kStatusTaskComplete}));
    ExpectCompleteCopy(*task, root, start);

    // The reports of an intranet run, and the error report naming the missing page.
    EXPECT_FALSE(Session().Host().SummaryFile().empty());
    EXPECT_TRUE(fs::is_regular_file(Session().Host().SummaryFile()));
    const std::string errors = ReadAll(WriteErrorReport(*task));
    for (const std::string& missing : Site().Missing)
        EXPECT_NE(errors.find(SiteTarget(missing).substr(1)), std::string::npos) << missing;
    ExpectEachFetchedOnce();
}

TEST_F(HXCrawlTest, ZipCopyFromNginx)
{
    THXNginx nginx(Site().Folder.string(), NginxExtraForSite(Site()));
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();
    const std::string start = nginx.URL("/" + Site().StartPage);
    const std::string archive = Home().Folder() + "archives/site.zip";
    auto task = NewTask(start, {"--zip", archive});
    const TRunResult result = Run(task, kRunRestart);
    ASSERT_TRUE(result.Completed) << m_err.str();
    EXPECT_EQ(task->Status, kStatusZipped);
    EXPECT_EQ(task->Destination, archive);

    // A standard archive: listed by unzip, one entry per saved file, links intact
    // once extracted.
    const TCommandResult listing = RunCommand("unzip -l '" + archive + "'");
    ASSERT_EQ(listing.Status, 0) << listing.Output;
    const fs::path extracted = Home().Path() / "extracted";
    const TCommandResult unpack = RunCommand("unzip -q '" + archive + "' -d '" + extracted.string() + "'");
    ASSERT_EQ(unpack.Status, 0) << unpack.Output;
    ExpectCompleteCopy(*task, extracted.string() + "/", start);
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(extracted))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, task->PagesSaved + task->ResourcesSaved - task->PageErrors - task->ResourceErrors);
    EXPECT_NE(listing.Output.find(" " + std::to_string(files) + " files"), std::string::npos) << listing.Output;
}

// GET requests per target from the request with index `from` on.
std::map<std::string, int> GetsSince(const THXTestServer& server, std::size_t from)
{
    std::map<std::string, int> gets;
    const std::vector<TRecordedRequest> requests = server.Requests();
    for (std::size_t index = from; index < requests.size(); ++index)
        if (requests[index].Method == "GET")
            ++gets[requests[index].Target];
    return gets;
}

TEST_F(HXCrawlTest, StopInTheMiddleThenResume)
{
    // Stopped once a third of the pages are in; the answers after two thirds wait
    // for the stop, so the run cannot end first.
    const int third = static_cast<int>(Site().Pages.size()) / 3;
    const std::string start = StartWithHeldPages(2 * third);
    const std::string root = Home().Folder() + "copy/";
    auto task = NewTask(start, {"--folder", root});
    const TRunResult first = Run(task, kRunRestart, [third](THXTask& running) { return running.PagesSaved >= third; });
    ReleaseHeldPages();
    ASSERT_TRUE(first.Interrupted);
    EXPECT_EQ(task->Status, kStatusStopped);
    ASSERT_TRUE(fs::is_regular_file(task->QueueFileName()));

    // What the stop left: saved items keep their files; items caught in transfer are
    // queued again. The queue file says the same as the queue in memory.
    std::set<std::string> saved;
    int queued = 0;
    for (const auto& [url, entry] : QueueEntries(*task))
    {
        EXPECT_NE(entry.State, kStateDownloading) << url;
        EXPECT_NE(entry.State, kStateUpdating) << url;
        if (entry.State == kStateSaved || entry.State == kStateParsed)
        {
            saved.insert(url);
            EXPECT_TRUE(fs::is_regular_file(entry.LocalFile)) << url;
        }
        queued += entry.State == kStateNone ? 1 : 0;
    }
    ASSERT_FALSE(saved.empty());
    EXPECT_GT(queued, 0);
    auto reloaded = std::make_shared<THXTask>(*m_app);
    reloaded->FileName = task->FileName;
    reloaded->Load();
    reloaded->LoadQueue();
    EXPECT_EQ(reloaded->ItemCount(), task->ItemCount());
    EXPECT_EQ(reloaded->Status, kStatusStopped);
    // Resume from the file, as a later start of the program would: nothing saved is
    // fetched again, and the copy ends complete.
    m_session.reset();
    const std::size_t mark = m_server->RequestCount();
    const TRunResult second = Run(reloaded, kRunResume);
    ASSERT_TRUE(second.Completed) << m_err.str();
    const std::string origin = start.substr(0, start.find('/', 7));
    // A redirect's target is also asked for by the item of the redirecting address.
    std::set<std::string> redirectTargets;
    for (const TSiteRedirect& redirect : Site().Redirects)
        redirectTargets.insert(SiteTarget(redirect.To));
    for (const auto& [target, count] : GetsSince(*m_server, mark))
    {
        if (!redirectTargets.contains(target))
        {
            EXPECT_FALSE(saved.contains(origin + target)) << target << " was saved before the stop";
        }
    }
    ExpectCompleteCopy(*reloaded, root, start);
}

TEST_F(HXCrawlTest, SmartUpdateFetchesOnlyChangedFiles)
{
    const std::string start = StartWithTestServer();
    const std::string root = Home().Folder() + "copy/";
    auto task = NewTask(start, {"--folder", root});
    ASSERT_TRUE(Run(task, kRunRestart).Completed) << m_err.str();

    const std::string page = Site().Pages.at(Site().Pages.size() / 2);
    std::string image;
    for (const std::string& path : Site().Paths)
        if (path.ends_with(".gif") && !Site().OnlyVia.contains(path))
            image = path;
    ASSERT_FALSE(image.empty());
    m_state->SetContent(page, "<html><head><title>Changed</title></head><body>changed page "
                              "<a href=\"/index.html\">home</a></body></html>");
    m_state->SetContent(image, "GIF89a changed");
    m_state->ResetTallies();
    const std::size_t mark = m_server->RequestCount();

    ASSERT_TRUE(Run(task, kRunSmartUpdate).Completed) << m_err.str();
    EXPECT_EQ(task->Status, kStatusTaskComplete);
    // Every saved file was asked for once more, with its date; the unchanged ones
    // were answered 304, and only the changed ones (and the addresses that redirect)
    // were answered with a body.
    std::set<std::string> answeredWithBody;
    int conditional = 0;
    for (const auto& [address, tally] : m_state->Tallies())
    {
        conditional += tally.Conditional;
        if (tally.Conditional > 0 && tally.NotModified == 0)
            answeredWithBody.insert(address);
    }
    EXPECT_GE(conditional, static_cast<int>(Site().Paths.size()) - 10);
    std::set<std::string> expectedBodies = {page, image};
    for (const TSiteRedirect& redirect : Site().Redirects)
        expectedBodies.insert(redirect.From);
    for (const std::string& address : answeredWithBody)
        EXPECT_TRUE(expectedBodies.contains(address)) << address << " was sent again unchanged";
    EXPECT_TRUE(answeredWithBody.contains(page));
    EXPECT_TRUE(answeredWithBody.contains(image));
    (void)mark;
    EXPECT_EQ(ReadAll(LocalFileOf(root, start, image)), "GIF89a changed");
    EXPECT_NE(ReadAll(LocalFileOf(root, start, page)).find("changed page"), std::string::npos);
    // Unchanged files are as they were: links intact, nothing lost.
    ExpectCompleteCopy(*task, root, start, true);
}

TEST_F(HXCrawlTest, SmartRecoveryRetriesOnlyFailures)
{
    const std::string start = StartWithTestServer();
    const std::string root = Home().Folder() + "copy/";
    std::vector<std::string> failing;
    for (const std::string& path : Site().Pages)
        if (path.starts_with("sec0") && path.find("page") != std::string::npos && failing.size() < 3)
            failing.push_back(path);
    ASSERT_EQ(failing.size(), 3u);
    for (const std::string& path : failing)
        m_state->SetFailing(path);

    auto task = NewTask(start, {"--folder", root});
    ASSERT_TRUE(Run(task, kRunRestart).Completed) << m_err.str();
    const int errorsBefore = task->PageErrors + task->ResourceErrors;
    EXPECT_GE(errorsBefore, 3 + static_cast<int>(Site().Missing.size()));
    const std::string origin = start.substr(0, start.find('/', std::string("http://").size()));
    for (const std::string& path : failing)
    {
        EXPECT_FALSE(fs::exists(LocalFileOf(root, start, path))) << path;
        // The pages that link to it link to its address.
        EXPECT_NE(PagesLinkingTo(root, origin + SiteTarget(path)), "") << path;
    }
    TLinkCheckStats stats;
    EXPECT_EQ(BrokenLinks(root, stats).size(), 0u);
    // The summary's "Links:" line: links to failed items restored to their addresses.
    EXPECT_GT(task->LinksRestored, 0);

    // The failing addresses work again; recovery, in a later session that reads the
    // task from its files, asks for the failures only.
    m_state->ClearAllFailing();
    const std::size_t mark = m_server->RequestCount();
    auto later = std::make_shared<THXTask>(*m_app);
    later->FileName = task->FileName;
    later->Load();
    task = later;
    ASSERT_TRUE(Run(task, kRunSmartRecovery).Completed) << m_err.str();
    const std::map<std::string, int> gets = GetsSince(*m_server, mark);
    std::set<std::string> expected;
    for (const std::string& path : failing)
        expected.insert(SiteTarget(path));
    for (const std::string& path : Site().Missing)
        expected.insert(SiteTarget(path));
    for (const std::string& path : failing)
    {
        EXPECT_EQ(gets.count(SiteTarget(path)), 1u) << path;
        EXPECT_TRUE(fs::is_regular_file(LocalFileOf(root, start, path))) << path;
        // Fetched now: the links lead to the local file again.
        EXPECT_EQ(PagesLinkingTo(root, origin + SiteTarget(path)), "") << path;
    }
    // Nothing that had been saved was fetched again.
    for (const auto& [target, count] : gets)
    {
        // Links first found on the recovered pages are new items, fetched once.
        if (!expected.contains(target))
        {
            EXPECT_EQ(count, 1) << target;
        }
    }
    ExpectCompleteCopy(*task, root, start);
}

TEST_F(HXCrawlTest, MapModeListsTheSiteWithoutKeepingFiles)
{
    const std::string start = StartWithTestServer();
    const std::string root = Home().Folder() + "map/";
    auto task = NewTask(start, {"--folder", root});
    ASSERT_TRUE(Run(task, kRunMap).Completed) << m_err.str();
    EXPECT_EQ(task->RunMode, kRunRestart);
    // Pages are fetched and scanned for links; media files are listed, not fetched.
    int pages = 0;
    int media = 0;
    for (const auto& [url, entry] : QueueEntries(*task))
    {
        if (entry.Group == "HTML")
        {
            ++pages;
            EXPECT_TRUE(entry.State == kStateParsed || entry.State == kStateError) << url;
        }
        else
        {
            ++media;
            EXPECT_EQ(entry.State, kStateNone) << url;
            EXPECT_FALSE(fs::exists(LocalFileName(root, DirectoryURL(start), url))) << url;
        }
    }
    EXPECT_GE(pages, static_cast<int>(Site().Pages.size()));
    EXPECT_GT(media, 10);
    EXPECT_EQ(task->ResourcesSaved, 0);
}

TEST_F(HXCrawlTest, RecurringTaskIsRescheduledAndClosingStopsARun)
{
    const std::string start = StartWithTestServer();
    const std::string root = Home().Folder() + "copy/";
    auto task = NewTask(start, {"--folder", root});
    task->Schedule = "Every 2 hours, 30 mins";
    task->Status = kStatusScheduled;
    task->NextRun = Now() - 1.0 / 1440;
    Session().Scheduler().AddTask(task);

    // The tick starts the due task; at its end it is scheduled again.
    ASSERT_EQ(Session().Scheduler().Tick(), task);
    for (int step = 0; step < 1200 && Session().Runner().RunningTask(); ++step)
        Session().Serve(50ms);
    ASSERT_EQ(Session().Runner().RunningTask(), nullptr);
    EXPECT_EQ(task->Status, kStatusScheduled);
    EXPECT_NEAR(task->NextRun, Now() + 2.5 / 24, 2.0 / 1440);

    // Closing while it runs again: the user is asked, the run stops, the queue is
    // written, and the session ends without waiting on the workers.
    task->NextRun = Now() - 1.0 / 1440;
    task->RunMode = kRunRestart;
    ASSERT_EQ(Session().Scheduler().Tick(), task);
    Session().Serve(300ms);
    ASSERT_NE(Session().Runner().RunningTask(), nullptr);
    EXPECT_TRUE(Session().Runner().CloseQuery());
    EXPECT_EQ(task->Status, kStatusStopped);
    EXPECT_EQ(Session().Runner().RunningTask(), nullptr);
    EXPECT_TRUE(fs::is_regular_file(task->QueueFileName()));
    const auto before = std::chrono::steady_clock::now();
    m_session.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
}

TEST_F(HXCrawlTest, ZipLastStopAndResumeKeepsEveryFile)
{
    // With "Zip Last" nothing enters the archive before the download completes; a
    // stop in the middle leaves the files in the temporary folder, and the resumed
    // run, started from the files on disk, still puts every one of them in.
    m_app->Store().WriteBool(kSettingsKey, "Zip Last", true);
    const int third = static_cast<int>(Site().Pages.size()) / 3;
    const std::string start = StartWithHeldPages(2 * third);
    const std::string archive = Home().Folder() + "archives/site.zip";
    auto task = NewTask(start, {"--zip", archive});
    ASSERT_TRUE(Run(task, kRunRestart, [third](THXTask& running) { return running.PagesSaved >= third; }).Interrupted);
    ReleaseHeldPages();
    EXPECT_TRUE(task->ZipLast);
    EXPECT_FALSE(fs::exists(archive));

    m_session.reset();
    auto reloaded = std::make_shared<THXTask>(*m_app);
    reloaded->FileName = task->FileName;
    reloaded->Load();
    ASSERT_TRUE(Run(reloaded, kRunResume).Completed) << m_err.str();
    EXPECT_EQ(reloaded->Status, kStatusZipped);

    const fs::path extracted = Home().Path() / "extracted";
    const TCommandResult unpack = RunCommand("unzip -q '" + archive + "' -d '" + extracted.string() + "'");
    ASSERT_EQ(unpack.Status, 0) << unpack.Output;
    ExpectCompleteCopy(*reloaded, extracted.string() + "/", start);
}

// ---- Classic and Fast pacing give the same copy ----

// Every file below a folder, by relative path, with its bytes; the report pages and
// their pictures ("!..." names) are left out (they hold times).
std::map<std::string, std::string> FilesBelow(const fs::path& root)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
    {
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        if (entry.is_regular_file() && relative.find('!') == std::string::npos)
            files[relative] = ReadAll(entry.path());
    }
    return files;
}

// What must not depend on the pacing: items with their states and groups, counters, status.
struct TCopyFacts
{
    std::map<std::string, std::pair<int, std::string>> Items;
    std::vector<std::int64_t> Counters;
    int Status = 0;
    bool operator==(const TCopyFacts&) const = default;
};

TCopyFacts FactsOf(THXTask& task)
{
    TCopyFacts facts;
    for (const auto& [url, entry] : QueueEntries(task))
        facts.Items[url] = {entry.State, entry.Group};
    facts.Counters = {task.PagesSaved, task.ResourcesSaved, task.PageErrors, task.ResourceErrors,
                      task.TotalPages, task.TotalResources, task.TotalBytes};
    facts.Status = task.Status;
    return facts;
}

class HXPacingInvarianceTest : public HXCrawlTest, public ::testing::WithParamInterface<bool>
{
protected:
    struct TCopy
    {
        fs::path Root;
        std::shared_ptr<THXTask> Task;
        TCopyFacts Facts; // taken before the next run clears this task's queue from memory
    };

    // Copies the site with the pacing: the copy's folder (extracted from the archive
    // in Zip mode), the task and what its queue says. With `thenUpdate` the copy is
    // brought up to date with a SmartUpdate before it is looked at.
    TCopy Copy(const std::string& start, const TRunPacing& pacing, const std::string& name, bool zip,
               bool thenUpdate = false)
    {
        TRunOptions options = QuickOptions();
        options.Pacing = pacing;
        TRunSession session(*m_app, m_err, options);
        const fs::path target = Home().Path() / name;
        auto task = NewTask(
            start, {zip ? "--zip" : "--folder", zip ? (target.string() + ".zip") : target.string(), "--name", name});
        task->RunMode = kRunRestart;
        const TRunResult result = session.RunTask(task, 120000ms);
        EXPECT_TRUE(result.Completed) << name << ": " << m_err.str();
        if (thenUpdate)
        {
            task->RunMode = kRunSmartUpdate;
            EXPECT_TRUE(session.RunTask(task, 120000ms).Completed) << name << " update: " << m_err.str();
        }
        if (zip)
        {
            const TCommandResult unpack =
                RunCommand("unzip -q '" + task->Destination + "' -d '" + target.string() + "'");
            EXPECT_EQ(unpack.Status, 0) << unpack.Output;
        }
        return {target, task, FactsOf(*task)};
    }

    // Entry names of an archive, sorted.
    static std::vector<std::string> ArchiveEntries(const std::string& archive)
    {
        const TCommandResult listing = RunCommand("zipinfo -1 '" + archive + "'");
        std::vector<std::string> names;
        std::istringstream lines(listing.Output);
        for (std::string line; std::getline(lines, line);)
            names.push_back(line);
        std::sort(names.begin(), names.end());
        return names;
    }

    // The two copies hold the same items, counters, status and files.
    void ExpectSameCopies(const TCopy& classicCopy, const TCopy& fastCopy, bool zip, int expectedStatus);
};

// A server that answers HEAD carelessly, as real ones do: every HEAD gets 200 with a
// wrong length and no date, whatever the GET would say (a redirect, 404, 304 to a
// conditional request), and HEAD on a picture is refused with 405 and a length of
// its own. The GETs are the site's own answers.
TRequestHandler CarelessHeads(std::shared_ptr<TSiteState> state)
{
    return [state](const TRecordedRequest& request)
    {
        if (request.Method != "HEAD")
            return state->Answer(request);
        const std::string path = request.Target.substr(0, request.Target.find('?'));
        if (path.ends_with(".gif"))
            return TReply::Raw(ResponseHead(405, {{"Content-Length", "7"}}));
        return TReply::Raw(ResponseHead(200, {{"Content-Type", SiteContentType(path)}, {"Content-Length", "1"}}));
    };
}

TEST_P(HXPacingInvarianceTest, ClassicAndFastAgreeWhenHeadAndGetDisagree)
{
    const bool zip = GetParam();
    m_server = std::make_unique<THXTestServer>(CarelessHeads(m_state));
    const std::string start = m_server->URL("/" + Site().StartPage);
    const TCopy classicCopy = Copy(start, *QuickOptions().Pacing, "classic", zip, true);
    const TCopy fastCopy = Copy(start, TRunPacing::Fast(), "fast", zip, true);
    ExpectSameCopies(classicCopy, fastCopy, zip, zip ? kStatusZipped : kStatusTaskComplete);
    // The update found the site unchanged: the GETs' 304 answers left the files as
    // they were, in both ways.
    for (const TCopy* copy : {&classicCopy, &fastCopy})
    {
        int updated = 0;
        for (const auto& [url, stateAndGroup] : copy->Facts.Items)
            updated += stateAndGroup.first == kStateUpdated ? 1 : 0;
        EXPECT_GE(updated, static_cast<int>(Site().Paths.size()) - 10) << copy->Root;
    }
}

TEST_P(HXPacingInvarianceTest, ClassicAndFastGiveTheSameCopy)
{
    const bool zip = GetParam();
    const std::string start = StartWithTestServer();
    TRunPacing classic = *QuickOptions().Pacing;
    const TCopy classicCopy = Copy(start, classic, "classic", zip);
    const TCopy fastCopy = Copy(start, TRunPacing::Fast(), "fast", zip);
    ExpectSameCopies(classicCopy, fastCopy, zip, zip ? kStatusZipped : kStatusTaskComplete);
}

void HXPacingInvarianceTest::ExpectSameCopies(const TCopy& classicCopy, const TCopy& fastCopy, bool zip,
                                              int expectedStatus)
{
    const fs::path& classicRoot = classicCopy.Root;
    const fs::path& fastRoot = fastCopy.Root;
    const std::shared_ptr<THXTask>& classicTask = classicCopy.Task;
    const std::shared_ptr<THXTask>& fastTask = fastCopy.Task;

    const TCopyFacts& classicFacts = classicCopy.Facts;
    const TCopyFacts& fastFacts = fastCopy.Facts;
    EXPECT_EQ(classicFacts.Items.size(), fastFacts.Items.size());
    for (const auto& [url, stateAndGroup] : classicFacts.Items)
    {
        const auto other = fastFacts.Items.find(url);
        if (other == fastFacts.Items.end())
            ADD_FAILURE() << url << " is not in the Fast copy's queue";
        else
            EXPECT_EQ(other->second, stateAndGroup) << url;
    }
    for (const auto& [url, stateAndGroup] : fastFacts.Items)
        EXPECT_TRUE(classicFacts.Items.contains(url)) << url << " is only in the Fast copy's queue";
    EXPECT_EQ(classicFacts.Counters, fastFacts.Counters);
    EXPECT_EQ(classicFacts.Status, fastFacts.Status);
    EXPECT_EQ(classicTask->Status, expectedStatus);

    const auto classicFiles = FilesBelow(classicRoot);
    const auto fastFiles = FilesBelow(fastRoot);
    EXPECT_GE(classicFiles.size(), Site().Paths.size() - 10);
    ASSERT_EQ(classicFiles.size(), fastFiles.size());
    for (const auto& [path, bytes] : classicFiles)
    {
        const auto other = fastFiles.find(path);
        ASSERT_NE(other, fastFiles.end()) << path;
        EXPECT_TRUE(other->second == bytes) << path << " differs";
    }
    if (zip)
    {
        EXPECT_EQ(ArchiveEntries(classicTask->Destination), ArchiveEntries(fastTask->Destination));
    }
}

INSTANTIATE_TEST_SUITE_P(FolderAndZip, HXPacingInvarianceTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? std::string("Zip") : std::string("Folder"); });

} // namespace
} // namespace hx::test
