#include "shell/HXNewTask.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/HXApp.h"
#include "core/HXTask.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

class HXNewTaskTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        THXSandboxTest::SetUp();
        Home().WriteFile("Profiles/Deep.hxp", "[Profile]\r\nProfile Name=Deep\r\nDepth=3\r\n");
        m_app = std::make_unique<THXApp>(Env());
    }
    void TearDown() override
    {
        m_app.reset();
        THXSandboxTest::TearDown();
    }

    THXEnvironment Env() const { return THXEnvironment::UnderHome(Home().Path().string()); }
    THXApp& App() { return *m_app; }

    static TNewTaskRequest Request(const std::string& address, const std::string& profile)
    {
        TNewTaskRequest request;
        request.Address = address;
        request.Profile = profile;
        return request;
    }

private:
    std::unique_ptr<THXApp> m_app;
};

TEST_F(HXNewTaskTest, NamedProfileNormalisesAndSchedulesWhileNoProfileKeepsTheAddress)
{
    const auto named = NewTaskFromURL(App(), Request("www.example.com", "Deep"));
    EXPECT_EQ(named->URL, "http://www.example.com/");
    EXPECT_EQ(named->Name, "example");
    EXPECT_EQ(named->FileName, Home().Folder() + "Tasks/General/example.hxt");
    EXPECT_EQ(named->Category, "General");
    EXPECT_EQ(named->Profile.Name, "Deep");
    EXPECT_EQ(named->Profile.Depth, 3);
    EXPECT_EQ(named->Schedule, "Now");
    EXPECT_EQ(named->Status, kStatusScheduled);
    EXPECT_EQ(named->RunMode, kRunRestart);
    // Built only: nothing is written and nothing listed until the caller saves it.
    EXPECT_FALSE(std::filesystem::exists(named->FileName));
    EXPECT_TRUE(App().ActiveTasks.empty());

    for (const char* none : {"", "Custom"})
    {
        const auto custom = NewTaskFromURL(App(), Request("ftp://files.example.com/a", none));
        EXPECT_EQ(custom->URL, "ftp://files.example.com/a") << none;
        EXPECT_EQ(custom->Profile.Name, "Custom") << none;
        EXPECT_EQ(custom->Schedule, "") << none;
        EXPECT_EQ(custom->Status, kStatusUnscheduled) << none;
    }

    try
    {
        NewTaskFromURL(App(), Request("ftp://files.example.com/a", "Deep"));
        ADD_FAILURE() << "a refused address was accepted";
    }
    catch (const EInvalidURL& error)
    {
        EXPECT_STREQ(error.what(), "Invalid URL.");
    }
    try
    {
        NewTaskFromURL(App(), Request("http://example.com/", "Missing"));
        ADD_FAILURE() << "an unknown profile was accepted";
    }
    catch (const ENewTaskError& error)
    {
        EXPECT_NE(std::string(error.what()).find(Home().Folder() + "Profiles/Missing.hxp"), std::string::npos)
            << error.what();
    }
}

TEST_F(HXNewTaskTest, NameAndArchiveAreMadeUniqueInTheLastCategory)
{
    Home().WriteFile("Tasks/General/example.hxt", "[Task]\r\n");
    Home().WriteFile("Downloads/example(0).zip", "");
    const auto general = NewTaskFromURL(App(), Request("http://www.example.com/", "Deep"));
    EXPECT_EQ(general->Name, "example(0)");
    EXPECT_EQ(general->FileName, Home().Folder() + "Tasks/General/example(0).hxt");
    EXPECT_FALSE(general->IntranetMode);
    EXPECT_EQ(general->Destination, Home().Folder() + "Downloads/example(0)(0).zip");

    App().SetLastCategory("Sites");
    const auto filed = NewTaskFromURL(App(), Request("http://news.example.com/", "Deep"));
    EXPECT_EQ(filed->FileName, Home().Folder() + "Tasks/Sites/news_example.hxt");
    EXPECT_EQ(filed->Category, "Sites");
    EXPECT_EQ(filed->Destination, Home().Folder() + "Downloads/news_example.zip");

    TNewTaskRequest chosen = Request("http://www.example.com/", "Deep");
    chosen.Name = "Mine";
    chosen.Category = "Other";
    EXPECT_EQ(NewTaskFromURL(App(), chosen)->FileName, Home().Folder() + "Tasks/Other/Mine.hxt");
    chosen.Category = "../Outside";
    EXPECT_THROW(NewTaskFromURL(App(), chosen), ENewTaskError);
    chosen.Category = "";
    chosen.Name = "a/b";
    EXPECT_THROW(NewTaskFromURL(App(), chosen), ENewTaskError);
}

TEST_F(HXNewTaskTest, MapTargetArchiveAndIntranetChooseRunModeAndDestination)
{
    TNewTaskRequest request = Request("http://www.example.com/", "Deep");
    request.Map = true;
    EXPECT_EQ(NewTaskFromURL(App(), request)->RunMode, kRunMap);
    EXPECT_TRUE(NewTaskFromURL(App(), request)->Profile.UseStartPageTitle);

    request.Map = false;
    request.TargetArchive = "/data/zips/Collected.zip";
    const auto added = NewTaskFromURL(App(), request);
    EXPECT_EQ(added->Destination, "/data/zips/Collected.zip");
    EXPECT_FALSE(added->IntranetMode);
    EXPECT_FALSE(added->Profile.UseStartPageTitle);
    EXPECT_EQ(added->RunMode, kRunRestart);

    request.Intranet = true;
    const auto intranet = NewTaskFromURL(App(), request);
    EXPECT_TRUE(intranet->IntranetMode);
    EXPECT_EQ(intranet->Destination, App().GetIntranetFolder());
    EXPECT_EQ(intranet->Destination, Home().Folder() + "My Intranet/");
    EXPECT_TRUE(intranet->Profile.UseStartPageTitle);

    request.Folder = Home().Folder() + "Mirror";
    EXPECT_EQ(NewTaskFromURL(App(), request)->Destination, Home().Folder() + "Mirror/");
}

TEST_F(HXNewTaskTest, RememberURLPutsTheAddressFirstOnceAndKeepsTheMaximum)
{
    App().SetMaxURLHistory(3);
    App().SaveRecentList(kRecentURLsKey, {"http://a/", "http://b/", "http://c/"}, 3);
    RememberURL(App(), "http://b/");
    EXPECT_EQ(App().LoadRecentList(kRecentURLsKey, 10),
              (std::vector<std::string>{"http://b/", "http://a/", "http://c/"}));
    RememberURL(App(), "http://d/");

    // Saved: a fresh settings object reads the same list.
    THXApp reread(Env());
    EXPECT_EQ(reread.LoadRecentList(kRecentURLsKey, 10),
              (std::vector<std::string>{"http://d/", "http://b/", "http://a/"}));
}

} // namespace
} // namespace hx
