#include "shell/ui/HXMain.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "core/HXVersion.h"
#include "monitor/ui/HXDownloader.h"
#include "monitor/ui/HXStatus.h"
#include "net/HXSockets.h"
#include "schedule/ui/HXSchedulerWindow.h"
#include "schedule/ui/HXdlgEditTask.h"
#include "shell/HXFirstRun.h"
#include "shell/HXNewTask.h"
#include "shell/HXTempFolder.h"
#include "archive/ui/HXFormZip.h"
#include "archive/HXZipTemp.h"
#include "core/ui/HXArtIcons.h"
#include "core/ui/HXQtText.h"
#include "shell/ui/HXBrowser.h"
#include "shell/ui/HXDropTarget.h"
#include "shell/ui/HXMainRunner.h"
#include "shell/ui/HXQtSession.h"
#include "shell/ui/HXViewLink.h"

namespace hx
{

namespace
{

constexpr int kStatusPanelHeight = 120;
constexpr int kMinimumWidth = 540;
constexpr int kMinimumHeight = 400;
constexpr int kHintMilliseconds = 10000;
// The default window bounds of a first start.
constexpr int kDefaultLeft = 0;
constexpr int kDefaultTop = 0;
constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 480;

// Page indices of the view pages, in the order they are created.
enum TPage
{
    kPageProperties,
    kPageBrowse,
    kPageTasks,
    kPageSockets,
    kPageExplore,
    kPageHome
};

int PageOf(TView view)
{
    switch (view)
    {
    case TView::Home:
        return kPageHome;
    case TView::Tasks:
        return kPageTasks;
    case TView::Browse:
        return kPageBrowse;
    case TView::Explore:
        return kPageExplore;
    case TView::Connections:
        return kPageSockets;
    case TView::ZipProperties:
        return kPageProperties;
    }
    return kPageTasks;
}

// A stored window bound: a decimal text; anything else keeps the default.
int BoundValue(THXApp& app, const char* name, int defaultValue)
{
    const std::string text = app.Store().ReadString(kFormHarbexKey, name, std::to_string(defaultValue));
    int value = defaultValue;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : defaultValue;
}

QToolButton* ToolButton(QWidget* parent, const QString& objectName, const QString& caption, const QString& hint,
                        QStyle::StandardPixmap icon)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setText(caption);
    button->setToolTip(hint);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    return button;
}

// The profile box fills its list anew each time it opens.
class TProfileBox final : public QComboBox
{
public:
    TProfileBox(std::function<void()> beforePopup, QWidget* parent)
        : QComboBox(parent)
        , m_beforePopup(std::move(beforePopup))
    {
    }
    void showPopup() override
    {
        m_beforePopup();
        QComboBox::showPopup();
    }

private:
    std::function<void()> m_beforePopup;
};

} // namespace

