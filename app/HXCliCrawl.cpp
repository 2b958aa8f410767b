// harbex-cli's crawl commands: copy, run, schedule and the demonstration run.

#include "app/HXCli.h"

#include <atomic>
#include <csignal>
#include <ctime>
#include <functional>
#include <set>
#include <filesystem>
#include <iostream>
#include <memory>
#include <ostream>
#include <system_error>

#include <unistd.h>

#include "app/HXCliDemoServer.h"
#include "app/HXCliJson.h"
#include "app/HXCliSession.h"
#include "core/HXApp.h"
#include "core/HXCookieJar.h"
#include "core/HXDateTime.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "core/HXTaskLock.h"
#include "engine/HXRenderStep.h"
#include "engine/HXRobots.h"
#include "net/HXProxy.h"
#include "net/HXSignIn.h"
#include "schedule/HXRunTask.h"
#include "schedule/HXSchedule.h"
#include "schedule/HXScheduler.h"
#include "shell/HXNewTask.h"

namespace hx::cli
{

namespace
{

// Two interrupts this close together end the program at once.
constexpr std::time_t kSecondInterruptSeconds = 3;

// Interrupts seen, and when the first came. A signal handler can only reach state
// like this; nothing else in the program writes it.
std::atomic<int> g_interrupts{0};
std::atomic<std::time_t> g_firstInterrupt{0};

extern "C" void OnInterrupt(int)
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    if (g_interrupts.fetch_add(1) == 0)
    {
        g_firstInterrupt = now.tv_sec;
        constexpr char message[] = "\nStopping the task (Ctrl+C again to quit at once)...\n";
        [[maybe_unused]] const auto written = ::write(STDERR_FILENO, message, sizeof(message) - 1);
        return;
    }
    if (now.tv_sec - g_firstInterrupt.load() <= kSecondInterruptSeconds)
        ::_exit(kExitInterrupted);
    g_firstInterrupt = now.tv_sec;
}

// Ctrl+C stops the running task while this object lives.
class TInterruptGuard
{
public:
    TInterruptGuard()
    {
        g_interrupts = 0;
        struct sigaction action
        {
        };
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &m_previousInt);
        ::sigaction(SIGTERM, &action, &m_previousTerm);
    }
    ~TInterruptGuard()
    {
        ::sigaction(SIGINT, &m_previousInt, nullptr);
        ::sigaction(SIGTERM, &m_previousTerm, nullptr);
    }
    TInterruptGuard(const TInterruptGuard&) = delete;
    TInterruptGuard& operator=(const TInterruptGuard&) = delete;

private:
    struct sigaction m_previousInt
    {
    };
    struct sigaction m_previousTerm
    {
    };
};

// "--pacing classic|fast": the pacing of this program's runs, whatever the setting says.
std::optional<TRunPacing> PacingOption(const TCliArgs& args)
{
    const auto value = args.Value("--pacing");
    if (!value)
        return std::nullopt;
    if (*value == "classic")
        return TRunPacing::Classic();
    if (*value == "fast")
        return TRunPacing::Fast();
    throw EUsageError("--pacing is \"classic\" or \"fast\", not \"" + *value + "\"");
}

// Where a command that runs tasks prints: results (the summary or JSON) to `Out`,
// the lines around a run to `Notes` (nowhere for --quiet and --json), problems to `Err`.
struct TRunOutput
{
    TOutputMode Mode;
    std::ostream& Out;
    std::ostream& Notes;
    std::ostream& Err;
};

// Prints each item a run is done with: its state, size and address (and why it failed).
std::function<void(const THXQItem&)> ItemPrinter(const TRunOutput& output)
{
    if (!output.Mode.Verbose)
        return {};
    std::ostream& out = output.Out;
    if (output.Mode.Json)
        return [&out](const THXQItem& item)
        {
            TJsonObject line;
            line.Add("type", "item")
                .Add("state", StateText(item.State))
                .Add("ok", item.State != kStateError)
                .Add("size", item.Size)
                .Add("url", item.URL.str())
                .Add("status_text", item.StatusText.str());
            out << line.Text() << "\n" << std::flush;
        };
    return [&out](const THXQItem& item)
    {
        out << StateText(item.State) << " " << item.Size << " " << item.URL.str();
        if (item.State == kStateError && !item.StatusText.empty())
            out << "  (" << item.StatusText.str() << ")";
        out << "\n" << std::flush;
    };
}

