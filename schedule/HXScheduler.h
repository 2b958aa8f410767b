#pragma once

// THXScheduler: the task manager's engine. It loads the active-task list, keeps the
// tasks a window lists (one category folder, or the active tasks), decides once a
// second whether a task is due and hands it to the task runner, carries out the
// task commands on the task objects, and works out what the task list shows and
// which commands are enabled. It has no widgets: the scheduler window displays
// ShownTasks() and TaskRow(), asks its questions, and calls the commands here.
//
// Threads: everything runs on the owner thread. The tick thread (TThreadSchedule)
// only hands Tick over to it.
//
// Object lifetime: task objects are shared. The active-task list (THXApp), the
// runner's CurrentTask and the shown list each hold a reference, so a task that is
// active and current and shown is one object, freed when nothing holds it.

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/HXDateTime.h"
#include "schedule/HXSchedule.h"

namespace hx
{

class THXApp;
class THXTask;

// The task runner's side, as the scheduler calls it (owner thread). The defaults
// do nothing, so the scheduler works before the runner is attached.
class THXTaskRunnerLink
{
public:
    virtual ~THXTaskRunnerLink() = default;
    // Starts a due task: sets its Status to 2, saves it and makes it CurrentTask.
    virtual void StartTask(const std::shared_ptr<THXTask>& task) { (void)task; }
    // Stops a running task (Status 2).
    virtual void StopTask(const std::shared_ptr<THXTask>& task) { (void)task; }
    // Makes the task (or none) the one the status window and explore view show.
    virtual void ShowTask(const std::shared_ptr<THXTask>& task) { (void)task; }
    // The status window's resource check, run first in every tick.
    virtual void CheckResources() {}
};

// Which task commands are enabled, for the pop-up menu, the main window's task
// menu and the window's buttons alike.
struct TTaskCommands
{
    bool Edit = false;
    bool Delete = false;
    bool Run = false;
    bool Schedule = false;
    bool Unschedule = false;
    bool Stop = false;
    bool Explore = false;
    bool Browse = false;
    bool Reports = false;
    bool CopyStartPageURL = false;
    bool CopyLocalStartPageURL = false;

    bool operator==(const TTaskCommands&) const = default;
};

// The enabling rule: the first selected task (or none) and whether a download is
// running (the main window's activity animation is on).
TTaskCommands EnabledCommands(const THXTask* selected, bool downloadRunning);

// What one row of the task list shows.
struct TTaskRow
{
    static constexpr int kColumnCount = 12;
    // "Task Name", "Start Page Title", "Status", "Schedule", "Last Run", "Next Run",
    // "Pages", "Resources", "Errors", "Starting URL", "Destination", "Download Method".
    std::array<std::string, kColumnCount> Columns;
    // 0 run icon, 1 stop icon, 2 scheduled icon.
    int StateIcon = 0;
    // Text colour as 0xRRGGBB.
    unsigned TextColor = 0;
};

inline constexpr std::array<std::string_view, TTaskRow::kColumnCount> kTaskColumnCaptions = {
    "Task Name", "Start Page Title", "Status", "Schedule",     "Last Run",    "Next Run",
    "Pages",     "Resources",        "Errors", "Starting URL", "Destination", "Download Method"};
// "Last Run" and "Next Run" are wide enough for a whole short date and long time in
// the desktop's fonts ("12/10/2026 10:05:31 AM"); narrower, they cut the date.
inline constexpr std::array<int, TTaskRow::kColumnCount> kTaskColumnWidths = {100, 200, 100, 80,  150, 150,
                                                                              50,  65,  50,  200, 200, 200};

TTaskRow TaskRow(const THXTask& task);

// A date-time as the list's "Last Run" and "Next Run" columns show it: short date,
// a blank and the long time (no time at exactly midnight); empty for 0 or less.
std::string ListDateTime(TDateTime value);

// The hint of a task: name, URL and destination; after a run also the elapsed time
// and the page and resource counts. Lines are separated by LF.
std::string TaskHint(const THXTask& task);

// The hint over a state icon: "Run", "Stop" or "Scheduled".
std::string StateIconHint(int stateIcon);

// The start page's local file, as offline browsing and "Start Page URL (local)" use
// it: below Destination for an intranet task, below the temporary folder for a Zip task.
std::string LocalStartPage(THXTask& task);

// True for a Zip task whose archive is missing: offline browsing and the report
// commands then ask kZipMissingQuestion instead (Yes runs the task).
bool ZipResultMissing(const THXTask& task);

inline constexpr std::string_view kZipMissingQuestion =
    "This task has not been run, or its resulting Zip file no longer exists. Run it now?";
inline constexpr std::string_view kDeleteQuestion = "Are you sure you want to delete the selected Task/s? ";

// "New Folder", or "New Folder (2)", "(3)" ... when the name is taken in the parent folder.
std::string NewCategoryName(const std::string& parentFolder);

// A run state (2, 3 or 5) left in the file of a task that is neither the runner's
// current task nor active: no run of it can be going on, and the list shows it as
// 4 "Incomplete".
bool IsStaleRunStatus(int status);

class THXScheduler
{
public:
    // The clock and the app must outlive the scheduler.
    THXScheduler(THXApp& app, const THXClock& clock);
    ~THXScheduler();
    THXScheduler(const THXScheduler&) = delete;
    THXScheduler& operator=(const THXScheduler&) = delete;

