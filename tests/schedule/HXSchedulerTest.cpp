#include "schedule/HXScheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "core/HXTaskLock.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

const TDateTime kNoon = EncodeDateTime({2024, 3, 12, 12, 0, 0});

class TManualClock final : public THXClock
{
public:
    TDateTime Now() const override { return now; }
    TDateTime now = kNoon;
};

// Does what the task runner does to the task lists, and records the calls.
class TFakeRunner final : public THXTaskRunnerLink
{
public:
    explicit TFakeRunner(THXApp& app)
        : m_app(app)
    {
    }
    void StartTask(const std::shared_ptr<THXTask>& task) override
    {
        started.push_back(task->Name);
        m_app.CurrentTask = task;
        task->Status = kStatusDownloading;
        task->Save();
    }
    void StopTask(const std::shared_ptr<THXTask>& task) override { stopped.push_back(task->Name); }
    void ShowTask(const std::shared_ptr<THXTask>& task) override
    {
        shown.push_back(task ? task->Name : "(none)");
        m_app.CurrentTask = task;
    }
    void CheckResources() override { ++resourceChecks; }

    std::vector<std::string> started;
    std::vector<std::string> stopped;
    std::vector<std::string> shown;
    int resourceChecks = 0;

private:
    THXApp& m_app;
};

class HXSchedulerTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
        runner = std::make_unique<TFakeRunner>(*app);
        scheduler = std::make_unique<THXScheduler>(*app, clock);
        scheduler->SetRunner(runner.get());
    }

    void TearDown() override
    {
        scheduler.reset();
        app->ActiveTasks.clear();
        app->CurrentTask.reset();
        test::THXSandboxTest::TearDown();
    }

    // Writes a task file directly (not through a shared object), as an earlier session left it.
    std::string WriteTask(const std::string& name, int status, const std::string& schedule = "", TDateTime nextRun = 0,
                          const std::string& category = "General")
    {
        THXTask task(*app);
        task.Name = name;
        task.FileName = app->TasksFolder() + category + "/" + name + ".hxt";
        task.URL = "http://example.com/" + name + "/";
        task.Destination = Home().Folder() + "Downloads/" + name + ".zip";
        task.Status = kStatusUnscheduled;
        task.Schedule = schedule;
        task.NextRun = nextRun;
        task.Save();
        // Set the status without Save's list upkeep, as a crash would leave it.
        std::string text = LoadTextFile(task.FileName);
        const std::string from = "Status=0";
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos);
        text.replace(at, from.size(), "Status=" + std::to_string(status));
        EXPECT_TRUE(WriteFileAtomic(task.FileName, text));
        return task.FileName;
    }

    void WriteActiveList(const std::vector<std::string>& paths)
    {
        std::string text;
        for (const std::string& path : paths)
            text += path + "\r\n";
        ASSERT_TRUE(WriteFileAtomic(app->ActiveTasksFile(), text));
    }

    std::shared_ptr<THXTask> Loaded(const std::string& path)
    {
        auto task = std::make_shared<THXTask>(*app);
        task->FileName = path;
        task->Load();
        return task;
    }

    std::vector<std::string> ActiveNames() const
    {
        std::vector<std::string> names;
        for (const TActiveTask& entry : app->ActiveTasks)
            names.push_back(entry.task ? entry.task->Name : "(not loaded)");
        return names;
    }

    TManualClock clock;
    std::unique_ptr<THXApp> app;
    std::unique_ptr<TFakeRunner> runner;
    std::unique_ptr<THXScheduler> scheduler;
};

TEST_F(HXSchedulerTest, LoadingActiveTasksMarksInterruptedRunsIncomplete)
{
    scheduler->LoadActiveTasks();
    EXPECT_TRUE(app->ActiveTasks.empty()) << "no list file: an empty list";

    const std::string broken = WriteTask("Broken", kStatusDownloading, "Now");
    const std::string waiting = WriteTask("Waiting", kStatusScheduled, "Daily at 08:00:00", kNoon + 1);
    const std::string finishing = WriteTask("Finishing", kStatusComplete, "Now");
    WriteActiveList({broken, waiting, finishing, waiting});

    int changes = 0;
    scheduler->SetOnTaskChanged([&](THXTask&) { ++changes; });
    scheduler->LoadActiveTasks();

    EXPECT_EQ(ActiveNames(), std::vector<std::string>{"Waiting"});
    EXPECT_EQ(LoadTextFile(app->ActiveTasksFile()), waiting + "\r\n");
    EXPECT_EQ(Loaded(broken)->Status, kStatusIncomplete);
    EXPECT_EQ(Loaded(broken)->Schedule, "");
    EXPECT_EQ(Loaded(finishing)->Status, kStatusIncomplete);
    EXPECT_EQ(Loaded(waiting)->Status, kStatusScheduled);
    EXPECT_EQ(changes, 2) << "each saved task reports its change";
    ASSERT_TRUE(app->ActiveTasks[0].task);
    EXPECT_EQ(app->ActiveTasks[0].task->Schedule, "Daily at 08:00:00");
}

