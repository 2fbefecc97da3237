#include "scene3d/HeadlessView.h"

#include "engine/Errors.h"

#include <array>
#include <string>

#include <GL/gl.h>
#include <GL/glext.h>

namespace vistamaze {

// The framebuffer object and its two renderbuffers; made and freed while the view's context is
// current. The framebuffer entry points are looked up through EGL, since plain libGL headers
// declare only OpenGL 1.x.
class HeadlessView::Framebuffer {
public:
    Framebuffer(const SurfacelessGLContext& context, int width, int height)
        : gen_(Load<PFNGLGENFRAMEBUFFERSPROC>(context, "glGenFramebuffers")),
          delete_(Load<PFNGLDELETEFRAMEBUFFERSPROC>(context, "glDeleteFramebuffers")),
          bind_(Load<PFNGLBINDFRAMEBUFFERPROC>(context, "glBindFramebuffer")),
          attach_(Load<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(context, "glFramebufferRenderbuffer")),
          status_(Load<PFNGLCHECKFRAMEBUFFERSTATUSPROC>(context, "glCheckFramebufferStatus")),
          genRender_(Load<PFNGLGENRENDERBUFFERSPROC>(context, "glGenRenderbuffers")),
          deleteRender_(Load<PFNGLDELETERENDERBUFFERSPROC>(context, "glDeleteRenderbuffers")),
          bindRender_(Load<PFNGLBINDRENDERBUFFERPROC>(context, "glBindRenderbuffer")),
          storage_(Load<PFNGLRENDERBUFFERSTORAGEPROC>(context, "glRenderbufferStorage")) {
        gen_(1, &framebuffer_);
        genRender_(static_cast<GLsizei>(renderbuffers_.size()), renderbuffers_.data());
        bind_(GL_FRAMEBUFFER, framebuffer_);
        const std::array<GLenum, 2> formats = {GL_RGBA8, GL_DEPTH_COMPONENT24};
        const std::array<GLenum, 2> points = {GL_COLOR_ATTACHMENT0, GL_DEPTH_ATTACHMENT};
        for (std::size_t i = 0; i < renderbuffers_.size(); ++i) {
            bindRender_(GL_RENDERBUFFER, renderbuffers_[i]);
            storage_(GL_RENDERBUFFER, formats[i], width, height);
            attach_(GL_FRAMEBUFFER, points[i], GL_RENDERBUFFER, renderbuffers_[i]);
        }
        bindRender_(GL_RENDERBUFFER, 0);
        complete_ = status_(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE && glGetError() == GL_NO_ERROR;
    }
    ~Framebuffer() {
        bind_(GL_FRAMEBUFFER, 0);
        delete_(1, &framebuffer_);
        deleteRender_(static_cast<GLsizei>(renderbuffers_.size()), renderbuffers_.data());
    }
    Framebuffer(const Framebuffer&) = delete;
    Framebuffer& operator=(const Framebuffer&) = delete;

    [[nodiscard]] bool Complete() const noexcept { return complete_; }
    void Bind() const { bind_(GL_FRAMEBUFFER, framebuffer_); }

private:
    template <typename F>
    static F Load(const SurfacelessGLContext& context, const char* name) {
        return reinterpret_cast<F>(context.Resolve(name));
    }

    PFNGLGENFRAMEBUFFERSPROC gen_;
    PFNGLDELETEFRAMEBUFFERSPROC delete_;
    PFNGLBINDFRAMEBUFFERPROC bind_;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC attach_;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC status_;
    PFNGLGENRENDERBUFFERSPROC genRender_;
    PFNGLDELETERENDERBUFFERSPROC deleteRender_;
    PFNGLBINDRENDERBUFFERPROC bindRender_;
    PFNGLRENDERBUFFERSTORAGEPROC storage_;
    GLuint framebuffer_ = 0;
    std::array<GLuint, 2> renderbuffers_{};
    bool complete_ = false;
};

namespace {

int CheckedSide(int side) {
    if (side < 1 || side > HeadlessView::kMaxSide) {
        throw Error("The display-free view must be 1 to " + std::to_string(HeadlessView::kMaxSide) +
                    " pixels a side, not " + std::to_string(side));
    }
    return side;
}

}  // namespace

HeadlessView::HeadlessView(int width, int height) : width_(CheckedSide(width)), height_(CheckedSide(height)) {
    const SurfacelessGLContext::Current current(context_);
    framebuffer_ = std::make_unique<Framebuffer>(context_, width_, height_);
    if (!framebuffer_->Complete()) {
        framebuffer_.reset();
        throw Error("Cannot create the " + std::to_string(width_) + " x " + std::to_string(height_) +
                    " framebuffer of the display-free view");
    }
}

HeadlessView::~HeadlessView() {
    // The framebuffer is freed in its own context; without it the context's end frees it anyway.
    try {
        const SurfacelessGLContext::Current current(context_);
        framebuffer_.reset();
    } catch (const Error&) {
    }
}

void HeadlessView::Render(const Scene3d& scene, Camera& camera) {
    const SurfacelessGLContext::Current current(context_);
    framebuffer_->Bind();
    const GLboolean colour = depthOnly_ ? GL_FALSE : GL_TRUE;
    glColorMask(colour, colour, colour, colour);
    RenderScene(scene, camera, width_, height_, settings_);
}

PixelBuffer HeadlessView::ColorSnapshot() {
    PixelBuffer image(width_, height_, 24);
    const SurfacelessGLContext::Current current(context_);
    framebuffer_->Bind();
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    // GL rows run bottom-up like the buffer's, and a pack alignment of 4 gives its row stride.
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width_, height_, GL_BGR, GL_UNSIGNED_BYTE, image.Data());
    return image;
}

void HeadlessView::ReadDepth(int width, int height, float* out) {
    if (width > width_ || height > height_) {
        throw Error("Cannot read " + std::to_string(width) + " x " + std::to_string(height) +
                    " depths from a view of " + std::to_string(width_) + " x " + std::to_string(height_));
    }
    const SurfacelessGLContext::Current current(context_);
    framebuffer_->Bind();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, out);
}

}  // namespace vistamaze
