#include "shell/HXTaskRunner.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

#include "core/HXApp.h"
#include "core/HXDateTime.h"
#include "core/HXEncoding.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "core/HXVersion.h"
#include "engine/HXThreadParseRewrite.h"
#include "engine/HXWarcWriter.h"
#include "net/HXProxy.h"
#include "net/HXSockets.h"
#include "schedule/HXSchedule.h"

namespace hx
{

namespace
{

// Longest comment an archive entry keeps.
constexpr std::size_t kMaxZipComment = 255;

// The title as an entry comment: at most kMaxZipComment characters, never cut
// inside a UTF-8 character.
std::string ZipComment(const std::string& title)
{
    std::size_t end = 0;
    for (std::size_t taken = 0; taken < kMaxZipComment && end < title.size(); ++taken)
    {
        ++end;
        while (end < title.size() && (static_cast<unsigned char>(title[end]) & 0xC0) == 0x80)
            ++end;
    }
    return title.substr(0, end);
}

bool IsRunStatus(int status)
{
    return status == kStatusDownloading || status == kStatusComplete;
}

} // namespace

std::string ZipNameForTitle(std::string_view title)
{
    std::string name(title);
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos; }, ' ');
    // A title longer than a file name may be is shortened as local names are.
    return ShortenLocalName(name + ".zip");
}

TRunPacing TRunPacing::Fast()
{
    TRunPacing pacing;
    pacing.Parse = TParsePacing::Fast();
    pacing.Dispatch = TDispatchPacing::Fast();
    pacing.ZipFeedPeriod = pacing::kFastZipFeedPeriod;
    pacing.BatchZipFeed = true;
    pacing.AskHeadFirst = false;
    pacing.FinishAtOnce = true;
    pacing.HTTP.KeepAlive = true;
    pacing.HTTP.Compression = true;
    return pacing;
}

TRunPacing TRunPacing::ForSetting(int pacing)
{
    return pacing == kPacingClassic ? Classic() : Fast();
}

THXTaskRunner::THXTaskRunner(THXApp& app, THXRunnerHost& host, THXSlotList& slots, std::optional<TRunPacing> pacing)
    : m_app(app)
    , m_host(host)
    , m_slots(slots)
    , m_fixedPacing(pacing)
    , m_pacing(pacing ? *pacing : TRunPacing::Classic())
    , m_parser(app, m_pacing.Parse)
    , m_dispatcher(app, m_pacing.Dispatch)
{
    // Something happened: the workers that wait for events look at once.
    m_slots.SetOnTransferEnded(
        [this]
        {
            m_dispatcher.Wake();
            m_parser.Wake();
        });
    m_parser.SetOnPageDone([this] { m_dispatcher.Wake(); });
    m_slots.SetOnDiskFull([this](const std::string& text) { DiskFull(text); });
    m_parser.SetOnDiskFull([this](const std::string& text) { DiskFull(text); });
    m_parser.SetGivenUp([this](const std::string& url) { return ServerGivenUp(m_slots, url); });
    m_parser.SetRenderStep(&m_render);
    m_dispatcher.SetOnCompleted(
        [this]
        {
            if (!m_pacing.FinishAtOnce)
                return;
            // After the dispatcher's hand-over, on the owner thread; not once the
            // runner has gone.
            m_app.Owner().Post(
                [alive = std::weak_ptr<THXTaskRunner*>(m_alive)]
                {
                    if (const std::shared_ptr<THXTaskRunner*> runner = alive.lock())
                        (*runner)->FinishCompletedTask();
                });
        });
    m_dispatcher.SetSlots(&m_slots);
    m_dispatcher.SetStatusView(&m_host);
    m_dispatcher.SetPageWaiting([this](THXTask& task) { return m_parser.PageWaiting(task) || m_sitemaps.Busy(); });
    m_parser.SetStatusView(&m_host);
    // A new priority restarts the page/media ratio of the running task.
    m_app.SetOnPriorityChange(
        [this]
        {
            if (std::shared_ptr<THXTask> task = m_app.CurrentTask)
            {
                task->PagesDispatched = 0;
                task->ResourcesDispatched = 0;
            }
            m_dispatcher.Wake();
        });
}

