#pragma once

// The reports read a task's queue file afresh, as lines: for each item its URL line
// and then its record line, eleven fields each followed by the byte 0xB6. The file
// is Windows-1252 with "&#N;" escapes; texts are decoded to UTF-8 as they are taken.

#include <string>
#include <string_view>
#include <vector>

namespace hx
{

// The lines of the queue file (CR LF, LF or CR endings). Throws EFileError with the
// file-open message when the file cannot be read.
std::vector<std::string> ReadReportQueue(const std::string& path);

// A URL line decoded.
std::string QueueText(std::string_view line);
// Field n of a record line (counting from 0), decoded; empty when missing.
std::string QueueField(std::string_view record, int n);

} // namespace hx
