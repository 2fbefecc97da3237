// The preview window as a user meets it: its controls and start values, where it places itself,
// hiding, the popup menu and saving the stereogram; and the animation options shell.
#include "engine/Errors.h"
#include "tests/support/TestSupport.h"
#include "tests/workspace/WorkspaceTestSupport.h"
#include "workspace/AnimationOptionsDialog.h"
#include "workspace/HelpContext.h"
#include "workspace/PreviewWindow.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <cmath>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

QString Q(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// Pixels that differ in every channel, so that a flipped, mirrored or swapped copy shows.
PixelBuffer Pattern(int width, int height) {
    return MakeBuffer24(width, height, [](int y, int x) {
        return Bgr{static_cast<std::uint8_t>(x * 7 + y), static_cast<std::uint8_t>(y * 13),
                   static_cast<std::uint8_t>(255 - x * 3)};
    });
}

// Compares the pixels ImageMagick decodes from a file with the picture, top row first there
// (ImageMagick keeps a Targa file's bottom-up order unless told to orient it).
void ExpectSamePixels(const std::filesystem::path& file, const PixelBuffer& picture) {
    std::string rgb;
    ASSERT_EQ(RunCommand("convert '" + file.string() + "' -auto-orient -depth 8 rgb:-", &rgb), 0) << file;
    ASSERT_EQ(rgb.size(), static_cast<std::size_t>(picture.Width()) * picture.Height() * 3) << file;
    std::size_t at = 0;
    for (int y = picture.Height() - 1; y >= 0; --y) {
        for (int x = 0; x < picture.Width(); ++x, at += 3) {
            const Bgr want = picture.Pixel(y, x);
            ASSERT_EQ(static_cast<std::uint8_t>(rgb[at]), want.r) << file << " " << x << "," << y;
            ASSERT_EQ(static_cast<std::uint8_t>(rgb[at + 1]), want.g) << file << " " << x << "," << y;
            ASSERT_EQ(static_cast<std::uint8_t>(rgb[at + 2]), want.b) << file << " " << x << "," << y;
        }
    }
}

class PreviewWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        VM_REQUIRE_DISPLAY();
        dialogs_ = &InstallScriptedDialogs();
        form_ = std::make_unique<PreviewWindow>(Q(temp_.Path()), [this] {
            const QCursor* cursor = QGuiApplication::overrideCursor();
            cursorWhileSaving_ = cursor != nullptr ? cursor->shape() : Qt::ArrowCursor;
            return dpi_;
        });
    }
    template <typename T>
    T* Child(const char* name) {
        auto* child = form_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    // What the render job does: picture, control size, show.
    void ShowPicture(const PixelBuffer& picture, QSize control) {
        form_->SetStereogram(picture);
        form_->PictureLabel()->setFixedSize(control);
        form_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    }
    QRect Screen() const { return form_->screen()->availableGeometry(); }

    TempDir temp_;
    QString dpi_ = QStringLiteral("72");
    Qt::CursorShape cursorWhileSaving_ = Qt::ArrowCursor;  // when the DPI text was read
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<PreviewWindow> form_;
};

