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

// The video's sound track as a WAV file in a work folder of its own; removed with this object.
class SoundTrackFile {
public:
    SoundTrackFile(DepthVideo& video, const std::string& videoName) : folder_(MakeFolder(videoName)) {
        path_ = folder_.Path() / "sound.wav";
        entry_.emplace(path_, ScratchFileEntry::Kind::File);
        WavWriter wav(path_, static_cast<int>(video.Facts().soundChannels),
                      static_cast<int>(video.Facts().soundRate));
        video.ReadSound([&wav](std::span<const float> samples) { wav.Add(samples); });
        wav.Finish();
    }
    ~SoundTrackFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    SoundTrackFile(const SoundTrackFile&) = delete;
    SoundTrackFile& operator=(const SoundTrackFile&) = delete;

    [[nodiscard]] const std::filesystem::path& Path() const noexcept { return path_; }

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
    std::filesystem::path path_;
    std::optional<ScratchFileEntry> entry_;
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
        movieOptions.audio = sound.emplace(video, o.depthMaps.front()).Path().string();
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
