#include "schedule/HXRunTask.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/HXApp.h"
#include "core/HXTask.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

class HXRunTaskTest : public ::testing::Test
{
protected:
    test::TTempFolder home;
    THXApp app{THXEnvironment::UnderHome(home.Path().string())};
    THXTask task{app};
};

TEST_F(HXRunTaskTest, CompletedTaskWithErrorsOffersRecovery)
{
    task.Name = "Site";
    task.Status = kStatusTaskComplete;
    task.PagesSaved = 10;
    task.PageErrors = 2;
    task.ResourcesSaved = 7;
    task.ResourceErrors = 1;
    task.TotalPages = 12;
    task.TotalResources = 9;
    const TRunTaskView view = RunTaskView(task);

    EXPECT_EQ(view.Caption, "Harbex - Run Task (Site)");
    EXPECT_EQ(view.Message, "This task has run to completion but contains some URLs which failed to download.");
    EXPECT_TRUE(view.SmartRecoveryEnabled);
    EXPECT_EQ(view.Selected, TRunChoice::Resume);

    EXPECT_EQ(view.Rows[0].Caption, "Downloaded");
    EXPECT_EQ(view.Rows[0].Pages, 8);
    EXPECT_EQ(view.Rows[0].Media, 6);
    EXPECT_EQ(view.Rows[0].Total, 14);
    EXPECT_EQ(view.Rows[1].Caption, "Queued");
    EXPECT_EQ(view.Rows[1].Pages, 2);
    EXPECT_EQ(view.Rows[1].Media, 2);
    EXPECT_EQ(view.Rows[1].Total, 4);
    EXPECT_EQ(view.Rows[2].Caption, "New/Modified");
    EXPECT_TRUE(view.Rows[2].Empty);
    EXPECT_FALSE(view.Rows[0].Empty);
    EXPECT_EQ(view.Rows[3].Caption, "Errors");
    EXPECT_EQ(view.Rows[3].Pages, 2);
    EXPECT_EQ(view.Rows[3].Media, 1);
    EXPECT_EQ(view.Rows[3].Total, 3);
}

TEST_F(HXRunTaskTest, MessageByStatusAndNegativeQueuedCounts)
{
    task.Status = kStatusStopped;
    TRunTaskView view = RunTaskView(task);
    EXPECT_EQ(view.Message, "This task was previously run but is incomplete.");
    EXPECT_FALSE(view.SmartRecoveryEnabled);

    // Errors do not change the message of an incomplete run.
    task.ResourceErrors = 4;
    EXPECT_EQ(RunTaskView(task).Message, "This task was previously run but is incomplete.");
    EXPECT_TRUE(RunTaskView(task).SmartRecoveryEnabled);

    task.ResourceErrors = 0;
    task.Status = kStatusZipped;
    EXPECT_EQ(RunTaskView(task).Message, "This task has successfully run to completion.");

    // Totals below the saved counts show as they are.
    task.PagesSaved = 5;
    task.TotalPages = 3;
    EXPECT_EQ(RunTaskView(task).Rows[1].Pages, -2);

    // Counters at the ends of their range do not overflow the sums.
    task.PagesSaved = std::numeric_limits<std::int32_t>::max();
    task.ResourcesSaved = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(RunTaskView(task).Rows[0].Total, 2LL * std::numeric_limits<std::int32_t>::max());
}

TEST(HXRunChoices, CaptionsDescriptionsAndRunModes)
{
    EXPECT_EQ(RunModeOfChoice(TRunChoice::Restart), kRunRestart);
    EXPECT_EQ(RunModeOfChoice(TRunChoice::Resume), kRunResume);
    EXPECT_EQ(RunModeOfChoice(TRunChoice::SmartUpdate), kRunSmartUpdate);
    EXPECT_EQ(RunModeOfChoice(TRunChoice::SmartRecovery), kRunSmartRecovery);
    EXPECT_EQ(RunChoiceCaption(TRunChoice::SmartUpdate), "SmartUpdate");
    EXPECT_EQ(RunChoiceDescription(TRunChoice::Restart), "Reruns the task again from the start.");
    EXPECT_EQ(RunChoiceDescription(TRunChoice::Resume), "Resumes the task from where it was last stopped.");
    EXPECT_EQ(RunChoiceDescription(TRunChoice::SmartUpdate),
              "Reruns the task and downloads only items which are new or have changed.");
    EXPECT_EQ(RunChoiceDescription(TRunChoice::SmartRecovery), "Retry downloading URL's which have failed");
    // Confirming without touching the buttons: Resume.
    test::TTempFolder home;
    THXApp app(THXEnvironment::UnderHome(home.Path().string()));
    THXTask task(app);
    EXPECT_EQ(RunModeOfChoice(RunTaskView(task).Selected), kRunResume);
}

} // namespace
} // namespace hx
