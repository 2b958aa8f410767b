// Main-window commands as a person gives them: new tasks into the selected archive,
// Zip > New > "Web Zip..." and Ctrl+N, Ctrl+R in the Zips tree and in the Tasks
// view, the scheme's colours on the Tasks view and the main area, the Tasks view's
// state-icon hints and "New Category...", an Intranet task's local start page
// (copied, and shown in the Personal Intranet tree) and Zip > Browse > "Notepad",
// against the real engine and a test server on 127.0.0.1.

#include "shell/ui/HXMain.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFileSystemModel>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QTreeWidget>

#include <memory>
#include <set>
#include <utility>

#include "HXMainWindowFixture.h"
#include "archive/XcdZipD4.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXTask.h"
#include "core/ui/HXSkinLook.h"
#include "schedule/HXScheduler.h"
#include "schedule/ui/HXSchedulerWindow.h"
#include "shell/ui/HXZipTreeModel.h"
#include "support/HXTestServer.h"
#include "support/ui/HXBoxAnswer.h"
#include "support/ui/HXWhenShown.h"

namespace hx
{

namespace
{

using test::TDialogEnter;
using test::TRecordedRequest;
using test::TReply;
using test::TWhenShown;

TReply SiteReply(const TRecordedRequest& request)
{
    const auto html = [](const std::string& body) { return TReply::Text(200, body, {{"Content-Type", "text/html"}}); };
    if (request.Target == "/" || request.Target == "/index.html")
        return html("<html><head><title>Start</title></head><body><a href=\"a.html\">a</a></body></html>");
    if (request.Target == "/a.html")
        return html("<html><head><title>Page A</title></head><body>a</body></html>");
    return TReply::Text(404, "missing");
}

std::set<std::string> EntryNames(const std::string& archive)
{
    TXceedZip zip;
    zip.ZipFileName = archive;
    std::set<std::string> names;
    zip.OnListing = [&names](const TXcdFileStats& stats) { names.insert(stats.FileName); };
    zip.List("");
    return names;
}

// Answers each "Create New Task" editor with Cancel.
class TCancelNewTask
{
public:
    TCancelNewTask()
        : m_when([](const QDialog& dialog) { return dialog.windowTitle() == QStringLiteral("Create New Task"); },
                 [](QDialog& dialog) { dialog.reject(); })
    {
    }
    int Seen() const { return m_when.Seen(); }

private:
    TWhenShown<QDialog> m_when;
};

// Sets an environment variable for a scope and puts back what it was.
class TEnvironmentValue
{
public:
    TEnvironmentValue(const char* name, const std::string& value)
        : m_name(name)
        , m_old(qgetenv(name))
        , m_wasSet(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, QByteArray::fromStdString(value));
    }
    ~TEnvironmentValue()
    {
        if (m_wasSet)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    TEnvironmentValue(const TEnvironmentValue&) = delete;
    TEnvironmentValue& operator=(const TEnvironmentValue&) = delete;

private:
    const char* m_name;
    QByteArray m_old;
    bool m_wasSet;
};

} // namespace

class HXMainCommandsTest : public QObject, protected test::TMainWindowFixture
{
    Q_OBJECT

private:
    TZipPane& Pane() { return m_window->ZipPane(); }
    TFormScheduler& Tasks() { return m_window->SchedulerWindow(); }

    // An archive in the home folder holding the files, stored by these names.
    std::string MakeArchive(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files)
    {
        const std::string base = Home() + "src-" + name + "/";
        TXceedZip zip;
        zip.ZipFileName = Home() + name;
        zip.BaseFolder = base;
        for (const auto& [path, text] : files)
        {
            ForceDirectories(ExtractFilePath(base + path));
            WriteFileAtomic(base + path, text);
            zip.FilesToProcess.push_back(base + path);
        }
        zip.Add();
        return zip.ZipFileName;
    }

    // Opens the archive in the Zips tree and selects a node of it, the tree focused.
    TZipArchive& OpenAndSelect(const std::string& path, const std::string& file = {})
    {
        TZipArchive* archive = Pane().OpenZip(path);
        QApplication::setActiveWindow(m_window.get());
        Pane().tvZip->setFocus();
        Pane().Select(file.empty() ? archive->Root() : *archive->FindFile(file));
        return *archive;
    }

