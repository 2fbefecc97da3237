#include "engine/Stereogram.h"

#include "engine/BufferOps.h"
#include "engine/Errors.h"
#include "engine/GuideDots.h"
#include "engine/Resample.h"
#include "engine/StereogramMath.h"
#include "engine/StereogramRows.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vistamaze {

using detail::FormatInches;
using detail::ToInt;
using detail::TruncChecked;

namespace {

constexpr int kRowsPerClaim = 4;
constexpr std::int64_t kMaxStretchedTexturePixels = 6000LL * 4000;

}  // namespace

std::uint32_t TimeOfDaySeed() {
    using namespace std::chrono;
    const auto now = system_clock::now().time_since_epoch();
    const auto msOfDay = duration_cast<milliseconds>(now).count() % (24LL * 60 * 60 * 1000);
    return static_cast<std::uint32_t>(msOfDay);
}

Stereogram::Stereogram() : SeedSource(TimeOfDaySeed) {
    UpdateGeometry();
}

Stereogram::~Stereogram() = default;

void Stereogram::SetWidth(int value) noexcept {
    width_ = value < 1 ? 600 : std::min(value, 6000);
}

void Stereogram::SetHeight(int value) noexcept {
    height_ = value < 1 ? 600 : std::min(value, 4000);
}

void Stereogram::SetStereoType(StereogramKind value) noexcept {
    if (value == StereogramKind::RandomDot) {
        oversampling_ = 1;
    }
    stereoType_ = value;
}

void Stereogram::SetDotIntensity(int value) noexcept {
    dotIntensity_ = std::clamp(value, 1, 99);
}

void Stereogram::SetDPI(int value) noexcept {
    dpi_ = std::max(value, 10);
    if (width_ < dpi_) {
        dpi_ = width_ / 2;
    }
    if (height_ < dpi_) {
        dpi_ = height_ / 2;
    }
    // Half of a 1-pixel side is 0 DPI, which leaves no geometry at all: a picture that small
    // still renders at 1 DPI.
    dpi_ = std::max(dpi_, 1);
    UpdateGeometry();
}

void Stereogram::SetOversampling(int value) noexcept {
    oversampling_ = std::clamp(value, 1, 8);
    if (stereoType_ == StereogramKind::RandomDot) {
        oversampling_ = 1;
    }
}

void Stereogram::SetObservDistance(double value) noexcept {
    observDistance_ = value;
    UpdateGeometry();
}

void Stereogram::SetMax3Ddepth(double value) noexcept {
    max3Ddepth_ = value;
    UpdateGeometry();
}

void Stereogram::SetMin3Ddepth(double value) noexcept {
    min3Ddepth_ = value;
    UpdateGeometry();
}

void Stereogram::SetSeparation(int value) {
    const long double dpi = dpi_;
    const auto et = static_cast<int>(2.5L * dpi);
    if (value >= et) {
        throw Error("The pattern width must be less than the eye separation of " + std::to_string(et) +
                    " pixels");
    }
    const long double depth =
        (static_cast<long double>(value) * dpi * observDistance_ / (et - value) + 1) / dpi;
    auto max3D = static_cast<double>(depth);
    max3D = static_cast<double>(static_cast<long double>(TruncChecked(max3D * 1000.0L)) / 1000.0L);
    max3Ddepth_ = max3D;
    if (min3Ddepth_ > max3Ddepth_) {
        min3Ddepth_ = max3Ddepth_ - 5;
    }
    UpdateGeometry();
}

