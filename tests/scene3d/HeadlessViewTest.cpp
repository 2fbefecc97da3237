// The display-free view: real OpenGL through surfaceless EGL, with or without DISPLAY.
#include "GLTestSupport.h"
#include "engine/Errors.h"
#include "scene3d/DepthBuffer.h"
#include "scene3d/HeadlessView.h"

#include <QColor>
#include <algorithm>
#include <array>
#include <cmath>
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
    DepthBuffer reader;
    reader.LinkToViewer(view);
    ASSERT_EQ(reader.Width(), kWidth);
    ASSERT_EQ(reader.Height(), kHeight);
    const double n = NearPlane(400.0, kWidth, kHeight, 0.05);
    for (const double distance : {3.0, 10.0, 40.0}) {
        MakeQuadScene(scene, 100.0, 0.0, 0.0, distance, 400.0);
        view.Render(scene, scene.camera);
        const std::vector<float>& depth = reader.ReadDepth();
        const double expected = WindowDepth(distance, n, n + 100.0);
        for (const auto& [row, col] : {std::pair{0, 0}, {119, 160}, {kHeight - 1, kWidth - 1}, {7, 300}}) {
            EXPECT_NEAR(At(depth, row, col), expected, 2e-6)
                << "distance " << distance << " at " << row << "," << col;
        }
        EXPECT_NEAR(scene.camera.LastNearPlane(), n, 1e-12);
        EXPECT_EQ(scene.camera.LastViewWidth(), kWidth);
    }
}

TEST(HeadlessView, DepthAndColourAreUprightWithTheBackgroundExact) {
    Scene3d scene;
    // A square from y = 0 upwards, far larger than the visible height: the top half is drawn.
    MakeQuadScene(scene, 50.0, 0.0, 50.0, 10.0, 400.0);
    HeadlessView view(kWidth, kHeight);
    view.SetBackgroundColor(QColor(255, 0, 0));
    view.Render(scene, scene.camera);
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

// A sphere of radius 1, each triangle with corners of its own (the seam and the poles repeat
// positions), counter-clockwise from outside unless `inward`. With `split` one triangle is split at
// the middle of an edge, which draws the same but leaves the surface open there.
Mesh Sphere(bool inward, bool split) {
    const auto at = [](int ring, int segment) {
        const double theta = M_PI * ring / 40;
        const double phi = 2.0 * M_PI * (segment % 60) / 60;
        return Vec3f{static_cast<float>(std::sin(theta) * std::cos(phi)), static_cast<float>(std::cos(theta)),
                     static_cast<float>(std::sin(theta) * std::sin(phi))};
    };
    Mesh mesh;
    for (int r = 0; r < 40; ++r) {
        for (int s = 0; s < 60; ++s) {
            for (const auto& [a, b, c] : {std::array{at(r, s), at(r, s + 1), at(r + 1, s)},
                                          std::array{at(r, s + 1), at(r + 1, s + 1), at(r + 1, s)}}) {
                mesh.AddTriangle(mesh.AddVertex(a), mesh.AddVertex(inward ? c : b),
                                 mesh.AddVertex(inward ? b : c));
            }
        }
    }
    if (split) {
        auto& t = mesh.triangles[1000];
        const Vec3f a = mesh.vertices[t[0]];
        const Vec3f b = mesh.vertices[t[1]];
        const std::uint32_t middle = mesh.AddVertex({(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2});
        mesh.AddTriangle(middle, t[1], t[2]);
        mesh.triangles[1000][1] = middle;
    }
    return mesh;
}

// A closed surface drawn without its far side leaves the depth and colour of the whole mesh, seen
// from outside, turned inside out, cut by the near plane and from inside.
TEST(HeadlessView, AClosedSurfaceDrawsAsTheWholeMesh) {
    const struct {
        bool inward;
        double distance;  // of the camera from the sphere's centre
    } cases[] = {{false, 6.0}, {true, 6.0}, {false, 1.3}, {false, 0.4}};
    HeadlessView view(kWidth, kHeight);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.distance);
        std::array<std::vector<float>, 2> depth;
        std::array<PixelBuffer, 2> colour;
        for (int k = 0; k < 2; ++k) {
            Scene3d scene;
            MakeQuadScene(scene, 1.0, 0.0, 0.0, c.distance, 400.0);
            scene.model.SetMesh(Sphere(c.inward, k == 1));
            scene.model.SetOrientation({0.3, 0.0, 0.95}, {0.0, 1.0, 0.0});
            EXPECT_EQ(scene.model.SurfaceOrientation(), k == 1 ? 0 : c.inward ? -1 : 1);
            view.Render(scene, scene.camera);
            depth[k].resize(static_cast<std::size_t>(kWidth) * kHeight);
            view.ReadDepth(kWidth, kHeight, depth[k].data());
            colour[k] = view.ColorSnapshot();
        }
        long drawn = 0;
        long differing = 0;
        for (int row = 0; row < kHeight; ++row) {
            for (int col = 0; col < kWidth; ++col) {
                drawn += At(depth[1], row, col) < 1.0F ? 1 : 0;
                differing += At(depth[0], row, col) != At(depth[1], row, col) ||
                             colour[0].Pixel(row, col) != colour[1].Pixel(row, col);
            }
        }
        EXPECT_GT(drawn, kWidth * kHeight / 20);
        // Where a near and a far face meet at the outline, rounding may pick either at a pixel.
        EXPECT_LE(differing, drawn / 1000);
    }
}

}  // namespace
}  // namespace vistamaze
