#pragma once

// The models of the main window's left pane: TZipTreeModel shows the open
// archives (TZipArchiveList) as the Zips tree, one root per archive with its
// folder and file nodes; TZipPagesModel lists the HTML pages of the selected
// archive for the Pages tree. The archive operations change the data; the models
// hear of every change through TZipTreeObserver and tell their views.
//
// Only an archive's root can be edited: the edited text goes to the rename
// handler, and the node keeps its text when that refuses.
//
// Threads: window thread only.

#include <functional>
#include <string>
#include <vector>

#include <QAbstractItemModel>
#include <QAbstractListModel>
#include <QIcon>

#include "shell/HXZipTree.h"

namespace hx
{

class TIconCache;

class TZipTreeModel final : public QAbstractItemModel, public TZipTreeObserver
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TZipTreeModel)

public:
    TZipTreeModel(TIconCache& icons, QObject* parent = nullptr);

    TZipArchiveList& Archives() { return m_archives; }
    // The node of an index (null for the invalid index).
    TZipTreeNode* Node(const QModelIndex& index) const;
    QModelIndex IndexOf(const TZipTreeNode& node) const;

    // Renames an archive from its root's edited text; true when the node takes the text.
    std::function<bool(TZipArchive& archive, const std::string& newName)> RenameArchive;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void NodeAboutToBeInserted(TZipTreeNode* parent, int row) override;
    void NodeInserted() override;
    void NodeAboutToBeRemoved(TZipTreeNode& node) override;
    void NodeRemoved() override;
    void NodeTextChanged(TZipTreeNode& node) override;

private:
    TIconCache& m_icons;
    TZipArchiveList m_archives;
};

// One page of the selected archive: the node text and the stored name.
struct TZipPage
{
    std::string Text;
    std::string StoredName;
};

class TZipPagesModel final : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TZipPagesModel)

public:
    TZipPagesModel(TIconCache& icons, QObject* parent = nullptr);

    void SetPages(std::vector<TZipPage> pages);
    const std::vector<TZipPage>& Pages() const { return m_pages; }
    std::string StoredName(const QModelIndex& index) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    TIconCache& m_icons;
    std::vector<TZipPage> m_pages;
};

} // namespace hx
