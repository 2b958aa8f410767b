#include "engine/HXThreadDownload.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/HXApp.h"
#include "core/HXDateTime.h"
#include "core/HXFiles.h"
#include "core/HXOwner.h"
#include "core/HXTask.h"
#include "net/HXSockets.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"

namespace hx
{
namespace
{

using namespace std::chrono_literals;

constexpr double kSecondsPerDay = 86400.0;

TDispatchPacing Pacing(std::chrono::milliseconds step)
{
    TDispatchPacing pacing;
    pacing.SleepStep = step;
    return pacing;
}

// The local site every transfer of these tests talks to. The target's name says what
// the server does: "stall" never answers, "slow" answers after a pause, "missing" is
// not found, "reset" aborts the connection; anything else is served.
test::TRequestHandler SiteHandler()
{
    return [](const test::TRecordedRequest& request)
    {
        const std::string& target = request.Target;
        if (target.find("stall") != std::string::npos)
            return test::TReply().Stall();
        if (target.find("missing") != std::string::npos)
            return test::TReply::Text(404, "not found");
        if (target.find("reset") != std::string::npos)
            return test::TReply().Reset();
        if (target.find("slow") != std::string::npos)
            return test::TReply().Pause(300ms).Send(test::ResponseHead(200, {{"Content-Length", "4"}}) + "slow");
        return test::ResourceReply(request, "<html>" + target + "</html>");
    };
}

class TRecordingView final : public THXDownloadView
{
public:
    void RefreshStatus(THXTask& task) override
    {
        ++statusRefreshes;
        if (onRefreshStatus)
            onRefreshStatus(task);
    }
    void ChartsChanged(const TDownloadCharts& charts) override
    {
        ++chartChanges;
        lastCharts = charts;
    }

    int statusRefreshes = 0;
    int chartChanges = 0;
    TDownloadCharts lastCharts;
    std::function<void(THXTask&)> onRefreshStatus;
};

// A connections-window row that reports each refresh; the dispatcher refreshes every
// slot's row once per cycle, so the refreshes tell how many slots a cycle found.
class TProbeRow final : public THXSlotRow
{
public:
    explicit TProbeRow(std::function<void()> onRefresh)
        : m_onRefresh(std::move(onRefresh))
    {
    }
    void Refresh(const THXSocket&) override { m_onRefresh(); }

private:
    std::function<void()> m_onRefresh;
};

class HXThreadDownloadTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
        app->SetOwner(&loop);
        task = NewTask("Site", true);
        slots = std::make_unique<THXSlotList>();
    }

    void TearDown() override
    {
        // Slots first: stopping a transfer still hands its last changes to the task.
        slots.reset();
        task.reset();
        app->SetOwner(nullptr);
        app.reset();
        test::THXSandboxTest::TearDown();
    }

    std::shared_ptr<THXTask> NewTask(const std::string& name, bool intranet)
    {
        auto created = std::make_shared<THXTask>(*app);
        created->Name = name;
        created->FileName = app->TasksFolder() + "General/" + name + ".hxt";
        created->IntranetMode = intranet;
        created->Destination =
            intranet ? Home().Folder() + "My Intranet/" + name + "/" : Home().Folder() + name + ".zip";
        created->Status = kStatusDownloading;
        created->StartTime = Now();
        return created;
    }

    static THXQItem* AddItem(THXTask& owner, const std::string& url, bool page, int state = kStateNone)
    {
        THXQItem item;
        item.URL = url;
        item.Group = page ? "HTML" : "Images";
        item.Level = 1;
        item.State = state;
        return owner.AddItem(std::move(item));
    }

    // Pumps the owner loop on this (the owner) thread until the condition holds.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done())
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            loop.ProcessPending(1ms);
        }
        return true;
    }

    // Serves the owner loop until it has run a hand-over.
    bool ServeOneHandOver()
    {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (loop.ProcessPending(1ms) == 0)
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
        }
        return true;
    }

    // Waits without serving the owner loop.
    static void WaitUntil(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        ASSERT_TRUE(done());
    }

    void PumpFor(std::chrono::milliseconds time)
    {
        const auto until = std::chrono::steady_clock::now() + time;
        while (std::chrono::steady_clock::now() < until)
            loop.ProcessPending(1ms);
    }

    int ItemsInState(const THXTask& owner, int state) const
    {
        int count = 0;
        for (int pair = 0; pair < owner.ItemCount(); ++pair)
            count += owner.Item(pair)->State == state ? 1 : 0;
        return count;
    }

    int BusySlots() const
    {
        int busy = 0;
        for (const THXSocket* slot : slots->Slots())
            busy += slot->IsIdle() ? 0 : 1;
        return busy;
    }

    THXEventLoopOwner loop; // first: the test thread is the owner thread
    std::unique_ptr<THXApp> app;
    std::shared_ptr<THXTask> task;
    std::unique_ptr<THXSlotList> slots;
};

