#include "HXMainWindowFixture.h"

#include <QApplication>
#include <QTest>

namespace hx::test
{

void TMainWindowFixture::StartHome(const std::function<void(THXEnvironment&)>& adjust)
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", m_home->path().toUtf8());
    THXEnvironment environment = THXEnvironment::UnderHome(m_home->path().toStdString());
    if (adjust)
        adjust(environment);
    m_app = std::make_unique<THXApp>(environment);
    m_opened.clear();
    m_launches.clear();
}

void TMainWindowFixture::StartServer(TRequestHandler handler)
{
    m_server = std::make_unique<THXTestServer>(std::move(handler));
}

TLauncher TMainWindowFixture::RecordOpened()
{
    return [this](const TLaunchRequest& request)
    {
        m_opened.push_back(request.Target);
        m_launches.push_back(request);
        return true;
    };
}

TMainOptions TMainWindowFixture::FastOptions()
{
    TMainOptions options;
    options.Launch = RecordOpened();
    return options;
}

TSessionSetup TMainWindowFixture::FastSetup()
{
    TSessionSetup setup;
    setup.Pacing = TRunPacing::Fast();
    setup.TickPeriod = std::chrono::milliseconds(100);
    return setup;
}

void TMainWindowFixture::CreateWindow(TMainOptions options, TSessionSetup setup)
{
    // One main window and session per app at a time: the old ones go before the
    // new ones are built.
    m_window.reset();
    m_session.reset();
    m_session = std::make_unique<THXQtSession>(*m_app, std::move(setup));
    m_window = std::make_unique<TFormHarbex>(*m_session, std::move(options));
}

void TMainWindowFixture::ShowWindow(TWindowActivation activation)
{
    m_window->show();
    if (activation == TWindowActivation::Activate)
        QApplication::setActiveWindow(m_window.get());
    QTRY_VERIFY(m_window->FirstActivationDone());
}

void TMainWindowFixture::OpenWindow(TMainOptions options, TWindowActivation activation)
{
    CreateWindow(std::move(options));
    ShowWindow(activation);
}

std::string TMainWindowFixture::Home() const
{
    return m_home->path().toStdString() + "/";
}

void TMainWindowFixture::Stop()
{
    m_window.reset();
    m_session.reset();
    m_server.reset();
    m_app.reset();
    m_home.reset();
}

} // namespace hx::test
