#include "net/qkHTTP.h"

#include <chrono>

#include "core/HXApp.h"
#include "core/HXOwner.h"
#include "core/HXPacing.h"
#include "core/HXTask.h"

namespace hx
{

TqkHTTP::TqkHTTP()
{
    m_http.OnOpen = [this](TagSocket&) { HandleOpen(); };
    m_http.OnHostFound = [this](TagSocket&) { HandleHostFound(); };
    m_http.OnConnected = [this](TagSocket&) { HandleConnected(); };
    m_http.OnProgress = [this](TagSocket& socket, int perc, std::int64_t transferred)
    { HandleProgress(perc, transferred, socket.ReceivingData()); };
    m_http.OnClosed = [this](TagSocket&) { HandleClosed(); };
    m_http.OnError = [this](TagSocket&, std::string& message) { HandleError(message); };
    // "Invalid URL" after a refused redirect is raised on the transfer thread.
    m_http.OnMessage = [this](const std::string& message) { RaiseMessage(message, false); };
}

TqkHTTP::~TqkHTTP()
{
    Stop();
    m_thread.reset();
}

void TqkHTTP::SetQItem(THXQItem* item)
{
    if (item != m_qItem)
        AccountBytes();
    m_qItem = item;
}

int TqkHTTP::Percent() const
{
    std::lock_guard lock(m_statusMutex);
    return m_percent;
}

std::int64_t TqkHTTP::Bytes() const
{
    std::lock_guard lock(m_statusMutex);
    return m_bytes;
}

std::string TqkHTTP::Status() const
{
    std::lock_guard lock(m_statusMutex);
    return m_status;
}

TqkHTTPState TqkHTTP::State() const
{
    std::lock_guard lock(m_statusMutex);
    return m_state;
}

void TqkHTTP::SetState(TqkHTTPState state)
{
    std::lock_guard lock(m_statusMutex);
    m_state = state;
}

TqkHTTPStatus TqkHTTP::Snapshot() const
{
    std::lock_guard lock(m_statusMutex);
    return {m_state, m_status, m_percent, m_bytes};
}

bool TqkHTTP::TransferEnded() const
{
    // Tag first: once it reads 1 the state the transfer left is final.
    if (m_tag != 1)
        return false;
    const TqkHTTPState state = State();
    return state == TqkHTTPState::hsComplete || state == TqkHTTPState::hsError;
}

THXOwnerThread* TqkHTTP::OwnerThread() const
{
    if (m_qItem == nullptr || m_qItem->Task == nullptr)
        return nullptr;
    return &m_qItem->Task->App().Owner();
}

void TqkHTTP::SetHTTPFeatures(THTTPFeatures features)
{
    std::lock_guard lock(m_statusMutex);
    m_httpFeatures = features;
}

THTTPFeatures TqkHTTP::HTTPFeatures() const
{
    std::lock_guard lock(m_statusMutex);
    return m_httpFeatures;
}

void TqkHTTP::Start()
{
    ReleaseThread();
    m_http.SetTimeOut(pacing::kTransferTimeOutSeconds);
    {
        std::lock_guard lock(m_statusMutex);
        m_state = TqkHTTPState::hsConnecting;
        m_status = "Connecting...";
        m_bytes = 0;
        m_bodyBytes = 0;
        m_percent = 0;
    }
    m_tag = 0;
    m_thread = std::make_unique<TThreadHTTP>(*this, *m_qItem, m_userName, m_password);

    // The proxy goes first: setting the URL points the client at the proxy when
    // there is one. A refused value has already been reported through OnError;
    // the transfer then ends at once, so the slot still comes back to the
    // dispatcher instead of staying busy.
    bool ready = true;
    try
    {
        m_http.SetProxy(m_proxy);
        m_http.SetProxyUserName(m_proxyUsername);
        m_http.SetProxyPassword(m_proxyPassword);
        m_http.SetTLSOptions(m_tlsOptions);
        m_http.SetFeatures(HTTPFeatures());
        m_http.SetURL(m_url);
        m_http.SetUserAgent(m_qItem->Task->UserAgent());
        m_http.SetExtraHeaders(m_qItem->Task->ExtraHeaders);
        // The task's archive file, when its run keeps one, sees every exchange.
        m_http.SetRecorder(m_qItem->Task->Recorder);
    }
    catch (const ESocketError&)
    {
        ready = false;
    }
    m_thread->Resume(ready);
}

void TqkHTTP::Stop()
{
    if (State() == TqkHTTPState::hsIdle)
        return;
    SetState(TqkHTTPState::hsStopping);
    if (m_thread)
    {
        m_thread->RequestStop();
        m_http.Cancel();
        // A cancel that lands between two requests is forgotten when the next one
        // starts, so it is repeated until the thread has finished; meanwhile the
        // hand-overs the thread waits for (saving what it received) run here.
        while (m_thread->Busy())
        {
            m_http.Cancel();
            // Cancel again and serve the thread's hand-overs while waiting for it.
            m_thread->ServiceOwnerCalls(pacing::kTransferServiceStep);
        }
        m_thread.reset();
    }
    AccountBytes();
    SetState(TqkHTTPState::hsIdle);
}

void TqkHTTP::ReleaseThread()
{
    AccountBytes();
    m_thread.reset();
}

void TqkHTTP::AccountBytes()
{
    std::int64_t bytes = 0;
    {
        std::lock_guard lock(m_statusMutex);
        bytes = m_unaccountedBytes;
        m_unaccountedBytes = 0;
    }
    if (bytes != 0 && m_qItem != nullptr && m_qItem->Task != nullptr)
        m_qItem->Task->TotalBytes += bytes;
}

void TqkHTTP::RaiseMessage(const std::string& message, bool beep)
{
    const TMessageEvent handler = OnMessage;
    if (!handler)
        return;
    THXOwnerThread* owner = OwnerThread();
    if (owner == nullptr || owner->IsOwnerThread())
    {
        handler(message, beep);
        return;
    }
    // The slot may be gone when the owner thread gets to it: the call carries its
    // own copy of the handler and the text.
    owner->Post([handler, message, beep] { handler(message, beep); });
}

void TqkHTTP::HandleOpen()
{
    std::lock_guard lock(m_statusMutex);
    m_status = "Opening connection...";
    m_bytes = 0;
    m_bodyBytes = 0;
}

void TqkHTTP::HandleHostFound()
{
    std::lock_guard lock(m_statusMutex);
    m_status = "Host Found";
}

void TqkHTTP::HandleConnected()
{
    std::lock_guard lock(m_statusMutex);
    m_status = "Waiting for reply...";
}

void TqkHTTP::HandleProgress(int perc, std::int64_t transferred, bool received)
{
    std::lock_guard lock(m_statusMutex);
    m_state = TqkHTTPState::hsDownloading;
    m_status = "Downloading";
    m_percent = perc;
    // The slot shows the largest count of its connection (it restarts with each
    // connection, OnOpen), sent or received.
    if (transferred >= m_bytes)
        m_bytes = transferred;
    // The task's total counts received body bytes only, so it is the sum of what the
    // transfers brought (requests sent are no part of it). Each body's count starts
    // at 0; the owner thread moves what a report adds into the task.
    if (!received)
        return;
    if (transferred < m_bodyBytes)
        m_bodyBytes = 0;
    if (m_qItem != nullptr && m_qItem->Task != nullptr)
        m_unaccountedBytes += transferred - m_bodyBytes;
    m_bodyBytes = transferred;
}

void TqkHTTP::HandleClosed()
{
    std::lock_guard lock(m_statusMutex);
    if (m_state == TqkHTTPState::hsError)
        return;
    m_status = "Connection closed";
    m_state = TqkHTTPState::hsComplete;
}

void TqkHTTP::HandleError(const std::string& message)
{
    std::lock_guard lock(m_statusMutex);
    m_state = TqkHTTPState::hsError;
    m_status = message;
}

} // namespace hx
