#pragma once

// TFormDownloader: the connections tab ("Downloader"). One row per connection slot
// showing what it fetches and how far it got, a slider for the number of
// connections and one for the download priority (pages against media files).
//
// The list is a model over rows the slots own: every slot gets a row object when it
// is created; the dispatcher's refresh cycle calls the row's Refresh, which copies
// the slot's shown fields into the model and marks the row out of date; a 100 ms
// timer tells the view once about every row changed since. The window never polls
// the slots itself.
//
// Threads: window thread only (the owner thread).

#include <functional>

#include <QWidget>

class QAbstractTableModel;
class QLabel;
class QSlider;
class QTableView;

namespace hx
{

class THXApp;
class THXSlotList;
class TSocketListModel;

class TFormDownloader final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFormDownloader)

public:
    // Gives every slot, present and future, a row; `taskRunning` tells SetSlotCount
    // whether a task runs (surplus slots then stay until the dispatcher ends them).
    TFormDownloader(THXApp& app, THXSlotList& slotList, std::function<bool()> taskRunning, QWidget* parent = nullptr);
    // Stops giving new slots rows and cuts the present rows loose: the slots keep
    // them, but they no longer reach the list.
    ~TFormDownloader() override;

    // Creates or (when no task runs) destroys slots until there are n, with the
    // hourglass cursor and the list's repainting suspended.
    void SetSlotCount(int n);
    // Stops and destroys every slot, last to first, and creates as many anew.
    void StopAll();
    // Sets both sliders from the "Connections" and "Priority" settings, writing nothing.
    void LoadSettings();

    QAbstractTableModel* Model() const;

    QSlider* tbSockets = nullptr;
    QSlider* tbPriority = nullptr;
    QLabel* lblSockets = nullptr;
    QTableView* lvSockets = nullptr;

private:
    void CreateControls();
    void tbSocketsChange(int value);
    void tbPriorityChange(int value);

    THXApp& m_app;
    THXSlotList& m_slots;
    std::function<bool()> m_taskRunning;
    TSocketListModel* m_model = nullptr;
};

} // namespace hx
