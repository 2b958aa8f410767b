#include "monitor/ui/HXPreferences.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "core/HXApp.h"
#include "core/HXPaths.h"
#include "core/HXStrings.h"
#include "core/ui/HXPageOpener.h"
#include "core/ui/HXQtText.h"
#include "net/HXProxy.h"

namespace hx
{

namespace
{

// History lengths written when the field holds no number.
constexpr int kDefaultURLHistory = 20;
constexpr int kDefaultFileHistory = 10;
// The largest history length the up-down arrows reach.
constexpr int kMostHistory = 999;
constexpr int kBrowserIconSize = 32;

// A number field with up-down arrows that never goes below 0. Like any text field
// it keeps what was typed, a text that is no number included: OK then writes the
// list's default length.
class THistoryField final : public QSpinBox
{
public:
    explicit THistoryField(QWidget* parent)
        : QSpinBox(parent)
    {
        setRange(0, kMostHistory);
    }

protected:
    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }
    int valueFromText(const QString& text) const override
    {
        std::int32_t number = 0;
        if (TryStrToInt(text.trimmed().toStdString(), number))
            return std::clamp<int>(number, minimum(), maximum());
        return value();
    }
    void focusOutEvent(QFocusEvent* event) override
    {
        // Leaving the field does not put the last number back over the typed text.
        const QString typed = lineEdit()->text();
        QSpinBox::focusOutEvent(event);
        lineEdit()->setText(typed);
    }
};

QSpinBox* HistoryField(QWidget* parent)
{
    return new THistoryField(parent);
}

// The number a history field shows; `fallback` when it shows none.
int HistoryValue(const QSpinBox& field, int fallback)
{
    std::int32_t value = 0;
    if (!TryStrToInt(Std(field.cleanText().trimmed()), value) || value < 0)
        return fallback;
    return value;
}

// A folder field with its browse button on one row.
QToolButton* BrowseButton(QWidget* parent, const QString& hint)
{
    auto* browse = new QToolButton(parent);
    browse->setText(QStringLiteral("..."));
    browse->setToolTip(hint);
    return browse;
}

// A number field for a setting the settings object keeps within [least, most]: a
// number typed beyond either end becomes that end, as the settings object would
// make it, rather than the field quietly keeping its last value.
QSpinBox* NumberField(QWidget* parent, int least, int most)
{
    auto* field = new QSpinBox(parent);
    field->setRange(least, most);
    field->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    return field;
}

// A field's caption, which gives the field the focus on its mnemonic and to a
// screen reader names it.
QLabel* Buddy(const QString& caption, QWidget* field, QWidget* parent)
{
    auto* label = new QLabel(caption, parent);
    label->setBuddy(field);
    return label;
}

QHBoxLayout* FolderRow(QLineEdit*& field, QToolButton*& browse, QWidget* parent)
{
    auto* row = new QHBoxLayout;
    field = new QLineEdit(parent);
    browse = BrowseButton(parent, QObject::tr("Browse for Folder"));
    row->addWidget(field, 1);
    row->addWidget(browse);
    return row;
}

} // namespace

