// harbex-cli's options that set a task, pace its run and shape its output, seen
// from a server on 127.0.0.1: what it was asked for, by whom, how often and how fast.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/HXCliProgram.h"
#include "app/HXJsonCheck.h"
#include "support/HXTestServer.h"

namespace hx::test
{
namespace
{

using namespace std::chrono_literals;
namespace fs = std::filesystem;

THeaderFields Html()
{
    return {{"Content-Type", "text/html"}};
}

std::vector<std::string> Targets(const THXTestServer& server)
{
    std::vector<std::string> targets;
    for (const TRecordedRequest& request : server.Requests())
        targets.push_back(request.Target);
    return targets;
}

bool Requested(const THXTestServer& server, const std::string& target)
{
    const std::vector<std::string> targets = Targets(server);
    return std::find(targets.begin(), targets.end(), target) != targets.end();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

void ExpectKeys(const TJson& object, const std::vector<std::string>& keys, const std::string& where)
{
    ASSERT_EQ(object.Kind, TJson::TKind::Object) << where;
    for (const std::string& key : keys)
        EXPECT_TRUE(object.Has(key)) << where << " has no \"" << key << "\"";
}

class HXCliOptionsTest : public THXCliTest
{
};

TEST_F(HXCliOptionsTest, TaskOptionsReachTheServerAndBadOnesAreRefused)
{
    THXTestServer server(Routes({
        {"/dir/index.html", TReply::Text(200,
                                         "<html><body><a href=\"a.html\">a</a> <a href=\"private/b.html\">b</a>"
                                         "<img src=\"pic.gif\"> <a href=\"../other.html\">other</a></body></html>",
                                         Html())},
        {"/dir/a.html", TReply::Text(200, "<html><body>a</body></html>", Html())},
        {"/dir/private/b.html", TReply::Text(200, "<html><body>b</body></html>", Html())},
        {"/dir/pic.gif", TReply::Text(200, "GIF89a", {{"Content-Type", "image/gif"}})},
        {"/other.html", TReply::Text(200, "<html><body>other</body></html>", Html())},
    }));
    const std::string passwordFile = HomeFolder() + "/password";
    Home().WriteFile("password", "secret\n");
    std::string output;
    // Options before the command are the command's own.
    ASSERT_EQ(RunProgram({"--no-robots",
                          "--header",
                          "X-Harbex-Test: yes",
                          "copy",
                          server.URL("/dir/index.html"),
                          "--folder",
                          HomeFolder() + "/copy",
                          "--name",
                          "Options",
                          "--exclude",
                          "private",
                          "--types",
                          "html",
                          "--pages",
                          "folder",
                          "--header",
                          "Accept-Language: fr",
                          "--user-agent",
                          "OptionsTest/1.0",
                          "--user",
                          "ann",
                          "--password-file",
                          passwordFile,
                          "--limit-rate",
                          "4M"},
                         output),
              0)
        << output;
    EXPECT_TRUE(Requested(server, "/dir/index.html"));
    EXPECT_TRUE(Requested(server, "/dir/a.html"));
    EXPECT_FALSE(Requested(server, "/dir/private/b.html")) << "excluded";
    EXPECT_FALSE(Requested(server, "/dir/pic.gif")) << "not of the HTML group";
    EXPECT_FALSE(Requested(server, "/other.html")) << "outside the start folder";
    for (const TRecordedRequest& request : server.Requests())
    {
        EXPECT_EQ(request.Header("X-Harbex-Test"), "yes") << request.Raw;
        EXPECT_EQ(request.Header("Accept-Language"), "fr") << request.Raw;
        EXPECT_EQ(request.Header("User-Agent"), "OptionsTest/1.0") << request.Raw;
        EXPECT_EQ(request.Header("Authorization"), "Basic YW5uOnNlY3JldA==") << request.Raw; // ann:secret
    }
    // The task keeps its settings for the next run.
    const std::string taskFile = ReadText(HomeFolder() + "/Tasks/General/Options.hxt");
    EXPECT_NE(taskFile.find("Limit Rate=4194304"), std::string::npos) << taskFile;
    EXPECT_NE(taskFile.find("User Agent=OptionsTest/1.0"), std::string::npos) << taskFile;
    EXPECT_NE(taskFile.find("X-Harbex-Test: yes"), std::string::npos) << taskFile;

    const std::string url = server.URL("/dir/index.html");
    struct TRefusal
    {
        std::vector<std::string> arguments;
        std::string message;
    };
    const std::vector<TRefusal> refusals = {
        {{"copy", url, "--header", "Host: elsewhere"}, "the header Host is set by the program"},
        {{"copy", url, "--header", "cookie: a=b"}, "the header Cookie is set by the program"},
        {{"copy", url, "--header", "Transfer-Encoding: chunked"}, "Transfer-Encoding"},
        {{"copy", url, "--header", "Content-Length: 5"}, "Content-Length"},
        {{"copy", url, "--header", "no colon"}, "\"Name: value\""},
        {{"copy", url, "--user", "ann", "--password", "secret"}, "--password-file"},
        {{"copy", url, "--password-file", passwordFile}, "goes with --user"},
        {{"copy", url, "--pages", "nowhere"}, "site, folder or anywhere"},
        {{"copy", url, "--types", "Nope"}, "no file type group \"Nope\""},
        {{"copy", url, "--limit-rate", "10x"}, "--limit-rate needs bytes per second"},
        {{"copy", url, "--wait", "-1"}, "--wait needs seconds"},
        {{"--sitemaps", "tasks"}, "option --sitemaps does not apply to this command (it is for: copy)"},
        {{"tasks", "--quiet"}, "it is for: copy, run"},
        {{"--bogus", "copy", url}, "unknown option --bogus"},
    };
    for (const TRefusal& refusal : refusals)
    {
        EXPECT_EQ(RunProgram(refusal.arguments, output), 2) << refusal.arguments.back() << "\n" << output;
        EXPECT_NE(output.find(refusal.message), std::string::npos) << output;
    }
}

TEST_F(HXCliOptionsTest, WaitKeepsTheGapBetweenRequestsToOneHost)
{
    THXTestServer server(Routes({
        {"/", TReply::Text(200,
                           "<html><body><a href=\"1.html\">1</a><a href=\"2.html\">2</a><a href=\"3.html\">3</a>"
                           "</body></html>",
                           Html())},
        {"/1.html", TReply::Text(200, "<html><body>1</body></html>", Html())},
        {"/2.html", TReply::Text(200, "<html><body>2</body></html>", Html())},
        {"/3.html", TReply::Text(200, "<html><body>3</body></html>", Html())},
    }));
    std::string output;
    ASSERT_EQ(RunProgram({"copy", server.URL("/"), "--folder", HomeFolder() + "/copy", "--connections", "3", "--pacing",
                          "fast", "--no-robots", "--wait", "0.3"},
                         output),
              0)
        << output;
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    for (const TRecordedRequest& request : server.Requests())
        arrivals.push_back(request.Arrived);
    ASSERT_GE(arrivals.size(), 4u);
    std::sort(arrivals.begin(), arrivals.end());
    for (std::size_t index = 1; index < arrivals.size(); ++index)
        EXPECT_GE(arrivals[index] - arrivals[index - 1], 290ms) << "between requests " << index - 1 << " and " << index;
}

TEST_F(HXCliOptionsTest, LimitRateHoldsAllConnectionsTogetherToTheCap)
{
    // Five files of 1 MB over three connections; each reply waits for the client to
    // close, so its end is when the client has read the last byte.
    constexpr std::int64_t kFileBytes = 1024 * 1024;
    constexpr int kFiles = 5;
    constexpr double kCap = 1280 * 1024; // "1280k": about four seconds for the lot
    std::map<std::string, TReply> routes;
    std::string page = "<html><body>";
    for (int file = 1; file <= kFiles; ++file)
    {
        const std::string name = "/f" + std::to_string(file) + ".bin";
        page += "<a href=\"" + name.substr(1) + "\">f</a>";
        routes[name] = TReply()
                           .Send(ResponseHead(200, {{"Content-Type", "application/octet-stream"},
                                                    {"Content-Length", std::to_string(kFileBytes)}}))
                           .Repeat(std::string(1024, 'x'), kFileBytes / 1024)
                           .Stall();
    }
    routes["/"] = TReply::Text(200, page + "</body></html>", Html());
    THXTestServer server(Routes(routes));
    std::string output;
    ASSERT_EQ(RunProgram({"copy", server.URL("/"), "--folder", HomeFolder() + "/copy", "--connections", "3", "--pacing",
                          "fast", "--no-robots", "--limit-rate", "1280k"},
                         output),
              0)
        << output;

    std::chrono::steady_clock::time_point first = std::chrono::steady_clock::time_point::max();
    int files = 0;
    for (const TRecordedRequest& request : server.Requests())
        if (request.Target.ends_with(".bin") && request.Method == "GET")
        {
            first = std::min(first, request.Arrived);
            ++files;
        }
    ASSERT_EQ(files, kFiles) << output;
    const std::vector<std::chrono::steady_clock::time_point> ends = server.ReplyEnds();
    const auto last = *std::max_element(ends.begin(), ends.end());
    const double seconds = std::chrono::duration<double>(last - first).count();
    const double rate = static_cast<double>(kFileBytes * kFiles) / seconds;
    EXPECT_LE(rate, kCap * 1.10) << seconds << " s";
    EXPECT_GE(rate, kCap * 0.90) << seconds << " s";
}

TEST_F(HXCliOptionsTest, JsonOutputParsesWithItsKeysAndExitStatusesTellWhatHappened)
{
    THXTestServer server(Routes({
        {"/", TReply::Text(200,
                           "<html><head><title>Start</title></head><body><a href=\"ok.html\">ok</a>"
                           "<a href=\"gone.html\">gone</a></body></html>",
                           Html())},
        {"/ok.html", TReply::Text(200, "<html><body>ok</body></html>", Html())},
        {"/gone.html", TReply::Text(404, "gone", Html())},
        {"/clean.html", TReply::Text(200, "<html><body>clean</body></html>", Html())},
    }));
    std::string output;
    std::string errors;
    // An item failed: the copy completed with status 8.
    ASSERT_EQ(RunProgram({"--json", "copy", server.URL("/"), "--folder", HomeFolder() + "/copy", "--name", "Json",
                          "--verbose", "--no-robots"},
                         output, errors),
              8)
        << output << errors;
    const std::vector<std::string> lines = Lines(output);
    ASSERT_GE(lines.size(), 4u) << output;
    int failed = 0;
    for (std::size_t index = 0; index + 1 < lines.size(); ++index)
    {
        const std::optional<TJson> item = ParseJson(lines[index]);
        ASSERT_TRUE(item.has_value()) << lines[index];
        ExpectKeys(*item, {"type", "state", "ok", "size", "url", "status_text"}, lines[index]);
        EXPECT_EQ((*item)["type"].Text, "item");
        if ((*item)["ok"].Text == "false")
        {
            ++failed;
            EXPECT_EQ((*item)["url"].Text, server.URL("/gone.html"));
        }
    }
    EXPECT_EQ(failed, 1) << output;
    const std::optional<TJson> summary = ParseJson(lines.back());
    ASSERT_TRUE(summary.has_value()) << lines.back();
    ExpectKeys(*summary,
               {"type", "task", "task_file", "url", "status", "exit_status", "pages_saved", "pages_total",
                "page_errors", "media_saved", "media_total", "media_errors", "bytes", "seconds", "copy", "archive",
                "reports"},
               lines.back());
    EXPECT_EQ((*summary)["type"].Text, "summary");
    EXPECT_EQ((*summary)["exit_status"].Text, "8");
    EXPECT_EQ((*summary)["page_errors"].Text, "1");
    EXPECT_EQ((*summary)["task"].Text, "Json");

    // The other commands' documents.
    ASSERT_EQ(RunProgram({"tasks", "--json"}, output, errors), 0) << errors;
    std::optional<TJson> document = ParseJson(output);
    ASSERT_TRUE(document.has_value()) << output;
    ASSERT_TRUE(document->Has("tasks")) << output;
    ASSERT_EQ((*document)["tasks"].Items.size(), 1u) << output;
    ExpectKeys((*document)["tasks"].Items.front(),
               {"task_name", "status", "schedule", "last_run", "next_run", "pages", "resources", "errors",
                "starting_url", "destination", "category", "task_file", "status_code"},
               output);
    ASSERT_EQ(RunProgram({"--json", "settings"}, output, errors), 0) << errors;
    document = ParseJson(output);
    ASSERT_TRUE(document.has_value()) << output;
    ExpectKeys(*document, {"files_and_folders", "settings", "file_type_groups", "named_profiles"}, output);
    EXPECT_TRUE((*document)["settings"].Has("Host Delay")) << output;
    ASSERT_EQ(RunProgram({"explain", server.URL("/ok.html"), "--task", "Json", "--json"}, output, errors), 0) << errors;
    document = ParseJson(output);
    ASSERT_TRUE(document.has_value()) << output;
    ExpectKeys(*document,
               {"url", "task", "task_file", "start_page", "profile", "file_type", "level", "followed", "rule", "reason",
                "local_file", "start_page_link", "link_converted"},
               output);
    EXPECT_EQ((*document)["followed"].Text, "true");

    // -i: one task a line, a summary each; every item fetched gives 0, and --quiet
    // prints nothing at all.
    Home().WriteFile("addresses.txt",
                     "# two copies\n" + server.URL("/clean.html") + "\n\n" + server.URL("/ok.html") + "\n");
    ASSERT_EQ(RunProgram({"copy", "-i", HomeFolder() + "/addresses.txt", "--json", "--folder", HomeFolder() + "/list",
                          "--no-robots"},
                         output, errors),
              0)
        << output << errors;
    const std::vector<std::string> summaries = Lines(output);
    ASSERT_EQ(summaries.size(), 2u) << output;
    for (const std::string& line : summaries)
    {
        const std::optional<TJson> each = ParseJson(line);
        ASSERT_TRUE(each.has_value()) << line;
        EXPECT_EQ((*each)["exit_status"].Text, "0") << line;
    }
    EXPECT_EQ(
        RunProgram({"copy", server.URL("/clean.html"), "--quiet", "--folder", HomeFolder() + "/quiet", "--no-robots"},
                   output, errors),
        0);
    EXPECT_EQ(output, "");
    EXPECT_EQ(errors, "");

    // Nothing to fetch: 1.
    EXPECT_EQ(RunProgram({"copy", server.URL("/missing.html"), "--folder", HomeFolder() + "/none", "--no-robots"},
                         output, errors),
              1)
        << output << errors;
}

} // namespace
} // namespace hx::test
