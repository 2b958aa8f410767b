#include "monitor/ui/HXStatus.h"

#include <algorithm>
#include <climits>

#include <QChart>
#include <QChartView>
#include <QFile>
#include <QGraphicsLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLCDNumber>
#include <QLabel>
#include <QLineSeries>
#include <QMetaObject>
#include <QPainter>
#include <QProgressBar>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValueAxis>

#include "core/HXApp.h"
#include "core/HXTask.h"
#include "core/HXVersion.h"
#include "core/ui/HXColors.h"
#include "core/ui/HXQtText.h"
#include "monitor/ui/HXStatusFigures.h"
#include "core/HXSkins.h"
#include "core/ui/HXSkinLook.h"

namespace hx
{

namespace
{

// Redraws of the counters and the chart are gathered for this long.
constexpr int kBatchMilliseconds = 100;
// The status line's progress bar starts this far right of the text and ends this far
// before the panel's right edge.
constexpr int kBarGap = 20;
constexpr int kBarRightMargin = 30;
// Every row of the figures (buttons, gauges, digit displays) is this high.
constexpr int kRowHeight = 20;
// The connections axis: the number of connections a download runs with.
constexpr double kFewestConnections = 1;
constexpr double kMostConnections = 16;
// The time axis spans at least this many seconds, so the first points are not
// stretched over the whole chart.
constexpr double kLeastTimeSpan = 10;

QString TwoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// A progress bar takes int positions: larger counts are halved together until they fit.
std::pair<int, int> BarRange(std::int64_t position, std::int64_t maximum)
{
    maximum = std::max<std::int64_t>(maximum, 0);
    position = std::clamp<std::int64_t>(position, 0, maximum);
    while (maximum > INT_MAX)
    {
        maximum >>= 1;
        position >>= 1;
    }
    return {static_cast<int>(position), static_cast<int>(maximum)};
}

void ShowGauge(QProgressBar& gauge, std::int64_t progress, std::int64_t maximum)
{
    // A range of 0 to 0 would make the bar a busy indicator: keep at least 1.
    const auto [value, top] = BarRange(progress, maximum);
    gauge.setRange(0, std::max(top, 1));
    gauge.setValue(value);
    gauge.setFormat(Text(GaugeCaption(progress, maximum)) + QString::number(GaugePercent(progress, maximum)) +
                    QLatin1Char('%'));
}

QLCDNumber* CreateDigits(QWidget* parent, int digitCount)
{
    auto* digits = new QLCDNumber(digitCount, parent);
    digits->setSegmentStyle(QLCDNumber::Flat);
    digits->setFrameShape(QFrame::NoFrame);
    digits->setFixedHeight(kRowHeight);
    digits->setFixedWidth(10 + 11 * digitCount);
    digits->setAutoFillBackground(true);
    return digits;
}

QLabel* CreateCaption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFixedHeight(kRowHeight);
    return label;
}

QProgressBar* CreateGauge(QWidget* parent)
{
    auto* gauge = new QProgressBar(parent);
    gauge->setFixedHeight(kRowHeight - 2);
    gauge->setMinimumWidth(150);
    gauge->setAlignment(Qt::AlignCenter);
    gauge->setAutoFillBackground(true);
    return gauge;
}

QColor ThemeColor(const THXApp& app, std::size_t index, QColor fallback)
{
    const auto rgb = ThemeColorRgb(app.ThemeColors().at(index));
    return rgb ? QColor(rgb->Red, rgb->Green, rgb->Blue) : fallback;
}

// Replaces the series' points with the given ones or, when the series shows a prefix
// of them, appends the rest.
void FillSeries(QLineSeries& series, const std::vector<TChartPoint>& points, bool replace)
{
    const auto shown = static_cast<std::size_t>(series.count());
    if (replace || shown > points.size())
    {
        QList<QPointF> all;
        all.reserve(static_cast<qsizetype>(points.size()));
        for (const TChartPoint& point : points)
            all.append(QPointF(point.X, point.Y));
        series.replace(all);
        return;
    }
    if (shown == points.size())
        return;
    QList<QPointF> added;
    added.reserve(static_cast<qsizetype>(points.size() - shown));
    for (std::size_t i = shown; i < points.size(); ++i)
        added.append(QPointF(points[i].X, points[i].Y));
    series.append(added);
}

// Takes the dispatcher's series into ours: only the points beyond what we hold are
// copied. False when ours is not a prefix of theirs (a new run): then all are taken.
bool MergePoints(std::vector<TChartPoint>& ours, const std::vector<TChartPoint>& theirs)
{
    const bool prefix = theirs.size() >= ours.size() && (ours.empty() || theirs[ours.size() - 1] == ours.back());
    if (!prefix)
    {
        ours = theirs;
        return false;
    }
    ours.insert(ours.end(), theirs.begin() + static_cast<std::ptrdiff_t>(ours.size()), theirs.end());
    return true;
}

} // namespace

