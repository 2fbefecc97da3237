#pragma once

#include "engine/PixelBuffer.h"

#include <cstdint>
#include <span>

namespace vistamaze {

// Decodes a PNG file held in memory: every colour type and bit depth, palettes, Adam7
// interlacing; the common layouts through DecodePlainPng, the others through libpng. 16-bit
// samples are reduced to 8 bits; transparency (alpha channel or tRNS) is drawn over black.
// Returns a 24-bit buffer of the picture's size, rows bottom-up. Throws InvalidPictureError with
// libpng's reason for anything libpng rejects (bad signature, CRC errors, truncation) and for
// sizes beyond CheckPictureSize, checked before the pixels are allocated.
PixelBuffer DecodePng(std::span<const std::uint8_t> bytes);

}  // namespace vistamaze
