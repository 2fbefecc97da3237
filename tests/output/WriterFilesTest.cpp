// What the writers put into files, read back with libpng, libjpeg and ImageMagick.

#include "engine/Errors.h"
#include "output/PictureWriters.h"
#include "tests/output/WriterReadBack.h"
#include "tests/support/TestSupport.h"

#include <tuple>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

using test::TempDir;

enum class Kind { Colour24, Grey8, Paletted8 };

PixelBuffer MakePicture(Kind kind, int width, int height) {
    switch (kind) {
        case Kind::Colour24:
            return test::StereogramLike(width, height);
        case Kind::Grey8:
            return test::GreyRamp8(width, height);
        case Kind::Paletted8:
            return test::Paletted8(width, height);
    }
    return {};
}

std::string KindName(Kind kind) {
    switch (kind) {
        case Kind::Colour24:
            return "colour24";
        case Kind::Grey8:
            return "grey8";
        case Kind::Paletted8:
            return "paletted8";
    }
    return {};
}

std::uint32_t Le(const std::vector<std::uint8_t>& bytes, std::size_t at, int size) {
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) {
        v = (v << 8) | bytes.at(at + static_cast<std::size_t>(i));
    }
    return v;
}

std::uint32_t Be(const std::vector<std::uint8_t>& bytes, std::size_t at, int size) {
    std::uint32_t v = 0;
    for (int i = 0; i < size; ++i) {
        v = (v << 8) | bytes.at(at + static_cast<std::size_t>(i));
    }
    return v;
}

bool HaveImageMagick() {
    return test::ToolAvailable("identify") && test::ToolAvailable("convert");
}

// ---- pixels survive every writer, at odd widths (row padding) and several depths ----

using PixelCase = std::tuple<std::string, Kind, int>;  // extension, picture kind, width

class PixelsReadBack : public ::testing::TestWithParam<PixelCase> {};

TEST_P(PixelsReadBack, AsTheSameColoursTopRowFirst) {
    const auto& [extension, kind, width] = GetParam();
    const int height = 7;
    // Sharp colour edges would test libjpeg's chroma subsampling rather than the writer.
    const PixelBuffer picture = extension == ".jpg" && kind == Kind::Colour24
                                    ? test::SmoothColour(width, height)
                                    : MakePicture(kind, width, height);
    TempDir dir;
    const auto file = dir / ("p" + extension);
    ASSERT_TRUE(SavePictureByExtension(Picture(picture), file, 95, "72"));

    test::DecodedImage decoded;
    if (extension == ".png") {
        decoded = test::ReadPngWithLibpng(file);
    } else if (extension == ".jpg") {
        decoded = test::ReadJpegWithLibjpeg(file);
    } else {
        if (!HaveImageMagick()) {
            GTEST_SKIP() << "ImageMagick is not installed";
        }
        decoded = test::ReadWithImageMagick(file);
    }
    ASSERT_EQ(decoded.width, width);
    ASSERT_EQ(decoded.height, height);
    std::vector<std::uint8_t> expected = test::ExpectedRgb(picture);
    if (extension != ".jpg") {
        EXPECT_EQ(decoded.samples, expected);
        return;
    }
    if (kind == Kind::Grey8) {
        ASSERT_EQ(decoded.components, 1);
        std::vector<std::uint8_t> grey;
        for (std::size_t i = 0; i < expected.size(); i += 3) {
            grey.push_back(expected[i]);
        }
        expected = grey;
    } else {
        ASSERT_EQ(decoded.components, 3);
    }
    const auto difference = test::CompareSamples(decoded.samples, expected);
    // Quality 95 keeps gradients within a few levels; swapped channels or flipped rows would
    // be off by tens.
    EXPECT_LT(difference.mean, 3.0);
    EXPECT_LT(difference.largest, 16);
}