    // Types the address with the "Whole Site" profile and presses Go; the task that starts.
    std::shared_ptr<THXTask> CopySite()
    {
        // A run that is ending is not taken for the new one.
        if (!QTest::qWaitFor([this] { return m_window->Runner().RunningTask() == nullptr; }, 10000))
            return nullptr;
        m_window->cmbProfile->setCurrentText(QStringLiteral("Whole Site"));
        m_window->cmbURL->setEditText(QString::fromStdString("http://" + m_server->HostPort() + "/index.html"));
        QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
        const bool started = QTest::qWaitFor([this] { return m_window->Runner().RunningTask() != nullptr; }, 5000);
        return started ? m_window->Runner().RunningTask() : nullptr;
    }

    // Selects the task's row in the Tasks view.
    void SelectTask(const THXTask& task)
    {
        m_window->ShowView(TView::Tasks);
        QTableView* list = Tasks().lvTasks;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            if (Tasks().Model().TaskAt(row).get() == &task)
                list->selectRow(row);
        QVERIFY(!Tasks().SelectedTasks().empty());
    }

    // The in-place editor open in a tree; null when none is.
    static QLineEdit* OpenEditor(QAbstractItemView* view)
    {
        for (QLineEdit* edit : view->viewport()->findChildren<QLineEdit*>())
            if (edit->isVisible())
                return edit;
        return nullptr;
    }

    // The hint the Tasks view shows at a point of its list.
    QString HintAt(const QPoint& at)
    {
        QWidget* viewport = Tasks().lvTasks->viewport();
        QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &help);
        return QToolTip::text();
    }

private slots:
    void init()
    {
        StartHome();
        StartServer(SiteReply);
    }

    void cleanup() { Stop(); }

    // With an archive selected, the tray's "Add To Current Zip" presses the toggle,
    // and the next copy is stored into that archive beside what it held.
    void AddToCurrentZipStoresTheNewTaskThere()
    {
        OpenWindow();
        const std::string path = MakeArchive("mine.zip", {{"keep.txt", "kept"}});
        OpenAndSelect(path);
        emit m_window->pmTray->aboutToShow();
        QAction* addToZip = m_window->Action("pmiAddToCurrentZip");
        QVERIFY(addToZip->isEnabled());
        addToZip->trigger();
        QVERIFY(m_window->btnAddToSelectedZip->isChecked());

        const std::shared_ptr<THXTask> task = CopySite();
        QVERIFY(task);
        QCOMPARE(task->Destination, path);
        QVERIFY(!task->Profile.UseStartPageTitle);
        QTRY_VERIFY_WITH_TIMEOUT(task->Status == kStatusZipped, 20000);
        const std::set<std::string> names = EntryNames(path);
        QCOMPARE(names.count("keep.txt"), std::size_t(1));
        QCOMPARE(names.size(), std::size_t(3));
        QVERIFY(FileExists(path));

        // Released, the next copy gets an archive of its own.
        m_window->btnAddToSelectedZip->click();
        const std::shared_ptr<THXTask> second = CopySite();
        QVERIFY(second);
        QVERIFY(second->Destination != path);
        QTRY_VERIFY_WITH_TIMEOUT(second->Status == kStatusZipped, 20000);

        // File > New > "Special": the day's archive, selected, with the toggle down.
        QAction* special = m_window->Action("miSpecialToday");
        emit qobject_cast<QMenu*>(special->parent())->aboutToShow();
        special->trigger();
        QVERIFY(m_window->btnAddToSelectedZip->isChecked());
        const std::string day = Pane().SelectedArchive()->Path();
        QVERIFY(day.starts_with(m_app->GetDownloadsFolder()));
        const std::shared_ptr<THXTask> third = CopySite();
        QVERIFY(third);
        QCOMPARE(third->Destination, day);
        QTRY_VERIFY_WITH_TIMEOUT(third->Status == kStatusZipped, 20000);
        QCOMPARE(EntryNames(day).size(), std::size_t(2));
    }

