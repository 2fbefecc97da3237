#pragma once

#include "engine/PixelBuffer.h"

#include <cstdint>
#include <span>

namespace vistamaze {

// Decodes the first picture of a TIFF file held in memory through libtiff's RGBA interface:
// whatever libtiff can read (strips and tiles; none, PackBits, LZW, Deflate, JPEG compression;
// bilevel, grey, palette, RGB, separated planes...). Transparency is drawn over black. Returns
// a 24-bit buffer of the picture's size, rows bottom-up. libtiff's errors and warnings are
// collected, never printed.
// Throws InvalidPictureError with libtiff's reason for a file it rejects and for sizes beyond
// CheckPictureSize (checked before any pixel memory is allocated).
PixelBuffer DecodeTiff(std::span<const std::uint8_t> bytes);

}  // namespace vistamaze
