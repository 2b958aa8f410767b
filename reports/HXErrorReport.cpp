#include "reports/HXErrorReport.h"

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "reports/HXHtml.h"
#include "reports/HXReportQueue.h"

namespace hx
{

namespace
{

// The fragment has no head to name its charset; the byte order mark tells the
// browser the text is UTF-8.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::string LinkToItself(std::string_view url)
{
    return "<a href=\"" + URLHref(url) + "\">" + EscapeHtml(url) + "</a>";
}

} // namespace

std::string ErrorReportFile(THXTask& task)
{
    // The name comes from the task file; it must not lead the file out of the folder.
    return task.App().GetTempFolder() + ReplaceIllegalChars(task.Name, '_') + "_errors.htm";
}

std::string ErrorReportText(std::string_view name, std::string_view startPageTitle,
                            const THXReportQueueLines& queueLines)
{
    std::string text(kUtf8Mark);
    auto line = [&text](std::string_view content)
    {
        text += content;
        text += "\r\n";
    };
    line("<font face=\"Arial\" size=\"5\"><b>Harbex Error Report</b></font><br>");
    line("<font face=\"Arial\" size=\"2\"><b>Task: " + EscapeHtml(name) + " -  " + EscapeHtml(startPageTitle) +
         "</b></font><br>");
    line("<table cellpadding=\"4\" cellspacing=\"4\">");
    line("<tr>"
         "<td bgcolor=\"#004080\"><font face=\"Arial\" color=\"#FFFFFF\"><b>URL</b></font></td>"
         "<td bgcolor=\"#004080\"><font face=\"Arial\" color=\"#FFFFFF\"><b>Error</b></font></td>"
         "<td bgcolor=\"#004080\"><font face=\"Arial\" color=\"#FFFFFF\"><b>Referrer</b></font></td>"
         "</tr>");
    int rows = 0;
    for (std::size_t p = 1; p < queueLines.size(); ++p)
    {
        const std::string_view record = queueLines[p];
        if (record.substr(0, record.find(kFieldSeparator)) != "3")
            continue;
        const std::string color(rows % 2 == 0 ? kErrorRowColor : kErrorRowAlternateColor);
        ++rows;
        auto cell = [&color](const std::string& content)
        { return "<td bgcolor=\"" + color + "\"><font face=\"Arial\" size=\"2\">" + content + "</font></td>"; };
        line("<tr>" + cell(LinkToItself(QueueText(queueLines[p - 1]))) + cell(EscapeHtml(QueueField(record, 1))) +
             cell(LinkToItself(QueueField(record, 5))) + "</tr>");
    }
    line("</table>");
    return text;
}

std::string WriteErrorReport(THXTask& task)
{
    const THXReportQueueLines lines = ReadReportQueue(task.QueueFileName());
    const std::string path = ErrorReportFile(task);
    // Made again from the queue whenever asked: replaced whole, not flushed to disk.
    if (!WriteFileAtomic(path, ErrorReportText(task.Name, task.StartPageTitle, lines), TDurability::kAtomicOnly))
        throw EFileError("Cannot create file \"" + path + "\". No such file or directory");
    return path;
}

} // namespace hx
