#pragma once

#include "engine/Errors.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <span>
#include <string_view>

namespace vistamaze::models {

// Reads numbers and words from a text held in memory. Separators are white space and, where the
// caller asks, commas. Errors are vistamaze::Error with a short reason.
class TextScanner {
public:
    explicit TextScanner(std::span<const std::uint8_t> data)
        : text_(reinterpret_cast<const char*>(data.data()), data.size()) {}

    // Skips white space (and commas when `commas`); false at the end of the text.
    bool SkipSpace(bool commas = false) {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' ||
                (commas && c == ',')) {
                ++pos_;
            } else {
                return true;
            }
        }
        return false;
    }
    // Skips spaces and tabs only; false at a line end or the end of the text.
    bool SkipBlanks(bool commas = false) {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\t' || (commas && text_[pos_] == ','))) {
            ++pos_;
        }
        return pos_ < text_.size() && text_[pos_] != '\n' && text_[pos_] != '\r';
    }
    void SkipLine() {
        while (pos_ < text_.size() && text_[pos_] != '\n') {
            ++pos_;
        }
        if (pos_ < text_.size()) {
            ++pos_;
        }
    }
    [[nodiscard]] char Peek() const noexcept { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    void Advance() noexcept { ++pos_; }

    // A word: the characters up to the next white space, comma or bracket.
    std::string_view Word() {
        const std::size_t start = pos_;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '[' || c == ']') {
                break;
            }
            ++pos_;
        }
        return text_.substr(start, pos_ - start);
    }

    // A finite floating-point number at the current position (after skipping separators).
    double Number(bool commas = false) {
        SkipSpace(commas);
        double value = 0.0;
        const char* first = text_.data() + pos_;
        const char* last = text_.data() + text_.size();
        if (first != last && *first == '+') {
            ++first;
        }
        const auto [end, ec] = std::from_chars(first, last, value);
        if (ec != std::errc() || !std::isfinite(value)) {
            throw Error("a number was expected");
        }
        pos_ = static_cast<std::size_t>(end - text_.data());
        return value;
    }
    // A non-negative integer no larger than `limit`.
    std::uint64_t Count(std::uint64_t limit) {
        SkipSpace();
        std::uint64_t value = 0;
        const auto [end, ec] = std::from_chars(text_.data() + pos_, text_.data() + text_.size(), value);
        if (ec != std::errc()) {
            throw Error("a count was expected");
        }
        if (value > limit) {
            throw Error("count too large");
        }
        pos_ = static_cast<std::size_t>(end - text_.data());
        return value;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace vistamaze::models
