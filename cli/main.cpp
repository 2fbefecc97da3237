// vistamaze-render: single-image stereograms from depth maps, without a window. Built twice:
// as vistamaze-render, without the 3D layer, which hands runs with a 3D scene to the second
// build, vistamaze-render-scene (VM_SCENE_PROGRAM), linked with it.
#include "cli/RenderJob.h"
#include "cli/RenderOptions.h"
#include "cli/SceneRuns.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>

#include <signal.h>
#include <unistd.h>

namespace {

// Set by the first SIGINT of a scene movie: the frame loop ends before its next frame, as the
// desktop program's Stop does. The only state a signal handler touches.
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int /*signal*/) {
    stopRequested = 1;
}

// The first Ctrl+C asks the movie to stop; SA_RESETHAND gives a second one its usual effect.
void CatchFirstInterrupt() {
    struct sigaction action {};
    action.sa_handler = &RequestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

bool EnvironmentFlag(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && std::strcmp(value, "1") == 0;
}

#ifndef VM_SCENE_PROGRAM
// Replaces this process by vistamaze-render-scene with the same arguments: beside this program in
// a build tree, in ../libexec/vistamaze when installed. Returns only on failure.
int RunSceneProgram(char** argv) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    const std::array<std::filesystem::path, 2> candidates = {
        folder / "vistamaze-render-scene",
        folder / ".." / "libexec" / "vistamaze" / "vistamaze-render-scene"};
    for (const std::filesystem::path& program : candidates) {
        if (access(program.c_str(), X_OK) == 0) {
            execv(program.c_str(), argv);
            std::cerr << "vistamaze-render: cannot start " << program.string() << ": " << std::strerror(errno)
                      << "\n";
            return 1;
        }
    }
    std::cerr
        << "vistamaze-render: 3D scenes need vistamaze-render-scene, which is not installed beside it\n";
    return 1;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    // Past a file size limit a write must fail with EFBIG, so the error is reported and the
    // temporary files are removed, rather than the process being killed.
    std::signal(SIGXFSZ, SIG_IGN);
    using namespace vistamaze::cli;
    RenderOptions options;
    try {
        options = ParseRenderOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::cerr << "vistamaze-render: " << e.what() << "\n";
        return 2;
    }
    if (options.help) {
        std::cout << UsageText();
        return 0;
    }
    if (options.version) {
        std::cout << "vistamaze-render " << VM_VERSION << "\n";
        return 0;
    }
    RenderControl control;
#ifdef VM_SCENE_PROGRAM
    control.scene = LinkedSceneRuns();
#else
    if (options.scene.Requested() || options.animation.Requested()) {
        return RunSceneProgram(argv);
    }
#endif
    if (options.animation.Requested()) {
        CatchFirstInterrupt();
        control.stopRequested = [] { return stopRequested != 0; };
    }
    // Diagnostics, not options: the one-thread frame loop the overlapped one must match, and the
    // time each stage takes.
    if (EnvironmentFlag("VISTAMAZE_RENDER_SEQUENTIAL")) {
        control.schedule = FrameSchedule::Sequential;
    }
    if (EnvironmentFlag("VISTAMAZE_RENDER_TIMES")) {
        control.stageTimes = &std::cerr;
    }
    try {
        const AnimationResult result =
            RunRender(options, isatty(STDERR_FILENO) ? &std::cerr : nullptr, control);
        if (result.stopped) {
            // 130 = 128 + SIGINT, as a shell reports an interrupted command; the movie is complete.
            std::cerr << "vistamaze-render: stopped; " << options.output << " holds the "
                      << result.framesWritten << " frames written\n";
            return 130;
        }
    } catch (const UsageError& e) {
        std::cerr << "vistamaze-render: " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "vistamaze-render: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
