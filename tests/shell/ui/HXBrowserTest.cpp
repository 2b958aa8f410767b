// The browser and home panes as a person uses them: the Browse view opens a page
// typed into its address box (served on 127.0.0.1) and says "Done.", keeps each
// address once in its list with the newest on top, goes back through its
// history, follows the Zips and Pages trees of an open archive; the Home view
// makes a new home pane each time it is shown. Without the embedded browser
// (HARBEX_NO_WEBENGINE=1) the Browse view explains and offers the desktop's
// browser, and Home hands the home page to the desktop.

#include "shell/ui/HXMain.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTableView>
#include <QTreeView>

#include <memory>
#include <optional>

#include "HXMainWindowFixture.h"
#include "archive/XcdZipD4.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXTask.h"
#include "monitor/ui/HXStatus.h"
#include "schedule/HXScheduler.h"
#include "schedule/ui/HXSchedulerWindow.h"
#include "shell/HXZipTree.h"
#include "shell/ui/HXBrowser.h"
#include "shell/ui/HXHome.h"
#include "shell/ui/HXViewLink.h"
#include "shell/ui/HXZipTreeModel.h"
#include "support/HXTestServer.h"

namespace hx
{

namespace
{

using test::THXTestServer;
using test::TRecordedRequest;
using test::TReply;

// A page whose script renames it: the title tells whether scripts ran.
constexpr const char* kScriptedPage =
    "<html><head><title>quiet</title></head><body><script>document.title = 'ran';</script></body></html>";

TReply PageReply(const TRecordedRequest& request)
{
    const auto html = [](const std::string& body) { return TReply::Text(200, body, {{"Content-Type", "text/html"}}); };
    if (request.Target == "/a.html")
        return html("<html><head><title>Page A</title></head><body><a href=\"b.html\">b</a></body></html>");
    if (request.Target == "/script.html")
        return html(kScriptedPage);
    if (request.Target == "/b.html")
        return html("<html><head><title>Page B</title></head><body>b</body></html>");
    return TReply::Text(404, "missing");
}

// Sets an environment variable for a while and puts the old value back.
class TEnvironmentSwitch
{
public:
    TEnvironmentSwitch(const char* name, const QByteArray& value)
        : m_name(name)
    {
        if (qEnvironmentVariableIsSet(name))
            m_old = qgetenv(name);
        qputenv(name, value);
    }
    ~TEnvironmentSwitch()
    {
        if (m_old)
            qputenv(m_name, *m_old);
        else
            qunsetenv(m_name);
    }
    TEnvironmentSwitch(const TEnvironmentSwitch&) = delete;
    TEnvironmentSwitch& operator=(const TEnvironmentSwitch&) = delete;

private:
    const char* m_name;
    std::optional<QByteArray> m_old;
};

// Paths compared as the browser shows folders (with or without the closing slash).
QString WithoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

class HXBrowserTest : public QObject, protected test::TMainWindowFixture
{
    Q_OBJECT

private:
    void ClickView(TView view) { QTest::mouseClick(m_window->ViewLink(view), Qt::LeftButton); }

    QString StatusLine() const { return m_window->StatusWindow().StatusText(); }

    // Types an address into the browser's box and presses Enter, as a person does,
    // then waits until the page is there and the status line says so.
    bool OpenInBrowser(const std::string& address)
    {
        TFormBrowser* browser = m_window->BrowserPane();
        QSignalSpy loaded(browser, &TFormBrowser::PageLoaded);
        browser->cmbBrowserURL->lineEdit()->selectAll();
        QTest::keyClicks(browser->cmbBrowserURL->lineEdit(), QString::fromStdString(address));
        QTest::keyClick(browser->cmbBrowserURL->lineEdit(), Qt::Key_Return);
        return QTest::qWaitFor(
            [&]
            {
                return !loaded.isEmpty() && browser->CurrentAddress() == address && !browser->Loading() &&
                       StatusLine() == QStringLiteral("Done.");
            },
            20000);
    }

    QStringList AddressList() const
    {
        QStringList items;
        QComboBox* box = m_window->BrowserPane()->cmbBrowserURL;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    }

private slots:
    void init()
    {
        StartHome();
        StartServer(PageReply);
    }

    void cleanup() { Stop(); }

