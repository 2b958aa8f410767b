// The "zip" command of harbex-cli: lists, extracts, adds and deletes the entries of
// a Zip archive through the program's Zip component, with its result messages.

#include "app/HXCli.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "archive/XcdZipD4.h"
#include "core/HXDateTime.h"

namespace hx::cli
{

namespace
{

constexpr int kDefaultCompression = 6;

std::size_t DisplayWidth(std::string_view text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string PadLeft(const std::string& text, std::size_t width)
{
    const std::size_t shown = DisplayWidth(text);
    return shown >= width ? text : std::string(width - shown, ' ') + text;
}

std::string PadRight(const std::string& text, std::size_t width)
{
    const std::size_t shown = DisplayWidth(text);
    return shown >= width ? text : text + std::string(width - shown, ' ');
}

// "1 entry", "2 entries".
std::string Entries(std::int64_t count)
{
    return std::to_string(count) + (count == 1 ? " entry" : " entries");
}

// Percent saved, as the component rates one entry: 0 for nothing stored or a grown total.
int OverallRatio(std::int64_t size, std::int64_t packed)
{
    if (size <= 0 || packed >= size)
        return 0;
    const double saved = 100.0 - static_cast<double>(packed) * 100.0 / static_cast<double>(size);
    return static_cast<int>(std::clamp(std::lround(saved), 0L, 100L));
}

std::string EntryDateTime(TDateTime value)
{
    return FormatShortDate(value) + " " + FormatLongTime(value);
}

// Turns the component's result into what the user sees: an information message on
// `out`, an error message on `err`; the exit status says whether it failed.
int FinishOperation(int code, std::string_view operationWord, const std::string& archive, std::ostream& out,
                    std::ostream& err)
{
    const TXcdResultText result = XcdResultText(code, operationWord);
    switch (result.Outcome)
    {
    case TXcdOutcome::Silent:
        break;
    case TXcdOutcome::Information:
        out << result.Message << "\n";
        break;
    case TXcdOutcome::Error:
        err << "harbex-cli: " << archive << ": " << result.Message << "\n";
        break;
    }
    if (result.Failed && result.Message.empty())
        err << "harbex-cli: " << archive << ": the operation was stopped\n";
    return result.Failed ? kExitFailed : kExitOk;
}

// Skipped files and entries go to `err` as the component reports them.
void ReportSkips(TXceedZip& zip, std::ostream& err)
{
    zip.OnSkipping = [&err](const std::string& name, TXcdSkipReason reason)
    { err << "harbex-cli: skipped " << name << ": " << XcdSkipReasonText(reason) << "\n"; };
}

int ZipList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    const TCliArgs parsed(args, {}, {});
    const auto& positional = parsed.Positional();
    if (positional.empty())
        throw EUsageError("zip list needs an ARCHIVE");
    if (positional.size() > 2)
        throw EUsageError("zip list takes one MASK, not also \"" + positional[2] + "\"");

    TXceedZip zip;
    zip.ZipFileName = positional[0];
    std::vector<TXcdFileStats> entries;
    zip.OnListing = [&entries](const TXcdFileStats& stats) { entries.push_back(stats); };
    const int code = zip.List(positional.size() > 1 ? positional[1] : std::string());
    if (XcdResultText(code, "extracting").Failed || code == xcd::EmptyArchive)
        return FinishOperation(code, "extracting", zip.ZipFileName, out, err);

    std::int64_t totalSize = 0;
    std::int64_t totalPacked = 0;
    std::size_t dateWidth = std::string_view("Date and time").size();
    for (const TXcdFileStats& entry : entries)
    {
        totalSize += entry.Size;
        totalPacked += entry.CompressedSize;
        dateWidth = std::max(dateWidth, DisplayWidth(EntryDateTime(entry.DateTime)));
    }
    std::size_t sizeWidth = std::string_view("Packed").size();
    sizeWidth = std::max({sizeWidth, std::to_string(totalSize).size(), std::to_string(totalPacked).size()});

    if (!entries.empty())
        out << PadLeft("Size", sizeWidth) << "  " << PadLeft("Packed", sizeWidth) << "  Ratio  "
            << PadRight("Date and time", dateWidth) << "  Name\n";
    for (const TXcdFileStats& entry : entries)
    {
        out << PadLeft(std::to_string(entry.Size), sizeWidth) << "  "
            << PadLeft(std::to_string(entry.CompressedSize), sizeWidth) << "  "
            << PadLeft(std::to_string(entry.CompressionRatio) + "%", 5) << "  "
            << PadRight(EntryDateTime(entry.DateTime), dateWidth) << "  " << entry.FileName;
        if (!entry.Comment.empty())
            out << "  (" << entry.Comment << ")";
        out << "\n";
    }
    out << PadLeft(std::to_string(totalSize), sizeWidth) << "  " << PadLeft(std::to_string(totalPacked), sizeWidth)
        << "  " << PadLeft(std::to_string(OverallRatio(totalSize, totalPacked)) + "%", 5) << "  "
        << PadRight("", dateWidth) << "  " << Entries(static_cast<std::int64_t>(entries.size())) << "\n";
    return FinishOperation(code, "extracting", zip.ZipFileName, out, err);
}

int ZipExtract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    const TCliArgs parsed(args, {}, {"--overwrite"});
    const auto& positional = parsed.Positional();
    if (positional.size() < 2)
        throw EUsageError("zip extract needs an ARCHIVE and a folder DIR to extract to");

