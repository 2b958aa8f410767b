// What the man page and the help pages promise a person at a terminal, checked
// against the program itself and a site on 127.0.0.1: the man page's examples run
// in order as written (read from the man page source, so they cannot drift; the
// help page lists the same ones); a Zip copy leaves its reports beside the archive
// and nothing in the temporary folder; `run` on a finished task names --update;
// `explain` obeys robots.txt as a run does; `settings` shows Save Mode and Max
// Page Size.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/HXCliProgram.h"
#include "core/HXURL.h"
#include "support/HXTestServer.h"

namespace hx::test
{
namespace
{

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The value of the first "Name: value" line (leading blanks allowed), or "".
std::string Field(const std::string& text, const std::string& name)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
    {
        const auto start = line.find_first_not_of(' ');
        if (start != std::string::npos && line.compare(start, name.size() + 1, name + ":") == 0)
        {
            const auto value = line.find_first_not_of(' ', start + name.size() + 1);
            return value == std::string::npos ? std::string() : line.substr(value);
        }
    }
    return {};
}

// The command lines of the man page's EXAMPLES section, roff escapes undone.
std::vector<std::string> ManPageExamples()
{
    std::ifstream in(std::string(HX_SOURCE_DIR) + "/dist/man/harbex-cli.1.in");
    std::vector<std::string> examples;
    bool inSection = false;
    for (std::string line; std::getline(in, line);)
    {
        if (line.rfind(".SH", 0) == 0)
            inSection = line == ".SH EXAMPLES";
        else if (inSection && line.rfind("harbex\\-cli ", 0) == 0)
        {
            std::string plain;
            for (std::size_t i = 0; i < line.size(); ++i)
                if (!(line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '-'))
                    plain += line[i];
            examples.push_back(plain);
        }
    }
    return examples;
}

// The command lines of the help page's Examples block.
std::vector<std::string> HelpPageExamples()
{
    std::ifstream in(std::string(HX_SOURCE_DATA_DIR) + "/help/harbex-cli.html");
    std::vector<std::string> examples;
    bool inBlock = false;
    for (std::string line; std::getline(in, line);)
    {
        if (line.find("id=\"examples\"") != std::string::npos)
            inBlock = true;
        else if (inBlock && line.rfind("</pre>", 0) == 0)
            break;
        else if (inBlock && line.rfind("harbex-cli ", 0) == 0)
            examples.push_back(line);
    }
    return examples;
}

// A command line split into words as a shell splits it: blanks part words,
// double quotes keep blanks in one.
std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool any = false;
    for (const char c : line)
    {
        if (c == '"')
        {
            quoted = !quoted;
            any = true;
        }
        else if (c == ' ' && !quoted)
        {
            if (any)
                words.push_back(word);
            word.clear();
            any = false;
        }
        else
        {
            word += c;
            any = true;
        }
    }
    if (any)
        words.push_back(word);
    return words;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

TReply Page(std::string body)
{
    return TReply::Text(200, std::move(body), {{"Content-Type", "text/html"}});
}

// The small site the examples copy: a start page and the page it links to.
std::map<std::string, TReply> ExampleSite()
{
    return {
        {"/", Page("<html><head><title>Example</title></head><body><a href=\"about.html\">About</a></body></html>")},
        {"/about.html", Page("<html><head><title>About</title></head><body>About us</body></html>")},
    };
}

// Every regular file below the folder.
std::vector<std::string> FilesBelow(const fs::path& folder)
{
    std::vector<std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file())
            files.push_back(it->path().string());
    return files;
}

using HXCliDocsTest = THXCliTest;

