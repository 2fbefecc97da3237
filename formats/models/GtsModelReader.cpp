#include "formats/models/ModelReaders.h"
#include "formats/models/TextScanner.h"

#include <utility>
#include <vector>

namespace vistamaze::models {
namespace {

using Edge = std::pair<std::uint32_t, std::uint32_t>;

// Skips blank lines and '#' comments before the next record.
void NextRecord(TextScanner& text) {
    while (text.SkipSpace() && text.Peek() == '#') {
        text.SkipLine();
    }
}

// The triangle walks along the first edge, then the second: A -> B (shared) -> C, which keeps the
// outward orientation of GTS faces.
void AddFace(const std::vector<Edge>& edges, std::uint64_t e1, std::uint64_t e2, std::uint64_t e3,
             Mesh& target) {
    if (e1 == 0 || e2 == 0 || e3 == 0 || e1 > edges.size() || e2 > edges.size() || e3 > edges.size()) {
        throw Error("edge index out of range");
    }
    const Edge& a = edges[e1 - 1];
    const Edge& b = edges[e2 - 1];
    const Edge& c = edges[e3 - 1];
    std::uint32_t shared = 0;
    if (a.first == b.first || a.first == b.second) {
        shared = a.first;
    } else if (a.second == b.first || a.second == b.second) {
        shared = a.second;
    } else {
        throw Error("face edges do not meet");
    }
    const std::uint32_t first = a.first == shared ? a.second : a.first;
    const std::uint32_t third = b.first == shared ? b.second : b.first;
    if (!((c.first == first && c.second == third) || (c.first == third && c.second == first))) {
        throw Error("face edges do not close");
    }
    target.AddTriangle(first, shared, third);
}

}  // namespace

// Header "vertices edges faces [class names]"; then one line per vertex (x y z), per edge (two
// 1-based vertex indices) and per face (three 1-based edge indices). Extra values on a line are
// data of derived classes and are skipped.
void ReadGtsModel(ByteSpan data, Mesh& target) {
    TextScanner text(data);
    NextRecord(text);
    const std::uint64_t vertexCount = text.Count(kMaxMeshVertices);
    const std::uint64_t edgeCount = text.Count(3 * kMaxMeshTriangles);
    const std::uint64_t faceCount = text.Count(kMaxMeshTriangles);
    text.SkipLine();
    for (std::uint64_t i = 0; i < vertexCount; ++i) {
        NextRecord(text);
        const double x = text.Number();
        const double y = text.Number();
        const double z = text.Number();
        target.AddVertex({static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)});
        text.SkipLine();
    }
    std::vector<Edge> edges;
    for (std::uint64_t i = 0; i < edgeCount; ++i) {
        NextRecord(text);
        const std::uint64_t v1 = text.Count(vertexCount);
        const std::uint64_t v2 = text.Count(vertexCount);
        if (v1 == 0 || v2 == 0) {
            throw Error("vertex index out of range");
        }
        edges.emplace_back(static_cast<std::uint32_t>(v1 - 1), static_cast<std::uint32_t>(v2 - 1));
        text.SkipLine();
    }
    for (std::uint64_t i = 0; i < faceCount; ++i) {
        NextRecord(text);
        const std::uint64_t e1 = text.Count(edgeCount);
        const std::uint64_t e2 = text.Count(edgeCount);
        const std::uint64_t e3 = text.Count(edgeCount);
        AddFace(edges, e1, e2, e3, target);
        text.SkipLine();
    }
}

}  // namespace vistamaze::models
