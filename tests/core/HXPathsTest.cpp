#include "core/HXPaths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/HXFiles.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

namespace fs = std::filesystem;
using test::TTempFolder;

// Points PATH somewhere else for one test and puts the old value back.
class TPathGuard
{
public:
    explicit TPathGuard(const std::string& value)
    {
        if (const char* previous = std::getenv("PATH"))
        {
            m_hadPath = true;
            m_previous = previous;
        }
        ::setenv("PATH", value.c_str(), 1);
    }
    ~TPathGuard()
    {
        if (m_hadPath)
        {
            ::setenv("PATH", m_previous.c_str(), 1);
        }
        else
        {
            ::unsetenv("PATH");
        }
    }
    TPathGuard(const TPathGuard&) = delete;
    TPathGuard& operator=(const TPathGuard&) = delete;

private:
    std::string m_previous;
    bool m_hadPath = false;
};

std::string WriteProgram(const TTempFolder& folder, const std::string& relativePath, bool executable = true)
{
    const std::string path = folder.WriteFile(relativePath, "#!/bin/sh\nexit 0\n");
    fs::permissions(path, executable ? fs::perms::owner_all : (fs::perms::owner_read | fs::perms::owner_write));
    return path;
}

TEST(HXPathsTest, UniqueFileNameCountsUpInTheSameFolder)
{
    TTempFolder temp;
    const std::string wanted = temp.Folder() + "sub/report.htm";
    EXPECT_EQ(UniqueFileName(wanted), wanted);

    temp.WriteFile("sub/report.htm", "a");
    temp.WriteFile("sub/report(0).htm", "b");
    EXPECT_EQ(UniqueFileName(wanted), temp.Folder() + "sub/report(1).htm");
    temp.WriteFile("sub/report(1).htm", "c");
    EXPECT_EQ(UniqueFileName(wanted), temp.Folder() + "sub/report(2).htm");

    temp.WriteFile("noext", "a");
    EXPECT_EQ(UniqueFileName(temp.Folder() + "noext"), temp.Folder() + "noext(0)");

    temp.WriteFile("a.tar.gz", "a");
    EXPECT_EQ(UniqueFileName(temp.Folder() + "a.tar.gz"), temp.Folder() + "a.tar(0).gz");
}

TEST(HXPathsTest, NameRules)
{
    EXPECT_EQ(FileBaseName("/x/y/page.htm"), "page");
    EXPECT_EQ(FileBaseName("page.htm.htm"), "page.htm");
    EXPECT_EQ(FileBaseName("/x.d/name"), "name");
    EXPECT_EQ(FileBaseName("/x/archive.tar.gz"), "archive.tar");
    EXPECT_EQ(FileBaseName(""), "");

    EXPECT_EQ(ReplaceIllegalChars("a\\b/c:d*e?f\"g<h>i|j", '_'), "a_b_c_d_e_f_g_h_i_j");
    EXPECT_EQ(ReplaceIllegalChars("plain name.txt", '-'), "plain name.txt");

    EXPECT_EQ(ToBackslashes("/a/b\\c/"), "\\a\\b\\c\\");
    EXPECT_EQ(ToSlashes("\\a\\b/c\\"), "/a/b/c/");
}

TEST(HXPathsTest, CopyFileForcedCreatesFoldersAndOverwrites)
{
    TTempFolder temp;
    const std::string source = temp.WriteFile("source.txt", "first");
    const std::string target = temp.Folder() + "deep/er/target.txt";
    ASSERT_TRUE(CopyFileForced(source, target));
    EXPECT_EQ(temp.ReadFile("deep/er/target.txt"), "first");

    temp.WriteFile("source.txt", "second, longer");
    ASSERT_TRUE(CopyFileForced(source, target));
    EXPECT_EQ(temp.ReadFile("deep/er/target.txt"), "second, longer");

    EXPECT_FALSE(CopyFileForced(temp.Folder() + "missing.txt", temp.Folder() + "out/x.txt"));
    EXPECT_FALSE(CopyFileForced(source, temp.Folder() + "deep/er"));

    // A file standing where the folder should be cannot become a folder.
    temp.WriteFile("blocker", "x");
    EXPECT_THROW(CopyFileForced(source, temp.Folder() + "blocker/x.txt"), EFileError);
}

