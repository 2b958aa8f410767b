// The scheduling dialogs' tests: the schedule dialog and the run task dialog, each a
// Qt Test class, run one after the other in one program.

#include <QApplication>
#include <QTest>

#include "HXdlgRunTaskTest.h"
#include "HXdlgScheduleTest.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    int failures = 0;
    {
        hx::HXdlgScheduleTest schedule;
        failures += QTest::qExec(&schedule, argc, argv);
    }
    {
        hx::HXdlgRunTaskTest runTask;
        failures += QTest::qExec(&runTask, argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
