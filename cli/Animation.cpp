#include "cli/Animation.h"

#include "cli/BoundedQueue.h"
#include "cli/EngineSetup.h"
#include "cli/MovieOutput.h"
#include "cli/ProgressBar.h"
#include "cli/SceneDepth.h"
#include "engine/Stereogram.h"
#include "engine/TexturePreparation.h"
#include "scene3d/AnimationSteps.h"

#include <chrono>
#include <exception>
#include <iomanip>
#include <optional>
#include <ostream>
#include <thread>
#include <utility>

namespace vistamaze::cli {

namespace {

using Clock = std::chrono::steady_clock;

// Adds the wall-clock time `work` takes to `total`, also when it throws.
template <typename Work>
decltype(auto) Timed(double& total, Work&& work) {
    struct AddOnExit {
        double& total;
        Clock::time_point start = Clock::now();
        ~AddOnExit() { total += std::chrono::duration<double>(Clock::now() - start).count(); }
    } addOnExit{total};
    return work();
}

AnimationSteps StepsOf(const RenderOptions& o) {
    const AnimationRequest& a = o.animation;
    AnimationSteps steps;
    steps.rotateX = a.rotateStep[0];
    steps.rotateY = a.rotateStep[1];
    steps.rotateZ = a.rotateStep[2];
    steps.zoom = a.zoomStep;
    steps.cameraX = a.moveStep[0];
    steps.cameraY = a.moveStep[1];
    steps.textureScale = a.textureScaleStep;
    steps.textureX = o.textureStepX;
    steps.textureY = o.textureStepY;
    return steps;
}

// The scene part of every frame: the scene steps, the drawing and the depth capture.
class SceneFrames {
public:
    SceneFrames(SceneCapture& capture, const AnimationSteps& steps, StageTimes& times)
        : capture_(capture), steps_(steps), times_(times) {
        // The capture before the run: without zoom its grey scale stays for every frame, so the
        // grey levels do not flicker as the model turns.
        if (steps.zoom == 0) {
            capture_.Render();
            frozen_ = capture_.RangeOf(capture_.ReadDepths());
        }
    }

    // Fills `depth` with the depth map of the next frame: view-sized, 24-bit. Its storage is kept,
    // so a run reuses the same few buffers.
    void Next(PixelBuffer& depth) {
        Draw();
        Capture(depth);
    }

    // Next in two halves. Draw applies the next frame's steps and draws it; the drawing goes on
    // in the driver's threads while the caller does other work, until Capture reads it.
    void Draw() {
        Timed(times_.render, [this] {
            // The command-line scene has no Move sliders: the moving object starts at the origin.
            ApplyFrameSteps(capture_.Scene(), steps_, travel_, 0, 0);
            capture_.Render();
        });
    }
    void Capture(PixelBuffer& depth) {
        const std::vector<float>& depths =
            Timed(times_.readDepth, [this]() -> const std::vector<float>& { return capture_.ReadDepths(); });
        Timed(times_.mapDepth,
              [&] { capture_.MapDepths(depths, frozen_ ? *frozen_ : capture_.RangeOf(depths), depth); });
    }

private:
    SceneCapture& capture_;
    AnimationSteps steps_;
    StageTimes& times_;
    CameraTravel travel_;
    std::optional<DepthRange> frozen_;
};

// The texture part of every frame: scale, then position, as the main window's rebuild and the
// preview's position fields apply them.
class TextureFrames {
public:
    TextureFrames(const Stereogram& engine, const AnimationSteps& steps)
        : original_(engine.MaskMap()),
          dpi_(engine.DPI()),
          steps_(steps),
          x_(static_cast<int>(engine.PatOfX())),
          y_(static_cast<int>(engine.PatOfY())) {}