TFormHarbex::TFormHarbex(THXQtSession& session, TMainOptions options, QWidget* parent)
    : QMainWindow(parent)
    , m_session(session)
    , m_engine(session.Engine())
    , m_app(m_engine.App())
    , m_options(std::move(options))
    , m_pages(m_app, m_options.Launch)
    , m_runnerHost(std::make_unique<TMainRunnerHost>(*this))
{
    m_recentURLs = m_app.LoadRecentList(kRecentURLsKey, m_app.MaxURLHistory());
    m_recentFiles = m_app.LoadRecentList(kRecentZipFilesKey, m_app.MaxFileHistory());
    setObjectName("FormHarbex");
    setWindowTitle(QStringLiteral("Harbex " HX_VERSION_SHORT));
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    TFirstRunOptions firstRunOptions;
    firstRunOptions.detectProxy = [this] { OfferProxyAtFirstRun(); };
    const TFirstRunResult firstRun = m_engine.FirstRun(firstRunOptions);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* band = new QWidget(central);
    band->setObjectName("pnlToolBand");
    CreateToolBand(band);
    auto* addressRow = new QWidget(central);
    addressRow->setObjectName("pnlAddress");
    CreateAddressRow(addressRow);
    auto* viewBar = new QWidget(central);
    viewBar->setObjectName("pnlViewBar");
    CreateViewBar(viewBar);
    auto* area = new QWidget(central);
    area->setObjectName("pnlMainArea");
    CreateMainArea(area);
    pnlStatus = new QWidget(central);
    pnlStatus->setObjectName("pnlStatus");
    pnlStatus->setFixedHeight(kStatusPanelHeight);
    auto* statusLayout = new QVBoxLayout(pnlStatus);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    m_status = new TFormStatus(m_app, pnlStatus);
    statusLayout->addWidget(m_status);
    layout->addWidget(band);
    layout->addWidget(addressRow);
    layout->addWidget(viewBar);
    layout->addWidget(area, 1);
    layout->addWidget(pnlStatus);
    setCentralWidget(central);

    // From here on the session's runner reports to this window.
    m_engine.SetHost(m_runnerHost.get());
    Scheduler().SetOnTaskChanged(
        [this](THXTask& task)
        {
            if (m_schedulerWindow)
                m_schedulerWindow->TaskChanged(task);
            UpdateCommands();
        });
    connect(m_status, &TFormStatus::RunClicked, this,
            [this]
            {
                if (std::shared_ptr<THXTask> task = m_app.CurrentTask)
                    m_schedulerWindow->RunTasks({task});
            });
    connect(m_status, &TFormStatus::StopClicked, this,
            [this]
            {
                if (std::shared_ptr<THXTask> task = m_app.CurrentTask)
                    Runner().StopTask(task);
            });

    // The archive pane shares the runner's Zip component and its busy state.
    m_zipPane = new TZipPane(m_app, Runner().Zip(), Runner().ZipGate(), *this, tabsLeft, m_propertiesPage);
    m_propertiesPage->layout()->addWidget(m_zipPane->Contents());
    tabsLeft->setCurrentIndex(0);

    CreateMenus();
    ConnectZipCommands();
    ConnectHelpCommands();
    ConnectBrowseCommands();
    CreateTrayIcon();

    for (const std::string& problem : firstRun.problems)
        ShowStatus(problem);
    for (const std::string& problem : m_engine.LoadActiveTasks())
        ShowStatus(problem);
    m_schedulerWindow->ShowCategory(m_app.LastCategory());
    connect(m_schedulerWindow, &TFormScheduler::SelectionChanged, this, [this] { UpdateCommands(); });
    connect(m_schedulerWindow, &TFormScheduler::NewTaskRequested, this,
            [this] { NewTaskFromURL({}, {}, false, btnIntranetMode->isChecked()); });

    // Text, addresses and files dropped anywhere on the window.
    new TDropTarget(this, [this](const std::vector<std::string>& strings) { HandleDrop(strings); });

    // The zip timer and the one-second tick come last, as the workers do.
    m_zipTimer = new QTimer(this);
    m_zipTimer->setInterval(static_cast<int>(Runner().ZipFeedPeriod().count()));
    connect(m_zipTimer, &QTimer::timeout, this, &TFormHarbex::TickZipTimer);
    m_zipTimer->start();
    m_engine.StartTicking();
    UpdateCommands();
}

TFormHarbex::~TFormHarbex()
{
    m_closing = true;
    // Ended first: no tick runs while the rest goes.
    m_engine.StopTicking();
    if (m_zipTimer)
        m_zipTimer->stop();
    // A window destroyed without its close sequence still leaves no run half done;
    // the run is told to this window while it is still whole.
    m_engine.StopRunningTask();
    Scheduler().SetOnTaskChanged({});
    m_engine.SetHost(nullptr);
    // The connections view gives its rows back to the slots, which outlive it.
    delete m_downloader;
    m_downloader = nullptr;
    if (m_app.CurrentTask)
        m_app.CurrentTask->OnProgress = nullptr;
}

