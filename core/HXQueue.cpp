// The URL queue of a task: its line pairs, item records, the known-URL set, the
// item choice scans, the Zip-pending list and the queue file.

#include "core/HXQueue.h"

#include <algorithm>
#include <array>
#include <bit>
#include <memory>
#include <stdexcept>

#include "core/HXEncoding.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"

namespace hx
{

namespace
{

// Eleven fields, then the ETag: written only for an item that has one, so a record
// without it is what it always was, and a reader that knows eleven fields reads
// the first eleven of a longer record and leaves the rest.
constexpr int kRecordFields = 12;
constexpr int kETagField = 11;
constexpr std::string_view kSeparator = "\xB6";

// ASCII text without a literal "&#": the same in the record as in UTF-8.
bool IsPlainField(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }) &&
           text.find("&#") == std::string_view::npos;
}

// A field as it stands in a record: Windows-1252 with "&#N;" escapes, and the
// separator byte and line breaks escaped too, so the text can never split a
// record or a line pair.
std::string EncodeField(std::string_view text)
{
    // Most fields (URLs, numbers, plain titles) are ASCII without line breaks: they
    // stand in the record as they are.
    if (IsPlainField(text) && text.find_first_of("\r\n") == std::string_view::npos)
        return std::string(text);
    const std::string encoded = Utf8ToCp1252(text);
    std::string field;
    field.reserve(encoded.size());
    for (const char c : encoded)
    {
        if (c == kFieldSeparator)
            field += "&#182;";
        else if (c == '\r')
            field += "&#13;";
        else if (c == '\n')
            field += "&#10;";
        else
            field.push_back(c);
    }
    return field;
}

// Field 1 (the status text) loses its separators and line breaks instead, and
// the blanks around it. The separator is a code-page byte: the pilcrow character
// goes before the conversion, a stray 0xB6 byte (text that is not UTF-8) after
// it; a UTF-8 "ö" (C3 B6) is a character like any other.
std::string EncodeStatusField(std::string_view text)
{
    std::string kept(text);
    for (std::size_t at = kept.find("\xC2\xB6"); at != std::string::npos; at = kept.find("\xC2\xB6", at))
        kept.erase(at, 2);
    std::string encoded = Utf8ToCp1252(kept);
    std::erase(encoded, kFieldSeparator);
    return SanitizeField(encoded);
}

std::string DecodeField(std::string_view field)
{
    if (IsPlainField(field))
        return std::string(field);
    return Cp1252ToUtf8(field);
}

// The fields of a record line; missing fields are empty.
std::array<std::string_view, kRecordFields> SplitRecord(std::string_view record)
{
    std::array<std::string_view, kRecordFields> fields{};
    std::size_t start = 0;
    for (int field = 0; field < kRecordFields && start <= record.size(); ++field)
    {
        const std::size_t end = record.find(kFieldSeparator, start);
        if (end == std::string_view::npos)
        {
            fields[static_cast<std::size_t>(field)] = record.substr(start);
            break;
        }
        fields[static_cast<std::size_t>(field)] = record.substr(start, end - start);
        start = end + 1;
    }
    return fields;
}

std::int64_t ToInt64(std::string_view text, std::int64_t defaultValue)
{
    std::int64_t value = 0;
    return TryStrToInt64(text, value) ? value : defaultValue;
}

int ToInt(std::string_view text, int defaultValue)
{
    return static_cast<int>(StrToIntDef(text, defaultValue));
}

