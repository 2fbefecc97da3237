#include "scene3d/AnimationSteps.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vistamaze {

namespace {

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) noexcept {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    }
    return sum;
}

// (slider + travel) / 20 in double: the sum is never formed in an integer.
double MovePosition(int slider, std::int64_t travel) noexcept {
    return (static_cast<double>(slider) + static_cast<double>(travel)) / 20.0;
}

}  // namespace

int FrameTimeFor(int fps) noexcept {
    return static_cast<int>(std::trunc(1000.0F / static_cast<float>(fps)));
}

void ApplyFrameSteps(Scene3d& scene, const AnimationSteps& steps, CameraTravel& travel, int sliderX,
                     int sliderY) {
    for (SceneObject* object : std::initializer_list<SceneObject*>{&scene.model, &scene.text}) {
        if (object->Visible()) {
            RotateAboutSceneAxes(*object, steps.rotateX, steps.rotateY, steps.rotateZ);
        }
    }
    Camera& camera = scene.camera;
    if (steps.zoom != 0) {
        const float grown =
            static_cast<float>(camera.FocalLength()) * (1.0F + static_cast<float>(steps.zoom) / 100.0F);
        camera.SetFocalLength(grown);
    }
    SceneObject* moving = scene.navigator.MovingObject();
    if (moving == nullptr) {
        return;
    }
    Vec3 position = moving->Position();
    if (steps.cameraX != 0) {
        travel.x = SaturatingAdd(travel.x, steps.cameraX);
        position.x = MovePosition(sliderX, travel.x);
    }
    if (steps.cameraY != 0) {
        travel.y = SaturatingAdd(travel.y, steps.cameraY);
        position.y = MovePosition(sliderY, travel.y);
    }
    moving->SetPosition(position);
}

FrameStepsUndo::FrameStepsUndo(const Scene3d& scene, const CameraTravel& travel)
    : teapot_(scene.model),
      text_(scene.text),
      focalLength_(scene.camera.FocalLength()),
      moving_(scene.navigator.MovingObject()),
      movingPosition_(moving_ != nullptr ? moving_->Position() : Vec3{}),
      travel_(travel) {}

void FrameStepsUndo::Restore(Scene3d& scene, CameraTravel& travel) const {
    // The objects' own part (turn, place, scale) only: their geometry stays as it is.
    static_cast<SceneObject&>(scene.model) = teapot_;
    static_cast<SceneObject&>(scene.text) = text_;
    scene.camera.SetFocalLength(focalLength_);
    if (moving_ != nullptr) {
        moving_->SetPosition(movingPosition_);
    }
    travel = travel_;
}

int NextTexturePosition(int position, int step, int maximum) noexcept {
    const auto wrap = static_cast<long long>(std::trunc(static_cast<float>(maximum)));
    if (wrap <= 0) {
        return 0;
    }
    const auto sum =
        static_cast<long long>(std::trunc(static_cast<float>(position) + static_cast<float>(step)));
    return static_cast<int>(std::clamp(sum % wrap, 0LL, static_cast<long long>(maximum)));
}

}  // namespace vistamaze
