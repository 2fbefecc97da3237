#pragma once

#include "engine/Picture.h"

#include <filesystem>

namespace vistamaze {

// Writes the picture as an uncompressed Truevision Targa file with an 18-byte header and
// image descriptor 0 (rows bottom row first, no alpha bits); no resolution is stored.
// A 24-bit picture gives image type 2, 24 bits per pixel, blue, green, red bytes. An 8-bit
// picture (grey or paletted) gives image type 1, 8 bits per pixel, with a 256-entry colour map
// of 24-bit entries (palette entries it lacks are black).
// Throws Error "TARGA image must be true color or 8 bit with palette !" for other depths (before
// touching the file), Error "gbm_write failed." for a picture wider or taller than 65535 pixels,
// and FileAccessError when the file cannot be created or written; the old file then stays.
void SaveAsTga(const Picture& picture, const std::filesystem::path& file);

}  // namespace vistamaze
