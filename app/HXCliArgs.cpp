#include "app/HXCli.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "core/HXApp.h"

namespace hx::cli
{

TCliArgs::TCliArgs(const std::vector<std::string>& args, const std::set<std::string, std::less<>>& valueOptions,
                   const std::set<std::string, std::less<>>& flagOptions)
{
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        // "-i FILE" is wget's short form of --input-file.
        const std::string arg = !optionsEnded && args[i] == "-i" ? std::string("--input-file") : args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0)
        {
            m_positional.push_back(arg);
            continue;
        }
        if (arg == "--")
        {
            optionsEnded = true;
            continue;
        }
        const auto equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (valueOptions.contains(name))
        {
            if (equals != std::string::npos)
                m_values.emplace_back(name, arg.substr(equals + 1));
            else if (i + 1 < args.size())
                m_values.emplace_back(name, args[++i]);
            else
                throw EUsageError("option " + name + " needs a value");
        }
        else if (flagOptions.contains(name))
        {
            if (equals != std::string::npos)
                throw EUsageError("option " + name + " takes no value");
            m_flags.insert(name);
        }
        else if (name == "--password")
        {
            // Other users of the machine can read a command line.
            throw EUsageError("no password on the command line, where other users can read it: give "
                              "--password-file FILE (\"-\" reads it from standard input)");
        }
        else if (const TOptionInfo* known = FindOption(name))
        {
            throw EUsageError("option " + name +
                              " does not apply to this command (it is for: " + std::string(known->Commands) + ")");
        }
        else
        {
            throw EUsageError("unknown option " + name);
        }
    }
}

bool TCliArgs::Flag(std::string_view name) const
{
    return m_flags.contains(name);
}

std::optional<std::string> TCliArgs::Value(std::string_view name) const
{
    for (auto it = m_values.rbegin(); it != m_values.rend(); ++it)
        if (it->first == name)
            return it->second;
    return std::nullopt;
}

std::optional<int> TCliArgs::IntValue(std::string_view name, int minimum, int maximum) const
{
    const auto text = Value(name);
    if (!text)
        return std::nullopt;
    int value = 0;
    const auto* first = text->data();
    const auto* last = first + text->size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (text->empty() || error != std::errc() || end != last || value < minimum || value > maximum)
        throw EUsageError("option " + std::string(name) + " needs a whole number from " + std::to_string(minimum) +
                          " to " + std::to_string(maximum) + ", not \"" + *text + "\"");
    return value;
}

std::vector<std::string> TCliArgs::Values(std::string_view name) const
{
    std::vector<std::string> values;
    for (const auto& [option, value] : m_values)
        if (option == name)
            values.push_back(value);
    return values;
}

int TCliArgs::CountFlags(std::initializer_list<std::string_view> names) const
{
    return static_cast<int>(std::count_if(names.begin(), names.end(), [&](std::string_view n) { return Flag(n); }));
}

void ApplyConnectionFlags(THXApp& app, const TCliArgs& args)
{
    // Like wget's option of the same name: this run only, the setting is not stored.
    if (args.Flag(kNoCheckCertificate))
        app.OverrideCheckCertificates(false);
    if (args.Flag(kNoRobots))
        app.OverrideObeyRobots(false);
    if (args.Flag(kNoHttp2))
        app.OverrideNoHttp2();
    if (const auto seconds = args.IntValue(kConnectTimeOut, kMinConnectTimeOut, kMaxConnectTimeOut))
        app.OverrideConnectTimeOut(*seconds);
}

std::string ResolveTaskFile(THXApp& app, const std::string& given)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::is_regular_file(given, error))
        return fs::absolute(given, error).string();
    const std::string name =
        given.size() > 4 && given.compare(given.size() - 4, 4, ".hxt") == 0 ? given : given + ".hxt";
    const fs::path tasks = app.TasksFolder();
    if (fs::is_regular_file(tasks / "General" / name, error))
        return (tasks / "General" / name).string();
    for (fs::recursive_directory_iterator it(tasks, error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file(error) && it->path().filename() == name)
            return it->path().string();
    throw EUsageError("no task file \"" + given + "\" (give a path, or a task name under " + tasks.string() + ")");
}

} // namespace hx::cli
