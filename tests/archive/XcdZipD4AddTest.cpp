#include "archive/XcdZipD4.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "XcdZipD4TestSupport.h"

namespace hx
{
namespace
{

namespace fs = std::filesystem;
using test::Lines;
using test::RandomBytes;
using test::RunCommand;
using test::ShellQuote;
using test::TreeOf;

using XcdZipAdd = test::TXcdZipTest;

std::string Repeated(const std::string& text, int times)
{
    std::string result;
    for (int i = 0; i < times; ++i)
        result += text;
    return result;
}

void SetModified(const std::string& path, TDateTime value)
{
    const TDateParts parts = DecodeDateTime(value);
    std::tm local{};
    local.tm_year = parts.year - 1900;
    local.tm_mon = parts.month - 1;
    local.tm_mday = parts.day;
    local.tm_hour = parts.hour;
    local.tm_min = parts.minute;
    local.tm_sec = parts.second;
    local.tm_isdst = -1;
    const timespec times[2] = {{std::mktime(&local), 0}, {std::mktime(&local), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST_F(XcdZipAdd, OneUpdateKeepsTheOrderGivenAndMakesAStandardZip)
{
    if (InfoZipMissing())
        GTEST_SKIP() << "zip, unzip and zipinfo are needed";
    const std::string page = Repeated("<p>Harbex copies web sites.</p>\n", 200);
    const std::string logo = RandomBytes(5000, 1);
    Write("site/index.html", page);
    Write("site/img/logo.png", logo);
    Write("site/b.txt", "bbb");
    fs::create_directories(PathOf("out"));
    zip.ZipFileName = PathOf("out/task.zip");

    std::vector<std::string> events;
    zip.OnAdding = [&](const std::string& name) { events.push_back("add " + name); };
    zip.OnUpdating = [&](const std::string& name) { events.push_back("update " + name); };
    std::vector<int> percents;
    std::int64_t lastProcessed = -1;
    std::int64_t lastTotal = -1;
    zip.OnStatus = [&](int percent, std::int64_t processed, std::int64_t total)
    {
        percents.push_back(percent);
        lastProcessed = processed;
        lastTotal = total;
    };

    ASSERT_EQ(AddFiles({"site/index.html", "site/img/logo.png", "site/b.txt"}), xcd::Success);
    const std::vector<std::string> names = {"site/index.html", "site/img/logo.png", "site/b.txt"};
    EXPECT_EQ(events, (std::vector<std::string>{"add site/index.html", "add site/img/logo.png", "add site/b.txt"}));
    EXPECT_TRUE(zip.FilesToProcess.empty());
    ASSERT_FALSE(percents.empty());
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
    EXPECT_EQ(lastTotal, static_cast<std::int64_t>(page.size() + logo.size() + 3));
    EXPECT_EQ(lastProcessed, lastTotal);

    // Info-ZIP reads the archive: same entries, same order, no errors, same bytes.
    const auto listing = RunCommand("zipinfo -1 " + ShellQuote(zip.ZipFileName));
    EXPECT_EQ(listing.status, 0) << listing.output;
    EXPECT_EQ(Lines(listing.output), names);
    const auto tested = RunCommand("unzip -tq " + ShellQuote(zip.ZipFileName));
    EXPECT_EQ(tested.status, 0) << tested.output;
    EXPECT_NE(tested.output.find("No errors detected"), std::string::npos) << tested.output;
    const auto unzipped = RunCommand("unzip -q " + ShellQuote(zip.ZipFileName) + " -d " + ShellQuote(PathOf("x")));
    ASSERT_EQ(unzipped.status, 0) << unzipped.output;
    EXPECT_EQ(folder.ReadFile("x/site/index.html"), page);
    EXPECT_EQ(folder.ReadFile("x/site/img/logo.png"), logo);
    EXPECT_EQ(folder.ReadFile("x/site/b.txt"), "bbb");
    EXPECT_EQ(ListNames(), names);

    // A second update appends after the entries already there.
    Write("site/new.css", "body{}");
    events.clear();
    ASSERT_EQ(AddFiles({"site/new.css"}), xcd::Success);
    EXPECT_EQ(events, std::vector<std::string>{"add site/new.css"});
    EXPECT_EQ(Lines(RunCommand("zipinfo -1 " + ShellQuote(zip.ZipFileName)).output),
              (std::vector<std::string>{"site/index.html", "site/img/logo.png", "site/b.txt", "site/new.css"}));
}

TEST_F(XcdZipAdd, StoredNamesAreRelativeToTheBaseFolderOrLoseTheirRoot)
{
    Write("base/a/x.txt", "x");
    Write("base/a/x2.txt", "x2");
    Write("elsewhere/y.txt", "y");
    zip.ZipFileName = PathOf("names.zip");
    zip.BaseFolder = PathOf("base");
    zip.UsePaths = true;
    zip.FilesToProcess = {PathOf("base/a/x.txt"), PathOf("elsewhere/y.txt"), "./a//x2.txt"};
    ASSERT_EQ(zip.Add(), xcd::Success);
    const std::string outside = PathOf("elsewhere/y.txt").substr(1);
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"a/x.txt", outside, "a/x2.txt"}));

    // Without paths only the file name is stored: the same name is replaced.
    zip.UsePaths = false;
    std::vector<std::string> added;
    zip.OnAdding = [&](const std::string& name) { added.push_back(name); };
    zip.FilesToProcess = {"a/x.txt", "a/x2.txt"};
    ASSERT_EQ(zip.Add(), xcd::Success);
    EXPECT_EQ(added, (std::vector<std::string>{"x.txt", "x2.txt"}));
    for (const auto& name : ListNames())
        EXPECT_NE(name.front(), '/') << name;
}

TEST_F(XcdZipAdd, MasksFoldersRecursionAndStoredExtensions)
{
    const std::string text = Repeated("compressible text ", 300);
    Write("a/x.html", text);
    Write("a/w.txt", text);
    Write("a/sub/y.html", text);
    Write("a/sub/z.ZIP", text);
    Write("a/sub/deep/q.html", text);
    zip.BaseFolder = folder.Path().string();

    zip.ZipFileName = PathOf("mask.zip");
    zip.FilesToProcess = {"a/*.html"};
    ASSERT_EQ(zip.Add(), xcd::Success);
    EXPECT_EQ(ListNames(), std::vector<std::string>{"a/x.html"});

    zip.ZipFileName = PathOf("recursive.zip");
    zip.Recurse = true;
    zip.FilesToProcess = {"a/*.html"};
    ASSERT_EQ(zip.Add(), xcd::Success);
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"a/sub/deep/q.html", "a/sub/y.html", "a/x.html"}));

    zip.ZipFileName = PathOf("folders.zip");
    zip.Recurse = false;
    zip.FilesToProcess = {"a"};
    ASSERT_EQ(zip.Add(), xcd::Success);
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"a/w.txt", "a/x.html"}));
    zip.Recurse = true;
    zip.Compression = 9;
    zip.FilesToProcess = {"a/sub/"};
    ASSERT_EQ(zip.Add(), xcd::Success);
    std::map<std::string, TXcdFileStats> byName;
    for (const auto& stats : ListAll())
        byName[stats.FileName] = stats;
    ASSERT_EQ(byName.size(), 5u);
    // ".ZIP" is in the stored list (letter case ignored); the rest is deflated.
    EXPECT_EQ(byName["a/sub/z.ZIP"].CompressedSize, byName["a/sub/z.ZIP"].Size);
    EXPECT_LT(byName["a/sub/y.html"].CompressedSize * 10, byName["a/sub/y.html"].Size);
    EXPECT_LT(byName["a/w.txt"].CompressedSize * 10, byName["a/w.txt"].Size);
    if (!InfoZipMissing())
    {
        EXPECT_NE(RunCommand("zipinfo " + ShellQuote(zip.ZipFileName) + " a/sub/z.ZIP").output.find(" stor "),
                  std::string::npos);
        EXPECT_NE(RunCommand("zipinfo " + ShellQuote(zip.ZipFileName) + " a/sub/y.html").output.find(" def"),
                  std::string::npos);
    }

    // Level 0 stores everything.
    zip.ZipFileName = PathOf("level0.zip");
    zip.Compression = 0;
    zip.FilesToProcess = {"a/x.html"};
    ASSERT_EQ(zip.Add(), xcd::Success);
    const auto level0 = ListAll();
    ASSERT_EQ(level0.size(), 1u);
    EXPECT_EQ(level0[0].CompressedSize, level0[0].Size);

    // Without paths, recursion brings two different files under one name: nothing is written.
    Write("a/other/x.html", "another x");
    zip.ZipFileName = PathOf("flat.zip");
    zip.UsePaths = false;
    zip.FilesToProcess = {"a/*.html"};
    EXPECT_EQ(zip.Add(), xcd::NamesRepeated);
    EXPECT_FALSE(fs::exists(zip.ZipFileName));
    // The same file named twice goes in once.
    zip.Recurse = false;
    zip.FilesToProcess = {"a/x.html", "a/*.html", "a/./x.html"};
    ASSERT_EQ(zip.Add(), xcd::Success);
    EXPECT_EQ(ListNames(), std::vector<std::string>{"x.html"});
}

