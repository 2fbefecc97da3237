// POSIX signals behind StopSignals. The handler does async-signal-safe work only: lock-free atomics,
// RemoveScratchFiles() (unlink, rmdir), write() and _exit().
#include "cli/StopSignals.h"

#include "output/ScratchFiles.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

#include <signal.h>
#include <unistd.h>

namespace vistamaze::cli {

namespace {

constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kNoteBytes = 4096;

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "a signal handler may use only lock-free atomics");

// What the handler reads: a handler can reach nothing but globals. Only `received` changes while
// our handler is installed.
// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables)
constinit std::atomic<int> received{0};
constinit std::atomic<bool> atOnce{false};
constinit std::atomic<bool> terminal{false};  // stderr is a terminal: a progress bar may be half drawn
constinit std::array<char, kNoteBytes> note{};
constinit std::size_t noteLength = 0;
// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)

void WriteAll(const char* text, std::size_t size) noexcept {
    while (size > 0) {
        const ssize_t n = ::write(STDERR_FILENO, text, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        text += n;
        size -= static_cast<std::size_t>(n);
    }
}

void WriteAll(const char* text) noexcept {
    WriteAll(text, std::strlen(text));
}

void StartLine() noexcept {
    WriteAll(terminal.load() ? "\nvistamaze-render: " : "vistamaze-render: ");
}

extern "C" void OnStopSignal(int signal) {
    int none = 0;
    const bool first = received.compare_exchange_strong(none, signal);
    if (first && !atOnce.load()) {
        // Said at once: the frame in progress may take a while, and a user may want to know that a
        // second request is there to stop sooner. The interrupted code keeps its errno.
        const int interruptedErrno = errno;
        StartLine();
        WriteAll(StopSignals::Name(signal));
        WriteAll(": the movie stops before its next frame (a second signal stops it at once)\n");
        errno = interruptedErrno;
        return;
    }
    RemoveScratchFiles();
    StartLine();
    WriteAll("stopped (");
    WriteAll(StopSignals::Name(signal));
    WriteAll(")");
    WriteAll(note.data(), noteLength);
    WriteAll("\n");
    ::_exit(StopSignals::ExitStatus(signal));
}

}  // namespace

// The dispositions our handler replaced, to put back.
struct StopSignals::Previous {
    std::array<struct sigaction, kStopSignals.size()> actions{};
    std::array<bool, kStopSignals.size()> replaced{};
};

StopSignals::StopSignals(StopMode mode, const std::string& text) : previous_(std::make_unique<Previous>()) {
    received.store(0);
    atOnce.store(mode == StopMode::AtOnce);
    terminal.store(::isatty(STDERR_FILENO) == 1);
    noteLength = std::min(text.size(), kNoteBytes);
    std::copy_n(text.data(), noteLength, note.begin());
    Previous& previous = *previous_;
    for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
        struct sigaction current {};
        previous.replaced[i] = false;
        if (::sigaction(kStopSignals[i], nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = &OnStopSignal;
        // Every stop signal is held off while the handler runs, so two at once cannot both be the
        // first. SA_RESTART: a stop request does not make a read or a write fail.
        sigemptyset(&action.sa_mask);
        for (const int other : kStopSignals) {
            sigaddset(&action.sa_mask, other);
        }
        action.sa_flags = SA_RESTART;
        previous.replaced[i] = ::sigaction(kStopSignals[i], &action, &previous.actions[i]) == 0;
    }
}

StopSignals::~StopSignals() {
    const Previous& previous = *previous_;
    for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
        if (previous.replaced[i]) {
            ::sigaction(kStopSignals[i], &previous.actions[i], nullptr);
        }
    }
}

int StopSignals::Received() const noexcept {
    return received.load();
}

const char* StopSignals::Name(int signal) noexcept {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "a signal";
    }
}

int StopSignals::ExitStatus(int signal) noexcept {
    return 128 + signal;
}

}  // namespace vistamaze::cli
