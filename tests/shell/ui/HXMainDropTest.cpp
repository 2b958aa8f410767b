// Addresses and files from outside as a person hands them over: text, a browser's
// link and a file browser's files dropped on the main window, the first
// command-line parameter, the "Auto-Harbex" dialog that turns an address into a
// task, and a second start of the program that hands its parameters to the
// running one (two single-instance objects, and the built program started twice).

#include "shell/ui/HXMain.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLocalSocket>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <cstring>
#include <functional>
#include <memory>

#include "HXMainWindowFixture.h"
#include "archive/ui/HXwizFileZip.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "schedule/ui/HXdlgEditTask.h"
#include "shell/HXNewTask.h"
#include "shell/ui/HXSingleInstance.h"
#include "shell/ui/HXZipTreeModel.h"
#include "shell/ui/HXdlgAutoHarbex.h"
#include "support/HXTestServer.h"
#include "support/ui/HXBoxAnswer.h"
#include "support/ui/HXWhenShown.h"

namespace hx
{

namespace
{

using test::TActTimes;
using test::THXTestServer;
using test::TReply;
using test::TWhenShown;

QPushButton* ButtonCaptioned(const TdlgAutoHarbex& dialog, const QString& caption)
{
    for (QPushButton* button : dialog.Buttons)
        if (button->text() == caption)
            return button;
    return nullptr;
}

// Clicks the button captioned `caption` in the auto-download dialog when it
// opens, and keeps what the dialog showed.
class TAutoHarbexAnswer : public TWhenShown<TdlgAutoHarbex>
{
public:
    explicit TAutoHarbexAnswer(const QString& caption)
        : TWhenShown<TdlgAutoHarbex>(
              [this, caption](TdlgAutoHarbex& dialog)
              {
                  for (QPushButton* button : dialog.Buttons)
                      Captions << button->text();
                  Title = dialog.windowTitle();
                  if (QPushButton* button = ButtonCaptioned(dialog, caption))
                      QTest::mouseClick(button, Qt::LeftButton);
              },
              TActTimes::Once)
    {
    }
    QStringList Captions;
    QString Title;
};

QStringList Texts(const std::vector<std::string>& strings)
{
    QStringList texts;
    for (const std::string& text : strings)
        texts << QString::fromStdString(text);
    return texts;
}

std::shared_ptr<THXTask> ActiveTaskFor(THXApp& app, const std::string& url)
{
    for (const TActiveTask& active : app.ActiveTasks)
        if (active.task && active.task->URL == url)
            return active.task;
    // A task that already ran to its end has left the active list: the runner's
    // current task is the last one run.
    if (app.CurrentTask && app.CurrentTask->URL == url)
        return app.CurrentTask;
    return nullptr;
}

} // namespace

class HXMainDropTest : public QObject, protected test::TMainWindowFixture
{
    Q_OBJECT

private:
    // A new main window, started as the program is with `parameter` on its command line.
    void OpenWindow(const std::string& parameter = {})
    {
        TMainOptions options = FastOptions();
        options.Parameter = parameter;
        TMainWindowFixture::OpenWindow(std::move(options));
    }