TEST_F(XcdZipAdd, ReplacingKeepsTheEntrysPlaceAndCommentsComeFromTheHandler)
{
    Write("p1.txt", "one");
    Write("p2.txt", "two");
    Write("p3.txt", "three");
    zip.ZipFileName = PathOf("c.zip");
    std::vector<std::string> asked;
    const std::string e = "\xC3\xA9";
    zip.OnFileComment = [&](const std::string& name, std::string& comment)
    {
        asked.push_back(name + "|" + comment);
        if (name == "p1.txt" && comment.empty())
            comment = "Page one";
        if (name == "p3.txt")
            comment = Repeated(e, 300);
    };
    ASSERT_EQ(AddFiles({"p1.txt", "p2.txt"}), xcd::Success);
    EXPECT_EQ(asked, (std::vector<std::string>{"p1.txt|", "p2.txt|"}));

    Write("p1.txt", "one, changed");
    std::vector<std::string> events;
    zip.OnAdding = [&](const std::string& name) { events.push_back("add " + name); };
    zip.OnUpdating = [&](const std::string& name) { events.push_back("update " + name); };
    asked.clear();
    ASSERT_EQ(AddFiles({"p3.txt", "p1.txt"}), xcd::Success);
    EXPECT_EQ(events, (std::vector<std::string>{"add p3.txt", "update p1.txt"}));
    // The replaced entry's comment is offered and kept when the handler leaves it.
    EXPECT_EQ(asked, (std::vector<std::string>{"p3.txt|", "p1.txt|Page one"}));

    const auto listed = ListAll();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].FileName, "p1.txt");
    EXPECT_EQ(listed[0].Size, 12);
    EXPECT_EQ(listed[0].Comment, "Page one");
    EXPECT_EQ(listed[1].FileName, "p2.txt");
    EXPECT_EQ(listed[1].Comment, "");
    EXPECT_EQ(listed[2].FileName, "p3.txt");
    EXPECT_EQ(listed[2].Comment, Repeated(e, 255)); // 255 characters, not bytes
    if (!InfoZipMissing())
    {
        EXPECT_EQ(RunCommand("unzip -p " + ShellQuote(zip.ZipFileName) + " p1.txt").output, "one, changed");
        EXPECT_NE(RunCommand("zipinfo -v " + ShellQuote(zip.ZipFileName) + " p1.txt").output.find("Page one"),
                  std::string::npos);
    }
}

