#pragma once

// A small static file server on 127.0.0.1 for the demonstration run: it serves the
// files below one folder over HTTP/1.0 on a free port, on a thread of its own,
// until it is destroyed. Only GET and HEAD; paths are kept inside the folder.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

namespace hx::cli
{

class THXDemoServer
{
public:
    // Throws std::runtime_error when no port can be opened. Each answer waits
    // `answerDelay` first, like a distant server (the screenshots show busy rows).
    explicit THXDemoServer(std::string root, std::chrono::milliseconds answerDelay = {});
    ~THXDemoServer();
    THXDemoServer(const THXDemoServer&) = delete;
    THXDemoServer& operator=(const THXDemoServer&) = delete;

    std::uint16_t Port() const { return m_port; }
    std::string URL(const std::string& path) const;

private:
    void Serve();
    void Answer(int connection) const;

    std::string m_root;
    std::chrono::milliseconds m_answerDelay;
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_ending{false};
    std::thread m_thread;
};

} // namespace hx::cli
