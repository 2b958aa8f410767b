#include "core/HXTask.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXIniFile.h"
#include "core/HXStrings.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

class HXTaskTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
        WriteGroup(app->Store(), "HTML", ".htm;.html;");
        WriteGroup(app->Store(), "Images", ".gif;.jpg;");
    }

    std::shared_ptr<THXTask> NewTask(const std::string& name, const std::string& category = "General")
    {
        auto task = std::make_shared<THXTask>(*app);
        task->Name = name;
        task->Category = category;
        task->FileName = app->TasksFolder() + category + "/" + name + ".hxt";
        task->URL = "http://example.test/docs/index.html";
        return task;
    }

    std::unique_ptr<THXApp> app;
};

TEST_F(HXTaskTest, StatusAndStateTexts)
{
    EXPECT_EQ(StatusText(0), "Unscheduled");
    EXPECT_EQ(StatusText(2), "Downloading...");
    EXPECT_EQ(StatusText(6), "Zipped!");
    EXPECT_EQ(StatusText(8), "Deleted");
    EXPECT_EQ(StatusText(9), "Unknown");
    EXPECT_EQ(StatusText(-1), "Unknown");
    EXPECT_EQ(StateText(0), "None");
    EXPECT_EQ(StateText(5), "Saved");
    EXPECT_EQ(StateText(10), "Parsed");
    EXPECT_EQ(StateText(11), "Zipped");
    EXPECT_EQ(StateText(12), "Unknown");
}

