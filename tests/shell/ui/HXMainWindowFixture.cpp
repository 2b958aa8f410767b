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
}

void TMainWindowFixture::StartServer(TRequestHandler handler)
{
    m_server = std::make_unique<THXTestServer>(std::move(handler));
}

std::function<void(const std::string&)> TMainWindowFixture::RecordOpened()
{
    return [this](const std::string& target) { m_opened.push_back(target); };
}

TMainOptions TMainWindowFixture::FastOptions()
{
    TMainOptions options;
    options.Pacing = TRunPacing::Fast();
    options.TickPeriod = std::chrono::milliseconds(100);
    options.OpenDocument = RecordOpened();
    return options;
}

void TMainWindowFixture::CreateWindow(TMainOptions options)
{
    // One main window per app at a time: the old one goes before the new one is built.
    m_window.reset();
    m_window = std::make_unique<TFormHarbex>(*m_app, std::move(options));
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
    m_server.reset();
    m_app.reset();
    m_home.reset();
}

} // namespace hx::test
