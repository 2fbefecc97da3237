#pragma once

#include "engine/Stereogram.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Included by the engine's stereogram sources only: the per-row work of a render.
namespace vistamaze {

// Row arrays of one rendering thread, `entries` long: the internal width or the output width,
// whichever is larger, plus one. Sized to the render rather than to the largest possible width,
// which would cost a short render more in clearing memory than in rendering.
struct Stereogram::RowScratch {
    explicit RowScratch(std::size_t entries)
        : leftPartner(entries), rightPartner(entries), colour(entries), separation(entries) {}

    std::vector<std::uint16_t> leftPartner;
    std::vector<std::uint16_t> rightPartner;
    // Colour of each internal sample, spread into 16-bit lanes (see Spread).
    std::vector<std::uint64_t> colour;
    // Separation of each output column of the current row, internal pixels.
    std::vector<int> separation;
    // Texture row of each pattern strip for the current row.
    std::vector<const std::uint8_t*> stripRows;
};

// The row routines over one render's read-only state. RenderTextured touches only its scratch
// and its own output row, so rows may run on several threads at once.
class Stereogram::RowRenderer {
public:
    explicit RowRenderer(Stereogram& engine);

    // Fills scratch.separation for row r: one depth sample per output column.
    void SeparationsOfRow(int r, RowScratch& scratch) const;

    void RenderTextured(int r, RowScratch& scratch) const;

    // Links row r's same-colour columns into `same` (Width + 1 entries): every column points
    // to a column on its right that must show its colour, or to itself. Consumes random draws
    // only with blur.
    void LinkFastRandomDot(int r, RowScratch& scratch, std::uint16_t* same) const;

    // Colours row r from right to left: a free column takes a new random dot, a linked one the
    // colour of its partner, which lies to its right and is already coloured.
    void ColourFastRandomDot(int r, const std::uint16_t* same) const;

private:
    template <int OS>
    void RenderTexturedAt(int r, RowScratch& scratch) const;
    template <int OS>
    void LinkTextured(RowScratch& scratch) const;
    void BuildSampleTables();
    void StripRowsOf(int r, RowScratch& scratch) const;
    [[nodiscard]] std::uint64_t TextureSample(const RowScratch& scratch, int column) const;
    void ColourRightwards(RowScratch& scratch) const;
    void ColourLeftwards(RowScratch& scratch) const;
    template <int OS>
    void DownSample(int r, const RowScratch& scratch) const;

    Stereogram& e_;
    const StereogramGeometry& g_;
    int os_;
    int patX_ = 0;
    int patY_ = 0;
    std::vector<std::uint16_t> identity_;
    // Byte offset within the texture row, and strip, of each internal column.
    std::vector<std::uint32_t> sampleOffset_;
    std::vector<std::uint32_t> sampleStrip_;
    int strips_ = 1;
};

}  // namespace vistamaze
