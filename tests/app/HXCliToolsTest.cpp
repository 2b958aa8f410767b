// The harbex-cli commands tasks, report, zip and explain, run in-process on a
// sandboxed program folder seeded as the program seeds it.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <zip.h>

#include "app/HXCli.h"
#include "archive/XcdZipD4.h"
#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "engine/HXThreadParseRules.h"
#include "shell/HXFirstRun.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

namespace fs = std::filesystem;
using TCommand = int (*)(THXApp&, const std::vector<std::string>&, std::ostream&, std::ostream&);

struct TRun
{
    int status = -1;
    std::string out;
    std::string err;
};

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The first line of the text that holds `part` (at its start when `atStart`).
std::string LineWith(const std::string& text, const std::string& part, bool atStart = false)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (atStart ? line.rfind(part, 0) == 0 : Contains(line, part))
            return line;
    return "(no line with " + part + ")";
}

// The value of a "Name: value" line.
std::string Field(const std::string& text, const std::string& name)
{
    const std::string line = LineWith(text, name + ": ", true);
    return line.rfind(name + ": ", 0) == 0 ? line.substr(name.size() + 2) : line;
}

// The blank-separated words of a line.
std::vector<std::string> Words(const std::string& line)
{
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

std::string Shell(const std::string& command)
{
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r"))
    {
        std::array<char, 4096> buffer{};
        while (const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), pipe))
            output.append(buffer.data(), got);
        ::pclose(pipe);
    }
    return output;
}

// Every file below a folder with its bytes and modification time, to see that
// nothing was written.
std::map<std::string, std::pair<std::string, fs::file_time_type>> FilesBelow(const fs::path& folder)
{
    std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path().string()] = {ReadWholeFile(entry.path().string()).value_or(""), entry.last_write_time()};
    return files;
}

bool HaveUnzip()
{
    return Shell("command -v unzip") != "";
}

// A queue record: state, status text, group, -, level, referrer, -, mode, title, size, -.
std::string QueuePair(const std::string& url, int state, const std::string& group, const std::string& statusText = "")
{
    const std::array<std::string, 11> fields = {
        std::to_string(state), statusText, group, "", "1", "http://example.com/index.html", "", "1", "", "100", ""};
    std::string pair = url + "\r\n";
    for (const std::string& field : fields)
        pair += field + '\xB6';
    return pair + "\r\n";
}

class HXCliToolsTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>();
        FirstRunSetup(*app);
        // explain fetches a site's robots.txt when runs obey it; the tasks here name
        // hosts no test server answers for, so nothing may be fetched.
        app->OverrideObeyRobots(false);
    }

    void TearDown() override
    {
        app->ActiveTasks.clear();
        app.reset();
        test::THXSandboxTest::TearDown();
    }

    TRun Run(TCommand command, const std::vector<std::string>& args)
    {
        std::ostringstream out;
        std::ostringstream err;
        TRun run;
        run.status = command(*app, args, out, err);
        run.out = out.str();
        run.err = err.str();
        return run;
    }

    // A task saved in the category; the task list of the app is left as the CLI finds it.
    std::shared_ptr<THXTask> SaveTask(const std::string& name, const std::string& category, const std::string& url,
                                      bool intranet = true)
    {
        auto task = std::make_shared<THXTask>(*app);
        task->Name = name;
        task->FileName = app->TasksFolder() + category + "/" + name + ".hxt";
        task->URL = url;
        task->IntranetMode = intranet;
        task->Destination = intranet ? Home().Folder() + "intranet" : Home().Folder() + "Downloads/" + name + ".zip";
        task->Save();
        app->ActiveTasks.clear();
        return task;
    }

    std::unique_ptr<THXApp> app;
};

