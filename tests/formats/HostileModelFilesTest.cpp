// Model files made to hurt the loader: each is refused with one message naming the file and the
// cause, before it can take memory or time; special files are refused without blocking; files
// that yield no triangle fail instead of giving an empty mesh.
#include "engine/Errors.h"
#include "formats/ModelFile.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vistamaze {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

void PutFloat(Bytes& b, float v) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &v, 4);
    test::Put32(b, bits);
}

const std::string kPlyTriangleHeader =
    "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
    "element face 1\nproperty list uchar int vertex_indices\nend_header\n";

// A binary PLY whose face lists `corners` vertices numbered `index`, after three vertices.
Bytes PlyFace(const std::string& format, std::uint8_t corners, std::uint32_t index, bool bigEndian = false) {
    Bytes b = Text("ply\nformat " + format + " 1.0\n" + kPlyTriangleHeader);
    b.resize(b.size() + 36, 0);
    b.push_back(corners);
    for (int k = 0; k < corners; ++k) {
        bigEndian ? test::Put32Be(b, index) : test::Put32(b, index);
    }
    return b;
}

// Each level uses the one before it twice: 2^30 instances of one triangle.
Bytes VrmlDoublingChain() {
    std::string text =
        "#VRML V2.0 utf8\nDEF L0 Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 "
        "1 0] }"
        " coordIndex [0 1 2 -1] } }\n";
    for (int level = 1; level <= 30; ++level) {
        const std::string previous = "L" + std::to_string(level - 1);
        text += "DEF L" + std::to_string(level) + " Group { children [ USE " + previous + " USE " + previous +
                " ] }\n";
    }
    return Text(text);
}

// A Quake 3 BSP of 1300 faces, each the same 33 x 33 grid of Bezier control points (256 patches).
Bytes BspRepeatedPatches() {
    constexpr std::uint32_t kSide = 33, kFaces = 1300, kHeader = 8 + 17 * 8;
    const std::uint32_t vertexBytes = kSide * kSide * 44;
    Bytes b{'I', 'B', 'S', 'P'};
    test::Put32(b, 46);
    for (std::uint32_t lump = 0; lump < 17; ++lump) {
        test::Put32(b, lump == 10 ? kHeader : (lump == 13 ? kHeader + vertexBytes : kHeader));
        test::Put32(b, lump == 10 ? vertexBytes : (lump == 13 ? kFaces * 104 : 0));
    }
    for (std::uint32_t i = 0; i < kSide * kSide; ++i) {
        PutFloat(b, static_cast<float>(i % kSide));
        PutFloat(b, static_cast<float>(i / kSide));
        b.resize(b.size() + 36, 0);
    }
    for (std::uint32_t f = 0; f < kFaces; ++f) {
        const std::size_t at = b.size();
        b.resize(at + 104, 0);
        const std::uint32_t fields[][2] = {{8, 2}, {12, 0}, {16, kSide * kSide}, {96, kSide}, {100, kSide}};
        for (const auto& [offset, value] : fields) {
            std::memcpy(&b[at + offset], &value, 4);
        }
    }
    return b;
}

// A Ghoul2 mesh whose 2000 surface entries all point at one surface of 5001 triangles.
Bytes GlmSharedSurface() {
    constexpr std::uint32_t kSurfaces = 2000, kTriangles = 5001;
    constexpr std::uint32_t kLodsAt = 164 + 4 * kSurfaces;
    Bytes b{'2', 'L', 'G', 'M'};
    b.resize(144, 0);
    for (const std::uint32_t v : {1U, kLodsAt, kSurfaces, 0U, 0U}) {
        test::Put32(b, v);
    }
    b.resize(kLodsAt + 4, 0);  // hierarchy offsets 0: every entry is an unnamed drawable surface
    for (std::uint32_t s = 0; s < kSurfaces; ++s) {
        test::Put32(b, 4 * kSurfaces);
    }
    for (const std::uint32_t v : {0U, 0U, 0U, 3U, 40U, kTriangles, 40U + 96U}) {
        test::Put32(b, v);
    }
    b.resize(b.size() + 12 + 96, 0);
    for (std::uint32_t t = 0; t < kTriangles; ++t) {
        for (const std::uint32_t corner : {0U, 1U, 2U}) {
            test::Put32(b, corner);
        }
    }
    return b;
}

