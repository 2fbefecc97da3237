// vistamaze-render: single-image stereograms from depth maps, without a window. Built twice:
// as vistamaze-render, without the 3D layer, which hands runs with a 3D scene to the second
// build, vistamaze-render-scene (VM_SCENE_PROGRAM), linked with it.
#include "cli/EngineSetup.h"
#include "cli/FileRoles.h"
#include "cli/MovieOutput.h"
#include "cli/RenderJob.h"
#include "cli/RenderOptions.h"
#include "cli/SceneRuns.h"
#include "cli/StopSignals.h"
#include "cli/UsageText.h"
#include "importer/ChildProcess.h"
#include "output/CompressedMovie.h"
#include "output/PictureWriters.h"
#include "vistamaze/Version.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>

#include <unistd.h>

namespace {

using vistamaze::cli::Quoted;

bool EnvironmentFlag(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && std::strcmp(value, "1") == 0;
}

#ifndef VM_SCENE_PROGRAM
// Replaces this process by vistamaze-render-scene with the same arguments: beside this program in
// a build tree, in ../libexec/vistamaze when installed. Returns only on failure.
int RunSceneProgram(char** argv, const vistamaze::cli::RenderOptions& options) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    const std::array<std::filesystem::path, 2> candidates = {
        folder / "vistamaze-render-scene",
        folder / ".." / "libexec" / "vistamaze" / "vistamaze-render-scene"};
    for (const std::filesystem::path& program : candidates) {
        if (access(program.c_str(), X_OK) == 0) {
            // A scene run makes buffers of the picture's size and Mesa's in a fresh process;
            // a user's own setting is kept.
            const bool compressed =
                vistamaze::CompressedCodecFor(vistamaze::MovieFileFormatFor(options.output)).has_value();
            setenv("GLIBC_TUNABLES",
                   compressed ? vistamaze::kShortLivedMallocTunablesSmallPages
                              : vistamaze::kShortLivedMallocTunables,
                   0);
            execv(program.c_str(), argv);
            std::cerr << "vistamaze-render: cannot start " << Quoted(program.string()) << ": "
                      << std::strerror(errno) << "\n";
            return 1;
        }
    }
    std::cerr
        << "vistamaze-render: 3D scenes need vistamaze-render-scene, which is not installed beside it\n";
    return 1;
}
#else
// The scene program draws through Mesa, whose shader cache warns on stderr when it cannot make its
// folder (a read-only or missing home). The command line's stderr is for its own messages, and
// the cache only saves compiling a few small shaders. Set before any thread or GL context is
// made; a user's own setting is kept.
void QuietenGraphicsDrivers() {
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
}
#endif

bool IsMovieRun(const vistamaze::cli::RenderOptions& options) {
    return options.animation.Requested() || vistamaze::cli::IsMovieFile(options.output);
}

// What a run ended at once by a signal says after "stopped (SIGINT)".
std::string AtOnceNote(const vistamaze::cli::RenderOptions& options, bool movie) {
    if (movie) {
        return " at once; " + vistamaze::cli::UntouchedNote(options.output);
    }
    return "; nothing more was written";
}

// What a movie stopped by a signal between frames says.
std::string StoppedNote(const vistamaze::cli::RenderOptions& options, int signal, int frames) {
    const std::string stopped =
        std::string("vistamaze-render: stopped (") + vistamaze::cli::StopSignals::Name(signal) + ")";
    if (frames == 0) {
        return stopped + " before the first frame; " + vistamaze::cli::UntouchedNote(options.output);
    }
    return stopped + "; " + Quoted(options.output) + " holds " + vistamaze::cli::FramesWrittenPhrase(frames);
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
        std::cout << "vistamaze-render " << vistamaze::kVersion << "\n";
        return 0;
    }
    RenderControl control;
#ifdef VM_SCENE_PROGRAM
    QuietenGraphicsDrivers();
    control.scene = LinkedSceneRuns();
#else
    if (options.scene.Requested() || options.animation.Requested()) {
        return RunSceneProgram(argv, options);
    }
#endif
    // A movie stops between frames and keeps what it has; pictures have nothing to keep.
    const bool movie = IsMovieRun(options);
    const StopSignals signals(movie ? StopMode::BetweenFrames : StopMode::AtOnce, AtOnceNote(options, movie));
    control.stopRequested = [&signals] { return signals.Received() != 0; };
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
        // Also when the request came after the last frame was started: the movie is complete.
        if (const int signal = signals.Received(); signal != 0) {
            std::cerr << StoppedNote(options, signal, result.framesWritten) << "\n";
            return StopSignals::ExitStatus(signal);
        }
    } catch (const UsageError& e) {
        std::cerr << "vistamaze-render: " << e.what() << "\n";
        return 2;
    } catch (const vistamaze::GeometryError& e) {
        std::cerr << "vistamaze-render: " << GeometryProblem(e, options) << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "vistamaze-render: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
