#pragma once

// What a skin gives the windows, read for Qt: its pictures and the colours of the
// scheme in force. A skin's pictures keep the names the program has always used
// ("new.bmp", "hxanim.gif" ...) whatever format the files hold, so the format is
// told by the content, never by the name.
//
// Threads: window thread only.

#include <QColor>
#include <QIcon>
#include <QImage>

#include <cstddef>
#include <string>

class QMovie;
class QObject;
class QWidget;

namespace hx
{

class THXApp;

// The picture of a file; a null image when the path is empty or the file holds no
// picture Qt can read.
QImage ReadSkinImage(const std::string& path);

// A button picture as an icon: the picture of `path`, and beside it, when the
// skin has one, the same picture drawn at twice the size ("new@2x.png" for
// "new.bmp"), which screens at 200% show instead of an enlarged copy. A null icon
// when the picture cannot be read.
QIcon ReadSkinIcon(const std::string& path);

// The logo animation of a file (a still picture makes a one-frame animation), its
// bytes read at once so the file may change afterwards; null when the path is empty
// or the file holds no picture. The animation belongs to `parent`.
QMovie* ReadSkinMovie(const std::string& path, QObject* parent);

// One of the four colours of the scheme in force, counted from 0; `fallback` when
// the stored text is no colour.
QColor SchemeColor(const THXApp& app, std::size_t index, QColor fallback = QColor(Qt::black));

// Paints the widget's background (where its children leave it bare) in one of the
// four colours of the scheme in force, counted from 0.
void PaintInSchemeColor(QWidget& widget, const THXApp& app, std::size_t index);

} // namespace hx
