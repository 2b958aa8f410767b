// The Tasks view's report commands against the real report writers and Zip
// component: the "Task Reports" window shows the writing's steps, opens the summary
// and releases itself; the open commands create the reports only when their page is missing,
// a Zip task is reported from its unpacked archive or, when the archive is gone,
// the user is asked to run it, and "Errors" writes and opens the error page.

#include "schedule/ui/HXReportCommands.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QMessageBox>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "archive/XcdZipD4.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "reports/HXTaskReport.h"
#include "schedule/HXScheduler.h"
#include "schedule/ui/HXdlgTaskReport.h"
#include "archive/HXZipTemp.h"
#include "support/ui/HXBoxAnswer.h"
#include "HXMonitorTestSupport.h"

namespace hx
{
namespace
{

using test::TBoxAnswer;

// A GIF whose image descriptor gives 31 x 17 pixels.
std::string SmallGif()
{
    std::string gif = "GIF89a";
    gif += std::string("\x1F\x00\x11\x00\x00\x00\x00", 7);
    gif += std::string("\x2C\x00\x00\x00\x00\x1F\x00\x11\x00\x00", 10);
    return gif;
}

class TReportCommandsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<THXApp> m_app;
    std::shared_ptr<THXTask> m_task;
    std::unique_ptr<TTaskReportCommands> m_commands;
    std::vector<std::string> m_opened;
    std::vector<std::string> m_statusLines;
    std::vector<THXTask*> m_runs;

    std::string Home() const { return m_home->path().toStdString() + "/"; }

    // One saved item of the copy: its queue record, and its file below root.
    void AddSaved(const std::string& root, const std::string& url, const std::string& group, const std::string& title,
                  const std::string& bytes)
    {
        THXQItem item;
        item.URL = url;
        item.Group = group;
        item.Title = title;
        item.Referrer = m_task->URL;
        item.State = kStateParsed;
        item.Size = static_cast<std::int64_t>(bytes.size());
        m_task->AddItem(std::move(item));
        const std::string local = LocalFileName(root, DirectoryURL(url), url);
        ForceDirectories(ExtractFilePath(local));
        QVERIFY(WriteFileAtomic(local, bytes));
    }

    // A copied site of two pages and a picture, and one page whose fetch failed;
    // its files are written below root and its queue through the task.
    void MakeCopy(const std::string& root)
    {
        AddSaved(root, "http://www.example.com/index.html", "HTML", "Example Home", "<html>home</html>");
        AddSaved(root, "http://www.example.com/about.html", "HTML", "About Us", "<html>about</html>");
        AddSaved(root, "http://www.example.com/img/logo.gif", "Images", "Logo", SmallGif());
        THXQItem failed;
        failed.URL = "http://www.example.com/gone.html";
        failed.Group = "HTML";
        failed.Referrer = m_task->URL;
        failed.State = kStateError;
        failed.StatusText = "[404] Not Found";
        m_task->AddItem(std::move(failed));
        m_task->SaveQueue();
        m_task->PagesSaved = 3;
        m_task->PageErrors = 1;
        m_task->TotalPages = 3;
        m_task->ResourcesSaved = 1;
        m_task->TotalResources = 1;
    }

    // The task's Zip archive made from a copy staged outside the temporary folder.
    void MakeArchive()
    {
        const std::string staged = Home() + "staged/";
        MakeCopy(staged);
        TXceedZip zip;
        zip.ZipFileName = m_task->Destination;
        zip.BaseFolder = staged;
        zip.Recurse = true;
        zip.FilesToProcess = {"*.*"};
        QCOMPARE(zip.Add(), xcd::Success);
        QCOMPARE(zip.Count(), 3);
    }

    std::string Read(const std::string& path) const { return ReadWholeFile(path).value_or(""); }

    // The report window on the screen, if any.
    static TdlgTaskReport* ReportWindow()
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<TdlgTaskReport*>(widget); window && window->isVisible())
                return window;
        return nullptr;
    }

