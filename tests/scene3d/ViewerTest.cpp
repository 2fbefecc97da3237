#include "GLTestSupport.h"
#include "formats/ModelFile.h"
#include "scene3d/DepthBuffer.h"
#include "scene3d/OffscreenView.h"
#include "scene3d/SceneView.h"
#include "tests/support/TestSupport.h"

#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

using test::MakeQuadScene;

// Window depth of a plane at eye distance d for a frustum from n to f.
double WindowDepth(double d, double n, double f) {
    return f * (d - n) / ((f - n) * d);
}

// The near plane of the projection rule, worked out here from its definition.
double NearPlane(double focal, int w, int h, double bias) {
    return focal * 2.0 * 96.0 / (25.4 * std::max(w, h)) * bias;
}

float At(const std::vector<float>& depth, int width, int row, int col) {
    return depth[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                 static_cast<std::size_t>(col)];
}

std::size_t CountDrawn(const std::vector<float>& depth) {
    return static_cast<std::size_t>(
        std::count_if(depth.begin(), depth.end(), [](float v) { return v < 1.0F; }));
}

class OnScreenView : public ::testing::Test {
protected:
    void SetUp() override {
        VM_REQUIRE_GL();
        scene_ = std::make_unique<Scene3d>();
        viewer_ = std::make_unique<SceneView>();
        viewer_->SetScene(scene_.get());
        viewer_->SetCamera(&scene_->camera);
        Show(400, 300);
    }

    void Show(int width, int height) {
        viewer_->resize(width, height);
        viewer_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer_.get()));
        ASSERT_TRUE(viewer_->isValid()) << "no OpenGL context for the on-screen view";
    }

    const std::vector<float>& RenderAndRead() {
        viewer_->RepaintNow();
        zBuffer_.LinkToViewer(*viewer_);
        return zBuffer_.ReadDepth();
    }

    std::unique_ptr<Scene3d> scene_;
    std::unique_ptr<SceneView> viewer_;
    DepthBuffer zBuffer_;
};

TEST_F(OnScreenView, QuadReadsItsAnalyticWindowDepth) {
    for (const double distance : {3.0, 10.0, 40.0}) {
        MakeQuadScene(*scene_, 100.0, 0.0, 0.0, distance, 400.0);
        const std::vector<float>& depth = RenderAndRead();
        const double n = NearPlane(400.0, 400, 300, 0.05);
        const double expected = WindowDepth(distance, n, n + 100.0);
        for (const auto& [row, col] : {std::pair{0, 0}, {150, 200}, {299, 399}, {10, 390}}) {
            EXPECT_NEAR(At(depth, 400, row, col), expected, 2e-6)
                << "distance " << distance << " at " << row << "," << col;
        }
        EXPECT_NEAR(scene_->camera.LastNearPlane(), n, 1e-12);
    }
}

TEST_F(OnScreenView, BackgroundReadsExactlyOne) {
    MakeQuadScene(*scene_, 0.05, 0.0, 0.0, 10.0, 400.0);
    const std::vector<float>& depth = RenderAndRead();
    ASSERT_EQ(depth.size(), 400U * 300U);
    EXPECT_EQ(At(depth, 400, 0, 0), 1.0F);
    EXPECT_EQ(At(depth, 400, 299, 399), 1.0F);
    EXPECT_EQ(At(depth, 400, 0, 399), 1.0F);
    EXPECT_LT(At(depth, 400, 150, 200), 1.0F);
    EXPECT_GT(CountDrawn(depth), 100U);
    EXPECT_LT(CountDrawn(depth), 400U * 300U / 4);
}

TEST_F(OnScreenView, ObjectInTopHalfLandsInHighRows) {
    // A square from y = 0 upwards, much larger than the visible height at this distance.
    MakeQuadScene(*scene_, 50.0, 0.0, 50.0, 10.0, 400.0);
    const std::vector<float>& depth = RenderAndRead();
    bool ok = true;
    for (int row = 0; row < 300; ++row) {
        const float v = At(depth, 400, row, 200);
        if (row >= 152) {
            ok = ok && v < 1.0F;
        } else if (row <= 147) {
            ok = ok && v == 1.0F;
        }
    }
    EXPECT_TRUE(ok) << "depth saved to "
                    << test::SaveDepthForInspection(depth, 400, 300, "scene3d_top_half_depth");
    const QImage colour = viewer_->ColorSnapshot();
    ASSERT_EQ(colour.size(), QSize(400, 300));
    const QRgb background = qRgb(0, 64, 128);
    const bool upright = colour.pixel(200, 10) != background && colour.pixel(200, 290) == background;
    EXPECT_TRUE(upright) << "colour saved to " << test::SaveForInspection(colour, "scene3d_top_half_colour");
}

