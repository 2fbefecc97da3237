#include "output/CompressedMovie.h"

#include "engine/Errors.h"
#include "engine/QuotedName.h"
#include "engine/Resample.h"
#include "formats/ImageLimits.h"
#include "output/FfmpegMovie.h"
#include "output/PictureWriters.h"
#include "output/ProgramFiles.h"
#include "output/ReplacingFile.h"
#include "output/UniqueFd.h"
#include "output/WavFile.h"
#include "output/WorkFolder.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace vistamaze {

namespace {

constexpr const char* kModuleName = "vistamaze-ffmpeg.so";
constexpr std::uint64_t kMaxRateTerm = 1'000'000;
constexpr int kMaxSoundChannels = 8;  // more are left out before the mix-down to stereo
constexpr std::uint32_t kMaxSoundRate = 768000;
constexpr std::uint64_t kSoundChunkFrames = 16384;

constexpr std::array<const char*, 9> kH264Presets = {"ultrafast", "superfast", "veryfast", "faster",  "fast",
                                                     "medium",    "slow",      "slower",   "veryslow"};
constexpr std::array<const char*, 2> kVp9Presets = {"realtime", "good"};

// The default qualities keep the stereogram: a decoder that finds each pixel's repeat distance
// gets within half a point of the uncompressed frame's share of right distances (textured; 960 x
// 540 and 1920 x 1080). Above them the share falls, the sooner the smaller the frames: at 960 x 540
// H.264 loses 1.0 points at CRF 20, 3.1 at 23 and 7.3 at 26; VP9 (realtime) 1.2 at 30 and 3.7 at
// 35, where its files are hardly smaller.
constexpr MovieCodecChoices kH264{"H.264", ".mp4", 51, 18, kH264Presets, "veryfast"};
constexpr MovieCodecChoices kVp9{"VP9", ".webm", 63, 26, kVp9Presets, "realtime"};

struct LibraryClose {
    void operator()(void* handle) const noexcept { ::dlclose(handle); }
};
using Library = std::unique_ptr<void, LibraryClose>;

std::filesystem::path FindModule() {
    return FindProgramFile(kModuleName, "VISTAMAZE_FFMPEG_MODULE", R_OK);
}

// The module stays loaded once loaded (RTLD_NODELETE): FFmpeg's libraries are not made to be
// unloaded, and a second movie then costs no second load.
std::pair<Library, const VmMovieModule*> LoadModule() {
    const std::filesystem::path path = FindModule();
    if (path.empty()) {
        throw Error(std::string("the FFmpeg module ") + kModuleName + " is not installed beside the program");
    }
    Library library(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
    if (!library) {
        const char* reason = ::dlerror();
        throw Error("cannot load the FFmpeg module " + QuotedName(path) + ": " +
                    (reason != nullptr ? reason : "unknown reason"));
    }
    void* entry = ::dlsym(library.get(), kFfmpegMovieEntry);
    const VmMovieModule* module = entry != nullptr ? reinterpret_cast<VmMovieEntry>(entry)() : nullptr;
    if (module == nullptr || module->abi != kFfmpegMovieAbi) {
        throw Error("the FFmpeg module " + QuotedName(path) + " belongs to another version of the program");
    }
    return {std::move(library), module};
}

std::string Cause(const VmMovieError& error) {
    return error.text[0] != '\0' ? std::string(error.text) : std::string("an unknown failure");
}

// One sample of `bytes` bytes as a float in -1..1: unsigned for 8 bits and less, as WAV stores
// them; signed little-endian with the value in the top bits above that; IEEE float for format 3.
float Sample(const WavFormat& format, const std::uint8_t* p, int bytes) {
    if (format.sampleTag == 3) {
        double value = 0;
        if (bytes == 4) {
            float f = 0;
            std::memcpy(&f, p, 4);
            value = f;
        } else {
            std::memcpy(&value, p, 8);
        }
        return std::isfinite(value) ? static_cast<float>(std::clamp(value, -1.0, 1.0)) : 0.0F;
    }
    if (bytes == 1) {
        return static_cast<float>(p[0] - 128) / 128.0F;
    }
    std::uint64_t bits = 0;
    for (int i = 0; i < bytes; ++i) {
        bits |= std::uint64_t{p[i]} << (64 - 8 * bytes + 8 * i);
    }
    return static_cast<float>(static_cast<double>(static_cast<std::int64_t>(bits)) * 0x1p-63);
}

}  // namespace

bool ExactRateFits(const ExactFrameRate& rate) noexcept {
    const std::uint64_t frames = rate.frames;
    const std::uint64_t seconds = rate.seconds;
    return frames >= 1 && seconds >= 1 && frames <= kMaxRateTerm && seconds <= kMaxRateTerm &&
           frames <= 1000 * seconds && seconds <= 1000 * frames;
}

MovieFileFormat MovieFileFormatFor(const std::filesystem::path& file) {
    const std::string extension = LowerCaseExtension(file);
    if (extension == ".avi") {
        return MovieFileFormat::Avi;
    }
    if (extension == ".mp4") {
        return MovieFileFormat::Mp4;
    }
    if (extension == ".webm") {
        return MovieFileFormat::WebM;
    }
    return MovieFileFormat::None;
}

std::optional<MovieCodec> CompressedCodecFor(MovieFileFormat format) {
    switch (format) {
        case MovieFileFormat::Mp4:
            return MovieCodec::H264;
        case MovieFileFormat::WebM:
            return MovieCodec::Vp9;
        default:
            return std::nullopt;
    }
}

const MovieCodecChoices& ChoicesFor(MovieCodec codec) {
    return codec == MovieCodec::H264 ? kH264 : kVp9;
}

// What a movie holds while it is made: the work folder and file, the module's movie, the sound.
class CompressedMovie::Work {
public:
    Work(const std::filesystem::path& tempFolder, MovieCodec codec)
        : folder_(tempFolder), file_(folder_.Path() / (std::string("movie") + ChoicesFor(codec).extension)) {
        std::tie(library_, module_) = LoadModule();
    }
    ~Work() {
        Close();
        if (!moved_) {
            ::unlink(file_.c_str());
        }
    }
    Work(const Work&) = delete;
    Work& operator=(const Work&) = delete;

