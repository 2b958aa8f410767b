#include "engine/HXThreadDownload.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <optional>
#include <utility>

#include "core/HXApp.h"
#include "core/HXDateTime.h"
#include "core/HXOwner.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "net/HXHostNames.h"
#include "net/HXProxy.h"
#include "net/HXSockets.h"

namespace hx
{

namespace
{

// Dispatch steps in one cycle: UpdateSlots, one sleep, the pass, two sleeps, the
// auto-save, two sleeps.
constexpr int kSleepsAfterUpdate = 1;
constexpr int kSleepsAfterPass = 2;
constexpr int kSleepsAfterSave = 2;

} // namespace

TDispatchPacing TDispatchPacing::Fast()
{
    TDispatchPacing pacing;
    pacing.EventDriven = true;
    pacing.QueueSaveInterval = pacing::kFastQueueSaveInterval;
    return pacing;
}

TThreadDownload::TThreadDownload(THXApp& app, TDispatchPacing pacing)
    : m_app(app)
    , m_pacing(pacing)
{
    m_thread = std::thread([this] { Execute(); });
}

TThreadDownload::~TThreadDownload()
{
    {
        std::lock_guard lock(m_settledLink->Mutex);
        m_settledLink->Target = nullptr;
    }
    m_worker.End();
    m_thread.join();
}

void TThreadDownload::SetTask(std::shared_ptr<THXTask> task)
{
    // Each run reads the robots.txt files afresh (with the agent name it sends), and
    // looks its hosts up afresh.
    m_robots.Reset();
    THXSlotList* slots = nullptr;
    {
        std::lock_guard lock(m_mutex);
        m_task = std::move(task);
        slots = m_slots;
    }
    m_worker.EndRun();
    m_waitingServers.clear();
    if (slots != nullptr)
    {
        slots->HostCache().Reset();
        slots->HostCache().SetTimeOut(std::chrono::seconds(m_app.ConnectTimeOut()));
        slots->HostHealth().Reset();
    }
}

std::shared_ptr<THXTask> TThreadDownload::Task() const
{
    std::lock_guard lock(m_mutex);
    return m_task;
}

void TThreadDownload::SetSlots(THXSlotList* slots)
{
    THXSlotList* previous = nullptr;
    {
        std::lock_guard lock(m_mutex);
        previous = m_slots;
        m_slots = slots;
    }
    if (previous != nullptr && previous != slots)
        previous->HostCache().SetOnSettled({});
    // A host's answer may let waiting items go: an event-driven dispatcher looks at once.
    if (slots != nullptr)
    {
        {
            std::lock_guard lock(m_settledLink->Mutex);
            m_settledLink->Target = this;
        }
        slots->HostCache().SetOnSettled(
            [link = m_settledLink]
            {
                std::lock_guard lock(link->Mutex);
                if (link->Target != nullptr)
                    link->Target->Wake();
            });
    }
}

void TThreadDownload::SetWantedSlots(std::function<int()> wanted)
{
    std::lock_guard lock(m_mutex);
    m_wantedSlots = std::move(wanted);
}

void TThreadDownload::SetStatusView(THXDownloadView* view)
{
    std::lock_guard lock(m_mutex);
    m_statusView = view;
}

void TThreadDownload::SetPageWaiting(std::function<bool(THXTask&)> pageWaiting)
{
    std::lock_guard lock(m_mutex);
    m_pageWaiting = std::move(pageWaiting);
}

void TThreadDownload::SetOnCompleted(std::function<void()> onCompleted)
{
    std::lock_guard lock(m_mutex);
    m_onCompleted = std::move(onCompleted);
}

void TThreadDownload::SetPacing(const TDispatchPacing& pacing)
{
    std::lock_guard lock(m_mutex);
    m_pacing = pacing;
}

TDispatchPacing TThreadDownload::Pacing() const
{
    std::lock_guard lock(m_mutex);
    return m_pacing;
}

void TThreadDownload::Wake()
{
    m_worker.Wake();
}

void TThreadDownload::Halt()
{
    m_worker.Halt();
}

void TThreadDownload::Resume()
{
    m_worker.Resume();
}

bool TThreadDownload::Halted() const
{
    return m_worker.Halted();
}

bool TThreadDownload::Paused() const
{
    return m_worker.Paused();
}

TDownloadCharts TThreadDownload::Charts() const
{
    std::lock_guard lock(m_chartMutex);
    return m_charts;
}

void TThreadDownload::ClearCharts()
{
    std::lock_guard lock(m_chartMutex);
    m_charts = {};
}

bool TThreadDownload::OnOwner(std::uint64_t run, const std::function<void()>& fn)
{
    return m_worker.OnOwner(m_app.Owner(), run, fn);
}

bool TThreadDownload::Sleep(std::uint64_t run, int steps)
{
    return m_worker.Sleep(run, Pacing().SleepStep, steps);
}

// One cycle of the event-driven dispatcher: the Classic cycle's three steps in the
// same order, then a wait for the next event. The queue file is written by time.
void TThreadDownload::ExecuteFastCycle(std::uint64_t run, const std::shared_ptr<THXTask>& task)
{
    m_worker.ClearWake();
    // The cycle's steps in one hand-over: the slots are accounted for, every idle slot
    // gets its item (or the task completes), then the queue file is looked at.
    const TDispatchPacing pacing = Pacing();
    THXSlotList* slots = nullptr;
    {
        std::lock_guard lock(m_mutex);
        slots = m_slots;
    }
    TStep step = TStep::PassOver;
    const bool ran =
        OnOwner(run,
                [&]
                {
                    UpdateSlots();
                    if (slots != nullptr)
                    {
                        step = TStep::Fetched;
                        while (step == TStep::Fetched)
                        {
                            THXSocket* idleSlot = slots->FirstIdle();
                            step = idleSlot != nullptr ? DispatchOneOnOwner(*slots, idleSlot, task) : TStep::PassOver;
                        }
                    }
                    if (step == TStep::Completed || !task)
                        return;
                    const auto now = std::chrono::steady_clock::now();
                    if (task->Modified && now - m_lastQueueSave >= pacing.QueueSaveInterval)
                    {
                        m_lastQueueSave = now;
                        task->SaveQueueInBackground();
                    }
                });
    if (!ran || step == TStep::Completed || !Current(run))
        return;
    auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(
        pacing.SleepStep * (kSleepsAfterUpdate + kSleepsAfterPass + kSleepsAfterSave));
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(m_mutex);
        if (m_delayedUntil > now)
            limit = std::min(limit, std::chrono::ceil<std::chrono::milliseconds>(m_delayedUntil - now));
    }
    m_worker.AwaitWake(run, limit);
}

