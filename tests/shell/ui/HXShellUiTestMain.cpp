// The shell's window tests: the Qt owner thread, the main window, its archive side,
// its commands, its explore view, its ways in from outside (drops, command line,
// second start), its browser and home panes, its help, its skins, and the names and
// keyboard reach of its controls, each a Qt Test class, run one after the other in
// one program.

#include <QApplication>

int RunQtOwnerTests(int argc, char** argv);
int RunMainWindowTests(int argc, char** argv);
int RunMainArchiveTests(int argc, char** argv);
int RunMainCommandsTests(int argc, char** argv);
int RunExploreViewTests(int argc, char** argv);
int RunMainDropTests(int argc, char** argv);
int RunHelpTests(int argc, char** argv);
int RunSkinTests(int argc, char** argv);
int RunAccessibilityTests(int argc, char** argv);
int RunBrowserTests(int argc, char** argv);

int main(int argc, char** argv)
{
    // As the program does: the embedded browser shares the windows' OpenGL contexts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    int failures = RunQtOwnerTests(argc, argv);
    failures += RunMainWindowTests(argc, argv);
    failures += RunMainArchiveTests(argc, argv);
    failures += RunMainCommandsTests(argc, argv);
    failures += RunExploreViewTests(argc, argv);
    failures += RunMainDropTests(argc, argv);
    failures += RunHelpTests(argc, argv);
    failures += RunSkinTests(argc, argv);
    failures += RunAccessibilityTests(argc, argv);
    failures += RunBrowserTests(argc, argv);
    return failures == 0 ? 0 : 1;
}
