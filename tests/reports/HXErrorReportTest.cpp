#include "reports/HXErrorReport.h"

#include <gtest/gtest.h>

#include <regex>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

constexpr char kSep = '\xB6';

struct TRow
{
    std::string color;
    std::string url;
    std::string urlHref;
    std::string error;
    std::string referrer;
    std::string referrerHref;
};

std::vector<TRow> Rows(const std::string& report)
{
    static const std::regex row(
        R"re(<tr><td bgcolor="(#[0-9A-F]{6})"><font face="Arial" size="2"><a href="([^"]*)">(.*?)</a></font></td>)re"
        R"re(<td bgcolor="#[0-9A-F]{6}"><font face="Arial" size="2">(.*?)</font></td>)re"
        R"re(<td bgcolor="#[0-9A-F]{6}"><font face="Arial" size="2"><a href="([^"]*)">(.*?)</a></font></td></tr>)re");
    std::vector<TRow> rows;
    for (auto it = std::sregex_iterator(report.begin(), report.end(), row); it != std::sregex_iterator(); ++it)
    {
        const auto& match = *it;
        rows.push_back(
            {match[1].str(), match[3].str(), match[2].str(), match[4].str(), match[6].str(), match[5].str()});
    }
    return rows;
}

class HXErrorReportTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
        task = std::make_shared<THXTask>(*app);
        task->Name = "Site";
        task->StartPageTitle = "Welcome";
        task->FileName = app->TasksFolder() + "General/Site.hxt";
    }

    void Add(const std::string& url, const std::string& state, const std::string& statusText = "",
             const std::string& referrer = "http://example.com/")
    {
        queue += url + "\r\n" + state + kSep + statusText + kSep + "HTML" + kSep + kSep + "1" + kSep + referrer + kSep +
                 kSep + "1" + kSep + kSep + kSep + kSep + "\r\n";
    }

    std::unique_ptr<THXApp> app;
    std::shared_ptr<THXTask> task;
    std::string queue;
};

TEST_F(HXErrorReportTest, OneRowPerFailedItemWithAlternatingColours)
{
    Add("http://example.com/", "5");
    Add("http://example.com/a.html", "3", "[404] Not Found");
    Add("http://example.com/b.html", "4");
    Add("http://example.com/c.html", "30", "not an error state");
    Add("http://example.com/d.html", "3", "[10061] Connection refused", "");
    Add("http://example.com/e.html", " 3", "blank before the state");
    Add("http://example.com/f.html", "0");
    Add("http://example.com/g.gif", "3", "[11001] Host not found", "http://example.com/a.html");
    Add("http://example.com/h.html", "10");
    Add("http://example.com/i.html", "5");
    ASSERT_TRUE(WriteFileAtomic(task->QueueFileName(), queue));

    const std::string path = WriteErrorReport(*task);
    EXPECT_EQ(path, app->GetTempFolder() + "Site_errors.htm");
    const std::string report = ReadWholeFile(path).value_or("");

    const std::vector<TRow> rows = Rows(report);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].color, "#F5F5F5");
    EXPECT_EQ(rows[1].color, "#E9E9E9");
    EXPECT_EQ(rows[2].color, "#F5F5F5");
    EXPECT_EQ(rows[0].url, "http://example.com/a.html");
    EXPECT_EQ(rows[0].urlHref, "http://example.com/a.html");
    EXPECT_EQ(rows[0].error, "[404] Not Found");
    EXPECT_EQ(rows[0].referrer, "http://example.com/");
    EXPECT_EQ(rows[1].url, "http://example.com/d.html");
    EXPECT_EQ(rows[1].referrer, "") << "no referrer: an empty link";
    EXPECT_EQ(rows[1].referrerHref, "");
    EXPECT_EQ(rows[2].url, "http://example.com/g.gif");
    EXPECT_EQ(rows[2].error, "[11001] Host not found");
    EXPECT_EQ(rows[2].referrerHref, "http://example.com/a.html");

    // The fragment: title, task line, table with its header row; CR LF lines, no document.
    const std::size_t title = report.find("<font face=\"Arial\" size=\"5\"><b>Harbex Error Report</b></font><br>\r\n");
    const std::size_t taskLine = report.find("<b>Task: Site -  Welcome</b>");
    const std::size_t header = report.find("<b>URL</b>");
    EXPECT_LT(title, taskLine);
    EXPECT_LT(taskLine, header);
    EXPECT_NE(report.find("<table cellpadding=\"4\" cellspacing=\"4\">"), std::string::npos);
    EXPECT_NE(report.find("<td bgcolor=\"#004080\"><font face=\"Arial\" color=\"#FFFFFF\"><b>Referrer</b>"),
              std::string::npos);
    EXPECT_EQ(report.find("<html"), std::string::npos);
    EXPECT_EQ(report.find("<body"), std::string::npos);
    EXPECT_EQ(report.substr(report.size() - 10), "</table>\r\n");
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), std::count(report.begin(), report.end(), '\r'));
}

