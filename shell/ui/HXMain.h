#pragma once

// TFormHarbex: the program's only top-level window. It receives the engine session
// (owner thread, connection slots, scheduler and its tick, task runner) made before
// it, and owns the zip timer, the docked views (status panel, task list,
// connections), the recent lists, the tray icon and the runner's window side
// (TMainRunnerHost), which it attaches to the session while it lives. It turns an
// address typed in its address box into a download task, switches between its
// views, hosts the commands of the whole program, and carries the program's
// start-up and close sequences.

#include <QIcon>
#include <QMainWindow>
#include <QSize>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ui/HXPageOpener.h"
#include "schedule/HXSchedule.h"
#include "schedule/HXScheduler.h"
#include "monitor/ui/HXPreferences.h"
#include "shell/HXSession.h"
#include "shell/HXTaskRunner.h"
#include "shell/ui/HXMainActions.h"
#include "shell/ui/HXMainZip.h"

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QMenu;
class QMovie;
class QPixmap;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTimer;
class QToolButton;
class QFileSystemModel;
class QKeyEvent;
class QPoint;
class QString;
class QTreeView;
class QWidget;

namespace hx
{

class THXApp;
class THXQtSession;
class TMainRunnerHost;
class THXSlotList;
class TBrowserMissingPage;
class TFormBrowseHome;
class TFormBrowser;
class TFormDownloader;
class TFormExplore;
class TFormScheduler;
class TFormStatus;
class TViewLink;

// The views of the main area, in the order of the view bar.
enum class TView
{
    Home,
    Tasks,
    Browse,
    Explore,
    Connections,
    ZipProperties
};

struct TMainOptions
{
    // Carries out every opening of a page or file and every program start (a
    // browser with a page, the mail program). Default: LaunchDetached.
    TLauncher Launch;
    // The first command-line parameter, handled when the window is first shown.
    std::string Parameter;
    // Finds the desktop's proxy for the preferences' offer (null: DetectProxy).
    std::function<std::string()> DetectProxy;
};

class TFormHarbex final : public QMainWindow, public TZipPaneHost
{
    Q_OBJECT

public:
    // The session (and its app) must outlive the window. The window runs the
    // session's first-run set-up and loads its active tasks, and starts its tick.
    explicit TFormHarbex(THXQtSession& session, TMainOptions options = {}, QWidget* parent = nullptr);
    ~TFormHarbex() override;
    TFormHarbex(const TFormHarbex&) = delete;
    TFormHarbex& operator=(const TFormHarbex&) = delete;

    // --- Commands ---

    // Creates a task for the address and, with a named profile, lists it so the
    // next tick starts it. "Invalid URL." for a refused address.
    void NewTaskFromURL(const std::string& address, const std::string& profile, bool map, bool intranet);
    // Go, "GO" and Enter: the address box with the profile box's profile.
    void GoClick(bool map = false);
    // "Paste URL...": a clipboard text NormalizeURL accepts becomes a task.
    void PasteURL();
    // Addresses and files from outside (HXMainDrop.cpp): the first command-line
    // parameter, every drop on the window, the parameters a second start hands over,
    // and the auto-download dialog an address opens.
    void HandleCommandLine(const std::string& parameter);
    void HandleDrop(const std::vector<std::string>& strings);
    void HandleHandedOver(const std::vector<std::string>& parameters);
    void ShowAutoDownload(const std::string& address);
    void ShowView(TView view);
    // The Browse view's step: the browser shows the selected Personal Intranet
    // path, the selected archive's node or page, or else the Downloads folder.
    void BrowseSelection();
    // Shows the Browse view and opens the address in the browser pane; without
    // the embedded browser the desktop's browser opens it.
    void BrowseIntegrated(const std::string& address);
    // "&Preferences...", the tray's "&Options..." and "Browser Properties...": the
    // preferences on the given page; OK applies the new history length, the mode
    // hints and the toggle.
    void ShowPreferences(TPreferencesPage page);
    // Opens a help page (a file of the installed help folder, with an optional
    // "#part"), the contents when the page is not there, through OpenPage.
    void ShowHelp(const std::string& page);
    // The help page about a window of the program: a dialog's own page, or for the
    // main window the page of its current view.
    std::string HelpPageFor(const QWidget* window) const;
    TView CurrentView() const { return m_view; }
    // The look of the skin in force (HXMainSkin.cpp): the scheme's colours, the
    // logo, the view bar and the buttons' pictures, then the status panel's. A
    // picture the skin lacks comes from the Default skin, else the built-in one stays.
    void ApplySkin();
    // View > Options > "Select Skin...": the skin dialog, each choice applied at once.
    void SelectSkin();
    // "Split Horizontally" (left pane above the views) or "Split Vertically" (beside them).
    void SetSplitStacked(bool stacked);
    bool SplitStacked() const;

