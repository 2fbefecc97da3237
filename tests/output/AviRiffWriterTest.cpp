// OpenDML layout across many RIFF extensions, made quick with a small segment limit.

#include "output/AviRiffWriter.h"
#include "output/UniqueFd.h"
#include "output/WavFile.h"
#include "tests/output/AviTestParser.h"
#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

namespace fs = std::filesystem;

TEST(AviRiffWriter, ManyRiffExtensionsAreIndexedAndPlayWhole) {
    TempDir dir;
    const fs::path movie = dir / "segments.avi";
    const WavFile wav(DataFile("audio/wx_tinkalink2.wav"));  // 22050 Hz stereo 16-bit
    constexpr int kFrames = 100;
    constexpr std::size_t kAudioPerFrame = 882 * 4;  // 40 ms
    std::string audioWritten;
    std::vector<std::vector<std::uint8_t>> framesWritten;
    {
        UniqueFd fd(::open(movie.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        ASSERT_TRUE(fd.Valid());
        AviRiffWriter w(
            fd.Get(), AviVideoStream{33, 16, 40, 1000},
            AviAudioStream{wav.Format().fmtChunk, wav.Format().blockAlign, wav.Format().bytesPerSecond},
            64 * 1024);
        ASSERT_EQ(w.FrameBytes(), 100U * 16);  // 33 * 3 = 99 bytes, padded to 100
        std::vector<std::uint8_t> sound(kAudioPerFrame);
        for (int i = 0; i < kFrames; ++i) {
            if ((i + 1) * kAudioPerFrame <= wav.Layout().dataSize) {
                wav.ReadSamples(i * kAudioPerFrame, sound);
                w.AddAudio(sound);
                audioWritten.append(sound.begin(), sound.end());
            }
            std::vector<std::uint8_t> frame(w.FrameBytes(), static_cast<std::uint8_t>(i));
            w.AddVideoFrame(frame);
            framesWritten.push_back(frame);
        }
        EXPECT_THROW(w.AddVideoFrame(std::vector<std::uint8_t>(10)), AviError);
        w.Finish();
    }
    const AviLayout avi = ParseAvi(movie);
    int riffs = 0;
    for (const auto& c : avi.chunks) {
        if (c.id == "RIFF") {
            ++riffs;
            EXPECT_LE(c.size + 8U, 64U * 1024) << "RIFF at " << c.pos;
        }
    }
    EXPECT_GT(riffs, 3);
    EXPECT_EQ(avi.dmlhTotalFrames, static_cast<std::uint32_t>(kFrames));
    EXPECT_EQ(avi.strhLength[0], static_cast<std::uint32_t>(kFrames));
    EXPECT_EQ(avi.strhLength[1], audioWritten.size() / 4);
    ASSERT_EQ(avi.openDml.size(), 2U);
    ASSERT_EQ(avi.openDml[0].size(), static_cast<std::size_t>(kFrames));
    EXPECT_EQ(avi.superIndexDurations[0], static_cast<std::uint32_t>(kFrames));
    EXPECT_EQ(avi.superIndexDurations[1], audioWritten.size() / 4);
    std::size_t idx1Frames = 0;
    for (const auto& e : avi.idx1) {
        idx1Frames += e.id == "00db" ? 1 : 0;
        ASSERT_EQ(FourCcAt(movie, e.dataPos - 8), e.id);
    }
    EXPECT_EQ(idx1Frames, avi.avihTotalFrames);
    EXPECT_LT(idx1Frames, static_cast<std::size_t>(kFrames));
    std::string audioIndexed;
    for (const auto& e : avi.openDml[1]) {
        ASSERT_EQ(FourCcAt(movie, e.dataPos - 8), "01wb");
        const auto b = ReadAt(movie, e.dataPos, e.size);
        audioIndexed.append(b.begin(), b.end());
    }
    EXPECT_TRUE(audioIndexed == audioWritten);
    for (int i = 0; i < kFrames; ++i) {
        const auto& e = avi.openDml[0][static_cast<std::size_t>(i)];
        ASSERT_EQ(FourCcAt(movie, e.dataPos - 8), "00db");
        EXPECT_EQ(ReadAt(movie, e.dataPos, e.size), framesWritten[static_cast<std::size_t>(i)])
            << "frame " << i;
    }

    if (!ToolAvailable("ffprobe")) {
        GTEST_SKIP() << "ffprobe is not installed";
    }
    std::string out;
    ASSERT_EQ(
        RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                   "-of csv=p=0 '" +
                       movie.string() + "'",
                   &out),
        0);
    EXPECT_EQ(out, std::to_string(kFrames) + "\n");
    ASSERT_EQ(RunCommand("ffmpeg -v error -i '" + movie.string() + "' -map 0:a -f s16le -", &out), 0);
    EXPECT_TRUE(out == audioWritten) << "decoded audio differs";
}

TEST(AviRiffWriter, FullSuperIndexRefusesFurtherFramesAndKeepsTheMovie) {
    TempDir dir;
    const fs::path movie = dir / "full-index.avi";
    {
        UniqueFd fd(::open(movie.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        ASSERT_TRUE(fd.Valid());
        // A limit of one byte puts every frame into a RIFF of its own.
        AviRiffWriter w(fd.Get(), AviVideoStream{2, 2, 40, 1000}, std::nullopt, 1);
        const std::vector<std::uint8_t> frame(w.FrameBytes(), 7);
        for (std::uint32_t i = 0; i < AviRiffWriter::kSuperIndexEntries; ++i) {
            w.AddVideoFrame(frame);
        }
        try {
            w.AddVideoFrame(frame);
            ADD_FAILURE() << "a frame past the super index was accepted";
        } catch (const AviError& e) {
            EXPECT_EQ(e.Code(), AviCode::kBadSize);
        }
        w.Finish();
    }
    const AviLayout avi = ParseAvi(movie);
    EXPECT_EQ(avi.dmlhTotalFrames, AviRiffWriter::kSuperIndexEntries);
    ASSERT_EQ(avi.openDml[0].size(), AviRiffWriter::kSuperIndexEntries);
    EXPECT_EQ(avi.idx1.size(), 1U);
    if (ToolAvailable("ffprobe")) {
        std::string out;
        ASSERT_EQ(
            RunCommand(
                "ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                "-of csv=p=0 '" +
                    movie.string() + "'",
                &out),
            0);
        EXPECT_EQ(out, std::to_string(AviRiffWriter::kSuperIndexEntries) + "\n");
    }
}

}  // namespace
}  // namespace vistamaze::test