THXTaskRunner::~THXTaskRunner()
{
    m_slots.SetOnTransferEnded({});
    m_slots.SetOnDiskFull({});
    m_parser.SetOnPageDone({});
    m_parser.SetOnDiskFull({});
    m_parser.SetGivenUp({});
    m_app.SetOnPriorityChange({});
    m_sitemaps.Reset();
    m_dispatcher.Halt();
    m_parser.Halt();
    m_render.EndRun();
    if (m_feeding)
        m_zip.Abort = true;
}

std::shared_ptr<THXTask> THXTaskRunner::RunningTask() const
{
    std::shared_ptr<THXTask> task = m_app.CurrentTask;
    return task && IsRunStatus(task->Status) && m_zipTimerEnabled ? task : nullptr;
}

void THXTaskRunner::PrepareQueue(THXTask& task, bool current)
{
    if (current)
    {
        m_host.ShowStatus("Resuming Task...");
        task.PrepareResume();
    }
    else if (task.RunMode == kRunRestart || task.RunMode == kRunMap)
    {
        m_host.ShowStatus("Starting Task...");
        task.Reset();
        task.StartFresh();
    }
    else
    {
        m_host.ShowStatus("Resuming Task...");
        // The host shows the progress of reading the queue file, and only that: the
        // task outlives the runner, and item changes of the run read no file.
        struct TProgressScope
        {
            THXTask& task;
            decltype(THXTask::OnProgress) previous;
            ~TProgressScope() { task.OnProgress = std::move(previous); }
        } progressScope{task, std::move(task.OnProgress)};
        task.OnProgress = [this](const std::string& text, std::int64_t position, std::int64_t total)
        { m_host.QueueProgress(text, position, total); };
        task.LoadQueue();
        task.PrepareResume();
    }
    if (task.RunMode == kRunSmartRecovery)
        task.PrepareSmartRecovery();
    else if (task.RunMode == kRunSmartUpdate)
        task.PrepareSmartUpdate();
}

