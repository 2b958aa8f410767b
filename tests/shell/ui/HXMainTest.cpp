// The main window as a person uses it: the address box, Go, Paste URL, the split,
// activation and closing, against the real engine and a test server on 127.0.0.1.

#include "shell/ui/HXMain.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QMessageBox>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <filesystem>
#include <memory>

#include "HXMainWindowFixture.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXTask.h"
#include "monitor/ui/HXStatus.h"
#include "schedule/ui/HXSchedulerWindow.h"
#include "support/HXTestServer.h"
#include "support/ui/HXBoxAnswer.h"

namespace hx
{

namespace
{

using test::TBoxAnswer;
using test::TDialogEnter;
using test::THXTestServer;
using test::TRecordedRequest;
using test::TReply;

// A small site: a start page, two pages, a picture; /slow.html never ends.
TReply SiteReply(const TRecordedRequest& request)
{
    const std::string& target = request.Target;
    if (target == "/" || target == "/index.html")
        return TReply::Text(200,
                            "<html><head><title>Start</title></head><body><a href=\"a.html\">a</a> "
                            "<a href=\"b.html\">b</a><img src=\"pic.gif\"></body></html>",
                            {{"Content-Type", "text/html"}});
    if (target == "/a.html" || target == "/b.html")
        return TReply::Text(200, "<html><body>page</body></html>", {{"Content-Type", "text/html"}});
    if (target == "/pic.gif")
        return TReply::Text(200, "GIF89a", {{"Content-Type", "image/gif"}});
    if (target == "/slow.html" || target == "/slow/index.html")
        return TReply().Send(test::ResponseHead(200, {{"Content-Type", "text/html"}}) + "<html>").Stall();
    return TReply::Text(404, "missing");
}

} // namespace

class HXMainTest : public QObject, protected test::TMainWindowFixture
{
    Q_OBJECT

private:
    // These tests see the activation the platform gives a shown window.
    void OpenWindow() { TMainWindowFixture::OpenWindow(FastOptions(), test::TWindowActivation::AsShown); }

    std::vector<std::string> TaskFiles() const { return ListFiles(m_app->TasksFolder() + "General/", "*.hxt"); }

    std::string ActiveList() const { return ReadWholeFile(m_app->ActiveTasksFile()).value_or(""); }

private slots:
    void init()
    {
        StartHome();
        StartServer(SiteReply);
        OpenWindow();
    }

    void cleanup() { Stop(); }

    // Enter in an empty address box creates nothing and asks nothing.
    void EnterInAnEmptyAddressBoxDoesNothing()
    {
        TBoxAnswer answer(QMessageBox::Ok);
        m_window->cmbURL->setEditText(QString());
        QTest::keyClick(m_window->cmbURL->lineEdit(), Qt::Key_Return);
        QTest::qWait(200);
        QCOMPARE(answer.Seen(), 0);
        QVERIFY(TaskFiles().empty());
    }

