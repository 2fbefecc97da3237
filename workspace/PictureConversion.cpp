#include "workspace/PictureConversion.h"

#include <cstring>

namespace vistamaze {
namespace {

QImage FromBgr24(const PixelBuffer& bitmap) {
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_BGR888);
    const auto rowBytes = static_cast<std::size_t>(bitmap.Width()) * 3;
    for (int y = 0; y < bitmap.Height(); ++y) {
        // Bitmap rows run bottom-up, the screen's top-down.
        std::memcpy(image.scanLine(bitmap.Height() - 1 - y), bitmap.Row(y), rowBytes);
    }
    return image;
}

}  // namespace

QImage ToQImage(const PixelBuffer& bitmap) {
    if (bitmap.Empty()) {
        return {};
    }
    if (bitmap.BitsPerPixel() == 24) {
        return FromBgr24(bitmap);
    }
    return FromBgr24(bitmap.To24Bit());
}

PixelBuffer FromQImage(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    PixelBuffer bitmap(bgr.width(), bgr.height(), 24);
    const auto rowBytes = static_cast<std::size_t>(bgr.width()) * 3;
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::memcpy(bitmap.Row(y), bgr.constScanLine(bitmap.Height() - 1 - y), rowBytes);
    }
    return bitmap;
}

}  // namespace vistamaze
