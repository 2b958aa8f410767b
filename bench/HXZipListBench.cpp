// hx_bench_zip_list: lists a big archive into the Zip contents list as the main
// window does, and measures what it costs the window.
//
//     QT_QPA_PLATFORM=offscreen hx_bench_zip_list [ENTRIES [FOLDERS]] [--gaps]
//
// An archive of ENTRIES small files (default 100000) spread over FOLDERS folders
// (default 500) is written with libzip into a temporary folder. A shown TFormZip
// then takes the Zip component's listing (the component processing the window's
// events as it goes), is sorted once at the end of the listing, and is sorted again
// by the Size column as a header click does. Printed, one "name: value" line each:
// the times of the listing, the end of the listing and the column sort, the
// growth of the resident memory and of its peak while the list was filled, the
// growth that stays once freed memory is handed back to the system (what the
// rows and the view keep; the Zip library's own reading of the archive is freed
// when the listing ends) and the bytes per row it makes, and the longest gap between two runs of a 10 ms timer on the
// window thread over the whole time: how long a person's click would have waited.
// --gaps also prints every gap over 30 ms with the time it ended, and the times
// at which each step ended, so a freeze can be put down to its step.
// The archive is written by a child process, so that the memory libzip used for
// writing is not counted (nor reused) by the listing.
// Exit status 0 when every entry became a row. Not a test; CI does not run it.

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <zip.h>

#include "archive/XcdZipD4.h"
#include "archive/ui/HXFormZip.h"
#include "archive/ui/HXIconCache.h"

namespace
{

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

constexpr int kDefaultEntries = 100000;
constexpr int kDefaultFolders = 500;
constexpr int kProbePeriodMilliseconds = 10;
constexpr double kReportedGapMilliseconds = 30;

struct TZipDiscard
{
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using TZipHandle = std::unique_ptr<zip_t, TZipDiscard>;

struct TSourceFree
{
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using TSourceHandle = std::unique_ptr<zip_source_t, TSourceFree>;

// A temporary folder removed at the end.
class TScratch
{
public:
    TScratch()
    {
        std::random_device device;
        m_path = fs::temp_directory_path() / ("hx-zip-list-bench-" + std::to_string(device()));
        fs::create_directories(m_path);
    }
    ~TScratch()
    {
        std::error_code error;
        fs::remove_all(m_path, error);
    }
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;

    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

// Writes the archive: entry i lies in folder i % folders, with one of a few
// extensions, a few hundred bytes of text and its own modification time.
bool WriteArchive(const std::string& path, int entries, int folders)
{
    static const char* const kExtensions[] = {".html", ".png", ".css", ".js", ".txt", ".gif", ".jpg"};
    std::vector<std::string> bodies;
    for (int i = 0; i < 16; ++i)
        bodies.push_back("<p>page body " + std::string(static_cast<std::size_t>(80 + 17 * i), 'a' + i) + "</p>\n");
    int error = 0;
    TZipHandle archive(zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error));
    if (!archive)
        return false;
    const std::time_t base = 1'000'000'000;
    for (int i = 0; i < entries; ++i)
    {
        const std::string& body = bodies[static_cast<std::size_t>(i) % bodies.size()];
        const std::string name = "site/folder" + std::to_string(i % folders) + "/file" + std::to_string(i) +
                                 kExtensions[static_cast<std::size_t>(i) % std::size(kExtensions)];
        TSourceHandle source(zip_source_buffer(archive.get(), body.data(), body.size(), 0));
        if (!source)
            return false;
        const zip_int64_t index = zip_file_add(archive.get(), name.c_str(), source.get(), ZIP_FL_ENC_UTF_8);
        if (index < 0)
            return false;
        // The archive owns the source once it is added.
        source.release();
        zip_file_set_mtime(archive.get(), static_cast<zip_uint64_t>(index),
                           base + static_cast<std::time_t>((i * 7919) % 86'400'000), 0);
    }
    if (zip_close(archive.get()) != 0)
        return false;
    // zip_close freed the archive.
    archive.release();
    return true;
}

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
long StatusKilobytes(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
    {
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

// Starts the peak (VmHWM) afresh from the current resident size.
bool ResetPeakMemory()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear.flush());
}

// A repeating timer on the window thread; the longest time between two of its
// runs (and between the start or the end and the nearest run) is how long the
// window was frozen.
class TGapProbe
{
public:
    TGapProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kProbePeriodMilliseconds);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
    }
    void Start()
    {
        m_start = m_last = TClock::now();
        m_timer.start();
    }
    void Stop()
    {
        Tick();
        m_timer.stop();
    }
    double LongestGapMilliseconds() const { return m_longest; }
    int Runs() const { return m_runs; }
    // Gaps over kReportedGapMilliseconds: (length, milliseconds from the start to the gap's end).
    const std::vector<std::pair<double, double>>& LongGaps() const { return m_longGaps; }
    double SinceStart() const { return std::chrono::duration<double, std::milli>(TClock::now() - m_start).count(); }

private:
    void Tick()
    {
        const auto now = TClock::now();
        const double gap = std::chrono::duration<double, std::milli>(now - m_last).count();
        m_longest = std::max(m_longest, gap);
        if (gap > kReportedGapMilliseconds)
            m_longGaps.emplace_back(gap, SinceStart());
        m_last = now;
        ++m_runs;
    }

