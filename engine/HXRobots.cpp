#include "engine/HXRobots.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/HXStrings.h"
#include "core/HXURL.h"
#include "net/aghttp.h"

namespace hx
{

namespace
{

// The status code of a status line ("HTTP/1.1 200 OK"), -1 when it holds none.
int StatusOfLine(std::string_view line)
{
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return -1;
    const std::string code = Trim(line.substr(space + 1, 4));
    std::int32_t value = 0;
    return code.size() == 3 && TryStrToInt(code, value) ? value : -1;
}

// "name: value" with the comment cut off; false for anything else.
bool SplitLine(std::string_view line, std::string& name, std::string& value)
{
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
        line = line.substr(0, hash);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return false;
    name = LowerCase(Trim(line.substr(0, colon)));
    value = Trim(line.substr(colon + 1));
    return !name.empty();
}

std::chrono::milliseconds ReadCrawlDelay(std::string_view value)
{
    // Seconds, possibly with a fraction ("0.5"); anything else is no delay. The number
    // is read without the locale: the windowed program runs under the desktop's, where
    // the decimal mark may be a comma.
    if (value.starts_with('+'))
        value.remove_prefix(1);
    double seconds = 0;
    const char* const end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, seconds, std::chars_format::general);
    if (error != std::errc() || stop != end)
        return std::chrono::milliseconds(0);
    if (!std::isfinite(seconds) || seconds <= 0)
        return std::chrono::milliseconds(0);
    if (seconds * 1000 >= static_cast<double>(kMaxCrawlDelay.count()))
        return kMaxCrawlDelay;
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::llround(seconds * 1000)));
}

} // namespace

// ---- TRobotsRules ----

TRobotsRules TRobotsRules::Parse(std::string_view text, std::string_view agent)
{
    const std::string agentName = LowerCase(agent);
    // The rules of the best group found so far (by the length of its matching
    // User-agent value, "*" counting as 0) and of the "*" groups.
    TRobotsRules best;
    TRobotsRules star;
    int bestLength = -1;
    bool starSeen = false;

    // The group being read: its agent values (until its first rule line), and
    // whether it is the best one, a "*" one, or of no interest.
    std::vector<std::string> groupAgents;
    bool inRules = false;
    TRobotsRules* target = nullptr;
    TRobotsRules* secondTarget = nullptr;

    auto chooseTargets = [&]
    {
        target = nullptr;
        secondTarget = nullptr;
        int matchLength = -1;
        bool isStar = false;
        for (const std::string& value : groupAgents)
        {
            if (value == "*")
                isStar = true;
            else if (!value.empty() && agentName.find(value) != std::string::npos)
                matchLength = std::max(matchLength, static_cast<int>(value.size()));
        }
        if (matchLength > bestLength)
        {
            best = {};
            bestLength = matchLength;
        }
        if (matchLength >= 0 && matchLength == bestLength)
            target = &best;
        if (isStar)
        {
            starSeen = true;
            (target == nullptr ? target : secondTarget) = &star;
        }
    };

    std::size_t start = 0;
    while (start <= text.size())
    {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        std::string name;
        std::string value;
        if (!SplitLine(line, name, value))
            continue;
        if (name == "user-agent")
        {
            if (inRules)
            {
                groupAgents.clear();
                inRules = false;
            }
            groupAgents.push_back(LowerCase(value));
            continue;
        }
        const bool allow = name == "allow";
        if (!allow && name != "disallow" && name != "crawl-delay")
            continue; // Sitemap and unknown lines belong to no group
        if (!inRules)
        {
            inRules = true;
            chooseTargets();
        }
        for (TRobotsRules* rules : {target, secondTarget})
        {
            if (rules == nullptr)
                continue;
            if (name == "crawl-delay")
                rules->m_crawlDelay = std::max(rules->m_crawlDelay, ReadCrawlDelay(value));
            else if (!value.empty()) // an empty Disallow allows everything: no rule
                rules->m_rules.push_back({value, allow});
        }
    }
    if (bestLength >= 0)
        return best;
    return starSeen ? star : TRobotsRules();
}

