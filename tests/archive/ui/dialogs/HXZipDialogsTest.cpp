// The File Zip Wizard and the Unzip dialog driven as a person drives them:
// typing names, clicking buttons and radio buttons, pressing keys, answering the
// message boxes; the file choosers are answered by the test. The settings file of
// a sandboxed settings object is read back afterwards.

#include <QCheckBox>
#include <QDir>
#include <QFileSystemModel>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <memory>

#include "archive/ui/HXFormExtract.h"
#include "archive/ui/HXwizFileZip.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "schedule/ui/HXDialogDriver.h"
#include "support/HXSandbox.h"
#include "support/ui/HXBoxAnswer.h"

namespace hx
{

namespace
{

const QString kBadNameMessage =
    QStringLiteral("A valid Zip filename is required.\nHint:  Harbex requires the full path and filename.");

struct TSandboxApp
{
    test::TTempFolder Home;
    THXApp App{THXEnvironment::UnderHome(Home.Path().string())};

    QString Path(const std::string& relative) const { return QString::fromStdString(Home.Folder() + relative); }
};

// Replaces the text of a field as a person does: select all, type.
void TypeInto(QLineEdit* field, const QString& text)
{
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

QStringList Rows(const QTreeWidget* list)
{
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        rows << list->topLevelItem(i)->text(0) + QStringLiteral("|") + list->topLevelItem(i)->text(1);
    return rows;
}

// Answers the wizard's file choosers with the given paths and records what was asked.
struct TChooserAnswers
{
    QList<QStringList> Answers;
    QList<TFileChooserRequest> Requests;

    void Install(TwizFileZip& wizard)
    {
        wizard.ChooseFiles = [this](QWidget*, const TFileChooserRequest& request)
        {
            Requests << request;
            return Answers.isEmpty() ? QStringList() : Answers.takeFirst();
        };
    }
};

void Show(QWidget& window)
{
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

} // namespace

class HXZipDialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_sandbox = std::make_unique<TSandboxApp>(); }
    void cleanup() { m_sandbox.reset(); }

    // Next on the first page refuses a name without a full path or with only an
    // extension, shows the message and stays; ".zip" is appended either way.
    void nameCheckRefusesBadNamesAndAppendsZip()
    {
        TwizFileZip wizard(m_sandbox->App, "", {}, nullptr);
        Show(wizard);
        QCOMPARE(wizard.windowTitle(), QStringLiteral("File Zip Wizard"));
        QVERIFY(!wizard.btnBack->isEnabled());
        QCOMPARE(wizard.btnNext->text(), QStringLiteral("&Next  >"));

        const QString folderOnly = m_sandbox->Path("zips/");
        const QList<QPair<QString, QString>> refused = {
            {folderOnly, folderOnly + QStringLiteral(".zip")},
            {QStringLiteral("archive"), QStringLiteral("archive.zip")},
            {QStringLiteral("sub/archive.zip"), QStringLiteral("sub/archive.zip")},
            {QString(), QStringLiteral(".zip")},
        };
        for (const auto& [typed, shown] : refused)
        {
            TypeInto(wizard.edZipFileName, typed);
            test::TBoxAnswer answer(QMessageBox::Ok);
            QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
            QCOMPARE(answer.Seen(), 1);
            QCOMPARE(answer.Text(), kBadNameMessage);
            QCOMPARE(wizard.pgPages->currentIndex(), 0);
            QCOMPARE(wizard.edZipFileName->text(), shown);
        }

        // A full path without extension passes and gets ".zip"; a typed name keeps its own extension.
        TypeInto(wizard.edZipFileName, m_sandbox->Path("mine"));
        {
            test::TBoxAnswer answer(QMessageBox::Ok);
            QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
            QCOMPARE(answer.Seen(), 0);
        }
        QCOMPARE(wizard.edZipFileName->text(), m_sandbox->Path("mine.zip"));
        QCOMPARE(wizard.pgPages->currentIndex(), 1);
        QVERIFY(wizard.btnBack->isEnabled());
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QCOMPARE(wizard.pgPages->currentIndex(), 2);
        QCOMPARE(wizard.btnNext->text(), QStringLiteral("&Finish"));
        QTest::mouseClick(wizard.btnBack, Qt::LeftButton);
        QTest::mouseClick(wizard.btnBack, Qt::LeftButton);
        QCOMPARE(wizard.pgPages->currentIndex(), 0);
        TypeInto(wizard.edZipFileName, m_sandbox->Path("site.backup.tar"));
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QCOMPARE(wizard.edZipFileName->text(), m_sandbox->Path("site.backup.tar"));
        QCOMPARE(wizard.pgPages->currentIndex(), 1);
        QVERIFY(!wizard.Choice().Existing);
    }

