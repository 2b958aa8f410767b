#pragma once

// Width and height of a saved image, read from the few header bytes each format
// keeps them in, for the "W: , H: " line of the image index. GIF, PNG, JPEG and
// WebP are recognised by their leading bytes, not by the file name; anything else,
// an unreadable file or a header cut short or damaged gives 0 x 0.

#include <string>

namespace hx
{

struct TImageSize
{
    int Width = 0;
    int Height = 0;
    bool operator==(const TImageSize&) const = default;
};

// Width and height of a GIF file from its first image descriptor; 0 x 0 for any
// other file, an unreadable or short one, or one without a descriptor.
TImageSize GifImageSize(const std::string& path);

// PNG: the IHDR chunk that must come first.
TImageSize PngImageSize(const std::string& path);

// JPEG: the first start-of-frame marker (SOF0 to SOF15, not DHT, JPG or DAC).
TImageSize JpegImageSize(const std::string& path);

// WebP: the first chunk of the RIFF container, lossy ("VP8 "), lossless ("VP8L")
// or extended ("VP8X", the canvas size).
TImageSize WebpImageSize(const std::string& path);

// Any of the four, chosen by the file's leading bytes.
TImageSize ImageSize(const std::string& path);

} // namespace hx
