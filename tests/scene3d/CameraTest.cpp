#include "TestVectors.h"
#include "scene3d/Camera.h"
#include "scene3d/Scene3d.h"

#include <cmath>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

constexpr double kPi = 3.14159265358979323846;

double FullHorizontalAngleDegrees(const Frustum& f) {
    return 2.0 * std::atan(f.right / f.nearPlane) * 180.0 / kPi;
}

Camera MakeCamera(double focal, double scale, double bias, double depthOfView = 1000.0) {
    Camera camera;
    camera.SetFocalLength(focal);
    camera.SetSceneScale(scale);
    camera.SetNearPlaneBias(bias);
    camera.SetDepthOfView(depthOfView);
    camera.SetOrientation({0.0, 0.0, -1.0}, {0.0, 1.0, 0.0});
    return camera;
}

TEST(CameraProjection, SevenDegreesAtFocal500For460PixelsWide) {
    const Camera camera = MakeCamera(500.0, 1.0, 0.05);
    EXPECT_NEAR(FullHorizontalAngleDegrees(camera.ProjectionFor(460, 345)), 7.0, 0.1);
    const Camera longer = MakeCamera(1000.0, 1.0, 0.05);
    EXPECT_NEAR(FullHorizontalAngleDegrees(longer.ProjectionFor(460, 345)), 3.5, 0.05);
    // The angle does not depend on the near-plane bias.
    const Camera otherBias = MakeCamera(500.0, 1.0, 2.0);
    EXPECT_NEAR(FullHorizontalAngleDegrees(otherBias.ProjectionFor(460, 345)),
                FullHorizontalAngleDegrees(camera.ProjectionFor(460, 345)), 1e-9);
}

TEST(CameraProjection, FrustumTangentsScaleWithViewFocalAndSceneScale) {
    const Camera base = MakeCamera(400.0, 1.0, 0.05);
    const Frustum f = base.ProjectionFor(521, 392);
    const double tanH = f.right / f.nearPlane;
    const double tanV = f.top / f.nearPlane;
    EXPECT_NEAR(tanV / tanH, 392.0 / 521.0, 1e-12);  // square pixels
    EXPECT_DOUBLE_EQ(f.left, -f.right);
    EXPECT_DOUBLE_EQ(f.bottom, -f.top);
    // Doubling F or S halves both tangents.
    for (const Camera& doubled : {MakeCamera(800.0, 1.0, 0.05), MakeCamera(400.0, 2.0, 0.05)}) {
        const Frustum g = doubled.ProjectionFor(521, 392);
        EXPECT_NEAR(g.right / g.nearPlane, tanH / 2.0, 1e-12);
        EXPECT_NEAR(g.top / g.nearPlane, tanV / 2.0, 1e-12);
    }
    // A view twice as wide at the same F and S shows twice the tangent.
    const Frustum wide = base.ProjectionFor(1042, 392);
    EXPECT_NEAR(wide.right / wide.nearPlane, 2.0 * tanH, 1e-12);
}

TEST(CameraProjection, OffscreenViewWithScaledFocalKeepsHorizontalFraming) {
    const Camera onScreen = MakeCamera(500.0, 1.0, 0.05);
    const Camera offScreen = MakeCamera(500.0 * 1600.0 / 521.0, 1.0, 0.05);
    const Frustum a = onScreen.ProjectionFor(521, 392);
    const Frustum b = offScreen.ProjectionFor(1600, 1200);
    EXPECT_NEAR(b.right / b.nearPlane, a.right / a.nearPlane, 1e-12);
}

TEST(CameraProjection, NearPlaneAndFarPlaneFor521By392) {
    const Camera camera = MakeCamera(500.0, 1.0, 0.05, 1000.0);
    const Frustum f = camera.ProjectionFor(521, 392);
    // 500 * 192 / (25.4 * 521) * 0.05 = 0.36272...
    EXPECT_NEAR(f.nearPlane, 0.3627, 5e-4);
    EXPECT_DOUBLE_EQ(f.farPlane, f.nearPlane + 1000.0);
    // The larger side decides: a portrait view of the same sides has the same near plane.
    EXPECT_DOUBLE_EQ(camera.ProjectionFor(392, 521).nearPlane, f.nearPlane);
}

