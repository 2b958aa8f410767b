// The "tasks" and "report" commands of harbex-cli: the task list of a category as
// the scheduler window shows it, and the summary, indexes and error report of a task.

#include "app/HXCli.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <exception>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/HXCliJson.h"
#include "archive/HXZipTemp.h"
#include "archive/XcdZipD4.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXIniFile.h"
#include "core/HXPaths.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "reports/HXErrorReport.h"
#include "reports/HXReportQueue.h"
#include "reports/HXTaskReport.h"
#include "schedule/HXSchedule.h"
#include "schedule/HXScheduler.h"

namespace hx::cli
{

namespace
{

namespace fs = std::filesystem;

// The scheduler window's columns the listing shows: all but the start page title
// and the download method, which make the lines too long for a terminal.
constexpr std::array<std::size_t, 10> kListedColumns = {0, 2, 3, 4, 5, 6, 7, 8, 9, 10};
constexpr std::size_t kDestinationColumn = 10;
constexpr std::string_view kDefaultCategory = "General";

// Characters, not bytes, so UTF-8 names line up.
std::size_t DisplayWidth(std::string_view text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Rows of cells in columns two blanks apart; the first row is the header. The last
// column is not padded, so no line ends in blanks.
void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::size_t> widths;
    for (const auto& row : rows)
    {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], DisplayWidth(row[column]));
    }
    for (const auto& row : rows)
    {
        std::string line;
        for (std::size_t column = 0; column < row.size(); ++column)
        {
            line += row[column];
            if (column + 1 < row.size())
                line += std::string(widths[column] - DisplayWidth(row[column]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out << line << "\n";
    }
}

// Every category folder below the Tasks folder, as paths relative to it, "General"
// first and the rest in byte order.
std::vector<std::string> AllCategories(const std::string& tasksFolder)
{
    std::vector<std::string> categories;
    std::error_code error;
    for (fs::recursive_directory_iterator it(tasksFolder, fs::directory_options::skip_permission_denied, error), end;
         !error && it != end; it.increment(error))
    {
        std::error_code statusError;
        if (it->is_directory(statusError))
            categories.push_back(it->path().lexically_relative(tasksFolder).generic_string());
    }
    std::sort(categories.begin(), categories.end(),
              [](const std::string& a, const std::string& b)
              {
                  if ((a == kDefaultCategory) != (b == kDefaultCategory))
                      return a == kDefaultCategory;
                  return a < b;
              });
    return categories;
}

std::string JoinedNames(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text.empty() ? std::string("none") : text;
}

// The category as given, checked to be a folder below the Tasks folder.
std::string CheckedCategory(THXApp& app, std::string given)
{
    while (given.size() > 1 && given.back() == '/')
        given.pop_back();
    const fs::path path(given);
    const bool climbs =
        std::any_of(path.begin(), path.end(), [](const fs::path& step) { return step == ".." || step == "."; });
    if (given.empty() || path.is_absolute() || climbs)
        throw EUsageError("a category is a folder name below the Tasks folder (" + app.TasksFolder() + "), not \"" +
                          given + "\"");
    if (!DirectoryExists(app.TasksFolder() + given))
        throw EUsageError("no task category \"" + given +
                          "\" (categories: " + JoinedNames(AllCategories(app.TasksFolder())) + ")");
    return given;
}

// Why a listed task file is not a task, or empty when it is one. Loading never fails
// (an unreadable file loads as an empty task), so the file is looked at again.
std::string TaskFileProblem(const std::string& path)
{
    if (!ReadWholeFile(path))
        return "cannot be read";
    if (!TIniFile(path).SectionExists("Task"))
        return "is not a task file (it has no [Task] section)";
    return {};
}

// Lists one category; returns false when a task file of it could not be listed.
// Listing writes nothing: each task file is read, and a stale run state is shown
// as the scheduler window shows it ("Incomplete") without being saved back.
// With `json` given, each task goes there as a JSON object instead of a table row.
bool ListCategory(THXApp& app, THXScheduler& scheduler, const std::string& category, std::ostream& out,
                  std::ostream& err, std::vector<std::string>* json = nullptr)
{
    bool complete = true;
    std::vector<std::shared_ptr<THXTask>> tasks;
    const std::string folder = IncludeTrailingSlash(app.TasksFolder() + category);
    for (const std::string& name : ListFiles(folder, "*.hxt"))
    {
        try
        {
            std::shared_ptr<THXTask> task = scheduler.CreateTask(folder + name);
            if (IsStaleRunStatus(task->Status))
                task->Status = kStatusIncomplete;
            tasks.push_back(std::move(task));
        }
        catch (const std::exception& loadError)
        {
            err << "harbex-cli: task file " << folder + name << ": " << loadError.what() << "\n";
            complete = false;
        }
    }

    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> header;
    for (const std::size_t column : kListedColumns)
        header.emplace_back(kTaskColumnCaptions[column]);
    rows.push_back(std::move(header));
    for (const std::shared_ptr<THXTask>& task : tasks)
    {
        if (const std::string problem = TaskFileProblem(task->FileName); !problem.empty())
        {
            err << "harbex-cli: task file " << task->FileName << " " << problem << "\n";
            complete = false;
            continue;
        }
        const TTaskRow row = TaskRow(*task);
        if (json != nullptr)
        {
            // The listed columns under their captions in snake case ("Last Run": "last_run").
            TJsonObject object;
            for (const std::size_t column : kListedColumns)
            {
                std::string key;
                for (const char c : kTaskColumnCaptions[column])
                    key += c == ' ' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                object.Add(key, column == kDestinationColumn ? task->Destination : row.Columns[column]);
            }
            object.Add("category", category).Add("task_file", task->FileName).Add("status_code", task->Status);
            json->push_back(object.Text());
            continue;
        }
        std::vector<std::string> cells;
        for (const std::size_t column : kListedColumns)
            // The window shows the destination with backslashes; here it stays a local path.
            cells.push_back(column == kDestinationColumn ? task->Destination : row.Columns[column]);
        rows.push_back(std::move(cells));
    }

    if (json != nullptr)
        return complete;
    const std::size_t count = rows.size() - 1;
    out << "Category: " << category << " (" << count << (count == 1 ? " task" : " tasks") << ")\n";
    if (count == 0)
        out << "  (no tasks)\n";
    else
        PrintTable(out, rows);
    return complete;
}

// The number of queue items whose transfer failed, as the error report lists them.
int FailedItemCount(const THXReportQueueLines& queueLines)
{
    int failed = 0;
    for (std::size_t record = 1; record < queueLines.size(); record += 2)
    {
        if (QueueField(queueLines[record], 0) == "3")
            ++failed;
    }
    return failed;
}

} // namespace

std::string ZipReportsFolder(const THXTask& task)
{
    std::string base = task.Destination;
    if (base.size() > 4 && SameTextNoCase(std::string_view(base).substr(base.size() - 4), ".zip"))
        base.resize(base.size() - 4);
    return base + "_reports/";
}

std::string ReportsWorkingFolder(const THXTask& task)
{
    return task.IntranetMode ? task.WorkingFolder() : ZipReportsFolder(task);
}

bool UnpackForReports(THXTask& task, std::ostream& err)
{
    TZipTempExtraction extraction;
    try
    {
        extraction = ExtractZipToFolder(task.Destination, ZipReportsFolder(task));
    }
    catch (const EFileError& error)
    {
        err << "harbex-cli: " << ZipReportsFolder(task) << ": " << error.what() << "\n";
        return false;
    }
    for (const auto& [name, reason] : extraction.Skipped)
        err << "harbex-cli: skipped " << name << ": " << XcdSkipReasonText(reason) << "\n";
    if (extraction.Result.Outcome == TXcdOutcome::Error)
        err << "harbex-cli: " << task.Destination << ": " << extraction.Result.Message << "\n";
    return !extraction.Result.Failed;
}

int CommandTasks(THXApp& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    const TCliArgs parsed(args, {}, {"--json"});
    const auto& positional = parsed.Positional();
    if (positional.size() > 1)
        throw EUsageError("extra argument: " + positional[1]);

    TSystemClock clock;
    THXScheduler scheduler(app, clock);
    if (parsed.Flag("--json"))
    {
        // One document: {"tasks": [...]}, every task of the categories listed.
        const std::vector<std::string> categories =
            positional.empty() ? AllCategories(app.TasksFolder())
                               : std::vector<std::string>{CheckedCategory(app, positional.front())};
        std::vector<std::string> tasks;
        bool complete = true;
        for (const std::string& category : categories)
            complete = ListCategory(app, scheduler, category, out, err, &tasks) && complete;
        out << TJsonObject().AddRaw("tasks", JsonArray(tasks)).Text() << "\n";
        return complete ? kExitOk : kExitFailed;
    }
    if (!positional.empty())
        return ListCategory(app, scheduler, CheckedCategory(app, positional.front()), out, err) ? kExitOk : kExitFailed;

    const std::vector<std::string> categories = AllCategories(app.TasksFolder());
    bool complete = true;
    for (std::size_t index = 0; index < categories.size(); ++index)
    {
        if (index > 0)
            out << "\n";
        complete = ListCategory(app, scheduler, categories[index], out, err) && complete;
    }
    if (categories.empty())
        out << "No task categories in " << app.TasksFolder() << "\n";
    return complete ? kExitOk : kExitFailed;
}

int CommandReport(THXApp& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    const TCliArgs parsed(args, {}, {"--errors"});
    const auto& positional = parsed.Positional();
    if (positional.empty())
        throw EUsageError("report needs a TASKFILE");
    if (positional.size() > 1)
        throw EUsageError("extra argument: " + positional[1]);

    auto task = std::make_shared<THXTask>(app);
    task->FileName = ResolveTaskFile(app, positional.front());
    task->Load();
    if (const std::string damage = task->FileDamage(); !damage.empty())
    {
        err << "harbex-cli: " << damage << "; no reports were written\n";
        return kExitFailed;
    }

    // Every report is made from the queue file a run leaves beside the task file.
    const std::string queueFile = task->QueueFileName();
    if (!FileExists(queueFile))
    {
        err << "harbex-cli: task \"" << task->Name << "\" has not been run yet (there is no queue file " << queueFile
            << "); run it first\n";
        return kExitFailed;
    }

    try
    {
        if (parsed.Flag("--errors"))
        {
            const int failed = FailedItemCount(ReadReportQueue(queueFile));
            const std::string report = WriteErrorReport(*task);
            out << "Error report: " << report << "\n";
            out << "Failed URLs: " << failed << "\n";
            return kExitOk;
        }

        if (!task->IntranetMode)
        {
            if (ZipResultMissing(*task))
            {
                err << "harbex-cli: the Zip file of task \"" << task->Name << "\" does not exist: "
                    << (task->Destination.empty() ? std::string("(no destination set)") : task->Destination) << "\n"
                    << "The task has not been run, or its Zip file was moved or deleted; run the task to make it "
                       "again.\n";
                return kExitFailed;
            }
            // The windows unpack into the temporary folder, which goes when they close;
            // here the copy and its reports go beside the archive, to be opened later.
            if (!UnpackForReports(*task, err))
                return kExitFailed;
        }

        THXTaskReport report(*task, app.BannerPage(), ReportsWorkingFolder(*task));
        const std::string summary = report.CreateReports();
        out << "Task summary: " << summary << "\n";
        out << "Page index: " << report.IndexFile(TReportIndex::Pages, 1) << "\n";
        out << "Image index: " << report.IndexFile(TReportIndex::Images, 1) << "\n";
        return kExitOk;
    }
    catch (const EFileError& error)
    {
        err << "harbex-cli: cannot write the reports of task \"" << task->Name << "\": " << error.what() << "\n";
        return kExitFailed;
    }
}

} // namespace hx::cli
