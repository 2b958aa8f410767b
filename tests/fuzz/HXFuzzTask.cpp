// Fuzz target: the task file (its "Task" keys and the profile in the same file). The
// file is read as the program reads a task; a task that loads is written back, and the
// written file reads and writes again as the same bytes: a save loses nothing.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>

#include "HXFuzzSupport.h"
#include "core/HXApp.h"
#include "core/HXTask.h"

namespace
{

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Loads the file into a new task and saves it under another name; the saved bytes.
std::string LoadAndSave(hx::THXApp& app, const std::string& from, const std::string& to)
{
    hx::THXTask task(app);
    task.FileName = from;
    task.Load();
    (void)task.FileDamage();
    task.FileName = to;
    task.Save();
    return ReadBytes(to);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using hx::fuzz::Check;
    const auto home = hx::fuzz::FreshFolder();
    hx::THXApp app(hx::THXEnvironment::UnderHome(home.string()));
    const std::string folder = app.TasksFolder() + "General/";
    const std::string input = hx::fuzz::WriteFile(folder + "Input.hxt", hx::fuzz::InputText(data, size));

    std::string first;
    try
    {
        first = LoadAndSave(app, input, folder + "First.hxt");
    }
    catch (const std::exception&)
    {
        return 0; // refused as no task file: nothing more to check
    }
    const std::string second = LoadAndSave(app, folder + "First.hxt", folder + "Second.hxt");
    Check(second == first, "a saved task does not read back the same");
    return 0;
}
