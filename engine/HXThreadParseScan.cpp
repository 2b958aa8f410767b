#include "engine/HXThreadParseScan.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/HXEncoding.h"
#include "core/HXStrings.h"
#include "core/HXURL.h"
#include "engine/HXParser.h"
#include "engine/HXThreadParseRewrite.h"

namespace hx
{

namespace
{

// The named character references titles use most; others stay as written.
constexpr std::array<std::pair<std::string_view, char32_t>, 20> kNamedReferences = {{
    {"amp", U'&'},        {"lt", U'<'},         {"gt", U'>'},         {"quot", U'"'},       {"apos", U'\''},
    {"nbsp", U'\u00A0'},  {"copy", U'\u00A9'},  {"reg", U'\u00AE'},   {"trade", U'\u2122'}, {"hellip", U'\u2026'},
    {"mdash", U'\u2014'}, {"ndash", U'\u2013'}, {"laquo", U'\u00AB'}, {"raquo", U'\u00BB'}, {"lsquo", U'\u2018'},
    {"rsquo", U'\u2019'}, {"ldquo", U'\u201C'}, {"rdquo", U'\u201D'}, {"euro", U'\u20AC'},  {"middot", U'\u00B7'},
}};
// Longest reference looked at ("&#x10FFFF;" and the names above fit).
constexpr std::size_t kLongestReference = 10;

// The code point of a reference's body ("amp", "#233", "#xE9"); 0 when it is none.
char32_t ReferencedCodePoint(std::string_view body)
{
    if (body.size() >= 2 && body[0] == '#')
    {
        const bool hex = body[1] == 'x' || body[1] == 'X';
        const std::string_view digits = body.substr(hex ? 2 : 1);
        std::uint32_t value = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || value > 0x10FFFF ||
            (value >= 0xD800 && value <= 0xDFFF))
            return 0;
        return static_cast<char32_t>(value);
    }
    for (const auto& [name, codePoint] : kNamedReferences)
        if (name == body)
            return codePoint;
    return 0;
}

// A title or link text with its character references decoded, so that it holds the
// text a browser shows ("&lt;" becomes "<") and is escaped once where it is written
// into a page. A control character or the record separator a reference names
// becomes a blank, as such characters cannot stand in a queue field.
std::string DecodeCharacterReferences(std::string_view text)
{
    std::string decoded;
    decoded.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size())
    {
        const std::size_t amp = text.find('&', at);
        const std::size_t semicolon = amp == std::string_view::npos ? amp : text.find(';', amp + 1);
        if (semicolon == std::string_view::npos)
        {
            decoded.append(text.substr(at));
            break;
        }
        decoded.append(text.substr(at, amp - at));
        const std::string_view body = text.substr(amp + 1, semicolon - amp - 1);
        const char32_t codePoint = body.size() < kLongestReference ? ReferencedCodePoint(body) : 0;
        if (codePoint == 0)
        {
            decoded += '&';
            at = amp + 1;
            continue;
        }
        if (codePoint < 0x20 || codePoint == 0x7F || codePoint == U'\u00B6')
            decoded += ' ';
        else
            AppendUtf8(decoded, codePoint);
        at = semicolon + 1;
    }
    return decoded;
}

// Page text as UTF-8 with its character references decoded, at most `limit`
// bytes, never cut inside a character.
std::string PageTextField(std::string_view bytes, std::size_t limit)
{
    std::string text = DecodeCharacterReferences(PageTextToUtf8(bytes));
    if (text.size() > limit)
    {
        std::size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text.resize(cut);
    }
    return text;
}

// Whether the text holds the attribute name of a tag table row that looks at every tag.
// The one pass leaves out the tags without that name; a replaced value that brings the
// name in could make such a tag give a value.
bool NamesEveryTagAttribute(std::string_view text)
{
    for (const TTagTableRow& row : kTagTable)
    {
        if (row.tag.empty() && ContainsNoCase(text, row.attribute))
            return true;
    }
    return false;
}

} // namespace

void TWrittenLinks::BeginScan()
{
    m_passed.clear();
    m_next = 0;
    m_shift = 0;
}

