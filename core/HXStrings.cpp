#include "core/HXStrings.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/HXFiles.h"

namespace hx
{

namespace
{

char UpperChar(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

char LowerChar(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 0x20;
}

bool SameCharNoCase(char a, char b)
{
    return UpperChar(a) == UpperChar(b);
}

// Compares the pattern with the text at a 0-based offset (the caller checks that it fits).
bool MatchesAt(std::string_view text, std::size_t offset, std::string_view pattern, bool noCase, bool wildcard)
{
    for (std::size_t i = 0; i < pattern.size(); ++i)
    {
        const char p = pattern[i];
        if (wildcard && p == '?')
            continue;
        const char t = text[offset + i];
        if (noCase ? !SameCharNoCase(p, t) : p != t)
            return false;
    }
    return true;
}

// 0-based offset of the first match at or after `from`, npos when none.
std::size_t SearchForward(std::string_view text, std::string_view pattern, std::size_t from, bool noCase, bool wildcard)
{
    if (pattern.empty() || pattern.size() > text.size())
        return std::string_view::npos;
    const std::size_t last = text.size() - pattern.size();
    for (std::size_t offset = from; offset <= last; ++offset)
    {
        if (MatchesAt(text, offset, pattern, noCase, wildcard))
            return offset;
    }
    return std::string_view::npos;
}

// Turns a 1-based position (values below 1 meaning the start) into a 0-based offset.
std::size_t OffsetOf(long long position)
{
    return position <= 1 ? 0 : static_cast<std::size_t>(position - 1);
}

int ToPosition(std::size_t offset)
{
    if (offset == std::string_view::npos || offset >= static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return 0;
    return static_cast<int>(offset) + 1;
}

// Parses optional sign and decimal digits (blanks around allowed) into the range
// [minimum, maximum]. Saturates at the limits and reports whether that happened.
bool ParseDecimal(std::string_view text, std::int64_t minimum, std::int64_t maximum, std::int64_t& value,
                  bool& overflow)
{
    const std::string trimmed = Trim(text);
    std::string_view digits = trimmed;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-'))
    {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty())
        return false;
    // The magnitude is accumulated as unsigned so the most negative value fits.
    const std::uint64_t limit =
        negative ? 0 - static_cast<std::uint64_t>(minimum) : static_cast<std::uint64_t>(maximum);
    std::uint64_t magnitude = 0;
    overflow = false;
    for (const char c : digits)
    {
        if (c < '0' || c > '9')
            return false;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (!overflow && magnitude > (limit - digit) / 10)
        {
            overflow = true;
            magnitude = limit;
        }
        else if (!overflow)
        {
            magnitude = magnitude * 10 + digit;
        }
    }
    if (!negative)
        value = static_cast<std::int64_t>(magnitude);
    else if (magnitude == 0)
        value = 0;
    else
        value = -static_cast<std::int64_t>(magnitude - 1) - 1;
    return true;
}

bool ParseInt32(std::string_view text, std::int32_t& value, bool& overflow)
{
    std::int64_t wide = 0;
    if (!ParseDecimal(text, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), wide,
                      overflow))
        return false;
    value = static_cast<std::int32_t>(wide);
    return true;
}

} // namespace

std::string UpperCase(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = UpperChar(c);
    return result;
}

std::string LowerCase(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = LowerChar(c);
    return result;
}

bool SameTextNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && MatchesAt(a, 0, b, true, false);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return prefix.size() <= text.size() && MatchesAt(text, 0, prefix, true, false);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    return suffix.size() <= text.size() && MatchesAt(text, text.size() - suffix.size(), suffix, true, false);
}

std::string NthField(std::string_view text, char separator, int n)
{
    if (n < 0)
        return {};
    std::size_t start = 0;
    for (int i = 0; i < n; ++i)
    {
        const std::size_t next = text.find(separator, start);
        if (next == std::string_view::npos)
            return {};
        start = next + 1;
    }
    const std::size_t end = text.find(separator, start);
    return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::string TextBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker)
{
    const std::size_t start = text.find(startMarker);
    if (start == std::string_view::npos)
        return {};
    const std::size_t from = start + startMarker.size();
    const std::size_t end = text.find(endMarker, from);
    if (end == std::string_view::npos)
        return {};
    return std::string(text.substr(from, end - from));
}

std::string TextBetweenNoCase(std::string_view text, std::string_view startMarker, std::string_view endMarker)
{
    // Both markers are searched from the beginning: a page whose first closing marker
    // stands before its first opening marker yields nothing.
    const std::size_t start = SearchForward(text, startMarker, 0, true, false);
    const std::size_t end = SearchForward(text, endMarker, 0, true, false);
    if (start == std::string_view::npos || end == std::string_view::npos)
        return {};
    const std::size_t from = start + startMarker.size();
    if (end < from)
        return {};
    return std::string(text.substr(from, end - from));
}

std::string ReplaceText(std::string_view text, std::string_view find, std::string_view replacement, bool all)
{
    if (find.empty())
        return std::string(text);
    std::string result;
    result.reserve(text.size());
    std::size_t from = 0;
    while (true)
    {
        const std::size_t hit = SearchForward(text, find, from, true, false);
        if (hit == std::string_view::npos)
            break;
        result.append(text.substr(from, hit - from));
        result.append(replacement);
        from = hit + find.size();
        if (!all)
            break;
    }
    result.append(text.substr(from));
    return result;
}

std::string ReplaceFrom(std::string_view text, int position, std::string_view find, std::string_view replacement,
                        bool all)
{
    const std::size_t offset = OffsetOf(position);
    if (offset >= text.size())
        return std::string(text);
    std::string result(text.substr(0, offset));
    result += ReplaceText(text.substr(offset), find, replacement, all);
    return result;
}

std::string SanitizeField(std::string_view text)
{
    std::string kept;
    kept.reserve(text.size());
    for (const char c : text)
    {
        if (c != '\r' && c != '\n')
            kept.push_back(c);
    }
    return Trim(kept);
}

std::string Trim(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlankOrControl(text[begin]))
        ++begin;
    while (end > begin && IsBlankOrControl(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

bool ContainsNoCase(std::string_view text, std::string_view part)
{
    // An empty part is not "contained": a filter word that is empty must not match every URL.
    return SearchForward(text, part, 0, true, false) != std::string_view::npos;
}

int LastPos(std::string_view part, std::string_view text)
{
    if (part.empty())
        return 0;
    return ToPosition(text.rfind(part));
}

std::string LoadTextFile(const std::string& path)
{
    const auto bytes = ReadWholeFile(path);
    if (!bytes)
        return {};
    // Lines end with LF, CR LF or a lone CR; the last line may lack its end.
    std::string result;
    result.reserve(bytes->size() + bytes->size() / 16 + 2);
    const std::string& data = *bytes;
    std::size_t lineStart = 0;
    std::size_t i = 0;
    while (i < data.size())
    {
        const char c = data[i];
        if (c == '\n' || c == '\r')
        {
            result.append(data, lineStart, i - lineStart);
            result.append("\r\n");
            if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
                ++i;
            ++i;
            lineStart = i;
        }
        else
        {
            ++i;
        }
    }
    if (lineStart < data.size())
    {
        result.append(data, lineStart, std::string::npos);
        result.append("\r\n");
    }
    return result;
}

bool SaveTextFile(const std::string& path, std::string_view text)
{
    return WriteFileAtomic(path, text);
}

std::string FormatDuration(double timeOfDay)
{
    constexpr long long kMillisecondsPerDay = 24LL * 60 * 60 * 1000;
    long long milliseconds = 0;
    if (std::isfinite(timeOfDay))
    {
        const double fraction = std::fabs(timeOfDay - std::trunc(timeOfDay));
        milliseconds = std::llround(fraction * static_cast<double>(kMillisecondsPerDay)) % kMillisecondsPerDay;
    }
    const long long seconds = milliseconds / 1000;
    const long long hours = seconds / 3600;
    const long long minutes = (seconds / 60) % 60;
    const std::string tail = std::to_string(minutes) + " Min " + std::to_string(seconds % 60) + " Sec";
    if (hours != 0)
        return std::to_string(hours) + " Hrs " + tail;
    return tail;
}

std::int32_t StrToIntNoCommas(std::string_view text)
{
    std::string digits;
    digits.reserve(text.size());
    for (const char c : text)
    {
        if (c != ',')
            digits.push_back(c);
    }
    std::int32_t value = 0;
    bool overflow = false;
    if (!ParseInt32(digits, value, overflow))
        return 0;
    return value;
}

bool TryStrToInt(std::string_view text, std::int32_t& value)
{
    std::int32_t parsed = 0;
    bool overflow = false;
    if (!ParseInt32(text, parsed, overflow) || overflow)
        return false;
    value = parsed;
    return true;
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t defaultValue)
{
    std::int32_t value = 0;
    return TryStrToInt(text, value) ? value : defaultValue;
}

bool TryStrToInt64(std::string_view text, std::int64_t& value)
{
    std::int64_t parsed = 0;
    bool overflow = false;
    if (!ParseDecimal(text, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(), parsed,
                      overflow) ||
        overflow)
        return false;
    value = parsed;
    return true;
}

int FindNoCase(std::string_view pattern, std::string_view text, int from)
{
    return ToPosition(SearchForward(text, pattern, OffsetOf(from), true, false));
}

int FindExact(std::string_view pattern, std::string_view text, int from)
{
    if (pattern.empty())
        return 0;
    const std::size_t offset = OffsetOf(from);
    if (offset >= text.size())
        return 0;
    return ToPosition(text.find(pattern, offset));
}

int FindForward(std::string_view text, std::string_view pattern, int start)
{
    const long long wide = start;
    const bool noCase = wide < 0;
    return ToPosition(SearchForward(text, pattern, OffsetOf(noCase ? -wide : wide), noCase, true));
}

int FindBackward(std::string_view text, std::string_view pattern, int end)
{
    const long long wide = end;
    const bool noCase = wide < 0;
    const long long magnitude = noCase ? -wide : wide;
    std::size_t limit = text.size();
    if (magnitude != 0 && static_cast<unsigned long long>(magnitude) < limit)
        limit = static_cast<std::size_t>(magnitude);
    if (pattern.empty() || pattern.size() > limit)
        return 0;
    // The match must end at or before the 1-based position `limit`, so it starts at
    // 0-based offset limit - size at the latest.
    for (std::size_t offset = limit - pattern.size() + 1; offset-- > 0;)
    {
        if (MatchesAt(text, offset, pattern, noCase, true))
            return ToPosition(offset);
    }
    return 0;
}

} // namespace hx
