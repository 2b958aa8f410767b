// harbex: the windowed program. One runs per user and program folder: a second
// start hands its parameters to the running one and ends. The first creates the
// settings object, then the main window, which runs the start-up (first-run
// set-up, views, tick), handles the first parameter (an address, a task file or an
// archive) and, when it is closed, the close sequence.

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <clocale>
#include <exception>

#include "app/HXScreenshots.h"
#include "core/HXApp.h"
#include "core/HXVersion.h"
#include "core/ui/HXTranslations.h"
#include "shell/ui/HXMain.h"
#include "shell/ui/HXQtSession.h"
#include "shell/ui/HXSingleInstance.h"

namespace
{

// The parameters after the program's name. A file named relative to the folder
// the program was started in is made absolute: a running program that takes it
// over works in a folder of its own.
QStringList Parameters(const QStringList& arguments)
{
    QStringList parameters;
    for (const QString& argument : arguments.mid(1))
        parameters << (argument.contains(QStringLiteral("://")) || argument.isEmpty()
                           ? argument
                           : QFileInfo(argument).absoluteFilePath());
    return parameters;
}

std::vector<std::string> StdStrings(const QStringList& texts)
{
    std::vector<std::string> strings;
    for (const QString& text : texts)
        strings.push_back(text.toStdString());
    return strings;
}

} // namespace

int main(int argc, char** argv)
{
    // The embedded browser shares the windows' OpenGL contexts; set before the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Harbex"));
    QApplication::setApplicationDisplayName(QStringLiteral("Harbex " HX_VERSION_SHORT));
    // Times are shown in the user's own format; numbers in files stay plain.
    std::setlocale(LC_TIME, "");
    // The captions in the user's language where a translation ships.
    const hx::THXTranslations translations(QLocale::system());
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == QStringLiteral("--screenshots"))
        return hx::TakeScreenshots(arguments[2]);
    const QStringList parameters = Parameters(arguments);
    hx::THXSingleInstance instance;
    if (instance.HandOverOrListen(parameters))
        return 0;
    try
    {
        hx::THXApp app;
        // The engine comes first and goes last; the window is handed it.
        hx::THXQtSession session(app);
        hx::TMainOptions options;
        options.Parameter = parameters.value(0).toStdString();
        hx::TFormHarbex window(session, options);
        QObject::connect(&instance, &hx::THXSingleInstance::ParametersReceived, &window,
                         [&window](const QStringList& handed) { window.HandleHandedOver(StdStrings(handed)); });
        window.show();
        return QApplication::exec();
    }
    catch (const std::exception& error)
    {
        QMessageBox::critical(nullptr, QStringLiteral("Harbex " HX_VERSION_SHORT),
                              QString::fromLocal8Bit(error.what()));
        return 1;
    }
}
