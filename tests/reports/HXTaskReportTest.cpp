#include "reports/HXTaskReport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

constexpr char kSep = '\xB6';

struct TLink
{
    std::string href;
    std::string text;
};

// The links of a piece of HTML, in order.
std::vector<TLink> Links(const std::string& html)
{
    static const std::regex link(R"re(<a href="([^"]*)"[^>]*>(.*?)</a>)re");
    std::vector<TLink> links;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), link); it != std::sregex_iterator(); ++it)
        links.push_back({(*it)[1].str(), (*it)[2].str()});
    return links;
}

std::vector<std::string> LinkTexts(const std::string& html)
{
    std::vector<std::string> texts;
    for (const TLink& link : Links(html))
        texts.push_back(link.text);
    return texts;
}

// Every navigation line of an index page (the one above and the one below the entries).
std::vector<std::string> NavigationLines(const std::string& page)
{
    static const std::regex line(R"re(<font face="Arial" size="2">(<a href="[^"]*">Summary</a>.*?)</font>)re");
    std::vector<std::string> lines;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), line); it != std::sregex_iterator(); ++it)
        lines.push_back((*it)[1].str());
    return lines;
}

struct TEntryCell
{
    std::string color;
    int number;
};

std::vector<TEntryCell> EntryCells(const std::string& page)
{
    static const std::regex cell(
        R"re(<td bgcolor="(#[0-9A-F]{6})">(?:<img [^>]*><br><br>)?<font face="Arial" size="2">(\d+)&nbsp;)re");
    std::vector<TEntryCell> cells;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), cell); it != std::sregex_iterator(); ++it)
        cells.push_back({(*it)[1].str(), std::stoi((*it)[2].str())});
    return cells;
}

