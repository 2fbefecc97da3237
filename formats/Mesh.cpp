#include "formats/Mesh.h"

#include "engine/Errors.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vistamaze {
namespace {

[[noreturn]] void ThrowOverBudget(std::size_t limit, const char* what) {
    throw Error("it would make more than " + std::to_string(limit) + " " + what);
}

}  // namespace

void Mesh::Clear() {
    vertices.clear();
    normals.clear();
    triangles.clear();
    parts.clear();
}

std::uint32_t Mesh::AddVertex(Vec3f position) {
    if (vertices.size() >= kMaxMeshVertices) {
        ThrowOverBudget(kMaxMeshVertices, "vertices");
    }
    if (!std::isfinite(position.x) || !std::isfinite(position.y) || !std::isfinite(position.z)) {
        throw Error("a coordinate is not a finite number");
    }
    vertices.push_back(position);
    return static_cast<std::uint32_t>(vertices.size() - 1);
}

void Mesh::AddTriangle(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
    const std::size_t count = vertices.size();
    if (a >= count || b >= count || c >= count) {
        throw Error("vertex index out of range");
    }
    if (triangles.size() >= kMaxMeshTriangles) {
        ThrowOverBudget(kMaxMeshTriangles, "triangles");
    }
    triangles.push_back({a, b, c});
    if (!parts.empty()) {
        ++parts.back().triangleCount;
    }
}

void Mesh::RequireRoom(std::uint64_t moreVertices, std::uint64_t moreTriangles) const {
    if (triangles.size() > kMaxMeshTriangles || moreTriangles > kMaxMeshTriangles - triangles.size()) {
        ThrowOverBudget(kMaxMeshTriangles, "triangles");
    }
    if (vertices.size() > kMaxMeshVertices || moreVertices > kMaxMeshVertices - vertices.size()) {
        ThrowOverBudget(kMaxMeshVertices, "vertices");
    }
}

void Mesh::BeginPart(const MeshColor* diffuse) {
    if (!parts.empty() && parts.back().triangleCount == 0) {
        parts.pop_back();
    }
    MeshPart part;
    part.firstTriangle = triangles.size();
    if (diffuse != nullptr) {
        part.diffuse = *diffuse;
        part.hasDiffuse = true;
    }
    parts.push_back(part);
}

MeshBounds Mesh::Bounds() const {
    MeshBounds box;
    for (const Vec3f& v : vertices) {
        if (box.empty) {
            box.min = v;
            box.max = v;
            box.empty = false;
            continue;
        }
        box.min = {std::min(box.min.x, v.x), std::min(box.min.y, v.y), std::min(box.min.z, v.z)};
        box.max = {std::max(box.max.x, v.x), std::max(box.max.y, v.y), std::max(box.max.z, v.z)};
    }
    return box;
}

double Mesh::BoundingRadius() const {
    const MeshBounds box = Bounds();
    if (box.empty) {
        return 0.0;
    }
    const double dx = (static_cast<double>(box.max.x) - box.min.x) / 2.0;
    const double dy = (static_cast<double>(box.max.y) - box.min.y) / 2.0;
    const double dz = (static_cast<double>(box.max.z) - box.min.z) / 2.0;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void Mesh::ComputeNormals() {
    // Sums in place (single precision is plenty for a direction) so that a mesh at the vertex
    // limit needs no second, wider array.
    normals.assign(vertices.size(), Vec3f{0.0F, 0.0F, 0.0F});
    for (const auto& t : triangles) {
        const Vec3f& p0 = vertices[t[0]];
        const Vec3f& p1 = vertices[t[1]];
        const Vec3f& p2 = vertices[t[2]];
        const float ux = p1.x - p0.x, uy = p1.y - p0.y, uz = p1.z - p0.z;
        const float vx = p2.x - p0.x, vy = p2.y - p0.y, vz = p2.z - p0.z;
        // The cross product's length is twice the area, so larger faces weigh more.
        const Vec3f n{uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
        for (const std::uint32_t corner : t) {
            normals[corner].x += n.x;
            normals[corner].y += n.y;
            normals[corner].z += n.z;
        }
    }
    for (Vec3f& n : normals) {
        const double length = std::sqrt(static_cast<double>(n.x) * n.x + static_cast<double>(n.y) * n.y +
                                        static_cast<double>(n.z) * n.z);
        if (length > 0.0 && std::isfinite(length)) {
            n = {static_cast<float>(n.x / length), static_cast<float>(n.y / length),
                 static_cast<float>(n.z / length)};
        } else {
            n = {0.0F, 0.0F, 1.0F};
        }
    }
}

void Mesh::Translate(Vec3f offset) {
    for (Vec3f& v : vertices) {
        v.x += offset.x;
        v.y += offset.y;
        v.z += offset.z;
    }
}

}  // namespace vistamaze
