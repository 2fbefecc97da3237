#include "engine/Errors.h"
#include "engine/Stereogram.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

Picture Solid(int width, int height, Bgr colour = {}) {
    return Picture(test::MakeBuffer24(width, height, [&](int, int) { return colour; }));
}

TEST(StereogramPropertiesTest, SizesClampToTheirRanges) {
    Stereogram s;
    EXPECT_EQ(s.Width(), 800);
    EXPECT_EQ(s.Height(), 600);
    s.SetWidth(0);
    EXPECT_EQ(s.Width(), 600);
    s.SetWidth(7000);
    EXPECT_EQ(s.Width(), 6000);
    s.SetHeight(0);
    EXPECT_EQ(s.Height(), 600);
    s.SetHeight(5000);
    EXPECT_EQ(s.Height(), 4000);
    s.SetDotIntensity(0);
    EXPECT_EQ(s.DotIntensity(), 1);
    s.SetDotIntensity(100);
    EXPECT_EQ(s.DotIntensity(), 99);
}

TEST(StereogramPropertiesTest, DpiIsHalvedToFitWidthThenHeight) {
    Stereogram s;
    s.SetDPI(5);
    EXPECT_EQ(s.DPI(), 10);
    s.SetDPI(700);
    EXPECT_EQ(s.DPI(), 300);
    s.SetDPI(900);
    EXPECT_EQ(s.DPI(), 400);
}

TEST(StereogramPropertiesTest, OversamplingIsOneForFastRandomDot) {
    Stereogram s;
    EXPECT_EQ(s.StereoType(), StereogramKind::RandomDot);
    s.SetOversampling(4);
    EXPECT_EQ(s.Oversampling(), 1);
    s.SetStereoType(StereogramKind::Textured);
    s.SetOversampling(0);
    EXPECT_EQ(s.Oversampling(), 1);
    s.SetOversampling(9);
    EXPECT_EQ(s.Oversampling(), 8);
    s.SetStereoType(StereogramKind::RandomDot);
    EXPECT_EQ(s.Oversampling(), 1);
}

TEST(StereogramGeometryTest, WorkedValuesAtTheInitialSettings) {
    Stereogram s;
    s.BuildSeparationTable();
    const StereogramGeometry& g = s.Geometry();
    EXPECT_EQ(g.eyeSeparation, 180);
    EXPECT_DOUBLE_EQ(static_cast<double>(g.viewDistance), 1008.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(g.farPlane), 1008.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(g.nearPlane), 504.0);
    EXPECT_EQ(g.patternWidth, 90);
    EXPECT_EQ(s.SeparationTable()[0], 90);
    EXPECT_EQ(s.SeparationTable()[128], 77);
    EXPECT_EQ(s.SeparationTable()[255], 60);

    s.SetStereoType(StereogramKind::Textured);
    s.SetOversampling(4);
    s.UpdateGeometry();
    s.BuildSeparationTable();
    EXPECT_EQ(s.SeparationTable()[0], 360);
    EXPECT_EQ(s.SeparationTable()[128], 309);
    EXPECT_EQ(s.SeparationTable()[255], 240);
    EXPECT_EQ(s.Geometry().patternWidthInternal, 360);
}

TEST(StereogramGeometryTest, EyeSeparationRoundsHalfToEven) {
    Stereogram s;
    s.SetWidth(2000);
    s.SetHeight(2000);
    s.SetDPI(300);
    EXPECT_EQ(s.Geometry().eyeSeparation, 750);
    EXPECT_EQ(s.Geometry().patternWidth, 375);
    s.SetDPI(75);
    EXPECT_EQ(s.Geometry().eyeSeparation, 188);
    EXPECT_EQ(s.Geometry().patternWidth, 94);
}

TEST(StereogramGeometryTest, StartColumnAndPhasePutTextureColumnZeroOnTheCentralStrip) {
    Stereogram s;
    s.SetStereoType(StereogramKind::Textured);
    s.SetOversampling(4);
    s.SetWidth(1000);
    s.UpdateGeometry();
    const StereogramGeometry& g = s.Geometry();
    EXPECT_EQ(g.internalWidth, 4000);
    EXPECT_EQ(g.patternWidthInternal, 360);
    EXPECT_EQ(g.startColumn, 1820);
    EXPECT_EQ(g.phase, 340);
    EXPECT_EQ((1820 + g.phase) % 360 / 4, 0);
    EXPECT_EQ(g.verticalShift, 4);
}