void Stereogram::Generate() {
    // The busy flag covers the whole call: a render reached again from the host's event
    // processing returns at once, whatever Progress reads.
    if (busy_) {
        return;
    }
    busy_ = true;
    struct EndOfRender {
        Stereogram& e;
        ~EndOfRender() {
            e.depth_ = nullptr;
            e.depthBuffer_ = PixelBuffer();
            e.textureBuffer_ = PixelBuffer();
            e.busy_ = false;
        }
    } endOfRender{*this};

    if (!depthMap_.HasImage()) {
        throw Error("DepthMap is empty, please load depth image");
    }
    if (stereoType_ == StereogramKind::Textured && !maskMap_.HasImage()) {
        throw Error("Texture is empty, please load texture image");
    }
    // The output picture is sized and filled by StereogramPicture, from the output buffer.
    UpdateGeometry();
    PrepareBuffers();
    BuildSeparationTable();
    RenderRows();
    // Drawn over the finished picture: with the dots off, nothing of the render differs.
    if (guideDots_) {
        DrawGuideDots(outputBuffer_, GuideDotSpacing());
    }
    progress_ = 100;
    if (OnGenerate) {
        OnGenerate(*this);
    }
}

double Stereogram::GuideDotSpacing() const noexcept {
    return static_cast<double>(separationTable_[backgroundLevel_]) / oversampling_;
}

void Stereogram::PrepareBuffers() {
    depthBuffer_ = PixelBuffer();
    textureBuffer_ = PixelBuffer();
    // Every row overwrites all its pixels, so an output buffer of the right size is reused.
    if (outputBuffer_.Width() != width_ || outputBuffer_.Height() != height_) {
        outputBuffer_ = PixelBuffer(width_, height_, 24);
    }
    StereogramGeometry& g = geometry_;
    if (maskMap_.HasImage()) {
        GraphicToBuffer(textureBuffer_, maskMap_);
        // Only the textured kind reads the texture; a pattern width of 0 is refused later.
        const int tw = textureBuffer_.Width();
        const int th = textureBuffer_.Height();
        if (stretchTexture_ && stereoType_ == StereogramKind::Textured && g.patternWidth > 0 &&
            tw != separation_) {
            // A wide, flat texture stretched to a narrow pattern keeps one row.
            const std::int64_t newHeight = std::max<std::int64_t>(
                1,
                TruncChecked(th * (static_cast<long double>(g.patternWidth) / static_cast<long double>(tw))));
            // A tall, thin texture stretched to the pattern keeps its proportions: a 1-pixel-wide
            // strip would become millions of rows. No stereogram needs more than its own size.
            if (newHeight * g.patternWidth > kMaxStretchedTexturePixels) {
                throw Error("The texture stretched to the pattern width would be " +
                            std::to_string(g.patternWidth) + " x " + std::to_string(newHeight) +
                            " pixels, more than 6000 x 4000: use a texture that is not so tall and thin, "
                            "or turn stretching off");
            }
            ResizeBuffer(textureBuffer_, g.patternWidth, static_cast<int>(newHeight));
            g.textureHeight = textureBuffer_.Height();
        }
    }
    const PixelBuffer& given = depthMap_.Bitmap();
    // A 24-bit map that already has the output width (so its fitted height is its own) and
    // needs no inversion is read in place.
    if (given.BitsPerPixel() == 24 && given.Width() == width_ && !converging_) {
        depth_ = &given;
    } else {
        GraphicToBuffer(depthBuffer_, depthMap_);
        FitDepthMap(depthBuffer_, width_, height_);
        if (converging_) {
            for (int y = 0; y < depthBuffer_.Height(); ++y) {
                std::uint8_t* row = depthBuffer_.Row(y);
                for (std::size_t i = 0; i < static_cast<std::size_t>(depthBuffer_.Width()) * 3; ++i) {
                    row[i] = static_cast<std::uint8_t>(255 - row[i]);
                }
            }
        }
        depth_ = &depthBuffer_;
    }
    g.depthOffsetX = (width_ - depth_->Width()) / 2;
    g.depthOffsetY = (height_ - depth_->Height()) / 2;
    if (converging_) {
        backgroundLevel_ = 255;
    } else {
        backgroundLevel_ = 0;
    }
}