    // Zip > New > "Web Zip..." and Ctrl+N open the task editor for a new task,
    // wherever the focus is.
    void WebZipAndCtrlNCreateATask()
    {
        OpenWindow();
        TCancelNewTask editor;
        QMenu* zip = m_window->findChild<QMenu*>(QStringLiteral("mnuZip"));
        emit zip->aboutToShow();
        QAction* webZip = m_window->Action("miZipNewWebZip");
        QVERIFY(webZip->isEnabled());
        QCOMPARE(webZip->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
        webZip->trigger();
        QCOMPARE(editor.Seen(), 1);
        // The window is active again after the dialog, as on a desktop.
        QApplication::setActiveWindow(m_window.get());
        m_window->ShowView(TView::Tasks);
        Tasks().lvTasks->setFocus();
        QTest::keyClick(Tasks().lvTasks, Qt::Key_N, Qt::ControlModifier);
        QTRY_COMPARE(editor.Seen(), 2);
        const std::string path = MakeArchive("n.zip", {{"a.txt", "a"}});
        OpenAndSelect(path);
        QTest::keyClick(Pane().tvZip, Qt::Key_N, Qt::ControlModifier);
        QTRY_COMPARE(editor.Seen(), 3);
    }

    // Ctrl+R in the Tasks view runs the selected task (its queue asks how); in the
    // Zips tree it renames the selected archive, and runs nothing.
    void CtrlRRunsInTasksAndRenamesInTheZipsTree()
    {
        OpenWindow();
        const std::shared_ptr<THXTask> task = CopySite();
        QVERIFY(task);
        QTRY_VERIFY_WITH_TIMEOUT(task->Status == kStatusZipped, 20000);
        SelectTask(*task);
        TDialogEnter runDialog(QStringLiteral("Harbex - Run Task"));
        Tasks().lvTasks->setFocus();
        QTest::keyClick(Tasks().lvTasks, Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(runDialog.Seen(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(task->Status == kStatusZipped, 20000);

        const std::string path = MakeArchive("old.zip", {{"a.txt", "a"}});
        TZipArchive& archive = OpenAndSelect(path);
        QTest::keyClick(Pane().tvZip, Qt::Key_R, Qt::ControlModifier);
        QLineEdit* edit = nullptr;
        QTRY_VERIFY((edit = OpenEditor(Pane().tvZip)));
        QCOMPARE(edit->text(), QStringLiteral("old.zip"));
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("new.zip"));
        QTest::keyClick(edit, Qt::Key_Return);
        QTRY_COMPARE(archive.Path(), Home() + "new.zip");
        QVERIFY(FileExists(Home() + "new.zip") && !FileExists(path));
        QCOMPARE(runDialog.Seen(), 1);
    }

    // The Tasks view (with its right-hand panel) takes the scheme's second colour
    // and the main area its fourth; another scheme repaints them.
    void SchemeColoursReachTasksViewAndMainArea()
    {
        const auto colours = [this]
        {
            auto* area = m_window->findChild<QWidget*>(QStringLiteral("pnlMainArea"));
            auto* right = Tasks().findChild<QWidget*>(QStringLiteral("pnlTasksRight"));
            return std::vector<QColor>{area->palette().color(QPalette::Window),
                                       Tasks().palette().color(QPalette::Window),
                                       right->palette().color(QPalette::Window)};
        };
        OpenWindow();
        const std::vector<QColor> deep = colours();
        QCOMPARE(deep, (std::vector<QColor>{SchemeColor(*m_app, 3), SchemeColor(*m_app, 1), SchemeColor(*m_app, 1)}));
        QVERIFY(Tasks().autoFillBackground());
        // A display of 256 colours has the other scheme.
        m_window.reset();
        m_session.reset();
        m_app = std::make_unique<THXApp>(THXEnvironment::UnderHome(m_home->path().toStdString()), 8);
        OpenWindow();
        const std::vector<QColor> few = colours();
        QCOMPARE(few, (std::vector<QColor>{SchemeColor(*m_app, 3), SchemeColor(*m_app, 1), SchemeColor(*m_app, 1)}));
        QVERIFY(few[0] != deep[0] && few[1] != deep[1]);
    }

    // Over a task's state icon the hint says what a click does ("Run", "Scheduled");
    // over its name, the task's hint. "New Category..." opens the new folder's name
    // for editing, and the edit names the folder.
    void StateIconHintsAndNewCategory()
    {
        OpenWindow();
        THXTask file(*m_app);
        file.FileName = m_app->TasksFolder() + "General/Idle.hxt";
        file.Name = "Idle";
        file.URL = "http://" + m_server->HostPort() + "/index.html";
        file.Destination = m_app->GetDownloadsFolder() + "Idle.zip";
        file.Profile.Name = "Custom";
        file.Save();
        m_window->ShowView(TView::Tasks);
        Tasks().ShowCategory("General");
        QCOMPARE(Tasks().lvTasks->model()->rowCount(), 1);
        const QRect row = Tasks().lvTasks->visualRect(Tasks().lvTasks->model()->index(0, 0));
        const QPoint icon(row.left() + 8, row.center().y());
        const QPoint label(row.left() + 60, row.center().y());
        QCOMPARE(HintAt(icon), QStringLiteral("Run"));
        QVERIFY(HintAt(label).startsWith(QStringLiteral("Task Name: Idle")));
        const std::shared_ptr<THXTask> task = Tasks().Model().TaskAt(0);
        task->Status = kStatusScheduled;
        Tasks().TaskChanged(*task);
        QCOMPARE(HintAt(icon), QStringLiteral("Scheduled"));
        task->Status = kStatusUnscheduled;

        QTest::mouseClick(Tasks().btnNewCategory, Qt::LeftButton);
        QLineEdit* edit = nullptr;
        QTRY_VERIFY((edit = OpenEditor(Tasks().tvTasks)));
        QCOMPARE(edit->text(), QStringLiteral("New Folder"));
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("Mine"));
        QTest::keyClick(edit, Qt::Key_Return);
        // The new folder is made under the category shown ("General").
        QTRY_VERIFY(DirectoryExists(m_app->TasksFolder() + "General/Mine"));
        QVERIFY(!DirectoryExists(m_app->TasksFolder() + "General/New Folder"));
    }

    // An Intranet task: Copy > "Start Page URL (local)" copies the start page's path;
    // "Integrated Browser" offline shows the Personal Intranet tab on that file.
    void IntranetStartPageCopiedAndShownInTheTree()
    {
        OpenWindow();
        QTest::mouseClick(m_window->btnIntranetMode, Qt::LeftButton);
        const std::shared_ptr<THXTask> task = CopySite();
        QVERIFY(task);
        QVERIFY(task->IntranetMode);
        QTRY_VERIFY_WITH_TIMEOUT(task->Status == kStatusTaskComplete, 20000);
        SelectTask(*task);
        const std::string start = LocalStartPage(*task);
        QVERIFY(start.starts_with(m_app->GetIntranetFolder()) && FileExists(start));

        QApplication::clipboard()->clear();
        QAction* copyLocal = m_window->Action("miTaskCopyLocalURL");
        QVERIFY(copyLocal->isEnabled());
        copyLocal->trigger();
        QCOMPARE(QApplication::clipboard()->text().toStdString(), start);

        m_window->Action("miTaskBrowseOfflineIntegrated")->trigger();
        QCOMPARE(m_window->CurrentView(), TView::Browse);
        QVERIFY(m_window->tabsLeft->isVisible());
        QCOMPARE(m_window->tabsLeft->currentIndex(), 2);
        const auto* model = qobject_cast<QFileSystemModel*>(m_window->tvIntranet->model());
        QCOMPARE(model->filePath(m_window->tvIntranet->currentIndex()).toStdString(), start);
    }

    // Zip > Browse > "Notepad" opens the page in the desktop's default application
    // for plain text, not in the program for web pages.
    void NotepadOpensTheDesktopTextEditor()
    {
        // The desktop's records: the user's list names a missing entry, then the editor.
        const std::string config = Home() + "config/";
        ForceDirectories(config);
        const TEnvironmentValue configHome("XDG_CONFIG_HOME", config);
        WriteFileAtomic(config + "mimeapps.list", "[Default Applications]\ntext/html=hx-browser.desktop\n"
                                                  "text/plain=hx-missing.desktop;hx-editor.desktop;\n");
        ForceDirectories(Home() + "applications/");
        WriteFileAtomic(Home() + "applications/hx-editor.desktop",
                        "[Desktop Entry]\nType=Application\nName=Editor\nExec=hx-editor --new-window %F\n");
        std::vector<std::pair<std::string, std::string>> started;
        TMainOptions options = FastOptions();
        options.Launch = [&started](const TLaunchRequest& request)
        {
            started.emplace_back(request.Program, request.Target);
            return true;
        };
        OpenWindow(std::move(options));
        const std::string path = MakeArchive("pages.zip", {{"site/page.htm", "<html>page</html>"}});
        OpenAndSelect(path, "site/page.htm");
        emit m_window->findChild<QMenu*>(QStringLiteral("mnuZip"))->aboutToShow();
        QAction* notepad = m_window->Action("miZipBrowseNotepad");
        QVERIFY(notepad->isEnabled());
        notepad->trigger();
        const std::string page = m_app->GetTempFolder() + "site/page.htm";
        QCOMPARE(started, (std::vector<std::pair<std::string, std::string>>{{"hx-editor", "--new-window " + page}}));
        QVERIFY(m_opened.empty());
        QCOMPARE(ReadWholeFile(page).value_or(""), std::string("<html>page</html>"));
    }
};

} // namespace hx

int RunMainCommandsTests(int argc, char** argv)
{
    hx::HXMainCommandsTest tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "HXMainCommandsTest.moc"