TEST_F(XcdZipAdd, MissingFilesAreSkippedAndRefusedAddsChangeNothing)
{
    Write("a.txt", "a");
    zip.ZipFileName = PathOf("s.zip");
    std::vector<std::string> skipped;
    zip.OnSkipping = [&](const std::string& name, TXcdSkipReason reason)
    { skipped.push_back(name + (reason == TXcdSkipReason::SourceUnreadable ? " unreadable" : " other")); };
    ASSERT_EQ(AddFiles({"a.txt", "missing.txt", "nodir/*.txt"}), xcd::FilesSkipped);
    EXPECT_EQ(skipped, (std::vector<std::string>{"missing.txt unreadable", "nodir/*.txt unreadable"}));
    EXPECT_EQ(ListNames(), std::vector<std::string>{"a.txt"});
    const std::string before = folder.ReadFile("s.zip");

    EXPECT_EQ(AddFiles({"missing.txt"}), xcd::AccessFailed);
    EXPECT_EQ(AddFiles({}), xcd::NothingToDo);
    EXPECT_EQ(AddFiles({"*.nothing"}), xcd::NothingToDo);
    Write("d1/same.txt", "1");
    Write("d2/same.txt", "2");
    zip.UsePaths = false;
    zip.FilesToProcess = {"d1/same.txt", "d2/same.txt"};
    EXPECT_EQ(zip.Add(), xcd::NamesRepeated);
    EXPECT_EQ(folder.ReadFile("s.zip"), before);

    // A folder that does not exist, a file that is not a Zip archive.
    zip.ZipFileName = PathOf("no/such/folder/x.zip");
    EXPECT_EQ(AddFiles({"a.txt"}), xcd::AccessFailed);
    EXPECT_FALSE(fs::exists(PathOf("no")));
    Write("notes.zip", "just some text");
    zip.ZipFileName = PathOf("notes.zip");
    EXPECT_EQ(AddFiles({"a.txt"}), xcd::ArchiveCorrupted);
    EXPECT_EQ(folder.ReadFile("notes.zip"), "just some text");
    zip.ZipFileName.clear();
    EXPECT_EQ(AddFiles({"a.txt"}), xcd::AccessFailed);
}

