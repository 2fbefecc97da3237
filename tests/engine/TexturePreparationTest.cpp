#include "engine/Errors.h"
#include "engine/TexturePreparation.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

using test::MakeBuffer24;

// Every pixel distinct enough to tell columns and rows apart, odd and even values mixed.
PixelBuffer Pattern(int width, int height) {
    return MakeBuffer24(width, height, [](int y, int x) {
        return Bgr{static_cast<std::uint8_t>(x * 7 + y * 3), static_cast<std::uint8_t>(y * 11 + 5),
                   static_cast<std::uint8_t>((x * 13) ^ (y * 17))};
    });
}

// The blend written out plainly: three whole buffers, columns outer and rows inner, exactly in
// the order the rule states, with the band width and periods supplied by the test.
PixelBuffer ReferenceSeamless(const PixelBuffer& s, long long n, int ph, int pv) {
    auto mix = [](int a, double wa, int b, double wb) {
        return static_cast<int>(static_cast<float>(a * wa)) + static_cast<int>(static_cast<float>(b * wb));
    };
    auto blend = [&](Bgr a, double wa, Bgr b, double wb) {
        return Bgr{static_cast<std::uint8_t>(mix(a.b, wa, b.b, wb)),
                   static_cast<std::uint8_t>(mix(a.g, wa, b.g, wb)),
                   static_cast<std::uint8_t>(mix(a.r, wa, b.r, wb))};
    };
    const double k = 0.5 / static_cast<double>(n);
    PixelBuffer t = s;
    for (long long x = 0; x < n && x < s.Width(); ++x) {
        const auto m = static_cast<int>(std::max(ph - x - 1, 0LL));
        const double w1 = 1 - static_cast<double>(n - x) * k;
        for (int y = 0; y < s.Height(); ++y) {
            const Bgr a = s.Pixel(y, static_cast<int>(x));
            const Bgr b = s.Pixel(y, m);
            t.SetPixel(y, static_cast<int>(x), blend(a, w1, b, 1 - w1));
            t.SetPixel(y, m, blend(a, 1 - w1, b, w1));
        }
    }
    PixelBuffer r = t;
    for (int x = 0; x < s.Width(); ++x) {
        for (long long y = 0; y < n && y < s.Height(); ++y) {
            const auto m = static_cast<int>(std::max(pv - y - 1, 0LL));
            const double w1 = 1 - static_cast<double>(n - y) * k;
            const Bgr a = t.Pixel(static_cast<int>(y), x);
            const Bgr b = t.Pixel(m, x);
            r.SetPixel(static_cast<int>(y), x, blend(a, w1, b, 1 - w1));
            r.SetPixel(m, x, blend(a, 1 - w1, b, w1));
        }
    }
    return r;
}

TEST(CropAndScaleTextureTest, CropsFromTheTopLeftAndKeepsRowsBottomUp) {
    const PixelBuffer source = Pattern(10, 8);
    const PixelBuffer out = CropAndScaleTexture(source, {2, 1, 3, 2}, 100.0, 1000);
    ASSERT_EQ(out.Width(), 5);
    ASSERT_EQ(out.Height(), 5);
    EXPECT_EQ(out.BitsPerPixel(), 24);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(out.Pixel(y, x), source.Pixel(y + 2, x + 2)) << y << "," << x;
        }
    }
}

// Margins that would leave nothing keep the first column (row) after the left (top) margin.
TEST(CropAndScaleTextureTest, MarginsLeavingNothingKeepOneColumnOrRow) {
    const PixelBuffer source = Pattern(100, 50);
    struct Case {
        TextureMargins margins;
        int width, height, column, row;
    };
    for (const Case& c : {Case{{60, 0, 60, 0}, 1, 50, 60, 49}, Case{{60, 0, 40, 0}, 1, 50, 60, 49},
                          Case{{150, 0, 0, 0}, 1, 50, 99, 49}, Case{{0, 30, 0, 30}, 100, 1, 0, 19},
                          Case{{-5, -5, 0, 70}, 100, 1, 0, 49}}) {
        const PixelBuffer out = CropAndScaleTexture(source, c.margins, 100.0, 72);
        ASSERT_EQ(out.Width(), c.width);
        ASSERT_EQ(out.Height(), c.height);
        EXPECT_EQ(out.Pixel(out.Height() - 1, 0), source.Pixel(c.row, c.column));
    }
}

