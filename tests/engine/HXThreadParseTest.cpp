#include "engine/HXThreadParse.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/HXApp.h"
#include "core/HXEncoding.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXOwner.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "engine/HXParser.h"
#include "engine/HXThreadParseRewrite.h"
#include "engine/HXThreadParseScan.h"
#include "engine/HXThreadParseStyle.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

using namespace std::chrono_literals;

// The waits of a test worker: no status waits, short sleeps.
TParsePacing FastPacing()
{
    TParsePacing pacing;
    pacing.SleepStep = 1ms;
    pacing.SleepSteps = 2;
    pacing.StatusWait = 0ms;
    pacing.ProgressInterval = 0ms;
    return pacing;
}

class TRecordingStatus : public THXParseStatus
{
public:
    void ShowStatus(const std::string& text) override
    {
        texts.push_back(text);
        if (onShow)
            onShow(text);
    }
    void PageNotSaved(const std::string& localFile) override { notSaved.push_back(localFile); }

    std::vector<std::string> texts;
    std::vector<std::string> notSaved;
    std::function<void(const std::string&)> onShow;
};

std::string ReadBytes(const std::string& path)
{
    return ReadWholeFile(path).value_or("<missing>");
}

// Percent-decodes a link written into a saved page and resolves it against the page's
// folder the way a browser resolves a relative link to a local file.
std::string ResolveLocal(const std::string& folder, std::string_view link)
{
    link = link.substr(0, link.find('#'));
    std::string decoded;
    for (std::size_t i = 0; i < link.size(); ++i)
    {
        if (link[i] == '%' && i + 2 < link.size() && std::isxdigit(static_cast<unsigned char>(link[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(link[i + 2])))
        {
            decoded += static_cast<char>(std::stoi(std::string(link.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        }
        else
        {
            decoded += link[i];
        }
    }
    return std::filesystem::path(folder + decoded).lexically_normal().string();
}

// A link that a saved page resolves locally: not absolute, not a fragment or script.
bool IsLocalLink(std::string_view link)
{
    if (link.empty() || link.front() == '#' || link.front() == '/')
        return false;
    const std::size_t colon = link.find(':');
    return colon == std::string_view::npos || link.find('/') < colon;
}

struct TSavedLink
{
    std::string value;
    std::string folder; // what the page resolves it against
};

// Every link value of a saved page, by the tag table and the quoted-text scans, with
// the folder it is read from (an applet's CODE from its CODEBASE).
std::vector<TSavedLink> SavedLinks(const std::string& text, const std::string& pageFolder)
{
    std::vector<TSavedLink> links;
    for (const TTagTableRow& row : kTagTable)
    {
        THXParser parser(text, std::string(row.tag), ">", std::string(row.attribute), THXParser::kTagMode);
        do
        {
            const std::string value = parser.FindNext();
            if (value.empty())
                continue;
            std::string folder = pageFolder;
            if (row.attribute == "CODE")
            {
                const std::string codeBase = parser.FindOtherAttribute("CODEBASE");
                if (!codeBase.empty())
                    folder = ResolveLocal(pageFolder, codeBase) + "/";
            }
            links.push_back({value, folder});
        } while (parser.NextFrom != 0 && parser.Cursor != 0);
    }
    for (const char* quote : {"'", "\""})
    {
        THXParser parser(text, quote, quote, "", THXParser::kQuotedEverywhere);
        do
        {
            const std::string value = parser.FindNext();
            if (!value.empty())
                links.push_back({value, pageFolder});
        } while (parser.NextFrom != 0 && parser.Cursor != 0);
    }
    return links;
}

class HXThreadParseTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
        WriteGroup(app->Store(), "HTML", ".htm;.html;.asp;.php;.cgi;");
        WriteGroup(app->Store(), "Images", ".gif;.jpg;.png;.ico;");
        WriteGroup(app->Store(), "Audio", ".mid;.wav;");
        WriteGroup(app->Store(), "Documents", ".pdf;.txt;");
        WriteGroup(app->Store(), "Scripts and Style Sheets", ".js;.css;.class;.xml;");
        task = NewTask(true);
    }

    void TearDown() override
    {
        app->SetOwner(nullptr);
        task.reset();
        app.reset();
        test::THXSandboxTest::TearDown();
    }

    std::shared_ptr<THXTask> NewTask(bool intranet)
    {
        auto created = std::make_shared<THXTask>(*app);
        created->Name = "Site";
        created->FileName = app->TasksFolder() + "General/Site.hxt";
        created->IntranetMode = intranet;
        created->Destination = intranet ? Home().Folder() + "My Intranet/Site/" : Home().Folder() + "Site.zip";
        THXProfile& profile = created->Profile;
        profile.PageLocation = kLocationStartSite;
        profile.ResourceLocation = kLocationAnywhere;
        profile.Depth = -1;
        profile.AggressiveParser = 1;
        profile.ConvertFollowedLinks = 1;
        profile.ConvertUnfollowedLinks = 1;
        return created;
    }

    // Adds an item as the transfer leaves it: fetched and saved where LocalFileName says.
    THXQItem* AddItem(const std::string& url, int state, int level = 0, const std::string* text = nullptr,
                      int mode = kModeDownload, const std::string& frameFlag = "")
    {
        THXQItem item(task.get());
        item.URL = url;
        item.BaseURL = DirectoryURL(url);
        item.Group = GroupOfURL(app->Store(), url);
        item.State = state;
        item.Level = level;
        item.Mode = mode;
        item.FrameFlag = frameFlag;
        item.LocalFile = LocalFileName(task->WorkingFolder(), item.BaseURL, url);
        if (text)
        {
            std::filesystem::create_directories(std::filesystem::path(item.LocalFile).parent_path());
            std::ofstream(item.LocalFile, std::ios::binary) << *text;
        }
        return task->AddItem(std::move(item));
    }

    THXQItem* AddPage(const std::string& url, const std::string& text, int level = 0, int mode = kModeDownload,
                      const std::string& frameFlag = "")
    {
        return AddItem(url, kStateSaved, level, &text, mode, frameFlag);
    }

    int StateOf(const THXQItem& item) { return std::atoi(task->RecordField(item.Index / 2, 0).c_str()); }

    // The items from the given pair on, one line each.
    std::string QueueText(int firstPair)
    {
        std::ostringstream text;
        for (int pair = firstPair; pair < task->ItemCount(); ++pair)
        {
            const THXQItem* item = task->Item(pair);
            text << Cp1252ToUtf8(task->QueueLine(2 * pair)) << " | " << item->Group << " | level "
                 << task->RecordField(pair, 4) << " | mode " << task->RecordField(pair, 7) << " | state "
                 << task->RecordField(pair, 0) << " | frame '" << task->RecordField(pair, 10) << "' | title '"
                 << task->RecordField(pair, 8) << "' | base " << item->BaseURL << " | from "
                 << task->RecordField(pair, 5) << "\n";
        }
        return text.str();
    }

    // Every queued item from the given pair on has a link in the saved page that leads to
    // its local file; every local link of the page stays inside the working folder.
    void CheckLinksLeadToLocalFiles(const THXQItem& page, int firstPair)
    {
        const std::string root = std::filesystem::path(task->WorkingFolder()).lexically_normal().string();
        const std::string folder = ExtractFilePath(page.LocalFile);
        std::map<std::string, std::string> reached; // local file -> link
        for (const TSavedLink& link : SavedLinks(ReadBytes(page.LocalFile), folder))
        {
            if (!IsLocalLink(link.value))
                continue;
            const std::string target = ResolveLocal(link.folder, link.value);
            EXPECT_TRUE(target.starts_with(root)) << link.value << " leaves the working folder: " << target;
            reached.emplace(target, link.value);
        }
        for (int pair = firstPair; pair < task->ItemCount(); ++pair)
        {
            const THXQItem* item = task->Item(pair);
            const std::string url = Cp1252ToUtf8(task->QueueLine(2 * pair));
            const std::string file = LocalFileName(task->WorkingFolder(), item->BaseURL, url);
            EXPECT_TRUE(reached.contains(std::filesystem::path(file).lexically_normal().string()))
                << "no link of the saved page leads to " << file << " (" << url << ")";
        }
    }

    std::unique_ptr<THXApp> app;
    std::shared_ptr<THXTask> task;
};

TEST_F(HXThreadParseTest, ParsePageRewritesSavesAndQueues)
{
    const std::string page = "<html><head><title>Start \xE9t\xE9</title><base href=\"http://www.site.test/docs/\">"
                             "</head>\n<body><a href=\"a.htm\">A page</a><img src=\"../img/x.gif\">\n"
                             "<a href=\"http://www.site.test/docs/a.htm#top\">again</a></body></html>";
    THXQItem* start = AddPage("http://www.site.test/docs/index.htm", page);
    TRecordingStatus status;
    TThreadParse worker(*app, FastPacing());
    worker.SetTask(task);
    worker.SetStatusView(&status);

    EXPECT_EQ(worker.ParsePage(*start), TParseOutcome::Parsed);
    EXPECT_EQ(StateOf(*start), kStateParsed);
    EXPECT_EQ(start->State, kStateParsed);
    EXPECT_EQ(task->RecordField(0, 8), "Start \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(task->StartPageTitle, "Start \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(task->ZipPendingCount(), 0); // intranet mode

    // The saved page: CR LF line ends, no BASE, local links, and no banner while no
    // banner page is set.
    const std::string saved = ReadBytes(start->LocalFile);
    EXPECT_EQ(saved.find("<base"), std::string::npos);
    EXPECT_TRUE(saved.ends_with("</head>\r\n<body><a href=\"a.htm\">A page</a>"
                                "<img src=\"../img/x.gif\">\r\n<a href=\"a.htm#top\">again</a></body></html>\r\n"))
        << saved;
    EXPECT_EQ(saved.find("iframe"), std::string::npos) << saved;

    EXPECT_EQ(QueueText(1),
              "http://www.site.test/docs/a.htm | HTML | level 1 | mode 1 | state 0 | frame '' | title 'A page' | "
              "base http://www.site.test/docs/ | from http://www.site.test/docs/index.htm\n"
              "http://www.site.test/img/x.gif | Images | level 1 | mode 1 | state 0 | frame '' | title '' | "
              "base http://www.site.test/docs/ | from http://www.site.test/docs/index.htm\n");
    EXPECT_EQ(task->TotalPages, 2);
    EXPECT_EQ(task->TotalResources, 1);
    CheckLinksLeadToLocalFiles(*start, 1);

    const std::string file = start->LocalFile;
    EXPECT_EQ(status.texts.front(), "Loading Page: " + file);
    EXPECT_NE(std::find(status.texts.begin(), status.texts.end(), "Parsing... Links: 1  New Links: 1"),
              status.texts.end());
    EXPECT_NE(std::find(status.texts.begin(), status.texts.end(), "Saving Changes: " + file), status.texts.end());
    EXPECT_EQ(status.texts.back(), "");
    EXPECT_TRUE(status.notSaved.empty());

    // A deeper page's title only becomes its own; a page already parsed is not parsed again.
    THXQItem* deeper = AddPage("http://www.site.test/docs/b.htm", "<title>Deeper</title>", 1);
    EXPECT_EQ(worker.ParsePage(*deeper), TParseOutcome::Parsed);
    EXPECT_EQ(task->RecordField(deeper->Index / 2, 8), "Deeper");
    EXPECT_EQ(task->StartPageTitle, "Start \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(worker.ParsePage(*deeper), TParseOutcome::Abandoned);
}

TEST_F(HXThreadParseTest, MissingEmptyFramedAndZipModePages)
{
    task = NewTask(false);
    THXQItem* start = AddPage("http://www.site.test/", "<body><a href=\"x.htm\">x</a></body>");
    THXQItem* missing = AddItem("http://www.site.test/gone.htm", kStateSaved, 1);
    THXQItem* empty = AddPage("http://www.site.test/empty.htm", "", 1);
    THXQItem* frame = AddPage("http://www.site.test/menu.htm", "<body>menu</body>", 1, kModeDownload, "Y");
    THXQItem* noName = AddItem("http://www.site.test/noname.htm", kStateSaved, 1);
    noName->LocalFile.clear();
    const int savedBefore = task->PagesSaved = 5;
    app->SetBannerPage("http://ads.test/b468_60.htm");
    TThreadParse worker(*app, FastPacing());
    worker.SetTask(task);

    // A vanished file sends the page back to be fetched (and out of the saved count).
    EXPECT_EQ(worker.ParsePage(*missing), TParseOutcome::Refetch);
    EXPECT_EQ(StateOf(*missing), kStateNone);
    EXPECT_EQ(task->PagesSaved, savedBefore - 1);
    EXPECT_EQ(worker.ParsePage(*noName), TParseOutcome::Refetch);
    // A file without text is taken as it is, so the task can complete.
    EXPECT_EQ(worker.ParsePage(*empty), TParseOutcome::Empty);
    EXPECT_EQ(StateOf(*empty), kStateParsed);
    EXPECT_EQ(ReadBytes(empty->LocalFile), "");
    // Framed pages get no banner; pages of a Zip task are handed to the archive.
    EXPECT_EQ(worker.ParsePage(*frame), TParseOutcome::Parsed);
    EXPECT_EQ(ReadBytes(frame->LocalFile), "<body>menu</body>\r\n");
    EXPECT_EQ(worker.ParsePage(*start), TParseOutcome::Parsed);
    const std::string startSaved = ReadBytes(start->LocalFile);
    EXPECT_NE(startSaved.find("<body>\r\n" + AdBannerBlock("http://ads.test/b468_60.htm")), std::string::npos)
        << startSaved;
    EXPECT_NE(startSaved.find(AdBannerLayer("http://ads.test/b468_60.htm") + "</body>"), std::string::npos)
        << startSaved;
    const std::vector<TZipPendingFile> pending = task->TakeAllZipPending();
    ASSERT_EQ(pending.size(), 3u);
    EXPECT_EQ(pending[0].item, empty);
    EXPECT_EQ(pending[1].path, frame->LocalFile);
    EXPECT_EQ(pending[2].item, start);
    EXPECT_TRUE(start->LocalFile.starts_with(app->GetTempFolder()));

    // With "No Ads" on, no page gets a banner.
    app->SetNoAds(true);
    app->SetBannerPage("http://ads.test/");
    THXQItem* plain = AddPage("http://www.site.test/plain.htm", "<body>x</body>", 1);
    EXPECT_EQ(worker.ParsePage(*plain), TParseOutcome::Parsed);
    EXPECT_EQ(ReadBytes(plain->LocalFile), "<body>x</body>\r\n");
    app->SetNoAds(false);
    THXQItem* ads = AddPage("http://www.site.test/ads.htm", "<body>x</body>", 1);
    EXPECT_EQ(worker.ParsePage(*ads), TParseOutcome::Parsed);
    EXPECT_NE(ReadBytes(ads->LocalFile).find("src=\"http://ads.test/\""), std::string::npos);
    // "No Ads" off but the banner page emptied again: the page is saved without a frame.
    app->SetBannerPage("");
    THXQItem* bare = AddPage("http://www.site.test/bare.htm", "<body>x</body>", 1);
    EXPECT_EQ(worker.ParsePage(*bare), TParseOutcome::Parsed);
    EXPECT_EQ(ReadBytes(bare->LocalFile), "<body>x</body>\r\n");
}

// A page larger than the "Max Page Size" setting (megabytes) is not loaded: it stays as
// it was fetched, is marked parsed with a status text saying why, and its links are not
// followed. A page of exactly that size is parsed as usual.
TEST_F(HXThreadParseTest, PagesAboveTheMaxPageSizeAreKeptAsFetched)
{
    task = NewTask(false);
    app->Store().WriteInteger(kSettingsKey, "Max Page Size", 1);
    const std::size_t limit = 1024 * 1024;
    const auto pageOf = [](const std::string& link, std::size_t size)
    {
        std::string text = "<html><body><a href=\"" + link + "\">x</a>\n";
        const std::string end = "</body></html>";
        text.append(size - text.size() - end.size(), 'p');
        return text + end;
    };
    THXQItem* big = AddPage("http://www.site.test/big", pageOf("from-big.htm", limit + 1));
    THXQItem* fits = AddPage("http://www.site.test/fits.htm", pageOf("from-fits.htm", limit), 1);
    const int itemsBefore = task->ItemCount();
    TRecordingStatus status;
    TThreadParse worker(*app, FastPacing());
    worker.SetTask(task);
    worker.SetStatusView(&status);

    EXPECT_EQ(worker.ParsePage(*big), TParseOutcome::TooLarge);
    EXPECT_EQ(StateOf(*big), kStateParsed);
    EXPECT_TRUE(ReadBytes(big->LocalFile) == pageOf("from-big.htm", limit + 1)) << "the page was changed";
    EXPECT_EQ(task->ItemCount(), itemsBefore);
    EXPECT_EQ(task->RecordField(big->Index / 2, 1), "Not parsed: larger than Max Page Size (1 MB)");
    const std::string told = "Page not parsed, larger than Max Page Size (1 MB): " + big->LocalFile;
    EXPECT_NE(std::find(status.texts.begin(), status.texts.end(), told), status.texts.end());
    // Offered no more in this run, and handed to the archive like any page.
    EXPECT_EQ(worker.ParsePage(*big), TParseOutcome::Abandoned);

    EXPECT_EQ(worker.ParsePage(*fits), TParseOutcome::Parsed);
    EXPECT_EQ(task->ItemCount(), itemsBefore + 1);
    EXPECT_EQ(task->QueueLine(2 * itemsBefore), "http://www.site.test/from-fits.htm");
    const std::vector<TZipPendingFile> pending = task->TakeAllZipPending();
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].item, big);
    EXPECT_EQ(pending[1].item, fits);
}

// Files written by the process may not grow past a limit: every save of a larger page
// fails as it does on a full disk, whatever the user's rights.
class TFileSizeLimit
{
public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
};

// Pumps the owner loop on this (the owner) thread until the condition holds.
bool PumpUntil(THXEventLoopOwner& loop, const std::function<bool()>& done, std::chrono::milliseconds limit = 20s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        loop.ProcessPending(2ms);
    }
    return true;
}

void PumpFor(THXEventLoopOwner& loop, std::chrono::milliseconds time)
{
    const auto until = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < until)
        loop.ProcessPending(1ms);
}

TEST_F(HXThreadParseTest, PageThatCannotBeWrittenIsReportedOnceAndNotOfferedAgain)
{
    app->SetNoAds(true);
    const std::string big = "<body><a href=\"a.htm\">a</a>" + std::string(64 * 1024, 'x') + "</body>";
    THXQItem* large = AddPage("http://www.site.test/", big);
    THXQItem* small = AddPage("http://www.site.test/small.htm", "<a href=\"b.htm\">b</a>", 1);
    const std::string before = ReadBytes(large->LocalFile);
    TRecordingStatus status;

    THXEventLoopOwner loop;
    app->SetOwner(&loop);
    {
        const TFileSizeLimit limit(4096);
        TThreadParse worker(*app, FastPacing());
        worker.SetTask(task);
        worker.SetStatusView(&status);
        worker.Resume();
        ASSERT_TRUE(PumpUntil(loop, [&] { return small->State == kStateParsed; }));
        // The loop keeps running: the refused page is not offered again in this run.
        PumpFor(loop, 200ms);
        EXPECT_EQ(status.notSaved, std::vector<std::string>{large->LocalFile});
        EXPECT_EQ(large->State, kStateSaved);
        EXPECT_EQ(StateOf(*large), kStateSaved);
        EXPECT_EQ(ReadBytes(large->LocalFile), before);
        // Its links were queued all the same.
        EXPECT_TRUE(task->IsKnownURL("http://www.site.test/a.htm"));
        EXPECT_TRUE(task->IsKnownURL("http://www.site.test/b.htm"));

        // A new run offers it again (and it fails again).
        worker.Halt();
        ASSERT_TRUE(PumpUntil(loop, [&] { return worker.Paused(); }));
        worker.Resume();
        ASSERT_TRUE(PumpUntil(loop, [&] { return status.notSaved.size() == 2; }));
        PumpFor(loop, 100ms);
        EXPECT_EQ(status.notSaved.size(), 2u);
    }
    loop.ProcessPending();
    // Without the limit the page is saved at the next run.
    TThreadParse worker(*app, FastPacing());
    worker.SetTask(task);
    worker.Resume();
    ASSERT_TRUE(PumpUntil(loop, [&] { return large->State == kStateParsed; }));
}

TEST_F(HXThreadParseTest, LoopParsesSavedPagesInQueueOrderAndHaltsAndResumes)
{
    THXQItem* start = AddPage("http://www.site.test/", "<a href=\"one.htm\">1</a><a href=\"two.htm\">2</a>");
    THXEventLoopOwner loop;
    app->SetOwner(&loop);
    TRecordingStatus status;
    TThreadParse worker(*app, FastPacing());
    worker.SetTask(task);
    worker.SetStatusView(&status);
    // Created halted: nothing happens before Resume.
    ASSERT_TRUE(PumpUntil(loop, [&] { return worker.Paused(); }));
    PumpFor(loop, 50ms);
    EXPECT_EQ(start->State, kStateSaved);

    worker.Resume();
    ASSERT_TRUE(PumpUntil(loop, [&] { return start->State == kStateParsed; }));
    EXPECT_EQ(task->ItemCount(), 3);

    // The transfer saves the two pages; the worker parses them in queue order.
    THXQItem* one = task->Item(1);
    THXQItem* two = task->Item(2);
    std::vector<std::string> order;
    status.onShow = [&](const std::string& text)
    {
        if (text.starts_with("Loading Page: "))
            order.push_back(text.substr(14));
    };
    // Prepared while the worker is paused, the later page first.
    worker.Halt();
    ASSERT_TRUE(PumpUntil(loop, [&] { return worker.Paused(); }));
    for (THXQItem* item : {two, one})
    {
        task->ReloadItem(*item);
        item->LocalFile = LocalFileName(task->WorkingFolder(), item->BaseURL, item->URL);
        std::ofstream(item->LocalFile, std::ios::binary) << "<title>" << item->URL << "</title>";
        task->SetItemState(*item, kStateSaved);
        task->CommitItem(*item, true);
    }
    worker.Resume();
    ASSERT_TRUE(PumpUntil(loop, [&] { return worker.PagesDone() == 3; }));
    EXPECT_EQ(one->State, kStateParsed);
    EXPECT_EQ(two->State, kStateParsed);
    EXPECT_EQ(order, (std::vector<std::string>{one->LocalFile, two->LocalFile}));

    // Halted: a saved page waits until the worker is resumed.
    worker.Halt();
    EXPECT_TRUE(worker.Halted());
    ASSERT_TRUE(PumpUntil(loop, [&] { return worker.Paused(); }));
    THXQItem* three = AddPage("http://www.site.test/three.htm", "<title>3</title>", 1);
    PumpFor(loop, 100ms);
    EXPECT_EQ(three->State, kStateSaved);
    worker.Resume();
    ASSERT_TRUE(PumpUntil(loop, [&] { return three->State == kStateParsed; }));
    EXPECT_EQ(task->RecordField(three->Index / 2, 8), "3");
}

TEST_F(HXThreadParseTest, FetchedStyleSheetsAreRewrittenOnceAndStayFetchedResources)
{
    THXQItem* start = AddPage("http://www.site.test/docs/index.htm", "<link rel=\"stylesheet\" href=\"css/site.css\">");
    const std::string sheetText = "@import url(theme.css);\n.a { background: url(\"../img/a.gif\") }\n"
                                  ".b { background: url(http://www.site.test/img/b.gif?v=2) }\n";
    THXEventLoopOwner loop;
    app->SetOwner(&loop);
    TThreadParse worker(*app, FastPacing());
    worker.SetTask(task);
    worker.Resume();
    ASSERT_TRUE(PumpUntil(loop, [&] { return start->State == kStateParsed; }));
    ASSERT_EQ(task->ItemCount(), 2);
    THXQItem* sheet = task->Item(1);
    EXPECT_FALSE(sheet->IsPage());
    EXPECT_FALSE(worker.PageWaiting(*task));

    // The transfer saves the sheet: it waits for the worker, which follows its links
    // against the sheet's own address and rewrites them; the sheet stays fetched.
    worker.Halt();
    ASSERT_TRUE(PumpUntil(loop, [&] { return worker.Paused(); }));
    task->ReloadItem(*sheet);
    sheet->LocalFile = LocalFileName(task->WorkingFolder(), DirectoryURL(sheet->URL), sheet->URL);
    std::filesystem::create_directories(std::filesystem::path(sheet->LocalFile).parent_path());
    std::ofstream(sheet->LocalFile, std::ios::binary) << sheetText;
    task->SetItemState(*sheet, kStateSaved);
    task->CommitItem(*sheet, true);
    EXPECT_TRUE(worker.PageWaiting(*task));
    const int doneBefore = worker.PagesDone();
    worker.Resume();
    ASSERT_TRUE(PumpUntil(loop, [&] { return worker.PagesDone() == doneBefore + 1; }));
    EXPECT_EQ(StateOf(*sheet), kStateSaved);
    EXPECT_FALSE(worker.PageWaiting(*task));
    std::vector<std::string> queued;
    for (int pair = 2; pair < task->ItemCount(); ++pair)
        queued.push_back(Cp1252ToUtf8(task->QueueLine(2 * pair)));
    EXPECT_EQ(queued,
              (std::vector<std::string>{"http://www.site.test/docs/css/theme.css",
                                        "http://www.site.test/docs/img/a.gif", "http://www.site.test/img/b.gif?v=2"}));
    EXPECT_EQ(task->RecordField(2, 4), "2"); // one level below the sheet
    const std::string rewritten = ReadBytes(sheet->LocalFile);
    EXPECT_EQ(rewritten, "@import url(theme.css);\n.a { background: url(\"../img/a.gif\") }\n"
                         ".b { background: url(../../img/b.gif%C2%BFv=2.html) }\n" +
                             std::string(kSheetRewrittenMark))
        << rewritten;

    // The next run finds the sheet fetched as before and leaves its local links alone.
    PumpFor(loop, 50ms);
    worker.Halt();
    ASSERT_TRUE(PumpUntil(loop, [&] { return worker.Paused(); }));
    const int itemsBefore = task->ItemCount();
    const int doneAfterFirst = worker.PagesDone();
    worker.Resume();
    ASSERT_TRUE(PumpUntil(loop, [&] { return worker.PagesDone() == doneAfterFirst + 1; }));
    EXPECT_EQ(ReadBytes(sheet->LocalFile), rewritten);
    EXPECT_EQ(task->ItemCount(), itemsBefore);
    EXPECT_FALSE(worker.PageWaiting(*task));
}

TEST_F(HXThreadParseTest, HaltDuringAPageGivesItUpUnchanged)
{
    std::string page;
    for (int i = 0; i < 2000; ++i)
        page += "<a href=\"p" + std::to_string(i) + ".htm\">" + std::to_string(i) + "</a>\n";
    THXQItem* start = AddPage("http://www.site.test/", page);
    const std::string before = ReadBytes(start->LocalFile);
    THXEventLoopOwner loop;
    app->SetOwner(&loop);
    TRecordingStatus status;
    TThreadParse worker(*app, FastPacing());
    // The stop comes from the owner thread while it shows the worker's progress.
    int queuedAtHalt = -1;
    status.onShow = [&](const std::string& text)
    {
        if (text.starts_with("Parsing...") && queuedAtHalt < 0 && task->ItemCount() > 10)
        {
            worker.Halt();
            queuedAtHalt = task->ItemCount();
        }
    };
    worker.SetTask(task);
    worker.SetStatusView(&status);
    worker.Resume();
    ASSERT_TRUE(PumpUntil(loop, [&] { return queuedAtHalt > 0 && worker.Paused(); }));
    PumpFor(loop, 50ms);
    // Nothing the worker hands over after the halt is applied.
    EXPECT_EQ(task->ItemCount(), queuedAtHalt);
    EXPECT_LT(queuedAtHalt, 2001);
    EXPECT_EQ(start->State, kStateSaved);
    EXPECT_EQ(ReadBytes(start->LocalFile), before);
    EXPECT_EQ(worker.PagesDone(), 0);

    // Resumed, the page is parsed from the start; what was queued is not queued twice.
    status.onShow = nullptr;
    worker.Resume();
    ASSERT_TRUE(PumpUntil(loop, [&] { return start->State == kStateParsed; }));
    EXPECT_EQ(task->ItemCount(), 2001);
}

TEST_F(HXThreadParseTest, EndingNeverWaitsOnAPausedSleepingOrWaitingWorker)
{
    THXEventLoopOwner loop;
    app->SetOwner(&loop);
    TParsePacing slow;
    slow.SleepStep = 10s;
    slow.StatusWait = 10s;
    const auto timed = [](const std::function<void()>& action)
    {
        const auto start = std::chrono::steady_clock::now();
        action();
        return std::chrono::steady_clock::now() - start;
    };

    // Paused (created halted).
    auto paused = std::make_unique<TThreadParse>(*app, slow);
    ASSERT_TRUE(PumpUntil(loop, [&] { return paused->Paused(); }));
    EXPECT_LT(timed([&] { paused.reset(); }), 2s);

    // Sleeping between pages (no task, nothing to parse).
    auto sleeping = std::make_unique<TThreadParse>(*app, slow);
    sleeping->Resume();
    std::this_thread::sleep_for(20ms);
    EXPECT_LT(timed([&] { sleeping.reset(); }), 2s);

    // Waiting for a hand-over the owner thread never runs (this thread is busy ending it),
    // and waiting out a status wait.
    THXQItem* start = AddPage("http://www.site.test/", "<a href=\"x.htm\">x</a>");
    for (const bool serveOne : {false, true})
    {
        auto waiting = std::make_unique<TThreadParse>(*app, slow);
        waiting->SetTask(task);
        waiting->Resume();
        if (serveOne)
        {
            // Exactly one hand-over: PumpUntil would serve more between its checks.
            const auto deadline = std::chrono::steady_clock::now() + 20s;
            while (loop.ProcessPending(1ms) == 0)
                ASSERT_LT(std::chrono::steady_clock::now(), deadline);
        }
        std::this_thread::sleep_for(20ms);
        EXPECT_LT(timed([&] { waiting.reset(); }), 2s);
        // The abandoned hand-over runs later and does nothing.
        loop.ProcessPending(10ms);
        EXPECT_EQ(start->State, kStateSaved);
        EXPECT_EQ(task->ItemCount(), 1);
    }
}

// Ending the worker at any moment of its work, many times over: no hang, no crash, and
// the page is either untouched or completely parsed.
TEST_F(HXThreadParseTest, ShutdownRaceRepeated)
{
    const std::string page = "<title>T</title><a href=\"a.htm\">a</a><img src=\"i.gif\"><body>b</body>";
    THXQItem* start = AddPage("http://www.site.test/", page);
    const std::string original = ReadBytes(start->LocalFile);
    THXEventLoopOwner loop;
    app->SetOwner(&loop);
    std::string parsed;
    std::mt19937 random(3);
    int completed = 0;
    const auto began = std::chrono::steady_clock::now();
    for (int round = 0; round < 1500; ++round)
    {
        {
            TThreadParse worker(*app, FastPacing());
            worker.SetTask(task);
            if (random() % 4 != 0)
                worker.Resume();
            // Ended at once, after a few hand-overs, or after the page is done.
            const unsigned how = random() % 4;
            for (int pumps = how == 0 ? 0 : static_cast<int>(random() % 60); pumps > 0; --pumps)
                loop.ProcessPending(std::chrono::milliseconds(random() % 2));
            if (how == 3 && !worker.Halted())
            {
                ASSERT_TRUE(PumpUntil(loop, [&] { return start->State == kStateParsed; }));
            }
            if (random() % 3 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 300));
            if (random() % 5 == 0)
                worker.Halt();
        }
        loop.ProcessPending();
        const std::string now = ReadBytes(start->LocalFile);
        if (start->State == kStateParsed)
        {
            ++completed;
            if (parsed.empty())
                parsed = now;
            ASSERT_EQ(now, parsed);
            // Back to saved for the next round, with the fetched text.
            std::ofstream(start->LocalFile, std::ios::binary | std::ios::trunc) << page;
            task->SetItemState(*start, kStateSaved);
            task->CommitItem(*start, true);
        }
        else
        {
            ASSERT_EQ(start->State, kStateSaved);
            ASSERT_EQ(now, original);
        }
        ASSERT_LE(task->ItemCount(), 3);
    }
    EXPECT_GT(completed, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - began, 120s);
}