TEST_F(HXErrorReportTest, NoFailuresGiveTheHeaderOnlyAndReportsAreReplaced)
{
    Add("http://example.com/", "5");
    ASSERT_TRUE(WriteFileAtomic(task->QueueFileName(), queue));
    const std::string path = WriteErrorReport(*task);
    const std::string report = ReadWholeFile(path).value_or("");
    EXPECT_TRUE(Rows(report).empty());
    EXPECT_NE(report.find("<b>Error</b>"), std::string::npos);

    // A task of the same name elsewhere writes the same file.
    auto other = std::make_shared<THXTask>(*app);
    other->Name = "Site";
    other->StartPageTitle = "Other";
    other->FileName = app->TasksFolder() + "Work/Site.hxt";
    queue.clear();
    Add("http://other.example/x", "3", "[500] Server Error");
    ASSERT_TRUE(WriteFileAtomic(other->QueueFileName(), queue));
    EXPECT_EQ(WriteErrorReport(*other), path);
    const std::string replaced = ReadWholeFile(path).value_or("");
    EXPECT_EQ(Rows(replaced).size(), 1u);
    EXPECT_NE(replaced.find("Task: Site -  Other"), std::string::npos);
}

TEST_F(HXErrorReportTest, MissingQueueWritesNothing)
{
    EXPECT_THROW(WriteErrorReport(*task), EFileError);
    EXPECT_FALSE(FileExists(ErrorReportFile(*task)));
}

TEST_F(HXErrorReportTest, TextsAreEscapedAndDecoded)
{
    task->Name = "A&B";
    task->StartPageTitle = "<b>Bold</b>";
    // Queue fields are Windows-1252 with "&#N;" escapes: 0xE9 is "é", &#8364; the euro sign.
    Add("http://example.com/caf\xE9?q=\"x\"", "3", "<script>alert(1)</script> &#8364;", "javascript:alert(2)");
    ASSERT_TRUE(WriteFileAtomic(task->QueueFileName(), queue));
    const std::string report = ReadWholeFile(WriteErrorReport(*task)).value_or("");
    const std::vector<TRow> rows = Rows(report);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].url, "http://example.com/caf\xC3\xA9?q=&quot;x&quot;");
    EXPECT_EQ(rows[0].error, "&lt;script&gt;alert(1)&lt;/script&gt; \xE2\x82\xAC");
    EXPECT_EQ(rows[0].referrer, "javascript:alert(2)");
    EXPECT_EQ(rows[0].referrerHref, "#") << "no script link";
    EXPECT_NE(report.find("Task: A&amp;B -  &lt;b&gt;Bold&lt;/b&gt;"), std::string::npos);
    EXPECT_EQ(report.find("<script>"), std::string::npos);
}

} // namespace
} // namespace hx