int TThreadDownload::WantedSlots() const
{
    std::function<int()> wanted;
    {
        std::lock_guard lock(m_mutex);
        wanted = m_wantedSlots;
    }
    const int count = wanted ? wanted() : m_app.Connections();
    return std::clamp(count, kMinSlots, kMaxSlots);
}

bool TThreadDownload::PageWaiting(THXTask& task) const
{
    std::function<bool(THXTask&)> pageWaiting;
    {
        std::lock_guard lock(m_mutex);
        pageWaiting = m_pageWaiting;
    }
    return pageWaiting ? pageWaiting(task) : task.NextSavedPage() != nullptr;
}

// The worker's loop. Steps that change shared objects run on the owner thread; a run
// that ends (halt, new task, completion, shutdown) cuts the cycle short.
void TThreadDownload::Execute()
{
    for (;;)
    {
        const std::optional<std::uint64_t> begun = m_worker.Begin();
        if (!begun)
            return;
        const std::uint64_t run = *begun;
        const std::shared_ptr<THXTask> task = Task();
        ++m_cycles;
        if (Pacing().EventDriven)
        {
            try
            {
                ExecuteFastCycle(run, task);
            }
            catch (const std::exception&)
            {
                m_worker.AwaitWake(run, Pacing().SleepStep);
            }
            continue;
        }
        try
        {
            if (!OnOwner(run, [this] { UpdateSlots(); }) || !Sleep(run, kSleepsAfterUpdate))
                continue;
            TStep step = TStep::Fetched;
            while (Current(run) && step == TStep::Fetched)
                step = DispatchOne(run);
            if (step == TStep::Completed || !Sleep(run, kSleepsAfterPass))
                continue;
            if (task)
                OnOwner(run,
                        [&task]
                        {
                            if (task->Modified)
                                task->AutoSaveQueue();
                        });
            Sleep(run, kSleepsAfterSave);
        }
        catch (const std::exception&)
        {
            // A hand-over that failed (a queue file that cannot be written, the owner
            // loop closing) ends nothing: the next cycle tries again. The owner side
            // reports file problems where they happen.
            Sleep(run, kSleepsAfterUpdate + kSleepsAfterPass + kSleepsAfterSave);
        }
    }
}

