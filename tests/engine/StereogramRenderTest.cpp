#include "engine/Stereogram.h"
#include "tests/support/TestSupport.h"

#include <cmath>
#include <map>
#include <set>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

using test::MakeBuffer24;

constexpr std::uint32_t kSeed = 12345;

Picture Solid(int width, int height, Bgr colour) {
    return Picture(MakeBuffer24(width, height, [&](int, int) { return colour; }));
}

// A texture whose every pixel is unique: blue = column, green = row, red = 7.
Picture CodedTexture(int width, int height) {
    return Picture(MakeBuffer24(width, height, [](int y, int x) {
        return Bgr{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7};
    }));
}

// A black depth map with a white rectangle; rows counted from the bottom.
Picture Rectangle(int width, int height, int x0, int y0, int x1, int y1) {
    return Picture(MakeBuffer24(width, height, [&](int y, int x) {
        const bool inside = x >= x0 && x < x1 && y >= y0 && y < y1;
        return inside ? Bgr{255, 255, 255} : Bgr{0, 0, 0};
    }));
}

Stereogram& Configure(Stereogram& s, StereogramKind type, int width, int height) {
    s.SetStereoType(type);
    s.SetWidth(width);
    s.SetHeight(height);
    s.SeedSource = [] { return kSeed; };
    return s;
}

// Separation in output pixels that the viewing geometry gives a depth level (oversampling 1).
int SeparationOfLevel(const Stereogram& s, int level) {
    const long double d = s.DPI() * static_cast<long double>(s.ObservDistance());
    const long double zmax = s.DPI() * static_cast<long double>(s.Max3Ddepth());
    const long double zmin = s.DPI() * static_cast<long double>(s.Min3Ddepth());
    const auto z = static_cast<long double>(static_cast<long long>(zmax - (zmax - zmin) * level / 256.0L));
    return static_cast<int>(std::nearbyintl(std::nearbyintl(2.5L * s.DPI()) * z / (z + d)));
}

TEST(StereogramRenderTest, FlatMapRepeatsEveryPatternWidthWithTheCentralStripUnshifted) {
    Stereogram s;
    Configure(s, StereogramKind::Textured, 400, 60);
    s.SetDepthMap(Solid(40, 6, {0, 0, 0}));
    s.SetMaskMap(CodedTexture(120, 50));
    s.Generate();
    const PixelBuffer& out = s.StereogramPicture().Bitmap();
    const int xs = 400 / 2 - 45;
    for (int r = 0; r < out.Height(); ++r) {
        for (int x = 0; x + 90 < out.Width(); ++x) {
            ASSERT_EQ(out.Pixel(r, x), out.Pixel(r, x + 90)) << r << "," << x;
        }
        for (int c = 0; c < 90; ++c) {
            ASSERT_EQ(out.Pixel(r, xs + c),
                      (Bgr{static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(r % 50), 7}))
                << r << "," << c;
        }
    }
}

// True when every pixel of row `row` in columns [from, to) equals a pixel at one of the given
// distances to its left.
bool RepeatsAt(const PixelBuffer& out, int row, int from, int to, std::set<int> distances) {
    for (int x = from; x < to; ++x) {
        bool found = false;
        for (const int d : distances) {
            found = found || (x - d >= 0 && out.Pixel(row, x) == out.Pixel(row, x - d));
        }
        if (!found) {
            ADD_FAILURE() << "row " << row << " column " << x;
            return false;
        }
    }
    return true;
}

TEST(StereogramRenderTest, NearSurfacesSeparateLessThanTheBackground) {
    Stereogram s;
    Configure(s, StereogramKind::Textured, 600, 100);
    s.SetDepthMap(Rectangle(600, 100, 200, 20, 400, 80));
    s.SetMaskMap(CodedTexture(100, 100));
    s.Generate();
    const PixelBuffer& out = s.StereogramPicture().Bitmap();
    // Well inside the rectangle every pixel repeats at 60; far outside it at 90.
    EXPECT_TRUE(RepeatsAt(out, 50, 280, 330, {60}));
    EXPECT_TRUE(RepeatsAt(out, 50, 500, 600, {90}));
    EXPECT_TRUE(RepeatsAt(out, 5, 100, 600, {90}));

    s.SetConverging(true);
    s.Generate();
    const PixelBuffer& crossed = s.StereogramPicture().Bitmap();
    EXPECT_TRUE(RepeatsAt(crossed, 50, 300, 400, {90}));
    EXPECT_TRUE(RepeatsAt(crossed, 50, 520, 600, {60}));
}