// Realistic pages: their queues and saved text are compared with the expected files
// beside them (HX_UPDATE_FIXTURES=1 writes the actual output there for review).
struct TFixture
{
    const char* name;
    const char* pageURL;
    const char* startURL; // the queue's first item; the page itself when empty
    int level;
    int mode;
    const char* frameFlag;
    bool intranet;
    bool noAds;
    std::function<void(THXProfile&)> profile;
};

TEST_F(HXThreadParseTest, FixturePagesGiveTheirExpectedQueuesAndOutput)
{
    const std::vector<TFixture> fixtures = {
        {"blog", "http://www.gardenblog.test/2009/03/spring-garden.html", "", 0, kModeDownload, "", true, false,
         [](THXProfile&) {}},
        {"frameset", "http://docs.example.test/manual/index.htm", "", 0, kModeDownload, "", true, false,
         [](THXProfile& p) { p.Depth = 0; }},
        {"imagemap", "http://www.museum.test/floorplan/index.html", "http://www.museum.test/floorplan/", 1, kModeMap,
         "Y", true, false, [](THXProfile& p) { p.PageLocation = kLocationStartDirectory; }},
        {"basescript", "http://shop.example.test/catalog/item.php?id=7", "http://shop.example.test/catalog/", 2,
         kModeUpdate, "", false, true, [](THXProfile& p) { p.ConvertUnfollowedLinks = 2; }},
    };
    const std::string folder = HX_ENGINE_FIXTURES "/";
    const bool update = std::getenv("HX_UPDATE_FIXTURES") != nullptr;
    for (const TFixture& fixture : fixtures)
    {
        SCOPED_TRACE(fixture.name);
        task = NewTask(fixture.intranet);
        fixture.profile(task->Profile);
        app->SetNoAds(fixture.noAds);
        app->SetBannerPage("http://ads.test/b468_60.htm");
        const std::string text = ReadBytes(folder + fixture.name + ".htm");
        int firstNew = 1;
        if (*fixture.startURL)
        {
            AddItem(fixture.startURL, kStateParsed);
            firstNew = 2;
        }
        THXQItem* page = AddPage(fixture.pageURL, text, fixture.level, fixture.mode, fixture.frameFlag);
        TThreadParse worker(*app, FastPacing());
        worker.SetTask(task);
        ASSERT_EQ(worker.ParsePage(*page), TParseOutcome::Parsed);

        const std::string queue = QueueText(firstNew);
        const std::string saved = ReadBytes(page->LocalFile);
        if (update)
        {
            std::ofstream(folder + fixture.name + ".queue", std::ios::binary) << queue;
            std::ofstream(folder + fixture.name + ".saved.htm", std::ios::binary) << saved;
        }
        EXPECT_EQ(queue, ReadBytes(folder + fixture.name + ".queue"));
        EXPECT_EQ(saved, ReadBytes(folder + fixture.name + ".saved.htm"));
        CheckLinksLeadToLocalFiles(*page, firstNew);
        EXPECT_EQ(task->ZipPendingCount(), fixture.intranet ? 0 : 1);
    }
}

