#pragma once

// What the run task dialog shows and decides, without its widgets: the summary of
// the previous runs, the message, which choices are offered, the descriptions, and
// the run mode each choice sets. The dialog is shown only for a task whose queue
// holds entries; "Resume" is always preselected.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace hx
{

class THXTask;

enum class TRunChoice
{
    Restart,
    Resume,
    SmartUpdate,
    SmartRecovery
};

// One row of the summary grid: its caption and the Pages, Media and Total columns.
// The "New/Modified" row is shown empty.
struct TRunSummaryRow
{
    std::string Caption;
    bool Empty = false;
    std::int64_t Pages = 0;
    std::int64_t Media = 0;
    std::int64_t Total = 0;
};

struct TRunTaskView
{
    std::string Caption;
    // "Downloaded", "Queued", "New/Modified", "Errors".
    std::array<TRunSummaryRow, 4> Rows;
    std::string Message;
    bool SmartRecoveryEnabled = false;
    TRunChoice Selected = TRunChoice::Resume;
};

inline constexpr std::string_view kRunTaskCaption = "Harbex - Run Task";
inline constexpr std::array<std::string_view, 3> kRunSummaryColumns = {"Pages", "Media", "Total"};

// Everything the dialog shows for the task when it opens.
TRunTaskView RunTaskView(const THXTask& task);

// The radio button's caption and the description shown while it is selected.
std::string RunChoiceCaption(TRunChoice choice);
std::string RunChoiceDescription(TRunChoice choice);

// The task's RunMode for a choice: Restart 0, Resume 1, SmartUpdate 2, SmartRecovery 3.
int RunModeOfChoice(TRunChoice choice);

} // namespace hx
