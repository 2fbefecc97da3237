#include "scene3d/Navigator.h"

#include <algorithm>
#include <cmath>

namespace vistamaze {

void Navigator::TurnHorizontal(double degrees) noexcept {
    const double a = invertHorizontal_ ? -degrees : degrees;
    horizontalAngle_ = std::fmod(horizontalAngle_ + a, 360.0);
    if (movingObject_ == nullptr || a == 0.0) {
        return;
    }
    SceneObject& object = *movingObject_;
    if (useVirtualUp_) {
        // direction cos a + (direction x up) sin a is a turn about -up.
        object.Rotate(-virtualUp_, a);
        return;
    }
    const double r = DegToRad(a);
    const Vec3 direction = object.Direction();
    const Vec3 right = Cross(direction, object.Up());
    object.SetDirection(direction * std::cos(r) + right * std::sin(r));
}

void Navigator::TurnVertical(double degrees) noexcept {
    double a = degrees;
    if (angleLock_) {
        a = std::clamp(verticalAngle_ + a, -90.0, 90.0) - verticalAngle_;
    }
    verticalAngle_ = std::fmod(verticalAngle_ + a, 360.0);
    if (movingObject_ == nullptr || a == 0.0) {
        return;
    }
    SceneObject& object = *movingObject_;
    const double r = DegToRad(a);
    const Vec3 direction = object.Direction();
    const Vec3 up = object.Up();
    object.SetOrientation(direction * std::cos(r) + up * std::sin(r),
                          up * std::cos(r) - direction * std::sin(r));
}

void Navigator::Straighten() noexcept {
    horizontalAngle_ = 0.0;
    verticalAngle_ = 0.0;
    if (movingObject_ != nullptr) {
        movingObject_->SetUp(virtualUp_);
    }
}

}  // namespace vistamaze
