#include "engine/Stereogram.h"

#include "engine/BufferOps.h"
#include "engine/Errors.h"
#include "engine/Resample.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace vistamaze {

namespace {

constexpr int kBlurDraws = 10;
constexpr int kRowsPerClaim = 4;
constexpr std::int64_t kMaxStretchedTexturePixels = 6000LL * 4000;

std::int64_t TruncChecked(long double v) {
    if (!std::isfinite(v) || std::fabs(v) > 9.0e18L) {
        throw Error("Invalid floating point operation");
    }
    return static_cast<std::int64_t>(v);
}

int ToInt(std::int64_t v) {
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) {
        throw Error("Invalid floating point operation");
    }
    return static_cast<int>(v);
}

// "14 in", "0.5 in": a distance in inches as a message shows it.
std::string FormatInches(double inches) {
    std::ostringstream text;
    text << inches << " in";
    return text.str();
}

// Round half to even, as the geometry is defined.
int RoundChecked(long double v) {
    return ToInt(TruncChecked(std::nearbyintl(v)));
}

// E' * z / (z + D) for a depth level, in internal pixels before rounding; z is the level's
// distance, truncated to whole pixels. The divisor 256 puts level 255 just beyond the near plane.
long double ExactSeparation(const StereogramGeometry& g, int level) {
    const auto z =
        static_cast<long double>(TruncChecked(g.farPlane - (g.farPlane - g.nearPlane) * level / 256.0L));
    return g.eyeSeparationInternal * z / (z + g.viewDistance);
}

// Depth level of a 24-bit depth pixel: (B * 65536 + G * 256 + R) * 255 / 16777215.
inline int DepthLevel(const std::uint8_t* p) {
    const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    return static_cast<int>(v / 65793U);
}

inline std::uint32_t PackedAt(const std::uint8_t* row, int col) {
    const std::uint8_t* p = row + static_cast<std::size_t>(col) * 3;
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}

}  // namespace

std::uint32_t TimeOfDaySeed() {
    using namespace std::chrono;
    const auto now = system_clock::now().time_since_epoch();
    const auto msOfDay = duration_cast<milliseconds>(now).count() % (24LL * 60 * 60 * 1000);
    return static_cast<std::uint32_t>(msOfDay);
}

// Spreads a packed colour (B * 65536 + G * 256 + R) into 16-bit lanes, so that up to 256
// samples can be summed per channel with one 64-bit addition.
inline std::uint64_t Spread(std::uint32_t packed) {
    return (packed & 0xFFU) | (std::uint64_t{(packed >> 8) & 0xFFU} << 16) |
           (std::uint64_t{packed >> 16} << 32);
}

// Row arrays of one rendering thread, `entries` long: the internal width or the output width,
// whichever is larger, plus one. Sized to the render rather than to the largest possible width,
// which would cost a short render more in clearing memory than in rendering.
struct Stereogram::RowScratch {
    explicit RowScratch(std::size_t entries)
        : leftPartner(entries), rightPartner(entries), colour(entries), separation(entries) {}

    std::vector<std::uint16_t> leftPartner;
    std::vector<std::uint16_t> rightPartner;
    // Colour of each internal sample, spread into 16-bit lanes (see Spread).
    std::vector<std::uint64_t> colour;
    // Separation of each output column of the current row, internal pixels.
    std::vector<int> separation;
    // Texture row of each pattern strip for the current row.
    std::vector<const std::uint8_t*> stripRows;
};

