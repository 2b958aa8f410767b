#include "core/HXQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <set>
#include <thread>

#include "core/HXApp.h"
#include "core/HXEncoding.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

constexpr char kSep = '\xB6';

// A waiting page or resource one level below the start.
THXQItem NewItem(const std::string& url, bool page, int mode, int state)
{
    THXQItem item;
    item.URL = url;
    item.Group = page ? "HTML" : "Images";
    item.Mode = mode;
    item.State = state;
    item.Level = 1;
    return item;
}

class HXQueueTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
        WriteGroup(app->Store(), "HTML", ".htm;.html;");
        WriteGroup(app->Store(), "Images", ".gif;.jpg;");
        task = std::make_unique<THXTask>(*app);
        task->Name = "Queue";
        task->FileName = app->TasksFolder() + "General/Queue.hxt";
    }

    THXQItem* Add(const std::string& url, bool page, int mode = kModeDownload, int state = kStateNone)
    {
        return task->AddItem(NewItem(url, page, mode, state));
    }

    static int Separators(const std::string& line)
    {
        return static_cast<int>(std::count(line.begin(), line.end(), kSep));
    }

    std::unique_ptr<THXApp> app;
    std::unique_ptr<THXTask> task;
};

// The queue on its own, as a task holds it: no task file, counters or view.
class HXQueueDirectTest : public ::testing::Test
{
protected:
    THXQItem* Add(const std::string& url, bool page, int mode = kModeDownload, int state = kStateNone)
    {
        return &queue.Add(NewItem(url, page, mode, state));
    }

    // What committing an item does to the queue: its record written, its record
    // texts released.
    void Commit(THXQItem& item)
    {
        queue.WriteRecord(item);
        queue.ReleaseItemStrings(item);
    }

    THXQueue queue{nullptr, nullptr};
};

TEST_F(HXQueueTest, ItemsAreLinePairsWithElevenFieldRecords)
{
    THXQItem page;
    page.URL = "http://h/a.html";
    page.BaseURL = "http://h/";
    page.Referrer = "http://h/";
    page.Group = "HTML";
    page.Title = "Start";
    page.Level = 2;
    page.Mode = kModeUpdate;
    page.Size = 1234;
    page.FrameFlag = "Y";
    page.LastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
    THXQItem* added = task->AddItem(std::move(page));
    Add("http://h/b.gif", false);

    EXPECT_EQ(task->QueueLineCount(), 4);
    EXPECT_EQ(added->Index, 0);
    EXPECT_EQ(task->Item(1)->Index, 2);
    EXPECT_EQ(task->TotalPages, 1);
    EXPECT_EQ(task->TotalResources, 1);
    EXPECT_TRUE(task->Modified);
    EXPECT_EQ(task->QueueLine(0), "http://h/a.html");
    EXPECT_EQ(task->QueueLine(1), std::string("0") + kSep + kSep + "HTML" + kSep + kSep + "2" + kSep + "http://h/" +
                                      kSep + "Tue, 01 Dec 2026 10:00:00 GMT" + kSep + "3" + kSep + "Start" + kSep +
                                      "1234" + kSep + "Y" + kSep);
    // The record is the authoritative copy: the object lets go of the five texts.
    EXPECT_TRUE(added->URL.empty());
    EXPECT_TRUE(added->Title.empty());
    EXPECT_TRUE(added->Referrer.empty());
    EXPECT_EQ(added->BaseURL, "http://h/");
    task->ReloadItem(*added);
    EXPECT_EQ(added->URL, "http://h/a.html");
    EXPECT_EQ(added->Title, "Start");
    EXPECT_EQ(added->Size, 1234);
    EXPECT_EQ(added->Mode, kModeUpdate);
    EXPECT_EQ(added->LastModified, "Tue, 01 Dec 2026 10:00:00 GMT");

    // Writing a released item keeps the stored texts; a cleared status text is written empty.
    THXQItem* stored = task->Item(0);
    stored->StatusText = "OK";
    task->CommitItem(*stored, true);
    EXPECT_EQ(task->RecordField(0, 8), "Start");
    EXPECT_EQ(task->RecordField(0, 1), "OK");
    task->ClearStatusText(*stored);
    task->WriteItemRecord(*stored);
    EXPECT_EQ(task->RecordField(0, 1), "");
    EXPECT_EQ(task->RecordField(0, 8), "Start");
}