TThreadDownload::TStep TThreadDownload::DispatchOne(std::uint64_t run)
{
    THXSlotList* slots = nullptr;
    std::shared_ptr<THXTask> task;
    {
        std::lock_guard lock(m_mutex);
        slots = m_slots;
        task = m_task;
    }
    if (slots == nullptr)
        return TStep::PassOver;
    THXSocket* idleSlot = slots->FirstIdle();
    if (idleSlot == nullptr)
        return TStep::PassOver;

    // Choosing and fetching happen together on the owner thread, so the item cannot
    // change between the two and the dispatch counters are only written there. So
    // does the test for the end of the task: nothing to fetch, nothing in transfer,
    // nothing to parse.
    TStep step = TStep::PassOver;
    OnOwner(run, [&] { step = DispatchOneOnOwner(*slots, idleSlot, task); });
    return step;
}

TThreadDownload::TStep TThreadDownload::DispatchOneOnOwner(THXSlotList& slots, THXSocket* idleSlot,
                                                           const std::shared_ptr<THXTask>& task)
{
    if (!slots.Contains(idleSlot) || !idleSlot->IsIdle())
        return TStep::PassOver;
    // Surplus slots leave one per pass as they become idle. The wanted number is read
    // here: it may come from a window.
    if (slots.Count() > WantedSlots())
    {
        slots.Destroy(idleSlot);
        // An event-driven dispatcher does not wait for an event to go on.
        m_worker.Wake();
        return TStep::PassOver;
    }
    if (!task)
        return TStep::PassOver;
    const std::int32_t pages = task->PagesDispatched;
    const std::int32_t resources = task->ResourcesDispatched;
    // The lookup stage: items whose host is not ready are passed over, so one slow
    // host never keeps the others waiting.
    const std::string proxy = TransferProxy(m_app).Proxy;
    bool holding = false;
    std::string server;
    const auto usable = [&](THXQItem& candidate)
    {
        switch (HostStep(*task, candidate, slots, proxy, server))
        {
        case THostStep::Go:
            return true;
        case THostStep::Hold:
            holding = true;
            return false;
        case THostStep::Ended:
            return false;
        }
        return false;
    };
    if (THXQItem* item = ChooseNext(*task, usable))
    {
        const TRobotsStep robots = RobotsStep(*task, *item);
        if (robots == TRobotsStep::Refused)
        {
            RefuseByRobots(*task, *item);
            return TStep::Fetched;
        }
        if (robots == TRobotsStep::Wait || !HostReady(*task, *item))
        {
            // The item waits for its host; it stays queued and uncounted.
            task->PagesDispatched = pages;
            task->ResourcesDispatched = resources;
            return TStep::PassOver;
        }
        idleSlot->SetServer(server);
        idleSlot->Fetch(*item);
        return TStep::Fetched;
    }
    // Items that wait for their host keep the task open.
    if (holding || slots.AnyBusy() || PageWaiting(*task))
        return TStep::PassOver;
    task->Status = kStatusComplete;
    task->SaveQueue();
    task->Save();
    m_worker.Halt();
    std::function<void()> onCompleted;
    {
        std::lock_guard lock(m_mutex);
        onCompleted = m_onCompleted;
    }
    if (onCompleted)
        onCompleted();
    return TStep::Completed;
}

