#pragma once

#include "cli/RenderOptions.h"
#include "engine/Picture.h"
#include "scene3d/DepthMapping.h"

#include <memory>
#include <vector>

namespace vistamaze {
class Scene3d;
}

namespace vistamaze::cli {

// The desktop program's start-up scene with the model or the text of a SceneOptions in it, framed
// as the program's model load (or text change) and "Reset view" frame it and turned by the
// --rotate angles, and a display-free view of the options' size to draw it in. Creates a
// QGuiApplication on Qt's "offscreen" platform for the text outlines unless the process already
// has an application; so it is made and destroyed on the process's main thread. Render, ReadDepths,
// MapDepths and ColorSnapshot may run on another thread, one thread at a time.
class SceneCapture {
public:
    // Throws vistamaze::Error for a model that cannot be read (the message names the file or its
    // extension) and when there is no OpenGL without a display.
    explicit SceneCapture(const SceneOptions& options);
    ~SceneCapture();
    SceneCapture(const SceneCapture&) = delete;
    SceneCapture& operator=(const SceneCapture&) = delete;

    [[nodiscard]] Scene3d& Scene() noexcept;
    [[nodiscard]] int Width() const noexcept;
    [[nodiscard]] int Height() const noexcept;

    // Draws the scene as it is now.
    void Render();
    // See HeadlessView::SetDepthOnly.
    void SetDepthOnly(bool on) noexcept;
    // The view's depths of the last render: row 0 at the bottom, 1.0 where nothing was drawn.
    // Valid until the next call.
    [[nodiscard]] const std::vector<float>& ReadDepths();
    // The grey scale of `depths` with the options' depth sliders applied.
    [[nodiscard]] DepthRange RangeOf(const std::vector<float>& depths) const noexcept;
    // The view-sized 24-bit grey picture of `depths` (white nearest, black background) in `image`,
    // whose storage is kept when its size stays.
    void MapDepths(const std::vector<float>& depths, const DepthRange& range, PixelBuffer& image) const;
    // The colour picture of the last render.
    [[nodiscard]] PixelBuffer ColorSnapshot();

private:
    class State;
    std::unique_ptr<State> state_;
};

// Builds the desktop program's start-up scene, puts the model or the text of `options.scene` into
// it and frames it as the program's model load (or text change) and "Reset view" do, turns the
// moving object by the --rotate angles, draws it off screen without any display, and returns the
// captured depth map (view-sized, 24-bit, white nearest, black background). Writes the colour
// picture to `options.scene.pictureOut` when that is set. Creates a QGuiApplication on Qt's
// "offscreen" platform for the text outlines unless the process already has an application.
// Throws vistamaze::Error for a model that cannot be read (the message names the file or its
// extension) and when there is no OpenGL without a display.
[[nodiscard]] Picture CaptureSceneDepth(const RenderOptions& options);

}  // namespace vistamaze::cli
