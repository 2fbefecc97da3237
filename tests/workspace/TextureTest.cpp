// The texture as the user handles it: loading through the dialog, stepping through the folder's
// textures from the preview, mirroring, and the preview's placement fields with their delayed
// rebuild and render.
#include "tests/workspace/ProgramFixture.h"
#include "workspace/PreviewWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSpinBox>
#include <QToolBar>
#include <cstring>
#include <fstream>

namespace vistamaze::test {
namespace {

QString Sample(const char* relative) {
    return QStringLiteral(VM_SOURCE_DIR "/") + QLatin1String(relative);
}

class TextureTest : public ProgramFixture {
protected:
    void SetUp() override {
        ProgramFixture::SetUp();
        if (HasFatalFailure() || IsSkipped()) {
            return;
        }
        // Every render draws one seed: counting seeds counts renders.
        Engine().SeedSource = [this] {
            ++renders_;
            return 7U;
        };
        dialogs_->QueueOpenFile(Sample("DepthMaps/Torus.png"));
        Main().AskForDepthMap();
    }

    [[nodiscard]] PreviewWindow& Preview() const { return windows_->Preview(); }
    void LoadTextureFromMenu(const QString& file) {
        dialogs_->QueueOpenFile(file);
        Find<QAction>(Main(), "loadTextureAction")->trigger();
    }
    void ClickPreviewButton(const char* action) {
        auto* toolbar = Find<QToolBar>(Preview(), "toolBar");
        QTest::mouseClick(toolbar->widgetForAction(Find<QAction>(Preview(), action)), Qt::LeftButton);
    }
    [[nodiscard]] QSize MaskSize() const { return {Engine().MaskMap().Width(), Engine().MaskMap().Height()}; }
    // Lets the delayed update's 800 ms pass.
    static void WaitPastTheDelay() { QTest::qWait(1100); }
    [[nodiscard]] QString CurrentTextureName() const {
        const auto& files = Main().Textures().Files();
        const int index = Main().Textures().CurrentIndex();
        return index < 0 ? QString()
                         : QString::fromStdString(files[static_cast<std::size_t>(index)].filename().string());
    }

