#pragma once

// What the video reader helper (vistamaze-video) streams to the program through its standard
// output: a sequence of records, each a 4-byte kind, a 32-bit value and the payload those two
// give. Both ends run on the same machine, so numbers are in the machine's own byte order. The
// program trusts nothing in the stream: the frame size against the picture limits before anything
// is allocated, every length exactly, the number of frames and of sound chunks against caps.
//
// Records, in this order:
//  - "HEAD" (value 32): the video's facts, 8 32-bit numbers: width, height, frame rate numerator
//    and denominator (0 and 0 when the file does not say), the frames claimed (0: not said, capped
//    at kMaxVideoFrames + 1), 1 for grey frames or 0 for colour, sound channels (0..8, 0: none;
//    the helper sends at most 2), sample rate;
//  - "SOND" (value: sample frames, 1..kMaxSoundChunkFrames): the sound track, that many frames of
//    interleaved float samples; all of them before the first frame;
//  - "FRAM" (value 0): a frame, height rows from the top, width pixels of one byte (grey) or
//    three (blue, green, red);
//  - "DONE" (value 0): the end; nothing follows.
// In place of any record: "FAIL" (value: the length of the one-line cause that follows, at most
// kMaxCauseBytes) or "NMEM" (value 0: the helper ran out of memory); nothing follows either.

#include "engine/Errors.h"
#include "engine/PixelBuffer.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace vistamaze::videowire {

// Most frames a depth video may have: over 11 hours at 25 frames a second.
inline constexpr std::uint32_t kMaxVideoFrames = 1'000'000;
inline constexpr std::uint32_t kMaxSoundChunkFrames = 1 << 16;
inline constexpr std::uint32_t kMaxSoundChannels = 8;
inline constexpr std::uint32_t kMaxSoundRate = 768'000;
inline constexpr std::size_t kMaxCauseBytes = 1024;

struct Facts {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t rateNum = 0;
    std::uint32_t rateDen = 0;
    std::uint32_t frames = 0;
    bool grey = false;
    std::uint32_t soundChannels = 0;
    std::uint32_t soundRate = 0;
};

// The record heads and whole small records, written by the helper.
[[nodiscard]] std::array<std::byte, 8> RecordHead(const char (&kind)[5], std::uint32_t value);
[[nodiscard]] std::vector<std::byte> EncodeHead(const Facts& facts);
[[nodiscard]] std::vector<std::byte> EncodeFailure(const std::string& cause);
[[nodiscard]] std::vector<std::byte> EncodeOutOfMemory();

// Fills `bytes` whole from the stream, or returns false at its end.
using ReadExactly = std::function<bool(std::span<std::byte> bytes)>;

// The stream ended before its "DONE" record.
class StreamEnded : public Error {
public:
    StreamEnded() : Error("the stream ends early") {}
};
// The helper's own report: a "FAIL" record's cause.
class HelperFailure : public Error {
public:
    using Error::Error;
};
// An "NMEM" record.
class HelperOutOfMemory : public Error {
public:
    HelperOutOfMemory() : Error("out of memory") {}
};

// Reads the stream record by record. Every failure throws: StreamEnded, HelperFailure,
// HelperOutOfMemory, or vistamaze::Error with a short reason for a stream that is not well formed
// ("its frames are 9000 x 9000 pixels, more than a depth map may have (6000 x 4000, 32768 a
// side)", "the
// stream is damaged: ...").
class StreamReader {
public:
    // Reads the "HEAD" record and checks it.
    explicit StreamReader(ReadExactly read);

    [[nodiscard]] const Facts& VideoFacts() const noexcept { return facts_; }

    struct Sound {
        std::span<const float> samples;  // interleaved, VideoFacts().soundChannels a frame; valid
                                         // until the next call
    };
    struct Frame {
        PixelBuffer picture;  // 24-bit, of the video's size
    };
    struct Done {};
    using Record = std::variant<Sound, Frame, Done>;

    // The next record. After Done, nothing more may be read.
    [[nodiscard]] Record Next();

private:
    void ReadAll(std::span<std::byte> bytes);
    [[nodiscard]] Frame ReadFrame();
    // Throws what a "FAIL" or "NMEM" record says, or `otherwise` as damage.
    [[noreturn]] void ThrowReport(std::uint32_t kind, std::uint32_t value, const std::string& otherwise);

    ReadExactly read_;
    Facts facts_;
    std::vector<float> sound_;
    std::vector<std::uint8_t> row_;
    std::uint32_t frames_ = 0;
    bool done_ = false;
};

}  // namespace vistamaze::videowire