    // "New" deletes an existing file chosen as the new archive and leaves only
    // "Add & replace"; "Open" makes the archive existing with all three actions.
    void newArchiveAllowsOnlyAddAndOpenAllowsAll()
    {
        const std::string zipFolder = m_sandbox->Home.Folder() + "zips/";
        m_sandbox->App.Store().WriteString(kSettingsKey, "Zip Folder", zipFolder);
        const std::string old = m_sandbox->Home.WriteFile("zips/old.zip", "previous archive");
        const std::string kept = m_sandbox->Home.WriteFile("zips/kept.zip", "kept archive");

        TwizFileZip wizard(m_sandbox->App, "", {}, nullptr);
        TChooserAnswers chooser;
        chooser.Install(wizard);
        Show(wizard);
        QCOMPARE(wizard.edZipFileName->text(), QString::fromStdString(zipFolder));
        QCOMPARE(wizard.btnNewZip->toolTip(), QStringLiteral("Create a new Zip file"));
        QCOMPARE(wizard.btnOpenZip->toolTip(), QStringLiteral("Open an existing Zip file"));
        test::ClickMark(wizard.rbUpdate);
        QVERIFY(wizard.rbUpdate->isChecked());

        chooser.Answers << QStringList{QString::fromStdString(old)};
        QTest::mouseClick(wizard.btnNewZip, Qt::LeftButton);
        QCOMPARE(chooser.Requests.size(), 1);
        QCOMPARE(chooser.Requests[0].Kind, TFileChooserKind::NewFile);
        QCOMPARE(chooser.Requests[0].Caption, QStringLiteral("New Zip File"));
        QCOMPARE(chooser.Requests[0].Folder, QString::fromStdString(zipFolder));
        QCOMPARE(chooser.Requests[0].Filters,
                 QStringList({QStringLiteral("Zip file (*.zip)"), QStringLiteral("All files (*)")}));
        QVERIFY(!FileExists(old));
        QVERIFY(FileExists(kept));
        QCOMPARE(wizard.edZipFileName->text(), QString::fromStdString(old));
        QVERIFY(wizard.rbAddReplace->isChecked());
        QVERIFY(wizard.rbAddReplace->isEnabled());
        QVERIFY(!wizard.rbFreshen->isEnabled());
        QVERIFY(!wizard.rbUpdate->isEnabled());
        QVERIFY(!wizard.Choice().Existing);

        // A cancelled chooser changes nothing.
        QTest::mouseClick(wizard.btnOpenZip, Qt::LeftButton);
        QCOMPARE(chooser.Requests.size(), 2);
        QCOMPARE(wizard.edZipFileName->text(), QString::fromStdString(old));
        QVERIFY(!wizard.rbFreshen->isEnabled());

        chooser.Answers << QStringList{QString::fromStdString(kept)};
        QTest::mouseClick(wizard.btnOpenZip, Qt::LeftButton);
        QCOMPARE(chooser.Requests[2].Kind, TFileChooserKind::ExistingFile);
        QCOMPARE(chooser.Requests[2].Caption, QStringLiteral("Open Zip File"));
        QCOMPARE(chooser.Requests[2].Filters, chooser.Requests[0].Filters);
        QCOMPARE(wizard.edZipFileName->text(), QString::fromStdString(kept));
        QVERIFY(wizard.rbFreshen->isEnabled());
        QVERIFY(wizard.rbUpdate->isEnabled());
        test::ClickMark(wizard.rbFreshen);
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QCOMPARE(wizard.result(), int(QDialog::Accepted));
        const TFileZipChoice choice = wizard.Choice();
        QCOMPARE(choice.ZipFileName, kept);
        QVERIFY(choice.Existing);
        QCOMPARE(choice.Action, TXcdAddAction::Freshen);
        QCOMPARE(FileExists(kept), true);
    }

