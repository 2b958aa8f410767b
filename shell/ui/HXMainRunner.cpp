#include "shell/ui/HXMainRunner.h"

#include <QApplication>
#include <QMessageBox>
#include <QMovie>

#include "core/HXApp.h"
#include "core/HXTask.h"
#include "core/HXVersion.h"
#include "core/ui/HXQtText.h"
#include "monitor/ui/HXStatus.h"
#include "reports/HXTaskReport.h"
#include "schedule/ui/HXSchedulerWindow.h"
#include "shell/ui/HXMain.h"
#include "shell/ui/HXQtSession.h"
#include "shell/ui/HXMainZip.h"

namespace hx
{

TMainRunnerHost::TMainRunnerHost(TFormHarbex& window)
    : m_window(window)
{
}

void TMainRunnerHost::ShowStatus(const std::string& text)
{
    m_window.ShowStatus(text);
}

void TMainRunnerHost::RefreshStatus(THXTask& task)
{
    if (m_window.m_status && m_window.m_status->Task() == &task)
        m_window.m_status->RefreshCounters();
}

void TMainRunnerHost::ChartsChanged(const TDownloadCharts& charts)
{
    if (m_window.m_status)
        m_window.m_status->SetCharts(charts);
}

void TMainRunnerHost::ResetDisplay()
{
    if (m_window.m_status)
        m_window.m_status->ResetDisplay();
}

void TMainRunnerHost::AttachTask(THXTask* task)
{
    if (m_window.m_status)
        m_window.m_status->AttachTask(task);
}

void TMainRunnerHost::AttachExploreView(THXTask* task)
{
    m_window.AttachExploreView(task);
}

void TMainRunnerHost::OpenZip(THXTask& task)
{
    m_window.OpenZip(task);
}

void TMainRunnerHost::ZipEntryAdded(THXTask& task, const std::string& entryName, const std::string& title)
{
    m_window.ZipEntryAdded(task, entryName, title);
}

void TMainRunnerHost::ReportZipResult(int code, std::string_view operationWord)
{
    m_window.ReportZipResult(code, operationWord);
}

void TMainRunnerHost::ZipRenamed(THXTask& task, const std::string& oldPath, const std::string& newPath)
{
    m_window.ZipRenamed(task, oldPath, newPath);
}

void TMainRunnerHost::SetLogoRunning(bool running)
{
    QMovie* logo = m_window.m_logo;
    if (!logo || !logo->isValid())
        return;
    if (running)
        logo->start();
    else
    {
        logo->stop();
        logo->jumpToFrame(0);
    }
}

void TMainRunnerHost::SetRunEnabled(bool enabled)
{
    if (m_window.m_status)
        m_window.m_status->SetRunEnabled(enabled);
}

void TMainRunnerHost::UpdateCommands()
{
    m_window.UpdateCommands();
}

void TMainRunnerHost::CreateReports(THXTask& task)
{
    // A run that fetched nothing has no copy to report on.
    if (task.PagesSaved - task.PageErrors <= 0 && task.ResourcesSaved - task.ResourceErrors <= 0)
        return;
    if (!m_window.m_closing)
    {
        // The "Task Reports" window writes them, shows the steps and opens the summary.
        m_window.m_schedulerWindow->CreateReports(task);
        return;
    }
    // A run stopped by closing the program: the reports are written as it ends,
    // and nothing is opened.
    try
    {
        THXTaskReport report(task, m_window.m_app.BannerPage());
        report.CreateReports();
    }
    catch (const std::exception& error)
    {
        ShowError(Std(TFormHarbex::tr("Unable to write the reports: %1").arg(Text(error.what()))));
    }
}

void TMainRunnerHost::ShowError(const std::string& message)
{
    m_window.ShowError(message);
}

void TMainRunnerHost::ProcessPendingMessages()
{
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_window.m_session.Owner().ProcessPending();
}

bool TMainRunnerHost::ConfirmAbortRunningTask()
{
    const std::string_view question = kAbortQuestion;
    return QMessageBox::question(&m_window, m_window.windowTitle(),
                                 QString::fromUtf8(question.data(), static_cast<qsizetype>(question.size())),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void TMainRunnerHost::QueueProgress(const std::string& text, std::int64_t position, std::int64_t total)
{
    if (m_window.m_status)
        m_window.m_status->ShowStatus(text, position, total);
}

void TMainRunnerHost::RunEnded(THXTask& task)
{
    if (m_window.m_closing)
        return;
    if (!task.IntranetMode && m_window.m_zipPane)
        m_window.m_zipPane->RefreshContents(task.Destination);
    if (m_window.m_app.BeepOnCompletion())
        QApplication::beep();
    QSystemTrayIcon* tray = m_window.m_tray;
    if (tray && tray->isVisible())
        tray->showMessage(QStringLiteral("Harbex " HX_VERSION_SHORT),
                          QString::fromStdString(task.Name + ": " + std::string(StatusText(task.Status))),
                          QSystemTrayIcon::Information);
}

} // namespace hx
