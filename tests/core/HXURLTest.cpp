#include "core/HXURL.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace hx
{
namespace
{

using namespace std::string_literals;

const std::string kRoot = "/srv/copies/";

std::vector<std::string> SplitOnSlash(std::string_view text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true)
    {
        const auto slash = text.find('/', start);
        parts.emplace_back(
            text.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
        if (slash == std::string_view::npos)
        {
            return parts;
        }
        start = slash + 1;
    }
}

std::string FolderOf(const std::string& file)
{
    return file.substr(0, file.rfind('/') + 1);
}

// Joins a relative link to a folder below kRoot the way a browser or the file
// system would, failing the test when the link climbs above kRoot.
std::string FollowLink(const std::string& folder, const std::string& link)
{
    EXPECT_TRUE(folder.starts_with(kRoot)) << folder;
    std::vector<std::string> parts;
    for (auto& part : SplitOnSlash(folder.substr(kRoot.size())))
    {
        if (!part.empty())
        {
            parts.push_back(part);
        }
    }
    for (const auto& part : SplitOnSlash(link))
    {
        if (part == "..")
        {
            if (parts.empty())
            {
                ADD_FAILURE() << "link " << link << " climbs above the root from " << folder;
                return {};
            }
            parts.pop_back();
        }
        else
        {
            parts.push_back(part);
        }
    }
    std::string result = kRoot;
    for (std::size_t i = 0; i < parts.size(); ++i)
    {
        result += parts[i];
        if (i + 1 < parts.size())
        {
            result += '/';
        }
    }
    return result;
}

bool IsValidUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();)
    {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        if (length == 0 || i + length > text.size())
        {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k)
        {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            {
                return false;
            }
        }
        i += length;
    }
    return true;
}

// Checks what every local file name must satisfy: inside the root, only plain
// names (never ".", ".." or empty), no control bytes, none longer than the file
// system allows.
void ExpectSafeLocalPath(const std::string& path, const std::string& context)
{
    SCOPED_TRACE(context);
    ASSERT_TRUE(path.starts_with(kRoot)) << path;
    const auto names = SplitOnSlash(path.substr(kRoot.size()));
    for (const auto& name : names)
    {
        EXPECT_FALSE(name.empty()) << path;
        EXPECT_NE(name, ".") << path;
        EXPECT_NE(name, "..") << path;
        EXPECT_LE(name.size(), kMaxLocalNameBytes) << path.substr(0, 300);
        for (const char c : name)
        {
            const auto byte = static_cast<unsigned char>(c);
            EXPECT_FALSE(byte < 0x20 || byte == 0x7F) << "control byte in " << path.substr(0, 300);
        }
    }
}

// Checks a link between local files: only leading steps up, then plain names.
void ExpectSafeLink(const std::string& link, const std::string& context)
{
    SCOPED_TRACE(context);
    bool climbing = true;
    for (const auto& name : SplitOnSlash(link))
    {
        if (climbing && name == "..")
        {
            continue;
        }
        climbing = false;
        EXPECT_FALSE(name.empty() || name == "." || name == "..") << link.substr(0, 300);
        EXPECT_LE(name.size(), kMaxLocalNameBytes);
        for (const char c : name)
        {
            const auto byte = static_cast<unsigned char>(c);
            EXPECT_FALSE(byte < 0x20 || byte == 0x7F) << "control byte in link";
        }
    }
}

// The published FNV-1a 64-bit function, as the test's own reference.
std::uint64_t ReferenceFnv1a(std::string_view bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : bytes)
    {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    return hash;
}

