// Scene movies of the command-line renderer (--frames), run as a user runs them on a machine with
// no display; movies are read back with ffprobe and ffmpeg.
#include "cli/RenderOptions.h"
#include "tests/cli/RendererChild.h"
#include "tests/support/TestSupport.h"

#include <csignal>
#include <filesystem>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

namespace vistamaze::cli {
namespace {

using test::RunCommand;

RenderOptions Parse(std::initializer_list<std::string> args) {
    return ParseRenderOptions(std::vector<std::string>(args));
}

TEST(AnimationOptionsTest, FramesBringTheAnimationDialogDefaults) {
    const RenderOptions o = Parse({"--model", "m.obj", "--frames", "7", "-o", "m.avi"});
    ASSERT_TRUE(o.animation.Requested());
    EXPECT_EQ(*o.animation.frames, 7);
    EXPECT_EQ(o.width, 1920);
    EXPECT_EQ(o.height, 1080);
    EXPECT_EQ(o.fps, 25);
    EXPECT_EQ(o.type, StereogramKind::Textured);
    EXPECT_EQ(o.oversampling, 4);
    EXPECT_EQ(o.animation.rotateStep, (std::array<int, 3>{0, 3, 0}));
    EXPECT_EQ(o.textureStepX, 0);
    EXPECT_EQ(o.textureStepY, 15);
    EXPECT_EQ(o.animation.zoomStep, 0);
    EXPECT_EQ(o.animation.moveStep, (std::array<int, 2>{0, 0}));
    EXPECT_EQ(o.animation.textureScaleStep, 0.0);
}

TEST(AnimationOptionsTest, GivenOptionsOverrideTheDefaults) {
    const RenderOptions o = Parse({"--text",
                                   "A",
                                   "-W",
                                   "320",
                                   "--height=200",
                                   "--fps",
                                   "30",
                                   "--texture-step",
                                   "-2,0",
                                   "--rotate-step",
                                   "1,-2,3",
                                   "--zoom-step",
                                   "10",
                                   "--move-step",
                                   "-5,4",
                                   "--texture-scale-step",
                                   "-2.5",
                                   "--oversampling",
                                   "2",
                                   "--frames",
                                   "3",
                                   "-o",
                                   "m.AVI"});
    EXPECT_EQ(o.width, 320);
    EXPECT_EQ(o.height, 200);
    EXPECT_EQ(o.fps, 30);
    EXPECT_EQ(o.oversampling, 2);
    EXPECT_EQ(o.textureStepX, -2);
    EXPECT_EQ(o.textureStepY, 0);
    EXPECT_EQ(o.animation.rotateStep, (std::array<int, 3>{1, -2, 3}));
    EXPECT_EQ(o.animation.zoomStep, 10);
    EXPECT_EQ(o.animation.moveStep, (std::array<int, 2>{-5, 4}));
    EXPECT_EQ(o.animation.textureScaleStep, -2.5);
}

TEST(AnimationOptionsTest, MisusedAnimationOptionsAreUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        std::string named;  // in the message
    };
    const std::vector<Case> cases = {
        {{"--model", "m.obj", "--rotate-step", "0,1,0", "-o", "m.png"}, "--frames"},
        {{"--model", "m.obj", "--zoom-step", "5", "-o", "m.png"}, "--frames"},
        {{"d.png", "--frames", "3", "-o", "m.avi"}, "--model or --text"},
        {{"--model", "m.obj", "--frames", "3", "-o", "m.png"}, ".avi, .mp4 or .webm"},
        {{"--model", "m.obj", "-o", "m.avi"}, "--frames"},
        {{"--model", "m.obj", "--frames", "-1", "-o", "m.avi"}, "--frames"},
        {{"--model", "m.obj", "--frames", "3", "--rotate-step", "1,2", "-o", "m.avi"}, "--rotate-step"},
        {{"--model", "m.obj", "--frames", "3", "--zoom-step", "-100", "-o", "m.avi"}, "--zoom-step"},
        {{"--model", "m.obj", "--frames", "3", "--texture-scale-step", "x", "-o", "m.avi"},
         "--texture-scale-step"},
        {{"--model", "m.obj", "--frames", "3", "--depth-out", "d.png", "-o", "m.avi"}, "--depth-out"},
        {{"a.png", "b.png", "--texture-step", "-1,0", "-o", "m.avi"}, "--texture-step"},
        {{"--model", "m.obj", "--frames", "0", "-o", "m.mp4"}, "a compressed movie needs at least one"},
    };
    for (const Case& c : cases) {
        try {
            ParseRenderOptions(c.args);
            ADD_FAILURE() << testing::PrintToString(c.args) << " was accepted";
        } catch (const UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos)
                << testing::PrintToString(c.args) << ": " << e.what();
        }
    }
}

