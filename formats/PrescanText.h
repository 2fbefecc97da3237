#pragma once

// Text helpers of the count checks that run before Assimp (ModelPrescan.h).

#include "engine/Errors.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace vistamaze::prescan {

inline constexpr std::uint64_t kUnbounded = UINT64_MAX / 4;

// a * b, saturating at kUnbounded.
inline std::uint64_t Times(std::uint64_t a, std::uint64_t b) {
    return (b != 0 && a > kUnbounded / b) ? kUnbounded : a * b;
}

[[noreturn]] inline void ClaimsTooMuch(std::uint64_t count, const std::string& what, std::size_t fileBytes) {
    throw Error("it claims " + std::to_string(count) + " " + what + ", more than its " +
                std::to_string(fileBytes) + " bytes can hold");
}

// Lines and blank-separated words of a text, the way the importers' header parsers see them.
class Lines {
public:
    explicit Lines(std::span<const std::uint8_t> bytes, std::size_t from = 0) : bytes_(bytes), next_(from) {}

    // The next line (without its line end); false at the end of the data.
    bool Next(std::string_view& line) {
        if (next_ >= bytes_.size()) {
            return false;
        }
        const auto* start = reinterpret_cast<const char*>(bytes_.data()) + next_;
        const auto* end = static_cast<const char*>(std::memchr(start, '\n', bytes_.size() - next_));
        const std::size_t length =
            end != nullptr ? static_cast<std::size_t>(end - start) : bytes_.size() - next_;
        next_ += length + (end != nullptr ? 1 : 0);
        line = std::string_view(start, length);
        return true;
    }
    // Where the next line starts.
    [[nodiscard]] std::size_t Offset() const noexcept { return next_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t next_;
};

// What ends a word for the importers' tokenizers (a vertical tab does not).
inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\0';
}

// Splits off the first word of `line`.
inline std::string_view Word(std::string_view& line) {
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) {
        ++start;
    }
    std::size_t end = start;
    while (end < line.size() && !IsBlank(line[end])) {
        ++end;
    }
    const std::string_view word = line.substr(start, end - start);
    line.remove_prefix(end);
    return word;
}

// The leading decimal digits of `word` as the importers read them (anything else reads as 0),
// saturating instead of wrapping around.
inline std::uint64_t Decimal(std::string_view word) {
    std::uint64_t value = 0;
    for (const char c : word) {
        if (c < '0' || c > '9') {
            break;
        }
        value = std::min(kUnbounded, value * 10 + static_cast<std::uint64_t>(c - '0'));
    }
    return value;
}

}  // namespace vistamaze::prescan
