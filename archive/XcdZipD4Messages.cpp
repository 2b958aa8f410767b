// Result codes of the Zip component: the one table that turns a code into what
// the windows show, and the mapping of libzip's and the system's errors onto codes.

#include "archive/XcdZipD4_p.h"

#include <cerrno>

namespace hx
{

namespace
{

struct TErrorMessage
{
    int code;
    const char* text;
};

// Failing codes with a message of their own; every other failing code gets the
// general message naming the operation.
constexpr TErrorMessage kErrorMessages[] = {
    {100, "Could not find the archive file."},
    {110, "The archive file is corrupted. Try using the Fix option on it."},
    {160, "The archive file is corrupted. Try using the Fix option on it."},
    {180, "Another application is currently performing a similar task. Wait until the other application has "
          "completed its operation."},
    {200, "Test failed - Errors in the archive."},
    {210, "No files ended up being tested in the archive."},
    {240, "The XCDZIP32.DLL or the XCDUNZ32.DLL file could not be found."},
    {280, "Problem with the temporary file."},
    {350, "Attempt to remove parent directory."},
    {370, "Names repeated in archive after discarding pathnames."},
    {380, "Could not update the Zip archive date. Archive only contains directories or is empty."},
    {400, "Could not access the Zip file or one of the files to process."},
    {410, "Attempt to work with a multiple-disk Zip archive, but not in multidisk mode."},
    {420, "Wrong disk was inserted too many times."},
};

TXcdResultText Result(TXcdOutcome outcome, bool failed, std::string message)
{
    TXcdResultText result;
    result.Outcome = outcome;
    result.Failed = failed;
    result.Message = std::move(message);
    return result;
}

} // namespace

TXcdResultText XcdResultText(int code, std::string_view operationWord)
{
    const std::string word(operationWord);
    if (code <= 0 || code == 10 || code == 30 || code == 140)
        return Result(TXcdOutcome::Silent, false, {});
    if (code == 40)
        return Result(TXcdOutcome::Information, false, "Some files were skipped while " + word + ".");
    if (code == 50)
        return Result(TXcdOutcome::Information, false, "The Zip file is empty.");
    if (code == 190)
        return Result(TXcdOutcome::Silent, true, {});
    if (code == 120)
        return Result(TXcdOutcome::Error, true, "Ran out of memory while " + word + ".");
    if (code == 150)
        return Result(TXcdOutcome::Error, true, "Disk full while " + word + ".");
    for (const auto& entry : kErrorMessages)
    {
        if (entry.code == code)
            return Result(TXcdOutcome::Error, true, entry.text);
    }
    return Result(TXcdOutcome::Error, true, "An error occurred while " + word + " the specified files.");
}

std::string XcdSkipReasonText(TXcdSkipReason reason)
{
    switch (reason)
    {
    case TXcdSkipReason::SourceUnreadable:
        return "the file cannot be read";
    case TXcdSkipReason::UnsafeName:
        return "the name leads outside the extraction folder";
    case TXcdSkipReason::SymbolicLinkInPath:
        return "the path leads through a symbolic link";
    case TXcdSkipReason::LinkEntry:
        return "the entry is a symbolic link";
    case TXcdSkipReason::PathBlocked:
        return "another file or folder is in the way";
    case TXcdSkipReason::Unsupported:
        return "the entry is encrypted or uses an unknown compression method";
    case TXcdSkipReason::SizeMismatch:
        return "the entry is damaged: its data is not the size the archive declares for it";
    case TXcdSkipReason::NameTooLong:
        return "the name is too long for a file name here";
    case TXcdSkipReason::DataDamaged:
        return "the entry is damaged: its data fails its checksum or cannot be unpacked";
    }
    return "skipped";
}

namespace xcd::detail
{

int ResultFromErrno(int error)
{
    switch (error)
    {
    case 0:
        return Success;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return DiskFull;
    case ENOMEM:
        return OutOfMemory;
    default:
        return AccessFailed;
    }
}

int ResultFromZipError(int zipError, int systemError)
{
    switch (zipError)
    {
    case ZIP_ER_OK:
        return Success;
    case ZIP_ER_NOENT:
        return ArchiveNotFound;
    case ZIP_ER_NOZIP:
    case ZIP_ER_INCONS:
    case ZIP_ER_EOF:
        return ArchiveCorrupted;
    case ZIP_ER_CRC:
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
        return EntryDataCorrupted;
    case ZIP_ER_MEMORY:
        return OutOfMemory;
    case ZIP_ER_MULTIDISK:
        return MultiDisk;
    case ZIP_ER_CANCELLED:
        return Aborted;
    case ZIP_ER_EXISTS:
        return NamesRepeated;
    case ZIP_ER_INUSE:
        return Busy;
    case ZIP_ER_WRITE:
    case ZIP_ER_CLOSE:
    case ZIP_ER_TMPOPEN:
    case ZIP_ER_RENAME:
        // These concern the temporary file the update is written to.
        if (systemError == ENOSPC || systemError == EDQUOT || systemError == EFBIG)
            return DiskFull;
        if (systemError == ENOMEM)
            return OutOfMemory;
        return TemporaryFileProblem;
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
    case ZIP_ER_TELL:
    case ZIP_ER_REMOVE:
    case ZIP_ER_RDONLY:
    case ZIP_ER_COMPNOTSUPP:
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
        if (systemError == ENOMEM)
            return OutOfMemory;
        return AccessFailed;
    default:
        return Unexpected;
    }
}

int ResultFromZipError(const zip_error_t* error)
{
    const int systemError = zip_error_system_type(error) == ZIP_ET_SYS ? zip_error_code_system(error) : 0;
    return ResultFromZipError(zip_error_code_zip(error), systemError);
}

} // namespace xcd::detail

} // namespace hx
