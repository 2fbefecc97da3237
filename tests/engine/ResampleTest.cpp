#include "engine/Errors.h"
#include "engine/Resample.h"
#include "tests/support/TestSupport.h"

#include <cstring>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

using test::MakeBuffer24;

PixelBuffer GreyRow(std::initializer_list<int> values) {
    PixelBuffer b(static_cast<int>(values.size()), 1, 24);
    int x = 0;
    for (int v : values) {
        const auto g = static_cast<std::uint8_t>(v);
        b.SetPixel(0, x++, {g, g, g});
    }
    return b;
}

std::vector<int> RedOfRow(const PixelBuffer& b, int row) {
    std::vector<int> out;
    for (int x = 0; x < b.Width(); ++x) {
        out.push_back(b.Pixel(row, x).r);
    }
    return out;
}

TEST(ResampleTest, EqualSizesCopyPixelsUnchanged) {
    const PixelBuffer src = MakeBuffer24(7, 5, [](int y, int x) {
        return Bgr{static_cast<std::uint8_t>(x * 30), static_cast<std::uint8_t>(y * 40), 9};
    });
    PixelBuffer nearest(7, 5, 24);
    ResizeNearest(src, nearest);
    EXPECT_EQ(nearest, src);
    PixelBuffer bilinear(7, 5, 24);
    ResizeBilinear(src, bilinear);
    EXPECT_EQ(bilinear, src);
}

TEST(ResampleTest, BilinearSamplesWithoutCentringAndNeverReachesTheLastValue) {
    PixelBuffer up(4, 1, 24);
    ResizeBilinear(GreyRow({0, 255}), up);
    EXPECT_EQ(RedOfRow(up, 0), (std::vector<int>{0, 63, 127, 191}));

    PixelBuffer down(2, 1, 24);
    ResizeBilinear(GreyRow({0, 100, 200, 255}), down);
    EXPECT_EQ(RedOfRow(down, 0), (std::vector<int>{0, 150}));
}

TEST(ResampleTest, BilinearNeverExceedsTheLargestNeighbour) {
    const PixelBuffer src = MakeBuffer24(13, 11, [](int y, int x) {
        const auto v = static_cast<std::uint8_t>((x * 97 + y * 61) % 256);
        return Bgr{v, static_cast<std::uint8_t>(255 - v), static_cast<std::uint8_t>(v / 2)};
    });
    PixelBuffer dst(31, 29, 24);
    ResizeBilinear(src, dst);
    int maxB = 0;
    for (int y = 0; y < src.Height(); ++y) {
        for (int x = 0; x < src.Width(); ++x) {
            maxB = std::max<int>(maxB, src.Pixel(y, x).b);
        }
    }
    for (int y = 0; y < dst.Height(); ++y) {
        for (int x = 0; x < dst.Width(); ++x) {
            EXPECT_LE(dst.Pixel(y, x).b, maxB);
        }
    }
    EXPECT_EQ(dst.Pixel(0, 0), src.Pixel(0, 0));
}

TEST(ResampleTest, OnePixelWideSourceUsesCentredNearestNeighbour) {
    const PixelBuffer src = MakeBuffer24(1, 6, [](int y, int) {
        return Bgr{static_cast<std::uint8_t>(y * 10), 0, 0};
    });
    PixelBuffer dst(5, 3, 24);
    ResizeBilinear(src, dst);
    // 6 rows to 3: yStep = 2 in 16.16, centre sampling starts at 1 -> rows 1, 3, 5.
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(dst.Pixel(y, x).b, (2 * y + 1) * 10) << y << "," << x;
        }
    }
}

TEST(ResampleTest, NearestSamplesCellCentresAt24BitsAndCellStartsAt8Bits) {
    PixelBuffer src24 = GreyRow({10, 20, 30, 40});
    PixelBuffer dst24(2, 1, 24);
    ResizeNearest(src24, dst24);
    EXPECT_EQ(RedOfRow(dst24, 0), (std::vector<int>{20, 40}));

    PixelBuffer src8(4, 1, 8);
    for (int x = 0; x < 4; ++x) {
        src8.SetIndex(0, x, static_cast<std::uint8_t>(x + 1));
    }
    PixelBuffer dst8(2, 1, 8);
    ResizeNearest(src8, dst8);
    EXPECT_EQ(dst8.Index(0, 0), 1);
    EXPECT_EQ(dst8.Index(0, 1), 3);
}

TEST(ResampleTest, ResizeBufferKeepsOneBitWithBlackAndWhitePalette) {
    PixelBuffer mono(8, 2, 1);
    mono.Palette() = {Bgr{0, 0, 255}, Bgr{0, 255, 0}};
    for (int x = 0; x < 8; x += 2) {
        mono.SetIndex(0, x, 1);
        mono.SetIndex(1, x, 1);
    }
    ResizeBuffer(mono, 16, 4);
    EXPECT_EQ(mono.BitsPerPixel(), 1);
    EXPECT_EQ(mono.Width(), 16);
    EXPECT_EQ(mono.Height(), 4);
    ASSERT_EQ(mono.Palette().size(), 2U);
    EXPECT_EQ(mono.Palette()[0], (Bgr{0, 0, 0}));
    EXPECT_EQ(mono.Palette()[1], (Bgr{255, 255, 255}));
    // Column x of the result comes from source column x / 2.
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(mono.Index(3, x), (x / 2) % 2 == 0 ? 1 : 0) << x;
    }
}

