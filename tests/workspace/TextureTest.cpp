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
        Main().Image2Click();
    }

    [[nodiscard]] PreviewWindow& Preview() const { return windows_->Preview(); }
    void LoadTextureFromMenu(const QString& file) {
        dialogs_->QueueOpenFile(file);
        Find<QAction>(Main(), "LoadTexture1")->trigger();
    }
    void ClickPreviewButton(const char* action) {
        auto* toolbar = Find<QToolBar>(Preview(), "ToolBar1");
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
    Preview().seX()->setValue(5);
    Preview().seTextStopY()->setValue(3);
    Preview().cbSeamless()->setCurrentIndex(2);
    Find<QCheckBox>(Main(), "cbStretchTexture")->setChecked(false);
    Preview().tbStretch()->setChecked(false);
    Preview().Timer1().stop();  // the update those edits scheduled

    LoadTextureFromMenu(Sample("Textures/Leaves.png"));
    const FileDialogRequest& request = dialogs_->OpenRequests().back();
    EXPECT_EQ(request.caption, "Select texture");
    EXPECT_TRUE(request.fileName.endsWith("Textures/TREEPT85.BMP")) << request.fileName.toStdString();
    EXPECT_TRUE(request.filter.startsWith("All ("));
    EXPECT_FALSE(request.initialFolder.isEmpty());

    EXPECT_EQ(Find<QLabel>(Main(), "Label14")->text(), "96 x 160");
    EXPECT_EQ(MaskSize(), QSize(96, 160));
    EXPECT_EQ(Engine().MaskMap().Bitmap().BitsPerPixel(), 24);
    EXPECT_EQ(Preview().seX()->value(), 0);
    EXPECT_EQ(Preview().seTextStopY()->value(), 0);
    EXPECT_EQ(Preview().seX()->maximum(), 95);
    EXPECT_EQ(Preview().seTextStopY()->maximum(), 159);
    EXPECT_EQ(Preview().tbSize()->value(), 100.0);
    EXPECT_EQ(Preview().cbSeamless()->currentText(), "none");
    EXPECT_TRUE(Find<QCheckBox>(Main(), "cbStretchTexture")->isChecked());
    EXPECT_TRUE(Preview().tbStretch()->isChecked());
    EXPECT_TRUE(Engine().StretchTexture());
    // Its writes into the fields started no delayed update.
    EXPECT_FALSE(Preview().Timer1().isActive());

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
        ClickPreviewButton("ToolButton3");
        EXPECT_EQ(Main().Textures().CurrentIndex(), (start + step) % 3);
        EXPECT_EQ(renders_, step);
    }
    ClickPreviewButton("ToolButton2");
    EXPECT_EQ(Main().Textures().CurrentIndex(), (start + 2) % 3);
    EXPECT_EQ(renders_, 4);
    // The texture shown is the list's current file.
    const QString current = CurrentTextureName();
    EXPECT_EQ(Find<QLabel>(Main(), "Label14")->text(), current == "Leaves.png"  ? "96 x 160"
                                                       : current == "Candy.png" ? "120 x 120"
                                                                                : "128 x 128");
    EXPECT_TRUE(dialogs_->Messages().empty());
}

TEST_F(TextureTest, MirrorBoxesAndButtonsTileTheTextureAndStayInStep) {
    LoadTextureFromMenu(Sample("Textures/Leaves.png"));
    Click(Find<QCheckBox>(Main(), "cbMirror"));
    EXPECT_EQ(MaskSize(), QSize(96, 320));
    EXPECT_TRUE(Preview().tbMirror()->isChecked());
    EXPECT_EQ(renders_, 0);  // the boxes rebuild without rendering

    ClickPreviewButton("tbMirror2");  // the preview's button renders
    EXPECT_TRUE(Find<QCheckBox>(Main(), "cbMirror2")->isChecked());
    EXPECT_EQ(MaskSize(), QSize(192, 320));
    EXPECT_EQ(renders_, 1);
    ClickPreviewButton("tbMirror");
    EXPECT_FALSE(Find<QCheckBox>(Main(), "cbMirror")->isChecked());
    EXPECT_EQ(MaskSize(), QSize(192, 160));
}

