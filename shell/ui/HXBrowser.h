#pragma once

// TFormBrowser: the browser pane of the Browse view. A tool panel 32 pixels high
// holds Back, Forward, Stop, Refresh and Home and the editable address box; the
// embedded browser (Qt WebEngine) fills the rest. The pane tells the main window's
// status line what the browser does ("Opening Page...", "Done.", the hovered link).
//
// The embedded browser is optional: a build without Qt WebEngine, or a run with
// HARBEX_NO_WEBENGINE=1, has none. Then the panes are never made; the Browse view
// shows TBrowserMissingPage instead and the Home view hands the home page to the
// desktop's browser.

#include <QWidget>

#include <functional>
#include <string>

#include "core/ui/HXEmbeddedBrowser.h"

class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace hx
{

// A local path or an address as the embedded browser and the desktop take it:
// paths become file addresses, anything with a scheme stays as it is.
QString BrowserAddress(const std::string& target);

// Tells a pane's news to a status line.
using TStatusLine = std::function<void(const std::string& text)>;

// The embedded browser control both panes are built around: one page with its
// own history, no cache, its news as signals. Without Qt WebEngine it is an empty
// widget that opens nothing (the panes are not made then).
class TBrowserView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TBrowserView)

public:
    explicit TBrowserView(QWidget* parent = nullptr);
    ~TBrowserView() override;

    void Open(const QString& address);
    void Back();
    void Forward();
    void Stop();
    void Refresh();
    QString Address() const;
    // The title of the page shown (as its document has it now).
    QString Title() const;
    bool CanGoBack() const;
    bool CanGoForward() const;

signals:
    void LoadStarted();
    void AddressChanged(const QString& address);
    void LoadFinished(bool ok);
    // A text for the status line (the link under the mouse; empty when none).
    void StatusText(const QString& text);
    // Back or Forward became possible or impossible.
    void HistoryChanged();

private:
    QWidget* m_engine = nullptr;
};

class TFormBrowser final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFormBrowser)

public:
    // Only when EmbeddedBrowserAvailable(). `homePage` is where Home goes.
    TFormBrowser(TStatusLine statusLine, std::string homePage, QWidget* parent = nullptr);
    ~TFormBrowser() override;

    // Opens the address (a local path or a URL); the browser writes nothing to its cache.
    void Navigate(const std::string& address);
    // The address the browser shows now (empty before the first page).
    std::string CurrentAddress() const;
    // Whether a page is being loaded.
    bool Loading() const;
    // The title of the page shown.
    std::string CurrentTitle() const;

    QToolButton* btnBrowserBack = nullptr;
    QToolButton* btnBrowserForward = nullptr;
    QToolButton* btnBrowserStop = nullptr;
    QToolButton* btnBrowserRefresh = nullptr;
    QToolButton* btnBrowserHome = nullptr;
    QComboBox* cmbBrowserURL = nullptr;

signals:
    // A page finished loading (after the status line said "Done.").
    void PageLoaded(const QString& address);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateToolPanel(QWidget* panel);
    void ConnectBrowser();
    void UpdateHistoryButtons();
    void RememberAddress(const QString& address);
    void Status(const std::string& text) const;

    TStatusLine m_statusLine;
    std::string m_homePage;
    TBrowserView* m_browser = nullptr;
    bool m_loading = false;
};

// The Browse view's page when there is no embedded browser: a short text and a
// button that opens the page the view would show in the desktop's browser.
class TBrowserMissingPage final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TBrowserMissingPage)

public:
    explicit TBrowserMissingPage(QWidget* parent = nullptr);

    QLabel* lblNoBrowser = nullptr;
    QPushButton* btnOpenInDefaultBrowser = nullptr;

signals:
    void OpenClicked();
};

} // namespace hx
