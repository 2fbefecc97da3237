#pragma once

#include "engine/PixelBuffer.h"
#include "scene3d/DepthSource.h"
#include "scene3d/SceneRenderer.h"
#include "scene3d/SurfacelessContext.h"

#include <QColor>
#include <memory>

namespace vistamaze {

// A view that renders a scene with no display and no window system: its own surfaceless OpenGL
// context (see SurfacelessGLContext, one per process at a time) and a single-sample framebuffer
// object of a fixed size with RGBA8 colour and a 24-bit depth buffer. It draws with the renderer
// of the on-screen view, so the depth it leaves is the depth that view would leave at this size.
class HeadlessView : public DepthSource {
public:
    static constexpr int kMaxSide = 8192;

    // Throws vistamaze::Error for a side outside 1..kMaxSide, when there is no OpenGL without a
    // display, or when the driver cannot make the framebuffer.
    HeadlessView(int width, int height);
    ~HeadlessView() override;

    [[nodiscard]] int Width() const noexcept { return width_; }
    [[nodiscard]] int Height() const noexcept { return height_; }
    [[nodiscard]] const ViewSettings& Settings() const noexcept { return settings_; }
    void SetBackgroundColor(const QColor& colour) { settings_.backgroundColor = colour; }
    // While on, Render writes the depth buffer only and leaves the colour buffer as it was: the
    // depth is the same, drawn in less time, and ColorSnapshot shows an earlier render. Off at
    // first.
    void SetDepthOnly(bool on) noexcept { depthOnly_ = on; }

    // Draws `scene` seen by `camera`, which records the render (near plane, view size) as it does
    // for any view.
    void Render(const Scene3d& scene, Camera& camera);

    // The colour image of the last render: 24 bits, rows bottom-up, blue-green-red.
    [[nodiscard]] PixelBuffer ColorSnapshot();

    [[nodiscard]] int DepthWidth() const override { return width_; }
    [[nodiscard]] int DepthHeight() const override { return height_; }
    // Throws vistamaze::Error for a request larger than the view.
    void ReadDepth(int width, int height, float* out) override;

private:
    class Framebuffer;

    int width_;
    int height_;
    ViewSettings settings_;
    bool depthOnly_ = false;
    SurfacelessGLContext context_;
    std::unique_ptr<Framebuffer> framebuffer_;
};

}  // namespace vistamaze