TEST_F(XcdZipAdd, AnUpdateThatDoesNotFinishLeavesThePreviousArchive)
{
    Write("small.txt", "small");
    zip.ZipFileName = PathOf("keep.zip");
    ASSERT_EQ(AddFiles({"small.txt"}), xcd::Success);
    Write("big.bin", RandomBytes(8 << 20, 7));
    const std::string before = folder.ReadFile("keep.zip");
    const auto tree = TreeOf(folder.Path().string());

    // The Stop command arrives while the window processes its events.
    int pumps = 0;
    zip.ProcessEvents = [&]
    {
        ++pumps;
        zip.Abort = true;
    };
    EXPECT_EQ(AddFiles({"big.bin"}), xcd::Aborted);
    EXPECT_GE(pumps, 1);
    EXPECT_EQ(folder.ReadFile("keep.zip"), before);
    EXPECT_EQ(TreeOf(folder.Path().string()), tree); // no temporary file left behind
    zip.ProcessEvents = nullptr;

    // An event handler that throws in the middle of the write.
    zip.OnStatus = [](int percent, std::int64_t, std::int64_t)
    {
        if (percent >= 10)
            throw std::runtime_error("window closed");
    };
    EXPECT_THROW(AddFiles({"big.bin"}), std::runtime_error);
    EXPECT_FALSE(zip.IsBusy());
    EXPECT_TRUE(zip.FilesToProcess.empty());
    EXPECT_EQ(folder.ReadFile("keep.zip"), before);
    EXPECT_EQ(TreeOf(folder.Path().string()), tree);
    zip.OnStatus = nullptr;

    // A file that disappears between being named and being written.
    Write("v1.txt", "v1");
    Write("v2.txt", "v2");
    zip.OnFileComment = [&](const std::string& name, std::string&)
    {
        if (name == "v2.txt")
            fs::remove(PathOf("v1.txt"));
    };
    EXPECT_EQ(AddFiles({"v1.txt", "v2.txt"}), xcd::AccessFailed);
    EXPECT_EQ(folder.ReadFile("keep.zip"), before);
    zip.OnFileComment = nullptr;

    // The abort flag is cleared when the next operation starts.
    zip.Abort = true;
    ASSERT_EQ(AddFiles({"big.bin"}), xcd::Success);
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"small.txt", "big.bin"}));
}

TEST_F(XcdZipAdd, ACrashDuringTheWriteLeavesThePreviousArchive)
{
    Write("small.txt", "small");
    zip.ZipFileName = PathOf("crash.zip");
    ASSERT_EQ(AddFiles({"small.txt"}), xcd::Success);
    Write("big.bin", RandomBytes(8 << 20, 9));
    const std::string before = folder.ReadFile("crash.zip");

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        TXceedZip dying;
        dying.ZipFileName = zip.ZipFileName;
        dying.BaseFolder = folder.Path().string();
        dying.FilesToProcess = {"big.bin"};
        dying.OnStatus = [](int percent, std::int64_t, std::int64_t)
        {
            if (percent >= 30)
                ::raise(SIGKILL);
        };
        dying.Add();
        ::_exit(0); // only reached when the kill did not happen
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_EQ(folder.ReadFile("crash.zip"), before);
    EXPECT_EQ(ListNames(), std::vector<std::string>{"small.txt"});
    if (!InfoZipMissing())
    {
        EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(zip.ZipFileName)).status, 0);
    }
}

