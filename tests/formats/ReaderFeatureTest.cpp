// Features the real sample files do not reach: hand-built bitmaps and icons whose expected
// pixels follow from the format's rules, and pictures made by ImageMagick at test time.
#include "engine/Errors.h"
#include "formats/BmpReader.h"
#include "formats/IcoReader.h"
#include "formats/PictureFile.h"
#include "tests/formats/PictureOracle.h"
#include "tests/support/TestSupport.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr Bgr kBlack{0, 0, 0};
constexpr Bgr kRed{0, 0, 255};
constexpr Bgr kGreen{0, 255, 0};
constexpr Bgr kBlue{255, 0, 0};
constexpr Bgr kWhite{255, 255, 255};

// A 40-byte info header (or 124-byte V5 header when masks are given) with palette and pixels.
Bytes Dib(int width, int height, int bits, std::uint32_t compression, const std::vector<Bgr>& palette,
          const Bytes& pixels, const std::vector<std::uint32_t>& masks = {}) {
    Bytes b;
    Put32(b, masks.empty() ? 40 : 124);
    Put32(b, static_cast<std::uint32_t>(width));
    Put32(b, static_cast<std::uint32_t>(height));
    Put16(b, 1);
    Put16(b, static_cast<std::uint32_t>(bits));
    Put32(b, compression);
    Put32(b, static_cast<std::uint32_t>(pixels.size()));
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, static_cast<std::uint32_t>(palette.size()));
    Put32(b, 0);
    if (!masks.empty()) {
        for (const std::uint32_t mask : masks) {
            Put32(b, mask);
        }
        b.resize(124, 0);
    }
    for (const Bgr& c : palette) {
        b.insert(b.end(), {c.b, c.g, c.r, 0});
    }
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

Bytes BmpFile(const Bytes& dib, std::size_t paletteEntries) {
    const std::uint32_t headerSize = dib[0] | (std::uint32_t{dib[1]} << 8);
    Bytes b{'B', 'M'};
    Put32(b, static_cast<std::uint32_t>(14 + dib.size()));
    Put32(b, 0);
    Put32(b, static_cast<std::uint32_t>(14 + headerSize + 4 * paletteEntries));
    b.insert(b.end(), dib.begin(), dib.end());
    return b;
}

// Rows of the expected picture, top row first.
void ExpectRows(const PixelBuffer& image, const std::vector<std::vector<Bgr>>& topDownRows) {
    ASSERT_EQ(image.Height(), static_cast<int>(topDownRows.size()));
    for (std::size_t r = 0; r < topDownRows.size(); ++r) {
        ASSERT_EQ(image.Width(), static_cast<int>(topDownRows[r].size()));
        const int y = image.Height() - 1 - static_cast<int>(r);
        for (std::size_t x = 0; x < topDownRows[r].size(); ++x) {
            const Bgr actual = image.Pixel(y, static_cast<int>(x));
            const Bgr expected = topDownRows[r][x];
            EXPECT_EQ(actual, expected) << "top row " << r << " col " << x << ": got (" << int{actual.b}
                                        << "," << int{actual.g} << "," << int{actual.r} << ")";
        }
    }
}

const std::vector<Bgr> kPalette{kBlack, kRed, kGreen, kBlue, kWhite};

TEST(BmpReader, Rle8RunsLiteralsDeltaAndEndMarkers) {
    const Bytes rle{3, 1, 0, 3, 2, 3, 4, 0, 0, 0,  // bottom row: 3 red, literal g b w (padded)
                    2, 4, 0, 2, 2, 1,              // middle row: 2 white, move 2 right, 1 up
                    2, 3, 0, 1};                   // top row from column 4: 2 blue; end
    const PixelBuffer image = DecodeBmp(BmpFile(Dib(6, 3, 8, 1, kPalette, rle), kPalette.size()));
    ExpectRows(image, {{kBlack, kBlack, kBlack, kBlack, kBlue, kBlue},
                       {kWhite, kWhite, kBlack, kBlack, kBlack, kBlack},
                       {kRed, kRed, kRed, kGreen, kBlue, kWhite}});
}

