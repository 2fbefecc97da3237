// Photos are shown the way their EXIF orientation says, as ImageMagick's -auto-orient shows them.
#include "formats/PictureFile.h"
#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

// An APP1 segment holding a little-endian EXIF block whose only tag is the orientation.
std::vector<std::uint8_t> ExifSegment(int orientation) {
    const std::vector<std::uint8_t> payload{'E', 'x',  'i',  'f', 0,
                                            0,   'I',  'I',  42,  0,
                                            8,   0,    0,    0,   1,
                                            0,   0x12, 0x01, 3,   0,
                                            1,   0,    0,    0,   static_cast<std::uint8_t>(orientation),
                                            0,   0,    0,    0,   0,
                                            0,   0};
    std::vector<std::uint8_t> segment{0xFF, 0xE1, 0, static_cast<std::uint8_t>(payload.size() + 2)};
    segment.insert(segment.end(), payload.begin(), payload.end());
    return segment;
}

TEST(ExifOrientation, EveryOrientationShowsAsImageMagickShowsIt) {
    if (!test::ToolAvailable("convert")) {
        GTEST_SKIP() << "ImageMagick is the reference";
    }
    test::TempDir dir;
    const std::string base = (dir / "base.jpg").string();
    // Four blocks of one colour each, so every turn and mirror gives a different picture.
    ASSERT_EQ(test::RunCommand(
                  "convert -size 16x8 xc:red xc:lime +append \\( -size 16x8 xc:blue xc:white +append \\) "
                  "-append -quality 100 -sampling-factor 1x1 '" +
                  base + "'"),
              0);
    const std::vector<std::uint8_t> jpeg = test::ReadBytes(base);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        std::vector<std::uint8_t> tagged(jpeg.begin(), jpeg.begin() + 2);
        const std::vector<std::uint8_t> exif = ExifSegment(orientation);
        tagged.insert(tagged.end(), exif.begin(), exif.end());
        tagged.insert(tagged.end(), jpeg.begin() + 2, jpeg.end());
        const std::filesystem::path file = dir / ("o" + std::to_string(orientation) + ".jpg");
        test::WriteBytes(file, tagged);
        std::string rgb;
        ASSERT_EQ(test::RunCommand("convert '" + file.string() + "' -auto-orient -depth 8 rgb:-", &rgb), 0);
        const PixelBuffer ours = ReadPictureFile(file).Bitmap();
        const bool turned = orientation >= 5;
        ASSERT_EQ(ours.Width(), turned ? 16 : 32) << orientation;
        ASSERT_EQ(rgb.size(), static_cast<std::size_t>(ours.Width() * ours.Height() * 3)) << orientation;
        int worst = 0;
        for (int y = 0; y < ours.Height(); ++y) {
            for (int x = 0; x < ours.Width(); ++x) {
                const Bgr p = ours.Pixel(ours.Height() - 1 - y, x);
                const std::size_t at = (static_cast<std::size_t>(y) * ours.Width() + x) * 3;
                for (const auto& [mine, theirs] :
                     {std::pair{p.r, rgb[at]}, {p.g, rgb[at + 1]}, {p.b, rgb[at + 2]}}) {
                    worst = std::max(worst, std::abs(int{mine} - int{static_cast<std::uint8_t>(theirs)}));
                }
            }
        }
        EXPECT_LE(worst, 4) << "orientation " << orientation;
    }
}

}  // namespace
}  // namespace vistamaze
