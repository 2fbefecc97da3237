// The animation as a user makes one: "Render Animation" on the 3D tab, the options dialog, the
// movie file dialog, the frames counting up in the progress window, Stop; the movie is read back
// with ffprobe, and what the run changed for its duration is checked to come back.
#include "scene3d/SceneView.h"
#include "tests/workspace/DialogDriver.h"
#include "tests/workspace/ProgramFixture.h"
#include "workspace/AnimationOptionsDialog.h"
#include "workspace/AnimationRun.h"
#include "workspace/DepthView.h"
#include "workspace/ModelTab.h"
#include "workspace/PictureConversion.h"
#include "workspace/PreviewWindow.h"
#include "workspace/ProgressWindow.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <array>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string_view>

#include <sys/resource.h>

namespace vistamaze::test {
namespace {

namespace fs = std::filesystem;

// The video stream as ffprobe reads it, frames counted by decoding them.
std::map<std::string, std::string> ProbeMovie(const fs::path& movie) {
    std::string out;
    EXPECT_EQ(RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                         "stream=codec_name,width,height,r_frame_rate,nb_read_frames -of default=nw=1 '" +
                             movie.string() + "'",
                         &out),
              0);
    std::map<std::string, std::string> probe;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (const auto eq = line.find('='); eq != std::string::npos) {
            probe[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return probe;
}

std::size_t DistinctFrames(const fs::path& movie) {
    std::string out;
    EXPECT_EQ(RunCommand("ffmpeg -v error -i '" + movie.string() + "' -f framemd5 - | grep -v '^#'", &out),
              0);
    std::set<std::string> hashes;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        hashes.insert(line.substr(line.rfind(',') + 1));
    }
    return hashes.size();
}

// The last frame of the movie as ffmpeg decodes it, compared with `picture` (top row first).
// Frame `index` of `movie` (from 0; -1 for the last), decoded by ffmpeg, equals `picture`.
bool FrameEquals(const fs::path& movie, int index, const PixelBuffer& picture) {
    std::string bgr;
    EXPECT_EQ(RunCommand("ffmpeg -v error -i '" + movie.string() + "' -f rawvideo -pix_fmt bgr24 -", &bgr),
              0);
    const auto rowBytes = static_cast<std::size_t>(picture.Width()) * 3;
    const std::size_t frameBytes = rowBytes * static_cast<std::size_t>(picture.Height());
    const std::size_t frames = frameBytes == 0 ? 0 : bgr.size() / frameBytes;
    const std::size_t pick = index < 0 ? frames - 1 : static_cast<std::size_t>(index);
    if (frames == 0 || pick >= frames) {
        return false;
    }
    const std::string_view frame = std::string_view(bgr).substr(pick * frameBytes, frameBytes);
    for (int r = 0; r < picture.Height(); ++r) {
        const auto* row = reinterpret_cast<const char*>(picture.Row(picture.Height() - 1 - r));
        if (frame.substr(static_cast<std::size_t>(r) * rowBytes, rowBytes) !=
            std::string_view(row, rowBytes)) {
            return false;
        }
    }
    return true;
}

bool LastFrameEquals(const fs::path& movie, const PixelBuffer& picture) {
    return FrameEquals(movie, -1, picture);
}

// What the user enters in the options dialog before Start.
struct Choice {
    int sizeItem = 2;  // "320x240"
    int fpsItem = 4;   // "25"
    int typeItem = AnimationOptionsDialog::kTexturedItem;
    std::vector<std::pair<const char*, QString>> fields{{"frameCountEdit", QStringLiteral("3")}};
};

// Runs a test's action each time the progress window's status label shows a new text, from the
// label's own paint: the loop repaints it at once, so the action runs inside that frame.
class StatusWatcher final : public QObject {
public:
    explicit StatusWatcher(QLabel* label) : label_(label) { label->installEventFilter(this); }
    std::map<QString, std::function<void()>> on;
    std::vector<QString> shown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && (shown.empty() || shown.back() != label_->text())) {
            shown.push_back(label_->text());
            if (const auto action = on.find(label_->text()); action != on.end()) {
                action->second();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QLabel* label_;
};

class AnimationTest : public ProgramFixture {
protected:
    void SetUp() override {
        // The movie's work file goes to this test's own temporary folder.
        if (const char* tmp = std::getenv("TMPDIR")) {
            oldTmp_ = tmp;
        }
        fs::create_directories(temp_ / "tmp");
        ::setenv("TMPDIR", (temp_ / "tmp").c_str(), 1);
        ProgramFixture::SetUp();
        if (HasFatalFailure() || IsSkipped()) {
            return;
        }
        auto* tabs = Find<QTabWidget>(Main(), "tabs");
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(0).center());
        QSignalSpy published(&Tab(), &ModelTab::DepthPublished);
        while (published.wait(300)) {
        }
        watcher_ = std::make_unique<StatusWatcher>(windows_->Progress().StatusLabel());
    }
    void TearDown() override {
        watcher_.reset();
        ProgramFixture::TearDown();
        oldTmp_.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", oldTmp_.c_str(), 1);
    }

    [[nodiscard]] ModelTab& Tab() const { return Main().ModelPage(); }
    [[nodiscard]] AnimationOptionsDialog& Options() const { return windows_->AnimationOptions(); }
    [[nodiscard]] PreviewWindow& Preview() const { return windows_->Preview(); }
    [[nodiscard]] QString StatusText() const { return windows_->Progress().StatusLabel()->text(); }
    [[nodiscard]] fs::path WorkFile() const { return Main().Animation()->Writer().WorkFileName(); }

    // Presses "Render Animation", enters `choice`, runs `inDialog` and presses Start (or Close),
    // and answers the movie file dialog with `file`, or with the program's own dialog when
    // `realFileDialog` is set. Returns when the command has ended.
    void Animate(const Choice& choice, const std::optional<QString>& file, bool start = true,
                 const std::function<void()>& inDialog = {}, bool realFileDialog = false) {
        if (start && realFileDialog) {
            dialogs_->QueueRealSaveDialog();
        } else if (start) {
            dialogs_->QueueSaveFile(file);
        }
        bool entered = false;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (entered || QApplication::activeModalWidget() != &Options()) {
                return;
            }
            entered = true;
            Find<QComboBox>(Options(), "screenSizeBox")->setCurrentIndex(choice.sizeItem);
            Find<QComboBox>(Options(), "fpsBox")->setCurrentIndex(choice.fpsItem);
            constexpr std::array<const char*, 3> kKindButtons{"randomDotButton", "randomDotTexturedButton",
                                                              "texturedButton"};
            Click(Find<QRadioButton>(Options(), kKindButtons.at(static_cast<std::size_t>(choice.typeItem))));
            for (const auto& [name, text] : choice.fields) {
                Retype(Find<QLineEdit>(Options(), name), text);
            }
            if (inDialog) {
                inDialog();
            }
            QTest::mouseClick(Find<QPushButton>(Options(), start ? "startButton" : "closeButton"),
                              Qt::LeftButton);
        });
        poll.start();
        QTest::mouseClick(Find<QPushButton>(Tab(), "renderAnimationButton"), Qt::LeftButton);
        EXPECT_TRUE(entered);
        EXPECT_FALSE(windows_->Progress().isVisible());
    }
    // Chooses the main window's type and oversampling items as the user does.
    void ChooseSettings(int typeItem, int oversamplingItem) {
        Click(Radio("kindGroup", typeItem));
        Click(Radio("oversamplingGroup", oversamplingItem));
    }

