#include "engine/Errors.h"
#include "formats/PcxReader.h"
#include "tests/formats/TgaPcxDdsOracle.h"
#include "tests/support/TestSupport.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

std::filesystem::path PcxData(const std::string& name) {
    return DataFile("images/pcx/" + name);
}

void ExpectSamePicture(const PixelBuffer& decoded, const RgbaPicture& reference, const std::string& what) {
    ASSERT_GT(reference.width, 0) << what;
    ASSERT_EQ(decoded.BitsPerPixel(), 24) << what;
    ASSERT_EQ(decoded.Width(), reference.width) << what;
    ASSERT_EQ(decoded.Height(), reference.height) << what;
    EXPECT_EQ(MaxChannelDifference(decoded, OverBlack(reference)), 0) << what;
}

// --- Real files against ImageMagick's decode, or against the source they were written from ----

enum class Oracle { Source, ImageMagick, Ffmpeg };

struct PcxCase {
    const char* file;
    Oracle oracle;
    const char* source = nullptr;  // the picture the file was written from, for Oracle::Source
};

class PcxRealFile : public testing::TestWithParam<PcxCase> {};

TEST_P(PcxRealFile, MatchesReference) {
    const PcxCase c = GetParam();
    if (!ToolAvailable(c.oracle == Oracle::Ffmpeg ? "ffmpeg" : "convert")) {
        GTEST_SKIP() << "the reference decoder is not installed";
    }
    const std::filesystem::path file = PcxData(c.file);
    const RgbaPicture reference =
        c.oracle == Oracle::Source
            ? DecodeWithImageMagick(DataFile(std::string("images/sources/") + c.source))
        : c.oracle == Oracle::Ffmpeg ? DecodeWithFfmpeg(file, "pcx")
                                     : DecodeWithImageMagick(file);
    ExpectSamePicture(DecodePcx(ReadBytes(file)), reference, c.file);
}

INSTANTIATE_TEST_SUITE_P(
    RealFiles, PcxRealFile,
    testing::Values(PcxCase{"im_pcx_24.pcx", Oracle::Source, "src_snake160.png"},  // 3 planes x 8 bits
                    PcxCase{"allegro_mysha_8bit.pcx", Oracle::ImageMagick},       // 256-colour palette at end
                    PcxCase{"allegro_planet_oddwidth.pcx", Oracle::ImageMagick},  // width 49, 50 bytes a line
                    PcxCase{"openinvaders_level9bk1_24bit.pcx", Oracle::ImageMagick},
                    PcxCase{"pillow_p_4_planes.pcx", Oracle::ImageMagick},  // EGA 4 planes x 1 bit
                    PcxCase{"np_pcx_4bpp_planes.pcx", Oracle::ImageMagick},
                    // ImageMagick 6 shows this Netpbm file negated (white where the header
                    // palette says black; against the source photo it is wrong in 4 of 5
                    // pixels); ffmpeg reads the header palette.
                    PcxCase{"np_pcx_1bpp.pcx", Oracle::Ffmpeg}));

TEST(DcxReader, ReadsTheFirstPageOnly) {
    if (!ToolAvailable("convert")) {
        GTEST_SKIP() << "ImageMagick is needed to read the reference";
    }
    const std::filesystem::path file = PcxData("im_dcx_2pages.dcx");
    const std::vector<std::uint8_t> bytes = ReadBytes(file);
    const PixelBuffer first = DecodeDcx(bytes);
    ExpectSamePicture(first, DecodeWithImageMagick(file, "[0]"), "page 1");
    // The first page is an 8-bit page whose palette lies just before the second page, not at
    // the end of the file.
    EXPECT_EQ(first.Width(), 160);
    EXPECT_EQ(first.Height(), 120);
}

// --- Hand-built files: raw encoding, 4-bit, 2-bit, grey and runs across scan lines -----------

