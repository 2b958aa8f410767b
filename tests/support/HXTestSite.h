#pragma once

// A generated web site for whole-site copies, the servers that serve it and a
// link checker for the copies.
//
// GenerateTestSite writes a static site of N pages into a folder: a start page,
// section folders with leaf pages (some one folder deeper), images, a style
// sheet, and one page for each way a page can lead to another besides a plain
// link: frames, a BASE tag, links inside SCRIPT blocks, a META refresh, links
// with a query or a fragment, redirects, a missing page, a host that does not
// resolve, and names with a space and a non-ASCII letter. The returned TTestSite
// tells what exists, what is missing and what is reached only in special ways,
// so a test can check a copy file by file. The same options give the same bytes.
//
// Site paths are relative to the site folder, "/"-separated, UTF-8, without a
// leading "/" and without a query ("sec01/page003.html", "files/café.html").
//
//     TTempFolder folder;
//     const TTestSite site = GenerateTestSite(folder.Path());
//     auto state = std::make_shared<TSiteState>(site);
//     THXTestServer server(SiteHandler(state));
//     ... copy server.URL("/index.html") ...
//     EXPECT_TRUE(CheckLocalLinks(copyFolder).empty());
//
// The same site served by nginx: THXNginx nginx(site.Folder.string(), NginxExtraForSite(site)).

#include <filesystem>
#include <map>
#include <mutex>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/HXTestServer.h"

namespace hx::test
{

struct TTestSiteOptions
{
    // HTML pages in all, the fixed feature pages included. Fewer than
    // kMinTestSitePages are raised to it.
    int Pages = 200;
    // Writes the two pages whose names hold a space ("my notes.html") and a
    // non-ASCII letter ("café.html").
    bool UnusualNames = true;
};

// The fixed feature pages and one section with a leaf page.
inline constexpr int kMinTestSitePages = 19;

// The one kind of link without which a path cannot be reached from the start page.
enum class TReachedBy
{
    Frame,      // the SRC of a FRAME
    Base,       // a link resolved against the page's BASE
    Script,     // a quoted text inside a SCRIPT block (window.open, document.write)
    Refresh,    // a META refresh
    Stylesheet, // a url(...) in a style sheet
    Redirect,   // the Location of a redirect
};

const char* ReachedByName(TReachedBy kind);

struct TSiteRedirect
{
    std::string From; // the address answered with the redirect (no file has this path)
    std::string To;   // the existing path it points at
    int Status = 301;
};

struct TTestSite
{
    std::filesystem::path Folder;
    std::string StartPage;          // "index.html"
    std::vector<std::string> Paths; // every file of the site, sorted
    std::vector<std::string> Pages; // the HTML files among them, sorted
    std::vector<TSiteRedirect> Redirects;
    std::vector<std::string> Missing; // linked but absent: answered 404
    // Linked addresses with a query, as a browser requests them ("list.html?page=2",
    // entities decoded). Servers ignore the query: they answer with the file.
    std::vector<std::string> QueryLinks;
    // Linked folder addresses ("sec01/"): servers answer with the folder's index.html.
    std::vector<std::string> FolderLinks;
    // The absolute address of a page on a host that never resolves.
    std::string UnresolvableURL;
    // The paths that only one kind of link reaches (see TReachedBy).
    std::map<std::string, TReachedBy> OnlyVia;
    // Level of every page: the fewest links from the start page, where frames, META
    // refreshes and redirects keep the level of the page that holds them, as a crawl
    // counts depth. The site is built so that no page lies deeper than 2.
    std::map<std::string, int> Levels;

    bool Has(std::string_view path) const;
    bool IsPage(std::string_view path) const;
};

// Writes the site into the folder (created when missing; it should be empty).
TTestSite GenerateTestSite(const std::filesystem::path& folder, const TTestSiteOptions& options = {});

// The request target of a site path: "/" followed by the path with every byte
// that is not unreserved in a URL percent-encoded ("/files/my%20notes.html").
std::string SiteTarget(std::string_view path);

// The Content-Type the site's servers send for a path, by its extension.
std::string SiteContentType(std::string_view path);

// Requests for one address as TSiteState counted them.
struct TRequestTally
{
    int Total = 0;
    int Conditional = 0; // carried If-Modified-Since
    int NotModified = 0; // answered 304
    int Failed = 0;      // answered 503
};

// What SiteHandler serves from and records. Thread-safe: the server's
// connection threads and the test use it at once.
//
// Files are read from the site folder on each request, so SetContent changes what
// is served next. Last-Modified comes from a version per file (all 1 at first), not
// from the file system clock: version v is 1 June 2024 12:00 GMT plus v hours.
class TSiteState
{
public:
    explicit TSiteState(TTestSite site);
    TSiteState(const TSiteState&) = delete;
    TSiteState& operator=(const TSiteState&) = delete;

