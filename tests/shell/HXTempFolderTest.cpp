// Removing the temporary folder at the program's close: everything below it goes,
// links inside it go as links (what they point at stays), and folders that are not
// the program's own are left alone.

#include "shell/HXTempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

namespace fs = std::filesystem;

class HXTempFolderTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
    }

    void TearDown() override
    {
        app.reset();
        THXSandboxTest::TearDown();
    }

    void UseTempFolder(const std::string& folder) { app->Store().WriteString(kSettingsKey, "Temp Folder", folder); }

    std::unique_ptr<THXApp> app;
};

TEST_F(HXTempFolderTest, RemovesEverythingBelowTheFolderWithoutFollowingLinks)
{
    const std::string temp = app->GetTempFolder();
    ASSERT_NE(temp.find("Harbex"), std::string::npos) << temp;
    // Files of a run and of a browsed archive, some folders deep.
    for (const std::string file :
         {"127.0.0.1/index.htm", "127.0.0.1/sec/a.html", "127.0.0.1/sec/deep/i.gif", "Harbex.htm"})
    {
        ForceDirectories(ExtractFilePath(temp + file));
        ASSERT_TRUE(WriteFileAtomic(temp + file, file));
    }
    ForceDirectories(temp + "empty/inner/");
    // Links inside to things outside: a folder, a file, and a folder link one level down.
    const std::string outsideFile = Home().WriteFile("Outside/keep.txt", "keep");
    Home().WriteFile("Outside/sub/also.txt", "also");
    fs::create_directory_symlink(Home().Path() / "Outside", temp + "outside-folder");
    fs::create_symlink(outsideFile, temp + "outside-file");
    fs::create_directory_symlink(Home().Path() / "Outside" / "sub", temp + "127.0.0.1/sec/outside-sub");

    std::vector<std::pair<std::int64_t, std::int64_t>> calls;
    const TFolderRemoval removal = RemoveTemporaryFolder(*app, [&calls](std::int64_t removed, std::int64_t total)
                                                         { calls.emplace_back(removed, total); });

    EXPECT_EQ(removal.Outcome, TRemovalOutcome::Removed) << removal.Text;
    EXPECT_EQ(removal.Text, "");
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp)));
    EXPECT_TRUE(fs::exists(Home().Path() / "Temp")) << "only the folder itself goes";
    EXPECT_EQ(Home().ReadFile("Outside/keep.txt"), "keep");
    EXPECT_EQ(Home().ReadFile("Outside/sub/also.txt"), "also");
    // Four files and three links; progress from none to all of them, one at a time.
    ASSERT_EQ(calls.size(), 8u);
    for (std::size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(calls[i], std::make_pair(static_cast<std::int64_t>(i), std::int64_t{7}));

    // Gone already: nothing to do, and nothing is created on the way.
    EXPECT_EQ(RemoveTemporaryFolder(*app).Outcome, TRemovalOutcome::Absent);
    EXPECT_FALSE(fs::exists(temp));
}

TEST_F(HXTempFolderTest, FoldersThatAreNotTheProgramsOwnAreLeftAlone)
{
    const auto refused = [this](const std::string& folder, const std::string& file)
    {
        UseTempFolder(folder);
        const TFolderRemoval removal = RemoveTemporaryFolder(*app);
        EXPECT_EQ(removal.Outcome, TRemovalOutcome::Refused) << folder;
        EXPECT_NE(removal.Text, "") << folder;
        EXPECT_TRUE(FileExists(file)) << file;
    };

    // A path without the program's name.
    const std::string scratch = Home().Folder() + "Scratch/";
    refused(scratch, Home().WriteFile("Scratch/notes.txt", "mine"));

    // A path with the name that is a link to another folder.
    const std::string target = Home().WriteFile("Elsewhere/notes.txt", "mine");
    fs::create_directory_symlink(Home().Path() / "Elsewhere", Home().Path() / "HarbexLink");
    refused(Home().Folder() + "HarbexLink/", target);
    refused(Home().Folder() + "HarbexLink", target);

    // A folder with the name that holds the downloads (or the Personal Intranet) folder.
    const std::string all = Home().Folder() + "HarbexAll/";
    app->SetDownloadsFolder(all + "Downloads/");
    refused(all, Home().WriteFile("HarbexAll/Downloads/site.zip", "zip"));
    app->SetDownloadsFolder("");
    app->SetIntranetFolder(all + "Intranet");
    refused(all, Home().WriteFile("HarbexAll/Intranet/index.htm", "page"));
    app->SetIntranetFolder("");
    // ... or the program folder, named through a step back.
    refused(Home().Folder() + "Temp/Harbex/../../", Home().WriteFile("Tasks/General/Task.hxt", "task"));

    // A folder of another user (only the superuser can make one).
    if (::geteuid() == 0)
    {
        const std::string foreign = Home().WriteFile("Temp/Harbex/theirs.txt", "theirs");
        ASSERT_EQ(::chown((Home().Folder() + "Temp/Harbex").c_str(), 65534, 65534), 0);
        refused(Home().Folder() + "Temp/Harbex/", foreign);
    }

    // The same folder named as the program's own goes.
    UseTempFolder(all);
    EXPECT_EQ(RemoveTemporaryFolder(*app).Outcome, TRemovalOutcome::Removed);
    EXPECT_FALSE(fs::exists(all));
}

TEST_F(HXTempFolderTest, TreeRemovalRefusesALinkOrAFileInPlaceOfTheFolder)
{
    const std::string target = Home().WriteFile("Site/page.htm", "page");
    fs::create_directory_symlink(Home().Path() / "Site", Home().Path() / "link");
    EXPECT_EQ(RemoveFolderTree(Home().Folder() + "link/").Outcome, TRemovalOutcome::Refused);
    EXPECT_EQ(RemoveFolderTree(target).Outcome, TRemovalOutcome::Refused);
    EXPECT_EQ(RemoveFolderTree("").Outcome, TRemovalOutcome::Refused);
    EXPECT_TRUE(FileExists(target));
    EXPECT_TRUE(fs::is_symlink(Home().Path() / "link"));
}

} // namespace
} // namespace hx
