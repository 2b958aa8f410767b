// hx_bench_gui_crawl: copies a site with the windowed program as a person would
// (address typed, "Whole Site" chosen, Intranet Mode and Go pressed) and measures
// what the copy costs the window thread, which is also the owner thread every
// hand-over of the crawl passes through.
//
//     QT_QPA_PLATFORM=offscreen hx_bench_gui_crawl URL DEST HOME [--connections N] [--time-limit SECONDS]
//                                                  [--event-times] [--explore]
//
// HOME plays the part of HARBEX_HOME (settings, profiles, tasks); DEST becomes the
// Personal Intranet folder the copy goes into. While the copy runs, a 10 ms timer
// on the window thread records how late each of its ticks fires: that is how long
// a person's click or key would wait. At the end one "name: value" line per figure
// is printed. The exit status is 0 only when the task reached "Task Complete" with
// at least one page fetched.
// --event-times adds, per kind of event the window thread handled during the copy
// (hand-overs, layout requests, repaints, timers ...), how many and how long: where
// the window thread's time went.
// --explore shows the explore view as soon as the copy starts, so every queue item
// of the crawl becomes a row that is painted while the copy runs; without it the
// view stays hidden (its rows are still kept). "explore_rows" tells how many rows
// the view held at the end.
// Not a test; CI does not run it.

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "core/HXApp.h"
#include "core/HXTask.h"
#include "shell/ui/HXExplore.h"
#include "shell/ui/HXMain.h"
#include "shell/ui/HXQtSession.h"

namespace
{

using TClock = std::chrono::steady_clock;

constexpr int kProbePeriodMilliseconds = 10;
constexpr int kWatchPeriodMilliseconds = 10;
constexpr int kActivationLimitMilliseconds = 10000;
constexpr int kDefaultTimeLimitSeconds = 600;

struct TBenchArgs
{
    std::string URL;
    std::string Destination;
    std::string Home;
    std::optional<int> Connections;
    int TimeLimitSeconds = kDefaultTimeLimitSeconds;
    bool EventTimes = false;
    bool Explore = false;
};

int Usage()
{
    std::cerr << "Usage: hx_bench_gui_crawl URL DEST HOME [--connections N] [--time-limit SECONDS] [--event-times] "
                 "[--explore]\n";
    return 2;
}

std::optional<int> PositiveNumber(const std::string& text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1)
        return std::nullopt;
    return value;
}

std::optional<TBenchArgs> ParseArgs(const QStringList& arguments)
{
    TBenchArgs args;
    std::vector<std::string> positional;
    for (qsizetype i = 1; i < arguments.size(); ++i)
    {
        const std::string word = arguments[i].toStdString();
        if ((word == "--connections" || word == "--time-limit") && i + 1 < arguments.size())
        {
            const std::optional<int> value = PositiveNumber(arguments[++i].toStdString());
            if (!value)
                return std::nullopt;
            if (word == "--connections")
                args.Connections = value;
            else
                args.TimeLimitSeconds = *value;
        }
        else if (word == "--event-times")
            args.EventTimes = true;
        else if (word == "--explore")
            args.Explore = true;
        else if (word.starts_with("--"))
            return std::nullopt;
        else
            positional.push_back(word);
    }
    if (positional.size() != 3)
        return std::nullopt;
    args.URL = positional[0];
    args.Destination = positional[1];
    args.Home = positional[2];
    return args;
}

double Seconds(TClock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

double ThreadCpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double TimevalSeconds(const timeval& value)
{
    return static_cast<double>(value.tv_sec) + static_cast<double>(value.tv_usec) / 1e6;
}

rusage ProcessUsage()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage;
}

double ProcessCpuSeconds(const rusage& usage)
{
    return TimevalSeconds(usage.ru_utime) + TimevalSeconds(usage.ru_stime);
}

// Serves the window's events until `done` says so or the limit has passed.
bool ServeUntil(const std::function<bool()>& done, int limitMilliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!done())
    {
        if (clock.elapsed() > limitMilliseconds)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// A single-shot timer armed again at each tick: the time from arming to firing,
// less the period, is how late the window thread got to it. Re-arming (rather than
// a repeating timer) keeps one late tick from making the next look early.
class TLatenessProbe
{
public:
    TLatenessProbe()
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
    }

    void Start()
    {
        m_running = true;
        Arm();
    }

    void Stop()
    {
        m_running = false;
        m_timer.stop();
    }

    // Lateness in milliseconds, one value per tick, in the order they fired.
    const std::vector<double>& Lateness() const { return m_lateness; }

private:
    void Arm()
    {
        m_armed = TClock::now();
        m_timer.start(kProbePeriodMilliseconds);
    }

    void Tick()
    {
        const double interval = std::chrono::duration<double, std::milli>(TClock::now() - m_armed).count();
        m_lateness.push_back(std::max(0.0, interval - kProbePeriodMilliseconds));
        if (m_running)
            Arm();
    }

    QTimer m_timer;
    TClock::time_point m_armed;
    std::vector<double> m_lateness;
    bool m_running = false;
};

