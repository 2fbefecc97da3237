#pragma once

#include "engine/PixelBuffer.h"

#include <cstddef>
#include <filesystem>
#include <string>

namespace vistamaze::test {

// True when ImageMagick's convert can be run.
bool ImageMagickAvailable();

// Decodes frame `frame` of a picture file with ImageMagick, drawn over black, as a 24-bit
// buffer (rows bottom-up). An empty buffer means ImageMagick failed.
PixelBuffer ImageMagickDecode(const std::filesystem::path& file, int frame = 0);

struct PixelDifference {
    int maxChannelDelta = 0;
    std::size_t differingPixels = 0;
    std::string firstDifference;  // "row r col c: (b,g,r) vs (b,g,r)", empty when equal
};

// Compares two 24-bit buffers of the same size channel by channel.
PixelDifference ComparePixels(const PixelBuffer& actual, const PixelBuffer& expected);

}  // namespace vistamaze::test
