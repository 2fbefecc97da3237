// AviWriter: movies read back with ffprobe/ffmpeg and with our own index reader.

#include "output/AviWriter.h"
#include "tests/output/AviTestParser.h"
#include "tests/support/TestSupport.h"

#include <csignal>
#include <functional>
#include <map>
#include <sstream>
#include <tuple>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vistamaze::test {
namespace {

namespace fs = std::filesystem;

bool HaveFfmpeg() {
    return ToolAvailable("ffprobe") && ToolAvailable("ffmpeg");
}

#define REQUIRE_FFMPEG()                                    \
    if (!HaveFfmpeg()) {                                    \
        GTEST_SKIP() << "ffmpeg/ffprobe are not installed"; \
    }

std::string DecodeRgb(const fs::path& file) {
    std::string out;
    EXPECT_EQ(
        RunCommand("ffmpeg -v error -i '" + file.string() + "' -map 0:v -f rawvideo -pix_fmt rgb24 -", &out),
        0);
    return out;
}

// What a viewer sees: rows from the top, red, green, blue.
std::string TopDownRgb(const PixelBuffer& b) {
    std::string out;
    for (int y = b.Height() - 1; y >= 0; --y) {
        for (int x = 0; x < b.Width(); ++x) {
            const Bgr c = b.Pixel(y, x);
            out += static_cast<char>(c.r);
            out += static_cast<char>(c.g);
            out += static_cast<char>(c.b);
        }
    }
    return out;
}

PixelBuffer Pattern(int width, int height, int seed) {
    return MakeBuffer24(width, height, [seed](int y, int x) {
        return Bgr{static_cast<std::uint8_t>(x * 7 + seed * 31), static_cast<std::uint8_t>(y * 5 + seed),
                   static_cast<std::uint8_t>((x ^ y) + seed * 3)};
    });
}

// Every index entry must name a chunk of its id and size at the place it points to.
void ExpectEntriesPointAtChunks(const fs::path& file, const std::vector<AviIndexEntry>& entries) {
    for (const AviIndexEntry& e : entries) {
        ASSERT_EQ(FourCcAt(file, e.dataPos - 8), e.id) << "at " << e.dataPos;
        ASSERT_EQ(Le32(ReadAt(file, e.dataPos - 4, 4).data()), e.size);
        ASSERT_TRUE(e.key);
    }
}

struct Movie {
    int width;
    int height;
    int frameTime;
    const char* rate;
    std::uint32_t rowLength;  // worked out by hand: 3 bytes per pixel, padded to 4
};

class AviMovieTest : public ::testing::TestWithParam<Movie> {};

TEST_P(AviMovieTest, FramesReadBackUprightWithRateSizeAndIndex) {
    REQUIRE_FFMPEG();
    const Movie m = GetParam();
    TempDir dir;
    std::vector<PixelBuffer> frames;
    {
        AviWriter writer({1920, 1080}, dir.Path());
        writer.SetWidth(m.width);
        writer.SetHeight(m.height);
        writer.SetFrameTime(m.frameTime);
        writer.SetFileName((dir / "movie.avi").string());
        writer.Reset();
        writer.OpenWorkFile();
        for (int i = 0; i < 3; ++i) {
            frames.push_back(Pattern(m.width, m.height, i));
            writer.AddFrame(Picture(frames.back()));
        }
        writer.CloseVideo();
        writer.SaveMovie();
        EXPECT_FALSE(fs::exists(writer.WorkFileName()));
    }
    const fs::path movie = dir / "movie.avi";
    auto v = ProbeStream(movie, "v:0");
    EXPECT_EQ(v["codec_name"], "rawvideo");
    EXPECT_EQ(v["pix_fmt"], "bgr24");
    EXPECT_EQ(v["width"], std::to_string(m.width));
    EXPECT_EQ(v["height"], std::to_string(m.height));
    EXPECT_EQ(v["nb_frames"], "3");
    EXPECT_EQ(v["nb_read_frames"], "3");
    EXPECT_EQ(v["r_frame_rate"], m.rate);

    std::string expected;
    for (const auto& f : frames) {
        expected += TopDownRgb(f);
    }
    EXPECT_TRUE(DecodeRgb(movie) == expected) << "decoded pixels differ from the frames written";

    const AviLayout avi = ParseAvi(movie);
    ASSERT_EQ(avi.strf.size(), 1U);
    const auto& bih = avi.strf[0];
    ASSERT_EQ(bih.size(), 40U);
    EXPECT_EQ(Le32(bih.data()), 40U);
    EXPECT_EQ(static_cast<int>(Le32(bih.data() + 4)), m.width);
    EXPECT_EQ(static_cast<int>(Le32(bih.data() + 8)), m.height);
    EXPECT_EQ(Le16(bih.data() + 12), 1);
    EXPECT_EQ(Le16(bih.data() + 14), 24);
    EXPECT_EQ(Le32(bih.data() + 16), 0U);
    EXPECT_EQ(Le32(bih.data() + 20), m.rowLength * static_cast<std::uint32_t>(m.height));
    const auto& strh = avi.strh[0];
    EXPECT_EQ(std::string(strh.begin(), strh.begin() + 4), "vids");
    EXPECT_EQ(Le32(strh.data() + 20), static_cast<std::uint32_t>(m.frameTime));  // scale
    EXPECT_EQ(Le32(strh.data() + 24), 1000U);                                    // rate
    EXPECT_EQ(Le16(strh.data() + 52), m.width);
    EXPECT_EQ(Le16(strh.data() + 54), m.height);
    EXPECT_EQ(avi.avihTotalFrames, 3U);
    EXPECT_EQ(avi.dmlhTotalFrames, 3U);
    EXPECT_EQ(avi.strhLength[0], 3U);
    ASSERT_EQ(avi.idx1.size(), 3U);
    ASSERT_EQ(avi.openDml.size(), 1U);
    ASSERT_EQ(avi.openDml[0].size(), 3U);
    ExpectEntriesPointAtChunks(movie, avi.idx1);
    ExpectEntriesPointAtChunks(movie, avi.openDml[0]);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(avi.idx1[i].dataPos, avi.openDml[0][i].dataPos);
        EXPECT_EQ(avi.idx1[i].size, m.rowLength * static_cast<std::uint32_t>(m.height));
        const auto bytes = ReadAt(movie, avi.idx1[i].dataPos, avi.idx1[i].size);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), frames[i].Data())) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, AviMovieTest,
                         ::testing::Values(Movie{1000, 600, 40, "25/1", 3000},
                                           Movie{1001, 600, 33, "1000/33", 3004}, Movie{7, 5, 40, "25/1", 24},
                                           Movie{2, 3, 1000, "1/1", 8}),
                         [](const auto& tp) {
                             return std::to_string(tp.param.width) + "x" + std::to_string(tp.param.height) +
                                    "_" + std::to_string(tp.param.frameTime) + "ms";
                         });