// Sizes worked out by hand; the odd scales are where single and double precision part ways
// (250 * 65.2 / 100 is 163 in double, 375 * 18.4 / 100 is 68).
TEST(CropAndScaleTextureTest, ScaledSizesInSinglePrecisionRaisedToTheDpi) {
    using Row = std::tuple<int, int, double, int, int, int>;
    for (const auto& [w, h, scale, dpi, ew, eh] :
         {Row{200, 100, 50.0, 72, 100, 72}, Row{250, 375, 65.2, 10, 162, 244},
          Row{375, 250, 18.4, 10, 69, 46}, Row{40, 30, 99.9, 100, 100, 100},
          Row{300, 300, 100.0, 1000, 300, 300}}) {
        const PixelBuffer out = CropAndScaleTexture(Pattern(w, h), {}, scale, dpi);
        EXPECT_EQ(out.Width(), ew) << w << "x" << h << " at " << scale;
        EXPECT_EQ(out.Height(), eh) << w << "x" << h << " at " << scale;
        EXPECT_EQ(out.Pixel(0, 0), Pattern(w, h).Pixel(0, 0));  // bilinear keeps the first pixel
    }
}

TEST(CropAndScaleTextureTest, ImpossibleSizesThrowInsteadOfAllocating) {
    const PixelBuffer source = Pattern(20, 20);
    EXPECT_THROW((void)CropAndScaleTexture(source, {}, 0.0, 0), Error);
    EXPECT_THROW((void)CropAndScaleTexture(source, {}, 50.0, 1'000'000), Error);
    EXPECT_THROW((void)CropAndScaleTexture(source, {}, std::numeric_limits<double>::quiet_NaN(), 10), Error);
    EXPECT_TRUE(CropAndScaleTexture(PixelBuffer(0, 0, 24), {1, 1, 1, 1}, 50.0, 72).Empty());
}

TEST(BuildMirroredTextureTest, MirrorModesMatchThePerPixelRule) {
    const PixelBuffer t = Pattern(85, 118);
    using Row = std::tuple<int, int, int>;
    for (const auto& [mode, ew, eh] :
         {Row{1, 85, 236}, Row{2, 170, 118}, Row{3, 170, 236}, Row{0, 85, 118}}) {
        const PixelBuffer r = BuildMirroredTexture(t, mode);
        ASSERT_EQ(r.Width(), ew);
        ASSERT_EQ(r.Height(), eh);
        ASSERT_EQ(r.BitsPerPixel(), 24);
        for (int y = 0; y < eh; ++y) {
            for (int x = 0; x < ew; ++x) {
                const int sx = x < 85 ? x : 2 * 85 - 1 - x;
                const int sy = y < 118 ? y : 2 * 118 - 1 - y;
                ASSERT_EQ(r.Pixel(y, x), t.Pixel(sy, sx)) << "mode " << mode << " at " << y << "," << x;
            }
        }
    }
}

TEST(BuildMirroredTextureTest, EmptyTextureGivesAnEmptyTile) {
    const PixelBuffer r = BuildMirroredTexture(PixelBuffer(0, 5, 24), 3);
    EXPECT_EQ(r.Width(), 0);
    EXPECT_EQ(r.Height(), 10);
}

TEST(BuildMirroredTextureTest, IndexedTextureComesOutAsTrueColour) {
    PixelBuffer indexed(3, 2, 8);
    indexed.Palette()[1] = Bgr{10, 20, 30};
    indexed.Palette()[2] = Bgr{40, 50, 60};
    indexed.SetIndex(0, 0, 1);
    indexed.SetIndex(1, 2, 2);
    const PixelBuffer r = BuildMirroredTexture(indexed, 3);
    ASSERT_EQ(r.BitsPerPixel(), 24);
    EXPECT_EQ(r.Pixel(0, 0), (Bgr{10, 20, 30}));
    EXPECT_EQ(r.Pixel(3, 5), (Bgr{10, 20, 30}));  // bottom-left pixel, flipped both ways
    EXPECT_EQ(r.Pixel(1, 3), (Bgr{40, 50, 60}));  // top-right pixel, mirrored left-right
}

