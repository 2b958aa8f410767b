// Cost of parsing one fetched page without the owner-thread hand-overs and waits: the
// BASE and title, the tag table scans and the two quoted-text scans with the following
// decision for every link, the rewriting of the converted links and the ad banner.
// The pages are generated the same way every run: a realistic article page of about
// 200 KB, and a 20 MB page of the same make (more articles, more distinct links), and
// a manual page of the same two sizes.
// "bytes_per_second" is the page size over the CPU time of one whole parse.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/HXFileTypes.h"
#include "core/HXProfile.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "engine/HXParser.h"
#include "engine/HXThreadParseRewrite.h"
#include "engine/HXThreadParseScan.h"

namespace
{

using namespace hx;

constexpr const char* kPageURL = "http://www.news.test/2011/05/world/story-1234.html";
constexpr const char* kManualURL = "http://docs.manual.test/library/module-17.html";

class TSequence
{
public:
    std::uint32_t Next(std::uint32_t bound)
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return static_cast<std::uint32_t>(m_state % bound);
    }

private:
    std::uint64_t m_state = 0x9E3779B97F4A7C15ULL;
};

const char* const kWords[] = {"the",    "garden", "council", "report", "season", "market", "river",  "would",
                              "people", "said",   "new",     "city",   "winter", "plans",  "school", "after"};

std::string Words(TSequence& random, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
    {
        text += kWords[random.Next(16)];
        text += ' ';
    }
    return text;
}

// One article: a heading, paragraphs with links to other stories, tag pages and
// images, a photo, and a related-links list. Story numbers grow with the index, so a
// bigger page has more distinct links, as a long archive page does.
std::string Article(TSequence& random, int index)
{
    const std::string story = std::to_string(1000 + index);
    std::string text = "<div class=\"article\" id=\"a" + story + "\">\r\n<h2><a href=\"/2011/05/world/story-" + story +
                       ".html\">" + Words(random, 6) + "</a></h2>\r\n";
    for (int paragraph = 0; paragraph < 4; ++paragraph)
    {
        text += "<p>" + Words(random, 25);
        text += "<a href=\"../../" + std::to_string(2009 + static_cast<int>(random.Next(3))) + "/0" +
                std::to_string(1 + random.Next(9)) + "/story-" + std::to_string(random.Next(5000)) + ".html\">" +
                Words(random, 3) + "</a> ";
        text += Words(random, 20);
        text += "<a href=\"/tags/" + std::string(kWords[random.Next(16)]) + "/\">" + Words(random, 2) + "</a>";
        if (random.Next(3) == 0)
            text += " <a href=\"http://www.partner" + std::to_string(random.Next(20)) +
                    ".test/feature?id=" + std::to_string(random.Next(100000)) + "&amp;ref=news\">partner</a>";
        text += Words(random, 15) + "</p>\r\n";
    }
    text += "<p class=\"photo\"><img src=\"/images/2011/05/photo-" + story +
            ".jpg\" width=\"460\" height=\"300\" alt=\"" + Words(random, 4) + "\"><br>" + Words(random, 10) +
            "</p>\r\n<ul class=\"related\">\r\n";
    for (int related = 0; related < 3; ++related)
        text += "<li><a href=\"story-" + std::to_string(random.Next(100000)) + ".html#top\">" + Words(random, 5) +
                "</a></li>\r\n";
    text += "</ul>\r\n<script type=\"text/javascript\">shareButtons('/share/story-" + story + ".html', 'small');" +
            "</script>\r\n</div>\r\n";
    return text;
}

