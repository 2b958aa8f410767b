#pragma once

// Removing the temporary folder when the program closes. Zip-mode runs write every
// fetched file there before it enters the archive, and browsing an archive extracts
// it there; none of it is needed once the program has gone. The folder is removed
// only when its path names it as the program's own (it contains "harbex", in any
// letter case), and the removal never leaves the folder: a link inside it is removed
// as a link, whatever it points to.
//
// Threads: any thread; the window runs it from its close sequence behind a progress
// window.

#include <cstdint>
#include <functional>
#include <string>

namespace hx
{

class THXApp;

// Files removed so far and the files the folder held when the removal began.
using TRemovalProgress = std::function<void(std::int64_t removed, std::int64_t total)>;

enum class TRemovalOutcome
{
    Removed, // the folder and everything in it are gone
    Absent,  // there was no such folder
    Refused, // the folder is not one the program may remove; nothing was touched
    Failed   // something could not be removed; what could be is gone
};

struct TFolderRemoval
{
    TRemovalOutcome Outcome = TRemovalOutcome::Absent;
    // Why the folder was refused or what failed; empty otherwise.
    std::string Text;
};

// Removes the folder and everything below it without following links: each folder is
// opened without following a link in its place and walked through its handle, so a
// link swapped in during the walk is removed as a link too. A path that is itself a
// link is refused.
TFolderRemoval RemoveFolderTree(const std::string& folder, const TRemovalProgress& progress = {});

// The close step: removes the app's temporary folder when its path, in lower case,
// contains "harbex". Also refused: the root, the home folder and any folder that holds
// the program folder, the downloads folder or the Personal Intranet folder.
TFolderRemoval RemoveTemporaryFolder(THXApp& app, const TRemovalProgress& progress = {});

} // namespace hx
