#include "core/HXLinkBook.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "core/HXFiles.h"
#include "core/HXStrings.h"

namespace hx
{

int THXLinkBook::PageIndex(const std::string& pageFile, const std::string& pageURL)
{
    const auto [found, added] = m_pageIndex.try_emplace(pageFile, static_cast<int>(m_pages.size()));
    if (added)
        m_pages.push_back({pageFile, pageURL});
    return found->second;
}

void THXLinkBook::Note(const std::string& pageFile, const std::string& pageURL, const std::string& target)
{
    if (pageFile.empty() || target.empty())
        return;
    const int page = PageIndex(pageFile, pageURL);
    TTarget& entry = m_targets[LowerCase(target)];
    if (entry.URL.empty())
        entry.URL = target;
    if (std::find(entry.Pages.begin(), entry.Pages.end(), page) == entry.Pages.end())
        entry.Pages.push_back(page);
}

void THXLinkBook::Fetched(std::string_view target)
{
    const auto found = m_targets.find(LowerCase(target));
    if (found != m_targets.end() && !found->second.Restored)
        m_targets.erase(found);
}

void THXLinkBook::SetRestored(std::string_view target, bool restored)
{
    const auto found = m_targets.find(LowerCase(target));
    if (found != m_targets.end())
        found->second.Restored = restored;
}

void THXLinkBook::Forget(std::string_view target)
{
    m_targets.erase(LowerCase(target));
}

void THXLinkBook::ForEach(
    const std::function<void(const std::string&, bool, const std::vector<const TPage*>&)>& visit) const
{
    std::vector<const TPage*> pages;
    for (const auto& [key, target] : m_targets)
    {
        pages.clear();
        for (const int page : target.Pages)
            pages.push_back(&m_pages[static_cast<std::size_t>(page)]);
        visit(target.URL, target.Restored, pages);
    }
}

void THXLinkBook::Clear()
{
    m_pages.clear();
    m_pageIndex.clear();
    m_targets.clear();
}

// One line per target and page: restored flag, target URL, page file, page URL,
// separated by tabs (none of them holds a tab: URLs are normalized, files named after them).
void THXLinkBook::Load(const std::string& path)
{
    const std::optional<std::string> text = ReadWholeFile(path);
    if (!text)
        return;
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line))
    {
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', from))
        {
            fields.push_back(line.substr(from, tab - from));
            from = tab + 1;
        }
        fields.push_back(line.substr(from));
        if (fields.size() != 4 || (fields[0] != "0" && fields[0] != "1"))
            continue;
        Note(fields[2], fields[3], fields[1]);
        if (fields[0] == "1")
            SetRestored(fields[1], true);
    }
}

bool THXLinkBook::Save(const std::string& path) const
{
    if (m_targets.empty())
    {
        std::remove(path.c_str());
        return true;
    }
    std::string text;
    for (const auto& [key, target] : m_targets)
    {
        for (const int index : target.Pages)
        {
            const TPage& page = m_pages[static_cast<std::size_t>(index)];
            text += target.Restored ? "1\t" : "0\t";
            text += target.URL + '\t' + page.LocalFile + '\t' + page.URL + '\n';
        }
    }
    return WriteFileAtomic(path, text, TDurability::kAtomicOnly);
}

} // namespace hx