TEST_F(PreviewWindowTest, WindowToolbarAndTimerStartAsStored) {
    EXPECT_EQ(form_->windowTitle(), QStringLiteral("Stereogram - use rigth mouse click to save Image"));
    EXPECT_EQ(form_->size(), QSize(1024, 548));
    EXPECT_EQ(form_->minimumSize(), QSize(400, 300));
    EXPECT_TRUE(form_->isWindow());
    EXPECT_EQ(HelpContextOf(form_->PictureLabel()), 115);
    EXPECT_EQ(form_->PictureLabel()->objectName(), QStringLiteral("pictureLabel"));
    EXPECT_EQ(Child<QScrollArea>("scrollArea")->widget(), form_->PictureLabel());
    EXPECT_EQ(Child<QScrollArea>("scrollArea")->backgroundRole(), QPalette::Dark);
    EXPECT_TRUE(form_->UpdateTimer().isSingleShot());
    EXPECT_EQ(form_->UpdateTimer().interval(), 800);
    EXPECT_FALSE(form_->UpdateTimer().isActive());

    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    // One row of tool bar and fields is 54 pixels high; at the stored width the zoom group
    // starts a second row.
    EXPECT_EQ(Child<QWidget>("toolPanel")->height(), form_->ToolbarPanelHeight());
    EXPECT_EQ(form_->PanelHeightFor(1400), 54);
    struct Button {
        const char* name;
        const char* hint;
        bool checkable;
        bool down;
    };
    const std::vector<Button> expected{{"saveStereogramButton", "Save stereogram", false, false},
                                       {"", "", false, false},
                                       {"previousTextureButton", "Previous texture", false, false},
                                       {"chooseTextureButton", "Load texture", false, false},
                                       {"nextTextureButton", "Next texture", false, false},
                                       {"", "", false, false},
                                       {"stretchButton", "Stretch texture", true, true},
                                       {"horizontalMirrorButton", "Horizontal mirror", true, false},
                                       {"verticalMirrorButton", "Vertical mirror", true, false}};
    auto* toolBar = Child<QToolBar>("toolBar");
    const QList<QAction*> actions = toolBar->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].hint);
        QAction* action = actions[static_cast<qsizetype>(i)];
        EXPECT_EQ(action->isSeparator(), std::string(expected[i].name).empty());
        if (action->isSeparator()) {
            continue;
        }
        EXPECT_EQ(action->objectName(), QString::fromLatin1(expected[i].name));
        EXPECT_EQ(action->toolTip(), QString::fromLatin1(expected[i].hint));
        EXPECT_EQ(action->isCheckable(), expected[i].checkable);
        EXPECT_EQ(action->isChecked(), expected[i].down);
        EXPECT_FALSE(action->icon().pixmap(30, 30).isNull());
        EXPECT_EQ(toolBar->widgetForAction(action)->size(), QSize(41, 36));
    }
}

TEST_F(PreviewWindowTest, TextureFieldsStartWithTheirRangesAndValues) {
    struct Field {
        const char* name;
        double minimum, maximum, step, value;
        int decimals;
    };
    for (const Field& f :
         {Field{"offsetXField", 0, 20000, 1, 0, 0}, Field{"offsetYField", 0, 20000, 1, 0, 0},
          Field{"cropLeftField", 0, 2000, 1, 0, 0}, Field{"cropTopField", 0, 2000, 1, 0, 0},
          Field{"cropRightField", 0, 2000, 1, 0, 0}, Field{"cropBottomField", 0, 2000, 1, 0, 0},
          Field{"textureScaleField", 1, 100, 0.1, 100, 2}}) {
        SCOPED_TRACE(f.name);
        auto* spin = Child<QAbstractSpinBox>(f.name);
        ASSERT_NE(spin, nullptr);
        EXPECT_EQ(spin->property("minimum").toDouble(), f.minimum);
        EXPECT_EQ(spin->property("maximum").toDouble(), f.maximum);
        EXPECT_DOUBLE_EQ(spin->property("singleStep").toDouble(), f.step);
        EXPECT_EQ(spin->property("value").toDouble(), f.value);
        EXPECT_EQ(spin->property("decimals").toInt(), f.decimals);  // none on whole-number fields
    }
    auto* seamless = Child<QComboBox>("seamlessBox");
    ASSERT_EQ(seamless->count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(seamless->itemText(i), (QStringList{"none", "smooth", "smooth minimal", "smooth more"}[i]));
    }
    EXPECT_EQ(seamless->currentText(), QStringLiteral("none"));
    QStringList labels;
    for (const QLabel* label : Child<QWidget>("toolPanel")->findChildren<QLabel*>()) {
        labels << label->text();
    }
    for (const char* group :
         {"Texture position", "Texture Crop", "Right", "Bottom", "Texture scale", "Seamless texture"}) {
        EXPECT_TRUE(labels.contains(QString::fromLatin1(group))) << group;
    }
}

