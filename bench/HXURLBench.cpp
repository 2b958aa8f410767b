// Cost of the URL rules the crawl runs for every link it sees: splitting,
// resolving and normalising a link against its page, and mapping a URL to its
// local file. Each benchmark runs over the same 10,000 generated URLs per
// iteration; "time_per_url" is the CPU time per URL.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/HXURL.h"

namespace
{

constexpr std::size_t kURLCount = 10000;

// Small deterministic generator so every run measures the same URLs.
class TSequence
{
public:
    std::uint32_t Next(std::uint32_t bound)
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return static_cast<std::uint32_t>(m_state % bound);
    }

    template <typename List>
    const auto& Pick(const List& list)
    {
        return list[Next(static_cast<std::uint32_t>(list.size()))];
    }

private:
    std::uint64_t m_state = 0x9E3779B97F4A7C15ULL;
};

struct TWorkload
{
    std::vector<std::string> URLs;  // absolute, normalised page and file URLs
    std::vector<std::string> Bases; // directory URL of the page each link is found on
    std::vector<std::string> Links; // links as written in pages
};

TWorkload MakeWorkload()
{
    static constexpr std::array<std::string_view, 7> hosts = {"www.example.com",
                                                              "cdn.example.net",
                                                              "news.site.org",
                                                              "shop.example.co.uk",
                                                              "intranet",
                                                              "www.example.com:8080",
                                                              "static.images.example-cdn.com"};
    static constexpr std::array<std::string_view, 12> folders = {
        "docs", "images", "2024", "products", "en", "api", "static", "css", "a%20b", "archive", "v1.2", "users"};
    static constexpr std::array<std::string_view, 12> documents = {
        "index.html",  "page.htm", "photo.jpg", "style.css", "app.js",   "report.pdf",
        "default.asp", "about",    "contact",   "",          "logo.gif", "data.json"};
    static constexpr std::array<std::string_view, 6> queries = {
        "?id=123",       "?q=search+term&amp;page=2", "?type=gif&w=100",
        "?u=/path/to/x", "?session=ABCDEF0123456789", "?p=1"};
    static constexpr std::array<std::string_view, 3> fragments = {"#top", "#section-2", "#"};

    TSequence random;
    const auto makePath = [&random]
    {
        std::string path;
        const auto depth = random.Next(7);
        for (std::uint32_t i = 0; i < depth; ++i)
        {
            path += random.Pick(folders);
            path += '/';
        }
        return path;
    };
    const auto makeTail = [&random]
    {
        std::string tail(random.Pick(documents));
        if (random.Next(4) == 0)
        {
            tail += random.Pick(queries);
        }
        if (random.Next(6) == 0)
        {
            tail += random.Pick(fragments);
        }
        return tail;
    };

    TWorkload work;
    work.URLs.reserve(kURLCount);
    for (std::size_t i = 0; i < kURLCount; ++i)
    {
        std::string url = "http://";
        url += random.Pick(hosts);
        url += '/';
        url += makePath();
        url += makeTail();
        hx::NormalizeURL(url);
        work.URLs.push_back(std::move(url));
    }
    for (std::size_t i = 0; i < kURLCount; ++i)
    {
        work.Bases.push_back(hx::DirectoryURL(hx::StripFragment(work.URLs[random.Next(kURLCount)])));
        std::string link;
        switch (random.Next(6))
        {
        case 0:
            for (auto up = random.Next(4) + 1; up > 0; --up)
            {
                link += "../";
            }
            link += makePath();
            link += makeTail();
            break;
        case 1:
            link = "./";
            link += makePath();
            link += makeTail();
            break;
        case 2:
            link = "/";
            link += makePath();
            link += makeTail();
            break;
        case 3:
            link = std::string(random.Pick(queries));
            break;
        case 4:
            link = work.URLs[random.Next(kURLCount)];
            break;
        default:
            link = makePath();
            link += makeTail();
            break;
        }
        work.Links.push_back(std::move(link));
    }
    return work;
}

const TWorkload& Workload()
{
    static const TWorkload work = MakeWorkload();
    return work;
}

void ReportPerURL(benchmark::State& state)
{
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kURLCount));
    // Inverted rate: seconds per URL, printed with an SI prefix ("175n" is 175 ns).
    state.counters["time_per_url"] = benchmark::Counter(
        static_cast<double>(kURLCount), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_SplitURL(benchmark::State& state)
{
    const auto& work = Workload();
    for (auto _ : state)
    {
        for (const auto& url : work.URLs)
        {
            benchmark::DoNotOptimize(hx::SplitURL(url));
        }
    }
    ReportPerURL(state);
}
BENCHMARK(BM_SplitURL)->Unit(benchmark::kMillisecond);

void BM_ResolveAndNormalize(benchmark::State& state)
{
    const auto& work = Workload();
    for (auto _ : state)
    {
        for (std::size_t i = 0; i < kURLCount; ++i)
        {
            benchmark::DoNotOptimize(hx::ResolveAndNormalize(work.Links[i], work.Bases[i]));
        }
    }
    ReportPerURL(state);
}
BENCHMARK(BM_ResolveAndNormalize)->Unit(benchmark::kMillisecond);

void BM_LocalFileName(benchmark::State& state)
{
    const auto& work = Workload();
    const std::string root = "/home/user/Downloads/Harbex/";
    for (auto _ : state)
    {
        for (std::size_t i = 0; i < kURLCount; ++i)
        {
            benchmark::DoNotOptimize(hx::LocalFileName(root, work.Bases[i], work.URLs[i]));
        }
    }
    ReportPerURL(state);
}
BENCHMARK(BM_LocalFileName)->Unit(benchmark::kMillisecond);

void BM_LocalLink(benchmark::State& state)
{
    const auto& work = Workload();
    for (auto _ : state)
    {
        for (std::size_t i = 0; i < kURLCount; ++i)
        {
            benchmark::DoNotOptimize(hx::LocalLink(work.URLs[i], work.Bases[i]));
        }
    }
    ReportPerURL(state);
}
BENCHMARK(BM_LocalLink)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
