#include "scene3d/OffscreenView.h"

#include "engine/Errors.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>
#include <utility>

#include <GL/gl.h>

namespace vistamaze {

OffscreenView::OffscreenView(int width, int height) : width_(width), height_(height) {
    settings_.multisample = true;
    QSurfaceFormat surfaceFormat = QSurfaceFormat::defaultFormat();
    surfaceFormat.setDepthBufferSize(24);
    surface_ = std::make_unique<QOffscreenSurface>();
    surface_->setFormat(surfaceFormat);
    surface_->create();
    context_ = std::make_unique<QOpenGLContext>();
    context_->setFormat(surfaceFormat);
    if (!surface_->isValid() || !context_->create() || !context_->makeCurrent(surface_.get())) {
        throw Error("Cannot create the OpenGL context of the off-screen view");
    }
    QOpenGLFramebufferObjectFormat fboFormat;
    fboFormat.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    fboFormat.setInternalTextureFormat(GL_RGBA8);
    fboFormat.setSamples(2);
    multisampled_ = std::make_unique<QOpenGLFramebufferObject>(width_, height_, fboFormat);
    fboFormat.setSamples(0);
    resolved_ = std::make_unique<QOpenGLFramebufferObject>(width_, height_, fboFormat);
    const bool valid = multisampled_->isValid() && resolved_->isValid();
    context_->doneCurrent();
    if (!valid) {
        throw Error("Cannot create the framebuffer of the off-screen view");
    }
}

OffscreenView::~OffscreenView() {
    // Framebuffers are freed in their own context.
    if (context_ && context_->makeCurrent(surface_.get())) {
        multisampled_.reset();
        resolved_.reset();
        context_->doneCurrent();
    }
}

int OffscreenView::Samples() const noexcept {
    return multisampled_->format().samples();
}

void OffscreenView::MakeCurrent() {
    if (!context_->makeCurrent(surface_.get())) {
        throw Error("Cannot make the off-screen view's OpenGL context current");
    }
}

void OffscreenView::DoneCurrent() {
    context_->doneCurrent();
}

void OffscreenView::Render() {
    MakeCurrent();
    multisampled_->bind();
    if (scene_ != nullptr && camera_ != nullptr) {
        RenderScene(*scene_, *camera_, width_, height_, settings_);
    } else {
        const QColor& bg = settings_.backgroundColor;
        glViewport(0, 0, width_, height_);
        glClearColor(static_cast<GLfloat>(bg.redF()), static_cast<GLfloat>(bg.greenF()),
                     static_cast<GLfloat>(bg.blueF()), 1.0F);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    multisampled_->release();
    // Multisampled buffers cannot be read directly: resolve colour and depth first.
    const QRect rect(0, 0, width_, height_);
    QOpenGLFramebufferObject::blitFramebuffer(resolved_.get(), rect, multisampled_.get(), rect,
                                              GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT, GL_NEAREST);
    DoneCurrent();
}

QImage OffscreenView::ColorSnapshot() {
    // Read as BGRA words, the byte order of QImage::Format_RGB32, which is Mesa's fast path.
    QImage image(width_, height_, QImage::Format_RGB32);
    MakeCurrent();
    resolved_->bind();
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, image.bits());
    resolved_->release();
    DoneCurrent();
    // OpenGL rows run bottom-up.
    return std::move(image).mirrored(false, true);
}

void OffscreenView::ReadDepth(int width, int height, float* out) {
    MakeCurrent();
    resolved_->bind();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, out);
    resolved_->release();
    DoneCurrent();
}

}  // namespace vistamaze