// ---- The window's own steps ----

void TFormHarbex::ShowStatus(const std::string& text)
{
    if (m_status)
        m_status->ShowStatus(text);
}

void TFormHarbex::ShowError(const std::string& message)
{
    ShowStatus(message);
    if (!m_closing)
        QMessageBox::critical(this, windowTitle(), QString::fromStdString(message));
}

void TFormHarbex::UpdateCommands()
{
    if (!m_schedulerWindow)
        return;
    m_schedulerWindow->UpdateCommands();
    const TTaskCommands commands = m_schedulerWindow->Commands();
    const THXMainActions& a = m_actions;
    const std::pair<QAction*, bool> items[] = {
        {a.miTaskRun, commands.Run},
        {a.miTaskStop, commands.Stop},
        {a.miTaskDelete, commands.Delete},
        {a.miTaskUnschedule, commands.Unschedule},
        {a.miTaskSchedule, commands.Schedule},
        {a.miTaskEdit, commands.Edit},
        {a.miTaskCopyURL, commands.CopyStartPageURL},
        {a.miTaskCopyLocalURL, commands.CopyLocalStartPageURL},
        {a.miTaskExplore, commands.Explore},
    };
    for (const auto& [action, enabled] : items)
        if (action)
            action->setEnabled(enabled);
}

// ---- Building the window ----

void TFormHarbex::CreateToolBand(QWidget* band)
{
    auto* layout = new QHBoxLayout(band);
    layout->setContentsMargins(4, 2, 4, 2);
    btnNew = ToolButton(band, "btnNew", tr("New"), tr("New Task..."), QStyle::SP_FileIcon);
    btnNew->setPopupMode(QToolButton::MenuButtonPopup);
    btnOpen = ToolButton(band, "btnOpen", tr("Open"), tr("Open zip file..."), QStyle::SP_DialogOpenButton);
    btnDownloads = ToolButton(band, "btnDownloads", tr("Downloads"), tr("Downloads folder"), QStyle::SP_DirOpenIcon);
    btnDownloads->setPopupMode(QToolButton::MenuButtonPopup);
    auto* profileLabel = new QLabel(tr("Profile:"), band);
    cmbProfile = new TProfileBox([this] { FillProfileBox(); }, band);
    cmbProfile->setObjectName("cmbProfile");
    cmbProfile->setAccessibleName(tr("Profile"));
    cmbProfile->setMinimumContentsLength(14);
    cmbProfile->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbProfile->setToolTip(tr("Select a profile to specify what,\nand how much, should be retrieved"));
    profileLabel->setBuddy(cmbProfile);
    btnHarbexMode = ToolButton(band, "btnHarbexMode", tr("Zip Mode"), QString(), QStyle::SP_DriveHDIcon);
    btnIntranetMode = ToolButton(band, "btnIntranetMode", tr("Intranet Mode"), QString(), QStyle::SP_DirHomeIcon);
    for (QToolButton* mode : {btnHarbexMode, btnIntranetMode})
        mode->setCheckable(true);
    connect(btnHarbexMode, &QToolButton::clicked, this, [this] { SetSaveMode(false); });
    connect(btnIntranetMode, &QToolButton::clicked, this, [this] { SetSaveMode(true); });
    btnAddToSelectedZip =
        ToolButton(band, "btnAddToSelectedZip", tr("Add To Zip"), tr("Add future downloads to currently selected zip"),
                   QStyle::SP_FileDialogDetailedView);
    btnAddToSelectedZip->setCheckable(true);
    // Enabled only while an archive is selected in the Zips tree: ZipCommandsChanged
    // turns it on and off as the selection changes.
    btnAddToSelectedZip->setEnabled(false);
    btnHelp = ToolButton(band, "btnHelp", tr("Help"), tr("Help"), QStyle::SP_DialogHelpButton);
    imgLogo = new QLabel(band);
    imgLogo->setObjectName("imgLogo");
    imgLogo->setMinimumSize(48, 40);
    imgLogo->setAlignment(Qt::AlignCenter);
    // The skin's animation replaces the built-in picture when the window is shown.
    imgLogo->setPixmap(BuiltInLogo());

    layout->addWidget(btnNew);
    layout->addWidget(btnOpen);
    layout->addWidget(btnDownloads);
    layout->addSpacing(12);
    layout->addWidget(profileLabel);
    layout->addWidget(cmbProfile);
    layout->addSpacing(12);
    layout->addWidget(btnHarbexMode);
    layout->addWidget(btnIntranetMode);
    layout->addWidget(btnAddToSelectedZip);
    layout->addWidget(btnHelp);
    layout->addStretch(1);
    layout->addWidget(imgLogo);
}