// Writes one movie of `frames` made from `pictures` and returns the decoded frames.
std::string MovieOf(const std::vector<PixelBuffer>& pictures, int width, int height, bool stretch) {
    TempDir dir;
    AviWriter writer({640, 480}, dir.Path());
    writer.SetWidth(width);
    writer.SetHeight(height);
    writer.SetFrameTime(40);
    writer.SetStretch(stretch);
    writer.SetFileName((dir / "m.avi").string());
    writer.OpenWorkFile();
    for (const auto& p : pictures) {
        writer.AddFrame(p);
    }
    writer.CloseVideo();
    writer.SaveMovie();
    return DecodeRgb(dir / "m.avi");
}

std::string RgbAt(const std::string& rgb, int width, int row, int col) {
    return rgb.substr((static_cast<std::size_t>(row) * width + col) * 3, 3);
}

const Bgr kRed{0, 0, 255};
const Bgr kGreen{0, 255, 0};
const Bgr kBlue{255, 0, 0};
const Bgr kWhite{255, 255, 255};
const std::string kRedRgb("\xFF\x00\x00", 3);
const std::string kGreenRgb("\x00\xFF\x00", 3);
const std::string kBlueRgb("\x00\x00\xFF", 3);
const std::string kWhiteRgb("\xFF\xFF\xFF", 3);