// A field of a damaged file as a message may quote it: control characters (which
// a terminal would obey) are written as \xNN, and a long field is cut.
std::string QuotableField(std::string_view field)
{
    constexpr std::size_t kMaxQuotedBytes = 80;
    const std::string text = DecodeField(field);
    std::string quoted;
    for (std::size_t i = 0; i < text.size() && quoted.size() < kMaxQuotedBytes; ++i)
    {
        const auto byte = static_cast<unsigned char>(text[i]);
        // C1 controls are two bytes in UTF-8: C2 80 to C2 9F.
        const bool c1 = byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (byte < 0x20 || byte == 0x7F || c1)
        {
            const unsigned code = c1 ? static_cast<unsigned char>(text[++i]) : byte;
            static constexpr char kHex[] = "0123456789ABCDEF";
            quoted += "\\x";
            quoted += kHex[code >> 4];
            quoted += kHex[code & 0x0F];
            continue;
        }
        // Whole characters only: copy the continuation bytes with their lead byte.
        std::size_t length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
        length = std::min(length, text.size() - i);
        quoted.append(text, i, length);
        i += length - 1;
    }
    if (quoted.size() >= kMaxQuotedBytes)
        quoted += "...";
    return quoted;
}

// The state of a record as LoadQueue needs it: a field that is not a number ends
// the load, with a message naming the file and the record (counted from 1).
int StrictState(std::string_view text, const std::string& queueFile, std::size_t record)
{
    std::int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError(queueFile + ": record " + std::to_string(record) + ": '" + QuotableField(text) +
                            "' is not a valid integer value");
    return value;
}

std::size_t FoldedHash(std::string_view text)
{
    std::uint64_t hash = 1469598103934665603ULL;
    for (const char c : text)
    {
        const unsigned char byte = static_cast<unsigned char>(c);
        hash ^= (byte >= 'A' && byte <= 'Z') ? byte + 32 : byte;
        hash *= 1099511628211ULL;
    }
    return static_cast<std::size_t>(hash);
}

// A known-URL slot: the pair number + 1 below, the hash tag above.
constexpr std::uint32_t kKnownPairMask = (std::uint32_t{1} << 27) - 1;

// Five bits of a URL's hash, from those the slot number does not use, in the place
// they take in a known-URL slot.
std::uint32_t HashTag(std::size_t hash)
{
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(hash) >> 59) << 27;
}

bool MatchesPage(const THXQItem& item)
{
    return item.IsPage() &&
           (((item.Mode == kModeDownload || item.Mode == kModeMap) && item.State == kStateNone) ||
            (item.Mode == kModeUpdate && (item.State == kStateNone || item.State == kStateDownloading)));
}

bool MatchesResource(const THXQItem& item)
{
    return !item.IsPage() &&
           ((item.Mode == kModeDownload && item.State == kStateNone) ||
            (item.Mode == kModeUpdate && (item.State == kStateNone || item.State == kStateDownloading)));
}

bool MatchesSavedPage(const THXQItem& item)
{
    return item.IsPage() && item.State == kStateSaved;
}

// The record line of an item; `current`, when given, is the record it replaces,
// whose fields stand for the texts the item has released.
std::string BuildRecord(const THXQItem& item, const std::string_view* current)
{
    std::array<std::string_view, kRecordFields> old{};
    if (current != nullptr)
        old = SplitRecord(*current);
    // An empty text in the object keeps what the record holds: the object's copy
    // may have been released after the last write.
    auto text = [&](int field, const THXItemText& value, bool statusField = false) -> std::string
    {
        if (value.empty())
        {
            if (statusField && item.StatusText.IsCleared())
                return {};
            return std::string(old[static_cast<std::size_t>(field)]);
        }
        return statusField ? EncodeStatusField(value) : EncodeField(value);
    };
    std::string record;
    record.reserve(64 + item.Title.size() + item.Referrer.size());
    auto add = [&record](std::string_view field)
    {
        record += field;
        record += kSeparator;
    };
    add(std::to_string(item.State));
    add(text(1, item.StatusText, true));
    add(text(2, item.Group));
    // Field 3 is empty but for a fetched page that waits to be parsed and came from
    // another folder through redirects: the folder its links are resolved against
    // survives a stop that way.
    add(item.State == kStateSaved && item.IsPage() ? EncodeField(item.BaseURL) : std::string());
    add(std::to_string(item.Level));
    add(text(5, item.Referrer));
    add(text(6, item.LastModified));
    add(std::to_string(item.Mode));
    add(text(8, item.Title));
    add(std::to_string(item.Size));
    add(text(10, item.FrameFlag));
    if (std::string etag = text(kETagField, item.ETag); !etag.empty())
        add(etag);
    return record;
}

} // namespace

