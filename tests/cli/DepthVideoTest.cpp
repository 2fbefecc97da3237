// Depth videos on the command line: videos made by ffmpeg here become stereogram movies read back
// by ffprobe (frames, rate, size, sound stream); a picture output is refused; hostile videos end
// the run with one line naming the file and leave no output.
#include "engine/QuotedName.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vistamaze::test {
namespace {

namespace fs = std::filesystem;

class DepthVideoTest : public testing::Test {
protected:
    void SetUp() override {
        if (!ToolAvailable("ffmpeg") || !ToolAvailable("ffprobe")) {
            GTEST_SKIP() << "ffmpeg and ffprobe are not installed";
        }
    }
    // Makes `name` in the test's folder with ffmpeg's `arguments`.
    fs::path Make(const std::string& name, const std::string& arguments) const {
        const fs::path file = dir_ / name;
        EXPECT_EQ(RunCommand("ffmpeg -v error -y " + arguments + " '" + file.string() + "'"), 0) << name;
        return file;
    }
    // Runs the renderer; `out` takes its standard output and error.
    static int Render(const std::string& args, std::string* out = nullptr) {
        return RunCommand(std::string(VM_RENDERER_PATH) + " " + args + " 2>&1", out);
    }
    // ffprobe's values of `entries` for the streams of `movie` of one kind ("v", "a"), a line each.
    static std::string Probe(const fs::path& movie, const char* kind, const char* entries) {
        std::string out;
        RunCommand(std::string("ffprobe -v error -select_streams ") + kind +
                       " -show_entries stream=" + entries + " -of csv=p=0 '" + movie.string() + "'",
                   &out);
        return out;
    }
    TempDir dir_;
};

// A white box moving over black ground.
const std::string kMovingBox =
    "-f lavfi -i 'color=c=black:size=160x120:rate=12:duration=1.5,"
    "drawbox=x=20+t*40:y=30:w=60:h=60:color=white:t=fill'";

TEST_F(DepthVideoTest, MakesOneStereogramFramePerVideoFrameWithItsRateAndSound) {
    const fs::path withSound =
        Make("depth.mp4", kMovingBox +
                              " -f lavfi -i 'sine=frequency=440:sample_rate=32000:duration=1.5'"
                              " -pix_fmt yuv420p -c:v libx264 -c:a aac");
    const fs::path grey = Make(
        "depth.mkv", "-f lavfi -i 'testsrc=size=96x64:rate=30000/1001:duration=0.5' -pix_fmt gray -c:v ffv1");
    const fs::path wav = DataFile("audio/chuck_snare_01.wav");
    std::string wavRate;
    RunCommand("ffprobe -v error -show_entries stream=sample_rate -of csv=p=0 '" + wav.string() + "'",
               &wavRate);
    const struct {
        fs::path video;
        const char* output;
        std::string options;
        const char* frames;  // codec, size, rate and frame count
        std::string sound;   // codec and sample rate; empty: no sound stream
    } cases[] = {
        {withSound, "a.mp4", "", "h264,320,240,12/1,18\n", "aac,32000\n"},
        {withSound, "b.avi", "--fps 5", "rawvideo,320,240,5/1,18\n", "pcm_s16le,32000\n"},
        // A WebM states no frame count: they are counted below.
        {grey, "c.webm", "", "vp9,320,240,30000/1001,N/A\n", ""},
        // --audio takes the place of the video's own sound.
        {withSound, "d.avi", "--audio '" + wav.string() + "'", "rawvideo,320,240,12/1,18\n",
         "pcm_s16le," + wavRate},
    };
    for (const auto& c : cases) {
        const fs::path movie = dir_ / c.output;
        std::string log;
        ASSERT_EQ(
            Render("'" + c.video.string() + "' -W 320 -H 240 -o '" + movie.string() + "' " + c.options, &log),
            0)
            << c.output << ": " << log;
        EXPECT_EQ(Probe(movie, "v", "codec_name,width,height,r_frame_rate,nb_frames"), c.frames) << c.output;
        EXPECT_EQ(Probe(movie, "a", "codec_name,sample_rate"), c.sound) << c.output;
    }
    // The VP9 movie holds its 15 frames when counted.
    std::string counted;
    RunCommand("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 '" +
                   (dir_ / "c.webm").string() + "'",
               &counted);
    EXPECT_EQ(counted, "15\n");
}

// The MD5 sums of the frames of `movie`, one a line.
std::string FrameSums(const fs::path& movie) {
    std::string sums;
    RunCommand("ffmpeg -v error -i '" + movie.string() +
                   "' -map 0:v -f framemd5 - | grep -v '^#' | cut -d, -f6 | tr -d ' '",
               &sums);
    return sums;
}

TEST_F(DepthVideoTest, EachFrameIsTheStereogramOfItsVideoFrame) {
    // Four black frames, then four with a white box off the centre, so that a frame upside down
    // or mirrored would not match.
    const fs::path video = Make("steps.mkv",
                                "-f lavfi -i 'color=c=black:size=64x48:rate=4:duration=2,"
                                "drawbox=x=8:y=4:w=24:h=20:color=white:t=fill:enable=gte(t\\,1)'"
                                " -pix_fmt gray -c:v ffv1");
    const fs::path still =
        Make("frame5.png", "-i '" + video.string() + "' -vf 'select=eq(n\\,5)' -frames:v 1");
    ASSERT_EQ(Render("'" + video.string() + "' -W 160 -H 120 -o '" + (dir_ / "steps.avi").string() + "'"), 0);
    ASSERT_EQ(Render("'" + still.string() + "' '" + still.string() + "' -W 160 -H 120 -o '" +
                     (dir_ / "still.avi").string() + "'"),
              0);
    const std::string sums = FrameSums(dir_ / "steps.avi");
    const std::string boxSum = FrameSums(dir_ / "still.avi").substr(0, 33);
    ASSERT_EQ(sums.size(), 8U * 33U) << sums;
    const std::string blackSum = sums.substr(0, 33);
    EXPECT_NE(blackSum, boxSum);
    std::string expected;
    for (int i = 0; i < 8; ++i) {
        expected += i < 4 ? blackSum : boxSum;
    }
    EXPECT_EQ(sums, expected);
}

TEST_F(DepthVideoTest, PictureOutputIsRefusedNamingTheMovieOutputs) {
    const fs::path video = Make("depth.mp4", kMovingBox + " -pix_fmt yuv420p -c:v libx264");
    std::string log;
    EXPECT_EQ(Render("'" + video.string() + "' -o '" + (dir_ / "out.png").string() + "'", &log), 2);
    EXPECT_NE(log.find(QuotedName(video.string()) + " is a depth video"), std::string::npos) << log;
    EXPECT_NE(log.find("use -o NAME.mp4, NAME.webm or NAME.avi"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(dir_ / "out.png"));
}

TEST_F(DepthVideoTest, HostileVideosEndTheRunWithOneLineNamingTheFile) {
    const fs::path good = Make("good.mp4", kMovingBox + " -pix_fmt yuv420p -c:v libx264");
    std::vector<std::uint8_t> bytes = ReadBytes(good);
    bytes.resize(bytes.size() / 2);  // the index comes last: cut off with the second half
    WriteBytes(dir_ / "truncated.mp4", bytes);
    Make("sound.mkv", "-f lavfi -i 'sine=duration=1'");
    Make("wide.mkv", "-f lavfi -i 'color=c=gray:size=40000x16:rate=1:duration=1' -pix_fmt gray -c:v ffv1");
    std::ofstream(dir_ / "text.mov") << "not a video\n";
    // Raw sensor data, neither grey nor colour yet.
    WriteBytes(dir_ / "raw.bin", std::vector<std::uint8_t>(32 * 32 * 2, 0x80));
    Make("bayer.mov", "-f rawvideo -pix_fmt bayer_rggb8 -s 32x32 -r 5 -i '" + (dir_ / "raw.bin").string() +
                          "' -c:v copy -f nut");
    // An AVI whose stream header claims three million frames.
    bytes = ReadBytes(Make("few.avi", "-f lavfi -i 'color=c=gray:size=32x32:rate=5:duration=1' -c:v mjpeg"));
    const auto header = std::search(bytes.begin(), bytes.end(), std::begin("strh"), std::end("strh") - 1);
    ASSERT_NE(header, bytes.end());
    const auto length = static_cast<std::size_t>(header - bytes.begin()) + 8 + 32;
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[length + i] = static_cast<std::uint8_t>(3'000'000U >> (8 * i));
    }
    WriteBytes(dir_ / "many.avi", bytes);
    // A reader that crashes.
    std::ofstream(dir_ / "crashing-reader") << "#!/bin/sh\nkill -SEGV $$\n";
    fs::permissions(dir_ / "crashing-reader", fs::perms::owner_all);

    const struct {
        const char* file;
        const char* cause;
        std::string environment;
    } cases[] = {
        {"truncated.mp4", "cannot open it", ""},
        {"sound.mkv", "it holds no video stream", ""},
        {"wide.mkv", "its frames are 40000 x 16 pixels, more than a depth map may have", ""},
        {"text.mov", "cannot open it", ""},
        {"bayer.mov", "its pixel format bayer_rggb8 is neither grey nor colour", ""},
        {"many.avi", "it claims 3000000 frames, more than the 1000000 a depth video may have", ""},
        {"good.mp4", "the video reader stopped (Segmentation fault)",
         "VISTAMAZE_VIDEO_READER='" + (dir_ / "crashing-reader").string() + "' "},
    };
    for (const auto& c : cases) {
        const fs::path out = dir_ / "out.mp4";
        std::string log;
        EXPECT_EQ(RunCommand(c.environment + VM_RENDERER_PATH + " '" + (dir_ / c.file).string() + "' -o '" +
                                 out.string() + "' 2>&1",
                             &log),
                  1)
            << c.file;
        const std::string line = "vistamaze-render: Cannot read depth video " +
                                 QuotedName((dir_ / c.file).string()) + ": " + c.cause;
        EXPECT_TRUE(log.starts_with(line)) << log;
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
        EXPECT_FALSE(fs::exists(out)) << c.file;
    }
}

// A frame that cannot be decoded halfway through: the run fails naming the file, and the movie
// keeps the frames made before it.
TEST_F(DepthVideoTest, ADamagedFrameMidwayEndsTheMovieWithTheFramesBeforeIt) {
    // Ten frames, each a PNG picture of its own; the sixth one's compressed data is overwritten.
    std::vector<std::uint8_t> bytes = ReadBytes(
        Make("frames.mkv", "-f lavfi -i 'testsrc=size=64x48:rate=10:duration=1' -pix_fmt gray -c:v png"));
    const std::vector<std::uint8_t> signature{0x89, 'P', 'N', 'G'};
    auto at = bytes.begin();
    for (int frame = 0; frame < 6; ++frame) {
        at = std::search(at + 1, bytes.end(), signature.begin(), signature.end());
        ASSERT_NE(at, bytes.end()) << frame;
    }
    const std::string data = "IDAT";
    at = std::search(at, bytes.end(), data.begin(), data.end());
    ASSERT_GT(bytes.end() - at, 40);
    std::fill(at + 4, at + 40, std::uint8_t{0x55});
    WriteBytes(dir_ / "damaged.mkv", bytes);

    const fs::path out = dir_ / "out.avi";
    std::string log;
    EXPECT_EQ(
        Render("'" + (dir_ / "damaged.mkv").string() + "' -W 120 -H 90 -o '" + out.string() + "'", &log), 1);
    EXPECT_NE(log.find("Cannot read depth video " + QuotedName((dir_ / "damaged.mkv").string()) +
                       ": cannot decode a frame"),
              std::string::npos)
        << log;
    EXPECT_EQ(Probe(out, "v", "nb_frames"), "5\n");
}

}  // namespace
}  // namespace vistamaze::test