    // Drags `data` over the view area of the main window (a part that takes no drops
    // of its own) and lets it go, as a desktop delivers a drop; true when the
    // window took it.
    bool Drop(const QMimeData& data)
    {
        QWidget* target = m_window->pages;
        const QPoint at = target->rect().center();
        const Qt::DropActions offered = Qt::CopyAction | Qt::LinkAction;
        QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(QPointF(at), offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return drop.isAccepted();
    }

    static std::unique_ptr<QMimeData> TextData(const QString& text)
    {
        auto data = std::make_unique<QMimeData>();
        data->setText(text);
        return data;
    }

    static std::unique_ptr<QMimeData> UrlData(const QList<QUrl>& urls)
    {
        auto data = std::make_unique<QMimeData>();
        data->setUrls(urls);
        return data;
    }

    std::string WriteFile(const std::string& name, const std::string& text = "x")
    {
        WriteFileAtomic(Home() + name, text);
        return Home() + name;
    }

    // An archive holding one file.
    std::string MakeArchive(const std::string& name)
    {
        TXceedZip zip;
        zip.ZipFileName = Home() + name;
        zip.BaseFolder = Home();
        zip.FilesToProcess = {WriteFile(name + ".txt", "inside")};
        zip.Add();
        return zip.ZipFileName;
    }

private slots:
    void init()
    {
        StartHome();
        StartServer(
            [](const test::TRecordedRequest&) {
                return TReply::Text(200, "<html><body>page</body></html>", {{"Content-Type", "text/html"}});
            });
    }

    void cleanup() { Stop(); }

    // A browser's link, dropped as text or as a one-item URL list, opens the
    // "Auto-Harbex" dialog with every profile; a profile's button lists the task
    // with that profile and it runs at once against the address.
    void DroppedAddressBecomesATaskWithTheChosenProfile()
    {
        OpenWindow();
        const std::string address = m_server->URL("/start.html");
        {
            TAutoHarbexAnswer answer(QStringLiteral("Whole Site"));
            QVERIFY(Drop(*TextData(QString::fromStdString(address))));
            QTRY_VERIFY(answer.Done());
            QCOMPARE(answer.Title, QStringLiteral("Auto-Harbex"));
            QStringList expected;
            for (const std::string& name : TdlgAutoHarbex::ProfileNames(m_app->ProfilesFolder()))
                expected << QString::fromStdString(name);
            QVERIFY(expected.contains(QStringLiteral("Whole Site")));
            expected << QStringLiteral("Use Harbex Wizard...") << QStringLiteral("Cancel");
            QCOMPARE(answer.Captions, expected);
        }
        std::shared_ptr<THXTask> task;
        QTRY_VERIFY((task = ActiveTaskFor(*m_app, address)) != nullptr);
        QCOMPARE(task->Profile.Name, std::string("Whole Site"));
        // The crawl hands over to the window thread: wait while serving its events.
        // The site's robots.txt is asked first, then the dropped address.
        QTRY_VERIFY_WITH_TIMEOUT(m_server->RequestCount() >= 2, 10000);
        QCOMPARE(m_server->Requests()[0].Target, std::string("/robots.txt"));
        QCOMPARE(m_server->Requests()[1].Target, std::string("/start.html"));

        // An address from a URL list, answered with Cancel: no task for it. (The first
        // task may finish and leave the active list meanwhile, so its count proves nothing.)
        const std::string other = m_server->URL("/other.html");
        {
            TAutoHarbexAnswer answer(QStringLiteral("Cancel"));
            QVERIFY(Drop(*UrlData({QUrl(QString::fromStdString(other))})));
            QTRY_VERIFY(answer.Done());
        }
        QTest::qWait(100);
        QVERIFY(ActiveTaskFor(*m_app, other) == nullptr);
        for (const auto& request : m_server->Requests())
            QVERIFY(request.Target != "/other.html");

        // "Use Harbex Wizard..." goes on in the task editor with the address.
        {
            QString editorAddress;
            TWhenShown<TdlgEditTask> editor(
                [&editorAddress](TdlgEditTask& dialog)
                {
                    editorAddress = dialog.cmbURL->currentText();
                    dialog.reject();
                },
                TActTimes::Once);
            TAutoHarbexAnswer answer(QStringLiteral("Use Harbex Wizard..."));
            QVERIFY(Drop(*UrlData({QUrl(QString::fromStdString(m_server->URL("/wizard.html")))})));
            QTRY_VERIFY(answer.Done());
            QTRY_VERIFY(editor.Done());
            QCOMPARE(editorAddress, QString::fromStdString(m_server->URL("/wizard.html")));
        }
        // The editor was cancelled: no task for that address either.
        QVERIFY(ActiveTaskFor(*m_app, m_server->URL("/wizard.html")) == nullptr);
    }

    // Files from a file browser: one archive (its extension in capitals) opens in the
    // Zips tree; one task file opens in "Add a Task" and OK lists it; several files,
    // archives among them, open the File Zip Wizard with all of them; anything else
    // is ignored without a word.
    void DroppedFilesReachTheirCommands()
    {
        OpenWindow();
        const std::string archive = MakeArchive("SITE.ZIP");
        QVERIFY(Drop(*UrlData({QUrl::fromLocalFile(QString::fromStdString(archive))})));
        QTRY_COMPARE(m_window->ZipPane().Model().Archives().Count(), std::size_t(1));
        QCOMPARE(m_window->ZipPane().Model().Archives().At(0).Path(), archive);
        QCOMPARE(m_window->CurrentView(), TView::ZipProperties);

        // A task file made by the program, moved out of its Tasks folder.
        TNewTaskRequest request;
        request.Address = m_server->URL("/from-file.html");
        request.Profile = "Whole Site";
        request.Name = "Dropped Task";
        std::shared_ptr<THXTask> made = hx::NewTaskFromURL(*m_app, request);
        made->Save();
        const std::string taskFile = Home() + "dropped.hxt";
        QVERIFY(QFile::rename(QString::fromStdString(made->FileName), QString::fromStdString(taskFile)));
        made.reset();
        {
            test::TDialogEnter ok(QStringLiteral("Add a Task"));
            QVERIFY(Drop(*UrlData({QUrl::fromLocalFile(QString::fromStdString(taskFile))})));
            QTRY_COMPARE(ok.Seen(), 1);
        }
        QTRY_VERIFY(ActiveTaskFor(*m_app, m_server->URL("/from-file.html")) != nullptr);
        const std::shared_ptr<THXTask> listed = ActiveTaskFor(*m_app, m_server->URL("/from-file.html"));
        QCOMPARE(listed->Name, std::string("Dropped Task"));
        // It runs at once; its archive joins the Zips tree when it is done.
        QTRY_VERIFY2_WITH_TIMEOUT(
            listed->Status == kStatusZipped,
            qPrintable(
                QStringLiteral("status %1, file %2").arg(listed->Status).arg(QString::fromStdString(listed->FileName))),
            20000);
        QTRY_COMPARE(m_window->ZipPane().Model().Archives().Count(), std::size_t(2));

        const std::vector<std::string> files = {MakeArchive("one.zip"), WriteFile("notes.txt")};
        const std::size_t archivesBefore = m_window->ZipPane().Model().Archives().Count();
        {
            QString caption;
            QStringList listed;
            TWhenShown<TwizFileZip> wizard(
                [&](TwizFileZip& dialog)
                {
                    caption = dialog.windowTitle();
                    for (int row = 0; row < dialog.lvFiles->topLevelItemCount(); ++row)
                        listed << dialog.lvFiles->topLevelItem(row)->text(0);
                    dialog.reject();
                },
                TActTimes::Once);
            QVERIFY(Drop(*UrlData({QUrl::fromLocalFile(QString::fromStdString(files[0])),
                                   QUrl::fromLocalFile(QString::fromStdString(files[1]))})));
            QTRY_VERIFY(wizard.Done());
            QCOMPARE(caption, QStringLiteral("File Zip Wizard - 2 files dropped."));
            QCOMPARE(listed.size(), 2);
            for (const std::string& file : files)
                QVERIFY2(listed.join('|').contains(QString::fromStdString(ExtractFileName(file))), file.c_str());
        }
        // Cancelled: no archive was made or opened.
        QCOMPARE(m_window->ZipPane().Model().Archives().Count(), archivesBefore);

        // A plain word and an unknown file: taken as drops, but nothing opens.
        {
            TWhenShown<QDialog> anyDialog([](QDialog& dialog) { dialog.reject(); }, TActTimes::Once);
            QVERIFY(Drop(*TextData(QStringLiteral("just some words"))));
            QVERIFY(Drop(*UrlData({QUrl::fromLocalFile(QString::fromStdString(WriteFile("readme.txt")))})));
            QTest::qWait(300);
            QVERIFY(!anyDialog.Done());
        }
        // Data with neither text nor files is refused while it is dragged.
        auto image = std::make_unique<QMimeData>();
        image->setData(QStringLiteral("image/png"), QByteArray("\x89PNG", 4));
        QVERIFY(!Drop(*image));
    }

    // The first command-line parameter: an http address in any letter case opens the
    // dialog, an https one does not; an archive opens in the Zips tree.
    void FirstParameterIsHandledWhenTheWindowShows()
    {
        {
            TAutoHarbexAnswer answer(QStringLiteral("Cancel"));
            OpenWindow("HTTP://" + m_server->HostPort() + "/Caps.html");
            QTRY_VERIFY(answer.Done());
        }
        {
            TAutoHarbexAnswer answer(QStringLiteral("Cancel"));
            OpenWindow("https://" + m_server->HostPort() + "/secure.html");
            QTest::qWait(300);
            QVERIFY(!answer.Done());
        }
        const std::string archive = MakeArchive("given.zip");
        OpenWindow(archive);
        QTRY_COMPARE(m_window->ZipPane().Model().Archives().Count(), std::size_t(1));
        QCOMPARE(m_window->ZipPane().Model().Archives().At(0).Path(), archive);
    }

    // The dialog's layout and results: 330 pixels wide, client height (profiles + 2)
    // button heights + header + 16, with or without profiles; each button's result.
    void AutoDownloadDialogLayoutAndResult()
    {
        const std::string address = "http://example.test/a.html";
        for (const std::vector<std::string>& profiles :
             {std::vector<std::string>{}, std::vector<std::string>{"Alpha", "beta", "Gamma"}})
        {
            TdlgAutoHarbex dialog(address, profiles);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QCOMPARE(dialog.width(), 330);
            const int buttonHeight = dialog.Buttons.front()->height();
            QCOMPARE(dialog.height(),
                     static_cast<int>(profiles.size() + 2) * buttonHeight + dialog.pnlHeader->height() + 16);
            QCOMPARE(dialog.Buttons.size(), profiles.size() + 2);
            for (QPushButton* button : dialog.Buttons)
                QCOMPARE(button->width(), dialog.width());
            QVERIFY(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
            QCOMPARE(dialog.lblAddress->text(), QString::fromStdString(address));
        }
        const auto resultOf = [&](const QString& caption)
        {
            TdlgAutoHarbex dialog(address, {"Alpha", "Beta"});
            dialog.show();
            QTest::mouseClick(ButtonCaptioned(dialog, caption), Qt::LeftButton);
            return std::make_pair(dialog.result(), dialog.Profile());
        };
        QCOMPARE(resultOf("Beta"), std::make_pair(int(QDialog::Accepted), std::string("Beta")));
        QCOMPARE(resultOf("Use Harbex Wizard..."), std::make_pair(int(QDialog::Accepted), std::string()));
        QCOMPARE(resultOf("Cancel").first, int(QDialog::Rejected));

        // Profile files are listed by name, letter case ignored in the order.
        const std::string folder = Home() + "profiles/";
        for (const char* name : {"zeta.hxp", "Alpha.hxp", "beta.hxp", "notes.txt"})
            WriteFile(std::string("profiles/") + name, "[Profile]\n");
        QCOMPARE(Texts(TdlgAutoHarbex::ProfileNames(folder)), (QStringList{"Alpha", "beta", "zeta"}));
    }

    // An address too wide for the header loses its middle parts first, widening
    // from the middle, then the host; the last part always stays.
    void AddressShortensFromTheMiddle()
    {
        const QFontMetrics metrics(QApplication::font());
        const QString address = QStringLiteral("http://www.example.test/one/two/three/four/page.html");
        const auto width = [&](const QString& text) { return metrics.horizontalAdvance(text); };
        QCOMPARE(TdlgAutoHarbex::ShortenAddress(address, metrics, width(address)), address);
        for (const QString& expected :
             {QStringLiteral("http://www.example.test/one/.../three/four/page.html"),
              QStringLiteral("http://www.example.test/one/.../four/page.html"),
              QStringLiteral("http://www.example.test/.../four/page.html"),
              QStringLiteral("http://www.example.test/.../page.html"), QStringLiteral("http://.../page.html")})
            QCOMPARE(TdlgAutoHarbex::ShortenAddress(address, metrics, width(expected)), expected);
        // A trailing "/" stays with the last folder.
        QCOMPARE(TdlgAutoHarbex::ShortenAddress(QStringLiteral("http://host.test/a/b/c/docs/"), metrics,
                                                width(QStringLiteral("http://host.test/.../docs/"))),
                 QStringLiteral("http://host.test/.../docs/"));
        // Narrower than even that: the end of the text stays, within the width.
        const QString tiny = TdlgAutoHarbex::ShortenAddress(address, metrics, width(QStringLiteral("page.html")) + 2);
        QVERIFY(tiny.endsWith(QStringLiteral("html")));
        QVERIFY(width(tiny) <= width(QStringLiteral("page.html")) + 2);

        // In the dialog the shortened address fills the header's width.
        TdlgAutoHarbex dialog(address.toStdString() + "/" + QString(20, 'x').toStdString() + "/" +
                                  QString(40, 'y').toStdString() + "/last-part.html",
                              {});
        dialog.show();
        QVERIFY(dialog.lblAddress->text().contains(QStringLiteral("...")));
        QVERIFY(dialog.lblAddress->text().endsWith(QStringLiteral("/last-part.html")));
        QVERIFY(dialog.lblAddress->fontMetrics().horizontalAdvance(dialog.lblAddress->text()) <=
                TdlgAutoHarbex::AddressWidth());
    }

    // A second start hands its parameters over, in order; a running program also
    // takes a hand-over without parameters; a socket file left by a crashed program
    // does not keep the first start from listening.
    void SecondStartHandsItsParametersOver()
    {
        const QString name =
            QStringLiteral("harbex-test-%1-%2").arg(::getpid()).arg(QDateTime::currentMSecsSinceEpoch());
        THXSingleInstance first(name);
        QVERIFY(!first.HandOverOrListen({}));
        QVERIFY(first.Listening());
        QSignalSpy received(&first, &THXSingleInstance::ParametersReceived);
        {
            THXSingleInstance second(name);
            QVERIFY(second.HandOverOrListen({QStringLiteral("/tmp/a b.zip"), QStringLiteral("/tmp/ü.hxt")}));
            QVERIFY(!second.Listening());
        }
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(received.at(0).at(0).toStringList(), (QStringList{"/tmp/a b.zip", "/tmp/ü.hxt"}));
        {
            THXSingleInstance third(name);
            QVERIFY(third.HandOverOrListen({}));
        }
        QTRY_COMPARE(received.size(), 2);
        QCOMPARE(received.at(1).at(0).toStringList(), QStringList());
    }

    void StaleSocketDoesNotBlockTheFirstStart()
    {
        const QString name =
            QStringLiteral("harbex-stale-%1-%2").arg(::getpid()).arg(QDateTime::currentMSecsSinceEpoch());
        const QByteArray path = QDir::temp().filePath(name).toLocal8Bit();
        // A socket bound and never closed properly, as a crashed program leaves it.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
        QVERIFY(QFile::exists(QString::fromLocal8Bit(path)));

        THXSingleInstance first(name);
        QVERIFY(!first.HandOverOrListen({QStringLiteral("/tmp/x.zip")}, 500));
        QVERIFY(first.Listening());
        QSignalSpy received(&first, &THXSingleInstance::ParametersReceived);
        THXSingleInstance second(name);
        QVERIFY(second.HandOverOrListen({QStringLiteral("/tmp/y.zip")}));
        QTRY_COMPARE(received.size(), 1);
    }

    // The built program started twice under one program folder: the second start
    // hands its archive over and ends at once, and the running program opens it
    // (the archive joins the recent list in its settings file). After the running
    // program is killed, its socket is left behind, and a new start runs all the same.
    void BuiltProgramStartsOnce()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("HARBEX_HOME"), m_home->path() + QStringLiteral("/program"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home->path());
        const auto start = [&](QProcess& process, const QStringList& arguments)
        {
            process.setProcessEnvironment(environment);
            process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process.start(QStringLiteral(HX_HARBEX_PROGRAM), arguments);
            return process.waitForStarted(5000);
        };
        const QString settings = m_home->path() + QStringLiteral("/program/Harbex.reg");
        const auto settingsText = [&]
        {
            QFile file(settings);
            return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
        };

        // The name the programs listen on under this program folder; a probe that
        // connects and closes without a message hands nothing over.
        const QString serverName = [&]
        {
            const QByteArray own = qgetenv("HARBEX_HOME");
            qputenv("HARBEX_HOME", environment.value(QStringLiteral("HARBEX_HOME")).toUtf8());
            const QString name = THXSingleInstance::DefaultServerName();
            if (own.isNull())
                qunsetenv("HARBEX_HOME");
            else
                qputenv("HARBEX_HOME", own);
            return name;
        }();
        const auto listening = [&]
        {
            QLocalSocket probe;
            probe.connectToServer(serverName);
            const bool answered = probe.waitForConnected(500);
            probe.abort();
            return answered;
        };

        QProcess running;
        QVERIFY(start(running, {}));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(settings), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(listening(), 15000);
        const std::string archive = MakeArchive("handed.zip");
        QProcess second;
        QVERIFY(start(second, {QString::fromStdString(archive)}));
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(running.state(), QProcess::Running);
        QTRY_VERIFY_WITH_TIMEOUT(settingsText().contains(QStringLiteral("handed.zip")), 10000);

        running.kill();
        QVERIFY(running.waitForFinished(5000));
        QProcess again;
        QVERIFY(start(again, {}));
        // The killed program's socket is left behind: only the new start's own answers.
        QTRY_VERIFY_WITH_TIMEOUT(listening(), 15000);
        QCOMPARE(again.state(), QProcess::Running);
        QProcess third;
        QVERIFY(start(third, {}));
        QVERIFY(third.waitForFinished(10000));
        QCOMPARE(third.exitCode(), 0);
        again.kill();
        again.waitForFinished(5000);
    }
};

} // namespace hx

int RunMainDropTests(int argc, char** argv)
{
    hx::HXMainDropTest tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "HXMainDropTest.moc"