TEST_F(HXSchedulerTest, ActiveListAcceptsEitherLineEndAndTellsCaseApart)
{
    const std::string upper = WriteTask("Site", kStatusScheduled, "Now");
    const std::string lower = WriteTask("site", kStatusScheduled, "Daily at 08:00:00", kNoon + 1);
    const std::string last = WriteTask("Last", kStatusScheduled, "Now");
    Home().WriteFile("Tasks/ActiveTasks.lst", upper + "\n" + lower + "\r\n" + last);
    scheduler->LoadActiveTasks();
    EXPECT_EQ(ActiveNames(), (std::vector<std::string>{"Site", "site", "Last"}));
    EXPECT_EQ(LoadTextFile(app->ActiveTasksFile()), upper + "\r\n" + lower + "\r\n" + last + "\r\n");

    // Completing one of the two leaves the other scheduled.
    std::shared_ptr<THXTask> first = app->ActiveTasks[0].task;
    first->Status = kStatusTaskComplete;
    first->Save();
    EXPECT_EQ(ActiveNames(), (std::vector<std::string>{"site", "Last"}));
    const auto& shown = scheduler->ShowCategory("General");
    ASSERT_EQ(shown.size(), 3u);
    for (const std::shared_ptr<THXTask>& task : shown)
    {
        if (task->FileName == lower)
        {
            EXPECT_EQ(task, app->ActiveTasks[0].task) << "site.hxt is the active object";
        }
        else if (task->FileName == upper)
        {
            EXPECT_NE(task, app->ActiveTasks[0].task);
        }
    }
}

TEST_F(HXSchedulerTest, ListedFilesThatAreNoTaskFilesAreSkippedAndLoadingCanStop)
{
    const std::string first = WriteTask("First", kStatusScheduled, "Now");
    const std::string empty = Home().WriteFile("Tasks/General/Empty.hxt", "");
    const std::string last = WriteTask("Last", kStatusScheduled, "Now");
    WriteActiveList({"/dev/zero", first, empty, last});

    const std::vector<std::string> problems = scheduler->LoadActiveTasks();
    EXPECT_EQ(ActiveNames(), (std::vector<std::string>{"(not loaded)", "First", "(not loaded)", "Last"}));
    EXPECT_EQ(problems,
              (std::vector<std::string>{"'/dev/zero' is not a task file", "'" + empty + "' is not a task file"}));
    EXPECT_EQ(Home().ReadFile("Tasks/General/Empty.hxt"), "");
    EXPECT_EQ(scheduler->FindDueTask(kNoon), app->ActiveTasks[1].task);

    // The category still lists every file; the one that is no task file shows its
    // name and cannot be rewritten through the list.
    const auto& shown = scheduler->ShowCategory("General");
    ASSERT_EQ(shown.size(), 3u);
    const auto emptyTask =
        std::find_if(shown.begin(), shown.end(), [&](const auto& task) { return task->FileName == empty; });
    ASSERT_NE(emptyTask, shown.end());
    EXPECT_EQ((*emptyTask)->Name, "Empty");
    EXPECT_THROW(scheduler->QueueTaskRun(*emptyTask, {}), EFileError);
    EXPECT_EQ(Home().ReadFile("Tasks/General/Empty.hxt"), "");

    // A stop request ends the loading between two task files.
    app->ActiveTasks.clear();
    int asked = 0;
    scheduler->LoadActiveTasks([&] { return ++asked > 2; });
    EXPECT_EQ(ActiveNames(), (std::vector<std::string>{"(not loaded)", "First", "(not loaded)", "(not loaded)"}));
}