TEST(BmpReader, Rle4RunsAlternateNibblesAndLiteralsAreNibbles) {
    const Bytes rle{5, 0x12, 0,    0,            // bottom row: 1 2 1 2 1
                    0, 3,    0x34, 0x10, 0, 1};  // top row: literal 3 4 1; end
    const PixelBuffer image = DecodeBmp(BmpFile(Dib(5, 2, 4, 2, kPalette, rle), kPalette.size()));
    ExpectRows(image, {{kBlue, kWhite, kRed, kBlack, kBlack}, {kRed, kGreen, kRed, kGreen, kRed}});
}

TEST(BmpReader, RleThatEndsEarlyIsTruncated) {
    const Bytes rle{3, 1, 0};
    EXPECT_THROW((void)DecodeBmp(BmpFile(Dib(6, 3, 8, 1, kPalette, rle), kPalette.size())),
                 InvalidPictureError);
}

TEST(BmpReader, SixteenBitsWithoutMasksAre555WithBitReplication) {
    // 5-bit 16 (binary 10000) scales to binary 10000100 = 132; 31 to 255.
    const Bytes pixels{0x00, 0x7C, 0xFF, 0x7F, 0x10, 0x02, 0x00, 0x00};
    const PixelBuffer image = DecodeBmp(BmpFile(Dib(3, 1, 16, 0, {}, pixels), 0));
    ExpectRows(image, {{kRed, kWhite, Bgr{132, 132, 0}}});
}

TEST(BmpReader, AlphaMaskDrawsOverBlack) {
    const std::vector<std::uint32_t> masks{0x00FF0000U, 0x0000FF00U, 0x000000FFU, 0xFF000000U};
    const Bytes pixels{50, 100, 200, 128, 50, 100, 200, 0, 50, 100, 200, 255};
    const PixelBuffer image = DecodeBmp(BmpFile(Dib(3, 1, 32, 3, {}, pixels, masks), 0));
    // 200 * 128 / 255 = 100.4, 100 * 128 / 255 = 50.2, 50 * 128 / 255 = 25.1
    ExpectRows(image, {{Bgr{25, 50, 100}, kBlack, Bgr{50, 100, 200}}});
}

TEST(BmpReader, AllZeroAlphaIsTakenAsUnused) {
    const std::vector<std::uint32_t> masks{0x00FF0000U, 0x0000FF00U, 0x000000FFU, 0xFF000000U};
    const Bytes pixels{50, 100, 200, 0, 1, 2, 3, 0};
    const PixelBuffer image = DecodeBmp(BmpFile(Dib(2, 1, 32, 3, {}, pixels, masks), 0));
    ExpectRows(image, {{Bgr{50, 100, 200}, Bgr{1, 2, 3}}});
}

TEST(BmpReader, IndexBeyondThePaletteIsBlack) {
    const Bytes pixels{1, 7, 0, 0};
    const std::vector<Bgr> twoColours{kBlack, kRed};
    const PixelBuffer image = DecodeBmp(BmpFile(Dib(2, 1, 8, 0, twoColours, pixels), twoColours.size()));
    ExpectRows(image, {{kRed, kBlack}});
}

Bytes IconFile(const Bytes& image, int width, int height) {
    Bytes b;
    Put16(b, 0);
    Put16(b, 1);
    Put16(b, 1);
    b.insert(b.end(), {static_cast<std::uint8_t>(width), static_cast<std::uint8_t>(height), 0, 0});
    Put16(b, 1);
    Put16(b, 24);
    Put32(b, static_cast<std::uint32_t>(image.size()));
    Put32(b, 22);
    b.insert(b.end(), image.begin(), image.end());
    return b;
}

TEST(IcoReader, AndMaskMakesPixelsBlack) {
    // 2 x 2, 24 bits: colour rows (bottom first, padded to 8 bytes), then 1-bit mask rows.
    Bytes pixels{255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0};
    const Bytes mask{0x40, 0, 0, 0, 0x80, 0, 0, 0};  // bottom right and top left transparent
    pixels.insert(pixels.end(), mask.begin(), mask.end());
    const PixelBuffer image = DecodeIco(IconFile(Dib(2, 4, 24, 0, {}, pixels), 2, 2));
    ExpectRows(image, {{kBlack, kWhite}, {kBlue, kBlack}});
}

