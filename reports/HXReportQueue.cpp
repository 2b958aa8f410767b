#include "reports/HXReportQueue.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>

#include "core/HXEncoding.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"

namespace hx
{

THXReportQueueLines::THXReportQueueLines(std::string bytes)
    : m_bytes(std::move(bytes))
{
    std::size_t start = 0;
    while (start < m_bytes.size())
    {
        m_starts.push_back(start);
        const std::size_t end = m_bytes.find_first_of("\r\n", start);
        if (end == std::string::npos)
            break;
        start = end + 1;
        if (m_bytes[end] == '\r' && start < m_bytes.size() && m_bytes[start] == '\n')
            ++start;
    }
}

std::string_view THXReportQueueLines::operator[](std::size_t line) const
{
    const std::size_t start = m_starts[line];
    std::size_t end = line + 1 < m_starts.size() ? m_starts[line + 1] : m_bytes.size();
    // Lines hold no line breaks: what ends the span is the line's ending.
    while (end > start && (m_bytes[end - 1] == '\n' || m_bytes[end - 1] == '\r'))
        --end;
    return std::string_view(m_bytes).substr(start, end - start);
}

THXReportQueueLines ReadReportQueue(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
    {
        const int error = errno;
        throw EFileError("Cannot open file \"" + path + "\". " + std::strerror(error != 0 ? error : ENOENT));
    }
    // Read in one piece into a string of the file's size (a stream buffer would grow
    // by doubling and then be copied).
    const std::streamoff size = in.tellg();
    std::string bytes(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return THXReportQueueLines(std::move(bytes));
}

std::string QueueText(std::string_view line)
{
    return Cp1252ToUtf8(line);
}

std::string QueueField(std::string_view record, int n)
{
    return Cp1252ToUtf8(NthField(record, kFieldSeparator, n));
}

} // namespace hx
