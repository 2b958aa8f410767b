// The Fast pacing of a run: the batched Zip feed against the one-by-one feed, the
// batch period, the runner reading the "Pacing" and "Host Delay" settings at each
// start, the event-driven dispatcher (woken by ended transfers and parsed pages, so
// long fixed waits never show), the queue file written by time, the host delay,
// and the parse worker that sleeps only when it has nothing to do.
//
// The test thread is the owner thread and pumps its loop; crawls go to a server on
// 127.0.0.1 started by the test.

#include "shell/HXTaskRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "archive/XcdZipD4.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXOwner.h"
#include "core/HXPacing.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "net/HXSockets.h"
#include "shell/HXFirstRun.h"
#include "HXSeededApp.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"

namespace hx
{
namespace
{

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

// What the host was told about one archive entry.
struct TAdded
{
    std::string entry;
    std::string title;
    bool operator==(const TAdded&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TAdded& added)
{
    return out << "{" << added.entry << ", " << added.title.size() << " bytes of title}";
}

// Records the archive steps; lets queued hand-overs run when the runner asks.
class TFeedHost final : public THXRunnerHost
{
public:
    explicit TFeedHost(THXEventLoopOwner& owner)
        : m_owner(owner)
    {
    }

    void ShowStatus(const std::string& text) override { (void)text; }
    void ZipEntryAdded(THXTask& task, const std::string& entryName, const std::string& title) override
    {
        (void)task;
        added.push_back({entryName, title});
    }
    void ReportZipResult(int code, std::string_view operationWord) override
    {
        reports.push_back(std::to_string(code) + " " + std::string(operationWord));
    }
    void ShowError(const std::string& message) override { errors.push_back(message); }
    void ProcessPendingMessages() override { m_owner.ProcessPending(); }

    std::vector<TAdded> added;
    std::vector<std::string> reports;
    std::vector<std::string> errors;

private:
    THXEventLoopOwner& m_owner;
};

// One archive entry as a listing shows it, with its bytes.
struct TEntry
{
    std::string name;
    std::string comment;
    std::string bytes;
    bool operator==(const TEntry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TEntry& entry)
{
    return out << "{" << entry.name << ", comment of " << entry.comment.size() << " bytes, " << entry.bytes.size()
               << " bytes}";
}

// Every entry of the archive in archive order, its contents read back from an
// extraction into `folder`.
std::vector<TEntry> ReadArchive(const std::string& archive, const std::string& folder)
{
    TXceedZip zip;
    zip.ZipFileName = archive;
    std::vector<TEntry> entries;
    zip.OnListing = [&entries](const TXcdFileStats& stats) { entries.push_back({stats.FileName, stats.Comment, {}}); };
    EXPECT_EQ(zip.List(""), xcd::Success) << archive;
    zip.ExtractDirectory = folder;
    zip.Overwrite = TXcdOverwrite::xowAlways;
    zip.UsePaths = true;
    EXPECT_EQ(zip.Extract(), xcd::Success) << archive;
    for (TEntry& entry : entries)
        entry.bytes = ReadWholeFile(folder + entry.name).value_or("<not extracted>");
    return entries;
}

std::vector<std::string> EntryNames(const std::string& archive)
{
    TXceedZip zip;
    zip.ZipFileName = archive;
    std::vector<std::string> names;
    zip.OnListing = [&names](const TXcdFileStats& stats) { names.push_back(stats.FileName); };
    zip.List("");
    return names;
}

std::string Repeat(std::string_view piece, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += piece;
    return text;
}

// Which file a path names and when it was last written: a file replaced by a new
// one (written beside it and renamed over it) or rewritten shows a new stamp.
struct TFileStamp
{
    bool exists = false;
    std::uint64_t inode = 0;
    std::int64_t modified = 0;
    std::int64_t size = 0;
    bool operator==(const TFileStamp&) const = default;
};

TFileStamp Stamp(const std::string& path)
{
    struct stat status
    {
    };
    if (::stat(path.c_str(), &status) != 0)
        return {};
    return {true, static_cast<std::uint64_t>(status.st_ino),
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec,
            static_cast<std::int64_t>(status.st_size)};
}

std::int64_t Milliseconds(TClock::duration duration)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

// The Fast pacing with waits far longer than any test runs: progress that the fixed
// steps cannot explain comes from the wake-ups.
// Fixed steps of a minute: a crawl that ends within kEventLimit cannot have waited
// for one, however loaded the machine is, so no test needs a tight time limit.
constexpr auto kSlowStep = 60s;
constexpr auto kEventLimit = 30s;

TRunPacing SlowStepFastPacing()
{
    TRunPacing pacing = TRunPacing::Fast();
    pacing.Dispatch.SleepStep = kSlowStep;
    pacing.Parse.SleepStep = kSlowStep;
    return pacing;
}

// A small site: a start page with `pages` pages and two images; every page links
// back to the start page and to the first image. Each request is held `hold` before
// it is answered; the handler records when each arrived and how many were being
// answered at once. With `meet`, a request for one of the pages is held until a
// second one is being answered too (at most kEventLimit), so two connections that
// take part are seen together however the threads are scheduled. Only the pages
// meet: the start page and robots.txt come one after the other by design.
class TSmallSite
{
public:
    TSmallSite(std::chrono::milliseconds hold, int pages, bool meet = false)
        : m_hold(hold)
        , m_pages(pages)
        , m_meet(meet)
    {
    }