TEST_F(HXSchedulerTest, TickStartsOneDueTaskInListOrderAndNoneWhileOneRuns)
{
    const std::string later = WriteTask("Later", kStatusScheduled, "Once at 3/12/2024  13:00:00", kNoon + 1.0 / 24);
    const std::string first = WriteTask("First", kStatusScheduled, "Once at 3/12/2024  11:00:00", kNoon - 1.0 / 24);
    const std::string second = WriteTask("Second", kStatusScheduled, "Now");
    WriteActiveList({later, first, second});
    scheduler->LoadActiveTasks();

    EXPECT_EQ(scheduler->FindDueTask()->Name, "First");
    EXPECT_EQ(scheduler->Tick()->Name, "First");
    EXPECT_EQ(runner->started, std::vector<std::string>{"First"});
    EXPECT_EQ(runner->resourceChecks, 1);

    // While it runs (2, then 5 after the download) nothing else starts, though
    // the running task is neither shown nor, at 5, in the active list.
    EXPECT_TRUE(scheduler->IsTaskRunning());
    EXPECT_EQ(scheduler->Tick(), nullptr);
    app->CurrentTask->Status = kStatusComplete;
    app->CurrentTask->Save();
    EXPECT_EQ(ActiveNames(), (std::vector<std::string>{"Later", "Second"}));
    EXPECT_TRUE(scheduler->IsTaskRunning());
    EXPECT_EQ(scheduler->Tick(), nullptr);
    EXPECT_EQ(scheduler->FindRunningTask()->Name, "First");

    app->CurrentTask->Status = kStatusTaskComplete;
    app->CurrentTask->Save();
    EXPECT_FALSE(scheduler->IsTaskRunning());
    EXPECT_EQ(scheduler->Tick()->Name, "Second");
    app->CurrentTask->Status = kStatusTaskComplete;
    app->CurrentTask->Save();

    // "Later" becomes due only when the clock reaches its next run.
    EXPECT_EQ(scheduler->Tick(), nullptr);
    clock.now = kNoon + 1.0 / 24 + 1e-6;
    EXPECT_EQ(scheduler->Tick()->Name, "Later");
    EXPECT_EQ(runner->started, (std::vector<std::string>{"First", "Second", "Later"}));
    EXPECT_EQ(runner->resourceChecks, 6);
}

// Another process holding a task's lock, as its run does; killed by the caller.
pid_t HoldTaskInChild(const std::string& taskFile)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0)
    {
        THXTaskLock lock;
        const char answer = lock.TryAcquire(taskFile) == THXTaskLock::TResult::Acquired ? 'y' : 'n';
        (void)!::write(ready[1], &answer, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char answer = 0;
    const bool held = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
    ::close(ready[0]);
    return held ? child : -1;
}

// Two programs tick over one active list: a due task the other process runs is
// neither started here nor taken for an interrupted run; once that run has ended
// (or when the other process ran it before this one looked), its file decides and
// the task is not run a second time.
TEST_F(HXSchedulerTest, TaskRunByAnotherProcessIsNotStartedTwice)
{
    const std::string due = WriteTask("Due", kStatusDownloading, "Now");
    const std::string other = WriteTask("Other", kStatusScheduled, "Now");
    WriteActiveList({due, other});
    const pid_t holder = HoldTaskInChild(due);
    ASSERT_GT(holder, 0);
    scheduler->LoadActiveTasks();
    const std::shared_ptr<THXTask> task = app->ActiveTasks.front().task;
    ASSERT_TRUE(task);
    EXPECT_EQ(task->Status, kStatusDownloading); // not reset: it runs there
    EXPECT_EQ(scheduler->RunsElsewhere(*task), holder);
    EXPECT_FALSE(scheduler->IsTaskRunning());

    // The other process's run ends: it saves the task as complete, then lets go.
    std::string text = LoadTextFile(due);
    ASSERT_NE(text.find("Status=2"), std::string::npos);
    ASSERT_NE(text.find("Schedule=Now"), std::string::npos);
    text.replace(text.find("Status=2"), 8, "Status=7");
    text.replace(text.find("Schedule=Now"), 12, "Schedule=");
    ASSERT_TRUE(WriteFileAtomic(due, text));
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);

    // This tick starts the other due task, never "Due", which follows its file.
    EXPECT_EQ(scheduler->Tick()->Name, "Other");
    EXPECT_EQ(scheduler->RunsElsewhere(*task), 0);
    EXPECT_EQ(task->Status, kStatusTaskComplete);
    app->CurrentTask->Status = kStatusTaskComplete;
    app->CurrentTask->Save();

    // Run elsewhere after this process last read or saved it: scheduled here,
    // complete in its file.
    task->Status = kStatusScheduled;
    task->Schedule = "Now";
    task->Save();
    text = LoadTextFile(due);
    ASSERT_NE(text.find("Status=1"), std::string::npos);
    text.replace(text.find("Status=1"), 8, "Status=7");
    text.replace(text.find("Schedule=Now"), 12, "Schedule=");
    ASSERT_TRUE(WriteFileAtomic(due, text));
    EXPECT_EQ(scheduler->Tick(), nullptr);
    EXPECT_EQ(task->Status, kStatusTaskComplete);
    EXPECT_EQ(runner->started, std::vector<std::string>{"Other"});
}

