#include "HXRunSession.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "archive/XcdZipD4.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "net/HXSockets.h"
#include "reports/HXTaskReport.h"
#include "shell/HXNewTask.h"

namespace hx::test
{

namespace
{

using TClock = std::chrono::steady_clock;

// Longest wait of Serve's loop between two looks at the timers.
constexpr auto kServeStep = std::chrono::milliseconds(50);

bool NothingFetched(const THXTask& task)
{
    return task.PagesSaved - task.PageErrors <= 0 && task.ResourcesSaved - task.ResourceErrors <= 0;
}

TSessionSetup SetupFor(const TRunOptions& options, THXEventLoopOwner& owner)
{
    TSessionSetup setup;
    setup.Pacing = options.Pacing;
    setup.EndHandOvers = [&owner] { owner.ProcessPending(); };
    return setup;
}

} // namespace

TRunHost::TRunHost(THXApp& app, std::ostream& err, THXEventLoopOwner& owner)
    : m_app(app)
    , m_err(err)
    , m_owner(owner)
{
}

void TRunHost::PageNotSaved(const std::string& localFile)
{
    ShowError("unable to save page: " + localFile);
}

void TRunHost::ReportZipResult(int code, std::string_view operationWord)
{
    const TXcdResultText result = XcdResultText(code, operationWord);
    if (result.Failed)
        ShowError(result.Message);
}

void TRunHost::CreateReports(THXTask& task)
{
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

void TRunHost::ShowError(const std::string& message)
{
    m_err << "\n" << message << "\n";
}

TRunSession::TRunSession(THXApp& app, std::ostream& err, TRunOptions options)
    : m_host(app, err, m_owner)
    , m_session(app, m_owner, SetupFor(options, m_owner))
{
    m_session.SetHost(&m_host);
    const int connections = options.Connections > 0 ? options.Connections : app.Connections();
    m_session.Slots().SetSlotCount(connections, false);
    if (options.Connections > 0)
        m_session.Runner().Dispatcher().SetWantedSlots([connections] { return connections; });
}

void TRunSession::ServeOnce(std::chrono::milliseconds wait)
{
    m_owner.ProcessPending(wait);
    m_session.TickZipTimerWhenDue();
}

void TRunSession::Serve(std::chrono::milliseconds duration)
{
    const auto end = TClock::now() + duration;
    for (auto now = TClock::now(); now < end; now = TClock::now())
        ServeOnce(std::min<std::chrono::milliseconds>(
            kServeStep, std::chrono::duration_cast<std::chrono::milliseconds>(end - now)));
}

TRunResult TRunSession::RunTask(const std::shared_ptr<THXTask>& task,
                                std::optional<std::chrono::milliseconds> stopAfter,
                                const std::function<bool(THXTask&)>& stopWhen)
{
    const auto started = TClock::now();
    return m_session.RunTask(
        task, [this](std::chrono::milliseconds wait) { ServeOnce(wait); },
        [&](THXTask& running)
        { return (stopAfter && TClock::now() - started >= *stopAfter) || (stopWhen && stopWhen(running)); });
}

std::shared_ptr<THXTask> NewCopyTask(THXApp& app, const std::vector<std::string>& options, std::string address)
{
    const auto value = [&options](std::string_view name) -> std::optional<std::string>
    {
        for (std::size_t i = 0; i + 1 < options.size(); i += 2)
            if (options[i] == name)
                return options[i + 1];
        return std::nullopt;
    };
    namespace fs = std::filesystem;
    TNewTaskRequest request;
    request.Address = std::move(address);
    request.Profile = value("--profile").value_or("Whole Site");
    if (const auto zip = value("--zip"))
        request.TargetArchive = fs::absolute(*zip).string();
    else if (const auto folder = value("--folder"))
    {
        request.Intranet = true;
        request.Folder = fs::absolute(*folder).string();
    }
    else
        request.Intranet = app.GetSaveMode(0) == 1;
    request.Name = value("--name").value_or("");
    std::shared_ptr<THXTask> task = NewTaskFromURL(app, request);
    if (const auto depth = value("--depth"))
        task->Profile.Depth = std::stoi(*depth);
    // The copy runs at once.
    task->Schedule = std::string(kScheduleNow);
    task->Status = kStatusScheduled;
    return task;
}

} // namespace hx::test
