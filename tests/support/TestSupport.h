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
