// The ETag in queue files: files written before it existed read as they always
// did, records without one keep their eleven fields byte for byte, and a record
// with one still gives a reader of eleven fields what it expects.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>
#include <memory>
#include <string>

#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXTask.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

constexpr char kSep = '\xB6';

class HXQueueETagTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
        WriteGroup(app->Store(), "HTML", ".htm;.html;");
    }

    std::unique_ptr<THXTask> NewTask()
    {
        auto task = std::make_unique<THXTask>(*app);
        task->Name = "Old";
        task->FileName = app->TasksFolder() + "General/Old.hxt";
        return task;
    }

    // The n-th field of a record, found by counting separators as any reader does.
    static std::string Field(const std::string& record, int n)
    {
        std::size_t start = 0;
        for (int i = 0; i < n; ++i)
            start = record.find(kSep, start) + 1;
        return record.substr(start, record.find(kSep, start) - start);
    }

    std::unique_ptr<THXApp> app;
};

TEST_F(HXQueueETagTest, OldFilesReadAndNewRecordsStayReadable)
{
    // A queue file written before the ETag was kept: eleven fields per record.
    const std::string old = std::string("http://h/a.html\r\n") + "10" + kSep + "200 OK" + kSep + "HTML" + kSep + kSep +
                            "1" + kSep + "http://h/" + kSep + "Mon, 01 Jan 2024 00:00:00 GMT" + kSep + "1" + kSep +
                            "Title A" + kSep + "42" + kSep + "Y" + kSep + "\r\n";
    Home().WriteFile("Tasks/General/Old.dwn", old);
    auto task = NewTask();
    task->LoadQueue();
    ASSERT_EQ(task->ItemCount(), 1);
    THXQItem& item = *task->Item(0);
    task->ReloadItem(item);
    EXPECT_EQ(item.LastModified, "Mon, 01 Jan 2024 00:00:00 GMT");
    EXPECT_EQ(item.Title, "Title A");
    EXPECT_EQ(item.Size, 42);
    EXPECT_EQ(item.FrameFlag, "Y");
    EXPECT_TRUE(item.ETag.empty());

    // Written again without an ETag, the record is the same bytes.
    task->WriteItemRecord(item);
    const std::string before = task->QueueLine(1);
    EXPECT_EQ(before + "\r\n", old.substr(old.find("\r\n") + 2));

    // With an ETag: one more field at the end; the eleven before it are unchanged,
    // so a reader of eleven fields (counting separators) reads what it always did.
    item.ETag = "\"5f-abc\"";
    task->WriteItemRecord(item);
    const std::string record = task->QueueLine(1);
    EXPECT_EQ(std::count(record.begin(), record.end(), kSep), 12);
    EXPECT_EQ(record.substr(0, before.size()), before);
    EXPECT_EQ(Field(record, 10), "Y");
    EXPECT_EQ(Field(record, 11), "\"5f-abc\"");

    // An empty ETag in the object keeps the stored one, as the other texts do.
    task->CommitItem(item, true);
    task->WriteItemRecord(item);
    EXPECT_EQ(task->QueueLine(1), record);

    // Saved and read back by this reader.
    task->SaveQueue();
    auto again = NewTask();
    again->LoadQueue();
    ASSERT_EQ(again->ItemCount(), 1);
    THXQItem& loaded = *again->Item(0);
    again->ReloadItem(loaded);
    EXPECT_EQ(loaded.ETag, "\"5f-abc\"");
    EXPECT_EQ(loaded.FrameFlag, "Y");
    EXPECT_EQ(loaded.Size, 42);
}

// An archive recorder that notes whether the queue file was there when it was flushed.
class TFlushWitness final : public THXExchangeRecorder
{
public:
    explicit TFlushWitness(std::string queueFile)
        : m_queueFile(std::move(queueFile))
    {
    }
    void Record(const THXExchange&) override {}
    bool Flush() override
    {
        QueueFileThere.push_back(std::filesystem::exists(m_queueFile));
        return true;
    }
    std::vector<bool> QueueFileThere;

private:
    std::string m_queueFile;
};

TEST_F(HXQueueETagTest, SavingTheQueueFlushesTheArchiveFirst)
{
    // A queue counts an item done only once its exchange is on disk in the archive.
    auto task = NewTask();
    auto witness = std::make_shared<TFlushWitness>(task->QueueFileName());
    task->Recorder = witness;
    task->SaveQueue();
    ASSERT_EQ(witness->QueueFileThere.size(), 1u);
    EXPECT_FALSE(witness->QueueFileThere[0]);
    task->Modified = true;
    task->SaveQueueInBackground();
    EXPECT_EQ(witness->QueueFileThere.size(), 2u);
}

} // namespace
} // namespace hx
