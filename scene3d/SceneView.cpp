#include "scene3d/SceneView.h"

#include <QSurfaceFormat>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include <GL/gl.h>

namespace vistamaze {

void SetDefaultGLSurfaceFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
}

SceneView::SceneView(QWidget* parent) : QOpenGLWidget(parent) {
    // The depth of the view's framebuffer is read back, which a multisampled one does not allow.
    QSurfaceFormat surfaceFormat = format();
    surfaceFormat.setSamples(0);
    surfaceFormat.setDepthBufferSize(24);
    setFormat(surfaceFormat);
    setUpdateBehavior(QOpenGLWidget::NoPartialUpdate);
}

SceneView::~SceneView() = default;

void SceneView::SetBackgroundColor(const QColor& colour) {
    settings_.backgroundColor = colour;
}

void SceneView::initializeGL() {}

void SceneView::paintGL() {
    const int w = DepthWidth();
    const int h = DepthHeight();
    if (scene_ != nullptr && camera_ != nullptr) {
        RenderScene(*scene_, *camera_, w, h, settings_);
    } else {
        const QColor& bg = settings_.backgroundColor;
        glClearColor(static_cast<GLfloat>(bg.redF()), static_cast<GLfloat>(bg.greenF()),
                     static_cast<GLfloat>(bg.blueF()), 1.0F);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    ++renderCount_;
    emit PostRender();
}

void SceneView::RepaintNow() {
    const long before = renderCount_;
    if (isVisible()) {
        repaint();
    }
    if (renderCount_ == before) {
        RenderUnshown();
        if (isVisible()) {
            update();
        }
    }
}

void SceneView::RenderUnshown() {
    if (!isValid()) {
        // A view that was never shown (say on a hidden tab) has no context yet; grabbing its
        // framebuffer creates one and renders.
        const long before = renderCount_;
        static_cast<void>(grabFramebuffer());
        if (renderCount_ != before || !isValid()) {
            return;
        }
    }
    makeCurrent();
    paintGL();
    doneCurrent();
}

QImage SceneView::ColorSnapshot() {
    // grabFramebuffer() would render again; the snapshot is of the last render.
    const int w = DepthWidth();
    const int h = DepthHeight();
    QImage image(w, h, QImage::Format_RGB32);
    if (!isValid()) {
        image.fill(settings_.backgroundColor);
        return image;
    }
    makeCurrent();
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    // BGRA words are the byte order of QImage::Format_RGB32.
    glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, image.bits());
    doneCurrent();
    // OpenGL rows run bottom-up.
    return std::move(image).mirrored(false, true);
}

int SceneView::DepthWidth() const {
    return std::max(1, static_cast<int>(std::lround(width() * devicePixelRatioF())));
}

int SceneView::DepthHeight() const {
    return std::max(1, static_cast<int>(std::lround(height() * devicePixelRatioF())));
}

void SceneView::ReadDepth(int width, int height, float* out) {
    if (!isValid()) {
        std::fill_n(out, static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 1.0F);
        return;
    }
    makeCurrent();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, out);
    doneCurrent();
}

}  // namespace vistamaze
