#pragma once

#include "cli/RenderOptions.h"
#include "cli/SceneRuns.h"
#include "engine/Picture.h"
#include "engine/Stereogram.h"

#include <cstddef>

namespace vistamaze::cli {

// How many depth maps the run renders: one for a scene, else one per file.
[[nodiscard]] std::size_t DepthMapCount(const RenderOptions& options);

// Depth map number `index` (0-based): the scene's capture (scene.captureDepth), or the picture
// file read as it is. Throws what reading or capturing throws, and Error when a scene is asked
// for and `scene` cannot capture one.
[[nodiscard]] Picture LoadDepthMap(const RenderOptions& options, std::size_t index, const SceneRuns& scene);

// After a render, writes `options.depthOut` (when set) with the depth map the engine rendered
// from. A captured depth map is written as it was captured. A depth map file is written as the
// engine fitted it: scaled to the stereogram's width with its proportions, centred vertically on
// a stereogram-sized black (far) background and cut where it is taller, so each pixel lies under
// the stereogram pixel it shaped. Throws what the picture writers throw.
void SaveDepthMapUsed(const Stereogram& engine, const RenderOptions& options);

}  // namespace vistamaze::cli
