#pragma once

// TFormStatus: the status panel at the bottom of the main window. It names the
// current task, offers Run and Stop, shows the page, media-file and error gauges,
// the elapsed time, the kilobytes received and the average rate on digit displays,
// the transfer chart, and the status line every part of the program writes to.
//
// The panel computes nothing about the download: the dispatcher asks it to refresh
// its counters and hands it the chart points, the task reports progress through its
// OnProgress. During a fast crawl those calls come hundreds of times a second, so
// they only mark the display out of date; one 100 ms single-shot timer redraws it.
//
// Threads: window thread only (the owner thread).

#include <cstdint>
#include <memory>
#include <string>

#include <QString>
#include <QWidget>

#include "engine/HXThreadDownload.h"

class QChartView;
class QLCDNumber;
class QLabel;
class QLineSeries;
class QProgressBar;
class QTimer;
class QToolButton;
class QValueAxis;

namespace hx
{

class THXApp;
class THXTask;

class TFormStatus final : public QWidget, public THXDownloadView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFormStatus)

public:
    explicit TFormStatus(THXApp& app, QWidget* parent = nullptr);
    ~TFormStatus() override;

    // Makes the task (or none) the one the panel shows. With a task: Run and Stop
    // enabled, its name shown, its counters shown and the panel's progress handler
    // installed as its OnProgress. With none: name cleared, both buttons disabled.
    // The previous task's OnProgress is cleared when it is still the panel's.
    void AttachTask(THXTask* task);
    THXTask* Task() const { return m_task; }
    // Empties the three chart series and sets the gauges and digit displays to 0.
    void ResetDisplay();
    // The attached task's counters changed; shown at the next batch.
    void RefreshCounters();
    // The status line: the text, and the progress bar right of it unless position
    // equals maximum.
    void ShowStatus(const std::string& text, std::int64_t position = 0, std::int64_t maximum = 0);
    QString StatusText() const;
    // The dispatcher's chart series (the whole run so far); shown at the next batch.
    // Points already shown are not drawn again.
    void SetCharts(const TDownloadCharts& charts);
    // The task runner turns Run off while a task runs.
    void SetRunEnabled(bool enabled);
    // The skin's colours: the first for the panel, gauges and digit displays, the
    // third for the status line.
    void ApplyColors();
    // The Run and Stop images, "run.bmp" and "stop.bmp" of the current skin (or of
    // the Default skin when it lacks one); the built-in pictures when neither has it.
    void LoadButtonImages();

    // THXDownloadView: the dispatcher's hand-overs, on the window thread.
    void RefreshStatus(THXTask& task) override;
    void ChartsChanged(const TDownloadCharts& charts) override;

    QToolButton* btnRun = nullptr;
    QToolButton* btnStop = nullptr;
    QLabel* lblTaskName = nullptr;
    QLabel* lblStatus = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QProgressBar* gaugePages = nullptr;
    QProgressBar* gaugeRes = nullptr;
    QProgressBar* gaugeErrors = nullptr;
    QLCDNumber* ledHour = nullptr;
    QLCDNumber* ledMin = nullptr;
    QLCDNumber* ledSec = nullptr;
    QLCDNumber* ledTotalBytes = nullptr;
    QLCDNumber* ledTotalBytesDec = nullptr;
    QLCDNumber* ledRate = nullptr;
    QLCDNumber* ledRateDec = nullptr;
    QChartView* chartStats = nullptr;
    QLineSeries* seriesTransferRate = nullptr;
    QLineSeries* seriesTotalKBytes = nullptr;
    QLineSeries* seriesConnections = nullptr;

signals:
    void RunClicked();
    void StopClicked();

private:
    QWidget* CreateFigures();
    QWidget* CreateChart();
    QWidget* CreateStatusLine();
    // The task, unless it is known to be gone.
    THXTask* LiveTask() const;
    void OnTaskProgress(const std::string& text, std::int64_t position, std::int64_t total);
    void ScheduleBatch();
    void ApplyBatch();
    void ShowStatusLine();
    void ShowCounters(const THXTask& task);
    void ShowZeroes();
    void ShowCharts();
    void RescaleAxes();

    THXApp& m_app;
    THXTask* m_task = nullptr;
    // Set when the task is held by shared pointers: tells whether it still exists.
    std::weak_ptr<THXTask> m_taskLife;
    bool m_taskShared = false;
    bool m_runAllowed = true;

    QTimer* m_batchTimer = nullptr;
    bool m_countersDirty = false;
    // The status line's latest text and bar, shown with the next batch.
    struct TStatusLine
    {
        QString Text;
        std::int64_t Position = 0;
        std::int64_t Maximum = 0;
    };
    TStatusLine m_pendingStatus;
    bool m_statusDirty = false;
    bool m_chartsDirty = false;
    // The series must be refilled rather than extended (the run restarted).
    bool m_chartsReplaced = false;
    TDownloadCharts m_charts;
    double m_maxRate = 0;
    QValueAxis* m_axisTime = nullptr;
    QValueAxis* m_axisRate = nullptr;
    QValueAxis* m_axisConnections = nullptr;
    QWidget* m_statusLine = nullptr;
};

} // namespace hx