TEST_F(HXCliDocsTest, TheManPageExamplesRunInOrderAndTheHelpPageShowsTheSame)
{
    const std::vector<std::string> examples = ManPageExamples();
    ASSERT_GE(examples.size(), 6u);
    EXPECT_EQ(HelpPageExamples(), examples) << "the help page shows the man page's examples";

    THXTestServer server(Routes(ExampleSite()));
    // A person's own account: HOME and the temporary folder, no HARBEX_HOME.
    const std::string home = HomeFolder() + "/person";
    const std::string temp = HomeFolder() + "/tmp";
    fs::create_directories(home);
    fs::create_directories(temp);
    const std::vector<std::string> environment = {
        "HOME=" + home, "TMPDIR=" + temp, std::string("HARBEX_DATA_DIR=") + HX_SOURCE_DATA_DIR, "PATH=/usr/bin:/bin"};
    // The examples copy example.org; here the site is the local server's, and the
    // task takes its name from that address as it would from example.org.
    const std::string site = server.URL("/");
    const std::string taskName = SiteShortName(site);
    for (const std::string& example : examples)
    {
        std::vector<std::string> arguments = Words(example);
        ASSERT_EQ(arguments.front(), "harbex-cli");
        arguments.erase(arguments.begin());
        for (std::string& word : arguments)
        {
            ReplaceAll(word, "https://example.org/", site);
            ReplaceAll(word, "example_org", taskName);
            if (word.rfind("~/", 0) == 0)
                word = home + word.substr(1);
        }
        const TProgramRun run = StartProgramWith(HomeFolder(), arguments, environment);
        ASSERT_GT(run.Pid, 0);
        const int status = WaitProgram(run);
        const std::string output = ReadText(run.OutputFile);
        EXPECT_EQ(status, 0) << example << "\n" << output;
        EXPECT_FALSE(Contains(output, "harbex-cli:")) << example << " reports a problem\n" << output;
    }
    // What the examples made is where the man page says.
    EXPECT_TRUE(fs::is_regular_file(home + "/example.zip"));
    EXPECT_TRUE(fs::is_regular_file(home + "/example/127.0.0.1/about.html"));
    EXPECT_TRUE(fs::exists(home + "/.local/share/harbex/Tasks/General/" + taskName + ".hxt"));
    EXPECT_TRUE(fs::exists(home + "/.local/share/harbex/Tasks/General/example_folder.hxt"));
    EXPECT_TRUE(FilesBelow(temp + "/Harbex-" + std::to_string(::getuid())).empty())
        << "the Zip runs left their files in the temporary folder";
}

TEST_F(HXCliDocsTest, AZipCopyKeepsItsReportsBesideTheArchiveAndEmptiesTheTemporaryFolder)
{
    THXTestServer server(Routes(ExampleSite()));
    const std::string archive = HomeFolder() + "/site.zip";
    std::string output;
    ASSERT_EQ(RunProgram({"copy", server.URL("/"), "--zip", archive, "--name", "Packed"}, output), 0) << output;

    const std::string reports = HomeFolder() + "/site_reports/";
    const std::string summary = Field(output, "Reports");
    EXPECT_EQ(summary, reports + "127.0.0.1/!Packed_summary.htm") << output;
    EXPECT_TRUE(fs::is_regular_file(summary));
    // The report's links open the pages of the copy unpacked beside it.
    EXPECT_TRUE(Contains(ReadText(reports + "127.0.0.1/about.html"), "About us"));
    EXPECT_TRUE(FilesBelow(HomeFolder() + "/Temp/Harbex").empty()) << "the archived files stay in the temporary folder";

    // `report` writes them there again, not into the temporary folder.
    fs::remove_all(reports);
    ASSERT_EQ(RunProgram({"report", "Packed"}, output), 0) << output;
    EXPECT_EQ(Field(output, "Task summary"), reports + "127.0.0.1/!Packed_summary.htm");
    EXPECT_TRUE(fs::is_regular_file(reports + "127.0.0.1/!Packed_summary.htm"));
    EXPECT_TRUE(FilesBelow(HomeFolder() + "/Temp/Harbex").empty());
}

