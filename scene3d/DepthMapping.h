#pragma once

#include "engine/PixelBuffer.h"

#include <cstddef>
#include <span>

namespace vistamaze {

// Positions of the three depth sliders, each -500..500: "Min depth" moves the white end by
// position / 50000 of the depth range, "Max depth" the dark end, "Depth space" spans the grey
// scale over 0.99 + position / 1000 of its 255 steps.
struct DepthSliders {
    int minDepth = 0;
    int maxDepth = 0;
    int depthSpace = 0;
};

// How window depths become grey levels: `nearValue` becomes white, depths behind it darken by
// `scale` * 255 per unit of depth. All 32-bit floats, as the capture keeps them between captures.
struct DepthRange {
    float nearValue = 0.0F;
    float farValue = 0.0F;
    float scale = 0.0F;
};

// The range of one capture: the nearest value that is not 0.0 (the near plane) and the farthest
// that is not 1.0 (background), moved by the sliders and kept within 0..1. A range that closes
// to one value is opened by 0.00001 so the scale stays finite; with no drawn pixel the result is
// finite but meaningless, as no pixel uses it.
[[nodiscard]] DepthRange ComputeDepthRange(std::span<const float> depths,
                                           const DepthSliders& sliders) noexcept;

// Fills `image` (resized to width x height at 24 bits; its storage is kept when the size stays)
// with the grey picture of `depths`: row r of the depths (row 0 at the bottom) becomes row r of
// the image, background (exactly 1.0) black, everything else 255 - Trunc((v - near) * scale * 255)
// limited to 0..255. `depths` holds width * height values, row by row.
void MapDepthsToImage(std::span<const float> depths, int width, int height, const DepthRange& range,
                      PixelBuffer& image);

}  // namespace vistamaze
