#pragma once

#include <cstdint>

namespace vistamaze {

// Little-endian loads from raw bytes; callers check that the bytes are there.
constexpr std::uint16_t Le16(const std::uint8_t* p) noexcept {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

constexpr std::uint32_t Le32(const std::uint8_t* p) noexcept {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

}  // namespace vistamaze
