#pragma once

// TRenderer: the offscreen browser of harbex-render. It renders one page at a time
// for the parse worker: loads the address with the page's scripts in an in-memory
// (off-the-record) profile that shares nothing with the user's browser, lets only
// the task's sites be loaded (every other address, and every local file, is blocked
// and listed), waits until the network has been idle for 500 ms or the time out
// passes, scrolls the page to its bottom once so lazily loaded pictures are asked
// for, and answers with the rendered document and every address the page requested.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWebEngineUrlRequestInterceptor>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "net/HXRenderProtocol.h"

class QWebEngineProfile;
class QWebEngineView;

namespace hx
{

// Lets the page load only what the rules allow and lists every address asked for.
class TRenderInterceptor : public QWebEngineUrlRequestInterceptor
{
public:
    using TAllowTest = std::function<bool(const std::string& url)>;

    explicit TRenderInterceptor(QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent)
    {
    }
    // A new page: the rules and empty lists.
    void Begin(TAllowTest allowed);
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
    std::vector<std::string> Requested() const;
    std::vector<std::string> Blocked() const;
    // Milliseconds since the last address was asked for (or since Begin).
    qint64 QuietFor() const;

private:
    mutable std::mutex m_lock;
    TAllowTest m_allowed;
    std::vector<std::string> m_requested;
    std::vector<std::string> m_blocked;
    QElapsedTimer m_sinceLast;
};

class TRenderer : public QObject
{
public:
    // A page whose network has been quiet this long is taken as rendered.
    static constexpr int kIdleMs = 500;

    explicit TRenderer(QObject* parent = nullptr);
    ~TRenderer() override;

    // Renders the page; done is called once, with the reply.
    void Render(const TRenderRequest& request, std::function<void(TRenderReply)> done);
    // Loads a saved page from disk with every network address blocked; done gets
    // the text a person would see.
    void ShowSaved(const QString& file, std::function<void(QString text)> done);

private:
    void SetCookies(const std::string& cookiesText);
    void Loaded(bool ok);
    void Poll();
    void Finish();

    QWebEngineProfile* m_profile = nullptr;
    QWebEngineView* m_view = nullptr;
    TRenderInterceptor* m_interceptor = nullptr;
    QTimer m_poll;
    QElapsedTimer m_clock;
    TRenderRequest m_request;
    std::function<void(TRenderReply)> m_done;
    std::function<void(QString)> m_shown;
    bool m_busy = false;
    bool m_loaded = false;
    bool m_loadOk = false;
    bool m_checking = false;
    qint64 m_scrolledAt = -1;
};

} // namespace hx
