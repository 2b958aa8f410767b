#include "HXDownloaderTest.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QTableView>
#include <QTest>

#include "HXMonitorTestSupport.h"
#include "core/HXSettingsStore.h"
#include "monitor/ui/HXDownloader.h"
#include "monitor/ui/HXSocketListModel.h"
#include "net/HXSockets.h"

namespace hx
{

namespace
{

QString Cell(const QAbstractTableModel& model, int row, int column)
{
    return model.data(model.index(row, column)).toString();
}

QString Marks(int count)
{
    return QString::fromUtf8(kProgressMark).repeated(count);
}

// The setting as the settings file holds it, read by a store of its own.
int StoredInteger(THXApp& app, std::string_view name)
{
    THXSettingsStore reread(app.Store().FileName());
    return reread.ReadInteger(kSettingsKey, name, -1);
}

void VerifyNewRows(const QAbstractTableModel& model, int count)
{
    QCOMPARE(model.rowCount(), count);
    for (int row = 0; row < count; ++row)
    {
        QCOMPARE(Cell(model, row, TSocketListModel::colRetrieving), QStringLiteral("HTTP Socket: %1").arg(row + 1));
        QCOMPARE(Cell(model, row, TSocketListModel::colProgress), QString());
        QCOMPARE(Cell(model, row, TSocketListModel::colBytes), QString());
        QCOMPARE(Cell(model, row, TSocketListModel::colSize), QString());
        QCOMPARE(Cell(model, row, TSocketListModel::colStatus), QStringLiteral("Idle"));
    }
}

} // namespace

void HXDownloaderTest::ConnectionsSliderSetsSlotsAndSetting()
{
    test::TSandboxApp sandbox;
    sandbox.App.SetConnections(3);
    THXSlotList slotList;
    bool running = false;
    TFormDownloader tab(sandbox.App, slotList, [&running] { return running; });
    tab.show();
    QCOMPARE(tab.windowTitle(), QStringLiteral("Downloader"));
    QCOMPARE(tab.tbSockets->minimum(), 1);
    QCOMPARE(tab.tbSockets->maximum(), 16);
    QCOMPARE(tab.tbSockets->value(), 3);
    QCOMPARE(tab.lblSockets->text(), QStringLiteral("3"));
    QCOMPARE(slotList.Count(), 0);

    tab.SetSlotCount(tab.tbSockets->value());
    QCOMPARE(slotList.Count(), 3);
    QAbstractTableModel& model = *tab.Model();
    VerifyNewRows(model, 3);

    tab.tbSockets->setFocus();
    QTest::keyClick(tab.tbSockets, Qt::Key_Right);
    QCOMPARE(tab.tbSockets->value(), 4);
    QCOMPARE(tab.lblSockets->text(), QStringLiteral("4"));
    QCOMPARE(slotList.Count(), 4);
    VerifyNewRows(model, 4);
    QCOMPARE(sandbox.App.Connections(), 4);
    QCOMPARE(StoredInteger(sandbox.App, "Connections"), 4);

    // No task running: fewer connections end the surplus slots and their rows.
    QTest::keyClick(tab.tbSockets, Qt::Key_Left);
    QTest::keyClick(tab.tbSockets, Qt::Key_Left);
    QCOMPARE(slotList.Count(), 2);
    VerifyNewRows(model, 2);
    QCOMPARE(StoredInteger(sandbox.App, "Connections"), 2);

    // A task running: the rows stay until the dispatcher ends idle slots.
    running = true;
    QTest::keyClick(tab.tbSockets, Qt::Key_Left);
    QCOMPARE(tab.lblSockets->text(), QStringLiteral("1"));
    QCOMPARE(StoredInteger(sandbox.App, "Connections"), 1);
    QCOMPARE(slotList.Count(), 2);
    QCOMPARE(model.rowCount(), 2);
    slotList.Destroy(slotList.Slot(1));
    QCOMPARE(model.rowCount(), 1);

    // Loading the settings moves the slider without storing or making slots.
    sandbox.App.Store().WriteInteger(kSettingsKey, "Connections", 9);
    THXApp reloaded(sandbox.App.Environment());
    TFormDownloader second(reloaded, slotList, [] { return false; });
    QCOMPARE(second.tbSockets->value(), 9);
    QCOMPARE(second.lblSockets->text(), QStringLiteral("9"));
    QCOMPARE(slotList.Count(), 1);
}

void HXDownloaderTest::RowsShowTheSlotsShownFields()
{
    test::TSandboxApp sandbox;
    THXSlotList slotList;
    TFormDownloader tab(sandbox.App, slotList, [] { return false; });
    tab.resize(700, 300);
    tab.show();
    tab.SetSlotCount(3);
    QAbstractTableModel& model = *tab.Model();
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);

