#include "formats/models/BinaryView.h"
#include "formats/models/ModelReaders.h"

namespace vistamaze::models {
namespace {

constexpr std::uint64_t kTriangleBytes =
    96;  // 3 positions, 3 normals (3 floats), 3 texture coordinates (2 floats)

void ReadTriangles(const BinaryView& view, std::uint64_t at, std::uint64_t chunkEnd, Mesh& target) {
    const std::uint32_t count = view.U32(at);
    at += 4;
    if (count > kMaxMeshTriangles || count > (chunkEnd - at) / kTriangleBytes) {
        throw Error("triangle count exceeds the chunk");
    }
    for (std::uint32_t t = 0; t < count; ++t, at += kTriangleBytes) {
        std::uint32_t corner[3];
        for (int k = 0; k < 3; ++k) {
            const std::uint64_t p = at + static_cast<std::uint64_t>(k) * 12;
            corner[k] = target.AddVertex({view.F32(p), view.F32(p + 4), view.F32(p + 8)});
            const std::uint64_t n = at + 36 + static_cast<std::uint64_t>(k) * 12;
            target.normals.push_back({view.F32(n), view.F32(n + 4), view.F32(n + 8)});
        }
        target.AddTriangle(corner[0], corner[1], corner[2]);
    }
}

}  // namespace

void ReadNmfModel(ByteSpan data, Mesh& target) {
    const BinaryView view(data);
    if (!view.HasTag(0, "NMF ")) {
        throw Error("not an NMF file");
    }
    const std::uint64_t end = std::min<std::uint64_t>(view.Size(), std::uint64_t{8} + view.U32(4));
    std::uint64_t at = 8;
    bool sawTriangles = false;
    while (at + 8 <= end) {
        const std::uint64_t chunkSize = view.U32(at + 4);
        const std::uint64_t chunkStart = at + 8;
        if (chunkSize > end - chunkStart) {
            throw Error("chunk runs past the end of the file");
        }
        if (view.HasTag(at, "TRIS")) {
            ReadTriangles(view, chunkStart, chunkStart + chunkSize, target);
            sawTriangles = true;
        }
        at = chunkStart + chunkSize;
    }
    if (!sawTriangles) {
        throw Error("no triangle chunk");
    }
}

}  // namespace vistamaze::models
