#include "scene3d/SurfacelessContext.h"

#include "engine/Errors.h"

#include <array>
#include <cstring>
#include <string>

#include <EGL/egl.h>
#include <EGL/eglext.h>

namespace vistamaze {
namespace {

constexpr const char* kNoGL = "No OpenGL without a display: ";

bool HasExtension(const char* list, const char* name) {
    if (list == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(name);
    for (const char* p = std::strstr(list, name); p != nullptr; p = std::strstr(p + length, name)) {
        const bool starts = p == list || p[-1] == ' ';
        const bool ends = p[length] == '\0' || p[length] == ' ';
        if (starts && ends) {
            return true;
        }
    }
    return false;
}

EGLDisplay OpenSurfacelessDisplay() {
    // Client extensions are asked of no display; a driver without them answers null.
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    const auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!HasExtension(clientExtensions, "EGL_MESA_platform_surfaceless") || getPlatformDisplay == nullptr) {
        throw Error(std::string(kNoGL) +
                    "EGL has no surfaceless platform (Mesa's EGL, libegl-mesa0, is missing)");
    }
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY) {
        throw Error(std::string(kNoGL) + "EGL cannot open the surfaceless platform");
    }
    return display;
}

}  // namespace

void SurfacelessGLContext::DisplayRelease::operator()(void* display) const noexcept {
    eglTerminate(display);
}

void SurfacelessGLContext::ContextRelease::operator()(void* context) const noexcept {
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context);
}

SurfacelessGLContext::SurfacelessGLContext() {
    EGLDisplay display = OpenSurfacelessDisplay();
    if (eglInitialize(display, nullptr, nullptr) != EGL_TRUE) {
        throw Error(std::string(kNoGL) + "EGL cannot initialise the surfaceless platform");
    }
    display_.reset(display);
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
        throw Error(std::string(kNoGL) + "EGL offers no desktop OpenGL");
    }
    // The surfaceless platform has no window configurations, the default surface type; ask for
    // none: all drawing goes into framebuffer objects.
    const std::array<EGLint, 9> attributes = {EGL_SURFACE_TYPE, 0, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                              EGL_RED_SIZE,     8, EGL_DEPTH_SIZE,      24,
                                              EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (eglChooseConfig(display, attributes.data(), &config, 1, &count) != EGL_TRUE || count < 1) {
        throw Error(std::string(kNoGL) + "EGL offers no OpenGL configuration with a 24-bit depth buffer");
    }
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        throw Error(std::string(kNoGL) + "EGL cannot create an OpenGL context");
    }
    context_ = std::unique_ptr<void, ContextRelease>(context, ContextRelease{display});
}

// The context goes before the display: members are destroyed in reverse order.
SurfacelessGLContext::~SurfacelessGLContext() = default;

void SurfacelessGLContext::MakeCurrent() {
    if (eglMakeCurrent(display_.get(), EGL_NO_SURFACE, EGL_NO_SURFACE, context_.get()) != EGL_TRUE) {
        throw Error("Cannot make the display-free OpenGL context current");
    }
}

void SurfacelessGLContext::DoneCurrent() noexcept {
    eglMakeCurrent(display_.get(), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

SurfacelessGLContext::Function SurfacelessGLContext::Resolve(const char* name) const {
    const Function function = eglGetProcAddress(name);
    if (function == nullptr) {
        throw Error(std::string("The OpenGL driver lacks ") + name);
    }
    return function;
}

}  // namespace vistamaze
