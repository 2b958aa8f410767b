// A copy of a small site made the way sites are made today: style sheets that pull in
// images and a font through url(...) and another sheet through @import, responsive
// images with srcset candidates, media and style attributes. Served on 127.0.0.1 by
// the test server and copied through the real pipeline in both pacings.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "HXRunSession.h"
#include "core/HXApp.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "engine/HXParser.h"
#include "engine/HXThreadParseStyle.h"
#include "shell/HXFirstRun.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"
#include "support/HXTestSite.h"

namespace hx::test
{
namespace
{

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TReply Typed(std::string body, const std::string& type)
{
    return TReply::Text(200, std::move(body), {{"Content-Type", type}});
}

// The site: path to reply. Every file below "img", "fonts" and "media" is reached only
// through a style sheet, a srcset candidate or a media tag.
std::map<std::string, TReply> ModernSite()
{
    const std::string index =
        "<html><head><title>Modern</title>\n"
        "<link rel=\"stylesheet\" media=\"screen\" href=\"css/site.css\">\n"
        "<link rel=\"icon\" href=\"img/icon.png\">\n"
        "<style>\n.hero { background-image: url(\"img/hero.jpg\") }\n</style></head>\n"
        "<body><img src=\"img/a.png\" srcset=\"img/a.png 1x, img/a-2x.png 2x,img/a,3.png 3x\" alt=\"a\">\n"
        "<picture><source srcset=\"img/p-480.webp 480w, img/p-800.webp 800w\" type=\"image/webp\"></picture>\n"
        "<video poster=\"media/poster.jpg\"><source src=\"media/clip.mp4\"></video>\n"
        "<div style=\"background: url('img/tile.gif') repeat\">tiles</div>\n"
        "<a href=\"sub/page.html\">more</a></body></html>\n";
    const std::string sub = "<html><head><link rel=\"stylesheet\" href=\"../css/site.css\"></head>\n"
                            "<body><img srcset=\"../img/sub-1x.png 1x, ../img/sub-2x.png 2x\"></body></html>\n";
    const std::string site = "@import \"theme/colors.css\";\n"
                             "/* url(img/commented.png) is not a link */\n"
                             "body { background: #fff url(../img/bg.png) repeat-x; }\n"
                             "@font-face { font-family: F; src: url(\"../fonts/f.woff2\") format(\"woff2\"); }\n"
                             ".dot { background: url(data:image/gif;base64,R0lGODlhAQABAAAAACw=); }\n";
    const std::string colors = ".m { background: url('../../img/from-import.gif'); }\n";
    std::map<std::string, TReply> routes = {
        {"/index.html", Typed(index, "text/html")},
        {"/sub/page.html", Typed(sub, "text/html")},
        {"/css/site.css", Typed(site, "text/css")},
        {"/css/theme/colors.css", Typed(colors, "text/css")},
        {"/fonts/f.woff2", Typed("wOF2 font bytes", "font/woff2")},
        {"/media/poster.jpg", Typed("\xff\xd8 poster \xff\xd9", "image/jpeg")},
        {"/media/clip.mp4", Typed("mp4 bytes", "video/mp4")},
    };
    for (const char* image : {"icon.png", "hero.jpg", "a.png", "a-2x.png", "a,3.png", "p-480.webp", "p-800.webp",
                              "tile.gif", "bg.png", "from-import.gif", "sub-1x.png", "sub-2x.png"})
        routes["/img/" + std::string(image)] = Typed(std::string("image ") + image, "image/png");
    return routes;
}

class HXModernSiteTest : public THXSandboxTest
{
protected:
    void SetUp() override
    {
        THXSandboxTest::SetUp();
        setenv("HARBEX_DATA_DIR", HX_SOURCE_DATA_DIR, 1);
        m_app = std::make_unique<THXApp>(THXEnvironment::FromProcess());
        FirstRunSetup(*m_app);
    }
    void TearDown() override
    {
        m_app.reset();
        THXSandboxTest::TearDown();
    }

    // Copies the site into a folder of its own with the pacing (in Zip mode, into an
    // archive that is then extracted there); the folder.
    fs::path Copy(const std::string& start, const TRunPacing& pacing, const std::string& name, bool zip)
    {
        TRunOptions options;
        options.Pacing = pacing;
        TRunSession session(*m_app, m_err, options);
        const fs::path root = Home().Path() / name;
        const std::string archive = root.string() + ".zip";
        std::vector<std::string> arguments = {zip ? "--zip" : "--folder", zip ? archive : root.string(), "--name",
                                              name};
        auto task = NewCopyTask(*m_app, arguments, start);
        task->Save();
        task->RunMode = kRunRestart;
        EXPECT_TRUE(session.RunTask(task, 60000ms).Completed) << name << ": " << m_err.str();
        if (zip)
        {
            const std::string command = "unzip -q '" + archive + "' -d '" + root.string() + "' 2>&1";
            EXPECT_EQ(std::system(command.c_str()), 0) << command;
        }
        return root;
    }