bool TRobotsRules::Matches(std::string_view pattern, std::string_view path)
{
    const bool anchored = pattern.ends_with('$');
    if (anchored)
        pattern.remove_suffix(1);
    // Match the pieces between "*" in order; the first is a prefix.
    std::size_t at = 0;
    bool first = true;
    while (true)
    {
        const std::size_t star = pattern.find('*');
        const std::string_view piece = pattern.substr(0, star);
        if (first)
        {
            if (!path.substr(at).starts_with(piece))
                return false;
            at += piece.size();
            first = false;
        }
        else if (star == std::string_view::npos && anchored)
        {
            // The last piece must end the path.
            return path.size() - at >= piece.size() && path.ends_with(piece);
        }
        else
        {
            const std::size_t found = path.find(piece, at);
            if (found == std::string_view::npos)
                return false;
            at = found + piece.size();
        }
        if (star == std::string_view::npos)
            return !anchored || at == path.size();
        pattern.remove_prefix(star + 1);
    }
}

bool TRobotsRules::Allows(std::string_view path) const
{
    // The robots file itself is always fetchable.
    if (path == "/robots.txt")
        return true;
    std::size_t bestLength = 0;
    bool allowed = true;
    bool matched = false;
    for (const TRule& rule : m_rules)
    {
        if (!Matches(rule.pattern, path))
            continue;
        const std::size_t length = rule.pattern.size();
        if (!matched || length > bestLength)
        {
            allowed = rule.allow;
            bestLength = length;
            matched = true;
        }
        else if (length == bestLength && rule.allow)
        {
            allowed = true;
        }
    }
    return allowed;
}

// ---- Sitemap lines ----

std::vector<std::string> RobotsSitemaps(std::string_view text)
{
    std::vector<std::string> found;
    std::size_t start = 0;
    while (start <= text.size() && found.size() < kMaxRobotsSitemaps)
    {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        // The value is an address, up to the first blank (a comment may follow): a "#"
        // inside it is its fragment, and its own "://" holds a colon.
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || LowerCase(Trim(line.substr(0, colon))) != "sitemap")
            continue;
        std::string value = Trim(line.substr(colon + 1));
        value = value.substr(0, value.find_first_of(" \t"));
        if (IsWebURL(value) && std::find(found.begin(), found.end(), value) == found.end())
            found.push_back(value);
    }
    return found;
}

// ---- small site files ----

void TSiteFileBody::Write(std::string_view data)
{
    m_received += static_cast<std::int64_t>(data.size());
    if (m_cut)
        return;
    const std::size_t room = m_limit - std::min(m_limit, m_bytes.size());
    m_bytes.append(data.substr(0, std::min(room, data.size())));
    if (data.size() > room)
    {
        m_cut = true;
        if (m_http != nullptr)
            m_http->Cancel();
    }
}

void TSiteFileBody::Clear()
{
    m_bytes.clear();
    m_received = 0;
    m_cut = false;
}

bool TSiteFileBody::BeginBody(const std::string& resumeFile, std::int64_t offset)
{
    (void)resumeFile;
    (void)offset;
    return false;
}

bool FetchSiteFile(TagHTTP& http, const std::string& url, const TRobotsRequest& request, TSiteFileBody& body)
{
    http.SetBodyTarget(&body);
    body.SetClient(&http);
    http.SetUserAgent(request.UserAgent);
    http.SetProxyUserName(request.ProxyUserName);
    http.SetProxyPassword(request.ProxyPassword);
    http.SetTLSOptions(request.TLS);
    http.SetTimeOut(kRobotsTimeOut);
    bool fetched = false;
    try
    {
        http.SetProxy(request.Proxy);
        std::string next = url;
        for (int redirects = 0; redirects <= kMaxRobotsRedirects; ++redirects)
        {
            http.SetURL(next);
            const int status = http.Get();
            if (status >= 200 && status < 300)
            {
                fetched = true;
                break;
            }
            if (status < 300 || status >= 400)
                break;
            const std::string location = http.HeaderValue("Location");
            if (location.empty())
                break;
            next = ResolveAndNormalize(location, IsWebURL(location) ? std::string() : DirectoryURL(next));
            if (!IsWebURL(next))
                break;
        }
    }
    catch (const std::exception&)
    {
        // No answer; or a body cut at its limit, whose kept part serves when the
        // answer was a success.
        if (body.Cut() && !http.Headers().empty())
        {
            const int status = StatusOfLine(http.Headers().front());
            fetched = status >= 200 && status < 300;
        }
    }
    body.SetClient(nullptr);
    http.SetBodyTarget(nullptr);
    return fetched;
}

