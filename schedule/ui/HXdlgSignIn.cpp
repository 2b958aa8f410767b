#include "schedule/ui/HXdlgSignIn.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkCookie>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#ifdef HX_HAVE_WEBENGINE
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#endif

#include "core/ui/HXEmbeddedBrowser.h"

namespace hx
{

namespace
{

std::tuple<std::string, std::string, std::string> CookieKey(const THXCookie& cookie)
{
    return {cookie.Name, cookie.Domain, cookie.Path};
}

} // namespace

THXCookie CookieFromBrowser(const QNetworkCookie& cookie)
{
    THXCookie result;
    result.Name = cookie.name().toStdString();
    result.Value = cookie.value().toStdString();
    result.Domain = cookie.domain().toLower().toStdString();
    // The jar reads the leading dot the same way: a domain cookie.
    result.HostOnly = !result.Domain.starts_with('.');
    result.Path = cookie.path().isEmpty() ? std::string("/") : cookie.path().toStdString();
    result.Expires = cookie.isSessionCookie() ? 0 : cookie.expirationDate().toSecsSinceEpoch();
    result.Secure = cookie.isSecure();
    result.HttpOnly = cookie.isHttpOnly();
    return result;
}

TdlgSignIn::TdlgSignIn(QWidget* parent, const QString& address)
    : QDialog(parent)
{
    setWindowTitle(tr("Sign In"));
    edAddress = new QLineEdit(this);
    edAddress->setAccessibleName(tr("Address"));
    auto* intro = new QLabel(tr("Sign in to the site as you always do, then press Done: the cookies the "
                                "site sets are kept with this task."),
                             this);
    intro->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    btnDone = buttons->addButton(tr("&Done"), QDialogButtonBox::AcceptRole);
    btnCancel = buttons->addButton(tr("&Cancel"), QDialogButtonBox::RejectRole);
    // Enter in a sign-in form submits the form; it must not close the dialog.
    btnDone->setAutoDefault(false);
    btnCancel->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &TdlgSignIn::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TdlgSignIn::reject);

    auto* addressRow = new QHBoxLayout;
    addressRow->addWidget(new QLabel(tr("Address:"), this));
    addressRow->addWidget(edAddress, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(addressRow);

#ifdef HX_HAVE_WEBENGINE
    PrepareEngineEnvironment();
    // A profile without a storage name is kept in memory only: the sign-in leaves
    // nothing on disk and shares nothing with the Browse and Home panes. It gets
    // its parent after the view so Qt deletes the view (and its page) first; a
    // profile must outlive its pages.
    auto* profile = new QWebEngineProfile;
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    wvPage = new QWebEngineView(this);
    wvPage->setPage(new QWebEnginePage(profile, wvPage));
    profile->setParent(this);
    m_profile = profile;
    wvPage->setMinimumSize(640, 480);
    layout->addWidget(wvPage, 1);

    QWebEngineCookieStore* store = m_profile->cookieStore();
    connect(store, &QWebEngineCookieStore::cookieAdded, this, &TdlgSignIn::CookieAdded);
    connect(store, &QWebEngineCookieStore::cookieRemoved, this, &TdlgSignIn::CookieRemoved);
    store->loadAllCookies();
    connect(wvPage, &QWebEngineView::urlChanged, this,
            [this](const QUrl& url)
            {
                if (!edAddress->hasFocus())
                    edAddress->setText(url.toString());
            });
    connect(wvPage, &QWebEngineView::titleChanged, this,
            [this](const QString& title)
            { setWindowTitle(title.isEmpty() ? tr("Sign In") : tr("Sign In - ") + title); });
#endif
    layout->addWidget(buttons);
    connect(edAddress, &QLineEdit::returnPressed, this, [this] { Open(edAddress->text()); });
    edAddress->setText(address);
    Open(address);
}

TdlgSignIn::~TdlgSignIn() = default;

void TdlgSignIn::Open(const QString& address)
{
#ifdef HX_HAVE_WEBENGINE
    const QUrl url = QUrl::fromUserInput(address.trimmed());
    if (url.isValid() && !url.isEmpty())
        wvPage->load(url);
#else
    Q_UNUSED(address);
#endif
}

void TdlgSignIn::CookieAdded(const QNetworkCookie& cookie)
{
    THXCookie converted = CookieFromBrowser(cookie);
    auto key = CookieKey(converted);
    m_cookies.insert_or_assign(std::move(key), std::move(converted));
}

void TdlgSignIn::CookieRemoved(const QNetworkCookie& cookie)
{
    m_cookies.erase(CookieKey(CookieFromBrowser(cookie)));
}

std::vector<THXCookie> TdlgSignIn::Cookies() const
{
    std::vector<THXCookie> cookies;
    cookies.reserve(m_cookies.size());
    for (const auto& [key, cookie] : m_cookies)
        cookies.push_back(cookie);
    return cookies;
}

} // namespace hx
