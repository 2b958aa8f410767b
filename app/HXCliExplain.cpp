// The "explain" command of harbex-cli: how a task's profile treats one address, for
// users working out their filters. The address is taken as a link found on a page
// of the task at the given level (1: a link on the start page): it is resolved and
// normalised as the parse worker does, put in its file type group, and decided
// with the following rules; the rule that decided is named, and the local file and
// the link the start page would carry are shown. A page a run would leave out for
// its site's robots.txt is said to be left out for it.

#include "app/HXCli.h"

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/HXCliJson.h"
#include "core/HXApp.h"
#include "core/HXEncoding.h"
#include "core/HXFileTypes.h"
#include "core/HXProfile.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "net/HXProxy.h"
#include "engine/HXRobots.h"
#include "engine/HXThreadParseRewrite.h"
#include "engine/HXThreadParseRules.h"

namespace hx::cli
{

namespace
{

constexpr int kDefaultLevel = 1;
constexpr int kMaxLevel = 1000000;

// The outcome of the following rules for one URL, with the step that decided it.
struct TFollowVerdict
{
    bool follow = false;
    std::string rule;
    std::string reason;
};

// The words of a filter group; an empty word (a group that is only a scope tag) is none.
std::vector<std::string> FilterWords(const TFilterGroup& group)
{
    std::vector<std::string> words;
    for (const std::string& word : group.words)
    {
        if (!word.empty())
            words.push_back(word);
    }
    return words;
}

// The first word of the group that does not occur in the URL, or none.
const std::string* MissingWord(const std::vector<std::string>& words, std::string_view url)
{
    const auto missing =
        std::find_if(words.begin(), words.end(),
                     [url](const std::string& word) { return url.find(word) == std::string_view::npos; });
    return missing == words.end() ? nullptr : &*missing;
}

std::string LocationName(int location)
{
    switch (location)
    {
    case kLocationStartDirectory:
        return "the start directory";
    case kLocationStartSite:
        return "the start site";
    case kLocationAnywhere:
        return "anywhere";
    default:
        return "location code " + std::to_string(location);
    }
}

// The following rules of the parse worker taken step by step, in their order, so
// the step that decides can be named: protocol, file types, depth, exclude
// filters, include filters, scripts and style sheets, location.
TFollowVerdict ExplainFollow(const THXProfile& profile, const std::string& url, const std::string& startDirectory,
                             int level, const std::string& group)
{
    const bool page = group == kPageGroup;
    const std::string kind = page ? "page" : "resource";

    if (!IsWebURL(url))
        return {false, "protocol", "only http:// and https:// addresses are fetched"};

    const std::string extension = URLExtension(url);
    if (!profile.FileTypes.empty() && !extension.empty() &&
        std::none_of(profile.FileTypes.begin(), profile.FileTypes.end(),
                     [&](const std::string& type) { return LowerCase(type) == extension; }))
        return {false, "file types", "the extension " + extension + " is not one of the profile's file types"};

    if (page && profile.Depth >= 0 && profile.Depth < level)
        return {false, "depth",
                "a page at level " + std::to_string(level) + " is deeper than the profile's depth of " +
                    std::to_string(profile.Depth)};

    for (const std::string& text : profile.URLFiltersExclude)
    {
        const TFilterGroup filter = ParseFilterGroup(text);
        const std::vector<std::string> words = FilterWords(filter);
        if (!words.empty() && ScopeCovers(filter.scope, page) && MissingWord(words, url) == nullptr)
            return {false, "exclude filter", "every word of the exclude group \"" + text + "\" occurs in the URL"};
    }

    std::string passedInclude;
    if (!profile.URLFiltersInclude.empty())
    {
        // The first group that lets the link through: one whose scope leaves this kind
        // of link alone, or whose words all occur.
        std::string misses;
        for (const std::string& text : profile.URLFiltersInclude)
        {
            const TFilterGroup filter = ParseFilterGroup(text);
            const std::vector<std::string> words = FilterWords(filter);
            if (!ScopeCovers(filter.scope, page))
            {
                passedInclude = "the include group \"" + text + "\" does not apply to " + kind + " links";
                break;
            }
            const std::string* missing = MissingWord(words, url);
            if (missing == nullptr)
            {
                passedInclude = "the include group \"" + text + "\" is satisfied";
                break;
            }
            misses += (misses.empty() ? "" : "; ") + ("\"" + text + "\" lacks \"" + *missing + "\"");
        }
        if (passedInclude.empty())
            return {false, "include filters", "no include group is satisfied (" + misses + ")"};
    }
    auto withInclude = [&passedInclude](std::string reason)
    { return passedInclude.empty() ? reason : reason + "; " + passedInclude; };

    if (extension == ".js" || extension == ".css")
        return {true, "scripts and style sheets",
                withInclude("scripts and style sheets are fetched wherever they are")};

    const int location = page ? profile.PageLocation : profile.ResourceLocation;
    const std::string where = "the profile's " + kind + " location is " + LocationName(location);
    switch (location)
    {
    case kLocationStartDirectory:
        if (url.starts_with(startDirectory))
            return {true, "location", withInclude("the URL is below the start directory " + startDirectory)};
        return {false, "location", "the URL is not below the start directory " + startDirectory + " (" + where + ")"};
    case kLocationStartSite:
    {
        const std::string site = AncestorURL(startDirectory, 0);
        if (url.find(site) != std::string::npos)
            return {true, "location", withInclude("the URL is on the start site " + site)};
        return {false, "location", "the URL is not on the start site " + site + " (" + where + ")"};
    }
    case kLocationAnywhere:
        return {true, "location", withInclude(where)};
    default:
        return {false, "location",
                "the profile's " + kind + " location has the unknown code " + std::to_string(location) +
                    ", which follows nothing"};
    }
}

// Robots.txt as a run applies it: only in fast pacing with "Obey Robots" on, only to
// pages, and never to the start page (level 0), which the person asked for. The
// site's file is fetched as a run fetches it; one that cannot be had allows all.
std::optional<TFollowVerdict> ExplainRobots(THXApp& app, const THXTask& task, const std::string& url, int level,
                                            bool classicPacing)
{
    if (!app.ObeyRobots() || classicPacing || level == 0)
        return std::nullopt;
    const TTransferProxy proxy = TransferProxy(app);
    const TRobotsRequest request{task.UserAgent(), proxy.Proxy, proxy.UserName, proxy.Password,
                                 TTLSOptions{app.CheckCertificates(), app.CAFile()}};
    TagHTTP http;
    const std::string site = RobotsSite(url);
    if (THXRobots::Load(http, site, request).Allows(RobotsPath(url)))
        return std::nullopt;
    return TFollowVerdict{false, "robots.txt",
                          site + "robots.txt keeps the page out (the \"Obey Robots\" setting; --no-robots fetches "
                                 "it anyway)"};
}

std::string GroupDescription(const std::string& group)
{
    if (group == kPageGroup)
        return group + " (a page)";
    if (group.empty())
        return "(no group; a resource)";
    return group + " (a resource)";
}

} // namespace

int CommandExplain(THXApp& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    const TCliArgs parsed(args, {"--task", "--level", "--pacing", std::string(kConnectTimeOut)},
                          {std::string(kNoRobots), std::string(kNoCheckCertificate), "--json"});
    const auto& positional = parsed.Positional();
    if (positional.empty())
        throw EUsageError("explain needs a URL");
    if (positional.size() > 1)
        throw EUsageError("extra argument: " + positional[1]);
    const std::optional<std::string> taskName = parsed.Value("--task");
    if (!taskName)
        throw EUsageError("explain needs --task TASKFILE: the task whose profile decides");
    const int level = parsed.IntValue("--level", 0, kMaxLevel).value_or(kDefaultLevel);
    const std::optional<std::string> pacing = parsed.Value("--pacing");
    if (pacing && *pacing != "classic" && *pacing != "fast")
        throw EUsageError("--pacing is \"classic\" or \"fast\", not \"" + *pacing + "\"");
    ApplyConnectionFlags(app, parsed);

    THXTask task(app);
    task.FileName = ResolveTaskFile(app, *taskName);
    task.Load();
    if (task.URL.empty())
    {
        err << "harbex-cli: task \"" << task.Name << "\" has no starting URL\n";
        return kExitFailed;
    }

    // The start page's folder is where its links are resolved and whence the
    // location rules measure.
    const std::string startDirectory = DirectoryURL(task.URL);
    const std::string given = PageTextToUtf8(positional.front());
    if (given.empty() || given.front() == '#' || ContainsNoCase(given, "mailto:"))
    {
        err << "harbex-cli: \"" << given
            << "\" is never followed: links that are empty, only a fragment or a mail address are left alone\n";
        return kExitFailed;
    }
    const std::string url = ResolveAndNormalize(given, startDirectory);
    if (url.empty())
    {
        err << "harbex-cli: cannot normalise \"" << given
            << "\": only http:// and https:// addresses with a host name are copied\n";
        return kExitFailed;
    }

    const std::string group = GroupOfURL(ReadGroups(app.Store()), url);
    TFollowVerdict verdict = ExplainFollow(task.Profile, url, startDirectory, level, group);
    const bool classicPacing = pacing ? *pacing == "classic" : app.Pacing() == kPacingClassic;
    if (verdict.follow && group == kPageGroup)
        if (auto robots = ExplainRobots(app, task, StripFragment(url), level, classicPacing))
            verdict = std::move(*robots);
    const std::string stripped = StripFragment(url);
    const std::string localFile = LocalFileName(task.WorkingFolder(), DirectoryURL(stripped), stripped);

    // What the start page carries for the link once saved: the link to the local copy
    // when it is converted, the address itself otherwise.
    const THXProfile& profile = task.Profile;
    const bool converted = verdict.follow ? profile.ConvertFollowedLinks == 1
                                          : profile.ConvertUnfollowedLinks == 2 ||
                                                (profile.ConvertUnfollowedLinks == 1 &&
                                                 url.find(AncestorURL(startDirectory, 0)) != std::string::npos);
    const std::size_t hash = given.find('#');
    const std::string fragment = hash == std::string::npos ? std::string() : given.substr(hash);
    std::string link = converted ? ConvertedLink(url, startDirectory, fragment) : url;
    if (converted)
        link += verdict.follow ? "  (converted to the local copy)"
                               : "  (converted, though this link does not fetch the file)";
    else
        link += verdict.follow ? "  (left as it is: the profile does not convert followed links)"
                               : "  (left as it is: it leads to the web)";

    if (parsed.Flag("--json"))
    {
        TJsonObject json;
        json.Add("url", url)
            .Add("task", task.Name)
            .Add("task_file", task.FileName)
            .Add("start_page", task.URL)
            .Add("profile", profile.Name)
            .Add("file_type", group)
            .Add("level", level)
            .Add("followed", verdict.follow)
            .Add("rule", verdict.rule)
            .Add("reason", verdict.reason)
            .Add("local_file", localFile)
            .Add("start_page_link", converted ? ConvertedLink(url, startDirectory, fragment) : url)
            .Add("link_converted", converted);
        out << json.Text() << "\n";
        return kExitOk;
    }
    out << "URL: " << url << "\n";
    out << "Task: " << task.Name << " (" << task.FileName << ")\n";
    out << "Start page: " << task.URL << "\n";
    out << "Profile: " << (profile.Name.empty() ? std::string("(unnamed)") : profile.Name) << "\n";
    out << "File type: " << GroupDescription(group) << "\n";
    out << "Level: " << level << "\n";
    out << "Followed: " << (verdict.follow ? "yes" : "no") << "\n";
    out << "Decided by: " << verdict.rule << ": " << verdict.reason << "\n";
    out << "Local file: " << localFile << "\n";
    out << "Start page link: " << link << "\n";
    return kExitOk;
}

} // namespace hx::cli