    std::unique_ptr<THXApp> m_app;
    std::ostringstream m_err;
};

// Every local link of the style sheets below the folder names a file on disk.
std::vector<std::string> BrokenStyleLinks(const fs::path& root)
{
    std::vector<std::string> broken;
    for (const auto& entry : fs::recursive_directory_iterator(root))
    {
        if (!entry.is_regular_file() || entry.path().extension() != ".css")
            continue;
        const std::string sheet = ReadAll(entry.path());
        for (const TInnerLink& link : FindStyleLinks(sheet))
        {
            const std::string value = sheet.substr(link.Start, link.Length);
            if (!IsLocalLink(value))
            {
                broken.push_back(entry.path().string() + ": not local: " + value);
                continue;
            }
            const fs::path target = LocalLinkTarget(entry.path(), "", value);
            if (!fs::is_regular_file(target))
                broken.push_back(entry.path().string() + ": " + value);
        }
    }
    return broken;
}

// The srcset candidates of a saved page, each resolved on disk; those that are missing.
std::vector<std::string> BrokenCandidates(const fs::path& page, int& candidates)
{
    std::vector<std::string> broken;
    const std::string text = ReadAll(page);
    for (const char* tag : {"IMG", "SOURCE"})
    {
        THXParser scanner(text, tag, ">", "SRCSET", THXParser::kTagMode);
        do
        {
            const std::string value = scanner.FindNext();
            for (const TInnerLink& link : FindSrcsetLinks(value))
            {
                ++candidates;
                const std::string candidate = value.substr(link.Start, link.Length);
                if (!IsLocalLink(candidate) || !fs::is_regular_file(LocalLinkTarget(page, "", candidate)))
                    broken.push_back(page.string() + ": " + candidate);
            }
        } while (scanner.NextFrom != 0 && scanner.Cursor != 0);
    }
    return broken;
}

TEST_F(HXModernSiteTest, StyleSheetsSrcsetAndMediaAreCopiedAndTheirLinksResolveOnDisk)
{
    THXTestServer server(Routes(ModernSite()));
    const std::string start = server.URL("/index.html");
    TRunPacing classic;
    classic.Parse.SleepStep = 2ms;
    classic.Parse.SleepSteps = 1;
    classic.Parse.StatusWait = 0ms;
    classic.Dispatch.SleepStep = 2ms;
    classic.ZipFeedPeriod = 2ms;
    std::map<std::string, std::string> firstCopy;
    struct TRound
    {
        std::string name;
        TRunPacing pacing;
        bool zip = false;
    };
    for (const TRound& round : std::vector<TRound>{
             {"classic", classic, false}, {"fast", TRunPacing::Fast(), false}, {"zip", TRunPacing::Fast(), true}})
    {
        SCOPED_TRACE(round.name);
        const fs::path root = Copy(start, round.pacing, round.name, round.zip);
        const std::string directory = DirectoryURL(start);
        const auto local = [&](const std::string& path)
        { return fs::path(LocalFileName(root.string() + "/", directory, server.URL(path))); };

        // Every file of the site is in the copy, those reached only through a style
        // sheet, an @import'ed sheet, a srcset candidate or a media tag included.
        for (const auto& [path, reply] : ModernSite())
            EXPECT_TRUE(fs::is_regular_file(local(path))) << path;
        EXPECT_FALSE(fs::exists(local("/img/commented.png")));

        // The rewritten links resolve on disk: the pages' (tags and srcset candidates)
        // and the style sheets'.
        TLinkCheckStats stats;
        EXPECT_EQ(CheckLocalLinks(root, &stats), std::vector<TBrokenLink>{});
        EXPECT_GE(stats.Pages, 2); // the two pages and the reports
        EXPECT_EQ(BrokenStyleLinks(root), std::vector<std::string>{});
        int candidates = 0;
        for (const char* page : {"/index.html", "/sub/page.html"})
            EXPECT_EQ(BrokenCandidates(local(page), candidates), std::vector<std::string>{}) << page;
        EXPECT_EQ(candidates, 7);

        // The sheet keeps its text but for its links; the inline data stays as it was.
        const std::string sheet = ReadAll(local("/css/site.css"));
        EXPECT_NE(sheet.find("@import \"theme/colors.css\";"), std::string::npos) << sheet;
        EXPECT_NE(sheet.find("url(data:image/gif;base64,R0lGODlhAQABAAAAACw=)"), std::string::npos) << sheet;
        EXPECT_NE(sheet.find("/* url(img/commented.png) is not a link */"), std::string::npos) << sheet;
        const std::string index = ReadAll(local("/index.html"));
        EXPECT_NE(index.find("srcset=\"img/a.png 1x, img/a-2x.png 2x,img/a,3.png 3x\""), std::string::npos) << index;
        EXPECT_NE(index.find("url('img/tile.gif') repeat"), std::string::npos) << index;

        // Both pacings give the same files, and so does the archive.
        for (const auto& [path, reply] : ModernSite())
        {
            const std::string bytes = ReadAll(local(path));
            if (firstCopy.contains(path))
                EXPECT_EQ(bytes, firstCopy[path]) << path;
            else
                firstCopy[path] = bytes;
        }
    }
}

} // namespace
} // namespace hx::test
