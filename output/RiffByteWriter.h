#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vistamaze {

// Little-endian RIFF building blocks; chunk sizes are patched when a chunk is ended.
class RiffByteWriter {
public:
    void U8(std::uint8_t v) { bytes_.push_back(v); }
    void U16(std::uint16_t v) {
        U8(static_cast<std::uint8_t>(v));
        U8(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    void U64(std::uint64_t v) {
        U32(static_cast<std::uint32_t>(v));
        U32(static_cast<std::uint32_t>(v >> 32));
    }
    void Id(const char* fourcc) { bytes_.insert(bytes_.end(), fourcc, fourcc + 4); }
    void Zeros(std::size_t n) { bytes_.insert(bytes_.end(), n, 0); }
    void Bytes(std::span<const std::uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
    std::size_t Begin(const char* fourcc) {
        const std::size_t at = bytes_.size();
        Id(fourcc);
        U32(0);
        return at;
    }
    std::size_t BeginList(const char* type) {
        const std::size_t at = Begin("LIST");
        Id(type);
        return at;
    }
    void End(std::size_t at) {
        const std::size_t size = bytes_.size() - at - 8;
        for (int i = 0; i < 4; ++i) {
            bytes_[at + 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
        }
        if (size % 2 != 0) {
            U8(0);
        }
    }
    [[nodiscard]] std::size_t Size() const noexcept { return bytes_.size(); }
    [[nodiscard]] const std::vector<std::uint8_t>& Data() const noexcept { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace vistamaze
