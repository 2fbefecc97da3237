// Movies from vistamaze-render as users run it: side by side, and under a file size limit.

#include "output/UniqueFd.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <ostream>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>

namespace vistamaze::test {
namespace {

namespace fs = std::filesystem;

class MovieRendererTest : public ::testing::Test {
protected:
    // Starts the renderer on three depth maps with temp_ as its temporary folder.
    [[nodiscard]] std::string Render(const std::string& args) const {
        const std::string maps = std::string(VM_SOURCE_DIR) + "/DepthMaps/";
        return "TMPDIR='" + temp_.Path().string() + "' " + VM_RENDERER_PATH + " " + maps + "Torus.png " +
               maps + "Pyramid.png " + maps + "Spheres.png " + args + " 2>&1";
    }
    [[nodiscard]] bool TempEmpty() const { return fs::is_empty(temp_.Path()); }
    TempDir temp_;
    TempDir out_;
};

TEST_F(MovieRendererTest, ParallelRunsEachMakeTheirMovie) {
    if (!ToolAvailable("ffprobe")) {
        GTEST_SKIP() << "ffprobe is not installed";
    }
    // The shared work file is held meanwhile, as the desktop program holds it while it makes a movie.
    const UniqueFd held(::open((temp_ / "~AWTemp.avi").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_EQ(::flock(held.Get(), LOCK_EX | LOCK_NB), 0);
    std::string out;
    ASSERT_EQ(RunCommand(Render("-W 320 -H 240 -o " + (out_ / "a.avi").string()) + " & first=$!; " +
                             Render("-W 320 -H 240 -o " + (out_ / "b.avi").string()) +
                             " & second=$!; wait $first; s1=$?; wait $second; echo status $s1 $?",
                         &out),
              0);
    EXPECT_NE(out.find("status 0 0"), std::string::npos) << out;
    for (const char* movie : {"a.avi", "b.avi"}) {
        ASSERT_EQ(
            RunCommand("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 " +
                           (out_ / movie).string(),
                       &out),
            0);
        EXPECT_EQ(out, "3\n") << movie;
    }
    fs::remove(temp_ / "~AWTemp.avi");
    EXPECT_TRUE(TempEmpty()) << "a private work folder was left";
}

struct LimitCase {
    int blocks;           // ulimit -f, 512-byte blocks
    const char* options;  // passed on after the depth maps
    const char* message;  // how the one line starts, after "vistamaze-render: "
    const char* ending;   // how it ends
    int frames;           // the frames the movie holds; -1: the old movie stays
};

void PrintTo(const LimitCase& c, std::ostream* os) {
    *os << "ulimit -f " << c.blocks;
}

class FileSizeLimitTest : public MovieRendererTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(FileSizeLimitTest, GivesOneLineSayingWhatTheMovieHolds) {
    const LimitCase c = GetParam();
    const fs::path movie = out_ / "movie.avi";
    const std::vector<std::uint8_t> old(30000, 0x5A);
    WriteBytes(movie, old);
    std::string out;
    EXPECT_EQ(RunCommand("ulimit -f " + std::to_string(c.blocks) + "; " +
                             Render(std::string(c.options) + " -W 96 -H 72 -o " + movie.string()),
                         &out),
              1);
    EXPECT_EQ(out.rfind(std::string("vistamaze-render: ") + c.message, 0), 0U) << out;
    EXPECT_NE(out.find("\"" + movie.string() + "\""), std::string::npos) << out;
    EXPECT_TRUE(out.ends_with(std::string(c.ending) + "\n") && std::count(out.begin(), out.end(), '\n') == 1)
        << out;
    EXPECT_EQ(out.find("Err="), std::string::npos) << out;
    if (c.frames < 0) {
        EXPECT_TRUE(ReadBytes(movie) == old) << "the old movie was changed";
    } else if (ToolAvailable("ffprobe")) {
        ASSERT_EQ(
            RunCommand("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 " +
                           movie.string(),
                       &out),
            0);
        EXPECT_EQ(out, std::to_string(c.frames) + "\n");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(out_.Path()), fs::directory_iterator()), 1);
    EXPECT_TRUE(TempEmpty());
}

// 96 x 72 frames take 20 KB each: three fill about 67 KB of work file, and the sound makes the
// movie about 45 KB larger, past 180 blocks. With 100 blocks two frames fit, with 16 none.
INSTANTIATE_TEST_SUITE_P(
    Stages, FileSizeLimitTest,
    ::testing::Values(LimitCase{16, "", "cannot write frame 1 to the movie's work file \"",
                                "/movie.avi\" was left as it was", -1},
                      LimitCase{100, "", "cannot write frame 3 to the movie's work file \"",
                                "holds the 2 frames written", 2},
                      LimitCase{180, "--audio " VM_SOURCE_DIR "/tests/data/audio/chuck_snare_01.wav",
                                "Failed to save the movie", ": File too large; it was left as it was", -1}),
    [](const auto& tp) { return "Limit" + std::to_string(tp.param.blocks) + "Blocks"; });

}  // namespace
}  // namespace vistamaze::test