TEST_F(HXCliToolsTest, TasksListsCategoriesInAlignedColumnsAndSurvivesBadFiles)
{
    auto alpha = SaveTask("Alpha", "General", "http://a.example/");
    alpha->Schedule = "Daily at 08:00:00";
    alpha->PagesSaved = 3;
    alpha->TotalPages = 5;
    alpha->ResourcesSaved = 7;
    alpha->TotalResources = 9;
    alpha->PageErrors = 1;
    alpha->ResourceErrors = 2;
    alpha->Save();
    // A run state left behind by a program that ended during the run.
    const std::string stale = SaveTask("Stale", "General", "http://s.example/")->FileName;
    std::string text = ReadWholeFile(stale).value();
    text.replace(text.find("Status=0"), 8, "Status=2");
    ASSERT_TRUE(WriteFileAtomic(stale, text));
    Home().WriteFile("Tasks/General/Broken.hxt", std::string("\x01\x02 no task here", 16));
    SaveTask("Beta", "Work", "http://b.example/");
    fs::create_directories(app->TasksFolder() + "Empty");
    app->SetLastCategory("Empty");
    // Listing writes nothing: no task file, no settings file.
    const auto filesBefore = FilesBelow(Home().Path());

    const TRun general = Run(cli::CommandTasks, {"General"});
    EXPECT_EQ(general.status, cli::kExitFailed) << "a file that is no task is reported";
    EXPECT_TRUE(Contains(general.err, "Broken.hxt")) << general.err;
    EXPECT_TRUE(Contains(general.out, "Category: General (2 tasks)")) << general.out;
    const std::string header = LineWith(general.out, "Task Name", true);
    const std::string alphaLine = LineWith(general.out, "Alpha ", true);
    const std::string staleLine = LineWith(general.out, "Stale ", true);
    // Each value starts under its caption.
    const std::vector<std::pair<std::string, std::string>> cells = {{"Status", "Unscheduled"},
                                                                    {"Schedule", "Daily at 08:00:00"},
                                                                    {"Pages", "3/5"},
                                                                    {"Resources", "7/9"},
                                                                    {"Errors", "3"},
                                                                    {"Starting URL", "http://a.example/"},
                                                                    {"Destination", Home().Folder() + "intranet"}};
    for (const auto& [caption, value] : cells)
        EXPECT_EQ(alphaLine.substr(header.find(caption), value.size()), value) << caption << "\n" << general.out;
    // The stale run state is shown as the window shows it, but not saved.
    EXPECT_EQ(staleLine.substr(header.find("Status"), 10), "Incomplete");
    EXPECT_EQ(alphaLine.find("Beta"), std::string::npos);

    const TRun work = Run(cli::CommandTasks, {"Work/"});
    EXPECT_EQ(work.status, cli::kExitOk) << work.err;
    EXPECT_TRUE(Contains(work.out, "Beta") && !Contains(work.out, "Alpha")) << work.out;

    // All categories, General first, each under its heading.
    const TRun all = Run(cli::CommandTasks, {});
    EXPECT_LT(all.out.find("Category: General"), all.out.find("Category: Empty (0 tasks)\n  (no tasks)")) << all.out;
    EXPECT_LT(all.out.find("Category: Empty"), all.out.find("Category: Work (1 task)"));
    EXPECT_TRUE(Contains(all.out, "Incomplete")) << all.out;

    EXPECT_EQ(app->LastCategory(), "Empty");
    THXTask reloaded(*app);
    reloaded.FileName = stale;
    reloaded.Load();
    EXPECT_EQ(reloaded.Status, kStatusDownloading);
    EXPECT_TRUE(FilesBelow(Home().Path()) == filesBefore) << "listing the tasks wrote a file";

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"Nowhere"}, {"../Tasks"}, {"/tmp"}, {"."}, {"General", "Work"}, {"--all"}})
    {
        try
        {
            Run(cli::CommandTasks, bad);
            ADD_FAILURE() << "accepted " << bad.front();
        }
        catch (const cli::EUsageError& error)
        {
            if (bad.front() == "Nowhere")
            {
                EXPECT_TRUE(Contains(error.what(), "Nowhere") && Contains(error.what(), "Work")) << error.what();
            }
        }
    }
}