TSessionOptions OptionsFor(const TRunOutput& output, int connections, const TCliArgs& args)
{
    TSessionOptions options;
    options.Pacing = PacingOption(args);
    options.Connections = connections;
    // The live line is for a person at a terminal; one line per item does not mix with it.
    if (output.Mode.Quiet || output.Mode.Json)
        options.Progress = TProgressStyle::Quiet;
    else if (&output.Out == &std::cout && ::isatty(STDOUT_FILENO) && !output.Mode.Verbose)
        options.Progress = TProgressStyle::Live;
    else
        options.Progress = TProgressStyle::Lines;
    options.OnItemDone = ItemPrinter(output);
    return options;
}

// "--wait SECONDS": the host delay of this program's runs, whatever the setting (or
// the pacing chosen with --pacing) says.
void ApplyWait(THXApp& app, const TCliArgs& args, TSessionOptions& options)
{
    const auto wait = WaitOption(args);
    if (!wait)
        return;
    app.OverrideHostDelay(static_cast<int>(wait->count()));
    if (options.Pacing)
        options.Pacing->Dispatch.HostDelay = *wait;
}

// The status that tells most of several runs: a failure, then a stop, then failed items.
int WorseStatus(int first, int second)
{
    auto rank = [](int status)
    {
        switch (status)
        {
        case kExitOk:
            return 0;
        case kExitItemErrors:
            return 1;
        case kExitStopped:
            return 2;
        default:
            return 3;
        }
    };
    return rank(second) > rank(first) ? second : first;
}

// "--load-cookies FILE", and for copy "--login-url URL --post-data FIELDS": the
// cookies the task's run starts with, beside those it keeps. False (the problem
// printed) when the file cannot be read or the sign-in fails. Cookie values are
// never printed.
bool PrepareCookies(THXApp& app, const TCliArgs& args, THXTask& task, std::ostream& out, std::ostream& err)
{
    const auto file = args.Value("--load-cookies");
    const auto login = args.Value("--login-url");
    const auto fields = args.Value("--post-data");
    if (login.has_value() != fields.has_value())
        throw EUsageError("give --login-url and --post-data together");
    THXCookieJar jar;
    std::string error;
    if (file)
    {
        if (!jar.LoadFile(*file, error))
        {
            err << "harbex-cli: " << error << "\n";
            return false;
        }
        out << "Cookies loaded from " << *file << ": " << jar.Count() << "\n";
    }
    if (login)
    {
        const TTransferProxy proxy = TransferProxy(app);
        TSignInRequest request{*login,
                               *fields,
                               task.UserAgent(),
                               proxy.Proxy,
                               proxy.UserName,
                               proxy.Password,
                               TTLSOptions{app.CheckCertificates(), app.CAFile()}};
        const TSignInResult result = SignIn(request, jar);
        if (!result.SignedIn)
        {
            err << "harbex-cli: signing in at " << *login << " failed: " << result.Error << "\n";
            return false;
        }
        out << "Signed in at " << *login << " (" << jar.Count() << " cookies kept)\n";
    }
    for (THXCookie& cookie : jar.Cookies())
        task.CookiesToAdd.push_back(std::move(cookie));
    return true;
}

// The items of the task's queue whose fetch failed, leaving out the pages kept out
// by robots.txt: the run obeyed the site there, nothing went wrong.
int FailedItems(THXTask& task)
{
    constexpr int kStateField = 0;
    constexpr int kStatusTextField = 1;
    if (task.PageErrors + task.ResourceErrors == 0)
        return 0;
    if (task.QueueLineCount() == 0)
        task.LoadQueueLines();
    int failed = 0;
    for (int pair = 0; pair < task.QueueLineCount() / 2; ++pair)
        if (task.RecordField(pair, kStateField) == std::to_string(kStateError) &&
            task.RecordField(pair, kStatusTextField) != kRobotsDisallowedText)
            ++failed;
    return failed;
}

