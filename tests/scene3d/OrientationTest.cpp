#include "TestVectors.h"
#include "scene3d/Navigator.h"
#include "scene3d/SceneObject.h"

#include <cmath>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

using test::ExpectVecNear;

const double kSin10 = std::sin(10.0 * 3.14159265358979323846 / 180.0);
const double kCos10 = std::cos(10.0 * 3.14159265358979323846 / 180.0);

void ExpectOrthonormal(const SceneObject& o) {
    EXPECT_NEAR(Length(o.Direction()), 1.0, 1e-12);
    EXPECT_NEAR(Length(o.Up()), 1.0, 1e-12);
    EXPECT_NEAR(Dot(o.Direction(), o.Up()), 0.0, 1e-12);
}

TEST(SceneObject, SettingDirectionOrUpKeepsThemPerpendicular) {
    SceneObject o;
    o.SetDirection({1.0, 1.0, 0.0});
    ExpectOrthonormal(o);
    ExpectVecNear(o.Direction(), {std::sqrt(0.5), std::sqrt(0.5), 0.0});
    ExpectVecNear(o.Up(), {-std::sqrt(0.5), std::sqrt(0.5), 0.0});
    o.SetUp({0.0, 0.0, 3.0});
    ExpectOrthonormal(o);
    ExpectVecNear(o.Up(), {0.0, 0.0, 1.0});
    ExpectVecNear(o.Direction(), {std::sqrt(0.5), std::sqrt(0.5), 0.0});
    // Up parallel to the direction still yields a valid frame.
    o.SetUp(o.Direction());
    ExpectOrthonormal(o);
    o.SetDirection({0.0, 0.0, 0.0});  // ignored
    ExpectOrthonormal(o);
}

struct AngleCase {
    const char* name;
    void (SceneObject::*setter)(double);
    double (SceneObject::*getter)() const;
    Vec3 direction90;  // direction after setting 90 from (0, 0, 1), up (0, 1, 0)
    Vec3 up90;
};

class AngleSetters : public ::testing::TestWithParam<AngleCase> {};

TEST_P(AngleSetters, TurnByDifferenceAndStoreNormalised) {
    const AngleCase& c = GetParam();
    SceneObject o;
    (o.*c.setter)(90.0);
    ExpectVecNear(o.Direction(), c.direction90);
    ExpectVecNear(o.Up(), c.up90);
    EXPECT_EQ((o.*c.getter)(), 90.0);
    (o.*c.setter)(90.0);  // no difference: no turn
    ExpectVecNear(o.Direction(), c.direction90);
    (o.*c.setter)(0.0);  // turns back
    ExpectVecNear(o.Direction(), {0.0, 0.0, 1.0});
    ExpectVecNear(o.Up(), {0.0, 1.0, 0.0});
    (o.*c.setter)(450.0);  // one turn more than 90
    EXPECT_NEAR((o.*c.getter)(), 90.0, 1e-12);
    ExpectVecNear(o.Direction(), c.direction90);
    ExpectOrthonormal(o);
}

INSTANTIATE_TEST_SUITE_P(
    All, AngleSetters,
    ::testing::Values(
        AngleCase{"Roll", &SceneObject::SetRollAngle, &SceneObject::RollAngle, {0, 0, 1}, {-1, 0, 0}},
        AngleCase{"Turn", &SceneObject::SetTurnAngle, &SceneObject::TurnAngle, {1, 0, 0}, {0, 1, 0}},
        AngleCase{"Pitch", &SceneObject::SetPitchAngle, &SceneObject::PitchAngle, {0, 1, 0}, {0, 0, -1}}),
    [](const ::testing::TestParamInfo<AngleCase>& p) { return std::string(p.param.name); });

TEST(SceneObject, AngleSettersAreRelativeToTheCurrentOrientation) {
    SceneObject o;
    o.SetOrientation({1.0, 0.0, 0.0}, {0.0, 1.0, 0.0});
    o.SetRollAngle(30.0);
    o.SetRollAngle(0.0);
    ExpectVecNear(o.Direction(), {1.0, 0.0, 0.0});
    ExpectVecNear(o.Up(), {0.0, 1.0, 0.0});
    o.SetTurnAngle(-90.0);  // about up, clockwise seen from above
    ExpectVecNear(o.Direction(), {0.0, 0.0, 1.0});
}

TEST(SceneObject, RotationAboutSceneAxesRunsXThenYThenZ) {
    SceneObject o;
    RotateAboutSceneAxes(o, 90.0, 0.0, 0.0);
    ExpectVecNear(o.Direction(), {0.0, -1.0, 0.0});
    ExpectVecNear(o.Up(), {0.0, 0.0, 1.0});

    SceneObject p;
    // X first takes the direction onto the Y axis, where the Y turn leaves it.
    RotateAboutSceneAxes(p, 90.0, 90.0, 0.0);
    ExpectVecNear(p.Direction(), {0.0, -1.0, 0.0});
    ExpectVecNear(p.Up(), {1.0, 0.0, 0.0});

    SceneObject q;
    RotateAboutSceneAxes(q, 0.0, 0.0, 90.0);  // direction on the Z axis: only up turns
    ExpectVecNear(q.Direction(), {0.0, 0.0, 1.0});
    ExpectVecNear(q.Up(), {-1.0, 0.0, 0.0});
    // Position and stored angles are untouched.
    EXPECT_EQ(q.Position(), (Vec3{0.0, 0.0, 0.0}));
    EXPECT_EQ(q.RollAngle(), 0.0);
}

