#include "scene3d/Camera.h"

#include <algorithm>

namespace vistamaze {

void Camera::SetFocalLength(double focalLength) noexcept {
    focalLength_ = focalLength > 0.0 ? focalLength : 1.0;
}

void Camera::SetSceneScale(double sceneScale) noexcept {
    sceneScale_ = sceneScale != 0.0 ? sceneScale : 1.0;
}

Frustum Camera::ProjectionFor(int width, int height) const noexcept {
    const double w = std::max(width, 1);
    const double h = std::max(height, 1);
    const double m = std::max(w, h);
    Frustum f;
    f.nearPlane = focalLength_ * 2.0 * kDotsPerInch / (25.4 * m) * nearPlaneBias_;
    f.farPlane = f.nearPlane + depthOfView_;
    const double halfWidth = w * nearPlaneBias_ / (2.0 * sceneScale_ * m);
    const double halfHeight = h * nearPlaneBias_ / (2.0 * sceneScale_ * m);
    f.left = -halfWidth;
    f.right = halfWidth;
    f.bottom = -halfHeight;
    f.top = halfHeight;
    return f;
}

Frustum Camera::BeginRender(int width, int height) noexcept {
    const Frustum f = ProjectionFor(width, height);
    lastNearPlane_ = f.nearPlane;
    lastWidth_ = width;
    lastHeight_ = height;
    return f;
}

Matrix4 Camera::ViewMatrix() const noexcept {
    const Vec3 eye = Position();
    Vec3 forward = Direction();
    if (target_ != nullptr && Length(target_->Position() - eye) > 0.0) {
        forward = Normalized(target_->Position() - eye);
    }
    Vec3 side = Normalized(Cross(forward, Up()));
    if (Length(side) == 0.0) {
        // Looking straight along up: any side vector keeps the matrix regular.
        side = Normalized(Cross(forward, Vec3{0.0, 0.0, 1.0}));
        if (Length(side) == 0.0) {
            side = {1.0, 0.0, 0.0};
        }
    }
    const Vec3 up = Cross(side, forward);
    return {side.x, up.x, -forward.x, 0.0, side.y,          up.y,          -forward.y,        0.0,
            side.z, up.z, -forward.z, 0.0, -Dot(side, eye), -Dot(up, eye), Dot(forward, eye), 1.0};
}

void Camera::Reset() noexcept {
    const double e = 0.25 * std::min(lastWidth_, lastHeight_);
    const Vec3 position = Direction() * (-lastNearPlane_ * e);
    SetPosition(position);
    if (Length(position) > 0.0) {
        SetDirection(-position);
    }
}

}  // namespace vistamaze