TEST(StereogramRenderTest, FastRandomDotHonoursEveryConstraintOfTheDepthMap) {
    Stereogram s;
    Configure(s, StereogramKind::RandomDot, 300, 120);
    s.SetRandomDotColor(RandomDotColors::Rgb);
    // A smooth dome and a step: every level from 0 to 255 occurs.
    const PixelBuffer depth = MakeBuffer24(300, 120, [](int y, int x) {
        const double dx = (x - 150) / 100.0;
        const double dy = (y - 60) / 50.0;
        const double h = std::max(0.0, 1.0 - dx * dx - dy * dy);
        const auto v = static_cast<std::uint8_t>(x > 260 ? 200 : std::lround(255 * h));
        return Bgr{v, v, v};
    });
    s.SetDepthMap(Picture(depth));
    s.Generate();
    const PixelBuffer& out = s.StereogramPicture().Bitmap();
    int checked = 0;
    for (int r = 0; r < 120; ++r) {
        for (int x = 0; x < 300; ++x) {
            const int sep = SeparationOfLevel(s, depth.Pixel(r, x).r);
            const int left = x - sep / 2;
            const int right = left + sep;
            if (left < 0 || right >= 300) {
                continue;
            }
            ASSERT_EQ(out.Pixel(r, left), out.Pixel(r, right)) << r << "," << x;
            ++checked;
        }
    }
    EXPECT_GT(checked, 20000);
}

TEST(StereogramRenderTest, TexturedLinksHoldOnASmoothSurface) {
    Stereogram s;
    Configure(s, StereogramKind::Textured, 400, 80);
    const PixelBuffer depth = MakeBuffer24(400, 80, [](int, int x) {
        const auto v = static_cast<std::uint8_t>(x < 100 ? 0 : x < 300 ? (x - 100) * 255 / 200 : 255);
        return Bgr{v, v, v};
    });
    s.SetDepthMap(Picture(depth));
    s.SetMaskMap(CodedTexture(100, 80));
    s.Generate();
    const PixelBuffer& out = s.StereogramPicture().Bitmap();
    int held = 0;
    int total = 0;
    for (int r = 0; r < 80; ++r) {
        for (int x = 0; x < 400; ++x) {
            const int sep = SeparationOfLevel(s, depth.Pixel(r, x).r);
            const int left = x - sep / 2;
            if (left < 0 || left + sep >= 400) {
                continue;
            }
            ++total;
            held += out.Pixel(r, left) == out.Pixel(r, left + sep) ? 1 : 0;
        }
    }
    // A slope hides a few links where neighbouring constraints cross; nearly all hold.
    EXPECT_GT(held, total * 97 / 100) << held << " of " << total;
}

TEST(StereogramRenderTest, FreshSamplesShiftTheTextureByStripAndPatternOffsets) {
    // A 40-column texture limits the pattern to 40 while the separations (about 123) exceed
    // the row, so no sample is linked and every one takes fresh texture.
    Stereogram s;
    Configure(s, StereogramKind::Textured, 100, 30);
    s.SetMax3Ddepth(30);
    s.SetMin3Ddepth(30);
    s.SetDepthMap(Solid(10, 3, {0, 0, 0}));
    const int texH = 50;
    s.SetMaskMap(CodedTexture(40, texH));
    s.SetPatOfY(3);
    s.Generate();
    const PixelBuffer& out = s.StereogramPicture().Bitmap();
    const int xs = 100 / 2 - 40 / 2;
    for (int r = 0; r < 30; ++r) {
        for (int x = 0; x < 100; ++x) {
            const int strip = x >= xs ? (x - xs) / 40 : (xs - x - 1) / 40 + 1;
            const int expectedColumn = ((x - xs) % 40 + 40) % 40;
            const int expectedRow = (r + strip * 4 + 3) % texH;
            ASSERT_EQ(out.Pixel(r, x), (Bgr{static_cast<std::uint8_t>(expectedColumn),
                                            static_cast<std::uint8_t>(expectedRow), 7}))
                << r << "," << x;
        }
    }
}

TEST(StereogramRenderTest, OversampledPixelsAreTheTruncatedMeanOfTheirSamples) {
    Stereogram s;
    Configure(s, StereogramKind::Textured, 1000, 10);
    s.SetOversampling(4);
    s.SetDepthMap(Solid(10, 1, {0, 0, 0}));
    // Texture column c has red c + 1: two samples of column 0 and two of column 1 average 1.5.
    s.SetMaskMap(Picture(MakeBuffer24(90, 4, [](int, int x) {
        return Bgr{0, 0, static_cast<std::uint8_t>(x + 1)};
    })));
    s.SetPatOfX(2);
    s.Generate();
    const PixelBuffer& out = s.StereogramPicture().Bitmap();
    EXPECT_EQ(out.Pixel(0, 455).r, 1);  // (1 + 1 + 2 + 2) / 4 truncated
    EXPECT_EQ(out.Pixel(0, 456).r, 2);  // (2 + 2 + 3 + 3) / 4
}