TEST_F(HXCliToolsTest, ScheduleSetsATasksScheduleFromItsText)
{
    const std::string alpha = SaveTask("Alpha", "General", "http://a.example/")->FileName;
    const std::string beta = SaveTask("Beta", "Work", "http://b.example/")->FileName;
    // A task another program is running: setting a schedule elsewhere must not touch it.
    auto running = SaveTask("Gamma", "Work", "http://c.example/");
    running->Status = kStatusDownloading;
    running->Save();
    const std::string runningBytes = ReadWholeFile(running->FileName).value_or("");
    auto load = [this](const std::string& file)
    {
        auto task = std::make_shared<THXTask>(*app);
        task->FileName = file;
        task->Load();
        return task;
    };
    auto listed = [this](const std::string& file)
    { return Contains(ReadWholeFile(app->ActiveTasksFile()).value_or(""), file); };

    // Each command is a program of its own: it starts with no task in memory and the
    // active-task list as the file holds it.
    auto startAgain = [this]
    {
        app->ActiveTasks.clear();
        for (const std::string& path : app->ReadActiveTaskFile())
            app->ActiveTasks.push_back({path, nullptr});
    };
    startAgain();
    const TRun daily = Run(cli::CommandSchedule, {"Beta", "Daily at 03:00"});
    EXPECT_EQ(daily.status, cli::kExitOk) << daily.err;
    EXPECT_EQ(load(beta)->Schedule, "Daily at 03:00:00");

    startAgain();
    const TDateTime before = Now();
    const TRun every = Run(cli::CommandSchedule, {alpha, "Every 2 hours, 30 mins"});
    const TDateTime after = Now();
    EXPECT_EQ(every.status, cli::kExitOk) << every.err;
    EXPECT_TRUE(Contains(every.out, "Every 2 hours, 30 mins")) << every.out;
    const auto scheduled = load(alpha);
    EXPECT_EQ(scheduled->Status, kStatusScheduled);
    EXPECT_EQ(scheduled->Schedule, "Every 2 hours, 30 mins");
    const TDateTime interval = 2.5 / 24;
    EXPECT_GE(scheduled->NextRun, before + interval - kOneSecond);
    EXPECT_LE(scheduled->NextRun, after + interval + kOneSecond);
    EXPECT_TRUE(listed(alpha) && listed(beta)) << "the active-task list keeps the tasks scheduled before";

    startAgain();
    EXPECT_EQ(Run(cli::CommandSchedule, {"Beta", "Never"}).status, cli::kExitOk);
    EXPECT_EQ(load(beta)->Status, kStatusUnscheduled);
    EXPECT_EQ(load(beta)->Schedule, "");
    EXPECT_TRUE(listed(alpha) && !listed(beta));

    startAgain();
    EXPECT_EQ(Run(cli::CommandSchedule, {"Beta", "Now"}).status, cli::kExitOk);
    EXPECT_EQ(load(beta)->Schedule, "Now");
    EXPECT_EQ(load(beta)->Status, kStatusScheduled);

    // A text that is no schedule, or a task and no text, is refused and changes nothing.
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"Alpha", "Daily at 3pm"}, {"Alpha"}, {"Alpha", "Now", "extra"}, {"Nobody", "Now"}})
    {
        startAgain();
        EXPECT_THROW(Run(cli::CommandSchedule, bad), cli::EUsageError) << bad.back();
    }
    EXPECT_EQ(load(alpha)->Schedule, "Every 2 hours, 30 mins");
    EXPECT_EQ(ReadWholeFile(running->FileName).value_or(""), runningBytes) << "another task's file was rewritten";
    EXPECT_TRUE(listed(running->FileName));
}

TEST_F(HXCliToolsTest, ReportWritesTheSummaryAndErrorReportOfAnIntranetTask)
{
    auto task = SaveTask("Site", "General", "http://example.com/index.html");
    task->PagesSaved = 2;
    task->TotalPages = 3;
    task->PageErrors = 1;
    task->Save();
    const std::string site = Home().Folder() + "intranet/example.com/";
    Home().WriteFile("intranet/example.com/index.html", "home");
    Home().WriteFile("intranet/example.com/p1.html", "page one");
    ASSERT_TRUE(WriteFileAtomic(task->QueueFileName(),
                                QueuePair("http://example.com/index.html", 5, "HTML") +
                                    QueuePair("http://example.com/p1.html", 5, "HTML") +
                                    QueuePair("http://example.com/gone.html", 3, "HTML", "[404] Not Found")));

    const TRun report = Run(cli::CommandReport, {"Site"});
    EXPECT_EQ(report.status, cli::kExitOk) << report.err;
    EXPECT_EQ(Field(report.out, "Task summary"), site + "!Site_summary.htm");
    EXPECT_TRUE(FileExists(site + "!Site_summary.htm"));
    EXPECT_EQ(Field(report.out, "Page index"), site + "!Site_pages_1.htm");
    EXPECT_TRUE(Contains(ReadWholeFile(site + "!Site_pages_1.htm").value_or(""), "http://example.com/p1.html"));
    EXPECT_TRUE(FileExists(site + "!Site_images_1.htm"));

    const TRun errors = Run(cli::CommandReport, {task->FileName, "--errors"});
    EXPECT_EQ(errors.status, cli::kExitOk) << errors.err;
    EXPECT_EQ(Field(errors.out, "Failed URLs"), "1");
    const std::string errorFile = Field(errors.out, "Error report");
    EXPECT_EQ(errorFile, app->GetTempFolder() + "Site_errors.htm");
    const std::string errorText = ReadWholeFile(errorFile).value_or("");
    EXPECT_TRUE(Contains(errorText, "gone.html") && Contains(errorText, "[404] Not Found"));
    EXPECT_FALSE(Contains(errorText, "p1.html"));

    SaveTask("Fresh", "General", "http://example.com/");
    const TRun fresh = Run(cli::CommandReport, {"Fresh", "--errors"});
    EXPECT_EQ(fresh.status, cli::kExitFailed);
    EXPECT_TRUE(Contains(fresh.err, "has not been run")) << fresh.err;

    // A garbled task file: the damage is named, and nothing is written.
    const std::string good = ReadWholeFile(task->FileName).value_or("");
    std::string garbled;
    std::istringstream lines(good);
    for (std::string line; std::getline(lines, line);)
        garbled += line.rfind("Destination=", 0) == 0 ? "D\x9Bst\x01nation=\n" : line + "\n";
    ASSERT_TRUE(WriteFileAtomic(task->FileName, garbled));
    const auto before = FilesBelow(Home().Folder());
    const TRun damaged = Run(cli::CommandReport, {"Site"});
    EXPECT_EQ(damaged.status, cli::kExitFailed);
    EXPECT_EQ(damaged.err, "harbex-cli: task file \"" + task->FileName +
                               "\" is damaged: its \"Destination\" is missing or empty; no reports were written\n");
    EXPECT_EQ(FilesBelow(Home().Folder()), before);
    // Run, it would fetch into no copy and end as complete.
    const TRun run = Run(cli::CommandRun, {"Site"});
    EXPECT_EQ(run.status, cli::kExitFailed);
    EXPECT_TRUE(Contains(run.err, "\"Destination\" is missing or empty; the task was not run")) << run.err;
    garbled = good;
    garbled.replace(garbled.find("URL=http"), 8, "URL=\x02\xFF\x13p");
    ASSERT_TRUE(WriteFileAtomic(task->FileName, garbled));
    EXPECT_TRUE(Contains(Run(cli::CommandReport, {"Site", "--errors"}).err, "its \"URL\" is not a web address"));

    EXPECT_THROW(Run(cli::CommandReport, {}), cli::EUsageError);
    EXPECT_THROW(Run(cli::CommandReport, {"No Such Task"}), cli::EUsageError);
    EXPECT_THROW(Run(cli::CommandReport, {"Site", "--pages"}), cli::EUsageError);
}

