#include "archive/ui/HXFormZip.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>

#include <QCoreApplication>
#include <QDate>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMimeData>
#include <QTime>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "archive/ui/HXIconCache.h"
#include "core/ui/HXQtText.h"

namespace hx
{

namespace
{

// Letter case is ignored first (as a person reads the list); the bytes decide
// between names that differ only in case.
int CompareNames(std::string_view a, std::string_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i)
    {
        auto fold = [](char c) { return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); };
        const unsigned char ca = fold(a[i]);
        const unsigned char cb = fold(b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

// The locale's long time format without its time-zone field: the list shows
// the time stored in the archive, which carries no zone.
QString LongTimeFormat(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i)
    {
        const QChar c = format[i];
        if (c == u'\'')
            quoted = !quoted;
        if (quoted || c != u't')
        {
            result += c;
            continue;
        }
        while (i + 1 < format.size() && format[i + 1] == u't')
            ++i;
        // The blank before the zone goes with it; a zone in front loses the blank after it.
        if (!result.isEmpty() && result.back().isSpace())
            result.chop(1);
        else if (result.isEmpty() && i + 1 < format.size() && format[i + 1].isSpace())
            ++i;
    }
    return result.trimmed();
}

std::string PercentSaved(std::int64_t size, std::int64_t packed)
{
    const double saved = 100.0 - static_cast<double>(packed) * 100.0 / static_cast<double>(size);
    return std::to_string(std::llround(saved));
}

} // namespace

std::string ZipTotalsText(const TZipRowTotals& listed, int archiveFileCount)
{
    if (listed.Size == 0)
        return Std(QCoreApplication::translate("hx::TFormZip", "Total: %1 files  ").arg(archiveFileCount));
    return Std(QCoreApplication::translate("hx::TFormZip", "Total: %1 files  %2 / %3 bytes (%4%)")
                   .arg(listed.Count)
                   .arg(listed.Size)
                   .arg(listed.Packed)
                   .arg(Text(PercentSaved(listed.Size, listed.Packed))));
}

std::string ZipSelectionText(const TZipRowTotals& selected)
{
    if (selected.Size == 0)
        return Std(QCoreApplication::translate("hx::TFormZip", "Selected %1 files ").arg(selected.Count));
    return Std(QCoreApplication::translate("hx::TFormZip", "Selected %1 files  %2 / %3 bytes")
                   .arg(selected.Count)
                   .arg(selected.Size)
                   .arg(selected.Packed));
}

// ---- TZipContentsModel ----

TZipContentsModel::TZipContentsModel(TIconCache& icons, QObject* parent)
    : QAbstractTableModel(parent)
    , m_icons(icons)
{
    Clear();
}

void TZipContentsModel::Clear()
{
    beginResetModel();
    m_rows = {};
    m_shownRows = 0;
    m_totals = {};
    m_folders = {std::string()};
    m_folderIndex = {{std::string(), 0}};
    m_lastFolder = 0;
    endResetModel();
}

void TZipContentsModel::BeginListing()
{
    Clear();
}

std::uint32_t TZipContentsModel::FolderIndex(std::string_view folder)
{
    if (m_folders[m_lastFolder] == folder)
        return m_lastFolder;
    std::string key(folder);
    const auto found = m_folderIndex.find(key);
    if (found != m_folderIndex.end())
        return m_lastFolder = found->second;
    const auto index = static_cast<std::uint32_t>(m_folders.size());
    m_folders.push_back(key);
    m_folderIndex.emplace(std::move(key), index);
    return m_lastFolder = index;
}

void TZipContentsModel::AddEntry(const TXcdFileStats& stats)
{
    if (stats.IsFolder)
        return;
    const std::string_view stored = stats.FileName;
    const std::size_t slash = stored.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    TRow row;
    row.Name = std::string(stored.substr(nameStart));
    row.Folder = FolderIndex(stored.substr(0, nameStart));
    row.Size = stats.Size;
    row.Packed = stats.CompressedSize;
    row.Ratio = stats.CompressionRatio;
    row.Modified = stats.DateTime;
    m_rows.push_back(std::move(row));
    ++m_totals.Count;
    m_totals.Size += stats.Size;
    m_totals.Packed += stats.CompressedSize;
}

void TZipContentsModel::EndListing(int column, Qt::SortOrder order)
{
    if (m_shownRows == static_cast<int>(m_rows.size()))
        return;
    beginResetModel();
    if (column >= 0 && column < colCount)
        ApplyOrder(SortedOrder(column, order));
    m_rows.shrink_to_fit();
    m_shownRows = static_cast<int>(m_rows.size());
    endResetModel();
}

std::string TZipContentsModel::StoredName(int row) const
{
    if (row < 0 || row >= m_shownRows)
        return {};
    const TRow& entry = m_rows[static_cast<std::size_t>(row)];
    return m_folders[entry.Folder] + entry.Name;
}

TZipRowTotals TZipContentsModel::TotalsOf(const std::vector<int>& rows) const
{
    TZipRowTotals totals;
    for (const int row : rows)
    {
        if (row < 0 || row >= m_shownRows)
            continue;
        const TRow& entry = m_rows[static_cast<std::size_t>(row)];
        ++totals.Count;
        totals.Size += entry.Size;
        totals.Packed += entry.Packed;
    }
    return totals;
}

void TZipContentsModel::SetDragExtractor(TZipDragExtractor extractor)
{
    m_dragExtractor = std::move(extractor);
}

int TZipContentsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_shownRows;
}

int TZipContentsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : colCount;
}

QString TZipContentsModel::ModifiedText(TDateTime value) const
{
    const TDateParts parts = DecodeDateTime(value);
    const QLocale locale;
    return locale.toString(QDate(parts.year, parts.month, parts.day), QLocale::ShortFormat) + u' ' +
           locale.toString(QTime(parts.hour, parts.minute, parts.second), LongTimeFormat(locale));
}

QVariant TZipContentsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_shownRows)
        return {};
    const TRow& row = m_rows[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    if (role == Qt::TextAlignmentRole)
    {
        const bool figure = column == colSize || column == colPacked || column == colRatio;
        return QVariant::fromValue(Qt::AlignVCenter | (figure ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role == Qt::DecorationRole && column == colName)
        return m_icons.ForPath(row.Name);
    if (role != Qt::DisplayRole)
        return {};
    switch (column)
    {
    case colName:
        return QString::fromStdString(row.Name);
    case colSize:
        return QString::number(row.Size);
    case colPacked:
        return QString::number(row.Packed);
    case colRatio:
        return QString::number(row.Ratio) + u'%';
    case colModified:
        return ModifiedText(row.Modified);
    case colPath:
        return QString::fromStdString(m_folders[row.Folder]);
    default:
        return {};
    }
}

QVariant TZipContentsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::InitialSortOrderRole)
        return QVariant::fromValue(static_cast<int>(Qt::AscendingOrder));
    if (role == Qt::TextAlignmentRole)
    {
        const bool figure = section == colSize || section == colPacked || section == colRatio;
        return QVariant::fromValue(Qt::AlignVCenter | (figure ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (section)
    {
    case colName:
        return tr("Name");
    case colSize:
        return tr("Size");
    case colPacked:
        return tr("Packed");
    case colRatio:
        return tr("Ratio");
    case colModified:
        return tr("Modified");
    case colPath:
        return tr("Path");
    default:
        return {};
    }
}

Qt::ItemFlags TZipContentsModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (CanDrag())
        flags |= Qt::ItemIsDragEnabled;
    return flags;
}

std::vector<std::uint32_t> TZipContentsModel::SortedOrder(int column, Qt::SortOrder order) const
{
    std::vector<std::uint32_t> indexes(m_rows.size());
    std::iota(indexes.begin(), indexes.end(), 0u);
    // Folders are compared once here; rows then compare their folders' ranks.
    std::vector<std::uint32_t> folderRank;
    if (column == colPath)
    {
        std::vector<std::uint32_t> folders(m_folders.size());
        std::iota(folders.begin(), folders.end(), 0u);
        std::sort(folders.begin(), folders.end(),
                  [this](std::uint32_t a, std::uint32_t b) { return CompareNames(m_folders[a], m_folders[b]) < 0; });
        folderRank.resize(folders.size());
        for (std::uint32_t rank = 0; rank < folders.size(); ++rank)
            folderRank[folders[rank]] = rank;
    }
    // Negative when row a goes before row b in ascending order.
    auto compare = [this, column, &folderRank](const TRow& a, const TRow& b) -> int
    {
        auto three = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
        switch (column)
        {
        case colSize:
            return three(a.Size, b.Size);
        case colPacked:
            return three(a.Packed, b.Packed);
        case colRatio:
            return three(a.Ratio, b.Ratio);
        case colModified:
            return three(a.Modified, b.Modified);
        case colPath:
            if (a.Folder != b.Folder)
                return three(folderRank[a.Folder], folderRank[b.Folder]);
            return CompareNames(a.Name, b.Name);
        default:
            return CompareNames(a.Name, b.Name);
        }
    };
    const bool descending = order == Qt::DescendingOrder;
    std::stable_sort(indexes.begin(), indexes.end(),
                     [this, &compare, descending](std::uint32_t a, std::uint32_t b)
                     {
                         const int result = compare(m_rows[a], m_rows[b]);
                         return descending ? result > 0 : result < 0;
                     });
    return indexes;
}

void TZipContentsModel::ApplyOrder(const std::vector<std::uint32_t>& order)
{
    std::vector<TRow> sorted;
    sorted.reserve(m_rows.size());
    for (const std::uint32_t from : order)
        sorted.push_back(std::move(m_rows[from]));
    m_rows = std::move(sorted);
}

void TZipContentsModel::sort(int column, Qt::SortOrder order)
{
    // A sort asked for while a listing runs happens when the listing ends.
    if (column < 0 || column >= colCount || m_shownRows != static_cast<int>(m_rows.size()) || m_rows.empty())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const std::vector<std::uint32_t> sorted = SortedOrder(column, order);
    std::vector<int> newRowOf(sorted.size());
    for (std::size_t to = 0; to < sorted.size(); ++to)
        newRowOf[sorted[to]] = static_cast<int>(to);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(this->index(newRowOf[static_cast<std::size_t>(index.row())], index.column()));
    ApplyOrder(sorted);
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QStringList TZipContentsModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData* TZipContentsModel::mimeData(const QModelIndexList& indexes) const
{
    if (!m_dragExtractor)
        return nullptr;
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(indexes.size()));
    for (const QModelIndex& index : indexes)
    {
        if (index.isValid() && index.row() < m_shownRows)
            rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty())
        return nullptr;
    std::vector<std::string> entries;
    entries.reserve(rows.size());
    for (const int row : rows)
        entries.push_back(StoredName(row));
    const std::vector<std::string> files = m_dragExtractor(entries);
    if (files.empty())
        return nullptr;
    QList<QUrl> urls;
    urls.reserve(static_cast<qsizetype>(files.size()));
    for (const std::string& file : files)
        urls.append(QUrl::fromLocalFile(QString::fromStdString(file)));
    auto mime = std::make_unique<QMimeData>();
    mime->setUrls(urls);
    // Qt's drag takes ownership of the data.
    return mime.release();
}

Qt::DropActions TZipContentsModel::supportedDragActions() const
{
    return Qt::CopyAction;
}

// ---- TFormZip ----

TFormZip::TFormZip(TIconCache& icons, QWidget* parent)
    : QWidget(parent)
{
    m_model = new TZipContentsModel(icons, this);
    lvZip = new QTreeView(this);
    lvZip->setObjectName(QStringLiteral("lvZip"));
    lvZip->setRootIsDecorated(false);
    lvZip->setItemsExpandable(false);
    lvZip->setUniformRowHeights(true);
    lvZip->setAllColumnsShowFocus(true);
    lvZip->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvZip->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvZip->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvZip->setDragDropMode(QAbstractItemView::DragOnly);
    lvZip->setDefaultDropAction(Qt::CopyAction);
    lvZip->setDragEnabled(false);
    lvZip->setModel(m_model);

    QHeaderView* header = lvZip->header();
    header->setSortIndicator(TZipContentsModel::colName, Qt::AscendingOrder);
    header->setSortIndicatorShown(true);
    header->setSectionsClickable(true);
    header->setStretchLastSection(true);
    // Fixed widths: sizing to the contents would read every row of a big archive.
    const int widths[] = {220, 80, 80, 56, 150, 200};
    for (int column = 0; column < TZipContentsModel::colCount; ++column)
        header->resizeSection(column, widths[column]);
    lvZip->setSortingEnabled(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lvZip);

    lvZip->installEventFilter(this);
    lvZip->viewport()->installEventFilter(this);
    connect(lvZip, &QTreeView::doubleClicked, this,
            [this](const QModelIndex& index)
            {
                if (index.isValid())
                    emit OpenEntry(QString::fromStdString(m_model->StoredName(index.row())));
            });
    connect(lvZip->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TFormZip::SelectionChangedTotals);
}

bool TFormZip::eventFilter(QObject* watched, QEvent* event)
{
    const bool pressInList = (watched == lvZip->viewport() && event->type() == QEvent::MouseButtonPress) ||
                             (watched == lvZip && event->type() == QEvent::KeyPress);
    if (!pressInList)
        return QWidget::eventFilter(watched, event);
    // Queued: the main window reads the selection and current row after the list has taken the press.
    QMetaObject::invokeMethod(this, &TFormZip::CommandsChanged, Qt::QueuedConnection);
    if (event->type() == QEvent::KeyPress)
    {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && lvZip->currentIndex().isValid())
        {
            emit OpenEntry(QString::fromStdString(m_model->StoredName(lvZip->currentIndex().row())));
            return true;
        }
    }
    return false;
}

void TFormZip::BeginListing()
{
    lvZip->setUpdatesEnabled(false);
    m_model->BeginListing();
}

void TFormZip::AddEntry(const TXcdFileStats& stats)
{
    m_model->AddEntry(stats);
}

void TFormZip::EndListing(bool sort)
{
    const QHeaderView* header = lvZip->header();
    m_model->EndListing(sort ? header->sortIndicatorSection() : -1, header->sortIndicatorOrder());
    lvZip->setUpdatesEnabled(true);
}

void TFormZip::Clear()
{
    m_model->Clear();
    lvZip->setUpdatesEnabled(true);
}

TZipRowTotals TFormZip::ListedTotals() const
{
    return m_model->Totals();
}

std::vector<int> TFormZip::SelectedRows() const
{
    std::vector<int> rows;
    const QModelIndexList selected = lvZip->selectionModel()->selectedRows();
    rows.reserve(static_cast<std::size_t>(selected.size()));
    for (const QModelIndex& index : selected)
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

TZipRowTotals TFormZip::SelectedTotals() const
{
    return m_model->TotalsOf(SelectedRows());
}

std::vector<std::string> TFormZip::SelectedEntryNames() const
{
    std::vector<std::string> names;
    for (const int row : SelectedRows())
        names.push_back(m_model->StoredName(row));
    return names;
}

std::string TFormZip::CurrentEntryName() const
{
    const QModelIndex current = lvZip->currentIndex();
    if (current.isValid() && lvZip->selectionModel()->isRowSelected(current.row(), QModelIndex()))
        return m_model->StoredName(current.row());
    const std::vector<int> rows = SelectedRows();
    return rows.empty() ? std::string() : m_model->StoredName(rows.front());
}

void TFormZip::SetDragExtractor(TZipDragExtractor extractor)
{
    m_model->SetDragExtractor(std::move(extractor));
    lvZip->setDragEnabled(m_model->CanDrag());
}

std::unique_ptr<QMimeData> TFormZip::CreateDragData() const
{
    QModelIndexList indexes;
    for (const int row : SelectedRows())
        indexes.append(m_model->index(row, TZipContentsModel::colName));
    if (indexes.isEmpty())
        return nullptr;
    return std::unique_ptr<QMimeData>(m_model->mimeData(indexes));
}

} // namespace hx