TEST_F(XcdZipAdd, FixedEntryTimeMakesArchivesReproducible)
{
    Write("r/a.txt", Repeated("aaa", 100));
    Write("r/b.html", "<b>");
    const TDateTime fixed = EncodeDateTime(TDateParts{2020, 2, 29, 13, 14, 16});
    zip.FixedEntryTime = fixed;
    zip.ZipFileName = PathOf("one.zip");
    ASSERT_EQ(AddFiles({"r/a.txt", "r/b.html"}), xcd::Success);
    SetModified(PathOf("r/a.txt"), EncodeDateTime(TDateParts{2011, 1, 2, 3, 4, 6}));
    zip.ZipFileName = PathOf("two.zip");
    ASSERT_EQ(AddFiles({"r/a.txt", "r/b.html"}), xcd::Success);
    EXPECT_EQ(folder.ReadFile("one.zip"), folder.ReadFile("two.zip"));
    for (const auto& stats : ListAll())
        EXPECT_DOUBLE_EQ(stats.DateTime, fixed) << stats.FileName;
    if (!InfoZipMissing())
    {
        EXPECT_NE(RunCommand("zipinfo -T " + ShellQuote(zip.ZipFileName)).output.find("20200229.131416"),
                  std::string::npos);
    }

    // Without a fixed time each entry takes its file's modification time.
    zip.FixedEntryTime = 0;
    const TDateTime modified = EncodeDateTime(TDateParts{2015, 6, 1, 10, 20, 30});
    SetModified(PathOf("r/b.html"), modified);
    zip.ZipFileName = PathOf("three.zip");
    ASSERT_EQ(AddFiles({"r/b.html"}), xcd::Success);
    const auto listed = ListAll();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_DOUBLE_EQ(listed[0].DateTime, modified);
}

// Moves a file's modification time by whole seconds.
void ShiftModified(const std::string& path, int seconds)
{
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(seconds));
}

// The entry's stored date and time as zipinfo prints it ("20200229.131416").
std::string ZipinfoTime(const std::string& archive, const std::string& entry)
{
    const auto lines = Lines(RunCommand("zipinfo -T " + ShellQuote(archive) + " " + ShellQuote(entry)).output);
    for (const auto& line : lines)
        if (line.size() > entry.size() && line.compare(line.size() - entry.size(), entry.size(), entry) == 0)
        {
            const std::size_t end = line.rfind(' ', line.size() - entry.size() - 1);
            const std::size_t start = line.rfind(' ', end - 1);
            return line.substr(start + 1, end - start - 1);
        }
    return {};
}