void TFormHarbex::CreateAddressRow(QWidget* row)
{
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(6, 2, 6, 4);
    auto* label = new QLabel(tr("Address:"), row);
    cmbURL = new QComboBox(row);
    cmbURL->setObjectName("cmbURL");
    cmbURL->setEditable(true);
    cmbURL->setInsertPolicy(QComboBox::NoInsert);
    cmbURL->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    label->setBuddy(cmbURL);
    btnGO = new QToolButton(row);
    btnGO->setObjectName("btnGO");
    btnGO->setText(tr("Go"));
    btnGO->setToolTip(tr("Go"));
    btnGO->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    btnGO->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnGO->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(btnGO, &QToolButton::clicked, this, [this] { GoClick(); });
    // Enter goes to Go once: the box would hand the key on to its line edit again.
    cmbURL->lineEdit()->installEventFilter(this);
    connect(btnGO, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmGo->popup(btnGO->mapToGlobal(at)); });
    layout->addWidget(label);
    layout->addWidget(cmbURL, 1);
    layout->addWidget(btnGO);
    RefreshAddressList();
}

void TFormHarbex::CreateViewBar(QWidget* bar)
{
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(4, 3, 4, 3);
    layout->setSpacing(6);
    const std::array<std::pair<TView, QString>, 6> links = {{
        {TView::Home, tr("Harbex Home")},
        {TView::Tasks, tr("Tasks")},
        {TView::Browse, tr("Browse")},
        {TView::Explore, tr("Explore")},
        {TView::Connections, tr("Connections")},
        {TView::ZipProperties, tr("Zip Properties")},
    }};
    for (const auto& [view, caption] : links)
    {
        const QColor rest = view == TView::Home ? QColor(39, 80, 120) : QColor(Qt::black);
        auto* link = new TViewLink(caption, rest, bar);
        link->setObjectName(QStringLiteral("lnk") + QString(caption).remove(' '));
        if (view == TView::Browse)
            link->setToolTip(tr("Click twice to toggle wide-view"));
        connect(link, &TViewLink::Clicked, this,
                [this, view]
                {
                    if (view == TView::Browse)
                    {
                        // The Browse link toggles a wide view while Browse is shown.
                        tabsLeft->setVisible(m_view == TView::Browse ? !tabsLeft->isVisible() : true);
                        if (m_view == TView::Browse)
                            return;
                    }
                    ShowView(view);
                });
        layout->addWidget(link);
        m_viewLinks.push_back(link);
    }
    layout->addStretch(1);
}