TEST(IcoReader, AlphaChannelWinsOverTheMask) {
    Bytes pixels{10, 20, 30, 255, 10, 20, 30, 0};
    const Bytes mask{0x80, 0, 0, 0};  // would hide the first pixel
    pixels.insert(pixels.end(), mask.begin(), mask.end());
    const PixelBuffer image = DecodeIco(IconFile(Dib(2, 2, 32, 0, {}, pixels), 2, 1));
    ExpectRows(image, {{Bgr{10, 20, 30}, kBlack}});
}

TEST(IcoReader, PicksTheLargestImage) {
    // Bitmaps of 16, 32 and 48 pixels and a 256-pixel PNG; two 4-bit images of 32 and 16.
    const Picture picture = ReadPictureFile(DataFile("images/ico/nsis_nsis3-install.ico"));
    EXPECT_EQ(picture.Width(), 256);
    EXPECT_EQ(picture.Height(), 256);
    const Picture wx = ReadPictureFile(DataFile("images/ico/wx_horse.ico"));
    EXPECT_EQ(wx.Width(), 32);
}

class MadeByImageMagick : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ImageMagickAvailable()) {
            GTEST_SKIP() << "ImageMagick's convert is not installed";
        }
    }
    std::filesystem::path Make(const std::string& arguments, const std::string& name) {
        const std::filesystem::path file = temp_ / name;
        EXPECT_EQ(RunCommand("convert " + arguments + " '" + file.string() + "' 2>/dev/null"), 0);
        return file;
    }
    TempDir temp_;
};

TEST_F(MadeByImageMagick, GifTransparentColourIsBlack) {
    const auto file = Make("-size 2x3 xc:red -size 2x3 xc:none +append", "half.gif");
    const Picture picture = ReadPictureFile(file);
    ExpectRows(picture.Bitmap(), std::vector<std::vector<Bgr>>(3, {kRed, kRed, kBlack, kBlack}));
}

TEST_F(MadeByImageMagick, JpegCmykLooksLikeImageMagicksDecoding) {
    const auto file = Make(
        "'" + DataFile("images/jpeg/wx_horse.jpg").string() + "' -colorspace CMYK -quality 95", "cmyk.jpg");
    const Picture picture = ReadPictureFile(file);
    const PixelBuffer expected = ImageMagickDecode(file);
    ASSERT_EQ(picture.Width(), expected.Width());
    ASSERT_EQ(picture.Height(), expected.Height());
    const PixelDifference diff = ComparePixels(picture.Bitmap(), expected);
    EXPECT_LE(diff.maxChannelDelta, 2)
        << diff.differingPixels << " differ, first at " << diff.firstDifference;
}

TEST_F(MadeByImageMagick, ProgressiveJpegMatches) {
    const auto file =
        Make("'" + DataFile("images/jpeg/sixel_snake.jpg").string() + "' -interlace JPEG", "progressive.jpg");
    const Picture picture = ReadPictureFile(file);
    const PixelBuffer expected = ImageMagickDecode(file);
    ASSERT_EQ(picture.Width(), expected.Width());
    EXPECT_LE(ComparePixels(picture.Bitmap(), expected).maxChannelDelta, 2);
}

TEST_F(MadeByImageMagick, TiffWithUnassociatedAlphaIsDrawnOverBlack) {
    const auto file =
        Make("'" + DataFile("images/png/basn6a08.png").string() + "' -define tiff:alpha=unassociated",
             "alpha.tif");
    const Picture picture = ReadPictureFile(file);
    const PixelBuffer expected = ImageMagickDecode(file);
    ASSERT_EQ(picture.Width(), expected.Width());
    EXPECT_LE(ComparePixels(picture.Bitmap(), expected).maxChannelDelta, 1);
}

}  // namespace
}  // namespace vistamaze::test
