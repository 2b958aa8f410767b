#pragma once

// What the main window's tests share: a temporary home with the program's objects
// under it, a test server on 127.0.0.1, the main window shown as the program shows
// it, and the documents the window asked the desktop to open. A test class derives
// from it, starts what it needs in init() and calls Stop() in cleanup().

#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/HXApp.h"
#include "shell/ui/HXMain.h"
#include "shell/ui/HXQtSession.h"
#include "support/HXTestServer.h"

namespace hx::test
{

// How the shown window becomes the active one.
enum class TWindowActivation
{
    // The test makes it the active window, as a click on it would.
    Activate,
    // Left to the platform, as a plain show leaves it.
    AsShown,
};

class TMainWindowFixture
{
protected:
    // A fresh temporary home (deleted files go to a trash inside it) and the
    // program's objects under it; `adjust` may change the environment first.
    void StartHome(const std::function<void(THXEnvironment&)>& adjust = {});
    void StartServer(TRequestHandler handler);

    // Keeps every page or file the window opens in m_opened (its target) and
    // m_launches (the program asked for it too); nothing is started.
    TLauncher RecordOpened();
    // Documents recorded.
    TMainOptions FastOptions();
    // Short waits for every run, a 100 ms scheduler tick.
    static TSessionSetup FastSetup();

    // Closes the window there is and its session, then builds new ones (the
    // window not yet shown).
    void CreateWindow(TMainOptions options, TSessionSetup setup = FastSetup());
    // Shows it and waits for its first activation (settings read, views placed).
    void ShowWindow(TWindowActivation activation = TWindowActivation::Activate);
    void OpenWindow(TMainOptions options, TWindowActivation activation = TWindowActivation::Activate);
    void OpenWindow() { OpenWindow(FastOptions()); }

    // The home folder with a trailing slash.
    std::string Home() const;
    // Ends all of it: the window first, the home last.
    void Stop();

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<THXApp> m_app;
    std::unique_ptr<THXTestServer> m_server;
    std::unique_ptr<THXQtSession> m_session;
    std::unique_ptr<TFormHarbex> m_window;
    std::vector<std::string> m_opened;
    std::vector<TLaunchRequest> m_launches;
};

} // namespace hx::test
