// Fuzz target: the active-task list ("ActiveTasks.lst"). The program reads it at
// start-up; the list it then writes reads back as the same list.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "HXFuzzSupport.h"
#include "core/HXApp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using hx::fuzz::Check;
    const auto home = hx::fuzz::FreshFolder();
    const auto environment = hx::THXEnvironment::UnderHome(home.string());
    hx::fuzz::WriteFile(home / "ActiveTasks.lst", hx::fuzz::InputText(data, size));

    hx::THXApp app(environment);
    const std::vector<std::string> listed = app.ReadActiveTaskFile();
    Check(app.ActiveTasks.size() == listed.size(), "start-up lists other tasks than the file");
    for (std::size_t i = 0; i < listed.size(); ++i)
        Check(app.ActiveTasks[i].fileName == listed[i], "start-up lists other tasks than the file");
    app.SaveActiveTasks();
    Check(app.ReadActiveTaskFile() == listed, "the written list does not read back the same");
    return 0;
}
