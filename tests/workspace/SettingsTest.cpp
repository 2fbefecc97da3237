// The settings controls of the "Stereogram" tab and the configuration dialog as two-way views of
// the engine: start values, the type/oversampling rule, the pop-up menus, the presets, the DPI
// mirror and what happens to empty, pasted and out-of-range field texts.
#include "tests/workspace/ProgramFixture.h"
#include "workspace/ConfigurationDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <functional>
#include <vector>

namespace vistamaze::test {
namespace {

class SettingsTest : public ProgramFixture {
protected:
    [[nodiscard]] ConfigurationDialog& Config() const { return windows_->Config(); }

    // Shows the configuration dialog modally, runs `inDialog` while it is up, then closes it
    // with its "Close" button.
    void WithConfigDialog(const std::function<void()>& inDialog) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            EXPECT_EQ(QApplication::activeModalWidget(), &Config());
            EXPECT_TRUE(Activate(Config()));
            inDialog();
            ran = true;
            Click(Find<QPushButton>(Config(), "closeButton"));
        });
        Main().findChild<QAction*>(QStringLiteral("configurationAction"))->trigger();
        EXPECT_TRUE(ran);
        EXPECT_FALSE(Config().isVisible());
    }

    static std::vector<QString> Captions(const QMenu& menu) {
        std::vector<QString> captions;
        for (const QAction* action : menu.actions()) {
            captions.push_back(action->isSeparator() ? QStringLiteral("-") : action->text());
        }
        return captions;
    }
};

TEST_F(SettingsTest, StartsTexturedAt1000x760With72DpiAndTheStoredGeometry) {
    EXPECT_EQ(CheckedItem("kindGroup"), 2);
    EXPECT_EQ(CheckedItem("blurGroup"), 0);
    EXPECT_EQ(CheckedItem("dotColorsGroup"), 0);
    EXPECT_EQ(CheckedItem("oversamplingGroup"), 3);
    EXPECT_EQ(CheckedItem("geometryGroup"), 0);
    EXPECT_EQ(MainField("widthEdit")->text(), "1000");
    EXPECT_EQ(MainField("heightEdit")->text(), "760");
    EXPECT_EQ(MainField("dpiEdit")->text(), "72");
    EXPECT_EQ(Config().ObservationDistanceEdit()->text(), "14");
    EXPECT_EQ(Config().MaxDepthEdit()->text(), "14");
    EXPECT_EQ(Config().MinDepthEdit()->text(), "8");
    EXPECT_EQ(Find<QLabel>(Main(), "intensityLabel")->text(), "50");
    EXPECT_EQ(Find<QLabel>(Main(), "depthSizeLabel")->text(), "0 x 0");
    EXPECT_EQ(Find<QLabel>(Main(), "textureSizeLabel")->text(), "85 x 118");

    const Stereogram& engine = Engine();
    EXPECT_EQ(engine.StereoType(), StereogramKind::Textured);
    EXPECT_EQ(engine.Oversampling(), 4);
    EXPECT_EQ(engine.Blur(), BlurLevel::None);
    EXPECT_EQ(engine.DotIntensity(), 50);
    EXPECT_EQ(engine.RandomDotColor(), RandomDotColors::BlackAndWhite);
    EXPECT_EQ(engine.Width(), 1000);
    EXPECT_EQ(engine.Height(), 760);
    EXPECT_EQ(engine.DPI(), 72);
    EXPECT_DOUBLE_EQ(engine.ObservDistance(), 14.0);
    EXPECT_DOUBLE_EQ(engine.Max3Ddepth(), 14.0);
    EXPECT_DOUBLE_EQ(engine.Min3Ddepth(), 8.0);
    EXPECT_FALSE(engine.Converging());
    EXPECT_TRUE(engine.StretchTexture());
    // The separation field shows the engine's pattern width once stretching has updated it.
    EXPECT_EQ(Config().SeparationEdit()->text(), QString::number(engine.Separation()));
    EXPECT_TRUE(dialogs_->Messages().empty());
}

TEST_F(SettingsTest, ChoosingTexturedFromAnotherTypeResetsOversamplingToFour) {
    Click(Radio("kindGroup", 0));  // FastRandomDot: the engine forces 1, shown as "none"
    EXPECT_EQ(Engine().StereoType(), StereogramKind::RandomDot);
    EXPECT_EQ(CheckedItem("oversamplingGroup"), 0);
    Click(Radio("kindGroup", 2));
    EXPECT_EQ(CheckedItem("oversamplingGroup"), 3);
    EXPECT_EQ(Engine().Oversampling(), 4);

    Click(Radio("oversamplingGroup", 5));  // oversampling 6
    EXPECT_EQ(Engine().Oversampling(), 6);
    Click(Radio("kindGroup", 1));  // Textured -> RandomDotTextured keeps it
    EXPECT_EQ(CheckedItem("oversamplingGroup"), 5);
    EXPECT_EQ(Engine().Oversampling(), 6);
    Click(Radio("kindGroup", 2));  // and back to Textured resets it
    EXPECT_EQ(Engine().Oversampling(), 4);
    Click(Radio("oversamplingGroup", 1));
    Click(Radio("kindGroup", 2));  // Textured again, from Textured: kept
    EXPECT_EQ(Engine().Oversampling(), 2);
}

