// harbex-cli copy --render against an application on 127.0.0.1 whose pages are
// built by a script: the text and picture of each client-side route come from
// /api/*.json through fetch, the route links from /api/routes.json, and a page loads
// its picture only when it is scrolled to. Without rendering the copy lacks the text
// (the saved shell cannot reach its data offline); with it every route's text is in
// its saved page, which reads offline, and the data files and pictures are copied.
// A renderer that crashes on a page does not stop the copy. The copies need Qt
// WebEngine and are skipped, saying so, where it cannot start.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/HXCli.h"
#include "core/HXApp.h"
#include "net/HXRenderClient.h"
#include "shell/HXFirstRun.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"

namespace hx::test
{
namespace
{

namespace fs = std::filesystem;

TReply Typed(std::string body, const std::string& type)
{
    return TReply::Text(200, std::move(body), {{"Content-Type", type}});
}

// Every route answers with the same shell; the script fills it for the address shown.
constexpr const char* kShell = "<html><head><title>Shop</title><script src=\"/app/app.js\"></script></head>"
                               "<body><nav id=\"nav\"></nav><main id=\"main\">Loading...</main>"
                               "<p><a href=\"/app/gallery.html\">Gallery</a></p></body></html>";

// The route's data, then its picture; a picture of another address is asked for too
// (it is blocked: not one of the task's sites).
constexpr const char* kAppScript = R"JS(
async function show(path) {
  const name = path.split('/').pop().replace('.html', '') || 'index';
  const data = await (await fetch('/api/' + name + '.json')).json();
  const main = document.getElementById('main');
  main.innerHTML = '<h1>' + data.title + '</h1><p>' + data.text + '</p>';
  const picture = document.createElement('img');
  picture.src = data.picture;
  main.appendChild(picture);
}
window.addEventListener('DOMContentLoaded', async () => {
  const routes = await (await fetch('/api/routes.json')).json();
  const nav = document.getElementById('nav');
  for (const route of routes) {
    const link = document.createElement('a');
    link.href = route.path;
    link.textContent = route.name;
    link.addEventListener('click', event => {
      event.preventDefault();
      history.pushState({}, '', route.path);
      show(route.path);
    });
    nav.appendChild(link);
  }
  new Image().src = 'http://127.0.0.2:' + location.port + '/pixel' + '.png';
  await show(location.pathname);
});
)JS";

// The picture far below the top is given its address once it comes into view.
constexpr const char* kGallery = "<html><head><title>Gallery</title></head><body><p>Gallery</p>"
                                 "<div style=\"height: 5000px\"></div><img id=\"late\" alt=\"late\">"
                                 "<script src=\"/app/gallery.js\"></script></body></html>";
constexpr const char* kGalleryScript = R"JS(
const late = document.getElementById('late');
new IntersectionObserver((entries, observer) => {
  for (const entry of entries)
    if (entry.isIntersecting) { late.src = '/img/' + 'late-' + 'picture' + '.png'; observer.disconnect(); }
}).observe(late);
)JS";

std::string RouteData(const std::string& name)
{
    return "{\"title\": \"The " + name + " route\", \"text\": \"Text of the " + name +
           " route\", \"picture\": \"/img/" + name + ".png\"}";
}