TEST_F(HXCliDocsTest, RunningAFinishedTaskSaysThatUpdateRefreshesIt)
{
    THXTestServer server(Routes(ExampleSite()));
    std::string output;
    ASSERT_EQ(RunProgram({"copy", server.URL("/"), "--folder", HomeFolder() + "/copy", "--name", "Done"}, output), 0)
        << output;
    const std::size_t requests = server.RequestCount();

    ASSERT_EQ(RunProgram({"run", "Done"}, output), 0) << output;
    EXPECT_TRUE(Contains(output, "This task has successfully run to completion.")) << output;
    EXPECT_TRUE(Contains(output, "harbex-cli run \"Done\" --update")) << output;
    EXPECT_EQ(server.RequestCount(), requests) << "nothing is fetched without a choice";

    ASSERT_EQ(RunProgram({"run", "Done", "--update"}, output), 0) << output;
    EXPECT_GT(server.RequestCount(), requests) << "--update asks the server again";
}

TEST_F(HXCliDocsTest, ExplainLeavesOutAPageTheSitesRobotsFileKeepsOutAsARunWould)
{
    std::map<std::string, TReply> routes = ExampleSite();
    routes.emplace("/robots.txt",
                   TReply::Text(200, "User-agent: *\nDisallow: /private/\n", {{"Content-Type", "text/plain"}}));
    THXTestServer server(Routes(routes));
    std::string output;
    // A task to ask about.
    ASSERT_EQ(RunProgram({"copy", server.URL("/"), "--folder", HomeFolder() + "/copy", "--name", "Robots"}, output), 0)
        << output;

    ASSERT_EQ(RunProgram({"explain", server.URL("/private/b.html"), "--task", "Robots"}, output), 0) << output;
    EXPECT_EQ(Field(output, "Followed"), "no") << output;
    EXPECT_TRUE(Contains(Field(output, "Decided by"), "robots.txt: " + server.URL("/robots.txt"))) << output;

    ASSERT_EQ(RunProgram({"explain", server.URL("/open/a.html"), "--task", "Robots"}, output), 0) << output;
    EXPECT_EQ(Field(output, "Followed"), "yes") << output;

    ASSERT_EQ(RunProgram({"explain", server.URL("/private/b.html"), "--task", "Robots", "--no-robots"}, output), 0)
        << output;
    EXPECT_EQ(Field(output, "Followed"), "yes") << output;
    // The start page itself is copied whatever the file says, as in a run.
    ASSERT_EQ(RunProgram({"explain", server.URL("/private/b.html"), "--task", "Robots", "--level", "0"}, output), 0);
    EXPECT_EQ(Field(output, "Followed"), "yes") << output;
}

TEST_F(HXCliDocsTest, SettingsShowsSaveModeAndMaxPageSize)
{
    std::string output;
    ASSERT_EQ(RunProgram({"settings"}, output), 0) << output;
    EXPECT_EQ(Field(output, "Save Mode"), "0 (Zip archive)") << output;
    EXPECT_EQ(Field(output, "Max Page Size"), "32 MB") << output;

    // The settings file edited by hand, as the man page shows it.
    const std::string file = HomeFolder() + "/Harbex.reg";
    std::string text = ReadText(file);
    const std::string key = "[HKEY_CURRENT_USER\\Software\\Tavrolin\\Harbex\\Settings]\n";
    const auto at = text.find(key);
    ASSERT_NE(at, std::string::npos) << text;
    text.insert(at + key.size(), "\"Save Mode\"=dword:00000001\n\"Max Page Size\"=dword:00000005\n");
    std::ofstream(file, std::ios::trunc) << text;
    ASSERT_EQ(RunProgram({"settings"}, output), 0) << output;
    EXPECT_EQ(Field(output, "Save Mode"), "1 (folder: the Personal Intranet)") << output;
    EXPECT_EQ(Field(output, "Max Page Size"), "5 MB") << output;
}

} // namespace
} // namespace hx::test