// Top-left red, top-right green, bottom-left blue, bottom-right white (rows stored bottom-up).
PixelBuffer Quadrants(int w, int h) {
    return MakeBuffer24(w, h, [w, h](int y, int x) {
        const bool top = y >= h / 2;
        const bool left = x < w / 2;
        return top ? (left ? kRed : kGreen) : (left ? kBlue : kWhite);
    });
}

TEST(AviWriter, StretchScalesEachPictureToTheFrameKeepingItUpright) {
    REQUIRE_FFMPEG();
    // A 40 x 20 picture and an 8-bit 20 x 20 one, both stretched to 10 x 8: the middle of each
    // quadrant of the frame shows the colour of that quadrant of the picture.
    PixelBuffer indexed(20, 20, 8);
    indexed.Palette()[1] = kRed;
    indexed.Palette()[2] = kGreen;
    indexed.Palette()[3] = kBlue;
    indexed.Palette()[4] = kWhite;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            indexed.SetIndex(y, x, static_cast<std::uint8_t>(y >= 10 ? (x < 10 ? 1 : 2) : (x < 10 ? 3 : 4)));
        }
    }
    const std::string rgb = MovieOf({Quadrants(40, 20), indexed}, 10, 8, true);
    ASSERT_EQ(rgb.size(), 2U * 10 * 8 * 3);
    for (int f = 0; f < 2; ++f) {
        const std::string frame = rgb.substr(static_cast<std::size_t>(f) * 240, 240);
        EXPECT_EQ(RgbAt(frame, 10, 1, 1), kRedRgb) << "frame " << f;
        EXPECT_EQ(RgbAt(frame, 10, 1, 8), kGreenRgb) << "frame " << f;
        EXPECT_EQ(RgbAt(frame, 10, 6, 1), kBlueRgb) << "frame " << f;
        EXPECT_EQ(RgbAt(frame, 10, 6, 8), kWhiteRgb) << "frame " << f;
    }
}

TEST(AviWriter, UnstretchedPictureSitsTopLeftOnItsOwnCornerColourAndIsCut) {
    REQUIRE_FFMPEG();
    const PixelBuffer small = Quadrants(4, 2);    // smaller than the 6 x 5 frame
    const PixelBuffer large = Quadrants(10, 10);  // larger: cut at right and bottom
    const std::string rgb = MovieOf({small, large}, 6, 5, false);
    ASSERT_EQ(rgb.size(), 2U * 6 * 5 * 3);
    for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < 6; ++col) {
            std::string want = kRedRgb;  // the background is the picture's top-left colour
            if (row < 2 && col < 4) {
                want = row == 0 ? (col < 2 ? kRedRgb : kGreenRgb) : (col < 2 ? kBlueRgb : kWhiteRgb);
            }
            EXPECT_EQ(RgbAt(rgb, 6, row, col), want) << "small, row " << row << " col " << col;
            EXPECT_EQ(RgbAt(rgb.substr(90), 6, row, col), col < 5 ? kRedRgb : kGreenRgb)
                << "large, row " << row << " col " << col;
        }
    }
}

TEST(AviWriter, FrameSizeAndRateAreFixedWhenTheWorkFileOpens) {
    TempDir dir;
    AviWriter writer({1920, 1080}, dir.Path());
    writer.SetWidth(8);
    writer.SetHeight(6);
    writer.SetFrameTime(50);
    writer.SetFileName((dir / "fixed.avi").string());
    writer.OpenWorkFile();
    writer.SetWidth(20);
    writer.SetHeight(30);
    writer.SetFrameTime(10);
    writer.AddFrame(Pattern(8, 6, 0));
    writer.AddFrame(Pattern(20, 30, 1));
    writer.CloseVideo();
    writer.SaveMovie();
    const AviLayout avi = ParseAvi(dir / "fixed.avi");
    EXPECT_EQ(Le32(avi.strf[0].data() + 4), 8U);
    EXPECT_EQ(Le32(avi.strf[0].data() + 8), 6U);
    EXPECT_EQ(Le32(avi.strh[0].data() + 20), 50U);
    ASSERT_EQ(avi.idx1.size(), 2U);
    EXPECT_EQ(avi.idx1[1].size, 24U * 6);
}

