#include "monitor/ui/HXStatusFigures.h"

#include <algorithm>
#include <cmath>

namespace hx
{

std::int64_t ElapsedSeconds(TDateTime elapsed)
{
    if (!std::isfinite(elapsed) || elapsed <= 0)
        return 0;
    return std::llround(elapsed * kSecondsPerDay);
}

TElapsedDigits ElapsedDigits(std::int64_t seconds)
{
    seconds = std::max<std::int64_t>(seconds, 0);
    TElapsedDigits digits;
    digits.Hours = static_cast<int>(std::min<std::int64_t>(seconds / 3600, 99));
    digits.Minutes = static_cast<int>(seconds / 60 % 60);
    digits.Seconds = static_cast<int>(seconds % 60);
    return digits;
}

TDecimalFigure KilobytesShown(std::int64_t totalBytes)
{
    totalBytes = std::max<std::int64_t>(totalBytes, 0);
    TDecimalFigure figure;
    figure.Whole = std::min(totalBytes / 1024, kMaxKilobytesShown);
    figure.Fraction = static_cast<int>(totalBytes % 1024 * 10 / 1024);
    return figure;
}

TDecimalFigure RateShown(std::int64_t wholeKilobytes, std::int64_t seconds)
{
    if (seconds < 1 || wholeKilobytes <= 0)
        return {};
    // In hundredths, in whole numbers, so both parts are truncated exactly.
    const std::int64_t hundredths = wholeKilobytes * 100 / seconds;
    TDecimalFigure figure;
    figure.Whole = std::min(hundredths / 100, kMaxRateShown);
    figure.Fraction = static_cast<int>(hundredths % 100);
    return figure;
}

std::string GaugeCaption(std::int64_t progress, std::int64_t maximum)
{
    return std::to_string(progress) + "/" + std::to_string(maximum) + " -> ";
}

int GaugePercent(std::int64_t progress, std::int64_t maximum)
{
    if (maximum <= 0 || progress <= 0)
        return 0;
    return static_cast<int>(std::min<std::int64_t>(progress * 100 / maximum, 100));
}

int ProgressMarks(int percent)
{
    return std::clamp(percent, 0, 100) / 10;
}

std::string SlotProgressText(int percent, std::string_view mark)
{
    if (percent < 0)
        return "  ?";
    std::string text;
    for (int i = 0; i < ProgressMarks(percent); ++i)
        text += mark;
    return text + "  " + std::to_string(percent) + "%";
}

std::string SlotSizeText(std::int64_t size)
{
    return size == 0 ? "?" : std::to_string(size);
}

} // namespace hx
