#pragma once

// TqkHTTP: the connection of one slot. It owns the slot's HTTP client, runs a
// transfer (TThreadHTTP) per fetched item on the slot's job thread (one thread,
// kept from transfer to transfer) and keeps the slot's live status (state,
// status text, percent, bytes) that the dispatcher polls and the connections
// window shows.
//
// Threads: the properties are set and Start, Stop and ReleaseThread are called on
// the owner thread. The status fields are written by the transfer thread (the HTTP
// client's events) and by the owner thread (a cancel's close notice, Stop, the
// dispatcher returning the slot to idle); they are kept under one lock and read as
// copies. The end of a transfer is signalled by Tag: 0 while the transfer thread
// works, 1 once it has finished.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "core/HXJobThread.h"
#include "net/HXPartFile.h"
#include "net/HXThreadHTTP.h"
#include "net/aghttp.h"

namespace hx
{

class THXHostGate;
class THXOwnerThread;
class THXQItem;

enum class TqkHTTPState
{
    hsIdle,
    hsConnecting,
    hsDownloading,
    hsComplete,
    hsError,
    hsStopping
};

// The live status of a slot, taken in one piece.
struct TqkHTTPStatus
{
    TqkHTTPState State = TqkHTTPState::hsIdle;
    std::string Status;
    int Percent = 0;
    std::int64_t Bytes = 0;
};

class TqkHTTP
{
public:
    // A message for the user (the window shows it in a box, with the default beep
    // when asked). Always fired on the owner thread.
    using TMessageEvent = std::function<void(const std::string& message, bool beep)>;

    TqkHTTP();
    // Stops a running transfer (owner thread) and joins its thread.
    ~TqkHTTP();
    TqkHTTP(const TqkHTTP&) = delete;
    TqkHTTP& operator=(const TqkHTTP&) = delete;

    // Set before the first Start; read on the owner thread.
    TMessageEvent OnMessage;
    // Set before the first Start; called on the transfer thread once the transfer
    // has ended (Tag reads 1), so a waiting dispatcher can look at once.
    std::function<void()> OnTransferEnded;
    // Set before the first Start: the host delay every request of the transfer waits
    // for (null: none).
    THXHostGate* HostGate = nullptr;
    // Whether a transfer asks with HEAD before its GET (the Classic way) or starts
    // with the GET and reads a body only when a HEAD would have led to one. Read
    // when a transfer starts; any thread.
    std::atomic<bool> AskHeadFirst{true};
    // Set before the first Start; called on the owner thread when a transfer found
    // the disk full (the text says which file). The transfer then ends like a
    // stopped one: the slot stays hsStopping until it is stopped, and its item is
    // left interrupted, to be fetched again when the task resumes.
    std::function<void(const std::string& text)> OnDiskFull;
    // Set while no transfer runs: how the bodies' bytes reach the disk (empty: pwrite).
    TPartWriter PartWriter;
    // What the slot's client may use beyond HTTP/1.0; taken when a transfer starts.
    // A kept connection stays with the slot from transfer to transfer. Any thread.
    void SetHTTPFeatures(THTTPFeatures features);
    THTTPFeatures HTTPFeatures() const;

    // The slot's HTTP client. Tests may give it a resolver; nothing else should
    // touch it while a transfer runs.
    TagHTTP& HTTP() { return m_http; }
    // The running (or finished, not yet released) transfer; null when none.
    TThreadHTTP* ThreadHTTP() const { return m_thread.get(); }

    const std::string& URL() const { return m_url; }
    void SetURL(std::string url) { m_url = std::move(url); }
    void SetQItem(THXQItem* item);
    const std::string& Proxy() const { return m_proxy; }
    void SetProxy(std::string proxy) { m_proxy = std::move(proxy); }
    void SetProxyUsername(std::string name) { m_proxyUsername = std::move(name); }
    const std::string& ProxyPassword() const { return m_proxyPassword; }
    void SetProxyPassword(std::string password) { m_proxyPassword = std::move(password); }
    const TTLSOptions& TLSOptions() const { return m_tlsOptions; }
    void SetTLSOptions(TTLSOptions options) { m_tlsOptions = std::move(options); }
    const std::string& UserName() const { return m_userName; }
    void SetUserName(std::string name) { m_userName = std::move(name); }
    const std::string& Password() const { return m_password; }
    void SetPassword(std::string password) { m_password = std::move(password); }

    // Live status; any thread.
    int Percent() const;
    std::int64_t Bytes() const;
    std::string Status() const;
    TqkHTTPState State() const;
    void SetState(TqkHTTPState state);
    TqkHTTPStatus Snapshot() const;

    int Tag() const { return m_tag; }
    void SetTag(int tag) { m_tag = tag; }
    // The transfer has ended and waits to be accounted for: Tag is 1 and the state
    // is hsComplete or hsError. Any thread.
    bool TransferEnded() const;

    // Owner thread. Start needs URL, QItem (with its task) and the credentials set.
    void Start();
    // Ends a running transfer: returns once its thread has finished. Nothing
    // happens when the slot is idle.
    void Stop();
    // Releases a finished transfer thread (the dispatcher, after accounting).
    void ReleaseThread();

    // Owner thread: adds the bytes counted by progress events since the last call
    // to the task's TotalBytes. The transfer does so at each of its hand-overs.
    void AccountBytes();

    // Shows a message through OnMessage on the owner thread: at once when called
    // there, else handed over without waiting. Any thread.
    void RaiseMessage(const std::string& message, bool beep);

    // What the slot's transfer (TThreadHTTP) does to the slot beyond the status
    // above. RunTransfer runs the transfer's job on the slot's job thread, after
    // the transfers before it; owner thread. SetErrorStatus shows a failure the
    // transfer found itself (the HTTP client reports its own through OnError):
    // the state becomes hsError with the text; any thread.
    void RunTransfer(std::function<void()> job) { m_jobs.Post(std::move(job)); }
    void SetErrorStatus(const std::string& message) { HandleError(message); }

private:
    void HandleOpen();
    void HandleHostFound();
    void HandleConnected();
    void HandleProgress(int perc, std::int64_t transferred, bool received);
    void HandleClosed();
    void HandleError(const std::string& message);
    THXOwnerThread* OwnerThread() const;

    TagHTTP m_http;
    std::string m_url;
    THXQItem* m_qItem = nullptr;
    std::string m_proxy;
    std::string m_proxyUsername;
    std::string m_proxyPassword;
    TTLSOptions m_tlsOptions;
    std::string m_userName;
    std::string m_password;

    mutable std::mutex m_statusMutex;
    TqkHTTPState m_state = TqkHTTPState::hsIdle;
    std::string m_status;
    int m_percent = 0;
    std::int64_t m_bytes = 0;
    // Bytes of the body being received that progress events have counted.
    std::int64_t m_bodyBytes = 0;
    // Body bytes counted and not yet added to the task.
    std::int64_t m_unaccountedBytes = 0;

    THTTPFeatures m_httpFeatures; // guarded by m_statusMutex
    std::atomic<int> m_tag{0};
    // Runs the transfers, one after another; outlives each of them.
    TJobThread m_jobs;
    std::unique_ptr<TThreadHTTP> m_thread;
};

} // namespace hx
