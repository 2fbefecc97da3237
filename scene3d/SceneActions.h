#pragma once

#include "scene3d/Scene3d.h"

#include <QString>

namespace vistamaze {

// What the 3D tab's commands do to the scene, without any window: the desktop program and the
// command-line renderer share them, so both frame a model the same way.

// Focal length of the camera after a model load and after "Reset view".
inline constexpr double kResetFocalLength = 500.0;

// Scale of a model whose bounding radius (at scale 1) is `radius`, loaded into a view `viewWidth`
// pixels wide: 1.8 / r below radius 1, 1.4 / r above, 1 at 1, then grown by (width - 460) / 600
// of itself. A radius of 0 gives 1 whatever the width.
[[nodiscard]] double ModelScaleFor(double radius, int viewWidth) noexcept;

// Puts a model's mesh (read beforehand, see importer/ModelImporter.h) into the scene and frames
// it: focal length 500, the reference cube's orientation, mesh shown and text hidden, the scale
// rule for a view `viewWidth` pixels wide, camera reset, auto-centring and auto-scaling, mesh as
// the moving object. The caller resets the view afterwards. Reading the file first means a file
// that cannot be read leaves the scene, and the model shown, as they were.
void LoadModelIntoScene(Scene3d& scene, Mesh mesh, int viewWidth);

// Shows `text` as the 3D text and makes it the moving object; the mesh is hidden but kept. The
// caller resets the view afterwards. Throws vistamaze::Error, leaving the scene as it was, when the
// text is refused (see BuildTextGeometry: more than kMaxSpaceTextCharacters characters) or its
// outlines cannot be built.
void ShowSpaceText(Scene3d& scene, const QString& text);

// The scene part of "Reset view": moving object at the origin, focal length 500, scene scale 1,
// the moving object straightened and turned back to the reference cube's orientation with its
// stored angles at 0, and the camera reset towards it from (15, 0, 15). The camera reset takes
// the near plane of the most recent render, so the camera's distance follows the focal length
// that render used.
void ResetSceneView(Scene3d& scene);

// Records in the camera a render of a `width` x `height` view without drawing one, so that a
// camera reset before the first real render places the camera as it would after one.
void PrimeCamera(Scene3d& scene, int width, int height) noexcept;

}  // namespace vistamaze