void THXPairSet::Insert(std::uint32_t pair)
{
    const std::size_t word = pair / 64;
    if (word >= m_words.size())
    {
        m_words.resize(std::max(word + 1, 2 * m_words.size()), 0);
        m_summary.resize((m_words.size() + 63) / 64, 0);
    }
    m_words[word] |= std::uint64_t{1} << (pair % 64);
    m_summary[word / 64] |= std::uint64_t{1} << (word % 64);
    m_firstWord = std::min(m_firstWord, word);
}

void THXPairSet::Erase(std::uint32_t pair)
{
    const std::size_t word = pair / 64;
    if (word >= m_words.size())
        return;
    m_words[word] &= ~(std::uint64_t{1} << (pair % 64));
    if (m_words[word] == 0)
        m_summary[word / 64] &= ~(std::uint64_t{1} << (word % 64));
}

std::optional<std::uint32_t> THXPairSet::Smallest()
{
    // The first non-empty word at or after m_firstWord, found through the summary.
    std::size_t group = m_firstWord / 64;
    if (group >= m_summary.size())
        return std::nullopt;
    std::uint64_t bits = m_summary[group] & (~std::uint64_t{0} << (m_firstWord % 64));
    while (bits == 0)
    {
        if (++group == m_summary.size())
        {
            m_firstWord = m_words.size();
            return std::nullopt;
        }
        bits = m_summary[group];
    }
    m_firstWord = 64 * group + static_cast<std::size_t>(std::countr_zero(bits));
    return static_cast<std::uint32_t>(64 * m_firstWord +
                                      static_cast<std::size_t>(std::countr_zero(m_words[m_firstWord])));
}

std::optional<std::uint32_t> THXPairSet::SmallestFrom(std::uint32_t first) const
{
    std::size_t word = first / 64;
    if (word >= m_words.size())
        return std::nullopt;
    // The rest of the first word, then the next non-empty word through the summary.
    if (const std::uint64_t bits = m_words[word] & (~std::uint64_t{0} << (first % 64)); bits != 0)
        return static_cast<std::uint32_t>(64 * word + static_cast<std::size_t>(std::countr_zero(bits)));
    ++word;
    std::size_t group = word / 64;
    if (group >= m_summary.size())
        return std::nullopt;
    std::uint64_t summary = word % 64 == 0 ? m_summary[group] : m_summary[group] & (~std::uint64_t{0} << (word % 64));
    while (summary == 0)
    {
        if (++group == m_summary.size())
            return std::nullopt;
        summary = m_summary[group];
    }
    word = 64 * group + static_cast<std::size_t>(std::countr_zero(summary));
    return static_cast<std::uint32_t>(64 * word + static_cast<std::size_t>(std::countr_zero(m_words[word])));
}

void THXPairSet::clear()
{
    std::vector<std::uint64_t>().swap(m_words);
    std::vector<std::uint64_t>().swap(m_summary);
    m_firstWord = 0;
}

bool THXQItem::IsPage() const
{
    return Group == kPageGroup;
}

void THXQueue::ReleaseRecordStringsLocked(THXQItem& item)
{
    item.URL.clear();
    item.StatusText.clear();
    item.Referrer.clear();
    item.LastModified.clear();
    item.Title.clear();
    item.ETag.clear();
}

THXQueue::THXQueue(THXTask* task, TStateChange onStateChange)
    : m_task(task)
    , m_onStateChange(std::move(onStateChange))
{
}

THXQueue::~THXQueue() = default;

THXQItem* THXQueue::ItemLocked(std::size_t pair) const
{
    if (pair >= m_items.size() || !m_built[pair])
        return nullptr;
    return &m_items[pair];
}

