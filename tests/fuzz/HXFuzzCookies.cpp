// Fuzz target: Set-Cookie lines and cookies.txt. The input's first part is a list of
// Set-Cookie values (one a line) received for an address; the second part is a
// cookies.txt file. The jar keeps its bounds, and what it writes reads back the same.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "HXFuzzSupport.h"
#include "core/HXCookieJar.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using hx::fuzz::Check;
    constexpr std::int64_t kNow = 1'700'000'000;
    const auto pieces = hx::fuzz::SplitInput(hx::fuzz::InputText(data, size), 2);

    hx::THXCookieJar jar;
    std::string_view lines = pieces[0];
    while (!lines.empty())
    {
        const std::size_t end = std::min(lines.find('\n'), lines.size());
        jar.SetFromHeader("https://www.example.co.uk/shop/cart?x=1", lines.substr(0, end), kNow);
        (void)hx::ParseCookieDate(lines.substr(0, end));
        lines.remove_prefix(std::min(end + 1, lines.size()));
    }

    const auto folder = hx::fuzz::FreshFolder();
    const std::string file = hx::fuzz::WriteFile(folder / "cookies.txt", pieces[1]);
    std::string error;
    (void)jar.LoadFile(file, error, kNow);
    Check(jar.Count() <= hx::kMaxCookies, "more cookies than the bound");
    for (const hx::THXCookie& cookie : jar.Cookies())
        Check(cookie.Name.size() + cookie.Value.size() <= hx::kMaxCookieBytes, "a cookie past its size bound");
    (void)jar.CookieHeader("https://www.example.co.uk/shop/cart", kNow);

    // What the jar writes, a second jar reads back as the same cookies.
    const std::string saved = jar.FileText(kNow);
    hx::THXCookieJar again;
    Check(again.LoadFile(hx::fuzz::WriteFile(folder / "again.txt", saved), error, kNow), "a written jar is unreadable");
    Check(again.FileText(kNow) == saved, "a written jar does not read back the same");
    return 0;
}