TEST(AviWriter, WavFileNameAcceptsOnlyWavExtensionsAndCannotBeCleared) {
    AviWriter writer({1920, 1080});
    EXPECT_EQ(writer.WavFileName(), "");
    writer.SetWavFileName("Music.WAV");
    EXPECT_EQ(writer.WavFileName(), "Music.WAV");
    writer.SetWavFileName("MUSIC.wav");  // the same name up to case: nothing happens
    EXPECT_EQ(writer.WavFileName(), "Music.WAV");
    for (const char* refused : {"music.mp3", "", "noextension", "sound.wav.txt", "dir.wav/file", "a.wave"}) {
        try {
            writer.SetWavFileName(refused);
            ADD_FAILURE() << refused << " was accepted";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "WavFileName must name a file with the .wav extension");
        }
        EXPECT_EQ(writer.WavFileName(), "Music.WAV");
    }
    writer.SetWavFileName("/some/dir/Other.Wav");
    EXPECT_EQ(writer.WavFileName(), "/some/dir/Other.Wav");
}

TEST(AviWriter, CreationDefaultsAndMainWindowValues) {
    AviWriter writer({1366, 768});
    EXPECT_EQ(writer.Width(), 136);
    EXPECT_EQ(writer.Height(), 76);
    EXPECT_EQ(writer.FrameTime(), 1000);
    EXPECT_TRUE(writer.Stretch());
    EXPECT_EQ(writer.FileName(), "");
    EXPECT_EQ(writer.WorkFileName().filename(), "~AWTemp.avi");
    EXPECT_EQ(writer.WorkFileName(), fs::temp_directory_path() / "~AWTemp.avi");
    writer.SetStretch(false);
    writer.ApplyMainWindowValues();
    EXPECT_EQ(writer.Width(), 800);
    EXPECT_EQ(writer.Height(), 600);
    EXPECT_EQ(writer.FrameTime(), 40);
    EXPECT_TRUE(writer.Stretch());
}