TdlgOptions::TdlgOptions(THXApp& app, QWidget* parent, TPreferencesOptions options)
    : QDialog(parent)
    , m_app(app)
    , m_options(std::move(options))
{
    setObjectName(QStringLiteral("dlgOptions"));
    setModal(true);
    if (!m_options.DetectProxy)
        m_options.DetectProxy = [] { return hx::DetectProxy(); };

    pcOptions = new QTabWidget(this);
    pcOptions->addTab(BuildGeneralPage(), tr("General"));
    pcOptions->addTab(BuildZipFoldersPage(), tr("Zip Folders"));
    pcOptions->addTab(BuildConnectionPage(), tr("Connection"));
    pcOptions->addTab(BuildNetworkPage(), tr("Network"));
    pcOptions->addTab(BuildIntranetPage(), tr("Personal Intranet"));
    pcOptions->addTab(BuildBrowserPage(), tr("Browser"));

    btnOK = new QPushButton(tr("&OK"), this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(tr("&Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pcOptions, 1);
    layout->addLayout(buttons);
    // Every page fits: the dialog never gets smaller than its fullest page needs.
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    connect(btnOK, &QPushButton::clicked, this, &TdlgOptions::StoreSettings);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    // Opening: the agent choices start with "Harbex", then every control is filled
    // while typing into the folder fields does not switch their options.
    m_loading = true;
    setWindowTitle(tr("Harbex - Preferences"));
    LoadSettings();
    m_loading = false;
}

QWidget* TdlgOptions::BuildGeneralPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* general = new QGroupBox(tr("General Settings "), page);
    auto* grid = new QGridLayout(general);
    edMaxURLs = HistoryField(general);
    btnClearURLs = new QPushButton(tr("Clear"), general);
    edMaxFiles = HistoryField(general);
    btnClearFiles = new QPushButton(tr("Clear"), general);
    grid->addWidget(new QLabel(tr("Max. URL's in recently typed URL's list:"), general), 0, 0);
    grid->addWidget(edMaxURLs, 0, 1);
    grid->addWidget(btnClearURLs, 0, 2);
    grid->addWidget(new QLabel(tr("Max. files in recently opened files list:"), general), 1, 0);
    grid->addWidget(edMaxFiles, 1, 1);
    grid->addWidget(btnClearFiles, 1, 2);
    cbZipLast = new QCheckBox(tr("Zip files only after download has completed"), general);
    cbNoAds = new QCheckBox(tr("Turn off banner ad insertion"), general);
    cbZipPropertiesFirst = new QCheckBox(tr("Display Task Screen at startup"), general);
    cbBeep = new QCheckBox(tr("Beep on task completion"), general);
    int row = 2;
    for (QCheckBox* box : {cbZipLast, cbNoAds, cbZipPropertiesFirst, cbBeep})
        grid->addWidget(box, row++, 0, 1, 3);
    grid->setColumnStretch(0, 1);

    auto* temporary = new QGroupBox(tr("Temporary Harbex Files "), page);
    auto* tempLayout = new QVBoxLayout(temporary);
    tempLayout->addWidget(new QLabel(tr("Specify a location in which to store temporary files:"), temporary));
    tempLayout->addLayout(FolderRow(edTempFolder, btnTempFolder, temporary));
    tempLayout->addWidget(new QLabel(tr("NOTE: Temporary files are automatically deleted on exit."), temporary));

    layout->addWidget(general);
    layout->addWidget(temporary);
    layout->addStretch(1);

    connect(btnClearURLs, &QPushButton::clicked, this, &TdlgOptions::ClearURLHistory);
    connect(btnClearFiles, &QPushButton::clicked, this, &TdlgOptions::ClearFileHistory);
    connect(btnTempFolder, &QToolButton::clicked, this, [this] { ChooseFolder(*edTempFolder); });
    return page;
}

QWidget* TdlgOptions::BuildZipFoldersPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* downloads = new QGroupBox(tr("Default Downloads Folder:"), page);
    auto* downloadsLayout = new QVBoxLayout(downloads);
    downloadsLayout->addWidget(new QLabel(tr("Specify the default folder for all Harbexes"), downloads));
    downloadsLayout->addLayout(FolderRow(edDownloadsFolder, btnDownloadsFolder, downloads));

    // One group of "Last ... Folder" / "Folder" options with its folder field.
    const auto folderChoice = [this, page](const QString& title, const QString& lastCaption, QRadioButton*& last,
                                           QRadioButton*& folder, QLineEdit*& field, QToolButton*& browse,
                                           QButtonGroup*& group)
    {
        auto* box = new QGroupBox(title, page);
        auto* grid = new QGridLayout(box);
        last = new QRadioButton(lastCaption, box);
        folder = new QRadioButton(tr("Folder"), box);
        group = new QButtonGroup(this);
        group->addButton(last);
        group->addButton(folder);
        grid->addWidget(last, 0, 0, 1, 2);
        grid->addWidget(folder, 1, 0);
        grid->addLayout(FolderRow(field, browse, box), 1, 1);
        grid->setColumnStretch(1, 1);
        return box;
    };
    QGroupBox* unzip = folderChoice(tr("Default Unzip Folder:"), tr("Last Unzip Folder"), rbLastUnzipFolder,
                                    rbUnzipFolder, edUnzipFolder, btnUnzipFolder, m_unzipGroup);
    QGroupBox* zip = folderChoice(tr("Default Zip Folder:"), tr("Last Zip Folder"), rbLastZipFolder, rbZipFolder,
                                  edZipFolder, btnZipFolder, m_zipGroup);

    layout->addWidget(downloads);
    layout->addWidget(unzip);
    layout->addWidget(zip);
    layout->addStretch(1);

    connect(btnDownloadsFolder, &QToolButton::clicked, this, [this] { ChooseFolder(*edDownloadsFolder); });
    connect(btnUnzipFolder, &QToolButton::clicked, this, [this] { ChooseFolder(*edUnzipFolder); });
    connect(btnZipFolder, &QToolButton::clicked, this, [this] { ChooseFolder(*edZipFolder); });
    // Typing a folder chooses it over the last one used.
    connect(edUnzipFolder, &QLineEdit::textChanged, this,
            [this]
            {
                if (!m_loading)
                    rbUnzipFolder->setChecked(true);
            });
    connect(edZipFolder, &QLineEdit::textChanged, this,
            [this]
            {
                if (!m_loading)
                    rbZipFolder->setChecked(true);
            });
    return page;
}

QWidget* TdlgOptions::BuildConnectionPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* proxy = new QGroupBox(tr("Proxy Server: "), page);
    auto* grid = new QGridLayout(proxy);
    cbUseProxy = new QCheckBox(tr("Connect to the Internet using a proxy server"), proxy);
    edProxyAddress = new QLineEdit(proxy);
    edProxyPort = new QLineEdit(proxy);
    edProxyPort->setMaximumWidth(edProxyPort->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
    edProxyUser = new QLineEdit(proxy);
    edProxyPassword = new QLineEdit(proxy);
    edProxyPassword->setEchoMode(QLineEdit::Password);
    grid->addWidget(cbUseProxy, 0, 0, 1, 4);
    grid->addWidget(new QLabel(tr("Address:"), proxy), 1, 0);
    grid->addWidget(edProxyAddress, 1, 1);
    grid->addWidget(new QLabel(tr("Port:"), proxy), 1, 2);
    grid->addWidget(edProxyPort, 1, 3);
    grid->addWidget(new QLabel(tr("Authorization (If proxy server requires a password):"), proxy), 2, 0, 1, 4);
    grid->addWidget(new QLabel(tr("Username:"), proxy), 3, 0);
    grid->addWidget(edProxyUser, 3, 1, 1, 3);
    grid->addWidget(new QLabel(tr("Password:"), proxy), 4, 0);
    grid->addWidget(edProxyPassword, 4, 1, 1, 3);
    grid->setColumnStretch(1, 1);

    auto* agent = new QGroupBox(tr("Agent Identity"), page);
    auto* agentLayout = new QVBoxLayout(agent);
    // Broken where the sentence ends, so the page's height does not depend on its width.
    agentLayout->addWidget(new QLabel(tr("Some websites serve different pages for different browsing agents (Web "
                                         "Browsers)\nUse this option to 'trick' the web server into giving you the "
                                         "page you require."),
                                      agent));
    auto* agentRow = new QHBoxLayout;
    cmbAgent = new QComboBox(agent);
    cmbAgent->setEditable(true);
    cmbAgent->setInsertPolicy(QComboBox::NoInsert);
    agentRow->addWidget(new QLabel(tr("Identify Harbex as:"), agent));
    agentRow->addWidget(cmbAgent, 1);
    agentLayout->addLayout(agentRow);

    layout->addWidget(proxy);
    layout->addWidget(agent);
    layout->addStretch(1);

    connect(cbUseProxy, &QCheckBox::toggled, this, &TdlgOptions::ProxyToggled);
    return page;
}

QWidget* TdlgOptions::BuildNetworkPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    // How a crawl goes about the sites it copies: its pace, robots.txt, the gap
    // between two requests to one host and the largest page it reads for links.
    auto* crawling = new QGroupBox(tr("Crawling"), page);
    auto* crawlingLayout = new QGridLayout(crawling);
    rbPacingFast = new QRadioButton(tr("Fast: fetch and parse as soon as there is work"), crawling);
    rbPacingClassic = new QRadioButton(tr("Classic: the steady one-second cadence"), crawling);
    auto* pacing = new QButtonGroup(this);
    pacing->addButton(rbPacingFast);
    pacing->addButton(rbPacingClassic);
    cbObeyRobots = new QCheckBox(tr("Obey the sites' robots.txt files (Fast pacing)"), crawling);
    edHostDelay = NumberField(crawling, 0, kMaxHostDelay);
    edHostDelay->setSingleStep(100);
    edMaxPageSize = NumberField(crawling, kMinMaxPageSize, kMaxMaxPageSize);
    edRenderers = NumberField(crawling, kMinRenderers, kMaxRenderers);
    crawlingLayout->addWidget(new QLabel(tr("Pacing:"), crawling), 0, 0);
    crawlingLayout->addWidget(rbPacingFast, 0, 1, 1, 2);
    crawlingLayout->addWidget(rbPacingClassic, 1, 1, 1, 2);
    crawlingLayout->addWidget(cbObeyRobots, 2, 0, 1, 3);
    crawlingLayout->addWidget(Buddy(tr("Host Delay:"), edHostDelay, crawling), 3, 0);
    crawlingLayout->addWidget(edHostDelay, 3, 1);
    crawlingLayout->addWidget(new QLabel(tr("milliseconds between two requests to one host"), crawling), 3, 2);
    crawlingLayout->addWidget(Buddy(tr("Max Page Size:"), edMaxPageSize, crawling), 4, 0);
    crawlingLayout->addWidget(edMaxPageSize, 4, 1);
    crawlingLayout->addWidget(new QLabel(tr("MB (a larger page is kept, its links not followed)"), crawling), 4, 2);
    crawlingLayout->addWidget(Buddy(tr("Renderers:"), edRenderers, crawling), 5, 0);
    crawlingLayout->addWidget(edRenderers, 5, 1);
    crawlingLayout->addWidget(new QLabel(tr("offscreen browsers at once for profiles that render pages"), crawling), 5,
                              2);
    crawlingLayout->setColumnStretch(2, 1);

    // Secure sites: whether their certificates are checked, and which extra
    // certificates are trusted besides the system's.
    auto* certificates = new QGroupBox(tr("Secure Sites (https)"), page);
    auto* certificatesLayout = new QGridLayout(certificates);
    cbCheckCertificates = new QCheckBox(tr("Check the certificates of secure sites"), certificates);
    edCAFile = new QLineEdit(certificates);
    edCAFile->setPlaceholderText(tr("(only the system's certificates)"));
    btnCAFile = BrowseButton(certificates, tr("Choose a file of trusted certificates (PEM)"));
    certificatesLayout->addWidget(cbCheckCertificates, 0, 0, 1, 3);
    certificatesLayout->addWidget(new QLabel(tr("CA File:"), certificates), 1, 0);
    certificatesLayout->addWidget(edCAFile, 1, 1);
    certificatesLayout->addWidget(btnCAFile, 1, 2);
    // One connection per server for every slot, where the server offers it.
    cbUseHttp2 = new QCheckBox(tr("Use HTTP/2 where the server offers it (Fast pacing)"), certificates);
    certificatesLayout->addWidget(cbUseHttp2, 2, 0, 1, 3);
    certificatesLayout->setColumnStretch(1, 1);

    // How long a host may take to be looked up and to accept the connection (the
    // secure handshake included), apart from the time-out of the transfer itself.
    auto* timeOuts = new QGroupBox(tr("Time-outs"), page);
    auto* timeOutsLayout = new QHBoxLayout(timeOuts);
    edConnectTimeOut = NumberField(timeOuts, kMinConnectTimeOut, kMaxConnectTimeOut);
    timeOutsLayout->addWidget(Buddy(tr("Connect Time Out:"), edConnectTimeOut, timeOuts));
    timeOutsLayout->addWidget(edConnectTimeOut);
    timeOutsLayout->addWidget(new QLabel(tr("seconds (looking a host up and connecting to it)"), timeOuts));
    timeOutsLayout->addStretch(1);

    layout->addWidget(crawling);
    layout->addWidget(certificates);
    layout->addWidget(timeOuts);
    layout->addStretch(1);

    connect(rbPacingFast, &QRadioButton::toggled, this, &TdlgOptions::PacingToggled);
    connect(btnCAFile, &QToolButton::clicked, this, &TdlgOptions::ChooseCAFile);
    return page;
}