TEST(StereogramGeometryTest, WritingSeparationSetsTheDepthRange) {
    Stereogram s;
    s.SetSeparation(90);
    EXPECT_DOUBLE_EQ(s.Max3Ddepth(), 14.013);
    EXPECT_DOUBLE_EQ(s.Min3Ddepth(), 7.0);
    EXPECT_EQ(s.Geometry().patternWidth, 90);
    EXPECT_EQ(s.Separation(), 0);

    s.SetSeparation(50);
    EXPECT_DOUBLE_EQ(s.Max3Ddepth(), 5.398);
    EXPECT_NEAR(s.Min3Ddepth(), 0.398, 1e-12);
    EXPECT_EQ(s.Geometry().patternWidth, 50);
    EXPECT_EQ(s.Separation(), 0);

    // At DPI 75 the write truncates 187.5 while the geometry rounds it to 188.
    s.SetDPI(75);
    EXPECT_THROW(s.SetSeparation(187), Error);
    EXPECT_DOUBLE_EQ(s.Max3Ddepth(), 5.398);
}

TEST(StereogramGeometryTest, StretchTextureMakesSeparationReadThePatternWidth) {
    Stereogram s;
    s.SetStretchTexture(true);
    s.UpdateGeometry();
    EXPECT_EQ(s.Separation(), 90);
    s.SetMax3Ddepth(5.398);
    EXPECT_EQ(s.Separation(), 50);
}

TEST(StereogramGeometryTest, NarrowTextureLimitsThePatternWidth) {
    Stereogram s;
    s.SetMaskMap(Solid(60, 10));
    s.SetStereoType(StereogramKind::Textured);
    s.UpdateGeometry();
    EXPECT_EQ(s.Geometry().patternWidth, 60);
    s.SetStretchTexture(true);
    s.UpdateGeometry();
    EXPECT_EQ(s.Geometry().patternWidth, 90);
    s.SetStretchTexture(false);
    s.SetStereoType(StereogramKind::RandomDot);
    s.UpdateGeometry();
    EXPECT_EQ(s.Geometry().patternWidth, 90);
}

TEST(StereogramGenerateTest, RefusesMissingPicturesWithTheirMessages) {
    Stereogram s;
    s.SetStereoType(StereogramKind::Textured);
    try {
        s.Generate();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "DepthMap is empty, please load depth image");
    }
    s.SetDepthMap(Solid(10, 10));
    try {
        s.Generate();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Texture is empty, please load texture image");
    }
    EXPECT_EQ(s.Progress(), 0);
    s.SetStereoType(StereogramKind::RandomDotTextured);
    s.SetOversampling(2);
    s.Generate();
    EXPECT_EQ(s.Progress(), 100);
    EXPECT_EQ(s.StereogramPicture().Width(), 800);
    EXPECT_EQ(s.StereogramPicture().Height(), 600);
}

