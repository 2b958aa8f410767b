#include "core/HXLinkBook.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "core/HXFiles.h"

namespace hx
{

void THXLinkBook::Note(TPair page, TPair target)
{
    std::vector<TPair>& pages = m_targets[target].Pages;
    if (std::find(pages.begin(), pages.end(), page) == pages.end())
        pages.push_back(page);
}

void THXLinkBook::Fetched(TPair target)
{
    const auto found = m_targets.find(target);
    if (found != m_targets.end() && !found->second.Restored)
        m_targets.erase(found);
}

void THXLinkBook::SetRestored(TPair target, bool restored)
{
    const auto found = m_targets.find(target);
    if (found != m_targets.end())
        found->second.Restored = restored;
}

void THXLinkBook::Forget(TPair target)
{
    m_targets.erase(target);
}

void THXLinkBook::ForEach(const std::function<void(TPair, bool, const std::vector<TPair>&)>& visit) const
{
    for (const auto& [target, entry] : m_targets)
        visit(target, entry.Restored, entry.Pages);
}

// One line per target and page: the restored flag, the target's URL and the page's URL,
// separated by tabs (URLs are normalized: they hold no tab).
void THXLinkBook::Load(const std::string& path, const std::function<std::optional<TPair>(std::string_view url)>& pairOf)
{
    const std::optional<std::string> text = ReadWholeFile(path);
    if (!text)
        return;
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line))
    {
        const std::size_t first = line.find('\t');
        const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
        if (second == std::string::npos || line.find('\t', second + 1) != std::string::npos)
            continue;
        const std::string_view flag = std::string_view(line).substr(0, first);
        if (flag != "0" && flag != "1")
            continue;
        const std::optional<TPair> target = pairOf(std::string_view(line).substr(first + 1, second - first - 1));
        const std::optional<TPair> page = pairOf(std::string_view(line).substr(second + 1));
        if (!target || !page)
            continue;
        Note(*page, *target);
        if (flag == "1")
            SetRestored(*target, true);
    }
}

bool THXLinkBook::Save(const std::string& path, const std::function<std::string(TPair)>& urlOf) const
{
    if (m_targets.empty())
    {
        std::remove(path.c_str());
        return true;
    }
    std::string text;
    for (const auto& [target, entry] : m_targets)
    {
        const std::string targetURL = urlOf(target);
        for (const TPair page : entry.Pages)
        {
            text += entry.Restored ? "1\t" : "0\t";
            text += targetURL + '\t' + urlOf(page) + '\n';
        }
    }
    return WriteFileAtomic(path, text, TDurability::kAtomicOnly);
}

} // namespace hx
