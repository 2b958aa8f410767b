#include "engine/HXThreadParseRewrite.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "core/HXStrings.h"
#include "core/HXURL.h"
#include "engine/HXParser.h"
#include "engine/HXThreadParseStyle.h"
#include "engine/HXThreadParseTags.h"

namespace hx
{

namespace
{

constexpr std::string_view kScriptOpen = "<script";
constexpr std::string_view kScriptClose = "/script";
constexpr int kMarkLength = 7;

bool EncodedInPage(unsigned char byte)
{
    if (byte <= 0x20 || byte >= 0x7F)
        return true;
    switch (byte)
    {
    case '%':
    case '#':
    case '?':
    case '&':
    case '"':
    case '\'':
    case '<':
    case '>':
    case '\\':
    case '`':
        return true;
    default:
        return false;
    }
}

std::vector<int> Starts(std::string_view text, std::string_view mark)
{
    std::vector<int> starts;
    for (int at = detail::FindNoCaseFast(mark, text, 1); at != 0; at = detail::FindNoCaseFast(mark, text, at + 1))
        starts.push_back(at);
    return starts;
}

// The address as an attribute value between double quotes.
std::string AttributeText(std::string_view address)
{
    if (address.empty())
        return "about:blank";
    std::string text;
    for (const char c : address)
    {
        switch (c)
        {
        case '&':
            text += "&amp;";
            break;
        case '"':
            text += "&quot;";
            break;
        case '<':
            text += "&lt;";
            break;
        case '>':
            text += "&gt;";
            break;
        case '\r':
        case '\n':
            break;
        default:
            text += c;
        }
    }
    return text;
}

// The first tag named tagName (prefix match) outside SCRIPT blocks: its "<" and its ">",
// or 0 and 0.
std::pair<int, int> FirstTagOutsideScripts(std::string& text, std::string_view tagName, const TScriptRanges& scripts)
{
    THXParser parser(std::move(text), std::string(tagName), ">", "", THXParser::kTagMode);
    std::pair<int, int> found{0, 0};
    do
    {
        parser.FindNext();
        if (parser.TagStart != 0 && parser.TagEndPos != 0 && !scripts.Contains(parser.TagStart))
        {
            found = {parser.TagStart, parser.TagEndPos};
            break;
        }
    } while (parser.NextFrom != 0 && parser.Cursor != 0);
    text = std::move(parser.CurrentText());
    return found;
}

} // namespace

std::string PageLinkText(std::string_view localLink)
{
    static constexpr std::string_view digits = "0123456789ABCDEF";
    std::string text;
    text.reserve(localLink.size() + 16);
    for (const char c : localLink)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (EncodedInPage(byte))
        {
            text += '%';
            text += digits[byte >> 4];
            text += digits[byte & 0xF];
        }
        else
        {
            text += c;
        }
    }
    return text;
}

std::string ConvertedLink(std::string_view url, std::string_view directory, std::string_view fragment)
{
    std::string link = PageLinkText(LocalLink(StripFragment(url), directory));
    link += fragment;
    return link;
}

TScriptRanges::TScriptRanges(std::string_view text)
    : m_opens(Starts(text, kScriptOpen))
    , m_closes(Starts(text, kScriptClose))
{
}

bool TScriptRanges::Contains(int position) const
{
    // The last "<script" that ends at or before the position.
    const auto open = std::upper_bound(m_opens.begin(), m_opens.end(), position - kMarkLength + 1);
    if (open == m_opens.begin())
        return false;
    const auto close = std::lower_bound(m_closes.begin(), m_closes.end(), *std::prev(open));
    return close != m_closes.end() && *close >= position;
}

std::string AdBannerBlock(std::string_view bannerAddress)
{
    std::string block(kBannerStartComment);
    block += "\r\n<table width=\"100%\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\"><tr><td align=\"center\">"
             "<iframe src=\"";
    block += AttributeText(bannerAddress);
    block += "\" width=\"100%\" height=\"60\" frameborder=\"0\" marginwidth=\"0\" marginheight=\"0\" "
             "scrolling=\"no\"></iframe></td></tr></table>\r\n";
    block += kBannerEndComment;
    block += "\r\n";
    return block;
}

std::string AdBannerLayer(std::string_view bannerAddress)
{
    std::string layer = "<div style=\"position:absolute; left:0px; top:0px; width:600px; visibility:hidden\">"
                        "<iframe src=\"";
    layer += AttributeText(bannerAddress);
    layer += "\" width=\"600\" height=\"60\" frameborder=\"0\" scrolling=\"no\"></iframe></div>\r\n";
    return layer;
}