TEST_F(SettingsTest, EveryChoiceControlReachesTheEngineAtOnce) {
    Click(Radio("blurGroup", 3));
    Click(Radio("dotColorsGroup", 1));
    Click(Radio("geometryGroup", 1));
    auto* slider = Find<QSlider>(Main(), "intensitySlider");
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(Engine().Blur(), BlurLevel::Heavy);
    EXPECT_EQ(Engine().RandomDotColor(), RandomDotColors::Rgb);
    EXPECT_TRUE(Engine().Converging());
    EXPECT_EQ(Engine().DotIntensity(), 99);
    EXPECT_EQ(Find<QLabel>(Main(), "intensityLabel")->text(), "99");

    // The stretch box applies when the user leaves it.
    auto* stretch = Find<QCheckBox>(Main(), "stretchTextureCheck");
    Click(stretch);
    EXPECT_TRUE(Engine().StretchTexture());
    Click(Radio("blurGroup", 0));
    EXPECT_FALSE(Engine().StretchTexture());
}

TEST_F(SettingsTest, SizeAndDpiMenusCarryTheirCaptionsAndApplyAtOnce) {
    const std::vector<QString> sizes{" 320 x 200",  " 400 x 300",  "-",           " 640 x 480",
                                     " 800 x 600",  "-",           "1000 x 760",  "1024 x 768",
                                     "-",           "1200 x 900",  "1400 x 900",  "1920 x 1080",
                                     "1600 x 1200", "2000 x 1600", "2560 x 1080", "2560 x 1440",
                                     "3000 x 2000", "3840 x 2160", "4096 x 2160"};
    EXPECT_EQ(Captions(*Main().SizeMenu()), sizes);
    EXPECT_EQ(Captions(*Main().DpiMenu()),
              (std::vector<QString>{"30 DPI  (poster - change observation distance)",
                                    "75 DPI  (monitor - low depth stereogram)",
                                    "100 DPI (medium depth stereogram)", "120 DPI (high depth stereogram)",
                                    "150 DPI  (printer - adequate printing resolution)", "200 DPI",
                                    "300 DPI  (high quality print)"}));

    // A value still being typed elsewhere does not survive the menu: the menu's size wins.
    MainField("widthEdit")->setFocus();
    Main().SizeMenu()->actions().at(3)->trigger();  // " 640 x 480"
    EXPECT_EQ(MainField("widthEdit")->text(), "640");
    EXPECT_EQ(MainField("heightEdit")->text(), "480");
    EXPECT_EQ(Engine().Width(), 640);
    EXPECT_EQ(Engine().Height(), 480);
    EXPECT_FALSE(MainField("widthEdit")->hasFocus());

    Main().DpiMenu()->actions().at(4)->trigger();  // 150 DPI
    EXPECT_EQ(MainField("dpiEdit")->text(), "150");
    EXPECT_EQ(Config().DpiEdit()->text(), "150");
    EXPECT_EQ(Engine().DPI(), 150);
}

TEST_F(SettingsTest, PresetFillsTheDialogButReachesTheEngineOnlyAtTheNextChange) {
    WithConfigDialog([&] { Click(Find<QPushButton>(Config(), "moreDepthButton")); });
    EXPECT_EQ(Config().ObservationDistanceEdit()->text(), "10");
    EXPECT_EQ(MainField("dpiEdit")->text(), "75");  // the DPI field follows the dialog at once
    EXPECT_DOUBLE_EQ(Engine().ObservDistance(), 14.0);
    EXPECT_EQ(Engine().DPI(), 72);

    Click(Radio("blurGroup", 1));
    EXPECT_DOUBLE_EQ(Engine().ObservDistance(), 10.0);
    EXPECT_DOUBLE_EQ(Engine().Max3Ddepth(), 14.0);
    EXPECT_DOUBLE_EQ(Engine().Min3Ddepth(), 8.0);
    EXPECT_EQ(Engine().DPI(), 75);
    EXPECT_EQ(Engine().Width(), 1000);  // only "Default" touches the size

    WithConfigDialog([&] { Click(Find<QPushButton>(Config(), "defaultButton")); });
    EXPECT_EQ(MainField("widthEdit")->text(), "800");
    EXPECT_EQ(MainField("heightEdit")->text(), "600");
    Click(Radio("blurGroup", 0));
    EXPECT_EQ(Engine().Width(), 800);
    EXPECT_EQ(Engine().Height(), 600);
    EXPECT_DOUBLE_EQ(Engine().ObservDistance(), 14.0);
}