    THXSocket& first = *slotList.Slot(0);
    first.ShownURL = "http://127.0.0.1:8080/docs/index.html";
    first.ShownPercent = 37;
    first.ShownBytes = 3700;
    first.ShownSize = 10000;
    first.ShownStatus = "Receiving Data";
    first.Row()->Refresh(first);
    THXSocket& second = *slotList.Slot(1);
    second.ShownURL = "http://127.0.0.1:8080/big.zip";
    second.ShownPercent = -1;
    second.ShownBytes = 512;
    second.ShownSize = 0;
    second.ShownStatus = "Receiving Data";
    second.Row()->Refresh(second);
    first.Row()->Refresh(first);

    // One notice for every row changed within the batch, over the changed range.
    QCOMPARE(changes.count(), 0);
    QTRY_COMPARE(changes.count(), 1);
    QTest::qWait(150);
    QCOMPARE(changes.count(), 1);
    const QModelIndex topLeft = changes.first().at(0).toModelIndex();
    const QModelIndex bottomRight = changes.first().at(1).toModelIndex();
    QCOMPARE(topLeft.row(), 0);
    QCOMPARE(bottomRight.row(), 1);
    QCOMPARE(bottomRight.column(), TSocketListModel::colStatus);

    QCOMPARE(Cell(model, 0, TSocketListModel::colRetrieving), QStringLiteral("http://127.0.0.1:8080/docs/index.html"));
    QCOMPARE(Cell(model, 0, TSocketListModel::colProgress), Marks(3) + QStringLiteral("  37%"));
    QCOMPARE(Cell(model, 0, TSocketListModel::colBytes), QStringLiteral("3700"));
    QCOMPARE(Cell(model, 0, TSocketListModel::colSize), QStringLiteral("10000"));
    QCOMPARE(Cell(model, 0, TSocketListModel::colStatus), QStringLiteral("Receiving Data"));
    QCOMPARE(Cell(model, 1, TSocketListModel::colProgress), QStringLiteral("  ?"));
    QCOMPARE(Cell(model, 1, TSocketListModel::colSize), QStringLiteral("?"));
    QCOMPARE(Cell(model, 1, TSocketListModel::colBytes), QStringLiteral("512"));
    QCOMPARE(Cell(model, 2, TSocketListModel::colStatus), QStringLiteral("Idle"));
    test::SaveScreenshot(tab, QStringLiteral("downloader-rows"));

    const QHeaderView& header = *tab.lvSockets->horizontalHeader();
    const QStringList captions = {QStringLiteral("Retrieving"), QStringLiteral("Progress"), QStringLiteral("Bytes"),
                                  QStringLiteral("Size"), QStringLiteral("Status")};
    const int widths[] = {200, 100, 70, 70, 150};
    for (int column = 0; column < TSocketListModel::colCount; ++column)
    {
        QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), captions[column]);
        // Progress widens where the font needs it for ten marks and "100%".
        if (column == 1)
            QVERIFY(header.sectionSize(column) >= widths[column]);
        else
            QCOMPARE(header.sectionSize(column), widths[column]);
    }

    // Stopping all: as many fresh slots, fresh rows.
    tab.StopAll();
    QCOMPARE(slotList.Count(), 3);
    VerifyNewRows(model, 3);
}

