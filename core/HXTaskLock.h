#pragma once

// One task, one program: a run of a task holds an exclusive lock on the file
// "<task name>.lock" beside the task file, so harbex, harbex-cli and the schedule
// loop never run one task in two processes at once. The lock is an open file
// description lock (fcntl F_OFD_SETLK): the kernel drops it when the process ends,
// however it ends (kill -9 included), so a crash never leaves a task locked. The
// holder writes its process id into the file, which the refusal names.
//
// Two locks taken on one task within one process conflict as well (each has its
// own open file description). The lock file stays when the lock is released:
// removing it would let two processes lock two different files of one name.

#include <string>
#include <string_view>

#include "core/HXFiles.h"

namespace hx
{

// "<folder>/<name>.lock" for "<folder>/<name>.hxt" ("" for a task without a file).
std::string TaskLockFileName(const std::string& taskFile);

// Task "NAME" is running in another Harbex process (PID N)
std::string RunningElsewhereText(std::string_view taskName, int pid);

// The process that holds the task's lock, 0 when none does (or the lock file
// cannot be read). The holder may be this process. Takes and changes nothing.
int TaskLockHolder(const std::string& taskFile);

// The id of the process holding the task's lock when that is another process,
// else 0: what the windows and the scheduler ask before touching a task.
int TaskRunsElsewhere(const std::string& taskFile);

class THXTaskLock
{
public:
    enum class TResult
    {
        Acquired,
        HeldElsewhere,
        // No lock file can be made there (a read-only folder, a task never saved):
        // the run goes on unlocked, as it would have before locks existed.
        Unavailable
    };

    THXTaskLock() = default;
    ~THXTaskLock() = default; // closing the descriptor releases the lock
    THXTaskLock(THXTaskLock&&) noexcept = default;
    THXTaskLock& operator=(THXTaskLock&&) noexcept = default;
    THXTaskLock(const THXTaskLock&) = delete;
    THXTaskLock& operator=(const THXTaskLock&) = delete;

    // Takes the lock of the task file without waiting; a lock held before is
    // released first. HeldElsewhere sets `holderPid` (0 when the holder is unknown).
    TResult TryAcquire(const std::string& taskFile, int* holderPid = nullptr);
    void Release();
    bool Held() const { return m_fd.Valid(); }
    const std::string& TaskFile() const { return m_taskFile; }

private:
    TFileHandle m_fd;
    std::string m_taskFile;
};

} // namespace hx
