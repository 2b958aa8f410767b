// The compact queue: records rewritten many times in the line arena, shared texts,
// and queue file writes from a copy on a thread of its own.

#include "core/HXTask.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXStableList.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

class HXQueueScaleTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
        WriteGroup(app->Store(), "HTML", ".htm;.html;");
        WriteGroup(app->Store(), "Images", ".gif;.jpg;");
        task = std::make_unique<THXTask>(*app);
        task->Name = "Scale";
        task->FileName = app->TasksFolder() + "General/Scale.hxt";
    }

    THXQItem* Add(int serial)
    {
        THXQItem item;
        item.URL = "http://h/d" + std::to_string(serial % 7) + "/" + std::to_string(serial) + ".html";
        item.BaseURL = "http://h/d" + std::to_string(serial % 7) + "/";
        item.Group = serial % 3 == 0 ? "Images" : "HTML";
        item.Title = "T" + std::to_string(serial);
        item.Level = 1;
        return task->AddItem(std::move(item));
    }

    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        for (int line = 0; line < task->QueueLineCount(); ++line)
            lines.push_back(task->QueueLine(line));
        return lines;
    }

    std::unique_ptr<THXApp> app;
    std::unique_ptr<THXTask> task;
};

TEST_F(HXQueueScaleTest, RecordsRewrittenLongerAndShorterKeepEveryOtherLine)
{
    constexpr int kItems = 400;
    for (int serial = 0; serial < kItems; ++serial)
        Add(serial);
    const std::vector<std::string> urls = [&]
    {
        std::vector<std::string> lines;
        for (int pair = 0; pair < kItems; ++pair)
            lines.push_back(task->QueueLine(2 * pair));
        return lines;
    }();
    // Titles grow and shrink by turns: records move to the arena's end, stay in
    // place, and the arena is compacted many times over (far more than a block is
    // left behind).
    for (int round = 0; round < 12; ++round)
    {
        for (int pair = 0; pair < kItems; ++pair)
        {
            THXQItem* item = task->Item(pair);
            ASSERT_NE(item, nullptr);
            task->ReloadItem(*item);
            const std::size_t length = (round % 2 == 0 ? 4000 : 10) + static_cast<std::size_t>(pair);
            item->Title = std::string(length, static_cast<char>('a' + (pair + round) % 26));
            item->Size = round * 1000 + pair;
            task->CommitItem(*item, true);
        }
    }
    for (int pair = 0; pair < kItems; ++pair)
    {
        EXPECT_EQ(task->QueueLine(2 * pair), urls[static_cast<std::size_t>(pair)]) << pair;
        const std::size_t length = 10 + static_cast<std::size_t>(pair);
        EXPECT_EQ(task->RecordField(pair, 8), std::string(length, static_cast<char>('a' + (pair + 11) % 26))) << pair;
        EXPECT_EQ(task->RecordField(pair, 9), std::to_string(11000 + pair)) << pair;
        EXPECT_EQ(task->Item(pair)->Group, pair % 3 == 0 ? "Images" : "HTML");
        EXPECT_EQ(task->Item(pair)->BaseURL, "http://h/d" + std::to_string(pair % 7) + "/");
        EXPECT_TRUE(task->IsKnownURL("HTTP://H/d" + std::to_string(pair % 7) + "/" + std::to_string(pair) + ".html"));
    }

    // A copy of an item owns its texts: it outlives the queue that lent them.
    const THXQItem copy = *task->Item(1);
    task->ClearQueue();
    EXPECT_EQ(copy.Group, "HTML");
    EXPECT_EQ(copy.BaseURL, "http://h/d1/");
}

TEST_F(HXQueueScaleTest, BackgroundWriteSavesACopyAndNeverReplacesALaterSave)
{
    for (int serial = 0; serial < 300; ++serial)
        Add(serial);
    const std::vector<std::string> first = Lines();
    task->SaveQueueInBackground();
    EXPECT_FALSE(task->Modified);
    // The next load waits for the write.
    task->ClearQueue();
    task->LoadQueue();
    EXPECT_EQ(Lines(), first);

    // A background copy, then more items and a SaveQueue: the file ends with the
    // later lines whichever write reaches the disk first.
    task->SaveQueueInBackground();
    Add(1000);
    Add(1001);
    task->SaveQueue();
    const std::vector<std::string> later = Lines();
    task->ClearQueue();
    task->LoadQueue();
    EXPECT_EQ(Lines(), later);
    EXPECT_EQ(task->ItemCount(), 302);
    EXPECT_EQ(task->BackgroundQueueWritesFailed(), 0);
}

TEST_F(HXQueueScaleTest, ItemsKeepTheirPlaceAsTheQueueGrowsPastManyChunks)
{
    // The workers hold item pointers while the owner adds: none may move.
    constexpr int kItems = 5000;
    std::vector<THXQItem*> added;
    for (int serial = 0; serial < kItems; ++serial)
        added.push_back(Add(serial));
    for (int pair = 0; pair < kItems; ++pair)
    {
        ASSERT_EQ(task->Item(pair), added[static_cast<std::size_t>(pair)]) << pair;
        EXPECT_EQ(added[static_cast<std::size_t>(pair)]->Index, 2 * pair);
        EXPECT_EQ(task->FindItem("http://h/d" + std::to_string(pair % 7) + "/" + std::to_string(pair) + ".html"),
                  added[static_cast<std::size_t>(pair)]);
    }
    task->ClearQueue();
    EXPECT_EQ(task->Item(0), nullptr);
    EXPECT_EQ(Add(7)->Index, 0);
}

TEST(HXStableListTest, ElementsStayInPlaceAndClearDestroysEveryOne)
{
    auto alive = std::make_shared<int>(0);
    struct TCounted
    {
        explicit TCounted(std::shared_ptr<int> count, int value)
            : Count(std::move(count))
            , Value(value)
        {
            ++*Count;
        }
        TCounted(TCounted&&) noexcept = default;
        TCounted& operator=(TCounted&&) noexcept = default;
        ~TCounted()
        {
            if (Count)
                --*Count;
        }
        std::shared_ptr<int> Count;
        int Value;
    };
    THXStableList<TCounted, 4> list;
    std::vector<const TCounted*> places;
    for (int value = 0; value < 19; ++value)
        places.push_back(&list.emplace_back(alive, value));
    EXPECT_EQ(list.size(), 19U);
    EXPECT_EQ(*alive, 19);
    EXPECT_EQ(list.back().Value, 18);
    for (std::size_t index = 0; index < places.size(); ++index)
    {
        EXPECT_EQ(&list[index], places[index]) << index;
        EXPECT_EQ(list[index].Value, static_cast<int>(index));
    }
    list.clear();
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(*alive, 0);
    EXPECT_EQ(list.emplace_back(alive, 5).Value, 5);
    EXPECT_EQ(*alive, 1);
}

} // namespace
} // namespace hx
