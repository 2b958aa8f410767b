#include "shell/HXFirstRun.h"

#include <filesystem>
#include <system_error>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXStrings.h"

namespace hx
{

namespace
{

bool HasSkinsFolder(const std::string& programFolder)
{
    for (const std::string& folder : ListFolders(programFolder))
    {
        if (SameTextNoCase(folder, "skins"))
            return true;
    }
    return false;
}

// Moves the loose files matching the mask from the Tasks folder into "General".
// A file of the same name already there is never replaced: the loose one stays.
void MoveIntoGeneral(const std::string& tasksFolder, const std::string& mask, TFirstRunResult& result)
{
    const std::string general = tasksFolder + "General/";
    for (const std::string& name : ListFiles(tasksFolder, mask))
    {
        try
        {
            ForceDirectories(general);
        }
        catch (const EFileError& error)
        {
            result.problems.push_back(std::string(error.what()) + ": " + general);
            return;
        }
        std::error_code error;
        if (std::filesystem::exists(general + name, error))
        {
            result.problems.push_back("Not moved, a file of that name is already in General: " + tasksFolder + name);
            continue;
        }
        std::filesystem::rename(tasksFolder + name, general + name, error);
        if (error)
            result.problems.push_back("Unable to move " + tasksFolder + name + ": " + error.message());
        else
            result.moved.push_back(name);
    }
}

} // namespace

std::vector<std::string> SeedProgramFolder(const std::string& dataFolder, const std::string& programFolder)
{
    namespace fs = std::filesystem;
    std::vector<std::string> seeded;
    std::error_code error;
    if (dataFolder.empty() || !fs::is_directory(dataFolder, error))
        return seeded;
    const fs::path source(dataFolder);
    for (auto it = fs::recursive_directory_iterator(source, fs::directory_options::skip_permission_denied, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
    {
        if (!it->is_regular_file(error))
            continue;
        const fs::path relative = fs::relative(it->path(), source, error);
        if (error)
            continue;
        // The sample site is served and the help pages are read from the installed
        // data; neither is a program file a person would change.
        if (*relative.begin() == "sample-site" || *relative.begin() == "help")
            continue;
        const fs::path target = fs::path(programFolder) / relative;
        if (fs::exists(target, error))
            continue;
        if (CopyFileForced(it->path().string(), target.string()))
            seeded.push_back(relative.generic_string());
    }
    return seeded;
}

TFirstRunResult FirstRunSetup(THXApp& app, const TFirstRunOptions& options)
{
    TFirstRunResult result;
    THXSettingsStore& store = app.Store();
    const std::string programFolder = app.ProgramFolder();
    if (store.ReadString(kHarbexKey, "Version", "") == kVersionMark && HasSkinsFolder(programFolder))
        return result;

    result.ran = true;

    try
    {
        ForceDirectories(programFolder);
        ForceDirectories(programFolder + "Skins/Default/");
        ForceDirectories(app.TasksFolder());
        ForceDirectories(app.ProfilesFolder());
    }
    catch (const EFileError& error)
    {
        result.problems.push_back(std::string(error.what()) + ": " + programFolder);
    }
    result.seeded = SeedProgramFolder(app.Environment().dataFolder, programFolder);

    std::string importError;
    if (!store.Import(app.FileTypesFile(), &importError))
        result.problems.push_back("The file types could not be imported from " + app.FileTypesFile() + ": " +
                                  importError);

    try
    {
        app.GetDownloadsFolder();
    }
    catch (const EFileError& error)
    {
        result.problems.push_back(std::string(error.what()) + ": " + app.Environment().defaultDownloadsFolder);
    }

    if (options.detectProxy)
        options.detectProxy();

    MoveIntoGeneral(app.TasksFolder(), "*.hxt", result);
    MoveIntoGeneral(app.TasksFolder(), "*.dwn", result);

    // The mark is written last, so a start that breaks off half-way does the
    // whole set-up again next time instead of leaving the groups unimported.
    store.WriteString(kHarbexKey, "Version", kVersionMark);
    return result;
}

} // namespace hx