TEST(CameraReset, PutsCameraAtNearPlaneTimesQuarterOfSmallerSide) {
    Camera camera = MakeCamera(500.0, 1.0, 0.05);
    camera.SetPosition({15.0, 0.0, 15.0});
    camera.BeginRender(521, 392);
    // Only the near plane of the last render counts, not a focal length set since.
    camera.SetFocalLength(2000.0);
    camera.Reset();
    EXPECT_NEAR(camera.Position().x, 0.0, 1e-12);
    EXPECT_NEAR(camera.Position().y, 0.0, 1e-12);
    EXPECT_NEAR(camera.Position().z, 35.5, 0.1);
    EXPECT_NEAR(camera.Position().z, 0.36272 * 98.0, 1e-3);
    test::ExpectVecNear(camera.Direction(), {0.0, 0.0, -1.0});
}

TEST(CameraReset, FollowsTheCurrentDirection) {
    Camera camera = MakeCamera(500.0, 1.0, 0.05);
    camera.SetOrientation({1.0, 0.0, 0.0}, {0.0, 1.0, 0.0});
    camera.BeginRender(400, 800);
    camera.Reset();
    const double expected = camera.LastNearPlane() * 100.0;
    test::ExpectVecNear(camera.Position(), {-expected, 0.0, 0.0}, 1e-9);
    test::ExpectVecNear(camera.Direction(), {1.0, 0.0, 0.0});
}

TEST(CameraSettings, RejectsNonPositiveFocalLengthAndZeroSceneScale) {
    Camera camera;
    for (const double bad : {0.0, -5.0, -0.001}) {
        camera.SetFocalLength(300.0);
        camera.SetFocalLength(bad);
        EXPECT_EQ(camera.FocalLength(), 1.0) << bad;
    }
    camera.SetFocalLength(0.5);
    EXPECT_EQ(camera.FocalLength(), 0.5);
    camera.SetSceneScale(0.0);
    EXPECT_EQ(camera.SceneScale(), 1.0);
    camera.SetSceneScale(0.005);
    EXPECT_EQ(camera.SceneScale(), 0.005);
}

Vec3 Transform(const Matrix4& m, Vec3 p) {
    return {m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
            m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
}

TEST(CameraView, LooksAtTargetOriginOrAlongDirection) {
    Camera camera = MakeCamera(500.0, 1.0, 0.05);
    camera.SetPosition({15.0, 0.0, 15.0});
    SceneObject target;
    target.SetPosition({0.0, 0.0, 0.0});
    camera.SetTarget(&target);
    // The target lies straight ahead (on the eye's -z axis) at its distance.
    test::ExpectVecNear(Transform(camera.ViewMatrix(), target.Position()), {0.0, 0.0, -std::sqrt(450.0)},
                        1e-9);
    // A point above the target appears above it.
    EXPECT_GT(Transform(camera.ViewMatrix(), {0.0, 1.0, 0.0}).y, 0.5);
    camera.SetTarget(nullptr);
    // Without target: along its own direction (0, 0, -1).
    test::ExpectVecNear(Transform(camera.ViewMatrix(), {15.0, 0.0, 5.0}), {0.0, 0.0, -10.0}, 1e-9);
}

TEST(InitialScene, HoldsTheStartValues) {
    const auto scene = BuildInitialScene();
    const Camera& camera = scene->camera;
    test::ExpectVecNear(camera.Position(), {15.0, 0.0, 15.0});
    EXPECT_EQ(camera.FocalLength(), 397.010498046875);
    EXPECT_EQ(camera.Target(), &scene->pivot);
    EXPECT_EQ(camera.DepthOfView(), 1000.0);
    EXPECT_EQ(camera.NearPlaneBias(), 0.05);
    EXPECT_EQ(scene->navigator.MovingObject(), &scene->text);
    EXPECT_EQ(scene->text.Text(), QStringLiteral("HELLO"));
    EXPECT_TRUE(scene->text.Font().bold());
    EXPECT_NEAR(std::atan2(scene->text.Direction().x, scene->text.Direction().z) * 180.0 / kPi, 39.2, 0.05);
    EXPECT_FALSE(scene->pivot.Visible());
    EXPECT_TRUE(scene->model.MeshData().Empty());
    const QColor bg = ColorFromNumber(kInitialBackgroundColor);
    EXPECT_EQ(bg.red(), 0);
    EXPECT_EQ(bg.green(), 64);
    EXPECT_EQ(bg.blue(), 128);
}

}  // namespace
}  // namespace vistamaze
