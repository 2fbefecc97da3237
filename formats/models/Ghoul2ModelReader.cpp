#include "formats/models/BinaryView.h"
#include "formats/models/ModelReaders.h"

#include <vector>

namespace vistamaze::models {
namespace {

constexpr std::uint64_t kMeshHeaderBytes = 164;  // ident, version, name[64], anim name[64], 7 ints
constexpr std::uint64_t kSurfaceHeaderBytes = 40;
constexpr std::uint64_t kVertexBytes = 32;  // normal, position, bone indices and weights
constexpr std::uint64_t kNameBytes = 64;
constexpr std::uint32_t kSurfaceIsTag = 0x1;  // a bolt-on point, not drawn
constexpr std::uint32_t kSurfaceOff = 0x2;

// Which surfaces the hierarchy marks as drawable. Tags also carry a '*' name prefix.
std::vector<bool> DrawableSurfaces(const BinaryView& view, std::uint32_t surfaceCount,
                                   std::uint64_t hierarchyAt) {
    std::vector<bool> drawable(surfaceCount, true);
    for (std::uint32_t s = 0; s < surfaceCount; ++s) {
        const std::uint64_t entry = hierarchyAt + view.U32(hierarchyAt + std::uint64_t{4} * s);
        view.Require(entry, 1, kNameBytes + 4);
        const std::uint32_t flags = view.U32(entry + kNameBytes);
        const bool tagName = view.U8(entry) == '*';
        drawable[s] = (flags & (kSurfaceIsTag | kSurfaceOff)) == 0 && !tagName;
    }
    return drawable;
}

struct Surface {
    std::uint64_t at = 0;
    std::uint32_t vertexCount = 0;
    std::uint64_t verticesAt = 0;
    std::uint32_t triangleCount = 0;
    std::uint64_t trianglesAt = 0;
};

Surface SurfaceAt(const BinaryView& view, std::uint64_t at) {
    view.Require(at, 1, kSurfaceHeaderBytes);
    const Surface s{at, view.U32(at + 12), at + view.U32(at + 16), view.U32(at + 20), at + view.U32(at + 24)};
    if (!view.Holds(s.verticesAt, s.vertexCount, kVertexBytes)) {
        throw Error("surface vertices exceed the file");
    }
    if (!view.Holds(s.trianglesAt, s.triangleCount, 12)) {
        throw Error("surface triangles exceed the file");
    }
    return s;
}

void ReadSurface(const BinaryView& view, const Surface& s, Mesh& target) {
    target.BeginPart(nullptr);
    const auto base = static_cast<std::uint32_t>(target.vertices.size());
    for (std::uint32_t v = 0; v < s.vertexCount; ++v) {
        const std::uint64_t p = s.verticesAt + kVertexBytes * v;
        target.AddVertex({view.F32(p + 12), view.F32(p + 16), view.F32(p + 20)});
        target.normals.push_back({view.F32(p), view.F32(p + 4), view.F32(p + 8)});
    }
    for (std::uint32_t t = 0; t < s.triangleCount; ++t) {
        const std::uint64_t p = s.trianglesAt + std::uint64_t{12} * t;
        const std::uint32_t a = view.U32(p), b = view.U32(p + 4), c = view.U32(p + 8);
        if (a >= s.vertexCount || b >= s.vertexCount || c >= s.vertexCount) {
            throw Error("triangle corner out of range");
        }
        target.AddTriangle(base + a, base + b, base + c);
    }
}

}  // namespace

// Layout: header; surface hierarchy (offsets relative to the end of the header); levels of
// detail, each an end offset followed by one surface offset per surface (relative to that
// table), then the surfaces with offsets relative to their own start. Only level 0 is read.
void ReadGhoul2Model(ByteSpan data, Mesh& target) {
    const BinaryView view(data);
    if (!view.HasTag(0, "2LGM")) {
        throw Error("not a Ghoul2 mesh");
    }
    view.Require(0, 1, kMeshHeaderBytes);
    const std::uint32_t lodCount = view.U32(144);
    const std::uint64_t lodsAt = view.U32(148);
    const std::uint32_t surfaceCount = view.U32(152);
    if (lodCount == 0) {
        return;
    }
    if (!view.Holds(kMeshHeaderBytes, surfaceCount, 4) || !view.Holds(lodsAt + 4, surfaceCount, 4)) {
        throw Error("surface count exceeds the file");
    }
    const std::vector<bool> drawable = DrawableSurfaces(view, surfaceCount, kMeshHeaderBytes);
    const std::uint64_t tableAt = lodsAt + 4;
    // The level's surfaces that are drawn, in order; `visit` gets each.
    const auto forEachSurface = [&](auto&& visit) {
        for (std::uint32_t s = 0; s < surfaceCount; ++s) {
            const std::uint64_t surfaceAt = tableAt + view.U32(tableAt + std::uint64_t{4} * s);
            const std::uint32_t index = view.U32(surfaceAt + 4);
            if (index >= surfaceCount || drawable[index]) {
                visit(SurfaceAt(view, surfaceAt));
            }
        }
    };
    // Many entries may point at one surface: what they would make is counted before any is read.
    std::uint64_t vertexTotal = 0;
    std::uint64_t triangleTotal = 0;
    forEachSurface([&](const Surface& surface) {
        vertexTotal += surface.vertexCount;
        triangleTotal += surface.triangleCount;
    });
    target.RequireRoom(vertexTotal, triangleTotal);
    forEachSurface([&](const Surface& surface) { ReadSurface(view, surface, target); });
    if (!target.parts.empty() && target.parts.back().triangleCount == 0) {
        target.parts.pop_back();
    }
    if (target.normals.size() != target.vertices.size()) {
        target.normals.clear();
    }
}

void ReadGhoul2Animation(ByteSpan data, Mesh& /*target*/) {
    const BinaryView view(data);
    if (!view.HasTag(0, "2LGA")) {
        throw Error("not a Ghoul2 animation");
    }
    // ident, version, name[64], scale, frame count, frame offset, bone count, bone pool, skeleton, end
    view.Require(0, 1, 4 + 4 + 64 + 7 * 4);
    throw Error("the file holds no surface, only a skeleton and its animation");
}

}  // namespace vistamaze::models
