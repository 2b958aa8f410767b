#pragma once

// Robots exclusion: a site's "/robots.txt" says which of its pages a crawler may
// fetch and how long it should wait between two requests. TRobotsRules reads such a
// file for one agent name; THXRobots fetches each site's file once (on its own
// thread), keeps the rules of every site met in a run and answers, for a URL,
// whether its page may be fetched.
//
// The rules decide pages only: the images, style sheets and scripts a page needs
// are fetched whatever the file says, so every page that is copied displays as it
// does on line. A file that cannot be fetched (no answer, an error status, a
// redirect chain that does not end) or that holds nothing recognisable allows
// everything.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/aghttp.h"
#include "net/agtlsstream.h"

namespace hx
{

// The status text of a page the site's robots.txt keeps out.
inline constexpr std::string_view kRobotsDisallowedText = "Disallowed by robots.txt";
// A Crawl-delay above this is taken as this: a mistyped value must not stall a copy.
inline constexpr std::chrono::milliseconds kMaxCrawlDelay{60'000};
// The part of a robots.txt that is read; the rest is ignored.
inline constexpr std::size_t kMaxRobotsBytes = 512 * 1024;
// Redirects followed to reach a robots.txt.
inline constexpr int kMaxRobotsRedirects = 5;
// Seconds one robots.txt request may take.
inline constexpr int kRobotsTimeOut = 20;
// How often a cancel is repeated while a fetch that is being ended still runs.
inline constexpr std::chrono::milliseconds kRobotsCancelStep{20};

class TRobotsRules
{
public:
    // Allows everything.
    TRobotsRules() = default;

    // The rules of `text` that apply to `agent`: the groups whose User-agent value
    // occurs in the agent name (letter case ignored; the longest such value wins,
    // groups naming the same value are merged), else the "*" groups. Lines that are
    // not "name: value" pairs are skipped.
    static TRobotsRules Parse(std::string_view text, std::string_view agent);

    // Whether a URL path (with its query, starting with "/") may be fetched: the
    // longest matching pattern decides, Allow winning a tie; no match allows.
    // Patterns know "*" (any run of characters) and a final "$" (end of the path).
    bool Allows(std::string_view path) const;

    // The group's Crawl-delay (zero when none), at most kMaxCrawlDelay.
    std::chrono::milliseconds CrawlDelay() const { return m_crawlDelay; }

private:
    struct TRule
    {
        std::string pattern;
        bool allow = false;
    };

    static bool Matches(std::string_view pattern, std::string_view path);

    std::vector<TRule> m_rules;
    std::chrono::milliseconds m_crawlDelay{0};
};

// How the robots.txt requests are made: as the task's transfers are.
struct TRobotsRequest
{
    std::string UserAgent;
    std::string Proxy; // "host:port", empty for a direct connection
    std::string ProxyUserName;
    std::string ProxyPassword;
    TTLSOptions TLS;
};

// The "Sitemap:" lines of a robots.txt, in file order: the values that are web
// addresses, each once, at most kMaxRobotsSitemaps of them. They belong to no group.
inline constexpr std::size_t kMaxRobotsSitemaps = 100;
std::vector<std::string> RobotsSitemaps(std::string_view text);

// A small file of a site (robots.txt, a sitemap) held in memory. At most `limit`
// bytes are kept: a body that goes past it is cut there and its transfer ended, so
// an endless answer cannot hold the reader; what was kept stays usable.
class TSiteFileBody final : public TBodyTarget
{
public:
    explicit TSiteFileBody(std::size_t limit)
        : m_limit(limit)
    {
    }
    // The client whose transfer is ended when the body is cut (null: none).
    void SetClient(TagHTTP* http) { m_http = http; }

    void Write(std::string_view data) override;
    std::int64_t Size() const override { return m_received; }
    std::int64_t Position() const override { return m_received; }
    void Seek(std::int64_t position) override { (void)position; }
    void Clear() override;
    bool BeginBody(const std::string& resumeFile, std::int64_t offset) override;

    const std::string& Bytes() const { return m_bytes; }
    std::string TakeBytes() { return std::move(m_bytes); }
    // The body went past the limit and was cut there.
    bool Cut() const { return m_cut; }

private:
    std::size_t m_limit;
    TagHTTP* m_http = nullptr;
    std::string m_bytes;
    std::int64_t m_received = 0;
    bool m_cut = false;
};

// Fetches a site's small file as the task's transfers are made (agent name, proxy,
// certificate checks), following at most kMaxRobotsRedirects redirects, each request
// within kRobotsTimeOut. True when the last answer was a success (2xx) and its body
// (whole, or cut at the body's limit) is in `body`; false for any other answer, for
// no answer and for a cancel from elsewhere. Throws nothing.
bool FetchSiteFile(TagHTTP& http, const std::string& url, const TRobotsRequest& request, TSiteFileBody& body);

// The site a URL belongs to for robots.txt: its scheme, host and port ("http://h:81/").
std::string RobotsSite(std::string_view url);
// The path a URL's rules are matched against: "/" + folders + document + query.
std::string RobotsPath(std::string_view url);

class THXRobots
{
public:
    enum class TVerdict
    {
        Pending, // the site's robots.txt is being fetched: ask again later
        Allowed,
        Disallowed
    };

    // `onLoaded` is called on the fetching thread each time a site's rules are known.
    explicit THXRobots(std::function<void()> onLoaded = {});
    // Ends a fetch underway and joins the fetching thread.
    ~THXRobots();
    THXRobots(const THXRobots&) = delete;
    THXRobots& operator=(const THXRobots&) = delete;

    // Forgets every site (a new run); a fetch underway is abandoned. Any thread.
    void Reset();

    // The verdict for a page's URL. The first question about a site queues the
    // fetch of its robots.txt, made with `request`, and is Pending. Any thread.
    TVerdict Check(std::string_view url, const TRobotsRequest& request);
    // The Crawl-delay of the URL's site, zero when it is not known (yet). Any thread.
    std::chrono::milliseconds CrawlDelay(std::string_view url) const;

    // Fetches and reads one site's robots.txt now, on the calling thread; a failure
    // allows everything. `http` is the client to use (cancellable from elsewhere).
    static TRobotsRules Load(TagHTTP& http, const std::string& site, const TRobotsRequest& request);

private:
    struct TJob
    {
        std::string site;
        TRobotsRequest request;
        std::uint64_t generation = 0;
    };

    void Execute();
    // Cancels the fetch underway, if any, and waits until it has ended.
    void EndFetchLocked(std::unique_lock<std::mutex>& lock);

    std::function<void()> m_onLoaded;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    // A site is in m_sites once asked for; its rules are empty until loaded.
    std::map<std::string, std::shared_ptr<const TRobotsRules>> m_sites;
    std::deque<TJob> m_jobs;
    std::uint64_t m_generation = 0;
    bool m_ending = false;
    TagHTTP* m_current = nullptr; // the client of the fetch underway, guarded by m_mutex

    std::thread m_thread; // last: starts after everything above exists
};

} // namespace hx