bool THXQueue::OwnsItemLocked(const THXQItem& item) const
{
    return item.Index >= 0 && ItemLocked(static_cast<std::size_t>(item.Index) / 2) == &item;
}

void THXQueue::ShareTextLocked(THXItemText& text)
{
    if (text.empty() || text.IsBorrowed())
        return;
    const auto [shared, added] = m_sharedTexts.insert(text.str());
    text.Borrow(&*shared);
}

void THXQueue::ShareTextsLocked(THXQItem& item)
{
    if (!OwnsItemLocked(item))
        return;
    ShareTextLocked(item.Group);
    ShareTextLocked(item.BaseURL);
    ShareTextLocked(item.FrameFlag);
}

std::optional<std::uint32_t> THXQueue::FindKnownLocked(std::string_view encodedURL) const
{
    if (m_known.empty())
        return std::nullopt;
    const std::size_t mask = m_known.size() - 1;
    const std::size_t hash = FoldedHash(encodedURL);
    const std::uint32_t tag = HashTag(hash);
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask)
    {
        const std::uint32_t entry = m_known[slot];
        if (entry == 0)
            return std::nullopt;
        if ((entry & ~kKnownPairMask) == tag &&
            SameTextNoCase(encodedURL, m_lines[2 * static_cast<std::size_t>((entry & kKnownPairMask) - 1)]))
            return (entry & kKnownPairMask) - 1;
    }
}

void THXQueue::PrefetchKnownLocked(std::size_t hash) const
{
    // The slot a URL hashes to is far away in memory in a large queue: asked for
    // early, it is in the cache by the time the URL goes in.
    if (!m_known.empty())
        __builtin_prefetch(&m_known[hash & (m_known.size() - 1)], 1);
}

void THXQueue::AddKnownLocked(std::uint32_t pair)
{
    AddKnownLocked(pair, FoldedHash(m_lines[2 * static_cast<std::size_t>(pair)]));
}

void THXQueue::AddKnownLocked(std::uint32_t pair, std::size_t hash)
{
    if (pair + 1 > kKnownPairMask)
        throw std::length_error("The queue holds too many URLs");
    // At most three quarters full, so a probe ends soon at a free slot.
    if (4 * (m_knownCount + 1) > 3 * m_known.size())
        GrowKnownLocked();
    const std::size_t mask = m_known.size() - 1;
    const std::uint32_t tag = HashTag(hash);
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask)
    {
        std::uint32_t& entry = m_known[slot];
        if (entry == 0)
        {
            entry = tag | (pair + 1);
            ++m_knownCount;
            return;
        }
        // A URL line that is there already (a queue file may repeat one) keeps its
        // first pair, as a set would.
        if ((entry & ~kKnownPairMask) == tag &&
            SameTextNoCase(m_lines[2 * static_cast<std::size_t>(pair)],
                           m_lines[2 * static_cast<std::size_t>((entry & kKnownPairMask) - 1)]))
            return;
    }
}

void THXQueue::GrowKnownLocked(std::size_t atLeast)
{
    std::size_t size = std::max<std::size_t>(m_known.size() * 2, 1024);
    while (4 * atLeast > 3 * size)
        size *= 2;
    // The URLs are hashed again in queue order, which reads the lines front to back
    // rather than jumping about a large queue in the old table's order.
    std::vector<bool> present(m_lines.size() / 2, false);
    for (const std::uint32_t entry : m_known)
    {
        if (entry != 0)
            present[(entry & kKnownPairMask) - 1] = true;
    }
    std::vector<std::uint32_t>(size, 0).swap(m_known);
    const std::size_t mask = m_known.size() - 1;
    // A batch of URLs is hashed and its slots asked for before any goes in, so the
    // slots' cache misses overlap instead of following one another.
    constexpr std::size_t kBatch = 32;
    std::array<std::uint32_t, kBatch> pairs{};
    std::array<std::size_t, kBatch> hashes{};
    std::size_t pair = 0;
    while (pair < present.size())
    {
        std::size_t count = 0;
        for (; pair < present.size() && count < kBatch; ++pair)
        {
            if (!present[pair])
                continue;
            pairs[count] = static_cast<std::uint32_t>(pair);
            hashes[count] = FoldedHash(m_lines[2 * pair]);
            __builtin_prefetch(&m_known[hashes[count] & mask], 1);
            ++count;
        }
        for (std::size_t i = 0; i < count; ++i)
        {
            std::size_t slot = hashes[i] & mask;
            while (m_known[slot] != 0)
                slot = (slot + 1) & mask;
            m_known[slot] = HashTag(hashes[i]) | (pairs[i] + 1);
        }
    }
}

