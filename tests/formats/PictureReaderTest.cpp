// Real pictures from other programs, read through ReadPictureFile and compared pixel by pixel
// with ImageMagick's decoding of the same file drawn over black.
#include "engine/Errors.h"
#include "formats/PictureFile.h"
#include "tests/formats/PictureOracle.h"
#include "tests/support/TestSupport.h"

#include <string>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

struct OracleCase {
    const char* file;  // under tests/data/images
    int frame;         // the frame ImageMagick should decode: the icon's largest image, a GIF's first
    int tolerance;     // largest channel difference allowed: 0 for lossless formats
};

void PrintTo(const OracleCase& c, std::ostream* out) {
    *out << c.file;
}

class ImageMagickOracle : public ::testing::TestWithParam<OracleCase> {};

TEST_P(ImageMagickOracle, DecodesTheSamePixels) {
    if (!ImageMagickAvailable()) {
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    const OracleCase& c = GetParam();
    const std::filesystem::path file = DataFile(std::string("images/") + c.file);
    const Picture picture = ReadPictureFile(file);
    const PixelBuffer expected = ImageMagickDecode(file, c.frame);
    ASSERT_FALSE(expected.Empty()) << "ImageMagick could not decode " << file;
    ASSERT_EQ(picture.Bitmap().BitsPerPixel(), 24);
    ASSERT_EQ(picture.Width(), expected.Width());
    ASSERT_EQ(picture.Height(), expected.Height());
    const PixelDifference diff = ComparePixels(picture.Bitmap(), expected);
    EXPECT_LE(diff.maxChannelDelta, c.tolerance)
        << diff.differingPixels << " pixels differ, first at " << diff.firstDifference;
}

INSTANTIATE_TEST_SUITE_P(
    Bmp, ImageMagickOracle,
    ::testing::Values(
        OracleCase{"bmp/bmpsuite_g_pal1.bmp", 0, 0}, OracleCase{"bmp/bmpsuite_g_pal1bg.bmp", 0, 0},
        OracleCase{"bmp/bmpsuite_g_pal4.bmp", 0, 0}, OracleCase{"bmp/bmpsuite_g_pal4gs.bmp", 0, 0},
        OracleCase{"bmp/bmpsuite_g_pal4rle.bmp", 0, 0}, OracleCase{"bmp/bmpsuite_g_pal8.bmp", 0, 0},
        OracleCase{"bmp/bmpsuite_g_pal8gs.bmp", 0, 0}, OracleCase{"bmp/bmpsuite_g_pal8os2.bmp", 0, 0},
        OracleCase{"bmp/bmpsuite_g_pal8rle.bmp", 0, 0}, OracleCase{"bmp/bmpsuite_g_pal8topdown.bmp", 0, 0},
        OracleCase{"bmp/bmpsuite_g_pal8v5.bmp", 0, 0}, OracleCase{"bmp/bmpsuite_g_pal8w126.bmp", 0, 0},
        OracleCase{"bmp/bmpsuite_g_rgb16-565.bmp", 0, 0}, OracleCase{"bmp/bmpsuite_g_rgb24.bmp", 0, 0},
        OracleCase{"bmp/bmpsuite_g_rgb32bf.bmp", 0, 0}, OracleCase{"bmp/im_bmp3_1.bmp", 0, 0},
        OracleCase{"bmp/im_bmp3_4.bmp", 0, 0}, OracleCase{"bmp/im_bmp3_8.bmp", 0, 0},
        OracleCase{"bmp/im_bmp3_8_rle.bmp", 0, 0}, OracleCase{"bmp/np_bmp_4.bmp", 0, 0},
        OracleCase{"depthmaps/irrlicht_terrain-heightmap_rle8.bmp", 0, 0}));

// 16-bit samples and alpha drawn over black may differ by one step: ImageMagick rounds down
// where the readers round to nearest (v / 257 and c * a / 255).
INSTANTIATE_TEST_SUITE_P(
    Png, ImageMagickOracle,
    ::testing::Values(OracleCase{"png/basn0g01.png", 0, 0}, OracleCase{"png/basn0g02.png", 0, 0},
                      OracleCase{"png/basn0g04.png", 0, 0}, OracleCase{"png/basn0g08.png", 0, 0},
                      OracleCase{"png/basn0g16.png", 0, 1}, OracleCase{"png/basn2c08.png", 0, 0},
                      OracleCase{"png/basn2c16.png", 0, 1}, OracleCase{"png/basn3p01.png", 0, 0},
                      OracleCase{"png/basn3p02.png", 0, 0}, OracleCase{"png/basn3p04.png", 0, 0},
                      OracleCase{"png/basn3p08.png", 0, 0}, OracleCase{"png/basn4a08.png", 0, 1},
                      OracleCase{"png/basn4a16.png", 0, 1}, OracleCase{"png/basn6a08.png", 0, 1},
                      OracleCase{"png/basn6a16.png", 0, 1}, OracleCase{"png/basi0g08.png", 0, 0},
                      OracleCase{"png/basi3p08.png", 0, 0}, OracleCase{"png/basi6a08.png", 0, 1},
                      OracleCase{"tiff/go_video-001.png", 0, 0},
                      OracleCase{"depthmaps/povray_Mount1.png", 0, 0},
                      OracleCase{"depthmaps/piellardj_atomium.png", 0, 0}));

INSTANTIATE_TEST_SUITE_P(Jpeg, ImageMagickOracle,
                         ::testing::Values(OracleCase{"jpeg/sixel_snake.jpg", 0, 2},
                                           OracleCase{"jpeg/sixel_snake-grayscale.jpg", 0, 2},
                                           OracleCase{"jpeg/wx_horse.jpg", 0, 2},
                                           OracleCase{"jpeg/irrlicht_stones.jpg", 0, 2}));

INSTANTIATE_TEST_SUITE_P(Tiff, ImageMagickOracle,
                         ::testing::Values(OracleCase{"tiff/go_bw-packbits.tiff", 0, 0},
                                           OracleCase{"tiff/go_video-001-gray.tiff", 0, 0},
                                           OracleCase{"tiff/go_video-001-paletted.tiff", 0, 0},
                                           OracleCase{"tiff/go_video-001-uncompressed.tiff", 0, 0},
                                           OracleCase{"tiff/go_video-001.tiff", 0, 0},
                                           OracleCase{"tiff/im_tiff_lzw.tif", 0, 0}));

INSTANTIATE_TEST_SUITE_P(Gif, ImageMagickOracle,
                         ::testing::Values(OracleCase{"gif/gdk_gifsuite_gif87a.gif", 0, 0},
                                           OracleCase{"gif/gdk_gifsuite_interlace.gif", 0, 0},
                                           OracleCase{"gif/gdk_gifsuite_local-color-table.gif", 0, 0},
                                           OracleCase{"gif/wx_horse.gif", 0, 0},
                                           OracleCase{"gif/im_gif87.gif", 0, 0}));

// Frames: the directory entry with the most pixels, then the deepest (see the test data list).
INSTANTIATE_TEST_SUITE_P(Ico, ImageMagickOracle,
                         ::testing::Values(OracleCase{"ico/gdk_squares.ico", 0, 0},
                                           OracleCase{"ico/nsis_arrow-install.ico", 3, 0},
                                           OracleCase{"ico/nsis_nsis3-install.ico", 2, 0},
                                           OracleCase{"ico/wx_horse.ico", 0, 0},
                                           OracleCase{"ico/im_ico_multi.ico", 0, 0}));

// Reference decodings shipped with the files by their authors.
struct ReferenceCase {
    const char* file;
    const char* reference;
};

void PrintTo(const ReferenceCase& c, std::ostream* out) {
    *out << c.file;
}

class ShippedReference : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(ShippedReference, MatchesTheReferencePicture) {
    const ReferenceCase& c = GetParam();
    const Picture picture = ReadPictureFile(DataFile(std::string("images/") + c.file));
    const Picture reference = ReadPictureFile(DataFile(std::string("images/") + c.reference));
    ASSERT_EQ(picture.Width(), reference.Width());
    ASSERT_EQ(picture.Height(), reference.Height());
    const PixelDifference diff = ComparePixels(picture.Bitmap(), reference.Bitmap());
    EXPECT_EQ(diff.differingPixels, 0U) << "first at " << diff.firstDifference;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ShippedReference,
    ::testing::Values(ReferenceCase{"ico/gdk_squares.ico", "ico/gdk_squares.ico.ref.png"},
                      ReferenceCase{"tiff/go_video-001.tiff", "tiff/go_video-001.png"},
                      ReferenceCase{"tiff/go_video-001-uncompressed.tiff", "tiff/go_video-001.png"}));

}  // namespace
}  // namespace vistamaze::test
