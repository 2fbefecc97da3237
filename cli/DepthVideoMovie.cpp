#include "cli/DepthVideoMovie.h"

#include "cli/EngineSetup.h"
#include "cli/FileRoles.h"
#include "cli/MovieOutput.h"
#include "cli/ProgressBar.h"
#include "engine/Errors.h"
#include "importer/DepthVideo.h"
#include "output/CompressedMovie.h"
#include "output/ScratchFiles.h"
#include "output/WavWriter.h"
#include "output/WorkFolder.h"

#include <cstdint>
#include <exception>
#include <numeric>
#include <optional>
#include <system_error>

namespace vistamaze::cli {
namespace {

// A stop request while the sound track is read.
struct SoundStopped {};

// A file listed for RemoveScratchFiles() while it exists; removed, then taken off the list, when
// this goes.
class ListedFile {
public:
    explicit ListedFile(std::filesystem::path path)
        : path_(std::move(path)), entry_(path_, ScratchFileEntry::Kind::File) {}
    ~ListedFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    ListedFile(const ListedFile&) = delete;
    ListedFile& operator=(const ListedFile&) = delete;

    [[nodiscard]] const std::filesystem::path& Path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
    ScratchFileEntry entry_;
};

// The video's sound track as a WAV file in a work folder of its own; both are removed with this
// object, or when its making fails. Throws SoundStopped when `stop` (asked between the sound's
// chunks) says so.
class SoundTrackFile {
public:
    SoundTrackFile(DepthVideo& video, const std::string& videoName, const std::function<bool()>& stop)
        : folder_(MakeFolder(videoName)), file_(folder_.Path() / "sound.wav") {
        WavWriter wav(file_.Path(), static_cast<int>(video.Facts().soundChannels),
                      static_cast<int>(video.Facts().soundRate));
        video.ReadSound([&wav, &stop](std::span<const float> samples) {
            if (stop && stop()) {
                throw SoundStopped{};
            }
            wav.Add(samples);
        });
        wav.Finish();
    }

    [[nodiscard]] const std::filesystem::path& Path() const noexcept { return file_.Path(); }

private:
    static WorkFolder MakeFolder(const std::string& videoName) {
        try {
            return WorkFolder();
        } catch (const std::system_error& e) {
            throw Error("Cannot carry over the sound track of " + Quoted(videoName) + ": the work folder " +
                        Quoted(WorkFolder::NamePattern({}).string()) + ": " + e.code().message());
        }
    }

    WorkFolder folder_;
    ListedFile file_;  // goes before the folder
};

// The video's own rate, reduced, when a movie can run at exactly that rate.
std::optional<ExactFrameRate> VideoRate(const videowire::Facts& facts) {
    if (facts.rateNum == 0 || facts.rateDen == 0) {
        return std::nullopt;
    }
    const std::uint32_t common = std::gcd(facts.rateNum, facts.rateDen);
    const ExactFrameRate rate{facts.rateNum / common, facts.rateDen / common};
    return ExactRateFits(rate) ? std::optional(rate) : std::nullopt;
}

}  // namespace

bool HasDepthVideo(const RenderOptions& options) {
    return !options.scene.Requested() && options.depthMaps.size() == 1 &&
           IsDepthVideoName(options.depthMaps.front());
}

AnimationResult RenderDepthVideo(const RenderOptions& o, std::ostream* progress,
                                 const std::function<bool()>& stop) {
    Stereogram engine;
    ConfigureEngine(engine, o);
    DepthVideo video(o.depthMaps.front(), o.audio.empty());
    std::optional<SoundTrackFile> sound;
    RenderOptions movieOptions = o;
    if (video.Facts().soundChannels > 0) {
        try {
            movieOptions.audio = sound.emplace(video, o.depthMaps.front(), stop).Path().string();
        } catch (const SoundStopped&) {
            return AnimationResult{0, true, {}};
        }
    }
    const int frameTime = o.fpsGiven ? 1000 / o.fps : video.FrameTime();
    MovieOutput movie(movieOptions, frameTime, 1, o.fpsGiven ? std::nullopt : VideoRate(video.Facts()));
    ProgressBar bar(progress, video.Facts().frames);
    AnimationResult result;
    std::exception_ptr failure;
    try {
        for (std::int64_t frame = 0;; ++frame) {
            if (stop && stop()) {
                result.stopped = true;
                break;
            }
            std::optional<Picture> depth = video.NextFrame();
            if (!depth) {
                break;
            }
            // Far frames step the texture past any int; the engine wraps the 64-bit offset.
            engine.SetPatOfX(o.textureOffsetX + frame * o.textureStepX);
            engine.SetPatOfY(o.textureOffsetY + frame * o.textureStepY);
            engine.SetDepthMap(std::move(*depth));
            bar.NextPicture();
            const auto index = static_cast<std::size_t>(frame);
            engine.OnGenerate = [&bar, index](Stereogram& e) { bar.Show(index, e.Progress()); };
            engine.Generate();
            movie.Add(engine.StereogramPicture());
        }
    } catch (...) {
        failure = std::current_exception();
    }
    result.framesWritten = movie.Finish(failure, result.stopped);
    return result;
}

}  // namespace vistamaze::cli