void THXQueue::AppendPairLocked(THXQItem&& item, std::string_view encodedURL, std::size_t urlHash,
                                const std::string& record)
{
    const std::size_t pair = m_lines.size() / 2;
    m_lines.push_back(encodedURL);
    m_lines.push_back(record);
    // Pairs appended without an item (WriteRecord of an item the queue does not own)
    // leave unbuilt places before this one.
    while (m_items.size() < pair)
        m_items.emplace_back(m_task);
    m_built.resize(pair + 1, false);
    THXQItem& added = m_items.emplace_back(std::move(item));
    m_built[pair] = true;
    added.Task = m_task;
    added.Index = static_cast<int>(2 * pair);
    if (added.StatusText.IsCleared())
        added.StatusText.clear();
    ShareTextsLocked(added);
    AddKnownLocked(static_cast<std::uint32_t>(pair), urlHash);
    NoteItemChangedLocked(added);
}
THXQItem& THXQueue::Add(THXQItem item)
{
    const std::string encodedURL = EncodeField(item.URL);
    const std::size_t urlHash = FoldedHash(encodedURL);
    std::lock_guard lock(m_lock);
    PrefetchKnownLocked(urlHash);
    const std::string record = BuildRecord(item, nullptr);
    AppendPairLocked(std::move(item), encodedURL, urlHash, record);
    return m_items.back();
}

void THXQueue::WriteRecord(THXQItem& item)
{
    std::lock_guard lock(m_lock);
    const bool ownsSlot =
        item.Index >= 0 && static_cast<std::size_t>(item.Index) + 1 < m_lines.size() && item.Index % 2 == 0;
    if (ownsSlot)
    {
        const std::size_t line = static_cast<std::size_t>(item.Index) + 1;
        const std::string_view current = m_lines[line];
        m_lines.Replace(line, BuildRecord(item, &current));
    }
    else
    {
        // An item that is not in the queue yet gets its two lines appended; the
        // object stays its owner's (the pair carries none until the queue is loaded).
        const std::size_t pair = m_lines.size() / 2;
        m_lines.push_back(EncodeField(item.URL));
        m_lines.push_back(BuildRecord(item, nullptr));
        AddKnownLocked(static_cast<std::uint32_t>(pair));
        item.Index = static_cast<int>(2 * pair);
    }
    if (item.StatusText.IsCleared())
        item.StatusText.clear();
    ShareTextsLocked(item);
    NoteItemChangedLocked(item);
}

void THXQueue::ReloadItemLocked(THXQItem& item)
{
    if (item.Index < 0 || static_cast<std::size_t>(item.Index) + 1 >= m_lines.size())
        return;
    const std::size_t line = static_cast<std::size_t>(item.Index);
    item.URL = DecodeField(m_lines[line]);
    const auto fields = SplitRecord(m_lines[line + 1]);
    item.State = ToInt(fields[0], item.State);
    item.StatusText = DecodeField(fields[1]);
    item.Group = DecodeField(fields[2]);
    item.Level = ToInt(fields[4], item.Level);
    item.Referrer = DecodeField(fields[5]);
    item.LastModified = DecodeField(fields[6]);
    item.Mode = Trim(fields[7]).empty() ? kModeDownload : ToInt(fields[7], kModeDownload);
    item.Title = DecodeField(fields[8]);
    item.Size = Trim(fields[9]).empty() ? 0 : ToInt64(fields[9], 0);
    item.FrameFlag = DecodeField(fields[10]);
    item.ETag = DecodeField(fields[static_cast<std::size_t>(kETagField)]);
    if (item.State == kStateSaved && !fields[3].empty())
        item.BaseURL = DecodeField(fields[3]);
    ShareTextsLocked(item);
    NoteItemChangedLocked(item);
}

