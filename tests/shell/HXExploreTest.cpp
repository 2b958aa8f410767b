// The explore view's engine side: the mark commands change exactly the items and
// counters they name, a click on a mark turns only a waiting item, and a Resume
// after marking fetches only the marked items from a server on 127.0.0.1.

#include "shell/HXExplore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXOwner.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "net/HXSockets.h"
#include "shell/HXFirstRun.h"
#include "shell/HXTaskRunner.h"
#include "HXSeededApp.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"

namespace hx
{
namespace
{

using namespace std::chrono_literals;

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

// The windows' side of a run: nothing to show here.
class TQuietHost final : public THXRunnerHost
{
public:
    void ShowStatus(const std::string& text) override { (void)text; }
};

class HXExploreTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        THXSandboxTest::SetUp();
        app = test::MakeSeededApp(Home(), owner);
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

    std::shared_ptr<THXTask> NewTask(const std::string& name, const std::string& url)
    {
        auto task = std::make_shared<THXTask>(*app);
        task->Name = name;
        task->FileName = app->TasksFolder() + "General/" + name + ".hxt";
        task->URL = url;
        task->Profile.FileName = app->ProfilesFolder() + "Whole Site.hxp";
        task->Profile.Load();
        task->IntranetMode = true;
        task->Destination = Home().Folder() + "Intranet/" + name + "/";
        task->Save();
        return task;
    }

    THXQItem* Add(THXTask& task, const std::string& url, bool page, int state, std::int64_t size, int mode,
                  const std::string& result)
    {
        THXQItem item;
        item.URL = url;
        item.Group = page ? "HTML" : "Images";
        item.State = state;
        item.Size = size;
        item.Mode = mode;
        item.StatusText = result;
        item.Title = "T " + url;
        return task.AddItem(std::move(item));
    }

    std::unique_ptr<THXTask> Stored(const THXTask& task)
    {
        auto stored = std::make_unique<THXTask>(*app);
        stored->FileName = task.FileName;
        stored->Load();
        return stored;
    }

    bool Serve(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done())
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            owner.ProcessPending(1ms);
            if (runner && runner->ZipTimerEnabled())
                runner->ZipTimerTick();
        }
        return true;
    }

    THXEventLoopOwner owner;
    TQuietHost host;
    std::unique_ptr<THXApp> app;
    std::unique_ptr<THXSlotList> slots;
    std::unique_ptr<THXTaskRunner> runner;
    std::unique_ptr<test::THXTestServer> server;
};

// A queue of every kind of item: what each command touches, what it leaves.
struct TQueueOfKinds
{
    THXQItem* waitingPage;  // state 0, download
    THXQItem* skippedImage; // state 0, skip
    THXQItem* errorPage;    // state 3, "404 Not Found"
    THXQItem* savedImage;   // state 5, 100 bytes
    THXQItem* parsedPage;   // state 10, 300 bytes
};

