#include "formats/PcxReader.h"

#include "engine/Errors.h"
#include "formats/ByteOrder.h"
#include "formats/ImageLimits.h"
#include "formats/PixelCompositing.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace vistamaze {

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kPaletteTrailerSize = 769;  // 0x0C marker + 256 RGB entries
constexpr std::uint8_t kPaletteMarker = 0x0C;
constexpr std::uint32_t kDcxMagic = 987654321;

[[noreturn]] void Reject(const std::string& why) {
    throw InvalidPictureError("Not a valid PCX picture: " + why);
}

// The palette of version 3 files, which store none.
constexpr std::array<Bgr, 16> kEgaPalette{{
    {0, 0, 0},
    {170, 0, 0},
    {0, 170, 0},
    {170, 170, 0},
    {0, 0, 170},
    {170, 0, 170},
    {0, 85, 170},
    {170, 170, 170},
    {85, 85, 85},
    {255, 85, 85},
    {85, 255, 85},
    {255, 255, 85},
    {85, 85, 255},
    {255, 85, 255},
    {85, 255, 255},
    {255, 255, 255},
}};

struct PcxHeader {
    int version = 0;
    bool rle = false;
    int bitsPerPixel = 0;
    int width = 0;
    int height = 0;
    int planes = 0;
    std::size_t bytesPerLine = 0;
    std::array<Bgr, 16> palette16{};
};

PcxHeader ParseHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize || bytes[0] != 0x0A) {
        Reject("missing header");
    }
    const std::uint8_t* p = bytes.data();
    PcxHeader h;
    h.version = p[1];
    if (h.version > 5 || p[2] > 1) {
        Reject("unknown version or encoding");
    }
    h.rle = p[2] == 1;
    h.bitsPerPixel = p[3];
    const int xMin = Le16(p + 4);
    const int yMin = Le16(p + 6);
    const int xMax = Le16(p + 8);
    const int yMax = Le16(p + 10);
    if (xMax < xMin || yMax < yMin) {
        Reject("bad picture window");
    }
    h.width = xMax - xMin + 1;
    h.height = yMax - yMin + 1;
    h.planes = p[65];
    h.bytesPerLine = Le16(p + 66);
    for (std::size_t i = 0; i < 16; ++i) {
        h.palette16[i] = {p[16 + 3 * i + 2], p[16 + 3 * i + 1], p[16 + 3 * i]};
    }
    if (h.version == 3) {
        h.palette16 = kEgaPalette;
    } else if (h.bitsPerPixel == 1 && h.planes == 1 && h.palette16[0] == h.palette16[1]) {
        // Monochrome files often leave the header palette empty.
        h.palette16[0] = {0, 0, 0};
        h.palette16[1] = {255, 255, 255};
    }
    const int bpp = h.bitsPerPixel;
    const bool supported = (bpp == 1 && h.planes >= 1 && h.planes <= 4) ||
                           ((bpp == 2 || bpp == 4) && h.planes == 1) ||
                           (bpp == 8 && (h.planes == 1 || h.planes == 3 || h.planes == 4));
    if (!supported) {
        Reject("unsupported bits per pixel and planes");
    }
    CheckPictureSize(h.width, h.height);
    if (h.bytesPerLine * 8 < static_cast<std::size_t>(h.width) * static_cast<std::size_t>(bpp)) {
        Reject("scan lines shorter than the picture width");
    }
    return h;
}

// Hands out decoded scan lines; a run may continue across the end of a scan line, as some
// writers let it.
class ScanLineReader {
public:
    ScanLineReader(std::span<const std::uint8_t> data, bool rle) : data_(data), rle_(rle) {}

    void Read(std::span<std::uint8_t> line) {
        std::size_t i = 0;
        while (i < line.size()) {
            if (runLeft_ > 0) {
                const std::size_t n = std::min(runLeft_, line.size() - i);
                std::fill_n(line.begin() + static_cast<std::ptrdiff_t>(i), n, runValue_);
                runLeft_ -= n;
                i += n;
                continue;
            }
            if (pos_ >= data_.size()) {
                Reject("the pixel data is truncated");
            }
            const std::uint8_t b = data_[pos_++];
            if (rle_ && (b & 0xC0) == 0xC0) {
                if (pos_ >= data_.size()) {
                    Reject("the pixel data is truncated");
                }
                runLeft_ = b & 0x3FU;
                runValue_ = data_[pos_++];
            } else {
                line[i++] = b;
            }
        }
    }

private:
    std::span<const std::uint8_t> data_;
    bool rle_;
    std::size_t pos_ = 0;
    std::size_t runLeft_ = 0;
    std::uint8_t runValue_ = 0;
};