void THXQueue::ReloadItem(THXQItem& item)
{
    std::lock_guard lock(m_lock);
    ReloadItemLocked(item);
}

void THXQueue::SetStateLocked(THXQItem& item, int newState)
{
    if (m_onStateChange)
        m_onStateChange(item, newState);
    item.State = newState;
    NoteItemChangedLocked(item);
}

void THXQueue::SetState(THXQItem& item, int newState)
{
    std::lock_guard lock(m_lock);
    SetStateLocked(item, newState);
}

void THXQueue::ReleaseItemStrings(THXQItem& item)
{
    std::lock_guard lock(m_lock);
    ReleaseRecordStringsLocked(item);
}

void THXQueue::NoteItemChangedLocked(const THXQItem& item)
{
    if (item.Index < 0)
        return;
    const auto pair = static_cast<std::uint32_t>(item.Index / 2);
    if (MatchesPage(item))
        m_candidates[static_cast<std::size_t>(TScan::Page)].Insert(pair);
    if (MatchesResource(item))
        m_candidates[static_cast<std::size_t>(TScan::Resource)].Insert(pair);
    if (MatchesSavedPage(item))
        m_candidates[static_cast<std::size_t>(TScan::SavedPage)].Insert(pair);
}

THXQItem* THXQueue::ScanLocked(TScan scan)
{
    bool (*matches)(const THXQItem&) = scan == TScan::Page       ? MatchesPage
                                       : scan == TScan::Resource ? MatchesResource
                                                                 : MatchesSavedPage;
    THXPairSet& candidates = m_candidates[static_cast<std::size_t>(scan)];
    while (const std::optional<std::uint32_t> pair = candidates.Smallest())
    {
        THXQItem* item = ItemLocked(*pair);
        if (item != nullptr && matches(*item))
            return item;
        candidates.Erase(*pair);
    }
    return nullptr;
}

THXQItem* THXQueue::ScanAfterLocked(TScan scan, const THXQItem& after)
{
    if (after.Index < 0)
        return nullptr;
    bool (*matches)(const THXQItem&) = scan == TScan::Page       ? MatchesPage
                                       : scan == TScan::Resource ? MatchesResource
                                                                 : MatchesSavedPage;
    THXPairSet& candidates = m_candidates[static_cast<std::size_t>(scan)];
    auto first = static_cast<std::uint32_t>(after.Index / 2 + 1);
    while (const std::optional<std::uint32_t> pair = candidates.SmallestFrom(first))
    {
        THXQItem* item = ItemLocked(*pair);
        if (item != nullptr && matches(*item))
            return item;
        candidates.Erase(*pair);
        first = *pair + 1;
    }
    return nullptr;
}

THXQItem* THXQueue::NextPageAfter(const THXQItem& item)
{
    std::lock_guard lock(m_lock);
    return ScanAfterLocked(TScan::Page, item);
}

THXQItem* THXQueue::NextResourceAfter(const THXQItem& item)
{
    std::lock_guard lock(m_lock);
    return ScanAfterLocked(TScan::Resource, item);
}

THXQItem* THXQueue::NextPage()
{
    std::lock_guard lock(m_lock);
    return ScanLocked(TScan::Page);
}

THXQItem* THXQueue::NextResource()
{
    std::lock_guard lock(m_lock);
    return ScanLocked(TScan::Resource);
}

THXQItem* THXQueue::NextSavedPage()
{
    std::lock_guard lock(m_lock);
    return ScanLocked(TScan::SavedPage);
}

