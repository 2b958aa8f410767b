#include "schedule/ui/HXdlgEditTask.h"

#include <QCoreApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "core/ui/HXEmbeddedBrowser.h"
#include "core/ui/HXButtonGroups.h"
#include "core/ui/HXQtText.h"
#include "schedule/ui/HXdlgCookies.h"
#include "schedule/ui/HXdlgEditTaskDialogs.h"
#include "schedule/ui/HXdlgSchedule.h"
#include "schedule/ui/HXdlgSignIn.h"

namespace hx
{

namespace
{

const QString kCustomProfile = QStringLiteral("Custom");
constexpr int kMaxLevels = 20;

// A group box of radio buttons one under the other.
QGroupBox* RadioBox(const QString& title, QButtonGroup& group, const QStringList& texts, QWidget* parent)
{
    auto* box = new QGroupBox(title, parent);
    auto* layout = new QVBoxLayout(box);
    for (int i = 0; i < texts.size(); ++i)
        layout->addWidget(AddRadio(group, box, texts[i], i));
    return box;
}

QToolButton* IconButton(QWidget* parent, QStyle::StandardPixmap icon, const QString& hint)
{
    auto* button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(hint);
    // A picture only: the hint is what assistive tools read out.
    button->setAccessibleName(hint);
    return button;
}

} // namespace

QString EditTaskCaption(TEditTaskMode mode)
{
    switch (mode)
    {
    case TEditTaskMode::Edit:
        return QCoreApplication::translate("HXdlgEditTask", "Edit Task");
    case TEditTaskMode::Add:
        return QCoreApplication::translate("HXdlgEditTask", "Add a Task");
    case TEditTaskMode::Create:
        return QCoreApplication::translate("HXdlgEditTask", "Create New Task");
    }
    return QCoreApplication::translate("HXdlgEditTask", "Edit Task");
}

TdlgEditTask::TdlgEditTask(QWidget* parent, THXApp& app, THXTask& task, TEditTaskMode mode)
    : QDialog(parent)
    , m_app(app)
    , m_task(task)
    , m_mode(mode)
{
    setWindowTitle(EditTaskCaption(mode));
    dlgAccount = new TdlgUserNamePassword(this);
    BuildTop();
    BuildScreens();

    auto* buttons = new QDialogButtonBox(this);
    btnOK = buttons->addButton(tr("&OK"), QDialogButtonBox::AcceptRole);
    btnCancel = buttons->addButton(tr("&Cancel"), QDialogButtonBox::RejectRole);
    btnReset = buttons->addButton(tr("&Reset"), QDialogButtonBox::ResetRole);
    btnOK->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &TdlgEditTask::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TdlgEditTask::reject);
    connect(btnReset, &QPushButton::clicked, this, &TdlgEditTask::FormShow);
    static_cast<QVBoxLayout*>(layout())->addWidget(buttons);

    // The profile list: "Custom" and the profile files, in file-name order; each item
    // holds the profile's name as the task file keeps it, whatever the caption's language.
    cmbProfile->addItem(tr("Custom"), kCustomProfile);
    for (const std::string& file : ListFiles(m_app.ProfilesFolder(), "*.hxp"))
        cmbProfile->addItem(Text(FileBaseName(file)), Text(FileBaseName(file)));
    edIntranetFolder->setText(Text(m_app.GetIntranetFolder()));
    FormShow();
}

void TdlgEditTask::BuildTop()
{
    auto* layout = new QVBoxLayout(this);
    edTaskName = new QLineEdit(this);
    cmbTaskCategory = new QComboBox(this);
    cmbTaskCategory->setEditable(true);
    cmbProfile = new QComboBox(this);
    auto* top = new QGridLayout;
    const auto labelled = [&](const QString& caption, QWidget* field, int row, int column)
    {
        auto* label = new QLabel(caption, this);
        label->setBuddy(field);
        top->addWidget(label, row, column);
        top->addWidget(field, row, column + 1);
    };
    labelled(tr("Task Name:"), edTaskName, 0, 0);
    labelled(tr("Category:"), cmbTaskCategory, 0, 2);
    labelled(tr("Profile:"), cmbProfile, 1, 2);
    top->setColumnStretch(1, 2);
    top->setColumnStretch(3, 1);
    layout->addLayout(top);

    connect(cmbProfile, &QComboBox::activated, this, &TdlgEditTask::ProfileChosen);
    connect(cmbTaskCategory, &QComboBox::currentTextChanged, this, &TdlgEditTask::NameFromURL);
}

