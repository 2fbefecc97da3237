// Photos are shown the way their EXIF orientation says, as ImageMagick's -auto-orient shows them.
#include "formats/PictureFile.h"
#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

// How the orientation tag is stored: its TIFF type and the block's byte order.
struct Encoding {
    std::uint32_t type;  // 1 BYTE, 3 SHORT, 4 LONG, 6 SBYTE, 8 SSHORT, 9 SLONG
    bool bigEndian;
};

// An APP1 segment holding an EXIF block whose only tag is the orientation, stored as `encoding`
// says: in the entry's four value bytes, left-justified as TIFF stores values shorter than four.
std::vector<std::uint8_t> ExifSegment(int orientation, Encoding encoding) {
    const int bytes = encoding.type == 4 || encoding.type == 9   ? 4
                      : encoding.type == 3 || encoding.type == 8 ? 2
                                                                 : 1;
    std::vector<std::uint8_t> payload{'E', 'x', 'i', 'f', 0, 0};
    const auto put = [&](std::uint32_t v, int size) {  // in the block's byte order
        for (int i = 0; i < size; ++i) {
            const int shift = 8 * (encoding.bigEndian ? size - 1 - i : i);
            payload.push_back(static_cast<std::uint8_t>(v >> static_cast<unsigned>(shift)));
        }
    };
    put(encoding.bigEndian ? 0x4D4D : 0x4949, 2);
    for (const auto& [value, size] :
         {std::pair{42U, 2}, {8U, 4}, {1U, 2}, {0x0112U, 2}, {encoding.type, 2}, {1U, 4}}) {
        put(value, size);
    }
    put(static_cast<std::uint32_t>(orientation), bytes);
    put(0, 4 - bytes);
    put(0, 4);
    std::vector<std::uint8_t> segment{0xFF, 0xE1, 0, static_cast<std::uint8_t>(payload.size() + 2)};
    segment.insert(segment.end(), payload.begin(), payload.end());
    return segment;
}

TEST(ExifOrientation, EveryOrientationInAnyIntegerTypeShowsAsImageMagickShowsIt) {
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
    const Encoding encodings[] = {{3, false}, {3, true}, {4, false}, {4, true},
                                  {9, false}, {9, true}, {8, false}, {1, true}};
    for (const Encoding& encoding : encodings) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE("type " + std::to_string(encoding.type) + (encoding.bigEndian ? " MM" : " II"));
            std::vector<std::uint8_t> tagged(jpeg.begin(), jpeg.begin() + 2);
            const std::vector<std::uint8_t> exif = ExifSegment(orientation, encoding);
            tagged.insert(tagged.end(), exif.begin(), exif.end());
            tagged.insert(tagged.end(), jpeg.begin() + 2, jpeg.end());
            const std::filesystem::path file = dir / ("o" + std::to_string(orientation) + ".jpg");
            test::WriteBytes(file, tagged);
            std::string rgb;
            ASSERT_EQ(test::RunCommand("convert '" + file.string() + "' -auto-orient -depth 8 rgb:-", &rgb),
                      0);
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
}

}  // namespace
}  // namespace vistamaze
