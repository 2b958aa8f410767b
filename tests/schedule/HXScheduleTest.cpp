#include "schedule/HXSchedule.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

constexpr double kMillisecond = 1.0 / 86400000.0;

TDateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return EncodeDateTime({year, month, day, hour, minute, second});
}

TDateTime TimeOfDay(int hour, int minute, int second = 0)
{
    return (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

// 12 March 2024 is a Tuesday.
const TDateTime kTuesday = At(2024, 3, 12);

TWeekdays Days(std::initializer_list<int> mondayFirst)
{
    TWeekdays days{};
    for (const int day : mondayFirst)
        days[static_cast<std::size_t>(day)] = true;
    return days;
}

TEST(HXScheduleTexts, FormsUseShortDateAndLocaleTimes)
{
    EXPECT_EQ(OnceScheduleText(At(1999, 12, 24, 22, 30)), "Once at 12/24/1999  22:30:00");
    EXPECT_EQ(OnceScheduleText(At(2000, 1, 5, 7, 5, 9)), "Once at 1/5/2000  07:05:09");
    EXPECT_EQ(EditorScheduleText(At(2000, 1, 5, 7, 5, 9)), "1/5/2000 07:05");
    EXPECT_EQ(EveryScheduleText("05", "0"), "Every 05 hours, 0 mins");
    EXPECT_EQ(DailyScheduleText(At(2024, 1, 1, 12)), "Daily at 12:00:00");
    EXPECT_EQ(WeeklyScheduleText("Mon, Fri", TimeOfDay(8, 15)), "Weekly every Mon, Fri at 08:15:00");

    EXPECT_EQ(WeeklyDaysText(Days({0, 2, 6})), "Mon, Wed, Sun");
    EXPECT_EQ(WeeklyDaysText(Days({6, 5})), "Sat, Sun");
    EXPECT_EQ(WeeklyDaysText(Days({})), "");

    // Reading the days back finds the names anywhere, in any order.
    EXPECT_EQ(WeekdaysInText("Weekly every Sun, Mon at 10:00:00"), Days({0, 6}));
    EXPECT_EQ(WeekdaysInText("Weekly every  at 10:00:00"), Days({}));
    EXPECT_EQ(WeekdaysInText("Weekly every mon at 10:00:00"), Days({})) << "names are case-sensitive";
}

TEST(HXScheduleNextRun, DailyTodayUntilTheTimeHasPassed)
{
    const TDateTime now = kTuesday + TimeOfDay(10, 30);
    const TDateTime sameTime = now - kTuesday;

    // Exactly now (to the millisecond) is today; one millisecond earlier is tomorrow.
    EXPECT_EQ(NextRunAtDaily(now, sameTime), now);
    EXPECT_NEAR(NextRunAtDaily(now, sameTime - kMillisecond), now + 1 - kMillisecond, 1e-9);
    EXPECT_NEAR(NextRunAtDaily(now, TimeOfDay(23, 0)), kTuesday + TimeOfDay(23, 0), 1e-9);
    EXPECT_NEAR(NextRunAtDaily(now, TimeOfDay(0, 0)), kTuesday + 1, 1e-9);
    // A picker value that carries a date is taken for its time of day only.
    EXPECT_NEAR(NextRunAtDaily(now, At(1999, 1, 1, 23, 0)), kTuesday + TimeOfDay(23, 0), 1e-9);
}

TEST(HXScheduleNextRun, WeeklyFindsTheFirstTickedDayNotBeforeNow)
{
    const TDateTime now = kTuesday + TimeOfDay(10, 0);
    ASSERT_EQ(DayOfWeek(now), 3) << "fixture date must be a Tuesday";
    const TWeekdays tuesdayOnly = Days({1});

    EXPECT_NEAR(NextRunAtWeekly(now, TimeOfDay(12, 0), tuesdayOnly), kTuesday + TimeOfDay(12, 0), 1e-9);
    EXPECT_NEAR(NextRunAtWeekly(now, TimeOfDay(9, 0), tuesdayOnly), kTuesday + 7 + TimeOfDay(9, 0), 1e-9);
    EXPECT_NEAR(NextRunAtWeekly(now, TimeOfDay(10, 0), tuesdayOnly), now, 1e-9) << "equal time is not later";

    // Monday and Friday from a Tuesday: Friday.
    const TDateTime friday = NextRunAtWeekly(now, TimeOfDay(8, 0), Days({0, 4}));
    EXPECT_NEAR(friday, kTuesday + 3 + TimeOfDay(8, 0), 1e-9);
    EXPECT_EQ(DayOfWeek(friday), 6);
    // Sunday from a Tuesday wraps over the week's end.
    EXPECT_NEAR(NextRunAtWeekly(now, TimeOfDay(8, 0), Days({6})), kTuesday + 5 + TimeOfDay(8, 0), 1e-9);

    EXPECT_EQ(NextRunAtWeekly(now, TimeOfDay(8, 0), Days({})), 0);
}

TEST(HXScheduleNextRun, OnceAndEvery)
{
    EXPECT_NEAR(NextRunAtOnce(At(2024, 3, 12, 23, 59), At(1999, 1, 1, 6, 30)), kTuesday + TimeOfDay(6, 30), 1e-9);

    const TDateTime now = kTuesday + TimeOfDay(22, 0);
    EXPECT_EQ(NextRunAtEvery(now, 0, 0), now);
    EXPECT_NEAR(NextRunAtEvery(now, 2, 30), kTuesday + 1 + TimeOfDay(0, 30), 1e-9);
    EXPECT_NEAR(NextRunAtEvery(now, -1, 0), kTuesday + TimeOfDay(21, 0), 1e-9) << "negative values are kept";
}

TEST(HXScheduleNextRun, EveryFieldsAreClampedAsTyped)
{
    std::string hours = "30";
    ClampEveryField(hours, 23);
    EXPECT_EQ(hours, "23");
    std::string mins = "75";
    ClampEveryField(mins, 59);
    EXPECT_EQ(mins, "59");
    std::string sixty = "60";
    ClampEveryField(sixty, 59);
    EXPECT_EQ(sixty, "59");
    std::string empty;
    ClampEveryField(empty, 23);
    EXPECT_EQ(empty, "0");
    std::string leadingZero = "05";
    ClampEveryField(leadingZero, 23);
    EXPECT_EQ(leadingZero, "05");
    std::string negative = "-4";
    ClampEveryField(negative, 23);
    EXPECT_EQ(negative, "-4");

    std::string bad = "1x";
    try
    {
        ClampEveryField(bad, 23);
        FAIL() << "a non-integer must raise the conversion error";
    }
    catch (const EConvertError& error)
    {
        EXPECT_STREQ(error.what(), "'1x' is not a valid integer value");
    }
    EXPECT_EQ(bad, "1x");
}

TEST(HXScheduleTyped, TypedFormsGiveTheDialogsTextsAndNextRuns)
{
    const TDateTime now = kTuesday + TimeOfDay(10, 30, 15);
    const auto typed = [now](std::string_view text) { return ParseTypedSchedule(text, now); };

    EXPECT_EQ(typed("Now").Text, "Now");
    EXPECT_EQ(typed("Never").Text, "");
    EXPECT_EQ(typed("Never").NextRun, 0);

    const TTypedSchedule every = typed("Every 2 hours, 30 mins");
    EXPECT_EQ(every.Text, "Every 2 hours, 30 mins");
    EXPECT_NEAR(every.NextRun, kTuesday + TimeOfDay(13, 0, 15), 1e-9);
    // Clamped as the dialog's edits clamp.
    EXPECT_EQ(typed("Every 30 hours, 75 mins").Text, "Every 23 hours, 59 mins");

    const TTypedSchedule daily = typed("Daily at 03:00");
    EXPECT_EQ(daily.Text, "Daily at 03:00:00");
    EXPECT_NEAR(daily.NextRun, kTuesday + 1 + TimeOfDay(3, 0), 1e-9) << "the time has passed today";
    EXPECT_NEAR(typed("Daily at 22:15:30").NextRun, kTuesday + TimeOfDay(22, 15, 30), 1e-9);

    const TTypedSchedule weekly = typed("Weekly every Mon, Fri at 08:15");
    EXPECT_EQ(weekly.Text, "Weekly every Mon, Fri at 08:15:00");
    EXPECT_NEAR(weekly.NextRun, kTuesday + 3 + TimeOfDay(8, 15), 1e-9);
    EXPECT_EQ(typed("Weekly every Sun, Mon at 10:00").Text, "Weekly every Mon, Sun at 10:00:00");

    const TTypedSchedule once = typed("Once at 12/24/2025 22:30");
    EXPECT_EQ(once.Text, "Once at 12/24/2025  22:30:00");
    EXPECT_NEAR(once.NextRun, At(2025, 12, 24, 22, 30), 1e-9);

    for (const std::string_view bad :
         {"", "now", "Sometimes", "Every 2 hours", "Every x hours, 3 mins", "Every -1 hours, 0 mins", "Daily at 25:00",
          "Daily at 3", "Daily at 03:00 PM", "Weekly every at 10:00", "Weekly every Mon, Xyz at 10:00",
          "Once at 2/30/2025 10:00", "Once at tomorrow", "Never again"})
    {
        try
        {
            typed(bad);
            ADD_FAILURE() << "accepted \"" << bad << "\"";
        }
        catch (const EConvertError& error)
        {
            EXPECT_NE(std::string(error.what()).find(std::string(bad)), std::string::npos) << error.what();
        }
    }
}

TEST(HXScheduleChoice, OpensOnAtAndUpdatesEachKind)
{
    const TDateTime now = kTuesday + TimeOfDay(10, 30, 15);
    TScheduleChoice choice(now);
    // Opened and confirmed at once: once, at this moment.
    EXPECT_EQ(choice.Kind, TScheduleKind::At);
    EXPECT_EQ(choice.ScheduleText, "Once at 3/12/2024  10:30:15");
    EXPECT_NEAR(choice.NextRunAt, now, 1e-9);
    EXPECT_EQ(choice.ScheduleLabel, " Run once at 3/12/2024  10:30:15");
    EXPECT_EQ(choice.NextRunLabel, " Next Run: 3/12/2024  10:30:15");
    EXPECT_EQ(choice.ConfirmWarning(), "");

    choice.Hours = "30";
    choice.Mins = "";
    choice.Update(TScheduleKind::Every, now);
    EXPECT_EQ(choice.Hours, "23");
    EXPECT_EQ(choice.Mins, "0");
    EXPECT_EQ(choice.ScheduleText, "Every 23 hours, 0 mins");
    EXPECT_EQ(choice.ScheduleLabel, " Run every 23 hours, 0 mins");
    EXPECT_EQ(choice.NextRunLabel, " Next Run: 3/13/2024  09:30:15");

    // A bad entry stops the update: the labels keep what they showed.
    choice.Mins = "abc";
    EXPECT_THROW(choice.Update(TScheduleKind::Every, now), EConvertError);
    EXPECT_EQ(choice.ScheduleText, "Every 23 hours, 0 mins");
    EXPECT_EQ(choice.NextRunLabel, " Next Run: 3/13/2024  09:30:15");

    choice.DailyAt = TimeOfDay(9, 0);
    choice.Update(TScheduleKind::Daily, now);
    EXPECT_EQ(choice.ScheduleText, "Daily at 09:00:00");
    EXPECT_EQ(choice.ScheduleLabel, " Run daily at 09:00:00");
    EXPECT_NEAR(choice.NextRunAt, kTuesday + 1 + TimeOfDay(9, 0), 1e-9);

    // Weekly without a day: the texts follow, the next run stays, OK is refused.
    choice.WeeklyAt = TimeOfDay(18, 0);
    choice.Update(TScheduleKind::Weekly, now);
    EXPECT_EQ(choice.WeeklyDays, "");
    EXPECT_EQ(choice.ScheduleText, "Weekly every  at 18:00:00");
    EXPECT_EQ(choice.ScheduleLabel, " Run every  of every week at 18:00:00");
    EXPECT_NEAR(choice.NextRunAt, kTuesday + 1 + TimeOfDay(9, 0), 1e-9);
    EXPECT_EQ(choice.NextRunLabel, " Next Run: 3/13/2024  09:00:00");
    EXPECT_EQ(choice.ConfirmWarning(), kWeeklyNoDayWarning);

    choice.WeeklyTicked = Days({3, 0});
    choice.Update(TScheduleKind::Weekly, now);
    EXPECT_EQ(choice.WeeklyDays, "Mon, Thu");
    EXPECT_EQ(choice.ScheduleText, "Weekly every Mon, Thu at 18:00:00");
    EXPECT_NEAR(choice.NextRunAt, kTuesday + 2 + TimeOfDay(18, 0), 1e-9);
    EXPECT_EQ(choice.ConfirmWarning(), "");
}

class HXScheduleTaskTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
        task = std::make_shared<THXTask>(*app);
        task->Name = "Site";
        task->FileName = app->TasksFolder() + "General/Site.hxt";
    }

    // The task as its file holds it now.
    std::shared_ptr<THXTask> Stored() const
    {
        auto stored = std::make_shared<THXTask>(*app);
        stored->FileName = task->FileName;
        stored->Load();
        return stored;
    }

    std::unique_ptr<THXApp> app;
    std::shared_ptr<THXTask> task;
};

