#include "archive/HXZipTemp.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/XcdZipD4TestSupport.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

class HXZipTempTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
    }

    std::string Read(const std::string& path) const { return ReadWholeFile(path).value_or("<missing>"); }

    std::unique_ptr<THXApp> app;
};

TEST_F(HXZipTempTest, UnpacksEveryEntryWithPathsReplacingEarlierFiles)
{
    Home().WriteFile("src/example.com/index.html", "<html>new home</html>");
    Home().WriteFile("src/example.com/img/logo.gif", "GIF89a picture");
    Home().WriteFile("src/top.txt", "top");
    TXceedZip zip;
    zip.ZipFileName = Home().Folder() + "site.zip";
    zip.BaseFolder = Home().Folder() + "src";
    zip.FilesToProcess = {"example.com/index.html", "example.com/img/logo.gif", "top.txt"};
    ASSERT_EQ(zip.Add(), xcd::Success);

    // A stale copy from an earlier browse is replaced; unrelated files stay.
    const std::string temp = app->GetTempFolder();
    ASSERT_TRUE(WriteFileAtomic(temp + "example.com/index.html", "old home"));
    ASSERT_TRUE(WriteFileAtomic(temp + "other.txt", "other"));

    std::vector<int> percents;
    const TZipTempExtraction extraction =
        ExtractZipToTemp(*app, zip.ZipFileName, [&percents](int percent) { percents.push_back(percent); });

    EXPECT_EQ(extraction.Code, xcd::Success);
    EXPECT_FALSE(extraction.Result.Failed);
    EXPECT_EQ(extraction.Result.Outcome, TXcdOutcome::Silent);
    EXPECT_EQ(extraction.Folder, temp);
    EXPECT_TRUE(extraction.Skipped.empty());
    EXPECT_EQ(Read(temp + "example.com/index.html"), "<html>new home</html>");
    EXPECT_EQ(Read(temp + "example.com/img/logo.gif"), "GIF89a picture");
    EXPECT_EQ(Read(temp + "top.txt"), "top");
    EXPECT_EQ(Read(temp + "other.txt"), "other");
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
}

TEST_F(HXZipTempTest, EntriesThatWouldLeaveTheTemporaryFolderAreLeftOut)
{
    const std::string archive = Home().Folder() + "hostile.zip";
    test::MakeRawArchive(archive, {
                                      {"example.com/good.html", "good"},
                                      {"../escaped.txt", "escaped"},
                                      {"example.com/../../deeper.txt", "deeper"},
                                      {Home().Folder() + "absolute.txt", "absolute"},
                                  });
    const std::string temp = app->GetTempFolder();
    const std::string parent = std::filesystem::path(temp).parent_path().parent_path().string() + "/";

    const TZipTempExtraction extraction = ExtractZipToTemp(*app, archive);

    EXPECT_EQ(extraction.Code, xcd::FilesSkipped);
    EXPECT_FALSE(extraction.Result.Failed);
    EXPECT_EQ(extraction.Result.Outcome, TXcdOutcome::Information);
    EXPECT_EQ(Read(temp + "example.com/good.html"), "good");
    EXPECT_FALSE(FileExists(parent + "escaped.txt"));
    EXPECT_FALSE(FileExists(parent + "deeper.txt"));
    EXPECT_FALSE(FileExists(Home().Folder() + "absolute.txt"));
    ASSERT_EQ(extraction.Skipped.size(), 3u);
    for (const auto& [name, reason] : extraction.Skipped)
        EXPECT_EQ(reason, TXcdSkipReason::UnsafeName) << name;
}

TEST_F(HXZipTempTest, MissingOrDamagedArchiveFailsWithTheExtractingMessage)
{
    const TZipTempExtraction missing = ExtractZipToTemp(*app, Home().Folder() + "gone.zip");
    EXPECT_EQ(missing.Code, xcd::ArchiveNotFound);
    EXPECT_TRUE(missing.Result.Failed);
    EXPECT_EQ(missing.Result.Outcome, TXcdOutcome::Error);
    EXPECT_EQ(missing.Result.Message, XcdResultText(xcd::ArchiveNotFound, "extracting").Message);

    const std::string damaged = Home().WriteFile("damaged.zip", "PK\x03\x04 not really an archive");
    const TZipTempExtraction broken = ExtractZipToTemp(*app, damaged);
    EXPECT_TRUE(broken.Result.Failed);
    EXPECT_FALSE(broken.Result.Message.empty());
}

} // namespace
} // namespace hx
