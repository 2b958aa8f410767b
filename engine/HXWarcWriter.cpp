#include "engine/HXWarcWriter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libdeflate.h>
#include <zlib.h>

#include "core/HXStrings.h"
#include "net/HXDigest.h"
#include "net/HXPartFile.h"

namespace hx
{

namespace
{

constexpr std::string_view kWarcSuffix = ".warc.gz";
constexpr std::string_view kCdxjSuffix = ".cdxj";
constexpr std::string_view kRevisitProfile = "http://netpreserve.org/warc/1.1/revisit/server-not-modified";
// The answer's header lines are read from at most this much of its start.
constexpr std::size_t kHeadBytes = 64 * 1024;
// The fastest levels: a copy must not wait for its archive.
constexpr int kCompressionLevel = Z_BEST_SPEED;
constexpr int kWholeCompressionLevel = 1;
// Answers up to this size are compressed before the file is taken.
constexpr std::int64_t kCompressAhead = 8 * 1024 * 1024;
// Compressed bytes gathered before they are written.
constexpr std::size_t kOutputBlock = 256 * 1024;

// A value that never breaks a header line: control bytes are left out.
std::string HeaderValueText(std::string_view value)
{
    std::string text;
    text.reserve(value.size());
    for (const char c : value)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            text.push_back(c);
    return text;
}

bool EndsWith(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

std::string Stem(const std::string& given)
{
    const std::string base = WarcBaseName(given);
    return base.substr(0, base.size() - kWarcSuffix.size());
}

std::string FormatTime(std::int64_t seconds, const char* format)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof(text), format, &parts);
    return std::string(text, length);
}

std::string JsonText(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string quoted = "\"";
    for (const char c : text)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
        {
            quoted.push_back('\\');
            quoted.push_back(c);
        }
        else if (byte < 0x20)
        {
            quoted += "\\u00";
            quoted.push_back(kHex[byte >> 4]);
            quoted.push_back(kHex[byte & 0x0F]);
        }
        else
        {
            quoted.push_back(c);
        }
    }
    quoted.push_back('"');
    return quoted;
}

// The status code and Content-Type of an answer from its first bytes.
struct TAnswerHead
{
    std::string Status;
    std::string MimeType;
};

TAnswerHead ReadAnswerHead(const std::string& head)
{
    TAnswerHead answer;
    std::size_t at = 0;
    bool first = true;
    while (at < head.size())
    {
        const std::size_t end = head.find('\n', at);
        std::string line = head.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? head.size() : end + 1;
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            break;
        if (first)
        {
            const std::size_t space = line.find(' ');
            if (space != std::string::npos)
                answer.Status = line.substr(space + 1, 3);
            first = false;
        }
        else if (StartsWithNoCase(line, "Content-Type:"))
        {
            std::string type = Trim(line.substr(13));
            type = Trim(type.substr(0, type.find(';')));
            answer.MimeType = LowerCase(type);
        }
    }
    return answer;
}

