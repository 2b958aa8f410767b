#pragma once

// Runs harbex-cli itself, as a terminal user does: the program started with a
// HARBEX_HOME of its own (the test's sandbox), its output caught in a file.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

#include "support/HXSandbox.h"

namespace hx::test
{

struct TProgramRun
{
    pid_t Pid = -1;
    std::string OutputFile;
    // Standard error's own file when asked for; empty: it goes with standard output.
    std::string ErrorFile;
};

// Starts harbex-cli with the arguments, HARBEX_HOME set, output into a file.
TProgramRun StartProgram(const std::string& home, const std::vector<std::string>& arguments,
                         bool separateErrors = false);
// Starts harbex-cli with exactly this environment ("NAME=value" entries), its
// output into a new file in `outputFolder`.
TProgramRun StartProgramWith(const std::string& outputFolder, const std::vector<std::string>& arguments,
                             std::vector<std::string> environment, bool separateErrors = false);
// Waits for the program; its exit status (-1 when it did not end in time and was killed).
int WaitProgram(const TProgramRun& run, std::chrono::seconds limit = std::chrono::seconds(120));
std::string ReadText(const std::string& path);

class THXCliTest : public THXSandboxTest
{
protected:
    std::string HomeFolder() const { return Home().Path().string(); }
    // Runs the program to its end; its exit status, its output in `output`.
    int RunProgram(const std::vector<std::string>& arguments, std::string& output);
    // The same with standard error kept apart from standard output.
    int RunProgram(const std::vector<std::string>& arguments, std::string& output, std::string& errors);
};

} // namespace hx::test
