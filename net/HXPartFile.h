#pragma once

// TPartFile: where a transfer writes a body while it arrives. The bytes go into a
// part file beside the target (a hidden ".<name>.hxpart") and are moved over the
// target when the transfer keeps them, so memory stays flat whatever the body's
// size and the target holds either its earlier contents or what the transfer
// left, never a half-written mix.
//
// Confinement: the target must lie inside the working folder. Every folder
// between the working folder and the target is opened one step at a time without
// following symbolic links (and created when missing), and the part file, the
// resumed file and the move are all addressed relative to the last folder opened.
// A link planted inside the working folder therefore never leads a write outside.
//
// A body that is not to be kept (the answer is not a 2xx one) or whose part file
// cannot be created is only counted: its size is known, nothing reaches the disk.
//
// A target whose whole path is longer than a path may be is refused: it could be
// made folder by folder, but nothing could open it by its name afterwards.
//
// Threads: used by one thread at a time (the transfer thread while the body
// arrives, the owner thread while the transfer waits for it to save).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "core/HXFiles.h"
#include "net/aghttp.h"

namespace hx
{

// The name of the part file for a target file name.
std::string PartFileName(const std::string& targetName);

// The disk (or the user's quota) has no room left for a file of the run, or the
// destination may not be written at all. The message is the status text of the
// stop it causes (WriteStopText).
class EDiskFull : public EFileError
{
public:
    using EFileError::EFileError;
};

// True for the errors of a full disk: no space left, quota exceeded.
bool IsDiskFullError(int error);
// "Disk full: unable to write PATH (the system's text for the error)".
std::string DiskFullText(const std::string& path, int error);
// True for the errors after which no file of the run can be written, so the run
// stops (what is queued stays, for a resume once the cause is mended) instead of
// failing file after file: a full disk, and a destination without write
// permission or on a read-only file system.
bool StopsTheRun(int error);
// DiskFullText for a full disk, else "Unable to write PATH (the system's text)".
std::string WriteStopText(const std::string& path, int error);

// How a part file's bytes reach the disk, with pwrite's arguments and result (a
// negative result with errno set on failure). Empty: pwrite itself. Tests give
// one that runs out of room.
using TPartWriter = std::function<ssize_t(int fd, const void* data, std::size_t size, off_t offset)>;

class TPartFile final : public TBodyTarget
{
public:
    // Asked when a body begins: true to store it, false to count it only.
    using TKeepQuery = std::function<bool()>;

    // `root` is the working folder, `target` a file path inside it.
    TPartFile(std::string root, std::string target, TKeepQuery keep = {}, TPartWriter writer = {});
    // Removes a part file that was not moved into place.
    ~TPartFile() override;
    TPartFile(const TPartFile&) = delete;
    TPartFile& operator=(const TPartFile&) = delete;

    void Clear() override;
    // True when the body continues the resumed file. Fails with EDiskFull when a
    // full disk leaves no room for the part file.
    bool BeginBody(const std::string& resumeFile, std::int64_t offset) override;
    // Fails with EDiskFull when the disk is full, with EFileError when it refuses
    // the bytes otherwise.
    void Write(std::string_view data) override;
    std::int64_t Size() const override { return m_size; }
    std::int64_t Position() const override { return m_position; }
    void Seek(std::int64_t position) override { m_position = position < 0 ? 0 : position; }

    const std::string& Target() const { return m_target; }
    // True while the body's bytes are being stored in the part file.
    bool Stored() const { return m_file.Valid(); }
    // Moves the stored body over the target (an empty file when no body began).
    // False when the body could not be stored, the target lies outside the working
    // folder or the move fails; the target is then left as it was (Error tells why).
    bool Commit();
    // Removes the part file; the target is left as it was.
    void Discard();
    // The system's error number of the first step that failed (0: none failed).
    int Error() const { return m_error; }

private:
    // Opens the folders down to the target's folder, creating missing ones when
    // asked; false when the target is not inside the working folder, a step is a
    // symbolic link or not a folder, or a step fails.
    bool OpenFolder(bool create);
    bool OpenPart();
    // The file the body starts as; invalid when there is none (or it is a link).
    TFileHandle OpenResumed(const std::string& resumeFile);
    void CopyResumed(int source);
    // Keeps the first failure's error number; returns false for the caller's return.
    bool Failed(int error);

    std::string m_root;
    std::string m_target;
    std::string m_name;
    std::string m_partName;
    TKeepQuery m_keep;
    TPartWriter m_writer;

    TFileHandle m_folder;
    TFileHandle m_file;
    bool m_begun = false;
    int m_error = 0;
    std::int64_t m_size = 0;
    std::int64_t m_position = 0;
};

} // namespace hx
