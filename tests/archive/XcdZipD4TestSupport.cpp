#include "XcdZipD4TestSupport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>

#include <sys/stat.h>
#include <sys/wait.h>

#include <zip.h>

namespace hx::test
{

namespace fs = std::filesystem;

TCommandResult RunCommand(const std::string& command)
{
    TCommandResult result;
    const std::string full = command + " 2>&1";
    FILE* pipe = ::popen(full.c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.output.append(buffer.data(), got);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
    {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

bool HaveProgram(const std::string& name)
{
    return RunCommand("command -v " + ShellQuote(name)).status == 0;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size())
    {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

void MakeRawArchive(const std::string& path, const std::vector<TRawEntry>& entries)
{
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr)
        throw std::runtime_error("cannot create " + path);
    for (const auto& entry : entries)
    {
        zip_source_t* source = zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
        const zip_int64_t index =
            source == nullptr ? -1 : zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0)
        {
            if (source != nullptr)
                zip_source_free(source);
            zip_discard(archive);
            throw std::runtime_error("cannot add " + entry.name);
        }
        const auto at = static_cast<zip_uint64_t>(index);
        if (entry.mode != 0)
            zip_file_set_external_attributes(archive, at, 0, ZIP_OPSYS_UNIX, entry.mode << 16);
        if (entry.stored)
            zip_set_file_compression(archive, at, ZIP_CM_STORE, 0);
        zip_file_set_mtime(archive, at, 946728000, 0); // 1 January 2000, noon UTC
    }
    if (zip_close(archive) != 0)
    {
        zip_discard(archive);
        throw std::runtime_error("cannot write " + path);
    }
}

std::string RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (auto& byte : bytes)
        byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

std::vector<std::string> TreeOf(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().lexically_relative(folder).generic_string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<TXcdFileStats> TXcdZipTest::ListAll(const std::string& mask)
{
    std::vector<TXcdFileStats> listed;
    zip.OnListing = [&](const TXcdFileStats& stats) { listed.push_back(stats); };
    zip.List(mask);
    zip.OnListing = nullptr;
    return listed;
}

std::vector<std::string> TXcdZipTest::ListNames(const std::string& mask)
{
    std::vector<std::string> names;
    for (const auto& stats : ListAll(mask))
        names.push_back(stats.FileName);
    return names;
}

int TXcdZipTest::AddFiles(const std::vector<std::string>& files)
{
    zip.BaseFolder = folder.Path().string();
    zip.UsePaths = true;
    zip.FilesToProcess = files;
    return zip.Add();
}

bool TXcdZipTest::InfoZipMissing()
{
    static const bool missing = !HaveProgram("zip") || !HaveProgram("unzip") || !HaveProgram("zipinfo");
    return missing;
}

} // namespace hx::test
