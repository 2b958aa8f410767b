// harbex-cli: the program without windows. It runs the same start-up as the
// windowed program (settings object, first-run set-up) and prints what it knows.

#include <clocale>
#include <cstdio>
#include <exception>
#include <iostream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <malloc.h>

#include "app/HXCli.h"
#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXVersion.h"
#include "shell/HXFirstRun.h"

namespace
{

constexpr std::string_view kUsage =
    R"(Usage: harbex-cli [--version] [--help] [--pacing classic|fast] <command> [arguments]

Copies web sites for offline use.

Commands:
  (none)        copy the bundled sample site from a local server, to see it work
  copy URL [--profile NAME] [--folder DIR | --zip FILE] [--depth N]
           [--connections N] [--name TASK] [--category C] [--sitemaps]
           [--no-check-certificate] [--no-robots] [--connect-timeout N]
           [--load-cookies FILE] [--save-cookies FILE]
           [--login-url URL --post-data FIELDS] [--warc FILE.warc.gz]
                create a task for the address (http or https) and run it to
                completion
  run TASKFILE [--restart | --resume | --update | --recover | --map]
               [--no-check-certificate] [--no-robots] [--connect-timeout N]
               [--load-cookies FILE] [--save-cookies FILE] [--warc FILE.warc.gz]
                run a task (Ctrl+C stops it); without a choice a task that
                has a queue resumes, as the Run Task dialog's default, and
                one that never ran starts with its own run mode
  tasks [CATEGORY]
                list the tasks of a category (all categories when none is given)
  report TASKFILE [--errors]
                write the task's summary and indexes (or its error report)
  schedule      start due tasks from the active-task list until interrupted
  schedule TASKFILE WHEN
                set a task's schedule; WHEN is "Now", "Never",
                "Every H hours, M mins", "Daily at HH:MM",
                "Weekly every Mon, Fri at HH:MM" or "Once at m/d/yyyy HH:MM"
                (24-hour times)
  zip list ARCHIVE [MASK] | zip extract ARCHIVE DIR [MASK...] [--overwrite]
      | zip add ARCHIVE FILE... [--recurse] | zip delete ARCHIVE MASK...
                work with Zip archives
  explain URL --task TASKFILE
                show how the task's profile treats the address
  settings      print the effective settings, folders and file type groups

A TASKFILE is a path or a task name under the Tasks folder.

Options:
  --pacing classic|fast
                how crawls wait: fast (the default "Pacing" setting) runs at the
                speed of the network; classic keeps the one-second cadence
  --no-check-certificate
                (copy, run, schedule) fetch from https servers whose certificate
                is not valid: untrusted, expired or for another host. For this
                run only; the "Check Certificates" setting stays as it is
  --no-robots   (copy, run, schedule) fetch the pages that sites' robots.txt
                files keep out. For this run only; the "Obey Robots" setting
                stays as it is
  --sitemaps    (copy) read the start site's sitemaps (robots.txt "Sitemap:"
                lines and /sitemap.xml) and copy the pages they list that the
                profile allows, also those no link leads to
  --load-cookies FILE
                (copy, run) add the cookies of a cookies.txt file (the Netscape
                format wget, curl and browser extensions write) to the task's
                own, which it keeps beside its queue
  --save-cookies FILE
                (copy, run) write the task's cookies to a cookies.txt file when
                the run ends
  --login-url URL --post-data FIELDS
                (copy) sign in before the crawl: POST the form fields
                ("user=ann&password=...", URL-encoded) to the address, follow
                its redirects and keep the cookies it sets
  --connect-timeout N
                (copy, run, schedule) give up on a host that is not looked up
                and connected to (secure handshake included) within N seconds,
                5 to 300. For this run only; the "Connect Time Out" setting
                (30 by default) stays as it is
  --warc FILE.warc.gz
                (copy, run) keep every request and answer of the task's runs,
                as sent and received, in a WARC file for replay tools; the task
                keeps the name, later runs append to it (304 answers of an
                update become revisit records), a numbered file follows past
                1 GB, and FILE.cdxj beside it indexes the answers
  --version     print the version and exit
  --help        print this text and exit

Environment:
  HARBEX_HOME   keep the settings file and every program folder under this folder
)";

std::string FolderOrProblem(hx::THXApp& app, std::string (hx::THXApp::*getter)())
{
    try
    {
        return (app.*getter)();
    }
    catch (const std::exception& error)
    {
        return std::string("(") + error.what() + ")";
    }
}