void TWrittenLinks::PassBefore(int oldPlace)
{
    for (; m_next < m_spans.size() && m_spans[m_next].Start < oldPlace; ++m_next)
    {
        TSpan& span = m_spans[m_next];
        span.Start += m_shift;
        m_passed.push_back(std::move(span));
    }
}

const std::string* TWrittenLinks::Find(int start, int length)
{
    const int oldPlace = start - m_shift;
    PassBefore(oldPlace);
    if (m_next < m_spans.size() && m_spans[m_next].Start == oldPlace && m_spans[m_next].Length == length)
        return &m_spans[m_next].URL;
    return nullptr;
}

void TWrittenLinks::Written(int start, int oldLength, int newLength, std::string url)
{
    const int oldPlace = start - m_shift;
    PassBefore(oldPlace);
    // Spans the replaced bytes touched no longer stand in the text.
    while (!m_passed.empty() && m_passed.back().Start + m_passed.back().Length > start)
        m_passed.pop_back();
    while (m_next < m_spans.size() && m_spans[m_next].Start < oldPlace + oldLength)
        ++m_next;
    m_passed.push_back({start, newLength, std::move(url)});
    m_shift += newLength - oldLength;
}

void TWrittenLinks::EndScan()
{
    PassBefore(std::numeric_limits<int>::max());
    m_spans.swap(m_passed);
    m_passed.clear();
    m_next = 0;
    m_shift = 0;
}

void TWrittenLinks::Erased(int start, int length)
{
    std::erase_if(m_spans,
                  [&](const TSpan& span) { return span.Start < start + length && span.Start + span.Length > start; });
    for (TSpan& span : m_spans)
    {
        if (span.Start >= start + length)
            span.Start -= length;
    }
}

std::vector<std::string> TWrittenLinks::URLs() const
{
    std::vector<std::string> urls;
    std::unordered_set<std::string> seen;
    for (const TSpan& span : m_spans)
    {
        std::string url = StripFragment(span.URL);
        if (seen.insert(LowerCase(url)).second)
            urls.push_back(std::move(url));
    }
    return urls;
}

TPageScan::TPageScan(std::string pageText, TPageFacts facts, const THXProfile& profile, TFileTypeGroups groups)
    : PageText(std::move(pageText))
    , m_facts(std::move(facts))
    , m_rules(profile)
    , m_groups(std::move(groups))
    , m_aggressiveParser(profile.AggressiveParser)
    , m_convertFollowed(profile.ConvertFollowedLinks)
    , m_convertUnfollowed(profile.ConvertUnfollowedLinks)
    , m_pageDirectory(DirectoryURL(m_facts.URL))
    , m_contentDirectory(m_facts.ContentDirectory.empty() ? m_pageDirectory : m_facts.ContentDirectory)
    , m_siteRoot(AncestorURL(m_facts.StartDirectory, 0))
{
}

void TPageScan::ReadBase()
{
    THXParser scanner(std::move(PageText), "BASE", ">", "HREF", THXParser::kTagMode);
    const std::string base = scanner.FindAttribute();
    PageText = std::move(scanner.CurrentText());
    BaseHref.clear();
    if (base.empty())
        return;
    // The saved page is read from its own folder: the BASE goes.
    PageText.erase(static_cast<std::size_t>(scanner.TagStart - 1),
                   static_cast<std::size_t>(scanner.TagEndPos - scanner.TagStart + 1));
    m_written.Erased(scanner.TagStart, scanner.TagEndPos - scanner.TagStart + 1);
    // Links resolve against the folder of the BASE address, as a browser resolves them.
    BaseHref = DirectoryURL(ResolveLink(PageTextToUtf8(base), m_contentDirectory));
}

void TPageScan::ReadTitle()
{
    Title = PageTextField(SanitizeField(TextBetweenNoCase(PageText, "<TITLE>", "</TITLE>")), kMaxTitleBytes);
}

bool TPageScan::Known(const std::string& url)
{
    if (m_queued.contains(LowerCase(url)))
        return true;
    return IsKnown && IsKnown(url);
}

std::vector<THXQItem> TPageScan::TakeNewItems()
{
    std::vector<THXQItem> items;
    items.swap(m_newItems);
    return items;
}

std::string TPageScan::LinkText(const TLinkDecision& decision, std::string_view fragment)
{
    if (!decision.Address)
        return ConvertedLink(decision.URL, *decision.Folder, fragment);
    std::string link = PageAddressText(StripFragment(decision.URL));
    link += fragment;
    return link;
}

