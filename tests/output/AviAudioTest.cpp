// Movies with the audio of a WAV file, and the LoadAudio failures.

#include "output/AviWriter.h"
#include "tests/output/AviTestParser.h"
#include "tests/support/TestSupport.h"

#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

namespace fs = std::filesystem;

struct AudioCase {
    std::string name;
    std::function<fs::path(const TempDir&)> make;  // returns the WAV path, or empty to skip
    const char* codec;
    const char* rawFormat;  // ffmpeg raw format to compare decoded samples in
    int rate;
    int channels;
};

std::string Run(const std::string& command) {
    std::string out;
    EXPECT_EQ(RunCommand(command, &out), 0) << command;
    return out;
}

std::string DecodeAudio(const fs::path& file, const std::string& rawFormat) {
    return Run("ffmpeg -v error -i '" + file.string() + "' -map 0:a -f " + rawFormat + " -");
}

fs::path Copied(const std::string& name) {
    return DataFile("audio/" + name);
}

fs::path Shared(const std::string& name) {
    return fs::exists(SharedFile(name)) ? SharedFile(name) : fs::path();
}

// A WAV made by ffmpeg (which writes WAVE_FORMAT_EXTENSIBLE for more than 2 channels).
std::function<fs::path(const TempDir&)> Generated(const std::string& codec, int channels, int rate) {
    return [=](const TempDir& dir) {
        const fs::path out = dir / ("gen_" + codec + ".wav");
        Run("ffmpeg -v error -f lavfi -i sine=frequency=300:sample_rate=" + std::to_string(rate) +
            ":duration=0.7 -ac " + std::to_string(channels) + " -c:a " + codec + " -y '" + out.string() +
            "'");
        return out;
    };
}

class AviAudioTest : public ::testing::TestWithParam<AudioCase> {};

