#pragma once

#include "output/AviError.h"
#include "output/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

namespace vistamaze {

// The sample format of a WAV file's audio, taken from its "fmt " chunk.
struct WavFormat {
    std::uint16_t formatTag = 0;  // 1 PCM, 3 IEEE float, 0xFFFE extensible
    std::uint16_t sampleTag = 0;  // 1 or 3: formatTag, or the extensible sub-format
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;        // sample frames per second
    std::uint32_t bytesPerSecond = 0;    // sampleRate * blockAlign (computed, not the stored field)
    std::uint16_t blockAlign = 0;        // bytes of one sample frame, all channels
    std::uint16_t bitsPerSample = 0;     // container bits of one sample
    std::vector<std::uint8_t> fmtChunk;  // the chunk's bytes unchanged (WAVEFORMATEX and extras)
};

// Where the audio lies in a WAV file.
struct WavLayout {
    WavFormat format;
    std::uint64_t dataOffset = 0;  // file offset of the first sample byte
    std::uint64_t dataSize = 0;    // whole sample frames only: a multiple of blockAlign, > 0
};

// Reads `size` bytes at `offset` into `out`; returns false when they cannot all be read.
using WavReadAt = std::function<bool(std::uint64_t offset, std::uint8_t* out, std::size_t size)>;

// Finds the format and the audio data of a RIFF WAVE file of `fileSize` bytes. Accepts PCM and
// IEEE float samples of any rate, channel count and sample size, also as
// WAVE_FORMAT_EXTENSIBLE; chunks may come in any order and a data chunk running past the end
// of the file is cut to the sample frames present.
// Throws AviError: kBadFormat (not RIFF WAVE, corrupt or unsupported format), kNoData (no
// sample data), kFileRead (`read` failed).
WavLayout ParseWav(const WavReadAt& read, std::uint64_t fileSize);

// An open WAV file ready to hand out its samples.
class WavFile {
public:
    // Opens and parses `path`, which must be a regular file: a FIFO, device or folder is refused
    // before any read, and opening never waits. Throws AviError: kFileOpen when the file cannot be
    // opened or is not a regular file (Reason(): "cannot open it: <system's reason>", "it is a
    // folder", "it is not a regular file (a FIFO)"), otherwise as ParseWav.
    explicit WavFile(const std::filesystem::path& path);

    [[nodiscard]] const WavLayout& Layout() const noexcept { return layout_; }
    [[nodiscard]] const WavFormat& Format() const noexcept { return layout_.format; }
    // Number of sample frames.
    [[nodiscard]] std::uint64_t Frames() const noexcept {
        return layout_.dataSize / layout_.format.blockAlign;
    }

    // Copies sample bytes starting `offset` bytes into the audio data. Throws AviError
    // (kFileRead) when the range lies outside the data or cannot be read.
    void ReadSamples(std::uint64_t offset, std::span<std::uint8_t> out) const;

private:
    UniqueFd fd_;
    WavLayout layout_;
};

// The message LoadAudio reports for a failure code of opening an audio file.
std::string LoadAudioMessage(AviCode code);

}  // namespace vistamaze
