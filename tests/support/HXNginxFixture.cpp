#include "support/HXNginxFixture.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace hx::test
{

namespace
{

using namespace std::chrono_literals;

constexpr int kStartAttempts = 4;
constexpr auto kAnswerLimit = 10s;
constexpr auto kStopGrace = 3s;

sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool Answers(std::uint16_t port)
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        return false;
    const sockaddr_in address = Loopback(port);
    const bool connected = ::connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(handle);
    return connected;
}

bool WriteText(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    return static_cast<bool>(file);
}

std::string ReadText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TNginxSetup PlainSetup(const std::string& extra)
{
    TNginxSetup setup;
    setup.Extra = extra;
    return setup;
}

} // namespace

std::string FindProgram(const std::string& name)
{
    std::string paths = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    paths += ":/usr/sbin:/sbin:/usr/local/sbin";
    std::stringstream list(paths);
    std::string folder;
    while (std::getline(list, folder, ':'))
    {
        if (folder.empty())
            continue;
        const std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::uint16_t FreeLoopbackPort()
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        return 0;
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof(address);
    std::uint16_t port = 0;
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(handle);
    return port;
}

// ---- THXServerProcess ----

bool THXServerProcess::Start(const std::vector<std::string>& arguments, const std::string& logFile, std::uint16_t port)
{
    Stop();
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
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    m_pid = pid;

    const auto deadline = std::chrono::steady_clock::now() + kAnswerLimit;
    while (std::chrono::steady_clock::now() < deadline)
    {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
        {
            m_pid = -1; // it ended (a port taken meanwhile, a bad configuration)
            return false;
        }
        if (Answers(port))
            return true;
        std::this_thread::sleep_for(10ms);
    }
    Stop();
    return false;
}

void THXServerProcess::Stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0)
    {
        if (std::chrono::steady_clock::now() > deadline)
        {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    m_pid = -1;
}

// ---- THXNginx ----

THXNginx::THXNginx(const std::string& root, const std::string& extra)
    : THXNginx(root, PlainSetup(extra))
{
}

THXNginx::THXNginx(const std::string& root, const TNginxSetup& setup)
{
    const std::string program = FindProgram("nginx");
    if (program.empty())
    {
        m_error = "nginx is not installed";
        return;
    }
    const std::string dir = m_folder.Folder();
    for (int attempt = 0; attempt < kStartAttempts && !Started(); ++attempt)
    {
        if (!WriteText(dir + "nginx.conf", Configuration(root, setup)))
        {
            m_error = "cannot write the nginx configuration";
            return;
        }
        // Started once the last server answers: nginx opens every port before it serves.
        const std::uint16_t last = m_securePorts.empty() ? m_port : m_securePorts.back();
        m_process.Start({program, "-p", dir, "-e", dir + "error.log", "-c", dir + "nginx.conf", "-g", "daemon off;"},
                        dir + "output.log", last);
    }
    if (!Started())
        m_error = "nginx did not start: " + ReadText(dir + "output.log") + ReadText(dir + "error.log");
}

// Picks the ports afresh (a port free a moment ago may be taken by the next attempt).
std::string THXNginx::Configuration(const std::string& root, const TNginxSetup& setup)
{
    const std::string dir = m_folder.Folder();
    m_port = FreeLoopbackPort();
    m_securePorts.clear();
    // One process, no master: it runs as whoever runs the tests and stops on
    // SIGTERM. Every path nginx writes lies in the temporary folder.
    std::ostringstream conf;
    conf << "master_process off;\n"
         << "worker_processes 1;\n"
         << "pid " << dir << "nginx.pid;\n"
         << "error_log " << dir << "error.log warn;\n"
         << "events { worker_connections 1024; }\n"
         << "http {\n";
    if (setup.LogRequests)
        conf << "  log_format counted '$connection $connection_requests $request_method $request_uri $status "
                "$ssl_session_reused"
             << (setup.LogProtocol ? " $server_protocol" : "") << "';\n"
             << "  access_log " << dir << "access.log counted;\n";
    else
        conf << "  access_log off;\n";
    conf << "  client_body_temp_path " << dir << "body;\n"
         << "  proxy_temp_path " << dir << "proxy;\n"
         << "  fastcgi_temp_path " << dir << "fastcgi;\n"
         << "  uwsgi_temp_path " << dir << "uwsgi;\n"
         << "  scgi_temp_path " << dir << "scgi;\n"
         << "  types { " << setup.Types << " }\n"
         << "  default_type application/octet-stream;\n"
         << "  sendfile on;\n"
         << setup.HttpExtra << "\n"
         << "  server {\n"
         << "    listen 127.0.0.1:" << m_port << ";\n"
         << "    server_name localhost;\n"
         << "    root " << root << ";\n"
         << setup.Extra << "\n"
         << "  }\n";
    for (const TCertificatePair& pair : setup.Certificates)
    {
        const std::uint16_t port = FreeLoopbackPort();
        m_securePorts.push_back(port);
        conf << "  server {\n"
             << "    listen 127.0.0.1:" << port << (setup.Http2 ? " ssl http2;\n" : " ssl;\n")
             << "    server_name localhost;\n"
             << "    ssl_certificate " << pair.Certificate << ";\n"
             << "    ssl_certificate_key " << pair.Key << ";\n"
             << "    ssl_protocols TLSv1.2 TLSv1.3;\n"
             << "    root " << root << ";\n"
             << setup.Extra << "\n"
             << "  }\n";
    }
    conf << "}\n";
    return conf.str();
}

std::string THXNginx::HostPort() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

std::string THXNginx::URL(const std::string& path) const
{
    return "http://" + HostPort() + path;
}

std::string THXNginx::SecureURL(std::size_t index, const std::string& path) const
{
    return "https://127.0.0.1:" + std::to_string(SecurePort(index)) + path;
}

std::vector<std::string> THXNginx::AccessLog() const
{
    std::vector<std::string> lines;
    std::istringstream text(ReadText(m_folder.Folder() + "access.log"));
    for (std::string line; std::getline(text, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

// ---- THXTinyproxy ----

THXTinyproxy::THXTinyproxy(const std::string& userName, const std::string& password)
{
    const std::string program = FindProgram("tinyproxy");
    if (program.empty())
    {
        m_error = "tinyproxy is not installed";
        return;
    }
    const std::string dir = m_folder.Folder();
    for (int attempt = 0; attempt < kStartAttempts && !Started(); ++attempt)
    {
        m_port = FreeLoopbackPort();
        std::ostringstream conf;
        conf << "Port " << m_port << "\n"
             << "Listen 127.0.0.1\n"
             << "Timeout 30\n"
             << "MaxClients 32\n"
             << "LogLevel Error\n"
             << "LogFile \"" << dir << "tinyproxy.log\"\n"
             << "PidFile \"" << dir << "tinyproxy.pid\"\n"
             << "Allow 127.0.0.1\n"
             << "DisableViaHeader Yes\n";
        if (::geteuid() == 0)
            conf << "User root\nGroup root\n";
        if (!userName.empty())
            conf << "BasicAuth " << userName << " " << password << "\n";
        if (!WriteText(dir + "tinyproxy.conf", conf.str()))
        {
            m_error = "cannot write the tinyproxy configuration";
            return;
        }
        m_process.Start({program, "-d", "-c", dir + "tinyproxy.conf"}, dir + "output.log", m_port);
    }
    if (!Started())
        m_error = "tinyproxy did not start: " + ReadText(dir + "output.log") + ReadText(dir + "tinyproxy.log");
}

std::string THXTinyproxy::HostPort() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

} // namespace hx::test