TEST_P(AviAudioTest, AudioIsCopiedUnchangedAndInterleaved) {
    if (!ToolAvailable("ffprobe") || !ToolAvailable("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
    }
    const AudioCase& c = GetParam();
    TempDir dir;
    const fs::path wav = c.make(dir);
    if (wav.empty()) {
        GTEST_SKIP() << "shared test file for " << c.name << " is absent";
    }
    constexpr int kFrames = 10;
    {
        AviWriter writer({1920, 1080}, dir.Path());
        writer.SetWidth(64);
        writer.SetHeight(48);
        writer.SetFrameTime(40);
        writer.SetFileName((dir / "a.avi").string());
        writer.SetWavFileName(wav.string());
        writer.OpenWorkFile();
        for (int i = 0; i < kFrames; ++i) {
            writer.AddFrame(MakeBuffer24(64, 48, [i](int y, int x) {
                return Bgr{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(y),
                           static_cast<std::uint8_t>(x)};
            }));
        }
        writer.CloseVideo();
        writer.SaveMovie();
        EXPECT_FALSE(fs::exists(writer.WorkFileName()));
    }
    const fs::path movie = dir / "a.avi";
    auto a = ProbeStream(movie, "a:0");
    EXPECT_EQ(a["codec_name"], c.codec);
    EXPECT_EQ(a["sample_rate"], std::to_string(c.rate));
    EXPECT_EQ(a["channels"], std::to_string(c.channels));
    EXPECT_EQ(ProbeStream(movie, "v:0")["nb_read_frames"], std::to_string(kFrames));
    const std::string fromWav = DecodeAudio(wav, c.rawFormat);
    ASSERT_FALSE(fromWav.empty());
    EXPECT_TRUE(DecodeAudio(movie, c.rawFormat) == fromWav) << "audio differs from the WAV's";

    const AviLayout avi = ParseAvi(movie);
    ASSERT_EQ(avi.strh.size(), 2U);
    const auto& strh = avi.strh[1];
    EXPECT_EQ(std::string(strh.begin(), strh.begin() + 4), "auds");
    const std::uint32_t blockAlign = Le32(strh.data() + 20);
    EXPECT_EQ(Le32(strh.data() + 24), blockAlign * static_cast<std::uint32_t>(c.rate));
    EXPECT_EQ(Le32(strh.data() + 44), blockAlign);  // sample size
    // The stream header counts every sample frame of the WAV, idx1 and ix01 name every chunk.
    std::uint64_t audioBytes = 0;
    std::vector<AviIndexEntry> audioIdx1;
    for (const auto& e : avi.idx1) {
        if (e.id == "01wb") {
            audioBytes += e.size;
            audioIdx1.push_back(e);
        } else {
            EXPECT_EQ(e.id, "00db");
        }
    }
    EXPECT_EQ(avi.strhLength[1], audioBytes / blockAlign);
    ASSERT_EQ(avi.openDml.size(), 2U);
    ASSERT_EQ(avi.openDml[1].size(), audioIdx1.size());
    EXPECT_EQ(avi.superIndexDurations[1], audioBytes / blockAlign);
    for (std::size_t i = 0; i < audioIdx1.size(); ++i) {
        EXPECT_EQ(avi.openDml[1][i].dataPos, audioIdx1[i].dataPos);
        EXPECT_EQ(FourCcAt(movie, audioIdx1[i].dataPos - 8), "01wb");
        EXPECT_EQ(Le32(ReadAt(movie, audioIdx1[i].dataPos - 4, 4).data()), audioIdx1[i].size);
    }
    // Interleaved: audio comes first, and each chunk holds about one frame's duration.
    EXPECT_EQ(avi.idx1.front().id, "01wb");
    const std::uint64_t perFrame = static_cast<std::uint64_t>(c.rate) * 40 / 1000 * blockAlign;
    for (const auto& e : audioIdx1) {
        EXPECT_LE(e.size, perFrame + blockAlign);
    }
    // The strf is the WAV's own format block.
    const auto wavBytes = ReadBytes(wav);
    const std::uint32_t fmtSize = Le32(wavBytes.data() + 16);
    ASSERT_EQ(avi.strf[1].size(), fmtSize + (fmtSize & 1U));
    EXPECT_TRUE(std::equal(avi.strf[1].begin(), avi.strf[1].begin() + fmtSize, wavBytes.begin() + 20));
}

INSTANTIATE_TEST_SUITE_P(
    Wavs, AviAudioTest,
    ::testing::Values(
        AudioCase{"u8_mono", [](const TempDir&) { return Copied("allegro_welcome.wav"); }, "pcm_u8", "u8",
                  22050, 1},
        AudioCase{"s16_shorter_than_video", [](const TempDir&) { return Copied("chuck_snare_01.wav"); },
                  "pcm_s16le", "s16le", 44100, 2},
        AudioCase{"list_after_data", [](const TempDir&) { return Copied("wx_tinkalink2.wav"); }, "pcm_s16le",
                  "s16le", 22050, 2},
        AudioCase{"s16_48k_mono", [](const TempDir&) { return Shared("audio/alsa_Front_Center.wav"); },
                  "pcm_s16le", "s16le", 48000, 1},
        AudioCase{"ffmpeg_list_before_data",
                  [](const TempDir&) { return Shared("oracle/audio/ffmpeg_s16le_44k_stereo.wav"); },
                  "pcm_s16le", "s16le", 44100, 2},
        AudioCase{"s24_6ch_extensible", Generated("pcm_s24le", 6, 48000), "pcm_s24le", "s24le", 48000, 6},
        AudioCase{"f32_stereo", Generated("pcm_f32le", 2, 32000), "pcm_f32le", "f32le", 32000, 2}),
    [](const auto& tp) { return tp.param.name; });

struct BadWav {
    std::string name;
    std::function<fs::path(const TempDir&)> make;
    const char* message;
    const char* reason = "";  // the system's, after the file name
};

fs::path Edited(const TempDir& dir, const std::function<void(std::vector<std::uint8_t>&)>& edit) {
    auto bytes = ReadBytes(DataFile("audio/chuck_snare_01.wav"));
    edit(bytes);
    const fs::path out = dir / "edited.wav";
    WriteBytes(out, bytes);
    return out;
}

std::size_t Find(const std::vector<std::uint8_t>& bytes, const std::string& id) {
    const auto at = std::search(bytes.begin(), bytes.end(), id.begin(), id.end());
    return static_cast<std::size_t>(at - bytes.begin());
}

constexpr const char* kOpenError = "A disk error occurred while opening the audio file.";
constexpr const char* kCorrupt =
    "The file could not be read, indicating a corrupt file or an unrecognized format.";
constexpr const char* kNoStream = "Unable to get audio stream";

class AviBadAudioTest : public ::testing::TestWithParam<BadWav> {};

TEST_P(AviBadAudioTest, SaveMovieReportsTheAudioFailureAndCleansUp) {
    TempDir dir;
    const fs::path wav = GetParam().make(dir);
    AviWriter writer({1920, 1080}, dir.Path());
    writer.SetWidth(8);
    writer.SetHeight(8);
    writer.SetFileName((dir / "m.avi").string());
    writer.SetWavFileName(wav.string());
    writer.OpenWorkFile();
    writer.AddFrame(PixelBuffer(8, 8, 24));
    writer.CloseVideo();
    try {
        writer.SaveMovie();
        ADD_FAILURE() << "saved with a bad WAV";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), std::string(GetParam().message) + " (audio file \"" + wav.string() +
                                             "\"" + GetParam().reason + ")");
    }
    EXPECT_FALSE(fs::exists(writer.WorkFileName()));
    EXPECT_FALSE(fs::exists(dir / "m.avi"));
    ASSERT_THROW(writer.LoadAudio(), Error);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, AviBadAudioTest,
    ::testing::Values(
        BadWav{"missing", [](const TempDir& d) { return d / "missing.wav"; }, kOpenError,
               ": No such file or directory"},
        BadWav{"folder",
               [](const TempDir& d) {
                   fs::create_directory(d / "folder.wav");
                   return d / "folder.wav";
               },
               kOpenError, ": Is a directory"},
        BadWav{"not_riff", [](const TempDir& d) { return Edited(d, [](auto& b) { b[3] = 'X'; }); }, kCorrupt},
        BadWav{"not_wave", [](const TempDir& d) { return Edited(d, [](auto& b) { b[8] = 'A'; }); }, kCorrupt},
        BadWav{"tiny", [](const TempDir& d) { return Edited(d, [](auto& b) { b.resize(20); }); }, kCorrupt},
        BadWav{"fmt_cut", [](const TempDir& d) { return Edited(d, [](auto& b) { b.resize(30); }); },
               kCorrupt},
        BadWav{"adpcm_tag",
               [](const TempDir& d) { return Edited(d, [](auto& b) { b[Find(b, "fmt ") + 8] = 2; }); },
               kCorrupt},
        BadWav{"block_align_wrong",
               [](const TempDir& d) { return Edited(d, [](auto& b) { b[Find(b, "fmt ") + 20] = 3; }); },
               kCorrupt},
        BadWav{"no_data_chunk",
               [](const TempDir& d) { return Edited(d, [](auto& b) { b.resize(Find(b, "data")); }); },
               kNoStream},
        BadWav{"empty_data",
               [](const TempDir& d) { return Edited(d, [](auto& b) { b.resize(Find(b, "data") + 8); }); },
               kNoStream}),
    [](const auto& tp) { return tp.param.name; });

}  // namespace
}  // namespace vistamaze::test