void THXQueue::Clear()
{
    std::lock_guard lock(m_lock);
    // Swapped with empty ones so a cleared queue gives its memory back.
    std::vector<std::uint32_t>().swap(m_known);
    m_knownCount = 0;
    m_items.clear();
    std::vector<bool>().swap(m_built);
    std::unordered_set<std::string>().swap(m_sharedTexts);
    m_lines.clear();
    m_zipPending.clear();
    m_zipPendingHead = 0;
    for (auto& candidates : m_candidates)
        candidates.clear();
}

void THXQueue::LoadLines(const std::string& path, THXSettingsStore& store)
{
    if (LineCount() != 0)
        return;
    WaitForWrites();
    const std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes || bytes->empty())
        return;

    THXQueueLines lines;
    std::size_t start = 0;
    while (start < bytes->size())
    {
        std::size_t end = bytes->find('\n', start);
        const std::size_t next = end == std::string::npos ? bytes->size() : end + 1;
        if (end == std::string::npos)
            end = bytes->size();
        std::size_t stop = end;
        if (stop > start && (*bytes)[stop - 1] == '\r')
            --stop;
        lines.push_back(std::string_view(*bytes).substr(start, stop - start));
        start = next;
    }
    // A file cut off after a URL line gets an empty record for it, so the pairs stay
    // aligned and the URL is fetched again rather than lost.
    if (lines.size() % 2 != 0)
    {
        THXQItem orphan;
        orphan.Group = GroupOfURL(store, DecodeField(lines[lines.size() - 1]));
        lines.push_back(BuildRecord(orphan, nullptr));
    }
    std::lock_guard lock(m_lock);
    if (m_lines.empty())
    {
        m_lines = std::move(lines);
        m_items.clear();
        m_built.assign(m_lines.size() / 2, false);
    }
}

void THXQueue::ReserveKnown(std::size_t pairs)
{
    std::lock_guard lock(m_lock);
    if (4 * (m_knownCount + pairs) > 3 * m_known.size())
        GrowKnownLocked(m_knownCount + pairs);
}

THXQItem* THXQueue::BuildItem(std::size_t pair, const std::string& queueFile)
{
    std::lock_guard lock(m_lock);
    if (2 * pair + 1 >= m_lines.size() || ItemLocked(pair) != nullptr)
        return nullptr;
    // A pair WriteRecord appended after the lines were read has no built flag yet.
    if (m_built.size() <= pair)
        m_built.resize(pair + 1, false);
    AddKnownLocked(static_cast<std::uint32_t>(pair));
    const auto fields = SplitRecord(m_lines[2 * pair + 1]);
    const int state = StrictState(fields[0], queueFile, pair + 1);
    while (m_items.size() <= pair)
        m_items.emplace_back(m_task);
    THXQItem* item = &m_items[pair];
    m_built[pair] = true;
    item->Index = static_cast<int>(2 * pair);
    item->Group = DecodeField(fields[2]);
    item->Mode = Trim(fields[7]).empty() ? kModeDownload : ToInt(fields[7], kModeDownload);
    if (state == kStateSaved && !fields[3].empty())
        item->BaseURL = DecodeField(fields[3]);
    ShareTextsLocked(*item);
    SetStateLocked(*item, state);
    return item;
}

std::string THXQueue::Text() const
{
    std::lock_guard lock(m_lock);
    std::string text;
    text.reserve(m_lines.TextBytes() + 2 * m_lines.size());
    for (std::size_t line = 0; line < m_lines.size(); ++line)
    {
        text += m_lines[line];
        text += "\r\n";
    }
    return text;
}

bool THXQueue::WriteText(const std::string& path, const std::string& text, std::uint64_t copyNumber)
{
    std::lock_guard lock(m_writeLock);
    if (copyNumber < m_copyWritten)
        return true;
    ForceDirectories(ExtractFilePath(path));
    if (!WriteFileAtomic(path, text))
        return false;
    m_copyWritten = copyNumber;
    return true;
}

