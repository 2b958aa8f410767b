#include "app/HXRenderer.h"

#include <QFileInfo>
#include <QNetworkCookie>
#include <QUrl>
#include <QVariant>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineView>

#include <algorithm>

namespace hx
{

namespace
{

constexpr int kPollMs = 100;
// Time the final read of the document may take after the time out.
constexpr int kFinishGraceMs = 5000;
// Viewport of the offscreen page: a common desktop window.
constexpr int kViewWidth = 1280;
constexpr int kViewHeight = 900;

// Counts the page's fetch and XMLHttpRequest calls under way, so a page waiting for
// its data is not taken as idle. Runs before the page's own scripts.
const char* const kPendingScript = R"JS(
(() => {
  if (window.__hxPending !== undefined) return;
  window.__hxPending = 0;
  const fetchFn = window.fetch;
  if (fetchFn) {
    window.fetch = function (...args) {
      window.__hxPending++;
      return fetchFn.apply(this, args).finally(() => { window.__hxPending--; });
    };
  }
  const send = XMLHttpRequest.prototype.send;
  XMLHttpRequest.prototype.send = function (...args) {
    window.__hxPending++;
    this.addEventListener('loadend', () => { window.__hxPending--; });
    return send.apply(this, args);
  };
})();
)JS";

// One pass from top to bottom, a screen at a time, so every lazily loaded picture
// comes into view once.
const char* const kScrollScript = R"JS(
(async () => {
  window.__hxScrolling = true;
  const root = document.scrollingElement || document.documentElement;
  for (let step = 0; step < 100 && root && window.scrollY + window.innerHeight < root.scrollHeight; ++step) {
    window.scrollBy(0, window.innerHeight);
    await new Promise(resolve => setTimeout(resolve, 50));
  }
  window.__hxScrolling = false;
})();
)JS";

const char* const kBusyScript = "(window.__hxPending | 0) + (window.__hxScrolling ? 1 : 0)";

const char* const kDocumentScript = "document.documentElement ? document.documentElement.outerHTML : ''";
const char* const kDocumentWithoutScriptsScript = R"JS(
(() => {
  document.querySelectorAll('script').forEach(script => script.remove());
  return document.documentElement ? document.documentElement.outerHTML : '';
})()
)JS";

const char* const kVisibleTextScript = "document.body ? document.body.innerText : ''";

bool QuietScheme(const QString& scheme)
{
    return scheme == QLatin1String("data") || scheme == QLatin1String("blob") || scheme == QLatin1String("about");
}

} // namespace

void TRenderInterceptor::Begin(TAllowTest allowed)
{
    std::lock_guard lock(m_lock);
    m_allowed = std::move(allowed);
    m_requested.clear();
    m_blocked.clear();
    m_sinceLast.start();
}

void TRenderInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    const QUrl url = info.requestUrl();
    // Inline data needs no address of the site.
    if (QuietScheme(url.scheme()))
        return;
    // The browser's own look for a site icon is not something the page asked for.
    if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeFavicon)
    {
        info.block(true);
        return;
    }
    const std::string address = url.toString(QUrl::FullyEncoded).toStdString();
    std::lock_guard lock(m_lock);
    m_sinceLast.start();
    const bool allowed = m_allowed && m_allowed(address);
    if (!allowed)
        info.block(true);
    if (std::find(m_requested.begin(), m_requested.end(), address) == m_requested.end())
    {
        m_requested.push_back(address);
        if (!allowed)
            m_blocked.push_back(address);
    }
}

std::vector<std::string> TRenderInterceptor::Requested() const
{
    std::lock_guard lock(m_lock);
    return m_requested;
}

std::vector<std::string> TRenderInterceptor::Blocked() const
{
    std::lock_guard lock(m_lock);
    return m_blocked;
}

qint64 TRenderInterceptor::QuietFor() const
{
    std::lock_guard lock(m_lock);
    return m_sinceLast.isValid() ? m_sinceLast.elapsed() : 0;
}

TRenderer::TRenderer(QObject* parent)
    : QObject(parent)
{
    // No storage name: an off-the-record profile, kept in memory and thrown away
    // with the program; nothing of the user's browser is read.
    m_profile = new QWebEngineProfile(this);
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    m_interceptor = new TRenderInterceptor(this);
    m_profile->setUrlRequestInterceptor(m_interceptor);

    QWebEngineScript pending;
    pending.setName(QStringLiteral("harbex-pending"));
    pending.setSourceCode(QString::fromLatin1(kPendingScript));
    pending.setInjectionPoint(QWebEngineScript::DocumentCreation);
    pending.setWorldId(QWebEngineScript::MainWorld);
    pending.setRunsOnSubFrames(false);
    m_profile->scripts()->insert(pending);

    m_view = new QWebEngineView();
    auto* page = new QWebEnginePage(m_profile, m_view);
    m_view->setPage(page);
    QWebEngineSettings* settings = page->settings();
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    m_view->resize(kViewWidth, kViewHeight);
    m_view->show();

    connect(page, &QWebEnginePage::loadFinished, this, &TRenderer::Loaded);
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this]
            {
                if (m_busy)
                {
                    m_loadOk = false;
                    Finish();
                }
            });
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &TRenderer::Poll);
}

TRenderer::~TRenderer()
{
    // The page goes before its profile.
    delete m_view;
}

