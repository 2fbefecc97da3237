#pragma once

#include "engine/PixelBuffer.h"

namespace vistamaze {

// Nearest-neighbour resampling of `source` into `destination`, which already has the wanted
// size and the source's bit depth. 24-bit buffers sample the centre of each source cell; 8-, 16-
// and 32-bit buffers the start of each cell; 1-bit buffers use floating-point positions; other
// depths are left untouched. Equal sizes copy the pixels unchanged. The source is not changed.
// Throws vistamaze::Error when either buffer has a zero width or height or the depths differ.
void ResizeNearest(const PixelBuffer& source, PixelBuffer& destination);

// Bilinear resampling in 15-bit fixed point: destination pixel i samples source position
// i * (sw - 1) / dw, so the first destination pixel equals the first source pixel and values
// never exceed the largest of the four neighbours. Handles 8-bit (as values), 24-bit and
// 32-bit (first three bytes; the fourth is left as it is); 16-bit and indexed buffers are left
// untouched. A one-pixel-wide source falls back to ResizeNearest. Throws like ResizeNearest.
void ResizeBilinear(const PixelBuffer& source, PixelBuffer& destination);

// Resamples `buffer` in place to newWidth x newHeight keeping its bit depth: nearest neighbour
// with a black-and-white palette for 1-bit buffers, bilinear otherwise (indexed buffers keep their
// palette). Throws vistamaze::Error for a zero or negative size on either side.
void ResizeBuffer(PixelBuffer& buffer, int newWidth, int newHeight);

// Resamples the 24-bit `source` as ResizeBuffer(source, band.Width(), newHeight) would and
// writes the band.Height() rows from firstRow on (row 0 at the bottom) into `band`, which is
// 24-bit and keeps its storage. Throws like ResizeBufferBand.
void ResizeBilinearBand(const PixelBuffer& source, PixelBuffer& band, int newHeight, int firstRow);

// Resamples `buffer` in place as ResizeBuffer(buffer, newWidth, newHeight) would, but keeps
// only the rowCount rows from firstRow on (row 0 at the bottom): the same pixels, without the
// memory of the rows left out. The band is 24-bit. Throws vistamaze::Error for a zero size as
// ResizeBuffer does, and when the band does not lie within newHeight rows.
void ResizeBufferBand(PixelBuffer& buffer, int newWidth, int newHeight, int firstRow, int rowCount);

}  // namespace vistamaze
