// The windows at the sizes the program gives them: the preview as narrow as a small picture and
// the main window at its minimum size show every control whole and apart; and the preview's zoom.
#include "tests/support/TestSupport.h"
#include "tests/workspace/ProgramFixture.h"
#include "workspace/PreviewWindow.h"
#include "workspace/PreviewZoom.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <vector>

namespace vistamaze::test {
namespace {

// The controls a user reads or operates, visible in `window`: each must show its whole text and
// none may lie on another. The line edit inside a spin box is part of it, not a control of its own.
std::vector<QWidget*> VisibleControls(QWidget& window) {
    std::vector<QWidget*> controls;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        const bool control =
            qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
            qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QComboBox*>(w) ||
            (qobject_cast<QLineEdit*>(w) && !qobject_cast<QAbstractSpinBox*>(w->parentWidget()) &&
             !qobject_cast<QComboBox*>(w->parentWidget()));
        // Tab bar scroll buttons and the like are Qt's own and hidden unless needed.
        if (control && w->isVisible() && !w->objectName().startsWith(QStringLiteral("qt_")) &&
            w->objectName() != QStringLiteral("pictureLabel")) {
            controls.push_back(w);
        }
    }
    return controls;
}

void ExpectEveryControlWholeAndApart(QWidget& window) {
    const std::vector<QWidget*> controls = VisibleControls(window);
    ASSERT_FALSE(controls.empty());
    for (QWidget* w : controls) {
        const QString name = w->objectName();
        // Text that needs more room than it got is cut; a field narrower than its minimum hides
        // its digits behind the arrows.
        const QSize wanted = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w)
                                 ? w->sizeHint()
                                 : w->minimumSizeHint();
        EXPECT_GE(w->width(), wanted.width()) << name.toStdString();
        EXPECT_GE(w->height(), std::min(wanted.height(), w->maximumHeight())) << name.toStdString();
        const QRect rect(w->mapTo(&window, QPoint(0, 0)), w->size());
        EXPECT_TRUE(window.rect().contains(rect)) << name.toStdString() << " lies outside the window";
        for (QWidget* other : controls) {
            if (other == w || w->isAncestorOf(other) || other->isAncestorOf(w)) {
                continue;
            }
            const QRect otherRect(other->mapTo(&window, QPoint(0, 0)), other->size());
            EXPECT_FALSE(rect.intersects(otherRect))
                << name.toStdString() << " overlaps " << other->objectName().toStdString();
        }
    }
    // No tool bar hides a button in its overflow menu.
    for (QToolBar* bar : window.findChildren<QToolBar*>()) {
        if (!bar->isVisible()) {
            continue;
        }
        for (QAction* action : bar->actions()) {
            if (!action->isSeparator()) {
                QWidget* button = bar->widgetForAction(action);
                ASSERT_NE(button, nullptr);
                EXPECT_TRUE(button->isVisible()) << action->text().toStdString() << " is folded away";
            }
        }
    }
}

class PreviewLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        VM_REQUIRE_DISPLAY();
        dialogs_ = &InstallScriptedDialogs();
        form_ = std::make_unique<PreviewWindow>(QString::fromStdString(temp_.Path().string()),
                                                [] { return QString(); });
    }
    // A picture of `picture` size shown as the render job shows it; the window then has the
    // width the placement rule gives it.
    void Show(QSize picture) {
        form_->SetStereogram(MakeBuffer24(picture.width(), picture.height(), [](int y, int x) {
            return Bgr{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 0};
        }));
        form_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        const int width = std::max(400, picture.width() + 15);
        ASSERT_TRUE(QTest::qWaitFor([&] { return form_->width() == width; }, 2000)) << form_->width();
        QCoreApplication::processEvents();
    }
    [[nodiscard]] QScrollArea* PictureArea() const {
        return form_->findChild<QScrollArea*>(QStringLiteral("scrollArea"));
    }
    void CtrlWheel(int notches) {
        QWidget* viewport = PictureArea()->viewport();
        const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
        QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, notches * 120), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
    }

    TempDir temp_;
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<PreviewWindow> form_;
};

