// Writes the sample depth maps, textures and models shipped in DepthMaps/, Textures/ and Models/.
// Usage: vm_make_samples REPO_ROOT. Every file is computed, so the output is the same on every
// run; the files are committed and only regenerated when this program changes.
#include "engine/Errors.h"
#include "engine/Picture.h"
#include "formats/Mesh.h"
#include "output/PictureWriters.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

using vistamaze::Bgr;
using vistamaze::Mesh;
using vistamaze::Picture;
using vistamaze::PixelBuffer;
using vistamaze::Vec3f;

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

// --- models: y is up and the camera of the 3D tab looks along -z, so reliefs face +z ---

// Coordinates are kept on a 1e-4 grid, so the OBJ text (4 decimals) is exact and a last-bit
// difference in the maths library does not change the files.
float Grid(double v) {
    const double r = std::round(v * 1e4) / 1e4;
    return static_cast<float>(r == 0.0 ? 0.0 : r);  // no "-0"
}

Vec3f GridPoint(double x, double y, double z) {
    return {Grid(x), Grid(y), Grid(z)};
}

// Torus knot: the (2, 3) curve on a torus of radii 2 and 1, with a tube of radius 0.4 around it.
// The tube's frame uses the z axis as reference, which the curve's tangent never follows since
// it always turns around that axis. Normals are exact (from the curve to the surface).
Mesh TorusKnot(int segments, int sides) {
    Mesh m;
    for (int i = 0; i < segments; ++i) {
        const double t = kTwoPi * i / segments;
        const double r = 2.0 + std::cos(3 * t);
        const std::array<double, 3> c{r * std::cos(2 * t), r * std::sin(2 * t), std::sin(3 * t)};
        const double dr = -3.0 * std::sin(3 * t);
        const double tx = dr * std::cos(2 * t) - 2.0 * r * std::sin(2 * t);
        const double ty = dr * std::sin(2 * t) + 2.0 * r * std::cos(2 * t);
        const double tz = 3.0 * std::cos(3 * t);
        const double tl = std::sqrt(tx * tx + ty * ty + tz * tz);
        const std::array<double, 3> tan{tx / tl, ty / tl, tz / tl};
        const double sl = std::hypot(tan[0], tan[1]);
        const std::array<double, 3> side{tan[1] / sl, -tan[0] / sl, 0.0};  // tangent x z
        const std::array<double, 3> up{side[1] * tan[2] - side[2] * tan[1],
                                       side[2] * tan[0] - side[0] * tan[2],
                                       side[0] * tan[1] - side[1] * tan[0]};
        for (int k = 0; k < sides; ++k) {
            const double a = kTwoPi * k / sides;
            const double ca = std::cos(a);
            const double sa = std::sin(a);
            const std::array<double, 3> n{ca * side[0] + sa * up[0], ca * side[1] + sa * up[1],
                                          ca * side[2] + sa * up[2]};
            m.AddVertex(GridPoint(c[0] + 0.4 * n[0], c[1] + 0.4 * n[1], c[2] + 0.4 * n[2]));
            m.normals.push_back(GridPoint(n[0], n[1], n[2]));
        }
    }
    const auto at = [&](int i, int k) {
        return static_cast<std::uint32_t>((i % segments) * sides + k % sides);
    };
    for (int i = 0; i < segments; ++i) {
        for (int k = 0; k < sides; ++k) {
            m.AddTriangle(at(i, k), at(i + 1, k), at(i + 1, k + 1));
            m.AddTriangle(at(i, k), at(i + 1, k + 1), at(i, k + 1));
        }
    }
    return m;
}

// A profile of (radius, height) points from the axis at the bottom to the axis at the top.
using Profile = std::vector<std::pair<double, double>>;

void AddArc(Profile& p, double cr, double cy, double radius, double fromDeg, double toDeg, int steps) {
    for (int i = 0; i <= steps; ++i) {
        const double a = (fromDeg + (toDeg - fromDeg) * i / steps) * std::numbers::pi / 180.0;
        p.emplace_back(cr + radius * std::cos(a), cy + radius * std::sin(a));
    }
}

