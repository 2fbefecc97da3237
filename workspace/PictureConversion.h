#pragma once

#include "engine/PixelBuffer.h"

#include <QImage>

namespace vistamaze {

// The screen's copy of a bitmap: a top-down RGB QImage of the same size that looks the same
// (indexed and 16/32-bit bitmaps are drawn as 24-bit colour first). An empty bitmap gives a null
// image.
[[nodiscard]] QImage ToQImage(const PixelBuffer& bitmap);

// A 24-bit bitmap (bottom-up rows) that looks like `image`; a null image gives an empty bitmap.
[[nodiscard]] PixelBuffer FromQImage(const QImage& image);

}  // namespace vistamaze