    std::string oldTmp_;
    std::unique_ptr<StatusWatcher> watcher_;
};

TEST_F(AnimationTest, OptionsDialogOffersItsItemsAndDefaultsAndCloseDoesNothing) {
    EXPECT_EQ(Options().Options().width, 600);  // before any Start
    EXPECT_EQ(Options().Options().fps, 24);
    EXPECT_EQ(Options().Options().frames, 60);
    EXPECT_EQ(Options().Options().steps.rotateX, 1);
    const auto* sizes = Find<QComboBox>(Options(), "screenSizeBox");
    ASSERT_EQ(sizes->count(), 42);
    EXPECT_EQ(sizes->currentText(), QStringLiteral("1920x1080"));
    EXPECT_EQ(sizes->itemText(21), QStringLiteral("1024x768 "));
    EXPECT_EQ(sizes->itemText(3), sizes->itemText(4));
    EXPECT_EQ(sizes->itemText(37), sizes->itemText(39));
    const auto* fps = Find<QComboBox>(Options(), "fpsBox");
    ASSERT_EQ(fps->count(), 6);
    EXPECT_EQ(fps->currentText(), QStringLiteral("25"));
    const std::vector<std::pair<const char*, const char*>> fields{
        {"frameCountEdit", "120"}, {"rotationXEdit", "0"}, {"rotationYEdit", "3"}, {"rotationZEdit", "0"},
        {"cameraZoomEdit", "0"},   {"cameraXEdit", "0"},   {"cameraYEdit", "0"},   {"textureScaleEdit", "0"},
        {"textureXEdit", "0"},     {"textureYEdit", "15"}};
    for (const auto& [name, text] : fields) {
        EXPECT_EQ(Find<QLineEdit>(Options(), name)->text(), QLatin1String(text)) << name;
    }
    EXPECT_TRUE(Find<QRadioButton>(Options(), "texturedButton")->isChecked());

    ChooseSettings(2, 1);
    Animate(Choice{}, std::nullopt, false);
    EXPECT_TRUE(dialogs_->SaveRequests().empty());
    EXPECT_EQ(CheckedItem("kindGroup"), 2);
    EXPECT_EQ(CheckedItem("oversamplingGroup"), 1);
}

