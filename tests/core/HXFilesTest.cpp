#include "core/HXFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <csignal>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Hidden temporaries beside the targets in the folder (not below it).
std::vector<std::string> Temporaries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
    {
        const std::string name = entry.path().filename().string();
        if (!name.empty() && name.front() == '.')
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(HXFiles, PreparedFileReplacesTheTargetOnlyWhenCommitted)
{
    const test::TTempFolder folder;
    const std::string path = folder.WriteFile("site/page.html", "old");
    const fs::path site = folder.Path() / "site";
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    TPreparedFile file;
    EXPECT_FALSE(file.Prepared());
    EXPECT_FALSE(file.Commit()); // nothing prepared

    const std::string bytes = "new\0page\xB6\r\n"s;
    ASSERT_TRUE(file.Prepare(path, bytes));
    EXPECT_TRUE(file.Prepared());
    // Until the commit the target is the previous file; the bytes wait beside it.
    EXPECT_EQ(ReadWholeFile(path), "old");
    const auto waiting = Temporaries(site);
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(ReadWholeFile((site / waiting[0]).string()), bytes);
    EXPECT_EQ(ModeOf((site / waiting[0]).string()), 0640u);

    ASSERT_TRUE(file.Commit());
    EXPECT_FALSE(file.Prepared());
    EXPECT_EQ(ReadWholeFile(path), bytes);
    EXPECT_EQ(ModeOf(path), 0640u); // a replaced file keeps its permission bits
    EXPECT_EQ(Entries(folder.Path()), (std::vector<std::string>{"site", "site/page.html"}));
    EXPECT_FALSE(file.Commit()); // a second commit has nothing to move
    EXPECT_EQ(ReadWholeFile(path), bytes);

    // Preparing again drops what was prepared before: one temporary, the last bytes.
    ASSERT_TRUE(file.Prepare(path, "first"));
    ASSERT_TRUE(file.Prepare(path, "second", TDurability::kAtomicOnly));
    EXPECT_EQ(Temporaries(site).size(), 1u);
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(ReadWholeFile(path), "second");
    EXPECT_EQ(ModeOf(path), 0640u);

    // Never committed: the target stays and the temporary goes with the object.
    {
        TPreparedFile dropped;
        ASSERT_TRUE(dropped.Prepare(path, "never"));
        EXPECT_EQ(Temporaries(site).size(), 1u);
    }
    EXPECT_EQ(ReadWholeFile(path), "second");
    EXPECT_EQ(Entries(folder.Path()), (std::vector<std::string>{"site", "site/page.html"}));

    // A new file in missing folders is not there before its commit.
    const std::string fresh = folder.Folder() + "new/deeper/fresh.txt";
    {
        TPreparedFile pending;
        ASSERT_TRUE(pending.Prepare(fresh, "x"));
        EXPECT_FALSE(FileExists(fresh));
    }
    EXPECT_FALSE(FileExists(fresh));
    EXPECT_TRUE(Temporaries(folder.Path() / "new" / "deeper").empty());
}

TEST(HXFiles, FailedPreparedFileLeavesNothingBehind)
{
    const test::TTempFolder folder;
    fs::create_directory(folder.Path() / "dir");
    folder.WriteFile("dir/inside", "old");
    const auto before = Entries(folder.Path());

    // A folder is never a target; an empty name neither.
    TPreparedFile file;
    EXPECT_FALSE(file.Prepare(folder.Folder() + "dir", "x"));
    EXPECT_FALSE(file.Prepared());
    EXPECT_FALSE(file.Commit());
    EXPECT_FALSE(file.Prepare(folder.Folder() + "dir/", "x"));
    EXPECT_FALSE(file.Prepare("", "x"));
    EXPECT_EQ(Entries(folder.Path()), before);

    // A failed Prepare also lets go of what the object had prepared.
    ASSERT_TRUE(file.Prepare(folder.Folder() + "dir/page.html", "prepared"));
    EXPECT_EQ(Temporaries(folder.Path() / "dir").size(), 1u);
    EXPECT_FALSE(file.Prepare(folder.Folder() + "dir", "x"));
    EXPECT_FALSE(file.Prepared());
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(Entries(folder.Path()), before);

    // The target's folder removed after Prepare: the commit fails, nothing appears.
    ASSERT_TRUE(file.Prepare(folder.Folder() + "gone/page.html", "x"));
    fs::remove_all(folder.Path() / "gone");
    EXPECT_FALSE(file.Commit());
    EXPECT_FALSE(file.Prepared());
    EXPECT_FALSE(fs::exists(folder.Path() / "gone"));
    EXPECT_EQ(Entries(folder.Path()), before);

    // A folder made at the target after Prepare: the commit fails, the folder stays
    // as it is and the temporary is removed.
    ASSERT_TRUE(file.Prepare(folder.Folder() + "late/page.html", "x"));
    folder.WriteFile("late/page.html/kept", "kept");
    EXPECT_FALSE(file.Commit());
    EXPECT_FALSE(file.Prepared());
    EXPECT_EQ(folder.ReadFile("late/page.html/kept"), "kept");
    EXPECT_TRUE(Temporaries(folder.Path() / "late").empty());
    EXPECT_EQ(Entries(folder.Path() / "late"), (std::vector<std::string>{"page.html", "page.html/kept"}));
}

TEST(HXFiles, PreparedFileBelongsToTheObjectItWasMovedTo)
{
    const test::TTempFolder folder;
    const std::string one = folder.Folder() + "one.html";
    const std::string two = folder.Folder() + "two.html";
    const std::string three = folder.Folder() + "three.html";

    // Moved by construction: the moved-from object removes nothing when it goes.
    auto source = std::make_unique<TPreparedFile>();
    ASSERT_TRUE(source->Prepare(one, "one"));
    TPreparedFile taken(std::move(*source));
    EXPECT_FALSE(source->Prepared());
    EXPECT_TRUE(taken.Prepared());
    EXPECT_FALSE(source->Commit());
    source.reset();
    EXPECT_EQ(Temporaries(folder.Path()).size(), 1u);
    EXPECT_FALSE(FileExists(one));
    ASSERT_TRUE(taken.Commit());
    EXPECT_EQ(ReadWholeFile(one), "one");

    // Moved by assignment: what the receiving object had prepared is removed, and
    // it now commits the other's file.
    TPreparedFile receiver;
    ASSERT_TRUE(receiver.Prepare(two, "two"));
    auto giver = std::make_unique<TPreparedFile>();
    ASSERT_TRUE(giver->Prepare(three, "three", TDurability::kAtomicOnly));
    EXPECT_EQ(Temporaries(folder.Path()).size(), 2u);
    receiver = std::move(*giver);
    EXPECT_EQ(Temporaries(folder.Path()).size(), 1u);
    EXPECT_FALSE(giver->Prepared());
    giver.reset();
    EXPECT_EQ(Temporaries(folder.Path()).size(), 1u);
    ASSERT_TRUE(receiver.Commit());
    EXPECT_EQ(ReadWholeFile(three), "three");
    EXPECT_FALSE(FileExists(two));
    EXPECT_EQ(Entries(folder.Path()), (std::vector<std::string>{"one.html", "three.html"}));

    // A prepared file kept in a container survives the container growing.
    std::vector<TPreparedFile> files;
    for (int i = 0; i < 8; ++i)
    {
        files.emplace_back();
        ASSERT_TRUE(files.back().Prepare(folder.Folder() + "many/" + std::to_string(i), std::to_string(i * i)));
    }
    EXPECT_EQ(Temporaries(folder.Path() / "many").size(), 8u);
    for (TPreparedFile& file : files)
        EXPECT_TRUE(file.Commit());
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(ReadWholeFile(folder.Folder() + "many/" + std::to_string(i)), std::to_string(i * i));
    EXPECT_TRUE(Temporaries(folder.Path() / "many").empty());
}

TEST(HXFiles, AtomicOnlyWriteGivesTheSameFileAsAFlushedOne)
{
    const test::TTempFolder folder;
    std::string big(300000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 13 + 1);
    const mode_t mask = ::umask(022);
    for (const std::string& bytes : {""s, "page\0\xFF\r\n"s, big})
    {
        SCOPED_TRACE(bytes.size());
        const std::string flushed = folder.Folder() + "flushed/a/file.bin";
        const std::string quick = folder.Folder() + "quick/a/file.bin";
        ASSERT_TRUE(WriteFileAtomic(flushed, bytes, TDurability::kFlushed));
        ASSERT_TRUE(WriteFileAtomic(quick, bytes, TDurability::kAtomicOnly));
        EXPECT_EQ(ReadWholeFile(quick), ReadWholeFile(flushed));
        EXPECT_EQ(ReadWholeFile(quick), bytes);
        EXPECT_EQ(ModeOf(quick), ModeOf(flushed));
    }
    EXPECT_EQ(ModeOf(folder.Folder() + "quick/a/file.bin"), 0644u);

    // A replaced file keeps its bits, even those the umask takes from new files, and
    // a folder is never replaced, in either way.
    const std::string kept = folder.Folder() + "quick/a/file.bin";
    for (const mode_t bits : {0600u, 0666u})
    {
        ASSERT_EQ(::chmod(kept.c_str(), bits), 0);
        ASSERT_TRUE(WriteFileAtomic(kept, "again", TDurability::kAtomicOnly));
        EXPECT_EQ(ModeOf(kept), bits);
    }
    EXPECT_FALSE(WriteFileAtomic(folder.Folder() + "quick/a", "x", TDurability::kAtomicOnly));
    ::umask(mask);
    EXPECT_EQ(Entries(folder.Path()), (std::vector<std::string>{"flushed", "flushed/a", "flushed/a/file.bin", "quick",
                                                                "quick/a", "quick/a/file.bin"}));
}

// Committed with a place for the replaced file, the old contents stay under the
// hidden name handed back (the caller removes it later); with no file to replace
// nothing is handed back, and a failed commit hands back nothing either.
TEST(HXFiles, CommitCanKeepTheReplacedFileForLater)
{
    const test::TTempFolder folder;
    const std::string target = folder.Folder() + "page.html";
    ASSERT_TRUE(WriteFileAtomic(target, "fetched"));

    TPreparedFile rewritten;
    ASSERT_TRUE(rewritten.Prepare(target, "rewritten", TDurability::kAtomicOnly));
    std::string replaced = "stale";
    ASSERT_TRUE(rewritten.Commit(&replaced));
    EXPECT_EQ(ReadWholeFile(target), std::optional<std::string>("rewritten"));
    ASSERT_FALSE(replaced.empty());
    EXPECT_EQ(ExtractFilePath(replaced), folder.Folder());
    EXPECT_EQ(ExtractFileName(replaced).front(), '.');
    EXPECT_EQ(ReadWholeFile(replaced), std::optional<std::string>("fetched"));
    EXPECT_FALSE(rewritten.Prepared());
    ASSERT_EQ(::unlink(replaced.c_str()), 0);

    const std::string fresh = folder.Folder() + "new.html";
    TPreparedFile created;
    ASSERT_TRUE(created.Prepare(fresh, "first", TDurability::kAtomicOnly));
    ASSERT_TRUE(created.Commit(&replaced));
    EXPECT_TRUE(replaced.empty());
    EXPECT_EQ(ReadWholeFile(fresh), std::optional<std::string>("first"));

    TPreparedFile nothing;
    replaced = "stale";
    EXPECT_FALSE(nothing.Commit(&replaced));
    EXPECT_TRUE(replaced.empty());
    EXPECT_EQ(Entries(folder.Path()), (std::vector<std::string>{"new.html", "page.html"}));
}

// A replaced file handed back serves as the next temporary (emptied, with the new
// target's permission bits), in another folder too; it is not used for a target that
// does not exist yet, and a spare that is gone is simply not used.
TEST(HXFiles, PreparedFileReusesASpareForItsTemporary)
{
    const test::TTempFolder folder;
    const std::string first = folder.Folder() + "a/one.html";
    const std::string second = folder.Folder() + "b/two.html";
    ASSERT_TRUE(WriteFileAtomic(first, "fetched one, rather long"));
    ASSERT_TRUE(WriteFileAtomic(second, "fetched two"));
    ASSERT_EQ(::chmod(second.c_str(), 0640), 0);

    std::string spare;
    TPreparedFile one;
    ASSERT_TRUE(one.Prepare(first, "one", TDurability::kAtomicOnly));
    ASSERT_TRUE(one.Commit(&spare));
    ASSERT_FALSE(spare.empty());
    struct stat before
    {
    };
    ASSERT_EQ(::stat(spare.c_str(), &before), 0);

    TPreparedFile two;
    const std::string used = spare;
    ASSERT_TRUE(two.Prepare(second, "two", TDurability::kAtomicOnly, &spare));
    EXPECT_TRUE(spare.empty());
    EXPECT_FALSE(FileExists(used));
    std::string replacedTwo;
    ASSERT_TRUE(two.Commit(&replacedTwo));
    struct stat after
    {
    };
    ASSERT_EQ(::stat(second.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadWholeFile(second), std::optional<std::string>("two"));
    EXPECT_EQ(ReadWholeFile(replacedTwo), std::optional<std::string>("fetched two"));

    // No target yet: the spare stays the caller's.
    spare = replacedTwo;
    TPreparedFile fresh;
    ASSERT_TRUE(fresh.Prepare(folder.Folder() + "c/new.html", "new", TDurability::kAtomicOnly, &spare));
    EXPECT_EQ(spare, replacedTwo);
    EXPECT_TRUE(FileExists(replacedTwo));
    ASSERT_TRUE(fresh.Commit());

    // A spare that has gone: a new temporary is made.
    ASSERT_EQ(::unlink(replacedTwo.c_str()), 0);
    TPreparedFile again;
    ASSERT_TRUE(again.Prepare(first, "one again", TDurability::kAtomicOnly, &spare));
    ASSERT_TRUE(again.Commit());
    EXPECT_EQ(ReadWholeFile(first), std::optional<std::string>("one again"));
    EXPECT_EQ(Entries(folder.Path()),
              (std::vector<std::string>{"a", "a/one.html", "b", "b/two.html", "c", "c/new.html"}));
}

// A child process prepares the files (leaving their temporaries), then is killed
// outright, as a crash or kill -9 ends the program. Returns its process id, now gone.
pid_t KilledWriter(const std::vector<std::string>& targets)
{
    const pid_t child = ::fork();
    if (child == 0)
    {
        std::vector<TPreparedFile> files(targets.size());
        for (std::size_t i = 0; i < targets.size(); ++i)
        {
            if (!files[i].Prepare(targets[i], "half a page", TDurability::kAtomicOnly))
                ::_exit(1);
        }
        ::kill(::getpid(), SIGKILL);
        ::_exit(2);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    return child;
}

TEST(HXFiles, TemporariesLeftByEndedProcessesAreRemoved)
{
    const test::TTempFolder folder;
    const std::string base = folder.Folder();
    ASSERT_TRUE(WriteFileAtomic(base + "site/page.html", "page"));
    const pid_t gone = KilledWriter({base + "site/page.html", base + "site/deep/new.html", base + "top.html"});
    const std::string dead = std::to_string(gone);
    const std::vector<std::string> left = Entries(folder.Path());
    ASSERT_EQ(std::count_if(left.begin(), left.end(),
                            [&](const std::string& name)
                            { return name.find(".tmp-" + dead + "-") != std::string::npos; }),
              3);

    // A temporary of this process (a save in progress) stays, so does one of another
    // process still running (process 1), and so do files that only look like temporaries.
    TPreparedFile ours;
    ASSERT_TRUE(ours.Prepare(base + "site/ours.html", "ours", TDurability::kAtomicOnly));
    for (const std::string& name : std::vector<std::string>{
             "site/page.html.tmp-" + dead + "-1", "site/.page.html.tmp-x-1", "site/.page.html.tmp-" + dead + "-",
             "site/.page.html.tmp-" + dead, "site/.hidden.html", "site/.page.html.tmp-1-5"})
        ASSERT_TRUE(WriteFileAtomic(base + name, "keep"));

    EXPECT_EQ(RemoveStaleTempFiles(base), 3);
    std::vector<std::string> expected = {"site",
                                         "site/.hidden.html",
                                         "site/.page.html.tmp-" + dead,
                                         "site/.page.html.tmp-" + dead + "-",
                                         "site/.page.html.tmp-x-1",
                                         "site/.page.html.tmp-1-5",
                                         "site/deep",
                                         "site/page.html",
                                         "site/page.html.tmp-" + dead + "-1"};
    const std::vector<std::string> after = Entries(folder.Path());
    std::vector<std::string> withoutOurs;
    std::copy_if(after.begin(), after.end(), std::back_inserter(withoutOurs),
                 [](const std::string& name) { return name.find(".ours.html.tmp-") == std::string::npos; });
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(withoutOurs, expected);
    EXPECT_EQ(after.size(), withoutOurs.size() + 1);
    ASSERT_TRUE(ours.Commit());
    EXPECT_EQ(ReadWholeFile(base + "site/ours.html"), std::optional<std::string>("ours"));
    // Nothing to do a second time; a missing folder is no error.
    EXPECT_EQ(RemoveStaleTempFiles(base), 0);
    EXPECT_EQ(RemoveStaleTempFiles(base + "missing/"), 0);
}

} // namespace
} // namespace hx
