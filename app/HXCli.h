#pragma once

// The commands of harbex-cli. Each takes the arguments after its name, prints to
// `out` (results) and `err` (problems), and returns the process's exit status.
// Bad arguments throw EUsageError; main prints its text and a hint and exits with 2.

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
// "--sitemaps" (copy): the new task's profile reads the start site's sitemaps and
// copies the pages they list, as the profile setting "Use Sitemaps" does.
inline constexpr std::string_view kSitemaps = "--sitemaps";
// "--connect-timeout N": the same commands give a host this many seconds (5 to 300)
// to be looked up and connected to, whatever the "Connect Time Out" setting says.
inline constexpr std::string_view kConnectTimeOut = "--connect-timeout";
// Applies the connection flags given to the settings of this run (never stored).
void ApplyConnectionFlags(THXApp& app, const TCliArgs& args);

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
