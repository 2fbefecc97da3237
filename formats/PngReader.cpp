#include "formats/PngReader.h"

#include "engine/Errors.h"
#include "formats/ImageLimits.h"
#include "formats/PixelCompositing.h"
#include "formats/PlainPngDecoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <png.h>

namespace vistamaze {

namespace {

// Everything libpng's callbacks touch: trivially destructible, so a longjmp may cross it.
struct PngSource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos;
    char message[256];
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source->size - source->pos < length) {
        png_error(png, "the file is truncated");
    }
    std::memcpy(out, source->data + source->pos, length);
    source->pos += length;
}

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
    auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
    std::snprintf(source->message, sizeof source->message, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

class PngReadStruct {
public:
    explicit PngReadStruct(PngSource* source)
        : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, source, OnPngError, OnPngWarning)),
          info_(png_ != nullptr ? png_create_info_struct(png_) : nullptr) {
        if (info_ == nullptr) {
            png_destroy_read_struct(png_ != nullptr ? &png_ : nullptr, nullptr, nullptr);
            throw Error("Out of memory while reading a PNG file");
        }
        png_set_read_fn(png_, source, ReadFromMemory);
        // No picture needs the ancillary chunks but tRNS, and libpng allocates the stated length
        // of those it handles before reading them: 2 GB for a text chunk at the end of a small
        // file. Skipped, they are read through a small buffer and their lengths cost nothing.
        png_set_keep_unknown_chunks(png_, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    }
    ~PngReadStruct() { png_destroy_read_struct(&png_, &info_, nullptr); }
    PngReadStruct(const PngReadStruct&) = delete;
    PngReadStruct& operator=(const PngReadStruct&) = delete;

    [[nodiscard]] png_structp Png() const noexcept { return png_; }
    [[nodiscard]] png_infop Info() const noexcept { return info_; }

private:
    png_structp png_;
    png_infop info_;
};

struct PngLayout {
    png_uint_32 width;
    png_uint_32 height;
    int bitDepth;  // 8 or 16 after the transformations
    int channels;  // 1 (grey), 3 (RGB, or BGR when `bgr`) or 4 (RGBA)
    std::size_t rowBytes;
    std::uint64_t fileBitsPerPixel;  // as stored, before the transformations
    bool interlaced;                 // Adam7: rows arrive pass by pass, each holding every n-th pixel
    bool bgr;                        // 8-bit samples in the picture's own order, blue first
};

// The two functions below hold the setjmp targets; their locals are all trivial.
bool ReadPngLayout(png_structp png, png_infop info, PngLayout* layout) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_user_limits(png, static_cast<png_uint_32>(kMaxPictureSide),
                        static_cast<png_uint_32>(kMaxPictureSide));
    png_read_info(png, info);
    layout->fileBitsPerPixel = std::uint64_t{png_get_bit_depth(png, info)} * png_get_channels(png, info);
    const int colourType = png_get_color_type(png, info);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    // Opaque grey stays one sample a pixel, spread to three here, which is cheaper than in libpng.
    if (colourType != PNG_COLOR_TYPE_GRAY || transparency) {
        png_set_gray_to_rgb(png);
    }
    // Opaque 8-bit colour comes out in the picture's own sample order, so rows need no reordering.
    layout->bgr = !transparency && (colourType == PNG_COLOR_TYPE_PALETTE ||
                                    (colourType == PNG_COLOR_TYPE_RGB && png_get_bit_depth(png, info) == 8));
    if (layout->bgr) {
        png_set_bgr(png);
    }
    // No interlace handling: libpng hands out each pass's reduced rows, which are placed
    // straight into the picture, so no full-size copy in libpng's sample format is needed.
    layout->interlaced = png_get_interlace_type(png, info) == PNG_INTERLACE_ADAM7;
    png_read_update_info(png, info);
    layout->width = png_get_image_width(png, info);
    layout->height = png_get_image_height(png, info);
    layout->bitDepth = png_get_bit_depth(png, info);
    layout->channels = png_get_channels(png, info);
    layout->rowBytes = png_get_rowbytes(png, info);
    return true;
}

bool ReadPngRow(png_structp png, png_bytep row) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_read_row(png, row, nullptr);
    return true;
}

std::uint16_t Sample(const std::uint8_t* row, std::size_t index, int bitDepth) {
    if (bitDepth == 16) {
        return static_cast<std::uint16_t>((row[2 * index] << 8) | row[2 * index + 1]);
    }
    return row[index];
}

// Converts `count` grey, RGB, BGR or RGBA pixels into BGR pixels `destStep` pixels apart, drawing
// alpha over black.
template <std::size_t DestStep>
void ConvertPixelsAt(const PngLayout& layout, const std::uint8_t* src, std::size_t count, std::uint8_t* dest,
                     std::size_t destStep) {
    const std::size_t step = DestStep != 0 ? DestStep : destStep;
    const auto channels = static_cast<std::size_t>(layout.channels);
    if (layout.bitDepth == 8 && channels == 1) {
        for (std::size_t x = 0; x < count; ++x) {
            std::uint8_t* out = dest + 3 * x * step;
            out[0] = out[1] = out[2] = src[x];
        }
        return;
    }
    if (layout.bgr) {
        for (std::size_t x = 0; x < count; ++x) {
            std::memcpy(dest + 3 * x * step, src + 3 * x, 3);
        }
        return;
    }
    for (std::size_t x = 0; x < count; ++x) {
        std::uint8_t* out = dest + 3 * x * step;
        for (std::size_t c = 0; c < 3; ++c) {
            const std::uint16_t v = Sample(src, x * channels + (channels == 1 ? 0 : c), layout.bitDepth);
            std::uint8_t value = 0;
            if (channels == 4) {
                const std::uint16_t a = Sample(src, x * channels + 3, layout.bitDepth);
                value = layout.bitDepth == 16
                            ? CompositeOverBlack16(v, a)
                            : CompositeOverBlack(static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(a));
            } else {
                value = layout.bitDepth == 16 ? static_cast<std::uint8_t>((v + 128U) / 257U)
                                              : static_cast<std::uint8_t>(v);
            }
            out[2 - c] = value;
        }
    }
}

