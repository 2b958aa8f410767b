// hx_check_links: checks the local links of a copied site. Every link of every
// .html and .htm file below DIR that points into the copy must name an existing
// file; the ones that do not are printed, then a count. Exit status 0 whatever
// was found (2 for bad arguments), so scripts read the count.
//
//     hx_check_links DIR

#include <exception>
#include <filesystem>
#include <iostream>

#include "support/HXTestSite.h"

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "Usage: hx_check_links DIR\n";
        return 2;
    }
    const std::filesystem::path root = argv[1];
    std::error_code error;
    if (!std::filesystem::is_directory(root, error))
    {
        std::cerr << "hx_check_links: " << root.string() << " is not a folder\n";
        return 2;
    }
    try
    {
        hx::test::TLinkCheckStats stats;
        const auto broken = hx::test::CheckLocalLinks(root, &stats);
        for (const hx::test::TBrokenLink& link : broken)
            std::cout << link.Page << ": " << link.Link << "\n";
        std::cout << "broken local links: " << broken.size() << " (pages: " << stats.Pages
                  << ", local links checked: " << stats.Links << ")\n";
    }
    catch (const std::exception& failure)
    {
        std::cerr << "hx_check_links: " << failure.what() << "\n";
        return 1;
    }
    return 0;
}
