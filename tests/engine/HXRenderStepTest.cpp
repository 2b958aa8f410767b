// The render step without a browser: the frames the parse worker and harbex-render
// exchange, the addresses a renderer may load, the rendered document as it is saved,
// the addresses a render found joining the queue under the profile's rules, and what
// becomes of a page when the renderer is missing or cannot start. Rendering itself
// is tested with harbex-render in the app suite.

#include "engine/HXRenderStep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/HXApp.h"
#include "core/HXTask.h"
#include "net/HXRenderClient.h"
#include "net/HXRenderProtocol.h"
#include "support/HXSandbox.h"

#include <signal.h>

namespace hx
{
namespace
{

using namespace std::string_literals;

TEST(HXRenderProtocolTest, FramesCarryRequestsAndRepliesWhole)
{
    TRenderRequest request;
    request.URL = "http://127.0.0.1:8080/app/index.html";
    request.TimeOutMs = 2500;
    request.KeepScripts = true;
    request.Sites = {"127.0.0.1", "www.site.test"};
    request.Cookies = "127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\tv\0x\n"s;
    const std::string frame = PackRequest(request);
    ASSERT_EQ(FrameLength(reinterpret_cast<const unsigned char*>(frame.data())), frame.size() - 4);
    const std::optional<TRenderRequest> read = UnpackRequest(std::string_view(frame).substr(4));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->URL, request.URL);
    EXPECT_EQ(read->TimeOutMs, 2500);
    EXPECT_TRUE(read->KeepScripts);
    EXPECT_EQ(read->Sites, request.Sites);
    EXPECT_EQ(read->Cookies, request.Cookies);

    TRenderReply reply;
    reply.Loaded = true;
    reply.Document = "<html><body>\xC3\xA4</body></html>";
    reply.Requested = {"http://127.0.0.1:8080/api/a.json", "http://127.0.0.2:8080/pixel.png"};
    reply.Blocked = {"http://127.0.0.2:8080/pixel.png"};
    const std::string replyFrame = PackReply(reply);
    const std::optional<TRenderReply> answer = UnpackReply(std::string_view(replyFrame).substr(4));
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->Loaded);
    EXPECT_EQ(answer->Document, reply.Document);
    EXPECT_EQ(answer->Requested, reply.Requested);
    EXPECT_EQ(answer->Blocked, reply.Blocked);

    // Broken frames are refused, never read past their end: a cut field, a field
    // longer than the frame, a request read as a reply, an address with a line end
    // (it would become two).
    EXPECT_FALSE(UnpackReply(std::string_view(replyFrame).substr(4, replyFrame.size() - 6)));
    EXPECT_FALSE(UnpackFields("\x00\x00\x00\x09"
                              "abc"s));
    EXPECT_FALSE(UnpackReply(std::string_view(frame).substr(4)));
    EXPECT_EQ(SplitLines(JoinLines({"a", "b\nc", "d"})), (std::vector<std::string>{"a", "d"}));
}

TEST(HXRenderProtocolTest, RendererLoadsOnlyTheTaskSitesOverTheWeb)
{
    const std::vector<std::string> sites = {"127.0.0.1", "www.site.test"};
    EXPECT_TRUE(RenderAllowed("http://127.0.0.1:8080/api/data.json", sites));
    EXPECT_TRUE(RenderAllowed("https://WWW.Site.test/a.png", sites));
    EXPECT_FALSE(RenderAllowed("http://127.0.0.2:8080/pixel.png", sites));
    EXPECT_FALSE(RenderAllowed("http://tracker.test/www.site.test/x.js", sites));
    EXPECT_FALSE(RenderAllowed("file:///etc/passwd", sites));
    EXPECT_FALSE(RenderAllowed("file://127.0.0.1/etc/passwd", sites));
    EXPECT_FALSE(RenderAllowed("ftp://www.site.test/a", sites));
    EXPECT_FALSE(RenderAllowed("http://www.site.test@evil.test/a", sites));
    EXPECT_FALSE(RenderAllowed("http://127.0.0.1:8080/a", {}));
}

TEST(HXRenderProtocolTest, SavedDocumentDeclaresUtf8FirstAndHasADoctype)
{
    EXPECT_EQ(SavedRenderedDocument("<html><head><meta charset=\"iso-8859-1\"></head><body></body></html>"),
              "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><meta charset=\"iso-8859-1\"></head>"
              "<body></body></html>");
    // A <header> is not the head; a document without a head keeps its text.
    EXPECT_EQ(SavedRenderedDocument("<html><body><header>x</header></body></html>"),
              "<!DOCTYPE html>\n<html><body><header>x</header></body></html>");
    EXPECT_EQ(SavedRenderedDocument("<!doctype html><html><head lang=\"de\"></head></html>"),
              "<!doctype html><html><head lang=\"de\"><meta charset=\"utf-8\"></head></html>");
}