// 800 x 600 is the "Default" preset; 385 gives the minimum width.
TEST_F(PreviewLayoutTest, EveryControlShowsWholeFromTheMinimumWidthUp) {
    int previousPanel = 0;
    for (const int pictureWidth : {1009, 800, 685, 385}) {
        SCOPED_TRACE(pictureWidth);
        form_->hide();
        Show(QSize(pictureWidth, 200));
        ExpectEveryControlWholeAndApart(*form_);
        // Narrower windows take more rows, and the window is sized for them.
        const int panel = form_->ToolbarPanelHeight();
        EXPECT_GE(panel, previousPanel);
        EXPECT_EQ(form_->findChild<QWidget*>(QStringLiteral("toolPanel"))->height(), panel);
        previousPanel = panel;
    }
    EXPECT_EQ(form_->PanelHeightFor(1400), PreviewWindow::kToolbarPanelHeight);
    EXPECT_GT(previousPanel, PreviewWindow::kToolbarPanelHeight);
}

TEST(PreviewZoomTest, StepsFitAndText) {
    EXPECT_DOUBLE_EQ(StepZoom(1.0, 1), 1.25);
    EXPECT_DOUBLE_EQ(StepZoom(1.0, -2), 0.64);
    EXPECT_EQ(StepZoom(StepZoom(StepZoom(1.0, 3), -5), 2), 1.0);
    EXPECT_EQ(StepZoom(15.0, 4), kMaxZoom);
    EXPECT_EQ(StepZoom(0.07, -4), kMinZoom);
    EXPECT_DOUBLE_EQ(FitZoom({1920, 1080}, {960, 1000}), 0.5);
    EXPECT_DOUBLE_EQ(FitZoom({100, 50}, {400, 100}), 2.0);
    EXPECT_EQ(FitZoom({0, 50}, {400, 100}), 1.0);
    EXPECT_EQ(ZoomedSize({1920, 1080}, 0.5), QSize(960, 540));
    EXPECT_EQ(ZoomedSize({3, 3}, 0.1), QSize(1, 1));
    EXPECT_EQ(ZoomText(1.0), QStringLiteral("100 %"));
    EXPECT_EQ(ZoomText(0.125), QStringLiteral("12.5 %"));
    EXPECT_EQ(ZoomText(16.0), QStringLiteral("1600 %"));
}

TEST_F(PreviewLayoutTest, CtrlWheelZoomsTheViewCtrl0AndFitAndTheSaveStaysFullSize) {
    Show(QSize(600, 400));
    auto* zoomLabel = form_->findChild<QLabel*>(QStringLiteral("zoomLabel"));
    ASSERT_NE(zoomLabel, nullptr);
    EXPECT_EQ(zoomLabel->text(), QStringLiteral("100 %"));

    CtrlWheel(-3);  // 100 % / 1.25^3
    EXPECT_DOUBLE_EQ(form_->Zoom(), 0.512);
    EXPECT_EQ(form_->PictureLabel()->size(), QSize(307, 204));
    EXPECT_EQ(form_->PictureLabel()->pixmap().size(), QSize(307, 204));
    EXPECT_EQ(zoomLabel->text(), QStringLiteral("51.2 %"));
    CtrlWheel(1);
    EXPECT_DOUBLE_EQ(form_->Zoom(), 0.64);

    // Enlarging keeps every picture pixel a sharp square: screen pixels 20..21 x 8..9 are
    // picture pixel 10 of the fifth row from the top (buffer row 395, blue = x, green = row).
    form_->SetZoom(2.0);
    const QImage shown = form_->PictureLabel()->pixmap().toImage();
    EXPECT_EQ(shown.size(), QSize(1200, 800));
    const QColor pixel(0, 395 % 256, 10);
    EXPECT_EQ(shown.pixelColor(21, 9), pixel);
    EXPECT_EQ(shown.pixelColor(20, 8), pixel);
    EXPECT_NE(shown.pixelColor(22, 8), pixel);

    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    QTest::keyClick(form_.get(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(form_->Zoom(), 1.0);
    EXPECT_EQ(form_->PictureLabel()->size(), QSize(600, 400));

    // Fit: the whole picture inside the picture area, without scroll bars.
    QTest::mouseClick(form_->findChild<QToolButton*>(QStringLiteral("zoomFitButton")), Qt::LeftButton);
    const QSize area = PictureArea()->maximumViewportSize();
    EXPECT_LE(form_->PictureLabel()->width(), area.width());
    EXPECT_LE(form_->PictureLabel()->height(), area.height());
    EXPECT_TRUE(form_->PictureLabel()->width() == area.width() ||
                form_->PictureLabel()->height() == area.height() ||
                std::abs(form_->PictureLabel()->width() - area.width()) <= 1 ||
                std::abs(form_->PictureLabel()->height() - area.height()) <= 1);

    // The zoom stays for the next picture; the save writes the picture at its own size.
    form_->SetZoom(0.5);
    form_->SetStereogram(MakeBuffer24(100, 80, [](int, int) { return Bgr{1, 2, 3}; }));
    EXPECT_EQ(form_->PictureLabel()->size(), QSize(50, 40));
    EXPECT_EQ(form_->Stereogram().Width(), 100);
    const auto target = temp_ / "zoomed.bmp";
    dialogs_->QueueSaveFile(QString::fromStdString(target.string()));
    form_->SaveStereogram();
    if (ToolAvailable("identify")) {
        std::string out;
        ASSERT_EQ(RunCommand("identify -format '%w %h' '" + target.string() + "'", &out), 0);
        EXPECT_EQ(out, "100 80");
    }
}

class MainWindowLayoutTest : public ProgramFixture {};

TEST_F(MainWindowLayoutTest, AtTheMinimumSizeEveryControlOfTheStereogramTabShowsWhole) {
    Main().setWindowState(Qt::WindowNoState);
    Main().resize(Main().minimumSize());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Main().size() == QSize(700, 550); }, 2000)) << Main().width();
    QCoreApplication::processEvents();
    ExpectEveryControlWholeAndApart(Main());
    // The texture thumbnail keeps clear of the texture's check boxes and is big enough to show.
    const auto* thumbnail = Find<QWidget>(Main(), "texturePicture");
    const QRect thumbnailRect(thumbnail->mapTo(&Main(), QPoint()), thumbnail->size());
    for (const char* box : {"stretchTextureCheck", "horizontalMirrorCheck", "verticalMirrorCheck"}) {
        const auto* check = Find<QWidget>(Main(), box);
        EXPECT_FALSE(thumbnailRect.intersects(QRect(check->mapTo(&Main(), QPoint()), check->size()))) << box;
    }
    EXPECT_GE(thumbnail->width(), 64);
    EXPECT_GE(thumbnail->height(), 64);
}