    void Open(const VmMovieRequest& request) {
        fileEntry_.emplace(file_, ScratchFileEntry::Kind::File);
        VmMovieError error{};
        movie_ = module_->open(&request, &error);
        if (movie_ == nullptr) {
            throw Error(Cause(error));
        }
    }
    void Close() noexcept {
        if (movie_ != nullptr) {
            module_->close(std::exchange(movie_, nullptr));
        }
    }
    void Moved() noexcept {
        moved_ = true;
        fileEntry_.reset();
    }

    [[nodiscard]] const VmMovieModule& Module() const noexcept { return *module_; }
    [[nodiscard]] void* Movie() const noexcept { return movie_; }
    [[nodiscard]] const std::filesystem::path& File() const noexcept { return file_; }

    std::optional<WavFile> sound;
    int soundChannels = 0;  // of the samples handed to the module
    std::uint64_t soundSent = 0;
    std::vector<std::uint8_t> soundBytes;
    std::vector<float> soundSamples;

private:
    WorkFolder folder_;
    std::filesystem::path file_;
    std::optional<ScratchFileEntry> fileEntry_;
    Library library_;
    const VmMovieModule* module_ = nullptr;
    void* movie_ = nullptr;
    bool moved_ = false;
};

CompressedMovie::CompressedMovie(std::filesystem::path target, const CompressedMovieSettings& settings,
                                 const std::filesystem::path& tempFolder)
    : target_(std::move(target)), settings_(settings) {
    const MovieCodecChoices& choices = ChoicesFor(settings.codec);
    const auto fail = [this](const std::string& cause) {
        throw Error("Cannot make the movie " + QuotedName(target_) + ": " + cause);
    };
    try {
        CheckPictureSize(settings.width, settings.height);
    } catch (const Error&) {
        fail("frames of " + std::to_string(settings.width) + " x " + std::to_string(settings.height) +
             " pixels are not possible");
    }
    if (settings.frameTime <= 0) {
        fail("a frame time of " + std::to_string(settings.frameTime) + " ms is not possible");
    }
    if (settings.rate && !ExactRateFits(*settings.rate)) {
        fail("a frame rate of " + std::to_string(settings.rate->frames) + " / " +
             std::to_string(settings.rate->seconds) + " is not possible");
    }
    const int crf = settings.crf.value_or(choices.defaultCrf);
    if (crf < 0 || crf > choices.maxCrf) {
        fail(std::string(choices.name) + " takes a CRF from 0 to " + std::to_string(choices.maxCrf));
    }
    if (settings_.preset.empty()) {
        settings_.preset = choices.defaultPreset;
    }
    if (std::find(choices.presets.begin(), choices.presets.end(), settings_.preset) ==
        choices.presets.end()) {
        fail(std::string(choices.name) + " has no preset " + QuotedName(settings_.preset));
    }
    std::optional<WavFile> sound;
    if (!settings.sound.empty()) {
        try {
            sound.emplace(settings.sound);
        } catch (const AviError& e) {
            fail("the sound track " + QuotedName(settings.sound) + ": " + e.Reason());
        }
        if (sound->Format().sampleRate > kMaxSoundRate) {
            fail("the sound track " + QuotedName(settings.sound) + ": " +
                 std::to_string(sound->Format().sampleRate) + " samples a second are more than " +
                 std::to_string(kMaxSoundRate));
        }
    }
    try {
        work_ = std::make_unique<Work>(tempFolder, settings.codec);
    } catch (const std::system_error& e) {
        fail("cannot create its work folder " + QuotedName(WorkFolder::NamePattern(tempFolder)) + ": " +
             std::strerror(e.code().value()));
    } catch (const Error& e) {
        fail(e.what());
    }
    if (sound) {
        work_->soundChannels = std::min<int>(sound->Format().channels, kMaxSoundChannels);
        work_->sound.emplace(std::move(*sound));
    }
    const VmMovieRequest request{work_->File().c_str(),
                                 settings.width,
                                 settings.height,
                                 settings.frameTime,
                                 settings.codec == MovieCodec::H264 ? kVmMovieH264 : kVmMovieVp9,
                                 crf,
                                 settings_.preset.c_str(),
                                 work_->soundChannels,
                                 work_->sound ? static_cast<int>(work_->sound->Format().sampleRate) : 0,
                                 settings.rate ? static_cast<int>(settings.rate->frames) : 0,
                                 settings.rate ? static_cast<int>(settings.rate->seconds) : 0};
    try {
        work_->Open(request);
    } catch (const Error& e) {
        fail(std::string(e.what()) + " (work file " + QuotedName(work_->File()) + ")");
    }
}

CompressedMovie::~CompressedMovie() = default;

const std::filesystem::path& CompressedMovie::WorkFile() const noexcept {
    return work_->File();
}

// The sound up to sample frame `frameEnd` of the WAV file, read and handed over in chunks.
void CompressedMovie::AddSoundUntil(std::uint64_t frameEnd) {
    Work& w = *work_;
    if (!w.sound) {
        return;
    }
    const WavFormat& format = w.sound->Format();
    const int bytes = format.blockAlign / format.channels;
    frameEnd = std::min(frameEnd, w.sound->Frames());
    while (w.soundSent < frameEnd) {
        const std::uint64_t count = std::min(frameEnd - w.soundSent, kSoundChunkFrames);
        w.soundBytes.resize(static_cast<std::size_t>(count * format.blockAlign));
        try {
            w.sound->ReadSamples(w.soundSent * format.blockAlign, w.soundBytes);
        } catch (const AviError& e) {
            throw Error("the sound track " + QuotedName(settings_.sound) + ": " + e.Reason());
        }
        w.soundSamples.resize(static_cast<std::size_t>(count) * static_cast<std::size_t>(w.soundChannels));
        float* out = w.soundSamples.data();
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint8_t* frame = w.soundBytes.data() + i * format.blockAlign;
            for (int c = 0; c < w.soundChannels; ++c) {
                *out++ = Sample(format, frame + c * bytes, bytes);
            }
        }
        VmMovieError error{};
        if (w.Module().addSound(w.Movie(), w.soundSamples.data(), static_cast<std::size_t>(count), &error) !=
            0) {
            throw Error(Cause(error) +
                        (error.sysError != 0 ? " (work file " + QuotedName(w.File()) + ")" : ""));
        }
        w.soundSent += count;
    }
}

