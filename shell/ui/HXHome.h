#pragma once

// TFormBrowseHome: the home pane of the Home view, a bare embedded browser over
// the main area. The main window makes one each time the Home view is shown and
// releases it at the next view switch, so every return to Home loads the home
// page afresh. Only made when EmbeddedBrowserAvailable().

#include <QWidget>

#include <string>

#include "shell/ui/HXBrowser.h"

namespace hx
{

class TFormBrowseHome final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFormBrowseHome)

public:
    explicit TFormBrowseHome(TStatusLine statusLine, QWidget* parent = nullptr);
    ~TFormBrowseHome() override;

    // Opens the address (a local path or a URL), neither read from a cache nor written to one.
    void Open(const std::string& address);
    // The address shown now (empty before the page has started).
    std::string CurrentAddress() const;

signals:
    void PageLoaded(bool ok);

private:
    TStatusLine m_statusLine;
    TBrowserView* m_browser = nullptr;
};

} // namespace hx
