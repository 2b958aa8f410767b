#pragma once

// A new task for an address, as the main window's address box and harbex-cli's
// "copy" create one: the category and name it is filed under, its profile and
// its destination. The task is built, not saved and not listed; the caller saves
// it (a named profile) or shows it in the task editor first (no profile).

#include <memory>
#include <stdexcept>
#include <string>

namespace hx
{

class THXApp;
class THXTask;

struct TNewTaskRequest
{
    std::string Address;
    // A profile of the Profiles folder by name; "" or "Custom" names none, and the
    // window then opens the task editor on the new task.
    std::string Profile;
    // The task only maps the site (run mode Map).
    bool Map = false;
    // Personal Intranet mode: the copy goes into a folder instead of an archive.
    bool Intranet = false;
    // The archive the copy is added to ("" for none): the selected archive while
    // "add to selected" is down.
    std::string TargetArchive;
    // Choices harbex-cli offers; the window leaves them empty.
    std::string Name;     // task name instead of the one derived from the address
    std::string Category; // instead of the "Last Category" setting
    std::string Folder;   // intranet destination instead of the "Local Intranet Folder"
};

// The address cannot be copied with a named profile.
class EInvalidURL : public std::runtime_error
{
public:
    EInvalidURL()
        : std::runtime_error("Invalid URL.")
    {
    }
};

// The request names a profile that has no file, or a category or task name that
// cannot be a file name under the Tasks folder.
class ENewTaskError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// True when the request names a profile (not "" and not "Custom").
bool HasNamedProfile(const TNewTaskRequest& request);

// Builds the task: with a named profile the address is normalised (EInvalidURL
// when it is refused), the profile file is loaded, and the task is due "Now" with
// status Scheduled. Without one the address is kept as typed and the profile is
// "Custom"; the task editor checks the address. The task name comes from the
// address (or the request) and is made unique among the category's task files;
// an archive destination is made unique in the Downloads folder.
std::shared_ptr<THXTask> NewTaskFromURL(THXApp& app, const TNewTaskRequest& request);

// Puts the address first in the recently typed address list (an equal entry
// moves there), keeps at most "Max URL History" entries and saves the list.
void RememberURL(THXApp& app, const std::string& address);

} // namespace hx