// Runs the task in a session of its own and prints what became of it.
int RunTaskInSession(THXApp& app, const std::shared_ptr<THXTask>& task, int connections, const TCliArgs& args,
                     const TRunOutput& output)
{
    std::ostream& notes = output.Notes;
    TInterruptGuard interrupts;
    TSessionOptions options = OptionsFor(output, connections, args);
    ApplyWait(app, args, options);
    THXCliSession session(app, notes, output.Err, std::move(options));
    session.StopRequest = &g_interrupts;
    notes << "Copying " << task->URL << "\n";
    const TRunResult result = session.RunTask(task);
    if (!result.Started && !session.Runner().RefusalText().empty())
        return kExitFailed; // another process runs the task: its state is not ours to print
    if (result.Started)
        session.FinishZipRun(*task);
    int status = ExitStatusOf(result);
    if (result.Completed && task->PagesSaved > 0 && task->PageErrors >= task->PagesSaved)
    {
        // The run ended, but not one page came: that is no copy.
        output.Err << "harbex-cli: no page could be fetched from " << task->URL << "\n";
        status = kExitFailed;
    }
    else if (result.Completed && FailedItems(*task) > 0)
        status = kExitItemErrors;
    if (output.Mode.Json)
        output.Out << session.SummaryJson(*task, status) << "\n" << std::flush;
    else if (!output.Mode.Quiet)
        session.PrintSummary(*task);
    if (!result.FailureText.empty())
        notes << "Stopped: " << result.FailureText << "\nResume with: harbex-cli run \"" << task->FileName
              << "\" --resume\n";
    if (result.Interrupted)
        notes << "Stopped. Resume with: harbex-cli run \"" << task->FileName << "\" --resume\n";
    if (status == kExitItemErrors)
        notes << "Some items failed: \"harbex-cli report \"" << task->FileName
              << "\" --errors\" lists them, \"--recover\" fetches them again\n";
    return status;
}

// RunTaskInSession, then the task's cookies saved where "--save-cookies" says.
int RunInSession(THXApp& app, const std::shared_ptr<THXTask>& task, int connections, const TCliArgs& args,
                 const TRunOutput& output)
{
    const int status = RunTaskInSession(app, task, connections, args, output);
    // "--save-cookies FILE": the task's cookies as the run left them, for wget,
    // curl or another task.
    if (const auto file = args.Value("--save-cookies"))
    {
        std::string error;
        if (!task->Cookies.SaveFile(*file, error))
        {
            output.Err << "harbex-cli: " << error << "\n";
            return status == kExitOk ? kExitFailed : status;
        }
        output.Notes << "Cookies saved to " << *file << ": " << task->Cookies.Count() << "\n";
    }
    return status;
}

// The addresses or task files of a command: its argument, then the lines of -i FILE.
std::vector<std::string> Targets(const TCliArgs& args, std::string_view what)
{
    std::vector<std::string> targets = args.Positional();
    if (const auto file = args.Value("--input-file"))
    {
        const std::vector<std::string> lines = InputLines(*file);
        targets.insert(targets.end(), lines.begin(), lines.end());
        if (targets.empty())
            throw EUsageError("the input file " + *file + " names no " + std::string(what));
    }
    return targets;
}

// "schedule TASKFILE WHEN": sets the task's schedule as the scheduler window's
// Schedule command does (Status 1, the text, the next run), or unschedules it for
// "Never". The other tasks are left alone: the active-task list read at start-up
// keeps them listed, and none of their files is loaded or written.
int ScheduleTaskAsTyped(THXApp& app, const std::string& given, const std::string& when, std::ostream& out,
                        std::ostream& err)
{
    TTypedSchedule typed;
    try
    {
        typed = ParseTypedSchedule(when, Now());
    }
    catch (const EConvertError& error)
    {
        throw EUsageError(error.what());
    }
    auto task = std::make_shared<THXTask>(app);
    task->FileName = ResolveTaskFile(app, given);
    TSystemClock clock;
    THXScheduler scheduler(app, clock);
    task->Load();
    // The run's own saves would undo the change, and the change would undo the run's.
    if (const int holder = TaskRunsElsewhere(task->FileName); holder != 0)
    {
        err << "harbex-cli: " << RunningElsewhereText(task->Name, holder) << "\n";
        return kExitFailed;
    }
    if (typed.Text.empty())
    {
        scheduler.UnscheduleTasks({task});
        out << "Task \"" << task->Name << "\": not scheduled\n";
        return kExitOk;
    }
    // "Now" needs no next run: the task is due at the next tick.
    scheduler.ScheduleTask(*task, typed.Text, typed.Text == kScheduleNow ? task->NextRun : typed.NextRun);
    out << "Task \"" << task->Name << "\": " << task->Schedule;
    if (task->Schedule != kScheduleNow)
        out << " (next run " << ScheduleMoment(task->NextRun) << ")";
    out << "\nIt runs while \"harbex-cli schedule\" (or the window) is running.\n";
    return kExitOk;
}

} // namespace