// Lets the dispatcher choose until nothing waits, marking each choice as being
// fetched: "P" for a page, "R" for a resource.
std::string ChoiceOrder(TThreadDownload& dispatcher, THXTask& task)
{
    std::string order;
    while (THXQItem* item = dispatcher.ChooseNext(task))
    {
        order += item->IsPage() ? 'P' : 'R';
        task.SetItemState(*item, kStateDownloading);
        if (order.size() > 64)
            break;
    }
    return order;
}

TEST_F(HXThreadDownloadTest, ChooseNextFollowsThePagePriorityRule)
{
    TThreadDownload dispatcher(*app, Pacing(5ms));
    struct TCase
    {
        int priority;
        int pages;
        int resources;
        std::string order; // worked out by hand from the rule
    };
    const std::vector<TCase> cases = {
        {5, 4, 4, "PRPRPRPR"}, {5, 2, 5, "PRPRRRR"},    {0, 3, 2, "PPPRR"},
        {10, 2, 3, "PRRRP"},   {3, 6, 4, "PRPPRPPRPR"}, {7, 3, 6, "PRRRPRRPR"},
    };
    int number = 0;
    for (const TCase& c : cases)
    {
        SCOPED_TRACE("priority " + std::to_string(c.priority) + ", " + c.order);
        app->SetPriority(c.priority);
        auto choice = NewTask("Choice" + std::to_string(++number), true);
        // Resources stand first in the queue: queue order alone gives the wrong answer.
        for (int i = 0; i < c.resources; ++i)
            AddItem(*choice, "http://www.site.test/r" + std::to_string(i) + ".gif", false);
        for (int i = 0; i < c.pages; ++i)
            AddItem(*choice, "http://www.site.test/p" + std::to_string(i) + ".html", true);
        EXPECT_EQ(ChoiceOrder(dispatcher, *choice), c.order);
        EXPECT_EQ(choice->PagesDispatched, c.pages);
        EXPECT_EQ(choice->ResourcesDispatched, c.resources);
        // Nothing waits: nothing chosen and nothing counted.
        EXPECT_EQ(dispatcher.ChooseNext(*choice), nullptr);
        EXPECT_EQ(choice->PagesDispatched + choice->ResourcesDispatched, c.pages + c.resources);
    }

    // The counters of the run so far decide, whatever the queue order.
    struct TStart
    {
        int priority;
        int pagesDispatched;
        int resourcesDispatched;
        bool page;
    };
    const std::vector<TStart> starts = {
        {5, 0, 0, true},   {5, 1, 1, true},  {5, 2, 1, false},  {5, 1, 2, true}, {0, 50, 1, true},
        {10, 1, 0, false}, {10, 0, 3, true}, {10, 9, 1, false}, {8, 1, 4, true}, {8, 1, 3, false},
    };
    for (const TStart& s : starts)
    {
        SCOPED_TRACE("priority " + std::to_string(s.priority) + " after " + std::to_string(s.pagesDispatched) +
                     " pages and " + std::to_string(s.resourcesDispatched) + " resources");
        app->SetPriority(s.priority);
        auto mixed = NewTask("Mixed" + std::to_string(++number), true);
        AddItem(*mixed, "http://www.site.test/r.gif", false);
        AddItem(*mixed, "http://www.site.test/p.html", true);
        mixed->PagesDispatched = s.pagesDispatched;
        mixed->ResourcesDispatched = s.resourcesDispatched;
        THXQItem* chosen = dispatcher.ChooseNext(*mixed);
        ASSERT_NE(chosen, nullptr);
        EXPECT_EQ(chosen->IsPage(), s.page);
        EXPECT_EQ(mixed->PagesDispatched, s.pagesDispatched + (s.page ? 1 : 0));
        EXPECT_EQ(mixed->ResourcesDispatched, s.resourcesDispatched + (s.page ? 0 : 1));
    }
}

