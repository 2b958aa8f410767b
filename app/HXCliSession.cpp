#include "app/HXCliSession.h"

#include <algorithm>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <utility>

#include "app/HXCli.h"
#include "app/HXCliJson.h"
#include "archive/HXZipTemp.h"
#include "archive/XcdZipD4.h"
#include "core/HXApp.h"
#include "core/HXDateTime.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "reports/HXTaskReport.h"

namespace hx::cli
{

namespace
{

using TClock = std::chrono::steady_clock;

// Widest live line; longer lines are cut so the line can be rewritten in place.
constexpr std::size_t kLiveLineWidth = 118;
// The live line is redrawn this often.
constexpr auto kLivePeriod = std::chrono::milliseconds(250);
// The progress line's rate counts the bytes of at least this long, renewed this often.
constexpr double kRateWindowMinSeconds = 0.5;
constexpr double kRateWindowSeconds = 3.0;
// Longest wait of the loop between two looks at the timers and the stop request.
constexpr auto kServeStep = std::chrono::milliseconds(50);

std::string Kilobytes(std::int64_t bytes)
{
    std::ostringstream text;
    text << std::fixed << std::setprecision(1) << static_cast<double>(bytes) / 1024.0;
    return text.str();
}

double ElapsedSeconds(const THXTask& task)
{
    const TDateTime elapsed = task.StartTime > 0 ? Now() - task.StartTime : task.ElapsedTime;
    return std::max(0.0, elapsed * 86400.0);
}

// A slot's row for a terminal: it shows nothing, but hands each refresh on.
class TCliSlotRow final : public THXSlotRow
{
public:
    explicit TCliSlotRow(std::function<void(const THXSocket&)> refreshed)
        : m_refreshed(std::move(refreshed))
    {
    }
    void Refresh(const THXSocket& slot) override { m_refreshed(slot); }

private:
    std::function<void(const THXSocket&)> m_refreshed;
};

} // namespace

bool NothingFetched(const THXTask& task)
{
    return task.PagesSaved - task.PageErrors <= 0 && task.ResourcesSaved - task.ResourceErrors <= 0;
}

std::string StartPageStatusText(THXTask& task)
{
    // The start page is the first record of the queue.
    constexpr int kStatusTextField = 1;
    if (task.QueueLineCount() == 0)
        task.LoadQueueLines();
    return task.RecordField(0, kStatusTextField);
}

// ---- TCliItemView ----

void TCliItemView::RefreshRow(THXQItem& item)
{
    const bool done = item.State == kStateError || IsFetchedState(item.State);
    if (done && m_done && m_shown.insert(item.Index).second)
        m_done(item);
}

// ---- THXCliHost ----

THXCliHost::THXCliHost(THXApp& app, std::ostream& out, std::ostream& err, THXEventLoopOwner& owner)
    : m_app(app)
    , m_out(out)
    , m_err(err)
    , m_owner(owner)
{
}

THXCliHost::~THXCliHost()
{
    AttachExploreView(nullptr);
}

void THXCliHost::WatchItems(std::function<void(const THXQItem&)> done)
{
    m_itemView = done ? std::make_unique<TCliItemView>(std::move(done)) : nullptr;
}

void THXCliHost::AttachExploreView(THXTask* task)
{
    // The view belongs to this host: no task keeps it after the host has let go.
    if (const std::shared_ptr<THXTask> watched = m_watched.lock(); watched && watched->ExploreView == m_itemView.get())
        watched->ExploreView = nullptr;
    m_watched.reset();
    if (task == nullptr || !m_itemView)
        return;
    m_itemView->ClearRows();
    task->ExploreView = m_itemView.get();
    m_watched = task->weak_from_this();
}

void THXCliHost::ShowStatus(const std::string& text)
{
    m_lastStatus = text;
}

void THXCliHost::PageNotSaved(const std::string& localFile)
{
    ShowError("unable to save page: " + localFile);
}

void THXCliHost::ReportZipResult(int code, std::string_view operationWord)
{
    const TXcdResultText result = XcdResultText(code, operationWord);
    if (result.Message.empty())
        return;
    if (result.Failed)
        ShowError(result.Message);
    else
        m_out << "\n" << result.Message << "\n";
}

void THXCliHost::CreateReports(THXTask& task)
{
    // A run that fetched nothing has no copy to report on (the summary says why).
    if (NothingFetched(task))
        return;
    try
    {
        THXTaskReport report(task, m_app.BannerPage());
        m_summaryFile = report.CreateReports();
    }
    catch (const std::exception& error)
    {
        ShowError(std::string("unable to write the reports: ") + error.what());
    }
}

void THXCliHost::CreateZipReports(THXTask& task)
{
    if (NothingFetched(task) || task.IntranetMode || !FileExists(task.Destination))
        return;
    try
    {
        if (!UnpackForReports(task, m_err))
            return;
        THXTaskReport report(task, m_app.BannerPage(), ReportsWorkingFolder(task));
        m_summaryFile = report.CreateReports();
    }
    catch (const std::exception& error)
    {
        ShowError(std::string("unable to write the reports: ") + error.what());
    }
}

void THXCliHost::ShowError(const std::string& message)
{
    ++m_errors;
    m_err << "\nharbex-cli: " << message << "\n";
}

void THXCliHost::ProcessPendingMessages()
{
    m_owner.ProcessPending();
}

void THXCliHost::QueueProgress(const std::string& text, std::int64_t position, std::int64_t total)
{
    m_lastStatus = text + " " + std::to_string(position) + "/" + std::to_string(total);
}

// ---- THXCliSession ----

namespace
{

TSessionSetup SetupFor(const TSessionOptions& options, THXEventLoopOwner& owner)
{
    TSessionSetup setup;
    setup.Pacing = options.Pacing;
    // The calls the workers handed over last run before the loop is left.
    setup.EndHandOvers = [&owner] { owner.ProcessPending(); };
    return setup;
}

} // namespace

THXCliSession::THXCliSession(THXApp& app, std::ostream& out, std::ostream& err, TSessionOptions options)
    : m_app(app)
    , m_out(out)
    , m_err(err)
    , m_options(std::move(options))
    , m_host(app, out, err, m_owner)
    , m_session(app, m_owner, SetupFor(m_options, m_owner))
{
    m_session.SetHost(&m_host);
    m_host.WatchItems(m_options.OnItemDone);
    THXSlotList& slots = m_session.Slots();
    slots.OnCreateRow = [this](THXSocket&)
    {
        return std::make_unique<TCliSlotRow>(
            [this](const THXSocket& slot)
            {
                if (slot.Item() != nullptr && slot.Item()->Index == 0 && !slot.ShownStatus.empty())
                    m_startPageSlotStatus = slot.ShownStatus;
            });
    };
    const int connections = m_options.Connections > 0 ? m_options.Connections : m_app.Connections();
    slots.SetSlotCount(connections, false);
    if (m_options.Connections > 0)
        m_session.Runner().Dispatcher().SetWantedSlots([connections] { return connections; });
}

THXCliSession::~THXCliSession() = default;

void THXCliSession::ServeOnce(std::chrono::milliseconds wait)
{
    m_owner.ProcessPending(wait);
    m_session.TickZipTimerWhenDue();
    if (m_options.Progress != TProgressStyle::Quiet && TClock::now() >= m_nextProgress)
    {
        m_nextProgress =
            TClock::now() + (m_options.Progress == TProgressStyle::Live ? kLivePeriod : m_options.ProgressPeriod);
        if (std::shared_ptr<THXTask> task = m_session.Runner().RunningTask())
            PrintProgress(*task, false);
    }
}

void THXCliSession::Serve(std::chrono::milliseconds duration)
{
    const auto end = TClock::now() + duration;
    for (auto now = TClock::now(); now < end; now = TClock::now())
        ServeOnce(std::min<std::chrono::milliseconds>(
            kServeStep, std::chrono::duration_cast<std::chrono::milliseconds>(end - now)));
}

TRunResult THXCliSession::RunTask(const std::shared_ptr<THXTask>& task,
                                  std::optional<std::chrono::milliseconds> stopAfter,
                                  const std::function<bool(THXTask&)>& stopWhen)
{
    const auto started = TClock::now();
    m_nextProgress = started;
    m_rateSampleTime = {};
    m_recentRate = -1;
    m_host.ForgetReports();
    m_startPageSlotStatus.clear();
    const TRunResult result = m_session.RunTask(
        task, [this](std::chrono::milliseconds wait) { ServeOnce(wait); },
        [&](THXTask& running) {
            return StopRequested() || (stopAfter && TClock::now() - started >= *stopAfter) ||
                   (stopWhen && stopWhen(running));
        });
    if (result.Started && m_options.Progress != TProgressStyle::Quiet)
        PrintProgress(*task, true);
    if (task->ExploreView != nullptr)
        m_host.AttachExploreView(nullptr);
    return result;
}

void THXCliSession::RunSchedule()
{
    for (const std::string& problem : m_session.LoadActiveTasks([this] { return StopRequested(); }))
        m_host.ShowError(problem);
    auto nextTick = TClock::now();
    std::shared_ptr<THXTask> shown;
    while (!StopRequested())
    {
        const auto now = TClock::now();
        if (now >= nextTick)
        {
            nextTick = now + pacing::kScheduleTickPeriod;
            try
            {
                // The tick names the due task it handed to the runner; the runner may
                // still have refused it (and said why).
                if (std::shared_ptr<THXTask> due = m_session.Scheduler().Tick())
                {
                    if (m_session.Runner().RunningTask() == due)
                    {
                        m_host.ForgetReports();
                        m_out << "Started task \"" << due->Name << "\" (" << due->URL << ")\n";
                        shown = due;
                    }
                    else
                        m_out << "Task \"" << due->Name << "\" did not start (" << StatusText(due->Status) << ")\n";
                }
            }
            catch (const std::exception& error)
            {
                m_host.ShowError(error.what());
            }
        }
        ServeOnce(kServeStep);
        if (shown && !m_session.Runner().RunningTask())
        {
            if (m_options.Progress != TProgressStyle::Quiet)
                PrintProgress(*shown, true);
            FinishZipRun(*shown);
            PrintSummary(*shown);
            shown.reset();
        }
    }
    if (std::shared_ptr<THXTask> running = m_session.Runner().RunningTask())
    {
        m_session.Runner().StopTask(running);
        FinishZipRun(*running);
        PrintSummary(*running);
    }
}

void THXCliSession::PrintProgress(THXTask& task, bool final)
{
    const double seconds = ElapsedSeconds(task);
    std::ostringstream line;
    line << "pages " << task.PagesSaved << "/" << task.TotalPages << "  media " << task.ResourcesSaved << "/"
         << task.TotalResources << "  errors " << task.PageErrors + task.ResourceErrors << "  "
         << Kilobytes(task.TotalBytes) << " KB";
    if (!final)
    {
        // The rate of the last few seconds, which a cap or a slow server shows at once.
        const auto now = TClock::now();
        const double window = std::chrono::duration<double>(now - m_rateSampleTime).count();
        if (m_rateSampleTime != TClock::time_point{} && window >= kRateWindowMinSeconds)
            m_recentRate = static_cast<double>(task.TotalBytes - m_rateSampleBytes) / window;
        if (m_rateSampleTime == TClock::time_point{} || window >= kRateWindowSeconds)
        {
            m_rateSampleTime = now;
            m_rateSampleBytes = task.TotalBytes;
        }
    }
    const double rate = !final && m_recentRate >= 0 ? m_recentRate
                        : seconds >= 1              ? static_cast<double>(task.TotalBytes) / seconds
                                                    : -1;
    if (rate >= 0)
        line << "  " << Kilobytes(static_cast<std::int64_t>(rate)) << " KB/s";
    // The time left, once items have been done: the pace so far over the items
    // known to wait (a crawl finds more as it goes, so it is an estimate).
    const std::int64_t doneItems = static_cast<std::int64_t>(task.PagesSaved) + task.ResourcesSaved;
    const std::int64_t leftItems = static_cast<std::int64_t>(task.TotalPages) + task.TotalResources - doneItems;
    if (!final && doneItems > 0 && leftItems > 0 && seconds >= 2)
    {
        const auto left =
            static_cast<std::int64_t>(seconds * static_cast<double>(leftItems) / static_cast<double>(doneItems));
        line << "  about " << left / 60 << ":" << std::setw(2) << std::setfill('0') << left % 60 << std::setfill(' ')
             << " left";
    }
    line << "  " << StatusText(task.Status);
    if (!final)
    {
        int busy = 0;
        std::string url;
        for (THXSocket* slot : m_session.Slots().Slots())
            if (!slot->IsIdle())
            {
                ++busy;
                if (url.empty())
                    url = slot->ShownURL;
            }
        if (busy > 0)
            line << "  [" << busy << "] " << url;
    }
    std::string text = line.str();
    if (m_options.Progress == TProgressStyle::Live)
    {
        if (text.size() > kLiveLineWidth)
            text.resize(kLiveLineWidth);
        const std::size_t width = text.size();
        text.append(m_liveWidth > width ? m_liveWidth - width : 0, ' ');
        m_liveWidth = width;
        m_out << "\r" << text << (final ? "\n" : "") << std::flush;
        if (final)
            m_liveWidth = 0;
    }
    else
    {
        m_out << text << "\n" << std::flush;
    }
}

std::string THXCliSession::SummaryJson(THXTask& task, int exitStatus)
{
    TJsonObject summary;
    summary.Add("type", "summary")
        .Add("task", task.Name)
        .Add("task_file", task.FileName)
        .Add("url", task.URL)
        .Add("status", StatusText(task.Status))
        .Add("exit_status", exitStatus)
        .Add("pages_saved", task.PagesSaved)
        .Add("pages_total", task.TotalPages)
        .Add("page_errors", task.PageErrors)
        .Add("media_saved", task.ResourcesSaved)
        .Add("media_total", task.TotalResources)
        .Add("media_errors", task.ResourceErrors)
        .Add("bytes", task.TotalBytes)
        .Add("seconds", ElapsedSeconds(task));
    const bool fetched = !NothingFetched(task);
    if (fetched && task.IntranetMode)
        summary.Add("copy", LocalStartPage(task));
    else
        summary.AddNull("copy");
    if (fetched && !task.IntranetMode)
        summary.Add("archive", task.Destination);
    else
        summary.AddNull("archive");
    if (!m_host.SummaryFile().empty())
        summary.Add("reports", m_host.SummaryFile());
    else
        summary.AddNull("reports");
    return summary.Text();
}

void THXCliSession::FinishZipRun(THXTask& task)
{
    if (task.IntranetMode || task.Destination.empty())
        return;
    if (task.Status == kStatusZipped)
        m_host.CreateZipReports(task);
    // The windows empty the temporary folder when they close; this program cleans
    // up after each run, and only what the run's archive now holds.
    try
    {
        RemoveArchivedFromTemp(m_app, task.Destination);
    }
    catch (const std::exception& error)
    {
        m_host.ShowError(std::string("unable to clean up the temporary folder: ") + error.what());
    }
}

std::string THXCliSession::StartPageFailure(THXTask& task) const
{
    const std::string text = StartPageStatusText(task);
    return text.empty() ? m_startPageSlotStatus : text;
}

void THXCliSession::PrintSummary(THXTask& task)
{
    const double seconds = ElapsedSeconds(task);
    m_out << "Task \"" << task.Name << "\": " << StatusText(task.Status) << "\n";
    m_out << "  Pages:     " << task.PagesSaved << " of " << task.TotalPages << " (" << task.PageErrors << " errors)\n";
    m_out << "  Media:     " << task.ResourcesSaved << " of " << task.TotalResources << " (" << task.ResourceErrors
          << " errors)\n";
    m_out << "  Received:  " << Kilobytes(task.TotalBytes) << " KB in " << std::fixed << std::setprecision(1) << seconds
          << " s\n";
    // Host names the run looked up (an address needs none), each once.
    if (const std::int64_t lookups = m_session.Slots().HostCache().Lookups(); lookups > 0)
        m_out << "  Hosts:     " << lookups << " looked up\n";
    if (task.LinksRestored > 0)
        m_out << "  Links:     " << task.LinksRestored << " to items that failed restored to their web addresses\n";
    if (NothingFetched(task))
    {
        // No copy and no archive were made: say so, and why the start page failed.
        const std::string why = StartPageFailure(task);
        m_out << "  Nothing was fetched" << (why.empty() ? std::string() : ": the start page got \"" + why + "\"")
              << "\n";
    }
    else if (task.IntranetMode)
        m_out << "  Copy:      " << LocalStartPage(task) << "\n";
    else
        m_out << "  Archive:   " << task.Destination << "\n";
    if (!m_host.SummaryFile().empty())
        m_out << "  Reports:   " << m_host.SummaryFile() << "\n";
    m_out << "  Task file: " << task.FileName << "\n";
}

} // namespace hx::cli
