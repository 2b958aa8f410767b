#include "archive/XcdZipD4.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "XcdZipD4TestSupport.h"

namespace hx
{
namespace
{

namespace fs = std::filesystem;
using test::RandomBytes;
using test::RunCommand;
using test::ShellQuote;
using test::TRawEntry;
using test::TreeOf;

using XcdZipExtract = test::TXcdZipTest;

std::time_t LocalSeconds(const TDateParts& parts)
{
    std::tm local{};
    local.tm_year = parts.year - 1900;
    local.tm_mon = parts.month - 1;
    local.tm_mday = parts.day;
    local.tm_hour = parts.hour;
    local.tm_min = parts.minute;
    local.tm_sec = parts.second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

std::time_t ModifiedOf(const std::string& path)
{
    struct stat info
    {
    };
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mtime;
}

TEST_F(XcdZipExtract, WritesEntriesWithOrWithoutPathsAndRestoresDates)
{
    const std::string png = RandomBytes(70000, 5);
    Write("src/site/index.html", "<html>");
    Write("src/site/img/a.png", png);
    Write("src/top.txt", "top");
    const TDateParts when{2019, 3, 4, 5, 6, 8};
    zip.FixedEntryTime = EncodeDateTime(when);
    zip.ZipFileName = PathOf("ex.zip");
    zip.BaseFolder = PathOf("src");
    zip.FilesToProcess = {"site/index.html", "site/img/a.png", "top.txt"};
    ASSERT_EQ(zip.Add(), xcd::Success);

    std::vector<std::string> extracting;
    zip.OnExtracting = [&](const std::string& name) { extracting.push_back(name); };
    std::int64_t lastProcessed = -1;
    std::int64_t lastTotal = -1;
    zip.OnStatus = [&](int, std::int64_t processed, std::int64_t total)
    {
        lastProcessed = processed;
        lastTotal = total;
    };
    zip.ExtractDirectory = PathOf("out/deeper"); // created when missing
    zip.UsePaths = true;
    ASSERT_EQ(zip.Extract(), xcd::Success);
    EXPECT_EQ(extracting, (std::vector<std::string>{"site/index.html", "site/img/a.png", "top.txt"}));
    EXPECT_EQ(TreeOf(PathOf("out/deeper")),
              (std::vector<std::string>{"site", "site/img", "site/img/a.png", "site/index.html", "top.txt"}));
    EXPECT_EQ(folder.ReadFile("out/deeper/site/img/a.png"), png);
    EXPECT_EQ(folder.ReadFile("out/deeper/top.txt"), "top");
    EXPECT_EQ(ModifiedOf(PathOf("out/deeper/site/img/a.png")), LocalSeconds(when));
    EXPECT_EQ(lastTotal, static_cast<std::int64_t>(png.size() + 6 + 3));
    EXPECT_EQ(lastProcessed, lastTotal);

    // Selected entries without their folders.
    zip.ExtractDirectory = PathOf("flat");
    zip.UsePaths = false;
    zip.FilesToProcess = {"site/*.*"};
    ASSERT_EQ(zip.Extract(), xcd::Success);
    EXPECT_TRUE(zip.FilesToProcess.empty());
    EXPECT_EQ(TreeOf(PathOf("flat")), (std::vector<std::string>{"a.png", "index.html"}));
    zip.FilesToProcess = {"*.gif"};
    EXPECT_EQ(zip.Extract(), xcd::NothingToDo);

    if (!InfoZipMissing())
    {
        // An Info-ZIP archive with folder entries, an empty folder among them.
        Write("tree/s/a.txt", "a");
        fs::create_directories(PathOf("tree/empty"));
        ASSERT_EQ(RunCommand("cd " + ShellQuote(folder.Folder()) + " && zip -r -q info.zip tree").status, 0);
        zip.ZipFileName = PathOf("info.zip");
        zip.ExtractDirectory = PathOf("info");
        zip.UsePaths = true;
        ASSERT_EQ(zip.Extract(), xcd::Success);
        EXPECT_EQ(TreeOf(PathOf("info")), (std::vector<std::string>{"tree", "tree/empty", "tree/s", "tree/s/a.txt"}));
    }
}

TEST_F(XcdZipExtract, OverwriteModesAndTheReplaceQuestion)
{
    std::vector<std::string> names = {"f1.txt", "f2.txt", "f3.txt", "f4.txt"};
    for (const auto& name : names)
        Write("src/" + name, "new " + name);
    zip.ZipFileName = PathOf("o.zip");
    zip.BaseFolder = PathOf("src");
    zip.FilesToProcess = names;
    ASSERT_EQ(zip.Add(), xcd::Success);
    const auto resetTargets = [&]
    {
        for (const auto& name : names)
            Write("out/" + name, "old " + name);
    };
    const auto contents = [&]
    {
        std::vector<std::string> all;
        for (const auto& name : names)
            all.push_back(fs::exists(PathOf("out/" + name)) ? folder.ReadFile("out/" + name) : "(none)");
        return all;
    };
    zip.ExtractDirectory = PathOf("out");

    resetTargets();
    zip.Overwrite = TXcdOverwrite::xowNever;
    EXPECT_EQ(zip.Extract(), xcd::FilesKept);
    EXPECT_EQ(contents(), (std::vector<std::string>{"old f1.txt", "old f2.txt", "old f3.txt", "old f4.txt"}));

    zip.Overwrite = TXcdOverwrite::xowAsk; // nobody to ask: existing files stay
    EXPECT_EQ(zip.Extract(), xcd::FilesKept);
    EXPECT_EQ(contents(), (std::vector<std::string>{"old f1.txt", "old f2.txt", "old f3.txt", "old f4.txt"}));

    std::vector<std::string> questions;
    std::vector<TXcdReplaceAnswer> answers = {TXcdReplaceAnswer::Yes, TXcdReplaceAnswer::No, TXcdReplaceAnswer::All};
    zip.OnReplace = [&](const std::string& existing, const std::string& entry)
    {
        questions.push_back(existing + " <- " + entry);
        const TXcdReplaceAnswer answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    };
    EXPECT_EQ(zip.Extract(), xcd::FilesKept);
    EXPECT_EQ(questions,
              (std::vector<std::string>{PathOf("out/f1.txt") + " <- f1.txt", PathOf("out/f2.txt") + " <- f2.txt",
                                        PathOf("out/f3.txt") + " <- f3.txt"}));
    EXPECT_EQ(contents(), (std::vector<std::string>{"new f1.txt", "old f2.txt", "new f3.txt", "new f4.txt"}));

    // Cancel ends the extraction at once: nothing after it is written.
    resetTargets();
    fs::remove(PathOf("out/f4.txt"));
    questions.clear();
    answers = {TXcdReplaceAnswer::Cancel};
    EXPECT_EQ(zip.Extract(), xcd::Aborted);
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(contents(), (std::vector<std::string>{"old f1.txt", "old f2.txt", "old f3.txt", "(none)"}));

    zip.Overwrite = TXcdOverwrite::xowAlways;
    questions.clear();
    EXPECT_EQ(zip.Extract(), xcd::Success);
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(contents(), (std::vector<std::string>{"new f1.txt", "new f2.txt", "new f3.txt", "new f4.txt"}));
    EXPECT_EQ(TreeOf(PathOf("out")), names); // no temporary file left
}

TEST_F(XcdZipExtract, NothingIsWrittenOutsideTheExtractionFolder)
{
    Write("outside/target.txt", "precious");
    const std::string absolute = PathOf("outside/abs.txt");
    fs::create_directories(PathOf("dest"));
    fs::create_directory_symlink(PathOf("outside"), PathOf("dest/sub"));
    fs::create_symlink(PathOf("outside/target.txt"), PathOf("dest/linked.txt"));
    fs::create_directories(PathOf("dest/real"));
    zip.ZipFileName = PathOf("evil.zip");
    test::MakeRawArchive(zip.ZipFileName, {
                                              {"good.txt", "good"},
                                              {"../evil1.txt", "e1"},
                                              {"a/../../evil2.txt", "e2"},
                                              {absolute, "abs"},
                                              {"sub/through-link.txt", "x"},
                                              {"linked.txt", "overwritten"},
                                              {"lnk", PathOf("outside/target.txt"), S_IFLNK | 0777},
                                              {"real/ok.txt", "ok"},
                                          });

    std::map<std::string, TXcdSkipReason> skipped;
    zip.OnSkipping = [&](const std::string& name, TXcdSkipReason reason) { skipped[name] = reason; };
    zip.ExtractDirectory = PathOf("dest");
    zip.UsePaths = true;
    zip.Overwrite = TXcdOverwrite::xowAlways;
    EXPECT_EQ(zip.Extract(), xcd::FilesSkipped);
    const std::map<std::string, TXcdSkipReason> expected = {
        {"../evil1.txt", TXcdSkipReason::UnsafeName},
        {"a/../../evil2.txt", TXcdSkipReason::UnsafeName},
        {absolute, TXcdSkipReason::UnsafeName},
        {"sub/through-link.txt", TXcdSkipReason::SymbolicLinkInPath},
        {"linked.txt", TXcdSkipReason::SymbolicLinkInPath},
        {"lnk", TXcdSkipReason::LinkEntry},
    };
    EXPECT_EQ(skipped, expected);
    EXPECT_EQ(TreeOf(PathOf("outside")), std::vector<std::string>{"target.txt"});
    EXPECT_EQ(folder.ReadFile("outside/target.txt"), "precious");
    EXPECT_FALSE(fs::exists(folder.Path().parent_path() / "evil1.txt"));
    EXPECT_FALSE(fs::exists(PathOf("evil1.txt")));
    EXPECT_FALSE(fs::exists(PathOf("evil2.txt")));
    // The links planted in the folder are still there and were not written through.
    EXPECT_EQ(TreeOf(PathOf("dest")),
              (std::vector<std::string>{"good.txt", "linked.txt", "real", "real/ok.txt", "sub"}));
    EXPECT_TRUE(fs::is_symlink(PathOf("dest/sub")));
    EXPECT_TRUE(fs::is_symlink(PathOf("dest/linked.txt")));
    EXPECT_EQ(folder.ReadFile("dest/real/ok.txt"), "ok");

    // Without paths every name keeps only its last step and lands in the folder.
    skipped.clear();
    zip.ExtractDirectory = PathOf("flat");
    zip.UsePaths = false;
    EXPECT_EQ(zip.Extract(), xcd::FilesSkipped);
    EXPECT_EQ(skipped, (std::map<std::string, TXcdSkipReason>{{"lnk", TXcdSkipReason::LinkEntry}}));
    EXPECT_EQ(TreeOf(PathOf("flat")), (std::vector<std::string>{"abs.txt", "evil1.txt", "evil2.txt", "good.txt",
                                                                "linked.txt", "ok.txt", "through-link.txt"}));
    EXPECT_EQ(folder.ReadFile("outside/target.txt"), "precious");

    // A link standing where a folder of the entry should be.
    skipped.clear();
    fs::create_directories(PathOf("third"));
    fs::create_directory_symlink(PathOf("outside"), PathOf("third/real"));
    zip.ExtractDirectory = PathOf("third");
    zip.UsePaths = true;
    zip.FilesToProcess = {"real/ok.txt"};
    EXPECT_EQ(zip.Extract(), xcd::FilesSkipped);
    EXPECT_EQ(skipped, (std::map<std::string, TXcdSkipReason>{{"real/ok.txt", TXcdSkipReason::SymbolicLinkInPath}}));
    EXPECT_FALSE(fs::exists(PathOf("outside/ok.txt")));
}

TEST_F(XcdZipExtract, DamagedEntriesAndAbortsLeaveNoPartialFiles)
{
    zip.ZipFileName = PathOf("crc.zip");
    test::MakeRawArchive(zip.ZipFileName, {
                                              {"first.txt", std::string(1000, 'A'), 0, true},
                                              {"second.txt", std::string(1000, 'B'), 0, true},
                                              {"third.txt", std::string(1000, 'C'), 0, true},
                                          });
    std::string bytes = folder.ReadFile("crc.zip");
    const std::size_t data = bytes.find(std::string(1000, 'B'));
    ASSERT_NE(data, std::string::npos);
    bytes[data + 500] = 'X';
    Write("crc.zip", bytes);

    Write("out/second.txt", "old second");
    zip.ExtractDirectory = PathOf("out");
    zip.Overwrite = TXcdOverwrite::xowAlways;
    std::map<std::string, TXcdSkipReason> damaged;
    zip.OnSkipping = [&](const std::string& name, TXcdSkipReason reason) { damaged[name] = reason; };
    EXPECT_EQ(zip.Extract(), xcd::EntryDataCorrupted);
    EXPECT_EQ(damaged, (std::map<std::string, TXcdSkipReason>{{"second.txt", TXcdSkipReason::DataDamaged}}));
    zip.OnSkipping = nullptr;
    EXPECT_EQ(TreeOf(PathOf("out")), (std::vector<std::string>{"first.txt", "second.txt", "third.txt"}));
    EXPECT_EQ(folder.ReadFile("out/second.txt"), "old second");
    EXPECT_EQ(folder.ReadFile("out/third.txt"), std::string(1000, 'C'));

    // An abort between entries keeps what was written and writes nothing more.
    zip.OnExtracting = [&](const std::string& name)
    {
        if (name == "second.txt")
            zip.Abort = true;
    };
    zip.ExtractDirectory = PathOf("stopped");
    EXPECT_EQ(zip.Extract(), xcd::Aborted);
    EXPECT_EQ(TreeOf(PathOf("stopped")), std::vector<std::string>{"first.txt"});
    zip.OnExtracting = nullptr;

    // An abort in the middle of a large entry removes its partial file.
    Write("src/big.bin", RandomBytes(3 << 20, 11));
    zip.ZipFileName = PathOf("big.zip");
    zip.BaseFolder = PathOf("src");
    zip.FilesToProcess = {"big.bin"};
    ASSERT_EQ(zip.Add(), xcd::Success);
    zip.OnStatus = [&](int percent, std::int64_t, std::int64_t)
    {
        if (percent >= 10)
            zip.Abort = true;
    };
    zip.ExtractDirectory = PathOf("partial");
    EXPECT_EQ(zip.Extract(), xcd::Aborted);
    EXPECT_TRUE(TreeOf(PathOf("partial")).empty());
}

// Sets the uncompressed size an archive declares for one entry, in its local header
// and in the central directory.
void DeclareSize(std::string& bytes, const std::string& name, std::uint32_t size)
{
    auto patch = [&](const std::string& signature, std::size_t nameOffset, std::size_t sizeOffset)
    {
        int patched = 0;
        for (std::size_t at = bytes.find(signature); at != std::string::npos; at = bytes.find(signature, at + 1))
        {
            if (bytes.compare(at + nameOffset, name.size(), name) != 0)
                continue;
            for (int i = 0; i < 4; ++i)
                bytes[at + sizeOffset + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
            ++patched;
        }
        return patched;
    };
    ASSERT_EQ(patch(std::string("PK\x03\x04", 4), 30, 22), 1);
    ASSERT_EQ(patch(std::string("PK\x01\x02", 4), 46, 24), 1);
}

TEST_F(XcdZipExtract, EntriesThatLieOrCannotBeNamedAreSkippedAndTheRestExtracted)
{
    const std::string longName(300, 'n');
    const std::string inflated(8 << 20, 'Z');
    zip.ZipFileName = PathOf("hostile.zip");
    test::MakeRawArchive(zip.ZipFileName, {
                                              {"before.txt", "before"},
                                              {"bomb.bin", inflated},
                                              {"dir/" + longName + ".txt", "long"},
                                              {longName + "/inside.txt", "inside"},
                                              {"after.txt", "after"},
                                          });
    std::string bytes = folder.ReadFile("hostile.zip");
    DeclareSize(bytes, "bomb.bin", 1000);
    Write("hostile.zip", bytes);
    std::map<std::string, std::int64_t> listed;
    for (const TXcdFileStats& stats : ListAll())
        listed[stats.FileName] = stats.Size;
    ASSERT_EQ(listed["bomb.bin"], 1000);

    std::map<std::string, TXcdSkipReason> skipped;
    zip.OnSkipping = [&](const std::string& name, TXcdSkipReason reason) { skipped[name] = reason; };
    std::int64_t mostProcessed = 0;
    std::int64_t announced = 0;
    zip.OnStatus = [&](int, std::int64_t processed, std::int64_t total)
    {
        mostProcessed = std::max(mostProcessed, processed);
        announced = total;
    };
    zip.ExtractDirectory = PathOf("out");
    zip.Overwrite = TXcdOverwrite::xowAlways;
    // The entry that lies about its size is damaged: the operation fails.
    EXPECT_EQ(zip.Extract(), xcd::EntryDataCorrupted);
    EXPECT_EQ(skipped, (std::map<std::string, TXcdSkipReason>{
                           {"bomb.bin", TXcdSkipReason::SizeMismatch},
                           {"dir/" + longName + ".txt", TXcdSkipReason::NameTooLong},
                           {longName + "/inside.txt", TXcdSkipReason::NameTooLong},
                       }));
    // Nothing beyond the declared size was written, and no partial file is left.
    EXPECT_EQ(TreeOf(PathOf("out")), (std::vector<std::string>{"after.txt", "before.txt"}));
    EXPECT_EQ(folder.ReadFile("out/after.txt"), "after");
    EXPECT_LE(mostProcessed, announced);
    EXPECT_NE(XcdSkipReasonText(TXcdSkipReason::SizeMismatch), XcdSkipReasonText(TXcdSkipReason::NameTooLong));
}

TEST_F(XcdZipExtract, EncryptedEntriesAreSkipped)
{
    if (InfoZipMissing())
        GTEST_SKIP() << "zip, unzip and zipinfo are needed";
    Write("secret.txt", "secret");
    Write("plain.txt", "plain");
    const std::string cd = "cd " + ShellQuote(folder.Folder()) + " && ";
    ASSERT_EQ(RunCommand(cd + "zip -q -P pass enc.zip secret.txt && zip -q enc.zip plain.txt").status, 0);
    std::map<std::string, TXcdSkipReason> skipped;
    zip.OnSkipping = [&](const std::string& name, TXcdSkipReason reason) { skipped[name] = reason; };
    zip.ZipFileName = PathOf("enc.zip");
    zip.ExtractDirectory = PathOf("out");
    EXPECT_EQ(zip.Extract(), xcd::FilesSkipped);
    EXPECT_EQ(skipped, (std::map<std::string, TXcdSkipReason>{{"secret.txt", TXcdSkipReason::Unsupported}}));
    EXPECT_EQ(TreeOf(PathOf("out")), std::vector<std::string>{"plain.txt"});
}

} // namespace
} // namespace hx