QWidget* TdlgOptions::BuildIntranetPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* intranet = new QGroupBox(tr("Local Intranet Folder:"), page);
    auto* intranetLayout = new QVBoxLayout(intranet);
    intranetLayout->addWidget(new QLabel(tr("Specify the default folder to use for your personal Intranet"), intranet));
    intranetLayout->addLayout(FolderRow(edIntranetFolder, btnIntranetFolder, intranet));
    layout->addWidget(intranet);
    layout->addStretch(1);
    connect(btnIntranetFolder, &QToolButton::clicked, this, [this] { ChooseFolder(*edIntranetFolder); });
    return page;
}

QWidget* TdlgOptions::BuildBrowserPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* browser = new QGroupBox(tr("Web Browser: "), page);
    auto* grid = new QGridLayout(browser);
    cmbBrowser = new QComboBox(browser);
    cmbBrowser->setEditable(true);
    cmbBrowser->setInsertPolicy(QComboBox::NoInsert);
    imgBrowser = new QLabel(browser);
    imgBrowser->setFixedSize(kBrowserIconSize, kBrowserIconSize);
    btnBrowser = BrowseButton(browser, tr("Choose a browser program"));
    cbDefaultBrowser = new QCheckBox(tr("Use your current system default browser"), browser);
    grid->addWidget(imgBrowser, 0, 0);
    grid->addWidget(cmbBrowser, 0, 1);
    grid->addWidget(btnBrowser, 0, 2);
    grid->addWidget(cbDefaultBrowser, 1, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    layout->addWidget(browser);
    layout->addStretch(1);

    connect(btnBrowser, &QToolButton::clicked, this, &TdlgOptions::ChooseBrowser);
    connect(cmbBrowser, &QComboBox::editTextChanged, this, &TdlgOptions::DrawBrowserIcon);
    // The box puts the desktop's default browser into the field; it is not a setting.
    connect(cbDefaultBrowser, &QCheckBox::toggled, this,
            [this](bool on)
            {
                if (on && !m_loading)
                    cmbBrowser->setEditText(Text(m_app.DefaultBrowser()));
                cmbBrowser->setEnabled(!on);
                btnBrowser->setEnabled(!on);
            });
    return page;
}