TEST_F(HXScheduleTaskTest, DueOnlyWhenScheduledAndNowOrTimeReached)
{
    const TDateTime now = kTuesday + TimeOfDay(12, 0);
    task->Status = kStatusScheduled;
    task->Schedule = "Daily at 12:00:00";
    task->NextRun = now;
    EXPECT_TRUE(IsTaskDue(*task, now));
    EXPECT_FALSE(IsTaskDue(*task, now - kMillisecond));

    task->Schedule = "Now";
    task->NextRun = now + 10;
    EXPECT_TRUE(IsTaskDue(*task, now));
    // "Now" with more after it is not the "Now" schedule for the due test.
    task->Schedule = "Now please";
    EXPECT_FALSE(IsTaskDue(*task, now));

    for (const int status : {0, 2, 3, 4, 5, 6, 7, 8})
    {
        task->Status = status;
        task->Schedule = "Now";
        task->NextRun = 1;
        EXPECT_FALSE(IsTaskDue(*task, now)) << "status " << status;
    }
}

TEST_F(HXScheduleTaskTest, RescheduleNowAndOnce)
{
    const TDateTime now = kTuesday + TimeOfDay(12, 0);
    task->Status = kStatusTaskComplete;
    task->Schedule = "Now and then";
    task->NextRun = now - 1;
    EXPECT_TRUE(Reschedule(*task, now));
    EXPECT_EQ(task->Schedule, "");
    EXPECT_EQ(task->NextRun, 0);
    EXPECT_EQ(task->Status, kStatusTaskComplete) << "the status is not touched";
    EXPECT_EQ(Stored()->Schedule, "") << "the change is saved";

    task->Schedule = "Once at 3/12/2024  10:00:00";
    task->NextRun = kTuesday + TimeOfDay(10, 0);
    EXPECT_FALSE(Reschedule(*task, now));
    EXPECT_EQ(task->Schedule, "Once at 3/12/2024  10:00:00");
    EXPECT_EQ(task->NextRun, kTuesday + TimeOfDay(10, 0));
    EXPECT_EQ(Stored()->Schedule, "") << "nothing is saved";

    // The editor's form and an empty text change nothing; nothing is written.
    auto other = std::make_shared<THXTask>(*app);
    other->FileName = app->TasksFolder() + "General/Other.hxt";
    other->Schedule = "3/12/2024 10:00";
    EXPECT_FALSE(Reschedule(*other, now));
    other->Schedule = "";
    EXPECT_FALSE(Reschedule(*other, now));
    EXPECT_FALSE(FileExists(other->FileName));
}

