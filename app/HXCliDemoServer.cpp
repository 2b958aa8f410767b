#include "app/HXCliDemoServer.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hx::cli
{

namespace
{

constexpr int kPollMilliseconds = 100;
constexpr std::size_t kMaxRequest = 16 * 1024;

std::string ContentType(const std::filesystem::path& path)
{
    static const std::map<std::string, std::string, std::less<>> types = {
        {".html", "text/html"}, {".htm", "text/html"},  {".css", "text/css"},   {".gif", "image/gif"},
        {".png", "image/png"},  {".jpg", "image/jpeg"}, {".txt", "text/plain"}, {".js", "text/javascript"}};
    const auto found = types.find(path.extension().string());
    return found == types.end() ? "application/octet-stream" : found->second;
}

void SendAll(int connection, std::string_view bytes)
{
    while (!bytes.empty())
    {
        const ssize_t sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0)
            return;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
}

} // namespace

THXDemoServer::THXDemoServer(std::string root, std::chrono::milliseconds answerDelay)
    : m_root(std::move(root))
    , m_answerDelay(answerDelay)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0)
        throw std::runtime_error("unable to open a socket for the sample site");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_listener, 64) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    {
        ::close(m_listener);
        throw std::runtime_error("unable to listen on 127.0.0.1 for the sample site");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

THXDemoServer::~THXDemoServer()
{
    m_ending = true;
    m_thread.join();
    ::close(m_listener);
}

std::string THXDemoServer::URL(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void THXDemoServer::Serve()
{
    while (!m_ending)
    {
        pollfd wait{m_listener, POLLIN, 0};
        if (::poll(&wait, 1, kPollMilliseconds) <= 0)
            continue;
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        if (m_answerDelay.count() > 0)
            std::this_thread::sleep_for(m_answerDelay);
        Answer(connection);
        ::close(connection);
    }
}

void THXDemoServer::Answer(int connection) const
{
    std::string request;
    char buffer[2048];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequest)
    {
        pollfd wait{connection, POLLIN, 0};
        if (::poll(&wait, 1, 2000) <= 0)
            return;
        const ssize_t got = ::recv(connection, buffer, sizeof(buffer), 0);
        if (got <= 0)
            return;
        request.append(buffer, static_cast<std::size_t>(got));
    }
    const auto firstSpace = request.find(' ');
    const auto secondSpace = request.find(' ', firstSpace + 1);
    if (firstSpace == std::string::npos || secondSpace == std::string::npos)
        return;
    const std::string method = request.substr(0, firstSpace);
    std::string target = request.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    target = target.substr(0, target.find_first_of("?#"));
    if (target.empty() || target.back() == '/')
        target += "index.html";

    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path root = fs::weakly_canonical(m_root, error);
    const fs::path file = fs::weakly_canonical(root / fs::path(target).relative_path(), error);
    const auto [rootEnd, fileIt] = std::mismatch(root.begin(), root.end(), file.begin(), file.end());
    std::string body;
    int status = 404;
    if ((method == "GET" || method == "HEAD") && !error && rootEnd == root.end() && fs::is_regular_file(file, error))
    {
        std::ifstream in(file, std::ios::binary);
        body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        status = 200;
    }
    else
    {
        body = "<html><body><h1>Not Found</h1></body></html>";
    }
    const std::string head = "HTTP/1.0 " + std::string(status == 200 ? "200 OK" : "404 Not Found") +
                             "\r\nContent-Type: " + (status == 200 ? ContentType(file) : "text/html") +
                             "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    SendAll(connection, head);
    if (method != "HEAD")
        SendAll(connection, body);
}

} // namespace hx::cli
