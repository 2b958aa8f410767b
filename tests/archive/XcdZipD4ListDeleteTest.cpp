#include "archive/XcdZipD4.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

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

using XcdZipList = test::TXcdZipTest;
using XcdZipDelete = test::TXcdZipTest;

const std::string kEmptyZip("PK\x05\x06\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 22);

void Put16(std::string& bytes, std::size_t at, unsigned value)
{
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

// Rewrites the stored date of every entry, in the local headers and the central directory.
void PatchDates(std::string& bytes, unsigned date)
{
    for (std::size_t at = bytes.find("PK\x03\x04"); at != std::string::npos; at = bytes.find("PK\x03\x04", at + 4))
        Put16(bytes, at + 12, date);
    for (std::size_t at = bytes.find("PK\x01\x02"); at != std::string::npos; at = bytes.find("PK\x01\x02", at + 4))
        Put16(bytes, at + 14, date);
}

TEST_F(XcdZipList, StatisticsOfEachEntryInArchiveOrder)
{
    const std::string text(20000, 'h');
    Write("site/page.html", text);
    Write("site/img/photo.jpg", RandomBytes(3000, 3));
    Write("site/empty.txt", "");
    zip.ZipFileName = PathOf("stats.zip");
    const TDateTime fixed = EncodeDateTime(TDateParts{2003, 10, 5, 8, 9, 10});
    zip.FixedEntryTime = fixed;
    zip.OnFileComment = [](const std::string& name, std::string& comment)
    {
        if (name == "site/page.html")
            comment = "The Page Title";
    };
    ASSERT_EQ(AddFiles({"site/page.html", "site/img/photo.jpg", "site/empty.txt"}), xcd::Success);

    zip.FilesToProcess = {"left over"};
    const auto listed = ListAll();
    EXPECT_TRUE(zip.FilesToProcess.empty());
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].FileName, "site/page.html");
    EXPECT_EQ(listed[0].Size, 20000);
    EXPECT_GT(listed[0].CompressedSize, 0);
    EXPECT_LT(listed[0].CompressedSize, 200);
    EXPECT_GE(listed[0].CompressionRatio, 99);
    EXPECT_EQ(listed[0].Comment, "The Page Title");
    EXPECT_DOUBLE_EQ(listed[0].DateTime, fixed);
    EXPECT_FALSE(listed[0].IsFolder);
    EXPECT_EQ(listed[1].FileName, "site/img/photo.jpg");
    EXPECT_EQ(listed[1].Size, 3000);
    EXPECT_EQ(listed[1].CompressionRatio, 0); // random bytes do not shrink
    EXPECT_EQ(listed[2].Size, 0);
    EXPECT_EQ(listed[2].CompressionRatio, 0);
    EXPECT_EQ(zip.Count(), 3);

    if (!InfoZipMissing())
    {
        // Info-ZIP reports the same sizes.
        const auto verbose = RunCommand("zipinfo -v " + ShellQuote(zip.ZipFileName) + " site/page.html").output;
        EXPECT_NE(verbose.find("compressed size:                                " +
                               std::to_string(listed[0].CompressedSize) + " bytes"),
                  std::string::npos)
            << verbose;
    }

    // Masks: a folder with everything below it, one exact name, nothing.
    EXPECT_EQ(ListNames("site/img/*.*"), std::vector<std::string>{"site/img/photo.jpg"});
    EXPECT_EQ(ListNames("site/*.*").size(), 3u);
    EXPECT_EQ(ListNames("site/empty.txt"), std::vector<std::string>{"site/empty.txt"});
    EXPECT_EQ(ListNames(""), ListNames("*.*"));
    EXPECT_EQ(zip.List("*.gif"), xcd::NothingToDo);

    // The abort flag stops a listing.
    int seen = 0;
    zip.OnListing = [&](const TXcdFileStats&)
    {
        ++seen;
        zip.Abort = true;
    };
    EXPECT_EQ(zip.List("*.*"), xcd::Aborted);
    EXPECT_EQ(seen, 1);
}

TEST_F(XcdZipList, InfoZipArchivesFoldersAndInvalidDates)
{
    if (InfoZipMissing())
        GTEST_SKIP() << "zip, unzip and zipinfo are needed";
    Write("tree/s/a.txt", std::string(5000, 'a'));
    Write("tree/b.zip", "hi");
    fs::create_directories(PathOf("tree/empty"));
    const TDateTime modified = EncodeDateTime(TDateParts{2012, 12, 21, 6, 30, 44});
    std::tm local{};
    local.tm_year = 112;
    local.tm_mon = 11;
    local.tm_mday = 21;
    local.tm_hour = 6;
    local.tm_min = 30;
    local.tm_sec = 44;
    local.tm_isdst = -1;
    const timespec times[2] = {{std::mktime(&local), 0}, {std::mktime(&local), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, PathOf("tree/s/a.txt").c_str(), times, 0), 0);
    ASSERT_EQ(RunCommand("cd " + ShellQuote(folder.Folder()) + " && zip -r -q info.zip tree").status, 0);

    zip.ZipFileName = PathOf("info.zip");
    const auto listed = ListAll();
    std::vector<std::string> names;
    for (const auto& stats : listed)
        names.push_back(stats.FileName + (stats.IsFolder ? " (folder)" : ""));
    std::vector<std::string> expected;
    for (const auto& line : Lines(RunCommand("zipinfo -1 " + ShellQuote(zip.ZipFileName)).output))
        expected.push_back(line + (line.back() == '/' ? " (folder)" : ""));
    EXPECT_EQ(names, expected);
    EXPECT_EQ(zip.Count(), static_cast<int>(expected.size()));
    for (const auto& stats : listed)
    {
        if (stats.FileName == "tree/s/a.txt")
        {
            EXPECT_DOUBLE_EQ(stats.DateTime, modified);
            EXPECT_EQ(stats.Size, 5000);
        }
    }

    // A stored date that is no date reads as the first of January 1980.
    const TDateTime first = EncodeDateTime(TDateParts{1980, 1, 1, 0, 0, 0});
    for (const unsigned date : {(21u << 9) | (13u << 5) | 1u, (21u << 9) | (2u << 5) | 30u, (21u << 9) | (4u << 5)})
    {
        std::string bytes = folder.ReadFile("info.zip");
        PatchDates(bytes, date);
        Write("bad-date.zip", bytes);
        zip.ZipFileName = PathOf("bad-date.zip");
        const auto patched = ListAll();
        ASSERT_EQ(patched.size(), listed.size());
        for (const auto& stats : patched)
            EXPECT_DOUBLE_EQ(stats.DateTime, first) << stats.FileName << " " << date;
    }
}