    int renders_ = 0;
};

TEST_F(TextureTest, LoadingATextureResetsThePlacementAndListsItsFolder) {
    // Placement left over from earlier work.
    Preview().OffsetXField()->setValue(5);
    Preview().CropBottomField()->setValue(3);
    Preview().SeamlessBox()->setCurrentIndex(2);
    Find<QCheckBox>(Main(), "stretchTextureCheck")->setChecked(false);
    Preview().StretchButton()->setChecked(false);
    Preview().UpdateTimer().stop();  // the update those edits scheduled

    LoadTextureFromMenu(Sample("Textures/Leaves.png"));
    const FileDialogRequest& request = dialogs_->OpenRequests().back();
    EXPECT_EQ(request.caption, "Select texture");
    EXPECT_TRUE(request.fileName.endsWith("Textures/TREEPT85.BMP")) << request.fileName.toStdString();
    EXPECT_TRUE(request.filter.startsWith("All ("));
    EXPECT_FALSE(request.initialFolder.isEmpty());

    EXPECT_EQ(Find<QLabel>(Main(), "textureSizeLabel")->text(), "96 x 160");
    EXPECT_EQ(MaskSize(), QSize(96, 160));
    EXPECT_EQ(Engine().MaskMap().Bitmap().BitsPerPixel(), 24);
    EXPECT_EQ(Preview().OffsetXField()->value(), 0);
    EXPECT_EQ(Preview().CropBottomField()->value(), 0);
    EXPECT_EQ(Preview().OffsetXField()->maximum(), 95);
    EXPECT_EQ(Preview().CropBottomField()->maximum(), 159);
    EXPECT_EQ(Preview().TextureScaleField()->value(), 100.0);
    EXPECT_EQ(Preview().SeamlessBox()->currentText(), "none");
    EXPECT_TRUE(Find<QCheckBox>(Main(), "stretchTextureCheck")->isChecked());
    EXPECT_TRUE(Preview().StretchButton()->isChecked());
    EXPECT_TRUE(Engine().StretchTexture());
    // Its writes into the fields started no delayed update.
    EXPECT_FALSE(Preview().UpdateTimer().isActive());

    EXPECT_EQ(Main().Textures().Files().size(), 3U);  // Candy, Leaves and Marble
    EXPECT_EQ(CurrentTextureName(), "Leaves.png");
    LoadTextureFromMenu(Sample("Textures/Marble.png"));
    EXPECT_TRUE(dialogs_->OpenRequests().back().initialFolder.isEmpty());
    EXPECT_TRUE(dialogs_->OpenRequests().back().fileName.endsWith("Leaves.png"));
    EXPECT_EQ(renders_, 0);  // loading alone does not render
}

TEST_F(TextureTest, NextAndPreviousStepThroughTheFolderWrappingAndRenderEachTime) {
    LoadTextureFromMenu(Sample("Textures/Leaves.png"));
    const auto& files = Main().Textures().Files();
    ASSERT_EQ(files.size(), 3U);
    const int start = Main().Textures().CurrentIndex();
    for (int step = 1; step <= 3; ++step) {
        ClickPreviewButton("nextTextureButton");
        EXPECT_EQ(Main().Textures().CurrentIndex(), (start + step) % 3);
        EXPECT_EQ(renders_, step);
    }
    ClickPreviewButton("previousTextureButton");
    EXPECT_EQ(Main().Textures().CurrentIndex(), (start + 2) % 3);
    EXPECT_EQ(renders_, 4);
    // The texture shown is the list's current file.
    const QString current = CurrentTextureName();
    EXPECT_EQ(Find<QLabel>(Main(), "textureSizeLabel")->text(), current == "Leaves.png"  ? "96 x 160"
                                                                : current == "Candy.png" ? "120 x 120"
                                                                                         : "128 x 128");
    EXPECT_TRUE(dialogs_->Messages().empty());
}

TEST_F(TextureTest, MirrorBoxesAndButtonsTileTheTextureAndStayInStep) {
    LoadTextureFromMenu(Sample("Textures/Leaves.png"));
    Click(Find<QCheckBox>(Main(), "horizontalMirrorCheck"));
    EXPECT_EQ(MaskSize(), QSize(96, 320));
    EXPECT_TRUE(Preview().HorizontalMirrorButton()->isChecked());
    EXPECT_EQ(renders_, 0);  // the boxes rebuild without rendering

    ClickPreviewButton("verticalMirrorButton");  // the preview's button renders
    EXPECT_TRUE(Find<QCheckBox>(Main(), "verticalMirrorCheck")->isChecked());
    EXPECT_EQ(MaskSize(), QSize(192, 320));
    EXPECT_EQ(renders_, 1);
    ClickPreviewButton("horizontalMirrorButton");
    EXPECT_FALSE(Find<QCheckBox>(Main(), "horizontalMirrorCheck")->isChecked());
    EXPECT_EQ(MaskSize(), QSize(192, 160));
}

TEST_F(TextureTest, TypingIntoAPlacementFieldMovesTheTextureAtOnceAndRendersOnceLater) {
    LoadTextureFromMenu(Sample("Textures/Marble.png"));
    QLineEdit* line = Preview().OffsetXField()->findChild<QLineEdit*>();
    ASSERT_NE(line, nullptr);
    Preview().show();
    ASSERT_TRUE(Activate(Preview()));
    Preview().OffsetXField()->setFocus();
    line->selectAll();
    QTest::keyClick(line, Qt::Key_1);
    EXPECT_EQ(Engine().PatOfX(), 1);
    QTest::keyClick(line, Qt::Key_2);
    EXPECT_EQ(Engine().PatOfX(), 12);
    QTest::keyClick(line, Qt::Key_3);
    EXPECT_EQ(Engine().PatOfX(), 123);
    EXPECT_EQ(renders_, 0);
    WaitPastTheDelay();
    EXPECT_EQ(renders_, 1);

    // A mouse move over a field drops an update still waiting.
    Preview().OffsetYField()->setValue(4);
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), QPointF(3, 3), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(Preview().CropLeftField(), &move);
    WaitPastTheDelay();
    EXPECT_EQ(renders_, 1);
    EXPECT_EQ(Engine().PatOfY(), 4);
}

TEST_F(TextureTest, AScaleBelowHundredReleasesStretchingAndShrinksTheTextureNotBelowTheDpi) {
    LoadTextureFromMenu(Sample("Textures/Leaves.png"));
    Preview().TextureScaleField()->setValue(50.0);
    EXPECT_FALSE(Preview().StretchButton()->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(Main(), "stretchTextureCheck")->isChecked());
    EXPECT_FALSE(Engine().StretchTexture());
    WaitPastTheDelay();
    EXPECT_DOUBLE_EQ(Main().TextureScale(), 50.0);
    // 96 x 160 at 50 % is 48 x 80; the width is raised to the DPI, 72.
    EXPECT_EQ(MaskSize(), QSize(72, 80));
    EXPECT_EQ(renders_, 1);

    Preview().TextureScaleField()->setValue(100.0);  // stretching stays off
    EXPECT_FALSE(Preview().StretchButton()->isChecked());
    WaitPastTheDelay();
    EXPECT_EQ(MaskSize(), QSize(96, 160));
}

TEST_F(TextureTest, CropMarginsThatLeaveNothingKeepOneColumn) {
    LoadTextureFromMenu(Sample("Textures/Marble.png"));  // 128 x 128
    Preview().CropLeftField()->setValue(100);
    Preview().CropRightField()->setValue(100);
    WaitPastTheDelay();
    EXPECT_EQ(MaskSize(), QSize(1, 128));
}

TEST_F(TextureTest, SeamlessChoiceAndTheStretchButtonRebuildAndRender) {
    LoadTextureFromMenu(Sample("Textures/Leaves.png"));
    // The stretched blend works in pattern widths, which the engine knows after a geometry
    // update with stretching on: any settings change makes one.
    Click(Radio("blurGroup", 1));
    ASSERT_GT(Engine().Separation(), 0);
    const PixelBuffer before = Engine().MaskMap().Bitmap();
    Preview().SeamlessBox()->setCurrentIndex(1);
    emit Preview().SeamlessBox()->activated(1);  // what a choice in the list sends
    EXPECT_EQ(renders_, 1);
    ASSERT_EQ(Engine().MaskMap().Bitmap().ByteSize(), before.ByteSize());
    EXPECT_NE(0, std::memcmp(Engine().MaskMap().Bitmap().Data(), before.Data(), before.ByteSize()));

    ClickPreviewButton("stretchButton");
    EXPECT_FALSE(Find<QCheckBox>(Main(), "stretchTextureCheck")->isChecked());
    EXPECT_FALSE(Engine().StretchTexture());
    EXPECT_EQ(renders_, 2);
}

TEST_F(TextureTest, CancellingThePreviewsTextureDialogStillRenders) {
    dialogs_->QueueOpenFile(std::nullopt);
    ClickPreviewButton("chooseTextureButton");
    EXPECT_EQ(renders_, 1);
    EXPECT_EQ(Find<QLabel>(Main(), "textureSizeLabel")->text(), "85 x 118");
}

TEST_F(TextureTest, AFileThatIsNoPictureKeepsTheTextureButResetsThePlacement) {
    const auto text = temp_ / "notes.txt";
    std::ofstream(text) << "no picture";
    Preview().OffsetYField()->setValue(9);
    LoadTextureFromMenu(Q(text));
    EXPECT_EQ(Find<QLabel>(Main(), "textureSizeLabel")->text(), "85 x 118");
    EXPECT_EQ(Preview().OffsetYField()->value(), 0);
    EXPECT_TRUE(dialogs_->Messages().empty());
    EXPECT_TRUE(Main().Textures().Files().empty());  // the temporary folder holds no textures
}

}  // namespace
}  // namespace vistamaze::test