TEST_F(HXQueueDirectTest, KnownUrlsIgnoreLetterCaseOnly)
{
    Add("http://Host/Page.html", true);
    EXPECT_TRUE(queue.IsKnownURL("http://Host/Page.html"));
    EXPECT_TRUE(queue.IsKnownURL("HTTP://HOST/PAGE.HTML"));
    EXPECT_FALSE(queue.IsKnownURL("http://Host/Page.htm"));
    EXPECT_FALSE(queue.IsKnownURL("http://Host/Page.html?"));
    EXPECT_FALSE(queue.IsKnownURL(""));
    Add("http://h/Über.html", true);
    EXPECT_TRUE(queue.IsKnownURL("http://h/Über.html"));
    EXPECT_FALSE(queue.IsKnownURL("http://h/über.html")) << "only ASCII letters fold";
}

TEST_F(HXQueueTest, UnicodeTextsSurviveAndNeverBreakARecord)
{
    const std::vector<std::string> titles = {
        "Über uns",      "公司简介",           "Ärger ¶ mit ¶ Pilcrows",    "ö¶ö",
        "&#65; literal", "tab\tand\r\nbreaks", std::string("nul\0byte", 8), "\xFF\xFE invalid",
        "Schön Größe",   "raw\xB6separator"};
    for (std::size_t i = 0; i < titles.size(); ++i)
    {
        THXQItem item;
        item.URL = "http://h/" + std::to_string(i) + ".html";
        item.Group = "HTML";
        item.Title = titles[i];
        item.Referrer = titles[i];
        item.StatusText = "  " + titles[i] + "  ";
        task->AddItem(std::move(item));
    }
    for (int line = 1; line < task->QueueLineCount(); line += 2)
    {
        EXPECT_EQ(Separators(task->QueueLine(line)), 11) << line;
        EXPECT_EQ(task->QueueLine(line).find_first_of("\r\n"), std::string::npos);
    }
    task->SaveQueue();

    THXTask loaded(*app);
    loaded.Name = task->Name;
    loaded.FileName = task->FileName;
    loaded.LoadQueue();
    ASSERT_EQ(loaded.ItemCount(), static_cast<int>(titles.size()));
    for (std::size_t i = 0; i < titles.size(); ++i)
    {
        THXQItem& item = *loaded.Item(static_cast<int>(i));
        loaded.ReloadItem(item);
        std::string expected = titles[i];
        if (titles[i] == "\xFF\xFE invalid")
            expected = "\xC3\xBF\xC3\xBE invalid";
        else if (titles[i] == "raw\xB6separator")
            expected = "raw¶separator"; // not UTF-8: read as the code page's pilcrow
        EXPECT_EQ(item.Title, expected) << i;
        EXPECT_EQ(item.Referrer, expected) << i;
    }
    // The status text loses line breaks and pilcrows and is trimmed.
    EXPECT_EQ(loaded.RecordField(2, 1), "Ärger  mit  Pilcrows");
    EXPECT_EQ(loaded.RecordField(5, 1), "tab\tandbreaks");
    EXPECT_EQ(loaded.RecordField(0, 1), "Über uns");
    EXPECT_EQ(loaded.RecordField(3, 1), "öö");
    EXPECT_EQ(loaded.RecordField(8, 1), "Schön Größe");
    EXPECT_EQ(loaded.RecordField(9, 1), "rawseparator");
    // Nothing but Windows-1252 reaches the file.
    const std::string bytes = *ReadWholeFile(task->QueueFileName());
    EXPECT_EQ(bytes.find("\xC3\x9C"), std::string::npos);
}

