#include "schedule/HXRunTask.h"

#include "core/HXTask.h"

namespace hx
{

namespace
{

TRunSummaryRow Row(std::string caption, std::int64_t pages, std::int64_t media)
{
    TRunSummaryRow row;
    row.Caption = std::move(caption);
    row.Pages = pages;
    row.Media = media;
    row.Total = pages + media;
    return row;
}

} // namespace

TRunTaskView RunTaskView(const THXTask& task)
{
    TRunTaskView view;
    view.Caption = std::string(kRunTaskCaption) + " (" + task.Name + ")";
    // 64-bit sums: counters read from a damaged file cannot overflow here.
    const std::int64_t pageErrors = task.PageErrors;
    const std::int64_t resourceErrors = task.ResourceErrors;
    view.Rows[0] = Row("Downloaded", std::int64_t{task.PagesSaved} - pageErrors,
                       std::int64_t{task.ResourcesSaved} - resourceErrors);
    view.Rows[1] = Row("Queued", std::int64_t{task.TotalPages} - task.PagesSaved,
                       std::int64_t{task.TotalResources} - task.ResourcesSaved);
    view.Rows[2].Caption = "New/Modified";
    view.Rows[2].Empty = true;
    view.Rows[3] = Row("Errors", pageErrors, resourceErrors);

    const bool hasErrors = pageErrors + resourceErrors > 0;
    view.SmartRecoveryEnabled = hasErrors;
    if (task.Status != kStatusZipped && task.Status != kStatusTaskComplete)
        view.Message = "This task was previously run but is incomplete.";
    else if (hasErrors)
        view.Message = "This task has run to completion but contains some URLs which failed to download.";
    else
        view.Message = "This task has successfully run to completion.";
    view.Selected = TRunChoice::Resume;
    return view;
}

std::string RunChoiceCaption(TRunChoice choice)
{
    switch (choice)
    {
    case TRunChoice::Restart:
        return "Restart";
    case TRunChoice::Resume:
        return "Resume";
    case TRunChoice::SmartUpdate:
        return "SmartUpdate";
    case TRunChoice::SmartRecovery:
        return "SmartRecovery";
    }
    return {};
}

std::string RunChoiceDescription(TRunChoice choice)
{
    switch (choice)
    {
    case TRunChoice::Restart:
        return "Reruns the task again from the start.";
    case TRunChoice::Resume:
        return "Resumes the task from where it was last stopped.";
    case TRunChoice::SmartUpdate:
        return "Reruns the task and downloads only items which are new or have changed.";
    case TRunChoice::SmartRecovery:
        return "Retry downloading URL's which have failed";
    }
    return {};
}

int RunModeOfChoice(TRunChoice choice)
{
    switch (choice)
    {
    case TRunChoice::Restart:
        return kRunRestart;
    case TRunChoice::Resume:
        return kRunResume;
    case TRunChoice::SmartUpdate:
        return kRunSmartUpdate;
    case TRunChoice::SmartRecovery:
        return kRunSmartRecovery;
    }
    return kRunResume;
}

} // namespace hx
