// The task editor driven as a person drives it: typing, clicking radio buttons and
// ticks, pressing OK, answering the boxes it shows; then the task object and its
// task file are read back.

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>
#include <cstdlib>
#include <memory>

#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXProfile.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "schedule/ui/HXdlgEditTask.h"
#include "schedule/ui/HXdlgEditTaskDialogs.h"
#include "support/HXSandbox.h"

namespace hx
{

namespace
{

// A settings object whose every folder lies in a temporary folder, with a few
// file type groups.
struct TSandboxApp
{
    test::TTempFolder Home;
    THXApp App{THXEnvironment::UnderHome(Home.Path().string())};

    TSandboxApp()
    {
        WriteGroup(App.Store(), "HTML", ".htm;.html;");
        WriteGroup(App.Store(), "Images", ".gif;.jpg;.png;");
        WriteGroup(App.Store(), "Audio", ".mp3;.mp;");
    }
};

// Runs `answer` on the next modal window of type T as soon as it shows, and
// keeps what it saw.
template <typename T>
class TModalAnswer : public QObject
{
public:
    explicit TModalAnswer(std::function<void(T&)> answer)
        : m_answer(std::move(answer))
    {
        connect(&m_poll, &QTimer::timeout, this,
                [this]
                {
                    auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
                    if (window == nullptr || !window->isVisible() || window->property("hxAnswered").toBool())
                        return;
                    window->setProperty("hxAnswered", true);
                    // A dialog the editor keeps (the account dialog) may open again.
                    connect(
                        window, &QDialog::finished, window, [window] { window->setProperty("hxAnswered", false); },
                        Qt::SingleShotConnection);
                    ++m_seen;
                    if constexpr (std::is_same_v<T, QMessageBox>)
                        m_text = window->text();
                    m_answer(*window);
                });
        m_poll.start(10);
    }
    int Seen() const { return m_seen; }
    const QString& Text() const { return m_text; }

private:
    std::function<void(T&)> m_answer;
    QTimer m_poll;
    int m_seen = 0;
    QString m_text;
};

// Answers every message box with the button.
std::function<void(QMessageBox&)> Pressing(QMessageBox::StandardButton button)
{
    return [button](QMessageBox& box) { box.button(button)->click(); };
}

void Click(QAbstractButton* button)
{
    QVERIFY(button != nullptr);
    QVERIFY(button->isEnabled());
    // Check boxes and radio buttons take clicks on their mark and text, which the
    // layout may have made narrower than the widget.
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(qMin(8, button->width() / 2), button->height() / 2));
}

void TypeInto(QLineEdit* field, const QString& text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

// Clicks the tick mark of a tree node.
void ClickTick(QTreeWidget* tree, QTreeWidgetItem* item)
{
    QVERIFY(item != nullptr);
    tree->scrollToItem(item);
    QStyleOptionViewItem option;
    option.initFrom(tree->viewport());
    option.rect = tree->visualItemRect(item);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = item->text(0);
    const QRect tick = tree->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, tree);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tick.center());
}

QTreeWidgetItem* Node(QTreeWidget* tree, const QString& text)
{
    const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

} // namespace

class HXEditTaskTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_sandbox = std::make_unique<TSandboxApp>(); }
    void cleanup() { m_sandbox.reset(); }

    // A new task made through the editor: its name and Zip path follow the typed
    // address, bad input is refused with the messages a person reads, and what
    // was chosen reaches the task object and, after Save, the task file.
    void createTaskThroughEditor()
    {
        THXApp& app = m_sandbox->App;
        // A task of the site's name exists already: the new one gets "(0)".
        ForceDirectories(app.TasksFolder() + "General/");
        SaveTextFile(app.TasksFolder() + "General/example.hxt", "");
        THXTask task(app);
        TdlgEditTask editor(nullptr, app, task, TEditTaskMode::Create);
        QCOMPARE(editor.windowTitle(), QStringLiteral("Create New Task"));
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));

        QTest::keyClicks(editor.cmbURL->lineEdit(), QStringLiteral("ftp://www.example.org/docs/"));
        QCOMPARE(editor.edTaskName->text(), QStringLiteral("example(0)"));
        QCOMPARE(editor.edFileName->text(), QString::fromStdString(app.GetDownloadsFolder() + "example.zip"));
        {
            TModalAnswer<QMessageBox> answer(Pressing(QMessageBox::Ok));
            Click(editor.btnOK);
            QTRY_COMPARE(answer.Seen(), 1);
            QCOMPARE(answer.Text(), QStringLiteral("A valid Internet address (URL) is required"));
            QVERIFY(editor.isVisible());
        }
        TypeInto(editor.cmbURL->lineEdit(), QStringLiteral("www.example.org/docs/"));

        // Save to: a Zip name without extension gains ".zip".
        editor.lbScreens->setCurrentRow(1);
        TypeInto(editor.edFileName, QString::fromStdString(app.GetDownloadsFolder() + "docs"));
        // Followed Links: two levels, anywhere.
        editor.lbScreens->setCurrentRow(3);
        QCOMPARE(editor.pgScreens->currentIndex(), 3);
        Click(editor.grpDepth->button(TdlgEditTask::kDepthLevels));
        QTest::keyClick(editor.edLevels, Qt::Key_Up);
        Click(editor.grpPageLocation->button(kLocationAnywhere));
        // Filetypes: "All" off, then the Images group ticked as a whole, then .png off again.
        editor.lbScreens->setCurrentRow(2);
        TFileTypeTree* types = editor.tvFileTypes;
        QVERIFY(types->cbAll->isChecked());
        QVERIFY(!types->tvFileTypes->isEnabled());
        Click(types->cbAll);
        QVERIFY(types->tvFileTypes->isEnabled());
        types->tvFileTypes->expandAll();
        ClickTick(types->tvFileTypes, Node(types->tvFileTypes, QStringLiteral("Images")));
        ClickTick(types->tvFileTypes, Node(types->tvFileTypes, QStringLiteral(".png")));
        QCOMPARE(Node(types->tvFileTypes, QStringLiteral("Images"))->checkState(0), Qt::PartiallyChecked);
        // A click on a partly ticked group unticks it; a second ticks all of it.
        ClickTick(types->tvFileTypes, Node(types->tvFileTypes, QStringLiteral("Images")));
        QCOMPARE(Node(types->tvFileTypes, QStringLiteral(".gif"))->checkState(0), Qt::Unchecked);
        ClickTick(types->tvFileTypes, Node(types->tvFileTypes, QStringLiteral("Images")));
        ClickTick(types->tvFileTypes, Node(types->tvFileTypes, QStringLiteral(".png")));
        // Aggressive parser on, entire page.
        editor.lbScreens->setCurrentRow(4);
        QVERIFY(!editor.grpAggressive->button(2)->isEnabled());
        Click(editor.cbAggressive);
        Click(editor.grpAggressive->button(2));
        // Schedule: now.
        editor.lbScreens->setCurrentRow(7);
        Click(editor.rbNow);

        Click(editor.btnOK);
        QTRY_VERIFY(!editor.isVisible());
        QCOMPARE(editor.result(), int(QDialog::Accepted));
        QVERIFY(!editor.Moved());

        QCOMPARE(task.URL, std::string("http://www.example.org/docs/"));
        QCOMPARE(task.Name, std::string("example(0)"));
        QCOMPARE(task.FileName, app.TasksFolder() + "General/example(0).hxt");
        QCOMPARE(task.Destination, app.GetDownloadsFolder() + "docs.zip");
        QVERIFY(!task.IntranetMode);
        QCOMPARE(task.Status, kStatusScheduled);
        QCOMPARE(task.Schedule, std::string("Now"));
        QCOMPARE(task.Profile.Name, std::string("Custom"));
        QCOMPARE(task.Profile.Depth, 2);
        QCOMPARE(task.Profile.PageLocation, kLocationAnywhere);
        QCOMPARE(task.Profile.ResourceLocation, kLocationStartSite);
        QCOMPARE(task.Profile.AggressiveParser, 2);
        QCOMPARE(task.Profile.FileTypes, (TStringList{".gif", ".jpg"}));

        task.Save();
        THXTask reread(app);
        reread.FileName = task.FileName;
        reread.Load();
        QCOMPARE(reread.URL, task.URL);
        QCOMPARE(reread.Destination, task.Destination);
        QCOMPARE(reread.Schedule, std::string("Now"));
        QCOMPARE(reread.Profile.Depth, 2);
        QCOMPARE(reread.Profile.FileTypes, (TStringList{".gif", ".jpg"}));
        QCOMPARE(reread.Profile.AggressiveParser, 2);
    }

    // "Add a Task" asks before it replaces a task file of the same name; No keeps
    // the editor open and the task unchanged, Yes sets the replaced flag. The
    // intranet folder gains its final "/".
    void addTaskAsksBeforeReplacing()
    {
        THXApp& app = m_sandbox->App;
        ForceDirectories(app.TasksFolder() + "General/");
        SaveTextFile(app.TasksFolder() + "General/kept.hxt", "");
        THXTask task(app);
        task.URL = "http://www.example.org/";
        TdlgEditTask editor(nullptr, app, task, TEditTaskMode::Add);
        QCOMPARE(editor.windowTitle(), QStringLiteral("Add a Task"));
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        TypeInto(editor.edTaskName, QStringLiteral("kept"));
        editor.lbScreens->setCurrentRow(1);
        Click(editor.rbIntranet);
        TypeInto(editor.edIntranetFolder, QStringLiteral("nofolder"));
        {
            TModalAnswer<QMessageBox> answer(Pressing(QMessageBox::No));
            Click(editor.btnOK);
            QTRY_COMPARE(answer.Seen(), 1);
            QCOMPARE(answer.Text(), QStringLiteral("A Task with this name already exists. Do you want to replace it?"));
        }
        QVERIFY(editor.isVisible());
        QVERIFY(task.Name.empty());
        {
            // Yes, then the folder check refuses a text without a folder part.
            int boxes = 0;
            QStringList texts;
            TModalAnswer<QMessageBox> answer(
                [&](QMessageBox& box)
                {
                    texts << box.text();
                    box.button(++boxes == 1 ? QMessageBox::Yes : QMessageBox::Ok)->click();
                });
            Click(editor.btnOK);
            QTRY_COMPARE(answer.Seen(), 2);
            QCOMPARE(texts.last(), QStringLiteral("A valid Intranet Folder is required.\nHint:  Harbex requires the "
                                                  "full path to the Intranet Folder."));
        }
        QVERIFY(editor.isVisible());
        const QString folder = QString::fromStdString(m_sandbox->Home.Folder()) + QStringLiteral("site");
        TypeInto(editor.edIntranetFolder, folder);
        TModalAnswer<QMessageBox> yes(Pressing(QMessageBox::Yes));
        Click(editor.btnOK);
        QTRY_VERIFY(!editor.isVisible());
        QCOMPARE(yes.Seen(), 1);
        QVERIFY(editor.Replaced());
        QCOMPARE(task.Name, std::string("kept"));
        QVERIFY(task.IntranetMode);
        QCOMPARE(task.Destination, folder.toStdString() + "/");
        QCOMPARE(task.Status, kStatusUnscheduled);
    }

    // The save page's "WARC File": an existing task shows its file, a name without
    // its full path is refused with a message, and the typed path reaches the task
    // and its task file; an emptied field archives nothing.
    void warcFileOnTheSavePage()
    {
        THXApp& app = m_sandbox->App;
        THXTask task(app);
        task.URL = "http://www.example.org/";
        task.Name = "archived";
        task.WarcFile = "/srv/old.warc.gz";
        task.Destination = m_sandbox->Home.Folder() + "site.zip";
        TdlgEditTask editor(nullptr, app, task, TEditTaskMode::Edit);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        editor.lbScreens->setCurrentRow(1);
        QTRY_VERIFY(editor.edWarcFile->isVisible());
        QCOMPARE(editor.edWarcFile->text(), QStringLiteral("/srv/old.warc.gz"));
        QVERIFY(editor.btnWarcFile->isEnabled());

        TypeInto(editor.edWarcFile, QStringLiteral("site.warc.gz"));
        {
            TModalAnswer<QMessageBox> answer(Pressing(QMessageBox::Ok));
            Click(editor.btnOK);
            QTRY_COMPARE(answer.Seen(), 1);
            QCOMPARE(answer.Text(), QStringLiteral("A valid WARC file name is required.\nHint:  Harbex requires the "
                                                   "full path and filename, or an empty field for none."));
        }
        QVERIFY(editor.isVisible());
        const QString path = QString::fromStdString(m_sandbox->Home.Folder()) + QStringLiteral("archive/site.warc.gz");
        TypeInto(editor.edWarcFile, path);
        Click(editor.btnOK);
        QTRY_VERIFY(!editor.isVisible());
        QCOMPARE(task.WarcFile, path.toStdString());

        task.FileName = app.TasksFolder() + "General/archived.hxt";
        task.Save();
        THXTask reread(app);
        reread.FileName = task.FileName;
        reread.Load();
        QCOMPARE(reread.WarcFile, path.toStdString());

        TdlgEditTask again(nullptr, app, reread, TEditTaskMode::Edit);
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        again.lbScreens->setCurrentRow(1);
        QCOMPARE(again.edWarcFile->text(), path);
        TypeInto(again.edWarcFile, QString());
        Click(again.btnOK);
        QTRY_VERIFY(!again.isVisible());
        QVERIFY(reread.WarcFile.empty());
    }

    // A named profile fills every screen; changing the depth afterwards shows
    // "Custom" and keeps the profile's other values. Cancel leaves the task alone.
    void namedProfileThenCustom()
    {
        THXApp& app = m_sandbox->App;
        THXProfile named;
        named.FileName = app.ProfilesFolder() + "Deep.hxp";
        named.Name = "Deep";
        named.Depth = 5;
        named.PageLocation = kLocationStartSite;
        named.ResourceLocation = kLocationAnywhere;
        named.ConvertUnfollowedLinks = 2;
        named.URLFiltersExclude = {"[PL]cgi,bin"};
        named.UseSitemaps = true;
        named.Save();

        THXTask task(app);
        task.Name = "edited";
        task.URL = "http://www.example.org/";
        task.Destination = app.GetDownloadsFolder() + "edited.zip";
        task.Status = kStatusScheduled;
        task.Schedule = "Now";
        {
            TdlgEditTask editor(nullptr, app, task, TEditTaskMode::Edit);
            editor.show();
            QVERIFY(QTest::qWaitForWindowExposed(&editor));
            // Typing the first letter on the list chooses the profile.
            QTest::keyClick(editor.cmbProfile, Qt::Key_D);
            QCOMPARE(editor.cmbProfile->currentText(), QStringLiteral("Deep"));
            QCOMPARE(editor.grpDepth->checkedId(), int(TdlgEditTask::kDepthLevels));
            QCOMPARE(editor.edLevels->value(), 5);
            QCOMPARE(editor.lbEx->Entries(), (TStringList{"[PL]cgi,bin"}));
            QVERIFY(editor.cbUseSitemaps->isChecked());
            editor.lbScreens->setCurrentRow(3);
            QTest::keyClick(editor.edLevels, Qt::Key_Down);
            QCOMPARE(editor.cmbProfile->currentText(), QStringLiteral("Custom"));
            Click(editor.btnCancel);
        }
        QCOMPARE(task.Profile.Depth, 0);
        QCOMPARE(task.Status, kStatusScheduled);

        TdlgEditTask editor(nullptr, app, task, TEditTaskMode::Edit);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QTest::keyClick(editor.cmbProfile, Qt::Key_D);
        editor.lbScreens->setCurrentRow(3);
        QTest::keyClick(editor.edLevels, Qt::Key_Down);
        Click(editor.btnOK);
        QTRY_VERIFY(!editor.isVisible());
        QCOMPARE(task.Profile.Name, std::string("Custom"));
        QCOMPARE(task.Profile.Depth, 4);
        QCOMPARE(task.Profile.ResourceLocation, kLocationAnywhere);
        QCOMPARE(task.Profile.ConvertUnfollowedLinks, 2);
        QCOMPARE(task.Profile.URLFiltersExclude, (TStringList{"[PL]cgi,bin"}));
        QCOMPARE(task.Profile.UseSitemaps, true);
        // OK without a visit to the Schedule screen unschedules the task.
        QCOMPARE(task.Status, kStatusUnscheduled);
        QVERIFY(task.Schedule.empty());
    }

    // "Use Sitemaps" on the advanced screen: the task's value is shown, a click
    // makes the profile "Custom", OK puts the tick into the task's profile and the
    // task file; Cancel leaves it as it was.
    void sitemapsTick()
    {
        THXApp& app = m_sandbox->App;
        ForceDirectories(app.TasksFolder() + "General/");
        THXTask task(app);
        task.Name = "maps";
        task.FileName = app.TasksFolder() + "General/maps.hxt";
        task.URL = "http://www.example.org/";
        task.Destination = app.GetDownloadsFolder() + "maps.zip";
        task.Profile.FileName = task.FileName;
        task.Profile.Name = "Custom";
        THXProfile named;
        named.FileName = app.ProfilesFolder() + "Plain.hxp";
        named.Save();
        const auto showAdvanced = [](TdlgEditTask& editor)
        {
            editor.show();
            QVERIFY(QTest::qWaitForWindowExposed(&editor));
            const QRect row = editor.lbScreens->visualItemRect(editor.lbScreens->item(4));
            QTest::mouseClick(editor.lbScreens->viewport(), Qt::LeftButton, {}, row.center());
            QVERIFY(editor.cbUseSitemaps->isVisible());
        };
        {
            TdlgEditTask editor(nullptr, app, task, TEditTaskMode::Edit);
            showAdvanced(editor);
            QVERIFY(!editor.cbUseSitemaps->isChecked());
            QTest::keyClick(editor.cmbProfile, Qt::Key_P);
            QCOMPARE(editor.cmbProfile->currentText(), QStringLiteral("Plain"));
            Click(editor.cbUseSitemaps);
            QCOMPARE(editor.cmbProfile->currentText(), QStringLiteral("Custom"));
            Click(editor.btnOK);
            QTRY_VERIFY(!editor.isVisible());
        }
        QVERIFY(task.Profile.UseSitemaps);
        task.Save();
        THXTask reread(app);
        reread.FileName = task.FileName;
        reread.Load();
        QVERIFY(reread.Profile.UseSitemaps);
        {
            TdlgEditTask editor(nullptr, app, task, TEditTaskMode::Edit);
            showAdvanced(editor);
            QVERIFY(editor.cbUseSitemaps->isChecked());
            Click(editor.cbUseSitemaps);
            QVERIFY(!editor.cbUseSitemaps->isChecked());
            Click(editor.btnCancel);
        }
        QVERIFY(task.Profile.UseSitemaps);
    }

    // "Render Pages" on the advanced screen beside "Use Sitemaps": ticking it enables
    // its time out, makes the profile "Custom", and OK puts the values into the task.
    void renderPagesTick()
    {
        THXApp& app = m_sandbox->App;
        THXTask task(app);
        task.Name = "rendered";
        task.URL = "http://www.example.org/";
        task.Destination = app.GetDownloadsFolder() + "rendered.zip";
        THXProfile named;
        named.FileName = app.ProfilesFolder() + "Plain.hxp";
        named.Save();
        TdlgEditTask editor(nullptr, app, task, TEditTaskMode::Edit);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QTest::keyClick(editor.cmbProfile, Qt::Key_P);
        QCOMPARE(editor.cmbProfile->currentText(), QStringLiteral("Plain"));
        const QRect row = editor.lbScreens->visualItemRect(editor.lbScreens->item(4));
        QTest::mouseClick(editor.lbScreens->viewport(), Qt::LeftButton, {}, row.center());
        TRenderBox& box = *editor.renderBox;
        QVERIFY(box.cbRenderPages->isVisible());
        QVERIFY(!box.cbRenderPages->isChecked());
        QVERIFY(!box.edRenderTimeOut->isEnabled());
        // Any program there stands for the renderer.
        ::setenv("HARBEX_RENDER", "/bin/true", 1);
        Click(box.cbRenderPages);
        ::unsetenv("HARBEX_RENDER");
        QVERIFY(box.cbRenderPages->isChecked());
        QCOMPARE(editor.cmbProfile->currentText(), QStringLiteral("Custom"));
        QVERIFY(box.edRenderTimeOut->isEnabled());
        QTest::keyClick(box.edRenderTimeOut, Qt::Key_Up);
        Click(box.cbKeepScripts);
        Click(editor.btnOK);
        QTRY_VERIFY(!editor.isVisible());
        QVERIFY(task.Profile.RenderPages);
        QCOMPARE(task.Profile.RenderTimeOut, kDefaultRenderTimeOut + 1);
        QVERIFY(task.Profile.KeepScripts);
    }

    // The account dialog opens when the password box is ticked with no account and
    // takes the tick away on Cancel; its OK waits for both fields. A page-link
    // filter added from the menu makes the profile "Custom". A new category moves
    // the task: its old task file goes and its queue file follows, with the link
    // book and the cookie file kept beside it.
    void accountFilterAndMove()
    {
        THXApp& app = m_sandbox->App;
        const std::string general = app.TasksFolder() + "General/";
        ForceDirectories(general);
        SaveTextFile(general + "site.hxt", "old");
        SaveTextFile(general + "site.dwn", "queue");
        SaveTextFile(general + "site.lnk", "links");
        SaveTextFile(general + "site.cookies", "cookies");
        THXTask task(app);
        task.Name = "site";
        task.URL = "http://www.example.org/";
        task.Destination = app.GetDownloadsFolder() + "site.zip";
        task.Profile.FileName = general + "site.hxt";
        task.Profile.Name = "Custom";
        TdlgEditTask editor(nullptr, app, task, TEditTaskMode::Edit);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));

        {
            TModalAnswer<TdlgUserNamePassword> cancel([](TdlgUserNamePassword& dialog) { dialog.reject(); });
            Click(editor.cbPassword);
            QTRY_COMPARE(cancel.Seen(), 1);
            QVERIFY(!editor.cbPassword->isChecked());
        }
        {
            bool okWhileHalf = true;
            TModalAnswer<TdlgUserNamePassword> fill(
                [&](TdlgUserNamePassword& dialog)
                {
                    QTest::keyClicks(dialog.edUserName, QStringLiteral("ann"));
                    okWhileHalf = dialog.btnOK->isEnabled();
                    QTest::keyClicks(dialog.edPassword, QStringLiteral("secret"));
                    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
                });
            Click(editor.btnUserPassword);
            QTRY_COMPARE(fill.Seen(), 1);
            QVERIFY(!okWhileHalf);
            QVERIFY(editor.cbPassword->isChecked());
        }

        editor.lbScreens->setCurrentRow(5);
        const int custom = editor.cmbProfile->findText(QStringLiteral("Custom"));
        editor.cmbProfile->setCurrentIndex(-1);
        {
            QString label;
            TModalAnswer<TdlgEditURLFilter> add(
                [&](TdlgEditURLFilter& dialog)
                {
                    label = dialog.lblHint->text();
                    QTest::keyClicks(dialog.edFilter, QStringLiteral("cgi,bin"));
                    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
                });
            editor.lbInc->btnAdd->menu()->actions().at(1)->trigger();
            QTRY_COMPARE(add.Seen(), 1);
            QCOMPARE(label, QStringLiteral("All PAGE links MUST contain all of the following characters, words or "
                                           "phrases. Separate each with a comma."));
        }
        QCOMPARE(editor.lbInc->Entries(), (TStringList{"[PL]cgi,bin"}));
        QCOMPARE(editor.cmbProfile->currentIndex(), custom);

        editor.cmbTaskCategory->setFocus();
        TypeInto(editor.cmbTaskCategory->lineEdit(), QStringLiteral("Archive"));
        Click(editor.btnOK);
        QTRY_VERIFY(!editor.isVisible());
        QVERIFY(editor.Moved());
        QCOMPARE(task.Category, std::string("Archive"));
        QCOMPARE(task.FileName, app.TasksFolder() + "Archive/site.hxt");
        QCOMPARE(task.UserName, std::string("ann"));
        QCOMPARE(task.Password, std::string("secret"));
        QCOMPARE(task.Profile.URLFiltersInclude, (TStringList{"[PL]cgi,bin"}));
        QVERIFY(!FileExists(general + "site.hxt"));
        QVERIFY(!FileExists(general + "site.dwn"));
        QCOMPARE(LoadTextFile(app.TasksFolder() + "Archive/site.dwn"), std::string("queue\r\n"));
        for (const char* kept : {"site.lnk", "site.cookies"})
        {
            QVERIFY2(!FileExists(general + kept), kept);
            QVERIFY2(FileExists(app.TasksFolder() + "Archive/" + kept), kept);
        }
    }

    // The file type group dialog stores extensions with a final ";"; deleting an
    // extension removes only that entry; protected nodes cannot be deleted.
    void fileTypeGroups()
    {
        THXApp& app = m_sandbox->App;
        TFileTypeTree tree(nullptr, app.Store());
        tree.Fill({".mp3"});
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));

        TModalAnswer<TdlgEditFileType> fill(
            [](TdlgEditFileType& dialog)
            {
                QTest::keyClicks(dialog.edFileType, QStringLiteral("Documents"));
                QTest::keyClicks(dialog.edExtensions, QStringLiteral(".pdf;.txt"));
                QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
            });
        Click(tree.btnNew);
        QTRY_COMPARE(fill.Seen(), 1);
        TFileTypeGroups groups = ReadGroups(app.Store());
        QCOMPARE(groups.names.back(), std::string("Documents"));
        QCOMPARE(groups.texts.back(), std::string(".pdf;.txt;"));
        QVERIFY(Node(tree.tvFileTypes, QStringLiteral(".txt")) != nullptr);
        // The tick made before the refill stays.
        QCOMPARE(Node(tree.tvFileTypes, QStringLiteral(".mp3"))->checkState(0), Qt::Checked);

        tree.tvFileTypes->setCurrentItem(Node(tree.tvFileTypes, QStringLiteral(".htm")));
        QVERIFY(!tree.btnDelete->isEnabled());
        tree.tvFileTypes->setCurrentItem(Node(tree.tvFileTypes, QStringLiteral(".mp")));
        TModalAnswer<QMessageBox> yes(Pressing(QMessageBox::Yes));
        Click(tree.btnDelete);
        QTRY_COMPARE(yes.Seen(), 1);
        QCOMPARE(yes.Text(), QStringLiteral("Are you sure you want to delete the .mp file type?"));
        groups = ReadGroups(app.Store());
        QCOMPARE(groups.texts[2], std::string(".mp3;"));
        QCOMPARE(tree.TickedExtensions(), (TStringList{".mp3"}));
    }

    // Each screen of the list shows its own page with the marker on its row; with
    // HX_SCREENSHOT_DIR set, every page is saved as a picture.
    void screensFollowTheList()
    {
        THXTask task(m_sandbox->App);
        TdlgEditTask editor(nullptr, m_sandbox->App, task, TEditTaskMode::Create);
        editor.resize(editor.sizeHint());
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QCOMPARE(editor.lbScreens->currentRow(), 0);
        const QString folder = qEnvironmentVariable("HX_SCREENSHOT_DIR");
        for (int row = 0; row < editor.lbScreens->count(); ++row)
        {
            const QRect rect = editor.lbScreens->visualItemRect(editor.lbScreens->item(row));
            QTest::mouseClick(editor.lbScreens->viewport(), Qt::LeftButton, {}, rect.center());
            QCOMPARE(editor.pgScreens->currentIndex(), row);
            for (int other = 0; other < editor.lbScreens->count(); ++other)
                QCOMPARE(editor.lbScreens->item(other)->icon().isNull(), other != row);
            if (!folder.isEmpty())
            {
                QDir().mkpath(folder);
                editor.grab().save(folder + QStringLiteral("/edit-task-") + QString::number(row) +
                                   QStringLiteral("-x") + qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")) +
                                   QStringLiteral(".png"));
            }
        }
    }

private:
    std::unique_ptr<TSandboxApp> m_sandbox;
};

} // namespace hx

QTEST_MAIN(hx::HXEditTaskTest)
#include "HXEditTaskTest.moc"
