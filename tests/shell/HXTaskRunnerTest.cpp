// The task runner: how a start prepares the queue, the zip feed, the end of a run,
// the renaming of the archive after the start page's title, stopping, showing a
// task and closing the program. A recording host logs every window step; the test
// thread is the owner thread and pumps its loop, so nothing a worker hands over
// happens unless the test lets it. Crawls go to a server on 127.0.0.1.

#include "shell/HXTaskRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "archive/XcdZipD4.h"
#include "core/HXApp.h"
#include "core/HXEncoding.h"
#include "core/HXFiles.h"
#include "core/HXOwner.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "net/HXSockets.h"
#include "schedule/HXSchedule.h"
#include "schedule/HXScheduler.h"
#include "shell/HXFirstRun.h"
#include "shell/HXTempFolder.h"
#include "HXSeededApp.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"

namespace hx
{
namespace
{

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The program's waits cut to a few milliseconds.
TRunPacing QuickPacing()
{
    TRunPacing pacing;
    pacing.Parse.SleepStep = 2ms;
    pacing.Parse.SleepSteps = 1;
    pacing.Parse.StatusWait = 0ms;
    pacing.Parse.ProgressInterval = 0ms;
    pacing.Dispatch.SleepStep = 2ms;
    pacing.ZipFeedPeriod = 2ms;
    return pacing;
}

std::string NameOf(const THXTask* task)
{
    return task ? task->Name : std::string("(none)");
}

// Logs every call as "Step" or "Step: detail"; answers the questions as told.
class TRecordingHost final : public THXRunnerHost
{
public:
    explicit TRecordingHost(THXEventLoopOwner& owner)
        : m_owner(owner)
    {
    }

    void ShowStatus(const std::string& text) override { Log("ShowStatus: " + text); }
    void ResetDisplay() override { Log("ResetDisplay"); }
    void AttachTask(THXTask* task) override { Log("AttachTask: " + NameOf(task)); }
    void AttachExploreView(THXTask* task) override { Log("AttachExploreView: " + NameOf(task)); }
    void OpenZip(THXTask& task) override { Log("OpenZip: " + task.Name); }
    void ZipEntryAdded(THXTask& task, const std::string& entryName, const std::string& title) override
    {
        (void)task;
        added.push_back({entryName, title});
        Log("ZipEntryAdded: " + entryName);
    }
    void ReportZipResult(int code, std::string_view operationWord) override
    {
        Log("ReportZipResult: " + std::to_string(code) + " " + std::string(operationWord));
    }
    void ZipRenamed(THXTask& task, const std::string& oldPath, const std::string& newPath) override
    {
        (void)task;
        Log("ZipRenamed: " + oldPath + " -> " + newPath);
    }
    void SetLogoRunning(bool running) override { Log(std::string("SetLogoRunning: ") + (running ? "on" : "off")); }
    void SetRunEnabled(bool enabled) override { Log(std::string("SetRunEnabled: ") + (enabled ? "on" : "off")); }
    void UpdateCommands() override { Log("UpdateCommands"); }
    void CreateReports(THXTask& task) override { Log("CreateReports: " + task.Name); }
    void ShowError(const std::string& message) override
    {
        errors.push_back(message);
        Log("ShowError: " + message);
    }
    void ProcessPendingMessages() override
    {
        Log("ProcessPendingMessages");
        m_owner.ProcessPending();
    }
    bool ConfirmAbortRunningTask() override
    {
        Log("ConfirmAbortRunningTask");
        return abortAnswer;
    }
    void QueueProgress(const std::string& text, std::int64_t position, std::int64_t total) override
    {
        Log("QueueProgress: " + text + " " + std::to_string(position) + "/" + std::to_string(total));
    }

    // The calls logged since the mark (a size of the log taken earlier).
    std::vector<std::string> Since(std::size_t mark) const
    {
        return {log.begin() + static_cast<std::ptrdiff_t>(std::min(mark, log.size())), log.end()};
    }
    // How many logged calls begin with the prefix.
    int Count(std::string_view prefix, std::size_t mark = 0) const
    {
        const auto calls = Since(mark);
        return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                              [&](const std::string& call) { return call.starts_with(prefix); }));
    }
    std::string LastStatus() const
    {
        for (auto call = log.rbegin(); call != log.rend(); ++call)
            if (call->starts_with("ShowStatus: "))
                return call->substr(12);
        return {};
    }

    struct TAdded
    {
        std::string entry;
        std::string title;
    };
    std::vector<std::string> log;
    std::vector<std::string> errors;
    std::vector<TAdded> added;
    bool abortAnswer = true;

private:
    void Log(std::string call) { log.push_back(std::move(call)); }

    THXEventLoopOwner& m_owner;
};

class TFixedClock final : public THXClock
{
public:
    TDateTime Now() const override { return now; }
    TDateTime now = 45000.25; // 14 March 2023, 06:00
};

// One entry of an archive as a listing shows it.
struct TEntry
{
    std::string name;
    std::string comment;
};

std::vector<TEntry> Entries(const std::string& archive)
{
    TXceedZip zip;
    zip.ZipFileName = archive;
    std::vector<TEntry> entries;
    zip.OnListing = [&entries](const TXcdFileStats& stats) { entries.push_back({stats.FileName, stats.Comment}); };
    zip.List("");
    return entries;
}

std::vector<std::string> EntryNames(const std::string& archive)
{
    std::vector<std::string> names;
    for (const TEntry& entry : Entries(archive))
        names.push_back(entry.name);
    return names;
}

std::string Repeat(std::string_view piece, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += piece;
    return text;
}

// A queue file record line whose state field is this text (an HTML page of level 1,
// to download).
std::string RecordLine(std::string_view state)
{
    std::string line;
    for (std::string_view field :
         std::initializer_list<std::string_view>{state, "", "HTML", "", "1", "", "", "1", "", "0", ""})
    {
        line += field;
        line += "\xB6";
    }
    return line;
}

// An item as a queue file line pair holds it.
struct TQueued
{
    TQueued(std::string itemPath, bool isPage = true, int itemState = kStateNone, std::int64_t itemSize = 0,
            std::string itemTitle = {}, int itemMode = kModeDownload)
        : path(std::move(itemPath))
        , page(isPage)
        , state(itemState)
        , size(itemSize)
        , title(std::move(itemTitle))
        , mode(itemMode)
    {
    }

    std::string path;
    bool page;
    int state;
    std::int64_t size;
    std::string title;
    int mode;
};

class HXTaskRunnerTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        THXSandboxTest::SetUp();
        app = test::MakeSeededApp(Home(), owner);
        slots = std::make_unique<THXSlotList>();
        slots->SetSlotCount(2, false);
        runner = std::make_unique<THXTaskRunner>(*app, host, *slots, QuickPacing());
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

    test::THXTestServer& Server()
    {
        if (!server)
            server = std::make_unique<test::THXTestServer>(test::Routes(
                {{"/", test::TReply::Text(200, "<html><body>home</body></html>", {{"Content-Type", "text/html"}})}}));
        return *server;
    }

    // A saved task of the "General" category: a Zip task (archive in the Downloads
    // folder, named after the task) or a Personal Intranet task (its own folder).
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
        task->Destination =
            intranet ? Home().Folder() + "Intranet/" + name + "/" : app->GetDownloadsFolder() + name + ".zip";
        task->Save();
        return task;
    }

    // Writes the task's queue file with these items, as an earlier run left it.
    void WriteQueue(const THXTask& task, const std::vector<TQueued>& items)
    {
        THXTask writer(*app);
        writer.Name = task.Name;
        writer.FileName = task.FileName;
        for (const TQueued& queued : items)
        {
            THXQItem item;
            item.URL = Server().URL(queued.path);
            item.Group = queued.page ? "HTML" : "Images";
            item.State = queued.state;
            item.Size = queued.size;
            item.Title = queued.title;
            item.Mode = queued.mode;
            item.Level = queued.path == "/" ? 0 : 1;
            writer.AddItem(std::move(item));
        }
        writer.SaveQueue();
    }

    // The task as its file holds it now.
    std::unique_ptr<THXTask> Stored(const THXTask& task)
    {
        auto stored = std::make_unique<THXTask>(*app);
        stored->FileName = task.FileName;
        stored->Load();
        return stored;
    }

    bool IsActive(const THXTask& task) const
    {
        return std::any_of(app->ActiveTasks.begin(), app->ActiveTasks.end(),
                           [&](const TActiveTask& entry) { return entry.fileName == task.FileName; });
    }

    // A file the run saved below the temporary folder, waiting for the archive: its
    // item stands in the queue with the title and, unless told otherwise, the file.
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

    // Serves the owner loop and the zip timer as the program's event loop does,
    // until the condition holds; false when the time ran out.
    bool Serve(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done())
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            owner.ProcessPending(1ms);
            if (runner->ZipTimerEnabled())
                runner->ZipTimerTick();
        }
        return true;
    }

    THXEventLoopOwner owner;
    TRecordingHost host{owner};
    std::unique_ptr<THXApp> app;
    std::unique_ptr<THXSlotList> slots;
    std::unique_ptr<THXTaskRunner> runner;
    std::unique_ptr<test::THXTestServer> server;
};

