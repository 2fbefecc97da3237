#include "engine/Errors.h"
#include "formats/DdsReader.h"
#include "tests/formats/TgaPcxDdsOracle.h"
#include "tests/support/TestSupport.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

std::filesystem::path DdsData(const std::string& name) {
    return DataFile("images/dds/" + name);
}

std::array<double, 3> MeanColour(const PixelBuffer& b) {
    std::array<double, 3> sum{};
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            const Bgr c = b.Pixel(y, x);
            sum[0] += c.b;
            sum[1] += c.g;
            sum[2] += c.r;
        }
    }
    for (double& s : sum) {
        s /= static_cast<double>(b.Width()) * b.Height();
    }
    return sum;
}

// --- Block-compressed real files ----------------------------------------------------------

class DdsMysha : public testing::TestWithParam<const char*> {};

// DXT is lossy: against the lossless Targa of the same picture, sizes must match, the mean
// colour must agree closely and the typical pixel must be near. (allegro_mysha_pal.png is a
// different edit of the photo, without the painted letters and with an alpha ramp, so it serves
// only for the size.)
TEST_P(DdsMysha, LooksLikeTheLosslessPicture) {
    if (!ToolAvailable("ffmpeg") || !ToolAvailable("convert")) {
        GTEST_SKIP() << "ffmpeg and ImageMagick are needed to read the references";
    }
    const PixelBuffer expected =
        OverBlack(DecodeWithFfmpeg(DataFile("images/tga/allegro_mysha_rle32.tga"), "targa"));
    const RgbaPicture png = DecodeWithImageMagick(DdsData("allegro_mysha_pal.png"));
    const PixelBuffer decoded = DecodeDds(ReadBytes(DdsData(GetParam())));
    ASSERT_EQ(decoded.Width(), png.width);
    ASSERT_EQ(decoded.Height(), png.height);
    ASSERT_EQ(decoded.Width(), expected.Width());
    ASSERT_EQ(decoded.Height(), expected.Height());
    const auto mean = MeanColour(decoded);
    const auto expectedMean = MeanColour(expected);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(mean[i], expectedMean[i], 1.5) << "channel " << i;
    }
    EXPECT_LT(MeanChannelDifference(decoded, expected), 2.5);
}

INSTANTIATE_TEST_SUITE_P(AllegroFiles, DdsMysha,
                         testing::Values("allegro_mysha_dxt1.dds", "allegro_mysha_dxt3.dds",
                                         "allegro_mysha_dxt5.dds"));

class DdsFfmpegReference : public testing::TestWithParam<const char*> {};

