// Writes the sample depth maps and textures shipped in DepthMaps/ and Textures/.
// Usage: vm_make_samples REPO_ROOT. Every picture is computed, so the output is the same on
// every run; the files are committed and only regenerated when this program changes.
#include "engine/Picture.h"
#include "output/PictureWriters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numbers>

namespace {

using vistamaze::Bgr;
using vistamaze::Picture;
using vistamaze::PixelBuffer;

constexpr double kTwoPi = 2 * std::numbers::pi;

std::uint8_t Byte(double v) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

// f(u, v) gives the height in 0..1 at picture coordinates u, v in 0..1 (v = 0 at the top).
Picture DepthMap(int width, int height, const std::function<double(double, double)>& f) {
    PixelBuffer b(width, height, 24);
    for (int y = 0; y < height; ++y) {
        const double v = 1.0 - (y + 0.5) / height;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t g = Byte(f((x + 0.5) / width, v));
            b.SetPixel(y, x, {g, g, g});
        }
    }
    return Picture(std::move(b));
}

Picture Texture(int width, int height, const std::function<Bgr(double, double)>& f) {
    PixelBuffer b(width, height, 24);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            b.SetPixel(y, x, f(kTwoPi * x / width, kTwoPi * y / height));
        }
    }
    return Picture(std::move(b));
}

double Torus(double u, double v) {
    const double x = (u - 0.5) * 4.0 / 3.0;
    const double y = v - 0.5;
    const double ring = std::hypot(x, y) - 0.28;
    const double tube = 0.13 * 0.13 - ring * ring;
    return tube > 0 ? 0.25 + 0.75 * std::sqrt(tube) / 0.13 : 0.0;
}

double Pyramid(double u, double v) {
    const double d = std::max(std::fabs(u - 0.5) * 4.0 / 3.0, std::fabs(v - 0.5));
    if (d > 0.42) {
        return 0.0;
    }
    return 0.2 + std::floor((0.42 - d) / 0.07) * 0.16;
}

double Ripples(double u, double v) {
    const double r = std::hypot((u - 0.5) * 4.0 / 3.0, v - 0.5);
    return 0.5 + 0.35 * std::cos(r * 40.0) * std::exp(-r * 3.0);
}

double Spheres(double u, double v) {
    double h = 0.0;
    const double centres[][3] = {{0.25, 0.35, 0.16}, {0.55, 0.6, 0.2}, {0.8, 0.3, 0.12}};
    for (const auto& c : centres) {
        const double dx = (u - c[0]) * 4.0 / 3.0;
        const double dy = v - c[1];
        const double q = c[2] * c[2] - dx * dx - dy * dy;
        if (q > 0) {
            h = std::max(h, 0.3 + 0.7 * std::sqrt(q) / 0.2);
        }
    }
    return h;
}

// Seamless textures: every wave has whole periods across the tile.
Bgr Marble(double u, double v) {
    const double t = 0.5 + 0.5 * std::sin(2 * u + 3 * std::sin(v + std::sin(3 * u)) + std::sin(5 * v));
    return {Byte(0.55 + 0.4 * t), Byte(0.5 + 0.45 * t), Byte(0.45 + 0.5 * t)};
}

Bgr Leaves(double u, double v) {
    const double a = std::sin(4 * u + std::sin(2 * v) * 2);
    const double b = std::sin(6 * v - std::cos(3 * u) * 1.5);
    const double c = std::sin(9 * u + 7 * v);
    return {Byte(0.15 + 0.1 * c), Byte(0.35 + 0.25 * a + 0.15 * b), Byte(0.2 + 0.15 * b + 0.1 * c)};
}

Bgr Candy(double u, double v) {
    const double s = std::sin(3 * u + 2 * v);
    const double t = std::sin(5 * u - 4 * v + 1);
    return {Byte(0.5 + 0.45 * t), Byte(0.5 + 0.3 * s * t), Byte(0.5 + 0.45 * s)};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vm_make_samples REPO_ROOT\n");
        return 2;
    }
    const std::filesystem::path root(argv[1]);
    const auto save = [&](const Picture& p, const std::filesystem::path& relative) {
        std::filesystem::create_directories((root / relative).parent_path());
        vistamaze::SavePictureByExtension(p, root / relative, 95, "72", vistamaze::PngOptions{9, false});
        std::printf("%s\n", relative.c_str());
    };
    try {
        save(DepthMap(800, 600, Torus), "DepthMaps/Torus.png");
        save(DepthMap(800, 600, Pyramid), "DepthMaps/Pyramid.png");
        save(DepthMap(800, 600, Ripples), "DepthMaps/Ripples.png");
        save(DepthMap(800, 600, Spheres), "DepthMaps/Spheres.png");
        save(Texture(128, 128, Marble), "Textures/Marble.png");
        save(Texture(96, 160, Leaves), "Textures/Leaves.png");
        save(Texture(120, 120, Candy), "Textures/Candy.png");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vm_make_samples: %s\n", e.what());
        return 1;
    }
    return 0;
}
