// The main window's archive side as a person uses it: the Zips and Pages trees of
// a Zip task's archive, deleting from an archive, the File Zip Wizard's adds, the
// unzip dialog, renaming an archive, a damaged archive, and all of it while a Zip
// task is feeding its own archive. Archives are checked with the Zip component's
// own listing (and with Debian's unzip where a test says so).

#include "shell/ui/HXMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include "HXMainWindowFixture.h"
#include "archive/ui/HXFormExtract.h"
#include "archive/ui/HXFormZip.h"
#include "archive/ui/HXwizFileZip.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXTask.h"
#include "shell/ui/HXZipTreeModel.h"
#include "support/HXTestServer.h"
#include "support/ui/HXBoxAnswer.h"
#include "support/ui/HXWhenShown.h"

namespace hx
{

namespace
{

using test::TActTimes;
using test::TBoxAnswer;
using test::THXTestServer;
using test::TRecordedRequest;
using test::TReply;
using test::TWhenShown;

// A start page with two pages and a picture; /many/ has twenty pages, each answered late.
TReply SiteReply(const TRecordedRequest& request)
{
    const std::string& target = request.Target;
    const auto html = [](const std::string& body) { return TReply::Text(200, body, {{"Content-Type", "text/html"}}); };
    if (target == "/" || target == "/index.html")
        return html("<html><head><title>Start</title></head><body><a href=\"a.html\">a</a> "
                    "<a href=\"sub/b.html\">b</a><img src=\"pic.gif\"></body></html>");
    if (target == "/a.html")
        return html("<html><head><title>Page A</title></head><body>a</body></html>");
    if (target == "/sub/b.html")
        return html("<html><head><title>Page B</title></head><body>b</body></html>");
    if (target == "/pic.gif")
        return TReply::Text(200, "GIF89a", {{"Content-Type", "image/gif"}});
    if (target == "/many/index.html")
    {
        std::string body = "<html><head><title>Many</title></head><body>";
        for (int i = 0; i < 20; ++i)
            body += "<a href=\"p" + std::to_string(i) + ".html\">p</a>";
        return html(body + "</body></html>");
    }
    if (target.starts_with("/many/p"))
    {
        const std::string body = "<html><head><title>P</title></head><body>" + target + "</body></html>";
        TReply late;
        late.Pause(std::chrono::milliseconds(150));
        late.Send(
            test::ResponseHead(200, {{"Content-Type", "text/html"}, {"Content-Length", std::to_string(body.size())}}) +
            body);
        return late;
    }
    return TReply::Text(404, "missing");
}

// Every stored name of an archive.
std::set<std::string> EntryNames(const std::string& archive)
{
    TXceedZip zip;
    zip.ZipFileName = archive;
    std::set<std::string> names;
    zip.OnListing = [&names](const TXcdFileStats& stats) { names.insert(stats.FileName); };
    zip.List("");
    return names;
}

} // namespace

class HXMainArchiveTest : public QObject, protected test::TMainWindowFixture
{
    Q_OBJECT

private:
    TZipPane& Pane() { return m_window->ZipPane(); }
    TZipTreeModel& Tree() { return Pane().Model(); }

    // The texts of a node's children.
    QStringList ChildTexts(const TZipTreeNode& node)
    {
        QStringList texts;
        for (const auto& child : node.Children)
            texts << QString::fromStdString(child->Text);
        return texts;
    }

    // An archive of files written under `base`, stored relative to it.
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

    // Copies the sample site to a Zip task, as a person does with the address box.
    std::shared_ptr<THXTask> CopyToArchive(const std::string& path)
    {
        m_window->cmbProfile->setCurrentText(QStringLiteral("Whole Site"));
        m_window->cmbURL->setEditText(QString::fromStdString("http://" + m_server->HostPort() + path));
        QTest::mouseClick(m_window->btnGO, Qt::LeftButton);
        const bool started = QTest::qWaitFor([this] { return m_window->Runner().RunningTask() != nullptr; }, 5000);
        return started ? m_window->Runner().RunningTask() : nullptr;
    }

