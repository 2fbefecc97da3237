#pragma once

// Reference decodes for the Targa, PCX and DDS reader tests: ImageMagick or ffmpeg read the same
// file (or a reference picture shipped with it), independently of our readers.

#include "engine/PixelBuffer.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace vistamaze::test {

// An 8-bit RGBA picture, rows top-down, as ImageMagick hands it out.
struct RgbaPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

// Decodes `file` (a frame suffix such as "[0]" may follow) with ImageMagick; empty picture when
// the tool fails.
RgbaPicture DecodeWithImageMagick(const std::filesystem::path& file, const std::string& frame = "");

// Decodes `file` with ffmpeg's image decoder `codec` (targa, pcx, dds); empty picture when the
// tool fails. Unlike ImageMagick 6, ffmpeg honours the Targa origin bits.
RgbaPicture DecodeWithFfmpeg(const std::filesystem::path& file, const std::string& codec);

// The reference as our readers must show it: alpha composited over black, rounded to nearest.
// Returned as a 24-bit buffer, rows bottom-up.
PixelBuffer OverBlack(const RgbaPicture& picture);

// Largest difference of any channel of any pixel; the sizes must match (checked by the caller).
int MaxChannelDifference(const PixelBuffer& a, const PixelBuffer& b);
// Mean of |a - b| over all channels of all pixels.
double MeanChannelDifference(const PixelBuffer& a, const PixelBuffer& b);

// Deterministic byte mutations of a sample (flips, overwrites, truncations) from a fixed seed.
class MutationSource {
public:
    explicit MutationSource(std::uint32_t seed) : state_(seed) {}
    std::vector<std::uint8_t> Mutate(const std::vector<std::uint8_t>& sample);

private:
    std::uint32_t Next() noexcept;
    std::uint32_t state_;
};

}  // namespace vistamaze::test