// The row routines over one render's read-only state. RenderTextured touches only its scratch
// and its own output row, so rows may run on several threads at once.
class Stereogram::RowRenderer {
public:
    explicit RowRenderer(Stereogram& engine) : e_(engine), g_(engine.geometry_), os_(engine.oversampling_) {
        if (g_.patternWidthInternal > 0) {
            patX_ = static_cast<int>(engine.patOfX_ % g_.patternWidthInternal);
        }
        if (g_.textureHeight > 0) {
            patY_ = static_cast<int>(engine.patOfY_ % g_.textureHeight);
        }
        identity_.resize(static_cast<std::size_t>(std::max(g_.internalWidth, e_.width_)) + 1);
        for (std::size_t i = 0; i < identity_.size(); ++i) {
            identity_[i] = static_cast<std::uint16_t>(i);
        }
        if (e_.stereoType_ != StereogramKind::RandomDot && g_.patternWidthInternal > 0 &&
            g_.startColumn >= 0) {
            BuildSampleTables();
        }
    }

    // Fills scratch.separation for row r: one depth sample per output column.
    void SeparationsOfRow(int r, RowScratch& scratch) const {
        const PixelBuffer& depth = *e_.depth_;
        const int depthRow = r - g_.depthOffsetY;
        const std::uint8_t* row =
            (depthRow >= 0 && depthRow < depth.Height()) ? depth.Row(depthRow) : nullptr;
        const bool blurred = e_.blur_ != BlurLevel::None;
        int* out = scratch.separation.data();
        if (!blurred) {
            // Without blur no random draws are made, so the columns beside the map are filled
            // apart from those over it.
            const int background = e_.separationTable_[static_cast<std::size_t>(e_.backgroundLevel_)];
            const int first = row == nullptr ? 0 : std::clamp(g_.depthOffsetX, 0, e_.width_);
            const int end =
                row == nullptr ? 0 : std::clamp(g_.depthOffsetX + depth.Width(), first, e_.width_);
            std::fill(out, out + first, background);
            const std::uint8_t* p =
                row == nullptr ? nullptr : row + static_cast<std::ptrdiff_t>(first - g_.depthOffsetX) * 3;
            for (int c = first; c < end; ++c, p += 3) {
                out[c] = e_.separationTable_[static_cast<std::size_t>(DepthLevel(p))];
            }
            std::fill(out + end, out + e_.width_, background);
            return;
        }
        for (int c = 0; c < e_.width_; ++c) {
            const int dc = c - g_.depthOffsetX;
            const int level = (row != nullptr && dc >= 0 && dc < depth.Width())
                                  ? DepthLevel(row + static_cast<std::size_t>(dc) * 3)
                                  : e_.backgroundLevel_;
            out[c] = blurred ? e_.blurTable_[static_cast<std::size_t>(level)][e_.random_.Next(kBlurDraws)]
                             : e_.separationTable_[static_cast<std::size_t>(level)];
        }
    }

    void RenderTextured(int r, RowScratch& scratch) const {
        switch (os_) {
            case 1:
                return RenderTexturedAt<1>(r, scratch);
            case 2:
                return RenderTexturedAt<2>(r, scratch);
            case 3:
                return RenderTexturedAt<3>(r, scratch);
            case 4:
                return RenderTexturedAt<4>(r, scratch);
            case 5:
                return RenderTexturedAt<5>(r, scratch);
            case 6:
                return RenderTexturedAt<6>(r, scratch);
            case 7:
                return RenderTexturedAt<7>(r, scratch);
            default:
                return RenderTexturedAt<8>(r, scratch);
        }
    }

    // Links row r's same-colour columns into `same` (Width + 1 entries): every column points
    // to a column on its right that must show its colour, or to itself. Consumes random draws
    // only with blur.
    void LinkFastRandomDot(int r, RowScratch& scratch, std::uint16_t* same) const {
        SeparationsOfRow(r, scratch);
        const int w = e_.width_;
        std::copy_n(identity_.data(), w + 1, same);
        const int* sep = scratch.separation.data();
        for (int x = 0; x < w; ++x) {
            const int s = sep[x];
            int left = x - s / 2;
            if (s < 0 || left < 0 || left + s >= w) {
                continue;
            }
            int right = left + s;
            int k = same[left];
            while (k != left && k != right) {
                if (k < right) {
                    left = k;
                } else {
                    left = std::exchange(right, k);
                }
                k = same[left];
            }
            same[left] = static_cast<std::uint16_t>(right);
        }
    }

