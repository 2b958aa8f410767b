#pragma once

// File helpers with the safety the stored files need: whole-file reads and
// atomic replacement (write a temporary file beside the target, flush it to disk,
// rename it over the target), so a crash or a full disk never leaves a truncated
// task, queue, profile or settings file in place of the previous one.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace hx
{

// A file could not be written, or a folder could not be created. The message is
// the text shown to the user ("Unable to create directory" for folders).
class EFileError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Owns one file descriptor and closes it when it goes out of scope.
class TFileHandle
{
public:
    TFileHandle() = default;
    explicit TFileHandle(int fd)
        : m_fd(fd)
    {
    }
    ~TFileHandle() { Reset(); }
    TFileHandle(TFileHandle&& other) noexcept
        : m_fd(other.m_fd)
    {
        other.m_fd = -1;
    }
    TFileHandle& operator=(TFileHandle&& other) noexcept;
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // Closes now; false when the close reports an error (a late write failure).
    bool Close();

private:
    void Reset();
    int m_fd = -1;
};

// The whole file as bytes, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// What became of reading a stored file (a task file, the active-task list).
enum class TFileRead
{
    Read,
    Missing,
    NotAFile, // a folder, a device, a pipe: nothing is read from it
    TooLarge, // larger than the limit: nothing is kept
    Failed
};

// Reads a regular file of at most maxBytes into `bytes` (emptied first). Devices,
// pipes and folders are refused without reading (and without blocking), so a
// name that leads to /dev/zero or a FIFO costs nothing.
TFileRead ReadRegularFile(const std::string& path, std::int64_t maxBytes, std::string& bytes);

// Replaces the file atomically; creates the parent folder when missing. False on
// any failure, in which case the previous file is untouched and no temporary is left.
// The temporary is a hidden file beside the target; a replaced file keeps its
// permission bits, a new one is created rw-r--r-- (less the umask). A symbolic link
// at the path is replaced by the file, not followed.
//
// kFlushed also waits until the file and its folder entry are on the disk, so the
// new contents survive a power cut (settings, task and queue files). kAtomicOnly
// leaves that to the system, as downloaded files are: a crash of the program still
// never leaves a half-written file, and a copied page costs no disk flush.
enum class TDurability
{
    kFlushed,
    kAtomicOnly
};
// kPrivate is for files holding passwords (settings, task files): a new file is
// created rw------- and a replaced one loses every permission of group and others.
enum class TFileAccess
{
    kShared,
    kPrivate
};
bool WriteFileAtomic(const std::string& path, std::string_view bytes, TDurability durability = TDurability::kFlushed,
                     TFileAccess access = TFileAccess::kShared);

// WriteFileAtomic in two steps: Prepare writes the bytes into the temporary file
// (the slow part, on any thread) and Commit moves it over the target (one rename),
// so the replacement can happen together with whatever must change with it. A
// prepared file that is never committed is removed when the object goes.
class TPreparedFile
{
public:
    TPreparedFile() = default;
    ~TPreparedFile();
    TPreparedFile(TPreparedFile&& other) noexcept;
    TPreparedFile& operator=(TPreparedFile&& other) noexcept;
    TPreparedFile(const TPreparedFile&) = delete;
    TPreparedFile& operator=(const TPreparedFile&) = delete;

    // False on any failure (nothing is left behind then). When the target exists, a
    // `spare` file (one a Commit handed back as replaced) is used for the temporary
    // instead of a new file, and emptied; it is cleared once used. Creating and
    // removing a file each time costs far more on some file systems.
    bool Prepare(const std::string& path, std::string_view bytes, TDurability durability = TDurability::kFlushed,
                 std::string* spare = nullptr, TFileAccess access = TFileAccess::kShared);
    bool Prepared() const { return !m_tempPath.empty(); }
    // Moves the prepared file over the target; false when nothing was prepared or the
    // rename fails (the target is then untouched and the temporary removed). With
    // `replaced`, the file replaced is not removed but left under the temporary name,
    // which is stored there (empty when there was none): many removals in a row make
    // some file systems slow to create files, so a worker may remove them when idle.
    bool Commit(std::string* replaced = nullptr);

private:
    void Drop();

    std::string m_path;
    std::string m_tempPath;
    TDurability m_durability = TDurability::kFlushed;
};

// An exclusive advisory lock (flock) on a lock file, waited for and held while the
// object lives, so two processes replacing one shared file (the settings, the
// active-task list) take turns. The lock file stays: removing it would let two
// processes lock two different files of one name.
class TExclusiveFileLock
{
public:
    explicit TExclusiveFileLock(const std::string& lockFile);
    // False when the lock file cannot be made or locked.
    bool Locked() const { return m_fd.Valid(); }

private:
    TFileHandle m_fd;
};

// A text that changes whenever the file is replaced or written (device, inode,
// size, modification time); "" when the file is missing.
std::string FileStamp(const std::string& path);

// Removes, in the folder and every folder below it, the hidden temporaries of atomic
// writes left by processes that have ended (a crash or a kill in the middle of a save);
// those of processes still running stay. Returns how many were removed.
int RemoveStaleTempFiles(const std::string& folder);

// Creates the folder with all missing parents; throws EFileError
// ("Unable to create directory") when it cannot be created.
void ForceDirectories(const std::string& folder);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// Folder part of a path, ending with "/" ("" when the path has no folder).
std::string ExtractFilePath(const std::string& path);
// Name part of a path (after the last "/").
std::string ExtractFileName(const std::string& path);
// Extension of the name part, from its last dot, with the dot ("" when none).
std::string ExtractFileExt(const std::string& path);
// The path with its trailing "/" ensured ("" stays "", never the root folder).
std::string IncludeTrailingSlash(const std::string& folder);

} // namespace hx
