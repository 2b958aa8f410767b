#pragma once

// TdlgSignIn: "Sign In" of the task editor. The embedded browser opens the task's
// start address in a browser profile of its own (kept in memory, shared with no
// other pane), the person signs in as on any site, and "Done" hands the cookies
// the site has set meanwhile to the task. Only made when the embedded browser is
// available (EmbeddedBrowserAvailable).

#include <QDialog>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "core/HXCookieJar.h"

class QLineEdit;
class QNetworkCookie;
class QPushButton;
class QWebEngineProfile;
class QWebEngineView;

namespace hx
{

class TdlgSignIn final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TdlgSignIn)

public:
    TdlgSignIn(QWidget* parent, const QString& address);
    ~TdlgSignIn() override;

    // The cookies the browser holds now (what the sites set, less what they removed).
    std::vector<THXCookie> Cookies() const;

    QLineEdit* edAddress = nullptr;
    QWebEngineView* wvPage = nullptr;
    QPushButton* btnDone = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    void Open(const QString& address);
    void CookieAdded(const QNetworkCookie& cookie);
    void CookieRemoved(const QNetworkCookie& cookie);

    QWebEngineProfile* m_profile = nullptr;
    // By name, domain and path, as a browser keeps them apart.
    std::map<std::tuple<std::string, std::string, std::string>, THXCookie> m_cookies;
};

// A cookie of the browser as the task's jar keeps it: a domain with a leading dot
// (set with a Domain attribute) is a domain cookie, any other is the host's alone;
// no expiry makes a session cookie.
THXCookie CookieFromBrowser(const QNetworkCookie& cookie);

} // namespace hx
