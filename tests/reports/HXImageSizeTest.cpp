#include "reports/HXImageSize.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/HXSandbox.h"

namespace hx
{
namespace
{

struct TSample
{
    const char* file;
    TImageSize size;
};

// Small files written by ImageMagick, one per header layout the index reads.
const TSample kSamples[] = {
    {"sample.png", {13, 7}},  {"baseline.jpg", {21, 11}}, {"progressive.jpg", {19, 23}},
    {"lossy.webp", {29, 17}}, {"lossless.webp", {33, 5}}, {"alpha.webp", {37, 41}},
};

std::string SampleBytes(const std::string& file)
{
    std::ifstream in(std::string(HX_IMAGE_SAMPLES) + "/" + file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class HXImageSizeTest : public ::testing::Test
{
protected:
    TImageSize SizeOf(const std::string& bytes)
    {
        return ImageSize(folder.WriteFile("probe" + std::to_string(++m_count), bytes));
    }

    test::TTempFolder folder;

private:
    int m_count = 0;
};

TEST_F(HXImageSizeTest, ReadsPngJpegAndWebpHeadersWrittenByAnEncoder)
{
    for (const TSample& sample : kSamples)
    {
        const std::string bytes = SampleBytes(sample.file);
        ASSERT_GT(bytes.size(), 30u) << sample.file;
        // The leading bytes decide, not the name: a PNG saved as ".jpg" still reads.
        EXPECT_EQ(ImageSize(folder.WriteFile(std::string("renamed.gif.") + sample.file, bytes)), sample.size)
            << sample.file;
    }
    EXPECT_EQ(PngImageSize(folder.WriteFile("a.png", SampleBytes("sample.png"))), (TImageSize{13, 7}));
    EXPECT_EQ(JpegImageSize(folder.WriteFile("a.jpg", SampleBytes("progressive.jpg"))), (TImageSize{19, 23}));
    EXPECT_EQ(WebpImageSize(folder.WriteFile("a.webp", SampleBytes("alpha.webp"))), (TImageSize{37, 41}));
    EXPECT_EQ(PngImageSize(folder.WriteFile("b.webp", SampleBytes("lossy.webp"))), TImageSize{});
}

TEST_F(HXImageSizeTest, CutShortHeadersGiveNothingOrTheTrueSize)
{
    // Every prefix of every sample: never a wrong size, and nothing until the size bytes are there.
    for (const TSample& sample : kSamples)
    {
        const std::string bytes = SampleBytes(sample.file);
        bool seen = false;
        for (std::size_t length = 0; length <= bytes.size(); ++length)
        {
            const TImageSize size = SizeOf(bytes.substr(0, length));
            if (size == TImageSize{})
            {
                EXPECT_FALSE(seen) << sample.file << " lost its size again at " << length;
                continue;
            }
            EXPECT_EQ(size, sample.size) << sample.file << " cut at " << length;
            seen = true;
        }
        EXPECT_TRUE(seen) << sample.file;
        EXPECT_EQ(SizeOf(bytes.substr(0, 16)), TImageSize{}) << sample.file;
    }
    EXPECT_EQ(ImageSize(folder.Folder() + "missing.png"), TImageSize{});
    EXPECT_EQ(SizeOf(""), TImageSize{});
}

TEST_F(HXImageSizeTest, DamagedHeadersGiveZeroByZero)
{
    const std::string png = SampleBytes("sample.png");
    std::string badSignature = png;
    badSignature[1] = 'Q';
    EXPECT_EQ(SizeOf(badSignature), TImageSize{});
    std::string notIhdr = png;
    notIhdr[12] = 'X';
    EXPECT_EQ(SizeOf(notIhdr), TImageSize{});
    std::string huge = png;
    huge[16] = '\x80'; // a width past the largest int
    EXPECT_EQ(SizeOf(huge), TImageSize{});
    std::string zeroHeight = png;
    zeroHeight.replace(20, 4, std::string(4, '\0'));
    EXPECT_EQ(SizeOf(zeroHeight), TImageSize{});

    const std::string jpeg = SampleBytes("baseline.jpg");
    const std::string soi = jpeg.substr(0, 2);
    const std::string rest = jpeg.substr(2);
    // A Huffman table (0xC4) ahead of the frame is skipped, not taken for a frame; fill bytes too.
    EXPECT_EQ(SizeOf(soi + std::string("\xFF\xC4\x00\x06\x01\x02\x03\x04", 8) + "\xFF\xFF" + rest),
              (TImageSize{21, 11}));
    // Standalone restart markers carry no length.
    EXPECT_EQ(SizeOf(soi + "\xFF\xD0" + rest), (TImageSize{21, 11}));
    // A scan, the end of the image or garbage before any frame header.
    EXPECT_EQ(SizeOf(soi + std::string("\xFF\xDA\x00\x02", 4) + rest), TImageSize{});
    EXPECT_EQ(SizeOf(soi + "\xFF\xD9" + rest), TImageSize{});
    EXPECT_EQ(SizeOf(soi + "JUNK" + rest), TImageSize{});
    // Segment lengths below two, or a frame segment too short for its size.
    EXPECT_EQ(SizeOf(soi + std::string("\xFF\xE1\x00\x01", 4) + rest), TImageSize{});
    EXPECT_EQ(SizeOf(soi + std::string("\xFF\xC0\x00\x04\x08\x00\x10\x00\x10", 9)), TImageSize{});
    // A segment longer than the file.
    EXPECT_EQ(SizeOf(soi + std::string("\xFF\xE1\xFF\xFF", 4) + rest), TImageSize{});

    const std::string lossy = SampleBytes("lossy.webp");
    std::string noStartCode = lossy;
    noStartCode[23] = '\x9E';
    EXPECT_EQ(SizeOf(noStartCode), TImageSize{});
    std::string lossless = SampleBytes("lossless.webp");
    lossless[20] = '\x2E';
    EXPECT_EQ(SizeOf(lossless), TImageSize{});
    std::string unknownChunk = SampleBytes("alpha.webp");
    unknownChunk.replace(12, 4, "VP9X");
    EXPECT_EQ(SizeOf(unknownChunk), TImageSize{});
    std::string notWebp = lossy;
    notWebp.replace(8, 4, "WAVE");
    EXPECT_EQ(SizeOf(notWebp), TImageSize{});
}

} // namespace
} // namespace hx
