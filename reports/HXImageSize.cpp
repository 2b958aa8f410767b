#include "reports/HXImageSize.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <string_view>

namespace hx
{

namespace
{

using TBytes = std::basic_string<unsigned char>;

// Up to count bytes from the file's current position; fewer at its end.
TBytes ReadBytes(std::ifstream& in, std::size_t count)
{
    TBytes bytes(count, 0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

TBytes ReadHead(const std::string& path, std::size_t count)
{
    std::ifstream in(path, std::ios::binary);
    return in ? ReadBytes(in, count) : TBytes();
}

bool StartsWith(const TBytes& bytes, std::size_t offset, std::string_view text)
{
    if (bytes.size() < offset + text.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (bytes[offset + i] != static_cast<unsigned char>(text[i]))
            return false;
    return true;
}

std::uint32_t BigEndian16(const TBytes& bytes, std::size_t offset)
{
    return (std::uint32_t{bytes[offset]} << 8) | bytes[offset + 1];
}

std::uint32_t BigEndian32(const TBytes& bytes, std::size_t offset)
{
    return (BigEndian16(bytes, offset) << 16) | BigEndian16(bytes, offset + 2);
}

std::uint32_t LittleEndian(const TBytes& bytes, std::size_t offset, std::size_t count)
{
    std::uint32_t value = 0;
    for (std::size_t i = count; i > 0; --i)
        value = (value << 8) | bytes[offset + i - 1];
    return value;
}

// A size only when both sides are real: a zero or an overflowing side is damage.
TImageSize Checked(std::uint64_t width, std::uint64_t height)
{
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<int>::max());
    if (width == 0 || height == 0 || width > kMax || height > kMax)
        return {};
    return {static_cast<int>(width), static_cast<int>(height)};
}

constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1A\n";

bool IsStartOfFrame(unsigned char marker)
{
    // 0xC4 (DHT), 0xC8 (JPG) and 0xCC (DAC) share the range but carry no frame.
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool IsStandalone(unsigned char marker)
{
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
}

} // namespace

TImageSize GifImageSize(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    const TBytes header = ReadBytes(in, 13);
    if (header.size() < 13 || !StartsWith(header, 0, "GIF"))
        return {};
    if ((header[10] & 0x80) != 0)
    {
        const std::streamoff tableSize = 3 * (std::streamoff{1} << ((header[10] & 0x07) + 1));
        in.seekg(tableSize, std::ios::cur);
    }
    // The first 0x2C byte after the header and colour table introduces the image
    // descriptor: left, top, width and height as 16-bit little-endian values.
    std::istreambuf_iterator<char> byte(in);
    const std::istreambuf_iterator<char> end;
    for (; byte != end; ++byte)
    {
        if (static_cast<unsigned char>(*byte) != 0x2C)
            continue;
        ++byte;
        TBytes descriptor;
        for (; descriptor.size() < 9 && byte != end; ++byte)
            descriptor.push_back(static_cast<unsigned char>(*byte));
        if (descriptor.size() < 9)
            return {};
        return {static_cast<int>(LittleEndian(descriptor, 4, 2)), static_cast<int>(LittleEndian(descriptor, 6, 2))};
    }
    return {};
}

TImageSize PngImageSize(const std::string& path)
{
    // Signature, then the IHDR chunk: length 13, type, width and height (big-endian).
    const TBytes head = ReadHead(path, 24);
    if (head.size() < 24 || !StartsWith(head, 0, kPngSignature) || !StartsWith(head, 12, "IHDR"))
        return {};
    return Checked(BigEndian32(head, 16), BigEndian32(head, 20));
}

TImageSize JpegImageSize(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    const TBytes start = ReadBytes(in, 2);
    if (start.size() < 2 || start[0] != 0xFF || start[1] != 0xD8)
        return {};
    // Walk the segments: each marker is 0xFF (possibly repeated as fill) and a code;
    // all but the standalone markers carry a big-endian length that counts itself.
    for (;;)
    {
        TBytes marker = ReadBytes(in, 1);
        if (marker.empty() || marker[0] != 0xFF)
            return {};
        do
            marker = ReadBytes(in, 1);
        while (!marker.empty() && marker[0] == 0xFF);
        if (marker.empty())
            return {};
        const unsigned char code = marker[0];
        if (IsStandalone(code))
            continue;
        // End of image or start of scan before any frame header: no size to be had.
        if (code == 0x00 || code == 0xD9 || code == 0xDA)
            return {};
        const TBytes length = ReadBytes(in, 2);
        if (length.size() < 2 || BigEndian16(length, 0) < 2)
            return {};
        const std::uint32_t bodySize = BigEndian16(length, 0) - 2;
        if (IsStartOfFrame(code))
        {
            // Precision, then height and width.
            const TBytes frame = ReadBytes(in, 5);
            if (bodySize < 5 || frame.size() < 5)
                return {};
            return Checked(BigEndian16(frame, 3), BigEndian16(frame, 1));
        }
        in.seekg(bodySize, std::ios::cur);
        if (!in)
            return {};
    }
}

TImageSize WebpImageSize(const std::string& path)
{
    const TBytes head = ReadHead(path, 30);
    if (head.size() < 20 || !StartsWith(head, 0, "RIFF") || !StartsWith(head, 8, "WEBP"))
        return {};
    constexpr std::size_t kData = 20;
    if (StartsWith(head, 12, "VP8 "))
    {
        // A key frame: three bytes of frame tag, the start code, then 14-bit width and height.
        if (head.size() < kData + 10 || !StartsWith(head, kData + 3, "\x9D\x01\x2A"))
            return {};
        return Checked(LittleEndian(head, kData + 6, 2) & 0x3FFF, LittleEndian(head, kData + 8, 2) & 0x3FFF);
    }
    if (StartsWith(head, 12, "VP8L"))
    {
        // Signature byte 0x2F, then width - 1 and height - 1 in 14 bits each, low bits first.
        if (head.size() < kData + 5 || head[kData] != 0x2F)
            return {};
        const std::uint32_t bits = LittleEndian(head, kData + 1, 4);
        return Checked((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
    }
    if (StartsWith(head, 12, "VP8X"))
    {
        // Flags and three reserved bytes, then canvas width - 1 and height - 1 in 24 bits each.
        if (head.size() < kData + 10)
            return {};
        return Checked(std::uint64_t{LittleEndian(head, kData + 4, 3)} + 1,
                       std::uint64_t{LittleEndian(head, kData + 7, 3)} + 1);
    }
    return {};
}

TImageSize ImageSize(const std::string& path)
{
    const TBytes head = ReadHead(path, 12);
    if (StartsWith(head, 0, "GIF"))
        return GifImageSize(path);
    if (StartsWith(head, 0, kPngSignature))
        return PngImageSize(path);
    if (head.size() >= 2 && head[0] == 0xFF && head[1] == 0xD8)
        return JpegImageSize(path);
    if (StartsWith(head, 0, "RIFF") && StartsWith(head, 8, "WEBP"))
        return WebpImageSize(path);
    return {};
}

} // namespace hx
