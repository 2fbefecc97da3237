#include "output/TgaWriter.h"

#include "engine/Errors.h"
#include "output/ReplacingFile.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vistamaze {

namespace {

constexpr int kMaxTargaSide = 65535;
constexpr std::size_t kColourMapEntries = 256;

std::array<std::uint8_t, 18> TargaHeader(const PixelBuffer& bitmap) {
    const bool mapped = bitmap.BitsPerPixel() == 8;
    const auto width = static_cast<unsigned>(bitmap.Width());
    const auto height = static_cast<unsigned>(bitmap.Height());
    std::array<std::uint8_t, 18> h{};
    h[1] = mapped ? 1 : 0;  // colour-map type
    h[2] = mapped ? 1 : 2;  // image type: colour-mapped or true colour, uncompressed
    if (mapped) {
        h[5] = kColourMapEntries & 0xFFU;  // map length, little-endian (first entry stays 0)
        h[6] = kColourMapEntries >> 8;
        h[7] = 24;  // map entry size
    }
    h[12] = static_cast<std::uint8_t>(width & 0xFFU);
    h[13] = static_cast<std::uint8_t>(width >> 8);
    h[14] = static_cast<std::uint8_t>(height & 0xFFU);
    h[15] = static_cast<std::uint8_t>(height >> 8);
    h[16] = mapped ? 8 : 24;
    h[17] = 0;  // bottom row first, no alpha bits
    return h;
}

void WriteColourMap(ReplacingFile& out, const std::vector<Bgr>& palette) {
    std::array<std::uint8_t, kColourMapEntries * 3> map{};
    for (std::size_t i = 0; i < kColourMapEntries && i < palette.size(); ++i) {
        map[i * 3] = palette[i].b;
        map[i * 3 + 1] = palette[i].g;
        map[i * 3 + 2] = palette[i].r;
    }
    out.Write(map.data(), map.size());
}

}  // namespace

void SaveAsTga(const Picture& picture, const std::filesystem::path& file) {
    const PixelBuffer& bitmap = picture.Bitmap();
    const int bits = bitmap.BitsPerPixel();
    if (bits != 24 && bits != 8) {
        throw Error("TARGA image must be true color or 8 bit with palette !");
    }
    if (bitmap.Width() > kMaxTargaSide || bitmap.Height() > kMaxTargaSide) {
        throw Error("gbm_write failed.");
    }
    const auto header = TargaHeader(bitmap);
    ReplacingFile out(file);
    out.Write(header.data(), header.size());
    if (bits == 8) {
        WriteColourMap(out, bitmap.Palette());
    }
    // Targa rows are not padded: write each row without the bitmap's 4-byte alignment.
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.Width()) * (bits / 8);
    if (rowBytes == bitmap.Stride()) {
        out.Write(bitmap.Data(), bitmap.ByteSize());
    } else {
        for (int y = 0; y < bitmap.Height(); ++y) {
            out.Write(bitmap.Row(y), rowBytes);
        }
    }
    out.Commit();
}

}  // namespace vistamaze
