#pragma once

// THXLinkBook: the saved pages that hold a local link to an item that was not fetched
// when the page was written. When a run ends, the links to items whose fetch failed go
// back to the items' addresses (a local link to a file that does not exist leads
// nowhere), and once a later run fetches such an item its links are made local again.
// An item fetched in time is forgotten, so the book holds little more than the links to
// failed items. It is kept beside the queue file between runs.
//
// Owner thread only.

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace hx
{

class THXLinkBook
{
public:
    struct TPage
    {
        std::string LocalFile;
        std::string URL;
    };

    // The saved page holds a local link to the item of the target URL (no fragment).
    void Note(const std::string& pageFile, const std::string& pageURL, const std::string& target);
    // The item of the target URL was fetched: its links are local and stay so, unless
    // pages hold its address (then the end of the run makes them local).
    void Fetched(std::string_view target);
    // The links to the target are now its address (true) or local (false) in its pages.
    void SetRestored(std::string_view target, bool restored);
    void Forget(std::string_view target);
    // Every target: its URL, whether its pages hold its address, and the pages.
    void ForEach(const std::function<void(const std::string& target, bool restored,
                                          const std::vector<const TPage*>& pages)>& visit) const;
    bool Empty() const { return m_targets.empty(); }
    void Clear();

    // Adds what the file holds (a missing file holds nothing); lines that cannot be
    // read are skipped.
    void Load(const std::string& path);
    // Writes the book (an empty book removes the file); false when it cannot be written.
    bool Save(const std::string& path) const;

private:
    struct TTarget
    {
        std::string URL;
        bool Restored = false;
        std::vector<int> Pages;
    };
    int PageIndex(const std::string& pageFile, const std::string& pageURL);

    std::vector<TPage> m_pages;
    std::unordered_map<std::string, int> m_pageIndex;   // by local file
    std::unordered_map<std::string, TTarget> m_targets; // by lower-case URL
};

} // namespace hx
