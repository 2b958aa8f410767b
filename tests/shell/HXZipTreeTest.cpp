#include "shell/HXZipTree.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

TXcdFileStats Listed(std::string name, std::int64_t size = 10, std::int64_t packed = 4, std::string comment = {})
{
    TXcdFileStats stats;
    stats.FileName = std::move(name);
    stats.Size = size;
    stats.CompressedSize = packed;
    stats.Comment = std::move(comment);
    stats.IsFolder = stats.FileName.ends_with("/");
    return stats;
}

// Counts the observer calls and checks that they come in pairs.
class TCountingObserver final : public TZipTreeObserver
{
public:
    void NodeAboutToBeInserted(TZipTreeNode*, int) override { ++open; }
    void NodeInserted() override
    {
        --open;
        ++inserted;
    }
    void NodeAboutToBeRemoved(TZipTreeNode&) override { ++open; }
    void NodeRemoved() override
    {
        --open;
        ++removed;
    }
    void NodeTextChanged(TZipTreeNode&) override { ++renamed; }

    int open = 0;
    int inserted = 0;
    int removed = 0;
    int renamed = 0;
};

TEST(HXZipTreeTest, ListingBuildsFoldersOnceAndRemovalPrunesEmptyFoldersButNeverTheRoot)
{
    TCountingObserver observer;
    TZipArchiveList list(&observer);
    TZipArchive& archive = list.Add("/data/Site Home.zip");
    EXPECT_EQ(archive.Root().Text, "Site Home.zip");
    EXPECT_EQ(archive.Root().Pattern(), "*.*");

    archive.AddListedFile(Listed("host/index.html", 100, 40, "Home"));
    archive.AddListedFile(Listed("host/img/"));
    archive.AddListedFile(Listed("host/img/deep/a.gif", 50, 50));
    archive.AddListedFile(Listed("top.txt", 0, 0));
    // A second listing of the same entry adds nothing and counts nothing.
    EXPECT_EQ(archive.AddListedFile(Listed("host/index.html", 100, 40, "Home")), nullptr);

    TZipTreeNode& root = archive.Root();
    ASSERT_EQ(root.Children.size(), 2u);
    TZipTreeNode& host = *root.Children[0];
    EXPECT_EQ(host.Text, "host");
    EXPECT_EQ(host.Pattern(), "host/*.*");
    TZipTreeNode* page = archive.FindFile("host/index.html");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Text, "index.html   (Home)");
    EXPECT_EQ(ZipNodeFileName(page->Text), "index.html");
    EXPECT_EQ(page->Pattern(), "host/index.html");
    EXPECT_EQ(page->Parent, &host);
    EXPECT_EQ(archive.FindFile("top.txt")->Text, "top.txt");
    EXPECT_EQ(archive.FindFolder("host/img/deep/")->Pattern(), "host/img/deep/*.*");
    EXPECT_EQ(archive.TotalSize, 150);
    EXPECT_EQ(archive.TotalPacked, 90);
    EXPECT_EQ(archive.FileNames(), (std::vector<std::string>{"host/img/deep/a.gif", "host/index.html", "top.txt"}));

    // The last file of a folder chain takes the empty folders with it, up to "host".
    archive.RemoveNode(*archive.FindFile("host/img/deep/a.gif"));
    EXPECT_EQ(archive.FindFolder("host/img/deep/"), nullptr);
    EXPECT_EQ(archive.FindFolder("host/img/"), nullptr);
    ASSERT_NE(archive.FindFolder("host/"), nullptr);
    EXPECT_EQ(host.Children.size(), 1u);
    // A folder node goes with every node below it; the root stays, empty.
    archive.RemoveNode(host);
    archive.RemoveNode(*archive.FindFile("top.txt"));
    archive.RemoveNode(archive.Root());
    EXPECT_TRUE(archive.Root().Children.empty());
    EXPECT_EQ(archive.FileCount(), 0u);
    EXPECT_EQ(archive.FindFolder(""), &archive.Root());

    // A file added later finds its folders again.
    ASSERT_NE(archive.AddStoredFile("host/new.html", ""), nullptr);
    EXPECT_EQ(archive.FindFolder("host/")->Children.size(), 1u);

    EXPECT_EQ(list.Find("/data/site home.zip"), nullptr);
    EXPECT_EQ(list.Find("/data/Site Home.zip"), &archive);
    archive.SetPath("/data/Renamed.zip");
    EXPECT_EQ(archive.Root().Text, "Renamed.zip");
    list.Close(archive);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(observer.open, 0);
    EXPECT_EQ(observer.renamed, 1);
    EXPECT_GT(observer.removed, 3);
}

