// The main window as the task runner's window side: the status window shows the
// runner's texts, counters and charts, the logo turns while a task runs, errors
// become message boxes, and the end of a run is told by a beep or a tray notice.

#include "shell/ui/HXMain.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMovie>

#include "archive/XcdZipD4.h"
#include "core/HXApp.h"
#include "core/HXTask.h"
#include "monitor/ui/HXStatus.h"
#include "reports/HXTaskReport.h"
#include "schedule/ui/HXSchedulerWindow.h"
#include "shell/ui/HXQtOwner.h"

namespace hx
{

void TFormHarbex::ShowStatus(const std::string& text)
{
    if (m_status)
        m_status->ShowStatus(text);
}

void TFormHarbex::RefreshStatus(THXTask& task)
{
    if (m_status && m_status->Task() == &task)
        m_status->RefreshCounters();
}

void TFormHarbex::ChartsChanged(const TDownloadCharts& charts)
{
    if (m_status)
        m_status->SetCharts(charts);
}

void TFormHarbex::ResetDisplay()
{
    if (m_status)
        m_status->ResetDisplay();
}

void TFormHarbex::AttachTask(THXTask* task)
{
    if (m_status)
        m_status->AttachTask(task);
}

void TFormHarbex::ReportZipResult(int code, std::string_view operationWord)
{
    const TXcdResultText result = XcdResultText(code, operationWord);
    if (result.Message.empty() || m_closing)
        return;
    const QString text = QString::fromStdString(result.Message);
    if (result.Failed)
        QMessageBox::critical(this, windowTitle(), text);
    else
        QMessageBox::information(this, windowTitle(), text);
}

void TFormHarbex::SetLogoRunning(bool running)
{
    if (!m_logo || !m_logo->isValid())
        return;
    if (running)
        m_logo->start();
    else
    {
        m_logo->stop();
        m_logo->jumpToFrame(0);
    }
}

void TFormHarbex::SetRunEnabled(bool enabled)
{
    if (m_status)
        m_status->SetRunEnabled(enabled);
}

void TFormHarbex::UpdateCommands()
{
    if (!m_schedulerWindow || !m_runner)
        return;
    m_schedulerWindow->UpdateCommands();
    const TTaskCommands commands = m_schedulerWindow->Commands();
    const std::pair<const char*, bool> items[] = {
        {"miTaskRun", commands.Run},
        {"miTaskStop", commands.Stop},
        {"miTaskDelete", commands.Delete},
        {"miTaskUnschedule", commands.Unschedule},
        {"miTaskSchedule", commands.Schedule},
        {"miTaskEdit", commands.Edit},
        {"miTaskCopyURL", commands.CopyStartPageURL},
        {"miTaskCopyLocalURL", commands.CopyLocalStartPageURL},
        {"miTaskExplore", commands.Explore},
    };
    for (const auto& [name, enabled] : items)
        if (QAction* action = Action(name))
            action->setEnabled(enabled);
}

void TFormHarbex::CreateReports(THXTask& task)
{
    // A run that fetched nothing has no copy to report on.
    if (task.PagesSaved - task.PageErrors <= 0 && task.ResourcesSaved - task.ResourceErrors <= 0)
        return;
    try
    {
        THXTaskReport report(task, m_app.BannerPage());
        const std::string summary = report.CreateReports([this](const std::string& label, int percent)
                                                         { m_status->ShowStatus(label, percent, 100); });
        m_status->ShowStatus("Ready");
        if (!m_closing)
            OpenDocument(summary);
    }
    catch (const std::exception& error)
    {
        ShowError(std::string("Unable to write the reports: ") + error.what());
    }
}

void TFormHarbex::ShowError(const std::string& message)
{
    ShowStatus(message);
    if (!m_closing)
        QMessageBox::critical(this, windowTitle(), QString::fromStdString(message));
}

void TFormHarbex::ProcessPendingMessages()
{
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_owner->ProcessPending();
}

bool TFormHarbex::ConfirmAbortRunningTask()
{
    const std::string_view question = kAbortQuestion;
    return QMessageBox::question(this, windowTitle(),
                                 QString::fromUtf8(question.data(), static_cast<qsizetype>(question.size())),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void TFormHarbex::QueueProgress(const std::string& text, std::int64_t position, std::int64_t total)
{
    if (m_status)
        m_status->ShowStatus(text, position, total);
}

void TFormHarbex::RunEnded(THXTask& task)
{
    if (m_closing)
        return;
    if (!task.IntranetMode && m_zipPane)
        m_zipPane->RefreshContents(task.Destination);
    if (m_app.BeepOnCompletion())
        QApplication::beep();
    if (m_tray && m_tray->isVisible())
        m_tray->showMessage(tr("Harbex 2.60"),
                            QString::fromStdString(task.Name + ": " + std::string(StatusText(task.Status))),
                            QSystemTrayIcon::Information);
}

} // namespace hx