    struct TArrival
    {
        TClock::time_point at;
        std::string method;
        std::string target;
    };

    test::TRequestHandler Handler()
    {
        return [this](const test::TRecordedRequest& request)
        {
            {
                std::lock_guard lock(m_mutex);
                m_arrivals.push_back({TClock::now(), request.Method, request.Target});
            }
            const int now = ++m_active;
            for (int seen = m_mostActive; now > seen && !m_mostActive.compare_exchange_weak(seen, now);)
            {
            }
            if (m_meet && request.Target.starts_with("/p"))
            {
                std::unique_lock lock(m_mutex);
                m_met.notify_all();
                m_met.wait_for(lock, kEventLimit, [this] { return m_mostActive >= 2; });
            }
            std::this_thread::sleep_for(m_hold);
            --m_active;
            return Reply(request.Target);
        };
    }

    std::vector<TArrival> Arrivals() const
    {
        std::lock_guard lock(m_mutex);
        return m_arrivals;
    }
    int MostActive() const { return m_mostActive; }
    int Pages() const { return 1 + m_pages; }
    int Items() const { return 1 + m_pages + 2; }

private:
    test::TReply Reply(const std::string& target) const
    {
        const test::THeaderFields html = {{"Content-Type", "text/html"}};
        if (target == "/")
        {
            std::string body = "<html><head><title>Small site</title></head><body>";
            for (int page = 1; page <= m_pages; ++page)
                body += "<a href=\"p" + std::to_string(page) + ".html\">" + std::to_string(page) + "</a>";
            body += "<img src=\"i1.gif\"><img src=\"i2.gif\"></body></html>";
            return test::TReply::Text(200, body, html);
        }
        for (int page = 1; page <= m_pages; ++page)
            if (target == "/p" + std::to_string(page) + ".html")
                return test::TReply::Text(200,
                                          "<html><head><title>Page " + std::to_string(page) +
                                              "</title></head><body><a href=\"/\">home</a><img src=\"i1.gif\">"
                                              "</body></html>",
                                          html);
        if (target == "/i1.gif" || target == "/i2.gif")
            return test::TReply::Text(200, "GIF89a" + target, {{"Content-Type", "image/gif"}});
        return test::TReply::Text(404, "not found");
    }

    std::chrono::milliseconds m_hold;
    int m_pages;
    bool m_meet;
    mutable std::mutex m_mutex;
    std::condition_variable m_met;
    std::vector<TArrival> m_arrivals;
    std::atomic<int> m_active{0};
    std::atomic<int> m_mostActive{0};
};

class HXTaskRunnerFastTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        THXSandboxTest::SetUp();
        app = test::MakeSeededApp(Home(), owner);
        app->SetConnections(2);
        slots = std::make_unique<THXSlotList>();
        slots->SetSlotCount(2, false);
    }

    void TearDown() override
    {
        runner.reset();
        slots.reset();
        owner.ProcessPending();
        server.reset();
        app->CurrentTask.reset();
        app->ActiveTasks.clear();
        app->SetOwner(nullptr);
        app.reset();
        THXSandboxTest::TearDown();
    }

    // A new runner (the one before it goes first: the program has one).
    THXTaskRunner& NewRunner(std::optional<TRunPacing> pacing)
    {
        runner.reset();
        runner = std::make_unique<THXTaskRunner>(*app, host, *slots, pacing);
        return *runner;
    }

    test::THXTestServer& Server()
    {
        if (!server)
            server = std::make_unique<test::THXTestServer>(test::Routes(
                {{"/", test::TReply::Text(200, "<html><body>home</body></html>", {{"Content-Type", "text/html"}})}}));
        return *server;
    }

    // A restart task of the whole site: a Zip task, or a Personal Intranet task.
    std::shared_ptr<THXTask> NewTask(const std::string& name, bool intranet = false)
    {
        auto task = std::make_shared<THXTask>(*app);
        task->Name = name;
        task->FileName = app->TasksFolder() + "General/" + name + ".hxt";
        task->URL = Server().URL("/");
        task->Profile.FileName = app->ProfilesFolder() + "Whole Site.hxp";
        task->Profile.Load();
        task->Profile.UseStartPageTitle = false;
        task->IntranetMode = intranet;
        task->RunMode = kRunRestart;
        task->Destination =
            intranet ? Home().Folder() + "Intranet/" + name + "/" : app->GetDownloadsFolder() + name + ".zip";
        task->Save();
        return task;
    }

    // A file the run saved below the temporary folder, waiting for the archive.
    THXQItem* AddSavedFile(THXTask& task, const std::string& relativePath, const std::string& title,
                           bool keepLocalFile = true, bool pendingWithPath = true)
    {
        const std::string path = app->GetTempFolder() + relativePath;
        ForceDirectories(ExtractFilePath(path));
        EXPECT_TRUE(WriteFileAtomic(path, "contents of " + relativePath));
        THXQItem item;
        item.URL = Server().URL("/" + relativePath);
        item.Group = relativePath.ends_with(".gif") ? "Images" : "HTML";
        item.Title = title;
        item.State = kStateParsed;
        item.Level = 1;
        if (keepLocalFile)
            item.LocalFile = path;
        THXQItem* added = task.AddItem(std::move(item));
        task.AddZipPending(pendingWithPath ? path : std::string(), added);
        return added;
    }