// ---- Start ----

TEST_F(HXTaskRunnerTest, RestartAndMapBeginAfreshWithTheWindowStepsInOrder)
{
    auto task = NewTask("Fresh");
    WriteQueue(*task, {{"/"}, {"/a.html", true, kStateParsed}, {"/i.gif", false, kStateSaved, 10}});
    task->PagesSaved = 7;
    task->ResourcesSaved = 3;
    task->PageErrors = 2;
    task->TotalBytes = 12345;
    task->ElapsedTime = 0.5;
    task->Status = kStatusScheduled;
    task->Schedule = std::string(kScheduleNow);
    task->RunMode = kRunRestart;
    task->Save();

    const std::size_t mark = host.log.size();
    ASSERT_TRUE(runner->Start(task));
    EXPECT_EQ(host.Since(mark),
              (std::vector<std::string>{"ResetDisplay", "AttachTask: Fresh", "AttachExploreView: Fresh",
                                        "ShowStatus: Starting Task...", "OpenZip: Fresh", "SetLogoRunning: on",
                                        "SetRunEnabled: off", "UpdateCommands"}));
    // A fresh queue holding the start page only, the old file not read; counters reset.
    EXPECT_EQ(task->ItemCount(), 1);
    EXPECT_EQ(task->QueueLine(0), task->URL);
    EXPECT_EQ(task->RecordField(0, 0), "0");
    EXPECT_EQ(task->RecordField(0, 7), std::to_string(kModeDownload));
    EXPECT_EQ(task->PagesSaved, 0);
    EXPECT_EQ(task->ResourcesSaved, 0);
    EXPECT_EQ(task->PageErrors, 0);
    EXPECT_EQ(task->TotalBytes, 0);
    EXPECT_EQ(task->ElapsedTime, 0);
    EXPECT_GT(task->LastRun, 0);
    // Downloading, saved so, listed as active, and handed to both workers.
    EXPECT_EQ(task->Status, kStatusDownloading);
    EXPECT_EQ(Stored(*task)->Status, kStatusDownloading);
    EXPECT_TRUE(IsActive(*task));
    EXPECT_EQ(app->CurrentTask, task);
    EXPECT_EQ(runner->RunningTask(), task);
    EXPECT_TRUE(runner->ZipTimerEnabled());
    EXPECT_EQ(runner->Dispatcher().Task(), task);
    EXPECT_EQ(runner->ParseWorker().Task(), task);
    EXPECT_FALSE(runner->Dispatcher().Halted());
    EXPECT_FALSE(runner->ParseWorker().Halted());
    EXPECT_EQ(runner->Zip().ZipFileName, task->Destination);

    runner->StopTask(task);
    // Map: the start page is mapped, and the next start is a restart again.
    task->RunMode = kRunMap;
    ASSERT_TRUE(runner->Start(task));
    EXPECT_EQ(host.LastStatus(), "Starting Task...");
    EXPECT_EQ(task->ItemCount(), 1);
    EXPECT_EQ(task->RecordField(0, 7), std::to_string(kModeMap));
    EXPECT_EQ(task->RunMode, kRunRestart);
    runner->StopTask(task);

    // A Personal Intranet task: no archive is opened; its folder is made.
    auto intranet = NewTask("Folder", true);
    const std::size_t intranetMark = host.log.size();
    ASSERT_TRUE(runner->Start(intranet));
    EXPECT_EQ(host.Since(intranetMark),
              (std::vector<std::string>{"ResetDisplay", "AttachTask: Folder", "AttachExploreView: Folder",
                                        "ShowStatus: Starting Task...", "SetLogoRunning: on", "SetRunEnabled: off",
                                        "UpdateCommands"}));
    EXPECT_TRUE(DirectoryExists(intranet->Destination));
    // The task run before lost its queue to the new one.
    EXPECT_EQ(task->ItemCount(), 0);
}

TEST_F(HXTaskRunnerTest, ResumeModesReadTheQueueFileOfATaskThatIsNotCurrent)
{
    const std::vector<TQueued> queue = {{"/", true, kStateParsed, 0, "Home"},
                                        {"/broken.gif", false, kStateError, 123},
                                        {"/cut.gif", false, kStateDownloading},
                                        {"/next.html", true, kStateNone}};
    struct TCase
    {
        const char* name;
        int runMode;
    };
    // The parsed start page still waits for the archive in the temporary folder.
    const std::string startFile =
        LocalFileName(app->GetTempFolder(), DirectoryURL(Server().URL("/")), Server().URL("/"));
    ForceDirectories(ExtractFilePath(startFile));
    ASSERT_TRUE(WriteFileAtomic(startFile, "<html></html>"));
    std::vector<std::shared_ptr<THXTask>> started;
    for (const TCase& run :
         {TCase{"Resume", kRunResume}, TCase{"Update", kRunSmartUpdate}, TCase{"Recover", kRunSmartRecovery}})
    {
        SCOPED_TRACE(run.name);
        auto task = NewTask(run.name);
        WriteQueue(*task, queue);
        task->RunMode = run.runMode;
        task->ElapsedTime = 1.0 / 24;
        task->Save();

        const std::size_t mark = host.log.size();
        const TDateTime before = Now();
        ASSERT_TRUE(runner->Start(task));
        EXPECT_EQ(host.Count("ShowStatus: Resuming Task...", mark), 1);
        EXPECT_EQ(host.Count("ShowStatus: Starting Task...", mark), 0);
        EXPECT_GT(host.Count("QueueProgress: Opening task....", mark), 0);
        EXPECT_EQ(app->CurrentTask, task);
        ASSERT_EQ(task->ItemCount(), 4);
        // The time already spent counts on.
        EXPECT_GE(task->LastRun, before);
        EXPECT_NEAR(task->StartTime, task->LastRun - 1.0 / 24, 1e-9);
        // An interrupted transfer is fetched again whatever the mode.
        EXPECT_EQ(task->Item(2)->State, kStateNone);
        EXPECT_EQ(task->Item(3)->State, kStateNone);
        switch (run.runMode)
        {
        case kRunResume:
            EXPECT_EQ(task->Item(0)->State, kStateParsed);
            EXPECT_EQ(task->Item(1)->State, kStateError);
            EXPECT_EQ(task->RecordField(1, 9), "123");
            break;
        case kRunSmartUpdate:
            EXPECT_EQ(task->Item(0)->State, kStateNone);
            EXPECT_EQ(task->Item(0)->Mode, kModeUpdate);
            EXPECT_EQ(task->RecordField(0, 7), std::to_string(kModeUpdate));
            EXPECT_EQ(task->Item(1)->State, kStateError);
            break;
        case kRunSmartRecovery:
            EXPECT_EQ(task->Item(0)->State, kStateParsed);
            EXPECT_EQ(task->Item(1)->State, kStateNone);
            EXPECT_EQ(task->RecordField(1, 0), "0");
            EXPECT_EQ(task->RecordField(1, 9), "0");
            break;
        }
        // The task shown before gave up its queue.
        for (const auto& earlier : started)
            EXPECT_EQ(earlier->ItemCount(), 0) << earlier->Name;
        runner->StopTask(task);
        started.push_back(task);
    }
}

TEST_F(HXTaskRunnerTest, ResumeOfTheCurrentTaskKeepsTheQueueInMemory)
{
    auto task = NewTask("Again");
    task->RunMode = kRunRestart;
    ASSERT_TRUE(runner->Start(task));
    runner->StopTask(task);
    ASSERT_TRUE(FileExists(task->QueueFileName()));

    // Changes made in memory since: the start page is done, one more page waits.
    THXQItem* start = task->Item(0);
    ASSERT_NE(start, nullptr);
    task->ReloadItem(*start);
    task->SetItemState(*start, kStateParsed);
    task->CommitItem(*start, true);
    THXQItem more;
    more.URL = Server().URL("/more.html");
    more.Group = "HTML";
    task->AddItem(std::move(more));
    // And a queue file that differs from both.
    WriteQueue(*task, {{"/"}, {"/x.html"}, {"/y.html"}});

    task->ElapsedTime = 0.25;
    for (int runMode : {kRunResume, kRunSmartRecovery})
    {
        SCOPED_TRACE(runMode);
        task->RunMode = runMode;
        const TDateTime elapsed = task->ElapsedTime;
        const std::size_t mark = host.log.size();
        ASSERT_TRUE(runner->Start(task));
        EXPECT_EQ(host.Count("ShowStatus: Resuming Task...", mark), 1);
        EXPECT_EQ(host.Count("ResetDisplay", mark), 0);
        EXPECT_EQ(host.Count("AttachTask", mark), 0);
        EXPECT_EQ(host.Count("AttachExploreView", mark), 0);
        EXPECT_EQ(host.Count("QueueProgress: Opening", mark), 0);
        ASSERT_EQ(task->ItemCount(), 2);
        EXPECT_EQ(task->RecordField(0, 0), std::to_string(kStateParsed));
        EXPECT_EQ(task->QueueLine(2), Server().URL("/more.html"));
        EXPECT_NEAR(task->StartTime, task->LastRun - elapsed, 1e-9);
        EXPECT_EQ(task->Status, kStatusDownloading);
        runner->StopTask(task);
    }
}