TEST_F(HXCliToolsTest, ReportOfAZipTaskUnpacksTheArchiveBesideItAndWritesTheReportsThere)
{
    auto task = SaveTask("Packed", "General", "http://example.com/index.html", false);
    task->PagesSaved = 2;
    task->TotalPages = 2;
    task->Save();
    ASSERT_TRUE(WriteFileAtomic(task->QueueFileName(), QueuePair("http://example.com/index.html", 11, "HTML") +
                                                           QueuePair("http://example.com/p1.html", 11, "HTML")));

    const TRun missing = Run(cli::CommandReport, {"Packed"});
    EXPECT_EQ(missing.status, cli::kExitFailed);
    EXPECT_TRUE(Contains(missing.err, "does not exist: " + task->Destination)) << missing.err;

    Home().WriteFile("stage/example.com/index.html", "home");
    Home().WriteFile("stage/example.com/p1.html", "page one");
    TXceedZip zip;
    zip.ZipFileName = task->Destination;
    zip.BaseFolder = Home().Folder() + "stage";
    zip.FilesToProcess = {Home().Folder() + "stage/example.com"};
    ASSERT_EQ(zip.Add(), xcd::Success);
    // The reports stay where a person can open them once the program has ended:
    // beside the archive, with the unpacked copy they link to; a stale copy there is
    // replaced by the archive's, and the temporary folder is left alone.
    const std::string beside = Home().Folder() + "Downloads/Packed_reports/";
    ASSERT_TRUE(WriteFileAtomic(beside + "example.com/p1.html", "old"));
    const std::string temp = app->GetTempFolder();
    ASSERT_TRUE(WriteFileAtomic(temp + "example.com/p1.html", "theirs"));

    const TRun report = Run(cli::CommandReport, {"Packed"});
    EXPECT_EQ(report.status, cli::kExitOk) << report.err;
    EXPECT_EQ(Field(report.out, "Task summary"), beside + "example.com/!Packed_summary.htm");
    EXPECT_EQ(Field(report.out, "Page index"), beside + "example.com/!Packed_pages_1.htm");
    const std::string summary = ReadWholeFile(beside + "example.com/!Packed_summary.htm").value_or("");
    EXPECT_TRUE(Contains(summary, beside + "example.com/index.html")) << "the summary links the unpacked start page";
    EXPECT_EQ(ReadWholeFile(beside + "example.com/p1.html").value_or(""), "page one");
    EXPECT_EQ(ReadWholeFile(temp + "example.com/p1.html").value_or(""), "theirs");
    EXPECT_FALSE(FileExists(temp + "example.com/!Packed_summary.htm"));
}