private slots:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        m_app = std::make_unique<THXApp>(THXEnvironment::UnderHome(m_home->path().toStdString()));
        for (const std::string_view name : kReportDecorations)
        {
            ForceDirectories(Home() + "Skins/Default/");
            QVERIFY(WriteFileAtomic(Home() + "Skins/Default/" + std::string(name), "picture"));
        }
        m_task = std::make_shared<THXTask>(*m_app);
        m_task->Name = "Site";
        m_task->FileName = m_app->TasksFolder() + "General/Site.hxt";
        m_task->URL = "http://www.example.com/index.html";
        m_task->StartPageTitle = "Example Home";
        m_opened.clear();
        m_statusLines.clear();
        m_runs.clear();
        m_commands = std::make_unique<TTaskReportCommands>(*m_app);
        m_commands->Pages = TPageOpener(*m_app,
                                        [this](const TLaunchRequest& request)
                                        {
                                            m_opened.push_back(request.Target);
                                            return true;
                                        });
        m_commands->Progress = [this](const std::string& text, int) { m_statusLines.push_back(text); };
        m_commands->RunTask = [this](THXTask& task) { m_runs.push_back(&task); };
    }

    void cleanup()
    {
        m_commands.reset();
        m_task.reset();
        m_app.reset();
        m_home.reset();
    }

    // "Create Reports" shows the "Task Reports" window, 80 pixels high with a label
    // and a bar from 0 to 100; it names each step while the pages are written (the
    // bar moving by thirds over three index pages), then opens the summary and
    // releases itself.
    void ReportWindowShowsTheStepsThenOpensTheSummaryAndGoes()
    {
        m_task->IntranetMode = true;
        m_task->Destination = Home() + "intranet/";
        for (int page = 1; page <= 45; ++page)
            AddSaved(m_task->Destination, "http://www.example.com/p" + std::to_string(page) + ".html", "HTML",
                     "Page " + std::to_string(page), "<html>" + std::to_string(page) + "</html>");
        MakeCopy(m_task->Destination);
        // 48 pages less the one that failed: three index pages.
        m_task->PagesSaved = 48;
        m_task->TotalPages = 48;
        const std::string site = Home() + "intranet/www.example.com/";

        m_commands->CreateReports(*m_task);
        const QPointer<TdlgTaskReport> window = ReportWindow();
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Task Reports"));
        QCOMPARE(window->height(), 80);
        QCOMPARE(window->lblStatus->text(), QStringLiteral("Creating Task Summary"));
        QCOMPARE(window->pbProgress->minimum(), 0);
        QCOMPARE(window->pbProgress->maximum(), 100);
        QCOMPARE(window->pbProgress->value(), 0);
        QVERIFY(m_opened.empty());

        QStringList steps;
        bool pictured = false;
        connect(window->pbProgress, &QProgressBar::valueChanged, window,
                [&](int value)
                {
                    steps << window->lblStatus->text() + QStringLiteral(" ") + QString::number(value);
                    if (!pictured && value > 0 && value < 100)
                    {
                        pictured = true;
                        test::SaveScreenshot(*window, QStringLiteral("task-reports"));
                        QVERIFY(test::FirstClippedChild(*window).isEmpty());
                    }
                });
        QSignalSpy finished(window.data(), &TdlgTaskReport::Finished);
        QTRY_VERIFY(window.isNull());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.front().front().toString(), QString::fromStdString(site + "!Site_summary.htm"));
        QCOMPARE(m_opened, std::vector<std::string>{site + "!Site_summary.htm"});
        const QStringList expected = {
            QStringLiteral("Creating Page Index 33"),   QStringLiteral("Creating Page Index 67"),
            QStringLiteral("Creating Page Index 100"),  QStringLiteral("Creating Image Index 0"),
            QStringLiteral("Creating Image Index 100"),
        };
        QCOMPARE(steps, expected);
        QVERIFY(pictured);
        QVERIFY(Read(site + "!Site_pages_3.htm").find("About Us") != std::string::npos);
        QVERIFY(FileExists(site + "!Site_images_1.htm"));
    }

    // A queue file that cannot be read stops the writing at the page index: the
    // engine's message is shown, the summary already written stays but is not
    // opened, and the window goes all the same.
    void UnreadableQueueIsReportedAndNothingIsOpened()
    {
        m_task->IntranetMode = true;
        m_task->Destination = Home() + "intranet/";
        MakeCopy(m_task->Destination);
        QVERIFY(std::filesystem::remove(m_task->QueueFileName()));

        TBoxAnswer answer(QMessageBox::Ok);
        m_commands->CreateReports(*m_task);
        const QPointer<TdlgTaskReport> window = ReportWindow();
        QVERIFY(window);
        QTRY_VERIFY(window.isNull());
        QTRY_COMPARE(answer.Seen(), 1);
        QVERIFY(answer.Text().contains(QString::fromStdString(m_task->QueueFileName())));
        QVERIFY(m_opened.empty());
        QVERIFY(FileExists(Home() + "intranet/www.example.com/!Site_summary.htm"));
    }

    // "Task Summary" on an intranet copy without reports creates them all and opens
    // the summary; asked again it opens the existing page without writing it anew.
    // An index that is missing makes the reports again, and the summary is opened.
    void OpenCommandsCreateMissingReportsAndOpenExistingOnes()
    {
        m_task->IntranetMode = true;
        m_task->Destination = Home() + "intranet/";
        MakeCopy(m_task->Destination);
        const std::string site = Home() + "intranet/www.example.com/";
        const std::string summary = site + "!Site_summary.htm";

        TBoxAnswer unexpected(QMessageBox::Ok);
        m_commands->OpenTaskSummary(*m_task);
        // The report window writes them and opens the summary when it is done.
        QTRY_COMPARE(m_opened, std::vector<std::string>{summary});
        QCOMPARE(unexpected.Seen(), 0);
        QVERIFY(Read(summary).find("Example Home") != std::string::npos);
        QVERIFY(Read(site + "!Site_pages_1.htm").find("About Us") != std::string::npos);
        QVERIFY(FileExists(site + "!Site_images_1.htm"));
        QVERIFY(FileExists(site + "!images/backgrnd.jpg"));

        QVERIFY(WriteFileAtomic(summary, "kept as it was"));
        m_commands->OpenTaskSummary(*m_task);
        QCOMPARE(m_opened.size(), std::size_t(2));
        QCOMPARE(m_opened.back(), summary);
        QCOMPARE(Read(summary), std::string("kept as it was"));

        m_commands->OpenPageIndex(*m_task);
        QCOMPARE(m_opened.back(), site + "!Site_pages_1.htm");
        QCOMPARE(Read(summary), std::string("kept as it was"));

        QVERIFY(std::filesystem::remove(site + "!Site_images_1.htm"));
        m_commands->OpenImageIndex(*m_task);
        QTRY_COMPARE(m_opened.size(), std::size_t(4));
        QCOMPARE(m_opened.back(), summary);
        QVERIFY(Read(summary).find("Example Home") != std::string::npos);
        QVERIFY(FileExists(site + "!Site_images_1.htm"));
        QVERIFY(m_runs.empty());
    }

    // A Zip task whose archive is gone is not reported on: the question is asked,
    // Yes queues the task to run, No does nothing, and no page is opened.
    void MissingArchiveAsksToRunTheTask()
    {
        m_task->Destination = Home() + "Downloads/Site.zip";
        {
            TBoxAnswer answer(QMessageBox::Yes);
            m_commands->OpenTaskSummary(*m_task);
            QCOMPARE(answer.Seen(), 1);
            QCOMPARE(answer.Text(), QString::fromStdString(std::string(kZipMissingQuestion)));
        }
        QCOMPARE(m_runs, std::vector<THXTask*>{m_task.get()});
        {
            TBoxAnswer answer(QMessageBox::No);
            m_commands->CreateReports(*m_task);
            QCOMPARE(answer.Seen(), 1);
        }
        QCOMPARE(m_runs.size(), std::size_t(1));
        QVERIFY(m_opened.empty());
        QVERIFY(!FileExists(m_app->GetTempFolder() + "www.example.com/!Site_summary.htm"));
    }

    // A Zip task's archive is unpacked into the temporary folder first, so the image
    // index measures the picture taken from the archive.
    void ZipTaskIsReportedFromItsUnpackedArchive()
    {
        ForceDirectories(Home() + "Downloads/");
        m_task->Destination = Home() + "Downloads/Site.zip";
        MakeArchive();
        const std::string site = m_app->GetTempFolder() + "www.example.com/";
        QVERIFY(!FileExists(site + "index.html"));

        // No box is expected; one that came would be closed and counted, not left blocking.
        TBoxAnswer unexpected(QMessageBox::Ok);
        m_commands->CreateReports(*m_task);
        const QPointer<TdlgTaskReport> window = ReportWindow();
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Task Reports"));
        QTRY_VERIFY(window.isNull());
        QCOMPARE(m_opened, std::vector<std::string>{site + "!Site_summary.htm"});
        QCOMPARE(unexpected.Seen(), 0);
        QCOMPARE(Read(site + "about.html"), std::string("<html>about</html>"));
        QVERIFY(Read(site + "!Site_images_1.htm").find("W: 31, H: 17") != std::string::npos);
        QVERIFY(std::find(m_statusLines.begin(), m_statusLines.end(), std::string(kAllFilesExtracted)) !=
                m_statusLines.end());
        QVERIFY(m_runs.empty());

        // The page index opens from the unpacked copy once the reports exist.
        m_commands->OpenPageIndex(*m_task);
        QCOMPARE(m_opened.back(), site + "!Site_pages_1.htm");
    }

    // "Errors" writes the failed items into the error page and opens it; without a
    // queue file the engine's message is shown and nothing is opened.
    void ErrorsWritesAndOpensTheErrorPage()
    {
        m_task->IntranetMode = true;
        m_task->Destination = Home() + "intranet/";
        MakeCopy(m_task->Destination);
        const std::string page = m_app->GetTempFolder() + "Site_errors.htm";

        m_commands->WriteErrorReport(*m_task);
        QCOMPARE(m_opened, std::vector<std::string>{page});
        const std::string text = Read(page);
        QVERIFY(text.find("http://www.example.com/gone.html") != std::string::npos);
        QVERIFY(text.find("[404] Not Found") != std::string::npos);
        QVERIFY(text.find("about.html") == std::string::npos);

        QVERIFY(std::filesystem::remove(m_task->QueueFileName()));
        m_opened.clear();
        TBoxAnswer answer(QMessageBox::Ok);
        m_commands->WriteErrorReport(*m_task);
        QCOMPARE(answer.Seen(), 1);
        QVERIFY(answer.Text().contains(QString::fromStdString(m_task->QueueFileName())));
        QVERIFY(m_opened.empty());
    }
};

} // namespace
} // namespace hx

QTEST_MAIN(hx::TReportCommandsTest)
#include "HXReportCommandsTest.moc"