void TRenderer::SetCookies(const std::string& cookiesText)
{
    QWebEngineCookieStore* store = m_profile->cookieStore();
    store->deleteAllCookies();
    for (const std::string& line : SplitLines(cookiesText))
    {
        QString text = QString::fromStdString(line).trimmed();
        bool httpOnly = false;
        if (text.startsWith(QLatin1String("#HttpOnly_")))
        {
            httpOnly = true;
            text.remove(0, 10);
        }
        else if (text.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = text.split(QLatin1Char('\t'));
        if (fields.size() < 7)
            continue;
        QNetworkCookie cookie(fields[5].toUtf8(), fields[6].toUtf8());
        const QString domain = fields[0];
        const bool domainCookie = fields[1].compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0;
        const QString host = domain.startsWith(QLatin1Char('.')) ? domain.mid(1) : domain;
        if (domainCookie)
            cookie.setDomain(QLatin1Char('.') + host);
        cookie.setPath(fields[2]);
        const bool secure = fields[3].compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0;
        cookie.setSecure(secure);
        cookie.setHttpOnly(httpOnly);
        const qint64 expires = fields[4].toLongLong();
        if (expires > 0)
            cookie.setExpirationDate(QDateTime::fromSecsSinceEpoch(expires));
        const QUrl origin(
            QStringLiteral("%1://%2/").arg(secure ? QStringLiteral("https") : QStringLiteral("http"), host));
        store->setCookie(cookie, origin);
    }
}

void TRenderer::Render(const TRenderRequest& request, std::function<void(TRenderReply)> done)
{
    m_request = request;
    m_done = std::move(done);
    m_busy = true;
    m_loaded = false;
    m_loadOk = false;
    m_checking = false;
    m_scrolledAt = -1;
    const std::vector<std::string> sites = request.Sites;
    m_interceptor->Begin([sites](const std::string& url) { return RenderAllowed(url, sites); });
    SetCookies(request.Cookies);
    m_clock.start();
    m_poll.start();
    m_view->page()->load(QUrl(QString::fromStdString(request.URL)));
}

void TRenderer::ShowSaved(const QString& file, std::function<void(QString text)> done)
{
    m_request = TRenderRequest{};
    m_request.TimeOutMs = 10000;
    m_shown = std::move(done);
    m_busy = true;
    // The saved copy must read without the site: only files of its own folder load.
    const QString folder = QFileInfo(file).absolutePath() + QLatin1Char('/');
    m_interceptor->Begin(
        [folder](const std::string& url)
        {
            const QUrl address(QString::fromStdString(url));
            return address.isLocalFile() && address.toLocalFile().startsWith(folder);
        });
    m_clock.start();
    m_poll.start();
    m_view->page()->load(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
}

void TRenderer::Loaded(bool ok)
{
    if (!m_busy || m_loaded)
        return;
    m_loaded = true;
    m_loadOk = ok;
    m_view->page()->runJavaScript(QString::fromLatin1(kScrollScript));
    m_scrolledAt = m_clock.elapsed();
}

void TRenderer::Poll()
{
    if (!m_busy)
        return;
    const qint64 elapsed = m_clock.elapsed();
    if (elapsed >= m_request.TimeOutMs)
    {
        Finish();
        return;
    }
    if (!m_loaded || m_checking || m_scrolledAt < 0 || elapsed - m_scrolledAt < kIdleMs ||
        m_interceptor->QuietFor() < kIdleMs)
        return;
    m_checking = true;
    m_view->page()->runJavaScript(QString::fromLatin1(kBusyScript),
                                  [this](const QVariant& busy)
                                  {
                                      m_checking = false;
                                      if (m_busy && busy.toInt() == 0)
                                          Finish();
                                  });
}

void TRenderer::Finish()
{
    if (!m_busy)
        return;
    m_busy = false;
    m_poll.stop();
    // The document is read whether or not the network went idle: what the page shows
    // by its time out is what is kept.
    auto finished = std::make_shared<bool>(false);
    const auto answer = [this, finished](const QVariant& value)
    {
        if (*finished)
            return;
        *finished = true;
        if (m_shown)
        {
            auto shown = std::move(m_shown);
            m_shown = nullptr;
            shown(value.toString());
            return;
        }
        TRenderReply reply;
        reply.Document = value.toString().toStdString();
        reply.Loaded = (m_loadOk || !m_loaded) && !reply.Document.empty();
        if (!m_loaded)
            reply.Status = "Render Time Out passed before the page had loaded";
        else if (!m_loadOk)
            reply.Status = "the page did not load";
        reply.Requested = m_interceptor->Requested();
        reply.Blocked = m_interceptor->Blocked();
        // The page stops loading; the next load replaces it.
        m_view->page()->triggerAction(QWebEnginePage::Stop);
        auto done = std::move(m_done);
        m_done = nullptr;
        if (done)
            done(std::move(reply));
    };
    const char* script = m_shown                 ? kVisibleTextScript
                         : m_request.KeepScripts ? kDocumentScript
                                                 : kDocumentWithoutScriptsScript;
    m_view->page()->runJavaScript(QString::fromLatin1(script), answer);
    // A page that never answers (its process gone) is answered without a document.
    QTimer::singleShot(kFinishGraceMs, this, [answer] { answer(QVariant()); });
}

} // namespace hx
