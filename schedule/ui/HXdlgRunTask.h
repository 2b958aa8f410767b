#pragma once

// TdlgRunTask: asked when the user runs a task that has run before. It shows what
// the previous runs achieved (a summary grid and a message) and lets the user choose
// how the new run proceeds: Restart, Resume, SmartUpdate or SmartRecovery. "Resume"
// is preselected; SmartRecovery is offered only when earlier runs left errors.
//
// What is shown and which run mode a choice sets come from RunTaskView and
// RunModeOfChoice; the dialog only displays them.
//
// Threads: window thread only.

#include <optional>

#include <QDialog>

#include "schedule/HXRunTask.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace hx
{

class THXTask;

class TdlgRunTask final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TdlgRunTask)

public:
    // The task is read when the dialog is shown; it must outlive the dialog.
    explicit TdlgRunTask(const THXTask& task, QWidget* parent = nullptr);

    // Shows the dialog modally for the task: Run gives the run mode of the selected
    // choice (Restart 0, Resume 1, SmartUpdate 2, SmartRecovery 3), Cancel nothing.
    // The task is not changed here. Fits THXScheduler::TRunModeChooser once the
    // parent is bound.
    static std::optional<int> ChooseRunMode(QWidget* parent, THXTask& task);

    TRunChoice SelectedChoice() const;

    QLabel* lblMessage = nullptr;
    QTableWidget* grdSummary = nullptr;
    QLabel* lblDescription = nullptr;
    QRadioButton* rbRestart = nullptr;
    QRadioButton* rbResume = nullptr;
    QRadioButton* rbSmartUpdate = nullptr;
    QRadioButton* rbSmartRecovery = nullptr;
    QPushButton* btnRun = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* CreateSummaryGroup();
    QWidget* CreateActionGroup();
    QRadioButton* ChoiceButton(TRunChoice choice) const;
    // Fills the grid, the caption, the message and SmartRecovery's state from the task.
    void FormShow();
    void FillSummary(const TRunTaskView& view);
    // The description follows the selected choice.
    void ShowDescription();

    const THXTask& m_task;
};

} // namespace hx
