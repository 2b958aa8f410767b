#pragma once

// THXParser: the tag scanner of the crawl engine. It finds link values in the raw
// bytes of one page without building a document tree, one find after another, and
// lets the caller replace the value just found in place.
//
// Tag mode finds the tags named TagName (a prefix match: "A" also stops at AREA) and
// in each the double-quoted value of AttrName. Quoted-text mode finds every text
// between TagName and TagEnd (the opening and closing quote) that looks like a URL or
// a path, over the whole page or only inside SCRIPT blocks.
//
// Positions are 1-based byte positions in Text; 0 means none. Set-up: fill Text,
// TagName, TagEnd, AttrName and QuoteMode, set Cursor to 1 and NextFrom to 0 (the
// constructor does this), then call FindNext while both NextFrom and Cursor are not 0.
// The scanner owns Text while scanning: change it only through ReplaceValue between
// two finds. Every find continues where the last one ended, so a whole scan reads the
// page a bounded number of times, whatever the page holds. A replacement that changes
// the length moves the rest of the text once, as any in-place edit of a string does.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hx
{

namespace detail
{

// Remembers the answer of the last search for one pattern, so that searches whose
// start only moves forward never read the same bytes twice. A forward memo answers
// "first occurrence at or after a position", a backward memo "last occurrence ending
// at or before a position". Replaced keeps the memo true after a replacement in the
// text, so replacing values does not force a search over everything again.
class TSearchMemo
{
public:
    enum class Direction
    {
        Forward,
        Backward
    };

    TSearchMemo(std::string_view pattern, bool noCase, Direction direction);

    // The answer for the position (1-based), from memory when it is still known.
    int Find(std::string_view text, int position);
    // The bytes from the 1-based start, oldLength of them, were replaced by newLength
    // bytes; text is the text after the replacement.
    void Replaced(std::string_view text, int start, int oldLength, int newLength);
    void Clear() { m_valid = false; }

private:
    int SearchForward(std::string_view text, int from) const;
    int SearchBackward(std::string_view text, int lowestStart, int end) const;
    bool StillMatches(std::string_view text) const;

    std::string m_pattern;
    bool m_noCase;
    Direction m_direction;
    bool m_valid = false;
    // Forward: no occurrence starts in [m_from, m_pos) (or after m_from when m_pos is 0).
    // Backward: no occurrence ends in (end of m_pos, m_from] (or at or before m_from when m_pos is 0).
    int m_from = 0;
    int m_pos = 0;
};

} // namespace detail

class THXParser
{
public:
    // QuoteMode values.
    static constexpr std::uint8_t kTagMode = 0;
    static constexpr std::uint8_t kQuotedInScript = 1;
    static constexpr std::uint8_t kQuotedEverywhere = 2;

    // TagText never returns more than this many bytes (cut at a UTF-8 character
    // boundary), so that a page with a huge run of text cannot make every link title
    // a copy of it.
    static constexpr std::size_t kMaxTagTextBytes = 1024;

    THXParser() = default;
    // Sets the fields and prepares the first find from the first character.
    THXParser(std::string text, std::string tagName, std::string tagEnd, std::string attrName, std::uint8_t quoteMode);

    std::string Text;     // the page text; replacements are made in it
    std::string TagName;  // tag mode: tag name to find; quoted-text mode: opening quote
    std::string TagEnd;   // tag mode: ">"; quoted-text mode: closing quote
    std::string AttrName; // tag mode: attribute whose value is wanted
    int Cursor = 1;       // where the next search starts
    int NextFrom = 0;     // end of the last tag or closing quote; 0 when the scan is over
    int TagStart = 0;     // the "<" of the current tag
    int TagEndPos = 0;    // the first TagEnd after TagStart
    int AttrPos = 0;      // where the accepted AttrName was found
    std::string Value;    // the value found last: exactly the text a replacement replaces
    int ValueStart = 0;   // first position of Value in Text
    int ValueEnd = 0;     // last position of Value in Text (ValueStart - 1 when empty)
    std::uint8_t QuoteMode = kTagMode;

    // Continues after the last tag or quoted text and makes one find in the current
    // mode. An empty result while NextFrom and Cursor are both not 0 only means that
    // this tag or quoted text gave nothing usable.
    std::string FindNext();

    // One tag-mode find from Cursor.
    std::string FindAttribute();

    // One quoted-text-mode find from Cursor.
    std::string FindQuoted();

    // Leaves TagStart on the next tag at or after Cursor whose name begins with
    // TagName (0 when there is none; Cursor is then 0 too).
    void FindTag();

    // Puts the new value in place of Value in Text; the scan then continues after the
    // same tag or closing quote. Nothing happens when the value is unchanged or no value
    // of the last find stands in Text. True when Text was changed.
    bool ReplaceValue(std::string_view newValue);

    // The text after the current tag up to the next "<" (link text), sanitized as a
    // record field; in quoted-text mode (TagStart 0) the text before the first "<".
    std::string TagText() const;

private:
    bool TooLarge() const;
    void ClearFind();
    bool InsideScript(int position);
    static bool LooksLikeLink(std::string_view value);

    // Value, ValueStart and ValueEnd describe bytes that stand in Text.
    bool m_valueInText = false;
    detail::TSearchMemo m_nextTagClose{">", false, detail::TSearchMemo::Direction::Forward};
    detail::TSearchMemo m_scriptOpen{"<script", true, detail::TSearchMemo::Direction::Backward};
    detail::TSearchMemo m_scriptClose{"/script", true, detail::TSearchMemo::Direction::Forward};
};

} // namespace hx
