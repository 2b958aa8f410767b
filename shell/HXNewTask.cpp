#include "shell/HXNewTask.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "schedule/HXSchedule.h"

namespace hx
{

namespace
{

constexpr const char* kNoProfile = "Custom";
constexpr const char* kDefaultCategory = "General";
// Name of a task whose address gives no site name.
constexpr const char* kFallbackTaskName = "Task";

std::string CategoryOf(THXApp& app, const TNewTaskRequest& request)
{
    std::string category = request.Category.empty() ? app.LastCategory() : request.Category;
    if (category.empty())
        category = kDefaultCategory;
    // A category is one folder below the Tasks folder: it may not climb out of it.
    if (category.find("..") != std::string::npos || category.front() == '/')
        throw ENewTaskError("a category is a folder name under the Tasks folder");
    return category;
}

// The name asked for, else the site's short name.
std::string RequestedName(const TNewTaskRequest& request, const std::string& address)
{
    std::string name = request.Name.empty() ? SiteShortName(address) : request.Name;
    if (name.empty())
        name = kFallbackTaskName;
    if (name.find('/') != std::string::npos)
        throw ENewTaskError("a task name cannot hold \"/\"");
    return name;
}

std::string DestinationOf(THXApp& app, const TNewTaskRequest& request, const std::string& name)
{
    if (request.Intranet)
        return request.Folder.empty() ? app.GetIntranetFolder() : IncludeTrailingSlash(request.Folder);
    if (!request.TargetArchive.empty())
        return request.TargetArchive;
    return UniqueFileName(app.GetDownloadsFolder() + name + ".zip");
}

} // namespace

bool HasNamedProfile(const TNewTaskRequest& request)
{
    return !request.Profile.empty() && request.Profile != kNoProfile;
}

std::shared_ptr<THXTask> NewTaskFromURL(THXApp& app, const TNewTaskRequest& request)
{
    const bool named = HasNamedProfile(request);
    const std::string profileFile = named ? app.ProfilesFolder() + request.Profile + ".hxp" : std::string();
    if (named && !FileExists(profileFile))
        throw ENewTaskError("no profile \"" + request.Profile + "\" in " + app.ProfilesFolder() + " (" + profileFile +
                            " not found)");
    std::string address = request.Address;
    if (named && !NormalizeURL(address))
        throw EInvalidURL();

    const std::string category = CategoryOf(app, request);
    const std::string fileName =
        UniqueFileName(app.TasksFolder() + category + "/" + RequestedName(request, address) + ".hxt");

    auto task = std::make_shared<THXTask>(app);
    task->FileName = fileName;
    task->Name = std::filesystem::path(fileName).stem().string();
    task->Category = category;
    task->URL = address;
    task->IntranetMode = request.Intranet;
    if (request.Map)
        task->RunMode = kRunMap;
    if (named)
    {
        task->Profile.FileName = profileFile;
        task->Profile.Load();
    }
    else
        task->Profile.Name = kNoProfile;

    task->Destination = DestinationOf(app, request, task->Name);
    // The pages are added to an archive the user chose: its name is not the site's title.
    if (!request.Intranet && !request.TargetArchive.empty())
        task->Profile.UseStartPageTitle = false;
    if (named)
    {
        task->Schedule = std::string(kScheduleNow);
        task->Status = kStatusScheduled;
    }
    return task;
}

void RememberURL(THXApp& app, const std::string& address)
{
    const int maximum = app.MaxURLHistory();
    std::vector<std::string> recent = app.LoadRecentList(kRecentURLsKey, maximum);
    std::erase(recent, address);
    recent.insert(recent.begin(), address);
    app.SaveRecentList(kRecentURLsKey, recent, maximum);
}

} // namespace hx
