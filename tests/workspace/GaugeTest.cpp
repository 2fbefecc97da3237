// The progress gauge's bar is drawn in the highlight colour, and its percentage stays readable
// wherever the bar ends.
#include "tests/workspace/WorkspaceTestSupport.h"
#include "workspace/Gauge.h"

#include <QImage>
#include <QPalette>

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
    Gauge gauge;
    gauge.setRange(0, 100);
    gauge.resize(300, 24);
    const QRgb bar = gauge.palette().color(QPalette::Highlight).rgb();
    const QRgb base = gauge.palette().color(QPalette::Base).rgb();
    ASSERT_NE(bar & 0xFFFFFFU, 0U) << "the bar is not black";
    // The text is centred: at 75 % it lies on the bar, at 25 % on the base.
    for (const auto& [value, background] : {std::pair{75, bar}, std::pair{25, base}}) {
        gauge.setValue(value);
        const QImage image = gauge.grab().toImage();
        EXPECT_EQ(image.pixel(40, 12) & 0xFFFFFFU, bar & 0xFFFFFFU) << value;
        EXPECT_EQ(image.pixel(280, 12) & 0xFFFFFFU, base & 0xFFFFFFU) << value;
        EXPECT_GT(Marks(image, 130, 170, background), 20) << value;
    }
}

}  // namespace
}  // namespace vistamaze::test