// A chess pawn about two units tall standing on y = 0: rounded foot, concave stem, collar, ball head.
Profile PawnProfile() {
    Profile p{{0.0, 0.0}};
    AddArc(p, 0.8, 0.1, 0.1, -90, 90, 12);
    AddArc(p, 0.62, 0.28, 0.08, -90, 90, 10);
    for (int i = 0; i <= 30; ++i) {
        const double y = 0.36 + 0.84 * i / 30;
        const double f = (1.2 - y) / 0.84;
        p.emplace_back(0.22 + 0.28 * f * f, y);
    }
    AddArc(p, 0.45, 1.26, 0.06, -90, 90, 8);
    const double start = std::atan2(1.32 - 1.62, 0.2) * 180.0 / std::numbers::pi;
    AddArc(p, 0.0, 1.62, std::hypot(0.2, 0.3), start, 90, 36);
    p.back().first = 0.0;  // cos(90 degrees) is not exactly 0, and Lathe needs the top on the axis
    return p;
}

// Turns `profile` around the y axis; a point on the axis becomes one vertex.
Mesh Lathe(const Profile& profile, int segments) {
    Mesh m;
    std::vector<std::uint32_t> first;  // first vertex of each profile point's ring
    for (const auto& [r, y] : profile) {
        first.push_back(static_cast<std::uint32_t>(m.vertices.size()));
        const int count = r == 0.0 ? 1 : segments;
        for (int k = 0; k < count; ++k) {
            const double a = kTwoPi * k / segments;
            m.AddVertex(GridPoint(r * std::cos(a), y, r * std::sin(a)));
        }
    }
    for (std::size_t i = 0; i + 1 < profile.size(); ++i) {
        const bool lowPole = profile[i].first == 0.0;
        const bool highPole = profile[i + 1].first == 0.0;
        const auto at = [&](std::size_t ring, bool pole, int k) {
            return first[ring] + (pole ? 0U : static_cast<std::uint32_t>(k % segments));
        };
        for (int k = 0; k < segments; ++k) {
            if (!highPole) {
                m.AddTriangle(at(i, lowPole, k), at(i + 1, false, k), at(i + 1, false, k + 1));
            }
            if (!lowPole) {
                m.AddTriangle(at(i, false, k), at(i + 1, highPole, k + 1), at(i, false, k + 1));
            }
        }
    }
    return m;
}

// A five-pointed star of outer radius 1 bulging up to z = 0.5 on a flat base at z = 0: its contour
// lines are smaller copies of its outline. Rings are spaced evenly in angle over a quarter circle,
// so the steep rim gets as many rings as the flat top.
Mesh RoundedStar(int sectors, int rings) {
    Mesh m;
    const auto outline = [](double phi) {
        return 0.45 + 0.55 * std::pow(0.5 + 0.5 * std::cos(5 * (phi - std::numbers::pi / 2)), 1.5);
    };
    m.AddVertex(GridPoint(0, 0, 0.5));
    for (int j = 1; j <= rings; ++j) {
        const double a = std::numbers::pi / 2 * j / rings;
        for (int k = 0; k < sectors; ++k) {
            const double phi = kTwoPi * k / sectors;
            const double r = std::sin(a) * outline(phi);
            m.AddVertex(GridPoint(r * std::cos(phi), r * std::sin(phi), 0.5 * std::cos(a)));
        }
    }
    const std::uint32_t bottom = m.AddVertex(GridPoint(0, 0, 0));
    const auto at = [&](int j, int k) {
        return static_cast<std::uint32_t>(1 + (j - 1) * sectors + k % sectors);
    };
    for (int k = 0; k < sectors; ++k) {
        m.AddTriangle(0, at(1, k), at(1, k + 1));
        for (int j = 1; j < rings; ++j) {
            m.AddTriangle(at(j, k), at(j + 1, k), at(j + 1, k + 1));
            m.AddTriangle(at(j, k), at(j + 1, k + 1), at(j, k + 1));
        }
        m.AddTriangle(bottom, at(rings, k + 1), at(rings, k));
    }
    return m;
}