bool THXTaskRunner::Start(const std::shared_ptr<THXTask>& task)
{
    if (!task)
        return false;
    if (std::shared_ptr<THXTask> running = RunningTask())
    {
        // Starting now would clear the running task's queue.
        m_host.ShowStatus("Task \"" + task->Name + "\" waits: \"" + running->Name + "\" is running.");
        return false;
    }
    // One task, one program: a task another process runs is left alone, its queue
    // and files included. The lock is held until the run's last save.
    m_refusalText.clear();
    int holder = 0;
    if (m_taskLock.TryAcquire(task->FileName, &holder) == THXTaskLock::TResult::HeldElsewhere)
    {
        m_refusalText = RunningElsewhereText(task->Name, holder);
        m_host.ShowStatus(m_refusalText);
        m_host.ShowError(m_refusalText);
        return false;
    }

    const bool current =
        m_app.CurrentTask == task && task->QueueLineCount() > 0 &&
        (task->RunMode == kRunResume || task->RunMode == kRunSmartUpdate || task->RunMode == kRunSmartRecovery);
    if (!current)
    {
        if (m_app.CurrentTask && m_app.CurrentTask != task)
            m_app.CurrentTask->ClearQueue();
        m_dispatcher.ClearCharts();
        m_host.ResetDisplay();
        m_host.AttachTask(task.get());
        m_host.AttachExploreView(task.get());
        m_app.CurrentTask = task;
    }

    const bool loadsQueue = !current && task->RunMode != kRunRestart && task->RunMode != kRunMap;
    try
    {
        PrepareQueue(*task, current);
        // The pages linking to items not fetched: those of earlier runs, unless the copy
        // begins afresh.
        task->LinksRestored = 0;
        OpenCookies(*task, current);
        // The archive file of the run: appended to, so a resumed or updated copy adds
        // to what the earlier runs kept.
        task->Recorder.reset();
        if (!task->WarcFile.empty())
            task->Recorder = std::make_shared<TWarcWriter>(
                task->WarcFile, TWarcOptions{"Harbex " HX_VERSION, task->Name, kWarcFileLimit, {}});
        if (!current)
        {
            task->LinkBook.Clear();
            if (loadsQueue)
                task->LinkBook.Load(task->LinkBookFileName(),
                                    [&task](std::string_view url) -> std::optional<THXLinkBook::TPair>
                                    {
                                        const THXQItem* item = task->FindItem(url);
                                        if (item == nullptr || item->Index < 0)
                                            return std::nullopt;
                                        return static_cast<THXLinkBook::TPair>(item->Index / 2);
                                    });
        }
        if (!task->IntranetMode)
        {
            m_host.OpenZip(*task);
            // The component's archive follows the archive shown (the window's OpenZip
            // selects the same one).
            m_zip.ZipFileName = task->Destination;
            const std::string folder = ExtractFilePath(task->Destination);
            if (!folder.empty())
                ForceDirectories(folder);
            if (loadsQueue)
                RequeueUnzippedFiles(*task);
        }
        else if (!task->Destination.empty())
        {
            ForceDirectories(task->Destination);
        }
        task->Status = kStatusDownloading;
        task->Save();
    }
    catch (const std::exception& error)
    {
        // A damaged queue file or a destination that cannot be created: the run does
        // not begin, and the task does not fall due again every second.
        m_host.ShowError("Unable to start task \"" + task->Name + "\": " + error.what());
        // What was read of a damaged queue file must not pass for the whole queue
        // at the next start.
        if (!current)
            task->ClearQueue();
        task->Schedule.clear();
        task->NextRun = 0;
        task->Status = kStatusStopped;
        try
        {
            task->Save();
        }
        catch (const std::exception& saveError)
        {
            m_host.ShowError(saveError.what());
        }
        m_host.ShowStatus("Ready");
        m_taskLock.Release();
        return false;
    }

    // Saves a killed run left half done stay as hidden temporaries beside their files;
    // nothing else removes them. The walk covers the whole copy (for the Personal
    // Intranet, every site in it), so it runs beside the crawl: it removes only files
    // of processes that have ended, never this run's.
    if (std::string folder = task->WorkingFolder(); !folder.empty())
        m_cleanUp.Post([folder = std::move(folder)] { RemoveStaleTempFiles(folder); });

    m_host.SetLogoRunning(true);
    m_host.SetRunEnabled(false);
    m_host.UpdateCommands();
    m_failureText.clear();
    m_zipTimerEnabled = true;

    // The waits of this run, as the settings say now.
    m_pacing = m_fixedPacing ? *m_fixedPacing : TRunPacing::ForSetting(m_app.Pacing());
    if (!m_fixedPacing)
        m_pacing.Dispatch.HostDelay = std::chrono::milliseconds(m_app.HostDelay());
    m_dispatcher.SetPacing(m_pacing.Dispatch);
    m_slots.HostGate().SetDelay(m_pacing.Dispatch.HostDelay);
    m_slots.RateLimit().SetRate(task->LimitRate);
    m_slots.SetAskHeadFirst(m_pacing.AskHeadFirst);
    // HTTP/2 goes with the persistent connections of Fast pacing, as the setting says.
    m_pacing.HTTP.Http2 = m_pacing.HTTP.KeepAlive && m_app.UseHttp2();
    m_slots.SetHTTPFeatures(m_pacing.HTTP);
    m_parser.SetPacing(m_pacing.Parse);
    m_render.BeginRun(m_app.Renderers());
    if (task->Profile.RenderPages && !m_render.Available())
        m_host.ShowStatus("Render Pages refused: " + std::string(kRenderUnavailableText) +
                          "; the copy goes on without rendering");
    m_lastZipBatch = {};

    m_dispatcher.SetTask(task);
    m_dispatcher.Resume();
    m_parser.SetTask(task);
    m_parser.Resume();
    ReadSitemaps(task);
    return true;
}

