#include "formats/models/BinaryView.h"
#include "formats/models/ModelReaders.h"

#include <array>

namespace vistamaze::models {
namespace {

constexpr int kVertexLump = 10;
constexpr int kMeshVertexLump = 11;
constexpr int kFaceLump = 13;
constexpr std::uint64_t kVertexBytes = 44;  // position, 2 uv pairs, normal, RGBA
constexpr std::uint64_t kFaceBytes = 104;
constexpr std::int32_t kPolygonFace = 1;
constexpr std::int32_t kPatchFace = 2;
constexpr std::int32_t kMeshFace = 3;
constexpr int kPatchSteps = 4;  // segments per side of each 3 x 3 Bezier patch
constexpr std::int32_t kMaxPatchSide = 257;

struct Lump {
    std::uint64_t offset = 0;
    std::uint64_t count = 0;
};

Lump ReadLump(const BinaryView& view, int index, std::uint64_t elementBytes) {
    const std::uint64_t entry = 8 + std::uint64_t{8} * static_cast<std::uint64_t>(index);
    Lump lump{view.U32(entry), view.U32(entry + 4) / elementBytes};
    view.Require(lump.offset, lump.count, elementBytes);
    return lump;
}

Vec3f Position(const BinaryView& view, const Lump& vertices, std::uint64_t index) {
    const std::uint64_t p = vertices.offset + index * kVertexBytes;
    return {view.F32(p), view.F32(p + 4), view.F32(p + 8)};
}

// A polygon or mesh face: its own run of vertices, indexed by its run of mesh vertices. Quake 3
// winds front faces clockwise; the mesh wants them counter-clockwise.
void AddIndexedFace(const BinaryView& view, const Lump& vertices, const Lump& meshVerts, std::uint64_t face,
                    Mesh& target) {
    const std::uint64_t firstVertex = view.U32(face + 12);
    const std::uint64_t vertexCount = view.U32(face + 16);
    const std::uint64_t first = view.U32(face + 20);
    const std::uint64_t count = view.U32(face + 24);
    if (firstVertex > vertices.count || vertexCount > vertices.count - firstVertex ||
        first > meshVerts.count || count > meshVerts.count - first) {
        throw Error("face out of range");
    }
    const auto base = static_cast<std::uint32_t>(target.vertices.size());
    for (std::uint64_t i = 0; i < vertexCount; ++i) {
        target.AddVertex(Position(view, vertices, firstVertex + i));
    }
    for (std::uint64_t k = 0; k + 2 < count; k += 3) {
        std::array<std::uint32_t, 3> c{};
        for (std::uint64_t j = 0; j < 3; ++j) {
            c[j] = view.U32(meshVerts.offset + 4 * (first + k + j));
            if (c[j] >= vertexCount) {
                throw Error("face index out of range");
            }
        }
        target.AddTriangle(base + c[0], base + c[2], base + c[1]);
    }
}

Vec3f Bezier(const std::array<Vec3f, 3>& p, double t) {
    const double a = (1 - t) * (1 - t), b = 2 * t * (1 - t), c = t * t;
    return {static_cast<float>(a * p[0].x + b * p[1].x + c * p[2].x),
            static_cast<float>(a * p[0].y + b * p[1].y + c * p[2].y),
            static_cast<float>(a * p[0].z + b * p[1].z + c * p[2].z)};
}

// One biquadratic patch whose 3 x 3 control points start at grid (col, row).
void AddPatch(const BinaryView& view, const Lump& vertices, std::uint64_t first, std::int32_t width,
              std::int32_t col, std::int32_t row, Mesh& target) {
    std::array<std::array<Vec3f, 3>, 3> control{};
    for (std::int32_t r = 0; r < 3; ++r) {
        for (std::int32_t c = 0; c < 3; ++c) {
            control[r][c] =
                Position(view, vertices, first + static_cast<std::uint64_t>((row + r) * width + col + c));
        }
    }
    const auto base = static_cast<std::uint32_t>(target.vertices.size());
    for (int i = 0; i <= kPatchSteps; ++i) {
        const double v = static_cast<double>(i) / kPatchSteps;
        for (int j = 0; j <= kPatchSteps; ++j) {
            const double u = static_cast<double>(j) / kPatchSteps;
            const std::array<Vec3f, 3> across{Bezier(control[0], u), Bezier(control[1], u),
                                              Bezier(control[2], u)};
            target.AddVertex(Bezier(across, v));
        }
    }
    const std::uint32_t side = kPatchSteps + 1;
    for (std::uint32_t i = 0; i < kPatchSteps; ++i) {
        for (std::uint32_t j = 0; j < kPatchSteps; ++j) {
            const std::uint32_t a = base + i * side + j;
            target.AddTriangle(a, a + side + 1, a + 1);
            target.AddTriangle(a, a + side, a + side + 1);
        }
    }
}

// The control point grid of a patch face, checked against the vertices.
struct PatchGrid {
    std::uint64_t first = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    [[nodiscard]] std::uint64_t Patches() const {
        return static_cast<std::uint64_t>((width - 1) / 2) * static_cast<std::uint64_t>((height - 1) / 2);
    }
};

PatchGrid PatchGridOf(const BinaryView& view, const Lump& vertices, std::uint64_t face) {
    const PatchGrid grid{view.U32(face + 12), view.I32(face + 96), view.I32(face + 100)};
    const std::uint64_t count = view.U32(face + 16);
    if (grid.width < 3 || grid.height < 3 || grid.width > kMaxPatchSide || grid.height > kMaxPatchSide ||
        grid.width % 2 == 0 || grid.height % 2 == 0 ||
        static_cast<std::uint64_t>(grid.width) * static_cast<std::uint64_t>(grid.height) > count ||
        grid.first > vertices.count || count > vertices.count - grid.first) {
        throw Error("bad patch size");
    }
    return grid;
}

void AddPatchFace(const BinaryView& view, const Lump& vertices, std::uint64_t face, Mesh& target) {
    const PatchGrid grid = PatchGridOf(view, vertices, face);
    for (std::int32_t row = 0; row + 2 < grid.height; row += 2) {
        for (std::int32_t col = 0; col + 2 < grid.width; col += 2) {
            AddPatch(view, vertices, grid.first, grid.width, col, row, target);
        }
    }
}

// Patches may repeat the same control points many times over: what the faces would make is
// counted before any is made.
void RequireRoomForFaces(const BinaryView& view, const Lump& vertices, const Lump& faces,
                         const Mesh& target) {
    constexpr std::uint64_t kPatchVertices = (kPatchSteps + 1) * (kPatchSteps + 1);
    constexpr std::uint64_t kPatchTriangles = 2 * kPatchSteps * kPatchSteps;
    std::uint64_t vertexTotal = 0;
    std::uint64_t triangleTotal = 0;
    for (std::uint64_t f = 0; f < faces.count; ++f) {
        const std::uint64_t face = faces.offset + f * kFaceBytes;
        const std::int32_t type = view.I32(face + 8);
        if (type == kPolygonFace || type == kMeshFace) {
            vertexTotal += view.U32(face + 16);
            triangleTotal += view.U32(face + 24) / 3;
        } else if (type == kPatchFace) {
            const std::uint64_t patches = PatchGridOf(view, vertices, face).Patches();
            vertexTotal += patches * kPatchVertices;
            triangleTotal += patches * kPatchTriangles;
        }
    }
    target.RequireRoom(vertexTotal, triangleTotal);
}

}  // namespace

void ReadQuake3BspModel(ByteSpan data, Mesh& target) {
    const BinaryView view(data);
    const std::uint32_t version = view.U32(4);
    if (!view.HasTag(0, "IBSP") || (version != 46 && version != 47)) {
        throw Error("not a Quake 3 BSP file");
    }
    const Lump vertices = ReadLump(view, kVertexLump, kVertexBytes);
    const Lump meshVerts = ReadLump(view, kMeshVertexLump, 4);
    const Lump faces = ReadLump(view, kFaceLump, kFaceBytes);
    RequireRoomForFaces(view, vertices, faces, target);
    for (std::uint64_t f = 0; f < faces.count; ++f) {
        const std::uint64_t face = faces.offset + f * kFaceBytes;
        const std::int32_t type = view.I32(face + 8);
        if (type == kPolygonFace || type == kMeshFace) {
            AddIndexedFace(view, vertices, meshVerts, face, target);
        } else if (type == kPatchFace) {
            AddPatchFace(view, vertices, face, target);
        }
    }
}

}  // namespace vistamaze::models
