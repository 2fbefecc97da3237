#include "engine/StereogramRows.h"

#include "engine/StereogramMath.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace vistamaze {

using detail::kBlurDraws;

namespace {

// Depth level of a 24-bit depth pixel: (B * 65536 + G * 256 + R) * 255 / 16777215.
inline int DepthLevel(const std::uint8_t* p) {
    const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    return static_cast<int>(v / 65793U);
}

// Spreads a packed colour (B * 65536 + G * 256 + R) into 16-bit lanes, so that up to 256
// samples can be summed per channel with one 64-bit addition.
inline std::uint64_t Spread(std::uint32_t packed) {
    return (packed & 0xFFU) | (std::uint64_t{(packed >> 8) & 0xFFU} << 16) |
           (std::uint64_t{packed >> 16} << 32);
}

}  // namespace

Stereogram::RowRenderer::RowRenderer(Stereogram& engine)
    : e_(engine), g_(engine.geometry_), os_(engine.oversampling_) {
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
    if (e_.stereoType_ != StereogramKind::RandomDot && g_.patternWidthInternal > 0 && g_.startColumn >= 0) {
        BuildSampleTables();
    }
}

void Stereogram::RowRenderer::SeparationsOfRow(int r, RowScratch& scratch) const {
    const PixelBuffer& depth = *e_.depth_;
    const int depthRow = r - g_.depthOffsetY;
    const std::uint8_t* row = (depthRow >= 0 && depthRow < depth.Height()) ? depth.Row(depthRow) : nullptr;
    const bool blurred = e_.blur_ != BlurLevel::None;
    int* out = scratch.separation.data();
    if (!blurred) {
        // Without blur no random draws are made, so the columns beside the map are filled
        // apart from those over it.
        const int background = e_.separationTable_[static_cast<std::size_t>(e_.backgroundLevel_)];
        const int first = row == nullptr ? 0 : std::clamp(g_.depthOffsetX, 0, e_.width_);
        const int end = row == nullptr ? 0 : std::clamp(g_.depthOffsetX + depth.Width(), first, e_.width_);
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

void Stereogram::RowRenderer::RenderTextured(int r, RowScratch& scratch) const {
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

void Stereogram::RowRenderer::LinkFastRandomDot(int r, RowScratch& scratch, std::uint16_t* same) const {
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

void Stereogram::RowRenderer::ColourFastRandomDot(int r, const std::uint16_t* same) const {
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

template <int OS>
void Stereogram::RowRenderer::RenderTexturedAt(int r, RowScratch& scratch) const {
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
void Stereogram::RowRenderer::LinkTextured(RowScratch& scratch) const {
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
void Stereogram::RowRenderer::BuildSampleTables() {
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

void Stereogram::RowRenderer::StripRowsOf(int r, RowScratch& scratch) const {
    scratch.stripRows.resize(static_cast<std::size_t>(strips_));
    for (int strip = 0; strip < strips_; ++strip) {
        const std::int64_t texRow =
            (std::int64_t{r} + std::int64_t{strip} * g_.verticalShift + patY_) % g_.textureHeight;
        scratch.stripRows[static_cast<std::size_t>(strip)] = e_.textureBuffer_.Row(static_cast<int>(texRow));
    }
}

std::uint64_t Stereogram::RowRenderer::TextureSample(const RowScratch& scratch, int column) const {
    const auto j = static_cast<std::size_t>(column);
    const std::uint8_t* p = scratch.stripRows[sampleStrip_[j]] + sampleOffset_[j];
    return Spread((std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2]);
}

void Stereogram::RowRenderer::ColourRightwards(RowScratch& scratch) const {
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

void Stereogram::RowRenderer::ColourLeftwards(RowScratch& scratch) const {
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
void Stereogram::RowRenderer::DownSample(int r, const RowScratch& scratch) const {
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

}  // namespace vistamaze