void THXTaskRunner::ReadSitemaps(const std::shared_ptr<THXTask>& task)
{
    if (!task->Profile.UseSitemaps)
    {
        m_sitemaps.Reset();
        return;
    }
    // Asked for as the task's transfers and robots.txt are.
    const TTransferProxy proxy = TransferProxy(m_app);
    const TRobotsRequest request{task->UserAgent(), proxy.Proxy, proxy.UserName, proxy.Password,
                                 TTLSOptions{m_app.CheckCertificates(), m_app.CAFile()}};
    // Each list's pages join the queue on the owner thread, while this run is the
    // runner's; the end of the reading wakes the dispatcher, which may then find the
    // task complete.
    m_sitemaps.Start(
        m_app.Owner(), Cp1252ToUtf8(task->QueueLine(0)), request,
        [this, weak = std::weak_ptr<THXTask>(task)](const std::string& sitemapURL,
                                                    const std::vector<std::string>& locations)
        {
            const std::shared_ptr<THXTask> current = weak.lock();
            if (!current || m_dispatcher.Task() != current)
                return;
            if (QueueSitemapPages(*current, ReadGroups(m_app.Store()), sitemapURL, locations) > 0)
                m_dispatcher.Wake();
        },
        [this] { m_dispatcher.Wake(); });
}

// The files waiting for the archive are known only in memory. When a Zip-mode task
// resumes from its queue file, the finished files of earlier runs that the archive
// does not hold yet (a stop before the feed reached them, zip-last) are queued again.
// Such a file may be gone: the program's close removes the temporary folder, and so
// may the system. Its item is then fetched again (a page is parsed again as well), so
// the archive still ends with every file of the copy.
void THXTaskRunner::RequeueUnzippedFiles(THXTask& task)
{
    std::set<std::string> stored;
    if (FileExists(task.Destination))
    {
        // A reading of its own: the shared component may be busy with a window's work.
        TXceedZip reader;
        reader.ZipFileName = task.Destination;
        reader.OnListing = [&stored](const TXcdFileStats& stats) { stored.insert(stats.FileName); };
        reader.List("");
    }
    const std::string temp = m_app.GetTempFolder();
    for (int pair = 0; pair < task.ItemCount(); ++pair)
    {
        THXQItem* item = task.Item(pair);
        const bool finished =
            item->IsPage() ? item->State == kStateParsed : item->State == kStateSaved || item->State == kStateUpdated;
        if (!finished)
            continue;
        task.ReloadItem(*item);
        if (item->LocalFile.empty())
            item->LocalFile = LocalFileName(task.WorkingFolder(), DirectoryURL(item->URL), item->URL);
        const std::string file = item->LocalFile;
        if (file.size() <= temp.size() || file.compare(0, temp.size(), temp) != 0 ||
            stored.contains(file.substr(temp.size())))
            continue;
        if (FileExists(file))
            task.AddZipPending(file, item);
        else
            FetchAgain(task, *item);
    }
}

void THXTaskRunner::FetchAgain(THXTask& task, THXQItem& item)
{
    // Waiting again: the counters give back what the fetch added (the run adds it
    // anew), and the dispatcher takes the item as it takes a new one.
    task.SetItemState(item, kStateNone);
    // Nothing is left to compare with: the file is asked for whole, not "if modified".
    if (item.Mode == kModeUpdate)
        item.Mode = kModeDownload;
    item.Size = 0;
    task.ClearStatusText(item);
    task.CommitItem(item, true);
}

void THXTaskRunner::FinishCompletedTask()
{
    // A folder task finishes at the first tick; an archive takes the files still
    // pending in one update, then finishes at the next. A busy archive or a listing
    // leaves the rest to the timer.
    for (int tick = 0; tick < 2 && m_zipTimerEnabled; ++tick)
        ZipTimerTick();
}

