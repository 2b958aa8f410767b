// Fuzz target: the style-sheet scanner. The url(...) and @import links of a sheet,
// the <style> blocks of a page and the candidates of a srcset value are found in text
// order, each inside the text, none overlapping the one before.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "HXFuzzSupport.h"
#include "engine/HXThreadParseRewrite.h"
#include "engine/HXThreadParseStyle.h"

namespace
{

using hx::fuzz::Check;

void CheckLinks(const std::vector<hx::TInnerLink>& links, std::string_view text, bool mayBeEmpty)
{
    std::size_t end = 0;
    for (const hx::TInnerLink& link : links)
    {
        Check(link.Start >= end, "links overlap or are out of order");
        Check(link.Start <= text.size() && link.Length <= text.size() - link.Start, "a link lies outside the text");
        Check(mayBeEmpty || link.Length > 0, "an empty link");
        end = link.Start + link.Length;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = hx::fuzz::InputText(data, size);
    CheckLinks(hx::FindStyleLinks(text), text, false);
    CheckLinks(hx::FindSrcsetLinks(text), text, false);
    CheckLinks(hx::FindStyleBlocks(text), text, true);
    (void)hx::IsStyleSheetURL(text);
    // A link as written into a sheet: a page link with the parentheses encoded too.
    const std::string written = hx::StyleLinkText(hx::PageLinkText(text));
    Check(written.find_first_of("()\"' ") == std::string::npos, "a style link keeps a byte that ends it");
    return 0;
}
