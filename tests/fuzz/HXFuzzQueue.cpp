// Fuzz target: the queue file. It is read as a task's queue is read when a run
// resumes (its lines, then the items they describe); the records stay in URL and
// record pairs, and a queue that loads is written and read back with the same items.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "HXFuzzSupport.h"
#include "core/HXApp.h"
#include "core/HXTask.h"

namespace
{

struct TLoaded
{
    int Items = 0;
    int Lines = 0;
    bool Complete = false; // every record was read
};

TLoaded Load(hx::THXTask& task)
{
    TLoaded loaded;
    try
    {
        task.LoadQueue();
        loaded.Complete = true;
    }
    catch (const hx::EConvertError&)
    {
    }
    loaded.Items = task.ItemCount();
    loaded.Lines = task.QueueLineCount();
    hx::fuzz::Check(loaded.Lines % 2 == 0, "queue lines out of URL and record pairs");
    hx::fuzz::Check(loaded.Items <= loaded.Lines / 2, "more items than records");
    // A record whose state is no number ends the load; the items before it stay.
    for (int i = 0; loaded.Complete && i < loaded.Items; ++i)
        hx::fuzz::Check(task.Item(i) != nullptr, "a counted item is missing");
    return loaded;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using hx::fuzz::Check;
    const auto home = hx::fuzz::FreshFolder();
    hx::THXApp app(hx::THXEnvironment::UnderHome(home.string()));
    const std::string folder = app.TasksFolder() + "General/";

    hx::THXTask task(app);
    task.Name = "Queue";
    task.FileName = folder + "Queue.hxt";
    hx::fuzz::WriteFile(task.QueueFileName(), hx::fuzz::InputText(data, size));
    const TLoaded first = Load(task);
    (void)task.NextPage();
    (void)task.NextResource();
    if (!first.Complete)
        return 0;

    task.SaveQueue();
    hx::THXTask again(app);
    again.Name = "Queue";
    again.FileName = task.FileName;
    const TLoaded second = Load(again);
    Check(second.Complete, "a written queue is refused");
    Check(second.Items == first.Items && second.Lines == first.Lines, "a written queue reads back other items");
    for (int i = 0; i < first.Items; ++i)
        Check(again.Item(i)->URL == task.Item(i)->URL, "a written queue reads back other addresses");
    return 0;
}
