#include "core/HXIniFile.h"

#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "core/HXEncoding.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"

namespace hx
{

namespace
{

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// File form of a name or value: Windows-1252 with "&#N;" escapes. CR and LF are
// escaped too so a value can never end its line early and start a new key; when the
// text is a key, "=" (which would end the key) and a leading "[" or ";" (which would
// make the line a section or a comment) are escaped as well.
std::string EncodeField(std::string_view utf8, bool isKey)
{
    const std::string bytes = Utf8ToCp1252(utf8);
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
    {
        const char c = bytes[i];
        if (c == '\r')
            out += "&#13;";
        else if (c == '\n')
            out += "&#10;";
        else if (isKey && c == '=')
            out += "&#61;";
        else if (isKey && out.empty() && c == '[')
            out += "&#91;";
        else if (isKey && out.empty() && c == ';')
            out += "&#59;";
        else
            out.push_back(c);
    }
    return out;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

TIniFile::TIniFile(std::string path)
    : m_path(std::move(path))
{
    if (const auto bytes = ReadWholeFile(m_path))
        FromFileText(*bytes);
}

TIniFile::TIniFile(std::string path, std::string_view fileText)
    : m_path(std::move(path))
{
    FromFileText(fileText);
}

const TIniFile::TSection* TIniFile::FindSection(std::string_view section) const
{
    for (const TSection& candidate : m_sections)
    {
        if (SameTextNoCase(candidate.name, section))
            return &candidate;
    }
    return nullptr;
}

TIniFile::TSection& TIniFile::ObtainSection(std::string_view section)
{
    for (TSection& candidate : m_sections)
    {
        if (SameTextNoCase(candidate.name, section))
            return candidate;
    }
    m_sections.push_back(TSection{std::string(section), {}});
    return m_sections.back();
}

const TIniFile::TEntry* TIniFile::FindEntry(std::string_view section, std::string_view key) const
{
    const TSection* found = FindSection(section);
    if (found == nullptr)
        return nullptr;
    for (const TEntry& entry : found->entries)
    {
        if (SameTextNoCase(entry.key, key))
            return &entry;
    }
    return nullptr;
}

bool TIniFile::SectionExists(std::string_view section) const
{
    return FindSection(section) != nullptr;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const
{
    return FindEntry(section, key) != nullptr;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const
{
    const TEntry* entry = FindEntry(section, key);
    return entry != nullptr ? entry->value : std::string(defaultValue);
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const
{
    const TEntry* entry = FindEntry(section, key);
    return entry != nullptr ? StrToIntDef(entry->value, defaultValue) : defaultValue;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const
{
    const TEntry* entry = FindEntry(section, key);
    std::int32_t value = 0;
    if (entry == nullptr || !TryStrToInt(entry->value, value))
        return defaultValue;
    return value != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    TSection& target = ObtainSection(section);
    for (TEntry& entry : target.entries)
    {
        if (SameTextNoCase(entry.key, key))
        {
            entry.value = value;
            return;
        }
    }
    target.entries.push_back(TEntry{std::string(key), std::string(value)});
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::RewriteSection(std::string_view section, const std::vector<std::pair<std::string, std::string>>& entries)
{
    TSection& target = ObtainSection(section);
    std::vector<TEntry> previous = std::move(target.entries);
    target.entries.clear();
    for (const auto& [key, value] : entries)
        WriteString(section, key, value);
    for (TEntry& old : previous)
    {
        if (!ValueExists(section, old.key))
            target.entries.push_back(std::move(old));
    }
}

void TIniFile::EraseSection(std::string_view section)
{
    std::erase_if(m_sections, [section](const TSection& s) { return SameTextNoCase(s.name, section); });
}

void TIniFile::DeleteKey(std::string_view section, std::string_view key)
{
    for (TSection& s : m_sections)
    {
        if (SameTextNoCase(s.name, section))
            std::erase_if(s.entries, [key](const TEntry& e) { return SameTextNoCase(e.key, key); });
    }
}

std::vector<std::string> TIniFile::Sections() const
{
    std::vector<std::string> names;
    names.reserve(m_sections.size());
    for (const TSection& s : m_sections)
        names.push_back(s.name);
    return names;
}

std::vector<std::string> TIniFile::Keys(std::string_view section) const
{
    std::vector<std::string> keys;
    if (const TSection* found = FindSection(section))
    {
        keys.reserve(found->entries.size());
        for (const TEntry& entry : found->entries)
            keys.push_back(entry.key);
    }
    return keys;
}

std::string TIniFile::ToFileText() const
{
    std::string out;
    for (const TSection& s : m_sections)
    {
        out += '[';
        out += EncodeField(s.name, false);
        out += "]\r\n";
        for (const TEntry& entry : s.entries)
        {
            out += EncodeField(entry.key, true);
            out += '=';
            out += EncodeField(entry.value, false);
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

void TIniFile::FromFileText(std::string_view bytes)
{
    m_sections.clear();
    // A file that starts with a byte order mark was saved as UTF-8 by an editor; all
    // others are Windows-1252 as this program writes them.
    const bool isUtf8 = bytes.starts_with(kUtf8ByteOrderMark);
    if (isUtf8)
        bytes.remove_prefix(kUtf8ByteOrderMark.size());
    const auto decode = [isUtf8](std::string_view field)
    { return isUtf8 ? Utf8FileTextToUtf8(field) : Cp1252ToUtf8(field); };

    // Lookup tables for this parse only, so a file with very many keys is read in
    // linear time. Names are compared in lower case, as everywhere in the document.
    std::unordered_map<std::string, std::size_t> sectionIndex;
    std::vector<std::unordered_set<std::string>> sectionKeys;
    std::size_t current = 0;
    bool inSection = false;

    std::size_t lineStart = 0;
    while (lineStart < bytes.size())
    {
        std::size_t lineEnd = bytes.find('\n', lineStart);
        if (lineEnd == std::string_view::npos)
            lineEnd = bytes.size();
        std::string_view line = bytes.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        const std::string_view trimmed = TrimBlanks(line);
        if (trimmed.empty() || trimmed.front() == ';')
            continue;
        if (trimmed.front() == '[')
        {
            if (trimmed.size() < 2 || trimmed.back() != ']')
            {
                // Not a section header: its keys would land in the wrong section.
                inSection = false;
                continue;
            }
            const std::string name = decode(TrimBlanks(trimmed.substr(1, trimmed.size() - 2)));
            const auto [it, added] = sectionIndex.try_emplace(LowerCase(name), m_sections.size());
            if (added)
            {
                m_sections.push_back(TSection{name, {}});
                sectionKeys.emplace_back();
            }
            current = it->second;
            inSection = true;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos)
            continue;
        std::string key = decode(TrimBlanks(line.substr(0, equals)));
        // The first of repeated keys wins, as it does for lookups.
        if (!sectionKeys[current].insert(LowerCase(key)).second)
            continue;
        m_sections[current].entries.push_back(TEntry{std::move(key), decode(line.substr(equals + 1))});
    }
}

void TIniFile::UpdateFile() const
{
    const std::string folder = ExtractFilePath(m_path);
    if (!folder.empty())
        ForceDirectories(folder);
    if (!WriteFileAtomic(m_path, ToFileText(), TDurability::kFlushed,
                         m_private ? TFileAccess::kPrivate : TFileAccess::kShared))
        throw EFileError("Unable to write file: " + m_path);
}

} // namespace hx
