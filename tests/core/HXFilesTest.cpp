#include "core/HXFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "support/HXSandbox.h"

namespace hx
{
namespace
{

namespace fs = std::filesystem;
using namespace std::string_literals;

std::vector<std::string> Entries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.push_back(fs::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t ModeOf(const std::string& path)
{
    struct stat info
    {
    };
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

TEST(HXFiles, AtomicWriteCreatesReplacesAndLeavesNoTemporary)
{
    const test::TTempFolder folder;
    const std::string path = folder.Folder() + "Tasks/Sites/a.hxt";
    const std::string first = "first\0\xB6\r\n"s;
    ASSERT_TRUE(WriteFileAtomic(path, first)); // creates the missing folders
    EXPECT_EQ(ReadWholeFile(path), first);

    std::string big(1 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(WriteFileAtomic(path, big));
    EXPECT_EQ(ReadWholeFile(path), big);
    ASSERT_TRUE(WriteFileAtomic(path, ""));
    EXPECT_EQ(ReadWholeFile(path), "");
    EXPECT_EQ(Entries(folder.Path()), (std::vector<std::string>{"Tasks", "Tasks/Sites", "Tasks/Sites/a.hxt"}));

    const std::string longName = folder.Folder() + std::string(250, 'n') + ".hxt";
    EXPECT_TRUE(WriteFileAtomic(longName, "x"));
    EXPECT_EQ(ReadWholeFile(longName), "x");
}

TEST(HXFiles, FailedAtomicWriteChangesNothing)
{
    const test::TTempFolder folder;
    const std::string blocker = folder.WriteFile("blocker", "keep");
    EXPECT_FALSE(WriteFileAtomic(blocker + "/child.txt", "x"));
    EXPECT_FALSE(WriteFileAtomic(blocker + "/deeper/child.txt", "x"));

    fs::create_directory(folder.Path() / "dir");
    folder.WriteFile("dir/inside", "old");
    EXPECT_FALSE(WriteFileAtomic(folder.Folder() + "dir", "x")); // a folder is never replaced
    EXPECT_FALSE(WriteFileAtomic(folder.Folder() + "dir/", "x"));
    EXPECT_FALSE(WriteFileAtomic("", "x"));

    EXPECT_EQ(folder.ReadFile("blocker"), "keep");
    EXPECT_EQ(folder.ReadFile("dir/inside"), "old");
    EXPECT_EQ(Entries(folder.Path()), (std::vector<std::string>{"blocker", "dir", "dir/inside"}));
}

TEST(HXFiles, AtomicWriteKeepsPermissions)
{
    const test::TTempFolder folder;
    const std::string path = folder.WriteFile("private.reg", "old");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    ASSERT_TRUE(WriteFileAtomic(path, "new"));
    EXPECT_EQ(ModeOf(path), 0600u);

    // Bits the umask would remove from a new file are kept for a replaced one.
    const mode_t mask = ::umask(022);
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    ASSERT_TRUE(WriteFileAtomic(path, "newer"));
    EXPECT_EQ(ModeOf(path), 0666u);
    ::umask(mask);
    const std::string fresh = folder.Folder() + "fresh.txt";
    ASSERT_TRUE(WriteFileAtomic(fresh, "x"));
    EXPECT_EQ(ModeOf(fresh), 0644u & ~mask);
}

TEST(HXFiles, ConcurrentWritersNeverLeaveAPartialFile)
{
    const test::TTempFolder folder;
    const std::string path = folder.Folder() + "queue.lst";
    const std::string a(200000, 'a');
    const std::string b(100000, 'b');
    ASSERT_TRUE(WriteFileAtomic(path, a));
    std::atomic<bool> failed{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
    {
        writers.emplace_back(
            [&, t]
            {
                for (int i = 0; i < 50; ++i)
                {
                    if (!WriteFileAtomic(path, (t + i) % 2 ? a : b))
                        failed = true;
                    const auto seen = ReadWholeFile(path);
                    if (!seen || (*seen != a && *seen != b))
                        failed = true;
                }
            });
    }
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_FALSE(failed);
    EXPECT_EQ(Entries(folder.Path()), std::vector<std::string>{"queue.lst"});
}

TEST(HXFiles, ReadWholeFile)
{
    const test::TTempFolder folder;
    EXPECT_EQ(ReadWholeFile(folder.WriteFile("bin", "\0\xFF\r\n"s)), "\0\xFF\r\n"s);
    EXPECT_EQ(ReadWholeFile(folder.WriteFile("empty", "")), std::optional<std::string>(""));
    EXPECT_FALSE(ReadWholeFile(folder.Folder() + "missing"));
    EXPECT_FALSE(ReadWholeFile(folder.Folder()));
}

TEST(HXFiles, ForceDirectoriesAndExistence)
{
    const test::TTempFolder folder;
    const std::string deep = folder.Folder() + "a/b/c/";
    ForceDirectories(deep);
    EXPECT_TRUE(DirectoryExists(deep));
    EXPECT_NO_THROW(ForceDirectories(deep));
    EXPECT_FALSE(FileExists(deep));

    const std::string file = folder.WriteFile("a/file", "x");
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(DirectoryExists(file));
    EXPECT_FALSE(FileExists(folder.Folder() + "nothing"));
    EXPECT_FALSE(DirectoryExists(folder.Folder() + "nothing"));

    try
    {
        ForceDirectories(file + "/sub/");
        ADD_FAILURE() << "expected EFileError";
    }
    catch (const EFileError& error)
    {
        EXPECT_STREQ(error.what(), "Unable to create directory");
    }
    EXPECT_THROW(ForceDirectories(file), EFileError);
}

TEST(HXFiles, PathParts)
{
    EXPECT_EQ(ExtractFilePath("/home/u/Tasks/a.hxt"), "/home/u/Tasks/");
    EXPECT_EQ(ExtractFilePath("a.hxt"), "");
    EXPECT_EQ(ExtractFileName("/home/u/Tasks/a.b.hxt"), "a.b.hxt");
    EXPECT_EQ(ExtractFileName("/home/u/"), "");
    EXPECT_EQ(ExtractFileExt("/home/u.d/archive.tar.GZ"), ".GZ");
    EXPECT_EQ(ExtractFileExt("/home/u.d/README"), "");
    EXPECT_EQ(IncludeTrailingSlash("/tmp"), "/tmp/");
    EXPECT_EQ(IncludeTrailingSlash("/tmp/"), "/tmp/");
    EXPECT_EQ(IncludeTrailingSlash(""), "");
}

} // namespace
} // namespace hx