void ConvertPixels(const PngLayout& layout, const std::uint8_t* src, std::size_t count, std::uint8_t* dest,
                   std::size_t destStep) {
    if (destStep == 1) {
        ConvertPixelsAt<1>(layout, src, count, dest, 1);
    } else {
        ConvertPixelsAt<0>(layout, src, count, dest, destStep);
    }
}

// The bytes of compressed picture data (IDAT chunks) the file holds, counting a chunk cut off
// by the end of the file only as far as it goes.
std::uint64_t CompressedDataBytes(std::span<const std::uint8_t> bytes) {
    std::uint64_t total = 0;
    std::size_t pos = 8;
    while (bytes.size() - pos >= 8) {
        const std::uint64_t length = (std::uint64_t{bytes[pos]} << 24) |
                                     (std::uint64_t{bytes[pos + 1]} << 16) |
                                     (std::uint64_t{bytes[pos + 2]} << 8) | bytes[pos + 3];
        const bool idat = std::memcmp(bytes.data() + pos + 4, "IDAT", 4) == 0;
        pos += 8;
        const std::uint64_t present = std::min<std::uint64_t>(length, bytes.size() - pos);
        if (idat) {
            total += present;
        }
        if (std::memcmp(bytes.data() + pos - 4, "IEND", 4) == 0 || bytes.size() - pos < present + 4) {
            break;
        }
        pos += static_cast<std::size_t>(present) + 4;  // data and CRC
    }
    return total;
}

// Deflate turns at most 258 bytes into a 1-bit length and a 1-bit distance code: 1032 to 1.
// The filtered rows hold at least width * height * bits per pixel / 8 bytes.
void CheckCompressedData(const PngLayout& layout, std::span<const std::uint8_t> bytes) {
    const std::uint64_t rawBytes =
        (std::uint64_t{layout.width} * layout.height * layout.fileBitsPerPixel + 7) / 8;
    CheckPictureData("PNG", layout.width, layout.height, CompressedDataBytes(bytes), rawBytes / 1032);
}

[[noreturn]] void Reject(const PngSource& source) {
    throw InvalidPictureError(std::string("Invalid PNG file: ") + source.message);
}

}  // namespace

PixelBuffer DecodePng(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) {
        throw InvalidPictureError("Invalid PNG file: no PNG signature");
    }
    if (std::optional<PixelBuffer> plain = DecodePlainPng(bytes)) {
        return std::move(*plain);
    }
    PngSource source{bytes.data(), bytes.size(), 0, {}};
    const PngReadStruct reader(&source);
    PngLayout layout{};
    if (!ReadPngLayout(reader.Png(), reader.Info(), &layout)) {
        Reject(source);
    }
    CheckPictureSize(layout.width, layout.height);
    CheckCompressedData(layout, bytes);
    if ((layout.channels != 1 && layout.channels != 3 && layout.channels != 4) ||
        (layout.bitDepth != 8 && layout.bitDepth != 16) || (layout.bgr && layout.channels != 3)) {
        throw InvalidPictureError("Invalid PNG file: unexpected sample layout");
    }
    PixelBuffer out = AllocatePicture(layout.width, layout.height);
    std::vector<std::uint8_t> row(layout.rowBytes);
    const int passes = layout.interlaced ? PNG_INTERLACE_ADAM7_PASSES : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const png_uint_32 rows = layout.interlaced ? PNG_PASS_ROWS(layout.height, pass) : layout.height;
        const png_uint_32 cols = layout.interlaced ? PNG_PASS_COLS(layout.width, pass) : layout.width;
        if (rows == 0 || cols == 0) {
            continue;  // libpng skips empty passes too
        }
        const png_uint_32 firstRow = layout.interlaced ? PNG_PASS_START_ROW(pass) : 0;
        const png_uint_32 rowStep = layout.interlaced ? (1U << PNG_PASS_ROW_SHIFT(pass)) : 1;
        const png_uint_32 firstCol = layout.interlaced ? PNG_PASS_START_COL(pass) : 0;
        const png_uint_32 colStep = layout.interlaced ? (1U << PNG_PASS_COL_SHIFT(pass)) : 1;
        // Whole rows of the picture's own layout are read straight into it.
        const bool direct = layout.bgr && colStep == 1;
        for (png_uint_32 i = 0; i < rows; ++i) {
            const png_uint_32 y = firstRow + i * rowStep;
            std::uint8_t* dest = out.Row(static_cast<int>(layout.height - 1 - y)) + 3 * std::size_t{firstCol};
            if (!ReadPngRow(reader.Png(), direct ? dest : row.data())) {
                Reject(source);
            }
            if (!direct) {
                ConvertPixels(layout, row.data(), cols, dest, colStep);
            }
        }
    }
    return out;
}

}  // namespace vistamaze