// Against another block decoder the only freedom is the rounding of interpolated colours.
TEST_P(DdsFfmpegReference, MatchesFfmpegUpToRounding) {
    if (!ToolAvailable("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is needed as the reference decoder";
    }
    const RgbaPicture reference = DecodeWithFfmpeg(DdsData(GetParam()), "dds");
    ASSERT_GT(reference.width, 0);
    const PixelBuffer decoded = DecodeDds(ReadBytes(DdsData(GetParam())));
    ASSERT_EQ(decoded.Width(), reference.width);
    ASSERT_EQ(decoded.Height(), reference.height);
    const PixelBuffer expected = OverBlack(reference);
    EXPECT_LE(MaxChannelDifference(decoded, expected), 2);
    EXPECT_LT(MeanChannelDifference(decoded, expected), 0.5);
}

INSTANTIATE_TEST_SUITE_P(RealFiles, DdsFfmpegReference,
                         testing::Values("allegro_mysha_dxt1.dds", "allegro_mysha_dxt3.dds",
                                         "allegro_mysha_dxt5.dds", "im_dds_dxt1.dds"));

// --- Uncompressed surfaces ----------------------------------------------------------------

// ImageMagick writes 32-bit X8R8G8B8 / A8R8G8B8 surfaces: lossless, so they decode exactly.
TEST(DdsReader, UncompressedImageMagickSurfacesAreExact) {
    if (!ToolAvailable("convert")) {
        GTEST_SKIP() << "ImageMagick is needed to write the surfaces";
    }
    TempDir dir;
    for (const std::filesystem::path& source :
         {DataFile("images/sources/src_snake160.png"), DdsData("allegro_mysha_pal.png")}) {
        const std::filesystem::path out = dir / "plain.dds";
        ASSERT_EQ(RunCommand("convert '" + source.string() +
                             "' -define dds:compression=none -define dds:mipmaps=0 '" + out.string() + "'"),
                  0);
        const PixelBuffer expected = OverBlack(DecodeWithImageMagick(source));
        const PixelBuffer decoded = DecodeDds(ReadBytes(out));
        ASSERT_EQ(decoded.Width(), expected.Width());
        ASSERT_EQ(decoded.Height(), expected.Height());
        EXPECT_EQ(MaxChannelDifference(decoded, expected), 0) << source;
    }
}

struct MaskedFormat {
    const char* name;
    std::uint32_t flags;
    int bits;
    std::array<std::uint32_t, 4> masks;  // R, G, B, A
    // ffmpeg ignores the alpha bit of A1R5G5B5 and cannot read A4R4G4B4; ImageMagick reads
    // both but widens 5-bit channels by scaling, not by repeating bits: one level apart.
    bool imageMagick = false;
    int tolerance = 0;
};

constexpr std::uint32_t kRgb = 0x40;
constexpr std::uint32_t kRgba = 0x41;
constexpr std::uint32_t kLuminance = 0x20000;
constexpr std::uint32_t kLuminanceAlpha = 0x20001;

std::vector<std::uint8_t> DdsHeader(int width, int height, std::uint32_t pixelFlags, std::uint32_t fourCc,
                                    int bits, std::array<std::uint32_t, 4> masks) {
    std::vector<std::uint8_t> h(128, 0);
    const auto put = [&h](std::size_t at, std::uint32_t v) {
        for (std::size_t i = 0; i < 4; ++i) {
            h[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    std::memcpy(h.data(), "DDS ", 4);
    put(4, 124);
    put(8, 0x1007);  // caps, height, width, pixel format
    put(12, static_cast<std::uint32_t>(height));
    put(16, static_cast<std::uint32_t>(width));
    put(76, 32);
    put(80, pixelFlags);
    put(84, fourCc);
    put(88, static_cast<std::uint32_t>(bits));
    for (std::size_t i = 0; i < 4; ++i) {
        put(92 + 4 * i, masks[i]);
    }
    put(108, 0x1000);  // DDSCAPS_TEXTURE
    return h;
}

class DdsMasked : public testing::TestWithParam<MaskedFormat> {};

// Hand-built surfaces in the common mask layouts, with pixel values covering every bit.
TEST_P(DdsMasked, MatchesIndependentDecoder) {
    const MaskedFormat f = GetParam();
    if (!ToolAvailable(f.imageMagick ? "convert" : "ffmpeg")) {
        GTEST_SKIP() << "the reference decoder is not installed";
    }
    constexpr int kW = 7;
    constexpr int kH = 5;
    std::vector<std::uint8_t> bytes = DdsHeader(kW, kH, f.flags, 0, f.bits, f.masks);
    std::uint32_t state = 12345;
    for (int i = 0; i < kW * kH * f.bits / 8; ++i) {
        state = state * 1664525U + 1013904223U;
        bytes.push_back(static_cast<std::uint8_t>(state >> 24));
    }
    TempDir dir;
    WriteBytes(dir / "built.dds", bytes);
    const RgbaPicture reference =
        f.imageMagick ? DecodeWithImageMagick(dir / "built.dds") : DecodeWithFfmpeg(dir / "built.dds", "dds");
    ASSERT_EQ(reference.width, kW) << f.name;
    const PixelBuffer decoded = DecodeDds(bytes);
    ASSERT_EQ(decoded.Width(), kW);
    ASSERT_EQ(decoded.Height(), kH);
    EXPECT_LE(MaxChannelDifference(decoded, OverBlack(reference)), f.tolerance) << f.name;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, DdsMasked,
    testing::Values(MaskedFormat{"A8R8G8B8", kRgba, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
                    MaskedFormat{"X8R8G8B8", kRgb, 32, {0xFF0000, 0xFF00, 0xFF, 0}},
                    MaskedFormat{"A8B8G8R8", kRgba, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}},
                    MaskedFormat{"R8G8B8", kRgb, 24, {0xFF0000, 0xFF00, 0xFF, 0}},
                    MaskedFormat{"R5G6B5", kRgb, 16, {0xF800, 0x7E0, 0x1F, 0}},
                    MaskedFormat{"A1R5G5B5", kRgba, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}, true, 1},
                    MaskedFormat{"A4R4G4B4", kRgba, 16, {0xF00, 0xF0, 0xF, 0xF000}, true},
                    MaskedFormat{"L8", kLuminance, 8, {0xFF, 0, 0, 0}},
                    MaskedFormat{"A8L8", kLuminanceAlpha, 16, {0xFF, 0, 0, 0xFF00}}));

// An 8-bit luminance mask written as the top byte of a 32-bit word reads as the byte itself.
TEST(DdsReader, LuminanceMaskAtTheTopOfTheWordReadsThePixelByte) {
    std::vector<std::uint8_t> top = DdsHeader(4, 1, kLuminance, 0, 8, {0xFF000000, 0, 0, 0});
    std::vector<std::uint8_t> plain = DdsHeader(4, 1, kLuminance, 0, 8, {0xFF, 0, 0, 0});
    for (const std::uint8_t v : {0, 85, 170, 255}) {
        top.push_back(v);
        plain.push_back(v);
    }
    const PixelBuffer decoded = DecodeDds(top);
    EXPECT_EQ(decoded, DecodeDds(plain));
    EXPECT_EQ(decoded.Pixel(0, 2), (Bgr{170, 170, 170}));
}

// --- DX10 headers ---------------------------------------------------------------------------

std::vector<std::uint8_t> WithDx10Header(const std::vector<std::uint8_t>& legacy, std::uint32_t format,
                                         std::uint32_t arraySize) {
    std::vector<std::uint8_t> bytes(legacy.begin(), legacy.begin() + 128);
    const std::uint32_t fourCcFlag = 0x4;
    const std::uint32_t flags = bytes[80] | (bytes[81] << 8) | (bytes[82] << 16);
    const std::uint32_t dx10Flags = (flags & ~(kRgba | kLuminance)) | fourCcFlag;
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<std::size_t>(80 + i)] = static_cast<std::uint8_t>(dx10Flags >> (8 * i));
    }
    std::memcpy(bytes.data() + 84, "DX10", 4);
    for (std::uint32_t v : {format, 3U, 0U, arraySize, 0U}) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    bytes.insert(bytes.end(), legacy.begin() + 128, legacy.end());
    return bytes;
}

TEST(DdsReader, ReadsTrivialDx10HeadersAndRefusesOthers) {
    const std::vector<std::uint8_t> legacy = ReadBytes(DdsData("im_dds_dxt1.dds"));
    const PixelBuffer expected = DecodeDds(legacy);
    EXPECT_EQ(DecodeDds(WithDx10Header(legacy, 71, 1)), expected);                // BC1_UNORM
    EXPECT_EQ(DecodeDds(WithDx10Header(legacy, 72, 1)), expected);                // BC1_UNORM_SRGB
    EXPECT_THROW(DecodeDds(WithDx10Header(legacy, 2, 1)), InvalidPictureError);   // 32-bit float RGBA
    EXPECT_THROW(DecodeDds(WithDx10Header(legacy, 98, 1)), InvalidPictureError);  // BC7
    EXPECT_THROW(DecodeDds(WithDx10Header(legacy, 71, 6)), InvalidPictureError);  // texture array

    // A legacy A8R8G8B8 surface and the same bytes named B8G8R8A8_UNORM by a DX10 header.
    std::vector<std::uint8_t> bgra = DdsHeader(3, 2, kRgba, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000});
    for (int i = 0; i < 3 * 2 * 4; ++i) {
        bgra.push_back(static_cast<std::uint8_t>(i * 41 + 7));
    }
    EXPECT_EQ(DecodeDds(WithDx10Header(bgra, 87, 1)), DecodeDds(bgra));
}

