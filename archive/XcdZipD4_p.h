#pragma once

// Private parts of the Zip component: libzip handle owners, the running-operation
// state (busy guard, abort, progress, window-event pumping), name and mask rules,
// the result-code mapping of libzip errors and the central-directory date reader.

#include "archive/XcdZipD4.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <zip.h>

namespace hx
{

namespace xcd::detail
{

// An archive handle we still own: zip_close frees it only when it succeeds, so
// every other path discards it (no change reaches the file).
struct TArchiveDiscard
{
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using TArchivePtr = std::unique_ptr<zip_t, TArchiveDiscard>;

// A data source we still own: the archive takes it only when zip_file_add or
// zip_file_replace succeeds.
struct TSourceFree
{
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using TSourcePtr = std::unique_ptr<zip_source_t, TSourceFree>;

struct TEntryClose
{
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using TEntryPtr = std::unique_ptr<zip_file_t, TEntryClose>;

// The result code for a libzip error (ZIP_ER_*) and, for errors of the system
// kind, its errno (0 when unknown).
int ResultFromZipError(int zipError, int systemError);
// The result code for the error recorded in a libzip error object.
int ResultFromZipError(const zip_error_t* error);
// The result code for an errno of our own file work (extraction).
int ResultFromErrno(int error);

// Opens the archive; returns a result code (xcd::Success with `archive` set).
int OpenArchive(const std::string& path, int flags, TArchivePtr& archive);

// True when the text holds "*" or "?".
bool HasWildcards(std::string_view text);
// Whether a name matches a mask. A mask without wildcards must equal the name;
// otherwise "*" stands for any run of characters ("/" included, so "site/*.*"
// takes a whole folder tree), "?" for one character, ASCII letter case is ignored,
// and "*.*" at the end matches names without a dot too. An empty mask matches all.
bool MatchesMask(std::string_view name, std::string_view mask);

// A stored name made from a local relative path: "/" separated, without empty,
// "." and leading ".." steps ("./a//b/../c" gives "a/c").
std::string NormalizedEntryPath(std::string_view path);
// The steps of an entry name below the extraction folder, without empty, "." and
// ".." steps; false for a name that would leave the folder (absolute, or any "..").
bool SafeEntrySteps(std::string_view name, std::vector<std::string>& steps);

// Cuts UTF-8 text to at most `count` characters without splitting a character.
std::string CutCharacters(std::string_view text, std::size_t count);

// MS-DOS date and time fields as stored in Zip headers.
struct TDosStamp
{
    std::uint16_t time = 0;
    std::uint16_t date = 0;
};
// The local date-time of a stamp; 1 January 1980 00:00 when a field is out of range.
TDateTime DateTimeFromDos(TDosStamp stamp);
// The stamp of a local date-time (clamped to 1980..2107, seconds rounded down to even).
TDosStamp DosFromDateTime(TDateTime value);
// Seconds since the epoch of a local date-time.
std::int64_t UnixTimeFromDateTime(TDateTime value);

// The local date-time of seconds since the epoch; 1 January 1980 00:00 for values
// before 1980 or that cannot be converted.
TDateTime DateTimeFromUnix(std::int64_t value);

// One record of the central directory, as far as the listing needs it.
struct TDirectoryRecord
{
    std::string rawName;
    TDosStamp stamp;
};
// The records of the archive's central directory in stored order, or nothing when
// the file cannot be read or does not look like a Zip file. libzip does not hand
// out the stored date fields, and the listing needs them to tell invalid dates.
std::optional<std::vector<TDirectoryRecord>> ReadCentralDirectory(const std::string& path);

// The stored date and time of the entries of an open archive: from the central
// directory's date fields when the directory read from the file is the one libzip
// read, else from libzip's modification time.
class TEntryDates
{
public:
    TEntryDates(const std::string& path, zip_t* archive);
    TDateTime Of(zip_uint64_t index, const zip_stat_t& stat);

private:
    zip_t* m_archive;
    std::optional<std::vector<TDirectoryRecord>> m_records;
};

} // namespace xcd::detail

// The state of the operation that runs: marks the component busy, clears the abort
// flag, carries progress and window-event pumping, keeps an exception thrown by an
// event handler inside a libzip callback until libzip has returned, and empties
// FilesToProcess at the end.
class TXceedZip::TOperation
{
public:
    explicit TOperation(TXceedZip& zip);
    ~TOperation();
    TOperation(const TOperation&) = delete;
    TOperation& operator=(const TOperation&) = delete;

    TXceedZip& Zip() { return m_zip; }
    bool AbortRequested() const { return m_zip.Abort.load(); }
    // Lets the window process its events when due; returns whether an abort was requested.
    bool Pump();

    void SetTotal(std::int64_t total);
    // Reports the processed amount (OnStatus when the percentage changes).
    void Progress(std::int64_t processed);
    // Reports the operation complete (processed == total).
    void Finish();

    // OnSkipping, and remembers that something was skipped.
    void Skip(const std::string& name, TXcdSkipReason reason);
    bool SkippedAny() const { return m_skipped; }

    // Lets libzip report progress and ask for an abort while it writes the archive.
    void Attach(zip_t* archive);
    // Closes the archive (writing the update); returns a result code. On failure
    // the archive is discarded and the previous file stays; an exception of an
    // event handler called from inside libzip is rethrown here.
    int Close(xcd::detail::TArchivePtr& archive);

private:
    static void ProgressCallback(zip_t* archive, double fraction, void* self);
    static int CancelCallback(zip_t* archive, void* self);

    TXceedZip& m_zip;
    std::int64_t m_total = 0;
    int m_lastPercent = -1;
    bool m_skipped = false;
    std::exception_ptr m_callbackError;
    std::chrono::steady_clock::time_point m_lastPump;
};

} // namespace hx
