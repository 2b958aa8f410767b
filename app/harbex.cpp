// harbex: the windowed program. It creates the settings object, then the main
// window, which runs the start-up (first-run set-up, views, tick) and, when it is
// closed, the close sequence.

#include <QApplication>
#include <QMessageBox>

#include <clocale>
#include <exception>

#include "app/HXScreenshots.h"
#include "core/HXApp.h"
#include "shell/ui/HXMain.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Harbex"));
    QApplication::setApplicationDisplayName(QStringLiteral("Harbex 2.60"));
    // Times are shown in the user's own format; numbers in files stay plain.
    std::setlocale(LC_TIME, "");
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == QStringLiteral("--screenshots"))
        return hx::TakeScreenshots(arguments[2]);
    try
    {
        hx::THXApp app;
        hx::TFormHarbex window(app);
        window.show();
        return QApplication::exec();
    }
    catch (const std::exception& error)
    {
        QMessageBox::critical(nullptr, QStringLiteral("Harbex 2.60"), QString::fromLocal8Bit(error.what()));
        return 1;
    }
}
