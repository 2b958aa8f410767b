// The options harbex-cli's commands share: the table of every option (so one
// given to the wrong command, or before the command, is named clearly), the
// options that set a task and its profile copy, and those of the output.

#include "app/HXCli.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iostream>

#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "net/aghttp.h"

namespace hx::cli
{

namespace
{

constexpr std::string_view kFetching = "copy, run";
constexpr std::string_view kCrawling = "copy, run, schedule, demo, explain";
constexpr std::string_view kConnecting = "copy, run, schedule, explain";

// Every option of every command: whether it takes a value, and which commands take it.
constexpr std::array kOptions = {
    TOptionInfo{"--profile", true, "copy"},
    TOptionInfo{"--folder", true, "copy"},
    TOptionInfo{"--zip", true, "copy"},
    TOptionInfo{"--depth", true, "copy"},
    TOptionInfo{"--name", true, "copy"},
    TOptionInfo{"--category", true, "copy"},
    TOptionInfo{"--sitemaps", false, "copy"},
    TOptionInfo{kRender, false, "copy"},
    TOptionInfo{"--login-url", true, "copy"},
    TOptionInfo{"--post-data", true, "copy"},
    TOptionInfo{"--connections", true, kFetching},
    TOptionInfo{"--load-cookies", true, kFetching},
    TOptionInfo{"--save-cookies", true, kFetching},
    TOptionInfo{"--include", true, kFetching},
    TOptionInfo{"--exclude", true, kFetching},
    TOptionInfo{"--types", true, kFetching},
    TOptionInfo{"--pages", true, kFetching},
    TOptionInfo{"--resources", true, kFetching},
    TOptionInfo{"--user", true, kFetching},
    TOptionInfo{"--password-file", true, kFetching},
    TOptionInfo{"--header", true, kFetching},
    TOptionInfo{"--user-agent", true, kFetching},
    TOptionInfo{"--limit-rate", true, kFetching},
    TOptionInfo{"--wait", true, kFetching},
    TOptionInfo{kWarc, true, kFetching},
    TOptionInfo{"--input-file", true, kFetching},
    TOptionInfo{"--quiet", false, kFetching},
    TOptionInfo{"--verbose", false, kFetching},
    TOptionInfo{"--json", false, "copy, run, tasks, explain, settings"},
    TOptionInfo{"--restart", false, "run"},
    TOptionInfo{"--resume", false, "run"},
    TOptionInfo{"--update", false, "run"},
    TOptionInfo{"--recover", false, "run"},
    TOptionInfo{"--map", false, "run"},
    TOptionInfo{"--pacing", true, kCrawling},
    TOptionInfo{kNoCheckCertificate, false, kConnecting},
    TOptionInfo{kNoRobots, false, kConnecting},
    TOptionInfo{kNoHttp2, false, kConnecting},
    TOptionInfo{kConnectTimeOut, true, kConnecting},
    TOptionInfo{"--task", true, "explain"},
    TOptionInfo{"--level", true, "explain"},
    TOptionInfo{"--errors", false, "report"},
    TOptionInfo{"--overwrite", false, "zip extract"},
    TOptionInfo{"--recurse", false, "zip add"},
};

// "site", "folder" or "anywhere": the profile's location code.
int LocationCode(std::string_view option, const std::string& text)
{
    if (text == "folder")
        return 0;
    if (text == "site")
        return 1;
    if (text == "anywhere")
        return 2;
    throw EUsageError("option " + std::string(option) + " is site, folder or anywhere, not \"" + text + "\"");
}

// A number with an optional fraction, e.g. "1.5".
std::optional<double> Decimal(const std::string& text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

// The extensions of the named file type groups (names compared without case).
TStringList TypesOfGroups(THXApp& app, const std::string& names)
{
    const TFileTypeGroups groups = ReadGroups(app.Store());
    TStringList extensions;
    std::size_t at = 0;
    while (at <= names.size())
    {
        const std::size_t comma = names.find(',', at);
        const std::string name = Trim(names.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
        at = comma == std::string::npos ? names.size() + 1 : comma + 1;
        if (name.empty())
            continue;
        const auto found = std::find_if(groups.names.begin(), groups.names.end(),
                                        [&](const std::string& group) { return SameTextNoCase(group, name); });
        if (found == groups.names.end())
        {
            std::string known;
            for (const std::string& group : groups.names)
                known += (known.empty() ? "" : ", ") + group;
            throw EUsageError("no file type group \"" + name + "\" (the groups are: " + known + ")");
        }
        const std::string& text = groups.texts[static_cast<std::size_t>(found - groups.names.begin())];
        std::size_t from = 0;
        for (std::size_t semicolon = text.find(';'); semicolon != std::string::npos;
             from = semicolon + 1, semicolon = text.find(';', from))
        {
            const std::string extension = LowerCase(Trim(text.substr(from, semicolon - from)));
            if (!extension.empty() && std::find(extensions.begin(), extensions.end(), extension) == extensions.end())
                extensions.push_back(extension);
        }
    }
    if (extensions.empty())
        throw EUsageError("option --types needs at least one file type group");
    return extensions;
}

// The first line of the file: the password, never given on the command line.
std::string ReadPasswordFile(const std::string& path)
{
    std::ifstream file;
    std::istream* in = &std::cin;
    if (path != "-")
    {
        file.open(path, std::ios::binary);
        if (!file)
            throw EUsageError("cannot read the password file " + path);
        in = &file;
    }
    std::string password;
    std::getline(*in, password);
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return password;
}

} // namespace

const TOptionInfo* FindOption(std::string_view name)
{
    const auto found =
        std::find_if(kOptions.begin(), kOptions.end(), [&](const TOptionInfo& info) { return info.Name == name; });
    return found == kOptions.end() ? nullptr : &*found;
}

const std::set<std::string, std::less<>>& TaskValueOptions()
{
    static const std::set<std::string, std::less<>> options = {
        "--include", "--exclude",    "--types",      "--pages", "--resources",  "--user",          "--password-file",
        "--header",  "--user-agent", "--limit-rate", "--wait",  "--input-file", std::string(kWarc)};
    return options;
}

const std::set<std::string, std::less<>>& OutputFlags()
{
    static const std::set<std::string, std::less<>> flags = {"--quiet", "--verbose", "--json"};
    return flags;
}

std::int64_t ParseRate(const std::string& text)
{
    std::string number = text;
    double unit = 1;
    if (!number.empty() && (number.back() == 'k' || number.back() == 'K'))
        unit = 1024;
    else if (!number.empty() && (number.back() == 'm' || number.back() == 'M'))
        unit = 1024.0 * 1024.0;
    if (unit > 1)
        number.pop_back();
    const auto value = Decimal(number);
    // A cap below one kilobyte a second would let no page through in time.
    if (!value || (*value > 0 && *value * unit < 1024) || *value * unit > 1e12)
        throw EUsageError("option --limit-rate needs bytes per second from 1k up, with k or M for kilo- or "
                          "megabytes (e.g. 200k, 1.5M), or 0 for no cap; not \"" +
                          text + "\"");
    return static_cast<std::int64_t>(std::llround(*value * unit));
}

void ApplyTaskOptions(THXApp& app, const TCliArgs& args, THXTask& task)
{
    THXProfile& profile = task.Profile;
    for (const std::string& pattern : args.Values("--include"))
    {
        if (pattern.empty())
            throw EUsageError("option --include needs a pattern");
        profile.URLFiltersInclude.push_back(pattern);
    }
    for (const std::string& pattern : args.Values("--exclude"))
    {
        if (pattern.empty())
            throw EUsageError("option --exclude needs a pattern");
        profile.URLFiltersExclude.push_back(pattern);
    }
    if (const auto types = args.Value("--types"))
        profile.FileTypes = TypesOfGroups(app, *types);
    if (const auto pages = args.Value("--pages"))
        profile.PageLocation = LocationCode("--pages", *pages);
    if (const auto resources = args.Value("--resources"))
        profile.ResourceLocation = LocationCode("--resources", *resources);

    const auto user = args.Value("--user");
    const auto passwordFile = args.Value("--password-file");
    if (passwordFile && !user)
        throw EUsageError("option --password-file goes with --user NAME");
    if (user)
    {
        if (user->find(':') != std::string::npos)
            throw EUsageError("a user name for --user holds no \":\" (give the password with --password-file FILE)");
        task.UserName = *user;
        task.Password = passwordFile ? ReadPasswordFile(*passwordFile) : std::string();
    }

    for (const std::string& line : args.Values("--header"))
    {
        if (const std::string problem = ExtraHeaderProblem(line); !problem.empty())
            throw EUsageError("--header \"" + line + "\" is refused: " + problem);
        // A header given again replaces the task's line of that name.
        const std::string name = Trim(line.substr(0, line.find(':')));
        std::erase_if(task.ExtraHeaders, [&](const std::string& kept)
                      { return SameTextNoCase(Trim(kept.substr(0, kept.find(':'))), name); });
        task.ExtraHeaders.push_back(line);
    }
    if (const auto agent = args.Value("--user-agent"))
    {
        if (std::any_of(agent->begin(), agent->end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
            throw EUsageError("option --user-agent takes one line of text");
        task.AgentText = *agent;
    }
    if (const auto rate = args.Value("--limit-rate"))
        task.LimitRate = ParseRate(*rate);
}

std::optional<std::chrono::milliseconds> WaitOption(const TCliArgs& args)
{
    const auto text = args.Value("--wait");
    if (!text)
        return std::nullopt;
    const auto seconds = Decimal(*text);
    if (!seconds || *seconds > 3600)
        throw EUsageError("option --wait needs seconds from 0 to 3600 (e.g. 2 or 0.5), not \"" + *text + "\"");
    return std::chrono::milliseconds(std::llround(*seconds * 1000));
}

TOutputMode OutputModeOf(const TCliArgs& args)
{
    if (args.CountFlags({"--quiet", "--verbose"}) > 1)
        throw EUsageError("give --quiet or --verbose, not both");
    TOutputMode mode;
    mode.Quiet = args.Flag("--quiet");
    mode.Verbose = args.Flag("--verbose");
    mode.Json = args.Flag("--json");
    return mode;
}

std::vector<std::string> InputLines(const std::string& file)
{
    std::ifstream stream;
    std::istream* in = &std::cin;
    if (file != "-")
    {
        stream.open(file, std::ios::binary);
        if (!stream)
            throw EUsageError("cannot read the input file " + file);
        in = &stream;
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(*in, line);)
    {
        line = Trim(line);
        // Empty lines and "#" comments are passed over, as wget does.
        if (!line.empty() && line.front() != '#')
            lines.push_back(line);
    }
    return lines;
}

} // namespace hx::cli