TEST_F(HXThreadDownloadTest, PassFillsEveryIdleSlotAndSurplusSlotsLeaveOnePerPass)
{
    test::THXTestServer server(SiteHandler());
    // Each cycle refreshes every slot's row once: the refreshes per cycle are the slots it found.
    std::map<std::uint64_t, int> slotsSeen;
    TThreadDownload dispatcher(*app, Pacing(25ms));
    slots->OnCreateRow = [&](THXSocket&)
    { return std::make_unique<TProbeRow>([&] { ++slotsSeen[dispatcher.Cycles()]; }); };
    slots->SetSlotCount(3, true);
    for (int i = 0; i < 5; ++i)
        AddItem(*task, server.URL("/stall" + std::to_string(i) + (i % 2 == 0 ? ".html" : ".gif")), i % 2 == 0);
    std::atomic<int> wanted{3};
    dispatcher.SetTask(task);
    dispatcher.SetSlots(slots.get());
    dispatcher.SetWantedSlots([&] { return wanted.load(); });

    dispatcher.Resume();
    ASSERT_TRUE(PumpUntil([&] { return BusySlots() == 3; }, 2s));
    // All three in the first cycle's pass.
    EXPECT_EQ(dispatcher.Cycles(), 1u);
    EXPECT_EQ(ItemsInState(*task, kStateDownloading), 3);
    EXPECT_EQ(ItemsInState(*task, kStateNone), 2);
    EXPECT_EQ(task->PagesDispatched + task->ResourcesDispatched, 3);
    ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() >= 3; }, 2s));

    // Fewer connections wanted while all three transfer: no slot is idle, none leaves.
    wanted = 1;
    const std::uint64_t cycleAtLower = dispatcher.Cycles();
    ASSERT_TRUE(PumpUntil([&] { return dispatcher.Cycles() > cycleAtLower + 1; }, 2s));
    EXPECT_EQ(slots->Count(), 3);
    // Two transfers end; their slots leave, one per pass, and the busy one stays.
    THXSocket* busy = slots->Slot(0);
    const std::uint64_t cycleAtStop = dispatcher.Cycles();
    slots->Slot(1)->Stop();
    slots->Slot(2)->Stop();
    ASSERT_TRUE(PumpUntil([&] { return slots->Count() == 1; }, 2s));
    // It stays at the wanted number through the next cycle.
    const std::uint64_t cycleAtOne = dispatcher.Cycles();
    ASSERT_TRUE(PumpUntil([&] { return dispatcher.Cycles() > cycleAtOne + 1; }, 2s));
    EXPECT_EQ(slots->Count(), 1);
    EXPECT_TRUE(slots->Contains(busy));
    EXPECT_FALSE(busy->IsIdle());
    int previous = 3;
    for (const auto& [cycle, seen] : slotsSeen)
    {
        if (cycle <= cycleAtStop)
            continue;
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        EXPECT_GE(seen, previous - 1);
        EXPECT_GE(seen, 1);
        previous = seen;
    }
    EXPECT_EQ(previous, 1);
    // The freed slots went away instead of taking the two waiting items.
    EXPECT_EQ(ItemsInState(*task, kStateNone), 2);
    EXPECT_EQ(server.RequestCount(), 3u);
    EXPECT_FALSE(dispatcher.Halted());
}

