#include "importer/DepthVideo.h"

#include "engine/Errors.h"
#include "engine/QuotedName.h"
#include "formats/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <variant>

#include <sys/stat.h>

namespace vistamaze {
namespace {

constexpr const char* kProgramName = "vistamaze-video";

// A helper that only waits on a full pipe uses no CPU; one that spins is caught by the time of
// each message. This only ends a runaway helper the caller has stopped reading.
constexpr std::chrono::seconds kCpuLimit{24 * 3600};

}  // namespace

bool IsDepthVideoName(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".mp4" || extension == ".mkv" || extension == ".webm" || extension == ".mov" ||
           extension == ".avi";
}

std::filesystem::path DepthVideo::FindProgram() {
    return FindHelperProgram(kProgramName, "VISTAMAZE_VIDEO_READER");
}

void DepthVideo::Fail(const std::string& cause) const {
    throw Error("Cannot read depth video " + QuotedName(file_) + ": " + cause);
}

// Runs a read of the stream, turning its failures, and the helper's end behind them, into one
// line naming the file.
template <typename Work>
decltype(auto) DepthVideo::Checked(Work&& work) {
    child_->RenewTime();
    std::string cause;
    try {
        return work();
    } catch (const videowire::HelperFailure& e) {
        cause = e.what();
    } catch (const videowire::HelperOutOfMemory&) {
        cause =
            "the video reader needs more than " + std::to_string(kMemoryLimitBytes >> 30) + " GiB of memory";
    } catch (const videowire::StreamEnded&) {
        const ChildExit end = child_->Wait();
        if (end.timedOut) {
            cause = "the video reader took longer than " + TimeLimitText(timeLimit_);
        } else if (end.signal != 0) {
            cause = "the video reader stopped (" + SignalDescription(end.signal) + ")";
        } else {
            cause =
                "the video reader ended with status " + std::to_string(end.exitCode) + " without an answer";
        }
    } catch (const Error& e) {
        cause = e.what();
    }
    child_.reset();  // kills the helper
    Fail(cause);
}

DepthVideo::DepthVideo(std::filesystem::path file, bool withSound, std::filesystem::path program,
                       std::chrono::milliseconds timeLimit)
    : file_(std::move(file)), timeLimit_(timeLimit) {
    // Checked without opening, so that a FIFO or a device never blocks.
    struct stat info {};
    if (::stat(file_.c_str(), &info) != 0) {
        Fail(std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        Fail(std::string("it is ") + FileKindName(info.st_mode) + ", not a regular file");
    }
    if (program.empty()) {
        program = FindProgram();
    }
    if (program.empty()) {
        Fail(std::string("the video reader ") + kProgramName + " is not installed beside the program");
    }
    ChildLimits limits;
#ifndef VM_IMPORTER_NO_ADDRESS_LIMIT
    limits.addressSpaceBytes = kMemoryLimitBytes;
#endif
    limits.wallTime = timeLimit_;
    limits.cpuTime = kCpuLimit;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(file_, error);
    std::vector<std::string> arguments{"--", error ? file_.string() : absolute.string()};
    if (!withSound) {
        arguments.insert(arguments.begin(), "--no-sound");
    }
    try {
        child_ = std::make_unique<ChildProcess>(program, arguments, limits);
    } catch (const Error& e) {
        Fail(e.what());
    }
    Checked([&] {
        stream_ = std::make_unique<videowire::StreamReader>(
            [this](std::span<std::byte> bytes) { return child_->ReadExactly(bytes); });
    });
    facts_ = stream_->VideoFacts();
}

DepthVideo::~DepthVideo() = default;

int DepthVideo::FrameTime() const noexcept {
    if (facts_.rateNum == 0) {
        return 40;
    }
    const double ms = 1000.0 * facts_.rateDen / facts_.rateNum;
    return static_cast<int>(std::clamp(std::nearbyint(ms), 1.0, 1000.0));
}

void DepthVideo::ReadSound(const std::function<void(std::span<const float>)>& sink) {
    while (child_ && !pending_ && !ended_) {
        videowire::StreamReader::Record record = Checked([&] { return stream_->Next(); });
        if (const auto* sound = std::get_if<videowire::StreamReader::Sound>(&record)) {
            sink(sound->samples);
        } else if (auto* frame = std::get_if<videowire::StreamReader::Frame>(&record)) {
            pending_.emplace(std::move(frame->picture));
        } else {
            ended_ = true;
        }
    }
}

std::optional<Picture> DepthVideo::NextFrame() {
    if (pending_) {
        ++frames_;
        return std::exchange(pending_, std::nullopt);
    }
    while (child_ && !ended_) {
        videowire::StreamReader::Record record = Checked([&] { return stream_->Next(); });
        if (auto* frame = std::get_if<videowire::StreamReader::Frame>(&record)) {
            ++frames_;
            return Picture(std::move(frame->picture));
        }
        // Sound that ReadSound was not asked for is passed over.
        ended_ = std::holds_alternative<videowire::StreamReader::Done>(record);
    }
    if (child_) {
        const ChildExit end = child_->Wait();
        child_.reset();
        if (end.exitCode != 0) {
            Fail("the video reader ended with status " + std::to_string(end.exitCode));
        }
        if (frames_ == 0) {
            Fail("it holds no frames");
        }
    }
    return std::nullopt;
}

}  // namespace vistamaze
