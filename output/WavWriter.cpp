#include "output/WavWriter.h"

#include "engine/Errors.h"
#include "engine/QuotedName.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace vistamaze {
namespace {

constexpr std::uint64_t kHeaderBytes = 44;
// The RIFF length counts the file after its first 8 bytes in 32 bits.
constexpr std::uint64_t kMaxSampleBytes = 0xFFFFFFFFULL - (kHeaderBytes - 8);

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

}  // namespace

WavWriter::WavWriter(std::filesystem::path file, int channels, int rate)
    : file_(std::move(file)), channels_(static_cast<std::uint64_t>(std::clamp(channels, 1, 65535))) {
    fd_.Reset(::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd_.Valid()) {
        throw Error("Cannot write the sound track " + QuotedName(file_) + ": " + std::strerror(errno));
    }
    std::array<std::uint8_t, kHeaderBytes> h{};
    std::memcpy(h.data(), "RIFF", 4);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    Put32(h.data() + 16, 16);
    Put16(h.data() + 20, 1);  // PCM
    Put16(h.data() + 22, static_cast<std::uint32_t>(channels_));
    Put32(h.data() + 24, static_cast<std::uint32_t>(rate));
    Put32(h.data() + 28, static_cast<std::uint32_t>(static_cast<std::uint64_t>(rate) * channels_ * 2));
    Put16(h.data() + 32, static_cast<std::uint32_t>(channels_ * 2));
    Put16(h.data() + 34, 16);
    std::memcpy(h.data() + 36, "data", 4);
    Write(h.data(), h.size(), 0);
}

void WavWriter::Write(const void* data, std::size_t size, std::uint64_t offset) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t written = ::pwrite(fd_.Get(), bytes, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            throw Error("Cannot write the sound track " + QuotedName(file_) + ": " +
                        std::strerror(written < 0 ? errno : ENOSPC));
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
}

void WavWriter::Add(std::span<const float> samples) {
    const std::uint64_t added = (samples.size() / channels_) * channels_ * 2;
    if (bytes_ + added > kMaxSampleBytes) {
        throw Error("Cannot write the sound track " + QuotedName(file_) +
                    ": it is longer than a WAV file can hold (4 GiB)");
    }
    std::vector<std::uint8_t> pcm(added);
    for (std::size_t i = 0; i < added / 2; ++i) {
        const float s = std::isfinite(samples[i]) ? std::clamp(samples[i], -1.0F, 1.0F) : 0.0F;
        const auto v = static_cast<std::int16_t>(std::lrint(s * 32767.0F));
        Put16(pcm.data() + i * 2, static_cast<std::uint16_t>(v));
    }
    Write(pcm.data(), pcm.size(), kHeaderBytes + bytes_);
    bytes_ += added;
}

void WavWriter::Finish() {
    std::array<std::uint8_t, 4> size{};
    Put32(size.data(), static_cast<std::uint32_t>(bytes_ + kHeaderBytes - 8));
    Write(size.data(), size.size(), 4);
    Put32(size.data(), static_cast<std::uint32_t>(bytes_));
    Write(size.data(), size.size(), 40);
}

}  // namespace vistamaze
