#include "core/HXDateTime.h"

#include <gtest/gtest.h>

#include <clocale>

namespace hx
{
namespace
{

TEST(HXDateTimeTest, DayNumbersCountFromThe30thOfDecember1899)
{
    EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({1900, 1, 1, 0, 0, 0}), 2.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 1, 1, 0, 0, 0}), 36526.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 1, 1, 12, 0, 0}), 36526.5);

    const TDateParts parts = DecodeDateTime(EncodeDateTime({2024, 2, 29, 23, 59, 59}));
    EXPECT_EQ(parts.year, 2024);
    EXPECT_EQ(parts.month, 2);
    EXPECT_EQ(parts.day, 29);
    EXPECT_EQ(parts.hour, 23);
    EXPECT_EQ(parts.minute, 59);
    EXPECT_EQ(parts.second, 59);

    TDateTime value = 0;
    EXPECT_FALSE(TryEncodeDateTime({2023, 2, 29, 0, 0, 0}, value));
    EXPECT_FALSE(TryEncodeDateTime({2023, 13, 1, 0, 0, 0}, value));
    EXPECT_FALSE(TryEncodeDateTime({2023, 1, 1, 24, 0, 0}, value));
    EXPECT_TRUE(TryEncodeDateTime({2023, 12, 31, 23, 59, 59}, value));

    EXPECT_EQ(DayOfWeek(0), 7) << "30 December 1899 was a Saturday";
    EXPECT_EQ(DayOfWeek(EncodeDateTime({2026, 12, 9, 10, 0, 0})), 4) << "a Wednesday";
    EXPECT_EQ(DayOfWeek(EncodeDateTime({2026, 12, 13, 0, 0, 0})), 1) << "a Sunday";

    const TDateTime now = Now();
    EXPECT_GT(now, EncodeDateTime({2020, 1, 1, 0, 0, 0}));
    EXPECT_LE(Today(), now);
    EXPECT_GT(Today() + 1, now);
}

TEST(HXDateTimeTest, FileFormRoundTripsAndRejectsNonsense)
{
    EXPECT_EQ(FormatFileDateTime(0), "");
    const TDateTime elapsed = (1 * 3600 + 2 * 60 + 3) / kSecondsPerDay;
    EXPECT_EQ(FormatFileDateTime(elapsed), "12/30/1899 01:02:03");
    EXPECT_DOUBLE_EQ(ParseFileDateTime("12/30/1899 01:02:03"), elapsed);

    const TDateTime moment = EncodeDateTime({2024, 3, 7, 9, 5, 0});
    EXPECT_EQ(FormatFileDateTime(moment), "03/07/2024 09:05:00");
    EXPECT_DOUBLE_EQ(ParseFileDateTime(FormatFileDateTime(moment)), moment);
    // Another time separator, a date without time, single digits: still read.
    EXPECT_DOUBLE_EQ(ParseFileDateTime("03/07/2024 09.05.00"), moment);
    EXPECT_DOUBLE_EQ(ParseFileDateTime("3/7/2024 9:05"), moment);
    EXPECT_DOUBLE_EQ(ParseFileDateTime(" 3/7/2024 "), EncodeDateTime({2024, 3, 7, 0, 0, 0}));

    for (const char* bad :
         {"", "garbage", "13/01/2024 00:00:00", "02/30/2024 00:00:00", "01/01/2024 25:00:00", "01/01/2024 10:61:00",
          "01/01/2024 10:00:00 PM", "1/1/", "//", "01/01/2024x", "99999999999999/1/1", "1/1/2024 10:00:00:00"})
    {
        EXPECT_DOUBLE_EQ(ParseFileDateTime(bad), 0.0) << bad;
    }
    // Seconds round to the nearest one: a value a hair below a second boundary prints that second.
    EXPECT_EQ(FormatFileDateTime(moment + 2.9999 / kSecondsPerDay), "03/07/2024 09:05:03");
}

TEST(HXDateTimeTest, ShortDateAndLocaleTimes)
{
    const TDateTime moment = EncodeDateTime({2024, 3, 7, 9, 5, 7});
    EXPECT_EQ(FormatShortDate(moment), "3/7/2024");
    TDateTime parsed = 0;
    ASSERT_TRUE(TryParseShortDate("3/7/2024", parsed));
    EXPECT_DOUBLE_EQ(parsed, EncodeDateTime({2024, 3, 7, 0, 0, 0}));
    EXPECT_FALSE(TryParseShortDate("2024-03-07", parsed));

    std::setlocale(LC_TIME, "C");
    EXPECT_EQ(FormatLongTime(moment), "09:05:07");
    EXPECT_EQ(FormatShortTime(moment), "09:05");

    // The short form drops the seconds whichever way the locale writes them: a US
    // locale's time format is "%r", the 12-hour time with seconds.
    EXPECT_EQ(ShortTimeFormatOf("%r", "%I:%M:%S %p"), "%I:%M %p");
    EXPECT_EQ(ShortTimeFormatOf("%r", ""), "%I:%M %p");
    EXPECT_EQ(ShortTimeFormatOf("%T", ""), "%H:%M");
    EXPECT_EQ(ShortTimeFormatOf("%H:%M:%S", ""), "%H:%M");
    EXPECT_EQ(ShortTimeFormatOf("%H.%M.%S Uhr", ""), "%H.%M Uhr");
}

} // namespace
} // namespace hx