    void Next(Stereogram& engine) {
        // A scale of 0 is never stepped; a step of 0 would rebuild the texture the engine has.
        if (scale_ != 0.0 && steps_.textureScale != 0.0) {
            scale_ += steps_.textureScale;
            // Above 100 percent the rebuild keeps the texture it has.
            if (scale_ <= 100.0) {
                engine.SetMaskMap(Picture(CropAndScaleTexture(original_.Bitmap(), {}, scale_, dpi_)));
            }
        }
        if (steps_.textureX != 0) {
            x_ = NextTexturePosition(x_, steps_.textureX, kAnimationTextureRange);
            engine.SetPatOfX(x_);
        }
        if (steps_.textureY != 0) {
            y_ = NextTexturePosition(y_, steps_.textureY, kAnimationTextureRange);
            engine.SetPatOfY(y_);
        }
    }

private:
    Picture original_;
    int dpi_;
    AnimationSteps steps_;
    double scale_ = 100.0;  // percent, as after a texture load
    int x_;
    int y_;
};

// A thread that runs `work` and keeps what it throws; joined when it goes.
class Worker {
public:
    template <typename Work>
    explicit Worker(Work work)
        : thread_([this, work = std::move(work)]() mutable {
              try {
                  work();
              } catch (...) {
                  error_ = std::current_exception();
              }
          }) {}
    // Waits for the thread; then rethrows what its work threw.
    void Finish() {
        if (thread_.joinable()) {
            thread_.join();
        }
        if (error_) {
            std::rethrow_exception(std::exchange(error_, nullptr));
        }
    }
    ~Worker() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

private:
    std::exception_ptr error_;
    std::thread thread_;  // last: starts once the rest is made
};

// Closes a queue when it goes, so a worker waiting on it ends whatever way the loop is left.
template <typename T>
struct CloseOnExit {
    BoundedQueue<T>& queue;
    ~CloseOnExit() { queue.Close(); }
};

// Everything one run holds: the scene, the engine with the texture steps, the movie.
class AnimationRun {
public:
    AnimationRun(const RenderOptions& o, std::ostream* progress, const std::function<bool()>& stopRequested)
        : frames_(*o.animation.frames),
          stopRequested_(stopRequested),
          movie_(o, FrameTimeFor(o.fps), frames_),
          capture_(o.scene),
          scene_(capture_, StepsOf(o), result_.times),
          bar_(progress, static_cast<std::size_t>(frames_)) {
        ConfigureEngine(engine_, o);
        texture_.emplace(engine_, StepsOf(o));
    }

    // Runs `loop`, then ends the movie as MovieOutput::Finish does, also after an error.
    template <typename Loop>
    AnimationResult SaveAfter(Loop&& loop) {
        std::exception_ptr failure;
        try {
            loop();
        } catch (...) {
            failure = std::current_exception();
        }
        result_.framesWritten =
            Timed(result_.times.save, [this, &failure] { return movie_.Finish(failure, result_.stopped); });
        return result_;
    }

    void RunSequential();
    void RunOverlapped();

private:
    struct Handovers;
    void CaptureFrames(Handovers& h, int width, int height);
    void GenerateFrames(Handovers& h);
    void WriteFrames(Handovers& h);

    // Stop is asked between frames only: a frame once started is finished and written.
    bool Stopping() {
        if (stopRequested_ && stopRequested_()) {
            result_.stopped = true;
        }
        return result_.stopped;
    }
    // The engine copies `depth` into the storage of its previous depth map: no allocation per
    // frame, and no memory passing between threads for good (which makes the allocator's
    // per-thread pools grow with every frame).
    void Generate(const Picture& depth) {
        Timed(result_.times.texture, [this] { texture_->Next(engine_); });
        engine_.SetDepthMap(depth);
        Timed(result_.times.generate, [this] { engine_.Generate(); });
    }
    void ShowProgress(int handedOver) {
        bar_.Show(static_cast<std::size_t>(handedOver - 1), handedOver * 100 / frames_);
    }

    int frames_;
    const std::function<bool()>& stopRequested_;
    AnimationResult result_;
    // Before the scene: a sound track or a work file that fails does so before the scene is built.
    MovieOutput movie_;
    SceneCapture capture_;
    SceneFrames scene_;
    Stereogram engine_;
    std::optional<TextureFrames> texture_;
    ProgressBar bar_;
};

void AnimationRun::RunSequential() {
    Picture depth;
    for (int frame = 1; frame <= frames_ && !Stopping(); ++frame) {
        scene_.Next(depth.Bitmap());
        Generate(depth);
        Timed(result_.times.addFrame, [this] { movie_.Add(engine_.StereogramPicture()); });
        ShowProgress(frame);
    }
}

// The hand-overs of the overlapped loop: scene thread -> engine (the calling thread) -> writer
// thread. The scene stays at most two frames ahead and the writer at most two behind. Depth maps
// and results travel in a few buffers that go back to their producer for reuse, so memory does
// not grow with the frame count.
struct AnimationRun::Handovers {
    static constexpr std::size_t kBuffers = 2;
    BoundedQueue<Picture> depths{kBuffers};
    BoundedQueue<Picture> freeDepths{kBuffers};
    BoundedQueue<PixelBuffer> results{kBuffers};
    BoundedQueue<PixelBuffer> freeResults{kBuffers};

