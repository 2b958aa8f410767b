// The main window's side of the explore view: the view on the Explore page, the
// runner's hook that makes a task its task, and the Explore commands of the Task
// menu and the Tasks view, which show the selected task's queue.

#include "shell/ui/HXMain.h"

#include <QAction>

#include "core/HXTask.h"
#include "schedule/ui/HXSchedulerWindow.h"
#include "shell/ui/HXExplore.h"

namespace hx
{

QWidget* TFormHarbex::CreateExploreView(QWidget* parent)
{
    m_explore = new TFormExplore(m_app, parent);
    m_explore->Pages = m_pages;
    m_explore->UnpackForBrowsing = [this](THXTask& task) { return UnpackForBrowsing(task); };
    return m_explore;
}

void TFormHarbex::ConnectExploreCommands()
{
    connect(m_actions.miTaskExplore, &QAction::triggered, m_schedulerWindow, &TFormScheduler::ExploreSelected);
    connect(m_schedulerWindow, &TFormScheduler::ExploreRequested, this, [this] { ShowView(TView::Explore); });
}

void TFormHarbex::AttachExploreView(THXTask* task)
{
    if (m_explore)
        m_explore->SetTask(task ? task->shared_from_this() : nullptr);
}

} // namespace hx
