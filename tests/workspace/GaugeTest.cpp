// The progress gauge's percentage stays readable wherever the black bar ends.
#include "tests/workspace/WorkspaceTestSupport.h"
#include "workspace/Gauge.h"

#include <QImage>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

// Counts the pixels of `image` in columns [left, right) that differ from `background`.
int Marks(const QImage& image, int left, int right, QRgb background) {
    int marks = 0;
    for (int y = 4; y < image.height() - 4; ++y) {
        for (int x = left; x < right; ++x) {
            marks += (image.pixel(x, y) & 0xFFFFFFU) != (background & 0xFFFFFFU) ? 1 : 0;
        }
    }
    return marks;
}

TEST(Gauge, PercentageShowsOverTheBarAndBesideIt) {
    VM_REQUIRE_DISPLAY();
    TGauge gauge;
    gauge.setRange(0, 100);
    gauge.resize(300, 24);
    // The text is centred: at 75 % it lies on the black bar, at 25 % on the white.
    for (const auto& [value, background] :
         {std::pair{75, QRgb{0xFF000000}}, std::pair{25, QRgb{0xFFFFFFFF}}}) {
        gauge.setValue(value);
        const QImage image = gauge.grab().toImage();
        EXPECT_GT(Marks(image, 130, 170, background), 20) << value;
    }
}

}  // namespace
}  // namespace vistamaze::test
