#pragma once

#include "engine/PixelBuffer.h"

#include <cstdint>
#include <span>

namespace vistamaze {

// Decodes a Windows or OS/2 bitmap file held in memory: 12-byte OS/2 core headers, 16/64-byte
// OS/2 2.x headers and the 40/52/56/108/124-byte Windows headers; 1, 4, 8, 16, 24 and 32 bits;
// uncompressed, RLE4, RLE8 and bit fields; bottom-up and top-down rows. Returns a 24-bit buffer
// of the picture's size (rows bottom-up). Pixels that RLE data skips stay black; a 32-bit
// picture whose header declares an alpha mask is drawn over black, unless every alpha value is
// 0 (writers that leave the byte unused).
// Throws InvalidPictureError for anything that is not such a bitmap, for truncated pixel data
// and for sizes beyond CheckPictureSize (checked before any pixel memory is allocated).
PixelBuffer DecodeBmp(std::span<const std::uint8_t> bytes);

// Decodes a bitmap as stored inside an icon: the header (no file header), palette, colour
// pixels and the 1-bit AND mask, with a header height that counts both images. Pixels the mask
// marks transparent become black; a 32-bit icon uses its alpha channel instead (drawn over
// black) unless all alpha is 0. Throws InvalidPictureError like DecodeBmp.
PixelBuffer DecodeIconBitmap(std::span<const std::uint8_t> dib);

}  // namespace vistamaze