void HXDownloaderTest::RowsFollowSlotsMadeAndEnded()
{
    test::TSandboxApp sandbox;
    THXSlotList slotList;
    slotList.SetSlotCount(2, false);
    {
        // Slots made before the tab get rows too.
        TFormDownloader tab(sandbox.App, slotList, [] { return false; });
        QAbstractTableModel& model = *tab.Model();
        VerifyNewRows(model, 2);
        QVERIFY(slotList.Slot(0)->Row() != nullptr);

        slotList.SetSlotCount(4, false);
        VerifyNewRows(model, 4);
        // A slot ended in the middle takes its own row; the others keep theirs.
        THXSocket& third = *slotList.Slot(2);
        third.ShownURL = "http://127.0.0.1/third";
        third.Row()->Refresh(third);
        slotList.Destroy(slotList.Slot(1));
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(Cell(model, 0, TSocketListModel::colRetrieving), QStringLiteral("HTTP Socket: 1"));
        QCOMPARE(Cell(model, 1, TSocketListModel::colRetrieving), QStringLiteral("http://127.0.0.1/third"));
        QCOMPARE(Cell(model, 2, TSocketListModel::colRetrieving), QStringLiteral("HTTP Socket: 4"));
    }
    // The tab is gone: the slots live on with rows that reach nothing.
    QVERIFY(!slotList.OnCreateRow);
    THXSocket& first = *slotList.Slot(0);
    first.ShownURL = "http://127.0.0.1/after";
    first.Row()->Refresh(first);
    slotList.SetSlotCount(5, false);
    QVERIFY(slotList.Slot(4)->Row() == nullptr);
    slotList.SetSlotCount(1, false);
    QCOMPARE(slotList.Count(), 1);
}

void HXDownloaderTest::PrioritySliderStoresPriority()
{
    test::TSandboxApp sandbox;
    sandbox.App.SetPriority(5);
    int priorityChanges = 0;
    sandbox.App.SetOnPriorityChange([&priorityChanges] { ++priorityChanges; });
    THXSlotList slotList;
    TFormDownloader tab(sandbox.App, slotList, [] { return false; });
    tab.show();
    QCOMPARE(tab.tbPriority->minimum(), 0);
    QCOMPARE(tab.tbPriority->maximum(), 10);
    QCOMPARE(tab.tbPriority->value(), 5);
    QCOMPARE(priorityChanges, 0);

    tab.tbPriority->setFocus();
    QTest::keyClick(tab.tbPriority, Qt::Key_Right);
    QCOMPARE(sandbox.App.Priority(), 6);
    QCOMPARE(StoredInteger(sandbox.App, "Priority"), 6);
    QCOMPARE(priorityChanges, 1);
    QTest::keyClick(tab.tbPriority, Qt::Key_Home);
    QCOMPARE(StoredInteger(sandbox.App, "Priority"), 0);
    QCOMPARE(priorityChanges, 2);

    QStringList captions;
    for (const QLabel* label : tab.findChildren<QLabel*>())
        captions << label->text();
    for (const char* caption : {"Connections:", "Download Priority:", "Pages", "Media files"})
        QVERIFY2(captions.contains(QLatin1String(caption)), caption);
}

void HXDownloaderTest::ConnectionsTabRendersItsRows()
{
    test::TSandboxApp sandbox;
    THXSlotList slotList;
    TFormDownloader tab(sandbox.App, slotList, [] { return false; });
    tab.resize(800, 260);
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    tab.SetSlotCount(4);
    for (int i = 0; i < 4; ++i)
    {
        THXSocket& slot = *slotList.Slot(i);
        slot.ShownURL = "http://127.0.0.1:8080/page" + std::to_string(i) + ".html";
        slot.ShownPercent = i * 33;
        slot.ShownBytes = i * 3300;
        slot.ShownSize = i == 3 ? 0 : 10000;
        slot.ShownStatus = "Receiving Data";
        slot.Row()->Refresh(slot);
    }
    QTRY_COMPARE(Cell(*tab.Model(), 3, TSocketListModel::colProgress), Marks(9) + QStringLiteral("  99%"));
    QTest::qWait(150);
    // Every row the list holds is drawn, one under another.
    const QTableView& view = *tab.lvSockets;
    for (int row = 0; row < 4; ++row)
        QVERIFY(view.visualRect(tab.Model()->index(row, 0)).bottom() < view.viewport()->height());
    const QString clipped = test::FirstClippedChild(tab);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
    test::SaveScreenshot(tab, QStringLiteral("downloader"));
}

} // namespace hx
