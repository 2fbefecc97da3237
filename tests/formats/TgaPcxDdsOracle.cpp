#include "tests/formats/TgaPcxDdsOracle.h"

#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace vistamaze::test {

RgbaPicture DecodeWithImageMagick(const std::filesystem::path& file, const std::string& frame) {
    const std::string source = "'" + file.string() + frame + "'";
    std::string size;
    if (RunCommand("identify -format '%w %h\\n' " + source + " 2>/dev/null", &size) != 0) {
        return {};
    }
    RgbaPicture picture;
    std::istringstream(size) >> picture.width >> picture.height;
    std::string pixels;
    if (RunCommand("convert " + source + " -depth 8 rgba:- 2>/dev/null", &pixels) != 0 ||
        pixels.size() !=
            static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 4) {
        return {};
    }
    picture.rgba.assign(pixels.begin(), pixels.end());
    return picture;
}

RgbaPicture DecodeWithFfmpeg(const std::filesystem::path& file, const std::string& codec) {
    std::string pam;
    const std::string command = "ffmpeg -v error -f image2 -c:v " + codec + " -i '" + file.string() +
                                "' -frames:v 1 -f image2pipe -c:v pam -pix_fmt rgba - 2>/dev/null";
    if (RunCommand(command, &pam) != 0) {
        return {};
    }
    const std::size_t end = pam.find("ENDHDR\n");
    if (pam.rfind("P7\n", 0) != 0 || end == std::string::npos) {
        return {};
    }
    RgbaPicture picture;
    std::istringstream header(pam.substr(3, end - 3));
    std::string key;
    std::string value;
    while (header >> key >> value) {
        if (key == "WIDTH") {
            picture.width = std::stoi(value);
        } else if (key == "HEIGHT") {
            picture.height = std::stoi(value);
        }
    }
    const std::size_t size =
        static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 4;
    if (pam.size() - (end + 7) != size) {
        return {};
    }
    picture.rgba.assign(pam.begin() + static_cast<std::ptrdiff_t>(end + 7), pam.end());
    return picture;
}

PixelBuffer OverBlack(const RgbaPicture& picture) {
    PixelBuffer out(picture.width, picture.height, 24);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::uint8_t* p =
                picture.rgba.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) +
                                       static_cast<std::size_t>(x)) *
                                          4;
            const auto over = [a = unsigned{p[3]}](unsigned c) {
                return static_cast<std::uint8_t>((c * a + 127) / 255);
            };
            out.SetPixel(picture.height - 1 - y, x, {over(p[2]), over(p[1]), over(p[0])});
        }
    }
    return out;
}

int MaxChannelDifference(const PixelBuffer& a, const PixelBuffer& b) {
    int worst = 0;
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width(); ++x) {
            const Bgr p = a.Pixel(y, x);
            const Bgr q = b.Pixel(y, x);
            worst = std::max({worst, std::abs(p.b - q.b), std::abs(p.g - q.g), std::abs(p.r - q.r)});
        }
    }
    return worst;
}

double MeanChannelDifference(const PixelBuffer& a, const PixelBuffer& b) {
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width(); ++x) {
            const Bgr p = a.Pixel(y, x);
            const Bgr q = b.Pixel(y, x);
            sum += std::abs(p.b - q.b) + std::abs(p.g - q.g) + std::abs(p.r - q.r);
        }
    }
    return sum / (3.0 * a.Width() * a.Height());
}

// A 32-bit linear congruential generator (Numerical Recipes constants): the same sequence on
// every platform.
std::uint32_t MutationSource::Next() noexcept {
    state_ = state_ * 1664525U + 1013904223U;
    return state_ >> 8;
}

std::vector<std::uint8_t> MutationSource::Mutate(const std::vector<std::uint8_t>& sample) {
    std::vector<std::uint8_t> bytes = sample;
    if (bytes.empty()) {
        return bytes;
    }
    const std::uint32_t edits = 1 + Next() % 8;
    for (std::uint32_t i = 0; i < edits && !bytes.empty(); ++i) {
        // Headers decide the most, so half of the edits land in the first 160 bytes.
        const std::size_t span = (Next() % 2 == 0) ? std::min<std::size_t>(bytes.size(), 160) : bytes.size();
        const std::size_t at = Next() % span;
        switch (Next() % 4) {
            case 0:
                bytes[at] = static_cast<std::uint8_t>(bytes[at] ^ (1U << (Next() % 8)));
                break;
            case 1:
                bytes[at] = static_cast<std::uint8_t>(Next());
                break;
            case 2:
                bytes[at] = (Next() % 2 == 0) ? 0xFF : 0x00;
                break;
            default:
                bytes.resize(at);
                break;
        }
    }
    return bytes;
}

}  // namespace vistamaze::test