int ExitStatusOf(const TRunResult& result)
{
    if (!result.Started || !result.FailureText.empty())
        return kExitFailed;
    return result.Completed ? kExitOk : kExitStopped;
}

std::shared_ptr<THXTask> NewTaskFromURL(THXApp& app, const TCliArgs& args, std::string address)
{
    TNewTaskRequest request;
    request.Address = std::move(address);
    request.Profile = args.Value("--profile").value_or("");
    if (request.Profile.empty())
        request.Profile = FileExists(app.ProfilesFolder() + "Whole Site.hxp") ? "Whole Site" : "Custom";
    const auto zip = args.Value("--zip");
    const auto folder = args.Value("--folder");
    namespace fs = std::filesystem;
    if (zip)
        request.TargetArchive = fs::absolute(*zip).string();
    else if (folder)
    {
        request.Intranet = true;
        request.Folder = fs::absolute(*folder).string();
    }
    else
        request.Intranet = app.GetSaveMode(0) == 1;
    request.Name = args.Value("--name").value_or("");
    request.Category = args.Value("--category").value_or("");

    std::shared_ptr<THXTask> task;
    try
    {
        task = hx::NewTaskFromURL(app, request);
    }
    catch (const EInvalidURL& error)
    {
        throw EUsageError(error.what());
    }
    catch (const ENewTaskError& error)
    {
        throw EUsageError(error.what());
    }
    if (folder && zip)
        throw EUsageError("give --folder or --zip, not both");
    if (const auto depth = args.IntValue("--depth", -1, 1000))
        task->Profile.Depth = *depth;
    if (args.Flag(kSitemaps))
        task->Profile.UseSitemaps = true;
    if (args.Flag(kRender))
        task->Profile.RenderPages = true;
    // The command runs the task at once, with or without a named profile.
    task->Schedule = std::string(kScheduleNow);
    task->Status = kStatusScheduled;
    return task;
}

