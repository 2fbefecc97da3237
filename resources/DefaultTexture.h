#pragma once

#include "engine/Picture.h"

namespace vistamaze {

// The built-in texture used until the user picks one: 85 x 118 pixels, 256 colours (8 bits per
// pixel with a palette), seamless in both directions.
[[nodiscard]] Picture DefaultTexture();

}  // namespace vistamaze
