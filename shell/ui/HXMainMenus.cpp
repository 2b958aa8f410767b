// The main window's menus: the menu bar's six menus, the New and Downloads buttons'
// menus, the Go button's right-click menu and the tray menu, with the captions and
// shortcuts the program has always shown. The archive, browse and help commands
// are made here disabled (kLater: enabled later in the window's start-up) and
// enabled where they are connected: the archive commands by ConnectZipCommands,
// the Task menu's Browse items by ConnectBrowseCommands (as the Tasks view's items
// are, so a browser program that was not found leaves them disabled), the help
// pages by ConnectHelpCommands (the news and home pages, which lie under the "Home
// Page Address" setting, are hidden while that setting is empty).

#include "shell/ui/HXMain.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QTabWidget>
#include <QToolButton>

#include "core/HXApp.h"
#include "core/HXPaths.h"
#include "core/HXTask.h"
#include "net/HXProxy.h"
#include "schedule/ui/HXSchedulerWindow.h"
#include "schedule/ui/HXdlgEditProfile.h"

namespace hx
{

namespace
{

// Reads a recent list whole, whatever maximum it was saved with.
constexpr int kMaxRecentRead = 1000;

} // namespace

QAction* TFormHarbex::AddAction(QAction*& into, QMenu* menu, const QString& objectName, const QString& caption,
                                const QKeySequence& shortcut, bool enabled)
{
    auto* action = new QAction(caption, this);
    into = action;
    action->setObjectName(objectName);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    action->setEnabled(enabled);
    menu->addAction(action);
    return action;
}

void TFormHarbex::CreateMenus()
{
    constexpr bool kLater = false;
    QMenuBar* bar = menuBar();

    // File
    QMenu* file = bar->addMenu(tr("&File"));
    file->setObjectName("mnuFile");
    QMenu* fileNew = file->addMenu(tr("&New"));
    AddAction(m_actions.miFileNewFileZip, fileNew, "miFileNewFileZip", tr("&File Zip..."), QKeySequence(Qt::Key_F6),
              kLater);
    connect(AddAction(m_actions.miFileNewDownloadTask, fileNew, "miFileNewDownloadTask", tr("&Download Task..."),
                      QKeySequence(Qt::Key_F7)),
            &QAction::triggered, this, [this] { NewTaskFromURL({}, {}, false, btnIntranetMode->isChecked()); });
    fileNew->addMenu(tr("&Special"))->setObjectName("miSpecial");
    AddAction(m_actions.miFileOpen, file, "miFileOpen", tr("&Open..."), {}, kLater);
    QMenu* reopen = file->addMenu(tr("&Reopen"));
    reopen->setObjectName("miFileReopen");
    AddAction(m_actions.miFileClose, file, "miFileClose", tr("&Close"), {}, kLater);
    file->addSeparator();
    QAction* exit =
        AddAction(m_actions.miFileExit, file, "miFileExit", tr("E&xit"), QKeySequence(Qt::ALT | Qt::Key_F4));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    // Edit: the captions carry the key names; they are not shortcuts.
    QMenu* edit = bar->addMenu(tr("&Edit"));
    edit->setObjectName("mnuEdit");
    connect(AddAction(m_actions.miEditUndo, edit, "miEditUndo", tr("&Undo        Ctrl+Z")), &QAction::triggered, this,
            [this] { EditCommand(0); });
    connect(AddAction(m_actions.miEditCut, edit, "miEditCut", tr("Cu&t            Ctrl+X")), &QAction::triggered, this,
            [this] { EditCommand(1); });
    connect(AddAction(m_actions.miEditCopy, edit, "miEditCopy", tr("&Copy         Ctrl+C")), &QAction::triggered, this,
            [this] { EditCommand(2); });
    AddAction(m_actions.miEditPaste, edit, "miEditPaste", tr("&Paste        Ctrl+V"));
    edit->addSeparator();
    QAction* pasteURL =
        AddAction(m_actions.miPasteURL, edit, "miPasteURL", tr("Paste URL..."), QKeySequence(Qt::CTRL | Qt::Key_B));
    connect(pasteURL, &QAction::triggered, this, &TFormHarbex::PasteURL);

    // View
    QMenu* view = bar->addMenu(tr("&View"));
    view->setObjectName("mnuView");
    QMenu* zipPane = view->addMenu(tr("&Zip Pane"));
    m_splitGroup = new QActionGroup(this);
    QAction* horizontally =
        AddAction(m_actions.miSplitHorizontally, zipPane, "miSplitHorizontally", tr("Split &Horizontally"));
    QAction* vertically = AddAction(m_actions.miSplitVertically, zipPane, "miSplitVertically", tr("Split &Vertically"));
    for (QAction* split : {horizontally, vertically})
    {
        split->setCheckable(true);
        m_splitGroup->addAction(split);
    }
    vertically->setChecked(true);
    connect(horizontally, &QAction::triggered, this, [this] { SetSplitStacked(true); });
    connect(vertically, &QAction::triggered, this, [this] { SetSplitStacked(false); });
    QMenu* downloads = view->addMenu(tr("&Downloads Folder"));
    downloads->setObjectName("miDownloadsFolder");
    connect(AddAction(m_actions.miProfilesEditor, view, "miProfilesEditor", tr("Profiles Editor...")),
            &QAction::triggered, this,
            [this]
            {
                TdlgEditProfile editor(this, m_app);
                editor.exec();
                FillProfileBox();
            });
    QMenu* options = view->addMenu(tr("&Options"));
    connect(AddAction(m_actions.miPreferences, options, "miPreferences", tr("&Preferences...")), &QAction::triggered,
            this, [this] { ShowPreferences(TPreferencesPage::General); });
    connect(AddAction(m_actions.miSelectSkin, options, "miSelectSkin", tr("&Select Skin..."),
                      QKeySequence(Qt::CTRL | Qt::Key_K)),
            &QAction::triggered, this, &TFormHarbex::SelectSkin);

    // Zip: the archive commands (connected with the archive pane).
    QMenu* zip = bar->addMenu(tr("&Zip"));
    zip->setObjectName("mnuZip");
    QMenu* zipNew = zip->addMenu(tr("&New"));
    AddAction(m_actions.miZipNewFileZip, zipNew, "miZipNewFileZip", tr("&File Zip..."),
              QKeySequence(Qt::CTRL | Qt::Key_F), kLater);
    connect(AddAction(m_actions.miZipNewWebZip, zipNew, "miZipNewWebZip", tr("&Web Zip..."),
                      QKeySequence(Qt::CTRL | Qt::Key_N)),
            &QAction::triggered, this, [this] { NewTaskFromURL({}, {}, false, btnIntranetMode->isChecked()); });
    AddAction(m_actions.miZipOpen, zip, "miZipOpen", tr("&Open..."), QKeySequence(Qt::CTRL | Qt::Key_O), kLater);
    AddAction(m_actions.miZipClose, zip, "miZipClose", tr("&Close"), {}, kLater);
    AddAction(m_actions.miZipAdd, zip, "miZipAdd", tr("&Add..."), QKeySequence(Qt::CTRL | Qt::Key_A), kLater);
    AddAction(m_actions.miZipDelete, zip, "miZipDelete", tr("&Delete"), QKeySequence(Qt::Key_Delete), kLater);
    AddAction(m_actions.miZipUnzip, zip, "miZipUnzip", tr("&Unzip..."), QKeySequence(Qt::CTRL | Qt::Key_U), kLater);
    AddAction(m_actions.miZipRename, zip, "miZipRename", tr("Rena&me"), QKeySequence(Qt::CTRL | Qt::Key_R), kLater);
    AddAction(m_actions.miZipSend, zip, "miZipSend", tr("Send..."), {}, kLater);
    QMenu* zipBrowse = zip->addMenu(tr("&Browse"));
    zipBrowse->setObjectName("miZipBrowse");
    AddAction(m_actions.miZipBrowseIE, zipBrowse, "miZipBrowseIE", tr("&Internet Explorer..."), {}, kLater);
    AddAction(m_actions.miZipBrowseNetscape, zipBrowse, "miZipBrowseNetscape", tr("Netscape Navigator..."), {}, kLater);
    AddAction(m_actions.miZipBrowseNotepad, zipBrowse, "miZipBrowseNotepad", tr("Notepad"), {}, kLater);

    // Task: the commands act on the tasks selected in the Tasks view.
    QMenu* task = bar->addMenu(tr("&Task"));
    task->setObjectName("mnuTask");
    connect(AddAction(m_actions.miTaskNew, task, "miTaskNew", tr("&New..."), QKeySequence(Qt::CTRL | Qt::Key_N)),
            &QAction::triggered, this, [this] { NewTaskFromURL({}, {}, false, btnIntranetMode->isChecked()); });
    QAction* editTask =
        AddAction(m_actions.miTaskEdit, task, "miTaskEdit", tr("&Edit..."), QKeySequence(Qt::CTRL | Qt::Key_E));
    QAction* remove = AddAction(m_actions.miTaskDelete, task, "miTaskDelete", tr("&Delete"));
    QAction* run = AddAction(m_actions.miTaskRun, task, "miTaskRun", tr("&Run"), QKeySequence(Qt::CTRL | Qt::Key_R));
    QAction* stop =
        AddAction(m_actions.miTaskStop, task, "miTaskStop", tr("&Stop"), QKeySequence(Qt::CTRL | Qt::Key_S));
    QAction* schedule = AddAction(m_actions.miTaskSchedule, task, "miTaskSchedule", tr("Schedu&le..."));
    QAction* unschedule = AddAction(m_actions.miTaskUnschedule, task, "miTaskUnschedule", tr("&Unschedule"));
    QMenu* copy = task->addMenu(tr("&Copy"));
    QAction* copyURL = AddAction(m_actions.miTaskCopyURL, copy, "miTaskCopyURL", tr("Start Page URL"));
    QAction* copyLocalURL =
        AddAction(m_actions.miTaskCopyLocalURL, copy, "miTaskCopyLocalURL", tr("Start Page URL (local)"));
    QMenu* taskBrowse = task->addMenu(tr("&Browse"));
    for (const auto& [name, caption] : {std::pair{"Offline", tr("&Offline")}, std::pair{"Online", tr("On &Internet")}})
    {
        QMenu* where = taskBrowse->addMenu(caption);
        TBrowseActions& items = QString::fromLatin1(name) == QStringLiteral("Offline") ? m_actions.miTaskBrowseOffline
                                                                                       : m_actions.miTaskBrowseOnline;
        AddAction(items.IE, where, QStringLiteral("miTaskBrowse%1IE").arg(name), tr("&Internet Explorer..."), {},
                  kLater);
        AddAction(items.Netscape, where, QStringLiteral("miTaskBrowse%1Netscape").arg(name),
                  tr("&Netscape Navigator..."), {}, kLater);
        AddAction(items.Integrated, where, QStringLiteral("miTaskBrowse%1Integrated").arg(name),
                  tr("Integrated &Browser"), {}, kLater);
    }
    AddAction(m_actions.miTaskExplore, task, "miTaskExplore", tr("E&xplore"), {}, false);
    ConnectExploreCommands();
    // The Task menu forwards to the Tasks view's commands.
    connect(run, &QAction::triggered, m_schedulerWindow, &TFormScheduler::RunSelected);
    connect(stop, &QAction::triggered, m_schedulerWindow, &TFormScheduler::StopSelected);
    connect(remove, &QAction::triggered, m_schedulerWindow, &TFormScheduler::DeleteSelected);
    connect(unschedule, &QAction::triggered, m_schedulerWindow, &TFormScheduler::UnscheduleSelected);
    connect(schedule, &QAction::triggered, m_schedulerWindow, &TFormScheduler::ScheduleSelected);
    connect(editTask, &QAction::triggered, m_schedulerWindow, &TFormScheduler::EditSelected);
    connect(copyURL, &QAction::triggered, m_schedulerWindow, [this] { m_schedulerWindow->CopyStartPageURL(false); });
    connect(copyLocalURL, &QAction::triggered, m_schedulerWindow,
            [this] { m_schedulerWindow->CopyStartPageURL(true); });

    // Ctrl+N and Ctrl+R stand in both the Zip and the Task menu, and a key two
    // enabled items claim fires neither. The Zip items show their keys without
    // claiming them: Ctrl+N is the Task menu's (both make a new task), and Ctrl+R
    // goes to one window shortcut that renames or runs by the focused view.
    m_actions.miZipNewWebZip->setShortcutContext(Qt::WidgetShortcut);
    m_actions.miZipRename->setShortcutContext(Qt::WidgetShortcut);
    m_actions.miTaskRun->setShortcutContext(Qt::WidgetShortcut);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this), &QShortcut::activated, this,
            &TFormHarbex::RenameOrRun);

    // Help: the installed help pages (HXMainHelp.cpp).
    QMenu* help = bar->addMenu(tr("&Help"));
    help->setObjectName("mnuHelp");
    AddAction(m_actions.miHelpContents, help, "miHelpContents", tr("&Contents..."), QKeySequence(Qt::Key_F1), kLater);
    AddAction(m_actions.miOnlineHelp, help, "miOnlineHelp", tr("Online Help..."), {}, kLater);
    AddAction(m_actions.miHarbexNews, help, "miHarbexNews", tr("&Harbex News..."), {}, kLater);
    AddAction(m_actions.miHarbexTour, help, "miHarbexTour", tr("Harbex &Tour..."), {}, kLater);
    AddAction(m_actions.miVendorHome, help, "miVendorHome", tr("Tavrolin Home &Page..."), {}, kLater);
    help->addSeparator();
    connect(AddAction(m_actions.miAbout, help, "miAbout", tr("&About...")), &QAction::triggered, this,
            &TFormHarbex::ShowAbout);

    // The New button's menu.
    auto* newMenu = new QMenu(btnNew);
    AddAction(m_actions.pmiNewFileZip, newMenu, "pmiNewFileZip", tr("New &File Zip..."), {}, kLater);
    connect(AddAction(m_actions.pmiNewDownloadTask, newMenu, "pmiNewDownloadTask", tr("New &Download Task...")),
            &QAction::triggered, this, [this] { NewTaskFromURL({}, {}, false, btnIntranetMode->isChecked()); });
    connect(AddAction(m_actions.pmiNewIntranet, newMenu, "pmiNewIntranet", tr("New Personal Intranet Website")),
            &QAction::triggered, this, [this] { NewTaskFromURL({}, {}, false, true); });
    newMenu->addMenu(tr("&Special"))->setObjectName("miSpecial");
    btnNew->setMenu(newMenu);
    connect(btnNew, &QToolButton::clicked, this,
            [this] { NewTaskFromURL({}, {}, false, btnIntranetMode->isChecked()); });
    // Open and Downloads open archives.
    btnDownloads->setMenu(new QMenu(btnDownloads));

    // The Go button's right-click menu.
    pmGo = new QMenu(this);
    connect(AddAction(m_actions.pmiGo, pmGo, "pmiGo", tr("GO")), &QAction::triggered, this, [this] { GoClick(); });
    connect(AddAction(m_actions.pmiGoNewTask, pmGo, "pmiGoNewTask", tr("New Download Task...")), &QAction::triggered,
            this,
            [this] {
                NewTaskFromURL(cmbURL->currentText().trimmed().toStdString(), {}, false, btnIntranetMode->isChecked());
            });
    connect(AddAction(m_actions.pmiGoMap, pmGo, "pmiGoMap", tr("Map")), &QAction::triggered, this,
            [this] { GoClick(true); });

    // The tray menu.
    pmTray = new QMenu(this);
    QAction* addToZip = AddAction(m_actions.pmiAddToCurrentZip, pmTray, "pmiAddToCurrentZip", tr("Add To Current Zip"));
    addToZip->setCheckable(true);
    connect(pmTray, &QMenu::aboutToShow, this,
            [this, addToZip]
            {
                addToZip->setEnabled(btnAddToSelectedZip->isEnabled());
                addToZip->setChecked(btnAddToSelectedZip->isChecked());
            });
    connect(addToZip, &QAction::triggered, btnAddToSelectedZip, &QToolButton::setChecked);
    QAction* trayPaste = AddAction(m_actions.pmiPasteURL, pmTray, "pmiPasteURL", tr("Paste URL and download..."),
                                   QKeySequence(Qt::CTRL | Qt::Key_B));
    trayPaste->setShortcutContext(Qt::WidgetShortcut);
    connect(trayPaste, &QAction::triggered, this, &TFormHarbex::PasteURL);
    connect(AddAction(m_actions.pmiOptions, pmTray, "pmiOptions", tr("&Options...")), &QAction::triggered, this,
            [this] { ShowPreferences(TPreferencesPage::General); });
    // The report button's "Browser Properties..." opens the preferences on their
    // Browser page.
    for (QAction* item : m_schedulerWindow->popBrowse->actions())
        if (item->text() == tr("Browser Properties..."))
        {
            item->setEnabled(true);
            connect(item, &QAction::triggered, this, [this] { ShowPreferences(TPreferencesPage::Browser); });
        }
    connect(AddAction(m_actions.pmiRestore, pmTray, "pmiRestore", tr("&Restore")), &QAction::triggered, this,
            &TFormHarbex::RestoreFromTray);
    connect(AddAction(m_actions.pmiExit, pmTray, "pmiExit", tr("&Exit")), &QAction::triggered, this,
            [this]
            {
                if (close())
                    QApplication::quit();
            });
}

