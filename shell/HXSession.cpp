#include "shell/HXSession.h"

#include <algorithm>
#include <utility>

#include "core/HXApp.h"
#include "core/HXOwner.h"
#include "core/HXTask.h"
#include "net/HXSockets.h"
#include "schedule/HXSchedulerThread.h"

namespace hx
{

namespace
{

// Longest wait of a run's loop between two looks at the stop condition.
constexpr auto kServeStep = std::chrono::milliseconds(50);

} // namespace

// The runner and its workers are made once, with one host for their whole life;
// the windows or the terminal that show them come and go. The relay is that one
// host: it passes every report to the host attached now, and drops it (or gives
// the default answer) while none is.
class THXSession::THostRelay final : public THXRunnerHost
{
public:
    THXRunnerHost* Target = nullptr;

    void ShowStatus(const std::string& text) override
    {
        if (Target)
            Target->ShowStatus(text);
    }
    void PageNotSaved(const std::string& localFile) override
    {
        if (Target)
            Target->PageNotSaved(localFile);
    }
    void RefreshStatus(THXTask& task) override
    {
        if (Target)
            Target->RefreshStatus(task);
    }
    void ChartsChanged(const TDownloadCharts& charts) override
    {
        if (Target)
            Target->ChartsChanged(charts);
    }
    void ResetDisplay() override
    {
        if (Target)
            Target->ResetDisplay();
    }
    void AttachTask(THXTask* task) override
    {
        if (Target)
            Target->AttachTask(task);
    }
    void AttachExploreView(THXTask* task) override
    {
        if (Target)
            Target->AttachExploreView(task);
    }
    void OpenZip(THXTask& task) override
    {
        if (Target)
            Target->OpenZip(task);
    }
    void ZipEntryAdded(THXTask& task, const std::string& entryName, const std::string& title) override
    {
        if (Target)
            Target->ZipEntryAdded(task, entryName, title);
    }
    void ReportZipResult(int code, std::string_view operationWord) override
    {
        if (Target)
            Target->ReportZipResult(code, operationWord);
    }
    void ZipRenamed(THXTask& task, const std::string& oldPath, const std::string& newPath) override
    {
        if (Target)
            Target->ZipRenamed(task, oldPath, newPath);
    }
    void SetLogoRunning(bool running) override
    {
        if (Target)
            Target->SetLogoRunning(running);
    }
    void SetRunEnabled(bool enabled) override
    {
        if (Target)
            Target->SetRunEnabled(enabled);
    }
    void UpdateCommands() override
    {
        if (Target)
            Target->UpdateCommands();
    }
    void CreateReports(THXTask& task) override
    {
        if (Target)
            Target->CreateReports(task);
    }
    void ShowError(const std::string& message) override
    {
        if (Target)
            Target->ShowError(message);
    }
    void ProcessPendingMessages() override
    {
        if (Target)
            Target->ProcessPendingMessages();
    }
    bool ConfirmAbortRunningTask() override { return Target ? Target->ConfirmAbortRunningTask() : true; }
    void RunEnded(THXTask& task) override
    {
        if (Target)
            Target->RunEnded(task);
    }
    void QueueProgress(const std::string& text, std::int64_t position, std::int64_t total) override
    {
        if (Target)
            Target->QueueProgress(text, position, total);
    }
};

THXSession::THXSession(THXApp& app, THXOwnerThread& owner, TSessionSetup setup)
    : m_app(app)
    , m_owner(owner)
    , m_setup(std::move(setup))
    , m_host(std::make_unique<THostRelay>())
    , m_scheduler(app, Clock())
    , m_slots(std::make_unique<THXSlotList>())
{
    // The owner thread first: everything below hands over through it.
    m_app.SetOwner(&m_owner);
    // The task runner with its workers; the connection slots are lent to it.
    m_runner = std::make_unique<THXTaskRunner>(m_app, *m_host, *m_slots, m_setup.Pacing);
    m_runner->SetScheduler(&m_scheduler);
    m_scheduler.SetRunner(m_runner.get());
}

THXSession::~THXSession()
{
    // Ended first: no tick runs while the rest goes.
    m_tick.reset();
    // A session ended without its program's close sequence still leaves no run half done.
    StopRunningTask();
    m_scheduler.SetRunner(nullptr);
    m_scheduler.SetOnTaskChanged({});
    m_runner.reset();
    m_slots.reset();
    if (m_app.CurrentTask)
        m_app.CurrentTask->OnProgress = nullptr;
    if (m_setup.EndHandOvers)
        m_setup.EndHandOvers();
    m_app.SetOwner(nullptr);
}

void THXSession::SetHost(THXRunnerHost* host)
{
    m_host->Target = host;
}

TFirstRunResult THXSession::FirstRun(const TFirstRunOptions& options)
{
    return FirstRunSetup(m_app, options);
}

std::vector<std::string> THXSession::LoadActiveTasks(const std::function<bool()>& stopRequested)
{
    return m_scheduler.LoadActiveTasks(stopRequested);
}

void THXSession::StartTicking()
{
    m_tick.reset();
    m_tick = std::make_unique<TThreadSchedule>(
        m_owner,
        [this]
        {
            if (m_setup.ReloadSettingsOnTick)
                m_app.ReloadSettingsIfChanged();
            m_scheduler.Tick();
        },
        m_setup.TickPeriod, [this](const std::string& message) { m_host->ShowStatus(message); });
}

void THXSession::StopTicking()
{
    if (m_tick)
        m_tick->Terminate();
}

void THXSession::StopRunningTask()
{
    if (std::shared_ptr<THXTask> running = m_runner->RunningTask())
        m_runner->StopTask(running);
}

void THXSession::TickZipTimerWhenDue()
{
    const auto now = std::chrono::steady_clock::now();
    if (!m_runner->ZipTimerEnabled() || now < m_nextZipTick)
        return;
    m_nextZipTick = now + m_runner->ZipFeedPeriod();
    m_runner->ZipTimerTick();
}

TRunResult THXSession::RunTask(const std::shared_ptr<THXTask>& task,
                               const std::function<void(std::chrono::milliseconds wait)>& serve,
                               const std::function<bool(THXTask&)>& stop)
{
    using namespace std::chrono;
    TRunResult result;
    result.Started = m_runner->Start(task);
    m_nextZipTick = steady_clock::now() + m_runner->ZipFeedPeriod();
    while (result.Started && m_runner->ZipTimerEnabled())
    {
        if (stop && stop(*task))
        {
            m_runner->StopTask(task);
            result.Interrupted = true;
            break;
        }
        const auto untilTick = duration_cast<milliseconds>(m_nextZipTick - steady_clock::now()) + milliseconds(1);
        serve(std::clamp<milliseconds>(untilTick, milliseconds(0), kServeStep));
    }
    result.Status = task->Status;
    result.Completed = task->Status == kStatusZipped || task->Status == kStatusTaskComplete;
    if (result.Started && !result.Interrupted)
        result.FailureText = m_runner->FailureText();
    return result;
}

} // namespace hx
