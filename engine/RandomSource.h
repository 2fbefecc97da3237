#pragma once

#include <cstdint>

namespace vistamaze {

// The engine's pseudo-random source: a 32-bit linear congruential generator fully defined by
// its seed, so a fixed seed reproduces a render exactly on every platform.
class RandomSource {
public:
    explicit RandomSource(std::uint32_t seed = 0) noexcept : seed_(seed) {}

    void Seed(std::uint32_t seed) noexcept { seed_ = seed; }
    [[nodiscard]] std::uint32_t State() const noexcept { return seed_; }

    // A uniform integer in 0 .. n - 1 for n > 0.
    std::uint32_t Next(std::uint32_t n) noexcept {
        seed_ = seed_ * 134775813U + 1U;
        return static_cast<std::uint32_t>((std::uint64_t{seed_} * n) >> 32);
    }

private:
    std::uint32_t seed_;
};

// Milliseconds since midnight UTC: the seed of an unseeded render.
std::uint32_t TimeOfDaySeed();

}  // namespace vistamaze
