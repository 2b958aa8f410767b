// The monitor windows' tests: the status panel, the connections tab and the
// preferences, each a Qt Test class, run one after the other in one program.

#include <QApplication>
#include <QTest>

#include "HXDownloaderTest.h"
#include "HXPreferencesTest.h"
#include "HXStatusTest.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    int failures = 0;
    {
        hx::HXStatusTest status;
        failures += QTest::qExec(&status, argc, argv);
    }
    {
        hx::HXDownloaderTest downloader;
        failures += QTest::qExec(&downloader, argc, argv);
    }
    {
        hx::HXPreferencesTest preferences;
        failures += QTest::qExec(&preferences, argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
