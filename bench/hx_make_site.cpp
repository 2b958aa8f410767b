// hx_make_site: writes the generated test site to a folder, for crawl comparisons
// and for looking at the site in a browser.
//
//     hx_make_site DIR N [--nginx-extra FILE] [--plain-names]
//
// --nginx-extra writes the server block lines that make nginx answer the site's
// redirects; --plain-names leaves out the pages with a space and a non-ASCII letter.

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "support/HXTestSite.h"

namespace
{

int Usage()
{
    std::cerr << "Usage: hx_make_site DIR N [--nginx-extra FILE] [--plain-names]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<std::string> positional;
    std::string nginxExtra;
    hx::test::TTestSiteOptions options;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        if (args[i] == "--nginx-extra" && i + 1 < args.size())
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
