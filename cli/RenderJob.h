#pragma once

#include "cli/Animation.h"
#include "cli/RenderOptions.h"
#include "cli/SceneRuns.h"

#include <functional>
#include <iosfwd>

namespace vistamaze::cli {

// What the caller of a run decides besides the options.
struct RenderControl {
    std::function<bool()> stopRequested;  // asked between the frames of a movie; empty: never
    FrameSchedule schedule = FrameSchedule::Overlapped;
    std::ostream* stageTimes = nullptr;  // the stages' times go here when not null
    SceneRuns scene;                     // empty: a run with a 3D scene throws Error(kNoSceneHere)
};

// Renders every depth map of `options` and writes the pictures or the movie, or renders the scene
// movie (see RunAnimation). Progress goes to `progress` when it is not null. Returns a movie's
// frames and whether a stop request ended it, or an empty result for pictures. Before anything is
// rendered or written, throws UsageError for an output name that selects no format and for
// outputs that would destroy inputs or one another (CheckOutputsApart), and vistamaze::Error for
// an output that exists and is not a regular file (ReplacingFile::CheckTarget) or whose folder
// cannot take it (ReplacingFile::CheckFolder), the message led by the output's role ("output: ").
// Throws vistamaze::Error on the first failure after that; pictures already written stay, and a
// movie is written as MovieOutput describes.
AnimationResult RunRender(const RenderOptions& options, std::ostream* progress,
                          const RenderControl& control = {});

}  // namespace vistamaze::cli