std::vector<std::uint8_t> PcxHeader(int version, int encoding, int bits, int width, int height, int planes,
                                    int bytesPerLine) {
    std::vector<std::uint8_t> h(128, 0);
    h[0] = 0x0A;
    h[1] = static_cast<std::uint8_t>(version);
    h[2] = static_cast<std::uint8_t>(encoding);
    h[3] = static_cast<std::uint8_t>(bits);
    h[8] = static_cast<std::uint8_t>((width - 1) & 0xFF);
    h[9] = static_cast<std::uint8_t>((width - 1) >> 8);
    h[10] = static_cast<std::uint8_t>((height - 1) & 0xFF);
    h[11] = static_cast<std::uint8_t>((height - 1) >> 8);
    for (int i = 0; i < 16; ++i) {  // a 16-colour palette of distinct colours
        h[static_cast<std::size_t>(16 + 3 * i)] = static_cast<std::uint8_t>(16 * i);
        h[static_cast<std::size_t>(17 + 3 * i)] = static_cast<std::uint8_t>(255 - 16 * i);
        h[static_cast<std::size_t>(18 + 3 * i)] = static_cast<std::uint8_t>((80 * i) % 256);
    }
    h[65] = static_cast<std::uint8_t>(planes);
    h[66] = static_cast<std::uint8_t>(bytesPerLine & 0xFF);
    h[67] = static_cast<std::uint8_t>(bytesPerLine >> 8);
    h[68] = 1;
    return h;
}

// Run-length encodes all scan lines as one stream, so runs cross scan-line ends.
std::vector<std::uint8_t> EncodeRuns(const std::vector<std::uint8_t>& raw) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < raw.size();) {
        std::size_t n = 1;
        while (i + n < raw.size() && n < 63 && raw[i + n] == raw[i]) {
            ++n;
        }
        if (n > 1 || raw[i] >= 0xC0) {
            out.push_back(static_cast<std::uint8_t>(0xC0 | n));
        }
        out.push_back(raw[i]);
        i += n;
    }
    return out;
}

struct BuiltCase {
    const char* name;
    int bits;
    int planes;
    int width;
    bool rle;
    bool palette256;
};

class PcxBuilt : public testing::TestWithParam<BuiltCase> {};

TEST_P(PcxBuilt, MatchesImageMagick) {
    if (!ToolAvailable("convert")) {
        GTEST_SKIP() << "ImageMagick is needed to decode the built file";
    }
    const BuiltCase c = GetParam();
    constexpr int kHeight = 5;
    const int bytesPerLine = ((c.width * c.bits + 7) / 8 + 1) & ~1;  // even, as writers pad
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < kHeight; ++y) {
        for (int p = 0; p < c.planes; ++p) {
            for (int i = 0; i < bytesPerLine; ++i) {
                // Long runs of one value that continue into the next line, then varied bytes.
                raw.push_back(static_cast<std::uint8_t>(
                    i < bytesPerLine / 2 ? 0xC7 : (y * 37 + p * 11 + i * 53) % 256));
            }
        }
    }
    std::vector<std::uint8_t> bytes =
        PcxHeader(5, c.rle ? 1 : 0, c.bits, c.width, kHeight, c.planes, bytesPerLine);
    const std::vector<std::uint8_t> data = c.rle ? EncodeRuns(raw) : raw;
    bytes.insert(bytes.end(), data.begin(), data.end());
    if (c.palette256) {
        bytes.push_back(0x0C);
        for (int i = 0; i < 768; ++i) {
            bytes.push_back(static_cast<std::uint8_t>((i * 7) % 256));
        }
    }
    TempDir dir;
    WriteBytes(dir / "built.pcx", bytes);
    ExpectSamePicture(DecodePcx(bytes), DecodeWithImageMagick(dir / "built.pcx"), c.name);
}

INSTANTIATE_TEST_SUITE_P(Layouts, PcxBuilt,
                         testing::Values(BuiltCase{"8-bit raw with palette", 8, 1, 7, false, true},
                                         BuiltCase{"8-bit runs with palette", 8, 1, 9, true, true},
                                         BuiltCase{"24-bit raw", 8, 3, 5, false, false},
                                         BuiltCase{"4-bit one plane", 4, 1, 7, true, false},
                                         BuiltCase{"1-bit three planes", 1, 3, 11, true, false},
                                         BuiltCase{"1-bit four planes raw", 1, 4, 13, false, false}));

// Without the 0x0C palette trailer, 8-bit pixels are grey levels.
TEST(PcxReader, EightBitsWithoutPaletteAreGrey) {
    std::vector<std::uint8_t> bytes = PcxHeader(5, 0, 8, 3, 1, 1, 4);
    bytes.insert(bytes.end(), {0, 128, 255, 9});
    const PixelBuffer decoded = DecodePcx(bytes);
    ASSERT_EQ(decoded.Width(), 3);
    EXPECT_EQ(decoded.Pixel(0, 0), (Bgr{0, 0, 0}));
    EXPECT_EQ(decoded.Pixel(0, 1), (Bgr{128, 128, 128}));
    EXPECT_EQ(decoded.Pixel(0, 2), (Bgr{255, 255, 255}));
}

