#pragma once

// TdlgEditTask: the task editor. It shows a task's name, category, start address,
// destination and its own copy of the download profile on eight screens, checks
// the input on OK and copies the values into the task object (Cancel leaves the
// task untouched). The caller saves the task and reads the moved and replaced flags.

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

#include "core/HXCookieJar.h"
#include "core/ui/HXButtonGroups.h"
#include "schedule/ui/HXdlgSchedule.h"
#include "schedule/ui/HXRenderBox.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QToolButton;

namespace hx
{

class THXApp;
class THXProfile;
class THXTask;
class TFileTypeTree;
class TURLFilterList;
class TdlgUserNamePassword;

// The three ways the editor is opened; each has its caption.
enum class TEditTaskMode
{
    Edit,  // "Edit Task": no automatic naming
    Add,   // "Add a Task": automatic naming, asks before replacing a task file
    Create // "Create New Task": automatic naming
};

QString EditTaskCaption(TEditTaskMode mode);

class TdlgEditTask final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TdlgEditTask)

public:
    TdlgEditTask(QWidget* parent, THXApp& app, THXTask& task, TEditTaskMode mode);

    // After OK: the task went to another category.
    bool Moved() const { return m_moved; }
    // After OK: the user agreed to replace a task file of the same name.
    bool Replaced() const { return m_replaced; }

    // Validates; on success copies the values into the task and closes with OK.
    void accept() override;

    // Top fields.
    QLineEdit* edTaskName = nullptr;
    QComboBox* cmbTaskCategory = nullptr;
    QComboBox* cmbProfile = nullptr;
    QListWidget* lbScreens = nullptr;
    QStackedWidget* pgScreens = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnReset = nullptr;

    // "Starting address".
    QComboBox* cmbURL = nullptr;
    QCheckBox* cbPassword = nullptr;
    QPushButton* btnUserPassword = nullptr;
    TdlgUserNamePassword* dlgAccount = nullptr;
    // "Cookies...": the task's cookies (TdlgCookies).
    QPushButton* btnCookies = nullptr;
    // "Sign In...": signing in with the embedded browser (TdlgSignIn); not made
    // when there is no embedded browser.
    QPushButton* btnSignIn = nullptr;

    // "Save to".
    QRadioButton* rbIntranet = nullptr;
    QRadioButton* rbZip = nullptr;
    QLineEdit* edIntranetFolder = nullptr;
    QToolButton* btnFolder = nullptr;
    QLineEdit* edFileName = nullptr;
    QToolButton* btnNewZip = nullptr;
    QToolButton* btnOpenZip = nullptr;
    QCheckBox* cbUseStartPageTitle = nullptr;
    // "WARC File": where the runs' exchanges are archived (empty: not archived).
    QLineEdit* edWarcFile = nullptr;
    QToolButton* btnWarcFile = nullptr;

    // "Filetypes".
    TFileTypeTree* tvFileTypes = nullptr;

    // "Followed Links": page location, depth, resource location.
    QButtonGroup* grpPageLocation = nullptr;
    QButtonGroup* grpDepth = nullptr;
    QSpinBox* edLevels = nullptr;
    QButtonGroup* grpResourceLocation = nullptr;

    // "Followed Links (Adv)".
    QCheckBox* cbAggressive = nullptr;
    QButtonGroup* grpAggressive = nullptr;
    QCheckBox* cbUseSitemaps = nullptr;
    TRenderBox* renderBox = nullptr;

    // "URL Filters".
    TURLFilterList* lbInc = nullptr;
    TURLFilterList* lbEx = nullptr;

    // "Link Conversion".
    QButtonGroup* grpConvertFollowed = nullptr;
    QButtonGroup* grpConvertUnfollowed = nullptr;

    // "Schedule".
    QRadioButton* rbNow = nullptr;
    QRadioButton* rbAt = nullptr;
    // The moment chosen for "At:" in the schedule dialog.
    std::optional<TScheduleResult> m_atSchedule;
    QRadioButton* rbNoSchedule = nullptr;
    QLineEdit* edSchedule = nullptr;
    QToolButton* btnSchedule = nullptr;

    // Button ids of the depth group.
    static constexpr int kDepthThisPage = kDepthIdThisPage;
    static constexpr int kDepthLevels = kDepthIdLevels;
    static constexpr int kDepthAll = kDepthIdAll;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildTop();
    void BuildScreens();
    QWidget* StartingAddressPage();
    QWidget* SaveToPage();
    QWidget* FileTypesPage();
    QWidget* FollowedLinksPage();
    QWidget* AdvancedPage();
    QWidget* URLFiltersPage();
    QWidget* LinkConversionPage();
    QWidget* SchedulePage();
    void AddScreen(const QString& listText, const QString& heading, const QString& text, QWidget* contents);
    void ShowScreen(int row);

    // Puts the task's values into the controls (also "&Reset").
    void FormShow();
    // Puts a profile's values into the controls; `full` also loads the lists,
    // depth, locations, parser and conversions.
    void LoadProfile(const THXProfile& profile, bool full);
    void SaveProfile(THXProfile& profile) const;
    void ProfileChosen(int index);
    // A user change of a profile value: the profile list shows "Custom".
    void SetCustomProfile();
    void UpdateDestination();
    void UpdateAggressive();
    // A new address or category: the task name and Zip path follow the site's name.
    void NameFromURL();
    void PasswordClicked(bool checked);
    void UserPasswordClick();
    void CookiesClick();
    void SignInClick();
    // The working copy of the task's cookies, read the first time a cookie dialog
    // opens: the task's jar when a run has loaded it, else its cookie file, and
    // the cookies waiting for the next start. False, after a message, when the
    // cookie file cannot be read: then nothing is edited or written.
    bool LoadCookies();
    // On OK: the working copy becomes the task's cookie file and jar.
    void SaveCookies();

    bool Validate();
    void SaveToTask();

    THXApp& m_app;
    THXTask& m_task;
    TEditTaskMode m_mode;
    bool m_loading = false;
    bool m_moved = false;
    bool m_replaced = false;
    bool m_shownOnce = false;
    // The cookies as the editor's dialogs left them; written to the task's cookie
    // file on OK.
    THXCookieJar m_cookies;
    // The cookies as they were read, to tell the ones added in this editor.
    std::vector<THXCookie> m_cookiesAtStart;
    bool m_cookiesLoaded = false;
};

} // namespace hx
