#include "core/HXApp.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

#include "core/HXFiles.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

class HXAppTest : public test::THXSandboxTest
{
protected:
    THXEnvironment Env() const { return THXEnvironment::UnderHome(Home().Path().string()); }
};

TEST_F(HXAppTest, FreshStoreGivesTheDocumentedDefaults)
{
    THXApp app(Env());
    EXPECT_EQ(app.Connections(), 10);
    EXPECT_EQ(app.Priority(), 5);
    EXPECT_EQ(app.Skin(), "Default");
    EXPECT_EQ(app.LastCategory(), "General");
    EXPECT_EQ(app.MaxURLHistory(), 20);
    EXPECT_EQ(app.MaxFileHistory(), 10);
    EXPECT_EQ(app.QueueSaveInterval(), 10);
    EXPECT_TRUE(app.BeepOnCompletion());
    EXPECT_FALSE(app.ZipPropertiesFirst());
    EXPECT_FALSE(app.UseProxy());
    EXPECT_FALSE(app.NoAds());
    EXPECT_EQ(app.UserAgent(), DefaultAgentText());
    // The product token and version only: no address goes to servers.
    EXPECT_EQ(DefaultAgentText(), "Harbex/" + std::string(kVersion));
    EXPECT_EQ(DefaultAgentText().rfind("Harbex/2.60.120", 0), 0u);
    EXPECT_EQ(DefaultAgentText().find_first_of(" (/:", 7), std::string::npos) << DefaultAgentText();
    EXPECT_EQ(app.HomePageAddress(), "");
    EXPECT_EQ(app.ThemeColors()[0], "$00663300");
    EXPECT_EQ(app.ThemeColors()[3], "$00BDCFCE");
    EXPECT_EQ(app.GetSaveMode(7), 7);

    THXApp lowColour(Env(), 8);
    EXPECT_EQ(lowColour.ThemeColors()[0], "$005f4000");
    EXPECT_EQ(lowColour.ThemeColors()[3], "$00C0DCC0");
}

TEST_F(HXAppTest, SettersStoreAtOnceAndANewObjectReadsThemBack)
{
    {
        THXApp app(Env());
        app.SetConnections(16);
        app.SetPriority(9);
        app.SetUseProxy(true);
        app.SetProxyAddress("proxy.local");
        app.SetProxyPort("3128");
        app.SetProxyAuthorization("user:pass");
        app.SetSkin("Blue");
        app.SetNoAds(true);
        app.SetBeepOnCompletion(false);
        app.SetZipPropertiesFirst(true);
        app.SetMaxURLHistory(5);
        app.SetMaxFileHistory(3);
        app.SetLastCategory("Über Sites");
        app.SetUserAgentChoice("Netscape Navigator 4.05");
        app.SetSaveMode(1);
        app.SetHomePageAddress("http://127.0.0.1:9/harbex");
    }
    THXApp app(Env());
    EXPECT_EQ(app.Connections(), 16);
    EXPECT_EQ(app.Priority(), 9);
    EXPECT_TRUE(app.UseProxy());
    EXPECT_EQ(app.ProxyAddress(), "proxy.local");
    EXPECT_EQ(app.ProxyPort(), "3128");
    EXPECT_EQ(app.ProxyAuthorization(), "user:pass");
    EXPECT_EQ(app.Skin(), "Blue");
    EXPECT_EQ(app.SkinFolder(), app.ProgramFolder() + "Skins/Blue/");
    EXPECT_TRUE(app.NoAds());
    EXPECT_FALSE(app.BeepOnCompletion());
    EXPECT_TRUE(app.ZipPropertiesFirst());
    EXPECT_EQ(app.MaxURLHistory(), 5);
    EXPECT_EQ(app.MaxFileHistory(), 3);
    EXPECT_EQ(app.LastCategory(), "Über Sites");
    EXPECT_EQ(app.UserAgent(), "Mozilla/4.05 [en] (Win95; I)");
    EXPECT_EQ(app.GetSaveMode(0), 1);
    EXPECT_EQ(app.Store().ReadInteger(kSettingsKey, "Connections", 0), 16);
    EXPECT_EQ(app.HomePageAddress(), "http://127.0.0.1:9/harbex");
    EXPECT_EQ(app.Store().ReadString(kSettingsKey, "Home Page Address", ""), "http://127.0.0.1:9/harbex");
}

