// Loading rules of model files: the choice of reader, the errors and what a failed load leaves.
#include "engine/Errors.h"
#include "formats/ModelFile.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

Mesh OneTriangle() {
    Mesh m;
    m.AddVertex({0, 0, 0});
    m.AddVertex({1, 0, 0});
    m.AddVertex({0, 1, 0});
    m.AddTriangle(0, 1, 2);
    return m;
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
    test::WriteBytes(file, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::string ErrorText(const std::filesystem::path& file, Mesh& mesh) {
    try {
        LoadModelFile(file, mesh);
    } catch (const Error& e) {
        return e.what();
    }
    ADD_FAILURE() << "no error for " << file;
    return {};
}

TEST(ModelFileTest, UnknownExtensionsAreNamedAndEmptyTheMesh) {
    test::TempDir temp;
    for (const std::string name : {"texture.DDS", "library.mli", "notes.txt", "scene.x3d", "noextension"}) {
        WriteText(temp / name, "#VRML V2.0 utf8\n");
        Mesh mesh = OneTriangle();
        const std::string message = ErrorText(temp / name, mesh);
        const std::string extension = std::filesystem::path(name).extension().string();
        EXPECT_NE(message.find("\"" + extension + "\""), std::string::npos) << message;
        EXPECT_NE(message.find("extension"), std::string::npos) << message;
        EXPECT_TRUE(mesh.vertices.empty() && mesh.triangles.empty()) << name;
    }
}

TEST(ModelFileTest, ExtensionsAreComparedWithoutCase) {
    for (const char* ext : {".obj", ".OBJ", "ObJ"}) {
        EXPECT_EQ(ModelFormatForExtension(ext), ModelFormat::Assimp) << ext;
    }
    EXPECT_EQ(ModelFormatForExtension(".Q3BSP"), ModelFormat::Quake3Bsp);
    EXPECT_EQ(ModelFormatForExtension(".WRL"), ModelFormat::Vrml);
    EXPECT_EQ(ModelFormatForExtension(".GLX"), ModelFormat::Ghoul2Mesh);
    EXPECT_EQ(ModelFormatForExtension(".dds"), ModelFormat::Unknown);
    EXPECT_EQ(ModelFormatForExtension(".mli"), ModelFormat::Unknown);

    test::TempDir temp;
    const Mesh reference = LoadModelFile(test::DataFile("models/assimp_box.obj"));
    for (const char* name : {"BOX.OBJ", "Box.Obj"}) {
        std::filesystem::copy_file(test::DataFile("models/assimp_box.obj"), temp / name);
        const Mesh mesh = LoadModelFile(temp / name);
        EXPECT_EQ(mesh.triangles.size(), reference.triangles.size()) << name;
        EXPECT_EQ(mesh.vertices.size(), reference.vertices.size()) << name;
    }
    std::filesystem::copy_file(test::DataFile("models/yade_box.gts"), temp / "BOX.GTS");
    EXPECT_EQ(LoadModelFile(temp / "BOX.GTS").triangles.size(), 12U);
}

TEST(ModelFileTest, MissingFileNamesTheFileAndKeepsTheMesh) {
    test::TempDir temp;
    for (const char* name : {"absent.obj", "absent.wrl", "absent.q3bsp"}) {
        Mesh mesh = OneTriangle();
        try {
            LoadModelFile(temp / name, mesh);
            ADD_FAILURE() << "no error for " << name;
        } catch (const FileAccessError& e) {
            EXPECT_NE(std::string(e.what()).find((temp / name).string()), std::string::npos) << e.what();
        }
        EXPECT_EQ(mesh.triangles.size(), 1U);
    }
    Mesh mesh;
    EXPECT_THROW(LoadModelFile(temp.Path() / "folder.obj", mesh), FileAccessError);
    std::filesystem::create_directory(temp / "folder.gts");
    EXPECT_THROW(LoadModelFile(temp / "folder.gts", mesh), FileAccessError);
}

TEST(ModelFileTest, DamagedFilesNameTheFile) {
    test::TempDir temp;
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"garbage.3ds", "this is not a 3ds chunk tree"},
        {"garbage.md2", "IDP2 but nothing else"},
        {"empty.objf", ""},
        {"text.oct", "hello"},
        {"wrong.glm", "2LGA and more bytes to look like a header......"},
        {"bad.gts", "3 2 1\n0 0 0\n1 0 0\n"},
        {"bad.wrl", "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0"},
        {"range.wrl",
         "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] }"
         " coordIndex [0 1 3] } }"},
        {"notvrml.wrl", "solid x\nendsolid x\n"},
        {"short.tin", "1,2,3,4,5,6,7,8\n"},
        {"bad.nurbs", "uOrder 4\nvOrder 4\nuDimension 2\nvDimension 2\n"},
        {"bad.nmf", std::string("NMF \x08\0\0\0TRIS\x04\0\0\0", 16)},
    };
    for (const auto& [name, text] : damaged) {
        WriteText(temp / name, text);
        Mesh mesh = OneTriangle();
        const std::string message = ErrorText(temp / name, mesh);
        EXPECT_NE(message.find((temp / name).string()), std::string::npos) << message;
        EXPECT_TRUE(mesh.triangles.empty()) << name << ": the previous geometry must be gone";
    }
}