TEST_F(HXQueueTest, StateChangesKeepTheCountersConsistent)
{
    THXQItem* page = Add("http://h/p.html", true);
    THXQItem* resource = Add("http://h/r.gif", false);
    THXQItem* partial = Add("http://h/s.gif", false);
    task->PagesSaved = 1;
    task->PageErrors = 1;
    task->ResourcesSaved = 2;
    task->TotalBytes = 10000;
    int notices = 0;
    task->OnProgress = [&notices](const std::string& text, std::int64_t, std::int64_t)
    {
        EXPECT_EQ(text, "");
        ++notices;
    };

    page->State = kStateError;
    task->SetItemState(*page, kStateNone);
    EXPECT_EQ(task->PageErrors, 0);
    EXPECT_EQ(task->PagesSaved, 0);

    resource->State = kStateSaved;
    resource->Size = 3000;
    task->SetItemState(*resource, kStateNone);
    EXPECT_EQ(task->ResourcesSaved, 1);
    EXPECT_EQ(task->TotalBytes, 7000);

    partial->State = kStateParsed;
    partial->StatusText = "Incomplete (1200 bytes)";
    partial->Size = 99999;
    task->SetItemState(*partial, kStateNone);
    EXPECT_EQ(task->ResourcesSaved, 0);
    EXPECT_EQ(task->TotalBytes, 5800);

    // Other transitions leave every counter alone.
    task->SetItemState(*partial, kStateDownloading);
    task->SetItemState(*partial, kStateSaved);
    EXPECT_EQ(task->ResourcesSaved, 0);
    EXPECT_EQ(task->TotalBytes, 5800);
    EXPECT_EQ(notices, 5);
}

TEST_F(HXQueueDirectTest, ItemChoiceFollowsQueueOrderAndModes)
{
    Add("http://h/skip.gif", false, kModeSkip);
    EXPECT_EQ(queue.NextResource(), nullptr) << "an item in mode 0 is never returned";
    EXPECT_EQ(queue.NextPage(), nullptr) << "only resources are waiting";
    THXQItem* map = Add("http://h/map.html", true, kModeMap);
    THXQItem* updating = Add("http://h/u.gif", false, kModeUpdate);
    EXPECT_EQ(queue.NextPage(), map);
    EXPECT_EQ(queue.NextPage(), map) << "choosing does not consume";
    EXPECT_EQ(queue.NextResource(), updating);

    queue.SetState(*updating, kStateDownloading);
    EXPECT_EQ(queue.NextResource(), updating) << "an update item stays eligible while state 1";
    queue.SetState(*updating, kStateUpdating);
    EXPECT_EQ(queue.NextResource(), nullptr);

    THXQItem* dl = Add("http://h/d.gif", false);
    queue.SetState(*dl, kStateDownloading);
    EXPECT_EQ(queue.NextResource(), nullptr) << "a download item in state 1 is under way";

    queue.SetState(*map, kStateSaved);
    EXPECT_EQ(queue.NextPage(), nullptr);
    EXPECT_EQ(queue.NextSavedPage(), map);
    queue.SetState(*map, kStateParsed);
    EXPECT_EQ(queue.NextSavedPage(), nullptr);

    // An earlier item made eligible again is found before later ones.
    THXQItem* later = Add("http://h/later.html", true);
    EXPECT_EQ(queue.NextPage(), later);
    queue.SetState(*map, kStateNone);
    EXPECT_EQ(queue.NextPage(), map);
    // A mode change written through the record counts as well.
    queue.SetState(*map, kStateSaved);
    queue.SetState(*updating, kStateNone);
    updating->Mode = kModeSkip;
    Commit(*updating);
    EXPECT_EQ(queue.NextResource(), nullptr);
    updating->Mode = kModeDownload;
    Commit(*updating);
    EXPECT_EQ(queue.NextResource(), updating);
}

