#pragma once

// The error report: every URL of a task whose transfer failed (record field 0
// exactly "3"), with its error text and referrer, as one HTML fragment (no
// document, head or body elements) in the temporary folder, named after the task.

#include <string>
#include <string_view>

namespace hx
{

class THXReportQueueLines;
class THXTask;

inline constexpr std::string_view kErrorRowColor = "#F5F5F5";
inline constexpr std::string_view kErrorRowAlternateColor = "#E9E9E9";

// The temporary folder + the task's name + "_errors.htm". Tasks of the same name in
// different categories share the file; the later report replaces the earlier one.
std::string ErrorReportFile(THXTask& task);

// The fragment for the queue lines (as the queue file holds them): CR LF lines,
// the title, the task line, and a table with a header row and one row per failed item.
std::string ErrorReportText(std::string_view name, std::string_view startPageTitle,
                            const THXReportQueueLines& queueLines);

// Reads the queue file, writes the report and returns its path (the caller opens it
// in the default browser). Throws EFileError with the file-open message when the
// queue file cannot be read (nothing is written), or when the report cannot be written.
std::string WriteErrorReport(THXTask& task);

} // namespace hx
