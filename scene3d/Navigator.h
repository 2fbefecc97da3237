#pragma once

#include "scene3d/SceneObject.h"

namespace vistamaze {

// Orientation controller: turns its moving object horizontally and vertically and straightens it.
class Navigator {
public:
    // The object later turns act on (not owned; null: turns do nothing).
    [[nodiscard]] SceneObject* MovingObject() const noexcept { return movingObject_; }
    void SetMovingObject(SceneObject* object) noexcept { movingObject_ = object; }

    [[nodiscard]] Vec3 VirtualUp() const noexcept { return virtualUp_; }
    void SetVirtualUp(Vec3 up) noexcept { virtualUp_ = Normalized(up); }
    [[nodiscard]] bool UseVirtualUp() const noexcept { return useVirtualUp_; }
    void SetUseVirtualUp(bool on) noexcept { useVirtualUp_ = on; }
    [[nodiscard]] bool AngleLock() const noexcept { return angleLock_; }
    void SetAngleLock(bool on) noexcept { angleLock_ = on; }
    [[nodiscard]] bool InvertHorizontalSteering() const noexcept { return invertHorizontal_; }
    void SetInvertHorizontalSteering(bool on) noexcept { invertHorizontal_ = on; }

    // Accumulated turns in degrees since the last straighten.
    [[nodiscard]] double HorizontalAngle() const noexcept { return horizontalAngle_; }
    [[nodiscard]] double VerticalAngle() const noexcept { return verticalAngle_; }

    // direction := direction cos a + right sin a with right = direction x up; up stays. With the
    // virtual up on, the turn is about the virtual up vector instead.
    void TurnHorizontal(double degrees) noexcept;
    // direction := direction cos a + up sin a; up turns with it (pitch about the right axis). With
    // the angle lock on, the accumulated vertical angle stays within -90..90 degrees.
    void TurnVertical(double degrees) noexcept;
    // Both accumulated angles become 0; up becomes the virtual up vector and the direction is turned
    // to be perpendicular to it.
    void Straighten() noexcept;

private:
    SceneObject* movingObject_ = nullptr;
    Vec3 virtualUp_{0.0, 1.0, 0.0};
    bool useVirtualUp_ = false;
    bool angleLock_ = false;
    bool invertHorizontal_ = false;
    double horizontalAngle_ = 0.0;
    double verticalAngle_ = 0.0;
};

}  // namespace vistamaze
