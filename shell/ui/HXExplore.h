#pragma once

// TFormExplore: the explore view. It lists every URL of the current task's queue,
// one row per item, with its state picture, state, title, address, type, size,
// Last-Modified, download result, level and referrer. A person marks items for the
// next run (download, update, map, unmark; chosen rows or all), clicks a row's mark
// to turn it between skip and download, and browses a row's saved copy or its live
// address.
//
// TExploreModel is the list's model over the queue itself: a row holds only the
// item's pair number and its last mark picture; the texts are read from the queue
// lines when a row is drawn. The task adds and refreshes rows through its view seam
// (THXTaskView) while it runs; the model gathers them and tells the list at most
// every 100 ms, in one insert and one change over a range.
//
// Threads: window thread only (the owner thread).

#include <QAbstractTableModel>
#include <QIcon>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/HXTask.h"
#include "core/ui/HXPageOpener.h"
#include "shell/HXExplore.h"

class QAction;
class QMenu;
class QTableView;
class QTimer;

namespace hx
{

class THXApp;

class TExploreModel final : public QAbstractTableModel, public THXTaskView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TExploreModel)

public:
    enum TColumn
    {
        colMark,
        colStatus,
        colTitle,
        colURL,
        colType,
        colSize,
        colLastModified,
        colDownloadResult,
        colLevel,
        colReferrer,
        colCount
    };

    explicit TExploreModel(QObject* parent = nullptr);

    // The task whose rows are shown (none: no rows). Rows come from AddRow.
    void SetTask(THXTask* task);
    THXTask* Task() const { return m_task; }
    // The item of a row, or null.
    THXQItem* ItemAt(int row) const;
    // Tells the list of the rows added and changed since the last time.
    void Flush();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // THXTaskView
    void BeginUpdate() override;
    void EndUpdate() override;
    void ClearRows() override;
    void AddRow(THXQItem& item) override;
    void RefreshRow(THXQItem& item) override;

private:
    int RowOfPair(std::uint32_t pair) const;
    const TExploreRow& CachedRow(int row) const;
    QIcon MarkIcon(int row, const TExploreRow& texts) const;
    void ScheduleFlush();

    THXTask* m_task = nullptr;
    // Row k shows queue pair m_pairs[k]; pairs only grow, so the list is sorted.
    std::vector<std::uint32_t> m_pairs;
    // The picture each row showed last (a state-4 item keeps it).
    mutable std::vector<std::uint8_t> m_images;
    std::vector<std::uint32_t> m_pending;
    int m_dirtyFirst = -1;
    int m_dirtyLast = -1;
    bool m_updating = false;
    QTimer* m_flushTimer = nullptr;
    // The last row read: a row's columns are drawn one after the other.
    mutable int m_cachedRow = -1;
    mutable TExploreRow m_cachedTexts;
    std::array<QIcon, 6> m_icons;
};

class TFormExplore final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFormExplore)

public:
    explicit TFormExplore(THXApp& app, QWidget* parent = nullptr);
    ~TFormExplore() override;

    // Clears the rows and makes the task (or none) the view's task; its queue's
    // rows follow from then on.
    void SetTask(const std::shared_ptr<THXTask>& task);
    THXTask* Task() const { return m_task.get(); }
    TExploreModel& Model() { return *m_model; }

    // The programs a row is browsed with.
    enum class TBrowser
    {
        Default,
        InternetExplorer,
        NetscapeNavigator
    };
    // The mark commands on the selected rows or on the whole queue.
    void Mark(TMarkCommand command, TMarkScope scope);
    // Browses the first selected row: its saved copy (offline) or its live address.
    void Browse(TBrowser browser, bool offline);
    QAction* Action(const QString& objectName) const;

    // Opens the rows' pages: in the browser the settings name, or a browser item's program.
    TPageOpener Pages;
    // Makes a Zip task's files browsable in the temporary folder (the archive pane's
    // OpenZip and ExtractZipToTemp); false when that failed (the reason was shown).
    std::function<bool(THXTask& task)> UnpackForBrowsing;

    QTableView* lvExplore = nullptr;
    QMenu* pmExplore = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateMenu();
    void UpdateMenu();
    std::vector<THXQItem*> SelectedItems() const;
    int FirstSelectedRow() const;

    THXApp& m_app;
    std::shared_ptr<THXTask> m_task;
    TExploreModel* m_model = nullptr;
    std::vector<QAction*> m_rowActions;
};

} // namespace hx
