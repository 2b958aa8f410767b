#include <filesystem>

#include "app/HXCli.h"
#include "core/HXTask.h"

namespace hx::cli
{

void ApplyWarcOption(const TCliArgs& args, THXTask& task)
{
    const auto file = args.Value(kWarc);
    if (!file)
        return;
    if (file->empty())
        throw EUsageError("option " + std::string(kWarc) + " needs a file name");
    // Kept in the task, so a later run (a resume, an update) adds to the same archive.
    task.WarcFile = std::filesystem::absolute(*file).lexically_normal().string();
}

} // namespace hx::cli