std::map<std::string, TReply> Site()
{
    std::map<std::string, TReply> site = {
        {"/app/app.js", Typed(kAppScript, "application/javascript")},
        {"/app/gallery.html", Typed(kGallery, "text/html")},
        {"/app/gallery.js", Typed(kGalleryScript, "application/javascript")},
        {"/api/routes.json", Typed(R"([{"path": "/app/about.html", "name": "About"},)"
                                   R"( {"path": "/app/team.html", "name": "Team"}])",
                                   "application/json")},
        {"/img/late-picture.png", Typed("PNG late", "image/png")},
    };
    for (const std::string name : {"index", "about", "team"})
    {
        site.emplace("/app/" + name + ".html", Typed(kShell, "text/html"));
        site.emplace("/api/" + name + ".json", Typed(RouteData(name), "application/json"));
        site.emplace("/img/" + name + ".png", Typed("PNG " + name, "image/png"));
    }
    return site;
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class HXRenderCrawlTest : public THXSandboxTest
{
protected:
    void SetUp() override
    {
        THXSandboxTest::SetUp();
        server.SetHandler(Routes(Site()));
        ::unsetenv("HARBEX_RENDER_ABORT_ON");
        ::setenv("HARBEX_RENDER", HX_RENDER_PROGRAM, 1);
    }
    void TearDown() override
    {
        ::unsetenv("HARBEX_RENDER_ABORT_ON");
        ::unsetenv("HARBEX_RENDER");
        THXSandboxTest::TearDown();
    }

    // Skips the test, saying why, where no renderer can render here.
    bool RendererWorks()
    {
        if (std::string(HX_RENDER_PROGRAM).empty())
        {
            skipReason = "this build has no Qt WebEngine (harbex-render was not built)";
            return false;
        }
        THXRenderPool pool(HX_RENDER_PROGRAM, 1);
        TRenderRequest request;
        request.URL = server.URL("/app/gallery.html");
        request.TimeOutMs = 5000;
        request.Sites = {"127.0.0.1"};
        TRenderReply reply;
        const TRenderOutcome outcome = pool.Render(request, reply);
        if (outcome == TRenderOutcome::Rendered && reply.Loaded)
            return true;
        skipReason = "Qt WebEngine cannot start here (harbex-render did not render a local page)";
        return false;
    }

    int Copy(const std::string& name, std::vector<std::string> flags = {})
    {
        setenv("HARBEX_DATA_DIR", HX_SOURCE_DATA_DIR, 1);
        THXApp app(THXEnvironment::FromProcess());
        FirstRunSetup(app);
        std::vector<std::string> arguments = {
            server.URL("/app/index.html"), "--folder", Folder(name), "--name", name, "--pacing", "fast"};
        arguments.insert(arguments.end(), flags.begin(), flags.end());
        std::ostringstream out;
        std::ostringstream err;
        const int status = cli::CommandCopy(app, arguments, out, err);
        errors = err.str();
        EXPECT_EQ(status, 0) << out.str() << err.str();
        return status;
    }
    std::string Folder(const std::string& name) const { return (Home().Path() / name).string(); }
    fs::path Saved(const std::string& name, const std::string& path) const
    {
        return fs::path(Folder(name) + "/127.0.0.1" + path);
    }
    bool Copied(const std::string& name, const std::string& path) const
    {
        return fs::is_regular_file(Saved(name, path));
    }
    std::string SavedText(const std::string& name, const std::string& path) const
    {
        return ReadText(Saved(name, path));
    }
    // The text a person sees in a saved page opened from disk, the network blocked.
    static std::string VisibleText(const fs::path& page)
    {
        const std::string command =
            std::string("'") + HX_RENDER_PROGRAM + "' --visible-text '" + page.string() + "' 2>/dev/null";
        std::string text;
        if (FILE* pipe = ::popen(command.c_str(), "r"))
        {
            char buffer[4096];
            std::size_t got = 0;
            while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
                text.append(buffer, got);
            ::pclose(pipe);
        }
        return text;
    }
    // Whether a file of the task's own (its task file or queue) holds the text.
    bool TaskFilesSay(const std::string& words) const
    {
        for (const auto& entry : fs::recursive_directory_iterator(Home().Path()))
        {
            const std::string path = entry.path().string();
            if (entry.is_regular_file() && path.find("/Tasks/") != std::string::npos &&
                ReadText(entry.path()).find(words) != std::string::npos)
                return true;
        }
        return false;
    }

    THXTestServer server{Routes({})};
    std::string skipReason;
    std::string errors;
};

TEST_F(HXRenderCrawlTest, RenderedCopyKeepsWhatTheScriptsBuiltAndReadsOffline)
{
    if (!RendererWorks())
        GTEST_SKIP() << skipReason;

    // Without rendering the copy has the empty shell: no route text, no data, and
    // none of the routes only the script links to.
    ASSERT_EQ(Copy("plain"), 0);
    ASSERT_TRUE(Copied("plain", "/app/index.html"));
    EXPECT_EQ(SavedText("plain", "/app/index.html").find("Text of the index route"), std::string::npos);
    EXPECT_FALSE(Copied("plain", "/api/index.json"));
    EXPECT_FALSE(Copied("plain", "/app/about.html"));
    EXPECT_FALSE(Copied("plain", "/img/late-picture.png"));

    ASSERT_EQ(Copy("rendered", {"--render"}), 0);
    for (const std::string name : {"index", "about", "team"})
    {
        const std::string page = "/app/" + name + ".html";
        ASSERT_TRUE(Copied("rendered", page)) << page;
        const std::string text = SavedText("rendered", page);
        EXPECT_NE(text.find("Text of the " + name + " route"), std::string::npos) << text;
        // The page's scripts are gone, so offline it shows its content as it is.
        EXPECT_EQ(text.find("<script"), std::string::npos) << text;
        EXPECT_TRUE(Copied("rendered", "/api/" + name + ".json")) << name;
        EXPECT_TRUE(Copied("rendered", "/img/" + name + ".png")) << name;
    }
    EXPECT_TRUE(Copied("rendered", "/api/routes.json"));
    EXPECT_TRUE(Copied("rendered", "/app/gallery.html"));
    EXPECT_TRUE(Copied("rendered", "/img/late-picture.png"));
    // The address of another host was blocked and is named in the page's status.
    EXPECT_TRUE(TaskFilesSay("outside the task's sites: http://127.0.0.2:" + std::to_string(server.Port())));

    // Opened from disk, with the site out of reach, the pages show their text.
    EXPECT_NE(VisibleText(Saved("rendered", "/app/about.html")).find("Text of the about route"), std::string::npos);
    EXPECT_EQ(VisibleText(Saved("plain", "/app/index.html")).find("Text of the index route"), std::string::npos);
}

TEST_F(HXRenderCrawlTest, CrashedRendererLeavesThePageAsFetchedAndTheCopyGoesOn)
{
    if (!RendererWorks())
        GTEST_SKIP() << skipReason;
    ::setenv("HARBEX_RENDER_ABORT_ON", "/app/team.html", 1);
    ASSERT_EQ(Copy("crash", {"--render"}), 0);
    // The page the renderer crashed on keeps its fetched text and says why.
    const std::string team = SavedText("crash", "/app/team.html");
    EXPECT_NE(team.find("Loading..."), std::string::npos) << team;
    EXPECT_TRUE(TaskFilesSay("Not rendered: the renderer crashed; the fetched text is kept"));
    // The restarted renderer renders the other pages.
    EXPECT_NE(SavedText("crash", "/app/index.html").find("Text of the index route"), std::string::npos);
    EXPECT_NE(SavedText("crash", "/app/about.html").find("Text of the about route"), std::string::npos);
}

// The renderer is given the task's cookies (a host-only and a domain cookie of
// cookies.txt), and keeps the page's scripts only when asked to.
TEST_F(HXRenderCrawlTest, RendererSendsTheTaskCookiesAndKeepsScriptsWhenAsked)
{
    if (!RendererWorks())
        GTEST_SKIP() << skipReason;
    THXRenderPool pool(HX_RENDER_PROGRAM, 1);
    TRenderRequest request;
    request.URL = server.URL("/app/about.html");
    request.Sites = {"127.0.0.1"};
    request.Cookies = "# Netscape HTTP Cookie File\n127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\tabc\n"
                      "#HttpOnly_127.0.0.1\tFALSE\t/app/\tFALSE\t4102444800\tlanguage\tde\n";
    request.KeepScripts = true;
    const std::size_t before = server.RequestCount();
    TRenderReply reply;
    ASSERT_EQ(pool.Render(request, reply), TRenderOutcome::Rendered);
    EXPECT_NE(reply.Document.find("Text of the about route"), std::string::npos);
    EXPECT_NE(reply.Document.find("<script src=\"/app/app.js\">"), std::string::npos) << reply.Document;
    std::string sent;
    const std::vector<TRecordedRequest> requests = server.Requests();
    for (std::size_t n = before; n < requests.size(); ++n)
        if (requests[n].Target == "/app/about.html")
            sent = requests[n].Header("Cookie");
    EXPECT_NE(sent.find("session=abc"), std::string::npos) << sent;
    EXPECT_NE(sent.find("language=de"), std::string::npos) << sent;
}

TEST_F(HXRenderCrawlTest, WithoutTheRendererRenderIsRefusedAndTheCopyGoesOn)
{
    ::setenv("HARBEX_RENDER", (Home().Path() / "missing" / "harbex-render").c_str(), 1);
    ASSERT_EQ(Copy("refused", {"--render"}), 0);
    EXPECT_NE(errors.find("--render refused: Render Pages needs harbex-render"), std::string::npos) << errors;
    ASSERT_TRUE(Copied("refused", "/app/index.html"));
    EXPECT_NE(SavedText("refused", "/app/index.html").find("Loading..."), std::string::npos);
}

} // namespace
} // namespace hx::test