TEST_F(OnScreenView, RepaintNowRendersBeforeReturningAndRaisesPostRender) {
    MakeQuadScene(*scene_, 1.0, 0.0, 0.0, 10.0, 400.0);
    QSignalSpy spy(viewer_.get(), &SceneView::PostRender);
    const long before = viewer_->RenderCount();
    viewer_->RepaintNow();
    EXPECT_EQ(viewer_->RenderCount(), before + 1);
    EXPECT_EQ(spy.count(), 1);
    viewer_->RepaintNow();
    EXPECT_EQ(spy.count(), 2);
}

TEST(HiddenView, RepaintNowRendersAViewOnAHiddenTab) {
    VM_REQUIRE_GL();
    Scene3d scene;
    MakeQuadScene(scene, 0.5, 0.0, 0.0, 10.0, 400.0);
    QTabWidget tabs;
    tabs.addTab(new QWidget, QStringLiteral("Stereogram"));
    auto* viewer = new SceneView;
    tabs.addTab(viewer, QStringLiteral("3D model"));
    viewer->SetScene(&scene);
    viewer->SetCamera(&scene.camera);
    tabs.resize(420, 340);
    tabs.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tabs));
    ASSERT_FALSE(viewer->isVisible());
    QSignalSpy spy(viewer, &SceneView::PostRender);
    viewer->RepaintNow();
    EXPECT_EQ(spy.count(), 1);
    DepthBuffer reader;
    reader.LinkToViewer(*viewer);
    EXPECT_GT(CountDrawn(reader.ReadDepth()), 100U);
    viewer->RepaintNow();
    EXPECT_EQ(spy.count(), 2);
}

TEST_F(OnScreenView, HiddenObjectLeavesNoDepth) {
    MakeQuadScene(*scene_, 100.0, 0.0, 0.0, 10.0, 400.0);
    scene_->model.SetVisible(false);
    EXPECT_EQ(CountDrawn(RenderAndRead()), 0U);
}

TEST_F(OnScreenView, ReaderTakesTheSizeAtLinkingAndKeepsItsBlock) {
    MakeQuadScene(*scene_, 100.0, 0.0, 0.0, 10.0, 400.0);
    DepthBuffer reader;
    EXPECT_EQ(reader.Width(), 0);
    EXPECT_EQ(reader.Height(), 0);
    EXPECT_EQ(reader.Viewer(), nullptr);
    reader.LinkToViewer(*viewer_);
    EXPECT_EQ(reader.Width(), 400);
    EXPECT_EQ(reader.Height(), 300);
    viewer_->RepaintNow();
    const float* block = reader.ReadDepth().data();
    reader.LinkToViewer(*viewer_);
    EXPECT_EQ(reader.ReadDepth().data(), block);  // same size: no new block
    Show(200, 100);
    EXPECT_EQ(reader.Width(), 400);  // not linked again yet
    reader.LinkToViewer(*viewer_);
    EXPECT_EQ(reader.Width(), 200);
    EXPECT_EQ(reader.Height(), 100);
    viewer_->RepaintNow();
    EXPECT_EQ(reader.ReadDepth().size(), 200U * 100U);
}

TEST_F(OnScreenView, CameraResetAfterARealRender) {
    scene_ = BuildInitialScene();
    viewer_->SetScene(scene_.get());
    viewer_->SetCamera(&scene_->camera);
    Show(521, 392);
    scene_->camera.SetFocalLength(500.0);
    viewer_->RepaintNow();
    scene_->camera.Reset();
    EXPECT_NEAR(scene_->camera.Position().z, 35.5, 0.1);
    EXPECT_NEAR(scene_->camera.Position().x, 0.0, 1e-9);
}

TEST_F(OnScreenView, LoadedModelIsDrawnInTheMiddleAfterReset) {
    const std::filesystem::path file = test::DataFile("models/assimp_box.obj");
    if (!std::filesystem::exists(file)) {
        GTEST_SKIP() << "missing " << file;
    }
    scene_ = BuildInitialScene();
    viewer_->SetScene(scene_.get());
    viewer_->SetCamera(&scene_->camera);
    Show(460, 345);
    Scene3d& s = *scene_;
    s.camera.SetFocalLength(500.0);
    s.model.SetMesh(LoadModelFile(file));
    s.text.SetVisible(false);
    s.model.SetScale({1.0, 1.0, 1.0});
    const double r = s.model.BoundingRadius();
    ASSERT_GT(r, 0.0);
    const double a = r < 1.0 ? 1.8 / r : (r > 1.0 ? 1.4 / r : 1.0);
    s.model.SetScale({a, a, a});
    viewer_->RepaintNow();  // the camera reset needs the near plane of a render
    s.camera.SetTarget(&s.model);
    s.camera.Reset();
    s.camera.SetTarget(&s.pivot);
    s.model.PerformAutoCentering();
    const std::vector<float>& depth = RenderAndRead();
    // Seen from 0.36 * 86 = 31 units with a 7 degree view the box fills a good part of the middle.
    const std::size_t drawn = CountDrawn(depth);
    EXPECT_GT(drawn, 460U * 345U / 20)
        << test::SaveDepthForInspection(depth, 460, 345, "scene3d_model_depth");
    EXPECT_LT(drawn, 460U * 345U);
    EXPECT_LT(At(depth, 460, 172, 230), 1.0F);
    EXPECT_EQ(At(depth, 460, 0, 0), 1.0F);
}