TEST_F(HXAppTest, PagesUnderTheHomePageAddress)
{
    EXPECT_EQ(AddressUnderHomePage("", "skins/"), "");
    EXPECT_EQ(AddressUnderHomePage("", ""), "");
    EXPECT_EQ(AddressUnderHomePage("http://127.0.0.1:9/harbex", ""), "http://127.0.0.1:9/harbex");
    EXPECT_EQ(AddressUnderHomePage("http://127.0.0.1:9/harbex", "skins/"), "http://127.0.0.1:9/harbex/skins/");
    EXPECT_EQ(AddressUnderHomePage("http://127.0.0.1:9/harbex/", "news/"), "http://127.0.0.1:9/harbex/news/");
    EXPECT_EQ(AddressUnderHomePage("http://127.0.0.1:9/", "/skins/"), "http://127.0.0.1:9/skins/");
}

// "Host Delay", "Max Page Size" and "Renderers" are kept within their ranges however they were
// written: through the setters or straight into the file.
TEST_F(HXAppTest, HostDelayAndMaxPageSizeStayInTheirRanges)
{
    THXApp app(Env());
    EXPECT_EQ(app.HostDelay(), 0);
    EXPECT_EQ(app.MaxPageSize(), kDefaultMaxPageSize);
    app.SetHostDelay(kMaxHostDelay + 1);
    app.SetMaxPageSize(kMaxMaxPageSize + 1);
    EXPECT_EQ(app.Store().ReadInteger(kSettingsKey, "Host Delay", 0), kMaxHostDelay);
    EXPECT_EQ(app.Store().ReadInteger(kSettingsKey, "Max Page Size", 0), kMaxMaxPageSize);
    app.SetHostDelay(-5);
    app.SetMaxPageSize(0);
    EXPECT_EQ(app.HostDelay(), 0);
    EXPECT_EQ(app.MaxPageSize(), kMinMaxPageSize);
    app.Store().WriteInteger(kSettingsKey, "Host Delay", 2'000'000'000);
    app.Store().WriteInteger(kSettingsKey, "Max Page Size", -3);
    EXPECT_EQ(app.HostDelay(), kMaxHostDelay);
    EXPECT_EQ(app.MaxPageSize(), kMinMaxPageSize);
    app.SetHostDelay(1500);
    app.SetMaxPageSize(64);
    EXPECT_EQ(THXApp(Env()).HostDelay(), 1500);
    EXPECT_EQ(THXApp(Env()).MaxPageSize(), 64);

    // "Renderers" the same way.
    EXPECT_EQ(app.Renderers(), kDefaultRenderers);
    app.SetRenderers(kMaxRenderers + 3);
    EXPECT_EQ(app.Store().ReadInteger(kSettingsKey, "Renderers", 0), kMaxRenderers);
    app.Store().WriteInteger(kSettingsKey, "Renderers", 0);
    EXPECT_EQ(app.Renderers(), kMinRenderers);
    app.SetRenderers(1);
    EXPECT_EQ(THXApp(Env()).Renderers(), 1);
}

TEST_F(HXAppTest, AgentChoiceDecidesTheTextSent)
{
    THXApp app(Env());
    app.SetUserAgentChoice("Internet Explorer 4.01");
    EXPECT_EQ(app.UserAgent(), "Mozilla/4.0 (compatible; MSIE 4.01; Windows 95)");
    app.SetUserAgentChoice("Anonymous");
    EXPECT_EQ(app.UserAgent(), "");
    app.SetUserAgentChoice("Harbex");
    EXPECT_EQ(app.UserAgent(), DefaultAgentText());
    app.SetUserAgentChoice("MyBot/1.0");
    EXPECT_EQ(app.UserAgent(), "MyBot/1.0");
    // The comparison is exact: another letter case is a text of its own.
    app.SetUserAgentChoice("anonymous");
    EXPECT_EQ(app.UserAgent(), "anonymous");
    EXPECT_EQ(AgentChoices().size(), 10u);
    EXPECT_EQ(app.Store().ReadString(kSettingsKey, "User Agent", "?"), "anonymous");
}

TEST_F(HXAppTest, LastCategoryEmptyIsStoredButTheFieldStaysGeneral)
{
    THXApp app(Env());
    app.SetLastCategory("Work");
    app.SetLastCategory("");
    EXPECT_EQ(app.LastCategory(), "General");
    EXPECT_TRUE(app.Store().ValueExists(kSettingsKey, "Last Category"));
    EXPECT_EQ(app.Store().ReadString(kSettingsKey, "Last Category", "?"), "");
    THXApp again(Env());
    EXPECT_EQ(again.LastCategory(), "General");
}

TEST_F(HXAppTest, TempFolderAlwaysContainsTheProgramName)
{
    THXApp app(Env());
    const std::string base = Home().Folder();
    app.SetTempFolder(base + "Tmp");
    EXPECT_EQ(app.Store().ReadString(kSettingsKey, "Temp Folder", ""), base + "Tmp/Harbex/");
    app.SetTempFolder(base + "harbex");
    EXPECT_EQ(app.Store().ReadString(kSettingsKey, "Temp Folder", ""), base + "harbex/");
    app.SetTempFolder(base + "MyHARBEXStuff/");
    EXPECT_EQ(app.Store().ReadString(kSettingsKey, "Temp Folder", ""), base + "MyHARBEXStuff/");
    app.SetTempFolder("");
    EXPECT_EQ(app.Store().ReadString(kSettingsKey, "Temp Folder", ""), base + "MyHARBEXStuff/");
    EXPECT_EQ(app.GetTempFolder(), base + "MyHARBEXStuff/");
    EXPECT_TRUE(DirectoryExists(base + "MyHARBEXStuff"));
}

TEST_F(HXAppTest, UserFoldersAreCreatedOnDemandWithTheirDefaults)
{
    THXApp app(Env());
    const std::string downloads = app.GetDownloadsFolder();
    EXPECT_EQ(downloads, Home().Folder() + "Downloads/");
    EXPECT_TRUE(DirectoryExists(downloads));
    // The default of the downloads folder is stored; the temporary folder's is not.
    EXPECT_EQ(app.Store().ReadString(kSettingsKey, "Downloads Folder", ""), downloads);
    EXPECT_EQ(app.GetIntranetFolder(), Home().Folder() + "My Intranet/");
    EXPECT_EQ(app.GetTempFolder(), Home().Folder() + "Temp/Harbex/");
    EXPECT_FALSE(app.Store().ValueExists(kSettingsKey, "Temp Folder"));

    app.SetDownloadsFolder(Home().Folder() + "Elsewhere");
    EXPECT_EQ(app.GetDownloadsFolder(), Home().Folder() + "Elsewhere/");
    app.SetDownloadsFolder("");
    EXPECT_EQ(app.GetDownloadsFolder(), Home().Folder() + "Downloads/");
    app.SetIntranetFolder(Home().Folder() + "Net/");
    EXPECT_EQ(app.GetIntranetFolder(), Home().Folder() + "Net/");

    // A folder that cannot be made stops the caller with the user's message.
    Home().WriteFile("plainfile", "x");
    app.SetDownloadsFolder(Home().Folder() + "plainfile/sub");
    try
    {
        app.GetDownloadsFolder();
        FAIL() << "expected a folder error";
    }
    catch (const EFileError& error)
    {
        EXPECT_STREQ(error.what(), "Unable to create directory");
    }
}

TEST_F(HXAppTest, SharedTemporaryFolderIsPrivateAndNeverALink)
{
    THXEnvironment env = Env();
    env.defaultTempFolder = Home().Folder() + "shared/Harbex-test/";
    env.tempFolderIsShared = true;
    {
        THXApp app(env);
        const std::string folder = app.GetTempFolder();
        EXPECT_EQ(folder, env.defaultTempFolder);
        struct stat info
        {
        };
        ASSERT_EQ(::stat(folder.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
    }
    // Someone planted a link where the folder should be: refuse it.
    std::filesystem::remove_all(env.defaultTempFolder);
    std::filesystem::create_directories(Home().Path() / "victim");
    std::filesystem::create_directory_symlink(Home().Path() / "victim", Home().Path() / "shared/Harbex-test");
    THXApp app(env);
    EXPECT_THROW(app.GetTempFolder(), EFileError);
}

TEST_F(HXAppTest, PriorityChangeNotifiesOnlyWhenItChanges)
{
    THXApp app(Env());
    int calls = 0;
    app.SetOnPriorityChange([&calls] { ++calls; });
    app.SetPriority(5);
    EXPECT_EQ(calls, 0);
    app.SetPriority(2);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(app.Priority(), 2);
}

TEST_F(HXAppTest, RecentListsAreRewrittenNewestFirstWithinTheirMaximum)
{
    THXApp app(Env());
    app.SaveRecentList(kRecentURLsKey, {"http://c/", "http://b/", "http://a/"}, 5);
    EXPECT_EQ(app.LoadRecentList(kRecentURLsKey, 5), (std::vector<std::string>{"http://c/", "http://b/", "http://a/"}));
    // A shorter list replaces the whole key: no stale "F2" survives.
    app.SaveRecentList(kRecentURLsKey, {"http://d/", "http://c/", "http://b/"}, 2);
    EXPECT_EQ(app.LoadRecentList(kRecentURLsKey, 5), (std::vector<std::string>{"http://d/", "http://c/"}));
    EXPECT_FALSE(app.Store().ValueExists(kRecentURLsKey, "F2"));
    EXPECT_EQ(app.LoadRecentList(kRecentURLsKey, 1), (std::vector<std::string>{"http://d/"}));
    app.SaveRecentList(kRecentZipFilesKey, {}, 10);
    EXPECT_TRUE(app.LoadRecentList(kRecentZipFilesKey, 10).empty());
}

TEST_F(HXAppTest, HarbexHomeHoldsTheSettingsFileAndProgramFolders)
{
    const THXEnvironment env = THXEnvironment::FromProcess();
    EXPECT_EQ(env.programFolder, Home().Folder());
    EXPECT_EQ(env.settingsFile, Home().Folder() + "Harbex.reg");
    THXApp app(env);
    EXPECT_EQ(THXApp::Instance(), &app);
    EXPECT_EQ(app.TasksFolder(), Home().Folder() + "Tasks/");
    EXPECT_EQ(app.ProfilesFolder(), Home().Folder() + "Profiles/");
    EXPECT_EQ(app.ActiveTasksFile(), Home().Folder() + "Tasks/ActiveTasks.lst");
    app.SetConnections(3);
    EXPECT_TRUE(FileExists(Home().Folder() + "Harbex.reg"));
}

TEST_F(HXAppTest, BrowserFallsBackToTheSystemDefaultWhenThePathIsMissing)
{
    const std::string tools = Home().Folder() + "bin/";
    Home().WriteFile("bin/xdg-open", "#!/bin/sh\n");
    ::chmod((tools + "xdg-open").c_str(), 0755);
    const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    const char* savedBrowser = std::getenv("BROWSER");
    const std::string browserValue = savedBrowser ? savedBrowser : "";
    ::setenv("PATH", tools.c_str(), 1);
    ::unsetenv("BROWSER");

    THXApp app(Env());
    EXPECT_EQ(app.Browser(), tools + "xdg-open");
    Home().WriteFile("bin/mybrowser", "#!/bin/sh\n");
    app.SetBrowser(tools + "mybrowser");
    EXPECT_EQ(app.Browser(), tools + "mybrowser");
    app.SetBrowser(tools + "missing-browser");
    EXPECT_EQ(app.Browser(), tools + "xdg-open");
    EXPECT_EQ(app.Store().ReadString(kSettingsKey, "Browser", ""), tools + "xdg-open");

    ::setenv("PATH", savedPath.c_str(), 1);
    if (savedBrowser)
        ::setenv("BROWSER", browserValue.c_str(), 1);
}

} // namespace
} // namespace hx
