#pragma once

// TFormScheduler: the Tasks page of the main window. It lists the tasks of the
// "Last Category" (the scheduler's shown tasks) with the task list's twelve
// columns, keeps each row in step with its task, and tells which tasks are selected.

#include <QAbstractTableModel>
#include <QWidget>

#include <memory>
#include <vector>

class QTableView;

namespace hx
{

class THXScheduler;
class THXTask;

class TTaskListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TTaskListModel(THXScheduler& scheduler, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The scheduler's shown list changed (a category was listed, a task added or deleted).
    void Reload();
    // One task's row changed.
    void TaskChanged(const THXTask& task);
    std::shared_ptr<THXTask> TaskAt(int row) const;

private:
    THXScheduler& m_scheduler;
    std::vector<std::shared_ptr<THXTask>> m_tasks;
};

class TFormScheduler final : public QWidget
{
    Q_OBJECT

public:
    explicit TFormScheduler(THXScheduler& scheduler, QWidget* parent = nullptr);

    // Lists the category's tasks (it becomes "Last Category").
    void ShowCategory(const std::string& category);
    // Lists a task the scheduler added.
    void Reload() { m_model->Reload(); }
    void TaskChanged(const THXTask& task) { m_model->TaskChanged(task); }
    std::vector<std::shared_ptr<THXTask>> SelectedTasks() const;
    TTaskListModel& Model() { return *m_model; }

    QTableView* lvTasks = nullptr;

signals:
    void SelectionChanged();

private:
    THXScheduler& m_scheduler;
    TTaskListModel* m_model = nullptr;
};

} // namespace hx
