#pragma once

#include "engine/Picture.h"

#include <filesystem>
#include <string_view>

namespace vistamaze {

// The row filter libpng applies before compression.
enum class PngFilter {
    Adaptive,  // libpng's choice per row among all five filters
    None,
    Sub,
    Up,
    Average,
    Paeth,
};

// Encoder settings. The defaults are the program's own saves; the command-line renderer trades
// file size for speed (e.g. level 1, no interlacing, PngFilter::Up, every core).
struct PngOptions {
    int level = 5;          // zlib compression level, 0..9 (values outside are clamped)
    bool interlace = true;  // Adam7
    PngFilter filter = PngFilter::Adaptive;
    // 1: libpng on the calling thread. Otherwise (0 chooses from the hardware) a non-interlaced
    // picture with a fixed filter is compressed in bands on that many threads (SaveAsPngInBands):
    // other bytes, the same pixels. Interlaced or adaptive files always take libpng's path.
    int threads = 1;
};

// Writes the picture as a PNG file: colour type RGB, 8 bits per sample, a gAMA chunk of 0.5
// (50000), and, when the DPI text gives a resolution (see PixelsPerMetreFromDpiText), a pHYs
// chunk in pixels per metre for both axes; otherwise no pHYs chunk. Pictures of other depths
// are written as the 24-bit colours they show. Rows go top row first, as PNG requires.
// Throws Error "png_create_write_struct failed" / "png_create_info_struct failed" when libpng
// cannot set up, Error "The picture is empty" for a picture without an image, Error with
// libpng's message when it refuses the picture, and FileAccessError when the file cannot be
// created or written. On every failure the old file stays as it was.
void SaveAsPng(const Picture& picture, const std::filesystem::path& file, std::string_view dpiText,
               const PngOptions& options = {});

}  // namespace vistamaze