void TdlgEditTask::BuildScreens()
{
    lbScreens = new QListWidget(this);
    lbScreens->setAccessibleName(tr("Task settings"));
    pgScreens = new QStackedWidget(this);
    auto* middle = new QHBoxLayout;
    middle->addWidget(lbScreens);
    middle->addWidget(pgScreens, 1);
    static_cast<QVBoxLayout*>(layout())->addLayout(middle, 1);

    AddScreen(tr("Starting address"), tr("Starting Address"),
              tr("Enter the starting address (URL) for the page or website you wish to download."),
              StartingAddressPage());
    AddScreen(tr("Save to"), tr("Save to"), tr("Harbex gives you two methods of saving downloaded websites and files."),
              SaveToPage());
    AddScreen(tr("Filetypes"), tr("Select Filetypes"),
              tr("Select the filetypes you wish to retrieve during this download task."), FileTypesPage());
    AddScreen(tr("Followed Links"), tr("Followed Links - levels & location"),
              tr("Choose how many levels Harbex should follow links into, and in what websites or "
                 "directories, followed links should be confined."),
              FollowedLinksPage());
    AddScreen(tr("Followed Links (Adv)"), tr("Followed Links - Advanced"),
              tr("Do you want Harbex to extract and follow links from script code within HTML pages?  "
                 "Note that Harbex does not interpret Javascript or VBScript, so some links may be "
                 "invalid or incorrect."),
              AdvancedPage());
    AddScreen(tr("URL Filters"), tr("URL Filters"),
              tr("Filter URLs which do or don't contain particular characters, words or phrases."), URLFiltersPage());
    AddScreen(tr("Link Conversion"), tr("Link Conversion"),
              tr("Harbex can convert links on downloaded pages so they work on a local offline environment."),
              LinkConversionPage());
    AddScreen(tr("Schedule"), tr("Schedule Task"), tr("Schedule this task to start:"), SchedulePage());

    // Wide enough for the longest screen name beside the marker.
    int widest = 0;
    for (int i = 0; i < lbScreens->count(); ++i)
        widest = qMax(widest, lbScreens->fontMetrics().horizontalAdvance(lbScreens->item(i)->text()));
    lbScreens->setFixedWidth(widest + lbScreens->iconSize().width() + 2 * lbScreens->frameWidth() + 24);
    connect(lbScreens, &QListWidget::currentRowChanged, this, &TdlgEditTask::ShowScreen);
}

void TdlgEditTask::AddScreen(const QString& listText, const QString& heading, const QString& text, QWidget* contents)
{
    lbScreens->addItem(listText);
    // Every row has room for the marker, so rows keep their height when it moves.
    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize);
    lbScreens->setIconSize(QSize(iconSize, iconSize));
    lbScreens->item(lbScreens->count() - 1)
        ->setSizeHint(QSize(0, qMax(iconSize, lbScreens->fontMetrics().height()) + 6));
    auto* page = new QWidget(pgScreens);
    auto* layout = new QVBoxLayout(page);
    auto* title = new QLabel(heading, page);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    title->setFont(bold);
    auto* intro = new QLabel(text, page);
    intro->setWordWrap(true);
    layout->addWidget(title);
    layout->addWidget(intro);
    layout->addWidget(contents, 1);
    pgScreens->addWidget(page);
}

// Shows the row's page and moves the marker to that row.
void TdlgEditTask::ShowScreen(int row)
{
    if (row < 0)
        return;
    for (int i = 0; i < lbScreens->count(); ++i)
        lbScreens->item(i)->setIcon(i == row ? style()->standardIcon(QStyle::SP_ArrowRight) : QIcon());
    pgScreens->setCurrentIndex(row);
}

void TdlgEditTask::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_shownOnce)
    {
        m_shownOnce = true;
        lbScreens->setCurrentRow(0);
        ShowScreen(0);
    }
}

QWidget* TdlgEditTask::StartingAddressPage()
{
    auto* page = new QWidget(this);
    cmbURL = new QComboBox(page);
    cmbURL->setEditable(true);
    cmbURL->setMinimumContentsLength(30);
    for (const std::string& url : m_app.LoadRecentList(kRecentURLsKey, m_app.MaxURLHistory()))
        cmbURL->addItem(Text(url));
    cbPassword = new QCheckBox(tr("Site requires a password"), page);
    btnUserPassword = new QPushButton(tr("User Name/Password..."), page);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(tr("Starting URL:"), page));
    layout->addWidget(cmbURL);
    auto* row = new QHBoxLayout;
    row->addWidget(cbPassword);
    row->addStretch();
    row->addWidget(btnUserPassword);
    layout->addLayout(row);
    // Sites that keep a session: cookies from a file or from signing in.
    btnCookies = new QPushButton(tr("Cookies..."), page);
    btnCookies->setToolTip(tr("The cookies this task sends to the site: import a cookies.txt file, "
                              "look at them or delete them."));
    auto* cookieRow = new QHBoxLayout;
    cookieRow->addStretch();
    if (EmbeddedBrowserAvailable())
    {
        btnSignIn = new QPushButton(tr("Sign In..."), page);
        btnSignIn->setToolTip(tr("Sign in to the site in the integrated browser; the task keeps the "
                                 "cookies the site sets."));
        cookieRow->addWidget(btnSignIn);
        connect(btnSignIn, &QPushButton::clicked, this, &TdlgEditTask::SignInClick);
    }
    cookieRow->addWidget(btnCookies);
    layout->addLayout(cookieRow);
    layout->addStretch();
    connect(cmbURL, &QComboBox::currentTextChanged, this, &TdlgEditTask::NameFromURL);
    connect(cbPassword, &QCheckBox::clicked, this, &TdlgEditTask::PasswordClicked);
    connect(btnUserPassword, &QPushButton::clicked, this, &TdlgEditTask::UserPasswordClick);
    connect(btnCookies, &QPushButton::clicked, this, &TdlgEditTask::CookiesClick);
    return page;
}

