#pragma once

// TwizFileZip: the "File Zip Wizard". Three pages without tabs lead the user
// through naming a new or existing archive and how files go into it, collecting
// the files to add, and choosing the compression level. On Finish it stores the
// chosen action, use of paths and compression in the settings and closes with OK;
// the main window then opens or creates the archive and adds the files with the
// choices it reads from Choice().
//
// The file choosers (new archive, open archive, add files) go through one
// replaceable function so tests can answer them; by default it shows QFileDialog.
//
// Threads: window thread only.

#include <functional>
#include <string>
#include <vector>

#include <QDialog>
#include <QString>
#include <QStringList>

#include "archive/XcdZipD4.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QStackedWidget;
class QToolButton;
class QTreeWidget;

namespace hx
{

class THXApp;

// What the wizard hands to the main window on OK.
struct TFileZipChoice
{
    std::string ZipFileName;
    // The archive was opened (it exists); false when it is to be created.
    bool Existing = false;
    // Files and folders to add, sorted, each once.
    std::vector<std::string> Files;
    TXcdAddAction Action = TXcdAddAction::AddReplace;
    bool UsePaths = false;
    bool Recurse = false;
    int Compression = 6;
};

// The kinds of file chooser the wizard opens.
enum class TFileChooserKind
{
    // A new archive: a save dialog that asks before overwriting.
    NewFile,
    // An existing archive: the file must exist.
    ExistingFile,
    // Files to add: several existing files.
    ExistingFiles
};

struct TFileChooserRequest
{
    TFileChooserKind Kind = TFileChooserKind::ExistingFile;
    QString Caption;
    // Start folder ("" for the chooser's own choice).
    QString Folder;
    // Qt name filters, e.g. "Zip file (*.zip)".
    QStringList Filters;
    // Appended to a name typed without extension ("" for none).
    QString DefaultSuffix;
};

class TwizFileZip final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TwizFileZip)

public:
    // `openArchive` is the archive open in the main window ("" when none); the
    // dropped files, when given, fill the list and name the caption.
    TwizFileZip(THXApp& app, const std::string& openArchive, std::vector<std::string> droppedFiles,
                QWidget* parent = nullptr);

    // Presets an archive that exists as the one files are added to (the "&Add..."
    // command).
    void PresetExisting(const std::string& archive);

    TFileZipChoice Choice() const;

    // Shows a file chooser and returns the chosen paths (none when cancelled).
    std::function<QStringList(QWidget* parent, const TFileChooserRequest& request)> ChooseFiles;

    // Pages and buttons.
    QStackedWidget* pgPages = nullptr;
    QPushButton* btnBack = nullptr;
    QPushButton* btnNext = nullptr;
    QPushButton* btnCancel = nullptr;
    // Page 1: the archive and the action.
    QToolButton* btnNewZip = nullptr;
    QToolButton* btnOpenZip = nullptr;
    QLineEdit* edZipFileName = nullptr;
    QRadioButton* rbAddReplace = nullptr;
    QRadioButton* rbFreshen = nullptr;
    QRadioButton* rbUpdate = nullptr;
    // Page 2: the files.
    QTreeWidget* lvFiles = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnRemove = nullptr;
    QCheckBox* cbUsePaths = nullptr;
    QCheckBox* cbRecurse = nullptr;
    // Page 3: the compression.
    QSlider* tbCompression = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* CreateNamePage();
    QWidget* CreateFilesPage();
    QWidget* CreateCompressionPage();

    void btnNewZipClick();
    void btnOpenZipClick();
    void btnAddClick();
    void btnRemoveClick();
    void btnBackClick();
    void btnNextClick();
    void ZipFileNameEdited();

    // Shows the page and sets the buttons for it.
    void ShowPage(int page);
    // The page-1 check: appends ".zip" to a name without extension, then shows the
    // message and returns false when the name lacks a folder or a file name.
    bool CheckZipFileName();
    // A new archive can only be filled: the two other actions are disabled.
    void SetArchiveIsNew(bool isNew);
    // Adds paths to the list, keeping it sorted and each path once.
    void AddToList(const std::vector<std::string>& paths);
    void FillList();
    void LoadSettings();
    void StoreSettings();
    QString StartFolder() const;

    THXApp& m_app;
    QButtonGroup* m_actions = nullptr;
    bool m_existing = false;
    // The sorted list of files and folders to add.
    std::vector<std::string> m_files;
    bool m_settingsLoaded = false;
};

} // namespace hx
