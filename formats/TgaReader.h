#pragma once

#include "engine/PixelBuffer.h"

#include <cstdint>
#include <span>

namespace vistamaze {

// Decodes a Truevision Targa or Vista picture held in memory (.tga, .afi, .vst share the layout).
//
// Accepts image types 1 (colour-mapped), 2 (true colour), 3 (grey) and their run-length
// encoded forms 9, 10 and 11; 8, 15, 16, 24 and 32 bits per pixel; colour maps of 15, 16, 24 or
// 32-bit entries starting at any first-entry index; every origin the descriptor can name.
// Alpha (32-bit colour, 16-bit grey + alpha, 32-bit map entries) is composited over black.
// Returns a 24-bit buffer of the picture's own size, rows bottom-up as every PixelBuffer.
// Throws InvalidPictureError for anything else, for truncated data, run-length packets that
// overrun the picture, colour indexes outside the map, and pictures over the size limits
// (checked before any pixel memory is allocated).
PixelBuffer DecodeTga(std::span<const std::uint8_t> bytes);

}  // namespace vistamaze
