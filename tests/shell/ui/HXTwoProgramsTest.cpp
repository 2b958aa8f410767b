// The main window beside another Harbex process, and a copy whose destination
// cannot be written: as a person sees them, against a test server on 127.0.0.1.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <csignal>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "HXMainWindowFixture.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "core/HXTaskLock.h"
#include "schedule/ui/HXSchedulerWindow.h"
#include "shell/ui/HXMain.h"
#include "support/HXTestServer.h"
#include "support/ui/HXBoxAnswer.h"

namespace hx
{

namespace
{

using test::TBoxAnswer;
using test::TRecordedRequest;
using test::TReply;

// A start page and one picture of 200 KB.
TReply SiteReply(const TRecordedRequest& request)
{
    if (request.Target == "/" || request.Target == "/index.html")
        return TReply::Text(200, "<html><body><img src=\"big.gif\"></body></html>", {{"Content-Type", "text/html"}});
    if (request.Target == "/big.gif")
        return TReply::Text(200, "GIF89a" + std::string(200 * 1024, 'x'), {{"Content-Type", "image/gif"}});
    return TReply::Text(404, "missing");
}

// Another Harbex process running the task, as far as the task's lock tells: a
// child that takes the lock as a run does and waits to be killed. The child makes
// only system calls (the window's threads may hold any lock of the allocator).
pid_t HoldTaskInChild(const std::string& taskFile)
{
    const std::string lockFile = TaskLockFileName(taskFile);
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0)
    {
        const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        struct flock range = {};
        range.l_type = F_WRLCK;
        range.l_whence = SEEK_SET;
        char pid[16];
        int length = 0;
        for (pid_t value = ::getpid(); value > 0; value /= 10)
            pid[length++] = static_cast<char>('0' + value % 10);
        for (int index = 0; index < length / 2; ++index)
            std::swap(pid[index], pid[length - 1 - index]);
        const bool held = fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &range) == 0 && ::ftruncate(fd, 0) == 0 &&
                          ::pwrite(fd, pid, static_cast<std::size_t>(length), 0) == length;
        (void)!::write(ready[1], held ? "y" : "n", 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char answer = 0;
    const bool held = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
    ::close(ready[0]);
    if (!held && child > 0)
    {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return -1;
    }
    return child;
}

} // namespace

class HXTwoProgramsTest : public QObject, protected test::TMainWindowFixture
{
    Q_OBJECT

private:
    std::string m_mounted;

