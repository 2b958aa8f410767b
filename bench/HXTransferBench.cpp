// Transfer benchmark on loopback against nginx: one large file and many small
// files fetched by the connection slots (HEAD then GET per file, as a crawl does),
// with wget fetching the same files in the same run for comparison.
//
//     hx_bench_transfer [--big-mb 200] [--files 2000] [--streams 16]
//
// Needs nginx and wget on the machine. Prints one line per measurement: wall
// seconds, CPU seconds (user + system), peak resident memory, MB/s or files/s.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXOwner.h"
#include "core/HXTask.h"
#include "net/HXSockets.h"

extern char** environ;

namespace
{

using namespace hx;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

struct TOptions
{
    int BigMB = 200;
    int Files = 2000;
    int Streams = 16;
};

struct TUsage
{
    double Wall = 0;
    double CPU = 0;
    long PeakKB = 0;
};

double Seconds(const timeval& value)
{
    return static_cast<double>(value.tv_sec) + static_cast<double>(value.tv_usec) / 1e6;
}

double SelfCPU()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

long SelfPeakKB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string FindProgram(const std::string& name)
{
    std::string paths = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    paths += ":/usr/sbin:/sbin";
    std::stringstream list(paths);
    std::string folder;
    while (std::getline(list, folder, ':'))
    {
        if (!folder.empty() && ::access((folder + "/" + name).c_str(), X_OK) == 0)
            return folder + "/" + name;
    }
    return {};
}

pid_t Spawn(const std::vector<std::string>& arguments, const std::string& logFile)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

std::uint16_t FreePort()
{
    const int handle = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(handle);
    return ntohs(address.sin_port);
}

bool Answers(std::uint16_t port)
{
    const int handle = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(handle, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(handle);
    return connected;
}

// nginx in the foreground on a free port, serving `root`; small files are also
// reachable as /s<N>/<name> so every stream has a folder of its own.
class TNginx
{
public:
    TNginx(const std::string& dir, const std::string& root)
    {
        const std::string program = FindProgram("nginx");
        for (int attempt = 0; attempt < 4 && m_pid < 0 && !program.empty(); ++attempt)
        {
            m_port = FreePort();
            std::ofstream conf(dir + "nginx.conf", std::ios::trunc);
            conf << "master_process off;\nworker_processes 1;\npid " << dir << "nginx.pid;\n"
                 << "error_log " << dir << "error.log warn;\nworker_rlimit_nofile 8192;\n"
                 << "events { worker_connections 4096; }\n"
                 << "http {\n  access_log off;\n  sendfile on;\n  tcp_nopush on;\n"
                 << "  client_body_temp_path " << dir << "body;\n  proxy_temp_path " << dir << "proxy;\n"
                 << "  fastcgi_temp_path " << dir << "fastcgi;\n  uwsgi_temp_path " << dir << "uwsgi;\n"
                 << "  scgi_temp_path " << dir << "scgi;\n"
                 << "  types { text/html html; application/octet-stream bin; }\n"
                 << "  server {\n    listen 127.0.0.1:" << m_port << " backlog=4096;\n    root " << root << ";\n"
                 << "    location ~ ^/s[0-9]+/(.*)$ { alias " << root << "small/$1; }\n  }\n}\n";
            conf.close();
            m_pid = Spawn({program, "-p", dir, "-e", dir + "error.log", "-c", dir + "nginx.conf", "-g", "daemon off;"},
                          dir + "nginx.out");
            const auto deadline = TClock::now() + 10s;
            while (m_pid > 0 && !Answers(m_port))
            {
                int status = 0;
                if (::waitpid(m_pid, &status, WNOHANG) == m_pid || TClock::now() > deadline)
                {
                    Stop();
                    m_pid = -1;
                    break;
                }
                std::this_thread::sleep_for(10ms);
            }
        }
    }
    ~TNginx() { Stop(); }
    TNginx(const TNginx&) = delete;
    TNginx& operator=(const TNginx&) = delete;

    bool Started() const { return m_pid > 0; }
    std::string URL(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

    void Stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        const auto deadline = TClock::now() + 3s;
        while (::waitpid(m_pid, &status, WNOHANG) == 0)
        {
            if (TClock::now() > deadline)
            {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(5ms);
        }
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    std::uint16_t m_port = 0;
};

// Runs the commands at the same time; wall time, summed CPU and the largest peak.
// A child started from this process inherits its peak memory figure, so each
// command runs under /usr/bin/time (a small process) and its peak is read from
// there; without it the peak is not known (0).
TUsage RunAll(const std::vector<std::vector<std::string>>& commands, const std::string& folder, int& failures)
{
    const bool timed = ::access("/usr/bin/time", X_OK) == 0;
    TUsage usage;
    const auto started = TClock::now();
    std::vector<pid_t> pids;
    for (std::size_t i = 0; i < commands.size(); ++i)
    {
        std::vector<std::string> command = commands[i];
        if (timed)
            command.insert(command.begin(), {"/usr/bin/time", "-f", "%M", "-o", folder + "peak" + std::to_string(i)});
        pids.push_back(Spawn(command, folder + "wget.log"));
    }
    for (std::size_t i = 0; i < pids.size(); ++i)
    {
        int status = 0;
        rusage child{};
        if (pids[i] <= 0 || ::wait4(pids[i], &status, 0, &child) != pids[i] || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0)
            ++failures;
        usage.CPU += Seconds(child.ru_utime) + Seconds(child.ru_stime);
        long peak = 0;
        std::ifstream(folder + "peak" + std::to_string(i)) >> peak;
        usage.PeakKB = std::max(usage.PeakKB, peak);
    }
    usage.Wall = std::chrono::duration<double>(TClock::now() - started).count();
    return usage;
}

void WriteFiles(const std::string& www, const TOptions& options)
{
    fs::create_directories(www + "small");
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>((i * 131 + i / 4099) & 0xFF);
    {
        std::ofstream big(www + "big.bin", std::ios::binary | std::ios::trunc);
        for (int i = 0; i < options.BigMB; ++i)
            big.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    for (int i = 0; i < options.Files; ++i)
    {
        // Sizes from 1 to 16 KB, as pages, style sheets and icons are.
        const std::size_t size = 1024 + static_cast<std::size_t>((i * 7919) % (15 * 1024));
        std::ofstream file(www + "small/f" + std::to_string(i) + ".html", std::ios::binary | std::ios::trunc);
        file.write(block.data() + (i % 1000), static_cast<std::streamsize>(size));
    }
}

// The engine side: one task, its slots, and this thread as window and dispatcher.
class TEngine
{
public:
    explicit TEngine(const std::string& home)
    {
        m_app = std::make_unique<THXApp>(THXEnvironment::UnderHome(home));
        m_app->SetOwner(&m_owner);
        m_task = std::make_unique<THXTask>(*m_app);
        m_task->Name = "Bench";
        m_task->FileName = m_app->TasksFolder() + "General/Bench.hxt";
        m_task->IntranetMode = true;
        m_task->Destination = home + "/site/";
        m_slots = std::make_unique<THXSlotList>();
        m_slots->OnMessage = [](const std::string& message, bool) { std::fprintf(stderr, "%s\n", message.c_str()); };
    }
    ~TEngine()
    {
        m_slots.reset();
        m_task.reset();
        m_app->SetOwner(nullptr);
    }
    TEngine(const TEngine&) = delete;
    TEngine& operator=(const TEngine&) = delete;

    // Each stream fetches its URLs one after the other, all streams at once;
    // returns how many items ended saved.
    int Fetch(const std::vector<std::vector<std::string>>& streams)
    {
        const int count = static_cast<int>(streams.size());
        m_slots->SetSlotCount(count, false);
        std::vector<std::vector<THXQItem*>> queues(streams.size());
        for (std::size_t s = 0; s < streams.size(); ++s)
        {
            for (const std::string& url : streams[s])
            {
                THXQItem item;
                item.URL = url;
                item.Group = "HTML";
                item.Mode = kModeDownload;
                item.Level = 1;
                queues[s].push_back(m_task->AddItem(std::move(item)));
            }
        }
        std::vector<std::size_t> next(streams.size(), 0);
        std::vector<THXQItem*> running(streams.size(), nullptr);
        int saved = 0;
        for (;;)
        {
            bool busy = false;
            for (int s = 0; s < count; ++s)
            {
                THXSocket& slot = *m_slots->Slot(s);
                const auto index = static_cast<std::size_t>(s);
                if (running[index] != nullptr && slot.TransferEnded())
                {
                    slot.Connection().SetState(TqkHTTPState::hsIdle);
                    slot.Connection().ReleaseThread();
                    m_task->ReloadItem(*running[index]);
                    saved += running[index]->State == kStateSaved ? 1 : 0;
                    running[index] = nullptr;
                }
                if (running[index] == nullptr && next[index] < queues[index].size())
                {
                    running[index] = queues[index][next[index]++];
                    slot.Fetch(*running[index]);
                }
                busy = busy || running[index] != nullptr;
            }
            if (!busy)
                return saved;
            m_owner.ProcessPending(1ms);
        }
    }

private:
    THXEventLoopOwner m_owner;
    std::unique_ptr<THXApp> m_app;
    std::unique_ptr<THXTask> m_task;
    std::unique_ptr<THXSlotList> m_slots;
};

void Print(const char* what, const TUsage& usage, const std::string& rate)
{
    std::printf("%-46s wall %7.2f s  cpu %7.2f s  peak %8.1f MB  %s\n", what, usage.Wall, usage.CPU,
                static_cast<double>(usage.PeakKB) / 1024.0, rate.c_str());
}

std::string Rate(double amount, double seconds, const char* unit)
{
    char text[64];
    std::snprintf(text, sizeof(text), "%.1f %s", seconds > 0 ? amount / seconds : 0.0, unit);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    TOptions options;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string name = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (name == "--big-mb")
            options.BigMB = value;
        else if (name == "--files")
            options.Files = value;
        else if (name == "--streams")
            options.Streams = value;
    }
    const std::string wget = FindProgram("wget");
    if (FindProgram("nginx").empty() || wget.empty())
    {
        std::fprintf(stderr, "nginx and wget are needed\n");
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);
    const fs::path base = fs::temp_directory_path() / ("hx-transfer-bench-" + std::to_string(::getpid()));
    const std::string dir = base.string() + "/";
    fs::create_directories(dir + "home");
    WriteFiles(dir + "www/", options);
    int status = 0;
    {
        TNginx nginx(dir, dir + "www/");
        if (!nginx.Started())
        {
            std::fprintf(stderr, "nginx did not start\n");
            return 2;
        }
        const double bigMB = options.BigMB;
        const double files = static_cast<double>(options.Files) * options.Streams;
        std::printf("one file of %d MB; %d streams x %d small files (1-16 KB)\n", options.BigMB, options.Streams,
                    options.Files);

        // The large file, by one slot.
        {
            TEngine engine(dir + "home");
            const long peakBefore = SelfPeakKB();
            const double cpuBefore = SelfCPU();
            const auto started = TClock::now();
            const int saved = engine.Fetch({{nginx.URL("/big.bin")}});
            TUsage usage{std::chrono::duration<double>(TClock::now() - started).count(), SelfCPU() - cpuBefore,
                         SelfPeakKB()};
            Print("harbex  large file (to disk)", usage, Rate(bigMB, usage.Wall, "MB/s"));
            std::printf("        peak before the transfer %.1f MB; saved %d/1\n",
                        static_cast<double>(peakBefore) / 1024.0, saved);
            std::uintmax_t size = 0;
            for (const auto& entry : fs::recursive_directory_iterator(dir + "home/site"))
            {
                if (entry.path().filename() == "big.bin")
                    size = entry.file_size();
            }
            std::printf("        bytes on disk %ju of %ju\n", size, static_cast<std::uintmax_t>(options.BigMB) << 20);
            status |= saved == 1 && size == (static_cast<std::uintmax_t>(options.BigMB) << 20) ? 0 : 1;
        }
        fs::remove_all(dir + "home/site");

        // The small files, one stream per slot.
        {
            TEngine engine(dir + "home");
            std::vector<std::vector<std::string>> streams(static_cast<std::size_t>(options.Streams));
            for (int s = 0; s < options.Streams; ++s)
            {
                for (int i = 0; i < options.Files; ++i)
                    streams[static_cast<std::size_t>(s)].push_back(
                        nginx.URL("/s" + std::to_string(s) + "/f" + std::to_string(i) + ".html"));
            }
            const double cpuBefore = SelfCPU();
            const auto started = TClock::now();
            const int saved = engine.Fetch(streams);
            TUsage usage{std::chrono::duration<double>(TClock::now() - started).count(), SelfCPU() - cpuBefore,
                         SelfPeakKB()};
            Print("harbex  small files (16 slots, HEAD+GET each)", usage, Rate(files, usage.Wall, "files/s"));
            std::printf("        saved %d/%d\n", saved, static_cast<int>(files));
            status |= saved == static_cast<int>(files) ? 0 : 1;
        }
        fs::remove_all(dir + "home");

        // wget on the same files.
        int failures = 0;
        TUsage usage = RunAll({{wget, "-q", "-O", "/dev/null", nginx.URL("/big.bin")}}, dir, failures);
        Print("wget    large file (-O /dev/null)", usage, Rate(bigMB, usage.Wall, "MB/s"));
        usage = RunAll({{wget, "-q", "-O", dir + "wget-big.bin", nginx.URL("/big.bin")}}, dir, failures);
        Print("wget    large file (to disk)", usage, Rate(bigMB, usage.Wall, "MB/s"));
        fs::remove(dir + "wget-big.bin");

        for (const bool keepAlive : {true, false})
        {
            std::vector<std::vector<std::string>> commands;
            for (int s = 0; s < options.Streams; ++s)
            {
                const std::string list = dir + "list" + std::to_string(s) + ".txt";
                std::ofstream out(list, std::ios::trunc);
                for (int i = 0; i < options.Files; ++i)
                    out << nginx.URL("/s" + std::to_string(s) + "/f" + std::to_string(i) + ".html") << "\n";
                std::vector<std::string> command{wget, "-q", "-i", list, "-P", dir + "wget" + std::to_string(s)};
                if (!keepAlive)
                    command.insert(command.begin() + 1, "--no-http-keep-alive");
                commands.push_back(command);
            }
            usage = RunAll(commands, dir, failures);
            Print(keepAlive ? "wget    small files (16 procs, keep-alive)"
                            : "wget    small files (16 procs, no keep-alive)",
                  usage, Rate(files, usage.Wall, "files/s"));
            for (int s = 0; s < options.Streams; ++s)
                fs::remove_all(dir + "wget" + std::to_string(s));
        }
        if (failures > 0)
            std::printf("wget failures: %d\n", failures);
    }
    std::error_code error;
    fs::remove_all(base, error);
    return status;
}
