#include "engine/Resample.h"

#include "engine/Errors.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>

namespace vistamaze {

namespace {

void CheckResizable(const PixelBuffer& source, const PixelBuffer& destination) {
    if (source.Empty() || destination.Empty()) {
        throw Error("A picture cannot be resized to or from a size of zero");
    }
    if (source.BitsPerPixel() != destination.BitsPerPixel()) {
        throw Error("Resizing needs pictures of the same pixel format");
    }
}

bool SameSize(const PixelBuffer& a, const PixelBuffer& b) {
    return a.Width() == b.Width() && a.Height() == b.Height();
}

void CopyPixels(const PixelBuffer& source, PixelBuffer& destination) {
    std::memcpy(destination.Data(), source.Data(), std::min(source.ByteSize(), destination.ByteSize()));
}

void NearestOneBit(const PixelBuffer& src, PixelBuffer& dst) {
    const double xRatio = static_cast<double>(src.Width()) / dst.Width();
    const double yRatio = static_cast<double>(src.Height()) / dst.Height();
    for (int y = 0; y < dst.Height(); ++y) {
        const int sy = static_cast<int>(y * yRatio);
        for (int x = 0; x < dst.Width(); ++x) {
            dst.SetIndex(y, x, src.Index(sy, static_cast<int>(xRatio * x)));
        }
    }
}

// Positions are 16.16 fixed point; 64-bit arithmetic keeps the same values as 32-bit would for
// every size that fits, and cannot wrap for larger ones.
// `dst` receives rows firstRow .. firstRow + dst.Height() - 1 of a destination fullHeight rows
// high; the whole destination by default.
template <int BytesPerPixel>
void NearestFixed(const PixelBuffer& src, PixelBuffer& dst, bool centred, int fullHeight = 0,
                  int firstRow = 0) {
    const std::uint64_t xStep = (std::uint64_t(src.Width()) << 16) / std::uint64_t(dst.Width());
    const std::uint64_t yStep =
        (std::uint64_t(src.Height()) << 16) / std::uint64_t(fullHeight > 0 ? fullHeight : dst.Height());
    std::uint64_t yPos = (centred ? yStep / 2 : 0) + std::uint64_t(firstRow) * yStep;
    for (int y = 0; y < dst.Height(); ++y, yPos += yStep) {
        const std::uint8_t* srcRow = src.Row(static_cast<int>(yPos >> 16));
        std::uint8_t* out = dst.Row(y);
        std::uint64_t xPos = centred ? xStep / 2 : 0;
        for (int x = 0; x < dst.Width(); ++x, xPos += xStep) {
            std::memcpy(out + std::size_t(x) * BytesPerPixel,
                        srcRow + std::size_t(xPos >> 16) * BytesPerPixel, BytesPerPixel);
        }
    }
}

// Rows as in NearestFixed. With Grey, every source pixel has three equal channels: they would
// all come out the same, so the first is computed and copied to the others.
// Only destination rows [rowBegin, rowEnd) are written (rowEnd < 0: to the last), so that parts
// of one picture can be made on several threads.
template <int BytesPerPixel, int Channels, bool Grey = false>
void Bilinear(const PixelBuffer& src, PixelBuffer& dst, int fullHeight = 0, int firstRow = 0,
              int rowBegin = 0, int rowEnd = -1) {
    constexpr std::uint32_t kOne = 32768;
    const std::uint64_t xStep = (std::uint64_t(src.Width() - 1) * kOne) / std::uint64_t(dst.Width());
    const std::uint64_t yStep =
        (std::uint64_t(src.Height() - 1) * kOne) / std::uint64_t(fullHeight > 0 ? fullHeight : dst.Height());
    const int end = rowEnd < 0 ? dst.Height() : rowEnd;
    std::uint64_t yPos = std::uint64_t(firstRow + rowBegin) * yStep;
    for (int y = rowBegin; y < end; ++y, yPos += yStep) {
        const int y0 = static_cast<int>(yPos >> 15);
        const std::uint8_t* row0 = src.Row(y0);
        const std::uint8_t* row1 = src.Height() == 1 ? row0 : src.Row(y0 + 1);
        const auto wy1 = static_cast<std::uint32_t>(yPos & (kOne - 1));
        const std::uint32_t wy0 = kOne - wy1;
        std::uint8_t* out = dst.Row(y);
        std::uint64_t xPos = 0;
        for (int x = 0; x < dst.Width(); ++x, xPos += xStep) {
            const std::size_t x0 = std::size_t(xPos >> 15) * BytesPerPixel;
            const auto fx = static_cast<std::uint32_t>(xPos & (kOne - 1));
            const std::uint32_t w01 = (fx * wy0) >> 15;
            const std::uint32_t w00 = wy0 - w01;
            const std::uint32_t w11 = (fx * wy1) >> 15;
            const std::uint32_t w10 = wy1 - w11;
            std::uint8_t* o = out + std::size_t(x) * BytesPerPixel;
            for (int c = 0; c < (Grey ? 1 : Channels); ++c) {
                o[c] = static_cast<std::uint8_t>((row0[x0 + c] * w00 + row0[x0 + BytesPerPixel + c] * w01 +
                                                  row1[x0 + c] * w10 + row1[x0 + BytesPerPixel + c] * w11) >>
                                                 15);
            }
            if constexpr (Grey) {
                o[1] = o[0];
                o[2] = o[0];
            }
        }
    }
}

bool AllGrey24(const PixelBuffer& picture) {
    for (int y = 0; y < picture.Height(); ++y) {
        const std::uint8_t* p = picture.Row(y);
        for (int x = 0; x < picture.Width(); ++x, p += 3) {
            if (p[0] != p[1] || p[0] != p[2]) {
                return false;
            }
        }
    }
    return true;
}

// Depth maps are grey: a third of the arithmetic gives the same pixels. A large picture is made
// in two halves on two threads (a depth map is fitted to every stereogram before it renders).
void Bilinear24(const PixelBuffer& src, PixelBuffer& dst, int fullHeight = 0, int firstRow = 0) {
    constexpr std::int64_t kSplitPixels = std::int64_t{1} << 19;
    const auto rows = [&src, &dst, fullHeight, firstRow, grey = AllGrey24(src)](int begin, int end) {
        if (grey) {
            Bilinear<3, 3, true>(src, dst, fullHeight, firstRow, begin, end);
        } else {
            Bilinear<3, 3>(src, dst, fullHeight, firstRow, begin, end);
        }
    };
    const int h = dst.Height();
    if (std::int64_t{dst.Width()} * h < kSplitPixels || std::thread::hardware_concurrency() < 2) {
        rows(0, h);
        return;
    }
    std::jthread upper;
    try {
        upper = std::jthread(rows, h / 2, h);
    } catch (const std::system_error&) {
        rows(0, h);  // no thread to be had: one makes it all
        return;
    }
    rows(0, h / 2);
}

}  // namespace

void ResizeNearest(const PixelBuffer& source, PixelBuffer& destination) {
    CheckResizable(source, destination);
    if (SameSize(source, destination)) {
        CopyPixels(source, destination);
        return;
    }
    switch (source.BitsPerPixel()) {
        case 1:
            NearestOneBit(source, destination);
            break;
        case 8:
            NearestFixed<1>(source, destination, false);
            break;
        case 16:
            NearestFixed<2>(source, destination, false);
            break;
        case 24:
            NearestFixed<3>(source, destination, true);
            break;
        case 32:
            NearestFixed<4>(source, destination, false);
            break;
        default:
            break;
    }
}

void ResizeBilinear(const PixelBuffer& source, PixelBuffer& destination) {
    CheckResizable(source, destination);
    if (source.Width() == 1) {
        ResizeNearest(source, destination);
        return;
    }
    if (SameSize(source, destination)) {
        CopyPixels(source, destination);
        return;
    }
    switch (source.BitsPerPixel()) {
        case 8:
            Bilinear<1, 1>(source, destination);
            break;
        case 24:
            Bilinear24(source, destination);
            break;
        case 32:
            Bilinear<4, 3>(source, destination);
            break;
        default:
            break;
    }
}

void ResizeBuffer(PixelBuffer& buffer, int newWidth, int newHeight) {
    if (newWidth <= 0 || newHeight <= 0 || buffer.Empty()) {
        throw Error("A picture cannot be resized to or from a size of zero");
    }
    if (newWidth == buffer.Width() && newHeight == buffer.Height() && buffer.BitsPerPixel() != 1) {
        return;  // resampling to the same size copies the pixels unchanged
    }
    PixelBuffer temporary(newWidth, newHeight, buffer.BitsPerPixel());
    if (temporary.BitsPerPixel() == 1) {
        temporary.Palette() = {Bgr{0, 0, 0}, Bgr{255, 255, 255}};
        ResizeNearest(buffer, temporary);
    } else {
        if (buffer.BitsPerPixel() <= 8) {
            temporary.Palette() = buffer.Palette();
        }
        ResizeBilinear(buffer, temporary);
    }
    buffer.TakeOver(std::move(temporary));
}

void ResizeBufferBand(PixelBuffer& buffer, int newWidth, int newHeight, int firstRow, int rowCount) {
    if (newWidth <= 0 || newHeight <= 0 || buffer.Empty()) {
        throw Error("A picture cannot be resized to or from a size of zero");
    }
    if (firstRow < 0 || rowCount <= 0 || firstRow > newHeight - rowCount) {
        throw Error("The rows asked for lie outside the resized picture");
    }
    PixelBuffer band(newWidth, rowCount, 24);
    if (buffer.BitsPerPixel() != 24) {
        ResizeBuffer(buffer, newWidth, newHeight);
        buffer.DrawOnto(band, 0, -(newHeight - firstRow - rowCount));  // DrawOnto counts from the top
    } else {
        ResizeBilinearBand(buffer, band, newHeight, firstRow);
    }
    buffer.TakeOver(std::move(band));
}

void ResizeBilinearBand(const PixelBuffer& source, PixelBuffer& band, int newHeight, int firstRow) {
    if (band.Empty() || newHeight <= 0 || source.Empty()) {
        throw Error("A picture cannot be resized to or from a size of zero");
    }
    if (firstRow < 0 || firstRow > newHeight - band.Height()) {
        throw Error("The rows asked for lie outside the resized picture");
    }
    if (source.BitsPerPixel() != 24 || band.BitsPerPixel() != 24) {
        throw Error("Only 24-bit pictures are resampled into a band");
    }
    if (band.Width() == source.Width() && newHeight == source.Height()) {
        for (int y = 0; y < band.Height(); ++y) {
            std::memcpy(band.Row(y), source.Row(firstRow + y), band.Stride());
        }
    } else if (source.Width() == 1) {
        NearestFixed<3>(source, band, true, newHeight, firstRow);
    } else {
        Bilinear24(source, band, newHeight, firstRow);
    }
}

}  // namespace vistamaze
