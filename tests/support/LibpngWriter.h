#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <png.h>

namespace vistamaze::test {

// A PNG file in memory, written by libpng: `width` x `height` pixels of 8-bit samples in
// `colourType`, sample(x, y, channel) of each, rows from the top. `filters` (PNG_FILTER_* flags)
// replaces libpng's own choice when not negative; `idatBytes` limits the IDAT chunks when not 0.
template <typename Sample>
std::vector<std::uint8_t> LibpngFile(int width, int height, int colourType, Sample&& sample, int filters = -1,
                                     std::size_t idatBytes = 0) {
    std::vector<std::uint8_t> file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &file,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
            out->insert(out->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (filters >= 0) {
        png_set_filter(png, 0, filters);
    }
    if (idatBytes != 0) {
        png_set_compression_buffer_size(png, idatBytes);
    }
    png_write_info(png, info);
    const int channels = png_get_channels(png, info);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width * channels));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                row[static_cast<std::size_t>(x * channels + c)] = sample(x, y, c);
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return file;
}

}  // namespace vistamaze::test
