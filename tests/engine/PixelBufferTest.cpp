#include "engine/BufferOps.h"
#include "engine/Errors.h"
#include "engine/PixelBuffer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

TEST(PixelBufferTest, RowsArePaddedToFourBytes) {
    struct Case {
        int width;
        int bits;
        std::size_t stride;
    };
    for (const Case c :
         {Case{1, 1, 4}, Case{33, 1, 8}, Case{3, 4, 4}, Case{9, 4, 8}, Case{5, 8, 8}, Case{3, 16, 8},
          Case{1, 24, 4}, Case{1000, 24, 3000}, Case{1001, 24, 3004}, Case{3, 32, 12}}) {
        PixelBuffer b(c.width, 2, c.bits);
        EXPECT_EQ(b.Stride(), c.stride) << c.width << "x" << c.bits;
        EXPECT_EQ(b.ByteSize(), c.stride * 2);
    }
    EXPECT_THROW(PixelBuffer(4, 4, 12), Error);
    EXPECT_THROW(PixelBuffer(-1, 4, 24), Error);
}

TEST(PixelBufferTest, IndexedPixelsPackMostSignificantBitsFirstAndConvertThroughThePalette) {
    PixelBuffer b(10, 1, 4);
    b.Palette()[7] = {1, 2, 3};
    b.SetIndex(0, 0, 7);
    b.SetIndex(0, 1, 2);
    EXPECT_EQ(b.Row(0)[0], 0x72);
    EXPECT_EQ(b.ColorAt(0, 0), (Bgr{1, 2, 3}));

    PixelBuffer mono(9, 1, 1);
    mono.Palette()[1] = {255, 255, 255};
    mono.SetIndex(0, 8, 1);
    EXPECT_EQ(mono.Row(0)[1], 0x80);
    const PixelBuffer rgb = mono.To24Bit();
    EXPECT_EQ(rgb.BitsPerPixel(), 24);
    EXPECT_EQ(rgb.Pixel(0, 8), (Bgr{255, 255, 255}));
    EXPECT_EQ(rgb.Pixel(0, 7), (Bgr{0, 0, 0}));
}

TEST(PixelBufferTest, DrawOntoCountsTopFromTheTopEdgeAndClips) {
    const PixelBuffer src = test::MakeBuffer24(2, 2, [](int y, int x) {
        return Bgr{static_cast<std::uint8_t>(10 * y + x + 1), 0, 0};
    });
    PixelBuffer target(4, 3, 24);
    src.DrawOnto(target, 3, 0);  // right edge: one column clipped
    // Top row of the target is row 2; the source's top row is its row 1.
    EXPECT_EQ(target.Pixel(2, 3).b, 11);
    EXPECT_EQ(target.Pixel(1, 3).b, 1);
    EXPECT_EQ(target.Pixel(0, 3).b, 0);
}

TEST(PixelBufferTest, CropTakesMarginsFromEachEdge) {
    const PixelBuffer src = test::MakeBuffer24(6, 5, [](int y, int x) {
        return Bgr{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 0};
    });
    PixelBuffer out;
    CropGraphicToBuffer(out, src, 1, 2, 3, 1);  // left, top, right, bottom
    ASSERT_EQ(out.Width(), 2);
    ASSERT_EQ(out.Height(), 2);
    // Bottom-left of the crop is source column 1, source row 1 (one row cut at the bottom).
    EXPECT_EQ(out.Pixel(0, 0), (Bgr{1, 1, 0}));
    EXPECT_EQ(out.Pixel(1, 1), (Bgr{2, 2, 0}));
    EXPECT_THROW(CropGraphicToBuffer(out, src, 3, 0, 3, 0), Error);
    EXPECT_THROW(CropGraphicToBuffer(out, src, -1, 0, 0, 0), Error);
}

}  // namespace
}  // namespace vistamaze