// What ffprobe sees of a movie's streams.
struct MovieInfo {
    int width = 0;
    int height = 0;
    std::string rate;
    int frames = -1;
    bool audio = false;
    std::string codecs;  // of every stream, in order: "rawvideo,pcm_s16le"
};

MovieInfo Probe(const std::filesystem::path& movie) {
    MovieInfo info;
    std::string text;
    if (RunCommand("ffprobe -v error -count_frames -show_entries "
                   "stream=codec_type,width,height,r_frame_rate,nb_read_frames,codec_name -of csv=p=0 " +
                       movie.string(),
                   &text) != 0) {
        ADD_FAILURE() << "ffprobe cannot read " << movie;
        return info;
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string codec;
        std::getline(fields, codec, ',');
        info.codecs += (info.codecs.empty() ? "" : ",") + codec;
        std::string type;
        std::getline(fields, type, ',');
        if (type == "audio") {
            info.audio = true;
        } else if (type == "video") {
            std::string w;
            std::string h;
            std::string frames;
            std::getline(fields, w, ',');
            std::getline(fields, h, ',');
            std::getline(fields, info.rate, ',');
            std::getline(fields, frames, ',');
            info.width = std::stoi(w);
            info.height = std::stoi(h);
            // A stream of no frames has no count: ffprobe says N/A.
            info.frames = frames == "N/A" ? 0 : std::stoi(frames);
        }
    }
    return info;
}

// Every frame of a movie as ffmpeg decodes it: RGB, top row first.
std::vector<std::string> DecodeFrames(const std::filesystem::path& movie, int width, int height) {
    std::string raw;
    RunCommand("ffmpeg -v error -i " + movie.string() + " -f rawvideo -pix_fmt rgb24 -", &raw);
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    std::vector<std::string> frames;
    for (std::size_t at = 0; at + size <= raw.size(); at += size) {
        frames.push_back(raw.substr(at, size));
    }
    EXPECT_EQ(raw.size() % size, 0U) << movie;
    return frames;
}

class AnimationProcessTest : public testing::Test {
protected:
    void SetUp() override {
        if (!test::ToolAvailable("ffprobe") || !test::ToolAvailable("ffmpeg")) {
            GTEST_SKIP() << "ffmpeg is not installed";
        }
    }
    static std::string Model() { return std::string(VM_SOURCE_DIR) + "/Models/TorusKnot.obj"; }
    // Without DISPLAY: a scene movie must need no display at all. Small frames keep it quick.
    static int Run(const std::string& args, std::string* out = nullptr, const std::string& env = "") {
        return RunCommand("env -u DISPLAY " VM_GL_CHILD_ENV " " + env + " " + VM_RENDERER_PATH +
                              " --view 160x120 " + args + " 2>&1",
                          out);
    }
    std::string File(const std::string& name) const { return (dir_ / name).string(); }
    test::TempDir dir_;
};

