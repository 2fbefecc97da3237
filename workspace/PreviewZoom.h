#pragma once

#include <QSize>
#include <QString>

namespace vistamaze {

// The preview's zoom factors: 1 shows one picture pixel per screen pixel. Only the view is
// scaled; the stereogram that is saved keeps its own size.
inline constexpr double kMinZoom = 1.0 / 16.0;
inline constexpr double kMaxZoom = 16.0;

// `zoom` moved by `steps` steps of 1.25 (negative steps zoom out), kept within kMinZoom and
// kMaxZoom; a result within a step's rounding of 1 is exactly 1, so stepping back and forth
// returns to 100 %.
[[nodiscard]] double StepZoom(double zoom, int steps);

// The largest factor at which a picture of `picture` size fits into `area` whole (kept within
// kMinZoom and kMaxZoom); 1 for an empty picture or area.
[[nodiscard]] double FitZoom(QSize picture, QSize area);

// The size of `picture` shown at `zoom`, rounded, at least 1 x 1 for a picture that has pixels.
[[nodiscard]] QSize ZoomedSize(QSize picture, double zoom);

// "100 %", "12.5 %", "1600 %": the factor as the preview shows it.
[[nodiscard]] QString ZoomText(double zoom);

}  // namespace vistamaze
