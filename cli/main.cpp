// vistamaze-render: single-image stereograms from depth maps, without a window.
#include "cli/RenderJob.h"
#include "cli/RenderOptions.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
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
