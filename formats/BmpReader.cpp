#include "formats/BmpReader.h"

#include "engine/Errors.h"
#include "formats/ImageLimits.h"
#include "formats/PixelCompositing.h"

#include <algorithm>
#include <array>
#include <bit>
#include <string>
#include <vector>

namespace vistamaze {

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;
constexpr std::size_t kFileHeaderSize = 14;

using Bytes = std::span<const std::uint8_t>;

[[noreturn]] void Fail(const std::string& what) {
    throw InvalidPictureError("Invalid BMP file: " + what);
}

[[noreturn]] void Truncated() {
    throw InvalidPictureError("The BMP file is truncated");
}

std::uint32_t U16(Bytes b, std::size_t pos) {
    if (pos > b.size() || b.size() - pos < 2) {
        Truncated();
    }
    return b[pos] | (std::uint32_t{b[pos + 1]} << 8);
}

std::uint32_t U32(Bytes b, std::size_t pos) {
    if (pos > b.size() || b.size() - pos < 4) {
        Truncated();
    }
    return b[pos] | (std::uint32_t{b[pos + 1]} << 8) | (std::uint32_t{b[pos + 2]} << 16) |
           (std::uint32_t{b[pos + 3]} << 24);
}

// One colour channel of a 16- or 32-bit pixel, described by its bit mask.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
};

Channel MakeChannel(std::uint32_t mask) {
    if (mask == 0) {
        return {};
    }
    const int shift = std::countr_zero(mask);
    return {mask, shift, static_cast<int>(std::bit_width(mask >> shift))};
}

// Scales a channel to 8 bits by repeating its bit pattern, so full scale maps to 255.
std::uint8_t Extract(const Channel& c, std::uint32_t pixel) {
    if (c.bits == 0) {
        return 0;
    }
    std::uint32_t v = (pixel & c.mask) >> c.shift;
    if (c.bits >= 8) {
        return static_cast<std::uint8_t>(v >> (c.bits - 8));
    }
    std::uint32_t out = 0;
    int filled = 0;
    while (filled < 8) {
        out = (out << c.bits) | v;
        filled += c.bits;
    }
    return static_cast<std::uint8_t>(out >> (filled - 8));
}

// Where the parts of a device-independent bitmap lie, counted from the start of its header.
struct DibLayout {
    std::int64_t width = 0;
    std::int64_t height = 0;  // rows stored, always positive
    bool topDown = false;
    int bits = 0;
    std::uint32_t compression = kBiRgb;
    std::array<std::uint32_t, 4> masks{};  // red, green, blue, alpha
    std::size_t paletteOffset = 0;
    std::size_t paletteEntrySize = 4;
    std::size_t paletteCount = 0;
    std::size_t pixelOffset = 0;  // right after the palette
};

bool KnownHeaderSize(std::uint32_t size) {
    switch (size) {
        case 12:
        case 16:
        case 40:
        case 52:
        case 56:
        case 64:
        case 108:
        case 124:
            return true;
        default:
            return false;
    }
}

// Reads the bit-field masks, which follow a 40-byte header or sit inside the longer ones.
std::size_t ReadMasks(Bytes dib, std::uint32_t headerSize, DibLayout& d) {
    std::size_t end = headerSize;
    if (d.compression == kBiBitfields || d.compression == kBiAlphaBitfields) {
        if (d.bits != 16 && d.bits != 32) {
            Fail("bit fields need 16 or 32 bits per pixel");
        }
        d.masks = {U32(dib, 40), U32(dib, 44), U32(dib, 48), 0};
        const bool alphaField = headerSize >= 56 || d.compression == kBiAlphaBitfields;
        if (alphaField) {
            d.masks[3] = U32(dib, 52);
        }
        if (headerSize == 40) {
            end += alphaField ? 16 : 12;
        }
    } else if (d.bits == 16) {
        d.masks = {0x7C00U, 0x03E0U, 0x001FU, 0};
    } else if (d.bits == 32) {
        d.masks = {0xFF0000U, 0xFF00U, 0xFFU, 0};
    }
    return end;
}