TEST_F(HXScheduleTaskTest, RescheduleEveryCountsFromTheEndOfTheRun)
{
    const TDateTime runEnd = kTuesday + TimeOfDay(15, 40);
    task->Status = kStatusTaskComplete;
    task->Schedule = "Every 2 hours, 30 mins";
    task->NextRun = kTuesday + TimeOfDay(9, 0);
    EXPECT_TRUE(Reschedule(*task, runEnd));
    EXPECT_NEAR(task->NextRun, kTuesday + TimeOfDay(18, 10), 1e-9);
    EXPECT_EQ(task->Status, kStatusScheduled);
    EXPECT_EQ(Stored()->Status, kStatusScheduled);
    ASSERT_EQ(app->ActiveTasks.size(), 1u) << "armed again: back in the active-task list";

    // 0 hours and 0 minutes: due again at once.
    task->Schedule = "Every 0 hours, 0 mins";
    EXPECT_TRUE(Reschedule(*task, runEnd));
    EXPECT_EQ(task->NextRun, runEnd);
    EXPECT_TRUE(IsTaskDue(*task, runEnd));

    // A damaged text raises the conversion error and leaves the task alone.
    task->Status = kStatusStopped;
    task->Schedule = "Every x hours, 30 mins";
    task->NextRun = 5;
    try
    {
        Reschedule(*task, runEnd);
        FAIL() << "expected a conversion error";
    }
    catch (const EConvertError& error)
    {
        EXPECT_STREQ(error.what(), "'x' is not a valid integer value");
    }
    EXPECT_EQ(task->NextRun, 5);
    EXPECT_EQ(task->Status, kStatusStopped);
    task->Schedule = "Every 1 hours, 3O mins";
    EXPECT_THROW(Reschedule(*task, runEnd), EConvertError);
    EXPECT_EQ(task->NextRun, 5);
}

