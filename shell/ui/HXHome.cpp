#include "shell/ui/HXHome.h"

#include <QVBoxLayout>

namespace hx
{

TFormBrowseHome::TFormBrowseHome(TStatusLine statusLine, QWidget* parent)
    : QWidget(parent)
    , m_statusLine(std::move(statusLine))
{
    setObjectName("FormBrowseHome");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_browser = new TBrowserView(this);
    m_browser->setObjectName("wbHome");
    layout->addWidget(m_browser);
    // The home pane reports only the browser's status texts.
    connect(m_browser, &TBrowserView::StatusText, this,
            [this](const QString& text)
            {
                if (m_statusLine)
                    m_statusLine(text.toStdString());
            });
    connect(m_browser, &TBrowserView::LoadFinished, this, &TFormBrowseHome::PageLoaded);
}

TFormBrowseHome::~TFormBrowseHome() = default;

void TFormBrowseHome::Open(const std::string& address)
{
    m_browser->Open(BrowserAddress(address));
}

std::string TFormBrowseHome::CurrentAddress() const
{
    return m_browser->Address().toStdString();
}

} // namespace hx
