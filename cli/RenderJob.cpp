#include "cli/RenderJob.h"

#include "cli/DepthMaps.h"
#include "engine/Errors.h"
#include "formats/PictureFile.h"
#include "output/AviWriter.h"
#include "output/PictureWriters.h"
#include "resources/DefaultTexture.h"

#include <algorithm>
#include <ostream>
#include <string>

namespace vistamaze::cli {

namespace {

bool IsMovie(const std::string& output) {
    return LowerCaseExtension(output) == ".avi";
}

void Configure(TStereogram& engine, const RenderOptions& o) {
    engine.SetStereoType(o.type);
    engine.SetWidth(o.width);
    engine.SetHeight(o.height);
    engine.SetDPI(o.dpi);
    engine.SetOversampling(o.oversampling);
    engine.SetBlur(o.blur);
    engine.SetDotIntensity(o.dotIntensity);
    engine.SetRandomDotColor(o.dotColors);
    engine.SetConverging(o.converging);
    engine.SetObservDistance(o.distance);
    engine.SetMax3Ddepth(o.maxDepth);
    engine.SetMin3Ddepth(o.minDepth);
    engine.SetStretchTexture(o.stretch);
    engine.SetPatOfX(o.textureOffsetX);
    engine.SetPatOfY(o.textureOffsetY);
    if (o.seed) {
        const std::uint32_t seed = *o.seed;
        engine.SeedSource = [seed] { return seed; };
    }
    engine.SetMaskMap(o.texture.empty() ? DefaultTexture() : ReadPictureFile(o.texture));
}

// A bar that redraws itself on one terminal line.
class ProgressBar {
public:
    ProgressBar(std::ostream* out, std::size_t count) : out_(out), count_(count) {}
    void Show(std::size_t index, int percent) {
        if (out_ == nullptr || percent == last_) {
            return;
        }
        last_ = percent;
        constexpr int kCells = 30;
        const int filled = percent * kCells / 100;
        *out_ << "\r" << (index + 1) << "/" << count_ << " ["
              << std::string(static_cast<std::size_t>(filled), '#')
              << std::string(static_cast<std::size_t>(kCells - filled), '.') << "] " << percent << "%"
              << std::flush;
    }
    void NextPicture() { last_ = -1; }
    ~ProgressBar() {
        if (out_ != nullptr) {
            *out_ << "\n" << std::flush;
        }
    }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

private:
    std::ostream* out_;
    std::size_t count_;
    int last_ = -1;
};

void RenderFrame(TStereogram& engine, const RenderOptions& o, std::size_t index, ProgressBar& bar) {
    engine.SetPatOfX(o.textureOffsetX + static_cast<int>(index) * o.textureStepX);
    engine.SetPatOfY(o.textureOffsetY + static_cast<int>(index) * o.textureStepY);
    engine.SetDepthMap(LoadDepthMap(o, index));
    bar.NextPicture();
    engine.OnGenerate = [&bar, index](TStereogram& e) { bar.Show(index, e.Progress()); };
    engine.Generate();
}

void WriteMovie(TStereogram& engine, const RenderOptions& o, ProgressBar& bar) {
    // A work folder of its own: users run several renderers at once.
    TAviWriter writer(ScreenSize{o.width * 10, o.height * 10}, TAviWriter::PrivateWorkFolder{});
    writer.SetWidth(o.width);
    writer.SetHeight(o.height);
    writer.SetFrameTime(1000 / o.fps);
    writer.SetStretch(true);
    writer.SetFileName(o.output);
    if (!o.audio.empty()) {
        writer.SetWavFileName(o.audio);
        writer.LoadAudio();
    }
    writer.Reset();
    writer.OpenWorkFile();
    for (std::size_t i = 0; i < o.depthMaps.size(); ++i) {
        RenderFrame(engine, o, i, bar);
        writer.AddFrame(engine.StereogramPicture());
    }
    writer.CloseVideo();
    writer.SaveMovie();
}

}  // namespace

void RunRender(const RenderOptions& o, std::ostream* progress) {
    const std::size_t count = DepthMapCount(o);
    const bool movie = IsMovie(o.output);
    if (!movie) {
        for (std::size_t i = 0; i < count; ++i) {
            if (PictureFileFormatFor(OutputFileFor(o, i, count)) == PictureFileFormat::None) {
                throw UsageError("cannot tell the picture format of \"" + OutputFileFor(o, i, count) +
                                 "\": use .png, .jpg, .jpeg, .bmp, .tga or .avi");
            }
        }
        if (count > 1 && o.output.find("%n") == std::string::npos &&
            !std::filesystem::is_directory(o.output)) {
            throw UsageError("with several depth maps OUT must be a folder, contain %n, or end in .avi");
        }
    }
    TStereogram engine;
    Configure(engine, o);
    ProgressBar bar(progress, count);
    if (movie) {
        WriteMovie(engine, o, bar);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        RenderFrame(engine, o, i, bar);
        SavePictureByExtension(engine.StereogramPicture(), OutputFileFor(o, i, count), o.quality,
                               std::to_string(engine.DPI()), o.png);
        SaveDepthMapUsed(engine, o);
    }
}

}  // namespace vistamaze::cli
