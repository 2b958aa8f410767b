// harbex-cli against sites that need cookies: a session set by the start page, a
// cookies.txt written by wget (and one Harbex writes, read back by wget), a POST
// sign-in, a sign-out link left alone, and a session that outlives Stop.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>

#include "app/HXCliProgram.h"
#include "support/HXTestServer.h"

namespace hx::test
{
namespace
{

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kArticles = 18;
constexpr std::string_view kSession = "session=s-77";
constexpr std::string_view kFolder = "folder=f-5";

// Whether the request's Cookie line holds the pair.
bool Carries(const TRecordedRequest& request, std::string_view pair)
{
    const std::string cookies = "; " + request.Header("Cookie") + ";";
    return cookies.find("; " + std::string(pair) + ";") != std::string::npos;
}

// A site whose pages answer 403 without its cookies: the session cookie, and in
// the article folder a second cookie scoped to that folder. 20 pages and a picture.
class TSessionSite
{
public:
    // How a visitor gets the session: from the start page, from "/issue" (as a
    // browser would have it from an earlier visit), or by signing in.
    enum class TEntry
    {
        StartPage,
        IssuePage,
        SignIn
    };

    explicit TSessionSite(TEntry entry)
        : m_entry(entry)
        , m_server([this](const TRecordedRequest& request) { return Answer(request); })
    {
    }

    THXTestServer& Server() { return m_server; }
    std::string URL(std::string_view path) const { return m_server.URL(path); }
    int Forbidden() const { return m_forbidden; }
    int SignOuts() const { return m_signOuts; }
    std::atomic<bool> SlowArticles{false};

private:
    static THeaderFields Html() { return {{"Content-Type", "text/html"}}; }

    TReply Refuse()
    {
        ++m_forbidden;
        return TReply::Text(403, "<html><body>Forbidden</body></html>", Html());
    }

    TReply Answer(const TRecordedRequest& request)
    {
        const std::string& target = request.Target;
        if (target == "/robots.txt")
            return TReply::Text(404, "none");
        // The folder cookie belongs to the article folder alone.
        if (!target.starts_with("/articles/") && Carries(request, kFolder))
            return TReply::Text(400, "folder cookie outside its folder");
        const std::string sessionCookie = std::string(kSession) + "; Path=/; HttpOnly; SameSite=Lax";
        if (target == "/issue")
            return TReply::Text(200, "issued", {{"Set-Cookie", sessionCookie}});
        if (target == "/login" && request.Method == "POST")
        {
            if (request.Body != "user=ann&password=s%26cret")
                return Refuse();
            return TReply::Text(302, "", {{"Location", "/members.html"}, {"Set-Cookie", sessionCookie}});
        }
        if (target.starts_with("/logout"))
        {
            ++m_signOuts;
            return TReply::Text(302, "", {{"Location", "/"}, {"Set-Cookie", "session=; Max-Age=0; Path=/"}});
        }
        const bool hasSession = Carries(request, kSession);
        if (target == "/")
        {
            if (m_entry == TEntry::StartPage)
                return TReply::Text(200,
                                    "<html><body><a href=\"articles/index.html\">Articles</a>"
                                    "<a href=\"/logout\">Sign out</a></body></html>",
                                    {{"Content-Type", "text/html"}, {"Set-Cookie", sessionCookie}});
            if (!hasSession)
                return Refuse();
            return TReply::Text(200,
                                "<html><body><a href=\"articles/index.html\">Articles</a>"
                                "<a href=\"/account/?action=LogOut\">Sign out</a></body></html>",
                                Html());
        }
        if (!hasSession)
            return Refuse();
        if (target == "/members.html")
            return TReply::Text(200, "<html><body>members only</body></html>", Html());
        if (target == "/articles/index.html")
        {
            std::string body = "<html><body><img src=\"picture.gif\">";
            for (int i = 1; i <= kArticles; ++i)
                body += "<a href=\"" + std::to_string(i) + ".html\">" + std::to_string(i) + "</a>";
            body += "</body></html>";
            return TReply::Text(
                200, body, {{"Content-Type", "text/html"}, {"Set-Cookie", std::string(kFolder) + "; Path=/articles/"}});
        }
        if (!target.starts_with("/articles/"))
            return TReply::Text(404, "missing");
        if (!Carries(request, kFolder))
            return Refuse();
        if (target == "/articles/picture.gif")
            return TReply::Text(200, "GIF89a", {{"Content-Type", "image/gif"}});
        if (SlowArticles && request.Method == "GET" && target != "/articles/1.html")
            return TReply().Send(ResponseHead(200, {{"Content-Type", "text/html"}, {"Content-Length", "40"}})).Stall();
        return TReply::Text(200, "<html><body><a href=\"../\">home</a></body></html>", Html());
    }