TEST_F(HXTaskRunnerTest, StartIsRefusedWhileAnotherTaskRuns)
{
    auto first = NewTask("First");
    auto second = NewTask("Second");
    WriteQueue(*second, {{"/"}, {"/b.html"}});
    second->Status = kStatusScheduled;
    second->Schedule = std::string(kScheduleNow);
    second->RunMode = kRunResume;
    second->Save();

    ASSERT_TRUE(runner->Start(first));
    const std::size_t mark = host.log.size();
    EXPECT_FALSE(runner->Start(second));
    // Nothing of the running task changed, and the refused task is as it was.
    EXPECT_EQ(host.Count("ResetDisplay", mark), 0);
    EXPECT_EQ(host.Count("SetLogoRunning", mark), 0);
    EXPECT_NE(host.LastStatus().find("Second"), std::string::npos) << host.LastStatus();
    EXPECT_EQ(app->CurrentTask, first);
    EXPECT_EQ(first->ItemCount(), 1);
    EXPECT_EQ(runner->Dispatcher().Task(), first);
    EXPECT_EQ(second->ItemCount(), 0);
    EXPECT_EQ(second->Status, kStatusScheduled);
    EXPECT_EQ(Stored(*second)->Status, kStatusScheduled);
    EXPECT_EQ(second->Schedule, kScheduleNow);

    // The running task itself cannot be started twice, nor while its archive is fed.
    EXPECT_FALSE(runner->Start(first));
    first->Status = kStatusComplete;
    first->AddZipPending(app->GetTempFolder() + "nothing", nullptr);
    EXPECT_FALSE(runner->Start(second));
    EXPECT_EQ(app->CurrentTask, first);

    runner->StopTask(first);
    EXPECT_TRUE(runner->Start(second));
    EXPECT_EQ(second->ItemCount(), 2);
}

TEST_F(HXTaskRunnerTest, DamagedQueueFileStopsTheStart)
{
    auto task = NewTask("Damaged");
    // A good pair, then a record whose state is not a number.
    const std::string url = Server().URL("/");
    ASSERT_TRUE(WriteFileAtomic(task->QueueFileName(), url + "\r\n" + RecordLine("10") + "\r\n" + url + "b.html\r\n" +
                                                           RecordLine("bad") + "\r\n"));
    task->Status = kStatusScheduled;
    task->Schedule = std::string(kScheduleNow);
    task->NextRun = 45000;
    task->RunMode = kRunResume;
    task->Save();
    ASSERT_TRUE(IsActive(*task));

    const std::size_t mark = host.log.size();
    EXPECT_FALSE(runner->Start(task));
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_NE(host.errors[0].find("Unable to start task"), std::string::npos) << host.errors[0];
    EXPECT_NE(host.errors[0].find("'bad' is not a valid integer value"), std::string::npos) << host.errors[0];
    EXPECT_EQ(task->Status, kStatusStopped);
    EXPECT_EQ(StatusText(task->Status), "Download Stopped");
    const auto stored = Stored(*task);
    EXPECT_EQ(stored->Status, kStatusStopped);
    EXPECT_EQ(stored->Schedule, "");
    EXPECT_EQ(stored->NextRun, 0);
    EXPECT_FALSE(IsActive(*task));
    // No run began.
    EXPECT_EQ(host.Count("SetLogoRunning: on", mark), 0);
    EXPECT_EQ(host.Count("SetRunEnabled: off", mark), 0);
    EXPECT_EQ(runner->RunningTask(), nullptr);
    EXPECT_FALSE(runner->ZipTimerEnabled());
    EXPECT_TRUE(runner->Dispatcher().Halted());
    EXPECT_TRUE(runner->ParseWorker().Halted());

    // The runner is not wedged: another task starts.
    auto good = NewTask("Good");
    EXPECT_TRUE(runner->Start(good));
}

TEST_F(HXTaskRunnerTest, DamagedQueueFileFailsAgainOnTheNextStart)
{
    auto task = NewTask("StillDamaged");
    const std::string url = Server().URL("/");
    ASSERT_TRUE(WriteFileAtomic(task->QueueFileName(), url + "\r\n" + RecordLine("10") + "\r\n" + url + "b.html\r\n" +
                                                           RecordLine("bad") + "\r\n"));
    task->RunMode = kRunResume;
    task->Save();

    EXPECT_FALSE(runner->Start(task));
    EXPECT_EQ(host.errors.size(), 1u);
    // The file is as damaged as before: the part read the first time must not be
    // taken for the whole queue.
    EXPECT_FALSE(runner->Start(task));
    EXPECT_EQ(host.errors.size(), 2u);
    EXPECT_EQ(runner->RunningTask(), nullptr);
    EXPECT_EQ(task->Status, kStatusStopped);
    if (runner->RunningTask())
        runner->StopTask(task);

    // The same after the task was only shown.
    auto shown = NewTask("ShownDamaged");
    ASSERT_TRUE(WriteFileAtomic(shown->QueueFileName(), url + "\r\n" + RecordLine("bad") + "\r\n"));
    shown->RunMode = kRunResume;
    shown->Save();
    runner->ShowTask(shown);
    EXPECT_EQ(host.errors.size(), 3u);
    EXPECT_FALSE(runner->Start(shown));
    EXPECT_EQ(host.errors.size(), 4u);
    if (runner->RunningTask())
        runner->StopTask(shown);
}

TEST_F(HXTaskRunnerTest, QueueProgressOnlyWhileAQueueIsReadAndNoCallbackOutlivesTheRunner)
{
    auto task = NewTask("Progress");
    WriteQueue(*task, {{"/"}, {"/a.html"}});
    task->RunMode = kRunResume;
    task->Save();
    ASSERT_TRUE(runner->Start(task));
    EXPECT_GT(host.Count("QueueProgress"), 0);

    // During the run items change state as transfers begin and end: no queue is read.
    const std::size_t mark = host.log.size();
    THXQItem* item = task->Item(1);
    ASSERT_NE(item, nullptr);
    task->ReloadItem(*item);
    task->SetItemState(*item, kStateDownloading);
    task->CommitItem(*item, true);
    runner->StopTask(task);
    EXPECT_EQ(host.Count("QueueProgress", mark), 0) << ::testing::PrintToString(host.Since(mark));

    // The task outlives the runner (it stays in the active list and the task window).
    runner.reset();
    EXPECT_FALSE(static_cast<bool>(task->OnProgress)) << "the task still calls into the runner that is gone";
}

// ---- The zip feed ----

TEST_F(HXTaskRunnerTest, ZipLastFeedsTheArchiveOnlyAfterTheDownloadEnds)
{
    app->Store().WriteBool(kSettingsKey, "Zip Last", true);
    auto task = NewTask("Last");
    ASSERT_TRUE(runner->Start(task));
    ASSERT_TRUE(task->ZipLast);
    AddSavedFile(*task, "site/a.html", "Page A");
    AddSavedFile(*task, "site/img/b.gif", "");

    for (int tick = 0; tick < 5; ++tick)
        runner->ZipTimerTick();
    EXPECT_FALSE(FileExists(task->Destination));
    EXPECT_EQ(task->ZipPendingCount(), 2);
    EXPECT_TRUE(host.added.empty());

    task->Status = kStatusComplete;
    runner->ZipTimerTick();
    EXPECT_EQ(EntryNames(task->Destination), std::vector<std::string>{"site/a.html"});
    EXPECT_EQ(task->Status, kStatusComplete);
    EXPECT_TRUE(runner->ZipTimerEnabled());
    runner->ZipTimerTick();
    EXPECT_EQ(EntryNames(task->Destination), (std::vector<std::string>{"site/a.html", "site/img/b.gif"}));
    EXPECT_EQ(task->Status, kStatusComplete);
    EXPECT_EQ(host.Count("SetLogoRunning: off"), 0);

    // Nothing left to add: the run is closed.
    runner->ZipTimerTick();
    EXPECT_EQ(task->Status, kStatusZipped);
    EXPECT_EQ(Stored(*task)->Status, kStatusZipped);
    EXPECT_FALSE(runner->ZipTimerEnabled());
    EXPECT_EQ(runner->RunningTask(), nullptr);
    EXPECT_EQ(host.Count("SetLogoRunning: off"), 1);
    EXPECT_EQ(host.Count("SetRunEnabled: on"), 1);
    EXPECT_TRUE(runner->Dispatcher().Halted());
    ASSERT_EQ(host.added.size(), 2u);
    EXPECT_EQ(host.added[0].entry, "site/a.html");
    EXPECT_EQ(host.added[0].title, "Page A");
}

