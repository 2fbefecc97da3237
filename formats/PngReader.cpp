#include "formats/PngReader.h"

#include "engine/Errors.h"
#include "formats/ImageLimits.h"
#include "formats/PixelCompositing.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
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
    int channels;  // 3 (RGB) or 4 (RGBA)
    std::size_t rowBytes;
    int passes;  // 7 for Adam7 interlacing, else 1
};

// The two functions below hold the setjmp targets; their locals are all trivial.
bool ReadPngLayout(png_structp png, png_infop info, PngLayout* layout) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_user_limits(png, static_cast<png_uint_32>(kMaxPictureSide),
                        static_cast<png_uint_32>(kMaxPictureSide));
    png_read_info(png, info);
    png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    png_set_gray_to_rgb(png);
    layout->passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    layout->width = png_get_image_width(png, info);
    layout->height = png_get_image_height(png, info);
    layout->bitDepth = png_get_bit_depth(png, info);
    layout->channels = png_get_channels(png, info);
    layout->rowBytes = png_get_rowbytes(png, info);
    return true;
}

bool ReadPngRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_read_image(png, rows);
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

// Converts one top-down RGB(A) row into a BGR row, drawing alpha over black.
void ConvertRow(const PngLayout& layout, const std::uint8_t* src, std::uint8_t* dest) {
    const auto channels = static_cast<std::size_t>(layout.channels);
    for (std::size_t x = 0; x < layout.width; ++x) {
        for (std::size_t c = 0; c < 3; ++c) {
            const std::uint16_t v = Sample(src, x * channels + c, layout.bitDepth);
            std::uint8_t out = 0;
            if (channels == 4) {
                const std::uint16_t a = Sample(src, x * channels + 3, layout.bitDepth);
                out = layout.bitDepth == 16
                          ? CompositeOverBlack16(v, a)
                          : CompositeOverBlack(static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(a));
            } else {
                out = layout.bitDepth == 16 ? static_cast<std::uint8_t>((v + 128U) / 257U)
                                            : static_cast<std::uint8_t>(v);
            }
            dest[3 * x + (2 - c)] = out;
        }
    }
}

[[noreturn]] void Reject(const PngSource& source) {
    throw InvalidPictureError(std::string("Invalid PNG file: ") + source.message);
}

}  // namespace

PixelBuffer DecodePng(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) {
        throw InvalidPictureError("Invalid PNG file: no PNG signature");
    }
    PngSource source{bytes.data(), bytes.size(), 0, {}};
    const PngReadStruct reader(&source);
    PngLayout layout{};
    if (!ReadPngLayout(reader.Png(), reader.Info(), &layout)) {
        Reject(source);
    }
    CheckPictureSize(layout.width, layout.height);
    if ((layout.channels != 3 && layout.channels != 4) || (layout.bitDepth != 8 && layout.bitDepth != 16)) {
        throw InvalidPictureError("Invalid PNG file: unexpected sample layout");
    }
    PixelBuffer out(static_cast<int>(layout.width), static_cast<int>(layout.height), 24);
    const auto bottomUpRow = [&](png_uint_32 y) { return out.Row(static_cast<int>(layout.height - 1 - y)); };
    if (layout.passes == 1) {
        // Row by row: no second copy of the picture in libpng's format.
        std::vector<std::uint8_t> row(layout.rowBytes);
        for (png_uint_32 y = 0; y < layout.height; ++y) {
            if (!ReadPngRow(reader.Png(), row.data())) {
                Reject(source);
            }
            ConvertRow(layout, row.data(), bottomUpRow(y));
        }
        return out;
    }
    std::vector<std::uint8_t> pixels(layout.rowBytes * layout.height);
    std::vector<png_bytep> rows(layout.height);
    for (png_uint_32 y = 0; y < layout.height; ++y) {
        rows[y] = pixels.data() + static_cast<std::size_t>(y) * layout.rowBytes;
    }
    if (!ReadPngRows(reader.Png(), rows.data())) {
        Reject(source);
    }
    for (png_uint_32 y = 0; y < layout.height; ++y) {
        ConvertRow(layout, rows[y], bottomUpRow(y));
    }
    return out;
}

}  // namespace vistamaze