std::string PixelCaseName(const ::testing::TestParamInfo<PixelCase>& info) {
    return std::get<0>(info.param).substr(1) + "_" + KindName(std::get<1>(info.param)) + "_" +
           std::to_string(std::get<2>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Lossless, PixelsReadBack,
                         ::testing::Combine(::testing::Values(".png", ".bmp", ".tga"),
                                            ::testing::Values(Kind::Colour24, Kind::Grey8, Kind::Paletted8),
                                            ::testing::Values(1, 2, 3, 5, 1001)),
                         PixelCaseName);
INSTANTIATE_TEST_SUITE_P(Jpeg, PixelsReadBack,
                         ::testing::Combine(::testing::Values(".jpg"),
                                            ::testing::Values(Kind::Colour24, Kind::Grey8),
                                            ::testing::Values(1, 3, 16, 1001)),
                         PixelCaseName);

TEST(PixelsReadBack, TheFastPngOptionsGiveTheSamePixelsWithoutInterlacing) {
    const PixelBuffer picture = test::StereogramLike(333, 41);
    TempDir dir;
    for (const PngFilter filter : {PngFilter::None, PngFilter::Sub, PngFilter::Up, PngFilter::Average,
                                   PngFilter::Paeth, PngFilter::Adaptive}) {
        const auto file = dir / "fast.png";
        ASSERT_TRUE(SavePictureByExtension(Picture(picture), file, 95, "72", PngOptions{1, false, filter}));
        EXPECT_EQ(test::ReadPngWithLibpng(file).samples, test::ExpectedRgb(picture));
        if (HaveImageMagick()) {
            EXPECT_EQ(test::Identify(file, "%[interlace]"), "None");
        }
    }
}

// ---- BMP: the picture's own format, no resolution from the DPI text ----

class BmpDepth : public ::testing::TestWithParam<int> {};

TEST_P(BmpDepth, KeepsThePixelFormatAndReadsBackExactly) {
    const int bits = GetParam();
    const PixelBuffer picture = bits == 24 ? test::StereogramLike(37, 9) : test::OtherDepth(37, 9, bits);
    TempDir dir;
    ASSERT_TRUE(SavePictureByExtension(Picture(picture), dir / "d.bmp", 95, "72"));
    const auto bytes = test::ReadBytes(dir / "d.bmp");
    EXPECT_EQ(Le(bytes, 28, 2), static_cast<std::uint32_t>(bits));
    EXPECT_EQ(Le(bytes, 2, 4), bytes.size());
    if (!HaveImageMagick()) {
        GTEST_SKIP() << "ImageMagick is not installed";
    }
    const auto decoded = test::ReadWithImageMagick(dir / "d.bmp");
    EXPECT_EQ(decoded.samples, test::ExpectedRgb(picture));
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpDepth, ::testing::Values(1, 4, 8, 16, 24, 32));

TEST(Bmp, AStereogramIs24BitsAndDoesNotDependOnTheDpiText) {
    const Picture picture(test::StereogramLike(1001, 13));
    TempDir dir;
    std::vector<std::vector<std::uint8_t>> files;
    for (const char* dpi : {"72", "300", "abc"}) {
        ASSERT_TRUE(SavePictureByExtension(picture, dir / "s.bmp", 95, dpi));
        files.push_back(test::ReadBytes(dir / "s.bmp"));
    }
    EXPECT_EQ(Le(files[0], 28, 2), 24U);
    EXPECT_EQ(files[0].size(), 54U + 3004U * 13U);  // 1001 * 3 = 3003 bytes, padded to 3004
    EXPECT_EQ(files[0], files[1]);
    EXPECT_EQ(files[0], files[2]);
}

// ---- Targa ----

TEST(Targa, A1000By600StereogramHasTheUncompressedLayout) {
    const PixelBuffer picture = test::StereogramLike(1000, 600);
    TempDir dir;
    ASSERT_TRUE(SavePictureByExtension(Picture(picture), dir / "s.tga", 95, "72"));
    const auto bytes = test::ReadBytes(dir / "s.tga");
    ASSERT_EQ(bytes.size(), 1800018U);
    EXPECT_EQ(bytes[0], 0);  // no ID field
    EXPECT_EQ(bytes[1], 0);  // no colour map
    EXPECT_EQ(bytes[2], 2);  // uncompressed true colour
    EXPECT_EQ(Le(bytes, 12, 2), 1000U);
    EXPECT_EQ(Le(bytes, 14, 2), 600U);
    EXPECT_EQ(bytes[16], 24);
    EXPECT_EQ(bytes[17], 0);  // bottom row first
    // First stored pixel: bottom-left, blue first.
    const Bgr bottomLeft = picture.Pixel(0, 0);
    EXPECT_EQ(bytes[18], bottomLeft.b);
    EXPECT_EQ(bytes[19], bottomLeft.g);
    EXPECT_EQ(bytes[20], bottomLeft.r);
    if (HaveImageMagick()) {
        EXPECT_EQ(test::Identify(dir / "s.tga", "%[orientation]"), "BottomLeft");
    }
}

TEST(Targa, An8BitPictureIsColourMappedWithA24BitMap) {
    const PixelBuffer picture = test::Paletted8(11, 3);
    TempDir dir;
    ASSERT_TRUE(SavePictureByExtension(Picture(picture), dir / "m.tga", 95, "72"));
    const auto bytes = test::ReadBytes(dir / "m.tga");
    ASSERT_EQ(bytes.size(), 18U + 256U * 3U + 11U * 3U);
    EXPECT_EQ(bytes[1], 1);            // colour map present
    EXPECT_EQ(bytes[2], 1);            // uncompressed colour-mapped
    EXPECT_EQ(Le(bytes, 3, 2), 0U);    // first entry
    EXPECT_EQ(Le(bytes, 5, 2), 256U);  // map length
    EXPECT_EQ(bytes[7], 24);           // map entry size
    EXPECT_EQ(bytes[16], 8);
    EXPECT_EQ(bytes[17], 0);
}

// ---- PNG chunks ----

struct PngDpiCase {
    const char* dpiText;
    const char* physics;  // ImageMagick's png:pHYs text, "" for no chunk
};

class PngResolution : public ::testing::TestWithParam<PngDpiCase> {};

TEST_P(PngResolution, IsAPhysChunkInMetresWithGammaAndAdam7) {
    if (!HaveImageMagick()) {
        GTEST_SKIP() << "ImageMagick is not installed";
    }
    TempDir dir;
    ASSERT_TRUE(
        SavePictureByExtension(Picture(test::StereogramLike(64, 16)), dir / "r.png", 95, GetParam().dpiText));
    const std::string info = test::Identify(
        dir / "r.png", "%[png:IHDR.color_type]|%[png:IHDR.bit_depth]|%[png:IHDR.interlace_method]|%[gamma]");
    EXPECT_EQ(info, "2 (Truecolor)|8|1 (Adam7 method)|0.5");
    std::string verbose;
    test::RunCommand("identify -verbose '" + (dir / "r.png").string() + "'", &verbose);
    const auto at = verbose.find("png:pHYs: ");
    if (std::string(GetParam().physics).empty()) {
        EXPECT_EQ(at, std::string::npos) << verbose;
    } else {
        ASSERT_NE(at, std::string::npos) << verbose;
        EXPECT_EQ(verbose.substr(at + 10, verbose.find('\n', at) - at - 10), GetParam().physics);
    }
}

INSTANTIATE_TEST_SUITE_P(DpiTexts, PngResolution,
                         ::testing::Values(PngDpiCase{"72", "x_res=2835, y_res=2835, units=1"},
                                           PngDpiCase{"300", "x_res=11811, y_res=11811, units=1"},
                                           PngDpiCase{"96", "x_res=3780, y_res=3780, units=1"},
                                           PngDpiCase{"abc", ""}, PngDpiCase{"0", ""}));

// The zlib header's FLEVEL bits tell the compression level class: 1 for levels 2 to 5, 0 for
// levels 0 and 1 (RFC 1950 and zlib's deflate.c).
int FirstIdatLevelClass(const std::vector<std::uint8_t>& png) {
    std::size_t at = 8;
    while (at + 8 <= png.size()) {
        const std::uint32_t length = Be(png, at, 4);
        if (std::string(png.begin() + static_cast<long>(at) + 4, png.begin() + static_cast<long>(at) + 8) ==
            "IDAT") {
            return png.at(at + 9) >> 6;
        }
        at += 12 + length;
    }
    return -1;
}

TEST(PngCompression, UsesLevelFiveByDefaultAndTheGivenLevelOtherwise) {
    TempDir dir;
    const Picture picture(test::StereogramLike(200, 50));
    ASSERT_TRUE(SavePictureByExtension(picture, dir / "d.png", 95, "72"));
    EXPECT_EQ(FirstIdatLevelClass(test::ReadBytes(dir / "d.png")), 1);
    ASSERT_TRUE(
        SavePictureByExtension(picture, dir / "f.png", 95, "72", PngOptions{1, false, PngFilter::Sub}));
    EXPECT_EQ(FirstIdatLevelClass(test::ReadBytes(dir / "f.png")), 0);
    ASSERT_TRUE(
        SavePictureByExtension(picture, dir / "b.png", 95, "72", PngOptions{9, true, PngFilter::Adaptive}));
    EXPECT_EQ(FirstIdatLevelClass(test::ReadBytes(dir / "b.png")), 3);
}

// ---- JPEG markers ----

struct JpegSegments {
    bool baselineFrame = false;                            // SOF0
    bool otherFrame = false;                               // any other SOFn
    std::vector<std::uint8_t> jfif;                        // APP0 "JFIF" payload
    std::vector<std::vector<std::uint8_t>> huffmanTables;  // DHT payloads
};

JpegSegments ReadJpegSegments(const std::vector<std::uint8_t>& jpeg) {
    JpegSegments s;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t marker = jpeg[at + 1];
        const std::size_t length = Be(jpeg, at + 2, 2);
        const std::vector<std::uint8_t> payload(jpeg.begin() + static_cast<long>(at) + 4,
                                                jpeg.begin() + static_cast<long>(at + 2 + length));
        if (marker == 0xC0) {
            s.baselineFrame = true;
        } else if (marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            s.otherFrame = true;
        } else if (marker == 0xE0 && payload.size() >= 12 &&
                   std::string(payload.begin(), payload.begin() + 5) == std::string("JFIF\0", 5)) {
            s.jfif = payload;
        } else if (marker == 0xC4) {
            s.huffmanTables.push_back(payload);
        }
        if (marker == 0xDA) {
            break;
        }
        at += 2 + length;
    }
    return s;
}

