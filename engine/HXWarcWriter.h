#pragma once

// TWarcWriter: a task's archive file in the WARC 1.1 format, as web archivists'
// replay tools read it. Each record is a gzip member of its own: a warcinfo
// record whenever a file is opened, then for every exchange of the run a request
// record and a response record holding the bytes as sent and received (header
// lines as on the wire, the body with its transfer and content coding), linked
// to each other by WARC-Concurrent-To and carrying SHA-1 digests of their
// blocks and of the response's payload. A 304 answer to a conditional request (a
// Smart Update) becomes a revisit record. A file that has grown past the limit
// is followed by a numbered one ("site.warc.gz", "site-1.warc.gz", ...); a
// later run appends to the last of them. A CDXJ index of the response and
// revisit records ("site.cdxj") is kept beside them, sorted when the writer closes.
//
// Threads: Record may be called from every transfer thread at once; the records
// of one exchange are written together. The object is RAII: its files close
// (and the index is sorted) when it goes.

#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "core/HXExchangeRecorder.h"
#include "core/HXFiles.h"

namespace hx
{

// Compressed records of small answers gather in memory up to this size before
// they are written in one go (and at every Flush, which the task calls before it
// saves its queue, and when the writer closes): one write per exchange cost a
// copy with an archive several per cent of its time.
inline constexpr std::size_t kWarcGatherBytes = 256 * 1024;

// A WARC file that has reached this size is followed by the next numbered one.
inline constexpr std::int64_t kWarcFileLimit = 1024LL * 1024 * 1024;

// How the record bytes reach the disk, with write's arguments and result (a
// negative result with errno set on failure). Empty: write itself. Tests give one
// that runs out of room.
using TWarcWrite = std::function<ssize_t(int fd, const void* data, std::size_t size)>;

struct TWarcOptions
{
    // The warcinfo record's "software" and "isPartOf" (the task's name).
    std::string Software;
    std::string IsPartOf;
    std::int64_t FileLimit = kWarcFileLimit;
    TWarcWrite Writer;
};

// The file name given, made to end with ".warc.gz".
std::string WarcBaseName(const std::string& given);
// The n-th file of the series: n = 0 is the name itself, n > 0 has "-n" before ".warc.gz".
std::string WarcFileName(const std::string& given, int number);
// The index beside the series: ".warc.gz" replaced by ".cdxj".
std::string CdxjFileName(const std::string& given);
// The sort key replay tools index an address by: the host's labels reversed and
// joined with commas (a leading "www." dropped, an IP address kept as it is), a
// port other than the scheme's, ")" and the path with its query, in lower case:
// "http://www.Example.org:8080/A?b=1" is "org,example:8080)/a?b=1".
std::string SurtKey(std::string_view url);

class TWarcWriter final : public THXExchangeRecorder
{
public:
    // Opens the last file of the series (appending) or starts it, and writes a
    // warcinfo record. Throws EFileError (EDiskFull when the run cannot go on)
    // when the file cannot be opened or written.
    TWarcWriter(std::string path, TWarcOptions options);
    ~TWarcWriter() override;
    TWarcWriter(const TWarcWriter&) = delete;
    TWarcWriter& operator=(const TWarcWriter&) = delete;

    // Writes the exchange's records. Fails with EDiskFull when they cannot be
    // written; the file is then cut back to where they began, so it stays readable.
    void Record(const THXExchange& exchange) override;
    // Writes the records gathered in memory (see kWarcGatherBytes).
    bool Flush() override;

    // The file records go to now.
    std::string CurrentFile() const;
    // Sorts the index; the destructor does it too. Throws EFileError when it cannot be written.
    void SortIndex();

private:
    using TBlock = std::function<void(const std::function<void(std::string_view)>& write)>;

    void OpenFile(int number);
    void WriteInfo();
    // Appends one gzip-compressed record; returns its compressed length.
    std::int64_t WriteRecord(const std::string& header, const TBlock& block);
    void WriteBytes(std::string_view bytes);
    void AppendIndexLine(const std::string& line);
    // Under m_mutex: writes the gathered records and index lines. Throws EDiskFull
    // when they cannot be written; the file is then cut back to where they began
    // and they stay gathered.
    void FlushLocked();
    // Under m_idMutex.
    std::string NewRecordID();
    [[noreturn]] void WriteFailed(const std::string& path, int error);

    const std::string m_given;
    const TWarcOptions m_options;
    // Guards the files and the sizes; m_idMutex the record IDs' random numbers.
    mutable std::mutex m_mutex;
    std::mutex m_idMutex;
    int m_number = 0;
    std::string m_path;
    TFileHandle m_file;
    // The file's size with the gathered records counted in: where the next record begins.
    std::int64_t m_size = 0;
    // Compressed records and index lines not yet written.
    std::string m_gathered;
    std::string m_gatheredIndex;
    // The last Flush could not write; the next Record tries again first.
    bool m_flushFailed = false;
    // The file holds nothing yet but the warcinfo record this writer began it with:
    // it takes the next exchange whatever the limit (a record larger than the
    // limit would otherwise open file after file).
    bool m_fresh = false;
    TFileHandle m_index;
    std::mt19937_64 m_random;
};

} // namespace hx