TEST_F(HXTaskTest, TaskFileRoundTripsEveryFieldInOrder)
{
    auto task = NewTask("Über uns");
    task->StartPageTitle = "Über uns — 公司简介 ¶ \"quoted\"";
    task->Server = "Apache";
    task->CanUpdate = true;
    task->UserName = "anna";
    task->Password = "p=ss;word";
    task->Comment = "line one\r\nline two";
    task->Destination = "/home/anna/My Intranet/site/";
    task->IntranetMode = true;
    task->Status = kStatusStopped;
    task->Schedule = "Daily at 10:00";
    task->TotalBytes = 5'000'000'000LL;
    task->TotalPages = 12;
    task->TotalResources = 34;
    task->PagesSaved = 11;
    task->ResourcesSaved = 30;
    task->PageErrors = 1;
    task->ResourceErrors = 4;
    task->ElapsedTime = (3600 + 120 + 3) / kSecondsPerDay;
    task->LastRun = EncodeDateTime({2026, 12, 1, 8, 30, 0});
    task->NextRun = EncodeDateTime({2026, 12, 2, 8, 30, 0});
    task->Profile.Name = "Whole Site";
    task->Profile.Depth = 3;
    task->Profile.URLFiltersExclude = {"[PL]cgi,bin"};
    int changes = 0;
    task->OnChange = [&changes](THXTask&) { ++changes; };
    task->Save();
    EXPECT_EQ(changes, 1);

    const TIniFile file(task->FileName);
    const std::vector<std::string> keys = {
        "Task Name",       "URL",          "Start Page Title", "Server",        "Can Update",      "User Name",
        "Password",        "Comment",      "Destination",      "Intranet Mode", "Status",          "Schedule",
        "Total Bytes",     "Total Pages",  "Total Resources",  "Pages Saved",   "Resources Saved", "Page Errors",
        "Resource Errors", "Elapsed Time", "Last Run",         "Next Run"};
    EXPECT_EQ(file.Keys("Task"), keys);
    EXPECT_EQ(file.ReadString("Task", "Elapsed Time", ""), "12/30/1899 01:02:03");
    EXPECT_EQ(file.ReadString("Task", "Last Run", ""), "12/01/2026 08:30:00");
    EXPECT_EQ(file.Sections(), (std::vector<std::string>{"Task", "Profile"}));
    // The file is Windows-1252: the UTF-8 bytes of the title never reach it.
    const std::string bytes = *ReadWholeFile(task->FileName);
    EXPECT_EQ(bytes.find("\xC3\x9C"), std::string::npos);
    EXPECT_NE(bytes.find("\xDC"), std::string::npos);

    THXTask read(*app);
    read.FileName = task->FileName;
    read.Load();
    EXPECT_EQ(read.Name, task->Name);
    EXPECT_EQ(read.URL, task->URL);
    EXPECT_EQ(read.StartPageTitle, task->StartPageTitle);
    EXPECT_EQ(read.Server, "Apache");
    EXPECT_TRUE(read.CanUpdate);
    EXPECT_EQ(read.UserName, "anna");
    EXPECT_EQ(read.Password, "p=ss;word");
    EXPECT_EQ(read.Comment, task->Comment);
    EXPECT_EQ(read.Destination, task->Destination);
    EXPECT_TRUE(read.IntranetMode);
    EXPECT_EQ(read.Status, kStatusStopped);
    EXPECT_EQ(read.Schedule, "Daily at 10:00");
    EXPECT_EQ(read.TotalBytes, 5'000'000'000LL);
    EXPECT_EQ(read.TotalPages, 12);
    EXPECT_EQ(read.TotalResources, 34);
    EXPECT_EQ(read.PagesSaved, 11);
    EXPECT_EQ(read.ResourcesSaved, 30);
    EXPECT_EQ(read.PageErrors, 1);
    EXPECT_EQ(read.ResourceErrors, 4);
    EXPECT_NEAR(read.ElapsedTime, task->ElapsedTime, 1e-9);
    EXPECT_NEAR(read.LastRun, task->LastRun, 1e-9);
    EXPECT_NEAR(read.NextRun, task->NextRun, 1e-9);
    EXPECT_EQ(read.Profile.Depth, 3);
    EXPECT_EQ(read.Profile.Name, "Whole Site");
    EXPECT_EQ(read.Profile.URLFiltersExclude, TStringList{"[PL]cgi,bin"});
    EXPECT_EQ(read.Profile.FileName, task->FileName);
}

TEST_F(HXTaskTest, MissingKeysReadTheirDefaults)
{
    const std::string path = Home().WriteFile("Tasks/General/Bare Task.hxt",
                                              "[Task]\r\nURL=http://h/\r\nLast Run=not a date\r\nStatus=x\r\n");
    THXTask task(*app);
    task.FileName = path;
    task.Load();
    EXPECT_EQ(task.Name, "Bare Task");
    EXPECT_EQ(task.URL, "http://h/");
    EXPECT_EQ(task.Status, 0);
    EXPECT_DOUBLE_EQ(task.LastRun, 0.0);
    EXPECT_FALSE(task.IntranetMode);
    EXPECT_EQ(task.Profile.PageLocation, 1);
    EXPECT_EQ(task.Profile.Depth, -1);

    // Garbage never crashes the reader: it is refused as no task file.
    std::string garbage;
    for (int i = 0; i < 20000; ++i)
        garbage.push_back(static_cast<char>(i * 7919 % 256));
    THXTask junk(*app);
    junk.FileName = Home().WriteFile("Tasks/General/junk.hxt", garbage);
    EXPECT_THROW(junk.Load(), EFileError);
    EXPECT_EQ(junk.Status, 0);
}

TEST_F(HXTaskTest, SaveKeepsTheActiveTaskListInStepWithTheStatus)
{
    auto task = NewTask("Nightly");
    task->Status = kStatusScheduled;
    task->Save();
    ASSERT_EQ(app->ActiveTasks.size(), 1u);
    EXPECT_EQ(app->ActiveTasks[0].task, task);
    EXPECT_EQ(Home().ReadFile("Tasks/ActiveTasks.lst"), task->FileName + "\r\n");

    task->Status = kStatusDownloading;
    task->Save();
    EXPECT_EQ(app->ActiveTasks.size(), 1u);

    // Names differing only in letter case are two files here, so two tasks.
    auto other = NewTask("nightly");
    other->Status = kStatusScheduled;
    other->Save();
    EXPECT_EQ(Home().ReadFile("Tasks/ActiveTasks.lst"), task->FileName + "\r\n" + other->FileName + "\r\n");
    task->Status = kStatusTaskComplete;
    task->Save();
    EXPECT_EQ(Home().ReadFile("Tasks/ActiveTasks.lst"), other->FileName + "\r\n");
    ASSERT_EQ(app->ActiveTasks.size(), 1u);
    EXPECT_EQ(app->ActiveTasks[0].task, other);

    other->Status = kStatusStopped;
    other->Save();
    EXPECT_TRUE(app->ActiveTasks.empty());
    EXPECT_EQ(Home().ReadFile("Tasks/ActiveTasks.lst"), "");
}

TEST_F(HXTaskTest, TasksListedByAnEarlierRunStayListedWhenOtherTasksAreSaved)
{
    auto nightly = NewTask("Nightly");
    nightly->Status = kStatusScheduled;
    nightly->Save();
    const std::string nightlyFile = nightly->FileName;
    // A hand-written line with LF only is a path of its own.
    const std::string handWritten = app->TasksFolder() + "General/Weekly.hxt";
    Home().WriteFile("Tasks/ActiveTasks.lst", nightlyFile + "\r\n" + handWritten + "\n");
    nightly.reset();

    // The program starts again and copies another site: the list is not wiped.
    app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
    auto copy = NewTask("Copy");
    copy->Status = kStatusDownloading;
    copy->Save();
    EXPECT_EQ(Home().ReadFile("Tasks/ActiveTasks.lst"),
              nightlyFile + "\r\n" + handWritten + "\r\n" + copy->FileName + "\r\n");
    copy->Status = kStatusTaskComplete;
    copy->Save();
    EXPECT_EQ(Home().ReadFile("Tasks/ActiveTasks.lst"), nightlyFile + "\r\n" + handWritten + "\r\n");

    // The listed task, saved by this session, is the entry that was read.
    auto again = NewTask("Nightly");
    again->Load();
    again->Status = kStatusDownloading;
    again->Save();
    ASSERT_EQ(app->ActiveTasks.size(), 2u);
    EXPECT_EQ(app->ActiveTasks[0].task, again);
    EXPECT_EQ(Home().ReadFile("Tasks/ActiveTasks.lst"), nightlyFile + "\r\n" + handWritten + "\r\n");
}

TEST_F(HXTaskTest, AnActiveListThatCannotBeReadIsKeptAsideNotReplaced)
{
    // Too large to be a list of tasks: it is not read, and no save may replace it.
    const std::string list = app->ActiveTasksFile();
    const std::string huge(static_cast<std::size_t>(kMaxActiveListBytes) + 1, 'x');
    Home().WriteFile("Tasks/ActiveTasks.lst", huge);
    app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
    auto task = NewTask("Nightly");
    task->Status = kStatusScheduled;
    task->Save();
    EXPECT_TRUE(Home().ReadFile("Tasks/ActiveTasks.lst.bad") == huge) << "the list is kept whole beside";
    EXPECT_EQ(Home().ReadFile("Tasks/ActiveTasks.lst"), task->FileName + "\r\n");
    const std::vector<std::string> problems = app->Store().TakeProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "Active task list " + list + " could not be read; it is kept as " + list + ".bad");

    // A pipe in its place is neither waited on nor written into.
    std::filesystem::remove(list);
    std::filesystem::remove(list + ".bad");
    ASSERT_EQ(::mkfifo(list.c_str(), 0600), 0);
    app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
    EXPECT_TRUE(app->ActiveTasks.empty());
    EXPECT_TRUE(std::filesystem::is_fifo(list + ".bad"));
}

