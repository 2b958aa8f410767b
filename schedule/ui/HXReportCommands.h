#pragma once

// TTaskReportCommands: the "Reports" commands of the Tasks view ("Task Summary",
// "Page Index", "ImageIndex", "Errors", "Create Reports") for one task.
//
// The summary, page index and image index lie beside the task's copy: the
// Destination folder of an intranet task, or the temporary folder for a task saved
// to a Zip file, whose archive is unpacked there first. An open command opens its
// page when it exists and otherwise creates all the reports and opens the summary.
// A Zip task whose archive is missing is not reported on: the user is asked whether
// to run it instead.
//
// The reports are written by the "Task Reports" window, which shows the steps and
// opens the summary. The window that owns the commands plugs in how a page is
// opened, where the unpacking's outcome goes and how a task is queued to run.
// Owner thread only.

#include <functional>
#include <string>

#include "core/ui/HXPageOpener.h"

class QWidget;

namespace hx
{

class THXApp;
class THXTask;
enum class TReportIndex;

class TTaskReportCommands final
{
public:
    explicit TTaskReportCommands(THXApp& app);
    TTaskReportCommands(const TTaskReportCommands&) = delete;
    TTaskReportCommands& operator=(const TTaskReportCommands&) = delete;

    // Opens a report page (a local path) in the browser.
    TPageOpener Pages;
    // The status line: a step's text and its progress, 0 to 100.
    std::function<void(const std::string& text, int percent)> Progress;
    // Yes to the question about a missing Zip archive: the task is queued to run.
    std::function<void(THXTask& task)> RunTask;
    // The window the message boxes belong to.
    QWidget* Parent = nullptr;

    void OpenTaskSummary(THXTask& task);
    void OpenPageIndex(THXTask& task);
    void OpenImageIndex(THXTask& task);
    // Shows the "Task Reports" window, which writes the summary, page index and
    // image index and opens the summary; a Zip task's archive is unpacked first.
    void CreateReports(THXTask& task);
    // Writes the task's error report into the temporary folder and opens it.
    void WriteErrorReport(THXTask& task);

private:
    enum class TReportPage
    {
        Summary,
        PageIndex,
        ImageIndex
    };

    void OpenReport(THXTask& task, TReportPage page);
    // For a Zip task: asks to run it when its archive is missing, else unpacks the
    // archive into the temporary folder. False when the reports cannot be looked at.
    bool MakeCopyAvailable(THXTask& task);
    void CreateAndOpen(THXTask& task);
    void ShowProgress(const std::string& text, int percent) const;
    void ShowError(const std::string& message) const;
    void ShowInformation(const std::string& message) const;

    THXApp& m_app;
};

} // namespace hx