    TXceedZip zip;
    zip.ZipFileName = positional[0];
    zip.ExtractDirectory = positional[1];
    zip.FilesToProcess.assign(positional.begin() + 2, positional.end());
    zip.UsePaths = true;
    // Without --overwrite every existing file is kept, and named, rather than asked about.
    zip.Overwrite = parsed.Flag("--overwrite") ? TXcdOverwrite::xowAlways : TXcdOverwrite::xowAsk;
    std::vector<std::string> kept;
    zip.OnReplace = [&kept](const std::string& existingFile, const std::string&)
    {
        kept.push_back(existingFile);
        return TXcdReplaceAnswer::No;
    };
    std::int64_t chosen = 0;
    std::int64_t skipped = 0;
    zip.OnExtracting = [&chosen](const std::string&) { ++chosen; };
    zip.OnSkipping = [&err, &skipped](const std::string& name, TXcdSkipReason reason)
    {
        ++skipped;
        err << "harbex-cli: skipped " << name << ": " << XcdSkipReasonText(reason) << "\n";
    };

    const int code = zip.Extract();
    for (const std::string& file : kept)
        out << "kept existing file " << file << "\n";
    if (!XcdResultText(code, "extracting").Failed && code != xcd::EmptyArchive)
    {
        const std::int64_t written = chosen - skipped - static_cast<std::int64_t>(kept.size());
        out << "Extracted " << Entries(written) << " to " << zip.ExtractDirectory;
        if (!kept.empty())
            out << " (" << kept.size() << " kept; --overwrite replaces existing files)";
        out << "\n";
    }
    return FinishOperation(code, "extracting", zip.ZipFileName, out, err);
}

int ZipAdd(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    const TCliArgs parsed(args, {"--level"}, {"--recurse"});
    const auto& positional = parsed.Positional();
    if (positional.size() < 2)
        throw EUsageError("zip add needs an ARCHIVE and at least one FILE");

    TXceedZip zip;
    zip.ZipFileName = positional[0];
    zip.FilesToProcess.assign(positional.begin() + 1, positional.end());
    zip.Compression = parsed.IntValue("--level", 0, 9).value_or(kDefaultCompression);
    zip.Recurse = parsed.Flag("--recurse");
    // Stored names are the paths as given, relative to the current folder.
    zip.UsePaths = true;
    // The entries are named once the update is in place: a failed update changes nothing.
    std::vector<std::string> lines;
    int added = 0;
    int updated = 0;
    zip.OnAdding = [&](const std::string& entry)
    {
        lines.push_back("  added: " + entry);
        ++added;
    };
    zip.OnUpdating = [&](const std::string& entry)
    {
        lines.push_back("updated: " + entry);
        ++updated;
    };
    ReportSkips(zip, err);

    const int code = zip.Add();
    if (!XcdResultText(code, "adding").Failed)
    {
        for (const std::string& line : lines)
            out << line << "\n";
        out << Entries(added) << " added, " << updated << " updated in " << zip.ZipFileName << "\n";
    }
    return FinishOperation(code, "adding", zip.ZipFileName, out, err);
}

int ZipDelete(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    const TCliArgs parsed(args, {}, {});
    const auto& positional = parsed.Positional();
    if (positional.size() < 2)
        throw EUsageError("zip delete needs an ARCHIVE and at least one MASK");

    TXceedZip zip;
    zip.ZipFileName = positional[0];
    zip.FilesToProcess.assign(positional.begin() + 1, positional.end());
    std::vector<std::string> deleted;
    zip.OnDeleting = [&deleted](const std::string& entry) { deleted.push_back(entry); };

    const int code = zip.Delete();
    if (!XcdResultText(code, "deleting").Failed && code != xcd::EmptyArchive)
    {
        for (const std::string& entry : deleted)
            out << "deleted: " << entry << "\n";
        out << Entries(static_cast<std::int64_t>(deleted.size())) << " deleted from " << zip.ZipFileName << "\n";
    }
    return FinishOperation(code, "deleting", zip.ZipFileName, out, err);
}

} // namespace

int CommandZip(THXApp& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    (void)app;
    if (args.empty())
        throw EUsageError("zip needs a sub-command: list, extract, add or delete");
    const std::string& command = args.front();
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "list")
        return ZipList(rest, out, err);
    if (command == "extract")
        return ZipExtract(rest, out, err);
    if (command == "add")
        return ZipAdd(rest, out, err);
    if (command == "delete")
        return ZipDelete(rest, out, err);
    throw EUsageError("unknown zip sub-command \"" + command + "\" (list, extract, add or delete)");
}

} // namespace hx::cli