    // A folder the copy may not write to: its permission bits say so, and for root
    // (whom they do not stop) it is bound read-only onto itself.
    bool ReadOnlyFolder(const std::string& folder)
    {
        ForceDirectories(folder);
        ::chmod(folder.c_str(), 0555);
        if (::access(folder.c_str(), W_OK) != 0)
            return true;
        if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return false;
        m_mounted = folder;
        return ::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

    // Copies the site into the Personal Intranet folder as Go does.
    void CopyInto(const std::string& folder)
    {
        m_app->SetIntranetFolder(folder);
        m_window->cmbProfile->setCurrentText(QStringLiteral("Whole Site"));
        QTest::mouseClick(m_window->btnIntranetMode, Qt::LeftButton);
        m_window->cmbURL->setEditText(QString::fromStdString("http://" + m_server->HostPort() + "/index.html"));
        QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
    }

    // What a failed copy must leave: the message seen, the run stopped, the window working.
    void ExpectStoppedWithMessage(const TBoxAnswer& box, const QString& start)
    {
        QTRY_COMPARE_WITH_TIMEOUT(box.Seen(), 1, 20000);
        QVERIFY2(box.Text().startsWith(start), qPrintable(box.Text()));
        QVERIFY(m_app->CurrentTask);
        QTRY_COMPARE(m_app->CurrentTask->Status, kStatusStopped);
        QVERIFY(m_window->isVisible());
        QVERIFY(m_window->btnGO->isEnabled());
    }

private slots:
    void init()
    {
        StartHome();
        StartServer(SiteReply);
        OpenWindow(FastOptions(), test::TWindowActivation::AsShown);
    }

    void cleanup()
    {
        m_window.reset(); // nothing writes below the mount any more
        if (!m_mounted.empty())
            ::umount2(m_mounted.c_str(), MNT_DETACH);
        m_mounted.clear();
        Stop();
    }

    // A destination folder without write permission: the copy stops with a message
    // naming the file and the reason, and the program goes on.
    void ReadOnlyDestinationShowsAMessage()
    {
        const std::string folder = Home() + "locked/";
        if (!ReadOnlyFolder(folder))
            QSKIP("no read-only folder can be made here (root without mount permission)");
        TBoxAnswer box(QMessageBox::Ok);
        CopyInto(folder);
        ExpectStoppedWithMessage(box, QStringLiteral("Unable to write ") + QString::fromStdString(folder));
        QVERIFY(box.Text().contains(QStringLiteral("(Read-only file system)")) ||
                box.Text().contains(QStringLiteral("(Permission denied)")));
    }

    // A destination on a disk too small for the site: "Disk full", and the program goes on.
    void FullDiskShowsAMessage()
    {
        const std::string folder = Home() + "small/";
        ForceDirectories(folder);
        if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("no small tmpfs can be mounted by this user");
        m_mounted = folder;
        TBoxAnswer box(QMessageBox::Ok);
        CopyInto(folder);
        ExpectStoppedWithMessage(box, QStringLiteral("Disk full: unable to write "));
    }

    // A task another process runs: its row says so and offers no command, its run
    // state in the file is left alone; when that process dies the row follows.
    void TaskRunningElsewhereIsShownAndLeftAlone()
    {
        auto task = std::make_shared<THXTask>(*m_app);
        task->Name = "Elsewhere";
        task->FileName = m_app->TasksFolder() + "General/Elsewhere.hxt";
        task->URL = "http://" + m_server->HostPort() + "/index.html";
        task->Status = kStatusDownloading; // as the other process's run saved it
        task->Save();
        const pid_t other = HoldTaskInChild(task->FileName);
        QVERIFY(other > 0);

        TFormScheduler& tasks = m_window->SchedulerWindow();
        tasks.ShowCategory("General");
        QTableView& list = *tasks.lvTasks;
        QCOMPARE(list.model()->rowCount(), 1);
        const QString elsewhere = QStringLiteral("Running in another Harbex process (PID %1)").arg(other);
        QCOMPARE(list.model()->index(0, 2).data().toString(), elsewhere);
        QVERIFY(list.model()
                    ->index(0, 0)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .startsWith(QString::fromStdString(RunningElsewhereText("Elsewhere", other))));
        list.selectRow(0);
        QVERIFY(!tasks.btnRun->isEnabled());
        QVERIFY(!tasks.btnStop->isEnabled());
        QVERIFY(!tasks.btnDelete->isEnabled());
        // Not taken for a stale run: the file still says Downloading.
        QVERIFY(ReadWholeFile(task->FileName).value_or("").find("Status=2") != std::string::npos);

        ::kill(other, SIGKILL);
        ::waitpid(other, nullptr, 0);
        // The tick sees the lock gone: the run that died is incomplete, and says so.
        QTRY_COMPARE_WITH_TIMEOUT(list.model()->index(0, 2).data().toString(),
                                  QString::fromStdString(StatusText(kStatusIncomplete)), 5000);
        QVERIFY(ReadWholeFile(task->FileName).value_or("").find("Status=4") != std::string::npos);
        list.selectRow(0);
        QVERIFY(tasks.btnRun->isEnabled());
    }

    // A setting changed by another program shows here at the next tick.
    void SettingsChangedByAnotherProgramArePickedUp()
    {
        QCOMPARE(m_app->Connections(), 10);
        THXSettingsStore other(m_app->Store().FileName());
        QVERIFY(other.WriteInteger(kSettingsKey, "Connections", 4));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->Connections(), 4, 5000);
    }
};

} // namespace hx

#include "HXTwoProgramsTest.moc"

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    hx::HXTwoProgramsTest tests;
    return QTest::qExec(&tests, argc, argv);
}
