#include "shell/ui/HXZipTreeModel.h"

#include "archive/ui/HXIconCache.h"

namespace hx
{

// ---- TZipTreeModel ----

TZipTreeModel::TZipTreeModel(TIconCache& icons, QObject* parent)
    : QAbstractItemModel(parent)
    , m_icons(icons)
    , m_archives(this)
{
}

TZipTreeNode* TZipTreeModel::Node(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<TZipTreeNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TZipTreeModel::IndexOf(const TZipTreeNode& node) const
{
    const int row = node.IsRoot() ? m_archives.IndexOf(*node.Archive) : node.Row();
    return row < 0 ? QModelIndex() : createIndex(row, 0, const_cast<TZipTreeNode*>(&node));
}

QModelIndex TZipTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return static_cast<std::size_t>(row) < m_archives.Count()
                   ? createIndex(row, 0, &m_archives.At(static_cast<std::size_t>(row)).Root())
                   : QModelIndex();
    TZipTreeNode* node = Node(parent);
    if (static_cast<std::size_t>(row) >= node->Children.size())
        return {};
    return createIndex(row, 0, node->Children[static_cast<std::size_t>(row)].get());
}

QModelIndex TZipTreeModel::parent(const QModelIndex& child) const
{
    const TZipTreeNode* node = Node(child);
    return node && node->Parent ? IndexOf(*node->Parent) : QModelIndex();
}

int TZipTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return static_cast<int>(m_archives.Count());
    if (parent.column() != 0)
        return 0;
    return static_cast<int>(Node(parent)->Children.size());
}

int TZipTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant TZipTreeModel::data(const QModelIndex& index, int role) const
{
    const TZipTreeNode* node = Node(index);
    if (!node)
        return {};
    switch (role)
    {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return QString::fromStdString(node->Text);
    case Qt::ToolTipRole:
        return node->IsRoot() ? QString::fromStdString(node->Archive->Path()) : QVariant();
    case Qt::DecorationRole:
        if (node->IsRoot())
            return m_icons.ArchiveIcon();
        return node->IsFile ? m_icons.ForPath(node->Key) : m_icons.FolderIcon();
    default:
        return {};
    }
}

bool TZipTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    TZipTreeNode* node = Node(index);
    if (role != Qt::EditRole || !node || !node->IsRoot() || !RenameArchive)
        return false;
    const std::string name = value.toString().trimmed().toStdString();
    if (name == node->Text)
        return false;
    return RenameArchive(*node->Archive, name);
}

Qt::ItemFlags TZipTreeModel::flags(const QModelIndex& index) const
{
    const TZipTreeNode* node = Node(index);
    if (!node)
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (node->IsRoot())
        flags |= Qt::ItemIsEditable;
    return flags;
}

void TZipTreeModel::NodeAboutToBeInserted(TZipTreeNode* parent, int row)
{
    beginInsertRows(parent ? IndexOf(*parent) : QModelIndex(), row, row);
}

void TZipTreeModel::NodeInserted()
{
    endInsertRows();
}

void TZipTreeModel::NodeAboutToBeRemoved(TZipTreeNode& node)
{
    const QModelIndex index = IndexOf(node);
    beginRemoveRows(index.parent(), index.row(), index.row());
}

void TZipTreeModel::NodeRemoved()
{
    endRemoveRows();
}

void TZipTreeModel::NodeTextChanged(TZipTreeNode& node)
{
    const QModelIndex index = IndexOf(node);
    emit dataChanged(index, index);
}

// ---- TZipPagesModel ----

TZipPagesModel::TZipPagesModel(TIconCache& icons, QObject* parent)
    : QAbstractListModel(parent)
    , m_icons(icons)
{
}

void TZipPagesModel::SetPages(std::vector<TZipPage> pages)
{
    beginResetModel();
    m_pages = std::move(pages);
    endResetModel();
}

std::string TZipPagesModel::StoredName(const QModelIndex& index) const
{
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_pages.size())
        return {};
    return m_pages[static_cast<std::size_t>(index.row())].StoredName;
}

int TZipPagesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_pages.size());
}

QVariant TZipPagesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_pages.size())
        return {};
    const TZipPage& page = m_pages[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return QString::fromStdString(page.Text);
    if (role == Qt::DecorationRole)
        return m_icons.ForPath(page.StoredName);
    if (role == Qt::ToolTipRole)
        return QString::fromStdString(page.StoredName);
    return {};
}

} // namespace hx
