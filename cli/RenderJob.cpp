#include "cli/RenderJob.h"

#include "cli/DepthMaps.h"
#include "cli/DepthVideoMovie.h"
#include "cli/EngineSetup.h"
#include "cli/FileRoles.h"
#include "cli/MovieOutput.h"
#include "cli/ProgressBar.h"
#include "engine/Errors.h"
#include "formats/PictureFile.h"
#include "output/PictureWriters.h"
#include "output/ReplacingFile.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <future>
#include <iomanip>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>

namespace vistamaze::cli {

namespace {

// Wall-clock milliseconds of the stages of a picture run, printed when asked for.
class StageClock {
public:
    explicit StageClock(std::ostream* out) : out_(out) {}

    template <typename Work>
    decltype(auto) Time(const char* stage, Work&& work) {
        if (out_ == nullptr) {
            return std::forward<Work>(work)();
        }
        const auto start = std::chrono::steady_clock::now();
        struct Report {
            std::ostream& out;
            const char* stage;
            std::chrono::steady_clock::time_point start;
            // One write a line: stages run on two threads at once.
            ~Report() {
                const std::chrono::duration<double, std::milli> took =
                    std::chrono::steady_clock::now() - start;
                std::ostringstream line;
                line << stage << " " << std::fixed << std::setprecision(1) << took.count() << " ms\n";
                out << line.str() << std::flush;
            }
        } report{*out_, stage, start};
        return std::forward<Work>(work)();
    }

private:
    std::ostream* out_;
};

// The depth maps of a run, the first read ahead, beside the texture. Its failure is reported
// where reading it in turn would have reported it.
class DepthMapSource {
public:
    DepthMapSource(const RenderOptions& o, const SceneRuns& scene, StageClock& clock)
        : o_(o), scene_(scene), clock_(clock) {}

    void ReadFirst() {
        try {
            first_ = Read(0);
        } catch (...) {
            firstFailure_ = std::current_exception();
        }
    }

    Picture Load(std::size_t index) {
        if (index == 0 && firstFailure_) {
            std::rethrow_exception(std::exchange(firstFailure_, nullptr));
        }
        if (index == 0 && first_) {
            return *std::exchange(first_, std::nullopt);
        }
        return Read(index);
    }

private:
    Picture Read(std::size_t index) {
        return clock_.Time("read depth map", [&] { return LoadDepthMap(o_, index, scene_); });
    }

    const RenderOptions& o_;
    const SceneRuns& scene_;
    StageClock& clock_;
    std::optional<Picture> first_;
    std::exception_ptr firstFailure_;
};

void RenderFrame(Stereogram& engine, const RenderOptions& o, std::size_t index, ProgressBar& bar,
                 DepthMapSource& depthMaps, StageClock& clock) {
    // Far frames step the texture past any int; the engine wraps the 64-bit offset.
    const auto frame = static_cast<std::int64_t>(index);
    engine.SetPatOfX(o.textureOffsetX + frame * o.textureStepX);
    engine.SetPatOfY(o.textureOffsetY + frame * o.textureStepY);
    engine.SetDepthMap(depthMaps.Load(index));
    bar.NextPicture();
    engine.OnGenerate = [&bar, index](Stereogram& e) { bar.Show(index, e.Progress()); };
    clock.Time("render", [&] { engine.Generate(); });
}

// One frame a depth map; a stop request is answered between frames. See MovieOutput for what
// becomes of the movie when the loop stops or fails.
AnimationResult WriteMovie(Stereogram& engine, const RenderOptions& o, ProgressBar& bar,
                           DepthMapSource& depthMaps, StageClock& clock, const std::function<bool()>& stop) {
    MovieOutput movie(o, 1000 / o.fps, static_cast<int>(o.depthMaps.size()));
    AnimationResult result;
    std::exception_ptr failure;
    try {
        for (std::size_t i = 0; i < o.depthMaps.size(); ++i) {
            if (stop && stop()) {
                result.stopped = true;
                break;
            }
            RenderFrame(engine, o, i, bar, depthMaps, clock);
            clock.Time("add frame", [&] { movie.Add(engine.StereogramPicture()); });
        }
    } catch (...) {
        failure = std::current_exception();
    }
    result.framesWritten = movie.Finish(failure, result.stopped);
    return result;
}

// Refuses, before anything is rendered or written, outputs that would destroy inputs or one
// another, outputs that are not regular files (a FIFO, a device, a directory), and outputs whose
// folder is missing, not a folder, or closed to us.
void CheckOutputs(const RenderOptions& o) {
    CheckOutputsApart(o);
    const auto check = [](const std::string& file, std::string_view role) {
        InRole(role, [&file] {
            ReplacingFile::CheckTarget(file);
            ReplacingFile::CheckFolder(file);
        });
    };
    for (const std::string& output : OutputFiles(o)) {
        if (output == o.depthOut) {
            check(output, "depth map output");
        } else if (output == o.scene.pictureOut) {
            check(output, "scene picture output");
        } else {
            check(output, "output");
        }
    }
}

}  // namespace

AnimationResult RunRender(const RenderOptions& o, std::ostream* progress, const RenderControl& control) {
    if (o.animation.Requested()) {
        CheckOutputs(o);
        if (control.scene.animate == nullptr) {
            throw Error(kNoSceneHere);
        }
        const AnimationResult result =
            control.scene.animate(o, progress, control.stopRequested, control.schedule);
        if (control.stageTimes != nullptr) {
            control.scene.printStageTimes(*control.stageTimes, result);
        }
        return result;
    }
    if (HasDepthVideo(o)) {
        CheckOutputs(o);
        return RenderDepthVideo(o, progress, control.stopRequested);
    }
    const std::size_t count = DepthMapCount(o);
    const bool movie = IsMovieFile(o.output);
    if (!movie) {
        for (std::size_t i = 0; i < count; ++i) {
            if (PictureFileFormatFor(OutputFileFor(o, i, count)) == PictureFileFormat::None) {
                throw UsageError("cannot tell the picture format of " + Quoted(OutputFileFor(o, i, count)) +
                                 ": use .png, .jpg, .jpeg, .bmp, .tga, or .avi, .mp4 or .webm for a movie");
            }
        }
        if (count > 1 && o.output.find("%n") == std::string::npos &&
            !std::filesystem::is_directory(o.output)) {
            throw UsageError(
                "with several depth maps OUT must be a folder, contain %n, or end in .avi, .mp4 or .webm");
        }
    }
    CheckOutputs(o);
    StageClock clock(control.stageTimes);
    Stereogram engine;
    // The texture and the first depth map are files apart: read side by side (the texture on a
    // thread of its own where one can be had), with the texture's failure still reported first.
    std::future<Picture> texture = std::async(std::launch::async | std::launch::deferred, [&o, &clock] {
        return clock.Time("read texture", [&o] { return ReadTexture(o); });
    });
    DepthMapSource depthMaps(o, control.scene, clock);
    depthMaps.ReadFirst();
    ConfigureEngine(engine, o, texture.get());
    ProgressBar bar(progress, count);
    if (movie) {
        return WriteMovie(engine, o, bar, depthMaps, clock, control.stopRequested);
    }
    for (std::size_t i = 0; i < count; ++i) {
        RenderFrame(engine, o, i, bar, depthMaps, clock);
        clock.Time("write", [&] {
            InRole("output", [&] {
                SavePictureByExtension(engine.TakeStereogramPicture(), OutputFileFor(o, i, count), o.quality,
                                       std::to_string(engine.DPI()), o.png);
            });
        });
        SaveDepthMapUsed(engine, o);
    }
    return {};
}

}  // namespace vistamaze::cli
