#pragma once

// Page rewriting of the parse worker: the text that replaces a converted link, the SCRIPT
// blocks of a page, and the ad banner inserted before a page is saved.

#include <string>
#include <string_view>
#include <vector>

namespace hx
{

// The comment lines that enclose the inserted banner block.
inline constexpr std::string_view kBannerStartComment = "<!-- Tavrolin Harbex Ad Banner Insert -->";
inline constexpr std::string_view kBannerEndComment = "<!-- End of Tavrolin Harbex Ad Banner Insert-->";

// A local link (a file-system path from LocalLink) as it is written into a page:
// "%", "#", "?", "&", quotes, "<", ">", "\", "`", blanks, control bytes and every byte
// above 0x7F become "%XX", so a browser finds the UTF-8 name on disk whatever the
// page's charset and whatever quotes the link stands between.
std::string PageLinkText(std::string_view localLink);

// The text that replaces a converted link: the relative link from the folder of the
// directory URL to the local file of the URL, as PageLinkText writes it, followed by the
// fragment the link had ("#..." or empty). The directory is the one the saved page
// resolves the link against: the page's own folder (its BASE is removed when it is saved),
// or for an applet's CODE the folder of its CODEBASE.
std::string ConvertedLink(std::string_view url, std::string_view directory, std::string_view fragment);

// An address as it is written into a page in place of a local link: bytes above 0x7F,
// blanks, control bytes, quotes, "<", ">" and "`" become "%XX"; the rest stays.
std::string PageAddressText(std::string_view url);

// A link of a saved page to change: to the address of the URL (Local false) or back to
// the local file of the URL (Local true).
struct TRelink
{
    std::string URL; // without fragment
    bool Local = false;
};

// Changes the links of a saved page (of the page URL; its local links are relative to
// its own folder, as ConvertedLink writes them) that lead to the given URLs: a local
// link to a URL with Local false becomes its address (PageAddressText), an address of
// a URL with Local true becomes the local link; fragments stay. Links are found as the
// page scans find them: the tag table (each srcset candidate and style link on its own),
// the <style> blocks and quoted texts. Returns how many changed.
int RelinkSavedPage(std::string& pageText, std::string_view pageURL, const std::vector<TRelink>& links);

// The SCRIPT blocks of one text, found once: a position lies inside a block when the
// last "<script" ending at or before it and the first "/script" at or after that
// "<script" both exist and enclose it (letter case ignored).
class TScriptRanges
{
public:
    explicit TScriptRanges(std::string_view text);

    // Positions are 1-based.
    bool Contains(int position) const;

private:
    std::vector<int> m_opens;
    std::vector<int> m_closes;
};

// The banner block (enclosed in the two comment lines: a full-width one-row table holding
// a frame 60 pixels high) and the hidden positioned layer of width 600, both showing the
// banner page; "about:blank" when the address is empty.
std::string AdBannerBlock(std::string_view bannerAddress);
std::string AdBannerLayer(std::string_view bannerAddress);

// Inserts the block right after the ">" of the first BODY tag and the layer right before
// the first closing BODY tag, each only when such a tag exists outside SCRIPT blocks.
// Returns how many of the two pieces were inserted.
int InsertAdBanner(std::string& pageText, std::string_view bannerAddress);

} // namespace hx
