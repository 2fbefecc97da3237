#include "scene3d/MeshObject.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <tuple>
#include <utility>
#include <vector>

#include <GL/gl.h>

namespace vistamaze {
namespace {

// Vertex numbers with corners at the same position numbered alike (the smallest index among them).
// Positions count as the same when they round to the same point of a grid 2^-22 of the model's
// size: below what single-precision coordinates of the model resolve (the poles of a sphere
// computed with sin(pi) = 1e-16), far below a pixel of any view that shows the whole model.
std::vector<std::uint32_t> WeldedVertices(const std::vector<Vec3f>& vertices, const MeshBounds& box) {
    const double extent =
        std::max({static_cast<double>(box.max.x) - box.min.x, static_cast<double>(box.max.y) - box.min.y,
                  static_cast<double>(box.max.z) - box.min.z, 1e-30});
    const double grid = extent / (1 << 22);
    const auto key = [&vertices, grid](std::uint32_t i) {
        const Vec3f& v = vertices[i];
        return std::tuple(std::llround(v.x / grid), std::llround(v.y / grid), std::llround(v.z / grid));
    };
    std::vector<std::tuple<long long, long long, long long>> keys(vertices.size());
    for (std::uint32_t i = 0; i < vertices.size(); ++i) {
        keys[i] = key(i);
    }
    std::vector<std::uint32_t> order(vertices.size());
    std::iota(order.begin(), order.end(), 0U);
    std::sort(order.begin(), order.end(), [&keys](std::uint32_t a, std::uint32_t b) {
        return keys[a] < keys[b] || (keys[a] == keys[b] && a < b);
    });
    std::vector<std::uint32_t> welded(vertices.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        welded[order[i]] = i > 0 && keys[order[i]] == keys[order[i - 1]] ? welded[order[i - 1]] : order[i];
    }
    return welded;
}

// The root of `i` in a union-find forest, halving paths on the way.
std::uint32_t Root(std::vector<std::uint32_t>& parent, std::uint32_t i) {
    while (parent[i] != i) {
        parent[i] = parent[parent[i]];
        i = parent[i];
    }
    return i;
}

// 1 or -1 when the mesh is closed surfaces all turned the same way (outward by the right-hand rule
// or all inward), 0 otherwise. Each closed part is checked on its own: a model with one part
// inside out must have every face drawn.
int ClosedSurfaceOrientation(const Mesh& mesh, const MeshBounds& box) {
    if (mesh.triangles.empty()) {
        return 0;
    }
    const std::vector<std::uint32_t> welded = WeldedVertices(mesh.vertices, box);
    // Each directed edge (from, to) must meet its reverse exactly once, and no edge may repeat.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> edges;
    edges.reserve(3 * mesh.triangles.size());
    std::vector<std::uint32_t> parent(mesh.vertices.size());
    std::iota(parent.begin(), parent.end(), 0U);
    for (const auto& t : mesh.triangles) {
        const std::array<std::uint32_t, 3> w{welded[t[0]], welded[t[1]], welded[t[2]]};
        if (w[0] == w[1] || w[1] == w[2] || w[2] == w[0]) {
            continue;  // no area: it draws nothing and bounds nothing
        }
        for (int k = 0; k < 3; ++k) {
            edges.emplace_back(w[k], w[(k + 1) % 3]);
            parent[Root(parent, w[k])] = Root(parent, w[(k + 1) % 3]);
        }
    }
    std::sort(edges.begin(), edges.end());
    if (edges.empty() || std::adjacent_find(edges.begin(), edges.end()) != edges.end()) {
        return 0;
    }
    for (const auto& [from, to] : edges) {
        if (!std::binary_search(edges.begin(), edges.end(), std::pair(to, from))) {
            return 0;
        }
    }
    // Signed volume of each connected part, about the box's centre to keep the sums small.
    const Vec3 centre{(box.min.x + box.max.x) * 0.5, (box.min.y + box.max.y) * 0.5,
                      (box.min.z + box.max.z) * 0.5};
    std::vector<double> volume(mesh.vertices.size(), 0.0);
    for (const auto& t : mesh.triangles) {
        const std::array<std::uint32_t, 3> w{welded[t[0]], welded[t[1]], welded[t[2]]};
        if (w[0] == w[1] || w[1] == w[2] || w[2] == w[0]) {
            continue;
        }
        const auto at = [&](std::uint32_t i) {
            const Vec3f& v = mesh.vertices[i];
            return Vec3{v.x, v.y, v.z} - centre;
        };
        volume[Root(parent, w[0])] += Dot(at(t[0]), Cross(at(t[1]), at(t[2])));
    }
    int orientation = 0;
    for (std::uint32_t i = 0; i < volume.size(); ++i) {
        if (Root(parent, i) != i || welded[i] != i) {
            continue;  // not a part's root, or a corner welded to another
        }
        if (volume[i] == 0.0) {
            continue;  // a vertex no triangle uses, or a flat part, which either culling draws alike
        }
        const int sign = volume[i] > 0.0 ? 1 : -1;
        if (orientation != 0 && sign != orientation) {
            return 0;
        }
        orientation = sign;
    }
    return orientation;
}

// Which faces a closed surface of orientation `orientation` may leave out under the current
// modelview and perspective projection: GL_BACK or GL_FRONT, or 0 when the whole surface may not
// lie beyond the near plane (then the camera may look into it, and every face is needed).
GLenum HiddenFaces(int orientation, const MeshBounds& box) {
    std::array<GLdouble, 16> m{};
    std::array<GLdouble, 16> p{};
    glGetDoublev(GL_MODELVIEW_MATRIX, m.data());
    glGetDoublev(GL_PROJECTION_MATRIX, p.data());
    if (p[11] != -1.0 || p[10] == 1.0) {
        return 0;  // not a perspective frustum
    }
    const double nearPlane = p[14] / (p[10] - 1.0);
    const Vec3 lo{box.min.x, box.min.y, box.min.z};
    const Vec3 hi{box.max.x, box.max.y, box.max.z};
    const Vec3 c = (lo + hi) * 0.5;
    const double radius = Length(hi - lo) * 0.5;
    const double eyeZ = m[2] * c.x + m[6] * c.y + m[10] * c.z + m[14];
    const double stretch = std::max(
        {Length(Vec3{m[0], m[1], m[2]}), Length(Vec3{m[4], m[5], m[6]}), Length(Vec3{m[8], m[9], m[10]})});
    // A margin well above rounding: near the limit drawing every face costs nothing but time.
    if (-eyeZ - radius * stretch * 1.001 <= nearPlane * 1.001) {
        return 0;
    }
    const double determinant =
        Dot(Vec3{m[0], m[1], m[2]}, Cross(Vec3{m[4], m[5], m[6]}, Vec3{m[8], m[9], m[10]}));
    return (determinant > 0.0) == (orientation > 0) ? GL_BACK : GL_FRONT;
}

}  // namespace

void MeshObject::SetMesh(Mesh mesh) {
    mesh_ = std::move(mesh);
    if (mesh_.normals.size() != mesh_.vertices.size()) {
        mesh_.ComputeNormals();
    }
    bounds_ = mesh_.Bounds();
    surfaceOrientation_ = ClosedSurfaceOrientation(mesh_, bounds_);
}

void MeshObject::PerformAutoCentering() {
    const MeshBounds box = bounds_;
    if (box.empty) {
        return;
    }
    const auto shift = [](bool on, float lo, float hi) { return on ? -(lo + hi) * 0.5F : 0.0F; };
    const Vec3f offset{shift(autoCentering_.x, box.min.x, box.max.x),
                       shift(autoCentering_.y, box.min.y, box.max.y),
                       shift(autoCentering_.z, box.min.z, box.max.z)};
    if (offset.x != 0.0F || offset.y != 0.0F || offset.z != 0.0F) {
        mesh_.Translate(offset);
        bounds_ = mesh_.Bounds();
    }
}

void MeshObject::PerformAutoScaling() {
    if (autoScaling_ == Vec3{1.0, 1.0, 1.0}) {
        return;
    }
    const auto sx = static_cast<float>(autoScaling_.x);
    const auto sy = static_cast<float>(autoScaling_.y);
    const auto sz = static_cast<float>(autoScaling_.z);
    for (Vec3f& v : mesh_.vertices) {
        v = {v.x * sx, v.y * sy, v.z * sz};
    }
    // A non-uniform scale bends the normals; recompute them from the new faces.
    if (sx != sy || sy != sz) {
        mesh_.ComputeNormals();
    }
    bounds_ = mesh_.Bounds();
    // A mirroring scale turns the surface inside out, and one of 0 flattens it.
    const auto sign = [](float f) { return f > 0.0F ? 1 : f < 0.0F ? -1 : 0; };
    surfaceOrientation_ *= sign(sx) * sign(sy) * sign(sz);
}

double MeshObject::BoundingRadius() const {
    const MeshBounds& box = bounds_;
    if (box.empty) {
        return 0.0;
    }
    const Vec3 s = Scale();
    const Vec3 half{(static_cast<double>(box.max.x) - box.min.x) * 0.5 * s.x,
                    (static_cast<double>(box.max.y) - box.min.y) * 0.5 * s.y,
                    (static_cast<double>(box.max.z) - box.min.z) * 0.5 * s.z};
    return Length(half);
}

void MeshObject::DrawGeometry() const {
    if (mesh_.Empty()) {
        return;
    }
    static_assert(sizeof(Vec3f) == 3 * sizeof(float));
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, mesh_.vertices.data());
    const bool hasNormals = mesh_.normals.size() == mesh_.vertices.size();
    if (hasNormals) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, mesh_.normals.data());
    }
    const std::size_t total = mesh_.triangles.size();
    const auto drawRange = [this, total](std::size_t first, std::size_t count, const MeshColor& colour) {
        if (first >= total || count == 0) {
            return;
        }
        count = std::min(count, total - first);
        const GLfloat diffuse[4] = {colour.r, colour.g, colour.b, 1.0F};
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, diffuse);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(count * 3), GL_UNSIGNED_INT,
                       mesh_.triangles[first].data());
    };
    const GLenum hidden = surfaceOrientation_ != 0 && glIsEnabled(GL_CULL_FACE) == GL_FALSE
                              ? HiddenFaces(surfaceOrientation_, bounds_)
                              : 0;
    // Only front faces are drawn then: lighting their back sides as well is work for nothing.
    GLint twoSided = GL_FALSE;
    glGetIntegerv(GL_LIGHT_MODEL_TWO_SIDE, &twoSided);
    if (hidden != 0) {
        glCullFace(hidden);
        glEnable(GL_CULL_FACE);
        if (hidden == GL_BACK) {
            glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
        }
    }
    const MeshColor defaultColour;
    std::size_t next = 0;
    for (const MeshPart& part : mesh_.parts) {
        if (part.firstTriangle < next) {
            continue;  // overlaps the previous part: not drawn twice
        }
        drawRange(next, part.firstTriangle - next, defaultColour);
        drawRange(part.firstTriangle, part.triangleCount, part.hasDiffuse ? part.diffuse : defaultColour);
        next = part.firstTriangle + part.triangleCount;
    }
    if (next < total) {
        drawRange(next, total - next, defaultColour);
    }
    if (hidden != 0) {
        glDisable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, twoSided);
    }
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace vistamaze
