#pragma once

#include <memory>

namespace vistamaze {

// A desktop OpenGL context (compatibility profile) that needs no display at all: Mesa's
// surfaceless EGL platform. It has no default framebuffer, so drawing goes into framebuffer
// objects. Plain libGL calls reach it while it is current, so the renderer of the on-screen view
// draws here unchanged.
//
// One such context at a time per process: the surfaceless EGL display is shared by everything
// in the process, and closing it (which the destructor does) ends every context made on it.
class SurfacelessGLContext {
public:
    // Throws vistamaze::Error naming the missing piece when EGL has no surfaceless platform, no
    // desktop OpenGL configuration with a 24-bit depth buffer, or cannot create the context.
    SurfacelessGLContext();
    ~SurfacelessGLContext();
    SurfacelessGLContext(const SurfacelessGLContext&) = delete;
    SurfacelessGLContext& operator=(const SurfacelessGLContext&) = delete;

    // Makes the context current on the calling thread. Throws vistamaze::Error when EGL refuses.
    void MakeCurrent();
    void DoneCurrent() noexcept;

    using Function = void (*)();
    // The address of the GL entry point `name`. Throws vistamaze::Error when the driver has none.
    [[nodiscard]] Function Resolve(const char* name) const;

    // Keeps the context current for the lifetime of the guard, also when an error passes.
    class Current {
    public:
        explicit Current(SurfacelessGLContext& context) : context_(context) { context_.MakeCurrent(); }
        ~Current() { context_.DoneCurrent(); }
        Current(const Current&) = delete;
        Current& operator=(const Current&) = delete;

    private:
        SurfacelessGLContext& context_;
    };

private:
    // EGL handles are opaque pointers; these release them (eglTerminate, eglDestroyContext).
    struct DisplayRelease {
        void operator()(void* display) const noexcept;
    };
    struct ContextRelease {
        void* display;
        void operator()(void* context) const noexcept;
    };

    std::unique_ptr<void, DisplayRelease> display_;
    std::unique_ptr<void, ContextRelease> context_;
};

}  // namespace vistamaze
