#pragma once

// The reports read a task's queue file afresh, as lines: for each item its URL line
// and then its record line, eleven fields each followed by the byte 0xB6. The file
// is Windows-1252 with "&#N;" escapes; texts are decoded to UTF-8 as they are taken.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace hx
{

// The lines of a queue file: the file's bytes once, and where each line starts (a
// queue of a million items is read without a string per line).
class THXReportQueueLines
{
public:
    explicit THXReportQueueLines(std::string bytes);
    std::size_t size() const { return m_starts.size(); }
    // The line without its ending.
    std::string_view operator[](std::size_t line) const;

private:
    std::string m_bytes;
    std::vector<std::size_t> m_starts;
};

// The lines of the queue file (CR LF, LF or CR endings). Throws EFileError with the
// file-open message when the file cannot be read.
THXReportQueueLines ReadReportQueue(const std::string& path);

// A URL line decoded.
std::string QueueText(std::string_view line);
// Field n of a record line (counting from 0), decoded; empty when missing.
std::string QueueField(std::string_view record, int n);

} // namespace hx