// ---- Fast pacing: texts shown with the hand-overs, the page read and written on the worker ----

// The owner thread as the worker sees it: counts the worker's trips to it (calls handed
// over from another thread) and can hold one trip back until the test lets it through.
class TCountingOwner final : public THXOwnerThread
{
public:
    explicit TCountingOwner(THXEventLoopOwner& loop)
        : m_loop(loop)
    {
    }

    void Invoke(const std::function<void()>& fn) override
    {
        if (!m_loop.IsOwnerThread())
            ++m_trips;
        m_loop.Invoke(fn);
    }
    void Post(std::function<void()> fn) override
    {
        if (m_loop.IsOwnerThread())
        {
            m_loop.Post(std::move(fn));
            return;
        }
        const int trip = ++m_trips;
        {
            std::lock_guard lock(m_mutex);
            if (trip == m_holdTrip)
            {
                m_held.push_back(std::move(fn));
                return;
            }
        }
        m_loop.Post(std::move(fn));
    }
    bool IsOwnerThread() const override { return m_loop.IsOwnerThread(); }

    int Trips() const { return m_trips; }
    // The trip with this number (counted from the owner's creation) waits for Release.
    void HoldTrip(int trip)
    {
        std::lock_guard lock(m_mutex);
        m_holdTrip = trip;
    }
    int Held() const
    {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(m_held.size());
    }
    void Release()
    {
        std::vector<std::function<void()>> held;
        {
            std::lock_guard lock(m_mutex);
            held.swap(m_held);
        }
        for (auto& fn : held)
            m_loop.Post(std::move(fn));
    }

private:
    THXEventLoopOwner& m_loop;
    std::atomic<int> m_trips{0};
    mutable std::mutex m_mutex;
    int m_holdTrip = 0;
    std::vector<std::function<void()>> m_held;
};