// One gzip member, written out as it grows.
class TGzipMember
{
public:
    TGzipMember()
    {
        if (deflateInit2(&m_stream, kCompressionLevel, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::bad_alloc();
    }
    ~TGzipMember() { deflateEnd(&m_stream); }
    TGzipMember(const TGzipMember&) = delete;
    TGzipMember& operator=(const TGzipMember&) = delete;

    // Compresses the bytes; `flush` takes the compressed output when enough has gathered.
    void Add(std::string_view bytes, const std::function<void(std::string_view)>& flush)
    {
        Run(bytes, Z_NO_FLUSH, flush);
    }
    void Finish(const std::function<void(std::string_view)>& flush) { Run({}, Z_FINISH, flush); }
    // Starts a new member with the same deflate state (whatever the last one left).
    void Reset()
    {
        if (deflateReset(&m_stream) != Z_OK)
            throw std::runtime_error("Compression failed");
        m_output.clear();
    }

private:
    void Run(std::string_view bytes, int mode, const std::function<void(std::string_view)>& flush)
    {
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        m_stream.avail_in = static_cast<uInt>(bytes.size());
        unsigned char buffer[64 * 1024];
        for (;;)
        {
            m_stream.next_out = buffer;
            m_stream.avail_out = sizeof(buffer);
            const int result = deflate(&m_stream, mode);
            m_output.append(reinterpret_cast<const char*>(buffer), sizeof(buffer) - m_stream.avail_out);
            if (m_output.size() >= kOutputBlock || (mode == Z_FINISH && result == Z_STREAM_END))
            {
                flush(m_output);
                m_output.clear();
            }
            if (mode == Z_FINISH ? result == Z_STREAM_END : m_stream.avail_in == 0 && m_stream.avail_out != 0)
                break;
            if (result != Z_OK && result != Z_BUF_ERROR)
                throw std::runtime_error("Compression failed");
        }
    }

    z_stream m_stream{};
    std::string m_output;
};

// One record held whole as one gzip member, appended to `out`: libdeflate
// compresses a buffer in one call, with nothing to reset between records.
void CompressWholeRecord(const std::string& header,
                         const std::function<void(const std::function<void(std::string_view)>& write)>& block,
                         std::string& out)
{
    struct TFreeCompressor
    {
        void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
    };
    thread_local const std::unique_ptr<libdeflate_compressor, TFreeCompressor> kCompressor{
        libdeflate_alloc_compressor(kWholeCompressionLevel)};
    if (!kCompressor)
        throw std::bad_alloc();
    thread_local std::string record;
    record.assign(header);
    block([](std::string_view bytes) { record += bytes; });
    record += "\r\n\r\n";
    const std::size_t start = out.size();
    const std::size_t bound = libdeflate_gzip_compress_bound(kCompressor.get(), record.size());
    out.resize(start + bound);
    const std::size_t length =
        libdeflate_gzip_compress(kCompressor.get(), record.data(), record.size(), out.data() + start, bound);
    if (length == 0)
        throw std::runtime_error("Compression failed");
    out.resize(start + length);
    // A large answer's buffer is not kept for the next record.
    if (record.capacity() > kOutputBlock)
        std::string().swap(record);
}

// One record as one gzip member, streamed: its header, its block and the two line ends after it.
void CompressRecord(const std::string& header,
                    const std::function<void(const std::function<void(std::string_view)>& write)>& block,
                    const std::function<void(std::string_view)>& flush)
{
    // Each thread keeps one deflate state for its records: a state holds about a
    // quarter of a megabyte, and making one per record (allocated, cleared and given
    // back to the system while the slots run) cost more than the compression.
    thread_local TGzipMember kept;
    TGzipMember& member = kept;
    member.Reset();
    member.Add(header, flush);
    block([&member, &flush](std::string_view bytes) { member.Add(bytes, flush); });
    member.Add("\r\n\r\n", flush);
    member.Finish(flush);
}

std::int64_t FileSize(int fd)
{
    struct stat info
    {
    };
    return ::fstat(fd, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : 0;
}

} // namespace

std::string WarcBaseName(const std::string& given)
{
    if (EndsWith(given, kWarcSuffix))
        return given;
    if (EndsWith(given, ".warc"))
        return given + ".gz";
    return given + std::string(kWarcSuffix);
}

std::string WarcFileName(const std::string& given, int number)
{
    if (number <= 0)
        return WarcBaseName(given);
    return Stem(given) + "-" + std::to_string(number) + std::string(kWarcSuffix);
}

std::string CdxjFileName(const std::string& given)
{
    return Stem(given) + std::string(kCdxjSuffix);
}

std::string SurtKey(std::string_view url)
{
    std::string text = LowerCase(url);
    text = text.substr(0, text.find('#'));
    std::string scheme;
    if (const std::size_t colon = text.find("://"); colon != std::string::npos)
    {
        scheme = text.substr(0, colon);
        text.erase(0, colon + 3);
    }
    const std::size_t pathStart = text.find_first_of("/?");
    std::string host = text.substr(0, pathStart);
    std::string path = pathStart == std::string::npos ? "/" : text.substr(pathStart);
    if (!path.empty() && path.front() == '?')
        path.insert(0, "/");
    if (const std::size_t at = host.rfind('@'); at != std::string::npos)
        host.erase(0, at + 1);
    std::string port;
    if (const std::size_t colon = host.rfind(':'); colon != std::string::npos && host.find(']') == std::string::npos)
    {
        port = host.substr(colon + 1);
        host.erase(colon);
        if ((scheme == "http" && port == "80") || (scheme == "https" && port == "443"))
            port.clear();
    }
    if (host.compare(0, 4, "www.") == 0)
        host.erase(0, 4);
    const bool address =
        !host.empty() && (host.front() == '[' || host.find_first_not_of("0123456789.") == std::string::npos);
    std::string key;
    if (address)
    {
        key = host;
    }
    else
    {
        std::size_t end = host.size();
        while (end > 0)
        {
            const std::size_t dot = host.rfind('.', end - 1);
            const std::size_t begin = dot == std::string::npos ? 0 : dot + 1;
            if (!key.empty())
                key.push_back(',');
            key += host.substr(begin, end - begin);
            if (dot == std::string::npos)
                break;
            end = dot;
        }
    }
    if (!port.empty())
        key += ":" + port;
    return key + ")" + path;
}

TWarcWriter::TWarcWriter(std::string path, TWarcOptions options)
    : m_given(std::move(path))
    , m_options(std::move(options))
    , m_random(std::random_device{}())
{
    // A later run goes on in the last file of the series.
    int number = 0;
    while (FileExists(WarcFileName(m_given, number + 1)))
        ++number;
    const std::string folder = ExtractFilePath(WarcBaseName(m_given));
    if (!folder.empty())
        ForceDirectories(folder);
    std::lock_guard lock(m_mutex);
    OpenFile(number);
    if (m_size >= m_options.FileLimit)
        OpenFile(number + 1);
    const std::string index = CdxjFileName(m_given);
    m_index = TFileHandle(::open(index.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!m_index.Valid())
        WriteFailed(index, errno);
    WriteInfo();
}

TWarcWriter::~TWarcWriter()
{
    try
    {
        SortIndex();
    }
    catch (const std::exception&)
    {
        // The unsorted index stays; the records themselves are whole.
    }
}

std::string TWarcWriter::CurrentFile() const
{
    std::lock_guard lock(m_mutex);
    return m_path;
}

void TWarcWriter::OpenFile(int number)
{
    const std::string path = WarcFileName(m_given, number);
    TFileHandle file(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!file.Valid())
        WriteFailed(path, errno);
    m_file = std::move(file);
    m_path = path;
    m_number = number;
    m_size = FileSize(m_file.Get());
    m_fresh = m_size == 0;
}

void TWarcWriter::WriteFailed(const std::string& path, int error)
{
    throw EDiskFull(WriteStopText(path, error));
}

std::string TWarcWriter::NewRecordID()
{
    const std::uint64_t high = (m_random() & 0xFFFFFFFFFFFF0FFFULL) | 0x0000000000004000ULL;
    const std::uint64_t low = (m_random() & 0x3FFFFFFFFFFFFFFFULL) | 0x8000000000000000ULL;
    char text[64];
    std::snprintf(text, sizeof(text), "<urn:uuid:%08x-%04x-%04x-%04x-%012llx>", static_cast<unsigned>(high >> 32),
                  static_cast<unsigned>((high >> 16) & 0xFFFF), static_cast<unsigned>(high & 0xFFFF),
                  static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFULL));
    return text;
}

void TWarcWriter::WriteBytes(std::string_view bytes)
{
    while (!bytes.empty())
    {
        const ssize_t written = m_options.Writer ? m_options.Writer(m_file.Get(), bytes.data(), bytes.size())
                                                 : ::write(m_file.Get(), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            WriteFailed(m_path, written < 0 ? errno : ENOSPC);
        bytes.remove_prefix(static_cast<std::size_t>(written));
        m_size += written;
    }
}

std::int64_t TWarcWriter::WriteRecord(const std::string& header, const TBlock& block)
{
    const std::int64_t start = m_size;
    CompressRecord(header, block, [this](std::string_view compressed) { WriteBytes(compressed); });
    return m_size - start;
}

void TWarcWriter::WriteInfo()
{
    std::string fields = "software: " + m_options.Software + "\r\nformat: WARC File Format 1.1\r\n";
    if (!m_options.IsPartOf.empty())
        fields += "isPartOf: " + HeaderValueText(m_options.IsPartOf) + "\r\n";
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const std::string date =
        FormatTime(std::chrono::duration_cast<std::chrono::seconds>(now).count(), "%Y-%m-%dT%H:%M:%SZ");
    std::string id;
    {
        std::lock_guard lock(m_idMutex);
        id = NewRecordID();
    }
    const std::string header =
        "WARC/1.1\r\nWARC-Type: warcinfo\r\nWARC-Record-ID: " + id + "\r\nWARC-Date: " + date +
        "\r\nWARC-Filename: " + ExtractFileName(m_path) +
        "\r\nContent-Type: application/warc-fields\r\nWARC-Block-Digest: " + TSha1::Labelled(fields) +
        "\r\nContent-Length: " + std::to_string(fields.size()) + "\r\n\r\n";
    const std::int64_t start = m_size;
    try
    {
        WriteRecord(header, [&fields](const auto& write) { write(fields); });
    }
    catch (...)
    {
        if (::ftruncate(m_file.Get(), static_cast<off_t>(start)) == 0)
            m_size = start;
        throw;
    }
}

void TWarcWriter::AppendIndexLine(const std::string& line)
{
    std::string_view bytes = line;
    while (!bytes.empty())
    {
        const ssize_t written = ::write(m_index.Get(), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            WriteFailed(CdxjFileName(m_given), written < 0 ? errno : ENOSPC);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void TWarcWriter::Record(const THXExchange& exchange)
{
    if (exchange.Response == nullptr)
        return;
    const TAnswerHead answer = ReadAnswerHead(exchange.Response->Head(kHeadBytes));
    const bool revisit = answer.Status == "304";
    const std::string date = FormatTime(exchange.Time, "%Y-%m-%dT%H:%M:%SZ");

    std::string requestID;
    std::string responseID;
    {
        std::lock_guard lock(m_idMutex);
        requestID = NewRecordID();
        responseID = NewRecordID();
    }
    std::string common = "WARC-Date: " + date + "\r\nWARC-Target-URI: " + HeaderValueText(exchange.URL) + "\r\n";
    if (!exchange.IPAddress.empty())
        common += "WARC-IP-Address: " + exchange.IPAddress + "\r\n";

    const std::string requestHeader =
        "WARC/1.1\r\nWARC-Type: request\r\nWARC-Record-ID: " + requestID + "\r\n" + common +
        "WARC-Concurrent-To: " + responseID +
        "\r\nContent-Type: application/http;msgtype=request\r\nWARC-Block-Digest: " + exchange.RequestDigest +
        "\r\nContent-Length: " + std::to_string(exchange.Request.size()) + "\r\n\r\n";

    std::string responseHeader = "WARC/1.1\r\nWARC-Type: " + std::string(revisit ? "revisit" : "response") +
                                 "\r\nWARC-Record-ID: " + responseID + "\r\n" + common +
                                 "WARC-Concurrent-To: " + requestID + "\r\n";
    if (revisit)
        responseHeader += "WARC-Profile: " + std::string(kRevisitProfile) +
                          "\r\nWARC-Refers-To-Target-URI: " + HeaderValueText(exchange.URL) + "\r\n";
    else if (exchange.BodyRead)
        responseHeader += "WARC-Payload-Digest: " + exchange.PayloadDigest + "\r\n";
    else
        responseHeader += "WARC-Truncated: unspecified\r\n";
    responseHeader +=
        "Content-Type: application/http;msgtype=response\r\nWARC-Block-Digest: " + exchange.ResponseDigest +
        "\r\nContent-Length: " + std::to_string(exchange.Response->Size()) + "\r\n\r\n";

    // The records are compressed on the transfer's own thread, so the slots write
    // side by side; only an answer too large to hold compressed in memory is
    // compressed while the file is held.
    const TBlock requestBlock = [&exchange](const auto& write) { write(exchange.Request); };
    const TBlock responseBlock = [&exchange](const auto& write) { exchange.Response->ForEachPiece(write); };
    const bool ahead = exchange.Response->Size() <= kCompressAhead;
    // Both records compressed ahead, outside the lock.
    std::string recordBytes;
    std::size_t requestLength = 0;
    if (ahead)
    {
        CompressWholeRecord(requestHeader, requestBlock, recordBytes);
        requestLength = recordBytes.size();
        CompressWholeRecord(responseHeader, responseBlock, recordBytes);
    }

    std::lock_guard lock(m_mutex);
    // A flush that failed is tried again at once: if the disk is still full, the run stops here.
    if (m_flushFailed)
    {
        FlushLocked();
        m_flushFailed = false;
    }
    if (m_size >= m_options.FileLimit && !m_fresh)
    {
        FlushLocked();
        OpenFile(m_number + 1);
        WriteInfo();
    }
    const std::int64_t start = m_size;
    std::int64_t responseOffset = 0;
    std::int64_t responseLength = 0;
    if (ahead)
    {
        // Gathered with the others; written when enough have gathered.
        m_gathered += recordBytes;
        m_size += static_cast<std::int64_t>(recordBytes.size());
        responseOffset = start + static_cast<std::int64_t>(requestLength);
        responseLength = m_size - responseOffset;
    }
    else
    {
        // Streamed straight to the file, after what has gathered. Both records or
        // neither: a failed write is cut off again.
        FlushLocked();
        try
        {
            WriteRecord(requestHeader, requestBlock);
            responseOffset = m_size;
            responseLength = WriteRecord(responseHeader, responseBlock);
        }
        catch (...)
        {
            if (::ftruncate(m_file.Get(), static_cast<off_t>(start)) == 0)
                m_size = start;
            throw;
        }
    }
    m_fresh = false;

    // Replay looks answers up by address; a HEAD's answer has no page to show.
    if (exchange.Method == "HEAD")
        return;
    std::string fields = "{\"url\": " + JsonText(exchange.URL);
    if (exchange.Method != "GET")
        fields += ", \"method\": " + JsonText(exchange.Method);
    fields += ", \"mime\": " + JsonText(revisit ? "warc/revisit" : answer.MimeType) +
              ", \"status\": " + JsonText(answer.Status);
    if (!revisit && exchange.BodyRead)
        fields += ", \"digest\": " + JsonText(exchange.PayloadDigest);
    fields += ", \"length\": \"" + std::to_string(responseLength) + "\", \"offset\": \"" +
              std::to_string(responseOffset) + "\", \"filename\": " + JsonText(ExtractFileName(m_path)) + "}";
    m_gatheredIndex += SurtKey(exchange.URL) + " " + FormatTime(exchange.Time, "%Y%m%d%H%M%S") + " " + fields + "\n";
    if (m_gathered.size() + m_gatheredIndex.size() >= kWarcGatherBytes)
        FlushLocked();
}

void TWarcWriter::FlushLocked()
{
    if (!m_gathered.empty())
    {
        // All gathered records or none: a failed write is cut off again.
        const std::int64_t start = m_size - static_cast<std::int64_t>(m_gathered.size());
        try
        {
            m_size = start;
            WriteBytes(m_gathered);
        }
        catch (...)
        {
            if (::ftruncate(m_file.Get(), static_cast<off_t>(start)) == 0)
            {
                // Kept for a later try, at the offsets their index lines name.
                m_size = start + static_cast<std::int64_t>(m_gathered.size());
            }
            else
            {
                // The file could not be cut back: what did not fit is given up,
                // index lines with it, so no line names bytes that are not there.
                m_gathered.clear();
                m_gatheredIndex.clear();
                m_size = FileSize(m_file.Get());
            }
            throw;
        }
        m_gathered.clear();
    }
    if (!m_gatheredIndex.empty())
    {
        AppendIndexLine(m_gatheredIndex);
        m_gatheredIndex.clear();
    }
}

bool TWarcWriter::Flush()
{
    std::lock_guard lock(m_mutex);
    try
    {
        FlushLocked();
        return true;
    }
    catch (const std::exception&)
    {
        m_flushFailed = true;
        return false;
    }
}

void TWarcWriter::SortIndex()
{
    std::lock_guard lock(m_mutex);
    FlushLocked();
    const std::string path = CdxjFileName(m_given);
    const std::optional<std::string> text = ReadWholeFile(path);
    if (!text)
        return;
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text->size())
    {
        const std::size_t end = text->find('\n', at);
        std::string line = text->substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text->size() : end + 1;
        if (!line.empty())
            lines.push_back(std::move(line));
    }
    if (std::is_sorted(lines.begin(), lines.end()))
        return;
    std::stable_sort(lines.begin(), lines.end());
    std::string sorted;
    for (const std::string& line : lines)
        sorted += line + "\n";
    if (!WriteFileAtomic(path, sorted, TDurability::kAtomicOnly))
        throw EFileError("Unable to write " + path);
    // Later lines go to the new file.
    m_index = TFileHandle(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
}

} // namespace hx