TEST_F(PreviewWindowTest, AnEmptiedSpinEditReadsAsItsMinimumAndShowsIt) {
    ShowPicture(Pattern(8, 8), QSize(8, 8));
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    for (const char* name : {"offsetXField", "cropBottomField", "textureScaleField"}) {
        SCOPED_TRACE(name);
        auto* spin = Child<QAbstractSpinBox>(name);
        spin->setFocus();
        QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(spin, "7");
        QTest::keyClick(spin, Qt::Key_Return);
        EXPECT_EQ(spin->property("value").toDouble(), 7.0);
        // Emptied, then letters that the field does not take, then Enter.
        QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(spin, Qt::Key_Backspace);
        QTest::keyClicks(spin, "ab");
        QTest::keyClick(spin, Qt::Key_Return);
        const double minimum = spin->property("minimum").toDouble();
        EXPECT_EQ(spin->property("value").toDouble(), minimum);
        auto* asDouble = qobject_cast<QDoubleSpinBox*>(spin);
        EXPECT_EQ(spin->text(), asDouble != nullptr ? asDouble->textFromValue(minimum)
                                                    : QString::number(static_cast<int>(minimum)));
    }
}

TEST_F(PreviewWindowTest, PlacementRuleOnAScreenArea) {
    const QRect area(100, 20, 1920, 1040);
    struct Case {
        QSize image;
        bool maximised;
        QRect geometry;
    };
    // Centre = area start + (area size - picture size) / 2; size = picture + (15, 54 + 38).
    for (const Case& c : {Case{{600, 400}, false, {100 + 660, 20 + 320, 615, 492}},
                          Case{{2500, 900}, false, {100, 20 + 70, 2515, 992}},
                          Case{{1000, 1500}, false, {100 + 460, 20, 1015, 1592}},
                          Case{{1921, 1041}, true, {}}, Case{{1920, 1040}, false, {100, 20, 1935, 1132}},
                          Case{{601, 401}, false, {100 + 659, 20 + 319, 616, 493}}}) {
        SCOPED_TRACE(c.image.width());
        const PreviewPlacement placement = PlacePreview(area, c.image, 54);
        EXPECT_EQ(placement.maximised, c.maximised);
        if (!c.maximised) {
            EXPECT_EQ(placement.geometry, c.geometry);
        }
    }
}

TEST_F(PreviewWindowTest, ShowingPlacesTheWindowForThePicture) {
    // The X server applies a placement asynchronously: each check waits for it to arrive.
    const auto settles = [](const std::function<bool()>& placed) { return QTest::qWaitFor(placed, 2000); };
    const QRect screen = Screen();
    ShowPicture(Pattern(16, 16), QSize(500, 300));
    // The toolbar panel takes more rows at this width than the 54 pixels of one.
    const QSize size(515, 300 + form_->PanelHeightFor(515) + 38);
    const QPoint pos = screen.topLeft() + QPoint((screen.width() - 500) / 2, (screen.height() - 300) / 2);
    settles([&] { return form_->size() == size && form_->pos() == pos; });
    EXPECT_EQ(form_->size(), size);
    EXPECT_EQ(form_->pos(), pos);
    form_->hide();

    ShowPicture(Pattern(16, 16), QSize(screen.width() + 40, screen.height() / 2));
    settles([&] { return form_->width() == screen.width() + 40 + 15 && form_->x() == screen.x(); });
    EXPECT_FALSE(form_->isMaximized());
    EXPECT_EQ(form_->width(), screen.width() + 40 + 15);
    EXPECT_EQ(form_->x(), screen.x());
    form_->hide();

    ShowPicture(Pattern(16, 16), screen.size() + QSize(10, 10));
    settles([&] { return form_->windowState().testFlag(Qt::WindowMaximized); });
    EXPECT_TRUE(form_->windowState().testFlag(Qt::WindowMaximized));
    form_->hide();

    // Shown again from hidden: back to a normal window for a small picture.
    ShowPicture(Pattern(16, 16), QSize(100, 100));
    const QSize smallest(400, std::max(300, 100 + form_->PanelHeightFor(400) + 38));
    settles([&] { return form_->size() == smallest; });
    EXPECT_FALSE(form_->windowState().testFlag(Qt::WindowMaximized));
    EXPECT_EQ(form_->size(), smallest);
}