TEST_F(HXThreadDownloadTest, TaskCompletesOnceNothingWaitsToBeFetchedParsedOrTransferred)
{
    test::THXTestServer server(SiteHandler());
    slots->SetSlotCount(2, true);
    THXQItem* page = AddItem(*task, server.URL("/index.html"), true);
    THXQItem* image = AddItem(*task, server.URL("/slow.gif"), false);
    TRecordingView view;
    TThreadDownload dispatcher(*app, Pacing(5ms));
    dispatcher.SetTask(task);
    dispatcher.SetSlots(slots.get());
    dispatcher.SetWantedSlots([] { return 2; });
    dispatcher.SetStatusView(&view);

    // Created halted: nothing is fetched before Resume.
    ASSERT_TRUE(PumpUntil([&] { return dispatcher.Paused(); }));
    PumpFor(30ms);
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_EQ(dispatcher.Cycles(), 0u);

    // The page arrives first; the slow image keeps a slot busy meanwhile.
    dispatcher.Resume();
    ASSERT_TRUE(PumpUntil([&] { return task->PagesSaved == 1; }));
    EXPECT_EQ(page->State, kStateSaved);
    EXPECT_EQ(task->ResourcesSaved, 0);
    EXPECT_EQ(BusySlots(), 1);
    // The image is in: but the page still waits to be parsed.
    ASSERT_TRUE(PumpUntil([&] { return task->ResourcesSaved == 1; }));
    const std::uint64_t cyclesBefore = dispatcher.Cycles();
    ASSERT_TRUE(PumpUntil([&] { return dispatcher.Cycles() > cyclesBefore + 2; }, 2s));
    EXPECT_EQ(task->Status, kStatusDownloading);
    EXPECT_FALSE(dispatcher.Halted());
    EXPECT_FALSE(std::filesystem::exists(task->FileName));

    // Parsed: the task completes in the next pass. (The queue file may have been
    // saved on the way; the one the end writes holds the parsed page.)
    std::filesystem::remove(task->QueueFileName());
    task->SetItemState(*page, kStateParsed);
    task->CommitItem(*page, true);
    const std::uint64_t cycleAtParse = dispatcher.Cycles();
    ASSERT_TRUE(PumpUntil([&] { return dispatcher.Halted(); }, 2s));
    EXPECT_LE(dispatcher.Cycles(), cycleAtParse + 1);
    EXPECT_EQ(task->Status, kStatusComplete);
    EXPECT_EQ(image->State, kStateSaved);
    EXPECT_EQ(view.statusRefreshes, 2);
    // Both files written, the queue with the parsed page.
    ASSERT_TRUE(std::filesystem::exists(task->FileName));
    THXTask reread(*app);
    reread.FileName = task->FileName;
    reread.Load();
    EXPECT_EQ(reread.Status, kStatusComplete);
    EXPECT_EQ(reread.PagesSaved, 1);
    EXPECT_EQ(reread.ResourcesSaved, 1);
    ASSERT_TRUE(std::filesystem::exists(task->QueueFileName()));
    const std::string queue = ReadWholeFile(task->QueueFileName()).value_or("");
    EXPECT_NE(queue.find("\r\n" + std::to_string(kStateParsed) + "\xB6"), std::string::npos);
    EXPECT_NE(queue.find("\r\n" + std::to_string(kStateSaved) + "\xB6"), std::string::npos);
    ASSERT_TRUE(PumpUntil([&] { return dispatcher.Paused(); }));
    const std::uint64_t cyclesDone = dispatcher.Cycles();
    PumpFor(40ms);
    EXPECT_EQ(dispatcher.Cycles(), cyclesDone);

    // The task runner gives it the next task and resumes it.
    auto next = NewTask("Next", true);
    THXQItem* nextPage = AddItem(*next, server.URL("/next.html"), true);
    dispatcher.SetTask(next);
    dispatcher.Resume();
    ASSERT_TRUE(PumpUntil([&] { return next->PagesSaved == 1; }));
    EXPECT_EQ(nextPage->State, kStateSaved);
    EXPECT_FALSE(dispatcher.Halted());
    EXPECT_EQ(next->Status, kStatusDownloading);
}

TEST_F(HXThreadDownloadTest, PageWaitingCheckReplacesTheSavedPageScan)
{
    slots->SetSlotCount(1, true);
    // A fetched page not parsed yet: the default check would keep the task open.
    THXQItem* page = AddItem(*task, "http://www.site.test/", true, kStateSaved);
    std::atomic<bool> waiting{false};
    std::atomic<int> asked{0};
    std::atomic<THXTask*> expected{task.get()};
    TThreadDownload dispatcher(*app, Pacing(5ms));
    dispatcher.SetTask(task);
    dispatcher.SetSlots(slots.get());
    dispatcher.SetPageWaiting(
        [&](THXTask& asking)
        {
            EXPECT_EQ(&asking, expected.load());
            EXPECT_TRUE(loop.IsOwnerThread());
            ++asked;
            return waiting.load();
        });
    dispatcher.Resume();
    ASSERT_TRUE(PumpUntil([&] { return dispatcher.Halted(); }, 2s));
    EXPECT_GT(asked.load(), 0);
    EXPECT_EQ(task->Status, kStatusComplete);
    EXPECT_EQ(page->State, kStateSaved);

    // The other way round: everything parsed, but the check says a page waits.
    auto parsed = NewTask("Parsed", true);
    AddItem(*parsed, "http://www.site.test/", true, kStateParsed);
    waiting = true;
    asked = 0;
    expected = parsed.get();
    dispatcher.SetTask(parsed);
    dispatcher.Resume();
    ASSERT_TRUE(PumpUntil([&] { return asked.load() >= 3; }, 2s));
    EXPECT_FALSE(dispatcher.Halted());
    EXPECT_EQ(parsed->Status, kStatusDownloading);
    waiting = false;
    ASSERT_TRUE(PumpUntil([&] { return dispatcher.Halted(); }, 2s));
    EXPECT_EQ(parsed->Status, kStatusComplete);

    // Without a check of its own the dispatcher looks for a saved page.
    TThreadDownload plain(*app, Pacing(5ms));
    auto saved = NewTask("Saved", true);
    THXQItem* savedPage = AddItem(*saved, "http://www.site.test/", true, kStateSaved);
    plain.SetTask(saved);
    plain.SetSlots(slots.get());
    plain.Resume();
    ASSERT_TRUE(PumpUntil([&] { return plain.Cycles() > 3; }, 2s));
    EXPECT_FALSE(plain.Halted());
    saved->SetItemState(*savedPage, kStateParsed);
    ASSERT_TRUE(PumpUntil([&] { return plain.Halted(); }, 2s));
    EXPECT_EQ(saved->Status, kStatusComplete);
}