TFormStatus::TFormStatus(THXApp& app, QWidget* parent)
    : QWidget(parent)
    , m_app(app)
{
    m_batchTimer = new QTimer(this);
    m_batchTimer->setSingleShot(true);
    m_batchTimer->setInterval(kBatchMilliseconds);
    connect(m_batchTimer, &QTimer::timeout, this, &TFormStatus::ApplyBatch);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(4, 2, 4, 1);
    body->setSpacing(8);
    body->addWidget(CreateFigures());
    body->addWidget(CreateChart(), 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(body, 1);
    layout->addWidget(CreateStatusLine());

    LoadButtonImages();
    AttachTask(nullptr);
    lblTaskName->setText(QStringLiteral("Harbex " HX_VERSION));
    ShowZeroes();
    m_pendingStatus.Text = tr("Ready");
    ShowStatusLine();
    ApplyColors();
}

TFormStatus::~TFormStatus()
{
    // The task outlives the panel: it must not call into a destroyed window.
    if (THXTask* task = LiveTask())
        task->OnProgress = nullptr;
}

QWidget* TFormStatus::CreateFigures()
{
    auto* figures = new QWidget(this);
    auto* grid = new QGridLayout(figures);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);

    btnRun = new QToolButton(figures);
    btnRun->setToolTip(tr("Run"));
    btnRun->setText(tr("Run"));
    btnStop = new QToolButton(figures);
    btnStop->setToolTip(tr("Stop"));
    btnStop->setText(tr("Stop"));
    for (QToolButton* button : {btnRun, btnStop})
    {
        button->setIconSize(QSize(16, 16));
        button->setAutoRaise(true);
    }
    connect(btnRun, &QToolButton::clicked, this, &TFormStatus::RunClicked);
    connect(btnStop, &QToolButton::clicked, this, &TFormStatus::StopClicked);

    lblTaskName = new QLabel(figures);
    QFont nameFont = lblTaskName->font();
    nameFont.setBold(true);
    lblTaskName->setFont(nameFont);
    lblTaskName->setMinimumWidth(1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    buttons->addWidget(btnRun);
    buttons->addWidget(btnStop);
    buttons->addSpacing(6);
    buttons->addWidget(lblTaskName, 1);
    grid->addLayout(buttons, 0, 0, 1, 3);

    gaugePages = CreateGauge(figures);
    gaugeRes = CreateGauge(figures);
    gaugeErrors = CreateGauge(figures);
    grid->addWidget(CreateCaption(tr("Pages:"), figures), 1, 0);
    grid->addWidget(gaugePages, 1, 1);
    grid->addWidget(CreateCaption(tr("Media Files:"), figures), 2, 0);
    grid->addWidget(gaugeRes, 2, 1);
    grid->addWidget(CreateCaption(tr("Errors:"), figures), 3, 0);
    grid->addWidget(gaugeErrors, 3, 1);

    ledHour = CreateDigits(figures, 2);
    ledMin = CreateDigits(figures, 2);
    ledSec = CreateDigits(figures, 2);
    ledTotalBytes = CreateDigits(figures, 6);
    ledTotalBytesDec = CreateDigits(figures, 1);
    ledRate = CreateDigits(figures, 3);
    ledRateDec = CreateDigits(figures, 2);

    auto* clock = new QHBoxLayout;
    clock->setSpacing(1);
    clock->addWidget(ledHour);
    clock->addWidget(CreateCaption(QStringLiteral(":"), figures));
    clock->addWidget(ledMin);
    clock->addWidget(CreateCaption(QStringLiteral(":"), figures));
    clock->addWidget(ledSec);
    clock->addStretch(1);
    grid->addLayout(clock, 1, 2);

    auto* kilobytes = new QHBoxLayout;
    kilobytes->setSpacing(1);
    kilobytes->addWidget(ledTotalBytes);
    kilobytes->addWidget(CreateCaption(QStringLiteral("."), figures));
    kilobytes->addWidget(ledTotalBytesDec);
    kilobytes->addSpacing(3);
    kilobytes->addWidget(CreateCaption(tr("Kb"), figures));
    kilobytes->addStretch(1);
    grid->addLayout(kilobytes, 2, 2);

    auto* rate = new QHBoxLayout;
    rate->setSpacing(1);
    rate->addWidget(ledRate);
    rate->addWidget(CreateCaption(QStringLiteral("."), figures));
    rate->addWidget(ledRateDec);
    rate->addSpacing(3);
    rate->addWidget(CreateCaption(tr("Kb/sec"), figures));
    rate->addStretch(1);
    grid->addLayout(rate, 3, 2);

    grid->setColumnStretch(1, 1);
    grid->setRowStretch(4, 1);
    return figures;
}

QWidget* TFormStatus::CreateChart()
{
    auto* chart = new QChart;
    chart->setTitle(tr("Transfer Rate"));
    chart->legend()->hide();
    // The panel is low: every pixel of height goes to the plot and its labels.
    chart->setMargins(QMargins(0, 0, 0, 0));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundRoundness(0);
    QFont titleFont = chart->titleFont();
    titleFont.setPointSizeF(6.5);
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);

    QFont axisFont = font();
    axisFont.setPointSizeF(6);

    m_axisTime = new QValueAxis(chart);
    m_axisTime->setTitleText(tr("Time (secs)"));
    m_axisTime->setLabelFormat(QStringLiteral("%d"));
    m_axisRate = new QValueAxis(chart);
    m_axisRate->setTitleText(tr("( KB/sec )"));
    m_axisRate->setLabelFormat(QStringLiteral("%.2f"));
    m_axisConnections = new QValueAxis(chart);
    m_axisConnections->setRange(kFewestConnections, kMostConnections);
    m_axisConnections->setTickCount(4);
    m_axisConnections->setLabelFormat(QStringLiteral("%d"));
    for (QValueAxis* axis : {m_axisTime, m_axisRate, m_axisConnections})
    {
        axis->setLabelsFont(axisFont);
        axis->setTitleFont(axisFont);
        axis->setTickCount(axis == m_axisRate ? 3 : axis == m_axisTime ? 6 : 4);
    }
    chart->addAxis(m_axisTime, Qt::AlignBottom);
    chart->addAxis(m_axisRate, Qt::AlignLeft);
    chart->addAxis(m_axisConnections, Qt::AlignRight);

    seriesTransferRate = new QLineSeries(chart);
    seriesTransferRate->setName(tr("Transfer Rate"));
    seriesTotalKBytes = new QLineSeries(chart);
    seriesTotalKBytes->setName(tr("Total Bytes Transferred"));
    seriesConnections = new QLineSeries(chart);
    seriesConnections->setName(tr("Connections"));
    for (QLineSeries* series : {seriesTransferRate, seriesTotalKBytes, seriesConnections})
    {
        chart->addSeries(series);
        series->attachAxis(m_axisTime);
        series->attachAxis(series == seriesConnections ? m_axisConnections : m_axisRate);
    }
    seriesTransferRate->setColor(QColor(0, 150, 0));
    seriesConnections->setColor(QColor(200, 120, 0));
    // The kilobytes grow far beyond the rate: they are kept for the whole run but
    // not drawn on the rate's axis.
    seriesTotalKBytes->setVisible(false);

    chartStats = new QChartView(chart, this);
    chartStats->setRenderHint(QPainter::Antialiasing);
    chartStats->setMinimumWidth(260);
    chartStats->setFrameShape(QFrame::NoFrame);
    // A picture to look at, nothing to operate: Tab passes it by.
    chartStats->setFocusPolicy(Qt::NoFocus);
    chartStats->setAccessibleName(tr("Download chart"));
    RescaleAxes();
    return chartStats;
}

