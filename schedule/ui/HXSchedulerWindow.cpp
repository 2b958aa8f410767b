#include "schedule/ui/HXSchedulerWindow.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

#include "core/HXTask.h"
#include "schedule/HXScheduler.h"

namespace hx
{

TTaskListModel::TTaskListModel(THXScheduler& scheduler, QObject* parent)
    : QAbstractTableModel(parent)
    , m_scheduler(scheduler)
{
}

int TTaskListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_tasks.size());
}

int TTaskListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : TTaskRow::kColumnCount;
}

QVariant TTaskListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_tasks.size()))
        return {};
    const THXTask& task = *m_tasks[static_cast<std::size_t>(index.row())];
    switch (role)
    {
    case Qt::DisplayRole:
        return QString::fromStdString(TaskRow(task).Columns[static_cast<std::size_t>(index.column())]);
    case Qt::ForegroundRole:
    {
        const unsigned color = TaskRow(task).TextColor;
        return QColor(static_cast<int>((color >> 16) & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                      static_cast<int>(color & 0xFF));
    }
    case Qt::ToolTipRole:
        return QString::fromStdString(TaskHint(task));
    default:
        return {};
    }
}

QVariant TTaskListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= TTaskRow::kColumnCount)
        return {};
    const std::string_view caption = kTaskColumnCaptions[static_cast<std::size_t>(section)];
    return QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
}

void TTaskListModel::Reload()
{
    beginResetModel();
    m_tasks = m_scheduler.ShownTasks();
    endResetModel();
}

void TTaskListModel::TaskChanged(const THXTask& task)
{
    const auto found =
        std::find_if(m_tasks.begin(), m_tasks.end(), [&task](const auto& shown) { return shown.get() == &task; });
    if (found == m_tasks.end())
        return;
    const int row = static_cast<int>(found - m_tasks.begin());
    emit dataChanged(index(row, 0), index(row, TTaskRow::kColumnCount - 1));
}

std::shared_ptr<THXTask> TTaskListModel::TaskAt(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_tasks.size()))
        return nullptr;
    return m_tasks[static_cast<std::size_t>(row)];
}

TFormScheduler::TFormScheduler(THXScheduler& scheduler, QWidget* parent)
    : QWidget(parent)
    , m_scheduler(scheduler)
    , m_model(new TTaskListModel(scheduler, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    lvTasks = new QTableView(this);
    lvTasks->setObjectName("lvTasks");
    lvTasks->setModel(m_model);
    lvTasks->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvTasks->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvTasks->setShowGrid(false);
    lvTasks->setWordWrap(false);
    lvTasks->verticalHeader()->hide();
    lvTasks->horizontalHeader()->setHighlightSections(false);
    for (int column = 0; column < TTaskRow::kColumnCount; ++column)
        lvTasks->setColumnWidth(column, kTaskColumnWidths[static_cast<std::size_t>(column)]);
    layout->addWidget(lvTasks);
    connect(lvTasks->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TFormScheduler::SelectionChanged);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TFormScheduler::SelectionChanged);
}

void TFormScheduler::ShowCategory(const std::string& category)
{
    m_scheduler.ShowCategory(category);
    m_model->Reload();
}

std::vector<std::shared_ptr<THXTask>> TFormScheduler::SelectedTasks() const
{
    std::vector<std::shared_ptr<THXTask>> tasks;
    for (const QModelIndex& index : lvTasks->selectionModel()->selectedRows())
        if (auto task = m_model->TaskAt(index.row()))
            tasks.push_back(std::move(task));
    return tasks;
}

} // namespace hx
