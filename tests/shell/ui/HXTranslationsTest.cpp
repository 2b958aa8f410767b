// The windows' language follows the locale the program is started in, as a
// person's desktop session sets it: the test runs twice, once with
// LANG=de_DE.UTF-8 and once with LANG=en_US.UTF-8 (see CMakeLists.txt), and loads
// the translations as the program does, from QLocale::system().

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <map>

#include "HXMainWindowFixture.h"
#include "core/ui/HXTranslations.h"
#include "shell/ui/HXMain.h"

namespace hx
{

namespace
{

bool StartedInGerman()
{
    return QLocale::system().language() == QLocale::German;
}

// Every accelerator letter used twice within one menu (the menu bar counts as
// one), with the menus below it, as "menu: letter (first, second)".
void DuplicateAccelerators(const QString& menuName, const QList<QAction*>& actions, QStringList& duplicates)
{
    std::map<QKeySequence, QString> seen;
    for (QAction* action : actions)
    {
        if (action->isSeparator())
            continue;
        const QKeySequence key = QKeySequence::mnemonic(action->text());
        if (!key.isEmpty())
        {
            const auto [at, added] = seen.emplace(key, action->text());
            if (!added)
                duplicates
                    << QStringLiteral("%1: %2 (%3, %4)").arg(menuName, key.toString(), at->second, action->text());
        }
        if (QMenu* menu = action->menu())
            DuplicateAccelerators(action->text(), menu->actions(), duplicates);
    }
}

} // namespace

class HXTranslationsTest : public QObject, protected test::TMainWindowFixture
{
    Q_OBJECT

private slots:
    void init() { StartHome(); }
    void cleanup() { Stop(); }

    // The first menu reads "&Datei" in a German session and "&File" in an English one.
    void FirstMenuFollowsTheLocale()
    {
        const THXTranslations translations(QLocale::system());
        QCOMPARE(translations.Translated(), StartedInGerman());
        TMainWindowFixture::OpenWindow(FastOptions(), test::TWindowActivation::AsShown);
        const QList<QAction*> menus = m_window->menuBar()->actions();
        QVERIFY(!menus.isEmpty());
        QCOMPARE(menus.first()->text(), StartedInGerman() ? QStringLiteral("&Datei") : QStringLiteral("&File"));
        QCOMPARE(menus.last()->text(), StartedInGerman() ? QStringLiteral("&Hilfe") : QStringLiteral("&Help"));
    }

    // In German every menu's accelerator letters stay unique, as they are in English.
    void MenuAcceleratorsStayUnique()
    {
        const THXTranslations translations(QLocale::system());
        TMainWindowFixture::OpenWindow(FastOptions(), test::TWindowActivation::AsShown);
        QStringList duplicates;
        DuplicateAccelerators(QStringLiteral("menu bar"), m_window->menuBar()->actions(), duplicates);
        QVERIFY2(duplicates.isEmpty(), qPrintable(duplicates.join(QStringLiteral("; "))));
    }

    // Removing the translations gives English windows again.
    void RemovedTranslationsLeaveEnglish()
    {
        {
            const THXTranslations translations(QLocale::system());
        }
        TMainWindowFixture::OpenWindow(FastOptions(), test::TWindowActivation::AsShown);
        QCOMPARE(m_window->menuBar()->actions().first()->text(), QStringLiteral("&File"));
    }
};

} // namespace hx

#include "HXTranslationsTest.moc"

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    hx::HXTranslationsTest tests;
    return QTest::qExec(&tests, argc, argv);
}
