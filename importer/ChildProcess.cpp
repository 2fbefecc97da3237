#include "importer/ChildProcess.h"

#include "engine/Errors.h"
#include "output/ProgramFiles.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
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

// Runs in the child between vfork and exec, on our memory and stack while we wait: only
// async-signal-safe calls, no allocation, no locks, no exceptions, no writes to our memory but
// `execError`, which takes the errno of an exec that fails. Every signal is blocked on entry.
[[noreturn]] void BecomeChild(const char* program, char* const* argv, char* const* envp, int input,
                              int output, int devNull, const ChildLimits& limits, pid_t parent,
                              volatile int* execError) noexcept {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
        _exit(127);  // the parent died before the death signal was armed
    }
    dup2(input, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    static_cast<void>(syscall(SYS_close_range, 3U, ~0U, 0U));
    // A handler of ours must never run here, and our program may ignore SIGPIPE or SIGXFSZ or
    // block signals: the child starts with every signal at its default, unblocked.
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int s = 1; s < NSIG; ++s) {
        struct sigaction current {};
        if (sigaction(s, nullptr, &current) == 0 && current.sa_handler != SIG_DFL) {
            sigaction(s, &defaults, nullptr);
        }
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
    const auto seconds =
        static_cast<rlim_t>(limits.cpuTime ? limits.cpuTime->count() : limits.wallTime.count() / 1000 + 2);
    const rlimit cpu{seconds, seconds + 1};
    setrlimit(RLIMIT_CPU, &cpu);

    execve(program, argv, envp);
    *execError = errno;
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
                           const ChildLimits& limits, const ChildEnvironment& environment, Input input)
    : wallTime_(limits.wallTime), deadline_(std::chrono::steady_clock::now() + limits.wallTime) {
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
    // A stream socket rather than a pipe, so that a child that is gone makes Send() fail instead
    // of raising SIGPIPE in our program.
    int inputPair[2] = {-1, -1};
    int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0 || pipe2(output, O_CLOEXEC) != 0 ||
        (input == Input::FromUs && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inputPair) != 0)) {
        const std::string reason = std::strerror(errno);
        for (int* fd : {&devNull, &output[0], &output[1], &inputPair[0], &inputPair[1]}) {
            CloseQuietly(*fd);
        }
        throw Error("cannot start " + program.filename().string() + ": " + reason);
    }
    // A reply of megabytes passes in a few large reads instead of one per 64 KiB, each a switch
    // between the processes. Where the system allows less, the default size serves.
    static_cast<void>(::fcntl(output[1], F_SETPIPE_SZ, kOutputPipeBytes));
    const pid_t parent = getpid();
    // vfork, not fork: copying the page tables of a program holding pictures and a scene costs
    // milliseconds, and the child only sets itself up and execs. We wait until it has.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    volatile int execError = 0;
    pid_ = vfork();  // NOLINT(clang-analyzer-security.insecureAPI.vfork): the child only execs
    if (pid_ == 0) {
        BecomeChild(argv[0], argv.data(), envp.data(), input == Input::FromUs ? inputPair[1] : devNull,
                    output[1], devNull, limits, parent, &execError);
    }
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    CloseQuietly(output[1]);
    CloseQuietly(inputPair[1]);
    CloseQuietly(devNull);
    output_ = output[0];
    input_ = inputPair[0];
    if (pid_ < 0 || execError != 0) {
        const std::string reason = std::strerror(pid_ < 0 ? forkError : execError);
        if (pid_ > 0) {
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
        CloseQuietly(output_);
        CloseQuietly(input_);
        throw Error("cannot start " + program.filename().string() + ": " + reason);
    }
}

ChildProcess::~ChildProcess() {
    CloseQuietly(output_);
    CloseQuietly(input_);
    if (pid_ > 0) {
        Kill();
    }
}

int ChildProcess::RemainingMilliseconds() const {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1'000'000));
}

bool ChildProcess::Running() {
    if (pid_ <= 0) {
        return false;
    }
    // Looks without reaping, so that Wait() and Kill() still find the child.
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

bool ChildProcess::Send(std::string_view bytes) {
    deadline_ = std::chrono::steady_clock::now() + wallTime_;
    while (!bytes.empty() && input_ >= 0) {
        const ssize_t sent = ::send(input_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            break;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    CloseQuietly(input_);
    return bytes.empty();
}

void ChildProcess::RenewTime() {
    deadline_ = std::chrono::steady_clock::now() + wallTime_;
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

std::filesystem::path FindHelperProgram(const char* name, const char* variable) {
    return FindProgramFile(name, variable, X_OK);
}

std::string TimeLimitText(std::chrono::milliseconds time) {
    if (time.count() % 1000 == 0) {
        return std::to_string(time.count() / 1000) + " s";
    }
    return std::to_string(time.count()) + " ms";
}

std::string SignalDescription(int signal) {
    const char* text = sigdescr_np(signal);
    return text != nullptr ? std::string(text) : "signal " + std::to_string(signal);
}

}  // namespace vistamaze
