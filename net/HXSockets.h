#pragma once

// THXSocket: one connection slot of a download, and THXSlotList: the pool of them
// (one to sixteen, as many as the "Connections" setting says; surplus slots leave
// as they become idle).
//
// The dispatcher picks an idle slot and a queue item and calls Fetch; the slot's
// connection runs the transfer on its own job thread, kept from transfer to
// transfer. The dispatcher looks at the slots each cycle (an ended transfer also
// wakes a dispatcher that waits for events, SetOnTransferEnded): once a slot's
// transfer has ended (TransferEnded) it accounts for the item, returns the
// connection to hsIdle and releases the finished transfer. The shown fields are
// the display copies the connections window draws, refreshed by the dispatcher
// each cycle.
//
// Threads: Fetch, Stop, RefreshShown, the shown fields and every change of the
// list (SetSlotCount, Destroy, Renew) belong to the owner thread. The dispatcher
// may look for an idle slot and read slot states from its own thread: the list
// keeps its slots under a lock, and a slot is destroyed only on the owner thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/HXHostCache.h"
#include "net/HXHostGate.h"
#include "net/HXHostHealth.h"
#include "net/HXHttp2.h"
#include "net/qkHTTP.h"

namespace hx
{

class THXQItem;
class THXSlotList;
class THXSocket;

// Fewest and most slots a download runs with.
inline constexpr int kMinSlots = 1;
inline constexpr int kMaxSlots = 16;

// The slot's row in the connections view; the window implements it and the slot
// owns it, so the row goes when the slot goes.
class THXSlotRow
{
public:
    virtual ~THXSlotRow() = default;
    virtual void Refresh(const THXSocket& slot) = 0;
};

class THXSocket
{
public:
    explicit THXSocket(THXSlotList* ownerList = nullptr);
    // Stops a running transfer and joins its thread; the row goes with the slot.
    ~THXSocket();
    THXSocket(const THXSocket&) = delete;
    THXSocket& operator=(const THXSocket&) = delete;

    // The item being fetched; null before the first fetch.
    THXQItem* Item() const { return m_item; }
    TqkHTTP& Connection() { return *m_connection; }
    const TqkHTTP& Connection() const { return *m_connection; }
    THXSlotList* OwnerList() const { return m_ownerList; }
    THXSlotRow* Row() const { return m_row.get(); }
    void SetRow(std::unique_ptr<THXSlotRow> row) { m_row = std::move(row); }

    // Display copies (owner thread).
    std::string ShownURL;
    std::string ShownStatus = "Idle";
    int ShownPercent = 0;
    std::int64_t ShownBytes = 0;
    std::int64_t ShownSize = 0;

    // Starts fetching the item, which belongs to a task: reloads it, takes the
    // proxy from the settings and the credentials from the task, marks the item as
    // downloading (updating for an update item), writes its record and starts the
    // transfer. Owner thread, on an idle slot.
    void Fetch(THXQItem& item);

    // The server the dispatcher handed the slot's item to (ServerKey of the host, or
    // of the proxy), set before Fetch. Owner thread.
    const std::string& Server() const { return m_server; }
    void SetServer(std::string server) { m_server = std::move(server); }
    // The slot is busy and has not sent its request yet: it is making its connection,
    // or its attempt ended and waits to be accounted for. Any thread.
    bool Connecting() const
    {
        const TqkHTTPState state = m_connection->State();
        return state != TqkHTTPState::hsIdle && state != TqkHTTPState::hsDownloading;
    }

    // The connection is idle (any thread).
    bool IsIdle() const { return m_connection->State() == TqkHTTPState::hsIdle; }
    // The transfer has finished and waits to be accounted for (any thread).
    bool TransferEnded() const { return m_connection->TransferEnded(); }
    // Copies the connection's URL, bytes, percent and status and the item's size
    // into the shown fields and moves counted bytes into the task; refreshes the
    // row. Does nothing for a slot that has fetched nothing yet. Owner thread.
    void RefreshShown();
    // Ends a running transfer (the connection's Stop). Owner thread.
    void Stop() { m_connection->Stop(); }

private:
    THXSlotList* m_ownerList;
    THXQItem* m_item = nullptr;
    std::string m_server;
    std::unique_ptr<TqkHTTP> m_connection;
    std::unique_ptr<THXSlotRow> m_row;
};

class THXSlotList
{
public:
    THXSlotList() = default;
    // Stops and destroys every slot.
    ~THXSlotList();
    THXSlotList(const THXSlotList&) = delete;
    THXSlotList& operator=(const THXSlotList&) = delete;

