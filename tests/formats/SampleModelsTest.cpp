// The sample models in Models/: every model file there loads into a mesh worth showing.
#include "formats/ModelFile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

const std::filesystem::path kModels = std::filesystem::path(VM_SOURCE_DIR) / "Models";

struct Sample {
    const char* file;
    std::size_t minTriangles;
    std::size_t maxTriangles;
    bool closed;    // a solid: its triangles wind counter-clockwise seen from outside
    bool coloured;  // its materials give parts different diffuse colours
};

// The generated models aim at a few thousand to 100k triangles; the copied ones have what their
// authors made (triangle counts of the copied files as listed in the shared test data manifest).
constexpr std::array<Sample, 6> kSamples{{
    {"TorusKnot.obj", 2'000, 100'000, true, false},
    {"Pawn.stl", 2'000, 100'000, true, false},
    {"Star.obj", 2'000, 100'000, true, false},
    {"Sydney.md2", 679, 679, false, false},
    {"Spider.obj", 1'368, 1'368, false, true},
    {"Wuson.wrl", 1'000, 100'000, false, false},
}};

// Twice the area times the unit normal of triangle `t`, facing the side its winding makes the front.
std::array<double, 3> FaceNormal(const Mesh& m, const std::array<std::uint32_t, 3>& t) {
    const Vec3f& a = m.vertices[t[0]];
    const Vec3f& b = m.vertices[t[1]];
    const Vec3f& c = m.vertices[t[2]];
    const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    return {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
}

double Dot(const Vec3f& v, const std::array<double, 3>& n) {
    return v.x * n[0] + v.y * n[1] + v.z * n[2];
}

double Volume(const Mesh& m) {
    double sixTimes = 0.0;
    for (const auto& t : m.triangles) {
        sixTimes += Dot(m.vertices[t[0]], FaceNormal(m, t));
    }
    return sixTimes / 6.0;
}

// Share of triangles whose corner normals, summed, point to the side the winding makes the front.
double FrontFacingShare(const Mesh& m) {
    std::size_t agree = 0;
    for (const auto& t : m.triangles) {
        const std::array<double, 3> n = FaceNormal(m, t);
        agree += Dot(m.normals[t[0]], n) + Dot(m.normals[t[1]], n) + Dot(m.normals[t[2]], n) > 0.0 ? 1 : 0;
    }
    return static_cast<double>(agree) / static_cast<double>(m.triangles.size());
}

TEST(SampleModelsTest, EveryModelFileInTheFolderIsListed) {
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(kModels)) {
        if (ModelFormatForExtension(entry.path().extension().string()) != ModelFormat::Unknown) {
            found.insert(entry.path().filename().string());
        }
    }
    std::set<std::string> listed;
    for (const Sample& s : kSamples) {
        listed.insert(s.file);
    }
    EXPECT_EQ(found, listed);
}

void PrintTo(const Sample& s, std::ostream* out) {
    *out << s.file;
}

class SampleModel : public testing::TestWithParam<Sample> {};

TEST_P(SampleModel, LoadsIntoAMeshWorthShowing) {
    const Sample& s = GetParam();
    const Mesh m = LoadModelFile(kModels / s.file);
    ASSERT_FALSE(m.Empty());
    EXPECT_GE(m.triangles.size(), s.minTriangles);
    EXPECT_LE(m.triangles.size(), s.maxTriangles);
    ASSERT_EQ(m.normals.size(), m.vertices.size());

    const MeshBounds box = m.Bounds();
    const std::array<double, 3> extent{box.max.x - box.min.x, box.max.y - box.min.y, box.max.z - box.min.z};
    const double largest = *std::max_element(extent.begin(), extent.end());
    EXPECT_TRUE(std::isfinite(largest));
    EXPECT_GT(largest, 0.01);
    EXPECT_LT(largest, 10'000.0);
    for (const double e : extent) {
        EXPECT_GT(e, 0.05 * largest) << "flat along an axis";
    }

    if (s.closed) {
        const double boxVolume = extent[0] * extent[1] * extent[2];
        EXPECT_GT(Volume(m), 0.05 * boxVolume) << "triangles wind inwards or the surface is open";
        EXPECT_GT(FrontFacingShare(m), 0.99) << "normals disagree with the winding";
    }
    std::set<std::array<float, 3>> colours;
    for (const MeshPart& p : m.parts) {
        colours.insert({p.diffuse.r, p.diffuse.g, p.diffuse.b});
    }
    EXPECT_EQ(colours.size() > 1, s.coloured) << "material file lost?";
}

INSTANTIATE_TEST_SUITE_P(Models, SampleModel, testing::ValuesIn(kSamples),
                         [](const testing::TestParamInfo<Sample>& sample) {
                             std::string name = sample.param.file;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

}  // namespace
}  // namespace vistamaze
