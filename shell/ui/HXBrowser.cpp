#include "shell/ui/HXBrowser.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#ifdef HX_HAVE_WEBENGINE
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#endif

#include "core/ui/HXQtText.h"

namespace hx
{

namespace
{

constexpr int kToolPanelHeight = 32;
constexpr int kButtonWidth = 23;
constexpr int kButtonHeight = 22;

#ifdef HX_HAVE_WEBENGINE

// What the address box and the status line show for an address: a local file
// as its path, anything else as written.
QString ShownAddress(const QUrl& url)
{
    return url.isLocalFile() ? url.toLocalFile() : url.toString();
}

// One profile for every pane: kept in memory only and without an HTTP cache, so
// a page is neither written to a cache nor read from one (a copy that changed on
// disk is shown as it is now).
QWebEngineProfile* BrowserProfile()
{
    static QPointer<QWebEngineProfile> profile;
    if (!profile)
    {
        profile = new QWebEngineProfile(QCoreApplication::instance());
        profile->setHttpCacheType(QWebEngineProfile::NoCache);
    }
    return profile;
}

// A page that runs scripts only in documents from the web. The documents on disk
// are copies of other people's sites; a script in one could read any other file
// the user may read (local documents see each other's contents) and send it
// away in a picture's address. Without scripts a copy still shows its text,
// pictures, style sheets and frames; the desktop's browser, which keeps local
// documents apart, still runs them.
class TBrowserPage final : public QWebEnginePage
{
public:
    TBrowserPage(QWebEngineProfile* profile, QObject* parent)
        : QWebEnginePage(profile, parent)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (isMainFrame)
            settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, !url.isLocalFile());
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
};

#endif

} // namespace

QString BrowserAddress(const std::string& target)
{
    const QString text = QString::fromStdString(target);
    if (text.startsWith(QLatin1Char('/')))
        return QUrl::fromLocalFile(text).toString();
    return text.contains(QStringLiteral("://")) ? text : QUrl::fromUserInput(text).toString();
}

// ---- TBrowserView ----

TBrowserView::TBrowserView(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
#ifdef HX_HAVE_WEBENGINE
    PrepareEngineEnvironment();
    auto* view = new QWebEngineView(this);
    auto* page = new TBrowserPage(BrowserProfile(), view);
    view->setPage(page);
    m_engine = view;
    connect(view, &QWebEngineView::loadStarted, this, &TBrowserView::LoadStarted);
    connect(view, &QWebEngineView::urlChanged, this,
            [this](const QUrl& url)
            {
                emit AddressChanged(ShownAddress(url));
                emit HistoryChanged();
            });
    connect(view, &QWebEngineView::loadFinished, this,
            [this](bool ok)
            {
                emit HistoryChanged();
                emit LoadFinished(ok);
            });
    connect(page, &QWebEnginePage::linkHovered, this, &TBrowserView::StatusText);
    // The page's Back and Forward actions follow its history.
    for (QWebEnginePage::WebAction action : {QWebEnginePage::Back, QWebEnginePage::Forward})
        connect(page->action(action), &QAction::changed, this, &TBrowserView::HistoryChanged);
    layout->addWidget(view);
#endif
}

TBrowserView::~TBrowserView() = default;

#ifdef HX_HAVE_WEBENGINE

void TBrowserView::Open(const QString& address)
{
    static_cast<QWebEngineView*>(m_engine)->load(QUrl(address));
}

void TBrowserView::Back()
{
    static_cast<QWebEngineView*>(m_engine)->back();
}

void TBrowserView::Forward()
{
    static_cast<QWebEngineView*>(m_engine)->forward();
}

void TBrowserView::Stop()
{
    static_cast<QWebEngineView*>(m_engine)->stop();
}

void TBrowserView::Refresh()
{
    static_cast<QWebEngineView*>(m_engine)->reload();
}

QString TBrowserView::Address() const
{
    return ShownAddress(static_cast<QWebEngineView*>(m_engine)->url());
}

QString TBrowserView::Title() const
{
    return static_cast<QWebEngineView*>(m_engine)->title();
}

bool TBrowserView::CanGoBack() const
{
    return static_cast<QWebEngineView*>(m_engine)->page()->action(QWebEnginePage::Back)->isEnabled();
}

bool TBrowserView::CanGoForward() const
{
    return static_cast<QWebEngineView*>(m_engine)->page()->action(QWebEnginePage::Forward)->isEnabled();
}

#else

// Without the engine nothing is shown and nothing loads; the panes are not made.
void TBrowserView::Open(const QString&) {}
void TBrowserView::Back() {}
void TBrowserView::Forward() {}
void TBrowserView::Stop() {}
void TBrowserView::Refresh() {}
QString TBrowserView::Address() const
{
    return {};
}
QString TBrowserView::Title() const
{
    return {};
}
bool TBrowserView::CanGoBack() const
{
    return false;
}
bool TBrowserView::CanGoForward() const
{
    return false;
}

#endif

// ---- TFormBrowser ----

TFormBrowser::TFormBrowser(TStatusLine statusLine, std::string homePage, QWidget* parent)
    : QWidget(parent)
    , m_statusLine(std::move(statusLine))
    , m_homePage(std::move(homePage))
{
    setObjectName("FormBrowser");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* panel = new QWidget(this);
    panel->setObjectName("pnlBrowserTools");
    panel->setFixedHeight(kToolPanelHeight);
    CreateToolPanel(panel);
    m_browser = new TBrowserView(this);
    m_browser->setObjectName("wbBrowser");
    layout->addWidget(panel);
    layout->addWidget(m_browser, 1);
    ConnectBrowser();
    btnBrowserStop->setEnabled(false);
    UpdateHistoryButtons();
}

