#pragma once

// The commands of harbex-cli. Each takes the arguments after its name, prints to
// `out` (results) and `err` (problems), and returns the process's exit status.
// Bad arguments throw EUsageError; main prints its text and a hint and exits with 2.

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace hx
{
class THXApp;
class THXTask;
struct TRunResult;
} // namespace hx

namespace hx::cli
{

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
// The task was stopped (Ctrl+C) before it completed; it can be resumed.
inline constexpr int kExitStopped = 3;
// The copy completed, but some of its items failed (an error answer of a server, a
// network failure): the error report lists them, and "run --recover" fetches them again.
inline constexpr int kExitItemErrors = 8;
// A second Ctrl+C within a few seconds of the first ended the program at once.
inline constexpr int kExitInterrupted = 130;

class EUsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Options and positional arguments of one command. Options are "--name value",
// "--name=value" or flags ("--name"); "--" ends the options.
class TCliArgs
{
public:
    // Throws EUsageError for an unknown option, a missing value or a value given to a flag.
    TCliArgs(const std::vector<std::string>& args, const std::set<std::string, std::less<>>& valueOptions,
             const std::set<std::string, std::less<>>& flagOptions);

    const std::vector<std::string>& Positional() const { return m_positional; }
    bool Flag(std::string_view name) const;
    // The last value given for the option.
    std::optional<std::string> Value(std::string_view name) const;
    // Every value given for a repeatable option, in order.
    std::vector<std::string> Values(std::string_view name) const;
    // The option as a whole number in [minimum, maximum]; EUsageError names the
    // option when the text is not one.
    std::optional<int> IntValue(std::string_view name, int minimum, int maximum) const;
    // How many of the given flags were set (for "at most one of" checks).
    int CountFlags(std::initializer_list<std::string_view> names) const;

private:
    std::vector<std::string> m_positional;
    std::set<std::string, std::less<>> m_flags;
    std::vector<std::pair<std::string, std::string>> m_values;
};

// One option of harbex-cli: whether it takes a value, and the commands that take it.
struct TOptionInfo
{
    std::string_view Name;
    bool TakesValue = false;
    std::string_view Commands;
};
// The option of any command, null when no command has it.
const TOptionInfo* FindOption(std::string_view name);

// The options of copy and run that set the task and its profile copy (and --wait,
// -i), and the output flags of the commands that print per task.
const std::set<std::string, std::less<>>& TaskValueOptions();
const std::set<std::string, std::less<>>& OutputFlags();
// "--limit-rate RATE": bytes per second, "k" and "M" for 1024 and 1024*1024, 0 for
// no cap. Throws EUsageError for anything else.
std::int64_t ParseRate(const std::string& text);
// Sets the task and its profile copy from --include, --exclude, --types, --pages,
// --resources, --user, --password-file, --header, --user-agent and --limit-rate.
void ApplyTaskOptions(THXApp& app, const TCliArgs& args, THXTask& task);
// "--wait SECONDS": the host delay of this run, none when not given.
std::optional<std::chrono::milliseconds> WaitOption(const TCliArgs& args);

// How a command that runs tasks prints: --quiet (errors only), --verbose (a line
// per finished item), --json (JSON objects instead of text).
struct TOutputMode
{
    bool Quiet = false;
    bool Verbose = false;
    bool Json = false;
};
TOutputMode OutputModeOf(const TCliArgs& args);
// The lines of an input file ("-": standard input), without empty lines and "#" comments.
std::vector<std::string> InputLines(const std::string& file);

// harbex-cli tasks [CATEGORY]
int CommandTasks(THXApp& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// harbex-cli report TASKFILE [--errors]
int CommandReport(THXApp& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// harbex-cli zip list|extract|add|delete ARCHIVE ...
int CommandZip(THXApp& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// harbex-cli explain URL --task TASKFILE
int CommandExplain(THXApp& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// harbex-cli copy URL [...]
int CommandCopy(THXApp& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// harbex-cli run TASKFILE [--restart | --resume | --update | --recover | --map]
int CommandRun(THXApp& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// harbex-cli schedule [TASKFILE WHEN]
int CommandSchedule(THXApp& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// harbex-cli demo: copies the bundled sample site from a local server.
int CommandDemo(THXApp& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

using hx::TRunResult;
// The exit status for what became of a run: 0 completed, 3 stopped on request, 1
// not started or stopped by a failure (a full disk).
int ExitStatusOf(const TRunResult& result);

// A new task for the address with the options of `copy` (--profile, --folder,
// --zip, --depth, --sitemaps, --name, --category), made as the main window's address box makes
// one, with "Whole Site" when no profile is given; --zip adds to that archive,
// --folder copies into that folder, else the "Save Mode" setting decides.
// Schedule "Now". Not saved yet. Throws EUsageError for bad options or an address
// the profile cannot use.
std::shared_ptr<THXTask> NewTaskFromURL(THXApp& app, const TCliArgs& args, std::string address);

// "--no-check-certificate": the flag of the commands that fetch (copy, run,
// schedule). https servers are then not asked for a valid certificate.
inline constexpr std::string_view kNoCheckCertificate = "--no-check-certificate";
// "--no-robots": the same commands fetch every page the profile allows, whatever
// the sites' robots.txt files say.
inline constexpr std::string_view kNoRobots = "--no-robots";
// "--no-http2": the same commands ask https servers over HTTP/1.1 only, whatever
// the "Use HTTP/2" setting says.
inline constexpr std::string_view kNoHttp2 = "--no-http2";
// "--sitemaps" (copy): the new task's profile reads the start site's sitemaps and
// copies the pages they list, as the profile setting "Use Sitemaps" does.
inline constexpr std::string_view kSitemaps = "--sitemaps";
// "--render" (copy): the new task's profile renders every page in an offscreen
// browser (harbex-render) and keeps what its scripts built, as the profile setting
// "Render Pages" does. Without the renderer it is refused with a message and the
// copy goes on without it.
inline constexpr std::string_view kRender = "--render";
// "--connect-timeout N": the same commands give a host this many seconds (5 to 300)
// to be looked up and connected to, whatever the "Connect Time Out" setting says.
inline constexpr std::string_view kConnectTimeOut = "--connect-timeout";
// Applies the connection flags given to the settings of this run (never stored).
void ApplyConnectionFlags(THXApp& app, const TCliArgs& args);

// Where the command line keeps a Zip task's reports: a folder beside the archive,
// named after it ("example_org.zip" -> "example_org_reports/"), holding the unpacked
// copy the reports link to and, in its host folder, the report pages. Unlike the
// temporary folder the windows use, it stays when the program ends.
std::string ZipReportsFolder(const THXTask& task);
// The working folder the reports of the task describe: the copy's folder for a
// folder task, ZipReportsFolder for a Zip task.
std::string ReportsWorkingFolder(const THXTask& task);
// Unpacks the task's archive into ZipReportsFolder, replacing what is there;
// false (the problem printed to `err`) when that failed.
bool UnpackForReports(THXTask& task, std::ostream& err);
// "--warc FILE" (copy, run): the task archives every exchange of its runs, as
// sent and received, in that WARC file (gzip-compressed records; numbered files
// follow past 1 GB; a CDXJ index beside it). Stored in the task as its "WARC File".
inline constexpr std::string_view kWarc = "--warc";
// Sets the task's WARC file when the option is given.
void ApplyWarcOption(const TCliArgs& args, THXTask& task);

// A task file named on the command line: a path as given, else a name (with or
// without ".hxt") looked up under the Tasks folder, "General" first then every
// category. Throws EUsageError when no such file exists.
std::string ResolveTaskFile(THXApp& app, const std::string& given);

} // namespace hx::cli
