#pragma once

#include "engine/PixelBuffer.h"

#include <cstdint>

namespace vistamaze::bench {

// A 24-bit picture whose every pixel differs from its neighbours, so that no copy, blend or
// resampling step can take a shortcut over uniform areas.
inline PixelBuffer PatternTexture(int width, int height) {
    PixelBuffer b(width, height, 24);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            b.SetPixel(y, x,
                       {static_cast<std::uint8_t>(x * 7 + y), static_cast<std::uint8_t>(y * 3),
                        static_cast<std::uint8_t>((x ^ y) * 5)});
        }
    }
    return b;
}

}  // namespace vistamaze::bench