TEST_F(XcdZipAdd, FreshenReplacesOnlyEntriesWhoseFilesAreNewer)
{
    const TDateTime stored = EncodeDateTime(TDateParts{2020, 3, 4, 10, 20, 30});
    Write("f/same.txt", "same v1");
    Write("f/newer.txt", "newer v1");
    Write("f/older.txt", "older v1");
    for (const char* name : {"f/same.txt", "f/newer.txt", "f/older.txt"})
        SetModified(PathOf(name), stored);
    zip.ZipFileName = PathOf("fresh.zip");
    ASSERT_EQ(AddFiles({"f/same.txt", "f/newer.txt", "f/older.txt"}), xcd::Success);

    // A file that is not in the archive is not added; nothing newer: nothing written.
    Write("f/new.txt", "brand new");
    const std::string before = folder.ReadFile("fresh.zip");
    zip.AddAction = TXcdAddAction::Freshen;
    std::vector<std::string> events;
    zip.OnAdding = [&](const std::string& name) { events.push_back("add " + name); };
    zip.OnUpdating = [&](const std::string& name) { events.push_back("update " + name); };
    EXPECT_EQ(AddFiles({"f/same.txt", "f/newer.txt", "f/older.txt", "f/new.txt"}), xcd::NothingToDo);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(folder.ReadFile("fresh.zip"), before);

    // Changed contents: one second later is still the stored two-second step, two
    // seconds later is newer, an earlier time is older.
    Write("f/same.txt", "same v2");
    SetModified(PathOf("f/same.txt"), stored);
    ShiftModified(PathOf("f/same.txt"), 1);
    Write("f/newer.txt", "newer v2");
    SetModified(PathOf("f/newer.txt"), stored);
    ShiftModified(PathOf("f/newer.txt"), 2);
    Write("f/older.txt", "older v2");
    SetModified(PathOf("f/older.txt"), stored);
    ShiftModified(PathOf("f/older.txt"), -60);
    ASSERT_EQ(AddFiles({"f/same.txt", "f/newer.txt", "f/older.txt", "f/new.txt"}), xcd::Success);
    EXPECT_EQ(events, std::vector<std::string>{"update f/newer.txt"});
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"f/same.txt", "f/newer.txt", "f/older.txt"}));
    if (!InfoZipMissing())
    {
        EXPECT_EQ(Lines(RunCommand("zipinfo -1 " + ShellQuote(zip.ZipFileName)).output),
                  (std::vector<std::string>{"f/same.txt", "f/newer.txt", "f/older.txt"}));
        EXPECT_EQ(RunCommand("unzip -p " + ShellQuote(zip.ZipFileName) + " f/same.txt").output, "same v1");
        EXPECT_EQ(RunCommand("unzip -p " + ShellQuote(zip.ZipFileName) + " f/newer.txt").output, "newer v2");
        EXPECT_EQ(RunCommand("unzip -p " + ShellQuote(zip.ZipFileName) + " f/older.txt").output, "older v1");
        EXPECT_EQ(ZipinfoTime(zip.ZipFileName, "f/same.txt"), "20200304.102030");
        EXPECT_EQ(ZipinfoTime(zip.ZipFileName, "f/newer.txt"), "20200304.102032");
    }

    // Freshening an archive that does not exist creates nothing.
    zip.ZipFileName = PathOf("none.zip");
    EXPECT_EQ(AddFiles({"f/new.txt"}), xcd::NothingToDo);
    EXPECT_FALSE(fs::exists(zip.ZipFileName));
}

TEST_F(XcdZipAdd, UpdateAddsNewFilesAndReplacesOnlyNewerEntries)
{
    const TDateTime stored = EncodeDateTime(TDateParts{2021, 7, 8, 9, 10, 12});
    Write("u/a.txt", "a v1");
    Write("u/b.txt", "b v1");
    SetModified(PathOf("u/a.txt"), stored);
    SetModified(PathOf("u/b.txt"), stored);
    zip.ZipFileName = PathOf("update.zip");
    ASSERT_EQ(AddFiles({"u/a.txt", "u/b.txt"}), xcd::Success);

    Write("u/a.txt", "a v2");
    SetModified(PathOf("u/a.txt"), stored);
    ShiftModified(PathOf("u/a.txt"), 4);
    Write("u/b.txt", "b v2");
    SetModified(PathOf("u/b.txt"), stored);
    ShiftModified(PathOf("u/b.txt"), -4);
    Write("u/c.txt", "c v1");
    zip.AddAction = TXcdAddAction::Update;
    std::vector<std::string> events;
    zip.OnAdding = [&](const std::string& name) { events.push_back("add " + name); };
    zip.OnUpdating = [&](const std::string& name) { events.push_back("update " + name); };
    ASSERT_EQ(AddFiles({"u/*.txt"}), xcd::Success);
    EXPECT_EQ(events, (std::vector<std::string>{"update u/a.txt", "add u/c.txt"}));
    const auto listed = ListAll();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].FileName, "u/a.txt");
    EXPECT_DOUBLE_EQ(listed[0].DateTime, EncodeDateTime(TDateParts{2021, 7, 8, 9, 10, 16}));
    EXPECT_EQ(listed[1].FileName, "u/b.txt");
    EXPECT_DOUBLE_EQ(listed[1].DateTime, stored);
    EXPECT_EQ(listed[2].FileName, "u/c.txt");
    if (!InfoZipMissing())
    {
        EXPECT_EQ(RunCommand("unzip -p " + ShellQuote(zip.ZipFileName) + " u/a.txt").output, "a v2");
        EXPECT_EQ(RunCommand("unzip -p " + ShellQuote(zip.ZipFileName) + " u/b.txt").output, "b v1");
        EXPECT_EQ(RunCommand("unzip -p " + ShellQuote(zip.ZipFileName) + " u/c.txt").output, "c v1");
        EXPECT_EQ(ZipinfoTime(zip.ZipFileName, "u/a.txt"), "20210708.091016");
    }

    // Run again: every file is as stored, so nothing is written.
    const std::string before = folder.ReadFile("update.zip");
    events.clear();
    EXPECT_EQ(AddFiles({"u/*.txt"}), xcd::NothingToDo);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(folder.ReadFile("update.zip"), before);
    // A missing file beside unchanged ones is reported as skipped; the archive stays.
    EXPECT_EQ(AddFiles({"u/a.txt", "u/gone.txt"}), xcd::FilesSkipped);
    EXPECT_EQ(folder.ReadFile("update.zip"), before);

    // Add and replace writes the older file too.
    zip.AddAction = TXcdAddAction::AddReplace;
    ASSERT_EQ(AddFiles({"u/b.txt"}), xcd::Success);
    EXPECT_EQ(events, std::vector<std::string>{"update u/b.txt"});
    if (!InfoZipMissing())
    {
        EXPECT_EQ(RunCommand("unzip -p " + ShellQuote(zip.ZipFileName) + " u/b.txt").output, "b v2");
    }
}

