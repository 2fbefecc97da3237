// Compressed movies (H.264 in MP4, VP9 in WebM) read back by ffprobe and ffmpeg: streams, size,
// frames, rate, colours and sound; a movie finished early, failures, and what becomes of the target.
#include "engine/Errors.h"
#include "output/CompressedMovie.h"
#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

namespace fs = std::filesystem;

std::string Output(const std::string& command) {
    std::string out;
    EXPECT_EQ(RunCommand(command, &out), 0) << command;
    return out;
}

// "key=value" lines of ffprobe for the stream `select` ("v:0", "a:0"), frames counted by decoding.
std::map<std::string, std::string> Probe(const fs::path& movie, const std::string& select) {
    std::istringstream lines(Output("ffprobe -v error -count_frames -select_streams " + select +
                                    " -show_entries stream=codec_name,width,height,pix_fmt,color_space,"
                                    "color_primaries,color_transfer,r_frame_rate,nb_read_frames,channels,"
                                    "sample_rate:format=format_name -of default=nw=1 '" +
                                    movie.string() + "'"));
    std::map<std::string, std::string> probe;
    for (std::string line; std::getline(lines, line);) {
        if (const auto eq = line.find('='); eq != std::string::npos) {
            probe[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return probe;
}

// Seconds of sound in the movie, as ffmpeg decodes it.
double SoundSeconds(const fs::path& movie) {
    const std::string samples =
        Output("ffmpeg -v error -i '" + movie.string() + "' -map 0:a -ac 1 -ar 8000 -f s16le -");
    return static_cast<double>(samples.size()) / 2.0 / 8000.0;
}

// A WAV file made by ffmpeg: a tone of `seconds` in the sample format `codec`.
fs::path MakeWav(const TempDir& dir, const std::string& codec, int channels, int rate, double seconds) {
    const fs::path wav = dir / (codec + "_" + std::to_string(channels) + ".wav");
    Output("ffmpeg -v error -f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(rate) +
           ":duration=" + std::to_string(seconds) + " -ac " + std::to_string(channels) + " -c:a " + codec +
           " -y '" + wav.string() + "'");
    return wav;
}

// Frame `i` of a test movie: a gradient that moves, so every frame differs.
PixelBuffer TestFrame(int width, int height, int i) {
    return MakeBuffer24(width, height, [i](int y, int x) {
        return Bgr{static_cast<std::uint8_t>(x * 3 + i * 8), static_cast<std::uint8_t>(y * 2),
                   static_cast<std::uint8_t>(128 + i)};
    });
}

class CompressedMovieTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ToolAvailable("ffprobe") || !ToolAvailable("ffmpeg")) {
            GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
        }
    }
    [[nodiscard]] fs::path WorkFolderParent() const { return dir_ / "tmp"; }
    // A movie of `frames` test frames written to `name`; returns the frames it holds.
    int Make(const std::string& name, CompressedMovieSettings settings, int frames) {
        fs::create_directories(WorkFolderParent());
        CompressedMovie movie(dir_ / name, settings, WorkFolderParent());
        for (int i = 0; i < frames; ++i) {
            movie.AddFrame(TestFrame(settings.width, settings.height, i));
        }
        return movie.Finish();
    }

    TempDir dir_;
};

