#include "archive/HXZipTemp.h"

#include "core/HXApp.h"

namespace hx
{

TZipTempExtraction ExtractZipToTemp(THXApp& app, const std::string& archive, const TZipTempProgress& progress)
{
    TZipTempExtraction extraction;
    extraction.Folder = app.GetTempFolder();

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

} // namespace hx