TFormBrowser::~TFormBrowser() = default;

void TFormBrowser::CreateToolPanel(QWidget* panel)
{
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    const auto button = [this, panel, layout](const char* name, const QString& hint, QStyle::StandardPixmap icon,
                                              void (TBrowserView::*command)())
    {
        auto* created = new QToolButton(panel);
        created->setObjectName(QString::fromLatin1(name));
        created->setToolTip(hint);
        created->setIcon(style()->standardIcon(icon));
        created->setFixedSize(kButtonWidth, kButtonHeight);
        created->setAutoRaise(true);
        if (command)
            connect(created, &QToolButton::clicked, this, [this, command] { (m_browser->*command)(); });
        layout->addWidget(created);
        return created;
    };
    btnBrowserBack = button("btnBrowserBack", tr("Back"), QStyle::SP_ArrowBack, &TBrowserView::Back);
    btnBrowserForward = button("btnBrowserForward", tr("Forward"), QStyle::SP_ArrowForward, &TBrowserView::Forward);
    btnBrowserStop = button("btnBrowserStop", tr("Stop"), QStyle::SP_BrowserStop, &TBrowserView::Stop);
    btnBrowserRefresh = button("btnBrowserRefresh", tr("Refresh"), QStyle::SP_BrowserReload, &TBrowserView::Refresh);
    btnBrowserHome = button("btnBrowserHome", tr("Home"), QStyle::SP_DirHomeIcon, nullptr);
    connect(btnBrowserHome, &QToolButton::clicked, this, [this] { Navigate(m_homePage); });
    cmbBrowserURL = new QComboBox(panel);
    cmbBrowserURL->setObjectName("cmbBrowserURL");
    cmbBrowserURL->setEditable(true);
    cmbBrowserURL->setInsertPolicy(QComboBox::NoInsert);
    cmbBrowserURL->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Enter opens the box's text once: the key goes no further.
    cmbBrowserURL->lineEdit()->installEventFilter(this);
    // A choice from the list opens that address.
    connect(cmbBrowserURL, &QComboBox::activated, this,
            [this](int index) { Navigate(cmbBrowserURL->itemText(index).toStdString()); });
    layout->addWidget(cmbBrowserURL, 1);
}

bool TFormBrowser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == cmbBrowserURL->lineEdit() && event->type() == QEvent::KeyPress)
    {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
        {
            const QString text = cmbBrowserURL->currentText().trimmed();
            if (!text.isEmpty())
                Navigate(text.toStdString());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFormBrowser::ConnectBrowser()
{
    connect(m_browser, &TBrowserView::LoadStarted, this,
            [this]
            {
                m_loading = true;
                btnBrowserStop->setEnabled(true);
                Status(Std(tr("Opening Page...")));
            });
    connect(m_browser, &TBrowserView::AddressChanged, this,
            [this](const QString& address) { cmbBrowserURL->setEditText(address); });
    connect(m_browser, &TBrowserView::LoadFinished, this,
            [this]
            {
                m_loading = false;
                btnBrowserStop->setEnabled(false);
                Status(Std(tr("Done.")));
                const QString address = m_browser->Address();
                RememberAddress(address);
                emit PageLoaded(address);
            });
    connect(m_browser, &TBrowserView::StatusText, this, [this](const QString& text) { Status(text.toStdString()); });
    connect(m_browser, &TBrowserView::HistoryChanged, this, &TFormBrowser::UpdateHistoryButtons);
}

void TFormBrowser::Navigate(const std::string& address)
{
    if (address.empty())
        return;
    m_browser->Open(BrowserAddress(address));
}

std::string TFormBrowser::CurrentAddress() const
{
    return m_browser->Address().toStdString();
}

bool TFormBrowser::Loading() const
{
    return m_loading;
}

std::string TFormBrowser::CurrentTitle() const
{
    return m_browser->Title().toStdString();
}

void TFormBrowser::UpdateHistoryButtons()
{
    btnBrowserBack->setEnabled(m_browser->CanGoBack());
    btnBrowserForward->setEnabled(m_browser->CanGoForward());
}

void TFormBrowser::RememberAddress(const QString& address)
{
    if (address.isEmpty())
        return;
    // Letter case ignored: an address already listed keeps its place.
    if (cmbBrowserURL->findText(address, Qt::MatchFixedString) >= 0)
        return;
    const QString text = cmbBrowserURL->currentText();
    const QSignalBlocker block(cmbBrowserURL);
    cmbBrowserURL->insertItem(0, address);
    cmbBrowserURL->setEditText(text);
}

void TFormBrowser::Status(const std::string& text) const
{
    if (m_statusLine)
        m_statusLine(text);
}

// ---- TBrowserMissingPage ----

TBrowserMissingPage::TBrowserMissingPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("pnlNoBrowser");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    lblNoBrowser = new QLabel(
        tr("Harbex's internal browser needs Qt WebEngine, which this build does not have (or which was switched "
           "off with HARBEX_NO_WEBENGINE=1). You can browse a copy in your default browser: right click a web "
           "page and choose 'View in' > 'Default Browser', or use the button below."),
        this);
    lblNoBrowser->setObjectName("lblNoBrowser");
    lblNoBrowser->setWordWrap(true);
    btnOpenInDefaultBrowser = new QPushButton(tr("Open in Default Browser"), this);
    btnOpenInDefaultBrowser->setObjectName("btnOpenInDefaultBrowser");
    connect(btnOpenInDefaultBrowser, &QPushButton::clicked, this, &TBrowserMissingPage::OpenClicked);
    layout->addWidget(lblNoBrowser);
    layout->addWidget(btnOpenInDefaultBrowser, 0, Qt::AlignLeft);
    layout->addStretch(1);
}

} // namespace hx
