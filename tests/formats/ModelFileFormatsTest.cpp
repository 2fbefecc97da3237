// Every model format loads a real file written by another program. Expected counts and
// bounding boxes of the Assimp formats come from `assimp export -ptv -tri` to OBJ (node
// transforms applied) or `assimp info`; those of our own formats from the same model in a format
// Assimp reads, the files' own headers and face separators, or a Python struct dump.
#include "formats/ModelFile.h"
#include "tests/support/TestSupport.h"

#include <cmath>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

enum class Source { Data, Shared, Debian };

struct ModelCase {
    const char* label;
    Source source;
    const char* path;
    const char* copyAs;    // non-null: loaded from a copy with this name (another extension)
    std::size_t vertices;  // 0: not checked
    std::size_t triangles;
    double min[3];
    double max[3];
};

double HalfDiagonal(const double (&lo)[3], const double (&hi)[3]) {
    double sum = 0.0;
    for (int k = 0; k < 3; ++k) {
        sum += (hi[k] - lo[k]) * (hi[k] - lo[k]) / 4.0;
    }
    return std::sqrt(sum);
}

std::filesystem::path Resolve(const ModelCase& c) {
    switch (c.source) {
        case Source::Data:
            return test::DataFile(std::string("models/") + c.path);
        case Source::Shared:
            return test::SharedFile(std::string("models/") + c.path);
        case Source::Debian:
            return std::filesystem::path("/usr/share/assimp/models") / c.path;
    }
    return {};
}

class ModelFormatsTest : public testing::TestWithParam<ModelCase> {};

TEST_P(ModelFormatsTest, LoadsRealFile) {
    const ModelCase& c = GetParam();
    std::filesystem::path file = Resolve(c);
    if (!std::filesystem::exists(file)) {
        GTEST_SKIP() << "absent: " << file;
    }
    test::TempDir temp;
    if (c.copyAs != nullptr) {
        std::filesystem::copy_file(file, temp / c.copyAs);
        file = temp / c.copyAs;
    }
    const Mesh mesh = LoadModelFile(file);
    if (c.vertices != 0) {
        EXPECT_EQ(mesh.vertices.size(), c.vertices);
    }
    EXPECT_EQ(mesh.triangles.size(), c.triangles);
    const MeshBounds box = mesh.Bounds();
    const double lo[3] = {box.min.x, box.min.y, box.min.z};
    const double hi[3] = {box.max.x, box.max.y, box.max.z};
    const double radius = HalfDiagonal(c.min, c.max);
    EXPECT_NEAR(mesh.BoundingRadius(), radius, 1e-4 * radius + 1e-6);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(lo[k], c.min[k], 1e-4 * radius + 1e-6) << "axis " << k;
        EXPECT_NEAR(hi[k], c.max[k], 1e-4 * radius + 1e-6) << "axis " << k;
    }
    EXPECT_EQ(mesh.normals.size(), mesh.vertices.size());
    for (const auto& t : mesh.triangles) {
        for (const std::uint32_t corner : t) {
            ASSERT_LT(corner, mesh.vertices.size());
        }
    }
}

