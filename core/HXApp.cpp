#include "core/HXApp.h"

#include <algorithm>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXStrings.h"

namespace hx
{

namespace
{

THXApp* g_instance = nullptr;

std::string EnvText(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string HomeFolder()
{
    std::string home = EnvText("HOME");
    if (home.empty())
        home = "/tmp";
    return IncludeTrailingSlash(home);
}

// The user's download folder as the desktop names it in user-dirs.dirs
// (XDG_DOWNLOAD_DIR="$HOME/Downloads"), else ~/Downloads/.
std::string UserDownloadFolder(const std::string& configHome)
{
    const std::string home = HomeFolder();
    std::ifstream dirs(configHome + "user-dirs.dirs");
    std::string line;
    while (std::getline(dirs, line))
    {
        const std::string prefix = "XDG_DOWNLOAD_DIR=";
        if (line.rfind(prefix, 0) != 0)
            continue;
        std::string value = Trim(line.substr(prefix.size()));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(value.size() > 5 && value[5] == '/' ? 6 : 5);
        if (!value.empty() && value.front() == '/')
            return IncludeTrailingSlash(value);
    }
    return home + "Downloads/";
}

std::string DataFolderFromProcess()
{
    namespace fs = std::filesystem;
    std::string fromEnvironment = EnvText("HARBEX_DATA_DIR");
    if (!fromEnvironment.empty())
        return IncludeTrailingSlash(fromEnvironment);
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (!error)
    {
        const fs::path folder = program.parent_path();
        for (const fs::path& candidate :
             {folder / "data", folder.parent_path() / "data", folder.parent_path() / "share" / "harbex"})
        {
            if (fs::is_regular_file(candidate / "FTypes.reg", error))
                return IncludeTrailingSlash(candidate.string());
        }
    }
#ifdef HX_SOURCE_DATA_DIR
    if (fs::is_regular_file(fs::path(HX_SOURCE_DATA_DIR) / "FTypes.reg", error))
        return IncludeTrailingSlash(HX_SOURCE_DATA_DIR);
#endif
    return {};
}

// The temporary folder must be ours alone when it lies in a folder every user
// can write: refuse a link or a folder owned by someone else, and keep it 0700.
void CheckPrivateFolder(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    struct stat info
    {
    };
    if (::lstat(path.c_str(), &info) != 0 || S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid())
    {
        throw EFileError("Unable to create directory");
    }
    if ((info.st_mode & 0077) != 0)
        ::chmod(path.c_str(), 0700);
}

} // namespace

std::string DefaultAgentText()
{
    return "Harbex/" + std::string(kVersion);
}

std::string AddressUnderHomePage(std::string_view home, std::string_view page)
{
    if (home.empty())
        return {};
    std::string address(home);
    if (page.empty())
        return address;
    if (!address.ends_with('/'))
        address += '/';
    return address + std::string(page.starts_with('/') ? page.substr(1) : page);
}

std::string AgentTextForChoice(std::string_view choice)
{
    if (choice.empty() || choice == "Harbex")
        return DefaultAgentText();
    if (choice == "Internet Explorer 4.01")
        return "Mozilla/4.0 (compatible; MSIE 4.01; Windows 95)";
    if (choice == "Netscape Navigator 4.05")
        return "Mozilla/4.05 [en] (Win95; I)";
    if (choice == "Anonymous")
        return {};
    return std::string(choice);
}

const std::vector<std::string>& AgentChoices()
{
    static const std::vector<std::string> choices = {
        "Harbex",
        "Internet Explorer 4.01",
        "Netscape Navigator 4.05",
        "Anonymous",
        "Mozilla/4.0 (compatible; MSIE 4.01; Windows 98)",
        "Mozilla/4.0 (compatible; MSIE 4.01; Windows NT)",
        "Mozilla/4.0 (compatible; MSIE 4.01; Windows 95)",
        "Mozilla/4.06 [en] (Win98; I ;Nav)",
        "Mozilla/4.06 [en] (Win95; I ;Nav)",
        "Mozilla/4.06 [en] (WinNT; I)",
    };
    return choices;
}

THXEnvironment THXEnvironment::UnderHome(const std::string& home)
{
    THXEnvironment environment;
    const std::string root = IncludeTrailingSlash(home);
    environment.programFolder = root;
    environment.settingsFile = root + "Harbex.reg";
    environment.defaultDownloadsFolder = root + "Downloads/";
    environment.defaultIntranetFolder = root + "My Intranet/";
    environment.defaultTempFolder = root + "Temp/Harbex/";
    environment.tempFolderIsShared = false;
    environment.dataFolder = DataFolderFromProcess();
    return environment;
}

THXEnvironment THXEnvironment::FromProcess()
{
    const std::string harbexHome = EnvText("HARBEX_HOME");
    if (!harbexHome.empty())
        return UnderHome(harbexHome);

    const std::string home = HomeFolder();
    std::string dataHome = EnvText("XDG_DATA_HOME");
    dataHome = dataHome.empty() ? home + ".local/share/" : IncludeTrailingSlash(dataHome);
    std::string configHome = EnvText("XDG_CONFIG_HOME");
    configHome = configHome.empty() ? home + ".config/" : IncludeTrailingSlash(configHome);
    std::string systemTemp = EnvText("TMPDIR");
    systemTemp = systemTemp.empty() ? std::string("/tmp/") : IncludeTrailingSlash(systemTemp);

    THXEnvironment environment;
    environment.programFolder = dataHome + "harbex/";
    environment.settingsFile = configHome + "harbex/Harbex.reg";
    environment.defaultDownloadsFolder = UserDownloadFolder(configHome) + "Harbex/";
    environment.defaultIntranetFolder = home + "My Intranet/";
    environment.defaultTempFolder = systemTemp + "Harbex-" + std::to_string(::getuid()) + "/";
    environment.tempFolderIsShared = true;
    environment.dataFolder = DataFolderFromProcess();
    return environment;
}

THXApp::THXApp(THXEnvironment environment, int colorDepthBits)
    : m_environment(std::move(environment))
    , m_store(m_environment.settingsFile)
{
    m_settingsStamp = FileStamp(m_store.FileName().string());
    ReloadSettings();

    if (colorDepthBits > 8)
        m_themeColors = {"$00663300", "$00996633", "$009C6531", "$00BDCFCE"};
    else
        m_themeColors = {"$005f4000", "$00804000", "$00A16000", "$00C0DCC0"};

    LoadActiveTaskList();

    if (g_instance == nullptr)
        g_instance = this;
}

bool THXApp::ReloadSettingsIfChanged()
{
    std::string stamp = FileStamp(m_store.FileName().string());
    if (stamp == m_settingsStamp)
        return false;
    m_settingsStamp = std::move(stamp); // before reading: a change meanwhile is seen next time
    ReloadSettings();
    return true;
}

void THXApp::ReloadSettings()
{
    m_beepOnCompletion = m_store.ReadBool(kSettingsKey, "Beep On Completion", true);
    m_zipPropertiesFirst = m_store.ReadBool(kSettingsKey, "Zip Properties First", false);
    m_connections = m_store.ReadInteger(kSettingsKey, "Connections", 10);
    m_priority = m_store.ReadInteger(kSettingsKey, "Priority", 5);
    m_useProxy = m_store.ReadBool(kSettingsKey, "Use Proxy", false);
    const std::lock_guard guard(m_textMutex);
    m_proxyAddress = m_store.ReadString(kSettingsKey, "Proxy Address", "");
    m_proxyPort = m_store.ReadString(kSettingsKey, "Proxy Port", "");
    m_proxyAuthorization = m_store.ReadString(kSettingsKey, "Proxy Authorization", "");
    m_checkCertificates = m_store.ReadBool(kSettingsKey, "Check Certificates", true);
    m_obeyRobots = m_store.ReadBool(kSettingsKey, "Obey Robots", true);
    m_connectTimeOut = std::clamp(m_store.ReadInteger(kSettingsKey, "Connect Time Out", kDefaultConnectTimeOut),
                                  kMinConnectTimeOut, kMaxConnectTimeOut);
    m_caFile = m_store.ReadString(kSettingsKey, "CA File", "");
    m_skin = m_store.ReadString(kSettingsKey, "Skin", "Default");
    m_noAds = m_store.ReadBool(kSettingsKey, "No Ads", false);
    m_maxURLHistory = m_store.ReadInteger(kSettingsKey, "Max URL History", 20);
    m_maxFileHistory = m_store.ReadInteger(kSettingsKey, "Max File History", 10);
    m_lastCategory = m_store.ReadString(kSettingsKey, "Last Category", "General");
    if (m_lastCategory.empty())
        m_lastCategory = "General";
    m_userAgentChoice = m_store.ReadString(kSettingsKey, "User Agent", "");
    m_userAgent = AgentTextForChoice(m_userAgentChoice);
    m_browser = m_store.ReadString(kSettingsKey, "Browser", "");
    if (m_browser.empty())
        m_browser = DefaultBrowser();
}

THXApp::~THXApp()
{
    if (g_instance == this)
        g_instance = nullptr;
}

THXApp* THXApp::Instance()
{
    return g_instance;
}

std::string THXApp::TasksFolder() const
{
    return m_environment.programFolder + "Tasks/";
}

std::string THXApp::ProfilesFolder() const
{
    return m_environment.programFolder + "Profiles/";
}

std::string THXApp::SkinFolder() const
{
    return m_environment.programFolder + "Skins/" + Skin() + "/";
}

std::string THXApp::FileTypesFile() const
{
    return m_environment.programFolder + "FTypes.reg";
}

std::string THXApp::ActiveTasksFile() const
{
    return TasksFolder() + "ActiveTasks.lst";
}

std::string THXApp::UserFolder(std::string_view valueName, const std::string& defaultFolder, bool storeDefault)
{
    std::string folder = m_store.ReadString(kSettingsKey, valueName, "");
    if (folder.empty())
    {
        folder = defaultFolder;
        if (storeDefault)
            m_store.WriteString(kSettingsKey, valueName, folder);
    }
    folder = IncludeTrailingSlash(folder);
    ForceDirectories(folder);
    return folder;
}

std::string THXApp::GetDownloadsFolder()
{
    return UserFolder("Downloads Folder", m_environment.defaultDownloadsFolder, true);
}

std::string THXApp::GetIntranetFolder()
{
    return UserFolder("Local Intranet Folder", m_environment.defaultIntranetFolder, true);
}

std::string THXApp::GetTempFolder()
{
    const std::string stored = m_store.ReadString(kSettingsKey, "Temp Folder", "");
    if (!stored.empty())
    {
        const std::string folder = IncludeTrailingSlash(stored);
        ForceDirectories(folder);
        return folder;
    }
    const std::string folder = m_environment.defaultTempFolder;
    if (m_environment.tempFolderIsShared)
    {
        ForceDirectories(ExtractFilePath(folder.substr(0, folder.size() - 1)));
        std::string path = folder.substr(0, folder.size() - 1);
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            throw EFileError("Unable to create directory");
        CheckPrivateFolder(folder);
        return folder;
    }
    ForceDirectories(folder);
    return folder;
}

void THXApp::SetDownloadsFolder(const std::string& path)
{
    const std::string folder = path.empty() ? m_environment.defaultDownloadsFolder : IncludeTrailingSlash(path);
    m_store.WriteString(kSettingsKey, "Downloads Folder", folder);
}

void THXApp::SetIntranetFolder(const std::string& path)
{
    const std::string folder = path.empty() ? m_environment.defaultIntranetFolder : IncludeTrailingSlash(path);
    m_store.WriteString(kSettingsKey, "Local Intranet Folder", folder);
}

void THXApp::SetTempFolder(const std::string& path)
{
    if (path.empty())
        return;
    std::string folder = IncludeTrailingSlash(path);
    if (!ContainsNoCase(folder, "harbex"))
        folder += "Harbex/";
    m_store.WriteString(kSettingsKey, "Temp Folder", folder);
}

void THXApp::SetBeepOnCompletion(bool value)
{
    m_beepOnCompletion = value;
    m_store.WriteBool(kSettingsKey, "Beep On Completion", value);
}

void THXApp::SetZipPropertiesFirst(bool value)
{
    m_zipPropertiesFirst = value;
    m_store.WriteBool(kSettingsKey, "Zip Properties First", value);
}

void THXApp::SetConnections(int value)
{
    m_connections = value;
    m_store.WriteInteger(kSettingsKey, "Connections", value);
}

void THXApp::SetPriority(int value)
{
    const bool changed = m_priority != value;
    m_priority = value;
    m_store.WriteInteger(kSettingsKey, "Priority", value);
    if (changed && m_onPriorityChange)
        m_onPriorityChange();
}

void THXApp::SetUseProxy(bool value)
{
    m_useProxy = value;
    m_store.WriteBool(kSettingsKey, "Use Proxy", value);
}

std::string THXApp::ProxyAddress() const
{
    std::lock_guard lock(m_textMutex);
    return m_proxyAddress;
}

void THXApp::SetProxyAddress(const std::string& value)
{
    {
        std::lock_guard lock(m_textMutex);
        m_proxyAddress = value;
    }
    m_store.WriteString(kSettingsKey, "Proxy Address", value);
}

std::string THXApp::ProxyPort() const
{
    std::lock_guard lock(m_textMutex);
    return m_proxyPort;
}

void THXApp::SetProxyPort(const std::string& value)
{
    {
        std::lock_guard lock(m_textMutex);
        m_proxyPort = value;
    }
    m_store.WriteString(kSettingsKey, "Proxy Port", value);
}

std::string THXApp::ProxyAuthorization() const
{
    std::lock_guard lock(m_textMutex);
    return m_proxyAuthorization;
}

void THXApp::SetProxyAuthorization(const std::string& value)
{
    {
        std::lock_guard lock(m_textMutex);
        m_proxyAuthorization = value;
    }
    m_store.WriteString(kSettingsKey, "Proxy Authorization", value);
}

void THXApp::SetCheckCertificates(bool value)
{
    m_checkCertificates = value;
    m_store.WriteBool(kSettingsKey, "Check Certificates", value);
}

void THXApp::SetObeyRobots(bool value)
{
    m_obeyRobots = value;
    m_store.WriteBool(kSettingsKey, "Obey Robots", value);
}

void THXApp::SetConnectTimeOut(int seconds)
{
    seconds = std::clamp(seconds, kMinConnectTimeOut, kMaxConnectTimeOut);
    m_connectTimeOut = seconds;
    m_store.WriteInteger(kSettingsKey, "Connect Time Out", seconds);
}

void THXApp::OverrideConnectTimeOut(int seconds)
{
    m_connectTimeOut = std::clamp(seconds, kMinConnectTimeOut, kMaxConnectTimeOut);
}

std::string THXApp::CAFile() const
{
    std::lock_guard lock(m_textMutex);
    return m_caFile;
}

void THXApp::SetCAFile(const std::string& value)
{
    {
        std::lock_guard lock(m_textMutex);
        m_caFile = value;
    }
    m_store.WriteString(kSettingsKey, "CA File", value);
}

std::string THXApp::Skin() const
{
    std::lock_guard lock(m_textMutex);
    return m_skin;
}

void THXApp::SetSkin(const std::string& value)
{
    {
        std::lock_guard lock(m_textMutex);
        m_skin = value;
    }
    m_store.WriteString(kSettingsKey, "Skin", value);
}

void THXApp::SetNoAds(bool value)
{
    m_noAds = value;
    m_store.WriteBool(kSettingsKey, "No Ads", value);
}

void THXApp::SetMaxURLHistory(int value)
{
    m_maxURLHistory = value;
    m_store.WriteInteger(kSettingsKey, "Max URL History", value);
}

void THXApp::SetMaxFileHistory(int value)
{
    m_maxFileHistory = value;
    m_store.WriteInteger(kSettingsKey, "Max File History", value);
}

std::string THXApp::LastCategory() const
{
    std::lock_guard lock(m_textMutex);
    return m_lastCategory;
}

void THXApp::SetLastCategory(const std::string& value)
{
    {
        std::lock_guard lock(m_textMutex);
        m_lastCategory = value.empty() ? std::string("General") : value;
    }
    m_store.WriteString(kSettingsKey, "Last Category", value);
}

std::string THXApp::UserAgentChoice() const
{
    std::lock_guard lock(m_textMutex);
    return m_userAgentChoice;
}

void THXApp::SetUserAgentChoice(const std::string& value)
{
    {
        std::lock_guard lock(m_textMutex);
        m_userAgentChoice = value;
        m_userAgent = AgentTextForChoice(value);
    }
    m_store.WriteString(kSettingsKey, "User Agent", value);
}

std::string THXApp::UserAgent() const
{
    std::lock_guard lock(m_textMutex);
    return m_userAgent;
}

std::string THXApp::Browser() const
{
    std::lock_guard lock(m_textMutex);
    return m_browser;
}

void THXApp::SetBrowser(const std::string& path)
{
    const std::string browser = !path.empty() && FileExists(path) ? path : DefaultBrowser();
    {
        std::lock_guard lock(m_textMutex);
        m_browser = browser;
    }
    m_store.WriteString(kSettingsKey, "Browser", browser);
}

// The desktop's way of opening an address with the user's chosen browser, else a
// browser of either family found on the search path.
std::string THXApp::DefaultBrowser() const
{
    std::string fromEnvironment = EnvText("BROWSER");
    if (!fromEnvironment.empty())
    {
        fromEnvironment = fromEnvironment.substr(0, fromEnvironment.find(':'));
        if (!fromEnvironment.empty() && fromEnvironment.front() == '/' && FileExists(fromEnvironment))
            return fromEnvironment;
        if (std::string found = FindProgramOnPath(fromEnvironment); !found.empty())
            return found;
    }
    if (std::string opener = FindProgramOnPath("xdg-open"); !opener.empty())
        return opener;
    if (std::string chromium = FindInternetExplorer(); !chromium.empty())
        return chromium;
    return FindNetscapeNavigator();
}

int THXApp::GetSaveMode(int defaultValue)
{
    return m_store.ReadInteger(kSettingsKey, "Save Mode", defaultValue);
}

void THXApp::SetSaveMode(int value)
{
    m_store.WriteInteger(kSettingsKey, "Save Mode", value);
}

void THXApp::SetOnPriorityChange(std::function<void()> handler)
{
    m_onPriorityChange = std::move(handler);
}

void THXApp::SaveActiveTasks()
{
    ForceDirectories(TasksFolder());
    const std::string file = ActiveTasksFile();
    // The other program (or a second one) may have changed the list since this one
    // read it: their changes stay, this process's changes are applied on top.
    const TExclusiveFileLock lock(file + ".lock");
    std::vector<std::string> merged = ReadActiveTaskFile();
    const auto contains = [](const std::vector<std::string>& list, const std::string& path)
    { return std::find(list.begin(), list.end(), path) != list.end(); };
    std::vector<std::string> mine;
    for (const TActiveTask& entry : ActiveTasks)
        mine.push_back(entry.fileName);
    std::erase_if(merged,
                  [&](const std::string& path) { return contains(m_activeListBase, path) && !contains(mine, path); });
    for (const std::string& path : mine)
        if (!contains(m_activeListBase, path) && !contains(merged, path))
            merged.push_back(path);

    std::string text;
    for (const std::string& path : merged)
        text += path + "\r\n";
    if (!WriteFileAtomic(file, text))
        throw EFileError("Unable to write file: " + file);
    m_activeListBase = merged;
    m_activeListStamp = FileStamp(file);

    // The list now is the file's, in its order; task objects stay with their paths.
    std::vector<TActiveTask> list;
    for (const std::string& path : merged)
    {
        const auto held = std::find_if(ActiveTasks.begin(), ActiveTasks.end(),
                                       [&](const TActiveTask& entry) { return entry.fileName == path; });
        list.push_back(held != ActiveTasks.end() ? std::move(*held) : TActiveTask{path, nullptr});
    }
    ActiveTasks = std::move(list);
}

bool THXApp::ActiveTasksChangedOnDisk() const
{
    return FileStamp(ActiveTasksFile()) != m_activeListStamp;
}

void THXApp::LoadActiveTaskList()
{
    const std::string list = ActiveTasksFile();
    std::string unused;
    const TFileRead read = ReadRegularFile(list, kMaxActiveListBytes, unused);
    if (read != TFileRead::Read && read != TFileRead::Missing)
    {
        const std::string kept = list + ".bad";
        struct stat status = {};
        if (::lstat(list.c_str(), &status) == 0 && !S_ISDIR(status.st_mode) &&
            ::rename(list.c_str(), kept.c_str()) == 0)
            m_store.ReportProblem("Active task list " + list + " could not be read; it is kept as " + kept);
        else
            m_store.ReportProblem("Active task list " + list + " could not be read");
        return;
    }
    m_activeListStamp = FileStamp(list); // before reading: a change meanwhile is seen later
    m_activeListBase = ReadActiveTaskFile();
    for (const std::string& path : m_activeListBase)
        ActiveTasks.push_back({path, nullptr});
}

std::vector<std::string> THXApp::ReadActiveTaskFile() const
{
    std::string text;
    if (ReadRegularFile(ActiveTasksFile(), kMaxActiveListBytes, text) != TFileRead::Read)
        return {};
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start < text.size())
    {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos)
            end = text.size();
        if (end > start && text[end - 1] == '\r')
            --end;
        std::string path = text.substr(start, end - start);
        if (!path.empty() && std::find(paths.begin(), paths.end(), path) == paths.end())
            paths.push_back(std::move(path));
        start = next;
    }
    return paths;
}

std::vector<std::string> THXApp::LoadRecentList(std::string_view key, int maximum)
{
    std::vector<std::string> list;
    for (int index = 0; index < maximum; ++index)
    {
        const std::string name = "F" + std::to_string(index);
        if (!m_store.ValueExists(key, name))
            break;
        std::string entry = m_store.ReadString(key, name, "");
        if (!entry.empty())
            list.push_back(std::move(entry));
    }
    return list;
}

void THXApp::SaveRecentList(std::string_view key, const std::vector<std::string>& list, int maximum)
{
    m_store.DeleteKey(key);
    int index = 0;
    for (const std::string& entry : list)
    {
        if (index >= maximum)
            break;
        m_store.WriteString(key, "F" + std::to_string(index++), entry);
    }
}

} // namespace hx
