#include "core/ui/HXArtIcons.h"

#include <QFile>
#include <QHash>

namespace hx
{

namespace
{

// Each picture comes at its own size and at two and four times that size.
constexpr const char* kScaleSuffixes[] = {"", "@2x", "@4x"};

QIcon LoadArtIcon(const QString& name)
{
    QIcon icon;
    for (const char* suffix : kScaleSuffixes)
    {
        const QString file =
            QStringLiteral(":/harbex/pictures/") + name + QLatin1String(suffix) + QStringLiteral(".png");
        if (QFile::exists(file))
            icon.addFile(file);
    }
    return icon;
}

} // namespace

QIcon ArtIcon(const QString& name, const QIcon& fallback)
{
    // Lists ask for their state images on every paint: each picture is read once.
    static QHash<QString, QIcon> loaded;
    auto found = loaded.find(name);
    if (found == loaded.end())
        found = loaded.insert(name, LoadArtIcon(name));
    return found->isNull() ? fallback : *found;
}

} // namespace hx
