// harbex-cli: the program without windows. It runs the same start-up as the
// windowed program (settings object, first-run set-up) and prints what it knows.

#include <cctype>
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
#include "app/HXCliJson.h"
#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXVersion.h"
#include "shell/HXFirstRun.h"

namespace
{

constexpr std::string_view kUsage =
    R"(Usage: harbex-cli [options] <command> [arguments] [options]

Copies web sites for offline use. Options may be written before or after the
command; one that the command does not take is refused with the commands it is for.

Commands:
  (none)        copy the bundled sample site from a local server, to see it work
  copy URL [--profile NAME] [--folder DIR | --zip FILE] [--depth N]
           [--connections N] [--name TASK] [--category C] [--sitemaps]
           [--render]
           [--login-url URL --post-data FIELDS] [--warc FILE.warc.gz]
           [task options] [run options]
                create a task for the address (http or https) and run it to
                completion; with -i FILE, one task for each address in the file
  run TASKFILE [--restart | --resume | --update | --recover | --map]
               [--connections N] [--warc FILE.warc.gz] [task options]
               [run options]
                run a task (Ctrl+C stops it); without a choice a task that
                has a queue resumes, as the Run Task dialog's default, and
                one that never ran starts with its own run mode; a task that
                ran to completion is not run again without a choice (--update
                fetches what changed on the server); with -i FILE, each task
                file the file names, one after another
  tasks [CATEGORY] [--json]
                list the tasks of a category (all categories when none is given)
  report TASKFILE [--errors]
                write the task's summary and indexes (or its error report);
                a Zip task's go with its unpacked copy into a folder beside
                the archive (example_org.zip: example_org_reports/)
  schedule      start due tasks from the active-task list until interrupted
  schedule TASKFILE WHEN
                set a task's schedule; WHEN is "Now", "Never",
                "Every H hours, M mins", "Daily at HH:MM",
                "Weekly every Mon, Fri at HH:MM" or "Once at m/d/yyyy HH:MM"
                (24-hour times)
  zip list ARCHIVE [MASK] | zip extract ARCHIVE DIR [MASK...] [--overwrite]
      | zip add ARCHIVE FILE... [--recurse] | zip delete ARCHIVE MASK...
                work with Zip archives
  explain URL --task TASKFILE [--level N] [--no-robots] [--json]
                show how the task's profile treats the address, robots.txt
                included when a run would obey it
  settings [--json]
                print the effective settings (Save Mode, Max Page Size ...),
                folders, file type groups and named profiles; the settings
                file and its format: man harbex-cli, SETTINGS FILE

A TASKFILE is a path or a task name under the Tasks folder.

Task options (copy, run; on run they change the task, as its editor would):
  --include PATTERN, --exclude PATTERN
                add a URL filter group to the profile copy (repeatable): words
                separated by commas that the address must hold, the first one
                may start with [PL] (pages only) or [RL] (resources only)
  --types GROUP,...
                fetch only the file types of these file type groups (see
                "settings"); give HTML too for the crawl to follow links
  --pages site|folder|anywhere, --resources site|folder|anywhere
                where followed pages and resources may be: within the start
                site, within the start folder, or anywhere
  --user NAME --password-file FILE
                the site's user name, and a file whose first line is the
                password ("-": standard input); never a password on the command
                line, where other users can read it
  --header 'Name: value'
                send this header line with every request (repeatable); Host,
                Content-Length, Transfer-Encoding and Cookie are refused
  --user-agent TEXT
                the agent text the task's requests carry
  --limit-rate RATE
                receive at most RATE bytes a second, all connections together
                (k and M for kilobytes and megabytes: 200k, 1.5M; 0: no cap);
                kept as the task's "Limit Rate"

Run options (copy, run; for this run only, no setting is changed):
  --wait SECONDS
                wait this long between two requests to one host ("Host Delay")
  -i FILE, --input-file FILE
                the addresses (copy) or task files (run) to go through, one a
                line ("-": standard input; empty lines and # comments skipped)
  --pacing classic|fast
                (also schedule and the sample copy) how crawls wait: fast (the
                default "Pacing" setting) runs at the speed of the network;
                classic keeps the one-second cadence
  --no-check-certificate
                (copy, run, schedule) fetch from https servers whose certificate
                is not valid: untrusted, expired or for another host. For this
                run only; the "Check Certificates" setting stays as it is
  --no-robots   (copy, run, schedule, explain) fetch the pages that sites'
                robots.txt files keep out. For this run only; the "Obey Robots"
                setting stays as it is
  --no-http2    (copy, run, schedule) ask https servers over HTTP/1.1 even
                when they offer HTTP/2. For this run only; the "Use HTTP/2"
                setting stays as it is
  --connect-timeout N
                (copy, run, schedule, explain) give up on a host that is not
                looked up and connected to (secure handshake included) within
                N seconds, 5 to 300 (the "Connect Time Out" setting is 30 by
                default)
  --sitemaps    (copy) read the start site's sitemaps (robots.txt "Sitemap:"
                lines and /sitemap.xml) and copy the pages they list that the
                profile allows, also those no link leads to
  --render      (copy) load every page again in an offscreen browser
                (harbex-render, Qt WebEngine) and keep what its scripts built:
                the rendered page is saved without its scripts, and the data
                files and pictures it used are copied; refused with a message
                when the renderer is not installed
  --load-cookies FILE
                add the cookies of a cookies.txt file (the Netscape format wget,
                curl and browser extensions write) to the task's own, which it
                keeps beside its queue
  --save-cookies FILE
                write the task's cookies to a cookies.txt file when the run ends
  --login-url URL --post-data FIELDS
                (copy) sign in before the crawl: POST the form fields
                ("user=ann&password=...", URL-encoded) to the address, follow
                its redirects and keep the cookies it sets
  --warc FILE.warc.gz
                (copy, run) keep every request and answer of the task's runs,
                as sent and received, in a WARC file for replay tools; the task
                keeps the name, later runs append to it (304 answers of an
                update become revisit records), a numbered file follows past
                1 GB, and FILE.cdxj beside it indexes the answers

Output options:
  --quiet       (copy, run) print errors only
  --verbose     (copy, run) print a line for each item done with: its state,
                its size in bytes and its address (and why it failed)
  --json        (copy, run, tasks, explain, settings) print JSON instead of
                text: copy and run print one object a line ("type": "item" for
                each item with --verbose, then "type": "summary" for each
                task); the others one document. The keys are listed in
                harbex-cli(1)
  --version     print the version and exit
  --help        print this text and exit

On a terminal copy and run redraw one progress line (with the rate and, once
items are done, the time left); otherwise they print a progress line every
five seconds.

Exit status:
  0    done: the copy completed and every item was fetched
  1    failure: the task could not start or was stopped by a failure (a full
       disk), no page could be fetched, or a file could not be read or written
  2    a mistake in the command line
  3    stopped by Ctrl+C before the copy completed; it can be resumed
  8    the copy completed, but some items failed (an error answer of a server
       or a network failure): "report TASKFILE --errors" lists them
  130  a second Ctrl+C within three seconds ended the program at once
  With -i, the status that tells most of all the runs: 1, then 3, then 8.

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

// The settings listing: sections of named values, printed as text or as JSON.
struct TSettingsSection
{
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Values;
};

std::vector<TSettingsSection> SettingsSections(hx::THXApp& app)
{
    std::vector<TSettingsSection> sections;
    auto line = [&sections](std::string_view name, const std::string& value)
    { sections.back().Values.emplace_back(std::string(name), value); };
    auto flag = [](bool value) { return std::string(value ? "yes" : "no"); };

    sections.push_back({"Files and folders", {}});
    line("Settings file", app.Environment().settingsFile);
    line("Program folder", app.ProgramFolder());
    line("Tasks folder", app.TasksFolder());
    line("Profiles folder", app.ProfilesFolder());
    line("Skin folder", app.SkinFolder());
    line("Downloads folder", FolderOrProblem(app, &hx::THXApp::GetDownloadsFolder));
    line("Personal Intranet folder", FolderOrProblem(app, &hx::THXApp::GetIntranetFolder));
    line("Temporary folder", FolderOrProblem(app, &hx::THXApp::GetTempFolder));
    line("Installed data", app.Environment().dataFolder.empty() ? "(not found)" : app.Environment().dataFolder);

    sections.push_back({"Settings", {}});
    const int saveMode = app.GetSaveMode(0);
    line("Save Mode",
         std::to_string(saveMode) + (saveMode == 1 ? " (folder: the Personal Intranet)" : " (Zip archive)"));
    line("Max Page Size", std::to_string(app.MaxPageSize()) + " MB");
    line("Connections", std::to_string(app.Connections()));
    line("Priority", std::to_string(app.Priority()));
    line("Use Proxy", flag(app.UseProxy()));
    line("Proxy Address", app.ProxyAddress());
    line("Proxy Port", app.ProxyPort());
    line("Proxy Authorization", app.ProxyAuthorization().empty() ? "" : "(set)");
    line("Check Certificates", flag(app.CheckCertificates()));
    line("CA File", app.CAFile());
    line("Obey Robots", flag(app.ObeyRobots()));
    line("Use HTTP/2", flag(app.UseHttp2()));
    line("User Agent", app.UserAgentChoice().empty() ? "(default)" : app.UserAgentChoice());
    line("Agent text sent", app.UserAgent().empty() ? "(none)" : app.UserAgent());
    line("Browser", app.Browser().empty() ? "(none found)" : app.Browser());
    line("Skin", app.Skin());
    line("Last Category", app.LastCategory());
    line("Beep On Completion", flag(app.BeepOnCompletion()));
    line("Zip Properties First", flag(app.ZipPropertiesFirst()));
    line("No Ads", flag(app.NoAds()));
    line("Banner Page", app.BannerPage().empty() ? "(none)" : app.BannerPage());
    line("Home Page Address", app.HomePageAddress().empty() ? "(none)" : app.HomePageAddress());
    line("Zip Last", flag(app.Store().ReadBool(hx::kSettingsKey, "Zip Last", false)));
    line("Max URL History", std::to_string(app.MaxURLHistory()));
    line("Max File History", std::to_string(app.MaxFileHistory()));
    line("Queue Save Interval", std::to_string(app.QueueSaveInterval()));
    line("Pacing", app.Pacing() == hx::kPacingClassic ? "0 (classic)" : "1 (fast)");
    line("Host Delay", std::to_string(app.HostDelay()) + " ms");
    line("Connect Time Out", std::to_string(app.ConnectTimeOut()) + " s");

    sections.push_back({"File type groups", {}});
    const hx::TFileTypeGroups groups = hx::ReadGroups(app.Store());
    for (std::size_t index = 0; index < groups.names.size(); ++index)
        line(groups.names[index], groups.texts[index]);

    sections.push_back({"Named profiles", {}});
    for (const std::string& profile : hx::ListFiles(app.ProfilesFolder(), "*.hxp"))
        line(profile.substr(0, profile.size() - 4), "");
    return sections;
}

void PrintSettings(hx::THXApp& app, bool json)
{
    const std::vector<TSettingsSection> sections = SettingsSections(app);
    if (json)
    {
        // Sections become keys in snake case; a section's values keep their names.
        hx::cli::TJsonObject document;
        for (const TSettingsSection& section : sections)
        {
            std::string key;
            for (const char c : section.Name)
                key += c == ' ' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (section.Name == "Named profiles")
            {
                std::vector<std::string> names;
                for (const auto& value : section.Values)
                    names.push_back(hx::cli::JsonString(value.first));
                document.AddRaw(key, hx::cli::JsonArray(names));
                continue;
            }
            hx::cli::TJsonObject values;
            for (const auto& [name, value] : section.Values)
                values.Add(name, value);
            document.Add(key, values);
        }
        std::cout << document.Text() << "\n";
        return;
    }
    for (std::size_t index = 0; index < sections.size(); ++index)
    {
        const TSettingsSection& section = sections[index];
        std::cout << (index > 0 ? "\n" : "") << section.Name << "\n";
        if (section.Values.empty())
            std::cout << "  (none)\n";
        for (const auto& [name, value] : section.Values)
            std::cout << "  " << name << (value.empty() && section.Name == "Named profiles" ? "" : ": " + value)
                      << "\n";
    }
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
    const std::vector<std::string> given(argv + 1, argv + argc);
    std::vector<std::string> arguments;
    // Options written before the command are the command's own, as if written after
    // it ("harbex-cli --no-robots copy URL"); the command says which ones it takes.
    std::vector<std::string> leading;
    std::size_t at = 0;
    while (at < given.size() && given[at].size() > 1 && given[at].front() == '-' && given[at] != "--")
    {
        const std::string& word = given[at];
        if (word == "--version")
        {
            std::cout << "harbex-cli " << hx::kVersionShort << " (" << hx::DefaultAgentText() << ")\n";
            return hx::cli::kExitOk;
        }
        if (word == "--help" || word == "-h")
        {
            std::cout << kUsage;
            return hx::cli::kExitOk;
        }
        const std::string name = word == "-i" ? std::string("--input-file") : word.substr(0, word.find('='));
        const hx::cli::TOptionInfo* option = hx::cli::FindOption(name);
        if (option == nullptr)
        {
            std::cerr << "harbex-cli: unknown option " << word << "\nTry 'harbex-cli --help'.\n";
            return hx::cli::kExitUsage;
        }
        leading.push_back(word);
        ++at;
        if (option->TakesValue && word.find('=') == std::string::npos)
        {
            if (at == given.size())
            {
                std::cerr << "harbex-cli: option " << name << " needs a value\nTry 'harbex-cli --help'.\n";
                return hx::cli::kExitUsage;
            }
            leading.push_back(given[at++]);
        }
    }
    const std::string command = at < given.size() ? given[at] : std::string("demo");
    if (at < given.size())
        ++at;
    arguments = leading;
    arguments.insert(arguments.end(), given.begin() + static_cast<std::ptrdiff_t>(at), given.end());
    const TCommand handler = FindCommand(command);
    if (command != "settings" && handler == nullptr)
    {
        std::cerr << "harbex-cli: unknown command: " << command << "\n\n" << kUsage;
        return hx::cli::kExitUsage;
    }

    try
    {
        hx::THXApp app;
        const hx::TFirstRunResult firstRun = hx::FirstRunSetup(app);
        ReportProblems(app, firstRun.problems);
        int status = hx::cli::kExitOk;
        if (handler == nullptr)
        {
            const hx::cli::TCliArgs args(arguments, {}, {"--json"});
            if (!args.Positional().empty())
                throw hx::cli::EUsageError("extra argument: " + args.Positional().front());
            PrintSettings(app, args.Flag("--json"));
        }
        else
            status = handler(app, arguments, std::cout, std::cerr);
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
