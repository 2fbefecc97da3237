#pragma once

#include "cli/FileRoles.h"
#include "cli/RenderOptions.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace vistamaze::cli {

// The values of the command line's options, each read whole or refused with a UsageError naming
// the option and what it needs.

// A whole number in lo..hi.
long long ParseInteger(const std::string& option, const std::string& text, long long lo, long long hi);
// A length in inches, 0..10000.
double ParseInches(const std::string& option, const std::string& text);
// "X,Y", two whole numbers from lo to 1000000.
std::pair<int, int> ParsePair(const std::string& option, const std::string& text, long long lo);
// "X,Y,Z", each a whole number of degrees, -36000..36000.
std::array<int, 3> ParseIntegerAngles(const std::string& option, const std::string& text);
// A number of percentage points, -1000..1000.
double ParsePercentPoints(const std::string& option, const std::string& text);
// "WxH", each side 1..8192 (the largest view the display-free renderer makes).
std::pair<int, int> ParseViewSize(const std::string& option, const std::string& text);
// "X,Y,Z", three angles in degrees, each within -36000..36000.
std::array<double, 3> ParseAngles(const std::string& option, const std::string& text);
// "RRGGBB" in hexadecimal, optionally after a "#".
std::uint32_t ParseColour(const std::string& option, const std::string& text);
// `file` when its extension selects a picture format.
std::string PictureName(const std::string& option, const std::string& file);

// The value of `choices` named `text`.
template <typename T>
T ParseChoice(const std::string& option, const std::string& text, const std::map<std::string, T>& choices) {
    const auto it = choices.find(text);
    if (it == choices.end()) {
        std::string names;
        for (const auto& [name, value] : choices) {
            names += (names.empty() ? "" : ", ") + name;
        }
        throw UsageError(option + " must be one of " + names + ", not " + Quoted(text));
    }
    return it->second;
}

}  // namespace vistamaze::cli
