// The stream of the depth-video reader helper as the programs read it: a well-formed stream gives
// its sound and frames, and every way a stream can lie or break is refused with a reason.
#include "importer/VideoWire.h"

#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

namespace vistamaze::videowire {
namespace {

using Bytes = std::vector<std::byte>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes Head(const char (&kind)[5], std::uint32_t value) {
    const auto head = RecordHead(kind, value);
    return {head.begin(), head.end()};
}
template <typename T>
Bytes Data(const std::vector<T>& values) {
    Bytes out(values.size() * sizeof(T));
    std::memcpy(out.data(), values.data(), out.size());
    return out;
}

// 4 x 2 grey frames, mono sound.
const Facts kFacts{4, 2, 25, 1, 1, true, 1, 8000};

StreamReader ReaderOf(const Bytes& bytes, std::size_t& offset) {
    return StreamReader([&bytes, &offset](std::span<std::byte> out) {
        if (out.size() > bytes.size() - offset) {
            return false;
        }
        std::memcpy(out.data(), bytes.data() + offset, out.size());
        offset += out.size();
        return true;
    });
}

TEST(VideoWire, GivesTheSoundThenTheFramesTopRowFirst) {
    const Bytes stream = EncodeHead(kFacts) + Head("SOND", 2) + Data<float>({0.5F, 3.0F}) + Head("FRAM", 0) +
                         Data<std::uint8_t>({1, 2, 3, 4, 5, 6, 7, 8}) + Head("DONE", 0);
    std::size_t offset = 0;
    StreamReader reader = ReaderOf(stream, offset);
    EXPECT_EQ(reader.VideoFacts().rateNum, 25U);
    StreamReader::Record sound = reader.Next();
    ASSERT_TRUE(std::holds_alternative<StreamReader::Sound>(sound));
    // Out-of-range samples are clipped.
    EXPECT_EQ(std::vector<float>(std::get<StreamReader::Sound>(sound).samples.begin(),
                                 std::get<StreamReader::Sound>(sound).samples.end()),
              (std::vector<float>{0.5F, 1.0F}));
    StreamReader::Record frame = reader.Next();
    ASSERT_TRUE(std::holds_alternative<StreamReader::Frame>(frame));
    const PixelBuffer& picture = std::get<StreamReader::Frame>(frame).picture;
    // Bottom-up rows: the stream's first row is the picture's top.
    EXPECT_EQ(picture.Row(1)[0], 1);
    EXPECT_EQ(picture.Row(1)[11], 4);
    EXPECT_EQ(picture.Row(0)[3], 6);
    EXPECT_TRUE(std::holds_alternative<StreamReader::Done>(reader.Next()));
    EXPECT_EQ(offset, stream.size());
}

TEST(VideoWire, RefusesStreamsThatLieOrBreak) {
    Facts huge = kFacts;
    huge.width = 6001;
    huge.height = 4000;
    Facts many = kFacts;
    many.frames = kMaxVideoFrames + 1;
    Facts silent = kFacts;
    silent.soundChannels = 0;
    const Bytes frame = Head("FRAM", 0) + Bytes(8);
    const struct {
        const char* name;
        Bytes stream;
        std::string reason;
    } cases[] = {
        {"empty", {}, "the stream ends early"},
        {"huge frames", EncodeHead(huge), "6001 x 4000 pixels, more than a depth map may have"},
        {"too many frames", EncodeHead(many), "claims more than the 1000000 frames"},
        {"no head", frame, "it does not begin with the video's facts"},
        {"sound without a track", EncodeHead(silent) + Head("SOND", 1) + Bytes(4),
         "sound record is out of place"},
        {"sound after a frame", EncodeHead(kFacts) + frame + Head("SOND", 1) + Bytes(4), "out of place"},
        {"too long a sound chunk", EncodeHead(kFacts) + Head("SOND", kMaxSoundChunkFrames + 1),
         "out of place"},
        {"a frame cut short", EncodeHead(kFacts) + Head("FRAM", 0) + Bytes(7), "the stream ends early"},
        {"an unknown record", EncodeHead(kFacts) + Head("WHAT", 0), "a record of an unknown kind"},
        {"the helper's failure", EncodeHead(kFacts) + EncodeFailure("cannot decode a frame\n: bad"),
         "cannot decode a frame : bad"},
        {"a failure before the head", EncodeFailure("cannot open it"), "cannot open it"},
        {"out of memory", EncodeHead(kFacts) + frame + EncodeOutOfMemory(), "out of memory"},
        {"no end", EncodeHead(kFacts) + frame, "the stream ends early"},
    };
    for (const auto& c : cases) {
        std::size_t offset = 0;
        try {
            StreamReader reader = ReaderOf(c.stream, offset);
            for (int i = 0; i < 4; ++i) {
                static_cast<void>(reader.Next());
            }
            ADD_FAILURE() << c.name << ": taken";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << c.name << ": " << e.what();
        }
    }
}

}  // namespace
}  // namespace vistamaze::videowire
