// The renderer with a 3D scene as its depth map source, run as a user runs it on a machine with no
// display; pictures are read back with ImageMagick.
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

namespace vistamaze::cli {
namespace {

using test::RunCommand;

// An upright picture as ImageMagick decodes it (Targa files are stored bottom-up): RGB samples, top
// row first.
struct Decoded {
    int width = 0;
    int height = 0;
    std::string rgb;

    [[nodiscard]] std::array<int, 3> At(int row, int col) const {
        const std::size_t i = (static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                               static_cast<std::size_t>(col)) *
                              3;
        return {static_cast<std::uint8_t>(rgb[i]), static_cast<std::uint8_t>(rgb[i + 1]),
                static_cast<std::uint8_t>(rgb[i + 2])};
    }
    [[nodiscard]] std::set<int> Greys() const {
        std::set<int> greys;
        for (std::size_t i = 0; i < rgb.size(); i += 3) {
            greys.insert(static_cast<std::uint8_t>(rgb[i]));
        }
        return greys;
    }
};

Decoded Decode(const std::filesystem::path& file) {
    Decoded d;
    std::string size;
    if (RunCommand("identify -format '%w %h' " + file.string(), &size) != 0) {
        ADD_FAILURE() << "identify cannot read " << file;
        return d;
    }
    std::istringstream(size) >> d.width >> d.height;
    RunCommand("convert " + file.string() + " -auto-orient -depth 8 rgb:-", &d.rgb);
    EXPECT_EQ(d.rgb.size(), static_cast<std::size_t>(d.width) * static_cast<std::size_t>(d.height) * 3)
        << file;
    return d;
}

// A real model with depth to spare: a sphere (Debian's assimp-testmodels, else the project's copy).
std::filesystem::path SphereModel() {
    for (const std::filesystem::path& candidate :
         {std::filesystem::path("/usr/share/assimp/models/STL/sphereWithHole.stl"),
          test::DataFile("models/admesh_sphereWithHole_vrml1.wrl")}) {
        if (std::filesystem::exists(candidate)) {
            return candidate;
        }
    }
    return {};
}

class SceneRenderTest : public testing::Test {
protected:
    void SetUp() override {
        if (!test::ToolAvailable("identify") || !test::ToolAvailable("convert")) {
            GTEST_SKIP() << "ImageMagick is not installed";
        }
    }
    // Without DISPLAY: the scene path must need no display at all.
    static int Run(const std::string& args, std::string* out = nullptr) {
        return RunCommand(
            std::string("env -u DISPLAY " VM_GL_CHILD_ENV " ") + VM_RENDERER_PATH + " " + args + " 2>&1",
            out);
    }
    std::string File(const std::string& name) const { return (dir_ / name).string(); }
    test::TempDir dir_;
};

TEST_F(SceneRenderTest, ModelGivesAStereogramTheCaptureAndTheColourPicture) {
    const auto model = SphereModel();
    if (model.empty()) {
        GTEST_SKIP() << "no sphere model available";
    }
    std::string out;
    ASSERT_EQ(Run("--model " + model.string() + " --view 320x240 -W 640 -H 480 --background ff0000 -o " +
                      File("s.png") + " --depth-out " + File("d.png") + " --picture-out " + File("p.bmp"),
                  &out),
              0)
        << out;
    const Decoded stereo = Decode(File("s.png"));
    EXPECT_EQ(stereo.width, 640);
    EXPECT_EQ(stereo.height, 480);

    const Decoded depth = Decode(File("d.png"));
    ASSERT_EQ(depth.width, 320);
    ASSERT_EQ(depth.height, 240);
    const std::set<int> greys = depth.Greys();
    EXPECT_EQ(*greys.rbegin(), 255);      // nearest drawn point
    EXPECT_EQ(*greys.upper_bound(0), 3);  // farthest drawn point
    EXPECT_GT(greys.size(), 100U) << "a sphere spans the grey scale";
    for (const auto& [row, col] : {std::pair{0, 0}, {0, 319}, {239, 0}, {239, 319}}) {
        EXPECT_EQ(depth.At(row, col), (std::array<int, 3>{0, 0, 0})) << row << "," << col;
    }
    EXPECT_EQ(depth.At(120, 160)[0], depth.At(120, 160)[2]) << "grey, not colour";
    EXPECT_GT(depth.At(120, 160)[0], 200) << "the sphere faces the camera in the middle";

    const Decoded picture = Decode(File("p.bmp"));
    ASSERT_EQ(picture.width, 320);
    ASSERT_EQ(picture.height, 240);
    EXPECT_EQ(picture.At(0, 0), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(picture.At(239, 319), (std::array<int, 3>{255, 0, 0}));
    EXPECT_NE(picture.At(120, 160), (std::array<int, 3>{255, 0, 0}));
}

TEST_F(SceneRenderTest, TextIsDrawnTurnedByRotateAndEmptyTextDrawsNothing) {
    const std::string common = " --view 200x150 -W 300 -H 200 -o " + File("s.png") + " --depth-out ";
    ASSERT_EQ(Run("--text '' " + common + File("empty.png")), 0);
    EXPECT_EQ(Decode(File("empty.png")).Greys(), std::set<int>{0});

    ASSERT_EQ(Run("--text AB" + common + File("front.png")), 0);
    ASSERT_EQ(Run("--text AB --rotate 0,90,0" + common + File("side.png")), 0);
    const Decoded front = Decode(File("front.png"));
    const Decoded side = Decode(File("side.png"));
    EXPECT_EQ(*front.Greys().rbegin(), 255);
    EXPECT_EQ(*side.Greys().rbegin(), 255);
    const auto drawn = [](const Decoded& d) {
        return std::count_if(d.rgb.begin(), d.rgb.end(), [](char c) { return c != 0; });
    };
    // Seen edge-on, the text shows only its thin extrusion.
    EXPECT_LT(drawn(side) * 3, drawn(front));
}

TEST_F(SceneRenderTest, DepthOutOfAPictureIsTheMapFittedToTheStereogram) {
    // 80 x 60 grey fitted to 100 pixels wide is 75 rows high, 12 rows above the bottom edge.
    const std::string grey = File("grey.png");
    ASSERT_EQ(RunCommand("convert -size 80x60 xc:'rgb(128,128,128)' " + grey), 0);
    ASSERT_EQ(Run(grey + " -W 100 -H 100 -o " + File("s.png") + " --depth-out " + File("d.tga")), 0);
    const Decoded fitted = Decode(File("d.tga"));
    ASSERT_EQ(fitted.width, 100);
    ASSERT_EQ(fitted.height, 100);
    for (const int col : {0, 50, 99}) {
        EXPECT_EQ(fitted.At(12, col)[0], 0) << col;
        EXPECT_EQ(fitted.At(13, col)[0], 128) << col;
        EXPECT_EQ(fitted.At(87, col)[0], 128) << col;
        EXPECT_EQ(fitted.At(88, col)[0], 0) << col;
    }
    // At its own size the map is written unchanged.
    const std::string torus = std::string(VM_SOURCE_DIR) + "/DepthMaps/Torus.png";
    ASSERT_EQ(Run(torus + " -W 800 -H 600 -o " + File("t.png") + " --depth-out " + File("td.png")), 0);
    EXPECT_EQ(Decode(File("td.png")).rgb, Decode(torus).rgb);
}

TEST_F(SceneRenderTest, FailuresNameTheirCauseOnOneLine) {
    struct Case {
        std::string args;
        int status;
        std::string named;
    };
    const std::string out = " -o " + File("x.png");
    const std::vector<Case> cases = {
        {"--model " + File("teapot.dds") + out, 1, ".dds"},
        {"--model " + File("missing.obj") + out, 1, "missing.obj"},
        {"--model a.obj " + std::string(VM_SOURCE_DIR) + "/DepthMaps/Torus.png" + out, 2, "not both"},
        {"--text A --model a.obj" + out, 2, "not both"},
        {"--text A --view 0x10" + out, 2, "--view"},
        {"--text A --rotate 1,2" + out, 2, "--rotate"},
        {"--text A --background 12345g" + out, 2, "--background"},
        {"--text A --depth-space 501" + out, 2, "--depth-space"},
        {"--text A --picture-out p.gif" + out, 2, "p.gif"},
        {"--text A -o " + File("m.avi"), 2, "movie"},
        {std::string(VM_SOURCE_DIR) + "/DepthMaps/Torus.png --rotate 0,0,1" + out, 2, "--model or --text"},
    };
    for (const Case& c : cases) {
        std::string text;
        EXPECT_EQ(Run(c.args, &text), c.status) << c.args << ": " << text;
        EXPECT_NE(text.find(c.named), std::string::npos) << c.args << ": " << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << c.args << ": " << text;
    }
    // No EGL driver at all (glvnd told to load none): the cause, on one line.
    std::string text;
    EXPECT_EQ(RunCommand(std::string("env -u DISPLAY " VM_GL_CHILD_ENV
                                     " __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json ") +
                             VM_RENDERER_PATH + " --text A" + out + " 2>&1",
                         &text),
              1);
    EXPECT_NE(text.find("No OpenGL without a display"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "x.png"));
    // Where Qt cannot make its runtime folder and Mesa its shader cache, neither says so: a run
    // that works prints nothing, one that fails its one line.
    const std::string unwritable =
        std::string("env -u DISPLAY " VM_GL_CHILD_ENV
                    " XDG_RUNTIME_DIR=/proc/none HOME=/proc XDG_CACHE_HOME=/proc ") +
        VM_RENDERER_PATH;
    EXPECT_EQ(RunCommand(unwritable + " --text A -W 64 -H 48" + out + " 2>&1", &text), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(RunCommand(unwritable + " --model " + File("missing.obj") + out + " 2>&1", &text), 1);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

// A font family that is not installed is refused rather than replaced by another; a name
// fontconfig maps to an installed family (Arial to Liberation Sans) and Qt's own generic name are
// drawn. A text past its limit is refused with the limit.
TEST_F(SceneRenderTest, UnknownFontFamilyAndOverlongTextAreRefused) {
    const struct {
        std::string args;
        int status;
        std::string message;
    } cases[] = {
        {"--text ABC --font NoSuchFamily", 2,
         "vistamaze-render: --font: no font family \"NoSuchFamily\" is installed\n"},
        {"--text " + std::string(10001, 'A'), 1,
         "vistamaze-render: The 3D text has 10001 characters; it can have at most 10000\n"},
        {"--text ABC --font Arial", 0, ""},
        {"--text ABC --font 'Sans Serif'", 0, ""},
    };
    for (const auto& c : cases) {
        std::string text;
        EXPECT_EQ(Run(c.args + " --view 80x60 -W 80 -H 60 -o " + File("x.png"), &text), c.status) << text;
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
        EXPECT_EQ(std::filesystem::remove(dir_ / "x.png"), c.status == 0) << c.args.substr(0, 30);
    }
}

TEST_F(SceneRenderTest, DepthSlidersReachTheCapture) {
    const auto model = SphereModel();
    if (model.empty()) {
        GTEST_SKIP() << "no sphere model available";
    }
    // "Depth space" at -500 spans 0.49 of the grey scale: the farthest drawn point gets 131.
    ASSERT_EQ(Run("--model " + model.string() + " --view 160x120 --depth-space -500 -W 200 -H 100 -o " +
                  File("s.png") + " --depth-out " + File("d.png")),
              0);
    const std::set<int> greys = Decode(File("d.png")).Greys();
    EXPECT_EQ(*greys.rbegin(), 255);
    EXPECT_EQ(*greys.upper_bound(0), 131);
}

}  // namespace
}  // namespace vistamaze::cli
