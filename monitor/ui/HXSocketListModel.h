#pragma once

// TSocketListModel: the connections list's rows, one per connection slot, in the
// slots' order. A slot owns its row object (TSocketRow); the row keeps the model up
// to date: its Refresh copies the slot's shown fields in, its destructor takes the
// row out. Refreshes only mark rows; a 100 ms single-shot timer sends one
// dataChanged over the marked range.
//
// Threads: window thread only.

#include <cstdint>
#include <string>
#include <vector>

#include <QAbstractTableModel>

#include "net/HXSockets.h"

class QTimer;

namespace hx
{

class TSocketListModel;

// The mark drawn for every full ten percent of a transfer.
inline constexpr char kProgressMark[] = "\u25AE";

class TSocketRow final : public THXSlotRow
{
public:
    explicit TSocketRow(TSocketListModel& model);
    ~TSocketRow() override;
    TSocketRow(const TSocketRow&) = delete;
    TSocketRow& operator=(const TSocketRow&) = delete;

    void Refresh(const THXSocket& slot) override;
    // The model goes first: the row stops reaching it.
    void Detach() { m_model = nullptr; }

private:
    TSocketListModel* m_model;
};

class TSocketListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TSocketListModel)

public:
    enum TColumn
    {
        colRetrieving,
        colProgress,
        colBytes,
        colSize,
        colStatus,
        colCount
    };

    explicit TSocketListModel(QObject* parent = nullptr);
    ~TSocketListModel() override;

    // A row for a new slot at the end of the list: "HTTP Socket: N", "Idle".
    std::unique_ptr<TSocketRow> CreateRow();
    // Cuts every row loose (the window closes before the slots go).
    void DetachAll();

    // Called by the rows.
    void RowRefreshed(const TSocketRow* row, const THXSocket& slot);
    void RowDestroyed(const TSocketRow* row);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // What a row shows: the slot's shown fields as last copied.
    struct TEntry
    {
        TSocketRow* Row = nullptr;
        std::string Caption;
        std::string Status = "Idle";
        int Percent = 0;
        std::int64_t Bytes = 0;
        std::int64_t Size = 0;
        // Not refreshed yet: the three figure cells stay empty.
        bool Blank = true;
        bool Dirty = false;
    };

    int IndexOf(const TSocketRow* row) const;
    void SendChanges();

    std::vector<TEntry> m_entries;
    QTimer* m_changeTimer = nullptr;
};

} // namespace hx
