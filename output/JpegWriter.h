#pragma once

#include "engine/Picture.h"

#include <filesystem>
#include <string_view>

namespace vistamaze {

// True for an 8-bit picture whose palette is exactly the 256-entry grey ramp (entry i is
// i, i, i): such a picture is written as a one-component grey JPEG.
[[nodiscard]] bool IsGreyRamp8Bit(const PixelBuffer& bitmap) noexcept;

// Writes the picture as a baseline, sequential JFIF file with the standard Huffman tables
// (no optimisation pass) at the given quality (clamped to 1..100). A 24-bit picture gives
// 3 components (YCbCr), an 8-bit grey-ramp picture 1 component. When the DPI text gives a
// resolution (see PixelsPerMetreFromDpiText) the density unit is dots per inch with both
// densities Round(pixels per metre / 39.37...), i.e. the DPI back; otherwise (or when it
// exceeds the 16-bit field) the unit is 0 with a 1:1 aspect ratio.
// Throws Error "JPEG image must be gray scale or true color" for other pictures (before touching
// the file), Error "The picture is empty" for a picture without an image, Error with libjpeg's
// message when it refuses the picture (e.g. sides above 65500), and FileAccessError when the
// file cannot be created or written. On every failure the old file stays as it was.
void SaveAsJpeg(const Picture& picture, const std::filesystem::path& file, int quality,
                std::string_view dpiText);

}  // namespace vistamaze
