#pragma once

#include "engine/Errors.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

// Shared by the engine's stereogram sources only; not part of the engine's interface.
namespace vistamaze::detail {

// Jittered separations a blurred depth sample chooses from, one per value of Random(10).
inline constexpr int kBlurDraws = 10;

inline std::int64_t TruncChecked(long double v) {
    if (!std::isfinite(v) || std::fabs(v) > 9.0e18L) {
        throw Error("Invalid floating point operation");
    }
    return static_cast<std::int64_t>(v);
}

inline int ToInt(std::int64_t v) {
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) {
        throw Error("Invalid floating point operation");
    }
    return static_cast<int>(v);
}

// "14 in", "0.5 in": a distance in inches as a message shows it.
inline std::string FormatInches(double inches) {
    std::ostringstream text;
    text << inches << " in";
    return text.str();
}

}  // namespace vistamaze::detail
