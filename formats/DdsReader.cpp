#include "formats/DdsReader.h"

#include "engine/Errors.h"
#include "formats/ByteOrder.h"
#include "formats/ImageLimits.h"
#include "formats/PixelCompositing.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <string>

namespace vistamaze {

namespace {

constexpr std::size_t kHeaderEnd = 128;  // "DDS " + 124-byte header
constexpr std::size_t kDx10HeaderSize = 20;
constexpr std::uint32_t kPixelAlpha = 0x1;          // DDPF_ALPHAPIXELS
constexpr std::uint32_t kPixelFourCc = 0x4;         // DDPF_FOURCC
constexpr std::uint32_t kPixelRgb = 0x40;           // DDPF_RGB
constexpr std::uint32_t kPixelLuminance = 0x20000;  // DDPF_LUMINANCE
constexpr std::uint32_t kDx10Texture2D = 3;

// DXGI_FORMAT values that map onto what a legacy header can describe.
constexpr std::uint32_t kDxgiR8G8B8A8 = 28;
constexpr std::uint32_t kDxgiR8G8B8A8Srgb = 29;
constexpr std::uint32_t kDxgiBc1 = 71;
constexpr std::uint32_t kDxgiBc1Srgb = 72;
constexpr std::uint32_t kDxgiBc2 = 74;
constexpr std::uint32_t kDxgiBc2Srgb = 75;
constexpr std::uint32_t kDxgiBc3 = 77;
constexpr std::uint32_t kDxgiBc3Srgb = 78;
constexpr std::uint32_t kDxgiB8G8R8A8 = 87;
constexpr std::uint32_t kDxgiB8G8R8X8 = 88;
constexpr std::uint32_t kDxgiB8G8R8A8Srgb = 91;
constexpr std::uint32_t kDxgiB8G8R8X8Srgb = 93;

[[noreturn]] void Reject(const std::string& why) {
    throw InvalidPictureError("Not a valid DirectDraw surface: " + why);
}

std::uint32_t Le16(const std::uint8_t* p) noexcept {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8);
}

constexpr std::uint32_t FourCc(const char (&s)[5]) noexcept {
    return std::uint32_t{static_cast<std::uint8_t>(s[0])} |
           (std::uint32_t{static_cast<std::uint8_t>(s[1])} << 8) |
           (std::uint32_t{static_cast<std::uint8_t>(s[2])} << 16) |
           (std::uint32_t{static_cast<std::uint8_t>(s[3])} << 24);
}

enum class Encoding { Masked, Dxt1, Dxt3, Dxt5, PremultipliedDxt3, PremultipliedDxt5 };

struct Masks {
    std::uint32_t r = 0;
    std::uint32_t g = 0;
    std::uint32_t b = 0;
    std::uint32_t a = 0;
    int bitCount = 0;
    bool luminance = false;
};

struct DdsLayout {
    int width = 0;
    int height = 0;
    Encoding encoding = Encoding::Masked;
    Masks masks;
    std::size_t dataOffset = kHeaderEnd;
};

// The few DX10 formats that say nothing a legacy header could not.
void ApplyDx10(std::span<const std::uint8_t> bytes, DdsLayout& layout) {
    if (bytes.size() < kHeaderEnd + kDx10HeaderSize) {
        Reject("the DX10 header is truncated");
    }
    const std::uint8_t* p = bytes.data() + kHeaderEnd;
    const std::uint32_t format = Le32(p);
    const std::uint32_t dimension = Le32(p + 4);
    const std::uint32_t arraySize = Le32(p + 12);
    if (dimension != kDx10Texture2D || arraySize > 1) {
        Reject("only single 2D textures are read");
    }
    layout.dataOffset = kHeaderEnd + kDx10HeaderSize;
    switch (format) {
        case kDxgiBc1:
        case kDxgiBc1Srgb:
            layout.encoding = Encoding::Dxt1;
            break;
        case kDxgiBc2:
        case kDxgiBc2Srgb:
            layout.encoding = Encoding::Dxt3;
            break;
        case kDxgiBc3:
        case kDxgiBc3Srgb:
            layout.encoding = Encoding::Dxt5;
            break;
        case kDxgiR8G8B8A8:
        case kDxgiR8G8B8A8Srgb:
            layout.masks = {0xFF, 0xFF00, 0xFF0000, 0xFF000000, 32, false};
            break;
        case kDxgiB8G8R8A8:
        case kDxgiB8G8R8A8Srgb:
            layout.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000, 32, false};
            break;
        case kDxgiB8G8R8X8:
        case kDxgiB8G8R8X8Srgb:
            layout.masks = {0xFF0000, 0xFF00, 0xFF, 0, 32, false};
            break;
        default:
            Reject("unsupported DX10 format");
    }
}

