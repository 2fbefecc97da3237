#include "engine/TexturePreparation.h"

#include "engine/BufferOps.h"
#include "engine/Errors.h"
#include "engine/Resample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace vistamaze {

namespace {

// The same bounds the picture readers apply: a scaled texture is never larger than a picture
// that could have been loaded.
constexpr std::int64_t kMaxTextureSide = 32768;
constexpr std::int64_t kMaxTexturePixels = std::int64_t{1} << 28;

// One side of a scaled texture: Trunc(side * scale / 100) in single precision, raised to dpi.
int ScaledSide(int side, float scale, int dpi) {
    const float exact = static_cast<float>(side) * scale / 100.0F;
    if (!std::isfinite(exact) || std::fabs(exact) > static_cast<float>(kMaxTextureSide) * 2.0F) {
        throw Error("The texture cannot be scaled to that size");
    }
    return std::max(static_cast<int>(exact), dpi);
}

void ReduceMargins(int& start, int& stop, int size) {
    start = std::max(start, 0);
    stop = std::max(stop, 0);
    if (start >= size) {
        start = size - 1;
    }
    if (static_cast<long long>(size) - start - stop <= 0) {
        stop = size - start - 1;
    }
}

// The two weighted values of every byte for one band position: first[v] = Trunc(v * w1) and
// second[v] = Trunc(v * w2), each product taken through single precision on its own. Looking
// them up keeps the floating-point work per position instead of per pixel.
struct BlendTable {
    std::array<std::uint8_t, 256> first;
    std::array<std::uint8_t, 256> second;
};

BlendTable MakeBlendTable(std::int64_t n, std::int64_t position) noexcept {
    const double k = 0.5 / static_cast<double>(n);
    const double w1 = 1.0 - static_cast<double>(n - position) * k;
    const double w2 = 1.0 - w1;
    BlendTable table{};
    for (int v = 0; v < 256; ++v) {
        // 0 <= w2 <= 0.5 <= w1 < 1 for 0 <= position < n: every value stays within a byte.
        table.first[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(static_cast<float>(v * w1));
        table.second[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(static_cast<float>(v * w2));
    }
    return table;
}

std::uint8_t Sum(std::uint8_t x, std::uint8_t y) noexcept {
    return static_cast<std::uint8_t>(std::min(x + y, 255));
}

// p := a*w1 + b*w2 and q := a*w2 + b*w1; when p and q are the same pixel, a = b and both agree.
void BlendPair(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* p, std::uint8_t* q,
               const BlendTable& t) noexcept {
    const std::uint8_t a0 = a[0], a1 = a[1], a2 = a[2];
    const std::uint8_t b0 = b[0], b1 = b[1], b2 = b[2];
    p[0] = Sum(t.first[a0], t.second[b0]);
    p[1] = Sum(t.first[a1], t.second[b1]);
    p[2] = Sum(t.first[a2], t.second[b2]);
    q[0] = Sum(t.second[a0], t.first[b0]);
    q[1] = Sum(t.second[a1], t.first[b1]);
    q[2] = Sum(t.second[a2], t.first[b2]);
}

// The band width in pixels, or 0 when nothing is to be blended.
std::int64_t BandWidth(int seamlessMode, int width, bool stretched, int separation) {
    std::int64_t n = 15;
    if (seamlessMode == 2) {
        n = 5;
    } else if (seamlessMode == 3) {
        n = 25;
    }
    if (!stretched) {
        return n;
    }
    // W / 0 has no finite value: that band counts as empty.
    if (separation <= 0) {
        return 0;
    }
    const float repeats = std::nearbyint(static_cast<float>(width) / static_cast<float>(separation));
    const float scaled = static_cast<float>(n) * repeats;
    if (!(scaled >= 1.0F)) {
        return 0;
    }
    return static_cast<std::int64_t>(std::min(scaled, 1.0e15F));
}

// Columns x < n against column period - x - 1, reading each row as it was before the pass.
void BlendColumns(PixelBuffer& bitmap, std::int64_t n, int period) {
    const int width = bitmap.Width();
    const int last = static_cast<int>(std::min<std::int64_t>(n, width));
    std::vector<std::uint8_t> source(static_cast<std::size_t>(width) * 3);
    // One table per column of the band: 512 bytes each, at most 512 * W in all.
    std::vector<BlendTable> tables(static_cast<std::size_t>(last));
    for (int x = 0; x < last; ++x) {
        tables[static_cast<std::size_t>(x)] = MakeBlendTable(n, x);
    }
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint8_t* row = bitmap.Row(y);
        std::memcpy(source.data(), row, source.size());
        for (int x = 0; x < last; ++x) {
            const auto m = static_cast<int>(std::max<std::int64_t>(std::int64_t{period} - x - 1, 0));
            if (m >= width) {
                continue;
            }
            BlendPair(source.data() + static_cast<std::size_t>(x) * 3,
                      source.data() + static_cast<std::size_t>(m) * 3, row + static_cast<std::size_t>(x) * 3,
                      row + static_cast<std::size_t>(m) * 3, tables[static_cast<std::size_t>(x)]);
        }
    }
}

// Rows y < n (from the bottom line) against row H - y - 1, reading the result of the column pass.
void BlendRows(PixelBuffer& bitmap, std::int64_t n) {
    const int height = bitmap.Height();
    const int last = static_cast<int>(std::min<std::int64_t>(n, height));
    if (last <= 0) {
        return;
    }
    // Only the rows below `last` and their partners from `upperStart` up are read: keep those.
    const int upperStart = std::max(height - last, last);
    const std::size_t stride = bitmap.Stride();
    std::vector<std::uint8_t> before(stride * static_cast<std::size_t>(last + height - upperStart));
    std::memcpy(before.data(), bitmap.Row(0), stride * static_cast<std::size_t>(last));
    std::memcpy(before.data() + stride * static_cast<std::size_t>(last), bitmap.Row(upperStart),
                stride * static_cast<std::size_t>(height - upperStart));
    auto rowBefore = [&](int y) {
        const int kept = y < last ? y : last + (y - upperStart);
        return before.data() + stride * static_cast<std::size_t>(kept);
    };
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.Width()) * 3;
    // Within one column the writes keep the order y = 0, 1, ...; columns do not interact, so
    // walking row by row gives the same result with sequential memory access.
    for (int y = 0; y < last; ++y) {
        const int m = std::max(height - y - 1, 0);
        const BlendTable table = MakeBlendTable(n, y);
        const std::uint8_t* a = rowBefore(y);
        const std::uint8_t* b = rowBefore(m);
        std::uint8_t* p = bitmap.Row(y);
        std::uint8_t* q = bitmap.Row(m);
        for (std::size_t i = 0; i < rowBytes; i += 3) {
            BlendPair(a + i, b + i, p + i, q + i, table);
        }
    }
}

}  // namespace