TEST_F(HXTaskRunnerTest, WithoutZipLastFilesEnterDuringTheDownloadAndTheEndWaitsForThem)
{
    app->Store().WriteBool(kSettingsKey, "Zip Last", false);
    auto task = NewTask("During");
    ASSERT_TRUE(runner->Start(task));
    ASSERT_FALSE(task->ZipLast);
    AddSavedFile(*task, "site/a.html", "A");
    AddSavedFile(*task, "site/b.html", "B");

    runner->ZipTimerTick();
    EXPECT_EQ(EntryNames(task->Destination), std::vector<std::string>{"site/a.html"});
    runner->ZipTimerTick();
    EXPECT_EQ(EntryNames(task->Destination), (std::vector<std::string>{"site/a.html", "site/b.html"}));
    // Downloading still: an empty pending list ends nothing.
    runner->ZipTimerTick();
    EXPECT_EQ(task->Status, kStatusDownloading);
    EXPECT_TRUE(runner->ZipTimerEnabled());

    AddSavedFile(*task, "site/c.html", "C");
    AddSavedFile(*task, "site/d.html", "D");
    task->Status = kStatusComplete;
    runner->ZipTimerTick();
    EXPECT_EQ(task->Status, kStatusComplete);
    EXPECT_EQ(EntryNames(task->Destination).size(), 3u);
    runner->ZipTimerTick();
    EXPECT_EQ(task->Status, kStatusComplete);
    EXPECT_EQ(EntryNames(task->Destination).size(), 4u);
    runner->ZipTimerTick();
    EXPECT_EQ(task->Status, kStatusZipped);
    EXPECT_FALSE(runner->ZipTimerEnabled());
}

TEST_F(HXTaskRunnerTest, PendingEntriesNamesCommentsAndTheListingPause)
{
    auto task = NewTask("Entries");
    ASSERT_TRUE(runner->Start(task));
    const std::string longTitle = Repeat("x", 300);
    // An entry without a file of its own is dropped; an item's own file stands in
    // for a pending entry that names none.
    AddSavedFile(*task, "host/ghost.html", "Ghost", /*keepLocalFile=*/false, /*pendingWithPath=*/false);
    AddSavedFile(*task, "host/dir/own.html", "Own", /*keepLocalFile=*/true, /*pendingWithPath=*/false);
    AddSavedFile(*task, "host/dir/long.html", longTitle);
    AddSavedFile(*task, "host/exact.html", Repeat("y", 255));
    task->Status = kStatusComplete;

    // While a listing of the archive runs the feed waits, and the run does not end.
    runner->ZipGate().ListingMode = kListingArchive;
    for (int tick = 0; tick < 3; ++tick)
        runner->ZipTimerTick();
    EXPECT_EQ(task->ZipPendingCount(), 4);
    EXPECT_FALSE(FileExists(task->Destination));
    EXPECT_EQ(task->Status, kStatusComplete);
    runner->ZipGate().ListingMode = kListingNone;

    runner->ZipTimerTick();
    EXPECT_EQ(task->ZipPendingCount(), 3);
    EXPECT_FALSE(FileExists(task->Destination));
    EXPECT_TRUE(host.added.empty());
    EXPECT_EQ(host.Count("ReportZipResult"), 0);
    ASSERT_TRUE(Serve([&] { return !runner->ZipTimerEnabled(); }, 2s));
    EXPECT_EQ(task->Status, kStatusZipped);

    const auto entries = Entries(task->Destination);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "host/dir/own.html");
    EXPECT_EQ(entries[0].comment, "Own");
    EXPECT_EQ(entries[1].name, "host/dir/long.html");
    EXPECT_EQ(entries[1].comment, Repeat("x", 255));
    EXPECT_EQ(entries[2].name, "host/exact.html");
    EXPECT_EQ(entries[2].comment, Repeat("y", 255));
    ASSERT_EQ(host.added.size(), 3u);
    EXPECT_EQ(host.added[1].entry, "host/dir/long.html");
    EXPECT_EQ(host.added[1].title, Repeat("x", 255));
}

TEST_F(HXTaskRunnerTest, TheFeedSharesTheZipComponentWithTheWindows)
{
    auto task = NewTask("Shared");
    ASSERT_TRUE(runner->Start(task));
    AddSavedFile(*task, "host/a.html", "A");
    AddSavedFile(*task, "host/b.html", "B");

    // The windows' archive, options and handlers on the shared component.
    TXceedZip& zip = runner->Zip();
    const std::string windowArchive = (Home().Path() / "window.zip").string();
    int windowListings = 0;
    zip.ZipFileName = windowArchive;
    zip.Compression = 2;
    zip.UsePaths = false;
    zip.Recurse = true;
    zip.BaseFolder = "/somewhere/";
    zip.OnListing = [&windowListings](const TXcdFileStats&) { ++windowListings; };

    // A tick that arrives while a window operation has the component (it processes
    // window events as it works) takes nothing.
    runner->ZipGate().ZipBusy = kZipExtracting;
    runner->ZipTimerTick();
    EXPECT_EQ(task->ZipPendingCount(), 2);
    runner->ZipGate().ZipBusy = kZipIdle;

    // A tick inside an operation whose caller did not mark the gate takes nothing either.
    AddSavedFile(*task, "host/c.html", "C");
    {
        TXceedZip maker;
        maker.ZipFileName = windowArchive;
        maker.FilesToProcess = {task->Destination + ".txt"};
        ASSERT_TRUE(WriteFileAtomic(maker.FilesToProcess.front(), "window"));
        ASSERT_EQ(maker.Add(), xcd::Success);
    }
    zip.OnListing = [&](const TXcdFileStats&)
    {
        ++windowListings;
        runner->ZipTimerTick();
    };
    EXPECT_EQ(zip.List(""), xcd::Success);
    EXPECT_EQ(windowListings, 1);
    EXPECT_EQ(task->ZipPendingCount(), 3);
    zip.OnListing = [&windowListings](const TXcdFileStats&) { ++windowListings; };

    runner->ZipTimerTick();
    EXPECT_EQ(task->ZipPendingCount(), 2);
    EXPECT_EQ(Entries(task->Destination).size(), 1u);
    EXPECT_EQ(windowListings, 1);
    // Every setting and handler of the windows is back after the feed's add.
    EXPECT_EQ(zip.ZipFileName, windowArchive);
    EXPECT_EQ(zip.Compression, 2);
    EXPECT_FALSE(zip.UsePaths);
    EXPECT_TRUE(zip.Recurse);
    EXPECT_EQ(zip.BaseFolder, "/somewhere/");
    ASSERT_TRUE(zip.OnListing);
    EXPECT_EQ(zip.OnFileComment, nullptr);
    EXPECT_FALSE(runner->ZipGate().ZipTreeLocked);
    EXPECT_TRUE(runner->ZipGate().Idle());
}

TEST_F(HXTaskRunnerTest, EntryCommentKeepsWholeCharactersOfTheTitle)
{
    auto task = NewTask("Accents");
    ASSERT_TRUE(runner->Start(task));
    // 300 characters of two bytes each: 255 of them make the comment.
    const std::string title = Repeat("\xC3\xA9", 300);
    AddSavedFile(*task, "host/accents.html", title);
    runner->ZipTimerTick();
    EXPECT_EQ(host.Count("ReportZipResult"), 0) << ::testing::PrintToString(host.log);
    const auto entries = Entries(task->Destination);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].comment, Repeat("\xC3\xA9", 255));
    ASSERT_EQ(host.added.size(), 1u);
    EXPECT_EQ(host.added[0].title, Repeat("\xC3\xA9", 255));
}

