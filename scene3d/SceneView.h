#pragma once

#include "scene3d/DepthSource.h"
#include "scene3d/SceneRenderer.h"

#include <QImage>
#include <QOpenGLWidget>

namespace vistamaze {

// Makes the default OpenGL format the one the views need: compatibility profile (fixed-function
// drawing), 24-bit depth. Qt takes it only before the application object exists.
void SetDefaultGLSurfaceFormat();

// The on-screen 3D view: draws a scene with a camera into its own context; no anti-aliasing.
// Emits PostRender() after every render.
class SceneView : public QOpenGLWidget, public DepthSource {
    Q_OBJECT

public:
    explicit SceneView(QWidget* parent = nullptr);
    ~SceneView() override;

    // Scene and camera are not owned and must outlive the view (or be reset to null first).
    void SetScene(const Scene3d* scene) noexcept { scene_ = scene; }
    void SetCamera(Camera* camera) noexcept { camera_ = camera; }
    [[nodiscard]] Camera* ViewCamera() const noexcept { return camera_; }

    [[nodiscard]] const ViewSettings& Settings() const noexcept { return settings_; }
    void SetBackgroundColor(const QColor& colour);
    void SetFaceCulling(bool on) { settings_.faceCulling = on; }

    // Renders before returning (PostRender() included) and shows the result; also renders a view that
    // is hidden or was never shown.
    void RepaintNow();
    // Renders before returning (PostRender() included) into the view's framebuffer, where
    // ReadDepth and ColorSnapshot read it, but leaves the screen as it is until the next update():
    // putting a view on the screen composes its whole window again, which with a software
    // renderer costs more than the render itself.
    void RenderUnshown();
    // The colour image of the last render, upright, 32 bits per pixel (QImage::Format_RGB32).
    [[nodiscard]] QImage ColorSnapshot();
    // Number of renders so far.
    [[nodiscard]] long RenderCount() const noexcept { return renderCount_; }

    [[nodiscard]] int DepthWidth() const override;
    [[nodiscard]] int DepthHeight() const override;
    void ReadDepth(int width, int height, float* out) override;

signals:
    void PostRender();

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    const Scene3d* scene_ = nullptr;
    Camera* camera_ = nullptr;
    ViewSettings settings_;
    long renderCount_ = 0;
};

}  // namespace vistamaze