TEST_F(AnimationTest, MovieHasTheChosenFramesSizeAndRateAndTheMainWindowItsSize) {
    struct Case {
        int sizeItem;
        int fpsItem;
        int frames;
        const char* size;
        const char* rate;
    };
    for (const Case& c : {Case{2, 4, 3, "320x240", "25/1"}, Case{21, 5, 2, "1024x768", "1000/33"},
                          Case{0, 1, 4, "320x192", "1000/83"}}) {
        const fs::path movie = temp_ / (std::string(c.size) + ".avi");
        Animate(Choice{c.sizeItem,
                       c.fpsItem,
                       AnimationOptionsDialog::kTexturedItem,
                       {{"frameCountEdit", QString::number(c.frames)}}},
                Q(movie));
        auto probe = ProbeMovie(movie);
        EXPECT_EQ(probe["codec_name"], "rawvideo") << c.size;
        EXPECT_EQ(probe["width"] + "x" + probe["height"], c.size);
        EXPECT_EQ(probe["r_frame_rate"], c.rate) << c.size;
        EXPECT_EQ(probe["nb_read_frames"], std::to_string(c.frames)) << c.size;
        EXPECT_EQ(DistinctFrames(movie), static_cast<std::size_t>(c.frames)) << "the text turns";
        EXPECT_EQ(MainField("widthEdit")->text() + "x" + MainField("heightEdit")->text(),
                  QLatin1String(c.size));
        EXPECT_EQ(QStringLiteral("%1x%2").arg(Engine().Width()).arg(Engine().Height()),
                  QLatin1String(c.size));
        EXPECT_FALSE(fs::exists(WorkFile()));
    }
    EXPECT_EQ(watcher_->shown.back(), QStringLiteral("Saving data     "));
    ASSERT_EQ(dialogs_->SaveRequests().size(), 3U);
    const FileDialogRequest& request = dialogs_->SaveRequests().back();
    EXPECT_EQ(request.caption, QStringLiteral("Select movie file name"));
    EXPECT_EQ(request.filter,
              QStringLiteral("AVI movie (uncompressed) (*.avi)|*.avi|MP4 movie (H.264) (*.mp4)|*.mp4|"
                             "WebM movie (VP9) (*.webm)|*.webm"));
    EXPECT_EQ(request.defaultSuffix, QStringLiteral("avi"));
    EXPECT_EQ(request.fileName, Q(temp_ / "1024x768.avi"));  // the previous choice
    EXPECT_EQ(request.initialFolder, Main().Folders().program);
    EXPECT_TRUE(dialogs_->Messages().empty());
}