TEST_F(HXScheduleTaskTest, RescheduleDailySkipsMissedRuns)
{
    // Due Tuesday 08:00; the run lasted three days and ended Friday 09:00.
    task->Status = kStatusTaskComplete;
    task->Schedule = "Daily at 08:00:00";
    task->NextRun = kTuesday + TimeOfDay(8, 0);
    EXPECT_TRUE(Reschedule(*task, kTuesday + 3 + TimeOfDay(9, 0)));
    EXPECT_NEAR(task->NextRun, kTuesday + 4 + TimeOfDay(8, 0), 1e-9);
    EXPECT_EQ(task->Status, kStatusScheduled);

    // A run ending before the next occurrence leaves it where it is.
    EXPECT_TRUE(Reschedule(*task, kTuesday + 3 + TimeOfDay(10, 0)));
    EXPECT_NEAR(task->NextRun, kTuesday + 4 + TimeOfDay(8, 0), 1e-9);

    // A next run years back (a hand-edited file) still lands on the first occurrence.
    task->NextRun = At(2001, 6, 1, 8, 0);
    EXPECT_TRUE(Reschedule(*task, kTuesday + TimeOfDay(9, 0)));
    EXPECT_NEAR(task->NextRun, kTuesday + 1 + TimeOfDay(8, 0), 1e-6);
    EXPECT_NEAR(Stored()->NextRun, kTuesday + 1 + TimeOfDay(8, 0), 1e-5);
}