void TFormHarbex::CreateMainArea(QWidget* area)
{
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    splitter = new QSplitter(Qt::Horizontal, area);
    splitter->setObjectName("splitter");
    tabsLeft = new QTabWidget(splitter);
    tabsLeft->setObjectName("tabsLeft");
    tabsLeft->setTabPosition(QTabWidget::South);
    // The Zips and Pages trees go before it when the archive pane is made.
    tabsLeft->addTab(CreateIntranetTree(tabsLeft), tr("Personal Intranet"));
    pages = new QStackedWidget(splitter);
    pages->setObjectName("pages");
    for (int page = kPageProperties; page <= kPageHome; ++page)
    {
        QWidget* content = nullptr;
        if (page == kPageTasks)
        {
            m_schedulerWindow = new TFormScheduler(m_app, Scheduler(), pages);
            m_schedulerWindow->DownloadRunning = [this] { return Runner().RunningTask() != nullptr; };
            m_schedulerWindow->ShowError = [this](const std::string& message) { ShowError(message); };
            m_schedulerWindow->Clock = &m_engine.Clock();
            m_schedulerWindow->ShowProgress = [this](const std::string& text, int percent)
            { m_status->ShowStatus(text, percent, 100); };
            m_schedulerWindow->UnpackForBrowsing = [this](THXTask& task) { return UnpackForBrowsing(task); };
            m_schedulerWindow->SetPageOpener(m_pages);
            content = m_schedulerWindow;
        }
        else if (page == kPageProperties)
        {
            // The Zip contents list is added to this page when the archive pane is made.
            content = m_propertiesPage = new QWidget(pages);
            new QVBoxLayout(m_propertiesPage);
            m_propertiesPage->layout()->setContentsMargins(0, 0, 0, 0);
        }
        else if (page == kPageSockets)
            content = m_downloader = new TFormDownloader(
                m_app, Slots(), [this] { return Runner().RunningTask() != nullptr; }, pages);
        else if (page == kPageExplore)
            content = CreateExploreView(pages);
        else if (page == kPageBrowse)
            content = CreateBrowsePage(pages);
        else if (page == kPageHome)
            content = CreateHomePage(pages);
        else
            content = new QWidget(pages);
        pages->addWidget(content);
    }
    splitter->addWidget(tabsLeft);
    splitter->addWidget(pages);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({240, 600});
    tabsLeft->hide();
    layout->addWidget(splitter);
}

TViewLink* TFormHarbex::ViewLink(TView view) const
{
    return m_viewLinks.at(static_cast<std::size_t>(view));
}

QAction* TFormHarbex::Action(const QString& objectName) const
{
    return findChild<QAction*>(objectName);
}

// ---- Start-up ----

void TFormHarbex::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown)
    {
        m_shown = true;
        FormShow();
        // The deferred set-up runs at the first activation; a window that is never
        // activated (no window manager) gets it once its first events have run.
        QTimer::singleShot(0, this, [this] { FormActivate(); });
    }
}

