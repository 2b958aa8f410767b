// The known-URL set of a large queue (grown many times over, and built at once for
// a loaded queue file) and record fields that need no code-page conversion.

#include "core/HXTask.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

class HXQueueKnownTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
        WriteGroup(app->Store(), "HTML", ".htm;.html;");
        task = NewTask();
    }

    std::unique_ptr<THXTask> NewTask() const
    {
        auto made = std::make_unique<THXTask>(*app);
        made->Name = "Known";
        made->FileName = app->TasksFolder() + "General/Known.hxt";
        return made;
    }

    static std::string URLOf(int serial)
    {
        return "http://host.test/d" + std::to_string(serial % 13) + "/Page" + std::to_string(serial) + ".html";
    }

    static std::string Upper(std::string text)
    {
        for (char& c : text)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    }

    std::unique_ptr<THXApp> app;
    std::unique_ptr<THXTask> task;
};

TEST_F(HXQueueKnownTest, EveryURLFoundAfterGrowthAndLoadAndNoOther)
{
    // Enough items for the table to double several times.
    constexpr int kItems = 5000;
    for (int serial = 0; serial < kItems; ++serial)
    {
        THXQItem item;
        item.URL = URLOf(serial);
        item.Group = "HTML";
        task->AddItem(std::move(item));
    }
    task->SaveQueue();
    // A queue file may name a URL twice: the first pair is the known one.
    {
        std::string text = *ReadWholeFile(task->QueueFileName());
        text += task->QueueLine(2 * 17) + "\r\n" + task->QueueLine(2 * 17 + 1) + "\r\n";
        ASSERT_TRUE(WriteFileAtomic(task->QueueFileName(), text));
    }
    auto loaded = NewTask();
    loaded->LoadQueue();
    ASSERT_EQ(loaded->ItemCount(), kItems + 1);

    for (THXTask* queue : {task.get(), loaded.get()})
    {
        for (int serial = 0; serial < kItems; ++serial)
        {
            const THXQItem* found = queue->FindItem(URLOf(serial));
            ASSERT_NE(found, nullptr) << URLOf(serial);
            EXPECT_EQ(found->Index, 2 * serial);
            // Case does not make another URL.
            ASSERT_NE(queue->FindItem(Upper(URLOf(serial))), nullptr);
            EXPECT_EQ(queue->FindItem(Upper(URLOf(serial)))->Index, 2 * serial);
        }
        EXPECT_FALSE(queue->IsKnownURL(URLOf(kItems)));
        EXPECT_FALSE(queue->IsKnownURL(URLOf(3) + "x"));
        EXPECT_FALSE(queue->IsKnownURL("http://host.test/d3/Page3.htm"));
    }
}

TEST_F(HXQueueKnownTest, PlainAndEscapedFieldsRoundTripThroughTheRecord)
{
    THXQItem item;
    item.URL = "http://host.test/a&#65;b.html";
    item.Group = "HTML";
    item.Title = "Fish &#38; chips";
    item.Referrer = "http://host.test/plain.html";
    THXQItem* added = task->AddItem(std::move(item));
    ASSERT_NE(added, nullptr);

    // A literal "&#" is escaped in the record, so it does not read back as a character.
    EXPECT_NE(task->QueueLine(0), "http://host.test/a&#65;b.html");
    EXPECT_EQ(task->RecordField(0, 8), "Fish &#38; chips");
    EXPECT_EQ(task->RecordField(0, 5), "http://host.test/plain.html");
    EXPECT_TRUE(task->IsKnownURL("http://host.test/a&#65;b.html"));
    EXPECT_FALSE(task->IsKnownURL("http://host.test/aAb.html"));

    task->ReloadItem(*added);
    EXPECT_EQ(std::string(added->URL), "http://host.test/a&#65;b.html");
    EXPECT_EQ(std::string(added->Title), "Fish &#38; chips");
    EXPECT_EQ(std::string(added->Referrer), "http://host.test/plain.html");
}

} // namespace
} // namespace hx
