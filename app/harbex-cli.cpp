// harbex-cli: the program without windows. It runs the same start-up as the
// windowed program (settings object, first-run set-up) and prints what it knows.

#include <clocale>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "shell/HXFirstRun.h"

namespace
{

constexpr std::string_view kUsage = R"(Usage: harbex-cli [--version] [--help] <command>

Copies web sites for offline use.

Commands:
  settings      print the effective settings, folders and file type groups

Options:
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

} // namespace

int main(int argc, char** argv)
{
    // Times are shown in the user's own format.
    std::setlocale(LC_TIME, "");
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    if (arguments.empty())
    {
        std::cerr << kUsage;
        return 2;
    }
    const std::string_view command = arguments.front();
    if (command == "--version")
    {
        std::cout << "harbex-cli " << hx::kVersionMark << " (" << hx::DefaultAgentText() << ")\n";
        return 0;
    }
    if (command == "--help" || command == "-h")
    {
        std::cout << kUsage;
        return 0;
    }
    if (command != "settings" || arguments.size() > 1)
    {
        std::cerr << "harbex-cli: unknown command or extra argument: "
                  << (command != "settings" ? command : arguments[1]) << "\n\n"
                  << kUsage;
        return 2;
    }

    try
    {
        hx::THXApp app;
        const hx::TFirstRunResult firstRun = hx::FirstRunSetup(app);
        ReportProblems(app, firstRun.problems);
        PrintSettings(app);
        ReportProblems(app, {});
        return 0;
    }
    catch (const std::exception& error)
    {
        std::cerr << "harbex-cli: " << error.what() << "\n";
        return 1;
    }
}
