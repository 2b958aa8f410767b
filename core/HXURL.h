#pragma once

// URL rules of the crawl: splitting a URL into its parts, resolving a link found
// on a page against the page's base directory, accepting or refusing a URL, and
// mapping a URL to the local file that stands for it and to the relative link
// between two such files. Free functions over byte strings; URL rules turn "\"
// into "/", local paths use "/" and folders end with "/".

#include <cstddef>
#include <string>
#include <string_view>

namespace hx
{

// The parts of one URL. Every part is text; a missing part is empty.
struct TqkURL
{
    std::string URL;       // the text given
    std::string Protocol;  // scheme with "://", e.g. "http://"
    std::string Host;      // host name without port
    std::string Port;      // port digits without the colon
    std::string Path;      // directories: no leading "/", a trailing "/" when not empty
    std::string Document;  // last segment without query and fragment
    std::string Extension; // extension of Document with its dot
    std::string Query;     // from "?" to the end
    std::string Fragment;  // from "#" to the end of the last segment
};

// Longest name one folder or file may have on the local file system, in bytes.
inline constexpr std::size_t kMaxLocalNameBytes = 255;

// A name fitted into kMaxLocalNameBytes as local names are: a longer name keeps its
// start (never cut inside a character), gets a hash of the whole name and keeps
// its extension, so distinct long names keep distinct short names.
std::string ShortenLocalName(std::string name);

TqkURL SplitURL(std::string_view text);

std::string URLProtocol(std::string_view url);
std::string URLHost(std::string_view url);
std::string URLPath(std::string_view url);
// Document followed by Query.
std::string URLDocument(std::string_view url);
std::string URLQuery(std::string_view url);
std::string URLFragment(std::string_view url);

// The URL up to and including the last "/" before any query; a bare host gets "/".
std::string DirectoryURL(std::string_view url);

// Goes up `levels` directories from the deepest one; 0 (or too many) gives the site root.
std::string AncestorURL(std::string_view url, int levels);

// True for the addresses the crawl fetches: http and https (any letter case).
bool IsWebURL(std::string_view url);

// A site is one site over http and https: an absolute http or https URL of the
// page's own host (neither naming a port) takes the scheme of the page, so a page
// reached over both schemes is one queue item, and a crawl stays on the scheme of
// its start address. Other URLs are left as they are.
void AdoptPageScheme(std::string& url, std::string_view base);

// Resolves a link found on a page against the page's base directory URL (which
// ends with "/"). Leading "../" climb, a leading "/" starts at the site root,
// "/./" is dropped; a "../" in the middle of a link is kept as it is. An absolute
// link to the page's own host over the other web scheme gets the page's scheme
// (AdoptPageScheme).
std::string ResolveLink(std::string_view link, std::string_view base);

// Completes the URL in place (scheme, trailing "/" of a directory) and tells
// whether the crawl accepts it: only http and https URLs with a host are
// accepted. The completion stays in the argument also when the URL is refused.
bool NormalizeURL(std::string& url);

// ResolveLink followed by NormalizeURL; empty when the URL is refused.
std::string ResolveAndNormalize(std::string_view link, std::string_view base);

// Everything before the first "#".
std::string StripFragment(std::string_view url);

// ".html" for a URL with a query, else the lower-cased extension of its document.
std::string URLExtension(std::string_view url);

// Link from the base URL's directory to the URL, on the same host; another
// host's URL is returned unchanged.
std::string RelativePath(std::string_view url, std::string_view base);

// "../" once for every "/" or "\" in the path.
std::string UpLevels(std::string_view path);

// Relative link from the local file of a page whose base directory URL is `base`
// to the local file of `url`. Every name in the link is a valid local file name:
// never ".", ".." or empty, no control bytes, at most kMaxLocalNameBytes bytes;
// the only ".." are the leading steps up, which never climb above the root.
// The link is a file-system path: whoever writes it into a page must still
// percent-encode it for the page's URL syntax.
std::string LocalLink(std::string_view url, std::string_view base);

// Local file of `url` below the root folder: root, host folder, one folder per
// directory of the URL, then the last name of LocalLink(url, base). The result
// always begins with the root and never leaves it.
std::string LocalFileName(std::string_view root, std::string_view base, std::string_view url);

// Makes URL text usable as a local name: after the first "?", "/" becomes "¡"
// and "?" becomes "¿"; "%20" becomes a space, "&amp;" "&", "%3A", "|" and ":"
// become "¦", "*" becomes "°" and "//" becomes "/".
std::string EscapeLocalName(std::string_view text);

// Short name of a site: "name" for www.name.suffix, "sub_name" for sub.name.suffix.
std::string SiteShortName(std::string_view url);

} // namespace hx
