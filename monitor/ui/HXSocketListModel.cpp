#include "monitor/ui/HXSocketListModel.h"

#include <algorithm>

#include <QTimer>

#include "core/ui/HXQtText.h"
#include "monitor/ui/HXStatusFigures.h"

namespace hx
{

namespace
{

// Changes of the rows are gathered for this long before the view hears of them.
constexpr int kChangeMilliseconds = 100;

} // namespace

// ---- TSocketRow ----

TSocketRow::TSocketRow(TSocketListModel& model)
    : m_model(&model)
{
}

TSocketRow::~TSocketRow()
{
    if (m_model != nullptr)
        m_model->RowDestroyed(this);
}

void TSocketRow::Refresh(const THXSocket& slot)
{
    if (m_model != nullptr)
        m_model->RowRefreshed(this, slot);
}

// ---- TSocketListModel ----

TSocketListModel::TSocketListModel(QObject* parent)
    : QAbstractTableModel(parent)
{
    m_changeTimer = new QTimer(this);
    m_changeTimer->setSingleShot(true);
    m_changeTimer->setInterval(kChangeMilliseconds);
    connect(m_changeTimer, &QTimer::timeout, this, &TSocketListModel::SendChanges);
}

TSocketListModel::~TSocketListModel()
{
    DetachAll();
}

std::unique_ptr<TSocketRow> TSocketListModel::CreateRow()
{
    auto row = std::make_unique<TSocketRow>(*this);
    const int index = rowCount();
    beginInsertRows(QModelIndex(), index, index);
    TEntry entry;
    entry.Row = row.get();
    entry.Caption = Std(tr("HTTP Socket: %1").arg(index + 1));
    m_entries.push_back(std::move(entry));
    endInsertRows();
    return row;
}

void TSocketListModel::DetachAll()
{
    for (TEntry& entry : m_entries)
        entry.Row->Detach();
    if (m_entries.empty())
        return;
    beginResetModel();
    m_entries.clear();
    endResetModel();
}

int TSocketListModel::IndexOf(const TSocketRow* row) const
{
    const auto found =
        std::find_if(m_entries.begin(), m_entries.end(), [row](const TEntry& e) { return e.Row == row; });
    return found == m_entries.end() ? -1 : static_cast<int>(found - m_entries.begin());
}

void TSocketListModel::RowRefreshed(const TSocketRow* row, const THXSocket& slot)
{
    const int index = IndexOf(row);
    if (index < 0)
        return;
    // A slot that has fetched nothing yet keeps its new row ("HTTP Socket: N", "Idle").
    if (slot.Item() == nullptr && slot.ShownURL.empty())
        return;
    TEntry& entry = m_entries[static_cast<std::size_t>(index)];
    entry.Caption = slot.ShownURL;
    entry.Status = slot.ShownStatus;
    entry.Percent = slot.ShownPercent;
    entry.Bytes = slot.ShownBytes;
    entry.Size = slot.ShownSize;
    entry.Blank = false;
    entry.Dirty = true;
    if (!m_changeTimer->isActive())
        m_changeTimer->start();
}

void TSocketListModel::RowDestroyed(const TSocketRow* row)
{
    const int index = IndexOf(row);
    if (index < 0)
        return;
    beginRemoveRows(QModelIndex(), index, index);
    m_entries.erase(m_entries.begin() + index);
    endRemoveRows();
}

void TSocketListModel::SendChanges()
{
    int first = -1;
    int last = -1;
    for (std::size_t i = 0; i < m_entries.size(); ++i)
    {
        if (!m_entries[i].Dirty)
            continue;
        m_entries[i].Dirty = false;
        if (first < 0)
            first = static_cast<int>(i);
        last = static_cast<int>(i);
    }
    if (first >= 0)
        emit dataChanged(index(first, 0), index(last, colCount - 1), {Qt::DisplayRole});
}

int TSocketListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

int TSocketListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : colCount;
}

QVariant TSocketListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TEntry& entry = m_entries[static_cast<std::size_t>(index.row())];
    if (role == Qt::TextAlignmentRole)
    {
        const bool figure = index.column() == colBytes || index.column() == colSize;
        return QVariant::fromValue(Qt::AlignVCenter | (figure ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column())
    {
    case colRetrieving:
        return QString::fromStdString(entry.Caption);
    case colProgress:
        return entry.Blank ? QString() : QString::fromStdString(SlotProgressText(entry.Percent, kProgressMark));
    case colBytes:
        return entry.Blank ? QString() : QString::number(entry.Bytes);
    case colSize:
        return entry.Blank ? QString() : QString::fromStdString(SlotSizeText(entry.Size));
    case colStatus:
        return QString::fromStdString(entry.Status);
    default:
        return {};
    }
}

QVariant TSocketListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section)
    {
    case colRetrieving:
        return tr("Retrieving");
    case colProgress:
        return tr("Progress");
    case colBytes:
        return tr("Bytes");
    case colSize:
        return tr("Size");
    case colStatus:
        return tr("Status");
    default:
        return {};
    }
}

} // namespace hx