TEST_F(AnimationProcessTest, MoviesHaveTheirSizeRateFrameCountAndSound) {
    struct Case {
        std::string args;
        const char* extension;
        int width;
        int height;
        std::string rate;  // 1000 / frame time in milliseconds
        int frames;
        bool audio;
        const char* codecs;
    };
    const std::string wav = test::DataFile("audio/chuck_snare_01.wav").string();
    const std::vector<Case> cases = {
        {"--model " + Model() + " --frames 2 --oversampling 1", ".avi", 1920, 1080, "25/1", 2, false,
         "rawvideo"},
        {"--text AB -W 320 -H 200 --fps 30 --frames 3", ".avi", 320, 200, "1000/33", 3, false, "rawvideo"},
        {"--model " + Model() + " -W 240 -H 160 --fps 12 --frames 4 --audio " + wav, ".avi", 240, 160,
         "1000/83", 4, true, "rawvideo,pcm_s16le"},
        {"--model " + Model() + " -W 240 -H 160 --frames 0", ".avi", 240, 160, "25/1", 0, false, "rawvideo"},
        {"--model " + Model() + " -W 240 -H 160 --fps 12 --frames 4 --audio " + wav, ".mp4", 240, 160,
         "1000/83", 4, true, "h264,aac"},
        {"--text AB -W 320 -H 200 --fps 30 --frames 3 --crf 30 --preset fast", ".MP4", 320, 200, "1000/33", 3,
         false, "h264"},
        {"--model " + Model() + " -W 240 -H 160 --frames 5 --audio " + wav, ".webm", 240, 160, "25/1", 5,
         true, "vp9,opus"},
    };
    for (const Case& c : cases) {
        const std::string movie = File(std::string("m") + c.extension);
        std::string out;
        ASSERT_EQ(Run(c.args + " -o " + movie, &out), 0) << c.args << ": " << out;
        const MovieInfo info = Probe(movie);
        EXPECT_EQ(info.width, c.width) << c.args;
        EXPECT_EQ(info.height, c.height) << c.args;
        EXPECT_EQ(info.rate, c.rate) << c.args;
        EXPECT_EQ(info.frames, c.frames) << c.args;
        EXPECT_EQ(info.audio, c.audio) << c.args;
        EXPECT_EQ(info.codecs, c.codecs) << c.args;
    }
}

TEST_F(AnimationProcessTest, FramesChangeOnlyWithTheirSteps) {
    struct Case {
        std::string steps;
        bool changing;  // every frame differs from the one before
    };
    const std::vector<Case> cases = {
        {"--rotate-step 0,0,0 --texture-step 0,0", false},
        {"--rotate-step 0,20,0 --texture-step 0,0", true},
        {"--rotate-step 0,0,0 --texture-step 0,0 --zoom-step 10", true},
        {"--rotate-step 0,0,0 --texture-step 0,0 --move-step 10,0", true},
        {"--rotate-step 0,0,0 --texture-step 7,0", true},
        {"--rotate-step 0,0,0 --texture-step 0,0 --texture-scale-step -10", true},
        // The texture scale starts at 100 percent; above it the texture stays as it is.
        {"--rotate-step 0,0,0 --texture-step 0,0 --texture-scale-step 10", false},
    };
    for (const Case& c : cases) {
        const std::string movie = File("m.avi");
        ASSERT_EQ(Run("--model " + Model() + " -W 320 -H 200 --frames 3 " + c.steps + " -o " + movie), 0)
            << c.steps;
        const std::vector<std::string> frames = DecodeFrames(movie, 320, 200);
        ASSERT_EQ(frames.size(), 3U) << c.steps;
        for (std::size_t i = 1; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i] != frames[i - 1], c.changing) << c.steps << ", frame " << i + 1;
        }
        EXPECT_NE(frames[0].find_first_not_of('\0'), std::string::npos)
            << c.steps << ": a picture, not black";
    }
}

TEST_F(AnimationProcessTest, OverlappedFramesAreThoseOfTheSequentialLoop) {
    const std::vector<std::string> cases = {
        "--model " + Model() + " --rotate-step 5,7,3 --move-step 4,-3 --texture-step 3,11",
        "--model " + Model() + " --zoom-step 10 --texture-scale-step -7.5 --converging",
        "--text Hi --rotate-step 0,30,0 --type random-dot-textured --seed 5",
    };
    for (const std::string& args : cases) {
        const std::string common = args + " -W 300 -H 180 --frames 4 -o ";
        ASSERT_EQ(Run(common + File("overlapped.avi")), 0) << args;
        ASSERT_EQ(Run(common + File("sequential.avi"), nullptr, "VISTAMAZE_RENDER_SEQUENTIAL=1"), 0) << args;
        EXPECT_EQ(Probe(File("overlapped.avi")).frames, 4) << args;
        EXPECT_EQ(test::ReadBytes(File("overlapped.avi")), test::ReadBytes(File("sequential.avi"))) << args;
    }
}

// The first work file found under `folder`, if any: an AVI's or a compressed movie's.
std::optional<std::filesystem::path> WorkFileUnder(const std::filesystem::path& folder) {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        const std::filesystem::path name = it->path().filename();
        if (name == "~AWTemp.avi" || name == "movie.mp4" || name == "movie.webm") {
            return it->path();
        }
    }
    return std::nullopt;
}