// A point cloud is no surface to draw: the message says so in the program's words.
TEST(ModelFileTest, PointCloudIsReportedAsHoldingNoSurface) {
    test::TempDir temp;
    WriteText(temp / "points.ply",
              "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
              "property float z\nend_header\n0 0 0\n1 0 0\n0 1 0\n");
    Mesh mesh = OneTriangle();
    const std::string message = ErrorText(temp / "points.ply", mesh);
    EXPECT_NE(message.find("holds no surface"), std::string::npos) << message;
    EXPECT_EQ(message.find("orphaned"), std::string::npos) << message;
}

// Cutting a file anywhere must give an error or a smaller mesh, never a crash; a binary file
// keeps the geometry read before the cut.
TEST(ModelFileTest, TruncatedFilesFailCleanly) {
    test::TempDir temp;
    for (const char* name :
         {"glscene_unlit.oct", "mrwonko_model.glm", "yade_horse.coarse.gts", "glscene_Sparse.tin",
          "glscene_duck1.nurbs", "admesh_sphereWithHole_vrml1.wrl", "assimp_box.obj"}) {
        const std::vector<std::uint8_t> bytes =
            test::ReadBytes(test::DataFile(std::string("models/") + name));
        const std::size_t full =
            LoadModelFile(test::DataFile(std::string("models/") + name)).triangles.size();
        for (const std::size_t cut :
             {std::size_t{0}, std::size_t{7}, bytes.size() / 3, bytes.size() * 2 / 3, bytes.size() - 1}) {
            const std::filesystem::path file = temp / (std::to_string(cut) + name);
            test::WriteBytes(
                file, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(cut)));
            Mesh mesh;
            try {
                LoadModelFile(file, mesh);
            } catch (const Error& e) {
                EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
            }
            EXPECT_LE(mesh.triangles.size(), full) << name << " cut at " << cut;
            for (const auto& t : mesh.triangles) {
                ASSERT_TRUE(t[0] < mesh.vertices.size() && t[1] < mesh.vertices.size() &&
                            t[2] < mesh.vertices.size());
            }
        }
    }
    // The OCT vertex block (20 + 150 * 28 bytes) is complete two thirds into the file.
    const std::vector<std::uint8_t> oct = test::ReadBytes(test::DataFile("models/glscene_unlit.oct"));
    const std::size_t cut = 20 + 150 * 28 + 10 * 32 + 5;
    test::WriteBytes(temp / "cut.oct", std::vector<std::uint8_t>(oct.begin(), oct.begin() + cut));
    Mesh mesh;
    EXPECT_THROW(LoadModelFile(temp / "cut.oct", mesh), Error);
    EXPECT_EQ(mesh.vertices.size(), 150U);
    EXPECT_EQ(mesh.triangles.size(), 10U);
}