    // Colours row r from right to left: a free column takes a new random dot, a linked one the
    // colour of its partner, which lies to its right and is already coloured.
    void ColourFastRandomDot(int r, const std::uint16_t* same) const {
        std::uint8_t* out = e_.outputBuffer_.Row(r);
        for (int x = e_.width_ - 1; x >= 0; --x) {
            std::uint8_t* o = out + static_cast<std::size_t>(x) * 3;
            if (same[x] == x) {
                const Bgr c = e_.RandomDot();
                o[0] = c.b;
                o[1] = c.g;
                o[2] = c.r;
            } else {
                const std::uint8_t* from = out + static_cast<std::size_t>(same[x]) * 3;
                o[0] = from[0];
                o[1] = from[1];
                o[2] = from[2];
            }
        }
    }

private:
    template <int OS>
    void RenderTexturedAt(int r, RowScratch& scratch) const {
        SeparationsOfRow(r, scratch);
        LinkTextured<OS>(scratch);
        StripRowsOf(r, scratch);
        ColourRightwards(scratch);
        ColourLeftwards(scratch);
        DownSample<OS>(r, scratch);
    }

    // Each output column's separation applies to its OS samples; only the samples whose both
    // ends lie inside the row are visited.
    template <int OS>
    void LinkTextured(RowScratch& scratch) const {
        const int wi = g_.internalWidth;
        std::uint16_t* a = scratch.leftPartner.data();
        std::uint16_t* b = scratch.rightPartner.data();
        std::copy_n(identity_.data(), wi, a);
        std::copy_n(identity_.data(), wi, b);
        const int* sep = scratch.separation.data();
        for (int c = 0; c < e_.width_; ++c) {
            const int s = sep[c];
            if (s < 0) {
                continue;
            }
            const int half = s / 2;
            const int first = std::max(c * OS, half);
            const int end = std::min(c * OS + OS, wi - s + half);
            for (int x = first; x < end; ++x) {
                const int left = x - half;
                const int right = left + s;
                bool visible = true;
                const int oldLeft = a[right];
                if (oldLeft != right) {
                    if (oldLeft < left) {
                        b[oldLeft] = static_cast<std::uint16_t>(oldLeft);
                        a[right] = static_cast<std::uint16_t>(right);
                    } else {
                        visible = false;
                    }
                }
                const int oldRight = b[left];
                if (oldRight != left) {
                    if (oldRight > right) {
                        a[oldRight] = static_cast<std::uint16_t>(oldRight);
                        b[left] = static_cast<std::uint16_t>(left);
                    } else {
                        visible = false;
                    }
                }
                if (visible) {
                    a[right] = static_cast<std::uint16_t>(left);
                    b[left] = static_cast<std::uint16_t>(right);
                }
            }
        }
    }

    // Internal column j shows texture column ((j + phase + patX) mod pw) / OS of its strip's
    // texture row. Strips count from the start column: (j - xs) / pw rightwards of it,
    // (xs - j) / pw + 1 leftwards. Both depend on the column alone, so they are tabled once per
    // render instead of divided out for every sample.
    void BuildSampleTables() {
        const int wi = g_.internalWidth;
        const int pw = g_.patternWidthInternal;
        const int xs = g_.startColumn;
        sampleOffset_.resize(static_cast<std::size_t>(wi));
        sampleStrip_.resize(static_cast<std::size_t>(wi));
        int strips = 1;
        for (int j = 0; j < wi; ++j) {
            const std::int64_t texCol = ((std::int64_t{j} + g_.phase + patX_) % pw) / os_;
            const int strip = j >= xs ? (j - xs) / pw : (xs - j) / pw + 1;
            sampleOffset_[static_cast<std::size_t>(j)] = static_cast<std::uint32_t>(texCol * 3);
            sampleStrip_[static_cast<std::size_t>(j)] = static_cast<std::uint32_t>(strip);
            strips = std::max(strips, strip + 1);
        }
        strips_ = strips;
    }