TEST(ResampleTest, ZeroSizesAreRefused) {
    PixelBuffer b = GreyRow({1, 2, 3});
    EXPECT_THROW(ResizeBuffer(b, 0, 5), Error);
    EXPECT_THROW(ResizeBuffer(b, 5, 0), Error);
    PixelBuffer empty;
    EXPECT_THROW(ResizeBuffer(empty, 5, 5), Error);
    PixelBuffer dst(2, 2, 24);
    EXPECT_THROW(ResizeBilinear(empty, dst), Error);
    EXPECT_EQ(b.Width(), 3);  // unchanged after a refusal
}

TEST(ResampleTest, ThirtyTwoBitBilinearLeavesTheFourthByte) {
    PixelBuffer src(2, 1, 32);
    src.Row(0)[0] = 0;
    src.Row(0)[3] = 77;
    src.Row(0)[4] = 200;
    src.Row(0)[7] = 99;
    PixelBuffer dst(4, 1, 32);
    ResizeBilinear(src, dst);
    EXPECT_EQ(dst.Row(0)[4], 50);  // 200 * 1/4
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(dst.Row(0)[x * 4 + 3], 0);
    }
}

// A band of a resized buffer holds exactly the rows of the whole resized buffer: the engine
// makes only the rows of a tall depth map that land in the stereogram.
TEST(ResampleTest, BandIsTheSameRowsAsTheWholeResize) {
    struct Case {
        int width, height, bits, newWidth, newHeight, firstRow, rowCount;
    };
    for (const Case& c :
         {Case{7, 40, 24, 19, 123, 31, 50}, Case{1, 30, 24, 5, 90, 0, 90}, Case{12, 9, 24, 12, 9, 2, 5},
          Case{13, 50, 8, 20, 77, 76, 1}, Case{300, 2000, 24, 1000, 6667, 2833, 1000}}) {
        PixelBuffer source(c.width, c.height, c.bits);
        for (std::size_t i = 0; i < source.ByteSize(); ++i) {
            source.Data()[i] = static_cast<std::uint8_t>(i * 37 + i / 5);
        }
        if (c.bits == 8) {
            source.Palette().resize(256);
            for (int i = 0; i < 256; ++i) {
                const auto g = static_cast<std::uint8_t>(i);
                source.Palette()[static_cast<std::size_t>(i)] = {g, static_cast<std::uint8_t>(255 - i), g};
            }
        }
        PixelBuffer whole = source;
        ResizeBuffer(whole, c.newWidth, c.newHeight);
        whole = whole.To24Bit();
        PixelBuffer band = source;
        ResizeBufferBand(band, c.newWidth, c.newHeight, c.firstRow, c.rowCount);
        ASSERT_EQ(band.Width(), c.newWidth);
        ASSERT_EQ(band.Height(), c.rowCount);
        for (int y = 0; y < c.rowCount; ++y) {
            ASSERT_EQ(0, std::memcmp(band.Row(y), whole.Row(c.firstRow + y), band.Stride()))
                << c.width << " x " << c.height << " row " << y;
        }
    }
    PixelBuffer source(4, 4, 24);
    EXPECT_THROW(ResizeBufferBand(source, 8, 8, 5, 4), Error);
}

TEST(ResampleTest, GreyPicturesResizeAsEachChannelWouldAlone) {
    // A grey source takes a shortcut; one tinted pixel sends the same picture down the general
    // path, whose green channel must then match the shortcut's everywhere.
    const auto level = [](int y, int x) { return static_cast<std::uint8_t>((x * 37 + y * 91) % 256); };
    const PixelBuffer grey = MakeBuffer24(53, 43, [&](int y, int x) {
        return Bgr{level(y, x), level(y, x), level(y, x)};
    });
    PixelBuffer tinted = grey;
    tinted.Row(0)[0] ^= 0x40;  // blue of one pixel
    for (const auto& [w, h] : {std::pair{1920, 1545}, std::pair{200, 7}, std::pair{20, 300}}) {
        PixelBuffer fast(w, h, 24);
        PixelBuffer general(w, h, 24);
        ResizeBilinear(grey, fast);
        ResizeBilinear(tinted, general);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const Bgr f = fast.Pixel(y, x);
                ASSERT_EQ(f.g, general.Pixel(y, x).g) << w << "x" << h << " at " << y << "," << x;
                ASSERT_TRUE(f.b == f.g && f.r == f.g);
            }
        }
    }
}

}  // namespace
}  // namespace vistamaze
