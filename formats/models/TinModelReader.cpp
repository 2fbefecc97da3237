#include "formats/models/ModelReaders.h"
#include "formats/models/TextScanner.h"

#include <cctype>
#include <string_view>

namespace vistamaze::models {
namespace {

constexpr std::uint64_t kMaxTinCount = 1U << 24;

bool IsIndexedLayout(ByteSpan data) {
    TextScanner text(data);
    while (text.SkipSpace()) {
        if (text.Word() == "VERT") {
            return true;
        }
        text.SkipLine();
    }
    return false;
}

// The indexed layout: "TIN", "BEGT", then "VERT n" followed by n lines of x y z, "TRI n" followed
// by n lines of 1-based corner numbers, "ENDT". Other heading lines carry no geometry, and
// further columns after the numbers a line needs are not read.
void ReadIndexedTin(ByteSpan data, Mesh& target) {
    TextScanner text(data);
    std::uint64_t vertices = 0;
    while (text.SkipSpace()) {
        const std::string_view key = text.Word();
        if (key == "VERT") {
            const std::uint64_t count = text.Count(kMaxTinCount);
            for (std::uint64_t i = 0; i < count; ++i) {
                const double x = text.Number();
                const double y = text.Number();
                const double z = text.Number();
                target.AddVertex({static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)});
                text.SkipLine();
            }
            vertices += count;
        } else if (key == "TRI") {
            const std::uint64_t count = text.Count(kMaxTinCount);
            for (std::uint64_t i = 0; i < count; ++i) {
                std::uint32_t corner[3];
                for (std::uint32_t& c : corner) {
                    const std::uint64_t number = text.Count(kMaxTinCount);
                    if (number < 1 || number > vertices) {
                        throw Error("a triangle names a vertex that is not there");
                    }
                    c = static_cast<std::uint32_t>(number - 1);
                }
                target.AddTriangle(corner[0], corner[1], corner[2]);
                text.SkipLine();
            }
        } else {
            text.SkipLine();
        }
    }
}

}  // namespace

// Two layouts: lines of nine numbers (the x, y, z of three corners, separated by commas or
// blanks), or the indexed layout with VERT and TRI sections. In the first, lines that start with a
// letter or '#' (a heading or a comment) carry no geometry.
void ReadTinModel(ByteSpan data, Mesh& target) {
    if (IsIndexedLayout(data)) {
        ReadIndexedTin(data, target);
        return;
    }
    TextScanner text(data);
    while (text.SkipSpace()) {
        const auto first = static_cast<unsigned char>(text.Peek());
        if (std::isalpha(first) != 0 || first == '#') {
            text.SkipLine();
            continue;
        }
        std::uint32_t corner[3];
        for (std::uint32_t& c : corner) {
            const double x = text.Number(true);
            const double y = text.Number(true);
            const double z = text.Number(true);
            c = target.AddVertex({static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)});
        }
        target.AddTriangle(corner[0], corner[1], corner[2]);
        if (text.SkipBlanks(true)) {
            throw Error("more than nine numbers on a line");
        }
    }
}

}  // namespace vistamaze::models