// The movie dialog offers the three kinds, AVI first; a name typed without an extension takes the
// one of the kind shown, and the extension chooses the writer.
TEST_F(AnimationTest, TheMovieKindChosenInTheDialogGivesTheExtensionAndTheCodec) {
    struct Case {
        int type;  // entry of the type list picked by key; -1: left as the dialog opened
        const char* typed;
        const char* saved;
        const char* codec;
    };
    const Case cases[] = {
        {-1, "plain", "plain.avi", "rawvideo"},
        {1, "shared", "shared.mp4", "h264"},
        {2, "web", "web.webm", "vp9"},
        {-1, "named.mp4", "named.mp4", "h264"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.saved);
        QStringList offered;
        const DialogDriver driver([&](QFileDialog& dialog) {
            auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (types == nullptr || name == nullptr) {
                ADD_FAILURE() << "no type list or name field in the movie dialog";
                return false;
            }
            offered = dialog.nameFilters();
            dialog.setDirectory(Q(temp_.Path()));
            types->setFocus();
            for (int i = 0; i < c.type; ++i) {
                QTest::keyClick(types, Qt::Key_Down);
            }
            name->setFocus();
            name->selectAll();
            QTest::keyClicks(name, QString::fromLatin1(c.typed));
            QTest::keyClick(name, Qt::Key_Return);
            return true;
        });
        Animate(
            Choice{2, 4, AnimationOptionsDialog::kTexturedItem, {{"frameCountEdit", QStringLiteral("2")}}},
            std::nullopt, true, {}, true);
        EXPECT_TRUE(driver.Ran());
        EXPECT_EQ(offered, (QStringList{QStringLiteral("AVI movie (uncompressed) (*.avi)"),
                                        QStringLiteral("MP4 movie (H.264) (*.mp4)"),
                                        QStringLiteral("WebM movie (VP9) (*.webm)")}));
        auto probe = ProbeMovie(temp_ / c.saved);
        EXPECT_EQ(probe["codec_name"], c.codec);
        EXPECT_EQ(probe["width"] + "x" + probe["height"], "320x240");
        EXPECT_EQ(probe["nb_read_frames"], "2");
        for (const auto& message : dialogs_->Messages()) {
            ADD_FAILURE() << message.text.toStdString();
        }
        dialogs_->ClearMessages();
        // The dialog opens with the previous choice, which is gone: nothing is selected in its list.
        fs::remove(temp_ / c.saved);
    }
    EXPECT_EQ(fs::directory_iterator(temp_ / "tmp"), fs::directory_iterator()) << "no work file is left";
}

TEST_F(AnimationTest, TypeAndOversamplingFollowTheDialogAndComeBack) {
    struct Case {
        int dialogItem;
        StereogramKind type;
        int oversampling;
    };
    for (const Case& c :
         {Case{AnimationOptionsDialog::kRandomDotItem, StereogramKind::RandomDot, 1},
          Case{AnimationOptionsDialog::kRandomDotTexturedItem, StereogramKind::RandomDotTextured, 1},
          Case{AnimationOptionsDialog::kTexturedItem, StereogramKind::Textured, 4}}) {
        ChooseSettings(2, 1);  // Textured, oversampling 2
        std::pair<StereogramKind, int> during{};
        watcher_->on[QStringLiteral("Frame  1/1")] = [&] {
            during = {Engine().StereoType(), Engine().Oversampling()};
        };
        Animate(Choice{2, 4, c.dialogItem, {{"frameCountEdit", QStringLiteral("1")}}}, Q(temp_ / "type.avi"));
        EXPECT_EQ(during.first, c.type) << c.dialogItem;
        EXPECT_EQ(during.second, c.oversampling) << c.dialogItem;
        EXPECT_EQ(CheckedItem("kindGroup"), 2) << c.dialogItem;
        EXPECT_EQ(CheckedItem("oversamplingGroup"), 1) << c.dialogItem;
        EXPECT_EQ(Engine().Oversampling(), 2) << c.dialogItem;
    }
    Animate(Choice{2, 4, AnimationOptionsDialog::kRandomDotItem}, std::nullopt);  // the file dialog cancelled
    EXPECT_EQ(CheckedItem("kindGroup"), 2);
    EXPECT_EQ(CheckedItem("oversamplingGroup"), 1);
}

