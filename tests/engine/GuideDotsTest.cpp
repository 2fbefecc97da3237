// The guide dots: where the engine draws them, and that they change nothing else.
#include "engine/GuideDots.h"
#include "engine/Stereogram.h"
#include "tests/support/TestSupport.h"

#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

using test::MakeBuffer24;

constexpr int kWidth = 1000;
constexpr int kHeight = 300;

// A textured render of a flat far map on one grey, so that the dots alone differ from the plain one.
PixelBuffer Render(int dpi, int oversampling, bool guideDots,
                   StereogramKind kind = StereogramKind::Textured) {
    Stereogram s;
    s.SetStereoType(kind);
    s.SetWidth(kWidth);
    s.SetHeight(kHeight);
    s.SetDPI(dpi);
    s.SetOversampling(oversampling);
    s.SetObservDistance(12.0);  // the far plane then repeats at a fraction of a pixel
    s.SeedSource = [] { return 77U; };
    s.SetDepthMap(Picture(MakeBuffer24(50, 15, [](int, int) { return Bgr{0, 0, 0}; })));
    s.SetMaskMap(Picture(MakeBuffer24(64, 64, [](int, int) { return Bgr{128, 128, 128}; })));
    s.SetGuideDots(guideDots);
    s.Generate();
    return s.TakeStereogramPicture().Bitmap();
}

// How much each pixel of `dotted` differs from `plain`, summed over the channels.
int Difference(const PixelBuffer& dotted, const PixelBuffer& plain, int row, int column) {
    const Bgr a = dotted.Pixel(row, column);
    const Bgr b = plain.Pixel(row, column);
    return std::abs(a.b - b.b) + std::abs(a.g - b.g) + std::abs(a.r - b.r);
}

// The centre of the change in the columns [first, end), weighted by its size; x from the left edge.
double ChangeCentre(const PixelBuffer& dotted, const PixelBuffer& plain, int first, int end) {
    double weight = 0.0;
    double sum = 0.0;
    for (int r = 0; r < dotted.Height(); ++r) {
        for (int c = first; c < end; ++c) {
            const int d = Difference(dotted, plain, r, c);
            weight += d;
            sum += d * (c + 0.5);
        }
    }
    return weight > 0.0 ? sum / weight : -1.0;
}

TEST(GuideDotsTest, DotCentresLieTheFarPlaneSeparationApartAtEveryDpiAndOversampling) {
    for (const int dpi : {72, 150}) {
        for (const int oversampling : {1, 8}) {
            SCOPED_TRACE(testing::Message() << dpi << " dpi, oversampling " << oversampling);
            // The far plane's separation in internal pixels, back in output pixels.
            const long double d = dpi * 12.0L;
            const long double z = std::trunc(dpi * 14.0L);
            const long double eyes = std::nearbyintl(2.5L * dpi) * oversampling;
            const double expected = static_cast<double>(std::nearbyintl(eyes * z / (z + d))) / oversampling;

            const PixelBuffer plain = Render(dpi, oversampling, false);
            const PixelBuffer dotted = Render(dpi, oversampling, true);
            const double left = ChangeCentre(dotted, plain, 0, kWidth / 2);
            const double right = ChangeCentre(dotted, plain, kWidth / 2, kWidth);
            EXPECT_NEAR(right - left, expected, 0.05);
            EXPECT_NEAR((left + right) / 2.0, kWidth / 2.0, 0.05);
            // Near the top: every changed pixel lies in the top fifth (rows are stored bottom-up).
            for (int r = 0; r < kHeight * 4 / 5; ++r) {
                for (int c = 0; c < kWidth; ++c) {
                    ASSERT_EQ(Difference(dotted, plain, r, c), 0) << r << "," << c;
                }
            }
        }
    }
}

// With the option off a render is what it was; on, only the pixels under the two dots change, and
// the random dots around them stay the same.
TEST(GuideDotsTest, TheDotsChangeOnlyTheirOwnPixels) {
    const PixelBuffer before = Render(72, 1, false, StereogramKind::RandomDot);
    const PixelBuffer dotted = Render(72, 1, true, StereogramKind::RandomDot);
    EXPECT_EQ(Render(72, 1, false, StereogramKind::RandomDot), before);
    // 72 dpi at 12 in: the far plane repeats at Round(180 x 1008 / 1872) = 97 pixels.
    const GuideDotPlaces places = PlaceGuideDots(kWidth, kHeight, 97.0);
    long changed = 0;
    for (int r = 0; r < kHeight; ++r) {
        for (int c = 0; c < kWidth; ++c) {
            if (dotted.Pixel(r, c) == before.Pixel(r, c)) {
                continue;
            }
            ++changed;
            const double y = kHeight - r - 0.5;
            const double nearest = std::min(std::hypot(c + 0.5 - places.leftX, y - places.y),
                                            std::hypot(c + 0.5 - places.rightX, y - places.y));
            EXPECT_LT(nearest, places.radius + 1.0) << r << "," << c;
        }
    }
    // A dot of radius r covers about pi r^2 pixels.
    EXPECT_GT(changed, static_cast<long>(2 * 3 * places.radius * places.radius));
}

}  // namespace
}  // namespace vistamaze