    void StripRowsOf(int r, RowScratch& scratch) const {
        scratch.stripRows.resize(static_cast<std::size_t>(strips_));
        for (int strip = 0; strip < strips_; ++strip) {
            const std::int64_t texRow =
                (std::int64_t{r} + std::int64_t{strip} * g_.verticalShift + patY_) % g_.textureHeight;
            scratch.stripRows[static_cast<std::size_t>(strip)] =
                e_.textureBuffer_.Row(static_cast<int>(texRow));
        }
    }

    [[nodiscard]] std::uint64_t TextureSample(const RowScratch& scratch, int column) const {
        const auto j = static_cast<std::size_t>(column);
        const std::uint8_t* p = scratch.stripRows[sampleStrip_[j]] + sampleOffset_[j];
        return Spread((std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2]);
    }

    void ColourRightwards(RowScratch& scratch) const {
        const int xs = g_.startColumn;
        const std::uint16_t* a = scratch.leftPartner.data();
        std::uint64_t* colour = scratch.colour.data();
        int lastCopied = -10;
        for (int j = xs; j < g_.internalWidth; ++j) {
            const int partner = a[j];
            if (partner == j || partner < xs) {
                colour[j] = (j - 1 == lastCopied) ? colour[j - 1] : TextureSample(scratch, j);
            } else {
                colour[j] = colour[partner];
                lastCopied = j;
            }
        }
    }

    void ColourLeftwards(RowScratch& scratch) const {
        const int xs = g_.startColumn;
        const std::uint16_t* b = scratch.rightPartner.data();
        std::uint64_t* colour = scratch.colour.data();
        int lastCopied = -10;
        for (int k = xs - 1; k >= 0; --k) {
            const int partner = b[k];
            if (partner == k) {
                colour[k] = (k + 1 == lastCopied) ? colour[k + 1] : TextureSample(scratch, k);
            } else {
                colour[k] = colour[partner];
                lastCopied = k;
            }
        }
    }

    template <int OS>
    void DownSample(int r, const RowScratch& scratch) const {
        const std::uint64_t* colour = scratch.colour.data();
        std::uint8_t* out = e_.outputBuffer_.Row(r);
        for (int c = 0; c < e_.width_; ++c) {
            std::uint64_t sum = 0;
            for (int i = 0; i < OS; ++i) {
                sum += colour[static_cast<std::size_t>(c) * OS + i];
            }
            out[c * 3] = static_cast<std::uint8_t>(((sum >> 32) & 0xFFFFU) / OS);
            out[c * 3 + 1] = static_cast<std::uint8_t>(((sum >> 16) & 0xFFFFU) / OS);
            out[c * 3 + 2] = static_cast<std::uint8_t>((sum & 0xFFFFU) / OS);
        }
    }

    Stereogram& e_;
    const StereogramGeometry& g_;
    int os_;
    int patX_ = 0;
    int patY_ = 0;
    std::vector<std::uint16_t> identity_;
    // Byte offset within the texture row, and strip, of each internal column.
    std::vector<std::uint32_t> sampleOffset_;
    std::vector<std::uint32_t> sampleStrip_;
    int strips_ = 1;
};

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