std::string PercentDecoded(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '%' && i + 2 < text.size())
        {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        }
        else
        {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// A GIF: header, optional global colour table, image descriptor, a little data.
std::string Gif(int width, int height, int tableBits, bool withTable, const std::string& beforeDescriptor = "")
{
    std::string gif = "GIF89a";
    auto word = [&gif](int value)
    {
        gif.push_back(static_cast<char>(value & 0xFF));
        gif.push_back(static_cast<char>((value >> 8) & 0xFF));
    };
    word(999); // logical screen: not what the probe reports
    word(888);
    gif.push_back(static_cast<char>((withTable ? 0x80 : 0) | tableBits));
    gif.push_back('\0');
    gif.push_back('\0');
    if (withTable)
        gif += std::string(3u << (tableBits + 1), '\x2C'); // colour bytes that look like descriptors
    gif += beforeDescriptor;
    gif.push_back('\x2C');
    word(0);
    word(0);
    word(width);
    word(height);
    gif.push_back('\0');
    gif += "\x02\x02\x44\x01\x00\x3B";
    return gif;
}

class HXTaskReportTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
        task = std::make_shared<THXTask>(*app);
        task->Name = "My Site";
        task->FileName = app->TasksFolder() + "General/My Site.hxt";
        task->URL = "http://example.com/index.html";
        task->StartPageTitle = "Example Home";
        task->IntranetMode = true;
        task->Destination = Home().Folder() + "intranet";
        task->LastRun = EncodeDateTime({2024, 3, 5, 7, 8, 9});
        site = Home().Folder() + "intranet/example.com/";
        std::filesystem::create_directories(site);
        EXPECT_TRUE(WriteFileAtomic(LocalFileName(task->WorkingFolder(), DirectoryURL(task->URL), task->URL), "home"));
        for (const std::string_view name : kReportDecorations)
            Home().WriteFile("Skins/Default/" + std::string(name), "picture " + std::string(name));
    }

    // Appends an item to the queue text and creates its saved file.
    void AddItem(const std::string& url, int state, const std::string& group, const std::string& title = "",
                 const std::string& fileBytes = "saved")
    {
        const std::array<std::string, 11> fields = {
            std::to_string(state), "", group, "", "2", "http://example.com/index.html", "", "1", title, "1234", ""};
        queue += url + "\r\n";
        for (const std::string& field : fields)
            queue += field + kSep;
        queue += "\r\n";
        if (state > 4)
        {
            const std::string local = LocalFileName(task->WorkingFolder(), DirectoryURL(url), url);
            std::filesystem::create_directories(ExtractFilePath(local));
            std::ofstream(local, std::ios::binary) << fileBytes;
            ASSERT_TRUE(FileExists(local));
        }
    }

    void AddPages(int count, int from = 1)
    {
        for (int page = from; page < from + count; ++page)
            AddItem("http://example.com/p" + std::to_string(page) + ".html", 5, "HTML", "Page " + std::to_string(page));
    }

    void WriteQueue() { ASSERT_TRUE(WriteFileAtomic(task->QueueFileName(), queue)); }

    std::string Read(const std::string& path) const { return ReadWholeFile(path).value_or(""); }

    // Every link and image source of the page that names a local file must name one that exists.
    void ExpectLocalTargetsExist(const std::string& page) const
    {
        static const std::regex target(R"re((?:href|src)="([^"]*)")re");
        int checked = 0;
        for (auto it = std::sregex_iterator(page.begin(), page.end(), target); it != std::sregex_iterator(); ++it)
        {
            const std::string value = (*it)[1].str();
            if (value.empty() || value.rfind("http://", 0) == 0 || value == "about:blank")
                continue;
            const std::string path = value[0] == '/' ? PercentDecoded(value) : site + value;
            EXPECT_TRUE(FileExists(path)) << value;
            ++checked;
        }
        EXPECT_GT(checked, 0);
    }

    std::unique_ptr<THXApp> app;
    std::shared_ptr<THXTask> task;
    std::string site;
    std::string queue;
};

TEST_F(HXTaskReportTest, FortyOneSavedOneFailedGivesTwoFullPages)
{
    AddPages(15);
    AddItem("http://example.com/broken.html", 3, "HTML");
    AddItem("http://example.com/logo.gif", 5, "Images");
    AddItem("http://example.com/fetched.html", 4, "HTML"); // fetched, never saved
    AddPages(25, 16);
    WriteQueue();
    task->PagesSaved = 41;
    task->PageErrors = 1;
    task->TotalPages = 43;
    task->ResourcesSaved = 1;
    task->TotalResources = 1;

    THXTaskReport report(*task);
    EXPECT_EQ(report.OutputFolder(), site);
    EXPECT_EQ(report.PageCount(TReportIndex::Pages), 2);
    std::vector<std::pair<std::string, int>> progress;
    const std::string summaryPath =
        report.CreateReports([&](const std::string& label, int percent) { progress.emplace_back(label, percent); });
    EXPECT_EQ(summaryPath, site + "!My Site_summary.htm");

    const std::string summary = Read(summaryPath);
    const std::string page1 = Read(site + "!My Site_pages_1.htm");
    const std::string page2 = Read(site + "!My Site_pages_2.htm");
    EXPECT_FALSE(FileExists(site + "!My Site_pages_3.htm"));
    EXPECT_FALSE(FileExists(site + "!My Site_pages_more.htm"));

    // The summary's saved pages link to page index 1.
    bool linked = false;
    for (const TLink& link : Links(summary))
        linked = linked || (link.text == "40" && PercentDecoded(link.href) == site + "!My Site_pages_1.htm");
    EXPECT_TRUE(linked);
    EXPECT_NE(summary.find("Last Run: <b>03/05/2024 07:08:09</b>"), std::string::npos);
    EXPECT_NE(summary.find("Total Files: <b>44</b>"), std::string::npos);

    // 20 and 20 entries, numbered on across the pages, colours alternating on each page.
    const auto cells1 = EntryCells(page1);
    const auto cells2 = EntryCells(page2);
    ASSERT_EQ(cells1.size(), 20u);
    ASSERT_EQ(cells2.size(), 20u);
    for (int i = 0; i < 20; ++i)
    {
        EXPECT_EQ(cells1[static_cast<std::size_t>(i)].number, i + 1);
        EXPECT_EQ(cells2[static_cast<std::size_t>(i)].number, i + 21);
        const std::string expected = i % 2 == 0 ? "#C6D9EC" : "#F1F4F8";
        EXPECT_EQ(cells1[static_cast<std::size_t>(i)].color, expected);
        EXPECT_EQ(cells2[static_cast<std::size_t>(i)].color, expected);
    }
    EXPECT_EQ(page1.find("broken.html"), std::string::npos) << "failed and unsaved items are no entries";
    EXPECT_EQ(page1.find("fetched.html"), std::string::npos);
    EXPECT_NE(page2.find("<b>Page 40</b>"), std::string::npos);

    // Navigation: Summary, Previous, numbers, Next.
    const auto nav1 = NavigationLines(page1);
    ASSERT_EQ(nav1.size(), 2u);
    EXPECT_EQ(nav1[0], nav1[1]);
    EXPECT_EQ(LinkTexts(nav1[0]), (std::vector<std::string>{"Summary", "1", "2", "Next"}));
    const auto nav2 = NavigationLines(page2);
    ASSERT_EQ(nav2.size(), 2u);
    EXPECT_EQ(LinkTexts(nav2[0]), (std::vector<std::string>{"Summary", "Previous", "1", "2"}));
    EXPECT_EQ(PercentDecoded(Links(nav2[0])[1].href), site + "!My Site_pages_1.htm");

    for (const std::string& page : {summary, page1, page2, Read(site + "!My Site_images_1.htm")})
        ExpectLocalTargetsExist(page);

    // Every line ends with CR LF.
    EXPECT_EQ(Count(summary, "\n"), Count(summary, "\r\n"));
    EXPECT_EQ(summary.substr(summary.size() - 9), "</html>\r\n");

    const std::vector<std::pair<std::string, int>> expected = {
        {"Creating Task Summary", 0}, {"Creating Page Index", 0},  {"Creating Page Index", 50},
        {"Creating Page Index", 100}, {"Creating Image Index", 0}, {"Creating Image Index", 100}};
    EXPECT_EQ(progress, expected);
}

TEST_F(HXTaskReportTest, TwentyOneSavedOneFailedGivesOnePage)
{
    AddPages(25);
    WriteQueue();
    task->PagesSaved = 21;
    task->PageErrors = 1;
    THXTaskReport report(*task);
    report.CreateReports();
    const std::string page = Read(site + "!My Site_pages_1.htm");
    EXPECT_EQ(EntryCells(page).size(), 20u) << "the page count limits the entries listed";
    EXPECT_FALSE(FileExists(site + "!My Site_pages_2.htm"));
    const auto nav = NavigationLines(page);
    ASSERT_EQ(nav.size(), 2u);
    EXPECT_EQ(LinkTexts(nav[0]), (std::vector<std::string>{"Summary", "1"}));

    // No images saved: one empty image index page, so the summary's link still leads somewhere.
    const std::string images = Read(site + "!My Site_images_1.htm");
    EXPECT_EQ(EntryCells(images).size(), 0u);
    EXPECT_EQ(LinkTexts(NavigationLines(images)[0]), (std::vector<std::string>{"Summary", "1"}));
}

TEST_F(HXTaskReportTest, BannerOnlyWithABannerPage)
{
    AddPages(3);
    AddItem("http://example.com/logo.gif", 5, "Images");
    WriteQueue();
    task->PagesSaved = 3;
    task->ResourcesSaved = 1;
    const std::vector<std::string> pages = {"!My Site_summary.htm", "!My Site_pages_1.htm", "!My Site_images_1.htm"};

    // No banner page: no frame, no placeholder and no layer on any report page.
    THXTaskReport plain(*task);
    plain.CreateReports();
    for (const std::string& name : pages)
    {
        const std::string page = Read(site + name);
        ASSERT_FALSE(page.empty()) << name;
        EXPECT_EQ(page.find("<iframe"), std::string::npos) << name;
        EXPECT_EQ(page.find("<ilayer"), std::string::npos) << name;
        EXPECT_EQ(page.find("<layer"), std::string::npos) << name;
        EXPECT_EQ(page.find("<tr><td colspan=\"4\"></td></tr>"), std::string::npos) << name;
        EXPECT_EQ(page.find("<tr><td align=\"center\"></td></tr>"), std::string::npos) << name;
    }

    // A banner page: each page frames it in the first row and loads it into the layer.
    THXTaskReport bannered(*task, "http://ads.test/b468_60.htm?a=1&b=2");
    bannered.CreateReports();
    for (const std::string& name : pages)
    {
        const std::string page = Read(site + name);
        EXPECT_NE(page.find("<iframe src=\"http://ads.test/b468_60.htm?a=1&amp;b=2\" width=\"100%\" height=\"60\""),
                  std::string::npos)
            << name;
        EXPECT_NE(page.find("<layer src=\"http://ads.test/b468_60.htm?a=1&amp;b=2\""), std::string::npos) << name;
    }
}

TEST_F(HXTaskReportTest, ManyPagesGetAMorePage)
{
    AddPages(230);
    WriteQueue();
    task->PagesSaved = 230;
    THXTaskReport report(*task);
    report.CreateReports();

    const std::vector<std::string> numbers = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "more..."};
    for (int k = 1; k <= 12; ++k)
    {
        const std::string page = Read(site + "!My Site_pages_" + std::to_string(k) + ".htm");
        const auto nav = NavigationLines(page);
        ASSERT_EQ(nav.size(), 2u) << k;
        std::vector<std::string> expected = {"Summary"};
        if (k > 1)
            expected.push_back("Previous");
        expected.insert(expected.end(), numbers.begin(), numbers.end());
        if (k < 12)
            expected.push_back("Next");
        EXPECT_EQ(LinkTexts(nav[0]), expected) << k;
        const auto cells = EntryCells(page);
        ASSERT_EQ(cells.size(), k < 12 ? 20u : 10u) << k;
        EXPECT_EQ(cells.front().number, (k - 1) * 20 + 1);
        EXPECT_EQ(cells.back().number, k < 12 ? k * 20 : 230);
    }
    EXPECT_FALSE(FileExists(site + "!My Site_pages_13.htm"));

    // "more..." opens the more page in the popup window.
    const std::string page1 = Read(site + "!My Site_pages_1.htm");
    const std::string morePath = site + "!My Site_pages_more.htm";
    EXPECT_NE(page1.find("function popup(loc)"), std::string::npos);
    const auto navLinks = Links(NavigationLines(page1)[0]);
    const auto moreLink =
        std::find_if(navLinks.begin(), navLinks.end(), [](const TLink& link) { return link.text == "more..."; });
    ASSERT_NE(moreLink, navLinks.end());
    const TLink more = *moreLink;
    EXPECT_EQ(PercentDecoded(more.href), morePath);
    EXPECT_NE(page1.find("onclick=\"popup('" + more.href + "'); return false;\">more...</a>"), std::string::npos);

    // The more page: two rows, 1 to 10, then 11 and 12, each to its page.
    const std::string morePage = Read(morePath);
    EXPECT_EQ(Count(morePage, "<tr>"), 2u);
    const auto links = Links(morePage);
    ASSERT_EQ(links.size(), 12u);
    for (std::size_t i = 0; i < links.size(); ++i)
    {
        EXPECT_EQ(links[i].text, std::to_string(i + 1));
        EXPECT_EQ(PercentDecoded(links[i].href), site + "!My Site_pages_" + std::to_string(i + 1) + ".htm");
    }
    const std::size_t secondRow = morePage.find("</tr><tr>");
    ASSERT_NE(secondRow, std::string::npos);
    EXPECT_EQ(Count(morePage.substr(0, secondRow), "<td "), 10u);
    EXPECT_EQ(Count(morePage.substr(secondRow), "<td "), 2u);
    ExpectLocalTargetsExist(morePage);
}

