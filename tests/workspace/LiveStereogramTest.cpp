// The 3D tab's stereogram view and the guide dots as a user meets them: the view switched to the
// stereogram follows a drag, the choices come back in the next run, the dots reach the preview.
#include "engine/Stereogram.h"
#include "tests/workspace/ModelTabFixture.h"
#include "workspace/DepthView.h"
#include "workspace/PictureConversion.h"
#include "workspace/PreviewWindow.h"

#include <QCheckBox>
#include <QRadioButton>
#include <cmath>

namespace vistamaze::test {
namespace {

// Separation in pixels that the viewing geometry of `s` gives a depth level at oversampling 1.
int SeparationOfLevel(const Stereogram& s, int level) {
    const long double d = s.DPI() * static_cast<long double>(s.ObservDistance());
    const long double zmax = s.DPI() * static_cast<long double>(s.Max3Ddepth());
    const long double zmin = s.DPI() * static_cast<long double>(s.Min3Ddepth());
    const auto z = static_cast<long double>(static_cast<long long>(zmax - (zmax - zmin) * level / 256.0L));
    return static_cast<int>(std::nearbyintl(std::nearbyintl(2.5L * s.DPI()) * z / (z + d)));
}

struct Share {
    long same = 0;
    long pairs = 0;
    void Add(bool equal) {
        same += equal ? 1 : 0;
        ++pairs;
    }
    [[nodiscard]] double Fraction() const { return pairs > 0 ? static_cast<double>(same) / pairs : 0.0; }
};

class LiveStereogramTest : public ModelTabFixture {
protected:
    [[nodiscard]] QCheckBox* GuideDotsCheck() const { return Find<QCheckBox>(Main(), "guideDotsCheck"); }
    [[nodiscard]] PixelBuffer Shown() const { return FromQImage(Tab().DepthPane().Image()); }
};

TEST_F(LiveStereogramTest, TheStereogramViewFollowsADragAndRepeatsAtTheCapturedDepthsSeparations) {
    Main().ChooseOversamplingItem(0);  // one sample a pixel: every kept link shows as two equal pixels
    OpenTab();
    LoadModel(QStringLiteral(VM_SOURCE_DIR "/Models/Pawn.stl"));
    Click(Button("stereogramViewButton"));
    const PixelBuffer before = Shown();
    // A drag on the right-hand view turns the model as on the 3D view.
    Drag(&Tab().DepthPane(), {100, 100}, {70, 80}, Qt::LeftButton);
    Settle();
    const PixelBuffer shown = Shown();
    ASSERT_EQ(shown.Width(), Tab().DepthPane().width());
    ASSERT_EQ(shown.Height(), Tab().DepthPane().height());
    EXPECT_FALSE(shown == before);

    // The capture fitted to the view as a render fits it: the view's width, centred vertically.
    PixelBuffer depth;
    FitDepthMap(Tab().DepthImage(), shown.Width(), shown.Height(), depth);
    const int depthRow0 = (shown.Height() - depth.Height()) / 2;
    Share object;      // pixels of the drawn model
    Share background;  // the far plane around it
    Share wrong;       // three pixels more apart than the depth asks
    for (int r = 0; r < shown.Height(); ++r) {
        for (int x = 0; x < shown.Width(); ++x) {
            const int dr = r - depthRow0;
            const int level = dr >= 0 && dr < depth.Height() ? depth.Pixel(dr, x).g : 0;
            const int s = SeparationOfLevel(Engine(), level);
            const int left = x - s / 2;
            if (left < 0 || left + s + 3 >= shown.Width()) {
                continue;
            }
            (level > 0 ? object : background).Add(shown.Pixel(r, left) == shown.Pixel(r, left + s));
            wrong.Add(shown.Pixel(r, left) == shown.Pixel(r, left + s + 3));
        }
    }
    EXPECT_GT(object.pairs, 5000);
    EXPECT_GT(object.Fraction(), 0.9);  // a picture one drag step old matches 5 %
    EXPECT_GT(background.Fraction(), 0.95);
    EXPECT_LT(wrong.Fraction(), 0.3);

    // Ctrl+T shows the depth map again; the main window's engine never rendered, and F12 still does.
    QTest::keyClick(&Main(), Qt::Key_T, Qt::ControlModifier);
    EXPECT_TRUE(Find<QRadioButton>(Tab(), "depthMapViewButton")->isChecked());
    EXPECT_TRUE(Shown() == Tab().DepthImage());
    EXPECT_EQ(Engine().Progress(), 0);
    QTest::keyClick(&Main(), Qt::Key_F12);
    EXPECT_EQ(windows_->Preview().Stereogram().Width(), 1000);
    EXPECT_TRUE(dialogs_->Messages().empty());
}

TEST_F(LiveStereogramTest, TheViewChoiceAndGuideDotsAreRememberedBetweenRuns) {
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on ? "on" : "off");
        Tab().ShowStereogram(on);
        GuideDotsCheck()->setChecked(on);
        StartProgram();
        EXPECT_EQ(Find<QRadioButton>(Tab(), "stereogramViewButton")->isChecked(), on);
        EXPECT_EQ(GuideDotsCheck()->isChecked(), on);
        EXPECT_EQ(Engine().GuideDots(), on);
    }
}

// The dots come with the next render, near the top of the picture, and change nothing else.
TEST_F(LiveStereogramTest, GuideDotsAppearInThePreviewNearTheTop) {
    Main().OpenFile(QStringLiteral(VM_SOURCE_DIR "/DepthMaps/Torus.png"));
    QTest::keyClick(&Main(), Qt::Key_F12);
    const PixelBuffer plain = windows_->Preview().Stereogram().Bitmap();
    ASSERT_TRUE(Activate(Main()));  // the preview took the focus
    Click(GuideDotsCheck());
    QTest::keyClick(&Main(), Qt::Key_F12);
    const PixelBuffer dotted = windows_->Preview().Stereogram().Bitmap();
    ASSERT_EQ(dotted.Height(), plain.Height());
    long changed = 0;
    for (int r = 0; r < plain.Height(); ++r) {
        for (int x = 0; x < plain.Width(); ++x) {
            if (!(dotted.Pixel(r, x) == plain.Pixel(r, x))) {
                ++changed;
                EXPECT_GT(r, plain.Height() * 9 / 10) << r << "," << x;
            }
        }
    }
    EXPECT_GT(changed, 50);
}

}  // namespace
}  // namespace vistamaze::test
