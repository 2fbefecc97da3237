// The display-free view: real OpenGL through surfaceless EGL, with or without DISPLAY.
#include "GLTestSupport.h"
#include "engine/Errors.h"
#include "scene3d/GLzBuffer.h"
#include "scene3d/HeadlessView.h"

#include <QColor>
#include <algorithm>
#include <cstddef>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

using test::MakeQuadScene;

// An odd width gives padded colour rows; an odd height checks the row order.
constexpr int kWidth = 321;
constexpr int kHeight = 239;

// Window depth of a plane at eye distance d for a frustum from n to f, and the near plane of the
// projection rule, both worked out here from their definitions.
double WindowDepth(double d, double n, double f) {
    return f * (d - n) / ((f - n) * d);
}
double NearPlane(double focal, int w, int h, double bias) {
    return focal * 2.0 * 96.0 / (25.4 * std::max(w, h)) * bias;
}

float At(const std::vector<float>& depth, int row, int col) {
    return depth[static_cast<std::size_t>(row) * kWidth + static_cast<std::size_t>(col)];
}

TEST(HeadlessView, QuadReadsItsAnalyticWindowDepth) {
    Scene3d scene;
    HeadlessView view(kWidth, kHeight);
    TGLzBuffer reader;
    reader.LinkToViewer(view);
    ASSERT_EQ(reader.Width(), kWidth);
    ASSERT_EQ(reader.Height(), kHeight);
    const double n = NearPlane(400.0, kWidth, kHeight, 0.05);
    for (const double distance : {3.0, 10.0, 40.0}) {
        MakeQuadScene(scene, 100.0, 0.0, 0.0, distance, 400.0);
        view.Render(scene, scene.GLCamera2);
        const std::vector<float>& depth = reader.ReadDepth();
        const double expected = WindowDepth(distance, n, n + 100.0);
        for (const auto& [row, col] : {std::pair{0, 0}, {119, 160}, {kHeight - 1, kWidth - 1}, {7, 300}}) {
            EXPECT_NEAR(At(depth, row, col), expected, 2e-6)
                << "distance " << distance << " at " << row << "," << col;
        }
        EXPECT_NEAR(scene.GLCamera2.LastNearPlane(), n, 1e-12);
        EXPECT_EQ(scene.GLCamera2.LastViewWidth(), kWidth);
    }
}

TEST(HeadlessView, DepthAndColourAreUprightWithTheBackgroundExact) {
    Scene3d scene;
    // A square from y = 0 upwards, far larger than the visible height: the top half is drawn.
    MakeQuadScene(scene, 50.0, 0.0, 50.0, 10.0, 400.0);
    HeadlessView view(kWidth, kHeight);
    view.SetBackgroundColor(QColor(255, 0, 0));
    view.Render(scene, scene.GLCamera2);
    std::vector<float> depth(static_cast<std::size_t>(kWidth) * kHeight);
    view.ReadDepth(kWidth, kHeight, depth.data());
    const PixelBuffer colour = view.ColorSnapshot();
    ASSERT_EQ(colour.Width(), kWidth);
    ASSERT_EQ(colour.Height(), kHeight);
    ASSERT_EQ(colour.BitsPerPixel(), 24);
    const Bgr red{0, 0, 255};
    for (const int col : {0, 160, kWidth - 1}) {
        // Rows count from the bottom; the quad's lower edge crosses the middle of the view.
        EXPECT_EQ(At(depth, 0, col), 1.0F) << col;
        EXPECT_EQ(At(depth, 100, col), 1.0F) << col;
        EXPECT_LT(At(depth, 140, col), 1.0F) << col;
        EXPECT_LT(At(depth, kHeight - 1, col), 1.0F) << col;
        EXPECT_EQ(colour.Pixel(0, col), red) << col;
        EXPECT_EQ(colour.Pixel(100, col), red) << col;
        EXPECT_NE(colour.Pixel(140, col), red) << col;
        EXPECT_NE(colour.Pixel(kHeight - 1, col), red) << col;
    }
}

TEST(HeadlessView, RefusesSizesItCannotServe) {
    EXPECT_THROW(HeadlessView(0, 10), Error);
    EXPECT_THROW(HeadlessView(10, HeadlessView::kMaxSide + 1), Error);
    HeadlessView view(16, 8);
    std::vector<float> depth(32 * 8);
    EXPECT_THROW(view.ReadDepth(32, 8, depth.data()), Error);
    EXPECT_NO_THROW(view.ReadDepth(16, 8, depth.data()));
}

}  // namespace
}  // namespace vistamaze
