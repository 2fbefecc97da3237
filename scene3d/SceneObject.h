#pragma once

#include "scene3d/Vec3.h"

#include <array>

namespace vistamaze {

// Column-major 4 x 4 matrix as OpenGL takes it.
using Matrix4 = std::array<double, 16>;

// The common part of every scene object: placement, orientation, scale, visibility and the three
// stored turning angles. Direction is the object's local z axis, up its local y axis; both are unit
// vectors kept perpendicular to each other. Drawing happens in local coordinates under ModelMatrix().
class SceneObject {
public:
    SceneObject() = default;
    virtual ~SceneObject() = default;
    SceneObject(const SceneObject&) = default;
    SceneObject& operator=(const SceneObject&) = default;
    SceneObject(SceneObject&&) = default;
    SceneObject& operator=(SceneObject&&) = default;

    [[nodiscard]] Vec3 Position() const noexcept { return position_; }
    void SetPosition(Vec3 position) noexcept { position_ = position; }

    [[nodiscard]] Vec3 Direction() const noexcept { return direction_; }
    [[nodiscard]] Vec3 Up() const noexcept { return up_; }
    // Direction x up: the axis the pitch turns about.
    [[nodiscard]] Vec3 Right() const noexcept { return Cross(direction_, up_); }
    // Sets the direction (normalised) and turns up to be perpendicular to it within their plane.
    // A zero vector is ignored.
    void SetDirection(Vec3 direction) noexcept;
    // Sets up (normalised) and turns the direction to be perpendicular to it. A zero vector is ignored.
    void SetUp(Vec3 up) noexcept;
    // Sets both at once without re-orthogonalising one against the other first; `up` is then made
    // perpendicular to `direction`.
    void SetOrientation(Vec3 direction, Vec3 up) noexcept;

    [[nodiscard]] Vec3 Scale() const noexcept { return scale_; }
    void SetScale(Vec3 scale) noexcept { scale_ = scale; }

    [[nodiscard]] bool Visible() const noexcept { return visible_; }
    void SetVisible(bool visible) noexcept { visible_ = visible; }

    // Stored angles in degrees, in (-360, 360). Setting one turns the object by (new - stored) about
    // its direction (roll), up (turn) or right (pitch) axis, then stores the new angle modulo 360.
    [[nodiscard]] double RollAngle() const noexcept { return rollAngle_; }
    [[nodiscard]] double TurnAngle() const noexcept { return turnAngle_; }
    [[nodiscard]] double PitchAngle() const noexcept { return pitchAngle_; }
    void SetRollAngle(double degrees) noexcept;
    void SetTurnAngle(double degrees) noexcept;
    void SetPitchAngle(double degrees) noexcept;

    // Turns direction and up about `axis` (any length, not zero) by `degrees`, counter-clockwise
    // seen from the axis' tip. The stored angles do not change.
    void Rotate(Vec3 axis, double degrees) noexcept;

    // Local-to-scene transform: scale, then orientation (x = up x direction, y = up, z = direction),
    // then translation by the position.
    [[nodiscard]] Matrix4 ModelMatrix() const noexcept;

    // Half the diagonal of the axis-aligned bounding box of the geometry in local coordinates, with
    // the object's scale applied per axis; 0 for an object without geometry.
    [[nodiscard]] virtual double BoundingRadius() const { return 0.0; }

    // Issues the fixed-function OpenGL calls that draw the object in local coordinates. Needs a
    // current context; the renderer calls it only for visible objects.
    virtual void DrawGeometry() const {}

private:
    Vec3 position_{0.0, 0.0, 0.0};
    Vec3 direction_{0.0, 0.0, 1.0};
    Vec3 up_{0.0, 1.0, 0.0};
    Vec3 scale_{1.0, 1.0, 1.0};
    bool visible_ = true;
    double rollAngle_ = 0.0;
    double turnAngle_ = 0.0;
    double pitchAngle_ = 0.0;
};

// Turns `object` about the scene's X axis by `xDegrees`, then about its Y axis by `yDegrees`, then
// about its Z axis by `zDegrees`; a zero angle leaves its step out.
void RotateAboutSceneAxes(SceneObject& object, double xDegrees, double yDegrees, double zDegrees) noexcept;

}  // namespace vistamaze
