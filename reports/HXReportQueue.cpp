#include "reports/HXReportQueue.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/HXEncoding.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"

namespace hx
{

std::vector<std::string> ReadReportQueue(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        const int error = errno;
        throw EFileError("Cannot open file \"" + path + "\". " + std::strerror(error != 0 ? error : ENOENT));
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    const std::string bytes = buffer.str();

    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size())
    {
        const std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string::npos)
        {
            lines.emplace_back(bytes, start);
            break;
        }
        lines.emplace_back(bytes, start, end - start);
        start = end + 1;
        if (bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n')
            ++start;
    }
    return lines;
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
