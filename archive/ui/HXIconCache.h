#pragma once

// TIconCache: the small file-type icons of the Zips and Pages trees and of the
// Zip contents list. An icon is looked up once per file extension and kept: the
// desktop's icon theme is asked for the extension's file type (the file need not
// exist), falling back to its generic type and then to the plain file icon. A
// name without an extension, and a folder path (ending in "/"), take the folder
// icon; ".zip" files take the archive's icon.
//
// Threads: window thread only.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include <QIcon>

namespace hx
{

class TIconCache final
{
public:
    TIconCache() = default;
    TIconCache(const TIconCache&) = delete;
    TIconCache& operator=(const TIconCache&) = delete;

    // The icon of a file or folder path by its extension (letter case ignored).
    QIcon ForPath(const std::string& path);
    // The icon of a Zip archive (the root nodes of the Zips tree).
    QIcon ArchiveIcon();
    QIcon FolderIcon();

    // How many extensions have been looked up so far (the empty one included).
    std::size_t KnownExtensions() const { return m_icons.size(); }

    // The key of a path: its extension in lower case with the dot (".html"),
    // empty for a folder path or a name without an extension.
    static std::string ExtensionKey(std::string_view path);

private:
    static QIcon LookUp(const std::string& extension);

    std::unordered_map<std::string, QIcon> m_icons;
};

} // namespace hx
