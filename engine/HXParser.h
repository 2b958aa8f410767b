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
// Positions are 1-based byte positions in the text being scanned; 0 means none. Set-up:
// fill Text, TagName, TagEnd, AttrName and QuoteMode, set Cursor to 1 and NextFrom to 0
// (the constructor does this), then call FindNext while both NextFrom and Cursor are not
// 0. Every find continues where the last one ended, so a whole scan reads the page a
// bounded number of times, whatever the page holds.
//
// Replacements are not made in Text itself: the scanner copies the bytes it has passed,
// with the new values, into an output buffer, so a scan that rewrites every link of a
// large page stays linear in the page size. The text being scanned is that buffer
// followed by the part of Text not yet passed; every position the scanner reports is a
// position in it. CurrentText() joins the two into Text (once, when the scan is over).
// Assign Text only before the first find or after CurrentText().

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hx
{

namespace detail
{

// FindNoCase with the same answers (1-based, 0 when none, ASCII letters without case),
// searching with memchr for the first byte instead of comparing at every position.
int FindNoCaseFast(std::string_view pattern, std::string_view text, int from);

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

    std::string Text;     // the page text as given; see CurrentText for the rewritten one
    std::string TagName;  // tag mode: tag name to find; quoted-text mode: opening quote
    std::string TagEnd;   // tag mode: ">"; quoted-text mode: closing quote
    std::string AttrName; // tag mode: attribute whose value is wanted
    int Cursor = 1;       // where the next search starts
    int NextFrom = 0;     // end of the last tag or closing quote; 0 when the scan is over
    int TagStart = 0;     // the "<" of the current tag
    int TagEndPos = 0;    // the first TagEnd after TagStart
    int AttrPos = 0;      // where the accepted AttrName was found
    std::string Value;    // the value found last: exactly the text a replacement replaces
    int ValueStart = 0;   // first position of Value in the text
    int ValueEnd = 0;     // last position of Value in the text (ValueStart - 1 when empty)
    std::uint8_t QuoteMode = kTagMode;

    // Continues after the last tag or quoted text and makes one find in the current
    // mode. An empty result while NextFrom and Cursor are both not 0 only means that
    // this tag or quoted text gave nothing usable.
    std::string FindNext();

    // One tag-mode find from Cursor.
    std::string FindAttribute();

    // One quoted-text-mode find from Cursor.
    std::string FindQuoted();

    // For each tag name, the positions of the "<" of every tag that a tag-mode scan of
    // the unchanged text with that TagName (and TagEnd ">") stops at, in scan order,
    // found in one pass over the text. For an empty name (every tag), when
    // everyTagAttributes gives that row an attribute name, the tags in which the name
    // does not occur before the tag's end are left out: they give that row no value.
    // Empty when the text is too large to scan.
    static std::vector<std::vector<int>> FindTagsOfNames(std::string_view text,
                                                         const std::vector<std::string_view>& names,
                                                         const std::vector<std::string_view>& everyTagAttributes = {});

    // What a second scanner on the same text finds with one tag-mode find of another
    // attribute, started one byte before this scanner's Cursor with the same TagName
    // and TagEnd: after a tag-mode find, that attribute of the same tag (an applet's
    // CODEBASE beside its CODE). This scanner's fields are left as they are.
    std::string FindOtherAttribute(std::string_view attrName);

    // Puts the new value in place of Value; the scan then continues after the same tag
    // or closing quote. Nothing happens when the value is unchanged or no value of the
    // last find stands in the text. True when the text was changed.
    bool ReplaceValue(std::string_view newValue);

    // The text after the current tag up to the next "<" (link text), sanitized as a
    // record field; in quoted-text mode (TagStart 0) the text before the first "<".
    std::string TagText() const;

    // The text with every replacement made so far, brought into Text. Costs a copy of
    // the text: call it when the scan is over (the scan may still go on after it).
    std::string& CurrentText();

    // Length of the text with every replacement made so far.
    std::size_t TextSize() const;

    // A caller that runs many scans over one page can hand the buffer of the previous
    // scan over, so the output buffer reuses its memory instead of allocating anew; after
    // CurrentText, TakeBuffer gives back the memory that held the text before.
    void UseBuffer(std::string buffer);
    std::string TakeBuffer();

private:
    class TPhysical;

    bool TooLarge() const;
    void ClearFind();
    bool Buffered() const;
    // Before reading the text at logical positions below the junction, joins it.
    void JoinWhenBefore(int position);
    int Junction() const { return static_cast<int>(m_out.size()) + 1; }
    int Shift() const { return Junction() - m_restFrom; }
    char ByteAt(int position) const;
    bool MarkAt(std::string_view mark, int position) const;

    // The physical finds, on Text alone: every position they read lies behind the junction.
    void FindTagIn();
    std::string FindAttributeIn();
    std::string FindQuotedIn();

    void IndexScriptMarks();
    void NoteAppended(std::size_t oldOutSize, int chunkFrom, int chunkTo);
    bool InsideScript(int position) const;
    static bool LooksLikeLink(std::string_view value);

    // Value, ValueStart and ValueEnd describe bytes that stand in the text.
    bool m_valueInText = false;
    // The text before the junction, with every replacement made; the bytes of Text from
    // m_restFrom on follow it unchanged.
    std::string m_out;
    int m_restFrom = 1;
    std::string m_spare; // memory for the next output buffer
    detail::TSearchMemo m_nextTagClose{">", false, detail::TSearchMemo::Direction::Forward};
    // Quoted-text mode 1: where "<script" and "/script" start, found once per text.
    // m_text*: positions in Text; m_out*: positions of marks that lie wholly in m_out.
    bool m_marksIndexed = false;
    std::vector<int> m_textOpens;
    std::vector<int> m_textCloses;
    std::vector<int> m_outOpens;
    std::vector<int> m_outCloses;
};

} // namespace hx