namespace {

// The height of `depth` scaled to `width`: a map much wider than the stereogram keeps one row.
int FittedDepthHeight(const PixelBuffer& depth, int width) {
    if (depth.Empty()) {
        throw Error("A picture cannot be resized to or from a size of zero");
    }
    return std::max(1, ToInt(TruncChecked(depth.Height() * (static_cast<long double>(width) /
                                                            static_cast<long double>(depth.Width())))));
}

// The first row, from the bottom, of the middle `height` rows of `fittedHeight`.
int MiddleBandStart(int fittedHeight, int height) {
    return -((height - fittedHeight) / 2);
}

}  // namespace

void FitDepthMap(PixelBuffer& depth, int width, int height) {
    const int fittedHeight = FittedDepthHeight(depth, width);
    if (fittedHeight > height) {
        // A tall, narrow map scaled whole would take many times the stereogram's memory.
        ResizeBufferBand(depth, width, fittedHeight, MiddleBandStart(fittedHeight, height), height);
    } else {
        ResizeBuffer(depth, width, fittedHeight);
    }
}

void FitDepthMap(const PixelBuffer& depth, int width, int height, PixelBuffer& fitted) {
    const int fittedHeight = FittedDepthHeight(depth, width);
    const int rows = std::min(fittedHeight, height);
    if (fitted.Width() != width || fitted.Height() != rows || fitted.BitsPerPixel() != 24) {
        fitted.SetSize(width, rows, 24);
    }
    if (fittedHeight > height) {
        ResizeBilinearBand(depth, fitted, fittedHeight, MiddleBandStart(fittedHeight, height));
    } else {
        ResizeBilinear(depth, fitted);
    }
}

void Stereogram::ReportRow(int row) {
    if (ProcessEvents) {
        ProcessEvents();
    }
    progress_ = static_cast<int>(100LL * row / height_);
    if (OnGenerate) {
        OnGenerate(*this);
    }
}

void Stereogram::RenderRows() {
    progress_ = 0;
    random_.Seed(SeedSource ? SeedSource() : TimeOfDaySeed());
    const bool textured = stereoType_ != StereogramKind::RandomDot;
    if (textured) {
        if (geometry_.patternWidthInternal == 0) {
            throw GeometryError(GeometryError::Cause::PatternTooNarrow, GeometryValues(),
                                "Division by zero: the maximum depth of " + FormatInches(max3Ddepth_) +
                                    " gives a pattern 0 pixels wide; it must give at least 1 pixel");
        }
        if (geometry_.patternWidthInternal < 0) {
            throw GeometryError(GeometryError::Cause::PatternNegative, GeometryValues(),
                                "The depth range gives a negative pattern width");
        }
        if (geometry_.startColumn < 0) {
            throw GeometryError(GeometryError::Cause::PatternTooWide, GeometryValues(),
                                "Pattern width exceeds the stereogram width");
        }
    }
    if (stereoType_ == StereogramKind::RandomDotTextured) {
        MakeRandomDotTile();
    }
    if (blur_ != BlurLevel::None) {
        BuildBlurTable();
    }
    EnsureScratch(1);
    int threads =
        renderThreads_ == 0 ? static_cast<int>(std::thread::hardware_concurrency()) : renderThreads_;
    threads = std::clamp(threads, 1, 16);
    const bool parallel = blur_ == BlurLevel::None && threads > 1 && height_ >= 2 * kRowsPerClaim;
    const RowRenderer renderer(*this);
    if (textured && parallel) {
        RenderRowsParallel(
            threads, [&renderer](int r, RowScratch& scratch) { renderer.RenderTextured(r, scratch); },
            [](int) {});
    } else if (parallel) {
        // Linking needs no random draws without blur, so rows are linked ahead on every thread
        // while the calling thread colours them in order from the one random stream.
        const auto stride = static_cast<std::size_t>(width_) + 1;
        std::vector<std::uint16_t> links(stride * static_cast<std::size_t>(height_));
        RenderRowsParallel(
            threads,
            [&](int r, RowScratch& scratch) {
                renderer.LinkFastRandomDot(r, scratch, links.data() + stride * static_cast<std::size_t>(r));
            },
            [&](int r) {
                renderer.ColourFastRandomDot(r, links.data() + stride * static_cast<std::size_t>(r));
            });
    } else {
        for (int r = 0; r < height_; ++r) {
            if (textured) {
                renderer.RenderTextured(r, *scratch_[0]);
            } else {
                renderer.LinkFastRandomDot(r, *scratch_[0], scratch_[0]->leftPartner.data());
                renderer.ColourFastRandomDot(r, scratch_[0]->leftPartner.data());
            }
            ReportRow(r);
        }
    }
}

