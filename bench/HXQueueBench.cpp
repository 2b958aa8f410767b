// Queue benchmarks: a simulated crawl (items added as pages are "parsed", chosen
// with NextPage/NextResource, moved through their states) at two sizes, so the
// growth from 100,000 to 1,000,000 items can be compared; the queue file's save and
// load, with a check that every record and item comes back equal; and the memory an
// item costs beyond the text of its two lines.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <memory>
#include <string>

#include <unistd.h>

#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXTask.h"

namespace
{

using namespace hx;

struct TBenchHome
{
    TBenchHome()
    {
        folder = std::filesystem::temp_directory_path() / ("hx-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(folder.string()));
        WriteGroup(app->Store(), "HTML", ".htm;.html;");
        WriteGroup(app->Store(), "Images", ".gif;.jpg;.png;");
    }
    ~TBenchHome()
    {
        app.reset();
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
    std::filesystem::path folder;
    std::unique_ptr<THXApp> app;
};

TBenchHome& Home()
{
    static TBenchHome home;
    return home;
}

std::unique_ptr<THXTask> NewTask()
{
    auto task = std::make_unique<THXTask>(*Home().app);
    task->Name = "Bench";
    task->FileName = Home().app->TasksFolder() + "General/Bench.hxt";
    task->URL = "http://www.example.test/";
    return task;
}

// Titles and status texts of every kind the record must carry: plain ASCII, text
// outside the code page (written as "&#N;"), the separator character and line breaks.
std::string TitleOf(std::size_t serial)
{
    switch (serial % 5)
    {
    case 0:
        return "Page number " + std::to_string(serial);
    case 1:
        return "Caf\xC3\xA9 \xE2\x82\xAC " + std::to_string(serial);
    case 2:
        return "\xE6\x97\xA5\xE6\x9C\xAC " + std::to_string(serial);
    case 3:
        return "Para \xC2\xB6 line\r\nbreak " + std::to_string(serial);
    default:
        return "";
    }
}

THXQItem* AddLink(THXTask& task, std::size_t serial, bool page, int level)
{
    THXQItem item;
    item.URL = "http://www.example.test/section" + std::to_string(serial % 97) + "/" +
               (page ? "page" + std::to_string(serial) + ".html" : "image" + std::to_string(serial) + ".png");
    item.BaseURL = "http://www.example.test/section" + std::to_string(serial % 97) + "/";
    item.Referrer = "http://www.example.test/section" + std::to_string((serial / 7) % 97) + "/index.html";
    item.Title = page ? TitleOf(serial) : "";
    item.Group = page ? "HTML" : "Images";
    item.FrameFlag = serial % 11 == 0 ? "Y" : "";
    item.Level = level;
    item.Mode = serial % 13 == 0 ? kModeUpdate : kModeDownload;
    return task.AddItem(std::move(item));
}

// One crawl of `target` items: every parsed page links to up to eight new items
// (three pages, five images); the dispatcher alternates pages and resources; one
// fetch in 17 fails.
void Crawl(THXTask& task, std::size_t target)
{
    task.StartFresh();
    std::size_t added = 1;
    std::size_t fetched = 0;
    bool preferPage = true;
    for (;;)
    {
        THXQItem* next = preferPage ? task.NextPage() : task.NextResource();
        if (next == nullptr)
            next = preferPage ? task.NextResource() : task.NextPage();
        preferPage = !preferPage;
        if (next == nullptr)
            break;
        ++fetched;
        task.SetItemState(*next, kStateDownloading);
        if (fetched % 17 == 0)
        {
            next->StatusText = "Not Found";
            task.SetItemState(*next, kStateError);
        }
        else
        {
            next->Size = 2048 + static_cast<std::int64_t>(fetched % 1000);
            next->StatusText = "OK";
            next->LastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
            task.SetItemState(*next, kStateSaved);
        }
        task.CommitItem(*next, true);

        while (THXQItem* page = task.NextSavedPage())
        {
            task.ReloadItem(*page);
            for (int link = 0; link < 8 && added < target; ++link, ++added)
            {
                if (!task.IsKnownURL("http://www.example.test/section0/page0.html"))
                    benchmark::DoNotOptimize(link);
                AddLink(task, added, link < 3, page->Level + 1);
            }
            task.SetItemState(*page, kStateParsed);
            task.CommitItem(*page, true);
        }
    }
}

void BM_SimulatedCrawl(benchmark::State& state)
{
    const auto target = static_cast<std::size_t>(state.range(0));
    for (auto _ : state)
    {
        auto task = NewTask();
        Crawl(*task, target);
        benchmark::DoNotOptimize(task->ItemCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SimulatedCrawl)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Pairs whose record fields, URL line or item facts differ between two queues.
std::size_t Differences(THXTask& saved, THXTask& loaded)
{
    if (saved.ItemCount() != loaded.ItemCount() || saved.QueueLineCount() != loaded.QueueLineCount())
        return static_cast<std::size_t>(std::max(saved.ItemCount(), loaded.ItemCount()));
    std::size_t differences = 0;
    for (int pair = 0; pair < saved.ItemCount(); ++pair)
    {
        bool same = saved.QueueLine(2 * pair) == loaded.QueueLine(2 * pair);
        for (int field = 0; field < 11 && same; ++field)
            same = saved.RecordField(pair, field) == loaded.RecordField(pair, field);
        const THXQItem* before = saved.Item(pair);
        const THXQItem* after = loaded.Item(pair);
        same = same && before != nullptr && after != nullptr && before->State == after->State &&
               before->Mode == after->Mode && before->Index == after->Index &&
               std::string(before->Group) == std::string(after->Group);
        if (same)
        {
            THXQItem reloaded(&loaded);
            reloaded.Index = after->Index;
            loaded.ReloadItem(reloaded);
            THXQItem original(&saved);
            original.Index = before->Index;
            saved.ReloadItem(original);
            same = std::string(reloaded.URL) == std::string(original.URL) &&
                   std::string(reloaded.Title) == std::string(original.Title) &&
                   std::string(reloaded.StatusText) == std::string(original.StatusText) &&
                   std::string(reloaded.Referrer) == std::string(original.Referrer) &&
                   std::string(reloaded.LastModified) == std::string(original.LastModified) &&
                   std::string(reloaded.FrameFlag) == std::string(original.FrameFlag) &&
                   reloaded.Level == original.Level && reloaded.Size == original.Size;
        }
        if (!same)
            ++differences;
    }
    return differences;
}

// Save and load of a crawled queue; the loaded queue must equal the saved one in
// every line, record field and item fact, or the benchmark reports an error.
void BM_SaveAndLoadQueue(benchmark::State& state)
{
    const auto target = static_cast<std::size_t>(state.range(0));
    auto source = NewTask();
    Crawl(*source, target);
    double saveSeconds = 0;
    double loadSeconds = 0;
    std::size_t differences = 0;
    for (auto _ : state)
    {
        auto start = std::chrono::steady_clock::now();
        source->SaveQueue();
        auto middle = std::chrono::steady_clock::now();
        auto loaded = NewTask();
        loaded->LoadQueue();
        auto end = std::chrono::steady_clock::now();
        saveSeconds += std::chrono::duration<double>(middle - start).count();
        loadSeconds += std::chrono::duration<double>(end - middle).count();
        state.PauseTiming();
        differences += Differences(*source, *loaded);
        state.ResumeTiming();
    }
    state.counters["save_s"] = saveSeconds / static_cast<double>(state.iterations());
    state.counters["load_s"] = loadSeconds / static_cast<double>(state.iterations());
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(source->QueueFileName())) / 1e6;
    state.counters["differences"] = static_cast<double>(differences);
    if (differences != 0)
        state.SkipWithError("the loaded queue differs from the saved one");
}
BENCHMARK(BM_SaveAndLoadQueue)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Heap in use, small blocks and mapped ones alike.
std::size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Heap bytes an item costs beyond the text of its two lines, after a crawl has
// left every record-only string released.
void BM_MemoryPerItem(benchmark::State& state)
{
    const auto target = static_cast<std::size_t>(state.range(0));
    double perItem = 0;
    for (auto _ : state)
    {
        const std::size_t before = HeapInUse();
        auto task = NewTask();
        Crawl(*task, target);
        const std::size_t after = HeapInUse();
        std::size_t lineText = 0;
        for (int line = 0; line < task->QueueLineCount(); ++line)
            lineText += task->QueueLine(line).size();
        perItem = (static_cast<double>(after - before) - static_cast<double>(lineText)) /
                  static_cast<double>(task->ItemCount());
        state.counters["line_text_per_item"] = static_cast<double>(lineText) / static_cast<double>(task->ItemCount());
    }
    state.counters["bytes_per_item"] = perItem;
}
BENCHMARK(BM_MemoryPerItem)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
