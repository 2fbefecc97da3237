#include "cli/RenderOptions.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

namespace vistamaze::cli {
namespace {

using test::RunCommand;
using test::TempDir;

RenderOptions Parse(std::initializer_list<std::string> args) {
    return ParseRenderOptions(std::vector<std::string>(args));
}

TEST(RenderOptionsTest, DefaultsAreTheMainWindowStartValues) {
    const RenderOptions o = Parse({"depth.png", "-o", "out.png"});
    EXPECT_EQ(o.type, StereogramKind::Textured);
    EXPECT_EQ(o.width, 1000);
    EXPECT_EQ(o.height, 760);
    EXPECT_EQ(o.dpi, 72);
    EXPECT_EQ(o.oversampling, 4);
    EXPECT_EQ(o.distance, 14.0);
    EXPECT_EQ(o.maxDepth, 14.0);
    EXPECT_EQ(o.minDepth, 8.0);
    EXPECT_TRUE(o.stretch);
    EXPECT_FALSE(o.guideDots);
    EXPECT_TRUE(o.texture.empty());
    EXPECT_EQ(o.quality, 95);
}

TEST(RenderOptionsTest, ValuesArriveSeparatedOrInline) {
    const RenderOptions o = Parse({"a.png",
                                   "--type=random-dot",
                                   "-W",
                                   "1920",
                                   "--height=1080",
                                   "--dpi",
                                   "100",
                                   "--blur",
                                   "heavy",
                                   "--dot-colors",
                                   "rgb",
                                   "--converging",
                                   "--no-stretch",
                                   "--guide-dots",
                                   "--texture-offset",
                                   "3,4",
                                   "--seed",
                                   "7",
                                   "--max-depth",
                                   "12.5",
                                   "b.png",
                                   "--output",
                                   "o/%n.png",
                                   "--png-level",
                                   "6"});
    EXPECT_EQ(o.depthMaps, (std::vector<std::string>{"a.png", "b.png"}));
    EXPECT_EQ(o.type, StereogramKind::RandomDot);
    EXPECT_EQ(o.width, 1920);
    EXPECT_EQ(o.height, 1080);
    EXPECT_EQ(o.dpi, 100);
    EXPECT_EQ(o.blur, BlurLevel::Heavy);
    EXPECT_EQ(o.dotColors, RandomDotColors::Rgb);
    EXPECT_TRUE(o.converging);
    EXPECT_FALSE(o.stretch);
    EXPECT_TRUE(o.guideDots);
    EXPECT_EQ(o.textureOffsetX, 3);
    EXPECT_EQ(o.textureOffsetY, 4);
    EXPECT_EQ(o.seed, 7U);
    EXPECT_EQ(o.maxDepth, 12.5);
    EXPECT_EQ(o.png.level, 6);
    EXPECT_EQ(OutputFileFor(o, 1, 2), "o/2.png");
}

TEST(RenderOptionsTest, BadCommandLinesAreUsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"a.png"},
        {"-o", "x.png"},
        {"a.png", "-o"},
        {"a.png", "-o", "x.png", "--oversampling", "9"},
        {"a.png", "-o", "x.png", "--width", "12a"},
        {"a.png", "-o", "x.png", "--type", "magic"},
        {"a.png", "-o", "x.png", "--frobnicate"},
        {"a.png", "-o", "x.png", "--texture-offset", "3"},
        {"a.png", "-o", "x.png", "--distance", "-4"},
        {"a.png", "-o", "x.png", "--converging=yes"},
    };
    for (const auto& args : bad) {
        EXPECT_THROW(ParseRenderOptions(args), UsageError) << testing::PrintToString(args);
    }
    EXPECT_TRUE(Parse({"--help"}).help);
}

TEST(RenderOptionsTest, SeveralOutputsAreNumberedOrPlacedInAFolder) {
    RenderOptions o = Parse({"maps/a.png", "maps/b.bmp", "-o", "frame-%n.jpg"});
    o.depthMaps.resize(12, "maps/c.png");
    EXPECT_EQ(OutputFileFor(o, 0, 12), "frame-01.jpg");
    EXPECT_EQ(OutputFileFor(o, 11, 12), "frame-12.jpg");
    o.output = "outdir";
    EXPECT_EQ(OutputFileFor(o, 1, 12), "outdir/b.png");
    EXPECT_EQ(OutputFileFor(o, 0, 1), "outdir");
}

// The renderer as a user runs it, checked with ImageMagick.
class RendererProcessTest : public testing::Test {
protected:
    static std::string Renderer() { return VM_RENDERER_PATH; }
    static std::string Sample(const std::string& name) { return std::string(VM_SOURCE_DIR) + "/" + name; }
    static int Run(const std::string& args, std::string* out = nullptr) {
        return RunCommand(Renderer() + " " + args + " 2>&1", out);
    }
    TempDir dir_;
};

