#pragma once

#include "engine/PixelStorage.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistamaze {

// One palette entry or one 24-bit pixel, in the byte order the buffer stores it.
struct Bgr {
    std::uint8_t b = 0;
    std::uint8_t g = 0;
    std::uint8_t r = 0;
    friend bool operator==(const Bgr&, const Bgr&) = default;
};

// Packs a 24-bit pixel as the engine reads it: B * 65536 + G * 256 + R.
constexpr std::uint32_t PackBgr(Bgr c) noexcept {
    return (std::uint32_t{c.b} << 16) | (std::uint32_t{c.g} << 8) | std::uint32_t{c.r};
}
constexpr Bgr UnpackBgr(std::uint32_t v) noexcept {
    return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}

// An in-memory device-independent bitmap.
//
// Rows are stored bottom-up: row 0 is the bottom row of the picture. Each row occupies
// ((bitsPerPixel * width + 31) / 32) * 4 bytes, so rows start on 4-byte boundaries and are
// padded after their last pixel. 24-bit pixels are stored blue, green, red. Indexed depths
// (1, 4, 8) carry a palette; 1-bit and 4-bit pixels are packed most significant bits first.
class PixelBuffer {
public:
    PixelBuffer() = default;
    // Throws vistamaze::Error for a negative size, an unsupported depth or a size whose byte
    // count does not fit in memory arithmetic.
    PixelBuffer(int width, int height, int bitsPerPixel);

    // Reallocates for the new size and depth; every byte (padding included) becomes 0 and the
    // palette is resized to 2^bits entries of black for indexed depths, cleared otherwise.
    void SetSize(int width, int height, int bitsPerPixel);

    [[nodiscard]] int Width() const noexcept { return width_; }
    [[nodiscard]] int Height() const noexcept { return height_; }
    [[nodiscard]] int BitsPerPixel() const noexcept { return bitsPerPixel_; }
    [[nodiscard]] std::size_t Stride() const noexcept { return stride_; }
    [[nodiscard]] bool Empty() const noexcept { return width_ == 0 || height_ == 0; }

    [[nodiscard]] static std::size_t StrideFor(int width, int bitsPerPixel) noexcept;

    // Row y (0 = bottom). No bounds check: callers stay within 0 .. Height() - 1.
    [[nodiscard]] std::uint8_t* Row(int y) noexcept { return data_.data() + Offset(y); }
    [[nodiscard]] const std::uint8_t* Row(int y) const noexcept { return data_.data() + Offset(y); }
    [[nodiscard]] std::uint8_t* Data() noexcept { return data_.data(); }
    [[nodiscard]] const std::uint8_t* Data() const noexcept { return data_.data(); }
    [[nodiscard]] std::size_t ByteSize() const noexcept { return data_.size(); }

    // 24-bit access at (row, column); row 0 is the bottom row.
    [[nodiscard]] Bgr Pixel(int row, int col) const noexcept {
        const std::uint8_t* p = Row(row) + static_cast<std::size_t>(col) * 3;
        return {p[0], p[1], p[2]};
    }
    void SetPixel(int row, int col, Bgr c) noexcept {
        std::uint8_t* p = Row(row) + static_cast<std::size_t>(col) * 3;
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
    }

    // Palette index access for 1-, 4- and 8-bit buffers.
    [[nodiscard]] std::uint8_t Index(int row, int col) const noexcept;
    void SetIndex(int row, int col, std::uint8_t index) noexcept;

    [[nodiscard]] std::vector<Bgr>& Palette() noexcept { return palette_; }
    [[nodiscard]] const std::vector<Bgr>& Palette() const noexcept { return palette_; }

    // The colour shown at (row, col) whatever the depth: palette lookup for indexed depths,
    // 5-5-5 for 16 bits, the first three bytes for 32 bits.
    [[nodiscard]] Bgr ColorAt(int row, int col) const noexcept;

    // Takes over size, format, palette and pixels of another buffer.
    void TakeOver(PixelBuffer&& other) noexcept;

    // A 24-bit copy that looks the same.
    [[nodiscard]] PixelBuffer To24Bit() const;

    // Copies this buffer onto a 24-bit target with its top-left corner at (left, top) counted
    // from the target's top-left; parts falling outside the target are clipped.
    void DrawOnto(PixelBuffer& target24, int left, int top) const;

    friend bool operator==(const PixelBuffer& a, const PixelBuffer& b) = default;

private:
    [[nodiscard]] std::size_t Offset(int y) const noexcept { return static_cast<std::size_t>(y) * stride_; }

    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 24;
    std::size_t stride_ = 0;
    std::vector<std::uint8_t, PixelStorageAllocator<std::uint8_t>> data_;
    std::vector<Bgr> palette_;
};

}  // namespace vistamaze
