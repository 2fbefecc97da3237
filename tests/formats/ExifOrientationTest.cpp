// Photos are shown the way their EXIF orientation says, as ImageMagick's -auto-orient shows them.
#include "formats/PictureFile.h"
#include "tests/support/TestSupport.h"

#include <array>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

// How the orientation tag is stored: its TIFF type and the block's byte order.
struct Encoding {
    std::uint16_t type;  // 1 BYTE, 3 SHORT, 4 LONG, 6 SBYTE, 8 SSHORT, 9 SLONG
    bool bigEndian;
};

// An APP1 segment holding an EXIF block whose only tag is the orientation, stored as `encoding`
// says (the value left-justified in the entry's four bytes, as TIFF stores short values).
std::vector<std::uint8_t> ExifSegment(int orientation, Encoding encoding) {
    const bool be = encoding.bigEndian;
    std::vector<std::uint8_t> payload{'E', 'x', 'i', 'f', 0, 0};
    const auto put16 = [&](unsigned v) {
        const std::array<std::uint8_t, 2> b{static_cast<std::uint8_t>(v & 0xFFU),
                                            static_cast<std::uint8_t>(v >> 8U)};
        payload.push_back(be ? b[1] : b[0]);
        payload.push_back(be ? b[0] : b[1]);
    };
    const auto put32 = [&](std::uint32_t v) {
        be ? (put16(v >> 16U), put16(v & 0xFFFFU)) : (put16(v & 0xFFFFU), put16(v >> 16U));
    };
    payload.push_back(be ? 'M' : 'I');
    payload.push_back(be ? 'M' : 'I');
    put16(42);
    put32(8);
    put16(1);
    put16(0x0112);
    put16(encoding.type);
    put32(1);
    const auto value = static_cast<std::uint32_t>(orientation);
    if (encoding.type == 4 || encoding.type == 9) {
        put32(value);
    } else if (encoding.type == 3 || encoding.type == 8) {
        put16(value);
        put16(0);
    } else {
        put32(be ? value << 24U : value);
    }
    put32(0);
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