TEST_F(HXQueueDirectTest, ItemsAfterAnItemAreFoundInQueueOrderAcrossManyPairs)
{
    // Enough items for the pairs to span several words of the candidate sets.
    std::vector<THXQItem*> resources;
    for (int i = 0; i < 300; ++i)
        resources.push_back(Add("http://h/r" + std::to_string(i) + ".gif", false));
    THXQItem* page = Add("http://h/p.html", true);
    // Only every 70th resource still waits; the others are under way or done.
    for (int i = 0; i < 300; ++i)
        if (i % 70 != 5)
            queue.SetState(*resources[static_cast<std::size_t>(i)], i % 2 == 0 ? kStateSaved : kStateDownloading);
    std::vector<THXQItem*> found;
    for (THXQItem* item = queue.NextResource(); item != nullptr; item = queue.NextResourceAfter(*item))
        found.push_back(item);
    EXPECT_EQ(found,
              (std::vector<THXQItem*>{resources[5], resources[75], resources[145], resources[215], resources[285]}));
    // Passing an item over leaves it waiting: the first is still the first.
    EXPECT_EQ(queue.NextResource(), resources[5]);
    EXPECT_EQ(queue.NextPageAfter(*resources[0]), page);
    EXPECT_EQ(queue.NextPageAfter(*page), nullptr);
}

// The remembered scan positions must never change an answer: compare with a
// plain scan from the first pair after every step of a random crawl.
TEST_F(HXQueueDirectTest, ChoiceMatchesAPlainScanThroughARandomCrawl)
{
    std::mt19937 random(12345);
    auto plainScan = [this](auto matches) -> THXQItem*
    {
        for (int pair = 0; pair < queue.ItemCount(); ++pair)
            if (matches(*queue.Item(pair)))
                return queue.Item(pair);
        return nullptr;
    };
    auto pageRule = [](const THXQItem& i)
    { return i.IsPage() && (((i.Mode == 1 || i.Mode == 2) && i.State == 0) || (i.Mode == 3 && (i.State <= 1))); };
    auto resourceRule = [](const THXQItem& i)
    { return !i.IsPage() && ((i.Mode == 1 && i.State == 0) || (i.Mode == 3 && i.State <= 1)); };
    auto savedRule = [](const THXQItem& i) { return i.IsPage() && i.State == 5; };

    for (int step = 0; step < 3000; ++step)
    {
        const int action = static_cast<int>(random() % 10);
        if (action < 3 || queue.ItemCount() == 0)
        {
            Add("http://h/" + std::to_string(step) + (random() % 2 ? ".html" : ".gif"), random() % 2 == 0,
                static_cast<int>(random() % 4));
        }
        else
        {
            THXQItem* item = queue.Item(static_cast<int>(random() % static_cast<unsigned>(queue.ItemCount())));
            if (action < 8)
            {
                static const int states[] = {0, 1, 2, 3, 5, 6, 10};
                queue.SetState(*item, states[random() % 7]);
            }
            else
            {
                item->Mode = static_cast<int>(random() % 4);
                Commit(*item);
            }
        }
        ASSERT_EQ(queue.NextPage(), plainScan(pageRule)) << step;
        ASSERT_EQ(queue.NextResource(), plainScan(resourceRule)) << step;
        ASSERT_EQ(queue.NextSavedPage(), plainScan(savedRule)) << step;
    }
}

// The set behind the choice scans, over a range far wider than one summary word
// (64 x 64 pairs): its smallest member must always be what an ordered set says,
// also after a pair below the last answer comes in again.
TEST(HXPairSetTest, SmallestMatchesAnOrderedSetThroughRandomChanges)
{
    std::mt19937 random(777);
    THXPairSet set;
    std::set<std::uint32_t> model;
    EXPECT_FALSE(set.Smallest().has_value());
    for (const std::uint32_t pair : {70000U, 4096U, 4095U, 64U, 63U, 0U})
    {
        set.Insert(pair);
        model.insert(pair);
    }
    for (int step = 0; step < 20000; ++step)
    {
        const auto pair = static_cast<std::uint32_t>(random() % (step < 10000 ? 200000U : 9000U));
        switch (random() % 3)
        {
        case 0:
            set.Insert(pair);
            model.insert(pair);
            break;
        case 1:
            set.Erase(pair);
            model.erase(pair);
            break;
        default:
            if (!model.empty())
            {
                set.Erase(*model.begin());
                model.erase(model.begin());
            }
            break;
        }
        const std::optional<std::uint32_t> smallest = set.Smallest();
        ASSERT_EQ(smallest.has_value(), !model.empty()) << step;
        if (smallest)
        {
            ASSERT_EQ(*smallest, *model.begin()) << step;
        }
    }
    set.clear();
    EXPECT_FALSE(set.Smallest().has_value());
    set.Insert(5);
    EXPECT_EQ(set.Smallest(), std::optional<std::uint32_t>(5));
}

