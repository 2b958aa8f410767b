#include "HXdlgRunTaskTest.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include "HXDialogDriver.h"
#include "core/HXTask.h"
#include "monitor/ui/HXMonitorTestSupport.h"
#include "schedule/HXScheduler.h"
#include "schedule/ui/HXdlgRunTask.h"

namespace hx
{

namespace
{

// A task that has run: 10 pages and 5 media files saved, of which 2 and 1 failed,
// out of 12 pages and 4 media files found.
void SetRunCounters(THXTask& task, int status)
{
    task.Name = "Gallery";
    task.Status = status;
    task.PagesSaved = 10;
    task.ResourcesSaved = 5;
    task.PageErrors = 2;
    task.ResourceErrors = 1;
    task.TotalPages = 12;
    task.TotalResources = 4;
}

QStringList GridRow(const QTableWidget& grid, int row)
{
    QStringList cells{grid.verticalHeaderItem(row)->text()};
    for (int column = 0; column < grid.columnCount(); ++column)
        cells << grid.item(row, column)->text();
    return cells;
}

} // namespace

void HXdlgRunTaskTest::CompletedTaskWithErrorsIsSummarised()
{
    test::TSandboxApp sandbox;
    THXTask task(sandbox.App);
    SetRunCounters(task, kStatusTaskComplete);
    TdlgRunTask dialog(task);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QCOMPARE(dialog.windowTitle(), QStringLiteral("Harbex - Run Task (Gallery)"));
    QCOMPARE(dialog.lblMessage->text(),
             QStringLiteral("This task has run to completion but contains some URLs which failed to download."));
    const QTableWidget& grid = *dialog.grdSummary;
    QCOMPARE(grid.horizontalHeaderItem(0)->text(), QStringLiteral("Pages"));
    QCOMPARE(grid.horizontalHeaderItem(1)->text(), QStringLiteral("Media"));
    QCOMPARE(grid.horizontalHeaderItem(2)->text(), QStringLiteral("Total"));
    QCOMPARE(GridRow(grid, 0), (QStringList{QStringLiteral("Downloaded"), QStringLiteral("8"), QStringLiteral("4"),
                                            QStringLiteral("12")}));
    // Fewer media files found than saved: the negative figure is shown as it is.
    QCOMPARE(GridRow(grid, 1),
             (QStringList{QStringLiteral("Queued"), QStringLiteral("2"), QStringLiteral("-1"), QStringLiteral("1")}));
    QCOMPARE(GridRow(grid, 2), (QStringList{QStringLiteral("New/Modified"), QString(), QString(), QString()}));
    QCOMPARE(GridRow(grid, 3),
             (QStringList{QStringLiteral("Errors"), QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("3")}));
    QCOMPARE(grid.selectionMode(), QAbstractItemView::NoSelection);
    QCOMPARE(grid.editTriggers(), QAbstractItemView::NoEditTriggers);

    // Resume preselected with its description; every choice enabled; the
    // description follows each click.
    QVERIFY(dialog.rbResume->isChecked());
    QCOMPARE(dialog.lblDescription->text(), QStringLiteral("Resumes the task from where it was last stopped."));
    QVERIFY(dialog.rbSmartRecovery->isEnabled());
    test::ClickMark(dialog.rbSmartRecovery);
    QCOMPARE(dialog.lblDescription->text(), QStringLiteral("Retry downloading URL's which have failed"));
    test::ClickMark(dialog.rbRestart);
    QCOMPARE(dialog.lblDescription->text(), QStringLiteral("Reruns the task again from the start."));
    test::ClickMark(dialog.rbSmartUpdate);
    QCOMPARE(dialog.lblDescription->text(),
             QStringLiteral("Reruns the task and downloads only items which are new or have changed."));

    test::SaveScreenshot(dialog, QStringLiteral("run-task-dialog"));
    QCOMPARE(test::FirstClippedChild(dialog), QString());
}

void HXdlgRunTaskTest::StoppedTaskWithoutErrorsOffersNoRecovery()
{
    test::TSandboxApp sandbox;
    THXTask task(sandbox.App);
    SetRunCounters(task, kStatusStopped);
    task.PageErrors = 0;
    task.ResourceErrors = 0;
    TdlgRunTask dialog(task);
    dialog.show();
    QCOMPARE(dialog.lblMessage->text(), QStringLiteral("This task was previously run but is incomplete."));
    QVERIFY(!dialog.rbSmartRecovery->isEnabled());
    QVERIFY(dialog.rbRestart->isEnabled());
    QVERIFY(dialog.rbResume->isChecked());
    dialog.close();

    // The same task completed without errors.
    task.Status = kStatusZipped;
    TdlgRunTask completed(task);
    completed.show();
    QCOMPARE(completed.lblMessage->text(), QStringLiteral("This task has successfully run to completion."));
    QVERIFY(!completed.rbSmartRecovery->isEnabled());
}

void HXdlgRunTaskTest::EachChoiceGivesItsRunModeAndCancelGivesNone()
{
    test::TSandboxApp sandbox;
    THXTask task(sandbox.App);
    SetRunCounters(task, kStatusTaskComplete);
    task.RunMode = kRunRestart;
    // The scheduler's Run command asks through this entry.
    const THXScheduler::TRunModeChooser choose = [](THXTask& asked)
    { return TdlgRunTask::ChooseRunMode(nullptr, asked); };

    const auto chooseBy = [&](QRadioButton* TdlgRunTask::*button)
    {
        test::TWhenShown<TdlgRunTask> person(
            [button](TdlgRunTask& dialog)
            {
                test::ClickMark(dialog.*button);
                QTest::mouseClick(dialog.btnRun, Qt::LeftButton);
            });
        return choose(task);
    };
    QCOMPARE(chooseBy(&TdlgRunTask::rbRestart), std::optional<int>(0));
    QCOMPARE(chooseBy(&TdlgRunTask::rbResume), std::optional<int>(1));
    QCOMPARE(chooseBy(&TdlgRunTask::rbSmartUpdate), std::optional<int>(2));
    QCOMPARE(chooseBy(&TdlgRunTask::rbSmartRecovery), std::optional<int>(3));

    // Run without touching the choices: Resume. Enter presses Run, the default button.
    {
        test::TWhenShown<TdlgRunTask> person([](TdlgRunTask& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); });
        QCOMPARE(choose(task), std::optional<int>(1));
        QCOMPARE(person.Seen(), 1);
    }
    // Cancel: nothing, and the task is left as it was.
    {
        test::TWhenShown<TdlgRunTask> person(
            [](TdlgRunTask& dialog)
            {
                test::ClickMark(dialog.rbSmartUpdate);
                QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
            });
        QCOMPARE(choose(task), std::optional<int>());
        QCOMPARE(person.Seen(), 1);
    }
    QCOMPARE(task.RunMode, kRunRestart);
}

} // namespace hx