TEST_F(XcdZipList, MissingEmptyAndDamagedArchives)
{
    zip.ZipFileName = PathOf("missing.zip");
    EXPECT_EQ(zip.List("*.*"), xcd::ArchiveNotFound);
    EXPECT_EQ(zip.Extract(), xcd::ArchiveNotFound);
    zip.FilesToProcess = {"*.*"};
    EXPECT_EQ(zip.Delete(), xcd::ArchiveNotFound);
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_FALSE(fs::exists(zip.ZipFileName));

    Write("empty.zip", kEmptyZip);
    zip.ZipFileName = PathOf("empty.zip");
    EXPECT_EQ(zip.List("*.*"), xcd::EmptyArchive);
    EXPECT_EQ(zip.Extract(), xcd::EmptyArchive);
    zip.FilesToProcess = {"*.*"};
    EXPECT_EQ(zip.Delete(), xcd::EmptyArchive);
    EXPECT_EQ(zip.Count(), 0);

    Write("text.zip", "not a zip file at all, but long enough to be looked at");
    zip.ZipFileName = PathOf("text.zip");
    EXPECT_EQ(zip.List("*.*"), xcd::ArchiveCorrupted);
    EXPECT_EQ(zip.Count(), 0);

    Write("a.txt", std::string(4000, 'a'));
    zip.ZipFileName = PathOf("cut.zip");
    ASSERT_EQ(AddFiles({"a.txt"}), xcd::Success);
    const std::string whole = folder.ReadFile("cut.zip");
    Write("cut.zip", whole.substr(0, whole.size() - 10));
    EXPECT_EQ(zip.List("*.*"), xcd::ArchiveCorrupted);
    zip.FilesToProcess = {"a.txt"};
    EXPECT_EQ(zip.Add(), xcd::ArchiveCorrupted);
    EXPECT_EQ(folder.ReadFile("cut.zip"), whole.substr(0, whole.size() - 10)); // not rewritten
}

TEST_F(XcdZipDelete, MasksRemoveEntriesAndTheRestStaysIntact)
{
    Write("a/x.html", "x");
    Write("a/sub/y.html", "y");
    Write("a/z.png", "z");
    Write("b.txt", "b");
    zip.ZipFileName = PathOf("d.zip");
    ASSERT_EQ(AddFiles({"a/x.html", "a/sub/y.html", "a/z.png", "b.txt"}), xcd::Success);

    std::vector<std::string> deleting;
    zip.OnDeleting = [&](const std::string& name) { deleting.push_back(name); };
    zip.FilesToProcess = {"a/sub/*.*", "b.txt"};
    ASSERT_EQ(zip.Delete(), xcd::Success);
    EXPECT_TRUE(zip.FilesToProcess.empty());
    EXPECT_EQ(deleting, (std::vector<std::string>{"a/sub/y.html", "b.txt"}));
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"a/x.html", "a/z.png"}));
    if (!InfoZipMissing())
    {
        EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(zip.ZipFileName)).status, 0);
        EXPECT_EQ(RunCommand("unzip -p " + ShellQuote(zip.ZipFileName) + " a/z.png").output, "z");
    }

    // Nothing matching, nothing named: the archive is not touched.
    const std::string before = folder.ReadFile("d.zip");
    deleting.clear();
    zip.FilesToProcess = {"A/X.HTML", "nothing.txt"};
    EXPECT_EQ(zip.Delete(), xcd::NothingToDo);
    zip.FilesToProcess = {};
    EXPECT_EQ(zip.Delete(), xcd::NothingToDo);
    EXPECT_TRUE(deleting.empty());
    EXPECT_EQ(folder.ReadFile("d.zip"), before);

    // An abort before the write keeps every entry.
    zip.OnDeleting = [&](const std::string&) { zip.Abort = true; };
    zip.FilesToProcess = {"*.*"};
    EXPECT_EQ(zip.Delete(), xcd::Aborted);
    EXPECT_EQ(folder.ReadFile("d.zip"), before);

    // Deleting every entry leaves an empty Zip file that can take new entries.
    zip.OnDeleting = nullptr;
    zip.FilesToProcess = {"*.*"};
    ASSERT_EQ(zip.Delete(), xcd::Success);
    ASSERT_TRUE(fs::exists(zip.ZipFileName));
    EXPECT_EQ(folder.ReadFile("d.zip"), kEmptyZip);
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(zip.List("*.*"), xcd::EmptyArchive);
    if (!InfoZipMissing())
    {
        EXPECT_NE(RunCommand("zipinfo " + ShellQuote(zip.ZipFileName)).output.find("Empty zipfile."),
                  std::string::npos);
    }
    ASSERT_EQ(AddFiles({"b.txt"}), xcd::Success);
    EXPECT_EQ(ListNames(), std::vector<std::string>{"b.txt"});
}

} // namespace
} // namespace hx
