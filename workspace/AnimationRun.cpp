#include "workspace/AnimationRun.h"

#include "scene3d/SceneView.h"
#include "workspace/AnimationOptionsDialog.h"
#include "workspace/DepthView.h"
#include "workspace/MainWindow.h"
#include "workspace/ModelTab.h"
#include "workspace/PreviewWindow.h"
#include "workspace/ProgressWindow.h"
#include "workspace/VistamazeApplication.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <chrono>
#include <functional>
#include <future>
#include <utility>

namespace vistamaze {
namespace {

constexpr int kNoOversamplingItem = 0;  // "none"
constexpr int kOversampling4Item = 3;   // "4"
constexpr int kFastRandomDotItem = 0;
constexpr int kRandomDotTexturedItem = 1;
constexpr int kTexturedItem = 2;
// How often the 3D view and the depth view on the screen catch up with a running animation.
constexpr std::chrono::milliseconds kScreenRefreshInterval{250};

ScreenSize PrimaryScreenSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return {AviWriter::kMainWindowWidth * 10, AviWriter::kMainWindowHeight * 10};
    }
    return {screen->size().width(), screen->size().height()};
}

// While it lives, the engine renders on a worker thread: its hooks into the windows (event
// processing, progress) would run on that thread, so they are taken away and put back afterwards.
// The frame loop lets events through itself while it waits for the engine, and the engine's
// progress reaches the progress window as queued calls, in the order the rows finish.
class EngineHooksAway {
public:
    EngineHooksAway(Stereogram& engine, ProgressWindow& progress)
        : engine_(engine),
          events_(std::exchange(engine.ProcessEvents, nullptr)),
          progress_(std::exchange(engine.OnGenerate, nullptr)) {
        // Runs on the rendering thread; only a change of the percentage is posted.
        engine.OnGenerate = [&progress, posted = -1](Stereogram& rendering) mutable {
            const int percent = rendering.Progress();
            if (percent != posted) {
                posted = percent;
                QMetaObject::invokeMethod(
                    &progress, [&progress, percent] { progress.ShowProgress(percent); },
                    Qt::QueuedConnection);
            }
        };
    }
    ~EngineHooksAway() {
        engine_.ProcessEvents = std::move(events_);
        engine_.OnGenerate = std::move(progress_);
    }
    EngineHooksAway(const EngineHooksAway&) = delete;
    EngineHooksAway& operator=(const EngineHooksAway&) = delete;

private:
    Stereogram& engine_;
    std::function<void()> events_;
    std::function<void(Stereogram&)> progress_;
};

// Waits for `work`, letting pending events through (painting, Stop, the work's progress) every
// few milliseconds and once more when it is done, so that everything it posted has arrived; then
// rethrows what it threw.
void WaitLettingEventsThrough(std::future<void>& work) {
    while (work.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    work.get();
}

// The extension as the command compares it: from the last dot of the file name on, lower-cased.
QString LowerExtension(const QString& file) {
    const QString name = QFileInfo(file).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot).toLower();
}

}  // namespace

AnimationRun::AnimationRun(MainWindow& main, AnimationOptionsDialog& options, ProgressWindow& progress,
                           PreviewWindow& preview)
    : main_(main),
      options_(options),
      progress_(progress),
      preview_(preview),
      aviWriter_(PrimaryScreenSize()) {
    aviWriter_.ApplyMainWindowValues();
}

AnimationRun::~AnimationRun() = default;

std::optional<QString> AnimationRun::SaveDialogAVI() {
    FileDialogRequest request;
    request.caption = QStringLiteral("Select movie file name");
    request.filter = QStringLiteral(
        "AVI movie (uncompressed) (*.avi)|*.avi|MP4 movie (H.264) (*.mp4)|*.mp4|WebM movie (VP9) "
        "(*.webm)|*.webm");
    request.defaultSuffix = QStringLiteral("avi");
    request.initialFolder = main_.Folders().program;
    request.fileName = aviFileName_;
    std::optional<QString> file = VistamazeApplication::AppDialogs().SaveFile(&main_, request);
    if (file) {
        aviFileName_ = *file;
    }
    return file;
}

