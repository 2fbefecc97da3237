#include "importer/ChildProcess.h"

#include "engine/Errors.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vistamaze {
namespace {

constexpr int kOutputPipeBytes = 1 << 20;

void CloseQuietly(int& fd) noexcept {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Between fork and exec only async-signal-safe calls: no allocation, no locks, no exceptions.
// A failure to exec is reported as its errno on `errorPipe`, which exec closes on success.
[[noreturn]] void BecomeChild(const char* program, char* const* argv, char* const* envp, int output,
                              int devNull, int errorPipe, const ChildLimits& limits, pid_t parent) noexcept {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
        _exit(127);  // the parent died before the death signal was armed
    }
    dup2(devNull, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    static_cast<void>(syscall(SYS_close_range, 3U, ~0U, 0U));  // errorPipe is close-on-exec anyway
    // Our program may ignore SIGPIPE or SIGXFSZ or block signals; the child starts clean.
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int s : {SIGPIPE, SIGXFSZ, SIGINT, SIGTERM, SIGHUP}) {
        sigaction(s, &defaults, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);

    const rlimit zero{0, 0};
    setrlimit(RLIMIT_CORE, &zero);
    setrlimit(RLIMIT_FSIZE, &zero);
    if (limits.addressSpaceBytes) {
        const rlimit space{*limits.addressSpaceBytes, *limits.addressSpaceBytes};
        setrlimit(RLIMIT_AS, &space);
    }
    // A second line of defence behind the wall-clock limit: the kernel ends a child that spins.
    const auto seconds = static_cast<rlim_t>(limits.wallTime.count() / 1000 + 2);
    const rlimit cpu{seconds, seconds + 1};
    setrlimit(RLIMIT_CPU, &cpu);

    execve(program, argv, envp);
    const int error = errno;
    [[maybe_unused]] const ssize_t written = write(errorPipe, &error, sizeof error);
    _exit(127);
}

// Our environment with `extra` set on top, made before fork: the child may not allocate.
std::vector<std::string> MergedEnvironment(const ChildEnvironment& extra) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view variable(*entry);
        const std::string_view name = variable.substr(0, variable.find('=') + 1);
        const bool replaced = std::any_of(extra.begin(), extra.end(),
                                          [name](const std::string& e) { return e.starts_with(name); });
        if (!replaced) {
            merged.emplace_back(variable);
        }
    }
    merged.insert(merged.end(), extra.begin(), extra.end());
    return merged;
}

}  // namespace

ChildProcess::ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                           const ChildLimits& limits, const ChildEnvironment& environment)
    : deadline_(std::chrono::steady_clock::now() + limits.wallTime) {
    std::vector<std::string> strings{program.string()};
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& s : strings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> variables = MergedEnvironment(environment);
    std::vector<char*> envp;
    for (std::string& v : variables) {
        envp.push_back(v.data());
    }
    envp.push_back(nullptr);

    int output[2] = {-1, -1};
    int errorPipe[2] = {-1, -1};
    int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0 || pipe2(output, O_CLOEXEC) != 0 || pipe2(errorPipe, O_CLOEXEC) != 0) {
        const std::string reason = std::strerror(errno);
        CloseQuietly(devNull);
        for (int* fd : {&output[0], &output[1], &errorPipe[0], &errorPipe[1]}) {
            CloseQuietly(*fd);
        }
        throw Error("cannot start " + program.filename().string() + ": " + reason);
    }
    // A reply of megabytes passes in a few large reads instead of one per 64 KiB, each a switch
    // between the processes. Where the system allows less, the default size serves.
    static_cast<void>(::fcntl(output[1], F_SETPIPE_SZ, kOutputPipeBytes));
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        BecomeChild(argv[0], argv.data(), envp.data(), output[1], devNull, errorPipe[1], limits, parent);
    }
    const int forkError = errno;
    CloseQuietly(output[1]);
    CloseQuietly(errorPipe[1]);
    CloseQuietly(devNull);
    output_ = output[0];
    int execError = 0;
    ssize_t got = -1;
    if (pid_ > 0) {
        do {
            got = ::read(errorPipe[0], &execError, sizeof execError);
        } while (got < 0 && errno == EINTR);
    }
    CloseQuietly(errorPipe[0]);
    if (pid_ < 0 || got == sizeof execError) {
        const std::string reason = std::strerror(pid_ < 0 ? forkError : execError);
        if (pid_ > 0) {
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
        CloseQuietly(output_);
        throw Error("cannot start " + program.filename().string() + ": " + reason);
    }
}

ChildProcess::~ChildProcess() {
    CloseQuietly(output_);
    if (pid_ > 0) {
        Kill();
    }
}

int ChildProcess::RemainingMilliseconds() const {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1'000'000));
}

bool ChildProcess::ReadExactly(std::span<std::byte> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (output_ < 0 || timedOut_) {
            return false;
        }
        pollfd ready{output_, POLLIN, 0};
        const int polled = ::poll(&ready, 1, RemainingMilliseconds());
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled == 0) {
            timedOut_ = true;
            Kill();
            return false;
        }
        const ssize_t got = ::read(output_, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

ChildExit ChildProcess::Wait() {
    CloseQuietly(output_);
    ChildExit result;
    int status = 0;
    auto pause = std::chrono::microseconds(100);
    while (pid_ > 0) {
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            break;
        }
        if (done < 0 && errno != EINTR) {
            pid_ = -1;
            status = 0;
            break;
        }
        if (RemainingMilliseconds() == 0) {
            timedOut_ = true;
            Kill();
            break;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(10'000));
    }
    result.timedOut = timedOut_;
    if (!timedOut_) {
        if (WIFEXITED(status)) {
            result.exitCode = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result.signal = WTERMSIG(status);
        }
    }
    return result;
}

void ChildProcess::Kill() noexcept {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

std::string SignalDescription(int signal) {
    const char* text = sigdescr_np(signal);
    return text != nullptr ? std::string(text) : "signal " + std::to_string(signal);
}

}  // namespace vistamaze
