#pragma once

#include "cli/Animation.h"
#include "cli/RenderOptions.h"

#include <functional>
#include <iosfwd>

namespace vistamaze::cli {

// Whether the run's depth map is a depth video: one depth map, named .mp4, .mkv, .webm, .mov or
// .avi (IsDepthVideoName).
[[nodiscard]] bool HasDepthVideo(const RenderOptions& options);

// Renders one stereogram frame for each frame of the depth video (read by DepthVideo, in a limited
// helper) into the movie OUT, at --fps when it was given, else at exactly the video's own rate
// (in whole milliseconds a frame when it is not between 1/1000 and 1000 frames a second). Unless
// --audio names a sound track, the video's own, when it has one, is carried over: read whole
// before the first frame into a WAV file in a work folder of its own (listed for
// RemoveScratchFiles()), which the movie writer takes as it takes --audio. `stop` is asked between
// frames, and between the sound's chunks (a stop then makes no movie). Returns the frames the movie holds and
// whether a stop ended it. Throws vistamaze::Error for a video that cannot be read before its first frame
// (one line naming it; OUT is left as it was), and as MovieOutput::Finish for a failure after it.
AnimationResult RenderDepthVideo(const RenderOptions& options, std::ostream* progress,
                                 const std::function<bool()>& stop);

}  // namespace vistamaze::cli