TEST_F(HXTaskReportTest, ImageIndexShowsImagesTitlesAndSizes)
{
    AddItem("http://example.com/img/table.gif", 5, "Images", "With table", Gif(31, 17, 1, true));
    AddItem("http://example.com/img/plain.gif", 5, "Images", "", Gif(260, 513, 0, false));
    AddItem("http://example.com/img/photo.jpg", 5, "Images", "Photo", "\xFF\xD8\xFF\xE0 JFIF");
    // A PNG's IHDR: width 640, height 3.
    AddItem("http://example.com/img/wide.png", 5, "Images", "Wide",
            std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x02\x80\0\0\0\x03\x08\x06\0\0\0", 29));
    AddItem("http://example.com/a.html", 5, "HTML", "A page");
    WriteQueue();
    task->ResourcesSaved = 4;
    task->PagesSaved = 1;
    THXTaskReport report(*task);
    report.CreateReports();

    const std::string images = Read(site + "!My Site_images_1.htm");
    ASSERT_EQ(EntryCells(images).size(), 4u);
    EXPECT_NE(images.find("<b>With table</b></a>"), std::string::npos);
    EXPECT_NE(images.find("W: 31, H: 17"), std::string::npos);
    EXPECT_NE(images.find("<b>plain.gif</b></a>"), std::string::npos) << "no title: the local file name";
    EXPECT_NE(images.find("W: 260, H: 513"), std::string::npos);
    EXPECT_NE(images.find("W: 640, H: 3"), std::string::npos);
    EXPECT_NE(images.find("W: 0, H: 0"), std::string::npos) << "a JPEG cut short";
    EXPECT_NE(images.find("Size: 1234"), std::string::npos);
    EXPECT_EQ(images.find("A page"), std::string::npos);
    EXPECT_EQ(Count(images, "<img src=\"/"), 4u);
    ExpectLocalTargetsExist(images);

    const std::string pages = Read(site + "!My Site_pages_1.htm");
    EXPECT_NE(pages.find("Level: 2"), std::string::npos);
    EXPECT_NE(pages.find("Referrer: <a href=\"http://example.com/index.html\">"), std::string::npos);
}

TEST(HXGifImageSize, ReadsTheFirstImageDescriptor)
{
    test::TTempFolder folder;
    // Without a colour table the descriptor follows the header: width and height at bytes 18 to 21.
    const std::string plain = Gif(0x1234, 0x0102, 0, false);
    ASSERT_EQ(plain[13], '\x2C');
    EXPECT_EQ(static_cast<unsigned char>(plain[18]), 0x34);
    EXPECT_EQ(GifImageSize(folder.WriteFile("plain.gif", plain)), (TImageSize{0x1234, 0x0102}));
    // The colour table (3 x 2^(n+1) bytes) is skipped even when its bytes look like descriptors.
    EXPECT_EQ(GifImageSize(folder.WriteFile("table.gif", Gif(5, 6, 7, true))), (TImageSize{5, 6}));
    EXPECT_EQ(GifImageSize(folder.WriteFile("t2.gif", Gif(640, 480, 2, true, std::string("\x21\xFE\x01x\x00", 5)))),
              (TImageSize{640, 480}));

    EXPECT_EQ(GifImageSize(folder.WriteFile("short.gif", plain.substr(0, 20))), TImageSize{});
    EXPECT_EQ(GifImageSize(folder.WriteFile("header.gif", plain.substr(0, 13))), TImageSize{});
    EXPECT_EQ(GifImageSize(folder.WriteFile("tiny.gif", "GIF8")), TImageSize{});
    EXPECT_EQ(GifImageSize(folder.WriteFile("nodescriptor.gif", plain.substr(0, 13) + "\x21\x3B")), TImageSize{});
    EXPECT_EQ(GifImageSize(folder.WriteFile("notgif.gif", "PNG" + plain.substr(3))), TImageSize{});
    EXPECT_EQ(GifImageSize(folder.Folder() + "missing.gif"), TImageSize{});
}

TEST_F(HXTaskReportTest, KilobytesRoundHalvesToEven)
{
    EXPECT_EQ(KilobytesHalfEven(0), 0);
    EXPECT_EQ(KilobytesHalfEven(511), 0);
    EXPECT_EQ(KilobytesHalfEven(512), 0);
    EXPECT_EQ(KilobytesHalfEven(513), 1);
    EXPECT_EQ(KilobytesHalfEven(1536), 2);
    EXPECT_EQ(KilobytesHalfEven(2560), 2);
    EXPECT_EQ(KilobytesHalfEven(2561), 3);
    EXPECT_EQ(KilobytesHalfEven(3584), 4);
    EXPECT_EQ(KilobytesHalfEven(5LL * 1024 * 1024 * 1024), 5LL * 1024 * 1024);
    EXPECT_EQ(KilobytesHalfEven(-1536), -2);

    EXPECT_EQ(ReportPageCount(0), 0);
    EXPECT_EQ(ReportPageCount(-3), 0);
    EXPECT_EQ(ReportPageCount(20), 1);
    EXPECT_EQ(ReportPageCount(21), 2);

    WriteQueue();
    task->TotalBytes = 2560;
    THXTaskReport report(*task);
    report.WriteSummary();
    EXPECT_NE(Read(report.SummaryFile()).find("Size: <b>2</b> Kb"), std::string::npos);
}

TEST_F(HXTaskReportTest, DecorationsAreCopiedAndMissingOnesSkipped)
{
    std::filesystem::remove(Home().Path() / "Skins/Default/www.gif");
    WriteQueue();
    THXTaskReport report(*task);
    report.WriteSummary();
    for (const std::string_view name : kReportDecorations)
    {
        const std::string copy = site + "!images/" + std::string(name);
        if (name == "www.gif")
            EXPECT_FALSE(FileExists(copy));
        else
            EXPECT_EQ(Read(copy), "picture " + std::string(name));
    }
    const std::string summary = Read(report.SummaryFile());
    EXPECT_NE(summary.find("<img src=\"!images/www.gif\""), std::string::npos) << "still referred to";
    EXPECT_NE(summary.find("background=\"!images/backgrnd.jpg\""), std::string::npos);
}

TEST_F(HXTaskReportTest, FailuresStopTheGeneration)
{
    // No queue file: the summary and pictures stay, the index is not written.
    THXTaskReport report(*task);
    EXPECT_THROW(report.CreateReports(), EFileError);
    EXPECT_TRUE(FileExists(report.SummaryFile()));
    EXPECT_TRUE(FileExists(site + "!images/html.gif"));
    EXPECT_FALSE(FileExists(site + "!My Site_pages_1.htm"));
    try
    {
        report.WriteIndex(TReportIndex::Pages);
        FAIL() << "a missing queue file must stop the index";
    }
    catch (const EFileError& error)
    {
        EXPECT_EQ(std::string(error.what()).rfind("Cannot open file \"" + task->QueueFileName() + "\"", 0), 0u)
            << error.what();
    }

    // No output folder: nothing is written at all.
    task->URL = "http://other.example/";
    THXTaskReport elsewhere(*task);
    EXPECT_THROW(elsewhere.WriteSummary(), EFileError);
    EXPECT_FALSE(std::filesystem::exists(Home().Path() / "intranet/other.example"));
}

TEST_F(HXTaskReportTest, TextsFromTheSiteCannotAddMarkup)
{
    task->StartPageTitle = "<script>alert(\"home\")</script>";
    AddItem("http://example.com/x.html?a=\"><script>alert(1)</script>", 5, "HTML", "Tom & <i>Jerry</i>");
    WriteQueue();
    task->PagesSaved = 1;
    THXTaskReport report(*task);
    report.CreateReports();
    for (const std::string& path : {report.SummaryFile(), report.IndexFile(TReportIndex::Pages, 1)})
    {
        const std::string page = Read(path);
        EXPECT_EQ(page.find("<script>alert"), std::string::npos) << path;
        EXPECT_EQ(page.find("<i>"), std::string::npos) << path;
        EXPECT_NE(page.find("&lt;script&gt;alert(&quot;home&quot;)&lt;/script&gt;"), std::string::npos);
    }
    const std::string index = Read(report.IndexFile(TReportIndex::Pages, 1));
    EXPECT_NE(index.find("<b>Tom &amp; &lt;i&gt;Jerry&lt;/i&gt;</b>"), std::string::npos);
    EXPECT_NE(index.find("href=\"http://example.com/x.html?a=&quot;&gt;&lt;script&gt;"), std::string::npos);
}

TEST_F(HXTaskReportTest, ZipTaskReportsIntoTheTemporaryFolder)
{
    task->IntranetMode = false;
    task->Destination = Home().Folder() + "Downloads/site.zip";
    const std::string temp = app->GetTempFolder();
    std::filesystem::create_directories(temp + "example.com");
    WriteQueue();
    THXTaskReport report(*task);
    EXPECT_EQ(report.OutputFolder(), temp + "example.com/");
    EXPECT_EQ(report.CreateReports(), temp + "example.com/!My Site_summary.htm");
    EXPECT_TRUE(FileExists(temp + "example.com/!My Site_images_1.htm"));
}

// The report takes the task's facts when it is made: the task may change, or be
// gone, while the pages are written on another thread.
TEST_F(HXTaskReportTest, ReportKeepsTheTaskAsItWasWhenMade)
{
    AddPages(3);
    WriteQueue();
    task->Name = "Before";
    task->PagesSaved = 7;
    THXTaskReport report(*task);
    task->Name = "After";
    task->PagesSaved = 99;
    task.reset();
    EXPECT_EQ(report.CreateReports(), site + "!Before_summary.htm");
    EXPECT_FALSE(FileExists(site + "!After_summary.htm"));
    EXPECT_NE(Read(site + "!Before_summary.htm").find(">7</a>"), std::string::npos);
}

} // namespace
} // namespace hx
