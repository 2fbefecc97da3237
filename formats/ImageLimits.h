#pragma once

#include "engine/Errors.h"
#include "engine/PixelBuffer.h"

#include <cstdint>
#include <string_view>

namespace vistamaze {

// Largest picture any reader accepts: a side of 32768 pixels and 6000 x 4000 pixels in all, the
// size of the largest stereogram. A depth map or texture is scaled to the stereogram, so more
// pixels add nothing; at this size a picture, the engine's copy and a 6000 x 4000 render fit in
// 256 MiB, which is what a small file may make the renderer take.
inline constexpr std::int64_t kMaxPictureSide = 32768;
inline constexpr std::int64_t kMaxPicturePixels = std::int64_t{6000} * 4000;

// Throws InvalidPictureError unless 1 <= width, height <= kMaxPictureSide and
// width * height <= kMaxPicturePixels. Readers call it on header values before allocating.
void CheckPictureSize(std::int64_t width, std::int64_t height);

// Throws InvalidPictureError ("Invalid <format> file: <width> x <height> pixels need at least
// <needed> bytes of picture data, the file holds <available>") when `available` bytes are
// fewer than `needed`, the smallest encoding of the picture's pixels in its format. Readers
// call it after CheckPictureSize and before allocating, so that a small file cannot claim a
// large picture.
void CheckPictureData(std::string_view format, std::int64_t width, std::int64_t height,
                      std::uint64_t available, std::uint64_t needed);

// Memory for a picture of a known size could not be had. ReadPictureFile turns it into
// "Not enough memory to read <file>" with the size; DecodePicture passes it on.
class PictureMemoryError : public Error {
public:
    PictureMemoryError(std::int64_t width, std::int64_t height);
    [[nodiscard]] std::int64_t Width() const noexcept { return width_; }
    [[nodiscard]] std::int64_t Height() const noexcept { return height_; }

private:
    std::int64_t width_;
    std::int64_t height_;
};

// A 24-bit picture of a size that passed CheckPictureSize; throws PictureMemoryError instead of
// std::bad_alloc.
PixelBuffer AllocatePicture(std::int64_t width, std::int64_t height);

}  // namespace vistamaze