    TEntry m_entry;
    std::atomic<int> m_forbidden{0};
    std::atomic<int> m_signOuts{0};
    THXTestServer m_server;
};

class HXCliCookieTest : public THXCliTest
{
protected:
    // Every page and the picture of the site are in the copy.
    void ExpectWholeSite(const std::string& copy)
    {
        const std::string site = copy + "/127.0.0.1/";
        EXPECT_TRUE(fs::is_regular_file(site + "index.htm") || fs::is_regular_file(site + "index.html"));
        EXPECT_TRUE(fs::is_regular_file(site + "articles/index.html"));
        for (int i = 1; i <= kArticles; ++i)
            EXPECT_NE(ReadText(site + "articles/" + std::to_string(i) + ".html").find(">home</a>"), std::string::npos)
                << i;
        EXPECT_EQ(ReadText(site + "articles/picture.gif"), "GIF89a");
    }

    static unsigned Mode(const std::string& path)
    {
        struct stat info
        {
        };
        return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0;
    }

    // Runs wget with the arguments; its exit status.
    static int Wget(const std::vector<std::string>& arguments)
    {
        std::string command = "wget -q";
        for (const std::string& argument : arguments)
            command += " '" + argument + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(HXCliCookieTest, TheStartPagesSessionCopiesTheWholeSiteInBothPacings)
{
    for (const std::string& pacing : std::vector<std::string>{"fast", "classic"})
    {
        SCOPED_TRACE(pacing);
        TSessionSite site(TSessionSite::TEntry::StartPage);
        const std::string copy = HomeFolder() + "/copy-" + pacing;
        const std::string name = "Session " + pacing;
        std::string output;
        ASSERT_EQ(RunProgram({"--pacing", pacing, "copy", site.URL("/"), "--folder", copy, "--name", name}, output), 0)
            << output;
        ExpectWholeSite(copy);
        EXPECT_EQ(site.Forbidden(), 0);
        // The sign-out link is listed but never followed while the task holds cookies.
        EXPECT_EQ(site.SignOuts(), 0);
        const std::string queue = ReadText(HomeFolder() + "/Tasks/General/" + name + ".dwn");
        EXPECT_NE(queue.find("Not followed: sign-out link"), std::string::npos);
        // The jar is kept beside the queue, for the user alone; values appear nowhere else.
        const std::string jarFile = HomeFolder() + "/Tasks/General/" + name + ".cookies";
        EXPECT_NE(ReadText(jarFile).find("\ts-77\n"), std::string::npos) << ReadText(jarFile);
        EXPECT_EQ(Mode(jarFile), 0600u);
        EXPECT_EQ(output.find("s-77"), std::string::npos) << output;
        EXPECT_EQ(queue.find("s-77"), std::string::npos);
    }
}

TEST_F(HXCliCookieTest, CookiesTxtFromWgetIsLoadedAndTheSavedOneServesWget)
{
    TSessionSite site(TSessionSite::TEntry::IssuePage);
    // Without the cookie nothing of the site can be copied.
    std::string output;
    EXPECT_EQ(RunProgram({"copy", site.URL("/"), "--folder", HomeFolder() + "/none", "--name", "None"}, output), 1)
        << output;
    EXPECT_FALSE(fs::exists(HomeFolder() + "/none/127.0.0.1/articles/1.html"));

    // wget takes the session from /issue and writes it to a cookies.txt.
    const std::string fromWget = HomeFolder() + "/wget-cookies.txt";
    ASSERT_EQ(Wget({"--save-cookies", fromWget, "--keep-session-cookies", "-O", "/dev/null", site.URL("/issue")}), 0);
    ASSERT_NE(ReadText(fromWget).find("session"), std::string::npos) << ReadText(fromWget);

    const std::string copy = HomeFolder() + "/copy";
    const std::string forWget = HomeFolder() + "/harbex-cookies.txt";
    ASSERT_EQ(RunProgram({"copy", site.URL("/"), "--folder", copy, "--name", "Imported", "--load-cookies", fromWget,
                          "--save-cookies", forWget},
                         output),
              0)
        << output;
    ExpectWholeSite(copy);
    EXPECT_EQ(site.SignOuts(), 0);
    EXPECT_EQ(Mode(forWget), 0600u);

    // wget reads the file Harbex wrote and gets past the gate.
    const std::string page = HomeFolder() + "/members.html";
    ASSERT_EQ(Wget({"--load-cookies", forWget, "-O", page, site.URL("/members.html")}), 0) << ReadText(forWget);
    EXPECT_EQ(ReadText(page), "<html><body>members only</body></html>");
    EXPECT_EQ(site.Forbidden(), 1); // the start page asked without the cookie, above

    // A file that cannot be read stops the command before a task is made.
    EXPECT_EQ(
        RunProgram({"copy", site.URL("/"), "--name", "Missing", "--load-cookies", HomeFolder() + "/no.txt"}, output),
        1);
    EXPECT_NE(output.find("no.txt"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(HomeFolder() + "/Tasks/General/Missing.hxt"));
}

TEST_F(HXCliCookieTest, APostSignInReachesTheMembersPages)
{
    TSessionSite site(TSessionSite::TEntry::SignIn);
    const std::string copy = HomeFolder() + "/copy";
    std::string output;
    ASSERT_EQ(RunProgram({"copy", site.URL("/"), "--folder", copy, "--name", "Member", "--login-url",
                          site.URL("/login"), "--post-data", "user=ann&password=s%26cret"},
                         output),
              0)
        << output;
    EXPECT_NE(output.find("Signed in"), std::string::npos) << output;
    ExpectWholeSite(copy);
    EXPECT_EQ(site.SignOuts(), 0);
    // The answer's redirect was followed, with the new cookie.
    bool membersPage = false;
    for (const TRecordedRequest& request : site.Server().Requests())
        membersPage = membersPage || (request.Target == "/members.html" && Carries(request, kSession));
    EXPECT_TRUE(membersPage);
    // The sign-out link of this site is a query value.
    EXPECT_NE(ReadText(HomeFolder() + "/Tasks/General/Member.dwn").find("Not followed: sign-out link"),
              std::string::npos);

    // A refused sign-in ends the command with the reason; no crawl starts.
    EXPECT_EQ(RunProgram({"copy", site.URL("/"), "--name", "Wrong", "--login-url", site.URL("/login"), "--post-data",
                          "user=ann&password=guess"},
                         output),
              1);
    EXPECT_NE(output.find("403"), std::string::npos) << output;
    EXPECT_EQ(RunProgram({"copy", site.URL("/"), "--login-url", site.URL("/login")}, output), 2);
}

TEST_F(HXCliCookieTest, ResumeAfterStopKeepsTheSession)
{
    // The session comes from the start page, which a resumed run does not fetch again.
    TSessionSite site(TSessionSite::TEntry::StartPage);
    site.SlowArticles = true;
    const std::string copy = HomeFolder() + "/copy";
    const TProgramRun run = StartProgram(HomeFolder(), {"copy", site.URL("/"), "--folder", copy, "--name", "Kept"});
    ASSERT_GT(run.Pid, 0);
    for (int step = 0; step < 600 && !fs::exists(copy + "/127.0.0.1/articles/1.html"); ++step)
        std::this_thread::sleep_for(50ms);
    ::kill(run.Pid, SIGINT);
    EXPECT_EQ(WaitProgram(run, 60s), 3) << ReadText(run.OutputFile);

    site.SlowArticles = false;
    const std::size_t before = site.Server().RequestCount();
    std::string output;
    ASSERT_EQ(RunProgram({"run", "Kept", "--resume"}, output), 0) << output;
    ExpectWholeSite(copy);
    EXPECT_EQ(site.Forbidden(), 0);
    // The resumed run asked no start page for a new session.
    const auto requests = site.Server().Requests();
    for (std::size_t i = before; i < requests.size(); ++i)
        EXPECT_NE(requests[i].Target, "/");
}

} // namespace
} // namespace hx::test