bool TFormHarbex::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tvIntranet && event->type() == QEvent::KeyPress && IntranetKey(static_cast<QKeyEvent*>(event)))
        return true;
    if (watched == cmbURL->lineEdit() && event->type() == QEvent::KeyPress)
    {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
        {
            if (!cmbURL->currentText().trimmed().isEmpty())
                GoClick();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TFormHarbex::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(event);
}

void TFormHarbex::FormShow()
{
    ApplySkin();
    // The Tasks view, or the Home view when the home pane is there to show (a start
    // without the embedded browser does not send the desktop's browser to the home page).
    ShowView(m_app.ZipPropertiesFirst() || !EmbeddedBrowserAvailable() ? TView::Tasks : TView::Home);
    // The command line's address or file, once the window stands (it may open a dialog).
    if (!m_options.Parameter.empty())
        QTimer::singleShot(0, this, [this] { HandleCommandLine(m_options.Parameter); });
}

void TFormHarbex::FormActivate()
{
    if (m_activated || m_closing)
        return;
    m_activated = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The bounds the person left the window with.
    const int left = BoundValue(m_app, "Left", kDefaultLeft);
    const int top = BoundValue(m_app, "Top", kDefaultTop);
    const int width = std::max(kMinimumWidth, BoundValue(m_app, "Width", kDefaultWidth));
    const int height = std::max(kMinimumHeight, BoundValue(m_app, "Height", kDefaultHeight));
    move(left, top);
    resize(width, height);
    // The connections view takes the "Connections" setting.
    m_downloader->LoadSettings();
    m_downloader->SetSlotCount(m_app.Connections());
    setProperty("toolTipDuration", kHintMilliseconds);
    for (QWidget* widget : findChildren<QWidget*>())
        widget->setToolTipDuration(kHintMilliseconds);
    // The Zip component's compression level and use of paths, for the archive
    // views' adds (the run's feed always stores paths relative to the temporary folder).
    TXceedZip& zip = Runner().Zip();
    zip.Compression = std::clamp(m_app.Store().ReadInteger(kSettingsKey, "Compression", zip.Compression), 0, 9);
    zip.UsePaths = m_app.Store().ReadBool(kSettingsKey, "Use Paths", zip.UsePaths);
    const bool intranet = m_app.GetSaveMode(0) == 1;
    btnIntranetMode->setChecked(intranet);
    btnHarbexMode->setChecked(!intranet);
    SetModeHints();
    RefreshAddressList();
    FillProfileBox();
    if (m_tray)
        m_tray->show();
    QApplication::restoreOverrideCursor();
}

void TFormHarbex::FillProfileBox()
{
    const QString current = cmbProfile->currentText();
    std::vector<std::string> names;
    for (const std::string& file : ListFiles(m_app.ProfilesFolder(), "*.hxp"))
        names.push_back(file.substr(0, file.size() - 4));
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b)
              { return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) < 0; });
    const QSignalBlocker block(cmbProfile);
    cmbProfile->clear();
    cmbProfile->addItem(tr("Custom"));
    for (const std::string& name : names)
        cmbProfile->addItem(QString::fromStdString(name));
    // The choice stays; a first start offers the profile that copies a whole site.
    int index = cmbProfile->findText(current.isEmpty() ? QStringLiteral("Whole Site") : current);
    cmbProfile->setCurrentIndex(std::max(0, index));
}

void TFormHarbex::SetModeHints()
{
    btnIntranetMode->setToolTip(tr("Set Default: Personal Intranet Mode.\nDownloaded websites are stored "
                                   "directly\non your hard disk within  \n") +
                                QString::fromStdString(m_app.GetIntranetFolder()));
    btnHarbexMode->setToolTip(tr("Set Default: Harbex Mode.\nDownloaded websites are stored within a "
                                 "single compressed\nZip file which is saved on your hard disk within  \n") +
                              QString::fromStdString(m_app.GetDownloadsFolder()));
}

// ---- Views ----

void TFormHarbex::ShowView(TView view)
{
    m_view = view;
    pages->setCurrentIndex(PageOf(view));
    PageControlChange();
}

void TFormHarbex::PageControlChange()
{
    ReleaseHomePane();
    for (TViewLink* link : m_viewLinks)
        link->SetBold(false);
    switch (m_view)
    {
    case TView::Home:
    case TView::Tasks:
    case TView::Connections:
    case TView::Explore:
        tabsLeft->hide();
        break;
    case TView::ZipProperties:
        tabsLeft->show();
        break;
    case TView::Browse:
        break;
    }
    // Browse is not bold while the Personal Intranet tab is shown.
    if (!(m_view == TView::Browse && tabsLeft->isVisible() && tabsLeft->currentIndex() == 2))
        ViewLink(m_view)->SetBold(true);
    if (m_view == TView::Home)
        ShowHomePane();
    else if (m_view == TView::Browse)
        BrowseSelection();
    pnlStatus->setFixedHeight(kStatusPanelHeight);
}

void TFormHarbex::SetSplitStacked(bool stacked)
{
    splitter->setOrientation(stacked ? Qt::Vertical : Qt::Horizontal);
    m_actions.miSplitHorizontally->setChecked(stacked);
    m_actions.miSplitVertically->setChecked(!stacked);
}

bool TFormHarbex::SplitStacked() const
{
    return splitter->orientation() == Qt::Vertical;
}

