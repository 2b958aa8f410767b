// Fuzz target: the Zip component's listing and extraction of an archive. The input is
// the archive (the component reads a file, so it is written to a scratch folder); its
// entries are listed and extracted, and nothing is written outside the extraction
// folder, whatever names and sizes the entries claim.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "HXFuzzSupport.h"
#include "archive/XcdZipD4.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using hx::fuzz::Check;
    const auto folder = hx::fuzz::FreshFolder();
    hx::TXceedZip zip;
    zip.ZipFileName = hx::fuzz::WriteFile(folder / "input.zip", hx::fuzz::InputText(data, size));
    zip.ExtractDirectory = (folder / "out" / "x").string();
    zip.Overwrite = hx::TXcdOverwrite::xowAlways;

    int listed = 0;
    zip.OnListing = [&listed](const hx::TXcdFileStats&) { ++listed; };
    (void)zip.List("");
    const int count = zip.Count();
    Check(listed <= count || count == 0, "more entries listed than counted");
    (void)zip.Extract();

    // Only the archive and the extraction folder are in the scratch folder.
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        Check(entry.path().filename() == "input.zip" || entry.path().filename() == "out",
              "an entry was written outside the extraction folder");
    std::error_code none; // no extraction folder when nothing was extracted
    for (const auto& entry : std::filesystem::directory_iterator(folder / "out", none))
        Check(entry.path().filename() == "x", "an entry was written outside the extraction folder");
    return 0;
}
