#pragma once

#include "output/UniqueFd.h"

#include <cstdint>
#include <filesystem>
#include <span>

namespace vistamaze {

// Writes a sound track as a WAV file of 16-bit PCM samples, as every movie writer takes it: the
// header first with its lengths left open, the samples as they come, the lengths when it is
// finished. Throws vistamaze::Error naming the file and the system's reason when it cannot be
// written, and when the samples would pass the 4 GiB a WAV file can hold.
class WavWriter {
public:
    // Creates (or truncates) `file` for `channels` (1..65535) channels at `rate` sample frames a
    // second.
    WavWriter(std::filesystem::path file, int channels, int rate);

    // Appends interleaved samples in -1..1 (others are clipped), whole sample frames.
    void Add(std::span<const float> samples);
    // Writes the lengths; the file is complete.
    void Finish();

    [[nodiscard]] std::uint64_t Frames() const noexcept { return bytes_ / (2 * channels_); }

private:
    void Write(const void* data, std::size_t size, std::uint64_t offset);

    std::filesystem::path file_;
    UniqueFd fd_;
    std::uint64_t channels_;
    std::uint64_t bytes_ = 0;  // of samples written
};

}  // namespace vistamaze
