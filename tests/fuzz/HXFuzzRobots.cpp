// Fuzz target: robots.txt. The file is read for an agent name (cut from the input at
// its first zero byte), every path is asked about and the Sitemap lines are taken.
// The delay stays within its bound, and matching ends in bounded time whatever the
// patterns hold.

#include <cstddef>
#include <cstdint>
#include <string>

#include "HXFuzzSupport.h"
#include "engine/HXRobots.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using hx::fuzz::Check;
    const auto pieces = hx::fuzz::SplitInput(hx::fuzz::InputText(data, size), 3);
    const std::string_view text = pieces[0];
    const std::string_view agent = pieces[1].empty() ? std::string_view("Harbex/2.6") : pieces[1];
    const std::string path = "/" + std::string(pieces[2]);

    const hx::TRobotsRules rules = hx::TRobotsRules::Parse(text, agent);
    Check(rules.CrawlDelay().count() >= 0 && rules.CrawlDelay() <= hx::kMaxCrawlDelay,
          "the crawl delay is out of bounds");
    (void)rules.Allows(path);
    (void)rules.Allows("/");
    const auto sitemaps = hx::RobotsSitemaps(text);
    Check(sitemaps.size() <= hx::kMaxRobotsSitemaps, "more sitemaps than the bound");
    (void)hx::RobotsSite(path);
    (void)hx::RobotsPath("http://example.test" + path);
    return 0;
}
