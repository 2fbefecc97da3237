#pragma once

#include "engine/PixelBuffer.h"
#include "engine/Stereogram.h"

#include <QImage>

namespace vistamaze {

// The stereogram the 3D tab shows in place of its depth map while the model turns. It renders with
// an engine of its own, so the main window's engine keeps its depth map, its last picture and its
// progress; its random dots come from one fixed seed, so they stay still while only the depth moves.
class LiveStereogram {
public:
    LiveStereogram();

    // The stereogram of `depth` (24-bit, bottom-up) at width x height pixels, made with every
    // setting of `settings` but its size: kind, oversampling, blur, random dots, viewing geometry,
    // DPI, texture placement, guide dots and the prepared texture. `settings` is only read, and
    // must not be rendering meanwhile. Throws vistamaze::Error as Stereogram::Generate does
    // (a pattern wider than the view, no texture, ...).
    [[nodiscard]] QImage Render(const Stereogram& settings, const PixelBuffer& depth, int width, int height);

private:
    Stereogram engine_;
};

}  // namespace vistamaze
