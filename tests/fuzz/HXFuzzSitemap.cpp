// Fuzz target: sitemap XML (and plain-text lists, and gzip data). The file is read
// as the sitemap reader reads a fetched one; what it keeps stays within its bounds.

#include <cstddef>
#include <cstdint>
#include <string>

#include "HXFuzzSupport.h"
#include "engine/HXSitemaps.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using hx::fuzz::Check;
    const std::string text = hx::SitemapText(std::string(hx::fuzz::InputText(data, size)));
    Check(text.size() <= hx::kMaxSitemapBytes, "an inflated sitemap past its bound");
    const hx::TSitemapFile file = hx::ParseSitemap(text);
    Check(file.Locations.size() <= hx::kMaxSitemapURLs, "more addresses than the bound");
    for (const std::string& location : file.Locations)
        Check(!location.empty() && location.size() <= hx::kMaxSitemapLocBytes, "an address out of bounds");
    Check(file.Kind != hx::TSitemapKind::None || file.Locations.empty(), "addresses from a file that is no sitemap");
    return 0;
}