TEST_F(AnimationTest, StopGivesTheFramesShownWhenItIsPressed) {
    // Where in the run Stop is pressed: as a frame's status shows (before its scene is drawn),
    // while the engine renders it (the next frame's scene is drawn ahead meanwhile), or once its
    // render has ended.
    enum class Moment { Status, Rendering, Rendered };
    for (const auto& [moment, frame] : {std::pair{Moment::Status, 1},
                                        {Moment::Status, 3},
                                        {Moment::Rendering, 1},
                                        {Moment::Rendering, 3},
                                        {Moment::Rendered, 3},
                                        {Moment::Rendering, 6}}) {
        const QString label = QStringLiteral("Frame  %1/6").arg(frame);
        const auto stop = [&] {
            QTest::mouseClick(Find<QPushButton>(windows_->Progress(), "stopButton"), Qt::LeftButton);
        };
        watcher_->shown.clear();
        watcher_->on.clear();
        if (moment == Moment::Status) {
            watcher_->on[label] = stop;
        }
        bool pressed = false;
        const QMetaObject::Connection atProgress =
            QObject::connect(windows_->Progress().ProgressBar(), &QProgressBar::valueChanged, [&](int value) {
                const bool now = moment == Moment::Rendering ? value > 0 && value < 100
                                                             : moment == Moment::Rendered && value == 100;
                if (now && !pressed && StatusText() == label) {
                    pressed = true;
                    stop();
                }
            });
        const fs::path movie = temp_ / "stopped.avi";
        Animate(
            Choice{2, 4, AnimationOptionsDialog::kTexturedItem, {{"frameCountEdit", QStringLiteral("6")}}},
            Q(movie));
        QObject::disconnect(atProgress);
        EXPECT_EQ(ProbeMovie(movie)["nb_read_frames"], std::to_string(frame)) << label.toStdString();
        ASSERT_GE(watcher_->shown.size(), 2U);
        EXPECT_EQ(watcher_->shown.back(), QStringLiteral("Saving data     "));
        EXPECT_EQ(watcher_->shown[watcher_->shown.size() - 2].toStdString(), label.toStdString())
            << "no frame begins after Stop";
        EXPECT_TRUE(LastFrameEquals(movie, Preview().Stereogram().Bitmap()))
            << "the preview holds the last frame";
        EXPECT_FALSE(fs::exists(WorkFile()));
    }
    EXPECT_FALSE(Preview().isVisible());
    EXPECT_TRUE(dialogs_->Messages().empty());
}

TEST_F(AnimationTest, TheGaugeFollowsTheEngineWithinEveryFrame) {
    std::map<QString, std::vector<int>> values;  // per status shown
    QObject::connect(windows_->Progress().ProgressBar(), &QProgressBar::valueChanged,
                     [&](int value) { values[StatusText()].push_back(value); });
    Animate(Choice{2, 4, AnimationOptionsDialog::kTexturedItem, {{"frameCountEdit", QStringLiteral("3")}}},
            Q(temp_ / "g.avi"));
    for (int frame = 1; frame <= 3; ++frame) {
        const std::vector<int>& seen = values[QStringLiteral("Frame  %1/3").arg(frame)];
        ASSERT_FALSE(seen.empty()) << frame;
        EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](int v) { return v > 0 && v < 100; })) << frame;
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << frame;
        EXPECT_EQ(seen.back(), 100) << frame;
    }
}

