#include "scene3d/AnimationSteps.h"

#include <algorithm>
#include <cmath>

namespace vistamaze {

int FrameTimeFor(int fps) noexcept {
    return static_cast<int>(std::trunc(1000.0F / static_cast<float>(fps)));
}

void ApplyFrameSteps(Scene3d& scene, const AnimationSteps& steps, CameraTravel& travel, int sliderX,
                     int sliderY) {
    for (TGLSceneObject* object :
         std::initializer_list<TGLSceneObject*>{&scene.Teapot1, &scene.GLSpaceText1}) {
        if (object->Visible()) {
            RotateAboutSceneAxes(*object, steps.rotateX, steps.rotateY, steps.rotateZ);
        }
    }
    TGLCamera& camera = scene.GLCamera2;
    if (steps.zoom != 0) {
        const float grown =
            static_cast<float>(camera.FocalLength()) * (1.0F + static_cast<float>(steps.zoom) / 100.0F);
        camera.SetFocalLength(grown);
    }
    TGLSceneObject* moving = scene.GLNavigator1.MovingObject();
    if (moving == nullptr) {
        return;
    }
    Vec3 position = moving->Position();
    if (steps.cameraX != 0) {
        travel.x += steps.cameraX;
        position.x = (sliderX + travel.x) / 20.0;
    }
    if (steps.cameraY != 0) {
        travel.y += steps.cameraY;
        position.y = (sliderY + travel.y) / 20.0;
    }
    moving->SetPosition(position);
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