    const TTestSite& Site() const { return m_site; }

    int Version(const std::string& path) const;
    // The Last-Modified value served for the path now.
    std::string LastModified(const std::string& path) const;
    // Replaces (or creates) the file and raises its version by one.
    void SetContent(const std::string& path, const std::string& bytes);

    // Answers 503 for the path: the next `times` requests, or every request until
    // cleared when `times` is negative.
    void SetFailing(const std::string& path, int times = -1);
    void ClearFailing(const std::string& path);
    void ClearAllFailing();

    // Requests by address: the decoded path (no leading "/"; "" for "/") followed by
    // "?" and the query as it was sent, when there was one.
    TRequestTally Tally(const std::string& address) const;
    std::map<std::string, TRequestTally> Tallies() const;
    int TotalRequests() const;
    void ResetTallies();

    // The reply to one request (what SiteHandler returns).
    TReply Answer(const TRecordedRequest& request);

private:
    TReply AnswerLocked(const TRecordedRequest& request, const std::string& path, TRequestTally& tally);

    const TTestSite m_site;
    mutable std::mutex m_mutex;
    std::map<std::string, int> m_versions;
    std::map<std::string, int> m_failing; // path -> times left (negative: until cleared)
    std::map<std::string, TRequestTally> m_tallies;
};

// A handler for THXTestServer serving the site of the state: files by path (the
// query is ignored, %XX decoded), a folder's index.html ("/" is the start page; a
// folder without its "/" is redirected to it), the site's redirects with an
// absolute Location, 404 for anything else, 503 for failing paths, 304 when
// If-Modified-Since equals the current Last-Modified. HEAD gets the head alone.
TRequestHandler SiteHandler(std::shared_ptr<TSiteState> state);

// Text for the server block of THXNginx so nginx answers the site's redirects and
// sends the same content types.
std::string NginxExtraForSite(const TTestSite& site);

// ---- Link checker ----

// One link value found in a page by the checker's own scanner.
struct TPageLink
{
    std::string Tag;       // lower case
    std::string Attribute; // lower case; "content" for a META refresh
    std::string Value;     // entities decoded, blanks around it trimmed
};

struct TPageLinks
{
    std::string Base; // the first BASE HREF, or empty
    std::vector<TPageLink> Links;
};

// The link values of one page: HREF, SRC, BACKGROUND, ACTION, CODEBASE, DATA,
// LONGDESC, LOWSRC, DYNSRC and POSTER of every tag, and the address of a META
// refresh. Values may be double-, single- or unquoted; comments and the text of
// SCRIPT and STYLE blocks are skipped.
TPageLinks ScanPageLinks(std::string_view html);

// Whether a link value names something in the same copy: not empty, not only a
// fragment, no scheme (http:, mailto:, javascript:, data: ...) and not "//host".
bool IsLocalLink(std::string_view value);

// The file a local link of a page names: resolved against the page's folder (and
// a relative BASE), fragment and query cut, %XX decoded, made lexically normal.
// Empty when the link names the page itself or when an absolute BASE makes it
// non-local.
std::filesystem::path LocalLinkTarget(const std::filesystem::path& page, std::string_view base, std::string_view value);

struct TBrokenLink
{
    std::string Page; // relative to the checked folder
    std::string Link; // the value as found (entities decoded)
    bool operator==(const TBrokenLink&) const = default;
};

struct TLinkCheckStats
{
    int Pages = 0; // .html and .htm files read
    int Links = 0; // local links checked
};

// Every local link of every .html and .htm file below the folder must name an
// existing file (a CODEBASE may name a folder). Returns the ones that do not,
// each (page, link) once, pages in path order.
std::vector<TBrokenLink> CheckLocalLinks(const std::filesystem::path& root, TLinkCheckStats* stats = nullptr);

} // namespace hx::test
