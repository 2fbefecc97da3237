#include "scene3d/GLSpaceText.h"

#include <GL/gl.h>

#include <algorithm>
#include <limits>

namespace vistamaze {

void TGLSpaceText::SetText(const QString& text) {
    text_ = text;
    dirty_ = true;
}

void TGLSpaceText::SetFont(const QFont& font) {
    font_ = font;
    dirty_ = true;
}

void TGLSpaceText::SetExtrusion(double extrusion) {
    extrusion_ = extrusion;
    dirty_ = true;
}

void TGLSpaceText::SetTextHeight(double height) {
    textHeight_ = height;
    dirty_ = true;
}

const TextGeometry& TGLSpaceText::Geometry() const {
    if (dirty_) {
        geometry_ = BuildTextGeometry(text_, font_, extrusion_, textHeight_);
        dirty_ = false;
    }
    return geometry_;
}

double TGLSpaceText::BoundingRadius() const {
    const TextGeometry& g = Geometry();
    if (g.Empty()) {
        return 0.0;
    }
    constexpr float kMax = std::numeric_limits<float>::max();
    Vec3f lo{kMax, kMax, kMax};
    Vec3f hi{-kMax, -kMax, -kMax};
    for (const Vec3f& p : g.positions) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    const Vec3 s = Scale();
    return Length(Vec3{(static_cast<double>(hi.x) - lo.x) * 0.5 * s.x, (static_cast<double>(hi.y) - lo.y) * 0.5 * s.y,
                       (static_cast<double>(hi.z) - lo.z) * 0.5 * s.z});
}

void TGLSpaceText::DrawGeometry() const {
    const TextGeometry& g = Geometry();
    if (g.Empty()) {
        return;
    }
    const GLfloat diffuse[4] = {0.8F, 0.8F, 0.8F, 1.0F};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, diffuse);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, g.positions.data());
    glNormalPointer(GL_FLOAT, 0, g.normals.data());
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(g.positions.size()));
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace vistamaze
