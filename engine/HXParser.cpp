#include "engine/HXParser.h"

#include <algorithm>
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

THXParser::THXParser(std::string text, std::string tagName, std::string tagEnd, std::string attrName,
                     std::uint8_t quoteMode)
    : Text(std::move(text))
    , TagName(std::move(tagName))
    , TagEnd(std::move(tagEnd))
    , AttrName(std::move(attrName))
    , QuoteMode(quoteMode)
{
}

bool THXParser::TooLarge() const
{
    return Text.size() > kMaxTextBytes;
}

void THXParser::ClearFind()
{
    Value.clear();
    m_valueInText = false;
    AttrPos = 0;
    ValueStart = 0;
    ValueEnd = 0;
}

std::string THXParser::FindNext()
{
    if (NextFrom != 0)
        Cursor = NextFrom + 1;
    return QuoteMode == kTagMode ? FindAttribute() : FindQuoted();
}

void THXParser::FindTag()
{
    const std::string_view text = Text;
    const int size = Length(text);
    for (;;)
    {
        TagStart = FindNoCase("<", text, Cursor);
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

std::string THXParser::FindAttribute()
{
    ClearFind();
    if (Text.empty() || TooLarge())
    {
        TagStart = 0;
        TagEndPos = 0;
        NextFrom = 0;
        return {};
    }
    FindTag();
    if (TagStart == 0)
    {
        TagEndPos = 0;
        NextFrom = 0;
        return {};
    }
    const std::string_view text = Text;
    TagEndPos = FindNoCase(TagEnd, text, TagStart);
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
        const int at = FindNoCase(AttrName, beforeEnd, from);
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
    while (p <= TagEndPos && InValueSkipSet(text[static_cast<std::size_t>(p - 1)]))
    {
        const char c = text[static_cast<std::size_t>(p - 1)];
        if (c == '=')
            sawEquals = true;
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

std::string THXParser::FindQuoted()
{
    if (NextFrom == 0)
    {
        // A scan starts: nothing remembered about an earlier text holds.
        m_nextTagClose.Clear();
        m_scriptOpen.Clear();
        m_scriptClose.Clear();
    }
    ClearFind();
    TagStart = 0;
    TagEndPos = 0;
    if (Text.empty() || TooLarge())
    {
        Cursor = 0;
        NextFrom = 0;
        return {};
    }
    const std::string_view text = Text;
    Cursor = FindExact(TagName, text, Cursor);
    if (Cursor == 0)
    {
        NextFrom = 0;
        return {};
    }
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
    if (QuoteMode == kQuotedInScript && !InsideScript(start))
        return {};
    Value.assign(Span(text, start, end));
    m_valueInText = true;
    return LooksLikeLink(Value) ? Value : std::string();
}

// Inside a SCRIPT block: the last "<script" ending at or before the position exists and
// the first "/script" after it lies at or after the position.
bool THXParser::InsideScript(int position)
{
    const int open = m_scriptOpen.Find(Text, position);
    if (open == 0)
        return false;
    const int close = m_scriptClose.Find(Text, open);
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
    const std::size_t offset = static_cast<std::size_t>(ValueStart - 1);
    const std::size_t oldLength = Value.size();
    if (offset > Text.size() || Text.size() - offset < oldLength || Text.compare(offset, oldLength, Value) != 0)
    {
        // Text was changed since the find: the value no longer stands where it was found.
        m_valueInText = false;
        return false;
    }
    if (newValue.size() > kMaxTextBytes || Text.size() - oldLength > kMaxTextBytes - newValue.size())
        return false;

    const int oldSize = static_cast<int>(oldLength);
    const int newSize = static_cast<int>(newValue.size());
    const int oldEnd = ValueStart + oldSize - 1;
    const int shift = newSize - oldSize;
    Text.replace(offset, oldLength, newValue);
    m_nextTagClose.Replaced(Text, ValueStart, oldSize, newSize);
    m_scriptOpen.Replaced(Text, ValueStart, oldSize, newSize);
    m_scriptClose.Replaced(Text, ValueStart, oldSize, newSize);

    // The scan continues behind the same tag or closing quote, which moved with the text.
    if (NextFrom > oldEnd)
        NextFrom += shift;
    if (TagEndPos > oldEnd)
        TagEndPos += shift;
    if (Cursor > oldEnd)
        Cursor += shift;
    Value.assign(newValue);
    ValueEnd = ValueStart + newSize - 1;
    return true;
}

std::string THXParser::TagText() const
{
    const std::string_view text = Text;
    std::size_t from = 0;
    if (TagStart != 0)
    {
        const int close = FindExact(">", text, TagStart);
        if (close == 0)
            return {};
        from = static_cast<std::size_t>(close); // the byte after the ">"
    }
    const std::string_view rest = text.substr(std::min(from, text.size()));
    const std::string_view window = rest.substr(0, kMaxTagTextBytes);
    const int nextTag = FindExact("<", window, 1);
    std::size_t length = window.size();
    if (nextTag != 0)
    {
        length = static_cast<std::size_t>(nextTag - 1);
    }
    else if (rest.size() > window.size())
    {
        // Cut before the first byte of a character that would be split by the limit.
        const std::size_t limit = window.size();
        while (length > 0 && limit - length < 3 && (static_cast<unsigned char>(rest[length]) & 0xC0) == 0x80)
            --length;
    }
    return SanitizeField(rest.substr(0, length));
}

} // namespace hx