    Handovers() {
        for (std::size_t i = 0; i < kBuffers; ++i) {
            freeDepths.Push(Picture());
            freeResults.Push(PixelBuffer());
        }
    }
};

void AnimationRun::RunOverlapped() {
    Handovers h;
    Worker writer([this, &h] { WriteFrames(h); });
    // Only the depth of a frame is used: the colour is not drawn.
    capture_.SetDepthOnly(true);
    Worker scene(
        [this, &h, width = engine_.Width(), height = engine_.Height()] { CaptureFrames(h, width, height); });
    {
        // However the loop ends, the workers stop waiting for it.
        const CloseOnExit<Picture> stopScene{h.depths};
        const CloseOnExit<Picture> noMoreDepths{h.freeDepths};
        const CloseOnExit<PixelBuffer> lastResult{h.results};
        GenerateFrames(h);
    }
    scene.Finish();
    writer.Finish();
}

void AnimationRun::CaptureFrames(Handovers& h, int width, int height) {
    const CloseOnExit<Picture> noMoreDepths{h.depths};
    PixelBuffer captured;
    if (frames_ > 0) {
        scene_.Draw();
    }
    for (int frame = 1; frame <= frames_; ++frame) {
        std::optional<Picture> depth = h.freeDepths.Pop();
        if (!depth) {
            return;
        }
        scene_.Capture(captured);
        // The next frame is drawn while this one is fitted.
        if (frame < frames_) {
            scene_.Draw();
        }
        // Fitted here, the engine reads the map as it is and has less to do between frames.
        Timed(result_.times.fitDepth, [&] { FitDepthMap(captured, width, height, depth->Bitmap()); });
        if (!h.depths.Push(std::move(*depth))) {
            return;
        }
    }
}

void AnimationRun::GenerateFrames(Handovers& h) {
    for (int frame = 1; frame <= frames_ && !Stopping(); ++frame) {
        std::optional<Picture> depth = Timed(result_.times.waitScene, [&] { return h.depths.Pop(); });
        if (!depth) {
            return;  // the scene thread failed
        }
        Generate(*depth);
        h.freeDepths.Push(std::move(*depth));
        const bool handedOver = Timed(result_.times.handOver, [&] {
            std::optional<PixelBuffer> buffer = h.freeResults.Pop();
            if (!buffer) {
                return false;  // the writer failed
            }
            *buffer = engine_.StereogramPicture().Bitmap();
            return h.results.Push(std::move(*buffer));
        });
        if (!handedOver) {
            return;
        }
        ShowProgress(frame);
    }
}

void AnimationRun::WriteFrames(Handovers& h) {
    const CloseOnExit<PixelBuffer> refuseMore{h.results};
    const CloseOnExit<PixelBuffer> noMoreBuffers{h.freeResults};
    while (std::optional<PixelBuffer> frame = h.results.Pop()) {
        Timed(result_.times.addFrame, [&] { movie_.Add(*frame); });
        h.freeResults.Push(std::move(*frame));
    }
}

}  // namespace

void PrintStageTimes(std::ostream& out, const AnimationResult& r) {
    const StageTimes& t = r.times;
    const auto perFrame = [&r](double seconds) {
        return r.framesWritten > 0 ? seconds * 1000.0 / r.framesWritten : 0.0;
    };
    out << std::fixed << std::setprecision(1) << r.framesWritten << " frames in " << t.total << " s ("
        << (t.total > 0.0 ? r.framesWritten / t.total : 0.0) << " frames/s); ms per frame:"
        << " render " << perFrame(t.render) << ", read depth " << perFrame(t.readDepth) << ", map depth "
        << perFrame(t.mapDepth) << ", fit depth " << perFrame(t.fitDepth) << ", texture "
        << perFrame(t.texture) << ", generate " << perFrame(t.generate) << ", hand over "
        << perFrame(t.handOver) << ", wait for scene " << perFrame(t.waitScene) << ", add frame "
        << perFrame(t.addFrame) << "; save " << t.save << " s\n";
}

AnimationResult RunAnimation(const RenderOptions& options, std::ostream* progress,
                             const std::function<bool()>& stopRequested, FrameSchedule schedule) {
    const Clock::time_point start = Clock::now();
    AnimationRun run(options, progress, stopRequested);
    AnimationResult result = run.SaveAfter([&run, schedule] {
        if (schedule == FrameSchedule::Sequential) {
            run.RunSequential();
        } else {
            run.RunOverlapped();
        }
    });
    result.times.total = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
}

}  // namespace vistamaze::cli