bool TThreadDownload::ObeyingRobots() const
{
    return Pacing().EventDriven && m_app.ObeyRobots();
}

TThreadDownload::TRobotsStep TThreadDownload::RobotsStep(THXTask& task, THXQItem& item)
{
    if (!item.IsPage() || !ObeyingRobots())
        return TRobotsStep::Go;
    task.ReloadItem(item);
    const TTransferProxy proxy = TransferProxy(m_app);
    const TRobotsRequest request{task.UserAgent(), proxy.Proxy, proxy.UserName, proxy.Password,
                                 TTLSOptions{m_app.CheckCertificates(), m_app.CAFile()}};
    switch (m_robots.Check(item.URL, request))
    {
    case THXRobots::TVerdict::Pending:
        return TRobotsStep::Wait;
    case THXRobots::TVerdict::Disallowed:
        // The address the task starts at is what the person asked for: it is copied.
        return item.Level == 0 ? TRobotsStep::Go : TRobotsStep::Refused;
    case THXRobots::TVerdict::Allowed:
        break;
    }
    return TRobotsStep::Go;
}

void TThreadDownload::RefuseByRobots(THXTask& task, THXQItem& item)
{
    // Counted as a page that was handled and failed, as a transfer error is, so the
    // error report names it and the counters add up.
    item.StatusText = kRobotsDisallowedText;
    task.SetItemState(item, kStateError);
    task.CommitItem(item, true);
    ++task.PagesSaved;
    ++task.PageErrors;
}

namespace
{

// The host name to look up and the server (see ServerKey) of a web address, and how an
// error text names it; false (and nothing set) for an address of no host of ours.
bool ServerOfURL(const std::string& url, std::string& name, std::string& server, std::string* shown)
{
    const bool secure = StartsWithNoCase(url, "https://");
    if (!secure && !StartsWithNoCase(url, "http://"))
        return false;
    const TqkURL parts = SplitURL(url);
    std::string host = parts.Host;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    name = RequestHostName(host);
    const int port = parts.Port.empty() ? (secure ? 443 : 80) : std::atoi(parts.Port.c_str());
    server = ServerKey(name, port);
    if (shown != nullptr)
        *shown = parts.Port.empty() ? parts.Host : parts.Host + ":" + parts.Port;
    return true;
}

} // namespace

const TThreadDownload::TItemServer& TThreadDownload::ItemServer(THXTask& task, THXQItem& item, const std::string& proxy)
{
    const auto [found, added] = m_waitingServers.try_emplace(item.Index);
    TItemServer& entry = found->second;
    if (!added)
        return entry;
    if (!proxy.empty())
    {
        // Through a proxy the connection goes to the proxy, which looks the sites up.
        const std::size_t colon = proxy.rfind(':');
        entry.Name = proxy.substr(0, colon);
        entry.Server = ServerKey(entry.Name, std::atoi(proxy.c_str() + colon + 1));
        entry.Shown = proxy;
        return entry;
    }
    task.ReloadItem(item);
    ServerOfURL(item.URL, entry.Name, entry.Server, &entry.Shown);
    return entry;
}

bool ServerGivenUp(THXSlotList& slots, const std::string& url)
{
    std::string name;
    std::string server;
    if (!ServerOfURL(url, name, server, nullptr))
        return false;
    return slots.HostHealth().Down(server) || slots.HostCache().LookupFailed(name);
}

