#pragma once

// TFormScheduler: the Tasks view of the main window. At the left the "Active
// Tasks" node and the category tree (the folders of the Tasks folder) with "New
// Category..."; at the right the task list with the twelve columns, state icons,
// hints, sorting and in-place renaming of the first column, its right-click menu
// and the command buttons. The commands act on the selected tasks through the
// engine's scheduler; which are enabled follows EnabledCommands.

#include <QAbstractTableModel>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ui/HXPageOpener.h"

class QAction;
class QMenu;
class QPoint;
class QPushButton;
class QRect;
class QSortFilterProxyModel;
class QSplitter;
class QTableView;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace hx
{

class THXApp;
class THXClock;
class TTaskReportCommands;
class THXScheduler;
class THXTask;
struct TTaskCommands;

class TTaskListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TTaskListModel)

public:
    explicit TTaskListModel(THXScheduler& scheduler, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Editing the first column renames the task (and its files).
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // The scheduler's shown list changed (a category was listed, a task added or deleted).
    void Reload();
    // One task's row changed.
    void TaskChanged(const THXTask& task);
    std::shared_ptr<THXTask> TaskAt(int row) const;

    // Told when a rename is refused (the message the user is shown).
    std::function<void(const std::string& message)> OnRenameRefused;

private:
    THXScheduler& m_scheduler;
    std::vector<std::shared_ptr<THXTask>> m_tasks;
};

class TFormScheduler final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFormScheduler)

public:
    TFormScheduler(THXApp& app, THXScheduler& scheduler, QWidget* parent = nullptr);
    ~TFormScheduler() override;

    // Lists the category's tasks (it becomes "Last Category") and selects its node.
    void ShowCategory(const std::string& category);
    // Lists the active tasks.
    void ShowActiveTasks();
    // Lists a task the scheduler added.
    void Reload();
    void TaskChanged(const THXTask& task);
    // The selected tasks, in list order.
    std::vector<std::shared_ptr<THXTask>> SelectedTasks() const;
    TTaskListModel& Model() { return *m_model; }
    // The commands' state for the first selected task.
    TTaskCommands Commands() const;
    // Refreshes the buttons and the menu's items (selection or a run changed).
    void UpdateCommands();
    // The view, its right-hand panel and its splitter take the second colour of the
    // scheme in force (at the window's start and after a skin change).
    void ApplyColors();

    // --- Commands on the selected tasks ---

    void RunSelected();
    // Run for these tasks: each is queued to start at the next tick.
    void RunTasks(const std::vector<std::shared_ptr<THXTask>>& tasks);
    void StopSelected();
    void UnscheduleSelected();
    // The task editor for the first selected task; OK saves it.
    void EditSelected();
    // Asks for a schedule (the schedule dialog) and gives it to every selected task.
    void ScheduleSelected();
    // Asks first; the files go to the desktop's trash.
    void DeleteSelected();
    void CopyStartPageURL(bool local);
    // Explore: the selected task becomes the current task (its queue is read) and the
    // explore view is asked for.
    void ExploreSelected();
    // The programs a copy is browsed with: the desktop's default, the found
    // Chromium-family ("Internet Explorer") or Firefox-family ("Netscape Navigator")
    // one, or the main window's own browser ("Integrated Browser").
    enum class TBrowser
    {
        Default,
        InternetExplorer,
        NetscapeNavigator,
        Integrated
    };
    // Offline: the local start page (a Zip task's archive is unpacked first; a missing
    // archive asks whether to run the task). Online: the start page's address; a
    // program gets the banner wrapper page "Harbex.htm" for it when a banner page is set
    // and "No Ads" is not.
    void BrowseSelected(TBrowser browser, bool offline);
    // Opens a task file given on the command line or dropped on the window: the
    // task editor ("Add a Task") shows it; OK lists it (or, when it replaced a task
    // of the same name, lists its category anew). Cancel discards it.
    void OpenTaskFile(const std::string& path);
    // A new category folder under the selected one ("New Folder", "New Folder (2)", ...).
    void NewCategory();

    // Whether a download runs (the main window's logo turns).
    std::function<bool()> DownloadRunning;
    // The clock the schedule dialog starts from.
    const THXClock* Clock = nullptr;
    // Chooses the run mode of a task whose queue holds entries (nothing: Cancel).
    // Default: the run task dialog.
    std::function<std::optional<int>(THXTask& task)> ChooseRunMode;
    // Shows an error box.
    std::function<void(const std::string& message)> ShowError;
    // A text (and percentage) on the status line.
    std::function<void(const std::string& text, int percent)> ShowProgress;
    // How the view and its report commands open pages (the host's launcher).
    void SetPageOpener(const TPageOpener& pages);
    // The report button's icon: the browser program the settings name.
    void DrawBrowserIcon();
    // "Create Reports" for the task: the "Task Reports" window writes them and opens
    // the summary (a Zip task's archive is unpacked first, or the user is asked to
    // run the task when it is missing).
    void CreateReports(THXTask& task);
    // Makes a Zip task's files browsable in the temporary folder; false when that failed
    // (the reason was shown).
    std::function<bool(THXTask& task)> UnpackForBrowsing;
    // Shows the main window's browser with an address ("Integrated Browser").
    std::function<void(const std::string& address)> BrowseIntegrated;
    // Shows an Intranet task's local file in the Personal Intranet tree ("Integrated
    // Browser" offline on an Intranet task).
    std::function<void(const std::string& localFile)> ShowInIntranet;

    QTreeWidget* tvActiveTask = nullptr;
    QTreeWidget* tvTasks = nullptr;
    QTableView* lvTasks = nullptr;
    QMenu* popTask = nullptr;
    QMenu* popBrowse = nullptr;
    QToolButton* btnReports = nullptr;
    QPushButton* btnRun = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnBrowse = nullptr;
    QPushButton* btnExplore = nullptr;
    QPushButton* btnEdit = nullptr;
    QPushButton* btnSchedule = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnNewCategory = nullptr;
    QAction* Action(const QString& objectName) const;

signals:
    void SelectionChanged();
    // "New...": the main window's new-task command.
    void NewTaskRequested();
    // "Explore" made the selected task the current one: show the explore view.
    void ExploreRequested();

protected:
    // A click on a row's state icon runs the task (run icon) or stops it (stop icon).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateMenu();
    // The task whose state icon is at a point of the list's viewport (with the
    // icon's rectangle); null elsewhere.
    std::shared_ptr<THXTask> TaskOfStateIconAt(const QPoint& at, QRect* iconRect = nullptr) const;
    void FillCategories();
    QTreeWidgetItem* AddFolder(QTreeWidgetItem* parent, const std::string& folder, const std::string& relative);
    std::string SelectedCategory() const;
    void Error(const std::string& message);

    THXApp& m_app;
    THXScheduler& m_scheduler;
    std::string m_tasksFolder;
    // The Reports commands (summary, indexes, errors), for the first selected task.
    std::unique_ptr<TTaskReportCommands> m_reports;
    TPageOpener m_pages;
    TTaskListModel* m_model = nullptr;
    QSortFilterProxyModel* m_sorted = nullptr;
    QSplitter* m_splitter = nullptr;
    QWidget* m_right = nullptr;
};

} // namespace hx
