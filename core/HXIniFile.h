#pragma once

// INI-style files (task files, profile files): sections in square brackets and
// key=value lines. In memory the text is UTF-8; on disk the file is Windows-1252
// with "&#N;" for other characters (see HXEncoding.h). Keys are written in the
// order they were first set; sections and keys are looked up without letter case.
// Saving replaces the file atomically.
//
// Reading accepts LF or CR LF line ends, a UTF-8 byte order mark (the rest is then
// read as UTF-8), blank lines and ";" comment lines. Section names and keys are
// trimmed of blanks; a value is the text after the first "=" kept verbatim (leading
// blanks included), less trailing CRs. Lines before the first section, and lines
// after a malformed "[" line, are skipped. A repeated section is merged into the
// first; of repeated keys the first wins. Values are written with CR and LF as
// "&#13;" and "&#10;", so every value reads back unchanged and can never start a
// line of its own; keys have "=" escaped as well.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hx
{

class TIniFile
{
public:
    // Reads the file when it exists; a missing or unreadable file gives an empty
    // document. Malformed lines are skipped, never fatal.
    explicit TIniFile(std::string path);
    // A document for the path made from file bytes already read (nothing is read).
    TIniFile(std::string path, std::string_view fileText);

    const std::string& FileName() const { return m_path; }

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;

    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    // Decimal integer; the default when the key is missing or not a number.
    std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const;
    // Any non-zero number reads as true; the default when missing or not a number.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // Writes the section's keys in the given order (a later repeat of a key gives its
    // value, the first its place); keys the section held that are not in the list
    // follow, in their old order, so nothing unknown to the caller is lost. A new
    // section is added at the end, an existing one keeps its place.
    void RewriteSection(std::string_view section, const std::vector<std::pair<std::string, std::string>>& entries);

    void EraseSection(std::string_view section);
    void DeleteKey(std::string_view section, std::string_view key);

    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(std::string_view section) const;

    // The document as file bytes (Windows-1252, CR LF line ends).
    std::string ToFileText() const;
    // Parses file bytes, replacing the document.
    void FromFileText(std::string_view bytes);

    // Writes the document to FileName() atomically, creating its folder. Throws
    // EFileError ("Unable to create directory") when the folder cannot be made and
    // EFileError with "Unable to write file: <path>" when the file cannot be written.
    void UpdateFile() const;

    // Files holding passwords (task files) are written for their owner alone.
    void SetPrivate(bool value) { m_private = value; }

private:
    struct TEntry
    {
        std::string key;
        std::string value;
    };
    struct TSection
    {
        std::string name;
        std::vector<TEntry> entries;
    };

    const TSection* FindSection(std::string_view section) const;
    TSection& ObtainSection(std::string_view section);
    const TEntry* FindEntry(std::string_view section, std::string_view key) const;

    std::string m_path;
    std::vector<TSection> m_sections;
    bool m_private = false;
};

} // namespace hx
