#include "output/PictureResolution.h"

#include <cmath>
#include <limits>

namespace vistamaze {

namespace {

bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

int DigitValue(char c, int base) noexcept {
    int value = base;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

}  // namespace

std::optional<std::int32_t> ParseWholeNumber(std::string_view text) noexcept {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    // One more than INT32_MAX so that INT32_MIN is reachable with a minus sign.
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (const char c : text) {
        const int digit = DigitValue(c, base);
        if (digit < 0) {
            return std::nullopt;
        }
        magnitude = magnitude * base + digit;
        if (magnitude > kLimit) {
            return std::nullopt;
        }
    }
    if (!negative && magnitude == kLimit) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::optional<std::uint32_t> PixelsPerMetreFromDpiText(std::string_view dpiText) noexcept {
    const auto dpi = ParseWholeNumber(dpiText);
    if (!dpi || *dpi < 1) {
        return std::nullopt;
    }
    const long double perMetre = std::nearbyint(static_cast<long double>(*dpi) * kInchesPerMetre);
    if (perMetre > static_cast<long double>(std::numeric_limits<std::int32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(perMetre);
}

std::uint32_t DotsPerInchFromPixelsPerMetre(std::uint32_t pixelsPerMetre) noexcept {
    return static_cast<std::uint32_t>(
        std::nearbyint(static_cast<long double>(pixelsPerMetre) / kInchesPerMetre));
}

}  // namespace vistamaze