void Stereogram::UpdateGeometry() noexcept {
    StereogramGeometry& g = geometry_;
    const long double dpi = dpi_;
    g.textureHeight = maskMap_.HasImage() ? maskMap_.Height() : 0;
    g.verticalShift = dpi_ / 16;
    g.internalWidth = width_ * oversampling_;
    g.viewDistance = dpi * observDistance_;
    g.eyeSeparation = static_cast<int>(std::nearbyintl(dpi * 2.5L));
    g.eyeSeparationInternal = g.eyeSeparation * oversampling_;
    g.farPlane = dpi * max3Ddepth_;
    // A geometry without a finite pattern width (both distances 0) renders as width 0, which
    // the textured kinds refuse.
    const long double p = g.eyeSeparation * g.farPlane / (g.farPlane + g.viewDistance);
    g.patternWidth = (std::isfinite(p) && std::fabs(p) < 1.0e9L) ? static_cast<int>(p) : 0;
    const bool textured = stereoType_ != StereogramKind::RandomDot;
    if (maskMap_.Width() > 0 && maskMap_.Width() < g.patternWidth && textured && !stretchTexture_) {
        g.patternWidth = maskMap_.Width();
    }
    if (stretchTexture_) {
        separation_ = g.patternWidth;
    }
    if (stereoType_ == StereogramKind::RandomDotTextured) {
        g.textureHeight = g.patternWidth;
    }
    g.patternWidthInternal = g.patternWidth * oversampling_;
    g.startColumn = g.internalWidth / 2 - g.patternWidthInternal / 2;
    if (g.patternWidthInternal != 0) {
        g.phase = g.patternWidthInternal - (g.startColumn % g.patternWidthInternal);
    }
    g.nearPlane = dpi * min3Ddepth_;
    g.depthOffsetX = (width_ - depthMap_.Width()) / 2;
    g.depthOffsetY = (height_ - depthMap_.Height()) / 2;
    switch (blur_) {
        case BlurLevel::Light:
            g.blurDivisor = 15;
            break;
        case BlurLevel::Medium:
            g.blurDivisor = 10;
            break;
        case BlurLevel::Heavy:
            g.blurDivisor = 7;
            break;
        case BlurLevel::None:
            break;
    }
}

GeometryError::Values Stereogram::GeometryValues() const noexcept {
    return {dpi_, width_, geometry_.patternWidth, observDistance_, min3Ddepth_, max3Ddepth_};
}

void Stereogram::BuildSeparationTable() {
    for (int level = 0; level < 256; ++level) {
        const long double exact = ExactSeparation(geometry_, level);
        // z / (z + D) is undefined where a depth of 0 meets a viewing distance of 0.
        if (!std::isfinite(exact)) {
            throw GeometryError(GeometryError::Cause::NoNearDepth, GeometryValues(),
                                "Invalid floating point operation: with a viewing distance of " +
                                    FormatInches(observDistance_) + " the minimum depth (" +
                                    FormatInches(min3Ddepth_) + ") must be above 0");
        }
        separationTable_[static_cast<std::size_t>(level)] = RoundChecked(exact);
    }
}

void Stereogram::BuildBlurTable() {
    blurTable_.resize(256);
    for (int level = 0; level < 256; ++level) {
        const long double exact = ExactSeparation(geometry_, level);
        for (int k = 0; k < kBlurDraws; ++k) {
            const long double jitter = static_cast<long double>(k - 5) / geometry_.blurDivisor;
            blurTable_[static_cast<std::size_t>(level)][static_cast<std::size_t>(k)] =
                RoundChecked(jitter + exact);
        }
    }
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

Bgr Stereogram::RandomDot() {
    if (randomDotColor_ == RandomDotColors::Rgb) {
        const auto r = static_cast<std::uint8_t>(64 * random_.Next(4) + 63);
        const auto g = static_cast<std::uint8_t>(64 * random_.Next(4) + 63);
        const auto b = static_cast<std::uint8_t>(64 * random_.Next(4) + 63);
        return {b, g, r};
    }
    const auto d = static_cast<int>(random_.Next(100));
    return d > dotIntensity_ ? Bgr{255, 255, 255} : Bgr{0, 0, 0};
}

void Stereogram::MakeRandomDotTile() {
    const int p = geometry_.patternWidth;
    textureBuffer_ = PixelBuffer(p, p, 24);
    for (int col = 0; col < p; ++col) {
        for (int row = 0; row < p; ++row) {
            textureBuffer_.SetPixel(row, col, RandomDot());
        }
    }
    geometry_.textureHeight = p;
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
    progress_ = 100;
    if (OnGenerate) {
        OnGenerate(*this);
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
