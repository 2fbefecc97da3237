#pragma once

#include "engine/PixelBuffer.h"

#include <cstdint>
#include <span>

namespace vistamaze {

// Decodes a ZSoft PC Paintbrush picture (.pcx, .pcc) held in memory.
//
// Accepts versions 0 to 5, run-length encoded or raw, with these layouts: 1 bit in 1 to 4
// planes (monochrome, or indexes into the 16-colour header palette), 2 or 4 bits in 1 plane,
// 8 bits in 1 plane (the 256-colour palette at the end of the file after its 0x0C marker, or
// grey levels when there is none), 8 bits in 3 planes (true colour) or 4 planes (true colour
// with alpha, composited over black). Scan lines may carry padding up to bytesPerLine.
// Returns a 24-bit buffer of the picture's own size, rows bottom-up as every PixelBuffer.
// Throws InvalidPictureError for other layouts, truncated data and pictures over the size
// limits (checked before any pixel memory is allocated).
PixelBuffer DecodePcx(std::span<const std::uint8_t> bytes);

// Decodes the first page of a DCX file (a PCX multi-page container): magic number 987654321,
// then the page offsets. The page ends at the next page's offset or at the end of the file.
// Throws InvalidPictureError as DecodePcx does, and for a bad magic number or page offset.
PixelBuffer DecodeDcx(std::span<const std::uint8_t> bytes);

}  // namespace vistamaze
