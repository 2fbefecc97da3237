#include "engine/Errors.h"
#include "formats/TgaReader.h"
#include "tests/formats/TgaPcxDdsOracle.h"
#include "tests/support/TestSupport.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

PixelBuffer DecodeFile(const std::filesystem::path& file) {
    const std::vector<std::uint8_t> bytes = ReadBytes(file);
    return DecodeTga(bytes);
}

std::filesystem::path TgaData(const std::string& name) {
    return DataFile("images/tga/" + name);
}

// --- Real files against gdk-pixbuf's own decodes of them ---------------------------------------

class TgaGdkReference : public testing::TestWithParam<const char*> {};

TEST_P(TgaGdkReference, MatchesGdkPixbufDecodeOverBlack) {
    if (!ToolAvailable("convert")) {
        GTEST_SKIP() << "ImageMagick is needed to read the reference PNG";
    }
    const std::filesystem::path file = TgaData(GetParam());
    const RgbaPicture reference = DecodeWithImageMagick(file.string() + ".ref.png");
    ASSERT_GT(reference.width, 0);
    const PixelBuffer expected = OverBlack(reference);
    const PixelBuffer decoded = DecodeFile(file);
    ASSERT_EQ(decoded.BitsPerPixel(), 24);
    ASSERT_EQ(decoded.Width(), expected.Width());
    ASSERT_EQ(decoded.Height(), expected.Height());
    EXPECT_EQ(MaxChannelDifference(decoded, expected), 0);
}

INSTANTIATE_TEST_SUITE_P(
    GdkPixbufReftests, TgaGdkReference,
    testing::Values("gdk_gtk-logo-16bpp-bottom-right.tga", "gdk_gtk-logo-24bpp-bottom-left.tga",
                    "gdk_gtk-logo-32bpp-top-left.tga", "gdk_gtk-logo-cmap-8bpp-bottom-left.tga",
                    "gdk_gtk-logo-cmap-rle-8bpp-top-left.tga", "gdk_gtk-logo-gray-16bpp-top-left.tga",
                    "gdk_gtk-logo-gray-8bpp-top-right.tga", "gdk_gtk-logo-gray-rle-16bpp-bottom-right.tga",
                    "gdk_gtk-logo-rle-24bpp-bottom-left.tga", "gdk_gtk-logo-rle-32bpp-top-right.tga"));

// --- Files written by ImageMagick from a known source, and other real files --------------------

// ImageMagick 6 writes Targa rows top row first yet declares a bottom-left origin (and reads
// them back ignoring the origin bits, which is why its decode of the gdk bottom-left file is
// upside down against gdk's reference). By the origin bits, as gdk-pixbuf and ffmpeg read
// them, its files show the source upside down.
PixelBuffer UpsideDown(const PixelBuffer& in) {
    PixelBuffer out(in.Width(), in.Height(), 24);
    for (int y = 0; y < in.Height(); ++y) {
        for (int x = 0; x < in.Width(); ++x) {
            out.SetPixel(in.Height() - 1 - y, x, in.Pixel(y, x));
        }
    }
    return out;
}

TEST(TgaReader, ImageMagickFilesShowTheirSourceUpsideDown) {
    if (!ToolAvailable("convert")) {
        GTEST_SKIP() << "ImageMagick is needed to read the source PNG";
    }
    for (const auto& [file, source] : {std::pair{"im_tga_gray_rle.tga", "src_heightmap256.png"},
                                       std::pair{"im_vista_24_rle.vst", "src_snake160.png"}}) {
        const RgbaPicture reference =
            DecodeWithImageMagick(DataFile(std::string("images/sources/") + source));
        ASSERT_GT(reference.width, 0);
        const PixelBuffer decoded = DecodeFile(TgaData(file));
        ASSERT_EQ(decoded.Width(), reference.width) << file;
        ASSERT_EQ(decoded.Height(), reference.height) << file;
        EXPECT_EQ(decoded, UpsideDown(OverBlack(reference))) << file;
    }
}

class TgaFfmpegReference : public testing::TestWithParam<const char*> {};