TEST_F(AnimationTest, FullDiskInAFrameKeepsThePlayableFramesBeforeItAndReportsIt) {
    const fs::path movie = temp_ / "full.avi";
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    watcher_->on[QStringLiteral("Frame  1/6")] = [&] {  // room for two and a half frames
        const auto frame = static_cast<rlim_t>((Engine().Width() * 3 + 3) / 4 * 4 * Engine().Height() + 8);
        const rlimit full{static_cast<rlim_t>(fs::file_size(WorkFile())) + frame * 5 / 2, old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &full);
    };
    watcher_->on[QStringLiteral("Saving data     ")] = [&] { ::setrlimit(RLIMIT_FSIZE, &old); };
    Animate(Choice{2, 4, AnimationOptionsDialog::kTexturedItem, {{"frameCountEdit", QStringLiteral("6")}}},
            Q(movie));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(ProbeMovie(movie)["nb_read_frames"], "2");
    EXPECT_FALSE(fs::exists(WorkFile()));
    ASSERT_EQ(dialogs_->Messages().size(), 1U);
    EXPECT_TRUE(
        dialogs_->Messages()[0].text.startsWith(QStringLiteral("Failed to add frame to AVI. Err=8004406E")))
        << dialogs_->Messages()[0].text.toStdString();
    EXPECT_EQ(CheckedItem("kindGroup"), 2);
}

TEST_F(AnimationTest, ZoomCameraAndTextureStepsAccumulateAndTheRunPutsThemBack) {
    const Scene3d& scene = Tab().Scene();
    const double focal = scene.camera.FocalLength();
    QSpinBox* offsetYField = Preview().OffsetYField();
    const int maximum = offsetYField->maximum();
    std::vector<double> focals;  // as each frame's depth map is handed on
    const QMetaObject::Connection perFrame = QObject::connect(
        &Tab(), &ModelTab::DepthPublished, [&] { focals.push_back(scene.camera.FocalLength()); });
    double movedX = 0.0;
    std::int64_t patOfY = 0;
    watcher_->on[QStringLiteral("Saving data     ")] = [&] {
        QObject::disconnect(perFrame);
        movedX = scene.navigator.MovingObject()->Position().x;
        patOfY = Engine().PatOfY();
        EXPECT_EQ(offsetYField->maximum(), kAnimationTextureRange);
    };
    Animate(Choice{2,
                   4,
                   AnimationOptionsDialog::kTexturedItem,
                   {{"frameCountEdit", QStringLiteral("3")},
                    {"cameraZoomEdit", QStringLiteral("10")},
                    {"cameraXEdit", QStringLiteral("20")}}},
            Q(temp_ / "zoom.avi"));
    ASSERT_EQ(focals.size(), 3U);
    for (std::size_t i = 0; i < focals.size(); ++i) {
        EXPECT_NEAR(focals[i], focal * std::pow(1.1, static_cast<double>(i + 1)), 1e-3 * focal) << i;
    }
    EXPECT_EQ(movedX, 3.0);
    EXPECT_EQ(patOfY, 45);
    EXPECT_EQ(scene.camera.FocalLength(), focal);
    EXPECT_EQ(scene.navigator.MovingObject()->Position().x, 0.0);
    EXPECT_EQ(offsetYField->maximum(), maximum);
    EXPECT_EQ(offsetYField->value(), 0);
    EXPECT_EQ(Engine().PatOfY(), 0);
    EXPECT_FALSE(Preview().UpdateTimer().isActive()) << "no render of its own after the movie";
}

