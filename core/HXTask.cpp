#include "core/HXTask.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include <fcntl.h>
#include <stdio.h>

#include "core/HXApp.h"
#include "core/HXCommaList.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXIniFile.h"
#include "core/HXStrings.h"
#include "core/HXURL.h"

namespace hx
{

namespace
{

constexpr std::string_view kTaskSection = "Task";

// The nine characters a task name may not contain, in the order the message lists them.
constexpr std::string_view kIllegalNameCharacters = "\\/:*?\"<>|";

std::string NameFromPath(const std::string& path)
{
    std::string name = ExtractFileName(path);
    const std::string extension = ExtractFileExt(name);
    return name.substr(0, name.size() - extension.size());
}

// Far more than any task file holds, profile lists included.
constexpr std::int64_t kMaxTaskFileBytes = 16 * 1024 * 1024;

// The task file as a document: empty for a file that does not exist yet (a new
// task). Anything else that is not a readable task file (empty, binary, a device,
// a pipe, far too large) is refused, so it is neither run nor rewritten.
TIniFile ReadTaskFile(const std::string& path)
{
    std::string bytes;
    const TFileRead read = ReadRegularFile(path, kMaxTaskFileBytes, bytes);
    if (read == TFileRead::Missing)
        return TIniFile(path, std::string_view());
    if (read == TFileRead::Read)
    {
        TIniFile file(path, bytes);
        if (file.SectionExists(kTaskSection))
            return file;
    }
    throw EFileError("'" + path + "' is not a task file");
}

std::int64_t StrToInt64Def(std::string_view text, std::int64_t defaultValue)
{
    std::int64_t value = 0;
    return TryStrToInt64(text, value) ? value : defaultValue;
}

bool IsUsableTaskName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(kIllegalNameCharacters) == std::string::npos && name.find('\0') == std::string::npos;
}

} // namespace

std::string StatusText(int status)
{
    static constexpr std::array<std::string_view, 9> texts = {"Unscheduled",      "Scheduled",     "Downloading...",
                                                              "Download Stopped", "Incomplete",    "Download Complete",
                                                              "Zipped!",          "Task Complete", "Deleted"};
    if (status < 0 || status >= static_cast<int>(texts.size()))
        return "Unknown";
    return std::string(texts[static_cast<std::size_t>(status)]);
}

std::string StateText(int state)
{
    static constexpr std::array<std::string_view, 12> texts = {"None",       "Downloading", "Updating", "Error",
                                                               "Downloaded", "Saved",       "Updated",  "Mapping",
                                                               "Parsing",    "Mapped",      "Parsed",   "Zipped"};
    if (state < 0 || state >= static_cast<int>(texts.size()))
        return "Unknown";
    return std::string(texts[static_cast<std::size_t>(state)]);
}

THXTask::THXTask(THXApp& app)
    : m_app(app)
    , m_queue(this, [this](const THXQItem& item, int newState) { CountStateChange(item, newState); })
{
    Reset();
}

THXTask::~THXTask() = default;

void THXTask::Load()
{
    // Taken before the read: a write between the two shows as a change next time.
    m_fileStampSeen = FileStamp(FileName);
    const TIniFile file = ReadTaskFile(FileName);
    Name = file.ReadString(kTaskSection, "Task Name", NameFromPath(FileName));
    URL = file.ReadString(kTaskSection, "URL", "");
    StartPageTitle = file.ReadString(kTaskSection, "Start Page Title", "");
    Server = file.ReadString(kTaskSection, "Server", "");
    CanUpdate = file.ReadBool(kTaskSection, "Can Update", false);
    UserName = file.ReadString(kTaskSection, "User Name", "");
    Password = file.ReadString(kTaskSection, "Password", "");
    Comment = file.ReadString(kTaskSection, "Comment", "");
    LimitRate = std::max<std::int64_t>(0, StrToInt64Def(file.ReadString(kTaskSection, "Limit Rate", "0"), 0));
    AgentText = file.ReadString(kTaskSection, "User Agent", "");
    ExtraHeaders = ParseCommaText(file.ReadString(kTaskSection, "Extra Headers", ""));
    WarcFile = file.ReadString(kTaskSection, "WARC File", "");
    Destination = file.ReadString(kTaskSection, "Destination", "");
    IntranetMode = file.ReadBool(kTaskSection, "Intranet Mode", false);
    Status = file.ReadInteger(kTaskSection, "Status", 0);
    Schedule = file.ReadString(kTaskSection, "Schedule", "");
    TotalBytes = StrToInt64Def(file.ReadString(kTaskSection, "Total Bytes", "0"), 0);
    TotalPages = file.ReadInteger(kTaskSection, "Total Pages", 0);
    TotalResources = file.ReadInteger(kTaskSection, "Total Resources", 0);
    PagesSaved = file.ReadInteger(kTaskSection, "Pages Saved", 0);
    ResourcesSaved = file.ReadInteger(kTaskSection, "Resources Saved", 0);
    PageErrors = file.ReadInteger(kTaskSection, "Page Errors", 0);
    ResourceErrors = file.ReadInteger(kTaskSection, "Resource Errors", 0);
    ElapsedTime = ParseFileDateTime(file.ReadString(kTaskSection, "Elapsed Time", ""));
    LastRun = ParseFileDateTime(file.ReadString(kTaskSection, "Last Run", ""));
    NextRun = ParseFileDateTime(file.ReadString(kTaskSection, "Next Run", ""));
    Profile.FileName = FileName;
    Profile.ReadFrom(file);
}

