#include "scene3d/SceneObject.h"

#include <cmath>

namespace vistamaze {
namespace {

// Some unit vector perpendicular to the unit vector `v`.
Vec3 AnyPerpendicular(Vec3 v) noexcept {
    const Vec3 helper = std::abs(v.y) < 0.9 ? Vec3{0.0, 1.0, 0.0} : Vec3{1.0, 0.0, 0.0};
    return Normalized(helper - v * Dot(helper, v));
}

// `v` with its component along the unit vector `axis` removed, normalised; a fallback when `v` is
// (nearly) parallel to the axis.
Vec3 PerpendicularPart(Vec3 v, Vec3 axis) noexcept {
    const Vec3 rest = v - axis * Dot(v, axis);
    return Length(rest) > 1e-12 ? Normalized(rest) : AnyPerpendicular(axis);
}

double NormaliseAngle(double degrees) noexcept {
    return std::fmod(degrees, 360.0);
}

}  // namespace

void SceneObject::SetDirection(Vec3 direction) noexcept {
    if (Length(direction) == 0.0) {
        return;
    }
    direction_ = Normalized(direction);
    up_ = PerpendicularPart(up_, direction_);
}

void SceneObject::SetUp(Vec3 up) noexcept {
    if (Length(up) == 0.0) {
        return;
    }
    up_ = Normalized(up);
    direction_ = PerpendicularPart(direction_, up_);
}

void SceneObject::SetOrientation(Vec3 direction, Vec3 up) noexcept {
    if (Length(direction) == 0.0) {
        SetUp(up);
        return;
    }
    direction_ = Normalized(direction);
    up_ = PerpendicularPart(Length(up) > 0.0 ? up : up_, direction_);
}

void SceneObject::Rotate(Vec3 axis, double degrees) noexcept {
    const Vec3 unitAxis = Normalized(axis);
    if (Length(unitAxis) == 0.0 || degrees == 0.0) {
        return;
    }
    const Vec3 newDirection = Normalized(RotateAboutAxis(direction_, unitAxis, degrees));
    // Re-orthogonalise so rounding does not accumulate over many small turns.
    up_ = PerpendicularPart(RotateAboutAxis(up_, unitAxis, degrees), newDirection);
    direction_ = newDirection;
}

void SceneObject::SetRollAngle(double degrees) noexcept {
    Rotate(direction_, degrees - rollAngle_);
    rollAngle_ = NormaliseAngle(degrees);
}

void SceneObject::SetTurnAngle(double degrees) noexcept {
    Rotate(up_, degrees - turnAngle_);
    turnAngle_ = NormaliseAngle(degrees);
}

void SceneObject::SetPitchAngle(double degrees) noexcept {
    Rotate(Right(), degrees - pitchAngle_);
    pitchAngle_ = NormaliseAngle(degrees);
}

Matrix4 SceneObject::ModelMatrix() const noexcept {
    const Vec3 x = Cross(up_, direction_) * scale_.x;
    const Vec3 y = up_ * scale_.y;
    const Vec3 z = direction_ * scale_.z;
    return {x.x, x.y, x.z, 0.0, y.x,         y.y,         y.z,         0.0,
            z.x, z.y, z.z, 0.0, position_.x, position_.y, position_.z, 1.0};
}

void RotateAboutSceneAxes(SceneObject& object, double xDegrees, double yDegrees, double zDegrees) noexcept {
    if (xDegrees != 0.0) {
        object.Rotate({1.0, 0.0, 0.0}, xDegrees);
    }
    if (yDegrees != 0.0) {
        object.Rotate({0.0, 1.0, 0.0}, yDegrees);
    }
    if (zDegrees != 0.0) {
        object.Rotate({0.0, 0.0, 1.0}, zDegrees);
    }
}

}  // namespace vistamaze