    // Go with a named profile: the task is saved, listed as active, started by the
    // tick, runs to its end, and the gauges reach their maxima.
    void GoWithANamedProfileCreatesAndRunsATask()
    {
        const std::string folder = m_home->path().toStdString() + "/copy/";
        m_app->SetIntranetFolder(folder);
        const QString address = QString::fromStdString("http://" + m_server->HostPort() + "/index.html");
        m_window->cmbProfile->setCurrentText(QStringLiteral("Whole Site"));
        QTest::mouseClick(m_window->btnIntranetMode, Qt::LeftButton);
        QTest::keyClicks(m_window->cmbURL->lineEdit(), address);
        QTest::keyClick(m_window->cmbURL->lineEdit(), Qt::Key_Return);

        const std::vector<std::string> files = TaskFiles();
        QCOMPARE(files.size(), std::size_t(1));
        const std::string taskFile = m_app->TasksFolder() + "General/" + files.front();
        QVERIFY(ActiveList().find(taskFile) != std::string::npos);
        const std::string text = ReadWholeFile(taskFile).value_or("");
        QVERIFY(text.find(address.toStdString()) != std::string::npos);
        QVERIFY(text.find("Whole Site") != std::string::npos);
        QCOMPARE(m_window->CurrentView(), TView::Tasks);
        QCOMPARE(QString::fromStdString(m_window->RecentURLs().front()), address);

        QTRY_VERIFY_WITH_TIMEOUT(m_app->CurrentTask && m_app->CurrentTask->Status == kStatusTaskComplete, 20000);
        const THXTask& task = *m_app->CurrentTask;
        QCOMPARE(task.PagesSaved, 3);
        QCOMPARE(task.ResourcesSaved, 1);
        QVERIFY(FileExists(folder + "127.0.0.1/index.html") || !ListFolders(folder).empty());
        // The run's "Now" schedule is done: the task leaves the active list.
        QVERIFY(ActiveList().find(taskFile) == std::string::npos);
        // The reports were written and opened.
        QTRY_COMPARE(m_opened.size(), std::size_t(1));
        QVERIFY(m_opened.front().ends_with("_summary.htm"));
        QTRY_COMPARE(m_window->StatusWindow().gaugePages->text().left(6), QStringLiteral("3/3 ->"));
        QTRY_COMPARE(m_window->StatusWindow().gaugeRes->text().left(6), QStringLiteral("1/1 ->"));
    }

