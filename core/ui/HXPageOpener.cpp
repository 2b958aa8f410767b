#include "core/ui/HXPageOpener.h"

#include <QDesktopServices>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QProcess>
#include <QUrl>

#include "core/HXApp.h"
#include "core/ui/HXQtText.h"

namespace hx
{

bool LaunchDetached(const TLaunchRequest& request)
{
    if (!request.Program.empty())
        return QProcess::startDetached(Text(request.Program), {Text(request.Target)});
    const QUrl address = request.Target.find("://") == std::string::npos ? QUrl::fromLocalFile(Text(request.Target))
                                                                         : QUrl(Text(request.Target));
    return QDesktopServices::openUrl(address);
}

std::string LaunchFailedMessage(const TLaunchRequest& request)
{
    if (!request.Program.empty())
        return "Unable to start " + request.Program;
    return "No program of the desktop opens " + request.Target;
}

TPageOpener::TPageOpener(const THXApp& app, TLauncher launcher)
    : m_app(&app)
    , m_launcher(launcher ? std::move(launcher) : TLauncher(&LaunchDetached))
{
}

TLaunchRequest TPageOpener::PageRequest(const std::string& target) const
{
    return {m_app->Browser(), target};
}

bool TPageOpener::OpenPage(const std::string& target) const
{
    return m_launcher(PageRequest(target));
}

bool TPageOpener::OpenWith(const std::string& program, const std::string& target) const
{
    return m_launcher({program, target});
}

bool TPageOpener::OpenWithDesktop(const std::string& target) const
{
    return m_launcher({std::string(), target});
}

QIcon BrowserIcon(const std::string& program)
{
    if (program.empty())
        return {};
    const QFileInfo file(Text(program));
    QIcon icon = QIcon::fromTheme(file.baseName());
    if (icon.isNull() && file.exists())
        icon = QFileIconProvider().icon(file);
    return icon;
}

} // namespace hx
