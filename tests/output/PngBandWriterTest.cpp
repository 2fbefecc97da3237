// PNG files compressed in bands on several threads, checked with libpng, ImageMagick and zlib.

#include "engine/Errors.h"
#include "output/PictureWriters.h"
#include "output/PngBandWriter.h"
#include "tests/output/WriterReadBack.h"
#include "tests/support/TestSupport.h"

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

namespace vistamaze {
namespace {

using test::TempDir;

std::uint32_t Be32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return (std::uint32_t{bytes.at(at)} << 24) | (std::uint32_t{bytes.at(at + 1)} << 16) |
           (std::uint32_t{bytes.at(at + 2)} << 8) | bytes.at(at + 3);
}

struct Chunk {
    std::string type;
    std::vector<std::uint8_t> data;
};

// Every chunk of the file, each CRC checked with zlib's crc32.
std::vector<Chunk> Chunks(const std::vector<std::uint8_t>& png) {
    std::vector<Chunk> chunks;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::size_t length = Be32(png, at);
        const auto* typeAndData = png.data() + at + 4;
        EXPECT_EQ(crc32(0, typeAndData, static_cast<uInt>(length + 4)), Be32(png, at + 8 + length))
            << "CRC of the chunk at " << at;
        chunks.push_back({std::string(typeAndData, typeAndData + 4),
                          std::vector<std::uint8_t>(typeAndData + 4, typeAndData + 4 + length)});
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size());
    return chunks;
}

// The IDAT chunks joined must be exactly one zlib stream (header, deflate data, Adler-32) that
// inflates to `expectedSize` bytes with nothing after it.
void ExpectOneZlibStream(const std::vector<Chunk>& chunks, std::size_t expectedSize) {
    std::vector<std::uint8_t> stream;
    for (const Chunk& c : chunks) {
        if (c.type == "IDAT") {
            stream.insert(stream.end(), c.data.begin(), c.data.end());
        }
    }
    std::vector<std::uint8_t> raw(expectedSize + 1);
    z_stream z{};
    ASSERT_EQ(inflateInit(&z), Z_OK);
    z.next_in = stream.data();
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = raw.data();
    z.avail_out = static_cast<uInt>(raw.size());
    const int rc = inflate(&z, Z_FINISH);
    EXPECT_EQ(rc, Z_STREAM_END) << (z.msg != nullptr ? z.msg : "");
    EXPECT_EQ(z.total_out, expectedSize);
    EXPECT_EQ(z.avail_in, 0U) << "bytes after the end of the zlib stream";
    inflateEnd(&z);
}

// Noise that deflate cannot shrink: the compressed bands outgrow their first buffers.
PixelBuffer Noise(int width, int height) {
    PixelBuffer b(width, height, 24);
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525U + 1013904223U;
            b.SetPixel(y, x,
                       {static_cast<std::uint8_t>(seed >> 24), static_cast<std::uint8_t>(seed >> 16),
                        static_cast<std::uint8_t>(seed >> 8)});
        }
    }
    return b;
}

struct BandCase {
    const char* name;
    int width;
    int height;
    PngFilter filter;
    int threads;
    bool noise;
};

void PrintTo(const BandCase& c, std::ostream* os) {
    *os << c.name;
}

// 1023 pixels make rows of 3070 bytes, 85 to a 256 KiB band.
const BandCase kBandCases[] = {
    {"OnePixel", 1, 1, PngFilter::Up, 2, false},
    {"OneColumn", 1, 300, PngFilter::Paeth, 2, false},
    {"LessThanABand", 1023, 84, PngFilter::Sub, 2, false},
    {"TwoWholeBands", 1023, 170, PngFilter::Average, 2, false},
    {"TwoBandsAndARow", 1023, 171, PngFilter::Paeth, 3, false},
    {"ManyBandsNone", 777, 1001, PngFilter::None, 4, false},
    {"NoiseOneThread", 1023, 257, PngFilter::Up, 1, true},
    {"NoiseFourThreads", 1023, 257, PngFilter::Up, 4, true},
    {"FullHd", 1920, 1080, PngFilter::Up, 2, false},
    {"Largest", 6000, 4000, PngFilter::Up, 0, false},
};

class PngInBands : public ::testing::TestWithParam<BandCase> {};

TEST_P(PngInBands, IsOneValidStreamThatLibpngAndImageMagickReadAsThePicture) {
    const BandCase& c = GetParam();
    const PixelBuffer picture = c.noise ? Noise(c.width, c.height) : test::StereogramLike(c.width, c.height);
    TempDir dir;
    const auto file = dir / "b.png";
    SaveAsPngInBands(picture, file, 2835, PngOptions{1, false, c.filter, c.threads});

    const std::vector<Chunk> chunks = Chunks(test::ReadBytes(file));
    ASSERT_GE(chunks.size(), 5U);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.back().type, "IEND");
    ExpectOneZlibStream(chunks,
                        (static_cast<std::size_t>(c.width) * 3 + 1) * static_cast<std::size_t>(c.height));

    const std::vector<std::uint8_t> expected = test::ExpectedRgb(picture);
    const test::DecodedImage libpng = test::ReadPngWithLibpng(file);
    ASSERT_EQ(libpng.width, c.width);
    ASSERT_EQ(libpng.height, c.height);
    EXPECT_TRUE(libpng.samples == expected) << "libpng reads other pixels";
    if (!test::ToolAvailable("convert") || !test::ToolAvailable("identify")) {
        GTEST_SKIP() << "ImageMagick is not installed";
    }
    EXPECT_TRUE(test::ReadWithImageMagick(file).samples == expected) << "ImageMagick reads other pixels";
}