// Fetches each item into a slot of its own and waits until every transfer has ended.
void FetchAllToEnd(THXSlotList& slots, const std::vector<THXQItem*>& items,
                   const std::function<bool(const std::function<bool()>&)>& pumpUntil)
{
    for (std::size_t i = 0; i < items.size(); ++i)
        slots.Slot(static_cast<int>(i))->Fetch(*items[i]);
    const bool ended = pumpUntil(
        [&]
        {
            for (const THXSocket* slot : slots.Slots())
            {
                if (!slot->TransferEnded())
                    return false;
            }
            return true;
        });
    ASSERT_TRUE(ended);
}

TEST_F(HXThreadDownloadTest, EndedTransfersAreCountedOnceAndResourcesQueuedForTheArchive)
{
    test::THXTestServer server(SiteHandler());
    for (const bool intranet : {false, true})
    {
        SCOPED_TRACE(intranet ? "intranet" : "zip");
        auto run = NewTask(intranet ? "Intranet" : "Zipped", intranet);
        slots = std::make_unique<THXSlotList>();
        slots->SetSlotCount(6, true);
        THXQItem* page = AddItem(*run, server.URL("/page.html"), true);
        THXQItem* image = AddItem(*run, server.URL("/image.gif"), false);
        THXQItem* missing = AddItem(*run, server.URL("/missing.gif"), false);
        THXQItem* brokenPage = AddItem(*run, server.URL("/reset.html"), true);
        THXQItem* brokenImage = AddItem(*run, server.URL("/reset.gif"), false);
        THXQItem* sound = AddItem(*run, server.URL("/sound.wav"), false);
        TRecordingView view;
        TThreadDownload dispatcher(*app, Pacing(5ms));
        dispatcher.SetTask(run);
        dispatcher.SetSlots(slots.get());
        dispatcher.SetStatusView(&view);
        FetchAllToEnd(*slots, {page, image, missing, brokenPage, brokenImage, sound},
                      [this](const std::function<bool()>& done) { return PumpUntil(done); });
        // The transfers leave the broken ones as they were fetched; the missing one failed.
        EXPECT_EQ(brokenPage->State, kStateDownloading);
        EXPECT_EQ(slots->Slot(3)->Connection().State(), TqkHTTPState::hsError);
        EXPECT_EQ(missing->State, kStateError);

        dispatcher.UpdateSlots();
        EXPECT_EQ(view.statusRefreshes, 6);
        EXPECT_EQ(BusySlots(), 0);
        EXPECT_EQ(page->State, kStateSaved);
        EXPECT_EQ(image->State, kStateSaved);
        EXPECT_EQ(missing->State, kStateError);
        EXPECT_EQ(brokenPage->State, kStateError);
        EXPECT_EQ(brokenImage->State, kStateError);
        // The error state is in the queue's records too.
        EXPECT_EQ(run->RecordField(brokenPage->Index / 2, 0), std::to_string(kStateError));
        EXPECT_EQ(run->RecordField(brokenImage->Index / 2, 0), std::to_string(kStateError));
        EXPECT_EQ(run->PagesSaved, 2);
        EXPECT_EQ(run->PageErrors, 1);
        EXPECT_EQ(run->ResourcesSaved, 4);
        EXPECT_EQ(run->ResourceErrors, 2);

        // Only the resources that arrived wait for the archive, and only in Zip mode.
        std::vector<TZipPendingFile> pending = run->TakeAllZipPending();
        if (intranet)
        {
            EXPECT_TRUE(pending.empty());
        }
        else
        {
            ASSERT_EQ(pending.size(), 2u);
            EXPECT_EQ(pending[0].item, image);
            EXPECT_EQ(pending[0].path, image->LocalFile);
            EXPECT_EQ(pending[1].item, sound);
            EXPECT_EQ(pending[1].path, sound->LocalFile);
            for (const TZipPendingFile& file : pending)
                EXPECT_TRUE(std::filesystem::is_regular_file(file.path)) << file.path;
        }

        // Accounted once: the next cycles find idle slots.
        dispatcher.UpdateSlots();
        dispatcher.UpdateSlots();
        EXPECT_EQ(view.statusRefreshes, 6);
        EXPECT_EQ(run->PagesSaved, 2);
        EXPECT_EQ(run->PageErrors, 1);
        EXPECT_EQ(run->ResourcesSaved, 4);
        EXPECT_EQ(run->ResourceErrors, 2);
        EXPECT_EQ(run->ZipPendingCount(), 0);
        slots.reset();
    }
}

