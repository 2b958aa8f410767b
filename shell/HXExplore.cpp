#include "shell/HXExplore.h"

#include <array>
#include <string_view>

#include "core/HXEncoding.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "core/HXURL.h"

namespace hx
{

namespace
{

constexpr char kFieldSeparator = '\xB6';
constexpr std::size_t kFields = 11;

// The eleven fields of a record line; missing fields are empty.
std::array<std::string_view, kFields> SplitFields(std::string_view record)
{
    std::array<std::string_view, kFields> fields{};
    std::size_t start = 0;
    for (std::size_t field = 0; field < kFields && start <= record.size(); ++field)
    {
        const std::size_t end = record.find(kFieldSeparator, start);
        fields[field] = record.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return fields;
}

int FieldInt(std::string_view text, int fallback)
{
    std::int32_t value = 0;
    return TryStrToInt(Trim(text), value) ? value : fallback;
}

// The selection of each command and scope.
bool Affects(TMarkCommand command, TMarkScope scope, const THXQItem& item)
{
    switch (command)
    {
    case TMarkCommand::Download:
        if (scope == TMarkScope::AllErrors)
            return item.State == kStateError;
        if (scope == TMarkScope::AllUnmarked)
            return item.Mode == kModeSkip;
        return true;
    case TMarkCommand::Update:
        return item.State >= kStateSaved;
    case TMarkCommand::Map:
        return item.IsPage();
    case TMarkCommand::Unmark:
        return item.State == kStateNone;
    }
    return false;
}

// The change of each command and scope; the item is loaded.
void Change(THXTask& task, TMarkCommand command, TMarkScope scope, THXQItem& item)
{
    switch (command)
    {
    case TMarkCommand::Download:
        task.SetItemState(item, kStateNone);
        item.Mode = kModeDownload;
        // "All errors" and "All unmarked" keep the last download result.
        if (scope == TMarkScope::Selected || scope == TMarkScope::All)
            task.ClearStatusText(item);
        break;
    case TMarkCommand::Update:
        task.SetItemState(item, kStateNone);
        item.Mode = kModeUpdate;
        break;
    case TMarkCommand::Map:
        task.SetItemState(item, kStateNone);
        item.Mode = kModeMap;
        break;
    case TMarkCommand::Unmark:
        item.Mode = kModeSkip;
        break;
    }
}

} // namespace

TExploreRow ReadExploreRow(const THXTask& task, int pair)
{
    TExploreRow row;
    if (pair < 0)
        return row;
    const std::string record = task.QueueLine(2 * pair + 1);
    row.URL = Cp1252ToUtf8(task.QueueLine(2 * pair));
    const auto fields = SplitFields(record);
    row.State = FieldInt(fields[0], kStateNone);
    row.StatusText = Cp1252ToUtf8(fields[1]);
    row.Group = Cp1252ToUtf8(fields[2]);
    row.Level = FieldInt(fields[4], 0);
    row.Referrer = Cp1252ToUtf8(fields[5]);
    row.LastModified = Cp1252ToUtf8(fields[6]);
    row.Mode = Trim(fields[7]).empty() ? kModeDownload : FieldInt(fields[7], kModeDownload);
    row.Title = Cp1252ToUtf8(fields[8]);
    std::int64_t size = 0;
    row.Size = TryStrToInt64(Trim(fields[9]), size) ? size : 0;
    return row;
}

TMarkImage MarkImageOf(int state, int mode)
{
    if (state <= kStateUpdating)
    {
        if (mode == kModeMap)
            return TMarkImage::Globe;
        if (mode == kModeUpdate)
            return TMarkImage::GlobeArrows;
        return TMarkImage::Square;
    }
    if (state == kStateError)
        return TMarkImage::Error;
    if (state == kStateDownloaded)
        return TMarkImage::Unchanged;
    return TMarkImage::Tick;
}

std::uint32_t RowColorOf(int state)
{
    switch (state)
    {
    case kStateNone:
        return 0x808080;
    case kStateDownloading:
    case kStateUpdating:
        return 0x008000;
    case kStateError:
        return 0xFF0000;
    case kStateUpdated:
        return 0x800000;
    default:
        return 0x000080;
    }
}

bool MarkSavesTask(TMarkCommand command, TMarkScope scope)
{
    // Marking chosen rows for update or mapping leaves the task file as it is.
    return !(scope == TMarkScope::Selected && (command == TMarkCommand::Update || command == TMarkCommand::Map));
}

int MarkItems(THXTask& task, TMarkCommand command, TMarkScope scope, const std::vector<THXQItem*>& selected)
{
    int changed = 0;
    const auto mark = [&](THXQItem& item)
    {
        if (!Affects(command, scope, item))
            return;
        task.ReloadItem(item);
        Change(task, command, scope, item);
        task.CommitItem(item, true);
        ++changed;
    };
    if (scope == TMarkScope::Selected)
    {
        for (THXQItem* item : selected)
            if (item != nullptr)
                mark(*item);
    }
    else
    {
        const int pairs = task.ItemCount();
        for (int pair = 0; pair < pairs; ++pair)
            if (THXQItem* item = task.Item(pair))
                mark(*item);
    }
    if (MarkSavesTask(command, scope))
        task.Save();
    return changed;
}

bool ToggleMark(THXTask& task, THXQItem& item)
{
    // State and mode live in the object, so only a changing item is reloaded.
    if (item.State != kStateNone || (item.Mode != kModeSkip && item.Mode != kModeDownload))
        return false;
    task.ReloadItem(item);
    item.Mode = item.Mode == kModeSkip ? kModeDownload : kModeSkip;
    task.CommitItem(item, true);
    return true;
}

} // namespace hx