class HXCliZipTest : public HXCliToolsTest
{
protected:
    void SetUp() override
    {
        HXCliToolsTest::SetUp();
        m_previous = fs::current_path();
        fs::create_directories(Home().Path() / "work");
        fs::current_path(Home().Path() / "work");
    }
    void TearDown() override
    {
        fs::current_path(m_previous);
        HXCliToolsTest::TearDown();
    }
    std::string Work(const std::string& relative) const { return (Home().Path() / "work" / relative).string(); }
    std::string Write(const std::string& relative, const std::string& bytes) const
    {
        return Home().WriteFile("work/" + relative, bytes);
    }

private:
    fs::path m_previous;
};

TEST_F(HXCliZipTest, AddListExtractAndDeleteWorkOnOneArchive)
{
    const std::string big(5000, 'a');
    Write("site/index.html", "<html>home</html>");
    Write("site/big.txt", big);
    Write("site/img/logo.gif", "GIF89a....");
    Write("notes.txt", "first notes");

    const TRun added = Run(cli::CommandZip, {"add", "out.zip", "site", "--recurse"});
    EXPECT_EQ(added.status, cli::kExitOk) << added.err;
    EXPECT_EQ(added.out, "  added: site/big.txt\n  added: site/img/logo.gif\n  added: site/index.html\n"
                         "3 entries added, 0 updated in out.zip\n");
    if (HaveUnzip())
    {
        EXPECT_TRUE(Contains(Shell("unzip -l " + Work("out.zip")), "site/img/logo.gif"));
    }

    Write("site/index.html", "<html>home, changed</html>");
    const TRun updated = Run(cli::CommandZip, {"add", "out.zip", "site/index.html", "notes.txt", "--level", "0"});
    EXPECT_EQ(updated.out, "updated: site/index.html\n  added: notes.txt\n1 entry added, 1 updated in out.zip\n");

    const TRun list = Run(cli::CommandZip, {"list", "out.zip"});
    EXPECT_EQ(list.status, cli::kExitOk) << list.err;
    // Size, packed size, ratio, date, time, name; the totals line sums the sizes.
    const std::vector<std::string> bigWords = Words(LineWith(list.out, "site/big.txt"));
    ASSERT_EQ(bigWords.size(), 6u) << list.out;
    EXPECT_EQ(bigWords[0], "5000");
    EXPECT_LT(std::stoll(bigWords[1]), 200);
    EXPECT_NE(bigWords[2], "0%");
    const std::vector<std::string> notesWords = Words(LineWith(list.out, "notes.txt"));
    ASSERT_GE(notesWords.size(), 3u) << list.out;
    EXPECT_EQ(std::vector<std::string>(notesWords.begin(), notesWords.begin() + 3),
              (std::vector<std::string>{"11", "11", "0%"}))
        << "stored at level 0";
    EXPECT_EQ(Words(LineWith(list.out, "entries")).front(), std::to_string(5000 + 26 + 10 + 11));
    EXPECT_TRUE(Contains(list.out, "  4 entries\n")) << list.out;
    const TRun masked = Run(cli::CommandZip, {"list", "out.zip", "*.txt"});
    EXPECT_TRUE(Contains(masked.out, "2 entries") && !Contains(masked.out, "logo.gif")) << masked.out;

    // A comment stored with the entry is listed after its name.
    TXceedZip zip;
    zip.ZipFileName = Work("out.zip");
    zip.BaseFolder = Work("");
    zip.FilesToProcess = {"notes.txt"};
    zip.OnFileComment = [](const std::string&, std::string& comment) { comment = "read me"; };
    ASSERT_EQ(zip.Add(), xcd::Success);
    EXPECT_TRUE(Contains(Run(cli::CommandZip, {"list", "out.zip", "notes.txt"}).out, "notes.txt  (read me)"));

    const TRun extracted = Run(cli::CommandZip, {"extract", "out.zip", "x"});
    EXPECT_EQ(extracted.status, cli::kExitOk) << extracted.err;
    EXPECT_TRUE(Contains(extracted.out, "Extracted 4 entries to x"));
    EXPECT_EQ(ReadWholeFile(Work("x/site/big.txt")).value_or(""), big);
    EXPECT_EQ(ReadWholeFile(Work("x/site/index.html")).value_or(""), "<html>home, changed</html>");

    // Existing files are kept and named unless --overwrite is given.
    Write("x/notes.txt", "my edits");
    const TRun kept = Run(cli::CommandZip, {"extract", "out.zip", "x", "*.txt"});
    EXPECT_EQ(kept.status, cli::kExitOk);
    EXPECT_TRUE(Contains(kept.out, "kept existing file") && Contains(kept.out, "notes.txt")) << kept.out;
    EXPECT_TRUE(Contains(kept.out, "(2 kept; --overwrite replaces existing files)")) << kept.out;
    EXPECT_EQ(ReadWholeFile(Work("x/notes.txt")).value_or(""), "my edits");
    const TRun replaced = Run(cli::CommandZip, {"extract", "out.zip", "x", "notes.txt", "--overwrite"});
    EXPECT_FALSE(Contains(replaced.out, "kept"));
    EXPECT_EQ(ReadWholeFile(Work("x/notes.txt")).value_or(""), "first notes");
    Run(cli::CommandZip, {"extract", "out.zip", "y", "*.gif"});
    EXPECT_TRUE(FileExists(Work("y/site/img/logo.gif")));
    EXPECT_FALSE(FileExists(Work("y/notes.txt")));

    const TRun deleted = Run(cli::CommandZip, {"delete", "out.zip", "*.gif", "nothing.here"});
    EXPECT_EQ(deleted.out, "deleted: site/img/logo.gif\n1 entry deleted from out.zip\n");
    if (HaveUnzip())
    {
        EXPECT_FALSE(Contains(Shell("unzip -l " + Work("out.zip")), "logo.gif"));
    }
    EXPECT_TRUE(Contains(Run(cli::CommandZip, {"delete", "out.zip", "*.png"}).out, "0 entries deleted"));
    Run(cli::CommandZip, {"delete", "out.zip", "*"});
    const TRun empty = Run(cli::CommandZip, {"list", "out.zip"});
    EXPECT_EQ(empty.status, cli::kExitOk);
    EXPECT_EQ(empty.out, "The Zip file is empty.\n");
}