void TPageScan::Convert(THXParser& scanner, const TLinkDecision& decision, std::string_view value)
{
    const std::string& url = decision.URL;
    const std::size_t hash = value.find('#');
    const std::string_view fragment = hash == std::string_view::npos ? std::string_view() : value.substr(hash);
    std::string link = LinkText(decision, fragment);
    const int start = scanner.ValueStart;
    const int oldLength = static_cast<int>(scanner.Value.size());
    const bool oldNames = m_recordEdits && NamesEveryTagAttribute(scanner.Value);
    const bool heldTagStart = scanner.Value.find('<') != std::string::npos;
    const bool replaced = scanner.ReplaceValue(link);
    if (replaced)
        NoteReplaced(scanner, start, oldLength, heldTagStart, oldNames);
    if (replaced || scanner.Value == link)
        m_written.Written(start, oldLength, static_cast<int>(link.size()), url);
}

void TPageScan::NoteReplaced(const THXParser& scanner, int start, int oldLength, bool heldTagStart,
                             bool oldNamedEveryTagAttribute)
{
    if (!m_recordEdits)
        return;
    const int newLength = static_cast<int>(scanner.Value.size());
    heldTagStart = heldTagStart || scanner.Value.find('<') != std::string::npos ||
                   (!oldNamedEveryTagAttribute && NamesEveryTagAttribute(scanner.Value));
    m_rowEdits.push_back({start - m_rowShift, oldLength, newLength, heldTagStart});
    m_rowShift += newLength - oldLength;
}

TPageScan::TLinkDecision TPageScan::HandleLink(THXParser* scanner, const std::string& value, std::string_view tag,
                                               std::string_view attribute, const std::string* writtenURL)
{
    TLinkDecision decision;
    if (value.empty() || value.front() == '#' || ContainsNoCase(value, "mailto:"))
        return decision;

    THXQItem item;
    const std::string& pageBase = BaseHref.empty() ? m_contentDirectory : BaseHref;
    item.BaseURL = pageBase;
    // The saved page resolves the link against its own folder, an applet's CODE against
    // its CODEBASE, which stays in the page.
    const std::string* linkFolder = &m_pageDirectory;
    item.Referrer = m_facts.URL;
    if (attribute == "CODE" && scanner != nullptr)
    {
        // An applet's classes are found below its CODEBASE folder.
        const std::string codeBase = scanner->FindOtherAttribute("CODEBASE");
        if (!codeBase.empty())
        {
            item.BaseURL = ResolveLink(PageTextToUtf8(codeBase), pageBase);
            if (!item.BaseURL.empty() && item.BaseURL.back() != '/')
                item.BaseURL += '/';
            m_codeBase = item.BaseURL.str();
            linkFolder = &m_codeBase;
        }
    }
    if (tag == "FRAME")
        item.FrameFlag.assign(1, 'Y');
    item.Level = m_facts.Level + 1;
    item.Mode = m_facts.Mode;
    item.URL = writtenURL != nullptr ? *writtenURL : ResolveAndNormalize(PageTextToUtf8(value), item.BaseURL);
    item.Group = GroupOfURL(m_groups, item.URL);
    const bool page = item.IsPage();
    if (!page && item.Mode == kModeMap)
        item.Mode = kModeSkip;

    // Frames, inline pages and refresh targets stay on the page's own level.
    const bool sameLevel = page && (attribute == "SRC" || attribute == "URL");
    const int depthLevel = sameLevel ? m_facts.Level : m_facts.Level + 1;
    const bool follow = m_rules.ShouldFollow(item.URL, m_facts.StartDirectory, depthLevel, item.Group);
    const bool signOut =
        follow && m_facts.SignedIn && IsSignOutURL(item.URL) && !m_rules.IncludeNames(item.URL, item.Group);
    if (follow && !signOut)
    {
        // The link text is read before the link is rewritten, and only for a new item.
        const std::string url = StripFragment(item.URL);
        const bool known = Known(url);
        if (!known && scanner != nullptr)
            item.Title = PageTextField(scanner->TagText(), kMaxTitleBytes);
        if (m_convertFollowed == 1)
        {
            decision.Convert = true;
            decision.URL = item.URL;
            decision.Folder = linkFolder;
            // A link read against an applet's CODEBASE keeps its local name: only links
            // of the page's own folder are given their address back later, as here.
            decision.Address = linkFolder == &m_pageDirectory && GivenUp(url);
        }
        item.URL = url;
        if (!known)
        {
            item.State = kStateNone;
            m_queued.insert(LowerCase(item.URL));
            m_newItems.push_back(std::move(item));
            ++NewLinks;
        }
        ++LinksFound;
    }
    else if (!item.URL.empty())
    {
        if (signOut)
            QueueSignOutLink(item);
        if (m_convertUnfollowed == 2 || (m_convertUnfollowed == 1 && item.URL.find(m_siteRoot) != std::string::npos))
        {
            decision.Convert = true;
            decision.URL = std::move(item.URL);
            decision.Folder = linkFolder;
        }
    }
    return decision;
}