namespace
{

// The value options and flags of copy and run besides their own.
std::set<std::string, std::less<>> With(std::set<std::string, std::less<>> own,
                                        const std::set<std::string, std::less<>>& more)
{
    own.insert(more.begin(), more.end());
    return own;
}

// One address of copy: a new task with the options, run to its end.
int CopyAddress(THXApp& app, const TCliArgs& args, const std::string& address, int connections,
                const TRunOutput& output)
{
    std::shared_ptr<THXTask> task = NewTaskFromURL(app, args, address);
    ApplyTaskOptions(app, args, *task);
    ApplyWarcOption(args, *task);
    if (!PrepareCookies(app, args, *task, output.Notes, output.Err))
        return kExitFailed;
    if (task->Profile.RenderPages && !RenderProgramPresent(RenderProgramPath()))
    {
        output.Err << "harbex-cli: --render refused: " << kRenderUnavailableText
                   << " (it is not installed); the copy goes on without rendering\n";
        task->Profile.RenderPages = false;
    }
    task->Save();
    RememberURL(app, task->URL);
    return RunInSession(app, task, connections, args, output);
}

// One task file of run, run to its end with the options.
int RunTaskFile(THXApp& app, const TCliArgs& args, const std::string& given, int connections, const TRunOutput& output)
{
    std::ostream& err = output.Err;
    auto task = std::make_shared<THXTask>(app);
    task->FileName = ResolveTaskFile(app, given);
    task->Load();
    // Before anything reads its queue or takes its cookies: another process's run
    // is left alone. (The runner's lock decides; this spares the work before it.)
    if (const int holder = TaskRunsElsewhere(task->FileName); holder != 0)
    {
        err << "harbex-cli: " << RunningElsewhereText(task->Name, holder) << "\n";
        return kExitFailed;
    }
    if (const std::string damage = task->FileDamage(); !damage.empty())
    {
        // Run, it would fetch into no copy and end as if complete.
        err << "harbex-cli: " << damage << "; the task was not run\n";
        return kExitFailed;
    }
    // The task's own settings given here change the task as its editor would.
    ApplyTaskOptions(app, args, *task);
    ApplyWarcOption(args, *task);
    const bool choiceGiven = args.CountFlags({"--restart", "--resume", "--update", "--recover", "--map"}) > 0;
    if (!choiceGiven && (task->Status == kStatusZipped || task->Status == kStatusTaskComplete) &&
        FileExists(task->QueueFileName()))
    {
        // Resumed, a finished queue would end at once and change nothing: say what
        // would, as the Run Task dialog offers it.
        const TRunTaskView view = RunTaskView(*task);
        output.Notes << "Task \"" << task->Name << "\": " << view.Message
                     << "\nNothing is left to fetch. harbex-cli run \"" << task->Name
                     << "\" --update fetches what changed on the server (SmartUpdate)";
        if (view.SmartRecoveryEnabled)
            output.Notes << ", --recover retries what failed (SmartRecovery)";
        output.Notes << ", --restart copies the site again.\n";
        return kExitOk;
    }
    if (task->Status == kStatusDownloading || task->Status == kStatusComplete)
    {
        // A run that was cut off (the program ended without stopping it) goes on.
        task->Status = kStatusIncomplete;
    }
    if (args.Flag("--restart"))
        task->RunMode = kRunRestart;
    else if (args.Flag("--resume"))
        task->RunMode = kRunResume;
    else if (args.Flag("--update"))
        task->RunMode = kRunSmartUpdate;
    else if (args.Flag("--recover"))
        task->RunMode = kRunSmartRecovery;
    else if (args.Flag("--map"))
        task->RunMode = kRunMap;
    else
    {
        // No choice given: as the run dialog, a task whose queue holds entries takes the
        // dialog's preselected choice (Resume); one that never ran keeps its run mode.
        task->LoadQueueLines();
        if (task->QueueLineCount() > 0)
            task->RunMode = RunModeOfChoice(RunTaskView(*task).Selected);
    }
    if (task->RunMode != kRunRestart && task->RunMode != kRunMap && !FileExists(task->QueueFileName()))
        task->RunMode = kRunRestart;
    if (!PrepareCookies(app, args, *task, output.Notes, err))
        return kExitFailed;
    return RunInSession(app, task, connections, args, output);
}

// Runs `one` for each target in turn; a stop (Ctrl+C) ends the list there.
int ForEachTarget(const std::vector<std::string>& targets, const std::function<int(const std::string&)>& one)
{
    int status = kExitOk;
    for (const std::string& target : targets)
    {
        const int result = one(target);
        status = WorseStatus(status, result);
        if (result == kExitStopped || g_interrupts.load() > 0)
            break;
    }
    return status;
}

} // namespace

int CommandCopy(THXApp& app, const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    const TCliArgs args(
        arguments,
        With({"--profile", "--folder", "--zip", "--depth", "--connections", "--name", "--category", "--pacing",
              "--load-cookies", "--save-cookies", "--login-url", "--post-data", std::string(kConnectTimeOut)},
             TaskValueOptions()),
        With({std::string(kNoCheckCertificate), std::string(kNoRobots), std::string(kNoHttp2), std::string(kSitemaps),
              std::string(kRender)},
             OutputFlags()));
    const std::vector<std::string> addresses = Targets(args, "address");
    if (addresses.empty() || (args.Positional().size() > 1))
        throw EUsageError("copy needs exactly one address (or -i FILE with one address a line)");
    if (addresses.size() > 1 && args.Value("--name"))
        throw EUsageError("give no --name with -i: each address names its own task");
    ApplyConnectionFlags(app, args);
    const int connections = args.IntValue("--connections", kMinSlots, kMaxSlots).value_or(0);
    std::ostream nowhere(nullptr);
    const TOutputMode mode = OutputModeOf(args);
    const TRunOutput output{mode, out, mode.Quiet || mode.Json ? nowhere : out, err};
    // Every option is checked before the first copy starts.
    (void)WaitOption(args);
    return ForEachTarget(addresses, [&](const std::string& address)
                         { return CopyAddress(app, args, address, connections, output); });
}

