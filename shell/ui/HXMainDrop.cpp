// The main window's ways in for addresses and files from outside: the first
// command-line parameter, drops on the window, a second start's parameters, and
// the auto-download dialog that turns an address into a task.

#include "shell/ui/HXMain.h"

#include <QToolButton>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"
#include "core/HXURL.h"
#include "schedule/ui/HXSchedulerWindow.h"
#include "shell/ui/HXdlgAutoHarbex.h"

namespace hx
{

namespace
{

bool HasExtension(const std::string& path, std::string_view extension)
{
    return LowerCase(ExtractFileExt(path)) == extension;
}

} // namespace

void TFormHarbex::HandleCommandLine(const std::string& parameter)
{
    // Only plain http addresses open the dialog; other schemes are not offered.
    if (LowerCase(parameter).starts_with("http://"))
        ShowAutoDownload(parameter);
    else if (HasExtension(parameter, ".hxt"))
        m_schedulerWindow->OpenTaskFile(parameter);
    else if (HasExtension(parameter, ".zip"))
        m_zipPane->OpenZip(parameter);
}

void TFormHarbex::HandleDrop(const std::vector<std::string>& strings)
{
    if (strings.size() == 1)
    {
        const std::string& dropped = strings.front();
        if (!SplitURL(dropped).Protocol.empty())
            ShowAutoDownload(dropped);
        else if (HasExtension(dropped, ".zip"))
        {
            RestoreFromTray();
            m_zipPane->OpenZip(dropped);
        }
        else if (HasExtension(dropped, ".hxt"))
            m_schedulerWindow->OpenTaskFile(dropped);
        // Anything else is not for this program: ignored without a word.
        return;
    }
    if (strings.empty())
        return;
    // Several files, archives among them or not, go into an archive: the wizard
    // opens with them, preset to add to the archive the window has selected.
    RestoreFromTray();
    m_zipPane->FileZip(strings, true);
}

void TFormHarbex::HandleHandedOver(const std::vector<std::string>& parameters)
{
    // A second start brings the running window forward, then hands it its task
    // files and archives; addresses are not taken over this way.
    RestoreFromTray();
    for (const std::string& parameter : parameters)
    {
        if (HasExtension(parameter, ".hxt"))
            m_schedulerWindow->OpenTaskFile(parameter);
        else if (HasExtension(parameter, ".zip"))
            m_zipPane->OpenZip(parameter);
    }
}

void TFormHarbex::ShowAutoDownload(const std::string& address)
{
    TdlgAutoHarbex dialog(address, TdlgAutoHarbex::ProfileNames(m_app.ProfilesFolder()), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    NewTaskFromURL(address, dialog.Profile(), false, btnIntranetMode->isChecked());
}

} // namespace hx