// --- Files that must be refused -----------------------------------------------------------

TEST(PcxReader, RefusesTruncatedPixelData) {
    struct Sample {
        const char* name;
        std::size_t trailer;  // bytes after the pixel data: the 256-colour palette
    };
    for (const Sample s :
         {Sample{"allegro_planet_oddwidth.pcx", 769}, Sample{"openinvaders_level9bk1_24bit.pcx", 0},
          Sample{"np_pcx_4bpp_planes.pcx", 0}, Sample{"np_pcx_1bpp.pcx", 0}}) {
        const std::vector<std::uint8_t> bytes = ReadBytes(PcxData(s.name));
        const std::size_t dataEnd = bytes.size() - s.trailer;
        for (std::size_t length = 0; length < dataEnd; length += 5) {
            const std::span<const std::uint8_t> cut(bytes.data(), length);
            EXPECT_THROW(DecodePcx(cut), InvalidPictureError) << s.name << " cut at " << length;
        }
    }
}

TEST(PcxReader, RefusesBadHeaders) {
    struct Bad {
        const char* what;
        std::vector<std::uint8_t> header;
    };
    std::vector<Bad> cases{
        {"60000 x 60000", PcxHeader(5, 1, 8, 60000, 60000, 3, 60000)},
        {"over the pixel limit", PcxHeader(5, 1, 8, 30000, 30000, 1, 30000)},
        {"scan line too short", PcxHeader(5, 1, 8, 40, 4, 1, 38)},
        {"zero bytes per line", PcxHeader(5, 1, 1, 8, 4, 1, 0)},
        {"8 bits in 2 planes", PcxHeader(5, 1, 8, 4, 4, 2, 4)},
        {"4 bits in 4 planes", PcxHeader(5, 1, 4, 4, 4, 4, 2)},
        {"16 bits", PcxHeader(5, 1, 16, 4, 4, 1, 8)},
        {"unknown encoding", PcxHeader(5, 2, 8, 4, 4, 1, 4)},
        {"unknown version", PcxHeader(9, 1, 8, 4, 4, 1, 4)},
    };
    Bad badWindow{"xMax before xMin", PcxHeader(5, 1, 8, 4, 4, 1, 4)};
    badWindow.header[4] = 10;  // xMin 10 > xMax 3
    cases.push_back(badWindow);
    Bad badMagic{"no manufacturer byte", PcxHeader(5, 1, 8, 4, 4, 1, 4)};
    badMagic.header[0] = 0x0B;
    cases.push_back(badMagic);
    for (Bad& c : cases) {
        c.header.resize(c.header.size() + 2000, 0xC1);
        EXPECT_THROW(DecodePcx(c.header), InvalidPictureError) << c.what;
    }
}

TEST(DcxReader, RefusesBadContainers) {
    const std::vector<std::uint8_t> good = ReadBytes(PcxData("im_dcx_2pages.dcx"));
    std::vector<std::uint8_t> badMagic = good;
    badMagic[0] ^= 1;
    EXPECT_THROW(DecodeDcx(badMagic), InvalidPictureError);
    std::vector<std::uint8_t> pastEnd = good;
    pastEnd[7] = 0x7F;  // first page offset far beyond the file
    EXPECT_THROW(DecodeDcx(pastEnd), InvalidPictureError);
    std::vector<std::uint8_t> noPages = good;
    std::fill(noPages.begin() + 4, noPages.begin() + 8, 0);
    EXPECT_THROW(DecodeDcx(noPages), InvalidPictureError);
    // The second page starting early cuts the first page short.
    std::vector<std::uint8_t> overlapping = good;
    const std::size_t first = good[4] | (good[5] << 8) | (good[6] << 16);
    const std::size_t early = first + 1000;
    overlapping[8] = static_cast<std::uint8_t>(early & 0xFF);
    overlapping[9] = static_cast<std::uint8_t>((early >> 8) & 0xFF);
    overlapping[10] = static_cast<std::uint8_t>(early >> 16);
    overlapping[11] = 0;
    EXPECT_THROW(DecodeDcx(overlapping), InvalidPictureError);
    EXPECT_THROW(DecodeDcx(std::span<const std::uint8_t>(good.data(), 6)), InvalidPictureError);
}

}  // namespace
}  // namespace vistamaze::test
