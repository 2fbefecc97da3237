// The "3D model" tab as a user drives it: the view is captured after every redraw, models load
// through the dialog, the mouse and wheel frame the object, the depth sliders shape the grey
// scale, and the exports write what they show.
#include "scene3d/SceneActions.h"
#include "scene3d/SceneView.h"
#include "tests/workspace/DialogDriver.h"
#include "tests/workspace/ModelTabFixture.h"
#include "workspace/DepthView.h"
#include "workspace/ModelTab.h"
#include "workspace/PictureConversion.h"
#include "workspace/PreviewWindow.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <cmath>
#include <fstream>
#include <functional>

#include <sys/stat.h>

namespace vistamaze::test {
namespace {

struct DepthStats {
    int nearest = -1;    // largest grey
    int farthest = 256;  // smallest grey above 0
    long drawn = 0;      // pixels above 0
    long drawnTop = 0;   // of them in the top half
};

DepthStats Stats(const PixelBuffer& image) {
    DepthStats s;
    for (int r = 0; r < image.Height(); ++r) {
        for (int c = 0; c < image.Width(); ++c) {
            const int g = image.Pixel(r, c).g;
            if (g > 0) {
                s.nearest = std::max(s.nearest, g);
                s.farthest = std::min(s.farthest, g);
                ++s.drawn;
                s.drawnTop += r >= image.Height() / 2 ? 1 : 0;
            }
        }
    }
    return s;
}

// Columns between the leftmost and the rightmost drawn pixel of a depth map.
int FramedWidth(const PixelBuffer& image) {
    int left = image.Width();
    int right = -1;
    for (int r = 0; r < image.Height(); ++r) {
        for (int c = 0; c < image.Width(); ++c) {
            if (image.Pixel(r, c).g > 0) {
                left = std::min(left, c);
                right = std::max(right, c);
            }
        }
    }
    return right >= left ? right - left + 1 : 0;
}

// "WxH" and the colour of the top-left pixel of a picture file, as ImageMagick reads it.
std::string Identify(const std::filesystem::path& file) {
    std::string out;
    EXPECT_EQ(RunCommand("convert '" + file.string() + "' -format '%wx%h %[pixel:p{0,0}]' info:", &out), 0);
    return out;
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file) << text;
}

// Runs `onEvent` whenever `watched` receives an event of `type`, before the widget handles it.
class EventRecorder : public QObject {
public:
    EventRecorder(QObject& watched, QEvent::Type type, std::function<void()> onEvent)
        : type_(type), onEvent_(std::move(onEvent)) {
        watched.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == type_) {
            onEvent_();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QEvent::Type type_;
    std::function<void()> onEvent_;
};

class ModelTabTest : public ModelTabFixture {
protected:
    void SetUp() override {
        ProgramFixture::SetUp();
        if (HasFatalFailure() || IsSkipped()) {
            return;
        }
        // An octahedron with a tip towards the camera, and a square facing it.
        WriteText(temp_ / "octahedron.obj",
                  "v 1 0 0\nv -1 0 0\nv 0 1 0\nv 0 -1 0\nv 0 0 1\nv 0 0 -1\n"
                  "f 1 3 5\nf 3 2 5\nf 2 4 5\nf 4 1 5\nf 3 1 6\nf 2 3 6\nf 4 2 6\nf 1 4 6\n");
        WriteText(temp_ / "square.obj", "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nf 1 2 3 4\n");
    }
};

TEST_F(ModelTabTest, OpeningTheTabCapturesTheTextAndF12RendersIt) {
    for (const char* name : {"renderButton", "renderAction", "renderAnimationAction"}) {
        EXPECT_FALSE(Command(name)->isEnabled()) << name;
    }
    OpenTab();
    const PixelBuffer& depth = Tab().DepthImage();
    EXPECT_EQ(depth.Width(), View().DepthWidth());
    EXPECT_EQ(depth.Height(), View().DepthHeight());
    const DepthStats s = Stats(depth);
    EXPECT_EQ(s.nearest, 255);
    EXPECT_EQ(s.farthest, 3);
    EXPECT_EQ(depth.Pixel(0, 0).g, 0);
    EXPECT_EQ(Find<QLabel>(Main(), "depthSizeLabel")->text(),
              QStringLiteral("%1 x %2").arg(depth.Width()).arg(depth.Height()));
    for (const char* name : {"renderButton", "renderAction", "renderAnimationAction"}) {
        EXPECT_TRUE(Command(name)->isEnabled()) << name;
    }
    EXPECT_TRUE(Button("renderAnimationButton")->isEnabled());
    EXPECT_EQ(Engine().DepthMap().Bitmap(), depth);
    EXPECT_EQ(Find<QSplitter>(Tab(), "splitter")->sizes().value(0), (Tab().width() - 30) / 2);
    // The first show put the focal length on the scale slider; the focus label is untouched.
    EXPECT_EQ(Slider("scaleSlider")->value(), 397);
    EXPECT_EQ(Find<QLabel>(Tab(), "focalLengthLabel")->text(), QStringLiteral("500"));

    QTest::keyClick(&Main(), Qt::Key_F12);
    EXPECT_EQ(windows_->Preview().Stereogram().Width(), 1000);
    EXPECT_TRUE(dialogs_->Messages().empty());
}

TEST_F(ModelTabTest, ModelDialogLoadsFramesAndResets) {
    OpenTab();
    Slider("depthSpaceSlider")->setValue(100);
    LoadModel(Q(temp_ / "octahedron.obj"));
    ASSERT_EQ(dialogs_->OpenRequests().size(), 1U);
    const FileDialogRequest& request = dialogs_->OpenRequests().front();
    EXPECT_EQ(request.caption, QStringLiteral("Choose a file to load"));
    EXPECT_TRUE(request.filter.startsWith(QStringLiteral("Supported files|*.3ds; *.prj; *.mli;*.3ds;")));
    EXPECT_TRUE(
        request.filter.endsWith(QStringLiteral("|Triangular Irregular Network|*.tin|VRML files|*.wrl")));
    EXPECT_TRUE(request.initialFolder.endsWith(QStringLiteral("Models")));

    const Scene3d& scene = Tab().Scene();
    EXPECT_EQ(&Moving(), &scene.model);
    EXPECT_TRUE(scene.model.Visible());
    EXPECT_FALSE(scene.text.Visible());
    EXPECT_NEAR(scene.model.Scale().x, ModelScaleFor(std::sqrt(3.0), View().width()), 1e-9);
    EXPECT_EQ(scene.camera.FocalLength(), 500.0);
    EXPECT_EQ(scene.camera.SceneScale(), 1.0);
    // After "Reset view" the sliders show the reset values; the camera looks down -z at the model.
    const std::vector<std::pair<const char*, int>> sliders{{"cameraXSlider", 0},  {"cameraYSlider", 0},
                                                           {"cameraZSlider", 0},  {"focusSlider", 500},
                                                           {"scaleSlider", 1000}, {"depthSpaceSlider", 0}};
    for (const auto& [name, value] : sliders) {
        EXPECT_EQ(Slider(name)->value(), value) << name;
    }
    EXPECT_EQ(Find<QLabel>(Tab(), "focalLengthLabel")->text(), QStringLiteral(" 500 mm"));
    EXPECT_NEAR(scene.camera.Position().x, 0.0, 1e-9);
    EXPECT_GT(scene.camera.Position().z, 0.0);
    EXPECT_EQ(Stats(Tab().DepthImage()).nearest, 255);
}

// The divider between the two views changes the 3D view's width but not the zoom, also when a
// capture sets it back to halves; a resize of the window sets the scene scale from the view's width.
TEST_F(ModelTabTest, TheDividerKeepsTheZoomAndTheWindowResizeSetsIt) {
    OpenTab();
    LoadModel(Q(temp_ / "octahedron.obj"));
    auto* splitter = Find<QSplitter>(Tab(), "splitter");
    int viewWidthAtTabResize = -1;
    EventRecorder tabResized(Tab(), QEvent::Resize, [&] { viewWidthAtTabResize = View().width(); });
    struct DividerCase {
        const char* what;
        int dividerMove;  // pixels to the right; 0: the window grows by `windowGrowth` instead
        int windowGrowth;
    };
    const DividerCase cases[] = {
        {"divider to the left", -90, 0},
        {"window wider", 0, 120},
    };
    for (const DividerCase& c : cases) {
        SCOPED_TRACE(c.what);
        Slider("scaleSlider")->setValue(Slider("scaleSlider")->value() + 100);
        Settle();
        const double scale = Tab().Scene().camera.SceneScale();
        const int viewWidth = View().width();
        viewWidthAtTabResize = -1;
        if (c.dividerMove != 0) {
            QWidget* handle = splitter->handle(1);
            const QPoint at(handle->width() / 2, handle->height() / 2);
            Drag(handle, at, at + QPoint(c.dividerMove, 0), Qt::LeftButton);
            EXPECT_NE(View().width(), viewWidth);
        } else {
            Main().resize(Main().width() + c.windowGrowth, Main().height());
        }
        Settle();
        // Every capture sets the divider back to the middle.
        EXPECT_EQ(splitter->sizes().value(0), (Tab().width() - 30) / 2);
        if (c.dividerMove != 0) {
            EXPECT_EQ(viewWidthAtTabResize, -1);
            EXPECT_EQ(Tab().Scene().camera.SceneScale(), scale);
        } else {
            ASSERT_GT(viewWidthAtTabResize, viewWidth);
            EXPECT_DOUBLE_EQ(Tab().Scene().camera.SceneScale(), viewWidthAtTabResize / 460.0);
        }
    }
}

// A model that cannot be read, even one that crashes the importer, is reported and costs nothing:
// the model, its turn, the sliders and the depth view stay as they were.
TEST_F(ModelTabTest, AFileThatCannotBeReadKeepsThePreviousModelAndView) {
    // Closing the dialog without a choice enables the commands and changes nothing in the scene.
    LoadModel(std::nullopt);
    EXPECT_TRUE(Command("renderAnimationAction")->isEnabled());
    EXPECT_TRUE(Tab().Scene().text.Visible());
    EXPECT_EQ(&Moving(), &Tab().Scene().text);

    OpenTab();
    LoadModel(Q(temp_ / "octahedron.obj"));
    Drag(&View(), {100, 100}, {93, 100}, Qt::LeftButton);
    Slider("focusSlider")->setValue(700);
    Settle();
    const Scene3d& scene = Tab().Scene();
    const Vec3 direction = scene.model.Direction();
    const PixelBuffer depth = Tab().DepthImage();

    WriteText(temp_ / "model.dds", "DDS ");
    // Twenty thousand chained nodes overflow the stack of Assimp's glTF importer.
    std::filesystem::copy_file(DataFile("models/hostile/gltf_chained_nodes.gltf"), temp_ / "chained.gltf");
    ASSERT_EQ(::mkfifo((temp_ / "pipe.obj").c_str(), 0600), 0);
    for (const char* name : {"model.dds", "chained.gltf", "pipe.obj", "missing.obj"}) {
        dialogs_->ClearMessages();
        LoadModel(Q(temp_ / name));
        ASSERT_EQ(dialogs_->Messages().size(), 1U) << name;
        EXPECT_TRUE(dialogs_->Messages().front().text.contains(QLatin1String(name))) << name;
        if (std::string_view(name) == "chained.gltf") {
            EXPECT_TRUE(dialogs_->Messages().front().text.contains(QStringLiteral("the importer stopped")));
        }
        EXPECT_EQ(scene.model.MeshData().triangles.size(), 8U) << name;
        EXPECT_TRUE(scene.model.Visible()) << name;
        EXPECT_EQ(&Moving(), &scene.model) << name;
        EXPECT_EQ(scene.model.Direction(), direction) << name;
        EXPECT_EQ(Slider("focusSlider")->value(), 700) << name;
        EXPECT_EQ(scene.camera.FocalLength(), 700.0) << name;
        EXPECT_TRUE(Tab().DepthImage() == depth) << name;
    }
}

// A file handed to the program by the desktop opens as if chosen in the dialog of its kind.
TEST_F(ModelTabTest, FilesFromTheDesktopOpenByTheirKind) {
    auto* tabs = Find<QTabWidget>(Main(), "tabs");
    Main().OpenFile(Q(temp_ / "octahedron.obj"));
    Settle();
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(&Moving(), &Tab().Scene().model);
    EXPECT_GT(Tab().Scene().camera.Position().z, 10.0);  // framed from outside the model
    EXPECT_EQ(Stats(Tab().DepthImage()).nearest, 255);

    Main().OpenFile(QStringLiteral(VM_SOURCE_DIR "/DepthMaps/Torus.png"));
    EXPECT_EQ(tabs->currentIndex(), 1);
    EXPECT_EQ(Engine().DepthMap().Width(), 800);
    EXPECT_TRUE(Command("renderButton")->isEnabled());
    EXPECT_TRUE(dialogs_->OpenRequests().empty());
}

TEST_F(ModelTabTest, WheelButtonsAndDragsFrameTheObject) {
    OpenTab();
    QSlider* scale = Slider("scaleSlider");
    struct WheelCase {
        int start;
        int delta;
        int expected;
    };
    for (const WheelCase& c : {WheelCase{1000, 120, 1100}, WheelCase{49950, 120, 50000},
                               WheelCase{50, -240, 5}, WheelCase{1000, 60, 1050}}) {
        scale->setValue(c.start);
        Wheel(&View(), c.delta);
        EXPECT_EQ(scale->value(), c.expected) << c.start << " " << c.delta;
    }
    Wheel(Slider("cameraXSlider"), -120);  // over a slider the wheel still scales
    EXPECT_EQ(scale->value(), 950);
    EXPECT_EQ(Slider("cameraXSlider")->value(), 0);
    Button("enlargeButton")->click();
    EXPECT_EQ(scale->value(), 1150);
    Button("reduceButton")->click();
    EXPECT_EQ(scale->value(), 950);

    // 7 pixels to the left turns the object by 10 degrees about its up axis.
    const Vec3 before = Moving().Direction();
    Drag(&View(), {100, 100}, {93, 100}, Qt::LeftButton);
    EXPECT_NEAR(std::acos(Dot(before, Moving().Direction())) * 180.0 / M_PI, 10.0, 1e-6);
    // The depth view takes drags too: 7 pixels up turns it about its right axis.
    const Vec3 up = Moving().Up();
    Drag(&Tab().DepthPane(), {50, 50}, {50, 43}, Qt::LeftButton);
    EXPECT_NEAR(std::acos(Dot(up, Moving().Up())) * 180.0 / M_PI, 10.0, 1e-6);

    // Shift moves: the object follows the pointer, 1/20 unit per pixel.
    Drag(&View(), {100, 100}, {90, 96}, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(Slider("cameraXSlider")->value(), -10);
    EXPECT_EQ(Slider("cameraYSlider")->value(), 4);
    EXPECT_DOUBLE_EQ(Moving().Position().x, -0.5);

    // The right button rolls by ((dx + dy) div 2) / 0.7 degrees; with Shift it does nothing.
    struct RollCase {
        int dx;
        Qt::KeyboardModifiers keys;
        double degrees;
    };
    for (const RollCase& c :
         {RollCase{3, {}, 1.0 / 0.7}, RollCase{1, {}, 0.0}, RollCase{3, Qt::ShiftModifier, 0.0}}) {
        const double roll = Moving().RollAngle();
        Drag(&View(), {100, 100}, {100 - c.dx, 100}, Qt::RightButton, c.keys);
        EXPECT_NEAR(Moving().RollAngle() - roll, c.degrees, 1e-9) << c.dx;
    }
}

TEST_F(ModelTabTest, TextEnteredWithEnterReplacesTheObject) {
    OpenTab();
    auto* edit = Find<QLineEdit>(Tab(), "textEdit");
    EXPECT_EQ(edit->text(), QStringLiteral("ABC"));
    Retype(edit, QString());
    QTest::keyClick(edit, Qt::Key_Return);
    Settle();
    EXPECT_EQ(Tab().Scene().text.Text(), QString());
    EXPECT_EQ(Stats(Tab().DepthImage()).drawn, 0);  // nothing drawn: all black

    Retype(edit, QStringLiteral("Hi"));
    Button("changeTextButton")->click();
    Settle();
    EXPECT_EQ(edit->text(), QStringLiteral("Hi"));
    // Reset to face the camera, the text's front is one flat depth; turned, it gains relief.
    EXPECT_EQ(Moving().Direction(), (Vec3{0.0, 0.0, 1.0}));
    EXPECT_EQ(Stats(Tab().DepthImage()).nearest, 3);
    Drag(&View(), {100, 100}, {70, 100}, Qt::LeftButton);
    Settle();
    EXPECT_EQ(Stats(Tab().DepthImage()).nearest, 255);
}

TEST_F(ModelTabTest, FontDialogChangesTheTextFontAndCancelKeepsIt) {
    OpenTab();
    QFont serif(QStringLiteral("Liberation Serif"));
    dialogs_->QueueFont(serif);
    dialogs_->QueueFont(std::nullopt);
    for (int i = 0; i < 2; ++i) {
        Button("fontButton")->click();
        EXPECT_EQ(Tab().Scene().text.Font().family(), serif.family());
    }
}

// The command-line renderer frames a model and maps its depth as the tab does: with the view's
// size and the view reset, both give the same depth map.
TEST_F(ModelTabTest, CommandLineRendererCapturesTheSameDepthMap) {
    OpenTab();
    LoadModel(QStringLiteral(VM_SOURCE_DIR "/Models/Pawn.stl"));
    Button("resetViewButton")->click();  // the camera reset now takes a render at the reset focal length
    Settle();
    const PixelBuffer& depth = Tab().DepthImage();
    const std::filesystem::path out = temp_ / "depth.png";
    const std::string command =
        "env -u DISPLAY '" VM_RENDERER_PATH "' --model '" VM_SOURCE_DIR "/Models/Pawn.stl' --view " +
        std::to_string(depth.Width()) + "x" + std::to_string(depth.Height()) + " -W 320 -H 200 -o '" +
        (temp_ / "s.png").string() + "' --depth-out '" + out.string() + "'";
    ASSERT_EQ(RunCommand(command), 0) << command;
    std::string grey;
    ASSERT_EQ(RunCommand("convert '" + out.string() + "' -depth 8 gray:-", &grey), 0);
    ASSERT_EQ(grey.size(), static_cast<std::size_t>(depth.Width()) * depth.Height());
    long differing = 0;
    for (int y = 0; y < depth.Height(); ++y) {
        for (int x = 0; x < depth.Width(); ++x) {
            const auto cli = static_cast<std::uint8_t>(
                grey[static_cast<std::size_t>(depth.Height() - 1 - y) * depth.Width() + x]);
            differing += cli != depth.Pixel(y, x).g ? 1 : 0;
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(Stats(depth).drawn, 1000);
}

TEST_F(ModelTabTest, DepthSlidersShapeTheGreyScaleAndTheImageIsUpright) {
    OpenTab();
    LoadModel(Q(temp_ / "square.obj"));
    // A flat face seen head-on has one depth: every drawn pixel gets the far grey.
    DepthStats s = Stats(Tab().DepthImage());
    EXPECT_GT(s.drawn, 0);
    EXPECT_EQ(s.nearest, 3);
    EXPECT_EQ(s.farthest, 3);

    LoadModel(Q(temp_ / "octahedron.obj"));
    struct SliderCase {
        const char* slider;
        int position;
        int farthest;
    };
    for (const SliderCase& c :
         {SliderCase{"depthSpaceSlider", -500, 131}, SliderCase{"depthSpaceSlider", 0, 3}}) {
        Slider(c.slider)->setValue(c.position);
        Settle();
        EXPECT_EQ(Stats(Tab().DepthImage()).farthest, c.farthest) << c.slider << " " << c.position;
    }
    // The far end moved towards the camera: what lies a little behind it turns black.
    const long drawnFull = Stats(Tab().DepthImage()).drawn;
    Slider("maxDepthSlider")->setValue(-10);
    Settle();
    EXPECT_LT(Stats(Tab().DepthImage()).drawn, drawnFull);
    Button("resetDepthButton")->click();
    Settle();
    EXPECT_EQ(Slider("maxDepthSlider")->value(), 0);
    EXPECT_EQ(Stats(Tab().DepthImage()).drawn, drawnFull);

    // Moved up, the object shows in the top half of the depth map and of the engine's copy.
    Slider("cameraYSlider")->setValue(60);
    Settle();
    s = Stats(Tab().DepthImage());
    EXPECT_EQ(s.drawnTop, s.drawn);
    EXPECT_EQ(Stats(Engine().DepthMap().Bitmap()).drawnTop, s.drawn);
}

TEST_F(ModelTabTest, ExportsWriteTheViewTheLargeViewAndThePicture) {
    OpenTab();
    dialogs_->QueueColor(QColor(255, 0, 0));
    QTest::mouseClick(Find<QWidget>(Tab(), "colorPanel"), Qt::LeftButton);
    Settle();
    const double focal = Tab().Scene().camera.FocalLength();
    const PixelBuffer& depth = Tab().DepthImage();
    const std::string viewSize = std::to_string(depth.Width()) + "x" + std::to_string(depth.Height());
    struct ExportCase {
        const char* button;
        const char* file;      // nullptr: cancel
        std::string expected;  // empty: nothing written
        bool reportsError;
    };
    const std::vector<ExportCase> cases{
        {"saveDepthButton", "view.png", viewSize + " srgb(0,0,0)", false},
        {"saveLargeDepthButton", "large.PNG", "1600x1200 srgb(0,0,0)", false},
        {"savePictureButton", "scene.bmp", "1600x1200 srgb(255,0,0)", false},
        {"saveLargeDepthButton", "large.gif", "", false},
        {"savePictureButton", nullptr, "", false},
        {"saveLargeDepthButton", "missing/large.png", "", true},
    };
    for (const ExportCase& c : cases) {
        SCOPED_TRACE(c.button);
        dialogs_->ClearMessages();
        const std::filesystem::path file = temp_ / (c.file != nullptr ? c.file : "cancelled.png");
        dialogs_->QueueSaveFile(c.file != nullptr ? std::optional<QString>(Q(file)) : std::nullopt);
        QTest::mouseClick(Button(c.button), Qt::LeftButton);
        EXPECT_EQ(std::filesystem::exists(file), !c.expected.empty());
        if (!c.expected.empty()) {
            EXPECT_EQ(Identify(file), c.expected);
        }
        EXPECT_EQ(dialogs_->Messages().size(), c.reportsError ? 1U : 0U);
        // Afterwards the camera, the reader and the shown depth map are those of the 3D view.
        EXPECT_EQ(Tab().Scene().camera.FocalLength(), focal);
        EXPECT_EQ(Tab().DepthImage().Width(), View().DepthWidth());
        EXPECT_EQ(Engine().DepthMap().Width(), View().DepthWidth());
    }
    ASSERT_FALSE(dialogs_->SaveRequests().empty());
    EXPECT_TRUE(dialogs_->SaveRequests().front().initialFolder.endsWith(QStringLiteral("DepthMaps")));
    EXPECT_EQ(dialogs_->SaveRequests().front().defaultSuffix, QStringLiteral("JPG"));

    Button("copyDepthButton")->click();
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), QSize(1600, 1200));
    EXPECT_TRUE(copied.allGray());

    // The "Stereogram" tab's button saves its depth image through the preview's dialog.
    dialogs_->QueueSaveFile(Q(temp_ / "tab.tga"));
    Find<QToolButton>(Main(), "saveDepthButton")->click();
    EXPECT_EQ(Identify(temp_ / "tab.tga"), viewSize + " srgb(0,0,0)");
    EXPECT_EQ(dialogs_->SaveRequests().back().fileName, QString());
}

// In the program's own save dialog, a depth map or picture saved under a name without extension
// takes the extension of the type the dialog shows, and is written in that format.
TEST_F(ModelTabTest, TheTypeShownInTheSaveDialogGivesTheExtension) {
    OpenTab();
    struct TypeCase {
        const char* button;
        int type;  // entry of the type list picked by key; -1: left as it opened
        const char* saved;
        const char* format;  // as ImageMagick names it
    };
    const TypeCase cases[] = {
        {"saveDepthButton", -1, "depth.BMP", "BMP3"},     {"saveDepthButton", 2, "depth.PNG", "PNG"},
        {"saveLargeDepthButton", 1, "large.JPG", "JPEG"}, {"saveLargeDepthButton", 3, "large.TGA", "TGA"},
        {"savePictureButton", -1, "scene.BMP", "BMP3"},   {"savePictureButton", 2, "scene.PNG", "PNG"},
    };
    for (const TypeCase& c : cases) {
        SCOPED_TRACE(c.saved);
        const QString typed = QFileInfo(QString::fromLatin1(c.saved)).baseName();
        dialogs_->QueueRealSaveDialog();
        const DialogDriver driver([&](QFileDialog& dialog) {
            auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (types == nullptr || name == nullptr) {
                ADD_FAILURE() << "no type list or name field in the save dialog";
                return false;
            }
            dialog.setDirectory(Q(temp_.Path()));
            types->setFocus();
            for (int i = 0; i < c.type; ++i) {
                QTest::keyClick(types, Qt::Key_Down);
            }
            name->setFocus();
            name->setText(typed);
            QTest::keyClick(name, Qt::Key_Return);
            return true;
        });
        QTest::mouseClick(Button(c.button), Qt::LeftButton);
        EXPECT_TRUE(driver.Ran());
        const std::filesystem::path file = temp_ / c.saved;
        ASSERT_TRUE(std::filesystem::exists(file));
        std::string format;
        EXPECT_EQ(RunCommand("identify -format '%m' '" + file.string() + "'", &format), 0);
        EXPECT_EQ(format, c.format);
        std::filesystem::remove(file);
    }
}

// A model is framed by the camera reset from the near plane of the view's most recent render: a
// load, "Reset view", a load that follows a render at the reset focal length and the command line
// with the view's size frame it alike. The first load after start-up follows a render at the
// start-up focal length and a load after Focus 990 one at 990: the camera stands farther or
// nearer by the ratio of the focal lengths, and the model shows smaller or larger by about that.
TEST_F(ModelTabTest, ALoadTheResetAndTheCommandLineFrameAModelAlike) {
    const QString pawn = QStringLiteral(VM_SOURCE_DIR "/Models/Pawn.stl");
    OpenTab();
    const double startFocal = Tab().Scene().camera.FocalLength();
    LoadModel(pawn);
    const int firstLoad = FramedWidth(Tab().DepthImage());
    Button("resetViewButton")->click();
    Settle();
    const int reset = FramedWidth(Tab().DepthImage());
    LoadModel(pawn);
    const int load = FramedWidth(Tab().DepthImage());
    Slider("focusSlider")->setValue(990);
    Settle();
    LoadModel(pawn);
    const int afterFocus990 = FramedWidth(Tab().DepthImage());

    const PixelBuffer& depth = Tab().DepthImage();
    const std::filesystem::path out = temp_ / "depth.png";
    const std::string command = "env -u DISPLAY '" VM_RENDERER_PATH "' --model '" + pawn.toStdString() +
                                "' --view " + std::to_string(depth.Width()) + "x" +
                                std::to_string(depth.Height()) + " -W 320 -H 200 -o '" +
                                (temp_ / "s.png").string() + "' --depth-out '" + out.string() + "'";
    ASSERT_EQ(RunCommand(command), 0) << command;
    const QImage cli(Q(out));
    ASSERT_EQ(cli.size(), QSize(depth.Width(), depth.Height()));
    const int commandLine = FramedWidth(FromQImage(cli));

    ASSERT_GT(reset, 50);
    struct FramingCase {
        const char* what;
        int width;
        double expected;
        double tolerance;
    };
    const FramingCase cases[] = {
        {"load", load, 1.0 * reset, 0.0},
        {"command line", commandLine, 1.0 * reset, 0.0},
        {"first load", firstLoad, reset * 500.0 / startFocal, 0.03 * reset},
        {"load after Focus 990", afterFocus990, reset * 500.0 / 990.0, 0.03 * reset},
    };
    for (const FramingCase& c : cases) {
        EXPECT_NEAR(c.width, c.expected, c.tolerance) << c.what << " (reset: " << reset << " px)";
    }
}

// A text with a character no font can draw says so in the status bar; a text drawn whole clears it.
TEST_F(ModelTabTest, TheStatusBarNamesCharactersNoFontCanDraw) {
    OpenTab();
    auto* edit = Find<QLineEdit>(Tab(), "textEdit");
    const QString unassigned(QChar(0x0378));  // no character, so in no font
    for (const QString& text : {QStringLiteral("A") + unassigned + unassigned, QStringLiteral("HELLO")}) {
        edit->setText(text);
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(Main().statusBar()->currentMessage(),
                  text.contains(unassigned) ? QStringLiteral("The 3D text cannot draw ") + unassigned +
                                                  QStringLiteral(": no installed font has these characters")
                                            : QString());
    }
}

}  // namespace
}  // namespace vistamaze::test
