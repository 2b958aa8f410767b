#pragma once

// The settings store: a hierarchy of keys holding named, typed values (text, and
// 32-bit integers, booleans being the integers 0 and 1), kept in one text file in
// REGEDIT4 syntax:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Tavrolin\Harbex\Settings]
//   "Skin"="Default"
//   "Connections"=dword:0000000a
//
// Key paths are given as in the program ("\Software\Tavrolin\Harbex\Settings",
// the leading backslash optional) and live under HKEY_CURRENT_USER. Keys and
// value names are matched without letter case, as the desktop registry does.
// Values keep the order in which they were first written.
//
// Every change is saved at once: under an exclusive lock file the store re-reads
// the file when another process has changed it since it was last read, applies
// the one change, writes a temporary file and renames it over the old one. So a
// crash never leaves a half-written file and a second process's changes are not
// silently lost. A damaged or truncated file never stops the program: the lines
// that can be read are kept and the problem is reported once through TakeProblems().

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace hx
{

class THXSettingsStore
{
public:
    // A store that is only in memory (tests, and a program whose settings file
    // cannot be written): every operation works, nothing reaches a disk.
    THXSettingsStore();
    // A store kept in the given file; the file is read now when it exists.
    explicit THXSettingsStore(std::filesystem::path file);

    THXSettingsStore(const THXSettingsStore&) = delete;
    THXSettingsStore& operator=(const THXSettingsStore&) = delete;

    const std::filesystem::path& FileName() const { return m_file; }

    // Reading a value that is absent gives the default. A value of another type
    // is not converted: the default is returned and the problem recorded.
    std::string ReadString(std::string_view key, std::string_view name, std::string_view defaultValue);
    std::int32_t ReadInteger(std::string_view key, std::string_view name, std::int32_t defaultValue);
    bool ReadBool(std::string_view key, std::string_view name, bool defaultValue);

    // Writing creates the key (and its parents) when needed. False when the file
    // could not be written (the change is kept in memory and the problem recorded).
    bool WriteString(std::string_view key, std::string_view name, std::string_view value);
    bool WriteInteger(std::string_view key, std::string_view name, std::int32_t value);
    bool WriteBool(std::string_view key, std::string_view name, bool value);

    bool ValueExists(std::string_view key, std::string_view name);
    bool KeyExists(std::string_view key);

    // Removes one value; true when it existed.
    bool DeleteValue(std::string_view key, std::string_view name);
    // Removes a key with its values and every sub-key; true when it existed.
    bool DeleteKey(std::string_view key);

    // Names of the key's values in stored order.
    std::vector<std::string> ValueNames(std::string_view key);
    // The key's values in stored order, each read as ReadString reads it (a value of
    // another type gives "" and is recorded as a problem), from one look at the
    // file: a caller that needs them all pays for one check of the disk, not one a value.
    std::vector<std::pair<std::string, std::string>> StringValues(std::string_view key);
    // Names of the key's direct sub-keys (last path part), in stored order.
    std::vector<std::string> SubKeys(std::string_view key);

    // Merges a file in the same syntax (the "REGEDIT4" or "Windows Registry Editor
    // Version 5.00" header, "[-KEY]" removing a key, "name"=- removing a value).
    // Only keys under HKEY_CURRENT_USER are taken. Returns false with a reason when
    // the file cannot be read or is not a registry file; readable entries of a
    // damaged file are still merged.
    bool Import(const std::filesystem::path& regFile, std::string* error = nullptr);

    // The problems met so far (damaged file, wrong value type, failed write), each
    // reported once; TakeProblems() returns them and forgets them.
    std::vector<std::string> TakeProblems();
    // Adds a problem met with another of the program's own files (the active-task
    // list), so the user hears of it where the settings' problems are shown.
    void ReportProblem(std::string problem) { Report(std::move(problem)); }

    // The whole store in REGEDIT4 text (what the file holds).
    std::string ExportText();

private:
    enum class TValueType
    {
        String,
        Dword,
        Other // hex:, hex(2): and other types are kept as raw text and written back unchanged
    };
    struct TValue
    {
        std::string name;
        TValueType type = TValueType::String;
        std::string text;        // String: the value; Other: the raw text after "="
        std::uint32_t dword = 0; // Dword
    };
    struct TKey
    {
        std::string path; // without the HKEY_CURRENT_USER\ prefix, no leading backslash
        std::vector<TValue> values;
        std::unordered_map<std::string, std::size_t> valueIndex; // lower-cased name -> position in values
    };
    // One edit of the store. Loading a file, importing one and every write are all
    // sequences of these, so a change that could not be saved can be applied again
    // on top of a file another process has changed meanwhile.
    struct TChange
    {
        enum class TKind
        {
            CreateKey,
            SetValue,
            DeleteValue,
            DeleteKey
        };
        TKind kind = TKind::CreateKey;
        std::string key;
        TValue value; // SetValue: the value; DeleteValue: only the name
    };
    // What a file holds, read leniently: its header, its edits in file order and
    // the numbers of the lines that could not be read.
    struct TParsed
    {
        bool hasHeader = false;
        bool blank = true; // nothing but blank lines
        std::vector<TChange> changes;
        std::vector<int> badLines;
    };
    // Which file was read last: a different identity means someone replaced it.
    struct TFileIdentity
    {
        bool present = false;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        std::int64_t mtimeSeconds = 0;
        std::int64_t mtimeNanoseconds = 0;
        bool operator==(const TFileIdentity&) const = default;
    };

    // Caller holds m_mutex.
    void RefreshFromDiskIfChanged();
    void ReloadIfDifferent();
    void Reload(const std::string& bytes, const TFileIdentity& identity);
    static TParsed Parse(std::string_view bytes);
    std::string Serialize() const;
    bool Persist(); // writes m_keys; caller holds the file lock
    bool Apply(const TChange& change);
    bool ChangeAndSave(const std::vector<TChange>& changes, bool* existed = nullptr);
    TKey* FindKey(std::string_view normalizedKey);
    TKey& ObtainKey(std::string_view normalizedKey);
    TValue* FindValue(std::string_view normalizedKey, std::string_view name);
    const TValue* ReadValue(std::string_view key, std::string_view name);
    void ReportWrongType(std::string_view key, std::string_view name, const char* wanted);
    static bool IsDamaged(const TParsed& parsed);
    // keptAs: where a copy of the damaged file was kept ("" when none was).
    void ReportDamage(const std::string& what, const TParsed& parsed, const std::string& keptAs = {});
    void Report(std::string problem);

    std::mutex m_mutex;
    std::filesystem::path m_file;
    std::vector<TKey> m_keys;
    std::unordered_map<std::string, std::size_t> m_keyIndex; // lower-cased path -> position in m_keys
    std::vector<std::string> m_problems;
    std::vector<std::string> m_reportedProblems;
    // The bytes of the file as last read or written, and the file's identity then.
    std::string m_loadedBytes;
    TFileIdentity m_loadedIdentity;
    // Changes kept in memory because the file could not be written; applied again
    // whenever the file is re-read, dropped once a save succeeds.
    std::vector<TChange> m_unsaved;
};

} // namespace hx
