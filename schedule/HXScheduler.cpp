#include "schedule/HXScheduler.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "core/HXTaskLock.h"
#include "core/HXURL.h"

namespace hx
{

namespace
{

constexpr unsigned kColorOlive = 0x808000;
constexpr unsigned kColorGrey = 0x808080;
constexpr unsigned kColorNavy = 0x000080;

bool IsRunningStatus(int status)
{
    return status == kStatusDownloading || status == kStatusComplete;
}

std::string Difference(std::int64_t a, std::int64_t b)
{
    return std::to_string(a - b);
}

} // namespace

TTaskCommands EnabledCommands(const THXTask* selected, bool downloadRunning)
{
    TTaskCommands commands;
    if (selected == nullptr)
        return commands;
    commands.Reports = true;
    commands.Explore = true;
    commands.Browse = true;
    commands.CopyStartPageURL = true;
    commands.CopyLocalStartPageURL = selected->IntranetMode;
    switch (selected->Status)
    {
    case kStatusUnscheduled:
    case kStatusStopped:
    case kStatusIncomplete:
    case kStatusZipped:
    case kStatusTaskComplete:
        commands.Run = true;
        commands.Schedule = true;
        commands.Delete = true;
        commands.Edit = true;
        break;
    case kStatusScheduled:
        commands.Unschedule = true;
        break;
    case kStatusDownloading:
        commands.Stop = true;
        break;
    default:
        break;
    }
    if (downloadRunning)
        commands.Explore = false;
    return commands;
}

std::string ListDateTime(TDateTime value)
{
    if (value <= 0)
        return {};
    const TDateParts parts = DecodeDateTime(value);
    std::string text = FormatShortDate(value);
    if (parts.hour != 0 || parts.minute != 0 || parts.second != 0)
        text += " " + FormatLongTime(value);
    return text;
}

TTaskRow TaskRow(const THXTask& task)
{
    TTaskRow row;
    // Local paths keep "/" here: the Destination column shows the destination as typed.
    row.Columns = {task.Name,
                   task.StartPageTitle,
                   StatusText(task.Status),
                   task.Schedule,
                   ListDateTime(task.LastRun),
                   ListDateTime(task.NextRun),
                   std::to_string(task.PagesSaved) + "/" + std::to_string(task.TotalPages),
                   std::to_string(task.ResourcesSaved) + "/" + std::to_string(task.TotalResources),
                   std::to_string(std::int64_t{task.PageErrors} + task.ResourceErrors),
                   task.URL,
                   task.Destination,
                   task.Profile.Name};
    if (task.Status == kStatusDownloading)
        row.StateIcon = 1;
    else if (task.Status == kStatusScheduled)
        row.StateIcon = 2;
    if (task.Status == kStatusDownloading)
        row.TextColor = kColorOlive;
    else if (task.Status <= kStatusIncomplete)
        row.TextColor = kColorGrey;
    else
        row.TextColor = kColorNavy;
    return row;
}

std::string TaskHint(const THXTask& task)
{
    std::string hint = "Task Name: " + task.Name + "\nURL: " + task.URL + "\nDestination: " + task.Destination;
    if (task.ElapsedTime == 0)
        return hint;
    hint += "\n\n\nElapsed Time: " + FormatDuration(task.ElapsedTime);
    hint += "\n\nPages:\n    " + Difference(task.PagesSaved, task.PageErrors) + " downloaded\n    " +
            std::to_string(task.PageErrors) + " not found";
    hint += "\n\nResources:\n    " + Difference(task.ResourcesSaved, task.ResourceErrors) + " downloaded\n    " +
            std::to_string(task.ResourceErrors) + " not found";
    return hint;
}

std::string StateIconHint(int stateIcon)
{
    switch (stateIcon)
    {
    case 1:
        return "Stop";
    case 2:
        return "Scheduled";
    default:
        return "Run";
    }
}

std::string LocalStartPage(THXTask& task)
{
    return LocalFileName(task.WorkingFolder(), DirectoryURL(task.URL), task.URL);
}

bool ZipResultMissing(const THXTask& task)
{
    return !task.IntranetMode && !FileExists(task.Destination);
}

std::string NewCategoryName(const std::string& parentFolder)
{
    const std::string folder = IncludeTrailingSlash(parentFolder);
    std::string name = "New Folder";
    for (int number = 2; std::filesystem::exists(folder + name); ++number)
        name = "New Folder (" + std::to_string(number) + ")";
    return name;
}

bool IsStaleRunStatus(int status)
{
    return status == kStatusDownloading || status == kStatusStopped || status == kStatusComplete;
}

THXScheduler::THXScheduler(THXApp& app, const THXClock& clock)
    : m_app(app)
    , m_clock(clock)
    , m_onTaskChanged(std::make_shared<std::function<void(THXTask&)>>())
{
}

THXScheduler::~THXScheduler()
{
    // Tasks may outlive the scheduler (the active-task list holds them): their
    // change handler must not reach a window that is gone.
    *m_onTaskChanged = nullptr;
    ClearShown();
}

void THXScheduler::SetRunner(THXTaskRunnerLink* runner)
{
    m_runner = runner != nullptr ? runner : &m_noRunner;
}

void THXScheduler::SetOnTaskChanged(std::function<void(THXTask&)> handler)
{
    *m_onTaskChanged = std::move(handler);
}

std::shared_ptr<THXTask> THXScheduler::NewTask(const std::string& fileName, bool load)
{
    auto task = std::make_shared<THXTask>(m_app);
    task->FileName = fileName;
    task->OnChange = [handler = m_onTaskChanged](THXTask& changed)
    {
        if (*handler)
            (*handler)(changed);
    };
    if (load)
        task->Load();
    return task;
}

std::shared_ptr<THXTask> THXScheduler::CreateTask(const std::string& fileName)
{
    return NewTask(fileName);
}

std::shared_ptr<THXTask> THXScheduler::ActiveTask(const std::string& fileName) const
{
    for (const TActiveTask& entry : m_app.ActiveTasks)
    {
        if (entry.task && entry.fileName == fileName)
            return entry.task;
    }
    return nullptr;
}

void THXScheduler::DropActive(const THXTask& task)
{
    auto& active = m_app.ActiveTasks;
    const auto end = std::remove_if(active.begin(), active.end(),
                                    [&](const TActiveTask& entry)
                                    { return entry.task.get() == &task || entry.fileName == task.FileName; });
    if (end == active.end())
        return;
    active.erase(end, active.end());
    m_app.SaveActiveTasks();
}

void THXScheduler::DropShown(const THXTask& task)
{
    std::erase_if(m_shown, [&](const std::shared_ptr<THXTask>& shown) { return shown.get() == &task; });
}

std::vector<std::string> THXScheduler::LoadActiveTasks(const std::function<bool()>& stopRequested)
{
    std::vector<std::string> problems;
    std::string text;
    std::string stamp = FileStamp(m_app.ActiveTasksFile());
    if (ReadRegularFile(m_app.ActiveTasksFile(), kMaxActiveListBytes, text) != TFileRead::Read)
        return problems;
    const std::vector<std::string> names = m_app.ReadActiveTaskFile();
    m_app.NoteActiveTasksRead(names, std::move(stamp));
    m_app.ActiveTasks.clear();
    std::string written;
    for (const std::string& name : names)
    {
        m_app.ActiveTasks.push_back({name, nullptr});
        written += name + "\r\n";
    }
    // Repeated paths and other line ends are written back in this program's form.
    if (text != written)
        m_app.SaveActiveTasks();

    for (const std::string& name : names)
    {
        if (stopRequested && stopRequested())
            break;
        try
        {
            std::shared_ptr<THXTask> task = NewTask(name);
            for (TActiveTask& entry : m_app.ActiveTasks)
            {
                if (entry.fileName == name)
                    entry.task = task;
            }
            // A run that was going on when the program ended cannot be continued as it
            // was; a run another process is making goes on there.
            if (const int holder = TaskRunsElsewhere(name); holder != 0)
                m_elsewhere[name] = holder;
            else if (task->Status >= kStatusDownloading && task->Status <= kStatusComplete)
            {
                task->Status = kStatusIncomplete;
                task->Schedule.clear();
                task->Save();
            }
        }
        catch (const std::exception& error)
        {
            problems.emplace_back(error.what());
        }
    }
    return problems;
}

std::shared_ptr<THXTask> THXScheduler::FindDueTask(TDateTime now) const
{
    for (const TActiveTask& entry : m_app.ActiveTasks)
    {
        if (entry.task && !m_elsewhere.contains(entry.fileName) && IsTaskDue(*entry.task, now))
            return entry.task;
    }
    return nullptr;
}

void THXScheduler::PickUpActiveTasks()
{
    if (!m_app.ActiveTasksChangedOnDisk())
        return;
    std::string stamp = FileStamp(m_app.ActiveTasksFile());
    const std::vector<std::string> names = m_app.ReadActiveTaskFile();
    m_app.NoteActiveTasksRead(names, std::move(stamp));
    const std::shared_ptr<THXTask> running = FindRunningTask(nullptr);
    std::vector<TActiveTask> list;
    for (const std::string& name : names)
    {
        const auto held = std::find_if(m_app.ActiveTasks.begin(), m_app.ActiveTasks.end(),
                                       [&](const TActiveTask& entry) { return entry.fileName == name; });
        if (held != m_app.ActiveTasks.end())
        {
            list.push_back(std::move(*held));
            continue;
        }
        // Scheduled by another process: the row shown for it (read again from its
        // file), else loaded as the start-up loads the list.
        TActiveTask entry{name, nullptr};
        const auto shown = std::find_if(m_shown.begin(), m_shown.end(),
                                        [&](const std::shared_ptr<THXTask>& task) { return task->FileName == name; });
        if (shown != m_shown.end() && RefreshFromFile(**shown))
            entry.task = *shown;
        else
        {
            try
            {
                entry.task = NewTask(name);
            }
            catch (const std::exception&)
            {
            }
        }
        if (entry.task && *m_onTaskChanged)
            (*m_onTaskChanged)(*entry.task);
        list.push_back(std::move(entry));
    }
    // A task this process runs stays listed, whatever the other process wrote.
    for (TActiveTask& entry : m_app.ActiveTasks)
        if (running && entry.task == running)
            list.push_back(std::move(entry));
    m_app.ActiveTasks = std::move(list);
}

int THXScheduler::RunsElsewhere(const THXTask& task) const
{
    const auto found = m_elsewhere.find(task.FileName);
    return found == m_elsewhere.end() ? 0 : found->second;
}

void THXScheduler::PollElsewhere()
{
    std::vector<std::shared_ptr<THXTask>> tasks = m_shown;
    for (const TActiveTask& entry : m_app.ActiveTasks)
        if (entry.task && std::find(tasks.begin(), tasks.end(), entry.task) == tasks.end())
            tasks.push_back(entry.task);
    for (const std::shared_ptr<THXTask>& task : tasks)
    {
        const int holder = TaskRunsElsewhere(task->FileName);
        const int known = RunsElsewhere(*task);
        if (holder == known)
            continue;
        if (holder != 0)
            m_elsewhere[task->FileName] = holder;
        else
            m_elsewhere.erase(task->FileName);
        // The other process's saves are what the task is now: its status while it runs,
        // its counters and next run once it has ended.
        if (!RefreshFromFile(*task))
            continue;
        // A process killed in its run left its run state behind: stale, as at start-up.
        if (holder == 0 && IsStaleRunStatus(task->Status) && TaskLockHolder(task->FileName) == 0)
        {
            task->Status = kStatusIncomplete;
            task->Schedule.clear();
            task->Save();
        }
        if (*m_onTaskChanged)
            (*m_onTaskChanged)(*task);
    }
    // Tasks no longer held: forget them.
    std::erase_if(m_elsewhere,
                  [&](const auto& entry)
                  {
                      return std::none_of(tasks.begin(), tasks.end(),
                                          [&](const std::shared_ptr<THXTask>& task)
                                          { return task->FileName == entry.first; });
                  });
}

bool THXScheduler::RefreshFromFile(THXTask& task)
{
    try
    {
        task.Load();
    }
    catch (const std::exception&)
    {
        return false; // a file being replaced or damaged: the next look tries again
    }
    // A queue held here predates the other process's run; the next start reads the file.
    if (m_app.CurrentTask.get() == &task && !IsRunningStatus(task.Status))
        task.ClearQueue();
    return true;
}

bool THXScheduler::StillDueOnDisk(THXTask& task, TDateTime now)
{
    // Another process may have run the task since this one read it: what its file
    // says now decides, so two schedulers never run one due task twice. A file no
    // other program has written since this one read or saved it says nothing new,
    // and changes made here and not saved yet stand; nor does a task not written yet.
    const std::string stamp = FileStamp(task.FileName);
    if (stamp.empty() || stamp == task.FileStampSeen())
        return true;
    THXTask onDisk(m_app);
    onDisk.FileName = task.FileName;
    try
    {
        onDisk.Load();
    }
    catch (const std::exception&)
    {
        return true; // unreadable now: the start reports it
    }
    // The file keeps whole seconds.
    constexpr double kSecond = 1.0 / 86400.0;
    if (onDisk.Status == task.Status && std::abs(onDisk.NextRun - task.NextRun) < kSecond &&
        onDisk.Schedule == task.Schedule)
        return true;
    if (!RefreshFromFile(task))
        return false;
    if (*m_onTaskChanged)
        (*m_onTaskChanged)(task);
    return IsTaskDue(task, now);
}

bool THXScheduler::IsTaskRunning() const
{
    return FindRunningTask(nullptr) != nullptr;
}

std::shared_ptr<THXTask> THXScheduler::FindRunningTask(const THXTask* after) const
{
    // Shown tasks first, as the list shows them; then the tasks the list does not show.
    std::vector<std::shared_ptr<THXTask>> candidates = m_shown;
    auto add = [&](const std::shared_ptr<THXTask>& task)
    {
        if (task && std::find(candidates.begin(), candidates.end(), task) == candidates.end())
            candidates.push_back(task);
    };
    for (const TActiveTask& entry : m_app.ActiveTasks)
        add(entry.task);
    add(m_app.CurrentTask);

    auto from = candidates.begin();
    if (after != nullptr)
    {
        const auto found = std::find_if(candidates.begin(), candidates.end(),
                                        [&](const std::shared_ptr<THXTask>& task) { return task.get() == after; });
        if (found != candidates.end())
            from = std::next(found);
    }
    // A task another process runs keeps its status from there but is not running here.
    const auto running = std::find_if(from, candidates.end(),
                                      [this](const std::shared_ptr<THXTask>& task)
                                      { return IsRunningStatus(task->Status) && RunsElsewhere(*task) == 0; });
    return running == candidates.end() ? nullptr : *running;
}

std::shared_ptr<THXTask> THXScheduler::Tick()
{
    return Tick(m_clock.Now());
}

std::shared_ptr<THXTask> THXScheduler::Tick(TDateTime now)
{
    m_runner->CheckResources();
    PickUpActiveTasks();
    PollElsewhere();
    if (IsTaskRunning())
        return nullptr;
    std::shared_ptr<THXTask> task = FindDueTask(now);
    if (task && !StillDueOnDisk(*task, now))
        return nullptr;
    if (task)
        m_runner->StartTask(task);
    return task;
}

bool THXScheduler::Reschedule(THXTask& task)
{
    return hx::Reschedule(task, m_clock.Now());
}

void THXScheduler::ClearShown()
{
    for (const std::shared_ptr<THXTask>& task : m_shown)
        task->SchedulerRow = nullptr;
    m_shown.clear();
}

const std::vector<std::shared_ptr<THXTask>>& THXScheduler::ShowCategory(const std::string& category)
{
    const std::string current = category.empty() ? std::string("General") : category;
    m_app.SetLastCategory(current);
    ClearShown();
    const std::string folder = IncludeTrailingSlash(m_app.TasksFolder() + current);
    for (const std::string& name : ListFiles(folder, "*.hxt"))
    {
        const std::string path = folder + name;
        if (m_app.CurrentTask && m_app.CurrentTask->FileName == path)
        {
            m_shown.push_back(m_app.CurrentTask);
            continue;
        }
        if (std::shared_ptr<THXTask> active = ActiveTask(path))
        {
            m_shown.push_back(active);
            continue;
        }
        std::shared_ptr<THXTask> task;
        try
        {
            task = NewTask(path);
        }
        catch (const EFileError&)
        {
            // Listed as a task with its defaults, like a file that cannot be read;
            // saving it is refused, so the file stays as it is.
            task = NewTask(path, false);
            task->Name = name.substr(0, name.size() - ExtractFileExt(name).size());
            m_shown.push_back(task);
            continue;
        }
        // Neither current nor active, so no run of it can be going on here: a run
        // state left in its file is stale, unless another process is running it.
        // (Status 2 counts too, or the stale task would keep every other task from
        // starting.)
        if (const int holder = TaskRunsElsewhere(path); holder != 0)
            m_elsewhere[path] = holder;
        else if (IsStaleRunStatus(task->Status))
        {
            task->Status = kStatusIncomplete;
            task->Save();
        }
        m_shown.push_back(task);
    }
    PollElsewhere();
    return m_shown;
}

const std::vector<std::shared_ptr<THXTask>>& THXScheduler::ShowActiveTasks()
{
    ClearShown();
    for (const TActiveTask& entry : m_app.ActiveTasks)
    {
        if (entry.task)
            m_shown.push_back(entry.task);
    }
    PollElsewhere();
    return m_shown;
}

void THXScheduler::AddTask(const std::shared_ptr<THXTask>& task)
{
    task->OnChange = [handler = m_onTaskChanged](THXTask& changed)
    {
        if (*handler)
            (*handler)(changed);
    };
    task->Save();
    if (std::find(m_shown.begin(), m_shown.end(), task) == m_shown.end())
        m_shown.push_back(task);
}

bool THXScheduler::QueueTaskRun(const std::shared_ptr<THXTask>& task, const TRunModeChooser& chooseRunMode)
{
    THXTask& run = *task;
    if (TaskRunsElsewhere(run.FileName) != 0)
        return false; // the other process's saves own the task file now
    if (run.QueueLineCount() == 0 && FileExists(run.QueueFileName()))
        run.LoadQueue();
    if (run.QueueLineCount() > 0 && chooseRunMode)
    {
        const std::optional<int> runMode = chooseRunMode(run);
        if (!runMode)
            return false;
        run.RunMode = *runMode;
    }
    run.Status = kStatusScheduled;
    run.Schedule = std::string(kScheduleNow);
    run.Save();
    return true;
}

int THXScheduler::RunTasks(const std::vector<std::shared_ptr<THXTask>>& tasks, const TRunModeChooser& chooseRunMode)
{
    int queued = 0;
    for (const std::shared_ptr<THXTask>& task : tasks)
    {
        if (task && QueueTaskRun(task, chooseRunMode))
            ++queued;
    }
    return queued;
}

void THXScheduler::StopTasks(const std::vector<std::shared_ptr<THXTask>>& tasks)
{
    for (const std::shared_ptr<THXTask>& task : tasks)
    {
        if (task && task->Status == kStatusDownloading && RunsElsewhere(*task) == 0)
            m_runner->StopTask(task);
    }
}

void THXScheduler::ScheduleTask(THXTask& task, const std::string& scheduleText, TDateTime nextRun)
{
    task.Status = kStatusScheduled;
    task.Schedule = scheduleText;
    task.NextRun = nextRun;
    task.Save();
}

void THXScheduler::UnscheduleTasks(const std::vector<std::shared_ptr<THXTask>>& tasks)
{
    for (const std::shared_ptr<THXTask>& task : tasks)
    {
        if (!task || TaskRunsElsewhere(task->FileName) != 0)
            continue;
        task->Status = kStatusUnscheduled;
        task->Schedule.clear();
        task->NextRun = 0;
        task->Save();
    }
}

std::vector<std::shared_ptr<THXTask>> THXScheduler::DeleteTasks(const std::vector<std::shared_ptr<THXTask>>& tasks,
                                                                const TFileRemover& removeFiles)
{
    std::vector<std::shared_ptr<THXTask>> deleted;
    for (const std::shared_ptr<THXTask>& task : tasks)
    {
        if (!task || IsRunningStatus(task->Status) || TaskRunsElsewhere(task->FileName) != 0)
            continue;
        std::vector<std::string> paths;
        const std::string queueFile = task->QueueFileName();
        if (FileExists(queueFile))
            paths.push_back(queueFile);
        const std::string linkBookFile = task->LinkBookFileName();
        if (FileExists(linkBookFile))
            paths.push_back(linkBookFile);
        const std::string cookieFile = task->CookieFileName();
        if (FileExists(cookieFile))
            paths.push_back(cookieFile);
        if (FileExists(task->FileName))
            paths.push_back(task->FileName);
        if (!paths.empty() && !removeFiles(paths))
            continue;
        if (m_app.CurrentTask == task)
        {
            m_runner->ShowTask(nullptr);
            if (m_app.CurrentTask == task)
                m_app.CurrentTask.reset();
        }
        // A scheduled task deleted with the others must not stay in the list, where
        // the tick would start a task whose files are gone.
        DropActive(*task);
        DropShown(*task);
        task->OnChange = nullptr;
        deleted.push_back(task);
    }
    return deleted;
}

void THXScheduler::ExploreTask(const std::shared_ptr<THXTask>& task)
{
    m_runner->ShowTask(task);
}

int THXScheduler::MoveArchiveDestination(const std::string& oldPath, const std::string& newPath)
{
    namespace fs = std::filesystem;
    int moved = 0;
    const auto follow = [&](THXTask& task)
    {
        if (task.IntranetMode || task.Destination != oldPath)
            return;
        task.Destination = newPath;
        task.Save();
        ++moved;
    };
    // The objects held in memory first: a task file of theirs is written by them.
    std::vector<std::string> held;
    const auto hold = [&](const std::shared_ptr<THXTask>& task)
    {
        if (task && std::find(held.begin(), held.end(), task->FileName) == held.end())
        {
            held.push_back(task->FileName);
            follow(*task);
        }
    };
    hold(m_app.CurrentTask);
    for (const TActiveTask& entry : m_app.ActiveTasks)
        hold(entry.task);
    for (const std::shared_ptr<THXTask>& task : m_shown)
        hold(task);
    std::error_code error;
    for (fs::recursive_directory_iterator it(m_app.TasksFolder(), error), end; !error && it != end; it.increment(error))
    {
        const std::string path = it->path().string();
        if (!it->is_regular_file(error) || LowerCase(ExtractFileExt(path)) != ".hxt" ||
            std::find(held.begin(), held.end(), path) != held.end())
            continue;
        try
        {
            THXTask task(m_app);
            task.FileName = path;
            task.Load();
            follow(task);
        }
        catch (const std::exception&)
        {
            // A file that is no task file is left as it is.
        }
    }
    return moved;
}

std::string THXScheduler::RenameCategory(const std::string& category, const std::string& newName)
{
    namespace fs = std::filesystem;
    if (newName.empty() || newName == "." || newName == ".." || newName.find('/') != std::string::npos)
        return "A category name cannot be empty or hold \"/\".";
    const std::string tasksFolder = m_app.TasksFolder();
    const std::string oldFolder = IncludeTrailingSlash(tasksFolder + category);
    const std::size_t slash = category.rfind('/');
    const std::string parent = slash == std::string::npos ? std::string() : category.substr(0, slash + 1);
    const std::string renamed = parent + newName;
    const std::string newFolder = IncludeTrailingSlash(tasksFolder + renamed);
    std::error_code error;
    if (fs::exists(tasksFolder + renamed, error))
        return "A category named \"" + newName + "\" already exists.";

    // Every task object the program holds for a file of the category.
    std::vector<std::shared_ptr<THXTask>> held;
    const auto hold = [&](const std::shared_ptr<THXTask>& task)
    {
        if (task && task->FileName.starts_with(oldFolder) && std::find(held.begin(), held.end(), task) == held.end())
            held.push_back(task);
    };
    for (const TActiveTask& entry : m_app.ActiveTasks)
        hold(entry.task);
    for (const std::shared_ptr<THXTask>& task : m_shown)
        hold(task);
    hold(m_app.CurrentTask);
    for (const std::shared_ptr<THXTask>& task : held)
        if (IsRunningStatus(task->Status))
            return "The category \"" + category + "\" holds a running task: stop it first.";

    fs::rename(tasksFolder + category, tasksFolder + renamed, error);
    if (error)
        return "Unable to rename the category to " + renamed + ": " + error.message();
    const auto moved = [&](const std::string& path) { return newFolder + path.substr(oldFolder.size()); };
    for (const std::shared_ptr<THXTask>& task : held)
    {
        task->FileName = moved(task->FileName);
        // The category is the task file's folder below the Tasks folder.
        std::string folder = ExtractFilePath(task->FileName).substr(tasksFolder.size());
        if (!folder.empty() && folder.back() == '/')
            folder.pop_back();
        task->Category = folder;
    }
    bool listChanged = false;
    for (TActiveTask& entry : m_app.ActiveTasks)
        if (entry.fileName.starts_with(oldFolder))
        {
            entry.fileName = moved(entry.fileName);
            listChanged = true;
        }
    if (listChanged)
        m_app.SaveActiveTasks();
    const std::string last = m_app.LastCategory();
    if (last == category || last.starts_with(category + "/"))
        m_app.SetLastCategory(renamed + last.substr(category.size()));
    return {};
}

bool THXScheduler::RemoveFiles(const std::vector<std::string>& paths)
{
    bool removed = true;
    for (const std::string& path : paths)
    {
        std::error_code error;
        std::filesystem::remove(path, error);
        if (error)
            removed = false;
    }
    return removed;
}

} // namespace hx
