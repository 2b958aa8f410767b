#include "shell/HXFirstRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXProfile.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

class HXFirstRunTest : public test::THXSandboxTest
{
protected:
    THXEnvironment Env() const
    {
        THXEnvironment env = THXEnvironment::UnderHome(Home().Path().string());
        env.dataFolder = std::string(HX_SOURCE_DATA_DIR) + "/";
        return env;
    }
};

TEST_F(HXFirstRunTest, SetsUpTheProgramFolderOnceAndImportsTheShippedGroups)
{
    Home().WriteFile("Tasks/Loose.hxt", "[Task]\r\n");
    Home().WriteFile("Tasks/Loose.dwn", "http://a/\r\n");
    Home().WriteFile("Tasks/Clash.hxt", "[Task]\r\nComment=loose\r\n");
    Home().WriteFile("Tasks/General/Clash.hxt", "[Task]\r\nComment=filed\r\n");
    Home().WriteFile("Profiles/Whole Site.hxp", "[Profile]\r\nProfile Name=Mine\r\n");

    THXApp app(Env());
    const TFirstRunResult first = FirstRunSetup(app);
    EXPECT_TRUE(first.ran);
    EXPECT_EQ(app.Store().ReadString(kHarbexKey, "Version", ""), "2.60");
    EXPECT_TRUE(DirectoryExists(Home().Folder() + "Skins"));
    EXPECT_TRUE(DirectoryExists(Home().Folder() + "Downloads"));
    EXPECT_TRUE(FileExists(Home().Folder() + "FTypes.reg"));

    // The shipped groups are in the store, with the extensions the editors protect.
    EXPECT_EQ(GroupOfURL(app.Store(), "http://h/"), "HTML");
    for (const char* page : {"a.htm", "a.html", "a.shtm", "a.shtml", "a.asp", "a.aspx", "a.php", "a.jsp", "a.xhtml"})
        EXPECT_EQ(GroupOfURL(app.Store(), std::string("http://h/") + page), "HTML") << page;
    for (const char* image : {"a.gif", "a.jpg", "a.jpeg", "a.png", "a.svg", "a.webp", "a.ico", "a.bmp"})
        EXPECT_EQ(GroupOfURL(app.Store(), std::string("http://h/") + image), "Images") << image;
    EXPECT_EQ(GroupOfURL(app.Store(), "http://h/a.css"), GroupOfURL(app.Store(), "http://h/a.js"));
    EXPECT_FALSE(GroupOfURL(app.Store(), "http://h/a.mp3").empty());
    EXPECT_FALSE(GroupOfURL(app.Store(), "http://h/a.zip").empty());
    EXPECT_FALSE(GroupOfURL(app.Store(), "http://h/a.pdf").empty());

    // Shipped profiles are seeded, but a file already there is the user's and stays.
    EXPECT_TRUE(FileExists(Home().Folder() + "Profiles/Single Page.hxp"));
    THXProfile mine;
    mine.FileName = Home().Folder() + "Profiles/Whole Site.hxp";
    mine.Load();
    EXPECT_EQ(mine.Name, "Mine");
    EXPECT_EQ(std::count(first.seeded.begin(), first.seeded.end(), "Profiles/Whole Site.hxp"), 0);
    // The help is read where it is installed, never copied.
    EXPECT_TRUE(FileExists(app.Environment().dataFolder + "help/index.html"));
    EXPECT_FALSE(DirectoryExists(Home().Folder() + "help"));

    // Loose task and queue files move into General; a name already filed there is never replaced.
    EXPECT_TRUE(FileExists(Home().Folder() + "Tasks/General/Loose.hxt"));
    EXPECT_TRUE(FileExists(Home().Folder() + "Tasks/General/Loose.dwn"));
    EXPECT_FALSE(FileExists(Home().Folder() + "Tasks/Loose.hxt"));
    EXPECT_EQ(Home().ReadFile("Tasks/General/Clash.hxt"), "[Task]\r\nComment=filed\r\n");
    EXPECT_TRUE(FileExists(Home().Folder() + "Tasks/Clash.hxt"));
    EXPECT_FALSE(first.problems.empty());

    // The second start does nothing: the user's own group changes are not undone.
    WriteGroup(app.Store(), "Images", ".gif;");
    const TFirstRunResult second = FirstRunSetup(app);
    EXPECT_FALSE(second.ran);
    EXPECT_EQ(app.Store().ReadString(kFileTypesKey, "Images", ""), ".gif;");
}

TEST_F(HXFirstRunTest, RunsAgainWhenTheSkinsFolderIsGoneOrTheVersionDiffers)
{
    {
        THXApp app(Env());
        EXPECT_TRUE(FirstRunSetup(app).ran);
        std::filesystem::remove_all(Home().Path() / "Skins");
        EXPECT_TRUE(FirstRunSetup(app).ran);
        EXPECT_FALSE(FirstRunSetup(app).ran);
        app.Store().WriteString(kHarbexKey, "Version", "2.50");
        EXPECT_TRUE(FirstRunSetup(app).ran);
    }
    // The folder test ignores letter case, as a case-insensitive file system would.
    std::filesystem::rename(Home().Path() / "Skins", Home().Path() / "skins");
    THXApp app(Env());
    EXPECT_FALSE(FirstRunSetup(app).ran);
}

TEST_F(HXFirstRunTest, ProxyDetectionIsOfferedOnTheFirstRunOnly)
{
    THXApp app(Env());
    int detections = 0;
    TFirstRunOptions options;
    options.detectProxy = [&detections] { ++detections; };
    FirstRunSetup(app, options);
    FirstRunSetup(app, options);
    EXPECT_EQ(detections, 1);
}

TEST_F(HXFirstRunTest, MissingDataIsReportedNotFatal)
{
    THXEnvironment env = Env();
    env.dataFolder = Home().Folder() + "no-such-data/";
    THXApp app(env);
    const TFirstRunResult result = FirstRunSetup(app);
    EXPECT_TRUE(result.ran);
    EXPECT_TRUE(result.seeded.empty());
    ASSERT_FALSE(result.problems.empty());
    EXPECT_NE(result.problems.front().find("FTypes.reg"), std::string::npos);
    EXPECT_TRUE(DirectoryExists(Home().Folder() + "Downloads"));
}

} // namespace
} // namespace hx