TEST(StereogramGenerateTest, SettingsThatLeaveNoGeometryAreRefusedNamingTheSetting) {
    struct Case {
        double distance;
        double maxDepth;
        double minDepth;
        const char* message;
    };
    const Case cases[] = {
        {14, 0, 0,
         "Division by zero: the maximum depth of 0 in gives a pattern 0 pixels wide; it must give at least 1 "
         "pixel"},
        {14, 0.01, 0,
         "Division by zero: the maximum depth of 0.01 in gives a pattern 0 pixels wide; it must give at "
         "least 1 pixel"},
        {0, 0, 0,
         "Invalid floating point operation: with a viewing distance of 0 in the minimum depth (0 in) must be "
         "above 0"},
        {0, 1, 0,
         "Invalid floating point operation: with a viewing distance of 0 in the minimum depth (0 in) must be "
         "above 0"},
    };
    for (const Case& c : cases) {
        Stereogram s;
        s.SetStereoType(StereogramKind::Textured);
        s.SetDepthMap(Solid(10, 10));
        s.SetMaskMap(Solid(10, 10));
        s.SetObservDistance(c.distance);
        s.SetMax3Ddepth(c.maxDepth);
        s.SetMin3Ddepth(c.minDepth);
        try {
            s.Generate();
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const GeometryError& e) {  // a kind of its own, for callers to word
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_EQ(s.Progress(), 0);
    }
}

TEST(StereogramGenerateTest, ATallThinTextureIsNotStretchedPastThePictureLimit) {
    Stereogram s;
    s.SetStereoType(StereogramKind::Textured);
    s.SetStretchTexture(true);
    s.SetDepthMap(Solid(10, 10));
    s.SetMaskMap(Solid(1, 300000));  // 90 pixels wide once stretched: 27 million rows
    try {
        s.Generate();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind(
                      "The texture stretched to the pattern width would be 90 x 27000000 pixels", 0),
                  0U)
            << e.what();
    }
    s.SetStretchTexture(false);
    EXPECT_NO_THROW(s.Generate());
}

TEST(StereogramGenerateTest, PatternWiderThanThePictureIsRefusedBeforeAnyRow) {
    Stereogram s;
    s.SetStereoType(StereogramKind::RandomDotTextured);
    s.SetWidth(40);
    s.SetHeight(40);
    s.SetDPI(20);
    s.SetMax3Ddepth(1000);  // P = 49 > Width
    s.SetDepthMap(Solid(10, 10));
    int rows = 0;
    s.OnGenerate = [&](Stereogram&) { ++rows; };
    try {
        s.Generate();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Pattern width exceeds the stereogram width");
    }
    EXPECT_EQ(rows, 0);
}

TEST(StereogramGenerateTest, ProgressRisesRowByRowAndReentryDoesNothing) {
    Stereogram s;
    s.SetStereoType(StereogramKind::Textured);
    s.SetWidth(200);
    s.SetHeight(50);
    s.SetDepthMap(Solid(20, 5, {255, 255, 255}));
    s.SetMaskMap(Solid(100, 30, {10, 20, 30}));
    std::vector<int> seen;
    int events = 0;
    s.ProcessEvents = [&] { ++events; };
    s.OnGenerate = [&](Stereogram& sender) {
        seen.push_back(sender.Progress());
        if (sender.Progress() == 50) {
            sender.Generate();  // reached again from an event: must not restart
        }
    };
    s.Generate();
    ASSERT_EQ(seen.size(), 51U);
    for (int r = 0; r < 50; ++r) {
        EXPECT_EQ(seen[static_cast<std::size_t>(r)], 100 * r / 50);
    }
    EXPECT_EQ(seen.back(), 100);
    EXPECT_EQ(events, 50);
}

TEST(StereogramGenerateTest, AFailedRenderDoesNotBlockTheNextOne) {
    Stereogram s;
    s.SetStereoType(StereogramKind::Textured);
    s.SetWidth(200);
    s.SetHeight(50);
    s.SetDepthMap(Solid(20, 5));
    s.SetMaskMap(Solid(100, 30));
    s.OnGenerate = [](Stereogram& sender) {
        if (sender.Progress() == 50) {
            throw Error("stopped by the host");
        }
    };
    EXPECT_THROW(s.Generate(), Error);
    EXPECT_EQ(s.Progress(), 50);
    s.OnGenerate = nullptr;
    s.Generate();
    EXPECT_EQ(s.Progress(), 100);
}

}  // namespace
}  // namespace vistamaze

namespace vistamaze {
namespace {

TEST(RandomSourceTest, DrawsFollowTheLinearCongruentialSequence) {
    RandomSource random(1);
    EXPECT_EQ(random.Next(256), 8U);
    EXPECT_EQ(random.Next(100), 86U);
    EXPECT_EQ(random.Next(4), 0U);
    EXPECT_EQ(random.Next(10), 2U);
    EXPECT_EQ(random.State(), 1172187917U);
    const std::uint32_t seed = TimeOfDaySeed();
    EXPECT_LT(seed, 24U * 60 * 60 * 1000);
}

}  // namespace
}  // namespace vistamaze
