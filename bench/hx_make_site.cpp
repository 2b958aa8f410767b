// hx_make_site: writes the generated test site to a folder, for crawl comparisons
// and for looking at the site in a browser.
//
//     hx_make_site DIR N [--nginx-extra FILE] [--plain-names]
//     hx_make_site DIR N --small-pages
//
// --nginx-extra writes the server block lines that make nginx answer the site's
// redirects; --plain-names leaves out the pages with a space and a non-ASCII letter.
// --small-pages writes a plain site of N pages of about 2 KB instead, for copies of
// a large site: the pages form a tree ten wide (page k links to pages 10k+1 to
// 10k+10) and each also links to its parent, its neighbours and two pages far away,
// a thousand pages to a folder.

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/HXTestSite.h"

namespace
{

int Usage()
{
    std::cerr << "Usage: hx_make_site DIR N [--nginx-extra FILE] [--plain-names]\n"
                 "       hx_make_site DIR N --small-pages\n";
    return 2;
}

constexpr int kPagesPerFolder = 1000;
constexpr std::size_t kSmallPageBytes = 2048;

// The site path of page k (page 0 is the start page).
std::string SmallPagePath(int page)
{
    if (page == 0)
        return "index.html";
    std::string folder = std::to_string(page / kPagesPerFolder);
    folder.insert(0, 3 - std::min<std::size_t>(3, folder.size()), '0');
    return "d" + folder + "/page" + std::to_string(page) + ".html";
}

// A link from page `from` to page `to`, relative to the folder of `from`.
std::string SmallPageLink(int from, int to)
{
    const std::string target = SmallPagePath(to);
    return from == 0 ? target : "../" + target;
}

void WriteSmallPageSite(const std::filesystem::path& folder, int pages)
{
    std::uint32_t random = 12345;
    auto next = [&random](int below)
    {
        random = random * 1103515245u + 12345u;
        return static_cast<int>((random >> 8) % static_cast<std::uint32_t>(below));
    };
    static const std::string kFiller = "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor "
                                       "incididunt ut labore et dolore magna aliqua. ";
    for (int page = 0; page < pages; ++page)
    {
        std::vector<int> targets;
        for (int child = 10 * page + 1; child <= 10 * page + 10 && child < pages; ++child)
            targets.push_back(child);
        if (page > 0)
            targets.push_back((page - 1) / 10);
        if (page > 1)
            targets.push_back(page - 1);
        if (page + 1 < pages)
            targets.push_back(page + 1);
        targets.push_back(next(pages));
        targets.push_back(next(pages));

        std::string html = "<html><head><title>Page " + std::to_string(page) + "</title></head><body>\n<h1>Page " +
                           std::to_string(page) + "</h1>\n<ul>\n";
        for (const int target : targets)
            html +=
                "<li><a href=\"" + SmallPageLink(page, target) + "\">Page " + std::to_string(target) + "</a></li>\n";
        html += "</ul>\n";
        while (html.size() + kFiller.size() + 20 < kSmallPageBytes)
            html += "<p>" + kFiller + "</p>\n";
        html += "</body></html>\n";

        const std::filesystem::path path = folder / SmallPagePath(page);
        std::filesystem::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << html;
        if (!out)
            throw std::runtime_error("cannot write " + path.string());
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<std::string> positional;
    std::string nginxExtra;
    hx::test::TTestSiteOptions options;
    bool smallPages = false;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        if (args[i] == "--small-pages")
            smallPages = true;
        else if (args[i] == "--nginx-extra" && i + 1 < args.size())
            nginxExtra = args[++i];
        else if (args[i] == "--plain-names")
            options.UnusualNames = false;
        else if (args[i].starts_with("--"))
            return Usage();
        else
            positional.push_back(args[i]);
    }
    if (positional.size() != 2)
        return Usage();
    try
    {
        options.Pages = std::stoi(positional[1]);
        if (options.Pages < 1)
            return Usage();
        if (smallPages)
        {
            if (!nginxExtra.empty())
            {
                // The plain site has no redirects: nginx needs no extra lines.
                std::ofstream out(nginxExtra, std::ios::binary | std::ios::trunc);
            }
            WriteSmallPageSite(positional[0], options.Pages);
            std::cout << "Wrote " << options.Pages << " small pages to " << positional[0] << "\n";
            return 0;
        }
        if (options.Pages < hx::test::kMinTestSitePages)
            std::cerr << "hx_make_site: the site has at least " << hx::test::kMinTestSitePages << " pages\n";
        const hx::test::TTestSite site = hx::test::GenerateTestSite(positional[0], options);
        if (!nginxExtra.empty())
        {
            std::ofstream out(nginxExtra, std::ios::binary | std::ios::trunc);
            out << hx::test::NginxExtraForSite(site);
            if (!out)
            {
                std::cerr << "hx_make_site: cannot write " << nginxExtra << "\n";
                return 1;
            }
        }
        int deepest = 0;
        for (const auto& [page, level] : site.Levels)
            deepest = std::max(deepest, level);
        std::cout << "Wrote " << site.Pages.size() << " pages, " << site.Paths.size() << " files to "
                  << site.Folder.string() << " (" << site.Redirects.size() << " redirects, " << site.Missing.size()
                  << " missing, deepest level " << deepest << ")\n";
        for (const auto& [path, kind] : site.OnlyVia)
            std::cout << "  only by " << hx::test::ReachedByName(kind) << ": " << path << "\n";
    }
    catch (const std::exception& error)
    {
        std::cerr << "hx_make_site: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
