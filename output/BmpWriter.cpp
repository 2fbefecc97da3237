#include "output/BmpWriter.h"

#include "engine/Errors.h"
#include "output/ReplacingFile.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace vistamaze {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::vector<std::uint8_t> BmpHeaders(const PixelBuffer& bitmap) {
    const int bits = bitmap.BitsPerPixel();
    const std::uint32_t colours = bits <= 8 ? (1U << bits) : 0U;
    const std::uint64_t offBits = kFileHeaderSize + kInfoHeaderSize + std::uint64_t{colours} * 4;
    const std::uint64_t fileSize = offBits + bitmap.ByteSize();
    if (fileSize > std::numeric_limits<std::uint32_t>::max()) {
        throw Error("The picture is too large for a BMP file");
    }
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(offBits));
    out.push_back('B');
    out.push_back('M');
    PutLe(out, static_cast<std::uint32_t>(fileSize), 4);
    PutLe(out, 0, 4);  // reserved
    PutLe(out, static_cast<std::uint32_t>(offBits), 4);
    PutLe(out, kInfoHeaderSize, 4);
    PutLe(out, static_cast<std::uint32_t>(bitmap.Width()), 4);
    PutLe(out, static_cast<std::uint32_t>(bitmap.Height()), 4);  // positive: bottom-up rows
    PutLe(out, 1, 2);                                            // planes
    PutLe(out, static_cast<std::uint32_t>(bits), 2);
    PutLe(out, 0, 4);  // BI_RGB: 5-5-5 for 16 bits, B G R x for 32 bits
    PutLe(out, static_cast<std::uint32_t>(bitmap.ByteSize()), 4);
    PutLe(out, 0, 4);  // horizontal resolution: none recorded
    PutLe(out, 0, 4);  // vertical resolution
    PutLe(out, colours, 4);
    PutLe(out, 0, 4);  // all colours important
    const auto& palette = bitmap.Palette();
    for (std::uint32_t i = 0; i < colours; ++i) {
        const Bgr c = i < palette.size() ? palette[i] : Bgr{};
        out.insert(out.end(), {c.b, c.g, c.r, 0});
    }
    return out;
}

}  // namespace

void SaveAsBmp(const Picture& picture, const std::filesystem::path& file) {
    const PixelBuffer& bitmap = picture.Bitmap();
    const std::vector<std::uint8_t> headers = BmpHeaders(bitmap);
    ReplacingFile out(file);
    out.Write(headers.data(), headers.size());
    // The bitmap's memory layout (bottom-up rows padded to 4 bytes) is the file's.
    out.Write(bitmap.Data(), bitmap.ByteSize());
    out.Commit();
}

}  // namespace vistamaze
