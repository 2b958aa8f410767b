// hx_make_site: writes the generated test site to a folder, for crawl comparisons
// and for looking at the site in a browser.
//
//     hx_make_site DIR N [--nginx-extra FILE] [--plain-names]
//     hx_make_site DIR N --small-pages
//     hx_make_site DIR N --doc-pages
//
// --nginx-extra writes the server block lines that make nginx answer the site's
// redirects; --plain-names leaves out the pages with a space and a non-ASCII letter.
// --small-pages writes a plain site of N pages of about 2 KB instead, for copies of
// a large site: the pages form a tree ten wide (page k links to pages 10k+1 to
// 10k+10) and each also links to its parent, its neighbours and two pages far away,
// a thousand pages to a folder.
// --doc-pages writes N pages shaped like the manual of a large project: index pages
// of two thousand links each (the start page links to every index), and topic
// pages of about 2 KB that link to their index, the start page and their
// neighbours, a thousand topics to a folder.

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
                 "       hx_make_site DIR N --small-pages\n"
                 "       hx_make_site DIR N --doc-pages\n";
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

constexpr int kLinksPerIndex = 2000;

// The site path of topic k of a documentation-like site (topics count from 0).
std::string TopicPath(int topic)
{
    std::string folder = std::to_string(topic / kPagesPerFolder);
    folder.insert(0, 3 - std::min<std::size_t>(3, folder.size()), '0');
    return "topics" + folder + "/topic" + std::to_string(topic) + ".html";
}

std::string IndexPath(int index)
{
    return "genindex-" + std::to_string(index) + ".html";
}

void WriteTextFile(const std::filesystem::path& path, const std::string& text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

// `pages` pages in all: the start page, the index pages and the topics.
void WriteDocPageSite(const std::filesystem::path& folder, int pages)
{
    // Topics and indexes share the page count: one index per kLinksPerIndex topics.
    const int topics = std::max(0, (pages - 1) * kLinksPerIndex / (kLinksPerIndex + 1));
    const int indexes = (topics + kLinksPerIndex - 1) / kLinksPerIndex;
    static const std::string kFiller = "The function returns the value of the option named by its first argument, "
                                       "or the default when the option was never set. ";

    std::string start = "<html><head><title>Manual</title></head><body>\n<h1>Manual</h1>\n<ul>\n";
    for (int index = 0; index < indexes; ++index)
        start += "<li><a href=\"" + IndexPath(index) + "\">Index " + std::to_string(index) + "</a></li>\n";
    start += "</ul>\n</body></html>\n";
    WriteTextFile(folder / "index.html", start);

    for (int index = 0; index < indexes; ++index)
    {
        std::string html = "<html><head><title>Index " + std::to_string(index) +
                           "</title></head><body>\n<p><a href=\"index.html\">Manual</a></p>\n<ul>\n";
        const int first = index * kLinksPerIndex;
        for (int topic = first; topic < std::min(topics, first + kLinksPerIndex); ++topic)
            html += "<li><a href=\"" + TopicPath(topic) + "#summary\">topic_" + std::to_string(topic) +
                    "()</a> (in module m" + std::to_string(topic / kPagesPerFolder) + ")</li>\n";
        html += "</ul>\n</body></html>\n";
        WriteTextFile(folder / IndexPath(index), html);
    }

    for (int topic = 0; topic < topics; ++topic)
    {
        std::string html = "<html><head><title>topic_" + std::to_string(topic) +
                           "()</title></head><body>\n<p><a href=\"../index.html\">Manual</a> | <a href=\"../" +
                           IndexPath(topic / kLinksPerIndex) + "\">Index</a>";
        if (topic > 0)
            html += " | <a href=\"../" + TopicPath(topic - 1) + "\">Previous</a>";
        if (topic + 1 < topics)
            html += " | <a href=\"../" + TopicPath(topic + 1) + "\">Next</a>";
        html += "</p>\n<h1 id=\"summary\">topic_" + std::to_string(topic) + "()</h1>\n";
        while (html.size() + kFiller.size() + 20 < kSmallPageBytes)
            html += "<p>" + kFiller + "</p>\n";
        html += "</body></html>\n";
        WriteTextFile(folder / TopicPath(topic), html);
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
    bool docPages = false;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        if (args[i] == "--small-pages")
            smallPages = true;
        else if (args[i] == "--doc-pages")
            docPages = true;
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
        if (smallPages || docPages)
        {
            if (!nginxExtra.empty())
            {
                // The plain site has no redirects: nginx needs no extra lines.
                std::ofstream out(nginxExtra, std::ios::binary | std::ios::trunc);
            }
            if (docPages)
                WriteDocPageSite(positional[0], options.Pages);
            else
                WriteSmallPageSite(positional[0], options.Pages);
            std::cout << "Wrote " << options.Pages << (docPages ? " documentation" : " small") << " pages to "
                      << positional[0] << "\n";
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