TEST_F(HXSchedulerTest, RunQueuesTasksInTheOrderTheyBecameActive)
{
    const std::string a = WriteTask("A", kStatusTaskComplete);
    const std::string b = WriteTask("B", kStatusUnscheduled);
    const std::string c = WriteTask("C", kStatusStopped);
    // B has run before: its queue file holds one item.
    ASSERT_TRUE(WriteFileAtomic(app->TasksFolder() + "General/B.dwn", "http://example.com/B/\r\n5\xB6\xB6HTML\xB6\xB6"
                                                                      "0\xB6\xB6\xB6"
                                                                      "1\xB6\xB6\xB6\xB6\r\n"));
    scheduler->ShowCategory("General");
    ASSERT_EQ(scheduler->ShownTasks().size(), 3u);
    std::vector<std::shared_ptr<THXTask>> selected = scheduler->ShownTasks();
    std::reverse(selected.begin(), selected.end()); // C, B, A

    std::vector<std::string> asked;
    const int queued = scheduler->RunTasks(selected,
                                           [&](THXTask& task) -> std::optional<int>
                                           {
                                               asked.push_back(task.Name);
                                               return kRunSmartUpdate;
                                           });
    EXPECT_EQ(queued, 3);
    EXPECT_EQ(asked, std::vector<std::string>{"B"}) << "only a task with a queue is asked";
    EXPECT_EQ(ActiveNames(), (std::vector<std::string>{"C", "B", "A"}));
    for (const auto& task : selected)
    {
        EXPECT_EQ(task->Status, kStatusScheduled);
        EXPECT_EQ(task->Schedule, "Now");
        EXPECT_EQ(Loaded(task->FileName)->Schedule, "Now");
    }
    EXPECT_EQ(selected[1]->RunMode, kRunSmartUpdate);
    EXPECT_EQ(selected[0]->RunMode, kRunRestart);

    // They run one after another.
    for (const std::string name : {"C", "B", "A"})
    {
        EXPECT_EQ(scheduler->Tick()->Name, name);
        EXPECT_EQ(scheduler->Tick(), nullptr);
        app->CurrentTask->Status = kStatusZipped;
        app->CurrentTask->Save();
    }
    (void)a;
    (void)b;
    (void)c;
}

TEST_F(HXSchedulerTest, RunCancelledInTheDialogLeavesTheTaskAlone)
{
    WriteTask("Done", kStatusTaskComplete);
    ASSERT_TRUE(WriteFileAtomic(app->TasksFolder() + "General/Done.dwn",
                                "http://example.com/Done/\r\n5\xB6\xB6HTML\xB6\xB6"
                                "0\xB6\xB6\xB6"
                                "1\xB6\xB6\xB6\xB6\r\n"));
    const auto task = scheduler->ShowCategory("General").front();
    task->RunMode = kRunRestart;
    EXPECT_FALSE(scheduler->QueueTaskRun(task, [](THXTask&) { return std::optional<int>(); }));
    EXPECT_EQ(task->Status, kStatusTaskComplete);
    EXPECT_EQ(task->RunMode, kRunRestart);
    EXPECT_TRUE(app->ActiveTasks.empty());
    EXPECT_EQ(task->QueueLineCount(), 2) << "the queue was loaded for the dialog";

    // A damaged queue file raises the conversion error before anything changes.
    WriteTask("Damaged", kStatusStopped);
    ASSERT_TRUE(WriteFileAtomic(app->TasksFolder() + "General/Damaged.dwn", "http://x/\r\nabc\xB6\r\n"));
    const auto damaged = scheduler->ShowCategory("General").front();
    ASSERT_EQ(damaged->Name, "Damaged");
    EXPECT_THROW(scheduler->QueueTaskRun(damaged, [](THXTask&) { return std::optional<int>(1); }), EConvertError);
    EXPECT_EQ(damaged->Status, kStatusIncomplete);
}