TEST_F(HXThreadDownloadTest, ChartsGainOnePointPerElapsedSecond)
{
    TRecordingView view;
    std::atomic<int> wanted{4};
    TThreadDownload dispatcher(*app, Pacing(5ms));
    dispatcher.SetTask(task);
    dispatcher.SetStatusView(&view);
    dispatcher.SetWantedSlots([&] { return wanted.load(); });

    task->TotalBytes = 3072;
    dispatcher.AddSample(2);
    TDownloadCharts charts = dispatcher.Charts();
    EXPECT_EQ(charts.TotalKBytes, (std::vector<TChartPoint>{{2, 3.0}}));
    EXPECT_EQ(charts.TransferRate, (std::vector<TChartPoint>{{2, 1.5}}));
    EXPECT_EQ(charts.Connections, (std::vector<TChartPoint>{{2, 4}}));
    // Not after the last point: nothing.
    task->TotalBytes = 10240;
    wanted = 6;
    dispatcher.AddSample(2);
    dispatcher.AddSample(1);
    EXPECT_EQ(dispatcher.Charts().TotalKBytes.size(), 1u);
    dispatcher.AddSample(4);
    charts = dispatcher.Charts();
    ASSERT_EQ(charts.TotalKBytes.size(), 2u);
    EXPECT_EQ(charts.TotalKBytes.back(), (TChartPoint{4, 10.0}));
    EXPECT_EQ(charts.TransferRate.back(), (TChartPoint{4, 2.5}));
    EXPECT_EQ(charts.Connections.back(), (TChartPoint{4, 6}));
    dispatcher.ClearCharts();
    EXPECT_TRUE(dispatcher.Charts().TotalKBytes.empty());
    EXPECT_TRUE(dispatcher.Charts().TransferRate.empty());
    EXPECT_TRUE(dispatcher.Charts().Connections.empty());

    // A cycle adds the point of the elapsed time since the task started.
    slots->SetSlotCount(2, true);
    dispatcher.SetSlots(slots.get());
    const auto startedAgo = [&](double seconds) { task->StartTime = Now() - seconds / kSecondsPerDay; };
    startedAgo(3);
    dispatcher.UpdateSlots();
    EXPECT_NEAR(task->ElapsedTime * kSecondsPerDay, 3.0, 0.4);
    charts = dispatcher.Charts();
    EXPECT_EQ(charts.TotalKBytes, (std::vector<TChartPoint>{{3, 10.0}}));
    ASSERT_EQ(charts.TransferRate.size(), 1u);
    EXPECT_DOUBLE_EQ(charts.TransferRate[0].Y, 10.0 / 3.0);
    EXPECT_EQ(charts.Connections, (std::vector<TChartPoint>{{3, 6}}));
    EXPECT_EQ(view.chartChanges, 1);
    EXPECT_EQ(view.lastCharts.TotalKBytes, charts.TotalKBytes);

    // A whole minute adds no point; the next second does.
    startedAgo(60);
    dispatcher.UpdateSlots();
    EXPECT_NEAR(task->ElapsedTime * kSecondsPerDay, 60.0, 0.4);
    EXPECT_EQ(dispatcher.Charts().TotalKBytes.size(), 1u);
    EXPECT_EQ(view.chartChanges, 1);
    startedAgo(61);
    dispatcher.UpdateSlots();
    charts = dispatcher.Charts();
    ASSERT_EQ(charts.TotalKBytes.size(), 2u);
    EXPECT_EQ(charts.TotalKBytes.back().X, 61);
    EXPECT_EQ(view.chartChanges, 2);
    // Hours and minutes count as seconds.
    startedAgo(3725);
    dispatcher.UpdateSlots();
    charts = dispatcher.Charts();
    ASSERT_EQ(charts.TotalKBytes.size(), 3u);
    EXPECT_EQ(charts.TotalKBytes.back().X, 3725);
    EXPECT_DOUBLE_EQ(charts.TransferRate.back().Y, 10.0 / 3725.0);
}

