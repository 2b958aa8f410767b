#pragma once

#include <QObject>

namespace hx
{

class HXFormZipTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void ListingShowsOneRowPerFileWithItsTexts();
    void HeaderClicksSortNumbersAndDatesThenReverse();
    void SelectedRowsGiveTotalsNamesAndCommands();
    void ArchiveOfEmptyFilesShowsOnlyTheCount();
    void DoubleClickAndEnterOpenTheEntry();
    void DragCarriesTheExtractedFilesAsFileUrls();
    void IconsAreLookedUpOncePerExtension();
};

} // namespace hx