TEST_F(CompressedMovieTest, MoviesHoldTheirFramesAtTheirSizeRateAndSound) {
    struct Case {
        const char* name;
        MovieCodec codec;
        int width;
        int height;
        int frameTime;
        const char* sound;  // WAV sample format; null: none
        int channels;
        const char* videoCodec;
        const char* size;  // as ffprobe reads it
        const char* rate;
        const char* soundCodec;
        const char* soundChannels;
    };
    const Case cases[] = {
        {"a.mp4", MovieCodec::H264, 64, 48, 40, nullptr, 0, "h264", "64x48", "25/1", nullptr, nullptr},
        {"b.mp4", MovieCodec::H264, 65, 47, 33, "pcm_s16le", 2, "h264", "66x48", "1000/33", "aac", "2"},
        {"c.mp4", MovieCodec::H264, 64, 48, 40, "pcm_u8", 1, "h264", "64x48", "25/1", "aac", "1"},
        {"d.mp4", MovieCodec::H264, 64, 48, 40, "pcm_s24le", 6, "h264", "64x48", "25/1", "aac", "2"},
        {"e.webm", MovieCodec::Vp9, 65, 47, 40, nullptr, 0, "vp9", "65x47", "25/1", nullptr, nullptr},
        {"f.webm", MovieCodec::Vp9, 64, 48, 40, "pcm_f32le", 2, "vp9", "64x48", "25/1", "opus", "2"},
    };
    constexpr int kFrames = 7;
    constexpr double kSoundSeconds = 0.9;  // longer than the frames: the whole of it goes in
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CompressedMovieSettings settings{c.width, c.height, c.frameTime, c.codec, {}, {}, {}, {}};
        if (c.sound != nullptr) {
            settings.sound = MakeWav(dir_, c.sound, c.channels, 22050, kSoundSeconds);
        }
        EXPECT_EQ(Make(c.name, settings, kFrames), kFrames);
        auto video = Probe(dir_ / c.name, "v:0");
        EXPECT_EQ(video["codec_name"], c.videoCodec);
        EXPECT_EQ(video["width"] + "x" + video["height"], c.size);
        EXPECT_EQ(video["r_frame_rate"], c.rate);
        EXPECT_EQ(video["nb_read_frames"], std::to_string(kFrames));
        EXPECT_EQ(video["pix_fmt"], "yuv420p");
        EXPECT_EQ(video["color_space"] + " " + video["color_primaries"] + " " + video["color_transfer"],
                  "bt709 bt709 bt709");
        auto sound = Probe(dir_ / c.name, "a:0");
        EXPECT_EQ(sound["codec_name"], c.soundCodec != nullptr ? c.soundCodec : "");
        if (c.sound != nullptr) {
            EXPECT_EQ(sound["channels"], c.soundChannels);
            EXPECT_NEAR(SoundSeconds(dir_ / c.name), kSoundSeconds, 0.03);
        }
        EXPECT_TRUE(fs::is_empty(WorkFolderParent())) << "the work folder is gone";
    }
}

// The colour matrix and the stream's tags agree, and the rows are the right way up: flat colours
// in the top and bottom halves come back as they went in.
TEST_F(CompressedMovieTest, ColoursAndOrientationComeBack) {
    const std::array<std::pair<Bgr, Bgr>, 3> halves{{{{0, 0, 255}, {255, 0, 0}},  // red over blue
                                                     {{0, 200, 0}, {40, 40, 40}},
                                                     {{255, 255, 255}, {0, 128, 255}}}};
    for (const MovieCodec codec : {MovieCodec::H264, MovieCodec::Vp9}) {
        const std::string name = std::string("colour") + ChoicesFor(codec).extension;
        fs::create_directories(WorkFolderParent());
        {
            CompressedMovie movie(dir_ / name, {32, 32, 40, codec, {}, {}, {}, {}}, WorkFolderParent());
            for (const auto& [top, bottom] : halves) {
                movie.AddFrame(MakeBuffer24(32, 32, [&](int y, int) { return y >= 16 ? top : bottom; }));
            }
            movie.Finish();
        }
        const std::string rgb =
            Output("ffmpeg -v error -i '" + (dir_ / name).string() + "' -f rawvideo -pix_fmt bgr24 -");
        ASSERT_EQ(rgb.size(), halves.size() * 32 * 32 * 3) << name;
        for (std::size_t f = 0; f < halves.size(); ++f) {
            for (const auto& [row, expected] :
                 {std::pair{4, halves[f].first}, std::pair{27, halves[f].second}}) {
                const std::size_t at = ((f * 32 + static_cast<std::size_t>(row)) * 32 + 16) * 3;
                const std::array<int, 3> want{expected.b, expected.g, expected.r};
                for (std::size_t k = 0; k < 3; ++k) {
                    EXPECT_NEAR(static_cast<std::uint8_t>(rgb[at + k]), want[k], 4)
                        << name << " frame " << f << " row " << row << " channel " << k;
                }
            }
        }
    }
}