std::string Hex16(std::uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

TEST(HXURLTest, SplitsEveryPartOfAFullURL)
{
    const TqkURL full = SplitURL("http://h:8080/a/b.htm?x=1#y");
    EXPECT_EQ(full.URL, "http://h:8080/a/b.htm?x=1#y");
    EXPECT_EQ(full.Protocol, "http://");
    EXPECT_EQ(full.Host, "h");
    EXPECT_EQ(full.Port, "8080");
    EXPECT_EQ(full.Path, "a/");
    EXPECT_EQ(full.Document, "b.htm");
    EXPECT_EQ(full.Extension, ".htm");
    EXPECT_EQ(full.Query, "?x=1#y"); // a "#" after the query stays in the query
    EXPECT_EQ(full.Fragment, "");

    const TqkURL directory = SplitURL("http://h/a/dir");
    EXPECT_EQ(directory.Path, "a/dir/");
    EXPECT_EQ(directory.Document, "");

    const TqkURL anchored = SplitURL("http://h/page#top");
    EXPECT_EQ(anchored.Path, "page/");
    EXPECT_EQ(anchored.Document, "");
    EXPECT_EQ(anchored.Fragment, "#top");

    const TqkURL fileFragment = SplitURL("http://h/a/b.html#sec2");
    EXPECT_EQ(fileFragment.Document, "b.html");
    EXPECT_EQ(fileFragment.Fragment, "#sec2");

    // The query keeps its slashes; an extensionless document with a query stays a document.
    const TqkURL script = SplitURL("http://h/cgi/run?u=/x/y");
    EXPECT_EQ(script.Path, "cgi/");
    EXPECT_EQ(script.Document, "run");
    EXPECT_EQ(script.Extension, "");
    EXPECT_EQ(script.Query, "?u=/x/y");

    const TqkURL dots = SplitURL("http://h/archive.tar.gz");
    EXPECT_EQ(dots.Extension, ".gz");
    EXPECT_EQ(dots.Path, "");
}

TEST(HXURLTest, SplitsUnusualShapes)
{
    const TqkURL bare = SplitURL("http://h");
    EXPECT_EQ(bare.Host, "h");
    EXPECT_EQ(bare.Path, "");
    EXPECT_EQ(bare.Document, "");

    const TqkURL portOnly = SplitURL("http://h:81");
    EXPECT_EQ(portOnly.Host, "h");
    EXPECT_EQ(portOnly.Port, "81");
    EXPECT_EQ(portOnly.Path, "");

    const TqkURL noScheme = SplitURL("www.x.com/a/b.gif");
    EXPECT_EQ(noScheme.Protocol, "");
    EXPECT_EQ(noScheme.Host, "www.x.com");
    EXPECT_EQ(noScheme.Path, "a/");

    const TqkURL backslashes = SplitURL("http:\\\\h\\a\\b.htm");
    EXPECT_EQ(backslashes.Protocol, "http://");
    EXPECT_EQ(backslashes.Host, "h");
    EXPECT_EQ(backslashes.Path, "a/");
    EXPECT_EQ(backslashes.URL, "http:\\\\h\\a\\b.htm");

    EXPECT_EQ(SplitURL("http://./x.htm").Host, "");
    EXPECT_EQ(SplitURL("http://../x.htm").Host, "..");
    EXPECT_EQ(SplitURL("/a/b.htm").Host, "");
    EXPECT_EQ(SplitURL("/a/b.htm").Path, "a/");

    const TqkURL empty = SplitURL("");
    EXPECT_EQ(empty.Host, "");
    EXPECT_EQ(empty.Path, "");

    EXPECT_EQ(URLProtocol("HTTP://h/"), "HTTP://");
    EXPECT_EQ(URLHost("http://h:1/x"), "h");
    EXPECT_EQ(URLPath("http://h/a/b/c.htm"), "a/b/");
    EXPECT_EQ(URLDocument("http://h/a/c.asp?id=1#x"), "c.asp?id=1#x");
    EXPECT_EQ(URLDocument("http://h/a/"), "");
    EXPECT_EQ(URLQuery("http://h/a?q"), "?q");
    EXPECT_EQ(URLFragment("http://h/a.htm#f"), "#f");
}

TEST(HXURLTest, DirectoryAndAncestorURLs)
{
    EXPECT_EQ(DirectoryURL("http://h"), "http://h/");
    EXPECT_EQ(DirectoryURL("http://h/"), "http://h/");
    EXPECT_EQ(DirectoryURL("http://h/a/b.htm"), "http://h/a/");
    EXPECT_EQ(DirectoryURL("http://h/a/b/"), "http://h/a/b/");
    EXPECT_EQ(DirectoryURL("http://h/a/p.cgi?u=/x/y/z"), "http://h/a/");
    EXPECT_EQ(DirectoryURL("http://h?u=/x/"), "http://h?u=/x//"); // no slash before the query
    EXPECT_EQ(DirectoryURL(""), "/");

    const std::string deep = "http://h/a/b/c/";
    EXPECT_EQ(AncestorURL(deep, 0), "http://h/");
    EXPECT_EQ(AncestorURL(deep, 1), "http://h/a/b/");
    EXPECT_EQ(AncestorURL(deep, 2), "http://h/a/");
    EXPECT_EQ(AncestorURL(deep, 3), "http://h/");
    EXPECT_EQ(AncestorURL(deep, 9), "http://h/");
    EXPECT_EQ(AncestorURL(deep, -1), "http://h/");
    EXPECT_EQ(AncestorURL("http://h", 1), "http://h");
    EXPECT_EQ(AncestorURL("http://h:8080/a/", 1), "http://h:8080/");
}

TEST(HXURLTest, ResolvesLinksAgainstTheBase)
{
    const std::string base = "http://h/a/b/c/";
    EXPECT_EQ(ResolveLink("../../x.htm", base), "http://h/a/x.htm");
    EXPECT_EQ(ResolveLink("../x.htm", base), "http://h/a/b/x.htm");
    EXPECT_EQ(ResolveLink("../../../../../x.htm", base), "http://h/x.htm");
    EXPECT_EQ(ResolveLink("./x.htm", base), "http://h/a/b/c/x.htm");
    EXPECT_EQ(ResolveLink("y/./././x.htm", base), "http://h/a/b/c/y/x.htm");
    EXPECT_EQ(ResolveLink("/x/y.htm", base), "http://h/x/y.htm");
    EXPECT_EQ(ResolveLink("/x/y.htm", "http://h:81/q/"), "http://h:81/x/y.htm");
    EXPECT_EQ(ResolveLink("/x.htm", "http://h"), "http://h/x.htm");
    EXPECT_EQ(ResolveLink("x.htm", base), "http://h/a/b/c/x.htm");
    EXPECT_EQ(ResolveLink("?page=2", base), "http://h/a/b/c/?page=2");
    EXPECT_EQ(ResolveLink("y/../x.htm", base), "http://h/a/b/c/y/../x.htm");

    EXPECT_EQ(ResolveLink("HtTp://o/x.htm", base), "HtTp://o/x.htm");
    EXPECT_EQ(ResolveLink("ftp://o/x", base), "ftp://o/x");
    EXPECT_EQ(ResolveLink("https://o/x", base), "https://o/x");
    EXPECT_EQ(ResolveLink("news://o/x", base), "news://o/x");
    EXPECT_EQ(ResolveLink("FILE://o/x", base), "FILE://o/x");
    EXPECT_EQ(ResolveLink("mailto:a@b", base), "http://h/a/b/c/mailto:a@b");

    EXPECT_EQ(ResolveLink("x\r\n.htm", base), "http://h/a/b/c/x.htm");
    EXPECT_EQ(ResolveLink("p.cgi?a=1&AMP;b=2&amp;c=3", base), "http://h/a/b/c/p.cgi?a=1&b=2&c=3");
    EXPECT_EQ(ResolveLink("http://o/./x/./y.htm", base), "http://o/x/y.htm");
}

TEST(HXURLTest, NormalizesAndRefuses)
{
    std::string url = "www.example.com";
    EXPECT_TRUE(NormalizeURL(url));
    EXPECT_EQ(url, "http://www.example.com/");

    url = "http://h/dir";
    EXPECT_TRUE(NormalizeURL(url));
    EXPECT_EQ(url, "http://h/dir/");

    url = "HTTP://H/a.HTM";
    EXPECT_TRUE(NormalizeURL(url));
    EXPECT_EQ(url, "HTTP://H/a.HTM");

    url = "http://h/list?x=1&amp;y=2";
    EXPECT_TRUE(NormalizeURL(url));
    EXPECT_EQ(url, "http://h/list?x=1&y=2");

    url = "http://h:8080";
    EXPECT_TRUE(NormalizeURL(url));
    EXPECT_EQ(url, "http://h:8080/");

    url = "http:\\\\h\\a\\b.htm";
    EXPECT_TRUE(NormalizeURL(url));
    EXPECT_EQ(url, "http://h/a/b.htm");

    url = "ftp://h/x.zip";
    EXPECT_FALSE(NormalizeURL(url));
    url = "https://h/";
    EXPECT_TRUE(NormalizeURL(url));
    url = "gopher://h/";
    EXPECT_FALSE(NormalizeURL(url));
    url = "file:///tmp/x.htm";
    EXPECT_FALSE(NormalizeURL(url));
    url = "http:///x.htm";
    EXPECT_FALSE(NormalizeURL(url));
    // A pasted sentence is no host name.
    url = "not an address at all";
    EXPECT_FALSE(NormalizeURL(url));
    url = "http://h\tx/";
    EXPECT_FALSE(NormalizeURL(url));

    // The completion stays in the argument when the URL is refused.
    url = "c:\\dir\\x.htm";
    EXPECT_FALSE(NormalizeURL(url));
    EXPECT_EQ(url, "file://c:/dir/x.htm");

    EXPECT_EQ(ResolveAndNormalize("../b", "http://h/a/c/"), "http://h/a/b/");
    EXPECT_EQ(ResolveAndNormalize("ftp://h/x", "http://h/"), "");
    EXPECT_EQ(ResolveAndNormalize("/", "http://h/a/"), "http://h/");
}

TEST(HXURLTest, FragmentsAndExtensions)
{
    EXPECT_EQ(StripFragment("http://h/a.htm#x#y"), "http://h/a.htm");
    EXPECT_EQ(StripFragment("http://h/a.htm"), "http://h/a.htm");
    EXPECT_EQ(URLExtension("http://h/a/B.GIF"), ".gif");
    EXPECT_EQ(URLExtension("http://h/a/b.jpg?size=2"), ".html");
    EXPECT_EQ(URLExtension("http://h/a/"), "");
    EXPECT_EQ(URLExtension("http://h/a/b.tar.GZ#top"), ".gz");
}

TEST(HXURLTest, RelativePathsAndUpLevels)
{
    EXPECT_EQ(RelativePath("http://h/a/b/c.htm", "http://h/a/"), "b/c.htm");
    EXPECT_EQ(RelativePath("http://h/x.htm", "http://h/a/b/"), "../../x.htm");
    EXPECT_EQ(RelativePath("http://h/a/c/y.htm", "http://h/a/b/"), "../c/y.htm");
    EXPECT_EQ(RelativePath("http://h/A/x.htm", "http://h/a/"), "../A/x.htm");
    EXPECT_EQ(RelativePath("http://h/a/p?x=1", "http://h/a/"), "p?x=1");
    EXPECT_EQ(RelativePath("http://h/a/", "http://h/a/"), "");
    EXPECT_EQ(RelativePath("http://o/x.htm", "http://h/a/"), "http://o/x.htm");
    EXPECT_EQ(RelativePath("/x/y.htm", "http://h/a/b/"), "../../x/y.htm");

    EXPECT_EQ(UpLevels(""), "");
    EXPECT_EQ(UpLevels("a/b\\c/"), "../../../");
}

TEST(HXURLTest, EscapesLocalNames)
{
    EXPECT_EQ(EscapeLocalName("a%20b%3ac|d*e:f"), "a b\xC2\xA6"
                                                  "c\xC2\xA6"
                                                  "d\xC2\xB0"
                                                  "e\xC2\xA6"
                                                  "f");
    EXPECT_EQ(EscapeLocalName("x&AMP;y"), "x&y");
    EXPECT_EQ(EscapeLocalName("a//b///c"), "a/b//c");
    // From the first "?" on, "/" and "?" are replaced; before it they are kept.
    EXPECT_EQ(EscapeLocalName("d/p?u=/x?y//z"), "d/p\xC2\xBFu=\xC2\xA1x\xC2\xBFy\xC2\xA1\xC2\xA1z");
    // Only %20 and %3A are decoded.
    EXPECT_EQ(EscapeLocalName("%2e%2e/%41"), "%2e%2e/%41");
    EXPECT_EQ(EscapeLocalName(""), "");
}

TEST(HXURLTest, SiteShortNames)
{
    EXPECT_EQ(SiteShortName("http://www.example.com/a/"), "example");
    EXPECT_EQ(SiteShortName("http://news.example.com/a/"), "news_example");
    EXPECT_EQ(SiteShortName("http://example.com/"), "example_com");
    EXPECT_EQ(SiteShortName("http://localhost/"), "localhost");
    EXPECT_EQ(SiteShortName("http://www.nodot/"), "");
    EXPECT_EQ(SiteShortName("http:\\\\a.b.c.d\\x"), "a_b");
}

TEST(HXURLTest, LocalLinksFollowTheRules)
{
    const std::string base = "http://h/a/";
    EXPECT_EQ(LocalLink("http://h/a/page.php?id=3", base), "page.php\xC2\xBFid=3.html");
    EXPECT_EQ(LocalLink("http://h/a/chart?type=gif", base), "chart\xC2\xBFtype=gif.gif");
    EXPECT_EQ(LocalLink("http://h/a/thumb?f=jpg", base), "thumb\xC2\xBF"
                                                         "f=jpg.jpg");
    EXPECT_EQ(LocalLink("http://h/a/", base), "index.htm");
    EXPECT_EQ(LocalLink("http://h/a/b/", base), "b/index.htm");
    EXPECT_EQ(LocalLink("http://h/", base), "../index.htm");
    EXPECT_EQ(LocalLink("http://h/a/?x=1", base), "\xC2\xBFx=1.html");
    EXPECT_EQ(LocalLink("http://h/a/default.ASP", base), "default.html");
    EXPECT_EQ(LocalLink("http://h/a/x.shtml", base), "x.html");
    EXPECT_EQ(LocalLink("http://h/a/x.phtml", base), "x.html");
    EXPECT_EQ(LocalLink("http://h/a/b%20c/d%3Ae.htm", base), "b c/d\xC2\xA6"
                                                             "e.htm");
    EXPECT_EQ(LocalLink("http://o.org/x/y.htm", "http://h/a/b/"), "../../../o.org/x/y.htm");
    EXPECT_EQ(LocalLink("http://o.org/", "http://h/"), "../o.org/index.htm");
    EXPECT_EQ(LocalLink("http://h:8080/a/z.htm", base), "z.htm");

    EXPECT_EQ(LocalFileName(kRoot, "http://h/", "http://h/a/b/"), kRoot + "h/a/b/index.htm");
    EXPECT_EQ(LocalFileName("/srv/copies", "http://h/", "http://h/a/b/"), "/srv/copies/h/a/b/index.htm");
    EXPECT_EQ(LocalFileName(kRoot, "http://h/", "http://h/x/p.cgi?u=/y/z"),
              kRoot + "h/x/p.cgi\xC2\xBFu=\xC2\xA1y\xC2\xA1z.html");
    EXPECT_EQ(LocalFileName(kRoot, "http://o/", "http://h/a%20b/c.asp"), kRoot + "h/a b/c.html");
}

// The link written into a saved page must lead to the file the linked URL is saved as.
TEST(HXURLTest, LocalLinksLeadToLocalFileNames)
{
    const std::vector<std::string> urls = {
        "http://www.example.com/",
        "http://www.example.com/index.html",
        "http://www.example.com/a/",
        "http://www.example.com/a/b/",
        "http://www.example.com/a/b/c/page.htm",
        "http://www.example.com/a/x/y.gif",
        "http://www.example.com/A/x.htm",
        "http://www.example.com/search.php?q=a/b&page=2",
        "http://www.example.com/a/list?sort=name#top",
        "http://www.example.com/a/?x=1",
        "http://www.example.com/img/pic.cgi?type=gif",
        "http://www.example.com:8080/a/b/doc.pdf",
        "http://www.example.com/a%20b/c%3Ad.htm",
        "http://www.example.com/news/default.asp",
        "http://www.example.com/a/page.shtml",
        "http://www.example.com/a/b/c/d/e/f/deep.htm",
        "http://cdn.example.net/static/css/site.css",
        "http://cdn.example.net/",
        "http://other.org/deep/er/est/file.txt",
        "http://other.org/dl?file=x.zip",
    };
    for (const auto& page : urls)
    {
        const std::string pageBase = DirectoryURL(page);
        const std::string pageFile = LocalFileName(kRoot, pageBase, page);
        for (const auto& target : urls)
        {
            SCOPED_TRACE(page + " -> " + target);
            const std::string link = LocalLink(target, pageBase);
            const std::string expected = LocalFileName(kRoot, DirectoryURL(target), target);
            EXPECT_EQ(FollowLink(FolderOf(pageFile), link), expected) << link;
            EXPECT_EQ(LocalFileName(kRoot, pageBase, target), expected);
        }
    }
}

TEST(HXURLTest, LocalFileNamesStayInsideTheRoot)
{
    const std::string base = "http://h/";
    EXPECT_EQ(LocalFileName(kRoot, base, "http://h/a/../../../etc/passwd.txt"),
              kRoot + "h/a/%2E%2E/%2E%2E/%2E%2E/etc/passwd.txt");
    EXPECT_EQ(LocalFileName(kRoot, base, "http://../x.htm"), kRoot + "%2E%2E/x.htm");
    EXPECT_EQ(LocalFileName(kRoot, base, "http://./x.htm"), kRoot + "x.htm");
    EXPECT_EQ(LocalFileName(kRoot, base, "http://h/.."), kRoot + "h/%2E%2E");
    EXPECT_EQ(LocalFileName(kRoot, base, "http://h/."), kRoot + "h/%2E");
    EXPECT_EQ(LocalFileName(kRoot, base, "http://h/./a/"), kRoot + "h/%2E/a/index.htm");
    EXPECT_EQ(LocalFileName(kRoot, base, "http://h/%2e%2e/%2E%2E/x.htm"), kRoot + "h/%2e%2e/%2E%2E/x.htm");
    EXPECT_EQ(LocalFileName(kRoot, base, "http:\\\\h\\..\\..\\x.htm"), kRoot + "h/%2E%2E/%2E%2E/x.htm");
    EXPECT_EQ(LocalFileName(kRoot, base, "http://h//a///b/c.htm"), kRoot + "h/a/b/c.htm");
    EXPECT_EQ(LocalFileName(kRoot, base, "http://h/a\0b/c\x01\x7f.htm"s), kRoot + "h/a%00b/c%01%7F.htm");
    EXPECT_EQ(LocalFileName(kRoot, base, "http://h/a?x=../../y"), kRoot + "h/a\xC2\xBFx=..\xC2\xA1..\xC2\xA1y.html");
    EXPECT_EQ(LocalFileName("", base, "http://h/a/x.htm"), "h/a/x.htm");

    const std::vector<std::string> hostile = {
        "http://h/a/../../../etc/passwd",
        "../../../../x",
        "/etc/passwd",
        "",
        "..",
        "http://",
        "http:///../x.htm",
        "http://h:80/../",
        "http://h/../..",
        "http://../../..",
        "http://h/a/%2e%2e/b",
        "http://h/\x01/\x1f/x\x7f",
        "http://h/\0/\0\0/x"s,
        "http://h/\xff\xfe/\xc0\xaf/\xe2\x82.htm",
        "http://h/a#/../../x",
        "http://h?/../../x",
        "\\\\..\\..\\x",
        "http://h/...../....",
    };
    const std::vector<std::string> bases = {"http://h/", "http://h/a/b/", "http://o/../", "", "..", "http://h/../../"};
    for (const auto& url : hostile)
    {
        for (const auto& pageBase : bases)
        {
            const std::string context = url + " from " + pageBase;
            ExpectSafeLocalPath(LocalFileName(kRoot, pageBase, url), context);
            ExpectSafeLink(LocalLink(url, pageBase), context);
        }
    }
}

TEST(HXURLTest, LongNamesAreShortenedDistinctly)
{
    const std::string hostBase = "http://h/";
    const std::string pageFolder = kRoot + "h/";
    const std::string filler(10000, 'x');
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"http://h/dir/page.htm?q=" + filler + "1", "http://h/dir/page.htm?q=" + filler + "2"},
        {"http://h/" + filler + "/doc.htm?a", "http://h/" + filler + "/doc.htm?b"},
        {"http://h/" + filler + "a.htm", "http://h/" + filler + "b.htm"},
        {"http://h/a/" + filler + "1", "http://h/a/" + filler + "2"},
        {"http://" + filler + ".com/x1", "http://" + filler + ".com/x2"},
        {"http://h/" + std::string(5000, '\x80') + "1", "http://h/" + std::string(5000, '\x80') + "2"},
    };
    for (const auto& [first, second] : pairs)
    {
        SCOPED_TRACE(first.substr(0, 40));
        ASSERT_GE(first.size(), 5000u);
        const std::string firstFile = LocalFileName(kRoot, hostBase, first);
        const std::string secondFile = LocalFileName(kRoot, hostBase, second);
        EXPECT_NE(firstFile, secondFile);
        ExpectSafeLocalPath(firstFile, first.substr(0, 40));
        ExpectSafeLocalPath(secondFile, second.substr(0, 40));
        EXPECT_EQ(FollowLink(pageFolder, LocalLink(first, hostBase)), firstFile);
        EXPECT_EQ(FollowLink(pageFolder, LocalLink(second, hostBase)), secondFile);
        ExpectSafeLink(LocalLink(first, "http://o/x/y/"), "from another host");
    }

    // Names at the limit are kept as they are; one byte more is shortened.
    const std::string fits(251, 'n');
    EXPECT_EQ(LocalFileName(kRoot, hostBase, "http://h/" + fits + ".htm"), kRoot + "h/" + fits + ".htm");
    const std::string over = LocalFileName(kRoot, hostBase, "http://h/" + fits + "n.htm");
    const std::string overName = over.substr(over.rfind('/') + 1);
    EXPECT_LE(overName.size(), kMaxLocalNameBytes);
    EXPECT_TRUE(overName.ends_with(".htm"));
    EXPECT_TRUE(overName.starts_with("nnnnnnnn"));
}