TEST_F(HXCliZipTest, HostileEntriesBrokenArchivesAndBadArgumentsAreReported)
{
    // An archive with a name that climbs out of the extraction folder.
    int error = 0;
    zip_t* archive = zip_open(Work("hostile.zip").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    for (const char* name : {"../evil.txt", "good.txt"})
    {
        zip_source_t* source = zip_source_buffer(archive, "data", 4, 0);
        ASSERT_GE(zip_file_add(archive, name, source, ZIP_FL_ENC_UTF_8), 0);
    }
    ASSERT_EQ(zip_close(archive), 0);

    const TRun hostile = Run(cli::CommandZip, {"extract", "hostile.zip", "h"});
    EXPECT_EQ(hostile.status, cli::kExitOk);
    EXPECT_TRUE(Contains(hostile.err, "skipped ../evil.txt: " + XcdSkipReasonText(TXcdSkipReason::UnsafeName)))
        << hostile.err;
    EXPECT_TRUE(Contains(hostile.out, "Some files were skipped while extracting.")) << hostile.out;
    EXPECT_TRUE(FileExists(Work("h/good.txt")));
    EXPECT_FALSE(FileExists(Work("evil.txt")));

    // An entry that declares 1,000 bytes but inflates to far more: the sizes in its
    // local header and in the central directory are made to lie.
    archive = zip_open(Work("bomb.zip").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    const std::string inflated(200000, 'Z');
    ASSERT_GE(zip_file_add(archive, "bomb.bin", zip_source_buffer(archive, inflated.data(), inflated.size(), 0),
                           ZIP_FL_ENC_UTF_8),
              0);
    ASSERT_GE(zip_file_add(archive, "fine.txt", zip_source_buffer(archive, "fine", 4, 0), ZIP_FL_ENC_UTF_8), 0);
    ASSERT_EQ(zip_close(archive), 0);
    std::string bytes = ReadWholeFile(Work("bomb.zip")).value_or("");
    int patched = 0;
    for (const auto& [signature, sizeAt, nameAt] :
         {std::tuple{std::string("PK\x03\x04", 4), 22, 30}, std::tuple{std::string("PK\x01\x02", 4), 24, 46}})
        for (std::size_t at = bytes.find(signature); at != std::string::npos; at = bytes.find(signature, at + 1))
            if (bytes.compare(at + nameAt, 8, "bomb.bin") == 0)
            {
                bytes.replace(at + sizeAt, 4, std::string("\xE8\x03\x00\x00", 4));
                ++patched;
            }
    ASSERT_EQ(patched, 2);
    Write("bomb.zip", bytes);
    const TRun bomb = Run(cli::CommandZip, {"extract", "bomb.zip", "x"});
    EXPECT_EQ(bomb.status, cli::kExitFailed) << bomb.out;
    EXPECT_TRUE(Contains(bomb.err, "bomb.bin: " + XcdSkipReasonText(TXcdSkipReason::SizeMismatch))) << bomb.err;
    EXPECT_TRUE(Contains(bomb.err, "bomb.zip: The archive file is corrupted")) << bomb.err;
    EXPECT_FALSE(Contains(bomb.out, "Extracted")) << bomb.out;
    EXPECT_FALSE(FileExists(Work("x/bomb.bin")));
    EXPECT_TRUE(FileExists(Work("x/fine.txt"))) << "the sound entries are still extracted";

    const TRun missing = Run(cli::CommandZip, {"list", "missing.zip"});
    EXPECT_EQ(missing.status, cli::kExitFailed);
    EXPECT_EQ(missing.err, "harbex-cli: missing.zip: Could not find the archive file.\n");
    EXPECT_EQ(missing.out, "");
    Write("bad.zip", "this is no archive at all");
    const TRun bad = Run(cli::CommandZip, {"extract", "bad.zip", "b"});
    EXPECT_EQ(bad.status, cli::kExitFailed);
    EXPECT_TRUE(Contains(bad.err, "corrupted")) << bad.err;
    const TRun unreadable = Run(cli::CommandZip, {"add", "new.zip", "no-such-file"});
    EXPECT_EQ(unreadable.status, cli::kExitFailed);
    EXPECT_TRUE(Contains(unreadable.err, "skipped no-such-file")) << unreadable.err;
    EXPECT_FALSE(FileExists(Work("new.zip")));

    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"unpack", "a.zip"},
                                               {"list"},
                                               {"list", "a.zip", "*", "*"},
                                               {"extract", "a.zip"},
                                               {"add", "a.zip"},
                                               {"add", "a.zip", "f", "--level", "12"},
                                               {"add", "a.zip", "f", "--level"},
                                               {"delete", "a.zip"},
                                               {"extract", "a.zip", "d", "--force"}})
        EXPECT_THROW(Run(cli::CommandZip, args), cli::EUsageError) << (args.empty() ? "" : args.front());
}