QWidget* TdlgEditTask::SaveToPage()
{
    auto* page = new QWidget(this);
    rbIntranet = new QRadioButton(tr("Download this Website to your Personal Intranet"), page);
    auto* intranetText = new QLabel(tr("Download and save files directly to this location without "
                                       "compression. This can be your default Personal  Intranet or any "
                                       "other directory on your system."),
                                    page);
    intranetText->setWordWrap(true);
    edIntranetFolder = new QLineEdit(page);
    edIntranetFolder->setToolTip(tr("Enter the full path of your local Intranet Folder"));
    edIntranetFolder->setAccessibleName(tr("Personal Intranet folder"));
    btnFolder = IconButton(page, QStyle::SP_DirOpenIcon, tr("Select a folder."));
    rbZip = new QRadioButton(tr("Download and Zip this Website"), page);
    edFileName = new QLineEdit(page);
    edFileName->setToolTip(tr("Enter a name for the zip file including its full path."));
    btnNewZip = IconButton(page, QStyle::SP_FileIcon, tr("New Zip File"));
    btnOpenZip = IconButton(page, QStyle::SP_DialogOpenButton, tr("Open Zip File"));
    cbUseStartPageTitle = new QCheckBox(tr("Rename zip file to start page title"), page);
    cbUseStartPageTitle->setToolTip(
        tr("Upon completion Harbex will rename the zip file to the title of the first web page."));
    edWarcFile = new QLineEdit(page);
    edWarcFile->setToolTip(tr("Keep every request and answer, as sent and received, in this WARC file "
                              "(full path; leave empty for none)."));
    edWarcFile->setAccessibleName(tr("WARC file"));
    btnWarcFile = IconButton(page, QStyle::SP_FileIcon, tr("Select a WARC file."));

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(rbIntranet);
    layout->addWidget(intranetText);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(edIntranetFolder, 1);
    folderRow->addWidget(btnFolder);
    layout->addLayout(folderRow);
    layout->addSpacing(12);
    layout->addWidget(rbZip);
    auto* zipLabel = new QLabel(tr("Download and compress files to this Zip file:"), page);
    zipLabel->setBuddy(edFileName);
    layout->addWidget(zipLabel);
    auto* zipRow = new QHBoxLayout;
    zipRow->addWidget(edFileName, 1);
    zipRow->addWidget(btnNewZip);
    zipRow->addWidget(btnOpenZip);
    layout->addLayout(zipRow);
    layout->addWidget(cbUseStartPageTitle);
    layout->addSpacing(12);
    auto* warcLabel = new QLabel(tr("Also archive the exchanges in this WARC file (for replay tools):"), page);
    warcLabel->setBuddy(edWarcFile);
    layout->addWidget(warcLabel);
    auto* warcRow = new QHBoxLayout;
    warcRow->addWidget(edWarcFile, 1);
    warcRow->addWidget(btnWarcFile);
    layout->addLayout(warcRow);
    layout->addStretch();

    connect(rbIntranet, &QRadioButton::toggled, this, &TdlgEditTask::UpdateDestination);
    connect(cbUseStartPageTitle, &QCheckBox::clicked, this, &TdlgEditTask::SetCustomProfile);
    connect(btnFolder, &QToolButton::clicked, this,
            [this]
            {
                const QString folder =
                    QFileDialog::getExistingDirectory(this, tr("Browse for Folder"), edIntranetFolder->text());
                if (!folder.isEmpty())
                    edIntranetFolder->setText(folder);
            });
    const QString filter = tr("Zip file (*.zip);;All files (*)");
    connect(btnNewZip, &QToolButton::clicked, this,
            [this, filter]
            {
                QFileDialog dialog(this, tr("New Zip File"), Text(ExtractFilePath(Std(edFileName->text()))), filter);
                dialog.setAcceptMode(QFileDialog::AcceptSave);
                dialog.setDefaultSuffix(QStringLiteral("zip"));
                if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
                    return;
                const QString path = dialog.selectedFiles().constFirst();
                // The dialog has asked before overwriting: an existing file goes at once.
                std::error_code ignored;
                std::filesystem::remove(Std(path), ignored);
                edFileName->setText(path);
            });
    connect(btnOpenZip, &QToolButton::clicked, this,
            [this, filter]
            {
                QFileDialog dialog(this, tr("Open Zip File"), Text(ExtractFilePath(Std(edFileName->text()))), filter);
                dialog.setFileMode(QFileDialog::ExistingFile);
                dialog.setDefaultSuffix(QStringLiteral("zip"));
                if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
                    edFileName->setText(dialog.selectedFiles().constFirst());
            });
    connect(btnWarcFile, &QToolButton::clicked, this,
            [this]
            {
                // An existing file is appended to, so the dialog does not ask before "overwriting".
                QFileDialog dialog(this, tr("WARC File"), Text(ExtractFilePath(Std(edWarcFile->text()))),
                                   tr("WARC file (*.warc.gz);;All files (*)"));
                dialog.setAcceptMode(QFileDialog::AcceptSave);
                dialog.setOption(QFileDialog::DontConfirmOverwrite);
                dialog.setDefaultSuffix(QStringLiteral("warc.gz"));
                if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
                    edWarcFile->setText(dialog.selectedFiles().constFirst());
            });
    return page;
}

