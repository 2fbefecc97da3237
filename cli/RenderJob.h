#pragma once

#include "cli/Animation.h"
#include "cli/RenderOptions.h"
#include "cli/SceneRuns.h"

#include <functional>
#include <iosfwd>

namespace vistamaze::cli {

// What the caller of a run decides besides the options.
struct RenderControl {
    std::function<bool()> stopRequested;  // asked between the frames of a scene movie; empty: never
    FrameSchedule schedule = FrameSchedule::Overlapped;
    std::ostream* stageTimes = nullptr;  // the stages' times go here when not null
    SceneRuns scene;                     // empty: a run with a 3D scene throws Error(kNoSceneHere)
};

// Renders every depth map of `options` and writes the pictures or the movie, or renders the scene
// movie (see RunAnimation). Progress goes to `progress` when it is not null. Returns the scene
// movie's result, or an empty result for other runs. Before anything is written, throws
// UsageError for an output name that selects no format and for outputs that would destroy inputs
// or one another (CheckOutputsApart), and FileAccessError for an output that exists and is not a
// regular file (ReplacingFile::CheckTarget). Throws vistamaze::Error on the first failure after
// that; pictures already written stay.
AnimationResult RunRender(const RenderOptions& options, std::ostream* progress,
                          const RenderControl& control = {});

}  // namespace vistamaze::cli
