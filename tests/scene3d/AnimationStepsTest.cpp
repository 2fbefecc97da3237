// What one frame of an animation changes: rotation, zoom, camera travel, texture position and the
// frame time, without a GL context.
#include "scene3d/AnimationSteps.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

TEST(AnimationSteps, FrameTimeIsTruncatedFromSinglePrecision) {
    for (const auto& [fps, ms] : {std::pair{10, 100}, {12, 83}, {15, 66}, {24, 41}, {25, 40}, {30, 33}}) {
        EXPECT_EQ(FrameTimeFor(fps), ms) << fps;
    }
}

TEST(AnimationSteps, TexturePositionWrapsAndStopsAtZero) {
    struct Case {
        int position;
        int step;
        int maximum;
        int expected;
    };
    for (const Case& c :
         {Case{0, 15, kAnimationTextureRange, 15}, Case{9999990, 15, kAnimationTextureRange, 5},
          Case{7, -5, kAnimationTextureRange, 2}, Case{3, -5, kAnimationTextureRange, 0},
          Case{0, -5, kAnimationTextureRange, 0}, Case{4, 3, 5, 2}, Case{4, 3, 0, 0}}) {
        EXPECT_EQ(NextTexturePosition(c.position, c.step, c.maximum), c.expected)
            << c.position << " + " << c.step << " within " << c.maximum;
    }
}

TEST(AnimationSteps, ZoomCompoundsAndCameraStepsTravel) {
    const std::unique_ptr<Scene3d> scene = BuildInitialScene();
    scene->camera.SetFocalLength(500.0);
    AnimationSteps steps;
    steps.rotateX = 0;
    steps.zoom = 10;
    steps.cameraX = 4;
    steps.cameraY = -2;
    CameraTravel travel;
    for (const double factor : {1.1, 1.21, 1.331}) {
        ApplyFrameSteps(*scene, steps, travel, 20, 0);
        EXPECT_NEAR(scene->camera.FocalLength(), 500.0 * factor, 1e-3);
    }
    EXPECT_EQ(travel.x, 12);
    EXPECT_EQ(travel.y, -6);
    EXPECT_DOUBLE_EQ(scene->text.Position().x, (20 + 12) / 20.0);
    EXPECT_DOUBLE_EQ(scene->text.Position().y, -6 / 20.0);
}

TEST(AnimationSteps, CameraTravelOfLongRunsNeitherOverflowsNorWraps) {
    const std::unique_ptr<Scene3d> scene = BuildInitialScene();
    AnimationSteps steps;
    steps.rotateX = 0;
    steps.cameraX = 1000000;
    steps.cameraY = -1000000;
    CameraTravel travel;
    for (int frame = 1; frame <= 2200; ++frame) {
        ApplyFrameSteps(*scene, steps, travel, 7, 0);
    }
    EXPECT_EQ(travel.x, 2200000000);
    EXPECT_EQ(travel.y, -2200000000);
    EXPECT_DOUBLE_EQ(scene->text.Position().x, (7 + 2200000000.0) / 20.0);
    // At the ends of its range the travel stays there.
    travel.x = std::numeric_limits<std::int64_t>::max() - 5;
    travel.y = std::numeric_limits<std::int64_t>::min() + 5;
    ApplyFrameSteps(*scene, steps, travel, 0, 0);
    EXPECT_EQ(travel.x, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(travel.y, std::numeric_limits<std::int64_t>::min());
}

TEST(AnimationSteps, VisibleObjectsTurnAboutTheSceneAxesAndAFullTurnComesBack) {
    const std::unique_ptr<Scene3d> scene = BuildInitialScene();
    scene->model.SetVisible(false);
    const Vec3 text = scene->text.Direction();
    const Vec3 mesh = scene->model.Direction();
    AnimationSteps steps;
    steps.rotateX = 0;
    steps.rotateY = 3;
    CameraTravel travel;
    ApplyFrameSteps(*scene, steps, travel, 0, 0);
    EXPECT_NEAR(std::acos(Dot(text, scene->text.Direction())) * 180.0 / M_PI, 3.0, 1e-9);
    EXPECT_EQ(scene->model.Direction(), mesh);  // hidden: not turned
    for (int frame = 2; frame <= 120; ++frame) {
        ApplyFrameSteps(*scene, steps, travel, 0, 0);
    }
    EXPECT_NEAR(Dot(text, scene->text.Direction()), 1.0, 1e-9);
}

}  // namespace
}  // namespace vistamaze