TEST_F(HXQueueTest, LoadQueueBuildsItemsAndReportsProgress)
{
    std::string file;
    for (int i = 0; i < 120; ++i)
    {
        const std::string state = i == 3 ? "1" : i == 4 ? "2" : i == 5 ? "3" : i == 6 ? "10" : "0";
        file += "http://h/" + std::to_string(i) + ".html\r\n";
        file += state + kSep + kSep + (i % 2 ? "HTML" : "Images") + kSep + kSep + "1" + kSep + kSep + kSep +
                (i == 7 ? "" : "2") + kSep + "T" + kSep + kSep + kSep + "\r\n";
    }
    Home().WriteFile("Tasks/General/Queue.dwn", file);
    std::vector<std::pair<std::int64_t, std::int64_t>> reports;
    task->OnProgress = [&reports](const std::string& text, std::int64_t position, std::int64_t total)
    {
        if (text == "Opening task....")
            reports.emplace_back(position, total);
    };
    task->LoadQueue();
    ASSERT_EQ(task->ItemCount(), 120);
    EXPECT_EQ(reports,
              (std::vector<std::pair<std::int64_t, std::int64_t>>{{1, 239}, {101, 239}, {201, 239}, {239, 239}}));
    EXPECT_EQ(task->Item(3)->State, kStateNone) << "interrupted items are waiting again";
    EXPECT_EQ(task->Item(4)->State, kStateNone);
    // Their records say so too, the other fields kept: a reload (the dispatcher's,
    // while a host's robots.txt is awaited) must not bring "in transfer" back, or the
    // item is never chosen again and the run ends as complete without it.
    for (const int pair : {3, 4})
    {
        EXPECT_EQ(task->RecordField(pair, 0), "0");
        EXPECT_EQ(task->RecordField(pair, 4), "1");
        EXPECT_EQ(task->RecordField(pair, 8), "T");
        task->ReloadItem(*task->Item(pair));
        EXPECT_EQ(task->Item(pair)->State, kStateNone);
    }
    EXPECT_TRUE(task->Modified) << "the reset records are written with the next save";
    EXPECT_EQ(task->Item(5)->State, kStateError);
    EXPECT_EQ(task->Item(6)->State, kStateParsed);
    EXPECT_EQ(task->Item(7)->Mode, kModeDownload) << "an empty mode field reads 1";
    EXPECT_EQ(task->Item(8)->Mode, kModeMap);
    EXPECT_EQ(task->Item(1)->Group, "HTML");
    EXPECT_TRUE(task->IsKnownURL("http://h/119.html"));
    // Loading counts nothing: the counters come from the task file.
    EXPECT_EQ(task->TotalPages, 0);
    EXPECT_EQ(task->PagesSaved, 0);
}

// A pair written for an item the queue did not hold, after the file's lines were
// read and before their items were built, is built with them and stays built as
// the queue grows.
TEST_F(HXQueueTest, APairWrittenBeforeTheItemsAreBuiltStaysAnItem)
{
    Home().WriteFile("Tasks/General/Queue.dwn",
                     std::string("http://h/0.html\r\n0") + kSep + kSep + "HTML" + kSep + "\r\n");
    task->LoadQueueLines();
    THXQItem foreign;
    foreign.URL = "http://h/1.gif";
    foreign.Group = "Images";
    task->WriteItemRecord(foreign);
    EXPECT_EQ(foreign.Index, 2);
    task->LoadQueue();
    ASSERT_EQ(task->ItemCount(), 2);
    Add("http://h/2.gif", false);
    ASSERT_NE(task->Item(1), nullptr) << "the written pair lost its item when the queue grew";
    EXPECT_EQ(task->Item(1)->Index, 2);
    EXPECT_EQ(task->NextResource(), task->Item(1));
}