TEST_F(PreviewWindowTest, EscWithFocusInASpinEditHidesAndShowingAgainKeepsEverything) {
    const PixelBuffer picture = Pattern(40, 30);
    ShowPicture(picture, QSize(40, 30));
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    auto* offsetYField = Child<QSpinBox>("offsetYField");
    offsetYField->setValue(25);
    offsetYField->setFocus();
    QTest::keyClick(offsetYField, Qt::Key_Escape);
    EXPECT_FALSE(form_->isVisible());

    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    EXPECT_EQ(offsetYField->value(), 25);
    EXPECT_EQ(form_->PictureLabel()->pixmap().size(), QSize(40, 30));
    EXPECT_EQ(form_->PictureLabel()->pixmap().toImage().pixelColor(3, 0),
              QColor(picture.Pixel(29, 3).r, picture.Pixel(29, 3).g, picture.Pixel(29, 3).b));
    ASSERT_EQ(form_->Stereogram().Width(), 40);
    EXPECT_EQ(form_->Stereogram().Bitmap().Pixel(0, 0).r, picture.Pixel(0, 0).r);
}

TEST_F(PreviewWindowTest, RightClickOpensThePopupAndCloseHides) {
    ShowPicture(Pattern(64, 48), QSize(64, 48));
    QLabel* image = form_->PictureLabel();
    // Unstretched and centred in the picture area.
    EXPECT_EQ(image->size(), QSize(64, 48));
    EXPECT_LE((image->geometry().center() - image->parentWidget()->rect().center()).manhattanLength(), 1);
    // Through the window system, so that the press becomes a context menu request.
    QTest::mouseClick(form_->windowHandle(), Qt::RightButton, {}, image->mapTo(form_.get(), QPoint(10, 10)));
    auto* menu = Child<QMenu>("contextMenu");
    ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }));
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), QStringLiteral("Close"));
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->text(), QStringLiteral("Save Stereogram Image"));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(items[0]).center());
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(form_->Stereogram().Width(), 64);
}

