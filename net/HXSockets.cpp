#include "net/HXSockets.h"

#include <algorithm>

#include "core/HXApp.h"
#include "core/HXTask.h"
#include "net/HXProxy.h"

namespace hx
{

// ---- THXSocket ----

THXSocket::THXSocket(THXSlotList* ownerList)
    : m_ownerList(ownerList)
    , m_connection(std::make_unique<TqkHTTP>())
{
}

THXSocket::~THXSocket()
{
    m_connection.reset();
    m_row.reset();
}

void THXSocket::Fetch(THXQItem& item)
{
    THXTask& task = *item.Task;
    task.ReloadItem(item);

    TqkHTTP& connection = *m_connection;
    connection.SetURL(item.URL);
    m_item = &item;
    connection.SetQItem(&item);

    const TTransferProxy proxy = TransferProxy(task.App());
    connection.SetProxy(proxy.Proxy);
    connection.SetProxyUsername(proxy.UserName);
    connection.SetProxyPassword(proxy.Password);
    connection.SetTLSOptions({task.App().CheckCertificates(), task.App().CAFile()});

    connection.SetUserName(task.UserName);
    connection.SetPassword(task.Password);
    connection.HTTP().SetConnectTimeOut(task.App().ConnectTimeOut());

    task.SetItemState(item, item.Mode == kModeUpdate ? kStateUpdating : kStateDownloading);
    task.CommitItem(item, false);
    connection.Start();
}

void THXSocket::RefreshShown()
{
    if (m_item == nullptr)
        return;
    const TqkHTTPStatus status = m_connection->Snapshot();
    ShownURL = m_connection->URL();
    ShownBytes = status.Bytes;
    ShownPercent = status.Percent;
    ShownStatus = status.Status;
    ShownSize = m_item->Size;
    m_connection->AccountBytes();
    if (m_row)
        m_row->Refresh(*this);
}

// ---- THXSlotList ----

THXSlotList::~THXSlotList()
{
    std::vector<std::unique_ptr<THXSocket>> slots;
    {
        std::lock_guard lock(m_mutex);
        slots.swap(m_slots);
    }
    // Destroyed from the end, as surplus slots are.
    while (!slots.empty())
        slots.pop_back();
}

int THXSlotList::Count() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_slots.size());
}

THXSocket* THXSlotList::Slot(int index) const
{
    std::lock_guard lock(m_mutex);
    if (index < 0 || static_cast<std::size_t>(index) >= m_slots.size())
        return nullptr;
    return m_slots[static_cast<std::size_t>(index)].get();
}

std::vector<THXSocket*> THXSlotList::Slots() const
{
    std::lock_guard lock(m_mutex);
    std::vector<THXSocket*> slots;
    slots.reserve(m_slots.size());
    for (const auto& slot : m_slots)
        slots.push_back(slot.get());
    return slots;
}

bool THXSlotList::Contains(const THXSocket* slot) const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_slots.begin(), m_slots.end(), [slot](const auto& s) { return s.get() == slot; });
}

THXSocket* THXSlotList::FirstIdle() const
{
    std::lock_guard lock(m_mutex);
    for (const auto& slot : m_slots)
    {
        if (slot->IsIdle())
            return slot.get();
    }
    return nullptr;
}

int THXSlotList::ConnectingTo(const std::string& server) const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_slots.begin(), m_slots.end(),
                                          [&server](const auto& slot)
                                          { return slot->Connecting() && slot->Server() == server; }));
}

void THXSlotList::ConnectOutcome(const TagSocket& socket, int code, const std::string& message)
{
    const std::string server = ServerKey(socket.Host(), socket.Port());
    if (code == 0)
        m_hostHealth.Succeeded(server);
    else if (IsUnreachableFailure(code))
        m_hostHealth.Failed(server, message);
}

bool THXSlotList::AnyBusy() const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_slots.begin(), m_slots.end(), [](const auto& slot) { return !slot->IsIdle(); });
}

void THXSlotList::SetOnTransferEnded(std::function<void()> handler)
{
    std::lock_guard lock(m_endedMutex);
    m_onTransferEnded = std::move(handler);
}