QWidget* TdlgEditTask::FileTypesPage()
{
    tvFileTypes = new TFileTypeTree(this, m_app.Store());
    connect(tvFileTypes, &TFileTypeTree::TicksChanged, this, &TdlgEditTask::SetCustomProfile);
    return tvFileTypes;
}

QWidget* TdlgEditTask::FollowedLinksPage()
{
    auto* page = new QWidget(this);
    grpPageLocation = new QButtonGroup(this);
    grpDepth = new QButtonGroup(this);
    grpResourceLocation = new QButtonGroup(this);
    auto* location = RadioBox(tr("Followed page links - Location:"), *grpPageLocation,
                              {tr("Within current directory"), tr("Within current site"), tr("Anywhere")}, page);

    auto* levels = new QGroupBox(tr("Followed links - Levels"), page);
    auto* levelsLayout = new QVBoxLayout(levels);
    levelsLayout->addWidget(AddRadio(*grpDepth, levels, tr("This page only"), kDepthThisPage));
    auto* levelRow = new QHBoxLayout;
    levelRow->addWidget(AddRadio(*grpDepth, levels, tr("This page and"), kDepthLevels));
    edLevels = new QSpinBox(levels);
    edLevels->setRange(1, kMaxLevels);
    // Only the arrows change the number.
    edLevels->findChild<QLineEdit*>()->setReadOnly(true);
    levelRow->addWidget(edLevels);
    levelRow->addWidget(new QLabel(tr("level/s"), levels));
    levelRow->addStretch();
    levelsLayout->addLayout(levelRow);
    levelsLayout->addWidget(AddRadio(*grpDepth, levels, tr("All levels"), kDepthAll));

    auto* media = RadioBox(tr("Followed media links - Location"), *grpResourceLocation,
                           {tr("Current directory"), tr("Current site"), tr("Anywhere")}, page);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(location);
    layout->addWidget(levels);
    layout->addWidget(media);
    layout->addStretch();

    for (QButtonGroup* group : {grpPageLocation, grpDepth, grpResourceLocation})
        connect(group, &QButtonGroup::idClicked, this, &TdlgEditTask::SetCustomProfile);
    connect(edLevels, &QSpinBox::valueChanged, this, &TdlgEditTask::SetCustomProfile);
    return page;
}