TEST_F(HXCliToolsTest, ExplainAgreesWithTheFollowingRulesAndNamesTheDecidingRule)
{
    const std::string start = "http://example.com/docs/index.html";
    const std::string startDirectory = DirectoryURL(start);
    std::vector<THXProfile> profiles(8);
    profiles[0].Load(); // the defaults of a profile without keys
    profiles[1].FileTypes = {".HTML", ".gif", ".css"};
    profiles[1].Depth = -1;
    profiles[1].PageLocation = kLocationAnywhere;
    profiles[2].Depth = 2;
    profiles[2].PageLocation = kLocationStartSite;
    profiles[2].ResourceLocation = kLocationAnywhere;
    profiles[2].URLFiltersExclude = {"[PL]private", "cgi,run", "[RL]"};
    profiles[3].Depth = 5;
    profiles[3].PageLocation = kLocationStartSite;
    profiles[3].ResourceLocation = kLocationStartSite;
    profiles[3].URLFiltersInclude = {"[PL]docs,sub", "[AL]jpg"};
    profiles[4].Depth = 5;
    profiles[4].ResourceLocation = 7;
    profiles[4].PageLocation = kLocationAnywhere;
    profiles[4].URLFiltersInclude = {"[RL]gif"};
    profiles[5].Name = "Whole Site";
    profiles[5].FileName = app->ProfilesFolder() + "Whole Site.hxp";
    profiles[5].Load();
    profiles[6].FileName = app->ProfilesFolder() + "Images Only.hxp";
    profiles[6].Load();
    profiles[7].FileName = app->ProfilesFolder() + "Start Folder Only.hxp";
    profiles[7].Load();
    const std::vector<std::string> links = {"a.html",
                                            "sub/b.html",
                                            "../up.html",
                                            "/root.html",
                                            "http://other.example/x.html",
                                            "pic.gif",
                                            "sub/pic.jpg",
                                            "style.css",
                                            "http://o.example/a.js",
                                            "file.zip",
                                            "sub/",
                                            "search?q=1",
                                            "cgi/run.html",
                                            "private/p.html",
                                            "private/p.gif",
                                            "a.html#part",
                                            "DOC.Html",
                                            "http://example.com:8080/docs/p.html",
                                            "http://o.example/s.css"};
    const TFileTypeGroups groups = ReadGroups(app->Store());

    std::map<std::string, int> rules;
    int followed = 0;
    int refused = 0;
    for (std::size_t p = 0; p < profiles.size(); ++p)
    {
        auto task = SaveTask("P" + std::to_string(p), "General", start);
        task->Profile = profiles[p];
        task->Save();
        // The rules are those of the profile as the task file gives it back.
        THXTask reloaded(*app);
        reloaded.FileName = task->FileName;
        reloaded.Load();
        ASSERT_EQ(reloaded.Profile.URLFiltersExclude, profiles[p].URLFiltersExclude);
        for (const std::string& link : links)
        {
            for (const int level : {1, 3})
            {
                const TRun run =
                    Run(cli::CommandExplain, {link, "--task", task->Name, "--level", std::to_string(level)});
                ASSERT_EQ(run.status, cli::kExitOk) << link << run.err;
                const std::string url = ResolveAndNormalize(link, startDirectory);
                const bool expected =
                    ShouldFollow(reloaded.Profile, url, startDirectory, level, GroupOfURL(groups, url));
                EXPECT_EQ(Field(run.out, "URL"), url);
                EXPECT_EQ(Field(run.out, "Followed"), expected ? "yes" : "no")
                    << "profile " << p << ", level " << level << "\n"
                    << run.out;
                const std::string decided = Field(run.out, "Decided by");
                ++rules[decided.substr(0, decided.find(':'))];
                ++(expected ? followed : refused);
            }
        }
    }
    EXPECT_GT(followed, 40);
    EXPECT_GT(refused, 40);
    for (const char* rule :
         {"file types", "depth", "exclude filter", "include filters", "scripts and style sheets", "location"})
        EXPECT_GT(rules[rule], 0) << rule;
}