void AnimationRun::RenderAnimationCommand() {
    const int typeItem = main_.StereoTypeItem();
    const int oversamplingItem = main_.OversamplingItem();
    // The type first: choosing "Textured" again resets the oversampling, which then follows.
    const auto restoreSelections = [&] {
        main_.ChooseStereoTypeItem(typeItem);
        main_.ChooseOversamplingItem(oversamplingItem);
    };
    try {
        options_.exec();
        if (options_.Started()) {
            if (const std::optional<QString> file = SaveDialogAVI()) {
                PrepareMovie(*file);
                progress_.SetMode(ProgressWindow::kAnimationMode);
                progress_.exec();
            }
        }
    } catch (...) {
        restoreSelections();
        throw;
    }
    restoreSelections();
}

void AnimationRun::PrepareMovie(const QString& file) {
    if (QFileInfo::exists(file) && LowerExtension(file) == QStringLiteral(".avi")) {
        QFile::remove(file);
    }
    ApplyAnimationType();
    QCoreApplication::processEvents();
    const AnimationOptions& options = options_.Options();
    main_.ShowMovieSize(options.width, options.height);
    aviWriter_.SetWidth(options.width);
    aviWriter_.SetHeight(options.height);
    aviWriter_.SetFrameTime(FrameTimeFor(options.fps));
    aviWriter_.SetFileName(QFile::encodeName(file).toStdString());
    compressedTarget_.reset();
    const std::filesystem::path target(QFile::encodeName(file).toStdString());
    if (const std::optional<MovieCodec> codec = CompressedCodecFor(MovieFileFormatFor(target))) {
        compressedTarget_.emplace(target, *codec);
    }
    if (options_.SoundTrack().isEmpty()) {
        aviWriter_.ClearWavFileName();
    } else {
        aviWriter_.SetWavFileName(QFile::encodeName(options_.SoundTrack()).toStdString());
    }
}

void AnimationRun::ApplyAnimationType() {
    switch (options_.StereogramTypeItem()) {
        case AnimationOptionsDialog::kRandomDotItem:
            main_.ChooseStereoTypeItem(kFastRandomDotItem);
            main_.ChooseOversamplingItem(kNoOversamplingItem);
            break;
        case AnimationOptionsDialog::kRandomDotTexturedItem:
            main_.ChooseStereoTypeItem(kRandomDotTexturedItem);
            main_.ChooseOversamplingItem(kNoOversamplingItem);
            break;
        default:
            main_.ChooseStereoTypeItem(kTexturedItem);
            main_.ChooseOversamplingItem(kOversampling4Item);
            break;
    }
}