std::string THXTask::FileDamage() const
{
    std::string problem;
    std::string url = URL;
    if (URL.empty())
        problem = "its \"URL\" is missing or empty";
    else if (!NormalizeURL(url))
        problem = "its \"URL\" is not a web address";
    else if (Destination.empty())
        problem = "its \"Destination\" is missing or empty";
    else if (IntranetMode && Destination.front() != '/')
        problem = "its \"Destination\" is not the full path of a folder";
    else if (!IntranetMode && (Destination.front() != '/' || ExtractFileName(Destination).empty()))
        problem = "its \"Destination\" is not the full path of a Zip file";
    if (problem.empty())
        return {};
    return "task file \"" + FileName + "\" is damaged: " + problem;
}

void THXTask::Save()
{
    TIniFile file = ReadTaskFile(FileName);
    auto flag = [](bool value) { return std::string(value ? "1" : "0"); };
    std::vector<std::pair<std::string, std::string>> values{
        {"Task Name", Name},
        {"URL", URL},
        {"Start Page Title", StartPageTitle},
        {"Server", Server},
        {"Can Update", flag(CanUpdate)},
        {"User Name", UserName},
        {"Password", Password},
        {"Comment", Comment},
        {"Limit Rate", std::to_string(LimitRate)},
        {"User Agent", AgentText},
        {"Extra Headers", ExtraHeaders.empty() ? std::string() : CommaText(ExtraHeaders)},
        {"WARC File", WarcFile},
        // Local paths keep "/": a backslash is an ordinary name character here.
        {"Destination", Destination},
        {"Intranet Mode", flag(IntranetMode)},
        {"Status", std::to_string(Status)},
        {"Schedule", Schedule},
        {"Total Bytes", std::to_string(TotalBytes)},
        {"Total Pages", std::to_string(TotalPages)},
        {"Total Resources", std::to_string(TotalResources)},
        {"Pages Saved", std::to_string(PagesSaved)},
        {"Resources Saved", std::to_string(ResourcesSaved)},
        {"Page Errors", std::to_string(PageErrors)},
        {"Resource Errors", std::to_string(ResourceErrors)},
        {"Elapsed Time", FormatFileDateTime(ElapsedTime)},
        {"Last Run", FormatFileDateTime(LastRun)},
        {"Next Run", FormatFileDateTime(NextRun)},
    };
    // The keys of a rate cap, an own agent, extra headers and an archive file are
    // written only for a task that has them: other task files stay as they were.
    std::erase_if(values,
                  [](const auto& value)
                  {
                      const bool optional = value.first == "Limit Rate" || value.first == "User Agent" ||
                                            value.first == "Extra Headers" || value.first == "WARC File";
                      return optional && (value.second.empty() || value.second == "0");
                  });
    file.RewriteSection(kTaskSection, values);
    Profile.FileName = FileName;
    Profile.WriteTo(file);
    file.SetPrivate(true); // the site's password
    file.UpdateFile();
    m_fileStampSeen = FileStamp(FileName);
    UpdateActiveTaskList();
    if (OnChange)
        OnChange(*this);
}

void THXTask::UpdateActiveTaskList()
{
    auto& active = m_app.ActiveTasks;
    // Paths are compared exactly: "Site.hxt" and "site.hxt" are two task files here.
    const auto found = std::find_if(active.begin(), active.end(),
                                    [this](const TActiveTask& entry) { return entry.fileName == FileName; });
    const bool shouldBeListed = Status == kStatusScheduled || Status == kStatusDownloading;
    if (shouldBeListed && found != active.end() && !found->task)
        found->task = weak_from_this().lock(); // listed by an earlier run, not loaded yet
    if (shouldBeListed == (found != active.end()))
        return;
    if (shouldBeListed)
        active.push_back({FileName, weak_from_this().lock()});
    else
        active.erase(found);

    m_app.SaveActiveTasks();
}

