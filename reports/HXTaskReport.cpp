#include "reports/HXTaskReport.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <iterator>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "reports/HXHtml.h"
#include "reports/HXReportQueue.h"

namespace hx
{

namespace
{

constexpr std::string_view kEol = "\r\n";
constexpr std::string_view kOddEntryColor = "#C6D9EC";
constexpr std::string_view kEvenEntryColor = "#F1F4F8";

// A page as text lines, each ending with CR LF.
class TPageText
{
public:
    TPageText& operator<<(std::string_view line)
    {
        m_text += line;
        m_text += kEol;
        return *this;
    }
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};

std::string IndexName(TReportIndex index)
{
    return index == TReportIndex::Pages ? "pages" : "images";
}

std::string PageHead(bool withPopupScript)
{
    TPageText head;
    head << "<html>"
         << "<head>"
         << "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
         << "<title></title>"
         << "<style type=\"text/css\">"
         << "a:link, a:visited { color: #7100FF; text-decoration: none }"
         << "</style>";
    if (withPopupScript)
    {
        // The more page opens in one secondary window, reused while it stays open.
        head << "<script type=\"text/javascript\">"
             << "var popupwin = null;"
             << "function popup(loc)"
             << "{"
             << "  if (popupwin == null || popupwin.closed)"
             << "    popupwin = window.open(loc, \"popupwin\", "
                "\"menubar=no,location=no,toolbar=no,status=yes,titlebar=yes,scrollbars=yes,resizable=yes,"
                "width=300,height=400\");"
             << "  else"
             << "  {"
             << "    popupwin.focus();"
             << "    popupwin.location = loc;"
             << "  }"
             << "}"
             << "</script>";
    }
    head << "</head>";
    return head.Text();
}

std::string PageBody(int margin)
{
    const std::string size = std::to_string(margin);
    return "<body topmargin=\"" + size + "\" leftmargin=\"" + size +
           "\" background=\"!images/backgrnd.jpg\" bgproperties=\"fixed\" style=\"margin-top: " + size +
           "px; margin-left: " + size + "px; background-attachment: fixed\">";
}

std::string Link(const std::string& href, std::string_view text)
{
    return "<a href=\"" + href + "\">" + std::string(text) + "</a>";
}

int Percent(int page, int pageCount)
{
    return static_cast<int>(std::lround(100.0 * page / pageCount));
}

void Report(const THXTaskReport::TProgress& progress, const std::string& label, int percent)
{
    if (progress)
        progress(label, percent);
}

} // namespace

std::int64_t KilobytesHalfEven(std::int64_t bytes)
{
    if (bytes < 0)
    {
        if (bytes == std::numeric_limits<std::int64_t>::min())
            return -KilobytesHalfEven(std::numeric_limits<std::int64_t>::max());
        return -KilobytesHalfEven(-bytes);
    }
    std::int64_t kilobytes = bytes / 1024;
    const std::int64_t rest = bytes % 1024;
    if (rest > 512 || (rest == 512 && kilobytes % 2 != 0))
        ++kilobytes;
    return kilobytes;
}

int ReportPageCount(std::int64_t savedWithoutErrors)
{
    if (savedWithoutErrors <= 0)
        return 0;
    return static_cast<int>((savedWithoutErrors + kReportEntriesPerPage - 1) / kReportEntriesPerPage);
}

THXTaskReport::THXTaskReport(THXTask& task, std::string bannerURL, std::string workingFolder)
    : m_task{task.Name,
             task.URL,
             task.StartPageTitle,
             task.LastRun,
             task.TotalBytes,
             task.PagesSaved,
             task.PageErrors,
             task.TotalPages,
             task.ResourcesSaved,
             task.ResourceErrors,
             task.TotalResources,
             task.QueueFileName(),
             IncludeTrailingSlash(task.App().SkinFolder())}
    , m_bannerURL(std::move(bannerURL))
    , m_workingFolder(workingFolder.empty() ? task.WorkingFolder() : IncludeTrailingSlash(workingFolder))
{
    if (!m_workingFolder.empty())
        m_folder = IncludeTrailingSlash(m_workingFolder + SplitURL(task.URL).Host);
}

std::string THXTaskReport::SummaryFile() const
{
    // A name read from a damaged task file must not lead the files out of O.
    return m_folder + "!" + ReplaceIllegalChars(m_task.name, '_') + "_summary.htm";
}

std::string THXTaskReport::IndexFile(TReportIndex index, int page) const
{
    return m_folder + "!" + ReplaceIllegalChars(m_task.name, '_') + "_" + IndexName(index) + "_" +
           std::to_string(page) + ".htm";
}

std::string THXTaskReport::MoreFile(TReportIndex index) const
{
    return m_folder + "!" + ReplaceIllegalChars(m_task.name, '_') + "_" + IndexName(index) + "_more.htm";
}

int THXTaskReport::PageCount(TReportIndex index) const
{
    const std::int64_t saved = index == TReportIndex::Pages ? m_task.pagesSaved - m_task.pageErrors
                                                            : m_task.resourcesSaved - m_task.resourceErrors;
    // Page 1 is always written, so the summary's link and the "Page Index" command
    // find a page even when nothing was saved.
    return std::max(1, ReportPageCount(saved));
}

std::string THXTaskReport::LocalFile(std::string_view url) const
{
    return LocalFileName(m_workingFolder, DirectoryURL(url), url);
}

void THXTaskReport::WritePage(const std::string& path, const std::string& text) const
{
    // A report is made again from the queue whenever asked: it is replaced whole but
    // not flushed to disk page by page (a long queue makes many pages).
    if (m_folder.empty() || !DirectoryExists(m_folder) || !WriteFileAtomic(path, text, TDurability::kAtomicOnly))
        throw EFileError("Cannot create file \"" + path + "\". No such file or directory");
}

std::string THXTaskReport::BannerRow(std::string_view rowStart) const
{
    // Without a banner page the row is left out, so no empty frame heads the page.
    if (m_bannerURL.empty())
        return {};
    return std::string(rowStart) + Banner() + "</td></tr>";
}

std::string THXTaskReport::Banner() const
{
    // The frame carries the banner; the hidden layer keeps its place for older
    // browsers, whose layer element at the end of the page loads the same page.
    const std::string source = EscapeAttribute(m_bannerURL);
    return "<table border=\"0\" width=\"95%\"><tr><td>"
           "<iframe src=\"" +
           source +
           "\" width=\"100%\" height=\"60\" frameborder=\"0\" marginwidth=\"0\" marginheight=\"0\" "
           "scrolling=\"no\"></iframe>"
           "<ilayer id=\"hxbanner\" height=\"60\" visibility=\"hide\"></ilayer>"
           "</td></tr></table>";
}

std::string THXTaskReport::BannerLayer() const
{
    if (m_bannerURL.empty())
        return {};
    return "<layer src=\"" + EscapeAttribute(m_bannerURL) +
           "\" visibility=\"hide\" onload=\"moveToAbsolute(hxbanner.pageX, hxbanner.pageY); "
           "visibility='show';\"></layer>";
}

std::string THXTaskReport::Header(std::string_view heading) const
{
    const std::string diamond = "<img src=\"!images/diamond.gif\" width=\"21\" height=\"13\" border=\"0\"> ";
    const std::string totalFiles = std::to_string(m_task.totalPages + m_task.totalResources);
    TPageText text;
    text << "<font face=\"Arial\" size=\"4\" color=\"#FF8000\"><b>Harbex"
         << std::string(heading) + "</b></font><br><br>"
         << "<font face=\"Arial\" size=\"2\"><b>" +
                Link(LocalHref(LocalFile(m_task.url)), EscapeHtml(m_task.startPageTitle)) + "</b></font><br>"
         << "<img src=\"!images/www.gif\" width=\"19\" height=\"19\" border=\"0\"> <font face=\"Arial\" size=\"1\">" +
                Link(URLHref(m_task.url), EscapeHtml(m_task.url)) + "</font><br>"
         << "<br>"
         << diamond + "<font face=\"Arial\" size=\"2\">Last Run: <b>" + EscapeHtml(FormatFileDateTime(m_task.lastRun)) +
                "</b></font><br>"
         << diamond + "<font face=\"Arial\" size=\"2\">Size: <b>" +
                std::to_string(KilobytesHalfEven(m_task.totalBytes)) + "</b> Kb</font><br>"
         << diamond + "<font face=\"Arial\" size=\"2\">Total Files: <b>" + totalFiles + "</b></font><br>";
    return text.Text();
}

void THXTaskReport::WriteSummary()
{
    const std::int64_t pagesSaved = m_task.pagesSaved - m_task.pageErrors;
    const std::int64_t mediaSaved = m_task.resourcesSaved - m_task.resourceErrors;
    auto row = [](std::string_view icon, std::string_view caption, const std::string& saved, std::int64_t errors,
                  std::int64_t total)
    {
        return "<tr bgcolor=\"#DEE9F3\"><td width=\"40%\"><img src=\"!images/" + std::string(icon) +
               "\" width=\"16\" height=\"16\" border=\"0\"> <font face=\"Arial\" size=\"2\"><b>" +
               std::string(caption) + "</b></font></td><td width=\"20%\">" + saved + "</td><td width=\"20%\">" +
               std::to_string(errors) + "</td><td width=\"20%\">" + std::to_string(total) + "</td></tr>";
    };

    TPageText page;
    page << PageHead(false) << PageBody(0) << "<table border=\"0\" width=\"100%\" cellpadding=\"4\">"
         << BannerRow("<tr><td colspan=\"4\">")
         << "<tr><td width=\"15\"></td><td width=\"450\" valign=\"top\" colspan=\"4\">" << Header(" - Task Summary")
         << "</td></tr>"
         << "<tr><td height=\"5\"></td><td height=\"5\"></td></tr>"
         << "<tr><td width=\"15\" bgcolor=\"#336699\" rowspan=\"2\" valign=\"top\" align=\"center\">"
            "<font face=\"Arial\" size=\"3\" color=\"#FFFFFF\"><b>R<br>E<br>S<br>U<br>L<br>T<br>S</b></font></td>"
         << "<td width=\"15\"></td><td>"
         << "<table border=\"1\" width=\"450\" cellspacing=\"0\" cellpadding=\"4\" bordercolor=\"#DEE9F3\">"
         << "<tr bgcolor=\"#B1CBE4\"><td width=\"40%\"><font face=\"Arial\"><b>&nbsp;</b></font></td>"
            "<td width=\"20%\"><font face=\"Arial\"><b>Saved</b></font></td>"
            "<td width=\"20%\"><font face=\"Arial\"><b>Errors</b></font></td>"
            "<td width=\"20%\"><font face=\"Arial\"><b>Total</b></font></td></tr>"
         << row("html.gif", "Pages:", Link(LocalHref(IndexFile(TReportIndex::Pages, 1)), std::to_string(pagesSaved)),
                m_task.pageErrors, m_task.totalPages)
         << row("images.gif",
                "Media Files:", Link(LocalHref(IndexFile(TReportIndex::Images, 1)), std::to_string(mediaSaved)),
                m_task.resourceErrors, m_task.totalResources)
         << "</table>"
         << "</td></tr>"
         << "<tr><td height=\"5\"></td><td height=\"5\"></td></tr>"
         << "<tr><td height=\"5\"></td><td height=\"5\"></td></tr>"
         << "</table>" << BannerLayer() << "</body>"
         << "</html>";
    WritePage(SummaryFile(), page.Text());

    const std::string skin = m_task.skinFolder;
    for (const std::string_view name : kReportDecorations)
    {
        const std::string source = skin + std::string(name);
        if (FileExists(source))
            CopyFileForced(source, m_folder + "!images/" + std::string(name));
    }
}

std::string THXTaskReport::NavigationLine(TReportIndex index, int page, int pageCount) const
{
    std::string line;
    for (int link = 1; link <= pageCount && link <= kReportPageLinks; ++link)
        line += Link(LocalHref(IndexFile(index, link)), std::to_string(link)) + "&nbsp;";
    if (pageCount > kReportPageLinks)
    {
        const std::string more = LocalHref(ToSlashes(MoreFile(index)));
        line += "<a href=\"" + more + "\" onclick=\"popup('" + more + "'); return false;\">more...</a>";
    }
    if (page > 1)
        line = Link(LocalHref(IndexFile(index, page - 1)), "Previous") + "&nbsp;&nbsp;" + line;
    line = Link(LocalHref(SummaryFile()), "Summary") + "&nbsp;&nbsp;" + line;
    if (page < pageCount)
        line += "&nbsp;&nbsp;" + Link(LocalHref(IndexFile(index, page + 1)), "Next");
    return line;
}

std::string THXTaskReport::EntryCell(TReportIndex index, const TEntry& entry, int number) const
{
    const std::string local = LocalFile(entry.url);
    // The 1st, 3rd, 5th ... entry of each page takes the first colour.
    const bool odd = (number - 1) % kReportEntriesPerPage % 2 == 0;
    const std::string color(odd ? kOddEntryColor : kEvenEntryColor);
    std::string cell = "<tr><td bgcolor=\"" + color + "\">";
    std::string title = entry.title;
    if (index == TReportIndex::Images)
    {
        cell += "<img src=\"" + LocalHref(local) + "\" border=\"0\"><br><br>";
        if (title.empty())
            title = ExtractFileName(local);
    }
    else if (title.empty())
    {
        title = entry.url;
    }
    cell += "<font face=\"Arial\" size=\"2\">" + std::to_string(number) + "&nbsp;<a href=\"" + LocalHref(local) +
            "\"><b>" + EscapeHtml(title) + "</b></a></font>";
    cell += "<font face=\"Arial\" size=\"1\"><br>URL: " + Link(URLHref(entry.url), EscapeHtml(entry.url));
    cell += "<br>Referrer: " + Link(URLHref(entry.referrer), EscapeHtml(entry.referrer));
    if (index == TReportIndex::Images)
    {
        const TImageSize size = ImageSize(local);
        cell += "<br>Size: " + EscapeHtml(entry.size);
        cell += "<br>W: " + std::to_string(size.Width) + ", H: " + std::to_string(size.Height);
    }
    else
    {
        cell += "<br>Level: " + EscapeHtml(entry.level);
    }
    cell += "<br>&nbsp;&nbsp;</font></td></tr>";
    return cell;
}

void THXTaskReport::WriteMorePage(TReportIndex index, int pageCount) const
{
    TPageText page;
    page << PageHead(false) << PageBody(20) << "<table border=\"0\" width=\"250\" cellpadding=\"4\" align=\"center\">"
         << "<tr>";
    for (int link = 1; link <= pageCount; ++link)
    {
        if (link > 1 && (link - 1) % kReportPageLinks == 0)
            page << "</tr><tr>";
        page << "<td width=\"10%\" align=\"center\" bgcolor=\"#C9DBED\"><a href=\"" +
                    LocalHref(IndexFile(index, link)) + "\" target=\"_blank\">" + std::to_string(link) + "</a></td>";
    }
    page << "</tr>"
         << "</table>"
         << "</body>"
         << "</html>";
    WritePage(MoreFile(index), page.Text());
}

void THXTaskReport::WriteIndex(TReportIndex index, const TProgress& progress)
{
    const int pageCount = PageCount(index);
    if (pageCount > kReportPageLinks)
        WriteMorePage(index, pageCount);
    const THXReportQueueLines lines = ReadReportQueue(m_task.queueFile);
    const std::string_view group = index == TReportIndex::Pages ? "HTML" : "Images";
    const std::string heading = index == TReportIndex::Pages ? " - Page Index" : " - Image Index";
    const std::string label = index == TReportIndex::Pages ? "Creating Page Index" : "Creating Image Index";

    // One scan of the queue runs on from page to page.
    std::size_t line = 0;
    auto nextEntry = [&](TEntry& entry)
    {
        for (; line + 1 < lines.size(); line += 2)
        {
            const std::string_view record = lines[line + 1];
            if (StrToIntDef(Trim(QueueField(record, 0)), 0) <= kStateDownloaded || QueueField(record, 2) != group)
                continue;
            entry.url = QueueText(lines[line]);
            entry.referrer = QueueField(record, 5);
            entry.level = QueueField(record, 4);
            entry.title = QueueField(record, 8);
            entry.size = QueueField(record, 9);
            line += 2;
            return true;
        }
        return false;
    };

    for (int pageNumber = 1; pageNumber <= pageCount; ++pageNumber)
    {
        const std::string navigation = NavigationLine(index, pageNumber, pageCount);
        TPageText page;
        page << PageHead(true) << PageBody(0) << "<table border=\"0\" width=\"90%\" cellpadding=\"4\" align=\"center\">"
             << BannerRow("<tr><td align=\"center\">") << "<tr><td valign=\"top\"><blockquote>" << Header(heading)
             << "</blockquote>"
             << "<p align=\"center\"><font face=\"Arial\" size=\"2\">" + navigation + "</font></p></td></tr>"
             << "</table>"
             << "<table align=\"center\" width=\"90%\" cellspacing=\"4\" cellpadding=\"8\" bgcolor=\"#C5D8EB\">";
        TEntry entry;
        for (int number = 1; number <= kReportEntriesPerPage && nextEntry(entry); ++number)
            page << EntryCell(index, entry, (pageNumber - 1) * kReportEntriesPerPage + number);
        page << "</table>"
             << "<br><center><font face=\"Arial\" size=\"2\">" + navigation + "</font></center><br>" << BannerLayer()
             << "</body>"
             << "</html>";
        WritePage(IndexFile(index, pageNumber), page.Text());
        Report(progress, label, Percent(pageNumber, pageCount));
    }
}

std::string THXTaskReport::CreateReports(const TProgress& progress)
{
    Report(progress, "Creating Task Summary", 0);
    WriteSummary();
    Report(progress, "Creating Page Index", 0);
    WriteIndex(TReportIndex::Pages, progress);
    Report(progress, "Creating Image Index", 0);
    WriteIndex(TReportIndex::Images, progress);
    return SummaryFile();
}

} // namespace hx