TEST_F(TextureTest, TypingIntoAPlacementFieldMovesTheTextureAtOnceAndRendersOnceLater) {
    LoadTextureFromMenu(Sample("Textures/Marble.png"));
    QLineEdit* line = Preview().seX()->findChild<QLineEdit*>();
    ASSERT_NE(line, nullptr);
    Preview().show();
    ASSERT_TRUE(Activate(Preview()));
    Preview().seX()->setFocus();
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
    Preview().seY()->setValue(4);
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), QPointF(3, 3), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(Preview().seTextStartX(), &move);
    WaitPastTheDelay();
    EXPECT_EQ(renders_, 1);
    EXPECT_EQ(Engine().PatOfY(), 4);
}

TEST_F(TextureTest, AScaleBelowHundredReleasesStretchingAndShrinksTheTextureNotBelowTheDpi) {
    LoadTextureFromMenu(Sample("Textures/Leaves.png"));
    Preview().tbSize()->setValue(50.0);
    EXPECT_FALSE(Preview().tbStretch()->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(Main(), "cbStretchTexture")->isChecked());
    EXPECT_FALSE(Engine().StretchTexture());
    WaitPastTheDelay();
    EXPECT_DOUBLE_EQ(Main().TextureScale(), 50.0);
    // 96 x 160 at 50 % is 48 x 80; the width is raised to the DPI, 72.
    EXPECT_EQ(MaskSize(), QSize(72, 80));
    EXPECT_EQ(renders_, 1);

    Preview().tbSize()->setValue(100.0);  // stretching stays off
    EXPECT_FALSE(Preview().tbStretch()->isChecked());
    WaitPastTheDelay();
    EXPECT_EQ(MaskSize(), QSize(96, 160));
}

TEST_F(TextureTest, CropMarginsThatLeaveNothingKeepOneColumn) {
    LoadTextureFromMenu(Sample("Textures/Marble.png"));  // 128 x 128
    Preview().seTextStartX()->setValue(100);
    Preview().seTextStopX()->setValue(100);
    WaitPastTheDelay();
    EXPECT_EQ(MaskSize(), QSize(1, 128));
}

TEST_F(TextureTest, SeamlessChoiceAndTheStretchButtonRebuildAndRender) {
    LoadTextureFromMenu(Sample("Textures/Leaves.png"));
    // The stretched blend works in pattern widths, which the engine knows after a geometry
    // update with stretching on: any settings change makes one.
    Click(Radio("RadioGroup2", 1));
    ASSERT_GT(Engine().Separation(), 0);
    const PixelBuffer before = Engine().MaskMap().Bitmap();
    Preview().cbSeamless()->setCurrentIndex(1);
    emit Preview().cbSeamless()->activated(1);  // what a choice in the list sends
    EXPECT_EQ(renders_, 1);
    ASSERT_EQ(Engine().MaskMap().Bitmap().ByteSize(), before.ByteSize());
    EXPECT_NE(0, std::memcmp(Engine().MaskMap().Bitmap().Data(), before.Data(), before.ByteSize()));

    ClickPreviewButton("tbStretch");
    EXPECT_FALSE(Find<QCheckBox>(Main(), "cbStretchTexture")->isChecked());
    EXPECT_FALSE(Engine().StretchTexture());
    EXPECT_EQ(renders_, 2);
}

TEST_F(TextureTest, CancellingThePreviewsTextureDialogStillRenders) {
    dialogs_->QueueOpenFile(std::nullopt);
    ClickPreviewButton("ToolButton5");
    EXPECT_EQ(renders_, 1);
    EXPECT_EQ(Find<QLabel>(Main(), "Label14")->text(), "85 x 118");
}

TEST_F(TextureTest, AFileThatIsNoPictureKeepsTheTextureButResetsThePlacement) {
    const auto text = temp_ / "notes.txt";
    std::ofstream(text) << "no picture";
    Preview().seY()->setValue(9);
    LoadTextureFromMenu(Q(text));
    EXPECT_EQ(Find<QLabel>(Main(), "Label14")->text(), "85 x 118");
    EXPECT_EQ(Preview().seY()->value(), 0);
    EXPECT_TRUE(dialogs_->Messages().empty());
    EXPECT_TRUE(Main().Textures().Files().empty());  // the temporary folder holds no textures
}

}  // namespace
}  // namespace vistamaze::test