TEST_F(RendererProcessTest, WritesEveryFormatWithTheRequestedSizeAndDensity) {
    if (!test::ToolAvailable("identify")) {
        GTEST_SKIP() << "ImageMagick identify is not installed";
    }
    for (const std::string ext : {"png", "jpg", "bmp", "tga"}) {
        const auto file = dir_ / ("stereo." + ext);
        ASSERT_EQ(Run(Sample("DepthMaps/Torus.png") + " -W 1920 -H 1080 --dpi 100 -o " + file.string()), 0);
        std::string info;
        ASSERT_EQ(RunCommand("identify -format '%w %h %x %U' " + file.string(), &info), 0);
        std::istringstream in(info);
        int w = 0;
        int h = 0;
        double density = 0;
        std::string units;
        in >> w >> h >> density >> units;
        EXPECT_EQ(w, 1920) << ext;
        EXPECT_EQ(h, 1080) << ext;
        if (ext == "png" || ext == "jpg") {
            const double dpi = units == "PixelsPerCentimeter" ? density * 2.54 : density;
            EXPECT_NEAR(dpi, 100.0, 0.05) << ext << ": " << info;
        }
    }
}

TEST_F(RendererProcessTest, FixedSeedRendersAreRepeatable) {
    const auto a = dir_ / "a.bmp";
    const auto b = dir_ / "b.bmp";
    const std::string common =
        Sample("DepthMaps/Spheres.png") + " --type random-dot-textured --blur light --seed 99 -o ";
    ASSERT_EQ(Run(common + a.string()), 0);
    ASSERT_EQ(Run(common + b.string()), 0);
    EXPECT_EQ(test::ReadBytes(a), test::ReadBytes(b));
}

