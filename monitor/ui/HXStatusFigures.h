#pragma once

// The figures the status and connections windows show, worked out from the task's
// counters and a slot's shown fields. Plain functions without any window code, so
// the rounding rules can be checked on their own.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/HXDateTime.h"

namespace hx
{

// The largest kilobyte count and rate the digit displays have room for.
inline constexpr std::int64_t kMaxKilobytesShown = 999999;
inline constexpr std::int64_t kMaxRateShown = 999;

// A figure shown as whole part "." fraction digits.
struct TDecimalFigure
{
    std::int64_t Whole = 0;
    int Fraction = 0;
    bool operator==(const TDecimalFigure&) const = default;
};

struct TElapsedDigits
{
    int Hours = 0;
    int Minutes = 0;
    int Seconds = 0;
    bool operator==(const TElapsedDigits&) const = default;
};

// Whole seconds of an elapsed time (days with the time of day as the fraction),
// rounded to the nearest second as the clock digits show it; never negative.
std::int64_t ElapsedSeconds(TDateTime elapsed);
// Hours (at most 99), minutes and seconds of an elapsed time in seconds.
TElapsedDigits ElapsedDigits(std::int64_t seconds);

// Bytes received as kilobytes: bytes / 1024 truncated (at most kMaxKilobytesShown)
// and its first decimal digit, truncated.
TDecimalFigure KilobytesShown(std::int64_t totalBytes);
// The average rate: whole kilobytes / elapsed seconds, its integer part truncated
// (at most kMaxRateShown) and two decimal digits, truncated; 0 before the first second.
TDecimalFigure RateShown(std::int64_t wholeKilobytes, std::int64_t seconds);

// A gauge's caption: "12/40 -> ".
std::string GaugeCaption(std::int64_t progress, std::int64_t maximum);
// How full a gauge is, 0 to 100 (0 when the maximum is not above 0).
int GaugePercent(std::int64_t progress, std::int64_t maximum);

// The connection list's progress cell: "  ?" for an unknown percent, otherwise one
// mark per full ten percent, two blanks, the percent and "%".
int ProgressMarks(int percent);
std::string SlotProgressText(int percent, std::string_view mark);
// The size cell: "?" while the size is not known (0).
std::string SlotSizeText(std::int64_t size);

} // namespace hx
