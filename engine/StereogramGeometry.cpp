#include "engine/Errors.h"
#include "engine/Stereogram.h"
#include "engine/StereogramMath.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vistamaze {

using detail::FormatInches;
using detail::kBlurDraws;
using detail::ToInt;
using detail::TruncChecked;

namespace {

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

}  // namespace

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

}  // namespace vistamaze
