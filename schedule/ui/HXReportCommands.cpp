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
#include "archive/HXZipTemp.h"

namespace hx
{
TTaskReportCommands::TTaskReportCommands(THXApp& app)
    : m_app(app)
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
        const std::string path = hx::WriteErrorReport(task);
        if (OpenDocument)
            OpenDocument(path);
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
    if (OpenDocument)
        OpenDocument(path);
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
    try
    {
        THXTaskReport report(task, m_app.BannerPage());
        const std::string summary =
            report.CreateReports([this](const std::string& label, int percent) { ShowProgress(label, percent); });
        if (OpenDocument)
            OpenDocument(summary);
    }
    catch (const std::exception& error)
    {
        ShowError(error.what());
    }
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