int CommandRun(THXApp& app, const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    const TCliArgs args(
        arguments,
        With({"--connections", "--pacing", "--load-cookies", "--save-cookies", std::string(kConnectTimeOut)},
             TaskValueOptions()),
        With({"--restart", "--resume", "--update", "--recover", "--map", std::string(kNoCheckCertificate),
              std::string(kNoRobots), std::string(kNoHttp2)},
             OutputFlags()));
    const std::vector<std::string> files = Targets(args, "task file");
    if (files.empty() || args.Positional().size() > 1)
        throw EUsageError("run needs exactly one task file (or -i FILE with one task file a line)");
    ApplyConnectionFlags(app, args);
    if (args.CountFlags({"--restart", "--resume", "--update", "--recover", "--map"}) > 1)
        throw EUsageError("give at most one of --restart, --resume, --update, --recover, --map");
    const int connections = args.IntValue("--connections", kMinSlots, kMaxSlots).value_or(0);
    std::ostream nowhere(nullptr);
    const TOutputMode mode = OutputModeOf(args);
    const TRunOutput output{mode, out, mode.Quiet || mode.Json ? nowhere : out, err};
    (void)WaitOption(args);
    return ForEachTarget(files,
                         [&](const std::string& file) { return RunTaskFile(app, args, file, connections, output); });
}

int CommandSchedule(THXApp& app, const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    const TCliArgs args(arguments, {"--pacing", std::string(kConnectTimeOut)},
                        {std::string(kNoCheckCertificate), std::string(kNoRobots), std::string(kNoHttp2)});
    ApplyConnectionFlags(app, args);
    if (args.Positional().size() == 2)
        return ScheduleTaskAsTyped(app, args.Positional()[0], args.Positional()[1], out, err);
    if (!args.Positional().empty())
        throw EUsageError("schedule takes no arguments, or a task file and a schedule");
    TInterruptGuard interrupts;
    THXCliSession session(app, out, err, OptionsFor(TRunOutput{{}, out, out, err}, 0, args));
    session.StopRequest = &g_interrupts;
    out << "Watching " << app.ActiveTasksFile() << " for due tasks (Ctrl+C ends)...\n";
    session.RunSchedule();
    return kExitOk;
}

int CommandDemo(THXApp& app, const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    const TCliArgs given(arguments, {"--pacing"}, {});
    if (!given.Positional().empty())
        throw EUsageError("demo takes no arguments");
    const std::string data = app.Environment().dataFolder;
    const std::string site = data.empty() ? std::string() : IncludeTrailingSlash(data) + "sample-site";
    if (site.empty() || !FileExists(site + "/index.html"))
    {
        err << "harbex-cli: the sample site was not found (installed data folder: " << (data.empty() ? "none" : data)
            << ")\n";
        return kExitFailed;
    }
    THXDemoServer server(site);
    const std::string folder = app.GetDownloadsFolder() + "sample-site/";
    out << "Serving the sample site from " << site << " at " << server.URL("/") << "\n";
    const TCliArgs args({"--folder", folder, "--name", "Sample Site", "--profile", "Whole Site"},
                        {"--folder", "--name", "--profile"}, {});
    std::shared_ptr<THXTask> task = NewTaskFromURL(app, args, server.URL("/index.html"));
    task->Save();
    const int status = RunInSession(app, task, 0, given, TRunOutput{{}, out, out, err});
    if (status == kExitOk)
        out << "\nOpen the copy in a browser: " << LocalStartPage(*task) << "\n"
            << "Other commands: harbex-cli --help\n";
    return status;
}

} // namespace hx::cli
