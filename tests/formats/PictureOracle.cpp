#include "tests/formats/PictureOracle.h"

#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace vistamaze::test {

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// Parses binary PPM ("P6 w h 255" then RGB rows, top first) into a 24-bit buffer.
PixelBuffer ParsePpm(const std::string& ppm) {
    std::istringstream in(ppm);
    const auto next = [&in] {
        std::string token;
        while (in >> token && token.front() == '#') {
            std::getline(in, token);
        }
        return token;
    };
    const std::string magic = next();
    const int width = std::atoi(next().c_str());
    const int height = std::atoi(next().c_str());
    const int maxValue = std::atoi(next().c_str());
    in.get();
    if (magic != "P6" || maxValue != 255 || width <= 0 || height <= 0) {
        return {};
    }
    const auto offset = static_cast<std::size_t>(in.tellg());
    if (ppm.size() - offset < static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
        return {};
    }
    PixelBuffer out(width, height, 24);
    std::size_t pos = offset;
    for (int row = height - 1; row >= 0; --row) {
        for (int x = 0; x < width; ++x, pos += 3) {
            out.SetPixel(row, x,
                         {static_cast<std::uint8_t>(ppm[pos + 2]), static_cast<std::uint8_t>(ppm[pos + 1]),
                          static_cast<std::uint8_t>(ppm[pos])});
        }
    }
    return out;
}

// A copy of a PNG file without the chunks that make ImageMagick convert colours (gamma,
// chromaticities, colour profiles): the readers hand out the stored samples unchanged.
std::vector<std::uint8_t> WithoutColourChunks(const std::vector<std::uint8_t>& png) {
    std::vector<std::uint8_t> out(png.begin(), png.begin() + 8);
    std::size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const std::size_t length = (std::size_t{png[pos]} << 24) | (std::size_t{png[pos + 1]} << 16) |
                                   (std::size_t{png[pos + 2]} << 8) | png[pos + 3];
        const std::string type(png.begin() + static_cast<std::ptrdiff_t>(pos) + 4,
                               png.begin() + static_cast<std::ptrdiff_t>(pos) + 8);
        const std::size_t end = std::min(png.size(), pos + 12 + length);
        if (type != "gAMA" && type != "cHRM" && type != "sRGB" && type != "iCCP") {
            out.insert(out.end(), png.begin() + static_cast<std::ptrdiff_t>(pos),
                       png.begin() + static_cast<std::ptrdiff_t>(end));
        }
        pos = end;
    }
    return out;
}

bool IsPng(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() > 8 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G';
}

}  // namespace

bool ImageMagickAvailable() {
    return ToolAvailable("convert");
}

PixelBuffer ImageMagickDecode(const std::filesystem::path& file, int frame) {
    const TempDir temp;
    std::filesystem::path input = file;
    const std::vector<std::uint8_t> bytes = ReadBytes(file);
    if (IsPng(bytes)) {
        input = temp / "plain.png";
        WriteBytes(input, WithoutColourChunks(bytes));
    }
    const std::string source = input.string() + "[" + std::to_string(frame) + "]";
    std::string output;
    if (RunCommand("convert " + Quoted(source) + " -background black -flatten -depth 8 ppm:- 2>/dev/null",
                   &output) != 0) {
        return {};
    }
    return ParsePpm(output);
}

PixelDifference ComparePixels(const PixelBuffer& actual, const PixelBuffer& expected) {
    PixelDifference diff;
    for (int y = 0; y < actual.Height() && y < expected.Height(); ++y) {
        for (int x = 0; x < actual.Width() && x < expected.Width(); ++x) {
            const Bgr a = actual.Pixel(y, x);
            const Bgr e = expected.Pixel(y, x);
            const int delta = std::max({std::abs(a.b - e.b), std::abs(a.g - e.g), std::abs(a.r - e.r)});
            if (delta == 0) {
                continue;
            }
            if (diff.differingPixels++ == 0) {
                std::ostringstream text;
                text << "row " << y << " col " << x << ": (" << int{a.b} << "," << int{a.g} << "," << int{a.r}
                     << ") vs (" << int{e.b} << "," << int{e.g} << "," << int{e.r} << ")";
                diff.firstDifference = text.str();
            }
            diff.maxChannelDelta = std::max(diff.maxChannelDelta, delta);
        }
    }
    return diff;
}

}  // namespace vistamaze::test
