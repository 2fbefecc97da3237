#pragma once

#include "engine/PixelBuffer.h"
#include "output/PngWriter.h"

#include <cstdint>
#include <filesystem>

namespace vistamaze {

// Writes a 24-bit picture (bottom-up rows, blue-green-red) as a non-interlaced PNG, compressed
// on several threads: colour type RGB at 8 bits per sample, a gAMA chunk of 0.5 (50000), a pHYs
// chunk in pixels per metre for both axes unless `pixelsPerMetre` is 0, the image data, IEND.
//
// The rows are cut into bands of about 256 KiB. Each band is filtered with options.filter, which
// must not be PngFilter::Adaptive, and deflated at options.level (clamped to 0..9) on its own,
// starting with an empty window and ending on a byte boundary (a sync flush); the bands form one
// zlib stream whose Adler-32 is combined from theirs, written as one IDAT chunk per band, in
// order, while later bands are still being compressed. options.threads: 0 chooses from the
// hardware. The bytes written depend on the picture and the options only, never on the number
// of threads; options.interlace is not looked at.
//
// Throws Error "Cannot write PNG file \"<file>\": <reason>" when zlib fails or for an adaptive
// filter, FileAccessError when the file cannot be created or written. On every failure the old
// file stays as it was.
void SaveAsPngInBands(const PixelBuffer& bitmap, const std::filesystem::path& file,
                      std::uint32_t pixelsPerMetre, const PngOptions& options);

}  // namespace vistamaze
