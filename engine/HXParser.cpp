#include "engine/HXParser.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include "core/HXStrings.h"

namespace hx
{

namespace
{

// Positions are ints; a text beyond this size is not scanned (and a replacement never
// grows a text beyond it), so position arithmetic can never overflow.
constexpr std::size_t kMaxTextBytes = static_cast<std::size_t>(std::numeric_limits<int>::max() / 2);

// Skipped after "<" before the tag name is compared.
bool InTagSkipSet(char c)
{
    return c == '\n' || c == '\r' || c == ' ' || c == '"' || c == '\'' || c == '=';
}

// Skipped between an attribute name and its value.
bool InValueSkipSet(char c)
{
    return InTagSkipSet(c) || c == '\\';
}

// An attribute name is taken only when one of these follows it; otherwise the name was
// part of a longer word (HREFLANG, a text in another value, ...).
bool EndsAttributeName(char c)
{
    return c == ' ' || c == '"' || c == '\'' || c == '=';
}

int Length(std::string_view text)
{
    return static_cast<int>(text.size());
}

// The bytes from the 1-based position first to last (empty when last < first).
std::string_view Span(std::string_view text, int first, int last)
{
    if (last < first)
        return {};
    return text.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1));
}

} // namespace

namespace detail
{

int FindNoCaseFast(std::string_view pattern, std::string_view text, int from)
{
    const std::size_t offset = from <= 1 ? 0 : static_cast<std::size_t>(from - 1);
    if (pattern.empty() || pattern.size() > text.size() || offset > text.size() - pattern.size())
        return 0;
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (std::none_of(pattern.begin(), pattern.end(), isLetter))
    {
        const std::size_t at = text.find(pattern, offset);
        return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
    }
    const char first = pattern.front();
    const char lower = first >= 'A' && first <= 'Z' ? static_cast<char>(first + ('a' - 'A')) : first;
    const char upper = first >= 'a' && first <= 'z' ? static_cast<char>(first - ('a' - 'A')) : first;
    const std::size_t last = text.size() - pattern.size(); // last offset a match can start at
    // The next candidate of each letter case, found with memchr and kept until passed.
    std::size_t nextLower = text.find(lower, offset);
    std::size_t nextUpper = lower == upper ? nextLower : text.find(upper, offset);
    for (;;)
    {
        const std::size_t at = std::min(nextLower, nextUpper);
        if (at == std::string_view::npos || at > last)
            return 0;
        if (SameTextNoCase(text.substr(at, pattern.size()), pattern))
            return static_cast<int>(at) + 1;
        if (nextLower == at)
            nextLower = text.find(lower, at + 1);
        if (nextUpper == at)
            nextUpper = lower == upper ? nextLower : text.find(upper, at + 1);
    }
}

TSearchMemo::TSearchMemo(std::string_view pattern, bool noCase, Direction direction)
    : m_pattern(pattern)
    , m_noCase(noCase)
    , m_direction(direction)
{
}

int TSearchMemo::SearchForward(std::string_view text, int from) const
{
    const int start = std::max(from, 1);
    return FindForward(text, m_pattern, m_noCase ? -start : start);
}

// Last occurrence that starts at or after lowestStart and ends at or before end.
int TSearchMemo::SearchBackward(std::string_view text, int lowestStart, int end) const
{
    const int first = std::max(lowestStart, 1);
    const int last = std::min(end, Length(text));
    if (last < first)
        return 0;
    const std::string_view window = Span(text, first, last);
    const int width = Length(window);
    const int found = FindBackward(window, m_pattern, m_noCase ? -width : width);
    return found == 0 ? 0 : found + first - 1;
}

// A remembered occurrence must still stand in the text; this keeps a memo from ever
// pointing outside the text, even when the text was changed behind the scanner's back.
bool TSearchMemo::StillMatches(std::string_view text) const
{
    if (m_pos == 0)
        return true;
    const std::size_t offset = static_cast<std::size_t>(m_pos - 1);
    if (offset > text.size() || text.size() - offset < m_pattern.size())
        return false;
    const std::string_view there = text.substr(offset, m_pattern.size());
    return m_noCase ? SameTextNoCase(there, m_pattern) : there == m_pattern;
}

int TSearchMemo::Find(std::string_view text, int position)
{
    const bool known = m_valid && m_from <= position && StillMatches(text);
    if (m_direction == Direction::Forward)
    {
        if (known && (m_pos == 0 || m_pos >= position))
            return m_pos;
        m_pos = SearchForward(text, position);
    }
    else if (known)
    {
        // Only occurrences ending after the remembered position can be new.
        const int found = SearchBackward(text, m_from - Length(m_pattern) + 2, position);
        if (found != 0)
            m_pos = found;
    }
    else
    {
        m_pos = SearchBackward(text, 1, position);
    }
    m_from = position;
    m_valid = true;
    return m_pos;
}

void TSearchMemo::Replaced(std::string_view text, int start, int oldLength, int newLength)
{
    if (!m_valid)
        return;
    const int patternLength = Length(m_pattern);
    const int oldEnd = start + oldLength - 1;
    const int newEnd = start + newLength - 1;
    const int shift = newLength - oldLength;
    if (m_pos != 0 && m_pos <= oldEnd && m_pos + patternLength - 1 >= start)
    {
        // The remembered occurrence itself was changed.
        m_valid = false;
        return;
    }
    // Occurrences that may be new touch the new bytes: they start in
    // [start - patternLength + 1, newEnd]. Only those are searched again, so a scan
    // that replaces a value on every find still reads the page about once.
    const int firstNew = start - patternLength + 1;
    if (m_direction == Direction::Forward)
    {
        if (m_pos != 0 && m_pos + patternLength - 1 < start)
            return; // everything remembered lies before the change
        if (m_pos != 0)
            m_pos += shift;
        if (m_from > oldEnd)
        {
            m_from += shift; // everything remembered lies after the change
            return;
        }
        m_from = std::min(m_from, start);
        const std::string_view upToNew =
            text.substr(0, static_cast<std::size_t>(std::max(newEnd + patternLength - 1, 0)));
        const int found = SearchForward(upToNew, std::max(m_from, firstNew));
        if (found != 0)
            m_pos = found;
        return;
    }
    if (m_from < start)
        return; // everything remembered lies before the change
    if (m_pos != 0 && m_pos > oldEnd)
    {
        m_pos += shift;
        m_from += shift;
        return;
    }
    if (m_from <= oldEnd)
    {
        // Keep only what is known about the bytes before the change.
        m_from = start - 1;
        return;
    }
    m_from += shift;
    const int found = SearchBackward(text, firstNew, std::min(newEnd + patternLength - 1, m_from));
    if (found != 0)
        m_pos = found;
}

} // namespace detail

