#include "archive/XcdZipD4_p.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace hx
{
namespace
{

using namespace xcd::detail;

TEST(XcdZipDetail, MasksSelectEntriesAsTheTreeExpects)
{
    // The whole archive and a folder with everything below it.
    EXPECT_TRUE(MatchesMask("README", "*.*"));
    EXPECT_TRUE(MatchesMask("a/b/c.html", "*.*"));
    EXPECT_TRUE(MatchesMask("site/img/a.png", "site/*.*"));
    EXPECT_TRUE(MatchesMask("site/", "site/*.*"));
    EXPECT_FALSE(MatchesMask("sites/a.png", "site/*.*"));
    EXPECT_FALSE(MatchesMask("other/site/a.png", "site/*.*"));
    // Names without wildcards are exact, letter case included.
    EXPECT_TRUE(MatchesMask("site/Index.html", "site/Index.html"));
    EXPECT_FALSE(MatchesMask("site/index.html", "site/Index.html"));
    EXPECT_FALSE(MatchesMask("site/Index.html.bak", "site/Index.html"));
    // Wildcard masks ignore ASCII case; "?" takes one whole character.
    EXPECT_TRUE(MatchesMask("PAGE.HTM", "*.htm"));
    EXPECT_TRUE(MatchesMask("caf\xC3\xA9.txt", "caf?.txt"));
    EXPECT_FALSE(MatchesMask("cafe.txt.gz", "caf?.txt"));
    EXPECT_TRUE(MatchesMask("a.tar.gz", "*.gz"));
    EXPECT_FALSE(MatchesMask("a.gz.tar", "*.gz"));
    EXPECT_TRUE(MatchesMask("abcabd", "*ab?"));
    EXPECT_TRUE(MatchesMask("anything", ""));
    EXPECT_FALSE(MatchesMask("x.txt", "*.html"));
}

TEST(XcdZipDetail, StoredNamesAndExtractionSteps)
{
    EXPECT_EQ(NormalizedEntryPath("./a//b/../c.txt"), "a/c.txt");
    EXPECT_EQ(NormalizedEntryPath("../../x/y"), "x/y");
    EXPECT_EQ(NormalizedEntryPath("/var/www/i.html"), "var/www/i.html");
    EXPECT_EQ(NormalizedEntryPath(".."), "");

    std::vector<std::string> steps;
    EXPECT_TRUE(SafeEntrySteps("a/./b//c.txt", steps));
    EXPECT_EQ(steps, (std::vector<std::string>{"a", "b", "c.txt"}));
    EXPECT_TRUE(SafeEntrySteps("dir/", steps));
    EXPECT_EQ(steps, (std::vector<std::string>{"dir"}));
    EXPECT_TRUE(SafeEntrySteps("..hidden/x..y", steps)); // dots inside names are harmless
    EXPECT_FALSE(SafeEntrySteps("../evil", steps));
    EXPECT_FALSE(SafeEntrySteps("a/../../evil", steps));
    EXPECT_FALSE(SafeEntrySteps("a/..", steps));
    EXPECT_FALSE(SafeEntrySteps("/etc/passwd", steps));
    EXPECT_EQ(steps, (std::vector<std::string>{"etc", "passwd"}));

    const std::string e = "\xC3\xA9"; // two bytes, one character
    EXPECT_EQ(CutCharacters(e + e + e, 2), e + e);
    EXPECT_EQ(CutCharacters("abc", 255), "abc");
}

TEST(XcdZipDetail, DosStampsRoundTripAndInvalidDatesBecome1980)
{
    const TDateTime value = EncodeDateTime(TDateParts{2021, 7, 14, 23, 59, 58});
    EXPECT_DOUBLE_EQ(DateTimeFromDos(DosFromDateTime(value)), value);
    // Odd seconds are rounded down to the two-second grid of the format.
    EXPECT_DOUBLE_EQ(DateTimeFromDos(DosFromDateTime(EncodeDateTime(TDateParts{2021, 7, 14, 10, 0, 7}))),
                     EncodeDateTime(TDateParts{2021, 7, 14, 10, 0, 6}));
    // Before 1980 there is nothing to store: the first day of 1980.
    const TDateTime first = EncodeDateTime(TDateParts{1980, 1, 1, 0, 0, 0});
    EXPECT_DOUBLE_EQ(DateTimeFromDos(DosFromDateTime(EncodeDateTime(TDateParts{1970, 5, 5, 5, 5, 5}))), first);

    const auto stamp = [](int year, int month, int day, int hour, int minute, int twoSeconds)
    {
        return TDosStamp{static_cast<std::uint16_t>((hour << 11) | (minute << 5) | twoSeconds),
                         static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day)};
    };
    EXPECT_DOUBLE_EQ(DateTimeFromDos(stamp(2001, 13, 1, 0, 0, 0)), first);   // month 13
    EXPECT_DOUBLE_EQ(DateTimeFromDos(stamp(2001, 0, 1, 0, 0, 0)), first);    // month 0
    EXPECT_DOUBLE_EQ(DateTimeFromDos(stamp(2001, 2, 30, 0, 0, 0)), first);   // 30 February
    EXPECT_DOUBLE_EQ(DateTimeFromDos(stamp(2001, 2, 0, 0, 0, 0)), first);    // day 0
    EXPECT_DOUBLE_EQ(DateTimeFromDos(stamp(2001, 2, 1, 24, 0, 0)), first);   // hour 24
    EXPECT_DOUBLE_EQ(DateTimeFromDos(stamp(2001, 2, 1, 23, 60, 0)), first);  // minute 60
    EXPECT_DOUBLE_EQ(DateTimeFromDos(stamp(2001, 2, 1, 23, 59, 30)), first); // second 60
    EXPECT_DOUBLE_EQ(DateTimeFromDos(stamp(2000, 2, 29, 12, 0, 0)), EncodeDateTime(TDateParts{2000, 2, 29, 12, 0, 0}));
}

TEST(XcdZipDetail, ErrorsMapToTheDesignCodes)
{
    // Write failures concern the temporary file unless the disk is full.
    EXPECT_EQ(ResultFromZipError(ZIP_ER_WRITE, ENOSPC), xcd::DiskFull);
    EXPECT_EQ(ResultFromZipError(ZIP_ER_CLOSE, EDQUOT), xcd::DiskFull);
    EXPECT_EQ(ResultFromZipError(ZIP_ER_WRITE, EIO), xcd::TemporaryFileProblem);
    EXPECT_EQ(ResultFromErrno(ENOSPC), xcd::DiskFull);
    EXPECT_EQ(ResultFromErrno(EACCES), xcd::AccessFailed);
    // Whatever libzip reports, the windows get a code they have a message for.
    for (int zipError = ZIP_ER_OK + 1; zipError <= ZIP_ER_CANCELLED; ++zipError)
        EXPECT_TRUE(XcdResultText(ResultFromZipError(zipError, 0), "adding").Failed) << zipError;
}

} // namespace
} // namespace hx
