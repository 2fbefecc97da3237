#include "formats/TgaReader.h"

#include "engine/Errors.h"
#include "formats/ByteOrder.h"
#include "formats/ImageLimits.h"
#include "formats/PixelCompositing.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace vistamaze {

namespace {

constexpr std::size_t kHeaderSize = 18;

[[noreturn]] void Reject(const std::string& why) {
    throw InvalidPictureError("Not a valid Targa picture: " + why);
}

std::uint8_t Expand5(unsigned v) noexcept {
    return static_cast<std::uint8_t>((v << 3) | (v >> 2));
}

enum class PixelKind { Mapped, Grey8, GreyAlpha16, Rgb15, Rgb24, Rgba32, Rgb32 };

struct TgaHeader {
    int idLength = 0;
    int colorMapType = 0;
    int imageType = 0;
    int mapFirst = 0;
    int mapLength = 0;
    int mapEntryBits = 0;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    int alphaBits = 0;
    bool rightToLeft = false;
    bool topToBottom = false;
};

TgaHeader ParseHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize) {
        Reject("the header is truncated");
    }
    const std::uint8_t* p = bytes.data();
    TgaHeader h;
    h.idLength = p[0];
    h.colorMapType = p[1];
    h.imageType = p[2];
    h.mapFirst = Le16(p + 3);
    h.mapLength = Le16(p + 5);
    h.mapEntryBits = p[7];
    h.width = Le16(p + 12);
    h.height = Le16(p + 14);
    h.bitsPerPixel = p[16];
    h.alphaBits = p[17] & 0x0F;
    h.rightToLeft = (p[17] & 0x10) != 0;
    h.topToBottom = (p[17] & 0x20) != 0;
    if (h.colorMapType > 1) {
        Reject("unknown colour map type");
    }
    return h;
}

PixelKind KindFor(const TgaHeader& h) {
    const int base = h.imageType & ~8;
    if (h.imageType != base && h.imageType != base + 8) {
        Reject("unsupported image type");
    }
    switch (base) {
        case 1:
            if (h.colorMapType != 1 || h.mapLength == 0) {
                Reject("colour-mapped picture without a colour map");
            }
            if (h.bitsPerPixel != 8 && h.bitsPerPixel != 16) {
                Reject("unsupported colour index size");
            }
            return PixelKind::Mapped;
        case 2:
            switch (h.bitsPerPixel) {
                case 15:
                case 16:
                    return PixelKind::Rgb15;
                case 24:
                    return PixelKind::Rgb24;
                case 32:
                    return h.alphaBits > 0 ? PixelKind::Rgba32 : PixelKind::Rgb32;
                default:
                    Reject("unsupported bits per pixel");
            }
        case 3:
            if (h.bitsPerPixel == 8) {
                // Some writers claim alpha bits for plain 8-bit grey; there is no room for them.
                return PixelKind::Grey8;
            }
            if (h.bitsPerPixel == 16) {
                return PixelKind::GreyAlpha16;
            }
            Reject("unsupported bits per pixel");
        default:
            Reject("unsupported image type");
    }
}

// Turns one stored pixel or colour map entry into the colour shown over black.
Bgr ConvertDirect(PixelKind kind, const std::uint8_t* p, bool useAlpha) noexcept {
    switch (kind) {
        case PixelKind::Grey8:
            return {p[0], p[0], p[0]};
        case PixelKind::GreyAlpha16: {
            const std::uint8_t g = useAlpha ? CompositeOverBlack(p[0], p[1]) : p[0];
            return {g, g, g};
        }
        case PixelKind::Rgb15: {
            // The attribute bit of 15/16-bit colour is ignored: writers rarely mean it as alpha.
            const unsigned v = Le16(p);
            return {Expand5(v & 31U), Expand5((v >> 5) & 31U), Expand5((v >> 10) & 31U)};
        }
        case PixelKind::Rgba32:
            if (useAlpha) {
                return {CompositeOverBlack(p[0], p[3]), CompositeOverBlack(p[1], p[3]),
                        CompositeOverBlack(p[2], p[3])};
            }
            return {p[0], p[1], p[2]};
        case PixelKind::Rgb24:
        case PixelKind::Rgb32:
        case PixelKind::Mapped:
            break;
    }
    return {p[0], p[1], p[2]};
}

class TgaDecoder {
public:
    TgaDecoder(std::span<const std::uint8_t> bytes, const TgaHeader& header)
        : bytes_(bytes),
          h_(header),
          kind_(KindFor(header)),
          bytesPerPixel_(static_cast<std::size_t>((header.bitsPerPixel + 7) / 8)),
          pos_(kHeaderSize + static_cast<std::size_t>(header.idLength)) {}