TEST_F(HXTaskRunnerTest, ResumedZipTaskQueuesTheFinishedFilesTheArchiveLacks)
{
    auto task = NewTask("Unzipped");
    WriteQueue(*task, {{"/", true, kStateParsed},
                       {"/a.html", true, kStateParsed},
                       {"/i.gif", false, kStateSaved},
                       {"/unparsed.html", true, kStateSaved},
                       {"/failed.gif", false, kStateError},
                       {"/gone.gif", false, kStateSaved, 7, "", kModeUpdate},
                       {"/kept.gif", false, kStateSaved, 9}});
    const std::string temp = app->GetTempFolder();
    auto localFile = [&](const std::string& path)
    {
        const std::string url = Server().URL(path);
        return LocalFileName(temp, DirectoryURL(url), url);
    };
    for (const char* path : {"/", "/a.html", "/i.gif", "/unparsed.html", "/failed.gif"})
    {
        ForceDirectories(ExtractFilePath(localFile(path)));
        ASSERT_TRUE(WriteFileAtomic(localFile(path), path));
    }
    // The start page entered the archive in the run that was stopped.
    TXceedZip zip;
    zip.ZipFileName = task->Destination;
    zip.BaseFolder = temp;
    ForceDirectories(ExtractFilePath(localFile("/kept.gif")));
    ASSERT_TRUE(WriteFileAtomic(localFile("/kept.gif"), "GIF89a"));
    zip.FilesToProcess = {localFile("/"), localFile("/kept.gif")};
    ASSERT_EQ(zip.Add(), xcd::Success);
    // A file in the archive needs no copy in the temporary folder.
    ASSERT_TRUE(std::filesystem::remove(localFile("/kept.gif")));
    const std::string keptEntry = localFile("/kept.gif").substr(temp.size());
    const std::string startEntry = localFile("/").substr(temp.size());

    task->ResourcesSaved = 4;
    task->TotalBytes = 100;
    task->RunMode = kRunResume;
    ASSERT_TRUE(runner->Start(task));
    EXPECT_EQ(task->ZipPendingCount(), 2);
    // A finished file that is neither in the temporary folder nor in the archive is
    // fetched again: it waits, in memory and in the queue file, and counts no more.
    const THXQItem* gone = task->FindItem(Server().URL("/gone.gif"));
    ASSERT_NE(gone, nullptr);
    EXPECT_EQ(gone->State, kStateNone);
    // Asked for whole: an update's "not modified" would leave it without a file.
    EXPECT_EQ(gone->Mode, kModeDownload);
    EXPECT_EQ(task->RecordField(gone->Index / 2, 0), "0");
    EXPECT_EQ(task->FindItem(Server().URL("/kept.gif"))->State, kStateSaved);
    EXPECT_EQ(task->ResourcesSaved, 3);
    EXPECT_EQ(task->TotalBytes, 93);
    // (The fetch itself is left out: the download is taken as done.)
    runner->Dispatcher().Halt();
    task->Status = kStatusComplete;
    ASSERT_TRUE(Serve([&] { return !runner->ZipTimerEnabled(); }, 2s));
    EXPECT_EQ(task->Status, kStatusZipped);
    std::vector<std::string> names = EntryNames(task->Destination);
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = {startEntry, keptEntry, localFile("/a.html").substr(temp.size()),
                                         localFile("/i.gif").substr(temp.size())};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);

    // A restart queues nothing of the kind: its queue is new.
    auto fresh = NewTask("FreshZip");
    WriteQueue(*fresh, {{"/", true, kStateParsed}, {"/a.html", true, kStateParsed}});
    ASSERT_TRUE(runner->Start(fresh));
    EXPECT_EQ(fresh->ZipPendingCount(), 0);
}