// ---- Commands ----

void TFormHarbex::SetSaveMode(bool intranet)
{
    btnIntranetMode->setChecked(intranet);
    btnHarbexMode->setChecked(!intranet);
    m_app.SetSaveMode(intranet ? 1 : 0);
}

void TFormHarbex::GoClick(bool map)
{
    // The first entry is "Custom" in the window's language: no named profile.
    const std::string profile = cmbProfile->currentIndex() <= 0 ? std::string() : Std(cmbProfile->currentText());
    NewTaskFromURL(cmbURL->currentText().trimmed().toStdString(), profile, map, btnIntranetMode->isChecked());
}

void TFormHarbex::NewTaskFromURL(const std::string& address, const std::string& profile, bool map, bool intranet)
{
    TNewTaskRequest request;
    request.Address = address;
    request.Profile = profile;
    request.Map = map;
    request.Intranet = intranet;
    // While the add-to-selected toggle is down the copy goes into the archive
    // selected in the Zips tree (the toggle is released when none is selected).
    if (btnAddToSelectedZip->isChecked())
        if (const TZipArchive* archive = m_zipPane->SelectedArchive())
            request.TargetArchive = archive->Path();
    std::shared_ptr<THXTask> task;
    try
    {
        task = hx::NewTaskFromURL(m_app, request);
    }
    catch (const EInvalidURL&)
    {
        QMessageBox::critical(this, windowTitle(), tr("Invalid URL."));
        return;
    }
    catch (const std::exception& error)
    {
        ShowError(error.what());
        return;
    }
    if (!HasNamedProfile(request))
    {
        // Without a named profile the task is set up in the task editor; Cancel
        // discards it, and the address given joins the recent list all the same.
        TdlgEditTask editor(this, m_app, *task, TEditTaskMode::Create);
        if (editor.exec() != QDialog::Accepted)
        {
            if (!address.empty())
                RememberURL(address);
            ShowView(TView::Tasks);
            return;
        }
    }
    try
    {
        Scheduler().AddTask(task);
    }
    catch (const std::exception& error)
    {
        ShowError(error.what());
        return;
    }
    m_schedulerWindow->Reload();
    // The task is due now: the scheduler's tick runs at once rather than up to a
    // second later.
    QTimer::singleShot(0, this, &TFormHarbex::TickSchedule);
    if (!task->URL.empty())
        RememberURL(task->URL);
    ShowView(TView::Tasks);
}

void TFormHarbex::RememberURL(const std::string& address)
{
    hx::RememberURL(m_app, address);
    m_recentURLs = m_app.LoadRecentList(kRecentURLsKey, m_app.MaxURLHistory());
    RefreshAddressList();
}

void TFormHarbex::RefreshAddressList()
{
    const QString text = cmbURL->currentText();
    const QSignalBlocker block(cmbURL);
    cmbURL->clear();
    for (const std::string& address : m_recentURLs)
        cmbURL->addItem(QString::fromStdString(address));
    cmbURL->setEditText(text);
}

void TFormHarbex::PasteURL()
{
    std::string text = QApplication::clipboard()->text().trimmed().toStdString();
    if (text.empty() || !NormalizeURL(text))
        return;
    cmbURL->setEditText(QString::fromStdString(text));
    NewTaskFromURL(text, std::string(), false, btnIntranetMode->isChecked());
}

void TFormHarbex::EditCommand(int which)
{
    QWidget* focused = QApplication::focusWidget();
    auto* edit = qobject_cast<QLineEdit*>(focused);
    if (auto* box = qobject_cast<QComboBox*>(focused); box && box->isEditable())
        edit = box->lineEdit();
    if (!edit)
        return;
    if (which == 0)
        edit->undo();
    else if (which == 1)
        edit->cut();
    else
        edit->copy();
}