TEST_F(HXTaskTest, TheTasksCookiesOutliveItsRunsAndRestartEndsTheSession)
{
    auto task = NewTask("Shop");
    task->Save();
    const std::int64_t now = CookieClockNow();
    std::string error;
    // A task that never held a cookie gets no file.
    ASSERT_TRUE(OpenTaskCookies(*task, true, error)) << error;
    ASSERT_TRUE(SaveTaskCookies(*task, error)) << error;
    EXPECT_FALSE(FileExists(task->CookieFileName()));

    task->Cookies.SetFromHeader("http://example.test/", "session=1", now);
    task->Cookies.SetFromHeader("http://example.test/", "remember=2; Max-Age=86400", now);
    ASSERT_TRUE(SaveTaskCookies(*task, error)) << error;
    ASSERT_TRUE(FileExists(task->CookieFileName()));

    // Resume: the jar comes back whole, with what was added for this run.
    task->Cookies.Clear();
    task->CookiesToAdd.push_back({"imported", "3", "example.test", "/", 0});
    ASSERT_TRUE(OpenTaskCookies(*task, false, error)) << error;
    EXPECT_EQ(task->Cookies.CookieHeader("http://example.test/", now), "remember=2; session=1; imported=3");
    EXPECT_TRUE(task->CookiesToAdd.empty());
    ASSERT_TRUE(SaveTaskCookies(*task, error)) << error;

    // Restart: a new session keeps the cookies with an expiry and drops the others,
    // except those added for the new run.
    task->CookiesToAdd.push_back({"signin", "4", "example.test", "/", 0});
    ASSERT_TRUE(OpenTaskCookies(*task, true, error)) << error;
    EXPECT_EQ(task->Cookies.CookieHeader("http://example.test/", now), "remember=2; signin=4");

    // Nothing changed since the last write: the file is not written again.
    ASSERT_TRUE(SaveTaskCookies(*task, error)) << error;
    ASSERT_TRUE(WriteFileAtomic(task->CookieFileName(), "# replaced\n"));
    ASSERT_TRUE(SaveTaskCookies(*task, error)) << error;
    EXPECT_EQ(*ReadWholeFile(task->CookieFileName()), "# replaced\n");
}

