#include "archive/ui/HXIconCache.h"

#include <QFileIconProvider>
#include <QMimeDatabase>
#include <QMimeType>

namespace hx
{

std::string TIconCache::ExtensionKey(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    std::string key(name.substr(dot));
    for (char& c : key)
    {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

QIcon TIconCache::ForPath(const std::string& path)
{
    std::string key = ExtensionKey(path);
    const auto known = m_icons.find(key);
    if (known != m_icons.end())
        return known->second;
    QIcon icon = LookUp(key);
    m_icons.emplace(std::move(key), icon);
    return icon;
}

QIcon TIconCache::ArchiveIcon()
{
    return ForPath(".zip");
}

QIcon TIconCache::FolderIcon()
{
    return ForPath(std::string());
}

QIcon TIconCache::LookUp(const std::string& extension)
{
    QFileIconProvider provider;
    if (extension.empty())
        return provider.icon(QFileIconProvider::Folder);
    // Only the name is matched: the file need not exist.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QStringLiteral("x") + QString::fromStdString(extension),
                                                           QMimeDatabase::MatchExtension);
    if (type.isValid() && !type.isDefault())
    {
        QIcon icon = QIcon::fromTheme(type.iconName());
        if (icon.isNull())
            icon = QIcon::fromTheme(type.genericIconName());
        if (!icon.isNull())
            return icon;
    }
    return provider.icon(QFileIconProvider::File);
}

} // namespace hx