// Turns positions between the scanner's text (the output buffer followed by the rest of
// Text) and Text itself for the length of one find on Text: Cursor, the only position a
// find reads, on the way in; on the way out every position the find sets (a tag-only
// find sets TagStart and Cursor, the others all of them). Positions at or behind the
// junction differ by the shift; 0 stays 0.
class THXParser::TPhysical
{
public:
    TPhysical(THXParser& parser, bool tagOnly)
        : m_parser(parser)
        , m_shift(parser.Shift())
        , m_tagOnly(tagOnly)
    {
        if (m_parser.Cursor > 0)
            m_parser.Cursor -= m_shift;
    }
    ~TPhysical()
    {
        const auto back = [this](int& field)
        {
            if (field > 0)
                field += m_shift;
        };
        back(m_parser.Cursor);
        back(m_parser.TagStart);
        if (m_tagOnly)
            return;
        back(m_parser.NextFrom);
        back(m_parser.TagEndPos);
        back(m_parser.AttrPos);
        if (m_parser.ValueStart > 0)
        {
            m_parser.ValueStart += m_shift;
            m_parser.ValueEnd += m_shift;
        }
    }
    TPhysical(const TPhysical&) = delete;
    TPhysical& operator=(const TPhysical&) = delete;

private:
    THXParser& m_parser;
    int m_shift;
    bool m_tagOnly;
};

THXParser::THXParser(std::string text, std::string tagName, std::string tagEnd, std::string attrName,
                     std::uint8_t quoteMode)
    : Text(std::move(text))
    , TagName(std::move(tagName))
    , TagEnd(std::move(tagEnd))
    , AttrName(std::move(attrName))
    , QuoteMode(quoteMode)
{
}

std::size_t THXParser::TextSize() const
{
    const std::size_t passed = std::min(static_cast<std::size_t>(m_restFrom - 1), Text.size());
    return m_out.size() + Text.size() - passed;
}