TEST_F(HXCliToolsTest, ExplainShowsTheReasonTheLocalFileAndTheStartPageLink)
{
    auto task = SaveTask("Docs", "General", "http://example.com/docs/index.html");
    task->Profile.Name = "Mine";
    task->Profile.Depth = 1;
    task->Profile.PageLocation = kLocationStartDirectory;
    task->Profile.ResourceLocation = kLocationAnywhere;
    task->Profile.URLFiltersExclude = {"[PL]private"};
    task->Profile.ConvertFollowedLinks = 1;
    task->Save();

    const TRun page = Run(cli::CommandExplain, {"sub/b.html#top", "--task", "Docs"});
    EXPECT_EQ(page.status, cli::kExitOk) << page.err;
    EXPECT_EQ(Field(page.out, "URL"), "http://example.com/docs/sub/b.html#top");
    EXPECT_EQ(Field(page.out, "File type"), "HTML (a page)");
    EXPECT_EQ(Field(page.out, "Profile"), "Mine");
    EXPECT_EQ(Field(page.out, "Level"), "1") << "a link on the start page by default";
    EXPECT_EQ(Field(page.out, "Decided by"), "location: the URL is below the start directory http://example.com/docs/");
    EXPECT_EQ(Field(page.out, "Local file"), Home().Folder() + "intranet/example.com/docs/sub/b.html");
    EXPECT_EQ(Field(page.out, "Start page link"), "sub/b.html#top  (converted to the local copy)");

    const TRun deep = Run(cli::CommandExplain, {"sub/b.html", "--task", "Docs", "--level=2"});
    EXPECT_EQ(Field(deep.out, "Decided by"), "depth: a page at level 2 is deeper than the profile's depth of 1");
    EXPECT_EQ(Field(deep.out, "Start page link"),
              "http://example.com/docs/sub/b.html  (left as it is: it leads to the web)");
    const TRun excluded = Run(cli::CommandExplain, {"private/p.html", "--task", "Docs"});
    EXPECT_EQ(Field(excluded.out, "Decided by"),
              "exclude filter: every word of the exclude group \"[PL]private\" occurs in the URL");
    const TRun resource =
        Run(cli::CommandExplain, {"http://cdn.example/private/p.gif", "--task", "Docs", "--level", "9"});
    EXPECT_EQ(Field(resource.out, "Followed"), "yes") << "the page filter and the depth leave resources alone";
    EXPECT_EQ(Field(resource.out, "File type"), "Images (a resource)");
    EXPECT_EQ(Field(resource.out, "Start page link"), "../../cdn.example/private/p.gif  (converted to the local copy)");

    for (const std::string bad : {"ftp://example.com/f.txt", "news://example.com/", "mailto:me@example.com", "#top"})
    {
        const TRun refused = Run(cli::CommandExplain, {bad, "--task", "Docs"});
        EXPECT_EQ(refused.status, cli::kExitFailed) << bad;
        EXPECT_TRUE(Contains(refused.err, bad)) << refused.err;
        EXPECT_EQ(refused.out, "");
    }
    EXPECT_THROW(Run(cli::CommandExplain, {"a.html"}), cli::EUsageError);
    EXPECT_THROW(Run(cli::CommandExplain, {"--task", "Docs"}), cli::EUsageError);
    EXPECT_THROW(Run(cli::CommandExplain, {"a.html", "--task", "Docs", "--level", "-1"}), cli::EUsageError);
    EXPECT_THROW(Run(cli::CommandExplain, {"a.html", "--task", "Nope"}), cli::EUsageError);
}

} // namespace
} // namespace hx