DdsLayout ParseHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderEnd || std::memcmp(bytes.data(), "DDS ", 4) != 0 ||
        Le32(bytes.data() + 4) != 124) {
        Reject("missing header");
    }
    const std::uint8_t* p = bytes.data();
    DdsLayout layout;
    const std::uint32_t height = Le32(p + 12);
    const std::uint32_t width = Le32(p + 16);
    CheckPictureSize(width, height);
    layout.width = static_cast<int>(width);
    layout.height = static_cast<int>(height);
    const std::uint32_t flags = Le32(p + 80);
    if (flags & kPixelFourCc) {
        switch (Le32(p + 84)) {
            case FourCc("DXT1"):
                layout.encoding = Encoding::Dxt1;
                break;
            case FourCc("DXT2"):
                layout.encoding = Encoding::PremultipliedDxt3;
                break;
            case FourCc("DXT3"):
                layout.encoding = Encoding::Dxt3;
                break;
            case FourCc("DXT4"):
                layout.encoding = Encoding::PremultipliedDxt5;
                break;
            case FourCc("DXT5"):
                layout.encoding = Encoding::Dxt5;
                break;
            case FourCc("DX10"):
                ApplyDx10(bytes, layout);
                break;
            default:
                Reject("unsupported compression");
        }
        return layout;
    }
    Masks& m = layout.masks;
    m.bitCount = static_cast<int>(Le32(p + 88));
    m.r = Le32(p + 92);
    m.g = Le32(p + 96);
    m.b = Le32(p + 100);
    m.a = (flags & kPixelAlpha) ? Le32(p + 104) : 0;
    m.luminance = (flags & kPixelLuminance) != 0;
    if (m.bitCount != 8 && m.bitCount != 16 && m.bitCount != 24 && m.bitCount != 32) {
        Reject("unsupported bits per pixel");
    }
    // Only the pixel's own bits carry colour. Some writers give the mask of a narrow pixel as
    // the top of a 32-bit word (0xFF000000 for 8-bit luminance): such a mask is moved down.
    const std::uint32_t pixelBits = m.bitCount == 32 ? 0xFFFFFFFFU : (1U << m.bitCount) - 1U;
    for (std::uint32_t* mask : {&m.r, &m.g, &m.b, &m.a}) {
        if ((*mask & pixelBits) == 0 && *mask != 0) {
            *mask >>= 32 - m.bitCount;
        }
        *mask &= pixelBits;
    }
    if (m.luminance ? m.r == 0 : ((flags & kPixelRgb) == 0 || (m.r | m.g | m.b) == 0)) {
        Reject("unsupported pixel format");
    }
    return layout;
}

// One channel of a masked pixel, scaled to 0..255 by repeating its bits (as 5-6-5 colours of
// block-compressed surfaces are widened), or by dropping low bits of channels wider than 8.
std::uint8_t Channel(std::uint32_t pixel, std::uint32_t mask) noexcept {
    if (mask == 0) {
        return 0;
    }
    const int shift = std::countr_zero(mask);
    const int bits = std::bit_width(mask >> shift);
    const std::uint32_t v = (pixel & mask) >> shift;
    if (bits >= 8) {
        return static_cast<std::uint8_t>(v >> (bits - 8));
    }
    std::uint32_t wide = v << (8 - bits);
    for (int filled = bits; filled < 8; filled += bits) {
        wide |= wide >> bits;
    }
    return static_cast<std::uint8_t>(wide);
}