TEST_P(TgaFfmpegReference, MatchesFfmpegDecodeOverBlack) {
    if (!ToolAvailable("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is needed as the reference decoder";
    }
    const std::filesystem::path file = TgaData(GetParam());
    const RgbaPicture reference = DecodeWithFfmpeg(file, "targa");
    ASSERT_GT(reference.width, 0);
    const PixelBuffer decoded = DecodeFile(file);
    ASSERT_EQ(decoded.Width(), reference.width);
    ASSERT_EQ(decoded.Height(), reference.height);
    EXPECT_EQ(MaxChannelDifference(decoded, OverBlack(reference)), 0);
}

INSTANTIATE_TEST_SUITE_P(RealFiles, TgaFfmpegReference,
                         testing::Values("im_tga_cmap_rle.tga", "allegro_mysha_rle32.tga",
                                         "gl117_clouds3_gray.tga", "gdk_gtk-logo-gray-8bpp-top-right.tga"));

// --- Hand-built files: the layouts real files above do not cover ----------------------------

struct TgaHeaderFields {
    int imageType = 2;
    int mapFirst = 0;
    int mapLength = 0;
    int mapEntryBits = 0;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    int descriptor = 0;
};

std::vector<std::uint8_t> TgaHeaderBytes(const TgaHeaderFields& s, int idLength = 0) {
    const auto lo = [](int v) { return static_cast<std::uint8_t>(v & 0xFF); };
    const auto hi = [](int v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); };
    return {lo(idLength),
            static_cast<std::uint8_t>(s.mapLength > 0 ? 1 : 0),
            lo(s.imageType),
            lo(s.mapFirst),
            hi(s.mapFirst),
            lo(s.mapLength),
            hi(s.mapLength),
            lo(s.mapEntryBits),
            0,
            0,
            0,
            0,
            lo(s.width),
            hi(s.width),
            lo(s.height),
            hi(s.height),
            lo(s.bitsPerPixel),
            lo(s.descriptor)};
}

// A 5 x 3 picture of distinct colours, given as colour-map indexes into a 15-colour map, and the
// same as 24-bit pixels; row 0 is the top row.
constexpr int kW = 5;
constexpr int kH = 3;

std::array<std::uint8_t, 3> MapColour(int i) {
    return {static_cast<std::uint8_t>(16 * i), static_cast<std::uint8_t>(255 - 9 * i),
            static_cast<std::uint8_t>((37 * i) % 256)};  // B, G, R
}

int IndexAt(int topRow, int col) {
    return topRow * kW + col;
}

// Pixel indexes in file order for an origin given by the descriptor bits.
std::vector<int> FileOrder(int descriptor) {
    std::vector<int> order;
    for (int fileRow = 0; fileRow < kH; ++fileRow) {
        const int topRow = (descriptor & 0x20) ? fileRow : kH - 1 - fileRow;
        for (int i = 0; i < kW; ++i) {
            order.push_back(IndexAt(topRow, (descriptor & 0x10) ? kW - 1 - i : i));
        }
    }
    return order;
}

// Raw packets of at most three pixels, so that packets cross row ends.
void AppendRawPackets(std::vector<std::uint8_t>& out, const std::vector<std::vector<std::uint8_t>>& pixels) {
    for (std::size_t i = 0; i < pixels.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, pixels.size() - i);
        out.push_back(static_cast<std::uint8_t>(n - 1));
        for (std::size_t k = 0; k < n; ++k) {
            out.insert(out.end(), pixels[i + k].begin(), pixels[i + k].end());
        }
    }
}

std::vector<std::uint8_t> BuildTrueColour(int descriptor, bool rle) {
    std::vector<std::uint8_t> file = TgaHeaderBytes({rle ? 10 : 2, 0, 0, 0, kW, kH, 24, descriptor}, 3);
    file.insert(file.end(), {'i', 'd', '!'});
    std::vector<std::vector<std::uint8_t>> pixels;
    for (int index : FileOrder(descriptor)) {
        const auto c = MapColour(index);
        pixels.push_back({c[0], c[1], c[2]});
    }
    if (rle) {
        AppendRawPackets(file, pixels);
    } else {
        for (const auto& p : pixels) {
            file.insert(file.end(), p.begin(), p.end());
        }
    }
    return file;
}

