#pragma once

// TFormExtract: the "Unzip" dialog. The user picks the folder entries are written
// to (typed, or chosen in a folder tree), whether all entries or the selected ones
// are extracted, and whether path names are restored and existing files
// overwritten. "&Unzip" stores the options (and the folder, when the last folder is
// to be remembered) and closes with OK; the main window then extracts with the
// choices it reads from Choice().
//
// AskReplaceFile is the question shown when an extraction meets a file that
// exists and the user chose not to overwrite: the main window hooks it to the Zip
// component's OnReplace.
//
// Threads: window thread only.

#include <string>

#include <QDialog>

#include "archive/XcdZipD4.h"

class QCheckBox;
class QFileSystemModel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace hx
{

class THXApp;

// What the dialog hands to the main window on OK.
struct TExtractChoice
{
    // The extraction folder, as shown in the field.
    std::string Folder;
    // All entries of the archive (else the selected ones).
    bool AllFiles = true;
    bool UsePaths = true;
    bool Overwrite = false;
};

class TFormExtract final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFormExtract)

public:
    explicit TFormExtract(THXApp& app, QWidget* parent = nullptr);

    // Selects "All Files" (the archive's root is selected) or "Selected Files".
    void SetAllFiles(bool allFiles);

    TExtractChoice Choice() const;

    QLineEdit* edFolder = nullptr;
    QTreeView* tvFolders = nullptr;
    QRadioButton* rbAllFiles = nullptr;
    QRadioButton* rbSelectedFiles = nullptr;
    QCheckBox* cbUsePaths = nullptr;
    QCheckBox* cbOverwrite = nullptr;
    QPushButton* btnUnzip = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void LoadSettings();
    // Selects and reveals the field's folder in the tree.
    void ShowFolderInTree();
    void FolderChosen();
    void FolderEdited();
    void btnUnzipClick();

    THXApp& m_app;
    QFileSystemModel* m_folders = nullptr;
    bool m_settingsLoaded = false;
    // The field's folder has been shown in the tree once.
    bool m_folderShown = false;
};

// Asks whether an existing file is replaced by an entry being extracted:
// "Replace File : " + existing + line break + "With File: " + new, with Yes, No,
// Cancel and Yes to All (the All answer).
TXcdReplaceAnswer AskReplaceFile(QWidget* parent, const std::string& existingFile, const std::string& newFile);

} // namespace hx