void TFormHarbex::ShowAbout()
{
    QMessageBox::about(this, tr("About Harbex"),
                       QStringLiteral("<b>Harbex " HX_VERSION_SHORT "</b><br>") +
                           tr("Version %1 (Build %2) (22 January 1999)")
                               .arg(QStringLiteral(HX_VERSION_SHORT), QStringLiteral(HX_VERSION_BUILD)) +
                           QStringLiteral("<br><br>") + tr("Copies web sites for offline use."));
}

bool TFormHarbex::UnpackForBrowsing(THXTask& task)
{
    // The archive is shown in the Zips tree and unpacked once for browsing.
    TZipArchive* archive = m_zipPane->OpenZip(task.Destination);
    return archive && m_zipPane->ExtractZipToTemp(*archive);
}

void TFormHarbex::OpenPage(const std::string& target)
{
    if (!m_pages.OpenPage(target))
        ShowError(LaunchFailedMessage(m_pages.PageRequest(target)));
}

// ---- Timers ----

void TFormHarbex::TickSchedule()
{
    if (m_closing)
        return;
    try
    {
        // The other program (harbex-cli, a second window) may have changed settings.
        m_app.ReloadSettingsIfChanged();
        Scheduler().Tick();
    }
    catch (const std::exception& error)
    {
        ShowStatus(error.what());
    }
}

void TFormHarbex::TickZipTimer()
{
    if (m_closing || !Runner().ZipTimerEnabled())
        return;
    Runner().ZipTimerTick();
    m_zipTimer->setInterval(static_cast<int>(Runner().ZipFeedPeriod().count()));
}

// ---- Tray ----

void TFormHarbex::CreateTrayIcon()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_tray = new QSystemTrayIcon(ArtIcon(QStringLiteral("tray"), style()->standardIcon(QStyle::SP_ComputerIcon)), this);
    m_tray->setToolTip(QStringLiteral("Harbex " HX_VERSION_SHORT));
    m_tray->setContextMenu(pmTray);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason)
            {
                if (reason == QSystemTrayIcon::DoubleClick)
                    RestoreFromTray();
            });
}

void TFormHarbex::RestoreFromTray()
{
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}

void TFormHarbex::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Minimised, the program lives in the tray, without a taskbar button.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) && m_tray &&
        m_tray->isVisible())
        QTimer::singleShot(0, this, &QWidget::hide);
}

// ---- Close ----

void TFormHarbex::closeEvent(QCloseEvent* event)
{
    if (!m_closing && !Runner().CloseQuery())
    {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TFormHarbex::FormClose()
{
    if (m_closing)
        return;
    m_closing = true;
    m_engine.StopTicking();
    m_zipTimer->stop();
    // The files of the last runs lie in the temporary folder; a stopped Zip task
    // that needs them again fetches them anew.
    QProgressDialog progress(tr("Removing temporary Harbex files..."), QString(), 0, 0, this);
    progress.setWindowTitle(tr("Removing temporary Harbex files..."));
    progress.setMinimumDuration(500);
    const TFolderRemoval removal =
        RemoveTemporaryFolder(m_app,
                              [&progress](std::int64_t done, std::int64_t total)
                              {
                                  progress.setMaximum(static_cast<int>(std::min<std::int64_t>(total, INT_MAX)));
                                  progress.setValue(static_cast<int>(std::min<std::int64_t>(done, INT_MAX)));
                              });
    progress.reset();
    if (!removal.Text.empty())
        ShowStatus(removal.Text);
    if (windowState() == Qt::WindowNoState)
    {
        THXSettingsStore& store = m_app.Store();
        store.WriteString(kFormHarbexKey, "Left", std::to_string(x()));
        store.WriteString(kFormHarbexKey, "Top", std::to_string(y()));
        store.WriteString(kFormHarbexKey, "Width", std::to_string(width()));
        store.WriteString(kFormHarbexKey, "Height", std::to_string(height()));
    }
    if (m_tray)
        m_tray->hide();
}

} // namespace hx