// Colour-mapped with 16-bit entries (x-r5-g5-b5) and a first-entry index of 100.
std::vector<std::uint8_t> BuildMapped16(int descriptor, bool rle) {
    std::vector<std::uint8_t> file = TgaHeaderBytes({rle ? 9 : 1, 100, kW * kH, 16, kW, kH, 8, descriptor});
    for (int i = 0; i < kW * kH; ++i) {
        const auto c = MapColour(i);
        const int v = ((c[2] >> 3) << 10) | ((c[1] >> 3) << 5) | (c[0] >> 3);
        file.push_back(static_cast<std::uint8_t>(v & 0xFF));
        file.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    std::vector<std::vector<std::uint8_t>> pixels;
    for (int index : FileOrder(descriptor)) {
        pixels.push_back({static_cast<std::uint8_t>(100 + index)});
    }
    if (rle) {
        AppendRawPackets(file, pixels);
    } else {
        for (const auto& p : pixels) {
            file.push_back(p[0]);
        }
    }
    return file;
}

class TgaBuiltLayout : public testing::TestWithParam<std::tuple<int, bool, bool>> {};

// All four origins, raw and run-length, true colour and a 16-bit colour map with a first-entry
// index: every origin must show the same picture, and ffmpeg must agree with it.
TEST_P(TgaBuiltLayout, EveryOriginShowsThePictureFfmpegSees) {
    if (!ToolAvailable("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is needed to decode the built file";
    }
    const auto [descriptor, rle, mapped] = GetParam();
    const std::vector<std::uint8_t> bytes =
        mapped ? BuildMapped16(descriptor, rle) : BuildTrueColour(descriptor, rle);
    const std::vector<std::uint8_t> bottomLeft = mapped ? BuildMapped16(0, false) : BuildTrueColour(0, false);
    TempDir dir;
    WriteBytes(dir / "built.tga", bytes);
    const RgbaPicture reference = DecodeWithFfmpeg(dir / "built.tga", "targa");
    ASSERT_EQ(reference.width, kW);
    const PixelBuffer decoded = DecodeTga(bytes);
    ASSERT_EQ(decoded.Width(), kW);
    ASSERT_EQ(decoded.Height(), kH);
    EXPECT_EQ(MaxChannelDifference(decoded, OverBlack(reference)), 0);
    EXPECT_EQ(decoded, DecodeTga(bottomLeft));
}

INSTANTIATE_TEST_SUITE_P(Origins, TgaBuiltLayout,
                         testing::Combine(testing::Values(0x00, 0x10, 0x20, 0x30), testing::Bool(),
                                          testing::Bool()));

// --- Files that must be refused -----------------------------------------------------------

TEST(TgaReader, RefusesEveryTruncationOfRealFiles) {
    for (const char* name :
         {"gdk_gtk-logo-cmap-rle-8bpp-top-left.tga", "gdk_gtk-logo-cmap-8bpp-bottom-left.tga",
          "gdk_gtk-logo-rle-32bpp-top-right.tga", "gdk_gtk-logo-gray-rle-16bpp-bottom-right.tga"}) {
        const std::vector<std::uint8_t> bytes = ReadBytes(TgaData(name));
        // The pixel data ends where the TGA 2.0 extension area or footer begins.
        std::size_t pixelsEnd = bytes.size();
        const std::size_t footer = bytes.size() - 26;
        if (std::string(bytes.begin() + static_cast<std::ptrdiff_t>(footer) + 8, bytes.end() - 2) ==
            "TRUEVISION-XFILE") {
            const std::size_t extension =
                bytes[footer] | (bytes[footer + 1] << 8) | (bytes[footer + 2] << 16);
            pixelsEnd = extension != 0 ? extension : footer;
        }
        ASSERT_GT(pixelsEnd, 18U);
        EXPECT_NO_THROW(DecodeTga(std::span<const std::uint8_t>(bytes.data(), pixelsEnd))) << name;
        for (std::size_t length = 0; length < pixelsEnd; length += 7) {
            const std::span<const std::uint8_t> cut(bytes.data(), length);
            EXPECT_THROW(DecodeTga(cut), InvalidPictureError) << name << " cut at " << length;
        }
    }
}

TEST(TgaReader, RefusesHugeHeadersBeforeAllocating) {
    std::vector<std::uint8_t> bytes = TgaHeaderBytes({2, 0, 0, 0, 60000, 60000, 24, 0});
    bytes.resize(bytes.size() + 64, 0x80);
    EXPECT_THROW(DecodeTga(bytes), InvalidPictureError);
    // Within the side limit but over the pixel limit.
    bytes = TgaHeaderBytes({2, 0, 0, 0, 32768, 32768, 24, 0});
    EXPECT_THROW(DecodeTga(bytes), InvalidPictureError);
    // Allowed size whose pixels the file cannot hold: refused without decoding 16384^2 pixels.
    bytes = TgaHeaderBytes({10, 0, 0, 0, 16384, 16384, 24, 0});
    bytes.resize(bytes.size() + 1000, 0xFF);
    EXPECT_THROW(DecodeTga(bytes), InvalidPictureError);
}

TEST(TgaReader, RefusesRunsPastThePictureEnd) {
    std::vector<std::uint8_t> bytes = TgaHeaderBytes({10, 0, 0, 0, 4, 2, 24, 0});
    bytes.insert(bytes.end(), {0x86, 1, 2, 3});  // 7 pixels
    bytes.insert(bytes.end(), {0x81, 4, 5, 6});  // 2 more: one past the 8 pixels
    EXPECT_THROW(DecodeTga(bytes), InvalidPictureError);
    bytes[bytes.size() - 4] = 0x80;  // exactly 8: accepted
    const PixelBuffer ok = DecodeTga(bytes);
    EXPECT_EQ(ok.Pixel(1, 3), (Bgr{4, 5, 6}));
    EXPECT_EQ(ok.Pixel(0, 0), (Bgr{1, 2, 3}));
}

// Indices the colour map does not hold draw black; every other pixel keeps its colour.
TEST(TgaReader, ColourIndexesOutsideTheMapAreBlack) {
    const std::vector<std::uint8_t> good = BuildMapped16(0, false);
    const PixelBuffer expected = DecodeTga(good);
    const std::size_t firstPixel = 18 + 2 * kW * kH;
    for (std::uint8_t index :
         {std::uint8_t{99}, std::uint8_t{100 + kW * kH}, std::uint8_t{0}, std::uint8_t{255}}) {
        std::vector<std::uint8_t> bad = good;
        bad[firstPixel + 4] = index;  // the fifth pixel of the bottom row
        PixelBuffer want = expected;
        want.SetPixel(0, 4, Bgr{});
        EXPECT_EQ(DecodeTga(bad).To24Bit(), want.To24Bit()) << int{index};
    }
}

TEST(TgaReader, RefusesUnknownTypesAndDepths) {
    const std::vector<TgaHeaderFields> headers{{0, 0, 0, 0, 2, 2, 24, 0}, {32, 0, 0, 0, 2, 2, 8, 0},
                                               {2, 0, 0, 0, 2, 2, 8, 0},  {3, 0, 0, 0, 2, 2, 24, 0},
                                               {1, 0, 0, 0, 2, 2, 8, 0},  {1, 0, 4, 12, 2, 2, 8, 0},
                                               {2, 0, 0, 0, 0, 2, 24, 0}};
    for (const TgaHeaderFields& s : headers) {
        std::vector<std::uint8_t> bytes = TgaHeaderBytes(s);
        bytes.resize(bytes.size() + 64, 0);
        EXPECT_THROW(DecodeTga(bytes), InvalidPictureError)
            << "type " << s.imageType << " bpp " << s.bitsPerPixel;
    }
}

}  // namespace
}  // namespace vistamaze::test
