#include "core/HXLinkBook.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "core/HXFiles.h"

namespace hx
{

void THXLinkBook::Add(TPair page, TPair target, bool addressed)
{
    TLinks& links = m_targets[target];
    std::vector<TPair>& into = addressed ? links.Address : links.Local;
    std::vector<TPair>& other = addressed ? links.Local : links.Address;
    std::erase(other, page);
    if (std::find(into.begin(), into.end(), page) == into.end())
        into.push_back(page);
}

void THXLinkBook::Note(TPair page, TPair target)
{
    Add(page, target, false);
}

void THXLinkBook::NoteAddressed(TPair page, TPair target)
{
    Add(page, target, true);
}

void THXLinkBook::Fetched(TPair target)
{
    const auto found = m_targets.find(target);
    if (found != m_targets.end() && found->second.Address.empty())
        m_targets.erase(found);
}

void THXLinkBook::MarkAddressed(TPair target)
{
    const auto found = m_targets.find(target);
    if (found == m_targets.end())
        return;
    TLinks& links = found->second;
    for (const TPair page : links.Local)
    {
        if (std::find(links.Address.begin(), links.Address.end(), page) == links.Address.end())
            links.Address.push_back(page);
    }
    links.Local.clear();
}

void THXLinkBook::Forget(TPair target)
{
    m_targets.erase(target);
}

void THXLinkBook::ForEach(const std::function<void(TPair, const TLinks&)>& visit) const
{
    for (const auto& [target, links] : m_targets)
        visit(target, links);
}

// One line per target and page: 1 when the page's link holds the target's address (0:
// local), the target's URL and the page's URL,
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
        Add(*page, *target, flag == "1");
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
    for (const auto& [target, links] : m_targets)
    {
        const std::string targetURL = urlOf(target);
        for (const TPair page : links.Local)
            text += "0\t" + targetURL + '\t' + urlOf(page) + '\n';
        for (const TPair page : links.Address)
            text += "1\t" + targetURL + '\t' + urlOf(page) + '\n';
    }
    return WriteFileAtomic(path, text, TDurability::kAtomicOnly);
}

} // namespace hx