TEST_F(HXTaskTest, RenameMovesTaskAndQueueOrExplainsWhyNot)
{
    auto task = NewTask("Old");
    task->Save();
    task->AddItem(THXQItem{});
    task->SaveQueue();
    const std::string folder = ExtractFilePath(task->FileName);
    ASSERT_TRUE(WriteFileAtomic(task->LinkBookFileName(), "links\r\n"));
    ASSERT_TRUE(WriteFileAtomic(task->CookieFileName(), "# Netscape HTTP Cookie File\n"));

    std::string message;
    ASSERT_TRUE(task->Rename("New", &message)) << message;
    EXPECT_EQ(CookieFileName(*task), folder + "New.cookies");
    EXPECT_TRUE(FileExists(folder + "New.cookies")) << "the cookies go with the queue";
    EXPECT_FALSE(FileExists(folder + "Old.cookies"));
    EXPECT_EQ(task->Name, "New");
    EXPECT_EQ(task->FileName, folder + "New.hxt");
    EXPECT_TRUE(FileExists(folder + "New.hxt"));
    EXPECT_FALSE(FileExists(folder + "Old.hxt"));
    EXPECT_TRUE(FileExists(folder + "New.dwn"));
    EXPECT_EQ(task->QueueFileName(), folder + "New.dwn");
    EXPECT_EQ(task->LinkBookFileName(), folder + "New.lnk");
    EXPECT_TRUE(FileExists(folder + "New.lnk")) << "the link book goes with the queue";
    EXPECT_FALSE(FileExists(folder + "Old.lnk"));
    THXTask reread(*app);
    reread.FileName = folder + "New.hxt";
    reread.Load();
    EXPECT_EQ(reread.Name, "New");

    auto blocker = NewTask("Taken");
    blocker->Save();
    EXPECT_FALSE(task->Rename("Taken", &message));
    EXPECT_EQ(message, "Unable to rename task to: " + folder + "Taken.hxt\nFile already exists.");
    EXPECT_EQ(task->Name, "New");

    EXPECT_FALSE(task->Rename("a/b", &message));
    EXPECT_EQ(message, "Unable to rename task to: " + folder +
                           "a/b.hxt\nA file may not contain any of the following characters: \n\\/:*?\"<>|");
    EXPECT_FALSE(task->Rename("", &message));
    EXPECT_FALSE(task->Rename("..", &message));
    EXPECT_EQ(task->FileName, folder + "New.hxt");
    EXPECT_TRUE(FileExists(folder + "Taken.hxt"));

    // An active task keeps its place in the list under its new path.
    blocker->Status = kStatusScheduled;
    blocker->Save();
    task->Status = kStatusScheduled;
    task->Save();
    ASSERT_TRUE(task->Rename("Renamed", &message)) << message;
    EXPECT_EQ(Home().ReadFile("Tasks/ActiveTasks.lst"), blocker->FileName + "\r\n" + folder + "Renamed.hxt\r\n");
    ASSERT_EQ(app->ActiveTasks.size(), 2u);
    EXPECT_EQ(app->ActiveTasks[1].fileName, folder + "Renamed.hxt");
    task->Status = kStatusTaskComplete;
    task->Save();
    EXPECT_EQ(Home().ReadFile("Tasks/ActiveTasks.lst"), blocker->FileName + "\r\n");
}