void THXTaskRunner::ZipTimerTick()
{
    // A run that failed waits for its stop.
    if (!m_zipTimerEnabled || !m_failureText.empty())
        return;
    std::shared_ptr<THXTask> task = m_dispatcher.Task();
    if (!task)
        return;
    // The cookies the run has been given are written at most once a tick, so a
    // session survives even a run that never ends properly. A failure is shown
    // when the run ends, where the write is tried once more, not every second.
    SaveCookies(*task, false);
    if (task->IntranetMode)
    {
        if (task->Status == kStatusComplete)
        {
            task->Status = kStatusTaskComplete;
            task->Save();
            CompleteTask(*task);
            m_zipTimerEnabled = false;
        }
        return;
    }
    // A window's archive operation or listing is running: the feed waits for the next tick.
    if (!m_zipGate.Idle() || m_zip.IsBusy())
        return;
    if (task->ZipPendingCount() == 0 && task->Status == kStatusComplete)
    {
        task->Status = kStatusZipped;
        task->Save();
        CompleteTask(*task);
        m_zipTimerEnabled = false;
        return;
    }
    if (task->ZipLast && task->Status != kStatusComplete)
        return;
    if (m_pacing.BatchZipFeed)
    {
        // While the download runs the archive is updated at most once a batch period;
        // once it has completed, at once.
        const auto now = std::chrono::steady_clock::now();
        if (task->ZipPendingCount() == 0 ||
            (task->Status != kStatusComplete && now - m_lastZipBatch < pacing::kFastZipBatchPeriod))
            return;
        m_lastZipBatch = now;
        std::vector<TZipFile> files;
        std::vector<TZipPendingFile> taken = task->TakeAllZipPending();
        for (const TZipPendingFile& pending : taken)
        {
            std::string localFile = pending.path;
            std::string title;
            if (pending.item)
            {
                task->ReloadItem(*pending.item);
                if (localFile.empty())
                    localFile = pending.item->LocalFile;
                title = pending.item->Title;
            }
            if (!localFile.empty())
                files.push_back({std::move(localFile), std::move(title)});
        }
        const int code = files.empty() ? xcd::Success : AddFilesToZip(*task, files);
        if (code == xcd::DiskFull)
            ZipDiskFull(*task, std::move(taken));
        else if (code == xcd::Busy)
            PutBackZipPending(*task, std::move(taken));
        return;
    }
    TZipPendingFile file;
    if (!task->TakeZipPending(file))
        return;
    std::string localFile = file.path;
    std::string title;
    if (file.item)
    {
        task->ReloadItem(*file.item);
        if (localFile.empty())
            localFile = file.item->LocalFile;
        title = file.item->Title;
    }
    const int code = localFile.empty() ? xcd::Success : AddFileToZip(*task, localFile, title);
    if (code == xcd::DiskFull)
        ZipDiskFull(*task, {file});
    else if (code == xcd::Busy)
        PutBackZipPending(*task, {file});
}

void THXTaskRunner::PutBackZipPending(THXTask& task, std::vector<TZipPendingFile> files)
{
    for (TZipPendingFile& file : files)
        task.AddZipPending(std::move(file.path), file.item);
}

void THXTaskRunner::ZipDiskFull(THXTask& task, std::vector<TZipPendingFile> files)
{
    // The archive is as it was before the update; the files wait in the temporary
    // folder for the resumed run.
    PutBackZipPending(task, std::move(files));
    DiskFull("Disk full: unable to add files to " + task.Destination);
}

void THXTaskRunner::DiskFull(const std::string& text)
{
    std::shared_ptr<THXTask> task = RunningTask();
    if (!task || !m_failureText.empty())
        return;
    m_failureText = text;
    // Nothing more is started; hand-overs of the run still queued do nothing.
    m_dispatcher.Halt();
    m_parser.Halt();
    // The stop waits for the transfers, and the one that reported this may be
    // waiting for the hand-over that called here: it runs after that hand-over.
    m_app.Owner().Post(
        [alive = std::weak_ptr<THXTaskRunner*>(m_alive), task]
        {
            if (const std::shared_ptr<THXTaskRunner*> runner = alive.lock())
                (*runner)->StopFailedTask(task);
        });
}

void THXTaskRunner::StopFailedTask(const std::shared_ptr<THXTask>& task)
{
    if (m_failureText.empty() || RunningTask() != task)
        return;
    try
    {
        StopTask(task);
    }
    catch (const std::exception& error)
    {
        // The task file may not fit on the full disk either.
        m_host.ShowError(error.what());
    }
    m_host.ShowError(m_failureText);
    m_host.ShowStatus(m_failureText);
}

int THXTaskRunner::AddFileToZip(THXTask& task, const std::string& localFile, const std::string& title)
{
    return AddFilesToZip(task, {{localFile, title}});
}

