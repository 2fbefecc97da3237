#pragma once

#include <memory>
#include <string>

namespace vistamaze::cli {

// How a run answers the requests to end it: Ctrl+C (SIGINT), SIGTERM and SIGHUP.
enum class StopMode {
    // A movie: the first request asks the run to stop before its next frame (StopSignals::Received),
    // so that the frames written so far are saved, and says so on stderr; a second one ends the
    // process at once.
    BetweenFrames,
    // Pictures: the first request ends the process at once.
    AtOnce,
};

// Catches the requests to end the process while it lives; one at a time in a process. Ending at once
// removes the files listed for RemoveScratchFiles() (a picture's temporary file, a movie's work
// file and work folder: an existing output stays as it was, and nothing is left in the temporary
// folder), writes "vistamaze-render: stopped (<signal>)" and `note` as one line to stderr, and
// exits with 128 + the signal's number, as a shell reports a command that a signal ended. A request
// that was ignored when the process started (nohup, a background job) stays ignored.
//
// This is the one place of the platform's signal handling: a port replaces StopSignals.cpp.
class StopSignals {
public:
    StopSignals(StopMode mode, const std::string& note);
    // Puts back what the signals did before.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The number of the first request caught, or 0 while none was.
    [[nodiscard]] int Received() const noexcept;

    // "SIGINT", "SIGTERM" or "SIGHUP".
    [[nodiscard]] static const char* Name(int signal) noexcept;
    // 128 + the signal's number.
    [[nodiscard]] static int ExitStatus(int signal) noexcept;

private:
    struct Previous;
    std::unique_ptr<Previous> previous_;
};

}  // namespace vistamaze::cli
