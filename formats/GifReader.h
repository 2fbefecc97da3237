#pragma once

#include "engine/PixelBuffer.h"

#include <cstdint>
#include <span>

namespace vistamaze {

// Decodes the first frame of a GIF file (87a or 89a) held in memory through giflib. The frame is
// drawn onto the logical screen, which is first filled with the background colour of the global
// colour table (black without one) and grows to hold a frame that reaches past it; the
// frame's transparent colour becomes black; interlaced frames are put back in order. Returns a
// 24-bit buffer of the screen's size, rows bottom-up.
// Throws InvalidPictureError with giflib's reason for a file it rejects, for a file without a
// frame or colour table, and for sizes beyond CheckPictureSize (checked before allocating).
PixelBuffer DecodeGif(std::span<const std::uint8_t> bytes);

}  // namespace vistamaze