TEST_F(HXSchedulerTest, CategoryListingSharesObjectsAndRepairsStaleRuns)
{
    const std::string current = WriteTask("Current", kStatusTaskComplete);
    const std::string active = WriteTask("Active", kStatusScheduled, "Now");
    WriteTask("Stopped", kStatusStopped);
    WriteTask("Complete", kStatusComplete);
    WriteTask("Stale", kStatusDownloading);
    WriteTask("Zipped", kStatusZipped);
    WriteTask("Elsewhere", kStatusUnscheduled, "", 0, "Work");
    WriteActiveList({active});
    scheduler->LoadActiveTasks();
    app->CurrentTask = Loaded(current);

    const auto& shown = scheduler->ShowCategory("General");
    std::vector<std::string> names;
    for (const auto& task : shown)
        names.push_back(task->Name);
    EXPECT_EQ(names, (std::vector<std::string>{"Active", "Complete", "Current", "Stale", "Stopped", "Zipped"}));
    EXPECT_EQ(app->LastCategory(), "General");
    EXPECT_EQ(shown[0], app->ActiveTasks[0].task) << "the active task is one object";
    EXPECT_EQ(shown[2], app->CurrentTask) << "the current task is one object";
    EXPECT_EQ(shown[1]->Status, kStatusIncomplete);
    EXPECT_EQ(shown[3]->Status, kStatusIncomplete) << "no run of a task that is neither current nor active";
    EXPECT_EQ(shown[4]->Status, kStatusIncomplete);
    EXPECT_EQ(shown[5]->Status, kStatusZipped);
    EXPECT_EQ(Loaded(shown[4]->FileName)->Status, kStatusIncomplete) << "saved";
    EXPECT_FALSE(scheduler->IsTaskRunning());

    EXPECT_EQ(scheduler->ShowCategory("Work").size(), 1u);
    EXPECT_EQ(app->LastCategory(), "Work");
    EXPECT_EQ(scheduler->ShowActiveTasks().size(), 1u);
    EXPECT_EQ(scheduler->ShownTasks()[0]->Name, "Active");
    EXPECT_TRUE(scheduler->ShowCategory("Missing").empty());
}

TEST_F(HXSchedulerTest, FindRunningTaskLooksAfterTheGivenTask)
{
    WriteTask("One", kStatusUnscheduled);
    WriteTask("Two", kStatusUnscheduled);
    WriteTask("Three", kStatusUnscheduled);
    const auto shown = scheduler->ShowCategory("General"); // One, Three, Two
    shown[0]->Status = kStatusComplete;
    shown[2]->Status = kStatusDownloading;
    EXPECT_EQ(scheduler->FindRunningTask(), shown[0]);
    EXPECT_EQ(scheduler->FindRunningTask(shown[0].get()), shown[2]);
    EXPECT_EQ(scheduler->FindRunningTask(shown[2].get()), nullptr);

    // The runner's current task counts even when the list does not show it.
    shown[0]->Status = kStatusTaskComplete;
    shown[2]->Status = kStatusTaskComplete;
    auto hidden = std::make_shared<THXTask>(*app);
    hidden->Name = "Hidden";
    hidden->Status = kStatusDownloading;
    app->CurrentTask = hidden;
    EXPECT_EQ(scheduler->FindRunningTask(), hidden);
    EXPECT_EQ(scheduler->FindRunningTask(shown[1].get()), hidden);
}