TEST(SceneObject, ModelMatrixMapsLocalAxes) {
    SceneObject o;
    o.SetOrientation({1.0, 0.0, 0.0}, {0.0, 1.0, 0.0});
    o.SetPosition({1.0, 2.0, 3.0});
    o.SetScale({2.0, 3.0, 4.0});
    const Matrix4 m = o.ModelMatrix();
    const auto apply = [&m](Vec3 p) {
        return Vec3{m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12],
                    m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                    m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
    };
    ExpectVecNear(apply({0.0, 0.0, 1.0}), {1.0 + 4.0, 2.0, 3.0});  // local z = direction
    ExpectVecNear(apply({0.0, 1.0, 0.0}), {1.0, 2.0 + 3.0, 3.0});  // local y = up
    ExpectVecNear(apply({1.0, 0.0, 0.0}), {1.0, 2.0, 3.0 - 2.0});  // local x = up x direction
}

TEST(Navigator, TurnHorizontallyUsesRightOfDirectionAndUp) {
    SceneObject o;
    Navigator nav;
    nav.SetMovingObject(&o);
    nav.TurnHorizontal(10.0);  // 7 pixels at 0.7 pixel per degree
    // right = direction x up = (0, 0, 1) x (0, 1, 0) = (-1, 0, 0)
    ExpectVecNear(o.Direction(), {-kSin10, 0.0, kCos10});
    ExpectVecNear(o.Up(), {0.0, 1.0, 0.0});
    EXPECT_DOUBLE_EQ(nav.HorizontalAngle(), 10.0);
    nav.SetInvertHorizontalSteering(true);
    nav.TurnHorizontal(10.0);
    ExpectVecNear(o.Direction(), {0.0, 0.0, 1.0});
}

TEST(Navigator, TurnVerticallyPitchesUpWithIt) {
    SceneObject o;
    Navigator nav;
    nav.SetMovingObject(&o);
    nav.TurnVertical(10.0);
    ExpectVecNear(o.Direction(), {0.0, kSin10, kCos10});
    ExpectVecNear(o.Up(), {0.0, kCos10, -kSin10});
    nav.TurnVertical(80.0);
    ExpectVecNear(o.Direction(), {0.0, 1.0, 0.0});
    ExpectVecNear(o.Up(), {0.0, 0.0, -1.0});
    EXPECT_DOUBLE_EQ(nav.VerticalAngle(), 90.0);
}

TEST(Navigator, AngleLockStopsVerticalTurnsAtNinetyDegrees) {
    SceneObject o;
    Navigator nav;
    nav.SetMovingObject(&o);
    nav.SetAngleLock(true);
    nav.TurnVertical(60.0);
    nav.TurnVertical(60.0);
    EXPECT_DOUBLE_EQ(nav.VerticalAngle(), 90.0);
    ExpectVecNear(o.Direction(), {0.0, 1.0, 0.0});
}

TEST(Navigator, StraightenRestoresVirtualUpAndKeepsHeading) {
    SceneObject o;
    Navigator nav;
    nav.SetMovingObject(&o);
    nav.TurnHorizontal(40.0);
    nav.TurnVertical(30.0);
    o.SetRollAngle(25.0);
    const Vec3 before = o.Direction();
    nav.Straighten();
    EXPECT_EQ(nav.HorizontalAngle(), 0.0);
    EXPECT_EQ(nav.VerticalAngle(), 0.0);
    ExpectVecNear(o.Up(), {0.0, 1.0, 0.0}, 1e-12);
    EXPECT_NEAR(o.Direction().y, 0.0, 1e-12);
    ExpectOrthonormal(o);
    // The heading in the horizontal plane stays that of the turned direction.
    const double headingBefore = std::atan2(before.x, before.z);
    EXPECT_NEAR(std::atan2(o.Direction().x, o.Direction().z), headingBefore, 1e-9);
}

TEST(Navigator, TurnsActOnTheCurrentMovingObjectOnly) {
    SceneObject a;
    SceneObject b;
    Navigator nav;
    nav.TurnHorizontal(30.0);  // no moving object: nothing to turn, no crash
    nav.SetMovingObject(&a);
    nav.TurnHorizontal(30.0);
    nav.SetMovingObject(&b);
    nav.TurnHorizontal(-30.0);
    EXPECT_GT(Dot(a.Direction(), Vec3{-1.0, 0.0, 0.0}), 0.4);
    EXPECT_GT(Dot(b.Direction(), Vec3{1.0, 0.0, 0.0}), 0.4);
}

}  // namespace
}  // namespace vistamaze