void THXSlotList::SetAskHeadFirst(bool askHeadFirst)
{
    std::lock_guard lock(m_mutex);
    m_askHeadFirst = askHeadFirst;
    for (const auto& slot : m_slots)
        slot->Connection().AskHeadFirst = askHeadFirst;
}

void THXSlotList::SetHTTPFeatures(THTTPFeatures features)
{
    std::lock_guard lock(m_mutex);
    m_httpFeatures = features;
    for (const auto& slot : m_slots)
        slot->Connection().SetHTTPFeatures(features);
}

void THXSlotList::SetOnDiskFull(std::function<void(const std::string& text)> handler)
{
    m_onDiskFull = std::move(handler);
}

void THXSlotList::SetPartWriter(TPartWriter writer)
{
    std::lock_guard lock(m_mutex);
    m_partWriter = std::move(writer);
    for (const auto& slot : m_slots)
        slot->Connection().PartWriter = m_partWriter;
}

void THXSlotList::TransferEnded()
{
    std::lock_guard lock(m_endedMutex);
    if (m_onTransferEnded)
        m_onTransferEnded();
}

void THXSlotList::AddSlot()
{
    auto slot = std::make_unique<THXSocket>(this);
    slot->Connection().OnMessage = OnMessage;
    slot->Connection().OnTransferEnded = [this] { TransferEnded(); };
    slot->Connection().HostGate = &m_hostGate;
    slot->Connection().HTTP().SetResolver(m_hostCache.SocketResolver());
    slot->Connection().HTTP().SetRateLimit(&m_rateLimit);
    slot->Connection().HTTP().SetHttp2Pool(&m_http2Pool);
    slot->Connection().HTTP().OnConnectOutcome = [this](TagSocket& socket, int code, const std::string& message)
    { ConnectOutcome(socket, code, message); };
    slot->Connection().AskHeadFirst = m_askHeadFirst.load();
    // On the owner thread, like the list's handler.
    slot->Connection().OnDiskFull = [this](const std::string& text)
    {
        if (m_onDiskFull)
            m_onDiskFull(text);
    };
    {
        std::lock_guard lock(m_mutex);
        slot->Connection().PartWriter = m_partWriter;
        slot->Connection().SetHTTPFeatures(m_httpFeatures);
    }
    if (OnCreateRow)
        slot->SetRow(OnCreateRow(*slot));
    std::lock_guard lock(m_mutex);
    m_slots.push_back(std::move(slot));
}

void THXSlotList::SetSlotCount(int n, bool taskRunning)
{
    n = std::clamp(n, kMinSlots, kMaxSlots);
    while (Count() < n)
        AddSlot();
    if (taskRunning)
        return;
    while (Count() > n)
    {
        std::unique_ptr<THXSocket> last;
        {
            std::lock_guard lock(m_mutex);
            last = std::move(m_slots.back());
            m_slots.pop_back();
        }
        // Destroyed outside the lock: a slot that still transfers is stopped first.
        last.reset();
    }
}

void THXSlotList::Destroy(THXSocket* slot)
{
    std::unique_ptr<THXSocket> removed;
    {
        std::lock_guard lock(m_mutex);
        const auto found =
            std::find_if(m_slots.begin(), m_slots.end(), [slot](const auto& s) { return s.get() == slot; });
        if (found == m_slots.end())
            return;
        removed = std::move(*found);
        m_slots.erase(found);
    }
    removed.reset();
}

void THXSlotList::StopAll()
{
    for (THXSocket* slot : Slots())
        slot->Stop();
}

void THXSlotList::Renew()
{
    const int count = Count();
    StopAll();
    std::vector<std::unique_ptr<THXSocket>> old;
    {
        std::lock_guard lock(m_mutex);
        old.swap(m_slots);
    }
    while (!old.empty())
        old.pop_back();
    // The run's HTTP/2 connections end with it.
    m_http2Pool.Clear();
    for (int i = 0; i < count; ++i)
        AddSlot();
}

} // namespace hx