void TdlgOptions::LoadSettings()
{
    THXSettingsStore& store = m_app.Store();
    cmbAgent->clear();
    for (const std::string& choice : AgentChoices())
        cmbAgent->addItem(Text(choice));
    if (cmbAgent->findText(QStringLiteral("Harbex")) != 0)
        cmbAgent->insertItem(0, tr("Harbex"));

    cbZipLast->setChecked(store.ReadBool(kSettingsKey, "Zip Last", false));
    cbZipPropertiesFirst->setChecked(store.ReadBool(kSettingsKey, "Zip Properties First", false));
    cbNoAds->setChecked(m_app.NoAds());
    cbBeep->setChecked(m_app.BeepOnCompletion());
    edTempFolder->setText(Text(m_app.GetTempFolder()));
    edDownloadsFolder->setText(Text(m_app.GetDownloadsFolder()));
    edIntranetFolder->setText(Text(m_app.GetIntranetFolder()));

    const bool lastZip = store.ReadBool(kSettingsKey, "Last Zip Folder", true);
    rbLastZipFolder->setChecked(lastZip);
    rbZipFolder->setChecked(!lastZip);
    const bool lastUnzip = store.ReadBool(kSettingsKey, "Last Unzip Folder", true);
    rbLastUnzipFolder->setChecked(lastUnzip);
    rbUnzipFolder->setChecked(!lastUnzip);
    edZipFolder->setText(Text(store.ReadString(kSettingsKey, "Zip Folder", "")));
    edUnzipFolder->setText(Text(store.ReadString(kSettingsKey, "Unzip Folder", "")));

    cbUseProxy->setChecked(m_app.UseProxy());
    edProxyAddress->setText(Text(m_app.ProxyAddress()));
    edProxyPort->setText(Text(m_app.ProxyPort()));
    const TProxyCredentials credentials = SplitProxyAuthorization(m_app.ProxyAuthorization());
    edProxyUser->setText(Text(credentials.UserName));
    edProxyPassword->setText(Text(credentials.Password));
    ProxyToggled();
    cmbAgent->setEditText(Text(store.ReadString(kSettingsKey, "User Agent", "Harbex")));
    (m_app.Pacing() == kPacingClassic ? rbPacingClassic : rbPacingFast)->setChecked(true);
    PacingToggled();
    cbObeyRobots->setChecked(m_app.ObeyRobots());
    edHostDelay->setValue(m_app.HostDelay());
    edMaxPageSize->setValue(m_app.MaxPageSize());
    edRenderers->setValue(m_app.Renderers());
    cbCheckCertificates->setChecked(store.ReadBool(kSettingsKey, "Check Certificates", true));
    edCAFile->setText(Text(m_app.CAFile()));
    cbUseHttp2->setChecked(m_app.UseHttp2());
    edConnectTimeOut->setValue(m_app.ConnectTimeOut());

    edMaxURLs->setValue(m_app.MaxURLHistory());
    edMaxFiles->setValue(m_app.MaxFileHistory());

    FillBrowserList();
}

