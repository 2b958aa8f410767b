#include "core/ui/HXSkinLook.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QMovie>
#include <QPalette>
#include <QWidget>

#include <memory>

#include "core/HXApp.h"
#include "core/ui/HXColors.h"

namespace hx
{

namespace
{

// Skin pictures are small; a larger file is no picture of a skin.
constexpr qint64 kMaxPictureBytes = 16 * 1024 * 1024;

QByteArray ReadPictureBytes(const std::string& path)
{
    if (path.empty())
        return {};
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxPictureBytes)
        return {};
    return file.readAll();
}

} // namespace

QImage ReadSkinImage(const std::string& path)
{
    QByteArray bytes = ReadPictureBytes(path);
    if (bytes.isEmpty())
        return {};
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

QIcon ReadSkinIcon(const std::string& path)
{
    const QImage picture = ReadSkinImage(path);
    if (picture.isNull())
        return {};
    QIcon icon(QPixmap::fromImage(picture));
    const std::string::size_type dot = path.find_last_of('.');
    const std::string::size_type slash = path.find_last_of('/');
    const std::string stem =
        dot != std::string::npos && (slash == std::string::npos || dot > slash) ? path.substr(0, dot) : path;
    QImage large = ReadSkinImage(stem + "@2x.png");
    // Only a picture of exactly twice the size stands in for the same picture.
    if (!large.isNull() && large.size() == picture.size() * 2)
    {
        large.setDevicePixelRatio(2.0);
        icon.addPixmap(QPixmap::fromImage(large));
    }
    return icon;
}

QMovie* ReadSkinMovie(const std::string& path, QObject* parent)
{
    const QByteArray bytes = ReadPictureBytes(path);
    if (bytes.isEmpty())
        return nullptr;
    auto movie = std::make_unique<QMovie>();
    // The movie reads its frames from its own copy of the bytes as it plays.
    auto* buffer = new QBuffer(movie.get());
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    movie->setDevice(buffer);
    if (!movie->isValid() || !movie->jumpToFrame(0) || movie->currentImage().isNull())
        return nullptr;
    movie->setParent(parent);
    return movie.release();
}

QColor SchemeColor(const THXApp& app, std::size_t index, QColor fallback)
{
    const auto& colors = app.ThemeColors();
    if (index >= colors.size())
        return fallback;
    const std::optional<TRgb> rgb = ThemeColorRgb(colors[index]);
    return rgb ? QColor(rgb->Red, rgb->Green, rgb->Blue) : fallback;
}

void PaintInSchemeColor(QWidget& widget, const THXApp& app, std::size_t index)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, SchemeColor(app, index, palette.color(QPalette::Window)));
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

} // namespace hx
