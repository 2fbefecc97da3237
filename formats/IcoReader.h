#pragma once

#include "engine/PixelBuffer.h"

#include <cstdint>
#include <span>

namespace vistamaze {

// Decodes the largest image of a Windows icon (or cursor) file held in memory: the one with the
// most pixels, then the most bits per pixel, the first of equals. Bitmap images are drawn over
// black through their AND mask or alpha channel (DecodeIconBitmap); PNG images through
// DecodePng. Returns a 24-bit buffer of that image's size, rows bottom-up.
// Throws InvalidPictureError for a damaged directory or image and for sizes beyond
// CheckPictureSize.
PixelBuffer DecodeIco(std::span<const std::uint8_t> bytes);

}  // namespace vistamaze