// The fast pacing with a progress interval no small page reaches, so what it costs does
// not depend on the machine's speed.
TParsePacing FastParsePacing()
{
    TParsePacing pacing = TParsePacing::Fast();
    pacing.SleepStep = 1ms;
    pacing.ProgressInterval = 10s;
    return pacing;
}

// The temporary files a replacement leaves beside its target (".<name>.tmp-...").
std::vector<std::string> TempFilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".") && name.find(".tmp-") != std::string::npos)
            names.push_back(name);
    }
    return names;
}

// The new links a "Parsing... Links: N  New Links: M" text tells of (M), or -1 when the
// text is not one.
int NewLinksOf(const std::string& text)
{
    const std::string head = "Parsing... Links: ";
    const std::string middle = "  New Links: ";
    if (!text.starts_with(head))
        return -1;
    const std::size_t split = text.find(middle, head.size());
    if (split == std::string::npos)
        return -1;
    const std::string links = text.substr(head.size(), split - head.size());
    const std::string newLinks = text.substr(split + middle.size());
    const auto digits = [](const std::string& number) {
        return !number.empty() &&
               std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return digits(links) && digits(newLinks) ? std::stoi(newLinks) : -1;
}

// A text of the parse worker's status line: "", loading, saving or scanning progress.
bool IsWorkerText(const std::string& text)
{
    return text.empty() || text.starts_with("Loading Page: ") || text.starts_with("Saving Changes: ") ||
           NewLinksOf(text) >= 0;
}

std::size_t IndexOf(const std::vector<std::string>& texts, const std::string& text)
{
    return static_cast<std::size_t>(std::find(texts.begin(), texts.end(), text) - texts.begin());
}

TEST_F(HXThreadParseTest, FastPacingShowsTextsWithTheHandOversAndCostsTwoTripsAPage)
{
    THXEventLoopOwner loop;
    // The banner marks each page as rewritten and saved by the worker.
    app->SetBannerPage("http://ads.test/b468_60.htm");
    // Four small pages of one site, each with two links of its own and one image they
    // share; all parsed by the loop. Returns the worker's trips to the owner thread.
    const auto crawl = [&](const TParsePacing& pacing, const std::string& host)
    {
        SCOPED_TRACE(host);
        task = NewTask(true);
        std::vector<THXQItem*> pages;
        std::vector<std::string> originals;
        std::vector<std::string> links;
        for (int number = 0; number < 4; ++number)
        {
            std::string text = "<html><head><title>P" + std::to_string(number) + "</title></head><body>";
            for (int link = 0; link < 2; ++link)
            {
                const std::string target = "p" + std::to_string(number) + "l" + std::to_string(link) + ".htm";
                text += "<a href=\"" + target + "\">" + target + "</a>";
                links.push_back("http://" + host + "/" + target);
            }
            text += "<img src=\"shared.gif\"></body></html>";
            const std::string url =
                "http://" + host + "/" + (number == 0 ? "" : "page" + std::to_string(number) + ".htm");
            pages.push_back(AddPage(url, text, number == 0 ? 0 : 1));
            originals.push_back(ReadBytes(pages.back()->LocalFile));
        }
        links.push_back("http://" + host + "/shared.gif");
        const std::string folder = ExtractFilePath(pages.front()->LocalFile);

        TCountingOwner counting(loop);
        app->SetOwner(&counting);
        TRecordingStatus status;
        int trips = 0;
        {
            TThreadParse worker(*app, pacing);
            worker.SetTask(task);
            worker.SetStatusView(&status);
            worker.Resume();
            // Done, and idle: the last page's texts and then the idle worker's "" shown.
            EXPECT_TRUE(PumpUntil(
                loop, [&] { return worker.PagesDone() == 4 && !status.texts.empty() && status.texts.back().empty(); }))
                << worker.PagesDone() << " pages; " << ::testing::PrintToString(status.texts);
            const int tripsWhenIdle = counting.Trips();
            PumpFor(loop, 100ms);
            // An idle worker with nothing kept does not come back to the owner thread.
            EXPECT_EQ(counting.Trips(), tripsWhenIdle);
            trips = counting.Trips();
            worker.Halt();
        }
        app->SetOwner(&loop);
        loop.ProcessPending();

        // Every page parsed, rewritten in place, and nothing left beside it.
        for (std::size_t i = 0; i < pages.size(); ++i)
        {
            EXPECT_EQ(pages[i]->State, kStateParsed) << pages[i]->URL;
            EXPECT_EQ(StateOf(*pages[i]), kStateParsed) << pages[i]->URL;
            const std::string saved = ReadBytes(pages[i]->LocalFile);
            EXPECT_NE(saved, originals[i]) << pages[i]->URL;
            EXPECT_NE(saved.find(std::string(kBannerStartComment)), std::string::npos) << pages[i]->URL;
        }
        EXPECT_EQ(TempFilesIn(folder), std::vector<std::string>{});
        // Every link found is queued once.
        for (const std::string& link : links)
            EXPECT_TRUE(task->IsKnownURL(link)) << link;
        EXPECT_EQ(task->ItemCount(), static_cast<int>(pages.size() + links.size()));

        // Only the worker's texts; each page loaded before it was saved, in queue order;
        // the status line ends empty.
        for (const std::string& text : status.texts)
            EXPECT_TRUE(IsWorkerText(text)) << text;
        EXPECT_EQ(status.texts.back(), "");
        std::size_t lastSave = 0;
        for (const THXQItem* page : pages)
        {
            const std::size_t loading = IndexOf(status.texts, "Loading Page: " + page->LocalFile);
            const std::size_t saving = IndexOf(status.texts, "Saving Changes: " + page->LocalFile);
            EXPECT_LT(loading, status.texts.size()) << page->LocalFile;
            EXPECT_LT(saving, status.texts.size()) << page->LocalFile;
            EXPECT_LT(loading, saving) << page->LocalFile;
            EXPECT_GE(saving, lastSave) << page->LocalFile;
            lastSave = saving;
        }
        return trips;
    };

    // Texts with the hand-overs: a page costs its read and its save; the idle worker one
    // trip for the last text.
    const TParsePacing fast = FastParsePacing();
    ASSERT_TRUE(fast.StatusWithHandOver);
    const int fastTrips = crawl(fast, "www.fast.test");
    EXPECT_LE(fastTrips, 2 * 4 + 1);
    EXPECT_GE(fastTrips, 4);

    // Texts by trips of their own (the same waits otherwise) cost more than twice as many.
    TParsePacing classic = fast;
    classic.StatusWithHandOver = false;
    const int classicTrips = crawl(classic, "www.classic.test");
    EXPECT_GE(classicTrips, 4 * 4);
    EXPECT_GT(classicTrips, 2 * fastTrips);
}

TEST_F(HXThreadParseTest, ItemsFoundAfterTheLastBatchJoinTheQueueWithTheSave)
{
    // More new links than one batch holds: batches go while the page is scanned, the rest
    // with the save.
    constexpr int kLinks = 600;
    std::string page = "<html><head><title>Many</title></head><body>\n";
    for (int i = 0; i < kLinks; ++i)
        page += "<a href=\"l" + std::to_string(i) + ".htm\">" + std::to_string(i) + "</a>\n";
    page += "</body></html>";
    THXQItem* start = AddPage("http://www.site.test/", page);
    const std::string original = ReadBytes(start->LocalFile);
    const std::string folder = ExtractFilePath(start->LocalFile);

    THXEventLoopOwner loop;
    app->SetOwner(&loop);
    TRecordingStatus status;
    // What the owner thread saw when each batch's text was shown (queued items, the
    // text's new links) and when the save's text was shown, before the page was committed.
    std::vector<std::pair<int, int>> batches;
    int queuedAtSave = -1;
    int stateAtSave = -1;
    std::string fileAtSave;
    std::vector<std::string> tempsAtSave;
    status.onShow = [&](const std::string& text)
    {
        if (NewLinksOf(text) >= 0)
            batches.emplace_back(task->ItemCount() - 1, NewLinksOf(text));
        if (text == "Saving Changes: " + start->LocalFile)
        {
            queuedAtSave = task->ItemCount() - 1;
            stateAtSave = StateOf(*start);
            fileAtSave = ReadBytes(start->LocalFile);
            tempsAtSave = TempFilesIn(folder);
        }
    };
    TThreadParse worker(*app, FastParsePacing());
    worker.SetTask(task);
    worker.SetStatusView(&status);
    worker.Resume();
    ASSERT_TRUE(PumpUntil(loop, [&] { return worker.PagesDone() == 1 && status.texts.back().empty(); }))
        << ::testing::PrintToString(status.texts);

    // Batches went while the page was scanned; each text tells what the queue holds.
    ASSERT_FALSE(batches.empty());
    for (const auto& [queued, told] : batches)
        EXPECT_EQ(queued, told);
    EXPECT_LT(batches.back().first, kLinks);
    // The save's hand-over brought the rest before the page was committed: the queue was
    // whole while the fetched text was still in place and the new one beside it.
    EXPECT_EQ(queuedAtSave, kLinks);
    EXPECT_EQ(stateAtSave, kStateSaved);
    EXPECT_EQ(fileAtSave, original);
    EXPECT_EQ(tempsAtSave.size(), 1u) << ::testing::PrintToString(tempsAtSave);

    // Every link once, in the page's order; the page rewritten and parsed.
    ASSERT_EQ(task->ItemCount(), kLinks + 1);
    for (int i = 0; i < kLinks; ++i)
        EXPECT_EQ(Cp1252ToUtf8(task->QueueLine(2 * (i + 1))), "http://www.site.test/l" + std::to_string(i) + ".htm");
    EXPECT_EQ(start->State, kStateParsed);
    EXPECT_EQ(StateOf(*start), kStateParsed);
    EXPECT_NE(ReadBytes(start->LocalFile), original);
    EXPECT_EQ(TempFilesIn(folder), std::vector<std::string>{});
    EXPECT_EQ(task->RecordField(0, 8), "Many");
    worker.Halt();
}

TEST_F(HXThreadParseTest, HaltOrNewTaskBetweenPrepareAndSaveLeavesTheFetchedPage)
{
    THXEventLoopOwner loop;
    for (const bool newTask : {false, true})
    {
        SCOPED_TRACE(newTask ? "new task" : "halt");
        task = NewTask(true);
        const std::string site = newTask ? "http://www.swap.test/" : "http://www.halt.test/";
        THXQItem* page = AddPage(site, "<title>T</title><a href=\"a.htm\">a</a><img src=\"i.gif\">");
        const std::string original = ReadBytes(page->LocalFile);
        const std::string folder = ExtractFilePath(page->LocalFile);
        const auto other = std::make_shared<THXTask>(*app);

        // A small page makes two trips: its read, then its save, which is held back.
        TCountingOwner counting(loop);
        counting.HoldTrip(2);
        app->SetOwner(&counting);
        TRecordingStatus status;
        {
            TThreadParse worker(*app, FastParsePacing());
            worker.SetTask(task);
            worker.SetStatusView(&status);
            worker.Resume();
            ASSERT_TRUE(PumpUntil(loop, [&] { return counting.Held() == 1; }));
            // The rewritten text waits beside the fetched page, which is untouched.
            EXPECT_EQ(TempFilesIn(folder).size(), 1u);
            EXPECT_EQ(ReadBytes(page->LocalFile), original);
            EXPECT_EQ(task->ItemCount(), 1);

            if (newTask)
                worker.SetTask(other);
            else
                worker.Halt();
            counting.Release();
            // The worker gives the page up and removes what it wrote.
            EXPECT_TRUE(PumpUntil(
                loop, [&] { return TempFilesIn(folder).empty() && (newTask || worker.Paused()); }, 5s))
                << ::testing::PrintToString(TempFilesIn(folder));
            PumpFor(loop, 30ms);
            EXPECT_EQ(page->State, kStateSaved);
            EXPECT_EQ(StateOf(*page), kStateSaved);
            EXPECT_EQ(ReadBytes(page->LocalFile), original);
            EXPECT_EQ(task->ItemCount(), 1);
            EXPECT_EQ(worker.PagesDone(), 0);
            for (const std::string& text : status.texts)
                EXPECT_FALSE(text.starts_with("Saving Changes: ")) << text;

            // The next run parses it whole.
            if (newTask)
                worker.SetTask(task);
            else
                worker.Resume();
            ASSERT_TRUE(PumpUntil(loop, [&] { return page->State == kStateParsed; }));
            EXPECT_EQ(StateOf(*page), kStateParsed);
            EXPECT_NE(ReadBytes(page->LocalFile), original);
            EXPECT_TRUE(task->IsKnownURL(site + "a.htm"));
            EXPECT_TRUE(task->IsKnownURL(site + "i.gif"));
            EXPECT_EQ(task->ItemCount(), 3);
            // The fetched file the rewritten page replaced goes once the worker is idle.
            EXPECT_TRUE(PumpUntil(loop, [&] { return TempFilesIn(folder).empty(); }))
                << ::testing::PrintToString(TempFilesIn(folder));
            worker.Halt();
        }
        app->SetOwner(&loop);
        loop.ProcessPending();
    }
}

TEST_F(HXThreadParseTest, TextOfAPageGivenUpIsNotShownForTheNextTask)
{
    THXQItem* page = AddPage("http://www.site.test/", "<title>T</title><a href=\"a.htm\">a</a>");
    const auto next = std::make_shared<THXTask>(*app);
    THXEventLoopOwner loop;
    TCountingOwner counting(loop);
    counting.HoldTrip(2);
    app->SetOwner(&counting);
    TRecordingStatus status;
    {
        TThreadParse worker(*app, FastParsePacing());
        worker.SetTask(task);
        worker.SetStatusView(&status);
        worker.Resume();
        ASSERT_TRUE(PumpUntil(loop, [&] { return counting.Held() == 1; }));
        // The page is given up before its save; the next task has nothing to parse.
        worker.SetTask(next);
        counting.Release();
        PumpFor(loop, 200ms);
        EXPECT_EQ(page->State, kStateSaved);
        // Nothing the status line shows names the page given up, and the idle worker's
        // line is empty.
        for (const std::string& text : status.texts)
            EXPECT_EQ(text.find(page->LocalFile), std::string::npos) << text;
        if (!status.texts.empty())
        {
            EXPECT_EQ(status.texts.back(), "");
        }
        worker.Halt();
    }
    app->SetOwner(&loop);
    loop.ProcessPending();
}

TEST_F(HXThreadParseTest, FastPacingMissingOrEmptyPageFileSettlesAsBefore)
{
    THXEventLoopOwner loop;
    for (const bool empty : {false, true})
    {
        SCOPED_TRACE(empty ? "empty" : "missing");
        task = NewTask(false); // an archive task: an empty page goes to the archive as it is
        const std::string text;
        THXQItem* page = AddItem(empty ? "http://www.site.test/empty.htm" : "http://www.site.test/gone.htm",
                                 kStateSaved, 1, empty ? &text : nullptr);
        task->PagesSaved = 3;
        ASSERT_EQ(FileExists(page->LocalFile), empty);

        // Two trips: the read, then the settling of the page, held back and given up.
        TCountingOwner counting(loop);
        counting.HoldTrip(2);
        app->SetOwner(&counting);
        TRecordingStatus status;
        {
            TThreadParse worker(*app, FastParsePacing());
            worker.SetTask(task);
            worker.SetStatusView(&status);
            worker.Resume();
            ASSERT_TRUE(PumpUntil(loop, [&] { return counting.Held() == 1; }));
            worker.Halt();
            counting.Release();
            ASSERT_TRUE(PumpUntil(loop, [&] { return worker.Paused(); }));
            loop.ProcessPending();
            EXPECT_EQ(StateOf(*page), kStateSaved);
            EXPECT_EQ(task->PagesSaved, 3);
            EXPECT_EQ(task->ZipPendingCount(), 0);
            EXPECT_EQ(FileExists(page->LocalFile), empty);

            // The next run settles it: a missing file goes back to be fetched (and out of
            // the saved count), an empty one is taken as it is.
            const int tripsBefore = counting.Trips();
            worker.Resume();
            ASSERT_TRUE(PumpUntil(
                loop, [&] { return worker.PagesDone() == 1 && !status.texts.empty() && status.texts.back().empty(); }))
                << ::testing::PrintToString(status.texts);
            PumpFor(loop, 30ms);
            // The read, the settling, and the idle worker's last text.
            EXPECT_LE(counting.Trips() - tripsBefore, 3);
            worker.Halt();
        }
        app->SetOwner(&loop);
        loop.ProcessPending();

        if (empty)
        {
            EXPECT_EQ(StateOf(*page), kStateParsed);
            EXPECT_EQ(page->State, kStateParsed);
            EXPECT_EQ(task->PagesSaved, 3);
            EXPECT_EQ(ReadBytes(page->LocalFile), "");
            const std::vector<TZipPendingFile> pending = task->TakeAllZipPending();
            ASSERT_EQ(pending.size(), 1u);
            EXPECT_EQ(pending[0].path, page->LocalFile);
            EXPECT_EQ(pending[0].item, page);
        }
        else
        {
            EXPECT_EQ(StateOf(*page), kStateNone);
            EXPECT_EQ(page->State, kStateNone);
            EXPECT_EQ(task->PagesSaved, 2);
            EXPECT_FALSE(FileExists(page->LocalFile));
            EXPECT_EQ(task->ZipPendingCount(), 0);
        }
        for (const std::string& shown : status.texts)
            EXPECT_TRUE(IsWorkerText(shown)) << shown;
        EXPECT_EQ(TempFilesIn(ExtractFilePath(page->LocalFile)), std::vector<std::string>{});
    }
}

} // namespace
} // namespace hx
