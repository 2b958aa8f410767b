#include "schedule/HXSchedule.h"

#include <algorithm>
#include <cmath>
#include <regex>

#include "core/HXStrings.h"
#include "core/HXTask.h"

namespace hx
{

namespace
{

constexpr double kMinutesPerDay = 1440.0;
constexpr double kHoursPerDay = 24.0;

TDateTime DatePart(TDateTime value)
{
    return std::floor(value);
}

TDateTime TimePart(TDateTime value)
{
    return value - std::floor(value);
}

// The dialog's weekday array (Monday first) read with Sunday = 0 ... Saturday = 6.
bool IsTicked(const TWeekdays& days, TDateTime value)
{
    const int sundayFirst = DayOfWeek(value) - 1;
    return days[static_cast<std::size_t>((sundayFirst + 6) % 7)];
}

bool AnyTicked(const TWeekdays& days)
{
    for (const bool day : days)
    {
        if (day)
            return true;
    }
    return false;
}

// Moves the value on by whole days until it is not before now. A value far in the
// past (a hand-edited file, a machine that was off for months) jumps at once.
TDateTime AdvanceToNow(TDateTime value, TDateTime now)
{
    if (now > value)
        value += std::floor(now - value);
    while (now > value)
        value += 1;
    return value;
}

// From the value on, the first moment not before now that falls on a ticked day.
TDateTime AdvanceToTickedDay(TDateTime value, TDateTime now, const TWeekdays& days)
{
    value = AdvanceToNow(value, now);
    for (int step = 0; step < 7 && !IsTicked(days, value); ++step)
        value += 1;
    return value;
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

std::string ScheduleMoment(TDateTime value)
{
    return FormatShortDate(value) + "  " + FormatLongTime(value);
}

std::string OnceScheduleText(TDateTime at)
{
    return "Once at " + ScheduleMoment(at);
}

std::string EveryScheduleText(std::string_view hours, std::string_view mins)
{
    return "Every " + std::string(hours) + " hours, " + std::string(mins) + " mins";
}

std::string DailyScheduleText(TDateTime time)
{
    return "Daily at " + FormatLongTime(TimePart(time));
}

std::string WeeklyScheduleText(std::string_view days, TDateTime time)
{
    return "Weekly every " + std::string(days) + " at " + FormatLongTime(TimePart(time));
}

std::string EditorScheduleText(TDateTime at)
{
    return FormatShortDate(at) + " " + FormatShortTime(at);
}

std::string WeeklyDaysText(const TWeekdays& days)
{
    std::string text;
    for (std::size_t day = 0; day < days.size(); ++day)
    {
        if (!days[day])
            continue;
        if (!text.empty())
            text += ", ";
        text += kWeekdayNames[day];
    }
    return text;
}

TWeekdays WeekdaysInText(std::string_view text)
{
    TWeekdays days{};
    for (std::size_t day = 0; day < days.size(); ++day)
        days[day] = text.find(kWeekdayNames[day]) != std::string_view::npos;
    return days;
}

TDateTime NextRunAtOnce(TDateTime date, TDateTime time)
{
    return DatePart(date) + TimePart(time);
}

TDateTime NextRunAtEvery(TDateTime now, int hours, int minutes)
{
    return now + hours / kHoursPerDay + minutes / kMinutesPerDay;
}

TDateTime NextRunAtDaily(TDateTime now, TDateTime time)
{
    const TDateTime timeOfDay = TimePart(time);
    const TDateTime today = DatePart(now);
    // Equal times give today: the run is due at once.
    return TimePart(now) > timeOfDay ? today + 1 + timeOfDay : today + timeOfDay;
}

TDateTime NextRunAtWeekly(TDateTime now, TDateTime time, const TWeekdays& days)
{
    if (!AnyTicked(days))
        return 0;
    TDateTime next = DatePart(now) + TimePart(time);
    for (int step = 0; step < 8 && (now > next || !IsTicked(days, next)); ++step)
        next += 1;
    return next;
}

int ScheduleInteger(std::string_view text)
{
    std::int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    return value;
}

void ClampEveryField(std::string& text, int maximum)
{
    if (text.empty())
        text = "0";
    if (ScheduleInteger(text) > maximum)
        text = std::to_string(maximum);
}

bool IsTaskDue(const THXTask& task, TDateTime now)
{
    if (task.Status != kStatusScheduled)
        return false;
    return task.Schedule == kScheduleNow || now >= task.NextRun;
}

bool Reschedule(THXTask& task, TDateTime now)
{
    const std::string& text = task.Schedule;
    if (StartsWith(text, "Now"))
    {
        task.NextRun = 0;
        task.Schedule.clear();
    }
    else if (StartsWith(text, "Every"))
    {
        // Both parts are read before anything changes, so a damaged text leaves the task alone.
        const int hours = ScheduleInteger(TextBetween(text, "Every ", " hours"));
        const int minutes = ScheduleInteger(TextBetween(text, "hours, ", " mins"));
        task.NextRun = NextRunAtEvery(now, hours, minutes);
        task.Status = kStatusScheduled;
    }
    else if (StartsWith(text, "Daily"))
    {
        task.NextRun = AdvanceToNow(task.NextRun, now);
        task.Status = kStatusScheduled;
    }
    else if (StartsWith(text, "Weekly"))
    {
        const TWeekdays days = WeekdaysInText(text);
        if (!AnyTicked(days))
            return false;
        task.NextRun = AdvanceToTickedDay(task.NextRun, now, days);
        task.Status = kStatusScheduled;
    }
    else
    {
        return false;
    }
    task.Save();
    return true;
}

TScheduleChoice::TScheduleChoice(TDateTime now)
    : AtDate(DatePart(now))
    , AtTime(TimePart(now))
{
    Update(TScheduleKind::At, now);
}

void TScheduleChoice::SetNextRun(TDateTime value)
{
    NextRunAt = value;
    NextRunLabel = " Next Run: " + ScheduleMoment(value);
}

void TScheduleChoice::Update(TScheduleKind kind, TDateTime now)
{
    Kind = kind;
    switch (kind)
    {
    case TScheduleKind::At:
    {
        SetNextRun(NextRunAtOnce(AtDate, AtTime));
        ScheduleText = "Once at " + ScheduleMoment(NextRunAt);
        ScheduleLabel = " Run once at " + ScheduleMoment(NextRunAt);
        break;
    }
    case TScheduleKind::Every:
    {
        // The edits are clamped one after the other, as typed: an error in the
        // minutes keeps the hours already corrected.
        ClampEveryField(Hours, 23);
        ClampEveryField(Mins, 59);
        SetNextRun(NextRunAtEvery(now, ScheduleInteger(Hours), ScheduleInteger(Mins)));
        ScheduleText = EveryScheduleText(Hours, Mins);
        ScheduleLabel = " Run every " + Hours + " hours, " + Mins + " mins";
        break;
    }
    case TScheduleKind::Daily:
    {
        SetNextRun(NextRunAtDaily(now, DailyAt));
        ScheduleText = DailyScheduleText(DailyAt);
        ScheduleLabel = " Run daily at " + FormatLongTime(TimePart(DailyAt));
        break;
    }
    case TScheduleKind::Weekly:
    {
        WeeklyDays = WeeklyDaysText(WeeklyTicked);
        ScheduleLabel = " Run every " + WeeklyDays + " of every week at " + FormatLongTime(TimePart(WeeklyAt));
        ScheduleText = WeeklyScheduleText(WeeklyDays, WeeklyAt);
        if (!WeeklyDays.empty())
            SetNextRun(NextRunAtWeekly(now, WeeklyAt, WeeklyTicked));
        break;
    }
    }
}

std::string TScheduleChoice::ConfirmWarning() const
{
    if (Kind == TScheduleKind::Weekly && WeeklyDays.empty())
        return std::string(kWeeklyNoDayWarning);
    return {};
}

namespace
{

using TTextMatch = std::match_results<std::string_view::const_iterator>;

bool MatchWhole(std::string_view text, const std::regex& form, TTextMatch& match)
{
    return std::regex_match(text.begin(), text.end(), match, form);
}

int MatchedNumber(const TTextMatch& match, std::size_t index)
{
    return match[index].matched ? std::stoi(match[index].str()) : 0;
}

// "HH:MM" or "HH:MM:SS" on the 24-hour clock as a time of day; false otherwise.
bool ReadClockTime(std::string_view text, TDateTime& time)
{
    static const std::regex form(R"((\d{1,2}):(\d{2})(?::(\d{2}))?)");
    TTextMatch match;
    if (!MatchWhole(text, form, match))
        return false;
    TDateParts parts;
    parts.hour = MatchedNumber(match, 1);
    parts.minute = MatchedNumber(match, 2);
    parts.second = MatchedNumber(match, 3);
    return TryEncodeDateTime(parts, time);
}

// "Mon, Fri" (names as the dialog's boxes read, in any order); false for an
// unknown name or no name at all.
bool ReadWeekdays(std::string_view text, TWeekdays& days)
{
    days = {};
    bool any = false;
    std::size_t start = 0;
    while (start <= text.size())
    {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        std::string_view name = text.substr(start, comma - start);
        while (!name.empty() && name.front() == ' ')
            name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ')
            name.remove_suffix(1);
        const auto found = std::find(kWeekdayNames.begin(), kWeekdayNames.end(), name);
        if (found == kWeekdayNames.end())
            return false;
        days[static_cast<std::size_t>(found - kWeekdayNames.begin())] = true;
        any = true;
        start = comma + 1;
    }
    return any;
}

} // namespace

TTypedSchedule ParseTypedSchedule(std::string_view typed, TDateTime now)
{
    static const std::regex every(R"(Every (\d+) hours, (\d+) mins)");
    static const std::regex daily(R"(Daily at (\S+))");
    static const std::regex weekly(R"(Weekly every (.+) at (\S+))");
    static const std::regex once(R"(Once at (\d{1,2})/(\d{1,2})/(\d{4}) +(\S+))");

    if (typed == kScheduleNow)
        return TTypedSchedule{std::string(kScheduleNow), 0};
    if (typed == "Never")
        return TTypedSchedule{};

    TScheduleChoice choice(now);
    TTextMatch match;
    bool known = false;
    if (MatchWhole(typed, every, match))
    {
        choice.Hours = match[1].str();
        choice.Mins = match[2].str();
        choice.Update(TScheduleKind::Every, now);
        known = true;
    }
    else if (MatchWhole(typed, daily, match) && ReadClockTime(match[1].str(), choice.DailyAt))
    {
        choice.Update(TScheduleKind::Daily, now);
        known = true;
    }
    else if (MatchWhole(typed, weekly, match) && ReadWeekdays(match[1].str(), choice.WeeklyTicked) &&
             ReadClockTime(match[2].str(), choice.WeeklyAt))
    {
        choice.Update(TScheduleKind::Weekly, now);
        known = true;
    }
    else if (MatchWhole(typed, once, match) && ReadClockTime(match[4].str(), choice.AtTime))
    {
        TDateParts date;
        date.month = MatchedNumber(match, 1);
        date.day = MatchedNumber(match, 2);
        date.year = MatchedNumber(match, 3);
        if (TryEncodeDateTime(date, choice.AtDate))
        {
            choice.Update(TScheduleKind::At, now);
            known = true;
        }
    }
    if (!known)
        throw EConvertError("'" + std::string(typed) +
                            "' is not a schedule: give \"Now\", \"Never\", \"Every H hours, M mins\", \"Daily at "
                            "HH:MM\", \"Weekly every Mon, Fri at HH:MM\" or \"Once at m/d/yyyy HH:MM\"");
    return TTypedSchedule{choice.ScheduleText, choice.NextRunAt};
}

} // namespace hx