    // The stored name in the archive that ends with `tail`.
    static std::string StoredNameEndingWith(const TZipArchive& archive, const std::string& tail)
    {
        for (const std::string& name : archive.FileNames())
            if (name.ends_with(tail))
                return name;
        return {};
    }

    void SelectNode(const TZipTreeNode& node)
    {
        // The window is active again after a dialog closed, as on a desktop.
        QApplication::setActiveWindow(m_window.get());
        Pane().tvZip->setFocus();
        Pane().Select(node);
    }

    // A Zip menu command as a person gives it: the menu opens (which sets what is
    // enabled), then the item.
    void ZipCommand(const char* name)
    {
        QMenu* menu = m_window->findChild<QMenu*>(QStringLiteral("mnuZip"));
        QVERIFY(menu);
        emit menu->aboutToShow();
        QAction* action = m_window->Action(QString::fromLatin1(name));
        QVERIFY2(action->isEnabled(), name);
        action->trigger();
    }

private slots:
    void init()
    {
        StartHome();
        StartServer(SiteReply);
        OpenWindow();
    }

    void cleanup() { Stop(); }

    // A Zip task's archive is in the Zips tree with its folders and the page titles
    // as comments; the Pages tree lists its pages; the contents list its files.
    void ZipTaskArchiveShowsInBothTrees()
    {
        const std::shared_ptr<THXTask> task = CopyToArchive("/index.html");
        QVERIFY(task);
        QTRY_VERIFY_WITH_TIMEOUT(task->Status == kStatusZipped, 20000);
        QCOMPARE(Tree().Archives().Count(), std::size_t(1));
        TZipArchive& archive = Tree().Archives().At(0);
        QCOMPARE(archive.Path(), task->Destination);
        QCOMPARE(QString::fromStdString(archive.Root().Text), QStringLiteral("Start.zip"));
        const TZipTreeNode* start = archive.FindFile(StoredNameEndingWith(archive, "/index.html"));
        QVERIFY(start);
        QCOMPARE(QString::fromStdString(start->Text), QStringLiteral("index.html   (Start)"));
        const TZipTreeNode* pageB = archive.FindFile(StoredNameEndingWith(archive, "/sub/b.html"));
        QVERIFY(pageB);
        QCOMPARE(QString::fromStdString(pageB->Text), QStringLiteral("b.html   (Page B)"));
        QCOMPARE(QString::fromStdString(pageB->Parent->Text), QStringLiteral("sub"));

        // Opening it again selects it; it is not listed twice.
        SelectNode(archive.Root());
        QCOMPARE(Pane().OpenZip(archive.Path()), &archive);
        QCOMPARE(Tree().Archives().Count(), std::size_t(1));

        m_window->tabsLeft->setCurrentIndex(1);
        QStringList pages;
        for (const TZipPage& page : Pane().PagesModel().Pages())
            pages << QString::fromStdString(page.Text);
        pages.sort();
        QCOMPARE(pages, (QStringList{"a.html   (Page A)", "b.html   (Page B)", "index.html   (Start)"}));
        QCOMPARE(Pane().Contents()->ListedTotals().Count, 4);
        QCOMPARE(m_window->RecentFiles().front(), task->Destination);
    }