// The application, timing the events it delivers on the window thread while
// switched on. Only the outermost delivery counts: a repaint sent from inside a
// layout request is the layout request's time.
class TTimedApplication final : public QApplication
{
public:
    struct TEventTotals
    {
        long long Count = 0;
        TClock::duration Time{};
    };

    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (!m_timing || m_depth > 0 || QThread::currentThread() != thread())
        {
            TDepth depth(m_depth);
            return QApplication::notify(receiver, event);
        }
        const QEvent::Type type = event->type();
        const TClock::time_point started = TClock::now();
        bool handled = false;
        {
            TDepth depth(m_depth);
            handled = QApplication::notify(receiver, event);
        }
        TEventTotals& totals = m_totals[type];
        ++totals.Count;
        totals.Time += TClock::now() - started;
        return handled;
    }

    void SetTiming(bool on) { m_timing = on; }
    const std::map<QEvent::Type, TEventTotals>& Totals() const { return m_totals; }

private:
    class TDepth
    {
    public:
        explicit TDepth(int& depth)
            : m_depth(depth)
        {
            ++m_depth;
        }
        ~TDepth() { --m_depth; }
        TDepth(const TDepth&) = delete;
        TDepth& operator=(const TDepth&) = delete;

    private:
        int& m_depth;
    };

    bool m_timing = false;
    int m_depth = 0;
    std::map<QEvent::Type, TEventTotals> m_totals;
};

const char* EventName(QEvent::Type type)
{
    switch (type)
    {
    case QEvent::MetaCall:
        return "metacall";
    case QEvent::LayoutRequest:
        return "layout_request";
    case QEvent::UpdateRequest:
        return "update_request";
    case QEvent::Paint:
        return "paint";
    case QEvent::Timer:
        return "timer";
    case QEvent::Resize:
        return "resize";
    case QEvent::Show:
        return "show";
    case QEvent::Hide:
        return "hide";
    default:
        return nullptr;
    }
}

// One line per kind of event: "event_<kind>: N events, T ms".
void PrintEventTimes(const std::map<QEvent::Type, TTimedApplication::TEventTotals>& totals)
{
    for (const auto& [type, figures] : totals)
    {
        const char* name = EventName(type);
        const std::string kind = name ? name : "type_" + std::to_string(static_cast<int>(type));
        std::printf("event_%s: %lld events, %.1f ms\n", kind.c_str(), figures.Count,
                    std::chrono::duration<double, std::milli>(figures.Time).count());
    }
}