    // The list is sorted and holds each file once; a folder shows its path and
    // brings up "Recurse Folders" ticked; "Remove" takes the selected rows out.
    void fileListIsSortedWithoutDuplicates()
    {
        const std::string a = m_sandbox->Home.WriteFile("files/a.txt", "a");
        const std::string b = m_sandbox->Home.WriteFile("files/b.txt", "b");
        const std::string c = m_sandbox->Home.WriteFile("more/c.txt", "c");
        const std::string site = m_sandbox->Home.Folder() + "site";
        m_sandbox->Home.WriteFile("site/index.html", "<p>");

        {
            TwizFileZip one(m_sandbox->App, "", {c}, nullptr);
            QCOMPARE(one.windowTitle(), QStringLiteral("File Zip Wizard - 1 file dropped."));
        }

        TwizFileZip wizard(m_sandbox->App, m_sandbox->Home.Folder() + "out.zip", {}, nullptr);
        TChooserAnswers chooser;
        chooser.Install(wizard);
        Show(wizard);
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QCOMPARE(wizard.pgPages->currentIndex(), 1);
        QVERIFY(!wizard.cbRecurse->isVisible());

        chooser.Answers << QStringList{QString::fromStdString(c), QString::fromStdString(b)};
        chooser.Answers << QStringList{QString::fromStdString(b), QString::fromStdString(a)};
        QTest::mouseClick(wizard.btnAdd, Qt::LeftButton);
        QTest::mouseClick(wizard.btnAdd, Qt::LeftButton);
        QCOMPARE(chooser.Requests[0].Kind, TFileChooserKind::ExistingFiles);
        QCOMPARE(chooser.Requests[0].Caption, QStringLiteral("Add Files"));
        const QString files = m_sandbox->Path("files/");
        const QString more = m_sandbox->Path("more/");
        QCOMPARE(Rows(wizard.lvFiles), QStringList({QStringLiteral("a.txt|") + files, QStringLiteral("b.txt|") + files,
                                                    QStringLiteral("c.txt|") + more}));
        QVERIFY(!wizard.cbRecurse->isVisible());
        QVERIFY(!wizard.Choice().Recurse);

        // Removing two selected rows.
        auto* list = wizard.lvFiles;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          list->visualItemRect(list->topLevelItem(2)).center());
        QTest::mouseClick(wizard.btnRemove, Qt::LeftButton);
        QCOMPARE(Rows(wizard.lvFiles), QStringList({QStringLiteral("b.txt|") + files}));
        QCOMPARE(wizard.Choice().Files, std::vector<std::string>{b});

        // Dropped files and a folder: the caption counts them, the folder shows its path.
        TwizFileZip dropped(m_sandbox->App, "", {site, a, a}, nullptr);
        Show(dropped);
        QCOMPARE(dropped.windowTitle(), QStringLiteral("File Zip Wizard - 3 files dropped."));
        {
            // The name field still holds only a folder.
            test::TBoxAnswer answer(QMessageBox::Ok);
            QTest::mouseClick(dropped.btnNext, Qt::LeftButton);
            QCOMPARE(answer.Seen(), 1);
            QCOMPARE(dropped.pgPages->currentIndex(), 0);
        }
        TypeInto(dropped.edZipFileName, m_sandbox->Path("dropped.zip"));
        QTest::mouseClick(dropped.btnNext, Qt::LeftButton);
        QCOMPARE(Rows(dropped.lvFiles),
                 QStringList({QStringLiteral("a.txt|") + files, QString::fromStdString(site) + QStringLiteral("/|")}));
        QVERIFY(dropped.cbRecurse->isVisible());
        QVERIFY(dropped.cbRecurse->isChecked());
        QCOMPARE(dropped.Choice().Files, (std::vector<std::string>{a, site}));
        QVERIFY(dropped.Choice().Recurse);
    }

    // The action, "Use Paths" and the compression come from the settings when the
    // wizard shows and go back to them on Finish.
    void settingsRoundTrip()
    {
        THXSettingsStore& store = m_sandbox->App.Store();
        const std::string archive = m_sandbox->Home.WriteFile("a.zip", "");
        {
            TwizFileZip wizard(m_sandbox->App, archive, {}, nullptr);
            Show(wizard);
            QVERIFY(wizard.rbAddReplace->isChecked());
            QVERIFY(!wizard.cbUsePaths->isChecked());
            QCOMPARE(wizard.tbCompression->value(), 6);
        }
        store.WriteInteger(kSettingsKey, "Action", 2);
        store.WriteBool(kSettingsKey, "Use Paths", true);
        store.WriteInteger(kSettingsKey, "Compression", 3);
        QCOMPARE(store.ReadString(kSettingsKey, "Zip Folder", ""), std::string()); // nothing stored on showing

        TwizFileZip wizard(m_sandbox->App, archive, {}, nullptr);
        Show(wizard);
        QVERIFY(wizard.rbUpdate->isChecked());
        test::ClickMark(wizard.rbFreshen);
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QVERIFY(wizard.cbUsePaths->isChecked());
        test::ClickMark(wizard.cbUsePaths);
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QCOMPARE(wizard.tbCompression->value(), 3);
        wizard.tbCompression->setFocus();
        QTest::keyClick(wizard.tbCompression, Qt::Key_End);
        QCOMPARE(store.ReadInteger(kSettingsKey, "Compression", -1), 3); // nothing stored before Finish
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QCOMPARE(wizard.result(), int(QDialog::Accepted));
        QCOMPARE(store.ReadInteger(kSettingsKey, "Action", -1), 1);
        QCOMPARE(store.ReadBool(kSettingsKey, "Use Paths", true), false);
        QCOMPARE(store.ReadInteger(kSettingsKey, "Compression", -1), 9);
        // "Last Zip Folder" is on by default: the archive's folder becomes the next start.
        QCOMPARE(store.ReadString(kSettingsKey, "Zip Folder", ""), ExtractFilePath(archive));
        const TFileZipChoice choice = wizard.Choice();
        QCOMPARE(choice.Action, TXcdAddAction::Freshen);
        QVERIFY(!choice.UsePaths);
        QCOMPARE(choice.Compression, 9);

        // A new archive cannot freshen: the stored action falls back to add and replace.
        TwizFileZip again(m_sandbox->App, "", {}, nullptr);
        TChooserAnswers chooser;
        chooser.Install(again);
        chooser.Answers << QStringList{m_sandbox->Path("fresh.zip")};
        QTest::mouseClick(again.btnNewZip, Qt::LeftButton);
        Show(again);
        QVERIFY(again.rbAddReplace->isChecked());
        QCOMPARE(again.tbCompression->value(), 9);
    }

