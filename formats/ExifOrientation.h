#pragma once

#include "engine/PixelBuffer.h"

#include <cstdint>
#include <span>

namespace vistamaze {

// The orientation (1 to 8) that an APP1 "Exif" segment's payload (starting with "Exif\0\0")
// records for its picture; 1 (as stored) when the payload holds none or is damaged.
[[nodiscard]] int ExifOrientation(std::span<const std::uint8_t> app1) noexcept;

// `picture` (24 bits) turned and mirrored so that it shows as `orientation` says it should be
// seen: 6 turns a quarter clockwise, 8 a quarter anticlockwise, 3 half a turn, 2 and 4 mirror,
// 5 and 7 transpose. Orientation 1, or a value outside 1..8, returns the picture as it is.
[[nodiscard]] PixelBuffer ApplyExifOrientation(PixelBuffer picture, int orientation);

}  // namespace vistamaze