    // --- What the runner and the tests reach ---

    THXApp& App() { return m_app; }
    THXSession& Session() { return m_engine; }
    THXTaskRunner& Runner() { return m_engine.Runner(); }
    THXScheduler& Scheduler() { return m_engine.Scheduler(); }
    THXSlotList& Slots() { return m_engine.Slots(); }
    TFormStatus& StatusWindow() { return *m_status; }
    TFormDownloader& Downloader() { return *m_downloader; }
    TFormScheduler& SchedulerWindow() { return *m_schedulerWindow; }
    TFormExplore& ExploreWindow() { return *m_explore; }
    TZipPane& ZipPane() { return *m_zipPane; }
    // The browser pane (null until the first browse) and the home pane (null
    // unless the Home view is shown); both null without the embedded browser.
    TFormBrowser* BrowserPane() const { return m_browser; }
    TFormBrowseHome* HomePane() const { return m_home; }
    // The Browse page's text and button when there is no embedded browser.
    TBrowserMissingPage* BrowserMissingPage() const { return m_browserMissing; }
    // The bundled home page: the help start page in the data folder.
    std::string HomePageAddress() const;
    // The recent-archive list as the Reopen menu shows it.
    std::vector<std::string> RecentFiles() const { return m_recentFiles; }
    // The window's commands, made once with its menus.
    const THXMainActions& Actions() const { return m_actions; }
    // A command found by its object name (for tests, which name the menu items).
    QAction* Action(const QString& objectName) const;
    // The recent-URL list as the address box shows it.
    std::vector<std::string> RecentURLs() const { return m_recentURLs; }
    bool FirstActivationDone() const { return m_activated; }

    // Controls, named as the window's layout names them.
    QComboBox* cmbURL = nullptr;
    QComboBox* cmbProfile = nullptr;
    QToolButton* btnGO = nullptr;
    QToolButton* btnNew = nullptr;
    QToolButton* btnOpen = nullptr;
    QToolButton* btnDownloads = nullptr;
    QToolButton* btnHarbexMode = nullptr;
    QToolButton* btnIntranetMode = nullptr;
    QToolButton* btnAddToSelectedZip = nullptr;
    QToolButton* btnHelp = nullptr;
    QLabel* imgLogo = nullptr;
    QTabWidget* tabsLeft = nullptr;
    QTreeView* tvIntranet = nullptr;
    QStackedWidget* pages = nullptr;
    QSplitter* splitter = nullptr;
    QWidget* pnlStatus = nullptr;
    QMenu* pmGo = nullptr;
    QMenu* pmTray = nullptr;
    TViewLink* ViewLink(TView view) const;

    // --- TZipPaneHost ---

    void ZipStatus(const std::string& text, std::int64_t position, std::int64_t maximum) override;
    void ShowZipProperties(bool unlessTasks) override;
    int ZipResult(int code, std::string_view operationWord) override;
    void ZipError(const std::string& message) override;
    void RememberZipFile(const std::string& path) override;
    void ForgetZipFile(const std::string& path) override;
    void OpenWithDesktop(const std::string& target) override;
    bool StartProgram(const std::string& program, const std::string& argument) override;
    void OpenWithTextEditor(const std::string& file) override;
    void ZipCommandsChanged() override;
    void ZipFileMoved(const std::string& oldPath, const std::string& newPath) override;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TMainRunnerHost;

    // The window's own steps, which the runner's window side also takes.
    void ShowStatus(const std::string& text);
    void ShowError(const std::string& message);
    // The Task commands follow the Tasks view's selection and the running task.
    void UpdateCommands();
    void ReportZipResult(int code, std::string_view operationWord);
    void AttachExploreView(THXTask* task);
    void OpenZip(THXTask& task);
    void ZipEntryAdded(THXTask& task, const std::string& entryName, const std::string& title);
    void ZipRenamed(THXTask& task, const std::string& oldPath, const std::string& newPath);