void DecodeMasked(const DdsLayout& layout, const std::uint8_t* data, PixelBuffer& out) {
    const Masks& m = layout.masks;
    const auto bytesPerPixel = static_cast<std::size_t>(m.bitCount / 8);
    for (int y = 0; y < layout.height; ++y) {
        const std::uint8_t* row =
            data + static_cast<std::size_t>(y) * bytesPerPixel * static_cast<std::size_t>(layout.width);
        for (int x = 0; x < layout.width; ++x) {
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * bytesPerPixel;
            std::uint32_t v = 0;
            for (std::size_t i = 0; i < bytesPerPixel; ++i) {
                v |= std::uint32_t{p[i]} << (8 * i);
            }
            std::uint8_t r = Channel(v, m.r);
            std::uint8_t g = m.luminance ? r : Channel(v, m.g);
            std::uint8_t b = m.luminance ? r : Channel(v, m.b);
            if (m.a != 0) {
                const std::uint8_t a = Channel(v, m.a);
                r = CompositeOverBlack(r, a);
                g = CompositeOverBlack(g, a);
                b = CompositeOverBlack(b, a);
            }
            out.SetPixel(layout.height - 1 - y, x, {b, g, r});
        }
    }
}

using Texels = std::array<Bgr, 16>;
using Alphas = std::array<std::uint8_t, 16>;

Bgr Expand565(std::uint32_t c) noexcept {
    const std::uint32_t r = (c >> 11) & 31U;
    const std::uint32_t g = (c >> 5) & 63U;
    const std::uint32_t b = c & 31U;
    return {static_cast<std::uint8_t>((b << 3) | (b >> 2)), static_cast<std::uint8_t>((g << 2) | (g >> 4)),
            static_cast<std::uint8_t>((r << 3) | (r >> 2))};
}

Bgr Mix(Bgr a, Bgr b, unsigned wa, unsigned wb) noexcept {
    const unsigned d = wa + wb;
    return {static_cast<std::uint8_t>((a.b * wa + b.b * wb + d / 2) / d),
            static_cast<std::uint8_t>((a.g * wa + b.g * wb + d / 2) / d),
            static_cast<std::uint8_t>((a.r * wa + b.r * wb + d / 2) / d)};
}

// The colour half of a DXT block. Only DXT1 has the three-colour mode whose fourth code is
// transparent, which over black is black.
Texels DecodeColorBlock(const std::uint8_t* block, bool dxt1) noexcept {
    const std::uint32_t c0 = Le16(block);
    const std::uint32_t c1 = Le16(block + 2);
    std::array<Bgr, 4> colors{Expand565(c0), Expand565(c1), Bgr{}, Bgr{}};
    if (!dxt1 || c0 > c1) {
        colors[2] = Mix(colors[0], colors[1], 2, 1);
        colors[3] = Mix(colors[0], colors[1], 1, 2);
    } else {
        colors[2] = Mix(colors[0], colors[1], 1, 1);
    }
    const std::uint32_t indices = Le32(block + 4);
    Texels texels;
    for (std::size_t i = 0; i < 16; ++i) {
        texels[i] = colors[(indices >> (2 * i)) & 3U];
    }
    return texels;
}

Alphas DecodeExplicitAlpha(const std::uint8_t* block) noexcept {
    Alphas alphas;
    for (std::size_t i = 0; i < 16; ++i) {
        const unsigned nibble = (block[i / 2] >> (4 * (i % 2))) & 0xFU;
        alphas[i] = static_cast<std::uint8_t>(nibble * 17);
    }
    return alphas;
}

