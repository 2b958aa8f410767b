// Two programs on one home: settings and the active-task list written by two
// processes at once lose nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "core/HXApp.h"
#include "core/HXProfile.h"
#include "core/HXSettingsStore.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

constexpr int kSaves = 200;

class HXTwoProcessTest : public test::THXSandboxTest
{
protected:
    THXEnvironment Env() const { return THXEnvironment::UnderHome(Home().Path().string()); }

    // Runs the work in two child processes at once (both wait at a gate until both
    // exist, so their saves interleave); true when both ended with status 0.
    static bool RunTwice(const std::function<void(char who)>& work)
    {
        int gate[2];
        if (::pipe(gate) != 0)
            return false;
        std::vector<pid_t> children;
        for (const char who : {'A', 'B'})
        {
            const pid_t child = ::fork();
            if (child == 0)
            {
                ::close(gate[1]);
                char go = 0;
                (void)!::read(gate[0], &go, 1);
                work(who);
                ::_exit(0);
            }
            children.push_back(child);
        }
        ::close(gate[0]);
        (void)!::write(gate[1], "gg", 2);
        ::close(gate[1]);
        bool ok = true;
        for (const pid_t child : children)
        {
            int status = 0;
            ok = ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
        }
        return ok;
    }
};

TEST_F(HXTwoProcessTest, SettingsSavedByTwoProcessesAllSurvive)
{
    {
        THXApp app(Env());
        app.SetSkin("Shared"); // a value neither process changes stays as it was
    }
    ASSERT_TRUE(RunTwice(
        [this](char who)
        {
            THXApp app(Env());
            for (int index = 0; index < kSaves; ++index)
                if (!app.Store().WriteInteger(kSettingsKey, std::string(1, who) + std::to_string(index), index))
                    ::_exit(1);
            // One value both change: the last save wins, whole.
            app.SetProxyAddress(std::string(who == 'A' ? "a" : "b") + ".proxy.test");
        }));
    THXSettingsStore store(THXEnvironment::UnderHome(Home().Path().string()).settingsFile);
    int missing = 0;
    for (const char who : {'A', 'B'})
        for (int index = 0; index < kSaves; ++index)
            missing +=
                store.ReadInteger(kSettingsKey, std::string(1, who) + std::to_string(index), -1) == index ? 0 : 1;
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(store.ReadString(kSettingsKey, "Skin", ""), "Shared");
    const std::string proxy = store.ReadString(kSettingsKey, "Proxy Address", "");
    EXPECT_TRUE(proxy == "a.proxy.test" || proxy == "b.proxy.test") << proxy;
    EXPECT_TRUE(store.TakeProblems().empty());
}

// Each process adds its tasks one save at a time and takes every other one off
// again; the list ends with exactly what each left there.
TEST_F(HXTwoProcessTest, ActiveTaskListSavedByTwoProcessesLosesNothing)
{
    const std::string earlier = Home().Folder() + "Tasks/General/Earlier.hxt";
    {
        THXApp app(Env());
        app.ActiveTasks.push_back({earlier, nullptr});
        app.SaveActiveTasks();
    }
    ASSERT_TRUE(RunTwice(
        [this](char who)
        {
            THXApp app(Env());
            const auto path = [&](int index)
            { return Home().Folder() + "Tasks/General/" + std::string(1, who) + std::to_string(index) + ".hxt"; };
            for (int index = 0; index < kSaves; ++index)
            {
                app.ActiveTasks.push_back({path(index), nullptr});
                app.SaveActiveTasks();
                if (index % 2 == 1)
                {
                    std::erase_if(app.ActiveTasks,
                                  [&](const TActiveTask& entry) { return entry.fileName == path(index - 1); });
                    app.SaveActiveTasks();
                }
            }
        }));
    THXApp app(Env());
    std::vector<std::string> expected{earlier};
    for (const char who : {'A', 'B'})
        for (int index = 1; index < kSaves; index += 2)
            expected.push_back(Home().Folder() + "Tasks/General/" + std::string(1, who) + std::to_string(index) +
                               ".hxt");
    std::vector<std::string> listed = app.ReadActiveTaskFile();
    std::sort(expected.begin(), expected.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(listed.size(), 1U + kSaves);
}

// Two programs editing one profile: each save keeps the keys the other changed.
TEST_F(HXTwoProcessTest, ProfileSavesKeepTheOtherProgramsChanges)
{
    THXProfile original;
    original.FileName = Home().Folder() + "Profiles/Site.hxp";
    original.Name = "Site";
    original.Depth = 2;
    original.URLFiltersExclude = {"cgi"};
    original.Save();

    THXProfile first;
    THXProfile second;
    first.FileName = second.FileName = original.FileName;
    first.Load();
    second.Load();
    first.Depth = 7;
    first.Save();
    second.URLFiltersExclude = {"cgi", "private"};
    second.UseSitemaps = true;
    second.Save();
    first.PageFileSizeMax = 1000; // a later change of the first keeps the second's keys too
    first.Save();

    THXProfile read;
    read.FileName = original.FileName;
    read.Load();
    EXPECT_EQ(read.Depth, 7);
    EXPECT_EQ(read.URLFiltersExclude, (TStringList{"cgi", "private"}));
    EXPECT_TRUE(read.UseSitemaps);
    EXPECT_EQ(read.PageFileSizeMax, 1000);
    EXPECT_EQ(read.Name, "Site");

    // A profile never loaded writes all it holds.
    THXProfile fresh;
    fresh.FileName = original.FileName;
    fresh.Depth = 1;
    fresh.Save();
    read.Load();
    EXPECT_EQ(read.Depth, 1);
    EXPECT_FALSE(read.UseSitemaps);
}

} // namespace
} // namespace hx
