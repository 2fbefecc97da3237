// The WAV reader on real files; the numbers come from the files' catalogue, not from us.

#include "output/WavFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

namespace fs = std::filesystem;

struct WavCase {
    const char* file;  // under tests/data/audio or, with "shared:", the shared test data
    int channels;
    int rate;
    int bits;
    std::uint64_t dataBytes;
};

class WavFileTest : public ::testing::TestWithParam<WavCase> {};

TEST_P(WavFileTest, FindsFormatAndSamples) {
    const WavCase& c = GetParam();
    const std::string name = c.file;
    const fs::path path =
        name.rfind("shared:", 0) == 0 ? SharedFile(name.substr(7)) : DataFile("audio/" + name);
    if (!fs::exists(path)) {
        GTEST_SKIP() << path << " is absent";
    }
    const WavFile wav(path);
    EXPECT_EQ(wav.Format().formatTag, 1);
    EXPECT_EQ(wav.Format().channels, c.channels);
    EXPECT_EQ(static_cast<int>(wav.Format().sampleRate), c.rate);
    EXPECT_EQ(wav.Format().bitsPerSample, c.bits);
    EXPECT_EQ(wav.Format().blockAlign, c.channels * c.bits / 8);
    EXPECT_EQ(wav.Layout().dataSize, c.dataBytes);
    // The samples handed out are the bytes of the data chunk.
    const auto bytes = ReadBytes(path);
    std::vector<std::uint8_t> tail(16);
    wav.ReadSamples(c.dataBytes - tail.size(), tail);
    EXPECT_TRUE(
        std::equal(tail.begin(), tail.end(),
                   bytes.begin() + static_cast<std::ptrdiff_t>(wav.Layout().dataOffset + c.dataBytes - 16)));
    EXPECT_THROW(wav.ReadSamples(c.dataBytes - 4, tail), AviError);
}

INSTANTIATE_TEST_SUITE_P(
    Files, WavFileTest,
    ::testing::Values(WavCase{"allegro_welcome.wav", 1, 22050, 8, 24080},
                      WavCase{"chuck_snare_01.wav", 2, 44100, 16, 44232},
                      WavCase{"wx_tinkalink2.wav", 2, 22050, 16, 80032},
                      WavCase{"shared:audio/alsa_Front_Center.wav", 1, 48000, 16, 137090},
                      WavCase{"shared:oracle/audio/ffmpeg_s16le_44k_stereo.wav", 2, 44100, 16, 251904}));

TEST(WavFile, DataChunkCutShortKeepsTheWholeSampleFramesPresent) {
    TempDir dir;
    auto bytes = ReadBytes(DataFile("audio/chuck_snare_01.wav"));
    bytes.resize(bytes.size() - 44232 + 1001);  // 1001 bytes of data left: 250 frames of 4 bytes
    WriteBytes(dir / "cut.wav", bytes);
    const WavFile wav(dir / "cut.wav");
    EXPECT_EQ(wav.Layout().dataSize, 1000U);
    EXPECT_EQ(wav.Frames(), 250U);
}

TEST(WavFile, FileShrinkingAfterOpeningIsAReadError) {
    TempDir dir;
    fs::copy_file(DataFile("audio/chuck_snare_01.wav"), dir / "s.wav");
    const WavFile wav(dir / "s.wav");
    fs::resize_file(dir / "s.wav", 100);
    std::vector<std::uint8_t> out(64);
    try {
        wav.ReadSamples(1000, out);
        ADD_FAILURE() << "read past the end succeeded";
    } catch (const AviError& e) {
        EXPECT_EQ(e.Code(), AviCode::kFileRead);
        EXPECT_STREQ(e.what(), "A disk error occurred while reading the audio file.");
    }
}

TEST(WavFile, LoadAudioMessagesFollowTheFailureCode) {
    EXPECT_EQ(LoadAudioMessage(AviCode::kClassNotRegistered),
              "According to the registry, the type of audio file specified in AVIFileOpen does not have a "
              "handler to process it.");
    EXPECT_EQ(LoadAudioMessage(AviCode::kMemory),
              "The file could not be opened because of insufficient memory.");
    EXPECT_EQ(LoadAudioMessage(AviCode::kFileWrite), "Unknown error opening audio file");
}

}  // namespace
}  // namespace vistamaze::test
