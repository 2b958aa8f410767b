#pragma once

// THXApp: the single application settings object. Created by start-up code before
// anything else and alive until the program ends; every other unit reads settings
// through it. Most values are read from the settings store once, at creation, and
// written back by their setter. It also knows the program's folders and creates the
// user folders on demand.
//
// Folders on this platform:
//  - with $HARBEX_HOME set, everything lives under it: program folder, settings file
//    "Harbex.reg", Downloads, "My Intranet" and the temporary folder;
//  - otherwise the program folder is $XDG_DATA_HOME/harbex/ (~/.local/share/harbex/),
//    the settings file $XDG_CONFIG_HOME/harbex/Harbex.reg, Downloads the user's
//    download folder + "Harbex/", the Personal Intranet ~/My Intranet/, and the
//    temporary folder $TMPDIR/Harbex-<uid>/ (created 0700, refused when it is a
//    link or owned by someone else).
// Folder paths always end with "/".

#include "core/HXOwner.h"
#include "core/HXSettingsStore.h"
#include "core/HXVersion.h"

#include <algorithm>
#include <array>
#include <functional>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace hx
{

class THXTask;

// Settings store keys.
inline constexpr std::string_view kHarbexKey = "\\Software\\Tavrolin\\Harbex";
inline constexpr std::string_view kSettingsKey = "\\Software\\Tavrolin\\Harbex\\Settings";
inline constexpr std::string_view kFormHarbexKey = "\\Software\\Tavrolin\\Harbex\\Settings\\FormHarbex";
inline constexpr std::string_view kFileTypesKey = "\\Software\\Tavrolin\\Harbex\\File Types";
inline constexpr std::string_view kRecentURLsKey = "\\Software\\Tavrolin\\Harbex\\Recent URLs";
inline constexpr std::string_view kRecentZipFilesKey = "\\Software\\Tavrolin\\Harbex\\Recent ZIP files";
inline constexpr std::string_view kBrowsersKey = "\\Software\\Tavrolin\\Harbex\\Browsers";
inline constexpr int kMaxBrowserHistory = 20;

// Values of the "Pacing" setting.
inline constexpr int kPacingClassic = 0;
inline constexpr int kPacingFast = 1;
// Range and default of the "Max Page Size" setting, in megabytes.
inline constexpr int kMinMaxPageSize = 1;
inline constexpr int kMaxMaxPageSize = 1024;
inline constexpr int kDefaultMaxPageSize = 32;
// "Renderers": how many offscreen browsers render pages at once.
inline constexpr int kMinRenderers = 1;
inline constexpr int kMaxRenderers = 8;
inline constexpr int kDefaultRenderers = 2;
// The longest "Host Delay", in milliseconds: a minute between two requests to one
// host, the most a robots.txt Crawl-delay is taken for; a larger stored number (a
// typing slip) must not leave a copy waiting for days.
inline constexpr int kMaxHostDelay = 60000;
// Range and default of the "Connect Time Out" setting, in seconds.
inline constexpr int kMinConnectTimeOut = 5;
inline constexpr int kMaxConnectTimeOut = 300;
inline constexpr int kDefaultConnectTimeOut = 30;

// The program's version as the first-run mark and the captions show it.
inline constexpr std::string_view kVersionMark = kVersionShort;
// "Harbex/<version>", "Harbex/2.60.120": the product token and version, sent when the
// agent choice is empty or "Harbex". It names no web address: the program has none
// of its own to give.
std::string DefaultAgentText();

// A page under the "Home Page Address" setting: `page` ("skins/", "news/", "" for the
// address itself) joined to `home` with one "/" between. Empty when `home` is empty.
std::string AddressUnderHomePage(std::string_view home, std::string_view page);

// The stored agent choice turned into the text sent to servers (empty: no agent line).
std::string AgentTextForChoice(std::string_view choice);

// The choices the preferences offer; any other text is accepted as is.
const std::vector<std::string>& AgentChoices();

// Where the program's folders and settings live; derived from the process
// environment, or given explicitly by tests.
struct THXEnvironment
{
    std::string programFolder;          // Tasks, Profiles, Skins, FTypes.reg
    std::string settingsFile;           // the REGEDIT4 settings file
    std::string defaultDownloadsFolder; // default of "Downloads Folder"
    std::string defaultIntranetFolder;  // default of "Local Intranet Folder"
    std::string defaultTempFolder;      // default of "Temp Folder"
    bool tempFolderIsShared = false;    // default temp lies in a folder other users can write
    std::string dataFolder;             // the installed data/ (FTypes.reg, Profiles, Skins), "" when not found

    static THXEnvironment FromProcess();
    // Everything under one folder, as with $HARBEX_HOME.
    static THXEnvironment UnderHome(const std::string& home);
};

// The largest "ActiveTasks.lst" read: far more than any real list (one line per
// scheduled task).
inline constexpr std::int64_t kMaxActiveListBytes = 4 * 1024 * 1024;

// One entry of the active-task list: the task file path and its loaded task.
struct TActiveTask
{
    std::string fileName;
    std::shared_ptr<THXTask> task;
};

class THXApp
{
public:
    // Reads every stored value with its default. colorDepthBits decides the theme colours.
    explicit THXApp(THXEnvironment environment = THXEnvironment::FromProcess(), int colorDepthBits = 24);
    ~THXApp();
    THXApp(const THXApp&) = delete;
    THXApp& operator=(const THXApp&) = delete;

    // The program's settings object, installed by the first THXApp created and
    // cleared when it is destroyed. Null before start-up.
    static THXApp* Instance();

    THXSettingsStore& Store() { return m_store; }

    // The owner thread workers hand their changes to. Until start-up installs the
    // program's event loop, calls run inline.
    THXOwnerThread& Owner() { return *m_owner; }
    void SetOwner(THXOwnerThread* owner) { m_owner = owner ? owner : &m_inlineOwner; }
    const THXEnvironment& Environment() const { return m_environment; }

    // Fixed folders.
    std::string ProgramFolder() const { return m_environment.programFolder; }
    std::string TasksFolder() const;
    std::string ProfilesFolder() const;
    std::string SkinFolder() const;
    std::string FileTypesFile() const;
    std::string ActiveTasksFile() const;

    // User folders: read the stored value now, apply the default, create the folder
    // with all missing parents (EFileError "Unable to create directory" on failure).
    std::string GetDownloadsFolder();
    std::string GetIntranetFolder();
    std::string GetTempFolder();
    void SetDownloadsFolder(const std::string& path);
    void SetIntranetFolder(const std::string& path);
    void SetTempFolder(const std::string& path);

    bool BeepOnCompletion() const { return m_beepOnCompletion; }
    void SetBeepOnCompletion(bool value);
    bool ZipPropertiesFirst() const { return m_zipPropertiesFirst; }
    void SetZipPropertiesFirst(bool value);
    int Connections() const { return m_connections; }
    void SetConnections(int value);
    int Priority() const { return m_priority; }
    void SetPriority(int value);
    bool UseProxy() const { return m_useProxy; }
    void SetUseProxy(bool value);
    std::string ProxyAddress() const;
    void SetProxyAddress(const std::string& value);
    std::string ProxyPort() const;
    void SetProxyPort(const std::string& value);
    std::string ProxyAuthorization() const;
    void SetProxyAuthorization(const std::string& value);
    // "Check Certificates": https servers must show a certificate that the trust
    // store vouches for and that names their host (on unless switched off).
    bool CheckCertificates() const { return m_checkCertificates; }
    void SetCheckCertificates(bool value);
    // For this program's run only (harbex-cli --no-check-certificate): the stored
    // setting stays as it is.
    void OverrideCheckCertificates(bool value) { m_checkCertificates = value; }
    // "Obey Robots": in Fast pacing each site's robots.txt is fetched before its
    // first page and keeps out the pages it disallows for the agent name sent (on
    // unless switched off). Classic pacing asks exactly what the pages link to.
    bool ObeyRobots() const { return m_obeyRobots; }
    void SetObeyRobots(bool value);
    // For this program's run only (harbex-cli --no-robots): the stored setting stays.
    void OverrideObeyRobots(bool value) { m_obeyRobots = value; }
    // "Use HTTP/2": in Fast pacing, https servers that offer HTTP/2 are asked over
    // it, one connection per server carrying every slot's requests (on unless
    // switched off). Read from the store each time: a task reads it when it starts.
    bool UseHttp2() { return m_useHttp2Override ? false : m_store.ReadBool(kSettingsKey, "Use HTTP/2", true); }
    void SetUseHttp2(bool value) { m_store.WriteBool(kSettingsKey, "Use HTTP/2", value); }
    // For this program's run only (harbex-cli --no-http2): the stored setting stays.
    void OverrideNoHttp2() { m_useHttp2Override = true; }
    // "Connect Time Out": seconds a transfer may take to look its host up and make
    // its connection (TCP, the secure handshake, a proxy's tunnel), apart from the
    // time-out of the transfer itself. kMinConnectTimeOut to kMaxConnectTimeOut,
    // kDefaultConnectTimeOut by default.
    int ConnectTimeOut() const { return m_connectTimeOut; }
    void SetConnectTimeOut(int seconds);
    // For this program's run only (harbex-cli --connect-timeout): the stored setting stays.
    void OverrideConnectTimeOut(int seconds);
    // "CA File": a PEM file of certificates trusted besides the system's; empty: none.
    std::string CAFile() const;
    void SetCAFile(const std::string& value);
    // "Proxy Offered": the detected proxy the preferences last asked about, so the
    // question about one proxy comes once (empty: none asked yet).
    std::string ProxyOffered() { return m_store.ReadString(kSettingsKey, "Proxy Offered", ""); }
    void SetProxyOffered(const std::string& proxy) { m_store.WriteString(kSettingsKey, "Proxy Offered", proxy); }
    std::string Skin() const;
    void SetSkin(const std::string& value);
    bool NoAds() const { return m_noAds; }
    void SetNoAds(bool value);
    int MaxURLHistory() const { return m_maxURLHistory; }
    void SetMaxURLHistory(int value);
    int MaxFileHistory() const { return m_maxFileHistory; }
    void SetMaxFileHistory(int value);
    std::string LastCategory() const;
    void SetLastCategory(const std::string& value);
    std::string UserAgentChoice() const;
    void SetUserAgentChoice(const std::string& value);
    std::string UserAgent() const;
    std::string Browser() const;
    void SetBrowser(const std::string& path);
    // The desktop's default browser program ($BROWSER, xdg-open, else a browser of
    // either family on the search path), empty when none is found.
    std::string DefaultBrowser() const;
    int GetSaveMode(int defaultValue);
    void SetSaveMode(int value);
    // Address of the page shown in the banner frame inserted into saved pages, the
    // reports and the "On Internet" wrapper page; empty by default, and then no
    // banner is inserted at all.
    std::string BannerPage() { return m_store.ReadString(kSettingsKey, "Banner Page", ""); }
    void SetBannerPage(const std::string& value) { m_store.WriteString(kSettingsKey, "Banner Page", value); }
    // "Home Page Address": the product's web site, empty by default. The skin dialog's
    // "&Download" and Help's "Harbex News..." and "Tavrolin Home Page..." open pages
    // under it; while it is empty those commands are hidden.
    std::string HomePageAddress() { return m_store.ReadString(kSettingsKey, "Home Page Address", ""); }
    void SetHomePageAddress(const std::string& value) { m_store.WriteString(kSettingsKey, "Home Page Address", value); }
    int QueueSaveInterval() const { return m_queueSaveInterval; }
    // "Pacing": how the crawl waits (kPacingFast by default, kPacingClassic keeps the
    // fixed one-second cadence). Read from the store each time: a task reads it when
    // it starts.
    int Pacing()
    {
        return m_store.ReadInteger(kSettingsKey, "Pacing", kPacingFast) == kPacingClassic ? kPacingClassic
                                                                                          : kPacingFast;
    }
    void SetPacing(int value)
    {
        m_store.WriteInteger(kSettingsKey, "Pacing", value == kPacingClassic ? kPacingClassic : kPacingFast);
    }
    // "Host Delay": the least time between two requests to one host, in
    // milliseconds (0: none, at most kMaxHostDelay), so a crawl can be slowed down
    // for a real site.
    int HostDelay()
    {
        return m_hostDelayOverride >= 0
                   ? m_hostDelayOverride
                   : std::clamp(m_store.ReadInteger(kSettingsKey, "Host Delay", 0), 0, kMaxHostDelay);
    }
    // For this program's run only (harbex-cli --wait): the stored setting stays.
    void OverrideHostDelay(int milliseconds) { m_hostDelayOverride = std::clamp(milliseconds, 0, kMaxHostDelay); }
    void SetHostDelay(int milliseconds)
    {
        m_store.WriteInteger(kSettingsKey, "Host Delay", std::clamp(milliseconds, 0, kMaxHostDelay));
    }
    // "Max Page Size": a fetched page larger than this many megabytes
    // (kMinMaxPageSize to kMaxMaxPageSize, kDefaultMaxPageSize by default) is kept as
    // it was fetched and not parsed, so its links are not followed and it is never
    // held in memory whole.
    int MaxPageSize()
    {
        return std::clamp(m_store.ReadInteger(kSettingsKey, "Max Page Size", kDefaultMaxPageSize), kMinMaxPageSize,
                          kMaxMaxPageSize);
    }
    void SetMaxPageSize(int megabytes)
    {
        m_store.WriteInteger(kSettingsKey, "Max Page Size", std::clamp(megabytes, kMinMaxPageSize, kMaxMaxPageSize));
    }
    // "Renderers": how many offscreen browsers (harbex-render) a task with "Render
    // Pages" runs at most at once (kMinRenderers to kMaxRenderers).
    int Renderers()
    {
        return std::clamp(m_store.ReadInteger(kSettingsKey, "Renderers", kDefaultRenderers), kMinRenderers,
                          kMaxRenderers);
    }
    void SetRenderers(int count)
    {
        m_store.WriteInteger(kSettingsKey, "Renderers", std::clamp(count, kMinRenderers, kMaxRenderers));
    }
    // The four skin colours as "$00BBGGRR" texts.
    const std::array<std::string, 4>& ThemeColors() const { return m_themeColors; }

    // Called after the priority changes, so the running task restarts its
    // page/resource ratio (the task runner connects it).
    void SetOnPriorityChange(std::function<void()> handler);

    // Recently used lists ("F0", "F1", … newest first) under the given key.
    std::vector<std::string> LoadRecentList(std::string_view key, int maximum);
    // Clears the key and writes the list, at most `maximum` entries.
    void SaveRecentList(std::string_view key, const std::vector<std::string>& list, int maximum);

    // Reads the stored values the fields keep again (at creation, and when another
    // process has changed the settings file).
    void ReloadSettings();
    // ReloadSettings when the settings file was replaced since the last look; true
    // when it was. The windows ask on their tick, so a change made by the other
    // program shows here too.
    bool ReloadSettingsIfChanged();

    // Writes the active-task list to "ActiveTasks.lst": one task file path per
    // line, each followed by CR LF; atomically. Another process may have changed
    // the file since this one read it: under the list's lock file the file is read
    // anew and only what this process changed since then (paths added, removed) is
    // applied to it, and ActiveTasks takes the result (entries another process added
    // come without a task object). Throws EFileError on failure.
    void SaveActiveTasks();
    // The paths ActiveTasks was last read as (the scheduler reading the list) with
    // FileStamp of the list taken before reading it: the base that SaveActiveTasks
    // tells this process's changes by.
    void NoteActiveTasksRead(std::vector<std::string> paths, std::string stamp)
    {
        m_activeListBase = std::move(paths);
        m_activeListStamp = std::move(stamp);
    }
    // True when "ActiveTasks.lst" was replaced since this process last read or wrote it.
    bool ActiveTasksChangedOnDisk() const;

    // The task file paths "ActiveTasks.lst" lists, in order, each once (paths are
    // compared exactly: the file system tells letter case apart). Lines may end
    // with CR LF or LF; empty lines are skipped. A missing file, or one that is not
    // a plain file of reasonable size, lists nothing.
    std::vector<std::string> ReadActiveTaskFile() const;

private:
    // Reads the active-task list at start-up. A list that exists but cannot be read
    // (not a plain file, too large, unreadable) is moved aside to
    // "ActiveTasks.lst.bad" and reported, so the next save never replaces it unseen.
    void LoadActiveTaskList();

public:
    // Tasks whose status is Scheduled or Downloading (kept by the task unit) and the
    // task whose queue is in memory. The paths of "ActiveTasks.lst" are read when the
    // settings object is created, so the first task saved keeps the tasks listed by
    // an earlier run; their task objects are attached when the scheduler loads them
    // (or when such a task is saved).
    std::vector<TActiveTask> ActiveTasks;
    std::shared_ptr<THXTask> CurrentTask;

private:
    std::string UserFolder(std::string_view valueName, const std::string& defaultFolder, bool storeDefault);

    THXEnvironment m_environment;
    THXSettingsStore m_store;
    THXInlineOwner m_inlineOwner;
    THXOwnerThread* m_owner = &m_inlineOwner;

    mutable std::mutex m_textMutex; // guards the text fields workers read
    std::atomic<bool> m_beepOnCompletion{true};
    std::atomic<bool> m_zipPropertiesFirst{false};
    std::atomic<int> m_connections{10};
    std::atomic<int> m_priority{5};
    std::atomic<bool> m_useProxy{false};
    std::string m_proxyAddress;
    std::string m_proxyPort;
    std::string m_proxyAuthorization;
    std::atomic<bool> m_checkCertificates{true};
    std::atomic<bool> m_obeyRobots{true};
    std::atomic<int> m_connectTimeOut{kDefaultConnectTimeOut};
    // Owner thread only; -1: the setting decides.
    int m_hostDelayOverride = -1;
    // Owner thread only: HTTP/2 switched off for this program's run.
    bool m_useHttp2Override = false;
    std::string m_caFile;
    std::string m_skin = "Default";
    std::atomic<bool> m_noAds{false};
    std::atomic<int> m_maxURLHistory{20};
    std::atomic<int> m_maxFileHistory{10};
    std::string m_lastCategory = "General";
    std::string m_userAgentChoice;
    std::string m_userAgent;
    std::string m_browser;
    int m_queueSaveInterval = 10;
    std::array<std::string, 4> m_themeColors;
    std::function<void()> m_onPriorityChange;
    // The active-task list as last read or written, and the file's identity then.
    std::vector<std::string> m_activeListBase;
    std::string m_activeListStamp;
    std::string m_settingsStamp;
};

} // namespace hx