    // Counts the archive updates of the runner's Zip component: each one that
    // succeeds reports 100 percent once, at its end.
    void CountUpdates(std::vector<TClock::time_point>& updates)
    {
        runner->Zip().OnStatus = [&updates](int percent, std::int64_t, std::int64_t)
        {
            if (percent == 100)
                updates.push_back(TClock::now());
        };
    }

    // Serves the owner loop and the zip timer as the program's event loop does;
    // `each` runs after every round. False when the time ran out.
    bool Serve(const std::function<bool()>& done, std::chrono::milliseconds limit,
               const std::function<void()>& each = {})
    {
        const auto deadline = TClock::now() + limit;
        while (!done())
        {
            if (TClock::now() > deadline)
                return false;
            owner.ProcessPending(1ms);
            if (each)
                each();
            if (runner->ZipTimerEnabled())
                runner->ZipTimerTick();
        }
        return true;
    }

    THXEventLoopOwner owner;
    TFeedHost host{owner};
    std::unique_ptr<THXApp> app;
    std::unique_ptr<THXSlotList> slots;
    std::unique_ptr<THXTaskRunner> runner;
    std::unique_ptr<test::THXTestServer> server;
};

// ---- The batched Zip feed ----

// What one feed of the same pending files left.
struct TFeedOutcome
{
    std::vector<TEntry> entries;
    std::vector<TAdded> added;
    std::vector<std::string> reports;
    // Archive updates made by the tick(s) that took the files, and those ticks.
    int updates = 0;
    int ticks = 0;
};

TEST_F(HXTaskRunnerFastTest, BatchedFeedGivesTheArchiveOfTheOneByOneFeedInOneUpdate)
{
    const std::string longTitle = Repeat("a\xC3\xA9", 150); // 300 characters, 450 bytes
    auto feed = [&](bool batch, const std::string& name)
    {
        TFeedOutcome outcome;
        TRunPacing pacing = TRunPacing::Fast();
        pacing.BatchZipFeed = batch;
        NewRunner(pacing);
        host.added.clear();
        host.reports.clear();
        auto task = NewTask(name);
        EXPECT_TRUE(runner->Start(task));
        std::vector<TClock::time_point> updates;
        CountUpdates(updates);

        // 30 files in nested folders; then one named a second time, one entry whose
        // item has no file, and one whose file vanished before its turn.
        std::vector<THXQItem*> items;
        for (int i = 0; i < 30; ++i)
        {
            const std::string folder = "site/" + std::string(i % 3 == 0 ? "" : "d" + std::to_string(i % 3) + "/") +
                                       std::string(i % 5 == 0 ? "deep/er/" : "");
            const std::string file =
                folder + (i % 4 == 0 ? "img" + std::to_string(i) + ".gif" : "page" + std::to_string(i) + ".html");
            const std::string title = i == 7 ? longTitle : i % 4 == 0 ? "" : "Title " + std::to_string(i);
            items.push_back(AddSavedFile(*task, file, title));
        }
        task->AddZipPending(items[4]->LocalFile, items[4]);
        AddSavedFile(*task, "site/ghost.html", "Ghost", /*keepLocalFile=*/false, /*pendingWithPath=*/false);
        THXQItem* vanished = AddSavedFile(*task, "site/vanished.html", "Vanished");
        std::filesystem::remove(vanished->LocalFile);
        EXPECT_EQ(task->ZipPendingCount(), 33);

        while (task->ZipPendingCount() > 0 && outcome.ticks < 50)
        {
            runner->ZipTimerTick();
            ++outcome.ticks;
        }
        outcome.updates = static_cast<int>(updates.size());
        EXPECT_EQ(task->Status, kStatusDownloading);
        task->Status = kStatusComplete;
        runner->ZipTimerTick();
        EXPECT_EQ(task->Status, kStatusZipped);
        EXPECT_FALSE(runner->ZipTimerEnabled());
        outcome.entries = ReadArchive(task->Destination, Home().Folder() + "extract-" + name + "/");
        outcome.added = host.added;
        outcome.reports = host.reports;
        return outcome;
    };

    const TFeedOutcome single = feed(false, "OneByOne");
    const TFeedOutcome batch = feed(true, "Batch");

    // The one-by-one feed takes one pending entry per tick, one update for each file
    // it adds (31 adds: 30 files and the file named again).
    EXPECT_EQ(single.ticks, 33);
    EXPECT_EQ(single.updates, 31);
    ASSERT_EQ(single.entries.size(), 30u);
    EXPECT_EQ(single.entries[0].name, "site/deep/er/img0.gif");
    EXPECT_EQ(single.entries[7].comment, Repeat("a\xC3\xA9", 127) + "a");
    EXPECT_EQ(single.entries[1].bytes, "contents of site/d1/page1.html");

    // The batch takes everything in one tick and one update, and leaves the same archive:
    // names, order, comments and contents.
    EXPECT_EQ(batch.ticks, 1);
    EXPECT_EQ(batch.updates, 1);
    EXPECT_EQ(batch.entries, single.entries);
    // The host is told of the same entries with the same titles.
    EXPECT_EQ(batch.added, single.added);
    // The vanished file is told of in both.
    EXPECT_FALSE(single.reports.empty());
    EXPECT_FALSE(batch.reports.empty());
}

TEST_F(HXTaskRunnerFastTest, ZipLastBatchAddsNothingBeforeTheEndAndEverythingInOneUpdateAfter)
{
    app->Store().WriteBool(kSettingsKey, "Zip Last", true);
    NewRunner(TRunPacing::Fast());
    auto task = NewTask("BatchLast");
    ASSERT_TRUE(runner->Start(task));
    ASSERT_TRUE(task->ZipLast);
    std::vector<TClock::time_point> updates;
    CountUpdates(updates);
    for (int i = 0; i < 6; ++i)
        AddSavedFile(*task, "site/f" + std::to_string(i) + ".html", "F" + std::to_string(i));

    for (int tick = 0; tick < 5; ++tick)
        runner->ZipTimerTick();
    EXPECT_FALSE(FileExists(task->Destination));
    EXPECT_EQ(task->ZipPendingCount(), 6);
    EXPECT_TRUE(updates.empty());
    EXPECT_TRUE(host.added.empty());

    task->Status = kStatusComplete;
    runner->ZipTimerTick();
    EXPECT_EQ(updates.size(), 1u);
    EXPECT_EQ(EntryNames(task->Destination),
              (std::vector<std::string>{"site/f0.html", "site/f1.html", "site/f2.html", "site/f3.html", "site/f4.html",
                                        "site/f5.html"}));
    EXPECT_EQ(host.added.size(), 6u);
    // The run closes at the next tick, not in the tick that fed the archive.
    EXPECT_EQ(task->Status, kStatusComplete);
    EXPECT_TRUE(runner->ZipTimerEnabled());
    runner->ZipTimerTick();
    EXPECT_EQ(task->Status, kStatusZipped);
    EXPECT_FALSE(runner->ZipTimerEnabled());
    EXPECT_EQ(updates.size(), 1u);
}

TEST_F(HXTaskRunnerFastTest, BatchesWaitTheBatchPeriodWhileDownloadingAndNotOnceComplete)
{
    NewRunner(TRunPacing::Fast());
    auto task = NewTask("Period");
    ASSERT_TRUE(runner->Start(task));
    std::vector<TClock::time_point> updates;
    CountUpdates(updates);

    // The first file to wait is added at the first tick after it arrives.
    std::vector<std::string> expected;
    const auto addFile = [&]
    {
        const std::string file = "site/n" + std::to_string(1000 + expected.size()) + ".html";
        AddSavedFile(*task, file, "N" + std::to_string(expected.size()));
        expected.push_back(file);
    };
    addFile();
    runner->ZipTimerTick();
    ASSERT_EQ(updates.size(), 1u);
    // Then a file arrives every 20 ms and the timer ticks as often: the next update
    // comes once a batch period has passed, not before.
    const auto limit = TClock::now() + 30s;
    while (updates.size() < 2 && TClock::now() < limit)
    {
        addFile();
        runner->ZipTimerTick();
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_EQ(updates.size(), 2u);
    EXPECT_GT(expected.size(), 2u);
    EXPECT_GE(Milliseconds(updates[1] - updates[0]),
              Milliseconds(pacing::kFastZipBatchPeriod) - 50); // the add itself takes a moment
    // A file that arrives now waits for the next batch.
    addFile();
    EXPECT_GT(task->ZipPendingCount(), 0);
    EXPECT_EQ(task->Status, kStatusDownloading);

    // Once the download has completed the rest goes at the next tick, though the last
    // batch was less than a period ago; the tick after closes the run.
    task->Status = kStatusComplete;
    runner->ZipTimerTick();
    EXPECT_EQ(updates.size(), 3u);
    EXPECT_EQ(task->ZipPendingCount(), 0);
    EXPECT_EQ(EntryNames(task->Destination), expected);
    EXPECT_EQ(task->Status, kStatusComplete);
    runner->ZipTimerTick();
    EXPECT_EQ(task->Status, kStatusZipped);
    EXPECT_EQ(host.added.size(), expected.size());
    EXPECT_TRUE(host.reports.empty()) << ::testing::PrintToString(host.reports);
}

// ---- The settings ----

TEST_F(HXTaskRunnerFastTest, EachStartTakesThePacingAndHostDelaySettings)
{
    NewRunner(std::nullopt);
    auto task = NewTask("Settings");

    // Nothing set: Fast.
    ASSERT_TRUE(runner->Start(task));
    EXPECT_TRUE(runner->Pacing().BatchZipFeed);
    EXPECT_EQ(runner->ZipFeedPeriod(), pacing::kFastZipFeedPeriod);
    EXPECT_TRUE(runner->Dispatcher().Pacing().EventDriven);
    EXPECT_EQ(runner->Dispatcher().Pacing().QueueSaveInterval, pacing::kFastQueueSaveInterval);
    EXPECT_TRUE(runner->ParseWorker().Pacing().SleepOnlyWhenIdle);
    EXPECT_EQ(runner->ParseWorker().Pacing().StatusWait, 0ms);
    EXPECT_EQ(runner->Dispatcher().Pacing().HostDelay, 0ms);
    runner->StopTask(task);

    // Classic, and a host delay: read at the start.
    app->SetPacing(kPacingClassic);
    app->SetHostDelay(250);
    ASSERT_TRUE(runner->Start(task));
    EXPECT_FALSE(runner->Pacing().BatchZipFeed);
    EXPECT_EQ(runner->ZipFeedPeriod(), pacing::kZipFeedPeriod);
    EXPECT_FALSE(runner->Dispatcher().Pacing().EventDriven);
    EXPECT_EQ(runner->Dispatcher().Pacing().SleepStep, pacing::kDispatcherSleepStep);
    EXPECT_FALSE(runner->ParseWorker().Pacing().SleepOnlyWhenIdle);
    EXPECT_EQ(runner->ParseWorker().Pacing().StatusWait, pacing::kParseStatusWait);
    EXPECT_EQ(runner->Dispatcher().Pacing().HostDelay, 250ms);

    // A change during the run waits for the next start.
    app->SetPacing(kPacingFast);
    app->SetHostDelay(40);
    EXPECT_FALSE(runner->Pacing().BatchZipFeed);
    EXPECT_FALSE(runner->Dispatcher().Pacing().EventDriven);
    EXPECT_EQ(runner->Dispatcher().Pacing().HostDelay, 250ms);
    runner->StopTask(task);

    ASSERT_TRUE(runner->Start(task));
    EXPECT_TRUE(runner->Pacing().BatchZipFeed);
    EXPECT_EQ(runner->ZipFeedPeriod(), pacing::kFastZipFeedPeriod);
    EXPECT_TRUE(runner->Dispatcher().Pacing().EventDriven);
    EXPECT_TRUE(runner->ParseWorker().Pacing().SleepOnlyWhenIdle);
    EXPECT_EQ(runner->Dispatcher().Pacing().HostDelay, 40ms);
    runner->StopTask(task);

    // A runner given its pacing keeps it whatever the settings say.
    TRunPacing fixed = TRunPacing::Classic();
    fixed.ZipFeedPeriod = 7ms;
    NewRunner(fixed);
    ASSERT_TRUE(runner->Start(task));
    EXPECT_FALSE(runner->Pacing().BatchZipFeed);
    EXPECT_EQ(runner->ZipFeedPeriod(), 7ms);
    EXPECT_FALSE(runner->Dispatcher().Pacing().EventDriven);
    EXPECT_EQ(runner->Dispatcher().Pacing().HostDelay, 0ms);
    runner->StopTask(task);
}

// ---- The event-driven dispatcher ----

TEST_F(HXTaskRunnerFastTest, EventDrivenCrawlOutrunsTheFixedCycleAndWritesTheQueueByTime)
{
    TSmallSite site(10ms, 4, true);
    server = std::make_unique<test::THXTestServer>(site.Handler());

    // The queue file's writes while the crawl runs and at its end, for a save interval.
    struct TCrawl
    {
        std::int64_t milliseconds = 0;
        int writesWhileRunning = 0;
        int writesAtTheEnd = 0;
        int mostBusy = 0;
    };
    auto crawl = [&](std::chrono::milliseconds saveInterval, const std::string& name)
    {
        TCrawl result;
        // Steps of a minute: a crawl that waited for the fixed cycle would take five
        // of them; one driven by events ends in a fraction of one step.
        TRunPacing pacing = SlowStepFastPacing();
        pacing.Dispatch.QueueSaveInterval = saveInterval;
        NewRunner(pacing);
        auto task = NewTask(name, true);
        const auto begin = TClock::now();
        EXPECT_TRUE(runner->Start(task));
        TFileStamp last = Stamp(task->QueueFileName());
        const bool completed =
            Serve([&] { return task->Status == kStatusComplete || !runner->ZipTimerEnabled(); }, kEventLimit,
                  [&]
                  {
                      const TFileStamp now = Stamp(task->QueueFileName());
                      if (now != last)
                          ++(task->Status == kStatusDownloading ? result.writesWhileRunning : result.writesAtTheEnd);
                      last = now;
                      int busy = 0;
                      for (const THXSocket* slot : slots->Slots())
                          busy += slot->IsIdle() ? 0 : 1;
                      result.mostBusy = std::max(result.mostBusy, busy);
                  });
        result.milliseconds = Milliseconds(TClock::now() - begin);
        EXPECT_TRUE(completed) << name << ": status " << task->Status << " after " << result.milliseconds << " ms";
        EXPECT_TRUE(Serve([&] { return !runner->ZipTimerEnabled(); }, kEventLimit));
        EXPECT_EQ(task->Status, kStatusTaskComplete);
        EXPECT_EQ(task->PagesSaved, site.Pages());
        EXPECT_EQ(task->ResourcesSaved, 2);

        // The queue file as the run left it holds the finished queue.
        THXTask stored(*app);
        stored.Name = task->Name;
        stored.FileName = task->FileName;
        stored.LoadQueue();
        EXPECT_EQ(stored.ItemCount(), site.Items());
        for (int pair = 0; pair < stored.ItemCount(); ++pair)
        {
            const THXQItem* item = stored.Item(pair);
            EXPECT_EQ(item->State, item->IsPage() ? kStateParsed : kStateSaved) << name << " " << item->URL;
        }
        return result;
    };

    const TCrawl timed = crawl(10s, "Timed");
    EXPECT_LT(timed.milliseconds, Milliseconds(kSlowStep));
    EXPECT_LE(timed.writesWhileRunning, 1);
    EXPECT_GE(timed.writesAtTheEnd, 1);
    EXPECT_LE(timed.mostBusy, 2);
    EXPECT_EQ(site.MostActive(), 2) << "both connections take part";

    // Without a save interval, every cycle with changes writes the file.
    const TCrawl everyCycle = crawl(0ms, "EveryCycle");
    EXPECT_LT(everyCycle.milliseconds, Milliseconds(kSlowStep));
    EXPECT_GT(everyCycle.writesWhileRunning, 1);
}

TEST_F(HXTaskRunnerFastTest, SurplusSlotsLeaveWithoutHoldingUpTheEventDrivenCrawl)
{
    TSmallSite site(20ms, 4);
    server = std::make_unique<test::THXTestServer>(site.Handler());
    // Four slots lent to the run while two connections are wanted.
    slots->SetSlotCount(4, false);
    NewRunner(SlowStepFastPacing());
    auto task = NewTask("Surplus", true);
    ASSERT_TRUE(runner->Start(task));
    int mostBusy = 0;
    // Ending within the limit shows that no surplus slot held the crawl up for a step.
    const bool completed = Serve([&] { return !runner->ZipTimerEnabled(); }, kEventLimit,
                                 [&]
                                 {
                                     int busy = 0;
                                     for (const THXSocket* slot : slots->Slots())
                                         busy += slot->IsIdle() ? 0 : 1;
                                     mostBusy = std::max(mostBusy, busy);
                                 });
    EXPECT_TRUE(completed) << "status " << task->Status;
    EXPECT_LE(mostBusy, 2);
    EXPECT_LE(site.MostActive(), 2);
    EXPECT_EQ(task->PagesSaved, site.Pages());
}

TEST_F(HXTaskRunnerFastTest, HostDelaySpacesTheRequestsToOneHost)
{
    TSmallSite site(0ms, 1);
    server = std::make_unique<test::THXTestServer>(site.Handler());
    // Long fixed steps: an item that waits for its host is taken when the delay has
    // passed, not at the end of a cycle.
    TRunPacing pacing = SlowStepFastPacing();
    pacing.Dispatch.HostDelay = 200ms;
    // The spacing of the site's own items is measured: no robots.txt request among them.
    app->SetObeyRobots(false);
    NewRunner(pacing);
    auto task = NewTask("Polite", true);
    ASSERT_TRUE(runner->Start(task));
    // Ending within the limit shows that waiting items were taken when the delay had
    // passed, not at the end of a step.
    ASSERT_TRUE(Serve([&] { return !runner->ZipTimerEnabled(); }, kEventLimit)) << "status " << task->Status;
    EXPECT_EQ(task->Status, kStatusTaskComplete);
    EXPECT_EQ(task->PagesSaved, site.Pages());
    EXPECT_EQ(task->ResourcesSaved, 2);

    const auto arrivals = site.Arrivals();
    ASSERT_GE(arrivals.size(), static_cast<std::size_t>(site.Items()));
    // Each item's first request comes at least the delay after the previous item's.
    std::vector<TClock::time_point> itemStarts;
    std::map<std::string, bool> seen;
    for (const auto& arrival : arrivals)
        if (!seen[arrival.target])
        {
            seen[arrival.target] = true;
            itemStarts.push_back(arrival.at);
        }
    ASSERT_EQ(itemStarts.size(), static_cast<std::size_t>(site.Items()));
    for (std::size_t i = 1; i < itemStarts.size(); ++i)
        EXPECT_GE(Milliseconds(itemStarts[i] - itemStarts[i - 1]), 150) << "item " << i;
    // And so does every request (a HEAD and its GET are two requests).
    for (std::size_t i = 1; i < arrivals.size(); ++i)
        EXPECT_GE(Milliseconds(arrivals[i].at - arrivals[i - 1].at), 150)
            << arrivals[i - 1].method << " " << arrivals[i - 1].target << " then " << arrivals[i].method << " "
            << arrivals[i].target;
}

// ---- The parse worker ----

TEST_F(HXTaskRunnerFastTest, ParseWorkerParsesWaitingPagesBackToBackAndWakesWhenIdle)
{
    auto task = NewTask("Parse", true);
    task->Profile.Depth = 0;
    auto addPage = [&](int number)
    {
        const std::string url = Server().URL("/page" + std::to_string(number) + ".html");
        THXQItem item(task.get());
        item.URL = url;
        item.BaseURL = DirectoryURL(url);
        item.Group = "HTML";
        item.State = kStateSaved;
        item.Level = 1;
        item.LocalFile = LocalFileName(task->WorkingFolder(), item.BaseURL, url);
        ForceDirectories(ExtractFilePath(item.LocalFile));
        EXPECT_TRUE(WriteFileAtomic(item.LocalFile, "<html><head><title>P" + std::to_string(number) +
                                                        "</title></head><body>text</body></html>"));
        return task->AddItem(std::move(item));
    };
    std::vector<THXQItem*> pages;
    for (int number = 0; number < 6; ++number)
        pages.push_back(addPage(number));

    // Idle sleeps of five one-minute steps: only back-to-back parsing and wake-ups end
    // within the limits.
    TParsePacing pacing = TParsePacing::Fast();
    pacing.SleepStep = kSlowStep;
    TThreadParse worker(*app, pacing);
    std::atomic<int> pageDone{0};
    worker.SetOnPageDone([&pageDone] { ++pageDone; });
    worker.SetTask(task);
    worker.Resume();
    const auto pump = [&](const std::function<bool()>& done, std::chrono::milliseconds limit)
    {
        const auto deadline = TClock::now() + limit;
        while (!done() && TClock::now() < deadline)
            owner.ProcessPending(1ms);
        return done();
    };
    ASSERT_TRUE(pump([&] { return worker.PagesDone() == 6; }, kEventLimit)) << worker.PagesDone() << " pages";
    EXPECT_EQ(pageDone, 6);
    for (const THXQItem* page : pages)
        EXPECT_EQ(page->State, kStateParsed) << page->URL;

    // Idle now: a page that becomes ready waits for the wake-up, and is parsed at once then.
    pump([] { return false; }, 200ms);
    THXQItem* late = addPage(6);
    EXPECT_FALSE(pump([&] { return worker.PagesDone() == 7; }, 300ms)) << "the idle worker looks without a wake-up";
    worker.Wake();
    ASSERT_TRUE(pump([&] { return worker.PagesDone() == 7; }, kEventLimit));
    EXPECT_EQ(late->State, kStateParsed);
    EXPECT_EQ(pageDone, 7);
    worker.Halt();
}

// ---- Finishing a completed task at once ----

// The owner thread of the finishing tests: counts the calls posted from the owner thread
// itself (the runner's finishing call; workers and transfers post from their own threads)
// and how many of them have run.
class TOwnPostCounter final : public THXOwnerThread
{
public:
    explicit TOwnPostCounter(THXEventLoopOwner& loop)
        : m_loop(loop)
    {
    }

    void Invoke(const std::function<void()>& fn) override { m_loop.Invoke(fn); }
    void Post(std::function<void()> fn) override
    {
        if (!m_loop.IsOwnerThread())
        {
            m_loop.Post(std::move(fn));
            return;
        }
        ++m_posted;
        m_loop.Post(
            [this, fn = std::move(fn)]
            {
                ++m_ran;
                fn();
            });
    }
    bool IsOwnerThread() const override { return m_loop.IsOwnerThread(); }

    int Posted() const { return m_posted; }
    int Ran() const { return m_ran; }

private:
    THXEventLoopOwner& m_loop;
    std::atomic<int> m_posted{0};
    std::atomic<int> m_ran{0};
};

class HXTaskRunnerFinishTest : public HXTaskRunnerFastTest
{
protected:
    void SetUp() override
    {
        HXTaskRunnerFastTest::SetUp();
        app->SetOwner(&counter);
    }

    // The Fast pacing with a zip feed period no test waits out.
    static TRunPacing HourFeed(bool finishAtOnce)
    {
        TRunPacing pacing = TRunPacing::Fast();
        pacing.ZipFeedPeriod = std::chrono::hours(1);
        pacing.FinishAtOnce = finishAtOnce;
        return pacing;
    }

    // Serves the owner loop only: no zip timer ticks. False when the time ran out.
    bool ServeLoop(const std::function<bool()>& done, std::chrono::milliseconds limit)
    {
        const auto deadline = TClock::now() + limit;
        while (!done())
        {
            if (TClock::now() > deadline)
                return false;
            owner.ProcessPending(1ms);
        }
        return true;
    }

    // The archive holds every file of the queue under its name below the temporary
    // folder, with the file's bytes, and the host heard of each once.
    void ExpectArchiveHoldsEveryItem(THXTask& task, int items, const std::string& extractFolder)
    {
        const std::string temp = app->GetTempFolder();
        std::vector<std::string> expected;
        for (int pair = 0; pair < task.ItemCount(); ++pair)
        {
            THXQItem* item = task.Item(pair);
            task.ReloadItem(*item);
            const std::string file = item->LocalFile.empty()
                                         ? LocalFileName(task.WorkingFolder(), DirectoryURL(item->URL), item->URL)
                                         : item->LocalFile;
            ASSERT_TRUE(file.starts_with(temp)) << file;
            expected.push_back(file.substr(temp.size()));
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(static_cast<int>(expected.size()), items);
        std::vector<std::string> names;
        for (const TEntry& entry : ReadArchive(task.Destination, extractFolder))
        {
            names.push_back(entry.name);
            EXPECT_EQ(entry.bytes, ReadWholeFile(temp + entry.name).value_or("<missing>")) << entry.name;
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, expected);
        EXPECT_EQ(static_cast<int>(host.added.size()), items);
        EXPECT_TRUE(host.reports.empty()) << ::testing::PrintToString(host.reports);
    }

    TOwnPostCounter counter{owner};
};

TEST_F(HXTaskRunnerFinishTest, CompletedTaskFinishesAtOnceThoughTheFeedPeriodIsAnHour)
{
    TSmallSite site(0ms, 3);
    server = std::make_unique<test::THXTestServer>(site.Handler());
    struct TCase
    {
        const char* name;
        bool intranet;
        bool zipLast;
        bool pacingFromSettings; // the "Pacing" setting's Fast, its own feed period
    };
    for (const TCase& run : {TCase{"Folder", true, false, false}, TCase{"Archive", false, false, false},
                             TCase{"ArchiveLast", false, true, false}, TCase{"FromSettings", false, false, true}})
    {
        SCOPED_TRACE(run.name);
        app->Store().WriteBool(kSettingsKey, "Zip Last", run.zipLast);
        NewRunner(run.pacingFromSettings ? std::nullopt : std::optional<TRunPacing>(HourFeed(true)));
        host.added.clear();
        host.reports.clear();
        auto task = NewTask(run.name, run.intranet);
        const int posted = counter.Posted();
        ASSERT_TRUE(runner->Start(task));
        EXPECT_TRUE(runner->Pacing().FinishAtOnce);
        EXPECT_EQ(task->ZipLast, run.zipLast);

        // Only the owner loop runs: the download completes (status 5), and the run is
        // closed right after, by the call the completion posted.
        std::optional<TClock::time_point> completedAt;
        const bool finished = ServeLoop(
            [&]
            {
                if (!completedAt && task->Status == kStatusComplete)
                    completedAt = TClock::now();
                return !runner->ZipTimerEnabled();
            },
            kEventLimit);
        ASSERT_TRUE(finished) << "status " << task->Status;
        const auto finishedAt = TClock::now();
        ASSERT_TRUE(completedAt.has_value());
        // Far sooner than the hour of the feed period, whatever the machine's load.
        EXPECT_LT(finishedAt - *completedAt, kEventLimit);
        EXPECT_EQ(counter.Posted() - posted, 1);
        EXPECT_EQ(task->Status, run.intranet ? kStatusTaskComplete : kStatusZipped);
        EXPECT_EQ(runner->RunningTask(), nullptr);
        EXPECT_EQ(task->PagesSaved, site.Pages());
        EXPECT_EQ(task->ResourcesSaved, 2);
        EXPECT_TRUE(host.errors.empty()) << ::testing::PrintToString(host.errors);
        if (!run.intranet)
        {
            EXPECT_EQ(task->ZipPendingCount(), 0);
            ExpectArchiveHoldsEveryItem(*task, site.Items(), Home().Folder() + "extract-" + run.name + "/");
        }
        // The stored task says so too.
        THXTask stored(*app);
        stored.FileName = task->FileName;
        stored.Load();
        EXPECT_EQ(stored.Status, task->Status);
    }
}

TEST_F(HXTaskRunnerFinishTest, WithoutFinishAtOnceACompletedDownloadWaitsForTheTimer)
{
    TSmallSite site(0ms, 3);
    server = std::make_unique<test::THXTestServer>(site.Handler());
    for (const bool intranet : {true, false})
    {
        SCOPED_TRACE(intranet ? "folder" : "archive");
        NewRunner(HourFeed(false));
        host.added.clear();
        host.reports.clear();
        auto task = NewTask(intranet ? "WaitFolder" : "WaitArchive", intranet);
        const int posted = counter.Posted();
        ASSERT_TRUE(runner->Start(task));
        ASSERT_TRUE(ServeLoop([&] { return task->Status == kStatusComplete; }, kEventLimit))
            << "status " << task->Status;

        // While only the owner loop runs, the completed download stays open.
        ServeLoop([] { return false; }, 300ms);
        EXPECT_EQ(task->Status, kStatusComplete);
        EXPECT_TRUE(runner->ZipTimerEnabled());
        EXPECT_EQ(runner->RunningTask(), task);
        EXPECT_EQ(counter.Posted(), posted);
        if (!intranet)
        {
            EXPECT_FALSE(FileExists(task->Destination));
            EXPECT_EQ(task->ZipPendingCount(), site.Items());
            EXPECT_TRUE(host.added.empty());
        }

        // The timer's ticks finish it: a folder task at the first; an archive takes its
        // files at the first and closes at the second.
        runner->ZipTimerTick();
        if (!intranet)
        {
            EXPECT_EQ(task->Status, kStatusComplete);
            EXPECT_EQ(task->ZipPendingCount(), 0);
            runner->ZipTimerTick();
        }
        EXPECT_EQ(task->Status, intranet ? kStatusTaskComplete : kStatusZipped);
        EXPECT_FALSE(runner->ZipTimerEnabled());
        if (!intranet)
            ExpectArchiveHoldsEveryItem(*task, site.Items(), Home().Folder() + "extract-wait/");
    }
}

TEST_F(HXTaskRunnerFinishTest, RunnerDestroyedBeforeItsFinishingCallRunsLeavesTheTaskAlone)
{
    TSmallSite site(0ms, 2);
    server = std::make_unique<test::THXTestServer>(site.Handler());
    for (int round = 0; round < 6; ++round)
    {
        const bool intranet = round % 2 == 0;
        SCOPED_TRACE("round " + std::to_string(round));
        NewRunner(HourFeed(true));
        host.added.clear();
        auto task = NewTask("Gone" + std::to_string(round), intranet);
        const int posted = counter.Posted();
        const int ran = counter.Ran();
        ASSERT_TRUE(runner->Start(task));
        ASSERT_TRUE(ServeLoop([&] { return task->Status == kStatusComplete; }, kEventLimit))
            << "status " << task->Status;
        // The finishing call is queued and has not run.
        ASSERT_EQ(counter.Posted(), posted + 1);
        ASSERT_EQ(counter.Ran(), ran);

        runner.reset();
        owner.ProcessPending();
        // It ran after the runner had gone, and did nothing.
        EXPECT_EQ(counter.Ran(), ran + 1);
        EXPECT_EQ(task->Status, kStatusComplete);
        EXPECT_TRUE(host.added.empty());
        if (!intranet)
        {
            EXPECT_FALSE(FileExists(task->Destination));
            EXPECT_EQ(task->ZipPendingCount(), site.Items());
        }
        // The program ends with its runner: the slots lent to it (idle, still naming the
        // items of their last transfers) go too, and the next round starts afresh.
        slots = std::make_unique<THXSlotList>();
        slots->SetSlotCount(2, false);
    }
}

} // namespace
} // namespace hx