    // Browse without an archive shows the Downloads folder; an address typed into
    // the box is fetched from the server and the status line ends with "Done.";
    // an address visited twice is listed once, the newest distinct one on top;
    // Back and Forward follow the history.
    void BrowserOpensPagesAndKeepsItsAddressList()
    {
        OpenWindow();
        if (!EmbeddedBrowserAvailable())
            QSKIP("built without Qt WebEngine");
        QVERIFY(!m_window->BrowserPane());
        ClickView(TView::Browse);
        QCOMPARE(m_window->CurrentView(), TView::Browse);
        TFormBrowser* browser = m_window->BrowserPane();
        QVERIFY(browser);
        QVERIFY(browser->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(WithoutTrailingSlash(QString::fromStdString(browser->CurrentAddress())),
                                  WithoutTrailingSlash(QString::fromStdString(m_app->GetDownloadsFolder())), 20000);

        const std::string pageA = m_server->URL("/a.html");
        const std::string pageB = m_server->URL("/b.html");
        QVERIFY(OpenInBrowser(pageA));
        QCOMPARE(m_server->Requests().back().Target, std::string("/a.html"));
        QVERIFY(browser->btnBrowserBack->isEnabled());
        QVERIFY(!browser->btnBrowserStop->isEnabled());
        QVERIFY(OpenInBrowser(pageB));
        QVERIFY(OpenInBrowser(pageA));
        const QStringList list = AddressList();
        QCOMPARE(list.count(QString::fromStdString(pageA)), 1);
        QCOMPARE(list.count(QString::fromStdString(pageB)), 1);
        QCOMPARE(list.front(), QString::fromStdString(pageB));

        QTest::mouseClick(browser->btnBrowserBack, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(browser->CurrentAddress(), pageB, 20000);
        QTRY_VERIFY(browser->btnBrowserForward->isEnabled());
        QTest::mouseClick(browser->btnBrowserForward, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(browser->CurrentAddress(), pageA, 20000);

        // Back on another view and again on Browse: the same pane, its list kept.
        ClickView(TView::Tasks);
        ClickView(TView::Browse);
        QCOMPARE(m_window->BrowserPane(), browser);
        QCOMPARE(AddressList().count(QString::fromStdString(pageA)), 1);
    }

    // With an archive open, the browser follows the Zips tree (a file node: the
    // unpacked file; the root: the unpacked folder) and the Pages tree (the page).
    void BrowserFollowsTheArchiveTrees()
    {
        OpenWindow();
        if (!EmbeddedBrowserAvailable())
            QSKIP("built without Qt WebEngine");
        const std::string base = m_home->path().toStdString() + "/src/";
        TXceedZip zip;
        zip.ZipFileName = m_home->path().toStdString() + "/site.zip";
        zip.BaseFolder = base;
        for (const auto& [path, text] :
             {std::pair<std::string, std::string>{"index.html", "<html><head><title>Start</title></head></html>"},
              {"sub/b.html", "<html><head><title>Page B</title></head></html>"}})
        {
            ForceDirectories(ExtractFilePath(base + path));
            WriteFileAtomic(base + path, text);
            zip.FilesToProcess.push_back(base + path);
        }
        zip.Add();
        TZipPane& pane = m_window->ZipPane();
        TZipArchive* archive = pane.OpenZip(zip.ZipFileName);
        QVERIFY(archive);
        QApplication::setActiveWindow(m_window.get());
        pane.tvZip->setFocus();
        ClickView(TView::Browse);
        TFormBrowser* browser = m_window->BrowserPane();
        QVERIFY(browser);
        const std::string temp = m_app->GetTempFolder();

        const TZipTreeNode* page = archive->FindFile("sub/b.html");
        QVERIFY(page);
        pane.Select(*page);
        QTRY_COMPARE_WITH_TIMEOUT(browser->CurrentAddress(), temp + "sub/b.html", 20000);
        QVERIFY(FileExists(temp + "sub/b.html"));
        pane.Select(archive->Root());
        QTRY_COMPARE_WITH_TIMEOUT(WithoutTrailingSlash(QString::fromStdString(browser->CurrentAddress())),
                                  WithoutTrailingSlash(QString::fromStdString(temp)), 20000);

        // The Pages tab: a click on a page opens it.
        m_window->tabsLeft->setCurrentWidget(pane.tvPages);
        QTRY_VERIFY(pane.PagesModel().rowCount() >= 2);
        int row = 0;
        while (row < pane.PagesModel().rowCount() &&
               pane.PagesModel().StoredName(pane.PagesModel().index(row)) != "index.html")
            ++row;
        QVERIFY(row < pane.PagesModel().rowCount());
        const QRect rect = pane.tvPages->visualRect(pane.PagesModel().index(row));
        QTest::mouseClick(pane.tvPages->viewport(), Qt::LeftButton, {}, rect.center());
        QTRY_COMPARE_WITH_TIMEOUT(browser->CurrentAddress(), temp + "index.html", 20000);
    }

    // The Personal Intranet tab shows the Browse view and the Personal Intranet
    // folder's tree; the browser follows a file chosen in it; Enter on a file hands
    // it to the desktop's program for it.
    void IntranetTabBrowsesTheIntranetFolder()
    {
        const std::string intranet = m_home->path().toStdString() + "/intranet/";
        ForceDirectories(intranet + "site/");
        QVERIFY(WriteFileAtomic(intranet + "site/index.html", "<html><head><title>Mine</title></head></html>"));
        m_app->SetIntranetFolder(intranet);
        OpenWindow();
        QTabBar* tabs = m_window->tabsLeft->tabBar();
        ClickView(TView::ZipProperties);
        const int intranetTab = tabs->count() - 1;
        QCOMPARE(tabs->tabText(intranetTab), QStringLiteral("Personal Intranet"));
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(intranetTab).center());
        QCOMPARE(m_window->CurrentView(), TView::Browse);
        auto* tree = m_window->findChild<QTreeView*>(QStringLiteral("tvIntranet"));
        QVERIFY(tree && tree->isVisible());

        // The folder, then its page, as a person opens them in the tree.
        const auto rowNamed = [&](const QModelIndex& parent, const QString& name)
        {
            for (int row = 0; row < tree->model()->rowCount(parent); ++row)
                if (tree->model()->index(row, 0, parent).data().toString() == name)
                    return tree->model()->index(row, 0, parent);
            return QModelIndex();
        };
        QTRY_VERIFY(rowNamed(tree->rootIndex(), QStringLiteral("site")).isValid());
        const QModelIndex site = rowNamed(tree->rootIndex(), QStringLiteral("site"));
        tree->expand(site);
        QTRY_VERIFY(rowNamed(site, QStringLiteral("index.html")).isValid());
        const QModelIndex page = rowNamed(site, QStringLiteral("index.html"));
        tree->setFocus();
        tree->setCurrentIndex(page);
        if (EmbeddedBrowserAvailable())
        {
            TFormBrowser* browser = m_window->BrowserPane();
            QVERIFY(browser);
            QTRY_COMPARE_WITH_TIMEOUT(browser->CurrentAddress(), intranet + "site/index.html", 20000);
        }
        m_opened.clear();
        QTest::keyClick(tree, Qt::Key_Return);
        QCOMPARE(m_opened, std::vector<std::string>{intranet + "site/index.html"});
    }

    // Pages from the web run their scripts; documents on disk, copies of other
    // people's sites that could read the user's files, do not.
    void ScriptsRunOnlyInPagesFromTheWeb()
    {
        OpenWindow();
        if (!EmbeddedBrowserAvailable())
            QSKIP("built without Qt WebEngine");
        ClickView(TView::Browse);
        TFormBrowser* browser = m_window->BrowserPane();
        QVERIFY(browser);
        QVERIFY(OpenInBrowser(m_server->URL("/script.html")));
        QTRY_COMPARE_WITH_TIMEOUT(browser->CurrentTitle(), std::string("ran"), 20000);
        const std::string local = m_home->path().toStdString() + "/copy/script.html";
        ForceDirectories(ExtractFilePath(local));
        QVERIFY(WriteFileAtomic(local, kScriptedPage));
        QVERIFY(OpenInBrowser(local));
        QTest::qWait(200);
        QCOMPARE(browser->CurrentTitle(), std::string("quiet"));
        // And back on the web, scripts run again.
        QVERIFY(OpenInBrowser(m_server->URL("/script.html")));
        QTRY_COMPARE_WITH_TIMEOUT(browser->CurrentTitle(), std::string("ran"), 20000);
    }

    // A copied task's "Integrated Browser" items of the Task menu show the Browse
    // view: On Internet at the task's address, Offline at its local start page.
    void IntegratedBrowserItemsShowTheTask()
    {
        OpenWindow();
        if (!EmbeddedBrowserAvailable())
            QSKIP("built without Qt WebEngine");
        m_app->SetIntranetFolder(m_home->path().toStdString() + "/copy/");
        m_window->cmbProfile->setCurrentText(QStringLiteral("Whole Site"));
        QTest::mouseClick(m_window->btnIntranetMode, Qt::LeftButton);
        const std::string address = m_server->URL("/a.html");
        m_window->cmbURL->setEditText(QString::fromStdString(address));
        QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->CurrentTask && m_app->CurrentTask->Status == kStatusTaskComplete, 20000);
        m_window->SchedulerWindow().lvTasks->selectRow(0);

        QAction* online = m_window->Action(QStringLiteral("miTaskBrowseOnlineIntegrated"));
        QVERIFY(online && online->isEnabled());
        online->trigger();
        QCOMPARE(m_window->CurrentView(), TView::Browse);
        TFormBrowser* browser = m_window->BrowserPane();
        QVERIFY(browser);
        QTRY_COMPARE_WITH_TIMEOUT(browser->CurrentAddress(), address, 20000);

        const std::string local = LocalStartPage(*m_app->CurrentTask);
        QVERIFY(FileExists(local));
        m_window->Action(QStringLiteral("miTaskBrowseOfflineIntegrated"))->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(browser->CurrentAddress(), local, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(StatusLine(), QStringLiteral("Done."), 20000);
    }

    // Home at start; Home -> Tasks -> Home releases the home pane and makes a new
    // one, which loads the home page again.
    void HomeIsMadeAnewAtEachVisit()
    {
        OpenWindow();
        if (!EmbeddedBrowserAvailable())
            QSKIP("built without Qt WebEngine");
        QCOMPARE(m_window->CurrentView(), TView::Home);
        QPointer<TFormBrowseHome> first = m_window->HomePane();
        QVERIFY(first);
        const std::string home = m_window->HomePageAddress();
        QVERIFY(FileExists(home));
        QTRY_COMPARE_WITH_TIMEOUT(first->CurrentAddress(), home, 20000);

        ClickView(TView::Tasks);
        QVERIFY(!m_window->HomePane());
        QTRY_VERIFY(first.isNull());
        ClickView(TView::Home);
        TFormBrowseHome* second = m_window->HomePane();
        QVERIFY(second);
        QVERIFY(second->isVisible());
        QSignalSpy loaded(second, &TFormBrowseHome::PageLoaded);
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 20000);
        QCOMPARE(loaded.front().front().toBool(), true);
        QCOMPARE(second->CurrentAddress(), home);
        QVERIFY(m_opened.empty());
    }

    // Without the embedded browser: the start shows Tasks; the Browse page tells why
    // and its button hands the page to the desktop's browser; Home hands over the
    // home page; the Integrated Browser items say where they go.
    void WithoutEmbeddedBrowserPagesGoToTheDesktop()
    {
        const TEnvironmentSwitch noEngine("HARBEX_NO_WEBENGINE", "1");
        QVERIFY(!EmbeddedBrowserAvailable());
        OpenWindow();
        QCOMPARE(m_window->CurrentView(), TView::Tasks);
        QVERIFY(m_opened.empty());

        ClickView(TView::Browse);
        QVERIFY(!m_window->BrowserPane());
        TBrowserMissingPage* missing = m_window->BrowserMissingPage();
        QVERIFY(missing);
        QVERIFY(missing->isVisible());
        QVERIFY(missing->lblNoBrowser->text().contains(QStringLiteral("Qt WebEngine")));
        QCOMPARE(missing->btnOpenInDefaultBrowser->text(), QStringLiteral("Open in Default Browser"));
        QTest::mouseClick(missing->btnOpenInDefaultBrowser, Qt::LeftButton);
        QCOMPARE(m_opened, std::vector<std::string>{m_app->GetDownloadsFolder()});

        ClickView(TView::Home);
        QVERIFY(!m_window->HomePane());
        QCOMPARE(m_opened.size(), std::size_t(2));
        QCOMPARE(m_opened.back(), m_window->HomePageAddress());

        QAction* integrated = m_window->Action(QStringLiteral("miTaskBrowseOnlineIntegrated"));
        QVERIFY(integrated);
        QVERIFY(integrated->text().contains(QStringLiteral("default browser")));
    }
};

} // namespace hx

int RunBrowserTests(int argc, char** argv)
{
    hx::HXBrowserTest tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "HXBrowserTest.moc"