TEST_F(HXQueueTest, ARedirectedPageKeepsItsContentFolderUntilParsed)
{
    // The fourth field is empty but for a fetched page waiting to be parsed that came
    // from another folder: that folder survives a save and a load.
    THXQItem* page = Add("http://h/old/page.html", true);
    THXQItem* image = Add("http://h/i.gif", false);
    page->BaseURL = "http://h/new/";
    image->BaseURL = "http://h/elsewhere/";
    task->SetItemState(*page, kStateSaved);
    task->SetItemState(*image, kStateSaved);
    task->CommitItem(*page, true);
    task->CommitItem(*image, true);
    EXPECT_EQ(task->RecordField(0, 3), "http://h/new/");
    EXPECT_EQ(task->RecordField(1, 3), "") << "only pages waiting to be parsed keep it";
    task->SaveQueue();

    THXTask loaded(*app);
    loaded.Name = task->Name;
    loaded.FileName = task->FileName;
    loaded.LoadQueue();
    ASSERT_EQ(loaded.ItemCount(), 2);
    EXPECT_EQ(loaded.Item(0)->BaseURL, "http://h/new/");
    EXPECT_EQ(loaded.Item(1)->BaseURL, "");
    // Once parsed, the field is empty again.
    loaded.SetItemState(*loaded.Item(0), kStateParsed);
    loaded.CommitItem(*loaded.Item(0), true);
    EXPECT_EQ(loaded.RecordField(0, 3), "");
}

TEST_F(HXQueueTest, DamagedQueueFilesNeverCrash)
{
    // A non-numeric state ends the load with the conversion message; earlier items stay.
    Home().WriteFile("Tasks/General/Queue.dwn", std::string("http://h/a.html\r\n0") + kSep + kSep + "HTML" + kSep +
                                                    "\r\nhttp://h/b.html\r\nabc" + kSep +
                                                    "\r\nhttp://h/c.html\r\n0\r\n");
    try
    {
        task->LoadQueue();
        FAIL() << "expected a conversion error";
    }
    catch (const EConvertError& error)
    {
        EXPECT_EQ(error.what(), task->QueueFileName() + ": record 2: 'abc' is not a valid integer value");
    }
    EXPECT_NE(task->Item(0), nullptr);
    EXPECT_EQ(task->Item(0)->Group, "HTML");
    EXPECT_EQ(task->Item(1), nullptr);

    // Short records read missing fields as empty; a file cut after a URL line keeps that URL.
    THXTask cut(*app);
    cut.Name = "Cut";
    cut.FileName = app->TasksFolder() + "General/Cut.hxt";
    Home().WriteFile("Tasks/General/Cut.dwn", std::string("http://h/x.gif\n5") + kSep + "OK\nhttp://h/y.html");
    cut.LoadQueue();
    ASSERT_EQ(cut.ItemCount(), 2);
    EXPECT_EQ(cut.Item(0)->State, kStateSaved);
    EXPECT_EQ(cut.Item(0)->Mode, kModeDownload);
    EXPECT_EQ(cut.Item(1)->State, kStateNone);
    EXPECT_EQ(cut.Item(1)->Group, "HTML");
    EXPECT_EQ(cut.QueueLineCount() % 2, 0);
    EXPECT_EQ(cut.NextPage(), cut.Item(1));

    // Binary garbage and a huge line: whatever happens, no crash and pairs stay aligned.
    std::string garbage(1 << 20, 'x');
    for (std::size_t i = 0; i < garbage.size(); i += 997)
        garbage[i] = static_cast<char>(i % 256);
    garbage += "\r\n" + std::string(200000, kSep) + "\r\n";
    THXTask junk(*app);
    junk.Name = "Junk";
    junk.FileName = app->TasksFolder() + "General/Junk.hxt";
    Home().WriteFile("Tasks/General/Junk.dwn", garbage);
    try
    {
        junk.LoadQueue();
    }
    catch (const EConvertError&)
    {
    }
    EXPECT_EQ(junk.QueueLineCount() % 2, 0);

    // Binary bytes in a message are escaped, and a long field is cut: the message
    // goes to a terminal.
    THXTask binary(*app);
    binary.Name = "Binary";
    binary.FileName = app->TasksFolder() + "General/Binary.hxt";
    Home().WriteFile("Tasks/General/Binary.dwn", "http://h/a.html\r\n0\r\nhttp://h/b.html\r\n\x1B[2J\x07\x81\xE9" +
                                                     std::string(5000, 'z') + kSep + "\r\n");
    try
    {
        binary.LoadQueue();
        FAIL() << "expected a conversion error";
    }
    catch (const EConvertError& error)
    {
        const std::string message = error.what();
        EXPECT_EQ(message.rfind(binary.QueueFileName() + ": record 2: '\\x1B[2J\\x07\\x81\xC3\xA9zzz", 0), 0u)
            << message;
        EXPECT_LT(message.size(), 400u);
        for (const char c : message)
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == '\x7F') << message;
        EXPECT_TRUE(IsValidUtf8(message));
    }
}

