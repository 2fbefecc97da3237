#pragma once

#include "engine/PixelBuffer.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vistamaze::test {

// Files shipped in tests/data.
std::filesystem::path DataFile(const std::string& relative);
// Files in the shared, read-only test data folder; may be absent on some machines.
std::filesystem::path SharedFile(const std::string& relative);
bool SharedDataAvailable();

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);

// Append the low 16 or 32 bits of v to hand-built file bytes, little-endian (Put16, Put32) or
// big-endian (Put16Be, Put32Be).
inline void Put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    Put16(b, v & 0xFFFFU);
    Put16(b, v >> 16);
}
inline void Put16Be(std::vector<std::uint8_t>& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}
inline void Put32Be(std::vector<std::uint8_t>& b, std::uint32_t v) {
    Put16Be(b, v >> 16);
    Put16Be(b, v & 0xFFFFU);
}

// A fresh empty folder under the system temporary folder, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::filesystem::path& Path() const noexcept { return path_; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Runs a command through the shell; returns its exit status and fills `output` with stdout.
int RunCommand(const std::string& command, std::string* output = nullptr);
bool ToolAvailable(const std::string& tool);

// True when DISPLAY names a local X display (":N" or ":N.S") whose socket exists.
bool LocalDisplayReachable();

// A 24-bit buffer filled from a function of (row, col), row 0 at the bottom.
template <typename F>
PixelBuffer MakeBuffer24(int width, int height, F&& colorOf) {
    PixelBuffer b(width, height, 24);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            b.SetPixel(y, x, colorOf(y, x));
        }
    }
    return b;
}

}  // namespace vistamaze::test
