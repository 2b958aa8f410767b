#pragma once

// THXLinkBook: the saved pages that hold a local link to an item that was not fetched
// when the page was written. When a run ends, the links to items whose fetch failed go
// back to the items' addresses (a local link to a file that does not exist leads
// nowhere), and once a later run fetches such an item its links are made local again.
// An item fetched in time is forgotten, so the book holds little more than the links to
// failed items. Items are named by their place in the task's queue (pair index); the
// file kept beside the queue file between runs names them by URL.
//
// Owner thread only.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace hx
{

class THXLinkBook
{
public:
    using TPair = std::uint32_t;

    // The pages that link to one target, by how their links to it are written now.
    struct TLinks
    {
        std::vector<TPair> Local;   // the local file's name
        std::vector<TPair> Address; // the target's web address
    };

    // The saved page was just written with a local link to the target (a page parsed
    // again writes its links local again, whatever they were).
    void Note(TPair page, TPair target);
    // The saved page was just written with the target's web address (its item could
    // not be fetched in this run).
    void NoteAddressed(TPair page, TPair target);
    // The target was fetched: its local links are right and need no change, unless
    // some pages hold its address (then the end of the run makes those local).
    void Fetched(TPair target);
    // Every page's link to the target now holds its address.
    void MarkAddressed(TPair target);
    void Forget(TPair target);
    void ForEach(const std::function<void(TPair target, const TLinks& links)>& visit) const;
    bool Empty() const { return m_targets.empty(); }
    void Clear() { m_targets.clear(); }

    // Adds what the file holds (a missing file holds nothing); lines that cannot be
    // read, or whose URLs `pairOf` does not know, are skipped.
    void Load(const std::string& path, const std::function<std::optional<TPair>(std::string_view url)>& pairOf);
    // Writes the book with the URLs `urlOf` gives (an empty book removes the file);
    // false when it cannot be written.
    bool Save(const std::string& path, const std::function<std::string(TPair)>& urlOf) const;

private:
    void Add(TPair page, TPair target, bool addressed);

    std::unordered_map<TPair, TLinks> m_targets;
};

} // namespace hx