// The frames a stop note says the movie holds; -1 when it says none.
int FramesInNote(const std::string& note) {
    const std::size_t at = note.find("holds the ");
    return at == std::string::npos ? -1 : std::stoi(note.substr(at + 10));
}

// Every request to stop, once or twice, at two moments: when the work file holds a few frames,
// and while the scene is still being built (the work file is made before it; a large view makes
// the build take a while). Nothing is ever left in the temporary folder or beside the movie.
TEST_F(AnimationProcessTest, StopSignalsKeepTheFramesWrittenOrTheOldMovie) {
    struct Case {
        std::vector<int> signals;  // each sent once the run has answered the one before
        bool duringFrames;         // else while the scene is built
        int status;
        std::string note;  // in the last line; empty: the movie holds the frames the note names
        const char* extension = ".avi";
    };
    const std::vector<Case> cases = {
        {{SIGINT}, true, 130, ""},
        {{SIGTERM}, true, 143, ""},
        {{SIGHUP}, true, 129, ""},
        {{SIGINT}, false, 130, "stopped (SIGINT) before the first frame; \""},
        {{SIGINT, SIGINT}, false, 130, "stopped (SIGINT) at once; \""},
        {{SIGTERM, SIGTERM}, false, 143, "stopped (SIGTERM) at once; \""},
        {{SIGINT}, true, 130, "", ".mp4"},
        {{SIGTERM}, true, 143, "", ".webm"},
        {{SIGINT, SIGINT}, false, 130, "stopped (SIGINT) at once; \"", ".mp4"},
    };
    const std::vector<std::uint8_t> old(30000, 0x5A);
    for (const Case& c : cases) {
        const test::TempDir dir;
        std::filesystem::create_directory(dir / "out");
        const std::filesystem::path movie = dir / "out" / (std::string("m") + c.extension);
        test::WriteBytes(movie, old);
        test::RendererChild child("--model " + Model() +
                                      (c.duringFrames ? " --view 160x120" : " --view 3000x3000") +
                                      " -W 320 -H 200 --frames 100000 -o " + movie.string(),
                                  dir / "tmp", dir / "run", dir / "log");
        ASSERT_TRUE(child.Started());
        // A compressed movie's first frames are a few kilobytes.
        const std::uintmax_t fewFrames =
            std::string_view(c.extension) == ".avi" ? 3U * 320U * 200U * 3U : 20000U;
        const bool underWay = child.WaitUntil([&] {
            const auto file = WorkFileUnder(dir / "tmp");
            std::error_code ec;
            return file && (!c.duringFrames || (std::filesystem::file_size(*file, ec) > fewFrames && !ec));
        });
        ASSERT_TRUE(underWay) << "no work file within a minute";
        std::string note;
        for (std::size_t i = 0; i < c.signals.size(); ++i) {
            // The first request is answered at once with a line of its own.
            ASSERT_TRUE(i == 0 || child.WaitUntil([&] {
                RunCommand("cat " + (dir / "log").string(), &note);
                return note.find("stops before its next frame") != std::string::npos;
            }));
            child.Signal(c.signals[i]);
        }
        EXPECT_EQ(child.Wait(), c.status) << c.note;
        RunCommand("cat " + (dir / "log").string(), &note);
        EXPECT_TRUE(test::EntriesOf(dir / "tmp").empty()) << c.note << ": the work file or folder was left";
        EXPECT_EQ(test::EntriesOf(dir / "out"), std::vector<std::string>{movie.filename().string()})
            << c.note;
        EXPECT_EQ(std::count(note.begin(), note.end(), '\n'), 2) << note;
        if (c.note.empty()) {
            const MovieInfo info = Probe(movie);
            EXPECT_GE(info.frames, 3);
            EXPECT_EQ(FramesInNote(note), info.frames) << note;
            EXPECT_EQ(info.width, 320);
        } else {
            EXPECT_NE(note.find(c.note + movie.string() + "\" was left as it was\n"), std::string::npos)
                << note;
            EXPECT_TRUE(test::ReadBytes(movie) == old) << c.note << ": the old movie was changed";
        }
    }
}

}  // namespace
}  // namespace vistamaze::cli
