#pragma once

// The first-run set-up of the program folder and settings, run at every start
// before the windows appear. It does its work once per version: when the
// "Version" mark already holds this version and the program folder has its skins
// folder, nothing happens.

#include <functional>
#include <string>
#include <vector>

namespace hx
{

class THXApp;

struct TFirstRunResult
{
    bool ran = false;                  // the set-up was done (not skipped by the version mark)
    std::vector<std::string> seeded;   // files copied from the installed data into the program folder
    std::vector<std::string> moved;    // loose task and queue files moved into "General"
    std::vector<std::string> problems; // what could not be done, in the user's words
};

struct TFirstRunOptions
{
    // Detects a proxy configured for the system's browsers and offers it; the
    // preferences window provides it. Not called when empty.
    std::function<void()> detectProxy;
};

// Copies every file of the installed data folder that the program folder lacks
// (files already there are never overwritten); returns the relative paths copied.
std::vector<std::string> SeedProgramFolder(const std::string& dataFolder, const std::string& programFolder);

TFirstRunResult FirstRunSetup(THXApp& app, const TFirstRunOptions& options = {});

} // namespace hx
