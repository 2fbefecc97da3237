#pragma once

#include "cli/Animation.h"
#include "cli/RenderOptions.h"
#include "engine/Picture.h"

#include <functional>
#include <iosfwd>

namespace vistamaze::cli {

// The 3D scene's part of a run: the depth capture of a model or text, and the scene movie. They
// need Qt and OpenGL, whose libraries take longer to load than a depth map file takes to render,
// so vistamaze-render is linked without them and hands every scene run to vistamaze-render-scene,
// which is linked with these (LinkedSceneRuns). Null members: this program draws no 3D scene.
struct SceneRuns {
    Picture (*captureDepth)(const RenderOptions& options) = nullptr;
    AnimationResult (*animate)(const RenderOptions& options, std::ostream* progress,
                               const std::function<bool()>& stopRequested, FrameSchedule schedule) = nullptr;
    void (*printStageTimes)(std::ostream& out, const AnimationResult& result) = nullptr;
};

// What a program without scene runs reports when asked for one.
inline constexpr const char* kNoSceneHere = "this program draws no 3D scenes: run vistamaze-render-scene";

// CaptureSceneDepth, RunAnimation and PrintStageTimes, from vm_cli, which links the 3D layer.
[[nodiscard]] SceneRuns LinkedSceneRuns();

}  // namespace vistamaze::cli
