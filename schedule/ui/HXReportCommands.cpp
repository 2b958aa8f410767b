#include "schedule/ui/HXReportCommands.h"

#include <exception>

#include <QMessageBox>
#include <QWidget>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "core/ui/HXQtText.h"
#include "reports/HXErrorReport.h"
#include "reports/HXTaskReport.h"
#include "schedule/HXScheduler.h"
#include "schedule/ui/HXdlgTaskReport.h"
#include "archive/HXZipTemp.h"

namespace hx
{
TTaskReportCommands::TTaskReportCommands(THXApp& app)
    : Pages(app)
    , m_app(app)
{
}

void TTaskReportCommands::OpenTaskSummary(THXTask& task)
{
    OpenReport(task, TReportPage::Summary);
}

void TTaskReportCommands::OpenPageIndex(THXTask& task)
{
    OpenReport(task, TReportPage::PageIndex);
}

void TTaskReportCommands::OpenImageIndex(THXTask& task)
{
    OpenReport(task, TReportPage::ImageIndex);
}

void TTaskReportCommands::CreateReports(THXTask& task)
{
    if (MakeCopyAvailable(task))
        CreateAndOpen(task);
}

void TTaskReportCommands::WriteErrorReport(THXTask& task)
{
    try
    {
        Pages.OpenPage(hx::WriteErrorReport(task));
    }
    catch (const std::exception& error)
    {
        ShowError(error.what());
    }
}

void TTaskReportCommands::OpenReport(THXTask& task, TReportPage page)
{
    if (!MakeCopyAvailable(task))
        return;
    const THXTaskReport report(task, m_app.BannerPage());
    std::string path;
    switch (page)
    {
    case TReportPage::Summary:
        path = report.SummaryFile();
        break;
    case TReportPage::PageIndex:
        path = report.IndexFile(TReportIndex::Pages, 1);
        break;
    case TReportPage::ImageIndex:
        path = report.IndexFile(TReportIndex::Images, 1);
        break;
    }
    if (!FileExists(path))
    {
        // The reports were never made (or were removed): make them all, which opens the summary.
        CreateAndOpen(task);
        return;
    }
    Pages.OpenPage(path);
}

bool TTaskReportCommands::MakeCopyAvailable(THXTask& task)
{
    if (task.IntranetMode)
        return true;
    if (ZipResultMissing(task))
    {
        const auto answer =
            QMessageBox::question(Parent, Parent ? Parent->window()->windowTitle() : QString(),
                                  Text(kZipMissingQuestion), QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer == QMessageBox::Yes && RunTask)
            RunTask(task);
        return false;
    }
    // The pages of a Zip task are read from (and the reports written beside) its
    // unpacked copy in the temporary folder.
    const TZipTempExtraction extraction = ExtractZipToTemp(m_app, task.Destination);
    if (extraction.Result.Outcome == TXcdOutcome::Error)
        ShowError(extraction.Result.Message);
    else if (extraction.Result.Outcome == TXcdOutcome::Information)
        ShowInformation(extraction.Result.Message);
    if (extraction.Result.Failed)
        return false;
    ShowProgress(std::string(kAllFilesExtracted), 100);
    return true;
}

void TTaskReportCommands::CreateAndOpen(THXTask& task)
{
    // The window belongs to the main window and releases itself once the summary
    // is open.
    auto* window = new TdlgTaskReport(task, m_app.BannerPage(), Pages, Parent ? Parent->window() : nullptr);
    window->show();
}

void TTaskReportCommands::ShowProgress(const std::string& text, int percent) const
{
    if (Progress)
        Progress(text, percent);
}

void TTaskReportCommands::ShowError(const std::string& message) const
{
    QMessageBox::critical(Parent, Parent ? Parent->window()->windowTitle() : QString(), Text(message));
}

void TTaskReportCommands::ShowInformation(const std::string& message) const
{
    QMessageBox::information(Parent, Parent ? Parent->window()->windowTitle() : QString(), Text(message));
}

} // namespace hx
