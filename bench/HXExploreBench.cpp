// hx_bench_explore: opens a task with a big queue in the explore view and measures
// what it costs the window.
//
//     QT_QPA_PLATFORM=offscreen hx_bench_explore [ITEMS]
//
// A task of ITEMS queue items (default 100000: pages and pictures in every state
// and mode) is built in memory under a temporary home. A shown explore view then
// takes the task as the task runner gives it (SetTask: every row added, one
// insert), is painted, and is scrolled from top to bottom a page at a time, each
// step painted. Printed, one "name: value" line each: the time from taking the
// task to the first painted view, the longest gap between two runs of a 10 ms
// timer on the window thread while opening and while scrolling (how long a
// person's click would have waited), and the growth of the resident memory that
// stays after the view took the task, per row (what the rows cost beyond the
// queue itself). Exit status 0 when every item became a row. Not a test; CI does
// not run it.

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include <malloc.h>
#include <unistd.h>

#include "core/HXApp.h"
#include "core/HXTask.h"
#include "shell/ui/HXExplore.h"

namespace
{

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

constexpr int kDefaultItems = 100000;
constexpr int kProbePeriodMilliseconds = 10;

long ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

// The longest gap between two runs of a 10 ms timer while it runs.
class TGapProbe
{
public:
    TGapProbe()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_timer.start(kProbePeriodMilliseconds);
        m_last = TClock::now();
    }
    void Reset()
    {
        m_last = TClock::now();
        m_longest = 0;
    }
    double LongestMilliseconds()
    {
        Tick();
        return m_longest;
    }

private:
    void Tick()
    {
        const auto now = TClock::now();
        m_longest = std::max(m_longest, std::chrono::duration<double, std::milli>(now - m_last).count());
        m_last = now;
    }
    QTimer m_timer;
    TClock::time_point m_last;
    double m_longest = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const int items = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultItems;

    std::random_device device;
    const fs::path home = fs::temp_directory_path() / ("hx-explore-bench-" + std::to_string(device()));
    fs::create_directories(home);
    int status = 1;
    {
        hx::THXApp app(hx::THXEnvironment::UnderHome(home.string()));
        auto task = std::make_shared<hx::THXTask>(app);
        task->Name = "Bench";
        task->FileName = home.string() + "/Bench.hxt";
        for (int n = 0; n < items; ++n)
        {
            hx::THXQItem item;
            const bool page = n % 3 != 0;
            item.URL = "http://127.0.0.1:8080/folder" + std::to_string(n % 97) + "/item" + std::to_string(n) +
                       (page ? ".html" : ".gif");
            item.Group = page ? "HTML" : "Images";
            item.State = n % 12;
            item.Mode = n % 4;
            item.Level = n % 7;
            item.Size = 1000 + n;
            item.Title = page ? "Page number " + std::to_string(n) : std::string();
            item.Referrer = "http://127.0.0.1:8080/folder" + std::to_string(n % 97) + "/index.html";
            item.LastModified = "Tue, 14 Mar 2023 06:00:00 GMT";
            item.StatusText = n % 12 == hx::kStateError ? "404 Not Found" : "OK";
            task->AddItem(std::move(item));
        }

        hx::TFormExplore view(app);
        view.resize(1000, 700);
        view.show();
        QApplication::processEvents();
        ::malloc_trim(0);
        const long before = ResidentBytes();
        TGapProbe probe;

        QElapsedTimer open;
        open.start();
        view.SetTask(task);
        view.lvExplore->viewport()->repaint();
        QApplication::processEvents();
        const double openMilliseconds = static_cast<double>(open.nsecsElapsed()) / 1e6;
        const double openGap = probe.LongestMilliseconds();
        ::malloc_trim(0);
        const long after = ResidentBytes();

        probe.Reset();
        QScrollBar* bar = view.lvExplore->verticalScrollBar();
        QElapsedTimer scroll;
        scroll.start();
        int steps = 0;
        while (bar->value() < bar->maximum())
        {
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            view.lvExplore->viewport()->repaint();
            QApplication::processEvents();
            ++steps;
        }
        const double scrollMilliseconds = static_cast<double>(scroll.nsecsElapsed()) / 1e6;
        const double scrollGap = probe.LongestMilliseconds();

        const int rows = view.lvExplore->model()->rowCount();
        std::printf("items: %d\n", items);
        std::printf("rows: %d\n", rows);
        std::printf("open_to_first_paint_ms: %.1f\n", openMilliseconds);
        std::printf("longest_gap_while_opening_ms: %.1f\n", openGap);
        std::printf("scroll_pages: %d\n", steps);
        std::printf("scroll_total_ms: %.1f\n", scrollMilliseconds);
        std::printf("scroll_ms_per_page: %.2f\n", steps > 0 ? scrollMilliseconds / steps : 0.0);
        std::printf("longest_gap_while_scrolling_ms: %.1f\n", scrollGap);
        std::printf("resident_growth_bytes: %ld\n", after - before);
        std::printf("bytes_per_row: %.1f\n", rows > 0 ? static_cast<double>(after - before) / rows : 0.0);
        status = rows == items ? 0 : 1;
        view.SetTask(nullptr);
    }
    std::error_code error;
    fs::remove_all(home, error);
    return status;
}