    // Del on a folder node asks, deletes its entries, and takes the folders left
    // empty with it; the archive's root stays.
    void DeletingAFolderPrunesTheTree()
    {
        const std::string path = MakeArchive(
            "del.zip", {{"site/a/x.txt", "x"}, {"site/a/deep/y.txt", "y"}, {"site/b.txt", "b"}, {"top.txt", "t"}});
        TZipArchive* archive = Pane().OpenZip(path);
        QVERIFY(archive);
        SelectNode(*archive->FindFolder("site/a/"));
        {
            TBoxAnswer yes(QMessageBox::Yes);
            QTest::keyClick(Pane().tvZip, Qt::Key_Delete);
            QCOMPARE(yes.Text(), QStringLiteral("Are you sure you want to delete the folder a and all its contents?"));
        }
        QCOMPARE(EntryNames(path), (std::set<std::string>{"site/b.txt", "top.txt"}));
        QVERIFY(!archive->FindFolder("site/a/"));
        QVERIFY(!archive->FindFolder("site/a/deep/"));
        SelectNode(*archive->FindFile("site/b.txt"));
        {
            TBoxAnswer no(QMessageBox::No);
            QTest::keyClick(Pane().tvZip, Qt::Key_Delete);
            QCOMPARE(no.Text(), QStringLiteral("Are you sure you want to delete b.txt?"));
        }
        QCOMPARE(EntryNames(path).size(), std::size_t(2));
        {
            TBoxAnswer yes(QMessageBox::Yes);
            QTest::keyClick(Pane().tvZip, Qt::Key_Delete);
        }
        QCOMPARE(EntryNames(path), (std::set<std::string>{"top.txt"}));
        QVERIFY(!archive->FindFolder("site/"));
        QCOMPARE(ChildTexts(archive->Root()), QStringList{"top.txt"});
        QCOMPARE(Pane().SelectedNode(), &archive->Root());
    }

    // The wizard's three actions against the files' dates: add and replace takes
    // everything, freshen only newer files already in the archive, update newer
    // ones and new ones.
    void WizardAddsWithEachAction()
    {
        namespace fs = std::filesystem;
        const std::string folder = Home() + "files/";
        ForceDirectories(folder);
        const auto write = [&](const std::string& name, const std::string& text, int ageSeconds)
        {
            WriteFileAtomic(folder + name, text);
            fs::last_write_time(folder + name, fs::file_time_type::clock::now() - std::chrono::seconds(ageSeconds));
        };
        write("old.txt", "old", 3600);
        write("kept.txt", "kept", 3600);
        const std::string archivePath = Home() + "wizard.zip";
        const auto runWizard = [&](bool existing, std::vector<std::string> files, QRadioButton* TwizFileZip::*action)
        {
            TWhenShown<TwizFileZip> step(
                [&](TwizFileZip& wizard)
                {
                    wizard.ChooseFiles = [&](QWidget*, const TFileChooserRequest& request) -> QStringList
                    {
                        if (request.Kind == TFileChooserKind::ExistingFiles)
                        {
                            QStringList list;
                            for (const std::string& file : files)
                                list << QString::fromStdString(folder + file);
                            return list;
                        }
                        return {QString::fromStdString(archivePath)};
                    };
                    QTest::mouseClick(existing ? wizard.btnOpenZip : wizard.btnNewZip, Qt::LeftButton);
                    (wizard.*action)->click();
                    QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
                    QTest::mouseClick(wizard.btnAdd, Qt::LeftButton);
                    wizard.cbUsePaths->setChecked(false);
                    QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
                    QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
                },
                TActTimes::Once);
            TBoxAnswer anyBox(QMessageBox::Ok);
            m_window->Action("miFileNewFileZip")->trigger();
            QVERIFY(step.Done());
            QCOMPARE(anyBox.Seen(), 0);
        };
        runWizard(false, {"old.txt", "kept.txt"}, &TwizFileZip::rbAddReplace);
        QCOMPARE(EntryNames(archivePath), (std::set<std::string>{"kept.txt", "old.txt"}));
        TZipArchive* archive = Tree().Archives().Find(archivePath);
        QVERIFY(archive && archive->FindFile("old.txt") && archive->FindFile("kept.txt"));

        // old.txt changes; new.txt appears.
        write("old.txt", "old, changed", 0);
        write("new.txt", "new", 0);
        const auto stored = [&](const std::string& name)
        {
            const std::string out = Home() + "out/";
            TXceedZip zip;
            zip.ZipFileName = archivePath;
            zip.ExtractDirectory = out;
            zip.Overwrite = TXcdOverwrite::xowAlways;
            zip.FilesToProcess = {name};
            zip.Extract();
            return ReadWholeFile(out + name).value_or("<none>");
        };
        runWizard(true, {"old.txt", "kept.txt", "new.txt"}, &TwizFileZip::rbFreshen);
        QCOMPARE(stored("old.txt"), std::string("old, changed"));
        QCOMPARE(EntryNames(archivePath).count("new.txt"), std::size_t(0));
        QVERIFY(!archive->FindFile("new.txt"));
        runWizard(true, {"new.txt", "kept.txt"}, &TwizFileZip::rbUpdate);
        QCOMPARE(EntryNames(archivePath), (std::set<std::string>{"kept.txt", "new.txt", "old.txt"}));
        QVERIFY(archive->FindFile("new.txt"));
        QCOMPARE(stored("kept.txt"), std::string("kept"));
    }

