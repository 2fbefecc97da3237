#include "engine/GuideDots.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace vistamaze {
namespace {

constexpr double kPixelsPerRadius = 250.0;  // picture width per pixel of dot radius
constexpr double kSmallestRadius = 2.5;
constexpr double kCoreShare = 0.6;  // the dark core's share of the radius
constexpr std::uint8_t kCore = 16;
constexpr std::uint8_t kRim = 240;

// The share of the pixel centred `distance` from a dot's centre that a disc of `radius` covers:
// a ramp one pixel wide across the edge.
double Cover(double distance, double radius) {
    return std::clamp(radius + 0.5 - distance, 0.0, 1.0);
}

std::uint8_t Blend(double from, double to, double share) {
    return static_cast<std::uint8_t>(std::lround(from + (to - from) * share));
}

void DrawDot(PixelBuffer& picture, double centreX, const GuideDotPlaces& places) {
    const int width = picture.Width();
    const int height = picture.Height();
    const double reach = places.radius + 1.0;
    const int firstColumn = std::max(0, static_cast<int>(std::floor(centreX - reach)));
    const int lastColumn = std::min(width - 1, static_cast<int>(std::ceil(centreX + reach)));
    const int firstLine = std::max(0, static_cast<int>(std::floor(places.y - reach)));
    const int lastLine = std::min(height - 1, static_cast<int>(std::ceil(places.y + reach)));
    for (int line = firstLine; line <= lastLine; ++line) {
        std::uint8_t* row = picture.Row(height - 1 - line);
        const double dy = line + 0.5 - places.y;
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const double distance = std::hypot(column + 0.5 - centreX, dy);
            const double rim = Cover(distance, places.radius);
            if (rim <= 0.0) {
                continue;
            }
            const double core = Cover(distance, places.core);
            std::uint8_t* p = row + static_cast<std::ptrdiff_t>(column) * 3;
            for (int channel = 0; channel < 3; ++channel) {
                const double withRim = p[channel] + (kRim - p[channel]) * rim;
                p[channel] = Blend(withRim, kCore, core);
            }
        }
    }
}

}  // namespace

GuideDotPlaces PlaceGuideDots(int width, int height, double spacing) noexcept {
    GuideDotPlaces places;
    places.radius = std::max(kSmallestRadius, width / kPixelsPerRadius);
    // Dots closer than three radii would run into one blot that the eyes cannot fuse.
    places.radius = std::min(places.radius, std::max(1.0, spacing / 3.0));
    places.core = places.radius * kCoreShare;
    places.leftX = width / 2.0 - spacing / 2.0;
    places.rightX = width / 2.0 + spacing / 2.0;
    places.y = std::max(3.0 * places.radius, height * 0.04);
    return places;
}

void DrawGuideDots(PixelBuffer& picture, double spacing) {
    if (picture.Empty() || picture.BitsPerPixel() != 24) {
        return;
    }
    const GuideDotPlaces places = PlaceGuideDots(picture.Width(), picture.Height(), spacing);
    DrawDot(picture, places.leftX, places);
    DrawDot(picture, places.rightX, places);
}

}  // namespace vistamaze
