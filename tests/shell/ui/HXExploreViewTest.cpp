// The explore view as a person uses it: it follows a live crawl row by row, and
// after marking rows with the context menu and the mark pictures a Resume fetches
// only the marked items. The site is served on 127.0.0.1.

#include "shell/ui/HXExplore.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <set>
#include <string>

#include "HXMainWindowFixture.h"
#include "core/HXApp.h"
#include "core/HXTask.h"
#include "schedule/ui/HXSchedulerWindow.h"
#include "shell/ui/HXMain.h"
#include "shell/ui/HXViewLink.h"
#include "support/HXTestServer.h"

namespace hx
{

namespace
{

using test::THXTestServer;
using test::TRecordedRequest;
using test::TReply;

// A start page linking five pages and a picture; each page comes a little late so
// the crawl can be watched.
TReply SiteReply(const TRecordedRequest& request)
{
    const std::string& target = request.Target;
    if (target == "/")
    {
        std::string body = "<html><head><title>Start</title></head><body><img src=\"pic.gif\">";
        for (int i = 0; i < 5; ++i)
            body += "<a href=\"p" + std::to_string(i) + ".html\">p</a>";
        return TReply::Text(200, body + "</body></html>", {{"Content-Type", "text/html"}});
    }
    if (target == "/pic.gif")
        return TReply::Text(200, "GIF89a", {{"Content-Type", "image/gif"}});
    if (target.starts_with("/p") && target.ends_with(".html"))
    {
        const std::string body =
            "<html><head><title>Page " + target.substr(2, 1) + "</title></head><body>x</body></html>";
        TReply late;
        late.Pause(std::chrono::milliseconds(request.Method == "GET" ? 120 : 0));
        late.Send(
            test::ResponseHead(200, {{"Content-Type", "text/html"}, {"Content-Length", std::to_string(body.size())}}) +
            (request.Method == "GET" ? body : std::string()));
        return late;
    }
    return TReply::Text(404, "missing");
}

} // namespace

class HXExploreViewTest : public QObject, protected test::TMainWindowFixture
{
    Q_OBJECT

private:
    TFormExplore& View() { return m_window->ExploreWindow(); }
    QAbstractItemModel* Model() { return View().lvExplore->model(); }

    // The row showing an address, or -1.
    int RowOf(const std::string& path)
    {
        const QString url = QString::fromStdString(m_server->URL(path));
        for (int row = 0; row < Model()->rowCount(); ++row)
            if (Model()->index(row, TExploreModel::colURL).data().toString() == url)
                return row;
        return -1;
    }

    QString Cell(int row, int column) { return Model()->index(row, column).data().toString(); }

    // Selects the rows as a person does: a click, then Ctrl+clicks.
    void ClickRows(const std::vector<int>& rows)
    {
        QTableView* list = View().lvExplore;
        bool first = true;
        for (int row : rows)
        {
            const QModelIndex index = Model()->index(row, TExploreModel::colURL);
            list->scrollTo(index);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, first ? Qt::NoModifier : Qt::ControlModifier,
                              list->visualRect(index).center());
            first = false;
        }
    }

    // A context menu command, opened with a right click on the list.
    void MenuCommand(const char* name)
    {
        QTableView* list = View().lvExplore;
        emit list->customContextMenuRequested(list->viewport()->rect().center());
        QAction* action = View().Action(QString::fromLatin1(name));
        QVERIFY2(action && action->isEnabled(), name);
        action->trigger();
        View().pmExplore->hide();
    }

private slots:
    void init()
    {
        StartHome();
        StartServer(SiteReply);
        CreateWindow(FastOptions());
        m_window->resize(1000, 700);
        ShowWindow();
    }

    void cleanup() { Stop(); }

    // The Explore link shows the view; a crawl started from the address box fills it
    // while it runs, and each row ends with the saved state, title and size.
    void ViewFollowsALiveCrawl()
    {
        TViewLink* link = m_window->ViewLink(TView::Explore);
        QVERIFY(link->isEnabled());
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(m_window->CurrentView(), TView::Explore);
        QVERIFY(View().isVisible());

        m_window->cmbProfile->setCurrentText(QStringLiteral("Whole Site"));
        m_window->btnIntranetMode->click();
        m_window->cmbURL->setEditText(QString::fromStdString(m_server->URL("/")));
        QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->Runner().RunningTask() != nullptr, 5000);
        const std::shared_ptr<THXTask> task = m_window->Runner().RunningTask();
        QCOMPARE(View().Task(), task.get());

        // Mid-crawl: the rows are there before the pages are.
        QTRY_COMPARE_WITH_TIMEOUT(Model()->rowCount(), 7, 5000);
        QVERIFY(m_window->Runner().RunningTask() != nullptr);
        bool someWaiting = false;
        for (int row = 0; row < 7; ++row)
            someWaiting = someWaiting || Cell(row, TExploreModel::colStatus) != QStringLiteral("Parsed");
        QVERIFY(someWaiting);