QWidget* TdlgEditTask::AdvancedPage()
{
    auto* page = new QWidget(this);
    cbAggressive = new QCheckBox(tr("Aggressive Parser"), page);
    grpAggressive = new QButtonGroup(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(cbAggressive);
    layout->addWidget(
        AddRadio(*grpAggressive, page, tr("Aggressively extract and follow links from within <SCRIPT> tags only"), 1));
    layout->addWidget(AddRadio(*grpAggressive, page,
                               tr("Aggressively extract and follow all possible links from the entire page"), 2));
    // Pages the site lists rather than links to: another way the crawl finds pages.
    auto* sitemaps = new QGroupBox(tr("Sitemaps:"), page);
    cbUseSitemaps = new QCheckBox(tr("Use Sitemaps"), sitemaps);
    cbUseSitemaps->setToolTip(
        tr("Also copy the pages the site lists in its sitemaps (robots.txt \"Sitemap:\" lines and "
           "/sitemap.xml), within the rules above, even those no link leads to."));
    auto* sitemapsLayout = new QVBoxLayout(sitemaps);
    sitemapsLayout->addWidget(cbUseSitemaps);
    layout->addWidget(sitemaps);
    // Pages built by scripts: rendered before they are scanned.
    renderBox = new TRenderBox(page);
    layout->addWidget(renderBox);
    layout->addStretch();
    connect(cbAggressive, &QCheckBox::toggled, this, &TdlgEditTask::UpdateAggressive);
    connect(cbAggressive, &QCheckBox::clicked, this, &TdlgEditTask::SetCustomProfile);
    connect(grpAggressive, &QButtonGroup::idClicked, this, &TdlgEditTask::SetCustomProfile);
    connect(cbUseSitemaps, &QCheckBox::clicked, this, &TdlgEditTask::SetCustomProfile);
    connect(renderBox, &TRenderBox::Changed, this, &TdlgEditTask::SetCustomProfile);
    return page;
}

QWidget* TdlgEditTask::URLFiltersPage()
{
    auto* page = new QWidget(this);
    lbInc = new TURLFilterList(page, QStringLiteral("Inc"));
    lbEx = new TURLFilterList(page, QStringLiteral("Ex"));
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(lbInc);
    layout->addWidget(lbEx);
    connect(lbInc, &TURLFilterList::Added, this, &TdlgEditTask::SetCustomProfile);
    connect(lbEx, &TURLFilterList::Added, this, &TdlgEditTask::SetCustomProfile);
    return page;
}

QWidget* TdlgEditTask::LinkConversionPage()
{
    auto* page = new QWidget(this);
    grpConvertFollowed = new QButtonGroup(this);
    grpConvertUnfollowed = new QButtonGroup(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(
        RadioBox(tr("Followed Links: "), *grpConvertFollowed,
                 {tr("Do NOT convert ANY followed links"), tr("Convert ALL followed links to relative links")}, page));
    layout->addWidget(RadioBox(tr("Unfollowed Links: "), *grpConvertUnfollowed,
                               {tr("Do NOT convert ANY unfollowed links"),
                                tr("Convert unfollowed links within the current website to relative links"),
                                tr("Convert ALL unfollowed links to relative links")},
                               page));
    layout->addStretch();
    return page;
}

QWidget* TdlgEditTask::SchedulePage()
{
    auto* page = new QWidget(this);
    auto* box = new QGroupBox(tr("Schedule:"), page);
    rbNow = new QRadioButton(tr("Now"), box);
    rbAt = new QRadioButton(tr("At:"), box);
    rbNoSchedule = new QRadioButton(tr("Don't schedule this task"), box);
    edSchedule = new QLineEdit(box);
    edSchedule->setReadOnly(true);
    btnSchedule = IconButton(box, QStyle::SP_FileDialogDetailedView, tr("Schedule"));
    // "At:" takes the moment chosen in the schedule dialog.
    rbAt->setEnabled(false);
    connect(btnSchedule, &QToolButton::clicked, this,
            [this]
            {
                const TSystemClock clock;
                if (const std::optional<TScheduleResult> chosen = TdlgSchedule::Ask(this, clock))
                {
                    m_atSchedule = chosen;
                    edSchedule->setText(Text(chosen->ScheduleText));
                    rbAt->setEnabled(true);
                    rbAt->setChecked(true);
                }
            });
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(rbNow);
    auto* atRow = new QHBoxLayout;
    atRow->addWidget(rbAt);
    atRow->addWidget(edSchedule, 1);
    atRow->addWidget(btnSchedule);
    boxLayout->addLayout(atRow);
    boxLayout->addWidget(rbNoSchedule);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(box);
    layout->addStretch();
    connect(rbNow, &QRadioButton::clicked, edSchedule, &QLineEdit::clear);
    return page;
}

// --- Loading ----------------------------------------------------------------------

void TdlgEditTask::FormShow()
{
    m_loading = true;
    cmbTaskCategory->clear();
    for (const std::string& folder : ListFolders(m_app.TasksFolder()))
        cmbTaskCategory->addItem(Text(folder));
    cmbTaskCategory->setCurrentText(Text(m_app.LastCategory()));
    edTaskName->setText(Text(m_task.Name));
    cmbURL->setCurrentText(Text(m_task.URL));

    const bool account = !m_task.UserName.empty() && !m_task.Password.empty();
    if (account)
    {
        dlgAccount->edUserName->setText(Text(m_task.UserName));
        dlgAccount->edPassword->setText(Text(m_task.Password));
    }
    cbPassword->setChecked(account);

    if (m_task.IntranetMode)
    {
        edIntranetFolder->setText(Text(m_task.Destination));
        rbIntranet->setChecked(true);
    }
    else
    {
        edFileName->setText(Text(m_task.Destination));
        rbZip->setChecked(true);
    }
    UpdateDestination();
    edWarcFile->setText(Text(m_task.WarcFile));

    cmbProfile->setCurrentIndex(cmbProfile->findData(Text(m_task.Profile.Name)));
    LoadProfile(m_task.Profile, !m_task.Profile.FileName.empty());

    rbNoSchedule->setChecked(true);
    edSchedule->clear();
    m_atSchedule.reset();
    rbAt->setEnabled(false);
    // The cookie dialogs start again from the task's own cookies.
    m_cookiesLoaded = false;
    m_cookies.Clear();
    m_cookiesAtStart.clear();
    m_loading = false;
}

void TdlgEditTask::LoadProfile(const THXProfile& profile, bool full)
{
    const bool wasLoading = m_loading;
    m_loading = true;
    cbUseSitemaps->setChecked(profile.UseSitemaps);
    renderBox->ShowProfile(profile);
    cbUseStartPageTitle->setChecked(profile.UseStartPageTitle);
    tvFileTypes->Fill(profile.FileTypes);
    if (!full)
    {
        // A new task with the Custom profile: only the depth is set, the rest keeps
        // the screens' defaults.
        SelectButton(*grpPageLocation, kLocationStartDirectory);
        SelectButton(*grpResourceLocation, kLocationStartSite);
        SelectButton(*grpDepth, kDepthAll);
        edLevels->setValue(1);
        cbAggressive->setChecked(false);
        SelectButton(*grpAggressive, 1);
        SelectButton(*grpConvertFollowed, 1);
        SelectButton(*grpConvertUnfollowed, 1);
        lbInc->SetEntries({});
        lbEx->SetEntries({});
    }
    else
    {
        lbInc->SetEntries(profile.URLFiltersInclude);
        lbEx->SetEntries(profile.URLFiltersExclude);
        ShowDepth(*grpDepth, *edLevels, profile.Depth);
        SelectButton(*grpPageLocation, profile.PageLocation);
        SelectButton(*grpResourceLocation, profile.ResourceLocation);
        cbAggressive->setChecked(profile.AggressiveParser != 0);
        SelectButton(*grpAggressive, profile.AggressiveParser == 0 ? 1 : profile.AggressiveParser);
        SelectButton(*grpConvertFollowed, profile.ConvertFollowedLinks);
        SelectButton(*grpConvertUnfollowed, profile.ConvertUnfollowedLinks);
    }
    UpdateAggressive();
    m_loading = wasLoading;
}

void TdlgEditTask::ProfileChosen(int index)
{
    THXProfile chosen;
    chosen.FileName = m_app.ProfilesFolder() + Std(cmbProfile->itemData(index).toString()) + ".hxp";
    chosen.Load();
    LoadProfile(chosen, true);
}

void TdlgEditTask::SetCustomProfile()
{
    if (!m_loading)
        cmbProfile->setCurrentIndex(cmbProfile->findData(kCustomProfile));
}

void TdlgEditTask::UpdateDestination()
{
    const bool intranet = rbIntranet->isChecked();
    edIntranetFolder->setEnabled(intranet);
    btnFolder->setEnabled(intranet);
    edFileName->setEnabled(!intranet);
    btnNewZip->setEnabled(!intranet);
    btnOpenZip->setEnabled(!intranet);
    cbUseStartPageTitle->setEnabled(!intranet);
}

void TdlgEditTask::UpdateAggressive()
{
    for (QAbstractButton* button : grpAggressive->buttons())
        button->setEnabled(cbAggressive->isChecked());
}

void TdlgEditTask::NameFromURL()
{
    if (m_mode == TEditTaskMode::Edit || cmbURL == nullptr || edFileName == nullptr)
        return;
    const std::string name = SiteShortName(Std(cmbURL->currentText()));
    edFileName->setText(Text(UniqueFileName(m_app.GetDownloadsFolder() + name + ".zip")));
    // The category in the settings, not the text being edited, decides the folder.
    edTaskName->setText(
        Text(FileBaseName(UniqueFileName(m_app.TasksFolder() + m_app.LastCategory() + "/" + name + ".hxt"))));
}

void TdlgEditTask::PasswordClicked(bool checked)
{
    if (!checked || !dlgAccount->edUserName->text().isEmpty() || !dlgAccount->edPassword->text().isEmpty())
        return;
    if (dlgAccount->exec() != QDialog::Accepted)
        cbPassword->setChecked(false);
}

void TdlgEditTask::UserPasswordClick()
{
    if (dlgAccount->exec() == QDialog::Accepted)
        cbPassword->setChecked(true);
}

// --- Cookies ------------------------------------------------------------------------

bool TdlgEditTask::LoadCookies()
{
    if (m_cookiesLoaded)
        return true;
    const std::int64_t now = CookieClockNow();
    m_cookies.Clear();
    if (!m_task.Cookies.Empty())
    {
        // A run has read the file into the task's jar, which is as new or newer.
        for (THXCookie& cookie : m_task.Cookies.Cookies())
            m_cookies.Add(std::move(cookie), now);
    }
    else if (!m_task.FileName.empty() && FileExists(m_task.FileName))
    {
        // Only a task with a task file has a cookie file; asking a new task for the
        // name would fix its queue's name before the editor has given it one.
        const std::string path = m_task.CookieFileName();
        std::string error;
        if (FileExists(path) && !m_cookies.LoadFile(path, error, now))
        {
            // OK would otherwise replace a file it could not read with what little
            // it read: the cookies stay untouched.
            m_cookies.Clear();
            QMessageBox::warning(this, windowTitle(), Text(error));
            return false;
        }
    }
    m_cookiesAtStart = m_cookies.Cookies();
    for (const THXCookie& cookie : m_task.CookiesToAdd)
        m_cookies.Add(cookie, now);
    m_cookiesLoaded = true;
    return true;
}

void TdlgEditTask::CookiesClick()
{
    if (!LoadCookies())
        return;
    TdlgCookies dialog(this, m_cookies);
    dialog.exec();
}

void TdlgEditTask::SignInClick()
{
    if (!LoadCookies())
        return;
    std::string address = Std(cmbURL->currentText());
    NormalizeURL(address);
    TdlgSignIn dialog(this, Text(address));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::int64_t now = CookieClockNow();
    for (THXCookie& cookie : dialog.Cookies())
        m_cookies.Add(std::move(cookie), now);
}

void TdlgEditTask::SaveCookies()
{
    if (!m_cookiesLoaded)
        return;
    const std::int64_t now = CookieClockNow();
    const std::vector<THXCookie> edited = m_cookies.Cookies();
    const auto sameKey = [](const THXCookie& a, const THXCookie& b)
    { return a.Name == b.Name && a.Domain == b.Domain && a.Path == b.Path; };
    const auto contains = [&](const std::vector<THXCookie>& list, const THXCookie& cookie, bool sameValue)
    {
        return std::any_of(list.begin(), list.end(),
                           [&](const THXCookie& other) {
                               return sameKey(other, cookie) &&
                                      (!sameValue || (other.Value == cookie.Value && other.Expires == cookie.Expires));
                           });
    };

    // Imported and signed-in cookies wait for the next start as well: a Restart
    // drops the stored session cookies, but never the ones just given to the task.
    std::vector<THXCookie> toAdd;
    for (const THXCookie& cookie : edited)
    {
        if (!contains(m_cookiesAtStart, cookie, true) || contains(m_task.CookiesToAdd, cookie, false))
            toAdd.push_back(cookie);
    }
    m_task.CookiesToAdd = std::move(toAdd);

    // A running task goes on with the edited cookies, and its next save writes them.
    m_task.Cookies.Clear();
    for (const THXCookie& cookie : edited)
        m_task.Cookies.Add(cookie, now);

    const std::string path = m_task.CookieFileName();
    if (edited.empty() && !FileExists(path))
    {
        m_task.Cookies.MarkSaved();
        return;
    }
    std::string error;
    if (m_task.Cookies.SaveFile(path, error, now))
        m_task.Cookies.MarkSaved();
    else
        QMessageBox::warning(this, windowTitle(), Text(error));
}

// --- OK -----------------------------------------------------------------------------

bool TdlgEditTask::Validate()
{
    std::string url = Std(cmbURL->currentText());
    const bool urlValid = NormalizeURL(url);
    {
        // The completed address is the same site: the name and Zip path the user
        // may have typed meanwhile stay.
        const QSignalBlocker keepNames(cmbURL);
        cmbURL->setCurrentText(Text(url));
    }
    if (!urlValid)
    {
        QMessageBox::critical(this, windowTitle(), tr("A valid Internet address (URL) is required"));
        return false;
    }
    if (edTaskName->text().isEmpty())
    {
        QMessageBox::critical(this, windowTitle(), tr("A name for this Harbex task is required."));
        return false;
    }
    m_replaced = false;
    if (m_mode == TEditTaskMode::Add &&
        FileExists(m_app.TasksFolder() + Std(cmbTaskCategory->currentText()) + "/" + Std(edTaskName->text()) + ".hxt"))
    {
        QMessageBox box(QMessageBox::Critical, windowTitle(),
                        tr("A Task with this name already exists. Do you want to replace it?"),
                        QMessageBox::Yes | QMessageBox::No, this);
        if (box.exec() != QMessageBox::Yes)
            return false;
        m_replaced = true;
    }
    if (rbZip->isChecked())
    {
        const std::string path = Std(edFileName->text());
        const std::string fileName = ExtractFileName(path);
        if (ExtractFilePath(path).empty() || FileBaseName(path).empty() || fileName.empty())
        {
            QMessageBox::warning(this, windowTitle(),
                                 tr("A valid Zip filename is required.\nHint:  Harbex requires the full "
                                    "path and filename."));
            return false;
        }
        if (ExtractFileExt(path).empty())
            edFileName->setText(edFileName->text() + QStringLiteral(".zip"));
    }
    else if (!edIntranetFolder->text().contains(QLatin1Char('/')))
    {
        QMessageBox::warning(this, windowTitle(),
                             tr("A valid Intranet Folder is required.\nHint:  Harbex requires the full path "
                                "to the Intranet Folder."));
        return false;
    }
    const QString warc = edWarcFile->text().trimmed();
    if (!warc.isEmpty() && (!warc.startsWith(QLatin1Char('/')) || warc.endsWith(QLatin1Char('/'))))
    {
        QMessageBox::warning(this, windowTitle(),
                             tr("A valid WARC file name is required.\nHint:  Harbex requires the full path "
                                "and filename, or an empty field for none."));
        return false;
    }
    return true;
}

void TdlgEditTask::SaveProfile(THXProfile& profile) const
{
    profile.Name = cmbProfile->currentIndex() < 0 ? std::string() : Std(cmbProfile->currentData().toString());
    profile.UseStartPageTitle = cbUseStartPageTitle->isChecked();
    profile.UseSitemaps = cbUseSitemaps->isChecked();
    renderBox->CopyInto(profile);
    profile.FileTypes = tvFileTypes->TickedExtensions();
    ReadDepth(*grpDepth, *edLevels, profile.Depth);
    ReadButton(*grpPageLocation, profile.PageLocation);
    ReadButton(*grpResourceLocation, profile.ResourceLocation);
    if (!cbAggressive->isChecked())
        profile.AggressiveParser = 0;
    else
        ReadButton(*grpAggressive, profile.AggressiveParser);
    ReadButton(*grpConvertFollowed, profile.ConvertFollowedLinks);
    ReadButton(*grpConvertUnfollowed, profile.ConvertUnfollowedLinks);
    profile.URLFiltersInclude = lbInc->Entries();
    profile.URLFiltersExclude = lbEx->Entries();
}

void TdlgEditTask::SaveToTask()
{
    const std::string category = Std(cmbTaskCategory->currentText());
    const std::string current = m_app.LastCategory();
    std::string folder = m_app.TasksFolder() + current + "/";
    m_moved = category != current;
    if (m_moved)
    {
        // The task file leaves the old category; its queue goes along under the same name.
        const std::string newFolder = m_app.TasksFolder() + category + "/";
        std::error_code ignored;
        std::filesystem::remove(folder + m_task.Name + ".hxt", ignored);
        const std::string oldQueue = folder + m_task.Name + ".dwn";
        if (FileExists(oldQueue))
        {
            std::filesystem::create_directories(newFolder, ignored);
            std::filesystem::rename(oldQueue, newFolder + m_task.Name + ".dwn", ignored);
            // The link book names the queue's items: it goes with the queue.
            const std::string oldLinkBook = folder + m_task.Name + ".lnk";
            if (FileExists(oldLinkBook))
                std::filesystem::rename(oldLinkBook, newFolder + m_task.Name + ".lnk", ignored);
        }
        // So do the cookies, even of a task that has not run yet (a sign-in).
        const std::string oldCookies = folder + m_task.Name + ".cookies";
        if (FileExists(oldCookies))
        {
            std::filesystem::create_directories(newFolder, ignored);
            std::filesystem::rename(oldCookies, newFolder + m_task.Name + ".cookies", ignored);
        }
        folder = newFolder;
    }
    m_task.Name = Std(edTaskName->text());
    m_task.FileName = folder + m_task.Name + ".hxt";
    m_task.Category = category;
    m_task.URL = Std(cmbURL->currentText());
    if (cbPassword->isChecked())
    {
        m_task.UserName = Std(dlgAccount->edUserName->text());
        m_task.Password = Std(dlgAccount->edPassword->text());
    }
    else
    {
        m_task.UserName.clear();
        m_task.Password.clear();
    }
    if (rbZip->isChecked())
    {
        m_task.Destination = Std(edFileName->text());
        m_task.IntranetMode = false;
    }
    else
    {
        if (!edIntranetFolder->text().endsWith(QLatin1Char('/')))
            edIntranetFolder->setText(edIntranetFolder->text() + QLatin1Char('/'));
        m_task.Destination = Std(edIntranetFolder->text());
        m_task.IntranetMode = true;
    }
    m_task.WarcFile = Std(edWarcFile->text().trimmed());
    m_task.Status = kStatusScheduled;
    if (rbNow->isChecked())
        m_task.Schedule = "Now";
    else if (rbAt->isChecked() && m_atSchedule)
    {
        m_task.Schedule = m_atSchedule->ScheduleText;
        m_task.NextRun = m_atSchedule->NextRunAt;
    }
    else
    {
        m_task.Schedule.clear();
        m_task.Status = kStatusUnscheduled;
    }
    SaveProfile(m_task.Profile);
    // The task's profile lives in its task file.
    m_task.Profile.FileName = m_task.FileName;
}

void TdlgEditTask::accept()
{
    if (!Validate())
        return;
    SaveToTask();
    SaveCookies();
    QDialog::accept();
}

} // namespace hx