TEST_F(HXExploreTest, MarkCommandsChangeExactlyTheirItemsAndCounters)
{
    const auto build = [this](const std::string& name)
    {
        auto task = NewTask(name, "http://127.0.0.1:9/");
        TQueueOfKinds kinds{};
        kinds.waitingPage = Add(*task, "http://127.0.0.1:9/w.html", true, kStateNone, 0, kModeDownload, "");
        kinds.skippedImage = Add(*task, "http://127.0.0.1:9/s.gif", false, kStateNone, 0, kModeSkip, "");
        kinds.errorPage = Add(*task, "http://127.0.0.1:9/e.html", true, kStateError, 0, kModeDownload, "404 Not Found");
        kinds.savedImage = Add(*task, "http://127.0.0.1:9/i.gif", false, kStateSaved, 100, kModeDownload, "OK");
        kinds.parsedPage = Add(*task, "http://127.0.0.1:9/p.html", true, kStateParsed, 300, kModeDownload, "OK");
        // The counters a run that ended so would have left.
        task->PagesSaved = 2; // the error counts as dispatched and "saved"
        task->PageErrors = 1;
        task->ResourcesSaved = 1;
        task->TotalBytes = 400;
        task->Save();
        return std::pair{task, kinds};
    };
    const auto row = [](const std::shared_ptr<THXTask>& task, const THXQItem* item)
    { return ReadExploreRow(*task, item->Index / 2); };

    {
        // "Mark for update" › "Selected": only saved items; their counters go down; the file is not saved.
        auto [task, k] = build("UpdateSelected");
        EXPECT_EQ(MarkItems(*task, TMarkCommand::Update, TMarkScope::Selected, {k.waitingPage, k.savedImage}), 1);
        EXPECT_EQ(row(task, k.waitingPage).Mode, kModeDownload);
        EXPECT_EQ(row(task, k.savedImage).Mode, kModeUpdate);
        EXPECT_EQ(row(task, k.savedImage).State, kStateNone);
        EXPECT_EQ(row(task, k.savedImage).StatusText, "OK");
        EXPECT_EQ(task->ResourcesSaved, 0);
        EXPECT_EQ(task->TotalBytes, 300);
        EXPECT_EQ(Stored(*task)->ResourcesSaved, 1) << "the task file is not saved";
        // The item's record strings are released again.
        EXPECT_TRUE(k.savedImage->URL.empty());
    }
    {
        // "Mark for update" › "All": every saved item; the file is saved.
        auto [task, k] = build("UpdateAll");
        EXPECT_EQ(MarkItems(*task, TMarkCommand::Update, TMarkScope::All), 2);
        EXPECT_EQ(row(task, k.parsedPage).Mode, kModeUpdate);
        EXPECT_EQ(row(task, k.errorPage).Mode, kModeDownload);
        EXPECT_EQ(row(task, k.errorPage).State, kStateError);
        EXPECT_EQ(task->PagesSaved, 1);
        EXPECT_EQ(task->TotalBytes, 0);
        EXPECT_EQ(Stored(*task)->PagesSaved, 1);
        EXPECT_EQ(Stored(*task)->TotalBytes, 0);
    }
    {
        // "Mark for mapping": pages only; resources keep their mode.
        auto [task, k] = build("MapAll");
        EXPECT_EQ(MarkItems(*task, TMarkCommand::Map, TMarkScope::All), 3);
        EXPECT_EQ(row(task, k.waitingPage).Mode, kModeMap);
        EXPECT_EQ(row(task, k.errorPage).Mode, kModeMap);
        EXPECT_EQ(row(task, k.errorPage).State, kStateNone);
        EXPECT_EQ(row(task, k.parsedPage).Mode, kModeMap);
        EXPECT_EQ(row(task, k.skippedImage).Mode, kModeSkip);
        EXPECT_EQ(row(task, k.savedImage).Mode, kModeDownload);
        EXPECT_EQ(row(task, k.savedImage).State, kStateSaved);
        EXPECT_EQ(task->PageErrors, 0);
        EXPECT_EQ(task->PagesSaved, 0);
        EXPECT_EQ(task->ResourcesSaved, 1);
        auto [other, o] = build("MapSelected");
        EXPECT_EQ(MarkItems(*other, TMarkCommand::Map, TMarkScope::Selected, {o.savedImage, o.parsedPage}), 1);
        EXPECT_EQ(row(other, o.savedImage).Mode, kModeDownload);
        EXPECT_EQ(row(other, o.parsedPage).Mode, kModeMap);
        EXPECT_EQ(Stored(*other)->PagesSaved, 2) << "the task file is not saved";
    }
    {
        // "Mark for download" › "All errors": the result stays; "Selected" clears it.
        auto [task, k] = build("DownloadErrors");
        EXPECT_EQ(MarkItems(*task, TMarkCommand::Download, TMarkScope::AllErrors), 1);
        EXPECT_EQ(row(task, k.errorPage).State, kStateNone);
        EXPECT_EQ(row(task, k.errorPage).StatusText, "404 Not Found");
        EXPECT_EQ(task->PageErrors, 0);
        EXPECT_EQ(task->PagesSaved, 1);
        EXPECT_EQ(Stored(*task)->PageErrors, 0);
        EXPECT_EQ(MarkItems(*task, TMarkCommand::Download, TMarkScope::Selected, {k.errorPage, k.savedImage}), 2);
        EXPECT_EQ(row(task, k.errorPage).StatusText, "");
        EXPECT_EQ(row(task, k.savedImage).StatusText, "");
        EXPECT_EQ(row(task, k.savedImage).State, kStateNone);
        EXPECT_EQ(row(task, k.savedImage).Mode, kModeDownload);
        EXPECT_EQ(task->ResourcesSaved, 0);
        EXPECT_EQ(row(task, k.parsedPage).StatusText, "OK");
    }
    {
        // "All unmarked": the skipped items only; "All": every item, results cleared.
        auto [task, k] = build("DownloadUnmarked");
        EXPECT_EQ(MarkItems(*task, TMarkCommand::Download, TMarkScope::AllUnmarked), 1);
        EXPECT_EQ(row(task, k.skippedImage).Mode, kModeDownload);
        EXPECT_EQ(row(task, k.parsedPage).State, kStateParsed);
        EXPECT_EQ(MarkItems(*task, TMarkCommand::Download, TMarkScope::All), 5);
        for (const THXQItem* item : {k.waitingPage, k.skippedImage, k.errorPage, k.savedImage, k.parsedPage})
        {
            EXPECT_EQ(row(task, item).State, kStateNone);
            EXPECT_EQ(row(task, item).Mode, kModeDownload);
            EXPECT_EQ(row(task, item).StatusText, "");
        }
        EXPECT_EQ(task->PagesSaved, 0);
        EXPECT_EQ(task->ResourcesSaved, 0);
        EXPECT_EQ(task->PageErrors, 0);
        EXPECT_EQ(task->TotalBytes, 0);
        EXPECT_EQ(Stored(*task)->TotalBytes, 0);
    }
    {
        // "Unmark": waiting items only.
        auto [task, k] = build("Unmark");
        EXPECT_EQ(MarkItems(*task, TMarkCommand::Unmark, TMarkScope::Selected, {k.waitingPage, k.parsedPage}), 1);
        EXPECT_EQ(row(task, k.waitingPage).Mode, kModeSkip);
        EXPECT_EQ(row(task, k.parsedPage).Mode, kModeDownload);
        EXPECT_EQ(MarkItems(*task, TMarkCommand::Unmark, TMarkScope::All), 2);
        EXPECT_EQ(row(task, k.errorPage).Mode, kModeDownload);
        EXPECT_EQ(task->TotalBytes, 400);
    }
    {
        // The click on a mark: a waiting item turns between skip and download; a saved one stays.
        auto [task, k] = build("Toggle");
        EXPECT_TRUE(ToggleMark(*task, *k.waitingPage));
        EXPECT_EQ(row(task, k.waitingPage).Mode, kModeSkip);
        EXPECT_TRUE(ToggleMark(*task, *k.waitingPage));
        EXPECT_EQ(row(task, k.waitingPage).Mode, kModeDownload);
        EXPECT_FALSE(ToggleMark(*task, *k.savedImage));
        EXPECT_EQ(row(task, k.savedImage).Mode, kModeDownload);
        EXPECT_EQ(row(task, k.savedImage).State, kStateSaved);
        EXPECT_FALSE(ToggleMark(*task, *k.errorPage));
    }
}