void TPageScan::FollowUsedAddress(const std::string& url)
{
    HandleLink(nullptr, url, "IMG", "SRC", nullptr);
}

bool TPageScan::GivenUp(const std::string& url)
{
    if (!IsGivenUp)
        return false;
    const auto [found, added] = m_givenUp.try_emplace(url, false);
    if (added)
        found->second = IsGivenUp(url);
    if (found->second)
        m_addressed.insert(url);
    return found->second;
}

void TPageScan::QueueSignOutLink(const THXQItem& link)
{
    // Listed, never fetched: the explore view shows why the link was left alone.
    const std::string url = StripFragment(link.URL);
    if (Known(url))
        return;
    THXQItem item = link;
    item.URL = url;
    item.Mode = kModeSkip;
    item.State = kStateNone;
    item.StatusText = std::string(kSignOutLinkText);
    m_queued.insert(LowerCase(item.URL));
    m_newItems.push_back(std::move(item));
}

void TPageScan::HandleLinkList(THXParser& scanner, const std::string& value, const TTagTableRow& row)
{
    const std::vector<TInnerLink> links =
        row.kind == TValueKind::Srcset ? FindSrcsetLinks(value) : FindStyleLinks(value);
    struct TPart
    {
        int Start = 0; // in the text once the value is replaced
        int OldLength = 0;
        int NewLength = 0;
        std::string URL;
    };
    std::vector<TPart> parts;
    std::string rewritten;
    std::size_t copied = 0;
    const int valueStart = scanner.ValueStart;
    for (const TInnerLink& link : links)
    {
        const std::string part = value.substr(link.Start, link.Length);
        const std::string* writtenURL =
            m_written.Find(valueStart + static_cast<int>(link.Start), static_cast<int>(link.Length));
        const TLinkDecision decision = HandleLink(&scanner, part, row.tag, row.attribute, writtenURL);
        if (!decision.Convert)
            continue;
        const std::size_t hash = part.find('#');
        const std::string_view fragment =
            hash == std::string::npos ? std::string_view() : std::string_view(part).substr(hash);
        std::string text = LinkText(decision, fragment);
        if (row.kind == TValueKind::Style)
            text = StyleLinkText(text);
        rewritten.append(value, copied, link.Start - copied);
        parts.push_back({valueStart + static_cast<int>(rewritten.size()), static_cast<int>(link.Length),
                         static_cast<int>(text.size()), decision.URL});
        rewritten += text;
        copied = link.Start + link.Length;
    }
    if (parts.empty())
        return;
    rewritten.append(value, copied);
    const int oldLength = static_cast<int>(scanner.Value.size());
    const bool oldNames = m_recordEdits && NamesEveryTagAttribute(scanner.Value);
    const bool heldTagStart = scanner.Value.find('<') != std::string::npos;
    const bool replaced = scanner.ReplaceValue(rewritten);
    if (replaced)
        NoteReplaced(scanner, valueStart, oldLength, heldTagStart, oldNames);
    if (replaced || scanner.Value == rewritten)
    {
        for (TPart& part : parts)
            m_written.Written(part.Start, part.OldLength, part.NewLength, std::move(part.URL));
    }
}