QWidget* TFormStatus::CreateStatusLine()
{
    m_statusLine = new QWidget(this);
    m_statusLine->setAutoFillBackground(true);
    m_statusLine->setFixedHeight(kRowHeight);
    lblStatus = new QLabel(m_statusLine);
    // Long texts are cut at the panel's edge instead of widening the window.
    lblStatus->setMinimumWidth(1);
    ProgressBar = new QProgressBar(m_statusLine);
    ProgressBar->setFixedHeight(kRowHeight - 4);
    ProgressBar->setTextVisible(false);
    ProgressBar->hide();

    auto* line = new QHBoxLayout(m_statusLine);
    line->setContentsMargins(6, 0, kBarRightMargin, 0);
    line->setSpacing(kBarGap);
    line->addWidget(lblStatus);
    line->addWidget(ProgressBar, 1);
    return m_statusLine;
}

THXTask* TFormStatus::LiveTask() const
{
    if (m_task == nullptr || (m_taskShared && m_taskLife.expired()))
        return nullptr;
    return m_task;
}

void TFormStatus::AttachTask(THXTask* task)
{
    if (THXTask* previous = LiveTask(); previous != nullptr && previous != task)
        previous->OnProgress = nullptr;
    m_task = task;
    m_taskLife = task ? task->weak_from_this() : std::weak_ptr<THXTask>();
    m_taskShared = !m_taskLife.expired();
    m_countersDirty = false;
    if (task == nullptr)
    {
        lblTaskName->clear();
        btnRun->setEnabled(false);
        btnStop->setEnabled(false);
        return;
    }
    m_runAllowed = true;
    btnRun->setEnabled(true);
    btnStop->setEnabled(true);
    lblTaskName->setText(Text(task->Name));
    ShowCounters(*task);
    task->OnProgress = [this](const std::string& text, std::int64_t position, std::int64_t total)
    { OnTaskProgress(text, position, total); };
}