int InsertAdBanner(std::string& pageText, std::string_view bannerAddress)
{
    const TScriptRanges scripts(pageText);
    const int bodyEnd = FirstTagOutsideScripts(pageText, "BODY", scripts).second;
    // "/" is not skipped after "<": a closing tag is found by its name with the slash.
    const int closingStart = FirstTagOutsideScripts(pageText, "/BODY", scripts).first;

    // The later position first, so the earlier one still stands where it was found; at
    // the same position ("<body></body>") the layer goes in first and so stays behind the block.
    const auto bodyAt = static_cast<std::size_t>(bodyEnd);
    const auto closingAt = static_cast<std::size_t>(closingStart - 1);
    const std::string block = bodyEnd != 0 ? "\r\n" + AdBannerBlock(bannerAddress) : std::string();
    const std::string layer = closingStart != 0 ? AdBannerLayer(bannerAddress) : std::string();
    if (bodyEnd != 0 && closingStart != 0 && bodyAt > closingAt)
    {
        pageText.insert(bodyAt, block);
        pageText.insert(closingAt, layer);
        return 2;
    }
    if (closingStart != 0)
        pageText.insert(closingAt, layer);
    if (bodyEnd != 0)
        pageText.insert(bodyAt, block);
    return (bodyEnd != 0 ? 1 : 0) + (closingStart != 0 ? 1 : 0);
}

std::string PageAddressText(std::string_view url)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(url.size());
    for (const char c : url)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '\'' || c == '<' || c == '>' || c == '`')
        {
            text += '%';
            text += kHex[byte >> 4];
            text += kHex[byte & 0x0F];
        }
        else
        {
            text += c;
        }
    }
    return text;
}

int RelinkSavedPage(std::string& pageText, std::string_view pageURL, const std::vector<TRelink>& links)
{
    // The text each link has now (without fragment), and the text it gets; in style text
    // both as they are written there.
    const std::string folder = DirectoryURL(std::string(pageURL));
    std::unordered_map<std::string, std::string> change;
    std::unordered_map<std::string, std::string> styleChange;
    for (const TRelink& link : links)
    {
        const std::string local = ConvertedLink(link.URL, folder, "");
        const std::string address = PageAddressText(link.URL);
        if (link.Local)
        {
            change.insert_or_assign(address, local);
            styleChange.insert_or_assign(StyleLinkText(address), StyleLinkText(local));
        }
        else
        {
            change.insert_or_assign(local, address);
            styleChange.insert_or_assign(StyleLinkText(local), StyleLinkText(address));
        }
    }
    if (change.empty())
        return 0;
    int changed = 0;
    // A value that holds several links (a srcset list, style text), each changed on its own.
    const auto relinkInner = [&](std::string_view value, TValueKind kind)
    {
        const std::unordered_map<std::string, std::string>& map = kind == TValueKind::Style ? styleChange : change;
        std::string relinked;
        std::size_t copied = 0;
        for (const TInnerLink& link : kind == TValueKind::Srcset ? FindSrcsetLinks(value) : FindStyleLinks(value))
        {
            const std::string_view text = value.substr(link.Start, link.Length);
            const std::size_t hash = text.find('#');
            const auto found = map.find(std::string(text.substr(0, hash)));
            if (found == map.end())
                continue;
            relinked.append(value.substr(copied, link.Start - copied));
            relinked += found->second;
            if (hash != std::string_view::npos)
                relinked.append(text.substr(hash));
            copied = link.Start + link.Length;
            ++changed;
        }
        if (copied == 0)
            return std::string(value);
        relinked.append(value.substr(copied));
        return relinked;
    };
    const auto scan =
        [&](std::string tag, std::string tagEnd, std::string attribute, std::uint8_t mode, TValueKind kind)
    {
        THXParser scanner(std::move(pageText), std::move(tag), std::move(tagEnd), std::move(attribute), mode);
        do
        {
            const std::string value = scanner.FindNext();
            if (value.empty())
                continue;
            if (kind != TValueKind::Link)
            {
                scanner.ReplaceValue(relinkInner(value, kind));
                continue;
            }
            const std::size_t hash = value.find('#');
            const auto found = change.find(value.substr(0, hash));
            if (found == change.end())
                continue;
            const std::string_view fragment =
                hash == std::string::npos ? std::string_view() : std::string_view(value).substr(hash);
            if (scanner.ReplaceValue(found->second + std::string(fragment)))
                ++changed;
        } while (scanner.NextFrom != 0 && scanner.Cursor != 0);
        pageText = std::move(scanner.CurrentText());
    };
    for (const TTagTableRow& row : kTagTable)
        scan(std::string(row.tag), ">", std::string(row.attribute), THXParser::kTagMode, row.kind);
    // The <style> blocks, from the last so that the places of the earlier ones stay.
    const std::vector<TInnerLink> blocks = FindStyleBlocks(pageText);
    for (auto block = blocks.rbegin(); block != blocks.rend(); ++block)
    {
        const std::string text =
            relinkInner(std::string_view(pageText).substr(block->Start, block->Length), TValueKind::Style);
        pageText.replace(block->Start, block->Length, text);
    }
    for (const char* quote : {"'", "\""})
        scan(quote, quote, "", THXParser::kQuotedEverywhere, TValueKind::Link);
    return changed;
}

} // namespace hx
