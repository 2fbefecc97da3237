#include "scene3d/GLFreeForm.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <GL/gl.h>

namespace vistamaze {

void TGLFreeForm::SetMesh(Mesh mesh) {
    mesh_ = std::move(mesh);
    if (mesh_.normals.size() != mesh_.vertices.size()) {
        mesh_.ComputeNormals();
    }
}

void TGLFreeForm::PerformAutoCentering() {
    const MeshBounds box = mesh_.Bounds();
    if (box.empty) {
        return;
    }
    const auto shift = [](bool on, float lo, float hi) { return on ? -(lo + hi) * 0.5F : 0.0F; };
    const Vec3f offset{shift(autoCentering_.x, box.min.x, box.max.x),
                       shift(autoCentering_.y, box.min.y, box.max.y),
                       shift(autoCentering_.z, box.min.z, box.max.z)};
    if (offset.x != 0.0F || offset.y != 0.0F || offset.z != 0.0F) {
        mesh_.Translate(offset);
    }
}

void TGLFreeForm::PerformAutoScaling() {
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
}

double TGLFreeForm::BoundingRadius() const {
    const MeshBounds box = mesh_.Bounds();
    if (box.empty) {
        return 0.0;
    }
    const Vec3 s = Scale();
    const Vec3 half{(static_cast<double>(box.max.x) - box.min.x) * 0.5 * s.x,
                    (static_cast<double>(box.max.y) - box.min.y) * 0.5 * s.y,
                    (static_cast<double>(box.max.z) - box.min.z) * 0.5 * s.z};
    return Length(half);
}

void TGLFreeForm::DrawGeometry() const {
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
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace vistamaze