// The program closed while a stopped Zip task still had finished files outside its
// archive (zip-last keeps them all out until the download ends), and the close removed
// the temporary folder with them. Resumed after the restart, the task fetches those
// files again, parses its pages again without queueing their links twice, and ends
// with every file of the site in the archive.
TEST_F(HXTaskRunnerTest, ResumeAfterTheCloseRemovedTheTemporaryFolderFetchesTheLostFilesAgain)
{
    server = std::make_unique<test::THXTestServer>(test::Routes({}));
    const std::string home = server->URL("/");
    const auto page = [](const std::string& title, const std::string& body)
    { return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>"; };
    const std::map<std::string, std::string> site = {
        {"/", page("Home", "<a href=\"" + home + "a.html\">A</a> <a href=\"" + home + "b.html\">B</a> <img src=\"" +
                               home + "i.gif\"> <a href=\"" + home + "slow.html\">Slow</a>")},
        {"/a.html", page("A", "<a href=\"" + home + "\">Home</a> <img src=\"" + home + "c.gif\">")},
        {"/b.html", page("B", "<a href=\"" + home + "a.html\">A</a> <img src=\"" + home + "i.gif\">")},
        {"/slow.html", page("Slow", "<img src=\"" + home + "d.gif\">")},
        {"/i.gif", "GIF89a i"},
        {"/c.gif", "GIF89a c"},
        {"/d.gif", "GIF89a d"},
    };
    // Until the restart the slow page never comes, so the first run cannot end.
    auto slowComes = std::make_shared<std::atomic<bool>>(false);
    server->SetHandler(
        [site, slowComes](const test::TRecordedRequest& request)
        {
            const auto found = site.find(request.Target);
            if (found == site.end())
                return test::TReply::Text(404, "missing");
            if (request.Target == "/slow.html" && !*slowComes)
                return test::TReply().Stall();
            const bool html = request.Target.ends_with("/") || request.Target.ends_with(".html");
            return test::TReply::Text(200, found->second, {{"Content-Type", html ? "text/html" : "image/gif"}});
        });

    app->Store().WriteBool(kSettingsKey, "Zip Last", true);
    auto task = NewTask("Interrupted");
    ASSERT_TRUE(task->ZipLast);
    ASSERT_TRUE(runner->Start(task));
    const auto finished = [&](const std::string& path)
    {
        const THXQItem* item = task->FindItem(home + path.substr(1));
        return item && item->State == (item->IsPage() ? kStateParsed : kStateSaved);
    };
    ASSERT_TRUE(Serve(
        [&]
        {
            for (const char* path : {"/", "/a.html", "/b.html", "/i.gif", "/c.gif"})
                if (!finished(path))
                    return false;
            const THXQItem* slow = task->FindItem(home + "slow.html");
            return slow && slow->State == kStateDownloading;
        },
        10s))
        << ::testing::PrintToString(host.log);
    EXPECT_GT(task->ZipPendingCount(), 0);
    runner->StopTask(task);
    ASSERT_EQ(task->Status, kStatusStopped);
    ASSERT_FALSE(FileExists(task->Destination));

    // The program closes: the runner and the app go, and so does the temporary folder.
    const std::string temp = app->GetTempFolder();
    const std::string destination = task->Destination;
    const std::string taskFile = task->FileName;
    const auto localFile = [&](const std::string& path)
    {
        const std::string url = server->URL(path);
        return LocalFileName(temp, DirectoryURL(url), url);
    };
    ASSERT_TRUE(FileExists(localFile("/a.html")));
    runner.reset();
    slots.reset();
    owner.ProcessPending();
    task.reset();
    app->CurrentTask.reset();
    app->ActiveTasks.clear();
    app->SetOwner(nullptr);
    const TFolderRemoval removal = RemoveTemporaryFolder(*app);
    ASSERT_EQ(removal.Outcome, TRemovalOutcome::Removed) << removal.Text;
    ASSERT_FALSE(fs::exists(temp));
    app.reset();

    // The program starts again on the same home, and the task is resumed.
    THXEnvironment environment = THXEnvironment::UnderHome(Home().Path().string());
    environment.dataFolder = std::string(HX_SOURCE_DATA_DIR) + "/";
    app = std::make_unique<THXApp>(environment);
    app->SetOwner(&owner);
    slots = std::make_unique<THXSlotList>();
    slots->SetSlotCount(2, false);
    runner = std::make_unique<THXTaskRunner>(*app, host, *slots, QuickPacing());
    *slowComes = true;
    auto resumed = std::make_shared<THXTask>(*app);
    resumed->FileName = taskFile;
    resumed->Load();
    resumed->RunMode = kRunResume;
    ASSERT_TRUE(runner->Start(resumed));
    ASSERT_TRUE(Serve([&] { return !runner->ZipTimerEnabled(); }, 10s)) << ::testing::PrintToString(host.log);

    EXPECT_EQ(resumed->Status, kStatusZipped);
    EXPECT_TRUE(host.errors.empty()) << ::testing::PrintToString(host.errors);
    std::vector<std::string> names = EntryNames(destination);
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected;
    std::int64_t siteBytes = 0;
    for (const auto& [path, body] : site)
    {
        expected.push_back(localFile(path).substr(temp.size()));
        siteBytes += static_cast<std::int64_t>(body.size());
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    // Each address stands once in the queue, and the counters count each file once.
    EXPECT_EQ(resumed->ItemCount(), 7);
    EXPECT_EQ(resumed->PagesSaved, 4);
    EXPECT_EQ(resumed->ResourcesSaved, 3);
    EXPECT_EQ(resumed->PageErrors, 0);
    EXPECT_EQ(resumed->ResourceErrors, 0);
    EXPECT_EQ(resumed->TotalBytes, siteBytes);

    // The pages in the archive are the rewritten ones: their links lead to the copy.
    TXceedZip zip;
    zip.ZipFileName = destination;
    zip.ExtractDirectory = Home().Folder() + "Extracted/";
    zip.Overwrite = TXcdOverwrite::xowAlways;
    ASSERT_EQ(zip.Extract(), xcd::Success);
    for (const char* path : {"/", "/a.html", "/b.html", "/slow.html"})
    {
        const std::string stored =
            ReadWholeFile(zip.ExtractDirectory + localFile(path).substr(temp.size())).value_or("");
        EXPECT_NE(stored.find("<title>"), std::string::npos) << path;
        EXPECT_EQ(stored.find(home), std::string::npos) << path << ": " << stored;
    }
}

// A run that was killed in the middle of saving pages left their hidden temporaries;
// the next start of a task removes those in its copy's folder (the task's folder, or
// the temporary folder of an archive task), and only those of processes that are gone.
TEST_F(HXTaskRunnerTest, StartRemovesTemporariesLeftByAKilledRun)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ASSERT_GT(child, 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const std::string gone = ".page.html.tmp-" + std::to_string(child) + "-42";
    const std::string running = ".page.html.tmp-1-42";

    auto intranet = NewTask("Folder", true);
    auto archive = NewTask("Archive");
    const std::vector<std::string> left = {intranet->Destination + "site/" + gone,
                                           app->GetTempFolder() + "site/" + gone};
    const std::vector<std::string> kept = {intranet->Destination + "site/" + running, intranet->Destination + "a.html"};
    for (const std::string& path : left)
        ASSERT_TRUE(WriteFileAtomic(path, "half a page"));
    for (const std::string& path : kept)
        ASSERT_TRUE(WriteFileAtomic(path, "kept"));

    ASSERT_TRUE(runner->Start(intranet));
    runner->WaitForCleanUp();
    EXPECT_FALSE(FileExists(left[0]));
    EXPECT_TRUE(FileExists(left[1])); // another task's folder
    for (const std::string& path : kept)
        EXPECT_TRUE(FileExists(path)) << path;
    runner->StopTask(intranet);

    ASSERT_TRUE(runner->Start(archive));
    runner->WaitForCleanUp();
    EXPECT_FALSE(FileExists(left[1]));
    runner->StopTask(archive);
}

TEST_F(HXTaskRunnerTest, IntranetRunEndsWithReportsAndNoArchive)
{
    auto task = NewTask("Site", true);
    ASSERT_TRUE(runner->Start(task));
    AddSavedFile(*task, "site/a.html", "A");
    for (int tick = 0; tick < 3; ++tick)
        runner->ZipTimerTick();
    EXPECT_EQ(task->Status, kStatusDownloading);
    EXPECT_TRUE(runner->ZipTimerEnabled());
    EXPECT_EQ(host.Count("CreateReports"), 0);

    task->Status = kStatusComplete;
    runner->ZipTimerTick();
    EXPECT_EQ(task->Status, kStatusTaskComplete);
    EXPECT_EQ(Stored(*task)->Status, kStatusTaskComplete);
    EXPECT_FALSE(runner->ZipTimerEnabled());
    EXPECT_EQ(host.Count("CreateReports: Site"), 1);
    EXPECT_TRUE(host.added.empty());
    EXPECT_FALSE(FileExists(app->GetDownloadsFolder() + "Site.zip"));
    runner->ZipTimerTick();
    EXPECT_EQ(host.Count("CreateReports"), 1);
}

// ---- The end of a run and the archive's name ----

TEST_F(HXTaskRunnerTest, CompletedArchiveTakesTheStartPageTitle)
{
    const std::string folder = app->GetDownloadsFolder();
    auto task = NewTask("Named");
    ASSERT_TRUE(WriteFileAtomic(task->Destination, "archive"));
    const std::string oldPath = task->Destination;
    app->SaveRecentList(kRecentZipFilesKey, {folder + "Other.zip", oldPath}, app->MaxFileHistory());
    task->Profile.UseStartPageTitle = true;
    task->StartPageTitle = "A\\B/C:D*E?F\"G<H>I|J";

    runner->CompleteTask(*task);
    const std::string newPath = folder + "A B C D E F G H I J.zip";
    EXPECT_EQ(task->Destination, newPath);
    EXPECT_EQ(Stored(*task)->Destination, newPath);
    EXPECT_FALSE(FileExists(oldPath));
    EXPECT_EQ(ReadWholeFile(newPath).value_or(""), "archive");
    EXPECT_EQ(host.Count("ZipRenamed: " + oldPath + " -> " + newPath), 1);
    EXPECT_EQ(app->LoadRecentList(kRecentZipFilesKey, app->MaxFileHistory()),
              (std::vector<std::string>{newPath, folder + "Other.zip"}));

    // Another file holds the name: the unique-name rule; the other file stays.
    auto second = NewTask("Second");
    ASSERT_TRUE(WriteFileAtomic(second->Destination, "second"));
    ASSERT_TRUE(WriteFileAtomic(folder + "Title.zip", "someone else's"));
    second->Profile.UseStartPageTitle = true;
    second->StartPageTitle = "Title";
    runner->CompleteTask(*second);
    EXPECT_EQ(second->Destination, folder + "Title(0).zip");
    EXPECT_EQ(ReadWholeFile(folder + "Title(0).zip").value_or(""), "second");
    EXPECT_EQ(ReadWholeFile(folder + "Title.zip").value_or(""), "someone else's");

    // An archive that bears the title's name keeps it.
    auto third = NewTask("Third");
    third->Destination = folder + "Kept.zip";
    ASSERT_TRUE(WriteFileAtomic(third->Destination, "third"));
    third->Profile.UseStartPageTitle = true;
    third->StartPageTitle = "Kept";
    const std::size_t mark = host.log.size();
    runner->CompleteTask(*third);
    EXPECT_EQ(third->Destination, folder + "Kept.zip");
    EXPECT_FALSE(FileExists(folder + "Kept(0).zip"));
    EXPECT_EQ(host.Count("ZipRenamed", mark), 0);

    // Without the profile's choice, or without a title, the name stays.
    auto fourth = NewTask("Fourth");
    ASSERT_TRUE(WriteFileAtomic(fourth->Destination, "fourth"));
    fourth->StartPageTitle = "Ignored";
    runner->CompleteTask(*fourth);
    fourth->Profile.UseStartPageTitle = true;
    fourth->StartPageTitle.clear();
    runner->CompleteTask(*fourth);
    EXPECT_EQ(fourth->Destination, folder + "Fourth.zip");
    EXPECT_TRUE(FileExists(folder + "Fourth.zip"));
    EXPECT_FALSE(FileExists(folder + "Ignored.zip"));

    // Nothing was ever added: there is no file to rename and nothing to tell.
    auto empty = NewTask("Empty");
    EXPECT_FALSE(runner->RenameZip(*empty, "Whatever.zip"));
    EXPECT_EQ(empty->Destination, folder + "Empty.zip");
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(HXTaskRunnerTest, ArchiveNamedByTheUniqueNameRuleKeepsItsNameOnTheNextRun)
{
    const std::string folder = app->GetDownloadsFolder();
    ASSERT_TRUE(WriteFileAtomic(folder + "Site.zip", "someone else's"));
    auto task = NewTask("Runs");
    ASSERT_TRUE(WriteFileAtomic(task->Destination, "ours"));
    task->Profile.UseStartPageTitle = true;
    task->StartPageTitle = "Site";
    runner->CompleteTask(*task);
    ASSERT_EQ(task->Destination, folder + "Site(0).zip");

    // The next run ends with the same title: the archive must not move again.
    runner->CompleteTask(*task);
    EXPECT_EQ(task->Destination, folder + "Site(0).zip");
    EXPECT_TRUE(FileExists(folder + "Site(0).zip"));
    EXPECT_FALSE(FileExists(folder + "Site(1).zip"));
}

TEST_F(HXTaskRunnerTest, ArchiveNamedAfterALongTitleIsShortenedAndKeepsItsName)
{
    const std::string folder = app->GetDownloadsFolder();
    std::string title;
    for (int i = 0; i < 120; ++i)
        title += "Caf\xC3\xA9 ";
    auto task = NewTask("Long");
    ASSERT_TRUE(WriteFileAtomic(task->Destination, "ours"));
    task->Profile.UseStartPageTitle = true;
    task->StartPageTitle = title;
    runner->CompleteTask(*task);
    EXPECT_TRUE(host.errors.empty()) << host.errors.front();
    const std::string name = fs::path(task->Destination).filename().string();
    EXPECT_LE(name.size(), kMaxLocalNameBytes);
    EXPECT_TRUE(name.starts_with("Caf\xC3\xA9 Caf")) << name;
    EXPECT_TRUE(name.ends_with(".zip")) << name;
    EXPECT_TRUE(IsValidUtf8(name));
    EXPECT_EQ(ReadWholeFile(task->Destination).value_or(""), "ours");

    // The next run keeps the name; another archive with the same title gets one of its own.
    const std::string first = task->Destination;
    runner->CompleteTask(*task);
    EXPECT_EQ(task->Destination, first);
    auto other = NewTask("Other");
    ASSERT_TRUE(WriteFileAtomic(other->Destination, "other"));
    other->Profile.UseStartPageTitle = true;
    other->StartPageTitle = title;
    runner->CompleteTask(*other);
    EXPECT_TRUE(host.errors.empty()) << host.errors.front();
    EXPECT_NE(other->Destination, first);
    EXPECT_LE(fs::path(other->Destination).filename().string().size(), kMaxLocalNameBytes);
    EXPECT_EQ(ReadWholeFile(other->Destination).value_or(""), "other");
    EXPECT_EQ(ReadWholeFile(first).value_or(""), "ours");
}

TEST_F(HXTaskRunnerTest, RenameFailureIsToldAndChangesNothing)
{
    const std::string folder = app->GetDownloadsFolder();
    auto task = NewTask("Blocked");
    ASSERT_TRUE(WriteFileAtomic(task->Destination, "archive"));
    const std::string oldPath = task->Destination;
    app->SaveRecentList(kRecentZipFilesKey, {oldPath}, app->MaxFileHistory());
    // A folder stands where the archive would go.
    fs::create_directories(folder + "Taken.zip");

    EXPECT_FALSE(runner->RenameZip(*task, "Taken.zip"));
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_TRUE(host.errors[0].starts_with("Unable to rename file to: " + folder + "Taken.zip")) << host.errors[0];
    EXPECT_EQ(task->Destination, oldPath);
    EXPECT_EQ(ReadWholeFile(oldPath).value_or(""), "archive");
    EXPECT_EQ(host.Count("ZipRenamed"), 0);
    EXPECT_EQ(app->LoadRecentList(kRecentZipFilesKey, app->MaxFileHistory()), std::vector<std::string>{oldPath});

    // Through the end of a run: the task keeps its archive and is not saved with another.
    task->Profile.UseStartPageTitle = true;
    task->StartPageTitle = "Taken";
    runner->CompleteTask(*task);
    EXPECT_EQ(host.errors.size(), 2u);
    EXPECT_EQ(Stored(*task)->Destination, oldPath);
}

TEST_F(HXTaskRunnerTest, RecurringTaskIsScheduledAgainWhenItCompletesAndStoppedWhenStopped)
{
    TFixedClock clock;
    THXScheduler scheduler(*app, clock);
    runner->SetScheduler(&scheduler);
    const std::string every = EveryScheduleText("1", "30");

    auto task = NewTask("Hourly", true);
    task->Status = kStatusScheduled;
    task->Schedule = every;
    task->Save();
    ASSERT_TRUE(runner->Start(task));
    task->Status = kStatusComplete;
    runner->ZipTimerTick();
    EXPECT_FALSE(runner->ZipTimerEnabled());
    EXPECT_EQ(task->Status, kStatusScheduled);
    EXPECT_EQ(task->Schedule, every);
    EXPECT_NEAR(task->NextRun, clock.now + 1.5 / 24, 1e-9);
    const auto stored = Stored(*task);
    EXPECT_EQ(stored->Status, kStatusScheduled);
    EXPECT_NEAR(stored->NextRun, clock.now + 1.5 / 24, 1.0 / 86400);
    EXPECT_TRUE(IsActive(*task));

    // The same task stopped in its next run.
    task->RunMode = kRunRestart;
    ASSERT_TRUE(runner->Start(task));
    runner->StopTask(task);
    EXPECT_EQ(task->Status, kStatusStopped);
    EXPECT_EQ(Stored(*task)->Status, kStatusStopped);
    EXPECT_FALSE(IsActive(*task));

    // "Now" is used up by the run, completed or stopped (the runner's own clock here).
    runner->SetScheduler(nullptr);
    for (bool complete : {true, false})
    {
        SCOPED_TRACE(complete);
        auto once = NewTask(complete ? "OnceDone" : "OnceStopped");
        once->Status = kStatusScheduled;
        once->Schedule = std::string(kScheduleNow);
        once->Save();
        ASSERT_TRUE(runner->Start(once));
        if (complete)
        {
            once->Status = kStatusComplete;
            runner->ZipTimerTick();
            EXPECT_EQ(once->Status, kStatusZipped);
        }
        else
        {
            runner->StopTask(once);
            EXPECT_EQ(once->Status, kStatusStopped);
        }
        const auto saved = Stored(*once);
        EXPECT_EQ(saved->Schedule, "");
        EXPECT_EQ(saved->NextRun, 0);
        EXPECT_EQ(saved->Status, once->Status);
        EXPECT_FALSE(IsActive(*once));
    }
}

TEST_F(HXTaskRunnerTest, StopInTheMiddleOfATransferPutsEverythingBack)
{
    server = std::make_unique<test::THXTestServer>(test::Routes({{"/", test::TReply().Stall()}}));
    auto task = NewTask("Stopped");
    task->Status = kStatusScheduled;
    task->Schedule = std::string(kScheduleNow);
    task->Save();
    ASSERT_TRUE(runner->Start(task));
    ASSERT_TRUE(Serve(
        [&]
        {
            THXQItem* start = task->Item(0);
            return start && start->State == kStateDownloading && server->RequestCount() >= 1;
        },
        5s));
    ASSERT_TRUE(slots->AnyBusy());

    const std::size_t mark = host.log.size();
    runner->StopTask(task);
    EXPECT_TRUE(runner->Dispatcher().Halted());
    EXPECT_TRUE(runner->ParseWorker().Halted());
    EXPECT_EQ(slots->Count(), 2);
    EXPECT_FALSE(slots->AnyBusy());
    for (THXSocket* slot : slots->Slots())
        EXPECT_EQ(slot->Item(), nullptr);
    // The interrupted page is waiting again, in memory and in the queue file.
    EXPECT_EQ(task->RecordField(0, 0), "0");
    const std::string queueFile = ReadWholeFile(task->QueueFileName()).value_or("");
    EXPECT_TRUE(queueFile.starts_with(task->URL + "\r\n0\xB6")) << queueFile;
    EXPECT_FALSE(task->Modified);
    EXPECT_EQ(task->Status, kStatusStopped);
    const auto stored = Stored(*task);
    EXPECT_EQ(stored->Status, kStatusStopped);
    EXPECT_EQ(stored->Schedule, "");
    EXPECT_FALSE(IsActive(*task));
    EXPECT_EQ(host.Count("SetLogoRunning: off", mark), 1);
    EXPECT_EQ(host.Count("SetRunEnabled: on", mark), 1);
    EXPECT_EQ(host.Count("CreateReports", mark), 0);
    EXPECT_EQ(host.Since(mark).front(), "ShowStatus: Stopping Task...");
    EXPECT_EQ(host.LastStatus(), "Ready");
    EXPECT_EQ(runner->RunningTask(), nullptr);
    EXPECT_FALSE(runner->ZipTimerEnabled());

    // The workers touch the task no more.
    const std::size_t requests = server->RequestCount();
    owner.ProcessPending(30ms);
    owner.ProcessPending(30ms);
    EXPECT_EQ(task->RecordField(0, 0), "0");
    EXPECT_EQ(task->Status, kStatusStopped);
    EXPECT_EQ(server->RequestCount(), requests);
    EXPECT_FALSE(slots->AnyBusy());
}

TEST_F(HXTaskRunnerTest, StopOfATaskThatIsOnlyShown)
{
    auto task = NewTask("Shown");
    WriteQueue(*task, {{"/"}, {"/a.html", true, kStateParsed}});
    task->Status = kStatusIncomplete;
    task->Save();
    runner->ShowTask(task);
    ASSERT_EQ(task->ItemCount(), 2);

    const std::size_t mark = host.log.size();
    runner->StopTask(task);
    EXPECT_TRUE(runner->Dispatcher().Halted());
    EXPECT_TRUE(runner->ParseWorker().Halted());
    EXPECT_EQ(task->Status, kStatusStopped);
    EXPECT_EQ(Stored(*task)->Status, kStatusStopped);
    EXPECT_EQ(host.Count("SetRunEnabled: on", mark), 1);
    EXPECT_EQ(host.Count("SetLogoRunning: off", mark), 1);
    EXPECT_EQ(host.LastStatus(), "Ready");
    EXPECT_EQ(task->ItemCount(), 2);
    EXPECT_EQ(slots->Count(), 2);
}

TEST_F(HXTaskRunnerTest, StopOfATaskThatDoesNotRunKeepsTheElapsedTimeOfTheLastRun)
{
    auto task = NewTask("Timed");
    ASSERT_TRUE(runner->Start(task));
    runner->StopTask(task);
    const TDateTime elapsed = task->ElapsedTime;
    std::this_thread::sleep_for(30ms);

    // Stop pressed again on the stopped task.
    runner->StopTask(task);
    EXPECT_EQ(task->Status, kStatusStopped);
    EXPECT_EQ(task->ElapsedTime, elapsed) << "grew by " << (task->ElapsedTime - elapsed) * 86400 << " s";

    // Another task shown and stopped: the task of the last run is left alone.
    auto other = NewTask("OtherTimed");
    other->ElapsedTime = 0.125;
    other->Save();
    runner->ShowTask(other);
    std::this_thread::sleep_for(30ms);
    runner->StopTask(other);
    EXPECT_EQ(task->ElapsedTime, elapsed) << "grew by " << (task->ElapsedTime - elapsed) * 86400 << " s";
    EXPECT_EQ(other->ElapsedTime, 0.125);
}

TEST_F(HXTaskRunnerTest, WholeZipRunThroughTheRunner)
{
    const test::THeaderFields html = {{"Content-Type", "text/html"}};
    server = std::make_unique<test::THXTestServer>(test::Routes({
        {"/", test::TReply::Text(200,
                                 "<html><head><title>Site: Home</title></head><body><a href=\"a.html\">A</a>"
                                 "<img src=\"i.gif\"></body></html>",
                                 html)},
        {"/a.html", test::TReply::Text(200, "<html><head><title>Page A</title></head><body>A</body></html>", html)},
        {"/i.gif", test::TReply::Text(200, "GIF89a", {{"Content-Type", "image/gif"}})},
    }));
    auto task = NewTask("Whole");
    task->Profile.UseStartPageTitle = true;
    task->Save();
    ASSERT_TRUE(runner->Start(task));
    ASSERT_TRUE(Serve([&] { return !runner->ZipTimerEnabled(); }, 10s)) << ::testing::PrintToString(host.log);

    EXPECT_EQ(task->Status, kStatusZipped);
    EXPECT_EQ(task->PagesSaved, 2);
    EXPECT_EQ(task->ResourcesSaved, 1);
    EXPECT_EQ(task->StartPageTitle, "Site: Home");
    EXPECT_EQ(task->Destination, app->GetDownloadsFolder() + "Site  Home.zip");
    EXPECT_EQ(Stored(*task)->Destination, task->Destination);
    EXPECT_FALSE(FileExists(app->GetDownloadsFolder() + "Whole.zip"));
    // The Zip component follows the archive to its new name.
    EXPECT_EQ(runner->Zip().ZipFileName, task->Destination);

    const auto entries = Entries(task->Destination);
    ASSERT_EQ(entries.size(), 3u);
    ASSERT_EQ(host.added.size(), 3u);
    std::vector<std::string> comments;
    for (std::size_t i = 0; i < entries.size(); ++i)
    {
        EXPECT_EQ(entries[i].name, host.added[i].entry);
        EXPECT_EQ(entries[i].comment, host.added[i].title);
        EXPECT_FALSE(entries[i].name.starts_with("/")) << entries[i].name;
        EXPECT_TRUE(FileExists(app->GetTempFolder() + entries[i].name)) << entries[i].name;
        comments.push_back(entries[i].comment);
    }
    std::sort(comments.begin(), comments.end());
    EXPECT_EQ(comments, (std::vector<std::string>{"", "Page A", "Site: Home"}));
    EXPECT_EQ(host.Count("ReportZipResult"), 0);
    EXPECT_TRUE(host.errors.empty()) << ::testing::PrintToString(host.errors);
    EXPECT_EQ(host.Count("SetLogoRunning: off"), 1);
    EXPECT_EQ(host.Count("SetRunEnabled: on"), 1);
    EXPECT_FALSE(slots->AnyBusy());
}

// ---- Showing a task, closing ----

TEST_F(HXTaskRunnerTest, ShowTaskSwapsTheQueueInMemory)
{
    auto first = NewTask("One");
    WriteQueue(*first, {{"/"}, {"/a.html"}});
    auto second = NewTask("Two");
    WriteQueue(*second, {{"/"}, {"/b.html"}, {"/c.gif", false}});

    std::size_t mark = host.log.size();
    runner->ShowTask(first);
    EXPECT_EQ(host.Since(mark),
              (std::vector<std::string>{"ResetDisplay", "AttachTask: One", "AttachExploreView: One"}));
    EXPECT_EQ(app->CurrentTask, first);
    EXPECT_EQ(first->ItemCount(), 2);

    runner->ShowTask(second);
    EXPECT_EQ(app->CurrentTask, second);
    EXPECT_EQ(first->ItemCount(), 0);
    EXPECT_EQ(second->ItemCount(), 3);

    // Already shown: nothing happens, what changed in memory stays.
    THXQItem extra;
    extra.URL = Server().URL("/extra.html");
    extra.Group = "HTML";
    second->AddItem(std::move(extra));
    mark = host.log.size();
    runner->ShowTask(second);
    EXPECT_TRUE(host.Since(mark).empty());
    EXPECT_EQ(second->ItemCount(), 4);

    // While a task runs its queue stays.
    auto running = NewTask("Running");
    ASSERT_TRUE(runner->Start(running));
    mark = host.log.size();
    runner->ShowTask(first);
    EXPECT_EQ(app->CurrentTask, running);
    EXPECT_EQ(running->ItemCount(), 1);
    EXPECT_EQ(first->ItemCount(), 0);
    EXPECT_EQ(host.Count("ResetDisplay", mark), 0);
    EXPECT_EQ(host.Count("ShowStatus", mark), 1);
    runner->ShowTask(nullptr);
    EXPECT_EQ(app->CurrentTask, running);

    runner->StopTask(running);
    runner->ShowTask(nullptr);
    EXPECT_EQ(app->CurrentTask, nullptr);
    EXPECT_EQ(running->ItemCount(), 0);
}

TEST_F(HXTaskRunnerTest, CloseQueryAsksOnlyWhileATaskRuns)
{
    EXPECT_TRUE(runner->CloseQuery());
    EXPECT_EQ(host.Count("ConfirmAbortRunningTask"), 0);

    auto task = NewTask("Closing");
    ASSERT_TRUE(runner->Start(task));
    host.abortAnswer = false;
    EXPECT_FALSE(runner->CloseQuery());
    EXPECT_EQ(host.Count("ConfirmAbortRunningTask"), 1);
    EXPECT_EQ(task->Status, kStatusDownloading);
    EXPECT_EQ(runner->RunningTask(), task);
    EXPECT_FALSE(runner->Dispatcher().Halted());
    EXPECT_TRUE(runner->ZipTimerEnabled());

    // A finished download whose archive is still fed is running too.
    task->Status = kStatusComplete;
    AddSavedFile(*task, "site/a.html", "A");
    EXPECT_FALSE(runner->CloseQuery());
    EXPECT_EQ(host.Count("ConfirmAbortRunningTask"), 2);

    host.abortAnswer = true;
    EXPECT_TRUE(runner->CloseQuery());
    EXPECT_EQ(task->Status, kStatusStopped);
    EXPECT_EQ(Stored(*task)->Status, kStatusStopped);
    EXPECT_EQ(runner->RunningTask(), nullptr);
    EXPECT_TRUE(runner->Dispatcher().Halted());

    // With a scheduler attached the answer is the same.
    TFixedClock clock;
    THXScheduler scheduler(*app, clock);
    runner->SetScheduler(&scheduler);
    EXPECT_TRUE(runner->CloseQuery());
    EXPECT_EQ(host.Count("ConfirmAbortRunningTask"), 3);
    task->RunMode = kRunRestart;
    ASSERT_TRUE(runner->Start(task));
    host.abortAnswer = false;
    EXPECT_FALSE(runner->CloseQuery());
    host.abortAnswer = true;
    EXPECT_TRUE(runner->CloseQuery());
    EXPECT_EQ(task->Status, kStatusStopped);
    runner->SetScheduler(nullptr);
}

} // namespace
} // namespace hx