void PrintSettings(hx::THXApp& app)
{
    auto line = [](std::string_view name, const std::string& value)
    { std::cout << "  " << name << ": " << value << "\n"; };
    auto flag = [](bool value) { return std::string(value ? "yes" : "no"); };

    std::cout << "Files and folders\n";
    line("Settings file", app.Environment().settingsFile);
    line("Program folder", app.ProgramFolder());
    line("Tasks folder", app.TasksFolder());
    line("Profiles folder", app.ProfilesFolder());
    line("Skin folder", app.SkinFolder());
    line("Downloads folder", FolderOrProblem(app, &hx::THXApp::GetDownloadsFolder));
    line("Personal Intranet folder", FolderOrProblem(app, &hx::THXApp::GetIntranetFolder));
    line("Temporary folder", FolderOrProblem(app, &hx::THXApp::GetTempFolder));
    line("Installed data", app.Environment().dataFolder.empty() ? "(not found)" : app.Environment().dataFolder);

    std::cout << "\nSettings\n";
    line("Connections", std::to_string(app.Connections()));
    line("Priority", std::to_string(app.Priority()));
    line("Use Proxy", flag(app.UseProxy()));
    line("Proxy Address", app.ProxyAddress());
    line("Proxy Port", app.ProxyPort());
    line("Proxy Authorization", app.ProxyAuthorization().empty() ? "" : "(set)");
    line("Check Certificates", flag(app.CheckCertificates()));
    line("CA File", app.CAFile());
    line("Obey Robots", flag(app.ObeyRobots()));
    line("User Agent", app.UserAgentChoice().empty() ? "(default)" : app.UserAgentChoice());
    line("Agent text sent", app.UserAgent().empty() ? "(none)" : app.UserAgent());
    line("Browser", app.Browser().empty() ? "(none found)" : app.Browser());
    line("Skin", app.Skin());
    line("Last Category", app.LastCategory());
    line("Beep On Completion", flag(app.BeepOnCompletion()));
    line("Zip Properties First", flag(app.ZipPropertiesFirst()));
    line("No Ads", flag(app.NoAds()));
    line("Zip Last", flag(app.Store().ReadBool(hx::kSettingsKey, "Zip Last", false)));
    line("Max URL History", std::to_string(app.MaxURLHistory()));
    line("Max File History", std::to_string(app.MaxFileHistory()));
    line("Queue Save Interval", std::to_string(app.QueueSaveInterval()));
    line("Pacing", app.Pacing() == hx::kPacingClassic ? "0 (classic)" : "1 (fast)");
    line("Host Delay", std::to_string(app.HostDelay()) + " ms");
    line("Connect Time Out", std::to_string(app.ConnectTimeOut()) + " s");

    std::cout << "\nFile type groups\n";
    const hx::TFileTypeGroups groups = hx::ReadGroups(app.Store());
    if (groups.names.empty())
        std::cout << "  (none)\n";
    for (std::size_t index = 0; index < groups.names.size(); ++index)
        line(groups.names[index], groups.texts[index]);

    std::cout << "\nNamed profiles\n";
    const std::vector<std::string> profiles = hx::ListFiles(app.ProfilesFolder(), "*.hxp");
    if (profiles.empty())
        std::cout << "  (none)\n";
    for (const std::string& profile : profiles)
        std::cout << "  " << profile.substr(0, profile.size() - 4) << "\n";
}

void ReportProblems(hx::THXApp& app, const std::vector<std::string>& problems)
{
    for (const std::string& problem : problems)
        std::cerr << "harbex-cli: " << problem << "\n";
    for (const std::string& problem : app.Store().TakeProblems())
        std::cerr << "harbex-cli: " << problem << "\n";
}

using TCommand = int (*)(hx::THXApp&, const std::vector<std::string>&, std::ostream&, std::ostream&);

TCommand FindCommand(std::string_view name)
{
    static const std::map<std::string_view, TCommand> commands = {
        {"copy", hx::cli::CommandCopy},         {"run", hx::cli::CommandRun},   {"tasks", hx::cli::CommandTasks},
        {"report", hx::cli::CommandReport},     {"zip", hx::cli::CommandZip},   {"explain", hx::cli::CommandExplain},
        {"schedule", hx::cli::CommandSchedule}, {"demo", hx::cli::CommandDemo},
    };
    const auto found = commands.find(name);
    return found == commands.end() ? nullptr : found->second;
}

} // namespace

int main(int argc, char** argv)
{
    // A crawl's threads would each get a memory arena of their own; two are plenty
    // for the little they allocate, and keep the program's memory down.
    mallopt(M_ARENA_MAX, 2);
    // Times are shown in the user's own format.
    std::setlocale(LC_TIME, "");
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && arguments.front() == "--version")
    {
        std::cout << "harbex-cli " << hx::kVersionShort << " (" << hx::DefaultAgentText() << ")\n";
        return 0;
    }
    if (!arguments.empty() && (arguments.front() == "--help" || arguments.front() == "-h"))
    {
        std::cout << kUsage;
        return 0;
    }
    // "--pacing classic|fast" before the command goes to the command.
    std::vector<std::string> global;
    while (arguments.size() >= 2 && arguments.front() == "--pacing")
    {
        global = {arguments[0], arguments[1]};
        arguments.erase(arguments.begin(), arguments.begin() + 2);
    }
    const std::string command = arguments.empty() ? std::string("demo") : arguments.front();
    if (arguments.empty())
        arguments.push_back(command);
    arguments.insert(arguments.begin() + 1, global.begin(), global.end());
    const TCommand handler = FindCommand(command);
    if (command != "settings" && handler == nullptr)
    {
        std::cerr << "harbex-cli: unknown command: " << command << "\n\n" << kUsage;
        return hx::cli::kExitUsage;
    }
    if (command == "settings" && arguments.size() > 1)
    {
        std::cerr << "harbex-cli: extra argument: " << arguments[1] << "\n\n" << kUsage;
        return hx::cli::kExitUsage;
    }

    try
    {
        hx::THXApp app;
        const hx::TFirstRunResult firstRun = hx::FirstRunSetup(app);
        ReportProblems(app, firstRun.problems);
        int status = hx::cli::kExitOk;
        if (handler == nullptr)
            PrintSettings(app);
        else
            status =
                handler(app, std::vector<std::string>(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end()),
                        std::cout, std::cerr);
        ReportProblems(app, {});
        return status;
    }
    catch (const hx::cli::EUsageError& error)
    {
        std::cerr << "harbex-cli " << command << ": " << error.what() << "\nTry 'harbex-cli --help'.\n";
        return hx::cli::kExitUsage;
    }
    catch (const std::exception& error)
    {
        std::cerr << "harbex-cli: " << error.what() << "\n";
        return hx::cli::kExitFailed;
    }
}
