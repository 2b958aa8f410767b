#pragma once

// Schedules of tasks. A schedule is three fields of the task: Status (1 arms it),
// the schedule text and NextRun. The text takes one of these forms, and its first
// word decides the kind (case-sensitive):
//
//   "Now"                                          run at the next tick
//   "Once at m/d/yyyy  <long time>"                once, at NextRun
//   "Every H hours, M mins"                        again H:M after each run ends
//   "Daily at <long time>"                         every day at that time
//   "Weekly every Mon, Fri at <long time>"         on the named weekdays
//   "m/d/yyyy <short time>"                        the task editor's once-off form
//
// Dates are the application's short date whatever the locale; times follow the
// locale's long (and, in the editor form, short) time format. "Now" is always a
// parameter here, so the rules are checked against any clock.

#include <array>
#include <string>
#include <string_view>

#include "core/HXDateTime.h"

namespace hx
{

class THXTask;

// Where "now" comes from. The program uses the system clock; tests use their own.
class THXClock
{
public:
    virtual ~THXClock() = default;
    virtual TDateTime Now() const = 0;
};

class TSystemClock final : public THXClock
{
public:
    TDateTime Now() const override { return hx::Now(); }
};

// The weekdays of a weekly schedule, Monday first, as the schedule dialog lists them.
using TWeekdays = std::array<bool, 7>;
inline constexpr std::array<std::string_view, 7> kWeekdayNames = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

inline constexpr std::string_view kScheduleNow = "Now";
inline constexpr std::string_view kWeeklyNoDayWarning = "A least one day must be selected for a weekly schedule.";

// --- Texts ---

// Short date, two blanks and the long time: "12/24/1999  10:30:00 PM".
std::string ScheduleMoment(TDateTime value);
// "Once at " + ScheduleMoment.
std::string OnceScheduleText(TDateTime at);
// "Every " + hours + " hours, " + mins + " mins", the edits' texts as typed.
std::string EveryScheduleText(std::string_view hours, std::string_view mins);
// "Daily at " + long time of the time of day.
std::string DailyScheduleText(TDateTime time);
// "Weekly every " + days + " at " + long time.
std::string WeeklyScheduleText(std::string_view days, TDateTime time);
// The task editor's form: short date, one blank, short time.
std::string EditorScheduleText(TDateTime at);
// The ticked days joined by ", " in the order Mon ... Sun; empty when none.
std::string WeeklyDaysText(const TWeekdays& days);
// The weekdays whose three-letter name occurs anywhere in the text.
TWeekdays WeekdaysInText(std::string_view text);

// --- Next run of each kind ---

// The chosen date (its day) plus the chosen time (its time of day).
TDateTime NextRunAtOnce(TDateTime date, TDateTime time);
// now + hours/24 + minutes/1440 days.
TDateTime NextRunAtEvery(TDateTime now, int hours, int minutes);
// Today at the time, or tomorrow when the current time is already later.
TDateTime NextRunAtDaily(TDateTime now, TDateTime time);
// The first ticked weekday at the time, not before now; 0 when no day is ticked.
TDateTime NextRunAtWeekly(TDateTime now, TDateTime time, const TWeekdays& days);

// The hours or minutes edit of an "Every" schedule as the dialog leaves it: empty
// becomes "0", a value above `maximum` becomes the maximum's text; values below
// zero stay as typed. Throws EConvertError ("'x' is not a valid integer value")
// for a text that is not an integer, leaving the text unchanged.
void ClampEveryField(std::string& text, int maximum);
// The strict integer value of such a text; EConvertError when it is not one.
int ScheduleInteger(std::string_view text);

// --- Due test and rescheduling ---

// Status 1, and either the text is exactly "Now" or now has reached NextRun.
bool IsTaskDue(const THXTask& task, TDateTime now);

// Prepares the next run after a run has ended, by the first word of the schedule:
// "Now" clears the schedule and NextRun; "Once" changes nothing; "Every" sets
// NextRun from now; "Daily" and "Weekly" move NextRun on by whole days to the first
// occurrence not before now (weekly: on a day named in the text). The recurring
// kinds set Status 1. The task is saved when something changed; the result says
// whether it did. An "Every" text with a part that is not an integer throws
// EConvertError and leaves the task as it was; a weekly text naming no weekday
// changes nothing (it could never fall due).
bool Reschedule(THXTask& task, TDateTime now);

// The schedule dialog without its widgets: the controls' values in, the texts and
// the next run out. The dialog copies its controls in, calls Update with the kind
// whose control changed, and shows the two labels.
enum class TScheduleKind
{
    At,
    Every,
    Daily,
    Weekly
};

class TScheduleChoice
{
public:
    // As the dialog opens: "At" selected with today's date and the current time,
    // and the update for it already run.
    explicit TScheduleChoice(TDateTime now);

    // Controls.
    TScheduleKind Kind = TScheduleKind::At;
    TDateTime AtDate = 0;
    TDateTime AtTime = 0;
    std::string Hours = "0";
    std::string Mins = "0";
    TDateTime DailyAt = 0.5;
    TDateTime WeeklyAt = 0.5;
    TWeekdays WeeklyTicked{};

    // Results of the last update.
    std::string ScheduleText;
    TDateTime NextRunAt = 0;
    std::string WeeklyDays;
    std::string ScheduleLabel = "Schedule:";
    std::string NextRunLabel = "Next Run:";

    // Selects the kind and works out its texts and next run. For "Every" the edits
    // are clamped first; a non-integer throws EConvertError and the results keep
    // their previous values. A weekly choice without days keeps NextRunAt and the
    // next-run label.
    void Update(TScheduleKind kind, TDateTime now);

    // The warning OK must show instead of closing, or empty when OK may close.
    std::string ConfirmWarning() const;

private:
    void SetNextRun(TDateTime value);
};

// --- A schedule typed as text (the command line) ---

// The schedule a typed text asks for: the text the schedule dialog would write
// and the next run it would work out; an empty text for "Never" (unscheduled).
struct TTypedSchedule
{
    std::string Text;
    TDateTime NextRun = 0;
};

// Reads "Now", "Never", "Every H hours, M mins", "Daily at HH:MM[:SS]",
// "Weekly every Mon, Fri at HH:MM[:SS]" or "Once at m/d/yyyy HH:MM[:SS]" (times
// on the 24-hour clock, first words as written here). Hours and minutes are
// clamped as the dialog's edits clamp them. Throws EConvertError naming the text
// when it is none of these forms.
TTypedSchedule ParseTypedSchedule(std::string_view typed, TDateTime now);

} // namespace hx
