#include "archive/XcdZipD4.h"

#include <gtest/gtest.h>

#include <string>

namespace hx
{
namespace
{

void ExpectError(int code, const std::string& message)
{
    const TXcdResultText text = XcdResultText(code, "adding");
    EXPECT_EQ(text.Outcome, TXcdOutcome::Error) << code;
    EXPECT_TRUE(text.Failed) << code;
    EXPECT_EQ(text.Message, message) << code;
}

TEST(XcdZipMessages, SilentAndInformationCodesSucceed)
{
    for (const int code : {-5, 0, 10, 30, 140})
    {
        const TXcdResultText text = XcdResultText(code, "adding");
        EXPECT_EQ(text.Outcome, TXcdOutcome::Silent) << code;
        EXPECT_FALSE(text.Failed) << code;
        EXPECT_EQ(text.Message, "") << code;
    }
    for (const char* word : {"adding", "deleting", "extracting"})
    {
        const TXcdResultText skipped = XcdResultText(40, word);
        EXPECT_EQ(skipped.Outcome, TXcdOutcome::Information);
        EXPECT_FALSE(skipped.Failed);
        EXPECT_EQ(skipped.Message, std::string("Some files were skipped while ") + word + ".");
    }
    const TXcdResultText empty = XcdResultText(50, "deleting");
    EXPECT_EQ(empty.Outcome, TXcdOutcome::Information);
    EXPECT_FALSE(empty.Failed);
    EXPECT_EQ(empty.Message, "The Zip file is empty.");

    const TXcdResultText aborted = XcdResultText(190, "adding");
    EXPECT_EQ(aborted.Outcome, TXcdOutcome::Silent);
    EXPECT_TRUE(aborted.Failed);
    EXPECT_EQ(aborted.Message, "");
}

TEST(XcdZipMessages, EveryFailingCodeHasItsMessage)
{
    const std::string corrupted = "The archive file is corrupted. Try using the Fix option on it.";
    ExpectError(100, "Could not find the archive file.");
    ExpectError(110, corrupted);
    ExpectError(160, corrupted);
    ExpectError(120, "Ran out of memory while adding.");
    ExpectError(150, "Disk full while adding.");
    ExpectError(180, "Another application is currently performing a similar task. Wait until the other "
                     "application has completed its operation.");
    ExpectError(200, "Test failed - Errors in the archive.");
    ExpectError(210, "No files ended up being tested in the archive.");
    ExpectError(240, "The XCDZIP32.DLL or the XCDUNZ32.DLL file could not be found.");
    ExpectError(280, "Problem with the temporary file.");
    ExpectError(350, "Attempt to remove parent directory.");
    ExpectError(370, "Names repeated in archive after discarding pathnames.");
    ExpectError(380, "Could not update the Zip archive date. Archive only contains directories or is empty.");
    ExpectError(400, "Could not access the Zip file or one of the files to process.");
    ExpectError(410, "Attempt to work with a multiple-disk Zip archive, but not in multidisk mode.");
    ExpectError(420, "Wrong disk was inserted too many times.");

    // Codes without a message of their own name the operation.
    for (const int code : {1, 20, 130, 170, 191, 300, xcd::Unexpected})
        ExpectError(code, "An error occurred while adding the specified files.");
    EXPECT_EQ(XcdResultText(999, "extracting").Message, "An error occurred while extracting the specified files.");
    EXPECT_EQ(XcdResultText(150, "deleting").Message, "Disk full while deleting.");
    EXPECT_EQ(XcdResultText(120, "extracting").Message, "Ran out of memory while extracting.");
}

} // namespace
} // namespace hx