// Every frame of a movie made with --guide-dots, as ffmpeg decodes it, differs from the same movie
// without them in the few pixels of the dots.
TEST_F(RendererProcessTest, GuideDotsReachEveryMovieFrame) {
    if (!test::ToolAvailable("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    std::string frames[2];
    for (int dots = 0; dots < 2; ++dots) {
        const std::string movie = (dir_ / (std::to_string(dots) + ".avi")).string();
        ASSERT_EQ(
            Run(Sample("DepthMaps/Torus.png") + " " + Sample("DepthMaps/Pyramid.png") +
                " --type random-dot --seed 5 -W 400 -H 300 -o " + movie + (dots ? " --guide-dots" : "")),
            0);
        ASSERT_EQ(RunCommand("ffmpeg -v error -i " + movie + " -f rawvideo -pix_fmt rgb24 -", &frames[dots]),
                  0);
    }
    const std::size_t frameBytes = 400U * 300U * 3U;
    ASSERT_EQ(frames[0].size(), 2 * frameBytes);
    ASSERT_EQ(frames[1].size(), 2 * frameBytes);
    for (std::size_t frame = 0; frame < 2; ++frame) {
        long changed = 0;
        for (std::size_t i = frame * frameBytes; i < (frame + 1) * frameBytes; i += 3) {
            changed += frames[0].compare(i, 3, frames[1], i, 3) != 0 ? 1 : 0;
        }
        EXPECT_GT(changed, 20) << frame;
        EXPECT_LT(changed, 300) << frame;
    }
}

TEST_F(RendererProcessTest, ErrorsGiveOneLineAndTheirExitStatus) {
    std::string out;
    EXPECT_EQ(Run("--bogus", &out), 2);
    EXPECT_NE(out.find("unknown option --bogus"), std::string::npos) << out;
    EXPECT_EQ(Run(Sample("DepthMaps/Torus.png") + " -o " + (dir_ / "x.gif").string(), &out), 2);
    EXPECT_EQ(Run((dir_ / "missing.png").string() + " -o " + (dir_ / "x.png").string(), &out), 1);
    EXPECT_NE(out.find("missing.png"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "x.png"));
    EXPECT_EQ(
        Run(Sample("DepthMaps/Torus.png") + " -t " + Sample("README.md") + " -o " + (dir_ / "y.png").string(),
            &out),
        1);
    EXPECT_EQ(Run("--version", &out), 0);
    EXPECT_NE(out.find("vistamaze-render"), std::string::npos);
}

TEST_F(RendererProcessTest, ImpossibleGeometryIsExplainedWithTheOptionsToChange) {
    const std::string torus = Sample("DepthMaps/Torus.png");
    struct Case {
        std::string args;
        std::string output;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"--distance 0 --min-depth 0 --max-depth 0", "a.png", {"--distance 0 with --min-depth 0", "above 0"}},
        {"-W 4 -H 4 --distance 0 --min-depth 0", "b.png", {"--distance 0 with --min-depth 0"}},
        {"--max-depth 0.001", "c.png", {"--max-depth 0.001 gives", "less than 1 pixel wide at 72 dpi:"}},
        {"-W 3 -H 3 --max-depth 0.5",
         "d.png",
         {"--max-depth 0.5 gives", "-W 3 -H 3 lower --dpi 72 to 1", "or -W and -H"}},
        {"-W 10 --distance 0",
         "e.png",
         {"at 5 dpi (-W 10 -H 760 lower --dpi 72 to 5", "(-W 10)", "raise -W"}},
        {"-W 10 --distance 0 " + torus,
         "f.avi",
         {"(-W 10)", "\"" + (dir_ / "f.avi").string() + "\" was not"}},
    };
    for (const Case& c : cases) {
        std::string out;
        const auto target = dir_ / c.output;
        EXPECT_EQ(Run(torus + " " + c.args + " -o " + target.string(), &out), 1) << c.args;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
        EXPECT_EQ(out.rfind("vistamaze-render: ", 0), 0U) << out;
        for (const std::string& part : c.says) {
            EXPECT_NE(out.find(part), std::string::npos) << part << " in " << out;
        }
        for (const char* internal :
             {"Invalid floating point operation", "Division by zero", "Pattern width"}) {
            EXPECT_EQ(out.find(internal), std::string::npos) << out;
        }
        EXPECT_FALSE(std::filesystem::exists(target)) << c.args;
    }
}

TEST_F(RendererProcessTest, FileErrorsSayWhichFileAndWhatItWasFor) {
    const std::string torus = Sample("DepthMaps/Torus.png");
    auto bytes = test::ReadBytes(torus);
    bytes.resize(300);
    test::WriteBytes(dir_ / "cut.png", bytes);
    const std::string cut = (dir_ / "cut.png").string();
    const std::string out = (dir_ / "o.png").string();
    const std::pair<std::string, std::string> cases[] = {
        {torus + " " + cut + " -o " + (dir_ / "o%n.png").string(), "depth map: Invalid PNG file: "},
        {torus + " -t " + cut + " -o " + out, "texture: Invalid PNG file: "},
        // The first depth map is read beside the texture; its failure still comes after the
        // texture's and the sound track's.
        {cut + " -t " + cut + " -o " + out, "texture: Invalid PNG file: "},
        {cut + " -o " + (dir_ / "m.avi").string() + " --audio " + (dir_ / "none.wav").string(),
         "--audio \"" + (dir_ / "none.wav").string() + "\": cannot open it: No such file or directory"},
        {torus + " -o " + (dir_ / "no" / "o.png").string(),
         "output: Cannot create file \"" + dir_.Path().string()},
        {torus + " -o " + out + " --depth-out " + (dir_ / "no" / "d.png").string(),
         "depth map output: Cannot create"},
        {torus + " -o " + (dir_ / "m.avi").string() + " --audio " + (dir_ / "none.wav").string(),
         "--audio \"" + (dir_ / "none.wav").string() + "\": cannot open it: No such file or directory"},
        {"--model " + cut + " -o " + out, "model: Unknown model file extension \".png\" of \"" + cut + "\""},
    };
    for (const auto& [args, message] : cases) {
        std::string said;
        EXPECT_EQ(Run(args, &said), 1) << args;
        EXPECT_NE(said.find(message), std::string::npos) << said;
        if (message.find("Invalid PNG") != std::string::npos) {
            EXPECT_NE(said.find(cut), std::string::npos) << said;
        }
    }
}

TEST_F(RendererProcessTest, SeveralDepthMapsGoToAFolderOrANumberedPattern) {
    const std::string maps = Sample("DepthMaps/Torus.png") + " " + Sample("DepthMaps/Pyramid.png");
    ASSERT_EQ(Run(maps + " -W 200 -H 150 -o " + dir_.Path().string()), 0);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "Torus.png"));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "Pyramid.png"));
    ASSERT_EQ(Run(maps + " -W 200 -H 150 -o " + (dir_ / "f%n.tga").string()), 0);
    EXPECT_EQ(std::filesystem::file_size(dir_ / "f1.tga"), 18U + 200U * 150U * 3U);
    EXPECT_EQ(std::filesystem::file_size(dir_ / "f2.tga"), 18U + 200U * 150U * 3U);
    EXPECT_EQ(Run(maps + " -o " + (dir_ / "single.png").string()), 2);
}

}  // namespace
}  // namespace vistamaze::cli

namespace vistamaze::cli {
namespace {

TEST_F(RendererProcessTest, SeveralDepthMapsMakeAMovieWithSound) {
    if (!test::ToolAvailable("ffprobe")) {
        GTEST_SKIP() << "ffprobe is not installed";
    }
    const auto movie = dir_ / "turn.avi";
    const std::string maps = Sample("DepthMaps/Torus.png") + " " + Sample("DepthMaps/Pyramid.png") + " " +
                             Sample("DepthMaps/Spheres.png");
    ASSERT_EQ(Run(maps + " -W 320 -H 240 --fps 10 --texture-step 5,0 --audio " +
                  test::DataFile("audio/chuck_snare_01.wav").string() + " -o " + movie.string()),
              0);
    std::string info;
    ASSERT_EQ(
        RunCommand("ffprobe -v error -count_frames -show_entries "
                   "stream=codec_type,codec_name,width,height,nb_read_frames,r_frame_rate -of csv=p=0 " +
                       movie.string(),
                   &info),
        0);
    EXPECT_NE(info.find("rawvideo,video,320,240,10/1,3"), std::string::npos) << info;
    EXPECT_NE(info.find("audio"), std::string::npos) << info;
}

}  // namespace
}  // namespace vistamaze::cli
