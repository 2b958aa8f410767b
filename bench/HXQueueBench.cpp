// Queue benchmarks: a simulated crawl (items added as pages are "parsed", chosen
// with NextPage/NextResource, moved through their states) at two sizes, so the
// growth from 10,000 to 100,000 items can be compared; the queue file's load and
// save; and the memory an item costs beyond the text of its two lines.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <memory>
#include <string>

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

THXQItem* AddLink(THXTask& task, std::size_t serial, bool page, int level)
{
    THXQItem item;
    item.URL = "http://www.example.test/section" + std::to_string(serial % 97) + "/" +
               (page ? "page" + std::to_string(serial) + ".html" : "image" + std::to_string(serial) + ".png");
    item.BaseURL = "http://www.example.test/section" + std::to_string(serial % 97) + "/";
    item.Referrer = "http://www.example.test/section" + std::to_string((serial / 7) % 97) + "/index.html";
    item.Title = page ? "Page number " + std::to_string(serial) : "";
    item.Group = page ? "HTML" : "Images";
    item.Level = level;
    item.Mode = kModeDownload;
    return task.AddItem(std::move(item));
}

// One crawl of `target` items: every parsed page links to up to eight new items
// (three pages, five images); the dispatcher alternates pages and resources.
void Crawl(THXTask& task, std::size_t target)
{
    task.StartFresh();
    std::size_t added = 1;
    bool preferPage = true;
    for (;;)
    {
        THXQItem* next = preferPage ? task.NextPage() : task.NextResource();
        if (next == nullptr)
            next = preferPage ? task.NextResource() : task.NextPage();
        preferPage = !preferPage;
        if (next == nullptr)
            break;
        task.SetItemState(*next, kStateDownloading);
        next->Size = 2048;
        task.SetItemState(*next, kStateSaved);
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
BENCHMARK(BM_SimulatedCrawl)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SaveAndLoadQueue(benchmark::State& state)
{
    const auto target = static_cast<std::size_t>(state.range(0));
    auto source = NewTask();
    Crawl(*source, target);
    double saveSeconds = 0;
    double loadSeconds = 0;
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
        benchmark::DoNotOptimize(loaded->ItemCount());
    }
    state.counters["save_s"] = saveSeconds / static_cast<double>(state.iterations());
    state.counters["load_s"] = loadSeconds / static_cast<double>(state.iterations());
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(source->QueueFileName())) / 1e6;
}
BENCHMARK(BM_SaveAndLoadQueue)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

// Heap bytes an item costs beyond the text of its two lines, after a crawl has
// left every record-only string released.
void BM_MemoryPerItem(benchmark::State& state)
{
    const auto target = static_cast<std::size_t>(state.range(0));
    double perItem = 0;
    for (auto _ : state)
    {
        const std::size_t before = mallinfo2().uordblks;
        auto task = NewTask();
        Crawl(*task, target);
        const std::size_t after = mallinfo2().uordblks;
        std::size_t lineText = 0;
        for (int line = 0; line < task->QueueLineCount(); ++line)
            lineText += task->QueueLine(line).size();
        perItem = (static_cast<double>(after - before) - static_cast<double>(lineText)) /
                  static_cast<double>(task->ItemCount());
    }
    state.counters["bytes_per_item"] = perItem;
}
BENCHMARK(BM_MemoryPerItem)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