bool TPageScan::ScanTagPair(std::string_view tag, std::string_view tagEnd, std::uint8_t quoteMode,
                            std::string_view attribute, TValueKind kind)
{
    LinksFound = 0;
    NewLinks = 0;
    const std::string tagName(tag);
    const std::string attributeName(attribute);
    THXParser scanner(std::move(PageText), tagName, std::string(tagEnd), attributeName, quoteMode);
    scanner.UseBuffer(std::move(m_spareBuffer));
    bool going = true;
    m_written.BeginScan();
    do
    {
        const std::string value = scanner.FindNext();
        // The written URL stays in place while the link is handled: spans are only moved
        // when the scan passes them.
        if (!value.empty() && kind != TValueKind::Link)
        {
            HandleLinkList(scanner, value, {tag, attribute, kind});
        }
        else
        {
            const std::string* writtenURL =
                value.empty() ? nullptr : m_written.Find(scanner.ValueStart, static_cast<int>(value.size()));
            const TLinkDecision decision = HandleLink(&scanner, value, tagName, attributeName, writtenURL);
            if (decision.Convert)
                Convert(scanner, decision, value);
        }
        if (AfterFind && !AfterFind(*this))
        {
            going = false;
            break;
        }
    } while (scanner.NextFrom != 0 && scanner.Cursor != 0);
    m_written.EndScan();
    PageText = std::move(scanner.CurrentText());
    m_spareBuffer = scanner.TakeBuffer();
    if (going && AfterScan && !AfterScan(*this))
        going = false;
    return going;
}

bool TPageScan::ScanTableRow(const TTagTableRow& row, const std::vector<int>& tagStarts)
{
    LinksFound = 0;
    NewLinks = 0;
    const std::string tagName(row.tag);
    const std::string attributeName(row.attribute);
    THXParser scanner(std::move(PageText), tagName, ">", attributeName, THXParser::kTagMode);
    scanner.UseBuffer(std::move(m_spareBuffer));
    bool going = true;
    m_written.BeginScan();
    m_rowEdits.clear();
    m_rowShift = 0;
    m_recordEdits = true;
    // Each find starts at the tag the scan of this row would stop at next: the same
    // find as the row's own scan makes, without reading the text between the tags.
    for (const int tagStart : tagStarts)
    {
        scanner.Cursor = tagStart + m_rowShift;
        scanner.NextFrom = 0;
        const std::string value = scanner.FindAttribute();
        if (!value.empty() && row.kind != TValueKind::Link)
        {
            HandleLinkList(scanner, value, row);
        }
        else
        {
            const std::string* writtenURL =
                value.empty() ? nullptr : m_written.Find(scanner.ValueStart, static_cast<int>(value.size()));
            const TLinkDecision decision = HandleLink(&scanner, value, tagName, attributeName, writtenURL);
            if (decision.Convert)
                Convert(scanner, decision, value);
        }
        if (AfterFind && !AfterFind(*this))
        {
            going = false;
            break;
        }
    }
    // The row's scan ends with a find that meets no further tag.
    if (going && !tagStarts.empty() && AfterFind && !AfterFind(*this))
        going = false;
    m_recordEdits = false;
    m_written.EndScan();
    PageText = std::move(scanner.CurrentText());
    m_spareBuffer = scanner.TakeBuffer();
    if (going && AfterScan && !AfterScan(*this))
        going = false;
    return going;
}

bool TPageScan::EditsMoveTags() const
{
    // Replacements never add or remove a ">" or a double quote (converted links encode
    // them, and a value holds none). They can only change which tags a later row finds
    // when a replaced value held a "<" (or brought in the attribute name of the row of
    // every tag), or when the value begins a tag's name (a "<" followed only by skipped
    // bytes right before it).
    int shift = 0;
    for (const TRowEdit& edit : m_rowEdits)
    {
        if (edit.HeldTagStart)
            return true;
        int at = edit.Start + shift - 1; // the byte before the value, in the rewritten text
        while (at >= 1)
        {
            const char c = PageText[static_cast<std::size_t>(at - 1)];
            if (c == '<')
                return true;
            if (c != '\n' && c != '\r' && c != ' ' && c != '"' && c != '\'' && c != '=')
                break;
            --at;
        }
        shift += edit.NewLength - edit.OldLength;
    }
    return false;
}