TEST_F(PreviewWindowTest, SavesInTheFormatOfTheTypedExtension) {
    ASSERT_TRUE(ToolAvailable("identify")) << "ImageMagick is needed";
    const PixelBuffer picture = Pattern(61, 37);
    ShowPicture(picture, QSize(61, 37));
    struct Case {
        const char* name;
        int dpi;
        const char* format;  // as ImageMagick names it
        const char* unit;    // empty: no resolution checked
        bool lossless;
    };
    for (const Case& c :
         {Case{"stereo.PNG", 72, "PNG", "PixelsPerCentimeter", true},
          Case{"s300.png", 300, "PNG", "PixelsPerCentimeter", true},
          Case{"stereo.Jpeg", 72, "JPEG", "PixelsPerInch", false},
          Case{"stereo.jpg", 300, "JPEG", "PixelsPerInch", false}, Case{"stereo.BMP", 300, "BMP3", "", true},
          Case{"stereo.tga", 72, "TGA", "", true}}) {
        SCOPED_TRACE(c.name);
        dpi_ = QString::number(c.dpi);
        dialogs_->QueueSaveFile(Q(temp_ / c.name));
        form_->SaveStereogram();
        std::string out;
        ASSERT_EQ(
            RunCommand("identify -format '%m %w %h %U %x %y' '" + (temp_ / c.name).string() + "'", &out), 0);
        std::istringstream fields(out);
        std::string format, unit;
        int width = 0, height = 0;
        double x = 0, y = 0;
        fields >> format >> width >> height >> unit >> x >> y;
        EXPECT_EQ(format, c.format) << out;
        EXPECT_EQ(QSize(width, height), QSize(61, 37)) << out;
        if (*c.unit != '\0') {
            // PNG keeps whole pixels per metre (DPI / 0.0254, rounded), shown per centimetre.
            const double want =
                std::string(c.unit) == "PixelsPerInch" ? c.dpi : std::round(c.dpi / 0.0254) / 100;
            EXPECT_EQ(unit, c.unit) << out;
            EXPECT_NEAR(x, want, 1e-6) << out;
            EXPECT_NEAR(y, want, 1e-6) << out;
        }
        if (c.lossless) {
            ExpectSamePixels(temp_ / c.name, picture);
        }
    }
    EXPECT_TRUE(dialogs_->Messages().empty());
    EXPECT_EQ(cursorWhileSaving_, Qt::WaitCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(PreviewWindowTest, SaveDialogRequestAndWhatIsNotWritten) {
    ShowPicture(Pattern(1000, 600), QSize(200, 100));
    dialogs_->QueueSaveFile(Q(temp_ / "big.TGA"));
    QTest::mouseClick(Child<QToolBar>("toolBar")->widgetForAction(Child<QAction>("saveStereogramButton")),
                      Qt::LeftButton);
    const std::vector<std::uint8_t> tga = ReadBytes(temp_ / "big.TGA");
    ASSERT_EQ(tga.size(), 1800018u);
    EXPECT_EQ(tga[2], 2);
    EXPECT_EQ(tga[16], 24);

    dpi_ = QStringLiteral("abc");
    for (const char* name : {"stereo.gif", "stereo", "dpi.png"}) {
        dialogs_->QueueSaveFile(Q(temp_ / name));
        Child<QAction>("saveImageAction")->trigger();
    }
    dialogs_->QueueSaveFile(std::nullopt);
    form_->SaveStereogram();
    EXPECT_FALSE(std::filesystem::exists(temp_ / "stereo.gif"));
    EXPECT_FALSE(std::filesystem::exists(temp_ / "stereo"));
    EXPECT_TRUE(std::filesystem::is_regular_file(temp_ / "dpi.png"));
    EXPECT_TRUE(dialogs_->Messages().empty());

    const std::vector<FileDialogRequest>& requests = dialogs_->SaveRequests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].filter, QStringLiteral("BMP files (*.BMP)|*.BMP|JPG files (*.JPG)|*.JPG|"
                                                 "PNG files (*.PNG)|*.PNG|TGA files (*.TGA)|*.TGA"));
    EXPECT_EQ(requests[0].defaultSuffix, QStringLiteral("JPG"));
    EXPECT_EQ(requests[0].initialFolder, Q(temp_.Path()));
    EXPECT_TRUE(requests[0].caption.isEmpty());
    EXPECT_TRUE(requests[0].fileName.isEmpty());
    // Each dialog offers the name chosen the time before; a cancel changes nothing.
    EXPECT_EQ(requests[1].fileName, Q(temp_ / "big.TGA"));
    EXPECT_EQ(requests[4].fileName, Q(temp_ / "dpi.png"));
}

TEST_F(PreviewWindowTest, AFailedSaveIsReportedAndTheCursorRestored) {
    ShowPicture(Pattern(20, 10), QSize(20, 10));
    dialogs_->QueueSaveFile(Q(temp_ / "missing" / "stereo.png"));
    EXPECT_THROW(form_->SaveStereogram(), Error);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // From the tool button the application's error report shows it.
    dialogs_->QueueSaveFile(Q(temp_ / "missing" / "stereo.bmp"));
    QTest::mouseClick(Child<QToolBar>("toolBar")->widgetForAction(Child<QAction>("saveStereogramButton")),
                      Qt::LeftButton);
    ASSERT_EQ(dialogs_->Messages().size(), 1u);
    EXPECT_EQ(dialogs_->Messages()[0].kind, MessageKind::Error);
    EXPECT_FALSE(dialogs_->Messages()[0].text.isEmpty());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(AnimationOptionsTest, EmptyShellIsCentredOnTheScreen) {
    VM_REQUIRE_DISPLAY();
    AnimationOptionsDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Animation options"));
    EXPECT_EQ(HelpContextOf(&dialog), 40);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QPoint centre = dialog.screen()->availableGeometry().center();
    EXPECT_LE((dialog.frameGeometry().center() - centre).manhattanLength(), 2);
    dialog.reject();
    EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
}  // namespace vistamaze::test