TEST_F(HXSchedulerTest, ScheduleUnscheduleStopAndExplore)
{
    WriteTask("Task", kStatusIncomplete);
    const auto task = scheduler->ShowCategory("General").front();
    scheduler->ScheduleTask(*task, "Daily at 08:00:00", kNoon + 1);
    EXPECT_EQ(ActiveNames(), std::vector<std::string>{"Task"});
    EXPECT_EQ(Loaded(task->FileName)->Schedule, "Daily at 08:00:00");
    EXPECT_NEAR(Loaded(task->FileName)->NextRun, kNoon + 1, 1e-5);

    scheduler->UnscheduleTasks({task});
    EXPECT_EQ(task->Status, kStatusUnscheduled);
    EXPECT_EQ(task->Schedule, "");
    EXPECT_EQ(task->NextRun, 0);
    EXPECT_TRUE(app->ActiveTasks.empty());
    EXPECT_EQ(LoadTextFile(app->ActiveTasksFile()), "");

    scheduler->StopTasks({task});
    task->Status = kStatusDownloading;
    scheduler->StopTasks({task});
    EXPECT_EQ(runner->stopped, std::vector<std::string>{"Task"}) << "only a downloading task is stopped";

    scheduler->ExploreTask(task);
    EXPECT_EQ(runner->shown, std::vector<std::string>{"Task"});
    EXPECT_EQ(app->CurrentTask, task);
}

TEST_F(HXSchedulerTest, DeleteRemovesFilesAndEveryReference)
{
    const std::string plainPath = WriteTask("Plain", kStatusTaskComplete);
    ASSERT_TRUE(WriteFileAtomic(app->TasksFolder() + "General/Plain.dwn", "http://x/\r\n5\xB6\r\n"));
    ASSERT_TRUE(WriteFileAtomic(app->TasksFolder() + "General/Plain.lnk", "http://x/\r\n"));
    ASSERT_TRUE(WriteFileAtomic(app->TasksFolder() + "General/Plain.cookies", "x\tFALSE\t/\tFALSE\t0\ts\t1\n"));
    const std::string armedPath = WriteTask("Armed", kStatusScheduled, "Now");
    const std::string busyPath = WriteTask("Busy", kStatusUnscheduled);
    const std::string keptPath = WriteTask("Kept", kStatusStopped);
    WriteActiveList({armedPath});
    scheduler->LoadActiveTasks();
    const auto shown = scheduler->ShowCategory("General"); // Armed, Busy, Kept, Plain
    ASSERT_EQ(shown.size(), 4u);
    shown[1]->Status = kStatusDownloading;
    app->CurrentTask = shown[3];

    std::vector<std::string> removedPaths;
    const auto remover = [&](const std::vector<std::string>& paths)
    {
        if (std::find(paths.begin(), paths.end(), keptPath) != paths.end())
            return false; // the user aborted this one
        removedPaths.insert(removedPaths.end(), paths.begin(), paths.end());
        return THXScheduler::RemoveFiles(paths);
    };
    const auto deleted = scheduler->DeleteTasks(shown, remover);

    ASSERT_EQ(deleted.size(), 2u);
    EXPECT_EQ(deleted[0]->Name, "Armed");
    EXPECT_EQ(deleted[1]->Name, "Plain");
    EXPECT_EQ(removedPaths, (std::vector<std::string>{armedPath, app->TasksFolder() + "General/Plain.dwn",
                                                      app->TasksFolder() + "General/Plain.lnk",
                                                      app->TasksFolder() + "General/Plain.cookies", plainPath}));
    EXPECT_FALSE(FileExists(app->TasksFolder() + "General/Plain.cookies")) << "the task's cookies go with it";
    EXPECT_FALSE(FileExists(plainPath));
    EXPECT_FALSE(FileExists(app->TasksFolder() + "General/Plain.dwn"));
    EXPECT_FALSE(FileExists(armedPath));
    EXPECT_TRUE(FileExists(busyPath)) << "a running task is not deleted";
    EXPECT_TRUE(FileExists(keptPath)) << "an aborted removal keeps the task";

    EXPECT_TRUE(app->ActiveTasks.empty()) << "the deleted scheduled task left the active list";
    EXPECT_EQ(LoadTextFile(app->ActiveTasksFile()), "");
    EXPECT_EQ(runner->shown, std::vector<std::string>{"(none)"});
    EXPECT_EQ(app->CurrentTask, nullptr);
    ASSERT_EQ(scheduler->ShownTasks().size(), 2u);
    EXPECT_EQ(scheduler->ShownTasks()[0]->Name, "Busy");
    EXPECT_EQ(scheduler->ShownTasks()[1]->Name, "Kept");
}