    // The runner to hand due tasks to; null detaches it.
    void SetRunner(THXTaskRunnerLink* runner);
    // Called at the end of every Save of a task this scheduler created or added
    // (the window refreshes the task's row and, when it is selected, the commands).
    void SetOnTaskChanged(std::function<void(THXTask&)> handler);

    // --- Active tasks and the tick ---

    // Replaces the active-task list by the lines of "ActiveTasks.lst" (nothing when
    // the file is missing) and loads each task. A task whose run was interrupted
    // (Status 2 to 5) becomes 4 "Incomplete" with its schedule cleared and is saved,
    // which takes it off the list; the others stay loaded. Repeated paths are listed once.
    // A listed file that is no task file (see THXTask::Load) keeps its entry without a
    // task object and is named in the problems returned. `stopRequested`, asked
    // before each task file, ends the loading early (the rest stay unloaded).
    std::vector<std::string> LoadActiveTasks(const std::function<bool()>& stopRequested = {});

    // --- Tasks another process runs (each run holds the task's lock, HXTaskLock.h) ---

    // The process running the task elsewhere as last seen, 0 when none is.
    int RunsElsewhere(const THXTask& task) const;
    // Looks at the locks of the shown and active tasks (the tick does, once a
    // second). A task whose run elsewhere began or ended is read again from its file
    // and reported to the change handler, so its row follows the other process.
    void PollElsewhere();

    // Reads "ActiveTasks.lst" again when another process has changed it (the tick
    // does): tasks it lists anew are loaded, tasks it no longer lists leave the list
    // unless this process runs them.
    void PickUpActiveTasks();

    // The first task of the active-task list, in list order, that is due now and
    // not run by another process.
    std::shared_ptr<THXTask> FindDueTask(TDateTime now) const;
    std::shared_ptr<THXTask> FindDueTask() const { return FindDueTask(m_clock.Now()); }

    // Whether any task is running (Status 2 or 5): a shown task, an active task or
    // the runner's current task. The runner must never be started while one is.
    bool IsTaskRunning() const;
    // The first running task after `after` (from the start when null), looking at
    // the shown tasks, then the other active tasks, then the current task.
    std::shared_ptr<THXTask> FindRunningTask(const THXTask* after = nullptr) const;

    // The tick body, run on the owner thread once a second: the resource check,
    // PickUpActiveTasks and PollElsewhere; nothing more while a task runs; else the first due task is
    // started, when its file (which another process may have changed by running it)
    // still says it is due. Returns
    // the task started, if any (at most one per tick).
    std::shared_ptr<THXTask> Tick();
    std::shared_ptr<THXTask> Tick(TDateTime now);

    // Called by the runner when a run has ended; see Reschedule in HXSchedule.h.
    bool Reschedule(THXTask& task);

    // --- What the list shows ---

    // Lists the task files of a category (a folder path relative to the Tasks
    // folder; "General" when empty), which becomes "Last Category". The runner's
    // current task and active tasks are shown as their objects; other tasks are
    // loaded, and a stale run state (2, 3 or 5) becomes 4 "Incomplete" and is saved.
    // A file that is no task file is listed with the task defaults (and never saved).
    const std::vector<std::shared_ptr<THXTask>>& ShowCategory(const std::string& category);
    // Lists the active tasks in list order.
    const std::vector<std::shared_ptr<THXTask>>& ShowActiveTasks();
    const std::vector<std::shared_ptr<THXTask>>& ShownTasks() const { return m_shown; }
    // Empties the list; each task's row link is reset.
    void ClearShown();
    // A task object for the file, loaded, with the change handler set (tasks opened
    // from the command line or created by the editor).
    std::shared_ptr<THXTask> CreateTask(const std::string& fileName);

