#pragma once

#include "engine/PixelBuffer.h"

#include <utility>

namespace vistamaze {

// An image holder: empty, or one bitmap of any supported depth. Depth maps, textures and
// stereograms travel through the program as pictures; the engine copies the ones it is given.
class Picture {
public:
    Picture() = default;
    explicit Picture(PixelBuffer bitmap) : bitmap_(std::move(bitmap)) {}

    // True when the picture holds a bitmap of non-zero size.
    [[nodiscard]] bool HasImage() const noexcept { return !bitmap_.Empty(); }
    [[nodiscard]] int Width() const noexcept { return bitmap_.Width(); }
    [[nodiscard]] int Height() const noexcept { return bitmap_.Height(); }

    [[nodiscard]] const PixelBuffer& Bitmap() const noexcept { return bitmap_; }
    [[nodiscard]] PixelBuffer& Bitmap() noexcept { return bitmap_; }

    void Assign(PixelBuffer bitmap) { bitmap_ = std::move(bitmap); }
    void Clear() { bitmap_ = PixelBuffer(); }

    // Draws the picture at (0, 0), unscaled, onto a new 24-bit bitmap of its own size.
    [[nodiscard]] PixelBuffer To24Bit() const { return bitmap_.To24Bit(); }

private:
    PixelBuffer bitmap_;
};

}  // namespace vistamaze
