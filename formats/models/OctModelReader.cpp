#include "formats/models/BinaryView.h"
#include "formats/models/ModelReaders.h"

#include <algorithm>

namespace vistamaze::models {
namespace {

constexpr std::uint64_t kHeaderBytes = 20;  // vertex, face, texture, light map and light counts
constexpr std::uint64_t kVertexBytes = 28;  // texture uv, light map uv, position
constexpr std::uint64_t kFaceBytes = 32;    // first vertex, vertex count, texture, light map, plane

}  // namespace

void ReadOctModel(ByteSpan data, Mesh& target) {
    const BinaryView view(data);
    const std::uint32_t vertexCount = view.U32(0);
    const std::uint32_t faceCount = view.U32(4);
    view.Require(0, 1, kHeaderBytes);
    if (vertexCount > kMaxMeshVertices || !view.Holds(kHeaderBytes, vertexCount, kVertexBytes)) {
        throw Error("vertex count exceeds the file");
    }
    const std::uint64_t facesAt = kHeaderBytes + vertexCount * kVertexBytes;
    // Every face may fan over all vertices: the triangles are counted before any is made.
    std::uint64_t triangles = 0;
    for (std::uint32_t f = 0; f < faceCount && view.Holds(facesAt, std::uint64_t{f} + 1, kFaceBytes); ++f) {
        const std::uint32_t corners =
            std::min(view.U32(facesAt + std::uint64_t{f} * kFaceBytes + 4), vertexCount);
        triangles += corners > 2 ? corners - 2 : 0;
    }
    target.RequireRoom(vertexCount, triangles);
    for (std::uint32_t i = 0; i < vertexCount; ++i) {
        const std::uint64_t p = kHeaderBytes + i * kVertexBytes + 16;
        target.AddVertex({view.F32(p), view.F32(p + 4), view.F32(p + 8)});
    }
    // Faces are read until the data ends, so that a cut file keeps the faces before the cut.
    for (std::uint32_t f = 0; f < faceCount; ++f) {
        const std::uint64_t at = facesAt + static_cast<std::uint64_t>(f) * kFaceBytes;
        const std::uint32_t first = view.U32(at);
        const std::uint32_t count = view.U32(at + 4);
        if (first > vertexCount || count > vertexCount - first) {
            throw Error("face vertices out of range");
        }
        for (std::uint32_t k = 2; k < count; ++k) {  // polygons are convex: a fan covers them
            target.AddTriangle(first, first + k - 1, first + k);
        }
    }
}

}  // namespace vistamaze::models
