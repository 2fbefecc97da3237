#include "formats/models/ModelReaders.h"
#include "formats/models/TextScanner.h"

#include <cctype>

namespace vistamaze::models {

// Each data line holds the x, y, z of three corners, separated by commas or blanks. Lines that
// start with a letter or '#' (a heading or a comment) carry no geometry.
void ReadTinModel(ByteSpan data, Mesh& target) {
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