void THXQueue::WaitForWrites()
{
    std::unique_lock lock(m_writeLock);
    m_writeDone.wait(lock, [this] { return m_writesPending == 0; });
}

void THXQueue::Save(const std::string& path)
{
    const std::string text = Text();
    const std::uint64_t copyNumber = ++m_copiesTaken;
    if (!WriteText(path, text, copyNumber))
        throw EFileError("Unable to write file: " + path);
}

int THXQueue::BackgroundWritesFailed() const
{
    std::lock_guard lock(m_writeLock);
    return m_backgroundWritesFailed;
}

bool THXQueue::SaveInBackground(const std::string& path)
{
    {
        std::lock_guard lock(m_writeLock);
        if (m_writesPending != 0)
            return false;
        ++m_writesPending;
    }
    auto text = std::make_shared<const std::string>(Text());
    const std::uint64_t copyNumber = ++m_copiesTaken;
    m_writer.Post(
        [this, text, copyNumber, path]
        {
            bool written = false;
            try
            {
                written = WriteText(path, *text, copyNumber);
            }
            catch (const std::exception&)
            {
                written = false;
            }
            std::lock_guard lock(m_writeLock);
            if (!written)
                ++m_backgroundWritesFailed;
            --m_writesPending;
            m_writeDone.notify_all();
        });
    return true;
}

bool THXQueue::IsKnownURL(std::string_view url) const
{
    const std::string encoded = EncodeField(url);
    std::lock_guard lock(m_lock);
    return FindKnownLocked(encoded).has_value();
}

THXQItem* THXQueue::FindItem(std::string_view url) const
{
    const std::string encoded = EncodeField(url);
    std::lock_guard lock(m_lock);
    const std::optional<std::uint32_t> found = FindKnownLocked(encoded);
    return found ? ItemLocked(*found) : nullptr;
}

int THXQueue::LineCount() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_lines.size());
}

int THXQueue::ItemCount() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_lines.size() / 2);
}

std::string THXQueue::Line(int line) const
{
    std::lock_guard lock(m_lock);
    if (line < 0 || static_cast<std::size_t>(line) >= m_lines.size())
        return {};
    return std::string(m_lines[static_cast<std::size_t>(line)]);
}

THXQItem* THXQueue::Item(int pairIndex) const
{
    std::lock_guard lock(m_lock);
    if (pairIndex < 0)
        return nullptr;
    return ItemLocked(static_cast<std::size_t>(pairIndex));
}

std::string THXQueue::RecordField(int pairIndex, int field) const
{
    std::lock_guard lock(m_lock);
    const std::size_t line = 2 * static_cast<std::size_t>(pairIndex) + 1;
    if (pairIndex < 0 || field < 0 || field >= kRecordFields || line >= m_lines.size())
        return {};
    return DecodeField(SplitRecord(m_lines[line])[static_cast<std::size_t>(field)]);
}

void THXQueue::AddZipPending(std::string path, THXQItem* item)
{
    std::lock_guard lock(m_lock);
    m_zipPending.push_back({std::move(path), item});
}

bool THXQueue::TakeZipPending(TZipPendingFile& file)
{
    std::lock_guard lock(m_lock);
    if (m_zipPendingHead >= m_zipPending.size())
        return false;
    file = std::move(m_zipPending[m_zipPendingHead++]);
    if (m_zipPendingHead == m_zipPending.size())
    {
        m_zipPending.clear();
        m_zipPendingHead = 0;
    }
    return true;
}

std::vector<TZipPendingFile> THXQueue::TakeAllZipPending()
{
    std::lock_guard lock(m_lock);
    std::vector<TZipPendingFile> files(
        std::make_move_iterator(m_zipPending.begin() + static_cast<std::ptrdiff_t>(m_zipPendingHead)),
        std::make_move_iterator(m_zipPending.end()));
    m_zipPending.clear();
    m_zipPendingHead = 0;
    return files;
}

int THXQueue::ZipPendingCount() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_zipPending.size() - m_zipPendingHead);
}

} // namespace hx