std::string Page(std::size_t size)
{
    TSequence random;
    std::string page = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n<html>\r\n<head>\r\n"
                       "<title>World news - The Daily Test</title>\r\n"
                       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\r\n"
                       "<link rel=\"stylesheet\" type=\"text/css\" href=\"/css/site.css\">\r\n"
                       "<link rel=\"stylesheet\" type=\"text/css\" href=\"http://static.news.test/css/print.css\">\r\n"
                       "<script type=\"text/javascript\" src=\"/js/common.js\"></script>\r\n"
                       "<script type=\"text/javascript\">\r\nvar images = ['/images/nav/home.gif', "
                       "'/images/nav/home-on.gif', '/images/nav/world.gif'];\r\n"
                       "function go(url) { document.location = url; }\r\n</script>\r\n</head>\r\n"
                       "<body bgcolor=\"#ffffff\" background=\"/images/bg.gif\">\r\n<div id=\"nav\">";
    for (const char* section : {"world", "business", "sport", "science", "arts", "travel", "weather", "letters"})
        page += "<a href=\"/" + std::string(section) + "/\"><img src=\"/images/nav/" + section +
                ".gif\" border=\"0\" alt=\"" + section + "\"></a>\r\n";
    page += "</div>\r\n<div id=\"main\">\r\n";
    const std::string footer = "</div>\r\n<div id=\"footer\"><a href=\"/about/\">About</a> | "
                               "<a href=\"mailto:desk@news.test\">Contact</a> | <a href=\"#\">Top</a></div>\r\n"
                               "</body>\r\n</html>\r\n";
    for (int index = 0; page.size() + footer.size() < size; ++index)
        page += Article(random, index);
    page += footer;
    return page;
}

// A page of a software manual: sections with headings, paragraphs with inline code,
// code listings marked up token by token, and links mostly to anchors of the same page
// and to the other pages of the manual. Far more tags than links, as such pages have.
std::string ManualPage(std::size_t size)
{
    TSequence random;
    std::string page = "<!DOCTYPE html>\r\n<html lang=\"en\">\r\n<head>\r\n<meta charset=\"utf-8\">\r\n"
                       "<title>Module reference - Manual</title>\r\n"
                       "<link rel=\"stylesheet\" href=\"../_static/pygments.css\" type=\"text/css\">\r\n"
                       "<script src=\"../_static/doctools.js\"></script>\r\n</head>\r\n<body>\r\n"
                       "<div class=\"document\"><div class=\"body\" role=\"main\">\r\n";
    const std::string footer = "</div></div>\r\n<div class=\"footer\">&copy; The authors.</div>\r\n"
                               "</body>\r\n</html>\r\n";
    for (int section = 0; page.size() + footer.size() < size; ++section)
    {
        const std::string id = "sec-" + std::to_string(section);
        page += "<section id=\"" + id + "\">\r\n<h2>" + Words(random, 3) + "<a class=\"headerlink\" href=\"#" + id +
                "\" title=\"Link to this heading\">&para;</a></h2>\r\n";
        for (int paragraph = 0; paragraph < 3; ++paragraph)
        {
            page += "<p>" + Words(random, 12) + "<code class=\"docutils literal notranslate\"><span class=\"pre\">" +
                    kWords[random.Next(16)] + "()</span></code> " + Words(random, 10);
            page += "<a class=\"reference internal\" href=\"" +
                    (random.Next(2) == 0
                         ? "#sec-" + std::to_string(random.Next(400))
                         : "module-" + std::to_string(random.Next(300)) + ".html#" + kWords[random.Next(16)]) +
                    "\"><span class=\"std std-ref\">" + Words(random, 2) + "</span></a> " + Words(random, 8) +
                    "</p>\r\n";
        }
        page += "<div class=\"highlight\"><pre><span></span>";
        for (int line = 0; line < 6; ++line)
            page += "<span class=\"k\">def</span> <span class=\"nf\">" + std::string(kWords[random.Next(16)]) +
                    "</span><span class=\"p\">(</span><span class=\"n\">x</span><span class=\"p\">):</span>\r\n";
        page += "</pre></div>\r\n</section>\r\n";
    }
    page += footer;
    return page;
}

