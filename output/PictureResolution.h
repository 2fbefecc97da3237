#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vistamaze {

// Pixels per inch <-> pixels per metre.
inline constexpr long double kInchesPerMetre = 39.370078740157480317L;

// Reads text the way the DPI field's text is read when saving: blanks (spaces, tabs) around
// the number are allowed, then an optional "+" or "-", then decimal digits, or "$" and
// hexadecimal digits. Anything else, an empty text or a value outside the 32-bit signed range
// gives no value.
[[nodiscard]] std::optional<std::int32_t> ParseWholeNumber(std::string_view text) noexcept;

// The resolution stored with a saved picture for a DPI text: Round(DPI * kInchesPerMetre)
// pixels per metre, the same on both axes (72 gives 2835, 300 gives 11811). No value when the
// text is not a whole number, the DPI is below 1, or the result exceeds 2^31 - 1 (the largest
// value a PNG pHYs chunk may carry); the writers then store no resolution.
[[nodiscard]] std::optional<std::uint32_t> PixelsPerMetreFromDpiText(std::string_view dpiText) noexcept;

// Round(pixelsPerMetre / kInchesPerMetre): gives the DPI back for values made from a DPI.
[[nodiscard]] std::uint32_t DotsPerInchFromPixelsPerMetre(std::uint32_t pixelsPerMetre) noexcept;

}  // namespace vistamaze