    // Gives each new slot its row (the connections window sets it); may be empty.
    std::function<std::unique_ptr<THXSlotRow>(THXSocket& slot)> OnCreateRow;
    // Set on new connections (the message boxes of transfers).
    TqkHTTP::TMessageEvent OnMessage;
    // Called on a transfer thread whenever a transfer of any slot has ended. Any
    // thread; once it has returned, the previous handler is no longer called.
    void SetOnTransferEnded(std::function<void()> handler);
    // The host delay shared by the transfers of every slot.
    THXHostGate& HostGate() { return m_hostGate; }
    // The task's bandwidth cap, drawn on by the body bytes of every slot together.
    THXRateLimit& RateLimit() { return m_rateLimit; }
    // The host names of the run, looked up once; every slot's socket takes its
    // addresses from here.
    THXHostCache& HostCache() { return m_hostCache; }
    // Which servers of the run answer and which are down; every slot's connections
    // report here.
    THXHostHealth& HostHealth() { return m_hostHealth; }
    // The run's HTTP/2 connections, one per server, shared by every slot.
    THXHttp2Pool& Http2Pool() { return m_http2Pool; }
    // Slots making their connection to the server (see THXSocket::Server). Any thread.
    int ConnectingTo(const std::string& server) const;
    // Whether the transfers of every slot, present and future, ask with HEAD before
    // their GET (see TqkHTTP::AskHeadFirst). Any thread.
    void SetAskHeadFirst(bool askHeadFirst);
    // What the HTTP clients of every slot, present and future, may use beyond
    // HTTP/1.0 (persistent connections, compression); taken when a transfer
    // starts. Owner thread.
    void SetHTTPFeatures(THTTPFeatures features);
    // Called on the owner thread when a transfer of any slot found the disk full
    // (TqkHTTP::OnDiskFull). Owner thread.
    void SetOnDiskFull(std::function<void(const std::string& text)> handler);
    // How the transfers of every slot, present and future, write their bodies
    // (empty: pwrite). Owner thread, while no transfer runs.
    void SetPartWriter(TPartWriter writer);

    // Any thread.
    int Count() const;
    THXSocket* Slot(int index) const;
    std::vector<THXSocket*> Slots() const;
    bool Contains(const THXSocket* slot) const;
    // The first slot, in list order, whose connection is idle; null when none.
    THXSocket* FirstIdle() const;
    // Whether any slot's connection is not idle.
    bool AnyBusy() const;

    // Owner thread. Creates slots until there are n (clamped to kMinSlots to
    // kMaxSlots); when there are more than n and no task is running, destroys
    // slots from the end of the list. While a task runs the surplus stays: the
    // dispatcher destroys an idle surplus slot instead of using it.
    void SetSlotCount(int n, bool taskRunning);
    // Removes the slot from the list and destroys it (stopping its transfer).
    void Destroy(THXSocket* slot);
    // Stops every slot.
    void StopAll();
    // Stops every slot, destroys all slots and creates the same number anew (the
    // end of a task).
    void Renew();

private:
    void AddSlot();
    void TransferEnded();
    void ConnectOutcome(const TagSocket& socket, int code, const std::string& message);

    mutable std::mutex m_mutex;
    // Before the slots: it outlives every stream they hold.
    THXHttp2Pool m_http2Pool;
    std::vector<std::unique_ptr<THXSocket>> m_slots;
    // Held while the handler runs, so replacing it waits for a call in progress.
    std::mutex m_endedMutex;
    std::function<void()> m_onTransferEnded;
    THXHostGate m_hostGate;
    THXRateLimit m_rateLimit;
    THXHostCache m_hostCache;
    THXHostHealth m_hostHealth;
    std::atomic<bool> m_askHeadFirst{true};
    THTTPFeatures m_httpFeatures; // guarded by m_mutex
    std::function<void(const std::string& text)> m_onDiskFull;
    TPartWriter m_partWriter;
};

} // namespace hx
