#include "engine/PixelBuffer.h"

#include "engine/Errors.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace vistamaze {

namespace {

bool SupportedDepth(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

PixelBuffer::PixelBuffer(int width, int height, int bitsPerPixel) {
    SetSize(width, height, bitsPerPixel);
}

std::size_t PixelBuffer::StrideFor(int width, int bitsPerPixel) noexcept {
    return ((static_cast<std::size_t>(bitsPerPixel) * static_cast<std::size_t>(width) + 31) / 32) * 4;
}

void PixelBuffer::SetSize(int width, int height, int bitsPerPixel) {
    if (width < 0 || height < 0) {
        throw Error("Bitmap size must not be negative");
    }
    if (!SupportedDepth(bitsPerPixel)) {
        throw Error("Unsupported bitmap pixel format");
    }
    const std::size_t stride = StrideFor(width, bitsPerPixel);
    if (height != 0 &&
        stride > std::numeric_limits<std::size_t>::max() / 2 / static_cast<std::size_t>(height)) {
        throw Error("Bitmap is too large");
    }
    std::vector<std::uint8_t, PixelStorageAllocator<std::uint8_t>> data(
        stride * static_cast<std::size_t>(height), 0);
    data_ = std::move(data);
    width_ = width;
    height_ = height;
    bitsPerPixel_ = bitsPerPixel;
    stride_ = stride;
    palette_.clear();
    if (bitsPerPixel <= 8) {
        palette_.resize(std::size_t{1} << bitsPerPixel);
    }
}

std::uint8_t PixelBuffer::Index(int row, int col) const noexcept {
    const std::uint8_t* p = Row(row);
    switch (bitsPerPixel_) {
        case 1:
            return (p[col >> 3] >> (7 - (col & 7))) & 1U;
        case 4:
            return (col & 1) ? (p[col >> 1] & 0x0FU) : (p[col >> 1] >> 4);
        case 8:
            return p[col];
        default:
            return 0;
    }
}

void PixelBuffer::SetIndex(int row, int col, std::uint8_t index) noexcept {
    std::uint8_t* p = Row(row);
    switch (bitsPerPixel_) {
        case 1: {
            const auto mask = static_cast<std::uint8_t>(0x80U >> (col & 7));
            p[col >> 3] = (index & 1U) ? (p[col >> 3] | mask) : (p[col >> 3] & ~mask);
            break;
        }
        case 4: {
            std::uint8_t& b = p[col >> 1];
            b = (col & 1) ? static_cast<std::uint8_t>((b & 0xF0U) | (index & 0x0FU))
                          : static_cast<std::uint8_t>((b & 0x0FU) | ((index & 0x0FU) << 4));
            break;
        }
        case 8:
            p[col] = index;
            break;
        default:
            break;
    }
}

Bgr PixelBuffer::ColorAt(int row, int col) const noexcept {
    switch (bitsPerPixel_) {
        case 1:
        case 4:
        case 8: {
            const std::uint8_t i = Index(row, col);
            return i < palette_.size() ? palette_[i] : Bgr{};
        }
        case 16: {
            const std::uint8_t* p = Row(row) + static_cast<std::size_t>(col) * 2;
            const unsigned v = p[0] | (unsigned{p[1]} << 8);
            const auto expand = [](unsigned five) {
                return static_cast<std::uint8_t>((five << 3) | (five >> 2));
            };
            return {expand(v & 31U), expand((v >> 5) & 31U), expand((v >> 10) & 31U)};
        }
        case 24:
            return Pixel(row, col);
        case 32: {
            const std::uint8_t* p = Row(row) + static_cast<std::size_t>(col) * 4;
            return {p[0], p[1], p[2]};
        }
        default:
            return {};
    }
}

void PixelBuffer::TakeOver(PixelBuffer&& other) noexcept {
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    bitsPerPixel_ = std::exchange(other.bitsPerPixel_, 24);
    stride_ = std::exchange(other.stride_, 0);
    data_ = std::move(other.data_);
    palette_ = std::move(other.palette_);
    other.data_.clear();
    other.palette_.clear();
}

PixelBuffer PixelBuffer::To24Bit() const {
    if (bitsPerPixel_ == 24) {
        return *this;
    }
    PixelBuffer out(width_, height_, 24);
    DrawOnto(out, 0, 0);
    return out;
}

void PixelBuffer::DrawOnto(PixelBuffer& target24, int left, int top) const {
    if (target24.BitsPerPixel() != 24) {
        throw Error("Drawing needs a 24-bit target bitmap");
    }
    // Rows are stored bottom-up in both buffers; "top" counts from the top edge.
    const int bottomOffset = target24.Height() - top - height_;
    const int colStart = std::max(0, -left);
    const int colEnd = std::min(width_, target24.Width() - left);
    if (colStart >= colEnd) {
        return;
    }
    for (int y = 0; y < height_; ++y) {
        const int ty = y + bottomOffset;
        if (ty < 0 || ty >= target24.Height()) {
            continue;
        }
        if (bitsPerPixel_ == 24) {
            std::copy_n(Row(y) + static_cast<std::size_t>(colStart) * 3,
                        static_cast<std::size_t>(colEnd - colStart) * 3,
                        target24.Row(ty) + static_cast<std::size_t>(left + colStart) * 3);
            continue;
        }
        for (int x = colStart; x < colEnd; ++x) {
            target24.SetPixel(ty, left + x, ColorAt(y, x));
        }
    }
}

}  // namespace vistamaze