TEST_F(HXTaskTest, TaskFilesHoldingPasswordsAreTheUsersAlone)
{
    auto task = NewTask("Private");
    task->Password = "secret";
    task->Save();
    struct stat status = {};
    ASSERT_EQ(::stat(task->FileName.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    // A task file an earlier version left readable by others is tightened when written.
    ::chmod(task->FileName.c_str(), 0644);
    task->Save();
    ASSERT_EQ(::stat(task->FileName.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
}

TEST_F(HXTaskTest, FilesThatAreNoTaskFilesAreRefusedAndLeftAlone)
{
    const std::string folder = app->TasksFolder() + "General/";
    const std::string binary("\x7F"
                             "ELF\x02\x01\x01\0\0\0\xB6\xFF\r\n=\0",
                             16);
    Home().WriteFile("Tasks/General/Empty.hxt", "");
    Home().WriteFile("Tasks/General/Binary.hxt", binary);
    std::filesystem::resize_file(Home().WriteFile("Tasks/General/Huge.hxt", "[Task]\r\n"), 64LL * 1024 * 1024);
    ASSERT_EQ(::mkfifo((folder + "Pipe.hxt").c_str(), 0600), 0);
    for (const std::string& path : {folder + "Empty.hxt", folder + "Binary.hxt", folder + "Huge.hxt",
                                    folder + "Pipe.hxt", std::string("/dev/zero")})
    {
        THXTask task(*app);
        task.FileName = path;
        try
        {
            task.Load();
            ADD_FAILURE() << path << " was loaded";
        }
        catch (const EFileError& error)
        {
            EXPECT_EQ(error.what(), "'" + path + "' is not a task file");
        }
        // Saving over it is refused too: nothing rewrites a file that could not be read.
        task.Status = kStatusScheduled;
        EXPECT_THROW(task.Save(), EFileError) << path;
    }
    EXPECT_EQ(Home().ReadFile("Tasks/General/Empty.hxt"), "");
    EXPECT_EQ(Home().ReadFile("Tasks/General/Binary.hxt"), binary);
    EXPECT_TRUE(app->ActiveTasks.empty());
    EXPECT_FALSE(FileExists(app->ActiveTasksFile()));

    // A file that does not exist yet is a new task with its defaults.
    THXTask fresh(*app);
    fresh.FileName = folder + "Fresh.hxt";
    EXPECT_NO_THROW(fresh.Load());
    EXPECT_EQ(fresh.Name, "Fresh");
    EXPECT_NO_THROW(fresh.Save());
}

TEST_F(HXTaskTest, ResetStartFreshAndResumePrepareTheRun)
{
    auto task = NewTask("Run");
    task->PagesSaved = 3;
    task->ResourcesSaved = 4;
    task->PageErrors = 1;
    task->ResourceErrors = 2;
    task->TotalPages = 5;
    task->TotalResources = 6;
    task->TotalBytes = 700;
    task->StartTime = 1;
    task->ElapsedTime = 0.5;
    task->AddZipPending("/tmp/x", nullptr);
    app->Store().WriteBool(kSettingsKey, "Zip Last", true);
    std::vector<std::string> progress;
    task->OnProgress = [&progress](const std::string& text, std::int64_t, std::int64_t) { progress.push_back(text); };
    task->Reset();
    EXPECT_EQ(progress.front(), "Clearing previous task...");
    EXPECT_EQ(task->PagesSaved + task->ResourcesSaved + task->PageErrors + task->ResourceErrors + task->TotalPages +
                  task->TotalResources,
              0);
    EXPECT_EQ(task->TotalBytes, 0);
    EXPECT_DOUBLE_EQ(task->ElapsedTime, 0.0);
    EXPECT_TRUE(task->ZipLast);
    EXPECT_EQ(task->ZipPendingCount(), 0);

    task->RunMode = kRunMap;
    task->PagesDispatched = 9;
    task->StartFresh();
    EXPECT_EQ(task->RunMode, kRunRestart);
    EXPECT_EQ(task->PagesDispatched, 0);
    ASSERT_EQ(task->ItemCount(), 1);
    THXQItem& start = *task->Item(0);
    task->ReloadItem(start);
    EXPECT_EQ(start.URL, "http://example.test/docs/index.html");
    EXPECT_EQ(start.BaseURL, "http://example.test/docs/");
    EXPECT_EQ(start.Group, "HTML");
    EXPECT_EQ(start.Level, 0);
    EXPECT_EQ(start.Mode, kModeMap);
    EXPECT_EQ(task->TotalPages, 1);
    EXPECT_GT(task->LastRun, 0);

    task->Reset();
    task->StartFresh();
    EXPECT_EQ(task->Item(0)->Mode, kModeDownload);

    task->ElapsedTime = 0.25;
    task->ResourcesDispatched = 5;
    task->PrepareResume();
    EXPECT_NEAR(task->LastRun - task->StartTime, 0.25, 1e-9);
    EXPECT_EQ(task->ResourcesDispatched, 0);
}

TEST_F(HXTaskTest, FoldersAgentAndQueueFileName)
{
    auto task = NewTask("Folders");
    task->IntranetMode = true;
    task->Destination = Home().Folder() + "copy";
    EXPECT_EQ(task->WorkingFolder(), Home().Folder() + "copy/");
    task->IntranetMode = false;
    EXPECT_EQ(task->WorkingFolder(), app->GetTempFolder());
    app->SetUserAgentChoice("Anonymous");
    EXPECT_EQ(task->UserAgent(), "");
    EXPECT_EQ(task->QueueFileName(), app->TasksFolder() + "General/Folders.dwn");
    task->Name = "Changed";
    EXPECT_EQ(task->QueueFileName(), app->TasksFolder() + "General/Folders.dwn") << "computed once";
}

} // namespace
} // namespace hx
