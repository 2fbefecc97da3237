#pragma once

#include "engine/Picture.h"

#include <filesystem>

namespace vistamaze {

// Writes the picture's bitmap as an uncompressed Windows bitmap file (BITMAPINFOHEADER) in the
// bitmap's own pixel format: 1, 4 and 8 bits with their palette (always 2^bits entries, missing
// ones black), 16 bits as 5-5-5, 24 bits, and 32 bits as blue, green, red, unused. Rows are
// stored bottom row first, as in the bitmap. No resolution is recorded (both fields 0): the DPI
// setting does not apply to bitmaps. An empty picture gives a valid 0 x 0 file.
// Throws Error when the pixels exceed what the 32-bit size fields can describe, and
// FileAccessError when the file cannot be created or written; the old file then stays as it was.
void SaveAsBmp(const Picture& picture, const std::filesystem::path& file);

}  // namespace vistamaze
