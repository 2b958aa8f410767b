// Fuzz target: URL normalizing and resolving. The input is a link and a base address
// (cut at the first zero byte); the link is resolved against the base, normalized and
// turned into the local names and links a saved copy uses.

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "HXFuzzSupport.h"
#include "core/HXURL.h"

namespace
{

std::vector<std::string_view> Names(std::string_view path)
{
    std::vector<std::string_view> names;
    std::size_t from = 0;
    while (from <= path.size())
    {
        const std::size_t slash = std::min(path.find('/', from), path.size());
        names.push_back(path.substr(from, slash - from));
        from = slash + 1;
    }
    return names;
}

// Every name of a local link is a valid file name; the only ".." are the leading steps up.
void CheckLocalLink(std::string_view link)
{
    using hx::fuzz::Check;
    bool leading = true;
    for (const std::string_view name : Names(link))
    {
        if (leading && name == "..")
            continue;
        leading = false;
        Check(!name.empty() && name != "." && name != "..", "a local link holds an unusable name");
        Check(name.size() <= hx::kMaxLocalNameBytes, "a local link holds a name that is too long");
        for (const char c : name)
            Check(static_cast<unsigned char>(c) >= 0x20, "a local link holds a control byte");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using hx::fuzz::Check;
    const auto pieces = hx::fuzz::SplitInput(hx::fuzz::InputText(data, size), 2);
    const std::string_view link = pieces[0];
    const std::string_view base = pieces[1];

    (void)hx::SplitURL(link);
    const std::string resolved = hx::ResolveLink(link, base);
    const std::string address = hx::ResolveAndNormalize(link, base);
    std::string normalized = resolved;
    if (hx::NormalizeURL(normalized))
    {
        // A normal address stays as it is when normalized again.
        std::string again = normalized;
        Check(hx::NormalizeURL(again), "a normalized address is refused when normalized again");
        Check(again == normalized, "normalizing is not stable");
    }
    std::string adopted(link);
    hx::AdoptPageScheme(adopted, base);

    (void)hx::URLProtocol(address);
    (void)hx::URLHost(address);
    (void)hx::URLPath(address);
    (void)hx::URLDocument(address);
    (void)hx::URLQuery(address);
    (void)hx::URLFragment(address);
    (void)hx::DirectoryURL(address);
    (void)hx::AncestorURL(address, 2);
    (void)hx::StripFragment(address);
    (void)hx::URLExtension(address);
    (void)hx::SiteShortName(address);
    (void)hx::RelativePath(address, base);
    if (!address.empty())
        CheckLocalLink(hx::LocalLink(address, base));
    const std::string local = hx::LocalFileName("/copy/", base, address);
    Check(local.rfind("/copy/", 0) == 0, "a local file lies outside the copy");
    for (const std::string_view name : Names(std::string_view(local).substr(6)))
        Check(name != "..", "a local file climbs out of the copy");
    (void)hx::EscapeLocalName(link);
    (void)hx::ShortenLocalName(std::string(link));
    return 0;
}