TEST(MakeSeamlessTextureTest, SmoothUnstretchedBlendsBandsAgainstTheSeparation) {
    const PixelBuffer original = Pattern(200, 60);
    PixelBuffer bitmap = original;
    MakeSeamlessTexture(1, bitmap, false, 90);
    EXPECT_EQ(bitmap, ReferenceSeamless(original, 15, 90, 60));
    for (int y = 0; y < 60; ++y) {
        EXPECT_EQ(bitmap.Pixel(y, 0), bitmap.Pixel(y, 89));
    }
    for (int x = 0; x < 200; ++x) {
        EXPECT_EQ(bitmap.Pixel(0, x), bitmap.Pixel(59, x));
    }
    // Outside the vertical band only the column pass acts: column 0 is the rounded-down average.
    const Bgr a = original.Pixel(30, 0);
    const Bgr b = original.Pixel(30, 89);
    EXPECT_EQ(bitmap.Pixel(30, 0),
              (Bgr{static_cast<std::uint8_t>(a.b / 2 + b.b / 2), static_cast<std::uint8_t>(a.g / 2 + b.g / 2),
                   static_cast<std::uint8_t>(a.r / 2 + b.r / 2)}));
    for (int y = 15; y < 45; ++y) {
        for (int x : {15, 40, 74, 90, 150, 199}) {
            EXPECT_EQ(bitmap.Pixel(y, x), original.Pixel(y, x)) << y << "," << x;
        }
    }
}

// Band widths and periods derived by hand for each case: stretched, n becomes n * Round(W / sep)
// (2.5 rounds to 2, 3.5 to 4) and the period is W; unstretched, the period is min(sep, W).
TEST(MakeSeamlessTextureTest, BandWidthsAndPeriodsFollowModeAndStretching) {
    struct Case {
        int mode, width, height;
        bool stretched;
        int separation;
        long long n;
        int period;
    };
    for (const Case& c :
         {Case{1, 200, 40, true, 90, 30, 200}, Case{1, 225, 40, true, 90, 30, 225},
          Case{3, 315, 70, true, 90, 100, 315}, Case{2, 64, 64, false, 90, 5, 64},
          Case{3, 2048, 60, false, 90, 25, 90}, Case{7, 50, 40, false, 45, 15, 45},
          Case{0, 50, 40, false, 200, 15, 50}, Case{3, 40, 30, true, 1, 1000, 40},
          Case{3, 3, 2, false, 90, 25, 3}, Case{1, 20, 20, false, -4, 15, -4}, Case{2, 1, 1, false, 0, 5, 0},
          Case{1, 20, 20, false, std::numeric_limits<int>::min(), 15, std::numeric_limits<int>::min()}}) {
        const PixelBuffer original = Pattern(c.width, c.height);
        PixelBuffer bitmap = original;
        MakeSeamlessTexture(c.mode, bitmap, c.stretched, c.separation);
        EXPECT_EQ(bitmap, ReferenceSeamless(original, c.n, c.period, c.height))
            << "mode " << c.mode << ", " << c.width << " wide, separation " << c.separation;
    }
}

TEST(MakeSeamlessTextureTest, IndexedBitmapIsBlendedAsTrueColour) {
    PixelBuffer indexed(30, 20, 8);
    for (int i = 0; i < 256; ++i) {
        indexed.Palette()[static_cast<std::size_t>(i)] =
            Bgr{static_cast<std::uint8_t>(i), 7, static_cast<std::uint8_t>(255 - i)};
    }
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 30; ++x) {
            indexed.SetIndex(y, x, static_cast<std::uint8_t>(x * 9 + y));
        }
    }
    const PixelBuffer expected = ReferenceSeamless(indexed.To24Bit(), 15, 30, 20);
    MakeSeamlessTexture(1, indexed, false, 90);
    EXPECT_EQ(indexed, expected);
}

TEST(MakeSeamlessTextureTest, EmptyBandLeavesTheBitmapAlone) {
    const PixelBuffer original = Pattern(44, 30);
    for (int separation : {0, 90, 100, -90}) {
        PixelBuffer bitmap = original;
        MakeSeamlessTexture(3, bitmap, true, separation);
        EXPECT_EQ(bitmap, original) << separation;
    }
    PixelBuffer half = Pattern(45, 30);  // 45 / 90 = 0.5 rounds to even: 0
    MakeSeamlessTexture(1, half, true, 90);
    EXPECT_EQ(half, Pattern(45, 30));
    PixelBuffer empty(0, 0, 24);
    MakeSeamlessTexture(1, empty, false, 90);
    EXPECT_TRUE(empty.Empty());
}

}  // namespace
}  // namespace vistamaze