Alphas DecodeInterpolatedAlpha(const std::uint8_t* block) noexcept {
    const unsigned a0 = block[0];
    const unsigned a1 = block[1];
    std::array<std::uint8_t, 8> levels{static_cast<std::uint8_t>(a0), static_cast<std::uint8_t>(a1)};
    if (a0 > a1) {
        for (unsigned i = 2; i < 8; ++i) {
            levels[i] = static_cast<std::uint8_t>(((8 - i) * a0 + (i - 1) * a1 + 3) / 7);
        }
    } else {
        for (unsigned i = 2; i < 6; ++i) {
            levels[i] = static_cast<std::uint8_t>(((6 - i) * a0 + (i - 1) * a1 + 2) / 5);
        }
        levels[6] = 0;
        levels[7] = 255;
    }
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < 6; ++i) {
        bits |= std::uint64_t{block[2 + i]} << (8 * i);
    }
    Alphas alphas;
    for (std::size_t i = 0; i < 16; ++i) {
        alphas[i] = levels[(bits >> (3 * i)) & 7U];
    }
    return alphas;
}

void DecodeBlocks(const DdsLayout& layout, const std::uint8_t* data, PixelBuffer& out) {
    const Encoding e = layout.encoding;
    const bool dxt1 = e == Encoding::Dxt1;
    const bool useAlpha = e == Encoding::Dxt3 || e == Encoding::Dxt5;
    const bool explicitAlpha = e == Encoding::Dxt3 || e == Encoding::PremultipliedDxt3;
    const std::size_t blockBytes = dxt1 ? 8 : 16;
    const int blocksWide = (layout.width + 3) / 4;
    const int blocksHigh = (layout.height + 3) / 4;
    for (int by = 0; by < blocksHigh; ++by) {
        for (int bx = 0; bx < blocksWide; ++bx) {
            const std::uint8_t* block =
                data + (static_cast<std::size_t>(by) * static_cast<std::size_t>(blocksWide) +
                        static_cast<std::size_t>(bx)) *
                           blockBytes;
            Alphas alphas;
            alphas.fill(255);
            if (!dxt1) {
                alphas = explicitAlpha ? DecodeExplicitAlpha(block) : DecodeInterpolatedAlpha(block);
                block += 8;
            }
            const Texels texels = DecodeColorBlock(block, dxt1);
            for (int ty = 0; ty < 4 && by * 4 + ty < layout.height; ++ty) {
                for (int tx = 0; tx < 4 && bx * 4 + tx < layout.width; ++tx) {
                    const auto i = static_cast<std::size_t>(ty * 4 + tx);
                    Bgr c = texels[i];
                    if (useAlpha) {
                        c = {CompositeOverBlack(c.b, alphas[i]), CompositeOverBlack(c.g, alphas[i]),
                             CompositeOverBlack(c.r, alphas[i])};
                    }
                    out.SetPixel(layout.height - 1 - (by * 4 + ty), bx * 4 + tx, c);
                }
            }
        }
    }
}

}  // namespace

PixelBuffer DecodeDds(std::span<const std::uint8_t> bytes) {
    const DdsLayout layout = ParseHeader(bytes);
    const auto w = static_cast<std::uint64_t>(layout.width);
    const auto h = static_cast<std::uint64_t>(layout.height);
    const std::uint64_t needed =
        layout.encoding == Encoding::Masked
            ? w * h * static_cast<std::uint64_t>(layout.masks.bitCount / 8)
            : ((w + 3) / 4) * ((h + 3) / 4) * (layout.encoding == Encoding::Dxt1 ? 8U : 16U);
    if (bytes.size() < layout.dataOffset || bytes.size() - layout.dataOffset < needed) {
        Reject("the pixel data is truncated");
    }
    PixelBuffer out = AllocatePicture(layout.width, layout.height);
    const std::uint8_t* data = bytes.data() + layout.dataOffset;
    if (layout.encoding == Encoding::Masked) {
        DecodeMasked(layout, data, out);
    } else {
        DecodeBlocks(layout, data, out);
    }
    return out;
}

}  // namespace vistamaze
