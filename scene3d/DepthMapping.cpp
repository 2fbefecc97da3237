#include "scene3d/DepthMapping.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vistamaze {
namespace {

// The range fields are single precision: each step rounds to float as it is stored.
float Clamp01(float v) noexcept {
    if (v > 1.0F) {
        return 1.0F;
    }
    return v < 0.0F ? 0.0F : v;
}

}  // namespace

DepthRange ComputeDepthRange(std::span<const float> depths, const DepthSliders& sliders) noexcept {
    float farValue = -1.0F;
    float nearValue = 1.0F;
    for (const float v : depths) {
        if (v > farValue && v != 1.0F) {
            farValue = v;
        }
        if (v < nearValue && v != 0.0F) {
            nearValue = v;
        }
    }
    farValue = Clamp01(static_cast<float>(static_cast<double>(farValue) + sliders.maxDepth / 50000.0));
    nearValue = Clamp01(static_cast<float>(static_cast<double>(nearValue) + sliders.minDepth / 50000.0));
    if (farValue == nearValue) {
        if (nearValue > 0.0F) {
            nearValue = static_cast<float>(static_cast<double>(nearValue) - 0.00001);
        } else {
            // Both ends on the near plane: the span must not be zero. Drawn pixels go dark.
            farValue = 0.00001F;
        }
    }
    const double span = static_cast<double>(farValue) - static_cast<double>(nearValue);
    const auto scale = static_cast<float>((sliders.depthSpace / 1000.0 + 0.99) / span);
    return {nearValue, farValue, scale};
}

void MapDepthsToImage(std::span<const float> depths, int width, int height, const DepthRange& range,
                      PixelBuffer& image) {
    if (image.Width() != width || image.Height() != height || image.BitsPerPixel() != 24) {
        image.SetSize(width, height, 24);
    }
    const double scale255 = static_cast<double>(range.scale);
    const float nearValue = range.nearValue;
    const std::size_t w = static_cast<std::size_t>(std::max(width, 0));
    for (int r = 0; r < height; ++r) {
        const float* in = depths.data() + static_cast<std::size_t>(r) * w;
        std::uint8_t* out = image.Row(r);
        for (std::size_t c = 0; c < w; ++c) {
            const float v = in[c];
            std::uint8_t g = 0;
            if (v != 1.0F) {
                float d = v - nearValue;
                if (d < 0.0F) {
                    d = 0.0F;
                }
                // The product is rounded to single precision before it is truncated.
                const auto t = static_cast<float>(static_cast<double>(d) * scale255 * 255.0);
                const float limited = std::clamp(t, 0.0F, 255.0F);
                g = static_cast<std::uint8_t>(255 - static_cast<int>(limited));
            }
            out[c * 3] = g;
            out[c * 3 + 1] = g;
            out[c * 3 + 2] = g;
        }
    }
}

}  // namespace vistamaze
