#pragma once

#include "engine/PixelBuffer.h"

#include <cstdint>
#include <span>

namespace vistamaze {

// Decodes a JPEG file held in memory through libjpeg(-turbo): greyscale, YCbCr/RGB and
// CMYK/YCCK pictures (Adobe's inverted CMYK included), baseline and progressive. Returns a
// 24-bit buffer of the picture's size, rows bottom-up.
// Throws InvalidPictureError with libjpeg's reason for data it rejects, for a file that ends
// before its image data does, for more than 1000 progressive scans and for sizes beyond
// CheckPictureSize (checked before any pixel memory is allocated).
PixelBuffer DecodeJpeg(std::span<const std::uint8_t> bytes);

}  // namespace vistamaze
