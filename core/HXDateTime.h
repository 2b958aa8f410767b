#pragma once

// Date-time values as the task files and windows use them: days since
// 30 December 1899 with the time of day as the fraction (0 means "not set").
// Files hold "mm/dd/yyyy hh:mm:ss"; the application's short date is "m/d/yyyy"
// whatever the user's locale; times are shown in the locale's long and short
// time formats (LC_TIME).

#include <string>
#include <string_view>

namespace hx
{

using TDateTime = double;

inline constexpr double kSecondsPerDay = 86400.0;
inline constexpr double kOneSecond = 1.0 / kSecondsPerDay;

struct TDateParts
{
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Date-time of the given parts; the parts must be valid (see TryEncodeDateTime).
TDateTime EncodeDateTime(const TDateParts& parts);
// False when a part is out of range (month 1-12, a day of that month, 24-hour time).
bool TryEncodeDateTime(const TDateParts& parts, TDateTime& value);
// The parts of a value, rounded to the nearest second.
TDateParts DecodeDateTime(TDateTime value);

// The local date and time now, and today at midnight.
TDateTime Now();
TDateTime Today();

// Day of the week of a value: 1 Sunday … 7 Saturday.
int DayOfWeek(TDateTime value);

// "mm/dd/yyyy hh:mm:ss" (an elapsed time of 1 h 2 min 3 s is 12/30/1899 01:02:03);
// empty for 0.
std::string FormatFileDateTime(TDateTime value);
// The file form read back; 0 for an empty or unparsable text. Any single
// non-digit character is accepted between the time parts (files written under
// another time separator still read).
TDateTime ParseFileDateTime(std::string_view text);

// The application's short date "m/d/yyyy".
std::string FormatShortDate(TDateTime value);
// The short date read back ("m/d/yyyy", with an optional time after a blank); false
// when it does not parse.
bool TryParseShortDate(std::string_view text, TDateTime& value);

// The locale's long time format (C locale: "HH:MM:SS") and short time format
// (the long one without its seconds; C locale "HH:MM").
std::string FormatLongTime(TDateTime value);
std::string FormatShortTime(TDateTime value);

// The short time format made from a long one: "%r" (the 12-hour time, written
// with the locale's `ampmFormat`, "%I:%M:%S %p" when empty) and "%T" are spelled
// out, then the seconds field and the separator before it are dropped.
std::string ShortTimeFormatOf(std::string_view longFormat, std::string_view ampmFormat);

} // namespace hx
