#include "workspace/PreviewZoom.h"

#include <algorithm>
#include <cmath>

namespace vistamaze {
namespace {

constexpr double kZoomStep = 1.25;

}  // namespace

double StepZoom(double zoom, int steps) {
    const double next = std::clamp(zoom * std::pow(kZoomStep, steps), kMinZoom, kMaxZoom);
    return std::abs(next - 1.0) < 1e-9 ? 1.0 : next;
}

double FitZoom(QSize picture, QSize area) {
    if (picture.isEmpty() || area.isEmpty()) {
        return 1.0;
    }
    const double zoom = std::min(static_cast<double>(area.width()) / picture.width(),
                                 static_cast<double>(area.height()) / picture.height());
    return std::clamp(zoom, kMinZoom, kMaxZoom);
}

QSize ZoomedSize(QSize picture, double zoom) {
    if (picture.isEmpty()) {
        return picture;
    }
    // Rounded down, so that a fitted picture never needs a scroll bar for a part of a pixel.
    const auto scaled = [zoom](int length) {
        return std::max(1, static_cast<int>(std::floor(length * zoom + 1e-9)));
    };
    return {scaled(picture.width()), scaled(picture.height())};
}

QString ZoomText(double zoom) {
    const double percent = std::round(zoom * 1000.0) / 10.0;
    return QString::number(percent, 'g', 6) + QStringLiteral(" %");
}

}  // namespace vistamaze
