#include "cli/OptionValues.h"

#include "output/PictureWriters.h"

#include <charconv>
#include <cmath>

namespace vistamaze::cli {

long long ParseInteger(const std::string& option, const std::string& text, long long lo, long long hi) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        throw UsageError(option + " needs a whole number, not " + Quoted(text));
    }
    if (value < lo || value > hi) {
        throw UsageError(option + " must lie between " + std::to_string(lo) + " and " + std::to_string(hi));
    }
    return value;
}

double ParseInches(const std::string& option, const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !(value >= 0.0 && value <= 10000.0)) {
        throw UsageError(option + " needs a length in inches between 0 and 10000, not " + Quoted(text));
    }
    return value;
}

std::pair<int, int> ParsePair(const std::string& option, const std::string& text, long long lo) {
    const auto comma = text.find(',');
    if (comma == std::string::npos) {
        throw UsageError(option + " needs two whole numbers as X,Y, not " + Quoted(text));
    }
    return {static_cast<int>(ParseInteger(option, text.substr(0, comma), lo, 1000000)),
            static_cast<int>(ParseInteger(option, text.substr(comma + 1), lo, 1000000))};
}

std::array<int, 3> ParseIntegerAngles(const std::string& option, const std::string& text) {
    const auto first = text.find(',');
    const auto second = first == std::string::npos ? first : text.find(',', first + 1);
    if (second == std::string::npos) {
        throw UsageError(option + " needs three whole numbers of degrees as X,Y,Z, not " + Quoted(text));
    }
    return {static_cast<int>(ParseInteger(option, text.substr(0, first), -36000, 36000)),
            static_cast<int>(ParseInteger(option, text.substr(first + 1, second - first - 1), -36000, 36000)),
            static_cast<int>(ParseInteger(option, text.substr(second + 1), -36000, 36000))};
}

double ParsePercentPoints(const std::string& option, const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !(std::abs(value) <= 1000.0)) {
        throw UsageError(option + " needs a number between -1000 and 1000, not " + Quoted(text));
    }
    return value;
}

std::pair<int, int> ParseViewSize(const std::string& option, const std::string& text) {
    const auto x = text.find_first_of("xX");
    if (x == std::string::npos) {
        throw UsageError(option + " needs a size as WxH, not " + Quoted(text));
    }
    return {static_cast<int>(ParseInteger(option, text.substr(0, x), 1, 8192)),
            static_cast<int>(ParseInteger(option, text.substr(x + 1), 1, 8192))};
}

std::array<double, 3> ParseAngles(const std::string& option, const std::string& text) {
    std::array<double, 3> angles{};
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (std::size_t i = 0; i < angles.size(); ++i) {
        const bool last = i + 1 == angles.size();
        const auto [next, ec] = std::from_chars(p, end, angles[i]);
        const bool separated = last ? next == end : next != end && *next == ',';
        if (ec != std::errc() || !separated || !(std::abs(angles[i]) <= 36000.0)) {
            throw UsageError(option + " needs three angles in degrees as X,Y,Z, not " + Quoted(text));
        }
        p = last ? next : next + 1;
    }
    return angles;
}

std::uint32_t ParseColour(const std::string& option, const std::string& text) {
    const std::string hex = text.starts_with('#') ? text.substr(1) : text;
    std::uint32_t value = 0;
    const char* end = hex.data() + hex.size();
    const auto [ptr, ec] = std::from_chars(hex.data(), end, value, 16);
    if (hex.size() != 6 || ec != std::errc() || ptr != end) {
        throw UsageError(option + " needs a colour as RRGGBB in hexadecimal, not " + Quoted(text));
    }
    return value;
}

std::string PictureName(const std::string& option, const std::string& file) {
    if (PictureFileFormatFor(file) == PictureFileFormat::None) {
        throw UsageError("cannot tell the picture format of " + option + " " + Quoted(file) +
                         ": use .png, .jpg, .jpeg, .bmp or .tga");
    }
    return file;
}

}  // namespace vistamaze::cli
