#pragma once

// The tag table: which tag and attribute carries a link, and what kind of value it
// holds. The page scans find links by it and the relinking of saved pages finds them
// again by the same table, so both read one list.

#include <array>
#include <string_view>

namespace hx
{

// What an attribute value of a tag table row holds.
enum class TValueKind
{
    Link,   // one link
    Srcset, // a list of image candidates, each an address and its descriptors
    Style,  // style sheet text with url(...) links
};

// One row of the tag table: the tag and the attribute holding the link.
struct TTagTableRow
{
    std::string_view tag;
    std::string_view attribute;
    TValueKind kind = TValueKind::Link;
};

// The tags scanned for links, in scan order. Names match as prefixes: the A row also
// stops at AREA, APPLET, ABBR and ADDRESS tags, the FRAME row at FRAMESET tags. The
// rows after LINK are the tags of today's pages (responsive images, media, embedded
// objects, style attributes); the empty tag name of the last row matches every tag.
inline constexpr std::array<TTagTableRow, 21> kTagTable = {{
    {"FRAME", "SRC"},
    {"A", "HREF"},
    {"IMG", "SRC"},
    {"INPUT", "SRC"},
    {"META", "URL"},
    {"BODY", "BACKGROUND"},
    {"BGSOUND", "SRC"},
    {"AREA", "HREF"},
    {"APPLET", "CODE"},
    {"LINK", "HREF"},
    {"IMG", "SRCSET", TValueKind::Srcset},
    {"SOURCE", "SRCSET", TValueKind::Srcset},
    {"SOURCE", "SRC"},
    {"VIDEO", "POSTER"},
    {"VIDEO", "SRC"},
    {"AUDIO", "SRC"},
    {"TRACK", "SRC"},
    {"EMBED", "SRC"},
    {"OBJECT", "DATA"},
    {"LINK", "IMAGESRCSET", TValueKind::Srcset},
    {"", "STYLE", TValueKind::Style},
}};

} // namespace hx