void CheckDepthAndCompression(const DibLayout& d, bool os2v2) {
    if (d.bits != 1 && d.bits != 4 && d.bits != 8 && d.bits != 16 && d.bits != 24 && d.bits != 32) {
        Fail("unsupported bits per pixel " + std::to_string(d.bits));
    }
    const bool ok = d.compression == kBiRgb || (d.compression == kBiRle8 && d.bits == 8) ||
                    (d.compression == kBiRle4 && d.bits == 4) ||
                    (!os2v2 && (d.compression == kBiBitfields || d.compression == kBiAlphaBitfields));
    if (!ok) {
        Fail("unsupported compression " + std::to_string(d.compression));
    }
}

DibLayout ParseDibHeader(Bytes dib) {
    const std::uint32_t headerSize = U32(dib, 0);
    if (!KnownHeaderSize(headerSize)) {
        Fail("unknown header size " + std::to_string(headerSize));
    }
    if (dib.size() < headerSize) {
        Truncated();
    }
    DibLayout d;
    std::uint32_t colorsUsed = 0;
    if (headerSize == 12) {
        d.width = U16(dib, 4);
        d.height = U16(dib, 6);
        d.bits = static_cast<int>(U16(dib, 10));
        d.paletteEntrySize = 3;
    } else {
        d.width = static_cast<std::int32_t>(U32(dib, 4));
        const std::int64_t height = static_cast<std::int32_t>(U32(dib, 8));
        d.topDown = height < 0;
        d.height = height < 0 ? -height : height;
        d.bits = static_cast<int>(U16(dib, 14));
        d.compression = headerSize >= 20 ? U32(dib, 16) : kBiRgb;
        colorsUsed = headerSize >= 36 ? U32(dib, 32) : 0;
    }
    CheckDepthAndCompression(d, headerSize == 16 || headerSize == 64);
    d.paletteOffset = ReadMasks(dib, headerSize, d);
    if (d.bits <= 8) {
        const std::uint32_t full = 1U << d.bits;
        d.paletteCount = (colorsUsed == 0 || colorsUsed > full) ? full : colorsUsed;
    }
    d.pixelOffset = d.paletteOffset + d.paletteCount * d.paletteEntrySize;
    return d;
}

// Palette entries that lie before `limit`; the rest stay black.
std::vector<Bgr> ReadPalette(Bytes dib, const DibLayout& d, std::size_t limit) {
    std::vector<Bgr> palette(d.paletteCount);
    limit = std::min(limit, dib.size());
    for (std::size_t i = 0; i < d.paletteCount; ++i) {
        const std::size_t pos = d.paletteOffset + i * d.paletteEntrySize;
        if (pos + 3 > limit) {
            break;
        }
        palette[i] = {dib[pos], dib[pos + 1], dib[pos + 2]};
    }
    return palette;
}

// What the pixel decoders share.
struct DecodeContext {
    const DibLayout& layout;
    const std::vector<Bgr>& palette;
    std::array<Channel, 4> channels;

    [[nodiscard]] int DestRow(std::int64_t fileRow) const {
        return static_cast<int>(layout.topDown ? layout.height - 1 - fileRow : fileRow);
    }
    [[nodiscard]] Bgr Lookup(unsigned index) const { return index < palette.size() ? palette[index] : Bgr{}; }
    [[nodiscard]] Bgr FromFields(std::uint32_t v) const {
        return {Extract(channels[2], v), Extract(channels[1], v), Extract(channels[0], v)};
    }
};

void DecodeRow(const DecodeContext& ctx, const std::uint8_t* src, PixelBuffer& out, int y,
               std::uint8_t* alphaRow) {
    const int width = out.Width();
    const int bits = ctx.layout.bits;
    for (int x = 0; x < width; ++x) {
        std::uint32_t v = 0;
        switch (bits) {
            case 1:
                out.SetPixel(y, x, ctx.Lookup((src[x >> 3] >> (7 - (x & 7))) & 1U));
                continue;
            case 4:
                out.SetPixel(y, x, ctx.Lookup((x & 1) ? (src[x >> 1] & 0x0FU) : (src[x >> 1] >> 4)));
                continue;
            case 8:
                out.SetPixel(y, x, ctx.Lookup(src[x]));
                continue;
            case 24: {
                const std::uint8_t* p = src + static_cast<std::size_t>(x) * 3;
                out.SetPixel(y, x, {p[0], p[1], p[2]});
                continue;
            }
            case 16:
                v = src[2 * x] | (std::uint32_t{src[2 * x + 1]} << 8);
                break;
            default: {
                const std::uint8_t* p = src + static_cast<std::size_t>(x) * 4;
                v = p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
                    (std::uint32_t{p[3]} << 24);
                break;
            }
        }
        out.SetPixel(y, x, ctx.FromFields(v));
        if (alphaRow != nullptr) {
            alphaRow[x] = Extract(ctx.channels[3], v);
        }
    }
}