bool THXParser::TooLarge() const
{
    return TextSize() > kMaxTextBytes;
}

void THXParser::ClearFind()
{
    Value.clear();
    m_valueInText = false;
    AttrPos = 0;
    ValueStart = 0;
    ValueEnd = 0;
}

std::string& THXParser::CurrentText()
{
    if (Buffered())
    {
        const std::size_t passed = std::min(static_cast<std::size_t>(m_restFrom - 1), Text.size());
        m_out.append(Text, passed);
        Text.swap(m_out);
        m_out.clear();
        m_spare.swap(m_out); // the old text's memory, for a later output buffer
        std::string().swap(m_out);
        m_restFrom = 1;
        // Positions in Text changed: nothing remembered about the old bytes holds.
        m_nextTagClose.Clear();
        m_marksIndexed = false;
        m_outOpens.clear();
        m_outCloses.clear();
    }
    return Text;
}

bool THXParser::Buffered() const
{
    return !m_out.empty() || m_restFrom != 1;
}

void THXParser::UseBuffer(std::string buffer)
{
    m_spare = std::move(buffer);
    m_spare.clear();
}

std::string THXParser::TakeBuffer()
{
    return std::move(m_spare);
}

void THXParser::JoinWhenBefore(int position)
{
    if (std::max(position, 1) < Junction())
        CurrentText();
}

char THXParser::ByteAt(int position) const
{
    if (position <= static_cast<int>(m_out.size()))
        return m_out[static_cast<std::size_t>(position - 1)];
    return Text[static_cast<std::size_t>(position - Shift() - 1)];
}

// The mark (lower case) starts at the position of the scanner's text, letter case ignored.
bool THXParser::MarkAt(std::string_view mark, int position) const
{
    if (position < 1 || static_cast<std::size_t>(position - 1) + mark.size() > TextSize())
        return false;
    for (std::size_t i = 0; i < mark.size(); ++i)
    {
        const char c = ByteAt(position + static_cast<int>(i));
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
        if (lower != mark[i])
            return false;
    }
    return true;
}

std::string THXParser::FindNext()
{
    if (NextFrom != 0)
        Cursor = NextFrom + 1;
    return QuoteMode == kTagMode ? FindAttribute() : FindQuoted();
}

std::string THXParser::FindAttribute()
{
    JoinWhenBefore(Cursor);
    const TPhysical physical(*this, false);
    return FindAttributeIn();
}

std::string THXParser::FindQuoted()
{
    JoinWhenBefore(Cursor);
    if (NextFrom == 0 && !Buffered())
    {
        // A scan starts: nothing remembered about an earlier text holds.
        m_nextTagClose.Clear();
        m_marksIndexed = false;
    }
    if (QuoteMode == kQuotedInScript && !m_marksIndexed)
    {
        CurrentText();
        IndexScriptMarks();
    }
    const TPhysical physical(*this, false);
    return FindQuotedIn();
}

std::string THXParser::FindOtherAttribute(std::string_view attrName)
{
    JoinWhenBefore(Cursor - 1);
    const int shift = Shift();
    THXParser second;
    second.Text.swap(Text);
    second.TagName = TagName;
    second.TagEnd = TagEnd;
    second.AttrName = attrName;
    second.Cursor = Cursor - 1 - shift;
    second.NextFrom = NextFrom > 0 ? NextFrom - shift : NextFrom;
    std::string value = second.FindAttribute();
    Text.swap(second.Text);
    return value;
}

