#include "core/HXFileTypes.h"

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXSettingsStore.h"
#include "core/HXStrings.h"
#include "core/HXURL.h"

namespace hx
{

std::string ClassificationExtension(std::string_view url)
{
    std::string extension = URLExtension(url);
    if (extension.empty())
        extension = ".htm";
    if (url.find('?') != std::string_view::npos)
    {
        if (url.find("=gif") != std::string_view::npos)
            extension = ".gif";
        else if (url.find("=jpg") != std::string_view::npos)
            extension = ".jpg";
        else
            extension = ".htm";
    }
    return extension;
}

std::string GroupOfExtension(const TFileTypeGroups& groups, std::string_view extension)
{
    if (extension.empty())
        return {};
    const std::string needle = std::string(extension) + ";";
    for (std::size_t index = 0; index < groups.names.size() && index < groups.texts.size(); ++index)
    {
        if (groups.texts[index].find(needle) != std::string::npos)
            return groups.names[index];
    }
    return {};
}

std::string GroupOfURL(const TFileTypeGroups& groups, std::string_view url)
{
    return GroupOfExtension(groups, ClassificationExtension(url));
}

std::string GroupOfFile(const TFileTypeGroups& groups, std::string_view path)
{
    return GroupOfExtension(groups, LowerCase(ExtractFileExt(std::string(path))));
}

std::string GroupOfURL(THXSettingsStore& store, std::string_view url)
{
    return GroupOfURL(ReadGroups(store), url);
}

std::string GroupOfFile(THXSettingsStore& store, std::string_view path)
{
    return GroupOfFile(ReadGroups(store), path);
}

TFileTypeGroups ReadGroups(THXSettingsStore& store)
{
    TFileTypeGroups groups;
    auto values = store.StringValues(kFileTypesKey);
    groups.names.reserve(values.size());
    groups.texts.reserve(values.size());
    for (auto& [name, text] : values)
    {
        groups.names.push_back(std::move(name));
        groups.texts.push_back(std::move(text));
    }
    return groups;
}

void WriteGroup(THXSettingsStore& store, std::string_view name, std::string_view text)
{
    std::string value(text);
    if (!value.empty() && value.back() != ';')
        value += ';';
    store.WriteString(kFileTypesKey, name, value);
}

void DeleteGroup(THXSettingsStore& store, std::string_view name)
{
    store.DeleteValue(kFileTypesKey, name);
}

} // namespace hx
