#pragma once

#include "engine/Errors.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

namespace vistamaze::models {

// Little-endian reads at absolute offsets of a byte block; every read is bounds-checked and
// throws vistamaze::Error("unexpected end of data") past the end.
class BinaryView {
public:
    explicit BinaryView(std::span<const std::uint8_t> data) : data_(data) {}

    [[nodiscard]] std::size_t Size() const noexcept { return data_.size(); }

    // True when `count` elements of `elementSize` bytes starting at `offset` lie inside the data;
    // written so that no multiplication or addition can overflow.
    [[nodiscard]] bool Holds(std::uint64_t offset, std::uint64_t count,
                             std::uint64_t elementSize) const noexcept {
        if (offset > data_.size()) {
            return false;
        }
        const std::uint64_t room = data_.size() - offset;
        return elementSize == 0 || count <= room / elementSize;
    }
    void Require(std::uint64_t offset, std::uint64_t count, std::uint64_t elementSize) const {
        if (!Holds(offset, count, elementSize)) {
            throw Error("unexpected end of data");
        }
    }

    [[nodiscard]] std::uint8_t U8(std::uint64_t offset) const {
        Require(offset, 1, 1);
        return data_[offset];
    }
    [[nodiscard]] std::uint32_t U32(std::uint64_t offset) const {
        Require(offset, 1, 4);
        const std::uint8_t* p = data_.data() + offset;
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    [[nodiscard]] std::int32_t I32(std::uint64_t offset) const {
        return static_cast<std::int32_t>(U32(offset));
    }
    [[nodiscard]] float F32(std::uint64_t offset) const { return std::bit_cast<float>(U32(offset)); }
    [[nodiscard]] bool HasTag(std::uint64_t offset, const char (&tag)[5]) const {
        return Holds(offset, 1, 4) && std::memcmp(data_.data() + offset, tag, 4) == 0;
    }

private:
    std::span<const std::uint8_t> data_;
};

}  // namespace vistamaze::models