TEST(HXZipTreeTest, TheDaysArchiveName)
{
    EXPECT_EQ(SpecialZipName(1999, 1, 22), "My Harbexs for 1-22-1999.zip");
}

class HXZipFilesTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
    }
    std::unique_ptr<THXApp> app;
};

TEST_F(HXZipFilesTest, RenameKeepsNamesUniqueRefusesFolderStepsAndFollowsTheRecentList)
{
    const std::string folder = Home().Folder();
    Home().WriteFile("a.zip", "A");
    Home().WriteFile("Title.zip", "taken");
    app->SaveRecentList(kRecentZipFilesKey, {folder + "other.zip", folder + "a.zip"}, app->MaxFileHistory());

    const TZipRename renamed = RenameZipFile(*app, folder + "a.zip", "Title.zip");
    EXPECT_TRUE(renamed.Renamed);
    EXPECT_EQ(renamed.NewPath, folder + "Title(0).zip");
    EXPECT_EQ(ReadWholeFile(folder + "Title(0).zip").value_or(""), "A");
    EXPECT_EQ(ReadWholeFile(folder + "Title.zip").value_or(""), "taken");
    EXPECT_EQ(app->LoadRecentList(kRecentZipFilesKey, app->MaxFileHistory()),
              (std::vector<std::string>{folder + "Title(0).zip", folder + "other.zip"}));

    // The archive already bears a form of the name: nothing changes.
    const TZipRename same = RenameZipFile(*app, folder + "Title(0).zip", "Title.zip");
    EXPECT_FALSE(same.Renamed);
    EXPECT_TRUE(same.Error.empty());

    for (const std::string bad : {"../escape.zip", "sub/x.zip", "", ".."})
    {
        const TZipRename refused = RenameZipFile(*app, folder + "Title(0).zip", bad);
        EXPECT_FALSE(refused.Renamed) << bad;
        EXPECT_TRUE(refused.Error.starts_with("Unable to rename file to: ")) << bad;
        EXPECT_NE(refused.Error.find("\\/:*?\"<>|"), std::string::npos);
    }
    EXPECT_TRUE(FileExists(folder + "Title(0).zip"));
    EXPECT_FALSE(FileExists(Home().Path().parent_path().string() + "/escape.zip"));
}

TEST_F(HXZipFilesTest, DownloadsMenuListsTheFirstArchivesByNameIgnoringCase)
{
    for (int i = 0; i < 30; ++i)
        Home().WriteFile("dl/" + std::string(i % 2 ? "A" : "a") + std::to_string(100 + i) + ".ZIP", "z");
    Home().WriteFile("dl/notes.txt", "t");
    Home().WriteFile("dl/folder.zip/inner.txt", "a folder named like an archive");
    const std::vector<std::string> names = ZipFilesInFolder(Home().Folder() + "dl/", 25);
    ASSERT_EQ(names.size(), 25u);
    EXPECT_EQ(names.front(), "a100.ZIP");
    EXPECT_EQ(names[1], "A101.ZIP");
    EXPECT_EQ(names.back(), "a124.ZIP");
    EXPECT_TRUE(ZipFilesInFolder(Home().Folder() + "missing/", 25).empty());
}

} // namespace
} // namespace hx
