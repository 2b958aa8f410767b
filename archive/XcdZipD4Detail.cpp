// Name, mask and date rules of the Zip component, and the small reader of the
// central directory that gives the listing the stored date fields.

#include "archive/XcdZipD4_p.h"

#include <algorithm>
#include <ctime>
#include <fstream>

namespace hx::xcd::detail
{

namespace
{

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Bytes of the UTF-8 character starting at `at` (1 for stray bytes), never past the end.
std::size_t CharacterLength(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if (lead >= 0xF0)
        length = 4;
    else if (lead >= 0xE0)
        length = 3;
    else if (lead >= 0xC0)
        length = 2;
    return std::min(length, text.size() - at);
}

template <typename TVisit>
void ForEachStep(std::string_view path, TVisit visit)
{
    std::size_t start = 0;
    while (start <= path.size())
    {
        const std::size_t end = std::min(path.find('/', start), path.size());
        visit(path.substr(start, end - start));
        start = end + 1;
    }
}

std::uint16_t Read16(const std::string& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

std::uint32_t Read32(const std::string& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(Read16(bytes, at)) | (static_cast<std::uint32_t>(Read16(bytes, at + 2)) << 16);
}

std::uint64_t Read64(const std::string& bytes, std::size_t at)
{
    return static_cast<std::uint64_t>(Read32(bytes, at)) | (static_cast<std::uint64_t>(Read32(bytes, at + 4)) << 32);
}

bool ReadAt(std::ifstream& in, std::uint64_t offset, std::uint64_t length, std::string& bytes)
{
    bytes.assign(static_cast<std::size_t>(length), '\0');
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(bytes.data(), static_cast<std::streamsize>(length));
    return static_cast<std::uint64_t>(in.gcount()) == length;
}

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kEnd64Signature = 0x06064b50;
constexpr std::uint32_t kEnd64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kEnd64LocatorSize = 20;
constexpr std::size_t kEnd64Size = 56;
constexpr std::size_t kCentralSize = 46;
constexpr std::uint64_t kMaxComment = 0xFFFF;

// Parses `count` central records from `bytes`; false when they do not fit.
bool ParseRecords(const std::string& bytes, std::uint64_t count, std::vector<TDirectoryRecord>& records)
{
    records.clear();
    std::size_t at = 0;
    for (std::uint64_t i = 0; i < count; ++i)
    {
        if (at + kCentralSize > bytes.size() || Read32(bytes, at) != kCentralSignature)
            return false;
        const std::size_t nameLength = Read16(bytes, at + 28);
        const std::size_t extraLength = Read16(bytes, at + 30);
        const std::size_t commentLength = Read16(bytes, at + 32);
        const std::size_t next = at + kCentralSize + nameLength + extraLength + commentLength;
        if (next > bytes.size())
            return false;
        TDirectoryRecord record;
        record.stamp.time = Read16(bytes, at + 12);
        record.stamp.date = Read16(bytes, at + 14);
        record.rawName = bytes.substr(at + kCentralSize, nameLength);
        records.push_back(std::move(record));
        at = next;
    }
    return true;
}

} // namespace

bool HasWildcards(std::string_view text)
{
    return text.find_first_of("*?") != std::string_view::npos;
}

bool MatchesMask(std::string_view name, std::string_view mask)
{
    if (mask.empty())
        return true;
    if (!HasWildcards(mask))
        return name == mask;
    std::string pattern(mask);
    if (pattern.size() >= 3 && pattern.compare(pattern.size() - 3, 3, "*.*") == 0)
        pattern.resize(pattern.size() - 2); // "*.*" at the end takes names without a dot too

    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starPattern = std::string::npos;
    std::size_t starName = 0;
    while (n < name.size())
    {
        if (p < pattern.size() && pattern[p] == '*')
        {
            starPattern = p++;
            starName = n;
            continue;
        }
        if (p < pattern.size() && pattern[p] == '?')
        {
            n += CharacterLength(name, n);
            ++p;
            continue;
        }
        if (p < pattern.size() && LowerAscii(pattern[p]) == LowerAscii(name[n]))
        {
            ++n;
            ++p;
            continue;
        }
        if (starPattern == std::string::npos)
            return false;
        // Let the last "*" take one more character and try again.
        starName += CharacterLength(name, starName);
        n = starName;
        p = starPattern + 1;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::string NormalizedEntryPath(std::string_view path)
{
    std::vector<std::string_view> steps;
    ForEachStep(path,
                [&](std::string_view step)
                {
                    if (step.empty() || step == ".")
                        return;
                    if (step == "..")
                    {
                        if (!steps.empty())
                            steps.pop_back();
                        return;
                    }
                    steps.push_back(step);
                });
    std::string result;
    for (const auto step : steps)
    {
        if (!result.empty())
            result += '/';
        result += step;
    }
    return result;
}

bool SafeEntrySteps(std::string_view name, std::vector<std::string>& steps)
{
    steps.clear();
    bool safe = name.empty() || name.front() != '/';
    ForEachStep(name,
                [&](std::string_view step)
                {
                    if (step == "..")
                        safe = false;
                    else if (!step.empty() && step != ".")
                        steps.emplace_back(step);
                });
    return safe;
}

std::string CutCharacters(std::string_view text, std::size_t count)
{
    std::size_t at = 0;
    for (std::size_t taken = 0; taken < count && at < text.size(); ++taken)
        at += CharacterLength(text, at);
    return std::string(text.substr(0, at));
}

TDateTime DateTimeFromDos(TDosStamp stamp)
{
    TDateParts parts;
    parts.year = 1980 + (stamp.date >> 9);
    parts.month = (stamp.date >> 5) & 0x0F;
    parts.day = stamp.date & 0x1F;
    parts.hour = stamp.time >> 11;
    parts.minute = (stamp.time >> 5) & 0x3F;
    parts.second = (stamp.time & 0x1F) * 2;
    TDateTime value = 0;
    if (TryEncodeDateTime(parts, value))
        return value;
    return EncodeDateTime(TDateParts{1980, 1, 1, 0, 0, 0});
}

TDosStamp DosFromDateTime(TDateTime value)
{
    TDateParts parts = DecodeDateTime(value);
    if (parts.year < 1980)
        parts = TDateParts{1980, 1, 1, 0, 0, 0};
    else if (parts.year > 2107)
        parts = TDateParts{2107, 12, 31, 23, 59, 58};
    TDosStamp stamp;
    stamp.time = static_cast<std::uint16_t>((parts.hour << 11) | (parts.minute << 5) | (parts.second / 2));
    stamp.date = static_cast<std::uint16_t>(((parts.year - 1980) << 9) | (parts.month << 5) | parts.day);
    return stamp;
}

std::int64_t UnixTimeFromDateTime(TDateTime value)
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
    return static_cast<std::int64_t>(std::mktime(&local));
}

TDateTime DateTimeFromUnix(std::int64_t value)
{
    const auto seconds = static_cast<std::time_t>(value);
    std::tm local{};
    TDateTime result = 0;
    if (value != -1 && ::localtime_r(&seconds, &local) != nullptr && local.tm_year + 1900 >= 1980 &&
        TryEncodeDateTime(TDateParts{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                                     std::min(local.tm_sec, 59)},
                          result))
        return result;
    return EncodeDateTime(TDateParts{1980, 1, 1, 0, 0, 0});
}

TEntryDates::TEntryDates(const std::string& path, zip_t* archive)
    : m_archive(archive)
    , m_records(ReadCentralDirectory(path))
{
    if (m_records && static_cast<zip_int64_t>(m_records->size()) != zip_get_num_entries(archive, 0))
        m_records.reset();
}

TDateTime TEntryDates::Of(zip_uint64_t index, const zip_stat_t& stat)
{
    if (m_records)
    {
        const char* raw = zip_get_name(m_archive, index, ZIP_FL_ENC_RAW);
        if (raw != nullptr && index < m_records->size() && (*m_records)[index].rawName == raw)
            return DateTimeFromDos((*m_records)[index].stamp);
        m_records.reset(); // not the directory libzip sees: trust libzip from here on
    }
    return DateTimeFromUnix((stat.valid & ZIP_STAT_MTIME) != 0 ? static_cast<std::int64_t>(stat.mtime) : -1);
}

std::optional<std::vector<TDirectoryRecord>> ReadCentralDirectory(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    in.seekg(0, std::ios::end);
    const auto endPosition = in.tellg();
    if (endPosition < 0)
        return std::nullopt;
    const auto fileSize = static_cast<std::uint64_t>(endPosition);
    if (fileSize < kEndSize)
        return std::nullopt;

    // The end record sits in the last 22 bytes plus at most a 64 KiB archive comment.
    const std::uint64_t tailSize = std::min<std::uint64_t>(fileSize, kEndSize + kMaxComment);
    const std::uint64_t tailStart = fileSize - tailSize;
    std::string tail;
    if (!ReadAt(in, tailStart, tailSize, tail))
        return std::nullopt;
    std::size_t endAt = std::string::npos;
    for (std::size_t at = tail.size() - kEndSize + 1; at-- > 0;)
    {
        if (Read32(tail, at) == kEndSignature && at + kEndSize + Read16(tail, at + 20) <= tail.size())
        {
            endAt = at;
            break;
        }
    }
    if (endAt == std::string::npos)
        return std::nullopt;

    std::uint64_t count = Read16(tail, endAt + 10);
    std::uint64_t directorySize = Read32(tail, endAt + 12);
    std::uint64_t directoryOffset = Read32(tail, endAt + 16);
    const std::uint64_t endOffset = tailStart + endAt;
    std::uint64_t directoryEnd = endOffset;
    if (count == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF)
    {
        // Zip64: the locator before the end record points at the larger end record.
        std::string locator;
        std::string end64;
        if (endOffset < kEnd64LocatorSize || !ReadAt(in, endOffset - kEnd64LocatorSize, kEnd64LocatorSize, locator) ||
            Read32(locator, 0) != kEnd64LocatorSignature)
            return std::nullopt;
        const std::uint64_t end64Offset = Read64(locator, 8);
        if (end64Offset > fileSize || !ReadAt(in, end64Offset, kEnd64Size, end64) ||
            Read32(end64, 0) != kEnd64Signature)
            return std::nullopt;
        count = Read64(end64, 32);
        directorySize = Read64(end64, 40);
        directoryOffset = Read64(end64, 48);
        directoryEnd = end64Offset;
    }
    if (directorySize > directoryEnd || count > directorySize / kCentralSize + 1)
        return std::nullopt;

    std::vector<TDirectoryRecord> records;
    std::string directory;
    if (directoryOffset + directorySize <= fileSize && ReadAt(in, directoryOffset, directorySize, directory) &&
        ParseRecords(directory, count, records))
        return records;
    // Data put before the archive (a self-extracting stub) shifts every offset:
    // the directory then ends where the end record begins.
    if (ReadAt(in, directoryEnd - directorySize, directorySize, directory) && ParseRecords(directory, count, records))
        return records;
    return std::nullopt;
}

} // namespace hx::xcd::detail