TEST_F(AnimationTest, EachFrameIsTheSceneSteppedDrawnAndRenderedInTurn) {
    // The run overlaps the frames; the reference takes them one after the other, from the scene
    // as the run found it, with the dialog's default steps (rotation 0,3,0, texture 0,15).
    Scene3d& scene = Tab().Scene();
    const FrameStepsUndo start(scene, CameraTravel{});
    const fs::path movie = temp_ / "steps.avi";
    Animate(Choice{2, 4, AnimationOptionsDialog::kTexturedItem, {{"frameCountEdit", QStringLiteral("3")}}},
            Q(movie));
    ASSERT_EQ(ProbeMovie(movie)["nb_read_frames"], "3");
    // The depth view, put on the screen only now and then during the run, ends on the last frame.
    EXPECT_EQ(Tab().DepthPane().Image(), ToQImage(Engine().DepthMap().Bitmap()));

    CameraTravel travel;
    start.Restore(scene, travel);
    ChooseSettings(2, 3);  // textured, oversampling 4, as the run had them
    Tab().SceneViewer().RepaintNow();
    Tab().CaptureDepthMap();  // the grey scale the run froze
    Tab().SetFreezeDepthRange(true);
    QSpinBox* offsetYField = Preview().OffsetYField();
    offsetYField->setMaximum(kAnimationTextureRange);
    for (int frame = 0; frame < 3; ++frame) {
        ApplyFrameSteps(scene, Options().Options().steps, travel, 0, 0);
        offsetYField->setValue(offsetYField->value() + 15);
        Preview().UpdateTimer().stop();
        Tab().SceneViewer().RepaintNow();
        Tab().CaptureDepthMap();
        Engine().Generate();
        EXPECT_TRUE(FrameEquals(movie, frame, Engine().StereogramPicture().Bitmap())) << frame;
    }
    Tab().SetFreezeDepthRange(false);
}

TEST_F(AnimationTest, AnExistingAviTargetIsRemovedBeforeTheRunOtherFilesAreNot) {
    for (const auto& [name, removed] : {std::pair{"old.avi", true}, {"old.AVI", true}, {"old.bin", false}}) {
        const fs::path target = temp_ / name;
        WriteBytes(target, {1, 2, 3});
        bool existed = false;
        watcher_->on[QStringLiteral("Frame  1/1")] = [&] { existed = fs::exists(target); };
        Animate(
            Choice{2, 4, AnimationOptionsDialog::kTexturedItem, {{"frameCountEdit", QStringLiteral("1")}}},
            Q(target));
        EXPECT_EQ(existed, !removed) << name;
        EXPECT_EQ(ProbeMovie(target)["nb_read_frames"], "1") << name;
    }
}

TEST_F(AnimationTest, AFailedSaveIsReportedAndTheCleanUpStillRuns) {
    fs::create_directories(temp_ / "gone");
    Preview().OffsetYField()->setValue(7);
    const int maximum = Preview().OffsetYField()->maximum();
    watcher_->on[QStringLiteral("Frame  1/2")] = [&] { fs::remove_all(temp_ / "gone"); };
    Animate(Choice{2, 4, AnimationOptionsDialog::kTexturedItem, {{"frameCountEdit", QStringLiteral("2")}}},
            Q(temp_ / "gone" / "m.avi"));
    ASSERT_EQ(dialogs_->Messages().size(), 1U);
    EXPECT_TRUE(dialogs_->Messages()[0].text.startsWith(QStringLiteral("Failed to save the movie")));
    EXPECT_FALSE(fs::exists(WorkFile()));
    EXPECT_EQ(Preview().OffsetYField()->maximum(), maximum);
    EXPECT_EQ(Preview().OffsetYField()->value(), 7);
    EXPECT_EQ(Engine().PatOfY(), 7);
}