// An FSRad OCT of 3000 vertices and 4000 faces, each a fan over all of them.
Bytes OctFans() {
    constexpr std::uint32_t kVertices = 3000, kFaces = 4000;
    Bytes b;
    for (const std::uint32_t v : {kVertices, kFaces, 0U, 0U, 0U}) {
        test::Put32(b, v);
    }
    b.resize(b.size() + kVertices * 28, 0);
    for (std::uint32_t f = 0; f < kFaces; ++f) {
        test::Put32(b, 0);
        test::Put32(b, kVertices);
        b.resize(b.size() + 24, 0);
    }
    return b;
}

// An MD5 mesh of one joint and one triangle whose last corner is `corner`.
Bytes Md5Triangle(int corner) {
    std::string text =
        "MD5Version 10\ncommandline \"\"\nnumJoints 1\nnumMeshes 1\njoints {\n \"root\" -1 ( 0 0 0 ) ( 0 0 0 "
        ")\n}\n"
        "mesh {\n shader \"s\"\n numverts 3\n numtris 1\n numweights 3\n";
    for (int v = 0; v < 3; ++v) {
        text += " vert " + std::to_string(v) + " ( 0 0 ) " + std::to_string(v) + " 1\n weight " +
                std::to_string(v) + " 0 1 ( " + std::to_string(v % 2) + " " + std::to_string(v / 2) +
                " 0 )\n";
    }
    return Text(text + " tri 0 0 1 " + std::to_string(corner) + "\n}\n");
}

std::string Base64(const Bytes& bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = group << 8 | (k < n ? bytes[i + k] : 0U);
        }
        for (std::size_t k = 0; k < 4; ++k) {
            text += k <= n ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
        }
    }
    return text;
}

// A glTF scene of `nodes` nodes that all show one mesh of `triangles` triangles, side by side or
// (`nested`) each the child of the one before.
Bytes GltfScene(std::uint32_t triangles, std::uint32_t nodes, bool nested) {
    Bytes buffer;
    for (const float v : {0.0F, 0.0F, 0.0F, 1.0F, 0.0F, 0.0F, 0.0F, 1.0F, 0.0F}) {
        PutFloat(buffer, v);
    }
    for (std::uint32_t t = 0; t < 3 * triangles; ++t) {
        test::Put16(buffer, t % 3);
    }
    std::string nodeList, roots;
    for (std::uint32_t n = 0; n < nodes; ++n) {
        const bool child = nested && n + 1 < nodes;
        nodeList += std::string(n > 0 ? "," : "") + "{\"mesh\":0" +
                    (child ? ",\"children\":[" + std::to_string(n + 1) + "]" : "") + "}";
        roots += !nested || n == 0 ? std::string(n > 0 ? "," : "") + std::to_string(n) : "";
    }
    return Text("{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[" + roots +
                "]}],\"nodes\":[" + nodeList +
                "],\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0},\"indices\":1}]}],"
                "\"buffers\":[{\"byteLength\":" +
                std::to_string(buffer.size()) + ",\"uri\":\"data:application/octet-stream;base64," +
                Base64(buffer) +
                "\"}],\"bufferViews\":[{\"buffer\":0,\"byteLength\":36},{\"buffer\":0,\"byteOffset\":36,"
                "\"byteLength\":" +
                std::to_string(6 * triangles) +
                "}],\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":3,\"type\":\"VEC3\","
                "\"min\":[0,0,0],\"max\":[1,1,0]},{\"bufferView\":1,\"componentType\":5123,\"count\":" +
                std::to_string(3 * triangles) + ",\"type\":\"SCALAR\"}]}");
}

Bytes BinaryStl(std::uint32_t count, std::size_t size) {
    Bytes b(80, 0);
    test::Put32(b, count);
    b.resize(size, 0);
    return b;
}