// Decodes uncompressed or bit-field rows; `alpha` receives one value per pixel (bottom-up rows)
// when the layout has an alpha mask, and is left empty otherwise.
PixelBuffer DecodeUncompressed(const DecodeContext& ctx, Bytes pixels, std::vector<std::uint8_t>& alpha) {
    const DibLayout& d = ctx.layout;
    const auto stride = static_cast<std::size_t>(PixelBuffer::StrideFor(static_cast<int>(d.width), d.bits));
    if (stride * static_cast<std::size_t>(d.height) > pixels.size()) {
        Truncated();
    }
    PixelBuffer out = AllocatePicture(d.width, d.height);
    const bool hasAlpha = ctx.channels[3].bits > 0;
    alpha.assign(hasAlpha ? static_cast<std::size_t>(d.width * d.height) : 0, 0);
    for (std::int64_t r = 0; r < d.height; ++r) {
        const int y = ctx.DestRow(r);
        std::uint8_t* alphaRow = hasAlpha ? alpha.data() + static_cast<std::size_t>(y * d.width) : nullptr;
        DecodeRow(ctx, pixels.data() + static_cast<std::size_t>(r) * stride, out, y, alphaRow);
    }
    return out;
}

// Draws a 24-bit picture over black through its alpha values; an all-zero alpha channel is
// taken as unused and ignored.
void ApplyAlpha(PixelBuffer& image, const std::vector<std::uint8_t>& alpha) {
    if (std::all_of(alpha.begin(), alpha.end(), [](std::uint8_t a) { return a == 0; })) {
        return;
    }
    const auto width = static_cast<std::size_t>(image.Width());
    for (int y = 0; y < image.Height(); ++y) {
        std::uint8_t* row = image.Row(y);
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t a = alpha[static_cast<std::size_t>(y) * width + x];
            for (std::size_t c = 0; c < 3; ++c) {
                row[3 * x + c] = CompositeOverBlack(row[3 * x + c], a);
            }
        }
    }
}

}  // namespace

namespace {

std::uint8_t RleIndex(bool fourBits, unsigned i, unsigned byte) {
    if (!fourBits) {
        return static_cast<std::uint8_t>(byte);
    }
    return static_cast<std::uint8_t>((i & 1U) ? (byte & 0x0FU) : (byte >> 4));
}

// Run-length bitmaps may stop early (end of bitmap) or skip pixels (delta), which leaves them
// black, so only large pictures must hold runs for every pixel: a run covers at most 255 pixels
// in 2 bytes. Up to this many pixels (3 MiB decoded) no data is required.
constexpr std::int64_t kRleUncheckedPixels = std::int64_t{1} << 20;

PixelBuffer DecodeRle(const DecodeContext& ctx, Bytes data) {
    const DibLayout& d = ctx.layout;
    const bool four = d.compression == kBiRle4;
    const std::int64_t pixels = d.width * d.height;
    if (pixels > kRleUncheckedPixels) {
        CheckPictureData("BMP", d.width, d.height, data.size(),
                         static_cast<std::uint64_t>((pixels + 254) / 255 * 2));
    }
    PixelBuffer out = AllocatePicture(d.width, d.height);
    std::int64_t x = 0;
    std::int64_t row = 0;
    std::size_t pos = 0;
    const auto put = [&](std::uint8_t index) {
        if (x < d.width && row < d.height) {
            out.SetPixel(ctx.DestRow(row), static_cast<int>(x), ctx.Lookup(index));
        }
        ++x;
    };
    while (row < d.height) {
        if (data.size() - pos < 2) {
            Truncated();
        }
        const unsigned count = data[pos];
        const unsigned value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i) {
                put(RleIndex(four, i, value));
            }
        } else if (value == 0) {  // end of line
            x = 0;
            ++row;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // move right and up
            if (data.size() - pos < 2) {
                Truncated();
            }
            x += data[pos];
            row += data[pos + 1];
            pos += 2;
        } else {  // literal run, padded to an even byte count
            const std::size_t bytes = four ? (value + 1) / 2 : value;
            if (data.size() - pos < bytes) {
                Truncated();
            }
            for (unsigned i = 0; i < value; ++i) {
                put(RleIndex(four, i, data[pos + (four ? i / 2 : i)]));
            }
            pos += std::min(bytes + (bytes & 1U), data.size() - pos);
        }
    }
    return out;
}

