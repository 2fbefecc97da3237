#pragma once

#include "scene3d/Camera.h"
#include "scene3d/LightSource.h"
#include "scene3d/MeshObject.h"
#include "scene3d/Navigator.h"
#include "scene3d/PivotNode.h"
#include "scene3d/SpaceText.h"

#include <QColor>
#include <array>
#include <cstdint>
#include <memory>

namespace vistamaze {

// The scene of the 3D tab: a reference cube, the model mesh, the 3D text, two point lights, the
// camera both views use and the orientation controller. The objects refer to each other (camera
// target, moving object), so a scene is neither copied nor moved.
class Scene3d {
public:
    Scene3d() = default;
    Scene3d(const Scene3d&) = delete;
    Scene3d& operator=(const Scene3d&) = delete;

    PivotNode pivot;
    MeshObject model;
    SpaceText text;
    LightSource frontLight;
    LightSource backLight;
    Camera camera;
    Navigator navigator;

    // Objects with geometry, in drawing order.
    [[nodiscard]] std::array<const SceneObject*, 2> DrawableObjects() const noexcept {
        return {&model, &text};
    }
    [[nodiscard]] std::array<const LightSource*, 2> Lights() const noexcept {
        return {&frontLight, &backLight};
    }
};

// The background colour both views start with, as the number B * 65536 + G * 256 + R.
inline constexpr std::uint32_t kInitialBackgroundColor = 8404992;

// A colour given as B * 65536 + G * 256 + R.
[[nodiscard]] QColor ColorFromNumber(std::uint32_t bgr);

// The start-up scene: "HELLO" in bold Arial seen from (15, 0, 15) by a camera aimed at the reference
// cube (focal length 397.0105, depth of view 1000, near-plane bias 0.05), lights at (10, 10, 10) and
// (-10, 10, -10), an empty auto-centring mesh and the text as the moving object.
[[nodiscard]] std::unique_ptr<Scene3d> BuildInitialScene();

}  // namespace vistamaze