std::vector<std::vector<int>> THXParser::FindTagsOfNames(std::string_view text,
                                                         const std::vector<std::string_view>& names,
                                                         const std::vector<std::string_view>& everyTagAttributes)
{
    if (text.size() > kMaxTextBytes)
        return {};
    const int size = Length(text);
    const auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; };
    // The rows a tag name may match, by its first byte (upper case); rows of the empty
    // name match every tag.
    std::array<std::vector<std::size_t>, 256> rowsByFirst;
    std::vector<std::size_t> everyTagRows;
    for (std::size_t row = 0; row < names.size(); ++row)
    {
        if (names[row].empty())
            everyTagRows.push_back(row);
        else
            rowsByFirst[static_cast<unsigned char>(upper(names[row].front()))].push_back(row);
    }
    // For the rows of every tag: where their attribute name occurs (letter case ignored).
    // A tag in which it does not occur before the tag's end can give that row no value.
    std::vector<std::vector<int>> occurrences(everyTagRows.size());
    std::vector<std::size_t> nextOccurrence(everyTagRows.size(), 0);
    for (std::size_t index = 0; index < everyTagRows.size(); ++index)
    {
        const std::size_t row = everyTagRows[index];
        if (row >= everyTagAttributes.size() || everyTagAttributes[row].empty())
            continue;
        const std::string_view attribute = everyTagAttributes[row];
        for (int at = detail::FindNoCaseFast(attribute, text, 1); at != 0;
             at = detail::FindNoCaseFast(attribute, text, at + 1))
            occurrences[index].push_back(at);
    }

    std::vector<std::vector<int>> found(names.size());
    // Each name's scan goes on after the end of the last tag it stopped at; 0: it is over.
    std::vector<int> nextFrom(names.size(), 1);
    int tagClose = 0; // the first ">" at or after the current "<" (0: none), once searched
    bool closeSearched = false;
    const auto closeOf = [&](int tagStart)
    {
        if (closeSearched && tagClose != 0 && tagClose < tagStart)
            closeSearched = false;
        if (!closeSearched)
        {
            tagClose = FindExact(">", text, tagStart);
            closeSearched = true;
        }
        return tagClose;
    };
    const auto stop = [&](std::size_t row, int tagStart)
    {
        found[row].push_back(tagStart);
        const int close = closeOf(tagStart);
        // A tag without an end ends the scan.
        nextFrom[row] = close == 0 ? 0 : close + 1;
    };
    for (int tagStart = FindExact("<", text, 1); tagStart != 0; tagStart = FindExact("<", text, tagStart + 1))
    {
        int nameAt = tagStart + 1;
        while (nameAt <= size && InTagSkipSet(text[static_cast<std::size_t>(nameAt - 1)]))
            ++nameAt;
        const std::string_view rest = text.substr(static_cast<std::size_t>(nameAt - 1));
        if (!rest.empty())
        {
            for (const std::size_t row : rowsByFirst[static_cast<unsigned char>(upper(rest.front()))])
            {
                if (nextFrom[row] != 0 && tagStart >= nextFrom[row] && StartsWithNoCase(rest, names[row]))
                    stop(row, tagStart);
            }
        }
        for (std::size_t index = 0; index < everyTagRows.size(); ++index)
        {
            const std::size_t row = everyTagRows[index];
            if (nextFrom[row] == 0 || tagStart < nextFrom[row])
                continue;
            const std::vector<int>& at = occurrences[index];
            if (row < everyTagAttributes.size() && !everyTagAttributes[row].empty())
            {
                std::size_t& next = nextOccurrence[index];
                while (next < at.size() && at[next] < tagStart)
                    ++next;
                const int close = closeOf(tagStart);
                // The scan of the row also ends at a tag without an end.
                if (close != 0 && (next == at.size() || at[next] >= close))
                {
                    nextFrom[row] = close + 1;
                    continue;
                }
            }
            stop(row, tagStart);
        }
    }
    return found;
}

void THXParser::FindTagIn()
{
    const std::string_view text = Text;
    const int size = Length(text);
    for (;;)
    {
        TagStart = FindExact("<", text, Cursor);
        if (TagStart == 0)
        {
            Cursor = 0; // no further tag: the scan is over
            return;
        }
        Cursor = TagStart + 1;
        while (Cursor <= size && InTagSkipSet(text[static_cast<std::size_t>(Cursor - 1)]))
            ++Cursor;
        // A prefix match: "A" also stops at AREA and ABBR, "FRAME" at FRAMESET.
        if (StartsWithNoCase(text.substr(static_cast<std::size_t>(Cursor - 1)), TagName))
            return;
    }
}

