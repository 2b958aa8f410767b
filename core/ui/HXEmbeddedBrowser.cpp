#include "core/ui/HXEmbeddedBrowser.h"

#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <QString>

namespace hx
{

bool EmbeddedBrowserAvailable()
{
#ifdef HX_HAVE_WEBENGINE
    return qgetenv("HARBEX_NO_WEBENGINE") != "1";
#else
    return false;
#endif
}

void PrepareEngineEnvironment()
{
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (QApplication::platformName() == QStringLiteral("offscreen") &&
        !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
}

} // namespace hx