    PixelBuffer Decode() {
        CheckPictureSize(h_.width, h_.height);
        ReadColorMap();
        const std::int64_t total = std::int64_t{h_.width} * h_.height;
        // Raw pixels take bytesPerPixel bytes each and a run-length packet, at least 2 bytes long,
        // covers at most 128 pixels: a file far too short is refused before pixels are allocated.
        const std::int64_t minBytes =
            (h_.imageType & 8) ? (total + 127) / 128 * 2 : total * static_cast<std::int64_t>(bytesPerPixel_);
        if (static_cast<std::int64_t>(bytes_.size() - std::min(pos_, bytes_.size())) < minBytes) {
            Reject("the pixel data is truncated");
        }
        out_ = AllocatePicture(h_.width, h_.height);
        if (h_.imageType & 8) {
            DecodeRle(total);
        } else {
            for (std::int64_t i = 0; i < total; ++i) {
                Put(Convert(Take(bytesPerPixel_)));
            }
        }
        return std::move(out_);
    }

private:
    const std::uint8_t* Take(std::size_t n) {
        if (pos_ > bytes_.size() || n > bytes_.size() - pos_) {
            Reject("the data is truncated");
        }
        const std::uint8_t* p = bytes_.data() + pos_;
        pos_ += n;
        return p;
    }

    void ReadColorMap() {
        if (h_.colorMapType == 0) {
            return;
        }
        const std::size_t entryBytes = static_cast<std::size_t>((h_.mapEntryBits + 7) / 8);
        if (kind_ != PixelKind::Mapped) {
            Take(entryBytes * static_cast<std::size_t>(h_.mapLength));  // present but unused
            return;
        }
        PixelKind entryKind = PixelKind::Rgb24;
        switch (h_.mapEntryBits) {
            case 15:
            case 16:
                entryKind = PixelKind::Rgb15;
                break;
            case 24:
                break;
            case 32:
                entryKind = PixelKind::Rgba32;
                break;
            default:
                Reject("unsupported colour map entry size");
        }
        map_.resize(static_cast<std::size_t>(h_.mapLength));
        for (Bgr& entry : map_) {
            entry = ConvertDirect(entryKind, Take(entryBytes), h_.alphaBits > 0);
        }
    }

    Bgr Convert(const std::uint8_t* p) const {
        if (kind_ != PixelKind::Mapped) {
            return ConvertDirect(kind_, p, h_.alphaBits > 0);
        }
        const int index = (h_.bitsPerPixel == 8 ? p[0] : Le16(p)) - h_.mapFirst;
        if (index < 0 || index >= h_.mapLength) {
            return Bgr{};  // an index the colour map does not hold shows black, as in bitmaps
        }
        return map_[static_cast<std::size_t>(index)];
    }

    void DecodeRle(std::int64_t total) {
        std::int64_t remaining = total;
        while (remaining > 0) {
            const std::uint8_t packet = *Take(1);
            const int count = (packet & 0x7F) + 1;
            if (count > remaining) {
                Reject("a run-length packet runs past the end of the picture");
            }
            remaining -= count;
            if (packet & 0x80) {
                const Bgr c = Convert(Take(bytesPerPixel_));
                for (int i = 0; i < count; ++i) {
                    Put(c);
                }
            } else {
                for (int i = 0; i < count; ++i) {
                    Put(Convert(Take(bytesPerPixel_)));
                }
            }
        }
    }

    // Stores pixels in file order; packets may cross row ends.
    void Put(Bgr c) noexcept {
        const int x = h_.rightToLeft ? h_.width - 1 - col_ : col_;
        const int y = h_.topToBottom ? h_.height - 1 - fileRow_ : fileRow_;
        out_.SetPixel(y, x, c);
        if (++col_ == h_.width) {
            col_ = 0;
            ++fileRow_;
        }
    }

    std::span<const std::uint8_t> bytes_;
    TgaHeader h_;
    PixelKind kind_;
    std::size_t bytesPerPixel_;
    std::size_t pos_;
    std::vector<Bgr> map_;
    PixelBuffer out_;
    int col_ = 0;
    int fileRow_ = 0;
};

}  // namespace

PixelBuffer DecodeTga(std::span<const std::uint8_t> bytes) {
    const TgaHeader header = ParseHeader(bytes);
    return TgaDecoder(bytes, header).Decode();
}

}  // namespace vistamaze
