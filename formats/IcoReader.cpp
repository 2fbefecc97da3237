#include "formats/IcoReader.h"

#include "engine/Errors.h"
#include "formats/BmpReader.h"
#include "formats/PngReader.h"

#include <array>
#include <cstring>

namespace vistamaze {

namespace {

constexpr std::size_t kDirectoryHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::array<std::uint8_t, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t U16(std::span<const std::uint8_t> b, std::size_t pos) {
    return b[pos] | (std::uint32_t{b[pos + 1]} << 8);
}

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t pos) {
    return U16(b, pos) | (U16(b, pos + 2) << 16);
}

struct IconEntry {
    std::span<const std::uint8_t> data;
    std::uint64_t pixels = 0;
    std::uint32_t bits = 0;
    bool png = false;
};

// Reads one directory entry; the image's own header decides its depth where it can be read,
// since many writers leave the directory's depth 0.
IconEntry ReadEntry(std::span<const std::uint8_t> bytes, std::size_t pos) {
    const std::uint32_t width = bytes[pos] == 0 ? 256U : bytes[pos];
    const std::uint32_t height = bytes[pos + 1] == 0 ? 256U : bytes[pos + 1];
    const std::uint32_t size = U32(bytes, pos + 8);
    const std::uint32_t offset = U32(bytes, pos + 12);
    if (offset > bytes.size() || size > bytes.size() - offset) {
        throw InvalidPictureError("The icon file is truncated");
    }
    IconEntry entry;
    entry.data = bytes.subspan(offset, size);
    entry.pixels = std::uint64_t{width} * height;
    entry.png = size >= kPngSignature.size() &&
                std::memcmp(entry.data.data(), kPngSignature.data(), kPngSignature.size()) == 0;
    if (entry.png) {
        entry.bits = 32;
    } else if (size >= 16) {
        entry.bits = U16(entry.data, 14);
    } else {
        entry.bits = U16(bytes, pos + 6);
    }
    return entry;
}

}  // namespace

PixelBuffer DecodeIco(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kDirectoryHeaderSize) {
        throw InvalidPictureError("The icon file is truncated");
    }
    const std::uint32_t type = U16(bytes, 2);
    const std::uint32_t count = U16(bytes, 4);
    if (U16(bytes, 0) != 0 || (type != 1 && type != 2) || count == 0) {
        throw InvalidPictureError("Invalid icon file: no icon directory");
    }
    if (bytes.size() < kDirectoryHeaderSize + count * kEntrySize) {
        throw InvalidPictureError("The icon file is truncated");
    }
    IconEntry best;
    for (std::uint32_t i = 0; i < count; ++i) {
        const IconEntry entry = ReadEntry(bytes, kDirectoryHeaderSize + i * kEntrySize);
        if (entry.pixels > best.pixels || (entry.pixels == best.pixels && entry.bits > best.bits)) {
            best = entry;
        }
    }
    return best.png ? DecodePng(best.data) : DecodeIconBitmap(best.data);
}

}  // namespace vistamaze
