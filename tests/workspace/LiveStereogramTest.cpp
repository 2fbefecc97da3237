// The 3D tab's view switched to the stereogram as a user meets it: it follows a drag, and the
// choices made come back in the next run.
#include "tests/workspace/ModelTabFixture.h"
#include "workspace/DepthView.h"
#include "workspace/PictureConversion.h"
#include "workspace/PreviewWindow.h"

#include <QCheckBox>
#include <QRadioButton>
#include <cmath>

namespace vistamaze::test {
namespace {

using LiveStereogramTest = ModelTabFixture;

TEST_F(LiveStereogramTest, TheStereogramFollowsADragAndRepeatsAtTheSeparationsOfTheCapturedDepth) {
    Main().ChooseOversamplingItem(0);  // one sample a pixel: every kept link shows as two equal pixels
    OpenTab();
    LoadModel(QStringLiteral(VM_SOURCE_DIR "/Models/Pawn.stl"));
    Click(Button("stereogramViewButton"));
    // A drag on the right-hand view turns the model as on the 3D view.
    Drag(&Tab().DepthPane(), {100, 100}, {70, 80}, Qt::LeftButton);
    Settle();
    const PixelBuffer shown = FromQImage(Tab().DepthPane().Image());
    ASSERT_EQ(shown.Width(), Tab().DepthPane().width());
    ASSERT_EQ(shown.Height(), Tab().DepthPane().height());

    // The capture fitted to the view as a render fits it: the view's width, centred vertically.
    PixelBuffer depth;
    FitDepthMap(Tab().DepthImage(), shown.Width(), shown.Height(), depth);
    const int firstDepthRow = (shown.Height() - depth.Height()) / 2;
    const Stereogram& e = Engine();
    const long double d = e.DPI() * e.ObservDistance();
    const long double zmax = e.DPI() * e.Max3Ddepth();
    const long double zmin = e.DPI() * e.Min3Ddepth();
    long pairs[2] = {0, 0};  // [on the model, three pixels too far apart]
    long same[2] = {0, 0};
    for (int r = 0; r < shown.Height(); ++r) {
        for (int x = 0; x < shown.Width(); ++x) {
            const int dr = r - firstDepthRow;
            const int level = dr >= 0 && dr < depth.Height() ? depth.Pixel(dr, x).g : 0;
            const auto z = std::trunc(zmax - (zmax - zmin) * level / 256.0L);
            const auto s = static_cast<int>(std::nearbyintl(std::nearbyintl(2.5L * e.DPI()) * z / (z + d)));
            const int left = x - s / 2;
            if (level == 0 || left < 0 || left + s + 3 >= shown.Width()) {
                continue;
            }
            for (const int k : {0, 1}) {
                ++pairs[k];
                same[k] += shown.Pixel(r, left) == shown.Pixel(r, left + s + 3 * k) ? 1 : 0;
            }
        }
    }
    ASSERT_GT(pairs[0], 5000);
    EXPECT_GT(same[0], pairs[0] * 9 / 10);  // the picture of one drag step before matches 5 %
    EXPECT_LT(same[1], pairs[1] / 10);

    // Ctrl+T shows the depth map again; the main window's engine never rendered, and F12 still does.
    QTest::keyClick(&Main(), Qt::Key_T, Qt::ControlModifier);
    EXPECT_TRUE(FromQImage(Tab().DepthPane().Image()) == Tab().DepthImage());
    EXPECT_EQ(Engine().Progress(), 0);
    QTest::keyClick(&Main(), Qt::Key_F12);
    EXPECT_EQ(windows_->Preview().Stereogram().Width(), 1000);
    EXPECT_TRUE(dialogs_->Messages().empty());
}

TEST_F(LiveStereogramTest, TheViewChoiceAndGuideDotsAreRememberedBetweenRuns) {
    for (const bool on : {true, false}) {
        Tab().ShowStereogram(on);
        Find<QCheckBox>(Main(), "guideDotsCheck")->setChecked(on);
        StartProgram();
        EXPECT_EQ(Find<QRadioButton>(Tab(), "stereogramViewButton")->isChecked(), on);
        EXPECT_EQ(Find<QCheckBox>(Main(), "guideDotsCheck")->isChecked(), on);
        EXPECT_EQ(Engine().GuideDots(), on);
    }
}

}  // namespace
}  // namespace vistamaze::test
