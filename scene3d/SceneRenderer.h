#pragma once

#include "scene3d/Scene3d.h"

#include <QColor>

namespace vistamaze {

// Per-view drawing settings.
struct ViewSettings {
    QColor backgroundColor = ColorFromNumber(kInitialBackgroundColor);
    bool faceCulling = false;
    bool smoothShading = true;
    bool multisample = false;
};

// Draws the visible objects of `scene` into the framebuffer bound in the current context, whose
// size is `width` x `height` pixels: clears colour to the background and depth to 1.0, applies the
// camera's projection (recording its near plane and the view size in the camera) and view, lights.
void RenderScene(const Scene3d& scene, Camera& camera, int width, int height, const ViewSettings& settings);

}  // namespace vistamaze
