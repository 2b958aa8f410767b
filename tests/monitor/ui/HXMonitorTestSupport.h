#pragma once

// What the monitor window tests share: a settings object in a temporary program
// folder, and pictures of the windows for a person to look at.

#include <memory>
#include <string>

#include <QString>
#include <QWidget>

#include "core/HXApp.h"
#include "support/HXSandbox.h"

namespace hx::test
{

// A settings object whose every folder and settings file lie in a temporary folder.
struct TSandboxApp
{
    TTempFolder Home;
    THXApp App{THXEnvironment::UnderHome(Home.Path().string())};
};

// With HX_SCREENSHOT_DIR set, saves a picture of the widget there as
// `name`-x<QT_SCALE_FACTOR>.png.
void SaveScreenshot(QWidget& widget, const QString& name);

// The first of the widget's visible descendants whose frame leaves the widget's
// rectangle, or that is smaller than its minimum size hint; empty when none is.
QString FirstClippedChild(QWidget& widget);

} // namespace hx::test