void ExpectMessage(const std::function<void()>& action, const std::string& message) {
    try {
        action();
        ADD_FAILURE() << "no error, expected: " << message;
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

TEST(AviWriter, MisuseAndUnusableSizesGiveTheirMessages) {
    TempDir dir;
    AviWriter writer({1920, 1080}, dir.Path());
    const PixelBuffer pic = Pattern(4, 4, 0);
    ExpectMessage([&] { writer.AddFrame(pic); }, "Failed to set AVI stream format");
    ExpectMessage([&] { writer.AddFrame(pic); }, "Failed to add frame to AVI. Err=8004406C");
    EXPECT_EQ(writer.FrameIndex(), 2);
    ExpectMessage([&] { writer.CloseVideo(); }, "Could not create Video Stream");
    for (const auto& [w, h, t] :
         {std::tuple{0, 10, 40}, std::tuple{10, -1, 40}, std::tuple{10, 10, 0}, std::tuple{40000, 10, 40}}) {
        writer.SetWidth(w);
        writer.SetHeight(h);
        writer.SetFrameTime(t);
        ExpectMessage([&] { writer.OpenWorkFile(); }, "Failed to create AVI video stream");
    }
    writer.SetFileName((dir / "never.avi").string());
    EXPECT_THROW(writer.SaveMovie(), FileAccessError);
    EXPECT_FALSE(fs::exists(writer.WorkFileName()));
    EXPECT_FALSE(fs::exists(dir / "never.avi"));
}

TEST(AviWriter, FrameFormatHeaderChecksTheBitmap) {
    ExpectMessage([] { static_cast<void>(BitmapInfoHeader(PixelBuffer())); }, "Invalid bitmap");
    ExpectMessage([] { static_cast<void>(BitmapInfoHeader(PixelBuffer(3, 3, 16))); }, "Invalid pixel foramt");
    ExpectMessage([] { static_cast<void>(BitmapInfoHeader(PixelBuffer(3, 3, 32))); }, "Invalid pixel foramt");
    const auto h = BitmapInfoHeader(PixelBuffer(1001, 600, 24));
    EXPECT_EQ(Le32(h.data()), 40U);
    EXPECT_EQ(Le32(h.data() + 20), 3004U * 600U);
}

TEST(AviWriter, WorkFileIsHeldExclusivelyAndRemovedAfterSaving) {
    TempDir dir;
    AviWriter first({1920, 1080}, dir.Path());
    first.SetWidth(16);
    first.SetHeight(8);
    first.SetFileName((dir / "first.avi").string());
    first.OpenWorkFile();
    first.AddFrame(Pattern(16, 8, 1));
    ASSERT_TRUE(fs::exists(first.WorkFileName()));

    AviWriter second({1920, 1080}, dir.Path());
    ExpectMessage([&] { second.OpenWorkFile(); }, "Failed to create AVI video work file \"" +
                                                      first.WorkFileName().string() +
                                                      "\": another movie is being made with it");
    // The second writer's clean-up must not take the first one's work file with it.
    EXPECT_THROW(second.CloseVideo(), Error);
    second.SetFileName((dir / "second.avi").string());
    EXPECT_THROW(second.SaveMovie(), Error);
    EXPECT_TRUE(fs::exists(first.WorkFileName()));

    // Another process is refused as well.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        AviWriter other({1920, 1080}, dir.Path());
        try {
            other.OpenWorkFile();
        } catch (const Error& e) {
            _exit(std::string(e.what()).rfind("Failed to create AVI video work file \"", 0) == 0 ? 0 : 2);
        }
        _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

    first.AddFrame(Pattern(16, 8, 2));
    first.CloseVideo();
    first.SaveMovie();
    EXPECT_FALSE(fs::exists(first.WorkFileName()));
    EXPECT_EQ(ParseAvi(dir / "first.avi").idx1.size(), 2U);

    // Free again: the second writer can now make its movie.
    second.SetWidth(16);
    second.SetHeight(8);
    second.OpenWorkFile();
    second.AddFrame(Pattern(16, 8, 3));
    second.CloseVideo();
    second.SaveMovie();
    EXPECT_EQ(ParseAvi(dir / "second.avi").idx1.size(), 1U);
}

TEST(AviWriter, StaleWorkFileLeftByACrashIsTakenOver) {
    TempDir dir;
    WriteBytes(dir / AviWriter::kWorkFileName, std::vector<std::uint8_t>(100000, 0xAB));
    AviWriter writer({1920, 1080}, dir.Path());
    writer.SetWidth(4);
    writer.SetHeight(4);
    writer.SetFileName((dir / "m.avi").string());
    writer.OpenWorkFile();
    writer.AddFrame(Pattern(4, 4, 0));
    writer.CloseVideo();
    writer.SaveMovie();
    const AviLayout avi = ParseAvi(dir / "m.avi");  // throws on leftover bytes
    EXPECT_EQ(avi.idx1.size(), 1U);
    EXPECT_LT(avi.fileSize, 100000U);
}

TEST(AviWriter, FailedSaveStillRemovesTheWorkFile) {
    TempDir dir;
    AviWriter writer({1920, 1080}, dir.Path());
    writer.SetWidth(8);
    writer.SetHeight(8);
    writer.SetFileName((dir / "missing-folder" / "m.avi").string());
    writer.OpenWorkFile();
    writer.AddFrame(Pattern(8, 8, 0));
    writer.CloseVideo();
    try {
        writer.SaveMovie();
        ADD_FAILURE() << "saving into a missing folder succeeded";
    } catch (const FileAccessError& e) {
        EXPECT_NE(std::string(e.what()).find("missing-folder"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(writer.WorkFileName()));
}

// Without audio the finished work file is copied; with audio each frame is copied into a new
// layout. Both must hold the frames as written.
class AviOtherFileSystemTest : public ::testing::TestWithParam<bool> {};

TEST_P(AviOtherFileSystemTest, MovieIsCopiedWhole) {
    const bool withAudio = GetParam();
    TempDir dir;
    struct stat work {};
    struct stat shm {};
    if (stat(dir.Path().c_str(), &work) != 0 || stat("/dev/shm", &shm) != 0 || work.st_dev == shm.st_dev) {
        GTEST_SKIP() << "no second file system at /dev/shm";
    }
    const fs::path target =
        fs::path("/dev/shm") / ("vm-avi-test-" + std::to_string(getpid()) + (withAudio ? "a" : "v") + ".avi");
    std::vector<PixelBuffer> frames;
    {
        AviWriter writer({1920, 1080}, dir.Path());
        writer.SetWidth(33);
        writer.SetHeight(17);
        writer.SetFileName(target.string());
        if (withAudio) {
            writer.SetWavFileName(DataFile("audio/chuck_snare_01.wav").string());
        }
        writer.OpenWorkFile();
        for (int i = 0; i < 5; ++i) {
            frames.push_back(Pattern(33, 17, i));
            writer.AddFrame(frames.back());
        }
        writer.CloseVideo();
        writer.SaveMovie();
        EXPECT_FALSE(fs::exists(writer.WorkFileName()));
    }
    const AviLayout avi = ParseAvi(target);
    ASSERT_EQ(avi.openDml.size(), withAudio ? 2U : 1U);
    ASSERT_EQ(avi.openDml[0].size(), 5U);
    for (std::size_t i = 0; i < 5; ++i) {
        const auto bytes = ReadAt(target, avi.openDml[0][i].dataPos, avi.openDml[0][i].size);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), frames[i].Data())) << "frame " << i;
    }
    fs::remove(target);
}

INSTANTIATE_TEST_SUITE_P(Copies, AviOtherFileSystemTest, ::testing::Bool(),
                         [](const auto& tp) { return tp.param ? "WithAudio" : "VideoOnly"; });

// A file size limit stands in for a full disk: frames past it fail, the rest is a movie.
TEST(AviWriter, FullDiskFailsTheFrameButKeepsTheFramesWritten) {
    REQUIRE_FFMPEG();
    TempDir dir;
    constexpr int kSide = 64;
    constexpr std::uint64_t kFrameBytes = kSide * kSide * 3;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        // Room for the headers (under 10 KB) and 5.5 frames.
        const rlimit limit{10000 + 5 * (kFrameBytes + 8) + kFrameBytes / 2, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        AviWriter writer({1920, 1080}, dir.Path());
        writer.SetWidth(kSide);
        writer.SetHeight(kSide);
        writer.SetFileName((dir / "full.avi").string());
        writer.OpenWorkFile();
        int written = 0;
        bool rightMessage = true;
        for (int i = 0; i < 9; ++i) {
            try {
                writer.AddFrame(Pattern(kSide, kSide, i));
                ++written;
            } catch (const Error& e) {
                rightMessage =
                    rightMessage && std::string(e.what()) ==
                                        "Failed to add frame to AVI. Err=8004406E: cannot write the "
                                        "work file \"" +
                                            writer.WorkFileName().string() + "\" of the movie \"" +
                                            writer.FileName() + "\": File too large";
            }
        }
        try {
            writer.CloseVideo();
            writer.SaveMovie();
        } catch (const Error&) {
            _exit(100);
        }
        _exit(rightMessage && writer.FrameIndex() == 9 ? written : 101);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    const int written = WEXITSTATUS(status);
    ASSERT_GE(written, 5);
    ASSERT_LT(written, 9);
    EXPECT_FALSE(fs::exists(dir / AviWriter::kWorkFileName));
    auto v = ProbeStream(dir / "full.avi", "v:0");
    EXPECT_EQ(v["nb_frames"], std::to_string(written));
    EXPECT_EQ(v["nb_read_frames"], std::to_string(written));
    std::string expected;
    for (int i = 0; i < written; ++i) {
        expected += TopDownRgb(Pattern(kSide, kSide, i));
    }
    EXPECT_TRUE(DecodeRgb(dir / "full.avi") == expected);
}

// Peak resident memory (KiB) of a child process that makes a movie of `frames` frames with the
// audio of a WAV, so that every frame passes through the copy into the target.
long PeakKibForMovie(const fs::path& dir, int frames) {
    const pid_t child = fork();
    if (child == 0) {
        try {
            AviWriter writer({1920, 1080}, dir);
            writer.SetWidth(640);
            writer.SetHeight(480);
            writer.SetFileName((dir / ("peak" + std::to_string(frames) + ".avi")).string());
            writer.SetWavFileName(DataFile("audio/wx_tinkalink2.wav").string());
            writer.OpenWorkFile();
            const PixelBuffer frame = Pattern(640, 480, 1);
            for (int i = 0; i < frames; ++i) {
                writer.AddFrame(frame);
            }
            writer.CloseVideo();
            writer.SaveMovie();
        } catch (const Error&) {
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return -1;
    }
    return usage.ru_maxrss;
}

TEST(AviWriter, SavingNeedsMemoryIndependentOfTheFrameCount) {
    TempDir dir;
    const long few = PeakKibForMovie(dir.Path(), 10);
    const long many = PeakKibForMovie(dir.Path(), 200);  // 200 frames: 184 MB of pixels
    ASSERT_GT(few, 0);
    ASSERT_GT(many, 0);
    EXPECT_LT(many - few, 16 * 1024) << "peak KiB " << few << " for 10 frames, " << many << " for 200";
    EXPECT_EQ(ParseAvi(dir / "peak200.avi").openDml[0].size(), 200U);
}

std::uint64_t FreeBytes(const fs::path& folder) {
    struct statvfs s {};
    return statvfs(folder.c_str(), &s) == 0 ? std::uint64_t{s.f_bavail} * s.f_frsize : 0;
}

TEST(AviWriter, MovieOverOneGibibyteUsesOpenDmlAndPlaysWhole) {
    REQUIRE_FFMPEG();
    const fs::path temp = fs::temp_directory_path();
    if (FreeBytes(temp) < (std::uint64_t{4} << 30)) {
        GTEST_SKIP() << "needs 4 GB free in " << temp << " for a movie over 1 GiB and its check";
    }
    TempDir dir;
    constexpr int kW = 4096;
    constexpr int kH = 2160;
    constexpr int kFrames = 41;  // 41 * 26542080 bytes: just over 1 GiB
    PixelBuffer frame = Pattern(kW, kH, 0);
    {
        AviWriter writer({1920, 1080}, dir.Path());
        writer.SetWidth(kW);
        writer.SetHeight(kH);
        writer.SetFrameTime(40);
        writer.SetFileName((dir / "big.avi").string());
        writer.OpenWorkFile();
        for (int i = 0; i < kFrames; ++i) {
            frame.Data()[0] = static_cast<std::uint8_t>(i);  // tells the frames apart
            writer.AddFrame(frame);
        }
        writer.CloseVideo();
        writer.SaveMovie();
    }
    const fs::path movie = dir / "big.avi";
    EXPECT_GT(fs::file_size(movie), std::uint64_t{1} << 30);
    auto v = ProbeStream(movie, "v:0");
    EXPECT_EQ(v["nb_read_frames"], std::to_string(kFrames));
    EXPECT_EQ(v["nb_frames"], std::to_string(kFrames));

    const AviLayout avi = ParseAvi(movie);
    int riffs = 0;
    for (const auto& c : avi.chunks) {
        riffs += c.id == "RIFF" ? 1 : 0;
        if (c.id == "RIFF") {
            EXPECT_EQ(c.type, riffs == 1 ? "AVI " : "AVIX");
        }
    }
    EXPECT_GE(riffs, 2);
    EXPECT_EQ(avi.dmlhTotalFrames, static_cast<std::uint32_t>(kFrames));
    EXPECT_EQ(avi.strhLength[0], static_cast<std::uint32_t>(kFrames));
    EXPECT_LT(avi.avihTotalFrames, static_cast<std::uint32_t>(kFrames));
    EXPECT_EQ(avi.idx1.size(), avi.avihTotalFrames);
    ASSERT_EQ(avi.openDml[0].size(), static_cast<std::size_t>(kFrames));
    EXPECT_EQ(avi.superIndexDurations[0], static_cast<std::uint32_t>(kFrames));
    ExpectEntriesPointAtChunks(movie, avi.idx1);
    ExpectEntriesPointAtChunks(movie, avi.openDml[0]);
    for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(ReadAt(movie, avi.openDml[0][static_cast<std::size_t>(i)].dataPos, 1)[0], i)
            << "frame " << i;
    }
}

}  // namespace
}  // namespace vistamaze::test