TEST_F(HXSchedulerTest, RenamedCategoryTakesItsTasksAlong)
{
    const std::string armedPath = WriteTask("Armed", kStatusScheduled, "Now", 0, "Sites");
    WriteTask("Plain", kStatusTaskComplete, "", 0, "Sites/Old");
    WriteTask("Other", kStatusTaskComplete);
    WriteActiveList({armedPath});
    scheduler->LoadActiveTasks();
    app->SetLastCategory("Sites/Old");
    const auto shown = scheduler->ShowCategory("Sites/Old");
    ASSERT_EQ(shown.size(), 1u);

    // Refused: a taken name, a name with a slash, a running task inside.
    ASSERT_TRUE(std::filesystem::create_directories(app->TasksFolder() + "Taken"));
    EXPECT_NE(scheduler->RenameCategory("Sites", "Taken"), "");
    EXPECT_NE(scheduler->RenameCategory("Sites", "a/b"), "");
    app->ActiveTasks.front().task->Status = kStatusDownloading;
    EXPECT_NE(scheduler->RenameCategory("Sites", "Web"), "");
    EXPECT_TRUE(FileExists(armedPath)) << "nothing moved while refused";
    app->ActiveTasks.front().task->Status = kStatusScheduled;

    EXPECT_EQ(scheduler->RenameCategory("Sites", "Web"), "");
    const std::string movedArmed = app->TasksFolder() + "Web/Armed.hxt";
    EXPECT_TRUE(FileExists(movedArmed));
    EXPECT_TRUE(FileExists(app->TasksFolder() + "Web/Old/Plain.hxt"));
    EXPECT_FALSE(FileExists(armedPath));
    // The held objects, the active list file and the last category follow.
    EXPECT_EQ(app->ActiveTasks.front().fileName, movedArmed);
    EXPECT_EQ(app->ActiveTasks.front().task->FileName, movedArmed);
    EXPECT_EQ(LoadTextFile(app->ActiveTasksFile()), movedArmed + "\r\n");
    EXPECT_EQ(shown.front()->FileName, app->TasksFolder() + "Web/Old/Plain.hxt");
    EXPECT_EQ(shown.front()->Category, "Web/Old");
    EXPECT_EQ(app->LastCategory(), "Web/Old");
    // A later save writes where the task now lies.
    shown.front()->Save();
    EXPECT_FALSE(std::filesystem::exists(app->TasksFolder() + "Sites"));
}

TEST_F(HXSchedulerTest, AddTaskListsItOnceAndReportsChanges)
{
    std::vector<std::string> changed;
    scheduler->SetOnTaskChanged([&](THXTask& task) { changed.push_back(task.Name); });
    auto task = std::make_shared<THXTask>(*app);
    task->Name = "New";
    task->FileName = app->TasksFolder() + "General/New.hxt";
    scheduler->AddTask(task);
    scheduler->AddTask(task);
    EXPECT_EQ(scheduler->ShownTasks().size(), 1u);
    EXPECT_TRUE(FileExists(task->FileName));
    EXPECT_EQ(changed, (std::vector<std::string>{"New", "New"}));

    // After the scheduler is gone the task still saves, without calling back.
    scheduler.reset();
    task->Save();
    EXPECT_EQ(changed.size(), 2u);
}

TEST(HXSchedulerCommands, EnablingFollowsTheSelectedTaskStatus)
{
    EXPECT_EQ(EnabledCommands(nullptr, false), TTaskCommands{});

    test::TTempFolder home;
    THXApp app(THXEnvironment::UnderHome(home.Path().string()));
    THXTask task(app);
    for (int status = 0; status <= 8; ++status)
    {
        task.Status = status;
        const TTaskCommands commands = EnabledCommands(&task, false);
        const bool idle = status == 0 || status == 3 || status == 4 || status == 6 || status == 7;
        EXPECT_EQ(commands.Run, idle) << status;
        EXPECT_EQ(commands.Schedule, idle) << status;
        EXPECT_EQ(commands.Delete, idle) << status;
        EXPECT_EQ(commands.Edit, idle) << status;
        EXPECT_EQ(commands.Unschedule, status == 1) << status;
        EXPECT_EQ(commands.Stop, status == 2) << status;
        EXPECT_TRUE(commands.Explore);
        EXPECT_TRUE(commands.Browse);
        EXPECT_TRUE(commands.Reports);
        EXPECT_TRUE(commands.CopyStartPageURL);
        EXPECT_FALSE(commands.CopyLocalStartPageURL);
    }
    task.Status = kStatusDownloading;
    task.IntranetMode = true;
    const TTaskCommands running = EnabledCommands(&task, true);
    EXPECT_FALSE(running.Explore) << "no exploring while a download runs";
    EXPECT_TRUE(running.Stop);
    EXPECT_TRUE(running.CopyLocalStartPageURL);
}

