#pragma once

// Pictures to save and independent ways of reading the saved files back: libpng and libjpeg
// directly, ImageMagick through its command-line tools.

#include "engine/PixelBuffer.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vistamaze::test {

// Interleaved 8-bit samples, top row first, as the decoders deliver them.
struct DecodedImage {
    int width = 0;
    int height = 0;
    int components = 0;  // 1 grey, 3 RGB
    std::vector<std::uint8_t> samples;
};

// A stereogram-like 24-bit picture: a textured strip repeated across each row with a period
// that changes with a depth pattern, so neighbouring rows and channels all differ.
PixelBuffer StereogramLike(int width, int height);
// A 24-bit picture of gentle gradients that differ per channel: JPEG keeps it closely.
PixelBuffer SmoothColour(int width, int height);
// An 8-bit picture with the 256-entry grey ramp palette.
PixelBuffer GreyRamp8(int width, int height);
// An 8-bit picture with a coloured palette (not a grey ramp).
PixelBuffer Paletted8(int width, int height);
// A 1-, 4-, 16- or 32-bit picture with varied content (and palette for 1 and 4 bits).
PixelBuffer OtherDepth(int width, int height, int bitsPerPixel);

// What a correct reader must see: the buffer's colours, top row first, RGB.
std::vector<std::uint8_t> ExpectedRgb(const PixelBuffer& buffer);

DecodedImage ReadPngWithLibpng(const std::filesystem::path& file);
DecodedImage ReadJpegWithLibjpeg(const std::filesystem::path& file);
// ImageMagick's `convert`, honouring the file's orientation, into top-down RGB samples.
DecodedImage ReadWithImageMagick(const std::filesystem::path& file);
// `identify -format <format>` of the file; empty when the tool fails.
std::string Identify(const std::filesystem::path& file, const std::string& format);

// Largest and mean absolute difference of two equally long sample arrays.
struct SampleDifference {
    int largest = 0;
    double mean = 0;
};
SampleDifference CompareSamples(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);

}  // namespace vistamaze::test