TEST_F(HXQueueTest, SavingIsAtomicAndTheAutoSaveWaitsElevenCycles)
{
    Add("http://h/a.html", true);
    for (int cycle = 1; cycle <= 10; ++cycle)
    {
        task->AutoSaveQueue();
        EXPECT_FALSE(FileExists(task->QueueFileName())) << cycle;
    }
    task->AutoSaveQueue();
    EXPECT_TRUE(FileExists(task->QueueFileName()));
    EXPECT_FALSE(task->Modified);
    EXPECT_EQ(task->ChangesSinceSave, 0);

    Add("http://h/b.html", true);
    task->SaveQueue();
    const std::string saved = *ReadWholeFile(task->QueueFileName());
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 4);
    EXPECT_EQ(saved.substr(saved.size() - 2), "\r\n");

    // A queue file that cannot be written raises, leaves the old file whole and the queue modified.
    std::filesystem::remove(task->QueueFileName());
    std::filesystem::create_directories(task->QueueFileName() + "/blocker");
    Add("http://h/c.html", true);
    EXPECT_THROW(task->SaveQueue(), EFileError);
    EXPECT_TRUE(task->Modified);
    EXPECT_TRUE(std::filesystem::is_directory(task->QueueFileName() + "/blocker"));
    const auto leftovers = std::distance(std::filesystem::directory_iterator(ExtractFilePath(task->QueueFileName())),
                                         std::filesystem::directory_iterator());
    EXPECT_EQ(leftovers, 1) << "no temporary file is left behind";
}

TEST_F(HXQueueTest, ResetsPrepareResumeUpdateAndRecovery)
{
    THXQItem* saved = Add("http://h/a.html", true);
    THXQItem* failed = Add("http://h/b.gif", false);
    THXQItem* running = Add("http://h/c.gif", false);
    THXQItem* updating = Add("http://h/d.html", true, kModeUpdate);
    THXQItem* waiting = Add("http://h/e.gif", false);

    // The transfer worker commits each outcome, so records and objects agree.
    auto finish = [this](THXQItem* item, int state, const std::string& status, std::int64_t size)
    {
        item->StatusText = status;
        item->Size = size;
        task->SetItemState(*item, state);
        task->CommitItem(*item, true);
    };
    finish(saved, kStateParsed, "OK", 500);
    finish(failed, kStateError, "Not Found", 70);
    finish(running, kStateDownloading, "", 0);
    finish(updating, kStateUpdating, "", 0);
    EXPECT_EQ(task->RecordField(2, 0), "1");
    task->PagesSaved = 1;
    task->ResourcesSaved = 1;
    task->ResourceErrors = 1;
    task->TotalBytes = 570;

    task->ResetInterrupted();
    EXPECT_EQ(running->State, kStateNone);
    EXPECT_EQ(updating->State, kStateNone);
    EXPECT_EQ(saved->State, kStateParsed);
    EXPECT_EQ(task->RecordField(2, 0), "0");

    task->PrepareSmartRecovery();
    EXPECT_EQ(failed->State, kStateNone);
    EXPECT_EQ(failed->Size, 0);
    EXPECT_EQ(task->RecordField(1, 1), "");
    EXPECT_EQ(task->RecordField(1, 9), "0");
    EXPECT_EQ(task->ResourceErrors, 0);
    EXPECT_EQ(task->ResourcesSaved, 0);

    task->PrepareSmartUpdate();
    EXPECT_EQ(saved->State, kStateNone);
    EXPECT_EQ(saved->Mode, kModeUpdate);
    EXPECT_EQ(task->RecordField(0, 7), "3");
    EXPECT_EQ(task->RecordField(0, 1), "");
    EXPECT_EQ(task->PagesSaved, 0);
    EXPECT_EQ(task->TotalBytes, 70);
    EXPECT_EQ(waiting->Mode, kModeDownload);
    EXPECT_TRUE(saved->URL.empty()) << "committed with release";
}