int THXTaskRunner::AddFilesToZip(THXTask& task, const std::vector<TZipFile>& files)
{
    // A file named twice keeps its first place and the last title, as two adds would.
    std::vector<std::string> paths;
    std::map<std::string, std::string> comments;
    for (const TZipFile& file : files)
    {
        if (comments.insert_or_assign(file.LocalFile, ZipComment(file.Title)).second)
            paths.push_back(file.LocalFile);
    }
    int code = xcd::Busy;
    // The entry each file went in as (the comment is asked right after the entry is named).
    std::string lastEntry;
    std::map<std::string, std::string> entryOf;
    {
        // The component is the windows' too: its archive, folders, options and
        // handlers are theirs again after the add, and while it runs the Zips
        // tree's selection stays on its archive.
        const TZipSettingsKeeper keeper(m_zip);
        m_zipGate.ZipBusy = kZipAdding;
        m_zipGate.ZipTreeLocked = true;
        m_feeding = true;
        m_zip.ZipFileName = task.Destination;
        m_zip.FilesToProcess = paths;
        m_zip.UsePaths = true;
        m_zip.Recurse = false;
        m_zip.BaseFolder = m_app.GetTempFolder();
        m_zip.FixedEntryTime = 0;
        m_zip.OnAdding = [&lastEntry](const std::string& name) { lastEntry = name; };
        m_zip.OnUpdating = [&lastEntry](const std::string& name) { lastEntry = name; };
        m_zip.OnFileComment = [&comments, &lastEntry, &entryOf](const std::string& fileName, std::string& comment)
        {
            const auto found = comments.find(fileName);
            comment = found != comments.end() ? found->second : std::string();
            entryOf[fileName] = lastEntry;
        };
        if (!m_zip.IsBusy())
            code = m_zip.Add();
        m_feeding = false;
        m_zipGate.ZipTreeLocked = false;
        m_zipGate.ZipBusy = kZipIdle;
    }
    // The component was busy after all: the caller puts the files back for the next tick.
    if (code == xcd::Busy)
        return code;
    // A full disk stops the run, which says so itself.
    if (code == xcd::DiskFull)
        return code;
    if (XcdResultText(code, "adding").Outcome != TXcdOutcome::Silent)
        m_host.ReportZipResult(code, "adding");
    if (XcdResultText(code, "adding").Failed)
        return code;
    // The host hears of each file as the one-by-one feed tells it: in the pending
    // order, a file named twice twice, each time with its own title.
    for (const TZipFile& file : files)
    {
        const auto entry = entryOf.find(file.LocalFile);
        if (entry != entryOf.end())
            m_host.ZipEntryAdded(task, entry->second, ZipComment(file.Title));
    }
    return code;
}

void THXTaskRunner::HaltTask(THXTask& task)
{
    // Only the run in progress has transfers to account for and a clock running.
    const bool running = m_zipTimerEnabled && m_dispatcher.Task().get() == &task;
    m_sitemaps.Reset();
    m_dispatcher.Halt();
    m_parser.Halt();
    m_render.EndRun();
    m_zipTimerEnabled = false;
    if (!task.IntranetMode)
        m_zip.Abort = true;
    m_host.ProcessPendingMessages();
    m_host.ProcessPendingMessages();
    // Transfers that ended since the dispatcher's last look are accounted for before
    // the slots go, so their items are counted; so are the items of transfers that
    // saved them just before the stop reached them.
    if (running)
        m_dispatcher.UpdateSlots();
    std::vector<THXSocket*> stopped;
    for (THXSocket* slot : m_slots.Slots())
        if (!slot->IsIdle() && slot->Item())
            stopped.push_back(slot);
    m_slots.StopAll();
    if (running)
        for (THXSocket* slot : stopped)
            m_dispatcher.AccountStopped(*slot);
    m_slots.Renew();
    // No transfer writes to the archive file any more: it closes, its index sorted.
    task.Recorder.reset();
    task.ResetInterrupted();
    SaveCookies(task, true);
    if (running)
        RelinkPages(task);
    // The workers no longer write the queue: what the run changed is written here,
    // so a stop loses nothing.
    if (task.Modified)
    {
        try
        {
            task.SaveQueue();
        }
        catch (const std::exception& error)
        {
            m_host.ShowError(error.what());
        }
    }
    m_host.SetLogoRunning(false);
    if (task.IntranetMode)
        m_host.CreateReports(task);
    m_host.SetRunEnabled(true);
    try
    {
        if (m_scheduler)
            m_scheduler->Reschedule(task);
        else
            Reschedule(task, Now());
    }
    catch (const std::exception& error)
    {
        m_host.ShowError(error.what());
    }
    m_host.UpdateCommands();
}

