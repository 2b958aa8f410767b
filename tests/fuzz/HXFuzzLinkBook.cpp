// Fuzz target: the link book kept beside a task's queue. The file is read with the
// queue's addresses (here: every address is known, except those starting with "x");
// the book it gives is written and read back as the same book.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "HXFuzzSupport.h"
#include "core/HXLinkBook.h"

namespace
{

using TPair = hx::THXLinkBook::TPair;

// The queue the book names items of: one pair index per address.
class TQueue
{
public:
    std::optional<TPair> PairOf(std::string_view url)
    {
        if (url.starts_with("x"))
            return std::nullopt;
        const auto [place, added] = m_pairs.try_emplace(std::string(url), static_cast<TPair>(m_urls.size()));
        if (added)
            m_urls.push_back(place->first);
        return place->second;
    }
    std::string URLOf(TPair pair) const { return m_urls.at(pair); }

private:
    std::map<std::string, TPair, std::less<>> m_pairs;
    std::vector<std::string> m_urls;
};

// The book as (target, page, addressed) address triples, sorted.
std::vector<std::tuple<std::string, std::string, bool>> Contents(const hx::THXLinkBook& book, const TQueue& queue)
{
    std::vector<std::tuple<std::string, std::string, bool>> contents;
    book.ForEach(
        [&](TPair target, const hx::THXLinkBook::TLinks& links)
        {
            for (const TPair page : links.Local)
                contents.emplace_back(queue.URLOf(target), queue.URLOf(page), false);
            for (const TPair page : links.Address)
                contents.emplace_back(queue.URLOf(target), queue.URLOf(page), true);
        });
    std::sort(contents.begin(), contents.end());
    return contents;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using hx::fuzz::Check;
    const auto folder = hx::fuzz::FreshFolder();
    const std::string file = hx::fuzz::WriteFile(folder / "Task.links", hx::fuzz::InputText(data, size));

    TQueue queue;
    hx::THXLinkBook book;
    book.Load(file, [&](std::string_view url) { return queue.PairOf(url); });
    const auto contents = Contents(book, queue);

    const std::string saved = (folder / "Saved.links").string();
    Check(book.Save(saved, [&](TPair pair) { return queue.URLOf(pair); }), "the book cannot be written");
    hx::THXLinkBook again;
    again.Load(saved, [&](std::string_view url) { return queue.PairOf(url); });
    Check(Contents(again, queue) == contents, "a written book reads back other links");
    return 0;
}
