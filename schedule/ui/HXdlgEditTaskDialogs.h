#pragma once

// The small dialogs and shared lists of the task editor: the account dialog, the
// URL filter dialog, the file type group dialog, the file-type tree and a URL
// filter list. The profile editor uses the tree and the filter lists too.

#include <QDialog>
#include <QGroupBox>

#include <string>

#include "core/HXCommaList.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace hx
{

class THXSettingsStore;

// "Account/Password": the site's user name and password. OK is enabled only while
// both fields hold text. The task editor keeps one for its whole life, so the
// fields keep their values between openings.
class TdlgUserNamePassword final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TdlgUserNamePassword)

public:
    explicit TdlgUserNamePassword(QWidget* parent);

    QLineEdit* edUserName = nullptr;
    QLineEdit* edPassword = nullptr;
    QPushButton* btnOK = nullptr;

private:
    void UpdateOK();
};

// "Add URL Filter": one filter entry. The label says what the entry does for the
// list kind ("Inc" or "Ex") and the scope tag ("[AL]", "[PL]", "[RL]").
class TdlgEditURLFilter final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TdlgEditURLFilter)

public:
    TdlgEditURLFilter(QWidget* parent, const QString& kind, const QString& tag);

    QLabel* lblHint = nullptr;
    QLineEdit* edFilter = nullptr;
    QPushButton* btnOK = nullptr;
};

// The label of the URL filter dialog for a list kind and scope tag.
QString URLFilterLabel(const QString& kind, const QString& tag);

// "New File Type" / "Edit File Type": one file type group. On OK the extensions
// text gains a final ";" when it lacks one and is stored under the group name.
class TdlgEditFileType final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TdlgEditFileType)

public:
    TdlgEditFileType(QWidget* parent, THXSettingsStore& store);

    // Edit mode for a stored group: caption "Edit File Type", the name filled in
    // and the extensions taken from the stored text (kept when there is none).
    void EditGroup(const QString& groupName);

    QLineEdit* edFileType = nullptr;
    QLineEdit* edExtensions = nullptr;
    QPushButton* btnOK = nullptr;

    void accept() override;

private:
    THXSettingsStore& m_store;
};

// The "Filetypes: " group: a tree of the file type groups with their extensions
// ticked, the "All" box, and "&New...", "&Edit...", "&Delete".
class TFileTypeTree final : public QGroupBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFileTypeTree)

public:
    TFileTypeTree(QWidget* parent, THXSettingsStore& store);

    // Fills the tree from the stored groups, ticking the listed extensions; "All"
    // is ticked (and the tree disabled) when the list is empty.
    void Fill(const TStringList& ticked);
    // The ticked extensions; empty while "All" is ticked.
    TStringList TickedExtensions() const;

    QTreeWidget* tvFileTypes = nullptr;
    QCheckBox* cbAll = nullptr;
    QPushButton* btnNew = nullptr;
    QPushButton* btnEdit = nullptr;
    QPushButton* btnDelete = nullptr;

signals:
    // The user changed a tick or "All".
    void TicksChanged();

private:
    void ItemChanged(QTreeWidgetItem* item);
    void UpdateDelete();
    void NewClick();
    void EditClick();
    void DeleteClick();
    TStringList TickedInTree() const;

    THXSettingsStore& m_store;
    bool m_filling = false;
};

// One URL filter list ("Include:" or "Exclude:") with its "Add" menu, "Edit..."
// and "Remove".
class TURLFilterList final : public QGroupBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TURLFilterList)

public:
    // kind: "Inc" or "Ex".
    TURLFilterList(QWidget* parent, const QString& kind);

    void SetEntries(const TStringList& entries);
    TStringList Entries() const;

    // Whether "Edit..." opens the filter dialog with the list kind (the task editor)
    // or with the tag alone, which gives the dialog its general label (the profile editor).
    void SetEditGivesKind(bool givesKind) { m_editGivesKind = givesKind; }

    QLabel* lblHint = nullptr;
    QListWidget* lbFilters = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnEdit = nullptr;
    QPushButton* btnRemove = nullptr;

signals:
    // The user added an entry (editing or removing one does not count).
    void Added();

private:
    void AddEntry(const QString& tag);
    void EditClick();
    void UpdateButtons();

    QString m_kind;
    bool m_editGivesKind = true;
};

} // namespace hx