TFileTypeGroups Groups()
{
    TFileTypeGroups groups;
    groups.names = {"HTML", "Images", "Scripts and Style Sheets"};
    groups.texts = {".htm;.html;.shtml;.asp;.aspx;.php;.cgi;.jsp;", ".gif;.jpg;.jpeg;.png;.ico;", ".js;.css;.xml;"};
    return groups;
}

THXProfile Profile(int aggressiveParser)
{
    THXProfile profile;
    profile.PageLocation = kLocationStartSite;
    profile.ResourceLocation = kLocationAnywhere;
    profile.Depth = -1;
    profile.AggressiveParser = aggressiveParser;
    profile.ConvertFollowedLinks = 1;
    profile.ConvertUnfollowedLinks = 1;
    return profile;
}

void ParsePageWork(benchmark::State& state)
{
    const auto pageSize = static_cast<std::size_t>(state.range(0));
    const std::string page = state.range(2) == 0 ? Page(pageSize) : ManualPage(pageSize);
    const THXProfile profile = Profile(static_cast<int>(state.range(1)));
    const TFileTypeGroups groups = Groups();
    TPageFacts facts;
    facts.URL = state.range(2) == 0 ? kPageURL : kManualURL;
    facts.Level = 1;
    facts.Mode = kModeDownload;
    facts.StartDirectory = state.range(2) == 0 ? "http://www.news.test/" : "http://docs.manual.test/";
    std::size_t items = 0;
    std::size_t size = 0;
    for (auto _ : state)
    {
        // The task's known URLs, as the queue holds them: new items are taken in batches
        // during a scan, as the parse worker hands them to the owner thread.
        std::unordered_set<std::string> known = {LowerCase(facts.URL)};
        TPageScan scan(page, facts, profile, groups);
        scan.IsKnown = [&known](std::string_view url) { return known.contains(LowerCase(url)); };
        const auto take = [&known, &items](TPageScan& current)
        {
            for (const THXQItem& item : current.TakeNewItems())
            {
                known.insert(LowerCase(item.URL));
                ++items;
            }
            return true;
        };
        scan.AfterFind = [&take](TPageScan& current) { return current.PendingItems() < 256 || take(current); };
        scan.AfterScan = take;
        if (state.range(3) == 0)
        {
            scan.ScanLinks();
        }
        else
        {
            // The same table scanned one row after the other, each row reading the page.
            scan.ReadBase();
            scan.ReadTitle();
            for (const TTagTableRow& row : kTagTable)
                scan.ScanTagPair(row.tag, ">", THXParser::kTagMode, row.attribute, row.kind);
            scan.ScanStyleBlocks();
        }
        // As with a banner page set (without one the step inserts nothing).
        InsertAdBanner(scan.PageText, "http://ads.test/b468_60.htm");
        size = scan.PageText.size();
        benchmark::DoNotOptimize(scan.PageText.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(page.size()));
    state.counters["page_MB"] = static_cast<double>(page.size()) / (1024.0 * 1024.0);
    state.counters["new_items"] = static_cast<double>(items) / static_cast<double>(state.iterations());
    state.counters["saved_MB"] = static_cast<double>(size) / (1024.0 * 1024.0);
}

// Arguments: page size; AggressiveParser (1: the tag table and the quoted texts of
// scripts; 0: the tag table alone); the page (0: news articles, 1: a manual page, many
// tags per link, where the passes over the page count most); how the tag table is
// scanned (0: one pass for all rows, as the parse worker does; 1: one scan per row,
// AggressiveParser 0 only, for comparison).
BENCHMARK(ParsePageWork)
    ->Args({200 * 1024, 1, 0, 0})
    ->Args({20 * 1024 * 1024, 1, 0, 0})
    ->Args({200 * 1024, 0, 0, 0})
    ->Args({20 * 1024 * 1024, 0, 0, 0})
    ->Args({200 * 1024, 0, 1, 0})
    ->Args({20 * 1024 * 1024, 0, 1, 0})
    ->Args({20 * 1024 * 1024, 0, 0, 1})
    ->Args({20 * 1024 * 1024, 0, 1, 1})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