void TdlgOptions::FillBrowserList()
{
    m_browsers = m_app.LoadRecentList(kBrowsersKey, kMaxBrowserHistory);
    if (m_browsers.empty())
    {
        if (std::string navigator = FindNetscapeNavigator(); !navigator.empty())
            m_browsers.push_back(std::move(navigator));
        const std::string standard = m_app.DefaultBrowser();
        if (!standard.empty() && std::find(m_browsers.begin(), m_browsers.end(), standard) == m_browsers.end())
            m_browsers.push_back(standard);
    }
    cmbBrowser->clear();
    for (const std::string& browser : m_browsers)
        cmbBrowser->addItem(Text(browser));
    cmbBrowser->setEditText(Text(m_app.Browser()));
    DrawBrowserIcon();
}

void TdlgOptions::StoreSettings()
{
    // A number still being typed is taken as the field will show it (within its range).
    for (QSpinBox* field : {edHostDelay, edMaxPageSize, edRenderers, edConnectTimeOut})
        field->interpretText();
    THXSettingsStore& store = m_app.Store();
    store.WriteBool(kSettingsKey, "Zip Last", cbZipLast->isChecked());
    m_app.SetZipPropertiesFirst(cbZipPropertiesFirst->isChecked());
    store.WriteBool(kSettingsKey, "Last Zip Folder", rbLastZipFolder->isChecked());
    store.WriteBool(kSettingsKey, "Last Unzip Folder", rbLastUnzipFolder->isChecked());
    if (rbZipFolder->isChecked())
        store.WriteString(kSettingsKey, "Zip Folder", Std(edZipFolder->text()));
    if (rbUnzipFolder->isChecked())
        store.WriteString(kSettingsKey, "Unzip Folder", Std(edUnzipFolder->text()));
    m_app.SetNoAds(cbNoAds->isChecked());
    m_app.SetTempFolder(Std(edTempFolder->text().trimmed()));
    m_app.SetDownloadsFolder(Std(edDownloadsFolder->text().trimmed()));
    m_app.SetIntranetFolder(Std(edIntranetFolder->text().trimmed()));
    m_app.SetBeepOnCompletion(cbBeep->isChecked());
    m_app.SetUseProxy(cbUseProxy->isChecked());
    m_app.SetProxyAddress(StoredProxyAddress(Std(edProxyAddress->text())));
    m_app.SetProxyPort(StoredProxyPort(Std(edProxyPort->text())));
    m_app.SetProxyAuthorization(JoinProxyAuthorization(Std(edProxyUser->text()), Std(edProxyPassword->text())));
    m_app.SetUserAgentChoice(Std(cmbAgent->currentText()));
    m_app.SetCheckCertificates(cbCheckCertificates->isChecked());
    m_app.SetCAFile(Std(edCAFile->text().trimmed()));
    m_app.SetUseHttp2(cbUseHttp2->isChecked());
    m_app.SetConnectTimeOut(edConnectTimeOut->value());
    m_app.SetPacing(rbPacingClassic->isChecked() ? kPacingClassic : kPacingFast);
    m_app.SetObeyRobots(cbObeyRobots->isChecked());
    m_app.SetHostDelay(edHostDelay->value());
    m_app.SetMaxPageSize(edMaxPageSize->value());
    m_app.SetRenderers(edRenderers->value());
    m_app.SetMaxURLHistory(HistoryValue(*edMaxURLs, kDefaultURLHistory));
    m_app.SetMaxFileHistory(HistoryValue(*edMaxFiles, kDefaultFileHistory));
    m_app.SetBrowser(Std(cmbBrowser->currentText().trimmed()));
    m_app.SaveRecentList(kBrowsersKey, m_browsers, kMaxBrowserHistory);
    accept();
}