TEST(HXURLTest, ShortenedNamesCarryAStableHashAndStayUtf8)
{
    ASSERT_EQ(ReferenceFnv1a(""), 0xcbf29ce484222325ULL);
    ASSERT_EQ(ReferenceFnv1a("a"), 0xaf63dc4c8601ec8cULL);

    const std::string longName(400, 'q');
    const std::string file = LocalFileName(kRoot, "http://h/", "http://h/" + longName + ".html");
    EXPECT_NE(file.find("~" + Hex16(ReferenceFnv1a(longName + ".html")) + ".html"), std::string::npos) << file;

    // Multi-byte characters at odd offsets must not be cut in the middle.
    const std::vector<std::string> characters = {"\xC2\xA1", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
    for (const auto& character : characters)
    {
        for (const std::string lead : {"", "a", "ab", "abc"})
        {
            std::string name = lead;
            while (name.size() < 600)
            {
                name += character;
            }
            const std::string path = LocalFileName(kRoot, "http://h/", "http://h/" + name + "/" + name + ".htm");
            ExpectSafeLocalPath(path, lead + character);
            EXPECT_TRUE(IsValidUtf8(path)) << lead << character;
        }
    }
    // A query turned into "¡" characters is cut on character boundaries as well.
    std::string slashes = "http://h/p.cgi?";
    slashes += std::string(700, '/');
    EXPECT_TRUE(IsValidUtf8(LocalFileName(kRoot, "http://h/", slashes)));
}

// Random text built from the pieces that matter to the rules: no function may
// crash, every local name stays inside the root, and links agree with file
// names whenever the page's base directory matches its file.
TEST(HXURLTest, RandomURLsKeepTheLocalInvariants)
{
    const std::vector<std::string> pieces = {"http://",
                                             "h",
                                             "o.org",
                                             "/",
                                             "//",
                                             ".",
                                             "..",
                                             "../",
                                             "./",
                                             "/./",
                                             "?",
                                             "#",
                                             "%2e",
                                             "%20",
                                             "%3A",
                                             "\\",
                                             ":",
                                             "|",
                                             "*",
                                             "&amp;",
                                             "=gif",
                                             "=jpg",
                                             "a",
                                             "b.htm",
                                             ".php",
                                             "\xC2\xA1",
                                             "\xff",
                                             "\x80",
                                             std::string(1, '\0'),
                                             "\x01",
                                             "\x7f",
                                             "www.",
                                             std::string(300, 'z'),
                                             "\r\n",
                                             "index",
                                             "~"};
    std::mt19937 random(20240613);
    const auto randomText = [&]
    {
        std::string text;
        const int count = static_cast<int>(random() % 14);
        for (int i = 0; i < count; ++i)
        {
            text += pieces[random() % pieces.size()];
        }
        return text;
    };
    for (int round = 0; round < 3000; ++round)
    {
        const std::string page = randomText();
        const std::string link = randomText();
        const std::string base = DirectoryURL(page);

        // Every rule takes any text.
        (void)SplitURL(link);
        (void)AncestorURL(link, static_cast<int>(random() % 5) - 1);
        (void)RelativePath(link, base);
        (void)SiteShortName(link);
        (void)URLExtension(link);
        std::string normalized = ResolveLink(link, base);
        (void)NormalizeURL(normalized);
        (void)EscapeLocalName(link);

        const std::string context = "page [" + page + "] link [" + link + "]";
        const std::string target = (random() % 2 == 0) ? ResolveLink(link, base) : link;
        ExpectSafeLocalPath(LocalFileName(kRoot, base, target), context);
        ExpectSafeLink(LocalLink(target, base), context);

        // The base directory URL that has exactly the page's folders.
        const TqkURL pageParts = SplitURL(page);
        const std::string pageBase = pageParts.Protocol + pageParts.Host + "/" + pageParts.Path;
        const std::string pageFile = LocalFileName(kRoot, pageBase, page);
        EXPECT_EQ(FollowLink(FolderOf(pageFile), LocalLink(target, pageBase)), LocalFileName(kRoot, pageBase, target))
            << context;
        if (HasFailure())
        {
            break;
        }
    }
}

// Server page names become ".html" in the file name only: a host or folder that
// holds the same letters keeps its name, so link and file stay in the same folder,
// and ".aspx" pages are saved as ".html" rather than ".htmlx".
TEST(HXURLTest, ServerPageNamesChangeOnlyInTheFileName)
{
    EXPECT_EQ(LocalLink("http://www.aspire.com/index.asp", "http://h/"), "../www.aspire.com/index.html");
    EXPECT_EQ(LocalFileName(kRoot, "http://www.aspire.com/", "http://www.aspire.com/index.asp"),
              kRoot + "www.aspire.com/index.html");
    EXPECT_EQ(LocalLink("http://h/app.aspx/page.asp", "http://h/"), "app.aspx/page.html");
    EXPECT_EQ(LocalFileName(kRoot, "http://h/", "http://h/app.aspx/page.asp"), kRoot + "h/app.aspx/page.html");
    EXPECT_EQ(LocalLink("http://h/news/item.aspx", "http://h/news/"), "item.html");
    EXPECT_EQ(LocalLink("http://h/a.shtml", "http://h/"), "a.html");
    EXPECT_EQ(LocalLink("http://h/a.phtml", "http://h/"), "a.html");
}

} // namespace
} // namespace hx