TThreadDownload::THostStep TThreadDownload::HostStep(THXTask& task, THXQItem& item, THXSlotList& slots,
                                                     const std::string& proxy, std::string& server)
{
    const TItemServer where = ItemServer(task, item, proxy);
    server = where.Server;
    if (where.Name.empty())
    {
        m_waitingServers.erase(item.Index);
        return THostStep::Go;
    }
    std::string text;
    if (slots.HostHealth().Down(where.Server, &text))
    {
        EndUnasked(task, item, text + ": " + where.Shown);
        return THostStep::Ended;
    }
    const THostAnswer answer = slots.HostCache().Check(where.Name);
    switch (answer.State)
    {
    case THostAnswer::TState::Pending:
        return THostStep::Hold;
    case THostAnswer::TState::Failed:
        EndUnasked(task, item, answer.Text + ": " + where.Shown);
        return THostStep::Ended;
    case THostAnswer::TState::Resolved:
        break;
    }
    // A server that has not answered yet may hold only a few slots while they connect.
    if (slots.ConnectingTo(where.Server) >= slots.HostHealth().ConnectingAllowed(where.Server))
        return THostStep::Hold;
    m_waitingServers.erase(item.Index);
    return THostStep::Go;
}

void TThreadDownload::EndUnasked(THXTask& task, THXQItem& item, const std::string& text)
{
    m_waitingServers.erase(item.Index);
    // Counted as an item that was handled and failed, as a transfer error is, so the
    // error report names it, the counters add up and SmartRecovery tries it again.
    task.ReloadItem(item);
    item.StatusText = text;
    task.SetItemState(item, kStateError);
    task.CommitItem(item, true);
    if (item.IsPage())
    {
        ++task.PagesSaved;
        ++task.PageErrors;
    }
    else
    {
        ++task.ResourcesSaved;
        ++task.ResourceErrors;
    }
}

bool TThreadDownload::HostReady(THXTask& task, THXQItem& item)
{
    std::chrono::milliseconds delay = Pacing().HostDelay;
    const bool robots = ObeyingRobots();
    if (delay <= std::chrono::milliseconds(0) && !robots)
        return true;
    task.ReloadItem(item);
    if (robots)
        delay = std::max(delay, m_robots.CrawlDelay(item.URL));
    if (delay <= std::chrono::milliseconds(0))
        return true;
    const std::string host = URLHost(item.URL);
    const auto now = std::chrono::steady_clock::now();
    auto& last = m_lastRequest[host];
    if (last != std::chrono::steady_clock::time_point{} && now - last < delay)
    {
        std::lock_guard lock(m_mutex);
        m_delayedUntil = last + delay;
        return false;
    }
    last = now;
    return true;
}

THXQItem* TThreadDownload::ChooseNext(THXTask& task, const std::function<bool(THXQItem&)>& usable)
{
    const double pages = task.PagesDispatched;
    const double resources = task.ResourcesDispatched;
    const double priority = m_app.Priority();
    const bool pagesFirst = pages + resources == 0 || std::abs(priority - 10.0) / 10.0 >= pages / (pages + resources);
    // The first waiting item of the kind that `usable` takes.
    const auto next = [&task, &usable](bool page)
    {
        THXQItem* item = page ? task.NextPage() : task.NextResource();
        while (item != nullptr && usable && !usable(*item))
            item = page ? task.NextPageAfter(*item) : task.NextResourceAfter(*item);
        return item;
    };
    THXQItem* item = nullptr;
    if (pagesFirst)
    {
        if ((item = next(true)) != nullptr)
            ++task.PagesDispatched;
        else if ((item = next(false)) != nullptr)
            ++task.ResourcesDispatched;
    }
    else
    {
        if ((item = next(false)) != nullptr)
            ++task.ResourcesDispatched;
        else if ((item = next(true)) != nullptr)
            ++task.PagesDispatched;
    }
    return item;
}

