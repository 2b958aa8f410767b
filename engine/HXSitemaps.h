#pragma once

// Sitemaps: a site's own list of its pages ("urlset" files), or a list of such lists
// ("sitemapindex" files), as XML (often gzip-compressed) or as plain text with one
// address a line. When the task's profile asks for them, THXSitemaps reads the start
// site's sitemaps beside the crawl: those the site's robots.txt names on its
// "Sitemap:" lines and "/sitemap.xml". An index is followed one level deep; the
// addresses of every list are handed to the owner thread, where QueueSitemapPages
// judges each one by the profile's rules, as a link on the start page, and queues the
// new ones. So pages no link leads to are copied too.
//
// The sitemap files themselves are read into memory only: they are not saved into
// the copy (unless a page links them, which makes them items like any other file).
//
// Every file is bounded as the protocol bounds it: 50,000 addresses and 50 MB
// (after inflating) per file; longer files are cut there. A run reads at most
// kMaxSitemapFiles files. A file that cannot be fetched, that is not a sitemap or
// that is damaged adds what it holds up to the damage, or nothing; the run goes on.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/HXFileTypes.h"
#include "core/HXHandOver.h"
#include "engine/HXRobots.h"

namespace hx
{

class THXOwnerThread;
class THXTask;

// Addresses kept from one sitemap file.
inline constexpr std::size_t kMaxSitemapURLs = 50'000;
// Bytes of one sitemap file, before and after inflating.
inline constexpr std::size_t kMaxSitemapBytes = 50 * 1024 * 1024;
// Sitemap files read in one run (the lists an index names included).
inline constexpr int kMaxSitemapFiles = 1'000;
// Nesting of XML elements taken before a file counts as damaged.
inline constexpr std::size_t kMaxSitemapNesting = 64;
// Longest address taken from a <loc> (the protocol allows 2,048 characters).
inline constexpr std::size_t kMaxSitemapLocBytes = 8 * 1024;

enum class TSitemapKind
{
    None,   // not a sitemap (an HTML page, another XML document, nothing)
    URLSet, // a list of pages
    Index,  // a list of sitemaps
    Text    // a plain-text list of pages, one address a line
};

struct TSitemapFile
{
    TSitemapKind Kind = TSitemapKind::None;
    // The <loc> texts (entities decoded, blanks around them removed) of the root's
    // <url> (or <sitemap>) entries, in file order; for text, the lines that are web
    // addresses. At most kMaxSitemapURLs.
    std::vector<std::string> Locations;
    // More addresses followed the bound, or the file was damaged, nested too deep
    // or ended inside an element: what came before is kept.
    bool Truncated = false;
};

// Reads a sitemap's text. Never throws on bad input; linear in the text's length.
TSitemapFile ParseSitemap(std::string_view text);

// The text of a fetched sitemap: gzip data (by its first two bytes, whatever the
// address or type says) inflated, at most kMaxSitemapBytes; other bytes as they are.
// Damaged gzip data gives what inflated before the damage.
std::string SitemapText(std::string bytes);

// Owner thread: queues the pages a sitemap lists, each judged by the task profile's
// rules as a link found on the start page (its level, mode and start directory, so
// file types, filters, locations and depth apply). Addresses already known and
// those the rules refuse are passed over. Returns the number of items added.
int QueueSitemapPages(THXTask& task, const TFileTypeGroups& groups, std::string_view sitemapURL,
                      const std::vector<std::string>& locations);

class THXSitemaps
{
public:
    // Owner thread: the addresses of one list file, and that file's address.
    using TFound = std::function<void(const std::string& sitemapURL, const std::vector<std::string>& locations)>;

    THXSitemaps();
    // Ends a reading underway and joins the reading thread.
    ~THXSitemaps();
    THXSitemaps(const THXSitemaps&) = delete;
    THXSitemaps& operator=(const THXSitemaps&) = delete;

    // Owner thread: reads the sitemaps of the start address's site, on the reading
    // thread, with the requests made as `request` says. `found` runs on `owner` (which
    // must outlive the reading) for each list; `done` on the reading thread once all
    // are handed over (the dispatcher's wake-up; it must not call into this object).
    // A reading underway is abandoned first.
    void Start(THXOwnerThread& owner, const std::string& startURL, const TRobotsRequest& request, TFound found,
               std::function<void()> done);
    // Owner thread: abandons the reading (a stop); once it returns, nothing more is
    // handed over and `done` is not called.
    void Reset();
    // Whether a reading was started and not yet finished or abandoned: the task is
    // not complete while its sitemaps may still add pages. Any thread.
    bool Busy() const;

private:
    struct TJob
    {
        THXOwnerThread* Owner = nullptr;
        std::string StartURL;
        TRobotsRequest Request;
        TFound Found;
        std::function<void()> Done;
        std::uint64_t Generation = 0;
    };

    void Execute();
    void Read(const TJob& job);
    // The file's bytes (false: no usable answer, or the reading was abandoned).
    bool Fetch(const TJob& job, const std::string& url, std::size_t limit, std::string& bytes);
    bool Current(std::uint64_t generation) const;
    // Cancels the fetch underway, if any, and waits until it has ended.
    void EndFetchLocked(std::unique_lock<std::mutex>& lock);
    void AbandonLocked();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<TJob> m_jobs;
    // Read by the hand-over's test from both threads: atomic, never behind m_mutex.
    std::atomic<std::uint64_t> m_generation{0};
    std::atomic<bool> m_ending{false};
    bool m_busy = false;
    TagHTTP* m_current = nullptr; // the client of the fetch underway, guarded by m_mutex
    THXHandOver m_handOver;

    std::thread m_thread; // last: starts after everything above exists
};

} // namespace hx