    // Unzip with and without folder paths; without overwrite the replace question
    // comes, and No keeps the file on disk.
    void UnzipWithPathsAndOverwriteChoices()
    {
        const std::string path = MakeArchive("unzip.zip", {{"site/a.txt", "archive a"}, {"top.txt", "archive top"}});
        TZipArchive* archive = Pane().OpenZip(path);
        const std::string out = Home() + "out/";
        const auto unzip = [&](bool usePaths, bool overwrite)
        {
            SelectNode(archive->Root());
            TWhenShown<TFormExtract> step(
                [&](TFormExtract& dialog)
                {
                    dialog.findChild<QLineEdit*>()->setText(QString::fromStdString(out));
                    dialog.cbUsePaths->setChecked(usePaths);
                    dialog.cbOverwrite->setChecked(overwrite);
                    QTest::keyClick(&dialog, Qt::Key_Return);
                },
                TActTimes::Once);
            ZipCommand("miZipUnzip");
            QVERIFY(step.Done());
        };
        unzip(true, true);
        QCOMPARE(ReadWholeFile(out + "site/a.txt").value_or(""), std::string("archive a"));
        QVERIFY(!FileExists(out + "a.txt"));
        unzip(false, true);
        QCOMPARE(ReadWholeFile(out + "a.txt").value_or(""), std::string("archive a"));

        WriteFileAtomic(out + "top.txt", "mine");
        {
            TBoxAnswer no(QMessageBox::No);
            unzip(false, false);
            QVERIFY(no.Text().startsWith(QStringLiteral("Replace File : ")));
            QVERIFY(no.Seen() >= 1);
        }
        QCOMPARE(ReadWholeFile(out + "top.txt").value_or(""), std::string("mine"));
    }

    // Renaming an open archive in the tree: the file, the node, the recent list and
    // the task saved to it follow; a name with a folder step is refused and the
    // node keeps its text.
    void RenamingAnArchiveMovesFileListAndTask()
    {
        const std::shared_ptr<THXTask> task = CopyToArchive("/index.html");
        QVERIFY(task);
        QTRY_VERIFY_WITH_TIMEOUT(task->Status == kStatusZipped, 20000);
        const std::string oldPath = task->Destination;
        TZipArchive* archive = Tree().Archives().Find(oldPath);
        QVERIFY(archive);
        const QModelIndex root = Tree().IndexOf(archive->Root());
        {
            TBoxAnswer ok(QMessageBox::Ok);
            QVERIFY(!Tree().setData(root, QStringLiteral("../away.zip")));
            QVERIFY(ok.Text().startsWith(QStringLiteral("Unable to rename file to: ")));
        }
        QCOMPARE(root.data().toString(), QStringLiteral("Start.zip"));
        QVERIFY(Tree().setData(root, QStringLiteral("Renamed.zip")));
        const std::string newPath = m_app->GetDownloadsFolder() + "Renamed.zip";
        QCOMPARE(archive->Path(), newPath);
        QCOMPARE(root.data().toString(), QStringLiteral("Renamed.zip"));
        QVERIFY(FileExists(newPath) && !FileExists(oldPath));
        const std::vector<std::string> recent = m_window->RecentFiles();
        QCOMPARE(recent.front(), newPath);
        QVERIFY(std::find(recent.begin(), recent.end(), oldPath) == recent.end());
        QCOMPARE(task->Destination, newPath);
        QVERIFY(ReadWholeFile(task->FileName).value_or("").find("Renamed.zip") != std::string::npos);
    }

