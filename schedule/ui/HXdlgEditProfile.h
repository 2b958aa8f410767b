#pragma once

// TdlgEditProfile: the "Profiles Editor". It lists the named profiles of the
// Profiles folder and lets the user create, rename, change and delete them. The
// selected entry's profile file is read into one loaded profile; changes made in
// the controls are saved when the user agrees on leaving the entry, and dropped
// when the dialog closes. Fields without controls are written back as read.

#include <QDialog>

#include <optional>
#include <string>

#include "core/HXProfile.h"
#include "core/ui/HXButtonGroups.h"
#include "schedule/ui/HXRenderBox.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSpinBox;

namespace hx
{

class THXApp;
class TFileTypeTree;
class TURLFilterList;

class TdlgEditProfile final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TdlgEditProfile)

public:
    TdlgEditProfile(QWidget* parent, THXApp& app);

    // Whether the shown values of the loaded profile were changed since it was
    // loaded, saved or its changes dropped.
    bool Dirty() const { return m_dirty; }

    // Left side.
    QListWidget* lvProfiles = nullptr;
    QPushButton* btnProfileNew = nullptr;
    QPushButton* btnProfileDelete = nullptr;

    // Right side.
    QLineEdit* edProfileName = nullptr;
    TFileTypeTree* tvFileTypes = nullptr;
    QButtonGroup* grpDepth = nullptr;
    QSpinBox* edLevels = nullptr;
    QButtonGroup* grpPageLocation = nullptr;
    QButtonGroup* grpResourceLocation = nullptr;
    TURLFilterList* lbInc = nullptr;
    TURLFilterList* lbEx = nullptr;
    QCheckBox* cbUseSitemaps = nullptr;
    TRenderBox* renderBox = nullptr;
    QCheckBox* cbUseStartPageTitle = nullptr;

    QPushButton* btnClose = nullptr;

    // Button ids of the depth group.
    static constexpr int kDepthThisPage = kDepthIdThisPage;
    static constexpr int kDepthLevels = kDepthIdLevels;
    static constexpr int kDepthAll = kDepthIdAll;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildProfileList();
    QWidget* BuildFields();

    // Fills the list with the profile names in file-name order; nothing selected.
    void FillList();
    std::string ProfileFile(const QString& name) const;

    // The selection moves to `current`: asks about unsaved changes of the loaded
    // profile, then loads the entry's profile.
    void ProfileSelected(QListWidgetItem* current);
    void LoadSelected(const QString& name);
    void ShowProfile();
    void CopyControlsInto(THXProfile& profile) const;
    // Asks "Save changes to profile: ...?" when the loaded profile is dirty; Yes saves.
    void AskToSave();

    void NewClick();
    void DeleteClick();
    void NameEdited(QListWidgetItem* item);

    // A user change of a shown value.
    void MarkDirty();

    THXApp& m_app;
    std::optional<THXProfile> m_loaded;
    bool m_dirty = false;
    // Set while values go into the controls and until the dialog is first shown.
    bool m_loading = true;
    // Set while the list itself changes its entries (filling, adding).
    bool m_listChanging = false;
};

} // namespace hx
