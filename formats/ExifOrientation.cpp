#include "formats/ExifOrientation.h"

#include <cstring>
#include <utility>

namespace vistamaze {
namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::size_t kTiffStart = 6;  // after "Exif\0\0"

// TIFF field types that hold integers.
constexpr std::uint32_t kByte = 1;
constexpr std::uint32_t kShort = 3;
constexpr std::uint32_t kLong = 4;
constexpr std::uint32_t kSignedByte = 6;
constexpr std::uint32_t kSignedShort = 8;
constexpr std::uint32_t kSignedLong = 9;

// Bytes of one component of an integer type; 0 for any other type.
std::size_t IntegerSize(std::uint32_t type) noexcept {
    switch (type) {
        case kByte:
        case kSignedByte:
            return 1;
        case kShort:
        case kSignedShort:
            return 2;
        case kLong:
        case kSignedLong:
            return 4;
        default:
            return 0;
    }
}

}  // namespace

int ExifOrientation(std::span<const std::uint8_t> app1) noexcept {
    if (app1.size() < kTiffStart + 8 || std::memcmp(app1.data(), "Exif\0\0", kTiffStart) != 0) {
        return 1;
    }
    const std::span<const std::uint8_t> tiff = app1.subspan(kTiffStart);
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) {
        return 1;
    }
    const auto u16 = [&](std::size_t at) -> std::uint32_t {
        return little ? tiff[at] | (tiff[at + 1] << 8U) : (tiff[at] << 8U) | tiff[at + 1];
    };
    const auto u32 = [&](std::size_t at) -> std::uint32_t {
        return little ? u16(at) | (u16(at + 2) << 16U) : (u16(at) << 16U) | u16(at + 2);
    };
    const std::uint32_t ifd = u32(4);
    if (ifd > tiff.size() - 2) {
        return 1;
    }
    const std::uint32_t entries = u16(ifd);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::size_t entry = ifd + 2 + static_cast<std::size_t>(i) * 12;
        if (entry + 12 > tiff.size()) {
            return 1;
        }
        if (u16(entry) != kOrientationTag) {
            continue;
        }
        // Any integer type holds the value, as cameras and tools write it: the first component,
        // inline when the components fit in the entry's four bytes, else at the offset stored there.
        const std::size_t size = IntegerSize(u16(entry + 2));
        const std::uint32_t count = u32(entry + 4);
        if (size == 0 || count == 0) {
            return 1;
        }
        std::size_t at = entry + 8;
        if (static_cast<std::uint64_t>(count) * size > 4) {
            at = u32(entry + 8);
            if (at > tiff.size() - size) {
                return 1;
            }
        }
        std::int64_t value = 0;
        switch (u16(entry + 2)) {
            case kByte:
                value = tiff[at];
                break;
            case kSignedByte:
                value = static_cast<std::int8_t>(tiff[at]);
                break;
            case kShort:
                value = u16(at);
                break;
            case kSignedShort:
                value = static_cast<std::int16_t>(u16(at));
                break;
            case kLong:
                value = u32(at);
                break;
            default:  // SLONG
                value = static_cast<std::int32_t>(u32(at));
                break;
        }
        return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
    }
    return 1;
}

PixelBuffer ApplyExifOrientation(PixelBuffer picture, int orientation) {
    if (orientation < 2 || orientation > 8) {
        return picture;
    }
    const int w = picture.Width();
    const int h = picture.Height();
    const bool swaps = orientation >= 5;
    const int outW = swaps ? h : w;
    const int outH = swaps ? w : h;
    PixelBuffer out(outW, outH, 24);
    // Coordinates below count from the top-left corner, as the orientation is defined; the
    // buffers store their bottom row first.
    for (int y = 0; y < outH; ++y) {
        for (int x = 0; x < outW; ++x) {
            int sx = x;
            int sy = y;
            switch (orientation) {
                case 2:
                    sx = w - 1 - x;
                    break;
                case 3:
                    sx = w - 1 - x;
                    sy = h - 1 - y;
                    break;
                case 4:
                    sy = h - 1 - y;
                    break;
                case 5:
                    sx = y;
                    sy = x;
                    break;
                case 6:
                    sx = y;
                    sy = h - 1 - x;
                    break;
                case 7:
                    sx = w - 1 - y;
                    sy = h - 1 - x;
                    break;
                default:
                    sx = w - 1 - y;
                    sy = x;
                    break;  // 8
            }
            out.SetPixel(outH - 1 - y, x, picture.Pixel(h - 1 - sy, sx));
        }
    }
    return out;
}

}  // namespace vistamaze