    // Building the window.
    void CreateToolBand(QWidget* band);
    void CreateAddressRow(QWidget* row);
    void CreateViewBar(QWidget* bar);
    void CreateMainArea(QWidget* area);
    void CreateMenus();
    void CreateTrayIcon();
    // The explore view of the Explore page and the commands that show it.
    QWidget* CreateExploreView(QWidget* parent);
    void ConnectExploreCommands();
    // The Browse and Home pages (HXMainBrowse.cpp) and the browse commands.
    QWidget* CreateBrowsePage(QWidget* parent);
    QWidget* CreateHomePage(QWidget* parent);
    void ConnectBrowseCommands();
    void ShowHomePane();
    void ReleaseHomePane();
    // The Personal Intranet tab's tree (HXMainIntranet.cpp).
    QWidget* CreateIntranetTree(QWidget* parent);
    // Roots the tree at the Personal Intranet folder in force (made when missing).
    void RefreshIntranetTree();
    // The selected folder or file of the tree; empty with nothing selected.
    std::string SelectedIntranetPath() const;
    void ShowIntranetMenu(const QPoint& at);
    void TrashIntranetEntry(const QString& path);
    // Enter opens the selected file, Delete moves the selection to the trash.
    bool IntranetKey(QKeyEvent* key);
    // "Integrated Browser" offline on an Intranet task: the Personal Intranet tab
    // with its tree on the task's local file.
    void ShowInIntranet(const std::string& file);
    // Where the browse-selection step goes; empty for nowhere.
    std::string BrowseSelectionTarget();
    // The archive commands of the menus, the buttons and the Zips tree's menu.
    void ConnectZipCommands();
    void RebuildReopenMenu();
    // F1, the Help menu's pages and the Help button (HXMainHelp.cpp).
    void ConnectHelpCommands();
    // Shows "&Harbex News..." and "Tavrolin Home &Page..." only while the "Home Page
    // Address" setting names an address.
    void ShowHomePageCommands();
    // Each time a menu opens: the archive commands apply only with a node of the
    // Zips tree selected and the tree or the contents list focused.
    void UpdateZipMenus();
    // Ctrl+R: renames the selected archive when the Zips tree or the contents list
    // has the focus, else runs the selected tasks.
    void RenameOrRun();
    // Makes a command of the menu, keeps it in `into` and returns it.
    QAction* AddAction(QAction*& into, QMenu* menu, const QString& objectName, const QString& caption,
                       const QKeySequence& shortcut = {}, bool enabled = true);

    // Start-up steps after the window is built.
    void FormShow();
    void FormActivate();
    void FillProfileBox();
    void SetModeHints();
    // At the first run: the preferences are shown when they have a proxy to offer.
    void OfferProxyAtFirstRun();
    // Close steps after the close query.
    void FormClose();

    void PageControlChange();
    void SetSaveMode(bool intranet);
    void RememberURL(const std::string& address);
    void RefreshAddressList();
    // The scheduler's tick at once (a task added is due now).
    void TickSchedule();
    void TickZipTimer();
    void EditCommand(int which);
    void ShowAbout();
    // A page (report, help, start page, address) in the browser the settings name.
    void OpenPage(const std::string& target) override;
    // Unpacks a Zip task's archive into the temporary folder for browsing; false
    // after telling why it could not.
    bool UnpackForBrowsing(THXTask& task);
    void RestoreFromTray();
    // The skin's parts (HXMainSkin.cpp).
    void ApplySkinColors();
    void ApplySkinLogo();
    void ApplyViewBarPicture();
    void ApplyButtonPictures();
    QPixmap BuiltInLogo() const;

    THXQtSession& m_session;
    THXSession& m_engine;
    THXApp& m_app;
    TMainOptions m_options;
    // How pages and files are opened; every view opens through a copy of it.
    TPageOpener m_pages;
    // The runner's window side, attached to the session while the window lives.
    std::unique_ptr<TMainRunnerHost> m_runnerHost;
    THXMainActions m_actions;
    // Docked views: children of the window.
    TFormStatus* m_status = nullptr;
    TFormDownloader* m_downloader = nullptr;
    TFormScheduler* m_schedulerWindow = nullptr;
    TFormExplore* m_explore = nullptr;
    TZipPane* m_zipPane = nullptr;
    QWidget* m_propertiesPage = nullptr;
    QWidget* m_browsePage = nullptr;
    QFileSystemModel* m_intranetModel = nullptr;
    QWidget* m_homePage = nullptr;
    TFormBrowser* m_browser = nullptr;
    TFormBrowseHome* m_home = nullptr;
    TBrowserMissingPage* m_browserMissing = nullptr;
    // An address the next browse-selection step opens instead of the selection's.
    std::string m_browseAddress;
    QTimer* m_zipTimer = nullptr;
    // The logo animation of the skin in force; none while the built-in picture shows.
    QMovie* m_logo = nullptr;
    // A button that shows a skin picture, with the picture it shows without one.
    struct TSkinnedButton
    {
        QToolButton* Button = nullptr;
        std::string_view Picture;
        QIcon BuiltIn;
        QSize BuiltInSize;
    };
    std::vector<TSkinnedButton> m_skinnedButtons;
    QSystemTrayIcon* m_tray = nullptr;
    QActionGroup* m_splitGroup = nullptr;
    std::vector<TViewLink*> m_viewLinks;
    std::vector<std::string> m_recentURLs;
    std::vector<std::string> m_recentFiles;
    TView m_view = TView::Tasks;
    bool m_shown = false;
    bool m_activated = false;
    bool m_closing = false;
};

} // namespace hx