struct JpegDpiCase {
    const char* dpiText;
    int unit;
    int density;
    const char* magick;  // identify "%x %y %U"
};

class JpegResolution : public ::testing::TestWithParam<JpegDpiCase> {};

TEST_P(JpegResolution, IsTheJfifDensityOfABaselineFileWithStandardTables) {
    const JpegDpiCase& c = GetParam();
    TempDir dir;
    ASSERT_TRUE(SavePictureByExtension(Picture(test::StereogramLike(120, 40)), dir / "r.jpg", 95, c.dpiText));
    const JpegSegments s = ReadJpegSegments(test::ReadBytes(dir / "r.jpg"));
    EXPECT_TRUE(s.baselineFrame);
    EXPECT_FALSE(s.otherFrame);  // neither progressive nor extended
    ASSERT_EQ(s.jfif.size(), 14U);
    EXPECT_EQ(s.jfif[7], c.unit);
    EXPECT_EQ(Be(s.jfif, 8, 2), static_cast<std::uint32_t>(c.density));
    EXPECT_EQ(Be(s.jfif, 10, 2), static_cast<std::uint32_t>(c.density));
    // ITU T.81 Annex K.3: the luminance DC table's code counts. An optimised table for this
    // picture would differ.
    const std::vector<std::uint8_t> standardLumaDc = {0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_FALSE(s.huffmanTables.empty());
    EXPECT_TRUE(std::equal(standardLumaDc.begin(), standardLumaDc.end(), s.huffmanTables[0].begin()));
    if (HaveImageMagick()) {
        EXPECT_EQ(test::Identify(dir / "r.jpg", "%x %y %U %[interlace]"), std::string(c.magick) + " None");
    }
}

INSTANTIATE_TEST_SUITE_P(DpiTexts, JpegResolution,
                         ::testing::Values(JpegDpiCase{"72", 1, 72, "72 72 PixelsPerInch"},
                                           JpegDpiCase{"300", 1, 300, "300 300 PixelsPerInch"},
                                           JpegDpiCase{" 150 ", 1, 150, "150 150 PixelsPerInch"},
                                           JpegDpiCase{"abc", 0, 1, "72 72 Undefined"},
                                           JpegDpiCase{"99999", 0, 1, "72 72 Undefined"}));

TEST(JpegQuality, IsWhatImageMagickEstimatesFromTheTables) {
    if (!HaveImageMagick()) {
        GTEST_SKIP() << "ImageMagick is not installed";
    }
    TempDir dir;
    const Picture picture(test::StereogramLike(120, 40));
    for (const int quality : {95, 80, 50, 1, 100}) {
        ASSERT_TRUE(SavePictureByExtension(picture, dir / "q.jpg", quality, "72"));
        EXPECT_EQ(test::Identify(dir / "q.jpg", "%Q"), std::to_string(quality));
    }
}

TEST(JpegQuality, OutOfRangeValuesAreClamped) {
    TempDir dir;
    const Picture picture(test::StereogramLike(40, 8));
    ASSERT_TRUE(SavePictureByExtension(picture, dir / "low.jpg", -5, "72"));
    ASSERT_TRUE(SavePictureByExtension(picture, dir / "one.jpg", 1, "72"));
    EXPECT_EQ(test::ReadBytes(dir / "low.jpg"), test::ReadBytes(dir / "one.jpg"));
    ASSERT_TRUE(SavePictureByExtension(picture, dir / "high.jpg", 1000, "72"));
    ASSERT_TRUE(SavePictureByExtension(picture, dir / "hundred.jpg", 100, "72"));
    EXPECT_EQ(test::ReadBytes(dir / "high.jpg"), test::ReadBytes(dir / "hundred.jpg"));
}

}  // namespace
}  // namespace vistamaze
