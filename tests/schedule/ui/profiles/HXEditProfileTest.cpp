// The profiles editor driven as a person drives it: clicking list entries, typing
// new names in place, clicking radio buttons, answering its question; then the
// profile files of the Profiles folder are read back.

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>

#include <cstdlib>
#include <memory>

#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXProfile.h"
#include "core/HXStrings.h"
#include "schedule/ui/HXDialogDriver.h"
#include "schedule/ui/HXdlgEditProfile.h"
#include "schedule/ui/HXdlgEditTaskDialogs.h"
#include "support/HXSandbox.h"

namespace hx
{

namespace
{

// A settings object whose every folder lies in a temporary folder, with two
// profile files: Fast (values in every key, the ones without controls included)
// and Slow (only a name and a depth beyond what the arrows offer).
struct TSandboxApp
{
    test::TTempFolder Home;
    THXApp App{THXEnvironment::UnderHome(Home.Path().string())};

    TSandboxApp()
    {
        WriteGroup(App.Store(), "HTML", ".htm;.html;");
        WriteGroup(App.Store(), "Images", ".gif;.jpg;.png;");
        THXProfile fast;
        fast.FileName = File("Fast");
        fast.Name = "Fast";
        fast.FileTypes = {".htm", ".gif"};
        fast.PageLocation = kLocationStartSite;
        fast.ResourceLocation = kLocationStartDirectory;
        fast.Depth = 3;
        fast.AggressiveParser = 2;
        fast.ConvertFollowedLinks = 0;
        fast.ConvertUnfollowedLinks = 2;
        fast.UseStartPageTitle = false;
        fast.URLFiltersInclude = {"[PL]cgi,bin"};
        fast.URLFiltersExclude = {"[AL]ads"};
        fast.PageFileSizeMin = 11;
        fast.PageFileSizeMax = 22;
        fast.ResourceFileSizeMin = 33;
        fast.ResourceFileSizeMax = 44;
        fast.UseSitemaps = true;
        fast.RenderPages = true;
        fast.RenderTimeOut = 25;
        fast.Save();
        SaveTextFile(File("Slow"), "[Profile]\nProfile Name=Slow\nDepth=35\n");
    }

    std::string File(const std::string& name) const { return App.ProfilesFolder() + name + ".hxp"; }

    THXProfile Read(const std::string& name) const
    {
        THXProfile profile;
        profile.FileName = File(name);
        profile.Load();
        return profile;
    }
};

QStringList Names(const QListWidget* list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

// Clicks the list entry of that name.
void ClickEntry(QListWidget* list, const QString& name)
{
    const auto found = list->findItems(name, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.first()).center());
    QCOMPARE(list->currentItem()->text(), name);
}

// Types a name into the open in-place editor of the list and confirms it with Enter.
void TypeName(QListWidget* list, const QString& name)
{
    QLineEdit* field = nullptr;
    QTRY_VERIFY((field = list->findChild<QLineEdit*>()) != nullptr && field->isVisible());
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, name);
    QTest::keyClick(field, Qt::Key_Return);
}

} // namespace

class HXEditProfileTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_sandbox = std::make_unique<TSandboxApp>(); }
    void cleanup() { m_sandbox.reset(); }

    // New, rename and delete: each leaves the Profiles folder as the list shows it.
    void createRenameDelete()
    {
        TdlgEditProfile editor(nullptr, m_sandbox->App);
        QCOMPARE(editor.windowTitle(), QStringLiteral("Profiles Editor"));
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QCOMPARE(Names(editor.lvProfiles), QStringList({QStringLiteral("Fast"), QStringLiteral("Slow")}));
        QVERIFY(editor.lvProfiles->currentItem() == nullptr);
        QVERIFY(editor.edProfileName->text().isEmpty());

        // "New": a "New Profile" entry opened for its name; confirming the name
        // writes that profile's file with the defaults.
        QTest::mouseClick(editor.btnProfileNew, Qt::LeftButton);
        QCOMPARE(editor.lvProfiles->currentItem()->text(), QStringLiteral("New Profile"));
        QCOMPARE(editor.edProfileName->text(), QStringLiteral("New Profile"));
        QVERIFY(editor.Dirty());
        TypeName(editor.lvProfiles, QStringLiteral("Mine"));
        QTRY_VERIFY(FileExists(m_sandbox->File("Mine")));
        QVERIFY(!FileExists(m_sandbox->File("New Profile")));
        QCOMPARE(editor.edProfileName->text(), QStringLiteral("Mine"));
        const THXProfile mine = m_sandbox->Read("Mine");
        QCOMPARE(mine.Name, std::string("Mine"));
        QCOMPARE(mine.Depth, -1);
        QCOMPARE(mine.PageLocation, kLocationStartSite);
        QCOMPARE(mine.ResourceLocation, kLocationAnywhere);
        QCOMPARE(mine.UseStartPageTitle, true);
        QVERIFY(mine.FileTypes.empty());
        QVERIFY(!editor.Dirty());

        // Renaming Fast to Faster: Faster.hxp holds Fast's values, Fast.hxp is gone.
        const THXProfile fast = m_sandbox->Read("Fast");
        ClickEntry(editor.lvProfiles, QStringLiteral("Fast"));
        QCOMPARE(editor.edProfileName->text(), QStringLiteral("Fast"));
        QTest::keyClick(editor.lvProfiles, Qt::Key_F2);
        TypeName(editor.lvProfiles, QStringLiteral("Faster"));
        QTRY_VERIFY(FileExists(m_sandbox->File("Faster")));
        QVERIFY(!FileExists(m_sandbox->File("Fast")));
        THXProfile expected = fast;
        expected.FileName = m_sandbox->File("Faster");
        expected.Name = "Faster";
        QVERIFY(m_sandbox->Read("Faster") == expected);

        // "Delete" removes the selected profile's file without a question.
        ClickEntry(editor.lvProfiles, QStringLiteral("Slow"));
        test::TWhenShown<QMessageBox> noQuestion([](QMessageBox& box) { box.close(); });
        QTest::mouseClick(editor.btnProfileDelete, Qt::LeftButton);
        QVERIFY(!FileExists(m_sandbox->File("Slow")));
        QCOMPARE(Names(editor.lvProfiles), QStringList({QStringLiteral("Faster"), QStringLiteral("Mine")}));
        QCOMPARE(noQuestion.Seen(), 0);
    }

    // A change followed by another selection asks; No leaves the file as it was,
    // Yes saves the shown values and keeps the keys that have no controls.
    void leavingChangedProfileAsks()
    {
        TdlgEditProfile editor(nullptr, m_sandbox->App);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        const std::string fastBefore = *ReadWholeFile(m_sandbox->File("Fast"));
        QString asked;
        QMessageBox::StandardButton reply = QMessageBox::No;
        test::TWhenShown<QMessageBox> answer(
            [&](QMessageBox& box)
            {
                asked = box.text();
                box.button(reply)->click();
            });

        // Slow's depth lies beyond what the arrows offer and is shown as it is.
        ClickEntry(editor.lvProfiles, QStringLiteral("Slow"));
        QCOMPARE(editor.grpDepth->checkedId(), TdlgEditProfile::kDepthLevels);
        QCOMPARE(editor.edLevels->value(), 35);

        // Selecting without a change asks nothing.
        ClickEntry(editor.lvProfiles, QStringLiteral("Fast"));
        QCOMPARE(answer.Seen(), 0);
        QCOMPARE(editor.edLevels->value(), 3);

        // Editing a filter changes nothing worth asking about; its dialog carries the general label.
        {
            editor.lbEx->lbFilters->setCurrentRow(0);
            QString label;
            test::TWhenShown<TdlgEditURLFilter> filter(
                [&](TdlgEditURLFilter& dialog)
                {
                    label = dialog.lblHint->text();
                    dialog.reject();
                });
            QTest::mouseClick(editor.lbEx->btnEdit, Qt::LeftButton);
            QCOMPARE(filter.Seen(), 1);
            QCOMPARE(label, QStringLiteral("All links must contain all of the following characters, words or "
                                           "phrases. Separate each with a comma."));
        }
        QVERIFY(!editor.Dirty());

        test::ClickMark(editor.grpDepth->button(TdlgEditProfile::kDepthThisPage));
        QVERIFY(editor.Dirty());
        ClickEntry(editor.lvProfiles, QStringLiteral("Slow"));
        QTRY_COMPARE(answer.Seen(), 1);
        QCOMPARE(asked, QStringLiteral("Save changes to profile: Fast?"));
        QCOMPARE(*ReadWholeFile(m_sandbox->File("Fast")), fastBefore);
        QVERIFY(!editor.Dirty());

        // Back to Fast: one more level, pages anywhere, a resource filter added; Yes saves.
        ClickEntry(editor.lvProfiles, QStringLiteral("Fast"));
        QCOMPARE(answer.Seen(), 1);
        QCOMPARE(editor.grpDepth->checkedId(), TdlgEditProfile::kDepthLevels);
        QTest::keyClick(editor.edLevels, Qt::Key_Up);
        test::ClickMark(editor.grpPageLocation->button(kLocationAnywhere));
        {
            test::TWhenShown<TdlgEditURLFilter> filter(
                [](TdlgEditURLFilter& dialog)
                {
                    QTest::keyClicks(dialog.edFilter, QStringLiteral("zip"));
                    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
                });
            editor.lbInc->btnAdd->menu()->actions().at(2)->trigger();
            QCOMPARE(filter.Seen(), 1);
        }
        reply = QMessageBox::Yes;
        ClickEntry(editor.lvProfiles, QStringLiteral("Slow"));
        QTRY_COMPARE(answer.Seen(), 2);
        const THXProfile saved = m_sandbox->Read("Fast");
        QCOMPARE(saved.Depth, 4);
        QCOMPARE(saved.PageLocation, kLocationAnywhere);
        QCOMPARE(saved.URLFiltersInclude, TStringList({"[PL]cgi,bin", "[RL]zip"}));
        // The keys without controls are written back as they were read.
        QCOMPARE(saved.AggressiveParser, 2);
        QCOMPARE(saved.ConvertFollowedLinks, 0);
        QCOMPARE(saved.ConvertUnfollowedLinks, 2);
        QCOMPARE(saved.PageFileSizeMin, 11);
        QCOMPARE(saved.PageFileSizeMax, 22);
        QCOMPARE(saved.ResourceFileSizeMin, 33);
        QCOMPARE(saved.ResourceFileSizeMax, 44);
        QCOMPARE(saved.FileTypes, TStringList({".htm", ".gif"}));
        QCOMPARE(saved.ResourceLocation, kLocationStartDirectory);
        QCOMPARE(saved.UseStartPageTitle, false);

        // A change and then "&Close": dropped without a question.
        const std::string slowBefore = *ReadWholeFile(m_sandbox->File("Slow"));
        test::ClickMark(editor.grpDepth->button(TdlgEditProfile::kDepthAll));
        QVERIFY(editor.Dirty());
        QTest::mouseClick(editor.btnClose, Qt::LeftButton);
        QVERIFY(!editor.isVisible());
        QCOMPARE(answer.Seen(), 2);
        QCOMPARE(*ReadWholeFile(m_sandbox->File("Slow")), slowBefore);
    }

    // "Use Sitemaps" shows each profile's setting; ticking it is a change that Yes saves.
    void useSitemapsBox()
    {
        TdlgEditProfile editor(nullptr, m_sandbox->App);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        test::TWhenShown<QMessageBox> answer([](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); });
        ClickEntry(editor.lvProfiles, QStringLiteral("Fast"));
        QVERIFY(editor.cbUseSitemaps->isChecked());
        ClickEntry(editor.lvProfiles, QStringLiteral("Slow"));
        QVERIFY(!editor.cbUseSitemaps->isChecked());
        QVERIFY(!editor.Dirty());
        editor.findChild<QScrollArea*>()->ensureWidgetVisible(editor.cbUseSitemaps);
        QTest::mouseClick(editor.cbUseSitemaps, Qt::LeftButton, {}, QPoint(8, editor.cbUseSitemaps->height() / 2));
        QVERIFY(editor.cbUseSitemaps->isChecked());
        QVERIFY(editor.Dirty());
        ClickEntry(editor.lvProfiles, QStringLiteral("Fast"));
        QTRY_COMPARE(answer.Seen(), 1);
        QCOMPARE(m_sandbox->Read("Slow").UseSitemaps, true);
        QCOMPARE(m_sandbox->Read("Slow").Depth, 35);
    }

    // "Rendering:" shows each profile's values; ticking "Render Pages" enables its time
    // out and is a change that Yes saves. Where the renderer is not installed the tick
    // is refused with a message and nothing changes.
    void renderPagesBox()
    {
        TdlgEditProfile editor(nullptr, m_sandbox->App);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        TRenderBox& box = *editor.renderBox;
        const auto tick = [&]
        {
            editor.findChild<QScrollArea*>()->ensureWidgetVisible(box.cbRenderPages);
            QTest::mouseClick(box.cbRenderPages, Qt::LeftButton, {}, QPoint(8, box.cbRenderPages->height() / 2));
        };
        ClickEntry(editor.lvProfiles, QStringLiteral("Fast"));
        QVERIFY(box.cbRenderPages->isChecked());
        QCOMPARE(box.edRenderTimeOut->value(), 25);
        ClickEntry(editor.lvProfiles, QStringLiteral("Slow"));
        QVERIFY(!box.cbRenderPages->isChecked());
        QVERIFY(!box.edRenderTimeOut->isEnabled());

        ::setenv("HARBEX_RENDER", (m_sandbox->Home.Path() / "no-renderer").c_str(), 1);
        {
            QString said;
            test::TWhenShown<QMessageBox> refusal(
                [&said](QMessageBox& message)
                {
                    said = message.text();
                    message.button(QMessageBox::Ok)->click();
                });
            tick();
            QTRY_COMPARE(refusal.Seen(), 1);
            QVERIFY(said.contains(QStringLiteral("harbex-render")));
        }
        QVERIFY(!box.cbRenderPages->isChecked());
        QVERIFY(!editor.Dirty());

        // Any program there stands for the renderer: the tick is taken.
        ::setenv("HARBEX_RENDER", "/bin/true", 1);
        tick();
        ::unsetenv("HARBEX_RENDER");
        QVERIFY(box.cbRenderPages->isChecked());
        QVERIFY(box.edRenderTimeOut->isEnabled());
        QVERIFY(editor.Dirty());
        test::TWhenShown<QMessageBox> answer([](QMessageBox& message) { message.button(QMessageBox::Yes)->click(); });
        ClickEntry(editor.lvProfiles, QStringLiteral("Fast"));
        QTRY_COMPARE(answer.Seen(), 1);
        QVERIFY(m_sandbox->Read("Slow").RenderPages);
        QCOMPARE(m_sandbox->Read("Slow").RenderTimeOut, kDefaultRenderTimeOut);
    }

    // The editor with a profile loaded, saved as a picture when HX_SCREENSHOT_DIR is set:
    // the fields scroll inside their panel, which never needs a sideways bar.
    void fieldsFitTheirPanel()
    {
        TdlgEditProfile editor(nullptr, m_sandbox->App);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        ClickEntry(editor.lvProfiles, QStringLiteral("Fast"));
        QVERIFY(editor.edProfileName->isVisible());
        QVERIFY(editor.btnClose->isVisible());
        const auto* panel = editor.findChild<QScrollArea*>();
        QVERIFY(panel != nullptr);
        QVERIFY(panel->widget()->minimumSizeHint().width() <= panel->viewport()->width());
        const QString folder = qEnvironmentVariable("HX_SCREENSHOT_DIR");
        if (!folder.isEmpty())
        {
            QDir().mkpath(folder);
            const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
            editor.grab().save(folder + QStringLiteral("/edit-profile-top-x") + scale + QStringLiteral(".png"));
            panel->verticalScrollBar()->setValue(panel->verticalScrollBar()->maximum());
            editor.grab().save(folder + QStringLiteral("/edit-profile-bottom-x") + scale + QStringLiteral(".png"));
        }
    }

private:
    std::unique_ptr<TSandboxApp> m_sandbox;
};

} // namespace hx

QTEST_MAIN(hx::HXEditProfileTest)
#include "HXEditProfileTest.moc"
