#pragma once

#include "cli/RenderOptions.h"

#include <functional>
#include <iosfwd>

namespace vistamaze::cli {

// How the frames of a scene movie are computed. Both give the same movie, byte for byte.
enum class FrameSchedule {
    // The next frame's scene is drawn and captured, and the previous frame written, while the
    // engine renders the current one: three threads joined by hand-overs of one or two frames.
    Overlapped,
    // Every step of a frame on the calling thread, one frame after another.
    Sequential,
};

// Wall-clock seconds spent in each stage of a run, each summed on the thread that runs it.
struct StageTimes {
    double render = 0.0;     // scene steps and the 3D drawing
    double readDepth = 0.0;  // depth buffer read-back
    double mapDepth = 0.0;   // depths to the grey picture
    double fitDepth = 0.0;   // the grey picture fitted to the stereogram's width, when done apart
    double texture = 0.0;    // texture scale and position steps
    double generate = 0.0;   // the engine's Generate
    double handOver = 0.0;   // copying the result for the writer, and waiting for a free buffer
    double waitScene = 0.0;  // the engine waiting for the next captured frame
    double addFrame = 0.0;   // appending frames to the work file
    double save = 0.0;       // completing and saving the movie
    double total = 0.0;      // the whole run, from the scene set-up to the saved movie
};

struct AnimationResult {
    int framesWritten = 0;  // the frames the saved movie holds
    bool stopped = false;   // the stop request ended the run before its last frame
    StageTimes times;
};

// Renders the scene movie of `options` (options.animation.Requested()): the movie's sound track
// is checked and its work file made (MovieOutput), then the scene is set up as for a single
// capture and captured once; with a zoom step of 0 that capture's grey scale is kept for
// every frame. Then, for every frame: the scene steps (turns about the scene axes, zoom, move),
// the texture scale step (the texture rebuilt from the original at the new scale, left as it is
// above 100 percent), the texture position steps, the 3D drawing and depth capture, Generate, and
// the frame appended to the movie; so frame 1 already shows one step of every change.
// `stopRequested` is asked before every frame; once it answers true no further frame is started,
// and the frames rendered so far are written. Progress (frames handed to the writer) goes to
// `progress` when it is not null.
// Throws what the scene set-up and the engine throw, and the movie's failures as MovieOutput words
// them. An error inside the frame loop, or a stop, ends the movie as MovieOutput::Finish does: the
// frames written before it are saved, and when there are none OUT is not touched.
AnimationResult RunAnimation(const RenderOptions& options, std::ostream* progress,
                             const std::function<bool()>& stopRequested, FrameSchedule schedule);

// One line: frames, seconds, frames per second and the milliseconds per frame of each stage.
void PrintStageTimes(std::ostream& out, const AnimationResult& result);

}  // namespace vistamaze::cli