void TThreadDownload::UpdateSlots()
{
    THXSlotList* slots = nullptr;
    std::shared_ptr<THXTask> task;
    THXDownloadView* view = nullptr;
    {
        std::lock_guard lock(m_mutex);
        slots = m_slots;
        task = m_task;
        view = m_statusView;
    }
    if (slots == nullptr)
        return;
    const std::vector<THXSocket*> list = slots->Slots();
    for (THXSocket* slot : list)
    {
        if (THXQItem* item = slot->Item())
        {
            slot->RefreshShown();
            if (slot->TransferEnded())
            {
                ItemDone(*slot);
                slot->Connection().SetState(TqkHTTPState::hsIdle);
                slot->Connection().ReleaseThread();
                if (view && item->Task)
                    view->RefreshStatus(*item->Task);
            }
        }
        else if (slot->Row())
        {
            slot->Row()->Refresh(*slot);
        }
    }
    if (list.empty() || !task)
        return;
    task->ElapsedTime = Now() - task->StartTime;
    const TDateParts parts = DecodeDateTime(task->ElapsedTime);
    if (parts.second != 0)
    {
        // Whole days count too: a download longer than a day keeps its chart growing.
        const int days = static_cast<int>(std::floor(task->ElapsedTime));
        AddSample(days * 86400 + parts.hour * 3600 + parts.minute * 60 + parts.second);
        if (view)
            view->ChartsChanged(Charts());
    }
}

void TThreadDownload::ItemDone(THXSocket& slot)
{
    THXQItem* item = slot.Item();
    if (item == nullptr || item->Task == nullptr)
        return;
    THXTask& task = *item->Task;
    const bool failed = slot.Connection().State() == TqkHTTPState::hsError;
    task.ReloadItem(*item);
    if (failed)
    {
        task.SetItemState(*item, kStateError);
        task.CommitItem(*item, true);
    }
    else if (IsFetchedState(item->State))
    {
        // The pages linking to it need no change when the run ends.
        if (item->Index >= 0)
            task.LinkBook.Fetched(static_cast<THXLinkBook::TPair>(item->Index / 2));
    }
    // The record holds the item's texts: a page waiting to be parsed (a fast crawl
    // can leave thousands waiting) need not hold them as well.
    task.ReleaseItemStrings(*item);
    if (item->IsPage())
    {
        ++task.PagesSaved;
        if (item->State == kStateError)
        {
            ++task.PageErrors;
            return;
        }
    }
    else
    {
        ++task.ResourcesSaved;
        if (item->State == kStateError)
        {
            ++task.ResourceErrors;
            return;
        }
        if (!task.IntranetMode && !failed)
            task.AddZipPending(item->LocalFile, item);
    }
}

void TThreadDownload::AccountStopped(THXSocket& slot)
{
    THXQItem* item = slot.Item();
    if (item == nullptr || item->Task == nullptr)
        return;
    THXTask& task = *item->Task;
    task.ReloadItem(*item);
    // Fetched items are saved (5) or updated (6); a page may be parsed already.
    if (item->State < kStateSaved || item->State == kStateMapping)
        return;
    if (item->IsPage())
    {
        ++task.PagesSaved;
        return;
    }
    ++task.ResourcesSaved;
    if (!task.IntranetMode)
        task.AddZipPending(item->LocalFile, item);
}

void TThreadDownload::AddSample(int seconds)
{
    const std::int32_t wanted = WantedSlots();
    std::shared_ptr<THXTask> task = Task();
    std::lock_guard lock(m_chartMutex);
    if (!m_charts.TotalKBytes.empty() && m_charts.TotalKBytes.back().X >= seconds)
        return;
    const double kilobytes = task ? static_cast<double>(task->TotalBytes) / 1024.0 : 0.0;
    const double x = seconds;
    m_charts.TotalKBytes.push_back({x, kilobytes});
    m_charts.TransferRate.push_back({x, seconds > 0 ? kilobytes / x : 0.0});
    m_charts.Connections.push_back({x, static_cast<double>(wanted)});
}

} // namespace hx
