#pragma once

#include "engine/PixelBuffer.h"

namespace vistamaze {

// Where the two guide dots of a `width` x `height` stereogram go, in output pixels measured from
// the picture's left and top edges (pixel column c covers c .. c + 1, so its centre is c + 0.5).
struct GuideDotPlaces {
    double leftX = 0.0;   // centre of the left dot
    double rightX = 0.0;  // centre of the right dot
    double y = 0.0;       // centre of both, from the top
    double radius = 0.0;  // outer radius: the light rim ends here
    double core = 0.0;    // radius of the dark core
};

// Two dots centred horizontally near the top, their centres `spacing` output pixels apart; sized
// for the picture (a radius of 4 pixels at 1000 pixels wide) and never so large that they touch.
[[nodiscard]] GuideDotPlaces PlaceGuideDots(int width, int height, double spacing) noexcept;

// Draws the guide dots onto a 24-bit `picture` (bottom-up rows): a dark core with a light rim,
// so they show on any texture, with edges blended by the share of each pixel they cover, so a
// fractional spacing keeps its fractional centres. Pixels outside the dots are not touched; parts
// of a dot beyond the picture's edges are left out.
void DrawGuideDots(PixelBuffer& picture, double spacing);

}  // namespace vistamaze
