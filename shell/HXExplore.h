#pragma once

// The explore view's engine side: what a row shows of a queue item, the mark
// commands that decide what a later run of the task fetches and the click on a row's
// mark. The addresses a row is browsed at are in core/HXBrowseAddress.h.
//
// Owner thread only, like every change to a task's queue.

#include <cstdint>
#include <string>
#include <vector>

namespace hx
{

class THXTask;
class THXQItem;

// One row's texts as the item's queue lines hold them now.
struct TExploreRow
{
    std::string URL;
    int State = 0;
    std::string StatusText;
    std::string Group;
    int Level = 0;
    std::string Referrer;
    std::string LastModified;
    int Mode = 1;
    std::string Title;
    std::int64_t Size = 0;
};

// Reads the row of queue pair `pair` from the lines (the item's own strings stay
// released). An empty row when the pair does not exist.
TExploreRow ReadExploreRow(const THXTask& task, int pair);

// The picture of a row's mark column.
enum class TMarkImage
{
    Unchanged,   // state 4: the picture stays as it was
    Square,      // not fetched yet: skip or download
    Globe,       // not fetched yet, to map
    GlobeArrows, // not fetched yet, to update
    Error,       // the fetch failed
    Tick         // saved
};

TMarkImage MarkImageOf(int state, int mode);

// A row's text colour by item state, as 0xRRGGBB.
std::uint32_t RowColorOf(int state);

enum class TMarkCommand
{
    Download,
    Update,
    Map,
    Unmark
};

enum class TMarkScope
{
    Selected,
    All,
    AllErrors,  // download only
    AllUnmarked // download only
};

// Applies a mark command to the selected items ("Selected") or to the queue in
// queue order: each affected item is reloaded, changed (state resets go through
// SetItemState so the counters follow, cleared download results through
// ClearStatusText) and committed with release. Saves the task file when the command
// does. Returns how many items changed.
int MarkItems(THXTask& task, TMarkCommand command, TMarkScope scope, const std::vector<THXQItem*>& selected = {});

// Whether the command's scope writes the task file afterwards.
bool MarkSavesTask(TMarkCommand command, TMarkScope scope);

// The click on a row's mark: an item not fetched yet (state 0) turns between skip and
// download; anything else stays. The task file is not saved. True when it changed.
bool ToggleMark(THXTask& task, THXQItem& item);

} // namespace hx