// Refuses, before the pixels are allocated, data too short to fill the picture even with the
// longest runs (63 bytes for every 2 bytes of input).
void CheckDataLength(const PcxHeader& h, std::size_t dataSize) {
    const std::uint64_t needed = std::uint64_t{h.bytesPerLine} * static_cast<std::uint64_t>(h.planes) *
                                 static_cast<std::uint64_t>(h.height);
    const std::uint64_t available = h.rle ? std::uint64_t{dataSize} / 2 * 63 + 63 : dataSize;
    if (available < needed) {
        Reject("the pixel data is truncated");
    }
}

std::vector<Bgr> ReadPalette256(std::span<const std::uint8_t> trailer) {
    std::vector<Bgr> palette(256);
    for (std::size_t i = 0; i < 256; ++i) {
        palette[i] = {trailer[1 + 3 * i + 2], trailer[1 + 3 * i + 1], trailer[1 + 3 * i]};
    }
    return palette;
}

// Turns one decoded scan line (all planes) into a row of 24-bit pixels.
void ConvertLine(const PcxHeader& h, const std::vector<Bgr>& palette256, const std::uint8_t* line,
                 PixelBuffer& out, int row) {
    const std::size_t bpl = h.bytesPerLine;
    for (int x = 0; x < h.width; ++x) {
        const auto ux = static_cast<std::size_t>(x);
        Bgr c;
        if (h.bitsPerPixel == 8 && h.planes >= 3) {
            c = {line[2 * bpl + ux], line[bpl + ux], line[ux]};
            if (h.planes == 4) {
                const std::uint8_t a = line[3 * bpl + ux];
                c = {CompositeOverBlack(c.b, a), CompositeOverBlack(c.g, a), CompositeOverBlack(c.r, a)};
            }
        } else if (h.bitsPerPixel == 8) {
            c = palette256[line[ux]];
        } else if (h.bitsPerPixel == 1) {
            unsigned index = 0;
            for (int plane = 0; plane < h.planes; ++plane) {
                const std::uint8_t byte = line[static_cast<std::size_t>(plane) * bpl + ux / 8];
                index |= ((byte >> (7 - x % 8)) & 1U) << plane;
            }
            c = h.palette16[index];
        } else {
            const int perByte = 8 / h.bitsPerPixel;
            const int shift = 8 - h.bitsPerPixel * (x % perByte + 1);
            const unsigned index =
                (line[ux / static_cast<std::size_t>(perByte)] >> shift) & ((1U << h.bitsPerPixel) - 1U);
            c = h.palette16[index];
        }
        out.SetPixel(row, x, c);
    }
}

}  // namespace

PixelBuffer DecodePcx(std::span<const std::uint8_t> bytes) {
    const PcxHeader h = ParseHeader(bytes);
    std::span<const std::uint8_t> data = bytes.subspan(kHeaderSize);
    std::vector<Bgr> palette256;
    if (h.bitsPerPixel == 8 && h.planes == 1) {
        if (data.size() >= kPaletteTrailerSize && data[data.size() - kPaletteTrailerSize] == kPaletteMarker) {
            palette256 = ReadPalette256(data.last(kPaletteTrailerSize));
            data = data.first(data.size() - kPaletteTrailerSize);
        } else {
            palette256.resize(256);
            for (std::size_t i = 0; i < 256; ++i) {
                const auto g = static_cast<std::uint8_t>(i);
                palette256[i] = {g, g, g};
            }
        }
    }
    CheckDataLength(h, data.size());
    PixelBuffer out = AllocatePicture(h.width, h.height);
    std::vector<std::uint8_t> line(h.bytesPerLine * static_cast<std::size_t>(h.planes));
    ScanLineReader reader(data, h.rle);
    for (int fileRow = 0; fileRow < h.height; ++fileRow) {
        reader.Read(line);
        ConvertLine(h, palette256, line.data(), out, h.height - 1 - fileRow);
    }
    return out;
}

PixelBuffer DecodeDcx(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 8 || Le32(bytes.data()) != kDcxMagic) {
        throw InvalidPictureError("Not a valid DCX file: bad magic number");
    }
    const std::size_t first = Le32(bytes.data() + 4);
    if (first < 8 || first >= bytes.size()) {
        throw InvalidPictureError("Not a valid DCX file: bad page offset");
    }
    std::size_t end = bytes.size();
    if (bytes.size() >= 12) {
        const std::size_t next = Le32(bytes.data() + 8);
        if (next > first && next < end) {
            end = next;
        }
    }
    return DecodePcx(bytes.subspan(first, end - first));
}

}  // namespace vistamaze
