#include "net/HXRenderClient.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace hx
{

namespace
{

using TClock = std::chrono::steady_clock;

// How long an ended renderer may take to leave before it is killed.
constexpr std::chrono::milliseconds kLeaveWait{2000};
constexpr std::chrono::milliseconds kLeaveStep{20};
// The first frame a renderer sends, once its browser is ready.
constexpr std::string_view kReadyTag = "ready";

int MillisecondsLeft(TClock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Waits until fd is ready for the events, cancelFd is readable or the deadline
// passes. 1: ready; 0: time out; -1: cancelled.
int AwaitReady(int fd, short events, int cancelFd, TClock::time_point deadline)
{
    for (;;)
    {
        pollfd fds[2] = {{fd, events, 0}, {cancelFd, POLLIN, 0}};
        const int count = cancelFd >= 0 ? 2 : 1;
        const int result = ::poll(fds, count, MillisecondsLeft(deadline));
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0)
            return 1; // the read or write that follows reports the failure
        if (count == 2 && (fds[1].revents & POLLIN) != 0)
            return -1;
        if (result == 0)
            return TClock::now() >= deadline ? 0 : AwaitReady(fd, events, cancelFd, deadline);
        return 1;
    }
}

} // namespace

TRenderClient::TRenderClient(std::string program)
    : m_program(std::move(program))
{
}

TRenderClient::~TRenderClient()
{
    End();
}

bool TRenderClient::Start()
{
    int pair[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    // The renderer reads requests on its standard input and answers on its standard
    // output; its browser's messages are not the crawl's.
    posix_spawn_file_actions_adddup2(&actions, pair[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pair[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // A group of its own: ending the renderer ends the browser processes it started.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    char* argv[] = {m_program.data(), nullptr};
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, m_program.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pair[1]);
    if (error != 0)
    {
        ::close(pair[0]);
        return false;
    }
    m_pid = pid;
    m_toRenderer = pair[0];
    m_fromRenderer = pair[0];
    return true;
}

bool TRenderClient::WriteAll(const std::string& bytes, int cancelFd, int timeOutMs)
{
    const auto deadline = TClock::now() + std::chrono::milliseconds(timeOutMs);
    std::size_t written = 0;
    while (written < bytes.size())
    {
        if (AwaitReady(m_toRenderer, POLLOUT, cancelFd, deadline) != 1)
            return false;
        const ssize_t sent =
            ::send(m_toRenderer, bytes.data() + written, bytes.size() - written, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (sent <= 0)
            return false;
        written += static_cast<std::size_t>(sent);
    }
    return true;
}

TRenderOutcome TRenderClient::ReadExactly(char* out, std::size_t size, int cancelFd, int timeOutMs)
{
    const auto deadline = TClock::now() + std::chrono::milliseconds(timeOutMs);
    std::size_t done = 0;
    while (done < size)
    {
        const int ready = AwaitReady(m_fromRenderer, POLLIN, cancelFd, deadline);
        if (ready < 0)
            return TRenderOutcome::Stopped;
        if (ready == 0)
            return TRenderOutcome::Hung;
        const ssize_t got = ::recv(m_fromRenderer, out + done, size - done, MSG_DONTWAIT);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return TRenderOutcome::Crashed;
        done += static_cast<std::size_t>(got);
    }
    return TRenderOutcome::Rendered;
}

TRenderOutcome TRenderClient::Render(const TRenderRequest& request, TRenderReply& reply, int cancelFd, int graceMs)
{
    const int waitMs = request.TimeOutMs + graceMs;
    const auto readFrame = [&](std::string& payload)
    {
        unsigned char prefix[4];
        TRenderOutcome outcome = ReadExactly(reinterpret_cast<char*>(prefix), 4, cancelFd, waitMs);
        if (outcome != TRenderOutcome::Rendered)
            return outcome;
        const std::uint32_t length = FrameLength(prefix);
        if (length > kMaxRenderFrame)
            return TRenderOutcome::Crashed;
        payload.assign(length, '\0');
        return ReadExactly(payload.data(), length, cancelFd, waitMs);
    };
    std::string payload;
    if (!Running())
    {
        if (!Start())
            return TRenderOutcome::Unavailable;
        // A renderer that cannot bring up its browser leaves before it is ready.
        const TRenderOutcome ready = readFrame(payload);
        const std::optional<std::vector<std::string>> fields = UnpackFields(payload);
        if (ready != TRenderOutcome::Rendered || !fields || fields->empty() || (*fields)[0] != kReadyTag)
        {
            Kill();
            return ready == TRenderOutcome::Stopped ? ready : TRenderOutcome::Unavailable;
        }
    }
    if (!WriteAll(PackRequest(request), cancelFd, waitMs))
    {
        Kill();
        return TRenderOutcome::Crashed;
    }
    const TRenderOutcome outcome = readFrame(payload);
    if (outcome != TRenderOutcome::Rendered)
    {
        Kill();
        return outcome;
    }
    std::optional<TRenderReply> answer = UnpackReply(payload);
    if (!answer)
    {
        Kill();
        return TRenderOutcome::Crashed;
    }
    reply = std::move(*answer);
    return TRenderOutcome::Rendered;
}

void TRenderClient::Kill()
{
    if (m_pid > 0)
    {
        ::kill(-m_pid, SIGKILL);
        ::kill(m_pid, SIGKILL);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR)
        {
        }
    }
    m_pid = -1;
    if (m_toRenderer >= 0)
        ::close(m_toRenderer);
    m_toRenderer = -1;
    m_fromRenderer = -1;
}

void TRenderClient::End()
{
    if (m_pid <= 0)
    {
        Kill();
        return;
    }
    // The end of its input tells the renderer to leave.
    ::shutdown(m_toRenderer, SHUT_RDWR);
    const auto deadline = TClock::now() + kLeaveWait;
    int status = 0;
    while (TClock::now() < deadline)
    {
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid || (done < 0 && errno != EINTR))
        {
            // The browser processes it left behind go with its group.
            ::kill(-m_pid, SIGKILL);
            m_pid = -1;
            break;
        }
        std::this_thread::sleep_for(kLeaveStep);
    }
    Kill();
}

THXRenderPool::THXRenderPool(std::string program, int renderers, int graceMs)
    : m_program(std::move(program))
    , m_graceMs(graceMs)
    , m_slots(static_cast<std::size_t>(renderers < 1 ? 1 : renderers))
{
    if (::pipe2(m_cancel, O_CLOEXEC) != 0)
        m_cancel[0] = m_cancel[1] = -1;
}

THXRenderPool::~THXRenderPool()
{
    Stop();
    std::unique_lock lock(m_lock);
    m_changed.wait(
        lock,
        [this] { return std::none_of(m_slots.begin(), m_slots.end(), [](const TSlot& slot) { return slot.Busy; }); });
    for (TSlot& slot : m_slots)
        slot.Client.reset();
    lock.unlock();
    for (const int fd : m_cancel)
        if (fd >= 0)
            ::close(fd);
}

int THXRenderPool::FreeSlot() const
{
    for (std::size_t n = 0; n < m_slots.size(); ++n)
        if (!m_slots[n].Busy && m_slots[n].Failures < 2)
            return static_cast<int>(n);
    return -1;
}

TRenderOutcome THXRenderPool::Render(const TRenderRequest& request, TRenderReply& reply)
{
    std::unique_lock lock(m_lock);
    const auto usable = [this]
    { return std::any_of(m_slots.begin(), m_slots.end(), [](const TSlot& slot) { return slot.Failures < 2; }); };
    m_changed.wait(lock, [&] { return m_stopped || m_unavailable || !usable() || FreeSlot() >= 0; });
    if (m_stopped)
        return TRenderOutcome::Stopped;
    if (m_unavailable)
        return TRenderOutcome::Unavailable;
    if (!usable())
        return TRenderOutcome::GivenUp;
    TSlot& slot = m_slots[static_cast<std::size_t>(FreeSlot())];
    slot.Busy = true;
    if (!slot.Client)
        slot.Client = std::make_unique<TRenderClient>(m_program);
    TRenderClient& client = *slot.Client;
    if (!client.Running())
        ++m_starts;
    lock.unlock();

    const TRenderOutcome outcome = client.Render(request, reply, m_cancel[0], m_graceMs);

    lock.lock();
    slot.Busy = false;
    if (outcome == TRenderOutcome::Crashed || outcome == TRenderOutcome::Hung)
        ++slot.Failures;
    if (outcome == TRenderOutcome::Unavailable)
        m_unavailable = true;
    if (m_stopped)
        client.End();
    m_changed.notify_all();
    return outcome;
}

void THXRenderPool::Stop()
{
    std::lock_guard lock(m_lock);
    if (!m_stopped && m_cancel[1] >= 0)
    {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_cancel[1], &byte, 1);
    }
    m_stopped = true;
    // The idle renderers end now; a busy one ends when its call returns.
    for (TSlot& slot : m_slots)
        if (!slot.Busy && slot.Client)
            slot.Client->End();
    m_changed.notify_all();
}

int THXRenderPool::Starts() const
{
    std::lock_guard lock(m_lock);
    return m_starts;
}

bool THXRenderPool::Unavailable() const
{
    std::lock_guard lock(m_lock);
    return m_unavailable;
}

std::string RenderProgramPath()
{
    if (const char* chosen = std::getenv("HARBEX_RENDER"); chosen != nullptr && *chosen != '\0')
        return chosen;
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return "harbex-render";
    return (program.parent_path() / "harbex-render").string();
}

bool RenderProgramPresent(const std::string& program)
{
    return !program.empty() && ::access(program.c_str(), X_OK) == 0 && !std::filesystem::is_directory(program);
}

} // namespace hx