PixelBuffer DecodePixels(const DibLayout& d, const std::vector<Bgr>& palette, Bytes pixels,
                         std::vector<std::uint8_t>& alpha) {
    const DecodeContext ctx{
        d,
        palette,
        {MakeChannel(d.masks[0]), MakeChannel(d.masks[1]), MakeChannel(d.masks[2]), MakeChannel(d.masks[3])}};
    if (d.compression == kBiRle8 || d.compression == kBiRle4) {
        alpha.clear();
        return DecodeRle(ctx, pixels);
    }
    return DecodeUncompressed(ctx, pixels, alpha);
}

// Blacks out the pixels an icon's AND mask marks transparent; a missing mask leaves all opaque.
void ApplyAndMask(PixelBuffer& image, const DibLayout& d, Bytes mask) {
    const std::size_t stride = PixelBuffer::StrideFor(image.Width(), 1);
    if (stride * static_cast<std::size_t>(image.Height()) > mask.size()) {
        return;
    }
    for (int r = 0; r < image.Height(); ++r) {
        const std::uint8_t* bits = mask.data() + static_cast<std::size_t>(r) * stride;
        const int y = d.topDown ? image.Height() - 1 - r : r;
        for (int x = 0; x < image.Width(); ++x) {
            if ((bits[x >> 3] >> (7 - (x & 7))) & 1U) {
                image.SetPixel(y, x, Bgr{});
            }
        }
    }
}

}  // namespace

PixelBuffer DecodeBmp(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') {
        Fail("no bitmap signature");
    }
    const std::uint32_t pixelFileOffset = U32(bytes, 10);
    const Bytes dib = bytes.subspan(std::min(bytes.size(), kFileHeaderSize));
    const DibLayout d = ParseDibHeader(dib);
    CheckPictureSize(d.width, d.height);
    if (pixelFileOffset > bytes.size()) {
        Truncated();
    }
    // Some writers leave the pixel offset 0; the pixels then follow the palette.
    const std::size_t pixelOffset = pixelFileOffset >= kFileHeaderSize + d.paletteOffset
                                        ? pixelFileOffset - kFileHeaderSize
                                        : d.pixelOffset;
    const std::vector<Bgr> palette = ReadPalette(dib, d, pixelOffset);
    std::vector<std::uint8_t> alpha;
    PixelBuffer image = DecodePixels(d, palette, dib.subspan(std::min(pixelOffset, dib.size())), alpha);
    ApplyAlpha(image, alpha);
    return image;
}

PixelBuffer DecodeIconBitmap(std::span<const std::uint8_t> dib) {
    DibLayout d = ParseDibHeader(dib);
    d.height /= 2;  // the colour image, then the AND mask
    CheckPictureSize(d.width, d.height);
    if (d.bits == 32 && d.compression == kBiRgb) {
        d.masks[3] = 0xFF000000U;
    }
    const std::vector<Bgr> palette = ReadPalette(dib, d, dib.size());
    const Bytes pixels = dib.subspan(std::min(d.pixelOffset, dib.size()));
    std::vector<std::uint8_t> alpha;
    PixelBuffer image = DecodePixels(d, palette, pixels, alpha);
    const bool alphaUsed = std::any_of(alpha.begin(), alpha.end(), [](std::uint8_t a) { return a != 0; });
    if (alphaUsed) {
        ApplyAlpha(image, alpha);
    } else if (d.compression == kBiRgb || d.compression == kBiBitfields) {
        const std::size_t colourBytes =
            PixelBuffer::StrideFor(image.Width(), d.bits) * static_cast<std::size_t>(image.Height());
        ApplyAndMask(image, d, pixels.subspan(colourBytes));
    }
    return image;
}

}  // namespace vistamaze
