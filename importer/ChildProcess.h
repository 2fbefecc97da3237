#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vistamaze {

// Limits a child process runs under, set before it execs.
struct ChildLimits {
    // Address space (RLIMIT_AS); none when empty (a sanitizer's shadow memory needs terabytes).
    std::optional<std::uint64_t> addressSpaceBytes;
    // Wall-clock time from the start, or from the last RenewTime(); past it the child is killed.
    std::chrono::milliseconds wallTime{20'000};
    // CPU time (RLIMIT_CPU), a second line of defence behind the wall-clock time; none: the wall
    // time and 2 s. A child whose wall time runs per message needs one of its own.
    std::optional<std::chrono::seconds> cpuTime;
};

// Variables set for a child on top of ours, as "NAME=value"; each replaces one of ours by the
// same name.
using ChildEnvironment = std::vector<std::string>;

// glibc's malloc settings for a program that runs once and ends, given in its environment as
// GLIBC_TUNABLES. All its memory is new to it, and on some machines a page fault costs more than
// the work done in the page: malloc takes memory in huge pages, from one heap that grows in large
// steps and keeps what is freed, for a few hundred faults instead of tens of thousands.
inline constexpr const char* kShortLivedMallocTunables =
    "glibc.malloc.hugetlb=1:glibc.malloc.mmap_threshold=268435456:glibc.malloc.top_pad=67108864";
// The same in small pages, for a run that makes a compressed movie: the video encoders' many
// mid-sized buffers take some 40 MB more in huge pages at 1080p, and the faults saved are lost in
// the encoder's own time.
inline constexpr const char* kShortLivedMallocTunablesSmallPages =
    "glibc.malloc.mmap_threshold=268435456:glibc.malloc.top_pad=67108864";

// How a child ended.
struct ChildExit {
    bool timedOut = false;  // killed by us when its time was up
    int exitCode = -1;      // the status it exited with, or -1 when a signal ended it
    int signal = 0;         // the signal that ended it, or 0
};

// A helper program run with its standard output on a pipe to us, its standard input and error on
// /dev/null, no other descriptor of ours, no core dump, a file size limit of 0 (it cannot make a
// file grow), its own process group (a Ctrl+C at the terminal is ours to handle, not its) and
// the limits given; it is killed when the thread that started it dies. POSIX processes live in
// this class only. The destructor kills and reaps a child that is still running.
class ChildProcess {
public:
    // Where the child's standard input comes from.
    enum class Input { None, FromUs };

    // Starts `program` with `arguments` (argv[1] on). With Input::FromUs its standard input is a
    // stream from us (Send()) instead of /dev/null. Throws vistamaze::Error when it cannot.
    ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                 const ChildLimits& limits, const ChildEnvironment& environment = {},
                 Input input = Input::None);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Whether the child has not ended yet.
    [[nodiscard]] bool Running();
    // Writes `bytes` to the child's standard input and closes it; its wall-clock time starts
    // again from now (a child started ahead of its work waits for it idle). False when the child
    // no longer reads.
    bool Send(std::string_view bytes);
    // Starts the child's wall-clock time again from now: for a child that answers in many
    // messages, read as the caller asks for them, the time limit holds for each message.
    void RenewTime();

    // Fills `bytes` whole from the child's output. Returns false when the output ends first or
    // the time is up (the child is then killed; Wait() says so).
    bool ReadExactly(std::span<std::byte> bytes);
    // Closes our end of the output, waits for the child within its time (killing it when that
    // runs out) and says how it ended. Call once.
    ChildExit Wait();

private:
    void Kill() noexcept;
    [[nodiscard]] int RemainingMilliseconds() const;

    int pid_ = -1;
    int output_ = -1;
    int input_ = -1;
    std::chrono::milliseconds wallTime_;
    bool timedOut_ = false;
    std::chrono::steady_clock::time_point deadline_;
};

// A helper program of ours: $`variable` when set, else `name` beside the running program or in its
// ../libexec/vistamaze (an installed tree, or a build tree, which mirrors it). Empty when there is
// none.
[[nodiscard]] std::filesystem::path FindHelperProgram(const char* name, const char* variable);

// A time limit for messages: "20 s" in whole seconds, else "1500 ms".
[[nodiscard]] std::string TimeLimitText(std::chrono::milliseconds time);

// The signal's name in words ("Segmentation fault"), for messages.
[[nodiscard]] std::string SignalDescription(int signal);

}  // namespace vistamaze
