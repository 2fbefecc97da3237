#pragma once

#include "scene3d/DepthSource.h"
#include "scene3d/SceneRenderer.h"

#include <QImage>
#include <memory>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;

namespace vistamaze {

// The off-screen view: a fixed-size multisampled framebuffer (2 samples asked; the driver may give
// more) with 24-bit depth, rendered in its own context and resolved into a single-sample copy that
// snapshots and depth reads use.
class OffscreenView : public DepthSource {
public:
    static constexpr int kDefaultWidth = 1600;
    static constexpr int kDefaultHeight = 1200;

    // Needs a QGuiApplication. Throws vistamaze::Error when no OpenGL context or framebuffer can be
    // made.
    explicit OffscreenView(int width = kDefaultWidth, int height = kDefaultHeight);
    ~OffscreenView() override;

    void SetScene(const Scene3d* scene) noexcept { scene_ = scene; }
    void SetCamera(Camera* camera) noexcept { camera_ = camera; }
    [[nodiscard]] Camera* ViewCamera() const noexcept { return camera_; }

    [[nodiscard]] const ViewSettings& Settings() const noexcept { return settings_; }
    void SetBackgroundColor(const QColor& colour) { settings_.backgroundColor = colour; }
    void SetFaceCulling(bool on) { settings_.faceCulling = on; }

    [[nodiscard]] int Width() const noexcept { return width_; }
    [[nodiscard]] int Height() const noexcept { return height_; }
    // Samples the multisampled framebuffer really has.
    [[nodiscard]] int Samples() const noexcept;

    // Draws the scene (nothing but the background without scene or camera).
    void Render();
    // The colour image of the last render, upright, QImage::Format_RGB32.
    [[nodiscard]] QImage ColorSnapshot();

    [[nodiscard]] int DepthWidth() const override { return width_; }
    [[nodiscard]] int DepthHeight() const override { return height_; }
    void ReadDepth(int width, int height, float* out) override;

private:
    void MakeCurrent();
    void DoneCurrent();

    int width_;
    int height_;
    const Scene3d* scene_ = nullptr;
    Camera* camera_ = nullptr;
    ViewSettings settings_;
    std::unique_ptr<QOffscreenSurface> surface_;
    std::unique_ptr<QOpenGLContext> context_;
    std::unique_ptr<QOpenGLFramebufferObject> multisampled_;
    std::unique_ptr<QOpenGLFramebufferObject> resolved_;
};

}  // namespace vistamaze
