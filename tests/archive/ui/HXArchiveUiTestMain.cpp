// The archive windows' tests: the Zip contents list, a Qt Test class run in one program.

#include <QApplication>
#include <QTest>

#include "HXFormZipTest.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    int failures = 0;
    {
        hx::HXFormZipTest formZip;
        failures += QTest::qExec(&formZip, argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
