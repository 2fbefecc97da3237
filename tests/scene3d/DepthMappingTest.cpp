// How window depths become grey levels, and how big a freshly loaded model is drawn: the numbers
// a user sees in a captured depth map, without a GL context.
#include "scene3d/DepthMapping.h"
#include "scene3d/SceneActions.h"

#include <vector>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

struct MappingCase {
    const char* name;
    std::vector<float> depths;  // one row
    DepthSliders sliders;
    std::vector<int> greys;
};

class DepthMappingTest : public ::testing::TestWithParam<MappingCase> {};

TEST_P(DepthMappingTest, GreysFollowTheRangeAndTheSliders) {
    const MappingCase& c = GetParam();
    const auto width = static_cast<int>(c.depths.size());
    PixelBuffer image;
    MapDepthsToImage(c.depths, width, 1, ComputeDepthRange(c.depths, c.sliders), image);
    ASSERT_EQ(image.Width(), width);
    std::vector<int> greys;
    for (int x = 0; x < width; ++x) {
        const Bgr p = image.Pixel(0, x);
        EXPECT_TRUE(p.b == p.g && p.g == p.r);
        greys.push_back(p.g);
    }
    EXPECT_EQ(greys, c.greys);
}

INSTANTIATE_TEST_SUITE_P(
    Captures, DepthMappingTest,
    ::testing::Values(
        // Nearest drawn 255, farthest drawn 3, background 0, linear between.
        MappingCase{"Default", {1.0F, 0.5F, 0.55F, 0.6F}, {}, {0, 255, 129, 3}},
        // One depth: the range opens towards the camera and every drawn pixel is 3.
        MappingCase{"FlatFace", {0.7F, 0.7F, 1.0F}, {}, {3, 3, 0}},
        MappingCase{"NothingDrawn", {1.0F, 1.0F}, {}, {0, 0}},
        // Depth space -500 spans 0.49 of the scale: the farthest gets 255 - 124.
        MappingCase{"FlatRelief", {0.5F, 0.6F}, {0, 0, -500}, {255, 131}},
        // +500: beyond 1 / 1.49 of the range everything is black like the background.
        MappingCase{"DeepRelief", {0.5F, 0.56F, 0.58F, 0.6F}, {0, 0, 500}, {255, 28, 0, 0}},
        // Min depth moves the white end away: what lies in front of it is white.
        MappingCase{"NearMovedAway", {0.5F, 0.501F, 0.6F}, {100, 0, 0}, {255, 255, 3}},
        // Max depth towards the camera: the far part falls off the scale into black.
        MappingCase{"FarMovedCloser", {0.5F, 0.59F, 0.6F}, {0, -100, 0}, {255, 24, 0}},
        // Values on the near plane never become the near end but are drawn white.
        MappingCase{"OnTheNearPlane", {0.0F, 0.5F, 0.6F}, {}, {255, 255, 3}}),
    [](const ::testing::TestParamInfo<MappingCase>& p) { return std::string(p.param.name); });

TEST(DepthMapping, FrozenRangeKeepsTheGreyScaleOfAnotherCapture) {
    const std::vector<float> first{0.5F, 0.6F};
    const DepthRange range = ComputeDepthRange(first, {});
    const std::vector<float> second{0.55F, 0.6F, 0.65F};
    PixelBuffer image;
    MapDepthsToImage(second, 3, 1, range, image);
    EXPECT_EQ(image.Pixel(0, 0).g, 129);
    EXPECT_EQ(image.Pixel(0, 1).g, 3);
    EXPECT_EQ(image.Pixel(0, 2).g, 0);  // beyond the frozen far end
}

TEST(DepthMapping, RowsKeepTheirOrder) {
    const std::vector<float> depths{0.5F, 0.5F, 1.0F, 1.0F};  // bottom row drawn, top row empty
    PixelBuffer image;
    MapDepthsToImage(depths, 2, 2, ComputeDepthRange(depths, {}), image);
    EXPECT_EQ(image.Pixel(0, 0).g, 3);
    EXPECT_EQ(image.Pixel(1, 0).g, 0);
}

TEST(ModelScale, RadiusAndViewWidthSetTheScale) {
    struct Case {
        double radius;
        int width;
        double scale;
    };
    for (const Case& c : {Case{0.5, 460, 3.6}, Case{2.0, 460, 0.7}, Case{1.0, 460, 1.0}, Case{0.5, 1060, 7.2},
                          Case{2.0, 1060, 1.4}, Case{1.0, 1060, 2.0}, Case{0.0, 1060, 1.0}}) {
        EXPECT_NEAR(ModelScaleFor(c.radius, c.width), c.scale, 1e-12) << c.radius << " " << c.width;
    }
}

}  // namespace
}  // namespace vistamaze