TEST_F(HXQueueDirectTest, ZipPendingKeepsOrder)
{
    THXQItem* a = Add("http://h/a.html", true);
    queue.AddZipPending("/t/a.html", a);
    queue.AddZipPending("/t/b.gif", nullptr);
    queue.AddZipPending("/t/c.gif", nullptr);
    EXPECT_EQ(queue.ZipPendingCount(), 3);
    TZipPendingFile file;
    ASSERT_TRUE(queue.TakeZipPending(file));
    EXPECT_EQ(file.path, "/t/a.html");
    EXPECT_EQ(file.item, a);
    const auto rest = queue.TakeAllZipPending();
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[1].path, "/t/c.gif");
    EXPECT_FALSE(queue.TakeZipPending(file));
}

// Workers scan and look up while the owner appends and changes states: no scan
// may ever see a half-made change. Every look checks what a whole change leaves:
// lines come in URL and record pairs, the last record is complete, an address is
// known as soon as its pair is counted, and the first record reads back; the last
// pass, after the owner is done, sees the whole queue.
TEST_F(HXQueueTest, WorkersScanSafelyWhileTheOwnerAppends)
{
    constexpr int kItems = 4000;
    std::atomic<bool> done{false};
    std::atomic<int> started{0};
    std::atomic<long> looks{0};
    std::atomic<long> halfMade{0};
    std::atomic<int> wholeQueueSeen{0};
    const int recordSeparators = [&]
    {
        THXQItem probe;
        probe.URL = "http://h/probe.html";
        probe.Group = "HTML";
        THXTask other(*app);
        other.AddItem(std::move(probe));
        return Separators(other.QueueLine(1));
    }();
    auto worker = [&]
    {
        ++started;
        // One more pass after the owner has finished, so every worker sees a full queue.
        for (bool last = false; !last;)
        {
            last = done;
            task->NextPage();
            task->NextResource();
            task->NextSavedPage();
            const int lines = task->QueueLineCount();
            const bool known = task->IsKnownURL("http://h/p100.html");
            ++looks;
            if (lines % 2 != 0)
                ++halfMade;
            if (lines >= 2)
            {
                if (task->QueueLine(lines - 2).rfind("http://h/p", 0) != 0 ||
                    Separators(task->QueueLine(lines - 1)) != recordSeparators || task->RecordField(0, 2) != "Images")
                    ++halfMade;
            }
            if (lines >= 2 * 101 && !known) // p100 is the 101st pair
                ++halfMade;
            if (last && lines == 2 * kItems)
                ++wholeQueueSeen;
        }
    };
    std::thread first(worker);
    std::thread second(worker);
    while (started < 2)
        std::this_thread::yield();
    for (int i = 0; i < kItems; ++i)
    {
        THXQItem* item = Add("http://h/p" + std::to_string(i) + (i % 3 ? ".html" : ".gif"), i % 3 != 0);
        if (i % 5 == 0)
            task->SetItemState(*item, kStateSaved);
        if (i % 50 == 0)
            task->AddZipPending("/z/" + std::to_string(i), item);
    }
    done = true;
    first.join();
    second.join();
    EXPECT_EQ(task->ItemCount(), kItems);
    EXPECT_EQ(halfMade.load(), 0) << "of " << looks.load() << " looks";
    EXPECT_EQ(wholeQueueSeen.load(), 2);
}

} // namespace
} // namespace hx
