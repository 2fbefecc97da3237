#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistamaze {

struct Vec3f {
    float x = 0.0F;
    float y = 0.0F;
    float z = 0.0F;
};

// Diffuse material colour, components in 0..1.
struct MeshColor {
    float r = 0.8F;
    float g = 0.8F;
    float b = 0.8F;
};

// A run of consecutive triangles that share one material.
struct MeshPart {
    std::size_t firstTriangle = 0;
    std::size_t triangleCount = 0;
    MeshColor diffuse;
    bool hasDiffuse = false;  // false: the file gave no colour, the renderer picks its default
};

struct MeshBounds {
    Vec3f min;
    Vec3f max;
    bool empty = true;  // no vertex: min and max are meaningless
};

// The budget of one model, whatever its format: readers count what a file would make (header
// counts, shared instances expanded, patches tessellated) against it before making anything, and
// the mesh enforces it as it grows. Each triangle brings at most three corners of its own.
inline constexpr std::size_t kMaxMeshTriangles = 10'000'000;
inline constexpr std::size_t kMaxMeshVertices = 3 * kMaxMeshTriangles;

// An indexed triangle mesh in model units, independent of any renderer. `normals` is either empty
// or holds one unit normal per vertex; triangle corners index `vertices` and run counter-clockwise
// seen from the front. `parts` covers the triangles in order; triangles after the last part (or
// all of them when there is none) have no material colour.
class Mesh {
public:
    std::vector<Vec3f> vertices;
    std::vector<Vec3f> normals;
    std::vector<std::array<std::uint32_t, 3>> triangles;
    std::vector<MeshPart> parts;

    void Clear();
    [[nodiscard]] bool Empty() const noexcept { return triangles.empty(); }

    // Appends a vertex and returns its index. Throws vistamaze::Error for a coordinate that is not
    // finite or beyond kMaxMeshVertices.
    std::uint32_t AddVertex(Vec3f position);
    // Appends a triangle. Throws vistamaze::Error if a corner is not a vertex index or beyond
    // kMaxMeshTriangles.
    void AddTriangle(std::uint32_t a, std::uint32_t b, std::uint32_t c);
    // Throws vistamaze::Error ("it would make more than 10000000 triangles", or as many vertices)
    // unless the mesh has room for `moreVertices` and `moreTriangles` within the budget above.
    void RequireRoom(std::uint64_t moreVertices, std::uint64_t moreTriangles) const;
    // Starts a new part at the next triangle; an earlier part left without triangles is dropped.
    void BeginPart(const MeshColor* diffuse);

    // Axis-aligned bounding box of all vertices.
    [[nodiscard]] MeshBounds Bounds() const;
    // Half the diagonal of the bounding box (0 for an empty mesh).
    [[nodiscard]] double BoundingRadius() const;
    // Replaces `normals` with area-weighted averages of the adjacent face normals; a vertex of no
    // (or only degenerate) triangles gets (0, 0, 1).
    void ComputeNormals();
    // Moves the vertices by `offset`.
    void Translate(Vec3f offset);
};

}  // namespace vistamaze
