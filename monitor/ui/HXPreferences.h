#pragma once

// TdlgOptions: the modal "Harbex - Preferences" dialog. Six pages show the
// program-wide settings: "General" (history lengths, zipping, banner, start-up
// screen, beep, temporary folder), "Zip Folders" (downloads, default unzip and zip
// folders), "Connection" (proxy, agent identity), "Network" (how crawls pace
// themselves and treat robots.txt, the largest page parsed, certificate checks and
// the connect time-out), "Personal Intranet" and "Browser". "&OK" writes every value through the settings object
// in a fixed order and closes; "&Cancel" closes without writing. The two "Clear"
// buttons act at once, whichever way the dialog then closes.
//
// When the dialog becomes active with the proxy box off, it asks once about a proxy
// the desktop is configured with (DetectProxy); Yes fills the proxy fields, which
// are stored only by OK.

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace hx
{

class THXApp;

// The pages, in tab order.
enum class TPreferencesPage
{
    General,
    ZipFolders,
    Connection,
    Network,
    PersonalIntranet,
    Browser
};

struct TPreferencesOptions
{
    // Finds the desktop's proxy ("host:port", empty when none). Default: DetectProxy.
    std::function<std::string()> DetectProxy;
};

class TdlgOptions final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TdlgOptions)

public:
    explicit TdlgOptions(THXApp& app, QWidget* parent = nullptr, TPreferencesOptions options = {});

    void ShowPage(TPreferencesPage page);
    TPreferencesPage CurrentPage() const;

    // The proxy the desktop is configured with; detected once per dialog.
    std::string DetectedProxy();
    // Asks about the detected proxy when the proxy box is off and this proxy was not
    // asked about before; true when the question was put.
    bool OfferProxy();

    QTabWidget* pcOptions = nullptr;

    // "General"
    QSpinBox* edMaxURLs = nullptr;
    QPushButton* btnClearURLs = nullptr;
    QSpinBox* edMaxFiles = nullptr;
    QPushButton* btnClearFiles = nullptr;
    QCheckBox* cbZipLast = nullptr;
    QCheckBox* cbNoAds = nullptr;
    QCheckBox* cbZipPropertiesFirst = nullptr;
    QCheckBox* cbBeep = nullptr;
    QLineEdit* edTempFolder = nullptr;
    QToolButton* btnTempFolder = nullptr;

    // "Zip Folders"
    QLineEdit* edDownloadsFolder = nullptr;
    QToolButton* btnDownloadsFolder = nullptr;
    QRadioButton* rbLastUnzipFolder = nullptr;
    QRadioButton* rbUnzipFolder = nullptr;
    QLineEdit* edUnzipFolder = nullptr;
    QToolButton* btnUnzipFolder = nullptr;
    QRadioButton* rbLastZipFolder = nullptr;
    QRadioButton* rbZipFolder = nullptr;
    QLineEdit* edZipFolder = nullptr;
    QToolButton* btnZipFolder = nullptr;

    // "Connection"
    QCheckBox* cbUseProxy = nullptr;
    QLineEdit* edProxyAddress = nullptr;
    QLineEdit* edProxyPort = nullptr;
    QLineEdit* edProxyUser = nullptr;
    QLineEdit* edProxyPassword = nullptr;
    QComboBox* cmbAgent = nullptr;

    // "Network"
    QRadioButton* rbPacingFast = nullptr;
    QRadioButton* rbPacingClassic = nullptr;
    QCheckBox* cbObeyRobots = nullptr;
    QCheckBox* cbUseHttp2 = nullptr;
    QSpinBox* edHostDelay = nullptr;
    QSpinBox* edMaxPageSize = nullptr;
    QSpinBox* edRenderers = nullptr;
    QCheckBox* cbCheckCertificates = nullptr;
    QLineEdit* edCAFile = nullptr;
    QToolButton* btnCAFile = nullptr;
    QSpinBox* edConnectTimeOut = nullptr;

    // "Personal Intranet"
    QLineEdit* edIntranetFolder = nullptr;
    QToolButton* btnIntranetFolder = nullptr;

    // "Browser"
    QComboBox* cmbBrowser = nullptr;
    QLabel* imgBrowser = nullptr;
    QToolButton* btnBrowser = nullptr;
    QCheckBox* cbDefaultBrowser = nullptr;

    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildGeneralPage();
    QWidget* BuildZipFoldersPage();
    QWidget* BuildConnectionPage();
    QWidget* BuildNetworkPage();
    QWidget* BuildIntranetPage();
    QWidget* BuildBrowserPage();

    // Fills every control from the settings.
    void LoadSettings();
    void FillBrowserList();
    // Writes every value, in the order the program has always written them.
    void StoreSettings();

    void ProxyToggled();
    // robots.txt is read in Fast pacing only: its box is offered with Fast chosen.
    void PacingToggled();
    void ClearURLHistory();
    void ClearFileHistory();
    void ChooseFolder(QLineEdit& field);
    void ChooseBrowser();
    void ChooseCAFile();
    void DrawBrowserIcon();

    THXApp& m_app;
    TPreferencesOptions m_options;
    QButtonGroup* m_unzipGroup = nullptr;
    QButtonGroup* m_zipGroup = nullptr;
    // The recent-browsers list as the "Browser" page offers it.
    std::vector<std::string> m_browsers;
    std::optional<std::string> m_detectedProxy;
    bool m_loading = false;
};

} // namespace hx