std::string ErrorOf(const std::function<void()>& load) {
    try {
        load();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

struct HostileCase {
    const char* name;
    std::function<Bytes()> bytes;
    const char* reason;  // what follows "Cannot load model file "<file>": "
};

TEST(HostileModelFilesTest, EachIsRefusedNamingTheFileAndTheCause) {
    const std::string polygon = [] {
        std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf";
        for (int k = 0; k < 1100; ++k) {
            text += " " + std::to_string(k % 3 + 1);
        }
        return text + "\n";
    }();
    const HostileCase cases[] = {
        {"huge.ply",
         [] {
             Bytes b = Text(
                 "ply\nformat binary_little_endian 1.0\nelement vertex 2000000000\nproperty float x\n"
                 "property float y\nproperty float z\nend_header\n");
             b.resize(227, 0);
             return b;
         },
         "it claims 2000000000 vertex elements, more than its 227 bytes can hold"},
        {"ascii.ply",
         [] {
             return Text("ply\nformat ascii 1.0\nelement vertex 1000000\nproperty float x\nend_header\n0\n");
         },
         "it claims 1000000 vertex elements, more than its 74 bytes can hold"},
        {"endless.ply", [] { return Text("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"); },
         "its PLY header has no end_header line"},
        {"vtab.ply",
         [] { return Text("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nend_header\v0\n"); },
         "its PLY header has no end_header line"},
        {"index.ply", [] { return PlyFace("binary_little_endian", 3, 7); },
         "a face refers to a vertex that is not there"},
        {"list255.ply", [] { return PlyFace("binary_little_endian", 255, 0x01000000); },
         "a face refers to a vertex that is not there"},
        {"cut.ply",
         [] {
             const Bytes b = PlyFace("binary_big_endian", 3, 0, true);
             return Bytes(b.begin(), b.end() - 5);
         },
         "a list of 3 items in its face elements runs past the end of the file"},
        {"huge.off", [] { return Text("OFF\n2000000000 2000000000 0\n0 0 0\n"); },
         "it claims 2000000000 vertices and 2000000000 faces, more than its 34 bytes can hold"},
        {"huge.md5mesh",
         [] {
             return Text("MD5Version 10\ncommandline \"\"\nnumMeshes 1\nmesh {\n numverts 2000000000\n}\n");
         },
         "it claims 2000000000 vertices, more than its 71 bytes can hold"},
        {"index.md5mesh",
         [] { return Text("MD5Version 10\ncommandline \"\"\nmesh {\n tri 2000000000 0 0 0\n}\n"); },
         "it claims 2000000001 triangles, more than its 60 bytes can hold"},
        {"corner.md5mesh", [] { return Md5Triangle(5); }, "a triangle refers to a vertex that is not there"},
        {"formfeed.md5mesh",
         [] { return Text("MD5Version 10\ncommandline \"\"\nnumJoints 1\n\fnumMeshes 1\n"); },
         "it holds a form feed, which the MD5 importer cannot read"},
        {"quote.md5mesh", [] { return Text("MD5Version 10\ncommandline \"\"\nnumJoints 1 \"\n"); },
         "a quote in it is not closed, which the MD5 importer cannot read"},
        {"open.smd", [] { return Text("version 1\nnodes\n0 \"root\" -1\n"); },
         "its nodes section has no end, which the SMD importer needs"},
        {"node.smd", [] { return Text("version 1\nnodes\n0 \"a\" -1\n2000000000 \"b\" 0\nend\n"); },
         "it numbers a node 2000000000 in a list of 2 nodes, which the SMD importer cannot hold"},
        {"nul.smd", [] { return Bytes{'v', 'e', 'r', 's', 'i', 'o', 'n', ' ', '1', '\n', 0, '\n'}; },
         "it holds a NUL byte, which the SMD importer cannot read"},
        {"wrapped.stl", [] { return BinaryStl(85899346, 88); },
         "it claims 85899346 triangles, more than its 88 bytes can hold"},
        {"polygon.obj", [polygon] { return Text(polygon); }, "a face has more than 1024 corners"},
        {"nested.dae",
         [] {
             std::string text =
                 "<?xml version=\"1.0\"?>\n<COLLADA><library_visual_scenes><visual_scene id=\"s\">";
             for (int level = 0; level < 7000; ++level) {
                 text += "<node>";
             }
             return Text(text + "</visual_scene></library_visual_scenes></COLLADA>\n");
         },
         "its elements are nested more than 1000 levels deep"},
        {"bell.dae",
         [] { return Text("<COLLADA><polylist><vcount>3</vcount><p>0 1\a 2</p></polylist></COLLADA>\n"); },
         "an index list in it holds more than numbers, which the Collada importer cannot read"},
        {"instances.gltf", [] { return GltfScene(10001, 1000, false); },
         "it would make more than 10000000 triangles"},
        {"nested.gltf", [] { return GltfScene(1, 1100, true); },
         "its nodes are nested more than 1000 levels deep"},
        {"doubling.wrl", VrmlDoublingChain, "it would make more than 10000000 triangles"},
        {"patches.bsp", BspRepeatedPatches, "it would make more than 10000000 triangles"},
        {"shared.glm", GlmSharedSurface, "it would make more than 10000000 triangles"},
        {"fans.oct", OctFans, "it would make more than 10000000 triangles"},
    };
    test::TempDir temp;
    for (const HostileCase& c : cases) {
        test::WriteBytes(temp / c.name, c.bytes());
        Mesh mesh;
        const std::string message = ErrorOf([&] { LoadModelFile(temp / c.name, mesh); });
        EXPECT_EQ(message, "Cannot load model file \"" + (temp / c.name).string() + "\": " + c.reason);
        EXPECT_TRUE(mesh.triangles.empty()) << c.name;
    }
}

TEST(HostileModelFilesTest, FilesWithoutTrianglesHoldNoSurface) {
    Bytes stl = BinaryStl(1, 134);
    const HostileCase cases[] = {
        {"garbage.obj", [] { return Text("this is not a model\n\x01\x02\x03 at all\n"); },
         "the file holds no surface"},
        {"binary-stl.obj", [stl] { return stl; }, "the file holds no surface"},
        {"comments.obj", [] { return Text("# a comment\nmtllib none.mtl\nusemtl red\ng group\n"); },
         "the file holds no surface"},
        {"lines.obj", [] { return Text("v 0 0 0\nv 1 0 0\nv 0 1 0\np 1\nl 1 2 3\n"); },
         "the file holds no surface, only points or lines"},
        {"garbage.tin", [] { return Text("Triangles\nnone here\n"); }, "the file holds no surface"},
        {"nocoords.wrl",
         [] {
             return Text("#VRML V2.0 utf8\nShape { geometry IndexedFaceSet { coordIndex [0 1 2 -1] } }\n");
         },
         "the file holds no surface"},
        {"nocoords1.wrl",
         [] { return Text("#VRML V1.0 ascii\nSeparator { IndexedFaceSet { coordIndex [0, 1, 2, -1] } }\n"); },
         "the file holds no surface"},
    };
    test::TempDir temp;
    for (const HostileCase& c : cases) {
        test::WriteBytes(temp / c.name, c.bytes());
        Mesh mesh;
        EXPECT_EQ(ErrorOf([&] { LoadModelFile(temp / c.name, mesh); }),
                  "Cannot load model file \"" + (temp / c.name).string() + "\": " + c.reason);
    }
}

// A FIFO would block an ordinary open until a writer comes; a device would feed the reader
// without end. Both are refused at once, whether named as the model or by it.
TEST(HostileModelFilesTest, SpecialFilesAreRefusedWithoutBlocking) {
    test::TempDir temp;
    ASSERT_EQ(::mkfifo((temp / "fifo.obj").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((temp / "fifo.mtl").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", temp / "zero.wrl");
    test::WriteBytes(temp / "named.obj",
                     Text("mtllib fifo.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl a\nf 1 2 3\n"));
    const std::string folder = temp.Path().string();
    const std::pair<const char*, std::string> cases[] = {
        {"fifo.obj", "Cannot open model file \"" + folder + "/fifo.obj\": it is a FIFO, not a regular file"},
        {"zero.wrl",
         "Cannot open model file \"" + folder + "/zero.wrl\": it is a character device, not a regular file"},
        {"named.obj", "Cannot load model file \"" + folder + "/named.obj\": the file \"" + folder +
                          "/fifo.mtl\" it names is a FIFO, not a regular file"},
    };
    for (const auto& [name, expected] : cases) {
        Mesh mesh;
        EXPECT_EQ(ErrorOf([&] { LoadModelFile(temp / name, mesh); }), expected);
    }
}

}  // namespace
}  // namespace vistamaze
