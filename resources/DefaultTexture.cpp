#include "resources/DefaultTexture.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vistamaze {

namespace {

constexpr int kWidth = 85;
constexpr int kHeight = 118;

// Warm stone colours from dark brown through ochre to pale sand, with a little green.
Bgr PaletteEntry(int i) {
    const double t = i / 255.0;
    const auto channel = [](double v) {
        return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
    };
    const double r = 40 + 200 * t + 15 * std::sin(t * 9.0);
    const double g = 28 + 170 * t + 25 * std::sin(t * 5.0 + 1.0);
    const double b = 18 + 120 * t * t + 20 * std::sin(t * 13.0 + 2.0);
    return {channel(b), channel(g), channel(r)};
}

}  // namespace

// Every term has a whole number of periods across the width and the height, so the edges meet.
Picture DefaultTexture() {
    PixelBuffer b(kWidth, kHeight, 8);
    for (int i = 0; i < 256; ++i) {
        b.Palette()[static_cast<std::size_t>(i)] = PaletteEntry(i);
    }
    constexpr double kTwoPi = 2 * std::numbers::pi;
    for (int y = 0; y < kHeight; ++y) {
        const double v = kTwoPi * y / kHeight;
        for (int x = 0; x < kWidth; ++x) {
            const double u = kTwoPi * x / kWidth;
            double h = std::sin(3 * u + 2 * v) + 0.8 * std::sin(5 * u - 3 * v + 1.3) +
                       0.6 * std::sin(7 * v + std::sin(2 * u) * 2.0) + 0.45 * std::sin(11 * u + 4 * v + 0.7) +
                       0.3 * std::sin(13 * u - 9 * v + 2.1) + 0.25 * std::sin(17 * u + 19 * v);
            h = (h + 3.4) / 6.8;
            b.SetIndex(y, x, static_cast<std::uint8_t>(std::lround(std::clamp(h, 0.0, 1.0) * 255)));
        }
    }
    return Picture(std::move(b));
}

}  // namespace vistamaze
