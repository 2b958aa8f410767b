#pragma once

// Making a Zip task's copy browsable: the whole archive is unpacked into the
// temporary folder, with its folder paths, replacing files already there. Browsing
// an archive, the explore view and the report commands read the pages from there.
//
// The Zip component writes only below the extraction folder: entries with absolute
// names or ".." steps, link entries and paths that lead through a link are left out
// (and listed in Skipped); the other entries are still extracted.
//
// Threads: the owner thread (the Zip component fires its events on the caller's thread).

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/XcdZipD4.h"

namespace hx
{

class THXApp;

// The status line after an extraction that did not fail.
inline constexpr std::string_view kAllFilesExtracted = "All files extracted successfully.";

struct TZipTempExtraction
{
    // The Zip component's result code and what the windows show for it ("extracting").
    int Code = xcd::Success;
    TXcdResultText Result;
    // The folder the archive was unpacked into (the temporary folder, ending with "/").
    std::string Folder;
    // Entries left out, with why.
    std::vector<std::pair<std::string, TXcdSkipReason>> Skipped;
};

// Progress of the extraction, 0 to 100.
using TZipTempProgress = std::function<void(int percent)>;

// Unpacks every entry of the archive into the temporary folder of the settings.
TZipTempExtraction ExtractZipToTemp(THXApp& app, const std::string& archive, const TZipTempProgress& progress = {});
// The same into another folder (made when missing; Folder ends with "/").
TZipTempExtraction ExtractZipToFolder(const std::string& archive, const std::string& folder,
                                      const TZipTempProgress& progress = {});

// After a Zip-mode run: removes from the temporary folder every file the archive
// now holds (the entry's name is its path below the temporary folder), then the
// folders this leaves empty. Files still waiting for the archive stay, so a resumed
// run feeds them; what other runs and programs put there is left alone. Links are
// removed as links; names that would lead out of the folder are passed over.
// Returns how many files were removed.
int RemoveArchivedFromTemp(THXApp& app, const std::string& archive);

} // namespace hx