std::string THXParser::FindAttributeIn()
{
    ClearFind();
    TagStart = 0;
    TagEndPos = 0;
    NextFrom = 0;
    if (Text.empty() || TooLarge())
        return {};
    FindTagIn();
    if (TagStart == 0)
        return {};
    const std::string_view text = Text;
    TagEndPos = detail::FindNoCaseFast(TagEnd, text, TagStart);
    NextFrom = TagEndPos;
    // A tag without an end yields nothing; no later tag can have an end either.
    if (TagEndPos == 0)
        return {};

    // Everything the value may be taken from lies before the tag end. An attribute
    // name found beyond it could only lead to an empty result, so the search for it
    // stops there: a page of many tags without the attribute is not read to its end
    // once per tag.
    const std::string_view beforeEnd = text.substr(0, static_cast<std::size_t>(TagEndPos - 1));

    // The attribute: its name followed by a blank, a quote or "=". An occurrence inside
    // another attribute's value counts too and hides the real attribute.
    int p = 0;
    for (int from = TagStart;;)
    {
        const int at = detail::FindNoCaseFast(AttrName, beforeEnd, from);
        if (at == 0)
            return {};
        p = at + Length(AttrName);
        if (EndsAttributeName(text[static_cast<std::size_t>(p - 1)]))
        {
            AttrPos = at;
            break;
        }
        from = p;
    }

    // Between name and value: blanks, quotes, "=" and backslashes; an opening double
    // quote ends the skip. Without "=" there is no value.
    bool sawEquals = false;
    bool singleQuoted = false; // a single quote opens the value (url='x.htm' in a CONTENT)
    while (p <= TagEndPos && InValueSkipSet(text[static_cast<std::size_t>(p - 1)]))
    {
        const char c = text[static_cast<std::size_t>(p - 1)];
        if (c == '=')
            sawEquals = true;
        else if (c == '\'' && sawEquals)
            singleQuoted = true;
        ++p;
        if (c == '"')
            break;
    }
    if (p > TagEndPos || !sawEquals)
        return {};

    // The value runs to the next double quote, which must come before the tag end:
    // unquoted and single-quoted values yield nothing.
    const int closing = FindExact("\"", beforeEnd, p);
    if (closing == 0)
        return {};
    int start = p;
    int end = closing - 1;
    // The closing single quote (and blanks after it) of a single-quoted value inside a
    // double-quoted one is not part of the value.
    if (singleQuoted)
    {
        int last = end;
        while (last >= start && text[static_cast<std::size_t>(last - 1)] == ' ')
            --last;
        if (last >= start && text[static_cast<std::size_t>(last - 1)] == '\'')
            end = last - 1;
    }

    // In a script link only the single-quoted part is the link: javascript:open('x.htm').
    if (Span(text, start, end).find("javascript:") != std::string_view::npos)
    {
        const int open = FindExact("'", beforeEnd, start);
        const int close = open == 0 ? 0 : FindExact("'", beforeEnd, open + 1);
        if (close == 0)
            return {};
        start = open + 1;
        end = close - 1;
    }
    ValueStart = start;
    ValueEnd = end;
    Value.assign(Span(text, start, end));
    m_valueInText = true;
    return Value;
}

std::string THXParser::FindQuotedIn()
{
    ClearFind();
    TagStart = 0;
    TagEndPos = 0;
    NextFrom = 0;
    if (Text.empty() || TooLarge())
    {
        Cursor = 0;
        return {};
    }
    const std::string_view text = Text;
    Cursor = FindExact(TagName, text, Cursor);
    if (Cursor == 0)
        return {};
    NextFrom = FindExact(TagEnd, text, Cursor + 1);
    if (NextFrom == 0)
        return {};
    const int closing = NextFrom;

    // Only a quoted text followed by a ">" before any other ">" can lie inside a tag or
    // a script; otherwise the closing quote may be the opening quote of the next text.
    const int tagClose = m_nextTagClose.Find(text, Cursor);
    if (tagClose == 0 || tagClose < closing)
    {
        NextFrom = closing - 1;
        return {};
    }

    const int start = Cursor + Length(TagName);
    const int end = closing - 1;
    if (end < start - 1)
        return {}; // the closing quote overlaps the opening one: no text between them
    ValueStart = start;
    ValueEnd = end;
    if (QuoteMode == kQuotedInScript && !InsideScript(start + Shift()))
        return {};
    Value.assign(Span(text, start, end));
    m_valueInText = true;
    return LooksLikeLink(Value) ? Value : std::string();
}

namespace
{

constexpr std::string_view kScriptOpen = "<script";
constexpr std::string_view kScriptClose = "/script";
constexpr int kMarkLength = 7;

// Starts (1-based) of every occurrence of the lower-case mark, letter case ignored.
std::vector<int> MarkStarts(std::string_view text, std::string_view mark)
{
    std::vector<int> starts;
    for (int at = detail::FindNoCaseFast(mark, text, 1); at != 0; at = detail::FindNoCaseFast(mark, text, at + 1))
        starts.push_back(at);
    return starts;
}

} // namespace