TEST(StereogramRenderTest, StretchedTextureIsScaledToThePatternWidth) {
    Stereogram s;
    Configure(s, StereogramKind::Textured, 400, 100);
    s.SetStretchTexture(true);
    s.SetDepthMap(Solid(10, 10, {0, 0, 0}));
    // Rows of the 200 x 100 texture differ; after scaling to 90 x 45 the pattern repeats every
    // 45 rows within the central strip.
    s.SetMaskMap(Picture(MakeBuffer24(200, 100, [](int y, int x) {
        return Bgr{static_cast<std::uint8_t>(y * 2), static_cast<std::uint8_t>(x), 0};
    })));
    s.Generate();
    const PixelBuffer& out = s.StereogramPicture().Bitmap();
    const int xs = 200 - 45;
    for (int r = 0; r + 45 < 100; ++r) {
        for (int c = 0; c < 90; ++c) {
            ASSERT_EQ(out.Pixel(r, xs + c), out.Pixel(r + 45, xs + c));
        }
    }
    EXPECT_NE(out.Pixel(0, xs), out.Pixel(1, xs));
    EXPECT_EQ(s.Separation(), 90);
}

TEST(StereogramRenderTest, SmallDepthMapIsFittedToTheWidthAndCentredVertically) {
    Stereogram s;
    Configure(s, StereogramKind::Textured, 400, 300);
    // A 100 x 50 all-white map becomes 400 x 200, rows 50 .. 249 of the output.
    s.SetDepthMap(Solid(100, 50, {255, 255, 255}));
    s.SetMaskMap(CodedTexture(100, 100));
    s.Generate();
    const PixelBuffer& out = s.StereogramPicture().Bitmap();
    EXPECT_TRUE(RepeatsAt(out, 49, 200, 400, {90}));
    EXPECT_TRUE(RepeatsAt(out, 50, 200, 400, {60}));
    EXPECT_TRUE(RepeatsAt(out, 249, 200, 400, {60}));
    EXPECT_TRUE(RepeatsAt(out, 250, 200, 400, {90}));
}

TEST(StereogramRenderTest, HeavyBlurMovesSeparationsByAtMostOnePixel) {
    Stereogram s;
    Configure(s, StereogramKind::Textured, 500, 40);
    s.SetBlur(BlurLevel::Heavy);
    s.SetDepthMap(Solid(10, 10, {0, 0, 0}));
    s.SetMaskMap(CodedTexture(200, 60));
    s.Generate();
    const PixelBuffer& out = s.StereogramPicture().Bitmap();
    // Texture columns are unique, so a pixel equal to one 80 .. 100 columns to its left is
    // linked to it, directly or through a chain. Jittered links are 89, 90 or 91 long; chains
    // of them also make pixels at other distances equal, so only the direct links are counted.
    std::map<int, int> matches;
    int pixels = 0;
    int linkedNearNinety = 0;
    for (int r = 0; r < 40; ++r) {
        for (int x = 350; x < 500; ++x, ++pixels) {
            bool near = false;
            for (int d = 80; d <= 100; ++d) {
                if (out.Pixel(r, x) == out.Pixel(r, x - d)) {
                    ++matches[d];
                    near = near || (d >= 89 && d <= 91);
                }
            }
            linkedNearNinety += near ? 1 : 0;
        }
    }
    EXPECT_GT(linkedNearNinety, pixels * 9 / 10);
    EXPECT_GT(matches[89], 0);
    EXPECT_GT(matches[91], 0);
}

TEST(StereogramRenderTest, DotIntensitySetsTheShareOfBlackDots) {
    Stereogram s;
    Configure(s, StereogramKind::RandomDot, 400, 300);
    s.SetDepthMap(Solid(10, 10, {0, 0, 0}));
    s.SetDotIntensity(99);
    s.Generate();
    const auto blackShare = [&] {
        const PixelBuffer& out = s.StereogramPicture().Bitmap();
        int black = 0;
        for (int r = 0; r < out.Height(); ++r) {
            for (int x = 0; x < out.Width(); ++x) {
                const Bgr p = out.Pixel(r, x);
                EXPECT_TRUE(p == (Bgr{0, 0, 0}) || p == (Bgr{255, 255, 255}));
                black += p == Bgr{0, 0, 0} ? 1 : 0;
            }
        }
        return black / static_cast<double>(out.Width() * out.Height());
    };
    EXPECT_EQ(blackShare(), 1.0);
    s.SetDotIntensity(1);
    s.Generate();
    const double share = blackShare();
    EXPECT_GT(share, 0.012);
    EXPECT_LT(share, 0.03);
}