TEST_F(SettingsTest, LeavingADialogFieldAppliesItAndTheDpiFieldsMirrorEachOther) {
    WithConfigDialog([&] {
        Retype(Config().DpiEdit(), QStringLiteral("150"));
        EXPECT_EQ(MainField("dpiEdit")->text(), "150");
        Retype(Config().MinDepthEdit(), QStringLiteral("9"));
        Leave(Config().MinDepthEdit());
        EXPECT_DOUBLE_EQ(Engine().Min3Ddepth(), 9.0);
        EXPECT_EQ(Engine().DPI(), 150);
    });
    ASSERT_TRUE(Activate(Main()));
    Retype(MainField("dpiEdit"), QStringLiteral("96"));
    EXPECT_EQ(Config().DpiEdit()->text(), "96");
    EXPECT_TRUE(MainField("dpiEdit")->hasFocus());
    Leave(MainField("dpiEdit"));
    EXPECT_EQ(Engine().DPI(), 96);
}

TEST_F(SettingsTest, NumericFieldsDiscardTypedNonDigitsButNotPastedText) {
    Retype(MainField("widthEdit"), QStringLiteral("1a2.-3 4"));
    EXPECT_EQ(MainField("widthEdit")->text(), "1234");
    // Pasted text is not filtered; it is still a number here.
    MainField("widthEdit")->selectAll();
    MainField("widthEdit")->insert(QStringLiteral("9999"));
    Leave(MainField("widthEdit"));
    EXPECT_EQ(Engine().Width(), 6000);  // clamped by the engine and shown so
    EXPECT_EQ(MainField("widthEdit")->text(), "6000");
}

// A value longer than four characters comes back whole: a pasted ".001" is the engine's 0.001
// afterwards, and stays so at the next apply.
TEST_F(SettingsTest, APastedValueComesBackWholeAndStaysApplied) {
    const QString point = QLocale().decimalPoint();
    WithConfigDialog([&] {
        QLineEdit* distance = Config().ObservationDistanceEdit();
        distance->setFocus();
        distance->selectAll();
        QGuiApplication::clipboard()->setText(point + QStringLiteral("001"));
        QTest::keyClick(distance, Qt::Key_V, Qt::ControlModifier);
        Leave(distance);
        EXPECT_EQ(distance->text(), QStringLiteral("0") + point + QStringLiteral("001"));
    });
    EXPECT_DOUBLE_EQ(Engine().ObservDistance(), 0.001);
    Click(Radio("blurGroup", 1));  // any later apply reads the field as shown
    EXPECT_DOUBLE_EQ(Engine().ObservDistance(), 0.001);
}

TEST_F(SettingsTest, AnEmptiedFieldKeepsTheEngineValueAndShowsItAgain) {
    Retype(MainField("widthEdit"), QString());
    EXPECT_TRUE(MainField("widthEdit")->text().isEmpty());
    Leave(MainField("widthEdit"));
    EXPECT_EQ(Engine().Width(), 1000);
    EXPECT_EQ(MainField("widthEdit")->text(), "1000");
}

TEST_F(SettingsTest, APastedNonNumberStopsTheApplyAtItsStep) {
    MainField("widthEdit")->setText(QStringLiteral("1200"));
    MainField("heightEdit")->setText(QStringLiteral("abc"));  // as pasted
    Click(Radio("geometryGroup", 1));
    // Height comes before width and the geometry type: none of them is applied.
    EXPECT_EQ(Engine().Height(), 760);
    EXPECT_EQ(Engine().Width(), 1000);
    EXPECT_FALSE(Engine().Converging());
    EXPECT_EQ(MainField("heightEdit")->text(), "760");
    EXPECT_EQ(MainField("widthEdit")->text(), "1000");
    EXPECT_TRUE(dialogs_->Messages().empty());

    // A bad DPI stops earlier and, not being written back, stays in its field.
    MainField("dpiEdit")->setText(QStringLiteral("x1"));
    MainField("heightEdit")->setText(QStringLiteral("500"));
    Click(Radio("blurGroup", 2));
    EXPECT_EQ(Engine().Blur(), BlurLevel::Medium);
    EXPECT_EQ(Engine().Height(), 760);
    EXPECT_EQ(MainField("dpiEdit")->text(), "x1");
    EXPECT_EQ(Config().DpiEdit()->text(), "x1");
    EXPECT_TRUE(dialogs_->Messages().empty());
}

}  // namespace
}  // namespace vistamaze::test