void CompressedMovie::AddFrame(const PixelBuffer& picture) {
    const int number = frames_ + 1;
    try {
        if (finished_ || work_->Movie() == nullptr) {
            throw Error("the movie is complete");
        }
        // The sound that plays until this frame ends goes in first, as an AVI interleaves it.
        if (work_->sound) {
            const auto rate = std::uint64_t{work_->sound->Format().sampleRate};
            const std::uint64_t scale = settings_.rate ? settings_.rate->seconds : settings_.frameTime;
            const std::uint64_t frameRate = settings_.rate ? settings_.rate->frames : 1000;
            AddSoundUntil(static_cast<std::uint64_t>(number) * scale * rate / frameRate);
        }
        const bool asIs = picture.BitsPerPixel() == 24 && picture.Width() == settings_.width &&
                          picture.Height() == settings_.height;
        if (!asIs) {
            frame_.SetSize(settings_.width, settings_.height, 24);
            if (picture.Empty()) {
                std::fill_n(frame_.Data(), frame_.ByteSize(), std::uint8_t{0});
            } else {
                ResizeBilinear(picture.BitsPerPixel() == 24 ? picture : picture.To24Bit(), frame_);
            }
        }
        const PixelBuffer& frame = asIs ? picture : frame_;
        VmMovieError error{};
        // Bottom-up rows: the top row is the last in memory.
        if (work_->Module().addFrame(work_->Movie(), frame.Row(frame.Height() - 1),
                                     -static_cast<std::ptrdiff_t>(frame.Stride()), &error) != 0) {
            throw Error(Cause(error) +
                        (error.sysError != 0 ? " (work file " + QuotedName(work_->File()) + ")" : ""));
        }
    } catch (const Error& e) {
        throw Error("Failed to add frame " + std::to_string(number) + " to the movie " + QuotedName(target_) +
                    ": " + e.what());
    }
    ++frames_;
}