    // A file that is no archive: the design's message, an empty root, and the tree
    // goes on working (another archive opens and lists).
    void DamagedArchiveIsToldAndTheTreeStaysUsable()
    {
        WriteFileAtomic(Home() + "bad.zip", "this is not a zip archive at all, only text");
        {
            TBoxAnswer ok(QMessageBox::Ok);
            TZipArchive* bad = Pane().OpenZip(Home() + "bad.zip");
            QVERIFY(bad);
            QCOMPARE(ok.Text(), QStringLiteral("The archive file is corrupted. Try using the Fix option on it."));
            QVERIFY(bad->Root().Children.empty());
        }
        const std::string good = MakeArchive("good.zip", {{"a.txt", "a"}});
        TZipArchive* archive = Pane().OpenZip(good);
        QVERIFY(archive && archive->FindFile("a.txt"));
        QCOMPARE(Pane().SelectedArchive(), archive);
        QCOMPARE(Pane().Contents()->ListedTotals().Count, 1);
        QVERIFY(Pane().Idle());
    }

    // While a Zip task feeds its archive, a person extracts and adds in another
    // archive: no error box, nothing lost from the task's archive, and the window's
    // listing still fills the contents list afterwards.
    void ArchiveWorkWhileAZipTaskFeeds()
    {
        const std::string other = MakeArchive("other.zip", {{"one.txt", "1"}, {"two.txt", "2"}});
        WriteFileAtomic(Home() + "extra.txt", "extra");
        TBoxAnswer anyBox(QMessageBox::Ok);
        const std::shared_ptr<THXTask> task = CopyToArchive("/many/index.html");
        QVERIFY(task);
        const std::string out = Home() + "out/";
        for (int round = 0; round < 3 && task->Status != kStatusZipped; ++round)
        {
            TZipArchive* archive = Pane().OpenZip(other);
            QVERIFY(archive);
            SelectNode(archive->Root());
            TWhenShown<TFormExtract> step(
                [&](TFormExtract& dialog)
                {
                    dialog.findChild<QLineEdit*>()->setText(QString::fromStdString(out));
                    dialog.cbOverwrite->setChecked(true);
                    QTest::keyClick(&dialog, Qt::Key_Return);
                },
                TActTimes::Once);
            ZipCommand("miZipUnzip");
            QVERIFY(step.Done());
            SelectNode(archive->Root());
            QVERIFY(Pane().AddFilesToZip({Home() + "extra.txt"}));
            QTest::qWait(300);
        }
        QTRY_VERIFY_WITH_TIMEOUT(task->Status == kStatusZipped, 30000);
        QCOMPARE(anyBox.Seen(), 0);
        QCOMPARE(ReadWholeFile(out + "two.txt").value_or(""), std::string("2"));
        std::set<std::string> expected;
        for (int pair = 0; pair < task->ItemCount(); ++pair)
        {
            THXQItem* item = task->Item(pair);
            task->ReloadItem(*item);
            if (!item->LocalFile.empty())
                expected.insert(item->LocalFile.substr(m_app->GetTempFolder().size()));
        }
        QCOMPARE(expected.size(), std::size_t(21));
        QCOMPARE(EntryNames(task->Destination), expected);
        QCOMPARE(EntryNames(other).count((Home() + "extra.txt").substr(1)), std::size_t(1));
        // The window's listing is still its own.
        TZipArchive* archive = Tree().Archives().Find(other);
        SelectNode(archive->Root());
        QTRY_COMPARE(Pane().Contents()->ListedTotals().Count, 3);
        QVERIFY(Pane().Idle());
    }
};

} // namespace hx

int RunMainArchiveTests(int argc, char** argv)
{
    hx::HXMainArchiveTest tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "HXMainArchiveTest.moc"