void TdlgOptions::ShowPage(TPreferencesPage page)
{
    pcOptions->setCurrentIndex(static_cast<int>(page));
}

TPreferencesPage TdlgOptions::CurrentPage() const
{
    return static_cast<TPreferencesPage>(pcOptions->currentIndex());
}

std::string TdlgOptions::DetectedProxy()
{
    if (!m_detectedProxy)
        m_detectedProxy = m_options.DetectProxy();
    return *m_detectedProxy;
}

bool TdlgOptions::OfferProxy()
{
    const std::string proxy = ProxyToOffer(m_app, DetectedProxy(), cbUseProxy->isChecked());
    if (proxy.empty())
        return false;
    // Remembered before asking: the box takes the activation away and gives it back.
    m_app.SetProxyOffered(proxy);
    ShowPage(TPreferencesPage::Connection);
    const QString question =
        tr("Harbex has determined that Internet Explorer uses the following proxy server to access the "
           "Internet") +
        QStringLiteral("\n") + Text(proxy) + QStringLiteral("\n\n") +
        tr("Harbex will most likely also need to use this proxy server to access the Internet") + QStringLiteral("\n") +
        tr("Do you want to set this proxy server for Harbex also?");
    if (QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
    {
        const TProxyFields fields = SplitDetectedProxy(proxy);
        edProxyAddress->setText(Text(fields.Address));
        edProxyPort->setText(Text(fields.Port));
        cbUseProxy->setChecked(true);
    }
    return true;
}

void TdlgOptions::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // The offer comes once the dialog is on screen and active, after the event.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        QTimer::singleShot(0, this, &TdlgOptions::OfferProxy);
}

