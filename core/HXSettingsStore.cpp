#include "core/HXSettingsStore.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/HXEncoding.h"
#include "core/HXFiles.h"

namespace hx
{

namespace
{

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRoot = "HKEY_CURRENT_USER";

// The desktop registry's own limits: deeper or longer key paths cannot come from
// a real export, so a line holding one is taken as damage.
constexpr std::size_t kMaxKeyDepth = 512;
constexpr std::size_t kMaxKeyPartLength = 255;
// A settings or import file larger than this is not read at all.
constexpr std::int64_t kMaxFileSize = 64 * 1024 * 1024;
// How many bad line numbers a damage report names before it only counts.
constexpr std::size_t kListedBadLines = 5;

char LowerChar(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = LowerChar(c);
    return result;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        if (LowerChar(a[i]) != LowerChar(b[i]))
            return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view TrimRight(std::string_view text)
{
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view Trim(std::string_view text)
{
    text = TrimRight(text);
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void AppendHexByte(std::string& out, unsigned char byte)
{
    constexpr char digits[] = "0123456789abcdef";
    out += digits[byte >> 4];
    out += digits[byte & 0x0f];
}

// "a\\b\\\\c\\" and "\\a\\b\\c" both become "a\\b\\c": empty parts are dropped.
std::string NormalizeKey(std::string_view key)
{
    std::string result;
    std::size_t start = 0;
    while (start <= key.size())
    {
        std::size_t end = key.find('\\', start);
        if (end == std::string_view::npos)
            end = key.size();
        if (end > start)
        {
            if (!result.empty())
                result += '\\';
            result.append(key.substr(start, end - start));
        }
        start = end + 1;
    }
    return result;
}

// A normalized key path the registry could hold.
bool IsStorableKey(std::string_view normalized)
{
    std::size_t depth = 0;
    std::size_t partLength = 0;
    for (char c : normalized)
    {
        if (c == '\\')
        {
            ++depth;
            partLength = 0;
            continue;
        }
        if (++partLength > kMaxKeyPartLength)
            return false;
    }
    return normalized.empty() || depth + 1 <= kMaxKeyDepth;
}

// Text that can stand on one line of the file: no line break, no NUL, valid UTF-8.
bool FitsOnLine(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos && IsValidUtf8(text);
}

std::string_view ParentOf(std::string_view path)
{
    const std::size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

bool IsSameOrBelow(std::string_view path, std::string_view ancestor)
{
    if (path.size() == ancestor.size())
        return EqualsNoCase(path, ancestor);
    return path.size() > ancestor.size() && path[ancestor.size()] == '\\' &&
           EqualsNoCase(path.substr(0, ancestor.size()), ancestor);
}

std::string Quote(std::string_view text)
{
    std::string result = "\"";
    for (char c : text)
    {
        if (c == '\\' || c == '"')
            result += '\\';
        result += c;
    }
    result += '"';
    return result;
}

// Reads a quoted text starting at the opening quote at pos; pos ends after the
// closing quote. Nothing when the closing quote is missing.
std::optional<std::string> ParseQuoted(std::string_view line, std::size_t& pos)
{
    std::string result;
    for (++pos; pos < line.size(); ++pos)
    {
        const char c = line[pos];
        if (c == '\\' && pos + 1 < line.size() && (line[pos + 1] == '\\' || line[pos + 1] == '"'))
        {
            result += line[++pos];
            continue;
        }
        if (c == '"')
        {
            ++pos;
            return result;
        }
        result += c;
    }
    return std::nullopt;
}

std::string Utf16LeToUtf8(std::string_view bytes)
{
    std::string result;
    result.reserve(bytes.size() / 2);
    const auto unit = [&](std::size_t i)
    {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    {
        const char32_t first = unit(i);
        if (first >= 0xD800 && first <= 0xDBFF && i + 3 < bytes.size())
        {
            const char32_t second = unit(i + 2);
            if (second >= 0xDC00 && second <= 0xDFFF)
            {
                AppendUtf8(result, 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(result, (first >= 0xD800 && first <= 0xDFFF) ? 0xFFFD : first);
    }
    return result;
}

// The lines of a settings or import file as UTF-8 text, without line ends. The
// file is UTF-8 (a byte order mark is skipped) or, as the desktop's own editor
// writes it, UTF-16LE with a byte order mark. A line that is not valid UTF-8 is
// read as Windows-1252, line by line, so one damaged line does not change how the
// others read.
std::vector<std::string> SplitLines(std::string_view bytes)
{
    std::string utf16Text;
    if (bytes.size() >= 2 && bytes[0] == '\xff' && bytes[1] == '\xfe')
    {
        utf16Text = Utf16LeToUtf8(bytes.substr(2));
        bytes = utf16Text;
    }
    else if (bytes.substr(0, 3) == "\xef\xbb\xbf")
    {
        bytes.remove_prefix(3);
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size())
    {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(IsValidUtf8(line) ? std::string(line) : Cp1252ToUtf8Plain(line));
        start = end + 1;
    }
    return lines;
}

// "hex:", "hex(2):" ... followed by comma-separated bytes, possibly over several
// lines joined with "\\" + line break.
bool LooksLikeHexData(std::string_view data, std::string_view& type, std::string_view& payload)
{
    if (!StartsWithNoCase(data, "hex"))
        return false;
    std::size_t pos = 3;
    if (pos < data.size() && data[pos] == '(')
    {
        const std::size_t close = data.find(')', pos);
        if (close == std::string_view::npos || close == pos + 1)
            return false;
        for (std::size_t i = pos + 1; i < close; ++i)
        {
            if (HexDigit(data[i]) < 0)
                return false;
        }
        pos = close + 1;
    }
    if (pos >= data.size() || data[pos] != ':')
        return false;
    type = data.substr(0, pos);
    payload = data.substr(pos + 1);
    return std::all_of(payload.begin(), payload.end(),
                       [](char c) { return HexDigit(c) >= 0 || c == ',' || c == '\\' || c == '\n' || IsBlank(c); });
}

// The bytes of a hex payload; nothing when a byte is not two hex digits.
std::optional<std::string> HexBytes(std::string_view payload)
{
    std::string result;
    std::string digits;
    const auto flush = [&]() -> bool
    {
        if (digits.size() != 2)
            return false;
        result += static_cast<char>(HexDigit(digits[0]) * 16 + HexDigit(digits[1]));
        digits.clear();
        return true;
    };
    bool any = false;
    for (char c : payload)
    {
        if (HexDigit(c) >= 0)
        {
            digits += c;
            any = true;
        }
        else if (c == ',')
        {
            if (!flush())
                return std::nullopt;
        }
    }
    if (any && !flush())
        return std::nullopt;
    return result;
}

// Text written as "hex(1):" (how this store keeps text with line breaks, NULs or
// bytes that are not UTF-8): the bytes with their terminating NUL; UTF-16LE in
// files with the version 5 header.
std::optional<std::string> DecodeHexText(std::string_view payload, bool utf16)
{
    auto bytes = HexBytes(payload);
    if (!bytes)
        return std::nullopt;
    if (utf16)
    {
        if (bytes->size() >= 2 && bytes->substr(bytes->size() - 2) == std::string_view("\0\0", 2))
            bytes->resize(bytes->size() - 2);
        return Utf16LeToUtf8(*bytes);
    }
    if (!bytes->empty() && bytes->back() == '\0')
        bytes->pop_back();
    return bytes;
}

struct TDiskFile
{
    enum class TState
    {
        Missing,
        Unreadable,
        Read
    };
    TState state = TState::Missing;
    std::string bytes;
    struct stat status = {};
};

// Reads the file through one descriptor, so the identity returned is the one of
// the bytes returned even when the file is replaced meanwhile.
TDiskFile ReadDiskFile(const std::filesystem::path& path)
{
    TDiskFile file;
    TFileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)); // a FIFO must not block
    if (fd.Get() < 0)
    {
        file.state = (errno == ENOENT || errno == ENOTDIR) ? TDiskFile::TState::Missing : TDiskFile::TState::Unreadable;
        return file;
    }
    file.state = TDiskFile::TState::Unreadable;
    if (::fstat(fd.Get(), &file.status) != 0 || !S_ISREG(file.status.st_mode) || file.status.st_size > kMaxFileSize)
        return file;
    char buffer[65536];
    for (;;)
    {
        const ssize_t count = ::read(fd.Get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return file;
        if (count == 0)
            break;
        file.bytes.append(buffer, static_cast<std::size_t>(count));
        if (std::ssize(file.bytes) > kMaxFileSize)
            return file;
    }
    file.state = TDiskFile::TState::Read;
    return file;
}

// The settings file's folder, made for its owner alone when it is missing: the
// file holds proxy credentials.
void CreateSettingsFolder(const std::filesystem::path& folder)
{
    std::error_code error;
    if (folder.empty() || std::filesystem::exists(folder, error))
        return;
    std::filesystem::create_directories(folder.parent_path(), error);
    ::mkdir(folder.c_str(), 0700);
}

// An exclusive advisory lock on "<settings file>.lock", held while it lives, in
// the settings folder (made for its owner alone when missing).
class TFileLock
{
public:
    explicit TFileLock(const std::filesystem::path& file)
        : m_lock((CreateSettingsFolder(file.parent_path()), file.string() + ".lock"))
    {
    }
    bool Locked() const { return m_lock.Locked(); }

private:
    TExclusiveFileLock m_lock;
};

} // namespace

// ---------------------------------------------------------------------------
// Reading the file

THXSettingsStore::TParsed THXSettingsStore::Parse(std::string_view bytes)
{
    enum class TSection
    {
        None,    // before the first key, or after a key line that could not be read
        Ignored, // another root, or a key being removed
        Key
    };
    TParsed parsed;
    const std::vector<std::string> lines = SplitLines(bytes);
    std::size_t index = 0;
    while (index < lines.size() && Trim(lines[index]).empty())
        ++index;
    if (index == lines.size())
        return parsed;
    parsed.blank = false;
    bool utf16Text = false;
    const std::string_view first = Trim(lines[index]);
    if (first == kHeader4 || first == kHeader5)
    {
        parsed.hasHeader = true;
        utf16Text = first == kHeader5;
        ++index;
    }

    TSection section = TSection::None;
    std::string currentKey;
    for (; index < lines.size(); ++index)
    {
        const int lineNumber = static_cast<int>(index) + 1;
        const std::string_view line = Trim(lines[index]);
        if (line.empty() || line.front() == ';')
            continue;

        if (line.front() == '[')
        {
            section = TSection::None;
            if (line.size() < 2 || line.back() != ']')
            {
                parsed.badLines.push_back(lineNumber);
                continue;
            }
            std::string_view inner = line.substr(1, line.size() - 2);
            const bool remove = !inner.empty() && inner.front() == '-';
            if (remove)
                inner.remove_prefix(1);
            const std::size_t slash = inner.find('\\');
            const std::string_view root = inner.substr(0, slash);
            if (!EqualsNoCase(root, kRoot))
            {
                if (StartsWithNoCase(root, "HKEY_"))
                    section = TSection::Ignored;
                else
                    parsed.badLines.push_back(lineNumber);
                continue;
            }
            std::string key = slash == std::string_view::npos ? std::string() : NormalizeKey(inner.substr(slash));
            if (!IsStorableKey(key))
            {
                parsed.badLines.push_back(lineNumber);
                continue;
            }
            TChange change;
            change.kind = remove ? TChange::TKind::DeleteKey : TChange::TKind::CreateKey;
            change.key = key;
            parsed.changes.push_back(std::move(change));
            section = remove ? TSection::Ignored : TSection::Key;
            currentKey = std::move(key);
            continue;
        }

        // A value line: "name"=data or @=data, the data of hex types possibly
        // continued on the next lines with a trailing backslash.
        std::string joined(line);
        std::size_t pos = 0;
        std::string name;
        bool good = true;
        if (joined.front() == '@')
        {
            pos = 1;
        }
        else if (joined.front() == '"')
        {
            auto quoted = ParseQuoted(joined, pos);
            good = quoted.has_value();
            if (quoted)
                name = std::move(*quoted);
        }
        else
        {
            good = false;
        }
        std::size_t equals = pos;
        while (good && equals < joined.size() && IsBlank(joined[equals]))
            ++equals;
        good = good && equals < joined.size() && joined[equals] == '=';
        if (good && StartsWithNoCase(Trim(std::string_view(joined).substr(equals + 1)), "hex"))
        {
            // Stop at a line that starts something new, so a truncated hex value
            // does not swallow the key or value after it.
            while (joined.back() == '\\' && index + 1 < lines.size())
            {
                const std::string_view next = Trim(lines[index + 1]);
                if (!next.empty() && (next.front() == '[' || next.front() == '"' || next.front() == '@'))
                    break;
                ++index;
                joined += '\n';
                joined.append(TrimRight(lines[index]));
            }
        }
        if (section == TSection::Ignored)
            continue;
        if (!good || section != TSection::Key)
        {
            parsed.badLines.push_back(lineNumber);
            continue;
        }
        const std::string_view data = Trim(std::string_view(joined).substr(equals + 1));

        TChange change;
        change.kind = TChange::TKind::SetValue;
        change.key = currentKey;
        change.value.name = std::move(name);
        std::string_view hexType;
        std::string_view hexPayload;
        if (!data.empty() && data.front() == '"')
        {
            std::size_t valuePos = 0;
            auto text = ParseQuoted(data, valuePos);
            good = text.has_value() && valuePos == data.size();
            if (good)
                change.value.text = std::move(*text);
        }
        else if (data == "-")
        {
            change.kind = TChange::TKind::DeleteValue;
        }
        else if (StartsWithNoCase(data, "dword:"))
        {
            const std::string_view digits = data.substr(6);
            good = !digits.empty() && digits.size() <= 8 &&
                   std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) >= 0; });
            change.value.type = TValueType::Dword;
            for (char c : digits)
                change.value.dword = change.value.dword * 16 + static_cast<std::uint32_t>(HexDigit(c));
        }
        else if (LooksLikeHexData(data, hexType, hexPayload))
        {
            std::optional<std::string> text;
            if (EqualsNoCase(hexType, "hex(1)"))
                text = DecodeHexText(hexPayload, utf16Text);
            if (text)
            {
                change.value.text = std::move(*text);
            }
            else
            {
                change.value.type = TValueType::Other;
                change.value.text = data;
            }
        }
        else
        {
            good = false;
        }
        if (good)
            parsed.changes.push_back(std::move(change));
        else
            parsed.badLines.push_back(lineNumber);
    }
    return parsed;
}

std::string THXSettingsStore::Serialize() const
{
    std::string text(kHeader4);
    text += "\n\n";
    for (const TKey& key : m_keys)
    {
        text += '[';
        text += kRoot;
        if (!key.path.empty())
        {
            text += '\\';
            text += key.path;
        }
        text += "]\n";
        for (const TValue& value : key.values)
        {
            text += value.name.empty() ? std::string("@") : Quote(value.name);
            text += '=';
            switch (value.type)
            {
            case TValueType::String:
                if (FitsOnLine(value.text))
                {
                    text += Quote(value.text);
                }
                else
                {
                    // Text that would break the line structure is kept as the
                    // registry's own text type in hex form, NUL-terminated.
                    text += "hex(1):";
                    for (char c : value.text)
                    {
                        AppendHexByte(text, static_cast<unsigned char>(c));
                        text += ',';
                    }
                    text += "00";
                }
                break;
            case TValueType::Dword:
                text += "dword:";
                for (int shift = 24; shift >= 0; shift -= 8)
                    AppendHexByte(text, static_cast<unsigned char>((value.dword >> shift) & 0xff));
                break;
            case TValueType::Other:
                text += value.text;
                break;
            }
            text += '\n';
        }
        text += '\n';
    }
    return text;
}

// ---------------------------------------------------------------------------
// Keeping memory and file in step

namespace
{

template <typename Identity>
Identity IdentityOf(const struct stat& status)
{
    Identity identity;
    identity.present = true;
    identity.device = static_cast<std::uint64_t>(status.st_dev);
    identity.inode = static_cast<std::uint64_t>(status.st_ino);
    identity.size = static_cast<std::int64_t>(status.st_size);
    identity.mtimeSeconds = static_cast<std::int64_t>(status.st_mtim.tv_sec);
    identity.mtimeNanoseconds = static_cast<std::int64_t>(status.st_mtim.tv_nsec);
    return identity;
}

} // namespace

void THXSettingsStore::RefreshFromDiskIfChanged()
{
    if (m_file.empty())
        return;
    struct stat status = {};
    if (::stat(m_file.c_str(), &status) != 0)
        return;
    if (IdentityOf<TFileIdentity>(status) == m_loadedIdentity)
        return;
    ReloadIfDifferent();
}

void THXSettingsStore::ReloadIfDifferent()
{
    TDiskFile disk = ReadDiskFile(m_file);
    if (disk.state == TDiskFile::TState::Unreadable)
    {
        // What cannot be read must not be replaced unseen by the next save: it is
        // moved aside whole.
        const std::string kept = m_file.string() + ".bad";
        struct stat status = {};
        if (::lstat(m_file.c_str(), &status) == 0 && !S_ISDIR(status.st_mode) &&
            ::rename(m_file.c_str(), kept.c_str()) == 0)
            Report("Settings file " + m_file.string() + " could not be read; it is kept as " + kept);
        else
            Report("Settings file " + m_file.string() + " could not be read");
    }
    // A file that vanished or cannot be read leaves the settings in memory as they are.
    if (disk.state != TDiskFile::TState::Read)
        return;
    const TFileIdentity identity = IdentityOf<TFileIdentity>(disk.status);
    if (m_loadedIdentity.present && disk.bytes == m_loadedBytes)
    {
        m_loadedIdentity = identity;
        return;
    }
    Reload(disk.bytes, identity);
}

void THXSettingsStore::Reload(const std::string& bytes, const TFileIdentity& identity)
{
    const TParsed parsed = Parse(bytes);
    // A damaged file is kept beside the one the next save writes, so nothing the
    // program could not read is lost.
    std::string keptAs;
    if (IsDamaged(parsed))
    {
        const std::string kept = m_file.string() + ".bad";
        if (WriteFileAtomic(kept, bytes, TDurability::kFlushed, TFileAccess::kPrivate))
            keptAs = kept;
    }
    ReportDamage("Settings file " + m_file.string(), parsed, keptAs);
    m_keys.clear();
    m_keyIndex.clear();
    for (const TChange& change : parsed.changes)
        Apply(change);
    for (const TChange& change : m_unsaved)
        Apply(change);
    m_loadedBytes = bytes;
    m_loadedIdentity = identity;
}

bool THXSettingsStore::Persist()
{
    const std::string text = Serialize();
    if (!WriteFileAtomic(m_file.string(), text, TDurability::kFlushed, TFileAccess::kPrivate))
        return false;
    m_loadedBytes = text;
    struct stat status = {};
    if (::stat(m_file.c_str(), &status) == 0)
        m_loadedIdentity = IdentityOf<TFileIdentity>(status);
    return true;
}

bool THXSettingsStore::ChangeAndSave(const std::vector<TChange>& changes, bool* existed)
{
    const auto applyAll = [&]()
    {
        bool changed = false;
        for (const TChange& change : changes)
        {
            const bool result = Apply(change);
            changed = changed || result;
            if (existed)
                *existed = result;
        }
        return changed;
    };
    if (m_file.empty())
    {
        applyAll();
        return true;
    }
    const TFileLock lock(m_file);
    if (lock.Locked())
        ReloadIfDifferent(); // a change another process made since we read the file is kept
    else
        RefreshFromDiskIfChanged();
    const bool changed = applyAll();
    if (lock.Locked() && !changed && m_unsaved.empty())
        return true;
    if (lock.Locked() && Persist())
    {
        m_unsaved.clear();
        return true;
    }
    m_unsaved.insert(m_unsaved.end(), changes.begin(), changes.end());
    Report("Settings file " + m_file.string() + " could not be written");
    return false;
}

// ---------------------------------------------------------------------------
// Keys and values in memory

THXSettingsStore::TKey* THXSettingsStore::FindKey(std::string_view normalizedKey)
{
    const auto found = m_keyIndex.find(Lower(normalizedKey));
    return found == m_keyIndex.end() ? nullptr : &m_keys[found->second];
}

THXSettingsStore::TKey& THXSettingsStore::ObtainKey(std::string_view normalizedKey)
{
    if (TKey* key = FindKey(normalizedKey))
        return *key;
    // Create the missing parents first, outermost first, each spelled as it was
    // first stored.
    std::string path;
    std::size_t start = 0;
    for (;;)
    {
        std::size_t end = normalizedKey.find('\\', start);
        if (end == std::string_view::npos)
            end = normalizedKey.size();
        const std::string_view prefix = normalizedKey.substr(0, end);
        if (TKey* existing = FindKey(prefix))
        {
            path = existing->path;
        }
        else
        {
            if (!path.empty() || start > 0)
                path += '\\';
            path.append(normalizedKey.substr(start, end - start));
            m_keyIndex.emplace(Lower(prefix), m_keys.size());
            m_keys.push_back(TKey{path, {}, {}});
        }
        if (end == normalizedKey.size())
            return m_keys[m_keyIndex.at(Lower(normalizedKey))];
        start = end + 1;
    }
}

THXSettingsStore::TValue* THXSettingsStore::FindValue(std::string_view normalizedKey, std::string_view name)
{
    TKey* key = FindKey(normalizedKey);
    if (!key)
        return nullptr;
    const auto found = key->valueIndex.find(Lower(name));
    return found == key->valueIndex.end() ? nullptr : &key->values[found->second];
}

bool THXSettingsStore::Apply(const TChange& change)
{
    switch (change.kind)
    {
    case TChange::TKind::CreateKey:
    {
        const bool existed = FindKey(change.key) != nullptr;
        ObtainKey(change.key);
        return !existed;
    }
    case TChange::TKind::SetValue:
    {
        const std::size_t keyCount = m_keys.size();
        TKey& key = ObtainKey(change.key);
        const bool keyCreated = m_keys.size() != keyCount;
        const std::string lowerName = Lower(change.value.name);
        const auto found = key.valueIndex.find(lowerName);
        if (found == key.valueIndex.end())
        {
            key.valueIndex.emplace(lowerName, key.values.size());
            key.values.push_back(change.value);
            return true;
        }
        TValue& value = key.values[found->second];
        if (value.type == change.value.type && value.text == change.value.text && value.dword == change.value.dword)
            return keyCreated;
        // The name keeps the spelling it was first stored with.
        value.type = change.value.type;
        value.text = change.value.text;
        value.dword = change.value.dword;
        return true;
    }
    case TChange::TKind::DeleteValue:
    {
        TKey* key = FindKey(change.key);
        if (!key)
            return false;
        const auto found = key->valueIndex.find(Lower(change.value.name));
        if (found == key->valueIndex.end())
            return false;
        key->values.erase(key->values.begin() + static_cast<std::ptrdiff_t>(found->second));
        key->valueIndex.clear();
        for (std::size_t i = 0; i < key->values.size(); ++i)
            key->valueIndex.emplace(Lower(key->values[i].name), i);
        return true;
    }
    case TChange::TKind::DeleteKey:
    {
        // The root itself is never removed: an empty key path is far more likely
        // a caller's mistake than a wish to forget every setting.
        if (change.key.empty())
            return false;
        const std::size_t before = m_keys.size();
        std::erase_if(m_keys, [&](const TKey& key) { return IsSameOrBelow(key.path, change.key); });
        if (m_keys.size() == before)
            return false;
        m_keyIndex.clear();
        for (std::size_t i = 0; i < m_keys.size(); ++i)
            m_keyIndex.emplace(Lower(m_keys[i].path), i);
        return true;
    }
    }
    return false;
}

// ---------------------------------------------------------------------------
// Problems

void THXSettingsStore::Report(std::string problem)
{
    if (std::find(m_reportedProblems.begin(), m_reportedProblems.end(), problem) != m_reportedProblems.end())
        return;
    m_reportedProblems.push_back(problem);
    m_problems.push_back(std::move(problem));
}

bool THXSettingsStore::IsDamaged(const TParsed& parsed)
{
    return (!parsed.blank && !parsed.hasHeader) || !parsed.badLines.empty();
}

void THXSettingsStore::ReportDamage(const std::string& what, const TParsed& parsed, const std::string& keptAs)
{
    std::string details;
    if (!parsed.blank && !parsed.hasHeader)
        details = "the REGEDIT4 header is missing";
    if (!parsed.badLines.empty())
    {
        if (!details.empty())
            details += "; ";
        details += parsed.badLines.size() == 1 ? "line " : "lines ";
        const std::size_t listed = std::min(parsed.badLines.size(), kListedBadLines);
        for (std::size_t i = 0; i < listed; ++i)
        {
            if (i > 0)
                details += ", ";
            details += std::to_string(parsed.badLines[i]);
        }
        if (parsed.badLines.size() > listed)
            details += " and " + std::to_string(parsed.badLines.size() - listed) + " more";
        details += " could not be read";
    }
    if (!details.empty() && !keptAs.empty())
        details += "; it is kept as " + keptAs;
    if (!details.empty())
        Report(what + ": " + details);
}

void THXSettingsStore::ReportWrongType(std::string_view key, std::string_view name, const char* wanted)
{
    Report("Settings value \"" + std::string(name) + "\" of key \\" + NormalizeKey(key) + " is not " + wanted);
}

// ---------------------------------------------------------------------------
// The public operations

THXSettingsStore::THXSettingsStore() = default;

THXSettingsStore::THXSettingsStore(std::filesystem::path file)
    : m_file(std::move(file))
{
    const std::lock_guard guard(m_mutex);
    if (!m_file.empty())
        ReloadIfDifferent();
}

const THXSettingsStore::TValue* THXSettingsStore::ReadValue(std::string_view key, std::string_view name)
{
    RefreshFromDiskIfChanged();
    return FindValue(NormalizeKey(key), name);
}

std::string THXSettingsStore::ReadString(std::string_view key, std::string_view name, std::string_view defaultValue)
{
    const std::lock_guard guard(m_mutex);
    const TValue* value = ReadValue(key, name);
    if (!value)
        return std::string(defaultValue);
    if (value->type != TValueType::String)
    {
        ReportWrongType(key, name, "text");
        return std::string(defaultValue);
    }
    return value->text;
}

std::int32_t THXSettingsStore::ReadInteger(std::string_view key, std::string_view name, std::int32_t defaultValue)
{
    const std::lock_guard guard(m_mutex);
    const TValue* value = ReadValue(key, name);
    if (!value)
        return defaultValue;
    if (value->type != TValueType::Dword)
    {
        ReportWrongType(key, name, "an integer");
        return defaultValue;
    }
    return static_cast<std::int32_t>(value->dword);
}

bool THXSettingsStore::ReadBool(std::string_view key, std::string_view name, bool defaultValue)
{
    const std::lock_guard guard(m_mutex);
    const TValue* value = ReadValue(key, name);
    if (!value)
        return defaultValue;
    if (value->type != TValueType::Dword)
    {
        ReportWrongType(key, name, "a boolean");
        return defaultValue;
    }
    return value->dword != 0;
}

namespace
{

bool IsStorableName(std::string_view normalizedKey, std::string_view name)
{
    return IsStorableKey(normalizedKey) && FitsOnLine(normalizedKey) && FitsOnLine(name);
}

} // namespace

bool THXSettingsStore::WriteString(std::string_view key, std::string_view name, std::string_view value)
{
    const std::lock_guard guard(m_mutex);
    TChange change;
    change.kind = TChange::TKind::SetValue;
    change.key = NormalizeKey(key);
    if (!IsStorableName(change.key, name))
    {
        Report("Settings value \"" + std::string(name) + "\" of key \\" + change.key + " cannot be stored");
        return false;
    }
    change.value.name = name;
    change.value.text = value;
    return ChangeAndSave({change});
}

bool THXSettingsStore::WriteInteger(std::string_view key, std::string_view name, std::int32_t value)
{
    const std::lock_guard guard(m_mutex);
    TChange change;
    change.kind = TChange::TKind::SetValue;
    change.key = NormalizeKey(key);
    if (!IsStorableName(change.key, name))
    {
        Report("Settings value \"" + std::string(name) + "\" of key \\" + change.key + " cannot be stored");
        return false;
    }
    change.value.name = name;
    change.value.type = TValueType::Dword;
    change.value.dword = static_cast<std::uint32_t>(value);
    return ChangeAndSave({change});
}

bool THXSettingsStore::WriteBool(std::string_view key, std::string_view name, bool value)
{
    return WriteInteger(key, name, value ? 1 : 0);
}

bool THXSettingsStore::ValueExists(std::string_view key, std::string_view name)
{
    const std::lock_guard guard(m_mutex);
    return ReadValue(key, name) != nullptr;
}

bool THXSettingsStore::KeyExists(std::string_view key)
{
    const std::lock_guard guard(m_mutex);
    RefreshFromDiskIfChanged();
    const std::string normalized = NormalizeKey(key);
    return normalized.empty() || FindKey(normalized) != nullptr;
}

bool THXSettingsStore::DeleteValue(std::string_view key, std::string_view name)
{
    const std::lock_guard guard(m_mutex);
    TChange change;
    change.kind = TChange::TKind::DeleteValue;
    change.key = NormalizeKey(key);
    change.value.name = name;
    bool existed = false;
    ChangeAndSave({change}, &existed);
    return existed;
}

bool THXSettingsStore::DeleteKey(std::string_view key)
{
    const std::lock_guard guard(m_mutex);
    TChange change;
    change.kind = TChange::TKind::DeleteKey;
    change.key = NormalizeKey(key);
    bool existed = false;
    ChangeAndSave({change}, &existed);
    return existed;
}

std::vector<std::string> THXSettingsStore::ValueNames(std::string_view key)
{
    const std::lock_guard guard(m_mutex);
    RefreshFromDiskIfChanged();
    std::vector<std::string> names;
    if (const TKey* found = FindKey(NormalizeKey(key)))
    {
        for (const TValue& value : found->values)
            names.push_back(value.name);
    }
    return names;
}

std::vector<std::pair<std::string, std::string>> THXSettingsStore::StringValues(std::string_view key)
{
    const std::lock_guard guard(m_mutex);
    RefreshFromDiskIfChanged();
    const std::string normalized = NormalizeKey(key);
    std::vector<std::pair<std::string, std::string>> values;
    const TKey* found = FindKey(normalized);
    if (found == nullptr)
        return values;
    values.reserve(found->values.size());
    for (const TValue& listed : found->values)
    {
        // Looked up by name as a single read is, so a name given twice reads the same value.
        const TValue* value = FindValue(normalized, listed.name);
        std::string text;
        if (value != nullptr && value->type == TValueType::String)
            text = value->text;
        else if (value != nullptr)
            ReportWrongType(key, listed.name, "text");
        values.emplace_back(listed.name, std::move(text));
    }
    return values;
}

std::vector<std::string> THXSettingsStore::SubKeys(std::string_view key)
{
    const std::lock_guard guard(m_mutex);
    RefreshFromDiskIfChanged();
    const std::string parent = NormalizeKey(key);
    std::vector<std::string> names;
    for (const TKey& candidate : m_keys)
    {
        if (!candidate.path.empty() && EqualsNoCase(ParentOf(candidate.path), parent))
            names.push_back(candidate.path.substr(candidate.path.rfind('\\') + 1));
    }
    return names;
}

bool THXSettingsStore::Import(const std::filesystem::path& regFile, std::string* error)
{
    const TDiskFile disk = ReadDiskFile(regFile);
    if (disk.state != TDiskFile::TState::Read)
    {
        if (error)
            *error = "Unable to read " + regFile.string();
        return false;
    }
    const TParsed parsed = Parse(disk.bytes);
    if (!parsed.hasHeader)
    {
        if (error)
            *error = regFile.string() + " is not a registry file";
        return false;
    }
    const std::lock_guard guard(m_mutex);
    ReportDamage("Import file " + regFile.string(), parsed);
    if (!ChangeAndSave(parsed.changes))
    {
        if (error)
            *error = "Settings file " + m_file.string() + " could not be written";
        return false;
    }
    return true;
}

std::vector<std::string> THXSettingsStore::TakeProblems()
{
    const std::lock_guard guard(m_mutex);
    return std::exchange(m_problems, {});
}

std::string THXSettingsStore::ExportText()
{
    const std::lock_guard guard(m_mutex);
    RefreshFromDiskIfChanged();
    return Serialize();
}

} // namespace hx
