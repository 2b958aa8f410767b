#include "core/HXURL.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "core/HXStrings.h"

namespace hx
{

namespace
{

constexpr std::string_view kInvertedExclamation = "\xC2\xA1"; // stands for "/" in a query
constexpr std::string_view kInvertedQuestion = "\xC2\xBF";    // stands for "?" in a query
constexpr std::string_view kBrokenBar = "\xC2\xA6";           // stands for ":" and "|"
constexpr std::string_view kDegree = "\xC2\xB0";              // stands for "*"

// Names given to path components that would otherwise step out of their folder.
constexpr std::string_view kDotName = "%2E";
constexpr std::string_view kDotDotName = "%2E%2E";

// Hash marker inserted into shortened names: "~" and 16 hex digits.
constexpr std::size_t kHashMarkBytes = 17;
// A shortened name keeps its extension only when it is at most this long.
constexpr std::size_t kMaxKeptExtension = 32;

std::string ToForwardSlashes(std::string_view text)
{
    std::string result(text);
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

// Extension of a name: from its last "." to the end, "" when none.
std::string_view ExtensionOf(std::string_view name)
{
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

constexpr std::string_view kHttpScheme = "http://";
constexpr std::string_view kHttpsScheme = "https://";

// Index of the first character whose "/" can end a directory: the one after the
// first character of the host. "https://" is one character longer than "http://";
// every other text is measured as an http URL, as it always was.
std::size_t FirstDirectorySlash(std::string_view url)
{
    return StartsWithNoCase(url, kHttpsScheme) ? kHttpsScheme.size() + 1 : kHttpScheme.size() + 1;
}

// Number of positions holding "/" after the scheme and the host's first character:
// the directory prefixes of a URL below its scheme.
int CountDirectoryPrefixes(std::string_view url)
{
    const std::size_t first = FirstDirectorySlash(url);
    if (url.size() <= first)
    {
        return 0;
    }
    return static_cast<int>(std::count(url.begin() + static_cast<std::ptrdiff_t>(first), url.end(), '/'));
}

std::string SiteRootOf(std::string_view base)
{
    std::string root = AncestorURL(base, 0);
    if (root.empty() || root.back() != '/')
    {
        root += '/';
    }
    return root;
}

// Calls `visit` for every non-empty piece of a "/"-separated path.
template <typename Visit>
void ForEachSegment(std::string_view path, Visit&& visit)
{
    while (!path.empty())
    {
        const auto slash = path.find('/');
        const auto segment = path.substr(0, slash);
        if (!segment.empty())
        {
            visit(segment);
        }
        if (slash == std::string_view::npos)
        {
            break;
        }
        path.remove_prefix(slash + 1);
    }
}

int CountSegments(std::string_view path)
{
    int count = 0;
    ForEachSegment(path, [&count](std::string_view) { ++count; });
    return count;
}

// First directory segment of a path, including its "/" (the whole rest when none).
std::string_view FirstSegment(std::string_view path)
{
    const auto slash = path.find('/');
    return slash == std::string_view::npos ? path : path.substr(0, slash + 1);
}

// Removes the directory segments both paths start with, compared byte for byte.
void DropCommonSegments(std::string_view& urlPath, std::string_view& basePath)
{
    while (!basePath.empty())
    {
        const auto baseSegment = FirstSegment(basePath);
        const auto urlSegment = FirstSegment(urlPath);
        if (baseSegment != urlSegment)
        {
            break;
        }
        basePath.remove_prefix(baseSegment.size());
        urlPath.remove_prefix(urlSegment.size());
    }
}

std::uint64_t Fnv1a64(std::string_view bytes)
{
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : bytes)
    {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::string HashMark(std::string_view bytes)
{
    constexpr std::string_view digits = "0123456789abcdef";
    std::uint64_t hash = Fnv1a64(bytes);
    std::string mark(kHashMarkBytes, '~');
    for (std::size_t i = kHashMarkBytes - 1; i >= 1; --i)
    {
        mark[i] = digits[hash & 0xF];
        hash >>= 4;
    }
    return mark;
}

// Largest cut at or below `limit` that does not split a UTF-8 sequence. Text that
// is not UTF-8 there is cut at `limit`.
std::size_t Utf8CutPoint(std::string_view text, std::size_t limit)
{
    if (limit >= text.size())
    {
        return text.size();
    }
    for (std::size_t back = 0; back < 4 && back <= limit; ++back)
    {
        const std::size_t cut = limit - back;
        if (cut == 0 || (static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80)
        {
            return cut;
        }
    }
    return limit;
}

// Fits a name into kMaxLocalNameBytes: the start of the name, a hash of the whole
// name and the extension. Distinct long names keep distinct short names.
std::string ShortenName(std::string name)
{
    if (name.size() <= kMaxLocalNameBytes)
    {
        return name;
    }
    std::string_view extension = ExtensionOf(name);
    if (extension.size() > kMaxKeptExtension)
    {
        extension = {};
    }
    const std::string_view stem = std::string_view(name).substr(0, name.size() - extension.size());
    const std::size_t room = kMaxLocalNameBytes - kHashMarkBytes - extension.size();
    std::string result(stem.substr(0, Utf8CutPoint(stem, room)));
    result += HashMark(name);
    result += extension;
    return result;
}

// Turns one escaped name into a name the file system takes as a plain entry of
// its folder: control bytes (NUL included) and the separators "/" and "\" are
// written as "%XX" (as a browser would send them), "." and ".." get "%2E" forms,
// and an overlong name is shortened.
std::string SafeLocalName(std::string_view name)
{
    constexpr std::string_view digits = "0123456789ABCDEF";
    std::string result;
    result.reserve(name.size());
    for (const char c : name)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\')
        {
            result += '%';
            result += digits[byte >> 4];
            result += digits[byte & 0xF];
        }
        else
        {
            result += c;
        }
    }
    if (result == ".")
    {
        return std::string(kDotName);
    }
    if (result == "..")
    {
        return std::string(kDotDotName);
    }
    return ShortenName(std::move(result));
}

std::string LocalName(std::string_view raw)
{
    return SafeLocalName(EscapeLocalName(raw));
}

// A relative link between local files, in the pieces it is built from: the steps
// up, then the raw (not yet escaped) folder names and the document name.
struct TLinkPieces
{
    int UpLevels = 0;
    std::vector<std::string> Folders;
    std::string Document;
};

// The first occurrence, in the file name of the link, of `find` becomes
// `replacement`. Only the file name: a folder or host holding the same letters
// ("www.aspire.com") keeps its name, so the link still leads to the folder the
// file was saved in.
void ReplaceFirstInDocument(TLinkPieces& pieces, std::string_view find, std::string_view replacement)
{
    if (ContainsNoCase(pieces.Document, find))
        pieces.Document = ReplaceText(pieces.Document, find, replacement, false);
}

// The link from the folder of the page with base directory `base` to the file
// of `url`. Steps up are counted over the folders that exist locally, so a URL
// path with empty segments ("a//b") climbs as many levels as its file is deep.
TLinkPieces ComposeLocalLink(const TqkURL& target, std::string_view base)
{
    const TqkURL from = SplitURL(base);
    // A generated page or picture: the local name says what it holds.
    std::string_view generatedType;
    if (!target.Query.empty())
    {
        const std::string_view url = target.URL;
        generatedType = url.find("=gif") != std::string_view::npos   ? ".gif"
                        : url.find("=jpg") != std::string_view::npos ? ".jpg"
                                                                     : ".html";
    }

    TLinkPieces pieces;
    std::string_view targetPath = target.Path;
    if (target.Host != from.Host)
    {
        // Up out of the page's folders and its host folder to the root.
        pieces.UpLevels = (from.Host.empty() ? 0 : 1) + CountSegments(from.Path);
        if (!target.Host.empty())
        {
            pieces.Folders.push_back(target.Host);
        }
    }
    else
    {
        std::string_view basePath = from.Path;
        DropCommonSegments(targetPath, basePath);
        pieces.UpLevels = CountSegments(basePath);
    }
    ForEachSegment(targetPath, [&pieces](std::string_view segment) { pieces.Folders.emplace_back(segment); });
    pieces.Document = target.Document;
    pieces.Document += target.Query;
    pieces.Document += generatedType;

    // Server pages are stored as what they deliver. ".aspx" goes first: the
    // ".asp" rule alone would turn it into ".htmlx", which no browser shows as a page.
    ReplaceFirstInDocument(pieces, ".aspx", ".html");
    ReplaceFirstInDocument(pieces, ".asp", ".html");
    ReplaceFirstInDocument(pieces, ".shtml", ".html");
    ReplaceFirstInDocument(pieces, ".phtml", ".html");
    return pieces;
}

std::string LocalDocumentName(const TLinkPieces& pieces)
{
    return pieces.Document.empty() ? std::string("index.htm") : LocalName(pieces.Document);
}

} // namespace

std::string ShortenLocalName(std::string name)
{
    return ShortenName(std::move(name));
}

TqkURL SplitURL(std::string_view text)
{
    TqkURL parts;
    parts.URL = std::string(text);
    const std::string copy = ToForwardSlashes(text);
    std::string_view rest = copy;

    if (const auto scheme = rest.find("://"); scheme != std::string_view::npos)
    {
        parts.Protocol = rest.substr(0, scheme + 3);
        rest.remove_prefix(scheme + 3);
    }

    const auto hostEnd = std::min(rest.find_first_of("/:"), rest.size());
    parts.Host = rest.substr(0, hostEnd);
    rest.remove_prefix(hostEnd);
    if (parts.Host == ".")
    {
        parts.Host.clear();
    }
    if (rest.empty())
    {
        return parts;
    }

    if (rest.front() == ':')
    {
        rest.remove_prefix(1);
        const auto portEnd = std::min(rest.find('/'), rest.size());
        parts.Port = rest.substr(0, portEnd);
        rest.remove_prefix(portEnd);
    }

    if (const auto query = rest.find('?'); query != std::string_view::npos)
    {
        parts.Query = rest.substr(query);
        rest = rest.substr(0, query);
    }

    const auto lastSlash = rest.rfind('/');
    if (lastSlash == std::string_view::npos)
    {
        parts.Document = rest;
    }
    else
    {
        parts.Document = rest.substr(lastSlash + 1);
        parts.Path = rest.substr(0, lastSlash + 1);
    }

    if (const auto hash = parts.Document.find('#'); hash != std::string::npos)
    {
        parts.Fragment = parts.Document.substr(hash);
        parts.Document.resize(hash);
    }
    parts.Extension = ExtensionOf(parts.Document);

    // A last segment without an extension is a directory.
    if (parts.Extension.empty() && parts.Query.empty())
    {
        parts.Path += parts.Document;
        parts.Document.clear();
    }

    if (!parts.Path.empty() && parts.Path.front() == '/')
    {
        parts.Path.erase(0, 1);
    }
    if (!parts.Path.empty() && parts.Path.back() != '/')
    {
        parts.Path += '/';
    }
    return parts;
}

std::string URLProtocol(std::string_view url)
{
    return SplitURL(url).Protocol;
}

std::string URLHost(std::string_view url)
{
    return SplitURL(url).Host;
}

std::string URLPath(std::string_view url)
{
    return SplitURL(url).Path;
}

std::string URLDocument(std::string_view url)
{
    TqkURL parts = SplitURL(url);
    return parts.Document + parts.Query;
}

std::string URLQuery(std::string_view url)
{
    return SplitURL(url).Query;
}

std::string URLFragment(std::string_view url)
{
    return SplitURL(url).Fragment;
}

std::string DirectoryURL(std::string_view url)
{
    // 1-based position where the search starts: the first "?" or the last character.
    const auto query = url.find('?');
    const std::size_t end = query == std::string_view::npos ? url.size() : query + 1;
    // The slashes of the scheme do not count.
    for (std::size_t position = end; position > FirstDirectorySlash(url) - 1; --position)
    {
        if (url[position - 1] == '/')
        {
            return std::string(url.substr(0, position));
        }
    }
    return std::string(url) + "/";
}

std::string AncestorURL(std::string_view url, int levels)
{
    const int count = CountDirectoryPrefixes(url);
    if (count == 0)
    {
        return std::string(url);
    }
    const int wanted = (levels > 0 && levels < count) ? count - levels : 1;
    int seen = 0;
    for (std::size_t i = FirstDirectorySlash(url); i < url.size(); ++i)
    {
        if (url[i] == '/' && ++seen == wanted)
        {
            return std::string(url.substr(0, i + 1));
        }
    }
    return std::string(url);
}

bool IsWebURL(std::string_view url)
{
    return StartsWithNoCase(url, kHttpScheme) || StartsWithNoCase(url, kHttpsScheme);
}

void AdoptPageScheme(std::string& url, std::string_view base)
{
    // The cheap test first: almost every link has its page's scheme.
    const bool secureLink = StartsWithNoCase(url, kHttpsScheme);
    const bool plainLink = !secureLink && StartsWithNoCase(url, kHttpScheme);
    if (!(secureLink && StartsWithNoCase(base, kHttpScheme)) && !(plainLink && StartsWithNoCase(base, kHttpsScheme)))
    {
        return;
    }
    const TqkURL target = SplitURL(url);
    const TqkURL page = SplitURL(base);
    // Only a host on its schemes' usual ports is one site under both schemes; a host
    // with a port of its own serves something else on each port.
    if (!target.Port.empty() || !page.Port.empty() || !SameTextNoCase(target.Host, page.Host))
    {
        return;
    }
    url.replace(0, target.Protocol.size(), page.Protocol);
}

std::string ResolveLink(std::string_view link, std::string_view base)
{
    static constexpr std::array<std::string_view, 5> absoluteSchemes = {"HTTP://", "FILE://", "FTP://", "HTTPS://",
                                                                        "NEWS://"};
    std::string result;
    const bool absolute = std::any_of(absoluteSchemes.begin(), absoluteSchemes.end(),
                                      [link](std::string_view scheme) { return StartsWithNoCase(link, scheme); });
    if (absolute)
    {
        result = link;
        AdoptPageScheme(result, base);
    }
    else if (!link.empty() && link.front() == '/')
    {
        result = SiteRootOf(base);
        result += link.substr(1);
    }
    else if (link.starts_with("../"))
    {
        int levels = 0;
        while (link.starts_with("../"))
        {
            link.remove_prefix(3);
            ++levels;
        }
        result = AncestorURL(base, levels);
        if (result.empty() || result.back() != '/')
        {
            result += '/';
        }
        result += link;
    }
    else
    {
        result = base;
        result += link;
    }

    // Replacing "/./" by "/" cannot form a new "/./" before the replaced spot.
    for (auto at = result.find("/./"); at != std::string::npos; at = result.find("/./", at))
    {
        result.erase(at, 2);
    }
    std::erase_if(result, [](char c) { return c == '\r' || c == '\n'; });
    if (result.find('&') != std::string::npos)
    {
        result = ReplaceText(result, "&amp;", "&", true);
    }
    return result;
}

bool NormalizeURL(std::string& url)
{
    std::replace(url.begin(), url.end(), '\\', '/');
    if (url.find("://") == std::string::npos)
    {
        const bool drive = url.size() >= 2 && (url[0] | 0x20) >= 'a' && (url[0] | 0x20) <= 'z' && url[1] == ':';
        url.insert(0, drive ? "file://" : "http://");
    }
    const TqkURL parts = SplitURL(url);
    if (parts.Host.empty() && !SameTextNoCase(parts.Protocol, "file://"))
    {
        return false;
    }
    // No host name holds blanks or control characters: such text (a sentence pasted
    // by mistake) is no address.
    if (std::any_of(parts.Host.begin(), parts.Host.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; }))
    {
        return false;
    }
    if (!SameTextNoCase(parts.Protocol, kHttpScheme) && !SameTextNoCase(parts.Protocol, kHttpsScheme))
    {
        return false;
    }
    if (ExtensionOf(parts.Document + parts.Query).empty() && !url.ends_with('/') && url.find('?') == std::string::npos)
    {
        url += '/';
    }
    if (url.find('&') != std::string::npos)
    {
        url = ReplaceText(url, "&amp;", "&", true);
    }
    return true;
}

std::string ResolveAndNormalize(std::string_view link, std::string_view base)
{
    std::string url = ResolveLink(link, base);
    return NormalizeURL(url) ? url : std::string();
}

std::string StripFragment(std::string_view url)
{
    return std::string(url.substr(0, url.find('#')));
}

std::string URLExtension(std::string_view url)
{
    if (url.find('?') != std::string_view::npos)
    {
        return ".html";
    }
    return LowerCase(ExtensionOf(URLDocument(url)));
}

std::string RelativePath(std::string_view url, std::string_view base)
{
    if (!url.empty() && url.front() == '/')
    {
        return UpLevels(URLPath(base)) + std::string(url.substr(1));
    }
    const TqkURL target = SplitURL(url);
    const TqkURL from = SplitURL(base);
    // Byte comparison: host folders of different letter case are different folders here.
    if (target.Host != from.Host)
    {
        return std::string(url);
    }
    std::string_view targetPath = target.Path;
    std::string_view basePath = from.Path;
    DropCommonSegments(targetPath, basePath);

    std::string result;
    const auto remaining = std::count(basePath.begin(), basePath.end(), '/');
    for (std::ptrdiff_t i = 0; i < remaining; ++i)
    {
        result += "../";
    }
    result += targetPath;
    result += target.Document;
    result += target.Query;
    return result;
}

std::string UpLevels(std::string_view path)
{
    const auto count = std::count_if(path.begin(), path.end(), [](char c) { return c == '/' || c == '\\'; });
    std::string result;
    result.reserve(static_cast<std::size_t>(count) * 3);
    for (std::ptrdiff_t i = 0; i < count; ++i)
    {
        result += "../";
    }
    return result;
}

std::string LocalLink(std::string_view url, std::string_view base)
{
    const TLinkPieces pieces = ComposeLocalLink(SplitURL(url), base);
    std::string link;
    for (int i = 0; i < pieces.UpLevels; ++i)
    {
        link += "../";
    }
    for (const auto& folder : pieces.Folders)
    {
        link += LocalName(folder);
        link += '/';
    }
    link += LocalDocumentName(pieces);
    return link;
}

std::string LocalFileName(std::string_view root, std::string_view base, std::string_view url)
{
    const TqkURL target = SplitURL(url);
    std::string result(root);
    if (!result.empty() && result.back() != '/')
    {
        result += '/';
    }
    if (!target.Host.empty())
    {
        result += LocalName(target.Host);
        result += '/';
    }
    ForEachSegment(target.Path,
                   [&result](std::string_view segment)
                   {
                       result += LocalName(segment);
                       result += '/';
                   });
    result += LocalDocumentName(ComposeLocalLink(target, base));
    return result;
}

std::string EscapeLocalName(std::string_view text)
{
    std::string result;
    result.reserve(text.size() + 8);
    const auto query = text.find('?');
    result.append(text.substr(0, query));
    if (query != std::string_view::npos)
    {
        for (const char c : text.substr(query))
        {
            if (c == '/')
            {
                result += kInvertedExclamation;
            }
            else if (c == '?')
            {
                result += kInvertedQuestion;
            }
            else
            {
                result += c;
            }
        }
    }

    if (result.find('%') != std::string::npos)
    {
        result = ReplaceText(result, "%20", " ", true);
    }
    if (result.find('&') != std::string::npos)
    {
        result = ReplaceText(result, "&amp;", "&", true);
    }
    if (result.find('%') != std::string::npos)
    {
        result = ReplaceText(result, "%3A", kBrokenBar, true);
    }
    if (result.find_first_of("|*:/") == std::string::npos)
    {
        return result;
    }

    // "|", "*" and ":" in one pass, then "//" left to right without overlap.
    std::string substituted;
    substituted.reserve(result.size() + 8);
    for (const char c : result)
    {
        if (c == '|' || c == ':')
        {
            substituted += kBrokenBar;
        }
        else if (c == '*')
        {
            substituted += kDegree;
        }
        else
        {
            substituted += c;
        }
    }
    std::string merged;
    merged.reserve(substituted.size());
    for (std::size_t i = 0; i < substituted.size(); ++i)
    {
        merged += substituted[i];
        if (substituted[i] == '/' && i + 1 < substituted.size() && substituted[i + 1] == '/')
        {
            ++i;
        }
    }
    return merged;
}

std::string SiteShortName(std::string_view url)
{
    const std::string text = ToForwardSlashes(url);
    if (const auto www = text.find("www."); www != std::string::npos)
    {
        const std::string_view rest = std::string_view(text).substr(www + 4);
        const auto dot = rest.find('.');
        return dot == std::string_view::npos ? std::string() : std::string(rest.substr(0, dot));
    }
    std::string host = SplitURL(text).Host;
    if (const auto dot = host.find('.'); dot != std::string::npos)
    {
        host[dot] = '_';
        if (const auto next = host.find('.', dot + 1); next != std::string::npos)
        {
            host.resize(next);
        }
    }
    return host;
}

} // namespace hx
