#pragma once

#include "scene3d/SceneObject.h"

namespace vistamaze {

// The symmetric perspective frustum of one render, as glFrustum takes it (scene units).
struct Frustum {
    double left = 0.0;
    double right = 0.0;
    double bottom = 0.0;
    double top = 0.0;
    double nearPlane = 0.0;
    double farPlane = 0.0;
};

// Perspective camera. The projection assumes 96 dots per inch: for a view of w x h pixels and
// M = max(w, h) the near plane lies at N = F * 2 * 96 / (25.4 * M) * bias, the far plane at
// N + depth of view, and the near-plane extent is +-w * bias / (2 * S * M) by +-h * bias / (2 * S * M).
class Camera : public SceneObject {
public:
    static constexpr double kDotsPerInch = 96.0;

    [[nodiscard]] double FocalLength() const noexcept { return focalLength_; }
    // A value that is not above 0 is taken as 1.0.
    void SetFocalLength(double focalLength) noexcept;
    [[nodiscard]] double SceneScale() const noexcept { return sceneScale_; }
    // 0 is taken as 1.0.
    void SetSceneScale(double sceneScale) noexcept;
    [[nodiscard]] double DepthOfView() const noexcept { return depthOfView_; }
    void SetDepthOfView(double depthOfView) noexcept { depthOfView_ = depthOfView; }
    [[nodiscard]] double NearPlaneBias() const noexcept { return nearPlaneBias_; }
    void SetNearPlaneBias(double bias) noexcept { nearPlaneBias_ = bias; }

    // The object the camera looks at (not owned; must outlive its use here), or null to look along
    // the camera's own direction.
    [[nodiscard]] const SceneObject* Target() const noexcept { return target_; }
    void SetTarget(const SceneObject* target) noexcept { target_ = target; }

    // The frustum for a view of `width` x `height` pixels (both at least 1).
    [[nodiscard]] Frustum ProjectionFor(int width, int height) const noexcept;
    // Records the view size and near plane of a render that is about to happen and returns its
    // frustum; the renderer calls this once per render.
    Frustum BeginRender(int width, int height) noexcept;
    // Near plane distance and view size of the most recent render (0 before any render).
    [[nodiscard]] double LastNearPlane() const noexcept { return lastNearPlane_; }
    [[nodiscard]] int LastViewWidth() const noexcept { return lastWidth_; }
    [[nodiscard]] int LastViewHeight() const noexcept { return lastHeight_; }

    // Scene-to-eye transform: from the position towards the target's origin when there is a target
    // (with the camera's own up), otherwise along the direction.
    [[nodiscard]] Matrix4 ViewMatrix() const noexcept;

    // Camera reset: with e = a quarter of the smaller side of the last rendered view and N that
    // render's near plane, moves the camera to -N * e along its direction from the origin and points
    // its direction at the origin. Before any render (N = 0) the camera lands on the origin and
    // keeps its direction.
    void Reset() noexcept;

private:
    double focalLength_ = 50.0;
    double sceneScale_ = 1.0;
    double depthOfView_ = 100.0;
    double nearPlaneBias_ = 1.0;
    const SceneObject* target_ = nullptr;
    double lastNearPlane_ = 0.0;
    int lastWidth_ = 0;
    int lastHeight_ = 0;
};

}  // namespace vistamaze
