#pragma once

// Links that do not stand alone in an attribute value: the url(...) and @import links
// of style sheets (.css files, <style> blocks and style attributes of pages) and the
// candidate lists of srcset attributes. These functions only find where the links
// stand; the parse worker decides about each link and rewrites it in place.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace hx
{

// One link inside a longer text: its bytes are text.substr(Start, Length).
struct TInnerLink
{
    std::size_t Start = 0;
    std::size_t Length = 0;
};

// The links of a style sheet text, in text order: every url(...) (the address in
// double or single quotes, or unquoted with blanks around it trimmed) and every
// @import "x" / @import 'x' / @import url(x). Comments are skipped, as are strings
// that are not a link (a url( inside a content: "..." is text), empty links and
// data: addresses.
std::vector<TInnerLink> FindStyleLinks(std::string_view css);

// The candidate addresses of a srcset value ("a.jpg 1x, b.jpg 2x" or
// "a.jpg 480w, b.jpg 800w"), in order, by the rule browsers follow: candidates are
// separated by commas; an address runs to the next blank, so it may hold commas
// itself, but trailing commas end it (and then the candidate has no descriptor).
// Empty candidates and data: addresses are left out.
std::vector<TInnerLink> FindSrcsetLinks(std::string_view value);

// Whether the URL names a style sheet: its path (without query or fragment) ends in ".css".
bool IsStyleSheetURL(std::string_view url);

// A link as written into a style sheet: a page link (PageLinkText) with "(" and ")"
// also encoded, so that it stands in an unquoted url(...) too.
std::string StyleLinkText(std::string_view pageLink);

// Ends a style sheet file whose links were made local, so that a later run, which
// finds it fetched as before, leaves it as it is.
inline constexpr std::string_view kSheetRewrittenMark = "\n/* Links made local by Harbex */\n";

// The <style> blocks of a page: for each, where its text begins (after the ">" of the
// opening tag) and how long it is (up to the "</style" that ends it, letter case
// ignored). A block without an end is left out.
std::vector<TInnerLink> FindStyleBlocks(std::string_view page);

} // namespace hx
