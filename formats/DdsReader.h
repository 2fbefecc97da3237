#pragma once

#include "engine/PixelBuffer.h"

#include <cstdint>
#include <span>

namespace vistamaze {

// Decodes the first mip level (first face, first slice) of a DirectDraw surface held in memory.
//
// Accepts uncompressed RGB, RGBA and luminance surfaces of 8, 16, 24 or 32 bits per pixel
// described by channel masks, and DXT1, DXT3 and DXT5 block compression (also when named by a
// DX10 header for a single 2D texture, with the matching 8-bit RGBA/BGRA formats). Alpha,
// including DXT1's transparent texels, is composited over black.
// Returns a 24-bit buffer of the surface's own size, rows bottom-up as every PixelBuffer.
// Throws InvalidPictureError for other formats, truncated data and pictures over the size
// limits (checked before any pixel memory is allocated).
PixelBuffer DecodeDds(std::span<const std::uint8_t> bytes);

}  // namespace vistamaze
