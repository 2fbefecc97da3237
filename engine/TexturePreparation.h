#pragma once

#include "engine/PixelBuffer.h"

namespace vistamaze {

// The crop margins in pixels after truncation toward zero, negatives already taken as 0.
struct TextureMargins {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Crops `source` (any depth; drawn as 24-bit) by `margins` and, unless scalePercent is exactly
// 100, scales the crop bilinearly to Trunc(width * scale / 100) x Trunc(height * scale / 100),
// computed in single precision, each side raised to `dpi` when below it.
//
// Margins that would leave no column (or row) are reduced: right := W - left - 1 (bottom := H -
// top - 1), and a left (top) margin that reaches past the picture is brought back to its last
// column (row), so at least one column and one row always remain. Negative margins count as 0.
// An empty source gives an empty 24-bit buffer.
//
// Returns a 24-bit buffer (rows bottom-up, like every PixelBuffer). Throws vistamaze::Error when
// the scaled size is zero or negative, not a finite number, or beyond 32768 pixels a side or
// 2^28 pixels in all (the resampling would otherwise allocate without bound).
[[nodiscard]] PixelBuffer CropAndScaleTexture(const PixelBuffer& source, TextureMargins margins,
                                              double scalePercent, int dpi);

// Mirror tiling of `texture` (w x h; any depth, read as 24-bit), rows counted from the bottom
// line:
//   mode 1: w x 2h, the texture below, its upside-down copy above;
//   mode 2: 2w x h, the texture on the left, its left-right mirror on the right;
//   mode 3: 2w x 2h, both at once (the upper right quarter flipped both ways).
// Any other mode gives a 24-bit copy. Returns a 24-bit buffer. Throws vistamaze::Error when the
// doubled size does not fit.
[[nodiscard]] PixelBuffer BuildMirroredTexture(const PixelBuffer& texture, int mode);

// Blends the tile edges of `bitmap` in place so that repeated tiles join without a seam.
//
// Band width n: 15 for seamlessMode 1 ("smooth"), 5 for 2 ("smooth minimal"), 25 for 3 ("smooth
// more"), 15 for any other value. When `stretched`, the tile is going to be stretched to
// `separation` pixels at render time: n becomes Trunc(n * Round(W / separation)) (single
// precision, ties to even) and the horizontal period is W; otherwise the horizontal period is
// `separation`, or W when W is smaller. The vertical period is always H.
//
// Column x < n is blended with column (period - x - 1) using the weights 1 - (n - x) * 0.5 / n and
// its complement, reading the unblended columns; then row y < n with row (H - y - 1), reading the
// result of the column pass. Each weighted channel is truncated separately before the sum, so the
// outermost column and row become Trunc(a / 2) + Trunc(b / 2). Where the bands overlap, the pair
// with the larger x (y) wins.
//
// A band width of 0 or less (stretched with separation 0, or a tile less than half as wide as
// the separation) changes nothing. Pixels outside the bitmap are never touched, whatever the
// separation. A bitmap of another depth is converted to 24 bits first; the result is 24-bit.
void MakeSeamlessTexture(int seamlessMode, PixelBuffer& bitmap, bool stretched, int separation);

}  // namespace vistamaze
