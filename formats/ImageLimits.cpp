#include "formats/ImageLimits.h"

#include "engine/Errors.h"

#include <new>
#include <string>

namespace vistamaze {

void CheckPictureSize(std::int64_t width, std::int64_t height) {
    if (width < 1 || height < 1) {
        throw InvalidPictureError("The picture has no pixels");
    }
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels) {
        throw InvalidPictureError("The picture is too large");
    }
}

void CheckPictureData(std::string_view format, std::int64_t width, std::int64_t height,
                      std::uint64_t available, std::uint64_t needed) {
    if (available >= needed) {
        return;
    }
    throw InvalidPictureError("Invalid " + std::string(format) + " file: " + std::to_string(width) + " x " +
                              std::to_string(height) + " pixels need at least " + std::to_string(needed) +
                              " bytes of picture data, the file holds " + std::to_string(available));
}

PictureMemoryError::PictureMemoryError(std::int64_t width, std::int64_t height)
    : Error("Not enough memory for a picture of " + std::to_string(width) + " x " + std::to_string(height) +
            " pixels"),
      width_(width),
      height_(height) {}

PixelBuffer AllocatePicture(std::int64_t width, std::int64_t height) {
    try {
        return PixelBuffer(static_cast<int>(width), static_cast<int>(height), 24);
    } catch (const std::bad_alloc&) {
        throw PictureMemoryError(width, height);
    }
}

}  // namespace vistamaze
