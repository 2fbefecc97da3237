// vistamaze-video [--no-sound] -- FILE: reads a video file through the FFmpeg module and streams
// its facts, its sound track and then its frames to standard output (importer/VideoWire.h). The
// programs run it as a limited child process (importer/DepthVideo.h), so that a file that crashes,
// hangs or exhausts FFmpeg costs only this process. It loads the module and its libraries first,
// then confines itself to reading the video's folder, then opens the file. Exit status: 0 after
// the last frame, 1 with a reason, 2 for a wrong command line.
#include "formats/ImageLimits.h"
#include "importer/Confinement.h"
#include "importer/VideoWire.h"
#include "output/FfmpegMovie.h"

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// A crash inside FFmpeg stays a crash under AddressSanitizer, so the program reports it as it does
// in a normal build rather than as a missing answer.
extern "C" const char* __asan_default_options() {  // NOLINT: the sanitizer's own name
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_abort=0:detect_leaks=0";
}
#endif

namespace {

using namespace vistamaze;

void WriteAll(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            _exit(0);  // the program stopped listening: it needs nothing more
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

// Made by main() before any file is read, so that it can be sent when no memory is left.
const std::vector<std::byte>& OutOfMemoryRecord() {
    static const std::vector<std::byte> record = videowire::EncodeOutOfMemory();
    return record;
}

[[noreturn]] void Finish(std::span<const std::byte> record, int status) noexcept {
    try {
        WriteAll(record);
    } catch (...) {
    }
    // No exit handlers: nothing is left to flush, and a confined process could not run some of them.
    _exit(status);
}

[[noreturn]] void Terminate() noexcept {
    try {
        if (const std::exception_ptr current = std::current_exception()) {
            std::rethrow_exception(current);
        }
    } catch (const std::bad_alloc&) {
        Finish(OutOfMemoryRecord(), 1);
    } catch (...) {
    }
    _exit(1);
}

// A failure the module reported: out of memory is told apart.
struct ModuleFailure {
    VmMovieError error;
};

// The module beside this program, or where VISTAMAZE_FFMPEG_MODULE names it, loaded for good.
const VmMovieModule& LoadModule() {
    std::filesystem::path path;
    if (const char* chosen = std::getenv("VISTAMAZE_FFMPEG_MODULE"); chosen != nullptr && *chosen != '\0') {
        path = chosen;
    } else {
        std::error_code error;
        path = std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "vistamaze-ffmpeg.so";
    }
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (library == nullptr) {
        const char* reason = ::dlerror();
        throw std::runtime_error("the FFmpeg module cannot be loaded: " +
                                 std::string(reason != nullptr ? reason : path.string()));
    }
    void* entry = ::dlsym(library, kFfmpegMovieEntry);
    const VmMovieModule* module = entry != nullptr ? reinterpret_cast<VmMovieEntry>(entry)() : nullptr;
    if (module == nullptr || module->abi != kFfmpegMovieAbi) {
        throw std::runtime_error("the FFmpeg module " + path.string() + " does not fit this program");
    }
    return *module;
}

// The folders the reader may read: the video's own, and its target's when the name is a link.
std::vector<std::filesystem::path> ReadableFolders(const std::filesystem::path& file) {
    std::error_code error;
    std::vector<std::filesystem::path> folders{std::filesystem::absolute(file, error).parent_path()};
    const std::filesystem::path target = std::filesystem::canonical(file, error);
    if (!error && target.parent_path() != folders.front()) {
        folders.push_back(target.parent_path());
    }
    return folders;
}

struct VideoClose {
    const VmMovieModule* module;
    void operator()(void* video) const noexcept { module->closeVideo(video); }
};

void StreamSound(const VmMovieModule& module, void* video, const VmVideoFacts& facts) {
    std::vector<float> samples(std::size_t{videowire::kMaxSoundChunkFrames} *
                               static_cast<std::size_t>(facts.soundChannels));
    for (;;) {
        VmMovieError error{};
        const long long got =
            module.nextSound(video, samples.data(), videowire::kMaxSoundChunkFrames, &error);
        if (got < 0) {
            throw ModuleFailure{error};
        }
        if (got == 0) {
            return;
        }
        const auto head = videowire::RecordHead("SOND", static_cast<std::uint32_t>(got));
        WriteAll(head);
        WriteAll(std::as_bytes(std::span(
            samples.data(), static_cast<std::size_t>(got) * static_cast<std::size_t>(facts.soundChannels))));
    }
}

void StreamFrames(const VmMovieModule& module, void* video, const VmVideoFacts& facts) {
    const std::size_t rowBytes = static_cast<std::size_t>(facts.width) * (facts.grey != 0 ? 1 : 3);
    std::vector<std::uint8_t> frame(rowBytes * static_cast<std::size_t>(facts.height));
    for (std::uint32_t count = 0;; ++count) {
        VmMovieError error{};
        const int got = module.nextFrame(video, frame.data(), static_cast<std::ptrdiff_t>(rowBytes), &error);
        if (got < 0) {
            throw ModuleFailure{error};
        }
        if (got == 0) {
            return;
        }
        if (count == videowire::kMaxVideoFrames) {
            throw std::runtime_error("it holds more than the " + std::to_string(videowire::kMaxVideoFrames) +
                                     " frames a depth video may have");
        }
        WriteAll(videowire::RecordHead("FRAM", 0));
        WriteAll(std::as_bytes(std::span(frame)));
    }
}

void Run(const std::filesystem::path& file, bool withSound) {
    const VmMovieModule& module = LoadModule();
    ConfineToReading(ReadableFolders(file));
    VmVideoFacts facts{};
    VmMovieError error{};
    std::unique_ptr<void, VideoClose> video(module.openVideo(file.c_str(), withSound ? 1 : 0, &facts, &error),
                                            VideoClose{&module});
    if (!video) {
        throw ModuleFailure{error};
    }
    if (facts.width > kMaxPictureSide || facts.height > kMaxPictureSide ||
        std::int64_t{facts.width} * facts.height > kMaxPicturePixels) {
        throw std::runtime_error("its frames are " + std::to_string(facts.width) + " x " +
                                 std::to_string(facts.height) +
                                 " pixels, more than a depth map may have (6000 x 4000, 32768 a side)");
    }
    if (facts.frames > videowire::kMaxVideoFrames) {
        throw std::runtime_error("it claims " + std::to_string(facts.frames) + " frames, more than the " +
                                 std::to_string(videowire::kMaxVideoFrames) + " a depth video may have");
    }
    WriteAll(videowire::EncodeHead(videowire::Facts{
        static_cast<std::uint32_t>(facts.width), static_cast<std::uint32_t>(facts.height),
        static_cast<std::uint32_t>(facts.rateNum), static_cast<std::uint32_t>(facts.rateDen),
        static_cast<std::uint32_t>(std::min<long long>(facts.frames, videowire::kMaxVideoFrames + 1LL)),
        facts.grey != 0, static_cast<std::uint32_t>(facts.soundChannels),
        static_cast<std::uint32_t>(facts.soundRate)}));
    if (facts.soundChannels > 0) {
        StreamSound(module, video.get(), facts);
    }
    StreamFrames(module, video.get(), facts);
    WriteAll(videowire::RecordHead("DONE", 0));
}

}  // namespace

int main(int argc, char** argv) {
    static_cast<void>(OutOfMemoryRecord());
    std::set_terminate(&Terminate);
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const bool withSound = !(args.size() == 3 && args[0] == "--no-sound");
    if (!(args.size() == 2 || !withSound) || args[args.size() - 2] != "--") {
        Finish(videowire::EncodeFailure("usage: vistamaze-video [--no-sound] -- FILE"), 2);
    }
    try {
        Run(std::string(args.back()), withSound);
        Finish({}, 0);
    } catch (const std::bad_alloc&) {
        Finish(OutOfMemoryRecord(), 1);
    } catch (const ModuleFailure& f) {
        if (f.error.sysError == ENOMEM) {
            Finish(OutOfMemoryRecord(), 1);
        }
        Finish(videowire::EncodeFailure(f.error.text), 1);
    } catch (const std::exception& e) {
        Finish(videowire::EncodeFailure(e.what()), 1);
    }
}