TEST_F(AnimationTest, AFieldThatCannotBeTakenKeepsTheDialogOpenWithTheFieldSelected) {
    const QString notWav = Q(temp_ / "music.mp3");
    const QString missing = Q(temp_ / "missing.wav");
    struct Case {
        const char* field;
        QString text;
        QString message;  // how the message shown begins
        QString good;
    };
    const Case cases[] = {
        {"cameraZoomEdit", QStringLiteral("x"), QStringLiteral("'x' is not a valid integer value"),
         QStringLiteral("0")},
        {"textureScaleEdit", QStringLiteral("1..5"),
         QStringLiteral("'1..5' is not a valid floating point value"), QStringLiteral("0")},
        {"soundTrackEdit",
         notWav,
         QStringLiteral("Sound track \"") + notWav + QStringLiteral("\": not a WAV"),
         {}},
        {"soundTrackEdit", missing, QStringLiteral("Sound track \"") + missing + QStringLiteral("\": "), {}},
    };
    WriteBytes(temp_ / "music.mp3", {1, 2, 3});
    for (const Case& c : cases) {
        dialogs_->ClearMessages();
        const std::size_t saves = dialogs_->SaveRequests().size();
        auto* field = Find<QLineEdit>(Options(), c.field);
        bool stayed = false;
        const auto refuse = [&] {
            QTest::mouseClick(Find<QPushButton>(Options(), "startButton"), Qt::LeftButton);
            stayed = Options().isVisible();
            EXPECT_EQ(Options().focusWidget(), field) << c.field;
            EXPECT_EQ(field->selectedText(), c.text) << c.field;
            EXPECT_EQ(Options().Options().frames, 3) << "the options of the last Start stay";
            EXPECT_EQ(dialogs_->SaveRequests().size(), saves + 1) << "nothing is started";
            Retype(field, c.good);
        };
        Animate(Choice{}, std::nullopt);  // the options the refused Start must keep: 3 frames
        Animate(Choice{2, 4, AnimationOptionsDialog::kTexturedItem, {{c.field, c.text}}}, std::nullopt, true,
                refuse);
        EXPECT_TRUE(stayed) << c.field;
        ASSERT_EQ(dialogs_->Messages().size(), 1U) << c.field;
        const QString& shown = dialogs_->Messages()[0].text;
        EXPECT_TRUE(shown.startsWith(c.message)) << shown.toStdString();
        EXPECT_EQ(dialogs_->SaveRequests().size(), saves + 2) << "the corrected Start goes on";
    }
}

TEST_F(AnimationTest, TheSoundTrackChosenInTheOptionsIsInTheMovie) {
    const QString wav = QStringLiteral(VM_SOURCE_DIR "/tests/data/audio/chuck_snare_01.wav");
    struct Case {
        std::optional<QString> browsed;  // nothing: the field is emptied
        const char* streams;
    };
    for (const Case& c : {Case{wav, "video\naudio\n"}, Case{std::nullopt, "video\n"}}) {
        const fs::path movie = temp_ / (c.browsed ? "sound.avi" : "silent.avi");
        auto* field = Find<QLineEdit>(Options(), "soundTrackEdit");
        const auto enter = [&] {
            if (c.browsed) {
                dialogs_->QueueOpenFile(c.browsed);
                QTest::mouseClick(Find<QPushButton>(Options(), "soundTrackButton"), Qt::LeftButton);
            } else {
                EXPECT_EQ(field->text(), wav) << "the field keeps the last choice";
                Retype(field, QString());
            }
        };
        Animate(
            Choice{2, 4, AnimationOptionsDialog::kTexturedItem, {{"frameCountEdit", QStringLiteral("3")}}},
            Q(movie), true, enter);
        std::string out;
        EXPECT_EQ(RunCommand(
                      "ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + movie.string() + "'",
                      &out),
                  0);
        EXPECT_EQ(out, c.streams) << movie;
        EXPECT_EQ(ProbeMovie(movie)["nb_read_frames"], "3");
    }
    ASSERT_EQ(dialogs_->OpenRequests().size(), 1U);
    EXPECT_EQ(dialogs_->OpenRequests()[0].filter, QStringLiteral("WAV files (*.WAV)|*.WAV"));
    EXPECT_TRUE(dialogs_->Messages().empty());
}

}  // namespace
}  // namespace vistamaze::test
