// The help as a person reaches it: F1 in the main window opens the page of the view
// in front, F1 in a dialog the dialog's page, Help > Contents and the Help button
// open the help too. Each page handed to the opener is checked on disk, with the
// part of the page it names.

#include "shell/ui/HXMain.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <memory>
#include <string>
#include <vector>

#include "HXMainWindowFixture.h"
#include "core/HXApp.h"
#include "schedule/ui/HXdlgSchedule.h"

namespace hx
{

class HXHelpTest : public QObject, protected test::TMainWindowFixture
{
    Q_OBJECT

private:
    // The file name of the last page handed to the opener, after checking that the
    // page is a help file on disk holding the part the address names.
    QString LastOpenedPage()
    {
        if (m_opened.empty())
            return {};
        const QUrl address(QString::fromStdString(m_opened.back()));
        if (!address.isLocalFile())
            return QStringLiteral("not a local file: ") + address.toString();
        QFile page(address.toLocalFile());
        if (!page.open(QIODevice::ReadOnly))
            return QStringLiteral("missing: ") + address.toLocalFile();
        const QByteArray text = page.readAll();
        if (!text.contains("<title>"))
            return QStringLiteral("not a page: ") + address.toLocalFile();
        if (address.hasFragment() && !text.contains("id=\"" + address.fragment().toUtf8() + "\""))
            return QStringLiteral("no part ") + address.fragment() + QStringLiteral(" in ") + address.toLocalFile();
        const QString name = address.fileName();
        return address.hasFragment() ? name + QLatin1Char('#') + address.fragment() : name;
    }

private slots:
    void init()
    {
        StartHome();
        // The program's own pacing and tick: nothing runs here.
        TMainOptions options;
        options.Launch = RecordOpened();
        CreateWindow(std::move(options), TSessionSetup{});
        ShowWindow();
    }

    void cleanup() { Stop(); }

    // F1 opens the page of the view in front; Help > Contents and the Help button
    // do the same; "Online Help..." opens the contents page.
    void F1AndTheHelpMenuOpenThePageOfTheView()
    {
        m_window->ShowView(TView::Tasks);
        QTest::keyClick(m_window.get(), Qt::Key_F1);
        QCOMPARE(m_opened.size(), std::size_t(1));
        QCOMPARE(LastOpenedPage(), QStringLiteral("tasks.html"));

        m_window->ShowView(TView::Explore);
        QTest::keyClick(m_window.get(), Qt::Key_F1);
        QCOMPARE(LastOpenedPage(), QStringLiteral("explore.html"));

        m_window->ShowView(TView::Connections);
        QAction* contents = m_window->Action(QStringLiteral("miHelpContents"));
        QVERIFY(contents->isEnabled());
        contents->trigger();
        QCOMPARE(LastOpenedPage(), QStringLiteral("main-window.html#connections"));

        QVERIFY(m_window->btnHelp->isEnabled());
        QTest::mouseClick(m_window->btnHelp, Qt::LeftButton);
        QCOMPARE(LastOpenedPage(), QStringLiteral("main-window.html#connections"));

        m_window->Action(QStringLiteral("miOnlineHelp"))->trigger();
        QCOMPARE(LastOpenedPage(), QStringLiteral("index.html"));
        m_window->Action(QStringLiteral("miHarbexTour"))->trigger();
        QCOMPARE(LastOpenedPage(), QStringLiteral("getting-started.html"));
        QCOMPARE(m_opened.size(), std::size_t(6));
    }

    // F1 in a dialog opens the dialog's own page, not the main window's.
    void F1InADialogOpensItsPage()
    {
        TSystemClock clock;
        TdlgSchedule dialog(clock, m_window.get());
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QTRY_COMPARE(QApplication::activeWindow(), &dialog);
        QTest::keyClick(dialog.focusWidget() ? dialog.focusWidget() : &dialog, Qt::Key_F1);
        QCOMPARE(m_opened.size(), std::size_t(1));
        QCOMPARE(LastOpenedPage(), QStringLiteral("run-and-schedule.html#schedule-task"));
        dialog.reject();
    }

    // "&Harbex News..." and "Tavrolin Home &Page..." are hidden while the "Home Page
    // Address" setting is empty; with an address they show when the Help menu opens
    // and open their pages under it.
    void NewsAndHomePageFollowTheHomePageAddress()
    {
        QAction* news = m_window->Action(QStringLiteral("miHarbexNews"));
        QAction* home = m_window->Action(QStringLiteral("miVendorHome"));
        auto* help = m_window->menuBar()->findChild<QMenu*>(QStringLiteral("mnuHelp"));
        QVERIFY(news && home && help);
        const auto openHelpMenu = [&]
        {
            QMenuBar* bar = m_window->menuBar();
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(help->menuAction()).center());
            if (!QTest::qWaitFor([&] { return help->isVisible(); }, 5000))
                return -2;
            const bool shown = news->isVisible() && home->isVisible();
            const bool hidden = !news->isVisible() && !home->isVisible();
            help->close();
            return shown ? 1 : hidden ? 0 : -1;
        };
        QCOMPARE(openHelpMenu(), 0);

        m_app->SetHomePageAddress("http://127.0.0.1:9/harbex");
        QCOMPARE(openHelpMenu(), 1);
        QVERIFY(news->isEnabled() && home->isEnabled());
        news->trigger();
        home->trigger();
        QCOMPARE(m_opened, (std::vector<std::string>{"http://127.0.0.1:9/harbex/news/", "http://127.0.0.1:9/harbex"}));

        m_app->SetHomePageAddress("");
        QCOMPARE(openHelpMenu(), 0);
    }

    // A page that is not there falls back to the contents page.
    void AMissingPageOpensTheContents()
    {
        m_window->ShowHelp("no-such-page.html#part");
        QCOMPARE(LastOpenedPage(), QStringLiteral("index.html"));
    }
};

} // namespace hx

int RunHelpTests(int argc, char** argv)
{
    hx::HXHelpTest tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "HXHelpTest.moc"