void THXParser::IndexScriptMarks()
{
    m_textOpens = MarkStarts(Text, kScriptOpen);
    m_textCloses = MarkStarts(Text, kScriptClose);
    m_outOpens.clear();
    m_outCloses.clear();
    m_marksIndexed = true;
}

// The output buffer grew from oldOutSize bytes by the bytes chunkFrom..chunkTo of Text
// and a new value. The marks that now lie wholly in it are added: those inside the
// copied bytes are known from Text, those touching a seam are read from the buffer.
void THXParser::NoteAppended(std::size_t oldOutSize, int chunkFrom, int chunkTo)
{
    const int oldSize = static_cast<int>(oldOutSize);
    const int newSize = static_cast<int>(m_out.size());
    const int shift = oldSize + 1 - chunkFrom; // positions of the copied bytes in the buffer
    const int valueStart = oldSize + (chunkTo - chunkFrom + 1) + 1;
    const auto note = [&](std::string_view mark, const std::vector<int>& inText, std::vector<int>& inOut)
    {
        const auto inBuffer = [&](int start)
        {
            return start + kMarkLength - 1 <= newSize &&
                   SameTextNoCase(std::string_view(m_out).substr(static_cast<std::size_t>(start - 1), mark.size()),
                                  mark);
        };
        for (int start = std::max(1, oldSize - kMarkLength + 2); start <= oldSize; ++start)
        {
            if (inBuffer(start))
                inOut.push_back(start);
        }
        auto from = std::lower_bound(inText.begin(), inText.end(), chunkFrom);
        for (; from != inText.end() && *from <= chunkTo - kMarkLength + 1; ++from)
            inOut.push_back(*from + shift);
        for (int start = std::max(oldSize + 1, valueStart - kMarkLength + 1); start <= newSize - kMarkLength + 1;
             ++start)
        {
            if (inBuffer(start))
                inOut.push_back(start);
        }
    };
    note(kScriptOpen, m_textOpens, m_outOpens);
    note(kScriptClose, m_textCloses, m_outCloses);
}

// Inside a SCRIPT block: the last "<script" ending at or before the position exists and
// the first "/script" at or after it lies at or after the position. The position lies
// behind the junction; marks are taken from the buffer, across the seam and from Text.
bool THXParser::InsideScript(int position) const
{
    const int junction = Junction();
    const int shift = Shift();
    const int seamFirst = std::max(1, junction - kMarkLength + 1);

    // The "<script": Text behind the junction, else across the seam, else the buffer.
    int open = 0;
    int openWhere = 0; // 1 buffer, 2 seam, 3 Text
    const int lastStart = position - shift - kMarkLength + 1;
    auto inText = std::upper_bound(m_textOpens.begin(), m_textOpens.end(), lastStart);
    if (inText != m_textOpens.begin() && *std::prev(inText) >= m_restFrom)
    {
        open = *std::prev(inText) + shift;
        openWhere = 3;
    }
    for (int start = junction - 1; open == 0 && start >= seamFirst; --start)
    {
        if (start + kMarkLength - 1 <= position && MarkAt(kScriptOpen, start))
        {
            open = start;
            openWhere = 2;
        }
    }
    if (open == 0 && !m_outOpens.empty())
    {
        open = m_outOpens.back();
        openWhere = 1;
    }
    if (open == 0)
        return false;

    // The first "/script" at or after it.
    int close = 0;
    if (openWhere == 1)
    {
        const auto inOut = std::lower_bound(m_outCloses.begin(), m_outCloses.end(), open);
        if (inOut != m_outCloses.end())
            close = *inOut;
    }
    for (int start = std::max(open, seamFirst); close == 0 && openWhere <= 2 && start < junction; ++start)
    {
        if (MarkAt(kScriptClose, start))
            close = start;
    }
    if (close == 0)
    {
        const int from = std::max(m_restFrom, open - shift);
        const auto inRest = std::lower_bound(m_textCloses.begin(), m_textCloses.end(), from);
        if (inRest != m_textCloses.end())
            close = *inRest + shift;
    }
    return close != 0 && close >= position;
}

