#include "engine/BufferOps.h"

#include "engine/Errors.h"

namespace vistamaze {

void GraphicToBuffer(PixelBuffer& buffer, const Picture& graphic) {
    buffer = graphic.To24Bit();
}

void CropGraphicToBuffer(PixelBuffer& buffer, const PixelBuffer& bitmap, int left, int top, int right,
                         int bottom) {
    if (left < 0 || top < 0 || right < 0 || bottom < 0) {
        throw Error("Crop margins must not be negative");
    }
    const long long width = static_cast<long long>(bitmap.Width()) - left - right;
    const long long height = static_cast<long long>(bitmap.Height()) - top - bottom;
    if (width <= 0 || height <= 0) {
        throw Error("The crop margins leave nothing of the picture");
    }
    PixelBuffer out(static_cast<int>(width), static_cast<int>(height), 24);
    bitmap.DrawOnto(out, -left, -top);
    buffer = std::move(out);
}

}  // namespace vistamaze