PixelBuffer CropAndScaleTexture(const PixelBuffer& source, TextureMargins margins, double scalePercent,
                                int dpi) {
    if (source.Empty()) {
        return {0, 0, 24};
    }
    ReduceMargins(margins.left, margins.right, source.Width());
    ReduceMargins(margins.top, margins.bottom, source.Height());
    PixelBuffer buffer;
    CropGraphicToBuffer(buffer, source, margins.left, margins.top, margins.right, margins.bottom);
    if (scalePercent != 100.0) {
        const auto scale = static_cast<float>(scalePercent);
        const int width = ScaledSide(buffer.Width(), scale, dpi);
        const int height = ScaledSide(buffer.Height(), scale, dpi);
        if (width > kMaxTextureSide || height > kMaxTextureSide ||
            static_cast<std::int64_t>(width) * height > kMaxTexturePixels) {
            throw Error("The texture cannot be scaled to that size");
        }
        ResizeBuffer(buffer, width, height);
    }
    return buffer;
}

PixelBuffer BuildMirroredTexture(const PixelBuffer& texture, int mode) {
    const bool trueColour = texture.BitsPerPixel() == 24;
    const PixelBuffer converted = trueColour ? PixelBuffer() : texture.To24Bit();
    const PixelBuffer& source = trueColour ? texture : converted;
    if (mode < 1 || mode > 3) {
        return source;
    }
    const bool upsideDown = (mode & 1) != 0;
    const bool leftRight = (mode & 2) != 0;
    const int w = source.Width();
    const int h = source.Height();
    constexpr int kHalfMax = std::numeric_limits<int>::max() / 2;
    if (w > kHalfMax || h > kHalfMax) {
        throw Error("Bitmap is too large");
    }
    PixelBuffer result(leftRight ? 2 * w : w, upsideDown ? 2 * h : h, 24);
    if (source.Empty()) {
        return result;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 3;
    const std::size_t resultRowBytes = static_cast<std::size_t>(result.Width()) * 3;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* from = source.Row(y);
        std::uint8_t* to = result.Row(y);
        std::memcpy(to, from, rowBytes);
        if (leftRight) {
            std::uint8_t* mirror = to + resultRowBytes;
            for (std::size_t i = 0; i < rowBytes; i += 3) {
                mirror -= 3;
                mirror[0] = from[i];
                mirror[1] = from[i + 1];
                mirror[2] = from[i + 2];
            }
        }
        if (upsideDown) {
            std::memcpy(result.Row(2 * h - 1 - y), to, resultRowBytes);
        }
    }
    return result;
}

void MakeSeamlessTexture(int seamlessMode, PixelBuffer& bitmap, bool stretched, int separation) {
    if (bitmap.BitsPerPixel() != 24) {
        bitmap = bitmap.To24Bit();
    }
    if (bitmap.Empty()) {
        return;
    }
    const int width = bitmap.Width();
    const std::int64_t n = BandWidth(seamlessMode, width, stretched, separation);
    if (n <= 0) {
        return;
    }
    const int horizontalPeriod = stretched ? width : std::min(separation, width);
    BlendColumns(bitmap, n, horizontalPeriod);
    BlendRows(bitmap, n);
}

}  // namespace vistamaze
