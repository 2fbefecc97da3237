#pragma once

#include "cli/RenderOptions.h"
#include "engine/Picture.h"
#include "output/AviWriter.h"
#include "output/CompressedMovie.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>

namespace vistamaze::cli {

// The movie of a run (OUT ending in .avi, or .mp4 or .webm for a compressed one), written as the
// command line promises: frames go to a work file in a work folder of its own under the temporary
// folder; OUT is replaced only by a
// movie of at least one frame, or by the empty movie of a run asked for no frames, so a run that
// stops or fails before its first frame leaves an existing OUT as it was. Messages say what
// failed in plain words, without the writer's failure codes.
class MovieOutput {
public:
    // Sets up the movie of `options`: frame size, `frameTime` milliseconds a frame, stretched
    // frames, the quality and speed of a compressed movie, the sound track (read and checked here, so a bad
    // one fails before any frame is rendered) and the work file. `framesAsked`: the frames the run means to
    // write. Throws vistamaze::Error: '--audio "<file>": <cause>' for the sound track, or the writer's
    // reason.
    // `rate`, when given, is an exact frame rate that takes the place of `frameTime`.
    MovieOutput(const RenderOptions& options, int frameTime, int framesAsked,
                std::optional<ExactFrameRate> rate = std::nullopt);

    // Appends a frame. Throws vistamaze::Error with the writer's reason ("cannot write frame 13 to
    // the movie's work file ...: No space left on device").
    void Add(const PixelBuffer& frame);
    void Add(const Picture& frame) { Add(frame.Bitmap()); }
    [[nodiscard]] int FramesWritten() const noexcept { return written_; }

    // Ends the movie once its frame loop is left: `failure` is what the loop threw (null: nothing),
    // `stopped` whether a stop request ended it. With frames written, or with none asked for and
    // the loop neither failed nor stopped, the movie is saved and the frames it holds are returned.
    // Otherwise the work file goes, OUT is not touched, and 0 is returned. Throws vistamaze::Error
    // naming the loop's failure and what became of the movie: '<failure>; "OUT" holds the 12
    // frames written', '<failure>; "OUT" was left as it was' (or '... was not written' when there
    // was none), '<failure>; the 12 frames written could not be saved either (<reason>); ...'; and
    // a failed save alone as '<reason>; it was left as it was' (the reason names OUT).
    int Finish(std::exception_ptr failure, bool stopped);

private:
    [[nodiscard]] int Save(const std::exception_ptr& failure);
    [[nodiscard]] int Complete();

    std::string output_;
    // The settings a failure is worded for.
    RenderOptions options_;
    int framesAsked_;
    int written_ = 0;
    // One of the two.
    std::optional<AviWriter> avi_;
    std::unique_ptr<CompressedMovie> compressed_;
};

// What a run that wrote nothing did to `output`: '"OUT" was left as it was' when it exists,
// '"OUT" was not written' when it does not.
[[nodiscard]] std::string UntouchedNote(const std::string& output);

// "the 12 frames written", "the 1 frame written".
[[nodiscard]] std::string FramesWrittenPhrase(int frames);

// What a failure says on the command line: an AviError's Reason(), a GeometryError worded for
// `options` (GeometryProblem), another error's message.
[[nodiscard]] std::string PlainMessage(const std::exception_ptr& failure, const RenderOptions& options);

}  // namespace vistamaze::cli
