// The help pages as shipped in data/help: every local link and picture of every
// page names a file that is there (and a part of a page that the page has), every
// page is reachable from the contents page, and no page runs a script.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace hx
{

namespace
{

namespace fs = std::filesystem;

const fs::path kHelpFolder = fs::path(HX_SOURCE_DATA_DIR) / "help";

std::string ReadText(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<fs::path> Pages()
{
    std::vector<fs::path> pages;
    for (const auto& entry : fs::directory_iterator(kHelpFolder))
        if (entry.path().extension() == ".html")
            pages.push_back(entry.path());
    return pages;
}

// The values of the href and src attributes of a page (and the url(...) of a style sheet).
std::vector<std::string> Links(const std::string& text)
{
    static const std::regex attribute(R"re(\b(?:href|src)\s*=\s*"([^"]*)")re", std::regex::icase);
    static const std::regex styleURL(R"re(url\(\s*['"]?([^'")]+))re", std::regex::icase);
    std::vector<std::string> links;
    for (const std::regex* pattern : {&attribute, &styleURL})
        for (auto it = std::sregex_iterator(text.begin(), text.end(), *pattern); it != std::sregex_iterator(); ++it)
            links.push_back((*it)[1].str());
    return links;
}

bool IsLocal(const std::string& link)
{
    return link.find("://") == std::string::npos && !link.starts_with("mailto:");
}

// The problem with one local link of `page`, empty when it resolves.
std::string CheckLink(const fs::path& page, const std::string& link)
{
    const std::size_t hash = link.find('#');
    const std::string file = link.substr(0, hash);
    const fs::path target = file.empty() ? page : (page.parent_path() / file).lexically_normal();
    if (!fs::is_regular_file(target))
        return page.filename().string() + ": " + link + " names no file";
    if (hash != std::string::npos)
    {
        const std::string part = link.substr(hash + 1);
        if (ReadText(target).find("id=\"" + part + "\"") == std::string::npos)
            return page.filename().string() + ": " + link + " names no part of " + target.filename().string();
    }
    return {};
}

} // namespace

TEST(HelpPages, EveryLocalLinkAndPictureResolves)
{
    ASSERT_TRUE(fs::is_regular_file(kHelpFolder / "index.html"));
    const std::vector<fs::path> pages = Pages();
    ASSERT_GE(pages.size(), 10u);
    std::vector<fs::path> sheets;
    for (const auto& entry : fs::directory_iterator(kHelpFolder))
        if (entry.path().extension() == ".css")
            sheets.push_back(entry.path());
    std::set<std::string> pictures;
    int checked = 0;
    for (const fs::path& document :
         [&]
         {
             auto all = pages;
             all.insert(all.end(), sheets.begin(), sheets.end());
             return all;
         }())
    {
        const std::string text = ReadText(document);
        EXPECT_EQ(text.find("<script"), std::string::npos) << document.filename() << " runs a script";
        for (const std::string& link : Links(text))
        {
            if (!IsLocal(link))
                continue;
            ++checked;
            EXPECT_EQ(CheckLink(document, link), "");
            if (link.starts_with("images/"))
                pictures.insert(link);
        }
    }
    EXPECT_GT(checked, 50);
    // Every window page shows the window.
    EXPECT_GE(pictures.size(), 15u);
}

TEST(HelpPages, EveryPageIsReachableFromTheContents)
{
    const std::string index = ReadText(kHelpFolder / "index.html");
    EXPECT_NE(index.find("<title>Harbex Help</title>"), std::string::npos);
    std::set<std::string> reached{"index.html"};
    std::vector<std::string> toVisit{"index.html"};
    while (!toVisit.empty())
    {
        const std::string name = toVisit.back();
        toVisit.pop_back();
        for (const std::string& link : Links(ReadText(kHelpFolder / name)))
        {
            const std::string file = link.substr(0, link.find('#'));
            if (IsLocal(link) && file.ends_with(".html") && reached.insert(file).second)
                toVisit.push_back(file);
        }
    }
    for (const fs::path& page : Pages())
        EXPECT_TRUE(reached.count(page.filename().string())) << page.filename() << " is not linked from the contents";
}

} // namespace hx
