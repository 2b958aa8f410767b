#include "core/HXDateTime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include <langinfo.h>

namespace hx
{

namespace
{

// Days from 1970-01-01 of a civil date (proleptic Gregorian), and back.
constexpr long long DaysFromCivil(int year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153LL * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(long long days, int& year, int& month, int& day)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthPart = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthPart + 2) / 5 + 1);
    month = static_cast<int>(monthPart < 10 ? monthPart + 3 : monthPart - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

// 1899-12-30 counted from 1970-01-01.
constexpr long long kEpochOffset = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Reads an unsigned decimal number of 1 to maxDigits digits at pos.
bool ReadNumber(std::string_view text, std::size_t& pos, int maxDigits, int& value)
{
    int digits = 0;
    value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < maxDigits)
    {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    return digits > 0;
}

bool ReadSeparator(std::string_view text, std::size_t& pos, char wanted)
{
    if (pos >= text.size())
        return false;
    const char c = text[pos];
    const bool isDigit = c >= '0' && c <= '9';
    if (wanted != 0 ? c != wanted : isDigit)
        return false;
    ++pos;
    return true;
}

std::tm ToTm(TDateTime value)
{
    const TDateParts parts = DecodeDateTime(value);
    std::tm tm{};
    tm.tm_year = parts.year - 1900;
    tm.tm_mon = parts.month - 1;
    tm.tm_mday = parts.day;
    tm.tm_hour = parts.hour;
    tm.tm_min = parts.minute;
    tm.tm_sec = parts.second;
    tm.tm_wday = DayOfWeek(value) - 1;
    return tm;
}

std::string FormatWith(const std::string& format, TDateTime value)
{
    const std::tm tm = ToTm(value);
    char buffer[128];
    const std::size_t length = std::strftime(buffer, sizeof buffer, format.c_str(), &tm);
    return std::string(buffer, length);
}

// The locale's time format; an empty one falls back to 24-hour time.
std::string LongTimeFormat()
{
    const char* format = ::nl_langinfo(T_FMT);
    if (format == nullptr || *format == '\0')
        return "%H:%M:%S";
    return format;
}

// The short form of the locale's time format.
std::string ShortTimeFormat()
{
    const char* ampm = ::nl_langinfo(T_FMT_AMPM);
    return ShortTimeFormatOf(LongTimeFormat(), ampm != nullptr ? ampm : "");
}

} // namespace

TDateTime EncodeDateTime(const TDateParts& parts)
{
    const long long days = DaysFromCivil(parts.year, parts.month, parts.day) - kEpochOffset;
    const double time = (parts.hour * 3600.0 + parts.minute * 60.0 + parts.second) / kSecondsPerDay;
    // Before the epoch the fraction counts away from zero, as the day-based form does.
    return days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
}

bool TryEncodeDateTime(const TDateParts& parts, TDateTime& value)
{
    if (parts.year < 1 || parts.year > 9999 || parts.month < 1 || parts.month > 12 || parts.day < 1 ||
        parts.day > DaysInMonth(parts.year, parts.month) || parts.hour < 0 || parts.hour > 23 || parts.minute < 0 ||
        parts.minute > 59 || parts.second < 0 || parts.second > 59)
    {
        return false;
    }
    value = EncodeDateTime(parts);
    return true;
}

TDateParts DecodeDateTime(TDateTime value)
{
    TDateParts parts;
    if (!std::isfinite(value) || std::fabs(value) > 3.0e6)
        return parts;
    const double whole = std::trunc(value);
    long long days = static_cast<long long>(whole);
    long long seconds = std::llround(std::fabs(value - whole) * kSecondsPerDay);
    if (seconds >= 86400)
    {
        seconds -= 86400;
        days += value >= 0 ? 1 : -1;
    }
    CivilFromDays(days + kEpochOffset, parts.year, parts.month, parts.day);
    parts.hour = static_cast<int>(seconds / 3600);
    parts.minute = static_cast<int>(seconds / 60 % 60);
    parts.second = static_cast<int>(seconds % 60);
    return parts;
}

TDateTime Now()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    TDateParts parts{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return EncodeDateTime(parts) + static_cast<double>(millis) / 1000.0 / kSecondsPerDay;
}

TDateTime Today()
{
    return std::floor(Now());
}

int DayOfWeek(TDateTime value)
{
    // 30 December 1899 was a Saturday (7).
    const long long days = static_cast<long long>(std::floor(value));
    const long long weekday = ((days % 7) + 7 + 6) % 7; // 0 Sunday
    return static_cast<int>(weekday) + 1;
}

std::string FormatFileDateTime(TDateTime value)
{
    if (value == 0)
        return {};
    const TDateParts parts = DecodeDateTime(value);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d %02d:%02d:%02d", parts.month, parts.day, parts.year,
                  parts.hour, parts.minute, parts.second);
    return buffer;
}

TDateTime ParseFileDateTime(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20)
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20)
        text.remove_suffix(1);
    TDateTime value = 0;
    if (!TryParseShortDate(text, value))
        return 0;
    return value;
}

std::string FormatShortDate(TDateTime value)
{
    const TDateParts parts = DecodeDateTime(value);
    return std::to_string(parts.month) + "/" + std::to_string(parts.day) + "/" + std::to_string(parts.year);
}

bool TryParseShortDate(std::string_view text, TDateTime& value)
{
    TDateParts parts;
    std::size_t pos = 0;
    if (!ReadNumber(text, pos, 2, parts.month) || !ReadSeparator(text, pos, '/') ||
        !ReadNumber(text, pos, 2, parts.day) || !ReadSeparator(text, pos, '/') || !ReadNumber(text, pos, 4, parts.year))
    {
        return false;
    }
    if (pos < text.size())
    {
        if (text[pos] != ' ')
            return false;
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        if (!ReadNumber(text, pos, 2, parts.hour) || !ReadSeparator(text, pos, 0) ||
            !ReadNumber(text, pos, 2, parts.minute))
        {
            return false;
        }
        if (pos < text.size() && (!ReadSeparator(text, pos, 0) || !ReadNumber(text, pos, 2, parts.second)))
            return false;
        if (pos != text.size())
            return false;
    }
    return TryEncodeDateTime(parts, value);
}

std::string FormatLongTime(TDateTime value)
{
    return FormatWith(LongTimeFormat(), value);
}

std::string FormatShortTime(TDateTime value)
{
    return FormatWith(ShortTimeFormat(), value);
}

std::string ShortTimeFormatOf(std::string_view longFormat, std::string_view ampmFormat)
{
    // Spell out the conversions that hold seconds inside them.
    std::string format;
    for (std::size_t i = 0; i < longFormat.size(); ++i)
    {
        if (longFormat[i] == '%' && i + 1 < longFormat.size())
        {
            const char conversion = longFormat[i + 1];
            if (conversion == 'r')
                format +=
                    ampmFormat.empty() || ampmFormat.find("%r") != std::string_view::npos ? "%I:%M:%S %p" : ampmFormat;
            else if (conversion == 'T')
                format += "%H:%M:%S";
            else
                format.append(longFormat.substr(i, 2));
            ++i;
            continue;
        }
        format += longFormat[i];
    }
    const std::size_t seconds = format.find("%S");
    if (seconds == std::string::npos)
        return format;
    std::size_t start = seconds;
    while (start > 0 && format[start - 1] != 'M' && format[start - 1] != '%')
        --start;
    format.erase(start, seconds + 2 - start);
    return format;
}

} // namespace hx