void TFormHarbex::RenameOrRun()
{
    // The Zips tree or the contents list in focus: Zip > "Rename"; anywhere else
    // the window: Task > "Run" on the Tasks view's selection.
    UpdateZipMenus();
    if (m_actions.miZipRename->isEnabled())
    {
        m_actions.miZipRename->trigger();
        return;
    }
    UpdateCommands();
    if (m_actions.miTaskRun->isEnabled())
        m_actions.miTaskRun->trigger();
}

void TFormHarbex::ShowPreferences(TPreferencesPage page)
{
    TPreferencesOptions options;
    options.DetectProxy = m_options.DetectProxy;
    TdlgOptions preferences(m_app, this, options);
    preferences.ShowPage(page);
    const bool accepted = preferences.exec() == QDialog::Accepted;
    // "Clear" empties a history at once, whichever way the dialog closed. A new
    // length of the archive list applies from the next start.
    m_recentFiles = m_app.LoadRecentList(kRecentZipFilesKey, kMaxRecentRead);
    RebuildReopenMenu();
    if (accepted)
    {
        // A lower maximum drops the oldest addresses at once.
        m_app.SaveRecentList(kRecentURLsKey, m_app.LoadRecentList(kRecentURLsKey, kMaxRecentRead),
                             m_app.MaxURLHistory());
        SetModeHints();
        ZipCommandsChanged();
        // The report button shows the browser now chosen.
        m_schedulerWindow->DrawBrowserIcon();
    }
    m_recentURLs = m_app.LoadRecentList(kRecentURLsKey, m_app.MaxURLHistory());
    RefreshAddressList();
}

void TFormHarbex::OfferProxyAtFirstRun()
{
    TPreferencesOptions options;
    options.DetectProxy = m_options.DetectProxy;
    TdlgOptions preferences(m_app, this, options);
    if (!ProxyToOffer(m_app, preferences.DetectedProxy(), preferences.cbUseProxy->isChecked()).empty())
        preferences.exec();
}

} // namespace hx