TEST_F(HXExploreTest, RowPicturesAndColours)
{
    EXPECT_EQ(MarkImageOf(kStateNone, kModeSkip), TMarkImage::Square);
    EXPECT_EQ(MarkImageOf(kStateDownloading, kModeDownload), TMarkImage::Square);
    EXPECT_EQ(MarkImageOf(kStateUpdating, kModeMap), TMarkImage::Globe);
    EXPECT_EQ(MarkImageOf(kStateNone, kModeUpdate), TMarkImage::GlobeArrows);
    EXPECT_EQ(MarkImageOf(kStateError, kModeUpdate), TMarkImage::Error);
    EXPECT_EQ(MarkImageOf(kStateDownloaded, kModeDownload), TMarkImage::Unchanged);
    EXPECT_EQ(MarkImageOf(kStateSaved, kModeMap), TMarkImage::Tick);
    EXPECT_EQ(MarkImageOf(kStateZipped, kModeDownload), TMarkImage::Tick);
    EXPECT_EQ(RowColorOf(kStateNone), 0x808080u);
    EXPECT_EQ(RowColorOf(kStateUpdating), 0x008000u);
    EXPECT_EQ(RowColorOf(kStateError), 0xFF0000u);
    EXPECT_EQ(RowColorOf(kStateUpdated), 0x800000u);
    EXPECT_EQ(RowColorOf(kStateParsed), 0x000080u);
}