        QTRY_VERIFY_WITH_TIMEOUT(m_window->Runner().RunningTask() == nullptr, 20000);
        QTRY_COMPARE(Cell(RowOf("/p3.html"), TExploreModel::colStatus), QStringLiteral("Parsed"));
        const int page = RowOf("/p3.html");
        QCOMPARE(Cell(page, TExploreModel::colTitle), QStringLiteral("Page 3"));
        QCOMPARE(Cell(page, TExploreModel::colType), QStringLiteral("HTML"));
        QCOMPARE(Cell(page, TExploreModel::colLevel), QStringLiteral("1"));
        QCOMPARE(Cell(page, TExploreModel::colReferrer), QString::fromStdString(m_server->URL("/")));
        const int picture = RowOf("/pic.gif");
        QVERIFY(picture >= 0);
        QCOMPARE(Cell(picture, TExploreModel::colSize), QStringLiteral("6"));
        QCOMPARE(Cell(picture, TExploreModel::colStatus), QStringLiteral("Saved"));
        QCOMPARE(Model()->index(picture, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(0x00, 0x00, 0x80));
        // A saved row shows the program's own tick, drawn twice as fine for a 200% screen.
        const QIcon tick = Model()->index(picture, TExploreModel::colMark).data(Qt::DecorationRole).value<QIcon>();
        for (const auto& [ratio, file] : {std::pair{1.0, "mark-tick.png"}, std::pair{2.0, "mark-tick@2x.png"}})
        {
            const QImage expected = QImage(QStringLiteral(":/harbex/pictures/") + QLatin1String(file))
                                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QVERIFY2(!expected.isNull(), file);
            QCOMPARE(tick.pixmap(QSize(16, 16), ratio).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                     expected);
        }
        QCOMPARE(Model()->rowCount(), task->ItemCount());
    }

    // After a crawl: "Mark for download" › "All", then two rows unmarked by clicking
    // their mark pictures and one with "Unmark" › "Selected"; a Resume then
    // asks only for the rest.
    void MarkThenResumeFetchesOnlyTheMarkedItems()
    {
        m_window->btnIntranetMode->click();
        m_window->cmbProfile->setCurrentText(QStringLiteral("Whole Site"));
        m_window->cmbURL->setEditText(QString::fromStdString(m_server->URL("/")));
        QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->Runner().RunningTask() != nullptr, 5000);
        const std::shared_ptr<THXTask> task = m_window->Runner().RunningTask();
        QTRY_VERIFY_WITH_TIMEOUT(m_window->Runner().RunningTask() == nullptr, 20000);
        m_window->ShowView(TView::Explore);
        QTRY_COMPARE(Model()->rowCount(), 7);

        // Nothing selected: the menu's items wait for a row.
        emit View().lvExplore->customContextMenuRequested(QPoint(1, 1));
        QVERIFY(!View().Action("pmiDownloadAll")->isEnabled());
        View().pmExplore->hide();

        ClickRows({0});
        MenuCommand("pmiDownloadAll");
        QTRY_COMPARE(Cell(RowOf("/p1.html"), TExploreModel::colStatus), QStringLiteral("None"));
        QCOMPARE(task->PagesSaved, 0);

        // A click on the mark picture of p1 and p2 turns them to skip.
        QTableView* list = View().lvExplore;
        for (const char* path : {"/p1.html", "/p2.html"})
        {
            const QModelIndex mark = Model()->index(RowOf(path), TExploreModel::colMark);
            list->scrollTo(mark);
            const QRect cell = list->visualRect(mark);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                              QPoint(cell.left() + 9, cell.center().y()));
            QCOMPARE(task->FindItem(m_server->URL(path))->Mode, kModeSkip);
        }
        // A click beside the picture does nothing.
        const QModelIndex other = Model()->index(RowOf("/p3.html"), TExploreModel::colMark);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(list->visualRect(other).right() - 2, list->visualRect(other).center().y()));
        QCOMPARE(task->FindItem(m_server->URL("/p3.html"))->Mode, kModeDownload);
        // The picture row is unmarked through the menu.
        ClickRows({RowOf("/pic.gif")});
        MenuCommand("pmiUnmarkSelected");
        QCOMPARE(task->FindItem(m_server->URL("/pic.gif"))->Mode, kModeSkip);

        // Resume, as the run dialog offers it for a task with a queue.
        const std::size_t before = m_server->RequestCount();
        task->RunMode = kRunResume;
        QVERIFY(m_window->Runner().Start(task));
        QTRY_VERIFY_WITH_TIMEOUT(m_window->Runner().RunningTask() == nullptr, 20000);
        std::set<std::string> asked;
        const auto requests = m_server->Requests();
        for (std::size_t n = before; n < requests.size(); ++n)
            if (requests[n].Method == "GET" && requests[n].Target != "/robots.txt")
                asked.insert(requests[n].Target);
        QCOMPARE(asked, (std::set<std::string>{"/", "/p0.html", "/p3.html", "/p4.html"}));
        QTRY_COMPARE(Cell(RowOf("/p1.html"), TExploreModel::colStatus), QStringLiteral("None"));
        QTRY_COMPARE(Cell(RowOf("/p4.html"), TExploreModel::colStatus), QStringLiteral("Parsed"));
    }
};

} // namespace hx

int RunExploreViewTests(int argc, char** argv)
{
    hx::HXExploreViewTest tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "HXExploreViewTest.moc"
