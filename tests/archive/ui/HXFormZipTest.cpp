// The Zip contents list as a person uses it: archives written by the real Zip
// component into a temporary folder, listed into the list, then clicked, sorted,
// selected, opened and dragged from.

#include "HXFormZipTest.h"

#include <QDir>
#include <QHeaderView>
#include <QLocale>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "archive/XcdZipD4.h"
#include "archive/ui/HXFormZip.h"
#include "archive/ui/HXIconCache.h"
#include "core/HXDateTime.h"
#include "support/HXSandbox.h"

namespace hx
{

namespace
{

using test::TTempFolder;

struct TSourceFile
{
    std::string Name;
    std::string Bytes;
    TDateTime Modified = EncodeDateTime(TDateParts{2003, 10, 5, 8, 9, 10});
};

std::string RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// Writes the files below the folder's "src/" and adds them, with their folders,
// to the folder's "test.zip"; returns the archive's path.
std::string MakeArchive(const TTempFolder& folder, const std::vector<TSourceFile>& files)
{
    const std::string archive = folder.Folder() + "test.zip";
    for (const TSourceFile& file : files)
    {
        const std::string path = folder.WriteFile("src/" + file.Name, file.Bytes);
        TXceedZip zip;
        zip.ZipFileName = archive;
        zip.BaseFolder = folder.Folder() + "src/";
        zip.UsePaths = true;
        zip.FixedEntryTime = file.Modified;
        zip.FilesToProcess = {path};
        const int result = zip.Add();
        if (result != xcd::Success)
            qFatal("adding %s failed with %d", file.Name.c_str(), result);
    }
    return archive;
}

// Lists the archive into the form as the main window does, and returns the
// entries the component reported.
std::vector<TXcdFileStats> ListInto(TFormZip& form, const std::string& archive)
{
    std::vector<TXcdFileStats> listed;
    TXceedZip zip;
    zip.ZipFileName = archive;
    zip.OnListing = [&form, &listed](const TXcdFileStats& stats)
    {
        listed.push_back(stats);
        form.AddEntry(stats);
    };
    form.BeginListing();
    const int result = zip.List("*.*");
    form.EndListing(true);
    if (result != xcd::Success)
        qFatal("listing failed with %d", result);
    return listed;
}

const TXcdFileStats& StatsOf(const std::vector<TXcdFileStats>& listed, const std::string& name)
{
    for (const TXcdFileStats& stats : listed)
    {
        if (stats.FileName == name)
            return stats;
    }
    qFatal("%s was not listed", name.c_str());
}

QString Cell(const TFormZip& form, int row, int column)
{
    return form.lvZip->model()->index(row, column).data().toString();
}

// The Name column from top to bottom.
QStringList Names(const TFormZip& form)
{
    QStringList names;
    for (int row = 0; row < form.lvZip->model()->rowCount(); ++row)
        names.append(Cell(form, row, TZipContentsModel::colName));
    return names;
}

int RowOf(const TFormZip& form, const QString& name)
{
    return static_cast<int>(Names(form).indexOf(name));
}

QPoint RowCenter(const TFormZip& form, const QString& name)
{
    const QModelIndex index = form.lvZip->model()->index(RowOf(form, name), TZipContentsModel::colName);
    return form.lvZip->visualRect(index).center();
}

void ClickRow(TFormZip& form, const QString& name, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mouseClick(form.lvZip->viewport(), Qt::LeftButton, modifiers, RowCenter(form, name));
}

void ClickHeader(TFormZip& form, int column)
{
    QHeaderView* header = form.lvZip->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

void Show(TFormZip& form)
{
    form.resize(900, 300);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
}

const std::string kPage(20000, 'h');

std::vector<TSourceFile> SiteFiles()
{
    return {{"index.html", std::string(1000, 'a')},
            {"site/page.html", kPage},
            {"site/img/photo.jpg", RandomBytes(3000, 7)}};
}

} // namespace

void HXFormZipTest::initTestCase()
{
    // Dates and times read as a person in the United States sees them.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void HXFormZipTest::ListingShowsOneRowPerFileWithItsTexts()
{
    TTempFolder folder;
    TIconCache icons;
    TFormZip form(icons);
    Show(form);
    const std::string archive = MakeArchive(folder, SiteFiles());

    // A folder entry between the files gives no row.
    std::vector<TXcdFileStats> listed;
    TXceedZip zip;
    zip.ZipFileName = archive;
    zip.OnListing = [&form, &listed](const TXcdFileStats& stats)
    {
        listed.push_back(stats);
        form.AddEntry(stats);
        if (stats.FileName == "site/page.html")
        {
            TXcdFileStats folderEntry;
            folderEntry.FileName = "site/img/";
            folderEntry.IsFolder = true;
            form.AddEntry(folderEntry);
        }
    };
    form.BeginListing();
    QCOMPARE(zip.List("*.*"), xcd::Success);
    // Nothing reaches the view before the listing ends.
    QCOMPARE(form.lvZip->model()->rowCount(), 0);
    form.EndListing(true);

    QAbstractItemModel* model = form.lvZip->model();
    QStringList headers;
    for (int column = 0; column < model->columnCount(); ++column)
        headers.append(model->headerData(column, Qt::Horizontal).toString());
    QCOMPARE(headers, QStringList({"Name", "Size", "Packed", "Ratio", "Modified", "Path"}));

    // Sorted once by name at the end of the listing.
    QCOMPARE(Names(form), QStringList({"index.html", "page.html", "photo.jpg"}));
    const TXcdFileStats& page = StatsOf(listed, "site/page.html");
    const TXcdFileStats& photo = StatsOf(listed, "site/img/photo.jpg");
    QCOMPARE(Cell(form, 1, TZipContentsModel::colSize), QStringLiteral("20000"));
    QCOMPARE(Cell(form, 1, TZipContentsModel::colPacked), QString::number(page.CompressedSize));
    QCOMPARE(Cell(form, 1, TZipContentsModel::colRatio), QString::number(page.CompressionRatio) + u'%');
    QCOMPARE(Cell(form, 1, TZipContentsModel::colModified), QStringLiteral("10/5/03 8:09:10 AM"));
    QCOMPARE(Cell(form, 1, TZipContentsModel::colPath), QStringLiteral("site/"));
    QCOMPARE(Cell(form, 2, TZipContentsModel::colSize), QStringLiteral("3000"));
    QCOMPARE(Cell(form, 2, TZipContentsModel::colPacked), QString::number(photo.CompressedSize));
    QCOMPARE(Cell(form, 2, TZipContentsModel::colRatio), QStringLiteral("0%"));
    QCOMPARE(Cell(form, 2, TZipContentsModel::colPath), QStringLiteral("site/img/"));
    QCOMPARE(Cell(form, 0, TZipContentsModel::colPath), QString());
    QVERIFY(page.CompressedSize < 1000);

    // Figures are right-aligned, texts left-aligned; every file has an icon.
    const auto alignment = [model](int column)
    { return model->index(0, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask; };
    QCOMPARE(alignment(TZipContentsModel::colSize), Qt::AlignRight);
    QCOMPARE(alignment(TZipContentsModel::colPacked), Qt::AlignRight);
    QCOMPARE(alignment(TZipContentsModel::colRatio), Qt::AlignRight);
    QCOMPARE(alignment(TZipContentsModel::colName), Qt::AlignLeft);
    QVERIFY(!model->index(2, TZipContentsModel::colName).data(Qt::DecorationRole).value<QIcon>().isNull());

    const TZipRowTotals totals = form.ListedTotals();
    QCOMPARE(totals.Count, 3);
    QCOMPARE(totals.Size, std::int64_t{24000});
    QCOMPARE(totals.Packed, StatsOf(listed, "index.html").CompressedSize + page.CompressedSize + photo.CompressedSize);

    // Listing again replaces the rows.
    ListInto(form, archive);
    QCOMPARE(Names(form), QStringList({"index.html", "page.html", "photo.jpg"}));
    QCOMPARE(form.ListedTotals().Count, 3);

    QDir().mkpath(QStringLiteral("screenshots"));
    QVERIFY(form.grab().save(QStringLiteral("screenshots/zip-contents.png")));
}

void HXFormZipTest::HeaderClicksSortNumbersAndDatesThenReverse()
{
    TTempFolder folder;
    TIconCache icons;
    TFormZip form(icons);
    Show(form);
    ListInto(form, MakeArchive(folder, {{"a.txt", std::string(9, 'a'), EncodeDateTime(TDateParts{2004, 1, 2})},
                                        {"b.txt", RandomBytes(100, 1), EncodeDateTime(TDateParts{2003, 12, 1})},
                                        {"C.txt", RandomBytes(20, 2), EncodeDateTime(TDateParts{2003, 12, 15})}}));
    // Names sort without regard to letter case.
    QCOMPARE(Names(form), QStringList({"a.txt", "b.txt", "C.txt"}));
    ClickRow(form, QStringLiteral("b.txt"));

    // 9, 20, 100 as numbers (as texts "100" would come first).
    ClickHeader(form, TZipContentsModel::colSize);
    QCOMPARE(Names(form), QStringList({"a.txt", "C.txt", "b.txt"}));
    QCOMPARE(form.lvZip->header()->sortIndicatorSection(), int{TZipContentsModel::colSize});
    QCOMPARE(form.lvZip->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    // The selection stays on its entry when the rows move.
    QCOMPARE(form.SelectedEntryNames(), std::vector<std::string>{"b.txt"});
    QCOMPARE(form.lvZip->selectionModel()->selectedRows().value(0).row(), 2);

    ClickHeader(form, TZipContentsModel::colSize);
    QCOMPARE(Names(form), QStringList({"b.txt", "C.txt", "a.txt"}));
    QCOMPARE(form.lvZip->header()->sortIndicatorOrder(), Qt::DescendingOrder);

    // A new column starts ascending; dates sort as dates ("1/2/04" would come first as text).
    ClickHeader(form, TZipContentsModel::colModified);
    QCOMPARE(Names(form), QStringList({"b.txt", "C.txt", "a.txt"}));
    QCOMPARE(form.lvZip->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    ClickHeader(form, TZipContentsModel::colModified);
    QCOMPARE(Names(form), QStringList({"a.txt", "C.txt", "b.txt"}));
    QCOMPARE(form.SelectedEntryNames(), std::vector<std::string>{"b.txt"});
}

void HXFormZipTest::SelectedRowsGiveTotalsNamesAndCommands()
{
    TTempFolder folder;
    TIconCache icons;
    TFormZip form(icons);
    Show(form);
    const auto listed = ListInto(form, MakeArchive(folder, {{"docs/one.txt", std::string(300, 'x')},
                                                            {"docs/two.txt", std::string()},
                                                            {"three.bin", RandomBytes(500, 3)}}));
    QCOMPARE(Names(form), QStringList({"one.txt", "three.bin", "two.txt"}));
    QCOMPARE(form.SelectedTotals().Count, 0);
    QCOMPARE(form.CurrentEntryName(), std::string());

    QSignalSpy commands(&form, &TFormZip::CommandsChanged);
    QSignalSpy selection(&form, &TFormZip::SelectionChangedTotals);
    ClickRow(form, QStringLiteral("three.bin"));
    ClickRow(form, QStringLiteral("one.txt"), Qt::ControlModifier);
    QTRY_COMPARE(commands.count(), 2);
    QVERIFY(selection.count() >= 2);

    const TZipRowTotals selected = form.SelectedTotals();
    QCOMPARE(selected.Count, 2);
    QCOMPARE(selected.Size, std::int64_t{800});
    QCOMPARE(selected.Packed,
             StatsOf(listed, "docs/one.txt").CompressedSize + StatsOf(listed, "three.bin").CompressedSize);
    // View order, not the order of the clicks.
    QCOMPARE(form.SelectedEntryNames(), (std::vector<std::string>{"docs/one.txt", "three.bin"}));
    QCOMPARE(form.CurrentEntryName(), std::string("docs/one.txt"));

    // The arrow key moves the selection to the next row and refreshes the commands.
    QTest::keyClick(form.lvZip, Qt::Key_Down);
    QTRY_COMPARE(commands.count(), 3);
    QCOMPARE(form.SelectedEntryNames(), std::vector<std::string>{"three.bin"});
    QTest::keyClick(form.lvZip, Qt::Key_Down);
    QCOMPARE(form.SelectedEntryNames(), std::vector<std::string>{"docs/two.txt"});
    QCOMPARE(form.SelectedTotals().Size, std::int64_t{0});
    QCOMPARE(ZipSelectionText(form.SelectedTotals()), std::string("Selected 1 files "));

    QCOMPARE(ZipSelectionText(TZipRowTotals{2, 300, 120}), std::string("Selected 2 files  300 / 120 bytes"));
}

void HXFormZipTest::ArchiveOfEmptyFilesShowsOnlyTheCount()
{
    TTempFolder folder;
    TIconCache icons;
    TFormZip form(icons);
    Show(form);
    const std::string archive =
        MakeArchive(folder, {{"docs/a.txt", std::string()}, {"docs/b.txt", std::string()}, {"c", std::string()}});
    ListInto(form, archive);

    QCOMPARE(form.lvZip->model()->rowCount(), 3);
    for (int row = 0; row < 3; ++row)
    {
        QCOMPARE(Cell(form, row, TZipContentsModel::colSize), QStringLiteral("0"));
        QCOMPARE(Cell(form, row, TZipContentsModel::colRatio), QStringLiteral("0%"));
    }
    const TZipRowTotals totals = form.ListedTotals();
    QCOMPARE(totals.Count, 3);
    QCOMPARE(totals.Size, std::int64_t{0});
    TXceedZip zip;
    zip.ZipFileName = archive;
    QCOMPARE(ZipTotalsText(totals, zip.Count()), std::string("Total: 3 files  "));

    // With a size, the totals carry the bytes and the percentage saved.
    QCOMPARE(ZipTotalsText(TZipRowTotals{2, 2048, 1024}, 9), std::string("Total: 2 files  2048 / 1024 bytes (50%)"));
    QCOMPARE(ZipTotalsText(TZipRowTotals{1, 3, 1}, 1), std::string("Total: 1 files  3 / 1 bytes (67%)"));

    form.Clear();
    QCOMPARE(form.lvZip->model()->rowCount(), 0);
    QCOMPARE(form.ListedTotals().Count, 0);
}

void HXFormZipTest::DoubleClickAndEnterOpenTheEntry()
{
    TTempFolder folder;
    TIconCache icons;
    TFormZip form(icons);
    Show(form);
    ListInto(form, MakeArchive(folder, SiteFiles()));
    QSignalSpy open(&form, &TFormZip::OpenEntry);

    // A double click is a click followed by the second press.
    const QPoint photo = RowCenter(form, QStringLiteral("photo.jpg"));
    QTest::mouseClick(form.lvZip->viewport(), Qt::LeftButton, {}, photo);
    QTest::mouseDClick(form.lvZip->viewport(), Qt::LeftButton, {}, photo);
    QCOMPARE(open.count(), 1);
    QCOMPARE(open.at(0).at(0).toString(), QStringLiteral("site/img/photo.jpg"));

    ClickRow(form, QStringLiteral("index.html"));
    QTest::keyClick(form.lvZip, Qt::Key_Return);
    QCOMPARE(open.count(), 2);
    QCOMPARE(open.at(1).at(0).toString(), QStringLiteral("index.html"));
}

void HXFormZipTest::DragCarriesTheExtractedFilesAsFileUrls()
{
    TTempFolder folder;
    TIconCache icons;
    TFormZip form(icons);
    Show(form);
    const std::vector<TSourceFile> files = SiteFiles();
    const std::string archive = MakeArchive(folder, files);
    ListInto(form, archive);
    ClickRow(form, QStringLiteral("page.html"));
    ClickRow(form, QStringLiteral("photo.jpg"), Qt::ControlModifier);

    // No extractor: nothing can be dragged.
    QVERIFY(!form.lvZip->dragEnabled());
    QVERIFY(form.CreateDragData() == nullptr);

    const std::string dropFolder = folder.Folder() + "drag/";
    std::vector<std::string> asked;
    form.SetDragExtractor(
        [&](const std::vector<std::string>& entries)
        {
            asked = entries;
            TXceedZip zip;
            zip.ZipFileName = archive;
            zip.ExtractDirectory = dropFolder;
            zip.UsePaths = true;
            zip.Overwrite = TXcdOverwrite::xowAlways;
            zip.FilesToProcess = entries;
            std::vector<std::string> paths;
            if (zip.Extract() != xcd::Success)
                return paths;
            for (const std::string& entry : entries)
                paths.push_back(dropFolder + entry);
            return paths;
        });
    QVERIFY(form.lvZip->dragEnabled());
    QCOMPARE(form.lvZip->model()->supportedDragActions(), Qt::DropActions(Qt::CopyAction));

    const std::unique_ptr<QMimeData> data = form.CreateDragData();
    QVERIFY(data != nullptr);
    QCOMPARE(asked, (std::vector<std::string>{"site/page.html", "site/img/photo.jpg"}));
    QVERIFY(data->hasFormat(QStringLiteral("text/uri-list")));
    const QList<QUrl> urls = data->urls();
    QCOMPARE(urls.size(), 2);
    for (int i = 0; i < 2; ++i)
    {
        QVERIFY(urls[i].isLocalFile());
        const std::string path = urls[i].toLocalFile().toStdString();
        QVERIFY(std::filesystem::is_regular_file(path));
        QCOMPARE(folder.ReadFile("drag/" + asked[static_cast<std::size_t>(i)]),
                 folder.ReadFile("src/" + asked[static_cast<std::size_t>(i)]));
    }
    QCOMPARE(folder.ReadFile("drag/site/page.html"), kPage);

    // An extraction that gives no files starts no drag.
    form.SetDragExtractor([](const std::vector<std::string>&) { return std::vector<std::string>{}; });
    QVERIFY(form.CreateDragData() == nullptr);
    form.SetDragExtractor({});
    QVERIFY(!form.lvZip->dragEnabled());
}

void HXFormZipTest::IconsAreLookedUpOncePerExtension()
{
    TIconCache icons;
    const QIcon page = icons.ForPath("site/Page.HTML");
    QVERIFY(!page.isNull());
    QCOMPARE(icons.ForPath("other.html").cacheKey(), page.cacheKey());
    QCOMPARE(icons.KnownExtensions(), std::size_t{1});

    // Names without an extension and folder paths share the folder icon.
    const QIcon folderIcon = icons.FolderIcon();
    QVERIFY(!folderIcon.isNull());
    QCOMPARE(icons.ForPath("README").cacheKey(), folderIcon.cacheKey());
    QCOMPARE(icons.ForPath("site/img/").cacheKey(), folderIcon.cacheKey());
    QCOMPARE(icons.ForPath("a.dir/file").cacheKey(), folderIcon.cacheKey());
    QVERIFY(!icons.ArchiveIcon().isNull());
    QCOMPARE(icons.KnownExtensions(), std::size_t{3});
    QCOMPARE(TIconCache::ExtensionKey("Site.v2/Photo.JPEG"), std::string(".jpeg"));
}

} // namespace hx