TEST_F(CompressedMovieTest, WrongSettingsAreRefusedBeforeAnythingIsWritten) {
    struct Case {
        CompressedMovieSettings settings;
        std::string message;  // after 'Cannot make the movie "<file>": '
    };
    const Case cases[] = {
        {{0, 48, 40, MovieCodec::H264, {}, {}, {}, {}}, "frames of 0 x 48 pixels are not possible"},
        {{64, 48, 0, MovieCodec::H264, {}, {}, {}, {}}, "a frame time of 0 ms is not possible"},
        {{64, 48, 40, MovieCodec::H264, {}, {}, {}, ExactFrameRate{2001, 2}},
         "a frame rate of 2001 / 2 is not possible"},
        {{64, 48, 40, MovieCodec::H264, 52, {}, {}, {}}, "H.264 takes a CRF from 0 to 51"},
        {{64, 48, 40, MovieCodec::Vp9, -1, {}, {}, {}}, "VP9 takes a CRF from 0 to 63"},
        {{64, 48, 40, MovieCodec::H264, {}, "realtime", {}, {}}, "H.264 has no preset \"realtime\""},
        {{64, 48, 40, MovieCodec::Vp9, {}, "", dir_ / "none.wav", {}},
         "the sound track \"" + (dir_ / "none.wav").string() +
             "\": cannot open it: No such file or directory"},
    };
    test::WriteBytes(dir_ / "old.mp4", {'o', 'l', 'd'});
    for (const Case& c : cases) {
        try {
            CompressedMovie movie(dir_ / "old.mp4", c.settings, dir_.Path());
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const Error& e) {
            EXPECT_EQ(e.what(),
                      "Cannot make the movie \"" + (dir_ / "old.mp4").string() + "\": " + c.message);
        }
        EXPECT_EQ(ReadBytes(dir_ / "old.mp4"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
        EXPECT_EQ(fs::directory_iterator(dir_.Path())->path().filename(), "old.mp4") << "no work folder";
    }
}

// A movie finished after some of its frames (a stop) plays with those; one never finished, or one
// without frames, leaves the target as it was and no work file. (A work file that fills up is
// the command line's test.)
TEST_F(CompressedMovieTest, TheTargetIsReplacedOnlyByAFinishedMovie) {
    const std::vector<std::uint8_t> old{'o', 'l', 'd'};
    for (const MovieCodec codec : {MovieCodec::H264, MovieCodec::Vp9}) {
        const fs::path target = dir_ / (std::string("m") + ChoicesFor(codec).extension);
        fs::create_directories(WorkFolderParent());
        test::WriteBytes(target, old);
        {
            CompressedMovie abandoned(target, {64, 48, 40, codec, {}, {}, {}, {}}, WorkFolderParent());
            abandoned.AddFrame(TestFrame(64, 48, 0));
            EXPECT_TRUE(fs::exists(abandoned.WorkFile()));
        }
        EXPECT_EQ(ReadBytes(target), old);
        EXPECT_TRUE(fs::is_empty(WorkFolderParent()));

        try {
            CompressedMovie empty(target, {64, 48, 40, codec, {}, {}, {}, {}}, WorkFolderParent());
            empty.Finish();
            ADD_FAILURE() << "a movie of no frames was saved";
        } catch (const Error& e) {
            EXPECT_EQ(e.what(), "Failed to save the movie \"" + target.string() + "\": it has no frames");
        }
        EXPECT_EQ(ReadBytes(target), old);
        EXPECT_TRUE(fs::is_empty(WorkFolderParent()));

        CompressedMovie stopped(target, {64, 48, 40, codec, {}, {}, {}, {}}, WorkFolderParent());
        for (int i = 0; i < 3; ++i) {
            stopped.AddFrame(TestFrame(64, 48, i));
        }
        EXPECT_EQ(stopped.Finish(), 3);
        EXPECT_EQ(Probe(target, "v:0")["nb_read_frames"], "3");
    }
}

TEST_F(CompressedMovieTest, AMissingModuleIsNamed) {
    const char* module = std::getenv("VISTAMAZE_FFMPEG_MODULE");
    const std::string saved = module != nullptr ? module : "";
    ::setenv("VISTAMAZE_FFMPEG_MODULE", (dir_ / "none.so").c_str(), 1);
    try {
        CompressedMovie movie(dir_ / "m.mp4", {64, 48, 40, MovieCodec::H264, {}, {}, {}, {}}, dir_.Path());
        ADD_FAILURE() << "made a movie without the module";
    } catch (const Error& e) {
        EXPECT_NE(
            std::string(e.what()).find("cannot load the FFmpeg module \"" + (dir_ / "none.so").string()),
            std::string::npos)
            << e.what();
    }
    saved.empty() ? ::unsetenv("VISTAMAZE_FFMPEG_MODULE")
                  : ::setenv("VISTAMAZE_FFMPEG_MODULE", saved.c_str(), 1);
    EXPECT_TRUE(fs::is_empty(dir_.Path()));
}

}  // namespace
}  // namespace vistamaze::test