TEST_F(HXThreadDownloadTest, ChartsKeepGrowingAfterTheFirstDay)
{
    std::atomic<int> wanted{2};
    TThreadDownload dispatcher(*app, Pacing(5ms));
    dispatcher.SetTask(task);
    dispatcher.SetWantedSlots([&] { return wanted.load(); });
    slots->SetSlotCount(1, true);
    dispatcher.SetSlots(slots.get());
    // A long download: an hour before the end of the first day, then five seconds into the second.
    task->StartTime = Now() - 82801.0 / kSecondsPerDay;
    dispatcher.UpdateSlots();
    task->StartTime = Now() - 86405.0 / kSecondsPerDay;
    dispatcher.UpdateSlots();
    const TDownloadCharts charts = dispatcher.Charts();
    ASSERT_EQ(charts.TotalKBytes.size(), 2u);
    EXPECT_EQ(charts.TotalKBytes[0].X, 82801);
    EXPECT_EQ(charts.TotalKBytes[1].X, 86405);
}

TEST_F(HXThreadDownloadTest, HaltedRunChangesNothingOnceHaltReturns)
{
    test::THXTestServer server(SiteHandler());
    slots->SetSlotCount(3, true);
    std::vector<THXQItem*> items;
    for (int i = 0; i < 3; ++i)
        items.push_back(AddItem(*task, server.URL("/stall" + std::to_string(i) + ".html"), true));
    TThreadDownload dispatcher(*app, Pacing(5ms));
    dispatcher.SetTask(task);
    dispatcher.SetSlots(slots.get());
    dispatcher.SetWantedSlots([] { return 3; });

    // The worker accounts (first hand-over), sleeps a step and waits to fetch: halted
    // there, the fetch it was waiting for runs afterwards and does nothing. (Tried
    // again when the halt came before the worker had handed the fetch over.)
    bool haltedInHandOver = false;
    for (int attempt = 0; attempt < 20 && !haltedInHandOver; ++attempt)
    {
        dispatcher.Resume();
        ASSERT_TRUE(ServeOneHandOver());
        std::this_thread::sleep_for(20ms);
        dispatcher.Halt();
        EXPECT_TRUE(dispatcher.Halted());
        haltedInHandOver = loop.ProcessPending() == 1;
        ASSERT_TRUE(PumpUntil([&] { return dispatcher.Paused(); }));
    }
    ASSERT_TRUE(haltedInHandOver);
    PumpFor(40ms);
    EXPECT_TRUE(dispatcher.Paused());
    EXPECT_EQ(ItemsInState(*task, kStateNone), 3);
    EXPECT_EQ(task->PagesDispatched, 0);
    EXPECT_EQ(BusySlots(), 0);
    EXPECT_EQ(server.RequestCount(), 0u);

    // Resumed, it fetches as before.
    dispatcher.Resume();
    ASSERT_TRUE(PumpUntil([&] { return BusySlots() == 3; }, 2s));
    EXPECT_EQ(task->PagesDispatched, 3);
    dispatcher.Halt();
    ASSERT_TRUE(PumpUntil([&] { return dispatcher.Paused(); }));

    // Halting at any point of a run, many times over: whatever the worker still hands
    // over afterwards changes nothing.
    std::mt19937 random(7);
    for (int round = 0; round < 60; ++round)
    {
        slots->StopAll();
        for (THXQItem* item : items)
            task->SetItemState(*item, kStateNone);
        task->PagesDispatched = 0;
        dispatcher.Resume();
        for (int pumps = static_cast<int>(random() % 5); pumps > 0; --pumps)
            loop.ProcessPending(1ms);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 8000));
        dispatcher.Halt();
        const int none = ItemsInState(*task, kStateNone);
        const int dispatched = task->PagesDispatched;
        const int busy = BusySlots();
        const std::size_t points = dispatcher.Charts().TotalKBytes.size();
        PumpFor(std::chrono::milliseconds(random() % 15));
        ASSERT_EQ(ItemsInState(*task, kStateNone), none) << "round " << round;
        ASSERT_EQ(task->PagesDispatched, dispatched) << "round " << round;
        ASSERT_EQ(BusySlots(), busy) << "round " << round;
        ASSERT_EQ(dispatcher.Charts().TotalKBytes.size(), points) << "round " << round;
        ASSERT_EQ(none + dispatched, 3) << "round " << round;
    }
}