    // Escape closes the wizard without storing anything.
    void escapeCancels()
    {
        TwizFileZip wizard(m_sandbox->App, m_sandbox->Home.Folder() + "x.zip", {}, nullptr);
        Show(wizard);
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QTest::keyClick(wizard.lvFiles, Qt::Key_Escape);
        QVERIFY(!wizard.isVisible());
        QCOMPARE(wizard.result(), int(QDialog::Rejected));
        QCOMPARE(m_sandbox->App.Store().ReadInteger(kSettingsKey, "Action", -1), -1);
    }

    // "&Unzip" is enabled only while the folder field holds something; a folder
    // clicked in the tree goes into the field; the tree shows the field's folder.
    void unzipNeedsAFolder()
    {
        const std::string downloads = m_sandbox->App.GetDownloadsFolder();
        QDir().mkpath(m_sandbox->Path("targets/one"));
        TFormExtract dialog(m_sandbox->App, nullptr);
        Show(dialog);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Unzip"));
        QCOMPARE(dialog.edFolder->text(), QString::fromStdString(downloads));
        QVERIFY(dialog.btnUnzip->isEnabled());
        auto* model = qobject_cast<QFileSystemModel*>(dialog.tvFolders->model());
        QVERIFY(model != nullptr);
        QCOMPARE(IncludeTrailingSlash(model->filePath(dialog.tvFolders->currentIndex()).toStdString()), downloads);

        TypeInto(dialog.edFolder, QString());
        QVERIFY(!dialog.btnUnzip->isEnabled());
        QTest::keyClicks(dialog.edFolder, QStringLiteral("/"));
        QVERIFY(dialog.btnUnzip->isEnabled());
        TypeInto(dialog.edFolder, QString());
        QVERIFY(!dialog.btnUnzip->isEnabled());

        const QModelIndex target = model->index(m_sandbox->Path("targets/one"));
        QVERIFY(target.isValid());
        dialog.tvFolders->scrollTo(target);
        QTRY_VERIFY(dialog.tvFolders->visualRect(target).isValid());
        QTest::mouseClick(dialog.tvFolders->viewport(), Qt::LeftButton, {},
                          dialog.tvFolders->visualRect(target).center());
        QCOMPARE(dialog.edFolder->text(), m_sandbox->Path("targets/one/"));
        QVERIFY(dialog.btnUnzip->isEnabled());
    }

