#pragma once

#include <cstdint>

namespace vistamaze {

// Largest picture any reader accepts: a side of 32768 pixels and 2^28 pixels in all.
inline constexpr std::int64_t kMaxPictureSide = 32768;
inline constexpr std::int64_t kMaxPicturePixels = std::int64_t{1} << 28;

// Throws InvalidPictureError unless 1 <= width, height <= kMaxPictureSide and
// width * height <= kMaxPicturePixels. Readers call it on header values before allocating.
void CheckPictureSize(std::int64_t width, std::int64_t height);

}  // namespace vistamaze
