#pragma once

// The engine as the end-to-end tests drive it: an engine session whose owner
// thread is an event loop on the test thread, a host that keeps the status line,
// the errors and the summary page of the reports, and a loop that serves the
// hand-overs and the zip timer until a run ends.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/HXOwner.h"
#include "shell/HXSession.h"
#include "shell/HXTaskRunner.h"

namespace hx
{
class THXApp;
class THXTask;
} // namespace hx

namespace hx::test
{

struct TRunOptions
{
    // The waits of every run (none: each start reads the "Pacing" setting).
    std::optional<TRunPacing> Pacing;
    // Connection slots (0: the "Connections" setting).
    int Connections = 0;
};

// The runner's host: errors are written to `err`, the last status text is kept,
// and the reports of an intranet run that fetched something are written.
class TRunHost final : public THXRunnerHost
{
public:
    TRunHost(THXApp& app, std::ostream& err, THXEventLoopOwner& owner);

    void ShowStatus(const std::string& text) override { m_lastStatus = text; }
    void PageNotSaved(const std::string& localFile) override;
    void ReportZipResult(int code, std::string_view operationWord) override;
    void CreateReports(THXTask& task) override;
    void ShowError(const std::string& message) override;
    void ProcessPendingMessages() override { m_owner.ProcessPending(); }

    const std::string& LastStatus() const { return m_lastStatus; }
    // The summary page written at the end of the last intranet run ("" when none).
    const std::string& SummaryFile() const { return m_summaryFile; }

private:
    THXApp& m_app;
    std::ostream& m_err;
    THXEventLoopOwner& m_owner;
    std::string m_lastStatus;
    std::string m_summaryFile;
};

class TRunSession
{
public:
    TRunSession(THXApp& app, std::ostream& err, TRunOptions options = {});
    TRunSession(const TRunSession&) = delete;
    TRunSession& operator=(const TRunSession&) = delete;

    THXSession& Engine() { return m_session; }
    THXScheduler& Scheduler() { return m_session.Scheduler(); }
    THXTaskRunner& Runner() { return m_session.Runner(); }
    THXSlotList& Slots() { return m_session.Slots(); }
    TRunHost& Host() { return m_host; }

    // Starts the task now and serves the loop until the run ends, or stops it when
    // `stopAfter` has passed or `stopWhen` says so (looked at between two turns).
    TRunResult RunTask(const std::shared_ptr<THXTask>& task,
                       std::optional<std::chrono::milliseconds> stopAfter = std::nullopt,
                       const std::function<bool(THXTask&)>& stopWhen = {});
    // Serves the loop (hand-overs and the zip timer) for a while.
    void Serve(std::chrono::milliseconds duration);

private:
    void ServeOnce(std::chrono::milliseconds wait);

    THXEventLoopOwner m_owner;
    TRunHost m_host;
    THXSession m_session;
};

// A task that copies `address` at once, as harbex-cli's copy makes one. `options`
// holds pairs: "--folder DIR" (an intranet copy), "--zip FILE" (the archive),
// "--profile NAME" (default "Whole Site"), "--name NAME", "--depth N". Not saved.
std::shared_ptr<THXTask> NewCopyTask(THXApp& app, const std::vector<std::string>& options, std::string address);

} // namespace hx::test