std::ofstream OpenForWriting(const std::filesystem::path& file) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw vistamaze::FileAccessError("Cannot create " + file.string());
    }
    return out;
}

void Finish(std::ofstream& out, const std::filesystem::path& file) {
    out.close();
    if (!out) {
        throw vistamaze::FileAccessError("Cannot write " + file.string());
    }
}

// Four decimals without trailing zeros.
std::string ObjNumber(float v) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.4f", static_cast<double>(v));
    std::string s(text.data());
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') {
        s.pop_back();
    }
    return s;
}

void SaveObj(const Mesh& m, const std::filesystem::path& file, const std::string& title) {
    std::ofstream out = OpenForWriting(file);
    out << "# " << title << "\n# Written by vm_make_samples (Vistamaze)\n";
    const auto line = [&](const char* tag, const Vec3f& v) {
        out << tag << ' ' << ObjNumber(v.x) << ' ' << ObjNumber(v.y) << ' ' << ObjNumber(v.z) << '\n';
    };
    for (const Vec3f& v : m.vertices) {
        line("v", v);
    }
    for (const Vec3f& n : m.normals) {
        line("vn", n);
    }
    const bool withNormals = !m.normals.empty();
    for (const auto& t : m.triangles) {
        out << 'f';
        for (const std::uint32_t corner : t) {
            out << ' ' << corner + 1;
            if (withNormals) {
                out << "//" << corner + 1;
            }
        }
        out << '\n';
    }
    Finish(out, file);
}

void PutLittleEndian(std::ostream& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.put(static_cast<char>((v >> (8 * i)) & 0xFFU));
    }
}

void PutFloat(std::ostream& out, float v) {
    PutLittleEndian(out, std::bit_cast<std::uint32_t>(v), 4);
}

// Binary STL: an 80-byte header, the triangle count, then per triangle its unit normal, its three
// corners and a zero attribute word, all little-endian. `title` starts the header and must not
// begin with "solid", which readers take as the mark of an ASCII file.
void SaveStl(const Mesh& m, const std::filesystem::path& file, const std::string& title) {
    std::ofstream out = OpenForWriting(file);
    std::string header = title + " - written by vm_make_samples (Vistamaze)";
    header.resize(80, ' ');
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    PutLittleEndian(out, static_cast<std::uint32_t>(m.triangles.size()), 4);
    for (const auto& t : m.triangles) {
        const Vec3f& a = m.vertices[t[0]];
        const Vec3f& b = m.vertices[t[1]];
        const Vec3f& c = m.vertices[t[2]];
        const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        const double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
        const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        const double len = std::max(std::sqrt(nx * nx + ny * ny + nz * nz), 1e-30);
        for (const double n : {nx, ny, nz}) {
            PutFloat(out, Grid(n / len));
        }
        for (const Vec3f* p : {&a, &b, &c}) {
            PutFloat(out, p->x);
            PutFloat(out, p->y);
            PutFloat(out, p->z);
        }
        PutLittleEndian(out, 0, 2);
    }
    Finish(out, file);
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
        const auto model = [&](const std::filesystem::path& relative, auto&& write) {
            write(root / relative);
            std::printf("%s\n", relative.c_str());
        };
        model("Models/TorusKnot.obj",
              [](const auto& f) { SaveObj(TorusKnot(320, 24), f, "Torus knot (2, 3) with vertex normals"); });
        model("Models/Pawn.stl",
              [](const auto& f) { SaveStl(Lathe(PawnProfile(), 72), f, "Chess pawn, y up"); });
        model("Models/Star.obj",
              [](const auto& f) { SaveObj(RoundedStar(250, 36), f, "Rounded star relief"); });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vm_make_samples: %s\n", e.what());
        return 1;
    }
    return 0;
}
