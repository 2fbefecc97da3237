#pragma once

#include "scene3d/Scene3d.h"

#include <cstdint>

namespace vistamaze {

// What changes from one frame of an animation to the next.
struct AnimationSteps {
    int rotateX = 1;  // degrees about the scene's X, Y and Z axes
    int rotateY = 0;
    int rotateZ = 0;
    int zoom = 0;               // percent by which the focal length grows, compounding
    int cameraX = 0;            // Move-slider units added to the moving object's X (20 = 1 unit)
    int cameraY = 0;            // the same for Y
    double textureScale = 0.0;  // percentage points added to the texture scale
    int textureX = 0;           // pixels added to the texture position
    int textureY = 0;
};

// A movie: frame size and rate, length and steps. The defaults are those an animation has before
// its options were ever read; the options dialog starts from other values (1920 x 1080, 25 fps,
// 120 frames, rotation 0, 3, 0, texture 0, 15).
struct AnimationOptions {
    int width = 600;
    int height = 400;
    int fps = 24;
    int frames = 60;
    AnimationSteps steps;
};

// The frame time in milliseconds of `fps` frames per second: 1000 / fps in single precision,
// truncated (25 -> 40, 30 -> 33, 12 -> 83). `fps` must be at least 1.
[[nodiscard]] int FrameTimeFor(int fps) noexcept;

// The Move-slider units the camera steps have added so far in a run: in 64 bits, saturating, so
// that no step and frame count can overflow it (a million units over a million frames fit).
struct CameraTravel {
    std::int64_t x = 0;
    std::int64_t y = 0;
};

// The scene part of one frame: each visible object (the mesh, then the text) turned about the
// scene's fixed X, Y and Z axes by the rotation steps, the focal length grown by the zoom step (in
// single precision), and, for a camera step that is not 0, the step added to `travel` and the
// moving object's X (Y) placed at (slider position + travel) / 20.
void ApplyFrameSteps(Scene3d& scene, const AnimationSteps& steps, CameraTravel& travel, int sliderX,
                     int sliderY);

// The scene as one frame's steps find it: what ApplyFrameSteps changes (the objects' turn and
// place, the focal length, the camera travel), kept to take back the steps of a frame that is
// drawn ahead but never rendered.
class FrameStepsUndo {
public:
    FrameStepsUndo(const Scene3d& scene, const CameraTravel& travel);
    // Puts back exactly what was kept; the objects' geometry is not touched.
    void Restore(Scene3d& scene, CameraTravel& travel) const;

private:
    SceneObject teapot_;
    SceneObject text_;
    double focalLength_;
    SceneObject* moving_;
    Vec3 movingPosition_;
    CameraTravel travel_;
};

// The texture position of the next frame: the sum taken in single precision and truncated,
// wrapped by `maximum` (truncated as well), then kept within 0..maximum, as a spin field of that
// range would keep it. A maximum of 0 gives 0.
[[nodiscard]] int NextTexturePosition(int position, int step, int maximum) noexcept;

// The texture position's maximum while an animation runs, so the position can grow past the
// texture's size.
inline constexpr int kAnimationTextureRange = 10000000;

}  // namespace vistamaze