TEST(HXPathsTest, ListFilesMatchesMasksAndSorts)
{
    TTempFolder temp;
    for (const char* name : {"b.hxt", "a.hxt", "C.HXT", "a.hxt.bak", "note.txt", "x1.hxt", "x22.hxt"})
    {
        temp.WriteFile(name, "");
    }
    fs::create_directory(temp.Path() / "folder.hxt");

    EXPECT_EQ(ListFiles(temp.Folder(), "*.hxt"),
              (std::vector<std::string>{"C.HXT", "a.hxt", "b.hxt", "x1.hxt", "x22.hxt"}));
    EXPECT_EQ(ListFiles(temp.Folder(), "x?.hxt"), (std::vector<std::string>{"x1.hxt"}));
    EXPECT_EQ(ListFiles(temp.Folder(), "*.bak"), (std::vector<std::string>{"a.hxt.bak"}));
    EXPECT_EQ(ListFiles(temp.Folder(), "*t"),
              (std::vector<std::string>{"C.HXT", "a.hxt", "b.hxt", "note.txt", "x1.hxt", "x22.hxt"}));
    EXPECT_EQ(ListFiles(temp.Folder(), "*t*t"), (std::vector<std::string>{"note.txt"}));
    EXPECT_EQ(ListFiles(temp.Folder(), "a*"), (std::vector<std::string>{"a.hxt", "a.hxt.bak"}));
    EXPECT_EQ(ListFiles(temp.Folder(), "*.*").size(), 7u);
    EXPECT_TRUE(ListFiles(temp.Folder(), "*.none").empty());
    EXPECT_TRUE(ListFiles(temp.Folder() + "missing/", "*").empty());
    EXPECT_TRUE(ListFiles("", "*").empty());
}

TEST(HXPathsTest, ListFoldersListsOnlyFolders)
{
    TTempFolder temp;
    fs::create_directories(temp.Path() / "zeta/inner");
    fs::create_directories(temp.Path() / "alpha");
    temp.WriteFile("file.txt", "");
    EXPECT_EQ(ListFolders(temp.Folder()), (std::vector<std::string>{"alpha", "zeta"}));
    EXPECT_EQ(ListFolders(temp.Folder() + "zeta"), (std::vector<std::string>{"inner"}));
    EXPECT_TRUE(ListFolders(temp.Folder() + "nothing").empty());
}

TEST(HXPathsTest, FindProgramOnPathTakesTheFirstExecutableFile)
{
    TTempFolder temp;
    WriteProgram(temp, "one/tool", false);            // not executable
    fs::create_directories(temp.Path() / "two/tool"); // a folder of that name
    const std::string third = WriteProgram(temp, "three/tool");
    const std::string fourth = WriteProgram(temp, "four/tool");

    {
        TPathGuard path(":" + temp.Folder() + "one:" + temp.Folder() + "two/:" + temp.Folder() +
                        "three:" + temp.Folder() + "four");
        EXPECT_EQ(FindProgramOnPath("tool"), third);
        EXPECT_EQ(FindProgramOnPath("missing"), "");
        EXPECT_EQ(FindProgramOnPath(""), "");
        EXPECT_EQ(FindProgramOnPath("three/tool"), "");
        EXPECT_EQ(FindProgramOnPath(std::string("tool\0x", 6)), "");
    }
    {
        TPathGuard path(temp.Folder() + "four/");
        EXPECT_EQ(FindProgramOnPath("tool"), fourth);
    }
    {
        TPathGuard path("");
        EXPECT_EQ(FindProgramOnPath("tool"), "");
    }
}

TEST(HXPathsTest, BrowsersAreFoundOnPath)
{
    TTempFolder temp;
    const std::string chrome = WriteProgram(temp, "bin/google-chrome");
    const std::string chromium = WriteProgram(temp, "later/chromium");
    const std::string esr = WriteProgram(temp, "bin/firefox-esr");
    WriteProgram(temp, "bin/seamonkey");
    {
        // The family order decides, not the order of the PATH folders.
        TPathGuard path(temp.Folder() + "bin:" + temp.Folder() + "later");
        EXPECT_EQ(FindInternetExplorer(), chromium);
        EXPECT_EQ(FindNetscapeNavigator(), esr);
        EXPECT_TRUE(InternetExplorerInstalled());
    }
    {
        TPathGuard path(temp.Folder() + "bin");
        EXPECT_EQ(FindInternetExplorer(), chrome);
    }
    {
        TPathGuard path(temp.Folder() + "empty");
        EXPECT_EQ(FindInternetExplorer(), "");
        EXPECT_EQ(FindNetscapeNavigator(), "");
        EXPECT_FALSE(InternetExplorerInstalled());
    }
}

} // namespace
} // namespace hx