void AnimationRun::RunAnimation() {
    main_.SetStopRequested(false);
    main_.ShowModelTab();
    aviWriter_.Reset();
    focalLength_.reset();
    seXState_.reset();
    seYState_.reset();
    const AnimationOptions options = options_.Options();
    lastFrame_ = nullptr;
    std::exception_ptr failure;
    try {
        PrepareRun(options);
        RunFrames(options);
    } catch (...) {
        failure = std::current_exception();
    }
    CleanUp(failure);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void AnimationRun::PrepareRun(const AnimationOptions& options) {
    // A delayed texture update still pending would render on its own between frames.
    preview_.UpdateTimer().stop();
    QSpinBox* offsetXField = preview_.OffsetXField();
    QSpinBox* offsetYField = preview_.OffsetYField();
    seXState_ = FieldState{offsetXField->maximum(), offsetXField->value()};
    seYState_ = FieldState{offsetYField->maximum(), offsetYField->value()};
    offsetXField->setMaximum(kAnimationTextureRange);
    offsetYField->setMaximum(kAnimationTextureRange);
    ModelTab& tab = main_.ModelPage();
    // Taken before anything can fail, so that the clean-up never puts back a stale value.
    focalLength_ = tab.Scene().camera.FocalLength();
    if (compressedTarget_) {
        const std::string sound = aviWriter_.WavFileName();
        compressed_ = std::make_unique<CompressedMovie>(
            compressedTarget_->first,
            CompressedMovieSettings{aviWriter_.Width(), aviWriter_.Height(), aviWriter_.FrameTime(),
                                    compressedTarget_->second, std::nullopt, std::string(), sound,
                                    std::nullopt});
    } else {
        aviWriter_.OpenWorkFile();
    }
    if (options.steps.zoom == 0) {
        tab.SetFreezeDepthRange(true);
    }
    travel_ = CameraTravel{};
    progress_.StatusLabel()->clear();
}

// The next frame's scene is stepped, drawn and its depth read while the engine renders this frame
// on a worker thread, and this frame goes onto the movie on another thread while the engine
// renders the next. Each frame still gets the scene, depth map and texture position that one step
// after the other gives it, so the movie is the same. A frame begins when its status is shown;
// Stop ends the run before the next one begins, so the movie holds every frame that was shown
// and no other: a scene drawn ahead for a frame that never begins is put back, as it is after an
// error. An earlier frame's write error comes first, as it would have happened first.
void AnimationRun::RunFrames(const AnimationOptions& options) {
    ModelTab& tab = main_.ModelPage();
    Stereogram& engine = main_.Engine();
    const EngineHooksAway hooksAway(engine, progress_);
    tab.SetHoldCaptures(true);
    nextScreenRefresh_ = {};
    std::optional<FrameStepsUndo> drawnAhead;
    const auto drawNext = [&] {
        drawnAhead.emplace(tab.Scene(), travel_);
        DrawFrameScene(options.steps);
    };
    std::exception_ptr failure;
    try {
        QCoreApplication::processEvents();
        if (options.frames >= 1 && !main_.StopRequested()) {
            drawNext();
        }
        for (int frame = 1; drawnAhead && !main_.StopRequested(); ++frame) {
            ShowStatus(QStringLiteral("Frame  %1/%2").arg(frame).arg(options.frames));
            // The 3D view and the depth view follow the turning model a few times a second: a
            // repaint of either composes the whole window again, which costs more than the frame's
            // drawing. They show this frame from the next events on (the 3D view may show the
            // next one, if it is drawn by then).
            const auto now = std::chrono::steady_clock::now();
            const bool show = now >= nextScreenRefresh_;
            tab.PublishCapture(show);
            if (show) {
                tab.SceneViewer().update();
                nextScreenRefresh_ = now + kScreenRefreshInterval;
            }
            StepTexture(options.steps);
            drawnAhead.reset();
            std::future<void> generating = std::async(std::launch::async, [&engine] { engine.Generate(); });
            FinishWriting();
            QCoreApplication::processEvents();
            std::exception_ptr aheadFailure;
            if (frame < options.frames && !main_.StopRequested()) {
                try {
                    drawNext();
                } catch (...) {
                    aheadFailure = std::current_exception();
                }
            }
            WaitLettingEventsThrough(generating);
            // Each call copies the engine's frame: taken once, for the preview and the writer.
            const Picture& picture = engine.StereogramPicture();
            lastFrame_ = &picture;
            if (preview_.isVisible()) {
                ShowLastFrame();
            }
            StartWriting(picture.Bitmap());
            if (aheadFailure) {
                FinishWriting();
                std::rethrow_exception(aheadFailure);
            }
        }
        FinishWriting();
    } catch (...) {
        failure = std::current_exception();
        try {
            FinishWriting();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (drawnAhead) {
        drawnAhead->Restore(tab.Scene(), travel_);
    }
    tab.SceneViewer().update();
    tab.DepthPane().update();
    tab.SetHoldCaptures(false);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

// The scene part of a frame: its steps, the redraw and the capture, kept by the tab until the
// frame's turn.
void AnimationRun::DrawFrameScene(const AnimationSteps& steps) {
    ModelTab& tab = main_.ModelPage();
    ApplyFrameSteps(tab.Scene(), steps, travel_, tab.Slider("cameraXSlider")->value(),
                    tab.Slider("cameraYSlider")->value());
    // Drawn for the capture only: the frame loop puts the views on the screen now and then.
    tab.SceneViewer().RenderUnshown();
    tab.CaptureDepthMap();
    // This redraw is captured: the capture it asked for would only read the same depths again.
    tab.CancelPendingCapture();
}

// The texture part of a frame: the scale step and rebuild, then the position.
void AnimationRun::StepTexture(const AnimationSteps& steps) {
    if (main_.TextureScale() != 0.0) {
        main_.SetTextureScale(main_.TextureScale() + steps.textureScale);
        main_.MirrorTexture();
    }
    MoveTexturePosition(steps);
}

// The writer thread reads `frame` in place: it must stay unchanged until FinishWriting. The
// loop passes the engine's taken picture, which a render leaves alone (the engine renders into
// its own buffer) and which only the next StereogramPicture call replaces, after FinishWriting.
// One frame is written at a time.
void AnimationRun::StartWriting(const PixelBuffer& frame) {
    FinishWriting();
    writing_ = std::async(std::launch::async, [this, &frame] { AddFrameToMovie(frame); });
}

void AnimationRun::AddFrameToMovie(const PixelBuffer& frame) {
    if (compressed_) {
        compressed_->AddFrame(frame);
    } else {
        aviWriter_.AddFrame(frame);
    }
}

// With the frames written so far. A compressed movie that cannot be finished goes, with its work
// file; the target stays as it was.
void AnimationRun::FinishCompressedMovie() {
    const std::unique_ptr<CompressedMovie> movie = std::move(compressed_);
    if (movie) {
        movie->Finish();
    }
}

void AnimationRun::FinishWriting() {
    if (writing_.valid()) {
        writing_.get();
    }
}

// The fields' change handling hands the position to the engine and schedules the preview's
// delayed rebuild and render; the loop renders every frame itself, so that render is dropped.
void AnimationRun::MoveTexturePosition(const AnimationSteps& steps) {
    bool moved = false;
    for (const auto& [field, step] : {std::pair{preview_.OffsetXField(), steps.textureX},
                                      std::pair{preview_.OffsetYField(), steps.textureY}}) {
        if (step != 0) {
            field->setValue(NextTexturePosition(field->value(), step, field->maximum()));
            moved = true;
        }
    }
    if (moved) {
        preview_.UpdateTimer().stop();
    }
}

void AnimationRun::CleanUp(std::exception_ptr& failure) {
    const auto step = [&failure](auto&& action) {
        try {
            action();
        } catch (...) {
            if (!failure) {
                failure = std::current_exception();
            }
        }
    };
    ModelTab& tab = main_.ModelPage();
    step([&] { ShowStatus(QStringLiteral("Saving data     ")); });
    step([&] { ShowLastFrame(); });
    step([&] {
        if (focalLength_) {
            tab.Scene().camera.SetFocalLength(*focalLength_);
        }
        if (SceneObject* moving = tab.Scene().navigator.MovingObject()) {
            Vec3 position = moving->Position();
            position.x = tab.Slider("cameraXSlider")->value() / 20.0;
            position.y = tab.Slider("cameraYSlider")->value() / 20.0;
            moving->SetPosition(position);
        }
    });
    if (compressedTarget_) {
        step([&] { FinishCompressedMovie(); });
    } else {
        step([&] { aviWriter_.CloseVideo(); });
        step([&] { aviWriter_.SaveMovie(); });
    }
    step([&] {
        for (const auto& [field, state] :
             {std::pair{preview_.OffsetXField(), seXState_}, std::pair{preview_.OffsetYField(), seYState_}}) {
            if (state) {
                field->setMaximum(state->maximum);
                field->setValue(state->value);
            }
        }
        // The restored position reached the engine; the texture scale keeps the last frame's.
        preview_.UpdateTimer().stop();
    });
    step([&] { tab.SetFreezeDepthRange(false); });
    // The view shows the scene as it now is; its capture follows as after any redraw.
    tab.SceneViewer().update();
}

void AnimationRun::ShowLastFrame() {
    if (lastFrame_ != nullptr) {
        preview_.SetStereogram(lastFrame_->Bitmap());
        preview_.PictureLabel()->repaint();
        lastFrame_ = nullptr;
    }
}

void AnimationRun::ShowStatus(const QString& text) {
    QLabel* label = progress_.StatusLabel();
    label->setText(text);
    label->repaint();
}

}  // namespace vistamaze