TEST(StereogramRenderTest, AFixedSeedReproducesEveryKindAndThreadsDoNotChangeTheResult) {
    const auto render = [](StereogramKind type, BlurLevel blur, int threads) {
        Stereogram s;
        Configure(s, type, 640, 200);
        s.SetOversampling(4);
        s.SetBlur(blur);
        s.SetRenderThreads(threads);
        s.SetRandomDotColor(RandomDotColors::Rgb);
        s.SetDepthMap(Rectangle(64, 20, 10, 5, 50, 15));
        s.SetMaskMap(CodedTexture(120, 90));
        s.Generate();
        return s.StereogramPicture().Bitmap();
    };
    for (const auto type :
         {StereogramKind::RandomDot, StereogramKind::RandomDotTextured, StereogramKind::Textured}) {
        for (const auto blur : {BlurLevel::None, BlurLevel::Medium}) {
            const PixelBuffer one = render(type, blur, 1);
            EXPECT_EQ(one, render(type, blur, 1));
            EXPECT_EQ(one, render(type, blur, 3));
        }
    }
}

}  // namespace
TEST(StereogramRenderTest, TextureOffsetsBeyondIntWrapAtTheTextureRepeat) {
    // A movie steps the offsets every frame: frame 3000 at a step of 1000000 is past any int.
    const auto render = [](std::int64_t x, std::int64_t y) {
        Stereogram s;
        Configure(s, StereogramKind::Textured, 100, 30);
        s.SetDepthMap(Solid(10, 3, {0, 0, 0}));
        s.SetMaskMap(CodedTexture(40, 50));
        s.SetPatOfX(x);
        s.SetPatOfY(y);
        s.Generate();
        return s.StereogramPicture().Bitmap();
    };
    const std::int64_t distant = 3000LL * 1000000;
    const PixelBuffer wrapped = render(distant, distant);
    const PixelBuffer close = render(distant % 40, distant % 50);
    for (int r = 0; r < 30; ++r) {
        for (int x = 0; x < 100; ++x) {
            ASSERT_EQ(wrapped.Pixel(r, x), close.Pixel(r, x)) << r << "," << x;
        }
    }
}

}  // namespace vistamaze

namespace vistamaze {
namespace {

// An engine that rendered a narrow picture on one thread grows its row arrays for a wider one on
// several, and hands its result out without a copy; neither changes a pixel.
TEST(StereogramRenderTest, RowArraysGrowWithTheWidthAndTheTakenPictureIsTheRender) {
    const auto prepare = [](Stereogram& s, int width, int threads) {
        Configure(s, StereogramKind::Textured, width, 120);
        s.SetOversampling(8);
        s.SetRenderThreads(threads);
        s.SetDepthMap(Rectangle(64, 20, 10, 5, 50, 15));
        s.SetMaskMap(CodedTexture(120, 90));
    };
    Stereogram fresh;
    prepare(fresh, 1500, 1);
    fresh.Generate();
    const PixelBuffer expected = fresh.StereogramPicture().Bitmap();

    Stereogram reused;
    prepare(reused, 200, 1);
    reused.Generate();
    prepare(reused, 1500, 3);
    reused.Generate();
    const Picture taken = reused.TakeStereogramPicture();
    EXPECT_EQ(taken.Bitmap(), expected);
    EXPECT_FALSE(reused.StereogramPicture().HasImage());
    reused.Generate();
    EXPECT_EQ(reused.StereogramPicture().Bitmap(), expected);
}

}  // namespace
TEST(StereogramRenderTest, TinyPicturesAndFlatTexturesStillRender) {
    // One pixel is half of 0 DPI, a 1920-wide map fitted to 1 pixel is no row tall and a
    // 1000 x 5 texture stretched to the pattern is no row tall: each keeps at least 1.
    struct Case {
        StereogramKind type;
        int width;
        int height;
        int textureWidth;
        int textureHeight;
    };
    const Case cases[] = {
        {StereogramKind::Textured, 1, 760, 128, 128},        {StereogramKind::Textured, 1000, 1, 128, 128},
        {StereogramKind::Textured, 1, 1, 128, 128},          {StereogramKind::RandomDot, 1, 5, 128, 128},
        {StereogramKind::RandomDotTextured, 7, 1, 128, 128}, {StereogramKind::Textured, 1000, 760, 1000, 5},
    };
    for (const Case& c : cases) {
        Stereogram s;
        Configure(s, c.type, c.width, c.height);
        s.SetDPI(72);
        s.SetStretchTexture(true);
        s.SetDepthMap(Rectangle(1920, 1080, 600, 300, 1300, 800));
        s.SetMaskMap(CodedTexture(c.textureWidth, c.textureHeight));
        ASSERT_NO_THROW(s.Generate()) << c.width << "x" << c.height;
        EXPECT_EQ(s.StereogramPicture().Width(), c.width);
        EXPECT_EQ(s.StereogramPicture().Height(), c.height);
        EXPECT_GE(s.DPI(), 1);
    }
}

}  // namespace vistamaze
