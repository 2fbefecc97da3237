// The picture workflow as a user does it: choose a depth map, render with F12 in the modal
// progress window, look at the preview, save; and how refusals and odd files are handled.
#include "tests/workspace/ProgramFixture.h"
#include "workspace/ConfigurationDialog.h"
#include "workspace/PictureView.h"
#include "workspace/PreviewWindow.h"
#include "workspace/ProgressWindow.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolBar>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace vistamaze::test {
namespace {

const QString kDepthMapMessage = QStringLiteral("DepthMap is empty, please load depth image");

class RenderJobTest : public ProgramFixture {
protected:
    [[nodiscard]] PreviewWindow& Preview() const { return windows_->Preview(); }
    [[nodiscard]] QAction* Command(const char* name) const { return Find<QAction>(Main(), name); }
    [[nodiscard]] QString depthSizeLabel() const { return Find<QLabel>(Main(), "depthSizeLabel")->text(); }

    // Chooses `file` in the depth map dialog opened with the toolbar's "Open depth image".
    void ChooseDepthMap(const QString& file) {
        dialogs_->QueueOpenFile(file);
        auto* toolbar = Find<QToolBar>(Main(), "toolBar");
        QTest::mouseClick(toolbar->widgetForAction(Command("openDepthMapButton")), Qt::LeftButton);
    }
    [[nodiscard]] static QString SampleDepthMap() {
        return QStringLiteral(VM_SOURCE_DIR "/DepthMaps/Torus.png");
    }
    // F12: returns once the modal progress window has rendered and closed.
    void PressF12() {
        QTest::keyClick(&Main(), Qt::Key_F12);
        EXPECT_FALSE(windows_->Progress().isVisible());
    }
    void ExpectResultCommands(bool enabled) const {
        for (const char* name :
             {"showLastRenderedButton", "showLastRenderedAction", "saveButton", "saveStereogramAction"}) {
            EXPECT_EQ(Command(name)->isEnabled(), enabled) << name;
        }
    }
    [[nodiscard]] QString StatusText() const {
        return Find<QStatusBar>(Main(), "statusBar")->currentMessage();
    }
    void SetSize(int width, int height) {
        Retype(MainField("widthEdit"), QString::number(width));
        Retype(MainField("heightEdit"), QString::number(height));
        Leave(MainField("heightEdit"));
    }
};

TEST_F(RenderJobTest, DepthMapDialogOffersEveryReadableFormatAndStartsInDepthMaps) {
    dialogs_->QueueOpenFile(std::nullopt);
    Command("openDepthMapButton")->trigger();
    ChooseDepthMap(SampleDepthMap());
    ASSERT_EQ(dialogs_->OpenRequests().size(), 2U);
    const FileDialogRequest& first = dialogs_->OpenRequests()[0];
    EXPECT_EQ(first.caption, "Select depth map");
    EXPECT_EQ(QDir(first.initialFolder).canonicalPath(), QDir(VM_SOURCE_DIR "/DepthMaps").canonicalPath());
    const QStringList parts = first.filter.split(QLatin1Char('|'));
    ASSERT_GE(parts.size(), 4);
    EXPECT_TRUE(parts[0].startsWith("All (*.png;*.jpeg;*.jpg;")) << parts[0].toStdString();
    EXPECT_EQ(parts[0], "All (" + parts[1] + ")");
    for (const char* pattern :
         {"*.tga", "*.pcx", "*.tif", "*.gif", "*.bmp", "*.ico", "*.dds", "*.dcx", "*.vst"}) {
        EXPECT_TRUE(parts[1].split(';').contains(QLatin1String(pattern))) << pattern;
    }
    EXPECT_EQ(parts[2], "PNG (*.png)");
    // Once a file was chosen the dialog no longer starts in "DepthMaps".
    ChooseDepthMap(SampleDepthMap());
    EXPECT_TRUE(dialogs_->OpenRequests()[2].initialFolder.isEmpty());
}

TEST_F(RenderJobTest, ChoosingFilesEnablesRenderOnlyAndTheLabelShowsThePictureSize) {
    EXPECT_FALSE(Command("renderButton")->isEnabled());
    ExpectResultCommands(false);
    dialogs_->QueueOpenFile(std::nullopt);
    Command("loadDepthMapAction")->trigger();  // cancelled: nothing changes
    EXPECT_FALSE(Command("renderAction")->isEnabled());
    EXPECT_EQ(depthSizeLabel(), "0 x 0");

    // A text file is no picture: nothing changes and no box comes up, but Render is enabled and
    // the status bar says which file could not be read and why.
    const auto text = temp_ / "notes.txt";
    std::ofstream(text) << "not a picture";
    ChooseDepthMap(Q(text));
    EXPECT_TRUE(Command("renderButton")->isEnabled());
    EXPECT_TRUE(Command("renderAction")->isEnabled());
    ExpectResultCommands(false);
    EXPECT_EQ(depthSizeLabel(), "0 x 0");
    EXPECT_FALSE(Engine().DepthMap().HasImage());
    EXPECT_TRUE(dialogs_->Messages().empty());
    EXPECT_EQ(StatusText(), "Could not read notes.txt: Unsupported picture file type \".txt\"");

    // A 1-bit palette picture arrives as 24-bit colour of its own size, whatever the stereogram size.
    ChooseDepthMap(Q(DataFile("images/bmp/bmpsuite_g_pal1.bmp")));
    EXPECT_EQ(depthSizeLabel(), "127 x 64");
    EXPECT_EQ(Engine().DepthMap().Bitmap().BitsPerPixel(), 24);
    EXPECT_EQ(Main().DepthImage().Width(), 127);
    // The shown depth picture is the engine's.
    EXPECT_EQ(Main().DepthImage().Bitmap().ByteSize(), Engine().DepthMap().Bitmap().ByteSize());
    EXPECT_TRUE(StatusText().isEmpty());

    // A damaged picture keeps the earlier one, as depth map and as texture alike.
    const auto broken = temp_ / "broken.png";
    std::ofstream(broken, std::ios::binary) << "\x89PNG\r\n\x1a\n but nothing more";
    ChooseDepthMap(Q(broken));
    EXPECT_EQ(depthSizeLabel(), "127 x 64");
    EXPECT_TRUE(StatusText().startsWith("Could not read broken.png: ")) << StatusText().toStdString();
    dialogs_->QueueOpenFile(Q(text));
    Command("loadTextureAction")->trigger();
    EXPECT_EQ(Find<QLabel>(Main(), "textureSizeLabel")->text(), "85 x 118");
    EXPECT_TRUE(StatusText().startsWith("Could not read notes.txt: ")) << StatusText().toStdString();
    EXPECT_TRUE(dialogs_->Messages().empty());
}

// A preset fills the fields without applying them; the render applies what the fields show.
TEST_F(RenderJobTest, F12RendersWithWhatTheFieldsShowAfterAPreset) {
    ChooseDepthMap(SampleDepthMap());
    Main().DpiMenu()->actions().at(6)->trigger();  // 300 DPI, applied at once
    ASSERT_EQ(Engine().DPI(), 300);
    Find<QPushButton>(windows_->Config(), "defaultButton")->click();
    ASSERT_EQ(MainField("widthEdit")->text(), "800");
    ASSERT_EQ(MainField("dpiEdit")->text(), "72");
    PressF12();
    ASSERT_TRUE(dialogs_->Messages().empty()) << dialogs_->Messages()[0].text.toStdString();
    EXPECT_EQ(Preview().Stereogram().Width(), 800);
    EXPECT_EQ(Preview().Stereogram().Height(), 600);
    EXPECT_EQ(Engine().DPI(), 72);
    EXPECT_DOUBLE_EQ(Engine().ObservDistance(), 14.0);
    // The separation the engine rendered with is the one the dialog shows now.
    EXPECT_EQ(windows_->Config().SeparationEdit()->text(), QString::number(Engine().Separation()));
}

// The preview is where the result is looked at: F12 renders and Ctrl+S saves from there too.
TEST_F(RenderJobTest, F12AndCtrlSWorkInThePreviewWindow) {
    ChooseDepthMap(SampleDepthMap());
    PressF12();
    ASSERT_TRUE(Activate(Main()));
    SetSize(400, 300);
    ASSERT_TRUE(Activate(Preview()));
    QTest::keyClick(&Preview(), Qt::Key_F12);
    EXPECT_FALSE(windows_->Progress().isVisible());
    EXPECT_EQ(Preview().Stereogram().Width(), 400);
    EXPECT_EQ(Preview().PictureLabel()->size(), QSize(400, 300));

    const QString target = Q(temp_ / "from-preview.bmp");
    dialogs_->QueueSaveFile(target);
    ASSERT_TRUE(Activate(Preview()));
    QTest::keyClick(&Preview(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(dialogs_->SaveRequests().size(), 1U);
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_TRUE(dialogs_->Messages().empty());
}

TEST_F(RenderJobTest, TheDepthImageIsDrawnToFitCentredAndInProportion) {
    auto* view = Find<PictureView>(Main(), "depthPicture");
    EXPECT_TRUE(view->PictureRect().isEmpty());
    const auto expectFitted = [view](QSize picture) {
        const QRect drawn = view->PictureRect();
        SCOPED_TRACE(QStringLiteral("%1 x %2 in %3 x %4")
                         .arg(picture.width())
                         .arg(picture.height())
                         .arg(view->width())
                         .arg(view->height())
                         .toStdString());
        EXPECT_TRUE(view->rect().contains(drawn));
        // One side fills the control, the other keeps the picture's proportion, centred.
        EXPECT_TRUE(drawn.width() == view->width() || drawn.height() == view->height());
        EXPECT_NEAR(static_cast<double>(drawn.width()) / drawn.height(),
                    static_cast<double>(picture.width()) / picture.height(), 0.02);
        EXPECT_LE(std::abs(drawn.left() - (view->width() - drawn.right() - 1)), 1);
        EXPECT_LE(std::abs(drawn.top() - (view->height() - drawn.bottom() - 1)), 1);
    };
    ChooseDepthMap(Q(DataFile("images/bmp/bmpsuite_g_pal1.bmp")));
    expectFitted({127, 64});
    EXPECT_GT(view->PictureRect().width(), 127);  // a small picture is enlarged

    Main().resize(800, 600);
    QCoreApplication::processEvents();
    ChooseDepthMap(SampleDepthMap());
    expectFitted({800, 600});
    EXPECT_LT(view->PictureRect().width(), 800);  // a large one is shrunk
}

TEST_F(RenderJobTest, AFileThatCannotBeReadIsReportedAndChangesNothing) {
    ChooseDepthMap(QStringLiteral(VM_SOURCE_DIR "/DepthMaps/no-such-file.png"));
    ASSERT_EQ(dialogs_->Messages().size(), 1U);
    EXPECT_EQ(dialogs_->Messages()[0].kind, MessageKind::Error);
    EXPECT_TRUE(dialogs_->Messages()[0].text.contains("no-such-file.png"));
    EXPECT_FALSE(Command("renderButton")->isEnabled());
    EXPECT_EQ(depthSizeLabel(), "0 x 0");
}

TEST_F(RenderJobTest, RenderingWithoutDepthMapShowsTheRefusalAndEnablesNothing) {
    Main().EnableRenderCommands();
    PressF12();
    ASSERT_EQ(dialogs_->Messages().size(), 1U);
    EXPECT_EQ(dialogs_->Messages()[0].text, kDepthMapMessage);
    EXPECT_FALSE(Preview().isVisible());
    ExpectResultCommands(false);
}

TEST_F(RenderJobTest, F12RendersTheLoadedDepthMapIntoThePreviewAndSaveWritesIt) {
    ChooseDepthMap(SampleDepthMap());
    EXPECT_EQ(depthSizeLabel(), "800 x 600");
    PressF12();
    ASSERT_TRUE(dialogs_->Messages().empty()) << dialogs_->Messages()[0].text.toStdString();
    EXPECT_TRUE(Preview().isVisible());
    EXPECT_EQ(Preview().PictureLabel()->size(), QSize(1000, 760));
    EXPECT_EQ(Preview().Stereogram().Width(), 1000);
    EXPECT_EQ(Preview().Stereogram().Height(), 760);
    EXPECT_EQ(Engine().Progress(), 100);
    EXPECT_EQ(windows_->Progress().ProgressBar()->value(), 100);
    ExpectResultCommands(true);

    // The preview holds a copy: a later render into the engine does not change it until shown.
    const PixelBuffer shown = Preview().Stereogram().Bitmap();
    EXPECT_EQ(0, std::memcmp(shown.Data(), Engine().StereogramPicture().Bitmap().Data(), shown.ByteSize()));

    // Ctrl+S in the main window saves through the preview's command.
    const QString target = Q(temp_ / "stereo.PNG");
    dialogs_->QueueSaveFile(target);
    ASSERT_TRUE(Activate(Main()));
    QTest::keyClick(&Main(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(dialogs_->SaveRequests().size(), 1U);
    if (ToolAvailable("identify")) {
        std::string out;
        ASSERT_EQ(RunCommand("identify -format '%m %w %h' '" + target.toStdString() + "'", &out), 0);
        EXPECT_EQ(out, "PNG 1000 760");
    } else {
        EXPECT_TRUE(QFileInfo::exists(target));
    }
}

TEST_F(RenderJobTest, PreviewWindowIsSizedForEachRender) {
    ChooseDepthMap(SampleDepthMap());
    PressF12();  // shows the preview; from now on it stays visible and is only resized
    ASSERT_TRUE(Preview().isVisible());

    ASSERT_TRUE(Activate(Main()));
    Preview().resize(900, Preview().height());
    SetSize(800, 600);
    PressF12();
    EXPECT_EQ(Preview().width(), 900);  // 800 + 15 is not above 1024: width left alone
    // The toolbar panel is as high as its rows at this width.
    EXPECT_EQ(Preview().height() - Preview().ToolbarPanelHeight(), 640);
    EXPECT_EQ(Preview().PictureLabel()->size(), QSize(800, 600));

    ASSERT_TRUE(Activate(Main()));
    SetSize(1200, 600);
    PressF12();
    EXPECT_EQ(Preview().width(), 1215);
    EXPECT_EQ(Preview().PictureLabel()->size(), QSize(1200, 600));
}

TEST_F(RenderJobTest, EscHidesThePreviewAndShowLastRenderedBringsTheSamePictureBack) {
    ChooseDepthMap(SampleDepthMap());
    PressF12();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Preview()));
    const PixelBuffer shown = Preview().Stereogram().Bitmap();
    int renders = 0;
    Engine().SeedSource = [&renders] {
        ++renders;
        return 1U;
    };
    QTest::keyClick(&Preview(), Qt::Key_Escape);
    EXPECT_FALSE(Preview().isVisible());
    Command("showLastRenderedAction")->trigger();
    EXPECT_TRUE(Preview().isVisible());
    EXPECT_EQ(renders, 0);
    ASSERT_EQ(Preview().Stereogram().Bitmap().ByteSize(), shown.ByteSize());
    EXPECT_EQ(0, std::memcmp(Preview().Stereogram().Bitmap().Data(), shown.Data(), shown.ByteSize()));
}

TEST_F(RenderJobTest, ProgressWindowModesAndGaugeSteps) {
    ProgressWindow& progress = windows_->Progress();
    progress.SetMode(ProgressWindow::kAnimationMode);
    EXPECT_EQ(progress.windowTitle(), "Rendering Animation");
    EXPECT_TRUE(progress.StatusLabel()->text().isEmpty());
    EXPECT_EQ(progress.height(), 136);
    auto* stop = Find<QPushButton>(progress, "stopButton");
    EXPECT_EQ(stop->text(), "Stop");
    stop->click();
    EXPECT_TRUE(Main().StopRequested());

    progress.SetMode(ProgressWindow::kSingleMode);
    EXPECT_EQ(progress.windowTitle(), "Rendering Stereogram");
    EXPECT_EQ(progress.StatusLabel()->text(), "Progress ...");
    EXPECT_EQ(progress.height(), 95);
    progress.SetMode(7);  // only stored
    EXPECT_EQ(progress.Mode(), 7);
    EXPECT_EQ(progress.windowTitle(), "Rendering Stereogram");

    progress.ProgressBar()->setValue(0);
    QSignalSpy shown(progress.ProgressBar(), &QProgressBar::valueChanged);
    for (int percent : {2, 3, 5, 7, 9}) {
        progress.ShowProgress(percent);
    }
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0][0].toInt(), 5);
    EXPECT_EQ(shown[1][0].toInt(), 9);
}

}  // namespace
}  // namespace vistamaze::test
