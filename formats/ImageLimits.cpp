#include "formats/ImageLimits.h"

#include "engine/Errors.h"

namespace vistamaze {

void CheckPictureSize(std::int64_t width, std::int64_t height) {
    if (width < 1 || height < 1) {
        throw InvalidPictureError("The picture has no pixels");
    }
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels) {
        throw InvalidPictureError("The picture is too large");
    }
}

}  // namespace vistamaze