    // The options come from the settings; "&Unzip" stores them and the folder
    // (unless the last folder is not to be remembered).
    void unzipStoresItsSettings()
    {
        THXSettingsStore& store = m_sandbox->App.Store();
        store.WriteBool(kSettingsKey, "Extract Use Paths", false);
        store.WriteBool(kSettingsKey, "Extract Overwrite", true);
        store.WriteString(kSettingsKey, "Unzip Folder", m_sandbox->Path("first/").toStdString());
        {
            TFormExtract dialog(m_sandbox->App, nullptr);
            dialog.SetAllFiles(false);
            Show(dialog);
            QVERIFY(dialog.rbSelectedFiles->isChecked());
            QVERIFY(!dialog.cbUsePaths->isChecked());
            QVERIFY(dialog.cbOverwrite->isChecked());
            QCOMPARE(dialog.edFolder->text(), m_sandbox->Path("first/"));
            test::ClickMark(dialog.cbUsePaths);
            test::ClickMark(dialog.cbOverwrite);
            TypeInto(dialog.edFolder, m_sandbox->Path("second/"));
            QTest::mouseClick(dialog.btnUnzip, Qt::LeftButton);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            const TExtractChoice choice = dialog.Choice();
            QCOMPARE(choice.Folder, m_sandbox->Path("second/").toStdString());
            QVERIFY(!choice.AllFiles);
            QVERIFY(choice.UsePaths);
            QVERIFY(!choice.Overwrite);
        }
        QCOMPARE(store.ReadBool(kSettingsKey, "Extract Use Paths", false), true);
        QCOMPARE(store.ReadBool(kSettingsKey, "Extract Overwrite", true), false);
        QCOMPARE(store.ReadString(kSettingsKey, "Unzip Folder", ""), m_sandbox->Path("second/").toStdString());

        store.WriteBool(kSettingsKey, "Last Unzip Folder", false);
        TFormExtract dialog(m_sandbox->App, nullptr);
        dialog.SetAllFiles(true);
        Show(dialog);
        QVERIFY(dialog.rbAllFiles->isChecked());
        TypeInto(dialog.edFolder, m_sandbox->Path("third/"));
        QTest::mouseClick(dialog.btnUnzip, Qt::LeftButton);
        QCOMPARE(dialog.Choice().Folder, m_sandbox->Path("third/").toStdString());
        QCOMPARE(store.ReadString(kSettingsKey, "Unzip Folder", ""), m_sandbox->Path("second/").toStdString());
    }

    // The replace question shows both files and hands back the answer clicked.
    void replaceQuestionAnswers()
    {
        const QList<QPair<QMessageBox::StandardButton, TXcdReplaceAnswer>> answers = {
            {QMessageBox::Yes, TXcdReplaceAnswer::Yes},
            {QMessageBox::No, TXcdReplaceAnswer::No},
            {QMessageBox::Cancel, TXcdReplaceAnswer::Cancel},
            {QMessageBox::YesToAll, TXcdReplaceAnswer::All},
        };
        for (const auto& [button, expected] : answers)
        {
            test::TBoxAnswer answer(button);
            QCOMPARE(AskReplaceFile(nullptr, "/home/me/site/index.html", "site/index.html"), expected);
            QCOMPARE(answer.Text(),
                     QStringLiteral("Replace File : /home/me/site/index.html\nWith File: site/index.html"));
        }
    }

    // Pictures of every wizard page and of the Unzip dialog, for a person to look at:
    // written to HX_SCREENSHOT_DIR when it is set, else to a folder of the test. Each
    // is a drawn window (its size, more than one colour) that reads back from its file.
    void pictures()
    {
        QTemporaryDir own;
        QString folder = qEnvironmentVariable("HX_SCREENSHOT_DIR");
        if (folder.isEmpty())
            folder = own.path();
        QVERIFY(QDir().mkpath(folder));
        const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
        const auto save = [&](QWidget& window, const QString& name)
        {
            const QImage shot = window.grab().toImage();
            QVERIFY(!shot.isNull());
            QCOMPARE(shot.size() / shot.devicePixelRatio(), window.size());
            bool twoColours = false;
            for (int y = 0; y < shot.height() && !twoColours; y += 4)
                for (int x = 0; x < shot.width() && !twoColours; x += 4)
                    twoColours = shot.pixel(x, y) != shot.pixel(0, 0);
            QVERIFY2(twoColours, qPrintable(name));
            const QString path = folder + QLatin1Char('/') + name + scale + QStringLiteral(".png");
            QVERIFY(shot.save(path));
            QCOMPARE(QImage(path).size(), shot.size());
        };
        TwizFileZip wizard(m_sandbox->App, m_sandbox->Home.Folder() + "pictures.zip",
                           {m_sandbox->Home.WriteFile("p/page.html", "<p>"), m_sandbox->Home.Folder() + "p"}, nullptr);
        Show(wizard);
        for (int page = 0; page < 3; ++page)
        {
            QCOMPARE(wizard.pgPages->currentIndex(), page);
            save(wizard, QStringLiteral("file-zip-wizard-%1-x").arg(page + 1));
            if (page < 2)
                QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        }
        TFormExtract dialog(m_sandbox->App, nullptr);
        Show(dialog);
        save(dialog, QStringLiteral("unzip-x"));
    }

private:
    std::unique_ptr<TSandboxApp> m_sandbox;
};

} // namespace hx

QTEST_MAIN(hx::HXZipDialogsTest)
#include "HXZipDialogsTest.moc"