// ---- site and path of a URL ----

std::string RobotsSite(std::string_view url)
{
    const TqkURL parts = SplitURL(url);
    std::string site = LowerCase(parts.Protocol) + LowerCase(parts.Host);
    if (!parts.Port.empty())
        site += ":" + parts.Port;
    return site + "/";
}

std::string RobotsPath(std::string_view url)
{
    // A fragment never reaches the server.
    const TqkURL parts = SplitURL(StripFragment(url));
    return "/" + parts.Path + parts.Document + parts.Query;
}

// ---- THXRobots ----

THXRobots::THXRobots(std::function<void()> onLoaded)
    : m_onLoaded(std::move(onLoaded))
{
    m_thread = std::thread([this] { Execute(); });
}

THXRobots::~THXRobots()
{
    {
        std::unique_lock lock(m_mutex);
        m_ending = true;
        m_jobs.clear();
        m_wake.notify_all();
        EndFetchLocked(lock);
    }
    m_thread.join();
}

void THXRobots::EndFetchLocked(std::unique_lock<std::mutex>& lock)
{
    // A cancel that arrives just before the client begins its exchange is lost (the
    // exchange starts afresh), so it is repeated until the fetch has ended.
    while (m_current != nullptr)
    {
        m_current->Cancel();
        m_wake.wait_for(lock, kRobotsCancelStep);
    }
}

void THXRobots::Reset()
{
    std::unique_lock lock(m_mutex);
    ++m_generation;
    m_sites.clear();
    m_jobs.clear();
    EndFetchLocked(lock);
}

THXRobots::TVerdict THXRobots::Check(std::string_view url, const TRobotsRequest& request)
{
    const std::string site = RobotsSite(url);
    std::shared_ptr<const TRobotsRules> rules;
    {
        std::lock_guard lock(m_mutex);
        const auto [known, added] = m_sites.try_emplace(site);
        if (added)
        {
            m_jobs.push_back({site, request, m_generation});
            m_wake.notify_all();
            return TVerdict::Pending;
        }
        rules = known->second;
    }
    if (!rules)
        return TVerdict::Pending;
    return rules->Allows(RobotsPath(url)) ? TVerdict::Allowed : TVerdict::Disallowed;
}

std::chrono::milliseconds THXRobots::CrawlDelay(std::string_view url) const
{
    const std::string site = RobotsSite(url);
    std::lock_guard lock(m_mutex);
    const auto known = m_sites.find(site);
    return known != m_sites.end() && known->second ? known->second->CrawlDelay() : std::chrono::milliseconds(0);
}

TRobotsRules THXRobots::Load(TagHTTP& http, const std::string& site, const TRobotsRequest& request)
{
    // No answer, or an answer that is not a success: everything is allowed.
    TSiteFileBody body(kMaxRobotsBytes);
    if (!FetchSiteFile(http, site + "robots.txt", request, body))
        return {};
    return TRobotsRules::Parse(body.Bytes(), request.UserAgent);
}

void THXRobots::Execute()
{
    for (;;)
    {
        TJob job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_ending || !m_jobs.empty(); });
            if (m_ending)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        TagHTTP http;
        {
            std::lock_guard lock(m_mutex);
            if (m_ending || job.generation != m_generation)
                continue;
            m_current = &http;
        }
        auto rules = std::make_shared<const TRobotsRules>(Load(http, job.site, job.request));
        bool current = false;
        {
            std::lock_guard lock(m_mutex);
            m_current = nullptr;
            m_wake.notify_all();
            current = job.generation == m_generation && !m_ending;
            if (current)
                m_sites[job.site] = std::move(rules);
        }
        if (current && m_onLoaded)
            m_onLoaded();
    }
}

} // namespace hx