void TFormStatus::OnTaskProgress(const std::string& text, std::int64_t position, std::int64_t total)
{
    if (QThread::currentThread() != thread())
    {
        // A report from another thread only posts; the panel draws on its own thread.
        QMetaObject::invokeMethod(
            this, [this, text, position, total] { OnTaskProgress(text, position, total); }, Qt::QueuedConnection);
        return;
    }
    if (text.empty())
    {
        RefreshCounters();
        return;
    }
    // Position equal to total clears the line and hides the bar.
    ShowStatus(position == total ? std::string() : text, position, total);
}

void TFormStatus::ResetDisplay()
{
    m_charts = {};
    m_maxRate = 0;
    m_chartsDirty = false;
    m_chartsReplaced = false;
    for (QLineSeries* series : {seriesTransferRate, seriesTotalKBytes, seriesConnections})
        series->clear();
    RescaleAxes();
    m_countersDirty = false;
    ShowZeroes();
}

void TFormStatus::RefreshCounters()
{
    m_countersDirty = true;
    ScheduleBatch();
}

void TFormStatus::SetCharts(const TDownloadCharts& charts)
{
    // Cheap on purpose: only the points not held yet are copied here.
    bool extended = MergePoints(m_charts.TransferRate, charts.TransferRate);
    extended = MergePoints(m_charts.TotalKBytes, charts.TotalKBytes) && extended;
    extended = MergePoints(m_charts.Connections, charts.Connections) && extended;
    if (!extended)
        m_chartsReplaced = true;
    m_chartsDirty = true;
    ScheduleBatch();
}