TEST_F(HXScheduleTaskTest, RescheduleWeeklyByTheDaysNamedInTheText)
{
    task->Status = kStatusTaskComplete;
    task->Schedule = "Weekly every Mon, Fri at 08:00:00";
    task->NextRun = kTuesday - 1 + TimeOfDay(8, 0); // the Monday run
    EXPECT_TRUE(Reschedule(*task, kTuesday + TimeOfDay(11, 0)));
    EXPECT_NEAR(task->NextRun, kTuesday + 3 + TimeOfDay(8, 0), 1e-9);
    EXPECT_EQ(DayOfWeek(task->NextRun), 6);
    EXPECT_EQ(task->Status, kStatusScheduled);

    // From Friday's run: the next Monday.
    EXPECT_TRUE(Reschedule(*task, kTuesday + 3 + TimeOfDay(8, 30)));
    EXPECT_NEAR(task->NextRun, kTuesday + 6 + TimeOfDay(8, 0), 1e-9);

    // A text naming no weekday can never fall due: nothing changes.
    task->Status = kStatusStopped;
    task->Schedule = "Weekly every  at 08:00:00";
    task->NextRun = 7;
    EXPECT_FALSE(Reschedule(*task, kTuesday));
    EXPECT_EQ(task->NextRun, 7);
    EXPECT_EQ(task->Status, kStatusStopped);
}

} // namespace
} // namespace hx
