#pragma once

#include "output/AviWriter.h"
#include "output/CompressedMovie.h"
#include "scene3d/AnimationSteps.h"

#include <QString>
#include <chrono>
#include <exception>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>

namespace vistamaze {

class PreviewWindow;
class ProgressWindow;
class AnimationOptionsDialog;
class MainWindow;

// The animation: the "Render animation" command, the movie file dialog and the frame loop that
// turns the 3D view frame by frame into stereograms appended to a movie: an uncompressed AVI, or
// by the file's extension a compressed MP4 or WebM. Owned by the main
// window, whose engine, 3D tab, settings and texture it drives; the windows passed in must
// outlive it.
class AnimationRun {
public:
    AnimationRun(MainWindow& main, AnimationOptionsDialog& options, ProgressWindow& progress,
                 PreviewWindow& preview);
    ~AnimationRun();
    AnimationRun(const AnimationRun&) = delete;
    AnimationRun& operator=(const AnimationRun&) = delete;

    // The command: the options dialog, the movie file dialog, then the run inside the progress
    // window. Removes an existing target whose extension is ".avi" before the run. The main
    // window's "Stereogram Type" and "Oversampling" follow the dialog's type for the run (random
    // dots: none; textured: 4) and are restored afterwards in every case, also when a dialog was
    // cancelled or the run failed. The size fields and the engine keep the movie's size.
    void RenderAnimationCommand();

    // The command's steps after the dialogs, for the movie `file`: removes an existing `file`
    // whose extension is ".avi", applies the dialog's type, lets pending events through, gives
    // the size fields, the engine and the writer the movie's size, and the writer the frame time,
    // the file name and the dialog's sound track (none when the field was empty). A name ending in
    // ".mp4" or ".webm" (any letter case) makes a compressed movie (CompressedMovie) instead of
    // the AVI; an existing file of that name is then replaced only by the finished movie.
    void PrepareMovie(const QString& file);

    // The frame loop, run by the progress window in animation mode. Per frame: status
    // "Frame  n/N", the scene steps, the texture scale and rebuild, the texture position through
    // the preview's fields, redraw and capture, Generate, the picture into the preview's picture label
    // and onto the movie; Stop, looked at between frames, ends the loop. A hidden preview gets
    // only the last frame's picture, at the end of the run. The engine renders on a worker
    // thread while the next frame's scene is drawn and the previous frame is written on another;
    // the frames are those of the one-after-the-other order (see RunFrames).
    //
    // Whatever happens, the clean-up then shows "Saving data     ", puts the focal length and
    // the moved object's position back, completes and saves the movie with the frames written so
    // far (the work file is removed; a compressed movie not saved leaves its file as it was), restores the
    // texture position fields and unfreezes the depth range. Each clean-up step runs even when an earlier one
    // fails; the first error (of the loop, else of the clean-up) propagates as vistamaze::Error.
    void RunAnimation();

    // "Select movie file name", offering "AVI movie (uncompressed)" (the first, shown at start),
    // "MP4 movie (H.264)" and "WebM movie (VP9)"; a name typed without an extension gets the one
    // of the type shown. The chosen name (kept for the next time) or nothing on cancel.
    [[nodiscard]] std::optional<QString> SaveDialogAVI();

    [[nodiscard]] AviWriter& Writer() noexcept { return aviWriter_; }

private:
    struct FieldState {
        int maximum = 0;
        int value = 0;
    };

    void ApplyAnimationType();
    void PrepareRun(const AnimationOptions& options);
    void RunFrames(const AnimationOptions& options);
    void DrawFrameScene(const AnimationSteps& steps);
    void StepTexture(const AnimationSteps& steps);
    void StartWriting(const PixelBuffer& frame);
    void AddFrameToMovie(const PixelBuffer& frame);
    void FinishCompressedMovie();
    void FinishWriting();
    void MoveTexturePosition(const AnimationSteps& steps);
    void CleanUp(std::exception_ptr& failure);
    void ShowStatus(const QString& text);
    void ShowLastFrame();

    MainWindow& main_;
    AnimationOptionsDialog& options_;
    ProgressWindow& progress_;
    PreviewWindow& preview_;
    AviWriter aviWriter_;
    QString aviFileName_;
    // The movie of the next run, when PrepareMovie was given a compressed one, and while it runs
    // its writer.
    std::optional<std::pair<std::filesystem::path, MovieCodec>> compressedTarget_;
    std::unique_ptr<CompressedMovie> compressed_;
    CameraTravel travel_;
    std::optional<double> focalLength_;
    std::optional<FieldState> seXState_;
    std::optional<FieldState> seYState_;
    // The engine's picture of the last frame rendered, not yet in the preview's picture label.
    const Picture* lastFrame_ = nullptr;
    // The write of the frame on its way to the movie, on the writer thread.
    std::future<void> writing_;
    // When the 3D view on the screen is next brought up to the frame being drawn.
    std::chrono::steady_clock::time_point nextScreenRefresh_;
};

}  // namespace vistamaze
