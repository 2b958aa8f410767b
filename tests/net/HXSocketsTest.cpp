#include "net/HXSockets.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TransferFixture.h"

namespace hx::test
{
namespace
{

// A row that records its refreshes and its own destruction.
class TCountingRow final : public THXSlotRow
{
public:
    TCountingRow(int& alive, std::vector<std::string>& shown)
        : m_alive(alive)
        , m_shown(shown)
    {
        ++m_alive;
    }
    ~TCountingRow() override { --m_alive; }
    void Refresh(const THXSocket& slot) override { m_shown.push_back(slot.ShownStatus); }

private:
    int& m_alive;
    std::vector<std::string>& m_shown;
};

class HXSocketsTest : public TTransferTest
{
};

TEST_F(HXSocketsTest, SlotCountGrowsAtOnceAndShrinksOnlyWithoutATask)
{
    int rows = 0;
    std::vector<std::string> shown;
    slots->OnCreateRow = [&](THXSocket&) { return std::make_unique<TCountingRow>(rows, shown); };

    slots->SetSlotCount(4, true);
    EXPECT_EQ(slots->Count(), 4);
    EXPECT_EQ(rows, 3); // the first slot was made before rows were given
    THXSocket* first = slots->Slot(0);
    THXSocket* fourth = slots->Slot(3);
    EXPECT_EQ(fourth->OwnerList(), slots.get());
    EXPECT_EQ(fourth->ShownStatus, "Idle");
    EXPECT_EQ(fourth->Item(), nullptr);

    // While a task runs the surplus stays for the dispatcher to remove.
    slots->SetSlotCount(2, true);
    EXPECT_EQ(slots->Count(), 4);
    slots->SetSlotCount(2, false);
    EXPECT_EQ(slots->Count(), 2);
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(slots->Slot(0), first); // removed from the end
    EXPECT_FALSE(slots->Contains(fourth));

    // The setting's range is one to sixteen.
    slots->SetSlotCount(0, false);
    EXPECT_EQ(slots->Count(), kMinSlots);
    slots->SetSlotCount(40, false);
    EXPECT_EQ(slots->Count(), kMaxSlots);
    EXPECT_EQ(rows, kMaxSlots - 1);

    // Destroying one slot takes it and its row out of the list.
    THXSocket* middle = slots->Slot(5);
    slots->Destroy(middle);
    EXPECT_EQ(slots->Count(), kMaxSlots - 1);
    EXPECT_FALSE(slots->Contains(middle));
    EXPECT_EQ(rows, kMaxSlots - 2);
    slots->Destroy(middle); // not in the list any more: nothing happens
    EXPECT_EQ(slots->Count(), kMaxSlots - 1);

    // Renewing makes the same number of new slots.
    for (THXSocket* slot : slots->Slots())
        slot->ShownStatus = "old slot";
    slots->Renew();
    EXPECT_EQ(slots->Count(), kMaxSlots - 1);
    for (THXSocket* slot : slots->Slots())
        EXPECT_EQ(slot->ShownStatus, "Idle");
    EXPECT_EQ(rows, kMaxSlots - 1);
    slots.reset();
    EXPECT_EQ(rows, 0);
}

TEST_F(HXSocketsTest, DispatchCycleFindsIdleSlotsAndReapsEndedTransfers)
{
    THXTestServer server(
        [](const TRecordedRequest& request)
        {
            if (request.Target == "/slow.html")
                return TReply().Stall();
            return ResourceReply(request, "<html>" + request.Target + "</html>");
        });
    slots->SetSlotCount(3, false);
    THXQItem* slow = AddItem(server.URL("/slow.html"));
    THXQItem* a = AddItem(server.URL("/a.html"));
    THXQItem* b = AddItem(server.URL("/b.html"));

    EXPECT_EQ(slots->FirstIdle(), slots->Slot(0));
    EXPECT_FALSE(slots->AnyBusy());
    slots->FirstIdle()->Fetch(*slow);
    EXPECT_TRUE(slots->AnyBusy());
    EXPECT_EQ(slots->FirstIdle(), slots->Slot(1));
    slots->FirstIdle()->Fetch(*a);
    slots->FirstIdle()->Fetch(*b);
    EXPECT_EQ(slots->FirstIdle(), nullptr);

    // Both quick transfers end while the slow one still waits.
    ASSERT_TRUE(RunToEnd(*slots->Slot(1)));
    ASSERT_TRUE(RunToEnd(*slots->Slot(2)));
    EXPECT_FALSE(slots->Slot(0)->TransferEnded());
    for (int i = 1; i < 3; ++i)
        Reap(*slots->Slot(i));
    EXPECT_EQ(a->State, kStateSaved);
    EXPECT_EQ(b->State, kStateSaved);
    EXPECT_EQ(slots->Slot(1)->ShownStatus, "Connection closed");
    EXPECT_EQ(slots->Slot(1)->ShownURL, server.URL("/a.html"));
    EXPECT_EQ(slots->Slot(2)->ShownSize, static_cast<std::int64_t>(std::string("<html>/b.html</html>").size()));
    EXPECT_EQ(slots->FirstIdle(), slots->Slot(1));

    // The slow slot shows its progress while it waits.
    slots->Slot(0)->RefreshShown();
    EXPECT_EQ(slots->Slot(0)->ShownURL, server.URL("/slow.html"));
    EXPECT_NE(slots->Slot(0)->ShownStatus, "Idle");

    // The end of a task stops every slot.
    slots->StopAll();
    EXPECT_FALSE(slots->AnyBusy());
    EXPECT_EQ(slots->FirstIdle(), slots->Slot(0));
    task->ReloadItem(*slow);
    EXPECT_EQ(slow->State, kStateDownloading);
}

TEST_F(HXSocketsTest, RefreshShownCopiesTheConnectionAndRefreshesTheRow)
{
    int rows = 0;
    std::vector<std::string> shown;
    Slot().SetRow(std::make_unique<TCountingRow>(rows, shown));
    Slot().RefreshShown(); // nothing fetched yet: nothing to show
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(Slot().ShownStatus, "Idle");

    THXTestServer server([](const TRecordedRequest& request)
                         { return ResourceReply(request, std::string(2048, 'z')); });
    THXQItem* item = AddItem(server.URL("/z.bin"));
    ASSERT_TRUE(FetchToEnd(*item));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Connection closed");
    EXPECT_EQ(Slot().ShownPercent, Slot().Connection().Percent());
    EXPECT_EQ(Slot().ShownBytes, 2048);
    EXPECT_EQ(Slot().ShownSize, 2048);
    // The counted bytes reached the task once, whoever accounted for them.
    const std::int64_t total = task->TotalBytes;
    EXPECT_GE(total, 2048);
    Slot().RefreshShown();
    EXPECT_EQ(task->TotalBytes, total);
}

} // namespace
} // namespace hx::test
