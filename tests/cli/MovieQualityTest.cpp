// Compressed movies of the command-line renderer keep the stereogram: a small decoder finds, for
// every pixel, the horizontal distance at which the picture repeats, and the share of pixels where
// it is the separation the depth map asks for is nearly the same in a frame of an .mp4 or a .webm
// as in the same frame of the uncompressed .avi. Also the options of compressed movies.
#include "cli/EngineSetup.h"
#include "cli/RenderOptions.h"
#include "formats/PictureFile.h"
#include "output/PictureWriters.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

namespace vistamaze::cli {
namespace {

namespace fs = std::filesystem;
using test::RunCommand;

constexpr int kWidth = 960;
constexpr int kHeight = 540;

// A depth map of flat far ground, a near box, a nearer disc and a ramp: grey levels 0..255.
Picture DepthScene() {
    return Picture(test::MakeBuffer24(kWidth, kHeight, [](int y, int x) {
        int level = 20;
        if (x > 150 && x < 420 && y > 120 && y < 420) {
            level = 150;
        }
        if (std::hypot(x - 650.0, y - 270.0) < 150.0) {
            level = 230;
        }
        if (y < 80) {
            level = 20 + x * 200 / kWidth;
        }
        const auto grey = static_cast<std::uint8_t>(level);
        return Bgr{grey, grey, grey};
    }));
}

// Frame `index` of `movie` as ffmpeg decodes it: grey levels (luma), top row first.
std::vector<std::uint8_t> Frame(const fs::path& movie, int index) {
    std::string raw;
    EXPECT_EQ(RunCommand("ffmpeg -v error -i '" + movie.string() + "' -f rawvideo -pix_fmt gray -", &raw), 0);
    const std::size_t size = static_cast<std::size_t>(kWidth) * kHeight;
    EXPECT_GE(raw.size(), size * static_cast<std::size_t>(index + 1)) << movie;
    raw.resize(size * static_cast<std::size_t>(index + 1));
    return {raw.end() - static_cast<std::ptrdiff_t>(size), raw.end()};
}

// The share of pixels whose repeat distance is the separation their depth asks for. For each
// pixel, the distance d of the smallest difference between the 9 x 3 pixels around it and those d
// to their right; it is right when it lies within one pixel of the separation of the depth halfway
// between the two (in output pixels, `separation` given per grey level). Pixels too near an edge
// for every candidate distance are left out.
double DecodeShare(const std::vector<std::uint8_t>& frame, const std::vector<std::uint8_t>& depth,
                   const std::array<double, 256>& separation) {
    const auto [lo, hi] = std::minmax_element(separation.begin(), separation.end());
    const int minShift = std::max(1, static_cast<int>(*lo) - 3);
    const int maxShift = static_cast<int>(std::ceil(*hi)) + 3;
    constexpr int kHalfWidth = 4;
    std::size_t right = 0;
    std::size_t counted = 0;
    std::vector<int> best(kWidth);
    std::vector<int> bestCost(kWidth);
    std::vector<int> diff(kWidth);
    const auto pixel = [&frame](int y, int x) { return frame[static_cast<std::size_t>(y) * kWidth + x]; };
    for (int y = 1; y + 1 < kHeight; y += 2) {
        std::fill(bestCost.begin(), bestCost.end(), 1 << 30);
        for (int s = minShift; s <= maxShift; ++s) {
            for (int x = 0; x + s < kWidth; ++x) {
                diff[x] = 0;
                for (int r = y - 1; r <= y + 1; ++r) {
                    diff[x] += std::abs(pixel(r, x) - pixel(r, x + s));
                }
            }
            for (int x = kHalfWidth; x + s + kHalfWidth < kWidth; ++x) {
                int cost = 0;
                for (int k = -kHalfWidth; k <= kHalfWidth; ++k) {
                    cost += diff[x + k];
                }
                if (cost < bestCost[x]) {
                    bestCost[x] = cost;
                    best[x] = s;
                }
            }
        }
        const std::uint8_t* depthRow = depth.data() + static_cast<std::size_t>(y) * kWidth * 3;
        for (int x = kHalfWidth; x + maxShift + kHalfWidth < kWidth; ++x) {
            const double near = separation[depthRow[x * 3]];
            const int middle = std::min(kWidth - 1, x + static_cast<int>(near / 2));
            const double expected = separation[depthRow[middle * 3]];
            ++counted;
            right += std::abs(best[x] - expected) <= 1.0 ? 1 : 0;
        }
    }
    return counted == 0 ? 0.0 : static_cast<double>(right) / static_cast<double>(counted);
}

class MovieQualityTest : public testing::Test {
protected:
    void SetUp() override {
        if (!test::ToolAvailable("ffmpeg")) {
            GTEST_SKIP() << "ffmpeg is not installed";
        }
    }
    static int Run(const std::string& args, std::string* out = nullptr) {
        return RunCommand(std::string(VM_RENDERER_PATH) + " " + args + " 2>&1", out);
    }
    test::TempDir dir_;
};

TEST_F(MovieQualityTest, CompressedFramesDecodeAsTheUncompressedOnes) {
    struct Case {
        const char* kind;  // --type, and the oversampling it is rendered with
        int oversampling;
        const char* extension;
        const char* quality;  // --crf and --preset given; empty: the defaults
    };
    const Case cases[] = {
        {"random-dot", 1, ".mp4", ""},
        {"textured", 4, ".mp4", ""},
        {"random-dot", 1, ".webm", ""},
        {"textured", 4, ".webm", ""},
        {"textured", 4, ".mp4", "--crf 30 --preset ultrafast"},  // smaller, and past the bar
    };
    // Six frames of one depth map, the texture moving from frame to frame: the fifth is one that
    // the encoders predict from others.
    const Picture depth = DepthScene();
    SavePictureByExtension(depth, dir_ / "d.png", 95, "72");
    std::string depthMaps;
    for (int i = 0; i < 6; ++i) {
        depthMaps += (dir_ / "d.png").string() + " ";
    }
    std::vector<std::uint8_t> depthBytes;
    for (int y = kHeight - 1; y >= 0; --y) {
        const std::uint8_t* row = depth.Bitmap().Row(y);
        depthBytes.insert(depthBytes.end(), row, row + kWidth * 3);
    }
    for (const Case& c : cases) {
        const std::string common = depthMaps + "--texture-step 0,15 --type " + c.kind + " --oversampling " +
                                   std::to_string(c.oversampling) + " --seed 3 -W " + std::to_string(kWidth) +
                                   " -H " + std::to_string(kHeight);
        const fs::path avi = dir_ / "m.avi";
        const fs::path compressed = dir_ / (std::string("m") + c.extension);
        ASSERT_EQ(Run(common + " -o " + avi.string()), 0) << c.kind;
        std::string out;
        ASSERT_EQ(Run(common + " " + c.quality + " -o " + compressed.string(), &out), 0) << out;

        const RenderOptions options = ParseRenderOptions(
            {(dir_ / "d.png").string(), "--type", c.kind, "--oversampling", std::to_string(c.oversampling),
             "-W", std::to_string(kWidth), "-H", std::to_string(kHeight), "-o", avi.string()});
        Stereogram engine;
        ConfigureEngine(engine, options);
        engine.SetDepthMap(depth);
        engine.Generate();
        std::array<double, 256> separation{};
        for (std::size_t level = 0; level < separation.size(); ++level) {
            separation[level] = engine.SeparationTable()[level] / static_cast<double>(c.oversampling);
        }
        const double uncompressed = DecodeShare(Frame(avi, 4), depthBytes, separation);
        const double share = DecodeShare(Frame(compressed, 4), depthBytes, separation);
        const std::string label = std::string(c.kind) + c.extension + " " + c.quality;
        std::cout << label << ": decode share " << share * 100 << " % against " << uncompressed * 100
                  << " % uncompressed, " << fs::file_size(compressed) << " bytes\n";
        EXPECT_GT(uncompressed, 0.9) << label << ": the decoder reads the uncompressed frame";
        if (*c.quality == '\0') {
            EXPECT_NEAR(share, uncompressed, 0.02) << label;
        } else {
            EXPECT_LT(share, uncompressed - 0.02) << label << ": the decoder tells a lossy frame apart";
        }
    }
}

TEST(CompressionOptionsTest, QualityAndSpeedAreCheckedForTheCodecOfOut) {
    struct Case {
        std::vector<std::string> args;
        std::string error;  // empty: accepted
    };
    const Case cases[] = {
        {{"a.png", "b.png", "--crf", "51", "--preset", "slow", "-o", "m.mp4"}, ""},
        {{"--text", "A", "--frames", "2", "--crf", "63", "--preset", "good", "-o", "m.WEBM"}, ""},
        {{"a.png", "b.png", "--crf", "52", "-o", "m.mp4"}, "--crf of H.264 (.mp4) must lie between 0 and 51"},
        {{"a.png", "b.png", "--crf", "64", "-o", "m.webm"}, "--crf must lie between 0 and 63"},
        {{"a.png", "b.png", "--preset", "good", "-o", "m.mp4"},
         "--preset of H.264 (.mp4) must be one of ultrafast, superfast, veryfast, faster, fast, medium, "
         "slow, "
         "slower, veryslow, not \"good\""},
        {{"a.png", "b.png", "--preset", "fast", "-o", "m.webm"},
         "--preset of VP9 (.webm) must be one of realtime, good, not \"fast\""},
        {{"a.png", "b.png", "--crf", "20", "-o", "m.avi"},
         "--crf goes with a compressed movie (-o NAME.mp4 or NAME.webm)"},
    };
    for (const Case& c : cases) {
        try {
            const RenderOptions o = ParseRenderOptions(c.args);
            EXPECT_EQ(c.error, "") << testing::PrintToString(c.args) << " was accepted";
            EXPECT_TRUE(o.crf.has_value());
        } catch (const UsageError& e) {
            EXPECT_EQ(e.what(), c.error) << testing::PrintToString(c.args);
        }
    }
}

// A movie that fails while its frames are written leaves the movie that was there before, and
// nothing in the temporary folder.
TEST_F(MovieQualityTest, AFailedMovieLeavesTheOldOne) {
    const Picture depth = DepthScene();
    SavePictureByExtension(depth, dir_ / "d.png", 95, "72");
    fs::create_directories(dir_ / "tmp");
    for (const char* extension : {".mp4", ".webm"}) {
        const fs::path movie = dir_ / (std::string("old") + extension);
        test::WriteBytes(movie, {'o', 'l', 'd'});
        std::string depthMaps;
        for (int i = 0; i < 6; ++i) {
            depthMaps += (dir_ / "d.png").string() + " ";
        }
        std::string out;
        // A file size limit of 100 blocks (of 512 or 1024 bytes, as the shell counts them).
        const int status =
            RunCommand("ulimit -f 100; TMPDIR='" + (dir_ / "tmp").string() + "' " + VM_RENDERER_PATH + " " +
                           depthMaps + " --crf 0 -o " + movie.string() + " 2>&1",
                       &out);
        EXPECT_EQ(status, 1) << out;
        EXPECT_NE(out.find("File too large"), std::string::npos) << out;
        EXPECT_NE(out.find("was left as it was"), std::string::npos) << out;
        EXPECT_EQ(test::ReadBytes(movie), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
        EXPECT_TRUE(fs::is_empty(dir_ / "tmp")) << extension;
    }
}

}  // namespace
}  // namespace vistamaze::cli
