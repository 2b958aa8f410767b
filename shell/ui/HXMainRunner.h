#pragma once

// TMainRunnerHost: the task runner's window side, owned by the main window and
// attached to the engine session while the window lives. The status window shows
// the runner's texts, counters and charts, the logo turns while a task runs,
// errors become message boxes, the archive's steps reach the Zips tree, and the
// end of a run is told by a beep or a tray notice.

#include "shell/HXTaskRunner.h"

namespace hx
{

class TFormHarbex;

class TMainRunnerHost final : public THXRunnerHost
{
public:
    explicit TMainRunnerHost(TFormHarbex& window);
    TMainRunnerHost(const TMainRunnerHost&) = delete;
    TMainRunnerHost& operator=(const TMainRunnerHost&) = delete;

    void ShowStatus(const std::string& text) override;
    void RefreshStatus(THXTask& task) override;
    void ChartsChanged(const TDownloadCharts& charts) override;
    void ResetDisplay() override;
    void AttachTask(THXTask* task) override;
    void AttachExploreView(THXTask* task) override;
    void OpenZip(THXTask& task) override;
    void ZipEntryAdded(THXTask& task, const std::string& entryName, const std::string& title) override;
    void ReportZipResult(int code, std::string_view operationWord) override;
    void ZipRenamed(THXTask& task, const std::string& oldPath, const std::string& newPath) override;
    void SetLogoRunning(bool running) override;
    void SetRunEnabled(bool enabled) override;
    void UpdateCommands() override;
    void CreateReports(THXTask& task) override;
    void ShowError(const std::string& message) override;
    void ProcessPendingMessages() override;
    bool ConfirmAbortRunningTask() override;
    void RunEnded(THXTask& task) override;
    void QueueProgress(const std::string& text, std::int64_t position, std::int64_t total) override;

private:
    TFormHarbex& m_window;
};

} // namespace hx