class OffScreenView : public ::testing::Test {
protected:
    void SetUp() override {
        VM_REQUIRE_GL();
        scene_ = std::make_unique<Scene3d>();
        memory_ = std::make_unique<OffscreenView>();
        memory_->SetScene(scene_.get());
        memory_->SetCamera(&scene_->camera);
    }

    std::unique_ptr<Scene3d> scene_;
    std::unique_ptr<OffscreenView> memory_;
};

TEST_F(OffScreenView, ReturnsUprightColourAndDepthAtFullSize) {
    MakeQuadScene(*scene_, 50.0, 0.0, 50.0, 10.0, 400.0);
    const QColor background(200, 10, 30);
    memory_->SetBackgroundColor(background);
    memory_->Render();
    EXPECT_GE(memory_->Samples(), 2);
    const QImage colour = memory_->ColorSnapshot();
    ASSERT_EQ(colour.size(), QSize(1600, 1200));
    EXPECT_EQ(colour.format(), QImage::Format_RGB32);
    const bool upright = colour.pixel(800, 20) != background.rgb() &&
                         colour.pixel(800, 1180) == background.rgb() &&
                         colour.pixel(5, 1195) == background.rgb();
    EXPECT_TRUE(upright) << "colour saved to " << test::SaveForInspection(colour, "scene3d_offscreen_colour");

    DepthBuffer reader;
    reader.LinkToViewer(*memory_);
    ASSERT_EQ(reader.Width(), 1600);
    ASSERT_EQ(reader.Height(), 1200);
    const std::vector<float>& depth = reader.ReadDepth();
    const double n = NearPlane(400.0, 1600, 1200, 0.05);
    EXPECT_NEAR(At(depth, 1600, 1199, 800), WindowDepth(10.0, n, n + 100.0), 2e-6);
    EXPECT_EQ(At(depth, 1600, 0, 800), 1.0F);
    EXPECT_EQ(At(depth, 1600, 0, 0), 1.0F);
}

TEST(BothViews, HelloLeavesDepthInEachAndTheyDoNotDisturbEachOther) {
    VM_REQUIRE_GL();
    const auto scene = BuildInitialScene();
    SceneView viewer;
    viewer.SetScene(scene.get());
    viewer.SetCamera(&scene->camera);
    viewer.resize(521, 392);
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    OffscreenView memory;
    memory.SetScene(scene.get());
    memory.SetCamera(&scene->camera);
    memory.SetBackgroundColor(QColor(255, 255, 0));

    DepthBuffer onScreen;
    DepthBuffer offScreen;
    viewer.RepaintNow();
    onScreen.LinkToViewer(viewer);
    const std::vector<float> first = onScreen.ReadDepth();
    const QImage firstColour = viewer.ColorSnapshot();
    EXPECT_GT(CountDrawn(first), 2000U)
        << test::SaveDepthForInspection(first, 521, 392, "scene3d_hello_depth");

    memory.Render();
    offScreen.LinkToViewer(memory);
    const std::vector<float> offDepth = offScreen.ReadDepth();
    EXPECT_GT(CountDrawn(offDepth), 10000U)
        << test::SaveDepthForInspection(offDepth, 1600, 1200, "scene3d_hello_offscreen_depth");
    const QImage offColour = memory.ColorSnapshot();
    EXPECT_EQ(offColour.pixel(0, 0), qRgb(255, 255, 0))
        << test::SaveForInspection(offColour, "scene3d_hello_offscreen_colour");

    // The off-screen render left the on-screen buffers alone, and the other way round.
    EXPECT_EQ(onScreen.ReadDepth(), first);
    EXPECT_EQ(viewer.ColorSnapshot(), firstColour);
    EXPECT_EQ(viewer.ColorSnapshot().pixel(0, 0), qRgb(0, 64, 128));
    viewer.RepaintNow();
    EXPECT_EQ(offScreen.ReadDepth(), offDepth);
    EXPECT_EQ(memory.ColorSnapshot(), offColour);
}

}  // namespace
}  // namespace vistamaze