// --- Files that must be refused -----------------------------------------------------------

TEST(DdsReader, RefusesTruncatedData) {
    for (const char* name : {"im_dds_dxt1.dds", "allegro_mysha_dxt5.dds"}) {
        const std::vector<std::uint8_t> bytes = ReadBytes(DdsData(name));
        // The first mip level ends at 128 + blocks * block size; the rest may go.
        const std::size_t blocks = name[0] == 'i' ? 16 * 16 : 80 * 50;
        const std::size_t levelEnd = 128 + blocks * (name[0] == 'i' ? 8 : 16);
        ASSERT_LE(levelEnd, bytes.size());
        EXPECT_NO_THROW(DecodeDds(std::span<const std::uint8_t>(bytes.data(), levelEnd))) << name;
        for (std::size_t length : {std::size_t{0}, std::size_t{3}, std::size_t{100}, std::size_t{127},
                                   std::size_t{128}, std::size_t{129}, levelEnd / 2, levelEnd - 1}) {
            EXPECT_THROW(DecodeDds(std::span<const std::uint8_t>(bytes.data(), length)), InvalidPictureError)
                << name << " cut at " << length;
        }
    }
}

TEST(DdsReader, RefusesBadHeaders) {
    const std::uint32_t dxt1 = 0x31545844;
    struct Bad {
        const char* what;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Bad> cases{
        {"60000 x 60000", DdsHeader(60000, 60000, 0x4, dxt1, 0, {})},
        {"zero width", DdsHeader(0, 4, 0x4, dxt1, 0, {})},
        {"over the pixel limit", DdsHeader(20000, 20000, 0x4, dxt1, 0, {})},
        {"unknown FourCC", DdsHeader(4, 4, 0x4, 0x31495441 /* ATI1 */, 0, {})},
        {"12 bits per pixel", DdsHeader(4, 4, kRgb, 0, 12, {0xF00, 0xF0, 0xF, 0})},
        {"no colour masks", DdsHeader(4, 4, kRgb, 0, 32, {0, 0, 0, 0})},
        {"alpha only", DdsHeader(4, 4, 0x2, 0, 8, {0, 0, 0, 0xFF})},
    };
    Bad badMagic{"bad magic", DdsHeader(4, 4, 0x4, dxt1, 0, {})};
    badMagic.bytes[3] = 'X';
    cases.push_back(badMagic);
    Bad badSize{"header size not 124", DdsHeader(4, 4, 0x4, dxt1, 0, {})};
    badSize.bytes[4] = 100;
    cases.push_back(badSize);
    for (Bad& c : cases) {
        c.bytes.resize(c.bytes.size() + 256, 0x55);
        EXPECT_THROW(DecodeDds(c.bytes), InvalidPictureError) << c.what;
    }
}

}  // namespace
}  // namespace vistamaze::test