    // Go with the Custom profile opens the task editor ("Create New Task"); OK adds
    // the task with the editor's schedule (none unless one is chosen).
    void GoWithCustomOpensTheTaskEditor()
    {
        const QString address = QString::fromStdString("http://" + m_server->HostPort() + "/index.html");
        m_window->cmbProfile->setCurrentText(QStringLiteral("Custom"));
        m_window->cmbURL->setEditText(address);
        {
            TDialogEnter editor(QStringLiteral("Create New Task"));
            QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
            QCOMPARE(editor.Seen(), 1);
        }
        QCOMPARE(TaskFiles().size(), std::size_t(1));
        QCOMPARE(m_window->SchedulerWindow().lvTasks->model()->rowCount(), 1);
        const std::shared_ptr<THXTask> task = m_window->SchedulerWindow().Model().TaskAt(0);
        QCOMPARE(task->URL, address.toStdString());
        QCOMPARE(task->Profile.Name, std::string("Custom"));
        QCOMPARE(task->Status, kStatusUnscheduled);
        QCOMPARE(QString::fromStdString(m_window->RecentURLs().front()), address);
        // The idle task's state image is the program's own Run picture.
        const QIcon state =
            m_window->SchedulerWindow().lvTasks->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
        const QImage run = QImage(QStringLiteral(":/harbex/pictures/task-run.png"));
        QVERIFY(!run.isNull());
        QCOMPARE(state.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                 run.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }

    // A task file from elsewhere opens in the task editor ("Add a Task"); OK saves
    // it in the category and lists it.
    void OpenedTaskFileIsAddedThroughTheEditor()
    {
        THXTask outside(*m_app);
        outside.FileName = m_home->path().toStdString() + "/elsewhere/Shared Site.hxt";
        outside.Name = "Shared Site";
        outside.URL = "http://" + m_server->HostPort() + "/index.html";
        outside.Destination = m_app->GetDownloadsFolder() + "Shared Site.zip";
        outside.Profile.Name = "Custom";
        outside.Save();
        TFormScheduler& tasks = m_window->SchedulerWindow();
        {
            TDialogEnter editor(QStringLiteral("Add a Task"));
            tasks.OpenTaskFile(outside.FileName);
            QCOMPARE(editor.Seen(), 1);
        }
        // The editor names a task after its address, as it does for every new one.
        QCOMPARE(TaskFiles(), std::vector<std::string>{"127_0.hxt"});
        QCOMPARE(tasks.lvTasks->model()->rowCount(), 1);
        QCOMPARE(tasks.Model().TaskAt(0)->URL, outside.URL);
    }

    // A named profile with an address NormalizeURL refuses: "Invalid URL.", no task.
    void AnInvalidAddressIsRefused()
    {
        TBoxAnswer answer(QMessageBox::Ok);
        m_window->cmbProfile->setCurrentText(QStringLiteral("Whole Site"));
        m_window->cmbURL->setEditText(QStringLiteral("ftp://files.example.org/"));
        QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
        QTRY_COMPARE(answer.Seen(), 1);
        QCOMPARE(answer.Text(), QStringLiteral("Invalid URL."));
        QVERIFY(TaskFiles().empty());
    }

    // Paste URL with text that is no address does nothing, without a message.
    void PasteURLWithRefusedTextDoesNothing()
    {
        TBoxAnswer answer(QMessageBox::Ok);
        QApplication::clipboard()->setText(QStringLiteral("not an address at all"));
        m_window->cmbURL->setEditText(QStringLiteral("kept"));
        m_window->Action("miPasteURL")->trigger();
        QTest::qWait(200);
        QCOMPARE(answer.Seen(), 0);
        QCOMPARE(m_window->cmbURL->currentText(), QStringLiteral("kept"));
        QVERIFY(TaskFiles().empty());
    }

    // The Zip Pane items set the split: stacked, beside, and a checked item keeps it.
    void SplitOrientationFollowsTheMenu()
    {
        QVERIFY(!m_window->SplitStacked());
        QVERIFY(m_window->Action("miSplitVertically")->isChecked());
        m_window->Action("miSplitHorizontally")->trigger();
        QVERIFY(m_window->SplitStacked());
        QCOMPARE(m_window->splitter->orientation(), Qt::Vertical);
        QVERIFY(m_window->Action("miSplitHorizontally")->isChecked());
        m_window->Action("miSplitHorizontally")->trigger();
        QVERIFY(m_window->SplitStacked());
        m_window->Action("miSplitVertically")->trigger();
        QVERIFY(!m_window->SplitStacked());
        QVERIFY(m_window->Action("miSplitVertically")->isChecked());
    }

    // The first activation puts the window where it was closed; a later activation
    // leaves it where the person moved it.
    void BoundsAreRestoredOnceAndSavedAtClose()
    {
        m_window->move(40, 50);
        m_window->resize(700, 500);
        QVERIFY(m_window->close());
        m_window.reset();
        THXSettingsStore& store = m_app->Store();
        QCOMPARE(store.ReadString(kFormHarbexKey, "Width", ""), std::string("700"));
        QCOMPARE(store.ReadString(kFormHarbexKey, "Height", ""), std::string("500"));

        OpenWindow();
        QCOMPARE(m_window->size(), QSize(700, 500));
        m_window->resize(800, 600);
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(m_window.get(), &activate);
        QCOMPARE(m_window->size(), QSize(800, 600));
    }

    // A Zip-mode copy ends "Zipped!" in an archive named after the start page. The
    // status panel's Stop stops a run and keeps its queue; Run goes on with it
    // (Resume) instead of starting the copy over.
    void StopThenRunResumesTheTask()
    {
        m_window->cmbProfile->setCurrentText(QStringLiteral("Whole Site"));
        m_window->cmbURL->setEditText(QString::fromStdString("http://" + m_server->HostPort() + "/index.html"));
        QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->CurrentTask && m_app->CurrentTask->Status == kStatusZipped, 20000);
        QCOMPARE(m_app->CurrentTask->Destination, m_app->GetDownloadsFolder() + "Start.zip");
        QVERIFY(FileExists(m_app->CurrentTask->Destination));
        m_window->cmbURL->setEditText(QString::fromStdString("http://" + m_server->HostPort() + "/slow.html"));
        QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->Runner().RunningTask() != nullptr, 5000);
        const std::shared_ptr<THXTask> task = m_window->Runner().RunningTask();
        QVERIFY(!m_window->StatusWindow().btnRun->isEnabled());
        QTest::mouseClick(m_window->StatusWindow().btnStop, Qt::LeftButton);
        QCOMPARE(task->Status, kStatusStopped);
        QVERIFY(m_window->StatusWindow().btnRun->isEnabled());
        QVERIFY(FileExists(task->QueueFileName()));
        // The run dialog asks how; Enter takes its preselected choice, Resume.
        TDialogEnter runDialog(QStringLiteral("Harbex - Run Task"));
        QTest::mouseClick(m_window->StatusWindow().btnRun, Qt::LeftButton);
        QCOMPARE(runDialog.Seen(), 1);
        QCOMPARE(task->RunMode, kRunResume);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->Runner().RunningTask() == task, 5000);
        m_window->Runner().StopTask(task);
    }

    // The Tasks view: a rename to a name that exists is refused with its message and
    // renames nothing; deleting two tasks (after Yes) takes their files away and
    // empties the list.
    void TasksViewRenamesAndDeletes()
    {
        m_window->cmbProfile->setCurrentText(QStringLiteral("Whole Site"));
        for (const char* path : {"/a.html", "/b.html"})
        {
            m_window->cmbURL->setEditText(QString::fromStdString("http://" + m_server->HostPort() + path));
            QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(m_app->CurrentTask && m_app->CurrentTask->Status == kStatusZipped, 20000);
        }
        TFormScheduler& tasks = m_window->SchedulerWindow();
        QTableView& list = *tasks.lvTasks;
        QCOMPARE(list.model()->rowCount(), 2);
        const std::vector<std::string> before = TaskFiles();
        QCOMPARE(before.size(), std::size_t(2));

        // Rename the first row to the second row's name: F2, type, Enter.
        const QString otherName = list.model()->index(1, 0).data().toString();
        list.setFocus();
        list.setCurrentIndex(list.model()->index(0, 0));
        {
            TBoxAnswer answer(QMessageBox::Ok);
            QTest::keyClick(&list, Qt::Key_F2);
            QWidget* editor = QApplication::focusWidget();
            QVERIFY(qobject_cast<QLineEdit*>(editor));
            qobject_cast<QLineEdit*>(editor)->selectAll();
            QTest::keyClicks(editor, otherName);
            QTest::keyClick(editor, Qt::Key_Return);
            QTRY_COMPARE(answer.Seen(), 1);
            QVERIFY(answer.Text().startsWith(QStringLiteral("Unable to rename task to: ")));
            QVERIFY(answer.Text().endsWith(QStringLiteral("File already exists.")));
        }
        QCOMPARE(TaskFiles(), before);

        // A click on a finished task's run icon queues it to run.
        const std::shared_ptr<THXTask> first = tasks.Model().TaskAt(0);
        const QRect cell = list.visualRect(list.model()->index(0, 0));
        {
            TDialogEnter runDialog(QStringLiteral("Harbex - Run Task"));
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(cell.left() + 8, cell.center().y()));
            QCOMPARE(runDialog.Seen(), 1);
        }
        QVERIFY(first->Status == kStatusScheduled || first->Status == kStatusDownloading);
        QTRY_VERIFY_WITH_TIMEOUT(first->Status == kStatusZipped, 20000);

        list.selectAll();
        TBoxAnswer yes(QMessageBox::Yes);
        m_window->Action("miTaskDelete")->trigger();
        QCOMPARE(yes.Seen(), 1);
        QVERIFY(TaskFiles().empty());
        QCOMPARE(list.model()->rowCount(), 0);
    }

    // Schedule from the Tasks view: the schedule dialog's first offer ("Once at" now)
    // makes the task due, and the tick starts it.
    void ScheduledTaskIsStartedByTheTick()
    {
        m_window->cmbProfile->setCurrentText(QStringLiteral("Whole Site"));
        m_window->cmbURL->setEditText(QString::fromStdString("http://" + m_server->HostPort() + "/index.html"));
        QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->CurrentTask && m_app->CurrentTask->Status == kStatusZipped, 20000);
        const std::shared_ptr<THXTask> task = m_app->CurrentTask;
        const TDateTime lastRun = task->LastRun;
        TFormScheduler& tasks = m_window->SchedulerWindow();
        tasks.lvTasks->selectRow(0);
        QVERIFY(tasks.btnSchedule->isEnabled());
        {
            TDialogEnter scheduleDialog(QStringLiteral("Schedule Task"));
            QTest::mouseClick(tasks.btnSchedule, Qt::LeftButton);
            QCOMPARE(scheduleDialog.Seen(), 1);
        }
        QVERIFY(task->Schedule.starts_with("Once at"));
        QVERIFY(task->Status == kStatusScheduled || task->Status == kStatusDownloading);
        QTRY_VERIFY_WITH_TIMEOUT(task->Status == kStatusZipped && task->LastRun > lastRun, 20000);
    }

    // Browse opens a copied task's local start page; for a Zip task whose archive is
    // gone it asks whether to run the task, and Yes queues it.
    void BrowseOpensTheLocalCopy()
    {
        m_app->SetIntranetFolder(m_home->path().toStdString() + "/copy/");
        m_window->cmbProfile->setCurrentText(QStringLiteral("Whole Site"));
        QTest::mouseClick(m_window->btnIntranetMode, Qt::LeftButton);
        m_window->cmbURL->setEditText(QString::fromStdString("http://" + m_server->HostPort() + "/index.html"));
        QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->CurrentTask && m_app->CurrentTask->Status == kStatusTaskComplete, 20000);
        // The run's reports are opened once they are written.
        QTRY_COMPARE(m_opened.size(), std::size_t(1));
        m_opened.clear();
        TFormScheduler& tasks = m_window->SchedulerWindow();
        tasks.lvTasks->selectRow(0);
        QTest::mouseClick(tasks.btnBrowse, Qt::LeftButton);
        QCOMPARE(m_opened.size(), std::size_t(1));
        QCOMPARE(m_opened.front(), LocalStartPage(*m_app->CurrentTask));
        QVERIFY(FileExists(m_opened.front()));
        // Reports › Task Summary opens the summary the run wrote.
        tasks.Action("pmiReportsTaskSummary")->trigger();
        QCOMPARE(m_opened.size(), std::size_t(2));
        QVERIFY(m_opened.back().ends_with("_summary.htm"));
        QVERIFY(FileExists(m_opened.back()));
        m_opened.resize(1);

        const std::shared_ptr<THXTask> task = m_app->CurrentTask;
        task->IntranetMode = false;
        task->Destination = m_home->path().toStdString() + "/gone.zip";
        task->Save();
        TBoxAnswer yes(QMessageBox::Yes);
        TDialogEnter runDialog(QStringLiteral("Harbex - Run Task"));
        QTest::mouseClick(tasks.btnBrowse, Qt::LeftButton);
        QCOMPARE(yes.Seen(), 1);
        QCOMPARE(yes.Text().toStdString(), std::string(kZipMissingQuestion));
        QCOMPARE(m_opened.size(), std::size_t(1));
        QTRY_VERIFY_WITH_TIMEOUT(m_window->Runner().RunningTask() == task || task->Status == kStatusZipped, 20000);
    }

    // Every page goes to the browser program the "Browser" setting names: the run's
    // summary, the Browse button, a double click on the task, Reports › Task
    // Summary; the report button shows that program's icon. With the setting empty
    // the desktop's default browser takes its place: the program $BROWSER names,
    // or, with none named or found, the desktop's handler (no program).
    void EveryPageOpensInTheBrowserTheSettingsName()
    {
        const std::string tools = Home() + "bin/";
        ForceDirectories(tools);
        QVERIFY(WriteFileAtomic(tools + "mybrowser", "#!/bin/sh\n"));
        QVERIFY(WriteFileAtomic(tools + "desktopbrowser", "#!/bin/sh\n"));
        m_app->SetBrowser(tools + "mybrowser");
        QCOMPARE(m_app->Browser(), tools + "mybrowser");
        TFormScheduler& tasks = m_window->SchedulerWindow();
        // The window was made before the setting changed; the preferences' OK redraws it so.
        const QImage standardIcon = tasks.style()->standardIcon(QStyle::SP_FileDialogContentsView).pixmap(16).toImage();
        tasks.DrawBrowserIcon();
        QVERIFY(tasks.btnReports->icon().pixmap(16).toImage() != standardIcon);

        m_app->SetIntranetFolder(Home() + "copy/");
        m_window->cmbProfile->setCurrentText(QStringLiteral("Whole Site"));
        QTest::mouseClick(m_window->btnIntranetMode, Qt::LeftButton);
        m_window->cmbURL->setEditText(QString::fromStdString(m_server->URL("/index.html")));
        QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->CurrentTask && m_app->CurrentTask->Status == kStatusTaskComplete, 20000);
        QTRY_COMPARE(m_launches.size(), std::size_t(1));
        const std::string summary = m_launches.front().Target;
        QVERIFY(summary.ends_with("_summary.htm"));
        QCOMPARE(m_launches.front().Program, tools + "mybrowser");

        const std::string local = LocalStartPage(*m_app->CurrentTask);
        tasks.lvTasks->selectRow(0);
        QTest::mouseClick(tasks.btnBrowse, Qt::LeftButton);
        QCOMPARE(m_launches.size(), std::size_t(2));
        const QRect nameCell = tasks.lvTasks->visualRect(tasks.lvTasks->model()->index(0, 1));
        // A double click as the platform delivers it: a click, then the second press.
        QTest::mouseClick(tasks.lvTasks->viewport(), Qt::LeftButton, {}, nameCell.center());
        QTest::mouseDClick(tasks.lvTasks->viewport(), Qt::LeftButton, {}, nameCell.center());
        QCOMPARE(m_launches.size(), std::size_t(3));
        tasks.Action("pmiReportsTaskSummary")->trigger();
        QCOMPARE(m_launches.size(), std::size_t(4));
        const std::vector<TLaunchRequest> chosen = {{tools + "mybrowser", summary},
                                                    {tools + "mybrowser", local},
                                                    {tools + "mybrowser", local},
                                                    {tools + "mybrowser", summary}};
        QCOMPARE(m_launches, chosen);

        // An empty setting: the program the desktop names for browsing.
        const QByteArray savedPath = qgetenv("PATH");
        const QByteArray savedBrowser = qgetenv("BROWSER");
        qputenv("BROWSER", QByteArray::fromStdString(tools + "desktopbrowser"));
        m_app->SetBrowser("");
        m_launches.clear();
        QTest::mouseClick(tasks.btnBrowse, Qt::LeftButton);
        // None named and none found: the desktop's handler opens the page.
        qunsetenv("BROWSER");
        qputenv("PATH", QByteArray::fromStdString(Home() + "empty"));
        m_app->SetBrowser("");
        tasks.DrawBrowserIcon();
        QTest::mouseClick(tasks.btnBrowse, Qt::LeftButton);
        qputenv("PATH", savedPath);
        if (!savedBrowser.isEmpty())
            qputenv("BROWSER", savedBrowser);
        const std::vector<TLaunchRequest> standard = {{tools + "desktopbrowser", local}, {"", local}};
        QCOMPARE(m_launches, standard);
        QCOMPARE(tasks.btnReports->icon().pixmap(16).toImage(), standardIcon);
    }

    // Closing while a task runs asks; No keeps it running, Yes stops it, writes
    // its queue and closes.
    void CloseWhileATaskRunsAsksAndStops()
    {
        m_window->cmbProfile->setCurrentText(QStringLiteral("Whole Site"));
        m_window->cmbURL->setEditText(QString::fromStdString("http://" + m_server->HostPort() + "/slow.html"));
        QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->Runner().RunningTask() != nullptr, 5000);
        const std::shared_ptr<THXTask> task = m_window->Runner().RunningTask();
        {
            TBoxAnswer no(QMessageBox::No);
            QVERIFY(!m_window->close());
            QCOMPARE(no.Seen(), 1);
            QVERIFY(no.Text().startsWith(QStringLiteral("A Harbex Task is still running.")));
            QVERIFY(m_window->Runner().RunningTask() == task);
        }
        TBoxAnswer yes(QMessageBox::Yes);
        QVERIFY(m_window->close());
        QCOMPARE(task->Status, kStatusStopped);
        QVERIFY(FileExists(task->QueueFileName()));
        QVERIFY(ReadWholeFile(task->FileName).value_or("").find("Status=3") != std::string::npos);
    }
};

} // namespace hx

#include "HXMainTest.moc"

int RunMainWindowTests(int argc, char** argv)
{
    hx::HXMainTest tests;
    return QTest::qExec(&tests, argc, argv);
}
