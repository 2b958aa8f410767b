#include "HXStatusTest.h"

#include <QChart>
#include <QChartView>
#include <QLCDNumber>
#include <QLabel>
#include <QLineSeries>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QValueAxis>

#include "HXMonitorTestSupport.h"
#include "core/HXTask.h"
#include "engine/HXThreadDownload.h"
#include "core/ui/HXColors.h"
#include "monitor/ui/HXStatus.h"
#include "monitor/ui/HXStatusFigures.h"

namespace hx
{

namespace
{

QString CaptionOf(const QProgressBar& gauge)
{
    return gauge.text();
}

QValueAxis* VerticalAxisOf(QChartView& view, QLineSeries& series)
{
    const QList<QAbstractAxis*> axes = view.chart()->axes(Qt::Vertical, &series);
    return axes.isEmpty() ? nullptr : qobject_cast<QValueAxis*>(axes.first());
}

} // namespace

void HXStatusTest::FiguresAreTruncatedAsShown()
{
    QCOMPARE(KilobytesShown(1536), (TDecimalFigure{1, 5}));
    QCOMPARE(KilobytesShown(2047), (TDecimalFigure{1, 9}));
    QCOMPARE(KilobytesShown(1023), (TDecimalFigure{0, 9}));
    QCOMPARE(KilobytesShown(0), (TDecimalFigure{0, 0}));
    QCOMPARE(KilobytesShown(std::int64_t{2000000} * 1024).Whole, kMaxKilobytesShown);

    QCOMPARE(RateShown(500, 0), (TDecimalFigure{0, 0}));
    QCOMPARE(RateShown(10, 4), (TDecimalFigure{2, 50}));
    QCOMPARE(RateShown(1, 3), (TDecimalFigure{0, 33}));
    QCOMPARE(RateShown(2, 3), (TDecimalFigure{0, 66}));
    QCOMPARE(RateShown(5000, 2).Whole, kMaxRateShown);

    QCOMPARE(ElapsedSeconds(0), std::int64_t{0});
    QCOMPARE(ElapsedSeconds(61 * kOneSecond), std::int64_t{61});
    QCOMPARE(ElapsedDigits(3723), (TElapsedDigits{1, 2, 3}));
    QCOMPARE(ElapsedDigits(59), (TElapsedDigits{0, 0, 59}));

    QCOMPARE(GaugeCaption(12, 40), std::string("12/40 -> "));
    QCOMPARE(GaugeCaption(0, 0), std::string("0/0 -> "));
    QCOMPARE(GaugePercent(12, 40), 30);
    QCOMPARE(GaugePercent(5, 0), 0);

    QCOMPARE(SlotProgressText(37, "#"), std::string("###  37%"));
    QCOMPARE(SlotProgressText(9, "#"), std::string("  9%"));
    QCOMPARE(SlotProgressText(100, "#"), std::string("##########  100%"));
    QCOMPARE(SlotProgressText(-1, "#"), std::string("  ?"));
    QCOMPARE(SlotSizeText(0), std::string("?"));
    QCOMPARE(SlotSizeText(4096), std::string("4096"));

    QCOMPARE(ThemeColorRgb("$00663300"), (std::optional<TRgb>(TRgb{0x00, 0x33, 0x66})));
    QCOMPARE(ThemeColorRgb("$00BDCFCE"), (std::optional<TRgb>(TRgb{0xCE, 0xCF, 0xBD})));
    QVERIFY(!ThemeColorRgb("663300").has_value());
    QVERIFY(!ThemeColorRgb("$00GG3300").has_value());
}

void HXStatusTest::NewPanelShowsNoTask()
{
    test::TSandboxApp sandbox;
    TFormStatus panel(sandbox.App);
    QCOMPARE(panel.lblTaskName->text(), QStringLiteral("Harbex 2.60.120"));
    QCOMPARE(panel.StatusText(), QStringLiteral("Ready"));
    QVERIFY(panel.ProgressBar->isHidden());
    QVERIFY(!panel.btnRun->isEnabled());
    QVERIFY(!panel.btnStop->isEnabled());
    QCOMPARE(panel.btnRun->toolTip(), QStringLiteral("Run"));
    QCOMPARE(panel.btnStop->toolTip(), QStringLiteral("Stop"));
    QVERIFY(!panel.btnRun->icon().isNull());
    QVERIFY(panel.Task() == nullptr);

    // A task with no pages yet: every gauge 0/0, rate 0.
    auto task = std::make_shared<THXTask>(sandbox.App);
    task->Name = "Fresh";
    panel.AttachTask(task.get());
    for (QProgressBar* gauge : {panel.gaugePages, panel.gaugeRes, panel.gaugeErrors})
        QVERIFY2(CaptionOf(*gauge).startsWith(QStringLiteral("0/0 -> ")), qPrintable(CaptionOf(*gauge)));
    QCOMPARE(panel.ledRate->intValue(), 0);
    QCOMPARE(panel.ledRateDec->intValue(), 0);
    QCOMPARE(panel.lblTaskName->text(), QStringLiteral("Fresh"));
}

void HXStatusTest::AttachedTaskCountersAreShownInBatches()
{
    test::TSandboxApp sandbox;
    TFormStatus panel(sandbox.App);
    panel.show();
    auto task = std::make_shared<THXTask>(sandbox.App);
    task->Name = "Counted";
    panel.AttachTask(task.get());
    QCOMPARE(panel.Task(), task.get());

    task->PagesSaved = 12;
    task->TotalPages = 40;
    task->ResourcesSaved = 3;
    task->TotalResources = 9;
    task->PageErrors = 1;
    task->ResourceErrors = 2;
    task->TotalBytes = 10 * 1024 + 512;
    task->ElapsedTime = 4 * kOneSecond;
    for (int i = 0; i < 200; ++i)
        panel.RefreshCounters();
    // Marked only: the batch draws them.
    QVERIFY(CaptionOf(*panel.gaugePages).startsWith(QStringLiteral("0/0 -> ")));
    QTRY_COMPARE(CaptionOf(*panel.gaugePages), QStringLiteral("12/40 -> 30%"));
    QCOMPARE(CaptionOf(*panel.gaugeRes), QStringLiteral("3/9 -> 33%"));
    QCOMPARE(CaptionOf(*panel.gaugeErrors), QStringLiteral("3/49 -> 6%"));
    QCOMPARE(panel.gaugePages->value(), 12);
    QCOMPARE(panel.gaugePages->maximum(), 40);
    QCOMPARE(panel.ledTotalBytes->intValue(), 10);
    QCOMPARE(panel.ledTotalBytesDec->intValue(), 5);
    QCOMPARE(panel.ledRate->intValue(), 2);
    QCOMPARE(panel.ledRateDec->intValue(), 50);
    QCOMPARE(panel.ledSec->intValue(), 4);

    // The task's own progress report with no text refreshes the counters too.
    task->ElapsedTime = 3723 * kOneSecond;
    task->TotalBytes = 2047;
    task->OnProgress("", 0, 0);
    QTRY_COMPARE(panel.ledMin->intValue(), 2);
    QCOMPARE(panel.ledHour->intValue(), 1);
    QCOMPARE(panel.ledSec->intValue(), 3);
    QCOMPARE(panel.ledTotalBytes->intValue(), 1);
    QCOMPARE(panel.ledTotalBytesDec->intValue(), 9);
    QCOMPARE(panel.ledRate->intValue(), 0);
    QCOMPARE(panel.ledRateDec->intValue(), 0);

    panel.ResetDisplay();
    QVERIFY(CaptionOf(*panel.gaugePages).startsWith(QStringLiteral("0/0 -> ")));
    QCOMPARE(panel.ledHour->intValue(), 0);
    QCOMPARE(panel.ledTotalBytes->intValue(), 0);
    test::SaveScreenshot(panel, QStringLiteral("status-reset"));
}

void HXStatusTest::StatusLineAndTaskProgress()
{
    test::TSandboxApp sandbox;
    TFormStatus panel(sandbox.App);
    panel.resize(900, 120);
    panel.show();

    // A text per page would lay the panel out again each time: the line shows the
    // latest text with the next batch.
    for (int page = 0; page < 200; ++page)
        panel.ShowStatus("Parsing page " + std::to_string(page));
    QCOMPARE(panel.StatusText(), QStringLiteral("Parsing page 199"));
    QCOMPARE(panel.lblStatus->text(), QStringLiteral("Ready"));
    QTRY_COMPARE(panel.lblStatus->text(), QStringLiteral("Parsing page 199"));

    panel.ShowStatus("Opening Zip: site.zip", 3, 10);
    QCOMPARE(panel.StatusText(), QStringLiteral("Opening Zip: site.zip"));
    QTRY_VERIFY(panel.ProgressBar->isVisible());
    QCOMPARE(panel.ProgressBar->value(), 3);
    QCOMPARE(panel.ProgressBar->maximum(), 10);
    // The bar starts right of the text and stops short of the right edge.
    QVERIFY(panel.ProgressBar->x() >= panel.lblStatus->x() + 20);
    QVERIFY(panel.ProgressBar->mapTo(&panel, QPoint(panel.ProgressBar->width(), 0)).x() <= panel.width() - 30);
    panel.ShowStatus("Starting Task...", 10, 10);
    QCOMPARE(panel.StatusText(), QStringLiteral("Starting Task..."));
    QTRY_VERIFY(!panel.ProgressBar->isVisible());

    // Counts beyond what a bar holds still show the right proportion.
    panel.ShowStatus("Loading", std::int64_t{1} << 40, std::int64_t{1} << 41);
    QTRY_VERIFY(panel.ProgressBar->isVisible());
    QCOMPARE(panel.ProgressBar->value() * 2, panel.ProgressBar->maximum());

    auto task = std::make_shared<THXTask>(sandbox.App);
    panel.AttachTask(task.get());
    task->OnProgress("Reading queue...", 40, 100);
    QCOMPARE(panel.StatusText(), QStringLiteral("Reading queue..."));
    QTRY_COMPARE(panel.ProgressBar->value(), 40);
    QVERIFY(panel.ProgressBar->isVisible());
    test::SaveScreenshot(panel, QStringLiteral("status-progress"));
    task->OnProgress("Reading queue...", 100, 100);
    QCOMPARE(panel.StatusText(), QString());
    QTRY_VERIFY(!panel.ProgressBar->isVisible());

    // Another task takes over: the first one no longer reports to the panel.
    auto other = std::make_shared<THXTask>(sandbox.App);
    panel.AttachTask(other.get());
    QVERIFY(!task->OnProgress);
    QVERIFY(static_cast<bool>(other->OnProgress));
    panel.AttachTask(nullptr);
    QVERIFY(!other->OnProgress);
}

void HXStatusTest::ButtonsFollowTheTask()
{
    test::TSandboxApp sandbox;
    TFormStatus panel(sandbox.App);
    panel.show();
    QSignalSpy runs(&panel, &TFormStatus::RunClicked);
    QSignalSpy stops(&panel, &TFormStatus::StopClicked);

    QTest::mouseClick(panel.btnRun, Qt::LeftButton);
    QCOMPARE(runs.count(), 0);

    auto task = std::make_shared<THXTask>(sandbox.App);
    task->Name = "Buttons";
    panel.AttachTask(task.get());
    QTest::mouseClick(panel.btnRun, Qt::LeftButton);
    QCOMPARE(runs.count(), 1);

    // While the task runs Run is off and Stop stays on.
    panel.SetRunEnabled(false);
    QTest::mouseClick(panel.btnRun, Qt::LeftButton);
    QTest::mouseClick(panel.btnStop, Qt::LeftButton);
    QCOMPARE(runs.count(), 1);
    QCOMPARE(stops.count(), 1);
    panel.SetRunEnabled(true);
    QVERIFY(panel.btnRun->isEnabled());

    panel.AttachTask(nullptr);
    QCOMPARE(panel.lblTaskName->text(), QString());
    QVERIFY(!panel.btnRun->isEnabled());
    QVERIFY(!panel.btnStop->isEnabled());
    panel.SetRunEnabled(true);
    QVERIFY(!panel.btnRun->isEnabled());
}

void HXStatusTest::ChartTakesTheDispatcherSeries()
{
    test::TSandboxApp sandbox;
    sandbox.App.SetConnections(6);
    auto task = std::make_shared<THXTask>(sandbox.App);
    TThreadDownload dispatcher(sandbox.App);
    dispatcher.SetTask(task);

    TFormStatus panel(sandbox.App);
    panel.resize(900, 120);
    panel.show();
    QCOMPARE(panel.chartStats->chart()->title(), QStringLiteral("Transfer Rate"));
    QVERIFY(!panel.chartStats->chart()->legend()->isVisible());

    for (int second = 1; second <= 3; ++second)
    {
        task->TotalBytes = second * 5 * 1024;
        dispatcher.AddSample(second);
        panel.SetCharts(dispatcher.Charts());
    }
    QCOMPARE(panel.seriesTransferRate->count(), 0);
    QTRY_COMPARE(panel.seriesTransferRate->count(), 3);
    QCOMPARE(panel.seriesTotalKBytes->count(), 3);
    QCOMPARE(panel.seriesConnections->count(), 3);
    QCOMPARE(panel.seriesTransferRate->at(2), QPointF(3, 5));
    QCOMPARE(panel.seriesTotalKBytes->at(2), QPointF(3, 15));
    QCOMPARE(panel.seriesConnections->at(0), QPointF(1, 6));

    QValueAxis* connectionsAxis = VerticalAxisOf(*panel.chartStats, *panel.seriesConnections);
    QVERIFY(connectionsAxis != nullptr);
    QCOMPARE(connectionsAxis->alignment(), Qt::AlignRight);
    QCOMPARE(connectionsAxis->min(), 1.0);
    QCOMPARE(connectionsAxis->max(), 16.0);
    QValueAxis* rateAxis = VerticalAxisOf(*panel.chartStats, *panel.seriesTransferRate);
    QVERIFY(rateAxis != nullptr);
    QCOMPARE(rateAxis->alignment(), Qt::AlignLeft);
    QCOMPARE(rateAxis->titleText(), QStringLiteral("( KB/sec )"));
    QVERIFY(rateAxis->max() >= 5.0);

    // Later points extend the series; the earlier ones stay.
    for (int second = 4; second <= 30; ++second)
    {
        task->TotalBytes = second * 40 * 1024;
        dispatcher.AddSample(second);
        panel.SetCharts(dispatcher.Charts());
    }
    QTRY_COMPARE(panel.seriesTransferRate->count(), 30);
    QCOMPARE(panel.seriesTransferRate->at(0), QPointF(1, 5));
    QCOMPARE(panel.seriesTransferRate->at(29), QPointF(30, 40));
    const QList<QAbstractAxis*> timeAxes = panel.chartStats->chart()->axes(Qt::Horizontal, panel.seriesTransferRate);
    QCOMPARE(timeAxes.size(), 1);
    auto* timeAxis = qobject_cast<QValueAxis*>(timeAxes.first());
    QCOMPARE(timeAxis->titleText(), QStringLiteral("Time (secs)"));
    QVERIFY(timeAxis->max() >= 30.0);
    QVERIFY(rateAxis->max() >= 40.0);
    test::SaveScreenshot(panel, QStringLiteral("status-chart"));

    // A new run: its points replace the old ones.
    dispatcher.ClearCharts();
    task->TotalBytes = 1024;
    dispatcher.AddSample(1);
    panel.SetCharts(dispatcher.Charts());
    QTRY_COMPARE(panel.seriesTransferRate->count(), 1);
    QCOMPARE(panel.seriesTransferRate->at(0), QPointF(1, 1));

    panel.ResetDisplay();
    QCOMPARE(panel.seriesTransferRate->count(), 0);
    QCOMPARE(panel.seriesTotalKBytes->count(), 0);
    QCOMPARE(panel.seriesConnections->count(), 0);
}

void HXStatusTest::NothingIsClippedInTheStatusPanel()
{
    test::TSandboxApp sandbox;
    auto task = std::make_shared<THXTask>(sandbox.App);
    task->Name = "A task with a fairly long name for the panel";
    task->PagesSaved = 1234;
    task->TotalPages = 5678;
    task->TotalBytes = std::int64_t{900000} * 1024;
    task->ElapsedTime = 7384 * kOneSecond;
    for (const int width : {800, 1000})
    {
        TFormStatus panel(sandbox.App);
        panel.AttachTask(task.get());
        panel.ShowStatus("Resuming Task...", 1, 4);
        panel.resize(width, 120);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        const QString clipped = test::FirstClippedChild(panel);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
        QVERIFY(panel.chartStats->height() >= 80);
        test::SaveScreenshot(panel, QStringLiteral("status-%1").arg(width));
    }
}

} // namespace hx