TEST(HXRenderProtocolTest, RequestedAddressesJoinTheQueueUnderTheProfileRules)
{
    TFileTypeGroups groups;
    groups.names = {"HTML", "Images"};
    groups.texts = {".htm;.html;", ".gif;.png;"};
    THXProfile profile;
    profile.PageLocation = kLocationStartSite;
    profile.ResourceLocation = kLocationStartSite;
    profile.Depth = -1;
    profile.ConvertFollowedLinks = 1;
    profile.URLFiltersExclude = {"[RL]tracking"};
    TPageFacts facts;
    facts.URL = "http://www.site.test/app/index.html";
    facts.StartDirectory = "http://www.site.test/app/";
    facts.Level = 1;
    TPageScan scan("<html></html>", facts, profile, groups);
    scan.IsKnown = [](std::string_view url) { return url == "http://www.site.test/app/app.js"; };

    TRendered rendered;
    rendered.Requested = {"http://www.site.test/api/routes.json", "http://www.site.test/img/a.png",
                          "http://www.site.test/app/app.js", "http://www.site.test/tracking/pixel.png",
                          "http://other.test/font.woff2"};
    rendered.QueueRequested(scan);
    std::vector<std::string> queued;
    for (const THXQItem& item : scan.TakeNewItems())
    {
        EXPECT_FALSE(item.IsPage()) << item.URL;
        EXPECT_EQ(item.Level, 2);
        EXPECT_EQ(item.Referrer, facts.URL);
        queued.push_back(item.URL);
    }
    // Known items are not queued twice; the exclude filter and the resource location hold.
    EXPECT_EQ(queued,
              (std::vector<std::string>{"http://www.site.test/api/routes.json", "http://www.site.test/img/a.png"}));
}

class HXRenderStepTest : public test::THXSandboxTest
{
};

TEST_F(HXRenderStepTest, WithoutARendererThePageKeepsItsTextAndSaysWhy)
{
    THXApp app(THXEnvironment::UnderHome(Home().Path().string()));
    THXTask task(app);
    THXProfile profile;
    profile.RenderPages = true;
    TPageFacts facts;
    facts.URL = "http://127.0.0.1:9/index.html";
    facts.StartDirectory = "http://127.0.0.1:9/";
    const std::string fetched = "<html><body><script src=app.js></script></body></html>";

    // A build without Qt WebEngine has no program.
    TRenderStep missing((Home().Path() / "no-such-harbex-render").string());
    EXPECT_FALSE(missing.Available());
    std::string text = fetched;
    TRendered rendered = missing.Render(task, facts, profile, text);
    EXPECT_EQ(text, fetched);
    EXPECT_TRUE(rendered.Requested.empty());
    EXPECT_EQ(rendered.StatusText,
              "Not rendered: " + std::string(kRenderUnavailableText) + "; the fetched text is kept");

    // A program that leaves before its browser is ready is no renderer either; the
    // pool then stops trying for the run.
    TRenderStep failing("/bin/false");
    failing.BeginRun(2);
    rendered = failing.Render(task, facts, profile, text);
    EXPECT_EQ(text, fetched);
    EXPECT_NE(rendered.StatusText.find(kRenderUnavailableText), std::string::npos);
    EXPECT_EQ(failing.Starts(), 1);
    failing.Render(task, facts, profile, text);
    EXPECT_EQ(failing.Starts(), 1);

    // Off in the profile, or a style sheet: nothing is asked.
    profile.RenderPages = false;
    rendered = missing.Render(task, facts, profile, text);
    EXPECT_TRUE(rendered.StatusText.empty());
    profile.RenderPages = true;
    facts.StyleSheet = true;
    EXPECT_TRUE(missing.Render(task, facts, profile, text).StatusText.empty());
}

// A stand-in renderer: says it is ready, notes its process id, then does as told.
std::string FakeRenderer(const test::TTempFolder& folder, const std::string& name, const std::string& then)
{
    const std::string path = folder.WriteFile(name, "#!/bin/sh\necho $$ >> '" + folder.Folder() + name +
                                                        ".pids'\n"
                                                        "printf '\\000\\000\\000\\011\\000\\000\\000\\005ready'\n" +
                                                        then + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

std::vector<int> Pids(const test::TTempFolder& folder, const std::string& name)
{
    std::vector<int> pids;
    std::istringstream lines(folder.ReadFile(name + ".pids"));
    for (int pid = 0; lines >> pid;)
        pids.push_back(pid);
    return pids;
}

TEST(HXRenderPoolTest, HungOrCrashedRendererIsEndedAndStartedAgainOnce)
{
    test::TTempFolder folder;
    TRenderRequest request;
    request.URL = "http://127.0.0.1:9/";
    request.TimeOutMs = 100;
    TRenderReply reply;

    // No answer within the time out and grace: ended (its process gone), started
    // again for the next page, given up after the second failure.
    THXRenderPool hanging(FakeRenderer(folder, "hang.sh", "exec sleep 60"), 1, 200);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(hanging.Render(request, reply), TRenderOutcome::Hung);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
    EXPECT_EQ(hanging.Render(request, reply), TRenderOutcome::Hung);
    EXPECT_EQ(hanging.Render(request, reply), TRenderOutcome::GivenUp);
    EXPECT_EQ(hanging.Starts(), 2);
    const std::vector<int> pids = Pids(folder, "hang.sh");
    ASSERT_EQ(pids.size(), 2u);
    for (const int pid : pids)
        EXPECT_NE(::kill(pid, 0), 0) << pid;

    // One that leaves while rendering: the same.
    THXRenderPool crashing(FakeRenderer(folder, "crash.sh", "exit 3"), 1, 5000);
    EXPECT_EQ(crashing.Render(request, reply), TRenderOutcome::Crashed);
    EXPECT_EQ(crashing.Render(request, reply), TRenderOutcome::Crashed);
    EXPECT_EQ(crashing.Render(request, reply), TRenderOutcome::GivenUp);
    EXPECT_EQ(crashing.Starts(), 2);
}

TEST(HXRenderPoolTest, StoppedPoolAnswersAtOnce)
{
    THXRenderPool pool("/bin/cat", 1);
    pool.Stop();
    TRenderRequest request;
    request.URL = "http://127.0.0.1:9/";
    TRenderReply reply;
    EXPECT_EQ(pool.Render(request, reply), TRenderOutcome::Stopped);
    EXPECT_EQ(pool.Starts(), 0);
}

} // namespace
} // namespace hx