void TFormStatus::RefreshStatus(THXTask& task)
{
    (void)task;
    RefreshCounters();
}

void TFormStatus::ChartsChanged(const TDownloadCharts& charts)
{
    SetCharts(charts);
}

void TFormStatus::ScheduleBatch()
{
    if (!m_batchTimer->isActive())
        m_batchTimer->start();
}

void TFormStatus::ApplyBatch()
{
    if (m_statusDirty)
    {
        m_statusDirty = false;
        ShowStatusLine();
    }
    if (m_countersDirty)
    {
        m_countersDirty = false;
        if (const THXTask* task = LiveTask())
            ShowCounters(*task);
    }
    if (m_chartsDirty)
    {
        m_chartsDirty = false;
        ShowCharts();
    }
}

void TFormStatus::ShowCounters(const THXTask& task)
{
    ShowGauge(*gaugePages, task.PagesSaved, task.TotalPages);
    ShowGauge(*gaugeRes, task.ResourcesSaved, task.TotalResources);
    ShowGauge(*gaugeErrors, std::int64_t{task.PageErrors} + task.ResourceErrors,
              std::int64_t{task.TotalPages} + task.TotalResources);

    const std::int64_t seconds = ElapsedSeconds(task.ElapsedTime);
    const TElapsedDigits clock = ElapsedDigits(seconds);
    ledHour->display(TwoDigits(clock.Hours));
    ledMin->display(TwoDigits(clock.Minutes));
    ledSec->display(TwoDigits(clock.Seconds));

    const TDecimalFigure kilobytes = KilobytesShown(task.TotalBytes);
    ledTotalBytes->display(QString::number(kilobytes.Whole));
    ledTotalBytesDec->display(QString::number(kilobytes.Fraction));

    const TDecimalFigure rate = RateShown(kilobytes.Whole, seconds);
    ledRate->display(QString::number(rate.Whole));
    ledRateDec->display(TwoDigits(rate.Fraction));
}

void TFormStatus::ShowZeroes()
{
    for (QProgressBar* gauge : {gaugePages, gaugeRes, gaugeErrors})
        ShowGauge(*gauge, 0, 0);
    for (QLCDNumber* digits : {ledHour, ledMin, ledSec, ledRateDec})
        digits->display(TwoDigits(0));
    for (QLCDNumber* digits : {ledTotalBytes, ledTotalBytesDec, ledRate})
        digits->display(0);
}

void TFormStatus::ShowCharts()
{
    const bool replace = m_chartsReplaced;
    m_chartsReplaced = false;
    const auto shownRates = static_cast<std::size_t>(seriesTransferRate->count());
    if (replace || shownRates > m_charts.TransferRate.size())
        m_maxRate = 0;
    for (std::size_t i = replace ? 0 : std::min(shownRates, m_charts.TransferRate.size());
         i < m_charts.TransferRate.size(); ++i)
        m_maxRate = std::max(m_maxRate, m_charts.TransferRate[i].Y);
    FillSeries(*seriesTransferRate, m_charts.TransferRate, replace);
    FillSeries(*seriesTotalKBytes, m_charts.TotalKBytes, replace);
    FillSeries(*seriesConnections, m_charts.Connections, replace);
    RescaleAxes();
}