// The value at or below which `fraction` of the sorted values lie (nearest rank).
double Percentile(const std::vector<double>& sorted, double fraction)
{
    if (sorted.empty())
        return 0;
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

void PrintFigure(const char* name, double value, int decimals)
{
    std::printf("%s: %.*f\n", name, decimals, value);
}

void PrintFigure(const char* name, long long value)
{
    std::printf("%s: %lld\n", name, value);
}

// What the copy started by Go became, watched from the window thread.
struct TCopyWatch
{
    std::shared_ptr<hx::THXTask> Task;
    TClock::time_point RunStarted;
    TClock::time_point Ended;
    // The window thread's CPU time at the run's start and end.
    double RunStartCpu = 0;
    double EndCpu = 0;
    bool Done = false;
};

int RunBench(TTimedApplication& application, const TBenchArgs& args)
{
    hx::THXApp app(hx::THXEnvironment::UnderHome(args.Home));
    app.SetIntranetFolder(args.Destination);
    if (args.Connections)
        app.SetConnections(*args.Connections);

    hx::TMainOptions options;
    // The run's pacing comes from the "Pacing" setting: Fast unless changed.
    options.Launch = [](const hx::TLaunchRequest&) { return true; };
    hx::THXQtSession session(app);
    auto window = std::make_unique<hx::TFormHarbex>(session, options);
    window->show();
    if (!ServeUntil([&] { return window->FirstActivationDone(); }, kActivationLimitMilliseconds))
    {
        std::cerr << "hx_bench_gui_crawl: the window was never activated\n";
        return 1;
    }

    // As a person would: the address, the profile, the mode, then Go.
    QLineEdit* address = window->cmbURL->lineEdit();
    address->clear();
    QTest::keyClicks(address, QString::fromStdString(args.URL));
    const int wholeSite = window->cmbProfile->findText(QStringLiteral("Whole Site"));
    if (wholeSite < 0)
    {
        std::cerr << "hx_bench_gui_crawl: the profile box has no \"Whole Site\"\n";
        return 1;
    }
    window->cmbProfile->setCurrentIndex(wholeSite);
    QTest::mouseClick(window->btnIntranetMode, Qt::LeftButton);
    if (!window->btnIntranetMode->isChecked())
    {
        std::cerr << "hx_bench_gui_crawl: Intranet Mode did not take\n";
        return 1;
    }

    TLatenessProbe probe;
    TCopyWatch watch;
    QTimer watcher;
    watcher.setTimerType(Qt::PreciseTimer);
    QObject::connect(&watcher, &QTimer::timeout,
                     [&]
                     {
                         // The task is the runner's from its start until it has ended.
                         std::shared_ptr<hx::THXTask> running = window->Runner().RunningTask();
                         if (!watch.Task && running)
                         {
                             watch.Task = running;
                             watch.RunStarted = TClock::now();
                             watch.RunStartCpu = ThreadCpuSeconds();
                             if (args.Explore)
                                 window->ShowView(hx::TView::Explore);
                         }
                         else if (watch.Task && !running)
                         {
                             watch.Ended = TClock::now();
                             watch.EndCpu = ThreadCpuSeconds();
                             watch.Done = true;
                             watcher.stop();
                             QApplication::exit(0);
                         }
                     });
    QTimer::singleShot(std::chrono::seconds(args.TimeLimitSeconds), [] { QApplication::exit(1); });

    const rusage usageBefore = ProcessUsage();
    const double windowCpuBefore = ThreadCpuSeconds();
    const TClock::time_point go = TClock::now();
    application.SetTiming(args.EventTimes);
    probe.Start();
    watcher.start(kWatchPeriodMilliseconds);
    QTest::mouseClick(window->btnGO, Qt::LeftButton);
    QApplication::exec();
    application.SetTiming(false);
    const TClock::time_point stopped = TClock::now();
    const double windowCpu = ThreadCpuSeconds() - windowCpuBefore;
    const rusage usageAfter = ProcessUsage();
    probe.Stop();
    watcher.stop();

    if (!watch.Done)
    {
        std::cerr << "hx_bench_gui_crawl: " << (watch.Task ? "the copy did not end" : "the copy never started")
                  << " within " << args.TimeLimitSeconds << " s\n";
        if (watch.Task)
            window->Runner().StopTask(watch.Task);
        window->close();
        return 1;
    }

    const double wall = Seconds(watch.Ended - go);
    std::vector<double> lateness = probe.Lateness();
    std::sort(lateness.begin(), lateness.end());
    const hx::THXTask& task = *watch.Task;
    PrintFigure("wall_s", wall, 3);
    PrintFigure("run_wall_s", Seconds(watch.Ended - watch.RunStarted), 3);
    PrintFigure("probe_ticks", static_cast<long long>(lateness.size()));
    PrintFigure("probe_p50_ms", Percentile(lateness, 0.50), 2);
    PrintFigure("probe_p99_ms", Percentile(lateness, 0.99), 2);
    PrintFigure("probe_max_ms", lateness.empty() ? 0.0 : lateness.back(), 2);
    PrintFigure("window_cpu_s", windowCpu, 3);
    PrintFigure("window_cpu_share_pct", 100.0 * windowCpu / Seconds(stopped - go), 1);
    // From the task's start on: the window thread's work for the crawl alone.
    const double runCpu = watch.EndCpu - watch.RunStartCpu;
    PrintFigure("window_cpu_run_s", runCpu, 3);
    PrintFigure("window_cpu_run_share_pct", 100.0 * runCpu / Seconds(watch.Ended - watch.RunStarted), 1);
    PrintFigure("process_cpu_s", ProcessCpuSeconds(usageAfter) - ProcessCpuSeconds(usageBefore), 3);
    PrintFigure("process_cpu_total_s", ProcessCpuSeconds(usageAfter), 3);
    PrintFigure("peak_rss_kb", static_cast<long long>(usageAfter.ru_maxrss));
    PrintFigure("pages_saved", task.PagesSaved);
    PrintFigure("media_saved", task.ResourcesSaved);
    PrintFigure("page_errors", task.PageErrors);
    PrintFigure("media_errors", task.ResourceErrors);
    if (auto* explore = window->findChild<hx::TFormExplore*>())
        PrintFigure("explore_rows", static_cast<long long>(explore->Model().rowCount()));
    std::printf("status: %d %s\n", task.Status, hx::StatusText(task.Status).c_str());
    if (args.EventTimes)
        PrintEventTimes(application.Totals());
    std::fflush(stdout);
    window->close();
    if (task.Status != hx::kStatusTaskComplete)
        return 1;
    // The run ended, but not one page came: that is no copy.
    if (task.PageErrors >= task.PagesSaved)
    {
        std::cerr << "hx_bench_gui_crawl: no page could be fetched from " << args.URL << "\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    TTimedApplication application(argc, argv);
    const std::optional<TBenchArgs> args = ParseArgs(QApplication::arguments());
    if (!args)
        return Usage();
    try
    {
        return RunBench(application, *args);
    }
    catch (const std::exception& error)
    {
        std::cerr << "hx_bench_gui_crawl: " << error.what() << "\n";
        return 1;
    }
}
