#include "core/HXTaskLock.h"

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace hx
{

namespace
{

// The whole file, as one write lock.
struct flock WholeFile(short type)
{
    struct flock range = {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 0;
    return range;
}

// The process id the holder wrote, 0 when none can be read.
int ReadHolderPid(int fd)
{
    char text[32] = {};
    const ssize_t count = ::pread(fd, text, sizeof text - 1, 0);
    if (count <= 0)
        return 0;
    int pid = 0;
    for (ssize_t index = 0; index < count && text[index] >= '0' && text[index] <= '9'; ++index)
    {
        pid = pid * 10 + (text[index] - '0');
        if (pid > 1'000'000'000)
            return 0;
    }
    return pid;
}

// The holder writes its id right after it took the lock; a look in between finds
// the file still empty, so it looks again for a moment.
int HolderPidOfLockedFile(int fd)
{
    for (int attempt = 0; attempt < 20; ++attempt)
    {
        if (const int pid = ReadHolderPid(fd); pid > 0)
            return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}

} // namespace

std::string TaskLockFileName(const std::string& taskFile)
{
    if (taskFile.empty())
        return {};
    const std::string extension = ExtractFileExt(taskFile);
    return taskFile.substr(0, taskFile.size() - extension.size()) + ".lock";
}

std::string RunningElsewhereText(std::string_view taskName, int pid)
{
    return "Task \"" + std::string(taskName) + "\" is running in another Harbex process (PID " + std::to_string(pid) +
           ")";
}

int TaskLockHolder(const std::string& taskFile)
{
    const std::string lockFile = TaskLockFileName(taskFile);
    if (lockFile.empty())
        return 0;
    const TFileHandle fd(::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.Valid())
        return 0;
    struct flock probe = WholeFile(F_WRLCK);
    if (::fcntl(fd.Get(), F_OFD_GETLK, &probe) != 0 || probe.l_type == F_UNLCK)
        return 0;
    // Held, by someone whose id is not known yet: still held.
    const int pid = HolderPidOfLockedFile(fd.Get());
    return pid > 0 ? pid : -1;
}

int TaskRunsElsewhere(const std::string& taskFile)
{
    const int holder = TaskLockHolder(taskFile);
    return holder != 0 && holder != ::getpid() ? holder : 0;
}

THXTaskLock::TResult THXTaskLock::TryAcquire(const std::string& taskFile, int* holderPid)
{
    Release();
    if (holderPid)
        *holderPid = 0;
    const std::string lockFile = TaskLockFileName(taskFile);
    if (lockFile.empty())
        return TResult::Unavailable;
    TFileHandle fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    if (!fd.Valid())
        return TResult::Unavailable;
    struct flock range = WholeFile(F_WRLCK);
    int result;
    do
        result = ::fcntl(fd.Get(), F_OFD_SETLK, &range);
    while (result != 0 && errno == EINTR);
    if (result != 0)
    {
        if (errno != EAGAIN && errno != EACCES)
            return TResult::Unavailable;
        if (holderPid)
            *holderPid = HolderPidOfLockedFile(fd.Get());
        return TResult::HeldElsewhere;
    }
    // The id for the refusal another process prints.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd.Get(), 0) == 0)
        (void)!::pwrite(fd.Get(), pid.data(), pid.size(), 0);
    m_fd = std::move(fd);
    m_taskFile = taskFile;
    return TResult::Acquired;
}

void THXTaskLock::Release()
{
    m_fd = TFileHandle();
    m_taskFile.clear();
}

} // namespace hx