// A crawl of the whole site, then marks, then Resume: only the marked items are asked for.
TEST_F(HXExploreTest, ResumeAfterMarkingFetchesOnlyTheMarkedItems)
{
    const auto html = [](const std::string& body) {
        return test::TReply::Text(200, "<html><body>" + body + "</body></html>", {{"Content-Type", "text/html"}});
    };
    server = std::make_unique<test::THXTestServer>(test::Routes({
        {"/", html("<a href=\"a.html\">a</a> <a href=\"b.html\">b</a> <img src=\"i.gif\"> <img src=\"j.gif\">")},
        {"/a.html", html("a")},
        {"/b.html", html("b")},
        {"/i.gif", test::TReply::Text(200, "GIF89a i", {{"Content-Type", "image/gif"}})},
        {"/j.gif", test::TReply::Text(200, "GIF89a j", {{"Content-Type", "image/gif"}})},
    }));
    slots = std::make_unique<THXSlotList>();
    slots->SetSlotCount(2, false);
    runner = std::make_unique<THXTaskRunner>(*app, host, *slots, QuickPacing());
    auto task = NewTask("Marked", server->URL("/"));
    ASSERT_TRUE(runner->Start(task));
    ASSERT_TRUE(Serve([&] { return runner->RunningTask() == nullptr; }));
    ASSERT_EQ(task->ItemCount(), 5);
    // Each address is asked for with HEAD, then GET.
    const auto gets = [this]
    {
        std::multiset<std::string> targets;
        for (const auto& request : server->Requests())
            if (request.Method == "GET")
                targets.insert(request.Target);
        return targets;
    };
    ASSERT_EQ(gets(), (std::multiset<std::string>{"/", "/a.html", "/b.html", "/i.gif", "/j.gif"}));
    const std::size_t firstRun = server->RequestCount();
    const int pagesSaved = task->PagesSaved;
    const int resourcesSaved = task->ResourcesSaved;

    // Everything for download again, then two of them unmarked.
    EXPECT_EQ(MarkItems(*task, TMarkCommand::Download, TMarkScope::All), 5);
    EXPECT_EQ(task->PagesSaved, 0);
    EXPECT_EQ(task->ResourcesSaved, 0);
    THXQItem* b = task->FindItem(server->URL("/b.html"));
    THXQItem* j = task->FindItem(server->URL("/j.gif"));
    ASSERT_TRUE(b && j);
    EXPECT_EQ(MarkItems(*task, TMarkCommand::Unmark, TMarkScope::Selected, {b, j}), 2);

    task->RunMode = kRunResume;
    ASSERT_TRUE(runner->Start(task));
    ASSERT_TRUE(Serve([&] { return runner->RunningTask() == nullptr; }));
    std::set<std::string> asked;
    const auto requests = server->Requests();
    for (std::size_t n = firstRun; n < requests.size(); ++n)
        asked.insert(requests[n].Method + " " + requests[n].Target);
    EXPECT_EQ(asked,
              (std::set<std::string>{"HEAD /", "GET /", "HEAD /a.html", "GET /a.html", "HEAD /i.gif", "GET /i.gif"}));
    EXPECT_EQ(ReadExploreRow(*task, b->Index / 2).State, kStateNone);
    EXPECT_EQ(ReadExploreRow(*task, j->Index / 2).Mode, kModeSkip);
    EXPECT_EQ(task->PagesSaved, pagesSaved - 1);
    EXPECT_EQ(task->ResourcesSaved, resourcesSaved - 1);
}

} // namespace
} // namespace hx