// clang-format off
const ModelCase kCases[] = {
    // Assimp formats; counts and boxes from `assimp info` 5.2.5.
    {"3ds", Source::Shared, "3ds/assimp_test1.3ds", nullptr, 0, 108, {-10.343209, -10.155074, -10.230272}, {9.850851, 10.247582, 0.194163}},
    {"3ds_tank", Source::Shared, "3ds/gl117_tank1.3ds", nullptr, 0, 322, {-1.638727, -0.227945, -0.926299}, {1.208216, 1.068419, 0.940480}},
    {"prj", Source::Shared, "3ds/irrlicht_room.3ds", "room.PRJ", 0, 156, {-406.988800, -0.000240, -351.916809}, {402.391205, 503.769989, 349.043213}},
    {"obj", Source::Data, "assimp_box.obj", nullptr, 8, 12, {-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}},
    {"obj_spider", Source::Shared, "obj/assimp_spider.obj", nullptr, 0, 1368, {-92.655235, -42.233826, -106.691200}, {57.936218, 37.503952, 86.691200}},
    {"objf", Source::Shared, "obj/assimp_spider.obj", "spider.objf", 0, 1368, {-92.655235, -42.233826, -106.691200}, {57.936218, 37.503952, 86.691200}},
    {"md5mesh", Source::Shared, "md5/redeclipse_flag_mesh.md5mesh", nullptr, 0, 264, {-0.221006, -0.111975, -0.232806}, {8.261986, 14.736466, 0.232563}},
    {"md5mesh_cube", Source::Shared, "md5/assimp_SimpleCube.md5mesh", nullptr, 0, 12, {-32.000011, -32.000015, -32.000008}, {32.000008, 32.000004, 32.000008}},
    {"md5anim", Source::Shared, "md5/redeclipse_flag_anim.md5anim", nullptr, 0, 20, {-1.546313, -0.483759, -4.892431}, {2.541635, 19.065229, 11.788041}},
    {"ms3d", Source::Shared, "ms3d/assimp_twospheres.ms3d", nullptr, 0, 240, {-63, -13.5, -94}, {167, 181, 94}},
    {"ms3d_wuson", Source::Debian, "MS3D/Wuson.ms3d", nullptr, 0, 3732, {-0.459976, -0.000566, -1.622242}, {0.459976, 1.515251, 1.622242}},
    // Assimp's validation step rejects these two (animation keys past the end, an empty group);
    // the loader does not run it, so their geometry loads.
    {"b3d_cart", Source::Shared, "b3d/minetest_carts_cart.b3d", nullptr, 0, 28, {-5.000002, -5, -5.000002}, {5.000002, 5, 5.000003}},
    {"ms3d_empty_group", Source::Shared, "ms3d/glscene_Box.ms3d", nullptr, 0, 12, {-1, -1, -1}, {1, 1, 1}},
    {"md3_vulcan", Source::Shared, "md3/openarena_vulcan.md3", nullptr, 0, 259, {-11.03125, -5.703125, -3.140625}, {7.9375, 8.09375, 3.125}},
    {"lwo", Source::Data, "assimp_LWO2_boxuv.lwo", nullptr, 0, 12, {-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}},
    {"smd", Source::Shared, "smd/assimp_holy_grailref.smd", nullptr, 0, 896, {-8.373686, -8.246470, 0.109110}, {8.373683, 8.246472, 23.414265}},
    {"b3d", Source::Debian, "B3D/WusonBlitz.b3d", nullptr, 0, 3732, {-0.459976, -0.000566, -1.622242}, {0.459976, 1.515251, 1.622242}},
    {"mdc", Source::Shared, "mdc/assimp_spider.mdc", nullptr, 0, 1368, {-92.640625, -42.218750, -106.687500}, {57.921875, 37.500000, 86.687500}},
    {"stl", Source::Shared, "stl/openscad_import_bin.stl", nullptr, 0, 46, {-0.809017, -0.951057, -0.951057}, {1, 0.951057, 0.951057}},
    {"stl_spider", Source::Shared, "stl/assimp_Spider_binary.stl", nullptr, 0, 1368, {-3.114895, -4, -1.649329}, {3.114895, 4, 1.649329}},
    {"md3", Source::Shared, "md3/openarena_r_orb.md3", nullptr, 0, 236, {-12.890625, -7.3125, -12.484375}, {12.890625, 15.578125, 8.953125}},
    {"md2", Source::Shared, "md2/assimp_faerie.md2", nullptr, 0, 654, {-16.813763, -24.530266, -12.083273}, {3.271729, 27.438080, 14.130598}},
    {"ply", Source::Data, "assimp_cube_binary.ply", nullptr, 0, 12, {0, 0, 0}, {1, 1, 1}},
    {"off", Source::Shared, "off/geomview_mushroom.off", nullptr, 0, 448, {-0.610360, -0.458400, -0.669017}, {0.695863, 0.471660, 0.768182}},
    {"gltf", Source::Debian, "glTF2/BoxTextured-glTF/BoxTextured.gltf", nullptr, 0, 12, {-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}},
    {"dae", Source::Debian, "Collada/duck.dae", nullptr, 0, 4212, {-0.692985, 0.099294, -0.613282}, {0.961799, 1.639700, 0.539252}},
    {"3mf", Source::Debian, "3MF/box.3mf", nullptr, 0, 12, {0, 0, 0}, {10, 20, 30}},
    {"fbx", Source::Debian, "FBX/box.fbx", nullptr, 0, 12, {-0.226096, -0.161864, -0.064646}, {0.284462, 0.244348, 0.464660}},
    // Our own readers. Wuson.wrl is the model of Testwuson.X (box from `assimp info` of that, whose
    // axes match the VRML export); the VRML 1.0 sphere (admesh, from sphereWithHole.stl) has 290
    // "-1" face ends and lies in [0, 3]^3.
    {"wrl", Source::Shared, "wrl/assimp_Wuson.wrl", nullptr, 0, 3732, {-0.459976, -1.622242, -1.515251}, {0.459976, 1.622242, 0.000566}},
    {"wrl_vrml1", Source::Data, "admesh_sphereWithHole_vrml1.wrl", nullptr, 0, 290, {0, 0, 0}, {3, 3, 3}},
    // Counts from the GTS headers; boxes, like those of the binary files, from a Python dump.
    {"gts", Source::Data, "yade_box.gts", nullptr, 8, 12, {-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}},
    {"gts_horse", Source::Data, "yade_horse.coarse.gts", nullptr, 336, 668, {-0.04395759744, -0.0933882462, -0.0764080269}, {0.04227347687, 0.09281699658, 0.07592350727}},
    {"tin", Source::Data, "glscene_Sparse.tin", nullptr, 45, 15, {20.0952213, 123.069281, -84.2045688}, {862.411271, 738.266114, 81.6472617}},
    {"oct", Source::Data, "glscene_unlit.oct", nullptr, 150, 50, {-880.185059, -648.486816, -349.057617}, {879.385254, 647.973145, 352.041016}},
    {"nmf", Source::Shared, "nmf/ati_AddedBumpL.nmf", nullptr, 384, 128, {-24.997185, -0.734079, -24.997185}, {24.997185, -0.734079, 24.997185}},
    {"bsp", Source::Shared, "bsp/blobandconquer_enemyTest.bsp", nullptr, 120, 60, {-312, -184, 0}, {312, 184, 128}},
    {"q3bsp", Source::Shared, "bsp/blobandconquer_enemyTest.bsp", "enemy.Q3BSP", 120, 60, {-312, -184, 0}, {312, 184, 128}},
    {"glm", Source::Data, "mrwonko_model.glm", nullptr, 78, 68, {-1, -2.005455, 0}, {1, 4.392180, 10.296132}},
    {"glx", Source::Data, "mrwonko_model.glm", "model.glx", 78, 68, {-1, -2.005455, 0}, {1, 4.392180, 10.296132}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(RealFiles, ModelFormatsTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ModelCase>& param) {
                             return std::string(param.param.label);
                         });

}  // namespace
}  // namespace vistamaze
