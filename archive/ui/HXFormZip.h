#pragma once

// TFormZip: the Zip contents list of the main window's archive view. It lists the
// entries of the selected archive or folder, one row per file: name with its
// file-type icon, size, packed size, ratio, modification date and time, and the
// folder inside the archive. Clicking a column header sorts by it; a second
// click reverses the order.
//
// The main window fills it while the Zip component lists (BeginListing, one
// AddEntry per listed file, EndListing), reads the totals for its status line,
// and acts on the selected entries (browse, delete, extract, drag out).
//
// TZipContentsModel holds the rows: one compact record per entry, the folders
// kept once each, so an archive of a hundred thousand entries stays small. Rows
// added during a listing reach the view in one piece when the listing ends.
//
// Threads: window thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <QAbstractTableModel>
#include <QWidget>

#include "archive/XcdZipD4.h"
#include "core/HXDateTime.h"

class QMimeData;
class QTreeView;

namespace hx
{

class TIconCache;

// Count and summed sizes of a set of rows.
struct TZipRowTotals
{
    int Count = 0;
    std::int64_t Size = 0;
    std::int64_t Packed = 0;
};

// The status line after a listing: "Total: 3 files  2048 / 1024 bytes (50%)";
// when the summed size is 0, "Total: " + the archive's entry count + " files  ".
std::string ZipTotalsText(const TZipRowTotals& listed, int archiveFileCount);
// The status line for the selected rows: "Selected 2 files  300 / 120 bytes", or
// "Selected 2 files " when their summed size is 0.
std::string ZipSelectionText(const TZipRowTotals& selected);

// Turns stored entry names into local files for a drag (extracting them), and
// returns their paths; an empty result starts no drag.
using TZipDragExtractor = std::function<std::vector<std::string>(const std::vector<std::string>& entries)>;

class TZipContentsModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TZipContentsModel)

public:
    enum TColumn
    {
        colName,
        colSize,
        colPacked,
        colRatio,
        colModified,
        colPath,
        colCount
    };

    TZipContentsModel(TIconCache& icons, QObject* parent = nullptr);

    // Empties the model; rows added afterwards are held back until EndListing.
    void BeginListing();
    // Appends a file entry (folder entries are skipped).
    void AddEntry(const TXcdFileStats& stats);
    // Shows the rows added since BeginListing, sorted first by the given column
    // when `column` is not negative.
    void EndListing(int column, Qt::SortOrder order);
    void Clear();

    // The stored name of a row: its folder followed by its name ("site/img/a.png").
    std::string StoredName(int row) const;
    // Count and sums of every row (those still held back by a listing included).
    TZipRowTotals Totals() const { return m_totals; }
    // Count and sums of the given rows.
    TZipRowTotals TotalsOf(const std::vector<int>& rows) const;

    void SetDragExtractor(TZipDragExtractor extractor);
    bool CanDrag() const { return static_cast<bool>(m_dragExtractor); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    QStringList mimeTypes() const override;
    // The dragged rows' entries extracted by the drag extractor, as file URLs.
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    // One listed file. The folder is an index into m_folders: an archive holds
    // far fewer folders than files.
    struct TRow
    {
        std::string Name;
        std::int64_t Size = 0;
        std::int64_t Packed = 0;
        TDateTime Modified = 0;
        std::uint32_t Folder = 0;
        std::int32_t Ratio = 0;
    };

    std::uint32_t FolderIndex(std::string_view folder);
    QString ModifiedText(TDateTime value) const;
    // The order of the rows sorted by a column (stable: equal keys keep their order).
    std::vector<std::uint32_t> SortedOrder(int column, Qt::SortOrder order) const;
    void ApplyOrder(const std::vector<std::uint32_t>& order);

    TIconCache& m_icons;
    std::vector<TRow> m_rows;
    // Rows shown to views; the rest are held back by a running listing.
    int m_shownRows = 0;
    TZipRowTotals m_totals;
    std::vector<std::string> m_folders;
    std::unordered_map<std::string, std::uint32_t> m_folderIndex;
    // The last folder looked up: a listing gives the files of a folder together.
    std::uint32_t m_lastFolder = 0;
    TZipDragExtractor m_dragExtractor;
};

class TFormZip final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFormZip)

public:
    explicit TFormZip(TIconCache& icons, QWidget* parent = nullptr);

    // Empties the list and freezes its drawing until EndListing.
    void BeginListing();
    // One listed entry; cheap, nothing is drawn until EndListing.
    void AddEntry(const TXcdFileStats& stats);
    // Shows the listed rows, sorted once by the header's sort column when `sort`.
    void EndListing(bool sort);
    void Clear();

    TZipRowTotals ListedTotals() const;
    TZipRowTotals SelectedTotals() const;
    // Stored names of the selected rows, in the order the list shows them.
    std::vector<std::string> SelectedEntryNames() const;
    // Stored name of the current row when it is selected, else of the first
    // selected row; empty when no row is selected.
    std::string CurrentEntryName() const;

    // Without an extractor, rows cannot be dragged out of the list.
    void SetDragExtractor(TZipDragExtractor extractor);
    // What a drag of the selected rows carries: their extracted files as file
    // URLs; null when nothing is selected, no extractor is set or it gave nothing.
    std::unique_ptr<QMimeData> CreateDragData() const;

    QTreeView* lvZip = nullptr;

signals:
    // A mouse press or a key press in the list: the main window refreshes its commands.
    void CommandsChanged();
    // A double click or Enter on a row.
    void OpenEntry(const QString& storedName);
    void SelectionChangedTotals();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<int> SelectedRows() const;

    TZipContentsModel* m_model = nullptr;
};

} // namespace hx
