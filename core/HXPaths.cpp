#include "core/HXPaths.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

#include "core/HXFiles.h"

namespace hx
{

namespace
{

char FoldCase(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Wildcard match of a whole name: "*" any run, "?" one character, ASCII letters
// without case. Backtracks only to the last "*", so it stays linear in practice.
bool MatchesMask(std::string_view name, std::string_view mask)
{
    if (mask.empty() || mask == "*.*")
    {
        return true;
    }
    std::size_t n = 0;
    std::size_t m = 0;
    std::size_t starMask = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size())
    {
        if (m < mask.size() && (mask[m] == '?' || FoldCase(mask[m]) == FoldCase(name[n])))
        {
            ++n;
            ++m;
        }
        else if (m < mask.size() && mask[m] == '*')
        {
            starMask = m++;
            starName = n;
        }
        else if (starMask != std::string_view::npos)
        {
            m = starMask + 1;
            n = ++starName;
        }
        else
        {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
    {
        ++m;
    }
    return m == mask.size();
}

template <typename Keep>
std::vector<std::string> ListEntries(const std::string& folder, Keep&& keep)
{
    std::vector<std::string> names;
    if (folder.empty())
    {
        return names;
    }
    std::error_code error;
    std::filesystem::directory_iterator entry(folder, error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error))
    {
        std::string name = entry->path().filename().string();
        if (keep(*entry, name))
        {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string FirstProgramOnPath(const auto& names)
{
    for (const std::string_view name : names)
    {
        if (std::string path = FindProgramOnPath(name); !path.empty())
        {
            return path;
        }
    }
    return {};
}

} // namespace

std::string UniqueFileName(const std::string& path)
{
    if (!FileExists(path))
    {
        return path;
    }
    const std::string folder = ExtractFilePath(path);
    const std::string extension = ExtractFileExt(path);
    const std::string name = ExtractFileName(path);
    const std::string stem = name.substr(0, name.size() - std::min(extension.size(), name.size()));
    for (unsigned long number = 0;; ++number)
    {
        std::string candidate = folder + stem + "(" + std::to_string(number) + ")" + extension;
        if (!FileExists(candidate))
        {
            return candidate;
        }
    }
}

std::string FileBaseName(const std::string& path)
{
    std::string name = ExtractFileName(path);
    const std::string extension = ExtractFileExt(path);
    if (!extension.empty())
    {
        if (const auto at = name.find(extension); at != std::string::npos)
        {
            name.erase(at, extension.size());
        }
    }
    return name;
}

std::string ReplaceIllegalChars(std::string_view text, char replacement)
{
    std::string result(text);
    for (char& c : result)
    {
        if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
        {
            c = replacement;
        }
    }
    return result;
}

std::string ToBackslashes(std::string_view text)
{
    std::string result(text);
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

std::string ToSlashes(std::string_view text)
{
    std::string result(text);
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

bool CopyFileForced(const std::string& source, const std::string& target)
{
    if (const std::string folder = ExtractFilePath(target); !folder.empty() && !DirectoryExists(folder))
    {
        ForceDirectories(folder);
    }
    std::error_code error;
    std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, error);
    return !error;
}

std::vector<std::string> ListFiles(const std::string& folder, std::string_view mask)
{
    return ListEntries(folder,
                       [mask](const std::filesystem::directory_entry& entry, const std::string& name)
                       {
                           std::error_code error;
                           return entry.is_regular_file(error) && MatchesMask(name, mask);
                       });
}

std::vector<std::string> ListFolders(const std::string& folder)
{
    return ListEntries(folder,
                       [](const std::filesystem::directory_entry& entry, const std::string&)
                       {
                           std::error_code error;
                           return entry.is_directory(error);
                       });
}

std::string FindProgramOnPath(std::string_view name)
{
    if (name.empty() || name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos)
    {
        return {};
    }
    const char* searchPath = std::getenv("PATH");
    if (searchPath == nullptr)
    {
        return {};
    }
    std::string_view folders = searchPath;
    while (true)
    {
        const auto colon = folders.find(':');
        const std::string_view folder = folders.substr(0, colon);
        if (!folder.empty())
        {
            std::string candidate(folder);
            if (candidate.back() != '/')
            {
                candidate += '/';
            }
            candidate += name;
            struct stat info
            {
            };
            if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
                ::access(candidate.c_str(), X_OK) == 0)
            {
                return candidate;
            }
        }
        if (colon == std::string_view::npos)
        {
            return {};
        }
        folders.remove_prefix(colon + 1);
    }
}

std::string FindInternetExplorer()
{
    static constexpr std::array<std::string_view, 8> chromiumFamily = {"chromium",
                                                                       "chromium-browser",
                                                                       "google-chrome-stable",
                                                                       "google-chrome",
                                                                       "brave-browser",
                                                                       "microsoft-edge",
                                                                       "vivaldi",
                                                                       "opera"};
    return FirstProgramOnPath(chromiumFamily);
}

std::string FindNetscapeNavigator()
{
    static constexpr std::array<std::string_view, 5> firefoxFamily = {"firefox", "firefox-esr", "librewolf", "waterfox",
                                                                      "seamonkey"};
    return FirstProgramOnPath(firefoxFamily);
}

bool InternetExplorerInstalled()
{
    return !FindInternetExplorer().empty();
}

} // namespace hx
