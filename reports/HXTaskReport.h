#pragma once

// THXTaskReport: the task summary, the page index and the image index of a task
// that has run, written as linked HTML pages beside the copied site.
//
// Output folder O = the task's working folder (Destination in intranet mode, else
// the temporary folder holding the unpacked Zip contents) + the start URL's host +
// "/". With N the task's name, O holds "!N_summary.htm", "!N_pages_k.htm" and
// "!N_images_k.htm" (k = 1, 2, ...; 20 entries each), "!N_pages_more.htm" and
// "!N_images_more.htm" when there are more than 10 index pages, and the decoration
// images in "!images/", copied from the skin folder. Links between the pages and to
// the saved files are absolute local paths.
//
// For a Zip task the caller first makes sure the archive exists (ZipResultMissing)
// and has its contents unpacked into the temporary folder, or into another folder
// given as the working folder (the command line keeps a Zip task's reports beside
// its archive, where they outlive the program).
//
// The report takes what it needs of the task (names, totals, queue file, skin
// folder) when it is made, so it may be written on another thread than the one
// that owns the task.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/HXDateTime.h"
#include "reports/HXImageSize.h"

namespace hx
{

class THXTask;

enum class TReportIndex
{
    Pages,
    Images
};

inline constexpr int kReportEntriesPerPage = 20;
inline constexpr int kReportPageLinks = 10;
inline constexpr std::array<std::string_view, 5> kReportDecorations = {"html.gif", "images.gif", "www.gif",
                                                                       "diamond.gif", "backgrnd.jpg"};

// Bytes as whole kilobytes, halves rounded to the even neighbour (1536 -> 2, 2560 -> 2).
std::int64_t KilobytesHalfEven(std::int64_t bytes);

// The number of index pages for that many saved items (less their errors).
int ReportPageCount(std::int64_t savedWithoutErrors);

class THXTaskReport
{
public:
    // Label and percentage (0 to 100) of the step in progress.
    using TProgress = std::function<void(const std::string& label, int percent)>;

    // The banner block's frame loads bannerURL; with an empty one the pages carry no
    // banner block and no layer. The working folder holds the copy the reports
    // describe and link to (the task's own working folder when empty). Owner thread
    // (it reads the task); the report's other operations may run anywhere.
    explicit THXTaskReport(THXTask& task, std::string bannerURL = {}, std::string workingFolder = {});

    const std::string& OutputFolder() const { return m_folder; }
    std::string SummaryFile() const;
    std::string IndexFile(TReportIndex index, int page) const;
    std::string MoreFile(TReportIndex index) const;
    int PageCount(TReportIndex index) const;

    // All three families in order, with the labels "Creating Task Summary",
    // "Creating Page Index" and "Creating Image Index". Returns the summary's path,
    // which the caller opens in the browser. Throws EFileError as the steps below.
    std::string CreateReports(const TProgress& progress = {});

    // The summary page, then the decoration images (a picture missing from the skin
    // folder is skipped; the pages still refer to it). Throws EFileError with the
    // file-creation message when O does not exist or the page cannot be written.
    void WriteSummary();
    // One index family: its more page when there are more than 10 pages, then the
    // pages, reporting k / P as a percentage. Throws EFileError with the file-open
    // message when the queue file cannot be read (what was written before stays).
    void WriteIndex(TReportIndex index, const TProgress& progress = {});

private:
    struct TEntry
    {
        std::string url;
        std::string referrer;
        std::string level;
        std::string title;
        std::string size;
    };

    std::string Header(std::string_view heading) const;
    // The table row holding the banner block, opened by rowStart; empty without a banner page.
    std::string BannerRow(std::string_view rowStart) const;
    std::string Banner() const;
    std::string BannerLayer() const;
    std::string NavigationLine(TReportIndex index, int page, int pageCount) const;
    std::string EntryCell(TReportIndex index, const TEntry& entry, int number) const;
    std::string LocalFile(std::string_view url) const;
    void WriteMorePage(TReportIndex index, int pageCount) const;
    void WritePage(const std::string& path, const std::string& text) const;

    // The task's facts the pages show, as they were when the report was made.
    struct TTaskFacts
    {
        std::string name;
        std::string url;
        std::string startPageTitle;
        TDateTime lastRun = 0;
        std::int64_t totalBytes = 0;
        std::int64_t pagesSaved = 0;
        std::int64_t pageErrors = 0;
        std::int64_t totalPages = 0;
        std::int64_t resourcesSaved = 0;
        std::int64_t resourceErrors = 0;
        std::int64_t totalResources = 0;
        std::string queueFile;
        std::string skinFolder;
    };

    TTaskFacts m_task;
    std::string m_bannerURL;
    std::string m_workingFolder;
    std::string m_folder;
};

} // namespace hx