// At the minimum size the "3D model" tab's captions show whole: every label, button and group
// title gets the width its text needs and lies within the panel that holds it, which would clip it.
TEST_F(MainWindowLayoutTest, AtTheMinimumSizeEveryCaptionOfThe3DTabIsReadable) {
    Main().setWindowState(Qt::WindowNoState);
    Main().resize(Main().minimumSize());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Main().size() == QSize(700, 550); }, 2000)) << Main().width();
    Find<QTabWidget>(Main(), "tabs")->setCurrentIndex(0);
    Find<QAbstractButton>(Main(), "resetViewButton")->click();  // the focus label shows " 500 mm"
    QCoreApplication::processEvents();
    auto* tab = Find<QWidget>(Main(), "ModelTab");
    int captions = 0;
    for (QWidget* w : tab->findChildren<QWidget*>()) {
        QString text;
        int needed = 0;
        const QFontMetrics metrics(w->font());
        if (auto* label = qobject_cast<QLabel*>(w)) {
            text = label->text();
            needed = metrics.horizontalAdvance(text) + label->width() - label->contentsRect().width();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            text = button->text();
            needed = metrics.horizontalAdvance(text) +
                     2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            text = group->title();
            needed = metrics.horizontalAdvance(text);
        }
        if (text.trimmed().isEmpty() || !w->isVisible()) {
            continue;
        }
        ++captions;
        SCOPED_TRACE(text.toStdString());
        EXPECT_GE(w->width(), needed);
        QWidget* panel = w->parentWidget();
        while (panel != nullptr && panel->objectName() != QStringLiteral("leftHeader") &&
               panel->objectName() != QStringLiteral("rightHeader")) {
            panel = panel->parentWidget();
        }
        ASSERT_NE(panel, nullptr);
        EXPECT_TRUE(panel->rect().contains(QRect(w->mapTo(panel, QPoint()), w->size())));
    }
    EXPECT_EQ(Find<QLabel>(Main(), "focalLengthLabel")->text(), QStringLiteral(" 500 mm"));
    EXPECT_GE(captions, 20);
    // The views keep room to show the scene.
    EXPECT_GE(Find<QWidget>(Main(), "sceneView")->height(), 100);
}

}  // namespace
}  // namespace vistamaze::test