TEST(HXSchedulerCommands, HintRowAndHelpers)
{
    test::TTempFolder home;
    THXApp app(THXEnvironment::UnderHome(home.Path().string()));
    THXTask task(app);
    task.Name = "Site";
    task.URL = "http://example.com/";
    task.Destination = "/data/site.zip";
    EXPECT_EQ(TaskHint(task), "Task Name: Site\nURL: http://example.com/\nDestination: /data/site.zip");

    task.ElapsedTime = (1 * 3600 + 2 * 60 + 3) / 86400.0;
    task.PagesSaved = 12;
    task.PageErrors = 2;
    task.ResourcesSaved = 30;
    task.ResourceErrors = 5;
    EXPECT_EQ(TaskHint(task), "Task Name: Site\nURL: http://example.com/\nDestination: /data/site.zip\n\n\n"
                              "Elapsed Time: 1 Hrs 2 Min 3 Sec\n\nPages:\n    10 downloaded\n    2 not found\n\n"
                              "Resources:\n    25 downloaded\n    5 not found");

    task.StartPageTitle = "Home";
    task.Status = kStatusScheduled;
    task.Schedule = "Now";
    task.LastRun = EncodeDateTime({2024, 3, 12, 0, 0, 0});
    task.NextRun = EncodeDateTime({2024, 3, 12, 9, 5, 0});
    task.TotalPages = 14;
    task.TotalResources = 40;
    task.Destination = "/data/site.zip";
    task.Profile.Name = "Custom";
    TTaskRow row = TaskRow(task);
    EXPECT_EQ(row.Columns,
              (std::array<std::string, 12>{"Site", "Home", "Scheduled", "Now", "3/12/2024", "3/12/2024 09:05:00",
                                           "12/14", "30/40", "7", "http://example.com/", "/data/site.zip", "Custom"}));
    EXPECT_EQ(row.StateIcon, 2);
    EXPECT_EQ(row.TextColor, 0x808080u);
    // A folder destination keeps its separators and its closing "/" as typed.
    task.Destination = "/home/me/My Intranet/Site/";
    EXPECT_EQ(TaskRow(task).Columns[10], "/home/me/My Intranet/Site/");
    task.Status = kStatusDownloading;
    row = TaskRow(task);
    EXPECT_EQ(row.StateIcon, 1);
    EXPECT_EQ(row.TextColor, 0x808000u);
    task.Status = kStatusZipped;
    task.LastRun = 0;
    row = TaskRow(task);
    EXPECT_EQ(row.StateIcon, 0);
    EXPECT_EQ(row.TextColor, 0x000080u);
    EXPECT_EQ(row.Columns[4], "");
    EXPECT_EQ(StateIconHint(row.StateIcon), "Run");
    EXPECT_EQ(StateIconHint(1), "Stop");
    EXPECT_EQ(StateIconHint(2), "Scheduled");

    // Offline start page and the Zip check.
    EXPECT_TRUE(ZipResultMissing(task));
    ASSERT_TRUE(WriteFileAtomic(home.Folder() + "site.zip", "PK"));
    task.Destination = home.Folder() + "site.zip";
    EXPECT_FALSE(ZipResultMissing(task));
    EXPECT_EQ(LocalStartPage(task), app.GetTempFolder() + "example.com/index.htm");
    task.IntranetMode = true;
    task.Destination = home.Folder() + "intranet";
    EXPECT_FALSE(ZipResultMissing(task));
    EXPECT_EQ(LocalStartPage(task), home.Folder() + "intranet/example.com/index.htm");

    EXPECT_EQ(NewCategoryName(home.Folder()), "New Folder");
    std::filesystem::create_directories(home.Path() / "New Folder");
    std::filesystem::create_directories(home.Path() / "New Folder (2)");
    EXPECT_EQ(NewCategoryName(home.Folder()), "New Folder (3)");
}

} // namespace
} // namespace hx