void CompressedMovie::ThrowSaveError(const std::string& cause) const {
    throw Error("Failed to save the movie " + QuotedName(target_) + ": " + cause);
}

int CompressedMovie::Finish() {
    if (finished_ || work_->Movie() == nullptr) {
        ThrowSaveError("the movie is complete");
    }
    finished_ = true;
    if (frames_ == 0) {
        // A compressed movie without a frame does not play: MP4 drops the empty track.
        ThrowSaveError("it has no frames");
    }
    Work& w = *work_;
    try {
        AddSoundUntil(w.sound ? w.sound->Frames() : 0);
    } catch (const Error& e) {
        ThrowSaveError(e.what());
    }
    VmMovieError error{};
    const int finished = w.Module().finish(w.Movie(), &error);
    w.Close();
    if (finished != 0) {
        ThrowSaveError(Cause(error) +
                       (error.sysError != 0 ? " (work file " + QuotedName(w.File()) + ")" : ""));
    }
    const UniqueFd movie(::open(w.File().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    const int err = movie.Valid() ? ReplacingFile::RenameOver(movie.Get(), w.File(), target_) : errno;
    if (err == 0) {
        w.Moved();
        return frames_;
    }
    if (err != EXDEV) {
        ThrowSaveError(std::strerror(err));
    }
    // Another file system: copied beside the target, then renamed over it.
    try {
        ReplacingFile copy(target_);
        std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
        for (;;) {
            const ssize_t n = ::read(movie.Get(), buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                ThrowSaveError("cannot read its work file " + QuotedName(w.File()) + ": " +
                               std::strerror(errno));
            }
            if (n == 0) {
                break;
            }
            copy.Write(buffer.data(), static_cast<std::size_t>(n));
        }
        copy.Commit();
    } catch (const ReplacingFileError& e) {
        ThrowSaveError(std::strerror(e.SysError()));
    }
    return frames_;
}

}  // namespace vistamaze
