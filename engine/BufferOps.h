#pragma once

#include "engine/Picture.h"
#include "engine/PixelBuffer.h"

namespace vistamaze {

// `buffer` becomes a 24-bit copy of the picture at the picture's own size (empty for an empty
// picture).
void GraphicToBuffer(PixelBuffer& buffer, const Picture& graphic);

// `buffer` becomes a 24-bit copy of the part of `bitmap` that lies `left` columns from its left
// edge, `top` rows from its top edge, `right` columns from its right edge and `bottom` rows from
// its bottom edge. Throws vistamaze::Error when a margin is negative or the margins leave no
// pixel.
void CropGraphicToBuffer(PixelBuffer& buffer, const PixelBuffer& bitmap, int left, int top, int right,
                         int bottom);

}  // namespace vistamaze