void Stereogram::EnsureScratch(std::size_t count) {
    const auto entries = static_cast<std::size_t>(std::max(geometry_.internalWidth, width_)) + 1;
    if (scratch_.size() < count) {
        scratch_.resize(count);
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!scratch_[i] || scratch_[i]->leftPartner.size() < entries) {
            scratch_[i] = std::make_unique<RowScratch>(entries);
        }
    }
}

// Rows are claimed in small groups by the workers and by the calling thread, which alone
// finishes and reports them, strictly in order, so callbacks see the same sequence as a serial
// render.
void Stereogram::RenderRowsParallel(int threads, const std::function<void(int, RowScratch&)>& work,
                                    const std::function<void(int)>& finish) {
    EnsureScratch(static_cast<std::size_t>(threads));
    const int rows = height_;
    std::unique_ptr<std::atomic<std::uint8_t>[]> done(
        new std::atomic<std::uint8_t>[static_cast<std::size_t>(rows)]);
    for (int r = 0; r < rows; ++r) {
        done[static_cast<std::size_t>(r)].store(0, std::memory_order_relaxed);
    }
    std::atomic<int> nextRow{0};
    std::atomic<bool> stop{false};
    auto claimAndRender = [&](RowScratch& scratch) {
        const int first = nextRow.fetch_add(kRowsPerClaim, std::memory_order_relaxed);
        if (first >= rows) {
            return false;
        }
        const int last = std::min(rows, first + kRowsPerClaim);
        for (int r = first; r < last && !stop.load(std::memory_order_relaxed); ++r) {
            work(r, scratch);
            done[static_cast<std::size_t>(r)].store(1, std::memory_order_release);
            done[static_cast<std::size_t>(r)].notify_all();
        }
        return true;
    };
    {
        std::vector<std::jthread> workers;
        struct StopWorkers {
            std::atomic<bool>& stop;
            ~StopWorkers() { stop.store(true); }
        };
        for (int t = 1; t < threads; ++t) {
            RowScratch& scratch = *scratch_[static_cast<std::size_t>(t)];
            workers.emplace_back([&claimAndRender, &scratch, &stop] {
                while (!stop.load(std::memory_order_relaxed) && claimAndRender(scratch)) {
                }
            });
        }
        // Declared after the workers: runs first on the way out, so they stop before joining.
        const StopWorkers stopWorkers{stop};
        for (int r = 0; r < rows; ++r) {
            auto& flag = done[static_cast<std::size_t>(r)];
            while (flag.load(std::memory_order_acquire) == 0) {
                if (!claimAndRender(*scratch_[0])) {
                    flag.wait(0, std::memory_order_acquire);
                }
            }
            finish(r);
            ReportRow(r);
        }
    }
}

Picture Stereogram::TakeStereogramPicture() {
    outputPicture_ = Picture();
    return Picture(std::exchange(outputBuffer_, PixelBuffer()));
}

const Picture& Stereogram::StereogramPicture() {
    // Copy assignment reuses the picture's storage when the size has not changed.
    outputPicture_.Bitmap() = outputBuffer_;
    return outputPicture_;
}

}  // namespace vistamaze
