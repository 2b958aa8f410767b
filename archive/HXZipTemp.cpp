#include "archive/HXZipTemp.h"

#include <filesystem>
#include <set>
#include <system_error>
#include <vector>

#include "core/HXApp.h"
#include "core/HXFiles.h"

namespace hx
{

TZipTempExtraction ExtractZipToTemp(THXApp& app, const std::string& archive, const TZipTempProgress& progress)
{
    return ExtractZipToFolder(archive, app.GetTempFolder(), progress);
}

TZipTempExtraction ExtractZipToFolder(const std::string& archive, const std::string& folder,
                                      const TZipTempProgress& progress)
{
    TZipTempExtraction extraction;
    extraction.Folder = IncludeTrailingSlash(folder);
    ForceDirectories(extraction.Folder);

    TXceedZip zip;
    zip.ZipFileName = archive;
    // Empty: every entry of the archive.
    zip.FilesToProcess.clear();
    zip.ExtractDirectory = extraction.Folder;
    zip.UsePaths = true;
    zip.Overwrite = TXcdOverwrite::xowAlways;
    zip.OnSkipping = [&extraction](const std::string& name, TXcdSkipReason reason)
    { extraction.Skipped.emplace_back(name, reason); };
    if (progress)
        zip.OnStatus = [&progress](int percent, std::int64_t, std::int64_t) { progress(percent); };

    extraction.Code = zip.Extract();
    extraction.Result = XcdResultText(extraction.Code, "extracting");
    return extraction;
}

int RemoveArchivedFromTemp(THXApp& app, const std::string& archive)
{
    namespace fs = std::filesystem;
    std::vector<std::string> entries;
    TXceedZip reader;
    reader.ZipFileName = archive;
    reader.OnListing = [&entries](const TXcdFileStats& stats) { entries.push_back(stats.FileName); };
    if (XcdResultText(reader.List(""), "extracting").Failed)
        return 0;

    std::string base = app.GetTempFolder();
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    const fs::path temp = fs::path(base).lexically_normal();
    std::set<fs::path> folders;
    int removed = 0;
    for (const std::string& entry : entries)
    {
        const fs::path relative = fs::path(entry).lexically_normal();
        if (entry.empty() || relative.is_absolute() || relative.empty() || *relative.begin() == "..")
            continue;
        const fs::path file = temp / relative;
        std::error_code error;
        const fs::file_status status = fs::symlink_status(file, error);
        if (error || fs::is_directory(status) || !fs::exists(status))
            continue;
        if (fs::remove(file, error))
            ++removed;
        for (fs::path folder = file.parent_path(); folder != temp && folder.string().size() > temp.string().size();
             folder = folder.parent_path())
            folders.insert(folder);
    }
    // Deepest first: a folder is removed only once it is empty.
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
    {
        std::error_code error;
        fs::remove(*it, error);
    }
    return removed;
}

} // namespace hx