bool THXTask::Rename(const std::string& newName, std::string* errorMessage)
{
    const std::string folder = ExtractFilePath(FileName);
    const std::string newPath = folder + newName + ".hxt";
    auto fail = [&](const std::string& reason)
    {
        if (errorMessage)
            *errorMessage = "Unable to rename task to: " + newPath + "\n" + reason;
        return false;
    };
    const std::string illegal =
        "A file may not contain any of the following characters: \n" + std::string(kIllegalNameCharacters);
    if (!IsUsableTaskName(newName))
        return fail(illegal);
    const bool sameFile = newPath == FileName;
    if (!sameFile && std::filesystem::exists(newPath))
        return fail("File already exists.");

    const std::string oldQueue = QueueFileName();
    const std::string newQueue = folder + newName + ".dwn";
    const std::string oldLinkBook = LinkBookFileName();
    const std::string newLinkBook = folder + newName + ".lnk";
    const std::string oldCookies = CookieFileName();
    if (!sameFile && FileExists(FileName))
    {
        // Never replace a file that appeared meanwhile: the rename itself refuses to.
        if (::renameat2(AT_FDCWD, FileName.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) != 0)
            return fail(errno == EEXIST ? std::string("File already exists.") : illegal);
    }
    // The queue follows the task, or a later start would look for it under the new
    // name and find nothing.
    if (!sameFile && FileExists(oldQueue) && !std::filesystem::exists(newQueue))
    {
        if (::renameat2(AT_FDCWD, oldQueue.c_str(), AT_FDCWD, newQueue.c_str(), RENAME_NOREPLACE) == 0)
            m_queueFileName = newQueue;
    }
    else if (!FileExists(oldQueue))
    {
        m_queueFileName = newQueue;
    }
    // The link book goes with the queue it names items of.
    if (!sameFile && m_queueFileName == newQueue && FileExists(oldLinkBook) && !std::filesystem::exists(newLinkBook))
        ::renameat2(AT_FDCWD, oldLinkBook.c_str(), AT_FDCWD, newLinkBook.c_str(), RENAME_NOREPLACE);
    // So does the cookie jar: the session belongs to the task under any name.
    const std::string newCookies = folder + newName + ".cookies";
    if (!sameFile && m_queueFileName == newQueue && FileExists(oldCookies) && !std::filesystem::exists(newCookies))
        ::renameat2(AT_FDCWD, oldCookies.c_str(), AT_FDCWD, newCookies.c_str(), RENAME_NOREPLACE);
    // An active task keeps its place in the list under its new path.
    auto& active = m_app.ActiveTasks;
    const auto listed = std::find_if(active.begin(), active.end(),
                                     [this](const TActiveTask& entry) { return entry.fileName == FileName; });
    Name = newName;
    FileName = newPath;
    if (!sameFile && listed != active.end())
    {
        listed->fileName = newPath;
        m_app.SaveActiveTasks();
    }
    Save();
    return true;
}

void THXTask::Reset()
{
    ClearQueue();
    PagesSaved = 0;
    ResourcesSaved = 0;
    PageErrors = 0;
    ResourceErrors = 0;
    TotalPages = 0;
    TotalResources = 0;
    TotalBytes = 0;
    StartTime = 0;
    ElapsedTime = 0;
    ZipLast = m_app.Store().ReadBool(kSettingsKey, "Zip Last", ZipLast);
}

void THXTask::StartFresh()
{
    LastRun = Now();
    StartTime = LastRun;
    ElapsedTime = 0;
    PagesDispatched = 0;
    ResourcesDispatched = 0;
    ChangesSinceSave = 0;

    auto start = std::make_unique<THXQItem>(this);
    start->URL = URL;
    start->BaseURL = DirectoryURL(URL);
    start->Group = GroupOfURL(m_app.Store(), URL);
    start->State = kStateNone;
    start->Level = 0;
    if (RunMode == kRunMap)
    {
        start->Mode = kModeMap;
        RunMode = kRunRestart;
    }
    else
    {
        start->Mode = kModeDownload;
    }
    AddItem(std::move(start));
}

void THXTask::PrepareResume()
{
    LastRun = Now();
    StartTime = LastRun - ElapsedTime;
    PagesDispatched = 0;
    ResourcesDispatched = 0;
}

std::string THXTask::WorkingFolder() const
{
    if (IntranetMode)
        return Destination.empty() ? Destination : IncludeTrailingSlash(Destination);
    return m_app.GetTempFolder();
}

std::string THXTask::UserAgent() const
{
    return AgentText.empty() ? m_app.UserAgent() : AgentText;
}

std::string THXTask::QueueFileName()
{
    if (m_queueFileName.empty())
        m_queueFileName = ExtractFilePath(FileName) + Name + ".dwn";
    return m_queueFileName;
}

std::string THXTask::LinkBookFileName()
{
    std::string name = QueueFileName();
    if (name.ends_with(".dwn"))
        name.resize(name.size() - 4);
    return name + ".lnk";
}

std::string THXTask::CookieFileName()
{
    std::string name = QueueFileName();
    if (name.ends_with(".dwn"))
        name.resize(name.size() - 4);
    return name + ".cookies";
}

void THXTask::Progress(const std::string& text, std::int64_t position, std::int64_t total)
{
    if (OnProgress)
        OnProgress(text, position, total);
}

} // namespace hx