INSTANTIATE_TEST_SUITE_P(Sizes, PngInBands, ::testing::ValuesIn(kBandCases),
                         [](const ::testing::TestParamInfo<BandCase>& p) { return p.param.name; });

// Levels 1 to 3 compress with ISA-L, the others with zlib.
TEST(PngInBandsFile, TheBytesDoNotDependOnTheThreadCount) {
    const PixelBuffer picture = test::StereogramLike(1023, 700);
    TempDir dir;
    for (const int level : {0, 1, 3, 6}) {
        SaveAsPngInBands(picture, dir / "1.png", 0, PngOptions{level, false, PngFilter::Paeth, 1});
        SaveAsPngInBands(picture, dir / "5.png", 0, PngOptions{level, false, PngFilter::Paeth, 5});
        SaveAsPngInBands(picture, dir / "5b.png", 0, PngOptions{level, false, PngFilter::Paeth, 5});
        const std::vector<std::uint8_t> one = test::ReadBytes(dir / "1.png");
        EXPECT_TRUE(one == test::ReadBytes(dir / "5.png")) << "level " << level;
        EXPECT_TRUE(one == test::ReadBytes(dir / "5b.png")) << "level " << level;
        EXPECT_EQ(test::ReadPngWithLibpng(dir / "1.png").samples, test::ExpectedRgb(picture))
            << "level " << level;
    }
}

TEST(PngInBandsFile, CarriesTheChunksOfTheProgramsSavesWithoutInterlacing) {
    TempDir dir;
    const Picture picture(test::StereogramLike(200, 50));
    ASSERT_TRUE(
        SavePictureByExtension(picture, dir / "f.png", 95, "300", PngOptions{1, false, PngFilter::Up, 0}));
    const std::vector<Chunk> chunks = Chunks(test::ReadBytes(dir / "f.png"));
    ASSERT_GE(chunks.size(), 5U);
    EXPECT_EQ(chunks[0].data, (std::vector<std::uint8_t>{0, 0, 0, 200, 0, 0, 0, 50, 8, 2, 0, 0, 0}));
    EXPECT_EQ(chunks[1].type, "gAMA");
    EXPECT_EQ(Be32(chunks[1].data, 0), 50000U);
    EXPECT_EQ(chunks[2].type, "pHYs");
    EXPECT_EQ(chunks[2].data, (std::vector<std::uint8_t>{0, 0, 0x2E, 0x23, 0, 0, 0x2E, 0x23, 1}));
    EXPECT_EQ(chunks[3].type, "IDAT");
    EXPECT_EQ(chunks[3].data.at(1) >> 6, 0) << "level 1 is zlib's fastest class";
    // An unreadable DPI text gives no pHYs chunk, as with libpng.
    ASSERT_TRUE(
        SavePictureByExtension(picture, dir / "n.png", 95, "abc", PngOptions{1, false, PngFilter::Up, 2}));
    EXPECT_EQ(Chunks(test::ReadBytes(dir / "n.png"))[2].type, "IDAT");
}

TEST(PngInBandsFile, InterlacedAndAdaptiveSavesStayWithLibpng) {
    TempDir dir;
    const Picture picture(test::StereogramLike(64, 40));
    ASSERT_TRUE(
        SavePictureByExtension(picture, dir / "i.png", 95, "72", PngOptions{5, true, PngFilter::Up, 0}));
    EXPECT_EQ(Chunks(test::ReadBytes(dir / "i.png"))[0].data.at(12), 1) << "Adam7";
    EXPECT_EQ(test::ReadPngWithLibpng(dir / "i.png").samples, test::ExpectedRgb(picture.Bitmap()));
    ASSERT_TRUE(SavePictureByExtension(picture, dir / "a.png", 95, "72",
                                       PngOptions{1, false, PngFilter::Adaptive, 0}));
    EXPECT_EQ(test::ReadPngWithLibpng(dir / "a.png").samples, test::ExpectedRgb(picture.Bitmap()));
    try {
        SaveAsPngInBands(picture.Bitmap(), dir / "x.png", 0, PngOptions{1, false, PngFilter::Adaptive, 2});
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), ("Cannot write PNG file \"" + (dir / "x.png").string() +
                                "\": the adaptive filter is not available when compressing in bands")
                                   .c_str());
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
}

TEST(PngInBandsFile, AMissingFolderIsAFileAccessErrorAndLeavesNothing) {
    TempDir dir;
    EXPECT_THROW(SaveAsPngInBands(test::StereogramLike(10, 10), dir / "none" / "x.png", 0,
                                  PngOptions{1, false, PngFilter::Up, 2}),
                 FileAccessError);
    EXPECT_FALSE(std::filesystem::exists(dir / "none"));
}

}  // namespace
}  // namespace vistamaze