bool TPageScan::ScanTagTable()
{
    std::vector<std::string_view> names;
    std::vector<std::string_view> attributes;
    names.reserve(kTagTable.size());
    attributes.reserve(kTagTable.size());
    for (const TTagTableRow& row : kTagTable)
    {
        names.push_back(row.tag);
        attributes.push_back(row.attribute);
    }
    std::vector<std::vector<int>> tagStarts = THXParser::FindTagsOfNames(PageText, names, attributes);
    // A page too large to scan, or one whose rewritten links changed its tags, is
    // scanned row by row.
    bool onePass = tagStarts.size() == kTagTable.size();
    for (std::size_t index = 0; index < kTagTable.size(); ++index)
    {
        const TTagTableRow& row = kTagTable[index];
        if (!onePass)
        {
            if (!ScanTagPair(row.tag, ">", THXParser::kTagMode, row.attribute, row.kind))
                return false;
            continue;
        }
        if (!ScanTableRow(row, tagStarts[index]))
            return false;
        if (m_rowEdits.empty())
            continue;
        if (EditsMoveTags())
        {
            onePass = false;
            continue;
        }
        // The tags of the later rows move with the replacements before them.
        for (std::size_t later = index + 1; later < kTagTable.size(); ++later)
        {
            std::size_t edit = 0;
            int shift = 0;
            for (int& position : tagStarts[later])
            {
                for (; edit < m_rowEdits.size() && m_rowEdits[edit].Start < position; ++edit)
                    shift += m_rowEdits[edit].NewLength - m_rowEdits[edit].OldLength;
                position += shift;
            }
        }
    }
    return true;
}

bool TPageScan::ScanStyleText(const std::vector<TInnerLink>& parts)
{
    LinksFound = 0;
    NewLinks = 0;
    m_written.BeginScan();
    std::string rewritten;
    std::size_t copied = 0;
    bool going = true;
    for (const TInnerLink& part : parts)
    {
        const std::string_view text = std::string_view(PageText).substr(part.Start, part.Length);
        for (const TInnerLink& link : FindStyleLinks(text))
        {
            const std::size_t at = part.Start + link.Start;
            const std::string value = PageText.substr(at, link.Length);
            // Places in the text as rewritten so far.
            const int place = static_cast<int>(rewritten.size() + (at - copied)) + 1;
            const std::string* writtenURL = m_written.Find(place, static_cast<int>(link.Length));
            const TLinkDecision decision = HandleLink(nullptr, value, "STYLE", "SRC", writtenURL);
            if (decision.Convert)
            {
                const std::size_t hash = value.find('#');
                const std::string_view fragment =
                    hash == std::string::npos ? std::string_view() : std::string_view(value).substr(hash);
                const std::string newText = StyleLinkText(LinkText(decision, fragment));
                rewritten.append(PageText, copied, at - copied);
                m_written.Written(static_cast<int>(rewritten.size()) + 1, static_cast<int>(link.Length),
                                  static_cast<int>(newText.size()), decision.URL);
                rewritten += newText;
                copied = at + link.Length;
            }
            if (AfterFind && !AfterFind(*this))
            {
                going = false;
                break;
            }
        }
        if (!going)
            break;
    }
    if (copied > 0)
    {
        rewritten.append(PageText, copied);
        PageText.swap(rewritten);
    }
    m_written.EndScan();
    if (going && AfterScan && !AfterScan(*this))
        going = false;
    return going;
}

bool TPageScan::ScanStyleBlocks()
{
    const std::vector<TInnerLink> blocks = FindStyleBlocks(PageText);
    return blocks.empty() || ScanStyleText(blocks);
}

bool TPageScan::ScanLinks()
{
    if (m_facts.StyleSheet)
        return ScanStyleText({{0, PageText.size()}});
    ReadBase();
    ReadTitle();
    if (m_aggressiveParser != 2)
    {
        if (!ScanTagTable() || !ScanStyleBlocks())
            return false;
    }
    if (m_aggressiveParser == 1 || m_aggressiveParser == 2)
    {
        const auto mode = static_cast<std::uint8_t>(m_aggressiveParser);
        for (const std::string_view quote : {std::string_view("'"), std::string_view("\"")})
        {
            if (!ScanTagPair(quote, quote, mode, ""))
                return false;
        }
    }
    return true;
}

} // namespace hx