// The tests a quoted text must pass to be taken for a URL or a path, in this order.
bool THXParser::LooksLikeLink(std::string_view value)
{
    if (value.empty())
        return false;
    if (value.find(' ') != std::string_view::npos)
        return false;
    if (value.find(';') != std::string_view::npos)
        return false;
    if (value.find(':') != std::string_view::npos && value.find("://") == std::string_view::npos)
        return false;
    if (value.find('<') != std::string_view::npos)
        return false;
    if (ContainsNoCase(value, "text/css") || ContainsNoCase(value, "text/javascript"))
        return false;
    return value.find('.') != std::string_view::npos || value.find('/') != std::string_view::npos;
}

bool THXParser::ReplaceValue(std::string_view newValue)
{
    if (!m_valueInText || newValue == Value || ValueStart < 1)
        return false;
    // A value before the junction (one replaced already) is replaced in the joined text.
    JoinWhenBefore(ValueStart);
    const int shift = Shift();
    const int start = ValueStart - shift; // in Text
    const std::size_t offset = static_cast<std::size_t>(start - 1);
    const std::size_t oldLength = Value.size();
    if (start < m_restFrom || offset > Text.size() || Text.size() - offset < oldLength ||
        Text.compare(offset, oldLength, Value) != 0)
    {
        // Text was changed since the find: the value no longer stands where it was found.
        m_valueInText = false;
        return false;
    }
    if (newValue.size() > kMaxTextBytes || TextSize() - oldLength > kMaxTextBytes - newValue.size())
        return false;

    // The bytes passed since the last replacement and the new value go to the buffer;
    // Text from behind the old value on follows them.
    const std::size_t oldOutSize = m_out.size();
    if (!Buffered())
    {
        // The first replacement of this text: the output buffer takes the spare memory.
        m_out.swap(m_spare);
        m_out.clear();
        m_out.reserve(Text.size() + Text.size() / 8 + 64); // one allocation for most scans
    }
    const int chunkFrom = m_restFrom;
    const int chunkTo = start - 1;
    m_out.append(Text, static_cast<std::size_t>(m_restFrom - 1), static_cast<std::size_t>(start - m_restFrom));
    m_out.append(newValue);
    m_restFrom = start + static_cast<int>(oldLength);
    if (m_marksIndexed)
        NoteAppended(oldOutSize, chunkFrom, chunkTo);

    // The scan continues behind the same tag or closing quote, which moved with the text.
    const int oldEnd = ValueStart + static_cast<int>(oldLength) - 1;
    const int change = static_cast<int>(newValue.size()) - static_cast<int>(oldLength);
    if (NextFrom > oldEnd)
        NextFrom += change;
    if (TagEndPos > oldEnd)
        TagEndPos += change;
    if (Cursor > oldEnd)
        Cursor += change;
    Value.assign(newValue);
    ValueEnd = ValueStart + static_cast<int>(newValue.size()) - 1;
    return true;
}

std::string THXParser::TagText() const
{
    const int size = static_cast<int>(TextSize());
    int from = 1; // the first byte of the link text
    if (TagStart != 0)
    {
        int close = 0;
        for (int at = TagStart; at <= static_cast<int>(m_out.size()); ++at)
        {
            if (m_out[static_cast<std::size_t>(at - 1)] == '>')
            {
                close = at;
                break;
            }
        }
        if (close == 0)
        {
            const int rest = FindExact(">", Text, std::max(TagStart - Shift(), m_restFrom));
            if (rest == 0)
                return {};
            close = rest + Shift();
        }
        from = close + 1;
    }
    // Up to the first "<" or the limit, and one byte more to see whether the text goes on.
    std::string window;
    bool tagFollows = false;
    for (int at = from; at <= size && window.size() <= kMaxTagTextBytes; ++at)
    {
        const char c = ByteAt(at);
        if (c == '<' && window.size() < kMaxTagTextBytes)
        {
            tagFollows = true;
            break;
        }
        window.push_back(c);
    }
    const std::string_view rest = window;
    std::size_t length = std::min(window.size(), kMaxTagTextBytes);
    if (!tagFollows && window.size() > kMaxTagTextBytes)
    {
        // Cut before the first byte of a character that would be split by the limit.
        const std::size_t limit = length;
        while (length > 0 && limit - length < 3 && (static_cast<unsigned char>(rest[length]) & 0xC0) == 0x80)
            --length;
    }
    return SanitizeField(rest.substr(0, length));
}

} // namespace hx