void THXTaskRunner::OpenCookies(THXTask& task, bool current)
{
    std::string error;
    if (current)
    {
        // The task's jar is still the one of its last run; only additions come in.
        const std::int64_t now = CookieClockNow();
        for (THXCookie& cookie : task.CookiesToAdd)
            task.Cookies.Add(std::move(cookie), now);
        task.CookiesToAdd.clear();
    }
    else if (!OpenTaskCookies(task, task.RunMode == kRunRestart || task.RunMode == kRunMap, error))
    {
        m_host.ShowError(error);
    }
    SaveCookies(task, true);
}

void THXTaskRunner::SaveCookies(THXTask& task, bool reportFailure)
{
    std::string error;
    if (!SaveTaskCookies(task, error) && reportFailure)
        m_host.ShowError(error);
}

void THXTaskRunner::WaitForCleanUp()
{
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    m_cleanUp.Post([&done] { done.set_value(); });
    finished.wait();
}

void THXTaskRunner::RelinkPages(THXTask& task)
{
    // The URL of a queue place as the item's record holds it, without loading the
    // item's strings.
    const auto urlOf = [&task](THXLinkBook::TPair pair)
    { return Cp1252ToUtf8(task.QueueLine(2 * static_cast<int>(pair))); };

    // What each page's links become: the address of an item whose fetch failed, the
    // local file of an item fetched since its links were given their address.
    std::map<THXLinkBook::TPair, std::vector<TRelink>> pages;
    std::vector<THXLinkBook::TPair> settled;
    std::vector<THXLinkBook::TPair> addressed;
    task.LinkBook.ForEach(
        [&](THXLinkBook::TPair target, const THXLinkBook::TLinks& links)
        {
            const THXQItem* item = task.Item(static_cast<int>(target));
            const bool failed = item != nullptr && item->State == kStateError;
            const bool done = item == nullptr || IsFetchedState(item->State);
            if (done)
                settled.push_back(target);
            // Each page's link changes only when it is written the other way: pages
            // written since the address was given back still hold the local name.
            const std::vector<THXLinkBook::TPair>& changing = failed ? links.Local : links.Address;
            if ((failed || (done && item != nullptr)) && !changing.empty())
            {
                const std::string url = urlOf(target);
                for (const THXLinkBook::TPair page : changing)
                    pages[page].push_back({url, done});
            }
            if (failed)
                addressed.push_back(target);
        });
    for (const THXLinkBook::TPair target : addressed)
        task.LinkBook.MarkAddressed(target);
    for (const THXLinkBook::TPair target : settled)
        task.LinkBook.Forget(target);

    std::vector<TZipFile> changedFiles;
    int restoredLinks = 0;
    for (auto& [pair, links] : pages)
    {
        THXQItem* page = task.Item(static_cast<int>(pair));
        if (page == nullptr)
            continue;
        task.ReloadItem(*page);
        const std::string localFile = page->LocalFile.empty()
                                          ? LocalFileName(task.WorkingFolder(), DirectoryURL(page->URL), page->URL)
                                          : page->LocalFile;
        std::optional<std::string> text = ReadWholeFile(localFile);
        if (!text)
            continue;
        // Addresses first: a link never goes both ways in one page.
        std::stable_partition(links.begin(), links.end(), [](const TRelink& link) { return !link.Local; });
        const auto firstLocal =
            std::find_if(links.begin(), links.end(), [](const TRelink& link) { return link.Local; });
        const std::vector<TRelink> toAddress(links.begin(), firstLocal);
        const std::vector<TRelink> toLocal(firstLocal, links.end());
        const int restoredHere = toAddress.empty() ? 0 : RelinkSavedPage(*text, page->URL, toAddress);
        const int localHere = toLocal.empty() ? 0 : RelinkSavedPage(*text, page->URL, toLocal);
        if (restoredHere + localHere == 0 || !WriteFileAtomic(localFile, *text, TDurability::kAtomicOnly))
            continue;
        restoredLinks += restoredHere;
        // An archive entry keeps its page's title as comment.
        changedFiles.push_back({localFile, page->Title});
    }
    task.LinksRestored = restoredLinks;
    if (!task.LinkBook.Save(task.LinkBookFileName(), urlOf))
        m_host.ShowError("Unable to save the links of task \"" + task.Name + "\"");

    // An archive holds the pages as they were: the changed ones replace them, unless
    // the archive takes its files only at the end and that end has not come.
    const bool archiveFed = !task.ZipLast || task.Status == kStatusComplete || task.Status == kStatusZipped;
    if (!task.IntranetMode && archiveFed && !changedFiles.empty() && FileExists(task.Destination))
        AddFilesToZip(task, changedFiles);
}

