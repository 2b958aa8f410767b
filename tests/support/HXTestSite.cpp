#include "support/HXTestSite.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace hx::test
{

namespace
{

namespace fs = std::filesystem;

// ---- Text helpers ----

char LowerChar(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), LowerChar);
    return lower;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && Lower(text.substr(text.size() - suffix.size())) == suffix;
}

std::size_t FindNoCase(std::string_view text, std::string_view lowerPattern, std::size_t from)
{
    if (lowerPattern.empty() || text.size() < lowerPattern.size())
        return std::string_view::npos;
    for (std::size_t at = from; at + lowerPattern.size() <= text.size(); ++at)
    {
        std::size_t i = 0;
        while (i < lowerPattern.size() && LowerChar(text[at + i]) == lowerPattern[i])
            ++i;
        if (i == lowerPattern.size())
            return at;
    }
    return std::string_view::npos;
}

// Every byte but the unreserved ones and "/" as %XX.
std::string EncodePath(std::string_view path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : path)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (IsAsciiLetter(c) || IsAsciiDigit(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/')
            encoded += c;
        else
        {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}

int HexValue(char c)
{
    if (IsAsciiDigit(c))
        return c - '0';
    const char lower = LowerChar(c);
    if (lower >= 'a' && lower <= 'f')
        return lower - 'a' + 10;
    return -1;
}

// %XX becomes the byte; a "%" without two hex digits stays as it is.
std::string PercentDecode(std::string_view text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '%' && i + 2 < text.size())
        {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0)
            {
                decoded += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        decoded += text[i];
    }
    return decoded;
}

void AppendUtf8(std::string& out, unsigned long codePoint)
{
    if (codePoint == 0 || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        codePoint = 0xFFFD;
    if (codePoint < 0x80)
        out += static_cast<char>(codePoint);
    else if (codePoint < 0x800)
    {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
    else if (codePoint < 0x10000)
    {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
    else
    {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// The entities an attribute value of a saved page is likely to hold; any other
// "&" stays as it is.
std::string DecodeEntities(std::string_view text)
{
    static const std::array<std::pair<std::string_view, std::string_view>, 5> kNamed = {{
        {"amp", "&"},
        {"lt", "<"},
        {"gt", ">"},
        {"quot", "\""},
        {"apos", "'"},
    }};
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const std::size_t semicolon = text[i] == '&' ? text.find(';', i + 1) : std::string_view::npos;
        if (semicolon == std::string_view::npos || semicolon - i > 10)
        {
            decoded += text[i];
            continue;
        }
        const std::string_view name = text.substr(i + 1, semicolon - i - 1);
        bool done = false;
        if (name.size() > 1 && name[0] == '#')
        {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string_view digits = name.substr(hex ? 2 : 1);
            unsigned long codePoint = 0;
            bool valid = !digits.empty();
            for (const char c : digits)
            {
                const int digit = hex ? HexValue(c) : (IsAsciiDigit(c) ? c - '0' : -1);
                if (digit < 0 || codePoint > 0x10FFFF)
                {
                    valid = false;
                    break;
                }
                codePoint = codePoint * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
            }
            if (valid)
            {
                AppendUtf8(decoded, codePoint);
                done = true;
            }
        }
        else
        {
            for (const auto& [entity, replacement] : kNamed)
            {
                if (Lower(name) == entity)
                {
                    decoded += replacement;
                    done = true;
                    break;
                }
            }
        }
        if (done)
            i = semicolon;
        else
            decoded += text[i];
    }
    return decoded;
}

// "Sat, 01 Jun 2024 13:00:00 GMT" for seconds since 1970 (UTC), without the locale.
std::string HttpDate(std::int64_t seconds)
{
    static constexpr std::array<const char*, 7> kDays = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
    static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::int64_t days = seconds / 86400;
    const std::int64_t inDay = seconds % 86400;
    // Civil date from the day count (days since 1970-01-01).
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

    const auto two = [](std::int64_t value) { return (value < 10 ? "0" : "") + std::to_string(value); };
    return std::string(kDays[static_cast<std::size_t>(days % 7)]) + ", " + two(day) + " " +
           kMonths[static_cast<std::size_t>(month - 1)] + " " + std::to_string(year) + " " + two(inDay / 3600) + ":" +
           two(inDay / 60 % 60) + ":" + two(inDay % 60) + " GMT";
}

// Version 0 of every file: 1 June 2024 12:00:00 GMT; each version an hour later.
constexpr std::int64_t kVersionZero = 1717243200;
constexpr std::int64_t kVersionStep = 3600;

std::string ReadWholeFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteWholeFile(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

// ---- Tiny pictures ----

// A 1x1 GIF of one colour.
std::string TinyGif(unsigned char red, unsigned char green, unsigned char blue)
{
    std::string gif("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13);
    gif += static_cast<char>(red);
    gif += static_cast<char>(green);
    gif += static_cast<char>(blue);
    gif += std::string("\x00\x00\x00"
                       ",\x00\x00\x00\x00\x01\x00\x01\x00\x00"
                       "\x02\x02\x44\x01\x00"
                       ";",
                       19);
    return gif;
}

// A 1x1 RGB PNG.
std::string TinyPng()
{
    static constexpr char kBytes[] = "\x89PNG\r\n\x1a\n"
                                     "\x00\x00\x00\x0dIHDR\x00\x00\x00\x01\x00\x00\x00\x01\x08\x02\x00\x00\x00"
                                     "\x90\x77\x53\xde"
                                     "\x00\x00\x00\x0cIDAT\x78\x9c\x63\x30\x4e\x9b\x09\x00\x02\x02\x01\x33"
                                     "\x56\x87\xe2\x54"
                                     "\x00\x00\x00\x00IEND\xae\x42\x60\x82";
    return std::string(kBytes, sizeof(kBytes) - 1);
}

// A 1x1 grey baseline JPEG: one quantization table, one DC and one AC Huffman
// table with a single code each, and one block holding only its end.
std::string TinyJpeg()
{
    const auto segment = [](unsigned char marker, const std::string& data)
    {
        const std::size_t length = data.size() + 2;
        return std::string{'\xff', static_cast<char>(marker), static_cast<char>(length >> 8),
                           static_cast<char>(length & 0xFF)} +
               data;
    };
    std::string jpeg("\xff\xd8", 2);
    jpeg += segment(0xE0, std::string("JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 14));
    jpeg += segment(0xDB, std::string(1, '\x00') + std::string(64, '\x01'));
    jpeg += segment(0xC0, std::string("\x08\x00\x01\x00\x01\x01\x01\x11\x00", 9));
    const std::string oneCode = std::string(1, '\x01') + std::string(15, '\x00') + std::string(1, '\x00');
    jpeg += segment(0xC4, std::string(1, '\x00') + oneCode);
    jpeg += segment(0xC4, std::string(1, '\x10') + oneCode);
    jpeg += segment(0xDA, std::string("\x01\x01\x00\x00\x3f\x00", 6));
    jpeg += std::string("\x3f\xff\xd9", 3);
    return jpeg;
}

// ---- The site ----

enum class TEdgeKind
{
    Anchor,   // a plain link to a page or file
    Resource, // an image, style sheet or script element
    Frame,
    Base,
    Script,
    Refresh,
    Stylesheet,
    Redirect,
};

struct TEdge
{
    std::string From;
    std::string To;
    TEdgeKind Kind = TEdgeKind::Anchor;
};

constexpr std::array<std::pair<TEdgeKind, TReachedBy>, 6> kSpecialKinds = {{
    {TEdgeKind::Frame, TReachedBy::Frame},
    {TEdgeKind::Base, TReachedBy::Base},
    {TEdgeKind::Script, TReachedBy::Script},
    {TEdgeKind::Refresh, TReachedBy::Refresh},
    {TEdgeKind::Stylesheet, TReachedBy::Stylesheet},
    {TEdgeKind::Redirect, TReachedBy::Redirect},
}};

// Frames, refreshes and redirects keep the level of the page that leads to them.
int LevelStep(TEdgeKind kind)
{
    switch (kind)
    {
    case TEdgeKind::Frame:
    case TEdgeKind::Refresh:
    case TEdgeKind::Redirect:
    case TEdgeKind::Resource:
    case TEdgeKind::Stylesheet:
        return 0;
    default:
        return 1;
    }
}

bool IsHtmlPath(std::string_view path)
{
    return EndsWithNoCase(path, ".html") || EndsWithNoCase(path, ".htm");
}

std::string FolderOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

// The relative link from a folder of the site ("" or "sec01/more/") to a site path.
std::string RelativeLink(std::string_view fromFolder, std::string_view to)
{
    std::size_t common = 0;
    for (std::size_t i = 0; i < fromFolder.size() && i < to.size() && fromFolder[i] == to[i]; ++i)
    {
        if (fromFolder[i] == '/')
            common = i + 1;
    }
    std::string link;
    for (std::size_t i = common; i < fromFolder.size(); ++i)
    {
        if (fromFolder[i] == '/')
            link += "../";
    }
    link += to.substr(common);
    return EncodePath(link);
}

std::string Padded(int value, int width)
{
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return digits;
}

int DigitCount(int value)
{
    return static_cast<int>(std::to_string(value).size());
}

// Prose for the pages; no apostrophes, so quoted-text scans of the pages only meet
// the quotes the site means.
constexpr std::array<std::string_view, 10> kSentences = {
    "Harbex copies web sites so they can be read offline.",
    "Every page of this site was written by a program, so each copy can be checked file by file.",
    "Links lead to section pages, to leaf pages and across sections.",
    "Pictures are tiny on purpose: one pixel is enough to prove that a file arrived.",
    "Some addresses move, some are missing and one host never answers.",
    "A copy is good when every local link names a file that exists.",
    "Frames, scripts and refreshes hide links from simple crawlers.",
    "The start page is the only door; everything else is found by following links.",
    "Nothing here changes unless a test changes it.",
    "Queries and fragments make one file look like many addresses.",
};

std::string Paragraphs(int seed, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
    {
        text += "<p>";
        for (int j = 0; j < 3; ++j)
        {
            if (j > 0)
                text += ' ';
            text += kSentences[static_cast<std::size_t>((seed * 7 + i * 3 + j * 4) % 10)];
        }
        text += "</p>\n";
    }
    return text;
}

class TSiteWriter;

// One HTML page being written: links made through it are recorded as edges.
class TPageText
{
public:
    TPageText(TSiteWriter& writer, std::string path)
        : m_writer(writer)
        , m_path(std::move(path))
        , m_folder(FolderOf(m_path))
    {
    }

    const std::string& Path() const { return m_path; }
    // The href of a site path, relative to this page (or to `folder` when a BASE
    // makes the page resolve its links elsewhere).
    std::string Link(const std::string& to, TEdgeKind kind = TEdgeKind::Anchor, const std::string* folder = nullptr);
    std::string A(const std::string& to, std::string_view text, std::string_view suffix = {})
    {
        return "<a href=\"" + Link(to) + std::string(suffix) + "\">" + std::string(text) + "</a>";
    }
    std::string Img(const std::string& to, std::string_view alt)
    {
        return "<img src=\"" + Link(to, TEdgeKind::Resource) + "\" alt=\"" + std::string(alt) + "\">";
    }

    // A whole document: head extras come before the title, body attributes go into
    // the BODY tag.
    std::string Document(std::string_view title, std::string_view body, std::string_view head = {},
                         std::string_view bodyAttributes = {}, const std::string* linkFolder = nullptr)
    {
        const TEdgeKind cssKind = linkFolder ? TEdgeKind::Base : TEdgeKind::Resource;
        std::string text = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
        text += head;
        text += "<title>" + std::string(title) + "</title>\n";
        text += "<link rel=\"stylesheet\" href=\"" + Link("css/site.css", cssKind, linkFolder) + "\">\n";
        text += "</head>\n<body" + std::string(bodyAttributes) + ">\n";
        text += "<h1 id=\"top\">" + std::string(title) + "</h1>\n";
        text += body;
        text += "</body>\n</html>\n";
        return text;
    }

private:
    TSiteWriter& m_writer;
    std::string m_path;
    std::string m_folder;
};

class TSiteWriter
{
public:
    TSiteWriter(const fs::path& folder, const TTestSiteOptions& options)
        : m_options(options)
    {
        m_options.Pages = std::max(m_options.Pages, kMinTestSitePages);
        m_site.Folder = folder;
        m_site.StartPage = "index.html";
        m_site.UnresolvableURL = "http://unresolvable.invalid/page.html";
    }

    void AddEdge(const std::string& from, const std::string& to, TEdgeKind kind)
    {
        m_edges.push_back({from, to, kind});
    }

    TTestSite Write()
    {
        PlanSections();
        WriteResources();
        WriteStartPage();
        WriteAboutPage();
        WriteFramePages();
        WriteBasePages();
        WriteRefreshPages();
        WriteScriptPages();
        WriteListPage();
        WriteMovedPage();
        if (m_options.UnusualNames)
            WriteUnusualPages();
        for (int section = 1; section <= static_cast<int>(m_leafCounts.size()); ++section)
            WriteSection(section);

        for (const auto& [path, bytes] : m_files)
            WriteWholeFile(m_site.Folder / fs::path(path), bytes);
        Describe();
        return std::move(m_site);
    }

private:
    // Fixed feature pages: start, about, frames (3), base (3), refresh (2), script
    // (3), list, moved, and the two unusual names.
    int FixedPages() const { return 15 + (m_options.UnusualNames ? 2 : 0); }

    // The remaining pages go into sections of about sqrt(n) pages each (an index
    // and leaves), so the start page and each section index stay short however
    // large the site grows, and every leaf is two links from the start page.
    void PlanSections()
    {
        const int remaining = m_options.Pages - FixedPages();
        const int perSection = std::max(2, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(remaining)))));
        const int sections = (remaining + perSection - 1) / perSection;
        int maxLeaves = 0;
        for (int section = 0; section < sections; ++section)
        {
            const int pages = section + 1 < sections ? perSection : remaining - perSection * (sections - 1);
            m_leafCounts.push_back(pages - 1);
            maxLeaves = std::max(maxLeaves, pages - 1);
        }
        m_sectionWidth = std::max(2, DigitCount(sections));
        m_leafWidth = std::max(3, DigitCount(maxLeaves));
    }

    std::string SectionFolder(int section) const { return "sec" + Padded(section, m_sectionWidth) + "/"; }
    std::string SectionIndex(int section) const { return SectionFolder(section) + "index.html"; }
    // The second half of a section's leaves lives one folder deeper.
    std::string LeafPath(int section, int leaf) const
    {
        const int leaves = m_leafCounts[static_cast<std::size_t>(section - 1)];
        const bool deeper = leaf > (leaves + 1) / 2;
        return SectionFolder(section) + (deeper ? "more/" : "") + "page" + Padded(leaf, m_leafWidth) + ".html";
    }
    std::string FirstLeaf(int section) const
    {
        return m_leafCounts[static_cast<std::size_t>(section - 1)] > 0 ? LeafPath(section, 1) : SectionIndex(section);
    }

    void WriteResources()
    {
        m_files["images/logo.gif"] = TinyGif(0x33, 0x66, 0x99);
        m_files["images/bg.gif"] = TinyGif(0xF8, 0xF8, 0xF0);
        m_files["images/texture.gif"] = TinyGif(0xEE, 0xEE, 0xEE);
        m_files["images/banner.png"] = TinyPng();
        m_files["images/photo.jpg"] = TinyJpeg();
        m_files["based/pic.gif"] = TinyGif(0x99, 0x33, 0x33);
        m_files["files/readme.txt"] = "This plain text file is part of the generated test site.\n";
        m_files["js/app.js"] =
            "var harbexSite = { start: 'index.html', sections: " + std::to_string(m_leafCounts.size()) + " };\n";
        m_files["css/site.css"] = "body { font-family: sans-serif; margin: 2em; "
                                  "background: #ffffff url(../images/texture.gif) repeat; }\n"
                                  "h1 { border-bottom: 1px solid #336699; }\n"
                                  ".logo { background-image: url(\"../images/logo.gif\"); }\n";
        AddEdge("css/site.css", "images/texture.gif", TEdgeKind::Stylesheet);
        AddEdge("css/site.css", "images/logo.gif", TEdgeKind::Stylesheet);
        for (int section = 1; section <= static_cast<int>(m_leafCounts.size()); ++section)
        {
            const auto shade = static_cast<unsigned char>((section * 37) % 256);
            m_files[SectionFolder(section) + "icon.gif"] =
                TinyGif(shade, static_cast<unsigned char>(255 - shade), 0x80);
        }
    }

    void WriteStartPage()
    {
        TPageText page(*this, "index.html");
        std::string body;
        body += "<p class=\"logo\">" + page.Img("images/logo.gif", "Logo") + " " +
                page.Img("images/banner.png", "Banner") + " " + page.Img("images/photo.jpg", "Photo") + "</p>\n";
        body += Paragraphs(0, 1);
        body += "<h2>Sections</h2>\n<ul>\n";
        for (int section = 1; section <= static_cast<int>(m_leafCounts.size()); ++section)
            body += "<li>" + page.A(SectionIndex(section), "Section " + std::to_string(section)) + "</li>\n";
        body += "</ul>\n<h2>Special pages</h2>\n<ul>\n";
        body += "<li>" + page.A("about.html", "About this site") + " and " + page.A("about.html", "the team", "#team") +
                "</li>\n";
        body += "<li>" + page.A("frames.html", "A page with frames") + "</li>\n";
        body += "<li>" + page.A("base.html", "A page with a base address") + "</li>\n";
        body += "<li>" + page.A("refresh.html", "A page that moves on by itself") + "</li>\n";
        body += "<li>" + page.A("script.html", "A page with scripts") + "</li>\n";
        body += "<li>" + page.A("list.html", "The list") + ", " + page.A("list.html", "page 2", "?page=2") + ", " +
                page.A("list.html", "page 3 by name", "?page=3&amp;sort=name") + "</li>\n";
        m_site.QueryLinks = {"list.html?page=2", "list.html?page=3&sort=name"};
        body += "<li>" + page.A("files/readme.txt", "A text file") + "</li>\n";
        if (m_options.UnusualNames)
            body += "<li>" + page.A("files/my notes.html", "My notes") + " and " + page.A("files/café.html", "Café") +
                    "</li>\n";
        body += "</ul>\n<h2>Links that lead nowhere</h2>\n<ul>\n";
        body += "<li>" + page.A("gone.html", "A page that is gone") + "</li>\n";
        body += "<li>" + page.A("old/moved.html", "A page that moved for good") + "</li>\n";
        body += "<li>" + page.A("go/temp.html", "A page that moved for now") + "</li>\n";
        body += "<li><a href=\"" + m_site.UnresolvableURL + "\">A host that does not exist</a></li>\n";
        body += "<li><a href=\"mailto:webmaster@example.com\">Write to the webmaster</a></li>\n";
        body += "<li><a href=\"javascript:void(0)\">Do nothing</a></li>\n";
        body += "<li><a href=\"#top\">Back to the top</a></li>\n";
        body += "</ul>\n";
        m_site.Redirects = {{"old/moved.html", "moved/new-home.html", 301},
                            {"go/temp.html", "about.html", 302},
                            {"images/old-logo.gif", "images/logo.gif", 301}};
        for (const TSiteRedirect& redirect : m_site.Redirects)
            AddEdge(redirect.From, redirect.To, TEdgeKind::Redirect);
        m_files[page.Path()] = page.Document("Harbex test site", body, {},
                                             " background=\"" + page.Link("images/bg.gif", TEdgeKind::Resource) + "\"");
    }

    void WriteAboutPage()
    {
        TPageText page(*this, "about.html");
        std::string body = Paragraphs(1, 2);
        body += "<h2 id=\"team\">The team</h2>\n" + Paragraphs(2, 1);
        body += "<p>" + page.Img("images/old-logo.gif", "The old logo") + " " +
                page.Img("images/missing.gif", "A picture that is missing") + "</p>\n";
        // A folder address: servers answer with the folder's index page.
        body += "<p><a href=\"sec01/\">The first section</a> | " + page.A("index.html", "Start page") + "</p>\n";
        AddEdge(page.Path(), "sec01/index.html", TEdgeKind::Anchor);
        m_site.FolderLinks = {"sec01/"};
        m_site.Missing = {"gone.html", "images/missing.gif"};
        m_files[page.Path()] = page.Document("About this site", body);
    }

    void WriteFramePages()
    {
        TPageText frames(*this, "frames.html");
        m_files[frames.Path()] =
            "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Frameset//EN\">\n<html>\n<head>\n"
            "<meta charset=\"utf-8\">\n<title>Frames</title>\n</head>\n<frameset cols=\"30%,70%\">\n"
            "<frame src=\"" +
            frames.Link("frames/nav.html", TEdgeKind::Frame) + "\" name=\"nav\">\n<frame src=\"" +
            frames.Link("frames/main.html", TEdgeKind::Frame) +
            "\" name=\"main\">\n<noframes><p>This page needs frames.</p></noframes>\n</frameset>\n</html>\n";

        TPageText nav(*this, "frames/nav.html");
        m_files[nav.Path()] =
            nav.Document("Navigation", "<p><a href=\"" + nav.Link("frames/main.html") +
                                           "\" target=\"main\">Main</a></p>\n<p><a href=\"" + nav.Link("index.html") +
                                           "\" target=\"_top\">Start page</a></p>\n");

        TPageText main(*this, "frames/main.html");
        m_files[main.Path()] =
            main.Document("Main frame", Paragraphs(3, 1) + "<p>" + main.Img("images/logo.gif", "Logo") + " " +
                                            main.A(FirstLeaf(1), "A leaf page") + "</p>\n");
    }

    void WriteBasePages()
    {
        // The BASE names a sub-folder: every relative link of the page, its style
        // sheet included, resolves against that folder.
        TPageText page(*this, "base.html");
        const std::string based = "based/";
        std::string body = Paragraphs(4, 1);
        body += "<p><a href=\"" + page.Link("based/one.html", TEdgeKind::Base, &based) + "\">One</a> | <a href=\"" +
                page.Link("based/two.html", TEdgeKind::Base, &based) + "\">Two</a> | <a href=\"" +
                page.Link("index.html", TEdgeKind::Base, &based) + "\">Start page</a></p>\n";
        body += "<p><img src=\"" + page.Link("based/pic.gif", TEdgeKind::Base, &based) + "\" alt=\"Picture\"></p>\n";
        m_files[page.Path()] =
            page.Document("A page with a base address", body, "<base href=\"based/\">\n", {}, &based);

        TPageText one(*this, "based/one.html");
        m_files[one.Path()] = one.Document("Page one", Paragraphs(5, 1) + "<p>" + one.A("based/two.html", "Two") +
                                                           " | " + one.A("index.html", "Start page") + " " +
                                                           one.Img("based/pic.gif", "Picture") + "</p>\n");
        TPageText two(*this, "based/two.html");
        m_files[two.Path()] =
            two.Document("Page two", Paragraphs(6, 1) + "<p>" + two.A("index.html", "Start page") + "</p>\n");
    }

    void WriteRefreshPages()
    {
        TPageText page(*this, "refresh.html");
        const std::string head =
            "<meta http-equiv=\"refresh\" content=\"0; URL=" + page.Link("refreshed/target.html", TEdgeKind::Refresh) +
            "\">\n";
        m_files[page.Path()] = page.Document("Moving on", "<p>This page moves on to another one at once.</p>\n", head);

        TPageText target(*this, "refreshed/target.html");
        m_files[target.Path()] =
            target.Document("Arrived", Paragraphs(7, 1) + "<p>" + target.A("index.html", "Start page") + "</p>\n");
    }

    void WriteScriptPages()
    {
        TPageText page(*this, "script.html");
        const std::string head = "<script src=\"" + page.Link("js/app.js", TEdgeKind::Resource) + "\"></script>\n";
        std::string body = Paragraphs(8, 1);
        body += "<script>\nfunction openPopup()\n{\n    window.open('" +
                page.Link("scripted/popup.html", TEdgeKind::Script) + "');\n}\ndocument.write('<p><a href=\"" +
                page.Link("scripted/written.html", TEdgeKind::Script) +
                "\">A link written by a script</a></p>');\n</script>\n";
        body += "<p><a href=\"javascript:openPopup()\">Open the pop-up page</a> | " +
                page.A("index.html", "Start page") + "</p>\n";
        m_files[page.Path()] = page.Document("A page with scripts", body, head);

        for (const std::string& path : {std::string("scripted/popup.html"), std::string("scripted/written.html")})
        {
            TPageText target(*this, path);
            m_files[path] = target.Document(path == "scripted/popup.html" ? "The pop-up page" : "The written link",
                                            Paragraphs(9, 1) + "<p>" + target.A("index.html", "Start page") + "</p>\n");
        }
    }

    void WriteListPage()
    {
        TPageText page(*this, "list.html");
        std::string body = Paragraphs(10, 1);
        body += "<p>Pages: " + page.A("list.html", "2", "?page=2") + " " +
                page.A("list.html", "3", "?page=3&amp;sort=name") + " | " + page.A("index.html", "Start page") +
                "</p>\n";
        m_files[page.Path()] = page.Document("The list", body);
    }

    void WriteMovedPage()
    {
        TPageText page(*this, "moved/new-home.html");
        m_files[page.Path()] =
            page.Document("A new home", "<p>This page is reached through a permanent redirect.</p>\n<p>" +
                                            page.A("index.html", "Start page") + "</p>\n");
    }

    void WriteUnusualPages()
    {
        TPageText notes(*this, "files/my notes.html");
        m_files[notes.Path()] =
            notes.Document("My notes", Paragraphs(11, 1) + "<p>" + notes.A("files/café.html", "Café") + " | " +
                                           notes.A("files/readme.txt", "A text file") + " | " +
                                           notes.A("index.html", "Start page") + "</p>\n");
        TPageText cafe(*this, "files/café.html");
        m_files[cafe.Path()] =
            cafe.Document("Café", Paragraphs(12, 1) + "<p>" + cafe.A("files/my notes.html", "My notes") + " | " +
                                      cafe.A("index.html", "Start page") + "</p>\n");
    }

    void WriteSection(int section)
    {
        const int sections = static_cast<int>(m_leafCounts.size());
        const int leaves = m_leafCounts[static_cast<std::size_t>(section - 1)];
        const std::string icon = SectionFolder(section) + "icon.gif";
        const std::string title = "Section " + std::to_string(section);

        TPageText index(*this, SectionIndex(section));
        std::string body = "<p>" + index.Img(icon, "Section icon") + "</p>\n" + Paragraphs(section, 1) + "<ul>\n";
        for (int leaf = 1; leaf <= leaves; ++leaf)
            body += "<li>" + index.A(LeafPath(section, leaf), "Page " + std::to_string(leaf)) + "</li>\n";
        body += "</ul>\n<p>" + index.A("index.html", "Start page") + " | " +
                index.A(SectionIndex(section % sections + 1), "Next section") + "</p>\n";
        m_files[index.Path()] = index.Document(title, body);

        for (int leaf = 1; leaf <= leaves; ++leaf)
        {
            TPageText page(*this, LeafPath(section, leaf));
            std::string text = "<p>" + page.Img(icon, "Section icon") + "</p>\n";
            text += Paragraphs(section * 31 + leaf, 3);
            text += "<h2 id=\"notes\">Notes</h2>\n" + Paragraphs(section + leaf * 13, 1);
            text += "<p>" + page.A(SectionIndex(section), "Section index") + " | " + page.A("index.html", "Start page");
            if (leaf > 1)
                text += " | " + page.A(LeafPath(section, leaf - 1), "Previous page");
            if (leaf < leaves)
                text += " | " + page.A(LeafPath(section, leaf + 1), "Next page", "#top");
            text += " | <a href=\"#notes\">Notes</a></p>\n";
            // A link across sections, so pages are found by more than one path.
            const int other = (section * 7 + leaf * 3) % sections + 1;
            const int otherLeaves = m_leafCounts[static_cast<std::size_t>(other - 1)];
            const std::string across =
                otherLeaves > 0 ? LeafPath(other, (leaf * 5 + section) % otherLeaves + 1) : SectionIndex(other);
            text += "<p>See also " + page.A(across, "a page of section " + std::to_string(other)) + ".</p>\n";
            m_files[page.Path()] = page.Document(title + ", page " + std::to_string(leaf), text);
        }
    }

    // Reach, levels and what only one kind of link reaches, from the recorded links.
    void Describe()
    {
        for (const auto& [path, bytes] : m_files)
        {
            m_site.Paths.push_back(path);
            if (IsHtmlPath(path))
                m_site.Pages.push_back(path);
        }

        std::map<std::string, std::vector<const TEdge*>> outgoing;
        for (const TEdge& edge : m_edges)
            outgoing[edge.From].push_back(&edge);

        const auto reach = [&](std::optional<TEdgeKind> without)
        {
            std::set<std::string> seen{m_site.StartPage};
            std::deque<std::string> queue{m_site.StartPage};
            while (!queue.empty())
            {
                const std::string from = queue.front();
                queue.pop_front();
                for (const TEdge* edge : outgoing[from])
                {
                    if (edge->Kind != without && seen.insert(edge->To).second)
                        queue.push_back(edge->To);
                }
            }
            return seen;
        };
        const std::set<std::string> all = reach(std::nullopt);
        for (const std::string& path : m_site.Paths)
        {
            if (!all.contains(path))
                throw std::logic_error("test site: " + path + " cannot be reached");
        }
        for (const auto& [kind, reachedBy] : kSpecialKinds)
        {
            const std::set<std::string> without = reach(kind);
            for (const std::string& path : m_site.Paths)
            {
                if (!without.contains(path))
                    m_site.OnlyVia.emplace(path, reachedBy);
            }
        }

        // Fewest level steps from the start page (0-1 breadth-first).
        std::map<std::string, int> level{{m_site.StartPage, 0}};
        std::deque<std::string> queue{m_site.StartPage};
        while (!queue.empty())
        {
            const std::string from = queue.front();
            queue.pop_front();
            for (const TEdge* edge : outgoing[from])
            {
                const int step = LevelStep(edge->Kind);
                const int candidate = level[from] + step;
                const auto known = level.find(edge->To);
                if (known != level.end() && known->second <= candidate)
                    continue;
                level[edge->To] = candidate;
                if (step == 0)
                    queue.push_front(edge->To);
                else
                    queue.push_back(edge->To);
            }
        }
        for (const std::string& page : m_site.Pages)
            m_site.Levels[page] = level.at(page);
    }

    TTestSiteOptions m_options;
    TTestSite m_site;
    std::map<std::string, std::string> m_files;
    std::vector<TEdge> m_edges;
    std::vector<int> m_leafCounts; // leaves of each section
    int m_sectionWidth = 2;
    int m_leafWidth = 3;
};

std::string TPageText::Link(const std::string& to, TEdgeKind kind, const std::string* folder)
{
    m_writer.AddEdge(m_path, to, kind);
    return RelativeLink(folder ? *folder : m_folder, to);
}

// ---- Link checker helpers ----

constexpr std::array<std::string_view, 10> kLinkAttributes = {
    "href", "src", "background", "action", "codebase", "data", "longdesc", "lowsrc", "dynsrc", "poster",
};

// The address in a META refresh's content: "5; URL=next.html", "0;url='next.html'".
std::string RefreshAddress(std::string_view content)
{
    const std::size_t semicolon = content.find_first_of(";,");
    if (semicolon == std::string_view::npos)
        return {};
    std::string_view rest = Trim(content.substr(semicolon + 1));
    if (rest.size() >= 3 && Lower(rest.substr(0, 3)) == "url")
    {
        std::string_view after = Trim(rest.substr(3));
        if (!after.empty() && after.front() == '=')
            rest = Trim(after.substr(1));
    }
    if (rest.size() >= 2 && (rest.front() == '\'' || rest.front() == '"') && rest.back() == rest.front())
        rest = rest.substr(1, rest.size() - 2);
    return std::string(rest);
}

} // namespace

const char* ReachedByName(TReachedBy kind)
{
    switch (kind)
    {
    case TReachedBy::Frame:
        return "frame";
    case TReachedBy::Base:
        return "base";
    case TReachedBy::Script:
        return "script";
    case TReachedBy::Refresh:
        return "refresh";
    case TReachedBy::Stylesheet:
        return "style sheet";
    case TReachedBy::Redirect:
        return "redirect";
    }
    return "?";
}

bool TTestSite::Has(std::string_view path) const
{
    return std::binary_search(Paths.begin(), Paths.end(), path);
}

bool TTestSite::IsPage(std::string_view path) const
{
    return std::binary_search(Pages.begin(), Pages.end(), path);
}

TTestSite GenerateTestSite(const std::filesystem::path& folder, const TTestSiteOptions& options)
{
    return TSiteWriter(folder, options).Write();
}

std::string SiteTarget(std::string_view path)
{
    return "/" + EncodePath(path);
}

std::string SiteContentType(std::string_view path)
{
    static const std::array<std::pair<std::string_view, std::string_view>, 9> kTypes = {{
        {".html", "text/html"},
        {".htm", "text/html"},
        {".css", "text/css"},
        {".js", "application/javascript"},
        {".gif", "image/gif"},
        {".png", "image/png"},
        {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},
        {".txt", "text/plain"},
    }};
    for (const auto& [extension, type] : kTypes)
    {
        if (EndsWithNoCase(path, extension))
            return std::string(type);
    }
    return "application/octet-stream";
}

// ---- TSiteState ----

TSiteState::TSiteState(TTestSite site)
    : m_site(std::move(site))
{
}

int TSiteState::Version(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_versions.find(path);
    return found == m_versions.end() ? 1 : found->second;
}

std::string TSiteState::LastModified(const std::string& path) const
{
    return HttpDate(kVersionZero + kVersionStep * Version(path));
}

void TSiteState::SetContent(const std::string& path, const std::string& bytes)
{
    std::lock_guard lock(m_mutex);
    WriteWholeFile(m_site.Folder / fs::path(path), bytes);
    const auto found = m_versions.find(path);
    m_versions[path] = (found == m_versions.end() ? 1 : found->second) + 1;
}

void TSiteState::SetFailing(const std::string& path, int times)
{
    std::lock_guard lock(m_mutex);
    if (times == 0)
        m_failing.erase(path);
    else
        m_failing[path] = times;
}

void TSiteState::ClearFailing(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_failing.erase(path);
}

void TSiteState::ClearAllFailing()
{
    std::lock_guard lock(m_mutex);
    m_failing.clear();
}

TRequestTally TSiteState::Tally(const std::string& address) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_tallies.find(address);
    return found == m_tallies.end() ? TRequestTally{} : found->second;
}

std::map<std::string, TRequestTally> TSiteState::Tallies() const
{
    std::lock_guard lock(m_mutex);
    return m_tallies;
}

int TSiteState::TotalRequests() const
{
    std::lock_guard lock(m_mutex);
    int total = 0;
    for (const auto& [address, tally] : m_tallies)
        total += tally.Total;
    return total;
}

void TSiteState::ResetTallies()
{
    std::lock_guard lock(m_mutex);
    m_tallies.clear();
}

TReply TSiteState::Answer(const TRecordedRequest& request)
{
    std::string target = request.Target;
    // A request through a proxy names the whole URL.
    if (Lower(target.substr(0, 7)) == "http://")
    {
        const std::size_t slash = target.find('/', 7);
        target = slash == std::string::npos ? "/" : target.substr(slash);
    }
    const std::size_t question = target.find('?');
    const std::string query = question == std::string::npos ? std::string() : target.substr(question);
    std::string path = PercentDecode(target.substr(0, question));
    if (!path.empty() && path.front() == '/')
        path.erase(0, 1);

    std::lock_guard lock(m_mutex);
    TRequestTally& tally = m_tallies[path + query];
    ++tally.Total;
    if (request.HasHeader("If-Modified-Since"))
        ++tally.Conditional;
    return AnswerLocked(request, path, tally);
}

TReply TSiteState::AnswerLocked(const TRecordedRequest& request, const std::string& path, TRequestTally& tally)
{
    const bool head = request.Method == "HEAD";
    const auto answer = [head](int status, const std::string& body, THeaderFields fields)
    {
        if (!head)
            return TReply::Text(status, body, fields);
        fields.emplace_back("Content-Length", std::to_string(body.size()));
        return TReply::Raw(ResponseHead(status, fields));
    };
    const auto page = [](std::string_view text)
    {
        return "<html><head><title>" + std::string(text) + "</title></head><body><h1>" + std::string(text) +
               "</h1></body></html>\n";
    };

    const auto failing = m_failing.find(path);
    if (failing != m_failing.end())
    {
        if (failing->second > 0 && --failing->second == 0)
            m_failing.erase(failing);
        ++tally.Failed;
        return answer(503, page("Service Unavailable"), {{"Content-Type", "text/html"}, {"Retry-After", "1"}});
    }

    const std::string host = request.Header("Host");
    const auto location = [&host](const std::string& target)
    { return host.empty() ? target : "http://" + host + target; };
    for (const TSiteRedirect& redirect : m_site.Redirects)
    {
        if (redirect.From == path)
            return answer(redirect.Status, {}, {{"Location", location(SiteTarget(redirect.To))}});
    }

    // Nothing outside the site folder is served.
    const fs::path relative(path);
    if (path.find('\0') != std::string::npos ||
        std::any_of(relative.begin(), relative.end(), [](const fs::path& part) { return part == ".."; }))
        return answer(400, page("Bad Request"), {{"Content-Type", "text/html"}});

    std::string sitePath = path;
    if (sitePath.empty() || sitePath.back() == '/')
        sitePath += "index.html";
    const fs::path file = m_site.Folder / fs::path(sitePath);
    std::error_code error;
    if (fs::is_directory(file, error))
        return answer(301, {}, {{"Location", location(SiteTarget(path) + "/")}});
    if (!fs::is_regular_file(file, error))
        return answer(404, page("Not Found"), {{"Content-Type", "text/html"}});

    const auto version = m_versions.find(sitePath);
    const std::string lastModified =
        HttpDate(kVersionZero + kVersionStep * (version == m_versions.end() ? 1 : version->second));
    if (request.Header("If-Modified-Since") == lastModified)
    {
        ++tally.NotModified;
        return TReply::NotModified();
    }
    const std::string body = ReadWholeFile(file);
    if (head)
        return answer(200, body, {{"Content-Type", SiteContentType(sitePath)}, {"Last-Modified", lastModified}});
    return ResourceReply(request, body, lastModified, SiteContentType(sitePath));
}

TRequestHandler SiteHandler(std::shared_ptr<TSiteState> state)
{
    return [state = std::move(state)](const TRecordedRequest& request) { return state->Answer(request); };
}

std::string NginxExtraForSite(const TTestSite& site)
{
    std::ostringstream extra;
    extra << "    types { text/html html htm; text/css css; application/javascript js; image/gif gif; "
             "image/png png; image/jpeg jpg jpeg; text/plain txt; }\n";
    for (const TSiteRedirect& redirect : site.Redirects)
        extra << "    location = " << SiteTarget(redirect.From) << " { return " << redirect.Status << " "
              << SiteTarget(redirect.To) << "; }\n";
    return extra.str();
}

// ---- Link checker ----

TPageLinks ScanPageLinks(std::string_view html)
{
    TPageLinks result;
    const std::size_t size = html.size();
    std::size_t pos = 0;
    for (;;)
    {
        const std::size_t open = html.find('<', pos);
        if (open == std::string_view::npos)
            break;
        if (html.substr(open, 4) == "<!--")
        {
            const std::size_t end = html.find("-->", open + 4);
            if (end == std::string_view::npos)
                break;
            pos = end + 3;
            continue;
        }
        std::size_t p = open + 1;
        const std::size_t nameStart = p;
        while (p < size && (IsAsciiLetter(html[p]) || IsAsciiDigit(html[p])))
            ++p;
        if (p == nameStart || !IsAsciiLetter(html[nameStart]))
        {
            pos = open + 1; // a closing tag, a declaration or a lone "<"
            continue;
        }
        const std::string tag = Lower(html.substr(nameStart, p - nameStart));

        std::vector<std::pair<std::string, std::string>> attributes;
        bool closed = false;
        while (p < size)
        {
            while (p < size && (IsBlank(html[p]) || html[p] == '/'))
                ++p;
            if (p >= size)
                break;
            if (html[p] == '>')
            {
                ++p;
                closed = true;
                break;
            }
            const std::size_t attributeStart = p;
            while (p < size && !IsBlank(html[p]) && html[p] != '=' && html[p] != '>' && html[p] != '/')
                ++p;
            if (p == attributeStart)
            {
                ++p; // a stray "=": skip it
                continue;
            }
            std::string name = Lower(html.substr(attributeStart, p - attributeStart));
            std::size_t q = p;
            while (q < size && IsBlank(html[q]))
                ++q;
            std::string value;
            if (q < size && html[q] == '=')
            {
                ++q;
                while (q < size && IsBlank(html[q]))
                    ++q;
                if (q < size && (html[q] == '"' || html[q] == '\''))
                {
                    const std::size_t end = html.find(html[q], q + 1);
                    const std::size_t stop = end == std::string_view::npos ? size : end;
                    value = html.substr(q + 1, stop - q - 1);
                    p = std::min(size, stop + 1);
                }
                else
                {
                    const std::size_t valueStart = q;
                    while (q < size && !IsBlank(html[q]) && html[q] != '>')
                        ++q;
                    value = html.substr(valueStart, q - valueStart);
                    p = q;
                }
            }
            attributes.emplace_back(std::move(name), DecodeEntities(Trim(value)));
        }
        pos = p;

        if (tag == "base")
        {
            for (const auto& [name, value] : attributes)
            {
                if (name == "href" && result.Base.empty())
                    result.Base = value;
            }
        }
        else if (tag == "meta")
        {
            std::string equiv;
            std::string content;
            for (const auto& [name, value] : attributes)
            {
                if (name == "http-equiv")
                    equiv = Lower(value);
                else if (name == "content")
                    content = value;
            }
            if (equiv == "refresh")
            {
                const std::string address = RefreshAddress(content);
                if (!address.empty())
                    result.Links.push_back({tag, "content", address});
            }
        }
        else
        {
            for (const auto& [name, value] : attributes)
            {
                if (std::find(kLinkAttributes.begin(), kLinkAttributes.end(), name) != kLinkAttributes.end())
                    result.Links.push_back({tag, name, value});
            }
        }

        // The text of a script or style block is no markup.
        if (closed && (tag == "script" || tag == "style"))
        {
            const std::size_t end = FindNoCase(html, "</" + tag, pos);
            pos = end == std::string_view::npos ? size : end;
        }
    }
    return result;
}

bool IsLocalLink(std::string_view value)
{
    value = Trim(value);
    if (value.empty() || value.front() == '#' || value.starts_with("//"))
        return false;
    if (IsAsciiLetter(value.front()))
    {
        std::size_t i = 1;
        while (i < value.size() && (IsAsciiLetter(value[i]) || IsAsciiDigit(value[i]) || value[i] == '+' ||
                                    value[i] == '-' || value[i] == '.'))
            ++i;
        if (i < value.size() && value[i] == ':')
            return false;
    }
    return true;
}

std::filesystem::path LocalLinkTarget(const std::filesystem::path& page, std::string_view base, std::string_view value)
{
    const auto cut = [](std::string_view text)
    {
        text = Trim(text);
        text = text.substr(0, text.find('#'));
        return text.substr(0, text.find('?'));
    };
    const std::string_view link = cut(value);
    if (link.empty())
        return {};
    fs::path folder = page.parent_path();
    base = Trim(base);
    if (!base.empty())
    {
        if (!IsLocalLink(base))
            return {}; // an absolute BASE: every relative link leaves the copy
        const std::string baseFolder = FolderOf(PercentDecode(cut(base)));
        folder = !baseFolder.empty() && baseFolder.front() == '/' ? fs::path(baseFolder) : folder / baseFolder;
    }
    const std::string decoded = PercentDecode(link);
    const fs::path target = !decoded.empty() && decoded.front() == '/' ? fs::path(decoded) : folder / decoded;
    return target.lexically_normal();
}

std::vector<TBrokenLink> CheckLocalLinks(const std::filesystem::path& root, TLinkCheckStats* stats)
{
    std::vector<fs::path> pages;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error), end;
         !error && it != end; it.increment(error))
    {
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(error) && (EndsWithNoCase(name, ".html") || EndsWithNoCase(name, ".htm")))
            pages.push_back(it->path());
    }
    std::sort(pages.begin(), pages.end());

    TLinkCheckStats counted;
    std::vector<TBrokenLink> broken;
    std::set<std::pair<std::string, std::string>> reported;
    for (const fs::path& page : pages)
    {
        ++counted.Pages;
        const TPageLinks found = ScanPageLinks(ReadWholeFile(page));
        const std::string pageName = page.lexically_relative(root).generic_string();
        for (const TPageLink& link : found.Links)
        {
            if (!IsLocalLink(link.Value))
                continue;
            const fs::path target = LocalLinkTarget(page, found.Base, link.Value);
            if (target.empty())
                continue;
            ++counted.Links;
            std::error_code statError;
            const bool exists = fs::is_regular_file(target, statError) ||
                                (link.Attribute == "codebase" && fs::is_directory(target, statError));
            if (!exists && reported.emplace(pageName, link.Value).second)
                broken.push_back({pageName, link.Value});
        }
    }
    if (stats)
        *stats = counted;
    return broken;
}

} // namespace hx::test