    // --- Commands ---

    // Sets the change handler, saves the task and lists it when it is not listed yet.
    void AddTask(const std::shared_ptr<THXTask>& task);

    // Asked for a task whose queue holds entries: the run dialog's choice of RunMode,
    // or nothing for Cancel.
    using TRunModeChooser = std::function<std::optional<int>(THXTask& task)>;
    // Run for one task: loads its queue from the queue file when it is not in memory;
    // when the queue has entries, asks the chooser (Cancel leaves the task unchanged,
    // result false; without a chooser RunMode is kept); then Status 1, schedule
    // "Now", saved. A damaged queue file
    // throws EConvertError before anything changes.
    bool QueueTaskRun(const std::shared_ptr<THXTask>& task, const TRunModeChooser& chooseRunMode);
    // Run for each task in turn; returns how many were queued.
    int RunTasks(const std::vector<std::shared_ptr<THXTask>>& tasks, const TRunModeChooser& chooseRunMode);
    // Stop: the runner stops each task whose Status is 2.
    void StopTasks(const std::vector<std::shared_ptr<THXTask>>& tasks);
    // Schedule: the dialog's results; Status 1, saved.
    void ScheduleTask(THXTask& task, const std::string& scheduleText, TDateTime nextRun);
    // Unschedule: Status 0, empty schedule, NextRun 0, saved.
    void UnscheduleTasks(const std::vector<std::shared_ptr<THXTask>>& tasks);

    // Moves the given files to the recycle bin (or deletes them); false when the
    // user aborted the operation.
    using TFileRemover = std::function<bool(const std::vector<std::string>& paths)>;
    // Delete, after the user answered kDeleteQuestion with Yes: for each task, its
    // queue file and task file (where they exist) go to the remover; unless it was
    // aborted, the task leaves the current task (the runner shows none), the
    // active-task list and the shown list. A running task (Status 2) is skipped: its
    // files are in use. Returns the tasks deleted, whose rows the window removes.
    std::vector<std::shared_ptr<THXTask>> DeleteTasks(const std::vector<std::shared_ptr<THXTask>>& tasks,
                                                      const TFileRemover& removeFiles);
    // Renames a category folder (a path relative to the Tasks folder) to `newName`
    // in the same parent. The task objects held for its tasks (active, shown,
    // current) follow, "ActiveTasks.lst" and "Last Category" too. Refused, with the
    // reason returned, for a name that is empty, holds "/" or is taken, and while a
    // task of the category runs. "" on success.
    std::string RenameCategory(const std::string& category, const std::string& newName);

    // An archive file was renamed: every task saved to it (held objects and task
    // files of every category) takes the new path and is saved. Returns how many.
    int MoveArchiveDestination(const std::string& oldPath, const std::string& newPath);

    // Explore: the runner shows the task.
    void ExploreTask(const std::shared_ptr<THXTask>& task);

    // Removes the files with std::filesystem (for tools without a recycle bin).
    static bool RemoveFiles(const std::vector<std::string>& paths);

private:
    // A task object for the file with the change handler set, loaded unless told not to.
    std::shared_ptr<THXTask> NewTask(const std::string& fileName, bool load = true);
    std::shared_ptr<THXTask> ActiveTask(const std::string& fileName) const;
    void DropActive(const THXTask& task);
    void DropShown(const THXTask& task);
    // Reads the task's file again (false when it cannot be read now).
    bool RefreshFromFile(THXTask& task);
    bool StillDueOnDisk(THXTask& task, TDateTime now);

    THXApp& m_app;
    const THXClock& m_clock;
    THXTaskRunnerLink m_noRunner;
    THXTaskRunnerLink* m_runner = &m_noRunner;
    // Shared with every task's OnChange, so a task that outlives the scheduler
    // calls nothing that is gone.
    std::shared_ptr<std::function<void(THXTask&)>> m_onTaskChanged;
    std::vector<std::shared_ptr<THXTask>> m_shown;
    // Task file -> id of the process running it.
    std::unordered_map<std::string, int> m_elsewhere;
};

} // namespace hx