void TFormStatus::RescaleAxes()
{
    double lastTime = 0;
    for (const auto* points : {&m_charts.TransferRate, &m_charts.TotalKBytes, &m_charts.Connections})
        if (!points->empty())
            lastTime = std::max(lastTime, points->back().X);
    m_axisTime->setRange(0, std::max(lastTime, kLeastTimeSpan));
    m_axisTime->applyNiceNumbers();
    // Some room above the highest rate; never a flat axis.
    m_axisRate->setRange(0, m_maxRate > 0 ? m_maxRate * 1.1 : 1.0);
    m_axisRate->applyNiceNumbers();
}

void TFormStatus::ShowStatus(const std::string& text, std::int64_t position, std::int64_t maximum)
{
    // A crawl reports a text per page: each one would lay the panel out and paint it
    // again. The latest text waits for the batch, as the counters do.
    m_pendingStatus = {Text(text), position, maximum};
    m_statusDirty = true;
    ScheduleBatch();
}

void TFormStatus::ShowStatusLine()
{
    const auto& [text, position, maximum] = m_pendingStatus;
    lblStatus->setText(text);
    if (position == maximum)
    {
        ProgressBar->hide();
        return;
    }
    const auto [value, top] = BarRange(position, maximum);
    ProgressBar->setRange(0, std::max(top, 1));
    ProgressBar->setValue(value);
    ProgressBar->show();
}

QString TFormStatus::StatusText() const
{
    return m_pendingStatus.Text;
}

void TFormStatus::SetRunEnabled(bool enabled)
{
    m_runAllowed = enabled;
    btnRun->setEnabled(enabled && m_task != nullptr);
}

void TFormStatus::ApplyColors()
{
    const QColor panel = ThemeColor(m_app, 0, QColor(0x00, 0x33, 0x66));
    const QColor gaugeFill = ThemeColor(m_app, 1, QColor(0x33, 0x66, 0x99));
    const QColor line = ThemeColor(m_app, 2, QColor(0x31, 0x65, 0x9C));
    const QColor text(Qt::white);
    const QColor segments(0x7C, 0xFC, 0x00);

    QPalette panelPalette = palette();
    panelPalette.setColor(QPalette::Window, panel);
    panelPalette.setColor(QPalette::WindowText, text);
    panelPalette.setColor(QPalette::ButtonText, text);
    setPalette(panelPalette);
    setAutoFillBackground(true);

    for (QProgressBar* gauge : {gaugePages, gaugeRes, gaugeErrors})
    {
        QPalette gaugePalette = gauge->palette();
        gaugePalette.setColor(QPalette::Base, panel);
        gaugePalette.setColor(QPalette::Window, panel);
        gaugePalette.setColor(QPalette::Text, text);
        gaugePalette.setColor(QPalette::Highlight, gaugeFill);
        gaugePalette.setColor(QPalette::HighlightedText, text);
        gauge->setPalette(gaugePalette);
    }
    for (QLCDNumber* digits : {ledHour, ledMin, ledSec, ledTotalBytes, ledTotalBytesDec, ledRate, ledRateDec})
    {
        QPalette digitPalette = digits->palette();
        digitPalette.setColor(QPalette::Window, panel);
        digitPalette.setColor(QPalette::WindowText, segments);
        digits->setPalette(digitPalette);
    }

    QPalette linePalette = m_statusLine->palette();
    linePalette.setColor(QPalette::Window, line);
    linePalette.setColor(QPalette::WindowText, text);
    m_statusLine->setPalette(linePalette);
}

void TFormStatus::LoadButtonImages()
{
    // The skin in force, else the Default skin, else the built-in pictures.
    const auto imageOr = [this](std::string_view picture, QIcon fallback)
    {
        const QIcon icon = ReadSkinIcon(SkinPicture(m_app, picture));
        return icon.isNull() ? fallback : icon;
    };
    btnRun->setIcon(imageOr("run.bmp", style()->standardIcon(QStyle::SP_MediaPlay)));
    btnStop->setIcon(imageOr("stop.bmp", style()->standardIcon(QStyle::SP_MediaStop)));
}

} // namespace hx
