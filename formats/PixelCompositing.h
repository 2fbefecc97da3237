#pragma once

#include <cstdint>

namespace vistamaze {

// A colour channel of a pixel with the given opacity drawn over black, rounded to nearest:
// the far end of a depth map is black, so transparent areas of a picture become far.
constexpr std::uint8_t CompositeOverBlack(std::uint8_t channel, std::uint8_t alpha) noexcept {
    return static_cast<std::uint8_t>((unsigned{channel} * alpha + 127U) / 255U);
}

// The same for 16-bit samples, reduced to 8 bits after compositing so that no precision is lost
// twice.
constexpr std::uint8_t CompositeOverBlack16(std::uint16_t channel, std::uint16_t alpha) noexcept {
    const std::uint64_t composed = (std::uint64_t{channel} * alpha + 32767U) / 65535U;
    return static_cast<std::uint8_t>((composed + 128U) / 257U);
}

}  // namespace vistamaze
