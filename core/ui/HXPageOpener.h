#pragma once

// How the windows open a page, or any file, outside the program: the one place
// that decides which program gets it.
//
// A page (a report, a copy's start page, a help page, an address) goes to the
// browser program the "Browser" setting names, started with the page as its one
// argument. An empty setting stands for the desktop's default browser: the settings
// object puts the program the desktop names for it ($BROWSER, xdg-open) in its
// place, and when there is none the desktop's handler opens the page. A browser item of a Browse menu names its own
// program. Files that are not pages (a file of a Zip archive, a folder) go to the desktop's program for their type.
//
// Every opening ends in one launch request, and the launcher that carries it out
// is the seam: the program's own launcher starts a detached process or asks the
// desktop; tests plug in one that records the requests. Window thread only.

#include <functional>
#include <string>

class QIcon;

namespace hx
{

class THXApp;

// One thing to open: Program started with Target as its argument, or, with no
// Program, Target handed to the desktop's default handler.
struct TLaunchRequest
{
    std::string Program;
    std::string Target;

    bool operator==(const TLaunchRequest&) const = default;
};

// Carries out a request; false when it could not be started.
using TLauncher = std::function<bool(const TLaunchRequest& request)>;

// What the user is told when the request could not be carried out.
std::string LaunchFailedMessage(const TLaunchRequest& request);

// The program's own launcher: a detached process for a program, the desktop's
// handler (QDesktopServices) otherwise; a target without "://" is a local path.
bool LaunchDetached(const TLaunchRequest& request);

class TPageOpener
{
public:
    // An empty launcher means LaunchDetached. The app must outlive the opener.
    explicit TPageOpener(const THXApp& app, TLauncher launcher = {});

    // A page in the browser the "Browser" setting names, else the desktop's
    // default browser.
    bool OpenPage(const std::string& target) const;
    // A page in the given browser program (the desktop's when empty).
    bool OpenWith(const std::string& program, const std::string& target) const;
    // A file or folder with the desktop's program for its type.
    bool OpenWithDesktop(const std::string& target) const;

    // The request OpenPage makes for the target.
    TLaunchRequest PageRequest(const std::string& target) const;

private:
    const THXApp* m_app;
    TLauncher m_launcher;
};

// The icon of a browser program: the desktop theme's icon of its name (most
// browsers install one), else its file's icon; null when it has neither.
QIcon BrowserIcon(const std::string& program);

} // namespace hx
