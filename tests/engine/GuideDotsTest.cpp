// The guide dots: where the engine draws them, and that they change nothing else.
#include "engine/GuideDots.h"
#include "engine/Stereogram.h"
#include "tests/support/TestSupport.h"

#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

// A textured render of a flat far map on one grey, at 12 in (the far plane then repeats at a
// fraction of a pixel): only the dots can differ between it and the same render without them.
PixelBuffer Render(int dpi, int oversampling, bool guideDots) {
    Stereogram s;
    s.SetStereoType(StereogramKind::Textured);
    s.SetWidth(1000);
    s.SetHeight(300);
    s.SetDPI(dpi);
    s.SetOversampling(oversampling);
    s.SetObservDistance(12.0);
    s.SetDepthMap(Picture(test::MakeBuffer24(50, 15, [](int, int) { return Bgr{0, 0, 0}; })));
    s.SetMaskMap(Picture(test::MakeBuffer24(64, 64, [](int, int) { return Bgr{128, 128, 128}; })));
    s.SetGuideDots(guideDots);
    s.Generate();
    return s.TakeStereogramPicture().Bitmap();
}

TEST(GuideDotsTest, DotsLieTheFarPlaneSeparationApartNearTheTopAndChangeNothingElse) {
    for (const int dpi : {72, 150}) {
        for (const int oversampling : {1, 8}) {
            SCOPED_TRACE(testing::Message() << dpi << " dpi, oversampling " << oversampling);
            // The far plane's separation in internal pixels, back in output pixels.
            const long double d = dpi * 12.0L;
            const long double z = std::trunc(dpi * 14.0L);
            const long double eyes = std::nearbyintl(2.5L * dpi) * oversampling;
            const double spacing = static_cast<double>(std::nearbyintl(eyes * z / (z + d))) / oversampling;
            const PixelBuffer plain = Render(dpi, oversampling, false);
            const PixelBuffer dotted = Render(dpi, oversampling, true);
            const GuideDotPlaces places = PlaceGuideDots(1000, 300, spacing);
            ASSERT_LT(places.y, 300 / 10.0);
            // Each dot's centre as the weight of its change puts it (x from the left edge).
            double weight[2] = {0.0, 0.0};
            double sum[2] = {0.0, 0.0};
            for (int r = 0; r < 300; ++r) {
                for (int c = 0; c < 1000; ++c) {
                    const Bgr a = dotted.Pixel(r, c);
                    const Bgr b = plain.Pixel(r, c);
                    const int change = std::abs(a.b - b.b) + std::abs(a.g - b.g) + std::abs(a.r - b.r);
                    const int side = c < 500 ? 0 : 1;
                    const double dy = 300 - r - 0.5 - places.y;
                    const double dx = c + 0.5 - (side == 0 ? places.leftX : places.rightX);
                    if (change != 0) {
                        EXPECT_LT(std::hypot(dx, dy), places.radius + 1.0) << r << "," << c;
                    }
                    weight[side] += change;
                    sum[side] += change * (c + 0.5);
                }
            }
            ASSERT_GT(weight[0] * weight[1], 0.0);
            EXPECT_NEAR(sum[1] / weight[1] - sum[0] / weight[0], spacing, 0.05);
            EXPECT_NEAR((sum[1] / weight[1] + sum[0] / weight[0]) / 2.0, 500.0, 0.05);
        }
    }
}

}  // namespace
}  // namespace vistamaze