    QTimer m_timer;
    TClock::time_point m_start = TClock::now();
    TClock::time_point m_last;
    double m_longest = 0;
    int m_runs = 0;
    std::vector<std::pair<double, double>> m_longGaps;
};

// Writes the archive in a child process; true when it succeeded.
bool WriteArchiveApart(const std::string& path, int entries, int folders)
{
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0)
        ::_exit(WriteArchive(path, entries, folders) ? 0 : 1);
    int status = 0;
    if (::waitpid(child, &status, 0) != child)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double MillisecondsSince(TClock::time_point start)
{
    return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

// Lets the window draw what changed and the probe run.
void Settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> numbers;
    bool showGaps = false;
    for (int i = 1; i < argc; ++i)
    {
        if (std::string(argv[i]) == "--gaps")
            showGaps = true;
        else
            numbers.push_back(std::max(1, std::atoi(argv[i])));
    }
    const int entries = numbers.size() > 0 ? numbers[0] : kDefaultEntries;
    const int folders = numbers.size() > 1 ? numbers[1] : kDefaultFolders;

    // Before the window exists: the child must not inherit the window's threads.
    TScratch scratch;
    const std::string archive = (scratch.Path() / "big.zip").string();
    const auto writeStart = TClock::now();
    if (!WriteArchiveApart(archive, entries, folders))
    {
        std::fprintf(stderr, "cannot write %s\n", archive.c_str());
        return 2;
    }
    std::printf("entries: %d\nfolders: %d\narchive_bytes: %lld\narchive_write_ms: %.0f\n", entries, folders,
                static_cast<long long>(fs::file_size(archive)), MillisecondsSince(writeStart));

    QApplication application(argc, argv);
    hx::TIconCache icons;
    hx::TFormZip form(icons);
    form.resize(1000, 700);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 2;
    Settle();

    hx::TXceedZip zip;
    zip.ZipFileName = archive;
    zip.OnListing = [&form](const hx::TXcdFileStats& stats) { form.AddEntry(stats); };
    zip.ProcessEvents = [] { QApplication::processEvents(); };
    // Opening alone: libzip reads the whole central directory in one call, before
    // the component can let the window process its events.
    const auto openStart = TClock::now();
    const int counted = zip.Count();
    const double openMs = MillisecondsSince(openStart);
    ::malloc_trim(0);

    const bool peakReset = ResetPeakMemory();
    const long rssBefore = StatusKilobytes("VmRSS");
    const long peakBefore = StatusKilobytes("VmHWM");
    TGapProbe probe;
    probe.Start();

    const auto listStart = TClock::now();
    form.BeginListing();
    const int result = zip.List("*.*");
    const double listMs = MillisecondsSince(listStart);
    const double listEndedAt = probe.SinceStart();
    const auto endStart = TClock::now();
    form.EndListing(true);
    Settle();
    const double endMs = MillisecondsSince(endStart);
    const double endListingEndedAt = probe.SinceStart();
    const long rssListed = StatusKilobytes("VmRSS");
    const long peakListed = StatusKilobytes("VmHWM");
    ::malloc_trim(0);
    const long rssKept = StatusKilobytes("VmRSS");

    const auto sortStart = TClock::now();
    form.lvZip->sortByColumn(hx::TZipContentsModel::colSize, Qt::DescendingOrder);
    Settle();
    const double sortMs = MillisecondsSince(sortStart);
    const double sortEndedAt = probe.SinceStart();
    probe.Stop();

    const int rows = form.lvZip->model()->rowCount();
    std::printf("archive_open_ms: %.0f\nlist_result: %d\nrows: %d\n", openMs, result, rows);
    std::printf("list_ms: %.0f\nend_listing_sort_ms: %.0f\nlist_and_sort_ms: %.0f\ncolumn_sort_ms: %.0f\n", listMs,
                endMs, listMs + endMs, sortMs);
    std::printf("rss_before_kb: %ld\nrss_growth_kb: %ld\n", rssBefore, rssListed - rssBefore);
    if (peakReset)
        std::printf("peak_growth_kb: %ld\n", peakListed - peakBefore);
    else
        std::printf("peak_growth_kb: unavailable (peak could not be reset)\n");
    std::printf("rss_kept_kb: %ld\n", rssKept - rssBefore);
    std::printf("bytes_per_row: %.0f\n", rows > 0 ? (rssKept - rssBefore) * 1024.0 / rows : 0.0);
    std::printf("probe_runs: %d\nlongest_gap_ms: %.0f\n", probe.Runs(), probe.LongestGapMilliseconds());
    if (showGaps)
    {
        std::printf("steps_ended_at_ms: list %.0f, end_listing %.0f, column_sort %.0f\n", listEndedAt,
                    endListingEndedAt, sortEndedAt);
        for (const auto& [gap, endedAt] : probe.LongGaps())
            std::printf("gap_ms: %.0f ended_at_ms: %.0f\n", gap, endedAt);
    }
    return result == hx::xcd::Success && rows == entries && counted == entries ? 0 : 1;
}