TEST_F(XcdZipAdd, NonAsciiNamesAndCommentsAreMarkedUtf8)
{
    const std::string name = "caf\xC3\xA9/na\xC3\xAFve \xC3\xBC.txt";
    const std::string comment = "\xC3\x9C"
                                "ber Harbex";
    Write(name, "utf");
    zip.ZipFileName = PathOf("utf8.zip");
    zip.OnFileComment = [&](const std::string&, std::string& text) { text = comment; };
    ASSERT_EQ(AddFiles({name}), xcd::Success);
    const auto listed = ListAll();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].FileName, name);
    EXPECT_EQ(listed[0].Comment, comment);

    // The central directory record carries the UTF-8 flag (bit 11).
    const std::string bytes = folder.ReadFile("utf8.zip");
    const std::size_t central = bytes.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    const unsigned flags = static_cast<unsigned char>(bytes[central + 8]) |
                           (static_cast<unsigned>(static_cast<unsigned char>(bytes[central + 9])) << 8);
    EXPECT_NE(flags & 0x0800u, 0u);

    if (!InfoZipMissing())
    {
        EXPECT_EQ(Lines(RunCommand("zipinfo -1 " + ShellQuote(zip.ZipFileName)).output),
                  std::vector<std::string>{name});
        ASSERT_EQ(RunCommand("unzip -q " + ShellQuote(zip.ZipFileName) + " -d " + ShellQuote(PathOf("u"))).status, 0);
        EXPECT_EQ(folder.ReadFile("u/" + name), "utf");
    }
}

TEST_F(XcdZipAdd, AnotherOperationFromAnEventHandlerIsRefused)
{
    Write("a.txt", "a");
    Write("b.txt", "b");
    zip.ZipFileName = PathOf("busy.zip");
    ASSERT_EQ(AddFiles({"a.txt"}), xcd::Success);
    std::vector<int> nested;
    int countInside = -1;
    bool busyInside = false;
    zip.OnAdding = [&](const std::string&)
    {
        busyInside = zip.IsBusy();
        nested.push_back(zip.List("*.*"));
        zip.FilesToProcess = {"a.txt"};
        nested.push_back(zip.Add());
        nested.push_back(zip.Delete());
        nested.push_back(zip.Extract());
        countInside = zip.Count();
    };
    ASSERT_EQ(AddFiles({"b.txt"}), xcd::Success);
    EXPECT_EQ(nested, (std::vector<int>{xcd::Busy, xcd::Busy, xcd::Busy, xcd::Busy}));
    EXPECT_TRUE(busyInside);
    EXPECT_EQ(countInside, 1); // the archive on disk, before this update
    EXPECT_FALSE(zip.IsBusy());
    EXPECT_TRUE(zip.FilesToProcess.empty());
    EXPECT_EQ(zip.Count(), 2);
}

} // namespace
} // namespace hx
