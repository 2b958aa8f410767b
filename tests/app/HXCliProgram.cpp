#include "app/HXCliProgram.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace hx::test
{

using namespace std::chrono_literals;

TProgramRun StartProgram(const std::string& home, const std::vector<std::string>& arguments, bool separateErrors)
{
    return StartProgramWith(
        home, arguments,
        {"HARBEX_HOME=" + home, std::string("HARBEX_DATA_DIR=") + HX_SOURCE_DATA_DIR, "PATH=/usr/bin:/bin"},
        separateErrors);
}

TProgramRun StartProgramWith(const std::string& outputFolder, const std::vector<std::string>& arguments,
                             std::vector<std::string> environment, bool separateErrors)
{
    TProgramRun run;
    // Each run its own file: two programs may run at once.
    run.OutputFile = outputFolder + "/output.txt";
    for (int number = 2; std::filesystem::exists(run.OutputFile); ++number)
        run.OutputFile = outputFolder + "/output-" + std::to_string(number) + ".txt";
    std::vector<std::string> words = {HX_CLI_PROGRAM};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, run.OutputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (separateErrors)
    {
        run.ErrorFile = run.OutputFile + ".err";
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, run.ErrorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    }
    else
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (posix_spawn(&run.Pid, HX_CLI_PROGRAM, &actions, nullptr, argv.data(), envp.data()) != 0)
        run.Pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

int WaitProgram(const TProgramRun& run, std::chrono::seconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < end)
    {
        if (::waitpid(run.Pid, &status, WNOHANG) == run.Pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(20ms);
    }
    ::kill(run.Pid, SIGKILL);
    ::waitpid(run.Pid, &status, 0);
    return -1;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int THXCliTest::RunProgram(const std::vector<std::string>& arguments, std::string& output)
{
    const TProgramRun run = StartProgram(HomeFolder(), arguments);
    EXPECT_GT(run.Pid, 0);
    const int status = WaitProgram(run);
    output = ReadText(run.OutputFile);
    return status;
}

int THXCliTest::RunProgram(const std::vector<std::string>& arguments, std::string& output, std::string& errors)
{
    const TProgramRun run = StartProgram(HomeFolder(), arguments, true);
    EXPECT_GT(run.Pid, 0);
    const int status = WaitProgram(run);
    output = ReadText(run.OutputFile);
    errors = ReadText(run.ErrorFile);
    return status;
}

} // namespace hx::test