void TdlgOptions::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    DrawBrowserIcon();
}

void TdlgOptions::ProxyToggled()
{
    edProxyAddress->setEnabled(cbUseProxy->isChecked());
    edProxyPort->setEnabled(cbUseProxy->isChecked());
}

void TdlgOptions::PacingToggled()
{
    cbObeyRobots->setEnabled(rbPacingFast->isChecked());
    cbUseHttp2->setEnabled(rbPacingFast->isChecked());
}

void TdlgOptions::ClearURLHistory()
{
    if (QMessageBox::question(this, windowTitle(), tr("Clear all items in your recently typed URL's list?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    m_app.SaveRecentList(kRecentURLsKey, {}, m_app.MaxURLHistory());
}

void TdlgOptions::ClearFileHistory()
{
    if (QMessageBox::question(this, windowTitle(), tr("Clear all items in your recently opened files list?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    m_app.SaveRecentList(kRecentZipFilesKey, {}, m_app.MaxFileHistory());
}

void TdlgOptions::ChooseFolder(QLineEdit& field)
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, tr("Browse for Folder"), field.text(), QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        field.setText(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

void TdlgOptions::ChooseBrowser()
{
    const QString start = QFileInfo(cmbBrowser->currentText()).absolutePath();
    const QString program = QFileDialog::getOpenFileName(this, tr("Browser"), start);
    if (program.isEmpty())
        return;
    const std::string path = Std(program);
    cmbBrowser->addItem(program);
    m_browsers.push_back(path);
    if (m_browsers.size() > static_cast<std::size_t>(kMaxBrowserHistory))
        m_browsers.erase(m_browsers.begin(), m_browsers.end() - kMaxBrowserHistory);
    m_app.SaveRecentList(kBrowsersKey, m_browsers, kMaxBrowserHistory);
    cmbBrowser->setEditText(program);
    DrawBrowserIcon();
}

void TdlgOptions::ChooseCAFile()
{
    const QString start = edCAFile->text().isEmpty() ? QString() : QFileInfo(edCAFile->text()).absolutePath();
    const QString file =
        QFileDialog::getOpenFileName(this, tr("CA File"), start, tr("Certificates (*.pem *.crt);;All files (*)"));
    if (!file.isEmpty())
        edCAFile->setText(file);
}

// The program's icon (BrowserIcon) on light grey.
void TdlgOptions::DrawBrowserIcon()
{
    const qreal scale = imgBrowser->devicePixelRatioF();
    QPixmap picture(QSize(kBrowserIconSize, kBrowserIconSize) * scale);
    picture.setDevicePixelRatio(scale);
    picture.fill(QColor(0xC0, 0xC0, 0xC0));
    const QIcon icon = BrowserIcon(Std(cmbBrowser->currentText().trimmed()));
    if (!icon.isNull())
    {
        QPainter painter(&picture);
        icon.paint(&painter, QRect(0, 0, kBrowserIconSize, kBrowserIconSize));
    }
    imgBrowser->setPixmap(picture);
}

} // namespace hx