void THXTaskRunner::StopTask(const std::shared_ptr<THXTask>& task)
{
    if (!task)
        return;
    m_host.ShowStatus("Stopping Task...");
    HaltTask(*task);
    task->Status = kStatusStopped;
    task->Save();
    if (m_taskLock.TaskFile() == task->FileName)
        m_taskLock.Release(); // the run's last save is done: another process may take it
    m_host.ShowStatus("Ready");
    m_host.RunEnded(*task);
}

void THXTaskRunner::CompleteTask(THXTask& task)
{
    HaltTask(task);
    if (!task.IntranetMode && task.Profile.UseStartPageTitle && !task.StartPageTitle.empty() &&
        RenameZip(task, ZipNameForTitle(task.StartPageTitle)))
        task.Save();
    if (m_taskLock.TaskFile() == task.FileName)
        m_taskLock.Release();
    m_host.RunEnded(task);
}

bool THXTaskRunner::RenameZip(THXTask& task, const std::string& name)
{
    const std::string oldPath = task.Destination;
    std::error_code error;
    // Nothing was added to the archive: there is no file to rename.
    if (!std::filesystem::is_regular_file(oldPath, error))
        return false;
    // The title's name, else the first free "name(N)" of the unique-name rule. An
    // archive that already bears one of these names keeps it, so the name does not
    // change from run to run.
    const TZipRename rename = RenameZipFile(m_app, oldPath, name);
    if (!rename.Error.empty())
    {
        m_host.ShowError(rename.Error);
        return false;
    }
    if (!rename.Renamed)
        return false;
    const std::string& newPath = rename.NewPath;
    task.Destination = newPath;
    if (m_zip.ZipFileName == oldPath)
        m_zip.ZipFileName = newPath;
    m_host.ZipRenamed(task, oldPath, newPath);
    return true;
}

void THXTaskRunner::ShowTask(const std::shared_ptr<THXTask>& task)
{
    if (task == m_app.CurrentTask)
        return;
    if (RunningTask())
    {
        m_host.ShowStatus("A task is running: its queue stays shown until it ends.");
        return;
    }
    if (m_app.CurrentTask)
        m_app.CurrentTask->ClearQueue();
    m_host.ResetDisplay();
    m_host.AttachTask(task.get());
    m_host.AttachExploreView(task.get());
    m_app.CurrentTask = task;
    if (task)
    {
        try
        {
            task->LoadQueue();
        }
        catch (const std::exception& error)
        {
            m_host.ShowError(error.what());
            task->ClearQueue();
        }
    }
}

bool THXTaskRunner::CloseQuery()
{
    std::shared_ptr<THXTask> running;
    if (m_scheduler && m_scheduler->IsTaskRunning())
        running = m_scheduler->FindRunningTask();
    if (!running)
        running = RunningTask();
    if (!running)
        return true;
    if (!m_host.ConfirmAbortRunningTask())
        return false;
    StopTask(running);
    return true;
}

} // namespace hx
