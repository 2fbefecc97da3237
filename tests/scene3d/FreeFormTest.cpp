#include "engine/Errors.h"
#include "formats/ModelFile.h"
#include "scene3d/MeshObject.h"
#include "tests/support/TestSupport.h"

#include <cmath>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

// An axis-aligned box from `lo` to `hi` as 12 triangles.
Mesh BoxMesh(Vec3f lo, Vec3f hi) {
    Mesh mesh;
    for (int i = 0; i < 8; ++i) {
        mesh.AddVertex({(i & 1) != 0 ? hi.x : lo.x, (i & 2) != 0 ? hi.y : lo.y, (i & 4) != 0 ? hi.z : lo.z});
    }
    const std::uint32_t faces[12][3] = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
                                        {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
    for (const auto& f : faces) {
        mesh.AddTriangle(f[0], f[1], f[2]);
    }
    return mesh;
}

TEST(FreeForm, BoundingRadiusIsHalfTheBoxDiagonalAtTheObjectScale) {
    MeshObject form;
    EXPECT_EQ(form.BoundingRadius(), 0.0);
    form.SetMesh(BoxMesh({-1.0F, -2.0F, -3.0F}, {3.0F, 4.0F, 5.0F}));
    EXPECT_NEAR(form.BoundingRadius(), std::sqrt(4.0 + 9.0 + 16.0), 1e-6);
    form.SetScale({2.0, 1.0, 1.0});
    EXPECT_NEAR(form.BoundingRadius(), std::sqrt(16.0 + 9.0 + 16.0), 1e-6);
    EXPECT_EQ(form.MeshData().normals.size(), form.MeshData().vertices.size());
}

TEST(FreeForm, AutoCenteringMovesTheBoxCentreOnChosenAxes) {
    struct Case {
        AutoCenteringAxes axes;
        Vec3f expectedMin;
    };
    for (const Case& c :
         {Case{{true, true, true}, {-2.0F, -3.0F, -4.0F}}, Case{{true, false, false}, {-2.0F, -2.0F, -3.0F}},
          Case{{false, false, true}, {-1.0F, -2.0F, -4.0F}}}) {
        MeshObject form;
        form.SetMesh(BoxMesh({-1.0F, -2.0F, -3.0F}, {3.0F, 4.0F, 5.0F}));
        const double radius = form.BoundingRadius();
        form.SetAutoCentering(c.axes);
        form.PerformAutoCentering();
        const MeshBounds b = form.MeshData().Bounds();
        EXPECT_FLOAT_EQ(b.min.x, c.expectedMin.x);
        EXPECT_FLOAT_EQ(b.min.y, c.expectedMin.y);
        EXPECT_FLOAT_EQ(b.min.z, c.expectedMin.z);
        EXPECT_NEAR(form.BoundingRadius(), radius, 1e-6);
    }
    MeshObject empty;
    empty.SetAutoCentering({true, true, true});
    empty.PerformAutoCentering();
    EXPECT_TRUE(empty.MeshData().Empty());
}

TEST(FreeForm, AutoScalingScalesGeometryUnlessOne) {
    MeshObject form;
    form.SetMesh(BoxMesh({0.0F, 0.0F, 0.0F}, {1.0F, 2.0F, 3.0F}));
    form.PerformAutoScaling();
    EXPECT_FLOAT_EQ(form.MeshData().Bounds().max.z, 3.0F);
    form.SetAutoScaling({2.0, 0.5, 1.0});
    form.PerformAutoScaling();
    const MeshBounds b = form.MeshData().Bounds();
    EXPECT_FLOAT_EQ(b.max.x, 2.0F);
    EXPECT_FLOAT_EQ(b.max.y, 1.0F);
    EXPECT_FLOAT_EQ(b.max.z, 3.0F);
}

TEST(FreeForm, LoadsARealModelFileAndRejectsUnknownExtensions) {
    const std::filesystem::path obj = test::DataFile("models/assimp_box.obj");
    if (!std::filesystem::exists(obj)) {
        GTEST_SKIP() << "missing " << obj;
    }
    MeshObject form;
    form.SetMesh(LoadModelFile(obj));
    EXPECT_FALSE(form.MeshData().Empty());
    EXPECT_GT(form.BoundingRadius(), 0.0);
    EXPECT_EQ(form.MeshData().normals.size(), form.MeshData().vertices.size());

    test::TempDir dir;
    for (const std::string name : {"texture.DDS", "materials.mli"}) {
        std::filesystem::copy_file(obj, dir / name);
        try {
            form.SetMesh(LoadModelFile(dir / name));
            ADD_FAILURE() << name << " was accepted";
        } catch (const Error& e) {
            const std::string message = e.what();
            const std::string ext = name.substr(name.find('.') + 1);
            EXPECT_NE(message.find(ext), std::string::npos) << message;
        }
        EXPECT_FALSE(form.MeshData().Empty()) << "a file that cannot be read leaves the mesh as it was";
    }
}

// Only a closed surface may be drawn without its far side; which side is far follows its winding.
TEST(FreeForm, SurfaceOrientationTellsClosedSurfacesFromOthers) {
    const Mesh box = BoxMesh({-1.0F, -1.0F, -1.0F}, {1.0F, 2.0F, 3.0F});
    Mesh doubled = box;
    doubled.triangles.push_back(box.triangles.front());
    // Two separate boxes, the second turned the same way or inside out.
    const auto twoBoxes = [&box](bool inverted) {
        Mesh two = box;
        const Mesh other = BoxMesh({5.0F, 5.0F, 5.0F}, {6.0F, 6.0F, 6.0F});
        const auto offset = static_cast<std::uint32_t>(two.vertices.size());
        two.vertices.insert(two.vertices.end(), other.vertices.begin(), other.vertices.end());
        for (auto t : other.triangles) {
            if (inverted) {
                std::swap(t[1], t[2]);
            }
            two.triangles.push_back({t[0] + offset, t[1] + offset, t[2] + offset});
        }
        two.normals.clear();
        two.parts.clear();
        return two;
    };
    const Mesh alike = twoBoxes(false);
    const Mesh mixed = twoBoxes(true);
    const struct {
        const Mesh& mesh;
        Vec3 autoScaling;
        int orientation;
    } cases[] = {{box, {1.0, 1.0, 1.0}, 1},     {box, {-1.0, 1.0, 1.0}, -1}, {box, {1.0, 0.0, 1.0}, 0},
                 {doubled, {1.0, 1.0, 1.0}, 0}, {alike, {1.0, 1.0, 1.0}, 1}, {mixed, {1.0, 1.0, 1.0}, 0}};
    for (const auto& c : cases) {
        MeshObject form;
        form.SetMesh(c.mesh);
        form.SetAutoScaling(c.autoScaling);
        form.PerformAutoScaling();
        EXPECT_EQ(form.SurfaceOrientation(), c.orientation) << c.autoScaling.x << " " << c.autoScaling.y;
    }
}

}  // namespace
}  // namespace vistamaze
