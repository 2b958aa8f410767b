// The task's side of its queue: the counters, the Modified flag, the explore view
// and progress kept in step with the queue's changes, the queue file's loading and
// saving under the task's name, and the resets that prepare a run.

#include <algorithm>
#include <memory>

#include "core/HXApp.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"

namespace hx
{

void THXTask::CountStateChange(const THXQItem& item, int newState)
{
    const bool page = item.IsPage();
    if (item.State == kStateError && newState == kStateNone)
    {
        if (page)
        {
            --PageErrors;
            --PagesSaved;
        }
        else
        {
            --ResourceErrors;
            --ResourcesSaved;
        }
    }
    else if (item.State >= kStateSaved && newState == kStateNone)
    {
        if (page)
            --PagesSaved;
        else
            --ResourcesSaved;
        if (StartsWithNoCase(item.StatusText, "Incomplete"))
        {
            const std::string received = TextBetween(item.StatusText, "Incomplete (", " bytes)");
            std::int64_t bytes = 0;
            TotalBytes -= TryStrToInt64(received, bytes) ? bytes : 0;
        }
        else
        {
            TotalBytes -= item.Size;
        }
    }
}

void THXTask::AddItem(std::unique_ptr<THXQItem> item)
{
    if (item)
        AddItem(std::move(*item));
}

THXQItem* THXTask::AddItem(THXQItem item)
{
    if (item.IsPage())
        ++TotalPages;
    else
        ++TotalResources;
    THXQItem& added = m_queue.Add(std::move(item));
    Modified = true;
    if (ExploreView)
        ExploreView->AddRow(added);
    m_queue.ReleaseItemStrings(added);
    return &added;
}

void THXTask::WriteItemRecord(THXQItem& item)
{
    if (QueueLineCount() == 0)
        LoadQueueLines();
    m_queue.WriteRecord(item);
    Modified = true;
}

void THXTask::SetItemState(THXQItem& item, int newState)
{
    m_queue.SetState(item, newState);
    Progress("", 0, 0);
}

void THXTask::CommitItem(THXQItem& item, bool release)
{
    WriteItemRecord(item);
    if (ExploreView)
        ExploreView->RefreshRow(item);
    if (release)
        m_queue.ReleaseItemStrings(item);
}

void THXTask::ClearQueue()
{
    Progress("Clearing previous task...", 0, 0);
    m_queue.Clear();
    if (ExploreView)
        ExploreView->ClearRows();
}

void THXTask::LoadQueueLines()
{
    m_queue.LoadLines(QueueFileName(), m_app.Store());
}

void THXTask::LoadQueue()
{
    LoadQueueLines();
    const int lineCount = QueueLineCount();
    if (lineCount == 0)
        return;
    if (ExploreView)
        ExploreView->BeginUpdate();
    struct TEndUpdate
    {
        THXTaskView* view;
        ~TEndUpdate()
        {
            if (view)
                view->EndUpdate();
        }
    } endUpdate{ExploreView};

    const std::size_t pairs = static_cast<std::size_t>(lineCount) / 2;
    const std::string queueFile = QueueFileName();
    // The known-URL table takes every pair at once instead of growing by doubling.
    m_queue.ReserveKnown(pairs);
    for (std::size_t pair = 0; pair < pairs; ++pair)
    {
        THXQItem* item = m_queue.BuildItem(pair, queueFile);
        if (item == nullptr)
            continue;
        Progress("", 0, 0);
        if (item->State != kStateNone && item->State < kStateError)
        {
            // An item that was in transfer when the file was written waits again, and
            // its record says so too: every later reload takes the state from the
            // record, and one that brought "in transfer" back would leave the item
            // unchosen while the run ends as complete.
            ReloadItem(*item);
            SetItemState(*item, kStateNone);
            WriteItemRecord(*item);
            ReleaseItemStrings(*item);
        }
        else if (item->State < kStateError)
        {
            SetItemState(*item, kStateNone);
        }
        if (ExploreView)
            ExploreView->AddRow(*item);
        if (pair == 0 || pair % 50 == 0 || pair + 1 == pairs)
            Progress("Opening task....", static_cast<std::int64_t>(2 * pair + 1), lineCount - 1);
    }
}

void THXTask::SaveQueue()
{
    FlushRecorder();
    m_queue.Save(QueueFileName());
    Modified = false;
    ChangesSinceSave = 0;
}

void THXTask::FlushRecorder()
{
    // The archive's gathered records go to disk first: the saved queue never
    // counts an item done whose exchange is not in the archive.
    if (Recorder)
        Recorder->Flush();
}

void THXTask::SaveQueueInBackground()
{
    FlushRecorder();
    if (!m_queue.SaveInBackground(QueueFileName()))
        return;
    Modified = false;
    ChangesSinceSave = 0;
}

void THXTask::AutoSaveQueue()
{
    if (ChangesSinceSave < m_app.QueueSaveInterval())
        ++ChangesSinceSave;
    else
        SaveQueue();
}

void THXTask::ResetItems(const std::function<bool(const THXQItem&)>& select,
                         const std::function<void(THXQItem&)>& change)
{
    const int pairs = ItemCount();
    for (int pair = 0; pair < pairs; ++pair)
    {
        THXQItem* item = Item(pair);
        if (item == nullptr || !select(*item))
            continue;
        ReloadItem(*item);
        change(*item);
        CommitItem(*item, true);
    }
}

void THXTask::ResetInterrupted()
{
    ResetItems([](const THXQItem& item) { return item.State == kStateDownloading || item.State == kStateUpdating; },
               [this](THXQItem& item) { SetItemState(item, kStateNone); });
}

void THXTask::PrepareSmartUpdate()
{
    ResetItems([](const THXQItem& item) { return item.State >= kStateSaved; },
               [this](THXQItem& item)
               {
                   SetItemState(item, kStateNone);
                   item.Mode = kModeUpdate;
                   ClearStatusText(item);
               });
}

void THXTask::PrepareSmartRecovery()
{
    ResetItems([](const THXQItem& item) { return item.State == kStateError; },
               [this](THXQItem& item)
               {
                   SetItemState(item, kStateNone);
                   item.Size = 0;
                   ClearStatusText(item);
               });
}

} // namespace hx