TEST(ModelFileTest, AnimationFileIsReportedAsHoldingNoSurface) {
    Mesh mesh = OneTriangle();
    const std::string message = ErrorText(test::DataFile("models/mrwonko_simpleskel.gla"), mesh);
    EXPECT_NE(message.find("mrwonko_simpleskel.gla\": the file holds no surface"), std::string::npos)
        << message;
    EXPECT_TRUE(mesh.triangles.empty());
}

TEST(ModelFileTest, MaterialColoursReachTheParts) {
    test::TempDir temp;
    WriteText(temp / "m.mtl", "newmtl red\nKd 1 0 0\nnewmtl blue\nKd 0 0 1\n");
    WriteText(temp / "m.obj",
              "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nusemtl red\nf 1 2 3\n"
              "usemtl blue\nf 1 3 4\nf 1 4 2\n");
    std::filesystem::copy_file(temp / "m.obj", temp / "m.objf");
    for (const char* name : {"m.obj", "m.objf"}) {
        const Mesh mesh = LoadModelFile(temp / name);
        ASSERT_EQ(mesh.parts.size(), 2U) << name;
        std::size_t covered = 0;
        int red = 0, blue = 0;
        for (const MeshPart& part : mesh.parts) {
            EXPECT_EQ(part.firstTriangle, covered);
            covered += part.triangleCount;
            ASSERT_TRUE(part.hasDiffuse);
            red +=
                part.diffuse.r == 1.0F && part.diffuse.b == 0.0F ? static_cast<int>(part.triangleCount) : 0;
            blue +=
                part.diffuse.b == 1.0F && part.diffuse.r == 0.0F ? static_cast<int>(part.triangleCount) : 0;
        }
        EXPECT_EQ(covered, mesh.triangles.size());
        EXPECT_EQ(red, 1) << name;
        EXPECT_EQ(blue, 2) << name;
    }
}

// A material library that is missing or a folder is no reason to refuse the model: it loads
// without colours. Loaded from memory, a model opens no file at all, not even one beside its name.
TEST(ModelFileTest, NamedFilesThatCannotBeReadCountAsMissing) {
    test::TempDir temp;
    std::filesystem::create_directory(temp / "folder.mtl");
    WriteText(temp / "red.mtl", "newmtl red\nKd 1 0 0\n");
    const std::string faces = "v 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n";
    for (const char* library : {"absent.mtl", "folder.mtl"}) {
        WriteText(temp / "m.obj", std::string("mtllib ") + library + "\n" + faces);
        const Mesh mesh = LoadModelFile(temp / "m.obj");
        EXPECT_EQ(mesh.triangles.size(), 1U) << library;
    }
    const std::string text = "mtllib red.mtl\n" + faces;
    WriteText(temp / "m.obj", text);
    const auto isRed = [](const MeshPart& part) {
        return part.hasDiffuse && part.diffuse.r == 1.0F && part.diffuse.g == 0.0F;
    };
    const Mesh fromFile = LoadModelFile(temp / "m.obj");
    ASSERT_EQ(fromFile.parts.size(), 1U);
    EXPECT_TRUE(isRed(fromFile.parts[0]));
    Mesh fromMemory;
    LoadModelData(std::vector<std::uint8_t>(text.begin(), text.end()), temp / "m.obj", fromMemory);
    EXPECT_EQ(fromMemory.triangles.size(), 1U);
    EXPECT_TRUE(std::none_of(fromMemory.parts.begin(), fromMemory.parts.end(), isRed));
}

TEST(ModelFileTest, TheBudgetHoldsUpToItsLimit) {
    Mesh mesh = OneTriangle();
    EXPECT_NO_THROW(mesh.RequireRoom(kMaxMeshVertices - 3, kMaxMeshTriangles - 1));
    EXPECT_THROW(mesh.RequireRoom(0, kMaxMeshTriangles), Error);
    EXPECT_THROW(mesh.RequireRoom(kMaxMeshVertices - 2, 0), Error);
    EXPECT_THROW(mesh.RequireRoom(0, UINT64_MAX), Error);
}

}  // namespace
}  // namespace vistamaze
