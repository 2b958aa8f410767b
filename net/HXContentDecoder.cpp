#include "net/HXContentDecoder.h"

#include <array>

#include <zlib.h>

#include "core/HXStrings.h"

namespace hx
{

namespace
{

// zlib's window bits: 15 with 16 added reads a gzip wrapper, negative reads bare
// deflate data, 15 alone reads a zlib wrapper.
constexpr int kGzipWindow = 15 + 16;
constexpr int kZlibWindow = 15;
constexpr int kRawWindow = -15;
constexpr std::size_t kOutputBlock = 64 * 1024;

// A zlib wrapper's first two bytes: method 8 (deflate) and a check making the pair
// a multiple of 31.
bool IsZlibHeader(unsigned char first, unsigned char second)
{
    return (first & 0x0F) == 8 && ((static_cast<unsigned>(first) << 8) | second) % 31 == 0;
}

} // namespace

TContentCoding ContentCodingOf(std::string_view contentEncoding)
{
    const std::string coding = LowerCase(Trim(contentEncoding));
    if (coding == "gzip" || coding == "x-gzip")
        return TContentCoding::Gzip;
    if (coding == "deflate")
        return TContentCoding::Deflate;
    return TContentCoding::Identity;
}

bool KeepsContentCoding(std::string_view path, std::string_view contentType)
{
    const std::string_view file = path.substr(0, path.find_first_of("?#"));
    for (const std::string_view suffix : {".gz", ".tgz", ".svgz"})
    {
        if (EndsWithNoCase(file, suffix))
            return true;
    }
    std::string type = LowerCase(Trim(contentType.substr(0, contentType.find(';'))));
    for (const std::string_view archive :
         {"application/gzip", "application/x-gzip", "application/x-gunzip", "application/gzipped", "application/x-tgz",
          "application/x-tar", "application/x-gtar", "application/x-compressed-tar"})
    {
        if (type == archive)
            return true;
    }
    return false;
}

struct TContentDecoder::TState
{
    z_stream Stream{};
    bool Open = false;

    ~TState()
    {
        if (Open)
            inflateEnd(&Stream);
    }
};

TContentDecoder::TContentDecoder(TContentCoding coding, TByteSink& target)
    : m_coding(coding)
    , m_target(target)
    , m_state(std::make_unique<TState>())
{
    if (m_coding == TContentCoding::Gzip)
        Start(false);
}

TContentDecoder::~TContentDecoder() = default;

void TContentDecoder::Start(bool rawDeflate)
{
    const int window = m_coding == TContentCoding::Gzip ? kGzipWindow : (rawDeflate ? kRawWindow : kZlibWindow);
    if (inflateInit2(&m_state->Stream, window) != Z_OK)
    {
        m_failed = true;
        return;
    }
    m_state->Open = true;
}

void TContentDecoder::Write(std::string_view data)
{
    m_received += static_cast<std::int64_t>(data.size());
    if (m_failed || data.empty())
        return;
    if (m_coding == TContentCoding::Identity)
    {
        m_target.Write(data);
        return;
    }
    if (!m_state->Open)
    {
        // "deflate" is meant to come with a zlib wrapper, but some servers send the
        // bare data: the first two bytes decide which.
        m_head.append(data);
        if (m_head.size() < 2)
            return;
        Start(!IsZlibHeader(static_cast<unsigned char>(m_head[0]), static_cast<unsigned char>(m_head[1])));
        const std::string head = std::move(m_head);
        m_head.clear();
        Inflate(head);
        return;
    }
    Inflate(data);
}

void TContentDecoder::Inflate(std::string_view data)
{
    if (m_failed)
        return;
    z_stream& stream = m_state->Stream;
    std::array<unsigned char, kOutputBlock> output{};
    while (!data.empty())
    {
        if (m_ended)
        {
            // Several gzip members one after another make one body (as gzip -d reads
            // them). Other bytes after the end (padding some servers add) are no
            // part of the content and are passed over.
            if (m_coding != TContentCoding::Gzip || static_cast<unsigned char>(data.front()) != 0x1F)
                return;
            if (inflateReset(&stream) != Z_OK)
            {
                m_failed = true;
                return;
            }
            m_ended = false;
        }
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        stream.avail_in = static_cast<uInt>(data.size());
        int result = Z_OK;
        do
        {
            stream.next_out = output.data();
            stream.avail_out = static_cast<uInt>(output.size());
            result = inflate(&stream, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            {
                m_failed = true;
                return;
            }
            const std::size_t produced = output.size() - stream.avail_out;
            if (produced > 0)
                m_target.Write(std::string_view(reinterpret_cast<const char*>(output.data()), produced));
        } while (result == Z_OK && stream.avail_out == 0);
        data.remove_prefix(data.size() - stream.avail_in);
        if (result == Z_STREAM_END)
            m_ended = true;
        else if (stream.avail_in > 0 && result == Z_BUF_ERROR)
        {
            m_failed = true;
            return;
        }
    }
}

} // namespace hx
