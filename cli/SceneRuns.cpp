#include "cli/SceneRuns.h"

#include "cli/SceneDepth.h"

namespace vistamaze::cli {

SceneRuns LinkedSceneRuns() {
    return SceneRuns{&CaptureSceneDepth, &RunAnimation, &PrintStageTimes};
}

}  // namespace vistamaze::cli