// Hands every call over to the loop and counts the calls posted from other threads
// once they are in the loop's queue, so a test waits for a worker's hand-over rather
// than for time.
class TPostCounter final : public THXOwnerThread
{
public:
    explicit TPostCounter(THXEventLoopOwner& loop)
        : m_loop(loop)
    {
    }

    void Invoke(const std::function<void()>& fn) override { m_loop.Invoke(fn); }
    void Post(std::function<void()> fn) override
    {
        const bool fromWorker = !m_loop.IsOwnerThread();
        m_loop.Post(std::move(fn));
        if (fromWorker)
            ++m_posted;
    }
    bool IsOwnerThread() const override { return m_loop.IsOwnerThread(); }

    int Posted() const { return m_posted; }

private:
    THXEventLoopOwner& m_loop;
    std::atomic<int> m_posted{0};
};

TEST_F(HXThreadDownloadTest, DestroyingNeverWaitsOnAPausedSleepingOrWaitingWorker)
{
    // Steps of a minute: ending within the limits below never waited one out.
    const TDispatchPacing slow = Pacing(60s);
    const auto timed = [](const std::function<void()>& action)
    {
        const auto start = std::chrono::steady_clock::now();
        action();
        return std::chrono::steady_clock::now() - start;
    };
    test::THXTestServer server(SiteHandler());
    int refreshes = 0;
    slots->OnCreateRow = [&](THXSocket&) { return std::make_unique<TProbeRow>([&] { ++refreshes; }); };
    slots->SetSlotCount(1, true);
    AddItem(*task, server.URL("/stall.html"), true);

    // Paused (created halted).
    auto paused = std::make_unique<TThreadDownload>(*app, slow);
    ASSERT_TRUE(PumpUntil([&] { return paused->Paused(); }));
    EXPECT_LT(timed([&] { paused.reset(); }), 10s);

    // Sleeping within a cycle: no slots, so the pass has nothing to do.
    auto sleeping = std::make_unique<TThreadDownload>(*app, slow);
    sleeping->SetTask(task);
    sleeping->Resume();
    ASSERT_TRUE(ServeOneHandOver());
    std::this_thread::sleep_for(20ms);
    EXPECT_LT(timed([&] { sleeping.reset(); }), 10s);

    // Halted while its hand-over waits, then destroyed; and destroyed while it waits.
    for (const bool haltFirst : {true, false})
    {
        SCOPED_TRACE(haltFirst ? "halted" : "running");
        auto waiting = std::make_unique<TThreadDownload>(*app, slow);
        waiting->SetTask(task);
        waiting->SetSlots(slots.get());
        WaitUntil([&] { return waiting->Paused(); });
        // Awake, it hands its first step over at once: wait until the call is queued.
        TPostCounter counter(loop);
        app->SetOwner(&counter);
        waiting->Resume();
        WaitUntil([&] { return counter.Posted() >= 1; });
        app->SetOwner(&loop);
        if (haltFirst)
            waiting->Halt();
        EXPECT_LT(timed([&] { waiting.reset(); }), 10s);
        // The abandoned hand-over runs later and does nothing.
        EXPECT_EQ(loop.ProcessPending(), 1);
        EXPECT_EQ(refreshes, 0);
        EXPECT_EQ(task->PagesDispatched, 0);
        EXPECT_EQ(task->Item(0)->State, kStateNone);
    }

    // Ending at any moment of a run, many times over: no hang, and nothing changes
    // after the end.
    std::mt19937 random(11);
    const auto began = std::chrono::steady_clock::now();
    for (int round = 0; round < 150; ++round)
    {
        auto worker = std::make_unique<TThreadDownload>(*app, Pacing(1ms));
        worker->SetTask(task);
        worker->SetSlots(slots.get());
        if (random() % 4 != 0)
            worker->Resume();
        for (int pumps = static_cast<int>(random() % 8); pumps > 0; --pumps)
            loop.ProcessPending(std::chrono::milliseconds(random() % 2));
        if (random() % 3 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 500));
        if (random() % 5 == 0)
            worker->Halt();
        worker.reset();
        const int dispatched = task->PagesDispatched;
        const int state = task->Item(0)->State;
        const int seen = refreshes;
        loop.ProcessPending(1ms);
        ASSERT_EQ(task->PagesDispatched, dispatched) << "round " << round;
        ASSERT_EQ(task->Item(0)->State, state) << "round " << round;
        ASSERT_EQ(refreshes, seen) << "round " << round;
        // Back to waiting for the next round (the server never answers the item).
        slots->StopAll();
        task->SetItemState(*task->Item(0), kStateNone);
        task->PagesDispatched = 0;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - began, 60s);
}

} // namespace
} // namespace hx
